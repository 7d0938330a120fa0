#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>

#include "cli/address_collector.h"
#include "cli/entry_block.h"
#include "formats/byte_source.h"
#include "formats/text_receiver.h"
#include "io/input_encoding.h"
#include "platform/parallel.h"

// Small plain-text members of one input (an archive's), searched side by side: their texts are
// gathered in rounds of about 1 MiB per thread, a round is searched on `threads` threads while
// the next one is gathered, and the addresses are handed to `sink` in the members' order, as
// ReadPlainText and `collector` would have found them one after the other. Everything else the
// input gives passes through to `collector`, once what is held here has been handed on. Memory
// stays bounded: two rounds and their addresses.
class MemberRounds : public TextReceiver
{
public:
    MemberRounds(BlockSink &sink, AddressCollector &collector, std::size_t threads,
                 InputEncoding encoding, bool withLines, std::atomic<std::int64_t> *found);
    ~MemberRounds() override;
    MemberRounds(const MemberRounds &) = delete;
    MemberRounds &operator=(const MemberRounds &) = delete;

    // Takes the whole text of a member shorter than a piece, 8-bit (not UTF-16), to be read as
    // plain text under the collector's current name. False, with nothing read, for any other:
    // the caller reads it as usual, after flush().
    bool take(PeekableSource &stream);

    // Searches what is held and hands it on; before anything else of the input reaches the sink
    // (at its end, and after a fault too).
    void flush();

    void text(std::string_view utf8, std::int64_t line, bool linesFollow) override;
    void member(const QString &shownName) override;
    void warning(const QString &message) override;

private:
    class BlockList : public BlockSink
    {
    public:
        void push(EntryBlock &&block) override { blocks.push_back(std::move(block)); }
        std::vector<EntryBlock> blocks;
    };

    struct Member
    {
        QByteArray name;
        QByteArray text;
        InputEncoding encoding = InputEncoding::Auto;
        std::size_t skip = 0; // the byte-order mark
        BlockList found;
    };

    struct Round
    {
        std::vector<Member> members;
        std::size_t bytes = 0;
    };

    void startSearch();
    void finishSearch();
    void search(Round &round);
    void handOn(Round &round);

    BlockSink &m_sink;
    AddressCollector &m_collector;
    const std::size_t m_threads;
    const InputEncoding m_encoding;
    const bool m_withLines;
    std::atomic<std::int64_t> *const m_found;
    Round m_gathering;
    Round m_searching;
    // Last: the search stops before the rounds it reads go.
    std::optional<BackgroundWork> m_search;
};
