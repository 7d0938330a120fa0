#include <initializer_list>
#include <vector>

#include <QTest>

#include "io/text_encoding.h"
#include "support/fixtures.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TextEncoding)

namespace {

QString units(std::initializer_list<char16_t> codeUnits)
{
    return QStringView(codeUnits.begin(), static_cast<qsizetype>(codeUnits.size())).toString();
}

} // namespace

class TestTextEncoding : public QObject
{
    Q_OBJECT

private slots:
    void detectEncoding_data();
    void detectEncoding();
    void byteOrderMark_data();
    void byteOrderMark();
    void decodeWindows1252_data();
    void decodeWindows1252();
    void windows1252EveryByteRoundTrips();
    void decodeUtf8_data();
    void decodeUtf8();
    void decodeUtf16_data();
    void decodeUtf16();
    void encodeText_data();
    void encodeText();
    void windows1252NeverWritesTheSubstituteControl();
    void unicodeRoundTrips_data();
    void unicodeRoundTrips();
    void decodeInPieces_data();
    void decodeInPieces();
};

void TestTextEncoding::detectEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<int>("markLength");

    QTest::newRow("empty") << QByteArray() << TextEncoding::SystemCodePage << 0;
    QTest::newRow("plain text") << hex("616263") << TextEncoding::SystemCodePage << 0;
    QTest::newRow("utf-8 mark only") << hex("EFBBBF") << TextEncoding::Utf8 << 3;
    QTest::newRow("utf-8 mark and text") << hex("EFBBBF61") << TextEncoding::Utf8 << 3;
    QTest::newRow("utf-8 mark cut short") << hex("EFBB") << TextEncoding::SystemCodePage << 0;
    QTest::newRow("utf-16le mark") << hex("FFFE") << TextEncoding::Utf16LE << 2;
    QTest::newRow("utf-16le mark then zeros") << hex("FFFE0000") << TextEncoding::Utf16LE << 2;
    QTest::newRow("utf-16be mark") << hex("FEFF0061") << TextEncoding::Utf16BE << 2;
    QTest::newRow("one byte of a mark") << hex("FF") << TextEncoding::SystemCodePage << 0;
    QTest::newRow("utf-16le without mark") << hex("61006200") << TextEncoding::SystemCodePage << 0;
    QTest::newRow("mark in the middle") << hex("61EFBBBF") << TextEncoding::SystemCodePage << 0;
}

void TestTextEncoding::detectEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(int, markLength);

    const DetectedEncoding detected = DetectEncoding(bytes);
    QCOMPARE(detected.encoding, encoding);
    QCOMPARE(detected.markLength, markLength);
}

void TestTextEncoding::byteOrderMark_data()
{
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QByteArray>("mark");

    QTest::newRow("system code page") << TextEncoding::SystemCodePage << QByteArray();
    QTest::newRow("utf-8") << TextEncoding::Utf8 << hex("EFBBBF");
    QTest::newRow("utf-16le") << TextEncoding::Utf16LE << hex("FFFE");
    QTest::newRow("utf-16be") << TextEncoding::Utf16BE << hex("FEFF");
}

void TestTextEncoding::byteOrderMark()
{
    QFETCH(TextEncoding, encoding);
    QFETCH(QByteArray, mark);

    QCOMPARE(ByteOrderMark(encoding), mark);
    const DetectedEncoding detected = DetectEncoding(mark);
    if (!mark.isEmpty()) {
        QCOMPARE(detected.encoding, encoding);
        QCOMPARE(detected.markLength, mark.size());
    }
}

void TestTextEncoding::decodeWindows1252_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii") << hex("612062") << u"a b"_s;
    QTest::newRow("zero byte kept") << hex("6100620D0A63") << u"a\0b\r\nc"_s;
    QTest::newRow("euro") << hex("80") << u"€"_s;
    QTest::newRow("letters above 0x80") << hex("E9C99F8C") << u"éÉŸŒ"_s;
    QTest::newRow("quotes and dashes") << hex("93949697") << u"“”–—"_s;
    QTest::newRow("undefined bytes as C1 controls")
        << hex("818D8F909D") << u"\u0081\u008D\u008F\u0090\u009D"_s;
    QTest::newRow("utf-8 bytes read one by one") << hex("C3A9") << u"Ã©"_s;
}

