#include "cli/input_stream.h"

#include <cerrno>

#include "io/text_file.h"
#include "platform/descriptor_io.h"
#include "platform/system_error_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

DescriptorSource::DescriptorSource(const CliInput &input, std::atomic<std::int64_t> *bytesRead)
    : m_input(input), m_bytesRead(bytesRead)
{
    if (input.standardInput) {
        m_fd = STDIN_FILENO;
        return;
    }
    if (const int refused = PathRefusal(input.path))
        throw OpenErrorFor(input.path, refused);
    const QByteArray name = NativeName(input.path);
    // Blocking, so that a FIFO waits for its writer; a folder is refused before it is read.
    const int fd =
        RetryInterrupted([&] { return ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY); });
    if (fd < 0)
        throw OpenErrorFor(input.path, errno == ENXIO ? EOPNOTSUPP : errno);
    m_owned.reset(fd);
    m_fd = fd;
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        throw OpenErrorFor(input.path, errno);
    if (S_ISDIR(status.st_mode))
        throw OpenErrorFor(input.path, EISDIR);
    if (S_ISREG(status.st_mode))
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::size_t DescriptorSource::read(char *buffer, std::size_t size)
{
    const ssize_t got = RetryInterrupted([&] { return ::read(m_fd, buffer, size); });
    if (got >= 0) {
        if (m_bytesRead)
            *m_bytesRead += got;
        return static_cast<std::size_t>(got);
    }
    if (m_input.standardInput)
        throw FileOpenError(
            u"Impossible de lire l'entrée standard. %1"_s.arg(SystemErrorText(errno)));
    throw OpenErrorFor(m_input.path, errno);
}
