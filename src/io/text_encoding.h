#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

enum class TextEncoding { SystemCodePage, Utf8, Utf16LE, Utf16BE };

struct DetectedEncoding
{
    TextEncoding encoding = TextEncoding::SystemCodePage;
    int markLength = 0;
};

// The encoding is told by the byte-order mark alone: EF BB BF, FF FE, FE FF, else the system
// code page (Windows-1252 here).
DetectedEncoding DetectEncoding(QByteArrayView bytes);

// The byte-order mark written for an encoding (empty for the system code page).
QByteArray ByteOrderMark(TextEncoding encoding);

// Decodes the bytes that follow the mark. Windows-1252 never rejects a byte; UTF-8 is strict
// (any malformed sequence anywhere gives the empty text); UTF-16 ignores a last odd byte and
// keeps unpaired surrogates.
QString DecodeText(QByteArrayView bytesAfterMark, TextEncoding encoding);

// Encodes text without the mark. Windows-1252 replaces a character it cannot hold by a close
// look-alike where the converter has one, otherwise by "?".
QByteArray EncodeText(QStringView text, TextEncoding encoding);
