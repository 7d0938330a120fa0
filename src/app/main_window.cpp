#include "app/main_window.h"

#include <algorithm>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSizeGrip>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/address_list.h"
#include "app/check_list_box.h"
#include "app/framed_label.h"
#include "app/main_window_geometry.h"
#include "app/theme.h"
#include "errors/shown_message.h"
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

// The menu images, by what they show.
enum class MenuImage { None = -1, OpenDoor, TwoSheets, Clipboard, FloppyDisk, Envelope };

QIcon menuImage(MenuImage image)
{
    static const char *const names[] = {"quit", "copy", "copy_list", "save", "extract"};
    return QIcon(
        QStringLiteral(":/icons/%1.svg").arg(QLatin1StringView(names[static_cast<int>(image)])));
}

// Every action and menu entry of the window is made here. Shortcuts are routed by the window
// itself (see routeShortcut), never by Qt's shortcut map.
QAction *makeAction(QObject *owner, const char *name, const QString &caption, MenuImage image,
                    const QKeySequence &shortcut = {})
{
    auto *action = new QAction(caption, owner);
    action->setObjectName(QLatin1StringView(name));
    if (image != MenuImage::None)
        action->setIcon(menuImage(image));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
}

// The status bar's panels stand side by side from its left edge, the last one taking the rest up
// to the size grip (the stock bar would space and inset them).
class PanelStatusBar : public QStatusBar
{
public:
    explicit PanelStatusBar(QWidget *parent)
        : QStatusBar(parent), m_row(new QWidget(this)), m_layout(new QHBoxLayout(m_row))
    {
        m_layout->setContentsMargins(0, 0, 0, 0);
        m_layout->setSpacing(0);
    }
    // A panel of that width, or taking the rest when the width is 0.
    void addPanel(QLabel *panel, int width)
    {
        panel->setParent(m_row);
        if (width > 0) {
            panel->setFixedWidth(width);
            m_layout->addWidget(panel);
        } else {
            panel->setMinimumWidth(0);
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            m_layout->addWidget(panel, 1);
        }
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QStatusBar::resizeEvent(event);
        const QSizeGrip *grip = findChild<QSizeGrip *>();
        const int gripWidth = grip && isSizeGripEnabled() ? grip->sizeHint().width() : 0;
        m_row->setGeometry(0, 0, std::max(0, width() - gripWidth), height());
    }

private:
    QWidget *m_row;
    QHBoxLayout *m_layout;
};

} // namespace

