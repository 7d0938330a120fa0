#pragma once

#include <vector>

#include <QtGlobal>

#include "text/text_table.h"

// The tokens of every entry, in order, that contain "@", each an exact copy of its token. When
// `entryOfEach` is given, it receives for every retained token the index of its entry.
TextTable ExtractAddresses(const TextTable &entries, std::vector<qsizetype> *entryOfEach = nullptr);

// How many threads the extract uses; every choice gives the same result. Automatic takes two
// for a large list on a machine with two cores or more.
enum class ExtractThreads { Automatic, One, Two };

// The same, written over the entries' own buffer when nothing else shares it: no second buffer
// is allocated and no fresh memory is touched. The result is the one the copying form gives.
// The threads are joined before it returns.
TextTable ExtractAddresses(TextTable &&entries, ExtractThreads threads = ExtractThreads::Automatic);
