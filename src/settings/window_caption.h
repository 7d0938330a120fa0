#pragma once

#include <QString>

// "%s %s | Quorvel ***{:- %s | %s": upper-cased base name, version, text, executable date.
QString BuildCaption(const QString &text, const QString &datePattern);

// "major.minor" of the executable's version; "65535.65535" without a version record.
QString VersionText();

// The executable's modification date in local time by a pattern of "dd", "mm", "yyyy" and "/"
// (the regional date separator); the empty text when the date cannot be read.
QString ExecutableDateText(const QString &datePattern);

// Upper-cases the 26 letters a to z only.
QString UpperCaseAsciiLetters(const QString &text);
