#pragma once

#include <string>

#include <QStringView>

// What becomes of a surrogate without its other half, which has no UTF-8 form.
enum class LoneSurrogate {
    Replace, // written as U+FFFD, the replacement character
    Refuse,  // nothing more is written and PutUtf8 answers null
};

// The length of the text in UTF-8, a lone surrogate counted as U+FFFD.
qsizetype Utf8Length(QStringView text);

// Writes the text in UTF-8 from `out` on, with room for Utf8Length(text) bytes, and returns the
// end of what it wrote; null when `policy` refuses a lone surrogate.
char *PutUtf8(char *out, QStringView text, LoneSurrogate policy);

// Appends one code point in UTF-8; a surrogate or a value past U+10FFFF becomes U+FFFD.
void AppendUtf8(char32_t c, std::string &out);

// The value of a hexadecimal digit, either case, or -1.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
