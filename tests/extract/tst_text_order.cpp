#include <algorithm>
#include <cstdint>
#include <vector>

#include <QHash>
#include <QRandomGenerator>
#include <QTest>

#include "extract/text_order.h"
#include "support/fixtures.h"

namespace {

// The order built one comparison at a time: the distinct texts in the order of their first
// entries, sorted stably, then each text with all its entries in table order.
std::vector<std::uint32_t> orderByComparison(const QStringList &texts, const TextOrder &order)
{
    QHash<QString, std::vector<std::uint32_t>> entriesOfText;
    QStringList distinct;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        auto &entries = entriesOfText[texts[i]];
        if (entries.empty())
            distinct.append(texts[i]);
        entries.push_back(static_cast<std::uint32_t>(i));
    }
    std::stable_sort(distinct.begin(), distinct.end(),
                     [&](const QString &a, const QString &b) { return order.compare(a, b) < 0; });
    std::vector<std::uint32_t> result;
    for (const QString &text : distinct) {
        const auto &entries = entriesOfText[text];
        result.insert(result.end(), entries.begin(), entries.end());
    }
    return result;
}

// `count` texts: a head from `heads`, then up to `tailLength` characters of `alphabet`; about
// one text in three repeats an earlier one, sometimes in other letter case.
QStringList randomTexts(quint32 seed, int count, const QStringList &heads, const QString &alphabet,
                        int tailLength)
{
    QRandomGenerator random(seed);
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        if (!texts.isEmpty() && random.bounded(3) == 0) {
            const QString &earlier = texts[random.bounded(texts.size())];
            texts.append(random.bounded(4) == 0 ? earlier.toUpper() : earlier);
            continue;
        }
        QString text = heads[random.bounded(heads.size())];
        const int length = random.bounded(tailLength + 1);
        for (int k = 0; k < length; ++k)
            text.append(alphabet[random.bounded(alphabet.size())]);
        texts.append(text);
    }
    return texts;
}

} // namespace

class TestTextOrder : public QObject
{
    Q_OBJECT

private slots:
    void sortedOrderMatchesOneComparisonAtATime_data();
    void sortedOrderMatchesOneComparisonAtATime();
};

