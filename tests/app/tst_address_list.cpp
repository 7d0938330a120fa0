#include <QAbstractItemModelTester>
#include <QCollator>
#include <QMultiHash>
#include <QRandomGenerator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/address_list.h"
#include "platform/app_error.h"
#include "support/fixtures.h"

namespace {

QStringList entries(const AddressList &list)
{
    QStringList out;
    for (int i = 0; i < list.Count(); ++i)
        out.append(list.Items(i).toString());
    return out;
}

void fill(AddressList &list, const QStringList &texts)
{
    for (const QString &text : texts)
        list.Add(text);
}

} // namespace

class TestAddressList : public QObject
{
    Q_OBJECT

private slots:
    void addCutsAtNulAndTextEndsEveryEntry();
    void indexOutsideTheEntriesFails_data();
    void indexOutsideTheEntriesFails();
    void checkedTextJoinsCheckedEntries_data();
    void checkedTextJoinsCheckedEntries();
    void sortingRebuildsKeepingMarksAndSelectedPosition();
    void sortedModeAddsAtSortedPlace();
    void sortedModeGroupsEqualTextsAndKeepsTheirMarks();
    void sortingManyRepeatedTextsKeepsEveryEntryWithItsMark();
    void loadReplacesEntriesMarksAndSelection();
    void loadInSortedModeSorts();
    void failedLoadChangesNothing();
    void assignTakesEncodingAndDropsMarks();
    void saveWritesTheListEncoding();
};

void TestAddressList::addCutsAtNulAndTextEndsEveryEntry()
{
    AddressList list;
    QAbstractItemModelTester tester(&list);
    QCOMPARE(list.Text(), QString());
    fill(list, {QStringLiteral("a"), QStringLiteral("b")});
    list.Add(QStringView(u"c\0d", 3));
    QCOMPARE(entries(list),
             QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(list.Text(), QStringLiteral("a\r\nb\r\nc\r\n"));
    // Adding an entry's own text (a view of the list's buffer) is safe.
    list.Add(list.Items(0));
    QCOMPARE(list.Items(3), u"a");
    QCOMPARE(list.ItemIndex(), -1);
    QVERIFY(!list.Checked(0));
}

void TestAddressList::indexOutsideTheEntriesFails_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("minus one") << -1;
    QTest::newRow("count") << 2;
    QTest::newRow("far") << 1000;
}

void TestAddressList::indexOutsideTheEntriesFails()
{
    QFETCH(int, index);
    AddressList list;
    fill(list, {QStringLiteral("a"), QStringLiteral("b")});
    const QString expected = QStringLiteral("Index de liste hors limites (%1)").arg(index);
    try {
        list.Items(index);
        QFAIL("Items did not fail");
    } catch (const ListIndexError &error) {
        QCOMPARE(error.message(), expected);
    }
    QVERIFY_THROWS_EXCEPTION(ListIndexError, list.Checked(index));
    QVERIFY_THROWS_EXCEPTION(ListIndexError, list.Selected(index));
}

void TestAddressList::checkedTextJoinsCheckedEntries_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");
    const QStringList abc{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("a and c") << abc << QList<int>{0, 2} << QStringLiteral("a\r\nc") << 2;
    QTest::newRow("none") << abc << QList<int>{} << QString() << 0;
    QTest::newRow("empty first") << QStringList{QString(), QStringLiteral("b")} << QList<int>{0, 1}
                                 << QStringLiteral("b") << 2;
    QTest::newRow("empty between")
        << QStringList{QStringLiteral("a"), QString(), QStringLiteral("c")} << QList<int>{0, 1, 2}
        << QStringLiteral("a\r\n\r\nc") << 3;
    QTest::newRow("empty last") << QStringList{QStringLiteral("a"), QString()} << QList<int>{0, 1}
                                << QStringLiteral("a\r\n") << 2;
}

