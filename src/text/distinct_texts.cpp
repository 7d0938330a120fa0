#include "text/distinct_texts.h"

#include <algorithm>
#include <atomic>
#include <utility>

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

// Spreads the bits of a hash over all 64 (the finaliser of MurmurHash3).
std::uint64_t mix(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
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

} // namespace

// The entries are dealt by their hash into buckets of a few thousand, each bucket in set order;
// a bucket is then small enough for its table and its texts to stay in the caches. The buckets
// are shared out among the threads; the texts are numbered in set order after.
DistinctTexts FindDistinctTexts(const TextTable &entries, const std::vector<std::uint32_t> &set,
                                TextIdentity identity)
{
    const std::size_t n = set.size();
    const CaseTable &upperCase = UpperCaseTable();
    const bool exact = identity == TextIdentity::Exact;
    const auto same = [&](QStringView a, QStringView b) {
        return exact ? a == b : equalUpperCased(a, b, upperCase);
    };
    const std::size_t threads = std::clamp<std::size_t>(n / 65536, 1, std::min(CoreCount(), 8u));
    const auto firstOf = [&](std::size_t t) { return n * t / threads; };

    int bucketBits = 0;
    while (bucketBits < 16 && (n >> bucketBits) > 2048)
        ++bucketBits;
    const std::size_t buckets = std::size_t{1} << bucketBits;
    const auto bucketOf = [&](std::uint64_t h) {
        return bucketBits == 0 ? std::size_t{0} : static_cast<std::size_t>(h >> (64 - bucketBits));
    };
    std::vector<std::uint64_t> hashes = HugePageVector<std::uint64_t>(n);
    std::vector<std::size_t> counts(threads * buckets, 0); // per thread, then per bucket
    RunOnThreads(threads, [&](std::size_t t) {
        std::size_t *mine = counts.data() + t * buckets;
        for (std::size_t i = firstOf(t); i < firstOf(t + 1); ++i) {
            const QStringView text = entries.at(set[i]);
            // qHash leaves the high bits, which pick the bucket, poorly mixed on 32-bit input.
            hashes[i] = exact ? mix(qHash(text)) : upperHash(text, upperCase);
            ++mine[bucketOf(hashes[i])];
        }
    });
    // Where each thread's share of each bucket starts: bucket by bucket, thread by thread.
    std::vector<std::size_t> bucketStart(buckets + 1, 0);
    {
        std::size_t at = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            bucketStart[b] = at;
            for (std::size_t t = 0; t < threads; ++t)
                at += std::exchange(counts[t * buckets + b], at);
        }
        bucketStart[buckets] = at;
    }
    struct Hashed
    {
        std::uint64_t hash;
        std::uint32_t position; // in the set
        std::uint32_t entry;
    };
    std::vector<Hashed> dealt = HugePageVector<Hashed>(n);
    RunOnThreads(threads, [&](std::size_t t) {
        std::size_t *next = counts.data() + t * buckets;
        for (std::size_t i = firstOf(t); i < firstOf(t + 1); ++i)
            dealt[next[bucketOf(hashes[i])]++] = {hashes[i], static_cast<std::uint32_t>(i), set[i]};
    });
    hashes = std::vector<std::uint64_t>();

    // In each bucket, every entry learns the position of the first entry with its text. A place
    // of the bucket's table holds the position of a first entry in the bucket plus one; the full
    // hashes are compared before the texts. The spans and texts of the entries a little ahead
    // are asked for early.
    DistinctTexts result;
    result.ofEntry = HugePageVector<std::uint32_t>(n);
    std::vector<std::uint32_t> &firstPosition = result.ofEntry;
    const std::vector<TextSpan> &spans = entries.spans();
    const QChar *buffer = entries.buffer().constData();
    std::atomic<std::size_t> nextBucket{0};
    RunOnThreads(threads, [&](std::size_t) {
        std::vector<std::uint32_t> places;
        for (std::size_t b = nextBucket++; b < buckets; b = nextBucket++) {
            const Hashed *first = dealt.data() + bucketStart[b];
            const std::size_t size = bucketStart[b + 1] - bucketStart[b];
            std::size_t placeCount = 16;
            while (placeCount < size * 2)
                placeCount *= 2;
            places.assign(placeCount, 0);
            const std::size_t mask = placeCount - 1;
            for (std::size_t r = 0; r < size; ++r) {
                if (r + 16 < size)
                    __builtin_prefetch(&spans[first[r + 16].entry]);
                if (r + 8 < size)
                    __builtin_prefetch(buffer + spans[first[r + 8].entry].offset);
                const Hashed &here = first[r];
                const QStringView text = entries.at(here.entry);
                std::size_t place = here.hash & mask;
                std::uint32_t firstHere = here.position;
                for (; places[place] != 0; place = (place + 1) & mask) {
                    const Hashed &other = first[places[place] - 1];
                    if (other.hash == here.hash && same(entries.at(other.entry), text)) {
                        firstHere = other.position;
                        break;
                    }
                }
                if (firstHere == here.position)
                    places[place] = static_cast<std::uint32_t>(r + 1);
                firstPosition[here.position] = firstHere;
            }
        }
    });
    dealt = std::vector<Hashed>();

    // Numbered in set order: the first entry of a text comes before every other one, so its
    // number is known when they come.
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i)
        count += firstPosition[i] == i ? 1 : 0;
    result.firstEntry.reserve(count);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t firstHere = firstPosition[i];
        if (firstHere == i) {
            result.ofEntry[i] = static_cast<std::uint32_t>(result.firstEntry.size());
            result.firstEntry.push_back(set[i]);
        } else {
            result.ofEntry[i] = result.ofEntry[firstHere];
        }
    }
    return result;
}
