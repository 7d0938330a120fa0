#include "io/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include <QtEndian>

#include <unicode/ucnv.h>

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

QString decodeWindows1252(QByteArrayView bytes)
{
    const std::array<char16_t, 256> &table = windows1252ToUnicode();
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
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
    return text;
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Well-formed UTF-8 as the Unicode Standard's table of byte sequences defines it; anything else
// makes the whole text empty. Kept instead of QStringDecoder: no slower on the corpus
// (bench_utf8), and the strict rules the product relies on stand here in one place.
QString decodeUtf8(QByteArrayView bytes)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    QString text(n, Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = begin;
    qsizetype i = 0;
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
        if (lead >= 0xC2 && lead <= 0xDF) {
            if (i + 1 >= n || !isContinuation(in[i + 1]))
                return QString();
            *out++ = static_cast<char16_t>(((lead & 0x1F) << 6) | (in[i + 1] & 0x3F));
            i += 2;
            continue;
        }
        if (lead >= 0xE0 && lead <= 0xEF) {
            if (i + 2 >= n)
                return QString();
            const unsigned char b1 = in[i + 1];
            const unsigned char b2 = in[i + 2];
            const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
            if (b1 < low || b1 > high || !isContinuation(b2))
                return QString();
            *out++ =
                static_cast<char16_t>(((lead & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
            i += 3;
            continue;
        }
        if (lead >= 0xF0 && lead <= 0xF4) {
            if (i + 3 >= n)
                return QString();
            const unsigned char b1 = in[i + 1];
            const unsigned char b2 = in[i + 2];
            const unsigned char b3 = in[i + 3];
            const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
            if (b1 < low || b1 > high || !isContinuation(b2) || !isContinuation(b3))
                return QString();
            const char32_t c = (static_cast<char32_t>(lead & 0x07) << 18) |
                               (static_cast<char32_t>(b1 & 0x3F) << 12) |
                               (static_cast<char32_t>(b2 & 0x3F) << 6) | (b3 & 0x3F);
            *out++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            i += 4;
            continue;
        }
        return QString(); // a stray continuation byte, C0, C1 or F5..FF
    }
    text.truncate(out - begin);
    return text;
}

QString decodeUtf16(QByteArrayView bytes, bool bigEndian)
{
    const qsizetype units = bytes.size() / 2;
    if (units == 0)
        return QString();
    QString text(units, Qt::Uninitialized);
    if (bigEndian)
        qFromBigEndian<quint16>(bytes.data(), units, text.data());
    else
        qFromLittleEndian<quint16>(bytes.data(), units, text.data());
    return text;
}

bool isHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// An unpaired surrogate has no UTF-8 form; it becomes U+FFFD, the replacement character.
QByteArray encodeUtf8(QStringView text)
{
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    qsizetype length = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c < 0x80)
            length += 1;
        else if (c < 0x800)
            length += 2;
        else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(in[i + 1])) {
            length += 4;
            ++i;
        } else
            length += 3;
    }
    QByteArray bytes(length, Qt::Uninitialized);
    auto *out = reinterpret_cast<unsigned char *>(bytes.data());
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = in[i];
        if (c < 0x80) {
            *out++ = static_cast<unsigned char>(c);
            continue;
        }
        if (c < 0x800) {
            *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
            continue;
        }
        if (isHighSurrogate(in[i]) && i + 1 < n && isLowSurrogate(in[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00u);
            ++i;
            *out++ = static_cast<unsigned char>(0xF0 | (c >> 18));
            *out++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
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
        if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(in[i + 1]))
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

QString DecodeText(QByteArrayView bytesAfterMark, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return decodeUtf8(bytesAfterMark);
    case TextEncoding::Utf16LE:
        return decodeUtf16(bytesAfterMark, false);
    case TextEncoding::Utf16BE:
        return decodeUtf16(bytesAfterMark, true);
    case TextEncoding::SystemCodePage:
        break;
    }
    return decodeWindows1252(bytesAfterMark);
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
