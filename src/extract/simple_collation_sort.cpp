#include "extract/simple_collation_sort.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "extract/simple_collation.h"
#include "platform/big_memory.h"
#include "platform/parallel.h"

namespace {

bool byWordThenEntry(const Placed &a, const Placed &b)
{
    return a.word != b.word ? a.word < b.word : a.entry < b.entry;
}

// Runs of equal texts among [first, last), which hold the same text up to letter case, each
// gathered in the order of its first entry.
void gatherIdentical(const TextTable &entries, Placed *first, Placed *last)
{
    std::sort(first, last, [&](const Placed &a, const Placed &b) {
        const int byText = entries.at(a.entry).compare(entries.at(b.entry));
        return byText != 0 ? byText < 0 : a.entry < b.entry;
    });
    for (Placed *run = first; run != last;) {
        Placed *end = run + 1;
        while (end != last && entries.at(end->entry) == entries.at(run->entry))
            ++end;
        for (Placed *p = run; p != end; ++p)
            p->first = run->entry;
        run = end;
    }
    std::sort(first, last, [](const Placed &a, const Placed &b) {
        return a.first != b.first ? a.first < b.first : a.entry < b.entry;
    });
}

// Sorts the texts the simple collation covers: the ranks of their characters' primary weights
// are packed, as few bits each as the texts need, into 64-bit words that are compared whole;
// runs of equal words go on with the next word of their texts, and texts of equal weights all
// through are told apart by their accents.
class SimpleSort
{
public:
    SimpleSort(const SimpleCollation &collation, const TextTable &entries,
               const std::vector<std::uint8_t> &seenPrimaries)
        : m_collation(collation), m_entries(entries), m_rank(0x3000, 0)
    {
        std::vector<std::uint16_t> dense(seenPrimaries.size(), 0);
        std::uint16_t count = 0;
        for (std::size_t p = 1; p < seenPrimaries.size(); ++p) {
            if (seenPrimaries[p])
                dense[p] = ++count;
        }
        m_bits = std::max(1, static_cast<int>(std::bit_width(count)));
        m_perWord = 64 / m_bits;
        m_lastMask = (std::uint64_t{1} << m_bits) - 1;
        for (char16_t c = 0; c < m_rank.size(); ++c)
            m_rank[c] = dense[collation.primary(c)];
    }

    void sort(const UnsetVector<std::uint32_t> &covered, std::span<Placed> spare,
              std::span<Placed> placed) const
    {
        const std::size_t n = covered.size();
        // The words are cut at a sampled middle word: the lower ones go to the first part, which
        // this core sorts, the others to the second part, for the other core.
        std::vector<std::uint64_t> sample;
        for (std::size_t k = 0; k < 255; ++k)
            sample.push_back(wordAt(covered[k * n / 255], 0));
        std::nth_element(sample.begin(), sample.begin() + 127, sample.end());
        const std::uint64_t middle = sample[127];
        std::size_t lowCount[2] = {0, 0};
        RunOnTwoCores([&](int part) {
            std::size_t lowsHere = 0;
            for (std::size_t i = PartStart(n, part); i < PartEnd(n, part); ++i) {
                placed[i] = {wordAt(covered[i], 0), covered[i], 0};
                lowsHere += placed[i].word < middle ? 1 : 0;
            }
            lowCount[part] = lowsHere;
        });
        const std::size_t lows = lowCount[0] + lowCount[1];
        // Each core moves its entries to their part, in table order.
        RunOnTwoCores([&](int part) {
            std::size_t low = part == 0 ? 0 : lowCount[0];
            std::size_t high = lows + (part == 0 ? 0 : (n / 2 - lowCount[0]));
            for (std::size_t i = PartStart(n, part); i < PartEnd(n, part); ++i)
                spare[placed[i].word < middle ? low++ : high++] = placed[i];
        });
        Placed *parts[3] = {spare.data(), spare.data() + lows, spare.data() + n};
        RunOnTwoCores([&](int part) {
            Placed *first = parts[part];
            Placed *last = parts[part + 1];
            Placed *scratch = placed.data() + (first - spare.data());
            if (radixSort(first, scratch, static_cast<std::size_t>(last - first)))
                std::copy(scratch, scratch + (last - first), first);
        });
        RunOnTwoCores([&](int part) { refine(parts[part], parts[part + 1]); });
    }

private:
    // Sorts [data, data + n), in table order, by word: each pass a stable distribution on eleven
    // bits of the word, from the lowest to the highest, leaving out the passes where all entries
    // share those bits. True when the result is left in `scratch` rather than in `data`.
    bool radixSort(Placed *data, Placed *scratch, std::size_t n) const
    {
        constexpr int digitBits = 11;
        constexpr std::size_t radix = std::size_t{1} << digitBits;
        const int keyBits = m_bits * m_perWord;
        const int passes = (keyBits + digitBits - 1) / digitBits;
        std::vector<std::size_t> counts(static_cast<std::size_t>(passes) * radix, 0);
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t word = data[i].word;
            for (int pass = 0; pass < passes; ++pass, word >>= digitBits)
                ++counts[static_cast<std::size_t>(pass) * radix + (word & (radix - 1))];
        }
        bool inScratch = false;
        for (int pass = 0; pass < passes; ++pass) {
            std::size_t *count = counts.data() + static_cast<std::size_t>(pass) * radix;
            if (std::find(count, count + radix, n) != count + radix)
                continue; // every entry has the same digit here
            std::size_t at = 0;
            for (std::size_t d = 0; d < radix; ++d)
                at += std::exchange(count[d], at);
            const Placed *from = inScratch ? scratch : data;
            Placed *to = inScratch ? data : scratch;
            const int shift = pass * digitBits;
            for (std::size_t i = 0; i < n; ++i)
                to[count[(from[i].word >> shift) & (radix - 1)]++] = from[i];
            inScratch = !inScratch;
        }
        return inScratch;
    }

