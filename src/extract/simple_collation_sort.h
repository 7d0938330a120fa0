#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "extract/placed_entry.h"
#include "platform/big_memory.h"
#include "text/text_table.h"

class SimpleCollation;

// The entries the simple collation covers and the others, each in table order, with the primary
// weights the covered ones use.
struct Coverage
{
    UnsetVector<std::uint32_t> covered;
    std::vector<std::uint32_t> others;
    std::vector<std::uint8_t> seenPrimaries;
};

Coverage SplitByCoverage(const SimpleCollation &collation, const TextTable &entries);

// Writes to `result` the covered entries (in table order) in the collation's order: texts that
// compare equal keep together each identical text, in the order of their first entries. Both
// `result` and `scratch` hold as many elements as there are covered entries.
void SortBySimpleCollation(const SimpleCollation &collation, const TextTable &entries,
                           const Coverage &coverage, std::span<Placed> result,
                           std::span<Placed> scratch);
