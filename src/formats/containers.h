#pragma once

#include <cstdint>
#include <functional>

#include <QString>

#include "formats/byte_source.h"
#include "formats/text_receiver.h"

struct ContainerLimits
{
    std::uint64_t maxExpand = std::uint64_t{10} << 30; // decompressed bytes per input
    int maxDepth = 4;                                  // containers inside containers
};

// Reads a stream that holds no container: plain text or a format DecodeFormat reads.
using StreamReader = std::function<void(PeekableSource &source, const QString &shownName)>;

// Reads one input, told by its content (magic bytes), never by its name alone: compressed files
// (gzip, bzip2, xz, zstd, lzip) are read through, archives (zip, tar, 7z, cpio, ...) give each
// member in archive order as its own input named "archive.zip//dossier/a.txt" (told to
// `receiver.member`), office documents (docx, xlsx, pptx, odt, ods, odp), PDF and RTF give their
// text to `receiver`; anything else goes to `readStream`. Nothing is ever written to disk.
// Bombs, corrupt, truncated or encrypted containers end with an AppError naming the input after
// what was read before the fault was handed on; a member too deeply nested is a warning.
void ReadContainers(PeekableSource &source, const QString &shownName,
                    const ContainerLimits &limits, TextReceiver &receiver,
                    const StreamReader &readStream);
