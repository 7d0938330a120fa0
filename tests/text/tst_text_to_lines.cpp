#include <QTest>

#include "text/text_table.h"

using namespace Qt::StringLiterals;

class TestTextToLines : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void spansPointIntoTheText();
    void lineEndAtEveryPosition();
    void inPieces_data();
    void inPieces();
};

void TestTextToLines::lines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("no line end") << u"a"_s << QStringList{u"a"_s};
    QTest::newRow("crlf after each") << u"a\r\nb\r\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("empty line between crlf")
        << u"a\r\n\r\nb"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("lf cr ends two") << u"a\n\rb"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("lone cr") << u"a\rb"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone lf") << u"a\nb\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("cr cr lf") << u"a\r\r\nb"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("only a line end") << u"\r\n"_s << QStringList{QString()};
    QTest::newRow("two line ends") << u"\n\n"_s << QStringList{QString(), QString()};
    QTest::newRow("final cr") << u"a\r"_s << QStringList{u"a"_s};
    QTest::newRow("zero ends the text") << u"a\0b\r\nc"_s << QStringList{u"a"_s};
    QTest::newRow("zero after a line end") << u"a\r\n\0b"_s << QStringList{u"a"_s};
    QTest::newRow("zero first") << u"\0a"_s << QStringList();
    QTest::newRow("blanks kept") << u" \ta \t\r\n\f\v"_s << QStringList{u" \ta \t"_s, u"\f\v"_s};
    QTest::newRow("other separators are text")
        << u"a\u2028b\u0085c\u000Bd"_s << QStringList{u"a\u2028b\u0085c\u000Bd"_s};
}

void TestTextToLines::lines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);

    QStringList found;
    for (const TextSpan &span : TextToLines(text))
        found.append(QStringView(text).mid(span.offset, span.length).toString());
    QCOMPARE(found, lines);
}

void TestTextToLines::spansPointIntoTheText()
{
    const QString text = u"ab\r\ncde\n\nf"_s;
    const std::vector<TextSpan> spans = TextToLines(text);
    QCOMPARE(spans.size(), 4u);
    QCOMPARE(spans[0].offset, 0);
    QCOMPARE(spans[0].length, 2);
    QCOMPARE(spans[1].offset, 4);
    QCOMPARE(spans[1].length, 3);
    QCOMPARE(spans[2].offset, 8);
    QCOMPARE(spans[2].length, 0);
    QCOMPARE(spans[3].offset, 9);
    QCOMPARE(spans[3].length, 1);
}

// Line ends and other control characters at every position of a text longer than the blocks
// the scan reads at once.
void TestTextToLines::lineEndAtEveryPosition()
{
    const qsizetype length = 41;
    for (const char16_t end : {u'\n', u'\r', u'\0'}) {
        for (qsizetype p = 0; p < length; ++p) {
            const QString text = QString(p, u'x') + QChar(end) + QString(length - 1 - p, u'\t');
            const std::vector<TextSpan> spans = TextToLines(text);
            const qsizetype expected = end == u'\0' ? (p > 0 ? 1 : 0) : (p < length - 1 ? 2 : 1);
            QCOMPARE(static_cast<qsizetype>(spans.size()), expected);
            if (expected > 0) {
                QCOMPARE(spans[0].offset, 0);
                QCOMPARE(spans[0].length, p);
            }
            if (expected > 1) {
                QCOMPARE(spans[1].offset, p + 1);
                QCOMPARE(spans[1].length, length - 1 - p);
            }
        }
    }
}

void TestTextToLines::inPieces_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("crlf") << u"ab\r\ncd\r\n\r\ne"_s;
    QTest::newRow("lf cr and lone cr") << u"a\n\rb\rc\r"_s;
    QTest::newRow("zero inside a line") << u"ab\r\ncd\0e\r\nf"_s;
    QTest::newRow("zero at a line start") << u"a\r\n\0b"_s;
    QTest::newRow("line ends only") << u"\r\n\n\r\r"_s;
    QTest::newRow("short lines, lone cr before lines") << u"a\rb\r\nc\nd\r\re\n\0"_s;
}

// The lines of a text that arrives in pieces, cut anywhere (between CR and LF, before a
// U+0000), are the lines of the whole text.
void TestTextToLines::inPieces()
{
    QFETCH(QString, text);

    const std::vector<TextSpan> whole = TextToLines(text);
    const char16_t *data = QStringView(text).utf16();
    for (qsizetype cut1 = 0; cut1 <= text.size(); ++cut1) {
        for (qsizetype cut2 = cut1; cut2 <= text.size(); ++cut2) {
            LineSplitter splitter;
            splitter.feed(data, 0, cut1);
            splitter.feed(data, cut1, cut2);
            splitter.feed(data, cut2, text.size());
            const std::vector<TextSpan> pieces = splitter.finish(text.size());
            QCOMPARE(pieces.size(), whole.size());
            for (std::size_t i = 0; i < whole.size(); ++i) {
                QCOMPARE(pieces[i].offset, whole[i].offset);
                QCOMPARE(pieces[i].length, whole[i].length);
            }

            // Two splitters at once, the second starting blind at cut1 and fed in two pieces,
            // joined afterwards.
            LineSplitter first;
            LineSplitter second;
            first.feed(data, 0, cut1);
            second.feed(data, cut1, cut2);
            second.feed(data, cut2, text.size());
            first.join(std::move(second), data, cut1, text.size());
            const std::vector<TextSpan> joined = first.finish(text.size());
            QCOMPARE(joined.size(), whole.size());
            for (std::size_t i = 0; i < whole.size(); ++i) {
                QCOMPARE(joined[i].offset, whole[i].offset);
                QCOMPARE(joined[i].length, whole[i].length);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestTextToLines)
#include "tst_text_to_lines.moc"
