#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

#include "errors/usage_error.h"
#include "io/input_encoding.h"
#include "io/text_encoding.h"

struct CliOptions
{
    bool help = false;
    bool version = false;
    bool unique = false;
    bool sort = false;
    bool source = false;
    bool count = false;
    bool null = false;
    bool quiet = false;
    // The window's tokens instead of addresses.
    bool tokens = false;
    // --input-encoding; without it, tokens follow the window's rule and addresses Auto.
    InputEncoding inputEncoding = InputEncoding::Auto;
    bool inputEncodingGiven = false;
    // --format text: every input is plain text, no format is looked for.
    bool formatText = false;
    std::uint64_t maxExpand = std::uint64_t{10} << 30;
    bool hasSeparator = false;
    QString separator;
    QString outputPath; // empty: standard output (also for "-o -")
    TextEncoding encoding = TextEncoding::SystemCodePage;
    QStringList globs;
    QStringList filesFrom;
    int jobs = 0; // 0: one per core
    // Files, folders and "-", in the order given; empty means standard input.
    QStringList inputs;
};

// Reads the arguments that follow the program's name. Raises UsageError.
CliOptions ParseCliOptions(const QStringList &arguments);

QString UsageLine();
QString HelpText();
QString CliVersionText();
