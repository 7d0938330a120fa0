#include "cli/address_order.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <stdexcept>
#include <utility>
#include <bit>
#include <cstdint>
#include <thread>

#include <QString>

#include "extract/list_search.h"
#include "extract/text_order.h"

namespace {

using CaseTable = std::array<char16_t, 0x10000>;

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

} // namespace

std::vector<qsizetype> FirstOfEachIgnoringCase(const TextTable &addresses)
{
    const CaseTable &upper = UpperCaseTable();
    const auto count = static_cast<std::size_t>(addresses.size());
    if (count >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many addresses");
    const auto threads = static_cast<unsigned>(std::clamp<std::size_t>(
        count / 65536, 1, std::clamp(std::thread::hardware_concurrency(), 1u, 8u)));
    const auto onEveryThread = [&](const auto &work) {
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work, t);
        work(0u);
        for (std::thread &helper : helpers)
            helper.join();
    };
    const auto firstOf = [&](unsigned t) { return count * t / threads; };

    // The addresses are dealt by their hash into buckets of a few thousand, each bucket in table
    // order; a bucket is then small enough for its table and its texts to stay in the caches.
    int bucketBits = 0;
    while (bucketBits < 16 && (count >> bucketBits) > 2048)
        ++bucketBits;
    const std::size_t buckets = std::size_t{1} << bucketBits;
    const auto bucketOf = [&](std::uint64_t h) {
        return bucketBits == 0 ? std::size_t{0} : static_cast<std::size_t>(h >> (64 - bucketBits));
    };
    std::vector<std::uint64_t> hashes = HugePageVector<std::uint64_t>(count);
    std::vector<std::size_t> counts(threads * buckets, 0); // per thread, then per bucket
    onEveryThread([&](unsigned t) {
        std::size_t *mine = counts.data() + t * buckets;
        for (std::size_t i = firstOf(t); i < firstOf(t + 1); ++i) {
            hashes[i] = upperHash(addresses.at(static_cast<qsizetype>(i)), upper);
            ++mine[bucketOf(hashes[i])];
        }
    });
    // Where each thread's share of each bucket starts: bucket by bucket, thread by thread.
    std::vector<std::size_t> bucketStart(buckets + 1, 0);
    {
        std::size_t at = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            bucketStart[b] = at;
            for (unsigned t = 0; t < threads; ++t)
                at += std::exchange(counts[t * buckets + b], at);
        }
        bucketStart[buckets] = at;
    }
    struct Hashed
    {
        std::uint64_t hash;
        std::uint32_t index;
    };
    std::vector<Hashed> dealt = HugePageVector<Hashed>(count);
    onEveryThread([&](unsigned t) {
        std::size_t *next = counts.data() + t * buckets;
        for (std::size_t i = firstOf(t); i < firstOf(t + 1); ++i)
            dealt[next[bucketOf(hashes[i])]++] = {hashes[i], static_cast<std::uint32_t>(i)};
    });
    hashes = std::vector<std::uint64_t>();

    // In each bucket the first of each address is kept. A place of the bucket's table holds the
    // position of a kept address in the bucket plus one; the full hashes are compared before
    // the texts. The spans and texts of the addresses a little ahead are asked for early.
    std::vector<std::uint8_t> kept = HugePageVector<std::uint8_t>(count);
    const std::vector<TextSpan> &spans = addresses.spans();
    const QChar *buffer = addresses.buffer().constData();
    std::atomic<std::size_t> nextBucket{0};
    onEveryThread([&](unsigned) {
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
                    __builtin_prefetch(&spans[first[r + 16].index]);
                if (r + 8 < size)
                    __builtin_prefetch(buffer + spans[first[r + 8].index].offset);
                const Hashed &here = first[r];
                std::size_t place = here.hash & mask;
                bool seen = false;
                for (; places[place] != 0; place = (place + 1) & mask) {
                    const Hashed &other = first[places[place] - 1];
                    if (other.hash == here.hash &&
                        equalUpperCased(addresses.at(other.index), addresses.at(here.index),
                                        upper)) {
                        seen = true;
                        break;
                    }
                }
                if (!seen) {
                    places[place] = static_cast<std::uint32_t>(r + 1);
                    kept[here.index] = 1;
                }
            }
        }
    });

    std::vector<qsizetype> result;
    result.reserve(count);
    AdviseHugePages(result.data(), count * sizeof(qsizetype));
    for (std::size_t i = 0; i < count; ++i) {
        if (kept[i])
            result.push_back(static_cast<qsizetype>(i));
    }
    return result;
}

void SortIgnoringCase(const TextTable &addresses, std::vector<qsizetype> &indexes)
{
    // The chosen entries as a table of their own that shares the buffer.
    std::vector<TextSpan> spans = HugePageVector<TextSpan>(indexes.size());
    for (std::size_t k = 0; k < indexes.size(); ++k)
        spans[k] = addresses.spans()[static_cast<std::size_t>(indexes[k])];
    const TextTable chosen(addresses.buffer(), std::move(spans));
    const std::vector<std::uint32_t> order = TextOrder().sortedOrder(chosen);
    std::vector<qsizetype> sorted = HugePageVector<qsizetype>(indexes.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        sorted[k] = indexes[order[k]];
    indexes = std::move(sorted);
}
