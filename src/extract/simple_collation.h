#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include <QStringView>

struct UCollator;

// The collator's order for texts whose every character weighs exactly one primary weight and
// takes part in no contraction: Latin, Greek and Cyrillic letters with or without their accents,
// digits and punctuation, the whole of almost every address. For such texts the collator compares
// the sequences of primary weights first, then, when those are equal, the sequences of secondary
// weights (the accents); letter case is not compared. The weights are read from the collator once
// and the table is checked against it on a sample of texts before it is used.
class SimpleCollation
{
public:
    // Null when the collator's settings go beyond what the table can follow (a reordering, a case
    // level), or when the check against the collator finds a difference.
    static std::unique_ptr<SimpleCollation> For(const UCollator *collator);

    // The rank of the character's primary weight, from 1 up in the collator's order; 0 for a
    // character the table does not cover.
    std::uint16_t primary(char16_t c) const { return c < covered ? m_primary[c] : 0; }
    std::uint16_t primaryCount() const { return m_primaryCount; }
    bool covers(QStringView text) const;

    // Negative, zero or positive as `a` sorts before, with or after `b`. Both must be covered.
    int compare(QStringView a, QStringView b) const;
    // The same for two covered texts whose primary weights are equal: their accents decide.
    int compareSecondary(QStringView a, QStringView b) const;

private:
    // Characters from U+0000 up to this one are looked at: the alphabets and punctuation.
    static constexpr char16_t covered = 0x3000;
    // Up to four secondary ranks per character, the first in the highest bits, 0 for none.
    using Secondaries = std::uint64_t;

    SimpleCollation() = default;
    bool agreesWith(const UCollator *collator) const;

    std::vector<std::uint16_t> m_primary = std::vector<std::uint16_t>(covered, 0);
    std::vector<Secondaries> m_secondaries = std::vector<Secondaries>(covered, 0);
    std::uint16_t m_primaryCount = 0;
    // French accents compare from the end of the text.
    bool m_backwardSecondary = false;
};
