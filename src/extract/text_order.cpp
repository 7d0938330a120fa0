#include "extract/text_order.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <thread>

#include <QByteArray>
#include <QHashFunctions>

#include <unicode/ucol.h>

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

// The distinct texts of a table, the first entry of each and, for each entry, the number of
// its text.
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
void numberPart(const TextTable &entries, const std::vector<std::uint64_t> &hashes,
                std::uint64_t part, DistinctTexts &found, std::vector<std::uint32_t> &ofEntry)
{
    const std::size_t n = hashes.size();
    std::size_t bucketCount = 16;
    while (bucketCount < n)
        bucketCount *= 2;
    const std::size_t mask = bucketCount - 1;
    std::vector<std::uint64_t> buckets(bucketCount, 0);
    const std::uint32_t tagOfPart = part != 0 ? secondPart : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t hash = hashes[i];
        if ((hash >> 63) != part)
            continue;
        const QStringView text = entries.at(static_cast<qsizetype>(i));
        const std::uint64_t tag = hash & 0xFFFFFFFF00000000ULL;
        std::size_t slot = hash & mask;
        for (;;) {
            const std::uint64_t bucket = buckets[slot];
            if (bucket == 0) {
                const auto id = static_cast<std::uint32_t>(found.texts.size());
                buckets[slot] = tag | (id + 1);
                found.texts.push_back(text);
                found.firstEntry.push_back(static_cast<std::uint32_t>(i));
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
DistinctTexts distinctTexts(const TextTable &entries)
{
    const auto n = static_cast<std::size_t>(entries.size());
    std::vector<std::uint64_t> hashes(n);
    const auto hashRange = [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i)
            hashes[i] = qHash(entries.at(static_cast<qsizetype>(i)));
    };
    {
        std::thread helper(hashRange, n / 2, n);
        hashRange(0, n / 2);
        helper.join();
    }
    DistinctTexts result;
    result.ofEntry.resize(n);
    DistinctTexts upper;
    {
        std::thread helper(numberPart, std::cref(entries), std::cref(hashes), 1, std::ref(upper),
                           std::ref(result.ofEntry));
        numberPart(entries, hashes, 0, result, result.ofEntry);
        helper.join();
    }
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

// Lists repeat their addresses: one collation key is made per distinct text, on both cores,
// the distinct texts are ranked by key, then the entries are placed by the rank of their text.
std::vector<qsizetype> TextOrder::sortedOrder(const TextTable &entries) const
{
    const auto n = static_cast<std::size_t>(entries.size());
    std::vector<qsizetype> order(n);
    if (n < 2 || !m_collator) {
        for (std::size_t i = 0; i < n; ++i)
            order[i] = static_cast<qsizetype>(i);
        if (!m_collator)
            std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
                return compare(entries.at(a), entries.at(b)) < 0;
            });
        return order;
    }
    DistinctTexts distinct = distinctTexts(entries);
    const std::size_t count = distinct.texts.size();

    std::vector<std::size_t> keyAt(count);
    KeyBytes lowKeys, highKeys;
    const std::size_t half = count / 2;
    {
        std::thread helper(makeKeys, m_collator, std::cref(distinct.texts), half, count,
                           std::ref(highKeys), std::ref(keyAt));
        makeKeys(m_collator, distinct.texts, 0, half, lowKeys, keyAt);
        helper.join();
    }
    const auto key = [&](std::uint32_t id) {
        return id < half ? lowKeys.data.get() + keyAt[id] : highKeys.data.get() + keyAt[id];
    };

    std::vector<Ranked> ranked(count);
    for (std::size_t id = 0; id < count; ++id)
        ranked[id] = {keyPrefix(key(static_cast<std::uint32_t>(id))),
                      static_cast<std::uint32_t>(id)};
    {
        // Both cores: each half sorted by the first eight bytes, merged, then the runs of equal
        // bytes split between the cores at a run boundary.
        const auto middle = ranked.begin() + static_cast<std::ptrdiff_t>(half);
        std::thread helper([&] { std::sort(middle, ranked.end(), byPrefix); });
        std::sort(ranked.begin(), middle, byPrefix);
        helper.join();
        std::inplace_merge(ranked.begin(), middle, ranked.end(), byPrefix);
        Ranked *begin = ranked.data();
        Ranked *end = begin + count;
        Ranked *split = begin + half;
        while (split != end && split != begin && split->prefix == (split - 1)->prefix)
            ++split;
        std::thread deeper([&] { rankRuns(split, end, 0, key, distinct.firstEntry); });
        rankRuns(begin, split, 0, key, distinct.firstEntry);
        deeper.join();
    }
    lowKeys = {};
    highKeys = {};
    keyAt = {};

    // Counting sort of the entries by the rank of their text.
    std::vector<qsizetype> next(count + 1, 0);
    for (std::uint32_t id : distinct.ofEntry)
        ++next[id + 1];
    std::vector<qsizetype> firstOfRank(count + 1, 0);
    for (std::size_t rank = 0; rank < count; ++rank)
        firstOfRank[rank + 1] = firstOfRank[rank] + next[ranked[rank].id + 1];
    for (std::size_t rank = 0; rank < count; ++rank)
        next[ranked[rank].id] = firstOfRank[rank];
    for (std::size_t i = 0; i < n; ++i)
        order[static_cast<std::size_t>(next[distinct.ofEntry[i]]++)] = static_cast<qsizetype>(i);
    return order;
}
