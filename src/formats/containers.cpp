#include "formats/containers.h"

#include <QByteArrayView>

#include "formats/archive_source.h"
#include "formats/containers_text.h"
#include "formats/office_text.h"
#include "formats/pdf_text.h"
#include "formats/rtf_text.h"

namespace {

// Enough for every signature below; tar's sits at offset 257.
constexpr std::size_t kHeadSize = 1024;

enum class Content { Stream, Compressed, Archive, Office, Pdf, Rtf };

bool At(QByteArrayView head, qsizetype offset, QByteArrayView magic)
{
    return head.size() >= offset + magic.size() && head.sliced(offset, magic.size()) == magic;
}

Content Detect(QByteArrayView head)
{
    using namespace Qt::Literals::StringLiterals;
    // Compressed streams: gzip, bzip2, xz, zstd, lzip, lzma, lz4, compress, lzop.
    if (At(head, 0, "\x1f\x8b"_ba) || At(head, 0, "BZh"_ba) ||
        At(head, 0,
           "\xfd"
           "7zXZ\x00"_ba) ||
        At(head, 0, "\x28\xb5\x2f\xfd"_ba) || At(head, 0, "LZIP"_ba) ||
        At(head, 0, "\x5d\x00\x00"_ba) || At(head, 0, "\x04\x22\x4d\x18"_ba) ||
        At(head, 0, "\x1f\x9d"_ba) || At(head, 0, "\x89LZO\x00\r\n\x1a\n"_ba))
        return Content::Compressed;
    if (At(head, 0, "PK\x03\x04"_ba))
        return DetectOfficeKind(head) != OfficeKind::None ? Content::Office : Content::Archive;
    // Archives: empty zip, tar, 7z, cpio (ASCII and binary), ar, RAR, cabinet, xar, LHA.
    if (At(head, 0, "PK\x05\x06"_ba) || At(head, 0, "PK\x07\x08"_ba) || At(head, 257, "ustar"_ba) ||
        At(head, 0, "7z\xbc\xaf\x27\x1c"_ba) || At(head, 0, "07070"_ba) ||
        At(head, 0, "\xc7\x71"_ba) || At(head, 0, "\x71\xc7"_ba) || At(head, 0, "!<arch>\n"_ba) ||
        At(head, 0, "Rar!\x1a\x07"_ba) || At(head, 0, "MSCF\0\0\0\0"_ba) ||
        At(head, 0, "xar!"_ba) || (At(head, 2, "-lh"_ba) && At(head, 6, "-"_ba)))
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

    void read(PeekableSource &source, const QString &shownName, int depth)
    {
        const QByteArrayView head = source.peek(kHeadSize);
        switch (Detect(head)) {
        case Content::Stream:
            m_readStream(source, shownName);
            return;
        case Content::Pdf: {
            ContainerLineSink sink(m_receiver);
            ReadPdfTextFlushed(source, shownName, sink);
            return;
        }
        case Content::Rtf: {
            ContainerLineSink sink(m_receiver);
            FlushAfter(sink, [&] { ReadRtfText(source, sink); });
            return;
        }
        case Content::Office:
            readOffice(source, shownName, DetectOfficeKind(head));
            return;
        case Content::Compressed:
        case Content::Archive:
            if (depth >= m_limits.maxDepth) {
                m_receiver.warning(
                    QStringLiteral("Conteneurs trop imbriqués, « %1 » n’est pas ouvert (plus de %2 "
                                   "niveaux)")
                        .arg(shownName)
                        .arg(m_limits.maxDepth));
                return;
            }
            readArchive(source, shownName, depth);
            return;
        }
    }

private:
    // What was read before a fault is handed on before the fault itself.
    template <typename Work> static void FlushAfter(ContainerLineSink &sink, Work work)
    {
        try {
            work();
        } catch (...) {
            sink.flush();
            throw;
        }
        sink.flush();
    }

    void ReadPdfTextFlushed(PeekableSource &source, const QString &shownName,
                            ContainerLineSink &sink)
    {
        FlushAfter(sink, [&] { ReadPdfText(source, shownName, m_limits.maxExpand, sink); });
    }

    void readArchive(PeekableSource &source, const QString &shownName, int depth)
    {
        ArchiveReader archive(source, shownName, m_budget, true);
        bool named = false;
        while (archive.next()) {
            if (archive.isRaw()) {
                // A compressed single file: its content is read as the input itself.
                ArchiveMemberSource member(archive);
                PeekableSource content(member);
                read(content, shownName, depth + 1);
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
            m_receiver.member(memberName);
            named = true;
            ArchiveMemberSource member(archive);
            PeekableSource content(member);
            try {
                read(content, memberName, depth + 1);
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
        if (named)
            m_receiver.member(QString());
    }

    void readOffice(PeekableSource &source, const QString &shownName, OfficeKind kind)
    {
        ArchiveReader archive(source, shownName, m_budget, false);
        ContainerLineSink sink(m_receiver);
        FlushAfter(sink, [&] {
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

    const ContainerLimits &m_limits;
    TextReceiver &m_receiver;
    const StreamReader &m_readStream;
    ExpandBudget m_budget;
};

} // namespace

void ReadContainers(PeekableSource &source, const QString &shownName, const ContainerLimits &limits,
                    TextReceiver &receiver, const StreamReader &readStream)
{
    ContainerReader(shownName, limits, receiver, readStream).read(source, shownName, 0);
}
