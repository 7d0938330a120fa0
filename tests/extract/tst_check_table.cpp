#include <algorithm>

#include <QCollator>
#include <QHash>
#include <QMultiHash>
#include <QRandomGenerator>
#include <QTest>

#include "extract/check_table.h"
#include "extract/text_order.h"
#include "platform/parallel.h"
#include "support/fixtures.h"

namespace {

QStringList entries(const CheckTable &table)
{
    return entriesOf(table.entries());
}

QCollator languageNeutralCollator()
{
    QCollator collator;
    collator.setLocale(QLocale(QLocale::English));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// The order the list has always had: the distinct texts, in the order of their first
// occurrence, sorted stably by Qt's collation keys; each text then with all its occurrences.
QStringList sortedByCollator(const QStringList &texts)
{
    const QCollator collator = languageNeutralCollator();
    QStringList distinct;
    for (const QString &text : texts) {
        if (!distinct.contains(text))
            distinct.append(text);
    }
    std::stable_sort(distinct.begin(), distinct.end(), [&](const QString &a, const QString &b) {
        return collator.sortKey(a).compare(collator.sortKey(b)) < 0;
    });
    QStringList sorted;
    for (const QString &text : distinct) {
        for (qsizetype i = 0; i < texts.count(text); ++i)
            sorted.append(text);
    }
    return sorted;
}

} // namespace

class TestCheckTable : public QObject
{
    Q_OBJECT

private slots:
    void marksFollowTheirIndex();
    void textEndsEveryEntry_data();
    void textEndsEveryEntry();
    void utf8TextRefusesLoneSurrogates_data();
    void utf8TextRefusesLoneSurrogates();
    void textOfManyEntriesKeepsTheirOrder();
    void checkedTextJoinsCheckedEntries_data();
    void checkedTextJoinsCheckedEntries();
    void appendingOwnEntryCopiesIt();
    void insertSortedAddsAtSortedPlace();
    void sortGroupsEqualTextsAndKeepsTheirMarks();
    void sortIsStableAndMatchesCollator_data();
    void sortIsStableAndMatchesCollator();
    void compareMatchesCollator_data();
    void compareMatchesCollator();
    void sortingManyRepeatedTextsKeepsEveryEntryWithItsMark();
    void sortingManyTextsMatchesCollatorAndKeepsMarks_data();
    void sortingManyTextsMatchesCollatorAndKeepsMarks();
    void sortFailingOnAHelperThreadLeavesTheTable();
};

void TestCheckTable::marksFollowTheirIndex()
{
    // More than one word of marks, with entries on both sides of the word boundary.
    QStringList texts;
    for (int i = 0; i < 130; ++i)
        texts.append(QString::number(i));
    CheckTable table(tableOf(texts));
    QCOMPARE(table.checkedCount(), 0);
    for (qsizetype i : {0, 63, 64, 129})
        table.setChecked(i, true);
    table.toggle(64);
    table.toggle(65);
    table.setChecked(0, false);
    table.setChecked(63, true);
    QCOMPARE(table.checkedCount(), 3);
    for (qsizetype i = 0; i < table.size(); ++i)
        QCOMPARE(table.isChecked(i), i == 63 || i == 65 || i == 129);
    table.append(u"new");
    QVERIFY(!table.isChecked(130));
}

void TestCheckTable::textEndsEveryEntry_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty list") << QStringList{} << QString();
    QTest::newRow("a and b") << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                             << QStringLiteral("a\r\nb\r\n");
    QTest::newRow("empty entries")
        << QStringList{QString(), QString()} << QStringLiteral("\r\n\r\n");
    // One, two, three and four UTF-8 bytes, the last from a surrogate pair.
    QTest::newRow("beyond ASCII") << QStringList{QStringLiteral("é@ß"),
                                                 QStringLiteral("€\U0001F600"), QStringLiteral("z")}
                                  << QStringLiteral("é@ß\r\n€\U0001F600\r\nz\r\n");
}

void TestCheckTable::textEndsEveryEntry()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, expected);
    const CheckTable table(tableOf(texts));
    QCOMPARE(table.text(), expected);
    // The UTF-8 text the clipboard takes is the same text.
    const std::optional<QByteArray> utf8 = table.utf8Text();
    QVERIFY(utf8);
    QCOMPARE(*utf8, expected.toUtf8());
}

