#include "io/text_file.h"

#include <cerrno>
#include <limits>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "errors/app_error.h"
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

[[noreturn]] void raiseCreateError(const QString &path, int errorNumber)
{
    throw FileCreateError(u"Impossible de créer le fichier \"%1\". %2"_s.arg(
        absolutePath(path), SystemErrorText(errorNumber)));
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

// Writes every byte; false when a request fails or writes nothing.
bool writeAll(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        // Linux writes at most about 2 GiB per request.
        const std::size_t chunk = static_cast<std::size_t>(std::min<qsizetype>(left, 1 << 30));
        const ssize_t written = ::write(fd, data, chunk);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

bool syncToDisk(int fd)
{
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    // Some file systems (pipes, special files) cannot be synchronised; that is no write failure.
    return result == 0 || errno == EINVAL || errno == EROFS;
}

QByteArray temporaryNameFor(const QByteArray &target)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1);
    // Keep the name short enough for the system's 255-byte limit on a file name.
    return folder + '.' + name.left(200) + ".tmp-" +
           QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

// Opens a new, empty temporary file beside the target; -1 with errno set on failure.
int createTemporary(const QByteArray &target, QByteArray &temporaryName)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryName = temporaryNameFor(target);
        const int fd = openRetrying(temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void writeDirectly(const QString &path, const QByteArray &target, QByteArrayView mark,
                   QByteArrayView body)
{
    FileDescriptor file(openRetrying(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.isOpen())
        raiseCreateError(path, errno);
    const bool written = writeAll(file.get(), mark) && writeAll(file.get(), body);
    if (!file.close() || !written)
        raiseWriteError();
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
    if (!isValidPath(path))
        raiseCreateError(path, path.isEmpty() ? ENOENT : EINVAL);
    QByteArray target = QFile::encodeName(absolutePath(path));

    struct stat status = {};
    bool exists = ::stat(target.constData(), &status) == 0;
    if (!exists && errno != ENOENT)
        raiseCreateError(path, errno);
    if (!exists) {
        // A symbolic link whose file is missing: create that file, and keep the link.
        const QFileInfo link(absolutePath(path));
        if (link.isSymLink())
            target = QFile::encodeName(link.symLinkTarget());
    }
    if (exists) {
        if (S_ISDIR(status.st_mode))
            raiseCreateError(path, EISDIR);
        if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
            raiseCreateError(path, errno);
        // A device or a pipe is written to as it is; it cannot be replaced.
        if (!S_ISREG(status.st_mode)) {
            writeDirectly(path, target, mark, body);
            return;
        }
        // A file with other names (hard links) or another owner is rewritten in place: a new
        // file would cut it from its other names or take it from its owner.
        if (status.st_nlink > 1 || (status.st_uid != ::geteuid() && ::geteuid() != 0)) {
            writeDirectly(path, target, mark, body);
            return;
        }
        // Replace the file a symbolic link points to, not the link.
        const QString resolved = QFileInfo(path).canonicalFilePath();
        if (!resolved.isEmpty())
            target = QFile::encodeName(resolved);
    }

    QByteArray temporaryName;
    FileDescriptor file(createTemporary(target, temporaryName));
    if (!file.isOpen()) {
        // The folder refuses new files (or is missing): the target itself is the only way left,
        // and its own failure is the one to report.
        writeDirectly(path, target, mark, body);
        return;
    }
    const auto discard = [&file, &temporaryName] {
        file.close();
        ::unlink(temporaryName.constData());
    };

    if (exists) {
        // Keep the replaced file's permissions and, where allowed, its owner.
        if (::fchown(file.get(), status.st_uid, status.st_gid) != 0) {
            // Not the owner: the new file keeps ours, as any program that saves does.
        }
        ::fchmod(file.get(), status.st_mode & 07777);
    }
    if (!writeAll(file.get(), mark) || !writeAll(file.get(), body) || !syncToDisk(file.get())) {
        discard();
        raiseWriteError();
    }
    if (!file.close()) {
        ::unlink(temporaryName.constData());
        raiseWriteError();
    }
    if (::rename(temporaryName.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.constData());
        raiseCreateError(path, error);
    }
}

TextFileContent ReadTextFile(const QString &path)
{
    return DecodeTextFile(ReadWholeFile(path));
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
