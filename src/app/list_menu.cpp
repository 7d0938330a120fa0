#include "app/list_menu.h"

#include <utility>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

namespace {

// The menu images, by what they show.
enum class MenuImage { OpenDoor, TwoSheets, Clipboard, FloppyDisk, Envelope };

QIcon menuImage(MenuImage image)
{
    static const char *const names[] = {"quit", "copy", "copy_list", "save", "extract"};
    return QIcon(
        QStringLiteral(":/icons/%1.svg").arg(QLatin1StringView(names[static_cast<int>(image)])));
}

} // namespace

ListMenu::ListMenu(QWidget *window, QLineEdit *field, const Handlers &handlers)
    : QObject(window), m_window(window), m_field(field)
{
    m_actionList = new QObject(this);
    m_actionList->setObjectName(QStringLiteral("ActionList1"));
    m_exit = makeCommand(m_actionList, "FichierFileExit1", QStringLiteral("&Quitter"),
                         menuImage(MenuImage::OpenDoor), {}, [window] { window->close(); });
    m_copy = makeCommand(m_actionList, "EditionEditCopy1", QStringLiteral("C&opier"),
                         menuImage(MenuImage::TwoSheets), QKeySequence(QStringLiteral("Ctrl+C")),
                         [field] { field->copy(); });
    m_paste = makeCommand(m_actionList, "EditionEditPaste1", QStringLiteral("Co&ller"),
                          menuImage(MenuImage::FloppyDisk), QKeySequence(QStringLiteral("Ctrl+V")),
                          [field] { field->paste(); });
    m_selectAll = makeCommand(
        m_actionList, "EditionEditSelectAll1", QStringLiteral("&Tout sélectionner"), QIcon(),
        QKeySequence(QStringLiteral("Ctrl+A")), [field] { field->selectAll(); });
    m_extract = makeCommand(m_actionList, "Extract", QStringLiteral("Extraire"),
                            menuImage(MenuImage::Envelope), {}, handlers.extract);

    m_menu = new QMenu(window);
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    m_menu->setAccessibleName(QStringLiteral("Menu de la liste"));
    bindEntry("Extraire1", m_extract, QKeySequence(Qt::Key_F5));
    addSeparator("N4");
    makeCommand(m_menu, "Enregistrer1", QStringLiteral("Enregistrer ..."),
                menuImage(MenuImage::FloppyDisk), {}, handlers.save);
    QAction *copyList =
        makeCommand(m_menu, "COPY", QStringLiteral("Copier toute la liste dans le presse papier "),
                    menuImage(MenuImage::Clipboard), QKeySequence(QStringLiteral("Ctrl+Shift+C")),
                    handlers.copyList);
    m_menu->setDefaultAction(copyList);
    QFont bold = copyList->font();
    bold.setBold(true);
    copyList->setFont(bold); // style sheets do not draw the default entry in bold by themselves
    makeCommand(m_menu, "mnu_COPYSEL", QStringLiteral("Copier des emails cochés"), QIcon(),
                QKeySequence(QStringLiteral("Ctrl+Alt+C")), handlers.copyChecked);
    makeCommand(m_menu, "SORT", QStringLiteral("Trier la liste"), QIcon(),
                QKeySequence(QStringLiteral("Ctrl+T")), handlers.sort);
    addSeparator("N5");
    // Choosing it only toggles its mark, which is read after each load.
    m_autoExtract =
        makeCommand(m_menu, "chk_AUTO", QStringLiteral("Extraction automatique"), QIcon(), {}, {});
    m_autoExtract->setCheckable(true);
    m_autoExtract->setChecked(true);
    addSeparator("N3");
    bindEntry("outslectionner1", m_selectAll);
    bindEntry("Coller1", m_paste);
    bindEntry("N1", m_copy);
    addSeparator("N2");
    bindEntry("Quitter1", m_exit, QKeySequence(QStringLiteral("Ctrl+Q")));
}

QAction *ListMenu::makeCommand(QObject *owner, const char *name, const QString &caption,
                               const QIcon &image, const QKeySequence &shortcut, Handler run)
{
    auto *command = new QAction(image, caption, owner);
    command->setObjectName(QLatin1StringView(name));
    command->setShortcut(shortcut);
    command->setShortcutContext(Qt::WidgetShortcut);
    if (owner == m_menu) {
        command->setShortcutVisibleInContextMenu(true);
        m_menu->addAction(command);
    }
    if (run)
        connect(command, &QAction::triggered, this, std::move(run));
    return command;
}

void ListMenu::bindEntry(const char *name, QAction *action, const QKeySequence &ownShortcut)
{
    QAction *entry =
        makeCommand(m_menu, name, action->text(), action->icon(),
                    ownShortcut.isEmpty() ? action->shortcut() : ownShortcut, [this, action] {
                        updateStates();
                        action->trigger(); // a disabled action does nothing
                    });
    entry->setEnabled(action->isEnabled());
    connect(action, &QAction::enabledChanged, entry, &QAction::setEnabled);
}

void ListMenu::addSeparator(const char *name)
{
    m_menu->addSeparator()->setObjectName(QLatin1StringView(name));
}

bool ListMenu::autoExtract() const
{
    return m_autoExtract->isChecked();
}

void ListMenu::updateStates()
{
    // The window's own focus: it stays on its control while a box or the menu is open.
    const bool fieldFocused = m_window->focusWidget() == m_field;
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    m_copy->setEnabled(fieldFocused && m_field->hasSelectedText());
    m_paste->setEnabled(fieldFocused && !m_field->isReadOnly() && clip && clip->hasText());
    m_selectAll->setEnabled(fieldFocused && !m_field->text().isEmpty());
    m_exit->setEnabled(true);
    m_extract->setEnabled(true);
}

void ListMenu::popup(QPoint globalPosition)
{
    updateStates();
    m_menu->popup(globalPosition);
}

bool ListMenu::runShortcut(const QKeySequence &pressed, bool onList)
{
    QList<QAction *> commands;
    if (onList)
        commands = m_menu->actions();
    commands += m_actionList->findChildren<QAction *>(Qt::FindDirectChildrenOnly);
    for (QAction *command : std::as_const(commands)) {
        if (command->shortcut().isEmpty() || command->shortcut() != pressed)
            continue;
        updateStates();
        if (command->isEnabled()) {
            command->trigger();
            return true;
        }
        // A greyed entry of the menu still uses the key up; a disabled action lets it go on to
        // the control, which handles it in its own way.
        return command->parent() == m_menu;
    }
    return false;
}
