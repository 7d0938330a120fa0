#include "extract/list_search.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include <QChar>

#include "text/case_table.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// The code units that upper-case to something else, as (upper case, unit), ordered.
const std::vector<std::pair<char16_t, char16_t>> &loweredUnits()
{
    static const std::vector<std::pair<char16_t, char16_t>> units = [] {
        const CaseTable &table = UpperCaseTable();
        std::vector<std::pair<char16_t, char16_t>> v;
        for (char32_t c = 0; c < 0x10000; ++c) {
            if (table[c] != c)
                v.emplace_back(table[c], static_cast<char16_t>(c));
        }
        std::sort(v.begin(), v.end());
        return v;
    }();
    return units;
}

// Every code unit whose upper case is `upper`: the units that can stand where `upper` is sought.
std::vector<char16_t> unitsUpperCasedTo(const CaseTable &table, char16_t upper)
{
    std::vector<char16_t> units;
    if (table[upper] == upper)
        units.push_back(upper);
    const auto &lowered = loweredUnits();
    auto it =
        std::lower_bound(lowered.begin(), lowered.end(), std::pair<char16_t, char16_t>(upper, 0));
    for (; it != lowered.end() && it->first == upper; ++it)
        units.push_back(it->second);
    return units;
}
#endif

// Finds, in the buffer, the upper-cased `needle` at positions [from, last] in order; the first
// run lying wholly inside an entry from `first` on gives the entry. The spans' ends grow with
// their offsets, since they lie in the buffer in table order and never overlap.
class MatchScanner
{
public:
    MatchScanner(const TextTable &entries, const QString &needle, qsizetype first)
        : m_table(UpperCaseTable()), m_spans(entries.spans()),
          m_data(QStringView(entries.buffer()).utf16()), m_needle(QStringView(needle).utf16()),
          m_length(needle.size()), m_entry(first)
    {}

    // The first entry holding the needle, or -1.
    qsizetype find(qsizetype from, qsizetype end)
    {
        const qsizetype last = end - m_length; // the last start that leaves room for the needle
        qsizetype p = from;
#if defined(__SSE2__)
        if (findVector(p, last))
            return m_found;
#endif
        const char16_t head = m_needle[0];
        const char16_t tail = m_needle[m_length - 1];
        for (; p <= last; ++p) {
            if (m_table[m_data[p]] == head && m_table[m_data[p + m_length - 1]] == tail && check(p))
                return m_found;
        }
        return -1;
    }

private:
    // True when the needle occurs at p inside one entry; m_found is then that entry.
    bool check(qsizetype p)
    {
        for (qsizetype i = 1; i < m_length - 1; ++i) {
            if (m_table[m_data[p + i]] != m_needle[i])
                return false;
        }
        const auto begin = m_spans.begin() + m_entry;
        const auto it = std::partition_point(
            begin, m_spans.end(), [p](const TextSpan &s) { return s.offset + s.length <= p; });
        m_entry = it - m_spans.begin();
        if (it == m_spans.end() || it->offset > p || p + m_length > it->offset + it->length)
            return false;
        m_found = m_entry;
        return true;
    }

#if defined(__SSE2__)
    // A set of code units as up to four tests "unit | bits == value": a letter and its capital
    // often differ in one bit only, so they share one test.
    struct UnitSet
    {
        int count = 0;
        __m128i bits[4];
        __m128i values[4];

        bool build(std::vector<char16_t> units)
        {
            while (!units.empty()) {
                if (count == 4)
                    return false;
                const char16_t u = units.back();
                units.pop_back();
                char16_t bit = 0;
                for (auto it = units.begin(); it != units.end(); ++it) {
                    const char16_t x = static_cast<char16_t>(*it ^ u);
                    if ((x & (x - 1)) == 0) {
                        bit = x;
                        units.erase(it);
                        break;
                    }
                }
                bits[count] = _mm_set1_epi16(static_cast<short>(bit));
                values[count] = _mm_set1_epi16(static_cast<short>(u | bit));
                ++count;
            }
            return count > 0;
        }

        __m128i match(__m128i block) const
        {
            __m128i hits = _mm_cmpeq_epi16(_mm_or_si128(block, bits[0]), values[0]);
            for (int i = 1; i < count; ++i)
                hits = _mm_or_si128(hits, _mm_cmpeq_epi16(_mm_or_si128(block, bits[i]), values[i]));
            return hits;
        }
    };

    // Scans whole blocks from p, leaving p at the first start it did not examine.
    // Eight start positions at a time: a start is a candidate when both its first and its last
    // code unit upper-case to those of the needle, which rules out nearly all of them at once.
    bool findVector(qsizetype &p, qsizetype last)
    {
        UnitSet head;
        UnitSet tail;
        if (!head.build(unitsUpperCasedTo(m_table, m_needle[0])) ||
            !tail.build(unitsUpperCasedTo(m_table, m_needle[m_length - 1])))
            return false;
        for (; p + 7 <= last; p += 8) {
            const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_data + p));
            const __m128i final =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_data + p + m_length - 1));
            unsigned mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(head.match(first), tail.match(final))));
            while (mask != 0) {
                const int bit = __builtin_ctz(mask);
                if (check(p + bit / 2))
                    return true;
                mask &= ~(3u << bit);
            }
        }
        return false;
    }
#endif

    const CaseTable &m_table;
    const std::vector<TextSpan> &m_spans;
    const char16_t *m_data;
    const char16_t *m_needle;
    qsizetype m_length;
    qsizetype m_entry;
    qsizetype m_found = -1;
};

} // namespace

qsizetype FindFirstMatch(const TextTable &entries, QStringView text, qsizetype start)
{
    const qsizetype count = entries.size();
    start = std::max<qsizetype>(start, 0);
    if (text.isEmpty() || start >= count)
        return count;
    const QString needle = UpperCased(text);
    const std::vector<TextSpan> &spans = entries.spans();
    const qsizetype from = spans[static_cast<std::size_t>(start)].offset;
    const qsizetype end = spans.back().offset + spans.back().length;
    const qsizetype found = MatchScanner(entries, needle, start).find(from, end);
    return found >= 0 ? found : count;
}

qsizetype FindFirstWithPrefix(const TextTable &entries, QStringView prefix)
{
    if (prefix.isEmpty())
        return -1;
    const CaseTable &table = UpperCaseTable();
    const QString needle = UpperCased(prefix);
    const char16_t *want = QStringView(needle).utf16();
    const qsizetype length = needle.size();
    const char16_t *data = QStringView(entries.buffer()).utf16();
    const std::vector<TextSpan> &spans = entries.spans();
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const TextSpan &s = spans[i];
        if (s.length < length)
            continue;
        const char16_t *entry = data + s.offset;
        qsizetype k = 0;
        while (k < length && table[entry[k]] == want[k])
            ++k;
        if (k == length)
            return static_cast<qsizetype>(i);
    }
    return -1;
}
