#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "cli/entry_block.h"
#include "formats/byte_source.h"
#include "io/input_encoding.h"

// What the pieces hold: plain text, cut at line ends, or a mailbox, cut between messages.
enum class PieceKind { PlainText, Mailbox };

// Finds the addresses of an input as ReadPlainText (or the mail decoder) and an
// AddressCollector do, on `threads` threads: pieces of about 1 MiB are cut, one piece per thread
// at a time, while the first thread reads the next round; the blocks reach `sink` in the input's
// order, named `name`. Memory stays bounded: two rounds of pieces and their addresses. From a
// message longer than a piece on, a mailbox is decoded on this thread alone. False, with nothing
// read, for text that is not 8-bit (a UTF-16 mark), or a mailbox that does not start with
// "From ": the caller reads it as usual.
bool FindAddressesInPieces(PeekableSource &source, PieceKind kind, InputEncoding encoding,
                           std::size_t threads, BlockSink &sink, const QByteArray &name,
                           bool withLines, std::atomic<std::int64_t> *found);
