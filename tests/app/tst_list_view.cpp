#include <QAccessible>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "app/panel_status_bar.h"
#include "support/window_harness.h"

using namespace Qt::StringLiterals;

namespace {

// The window on the given lines, with a model tester on its list.
TForm1 &openWithLines(WindowHarness &h, const QStringList &lines)
{
    TForm1 &window = h.openWithLines(lines);
    h.attachModelTester();
    return window;
}

} // namespace

class TestListView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void pressSelectsAndTicks();
    void doubleClickTogglesTwice();
    void otherButtonsNeverTick_data();
    void otherButtonsNeverTick();
    void space();
    void arrowsRunClickHandler();
    void longEntry_data();
    void longEntry();
    void keysOnAFreshList_data();
    void keysOnAFreshList();
    void leftAndRightMoveLikeUpAndDown_data();
    void leftAndRightMoveLikeUpAndDown();
    void typeAhead_data();
    void typeAhead();
    void backspaceAfterTyping();
    void backspaceInEmptyList();
    void ctrlPressNeverDeselects();
    void enterAndEscapeAreTypedCharacters_data();
    void enterAndEscapeAreTypedCharacters();
    void sort();
    void sortKeepsFirstVisibleRow();
    void search();
    void searchScrollsIntoView();
};

void TestListView::pressSelectsAndTicks()
{
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s, u"c"_s});

    h.click(h.checkPoint(1));
    QCOMPARE(h.list().ItemIndex(), 1);
    QVERIFY(h.list().Checked(1));
    QCOMPARE(h.panel(1), u"1"_s);
    QCOMPARE(h.panel(2), u"1"_s);
    QCOMPARE(h.panel(3), u"b"_s);

    // A press on the text selects without ticking.
    h.click(h.textPoint(2));
    QCOMPARE(h.list().ItemIndex(), 2);
    QVERIFY(!h.list().Checked(2));
    QCOMPARE(h.panel(1), u"2"_s);
    QCOMPARE(h.panel(2), u"1"_s);
    QCOMPARE(h.panel(3), u"c"_s);

    // A press on the check box of the selected row ticks it.
    h.click(h.checkPoint(2));
    QVERIFY(h.list().Checked(2));
    QCOMPARE(h.panel(2), u"2"_s);
    QCOMPARE(h.list().ItemIndex(), 2);
    QCOMPARE(h.dialogs().errors.size(), 0);
}

void TestListView::doubleClickTogglesTwice()
{
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s});
    QSignalSpy checks(h.view(), &CheckListBox::userChecked);

    h.doubleClick(h.checkPoint(1));

    QCOMPARE(checks.size(), 2);
    QVERIFY(!h.list().Checked(1));
    QCOMPARE(h.panel(2), u"0"_s);
    QCOMPARE(h.list().ItemIndex(), 1);
}

void TestListView::otherButtonsNeverTick_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestListView::otherButtonsNeverTick()
{
    QFETCH(Qt::MouseButton, button);
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s});

    h.click(h.checkPoint(0), button);

    QVERIFY(!h.list().Checked(0));
    QCOMPARE(h.list().checkedCount(), 0);
    QCOMPARE(h.panel(2), QString());
}

void TestListView::space()
{
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s});

    // No selection: nothing is ticked and panel 2 keeps its text.
    WindowHarness::press(Qt::Key_Space);
    QCOMPARE(h.list().checkedCount(), 0);
    QCOMPARE(h.panel(2), QString());

    h.click(h.textPoint(1));
    WindowHarness::press(Qt::Key_Space);
    QVERIFY(h.list().Checked(1));
    QCOMPARE(h.panel(2), u"1"_s);
    WindowHarness::press(Qt::Key_Space);
    QVERIFY(!h.list().Checked(1));
    QCOMPARE(h.panel(2), u"0"_s);
    QCOMPARE(h.list().ItemIndex(), 1);
}

void TestListView::arrowsRunClickHandler()
{
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s, u"c"_s});
    h.click(h.textPoint(0));

    WindowHarness::press(Qt::Key_Down);
    QCOMPARE(h.list().ItemIndex(), 1);
    QCOMPARE(h.panel(1), u"1"_s);
    QCOMPARE(h.panel(3), u"b"_s);

    WindowHarness::press(Qt::Key_End);
    QCOMPARE(h.list().ItemIndex(), 2);
    QCOMPARE(h.panel(3), u"c"_s);

    WindowHarness::press(Qt::Key_Up);
    QCOMPARE(h.list().ItemIndex(), 1);
    QCOMPARE(h.panel(1), u"1"_s);
    QCOMPARE(h.panel(3), u"b"_s);
    QCOMPARE(h.list().checkedCount(), 0);
}

