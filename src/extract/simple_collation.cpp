#include "extract/simple_collation.h"

#include <algorithm>
#include <random>
#include <utility>

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>

namespace {

struct Weights
{
    std::uint32_t primary = 0;
    std::uint32_t secondary = 0;
};

// The weights of one character alone, in order. The iterator hands each weight over as one or
// two 32-bit halves; a second half is marked by its two low tertiary bits both set.
std::vector<Weights> weightsOf(UCollationElements *elements, char16_t c)
{
    std::vector<Weights> weights;
    UErrorCode status = U_ZERO_ERROR;
    ucol_setText(elements, reinterpret_cast<const UChar *>(&c), 1, &status);
    std::vector<std::uint32_t> halves;
    for (;;) {
        const std::int32_t half = ucol_next(elements, &status);
        if (U_FAILURE(status))
            return {};
        if (half == UCOL_NULLORDER)
            break;
        halves.push_back(static_cast<std::uint32_t>(half));
    }
    const auto isSecondHalf = [](std::uint32_t half) { return (half & 0xc0) == 0xc0; };
    for (std::size_t i = 0; i < halves.size(); ++i) {
        const std::uint32_t first = halves[i];
        std::uint32_t second = 0;
        if (i + 1 < halves.size() && isSecondHalf(halves[i + 1]))
            second = halves[++i];
        weights.push_back(
            {(first & 0xffff0000u) | (second >> 16), (first & 0xff00u) | ((second >> 8) & 0xffu)});
    }
    return weights;
}

bool settingsAreSimple(const UCollator *collator)
{
    UErrorCode status = U_ZERO_ERROR;
    const bool simple =
        ucol_getAttribute(collator, UCOL_STRENGTH, &status) == UCOL_SECONDARY &&
        ucol_getAttribute(collator, UCOL_CASE_LEVEL, &status) == UCOL_OFF &&
        ucol_getAttribute(collator, UCOL_NUMERIC_COLLATION, &status) == UCOL_OFF &&
        ucol_getAttribute(collator, UCOL_ALTERNATE_HANDLING, &status) == UCOL_NON_IGNORABLE;
    const std::int32_t reorderings = ucol_getReorderCodes(collator, nullptr, 0, &status);
    return simple && reorderings == 0 && (U_SUCCESS(status) || status == U_BUFFER_OVERFLOW_ERROR);
}

// Removes from `covered` a character of every contraction (or context) made only of covered
// characters: such a text would weigh differently from its characters one by one.
void dropContractions(const UCollator *collator, std::vector<bool> &covered)
{
    UErrorCode status = U_ZERO_ERROR;
    USet *contractions = uset_openEmpty();
    ucol_getContractionsAndExpansions(collator, contractions, nullptr, true, &status);
    if (U_FAILURE(status)) {
        std::fill(covered.begin(), covered.end(), false);
        uset_close(contractions);
        return;
    }
    const std::int32_t items = uset_getItemCount(contractions);
    std::vector<UChar> text(64);
    for (std::int32_t k = 0; k < items; ++k) {
        UChar32 start = 0;
        UChar32 end = 0;
        status = U_ZERO_ERROR;
        std::int32_t length = uset_getItem(contractions, k, &start, &end, text.data(),
                                           static_cast<std::int32_t>(text.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            text.resize(static_cast<std::size_t>(length));
            status = U_ZERO_ERROR;
            length = uset_getItem(contractions, k, &start, &end, text.data(),
                                  static_cast<std::int32_t>(text.size()), &status);
        }
        if (U_FAILURE(status) || length == 0)
            continue; // a range of single characters: no contraction
        const auto begin = text.begin();
        const auto stop = begin + length;
        const bool allCovered =
            std::all_of(begin, stop, [&](UChar c) { return c < covered.size() && covered[c]; });
        // Without one of its characters the contraction never applies: the highest goes, which
        // spares the common letter in the usual letter-and-sign pairs.
        if (allCovered)
            covered[*std::max_element(begin, stop)] = false;
    }
    uset_close(contractions);
}

} // namespace

std::unique_ptr<SimpleCollation> SimpleCollation::For(const UCollator *collator)
{
    if (!collator || !settingsAreSimple(collator))
        return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    UCollationElements *elements = ucol_openElements(collator, nullptr, 0, &status);
    if (U_FAILURE(status))
        return nullptr;

    // A character is covered when it weighs one primary weight and at most four secondary ones,
    // is no surrogate, and no neighbour can be reordered with it by normalisation.
    std::vector<std::vector<Weights>> weights(covered);
    std::vector<bool> isCovered(covered, false);
    for (char16_t c = 1; c < covered; ++c) {
        if (QChar::isSurrogate(c) || (c >= 0x1100 && c < 0x1200) || // surrogates, Hangul jamo
            u_getIntPropertyValue(c, UCHAR_LEAD_CANONICAL_COMBINING_CLASS) != 0)
            continue;
        std::vector<Weights> w = weightsOf(elements, c);
        const auto primaries =
            std::count_if(w.begin(), w.end(), [](const Weights &x) { return x.primary != 0; });
        const auto secondaries =
            std::count_if(w.begin(), w.end(), [](const Weights &x) { return x.secondary != 0; });
        if (primaries != 1 || w.front().primary == 0 || secondaries > 4)
            continue;
        weights[c] = std::move(w);
        isCovered[c] = true;
    }
    ucol_closeElements(elements);
    dropContractions(collator, isCovered);

    // Ranks in place of weights: 1 for the lowest.
    std::vector<std::uint32_t> primaries;
    std::vector<std::uint32_t> secondaries;
    for (char16_t c = 1; c < covered; ++c) {
        if (!isCovered[c])
            continue;
        for (const Weights &w : weights[c]) {
            if (w.primary != 0)
                primaries.push_back(w.primary);
            if (w.secondary != 0)
                secondaries.push_back(w.secondary);
        }
    }
    const auto distinctSorted = [](std::vector<std::uint32_t> &v) {
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
    };
    distinctSorted(primaries);
    distinctSorted(secondaries);
    if (primaries.size() >= 0xffff || secondaries.size() >= 0xffff)
        return nullptr;
    const auto rankOf = [](const std::vector<std::uint32_t> &v, std::uint32_t weight) {
        return static_cast<std::uint16_t>(std::lower_bound(v.begin(), v.end(), weight) - v.begin() +
                                          1);
    };

    std::unique_ptr<SimpleCollation> table(new SimpleCollation);
    table->m_primaryCount = static_cast<std::uint16_t>(primaries.size());
    table->m_backwardSecondary =
        ucol_getAttribute(collator, UCOL_FRENCH_COLLATION, &status) == UCOL_ON;
    for (char16_t c = 1; c < covered; ++c) {
        if (!isCovered[c])
            continue;
        Secondaries packed = 0;
        int shift = 48;
        for (const Weights &w : weights[c]) {
            if (w.primary != 0)
                table->m_primary[c] = rankOf(primaries, w.primary);
            if (w.secondary != 0) {
                packed |= Secondaries{rankOf(secondaries, w.secondary)} << shift;
                shift -= 16;
            }
        }
        table->m_secondaries[c] = packed;
    }
    if (U_FAILURE(status) || !table->agreesWith(collator))
        return nullptr;
    return table;
}

bool SimpleCollation::covers(QStringView text) const
{
    for (const QChar c : text) {
        if (primary(c.unicode()) == 0)
            return false;
    }
    return true;
}

int SimpleCollation::compare(QStringView a, QStringView b) const
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const std::uint16_t pa = primary(a[i].unicode());
        const std::uint16_t pb = primary(b[i].unicode());
        if (pa != pb)
            return pa < pb ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return compareSecondary(a, b);
}

