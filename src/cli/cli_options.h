#pragma once

#include <QString>
#include <QStringList>

#include "io/text_encoding.h"
#include "errors/usage_error.h"

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
    bool hasSeparator = false;
    QString separator;
    QString outputPath;
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
