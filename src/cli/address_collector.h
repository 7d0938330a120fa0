#pragma once

#include <atomic>
#include <cstdint>

#include "cli/entry_block.h"
#include "extract/address_finder.h"
#include "formats/text_receiver.h"

// Receives the decoded text of one input, finds its addresses and hands them on in blocks.
class AddressCollector : public TextReceiver
{
public:
    AddressCollector(BlockSink &sink, QByteArray inputName, bool withLines,
                     std::atomic<std::int64_t> *found);

    void text(std::string_view utf8, std::int64_t line, bool linesFollow) override;
    void member(const QString &shownName) override;
    void warning(const QString &message) override;

    // Hands on what is held; called at the end of the input (also after a fault).
    void flush();

    // The name the blocks are given now: the input's, or its current member's.
    const QByteArray &currentName() const { return m_block.name; }

private:
    BlockSink &m_sink;
    QByteArray m_inputName;
    bool m_withLines;
    std::atomic<std::int64_t> *m_found;
    AddressFinder m_finder;
    EntryBlock m_block;
};
