// The sort of the check list (Ctrl+T): 2,500,000 entries of which half are distinct, beside
// GNU `sort -f` on the same tokens, and the extracted addresses of the mailing-list corpus and of
// the contact exports. `bench_sort RUNS --file PATH [alone]` sorts the tokens of one file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <vector>

#include <ctime>

#include <QCollator>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "corpus.h"
#include "extract/check_table.h"
#include "extract/extract_command.h"
#include "extract/text_order.h"
#include "io/text_file.h"

namespace {

double ms(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// CPU time of the whole process (every thread), in ms: on a busy machine the wall time mostly
// says how long the other work kept the cores.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Spread
{
    std::vector<double> runs;
    void print(const char *what) const
    {
        std::vector<double> sorted = runs;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-48s min %8.1f  median %8.1f  max %8.1f ms\n", what, sorted.front(),
                    sorted[sorted.size() / 2], sorted.back());
    }
};

// The peak resident set of this process since the last reset, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

double currentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// `entries` addresses, each distinct one twice, in random order; some differ only by case.
TextTable halfDistinctAddresses(qsizetype entries)
{
    const QStringList first{QStringLiteral("jean"),     QStringLiteral("marie"),
                            QStringLiteral("pierre"),   QStringLiteral("élise"),
                            QStringLiteral("françois"), QStringLiteral("chloé"),
                            QStringLiteral("luc"),      QStringLiteral("anaïs")};
    const QStringList last{QStringLiteral("dupont"),  QStringLiteral("martin"),
                           QStringLiteral("lefèvre"), QStringLiteral("moreau"),
                           QStringLiteral("nuñez"),   QStringLiteral("bernard")};
    const QStringList domains{QStringLiteral("exemple.fr"), QStringLiteral("societe.com"),
                              QStringLiteral("labo.org"), QStringLiteral("mairie-lyon.fr")};
    QRandomGenerator random(2026);
    std::vector<QString> distinct;
    distinct.reserve(static_cast<std::size_t>(entries / 2));
    for (qsizetype i = 0; i < entries / 2; ++i) {
        QString text = first[random.bounded(first.size())] + u'.' +
                       last[random.bounded(last.size())] + QString::number(i) + u'@' +
                       domains[random.bounded(domains.size())];
        if (random.bounded(8) == 0)
            text[0] = text[0].toUpper();
        distinct.push_back(text);
    }
    std::vector<std::size_t> order(distinct.size() * 2);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    // One buffer with huge pages, as the extract leaves its addresses.
    qsizetype size = 0;
    for (std::size_t k : order)
        size += distinct[k / 2].size();
    QString buffer = UninitializedText(size);
    std::vector<TextSpan> spans;
    spans.reserve(order.size());
    qsizetype at = 0;
    for (std::size_t k : order) {
        const QString &text = distinct[k / 2];
        std::copy(text.begin(), text.end(), buffer.begin() + at);
        spans.push_back({at, text.size()});
        at += text.size();
    }
    return TextTable(std::move(buffer), std::move(spans));
}

// The way the list sorted before: a QCollator key per distinct text, a stable sort of the keys.
double collatorSortMs(const TextTable &entries)
{
    QElapsedTimer t;
    t.start();
    QCollator collator(QLocale(QLocale::English));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QHash<QStringView, int> ids;
    std::vector<QStringView> distinct;
    std::vector<int> group(static_cast<std::size_t>(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        auto it = ids.constFind(entries.at(i));
        if (it == ids.constEnd()) {
            it = ids.insert(entries.at(i), static_cast<int>(distinct.size()));
            distinct.push_back(entries.at(i));
        }
        group[static_cast<std::size_t>(i)] = *it;
    }
    std::vector<QCollatorSortKey> keys;
    keys.reserve(distinct.size());
    for (QStringView text : distinct)
        keys.push_back(collator.sortKey(text.toString()));
    std::vector<int> byKey(distinct.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::stable_sort(byKey.begin(), byKey.end(), [&keys](int a, int b) {
        return keys[static_cast<std::size_t>(a)].compare(keys[static_cast<std::size_t>(b)]) < 0;
    });
    return ms(t);
}

void sortBeside(const char *name, const TextTable &entries, int runs, bool alone)
{
    std::printf("\n%s: %lld entries\n", name, static_cast<long long>(entries.size()));
    const TextOrder order;
    Spread ours;
    Spread oursCpu;
    double peak = 0;
    for (int run = 0; run < runs; ++run) {
        const CheckTable table(entries);
        resetPeak();
        const double before = currentMiB();
        QElapsedTimer t;
        const double cpuBefore = cpuMs();
        t.start();
        const CheckTable sorted = table.sorted(order);
        ours.runs.push_back(ms(t));
        oursCpu.runs.push_back(cpuMs() - cpuBefore);
        peak = std::max(peak, peakMiB() - before);
    }
    ours.print("CheckTable::sorted (both cores, texts rebuilt)");
    oursCpu.print("the same, CPU time of both cores together");
    std::printf("%-48s %8.1f MiB\n", "peak memory added by the sort", peak);
    if (alone)
        return;
    std::printf("%-48s %8.1f ms (key making and ranking only)\n",
                "previous QCollator keys, one run", collatorSortMs(entries));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tokens.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        file.write(entries.at(i).toUtf8());
        file.write("\n");
    }
    file.close();
    const QByteArray command = "sort -f " + path.toLocal8Bit() + " > /dev/null";
    Spread gnu;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        if (std::system(command.constData()) != 0)
            return;
        gnu.runs.push_back(ms(t));
    }
    gnu.print("GNU sort -f on the same tokens");
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run)
        ratios.push_back(gnu.runs[static_cast<std::size_t>(run)] /
                         ours.runs[static_cast<std::size_t>(run)]);
    std::sort(ratios.begin(), ratios.end());
    std::printf("%-48s min %8.2f  median %8.2f  max %8.2f\n", "ratio sort -f / ours",
                ratios.front(), ratios[ratios.size() / 2], ratios.back());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 5;
    // "alone": only our sort of the half-distinct entries, for a profiler.
    const bool alone = argc > 2 && QByteArray(argv[2]) == "alone";
    const char *locale = std::getenv("LC_ALL");
    std::printf("locale for sort -f: LC_ALL=%s\n", locale ? locale : "(unset)");
    // "--file PATH [alone]": only the extracted tokens of that file, as the window reads it.
    if (argc > 3 && QByteArray(argv[2]) == "--file") {
        const TextTable entries =
            ExtractAddresses(ReadTextFile(QString::fromLocal8Bit(argv[3])).lines);
        sortBeside(argv[3], entries, runs, argc > 4 && QByteArray(argv[4]) == "alone");
        return 0;
    }
    sortBeside("half distinct", halfDistinctAddresses(2500000), runs, alone);
    if (alone)
        return 0;
    const TextTable extracted = ExtractAddresses(ReadTextFile(corpusFile(2000000)).lines);
    sortBeside("mailing-list corpus, extracted", extracted, runs, false);
    const TextTable quoted =
        ExtractAddresses(ReadTextFile(corpusFile(2000000, CorpusKind::QuotedNames)).lines);
    sortBeside("quoted-names export, extracted", quoted, runs, false);
    const TextTable contacts =
        ExtractAddresses(ReadTextFile(corpusFile(2000000, CorpusKind::ContactExport)).lines);
    sortBeside("contact export, extracted", contacts, runs, false);
    return 0;
}
