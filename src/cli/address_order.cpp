#include "cli/address_order.h"

#include <bit>

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

    // Open addressing: a slot holds the index of a kept address plus one.
    const std::size_t placeCount = std::bit_ceil(spans.size() * 2 + 16);
    std::vector<qsizetype> places(placeCount, 0);
    std::vector<qsizetype> kept;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const QStringView text = key(i);
        std::size_t slot = qHash(text) & (placeCount - 1);
        bool seen = false;
        while (places[slot] != 0) {
            if (key(places[slot] - 1) == text) {
                seen = true;
                break;
            }
            slot = (slot + 1) & (placeCount - 1);
        }
        if (!seen) {
            places[slot] = i + 1;
            kept.push_back(i);
        }
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
    const std::vector<qsizetype> order = TextOrder().sortedOrder(chosen);
    std::vector<qsizetype> sorted;
    sorted.reserve(indexes.size());
    for (qsizetype k : order)
        sorted.push_back(indexes[static_cast<std::size_t>(k)]);
    indexes = std::move(sorted);
}
