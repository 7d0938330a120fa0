#include "io/text_file.h"

#include <cerrno>
#include <limits>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include "platform/app_error.h"
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

[[noreturn]] void raiseOpenError(const QString &path, const QString &reason)
{
    throw FileOpenError(
        u"Impossible d'ouvrir le fichier \"%1\". %2"_s.arg(absolutePath(path), reason));
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

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() { close(); }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Closes now; false when the system reports that earlier writes failed.
    bool close()
    {
        if (m_fd < 0)
            return true;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 || errno == EINTR;
    }

private:
    int m_fd;
};

int openRetrying(const QByteArray &name, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(name.constData(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

QByteArray ReadWholeFile(const QString &path)
{
    if (!isValidPath(path))
        raiseOpenError(path, path.isEmpty() ? ENOENT : EINVAL);
    // Non-blocking, so that opening a named pipe nobody writes to cannot hang the program.
    FileDescriptor file(
        openRetrying(QFile::encodeName(path), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.isOpen())
        raiseOpenError(path, errno);
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);

    struct stat status = {};
    if (::fstat(file.get(), &status) != 0)
        raiseOpenError(path, errno);
    if (S_ISDIR(status.st_mode))
        raiseOpenError(path, EISDIR);
    const auto tooLarge = [&path] {
        raiseOpenError(path, u"Le fichier est trop volumineux (2 Gio ou plus)"_s);
    };
    if (status.st_size >= sizeLimit)
        tooLarge();

    // The size known now is a hint: the loop reads to the end, also when the file has grown or
    // is a special file that tells no size.
    QByteArray bytes;
    qsizetype used = 0;
    qsizetype capacity = static_cast<qsizetype>(status.st_size) + 1;
    bytes.resize(capacity);
    for (;;) {
        if (used == capacity) {
            if (capacity >= sizeLimit)
                tooLarge();
            capacity = std::min<qsizetype>(std::max<qsizetype>(capacity * 2, 65536), sizeLimit);
            bytes.resize(capacity);
        }
        const ssize_t got =
            ::read(file.get(), bytes.data() + used, static_cast<std::size_t>(capacity - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            raiseOpenError(path, errno);
        }
        if (got == 0)
            break;
        used += got;
    }
    if (used >= sizeLimit)
        tooLarge();
    bytes.truncate(used);
    return bytes;
}

void WriteWholeFile(const QString &path, QByteArrayView mark, QByteArrayView body)
{
    const WriteOutcome outcome = writeFileSafely(path, {mark, body});
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

TextFileContent ReadTextFile(const QString &path)
{
    const QByteArray bytes = ReadWholeFile(path);
    const DetectedEncoding detected = DetectEncoding(bytes);
    QString text = DecodeText(QByteArrayView(bytes).sliced(detected.markLength), detected.encoding);
    std::vector<TextSpan> lines = TextToLines(text);
    return {TextTable(std::move(text), std::move(lines)), detected.encoding};
}