namespace {

// The secondary ranks of a text one after another, from its start or from its end; 0 after
// the last.
class SecondaryStream
{
public:
    SecondaryStream(const std::vector<std::uint64_t> &table, QStringView text, bool backward)
        : m_table(table), m_text(text), m_backward(backward), m_next(backward ? text.size() - 1 : 0)
    {}

    std::uint16_t next()
    {
        while (m_pending == 0) {
            if (m_next < 0 || m_next >= m_text.size())
                return 0;
            const std::uint64_t packed = m_table[m_text[m_next].unicode()];
            m_pending = m_backward ? reversed(packed) : packed;
            m_next += m_backward ? -1 : 1;
        }
        const auto rank = static_cast<std::uint16_t>(m_pending >> 48);
        m_pending <<= 16;
        return rank;
    }

private:
    // The same ranks, the last first.
    static std::uint64_t reversed(std::uint64_t packed)
    {
        std::uint64_t out = 0;
        int shift = 48;
        for (int slot = 0; slot < 4; ++slot) {
            const std::uint64_t rank = (packed >> (16 * slot)) & 0xffff;
            if (rank == 0)
                continue;
            out |= rank << shift;
            shift -= 16;
        }
        return out;
    }

    const std::vector<std::uint64_t> &m_table;
    QStringView m_text;
    bool m_backward;
    qsizetype m_next;
    std::uint64_t m_pending = 0;
};

} // namespace

