#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QTest>

#include "support/window_harness.h"

using namespace Qt::StringLiterals;

namespace {

const QString before = u"avant"_s;

// The window on the given lines, with a known text on the clipboard.
TForm1 &openWithLines(WindowHarness &h, const QStringList &lines)
{
    TForm1 &window = h.openWithLines(lines);
    WindowHarness::setClipboardText(before);
    return window;
}

QString copiedMessage(int count)
{
    return u"%1 adresses copiées dans le presse papier\r\n\r\nCTRL+V pour les coller"_s.arg(count);
}

} // namespace

class TestShortcuts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void editShortcutsUsedUpOnList_data();
    void editShortcutsUsedUpOnList();
    void keysTheListDoesNotHandleAreInert_data();
    void keysTheListDoesNotHandleAreInert();
    void copyWholeList_data();
    void copyWholeList();
    void copyWholeListKeepsALoneSurrogate();
    void copyChecked_data();
    void copyChecked();
    void clipboardOffersUtf8_data();
    void clipboardOffersUtf8();
    void altGrIsNoShortcut();
    void extractOnList();
    void shortcutsReachAnInactiveWindow();
    void notCommandsInField_data();
    void notCommandsInField();
    void quit();

    void copyInField();
    void pasteInField();
    void selectAllInField();
};

void TestShortcuts::editShortcutsUsedUpOnList_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Ctrl+C") << int(Qt::Key_C);
    QTest::newRow("Ctrl+V") << int(Qt::Key_V);
    QTest::newRow("Ctrl+A") << int(Qt::Key_A);
}

// The list's menu holds these shortcuts, disabled while the list has the focus: the key is used
// up, and never reaches the list's type-ahead (each letter begins an entry).
void TestShortcuts::editShortcutsUsedUpOnList()
{
    QFETCH(int, key);
    WindowHarness h;
    openWithLines(h, {u"a@x"_s, u"b"_s, u"c@x"_s, u"v@x"_s});
    h.click(h.textPoint(1));

    WindowHarness::press(key, Qt::ControlModifier);

    QCOMPARE(WindowHarness::clipboardText(), before);
    QCOMPARE(h.list().ItemIndex(), 1);
    QCOMPARE(h.entries(), (QStringList{u"a@x"_s, u"b"_s, u"c@x"_s, u"v@x"_s}));
    QCOMPARE(h.edit()->text(), QString());
    QCOMPARE(h.dialogs().informations.size(), 0);
    QCOMPARE(h.dialogs().errors.size(), 0);
}

void TestShortcuts::keysTheListDoesNotHandleAreInert_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("Ctrl+Insert (copy)")
        << int(Qt::Key_Insert) << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Shift+Insert (paste)")
        << int(Qt::Key_Insert) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Shift+Delete (cut)")
        << int(Qt::Key_Delete) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Copy key") << int(Qt::Key_Copy) << none;
    QTest::newRow("Paste key") << int(Qt::Key_Paste) << none;
    QTest::newRow("Cut key") << int(Qt::Key_Cut) << none;
    QTest::newRow("F16 (copy on X11)") << int(Qt::Key_F16) << none;
    QTest::newRow("Select key") << int(Qt::Key_Select) << none;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << none;
    QTest::newRow("Insert") << int(Qt::Key_Insert) << none;
    QTest::newRow("F2 (edit)") << int(Qt::Key_F2) << none;
    QTest::newRow("Ctrl+O") << int(Qt::Key_O) << Qt::KeyboardModifiers(Qt::ControlModifier);
}