void TestAddressList::checkedTextJoinsCheckedEntries()
{
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, checked);
    QFETCH(QString, expected);
    QFETCH(int, count);
    AddressList list;
    fill(list, texts);
    for (int i : checked)
        list.setChecked(i, true);
    int n = -1;
    QCOMPARE(list.checkedText(&n), expected);
    QCOMPARE(n, count);
    QCOMPARE(list.checkedCount(), count);
}

void TestAddressList::sortingRebuildsKeepingMarksAndSelectedPosition()
{
    AddressList list;
    QAbstractItemModelTester tester(&list);
    fill(list, {QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("B")});
    list.setChecked(0, true);
    list.Selected(0);
    list.setSorted(true);
    QCOMPARE(entries(list),
             QStringList({QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("c")}));
    QVERIFY(list.Checked(2));
    QVERIFY(!list.Checked(0) && !list.Checked(1));
    QCOMPARE(list.ItemIndex(), 0); // the position, now holding another entry

    // Turning it on again does not sort again.
    list.setSorted(true);
    QCOMPARE(entries(list),
             QStringList({QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("c")}));
}

void TestAddressList::sortedModeAddsAtSortedPlace()
{
    AddressList list;
    QAbstractItemModelTester tester(&list);
    fill(list, {QStringLiteral("m"), QStringLiteral("d")});
    list.setChecked(0, true); // "m"
    list.setSorted(true);
    QCOMPARE(list.Add(u"f"), 1);
    QCOMPARE(list.Add(u"z"), 3);
    QCOMPARE(list.Add(u"A"), 0);
    QCOMPARE(entries(list),
             QStringList({QStringLiteral("A"), QStringLiteral("d"), QStringLiteral("f"),
                          QStringLiteral("m"), QStringLiteral("z")}));
    QVERIFY(list.Checked(3));
    QCOMPARE(list.checkedCount(), 1);
}

void TestAddressList::sortedModeGroupsEqualTextsAndKeepsTheirMarks()
{
    AddressList list;
    fill(list, {QStringLiteral("x@b"), QStringLiteral("a@b"), QStringLiteral("x@b"),
                QStringLiteral("é@b"), QStringLiteral("e@c"), QStringLiteral("a@b")});
    list.setChecked(2, true); // the second "x@b"
    list.setSorted(true);
    // The collation of the user's locale: é sorts with e, before the next letter.
    QCOMPARE(entries(list),
             QStringList({QStringLiteral("a@b"), QStringLiteral("a@b"), QStringLiteral("é@b"),
                          QStringLiteral("e@c"), QStringLiteral("x@b"), QStringLiteral("x@b")}));
    QVERIFY(!list.Checked(4));
    QVERIFY(list.Checked(5));
}

void TestAddressList::sortingManyRepeatedTextsKeepsEveryEntryWithItsMark()
{
    // Many entries over few distinct texts, some equal but for letter case.
    QRandomGenerator random(42);
    const QStringList pool{QStringLiteral("alpha@x.fr"), QStringLiteral("Alpha@X.fr"),
                           QStringLiteral("beta@y.org"), QStringLiteral("é@z"),
                           QStringLiteral("e@z"),        QString(),
                           QStringLiteral("zoé@w"),      QStringLiteral("<c@d>")};
    AddressList list;
    QMultiHash<QString, bool> before;
    for (int i = 0; i < 5000; ++i) {
        const QString text = pool[random.bounded(pool.size())] +
                             QString::number(random.bounded(40)).repeated(random.bounded(2));
        const int row = list.Add(text);
        const bool mark = random.bounded(3) == 0;
        list.setChecked(row, mark);
        before.insert(text, mark);
    }
    list.setSorted(true);
    QCOMPARE(list.Count(), 5000);
    QCollator collator;
    collator.setLocale(QLocale(QLocale::English));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QMultiHash<QString, bool> after;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0)
            QVERIFY2(collator.compare(list.Items(i - 1), list.Items(i)) <= 0,
                     qPrintable(list.Items(i).toString()));
        after.insert(list.Items(i).toString(), list.Checked(i));
    }
    for (const QString &text : before.uniqueKeys()) {
        QList<bool> expected = before.values(text);
        QList<bool> got = after.values(text);
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        QCOMPARE(got, expected);
    }
}