void TestTextEncoding::decodeWindows1252()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QCOMPARE(DecodeText(bytes, TextEncoding::SystemCodePage), text);
}

void TestTextEncoding::windows1252EveryByteRoundTrips()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = static_cast<char>(b);
    const QString text = DecodeText(all, TextEncoding::SystemCodePage);
    QCOMPARE(text.size(), 256);
    QCOMPARE(EncodeText(text, TextEncoding::SystemCodePage), all);
}

void TestTextEncoding::decodeUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const QByteArray longAscii(37, 'x');
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii") << hex("61620D0A") << u"ab\r\n"_s;
    QTest::newRow("zero byte") << hex("610062") << u"a\0b"_s;
    QTest::newRow("two bytes") << hex("C3A9C280DFBF") << u"é\u0080\u07FF"_s;
    QTest::newRow("three bytes") << hex("E0A080E282ACEFBFBFEE8080ED9FBF")
                                 << u"\u0800€\uFFFF\uE000\uD7FF"_s;
    QTest::newRow("four bytes") << hex("F0908080F48FBFBFF09F9880")
                                << u"\U00010000\U0010FFFF\U0001F600"_s;
    QTest::newRow("after a long ascii run")
        << longAscii + hex("C3A9") + longAscii
        << QString::fromLatin1(longAscii) + u"é"_s + QString::fromLatin1(longAscii);

    // Each of these is malformed somewhere, which empties the whole text.
    QTest::newRow("stray continuation") << hex("618062") << QString();
    QTest::newRow("stray continuation after ascii run") << longAscii + hex("BF") << QString();
    QTest::newRow("overlong C0 80") << hex("C080") << QString();
    QTest::newRow("overlong C1 BF") << hex("C1BF") << QString();
    QTest::newRow("overlong E0 80 80") << hex("E08080") << QString();
    QTest::newRow("overlong E0 9F BF") << hex("E09FBF") << QString();
    QTest::newRow("overlong F0 8F BF BF") << hex("F08FBFBF") << QString();
    QTest::newRow("surrogate ED A0 80") << hex("EDA080") << QString();
    QTest::newRow("surrogate ED BF BF") << hex("EDBFBF") << QString();
    QTest::newRow("above U+10FFFF F4 90 80 80") << hex("F4908080") << QString();
    QTest::newRow("lead F5") << hex("F5808080") << QString();
    QTest::newRow("byte FF") << hex("61FF") << QString();
    QTest::newRow("truncated two bytes at end") << hex("61C3") << QString();
    QTest::newRow("truncated three bytes at end") << hex("61E282") << QString();
    QTest::newRow("truncated four bytes at end") << hex("F09080") << QString();
    QTest::newRow("truncated before ascii") << hex("E28261") << QString();
    QTest::newRow("continuation missing in four") << hex("F090806162") << QString();
    QTest::newRow("malformed at the very end of a long text")
        << longAscii + hex("C3A9") + longAscii + hex("80") << QString();
}

void TestTextEncoding::decodeUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    const QString decoded = DecodeText(bytes, TextEncoding::Utf8);
    QCOMPARE(decoded, text);
}

void TestTextEncoding::decodeUtf16_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("text");

    QTest::newRow("le empty") << QByteArray() << TextEncoding::Utf16LE << QString();
    QTest::newRow("le") << hex("61000D000A00E900AC20") << TextEncoding::Utf16LE << u"a\r\né€"_s;
    QTest::newRow("be") << hex("0061000D000A00E920AC") << TextEncoding::Utf16BE << u"a\r\né€"_s;
    QTest::newRow("le last odd byte ignored") << hex("610062") << TextEncoding::Utf16LE << u"a"_s;
    QTest::newRow("be single byte") << hex("61") << TextEncoding::Utf16BE << QString();
    QTest::newRow("le zero unit") << hex("00006100") << TextEncoding::Utf16LE << u"\0a"_s;
    QTest::newRow("le pair") << hex("3DD800DE") << TextEncoding::Utf16LE << u"\U0001F600"_s;
    QTest::newRow("le unpaired surrogates kept")
        << hex("00D8610000DC") << TextEncoding::Utf16LE << units({0xD800, u'a', 0xDC00});
    QTest::newRow("be unpaired surrogate kept")
        << hex("DBFF") << TextEncoding::Utf16BE << QString(QChar(0xDBFF));
}

