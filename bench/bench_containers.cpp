// Reads one input through the container layer as extracteur-cli does, and drains what reaches the
// stream reader: bench_containers FILE. It prints the decompressed bytes, the '@' signs seen and
// the seconds spent, for timing the whole process from outside beside `rg -z` (bench/README.md).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "errors/app_error.h"
#include "formats/containers.h"

namespace {

class FileSource : public ByteSource
{
public:
    explicit FileSource(int fd) : m_fd(fd) {}
    std::size_t read(char *buffer, std::size_t size) override
    {
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, size);
            if (got >= 0)
                return static_cast<std::size_t>(got);
            if (errno != EINTR)
                throw AppError(QStringLiteral("Lecture impossible"));
        }
    }

private:
    int m_fd;
};

class CountingReceiver : public TextReceiver
{
public:
    void text(std::string_view utf8, std::int64_t, bool) override { bytes += utf8.size(); }
    void member(const QString &) override { ++members; }
    void warning(const QString &message) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
    std::uint64_t bytes = 0;
    std::uint64_t members = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_containers FILE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    FileSource file(fd);
    PeekableSource source(file);
    CountingReceiver receiver;
    std::uint64_t streamed = 0;
    std::uint64_t ats = 0;
    static char buffer[1 << 20];
    int status = 0;
    try {
        ReadContainers(source, QString::fromLocal8Bit(argv[1]), ContainerLimits{}, receiver,
                       [&](PeekableSource &stream, const QString &) {
                           std::size_t got;
                           while ((got = stream.read(buffer, sizeof buffer)) > 0) {
                               streamed += got;
                               for (const char *at = buffer;
                                    (at = static_cast<const char *>(
                                         std::memchr(at, '@', buffer + got - at))) != nullptr;
                                    ++at)
                                   ++ats;
                           }
                       });
    } catch (const AppError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        status = 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu bytes streamed, %llu bytes of document text, %llu members, %llu '@', "
                "%.3f s\n",
                static_cast<unsigned long long>(streamed),
                static_cast<unsigned long long>(receiver.bytes),
                static_cast<unsigned long long>(receiver.members),
                static_cast<unsigned long long>(ats), seconds);
    ::close(fd);
    return status;
}
