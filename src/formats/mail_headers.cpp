#include "formats/mail_headers.h"

#include <algorithm>

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool IsHiddenHeader(std::string_view name)
{
    static constexpr std::string_view hidden[] = {"return-path",
                                                  "errors-to",
                                                  "list-unsubscribe",
                                                  "message-id",
                                                  "resent-message-id",
                                                  "content-id",
                                                  "in-reply-to",
                                                  "references",
                                                  "dkim-signature",
                                                  "x-google-dkim-signature",
                                                  "domainkey-signature",
                                                  "arc-seal",
                                                  "arc-message-signature",
                                                  "content-type",
                                                  "content-transfer-encoding",
                                                  "content-disposition",
                                                  "original-message-id",
                                                  "x-original-message-id"};
    for (const std::string_view h : hidden)
        if (EqualsNoCase(name, h))
            return true;
    return false;
}

std::string WithoutReceivedId(std::string_view value)
{
    std::string result;
    std::size_t i = 0;
    while (i < value.size()) {
        const bool wordStart = i == 0 || value[i - 1] == ' ' || value[i - 1] == '\t' ||
                               value[i - 1] == '\n' || value[i - 1] == '\r';
        if (wordStart && i + 3 <= value.size() && EqualsNoCase(value.substr(i, 2), "id") &&
            (value[i + 2] == ' ' || value[i + 2] == '\t')) {
            std::size_t j = i + 3;
            while (j < value.size() && (value[j] == ' ' || value[j] == '\t'))
                ++j;
            while (j < value.size() && value[j] != ' ' && value[j] != '\t' && value[j] != ';' &&
                   value[j] != '\r' && value[j] != '\n')
                ++j;
            i = j;
            continue;
        }
        result += value[i++];
    }
    return result;
}

MailContentType ParseContentType(GMimeParserOptions *options, const std::string &value)
{
    MailContentType result;
    result.value = value;
    result.filled = true;
    if (GMimeContentType *type = g_mime_content_type_parse(options, value.c_str())) {
        result.parsed = true;
        const char *media = g_mime_content_type_get_media_type(type);
        const char *subtype = g_mime_content_type_get_media_subtype(type);
        result.media = media ? media : "text";
        result.subtype = subtype ? subtype : "plain";
        std::transform(result.media.begin(), result.media.end(), result.media.begin(), lower);
        std::transform(result.subtype.begin(), result.subtype.end(), result.subtype.begin(), lower);
        const char *charset = g_mime_content_type_get_parameter(type, "charset");
        result.charset = charset ? charset : "";
        const char *boundary = g_mime_content_type_get_parameter(type, "boundary");
        result.boundary = boundary ? boundary : "";
        if (const char *fileName = g_mime_content_type_get_parameter(type, "name")) {
            result.name = fileName;
            result.hasName = true;
        }
        g_object_unref(type);
    }
    return result;
}