// Keys the platform list does nothing with leave the clipboard, the entries, the marks, the
// selection and the status bar as they were.
void TestShortcuts::keysTheListDoesNotHandleAreInert()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    WindowHarness h;
    openWithLines(h, {u"a@x"_s, u"b"_s, u"c@x"_s});
    h.click(h.checkPoint(1));
    const QStringList panels{h.panel(0), h.panel(1), h.panel(2), h.panel(3)};

    // Keys that type no character, sent as the platform sends them.
    QTest::sendKeyEvent(QTest::Click, h.view(), Qt::Key(key), QString(), modifiers);

    QCOMPARE(WindowHarness::clipboardText(), before);
    QCOMPARE(h.entries(), (QStringList{u"a@x"_s, u"b"_s, u"c@x"_s}));
    QCOMPARE(h.list().ItemIndex(), 1);
    QCOMPARE(h.list().checkedCount(), 1);
    QCOMPARE((QStringList{h.panel(0), h.panel(1), h.panel(2), h.panel(3)}), panels);
    QCOMPARE(h.edit()->text(), QString());
    QVERIFY(h.dialogs().informations.isEmpty());
    QVERIFY(h.dialogs().errors.isEmpty());
}

void TestShortcuts::copyWholeList_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("copied");

    QTest::newRow("two entries") << QStringList{u"a"_s, u"b"_s} << u"a\r\nb\r\n"_s;
    QTest::newRow("empty list") << QStringList() << QString();
}

void TestShortcuts::copyWholeList()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, copied);
    WindowHarness h;
    openWithLines(h, lines);
    if (h.list().Count() > 0)
        h.click(h.textPoint(0));

    WindowHarness::press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);

    QCOMPARE(WindowHarness::clipboardText(), copied);
    QCOMPARE(h.dialogs().informations.size(), 1);
    QCOMPARE(h.dialogs().informations[0].caption, u"extracteur"_s);
    QCOMPARE(h.dialogs().informations[0].message, copiedMessage(int(lines.size())));
    QCOMPARE(h.entries(), lines);
}

void TestShortcuts::copyWholeListKeepsALoneSurrogate()
{
    // UTF-8 cannot carry it: the clipboard gets the UTF-16 text instead.
    WindowHarness h;
    openWithLines(h, {u"a"_s});
    const QString broken = u"b"_s + QChar(0xd800);
    h.list().Add(broken);

    WindowHarness::press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);

    QCOMPARE(WindowHarness::clipboardText(), u"a\r\n"_s + broken + u"\r\n"_s);
    QCOMPARE(h.dialogs().informations.size(), 1);
}

void TestShortcuts::copyChecked_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<QString>("copied");

    QTest::newRow("a and c of a, b, c")
        << QStringList{u"a"_s, u"b"_s, u"c"_s} << QList<int>{0, 2} << u"a\r\nc"_s;
    QTest::newRow("a, empty, c") << QStringList{u"a"_s, QString(), u"c"_s} << QList<int>{0, 1, 2}
                                 << u"a\r\n\r\nc"_s;
    QTest::newRow("empty first") << QStringList{QString(), u"b"_s} << QList<int>{0, 1} << u"b"_s;
    QTest::newRow("empty last") << QStringList{u"a"_s, QString()} << QList<int>{0, 1} << u"a\r\n"_s;
    QTest::newRow("none ticked") << QStringList{u"a"_s, u"b"_s} << QList<int>() << QString();
}

void TestShortcuts::copyChecked()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, ticked);
    QFETCH(QString, copied);
    WindowHarness h;
    openWithLines(h, lines);
    for (int row : ticked)
        h.click(h.checkPoint(row));
    QCOMPARE(h.list().checkedCount(), ticked.size());

    WindowHarness::press(Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);

    QCOMPARE(WindowHarness::clipboardText(), copied);
    QCOMPARE(h.dialogs().informations.size(), 1);
    QCOMPARE(h.dialogs().informations[0].caption, u"extracteur"_s);
    QCOMPARE(h.dialogs().informations[0].message, copiedMessage(int(ticked.size())));
    QCOMPARE(h.list().checkedCount(), ticked.size());
}

void TestShortcuts::clipboardOffersUtf8_data()
{
    QTest::addColumn<bool>("checkedOnly");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("whole list") << false << QByteArray("\xc3\xa9l\xc3\xa8ve@x.fr\r\nb@y\r\n");
    QTest::newRow("checked entries") << true << QByteArray("\xc3\xa9l\xc3\xa8ve@x.fr\r\nb@y");
}

