#pragma once

#include <memory>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/address_list.h"
#include "app/check_list_box.h"
#include "app/main_window.h"
#include "support/fake_dialogs.h"
#include "support/fixtures.h"

// One main window built in a temporary folder that stands for the executable's folder, with the
// recording dialogs, and the few ways a user reaches it.
class WindowHarness
{
public:
    explicit WindowHarness(const QString &executableName = QStringLiteral("extracteur"))
        : m_executableName(executableName)
    {
        if (!m_dir.isValid())
            qFatal("no temporary folder");
        useExecutableIn(m_dir.path(), executableName);
    }
    ~WindowHarness()
    {
        // The window must go before the fake dialogs it refers to.
        m_window.reset();
    }
    WindowHarness(const WindowHarness &) = delete;
    WindowHarness &operator=(const WindowHarness &) = delete;

    QString dir() const { return m_dir.path(); }
    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    QString programPath() const { return path(m_executableName); }
    QString settingsPath() const
    {
        QString name = m_executableName;
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot > 0)
            name.truncate(dot);
        return path(name + QStringLiteral(".INI"));
    }

    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        const QString target = path(name);
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write a test file");
        file.write(bytes);
        return target;
    }
    static QByteArray readFile(const QString &target)
    {
        QFile file(target);
        if (!file.open(QIODevice::ReadOnly))
            return "<unreadable>";
        return file.readAll();
    }
    void writeSettings(const QByteArray &lines) const { writeFile(settingsPath(), lines); }
    // The settings file as section -> key -> value, read without the product's own reader.
    QMap<QString, QMap<QString, QString>> settings() const
    {
        QMap<QString, QMap<QString, QString>> result;
        QString section;
        const QStringList lines = QString::fromUtf8(readFile(settingsPath()))
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
    QString setting(const QString &section, const QString &key) const
    {
        return settings().value(section).value(key, QStringLiteral("<missing>"));
    }

    // Builds the window with the given arguments after the program's path, shows it and waits
    // until it is active.
    TForm1 &open(const QStringList &arguments = {})
    {
        m_window = std::make_unique<TForm1>(m_dialogs, QStringList{programPath()} + arguments);
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("the main window did not become active");
        return *m_window;
    }
    // Opens the window on a file holding the given lines, loaded as they are (auto-extract off),
    // with the focus on the list. The mark makes the lines read as UTF-8.
    TForm1 &openWithLines(const QStringList &lines)
    {
        writeSettings("[CASES_A_COCHER]\nchk_AUTO=0\n");
        QByteArray bytes;
        for (const QString &line : lines)
            bytes += line.toUtf8() + "\r\n";
        TForm1 &opened = open({writeFile(QStringLiteral("lignes.txt"), "\xef\xbb\xbf" + bytes)});
        focusList();
        return opened;
    }
    void closeAndDestroy() { m_window.reset(); }

    TForm1 &window() const { return *m_window; }
    FakeDialogs &dialogs() { return m_dialogs; }
    AddressList &list() const { return m_window->list(); }
    CheckListBox *view() const
    {
        return m_window->findChild<CheckListBox *>(QStringLiteral("JvCheckListBox1"));
    }
    QLineEdit *edit() const { return m_window->findChild<QLineEdit *>(QStringLiteral("Edit1")); }
    QMenu *menu() const { return m_window->findChild<QMenu *>(QStringLiteral("PopupMenu1")); }
    QAction *entry(const QString &name) const { return m_window->findChild<QAction *>(name); }
    QString panel(int index) const
    {
        const auto *label =
            m_window->findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(index));
        return label ? label->text() : QStringLiteral("<no panel>");
    }
    QStringList entries() const
    {
        QStringList result;
        for (int i = 0; i < list().Count(); ++i)
            result.append(list().Items(i).toString());
        return result;
    }
    QAbstractItemModelTester *attachModelTester() const
    {
        return new QAbstractItemModelTester(
            &list(), QAbstractItemModelTester::FailureReportingMode::QtTest, &list());
    }

    // Gives the keyboard focus to the list or the field the way a user would, with a click.
    void focusList() const
    {
        view()->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(view()));
    }
    void focusEdit() const
    {
        edit()->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(edit()));
    }
    // A key typed on whatever control has the focus.
    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *focused = QApplication::focusWidget();
        if (!focused)
            qFatal("no control has the focus");
        QTest::keyClick(focused, static_cast<Qt::Key>(key), modifiers);
    }

    // A point in the row: in its check column, or on its text.
    QPoint checkPoint(int row) const
    {
        const QRect rect = view()->visualRect(list().index(row));
        return {rect.left() + view()->checkColumnWidth() / 2, rect.center().y()};
    }
    QPoint textPoint(int row) const
    {
        const QRect rect = view()->visualRect(list().index(row));
        return {rect.left() + view()->checkColumnWidth() + 4, rect.center().y()};
    }
    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) const
    {
        QTest::mouseClick(view()->viewport(), button, Qt::NoModifier, at);
    }
    // What the platform delivers for a double-click: press, release, double-click, release.
    void doubleClick(QPoint at) const
    {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // Drops the given paths on a control of the window, as a file manager does.
    static void drop(QWidget *target, const QStringList &paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &p : paths)
            urls.append(QUrl::fromLocalFile(p));
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        // The window handles the drop once the drop event has returned.
        QCoreApplication::processEvents();
    }

    static QString clipboardText() { return QGuiApplication::clipboard()->text(); }
    static void setClipboardText(const QString &text)
    {
        QGuiApplication::clipboard()->setText(text);
    }

private:
    QString m_executableName;
    QTemporaryDir m_dir;
    FakeDialogs m_dialogs;
    std::unique_ptr<TForm1> m_window;
};
