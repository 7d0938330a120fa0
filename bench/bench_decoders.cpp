// Decode speed of the format decoders, in process: a generated mbox (headers, quoted-printable,
// base64 and HTML parts) and a generated web page, each decoded from a file read in pieces,
// beside `rg -o` with the address pattern on the same file. Peak memory is the process's.
//
//     bench_decoders [MBOX_MB [HTML_MB [RUNS]]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <vector>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "errors/app_error.h"
#include "formats/format_decoders.h"

namespace {

class FileSource : public ByteSource
{
public:
    explicit FileSource(const QString &path)
        : m_file(std::fopen(path.toLocal8Bit().constData(), "rb"))
    {}
    ~FileSource() override { std::fclose(m_file); }
    std::size_t read(char *buffer, std::size_t size) override
    {
        return std::fread(buffer, 1, size, m_file);
    }

private:
    FILE *m_file;
};

class CountingReceiver : public TextReceiver
{
public:
    void text(std::string_view utf8, std::int64_t, bool) override
    {
        bytes += utf8.size();
        ats += static_cast<std::size_t>(std::count(utf8.begin(), utf8.end(), '@'));
    }
    void member(const QString &) override {}
    void warning(const QString &) override {}
    std::size_t bytes = 0;
    std::size_t ats = 0;
};

QByteArray messageOf(int i)
{
    const QByteArray n = QByteArray::number(i);
    QByteArray body;
    for (int k = 0; k < 30; ++k)
        body += "Bonjour, \xC3\xA9"
                "crivez \xC3\xA0"
                " personne" +
                n + "." + QByteArray::number(k) +
                "@exemple.fr pour la r\xC3\xA9union du mois prochain, merci.\n";
    QByteArray qp = body;
    qp.replace("@", "=40").replace("\xC3\xA9", "=C3=A9").replace("\xC3\xA0", "=C3=A0");
    QByteArray m = "From expediteur" + n +
                   "@exemple.fr Mon Jun  3 10:00:00 2024\n"
                   "Return-Path: <expediteur" +
                   n +
                   "@exemple.fr>\n"
                   "Received: from mx.exemple.fr by mail.exemple.fr with ESMTP id A" +
                   n + "@mail\n\tfor <dest" + n +
                   "@exemple.fr>; Mon, 3 Jun 2024 10:00:00 +0200\n"
                   "From: =?UTF-8?Q?=C3=89lodie?= <elodie" +
                   n +
                   "@exemple.fr>\n"
                   "To: dest" +
                   n + "@exemple.fr, autre" + n +
                   "@exemple.fr\n"
                   "Subject: =?UTF-8?B?UsOpdW5pb24=?=\n"
                   "Message-ID: <" +
                   n +
                   ".id@serveur.exemple.fr>\n"
                   "MIME-Version: 1.0\n"
                   "Content-Type: multipart/mixed; boundary=\"b" +
                   n +
                   "\"\n\n"
                   "--b" +
                   n +
                   "\nContent-Type: text/plain; charset=utf-8\n"
                   "Content-Transfer-Encoding: quoted-printable\n\n" +
                   qp + "--b" + n + "\nContent-Type: text/html; charset=utf-8\n\n<html><body><p>" +
                   body.left(600) + "</p><a href=\"mailto:lien" + n +
                   "@exemple.fr\">x</a></body></html>\n"
                   "--b" +
                   n + "\nContent-Type: text/csv\nContent-Transfer-Encoding: base64\n\n" +
                   body.toBase64() + "\n--b" + n + "--\n\n";
    return m;
}

QByteArray pageRow(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "<tr><td class=\"nom\">Personne " + n + "</td><td><a href=\"mailto:personne" + n +
           "%40exemple.fr?subject=Bonjour\">personne" + n +
           "&#64;exemple.fr</a></td>"
           "<td>&Eacute;crire &agrave; contact" +
           n + "@exemple.fr &amp; autres</td></tr>\n";
}

QString makeFile(const QString &name, qint64 megabytes, bool mbox)
{
    const QString path = QDir::temp().filePath(name);
    if (QFileInfo(path).size() >= megabytes << 20)
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    if (!mbox)
        file.write("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body><table>\n");
    for (int i = 0; file.size() < megabytes << 20; ++i)
        file.write(mbox ? messageOf(i) : pageRow(i));
    if (!mbox)
        file.write("</table></body></html>\n");
    return path;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing
{
    double wall;
    double cpu;
};

// rg's wall time and CPU time (the pipe's reader included: it only drops the output).
Timing ripgrep(const QString &path)
{
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    const std::string command = "rg -o '[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}' '" +
                                path.toStdString() + "' | cat > /dev/null";
    if (std::system(command.c_str()) != 0)
        return {-1, -1};
    return {seconds(start), cpuSeconds(RUSAGE_CHILDREN) - cpuBefore};
}

void printSpread(const char *label, std::vector<double> values, const char *unit)
{
    if (values.empty())
        return;
    std::sort(values.begin(), values.end());
    std::printf("  %-22s %.2f / %.2f / %.2f%s\n", label, values.front(), values[values.size() / 2],
                values.back(), unit);
}

void measure(const char *label, const QString &path, int runs)
{
    const double megabytes = static_cast<double>(QFileInfo(path).size()) / (1 << 20);
    std::vector<double> wall, cpu, wallRatio, cpuRatio;
    CountingReceiver last;
    for (int run = 0; run < runs; ++run) {
        FileSource file(path);
        PeekableSource source(file);
        CountingReceiver receiver;
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        const auto start = std::chrono::steady_clock::now();
        const InputFormat format = DetectFormat(source.peek(65536), path);
        DecodeFormat(format, source, path, {}, receiver);
        const Timing ours{seconds(start), cpuSeconds(RUSAGE_SELF) - cpuBefore};
        wall.push_back(ours.wall);
        cpu.push_back(ours.cpu);
        const Timing rg = ripgrep(path);
        if (rg.wall > 0) {
            wallRatio.push_back(ours.wall / rg.wall);
            cpuRatio.push_back(ours.cpu / rg.cpu);
        }
        last = receiver;
    }
    std::printf("%s: %.0f MiB, %.0f MiB of text handed on, %zu '@'\n", label, megabytes,
                static_cast<double>(last.bytes) / (1 << 20), last.ats);
    printSpread("decode wall (s)", wall, "");
    printSpread("decode CPU (s)", cpu, "");
    printSpread("wall / rg -o wall", wallRatio, " x");
    printSpread("CPU / rg -o CPU", cpuRatio, " x");
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 mboxMb = argc > 1 ? std::atoll(argv[1]) : 200;
    const qint64 htmlMb = argc > 2 ? std::atoll(argv[2]) : 100;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    try {
        measure("mbox", makeFile(QStringLiteral("extracteur_bench.mbox"), mboxMb, true), runs);
        measure("html", makeFile(QStringLiteral("extracteur_bench.html"), htmlMb, false), runs);
    } catch (const AppError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024);
    return 0;
}
