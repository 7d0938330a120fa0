// vCard, iCalendar and LDIF: folded lines joined (a fold may cut an address), vCard's
// quoted-printable values and LDIF's base64 values decoded, vCard's escapes undone.
#include <string>

#include "formats/decoder_support.h"
#include "formats/gmime_include.h"

namespace {

constexpr std::size_t kPiece = 64 * 1024;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char &c : result)
        c = lower(c);
    return result;
}

// The value of a parameter such as CHARSET=... in `NAME;PARAM=...;...`, or empty.
std::string parameter(std::string_view params, std::string_view name)
{
    const std::string lower = lowered(params);
    std::size_t at = 0;
    while ((at = lower.find(name, at)) != std::string::npos) {
        if (at > 0 && lower[at - 1] == ';' && at + name.size() < lower.size() &&
            lower[at + name.size()] == '=') {
            const std::size_t start = at + name.size() + 1;
            const std::size_t end = params.find(';', start);
            std::string value(params.substr(
                start, end == std::string_view::npos ? std::string_view::npos : end - start));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
        at += name.size();
    }
    return {};
}

bool hasBareParameter(std::string_view params, std::string_view word)
{
    const std::string lower = lowered(params);
    std::size_t at = 0;
    while ((at = lower.find(word, at)) != std::string::npos) {
        const std::size_t end = at + word.size();
        if (at > 0 && lower[at - 1] == ';' && (end == lower.size() || lower[end] == ';'))
            return true;
        at = end;
    }
    return false;
}

// `UID`, `item1.UID;VALUE=text`: the property's name without its group and parameters.
bool isIdentifier(std::string_view nameAndParams)
{
    std::string_view name = nameAndParams.substr(0, nameAndParams.find(';'));
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name.remove_prefix(dot + 1);
    return lowered(name) == "uid";
}

class ContactsDecoder : public ChunkDecoder
{
public:
    ContactsDecoder(InputEncoding encoding, TextReceiver &receiver)
        : m_encoding(encoding), m_receiver(receiver)
    {}

    void push(std::string_view bytes) override
    {
        m_lines.push(bytes,
                     [this](std::string_view line, bool complete) { onLine(line, complete); });
    }

    void finish() override
    {
        m_lines.finish([this](std::string_view line, bool complete) { onLine(line, complete); });
        endLogical();
        flush();
    }

private:
    void onLine(std::string_view line, bool complete)
    {
        if (!m_wholeLine) {
            // The rest of an over-long line.
            if (m_logical.size() < LineSplitter::kMaxLine)
                m_logical.append(line);
            m_wholeLine = complete;
            if (complete)
                ++m_physical;
            return;
        }
        m_wholeLine = complete;
        const bool folded = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (m_physical > 0 && (folded || m_softBreak)) {
            if (m_logical.size() < LineSplitter::kMaxLine)
                m_logical.append(m_softBreak ? line : line.substr(1));
            if (complete)
                ++m_physical;
            m_softBreak = m_quotedPrintable && !line.empty() && line.back() == '=';
            if (m_softBreak)
                m_logical.pop_back();
            return;
        }
        endLogical();
        m_logical.assign(line);
        m_physical = complete ? 1 : 0;
        const std::size_t colon = m_logical.find(':');
        const std::string_view params =
            std::string_view(m_logical).substr(0, colon == std::string::npos ? 0 : colon);
        m_quotedPrintable = lowered(params).find("quoted-printable") != std::string::npos;
        m_softBreak = m_quotedPrintable && !m_logical.empty() && m_logical.back() == '=';
        if (m_softBreak)
            m_logical.pop_back();
        if (m_physical == 0)
            m_pendingIncomplete = true;
    }

    void endLogical()
    {
        if (m_physical == 0 && m_logical.empty() && !m_pendingIncomplete)
            return;
        m_pendingIncomplete = false;
        const std::string_view line = m_logical;
        if (!line.empty() && line.front() != '#') {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                AppendAsUtf8(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())),
                             m_encoding, m_out);
            } else {
                const std::string_view name = line.substr(0, colon);
                std::string_view value = line.substr(colon + 1);
                if (lowered(name) == "begin" || lowered(name) == "dn")
                    m_ldif = lowered(name) == "dn" ? true : m_ldif && lowered(name) != "begin";
                AppendAsUtf8(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())),
                             m_encoding, m_out);
                m_out += ':';
                if (value.starts_with(':')) {
                    // LDIF base64: text once decoded, unless it is a photo or a key.
                    value.remove_prefix(1);
                    decodedBase64(value);
                } else if (isIdentifier(name)) {
                    // A card's or an event's UID looks like an address and is not one.
                } else if (hasBareParameter(name, "b") || hasBareParameter(name, "base64") ||
                           lowered(parameter(name, "encoding")) == "b" ||
                           lowered(parameter(name, "encoding")) == "base64") {
                    // Pictures and keys of a vCard: no text.
                } else {
                    std::string raw;
                    if (m_quotedPrintable) {
                        raw.resize(value.size() + 4);
                        int state = 0;
                        guint32 save = 0;
                        const std::size_t n = g_mime_encoding_quoted_decode_step(
                            reinterpret_cast<const unsigned char *>(value.data()), value.size(),
                            reinterpret_cast<unsigned char *>(raw.data()), &state, &save);
                        raw.resize(n);
                        value = raw;
                    }
                    std::string text;
                    CharsetConverter(parameter(name, "charset"), m_encoding).append(value, text);
                    appendUnescaped(text);
                }
            }
        }
        m_out.append(static_cast<std::size_t>(m_physical), '\n');
        m_logical.clear();
        m_physical = 0;
        m_quotedPrintable = false;
        m_softBreak = false;
        if (m_out.size() >= kPiece)
            flush();
    }

    void decodedBase64(std::string_view value)
    {
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        std::string bytes(value.size() * 3 / 4 + 4, '\0');
        int state = 0;
        guint32 save = 0;
        const std::size_t n = g_mime_encoding_base64_decode_step(
            reinterpret_cast<const unsigned char *>(value.data()), value.size(),
            reinterpret_cast<unsigned char *>(bytes.data()), &state, &save);
        bytes.resize(n);
        const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
        if (!view.isValidUtf8())
            return;
        for (const char c : bytes)
            if (static_cast<unsigned char>(c) < 32 && c != '\t' && c != '\n' && c != '\r')
                return;
        for (const char c : bytes)
            m_out += c == '\n' || c == '\r' ? ' ' : c;
    }

    // vCard and iCalendar escape `\,`, `\;`, `\\` and write a line break as `\n`.
    void appendUnescaped(std::string_view text)
    {
        if (m_ldif || text.find('\\') == std::string_view::npos) {
            m_out.append(text);
            return;
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) {
                const char next = text[++i];
                m_out += next == 'n' || next == 'N' ? ' ' : next;
            } else {
                m_out += text[i];
            }
        }
    }

    void flush()
    {
        if (!m_out.empty()) {
            m_receiver.text(m_out, m_outLine, true);
            for (const char c : m_out)
                m_outLine += c == '\n';
        }
        m_out.clear();
    }

    InputEncoding m_encoding;
    TextReceiver &m_receiver;
    LineSplitter m_lines;
    bool m_wholeLine = true;
    bool m_ldif = false;
    std::string m_logical;
    std::int64_t m_physical = 0;
    bool m_pendingIncomplete = false;
    bool m_quotedPrintable = false;
    bool m_softBreak = false;
    std::string m_out;
    std::int64_t m_outLine = 1;
};

} // namespace

std::unique_ptr<ChunkDecoder> MakeContactsDecoder(InputEncoding encoding, TextReceiver &receiver)
{
    return std::make_unique<ContactsDecoder>(encoding, receiver);
}
