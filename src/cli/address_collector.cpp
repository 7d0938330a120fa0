#include "cli/address_collector.h"

#include <algorithm>

#include "cli/input_list.h"

namespace {

constexpr std::size_t blockBytes = 256 * 1024;

// Line ends in [p, end): CR LF counts once.
std::int64_t lineEndsBetween(const char *p, const char *end)
{
    std::int64_t count = 0;
    for (; p < end; ++p) {
        if (*p == '\n' || (*p == '\r' && !(p + 1 < end && p[1] == '\n')))
            ++count;
    }
    return count;
}

} // namespace

AddressCollector::AddressCollector(BlockSink &sink, QByteArray inputName, bool withLines,
                                   std::atomic<std::int64_t> *found)
    : m_sink(sink), m_inputName(std::move(inputName)), m_withLines(withLines), m_found(found)
{
    m_block.name = m_inputName;
}

void AddressCollector::text(std::string_view utf8, std::int64_t line, bool linesFollow)
{
    std::size_t counted = 0;
    std::int64_t count = 0;
    m_finder.find(utf8, [&](std::string_view address, std::size_t offset) {
        if (linesFollow && m_withLines) {
            line += lineEndsBetween(utf8.data() + counted, utf8.data() + offset);
            counted = offset;
        }
        m_block.text.append(address);
        m_block.text += '\n';
        if (m_withLines)
            m_block.lines.push_back(line);
        ++count;
    });
    if (m_found)
        *m_found += count;
    if (m_block.text.size() >= blockBytes)
        flush();
}

void AddressCollector::member(const QString &shownName)
{
    flush();
    m_block.name = shownName.isEmpty() ? m_inputName : NativeName(shownName);
}

void AddressCollector::warning(const QString &message)
{
    flush();
    EntryBlock told;
    told.name = m_block.name;
    told.warning = message;
    m_sink.push(std::move(told));
}

void AddressCollector::flush()
{
    if (m_block.text.empty())
        return;
    EntryBlock full;
    full.name = m_block.name;
    std::swap(full, m_block);
    m_sink.push(std::move(full));
}
