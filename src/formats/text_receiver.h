#pragma once

#include <cstdint>
#include <string_view>

#include <QString>

// Decoded text on its way to the address finder (or, with --tokens, the window's token rules).
// Decoders, containers and the plain-text reader all hand their text to one of these.
class TextReceiver
{
public:
    virtual ~TextReceiver() = default;

    // A run of decoded text, in valid UTF-8, that ends at a line end or at the end of a part: no
    // address crosses two runs. `line` is the line of the original input (from 1) where the run
    // starts. With `linesFollow` the run is the input's own lines and every LF in it moves to the
    // next line; without, every address of the run is told at `line` (decoded content such as a
    // base64 part or a document's text, told at the line where that part starts).
    virtual void text(std::string_view utf8, std::int64_t line, bool linesFollow) = 0;

    // The text that follows comes from a member of the input, named as it is shown
    // ("archive.zip//dossier/a.txt"); an empty name goes back to the input itself.
    virtual void member(const QString &shownName) = 0;

    // A fault inside the input that does not stop it (a member too deeply nested, one that
    // cannot be read): told on standard error, and the exit status becomes 1. A fault that stops
    // the input is raised as an AppError instead, after the text read before it was handed on.
    virtual void warning(const QString &message) = 0;
};
