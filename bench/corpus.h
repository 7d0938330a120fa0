#pragma once

#include <QByteArray>
#include <QString>

// How the corpus picks its addresses. Repeated: from about 330,000 texts, so most addresses come
// back many times. HalfDistinct: about half of the addresses are new texts and the rest repeat
// earlier ones, as in a real export; also a little more addresses a line (about 1.25).
// QuotedNames: a contact export whose tokens hold quoted names with commas, angle brackets,
// semicolon-separated fields, digits and accented letters, such as
// "Richard, Noël";marc.dupont778@mail.com;99 rue Robert;75010 and <élodie.moreau433@exemple.fr>,
// about half of them distinct.
// ContactExport: a larger export of the same kind, 1.27 addresses a line, 45 % of them distinct:
// names and streets repeat, so many tokens share long starts, and some tokens hold blanks,
// commas and quotes ("Richard, Noël <noel.richard12@mail.com>", ;"marc.dupont7@mail.com";"99).
enum class CorpusKind { Repeated, HalfDistinct, QuotedNames, ContactExport };

// A deterministic mailing-list-like text in Windows-1252: header lines with names, quoted names
// and addresses, quoted replies and French prose. About 60 bytes and 1.1 addresses a line.
QByteArray makeMailingListCorpus(int lines, quint32 seed = 20261209,
                                 CorpusKind kind = CorpusKind::Repeated);

// Writes the corpus to a file in the system temporary folder (once per size) and returns its path.
QString corpusFile(int lines, CorpusKind kind = CorpusKind::Repeated);

// Peak resident set size of this process, in MiB.
double peakMemoryMiB();