void TestTextEncoding::decodeUtf16()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, text);

    QCOMPARE(DecodeText(bytes, encoding), text);
}

void TestTextEncoding::encodeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QByteArray>("bytes");

    const QString ab = u"a\r\nb\r\n"_s;
    const QString loneHigh(QChar(0xD800));
    const QString loneLow = u"a"_s + QChar(0xDC00) + u"b"_s;

    QTest::newRow("empty cp1252") << QString() << TextEncoding::SystemCodePage << QByteArray();
    QTest::newRow("empty utf-8") << QString() << TextEncoding::Utf8 << QByteArray();
    QTest::newRow("a b cp1252") << ab << TextEncoding::SystemCodePage << hex("610D0A620D0A");
    QTest::newRow("a b utf-8") << ab << TextEncoding::Utf8 << hex("610D0A620D0A");
    QTest::newRow("a b utf-16le") << ab << TextEncoding::Utf16LE << hex("61000D000A0062000D000A00");
    QTest::newRow("a b utf-16be") << ab << TextEncoding::Utf16BE << hex("0061000D000A0062000D000A");

    QTest::newRow("cp1252 euro") << u"€"_s << TextEncoding::SystemCodePage << hex("80");
    QTest::newRow("cp1252 accents") << u"éÿŸœ"_s << TextEncoding::SystemCodePage << hex("E9FF9F9C");
    QTest::newRow("cp1252 zero and SUB kept")
        << u"\0\x1A"_s << TextEncoding::SystemCodePage << hex("001A");
    QTest::newRow("cp1252 a macron has no look-alike")
        << u"ā"_s << TextEncoding::SystemCodePage << QByteArray("?");
    QTest::newRow("cp1252 fullwidth letter best fit")
        << u"ａ＠ｂ"_s << TextEncoding::SystemCodePage << QByteArray("a@b");
    QTest::newRow("cp1252 cjk") << u"x中y"_s << TextEncoding::SystemCodePage << QByteArray("x?y");
    QTest::newRow("cp1252 U+0080 is not the euro")
        << u"\u0080"_s << TextEncoding::SystemCodePage << QByteArray("?");
    QTest::newRow("cp1252 pair is one character")
        << u"a\U0001F600b"_s << TextEncoding::SystemCodePage << QByteArray("a?b");
    QTest::newRow("cp1252 unpaired surrogates")
        << loneLow + loneHigh << TextEncoding::SystemCodePage << QByteArray("a?b?");

    QTest::newRow("utf-8 all lengths")
        << u"aé€\U0001F600"_s << TextEncoding::Utf8 << hex("61C3A9E282ACF09F9880");
    QTest::newRow("utf-8 zero") << u"\0"_s << TextEncoding::Utf8 << hex("00");
    QTest::newRow("utf-8 lone high surrogate at end")
        << u"a"_s + loneHigh << TextEncoding::Utf8 << hex("61EFBFBD");
    QTest::newRow("utf-8 lone low surrogate") << loneLow << TextEncoding::Utf8 << hex("61EFBFBD62");
    QTest::newRow("utf-8 reversed pair")
        << units({0xDC00, 0xD800}) << TextEncoding::Utf8 << hex("EFBFBDEFBFBD");

    QTest::newRow("utf-16le pair and lone")
        << u"\U0001F600"_s + loneHigh << TextEncoding::Utf16LE << hex("3DD800DE00D8");
    QTest::newRow("utf-16be pair and lone")
        << u"\U0001F600"_s + loneHigh << TextEncoding::Utf16BE << hex("D83DDE00D800");
}

