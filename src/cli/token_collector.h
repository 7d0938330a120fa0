#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "cli/entry_block.h"
#include "text/text_table.h"
#include "formats/text_receiver.h"

// Receives the lines of one input and hands on the window's tokens that hold "@", each as the
// window cuts it, in blocks. With `holdAll` nothing is handed on before finish(): the text may
// still turn out to be empty.
class TokenCollector : public TextReceiver
{
public:
    TokenCollector(BlockSink &sink, QByteArray inputName, bool withLines, bool holdAll,
                   std::atomic<std::int64_t> *found);

    void text(std::string_view utf8, std::int64_t line, bool linesFollow) override;
    void member(const QString &shownName) override;
    void warning(const QString &message) override;

    // Hands on what is held, or drops it when the text turned out to be empty.
    void finish(bool keep);

private:
    void extract();
    void hand(EntryBlock &&block);

    BlockSink &m_sink;
    QByteArray m_name;
    bool m_withLines;
    bool m_holdAll;
    std::atomic<std::int64_t> *m_found;
    TextTable m_lines;
    std::vector<std::int64_t> m_lineNumbers;
    EntryBlock m_block;
    std::vector<EntryBlock> m_held;
};
