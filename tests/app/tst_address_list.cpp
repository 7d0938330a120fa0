#include <QAbstractItemModelTester>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/address_list.h"
#include "errors/app_error.h"

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

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the fixture");
    return path;
}

} // namespace

class TestAddressList : public QObject
{
    Q_OBJECT

private slots:
    void addCutsAtNulAndTextEndsEveryEntry();
    void indexOutsideTheEntriesFails_data();
    void indexOutsideTheEntriesFails();
    void sortingRebuildsKeepingMarksAndSelectedPosition();
    void sortedModeAddsAtSortedPlace();
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
