#include <QStringList>
#include <QTest>

#include "extract/token_splitter.h"

using namespace Qt::Literals::StringLiterals;

class TestTokenSplitter : public QObject
{
    Q_OBJECT

private slots:
    void splitLine_data();
    void splitLine();
    void blanks_data();
    void blanks();
};

void TestTokenSplitter::splitLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("tokens");

    const QString empty;
    QTest::newRow("empty text") << QString() << QStringList();
    QTest::newRow("three spaces") << u"   "_s << QStringList();
    QTest::newRow("space separates") << u"a b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("comma then space") << u"a, b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("space then comma") << u"a ,b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("two commas") << u"a,,b"_s << QStringList{u"a"_s, empty, u"b"_s};
    QTest::newRow("two commas, blanks") << u"a , , b"_s << QStringList{u"a"_s, empty, u"b"_s};
    QTest::newRow("leading comma") << u",a"_s << QStringList{empty, u"a"_s};
    QTest::newRow("comma alone") << u","_s << QStringList{empty, empty};
    QTest::newRow("final comma") << u"a,"_s << QStringList{u"a"_s, empty};
    QTest::newRow("final comma, space") << u"a, "_s << QStringList{u"a"_s};
    QTest::newRow("commas, blanks between") << u", ,"_s << QStringList{empty, empty, empty};
    QTest::newRow("tab") << u"a\tb"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("no-break space") << u"a\u00A0b"_s << QStringList{u"a\u00A0b"_s};
    QTest::newRow("semicolon") << u"<a@b>;c@d"_s << QStringList{u"<a@b>;c@d"_s};
    QTest::newRow("name and addresses")
        << u"Nom <a@b>, c@d"_s << QStringList{u"Nom"_s, u"<a@b>"_s, u"c@d"_s};
    QTest::newRow("quoted blank") << u"\"x y\" z@w"_s << QStringList{u"x y"_s, u"z@w"_s};
    QTest::newRow("quoted comma") << u"\"a,b\"@c"_s << QStringList{u"a,b"_s, u"@c"_s};
    QTest::newRow("after closing quote") << u"\"ab\"c"_s << QStringList{u"ab"_s, u"c"_s};
    QTest::newRow("quoted, space, comma") << u"\"a\" ,b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("quotes inside plain") << u"a\"b c\"d"_s << QStringList{u"a\"b"_s, u"c\"d"_s};
    QTest::newRow("quoted then plain with quotes")
        << u"\"a\"b\"c\""_s << QStringList{u"a"_s, u"b\"c\""_s};
    QTest::newRow("doubled quote") << u"\"a\"\"b\""_s << QStringList{u"a\"b"_s};
    QTest::newRow("empty quoted") << u"\"\""_s << QStringList{empty};
    QTest::newRow("empty quoted, comma") << u"\"\",a"_s << QStringList{empty, u"a"_s};
    QTest::newRow("lone quote") << u"\""_s << QStringList{empty};
    QTest::newRow("unclosed a") << u"\"a"_s << QStringList{u"a"_s};
    QTest::newRow("unclosed ab") << u"\"ab"_s << QStringList{u"ab"_s};
    QTest::newRow("unclosed with blank") << u"\"a b"_s << QStringList{u"a b"_s};
    QTest::newRow("three quotes") << u"\"\"\""_s << QStringList{u"\""_s};
    QTest::newRow("four quotes") << u"\"\"\"\""_s << QStringList{u"\""_s};
    QTest::newRow("U+0000 ends the text") << u"a\0b c"_s << QStringList{u"a"_s};
    QTest::newRow("mark after comma") << u"a,\u0301b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("mark in token") << u"a\u0301 b"_s << QStringList{u"a\u0301"_s, u"b"_s};
    QTest::newRow("mark after leading space") << u" \u0301a"_s << QStringList{u"a"_s};

    // Doubled quotes in several places and in two tokens of one line.
    QTest::newRow("doubled quotes, runs")
        << u"\"a\"\"b\"\"c\" d"_s << QStringList{u"a\"b\"c"_s, u"d"_s};
    QTest::newRow("doubled quotes, two tokens")
        << u"\"a\"\"b\" \"c\"\"d\""_s << QStringList{u"a\"b"_s, u"c\"d"_s};
    QTest::newRow("doubled quote, unclosed") << u"\"a\"\"b"_s << QStringList{u"a\"b"_s};
    QTest::newRow("quoted after comma") << u"a,\"b c\""_s << QStringList{u"a"_s, u"b c"_s};
    QTest::newRow("quoted, final comma") << u"\"a\","_s << QStringList{u"a"_s, empty};

    // The step after a delimiter: what it passes decides whether the comma ends the line.
    QTest::newRow("comma, mark at end") << u"a,\u0301"_s << QStringList{u"a"_s, empty};
    QTest::newRow("comma, two marks at end") << u"a,\u0301\u0302"_s << QStringList{u"a"_s, empty};
    QTest::newRow("comma, first mark U+0300") << u"a,\u0300"_s << QStringList{u"a"_s, empty};
    QTest::newRow("comma, U+02FF is no mark") << u"a,\u02FF"_s << QStringList{u"a"_s, u"\u02FF"_s};
    QTest::newRow("comma, spacing mark") << u"a,\u0903"_s << QStringList{u"a"_s, u"\u0903"_s};
    QTest::newRow("comma, space, mark") << u"a, \u0301"_s << QStringList{u"a"_s};
    QTest::newRow("comma, low surrogate at end") << u"a,\xDC00"_s << QStringList{u"a"_s, empty};
    QTest::newRow("comma, low surrogate") << u"a,\xDC00"
                                             "b"_s
                                          << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("space, low surrogate") << u" \xDC00"
                                             "b"_s
                                          << QStringList{u"b"_s};
    QTest::newRow("comma, low surrogate, mark")
        << u"a,\xDC00\u0301"_s << QStringList{u"a"_s, empty};
    // A mark outside the Basic Multilingual Plane starts with a high surrogate: not passed.
    QTest::newRow("comma, astral mark")
        << u"a,\U0001D167"_s << QStringList{u"a"_s, u"\U0001D167"_s};
    QTest::newRow("comma, U+0000") << u"a,\0b"_s << QStringList{u"a"_s, empty};
    QTest::newRow("U+0000 before comma") << u"a\0,b"_s << QStringList{u"a"_s};
    QTest::newRow("U+0000 inside quotes") << u"\"a\0b\" c"_s << QStringList{u"a"_s};
    QTest::newRow("U+0000 first") << u"\0a"_s << QStringList();

    QTest::newRow("surrogate pair in token")
        << u"x\U0001F600 y"_s << QStringList{u"x\U0001F600"_s, u"y"_s};
    QTest::newRow("lone low surrogate") << u"\xDC00"_s << QStringList{u"\xDC00"_s};
    QTest::newRow("line begins with a mark") << u"\u0301a"_s << QStringList{u"\u0301a"_s};
    QTest::newRow("mark after closing quote")
        << u"\"a\"\u0301"_s << QStringList{u"a"_s, u"\u0301"_s};
    QTest::newRow("line ending") << u"a@b\r\n"_s << QStringList{u"a@b"_s};
}

