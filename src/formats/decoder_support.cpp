#include "formats/decoder_support.h"

#include <cerrno>
#include <iconv.h>

#include "formats/gmime_include.h"

std::size_t CutAfterLastLine(std::string_view text)
{
    const std::size_t lf = text.rfind('\n');
    return lf != std::string_view::npos ? lf + 1 : BreakAfterLast(text);
}

std::size_t BreakAfterLast(std::string_view text)
{
    for (std::size_t i = text.size(); i > 0; --i) {
        switch (text[i - 1]) {
        case ' ':
        case '\t':
        case '\n':
        case '\r':
        case '<':
        case '>':
        case '"':
        case '\'':
        case ',':
        case ';':
        case '(':
        case ')':
            return i;
        default:
            break;
        }
    }
    return 0;
}

namespace {

bool isUtf8Name(std::string_view charset)
{
    std::string lower;
    for (const char c : charset)
        if (c != '-' && c != '_')
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "utf8";
}

bool isAsciiName(std::string_view charset)
{
    std::string lower;
    for (const char c : charset)
        if (c != '-' && c != '_')
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "usascii" || lower == "ascii";
}

} // namespace

CharsetConverter::CharsetConverter(std::string_view charset, InputEncoding fallback)
    : m_fallback(fallback)
{
    if (charset.empty())
        return;
    // A part labelled US-ASCII that holds 8-bit bytes is read as the input rule says.
    if (isAsciiName(charset)) {
        m_fallback = InputEncoding::Auto;
        return;
    }
    if (isUtf8Name(charset)) {
        m_fallback = InputEncoding::Utf8;
        return;
    }
    EnsureGMime();
    const std::string name(charset);
    iconv_t cd = g_mime_iconv_open("UTF-8", g_mime_charset_iconv_name(name.c_str()));
    if (cd != reinterpret_cast<iconv_t>(-1))
        m_iconv = cd;
}

CharsetConverter::~CharsetConverter()
{
    if (m_iconv)
        g_mime_iconv_close(static_cast<iconv_t>(m_iconv));
}

void CharsetConverter::append(std::string_view bytes, std::string &out)
{
    if (!m_iconv) {
        AppendAsUtf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())), m_fallback,
                     out);
        return;
    }
    const auto cd = static_cast<iconv_t>(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[8192];
    while (inLeft > 0) {
        char *outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // A byte the charset does not map, or a character cut at the end: one replacement
        // character, then on.
        out += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char *outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
}

void PartReceiver::text(std::string_view utf8, std::int64_t line, bool linesFollow)
{
    if (m_linesFollow && linesFollow)
        m_outer.text(utf8, m_line + line - 1, true);
    else if (m_linesFollow)
        m_outer.text(utf8, m_line + line - 1, false);
    else
        m_outer.text(utf8, m_line, false);
}

void EnsureGMime()
{
    static const bool ready = [] {
        g_mime_init();
        return true;
    }();
    (void)ready;
}
