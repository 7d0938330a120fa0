#include "formats/format_decoders.h"

#include <array>
#include <string>
#include <string_view>

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string_view lineAt(std::string_view text, std::size_t &position)
{
    const std::size_t end = text.find('\n', position);
    std::string_view line = text.substr(
        position, end == std::string_view::npos ? std::string_view::npos : end - position);
    position = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// The header name of a `Name: value` line, or empty.
std::string_view headerName(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos)
        return {};
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c <= 32 || c >= 127)
            return {};
    }
    return line.substr(0, colon);
}

bool isMailHeaderName(std::string_view name)
{
    static constexpr std::array<std::string_view, 16> names = {
        "from",         "to",          "cc",         "subject",     "received", "return-path",
        "mime-version", "message-id",  "date",       "reply-to",    "sender",   "delivered-to",
        "x-mailer",     "in-reply-to", "references", "content-type"};
    for (const std::string_view known : names)
        if (name.size() == known.size() && startsWithNoCase(name, known))
            return true;
    return false;
}

// A block of header lines up to the first blank line (or the end of the head), with at least
// one name only mail uses and nothing that is not a header line.
bool looksLikeHeaders(std::string_view text, std::size_t position, bool truncated)
{
    int headers = 0;
    bool mailName = false;
    while (position < text.size()) {
        const std::size_t start = position;
        const std::string_view line = lineAt(text, position);
        if (line.empty())
            break;
        if (line.front() == ' ' || line.front() == '\t') {
            if (headers == 0)
                return false;
            continue;
        }
        const std::string_view name = headerName(line);
        if (name.empty()) {
            // The head may stop in the middle of a line.
            if (truncated && position == text.size() && start > 0)
                break;
            return false;
        }
        ++headers;
        mailName = mailName || (isMailHeaderName(name) && name != "content-type");
    }
    return headers >= 2 && mailName;
}

// `[` or `{` followed by what JSON allows there; a log line such as `[2024-01-02 ...]` is not.
bool looksLikeJson(std::string_view text)
{
    const char open = text.front();
    std::size_t i = 1;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i == text.size())
        return true;
    const char next = text[i];
    if (open == '{')
        return next == '"' || next == '}';
    if (next == '{' || next == '[' || next == '"' || next == ']')
        return true;
    std::size_t end = i;
    while (end < text.size() && !isBlank(text[end]) && text[end] != ',' && text[end] != ']')
        ++end;
    const std::string_view token = text.substr(i, end - i);
    bool number = !token.empty();
    for (const char c : token)
        number = number && ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' ||
                            c == 'e' || c == 'E');
    if (!(number || token == "true" || token == "false" || token == "null"))
        return false;
    while (end < text.size() && isBlank(text[end]))
        ++end;
    return end == text.size() || text[end] == ',' || text[end] == ']';
}

bool isLdif(std::string_view text, std::size_t position)
{
    while (position < text.size()) {
        const std::string_view line = lineAt(text, position);
        if (line.empty() || line.front() == '#')
            continue;
        return startsWithNoCase(line, "dn:") ||
               (startsWithNoCase(line, "version:") &&
                text.find("\ndn:", position - 1) != std::string_view::npos);
    }
    return false;
}

bool nameEndsWith(QStringView name, std::initializer_list<const char *> suffixes)
{
    for (const char *suffix : suffixes)
        if (name.endsWith(QLatin1StringView(suffix), Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

InputFormat DetectFormat(QByteArrayView head, QStringView nameHint)
{
    std::string wide;
    std::string_view text(head.data(), static_cast<std::size_t>(head.size()));
    const InputMark mark = FindInputMark(head);
    if (mark.encoding == InputEncoding::Utf16LE || mark.encoding == InputEncoding::Utf16BE) {
        AppendAsUtf8(head.sliced(mark.length), mark.encoding, wide);
        text = wide;
    } else {
        text.remove_prefix(static_cast<std::size_t>(mark.length));
    }
    const bool truncated = head.size() >= 64 * 1024;

    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    if (start == text.size())
        return InputFormat::Text;
    const std::string_view body = text.substr(start);
    // Blank lines may come before a message's headers, never inside them.
    std::size_t lineStart = text.rfind('\n', start);
    lineStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;

    if (body.starts_with("From ")) {
        std::size_t position = start;
        lineAt(text, position);
        if (looksLikeHeaders(text, position, truncated))
            return InputFormat::Mail;
    }
    if (looksLikeHeaders(text, lineStart, truncated))
        return InputFormat::Mail;
    std::size_t afterFirst = 0;
    if (nameEndsWith(nameHint, {".eml", ".mbox", ".mbx"}) &&
        (body.starts_with("From ") || !headerName(lineAt(body, afterFirst)).empty()))
        return InputFormat::Mail;

    if (body.front() == '<') {
        if (startsWithNoCase(body, "<!doctype") || startsWithNoCase(body, "<html") ||
            body.starts_with("<?xml") || body.starts_with("<!--"))
            return InputFormat::Markup;
        // A tag, not `<jean@exemple.fr>` at the head of a list.
        std::size_t end = 1;
        while (end < body.size() && ((lower(body[end]) >= 'a' && lower(body[end]) <= 'z') ||
                                     (end > 1 && body[end] >= '0' && body[end] <= '9')))
            ++end;
        if (end > 1 && end < body.size() &&
            (isBlank(body[end]) || body[end] == '>' || body[end] == '/'))
            return InputFormat::Markup;
    }
    if (startsWithNoCase(body, "BEGIN:VCARD") || startsWithNoCase(body, "BEGIN:VCALENDAR"))
        return InputFormat::Contacts;
    if (isLdif(text, lineStart))
        return InputFormat::Contacts;
    if ((body.front() == '{' || body.front() == '[') && looksLikeJson(body))
        return InputFormat::Json;
    if (nameEndsWith(nameHint, {".json"}) && (body.front() == '{' || body.front() == '['))
        return InputFormat::Json;
    return InputFormat::Text;
}
