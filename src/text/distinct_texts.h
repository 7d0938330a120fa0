#pragma once

#include <cstdint>
#include <vector>

#include "text/text_table.h"

// The distinct texts of a set of entries: the first entry of each and, for each entry of the
// set, the number of its text.
struct DistinctTexts
{
    std::vector<std::uint32_t> firstEntry;
    std::vector<std::uint32_t> ofEntry;
};

// When two texts are the same one.
enum class TextIdentity {
    Exact,        // all their code units are equal
    IgnoringCase, // they are equal once upper-cased through UpperCaseTable
};

// The distinct texts among the entries of `set` (indexes into `entries`), numbered in the order
// of their first entries in the set.
DistinctTexts FindDistinctTexts(const TextTable &entries, const std::vector<std::uint32_t> &set,
                                TextIdentity identity);