void TestListView::longEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("fits");
    QTest::newRow("fits") << u"court@exemple.fr"_s << true;
    QTest::newRow("line separators") << u"a\u2028b\u2029c\vd\fe"_s << true;
    QTest::newRow("200,000 letters") << QString(200000, u'm') + u"@x"_s << false;
    QTest::newRow("surrogate pairs") << QString(u"😀"_s).repeated(100000) << false;
}

// Panel 3 shows one line of the selected entry, cut with an ellipsis where it does not fit, and
// lays out no more of it than it can show; the row and what a screen reader reads of it are
// bounded too, and the horizontal range stays within 16 bits.
void TestListView::longEntry()
{
    QFETCH(QString, entry);
    QFETCH(bool, fits);
    WindowHarness h;
    openWithLines(h, {u"a"_s, entry});

    h.click(h.textPoint(1));

    // The panel holds the entry's start: more than it shows, less than megabytes.
    QCOMPARE(h.panel(3), entry.first(std::min(entry.size(), StatusBarPanel::shownPrefix)));
    const QLabel *panel = h.panelLabel(3);
    const QString shown = panel->text();
    for (const QChar c : shown) {
        QVERIFY(c != u'\n' && c != u'\v' && c != u'\f' && c != QChar::LineSeparator &&
                c != QChar::ParagraphSeparator);
    }
    QVERIFY(panel->fontMetrics().horizontalAdvance(shown) <= panel->contentsRect().width());
    QVERIFY(shown.size() <= StatusBarPanel::shownPrefix + 1);
    if (fits)
        QCOMPARE(shown, QString(entry).replace(QRegularExpression(u"[\\x{2028}\\x{2029}\\v\\f]"_s),
                                               u" "_s));
    else
        QVERIFY(shown.endsWith(QChar(0x2026)));
    QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(h.panelLabel(3));
    QCOMPARE(spoken->text(QAccessible::Name), shown);

    const QModelIndex row = h.list().index(1);
    QVERIFY(row.data(Qt::AccessibleTextRole).toString().size() <= AddressList::shownPrefix);
    QVERIFY(row.data(Qt::DisplayRole).toString().size() <= AddressList::shownPrefix);
    QVERIFY(!row.data(Qt::ToolTipRole).isValid());
    QVERIFY(h.view()->contentWidth() <= 65535 + h.view()->checkColumnWidth());
}

void TestListView::keysOnAFreshList_data()
{
    QTest::addColumn<bool>("extracted");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("selected");
    const struct
    {
        const char *name;
        int key;
        int selected;
    } keys[] = {
        {"Home", Qt::Key_Home, 0},    {"Page Up", Qt::Key_PageUp, 0},
        {"Up", Qt::Key_Up, 0},        {"Down", Qt::Key_Down, 1},
        {"End", Qt::Key_End, 4},      {"Page Down", Qt::Key_PageDown, 4},
        {"Space", Qt::Key_Space, -1},
    };
    for (const bool extracted : {false, true}) {
        for (const auto &k : keys) {
            QTest::addRow("%s, %s", extracted ? "after an extract" : "at start-up", k.name)
                << extracted << k.key << k.selected;
        }
    }
}

// With nothing selected, at start-up as after the entries were replaced, the caret stands on the
// first entry: a navigation key moves from there, selects and runs the click handler; Space
// ticks nothing.
void TestListView::keysOnAFreshList()
{
    QFETCH(bool, extracted);
    QFETCH(int, key);
    QFETCH(int, selected);
    WindowHarness h;
    const QStringList lines{u"a@x"_s, u"b@x"_s, u"c@x"_s, u"d@x"_s, u"e@x"_s};
    openWithLines(h, lines);
    if (extracted) {
        h.click(h.textPoint(2));
        WindowHarness::press(Qt::Key_F5);
        QCOMPARE(h.entries(), lines);
    }
    QCOMPARE(h.list().ItemIndex(), -1);
    const QString panel1 = h.panel(1);
    const QString panel3 = h.panel(3);

    WindowHarness::press(key);

    QCOMPARE(h.list().ItemIndex(), selected);
    QCOMPARE(h.panel(1), selected >= 0 ? QString::number(selected) : panel1);
    QCOMPARE(h.panel(3), selected >= 0 ? lines[selected] : panel3);
    QCOMPARE(h.list().checkedCount(), 0);
    QCOMPARE(h.panel(2), QString());
}

