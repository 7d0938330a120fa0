#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include <QString>

// Asks the system for huge pages under [data, data + bytes) before it is first written, so that a
// large fresh buffer takes one page fault per 2 MiB instead of per 4 KiB.
void AdviseHugePages(const void *data, std::size_t bytes);

// A vector of `count` value-initialised elements whose memory asked for huge pages first.
template <typename T> std::vector<T> HugePageVector(std::size_t count)
{
    std::vector<T> v;
    v.reserve(count);
    AdviseHugePages(v.data(), count * sizeof(T));
    v.resize(count);
    return v;
}

// std::allocator, except that an element made without a value is left as its type leaves it:
// for a type without initialisers, resize() writes nothing, and a large array's pages are
// first touched by whoever fills them (on the core that fills them).
template <typename T> struct UnsetAllocator : std::allocator<T>
{
    using std::allocator<T>::allocator;
    UnsetAllocator() = default;
    template <typename U> UnsetAllocator(const UnsetAllocator<U> &) noexcept {}
    template <typename U> struct rebind
    {
        using other = UnsetAllocator<U>;
    };
    template <typename U>
    void construct(U *place) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void *>(place)) U;
    }
    template <typename U, typename... Args> void construct(U *place, Args &&...args)
    {
        ::new (static_cast<void *>(place)) U(std::forward<Args>(args)...);
    }
};

template <typename T> using UnsetVector = std::vector<T, UnsetAllocator<T>>;

// A vector of `count` elements left unset, whose memory asked for huge pages first.
template <typename T> UnsetVector<T> UnsetHugePageVector(std::size_t count)
{
    UnsetVector<T> v;
    v.reserve(count);
    AdviseHugePages(v.data(), count * sizeof(T));
    v.resize(count);
    return v;
}

// Whether the process can still take `touched` bytes that it writes and `reserved` more that it
// only reserves: the written bytes within the memory the system reports available
// (MemAvailable), both within the address-space limit (RLIMIT_AS) less what the process has
// mapped. What cannot be read counts as no limit.
bool MemoryFits(std::size_t touched, std::size_t reserved = 0);

// A text of `size` code units whose content is not set yet. A large one asks the system for
// huge pages, so that its first writing takes one page fault per 2 MiB instead of per 4 KiB.
QString UninitializedText(qsizetype size);
