// HTML and XML through libxml2's HTML parser in push mode: it decodes character references and
// the entities it knows, and holds no document tree. The bytes reach it as UTF-8, converted here
// from the charset the page declares or by the input rule.
#include <cctype>
#include <cstring>
#include <string>

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include "formats/decoder_support.h"

namespace {

constexpr std::size_t kHeadLook = 16 * 1024;
constexpr std::size_t kPiece = 64 * 1024;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// The charset a page declares in its first bytes (`<meta charset=...>`, `<meta http-equiv ...
// content="...; charset=...">`, `<?xml ... encoding="..."?>`), or empty.
std::string declaredCharset(std::string_view head)
{
    std::string lowered(head.size(), ' ');
    for (std::size_t i = 0; i < head.size(); ++i)
        lowered[i] = lower(head[i]);
    auto valueAfter = [&](std::size_t at) {
        while (at < lowered.size() && (lowered[at] == ' ' || lowered[at] == '=' ||
                                       lowered[at] == '"' || lowered[at] == '\''))
            ++at;
        std::size_t end = at;
        while (end < lowered.size() &&
               (std::isalnum(static_cast<unsigned char>(lowered[end])) || lowered[end] == '-' ||
                lowered[end] == '_' || lowered[end] == ':' || lowered[end] == '.'))
            ++end;
        return std::string(lowered.substr(at, end - at));
    };
    if (lowered.starts_with("<?xml")) {
        const std::size_t close = lowered.find("?>");
        const std::size_t at = lowered.find("encoding", 0);
        if (at != std::string::npos && at < close)
            return valueAfter(at + 8);
    }
    std::size_t meta = 0;
    while ((meta = lowered.find("<meta", meta)) != std::string::npos) {
        const std::size_t close = lowered.find('>', meta);
        const std::size_t at = lowered.find("charset", meta);
        if (at != std::string::npos && (close == std::string::npos || at < close))
            return valueAfter(at + 7);
        meta += 5;
    }
    return {};
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != prefix[i])
            return false;
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Named references of HTML5 that libxml2's HTML 4 table lacks and that can stand in an
// address; the parser leaves them as written.
struct NamedCharacter
{
    std::string_view name;
    std::string_view utf8;
};
constexpr NamedCharacter kHtml5Names[] = {{"commat", "@"},
                                          {"period", "."},
                                          {"lowbar", "_"},
                                          {"hyphen", "\xE2\x80\x90"},
                                          {"dash", "\xE2\x80\x90"},
                                          {"plus", "+"},
                                          {"equals", "="},
                                          {"num", "#"},
                                          {"excl", "!"},
                                          {"percnt", "%"},
                                          {"apos", "'"},
                                          {"ast", "*"},
                                          {"dollar", "$"},
                                          {"quest", "?"},
                                          {"colon", ":"},
                                          {"semi", ";"},
                                          {"comma", ","},
                                          {"lsqb", "["},
                                          {"rsqb", "]"},
                                          {"lpar", "("},
                                          {"rpar", ")"},
                                          {"lcub", "{"},
                                          {"rcub", "}"},
                                          {"sol", "/"},
                                          {"bsol", "\\"},
                                          {"Hat", "^"},
                                          {"grave", "`"},
                                          {"verbar", "|"},
                                          {"tilde", "~"},
                                          {"NewLine", "\n"},
                                          {"Tab", "\t"}};

void appendWithHtml5Names(std::string_view text, std::string &out)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t amp = text.find('&', from);
        if (amp == std::string_view::npos)
            break;
        const std::size_t semi = text.find(';', amp + 1);
        bool replaced = false;
        if (semi != std::string_view::npos && semi - amp <= 10) {
            const std::string_view name = text.substr(amp + 1, semi - amp - 1);
            for (const NamedCharacter &named : kHtml5Names) {
                if (named.name == name) {
                    out.append(text.substr(from, amp - from));
                    out.append(named.utf8);
                    from = semi + 1;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out.append(text.substr(from, amp + 1 - from));
            from = amp + 1;
        }
    }
    out.append(text.substr(from));
}

// Elements that run inside a line of text; the others break words apart.
bool isInline(const xmlChar *name)
{
    static constexpr std::string_view inlineNames[] = {
        "a",   "b",   "i",   "u",    "em",   "strong", "span", "font", "small",
        "big", "sub", "sup", "abbr", "code", "tt",     "wbr",  "s",    "mark"};
    const std::string_view n(reinterpret_cast<const char *>(name));
    for (const std::string_view i : inlineNames)
        if (n == i)
            return true;
    return false;
}

class MarkupDecoder : public ChunkDecoder
{
public:
    MarkupDecoder(InputEncoding encoding, TextReceiver &receiver)
        : m_encoding(encoding), m_receiver(receiver)
    {
        std::memset(&m_sax, 0, sizeof m_sax);
        m_sax.initialized = XML_SAX2_MAGIC;
        m_sax.startElement = &MarkupDecoder::onStart;
        m_sax.endElement = &MarkupDecoder::onEnd;
        m_sax.characters = &MarkupDecoder::onCharacters;
        m_sax.cdataBlock = &MarkupDecoder::onCharacters;
        m_sax.ignorableWhitespace = &MarkupDecoder::onCharacters;
        m_sax.serror = &MarkupDecoder::onError;
        m_ctxt =
            htmlCreatePushParserCtxt(&m_sax, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
        htmlCtxtUseOptions(m_ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                       HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC |
                                       HTML_PARSE_NOIMPLIED);
    }

    ~MarkupDecoder() override
    {
        if (m_ctxt)
            htmlFreeParserCtxt(m_ctxt);
    }

    void push(std::string_view bytes) override
    {
        m_held.append(bytes);
        if (!m_converter) {
            if (m_held.size() < kHeadLook)
                return;
            chooseCharset();
        }
        if (m_held.size() < kPiece)
            return;
        const std::size_t lf = m_held.rfind('\n');
        std::size_t end = lf == std::string::npos ? BreakAfterLast(m_held) : lf + 1;
        if (end == 0)
            end = m_held.size();
        parse(end, false);
    }

    void finish() override
    {
        if (!m_converter)
            chooseCharset();
        parse(m_held.size(), true);
        flushText(true);
    }

private:
    void chooseCharset()
    {
        const std::string charset =
            m_encoding == InputEncoding::Auto ? declaredCharset(m_held.substr(0, kHeadLook)) : "";
        m_converter = std::make_unique<CharsetConverter>(charset, m_encoding);
    }

    void parse(std::size_t end, bool last)
    {
        m_utf8.clear();
        m_converter->append(std::string_view(m_held).substr(0, end), m_utf8);
        m_held.erase(0, end);
        htmlParseChunk(m_ctxt, m_utf8.data(), static_cast<int>(m_utf8.size()), last ? 1 : 0);
    }

    std::int64_t currentLine() const
    {
        return m_ctxt && m_ctxt->input ? m_ctxt->input->line : m_textLine;
    }

    // Text is handed on at the line the parser stands on. The parser hands a long text on in
    // pieces, so a line change inside a text ends the run only at the last place that cannot be
    // inside an address.
    void addText(std::string_view text, bool characters)
    {
        const std::int64_t line = currentLine();
        if (line != m_textLine) {
            flushText(!(characters && m_inText));
            m_textLine = line;
        }
        m_inText = characters;
        if (m_text.empty())
            m_runLine = line;
        m_text.append(text);
        if (m_text.size() >= kPiece)
            flushText(false);
    }

    void breakWords()
    {
        if (!m_text.empty() && m_text.back() != '\n')
            m_text += '\n';
    }

    void flushText(bool all)
    {
        std::size_t end = all ? m_text.size() : BreakAfterLast(m_text);
        if (!all && end == 0 && m_text.size() >= LineSplitter::kMaxLine)
            end = m_text.size();
        if (end == 0)
            return;
        const std::string_view run(m_text.data(), end);
        m_run.clear();
        if (run.find('&') != std::string_view::npos)
            appendWithHtml5Names(run, m_run);
        else
            m_run.append(run);
        // libxml2 hands on UTF-8, yet a reference to a code point that is no character may
        // slip through.
        if (QByteArrayView(m_run.data(), static_cast<qsizetype>(m_run.size())).isValidUtf8()) {
            m_receiver.text(m_run, m_runLine, false);
        } else {
            std::string valid;
            AppendAsUtf8(QByteArrayView(m_run.data(), static_cast<qsizetype>(m_run.size())),
                         InputEncoding::Utf8, valid);
            m_receiver.text(valid, m_runLine, false);
        }
        m_text.erase(0, end);
    }

    void attribute(std::string_view value)
    {
        if (startsWithNoCase(value, "mailto:")) {
            std::string decoded;
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '%' && i + 2 < value.size() && hexValue(value[i + 1]) >= 0 &&
                    hexValue(value[i + 2]) >= 0) {
                    decoded +=
                        static_cast<char>(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2]));
                    i += 2;
                } else {
                    decoded += value[i];
                }
            }
            std::string valid;
            AppendAsUtf8(QByteArrayView(decoded.data(), static_cast<qsizetype>(decoded.size())),
                         InputEncoding::Auto, valid);
            addText(valid, false);
        } else {
            addText(value, false);
        }
        breakWords();
    }

    static void onStart(void *self, const xmlChar *name, const xmlChar **attributes)
    {
        auto *decoder = static_cast<MarkupDecoder *>(self);
        decoder->m_inText = false;
        if (!isInline(name) || attributes)
            decoder->breakWords();
        for (const xmlChar **a = attributes; a && a[0]; a += 2) {
            if (a[1])
                decoder->attribute(reinterpret_cast<const char *>(a[1]));
        }
    }

    static void onEnd(void *self, const xmlChar *name)
    {
        auto *decoder = static_cast<MarkupDecoder *>(self);
        decoder->m_inText = false;
        if (!isInline(name))
            decoder->breakWords();
    }

    static void onCharacters(void *self, const xmlChar *text, int length)
    {
        static_cast<MarkupDecoder *>(self)->addText(
            std::string_view(reinterpret_cast<const char *>(text),
                             static_cast<std::size_t>(length)),
            true);
    }

    static void onError(void *, xmlErrorPtr) {}

    InputEncoding m_encoding;
    TextReceiver &m_receiver;
    htmlSAXHandler m_sax;
    htmlParserCtxtPtr m_ctxt = nullptr;
    std::unique_ptr<CharsetConverter> m_converter;
    std::string m_held;
    std::string m_utf8;
    std::string m_text;
    std::string m_run;
    bool m_inText = false;
    std::int64_t m_textLine = 1;
    std::int64_t m_runLine = 1;
};

} // namespace

std::unique_ptr<ChunkDecoder> MakeMarkupDecoder(InputEncoding encoding, TextReceiver &receiver)
{
    return std::make_unique<MarkupDecoder>(encoding, receiver);
}