void TestCheckTable::utf8TextRefusesLoneSurrogates_data()
{
    QTest::addColumn<QString>("entry");
    const QChar high(0xd83d);
    const QChar low(0xde00);
    QTest::newRow("high alone at the end") << QStringLiteral("a") + high;
    QTest::newRow("low alone") << low + QStringLiteral("b");
    QTest::newRow("high before a letter") << high + QStringLiteral("x");
}

void TestCheckTable::utf8TextRefusesLoneSurrogates()
{
    QFETCH(QString, entry);
    const CheckTable table(tableOf({QStringLiteral("ok"), entry}));
    QVERIFY(!table.utf8Text());
}

void TestCheckTable::textOfManyEntriesKeepsTheirOrder()
{
    // Enough entries for the text to be written in two halves at once.
    QStringList texts;
    QString expected;
    for (int i = 0; i < 100001; ++i) {
        texts.append(QString::number(i).repeated(i % 3));
        expected += texts.back() + QStringLiteral("\r\n");
    }
    const CheckTable table(tableOf(texts));
    QCOMPARE(table.text(), expected);
    QCOMPARE(table.utf8Text().value_or(QByteArray()), expected.toUtf8());
}

void TestCheckTable::checkedTextJoinsCheckedEntries_data()
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

void TestCheckTable::checkedTextJoinsCheckedEntries()
{
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, checked);
    QFETCH(QString, expected);
    QFETCH(int, count);
    CheckTable table(tableOf(texts));
    for (int i : checked)
        table.setChecked(i, true);
    QCOMPARE(table.checkedText(), expected);
    QCOMPARE(table.checkedCount(), count);
}

void TestCheckTable::appendingOwnEntryCopiesIt()
{
    CheckTable table(tableOf({QStringLiteral("first"), QStringLiteral("second")}));
    // Enough appends of a view of the buffer to make it grow and move.
    for (int i = 0; i < 200; ++i)
        table.append(table.at(i % 2));
    const TextOrder order;
    table.insertSorted(table.at(1), order);
    QCOMPARE(table.size(), 203);
    QCOMPARE(table.at(201), u"second");
    QCOMPARE(table.at(202), u"second");
    QCOMPARE(table.at(200), u"first");
}

void TestCheckTable::insertSortedAddsAtSortedPlace()
{
    const TextOrder order(QLocale(QLocale::English));
    CheckTable table(tableOf({QStringLiteral("m"), QStringLiteral("d")}));
    table.setChecked(0, true); // "m"
    table.sort(order);
    QCOMPARE(table.insertSorted(u"f", order), 1);
    QCOMPARE(table.insertSorted(u"z", order), 3);
    QCOMPARE(table.insertSorted(u"A", order), 0);
    // Equal but for letter case: after the entries already there.
    QCOMPARE(table.insertSorted(u"a", order), 1);
    QCOMPARE(entries(table),
             QStringList({QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("d"),
                          QStringLiteral("f"), QStringLiteral("m"), QStringLiteral("z")}));
    QVERIFY(table.isChecked(4));
    QCOMPARE(table.checkedCount(), 1);
}

void TestCheckTable::sortGroupsEqualTextsAndKeepsTheirMarks()
{
    CheckTable table(
        tableOf({QStringLiteral("x@b"), QStringLiteral("a@b"), QStringLiteral("x@b"),
                 QStringLiteral("é@b"), QStringLiteral("e@c"), QStringLiteral("a@b")}));
    table.setChecked(2, true); // the second "x@b"
    table.sort(TextOrder(QLocale(QLocale::English)));
    // é sorts with e, before the next letter.
    QCOMPARE(entries(table),
             QStringList({QStringLiteral("a@b"), QStringLiteral("a@b"), QStringLiteral("é@b"),
                          QStringLiteral("e@c"), QStringLiteral("x@b"), QStringLiteral("x@b")}));
    QVERIFY(!table.isChecked(4));
    QVERIFY(table.isChecked(5));
}

