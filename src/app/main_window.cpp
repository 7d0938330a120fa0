#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWindow>

#include "app/address_list.h"
#include "app/check_list_box.h"
#include "app/framed_label.h"
#include "app/theme.h"
#include "extract/extract_command.h"
#include "extract/list_search.h"
#include "platform/command_line.h"
#include "platform/executable_info.h"
#include "platform/gui_clipboard.h"
#include "platform/gui_file_drop.h"
#include "settings/settings_file.h"
#include "settings/window_caption.h"

namespace {

QFont tahoma(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    return font;
}

// A file exists at the path: a folder does not count.
bool fileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// Shows the wait cursor while a load or an extract runs.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

QIcon menuImage(int index)
{
    static const char *const names[] = {"quit", "copy", "copy_list", "save", "extract"};
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1StringView(names[index])));
}

} // namespace

// The window's outer frame as the settings see it. Before the window is first shown, a
// windowing system may not know its frame yet: the frame wanted is kept and applied again once
// the frame is known, so the window neither moves nor grows from one start to the next.
class TForm1::Geometry : public GeometryWindow
{
public:
    explicit Geometry(QWidget *window) : m_window(window) {}
    // Until the window is placed, its frame stands where the windowing system will put the
    // window: no bound then moves a window that has no stored place.
    QRect frameGeometry() const override
    {
        QRect frame = m_window->frameGeometry();
        if (!m_window->testAttribute(Qt::WA_Moved) && !m_window->isVisible())
            frame.moveTopLeft(m_window->geometry().topLeft());
        return frame;
    }
    QRect workArea() const override
    {
        const QScreen *screen = QGuiApplication::primaryScreen();
        return screen ? screen->availableGeometry() : QRect();
    }
    // A value equal to the current one changes nothing: without a stored geometry the window
    // keeps the place the windowing system gives it.
    void setLeft(int left) override
    {
        if (left == frameGeometry().left() && !m_window->testAttribute(Qt::WA_Moved))
            return;
        wanted().moveLeft(left);
        m_window->move(left, frameGeometry().top());
    }
    void setTop(int top) override
    {
        if (top == frameGeometry().top() && !m_window->testAttribute(Qt::WA_Moved))
            return;
        wanted().moveTop(top);
        m_window->move(frameGeometry().left(), top);
    }
    void setWidth(int width) override
    {
        const int frame = frameGeometry().width() - m_window->width();
        if (width != frameGeometry().width())
            wanted().setWidth(width);
        m_window->resize(width - frame, m_window->height());
    }
    void setHeight(int height) override
    {
        const int frame = frameGeometry().height() - m_window->height();
        if (height != frameGeometry().height())
            wanted().setHeight(height);
        m_window->resize(m_window->width(), height - frame);
    }

    // Called when the window is first shown on screen.
    void applyWantedFrame()
    {
        if (!m_wanted)
            return;
        const QRect wanted = *m_wanted;
        m_wanted.reset();
        const QSize frame = m_window->frameGeometry().size() - m_window->size();
        if (frame.isEmpty() && m_window->frameGeometry() == wanted)
            return;
        m_window->move(wanted.topLeft());
        m_window->resize(wanted.size() - frame);
    }

private:
    QRect &wanted()
    {
        if (!m_wanted)
            m_wanted = frameGeometry();
        return *m_wanted;
    }

    QWidget *m_window;
    std::optional<QRect> m_wanted;
};

