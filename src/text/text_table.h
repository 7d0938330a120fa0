#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include <QString>
#include <QStringView>

#include "platform/big_memory.h"

// One span of a TextTable's buffer: the code units [offset, offset + length). Eight bytes, as a
// file of line ends holds one entry per byte; a buffer holds at most maxUnits code units (a file
// the window reads is under 2 GiB, so its text always fits).
struct TextSpan
{
    static constexpr qsizetype maxUnits = std::numeric_limits<std::int32_t>::max();

    constexpr TextSpan() = default;
    constexpr TextSpan(qsizetype from, qsizetype units)
        : offset(static_cast<std::int32_t>(from)), length(static_cast<std::int32_t>(units))
    {}

    std::int32_t offset = 0;
    std::int32_t length = 0;
};

// Ordered texts kept as spans of one shared UTF-16 buffer. Millions of entries cost one
// allocation for the text and eight bytes each, instead of one heap string per entry.
// Invariant: the spans lie in the buffer in table order and never overlap, so a scan of the
// buffer from front to back meets the entries in table order (gaps between them are allowed).
// A buffer longer than TextSpan::maxUnits is refused with std::length_error.
class TextTable
{
public:
    TextTable() = default;
    TextTable(QString buffer, std::vector<TextSpan> spans)
        : m_buffer(std::move(buffer)), m_spans(std::move(spans))
    {
        checkUnits(m_buffer.size());
    }

    qsizetype size() const { return static_cast<qsizetype>(m_spans.size()); }
    QStringView at(qsizetype i) const
    {
        const TextSpan &s = m_spans[static_cast<std::size_t>(i)];
        return QStringView(m_buffer).mid(s.offset, s.length);
    }

    void append(QStringView text)
    {
        checkUnits(m_buffer.size() + text.size());
        m_spans.push_back({m_buffer.size(), text.size()});
        m_buffer.append(text);
    }
    void reserve(qsizetype entries, qsizetype codeUnits)
    {
        m_spans.reserve(static_cast<std::size_t>(entries));
        m_buffer.reserve(codeUnits);
    }

    // Hands over the buffer and the spans; the table is left empty.
    QString takeBuffer() { return std::exchange(m_buffer, QString()); }
    std::vector<TextSpan> takeSpans() { return std::exchange(m_spans, std::vector<TextSpan>()); }

    const QString &buffer() const { return m_buffer; }
    const std::vector<TextSpan> &spans() const { return m_spans; }

private:
    static void checkUnits(qsizetype units)
    {
        if (units > TextSpan::maxUnits)
            throw std::length_error("text table over its span range");
    }

    QString m_buffer;
    std::vector<TextSpan> m_spans;
};

// The lines of a text as spans of it: CR LF, CR and LF each end a line, LF CR ends two, a final
// line end adds no empty line, and the first U+0000 ends the text.
std::vector<TextSpan> TextToLines(QStringView text);

// TextToLines on a text that arrives piece by piece (while it is decoded): feed each new piece
// as it is appended, then finish. The lines are those TextToLines gives on the whole text.
class LineSplitter
{
public:
    // `text` holds the whole text so far; its units [from, to) are new.
    void feed(const char16_t *text, qsizetype from, qsizetype to);
    // True once a U+0000 has ended the text: later pieces add nothing.
    bool ended() const { return m_ended; }
    // Closes the last line at `end`, the length of the whole text, and hands over the lines.
    std::vector<TextSpan> finish(qsizetype end);
    // Takes over from a splitter that was fed the rest of the text, [laterFrom, laterTo), while
    // this one was fed what comes before it: as if this one had been fed the whole. `later`
    // began as if a line started at laterFrom; only its first line can be wrong, and that one
    // is split again here.
    void join(LineSplitter &&later, const char16_t *text, qsizetype laterFrom, qsizetype laterTo);
    void reserve(std::size_t lines)
    {
        m_lines.reserve(lines);
        AdviseHugePages(m_lines.data(), m_lines.capacity() * sizeof(TextSpan));
    }
    std::size_t count() const { return m_lines.size(); }

private:
    std::vector<TextSpan> m_lines;
    qsizetype m_lineStart = 0;
    bool m_inLine = false;
    bool m_afterCr = false;
    bool m_ended = false;
};
