#include "io/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include <QtEndian>

#include <unicode/ucnv.h>

#include "text/utf8.h"

namespace {

constexpr char utf8Mark[] = "\xEF\xBB\xBF";
constexpr char utf16LEMark[] = "\xFF\xFE";
constexpr char utf16BEMark[] = "\xFE\xFF";

struct ConverterCloser
{
    void operator()(UConverter *converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr openWindows1252()
{
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open("windows-1252", &status));
    if (U_FAILURE(status))
        return nullptr;
    return converter;
}

// The byte-to-character table comes from ICU's own Windows-1252 mapping, filled once, so that
// decoding is one lookup per byte. A byte the mapping leaves undefined keeps its value as a C1
// control, so no byte is ever rejected.
const std::array<char16_t, 256> &windows1252ToUnicode()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> result{};
        for (int byte = 0; byte < 256; ++byte)
            result[static_cast<std::size_t>(byte)] = static_cast<char16_t>(byte);
        ConverterPtr converter = openWindows1252();
        if (!converter)
            return result;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &status);
        for (int byte = 0; byte < 256; ++byte) {
            const char in = static_cast<char>(byte);
            UChar out[4] = {};
            status = U_ZERO_ERROR;
            ucnv_reset(converter.get());
            const int32_t length = ucnv_toUChars(converter.get(), out, 4, &in, 1, &status);
            if (U_SUCCESS(status) && length == 1)
                result[static_cast<std::size_t>(byte)] = out[0];
        }
        return result;
    }();
    return table;
}

// The character-to-byte table for the whole BMP, built once from ICU's conversion of every code
// point: best-fit fallbacks on, "?" for what has no mapping (ICU's own substitute is the SUB
// control 0x1A, which must never reach a file).
const std::array<char, 65536> &unicodeToWindows1252()
{
    static const std::array<char, 65536> table = [] {
        std::array<char, 65536> result;
        result.fill('?');
        ConverterPtr converter = openWindows1252();
        if (!converter) {
            for (int c = 0; c < 128; ++c)
                result[static_cast<std::size_t>(c)] = static_cast<char>(c);
            return result;
        }
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setSubstChars(converter.get(), "?", 1, &status);
        ucnv_setFallback(converter.get(), true);

        // Every code point but the surrogates, converted in one call: a single-byte code page
        // gives exactly one byte per code point, which is checked before the bytes are used.
        std::vector<UChar> all;
        all.reserve(65536);
        for (int c = 0; c < 65536; ++c) {
            if (c < 0xD800 || c > 0xDFFF)
                all.push_back(static_cast<UChar>(c));
        }
        std::vector<char> bytes(all.size() + 16);
        status = U_ZERO_ERROR;
        const int32_t length =
            ucnv_fromUChars(converter.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                            all.data(), static_cast<int32_t>(all.size()), &status);
        if (U_SUCCESS(status) && static_cast<std::size_t>(length) == all.size()) {
            for (std::size_t i = 0; i < all.size(); ++i)
                result[all[i]] = bytes[i];
            return result;
        }
        for (const UChar c : all) {
            char out[8];
            status = U_ZERO_ERROR;
            ucnv_reset(converter.get());
            const int32_t n = ucnv_fromUChars(converter.get(), out, 8, &c, 1, &status);
            if (U_SUCCESS(status) && n == 1)
                result[c] = out[0];
        }
        return result;
    }();
    return table;
}

bool isAscii8(const unsigned char *bytes)
{
    quint64 block;
    std::memcpy(&block, bytes, 8);
    return (block & 0x8080808080808080ULL) == 0;
}

