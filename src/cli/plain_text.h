#pragma once

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
};
bool ReadPlainText(ByteSource &source, const PlainTextRules &rules, TextReceiver &receiver);
