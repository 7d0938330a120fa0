// JSON, streamed: only the strings (keys and values) are handed on, their escapes undone. No
// Debian library streams JSON token by token in a way simpler than this small scanner, and a
// document tree of a 2 GB file is out of the question.
#include <string>

#include "formats/decoder_support.h"
#include "text/utf8.h"

namespace {

constexpr std::size_t kPiece = 64 * 1024;

// The text handed on mirrors the input's lines: a string's text, a blank between strings, and
// one LF for every line break of the input, so that every run keeps its lines.
class JsonDecoder : public ChunkDecoder
{
public:
    JsonDecoder(InputEncoding encoding, TextReceiver &receiver)
        : m_encoding(encoding), m_receiver(receiver)
    {}

    void push(std::string_view bytes) override
    {
        const char *p = bytes.data();
        const char *end = p + bytes.size();
        while (p < end) {
            switch (m_state) {
            case State::Outside: {
                while (p < end && *p != '"' && *p != '\n')
                    ++p;
                if (p == end)
                    break;
                if (*p == '\n') {
                    m_out += '\n';
                    ++p;
                    if (m_out.size() >= kPiece)
                        flush(m_out.size());
                } else {
                    ++p;
                    m_state = State::String;
                }
                break;
            }
            case State::String: {
                const char *start = p;
                while (p < end && *p != '"' && *p != '\\' && *p != '\n')
                    ++p;
                m_raw.append(start, static_cast<std::size_t>(p - start));
                if (m_raw.size() >= kPiece)
                    takeRaw(false);
                if (p == end)
                    break;
                if (*p == '"') {
                    takeRaw(true);
                    endSurrogate();
                    m_out += ' ';
                    m_state = State::Outside;
                    if (m_out.size() >= kPiece)
                        flush(m_out.size());
                } else if (*p == '\n') {
                    // A raw line break in a string is not JSON; the line count stays right.
                    takeRaw(true);
                    endSurrogate();
                    m_out += '\n';
                } else {
                    takeRaw(true);
                    m_state = State::Escape;
                }
                ++p;
                break;
            }
            case State::Escape: {
                const char c = *p++;
                if (c == 'u') {
                    m_state = State::Unicode;
                    m_hexDigits = 0;
                    m_unit = 0;
                    break;
                }
                endSurrogate();
                switch (c) {
                case 'n':
                case 'r':
                case 't':
                case 'b':
                case 'f':
                    m_out += ' ';
                    break;
                case '\n':
                    m_out += '\n';
                    break;
                default:
                    if (static_cast<unsigned char>(c) < 0x80)
                        m_out += c;
                    else
                        m_raw += c;
                    break;
                }
                m_state = State::String;
                break;
            }
            case State::Unicode: {
                const int digit = HexDigitValue(*p);
                if (digit < 0) {
                    // A broken escape: what was read of it is dropped, the character kept.
                    endSurrogate();
                    m_state = State::String;
                    break;
                }
                ++p;
                m_unit = m_unit << 4 | static_cast<char32_t>(digit);
                if (++m_hexDigits == 4) {
                    unit(m_unit);
                    m_state = State::String;
                }
                break;
            }
            }
        }
    }

    void finish() override
    {
        takeRaw(true);
        endSurrogate();
        flush(m_out.size());
    }

private:
    enum class State { Outside, String, Escape, Unicode };

    void unit(char32_t u)
    {
        if (u >= 0xDC00 && u <= 0xDFFF && m_highSurrogate) {
            AppendUtf8(0x10000 + ((m_highSurrogate - 0xD800) << 10) + (u - 0xDC00), m_out);
            m_highSurrogate = 0;
            return;
        }
        endSurrogate();
        if (u >= 0xD800 && u <= 0xDBFF)
            m_highSurrogate = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            m_out += "\xEF\xBF\xBD";
        else
            AppendUtf8(u, m_out);
    }

    void endSurrogate()
    {
        if (m_highSurrogate) {
            m_out += "\xEF\xBF\xBD";
            m_highSurrogate = 0;
        }
    }

    // The raw bytes of a string read so far, in UTF-8; when the string goes on, only up to the
    // last ASCII byte, so that no character is cut in two.
    void takeRaw(bool all)
    {
        if (m_raw.empty())
            return;
        endSurrogate();
        std::size_t end = m_raw.size();
        if (!all) {
            while (end > 0 && static_cast<unsigned char>(m_raw[end - 1]) >= 0x80)
                --end;
            if (end == 0)
                end = m_raw.size();
        }
        AppendAsUtf8(QByteArrayView(m_raw.data(), static_cast<qsizetype>(end)), m_encoding, m_out);
        m_raw.erase(0, end);
        if (m_out.size() >= 2 * kPiece) {
            // A string longer than a piece: cut where no address can be.
            const std::size_t cut = BreakAfterLast(m_out);
            flush(cut > 0 ? cut : m_out.size());
        }
    }

    void flush(std::size_t end)
    {
        if (end == 0)
            return;
        m_receiver.text(std::string_view(m_out).substr(0, end), m_line, true);
        for (std::size_t i = 0; i < end; ++i)
            m_line += m_out[i] == '\n';
        m_out.erase(0, end);
    }

    InputEncoding m_encoding;
    TextReceiver &m_receiver;
    State m_state = State::Outside;
    std::string m_raw;
    std::string m_out;
    std::int64_t m_line = 1;
    int m_hexDigits = 0;
    char32_t m_unit = 0;
    char32_t m_highSurrogate = 0;
};

} // namespace

std::unique_ptr<ChunkDecoder> MakeJsonDecoder(InputEncoding encoding, TextReceiver &receiver)
{
    return std::make_unique<JsonDecoder>(encoding, receiver);
}
