#include "cli/token_collector.h"

#include "cli/input_list.h"
#include "extract/extract_command.h"

namespace {

constexpr qsizetype linesPerBatch = 4096;
constexpr std::size_t blockBytes = 256 * 1024;

} // namespace

TokenCollector::TokenCollector(BlockSink &sink, QByteArray inputName, bool withLines, bool holdAll,
                               std::atomic<std::int64_t> *found)
    : m_sink(sink), m_name(std::move(inputName)), m_withLines(withLines), m_holdAll(holdAll),
      m_found(found)
{
    m_block.name = m_name;
}

void TokenCollector::text(std::string_view utf8, std::int64_t line, bool)
{
    m_lines.append(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    m_lineNumbers.push_back(line);
    if (m_lines.size() >= linesPerBatch)
        extract();
}

void TokenCollector::member(const QString &shownName)
{
    extract();
    if (!m_block.text.empty())
        hand(std::exchange(m_block, EntryBlock()));
    m_block.name = shownName.isEmpty() ? m_name : NativeName(shownName);
}

void TokenCollector::warning(const QString &message)
{
    const QByteArray name = m_block.name;
    extract();
    if (!m_block.text.empty())
        hand(std::exchange(m_block, EntryBlock()));
    m_block.name = name;
    EntryBlock told;
    told.name = m_block.name;
    told.warning = message;
    hand(std::move(told));
}

void TokenCollector::extract()
{
    if (m_lines.size() == 0)
        return;
    std::vector<qsizetype> entryOf;
    const TextTable tokens = ExtractAddresses(m_lines, &entryOf);
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        // A token comes from valid UTF-8: it holds no surrogate without its pair.
        m_block.text += tokens.at(i).toUtf8().toStdString();
        m_block.text += '\n';
        if (m_withLines)
            m_block.lines.push_back(
                m_lineNumbers[static_cast<std::size_t>(entryOf[static_cast<std::size_t>(i)])]);
    }
    if (m_found)
        *m_found += tokens.size();
    m_lines = TextTable();
    m_lineNumbers.clear();
    if (m_block.text.size() >= blockBytes) {
        EntryBlock full;
        full.name = m_block.name;
        std::swap(full, m_block);
        hand(std::move(full));
    }
}

void TokenCollector::hand(EntryBlock &&block)
{
    if (m_holdAll)
        m_held.push_back(std::move(block));
    else
        m_sink.push(std::move(block));
}

void TokenCollector::finish(bool keep)
{
    extract();
    if (!m_block.text.empty())
        hand(std::exchange(m_block, EntryBlock()));
    if (!keep) {
        m_held.clear();
        return;
    }
    for (EntryBlock &block : m_held)
        m_sink.push(std::move(block));
    m_held.clear();
}
