#include "io/input_encoding.h"

#include <array>

#include <QString>

#include "io/text_encoding.h"

namespace {

// The UTF-8 form of each Windows-1252 byte, from the same mapping the window decodes with.
const std::array<std::string, 256> &windows1252Utf8()
{
    static const std::array<std::string, 256> table = [] {
        std::array<std::string, 256> result;
        for (int byte = 0; byte < 256; ++byte) {
            const char in = static_cast<char>(byte);
            result[static_cast<std::size_t>(byte)] =
                DecodeText(QByteArrayView(&in, 1), TextEncoding::SystemCodePage)
                    .toUtf8()
                    .toStdString();
        }
        return result;
    }();
    return table;
}

void appendWindows1252(QByteArrayView bytes, std::string &out)
{
    const std::array<std::string, 256> &table = windows1252Utf8();
    out.reserve(out.size() + static_cast<std::size_t>(bytes.size()) * 2);
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80)
            out += c;
        else
            out += table[static_cast<unsigned char>(c)];
    }
}

void appendUtf16(QByteArrayView bytes, bool littleEndian, std::string &out)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    const auto unitAt = [&](qsizetype i) -> char32_t {
        const unsigned lo = in[2 * i + (littleEndian ? 0 : 1)];
        const unsigned hi = in[2 * i + (littleEndian ? 1 : 0)];
        return hi << 8 | lo;
    };
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(units) * 3);
    char *p = out.data() + start;
    for (qsizetype i = 0; i < units; ++i) {
        char32_t c = unitAt(i);
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x800) {
            *p++ = static_cast<char>(0xc0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3f));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < units && QChar::isLowSurrogate(unitAt(i + 1))) {
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c),
                                       static_cast<char16_t>(unitAt(++i)));
            *p++ = static_cast<char>(0xf0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            *p++ = static_cast<char>(0x80 | (c & 0x3f));
            continue;
        }
        // A surrogate without its pair.
        if (QChar::isSurrogate(c))
            c = 0xfffd;
        *p++ = static_cast<char>(0xe0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        *p++ = static_cast<char>(0x80 | (c & 0x3f));
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

} // namespace

InputMark FindInputMark(QByteArrayView head)
{
    const DetectedEncoding detected = DetectEncoding(head);
    switch (detected.markLength == 0 ? TextEncoding::SystemCodePage : detected.encoding) {
    case TextEncoding::Utf8:
        return {InputEncoding::Utf8, detected.markLength};
    case TextEncoding::Utf16LE:
        return {InputEncoding::Utf16LE, detected.markLength};
    case TextEncoding::Utf16BE:
        return {InputEncoding::Utf16BE, detected.markLength};
    case TextEncoding::SystemCodePage:
        break;
    }
    return {};
}

void AppendAsUtf8(QByteArrayView bytes, InputEncoding encoding, std::string &out)
{
    switch (encoding) {
    case InputEncoding::Auto:
        if (bytes.isValidUtf8())
            out.append(bytes.data(), static_cast<std::size_t>(bytes.size()));
        else
            appendWindows1252(bytes, out);
        return;
    case InputEncoding::Cp1252:
        appendWindows1252(bytes, out);
        return;
    case InputEncoding::Utf8:
        if (bytes.isValidUtf8())
            out.append(bytes.data(), static_cast<std::size_t>(bytes.size()));
        else
            out += QString::fromUtf8(bytes).toUtf8().toStdString();
        return;
    case InputEncoding::Utf16LE:
    case InputEncoding::Utf16BE:
        appendUtf16(bytes, encoding == InputEncoding::Utf16LE, out);
        return;
    }
}
