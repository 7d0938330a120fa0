#pragma once

#include <string>
#include <string_view>

#include "formats/gmime_include.h"

// What the mail decoder reads from a message's headers: which values are handed on, and the
// content type of a part.

bool EqualsNoCase(std::string_view a, std::string_view b);

// Headers whose values are identifiers, signatures or MIME structure, never addresses to keep;
// and the envelope's return addresses, for bounces: the sender's own address is in From, and
// a return address is otherwise the mail system's.
bool IsHiddenHeader(std::string_view name);

// A Received line without its queue identifier (`id 4Xyz@host`).
std::string WithoutReceivedId(std::string_view value);

// A Content-Type value as GMime parses it, media type and subtype in lower case.
struct MailContentType
{
    std::string value;
    bool filled = false; // value was parsed
    bool parsed = false; // and GMime took it
    std::string media, subtype, charset, boundary, name;
    bool hasName = false;
};

MailContentType ParseContentType(GMimeParserOptions *options, const std::string &value);