void TestTokenSplitter::splitLine()
{
    QFETCH(QString, line);
    QFETCH(QStringList, tokens);

    QCOMPARE(TokenSplitter::SplitLine(line), tokens);

    // The scratch may hold anything beforehand and is reused between tokens.
    QString scratch = u"left over"_s;
    QStringList seen;
    TokenSplitter::ForEachToken(line, scratch,
                                [&seen](QStringView token) { seen.append(token.toString()); });
    QCOMPARE(seen, tokens);
}

void TestTokenSplitter::blanks_data()
{
    QTest::addColumn<char16_t>("unit");
    QTest::addColumn<bool>("blank");

    QTest::newRow("U+0001") << char16_t(0x01) << true;
    QTest::newRow("line feed") << char16_t(0x0A) << true;
    QTest::newRow("carriage return") << char16_t(0x0D) << true;
    QTest::newRow("U+001F") << char16_t(0x1F) << true;
    QTest::newRow("space") << char16_t(0x20) << true;
    QTest::newRow("U+007F") << char16_t(0x7F) << false;
    QTest::newRow("U+0085") << char16_t(0x85) << false;
    QTest::newRow("U+00A0") << char16_t(0xA0) << false;
    QTest::newRow("U+2028") << char16_t(0x2028) << false;
    QTest::newRow("U+3000") << char16_t(0x3000) << false;
    QTest::newRow("semicolon") << char16_t(u';') << false;
    QTest::newRow("angle bracket") << char16_t(u'<') << false;
}

void TestTokenSplitter::blanks()
{
    QFETCH(char16_t, unit);
    QFETCH(bool, blank);

    const QString line = u"a"_s + QChar(unit) + u"b"_s;
    const QStringList expected = blank ? QStringList{u"a"_s, u"b"_s} : QStringList{line};
    QCOMPARE(TokenSplitter::SplitLine(line), expected);
}

QTEST_GUILESS_MAIN(TestTokenSplitter)
#include "tst_token_splitter.moc"
