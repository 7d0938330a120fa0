#include "formats/archive_source.h"

#include <archive.h>
#include <archive_entry.h>

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
    m_used += bytes;
    if (m_used > m_limit)
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
    return true;
}

std::size_t ArchiveReader::read(char *buffer, std::size_t size)
{
    if (m_failed)
        fail();
    const la_ssize_t got = archive_read_data(m_archive, buffer, size);
    if (got < 0)
        fail();
    m_budget.spend(static_cast<std::size_t>(got));
    return static_cast<std::size_t>(got);
}
