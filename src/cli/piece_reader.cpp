#include "cli/piece_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "cli/address_collector.h"
#include "cli/plain_text.h"
#include "formats/decoder_support.h"
#include "platform/parallel.h"

namespace {

constexpr std::size_t pieceSize = std::size_t{1} << 20;

// Tells the lines of a piece's decoder as lines of the whole input.
class LinesFrom : public TextReceiver
{
public:
    LinesFrom(TextReceiver &inner, std::int64_t firstLine) : m_inner(inner), m_shift(firstLine - 1)
    {}
    void text(std::string_view utf8, std::int64_t line, bool linesFollow) override
    {
        m_inner.text(utf8, line + m_shift, linesFollow);
    }
    void member(const QString &shownName) override { m_inner.member(shownName); }
    void warning(const QString &message) override { m_inner.warning(message); }

private:
    TextReceiver &m_inner;
    std::int64_t m_shift;
};

// Where a full piece of a mailbox ends: just before its last message, at a line "From " after
// a blank line, as the mail decoder tells messages apart; 0 when the piece holds no such line.
std::size_t MailboxPieceEnd(const char *d, std::size_t n)
{
    const std::string_view text(d, n);
    for (std::size_t at = text.rfind("\nFrom "); at != std::string_view::npos && at > 0;
         at = text.rfind("\nFrom ", at - 1)) {
        if (text[at - 1] == '\n' || (at > 1 && text[at - 1] == '\r' && text[at - 2] == '\n'))
            return at + 1;
    }
    return 0;
}

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
    PieceReader(PeekableSource &source, PieceKind kind, InputEncoding encoding, std::size_t threads,
                const QByteArray &name, bool withLines, std::atomic<std::int64_t> *found)
        : m_source(source), m_mailbox(kind == PieceKind::Mailbox), m_encoding(encoding),
          m_withLines(withLines), m_name(name), m_found(found)
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
                        const std::string_view piece(share.piece.get(), share.size);
                        if (m_mailbox) {
                            LinesFrom receiver(*share.collector, share.firstLine);
                            const auto decoder = MakeMailDecoder(m_encoding, receiver);
                            decoder->push(piece);
                            decoder->finish();
                        } else {
                            ScanTextPiece(piece, m_encoding, share.firstLine, m_withLines,
                                          *share.collector);
                        }
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
        if (m_oneByOne)
            decodeTheRest(sink);
    }

private:
    // Cuts the next pieces from the source, one per share (empty ones once it has ended).
    void fill(std::vector<Share> &round)
    {
        for (Share &share : round) {
            share.size = 0;
            if (m_oneByOne)
                continue;
            std::size_t held = m_carry.size();
            if (held > 0)
                std::memcpy(share.piece.get(), m_carry.data(), held);
            m_carry.clear();
            while (!m_ended && held < pieceSize) {
                const std::size_t got = m_source.read(share.piece.get() + held, pieceSize - held);
                if (got == 0)
                    m_ended = true;
                held += got;
            }
            const std::size_t end = m_ended     ? held
                                    : m_mailbox ? MailboxPieceEnd(share.piece.get(), held)
                                                : PieceEnd(share.piece.get(), held);
            m_carry.assign(share.piece.get() + end, share.piece.get() + held);
            if (end == 0 && held > 0) {
                // A message longer than a piece: the rest is decoded in one stream.
                m_oneByOne = true;
                continue;
            }
            share.size = end;
            share.firstLine = m_line;
            const std::string_view piece(share.piece.get(), end);
            if (m_mailbox)
                m_line += std::count(piece.begin(), piece.end(), '\n');
            else if (m_withLines)
                m_line += CountLineEnds(piece);
        }
    }

    // The mailbox from a message longer than a piece on, on this thread.
    void decodeTheRest(BlockSink &sink)
    {
        AddressCollector collector(sink, m_name, m_withLines, m_found);
        LinesFrom receiver(collector, m_line);
        const auto decoder = MakeMailDecoder(m_encoding, receiver);
        std::vector<char> buffer(256 * 1024);
        try {
            decoder->push(std::string_view(m_carry.data(), m_carry.size()));
            m_carry = {};
            for (std::size_t got; (got = m_source.read(buffer.data(), buffer.size())) > 0;)
                decoder->push(std::string_view(buffer.data(), got));
        } catch (...) {
            decoder->finish();
            collector.flush();
            throw;
        }
        decoder->finish();
        collector.flush();
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
    const bool m_mailbox;
    const InputEncoding m_encoding;
    const bool m_withLines;
    const QByteArray m_name;
    std::atomic<std::int64_t> *const m_found;
    bool m_oneByOne = false;
    std::vector<Share> m_rounds[2];
    std::vector<char> m_carry;
    std::int64_t m_line = 1;
    bool m_ended = false;
};

} // namespace

bool FindAddressesInPieces(PeekableSource &source, PieceKind kind, InputEncoding encoding,
                           std::size_t threads, BlockSink &sink, const QByteArray &name,
                           bool withLines, std::atomic<std::int64_t> *found)
{
    threads = std::max<std::size_t>(threads, 1);
    if (kind == PieceKind::Mailbox) {
        if (!source.peek(5).startsWith("From "))
            return false;
        PieceReader reader(source, kind, encoding, threads, name, withLines, found);
        reader.run(sink);
        return true;
    }
    const PlainTextStart start = StartOfPlainText(source.peek(4096), {encoding, false});
    if (start.encoding == InputEncoding::Utf16LE || start.encoding == InputEncoding::Utf16BE)
        return false;
    char mark[4];
    for (std::size_t skipped = 0; skipped < start.markLength;) {
        const std::size_t got = source.read(mark, start.markLength - skipped);
        if (got == 0)
            break;
        skipped += got;
    }
    PieceReader reader(source, kind, start.encoding, threads, name, withLines, found);
    reader.run(sink);
    return true;
}