int SimpleCollation::compareSecondary(QStringView a, QStringView b) const
{
    if (a == b)
        return 0;
    SecondaryStream sa(m_secondaries, a, m_backwardSecondary);
    SecondaryStream sb(m_secondaries, b, m_backwardSecondary);
    for (;;) {
        const std::uint16_t wa = sa.next();
        const std::uint16_t wb = sb.next();
        if (wa != wb)
            return wa < wb ? -1 : 1;
        if (wa == 0)
            return 0;
    }
}

// Random short texts over groups of characters that share a primary weight, with punctuation and
// digits between them, ordered by the table and then compared neighbour by neighbour by the
// collator: both orders are total, so agreeing on every neighbour means agreeing on the sample.
// A few hundred pairs from far apart are compared too.
bool SimpleCollation::agreesWith(const UCollator *collator) const
{
    std::vector<std::vector<char16_t>> byPrimary(m_primaryCount + 1u);
    for (char16_t c = 1; c < covered; ++c) {
        if (m_primary[c] != 0 &&
            (c < 0x250 || (c >= 0x370 && c < 0x530) || (c >= 0x2010 && c < 0x2030)))
            byPrimary[m_primary[c]].push_back(c);
    }
    std::erase_if(byPrimary, [](const std::vector<char16_t> &group) { return group.empty(); });
    if (byPrimary.empty())
        return false;
    std::mt19937 random(2026);
    const auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::vector<std::u16string> sample;
    for (int batch = 0; batch < 40; ++batch) {
        // A few letters, each with every character that weighs the same.
        std::u16string alphabet;
        for (int k = 0; k < 4; ++k) {
            const std::vector<char16_t> &group = byPrimary[below(byPrimary.size())];
            alphabet.append(group.begin(), group.end());
        }
        for (int i = 0; i < 100; ++i) {
            std::u16string text;
            const std::size_t length = below(6);
            for (std::size_t k = 0; k < length; ++k)
                text.push_back(alphabet[below(alphabet.size())]);
            sample.push_back(std::move(text));
        }
    }
    std::sort(sample.begin(), sample.end(),
              [&](const std::u16string &a, const std::u16string &b) { return compare(a, b) < 0; });
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    const auto agree = [&](const std::u16string &a, const std::u16string &b) {
        const UCollationResult icu = ucol_strcoll(
            collator, reinterpret_cast<const UChar *>(a.data()),
            static_cast<std::int32_t>(a.size()), reinterpret_cast<const UChar *>(b.data()),
            static_cast<std::int32_t>(b.size()));
        return sign(compare(a, b)) == sign(static_cast<int>(icu));
    };
    for (std::size_t i = 1; i < sample.size(); ++i) {
        if (!agree(sample[i - 1], sample[i]))
            return false;
    }
    for (int k = 0; k < 500; ++k) {
        if (!agree(sample[below(sample.size())], sample[below(sample.size())]))
            return false;
    }
    return true;
}
