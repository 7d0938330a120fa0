#include "extract/text_table.h"

#include <algorithm>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isLineEnd(char16_t c)
{
    return c == 0 || c == u'\n' || c == u'\r';
}

// The index of the first U+0000, LF or CR at or after `i`, or `n`.
qsizetype findLineEnd(const char16_t *data, qsizetype i, qsizetype n)
{
#if defined(__SSE2__)
    // Eight code units at a time: a block with no unit below 14 holds no line end. The sign
    // flip turns SSE2's signed comparison into an unsigned one.
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i limit = _mm_set1_epi16(static_cast<short>(0x8000 + 14));
    for (;;) {
        while (i + 8 <= n) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            const __m128i below = _mm_cmplt_epi16(_mm_xor_si128(units, flip), limit);
            if (_mm_movemask_epi8(below) != 0)
                break;
            i += 8;
        }
        // A block with a control character: look at it unit by unit.
        const qsizetype stop = std::min(n, i + 8);
        for (; i < stop; ++i) {
            if (isLineEnd(data[i]))
                return i;
        }
        if (i >= n)
            return n;
    }
#else
    while (i < n && !isLineEnd(data[i]))
        ++i;
    return i;
#endif
}

} // namespace

QString UninitializedText(qsizetype size)
{
    QString text(size, Qt::Uninitialized);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(text.data());
    const std::uintptr_t first = (start + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t last = (start + static_cast<std::uintptr_t>(size) * 2) & ~(hugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#endif
    return text;
}

std::vector<TextSpan> TextToLines(QStringView text)
{
    std::vector<TextSpan> lines;
    const char16_t *data = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && data[i] != 0) {
        const qsizetype start = i;
        i = findLineEnd(data, i, n);
        lines.push_back({start, i - start});
        if (i < n && data[i] == u'\r')
            ++i;
        if (i < n && data[i] == u'\n')
            ++i;
    }
    return lines;
}
