#include "io/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <atomic>
#include <exception>
#include <limits>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include "errors/app_error.h"
#include "platform/file_descriptor.h"
#include "platform/safe_write.h"
#include "platform/system_error_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A path holding U+0000 cannot be handed to the system without being cut short at that point.
bool isValidPath(const QString &path)
{
    return !path.isEmpty() && !path.contains(QChar(u'\0'));
}

int openRetrying(const QByteArray &name, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(name.constData(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

namespace {

[[noreturn]] void raiseTooLarge(const QString &path)
{
    raiseOpenError(path, u"Le fichier est trop volumineux (2 Gio ou plus)"_s);
}

void refuseUnlessRegular(const QString &path, const struct stat &status)
{
    if (S_ISDIR(status.st_mode))
        raiseOpenError(path, EISDIR);
    // A pipe, a device or a socket has no end to read up to, or blocks.
    if (!S_ISREG(status.st_mode))
        raiseOpenError(path, u"Ce n'est pas un fichier ordinaire"_s);
    if (status.st_size >= sizeLimit)
        raiseTooLarge(path);
}

// Anything but a regular file is refused before it is opened, so that opening a device has no
// effect; non-blocking, so that a named pipe put there meanwhile cannot hang the program.
int openRegularFile(const QString &path)
{
    if (!isValidPath(path))
        raiseOpenError(path, path.isEmpty() ? ENOENT : EINVAL);
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::stat(name.constData(), &status) != 0)
        raiseOpenError(path, errno);
    refuseUnlessRegular(path, status);
    const int fd = openRetrying(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        raiseOpenError(path, errno);
    return fd;
}

// A regular file open for reading, checked again once open in case the path changed between.
struct OpenedFile
{
    explicit OpenedFile(const QString &path) : file(openRegularFile(path))
    {
        struct stat status = {};
        if (::fstat(file.get(), &status) != 0)
            raiseOpenError(path, errno);
        refuseUnlessRegular(path, status);
        size = static_cast<qsizetype>(status.st_size);
    }

    FileDescriptor file;
    qsizetype size = 0; // as the file told when opened; it may still grow or shrink
};

// Reads from `offset` until `want` bytes or the end of the file; the count read.
qsizetype readAt(const QString &path, int fd, char *into, qsizetype want, qsizetype offset)
{
    qsizetype got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd, into + got, static_cast<std::size_t>(want - got),
                                  static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            raiseOpenError(path, errno);
        }
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

} // namespace

QByteArray ReadWholeFile(const QString &path)
{
    OpenedFile opened(path);
    // The size known now is a hint: the loop reads to the end, also when the file has grown.
    QByteArray bytes;
    qsizetype used = 0;
    qsizetype capacity = opened.size + 1;
    bytes.resize(capacity);
    for (;;) {
        if (used == capacity) {
            if (capacity >= sizeLimit)
                raiseTooLarge(path);
            capacity = std::min<qsizetype>(std::max<qsizetype>(capacity * 2, 65536), sizeLimit);
            bytes.resize(capacity);
        }
        const qsizetype got =
            readAt(path, opened.file.get(), bytes.data() + used, capacity - used, used);
        if (got == 0)
            break;
        used += got;
    }
    if (used >= sizeLimit)
        raiseTooLarge(path);
    bytes.truncate(used);
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

// The file is read in pieces that stay in the processor's cache, each decoded and cut into lines
// at once: no copy of the whole file is ever held, and the text is written once. Where the text
// ends at a U+0000, reading stops there (UTF-8 alone reads on, since a malformed byte anywhere
// empties the whole text).
TextFileContent readInOnePass(const QString &path, const OpenedFile &opened,
                              const DetectedEncoding &detected)
{
    const int fd = opened.file.get();
    const TextEncoding encoding = detected.encoding;
    StreamDecoder decoder(encoding);
    std::vector<char> piece(static_cast<std::size_t>(pieceSize));

    QString text(StreamDecoder::maxUnits(std::max<qsizetype>(opened.size - detected.markLength, 0),
                                         encoding),
                 Qt::Uninitialized);
    AdviseHugePages(text.data(), static_cast<std::size_t>(text.size()) * sizeof(char16_t));
    std::vector<char16_t> checkOnly; // UTF-8 past the end of the text, decoded to be checked
    LineSplitter lines;
    qsizetype used = 0;
    qsizetype offset = detected.markLength;
    qsizetype left = 0; // bytes of a character cut by the end of the last piece
    bool estimated = false;
    for (;;) {
        const qsizetype want = pieceSize - left;
        const qsizetype got = readAt(path, fd, piece.data() + left, want, offset);
        offset += got;
        if (offset >= sizeLimit)
            raiseTooLarge(path);
        const bool atEnd = got < want;
        const QByteArrayView bytes(piece.data(), left + got);
        const bool keep = !lines.ended();
        char16_t *out;
        if (keep) {
            const qsizetype room = used + StreamDecoder::maxUnits(bytes.size(), encoding);
            if (room > text.size()) // the file grew since it was opened
                text.resize(std::max(room, text.size() + text.size() / 2));
            out = reinterpret_cast<char16_t *>(text.data()) + used;
        } else {
            checkOnly.resize(static_cast<std::size_t>(bytes.size()));
            out = checkOnly.data();
        }
        const StreamDecoder::Step step = decoder.decode(bytes, out, atEnd);
        if (step.malformed)
            return {TextTable(), encoding};
        if (keep) {
            lines.feed(reinterpret_cast<const char16_t *>(text.constData()), used,
                       used + step.units);
            used += step.units;
            if (!estimated && !lines.ended() && used > 0) {
                // The first piece tells about how long a line is: room for all at once.
                estimated = true;
                const double perUnit = static_cast<double>(lines.count()) / double(used);
                lines.reserve(static_cast<std::size_t>(perUnit * double(text.size()) * 1.05 + 16));
            }
            if (lines.ended() && encoding != TextEncoding::Utf8)
                break;
        }
        if (atEnd)
            break;
        left = bytes.size() - step.bytes;
        std::memmove(piece.data(), piece.data() + step.bytes, static_cast<std::size_t>(left));
    }

    std::vector<TextSpan> spans = lines.finish(used);
    if (spans.empty())
        return {TextTable(), encoding};
    text.truncate(used);
    if (text.capacity() - used > used / 8)
        text.squeeze();
    return {TextTable(std::move(text), std::move(spans)), encoding};
}

struct Half
{
    qsizetype units = 0;
    bool shortRead = false; // the file ended before the half did
};

// Decodes the bytes [from, to) into `text` from unit `unitStart` on, cutting lines as it goes,
// until `to`, the end of the text (a U+0000) or `stop`. The first piece tells how much room the
// lines of `roomFor` units need.
Half decodeHalf(const QString &path, int fd, qsizetype from, qsizetype to, TextEncoding encoding,
                char16_t *text, qsizetype unitStart, LineSplitter &lines, qsizetype roomFor,
                const std::atomic<bool> &stop)
{
    StreamDecoder decoder(encoding);
    std::vector<char> piece(static_cast<std::size_t>(pieceSize));
    Half half;
    qsizetype units = unitStart;
    qsizetype offset = from;
    qsizetype left = 0;
    while (offset < to && !stop.load(std::memory_order_relaxed)) {
        const qsizetype want = std::min(pieceSize - left, to - offset);
        const qsizetype got = readAt(path, fd, piece.data() + left, want, offset);
        offset += got;
        half.shortRead = got < want;
        const bool last = half.shortRead || offset == to;
        const StreamDecoder::Step step =
            decoder.decode(QByteArrayView(piece.data(), left + got), text + units, last);
        lines.feed(text, units, units + step.units);
        if (units == unitStart && step.units > 0) {
            const double perUnit = static_cast<double>(lines.count()) / double(step.units);
            lines.reserve(static_cast<std::size_t>(perUnit * double(roomFor) * 1.05 + 16));
        }
        units += step.units;
        if (lines.ended() || half.shortRead)
            break;
        left = left + got - step.bytes;
        std::memmove(piece.data(), piece.data() + step.bytes, static_cast<std::size_t>(left));
    }
    half.units = units - unitStart;
    return half;
}

// A file in the code page or in UTF-16, read as two halves at once, each decoded into its own
// part of the text, the lines joined after. Nothing when the file changed length meanwhile.
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
    LineSplitter second;
    std::atomic<bool> stop{false};
    Half secondHalf;
    std::exception_ptr secondFailure;
    std::thread other([&] {
        try {
            secondHalf = decodeHalf(path, fd, middle, end, encoding, data, middleUnit, second,
                                    text.size() - middleUnit, stop);
        } catch (...) {
            secondFailure = std::current_exception();
        }
    });
    Half firstHalf;
    try {
        firstHalf =
            decodeHalf(path, fd, begin, middle, encoding, data, 0, first, text.size(), stop);
    } catch (...) {
        stop = true;
        other.join();
        throw;
    }
    // Text that ends in the first half needs nothing of the second.
    if (first.ended())
        stop = true;
    other.join();
    if (secondFailure)
        std::rethrow_exception(secondFailure);

    char probe;
    if (firstHalf.shortRead || (!first.ended() && secondHalf.shortRead) ||
        readAt(path, fd, &probe, 1, end) != 0)
        return std::nullopt;

    qsizetype used = firstHalf.units;
    if (!first.ended()) {
        first.join(std::move(second), data, middleUnit, middleUnit + secondHalf.units);
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

} // namespace

TextFileContent ReadTextFile(const QString &path, ReadingMode mode)
{
    OpenedFile opened(path);
    char head[3];
    const qsizetype headSize = readAt(path, opened.file.get(), head, 3, 0);
    const DetectedEncoding detected = DetectEncoding(QByteArrayView(head, headSize));
    const bool halves = detected.encoding != TextEncoding::Utf8 &&
                        (mode == ReadingMode::TwoHalves ||
                         (mode == ReadingMode::Automatic && opened.size >= twoHalvesFrom &&
                          std::thread::hardware_concurrency() >= 2));
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
