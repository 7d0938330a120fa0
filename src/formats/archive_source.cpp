#include "formats/archive_source.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "io/input_encoding.h"

namespace {

constexpr std::size_t kInputPiece = std::size_t{1} << 20;

QString EntryPath(archive_entry *entry)
{
    if (const char *utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    // A name the library could not convert: its bytes as any other text of unknown encoding.
    const char *raw = archive_entry_pathname(entry);
    if (raw == nullptr)
        return QString();
    std::string text;
    AppendAsUtf8(QByteArrayView(raw), InputEncoding::Auto, text);
    return QString::fromStdString(text);
}

} // namespace

void ExpandBudget::spend(std::size_t bytes)
{
    if (m_used.fetch_add(bytes, std::memory_order_relaxed) + bytes > m_limit)
        throw ExpandLimitError(QStringLiteral("Trop de données décompressées « %1 » : plus de %2 "
                                              "octets (--max-expand)")
                                   .arg(m_inputName)
                                   .arg(m_limit));
}

ArchiveReader::ArchiveReader(ByteSource &outer, const QString &shownName, ExpandBudget &budget,
                             Kind kind)
    : m_outer(outer), m_shownName(shownName), m_budget(budget), m_input(kInputPiece)
{
    m_archive = archive_read_new();
    if (m_archive == nullptr)
        throw AppError(
            QStringLiteral("Archive illisible « %1 » : mémoire insuffisante").arg(m_shownName));
    archive_read_support_filter_all(m_archive);
    // Raw alone for a compressed stream: with the archive formats too, libarchive would take
    // a stream of zeros for an empty tar and never read it.
    if (kind == Kind::CompressedStream)
        archive_read_support_format_raw(m_archive);
    else
        archive_read_support_format_all(m_archive);
    // The destructor does not run when the constructor raises: the library's state is freed
    // here then.
    try {
        if (kind == Kind::ArchiveInMemory) {
            readWhole();
            if (archive_read_open_memory(m_archive, m_input.data(), m_input.size()) != ARCHIVE_OK)
                fail();
        } else if (archive_read_open(m_archive, this, nullptr, &ArchiveReader::readCallback,
                                     nullptr) != ARCHIVE_OK) {
            fail();
        }
    } catch (...) {
        archive_read_free(m_archive);
        m_archive = nullptr;
        throw;
    }
}

ArchiveReader::~ArchiveReader()
{
    archive_read_free(m_archive);
}

long ArchiveReader::readCallback(archive *a, void *self, const void **buffer)
{
    auto *reader = static_cast<ArchiveReader *>(self);
    // No exception may cross the library: it is kept and raised again once the call returns.
    try {
        *buffer = reader->m_input.data();
        return static_cast<long long>(
            reader->m_outer.read(reader->m_input.data(), reader->m_input.size()));
    } catch (...) {
        reader->m_pending = std::current_exception();
        archive_set_error(a, EIO, "read failed");
        return -1;
    }
}

void ArchiveReader::readWhole()
{
    m_input.clear();
    for (;;) {
        const std::size_t had = m_input.size();
        if (had > kLargestInMemory)
            throw AppError(QStringLiteral("Archive trop grande pour être lue « %1 » : plus de %2 "
                                          "octets")
                               .arg(m_shownName)
                               .arg(kLargestInMemory));
        m_input.resize(had + kInputPiece);
        const std::size_t got = m_outer.read(m_input.data() + had, kInputPiece);
        m_input.resize(had + got);
        if (got == 0)
            return;
    }
}

void ArchiveReader::fail()
{
    m_failed = true;
    if (m_pending) {
        std::exception_ptr pending = m_pending;
        m_pending = nullptr;
        std::rethrow_exception(pending);
    }
    const char *why = archive_error_string(m_archive);
    throw AppError(QStringLiteral("Archive illisible « %1 » : %2")
                       .arg(m_shownName, why != nullptr ? QString::fromUtf8(why)
                                                        : QStringLiteral("erreur inconnue")));
}

bool ArchiveReader::next()
{
    if (m_failed)
        return false;
    archive_entry *entry = nullptr;
    const int status = archive_read_next_header(m_archive, &entry);
    if (status == ARCHIVE_EOF)
        return false;
    if (status < ARCHIVE_WARN || entry == nullptr)
        fail();
    m_raw = archive_format(m_archive) == ARCHIVE_FORMAT_RAW;
    m_path = EntryPath(entry);
    m_regular = m_raw || archive_entry_filetype(entry) == AE_IFREG;
    m_encrypted = archive_entry_is_encrypted(entry) != 0;
    m_block = nullptr;
    m_blockLeft = 0;
    m_holeLeft = 0;
    m_position = 0;
    m_dataEnded = false;
    return true;
}

std::size_t ArchiveReader::read(char *buffer, std::size_t size)
{
    if (m_failed)
        fail();
    // Block by block: archive_read_data drops what it had copied for a call that then fails,
    // and the bytes before a fault must reach the reader.
    while (m_blockLeft == 0 && m_holeLeft == 0) {
        if (m_dataEnded)
            return 0;
        const void *block = nullptr;
        std::size_t length = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(m_archive, &block, &length, &offset);
        if (status == ARCHIVE_EOF) {
            m_dataEnded = true;
            return 0;
        }
        if (status < ARCHIVE_WARN)
            fail();
        // A hole of a sparse member reads as zeros.
        if (offset > m_position)
            m_holeLeft = static_cast<std::uint64_t>(offset - m_position);
        m_block = static_cast<const char *>(block);
        m_blockLeft = length;
    }
    std::size_t n;
    if (m_holeLeft > 0) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_holeLeft));
        std::memset(buffer, 0, n);
        m_holeLeft -= n;
    } else {
        n = std::min(size, m_blockLeft);
        std::memcpy(buffer, m_block, n);
        m_block += n;
        m_blockLeft -= n;
    }
    m_position += static_cast<std::int64_t>(n);
    m_budget.spend(n);
    return n;
}

