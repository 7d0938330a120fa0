#include "cli/address_order.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <thread>

#include <QHashFunctions>
#include <QString>

#include "extract/list_search.h"
#include "extract/text_order.h"

std::vector<qsizetype> FirstOfEachIgnoringCase(const TextTable &addresses)
{
    // Upper-casing keeps every length, so the spans of the table fit the upper-cased buffer.
    const QString upper = UpperCased(addresses.buffer());
    const std::vector<TextSpan> &spans = addresses.spans();
    const auto key = [&](qsizetype i) {
        const TextSpan &s = spans[static_cast<std::size_t>(i)];
        return QStringView(upper).mid(s.offset, s.length);
    };

    // Open addressing: a place holds a kept address's hash in its high half and its index plus
    // one in its low half, so most unequal texts are told apart without comparing them. The
    // table grows with the kept addresses: lists repeat a few addresses many times, and a small
    // table stays in the processor's caches.
    constexpr std::uint64_t tagMask = 0xffffffff00000000ULL;
    std::size_t placeCount = 1 << 16;
    std::vector<std::uint64_t> places(placeCount, 0);
    const auto hashOf = [](QStringView text) {
        std::uint64_t h = qHash(text);
        // Spread every bit of the hash over the bits used for the place.
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        return h;
    };
    // The hashes first, on every core; then the table is probed a few addresses ahead of the
    // one being placed, so the processor fetches those places while it works on this one.
    const qsizetype count = addresses.size();
    std::vector<std::uint64_t> hashes(static_cast<std::size_t>(count));
    {
        const qsizetype parts = std::clamp<qsizetype>(
            count / 65536, 1, std::max(1u, std::thread::hardware_concurrency()));
        const auto hashPart = [&](qsizetype k) {
            for (qsizetype i = count * k / parts; i < count * (k + 1) / parts; ++i)
                hashes[static_cast<std::size_t>(i)] = hashOf(key(i));
        };
        std::vector<std::thread> helpers;
        for (qsizetype k = 1; k < parts; ++k)
            helpers.emplace_back(hashPart, k);
        hashPart(0);
        for (std::thread &t : helpers)
            t.join();
    }
    const auto grow = [&] {
        std::vector<std::uint64_t> larger(placeCount * 2, 0);
        const std::size_t mask = larger.size() - 1;
        for (const std::uint64_t entry : places) {
            if (entry == 0)
                continue;
            std::size_t place = static_cast<std::size_t>(hashes[(entry & ~tagMask) - 1]) & mask;
            while (larger[place] != 0)
                place = (place + 1) & mask;
            larger[place] = entry;
        }
        places = std::move(larger);
        placeCount = places.size();
    };
    constexpr qsizetype ahead = 16;
    std::vector<qsizetype> kept;
    for (qsizetype i = 0; i < count; ++i) {
        if (i + ahead < count)
            __builtin_prefetch(&places[static_cast<std::size_t>(
                hashes[static_cast<std::size_t>(i + ahead)] & (placeCount - 1))]);
        const QStringView text = key(i);
        const std::uint64_t h = hashes[static_cast<std::size_t>(i)];
        const std::uint64_t tag = h & tagMask;
        std::size_t place = static_cast<std::size_t>(h) & (placeCount - 1);
        bool seen = false;
        while (places[place] != 0) {
            const std::uint64_t entry = places[place];
            if ((entry & tagMask) == tag &&
                key(static_cast<qsizetype>(entry & ~tagMask) - 1) == text) {
                seen = true;
                break;
            }
            place = (place + 1) & (placeCount - 1);
        }
        if (seen)
            continue;
        places[place] = tag | static_cast<std::uint64_t>(i + 1);
        kept.push_back(i);
        if (kept.size() * 2 > placeCount)
            grow();
    }
    return kept;
}

void SortIgnoringCase(const TextTable &addresses, std::vector<qsizetype> &indexes)
{
    // The chosen entries as a table of their own that shares the buffer.
    std::vector<TextSpan> spans;
    spans.reserve(indexes.size());
    for (qsizetype i : indexes)
        spans.push_back(addresses.spans()[static_cast<std::size_t>(i)]);
    const TextTable chosen(addresses.buffer(), std::move(spans));
    const std::vector<std::uint32_t> order = TextOrder().sortedOrder(chosen);
    std::vector<qsizetype> sorted;
    sorted.reserve(indexes.size());
    for (std::uint32_t k : order)
        sorted.push_back(indexes[static_cast<std::size_t>(k)]);
    indexes = std::move(sorted);
}
