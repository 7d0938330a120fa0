// Arbitrary bytes through container detection and reading: compressed streams, archives,
// office documents, PDF and RTF. Every fault must end as an AppError or a warning, every run
// of text must be valid UTF-8, and the decompressed bytes stay within the limit given.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QUtf8StringView>

#include "errors/app_error.h"
#include "formats/containers.h"

namespace {

class BytesSource : public ByteSource
{
public:
    BytesSource(const char *data, std::size_t size) : m_data(data), m_size(size) {}
    std::size_t read(char *buffer, std::size_t size) override
    {
        const std::size_t n = std::min(size, m_size - m_at);
        std::memcpy(buffer, m_data + m_at, n);
        m_at += n;
        return n;
    }

private:
    const char *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

class CheckingReceiver : public TextReceiver
{
public:
    void text(std::string_view utf8, std::int64_t line, bool) override
    {
        if (line < 1 || !QUtf8StringView(utf8.data(), qsizetype(utf8.size())).isValidUtf8()) {
            std::fprintf(stderr, "a run of text at line %lld is not valid UTF-8\n",
                         static_cast<long long>(line));
            std::abort();
        }
    }
    void member(const QString &) override {}
    void warning(const QString &) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    BytesSource bytes(reinterpret_cast<const char *>(data), size);
    PeekableSource source(bytes);
    CheckingReceiver receiver;
    ContainerLimits limits;
    limits.maxExpand = std::uint64_t{32} << 20;
    std::uint64_t streamed = 0;
    try {
        ReadContainers(source, QStringLiteral("fuzz"), limits, receiver,
                       [&](PeekableSource &stream, const QString &) {
                           static char buffer[1 << 16];
                           std::size_t got;
                           while ((got = stream.read(buffer, sizeof buffer)) > 0)
                               streamed += got;
                       });
    } catch (const AppError &) {
    }
    // What the readers were handed came through the limit, plus the input's own bytes.
    if (streamed > limits.maxExpand + size) {
        std::fprintf(stderr, "%llu bytes streamed past the limit\n",
                     static_cast<unsigned long long>(streamed));
        std::abort();
    }
    return 0;
}
