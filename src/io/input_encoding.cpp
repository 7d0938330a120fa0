#include "io/input_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include <QString>

#include "io/text_encoding.h"
#include "text/utf8.h"

namespace {

// The UTF-8 form of each Windows-1252 byte from 0x80 on (at most three bytes, then its length),
// from the same mapping the window decodes with.
struct HighByteForms
{
    std::array<std::array<char, 4>, 128> forms;
};

const HighByteForms &windows1252Utf8()
{
    static const HighByteForms table = [] {
        HighByteForms result;
        for (int byte = 0x80; byte < 256; ++byte) {
            const char in = static_cast<char>(byte);
            const QByteArray utf8 =
                DecodeText(QByteArrayView(&in, 1), TextEncoding::SystemCodePage).toUtf8();
            std::array<char, 4> &form = result.forms[static_cast<std::size_t>(byte - 0x80)];
            form = {};
            std::copy(utf8.begin(), utf8.begin() + std::min<qsizetype>(utf8.size(), 3),
                      form.begin());
            form[3] = static_cast<char>(std::min<qsizetype>(utf8.size(), 3));
        }
        return result;
    }();
    return table;
}

void appendWindows1252(QByteArrayView bytes, std::string &out)
{
    const HighByteForms &table = windows1252Utf8();
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(bytes.size()) * 3);
    char *p = out.data() + start;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            *p++ = c;
            continue;
        }
        const std::array<char, 4> &form = table.forms[byte - 0x80];
        std::memcpy(p, form.data(), 3);
        p += form[3];
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

void appendUtf16(QByteArrayView bytes, bool littleEndian, std::string &out)
{
    // A few thousand code units at a time, in this machine's order, through the one encoder.
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    char16_t chunk[4096];
    for (qsizetype from = 0; from < units;) {
        qsizetype n = std::min<qsizetype>(units - from, std::size(chunk));
        for (qsizetype i = 0; i < n; ++i) {
            const unsigned lo = in[2 * (from + i) + (littleEndian ? 0 : 1)];
            const unsigned hi = in[2 * (from + i) + (littleEndian ? 1 : 0)];
            chunk[i] = static_cast<char16_t>(hi << 8 | lo);
        }
        // A pair is never cut between two chunks.
        if (from + n < units && n > 1 && QChar::isHighSurrogate(chunk[n - 1]))
            --n;
        const std::size_t start = out.size();
        out.resize(start + static_cast<std::size_t>(n) * 3);
        char *end = PutUtf8(out.data() + start, QStringView(chunk, n), LoneSurrogate::Replace);
        out.resize(static_cast<std::size_t>(end - out.data()));
        from += n;
    }
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

InputEncoding GuessUnmarkedUtf16(QByteArrayView head)
{
    const qsizetype pairs = std::min<qsizetype>(head.size(), 4096) / 2;
    if (pairs < 4)
        return InputEncoding::Auto;
    qsizetype zeroFirst = 0;
    qsizetype zeroSecond = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        zeroFirst += head[2 * i] == '\0';
        zeroSecond += head[2 * i + 1] == '\0';
    }
    // Most characters in the low byte's range, and almost no zero on the other side.
    if (zeroSecond * 10 >= pairs * 4 && zeroFirst * 20 <= pairs)
        return InputEncoding::Utf16LE;
    if (zeroFirst * 10 >= pairs * 4 && zeroSecond * 20 <= pairs)
        return InputEncoding::Utf16BE;
    return InputEncoding::Auto;
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
