#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include <QByteArray>

#include "cli/cli_options.h"
#include "cli/output_sink.h"

// Turns entries into the text of one output form. Each call returns false once the output is
// closed: the run stops.
class Printer
{
public:
    virtual ~Printer() = default;
    // One entry found at `line` of the input or member shown as `name`.
    virtual bool entry(const QByteArray &name, std::int64_t line, std::string_view text) = 0;
    // The count of one input that was read, under the name it is shown by.
    virtual bool inputDone(const QByteArray &name, std::int64_t count);
    // The end of the run, after `total` entries.
    virtual bool finish(std::int64_t total);
};

// The printer of the form the options ask for: lines, one line joined by a separator, source
// columns, NUL after each entry, or counts. `terminator` ends a line ("\n", "\r\n" for --output).
std::unique_ptr<Printer> MakePrinter(const CliOptions &options, OutputSink &sink);

// A name as --source and --count show it: line feed, tab and backslash written \n, \t and \\,
// so that the columns hold.
QByteArray EscapedName(const QByteArray &name);
