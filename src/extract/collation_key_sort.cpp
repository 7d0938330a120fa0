#include "extract/collation_key_sort.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <unicode/ucol.h>

#include "platform/big_memory.h"
#include "platform/parallel.h"
#include "text/distinct_texts.h"

namespace {

const UChar *uchars(QStringView text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
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
void makeKeys(const UCollator *shared, const TextTable &entries,
              const std::vector<std::uint32_t> &firstEntry, std::size_t first, std::size_t last,
              KeyBytes &arena, std::vector<std::size_t> &at)
{
    UErrorCode status = U_ZERO_ERROR;
    // Closed also when the arena cannot grow.
    const std::unique_ptr<UCollator, decltype(&ucol_close)> owned(ucol_clone(shared, &status),
                                                                  &ucol_close);
    if (U_FAILURE(status) || !owned)
        throw std::bad_alloc();
    UCollator *collator = owned.get();
    arena.grow(std::max<std::size_t>(64, (last - first) * 64), 0);
    std::size_t used = 0;
    for (std::size_t i = first; i < last; ++i) {
        const QStringView text = entries.at(firstEntry[i]);
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

} // namespace

// The entries of `set` (in table order) sorted by the collator's keys: one key is made per
// distinct text, on both cores, the distinct texts are ranked by key, then the entries are
// placed by the rank of their text.
std::vector<Placed> SortByCollationKeys(const UCollator *collator, const TextTable &entries,
                                        const std::vector<std::uint32_t> &set)
{
    const std::size_t n = set.size();
    std::vector<Placed> placed = HugePageVector<Placed>(n);
    if (n == 0)
        return placed;
    DistinctTexts distinct = FindDistinctTexts(entries, set, TextIdentity::Exact);
    const std::size_t count = distinct.firstEntry.size();

    std::vector<std::size_t> keyAt = HugePageVector<std::size_t>(count);
    KeyBytes keys[2];
    RunOnTwoCores([&](int part) {
        makeKeys(collator, entries, distinct.firstEntry, PartStart(count, part),
                 PartEnd(count, part), keys[part], keyAt);
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
        placed[next[id]++] = {.word = 0, .entry = set[i], .first = distinct.firstEntry[id]};
    }
    return placed;
}
