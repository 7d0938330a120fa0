#include "platform/big_memory.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

#if defined(__linux__)
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

void AdviseHugePages(const void *data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(hugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

namespace {

#if defined(__linux__)
// The value of `key` (such as "MemAvailable:") in /proc/meminfo, in bytes.
std::optional<std::size_t> memoryInfo(const char *key)
{
    std::FILE *file = std::fopen("/proc/meminfo", "re");
    if (!file)
        return std::nullopt;
    std::optional<std::size_t> found;
    char name[64];
    unsigned long long kib = 0;
    while (std::fscanf(file, "%63s %llu kB\n", name, &kib) == 2) {
        if (std::string_view(name) == key) {
            found = static_cast<std::size_t>(kib) * 1024;
            break;
        }
    }
    std::fclose(file);
    return found;
}

// The process's mapped size in bytes, the first figure of /proc/self/statm (in pages).
std::optional<std::size_t> mappedSize()
{
    std::FILE *file = std::fopen("/proc/self/statm", "re");
    if (!file)
        return std::nullopt;
    unsigned long long pages = 0;
    const bool read = std::fscanf(file, "%llu", &pages) == 1;
    std::fclose(file);
    if (!read)
        return std::nullopt;
    return static_cast<std::size_t>(pages) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}
#endif

} // namespace

bool MemoryFits(std::size_t touched, std::size_t reserved)
{
#if defined(__linux__)
    constexpr std::size_t most = std::numeric_limits<std::size_t>::max();
    const std::size_t all = touched > most - reserved ? most : touched + reserved;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const std::optional<std::size_t> mapped = mappedSize();
        const auto cap = static_cast<std::size_t>(limit.rlim_cur);
        if (mapped && (*mapped >= cap || all > cap - *mapped))
            return false;
    }
    const std::optional<std::size_t> available = memoryInfo("MemAvailable:");
    if (available && touched > *available)
        return false;
    return true;
#else
    (void)touched;
    (void)reserved;
    return true;
#endif
}

QString UninitializedText(qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    AdviseHugePages(text.constData(), static_cast<std::size_t>(size) * sizeof(QChar));
    return text;
}
