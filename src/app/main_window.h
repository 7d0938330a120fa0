#pragma once

#include <exception>
#include <memory>
#include <new>
#include <vector>

#include <QStringList>
#include <QWidget>

#include "errors/app_error.h"
#include "platform/gui_dialogs.h"
#include "settings/option_states.h"
#include "settings/window_geometry.h"

class QKeyEvent;
class QLabel;
class QLineEdit;
class QStatusBar;
class AddressList;
class CheckListBox;
class FileDropTarget;
class ListMenu;
class MainWindowGeometry;
class StatusBarPanel;

// The main window: search field on top, drop hint and picture on the left, the address list,
// the status bar. Every handler runs through one guard that shows an error in the error box.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // The status bar's panels, left to right.
    enum StatusPanel { CountPanel, IndexPanel, CheckedPanel, EntryPanel, StatusPanelCount };

    // Builds the window from its layout, then runs FormCreate. `arguments` are the process
    // arguments, the program's path first.
    TForm1(Dialogs &dialogs, const QStringList &arguments, QWidget *parent = nullptr);
    ~TForm1() override;

    AddressList &list() const { return *m_list; }

    // Handlers, each run through the guard by the event that triggers it.
    void FormCreate();
    void FormClose();
    void ExtractExecute();
    void COPYClick();
    void mnu_COPYSELClick();
    void SORTClick();
    void Enregistrer1Click();
    void Edit1Change();
    void JvCheckListBox1Click();
    void JvCheckListBox1ClickCheck();
    void JvDragDrop1Drop(const QStringList &names);

    // Runs a handler; an AppError it raises ends it and is shown in the error box. Returns
    // whether it ran to its end.
    template <typename Handler> bool guarded(Handler &&handler);

    // Opens the list's context menu at a screen point (enabled states recomputed first).
    void popupListMenu(QPoint globalPosition);
    // Recomputes the enabled state of every action and of the menu entries bound to them.
    void updateActionStates();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    QWidget *buildTopBand();
    QWidget *buildLeftColumn();
    QWidget *buildList();
    QWidget *buildStatusBar();
    void buildMenu();

    void showErrorBox(const QString &message);
    void showCopied(int count);
    void loadFileAtStart(const QString &path);
    void rememberedImport();
    void setPanelText(StatusPanel panel, QStringView text);
    bool routeShortcut(QWidget *control, QKeyEvent *event);
    void openKeyboardMenu(QWidget *control);
    std::vector<OptionState> optionStates() const;
    void applyOptionStates(const std::vector<OptionState> &states);

    Dialogs &m_dialogs;
    QStringList m_arguments;
    AddressList *m_list = nullptr;
    CheckListBox *m_view = nullptr;
    QLineEdit *m_edit = nullptr;
    QStatusBar *m_statusBar = nullptr;
    StatusBarPanel *m_panels[StatusPanelCount] = {};
    ListMenu *m_listMenu = nullptr;
    FileDropTarget *m_dropTarget = nullptr;
    std::unique_ptr<MainWindowGeometry> m_geometry;
};

template <typename Handler> bool TForm1::guarded(Handler &&handler)
{
    try {
        handler();
        return true;
    } catch (const AppError &error) {
        showErrorBox(error.message());
    } catch (const std::bad_alloc &) {
        showErrorBox(QStringLiteral("Mémoire insuffisante pour terminer l'opération"));
    } catch (const std::exception &) {
        // Nothing may cross the event loop: any other failure ends the handler like an error.
        showErrorBox(QStringLiteral("L'opération n'a pas pu aboutir"));
    }
    return false;
}