void TestAddressList::loadReplacesEntriesMarksAndSelection()
{
    QTemporaryDir dir;
    AddressList list;
    QAbstractItemModelTester tester(&list);
    fill(list, {QStringLiteral("old"), QStringLiteral("older")});
    list.setChecked(1, true);
    list.Selected(1);
    list.LoadFromFile(writeFile(dir, QStringLiteral("u8.txt"), "\xEF\xBB\xBFx\xC3\xA9\r\ny\n"));
    QCOMPARE(entries(list), QStringList({QStringLiteral("xé"), QStringLiteral("y")}));
    QCOMPARE(list.Encoding(), TextEncoding::Utf8);
    QCOMPARE(list.checkedCount(), 0);
    QCOMPARE(list.ItemIndex(), -1);

    list.LoadFromFile(writeFile(dir, QStringLiteral("empty.txt"), QByteArray()));
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.Encoding(), TextEncoding::SystemCodePage);
}

void TestAddressList::loadInSortedModeSorts()
{
    QTemporaryDir dir;
    AddressList list;
    list.setSorted(true);
    list.LoadFromFile(writeFile(dir, QStringLiteral("zy.txt"), "z\r\ny\r\n"));
    QCOMPARE(entries(list), QStringList({QStringLiteral("y"), QStringLiteral("z")}));
}

void TestAddressList::failedLoadChangesNothing()
{
    QTemporaryDir dir;
    AddressList list;
    list.LoadFromFile(
        writeFile(dir, QStringLiteral("be.txt"), QByteArray("\xFE\xFF\0a\0\r\0\n\0b", 10)));
    list.setChecked(1, true);
    list.Selected(0);
    QCOMPARE(list.Encoding(), TextEncoding::Utf16BE);
    const QString missing = dir.filePath(QStringLiteral("missing/none.txt"));
    try {
        list.LoadFromFile(missing);
        QFAIL("the load did not fail");
    } catch (const FileOpenError &error) {
        QVERIFY2(error.message().startsWith(
                     QStringLiteral("Impossible d'ouvrir le fichier \"%1\". ").arg(missing)),
                 qPrintable(error.message()));
    }
    QVERIFY_THROWS_EXCEPTION(FileOpenError, list.LoadFromFile(dir.path()));
    QCOMPARE(entries(list), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    QVERIFY(list.Checked(1));
    QCOMPARE(list.ItemIndex(), 0);
    QCOMPARE(list.Encoding(), TextEncoding::Utf16BE);
}

void TestAddressList::assignTakesEncodingAndDropsMarks()
{
    AddressList list;
    QAbstractItemModelTester tester(&list);
    TextTable before;
    before.append(u"a");
    before.append(u"b");
    list.Assign(before, TextEncoding::Utf16LE);
    QCOMPARE(list.Encoding(), TextEncoding::Utf16LE);
    list.setChecked(0, true);
    list.Selected(1);
    TextTable replacement;
    replacement.append(u"x@y");
    replacement.append(u"a@b");
    list.Assign(replacement, TextEncoding::SystemCodePage);
    QCOMPARE(entries(list), QStringList({QStringLiteral("x@y"), QStringLiteral("a@b")}));
    QCOMPARE(list.Encoding(), TextEncoding::SystemCodePage);
    QCOMPARE(list.checkedCount(), 0);
    QCOMPARE(list.ItemIndex(), -1);
}

void TestAddressList::saveWritesTheListEncoding()
{
    QTemporaryDir dir;
    AddressList list;
    TextTable entries;
    entries.append(u"a");
    entries.append(u"b");
    list.Assign(entries, TextEncoding::Utf16BE);
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    list.SaveToFile(path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xFE\xFF\0a\0\r\0\n\0b\0\r\0\n", 14));
}

QTEST_GUILESS_MAIN(TestAddressList)
#include "tst_address_list.moc"