    // Sorts a run, in table order, by word: a long one by distribution, a short one by
    // comparison.
    void sortRun(Placed *first, Placed *last, std::vector<Placed> &scratch) const
    {
        const auto n = static_cast<std::size_t>(last - first);
        if (n < 1024) {
            std::sort(first, last, byWordThenEntry);
            return;
        }
        if (scratch.size() < n)
            scratch.resize(n);
        if (radixSort(first, scratch.data(), n))
            std::copy(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(n), first);
    }

    // The ranks of the characters [depth × perWord, (depth + 1) × perWord) of the entry's text,
    // the first in the highest bits, 0 past its end.
    std::uint64_t wordAt(std::uint32_t entry, std::size_t depth) const
    {
        const QStringView text = m_entries.at(entry);
        const auto from = static_cast<qsizetype>(depth) * m_perWord;
        std::uint64_t word = 0;
        for (int k = 0; k < m_perWord; ++k) {
            const qsizetype i = from + k;
            word = (word << m_bits) | (i < text.size() ? m_rank[text[i].unicode()] : 0u);
        }
        return word;
    }

    bool endsIn(std::uint64_t word) const { return (word & m_lastMask) == 0; }

    struct Run
    {
        Placed *first;
        Placed *last;
    };

    // Goes through the entries of a list of runs in order.
    class RunCursor
    {
    public:
        explicit RunCursor(const std::vector<Run> &runs) : m_runs(runs)
        {
            if (!runs.empty())
                m_at = runs.front().first;
        }
        // The entry under the cursor; null after the last run.
        const Placed *get() const { return m_run < m_runs.size() ? m_at : nullptr; }
        void next()
        {
            if (++m_at == m_runs[m_run].last && ++m_run < m_runs.size())
                m_at = m_runs[m_run].first;
        }

    private:
        const std::vector<Run> &m_runs;
        std::size_t m_run = 0;
        const Placed *m_at = nullptr;
    };

    // [begin, end) in order of their first words: each run of equal words is sorted by the rest
    // of its texts, one word deeper at each round. A round goes through its runs in memory order
    // and asks for the spans and the texts of the entries a little ahead of the one it reads, so
    // that many of those scattered reads are under way at once.
    void refine(Placed *begin, Placed *end) const
    {
        std::vector<Run> runs;
        if (begin == end)
            return;
        settle(begin, end, runs);
        const std::vector<TextSpan> &spans = m_entries.spans();
        const QChar *buffer = m_entries.buffer().constData();
        std::vector<Placed> scratch;
        for (std::size_t depth = 1; !runs.empty(); ++depth) {
            const auto from = static_cast<qsizetype>(depth) * m_perWord;
            RunCursor spanAhead(runs);
            RunCursor textAhead(runs);
            const auto fetchSpan = [&] {
                if (const Placed *p = spanAhead.get()) {
                    __builtin_prefetch(&spans[p->entry]);
                    spanAhead.next();
                }
            };
            const auto fetchText = [&] {
                if (const Placed *p = textAhead.get()) {
                    __builtin_prefetch(buffer + spans[p->entry].offset + from);
                    textAhead.next();
                }
            };
            for (int k = 0; k < 16; ++k)
                fetchSpan();
            for (int k = 0; k < 8; ++k)
                fetchText();
            std::vector<Run> deeper;
            for (const Run &run : runs) {
                for (Placed *p = run.first; p != run.last; ++p) {
                    fetchSpan();
                    fetchText();
                    p->word = wordAt(p->entry, depth);
                }
                sortRun(run.first, run.last, scratch);
                settle(run.first, run.last, deeper);
            }
            runs = std::move(deeper);
        }
    }

    // Cuts [first, last), sorted by word, into runs of equal words. An entry alone in its run has
    // its place; a run whose texts end in this word is finished; the others go to `deeper`.
    void settle(Placed *first, Placed *last, std::vector<Run> &deeper) const
    {
        while (first != last) {
            Placed *run = first + 1;
            while (run != last && run->word == first->word)
                ++run;
            if (run - first == 1) {
                first->first = first->entry;
            } else if (endsIn(first->word)) {
                finishEqualPrimaries(first, run);
            } else if (std::all_of(first + 1, run, [&](const Placed &p) {
                           return m_entries.at(p.entry) == m_entries.at(first->entry);
                       })) {
                // Copies of one text, most often: their order is their table order already.
                for (Placed *p = first; p != run; ++p)
                    p->first = first->entry;
            } else {
                deeper.push_back({first, run});
            }
            first = run;
        }
    }

