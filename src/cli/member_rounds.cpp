#include "cli/member_rounds.h"

#include <algorithm>
#include <string_view>

#include "cli/plain_text.h"

namespace {

constexpr std::size_t pieceSize = std::size_t{1} << 20;
// Enough of a text's head to tell its byte-order mark, or UTF-16 without one.
constexpr std::size_t markHead = 4096;

} // namespace

MemberRounds::MemberRounds(BlockSink &sink, AddressCollector &collector, std::size_t threads,
                           InputEncoding encoding, bool withLines, std::atomic<std::int64_t> *found)
    : m_sink(sink), m_collector(collector), m_threads(threads), m_encoding(encoding),
      m_withLines(withLines), m_found(found)
{}

MemberRounds::~MemberRounds() = default;

bool MemberRounds::take(PeekableSource &stream)
{
    if (m_threads < 2)
        return false;
    const QByteArrayView text = stream.peek(pieceSize);
    if (text.size() >= static_cast<qsizetype>(pieceSize))
        return false;
    const PlainTextStart start =
        StartOfPlainText(text.first(std::min<qsizetype>(text.size(), markHead)), {m_encoding});
    if (start.encoding == InputEncoding::Utf16LE || start.encoding == InputEncoding::Utf16BE)
        return false;
    Member member;
    member.name = m_collector.currentName();
    member.text = text.toByteArray();
    member.encoding = start.encoding;
    member.skip = start.markLength;
    m_gathering.bytes += static_cast<std::size_t>(text.size());
    m_gathering.members.push_back(std::move(member));
    if (m_gathering.bytes >= m_threads * pieceSize)
        startSearch();
    return true;
}

void MemberRounds::flush()
{
    finishSearch();
    if (m_gathering.members.empty())
        return;
    try {
        search(m_gathering);
    } catch (...) {
        m_gathering = Round();
        throw;
    }
    handOn(m_gathering);
}

void MemberRounds::text(std::string_view utf8, std::int64_t line, bool linesFollow)
{
    flush();
    m_collector.text(utf8, line, linesFollow);
}

// What the collector holds came before what the rounds hold: handing it on now keeps the order.
void MemberRounds::member(const QString &shownName)
{
    m_collector.member(shownName);
}

void MemberRounds::warning(const QString &message)
{
    flush();
    m_collector.warning(message);
}

// The round gathered is searched on other threads while this one gathers the next.
void MemberRounds::startSearch()
{
    finishSearch();
    std::swap(m_gathering, m_searching);
    m_search.emplace([this] { search(m_searching); });
}

void MemberRounds::finishSearch()
{
    if (!m_search)
        return;
    try {
        m_search->join();
    } catch (...) {
        m_search.reset();
        m_searching = Round();
        throw;
    }
    m_search.reset();
    handOn(m_searching);
}

void MemberRounds::search(Round &round)
{
    std::atomic<std::size_t> next = 0;
    const std::size_t count = round.members.size();
    RunOnThreads(std::min(m_threads, count), [&](std::size_t) {
        for (std::size_t k; (k = next++) < count;) {
            Member &member = round.members[k];
            AddressCollector collector(member.found, member.name, m_withLines, m_found);
            const std::string_view text(member.text.constData() + member.skip,
                                        static_cast<std::size_t>(member.text.size()) - member.skip);
            ScanTextPiece(text, member.encoding, 1, m_withLines, collector);
            collector.flush();
            member.text = QByteArray();
        }
    });
}

void MemberRounds::handOn(Round &round)
{
    m_collector.flush();
    for (Member &member : round.members) {
        for (EntryBlock &block : member.found.blocks)
            m_sink.push(std::move(block));
    }
    round = Round();
}
