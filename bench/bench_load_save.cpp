// Load path (read, detect, decode, split into lines) on the 2,000,000-line corpus, and the save
// path (encode, write) of a 2,500,000-entry address list in each encoding.
#include <algorithm>
#include <cstdio>
#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include "corpus.h"
#include "text/text_table.h"
#include "io/text_encoding.h"
#include "io/text_file.h"

using namespace Qt::StringLiterals;

namespace {

double bestOf(int runs, const std::function<void()> &work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

QString addressList(int entries)
{
    static const char *const names[] = {"jean.dupont",  "marie.lefevre", "pierre.moreau42",
                                        "elise.martin", "francois.roux", "chloe.garnier7"};
    static const char *const domains[] = {"exemple.fr", "societe.com", "univ-paris.fr",
                                          "mairie-lyon.fr"};
    QString text;
    text.reserve(static_cast<qsizetype>(entries) * 30);
    for (int i = 0; i < entries; ++i) {
        text += QLatin1StringView(names[i % 6]);
        if (i % 5 == 0)
            text += u'é';
        text += u'@';
        text += QLatin1StringView(domains[(i / 6) % 4]);
        text += u"\r\n"_s;
    }
    return text;
}

const char *encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::SystemCodePage:
        return "Windows-1252";
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Utf16LE:
        return "UTF-16LE";
    case TextEncoding::Utf16BE:
        return "UTF-16BE";
    }
    return "?";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString corpus = corpusFile(2000000);
    std::printf("corpus: %s, %.1f MB\n", qPrintable(corpus),
                static_cast<double>(QFileInfo(corpus).size()) / 1e6);

    // Load path, best of three, with the share of each step.
    double bestTotal = 1e30;
    double readMs = 0, decodeMs = 0, linesMs = 0;
    std::size_t lineCount = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray bytes = ReadWholeFile(corpus);
        const double t1 = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const DetectedEncoding detected = DetectEncoding(bytes);
        const QString text =
            DecodeText(QByteArrayView(bytes).sliced(detected.markLength), detected.encoding);
        const double t2 = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const std::vector<TextSpan> lines = TextToLines(text);
        const double t3 = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (t3 < bestTotal) {
            bestTotal = t3;
            readMs = t1;
            decodeMs = t2 - t1;
            linesMs = t3 - t2;
        }
        lineCount = lines.size();
    }
    std::printf("load (Windows-1252): %.0f ms  [read %.0f, decode %.0f, lines %.0f]  %zu lines\n",
                bestTotal, readMs, decodeMs, linesMs, lineCount);
    std::printf("peak memory after the loads: %.0f MiB\n", peakMemoryMiB());

    // The same text as UTF-8 and UTF-16: decoding alone, against Qt's own UTF-8 decoder.
    {
        const QByteArray bytes = ReadWholeFile(corpus);
        const QString text = DecodeText(bytes, TextEncoding::SystemCodePage);
        const QByteArray utf8 = EncodeText(text, TextEncoding::Utf8);
        const QByteArray utf16 = EncodeText(text, TextEncoding::Utf16BE);
        qsizetype sink = 0;
        const double ours = bestOf(3, [&] { sink += DecodeText(utf8, TextEncoding::Utf8).size(); });
        const double qt = bestOf(3, [&] { sink += QString::fromUtf8(utf8).size(); });
        const double be =
            bestOf(3, [&] { sink += DecodeText(utf16, TextEncoding::Utf16BE).size(); });
        std::printf("decode UTF-8 %.1f MB: %.0f ms (QString::fromUtf8, not validating: %.0f ms)\n",
                    static_cast<double>(utf8.size()) / 1e6, ours, qt);
        std::printf("decode UTF-16BE %.1f MB: %.0f ms  (%lld)\n",
                    static_cast<double>(utf16.size()) / 1e6, be, static_cast<long long>(sink % 7));
    }

    // Save path: 2,500,000 entries, each followed by CR LF.
    const QString list = addressList(2500000);
    QTemporaryDir dir;
    const QString target = dir.filePath(u"ADRESSES.TXT"_s);
    for (const TextEncoding encoding : {TextEncoding::SystemCodePage, TextEncoding::Utf8,
                                        TextEncoding::Utf16LE, TextEncoding::Utf16BE}) {
        double encodeMs = 0;
        const double total = bestOf(3, [&] {
            QElapsedTimer timer;
            timer.start();
            const QByteArray bytes = EncodeText(list, encoding);
            encodeMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            WriteWholeFile(target, ByteOrderMark(encoding), bytes);
        });
        std::printf("save %-12s %.0f ms  [last encode %.0f ms]  %.1f MB\n", encodingName(encoding),
                    total, encodeMs, static_cast<double>(QFileInfo(target).size()) / 1e6);
    }
    std::printf("peak memory: %.0f MiB\n", peakMemoryMiB());
    return 0;
}
