#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include <QLocale>
#include <QStringView>

#include "text/text_table.h"

class SimpleCollation;
struct UCollator;

// The order of the sorted list: alphabetical by the regional settings, letter case ignored.
// Under the C locale, whose own collation compares code points and cannot ignore case, the
// language-neutral alphabetical order serves. Insertion and the whole-table sort both use it.
class TextOrder
{
public:
    TextOrder();
    explicit TextOrder(const QLocale &locale);
    ~TextOrder();
    TextOrder(const TextOrder &) = delete;
    TextOrder &operator=(const TextOrder &) = delete;

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    int compare(QStringView a, QStringView b) const;

    // The sorting permutation of `entries`: element k is the index of the entry that goes to
    // place k. Texts that compare equal keep together each identical text, in the order of their
    // first entries; identical texts keep their table order. The sort may use `room` for its
    // working arrays (its content is left undefined): memory the caller is about to fill
    // anyway, whose pages the sort then touches first.
    std::vector<std::uint32_t> sortedOrder(const TextTable &entries,
                                           std::span<std::byte> room = {}) const;

private:
    const SimpleCollation *simpleCollation() const;

    UCollator *m_collator = nullptr;
    // Read from the collator at the first sort.
    mutable std::once_flag m_simpleRead;
    mutable std::unique_ptr<SimpleCollation> m_simple;
};
