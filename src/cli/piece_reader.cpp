#include "cli/piece_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "cli/address_collector.h"
#include "cli/plain_text.h"
#include "platform/parallel.h"

namespace {

constexpr std::size_t pieceSize = std::size_t{1} << 20;

class BlockList : public BlockSink
{
public:
    void push(EntryBlock &&block) override { blocks.push_back(std::move(block)); }
    std::vector<EntryBlock> blocks;
};

struct Share
{
    std::unique_ptr<char[]> piece; // pieceSize bytes, left uninitialised
    std::size_t size = 0;
    std::int64_t firstLine = 1;
    BlockList found;
    std::unique_ptr<AddressCollector> collector;
};

class PieceReader
{
public:
    PieceReader(PeekableSource &source, InputEncoding encoding, std::size_t threads,
                const QByteArray &name, bool withLines, std::atomic<std::int64_t> *found)
        : m_source(source), m_encoding(encoding), m_withLines(withLines)
    {
        for (std::vector<Share> &round : m_rounds) {
            round = std::vector<Share>(threads);
            for (Share &share : round) {
                share.piece.reset(new char[pieceSize]);
                share.collector =
                    std::make_unique<AddressCollector>(share.found, name, withLines, found);
            }
        }
    }

    void run(BlockSink &sink)
    {
        std::vector<Share> *current = &m_rounds[0];
        std::vector<Share> *next = &m_rounds[1];
        fill(*current);
        while (!current->empty() && current->front().size > 0) {
            try {
                RunOnThreads(current->size(), [&](std::size_t k) {
                    Share &share = (*current)[k];
                    if (share.size > 0) {
                        ScanTextPiece(std::string_view(share.piece.get(), share.size), m_encoding,
                                      share.firstLine, m_withLines, *share.collector);
                        share.collector->flush();
                    }
                    if (k == 0)
                        fill(*next);
                });
            } catch (...) {
                // What was found before the fault is still told.
                handOn(*current, sink);
                throw;
            }
            handOn(*current, sink);
            std::swap(current, next);
        }
    }

private:
    // Cuts the next pieces from the source, one per share (empty ones once it has ended).
    void fill(std::vector<Share> &round)
    {
        for (Share &share : round) {
            std::size_t held = m_carry.size();
            std::memcpy(share.piece.get(), m_carry.data(), held);
            m_carry.clear();
            while (!m_ended && held < pieceSize) {
                const std::size_t got = m_source.read(share.piece.get() + held, pieceSize - held);
                if (got == 0)
                    m_ended = true;
                held += got;
            }
            const std::size_t end = m_ended ? held : PieceEnd(share.piece.get(), held);
            m_carry.assign(share.piece.get() + end, share.piece.get() + held);
            share.size = end;
            share.firstLine = m_line;
            if (m_withLines)
                m_line += CountLineEnds(std::string_view(share.piece.get(), end));
        }
    }

    static void handOn(std::vector<Share> &round, BlockSink &sink)
    {
        for (Share &share : round) {
            for (EntryBlock &block : share.found.blocks)
                sink.push(std::move(block));
            share.found.blocks.clear();
            share.size = 0;
        }
    }

    PeekableSource &m_source;
    const InputEncoding m_encoding;
    const bool m_withLines;
    std::vector<Share> m_rounds[2];
    std::vector<char> m_carry;
    std::int64_t m_line = 1;
    bool m_ended = false;
};

} // namespace

bool FindAddressesInPieces(PeekableSource &source, InputEncoding encoding, std::size_t threads,
                           BlockSink &sink, const QByteArray &name, bool withLines,
                           std::atomic<std::int64_t> *found)
{
    const PlainTextStart start = StartOfPlainText(source.peek(4), {encoding, false});
    if (start.encoding == InputEncoding::Utf16LE || start.encoding == InputEncoding::Utf16BE)
        return false;
    char mark[4];
    for (std::size_t skipped = 0; skipped < start.markLength;) {
        const std::size_t got = source.read(mark, start.markLength - skipped);
        if (got == 0)
            break;
        skipped += got;
    }
    PieceReader reader(source, start.encoding, std::max<std::size_t>(threads, 1), name, withLines,
                       found);
    reader.run(sink);
    return true;
}
