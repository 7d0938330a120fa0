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

// Decodes a file's bytes after the mark piece by piece, giving the same text as DecodeText on
// the whole: the bytes of a character cut by the end of a piece are handed over again at the
// start of the next.
class StreamDecoder
{
public:
    struct Step
    {
        qsizetype bytes = 0;    // bytes consumed from the piece
        qsizetype units = 0;    // code units written
        bool malformed = false; // UTF-8 only: the whole text is empty
    };

    explicit StreamDecoder(TextEncoding encoding) : m_encoding(encoding) {}

    // Room the output needs for `bytes` bytes.
    static qsizetype maxUnits(qsizetype bytes, TextEncoding encoding)
    {
        return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE ? bytes / 2
                                                                                      : bytes;
    }

    // Decodes the whole characters of `bytes` into `out` (room for maxUnits(bytes.size())).
    // `last` says the file ends with this piece.
    Step decode(QByteArrayView bytes, char16_t *out, bool last);

private:
    TextEncoding m_encoding;
};

// Encodes text without the mark. Windows-1252 replaces a character it cannot hold by a close
// look-alike where the converter has one, otherwise by "?".
QByteArray EncodeText(QStringView text, TextEncoding encoding);
