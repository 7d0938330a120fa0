#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/byte_source.h"
#include "formats/text_receiver.h"
#include "io/input_encoding.h"

// Reads plain text from `source` in pieces and hands every line that holds "@" to `receiver`
// as UTF-8, with its line number (CR LF, CR and LF each end a line). Lines without "@" hold no
// address and are only counted. `encoding` Auto follows the byte-order mark when there is one,
// else reads each line as UTF-8 where it is valid and as Windows-1252 where it is not. Memory
// stays bounded: a line longer than a piece is handed on in parts, cut between words.
//
// With `windowRules` the text is read as the window reads a file: the mark, else Windows-1252;
// the first U+0000 ends the text; UTF-8 after its mark must be valid throughout, else the whole
// text is empty and false is returned (what was handed on before must then be dropped).
struct PlainTextRules
{
    InputEncoding encoding = InputEncoding::Auto;
    bool windowRules = false;
    // Without, every line is told as line 1: for a receiver that shows no lines.
    bool lineNumbers = true;
};
bool ReadPlainText(ByteSource &source, const PlainTextRules &rules, TextReceiver &receiver);

// How a text that begins with `head` (its first 4 bytes, or all of it when shorter) is read:
// its encoding, and the length of the byte-order mark to skip.
struct PlainTextStart
{
    InputEncoding encoding = InputEncoding::Auto;
    std::size_t markLength = 0;
};
PlainTextStart StartOfPlainText(QByteArrayView head, const PlainTextRules &rules);

// For a reader that cuts 8-bit text (Auto without a mark, Windows-1252 or UTF-8) into pieces
// and scans them apart, as ReadPlainText would, without the window's rules:
// - PieceEnd: where a full piece [d, d + n) ends, after its last complete line end, else
//   between words;
// - ScanTextPiece: hands the lines of one piece that hold "@", the first at `firstLine` (and
//   every one at it without `countLines`);
// - CountLineEnds: the line ends of a piece (CR LF counts once), to number the next.
std::size_t PieceEnd(const char *d, std::size_t n);
void ScanTextPiece(std::string_view piece, InputEncoding encoding, std::int64_t firstLine,
                   bool countLines, TextReceiver &receiver);
std::int64_t CountLineEnds(std::string_view text);