// Several toolkits ask for text/plain;charset=utf-8 before UTF8_STRING: both copy commands offer
// it, with the same bytes as the plain text.
void TestShortcuts::clipboardOffersUtf8()
{
    QFETCH(bool, checkedOnly);
    QFETCH(QByteArray, utf8);
    WindowHarness h;
    openWithLines(h, {u"élève@x.fr"_s, u"b@y"_s});
    h.click(h.checkPoint(0));
    h.click(h.checkPoint(1));

    WindowHarness::press(Qt::Key_C,
                         Qt::ControlModifier | (checkedOnly ? Qt::AltModifier : Qt::ShiftModifier));

    const QMimeData *held = QGuiApplication::clipboard()->mimeData();
    QVERIFY(held);
    QVERIFY(held->formats().contains(u"text/plain;charset=utf-8"_s));
    QCOMPARE(held->data(u"text/plain;charset=utf-8"_s), utf8);
    QCOMPARE(held->data(u"text/plain"_s), utf8);
}

// Ctrl+Alt+C typed with AltGr composes a character; it is not the copy-checked shortcut.
void TestShortcuts::altGrIsNoShortcut()
{
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s});
    h.click(h.checkPoint(0));

    WindowHarness::press(Qt::Key_C,
                         Qt::ControlModifier | Qt::AltModifier | Qt::GroupSwitchModifier);

    QCOMPARE(WindowHarness::clipboardText(), before);
    QCOMPARE(h.dialogs().informations.size(), 0);
}

void TestShortcuts::extractOnList()
{
    WindowHarness h;
    openWithLines(h, {u"Nom <a@b>, c@d"_s, u"sans"_s});
    h.click(h.checkPoint(0));
    h.click(h.checkPoint(1));

    WindowHarness::press(Qt::Key_F5);

    QCOMPARE(h.entries(), (QStringList{u"<a@b>"_s, u"c@d"_s}));
    QCOMPARE(h.panel(0), u"2 adresses"_s);
    // The marks are gone with their entries; panels 1 to 3 keep what they showed.
    QCOMPARE(h.list().checkedCount(), 0);
    QCOMPARE(h.list().ItemIndex(), -1);
    QCOMPARE(h.panel(1), u"1"_s);
    QCOMPARE(h.panel(2), u"2"_s);
    QCOMPARE(h.panel(3), u"sans"_s);
}

// After a message box closes the window may stay inactive (no window manager gives the activation
// back): the key still reaches the list, and the list's shortcuts must still work there.
void TestShortcuts::shortcutsReachAnInactiveWindow()
{
    WindowHarness h;
    openWithLines(h, {u"Nom <a@b>, c@d"_s, u"sans"_s});
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!h.window().isActiveWindow());

    QTest::keyClick(h.view(), Qt::Key_F5);
    QCOMPARE(h.entries(), (QStringList{u"<a@b>"_s, u"c@d"_s}));
    QCOMPARE(h.panel(0), u"2 adresses"_s);

    QTest::keyClick(h.view(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(WindowHarness::clipboardText(), u"<a@b>\r\nc@d\r\n"_s);
    QCOMPARE(h.dialogs().informations.size(), 1);
}

void TestShortcuts::notCommandsInField_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");

    QTest::newRow("F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers();
    QTest::newRow("Ctrl+T") << int(Qt::Key_T) << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+Shift+C") << int(Qt::Key_C) << (Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Ctrl+Alt+C") << int(Qt::Key_C) << (Qt::ControlModifier | Qt::AltModifier);
    QTest::newRow("Ctrl+Q") << int(Qt::Key_Q) << Qt::KeyboardModifiers(Qt::ControlModifier);
}

