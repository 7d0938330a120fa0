#include "platform/descriptor_io.h"

#include <algorithm>
#include <cstddef>

#include <QChar>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool WriteAll(int fd, QByteArrayView bytes, off_t *offset)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        // Linux writes at most about 2 GiB per request.
        const auto chunk = static_cast<std::size_t>(std::min<qsizetype>(left, qsizetype(1) << 30));
        const ssize_t written =
            offset ? ::pwrite(fd, data, chunk, *offset) : ::write(fd, data, chunk);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
        if (offset)
            *offset += written;
    }
    return true;
}

qsizetype ReadAt(int fd, char *into, qsizetype want, qsizetype offset)
{
    qsizetype got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd, into + got, static_cast<std::size_t>(want - got),
                                  static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

namespace {

void judge(const struct stat &status, RegularFileOpening &opening)
{
    if (S_ISDIR(status.st_mode))
        opening.errorNumber = EISDIR;
    else if (!S_ISREG(status.st_mode))
        opening.notRegular = true;
    opening.size = static_cast<qsizetype>(status.st_size);
}

} // namespace

int PathRefusal(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
    return path.contains(QChar(u'\0')) ? EINVAL : 0;
}

RegularFileOpening OpenRegularFile(const QString &path, FileDescriptor &file)
{
    RegularFileOpening opening;
    opening.errorNumber = PathRefusal(path);
    if (opening.errorNumber != 0)
        return opening;
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::stat(name.constData(), &status) != 0) {
        opening.errorNumber = errno;
        return opening;
    }
    judge(status, opening);
    if (!opening.succeeded())
        return opening;
    const int fd = RetryInterrupted(
        [&] { return ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
    if (fd < 0) {
        opening.errorNumber = errno;
        return opening;
    }
    file.reset(fd);
    if (::fstat(fd, &status) != 0) {
        opening.errorNumber = errno;
        file.close();
        return opening;
    }
    judge(status, opening);
    if (!opening.succeeded())
        file.close();
    return opening;
}

bool ReadWholeFileAt(int fd, qsizetype sizeHint, qsizetype limit, QByteArray &bytes)
{
    // The size known now is a hint: the loop reads to the end, also when the file has grown.
    qsizetype used = 0;
    qsizetype capacity = std::min(sizeHint + 1, limit);
    bytes.resize(capacity);
    for (;;) {
        if (used == capacity) {
            if (capacity >= limit) {
                errno = EFBIG;
                return false;
            }
            capacity = std::min<qsizetype>(std::max<qsizetype>(capacity * 2, 65536), limit);
            bytes.resize(capacity);
        }
        const qsizetype got = ReadAt(fd, bytes.data() + used, capacity - used, used);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        used += got;
    }
    bytes.truncate(used);
    return true;
}
