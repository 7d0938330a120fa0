#pragma once

#include <QString>
#include <QStringView>

#include "text/text_table.h"

// Index of the first entry at or after `start` that contains `text`, both upper-cased; an empty
// text matches nothing. Returns entries.size() when no entry matches.
qsizetype FindFirstMatch(const TextTable &entries, QStringView text, qsizetype start);

// Index of the first entry that begins with `prefix`, ignoring letter case the same way; -1 when
// none does or the prefix is empty.
qsizetype FindFirstWithPrefix(const TextTable &entries, QStringView prefix);
