#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QLocale>
#include <QStringView>

#include "extract/text_table.h"

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

    // The stable sorting permutation of `entries`: element k is the index of the entry that
    // goes to place k. Identical texts end up next to each other, in their table order.
    std::vector<qsizetype> sortedOrder(const TextTable &entries) const;

private:
    UCollator *m_collator = nullptr;
};
