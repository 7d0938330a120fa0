#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include <QByteArray>

#include "cli/address_collector.h"
#include "cli/entry_block.h"
#include "formats/byte_source.h"
#include "formats/text_receiver.h"
#include "io/input_encoding.h"
#include "platform/parallel.h"

// Small plain-text members of one input (an archive's), searched side by side: the reading
// thread hands each member's text to a queue that `threads - 1` helper threads search while it
// reads the next members, and helps with the search itself whenever the queue is full. The
// addresses reach `sink` in the members' order, as ReadPlainText and `collector` would have
// found them one after the other. Everything else the input gives passes through to
// `collector`, once what is queued has been handed on. Memory stays bounded: about 2 MiB of
// text per thread, and its addresses.
class MemberSearch : public TextReceiver
{
public:
    MemberSearch(BlockSink &sink, AddressCollector &collector, std::size_t threads,
                 InputEncoding encoding, bool withLines, std::atomic<std::int64_t> *found);
    // Stops the helpers, even with members left in the queue.
    ~MemberSearch() override;
    MemberSearch(const MemberSearch &) = delete;
    MemberSearch &operator=(const MemberSearch &) = delete;

    // Takes the whole text of a member shorter than a piece, 8-bit (not UTF-16), to be read as
    // plain text under the collector's current name. False, with nothing read, for any other:
    // the caller reads it as usual, after flush().
    bool take(PeekableSource &stream);

    // Searches what is queued and hands it on: before anything else of the input reaches the
    // sink (at its end, and after a fault too). Raises what the search of a member raised, once
    // the members before it were handed on.
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
        std::size_t bytes = 0;
        BlockList found;
        std::exception_ptr failure;
        bool done = false; // guarded by m_mutex
    };

    void startHelpers();
    void help();
    // Takes the first member waiting and searches it, with `lock` (on m_mutex) released meanwhile.
    void searchFirstWaiting(std::unique_lock<std::mutex> &lock);
    void search(Member &member);
    // Hands on the members searched at the front of the queue; with `all`, waits for the rest.
    void handOn(bool all);

    BlockSink &m_sink;
    AddressCollector &m_collector;
    const std::size_t m_threads;
    const InputEncoding m_encoding;
    const bool m_withLines;
    std::atomic<std::int64_t> *const m_found;
    std::mutex m_mutex;
    std::condition_variable m_queued;            // a member waits, or the helpers must stop
    std::condition_variable m_searched;          // a member is done
    std::deque<std::unique_ptr<Member>> m_order; // not handed on yet, in the input's order
    std::deque<Member *> m_waiting;              // guarded by m_mutex: not taken by a searcher
    std::size_t m_held = 0;                      // the bytes of m_order's texts
    bool m_stop = false;                         // guarded by m_mutex
    bool m_started = false;                      // the helpers, once the first member came
    bool m_failed = false;                       // a member's search failed
    // Last: the helpers stop before the members they use go.
    std::vector<std::unique_ptr<BackgroundWork>> m_helpers;
};
