#include <vector>

#include <QRandomGenerator>
#include <QStringList>
#include <QTest>

#include "extract/list_search.h"
#include "text/case_table.h"
#include "support/fixtures.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QStringList threeEntries = {u"alpha@x"_s, u"Beta@y"_s, u"beta@z"_s};

} // namespace

class TestListSearch : public QObject
{
    Q_OBJECT

private slots:
    void findFirstMatch_data();
    void findFirstMatch();
    void findFirstMatchWithGaps_data();
    void findFirstMatchWithGaps();
    void findFirstMatchLongList();
    void agreesWithEntryByEntrySearch();
    void findFirstWithPrefix_data();
    void findFirstWithPrefix();
};

void TestListSearch::findFirstMatch_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("start");
    QTest::addColumn<qsizetype>("index");

    QTest::newRow("b") << threeEntries << u"b"_s << qsizetype(0) << qsizetype(1);
    QTest::newRow("beta@z") << threeEntries << u"beta@z"_s << qsizetype(0) << qsizetype(2);
    QTest::newRow("found nowhere") << threeEntries << u"beta@zq"_s << qsizetype(0) << qsizetype(3);
    QTest::newRow("upper case text") << threeEntries << u"ALPHA@"_s << qsizetype(0) << qsizetype(0);
    QTest::newRow("first of two") << threeEntries << u"ETA@"_s << qsizetype(0) << qsizetype(1);
    QTest::newRow("empty text") << threeEntries << QString() << qsizetype(0) << qsizetype(3);
    QTest::newRow("empty list") << QStringList() << u"a"_s << qsizetype(0) << qsizetype(0);
    QTest::newRow("longer than every entry")
        << threeEntries << u"alpha@xalpha@x"_s << qsizetype(0) << qsizetype(3);

    QTest::newRow("start skips a match")
        << threeEntries << u"beta"_s << qsizetype(2) << qsizetype(2);
    QTest::newRow("start at a match") << threeEntries << u"a@"_s << qsizetype(1) << qsizetype(1);
    QTest::newRow("start, nothing after")
        << threeEntries << u"alpha"_s << qsizetype(1) << qsizetype(3);
    QTest::newRow("start at the end") << threeEntries << u"a"_s << qsizetype(3) << qsizetype(3);
    QTest::newRow("start past the end") << threeEntries << u"a"_s << qsizetype(7) << qsizetype(3);
    QTest::newRow("negative start") << threeEntries << u"alpha"_s << qsizetype(-2) << qsizetype(0);

    const QStringList accented = {u"jose@x"_s, u"josé@y"_s, u"RENÉ@z"_s, u"e\u0301@w"_s};
    QTest::newRow("upper accent finds lower")
        << accented << u"JOSÉ"_s << qsizetype(0) << qsizetype(1);
    QTest::newRow("lower accent finds upper")
        << accented << u"rené"_s << qsizetype(0) << qsizetype(2);
    QTest::newRow("plain letter misses accent")
        << accented << u"RENE"_s << qsizetype(0) << qsizetype(4);
    QTest::newRow("composed misses decomposed")
        << accented << u"é@w"_s << qsizetype(0) << qsizetype(4);
    QTest::newRow("decomposed finds decomposed")
        << accented << u"E\u0301"_s << qsizetype(0) << qsizetype(3);

    const QStringList sharp = {u"strasse@x"_s, u"STRAßE@y"_s};
    QTest::newRow("sharp s stays") << sharp << u"straße"_s << qsizetype(0) << qsizetype(1);
    QTest::newRow("ss is not sharp s") << sharp << u"SSE@y"_s << qsizetype(0) << qsizetype(2);

    const QStringList spaced = {u"x@y z"_s, u"yz@w"_s};
    QTest::newRow("space counts") << spaced << u"y z"_s << qsizetype(0) << qsizetype(0);
    QTest::newRow("no space, no match") << spaced << u"yz@"_s << qsizetype(0) << qsizetype(1);
    QTest::newRow("leading space") << spaced << u" y"_s << qsizetype(0) << qsizetype(2);

    QTest::newRow("last entry") << QStringList{u"a"_s, u"b"_s, u"c@d"_s} << u"C@D"_s << qsizetype(0)
                                << qsizetype(2);
    QTest::newRow("one unit, last entry")
        << QStringList{u"a"_s, u"b"_s, u"c"_s} << u"C"_s << qsizetype(0) << qsizetype(2);
    QTest::newRow("astral text") << QStringList{u"a"_s, u"x\U0001F600y"_s} << u"\U0001F600"_s
                                 << qsizetype(0) << qsizetype(1);
}

void TestListSearch::findFirstMatch()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    QFETCH(qsizetype, start);
    QFETCH(qsizetype, index);

    QCOMPARE(FindFirstMatch(tableOf(entries), text, start), index);
}

