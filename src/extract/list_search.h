#pragma once

#include <array>

#include <QString>
#include <QStringView>

#include "extract/text_table.h"

// The simple upper-case mapping of every UTF-16 code unit; surrogates, and the rare letters whose
// capital lies outside the Basic Multilingual Plane, map to themselves.
const std::array<char16_t, 0x10000> &UpperCaseTable();

// A copy of the text in which every code unit is replaced by its simple upper-case mapping;
// the length never changes (a letter without a one-letter capital, such as ß, stays).
QString UpperCased(QStringView text);

// Index of the first entry at or after `start` that contains `text`, both upper-cased; an empty
// text matches nothing. Returns entries.size() when no entry matches.
qsizetype FindFirstMatch(const TextTable &entries, QStringView text, qsizetype start);

// Index of the first entry that begins with `prefix`, ignoring letter case the same way; -1 when
// none does or the prefix is empty.
qsizetype FindFirstWithPrefix(const TextTable &entries, QStringView prefix);