TForm1::TForm1(Dialogs &dialogs, const QStringList &arguments, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_dialogs(dialogs), m_arguments(arguments)
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
    m_geometry = std::make_unique<MainWindowGeometry>(this);
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::buildLayout()
{
    // Made in the order of the layout table, which is also the order a screen reader walks.
    QWidget *top = buildTopBand();
    QWidget *left = buildLeftColumn();
    QWidget *list = buildList();
    QWidget *statusBar = buildStatusBar();
    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    middle->addWidget(left);
    middle->addWidget(list, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window takes any size the windowing system allows; at small sizes the bands clip.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(top);
    layout->addLayout(middle, 1);
    layout->addWidget(statusBar);

    setTabOrder(m_view, m_edit);
    m_view->setFocus();
    m_view->installEventFilter(this);
    m_edit->installEventFilter(this);
}

QWidget *TForm1::buildTopBand()
{
    auto *top = new QFrame(this);
    top->setObjectName(QStringLiteral("Panel2"));
    top->setFrameStyle(QFrame::Panel | QFrame::Raised);
    top->setLineWidth(1);
    top->setFixedHeight(25);
    top->setFocusPolicy(Qt::NoFocus);
    auto *label2 = new FramedLabel(QStringLiteral("Chercher :"), top);
    label2->setObjectName(QStringLiteral("JvLabel2"));
    label2->setAccessibleName(label2->text());
    label2->setFont(tahoma(16));
    label2->setFixedWidth(120);
    m_edit = new QLineEdit(top);
    m_edit->setObjectName(QStringLiteral("Edit1"));
    m_edit->setAccessibleName(QStringLiteral("Chercher"));
    // Set on the field itself: a style sheet rule for the field would otherwise cut it off from
    // the window's font.
    m_edit->setFont(font());
    // As tall as the label beside it.
    m_edit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    label2->setBuddy(m_edit);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { guarded([this] { Edit1Change(); }); });
    auto *layout = new QHBoxLayout(top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(label2);
    layout->addWidget(m_edit);
    return top;
}

QWidget *TForm1::buildLeftColumn()
{
    auto *left = new QFrame(this);
    left->setObjectName(QStringLiteral("Panel1"));
    left->setFrameStyle(QFrame::Panel | QFrame::Raised);
    left->setLineWidth(1);
    left->setFixedWidth(121);
    left->setFocusPolicy(Qt::NoFocus);
    auto *label1 = new FramedLabel(QStringLiteral("Déposer un fichier"), left);
    label1->setObjectName(QStringLiteral("JvLabel1"));
    label1->setAccessibleName(label1->text());
    label1->setFont(tahoma(16));
    auto *image = new QLabel(left);
    image->setObjectName(QStringLiteral("Image1"));
    image->setAccessibleName(QStringLiteral("Image du programme"));
    image->setAlignment(Qt::AlignCenter);
    image->setFixedHeight(128);
    image->setPixmap(QIcon(QStringLiteral(":/images/envelope.svg")).pixmap(QSize(128, 128)));
    auto *layout = new QVBoxLayout(left);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(label1, 1);
    layout->addWidget(image);
    return left;
}

QWidget *TForm1::buildList()
{
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
    return m_view;
}

QWidget *TForm1::buildStatusBar()
{
    auto *bar = new PanelStatusBar(this);
    m_statusBar = bar;
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setAccessibleName(QStringLiteral("Barre d'état"));
    bar->setFixedHeight(19);
    bar->setSizeGripEnabled(true);
    bar->setFont(QApplication::font("QStatusBar"));
    bar->setFocusPolicy(Qt::NoFocus);
    static const int widths[StatusPanelCount] = {100, 20, 20, 0};
    for (int i = 0; i < StatusPanelCount; ++i) {
        auto *panel = new QLabel;
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // No accessible name of its own: a screen reader hears the panel's text, and each change
        // of it, as for any label.
        panel->setAccessibleDescription(QStringLiteral("Barre d'état, panneau %1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        bar->addPanel(panel, widths[i]);
        m_panels[i] = panel;
    }
    return bar;
}

void TForm1::onTriggered(QAction *action, void (TForm1::*handler)())
{
    connect(action, &QAction::triggered, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::buildActions()
{
    m_actionList = new QObject(this);
    m_actionList->setObjectName(QStringLiteral("ActionList1"));
    m_exit = makeAction(m_actionList, "FichierFileExit1", QStringLiteral("&Quitter"),
                        MenuImage::OpenDoor);
    connect(m_exit, &QAction::triggered, this, &QWidget::close);
    m_copyAction = makeAction(m_actionList, "EditionEditCopy1", QStringLiteral("C&opier"),
                              MenuImage::TwoSheets, QKeySequence(QStringLiteral("Ctrl+C")));
    connect(m_copyAction, &QAction::triggered, m_edit, &QLineEdit::copy);
    m_pasteAction = makeAction(m_actionList, "EditionEditPaste1", QStringLiteral("Co&ller"),
                               MenuImage::FloppyDisk, QKeySequence(QStringLiteral("Ctrl+V")));
    connect(m_pasteAction, &QAction::triggered, m_edit, &QLineEdit::paste);
    m_selectAllAction =
        makeAction(m_actionList, "EditionEditSelectAll1", QStringLiteral("&Tout sélectionner"),
                   MenuImage::None, QKeySequence(QStringLiteral("Ctrl+A")));
    connect(m_selectAllAction, &QAction::triggered, m_edit, &QLineEdit::selectAll);
    m_extractAction =
        makeAction(m_actionList, "Extract", QStringLiteral("Extraire"), MenuImage::Envelope);
    onTriggered(m_extractAction, &TForm1::ExtractExecute);
}

void TForm1::addBoundEntry(const char *name, QAction *action, const QKeySequence &ownShortcut)
{
    QAction *entry = makeAction(m_menu, name, action->text(), MenuImage::None,
                                ownShortcut.isEmpty() ? action->shortcut() : ownShortcut);
    entry->setIcon(action->icon());
    entry->setShortcutVisibleInContextMenu(true);
    m_menu->addAction(entry);
    connect(entry, &QAction::triggered, this, [this, action] { runAction(action); });
    m_boundEntries.push_back({entry, action});
}

void TForm1::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    m_menu->setAccessibleName(QStringLiteral("Menu de la liste"));
    auto entry = [this](const char *name, const QString &caption, MenuImage image,
                        const QKeySequence &shortcut, void (TForm1::*handler)()) {
        QAction *action = makeAction(m_menu, name, caption, image, shortcut);
        action->setShortcutVisibleInContextMenu(true);
        m_menu->addAction(action);
        if (handler)
            onTriggered(action, handler);
        return action;
    };
    auto separator = [this](const char *name) {
        m_menu->addSeparator()->setObjectName(QLatin1StringView(name));
    };

    addBoundEntry("Extraire1", m_extractAction, QKeySequence(Qt::Key_F5));
    separator("N4");
    entry("Enregistrer1", QStringLiteral("Enregistrer ..."), MenuImage::FloppyDisk, {},
          &TForm1::Enregistrer1Click);
    QAction *copy = entry("COPY", QStringLiteral("Copier toute la liste dans le presse papier "),
                          MenuImage::Clipboard, QKeySequence(QStringLiteral("Ctrl+Shift+C")),
                          &TForm1::COPYClick);
    m_menu->setDefaultAction(copy);
    QFont bold = copy->font();
    bold.setBold(true);
    copy->setFont(bold); // style sheets do not draw the default entry in bold by themselves
    entry("mnu_COPYSEL", QStringLiteral("Copier des emails cochés"), MenuImage::None,
          QKeySequence(QStringLiteral("Ctrl+Alt+C")), &TForm1::mnu_COPYSELClick);
    entry("SORT", QStringLiteral("Trier la liste"), MenuImage::None,
          QKeySequence(QStringLiteral("Ctrl+T")), &TForm1::SORTClick);
    separator("N5");
    m_autoExtract =
        entry("chk_AUTO", QStringLiteral("Extraction automatique"), MenuImage::None, {}, nullptr);
    m_autoExtract->setCheckable(true);
    m_autoExtract->setChecked(true);
    separator("N3");
    addBoundEntry("outslectionner1", m_selectAllAction);
    addBoundEntry("Coller1", m_pasteAction);
    addBoundEntry("N1", m_copyAction);
    separator("N2");
    addBoundEntry("Quitter1", m_exit, QKeySequence(QStringLiteral("Ctrl+Q")));
}

void TForm1::setPanelText(StatusPanel panel, const QString &text)
{
    m_panels[panel]->setText(text);
}

void TForm1::showErrorBox(const QString &message)
{
    m_dialogs.showError(this, ApplicationTitle(), ShownMessage(message));
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
    m_list->Assign(ExtractAddresses(m_list->takeEntries()), TextEncoding::SystemCodePage);
    setPanelText(CountPanel, QStringLiteral("%1 adresses").arg(m_list->Count()));
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
    if (const std::optional<QByteArray> utf8 = m_list->utf8Text())
        PutClipboardUtf8Text(*utf8);
    else
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
    setPanelText(IndexPanel, QString::number(index));
    setPanelText(EntryPanel, m_list->Items(index).toString());
}

void TForm1::JvCheckListBox1ClickCheck()
{
    setPanelText(CheckedPanel, QString::number(m_list->checkedCount()));
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
    for (const BoundEntry &bound : m_boundEntries)
        bound.entry->setEnabled(bound.action->isEnabled());
}

void TForm1::runAction(QAction *action)
{
    updateActionStates();
    action->trigger(); // a disabled action does nothing
}

void TForm1::popupListMenu(QPoint globalPosition)
{
    updateActionStates();
    m_menu->popup(globalPosition);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
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
    if (pressed == QKeySequence(Qt::SHIFT | Qt::Key_F10) || pressed == QKeySequence(Qt::Key_Menu)) {
        openKeyboardMenu(QApplication::focusWidget());
        return true;
    }

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
    const QList<QAction *> actions =
        m_actionList->findChildren<QAction *>(Qt::FindDirectChildrenOnly);
    for (QAction *action : actions) {
        if (action->shortcut().isEmpty() || action->shortcut() != pressed)
            continue;
        updateActionStates();
        if (!action->isEnabled())
            return false;
        action->trigger();
        return true;
    }
    return false;
}

// The keyboard's context-menu request: the list's menu at the list's top-left corner, the
// field's own menu for the field.
void TForm1::openKeyboardMenu(QWidget *control)
{
    if (control != m_edit) {
        popupListMenu(m_view->mapToGlobal(QPoint(0, 0)));
        return;
    }
    const QPoint at = control->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, at, control->mapToGlobal(at));
    QCoreApplication::sendEvent(control, &request);
}