void TestTextEncoding::encodeText()
{
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QFETCH(QByteArray, bytes);

    QCOMPARE(EncodeText(text, encoding), bytes);
}

void TestTextEncoding::windows1252NeverWritesTheSubstituteControl()
{
    QString everything;
    for (int c = 0; c < 0x10000; ++c) {
        if (c != 0x1A && (c < 0xD800 || c > 0xDFFF))
            everything.append(QChar(c));
    }
    const QByteArray bytes = EncodeText(everything, TextEncoding::SystemCodePage);
    QCOMPARE(bytes.size(), everything.size());
    QCOMPARE(bytes.indexOf('\x1A'), -1);
}

void TestTextEncoding::unicodeRoundTrips_data()
{
    QTest::addColumn<TextEncoding>("encoding");
    QTest::newRow("utf-8") << TextEncoding::Utf8;
    QTest::newRow("utf-16le") << TextEncoding::Utf16LE;
    QTest::newRow("utf-16be") << TextEncoding::Utf16BE;
}

void TestTextEncoding::unicodeRoundTrips()
{
    QFETCH(TextEncoding, encoding);

    QString text;
    for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0x3000 ? 1 : 97)) {
        if (c < 0xD800 || c > 0xDFFF)
            text.append(QStringView(QChar::fromUcs4(c)));
    }
    QCOMPARE(DecodeText(EncodeText(text, encoding), encoding), text);
    QCOMPARE(EncodeText(text, TextEncoding::Utf8), text.toUtf8());
}

void TestTextEncoding::decodeInPieces_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");

    QTest::newRow("cp1252 crlf and accents")
        << hex("610D0AE9800D0A62") << TextEncoding::SystemCodePage;
    QTest::newRow("utf-8 two, three and four bytes")
        << hex("61C3A9E282AC0D0AF09F9880620D0A") << TextEncoding::Utf8;
    QTest::newRow("utf-8 malformed after a cut sequence")
        << hex("61E282FF62") << TextEncoding::Utf8;
    QTest::newRow("utf-8 cut at the very end") << hex("6162F09F98") << TextEncoding::Utf8;
    QTest::newRow("utf-8 encoded surrogate") << hex("61EDA080") << TextEncoding::Utf8;
    QTest::newRow("utf-8 overlong") << hex("61E08080") << TextEncoding::Utf8;
    QTest::newRow("utf-16le pair and crlf")
        << hex("61000D000A003DD800DE6200") << TextEncoding::Utf16LE;
    QTest::newRow("utf-16be odd last byte") << hex("0061D83DDE0000") << TextEncoding::Utf16BE;
}

// A file is decoded in pieces as it is read: wherever the pieces are cut, even inside a
// character, the text is the one decoded from the whole.
void TestTextEncoding::decodeInPieces()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);

    const QString whole = DecodeText(bytes, encoding);
    for (qsizetype cut1 = 0; cut1 <= bytes.size(); ++cut1) {
        for (qsizetype cut2 = cut1; cut2 <= bytes.size(); ++cut2) {
            StreamDecoder decoder(encoding);
            std::vector<char16_t> out(static_cast<std::size_t>(bytes.size()) + 1);
            qsizetype units = 0;
            qsizetype consumed = 0;
            bool malformed = false;
            for (const qsizetype cut : {cut1, cut2, bytes.size()}) {
                // What the last piece left is handed over again with the next.
                const QByteArrayView piece = QByteArrayView(bytes).sliced(consumed, cut - consumed);
                const StreamDecoder::Step step =
                    decoder.decode(piece, out.data() + units, cut == bytes.size());
                if (step.malformed) {
                    malformed = true;
                    break;
                }
                consumed += step.bytes;
                units += step.units;
            }
            const QString text = malformed ? QString() : QStringView(out.data(), units).toString();
            QVERIFY2(text == whole, qPrintable(u"cut at %1 and %2"_s.arg(cut1).arg(cut2)));
        }
    }
}

QTEST_GUILESS_MAIN(TestTextEncoding)
#include "tst_text_encoding.moc"
