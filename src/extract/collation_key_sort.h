#pragma once

#include <cstdint>
#include <vector>

#include "extract/placed_entry.h"
#include "text/text_table.h"

struct UCollator;

// The entries of `set` (in table order) sorted by the collator's keys: one key is made per
// distinct text, on both cores, the distinct texts are ranked by key, then the entries are
// placed by the rank of their text.
std::vector<Placed> SortByCollationKeys(const UCollator *collator, const TextTable &entries,
                                        const std::vector<std::uint32_t> &set);