    // [first, last), in table order, hold texts of equal primary weights: the accents order
    // them, then each identical text is gathered.
    void finishEqualPrimaries(Placed *first, Placed *last) const
    {
        const QStringView head = m_entries.at(first->entry);
        if (std::all_of(first + 1, last,
                        [&](const Placed &p) { return m_entries.at(p.entry) == head; })) {
            for (Placed *p = first; p != last; ++p)
                p->first = first->entry;
            return;
        }
        const auto accents = [&](const Placed &a, const Placed &b) {
            return m_collation.compareSecondary(m_entries.at(a.entry), m_entries.at(b.entry));
        };
        std::stable_sort(first, last,
                         [&](const Placed &a, const Placed &b) { return accents(a, b) < 0; });
        for (Placed *run = first; run != last;) {
            Placed *end = run + 1;
            while (end != last && accents(*run, *end) == 0)
                ++end;
            gatherIdentical(m_entries, run, end);
            run = end;
        }
    }

    const SimpleCollation &m_collation;
    const TextTable &m_entries;
    std::vector<std::uint16_t> m_rank; // per code unit
    int m_bits = 8;
    int m_perWord = 8;
    std::uint64_t m_lastMask = 0xff;
};

} // namespace

Coverage SplitByCoverage(const SimpleCollation &collation, const TextTable &entries)
{
    const auto n = static_cast<std::size_t>(entries.size());
    Coverage all;
    // Each core lists the covered entries of its half in its half of the list.
    all.covered = UnsetHugePageVector<std::uint32_t>(n);
    std::size_t coveredCount[2] = {0, 0};
    std::vector<std::uint32_t> others[2];
    std::vector<std::uint8_t> seen[2];
    // ASCII, the bulk of every text, is noted in two bit masks; the table is read for the rest.
    std::uint64_t uncoveredAscii[2] = {0, 0};
    for (char16_t c = 0; c < 128; ++c) {
        if (collation.primary(c) == 0)
            uncoveredAscii[c / 64] |= std::uint64_t{1} << (c % 64);
    }
    RunOnTwoCores([&](int part) {
        std::vector<std::uint8_t> &seenHere = seen[part];
        seenHere.assign(collation.primaryCount() + 1u, 0);
        std::uint32_t *covered = all.covered.data() + PartStart(n, part);
        std::size_t coveredHere = 0;
        std::uint64_t asciiSeen[2] = {0, 0};
        for (std::size_t i = PartStart(n, part); i < PartEnd(n, part); ++i) {
            const QStringView text = entries.at(static_cast<qsizetype>(i));
            std::uint64_t ascii[2] = {0, 0};
            bool isCovered = true;
            for (const QChar c : text) {
                const char16_t u = c.unicode();
                if (u < 128) {
                    ascii[u / 64] |= std::uint64_t{1} << (u % 64);
                    continue;
                }
                const std::uint16_t primary = collation.primary(u);
                seenHere[primary] = 1;
                isCovered = isCovered && primary != 0;
            }
            isCovered =
                isCovered && ((ascii[0] & uncoveredAscii[0]) | (ascii[1] & uncoveredAscii[1])) == 0;
            asciiSeen[0] |= ascii[0];
            asciiSeen[1] |= ascii[1];
            if (isCovered)
                covered[coveredHere++] = static_cast<std::uint32_t>(i);
            else
                others[part].push_back(static_cast<std::uint32_t>(i));
        }
        for (char16_t c = 0; c < 128; ++c) {
            if ((asciiSeen[c / 64] >> (c % 64)) & 1)
                seenHere[collation.primary(c)] = 1;
        }
        coveredCount[part] = coveredHere;
    });
    std::copy(all.covered.begin() + static_cast<std::ptrdiff_t>(PartStart(n, 1)),
              all.covered.begin() + static_cast<std::ptrdiff_t>(PartStart(n, 1) + coveredCount[1]),
              all.covered.begin() + static_cast<std::ptrdiff_t>(coveredCount[0]));
    all.covered.resize(coveredCount[0] + coveredCount[1]);
    all.others = std::move(others[0]);
    all.others.insert(all.others.end(), others[1].begin(), others[1].end());
    all.seenPrimaries = std::move(seen[0]);
    for (std::size_t p = 0; p < all.seenPrimaries.size(); ++p)
        all.seenPrimaries[p] |= seen[1][p];
    // Rank 0 marks the characters the table does not cover.
    all.seenPrimaries[0] = 0;
    return all;
}

void SortBySimpleCollation(const SimpleCollation &collation, const TextTable &entries,
                           const Coverage &coverage, std::span<Placed> result,
                           std::span<Placed> scratch)
{
    SimpleSort(collation, entries, coverage.seenPrimaries).sort(coverage.covered, result, scratch);
}
