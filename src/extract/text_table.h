#pragma once

#include <cstddef>
#include <vector>

#include <QString>
#include <QStringView>

// One span of a TextTable's buffer: the code units [offset, offset + length).
struct TextSpan
{
    qsizetype offset = 0;
    qsizetype length = 0;
};

// Ordered texts kept as spans of one shared UTF-16 buffer. Millions of entries cost one
// allocation for the text and sixteen bytes each, instead of one heap string per entry.
// Invariant: the spans lie in the buffer in table order and never overlap, so a scan of the
// buffer from front to back meets the entries in table order (gaps between them are allowed).
class TextTable
{
public:
    TextTable() = default;
    TextTable(QString buffer, std::vector<TextSpan> spans)
        : m_buffer(std::move(buffer)), m_spans(std::move(spans))
    {}

    qsizetype size() const { return static_cast<qsizetype>(m_spans.size()); }
    QStringView at(qsizetype i) const
    {
        const TextSpan &s = m_spans[static_cast<std::size_t>(i)];
        return QStringView(m_buffer).mid(s.offset, s.length);
    }

    void append(QStringView text)
    {
        m_spans.push_back({m_buffer.size(), text.size()});
        m_buffer.append(text);
    }
    void reserve(qsizetype entries, qsizetype codeUnits)
    {
        m_spans.reserve(static_cast<std::size_t>(entries));
        m_buffer.reserve(codeUnits);
    }

    const QString &buffer() const { return m_buffer; }
    const std::vector<TextSpan> &spans() const { return m_spans; }

private:
    QString m_buffer;
    std::vector<TextSpan> m_spans;
};

// A text of `size` code units whose content is not set yet. A large one asks the system for
// huge pages, so that its first writing takes one page fault per 2 MiB instead of per 4 KiB.
QString UninitializedText(qsizetype size);

// The lines of a text as spans of it: CR LF, CR and LF each end a line, LF CR ends two, a final
// line end adds no empty line, and the first U+0000 ends the text.
std::vector<TextSpan> TextToLines(QStringView text);
