#pragma once

#include <memory>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/address_list.h"
#include "app/check_list_box.h"
#include "app/main_window.h"
#include "support/fake_dialogs.h"
#include "support/fixtures.h"

// One main window built in a temporary folder that stands for the executable's folder, with the
// recording dialogs, under the program's own theme, and the few ways a user reaches it.
class WindowHarness
{
public:
    explicit WindowHarness(const QString &executableName = QStringLiteral("extracteur"));
    ~WindowHarness();
    WindowHarness(const WindowHarness &) = delete;
    WindowHarness &operator=(const WindowHarness &) = delete;

    QString dir() const { return m_dir.path(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString programPath() const { return path(m_executableName); }
    QString settingsPath() const { return m_settingsPath; }
    // Makes both homes of the settings refuse them: a folder in place of the file beside the
    // program, a plain file in place of the user's configuration folder. Gives the path the
    // write error then names. unblockSettings() undoes it.
    QString blockSettings() const;
    void unblockSettings() const;

    // Writes a file in the folder and gives its path.
    QString writeFile(const QString &name, const QByteArray &bytes) const;
    void writeSettings(const QByteArray &lines) const { writeBytes(settingsPath(), lines); }
    // The settings file as section -> key -> value, read without the product's own reader.
    QMap<QString, QMap<QString, QString>> settings() const;
    QString setting(const QString &section, const QString &key) const;

    // Builds the window with the given arguments after the program's path, shows it and waits
    // until it is active.
    TForm1 &open(const QStringList &arguments = {});
    // Opens the window on a file holding the given lines, loaded as they are (auto-extract off),
    // with the focus on the list. The mark makes the lines read as UTF-8.
    TForm1 &openWithLines(const QStringList &lines);
    // The list on "zeta", "mz", "alpha", "MAry" with the focus, and a clock the test moves by
    // hand for the type-ahead: the returned milliseconds are what the list reads.
    qint64 &openForTyping();
    void closeAndDestroy() { m_window.reset(); }

    TForm1 &window() const { return *m_window; }
    FakeDialogs &dialogs() { return m_dialogs; }
    AddressList &list() const { return m_window->list(); }
    CheckListBox *view() const;
    QLineEdit *edit() const;
    QMenu *menu() const;
    QAction *entry(const QString &name) const;
    QLabel *panelLabel(int index) const;
    QString panel(int index) const;
    QStringList entries() const;
    QAbstractItemModelTester *attachModelTester() const;

    // Gives the keyboard focus to the list or the field the way a user would, with a click.
    void focusList() const;
    void focusEdit() const;
    // A key typed on whatever control has the focus.
    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // A point in the row: in its check column, or on its text.
    QPoint checkPoint(int row) const;
    QPoint textPoint(int row) const;
    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) const;
    // What the platform delivers for a double-click: press, release, double-click, release.
    void doubleClick(QPoint at) const;

    // Drops the given paths on a control of the window, as a file manager does.
    static void drop(QWidget *target, const QStringList &paths);
    // Drags the links over a control and drops them there when the control takes the drag.
    // Returns whether it took it.
    static bool dropUrls(QWidget *target, const QList<QUrl> &urls);

    static QString clipboardText() { return QGuiApplication::clipboard()->text(); }
    static void setClipboardText(const QString &text)
    {
        QGuiApplication::clipboard()->setText(text);
    }

private:
    QString m_executableName;
    QTemporaryDir m_dir;
    QString m_settingsPath;
    FakeDialogs m_dialogs;
    std::unique_ptr<TForm1> m_window;
    qint64 m_now = 100000;
};
