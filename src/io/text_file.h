#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "text/text_table.h"
#include "io/text_encoding.h"
#include "errors/app_error.h"

// Reads a whole file in one piece, opened for reading only. Raises FileOpenError
// "Impossible d'ouvrir le fichier "%s". %s" with the absolute path and the French description of
// the failure (also for folders and for files of 2 GiB or more).
QByteArray ReadWholeFile(const QString &path);

// A text file's lines and the encoding its byte-order mark told.
struct TextFileContent
{
    TextTable lines;
    TextEncoding encoding = TextEncoding::SystemCodePage;
};

// How ReadTextFile goes through the file; every way gives the same content. Automatic reads a
// large file in the code page or in UTF-16 as two halves on two cores, and anything else in one
// pass.
enum class ReadingMode { Automatic, OnePass, TwoHalves };

// Reads a text file whole: the mark decides the encoding, the decoded text is cut into one entry
// per line; the text ends at its first U+0000. Raises FileOpenError as ReadWholeFile does, also
// for anything but a regular file (a pipe, a device, a socket).
TextFileContent ReadTextFile(const QString &path, ReadingMode mode = ReadingMode::Automatic);

// The same for bytes already read (standard input): what ReadTextFile makes of a file's bytes.
TextFileContent DecodeTextFile(QByteArrayView bytes);

// The FileOpenError ReadWholeFile raises for `path` and the system error number.
FileOpenError OpenErrorFor(const QString &path, int errorNumber);

// Replaces the file at `path` with `mark` followed by `body`, through WriteFileSafely: at every
// instant the target is the old file or the new one, complete, except where the folder refuses
// new files and the target is rewritten in place. Raises FileCreateError "Impossible de créer le
// fichier "%s". %s" when the target cannot be created or replaced (a folder, a pipe or device, a
// missing folder, a read-only file, no room for the new file), the old file staying as it was,
// and FileWriteError "Erreur d'écriture dans le flux" when the bytes cannot all be written.
void WriteWholeFile(const QString &path, QByteArrayView mark, QByteArrayView body);
