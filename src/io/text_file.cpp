#include "io/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <atomic>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include "errors/app_error.h"
#include "platform/big_memory.h"
#include "platform/descriptor_io.h"
#include "platform/file_descriptor.h"
#include "platform/parallel.h"
#include "platform/safe_write.h"
#include "platform/system_error_text.h"

using namespace Qt::StringLiterals;

namespace {

// Sizes are held as signed 32-bit counts elsewhere in the product.
constexpr qint64 sizeLimit = qint64(std::numeric_limits<qint32>::max()) + 1;

QString absolutePath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

FileOpenError openError(const QString &path, const QString &reason)
{
    return FileOpenError(
        u"Impossible d'ouvrir le fichier \"%1\". %2"_s.arg(absolutePath(path), reason));
}

[[noreturn]] void raiseOpenError(const QString &path, const QString &reason)
{
    throw openError(path, reason);
}

[[noreturn]] void raiseOpenError(const QString &path, int errorNumber)
{
    raiseOpenError(path, SystemErrorText(errorNumber));
}

[[noreturn]] void raiseWriteError()
{
    throw FileWriteError(u"Erreur d'écriture dans le flux"_s);
}

[[noreturn]] void raiseTooLarge(const QString &path)
{
    raiseOpenError(path, u"Le fichier est trop volumineux (2 Gio ou plus)"_s);
}

// A regular file open for reading; anything else is refused.
struct OpenedFile
{
    explicit OpenedFile(const QString &path)
    {
        const RegularFileOpening opening = OpenRegularFile(path, file);
        if (opening.notRegular)
            // A pipe, a device or a socket has no end to read up to, or blocks.
            raiseOpenError(path, u"Ce n'est pas un fichier ordinaire"_s);
        if (!opening.succeeded())
            raiseOpenError(path, opening.errorNumber);
        if (opening.size >= sizeLimit)
            raiseTooLarge(path);
        size = opening.size;
    }

    FileDescriptor file;
    qsizetype size = 0; // as the file told when opened; it may still grow or shrink
};

// Reads from `offset` until `want` bytes or the end of the file; the count read.
qsizetype readAt(const QString &path, int fd, char *into, qsizetype want, qsizetype offset)
{
    const qsizetype got = ReadAt(fd, into, want, offset);
    if (got < 0)
        raiseOpenError(path, errno);
    return got;
}

} // namespace

QByteArray ReadWholeFile(const QString &path)
{
    OpenedFile opened(path);
    QByteArray bytes;
    if (!ReadWholeFileAt(opened.file.get(), opened.size, sizeLimit, bytes)) {
        if (errno == EFBIG)
            raiseTooLarge(path);
        raiseOpenError(path, errno);
    }
    return bytes;
}

void WriteWholeFile(const QString &path, QByteArrayView mark, QByteArrayView body)
{
    const WriteOutcome outcome = WriteFileSafely(path, {mark, body});
    switch (outcome.failure) {
    case WriteFailure::None:
        return;
    case WriteFailure::Create:
        throw FileCreateError(
            u"Impossible de créer le fichier \"%1\". %2"_s.arg(absolutePath(path), outcome.reason));
    case WriteFailure::Write:
        break;
    }
    raiseWriteError();
}

