#pragma once

#include <QByteArray>
#include <QString>

// A deterministic mailing-list-like text in Windows-1252: header lines with names, quoted names
// and addresses, quoted replies and French prose. About 65 bytes and 1.25 addresses a line.
QByteArray makeMailingListCorpus(int lines, quint32 seed = 20261209);

// Writes the corpus to a file in the system temporary folder (once per size) and returns its path.
QString corpusFile(int lines);

// Peak resident set size of this process, in MiB.
double peakMemoryMiB();
