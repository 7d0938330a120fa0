// Writes the benchmark corpus: make_corpus [--distinct | --quoted | --export] LINES OUTPUT
// --distinct: about half of the addresses are distinct texts (a real export), instead of a few
// hundred thousand texts repeated. --quoted: a contact export of quoted names and fields.
// --export: a larger contact export, names and streets repeated, some tokens with blanks.
#include <cstdio>
#include <cstring>

#include <QFile>

#include "corpus.h"

int main(int argc, char **argv)
{
    CorpusKind kind = CorpusKind::Repeated;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--distinct") == 0) {
        kind = CorpusKind::HalfDistinct;
        first = 2;
    } else if (argc > 1 && std::strcmp(argv[1], "--quoted") == 0) {
        kind = CorpusKind::QuotedNames;
        first = 2;
    } else if (argc > 1 && std::strcmp(argv[1], "--export") == 0) {
        kind = CorpusKind::ContactExport;
        first = 2;
    }
    if (argc - first != 2) {
        std::fprintf(stderr,
                     "usage: make_corpus [--distinct | --quoted | --export] LINES OUTPUT\n");
        return 2;
    }
    QFile out(QString::fromLocal8Bit(argv[first + 1]));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(makeMailingListCorpus(QByteArray(argv[first]).toInt(), 20261209, kind));
    return 0;
}
