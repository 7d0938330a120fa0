#pragma once

#include <cstddef>
#include <cstdint>

// An entry on its way to its place. `word` holds the ranks of a stretch of its text while it is
// being sorted, `first` is the first entry with the same text once that is known. No
// initialisers: the sort's arrays of millions are written once, by the cores that fill them.
struct Placed
{
    std::uint64_t word;
    std::uint32_t entry;
    std::uint32_t first;
};

// Where [0, n) is cut for part 0 and part 1.
inline std::size_t PartStart(std::size_t n, int part)
{
    return part == 0 ? 0 : n / 2;
}

inline std::size_t PartEnd(std::size_t n, int part)
{
    return part == 0 ? n / 2 : n;
}
