#pragma once

#include <array>

#include <QString>
#include <QStringView>

// One entry per UTF-16 code unit.
using CaseTable = std::array<char16_t, 0x10000>;

// The simple upper-case mapping of every UTF-16 code unit; surrogates, and the rare letters whose
// capital lies outside the Basic Multilingual Plane, map to themselves.
const CaseTable &UpperCaseTable();

// A copy of the text in which every code unit is replaced by its simple upper-case mapping;
// the length never changes (a letter without a one-letter capital, such as ß, stays).
QString UpperCased(QStringView text);