void decodeWindows1252(const unsigned char *in, qsizetype n, char16_t *out)
{
    const std::array<char16_t, 256> &table = windows1252ToUnicode();
    qsizetype i = 0;
    while (i < n) {
        // Runs of ASCII widen without the table lookup.
        while (i + 8 <= n && isAscii8(in + i)) {
            for (int k = 0; k < 8; ++k)
                out[i + k] = in[i + k];
            i += 8;
        }
        const qsizetype stop = std::min(n, i + 8);
        for (; i < stop; ++i)
            out[i] = table[in[i]];
    }
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Well-formed UTF-8 as the Unicode Standard's table of byte sequences defines it. Decodes the
// whole characters of in[0, n) into out; a sequence cut short by the end of the piece is left
// for the next piece unless this is the last one. Kept instead of QStringDecoder: no slower on
// the corpus (bench_utf8), it decodes in pieces, and the strict rules stand here in one place.
StreamDecoder::Step decodeUtf8(const unsigned char *in, qsizetype n, char16_t *const begin,
                               bool last)
{
    char16_t *out = begin;
    qsizetype i = 0;
    const auto cutShort = [&](int length) { return i + length > n; };
    while (i < n) {
        // Eight ASCII bytes at a time.
        while (i + 8 <= n && isAscii8(in + i)) {
            for (int k = 0; k < 8; ++k)
                out[k] = in[i + k];
            out += 8;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char lead = in[i];
        if (lead < 0x80) {
            *out++ = lead;
            ++i;
            continue;
        }
        // The bytes present of a sequence must be valid even when the piece ends inside it.
        const unsigned char b1 = i + 1 < n ? in[i + 1] : 0x80;
        const unsigned char b2 = i + 2 < n ? in[i + 2] : 0x80;
        const unsigned char b3 = i + 3 < n ? in[i + 3] : 0x80;
        if (lead >= 0xC2 && lead <= 0xDF) {
            if (!isContinuation(b1))
                return {i, out - begin, true};
            if (cutShort(2))
                break;
            *out++ = static_cast<char16_t>(((lead & 0x1F) << 6) | (b1 & 0x3F));
            i += 2;
            continue;
        }
        if (lead >= 0xE0 && lead <= 0xEF) {
            const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
            if ((i + 1 < n && (b1 < low || b1 > high)) || !isContinuation(b2))
                return {i, out - begin, true};
            if (cutShort(3))
                break;
            *out++ =
                static_cast<char16_t>(((lead & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
            i += 3;
            continue;
        }
        if (lead >= 0xF0 && lead <= 0xF4) {
            const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
            if ((i + 1 < n && (b1 < low || b1 > high)) || !isContinuation(b2) ||
                !isContinuation(b3))
                return {i, out - begin, true};
            if (cutShort(4))
                break;
            const char32_t c = (static_cast<char32_t>(lead & 0x07) << 18) |
                               (static_cast<char32_t>(b1 & 0x3F) << 12) |
                               (static_cast<char32_t>(b2 & 0x3F) << 6) | (b3 & 0x3F);
            *out++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            i += 4;
            continue;
        }
        return {i, out - begin, true}; // a stray continuation byte, C0, C1 or F5..FF
    }
    // A sequence cut short at the very end of the file is malformed.
    return {i, out - begin, last && i < n};
}

QByteArray encodeUtf8(QStringView text)
{
    QByteArray bytes(Utf8Length(text), Qt::Uninitialized);
    PutUtf8(bytes.data(), text, LoneSurrogate::Replace);
    return bytes;
}

QByteArray encodeUtf16(QStringView text, bool bigEndian)
{
    if (text.isEmpty())
        return QByteArray();
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    if (bigEndian)
        qToBigEndian<quint16>(text.utf16(), text.size(), bytes.data());
    else
        qToLittleEndian<quint16>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

// A character outside the BMP, or an unpaired surrogate, has no Windows-1252 form: one "?" each.
QByteArray encodeWindows1252(QStringView text)
{
    const std::array<char, 65536> &table = unicodeToWindows1252();
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    QByteArray bytes(n, Qt::Uninitialized);
    char *const begin = bytes.data();
    char *out = begin;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(in[i + 1]))
            ++i;
        *out++ = table[c];
    }
    bytes.truncate(out - begin);
    return bytes;
}

} // namespace

DetectedEncoding DetectEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith(QByteArrayView(utf8Mark, 3)))
        return {TextEncoding::Utf8, 3};
    if (bytes.startsWith(QByteArrayView(utf16LEMark, 2)))
        return {TextEncoding::Utf16LE, 2};
    if (bytes.startsWith(QByteArrayView(utf16BEMark, 2)))
        return {TextEncoding::Utf16BE, 2};
    return {TextEncoding::SystemCodePage, 0};
}

QByteArray ByteOrderMark(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QByteArray(utf8Mark, 3);
    case TextEncoding::Utf16LE:
        return QByteArray(utf16LEMark, 2);
    case TextEncoding::Utf16BE:
        return QByteArray(utf16BEMark, 2);
    case TextEncoding::SystemCodePage:
        break;
    }
    return QByteArray();
}

StreamDecoder::Step StreamDecoder::decode(QByteArrayView bytes, char16_t *out, bool last)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    switch (m_encoding) {
    case TextEncoding::Utf8:
        return decodeUtf8(in, n, out, last);
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        // A last odd byte waits for its pair, and is ignored at the end of the file.
        const qsizetype units = n / 2;
        if (units > 0) {
            if (m_encoding == TextEncoding::Utf16BE)
                qFromBigEndian<quint16>(in, units, out);
            else
                qFromLittleEndian<quint16>(in, units, out);
        }
        return {last ? n : units * 2, units, false};
    }
    case TextEncoding::SystemCodePage:
        break;
    }
    decodeWindows1252(in, n, out);
    return {n, n, false};
}

QString DecodeText(QByteArrayView bytesAfterMark, TextEncoding encoding)
{
    StreamDecoder decoder(encoding);
    QString text(StreamDecoder::maxUnits(bytesAfterMark.size(), encoding), Qt::Uninitialized);
    if (text.isEmpty())
        return QString();
    const StreamDecoder::Step step =
        decoder.decode(bytesAfterMark, reinterpret_cast<char16_t *>(text.data()), true);
    if (step.malformed)
        return QString();
    text.truncate(step.units);
    return text;
}

QByteArray EncodeText(QStringView text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return encodeUtf8(text);
    case TextEncoding::Utf16LE:
        return encodeUtf16(text, false);
    case TextEncoding::Utf16BE:
        return encodeUtf16(text, true);
    case TextEncoding::SystemCodePage:
        break;
    }
    return encodeWindows1252(text);
}
