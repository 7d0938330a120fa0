#include "app/main_window.h"

#include <algorithm>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>

#include "app/address_list.h"
#include "app/align_layout.h"
#include "app/check_list_box.h"
#include "app/framed_label.h"
#include "app/list_menu.h"
#include "app/main_window_geometry.h"
#include "app/panel_status_bar.h"
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
    // The platform's order of claim: the top band, the bottom band, the left column, then the
    // list takes what remains. A window smaller than the design clips them.
    auto *layout = new AlignLayout(this);
    layout->addAligned(top, AlignLayout::Top, 25);
    layout->addAligned(statusBar, AlignLayout::Bottom, 19);
    layout->addAligned(left, AlignLayout::Left, 121);
    layout->addAligned(list, AlignLayout::Client);

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
    auto *layout = new AlignLayout(top);
    layout->addAligned(label2, AlignLayout::Left, 120);
    layout->addAligned(m_edit, AlignLayout::Client);
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
    auto *layout = new AlignLayout(left);
    layout->addAligned(image, AlignLayout::Bottom, 128);
    layout->addAligned(label1, AlignLayout::Client);
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
    // The platform bar's Tahoma; its stand-in is the narrow cut, so that three digits fit the
    // 20-pixel panels as they do in Tahoma.
    QFont panelFont;
    panelFont.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")});
    panelFont.setPixelSize(11);
    bar->setFont(panelFont);
    bar->setFocusPolicy(Qt::NoFocus);
    static const int widths[StatusPanelCount] = {100, 20, 20, 0};
    for (int i = 0; i < StatusPanelCount; ++i) {
        auto *panel = new StatusBarPanel;
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // No accessible name of its own: a screen reader hears the panel's text, and each change
        // of it, as for any label.
        panel->setAccessibleDescription(QStringLiteral("Barre d'état, panneau %1").arg(i));
        // On the panel itself: the theme's rule for the panels cuts them off from the bar's font.
        panel->setFont(panelFont);
        bar->addPanel(panel, widths[i]);
        m_panels[i] = panel;
    }
    return bar;
}

void TForm1::buildMenu()
{
    const auto handler = [this](void (TForm1::*run)()) {
        return [this, run] { guarded([this, run] { (this->*run)(); }); };
    };
    m_listMenu = new ListMenu(this, m_edit,
                              {.extract = handler(&TForm1::ExtractExecute),
                               .save = handler(&TForm1::Enregistrer1Click),
                               .copyList = handler(&TForm1::COPYClick),
                               .copyChecked = handler(&TForm1::mnu_COPYSELClick),
                               .sort = handler(&TForm1::SORTClick)});
}

void TForm1::setPanelText(StatusPanel panel, QStringView text)
{
    m_panels[panel]->setPanelText(text);
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
    if (m_listMenu->autoExtract())
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
    setPanelText(EntryPanel, m_list->Items(index));
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
    if (m_listMenu->autoExtract())
        ExtractExecute();
}

void TForm1::updateActionStates()
{
    m_listMenu->updateStates();
}

void TForm1::popupListMenu(QPoint globalPosition)
{
    m_listMenu->popup(globalPosition);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_view || watched == m_edit))
        return routeShortcut(static_cast<QWidget *>(watched), static_cast<QKeyEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

// A key press is looked up among the commands for the control that received it (the list's
// menu counts only for the list); a key that no command uses up goes on to that control. The
// control is the one the key came to, not the application's focus, which is empty while the
// window is not active.
bool TForm1::routeShortcut(QWidget *control, QKeyEvent *event)
{
    // Right Alt acting as AltGr composes characters, never shortcuts.
    if (event->modifiers() & Qt::GroupSwitchModifier)
        return false;
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(event->key())));
    if (pressed == QKeySequence(Qt::SHIFT | Qt::Key_F10) || pressed == QKeySequence(Qt::Key_Menu)) {
        openKeyboardMenu(control);
        return true;
    }
    return m_listMenu->runShortcut(pressed, control == m_view);
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