void TestListSearch::findFirstMatchWithGaps_data()
{
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<std::vector<TextSpan>>("spans");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("index");

    // Entries ⟨ab⟩, ⟨cd⟩, ⟨ef⟩ with "|" between them in the buffer.
    const QString gapped = u"ab|cd|ef"_s;
    const std::vector<TextSpan> gappedSpans = {{0, 2}, {3, 2}, {6, 2}};
    QTest::newRow("across a gap") << gapped << gappedSpans << u"b|c"_s << qsizetype(3);
    QTest::newRow("only in a gap") << gapped << gappedSpans << u"|"_s << qsizetype(3);
    QTest::newRow("after a gap") << gapped << gappedSpans << u"EF"_s << qsizetype(2);

    // Entries ⟨ab⟩, ⟨cd⟩ touching: "bc" runs across their boundary.
    const std::vector<TextSpan> touching = {{0, 2}, {2, 2}};
    QTest::newRow("across a boundary") << u"abcd"_s << touching << u"bc"_s << qsizetype(2);
    QTest::newRow("within the second") << u"abcd"_s << touching << u"cd"_s << qsizetype(1);

    // A first candidate that crosses a boundary must not hide a later real match.
    QTest::newRow("crossing, then inside")
        << u"xa|bxab"_s << std::vector<TextSpan>{{0, 2}, {3, 4}} << u"AB"_s << qsizetype(1);
    QTest::newRow("empty entries")
        << u"a@bc"_s << std::vector<TextSpan>{{0, 0}, {0, 2}, {2, 0}, {3, 1}} << u"@"_s
        << qsizetype(1);
    QTest::newRow("text past the last entry")
        << u"ab  cd"_s << std::vector<TextSpan>{{0, 2}} << u"cd"_s << qsizetype(1);
}

void TestListSearch::findFirstMatchWithGaps()
{
    QFETCH(QString, buffer);
    QFETCH(std::vector<TextSpan>, spans);
    QFETCH(QString, text);
    QFETCH(qsizetype, index);

    QCOMPARE(FindFirstMatch(TextTable(buffer, spans), text, 0), index);
}

void TestListSearch::findFirstMatchLongList()
{
    // Long enough for whole blocks of the scan, with the match at the very end of the buffer
    // and near misses (first and last unit right, middle wrong) everywhere before it.
    TextTable table;
    for (int i = 0; i < 1000; ++i)
        table.append(u"prenom.nom%1@exemple.fr"_s.arg(i));
    table.append(u"Prenom.Nom@Exemple.fR"_s);
    QCOMPARE(FindFirstMatch(table, u"prenom.nom@exemple.fr", 0), qsizetype(1000));
    QCOMPARE(FindFirstMatch(table, u"m@e", 0), qsizetype(1000));
    QCOMPARE(FindFirstMatch(table, u"nom999@", 0), qsizetype(999));
    QCOMPARE(FindFirstMatch(table, u"nom9@", 10), qsizetype(1001));
    QCOMPARE(FindFirstMatch(table, u"fr", 1000), qsizetype(1000));
}

void TestListSearch::agreesWithEntryByEntrySearch()
{
    // Random lists over a small alphabet that is rich in case pairs, with random gaps, against
    // the plain entry-by-entry search.
    const QString alphabet = u"abAB@ sßSſéÉ\xDC00"_s;
    QRandomGenerator random(20261209);
    auto randomText = [&](int maxLength) {
        QString text;
        const int length = static_cast<int>(random.bounded(maxLength + 1));
        for (int i = 0; i < length; ++i)
            text.append(alphabet.at(random.bounded(alphabet.size())));
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        QString buffer;
        std::vector<TextSpan> spans;
        QStringList entries;
        const int count = static_cast<int>(random.bounded(1, 40));
        for (int i = 0; i < count; ++i) {
            buffer.append(randomText(3)); // gap
            const QString entry = randomText(12);
            spans.push_back({buffer.size(), entry.size()});
            buffer.append(entry);
            entries.append(UpperCased(entry));
        }
        buffer.append(randomText(3));
        const TextTable table(buffer, spans);
        for (int probe = 0; probe < 20; ++probe) {
            const QString text = randomText(4);
            const qsizetype start = random.bounded(count + 1);
            qsizetype expected = count;
            for (qsizetype i = start; !text.isEmpty() && i < count; ++i) {
                if (entries.at(i).contains(UpperCased(text))) {
                    expected = i;
                    break;
                }
            }
            QCOMPARE(FindFirstMatch(table, text, start), expected);

            qsizetype expectedPrefix = -1;
            for (qsizetype i = 0; !text.isEmpty() && i < count; ++i) {
                if (entries.at(i).startsWith(UpperCased(text))) {
                    expectedPrefix = i;
                    break;
                }
            }
            QCOMPARE(FindFirstWithPrefix(table, text), expectedPrefix);
        }
    }
}

void TestListSearch::findFirstWithPrefix_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<qsizetype>("index");

    const QStringList entries = {u"amour"_s, u"Marie@x"_s, u"ma@y"_s, u"é@z"_s};
    QTest::newRow("lower") << entries << u"ma"_s << qsizetype(1);
    QTest::newRow("upper") << entries << u"MA"_s << qsizetype(1);
    QTest::newRow("mixed") << entries << u"mA@"_s << qsizetype(2);
    QTest::newRow("inside is not a prefix") << entries << u"our"_s << qsizetype(-1);
    QTest::newRow("whole entry") << entries << u"AMOUR"_s << qsizetype(0);
    QTest::newRow("longer than the entry") << entries << u"ma@yy"_s << qsizetype(-1);
    QTest::newRow("accent") << entries << u"É"_s << qsizetype(3);
    QTest::newRow("space counts") << entries << u" a"_s << qsizetype(-1);
    QTest::newRow("empty prefix") << entries << QString() << qsizetype(-1);
    QTest::newRow("empty list") << QStringList() << u"a"_s << qsizetype(-1);
}

void TestListSearch::findFirstWithPrefix()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, prefix);
    QFETCH(qsizetype, index);

    QCOMPARE(FindFirstWithPrefix(tableOf(entries), prefix), index);
}

QTEST_GUILESS_MAIN(TestListSearch)
#include "tst_list_search.moc"
