// Bytes to lines: the byte-order mark, strict UTF-8, UTF-16 in both orders, the Windows-1252
// round trip and the cutting into lines, each against a plain reading of its rule.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "text/text_table.h"
#include "fuzz_input.h"
#include "io/text_encoding.h"

namespace {

DetectedEncoding referenceDetect(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {TextEncoding::Utf8, 3};
    if (bytes.startsWith("\xFF\xFE"))
        return {TextEncoding::Utf16LE, 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {TextEncoding::Utf16BE, 2};
    return {TextEncoding::SystemCodePage, 0};
}

// Well-formed UTF-8 byte sequences, as the Unicode Standard's table lists them.
bool wellFormedUtf8(QByteArrayView bytes)
{
    const auto byteAt = [&bytes](qsizetype i) { return uint8_t(bytes[i]); };
    qsizetype i = 0;
    while (i < bytes.size()) {
        const uint8_t b = byteAt(i);
        int length = 0;
        uint8_t low = 0x80;
        uint8_t high = 0xBF;
        if (b <= 0x7F) {
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0)
                low = 0xA0;
            if (b == 0xED)
                high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0)
                low = 0x90;
            if (b == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (i + length > bytes.size())
            return false;
        for (int k = 1; k < length; ++k) {
            const uint8_t c = byteAt(i + k);
            const uint8_t from = k == 1 ? low : 0x80;
            const uint8_t to = k == 1 ? high : 0xBF;
            if (c < from || c > to)
                return false;
        }
        i += length;
    }
    return true;
}

// Scan to the first U+0000, LF or CR; step over a CR, then over an LF.
std::vector<TextSpan> referenceLines(QStringView text)
{
    std::vector<TextSpan> lines;
    const auto at = [&text](qsizetype i) { return i < text.size() ? text[i].unicode() : u'\0'; };
    qsizetype position = 0;
    while (at(position) != u'\0') {
        const qsizetype start = position;
        while (at(position) != u'\0' && at(position) != u'\n' && at(position) != u'\r')
            ++position;
        lines.push_back({start, position - start});
        if (at(position) == u'\r')
            ++position;
        if (at(position) == u'\n')
            ++position;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArrayView bytes = input.rest();

    const DetectedEncoding detected = DetectEncoding(bytes);
    const DetectedEncoding expected = referenceDetect(bytes);
    FUZZ_CHECK(detected.encoding == expected.encoding);
    FUZZ_CHECK(detected.markLength == expected.markLength);
    FUZZ_CHECK(ByteOrderMark(detected.encoding) == bytes.first(detected.markLength));

    const QByteArrayView body = bytes.sliced(detected.markLength);
    const QString text = DecodeText(body, detected.encoding);
    switch (detected.encoding) {
    case TextEncoding::Utf8:
        if (wellFormedUtf8(body))
            FUZZ_CHECK(EncodeText(text, TextEncoding::Utf8) == body);
        else
            FUZZ_CHECK(text.isEmpty());
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool little = detected.encoding == TextEncoding::Utf16LE;
        FUZZ_CHECK(text.size() == body.size() / 2);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const uint8_t first = uint8_t(body[2 * i]);
            const uint8_t second = uint8_t(body[2 * i + 1]);
            const char16_t unit =
                little ? char16_t(first | (second << 8)) : char16_t((first << 8) | second);
            FUZZ_CHECK(text[i].unicode() == unit);
        }
        FUZZ_CHECK(EncodeText(text, detected.encoding) == body.first(text.size() * 2));
        break;
    }
    case TextEncoding::SystemCodePage:
        // One character per byte, and every byte comes back as it was.
        FUZZ_CHECK(text.size() == body.size());
        FUZZ_CHECK(EncodeText(text, TextEncoding::SystemCodePage) == body);
        break;
    }

    const std::vector<TextSpan> lines = TextToLines(text);
    const std::vector<TextSpan> expectedLines = referenceLines(text);
    FUZZ_CHECK(lines.size() == expectedLines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].offset == expectedLines[i].offset);
        FUZZ_CHECK(lines[i].length == expectedLines[i].length);
    }
    return 0;
}
