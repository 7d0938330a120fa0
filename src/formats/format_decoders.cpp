#include "formats/format_decoders.h"

#include <vector>

#include "formats/decoder_support.h"

namespace {

// Lines handed on as they are, for an input told as plain text.
class PlainDecoder : public ChunkDecoder
{
public:
    PlainDecoder(InputEncoding encoding, TextReceiver &receiver)
        : m_encoding(encoding), m_receiver(receiver)
    {}

    void push(std::string_view bytes) override
    {
        m_held.append(bytes);
        if (m_held.size() < kPiece)
            return;
        std::size_t end = CutAfterLastLine(m_held);
        if (end == 0)
            end = m_held.size();
        hand(end);
    }

    void finish() override { hand(m_held.size()); }

private:
    static constexpr std::size_t kPiece = 64 * 1024;

    void hand(std::size_t end)
    {
        if (end == 0)
            return;
        m_text.clear();
        AppendAsUtf8(QByteArrayView(m_held.data(), static_cast<qsizetype>(end)), m_encoding,
                     m_text);
        m_receiver.text(m_text, m_line, true);
        for (std::size_t i = 0; i < end; ++i)
            m_line += m_held[i] == '\n';
        m_held.erase(0, end);
    }

    InputEncoding m_encoding;
    TextReceiver &m_receiver;
    std::string m_held;
    std::string m_text;
    std::int64_t m_line = 1;
};

// UTF-16 read as UTF-8, so that every decoder sees one byte-oriented text.
class Utf16Source : public ByteSource
{
public:
    Utf16Source(ByteSource &inner, bool littleEndian) : m_inner(inner), m_little(littleEndian) {}

    std::size_t read(char *buffer, std::size_t size) override
    {
        while (m_out.size() == m_used) {
            m_out.clear();
            m_used = 0;
            char raw[32 * 1024];
            const std::size_t got = m_inner.read(raw, sizeof raw);
            if (got == 0) {
                if (m_held.empty())
                    return 0;
                // A last odd byte is dropped; a lone high surrogate becomes U+FFFD.
                if (m_held.size() >= 2)
                    AppendAsUtf8(QByteArrayView(m_held.data(), 2),
                                 m_little ? InputEncoding::Utf16LE : InputEncoding::Utf16BE, m_out);
                m_held.clear();
                continue;
            }
            m_held.append(raw, got);
            std::size_t usable = m_held.size() & ~std::size_t(1);
            if (usable >= 2) {
                const unsigned char hi =
                    static_cast<unsigned char>(m_held[usable - (m_little ? 1 : 2)]);
                if (hi >= 0xD8 && hi <= 0xDB)
                    usable -= 2;
            }
            AppendAsUtf8(QByteArrayView(m_held.data(), static_cast<qsizetype>(usable)),
                         m_little ? InputEncoding::Utf16LE : InputEncoding::Utf16BE, m_out);
            m_held.erase(0, usable);
        }
        const std::size_t n = std::min(size, m_out.size() - m_used);
        m_out.copy(buffer, n, m_used);
        m_used += n;
        return n;
    }

private:
    ByteSource &m_inner;
    bool m_little;
    std::string m_held;
    std::string m_out;
    std::size_t m_used = 0;
};

} // namespace

std::unique_ptr<ChunkDecoder> MakeChunkDecoder(InputFormat format, InputEncoding encoding,
                                               TextReceiver &receiver)
{
    switch (format) {
    case InputFormat::Mail:
        return MakeMailDecoder(encoding, receiver);
    case InputFormat::Markup:
        return MakeMarkupDecoder(encoding, receiver);
    case InputFormat::Contacts:
        return MakeContactsDecoder(encoding, receiver);
    case InputFormat::Json:
        return MakeJsonDecoder(encoding, receiver);
    case InputFormat::Text:
        break;
    }
    return std::make_unique<PlainDecoder>(encoding, receiver);
}

void DecodeFormat(InputFormat format, PeekableSource &source, QStringView shownName,
                  const DecodeSettings &settings, TextReceiver &receiver)
{
    // The source names the input in the errors it raises.
    Q_UNUSED(shownName);
    InputEncoding encoding = settings.encoding;
    const InputMark mark = FindInputMark(source.peek(4));
    if (mark.length > 0 && (encoding == InputEncoding::Auto || encoding == mark.encoding)) {
        char skipped[4];
        std::size_t left = static_cast<std::size_t>(mark.length);
        while (left > 0) {
            const std::size_t got = source.read(skipped, left);
            if (got == 0)
                break;
            left -= got;
        }
        encoding = mark.encoding;
    }

    std::unique_ptr<Utf16Source> wide;
    ByteSource *input = &source;
    if (encoding == InputEncoding::Utf16LE || encoding == InputEncoding::Utf16BE) {
        wide = std::make_unique<Utf16Source>(source, encoding == InputEncoding::Utf16LE);
        input = wide.get();
        encoding = InputEncoding::Utf8;
    }

    const std::unique_ptr<ChunkDecoder> decoder = MakeChunkDecoder(format, encoding, receiver);
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        std::size_t got = 0;
        try {
            got = input->read(buffer.data(), buffer.size());
        } catch (...) {
            // What was read before the fault is still handed on.
            decoder->finish();
            throw;
        }
        if (got == 0)
            break;
        decoder->push(std::string_view(buffer.data(), got));
    }
    decoder->finish();
}