void TestTextOrder::sortedOrderMatchesOneComparisonAtATime_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("heads");
    QTest::addColumn<QString>("alphabet");
    QTest::addColumn<int>("tailLength");
    QTest::addColumn<int>("count");

    const QString french = QStringLiteral("aAàâeEéÉèêëcCçoOôœiîïuùûü.-_@+'09 ");
    const QStringList addressHeads{QString(), QStringLiteral("jean.dupont"),
                                   QStringLiteral("Jean.Dupont@"), QStringLiteral("élise.martin"),
                                   QStringLiteral("<contact")};
    QTest::newRow("French addresses") << "fr_FR" << addressHeads << french << 12 << 4000;
    QTest::newRow("Canadian French: accents weigh from the end")
        << "fr_CA" << QStringList{QStringLiteral("cote"), QStringLiteral("c")}
        << QStringLiteral("eéoôEÉ") << 6 << 3000;
    QTest::newRow("Swedish: å, ä and ö after z")
        << "sv_SE" << QStringList{QString(), QStringLiteral("z")} << QStringLiteral("aåäözZÅ") << 6
        << 3000;
    QTest::newRow("Czech: ch after h") << "cs_CZ" << QStringList{QString(), QStringLiteral("h")}
                                       << QStringLiteral("chCHiz") << 6 << 3000;
    QTest::newRow("Danish: aa after z")
        << "da_DK" << QStringList{QString()} << QStringLiteral("aAzZåø") << 6 << 3000;
    QTest::newRow("Spanish: ñ after n")
        << "es_ES" << QStringList{QString()} << QStringLiteral("nNñÑoO") << 6 << 3000;
    QTest::newRow("Russian: Cyrillic before Latin")
        << "ru_RU" << addressHeads << QStringLiteral("абвАБВёЁabc.@") << 8 << 3000;
    QTest::newRow("Greek and Latin")
        << "el_GR" << addressHeads << QStringLiteral("αβγΑΆάabc.@") << 8 << 3000;
    // A few texts hold characters sorted by the collator alone: combining marks, Han, a
    // character outside the basic plane, an ignorable one.
    QTest::newRow("a few texts beyond the alphabets")
        << "en_GB" << addressHeads
        << QStringLiteral("abcdefghijklmnopqrstuvwxyz.@-_ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")
               .append(QStringLiteral("\u0301\u4e2d\U0001F600\u200b"))
        << 10 << 4000;
    // Texts beyond the alphabets that compare equal to texts within them: a decomposed accent,
    // an ignorable character.
    QTest::newRow("texts beyond the alphabets equal to others")
        << "en_GB"
        << QStringList{QStringLiteral("ab"),    QStringLiteral("Ab"), QStringLiteral("aB"),
                       QStringLiteral("AB"),    QStringLiteral("é"),  QStringLiteral("É"),
                       QStringLiteral("a​b"), QStringLiteral("é"),  QStringLiteral("a"),
                       QStringLiteral("e"),     QStringLiteral("b"),  QStringLiteral("B")}
        << QStringLiteral("bB") << 1 << 3000;
    QTest::newRow("mostly texts beyond the alphabets")
        << "en_GB" << QStringList{QStringLiteral("e\u0301"), QStringLiteral("\u4e2d"), QString()}
        << QStringLiteral("e\u0301E\u00e9\u4e2d\U0001F600") << 6 << 3000;
    // Thousands of texts share a long head: the runs to sort deeper are long.
    QTest::newRow("long shared heads")
        << "en_US"
        << QStringList{QStringLiteral("averyveryverylongsharedhead.of.an.address"),
                       QStringLiteral("AVeryVeryVeryLongSharedHead.of.an.address@")}
        << QStringLiteral("abcABC.@0") << 8 << 6000;
    // Contact fields: quoted names with commas, blanks, brackets and semicolons, whose heads end
    // just before, on and just after the places where the sort reads on in the texts, with copies
    // in other letter case far in.
    QTest::newRow("quoted names sharing long heads")
        << "fr_FR"
        << QStringList{QStringLiteral("Lefèvre, "),
                       QStringLiteral("Lefèvre, M"),
                       QStringLiteral("Lefèvre, Ma"),
                       QStringLiteral("Lefèvre, Marie <marie"),
                       QStringLiteral("Lefèvre, Marie <mari"),
                       QStringLiteral("Lefèvre, Marie <marie.lefèvre12@mail.com>"),
                       QStringLiteral(";\"noël.richard7@mail.com\";\"99"),
                       QStringLiteral(";noël.richard7@mail.com;99")}
        << QStringLiteral("aàeéèoô;<>\", ,.@09") << 14 << 6000;
    // A quoted token keeps the control characters between its quotes, which the simple table
    // does not cover: such texts go to the collator.
    QTest::newRow("control characters in quoted tokens")
        << "en_GB" << addressHeads << QStringLiteral("abAB.@ \t\u0001\"") << 6 << 3000;
    QTest::newRow("C locale") << "C" << addressHeads << french << 12 << 3000;
}

void TestTextOrder::sortedOrderMatchesOneComparisonAtATime()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, heads);
    QFETCH(QString, alphabet);
    QFETCH(int, tailLength);
    QFETCH(int, count);
    const QStringList texts = randomTexts(2026, count, heads, alphabet, tailLength);
    const TextOrder order{QLocale(locale)};
    const std::vector<std::uint32_t> sorted = order.sortedOrder(tableOf(texts));
    const std::vector<std::uint32_t> expected = orderByComparison(texts, order);
    QCOMPARE(sorted.size(), expected.size());
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        if (sorted[k] != expected[k])
            QFAIL(qPrintable(QStringLiteral("place %1: \"%2\" where \"%3\" was expected")
                                 .arg(k)
                                 .arg(texts[sorted[k]], texts[expected[k]])));
    }
}

QTEST_GUILESS_MAIN(TestTextOrder)
#include "tst_text_order.moc"
