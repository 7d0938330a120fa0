#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <QByteArray>

#include "cli/printers.h"

// --unique: tells whether an entry is the first of its kind, two entries being the same when
// they are equal once upper-cased as the window's search does it. Only the set of distinct
// entries is kept.
class FirstOccurrences
{
public:
    bool first(std::string_view entry);

private:
    std::unordered_set<std::string> m_seen;
    std::string m_key;
};

// --sort: every entry is kept to the end, then printed in the order of the window's sorted
// list (stable: equal texts keep their order).
class SortedEntries
{
public:
    void keep(const QByteArray &name, std::int64_t line, std::string_view entry);
    // False once the output is closed.
    bool print(Printer &printer);

private:
    std::string m_text; // the entries, each followed by '\n'
    std::vector<std::uint64_t> m_starts;
    std::vector<std::int64_t> m_lines;
    std::vector<std::uint32_t> m_nameOf;
    std::vector<QByteArray> m_names;
};