namespace {

constexpr qsizetype pieceSize = qsizetype{1} << 20;
// Below this size a second thread costs more than it saves.
constexpr qsizetype twoHalvesFrom = qsizetype{4} << 20;

struct Decoded
{
    qsizetype units = 0;    // code units written
    bool shortRead = false; // the file ended before the range did
    bool malformed = false; // UTF-8 only: the whole text is empty
};

// The one loop that reads and decodes: the bytes from `from` to `to` (-1: to the end of the
// file) are read in pieces that stay in the processor's cache, each decoded at once where
// `room(units)` says, for at most that many code units; `take(units)` is then told how many were
// written and answers whether to go on. Stops early once `stop` is set.
template <typename Room, typename Take>
Decoded decodeRange(const QString &path, int fd, qsizetype from, qsizetype to,
                    TextEncoding encoding, const Room &room, const Take &take,
                    const std::atomic<bool> *stop = nullptr)
{
    StreamDecoder decoder(encoding);
    std::vector<char> piece(static_cast<std::size_t>(pieceSize));
    Decoded decoded;
    qsizetype offset = from;
    qsizetype left = 0; // bytes of a character cut by the end of the last piece
    while ((to < 0 || offset < to) && !(stop && stop->load(std::memory_order_relaxed))) {
        const qsizetype want = to < 0 ? pieceSize - left : std::min(pieceSize - left, to - offset);
        const qsizetype got = readAt(path, fd, piece.data() + left, want, offset);
        offset += got;
        if (offset >= sizeLimit)
            raiseTooLarge(path);
        decoded.shortRead = got < want;
        const bool last = decoded.shortRead || offset == to;
        const QByteArrayView bytes(piece.data(), left + got);
        const StreamDecoder::Step step =
            decoder.decode(bytes, room(StreamDecoder::maxUnits(bytes.size(), encoding)), last);
        if (step.malformed) {
            decoded.malformed = true;
            return decoded;
        }
        decoded.units += step.units;
        if (!take(step.units) || last)
            break;
        left = bytes.size() - step.bytes;
        std::memmove(piece.data(), piece.data() + step.bytes, static_cast<std::size_t>(left));
    }
    return decoded;
}

// The whole file decoded and cut into lines as it is read: no copy of the whole file is ever
// held, and the text is written once. Where the text ends at a U+0000, reading stops there
// (UTF-8 alone reads on, since a malformed byte anywhere empties the whole text).
TextFileContent readInOnePass(const QString &path, const OpenedFile &opened,
                              const DetectedEncoding &detected)
{
    const TextEncoding encoding = detected.encoding;
    QString text(StreamDecoder::maxUnits(std::max<qsizetype>(opened.size - detected.markLength, 0),
                                         encoding),
                 Qt::Uninitialized);
    AdviseHugePages(text.data(), static_cast<std::size_t>(text.size()) * sizeof(char16_t));
    std::vector<char16_t> checkOnly; // UTF-8 past the end of the text, decoded to be checked
    LineSplitter lines;
    qsizetype used = 0;
    bool keep = true;
    bool estimated = false;
    const auto room = [&](qsizetype units) -> char16_t * {
        keep = !lines.ended();
        if (!keep) {
            checkOnly.resize(static_cast<std::size_t>(units));
            return checkOnly.data();
        }
        if (used + units > text.size()) // the file grew since it was opened
            text.resize(std::max(used + units, text.size() + text.size() / 2));
        return reinterpret_cast<char16_t *>(text.data()) + used;
    };
    const auto take = [&](qsizetype units) {
        if (!keep)
            return true;
        lines.feed(reinterpret_cast<const char16_t *>(text.constData()), used, used + units);
        used += units;
        if (!estimated && !lines.ended() && used > 0) {
            // The first piece tells about how long a line is: room for all at once.
            estimated = true;
            const double perUnit = static_cast<double>(lines.count()) / double(used);
            lines.reserve(static_cast<std::size_t>(perUnit * double(text.size()) * 1.05 + 16));
        }
        return !(lines.ended() && encoding != TextEncoding::Utf8);
    };
    if (decodeRange(path, opened.file.get(), detected.markLength, -1, encoding, room, take)
            .malformed)
        return {TextTable(), encoding};

    std::vector<TextSpan> spans = lines.finish(used);
    if (spans.empty())
        return {TextTable(), encoding};
    text.truncate(used);
    if (text.capacity() - used > used / 8)
        text.squeeze();
    return {TextTable(std::move(text), std::move(spans)), encoding};
}

// Decodes the bytes [from, to) into `text` from unit `unitStart` on, cutting lines as it goes
// when given `lines`, until `to`, the end of the text (a U+0000) or `stop`. The first piece tells
// how much room the lines of `roomFor` units need.
Decoded decodeHalf(const QString &path, int fd, qsizetype from, qsizetype to, TextEncoding encoding,
                   char16_t *text, qsizetype unitStart, LineSplitter *lines, qsizetype roomFor,
                   const std::atomic<bool> &stop)
{
    qsizetype units = unitStart;
    const auto room = [&](qsizetype) { return text + units; };
    const auto take = [&](qsizetype written) {
        if (lines) {
            lines->feed(text, units, units + written);
            if (units == unitStart && written > 0) {
                const double perUnit = static_cast<double>(lines->count()) / double(written);
                lines->reserve(static_cast<std::size_t>(perUnit * double(roomFor) * 1.05 + 16));
            }
        }
        units += written;
        return !(lines && lines->ended());
    };
    return decodeRange(path, fd, from, to, encoding, room, take, &stop);
}

// A file in the code page or in UTF-16, read as two halves at once, each decoded into its own
// part of the text. The first half's lines are cut as it is decoded, those of the second after,
// into the same vector: a second vector of lines would cost half as much again for a file of
// short lines. Nothing when the file changed length meanwhile.
std::optional<TextFileContent> readInTwoHalves(const QString &path, const OpenedFile &opened,
                                               const DetectedEncoding &detected)
{
    const int fd = opened.file.get();
    const TextEncoding encoding = detected.encoding;
    const qsizetype begin = detected.markLength;
    const qsizetype end = opened.size;
    const qsizetype unitBytes = StreamDecoder::maxUnits(2, encoding) == 1 ? 2 : 1;
    // The middle falls on a code unit's first byte.
    const qsizetype middle = begin + (end - begin) / 2 / unitBytes * unitBytes;
    const qsizetype middleUnit = (middle - begin) / unitBytes;

    QString text(StreamDecoder::maxUnits(end - begin, encoding), Qt::Uninitialized);
    AdviseHugePages(text.data(), static_cast<std::size_t>(text.size()) * sizeof(char16_t));
    char16_t *data = reinterpret_cast<char16_t *>(text.data());

    LineSplitter first;
    std::atomic<bool> stop{false};
    Decoded halves[2];
    RunOnTwoCores([&](int part) {
        try {
            if (part == 0) {
                halves[0] = decodeHalf(path, fd, begin, middle, encoding, data, 0, &first,
                                       text.size(), stop);
                // Text that ends in the first half needs nothing of the second.
                if (first.ended())
                    stop = true;
            } else {
                halves[1] = decodeHalf(path, fd, middle, end, encoding, data, middleUnit, nullptr,
                                       text.size() - middleUnit, stop);
            }
        } catch (...) {
            stop = true;
            throw;
        }
    });
    const Decoded &firstHalf = halves[0];
    const Decoded &secondHalf = halves[1];

    char probe;
    if (firstHalf.shortRead || (!first.ended() && secondHalf.shortRead) ||
        readAt(path, fd, &probe, 1, end) != 0)
        return std::nullopt;

    qsizetype used = firstHalf.units;
    if (!first.ended()) {
        first.feed(data, middleUnit, middleUnit + secondHalf.units);
        used = middleUnit + secondHalf.units;
    }
    std::vector<TextSpan> spans = first.finish(used);
    if (spans.empty())
        return TextFileContent{TextTable(), encoding};
    text.truncate(used);
    if (text.capacity() - used > used / 8)
        text.squeeze();
    return TextFileContent{TextTable(std::move(text), std::move(spans)), encoding};
}

// An upper bound of the lines in the file's text: its CR and LF code units before the first
// U+0000, plus one. Read in pieces, as only a file too large for the cheap bound gets here.
qsizetype countLines(const QString &path, const OpenedFile &opened,
                     const DetectedEncoding &detected)
{
    const bool wide =
        detected.encoding == TextEncoding::Utf16LE || detected.encoding == TextEncoding::Utf16BE;
    const int low = detected.encoding == TextEncoding::Utf16BE ? 1 : 0;
    std::vector<char> piece(static_cast<std::size_t>(pieceSize));
    qsizetype lines = 1;
    qsizetype offset = detected.markLength;
    for (;;) {
        const qsizetype got = readAt(path, opened.file.get(), piece.data(), pieceSize, offset);
        const qsizetype step = wide ? 2 : 1;
        const qsizetype whole = got / step * step;
        for (qsizetype i = 0; i < whole; i += step) {
            const auto c = static_cast<unsigned char>(piece[static_cast<std::size_t>(i + low)]);
            const bool zero =
                c == 0 && (!wide || piece[static_cast<std::size_t>(i + 1 - low)] == 0);
            if (zero)
                return lines;
            if ((c == '\n' || c == '\r') &&
                (!wide || piece[static_cast<std::size_t>(i + 1 - low)] == 0))
                ++lines;
        }
        if (got < pieceSize || whole == 0)
            return lines;
        offset += whole;
    }
}

// Whether the entries of the file fit in the memory the system has: the text in UTF-16 and the
// spans of its lines as the reading holds them at their peak (in two halves, room for all lines
// made at once from the first piece; in one pass, a vector that may double once).
// The count of lines is bounded by the count of code units first, and only counted when that
// bound does not fit.
void checkRoomFor(const QString &path, const OpenedFile &opened, const DetectedEncoding &detected,
                  bool halves)
{
    const qsizetype units = StreamDecoder::maxUnits(
        std::max<qsizetype>(opened.size - detected.markLength, 0), detected.encoding);
    const double perLine = halves ? 1.1 * sizeof(TextSpan) : 3.0 * sizeof(TextSpan);
    // The reading's pieces, a second thread's stack and heap, the window's own needs meanwhile.
    constexpr std::size_t fixedTouched = std::size_t{16} << 20;
    constexpr std::size_t fixedReserved = std::size_t{192} << 20;
    const auto fits = [&](qsizetype lines) {
        const double touched = 2.0 * double(units) + perLine * double(lines);
        const auto bytes = static_cast<std::size_t>(touched) + fixedTouched;
        return MemoryFits(bytes, fixedReserved);
    };
    if (fits(units) || fits(std::min(units, countLines(path, opened, detected))))
        return;
    throw OpenErrorFor(path, ENOMEM);
}

} // namespace

