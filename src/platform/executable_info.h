#pragma once

#include <optional>

#include <QString>

// Facts about the running executable. Production reads them from the process; tests replace
// them so nothing is ever read or written beside the test binaries.
struct ExecutableFacts
{
    QString filePath;                         // absolute path of the executable
    std::optional<quint32> versionMajorMinor; // major << 16 | minor; none: no version record
    QString dateSeparator; // from the regional short date format, as read at start
};

const ExecutableFacts &executableFacts();
void setExecutableFacts(const ExecutableFacts &facts);

// The executable's path without its extension: the part from the last "." of its file name on,
// unless that "." begins the file name.
QString ExecutablePathWithoutExtension();

// The executable's file name without its extension.
QString ExecutableBaseName();

// The caption of every message box: the executable's file name cut before its first ".", every
// character after the first lower-cased; only the first 255 characters of the path count.
QString ApplicationTitle();

// The date separator of a short date format such as "dd/MM/yyyy": the text between its first two
// fields when it is one character or none, "/" when it is longer.
QString DateSeparatorOf(const QString &shortDateFormat);

// The facts of this process: its path, the product version compiled in, and the separator of
// the locale's short date format ("/" when it has none it can name as one character).
ExecutableFacts readProcessExecutableFacts();
