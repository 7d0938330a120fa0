#pragma once

#include <vector>

#include <QtGlobal>

#include "extract/text_table.h"

// The tokens of every entry, in order, that contain "@", each an exact copy of its token. When
// `entryOfEach` is given, it receives for every retained token the index of its entry.
TextTable ExtractAddresses(const TextTable &entries, std::vector<qsizetype> *entryOfEach = nullptr);