TextFileContent ReadTextFile(const QString &path, ReadingMode mode)
{
    OpenedFile opened(path);
    char head[3];
    const qsizetype headSize = readAt(path, opened.file.get(), head, 3, 0);
    const DetectedEncoding detected = DetectEncoding(QByteArrayView(head, headSize));
    const bool halves =
        detected.encoding != TextEncoding::Utf8 &&
        (mode == ReadingMode::TwoHalves ||
         (mode == ReadingMode::Automatic && opened.size >= twoHalvesFrom && CoreCount() >= 2));
    checkRoomFor(path, opened, detected, halves);
    if (halves) {
        if (std::optional<TextFileContent> content = readInTwoHalves(path, opened, detected))
            return std::move(*content);
    }
    return readInOnePass(path, opened, detected);
}

FileOpenError OpenErrorFor(const QString &path, int errorNumber)
{
    return openError(path, SystemErrorText(errorNumber));
}

TextFileContent DecodeTextFile(QByteArrayView bytes)
{
    const DetectedEncoding detected = DetectEncoding(bytes);
    QString text = DecodeText(bytes.sliced(detected.markLength), detected.encoding);
    std::vector<TextSpan> lines = TextToLines(text);
    return {TextTable(std::move(text), std::move(lines)), detected.encoding};
}
