// Times extracteur-cli as a user runs it, a fresh process each time, beside ripgrep on the same
// input in the same run. Address mode: the 2,000,000-line file beside ripgrep with a common
// address pattern, and with --big an mbox over 2 GiB made here (plain and -u). With --tokens, as
// before: one 2,000,000-line file, a generated tree of about 1,000 files and
// 500 MB in four encodings with -j equal to the cores, and --unique --sort on 2.5 million
// addresses. Peak memory comes from the kernel's account of each child process.
//
// bench_cli [PATH_TO_EXTRACTEUR_CLI] [RUNS] [--big]
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "corpus.h"
#include "io/text_encoding.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Measure
{
    double seconds = 0;
    double peakMiB = 0;
    int status = -1;
};

// Starts `arguments` with standard output sent to `outputPath`, waits, and reads the time and
// the peak resident size of that one child.
Measure runMeasured(const QStringList &arguments, const QString &outputPath)
{
    std::vector<QByteArray> storage;
    std::vector<char *> argv;
    for (const QString &a : arguments)
        storage.push_back(QFile::encodeName(a));
    for (QByteArray &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(outputPath);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    Measure m;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return m;
    }
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    m.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&actions);
    return m;
}

struct Range
{
    double min = 0, median = 0, max = 0;
};

Range rangeOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

const char *const ripgrepPattern = "[^\\s,]*@[^\\s,]*";

// Runs the program and ripgrep alternately and prints both times and their ratio.
void compare(const char *title, const QStringList &cli, const QStringList &ripgrep, int runs,
             const QString &scratch)
{
    std::vector<double> ours, theirs, ratios, peaks;
    for (int r = 0; r < runs; ++r) {
        const Measure a = runMeasured(cli, scratch + QStringLiteral("/cli.out"));
        const Measure b = runMeasured(ripgrep, scratch + QStringLiteral("/rg.out"));
        if (a.status != 0 || b.status != 0)
            std::fprintf(stderr, "exit statuses %d and %d\n", a.status, b.status);
        ours.push_back(a.seconds);
        theirs.push_back(b.seconds);
        ratios.push_back(a.seconds / b.seconds);
        peaks.push_back(a.peakMiB);
    }
    const Range o = rangeOf(ours), t = rangeOf(theirs), q = rangeOf(ratios), p = rangeOf(peaks);
    std::printf("%s\n", title);
    std::printf("  extracteur-cli   %.3f / %.3f / %.3f s (min / median / max), peak %.0f MiB\n",
                o.min, o.median, o.max, p.max);
    std::printf("  ripgrep          %.3f / %.3f / %.3f s\n", t.min, t.median, t.max);
    std::printf("  ratio cli / rg   %.2f / %.2f / %.2f\n", q.min, q.median, q.max);
    std::printf("  output sizes     %lld / %lld bytes\n",
                static_cast<long long>(QFileInfo(scratch + QStringLiteral("/cli.out")).size()),
                static_cast<long long>(QFileInfo(scratch + QStringLiteral("/rg.out")).size()));
}

const char *const addressPattern = "[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}";

