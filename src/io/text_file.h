#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "extract/text_table.h"
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

// Reads a text file whole: the mark decides the encoding, the decoded text is cut into one entry
// per line. Raises FileOpenError as ReadWholeFile does.
TextFileContent ReadTextFile(const QString &path);

// The same for bytes already read (standard input): what ReadTextFile makes of a file's bytes.
TextFileContent DecodeTextFile(QByteArrayView bytes);

// The FileOpenError ReadWholeFile raises for `path` and the system error number.
FileOpenError OpenErrorFor(const QString &path, int errorNumber);

// Replaces the file at `path` with `mark` followed by `body`. The bytes go to a new file in the
// same folder that replaces the target only once it is complete, so a failed save leaves the
// previous file as it was; where the folder refuses new files the target is written directly.
// Raises FileCreateError "Impossible de créer le fichier "%s". %s" when the target cannot be
// created or written (a folder, a missing folder, a read-only file), and FileWriteError
// "Erreur d'écriture dans le flux" when the bytes cannot all be written.
void WriteWholeFile(const QString &path, QByteArrayView mark, QByteArrayView body);
