#include <cstdint>
#include <numeric>
#include <vector>

#include <QStringList>
#include <QTest>

#include "support/fixtures.h"
#include "text/distinct_texts.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TextIdentity)

class TestDistinctTexts : public QObject
{
    Q_OBJECT

private slots:
    void numbersEachText_data();
    void numbersEachText();
    void manyTexts();
};

void TestDistinctTexts::numbersEachText_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<TextIdentity>("identity");
    // For each entry, the first entry with the same text.
    QTest::addColumn<QList<int>>("firstOf");

    const QStringList mixed{u"a@x"_s, u"A@x"_s, u"b@x"_s, u"a@x"_s, u"B@X"_s, u"é@x"_s, u"É@x"_s};
    QTest::newRow("exact") << mixed << TextIdentity::Exact << QList<int>{0, 1, 2, 0, 4, 5, 6};
    QTest::newRow("ignoring case")
        << mixed << TextIdentity::IgnoringCase << QList<int>{0, 0, 2, 0, 2, 5, 5};
    // ß has no one-letter capital: it stays apart from "SS".
    QTest::newRow("sharp s is not SS") << QStringList{u"straße"_s, u"STRASSE"_s, u"STRAßE"_s}
                                       << TextIdentity::IgnoringCase << QList<int>{0, 1, 0};
    QTest::newRow("empty texts") << QStringList{QString(), u"a"_s, QString()} << TextIdentity::Exact
                                 << QList<int>{0, 1, 0};
    QTest::newRow("none") << QStringList() << TextIdentity::IgnoringCase << QList<int>();
}

void TestDistinctTexts::numbersEachText()
{
    QFETCH(QStringList, texts);
    QFETCH(TextIdentity, identity);
    QFETCH(QList<int>, firstOf);

    const TextTable table = tableOf(texts);
    std::vector<std::uint32_t> set(static_cast<std::size_t>(texts.size()));
    std::iota(set.begin(), set.end(), 0u);
    const DistinctTexts distinct = FindDistinctTexts(table, set, identity);

    QCOMPARE(distinct.ofEntry.size(), set.size());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const std::uint32_t id = distinct.ofEntry[static_cast<std::size_t>(i)];
        QCOMPARE(qsizetype(distinct.firstEntry[id]), qsizetype(firstOf[i]));
    }
    qsizetype textCount = 0;
    for (qsizetype i = 0; i < firstOf.size(); ++i)
        textCount += firstOf[i] == i ? 1 : 0;
    QCOMPARE(qsizetype(distinct.firstEntry.size()), textCount);
}

// Enough entries for many buckets shared out among two threads, and a set that skips entries.
void TestDistinctTexts::manyTexts()
{
    QStringList texts;
    for (int i = 0; i < 140000; ++i)
        texts.append((i % 2 ? u"User%1@x"_s : u"user%1@X"_s).arg(i / 2));
    const TextTable table = tableOf(texts);
    std::vector<std::uint32_t> set;
    for (std::uint32_t i = 0; i < 140000; i += 2)
        set.push_back(i);
    const DistinctTexts exact = FindDistinctTexts(table, set, TextIdentity::Exact);
    const DistinctTexts folded = FindDistinctTexts(table, set, TextIdentity::IgnoringCase);
    // The even entries are "user<n>@X", each with its own number: each its own text either way.
    QCOMPARE(exact.firstEntry.size(), std::size_t(70000));
    QCOMPARE(folded.firstEntry.size(), std::size_t(70000));
    for (std::size_t k = 0; k < set.size(); ++k) {
        QCOMPARE(table.at(exact.firstEntry[exact.ofEntry[k]]), table.at(set[k]));
        QVERIFY(exact.firstEntry[exact.ofEntry[k]] <= set[k]);
    }
    // All entries: odd ones differ from even ones only by case.
    std::vector<std::uint32_t> all(140000);
    std::iota(all.begin(), all.end(), 0u);
    QCOMPARE(FindDistinctTexts(table, all, TextIdentity::Exact).firstEntry.size(),
             std::size_t(140000));
    QCOMPARE(FindDistinctTexts(table, all, TextIdentity::IgnoringCase).firstEntry.size(),
             std::size_t(70000));
}

QTEST_GUILESS_MAIN(TestDistinctTexts)
#include "tst_distinct_texts.moc"
