// Writes the benchmark corpus: make_corpus LINES OUTPUT
#include <cstdio>

#include <QFile>

#include "corpus.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_corpus LINES OUTPUT\n");
        return 2;
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(makeMailingListCorpus(QByteArray(argv[1]).toInt()));
    return 0;
}
