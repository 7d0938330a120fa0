#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include <QByteArrayView>
#include <QString>

#include "formats/byte_source.h"
#include "formats/containers_text.h"

// Whether `head`, an input's first bytes, opens a PDF file.
bool IsPdf(QByteArrayView head);

// Reads a PDF: Poppler needs the whole file, so it is held in memory, at most `maxBytes` of it.
// The text of every page, a line per text line, then the `mailto:` targets of its links.
// Raises an AppError naming `shownName` for a file too large, unreadable or locked by a
// password, after the text read before.
void ReadPdfText(ByteSource &source, const QString &shownName, std::uint64_t maxBytes,
                 ContainerLineSink &sink);

// The `mailto:` targets of the link actions written in `pdf`'s bytes (/URI strings), both in
// plain objects and in compressed object streams; each as valid UTF-8.
void ForEachPdfMailto(QByteArrayView pdf, std::uint64_t maxInflated,
                      const std::function<void(std::string_view)> &found);
