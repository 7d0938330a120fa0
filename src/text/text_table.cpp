#include "text/text_table.h"

#include <algorithm>
#include <cstdint>
#include <utility>

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

std::vector<TextSpan> TextToLines(QStringView text)
{
    LineSplitter splitter;
    splitter.feed(text.utf16(), 0, text.size());
    return splitter.finish(text.size());
}

void LineSplitter::feed(const char16_t *text, qsizetype from, qsizetype to)
{
    qsizetype i = from;
    if (m_ended || i >= to)
        return;
    if (m_afterCr) {
        // A CR ended the last piece: an LF opening this one belongs to it.
        m_afterCr = false;
        if (text[i] == u'\n')
            ++i;
    }
    while (i < to) {
        if (!m_inLine) {
            if (text[i] == 0) {
                m_ended = true;
                return;
            }
            m_lineStart = i;
            m_inLine = true;
        }
        const qsizetype end = findLineEnd(text, i, to);
        if (end == to)
            return; // the line goes on in the next piece
        m_lines.push_back({m_lineStart, end - m_lineStart});
        m_inLine = false;
        if (text[end] == 0) {
            m_ended = true;
            return;
        }
        i = end + 1;
        if (text[end] == u'\r') {
            if (i == to) {
                m_afterCr = true;
                return;
            }
            if (text[i] == u'\n')
                ++i;
        }
    }
}

void LineSplitter::join(LineSplitter &&later, const char16_t *text, qsizetype laterFrom,
                        qsizetype laterTo)
{
    if (m_ended)
        return;
    if (later.m_lines.size() < 2) {
        // One line at most: splitting it again costs no more than joining.
        feed(text, laterFrom, laterTo);
        return;
    }
    // The later splitter's second line starts where this one, fed up to there, is at the start
    // of a line; a CR just before it is not followed by an LF (the later one would have
    // passed it).
    const qsizetype secondLine = later.m_lines[1].offset;
    feed(text, laterFrom, secondLine);
    if (m_ended)
        return;
    m_lines.insert(m_lines.end(), later.m_lines.begin() + 1, later.m_lines.end());
    m_lineStart = later.m_lineStart;
    m_inLine = later.m_inLine;
    m_afterCr = later.m_afterCr;
    m_ended = later.m_ended;
    later.m_lines = std::vector<TextSpan>();
}

std::vector<TextSpan> LineSplitter::finish(qsizetype end)
{
    if (m_inLine)
        m_lines.push_back({m_lineStart, end - m_lineStart});
    m_inLine = false;
    m_ended = true;
    return std::move(m_lines);
}
