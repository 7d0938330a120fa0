#include "platform/big_memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
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

QString UninitializedText(qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    AdviseHugePages(text.constData(), static_cast<std::size_t>(size) * sizeof(QChar));
    return text;
}
