#include "cli/address_order.h"

#include <cstdint>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "extract/text_order.h"
#include "platform/big_memory.h"
#include "text/distinct_texts.h"

std::vector<qsizetype> FirstOfEachIgnoringCase(const TextTable &addresses)
{
    const auto count = static_cast<std::size_t>(addresses.size());
    if (count >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many addresses");
    std::vector<std::uint32_t> all = HugePageVector<std::uint32_t>(count);
    std::iota(all.begin(), all.end(), 0u);
    const std::vector<std::uint32_t> firsts =
        FindDistinctTexts(addresses, all, TextIdentity::IgnoringCase).firstEntry;
    return std::vector<qsizetype>(firsts.begin(), firsts.end());
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
