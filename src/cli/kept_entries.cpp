#include "cli/kept_entries.h"

#include <algorithm>

#include <QString>

#include "text/case_table.h"
#include "extract/text_order.h"
#include "text/text_table.h"

bool FirstOccurrences::first(std::string_view entry)
{
    const bool ascii = std::all_of(entry.begin(), entry.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        m_key.assign(entry);
        for (char &c : m_key) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
    } else {
        // The same mapping as for ASCII above, applied to every code unit.
        const QString text = QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
        m_key = UpperCased(text).toUtf8().toStdString();
    }
    return m_seen.insert(m_key).second;
}

void SortedEntries::keep(const QByteArray &name, std::int64_t line, std::string_view entry)
{
    if (m_names.empty() || m_names.back() != name)
        m_names.push_back(name);
    m_starts.push_back(m_text.size());
    m_text.append(entry);
    m_text += '\n';
    m_lines.push_back(line);
    m_nameOf.push_back(static_cast<std::uint32_t>(m_names.size() - 1));
}

bool SortedEntries::print(Printer &printer)
{
    // The entries as UTF-16 spans of one text, for the window's order.
    const QString text = QString::fromUtf8(m_text.data(), static_cast<qsizetype>(m_text.size()));
    std::vector<TextSpan> spans;
    spans.reserve(m_starts.size());
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            spans.push_back({from, i - from});
            from = i + 1;
        }
    }
    const std::vector<std::uint32_t> order =
        TextOrder().sortedOrder(TextTable(text, std::move(spans)));
    for (const std::uint32_t i : order) {
        const std::uint64_t start = m_starts[i];
        const std::uint64_t end = i + 1 < m_starts.size() ? m_starts[i + 1] - 1 : m_text.size() - 1;
        if (!printer.entry(m_names[m_nameOf[i]], m_lines[i],
                           std::string_view(m_text).substr(start, end - start)))
            return false;
    }
    return true;
}
