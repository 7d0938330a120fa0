#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "cli/entry_block.h"
#include "formats/byte_source.h"
#include "io/input_encoding.h"

// Finds the addresses of plain text as ReadPlainText and an AddressCollector do, on `threads`
// threads: pieces of about 1 MiB are cut at line ends, one piece per thread at a time, while
// the first thread reads the next round; the blocks reach `sink` in the text's order, named
// `name`. Memory stays bounded: two rounds of pieces and their addresses. False, with nothing
// read, for text that is not 8-bit (a UTF-16 mark): ReadPlainText reads it.
bool FindAddressesInPieces(PeekableSource &source, InputEncoding encoding, std::size_t threads,
                           BlockSink &sink, const QByteArray &name, bool withLines,
                           std::atomic<std::int64_t> *found);