// An mbox of `bytes` or more: messages with headers, a quoted-printable body and many distinct
// senders, written once.
QString bigMbox(const QString &folder, qint64 bytes)
{
    const QString path = folder + QStringLiteral("/big.mbox");
    if (QFileInfo(path).size() >= bytes)
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk;
    qint64 written = 0;
    for (quint32 i = 0; written < bytes; ++i) {
        const QByteArray n = QByteArray::number(i % 200000);
        chunk += "From expediteur" + n +
                 "@exemple.fr Mon Dec  7 10:00:00 2026\n"
                 "From: \"Expéditeur " +
                 n + "\" <expediteur" + n +
                 "@exemple.fr>\n"
                 "To: liste@diffusion.exemple.org, Membre" +
                 n +
                 "@Societe.COM\n"
                 "Message-ID: <" +
                 n +
                 ".1234@mail.exemple.fr>\n"
                 "Subject: Compte rendu de la réunion\n"
                 "Content-Type: text/plain; charset=utf-8\n"
                 "Content-Transfer-Encoding: quoted-printable\n\n"
                 "Bonjour =C3=A0 tous,\nle compte rendu est chez secretariat=40asso.org ; pour\n"
                 "toute question, =C3=A9crire =C3=A0 contact" +
                 n +
                 "@asso.org.\n"
                 "Bien cordialement,\n-- \nLa liste de diffusion\n\n";
        if (chunk.size() > (8 << 20)) {
            file.write(chunk);
            written += chunk.size();
            chunk.clear();
        }
    }
    return path;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// About 1,000 files in nested folders: mostly small, some of a few megabytes, a handful of tens,
// rotating through Windows-1252, UTF-8, UTF-16 LE and BE (each with its mark but the first).
QString makeTree(const QString &root, qint64 *totalBytes, qint64 *largestBytes)
{
    const QString done = root + QStringLiteral("/.complete");
    *totalBytes = 0;
    *largestBytes = 0;
    const int fileCount = 1000;
    std::vector<int> lineCounts;
    for (int i = 0; i < fileCount; ++i) {
        int lines;
        if (i % 100 == 7)
            lines = 150000 + (i * 7919) % 100000; // 10-16 MB in Windows-1252, twice in UTF-16
        else if (i % 10 == 3)
            lines = 12000 + (i * 104729) % 20000;
        else
            lines = 100 + (i * 15485863) % 3500;
        lineCounts.push_back(lines);
    }
    const bool exists = QFile::exists(done);
    for (int i = 0; i < fileCount; ++i) {
        const QString folder = root + QStringLiteral("/d%1/s%2").arg(i % 10).arg(i % 7);
        const QString path = folder + QStringLiteral("/f%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        if (!exists) {
            QDir().mkpath(folder);
            const QByteArray cp1252 = makeMailingListCorpus(lineCounts[static_cast<std::size_t>(i)],
                                                            static_cast<quint32>(1000 + i));
            const TextEncoding encoding = static_cast<TextEncoding>(i % 4);
            QByteArray bytes = cp1252;
            if (encoding != TextEncoding::SystemCodePage)
                bytes = ByteOrderMark(encoding) +
                        EncodeText(DecodeText(cp1252, TextEncoding::SystemCodePage), encoding);
            writeFile(path, bytes);
        }
        const qint64 size = QFileInfo(path).size();
        *totalBytes += size;
        *largestBytes = std::max(*largestBytes, size);
    }
    if (!exists)
        writeFile(done, "");
    return root;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString cli = args.size() > 1 ? args[1]
                                  : QCoreApplication::applicationDirPath() +
                                        QStringLiteral("/../extracteur-cli");
    cli = QFileInfo(cli).absoluteFilePath();
    const int runs = args.size() > 2 && args[2] != QStringLiteral("--big") ? args[2].toInt() : 5;
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const QString scratch = QDir::tempPath() + QStringLiteral("/extracteur-bench-cli");
    QDir().mkpath(scratch);
    const QString rg = QStringLiteral("rg");
    const QString pattern = QString::fromLatin1(ripgrepPattern);
    const QString tokens = QStringLiteral("--tokens");

    // 0. Address mode, against the address pattern.
    const QString corpus = corpusFile(2000000);
    std::printf("one file: %s, %.1f MB\n", qPrintable(corpus),
                static_cast<double>(QFileInfo(corpus).size()) / 1e6);
    const QString addressRe = QString::fromLatin1(addressPattern);
    compare("2,000,000 lines, addresses", {cli, QStringLiteral("-q"), corpus},
            {rg, QStringLiteral("-o"), addressRe, corpus}, runs, scratch);
    if (args.contains(QStringLiteral("--big"))) {
        const QString mbox = bigMbox(scratch, (qint64{2} << 30) + (qint64{64} << 20));
        std::printf("\nmbox: %s, %.1f MB\n", qPrintable(mbox),
                    static_cast<double>(QFileInfo(mbox).size()) / 1e6);
        compare("mbox over 2 GiB, addresses", {cli, QStringLiteral("-q"), mbox},
                {rg, QStringLiteral("-o"), addressRe, mbox}, runs, scratch);
        compare("mbox over 2 GiB, -u", {cli, QStringLiteral("-qu"), mbox},
                {rg, QStringLiteral("-o"), addressRe, mbox}, runs, scratch);
    }

    // 1. One 2,000,000-line file, the window's tokens.
    compare("2,000,000 lines, --tokens", {cli, tokens, corpus},
            {rg, QStringLiteral("-o"), pattern, corpus}, runs, scratch);

    // 2. A tree of about 1,000 files, four encodings, -j equal to the cores.
    qint64 total = 0;
    qint64 largest = 0;
    const QString tree = makeTree(scratch + QStringLiteral("/tree"), &total, &largest);
    std::printf("\ntree: %s, 1000 files, %.1f MB in all, largest %.1f MB, %d cores\n",
                qPrintable(tree), static_cast<double>(total) / 1e6,
                static_cast<double>(largest) / 1e6, cores);
    const QString jobs = QString::number(cores);
    compare("tree, -j = cores",
            {cli, tokens, QStringLiteral("-q"), QStringLiteral("-j"), jobs, tree},
            {rg, QStringLiteral("-j"), jobs, QStringLiteral("-o"), pattern, tree}, runs, scratch);

    // 3. --unique --sort on 2.5 million addresses, one a line: those of a mailing-list corpus
    // (many repeats), and as many all different.
    const QString addresses = scratch + QStringLiteral("/addresses.txt");
    const QString distinct = scratch + QStringLiteral("/distinct.txt");
    if (!QFile::exists(distinct)) {
        runMeasured({cli, tokens, corpusFile(2275000)}, addresses);
        QByteArray bytes;
        bytes.reserve(2500000 * 28);
        quint32 state = 20261210;
        for (int i = 0; i < 2500000; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            bytes += "Contact" + QByteArray::number(state % 100000000) + '.' +
                     QByteArray::number(i) + "@Domaine" + QByteArray::number(state % 977) + ".fr\n";
        }
        writeFile(distinct, bytes);
    }
    for (const QString &input : {addresses, distinct}) {
        std::vector<double> times, peaks;
        for (int r = 0; r < runs; ++r) {
            const Measure m = runMeasured(
                {cli, tokens, QStringLiteral("--unique"), QStringLiteral("--sort"), input},
                scratch + QStringLiteral("/sorted.out"));
            times.push_back(m.seconds);
            peaks.push_back(m.peakMiB);
        }
        const Range t = rangeOf(times);
        QFile in(input);
        qint64 lines = 0;
        if (in.open(QIODevice::ReadOnly))
            lines = in.readAll().count('\n');
        QFile out(scratch + QStringLiteral("/sorted.out"));
        qint64 kept = 0;
        if (out.open(QIODevice::ReadOnly))
            kept = out.readAll().count('\n');
        std::printf("\n--unique --sort, %lld addresses (%lld distinct): %.3f / %.3f / %.3f s, "
                    "peak %.0f MiB\n",
                    static_cast<long long>(lines), static_cast<long long>(kept), t.min, t.median,
                    t.max, rangeOf(peaks).max);
    }
    return 0;
}
