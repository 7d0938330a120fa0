// Arbitrary bytes through format detection and every decoder, read in pieces of a size the
// input chooses: nothing crashes, every run is valid UTF-8, its line is within the input, and
// a read fault comes back as the error it was.
#include <algorithm>
#include <cstring>

#include "errors/app_error.h"
#include "formats/format_decoders.h"
#include "fuzz_input.h"

namespace {

class CheckingReceiver : public TextReceiver
{
public:
    explicit CheckingReceiver(std::int64_t lines) : m_lines(lines) {}

    void text(std::string_view utf8, std::int64_t line, bool) override
    {
        FUZZ_CHECK(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())).isValidUtf8());
        FUZZ_CHECK(line >= 1 && line <= m_lines);
    }
    void member(const QString &) override {}
    void warning(const QString &) override {}

private:
    std::int64_t m_lines;
};

class PieceSource : public ByteSource
{
public:
    PieceSource(QByteArrayView bytes, std::size_t step, bool fail)
        : m_bytes(bytes), m_step(step), m_fail(fail)
    {}

    std::size_t read(char *buffer, std::size_t size) override
    {
        const std::size_t left = static_cast<std::size_t>(m_bytes.size()) - m_position;
        if (left == 0 && m_fail)
            throw FileOpenError(QStringLiteral("lecture impossible"));
        const std::size_t n = std::min({size, m_step, left});
        std::memcpy(buffer, m_bytes.data() + m_position, n);
        m_position += n;
        return n;
    }

private:
    QByteArrayView m_bytes;
    std::size_t m_step;
    bool m_fail;
    std::size_t m_position = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const auto step = static_cast<std::size_t>(data[0] % 64 + 1);
    const bool fail = data[1] & 1;
    const int forced = data[1] >> 1 & 7;
    const InputEncoding encoding = static_cast<InputEncoding>((data[1] >> 4) % 5);
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 2),
                               static_cast<qsizetype>(size - 2));

    InputFormat format = DetectFormat(bytes.first(std::min<qsizetype>(bytes.size(), 65536)),
                                      QStringLiteral("entree"));
    if (forced >= 1 && forced <= 4)
        format = static_cast<InputFormat>(forced);

    // No run starts past the input's last line (the HTML parser also ends a line at a CR).
    const std::int64_t lines = bytes.count('\n') + bytes.count('\r') + 1;
    CheckingReceiver receiver(lines);
    PieceSource pieces(bytes, step, fail);
    PeekableSource source(pieces);
    DecodeSettings settings;
    settings.encoding = encoding;
    bool failed = false;
    try {
        DecodeFormat(format, source, u"entree", settings, receiver);
    } catch (const FileOpenError &) {
        failed = true;
    }
    FUZZ_CHECK(failed == fail);
    return 0;
}