void TestListView::leftAndRightMoveLikeUpAndDown_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("right") << int(Qt::Key_Right) << 0 << 1;
    QTest::newRow("left") << int(Qt::Key_Left) << 2 << 1;
    QTest::newRow("right on the last") << int(Qt::Key_Right) << 2 << 2;
    QTest::newRow("left on the first") << int(Qt::Key_Left) << 0 << 0;
}

// A one-column list takes Left as Up and Right as Down, the click handler included.
void TestListView::leftAndRightMoveLikeUpAndDown()
{
    QFETCH(int, key);
    QFETCH(int, from);
    QFETCH(int, to);
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s, u"c"_s});
    h.click(h.textPoint(from));
    qobject_cast<StatusBarPanel *>(h.panelLabel(3))->setPanelText(QString());

    WindowHarness::press(key);

    QCOMPARE(h.list().ItemIndex(), to);
    QCOMPARE(h.panel(1), QString::number(to));
    // The handler runs only when the selection changes.
    QCOMPARE(h.panel(3), from == to ? QString() : h.list().Items(to).toString());
    QCOMPARE(h.list().checkedCount(), 0);
}

void TestListView::typeAhead_data()
{
    QTest::addColumn<int>("pause");
    QTest::addColumn<int>("selected");

    // Entries: zeta, mz, alpha, MAry. "m" then "a" within half a second is "ma"; after a pause
    // of half a second or more, "a" starts a new prefix.
    QTest::newRow("100 ms") << 100 << 3;
    QTest::newRow("499 ms") << 499 << 3;
    QTest::newRow("500 ms") << 500 << 2;
    QTest::newRow("1 s") << 1000 << 2;
}

void TestListView::typeAhead()
{
    QFETCH(int, pause);
    QFETCH(int, selected);

    WindowHarness h;
    qint64 &now = h.openForTyping();
    h.attachModelTester();

    QTest::keyClicks(h.view(), u"m"_s);
    QCOMPARE(h.list().ItemIndex(), 1);
    QCOMPARE(h.panel(1), u"1"_s);
    QCOMPARE(h.panel(3), u"mz"_s);

    now += pause;
    QTest::keyClicks(h.view(), u"a"_s);
    QCOMPARE(h.list().ItemIndex(), selected);
    QCOMPARE(h.panel(1), QString::number(selected));
    QCOMPARE(h.panel(3), h.list().Items(selected).toString());

    // A prefix found nowhere changes nothing.
    now += 10;
    QTest::keyClicks(h.view(), u"q"_s);
    QCOMPARE(h.list().ItemIndex(), selected);
    QCOMPARE(h.list().checkedCount(), 0);
}

void TestListView::backspaceAfterTyping()
{
    WindowHarness h;
    openWithLines(h, {u"zeta"_s, u"mz"_s});
    qint64 now = 5000;
    h.view()->setTickSource([&now] { return now; });

    QTest::keyClicks(h.view(), u"m"_s);
    QCOMPARE(h.list().ItemIndex(), 1);
    now += 50;
    WindowHarness::press(Qt::Key_Backspace);
    QCOMPARE(h.list().ItemIndex(), 0);
    QCOMPARE(h.panel(1), u"0"_s);
    QCOMPARE(h.panel(3), u"zeta"_s);
    QCOMPARE(h.dialogs().errors.size(), 0);
}

void TestListView::backspaceInEmptyList()
{
    WindowHarness h;
    h.open();
    h.attachModelTester();
    h.focusList();

    WindowHarness::press(Qt::Key_Backspace);

    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.dialogs().errors[0].caption, u"extracteur"_s);
    QCOMPARE(h.dialogs().errors[0].message, u"Index de liste hors limites (-1)"_s);
    QCOMPARE(h.panel(1), u"-1"_s);
    QCOMPARE(h.panel(3), QString());
}

void TestListView::ctrlPressNeverDeselects()
{
    WindowHarness h;
    openWithLines(h, {u"a"_s, u"b"_s});
    h.click(h.textPoint(1));
    QTest::mouseClick(h.view()->viewport(), Qt::LeftButton, Qt::ControlModifier, h.textPoint(1));
    QCOMPARE(h.list().ItemIndex(), 1);
    QCOMPARE(h.panel(1), u"1"_s);
    QCOMPARE(h.dialogs().errors.size(), 0);
}

void TestListView::enterAndEscapeAreTypedCharacters_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("enter") << int(Qt::Key_Return);
    QTest::newRow("escape") << int(Qt::Key_Escape);
}

