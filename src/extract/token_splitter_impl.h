#pragma once

// Template body of TokenSplitter::ForEachToken; included at the end of token_splitter.h.

#include <QChar>
#include <QString>
#include <QStringView>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace TokenSplitter {
namespace detail {

// The text ends at its last code unit or at its first U+0000; nothing after a U+0000 is read.
inline bool atEnd(const char16_t *d, qsizetype n, qsizetype p)
{
    return p == n || d[p] == 0;
}

inline bool isNonspacingMark(char16_t c)
{
    // No code unit below U+0300 is a nonspacing mark, so the common case skips the table.
    return c >= 0x0300 && QChar::category(c) == QChar::Mark_NonSpacing;
}

// One step from p (not at the end): the code unit at p, then a low surrogate right after it,
// whatever p held, then the nonspacing marks that follow, judged one code unit at a time.
inline qsizetype step(const char16_t *d, qsizetype n, qsizetype p)
{
    ++p;
    if (p < n && QChar::isLowSurrogate(d[p]))
        ++p;
    while (p < n && isNonspacingMark(d[p]))
        ++p;
    return p;
}

// Blanks are U+0001..U+0020; a U+0000 is the end, not a blank.
inline qsizetype skipBlanks(const char16_t *d, qsizetype n, qsizetype p)
{
    while (p < n && d[p] != 0 && d[p] <= 0x20)
        p = step(d, n, p);
    return p;
}

inline qsizetype findQuoteOrEnd(const char16_t *d, qsizetype n, qsizetype p)
{
    while (p < n && d[p] != u'"' && d[p] != 0)
        ++p;
    return p;
}

// The end of a plain token from p: the first blank, comma or U+0000, or the end of the text.
inline qsizetype plainTokenEnd(const char16_t *d, qsizetype n, qsizetype p)
{
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi16(0x20);
    const __m128i comma = _mm_set1_epi16(u',');
    const __m128i zero = _mm_setzero_si128();
    for (; p + 8 <= n; p += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + p));
        // A unit is at most U+0020 when subtracting 0x20 with unsigned saturation leaves zero.
        const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(units, space), zero);
        const __m128i stop = _mm_or_si128(low, _mm_cmpeq_epi16(units, comma));
        const int mask = _mm_movemask_epi8(stop);
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    }
#endif
    while (p < n && d[p] > 0x20 && d[p] != u',')
        ++p;
    return p;
}

inline bool atDoubledQuote(const char16_t *d, qsizetype n, qsizetype p)
{
    return p + 1 < n && d[p] == u'"' && d[p + 1] == u'"';
}

// Reads the quoted token whose opening quote is at p, hands it over and returns the position
// after its closing quote (or the end: a missing closing quote is not an error).
template <typename OnToken>
qsizetype readQuoted(const char16_t *d, qsizetype n, qsizetype p, QString &scratch,
                     OnToken &onToken)
{
    ++p;
    qsizetype runBegin = p;
    p = findQuoteOrEnd(d, n, p);
    if (!atDoubledQuote(d, n, p)) {
        onToken(QStringView(d + runBegin, p - runBegin));
    } else {
        // Only a doubled quote makes the token differ from a slice of the line.
        scratch.truncate(0);
        do {
            scratch.append(QStringView(d + runBegin, p + 1 - runBegin));
            p += 2;
            runBegin = p;
            p = findQuoteOrEnd(d, n, p);
        } while (atDoubledQuote(d, n, p));
        scratch.append(QStringView(d + runBegin, p - runBegin));
        onToken(QStringView(scratch));
    }
    return atEnd(d, n, p) ? p : p + 1;
}

} // namespace detail

template <typename OnToken> void ForEachToken(QStringView line, QString &scratch, OnToken &&onToken)
{
    using namespace detail;
    const char16_t *d = line.utf16();
    const qsizetype n = line.size();

    qsizetype p = skipBlanks(d, n, 0);
    while (!atEnd(d, n, p)) {
        if (d[p] == u'"') {
            p = readQuoted(d, n, p, scratch, onToken);
        } else {
            // What a step passes beyond its first code unit (low surrogates, marks) is never a
            // blank, the comma or U+0000, so a plain token ends at the first of those.
            const qsizetype begin = p;
            p = plainTokenEnd(d, n, p);
            onToken(QStringView(d + begin, p - begin));
        }
        p = skipBlanks(d, n, p);
        if (p < n && d[p] == u',') {
            const qsizetype next = step(d, n, p);
            if (atEnd(d, n, next))
                onToken(QStringView(d + next, qsizetype{0}));
            p = skipBlanks(d, n, next);
        }
    }
}

} // namespace TokenSplitter
