// Times the list search over 2,500,000 address-like entries: a text found nowhere, a text found
// only in the last entry, and the type-ahead prefix search that finds nothing.
#include <algorithm>
#include <cstdio>
#include <functional>

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include "corpus.h"
#include "extract/extract_command.h"
#include "extract/list_search.h"

namespace {

void timeIt(const char *label, const std::function<qsizetype()> &search)
{
    double bestMs = 1e99;
    qsizetype result = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        result = search();
        bestMs = std::min(bestMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%-52s -> %9lld, best of 5: %7.2f ms\n", label, static_cast<long long>(result),
                bestMs);
}

} // namespace

int main()
{
    const int entryCount = 2500000;
    // Addresses and tokens as the extract command leaves them, from the benchmark corpus.
    TextTable lines;
    {
        const QString text = QString::fromLatin1(makeMailingListCorpus(entryCount));
        for (const QStringView line : QStringView(text).split(u"\r\n"))
            lines.append(line);
    }
    const TextTable extracted = ExtractAddresses(lines);
    TextTable entries;
    entries.reserve(entryCount, extracted.buffer().size() * entryCount / extracted.size() + 64);
    for (qsizetype i = 0; entries.size() < entryCount - 1; i = (i + 1) % extracted.size())
        entries.append(extracted.at(i));
    entries.append(u"zoé.derniere@fin-de-liste.fr");
    std::printf("%lld entries, %lld code units\n", static_cast<long long>(entries.size()),
                static_cast<long long>(entries.buffer().size()));

    const auto match = [&entries](const QString &text) {
        return [&entries, text] { return FindFirstMatch(entries, text, 0); };
    };
    const auto prefix = [&entries](const QString &text) {
        return [&entries, text] { return FindFirstWithPrefix(entries, text); };
    };
    timeIt("FindFirstMatch, found nowhere (\"introuvable@x\")",
           match(QStringLiteral("introuvable@x")));
    timeIt("FindFirstMatch, found nowhere (\"e@z\")", match(QStringLiteral("e@z")));
    timeIt("FindFirstMatch, found nowhere (\"\u00A7\")", match(QStringLiteral("\u00A7")));
    timeIt("FindFirstMatch, last entry (\"ZOÉ.DERNIERE\")", match(QStringLiteral("ZOÉ.DERNIERE")));
    timeIt("FindFirstMatch, last entry (\"-de-\")", match(QStringLiteral("-de-")));
    timeIt("FindFirstWithPrefix, none (\"zz\")", prefix(QStringLiteral("zz")));
    timeIt("FindFirstWithPrefix, last entry (\"ZOÉ.DER\")", prefix(QStringLiteral("ZOÉ.DER")));
    timeIt("FindFirstWithPrefix, long shared prefix, none", prefix(QStringLiteral("paul.roux@y")));
    std::printf("peak memory: %.0f MiB\n", peakMemoryMiB());
    return 0;
}
