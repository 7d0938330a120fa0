#include "formats/containers.h"

#include <cctype>

#include <QByteArrayView>

#include "formats/archive_source.h"
#include "formats/containers_text.h"
#include "formats/office_text.h"
#include "formats/pdf_text.h"
#include "formats/rtf_text.h"

namespace {

// Enough for every signature below; tar's sits at offset 257.
constexpr std::size_t kHeadSize = 1024;

enum class Content { Stream, Compressed, Archive, SevenZip, Office, Pdf, Rtf };

bool At(QByteArrayView head, qsizetype offset, QByteArrayView magic)
{
    return head.size() >= offset + magic.size() && head.sliced(offset, magic.size()) == magic;
}

// A cpio header in ASCII: its magic, then every field in octal (odc) or hexadecimal (newc)
// digits. A list of phone numbers may well start with "070707"; it has no such header.
bool IsAsciiCpio(QByteArrayView head)
{
    const bool newc = head.startsWith("070701") || head.startsWith("070702");
    const bool odc = head.startsWith("070707");
    const qsizetype length = newc ? 110 : 76;
    if ((!newc && !odc) || head.size() < length)
        return false;
    for (qsizetype i = 6; i < length; ++i) {
        const char c = head[i];
        const bool digit =
            newc ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '7');
        if (!digit)
            return false;
    }
    return true;
}

Content Detect(QByteArrayView head)
{
    using namespace Qt::Literals::StringLiterals;
    // Compressed streams: gzip, bzip2 (a block or the end of the stream after the level), xz,
    // zstd, lzip, lzma, lz4, compress, lzop.
    const bool bzip2 =
        At(head, 0, "BZh"_ba) && head.size() > 3 && head[3] >= '1' && head[3] <= '9' &&
        (At(head, 4, "\x31\x41\x59\x26\x53\x59"_ba) || At(head, 4, "\x17\x72\x45\x38\x50\x90"_ba));
    if (At(head, 0, "\x1f\x8b\x08"_ba) || bzip2 ||
        At(head, 0,
           "\xfd"
           "7zXZ\x00"_ba) ||
        At(head, 0, "\x28\xb5\x2f\xfd"_ba) || At(head, 0, "LZIP\x01"_ba) ||
        At(head, 0, "\x5d\x00\x00"_ba) || At(head, 0, "\x04\x22\x4d\x18"_ba) ||
        At(head, 0, "\x1f\x9d"_ba) || At(head, 0, "\x89LZO\x00\r\n\x1a\n"_ba))
        return Content::Compressed;
    if (At(head, 0, "7z\xbc\xaf\x27\x1c"_ba))
        return Content::SevenZip;
    if (At(head, 0, "PK\x03\x04"_ba))
        return DetectOfficeKind(head) != OfficeKind::None ? Content::Office : Content::Archive;
    // Archives: empty zip, tar (POSIX and GNU), cpio (ASCII and binary), ar, RAR, cabinet,
    // xar, LHA.
    if (At(head, 0, "PK\x05\x06"_ba) || At(head, 0, "PK\x07\x08"_ba) ||
        At(head, 257, "ustar\0"_ba) || At(head, 257, "ustar  \0"_ba) || IsAsciiCpio(head) ||
        At(head, 0, "\xc7\x71"_ba) || At(head, 0, "\x71\xc7"_ba) || At(head, 0, "!<arch>\n"_ba) ||
        At(head, 0, "Rar!\x1a\x07"_ba) || At(head, 0, "MSCF\0\0\0\0"_ba) ||
        At(head, 0, "xar!\0\x1c"_ba) || (At(head, 2, "-lh"_ba) && At(head, 6, "-"_ba)))
        return Content::Archive;
    if (IsPdf(head))
        return Content::Pdf;
    if (IsRtf(head))
        return Content::Rtf;
    return Content::Stream;
}

class ContainerReader
{
public:
    ContainerReader(const QString &inputName, const ContainerLimits &limits, TextReceiver &receiver,
                    const StreamReader &readStream)
        : m_limits(limits), m_receiver(receiver), m_readStream(readStream),
          m_budget(limits.maxExpand, inputName)
    {}

