#pragma once

#include <QByteArrayView>
#include <QStringView>

#include "formats/byte_source.h"
#include "formats/text_receiver.h"
#include "io/input_encoding.h"

// What the bytes of an input carry, told by their content; the name is only a hint.
enum class InputFormat { Text, Mail, Markup, Contacts, Json };

// `head` is the first bytes of the input (up to 64 KiB, fewer only when it is shorter).
InputFormat DetectFormat(QByteArrayView head, QStringView nameHint);

struct DecodeSettings
{
    InputEncoding encoding = InputEncoding::Auto;
};

// Decodes a whole input of a format other than Text and hands its text to `receiver`: mail
// (headers unfolded and RFC 2047 words decoded, MIME parts at any depth, quoted-printable and
// base64, text attachments, each part's charset), markup (character references, entities,
// `mailto:` links percent-decoded), contacts (vCard, iCalendar, LDIF: folded lines joined, LDIF
// base64 values decoded) and JSON (string escapes). Values that are never addresses, such as
// Message-IDs, are not handed on. Raises an AppError naming the input when its bytes cannot be
// read; memory stays bounded whatever the input's size.
void DecodeFormat(InputFormat format, PeekableSource &source, QStringView shownName,
                  const DecodeSettings &settings, TextReceiver &receiver);