TForm1::TForm1(Dialogs &dialogs, const QStringList &arguments, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_dialogs(dialogs), m_arguments(arguments), m_geometry(new Geometry(this))
{
    RegisterResources();
    setObjectName(QStringLiteral("Form1"));
    setAccessibleName(QStringLiteral("Extracteur"));
    setFont(tahoma(11));
    buildLayout();
    buildActions();
    buildMenu();
    m_dropTarget = new FileDropTarget(this);
    m_dropTarget->setObjectName(QStringLiteral("JvDragDrop1"));
    // Handled once the drop event has returned, so the dragging program is not kept waiting
    // while the file loads or an error box is open.
    connect(
        m_dropTarget, &FileDropTarget::dropped, this,
        [this](const QStringList &names) { guarded([&] { JvDragDrop1Drop(names); }); },
        Qt::QueuedConnection);
    resize(600, 394);
    // The platform window exists before the stored geometry is applied, as its frame counts.
    create();
    windowHandle()->installEventFilter(this);
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    delete m_geometry;
}

void TForm1::buildLayout()
{
    auto *top = new QFrame(this);
    top->setObjectName(QStringLiteral("Panel2"));
    top->setFrameStyle(QFrame::Panel | QFrame::Raised);
    top->setLineWidth(1);
    top->setFixedHeight(25);
    auto *label2 = new FramedLabel(QStringLiteral("Chercher :"), top);
    label2->setObjectName(QStringLiteral("JvLabel2"));
    label2->setFont(tahoma(16));
    label2->setFixedWidth(120);
    m_edit = new QLineEdit(top);
    m_edit->setObjectName(QStringLiteral("Edit1"));
    m_edit->setAccessibleName(QStringLiteral("Chercher"));
    label2->setBuddy(m_edit);
    auto *topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(1, 1, 1, 1);
    topLayout->setSpacing(0);
    topLayout->addWidget(label2);
    topLayout->addWidget(m_edit);

    auto *left = new QFrame(this);
    left->setObjectName(QStringLiteral("Panel1"));
    left->setFrameStyle(QFrame::Panel | QFrame::Raised);
    left->setLineWidth(1);
    left->setFixedWidth(121);
    auto *label1 = new FramedLabel(QStringLiteral("Déposer un fichier"), left);
    label1->setObjectName(QStringLiteral("JvLabel1"));
    label1->setFont(tahoma(16));
    auto *image = new QLabel(left);
    image->setObjectName(QStringLiteral("Image1"));
    image->setAccessibleName(QStringLiteral("Image du programme"));
    image->setAlignment(Qt::AlignCenter);
    image->setFixedHeight(128);
    image->setPixmap(QIcon(QStringLiteral(":/images/envelope.svg")).pixmap(QSize(128, 128)));
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(1, 1, 1, 1);
    leftLayout->setSpacing(0);
    leftLayout->addWidget(label1, 1);
    leftLayout->addWidget(image);

    m_list = new AddressList(this);
    m_list->setObjectName(QStringLiteral("AddressList"));
    m_view = new CheckListBox(this);
    m_view->setObjectName(QStringLiteral("JvCheckListBox1"));
    m_view->setAccessibleName(QStringLiteral("Liste des adresses"));
    m_view->setFont(tahoma(13));
    m_view->setAddressList(m_list);
    connect(m_view, &CheckListBox::userClicked, this,
            [this] { guarded([this] { JvCheckListBox1Click(); }); });
    connect(m_view, &CheckListBox::userChecked, this,
            [this] { guarded([this] { JvCheckListBox1ClickCheck(); }); });
    connect(m_view, &CheckListBox::contextMenuWanted, this, &TForm1::popupListMenu);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setAccessibleName(QStringLiteral("Barre d'état"));
    m_statusBar->setFixedHeight(19);
    m_statusBar->setSizeGripEnabled(true);
    m_statusBar->setFont(QApplication::font("QStatusBar"));
    static const int widths[] = {100, 20, 20, 0};
    for (int i = 0; i < 4; ++i) {
        auto *panel = new QLabel(m_statusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setAccessibleName(QStringLiteral("Barre d'état, panneau %1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setMinimumWidth(0);
        if (widths[i] > 0) {
            panel->setFixedWidth(widths[i]);
            m_statusBar->addWidget(panel);
        } else {
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            m_statusBar->addWidget(panel, 1);
        }
        m_panels[i] = panel;
    }

    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    middle->addWidget(left);
    middle->addWidget(m_view, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(top);
    layout->addLayout(middle, 1);
    layout->addWidget(m_statusBar);

    for (QWidget *w : {static_cast<QWidget *>(top), static_cast<QWidget *>(left),
                       static_cast<QWidget *>(label1), static_cast<QWidget *>(label2),
                       static_cast<QWidget *>(image), static_cast<QWidget *>(m_statusBar)})
        w->setFocusPolicy(Qt::NoFocus);
    label1->setAccessibleName(label1->text());
    label2->setAccessibleName(label2->text());
    setTabOrder(m_view, m_edit);
    m_view->setFocus();

    connect(m_edit, &QLineEdit::textChanged, this, [this] { guarded([this] { Edit1Change(); }); });
    m_view->installEventFilter(this);
    m_edit->installEventFilter(this);
}

void TForm1::buildActions()
{
    m_actionList = new QObject(this);
    m_actionList->setObjectName(QStringLiteral("ActionList1"));
    auto make = [this](const char *name, const QString &caption, int image,
                       const QKeySequence &shortcut) {
        auto *action = new QAction(caption, m_actionList);
        action->setObjectName(QLatin1StringView(name));
        if (image >= 0)
            action->setIcon(menuImage(image));
        action->setShortcut(shortcut);
        // Shortcuts are routed by the window itself (see routeShortcut), never by Qt's map.
        action->setShortcutContext(Qt::WidgetShortcut);
        return action;
    };
    m_exit = make("FichierFileExit1", QStringLiteral("&Quitter"), 0, {});
    m_copyAction = make("EditionEditCopy1", QStringLiteral("C&opier"), 1,
                        QKeySequence(QStringLiteral("Ctrl+C")));
    m_pasteAction = make("EditionEditPaste1", QStringLiteral("Co&ller"), 3,
                         QKeySequence(QStringLiteral("Ctrl+V")));
    m_selectAllAction = make("EditionEditSelectAll1", QStringLiteral("&Tout sélectionner"), -1,
                             QKeySequence(QStringLiteral("Ctrl+A")));
    m_extractAction = make("Extract", QStringLiteral("Extraire"), 4, {});
}

void TForm1::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    m_menu->setAccessibleName(QStringLiteral("Menu de la liste"));

    auto entry = [this](const char *name, const QString &caption, int image,
                        const QKeySequence &shortcut) {
        auto *action = m_menu->addAction(caption);
        action->setObjectName(QLatin1StringView(name));
        if (image >= 0)
            action->setIcon(menuImage(image));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        return action;
    };
    auto bound = [&](const char *name, QAction *action, const QKeySequence &ownShortcut) {
        QAction *menuEntry = entry(name, action->text(), -1,
                                   ownShortcut.isEmpty() ? action->shortcut() : ownShortcut);
        menuEntry->setIcon(action->icon());
        menuEntry->setProperty("boundAction", QVariant::fromValue(static_cast<QObject *>(action)));
        connect(menuEntry, &QAction::triggered, this,
                [this, action] { guarded([&] { runAction(action); }); });
        return menuEntry;
    };
    auto separator = [this](const char *name) {
        m_menu->addSeparator()->setObjectName(QLatin1StringView(name));
    };

    bound("Extraire1", m_extractAction, QKeySequence(Qt::Key_F5));
    separator("N4");
    connect(entry("Enregistrer1", QStringLiteral("Enregistrer ..."), 3, {}), &QAction::triggered,
            this, [this] { guarded([this] { Enregistrer1Click(); }); });
    QAction *copy = entry("COPY", QStringLiteral("Copier toute la liste dans le presse papier "), 2,
                          QKeySequence(QStringLiteral("Ctrl+Shift+C")));
    connect(copy, &QAction::triggered, this, [this] { guarded([this] { COPYClick(); }); });
    m_menu->setDefaultAction(copy);
    QFont bold = copy->font();
    bold.setBold(true);
    copy->setFont(bold); // style sheets do not draw the default entry in bold by themselves
    connect(entry("mnu_COPYSEL", QStringLiteral("Copier des emails cochés"), -1,
                  QKeySequence(QStringLiteral("Ctrl+Alt+C"))),
            &QAction::triggered, this, [this] { guarded([this] { mnu_COPYSELClick(); }); });
    connect(
        entry("SORT", QStringLiteral("Trier la liste"), -1, QKeySequence(QStringLiteral("Ctrl+T"))),
        &QAction::triggered, this, [this] { guarded([this] { SORTClick(); }); });
    separator("N5");
    m_autoExtract = entry("chk_AUTO", QStringLiteral("Extraction automatique"), -1, {});
    m_autoExtract->setCheckable(true);
    m_autoExtract->setChecked(true);
    separator("N3");
    bound("outslectionner1", m_selectAllAction, {});
    bound("Coller1", m_pasteAction, {});
    bound("N1", m_copyAction, {});
    separator("N2");
    bound("Quitter1", m_exit, QKeySequence(QStringLiteral("Ctrl+Q")));
}

QString TForm1::panelText(int panel) const
{
    return m_panels[panel]->text();
}

void TForm1::setPanelText(int panel, const QString &text)
{
    m_panels[panel]->setText(text);
}

void TForm1::showErrorBox(const QString &message)
{
    QString shown = message;
    if (!shown.isEmpty() && shown.back().unicode() > u'.')
        shown += QLatin1Char('.');
    m_dialogs.showError(this, ApplicationTitle(), shown);
}

void TForm1::FormCreate()
{
    setWindowTitle(BuildCaption(QString(), QStringLiteral("dd/mm/yyyy")));
    LoadWindowGeometry(*m_geometry);
    std::vector<OptionState> states = optionStates();
    LoadOptionStates(states);
    applyOptionStates(states);
    const QString first = FirstArgument(m_arguments);
    if (!first.isEmpty()) {
        // A file named on the command line is loaded when it exists, and never remembered.
        if (fileExists(first))
            loadFileAtStart(first);
    } else {
        rememberedImport();
    }
}

void TForm1::rememberedImport()
{
    const QString path =
        SettingsFile::ReadText(QStringLiteral("FICHIER"), QStringLiteral("IMPORT"), QString());
    if (fileExists(path))
        loadFileAtStart(path);
}

void TForm1::loadFileAtStart(const QString &path)
{
    {
        WaitCursor wait;
        m_list->LoadFromFile(path);
    }
    if (m_autoExtract->isChecked())
        ExtractExecute();
}

void TForm1::FormClose()
{
    SaveWindowGeometry(*m_geometry);
    SaveOptionStates(optionStates());
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (guarded([this] { FormClose(); }))
        event->accept();
    else
        event->ignore();
}

std::vector<OptionState> TForm1::optionStates() const
{
    std::vector<OptionState> states;
    const QList<QAction *> actions = findChildren<QAction *>();
    for (const QAction *action : actions) {
        if (action->objectName().contains(QLatin1StringView("chk_")))
            states.push_back({action->objectName(), action->isChecked()});
    }
    return states;
}

void TForm1::applyOptionStates(const std::vector<OptionState> &states)
{
    for (const OptionState &state : states) {
        if (auto *action = findChild<QAction *>(state.name))
            action->setChecked(state.checked);
    }
}

void TForm1::ExtractExecute()
{
    WaitCursor wait;
    m_list->Assign(ExtractAddresses(m_list->table()), TextEncoding::SystemCodePage);
    setPanelText(0, QStringLiteral("%1 adresses").arg(m_list->Count()));
}

void TForm1::showCopied(int count)
{
    m_dialogs.showInformation(
        this, ApplicationTitle(),
        QStringLiteral("%1 adresses copiées dans le presse papier\r\n\r\nCTRL+V pour les coller")
            .arg(count));
}

void TForm1::COPYClick()
{
    PutClipboardText(m_list->Text());
    showCopied(m_list->Count());
}

void TForm1::mnu_COPYSELClick()
{
    int count = 0;
    const QString text = m_list->checkedText(&count);
    PutClipboardText(text);
    showCopied(count);
}

void TForm1::SORTClick()
{
    m_list->setSorted(true);
}

void TForm1::Enregistrer1Click()
{
    const Dialogs::SaveRequest request{QStringLiteral("Enregistrer la liste des Adresses"),
                                       QStringLiteral("ADRESSES"), QStringLiteral("TXT")};
    const std::optional<QString> path = m_dialogs.askSaveFileName(this, request);
    if (!path)
        return;
    WaitCursor wait;
    m_list->SaveToFile(*path);
}

void TForm1::Edit1Change()
{
    FindAndSelect(*m_list, m_edit->text(), 0);
}

void TForm1::JvCheckListBox1Click()
{
    const int index = m_list->ItemIndex();
    setPanelText(1, QString::number(index));
    setPanelText(3, m_list->Items(index).toString());
}

void TForm1::JvCheckListBox1ClickCheck()
{
    setPanelText(2, QString::number(m_list->checkedCount()));
}

void TForm1::JvDragDrop1Drop(const QStringList &names)
{
    m_list->Clear();
    {
        WaitCursor wait;
        m_list->LoadFromFile(names.first());
    }
    SettingsFile::WriteText(QStringLiteral("FICHIER"), QStringLiteral("IMPORT"), names.first());
    if (m_autoExtract->isChecked())
        ExtractExecute();
}

void TForm1::updateActionStates()
{
    const bool fieldFocused = QApplication::focusWidget() == m_edit;
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    m_copyAction->setEnabled(fieldFocused && m_edit->hasSelectedText());
    m_pasteAction->setEnabled(fieldFocused && !m_edit->isReadOnly() && clip && clip->hasText());
    m_selectAllAction->setEnabled(fieldFocused && !m_edit->text().isEmpty());
    m_exit->setEnabled(true);
    m_extractAction->setEnabled(true);
    const QList<QAction *> entries = m_menu->actions();
    for (QAction *entry : entries) {
        if (auto *action =
                qobject_cast<QAction *>(entry->property("boundAction").value<QObject *>()))
            entry->setEnabled(action->isEnabled());
    }
}

void TForm1::runAction(QAction *action)
{
    updateActionStates();
    if (!action->isEnabled())
        return;
    if (action == m_exit)
        close();
    else if (action == m_copyAction)
        m_edit->copy();
    else if (action == m_pasteAction)
        m_edit->paste();
    else if (action == m_selectAllAction)
        m_edit->selectAll();
    else if (action == m_extractAction)
        ExtractExecute();
}

void TForm1::popupListMenu(QPoint globalPosition)
{
    updateActionStates();
    m_menu->popup(globalPosition);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        m_geometry->applyWantedFrame();
    if (event->type() == QEvent::KeyPress && (watched == m_view || watched == m_edit))
        return routeShortcut(static_cast<QKeyEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

// A key press first looks for a menu entry of the focused control's context menu (only the
// list has one), then for an action of the window; a key that neither uses up goes on to the
// focused control.
bool TForm1::routeShortcut(QKeyEvent *event)
{
    // Right Alt acting as AltGr composes characters, never shortcuts.
    if (event->modifiers() & Qt::GroupSwitchModifier)
        return false;
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(event->key())));

    if (QApplication::focusWidget() == m_view) {
        const QList<QAction *> entries = m_menu->actions();
        for (QAction *entry : entries) {
            if (entry->isSeparator() || entry->shortcut().isEmpty() || entry->shortcut() != pressed)
                continue;
            updateActionStates();
            if (entry->isEnabled())
                entry->trigger();
            return true;
        }
    }
    for (QAction *action :
         {m_exit, m_copyAction, m_pasteAction, m_selectAllAction, m_extractAction}) {
        if (action->shortcut().isEmpty() || action->shortcut() != pressed)
            continue;
        updateActionStates();
        if (!action->isEnabled())
            return false;
        guarded([&] { runAction(action); });
        return true;
    }
    return false;
}
