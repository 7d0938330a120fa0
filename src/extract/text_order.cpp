#include "extract/text_order.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <span>
#include <stdexcept>
#include <utility>

#include <QByteArray>

#include <unicode/ucol.h>

#include "extract/collation_key_sort.h"
#include "extract/simple_collation.h"
#include "extract/simple_collation_sort.h"
#include "platform/big_memory.h"

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

// The two sorted sequences as one. Each of `others` finds its place among `simple` by a
// galloping search from the place of the one before, so few texts need few comparisons.
std::vector<std::uint32_t> merged(const UCollator *collator, const TextTable &entries,
                                  std::span<const Placed> simple, std::span<const Placed> others)
{
    std::vector<std::uint32_t> order = HugePageVector<std::uint32_t>(simple.size() + others.size());
    std::size_t out = 0;
    const auto after = [&](const Placed &a, const Placed &b) {
        const QStringView ta = entries.at(a.entry);
        const QStringView tb = entries.at(b.entry);
        const UCollationResult c =
            ucol_strcoll(collator, uchars(ta), static_cast<std::int32_t>(ta.size()), uchars(tb),
                         static_cast<std::int32_t>(tb.size()));
        return c == UCOL_GREATER || (c == UCOL_EQUAL && a.first > b.first);
    };
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
std::vector<std::uint32_t> TextOrder::sortedOrder(const TextTable &entries,
                                                  std::span<std::byte> room) const
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
        coverage = SplitByCoverage(*simple, entries);
    if (!simple || coverage.others.size() > n / 4) {
        coverage.covered.clear();
        coverage.others.resize(n);
        std::iota(coverage.others.begin(), coverage.others.end(), 0u);
    }
    const std::size_t count = coverage.covered.size();
    UnsetVector<Placed> ownOrder;
    std::span<Placed> simpleOrder;
    if (count != 0) {
        // The sorted entries and the sort's scratch: in the caller's room when it is wide enough.
        UnsetVector<Placed> ownScratch;
        std::span<Placed> scratch;
        // In the middle of the room: the caller's two halves then each find as many of its
        // pages already touched.
        const std::size_t need = 2 * count * sizeof(Placed) + alignof(Placed);
        const std::size_t margin = room.size() > need ? (room.size() - need) / 2 : 0;
        void *at = room.data() + margin;
        std::size_t space = room.size() - margin;
        if (std::align(alignof(Placed), 2 * count * sizeof(Placed), at, space)) {
            auto *placed = static_cast<Placed *>(at);
            std::uninitialized_default_construct_n(placed, 2 * count);
            simpleOrder = {placed, count};
            scratch = {placed + count, count};
        } else {
            ownOrder = UnsetHugePageVector<Placed>(count);
            ownScratch = UnsetHugePageVector<Placed>(count);
            simpleOrder = ownOrder;
            scratch = ownScratch;
        }
        SortBySimpleCollation(*simple, entries, coverage, simpleOrder, scratch);
        coverage.covered = {};
    }
    const std::vector<Placed> otherOrder =
        SortByCollationKeys(m_collator, entries, coverage.others);
    coverage.others = {};
    return merged(m_collator, entries, simpleOrder, otherOrder);
}