// The menu's shortcuts belong to the list: with the focus in the search field they do nothing,
// and work again once the list has the focus.
void TestShortcuts::notCommandsInField()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    WindowHarness h;
    TForm1 &window = openWithLines(h, {u"x b@y"_s, u"a@z"_s});
    h.click(h.checkPoint(1));
    const QByteArray settingsBefore = readBytes(h.settingsPath());
    h.focusEdit();

    WindowHarness::press(key, modifiers);

    QCOMPARE(h.entries(), (QStringList{u"x b@y"_s, u"a@z"_s}));
    QCOMPARE(h.panel(0), QString());
    QCOMPARE(WindowHarness::clipboardText(), before);
    QCOMPARE(h.dialogs().informations.size(), 0);
    QCOMPARE(h.dialogs().errors.size(), 0);
    QVERIFY(window.isVisible());
    QCOMPARE(readBytes(h.settingsPath()), settingsBefore);

    h.click(h.textPoint(0));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.view()));
    WindowHarness::press(Qt::Key_F5);
    QCOMPARE(h.entries(), (QStringList{u"b@y"_s, u"a@z"_s}));
    QCOMPARE(h.panel(0), u"2 adresses"_s);
}

void TestShortcuts::quit()
{
    WindowHarness h;
    TForm1 &window = openWithLines(h, {u"a@b"_s});
    const QString named = h.blockSettings();

    // The write fails: the window stays, and the shortcuts go on working.
    WindowHarness::press(Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(window.isVisible());
    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.dialogs().errors[0].message, u"Impossible d'écrire dans %1."_s.arg(named));

    h.unblockSettings();
    h.focusList();
    WindowHarness::press(Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!window.isVisible());
    QCOMPARE(h.dialogs().errors.size(), 1);
    const QRect frame = window.frameGeometry();
    QCOMPARE(
        h.setting(u"extracteur"_s, u"Form1"_s),
        u"%1:%2:%3:%4"_s.arg(frame.left()).arg(frame.top()).arg(frame.width()).arg(frame.height()));
    QCOMPARE(h.setting(u"CASES_A_COCHER"_s, u"chk_AUTO"_s), u"0"_s);
}

void TestShortcuts::copyInField()
{
    WindowHarness h;
    openWithLines(h, {u"a@b"_s});
    h.focusEdit();
    QTest::keyClicks(h.edit(), u"bonjour"_s);

    // Nothing selected: the field keeps the key, the clipboard its text.
    WindowHarness::press(Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(WindowHarness::clipboardText(), before);

    h.edit()->setSelection(0, 3);
    WindowHarness::press(Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(WindowHarness::clipboardText(), u"bon"_s);
    QCOMPARE(h.edit()->text(), u"bonjour"_s);
    QCOMPARE(h.dialogs().informations.size(), 0);
}

// Pasting changes the field's text, so the search runs as it does for typing; by the shortcut or
// by the menu entry.
void TestShortcuts::pasteInField()
{
    WindowHarness h;
    openWithLines(h, {u"alpha@x"_s, u"Beta@y"_s, u"beta@z"_s});
    h.focusEdit();

    WindowHarness::setClipboardText(u"ETA@Z"_s);
    WindowHarness::press(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(h.edit()->text(), u"ETA@Z"_s);
    QCOMPARE(h.list().ItemIndex(), 2);

    h.edit()->clear();
    WindowHarness::setClipboardText(u"ALPHA"_s);
    h.entry(u"Coller1"_s)->trigger();
    QCOMPARE(h.edit()->text(), u"ALPHA"_s);
    QCOMPARE(h.list().ItemIndex(), 0);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.edit()));
}

void TestShortcuts::selectAllInField()
{
    WindowHarness h;
    openWithLines(h, {u"a@b"_s});
    h.focusEdit();
    QTest::keyClicks(h.edit(), u"abc"_s);
    QVERIFY(!h.edit()->hasSelectedText());
    const int selected = h.list().ItemIndex();

    WindowHarness::press(Qt::Key_A, Qt::ControlModifier);

    QCOMPARE(h.edit()->selectedText(), u"abc"_s);
    QCOMPARE(h.edit()->text(), u"abc"_s);
    QCOMPARE(h.list().ItemIndex(), selected);
}

QTEST_MAIN(TestShortcuts)
#include "tst_shortcuts.moc"
