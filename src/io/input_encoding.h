#pragma once

#include <string>

#include <QByteArrayView>
#include <QStringView>

// How the command-line program reads the bytes of a text it is given (--input-encoding).
// Auto: the byte-order mark when there is one, else UTF-8 where the bytes are valid UTF-8, else
// Windows-1252.
enum class InputEncoding { Auto, Cp1252, Utf8, Utf16LE, Utf16BE };

// The encoding a byte-order mark at the start of `head` tells, and the mark's length; `Auto`
// and 0 without a mark.
struct InputMark
{
    InputEncoding encoding = InputEncoding::Auto;
    int length = 0;
};
InputMark FindInputMark(QByteArrayView head);

// The byte order of a UTF-16 text that bears no mark, told by the head's zero bytes: text in
// a Latin script written in UTF-16 has a zero in every other byte, which text in UTF-8 or
// Windows-1252 never has. Auto when the head does not look like UTF-16.
InputEncoding GuessUnmarkedUtf16(QByteArrayView head);

// Appends the UTF-8 form of `bytes`, a whole piece of text (a line, a part: never a character
// cut in two) in `encoding`, to `out`. Auto keeps valid UTF-8 as it is and reads anything else
// as Windows-1252; Utf8 turns malformed sequences into U+FFFD; UTF-16 ignores a last odd byte
// and turns a lone surrogate into U+FFFD. The result is always valid UTF-8.
void AppendAsUtf8(QByteArrayView bytes, InputEncoding encoding, std::string &out);