void TestListView::enterAndEscapeAreTypedCharacters()
{
    QFETCH(int, key);
    WindowHarness h;
    qint64 &now = h.openForTyping();
    h.attachModelTester();

    QTest::keyClicks(h.view(), u"m"_s);
    now += 100;
    QTest::keyClick(h.view(), static_cast<Qt::Key>(key));
    now += 100;
    QTest::keyClicks(h.view(), u"a"_s);
    // "m", the key's character, "a": no entry begins so, and the selection stays.
    QCOMPARE(h.list().ItemIndex(), 1);
}

void TestListView::sortKeepsFirstVisibleRow()
{
    WindowHarness h;
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines.append(u"%1@x"_s.arg(299 - i, 3, 10, QLatin1Char('0')));
    openWithLines(h, lines);
    h.view()->scrollTo(h.list().index(120), QAbstractItemView::PositionAtTop);
    QTRY_COMPARE(h.view()->firstVisibleRow(), 120);

    h.window().SORTClick();
    QApplication::processEvents();
    QCOMPARE(h.list().Items(0), u"000@x");
    QCOMPARE(h.view()->firstVisibleRow(), 120);
}

void TestListView::sort()
{
    WindowHarness h;
    openWithLines(h, {u"c"_s, u"a"_s, u"B"_s});
    h.click(h.checkPoint(0));
    QCOMPARE(h.panel(1), u"0"_s);
    QCOMPARE(h.panel(3), u"c"_s);

    WindowHarness::press(Qt::Key_T, Qt::ControlModifier);

    QCOMPARE(h.entries(), (QStringList{u"a"_s, u"B"_s, u"c"_s}));
    QVERIFY(!h.list().Checked(0));
    QVERIFY(!h.list().Checked(1));
    QVERIFY(h.list().Checked(2));
    QCOMPARE(h.list().ItemIndex(), 0);
    QCOMPARE(h.panel(1), u"0"_s);
    QCOMPARE(h.panel(2), u"1"_s);
    QCOMPARE(h.panel(3), u"c"_s);

    // Sorting again changes nothing, not even the selection.
    h.click(h.textPoint(1));
    WindowHarness::press(Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(h.entries(), (QStringList{u"a"_s, u"B"_s, u"c"_s}));
    QCOMPARE(h.list().ItemIndex(), 1);
    QVERIFY(h.list().Checked(2));

    // The list stays sorted: a file loaded later comes in sorted order.
    WindowHarness::drop(h.view()->viewport(), {h.writeFile(u"zy.txt"_s, "z\r\ny\r\n")});
    QCOMPARE(h.entries(), (QStringList{u"y"_s, u"z"_s}));
    QCOMPARE(h.list().checkedCount(), 0);
    QCOMPARE(h.list().ItemIndex(), -1);
    QCOMPARE(h.dialogs().errors.size(), 0);
}

void TestListView::search()
{
    WindowHarness h;
    openWithLines(h, {u"alpha@x"_s, u"Beta@y"_s, u"beta@z"_s});
    h.click(h.textPoint(0));
    h.focusEdit();

    QTest::keyClicks(h.edit(), u"b"_s);
    QCOMPARE(h.list().ItemIndex(), 1);
    QTest::keyClicks(h.edit(), u"eta@z"_s);
    QCOMPARE(h.edit()->text(), u"beta@z"_s);
    QCOMPARE(h.list().ItemIndex(), 2);
    QTest::keyClicks(h.edit(), u"q"_s);
    QCOMPARE(h.list().ItemIndex(), 2);
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(h.edit(), Qt::Key_Backspace);
    QCOMPARE(h.edit()->text(), u"b"_s);
    QCOMPARE(h.list().ItemIndex(), 1);
    // An emptied field matches nothing: the selection stays.
    QTest::keyClick(h.edit(), Qt::Key_Backspace);
    QCOMPARE(h.list().ItemIndex(), 1);

    QCOMPARE(h.panel(1), u"0"_s);
    QCOMPARE(h.panel(3), u"alpha@x"_s);
    QCOMPARE(h.list().checkedCount(), 0);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.edit()));
}

void TestListView::searchScrollsIntoView()
{
    WindowHarness h;
    QStringList lines;
    for (int i = 0; i < 500; ++i)
        lines.append(u"n%1@x"_s.arg(i));
    openWithLines(h, lines);
    h.focusEdit();

    QTest::keyClicks(h.edit(), u"N450@"_s);

    QCOMPARE(h.list().ItemIndex(), 450);
    QTRY_VERIFY(h.view()->viewport()->rect().intersects(h.view()->visualRect(h.list().index(450))));
}

QTEST_MAIN(TestListView)
#include "tst_list_view.moc"
