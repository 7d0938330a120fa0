#include "extract/text_order.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <utility>

#include <QByteArray>
#include <QHashFunctions>

#include <unicode/ucol.h>

#include "extract/simple_collation.h"
#include "extract/two_cores.h"

namespace {

UCollator *openCollator(const QLocale &requested)
{
    // The C locale's collation compares code points and cannot ignore letter case: use the
    // language-neutral alphabetical order instead.
    const QLocale locale =
        requested.language() == QLocale::C ? QLocale(QLocale::English) : requested;
    const QByteArray name = locale.bcp47Name().toLatin1().replace('-', '_');
    UErrorCode status = U_ZERO_ERROR;
    UCollator *collator = ucol_open(name.constData(), &status);
    if (U_FAILURE(status))
        return nullptr;
    // Canonically equivalent texts compare equal; accents count, letter case does not;
    // digits compare one by one and punctuation is not skipped.
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(collator, UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    return collator;
}

const UChar *uchars(QStringView text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

// Where [0, n) is cut for part 0 and part 1.
std::size_t halfOf(std::size_t n, int part)
{
    return part == 0 ? 0 : n / 2;
}

std::size_t endOf(std::size_t n, int part)
{
    return part == 0 ? n / 2 : n;
}

// An entry on its way to its place. `word` holds the ranks of a stretch of its text while it is
// being sorted, `first` is the first entry with the same text once that is known.
struct Placed
{
    std::uint64_t word = 0;
    std::uint32_t entry = 0;
    std::uint32_t first = 0;
};

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

    std::vector<Placed> sorted(const std::vector<std::uint32_t> &covered) const
    {
        const std::size_t n = covered.size();
        std::vector<Placed> placed = HugePageVector<Placed>(n);
        std::vector<Placed> spare = HugePageVector<Placed>(n);
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
            for (std::size_t i = halfOf(n, part); i < endOf(n, part); ++i) {
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
            for (std::size_t i = halfOf(n, part); i < endOf(n, part); ++i)
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
        placed = std::vector<Placed>();
        RunOnTwoCores([&](int part) { refine(parts[part], parts[part + 1]); });
        return spare;
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

// The entries the simple collation covers and the others, each in table order, with the primary
// weights the covered ones use.
struct Coverage
{
    std::vector<std::uint32_t> covered;
    std::vector<std::uint32_t> others;
    std::vector<std::uint8_t> seenPrimaries;
};

Coverage splitByCoverage(const SimpleCollation &collation, const TextTable &entries)
{
    const auto n = static_cast<std::size_t>(entries.size());
    Coverage all;
    // Each core lists the covered entries of its half in its half of the list.
    all.covered = HugePageVector<std::uint32_t>(n);
    std::size_t coveredCount[2] = {0, 0};
    std::vector<std::uint32_t> others[2];
    std::vector<std::uint8_t> seen[2];
    RunOnTwoCores([&](int part) {
        std::vector<std::uint8_t> &seenHere = seen[part];
        seenHere.assign(collation.primaryCount() + 1u, 0);
        std::uint32_t *covered = all.covered.data() + halfOf(n, part);
        std::size_t coveredHere = 0;
        for (std::size_t i = halfOf(n, part); i < endOf(n, part); ++i) {
            const QStringView text = entries.at(static_cast<qsizetype>(i));
            bool isCovered = true;
            for (const QChar c : text) {
                const std::uint16_t primary = collation.primary(c.unicode());
                seenHere[primary] = 1;
                isCovered = isCovered && primary != 0;
            }
            if (isCovered)
                covered[coveredHere++] = static_cast<std::uint32_t>(i);
            else
                others[part].push_back(static_cast<std::uint32_t>(i));
        }
        coveredCount[part] = coveredHere;
    });
    std::copy(all.covered.begin() + static_cast<std::ptrdiff_t>(halfOf(n, 1)),
              all.covered.begin() + static_cast<std::ptrdiff_t>(halfOf(n, 1) + coveredCount[1]),
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

// The distinct texts of a set of entries, the first entry of each and, for each entry of the
// set, the number of its text.
struct DistinctTexts
{
    std::vector<QStringView> texts;
    std::vector<std::uint32_t> firstEntry;
    std::vector<std::uint32_t> ofEntry;
};

constexpr std::uint32_t secondPart = 0x80000000u;

// Numbers the distinct texts among the entries whose hash has `part` as its top bit. A bucket
// holds the upper half of the text's hash beside its number plus one, so a probe costs one
// memory access until the hashes agree.
void numberPart(const TextTable &entries, const std::vector<std::uint32_t> &set,
                const std::vector<std::uint64_t> &hashes, std::uint64_t part, DistinctTexts &found,
                std::vector<std::uint32_t> &ofEntry)
{
    const std::size_t n = hashes.size();
    std::size_t bucketCount = 16;
    while (bucketCount < n)
        bucketCount *= 2;
    const std::size_t mask = bucketCount - 1;
    std::vector<std::uint64_t> buckets = HugePageVector<std::uint64_t>(bucketCount);
    const std::uint32_t tagOfPart = part != 0 ? secondPart : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t hash = hashes[i];
        if ((hash >> 63) != part)
            continue;
        const QStringView text = entries.at(set[i]);
        const std::uint64_t tag = hash & 0xFFFFFFFF00000000ULL;
        std::size_t slot = hash & mask;
        for (;;) {
            const std::uint64_t bucket = buckets[slot];
            if (bucket == 0) {
                const auto id = static_cast<std::uint32_t>(found.texts.size());
                buckets[slot] = tag | (id + 1);
                found.texts.push_back(text);
                found.firstEntry.push_back(set[i]);
                ofEntry[i] = id | tagOfPart;
                break;
            }
            const auto candidate = static_cast<std::uint32_t>(bucket) - 1;
            if ((bucket & 0xFFFFFFFF00000000ULL) == tag && found.texts[candidate] == text) {
                ofEntry[i] = candidate | tagOfPart;
                break;
            }
            slot = (slot + 1) & mask;
        }
    }
}

// The two halves of the hash range are numbered on both cores at once.
DistinctTexts distinctTexts(const TextTable &entries, const std::vector<std::uint32_t> &set)
{
    const std::size_t n = set.size();
    std::vector<std::uint64_t> hashes = HugePageVector<std::uint64_t>(n);
    RunOnTwoCores([&](int part) {
        for (std::size_t i = halfOf(n, part); i < endOf(n, part); ++i)
            hashes[i] = qHash(entries.at(set[i]));
    });
    DistinctTexts result;
    result.ofEntry = HugePageVector<std::uint32_t>(n);
    DistinctTexts upper;
    RunOnTwoCores([&](int part) {
        numberPart(entries, set, hashes, static_cast<std::uint64_t>(part),
                   part == 0 ? result : upper, result.ofEntry);
    });
    const auto lowerCount = static_cast<std::uint32_t>(result.texts.size());
    for (std::uint32_t &id : result.ofEntry) {
        if (id & secondPart)
            id = (id & ~secondPart) + lowerCount;
    }
    result.texts.insert(result.texts.end(), upper.texts.begin(), upper.texts.end());
    result.firstEntry.insert(result.firstEntry.end(), upper.firstEntry.begin(),
                             upper.firstEntry.end());
    return result;
}

// Bytes that are written before they are read: growing it zeroes nothing.
struct KeyBytes
{
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;

    void grow(std::size_t newSize, std::size_t used)
    {
        auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(newSize);
        AdviseHugePages(grown.get(), newSize);
        if (used > 0)
            std::memcpy(grown.get(), data.get(), used);
        data = std::move(grown);
        size = newSize;
    }
};

// The collation keys of texts [first, last), written one after another, each ending with its
// zero byte (the only zero byte of a key).
void makeKeys(const UCollator *shared, const std::vector<QStringView> &texts, std::size_t first,
              std::size_t last, KeyBytes &arena, std::vector<std::size_t> &at)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator *collator = ucol_clone(shared, &status);
    if (U_FAILURE(status))
        throw std::bad_alloc();
    arena.grow(std::max<std::size_t>(64, (last - first) * 64), 0);
    std::size_t used = 0;
    for (std::size_t i = first; i < last; ++i) {
        const QStringView text = texts[i];
        for (;;) {
            const auto room =
                static_cast<std::int32_t>(std::min<std::size_t>(arena.size - used, INT32_MAX));
            const std::int32_t size =
                ucol_getSortKey(collator, uchars(text), static_cast<std::int32_t>(text.size()),
                                arena.data.get() + used, room);
            if (size <= room) {
                at[i] = used;
                used += static_cast<std::size_t>(size);
                break;
            }
            arena.grow(std::max(arena.size * 2, used + static_cast<std::size_t>(size)), used);
        }
    }
    ucol_close(collator);
}

struct Ranked
{
    std::uint64_t prefix; // eight bytes of the key from the current depth, big-endian
    std::uint32_t id;
};

// Eight bytes of a key from `key`, zeros after its end.
std::uint64_t keyPrefix(const std::uint8_t *key)
{
    std::uint64_t prefix = 0;
    for (int i = 0; i < 8; ++i) {
        prefix = (prefix << 8) | key[i];
        if (key[i] == 0) {
            prefix <<= 8 * (7 - i);
            break;
        }
    }
    return prefix;
}

bool hasZeroByte(std::uint64_t v)
{
    return ((v - 0x0101010101010101ULL) & ~v & 0x8080808080808080ULL) != 0;
}

bool byPrefix(const Ranked &a, const Ranked &b)
{
    return a.prefix < b.prefix;
}

// Sorts the texts of [first, last), already in order of their keys' bytes before `depth`, by the
// rest of their keys: eight bytes at a time, each run of equal bytes going one step deeper.
// Texts with equal keys end in the order of their first entry.
template <typename KeyOf>
void rankRuns(Ranked *first, Ranked *last, std::size_t depth, const KeyOf &keyOf,
              const std::vector<std::uint32_t> &firstEntry)
{
    while (first != last) {
        Ranked *run = first + 1;
        while (run != last && run->prefix == first->prefix)
            ++run;
        if (run - first > 1) {
            if (hasZeroByte(first->prefix)) {
                std::sort(first, run, [&](const Ranked &a, const Ranked &b) {
                    return firstEntry[a.id] < firstEntry[b.id];
                });
            } else {
                for (Ranked *r = first; r != run; ++r)
                    r->prefix = keyPrefix(keyOf(r->id) + depth + 8);
                std::sort(first, run, byPrefix);
                rankRuns(first, run, depth + 8, keyOf, firstEntry);
            }
        }
        first = run;
    }
}

// The entries of `set` (in table order) sorted by the collator's keys: one key is made per
// distinct text, on both cores, the distinct texts are ranked by key, then the entries are
// placed by the rank of their text.
std::vector<Placed> collatorOrder(const UCollator *collator, const TextTable &entries,
                                  const std::vector<std::uint32_t> &set)
{
    const std::size_t n = set.size();
    std::vector<Placed> placed = HugePageVector<Placed>(n);
    if (n == 0)
        return placed;
    DistinctTexts distinct = distinctTexts(entries, set);
    const std::size_t count = distinct.texts.size();

    std::vector<std::size_t> keyAt = HugePageVector<std::size_t>(count);
    KeyBytes keys[2];
    RunOnTwoCores([&](int part) {
        makeKeys(collator, distinct.texts, halfOf(count, part), endOf(count, part), keys[part],
                 keyAt);
    });
    const std::size_t half = count / 2;
    const auto key = [&](std::uint32_t id) {
        return keys[id < half ? 0 : 1].data.get() + keyAt[id];
    };

    std::vector<Ranked> ranked = HugePageVector<Ranked>(count);
    for (std::size_t id = 0; id < count; ++id)
        ranked[id] = {keyPrefix(key(static_cast<std::uint32_t>(id))),
                      static_cast<std::uint32_t>(id)};
    {
        // Both cores: each half sorted by the first eight bytes, merged, then the runs of equal
        // bytes split between the cores at a run boundary.
        const auto middle = ranked.begin() + static_cast<std::ptrdiff_t>(half);
        RunOnTwoCores([&](int part) {
            if (part == 0)
                std::sort(ranked.begin(), middle, byPrefix);
            else
                std::sort(middle, ranked.end(), byPrefix);
        });
        std::inplace_merge(ranked.begin(), middle, ranked.end(), byPrefix);
        Ranked *begin = ranked.data();
        Ranked *end = begin + count;
        Ranked *split = begin + half;
        while (split != end && split != begin && split->prefix == (split - 1)->prefix)
            ++split;
        RunOnTwoCores([&](int part) {
            if (part == 0)
                rankRuns(begin, split, 0, key, distinct.firstEntry);
            else
                rankRuns(split, end, 0, key, distinct.firstEntry);
        });
    }
    keys[0] = {};
    keys[1] = {};
    keyAt = {};

    // Counting sort of the entries by the rank of their text.
    std::vector<std::uint32_t> next(count + 1, 0);
    for (std::uint32_t id : distinct.ofEntry)
        ++next[id + 1];
    std::vector<std::uint32_t> firstOfRank(count + 1, 0);
    for (std::size_t rank = 0; rank < count; ++rank)
        firstOfRank[rank + 1] = firstOfRank[rank] + next[ranked[rank].id + 1];
    for (std::size_t rank = 0; rank < count; ++rank)
        next[ranked[rank].id] = firstOfRank[rank];
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t id = distinct.ofEntry[i];
        placed[next[id]++] = {0, set[i], distinct.firstEntry[id]};
    }
    return placed;
}

// The two sorted sequences as one. Each of `others` finds its place among `simple` by a
// galloping search from the place of the one before, so few texts need few comparisons.
std::vector<std::uint32_t> merged(const UCollator *collator, const TextTable &entries,
                                  const std::vector<Placed> &simple,
                                  const std::vector<Placed> &others)
{
    std::vector<std::uint32_t> order = HugePageVector<std::uint32_t>(simple.size() + others.size());
    const auto after = [&](const Placed &a, const Placed &b) {
        const QStringView ta = entries.at(a.entry);
        const QStringView tb = entries.at(b.entry);
        const UCollationResult c =
            ucol_strcoll(collator, uchars(ta), static_cast<std::int32_t>(ta.size()), uchars(tb),
                         static_cast<std::int32_t>(tb.size()));
        return c == UCOL_GREATER || (c == UCOL_EQUAL && a.first > b.first);
    };
    std::size_t out = 0;
    std::size_t from = 0;
    for (const Placed &other : others) {
        std::size_t low = from;
        std::size_t high = simple.size();
        for (std::size_t step = 1;; step *= 2) {
            const std::size_t probe = low + step - 1;
            if (probe >= simple.size())
                break;
            if (after(simple[probe], other)) {
                high = probe;
                break;
            }
            low = probe + 1;
        }
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (after(simple[middle], other))
                high = middle;
            else
                low = middle + 1;
        }
        for (; from < low; ++from)
            order[out++] = simple[from].entry;
        order[out++] = other.entry;
    }
    for (; from < simple.size(); ++from)
        order[out++] = simple[from].entry;
    return order;
}

} // namespace

TextOrder::TextOrder() : TextOrder(QLocale::system()) {}

TextOrder::TextOrder(const QLocale &locale) : m_collator(openCollator(locale)) {}

TextOrder::~TextOrder()
{
    if (m_collator)
        ucol_close(m_collator);
}

int TextOrder::compare(QStringView a, QStringView b) const
{
    if (!m_collator)
        return a.compare(b, Qt::CaseInsensitive);
    return ucol_strcoll(m_collator, uchars(a), static_cast<std::int32_t>(a.size()), uchars(b),
                        static_cast<std::int32_t>(b.size()));
}

const SimpleCollation *TextOrder::simpleCollation() const
{
    std::call_once(m_simpleRead, [this] { m_simple = SimpleCollation::For(m_collator); });
    return m_simple.get();
}

// Almost every address is made of letters, digits and punctuation that the simple collation
// covers: those are sorted without the collator. The few others get the collator's keys and
// are merged in; when they are many, the collator sorts everything.
std::vector<std::uint32_t> TextOrder::sortedOrder(const TextTable &entries) const
{
    const auto n = static_cast<std::size_t>(entries.size());
    if (n >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many entries to sort");
    if (n < 2 || !m_collator) {
        std::vector<std::uint32_t> order(n);
        std::iota(order.begin(), order.end(), 0u);
        if (!m_collator)
            std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                return compare(entries.at(a), entries.at(b)) < 0;
            });
        return order;
    }
    const SimpleCollation *simple = simpleCollation();
    Coverage coverage;
    if (simple)
        coverage = splitByCoverage(*simple, entries);
    if (!simple || coverage.others.size() > n / 4) {
        coverage.covered.clear();
        coverage.others.resize(n);
        std::iota(coverage.others.begin(), coverage.others.end(), 0u);
    }
    std::vector<Placed> simpleOrder;
    if (!coverage.covered.empty()) {
        simpleOrder = SimpleSort(*simple, entries, coverage.seenPrimaries).sorted(coverage.covered);
        coverage.covered = {};
    }
    const std::vector<Placed> otherOrder = collatorOrder(m_collator, entries, coverage.others);
    coverage.others = {};
    return merged(m_collator, entries, simpleOrder, otherOrder);
}
