#pragma once

#include <functional>

#include <QKeySequence>
#include <QObject>
#include <QPoint>

class QAction;
class QIcon;
class QLineEdit;
class QMenu;
class QWidget;

// The list's context menu `PopupMenu1` and the window's action list `ActionList1`, and the lookup
// of a pressed shortcut among them. Shortcuts are found here, never through Qt's shortcut map.
class ListMenu : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void()>;
    // The window's handlers the menu runs, each already inside the window's error guard.
    struct Handlers
    {
        Handler extract;
        Handler save;
        Handler copyList;
        Handler copyChecked;
        Handler sort;
    };

    // The edit actions work on `field`; quit closes `window`, which owns the menu.
    ListMenu(QWidget *window, QLineEdit *field, const Handlers &handlers);

    QMenu *menu() const { return m_menu; }
    bool autoExtract() const;

    // Recomputes the enabled state of every action; the entries bound to one follow it.
    void updateStates();
    // Opens the menu at a screen point, enabled states recomputed first.
    void popup(QPoint globalPosition);
    // Runs the command of a pressed shortcut. `onList`: the list received the key, so its menu
    // is searched before the action list. Returns whether the key is used up.
    bool runShortcut(const QKeySequence &pressed, bool onList);

private:
    // Every action and entry is made here, in the action list or appended to the menu, and
    // connected to what it runs.
    QAction *makeCommand(QObject *owner, const char *name, const QString &caption,
                         const QIcon &image, const QKeySequence &shortcut, Handler run);
    // A menu entry that takes its caption, image, shortcut (unless it has its own) and enabled
    // state from an action; choosing it runs that action.
    void bindEntry(const char *name, QAction *action, const QKeySequence &ownShortcut = {});
    void addSeparator(const char *name);

    QWidget *m_window;
    QLineEdit *m_field;
    QObject *m_actionList = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_exit = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_paste = nullptr;
    QAction *m_selectAll = nullptr;
    QAction *m_extract = nullptr;
    QAction *m_autoExtract = nullptr;
};