    // `announce`: the input is a member, told to the receiver once it is known to hold no
    // further container (one that does tells its own members instead).
    // `depth` counts the containers around the input. libarchive peels stacked compressions
    // itself (and refuses a stack too high); a compressed stream found inside one anyway
    // counts as a level.
    void read(PeekableSource &source, const QString &shownName, int depth, bool announce,
              bool compressedAround = false)
    {
        const QByteArrayView head = source.peek(kHeadSize);
        const Content content = Detect(head);
        const bool container = content == Content::Compressed || content == Content::Archive ||
                               content == Content::SevenZip;
        if (announce && !container) {
            m_receiver.member(shownName);
            m_named = true;
        }
        switch (content) {
        case Content::Stream:
            m_readStream(source, shownName);
            return;
        case Content::Pdf: {
            ContainerLineSink sink(m_receiver);
            readPdf(source, shownName, sink);
            return;
        }
        case Content::Rtf: {
            ContainerLineSink sink(m_receiver);
            flushAfter(sink, [&] { ReadRtfText(source, sink); });
            return;
        }
        case Content::Office:
            readOffice(source, shownName, DetectOfficeKind(head));
            return;
        case Content::Compressed:
        case Content::Archive:
        case Content::SevenZip:
            if (content != Content::Compressed || compressedAround)
                ++depth;
            if (depth > m_limits.maxDepth) {
                m_receiver.warning(
                    QStringLiteral("Conteneurs trop imbriqués, « %1 » n'est pas ouvert (plus de %2 "
                                   "niveaux)")
                        .arg(shownName)
                        .arg(m_limits.maxDepth));
                return;
            }
            readArchive(source, shownName, depth, announce,
                        content == Content::Compressed ? ArchiveReader::Kind::CompressedStream
                        : content == Content::SevenZip ? ArchiveReader::Kind::ArchiveInMemory
                                                       : ArchiveReader::Kind::Archive);
            return;
        }
    }

private:
    // What was read before a fault is handed on before the fault itself.
    template <typename Work> static void flushAfter(ContainerLineSink &sink, Work work)
    {
        try {
            work();
        } catch (...) {
            sink.flush();
            throw;
        }
        sink.flush();
    }

    void readPdf(PeekableSource &source, const QString &shownName, ContainerLineSink &sink)
    {
        flushAfter(sink, [&] { ReadPdfText(source, shownName, m_limits.maxExpand, sink); });
    }

    void readArchive(PeekableSource &source, const QString &shownName, int depth, bool announce,
                     ArchiveReader::Kind kind)
    {
        ArchiveReader archive(source, shownName, m_budget, kind);
        while (archive.next()) {
            if (archive.isRaw()) {
                // A compressed single file: its content is read as the input itself.
                ArchiveMemberSource member(archive);
                ReadAheadSource ahead(member);
                PeekableSource content(ahead);
                read(content, shownName, depth, announce, true);
                continue;
            }
            if (!archive.isRegularFile())
                continue;
            // The name is only shown: nothing is ever written, so `..` or a leading `/` is
            // harmless here.
            const QString memberName = shownName + QLatin1String("//") + archive.path();
            if (archive.isEncrypted()) {
                m_receiver.warning(QStringLiteral("Membre chiffré, non lu « %1 »").arg(memberName));
                continue;
            }
            ArchiveMemberSource member(archive);
            PeekableSource content(member);
            try {
                read(content, memberName, depth, true);
            } catch (const ExpandLimitError &) {
                throw;
            } catch (const AppError &error) {
                // A fault of this archive's own bytes ends it; one inside a member (a nested
                // archive, a document) does not stop the members after it.
                if (archive.failed())
                    throw;
                m_receiver.warning(error.message());
            }
        }
    }

    void readOffice(PeekableSource &source, const QString &shownName, OfficeKind kind)
    {
        ArchiveReader archive(source, shownName, m_budget, ArchiveReader::Kind::Archive);
        ContainerLineSink sink(m_receiver);
        flushAfter(sink, [&] {
            while (archive.next()) {
                if (!archive.isRegularFile() || !IsOfficeTextPart(kind, archive.path()))
                    continue;
                if (archive.isEncrypted())
                    throw AppError(QStringLiteral("Document chiffré « %1 »").arg(shownName));
                ArchiveMemberSource part(archive);
                ReadOfficePart(kind, part, shownName, archive.path(), sink);
            }
        });
    }

public:
    // Back to the input itself once its members are done, or once a fault stopped them.
    void endMembers()
    {
        if (m_named)
            m_receiver.member(QString());
        m_named = false;
    }

private:
    const ContainerLimits &m_limits;
    TextReceiver &m_receiver;
    const StreamReader &m_readStream;
    ExpandBudget m_budget;
    bool m_named = false;
};

} // namespace

void ReadContainers(PeekableSource &source, const QString &shownName, const ContainerLimits &limits,
                    TextReceiver &receiver, const StreamReader &readStream)
{
    ContainerReader reader(shownName, limits, receiver, readStream);
    try {
        reader.read(source, shownName, 0, false);
    } catch (...) {
        reader.endMembers();
        throw;
    }
    reader.endMembers();
}
