#include "support/window_harness.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QRegularExpression>

#include "app/panel_status_bar.h"
#include "app/theme.h"

WindowHarness::WindowHarness(const QString &executableName)
    : m_executableName(executableName), m_settingsPath(freshSettingsIn(m_dir, executableName))
{
    // The windows are tested in the look the program starts with, once per test program.
    static const bool prepared = [this] {
        SetUpApplication(*qApp, m_dialogs);
        return true;
    }();
    Q_UNUSED(prepared);
}

WindowHarness::~WindowHarness()
{
    // The window must go before the fake dialogs it refers to.
    m_window.reset();
}

QString WindowHarness::blockSettings() const
{
    QFile::remove(settingsPath());
    if (!QDir().mkdir(settingsPath()))
        qFatal("cannot put a folder in place of the settings file");
    writeBytes(path(QStringLiteral("config")), "not a folder");
    return path(QStringLiteral("config/extracteur/extracteur.INI"));
}

void WindowHarness::unblockSettings() const
{
    if (!QDir().rmdir(settingsPath()) || !QFile::remove(path(QStringLiteral("config"))))
        qFatal("cannot undo blockSettings()");
}

QString WindowHarness::writeFile(const QString &name, const QByteArray &bytes) const
{
    return ::writeFile(m_dir, name, bytes);
}

QMap<QString, QMap<QString, QString>> WindowHarness::settings() const
{
    QMap<QString, QMap<QString, QString>> result;
    QString section;
    const QStringList lines = QString::fromUtf8(readBytes(settingsPath()))
                                  .split(QRegularExpression(QStringLiteral("\r?\n")));
    for (const QString &line : lines) {
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2);
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0) {
            result[section][line.left(eq)] = line.mid(eq + 1);
        }
    }
    return result;
}

QString WindowHarness::setting(const QString &section, const QString &key) const
{
    return settings().value(section).value(key, QStringLiteral("<missing>"));
}

TForm1 &WindowHarness::open(const QStringList &arguments)
{
    m_window = std::make_unique<TForm1>(m_dialogs, QStringList{programPath()} + arguments);
    m_window->show();
    m_window->activateWindow();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qWarning("the main window did not become active");
    return *m_window;
}

TForm1 &WindowHarness::openWithLines(const QStringList &lines)
{
    writeSettings("[CASES_A_COCHER]\nchk_AUTO=0\n");
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + "\r\n";
    TForm1 &opened = open({writeFile(QStringLiteral("lignes.txt"), "\xef\xbb\xbf" + bytes)});
    focusList();
    return opened;
}

qint64 &WindowHarness::openForTyping()
{
    openWithLines({QStringLiteral("zeta"), QStringLiteral("mz"), QStringLiteral("alpha"),
                   QStringLiteral("MAry")});
    view()->setTickSource([this] { return m_now; });
    return m_now;
}

CheckListBox *WindowHarness::view() const
{
    return m_window->findChild<CheckListBox *>(QStringLiteral("JvCheckListBox1"));
}

QLineEdit *WindowHarness::edit() const
{
    return m_window->findChild<QLineEdit *>(QStringLiteral("Edit1"));
}

QMenu *WindowHarness::menu() const
{
    return m_window->findChild<QMenu *>(QStringLiteral("PopupMenu1"));
}

QAction *WindowHarness::entry(const QString &name) const
{
    return m_window->findChild<QAction *>(name);
}

QLabel *WindowHarness::panelLabel(int index) const
{
    return m_window->findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(index));
}

QString WindowHarness::panel(int index) const
{
    const auto *label = qobject_cast<const StatusBarPanel *>(panelLabel(index));
    return label ? label->panelText() : QStringLiteral("<no panel>");
}

QStringList WindowHarness::entries() const
{
    QStringList result;
    for (int i = 0; i < list().Count(); ++i)
        result.append(list().Items(i).toString());
    return result;
}

QAbstractItemModelTester *WindowHarness::attachModelTester() const
{
    return new QAbstractItemModelTester(
        &list(), QAbstractItemModelTester::FailureReportingMode::QtTest, &list());
}

void WindowHarness::focusList() const
{
    view()->setFocus(Qt::MouseFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(view()));
}

void WindowHarness::focusEdit() const
{
    edit()->setFocus(Qt::MouseFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(edit()));
}

void WindowHarness::press(int key, Qt::KeyboardModifiers modifiers)
{
    QWidget *focused = QApplication::focusWidget();
    if (!focused)
        qFatal("no control has the focus");
    QTest::keyClick(focused, static_cast<Qt::Key>(key), modifiers);
}

QPoint WindowHarness::checkPoint(int row) const
{
    const QRect rect = view()->visualRect(list().index(row));
    return {rect.left() + view()->checkColumnWidth() / 2, rect.center().y()};
}

QPoint WindowHarness::textPoint(int row) const
{
    const QRect rect = view()->visualRect(list().index(row));
    return {rect.left() + view()->checkColumnWidth() + 4, rect.center().y()};
}

void WindowHarness::click(QPoint at, Qt::MouseButton button) const
{
    QTest::mouseClick(view()->viewport(), button, Qt::NoModifier, at);
}

void WindowHarness::doubleClick(QPoint at) const
{
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void WindowHarness::drop(QWidget *target, const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls.append(QUrl::fromLocalFile(p));
    dropUrls(target, urls);
}

bool WindowHarness::dropUrls(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    // The window handles the drop once the drop event has returned.
    QCoreApplication::processEvents();
    return dropped.isAccepted();
}
