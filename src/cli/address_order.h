#pragma once

#include <vector>

#include <QtGlobal>

#include "text/text_table.h"

// The indexes of the first occurrence of every address, in table order; two addresses are the
// same when they are equal once upper-cased as the search field does it.
std::vector<qsizetype> FirstOfEachIgnoringCase(const TextTable &addresses);

// Orders the given indexes of `addresses` as the window's sorted list orders its entries
// (stable: equal texts keep their order).
void SortIgnoringCase(const TextTable &addresses, std::vector<qsizetype> &indexes);
