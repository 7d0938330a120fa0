#include "cli/member_search.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "cli/plain_text.h"

namespace {

constexpr std::size_t pieceSize = std::size_t{1} << 20;
// Enough of a text's head to tell its byte-order mark, or UTF-16 without one.
constexpr std::size_t markHead = 4096;

} // namespace

MemberSearch::MemberSearch(BlockSink &sink, AddressCollector &collector, std::size_t threads,
                           InputEncoding encoding, bool withLines, std::atomic<std::int64_t> *found)
    : m_sink(sink), m_collector(collector), m_threads(threads), m_encoding(encoding),
      m_withLines(withLines), m_found(found)
{}

MemberSearch::~MemberSearch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_queued.notify_all();
    m_helpers.clear();
}

bool MemberSearch::take(PeekableSource &stream)
{
    if (m_threads < 2 || m_failed)
        return false;
    const QByteArrayView text = stream.peek(pieceSize);
    if (text.size() >= static_cast<qsizetype>(pieceSize))
        return false;
    const PlainTextStart start =
        StartOfPlainText(text.first(std::min<qsizetype>(text.size(), markHead)), {m_encoding});
    if (start.encoding == InputEncoding::Utf16LE || start.encoding == InputEncoding::Utf16BE)
        return false;
    auto member = std::make_unique<Member>();
    member->name = m_collector.currentName();
    member->text = text.toByteArray();
    member->encoding = start.encoding;
    member->skip = start.markLength;
    member->bytes = static_cast<std::size_t>(text.size());
    if (!std::exchange(m_started, true))
        startHelpers();
    m_held += member->bytes;
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(member.get());
        m_order.push_back(std::move(member));
    }
    m_queued.notify_one();
    // Full: this thread searches too until the queue has room again.
    while (m_held >= 2 * m_threads * pieceSize) {
        help();
        handOn(false);
    }
    handOn(false);
    return true;
}

void MemberSearch::flush()
{
    handOn(true);
}

void MemberSearch::text(std::string_view utf8, std::int64_t line, bool linesFollow)
{
    flush();
    m_collector.text(utf8, line, linesFollow);
}

// What the collector holds came before what is queued: handing it on now keeps the order.
void MemberSearch::member(const QString &shownName)
{
    m_collector.member(shownName);
}

void MemberSearch::warning(const QString &message)
{
    flush();
    m_collector.warning(message);
}

// A helper that cannot start leaves its share to this thread.
void MemberSearch::startHelpers()
{
    for (std::size_t k = 1; k < m_threads; ++k) {
        auto helper = std::make_unique<BackgroundWork>([this] {
            std::unique_lock lock(m_mutex);
            for (;;) {
                m_queued.wait(lock, [this] { return m_stop || !m_waiting.empty(); });
                if (m_stop)
                    return;
                searchFirstWaiting(lock);
            }
        });
        if (helper->running())
            m_helpers.push_back(std::move(helper));
    }
}

// Searches the next member waiting, or waits for one being searched.
void MemberSearch::help()
{
    std::unique_lock lock(m_mutex);
    if (m_waiting.empty()) {
        m_searched.wait(lock, [this] { return m_order.front()->done; });
        return;
    }
    searchFirstWaiting(lock);
}

void MemberSearch::searchFirstWaiting(std::unique_lock<std::mutex> &lock)
{
    Member *member = m_waiting.front();
    m_waiting.pop_front();
    lock.unlock();
    search(*member);
    lock.lock();
    member->done = true;
    m_searched.notify_all();
}

void MemberSearch::search(Member &member)
{
    try {
        AddressCollector collector(member.found, member.name, m_withLines, m_found);
        const std::string_view text(member.text.constData() + member.skip,
                                    static_cast<std::size_t>(member.text.size()) - member.skip);
        ScanTextPiece(text, member.encoding, 1, m_withLines, collector);
        collector.flush();
    } catch (...) {
        member.failure = std::current_exception();
    }
    member.text = QByteArray();
}

void MemberSearch::handOn(bool all)
{
    bool first = true;
    while (!m_failed) {
        std::unique_ptr<Member> member;
        {
            std::unique_lock lock(m_mutex);
            if (m_order.empty())
                return;
            if (!m_order.front()->done) {
                if (!all)
                    return;
                lock.unlock();
                help();
                continue;
            }
            member = std::move(m_order.front());
            m_order.pop_front();
        }
        m_held -= member->bytes;
        if (std::exchange(first, false))
            m_collector.flush();
        if (member->failure) {
            // The input ends here: nothing after the fault is handed on.
            m_failed = true;
            std::rethrow_exception(member->failure);
        }
        for (EntryBlock &block : member->found.blocks)
            m_sink.push(std::move(block));
    }
}
