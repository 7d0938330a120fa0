#include "text/utf8.h"

#include <QChar>

qsizetype Utf8Length(QStringView text)
{
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    qsizetype length = n;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        // A pair counts two for each half; anything else from U+0800 on counts three.
        length += (c >= 0x80) + (c >= 0x800 && !QChar::isSurrogate(c));
        if (QChar::isHighSurrogate(c) && !(i + 1 < n && QChar::isLowSurrogate(in[i + 1])))
            ++length;
        else if (QChar::isLowSurrogate(c) && !(i > 0 && QChar::isHighSurrogate(in[i - 1])))
            ++length;
    }
    return length;
}

char *PutUtf8(char *out, QStringView text, LoneSurrogate policy)
{
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = in[i];
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        if (QChar::isSurrogate(c)) {
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
                c = QChar::surrogateToUcs4(in[i], in[i + 1]);
                ++i;
                *out++ = static_cast<char>(0xF0 | (c >> 18));
                *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (c & 0x3F));
                continue;
            }
            if (policy == LoneSurrogate::Refuse)
                return nullptr;
            c = 0xFFFD;
        }
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

void AppendUtf8(char32_t c, std::string &out)
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
