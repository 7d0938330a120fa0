#include <vector>

#include <QStringList>
#include <QTest>

#include "extract/extract_command.h"
#include "support/fixtures.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QStringList fourEntries = {u"Nom <a@b>, c@d"_s, u"\"x@y z\" w"_s, u"sans adresse"_s,
                                 u"a@b a@b"_s};

} // namespace

class TestExtractCommand : public QObject
{
    Q_OBJECT

private slots:
    void extract_data();
    void extract();
    void extractOwnResult();
    void entriesWithGaps();
    void sharedBufferIsNeverWritten();
};

void TestExtractCommand::extract_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("retained");

    QTest::newRow("four entries") << fourEntries
                                  << QStringList{u"<a@b>"_s, u"c@d"_s, u"x@y z"_s, u"a@b"_s,
                                                 u"a@b"_s};
    QTest::newRow("kept exactly as split")
        << QStringList{u"<a@b> A@B; mailto:a@b @"_s}
        << QStringList{u"<a@b>"_s, u"A@B;"_s, u"mailto:a@b"_s, u"@"_s};
    QTest::newRow("empty tokens never kept")
        << QStringList{u",@,,"_s, u"\"\" a@b,"_s} << QStringList{u"@"_s, u"a@b"_s};
    QTest::newRow("repeated across entries")
        << QStringList{u"a@b"_s, u"x"_s, u"a@b"_s} << QStringList{u"a@b"_s, u"a@b"_s};
    QTest::newRow("empty list") << QStringList() << QStringList();
    QTest::newRow("no @ anywhere")
        << QStringList{u"sans adresse"_s, QString(), u"\"a b\""_s} << QStringList();
    QTest::newRow("empty entries between")
        << QStringList{QString(), u"a@b"_s, QString()} << QStringList{u"a@b"_s};
    QTest::newRow("doubled quote in token")
        << QStringList{u"\"a\"\"b@c\" d@e"_s} << QStringList{u"a\"b@c"_s, u"d@e"_s};
    QTest::newRow("@ only in the quotes of a token")
        << QStringList{u"\"x y\"@ z"_s} << QStringList{u"@"_s};
    QTest::newRow("nothing after U+0000") << QStringList{u"a@b\0c@d"_s} << QStringList{u"a@b"_s};
    QTest::newRow("@ after U+0000 only") << QStringList{u"a\0@"_s} << QStringList();
    QTest::newRow("astral characters")
        << QStringList{u"\U0001F600@b.fr, x"_s} << QStringList{u"\U0001F600@b.fr"_s};
}

void TestExtractCommand::extract()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, retained);

    // The copying form and the one that writes over the entries' own buffer.
    const TextTable table = tableOf(entries);
    QCOMPARE(entriesOf(ExtractAddresses(table)), retained);
    QCOMPARE(entriesOf(ExtractAddresses(tableOf(entries), ExtractThreads::One)), retained);

    // Two threads split the entries in the middle: entries without "@" put before them move
    // that middle across every entry.
    for (int before = 0; before <= entries.size() + 1; ++before) {
        QStringList moved(before, u"x y"_s);
        moved += entries;
        QCOMPARE(entriesOf(ExtractAddresses(tableOf(moved), ExtractThreads::Two)), retained);
    }
}

void TestExtractCommand::extractOwnResult()
{
    const TextTable first = ExtractAddresses(tableOf(fourEntries));
    // Only the entry that came from a quoted token is split again.
    QCOMPARE(entriesOf(ExtractAddresses(first)),
             (QStringList{u"<a@b>"_s, u"c@d"_s, u"x@y"_s, u"a@b"_s, u"a@b"_s}));
}

void TestExtractCommand::entriesWithGaps()
{
    // Entries as a reader leaves them: slices of the file's text, line endings in between.
    const QString text = u"Nom <a@b>\r\n@@ gap @@\r\nc@d, e\r\n"_s;
    const std::vector<TextSpan> spans{{0, 9}, {22, 6}, {30, 0}};
    const TextTable entries(text, spans);
    QCOMPARE(entriesOf(ExtractAddresses(entries)), (QStringList{u"<a@b>"_s, u"c@d"_s}));

    QString own = text;
    own.detach();
    QCOMPARE(entriesOf(ExtractAddresses(TextTable(std::move(own), spans))),
             (QStringList{u"<a@b>"_s, u"c@d"_s}));
}

void TestExtractCommand::sharedBufferIsNeverWritten()
{
    // A buffer someone else still holds is copied from, not written over.
    const QString text = u"x a@b \"c\"\"@d\""_s;
    const QString before = text.sliced(0);
    const TextTable result = ExtractAddresses(TextTable(text, {{0, text.size()}}));
    QCOMPARE(entriesOf(result), (QStringList{u"a@b"_s, u"c\"@d"_s}));
    QCOMPARE(text, before);
}

QTEST_GUILESS_MAIN(TestExtractCommand)
#include "tst_extract_command.moc"