void TestCheckTable::sortIsStableAndMatchesCollator_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("expected");
    // Texts equal but for letter case: each text's group in the order of first occurrence.
    QTest::newRow("case is ignored, equal texts keep their order")
        << QStringList{QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("a"),
                       QStringLiteral("b"), QStringLiteral("A")}
        << QStringList{QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("b"),
                       QStringLiteral("b"), QStringLiteral("B")};
    QTest::newRow("accents after their letter, before the next")
        << QStringList{QStringLiteral("f"), QStringLiteral("é"), QStringLiteral("É"),
                       QStringLiteral("e"), QStringLiteral("ê")}
        << QStringList{QStringLiteral("e"), QStringLiteral("é"), QStringLiteral("É"),
                       QStringLiteral("ê"), QStringLiteral("f")};
    QTest::newRow("punctuation and digits before letters")
        << QStringList{QStringLiteral("a@b"), QStringLiteral("a.b"), QStringLiteral("a1"),
                       QStringLiteral("a-b"), QStringLiteral("ab"),  QStringLiteral("a_b")}
        << QStringList{QStringLiteral("a_b"), QStringLiteral("a-b"), QStringLiteral("a.b"),
                       QStringLiteral("a@b"), QStringLiteral("a1"),  QStringLiteral("ab")};
    QTest::newRow("prefixes, long equal heads, empty texts")
        << QStringList{QStringLiteral("averylongaddress@example.org"),
                       QStringLiteral("averylongaddress@example.com"), QString(),
                       QStringLiteral("averylong"), QStringLiteral("AVERYLONGADDRESS@example.com")}
        << QStringList{QString(), QStringLiteral("averylong"),
                       QStringLiteral("averylongaddress@example.com"),
                       QStringLiteral("AVERYLONGADDRESS@example.com"),
                       QStringLiteral("averylongaddress@example.org")};
}

void TestCheckTable::sortIsStableAndMatchesCollator()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, expected);
    CheckTable table(tableOf(texts));
    table.sort(TextOrder(QLocale(QLocale::English)));
    QCOMPARE(entries(table), expected);
    QCOMPARE(entries(table), sortedByCollator(texts));
}

void TestCheckTable::compareMatchesCollator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    const QLocale english(QLocale::English);
    const QLocale french(QLocale::French);
    const QLocale swedish(QLocale::Swedish);
    QTest::newRow("case") << english << QStringLiteral("Abc") << QStringLiteral("abc");
    QTest::newRow("accent") << english << QStringLiteral("côte") << QStringLiteral("cote");
    QTest::newRow("accent then letter")
        << english << QStringLiteral("côte") << QStringLiteral("coté");
    QTest::newRow("French accents") << french << QStringLiteral("côte") << QStringLiteral("coté");
    QTest::newRow("composed and decomposed")
        << english << QStringLiteral("e\u0301") << QStringLiteral("é");
    QTest::newRow("Swedish ä after z") << swedish << QStringLiteral("ä") << QStringLiteral("z");
    QTest::newRow("punctuation") << english << QStringLiteral("a.b") << QStringLiteral("a-b");
    QTest::newRow("digits one by one") << english << QStringLiteral("a10") << QStringLiteral("a9");
    QTest::newRow("prefix") << english << QStringLiteral("ab") << QStringLiteral("abc");
}

void TestCheckTable::compareMatchesCollator()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const TextOrder order(locale);
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    QCOMPARE(sign(order.compare(a, b)), sign(collator.compare(a, b)));
    QCOMPARE(sign(order.compare(b, a)), sign(collator.compare(b, a)));
    // The whole-table sort and insertion agree.
    CheckTable table(tableOf({b, a}));
    table.sort(order);
    CheckTable inserted;
    inserted.insertSorted(b, order);
    inserted.insertSorted(a, order);
    QCOMPARE(entries(inserted), entries(table));
}

