#include "extract/text_order.h"

#include <algorithm>
#include <bit>
#include <cstring>
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

// The distinct texts of a table and, for each entry, the number of its text; texts are
// numbered in the order of their first occurrence.
struct DistinctTexts
{
    std::vector<QStringView> texts;
    std::vector<std::uint32_t> ofEntry;
};

DistinctTexts distinctTexts(const TextTable &entries)
{
    const auto n = static_cast<std::size_t>(entries.size());
    DistinctTexts result;
    result.ofEntry.resize(n);
    // Open addressing: a slot holds a distinct text's number plus one.
    std::size_t slotCount = 16;
    while (slotCount < n * 2)
        slotCount *= 2;
    const std::size_t mask = slotCount - 1;
    std::vector<std::uint32_t> buckets(slotCount, 0);
    std::vector<std::size_t> hashes;
    for (std::size_t i = 0; i < n; ++i) {
        const QStringView text = entries.at(static_cast<qsizetype>(i));
        const std::size_t hash = qHash(text);
        std::size_t slot = hash & mask;
        std::uint32_t id = 0;
        for (;;) {
            if (buckets[slot] == 0) {
                id = static_cast<std::uint32_t>(result.texts.size());
                buckets[slot] = id + 1;
                result.texts.push_back(text);
                hashes.push_back(hash);
                break;
            }
            const std::uint32_t candidate = buckets[slot] - 1;
            if (hashes[candidate] == hash && result.texts[candidate] == text) {
                id = candidate;
                break;
            }
            slot = (slot + 1) & mask;
        }
        result.ofEntry[i] = id;
    }
    return result;
}

// The collation keys of texts [first, last), written one after another, each ending with its
// zero byte (the only zero byte of a key).
void makeKeys(const UCollator *shared, const std::vector<QStringView> &texts, std::size_t first,
              std::size_t last, std::vector<std::uint8_t> &arena, std::vector<std::size_t> &at)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator *collator = ucol_clone(shared, &status);
    arena.resize(std::max<std::size_t>(64, (last - first) * 48));
    std::size_t used = 0;
    for (std::size_t i = first; i < last; ++i) {
        const QStringView text = texts[i];
        for (;;) {
            const auto room =
                static_cast<std::int32_t>(std::min<std::size_t>(arena.size() - used, INT32_MAX));
            const std::int32_t size =
                ucol_getSortKey(collator, uchars(text), static_cast<std::int32_t>(text.size()),
                                arena.data() + used, room);
            if (size <= room) {
                at[i] = used;
                used += static_cast<std::size_t>(size);
                break;
            }
            arena.resize(std::max(arena.size() * 2, used + static_cast<std::size_t>(size)));
        }
    }
    arena.resize(used);
    ucol_close(collator);
}

struct Ranked
{
    std::uint64_t prefix; // the key's first eight bytes, read as a big-endian number
    std::uint32_t id;
};

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
    std::vector<std::uint8_t> lowKeys, highKeys;
    const std::size_t half = count / 2;
    {
        std::thread helper(makeKeys, m_collator, std::cref(distinct.texts), half, count,
                           std::ref(highKeys), std::ref(keyAt));
        makeKeys(m_collator, distinct.texts, 0, half, lowKeys, keyAt);
        helper.join();
    }
    const auto key = [&](std::uint32_t id) {
        return id < half ? lowKeys.data() + keyAt[id] : highKeys.data() + keyAt[id];
    };

    std::vector<Ranked> ranked(count);
    for (std::size_t id = 0; id < count; ++id)
        ranked[id] = {keyPrefix(key(static_cast<std::uint32_t>(id))),
                      static_cast<std::uint32_t>(id)};
    // Texts with equal keys keep the order of their first occurrence.
    const auto before = [&](const Ranked &a, const Ranked &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        if (!hasZeroByte(a.prefix)) {
            const int c = std::strcmp(reinterpret_cast<const char *>(key(a.id) + 8),
                                      reinterpret_cast<const char *>(key(b.id) + 8));
            if (c != 0)
                return c < 0;
        }
        return a.id < b.id;
    };
    {
        const auto middle = ranked.begin() + static_cast<std::ptrdiff_t>(half);
        std::thread helper([&] { std::sort(middle, ranked.end(), before); });
        std::sort(ranked.begin(), middle, before);
        helper.join();
        std::inplace_merge(ranked.begin(), middle, ranked.end(), before);
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