ReadAheadSource::ReadAheadSource(ByteSource &inner) : m_inner(inner)
{
    for (std::size_t i = 0; i < kPieces; ++i)
        m_empty.emplace_back(kInputPiece);
    m_filler.emplace([this] { fill(); });
}

ReadAheadSource::~ReadAheadSource()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_filler.reset();
}

void ReadAheadSource::fill()
{
    for (;;) {
        std::vector<char> piece;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || !m_empty.empty(); });
            if (m_stop)
                return;
            piece = std::move(m_empty.back());
            m_empty.pop_back();
        }
        piece.resize(kInputPiece);
        std::size_t got = 0;
        std::exception_ptr fault;
        try {
            // Fill the piece whole where the source allows, so the reader gets large pieces.
            while (got < piece.size()) {
                const std::size_t n = m_inner.read(piece.data() + got, piece.size() - got);
                if (n == 0)
                    break;
                got += n;
            }
        } catch (...) {
            fault = std::current_exception();
        }
        const bool ended = fault != nullptr || got < piece.size();
        piece.resize(got);
        {
            std::lock_guard lock(m_mutex);
            try {
                if (got > 0)
                    m_full.push_back(std::move(piece));
                m_fault = fault;
                m_ended = ended;
            } catch (...) {
                // The reader must not wait for a piece that never comes.
                m_fault = std::current_exception();
                m_ended = true;
            }
        }
        m_changed.notify_all();
        if (m_ended)
            return;
    }
}

std::size_t ReadAheadSource::read(char *buffer, std::size_t size)
{
    if (!m_filler->running())
        return m_inner.read(buffer, size);
    if (m_at == m_current.size()) {
        std::unique_lock lock(m_mutex);
        if (!m_current.empty()) {
            m_empty.push_back(std::move(m_current));
            m_current = {};
            m_changed.notify_all();
        }
        m_at = 0;
        m_changed.wait(lock, [this] { return !m_full.empty() || m_ended; });
        if (m_full.empty()) {
            if (m_fault)
                std::rethrow_exception(m_fault);
            return 0;
        }
        m_current = std::move(m_full.front());
        m_full.pop_front();
    }
    const std::size_t n = std::min(size, m_current.size() - m_at);
    std::memcpy(buffer, m_current.data() + m_at, n);
    m_at += n;
    return n;
}
