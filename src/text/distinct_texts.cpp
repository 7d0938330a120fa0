#include "text/distinct_texts.h"

#include <QHashFunctions>

#include "platform/big_memory.h"
#include "platform/parallel.h"
#include "text/case_table.h"

namespace {

// A hash of the upper-cased text, four code units at a time.
std::uint64_t upperHash(QStringView text, const CaseTable &upper)
{
    const char16_t *unit = text.utf16();
    const qsizetype n = text.size();
    std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ static_cast<std::uint64_t>(n);
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4) {
        const std::uint64_t four =
            std::uint64_t{upper[unit[i]]} | std::uint64_t{upper[unit[i + 1]]} << 16 |
            std::uint64_t{upper[unit[i + 2]]} << 32 | std::uint64_t{upper[unit[i + 3]]} << 48;
        h = (h ^ four) * 0xff51afd7ed558ccdULL;
        h ^= h >> 29;
    }
    for (; i < n; ++i)
        h = (h ^ upper[unit[i]]) * 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

bool equalUpperCased(QStringView a, QStringView b, const CaseTable &upper)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (upper[a[i].unicode()] != upper[b[i].unicode()])
            return false;
    }
    return true;
}

constexpr std::uint32_t secondPart = 0x80000000u;

// Numbers the distinct texts among the entries whose hash has `part` as its top bit. A bucket
// holds the upper half of the text's hash beside its number plus one, so a probe costs one
// memory access until the hashes agree.
template <typename Same>
void numberPart(const TextTable &entries, const std::vector<std::uint32_t> &set,
                const std::vector<std::uint64_t> &hashes, std::uint64_t part, const Same &same,
                DistinctTexts &found, std::vector<std::uint32_t> &ofEntry)
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
            if ((bucket & 0xFFFFFFFF00000000ULL) == tag && same(found.texts[candidate], text)) {
                ofEntry[i] = candidate | tagOfPart;
                break;
            }
            slot = (slot + 1) & mask;
        }
    }
}

} // namespace

// The two halves of the hash range are numbered on both cores at once.
DistinctTexts FindDistinctTexts(const TextTable &entries, const std::vector<std::uint32_t> &set,
                                TextIdentity identity)
{
    const std::size_t n = set.size();
    const CaseTable &upperCase = UpperCaseTable();
    const bool exact = identity == TextIdentity::Exact;
    std::vector<std::uint64_t> hashes = HugePageVector<std::uint64_t>(n);
    RunOnTwoCores([&](int part) {
        for (std::size_t i = (part == 0 ? 0 : n / 2); i < (part == 0 ? n / 2 : n); ++i) {
            const QStringView text = entries.at(set[i]);
            hashes[i] = exact ? qHash(text) : upperHash(text, upperCase);
        }
    });
    DistinctTexts result;
    result.ofEntry = HugePageVector<std::uint32_t>(n);
    DistinctTexts upper;
    RunOnTwoCores([&](int part) {
        DistinctTexts &found = part == 0 ? result : upper;
        const auto half = static_cast<std::uint64_t>(part);
        if (exact)
            numberPart(
                entries, set, hashes, half, [](QStringView a, QStringView b) { return a == b; },
                found, result.ofEntry);
        else
            numberPart(
                entries, set, hashes, half,
                [&](QStringView a, QStringView b) { return equalUpperCased(a, b, upperCase); },
                found, result.ofEntry);
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