void TestCheckTable::sortingManyRepeatedTextsKeepsEveryEntryWithItsMark()
{
    // Many entries over few distinct texts, some equal but for letter case.
    QRandomGenerator random(42);
    const QStringList pool{QStringLiteral("alpha@x.fr"), QStringLiteral("Alpha@X.fr"),
                           QStringLiteral("beta@y.org"), QStringLiteral("é@z"),
                           QStringLiteral("e@z"),        QString(),
                           QStringLiteral("zoé@w"),      QStringLiteral("<c@d>")};
    CheckTable table;
    QMultiHash<QString, bool> before;
    const TextOrder order(QLocale(QLocale::English));
    for (int i = 0; i < 5000; ++i) {
        const QString text = pool[random.bounded(pool.size())] +
                             QString::number(random.bounded(40)).repeated(random.bounded(2));
        const qsizetype row = table.append(text);
        const bool mark = random.bounded(3) == 0;
        table.setChecked(row, mark);
        before.insert(text, mark);
    }
    table.sort(order);
    QCOMPARE(table.size(), 5000);
    const QCollator collator = languageNeutralCollator();
    QMultiHash<QString, bool> after;
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (i > 0)
            QVERIFY2(collator.compare(table.at(i - 1), table.at(i)) <= 0,
                     qPrintable(table.at(i).toString()));
        after.insert(table.at(i).toString(), table.isChecked(i));
    }
    for (const QString &text : before.uniqueKeys()) {
        QList<bool> expected = before.values(text);
        QList<bool> got = after.values(text);
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        QCOMPARE(got, expected);
    }
}

void TestCheckTable::sortingManyTextsMatchesCollatorAndKeepsMarks_data()
{
    // The sort works in the room of the buffer it rebuilds when the texts leave room enough for
    // its arrays, and in memory of its own otherwise: each way must give the same table.
    QTest::addColumn<QStringList>("heads");
    QTest::addColumn<int>("tail");
    QTest::newRow("short texts") << QStringList{QString()} << 4;
    QTest::newRow("texts of about ten units, long equal heads")
        << QStringList{QString(), QStringLiteral("jean.dupont"), QStringLiteral("JEAN.DUPONT"),
                       QStringLiteral("jean-dupont")}
        << 6;
    QTest::newRow("long texts")
        << QStringList{QStringLiteral("\"Dupont, Jean\" <jean.dupont.de.la.fontaine"),
                       QStringLiteral("\"DUPONT, JEAN\" <jean.dupont.de.la.fontaine"),
                       QStringLiteral("jean-dupont-de-la-fontaine@exemple.fr;")}
        << 6;
}

void TestCheckTable::sortingManyTextsMatchesCollatorAndKeepsMarks()
{
    QFETCH(QStringList, heads);
    QFETCH(int, tail);
    // Random texts over an alphabet of letters in both cases, accents and punctuation, many
    // repeated; every third entry checked.
    QRandomGenerator random(7);
    const QString alphabet = QStringLiteral("aAbBeEéÉèêzZ.-_@0 9");
    QStringList texts;
    QHash<QString, QList<bool>> marksOf; // each text's marks, in table order
    for (int i = 0; i < 3000; ++i) {
        QString text = heads[random.bounded(heads.size())];
        const int length = random.bounded(tail);
        for (int k = 0; k < length; ++k)
            text.append(alphabet[random.bounded(alphabet.size())]);
        texts.append(text);
        marksOf[text].append(i % 3 == 0);
    }
    CheckTable table(tableOf(texts));
    for (qsizetype i = 0; i < table.size(); i += 3)
        table.setChecked(i, true);
    table.sort(TextOrder(QLocale(QLocale::English)));
    QCOMPARE(entries(table), sortedByCollator(texts));
    for (qsizetype i = 0; i < table.size(); ++i)
        QCOMPARE(table.isChecked(i), marksOf[table.at(i).toString()].takeFirst());
}

void TestCheckTable::sortFailingOnAHelperThreadLeavesTheTable()
{
    const QStringList texts{QStringLiteral("b@x"), QStringLiteral("A@x"), QStringLiteral("c@x"),
                            QStringLiteral("a@x")};
    CheckTable table(tableOf(texts));
    table.setChecked(1, true);
    const TextOrder order(QLocale(QLocale::French, QLocale::France));
    InjectHelperFault(HelperFault::FailWithBadAlloc);
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc, table.sort(order));
    QCOMPARE(entries(table), texts);
    QVERIFY(table.isChecked(1));
    QCOMPARE(table.checkedCount(), 1);

    // The fault was used once: the next sort is sound.
    table.sort(order);
    QCOMPARE(entries(table), (QStringList{QStringLiteral("A@x"), QStringLiteral("a@x"),
                                          QStringLiteral("b@x"), QStringLiteral("c@x")}));
    QVERIFY(table.isChecked(0));
    QCOMPARE(table.checkedCount(), 1);
}

QTEST_GUILESS_MAIN(TestCheckTable)
#include "tst_check_table.moc"
