// Times the extract command on the 2,000,000-line corpus, against ripgrep's -o on the same file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include "corpus.h"
#include "extract/extract_command.h"

namespace {

// One entry per line, ended by CR LF, CR or LF; the line endings stay in the buffer as gaps.
TextTable linesOf(QString text)
{
    std::vector<TextSpan> spans;
    spans.reserve(static_cast<std::size_t>(text.size() / 60));
    const char16_t *d = QStringView(text).utf16();
    const qsizetype n = text.size();
    qsizetype begin = 0;
    for (qsizetype p = 0; p < n; ++p) {
        if (d[p] == u'\r' || d[p] == u'\n') {
            spans.push_back({begin, p - begin});
            if (d[p] == u'\r' && p + 1 < n && d[p + 1] == u'\n')
                ++p;
            begin = p + 1;
        }
    }
    if (begin < n)
        spans.push_back({begin, n - begin});
    return TextTable(std::move(text), std::move(spans));
}

} // namespace

int main()
{
    const int lineCount = 2000000;
    const QString path = corpusFile(lineCount);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    const TextTable lines = linesOf(QString::fromLatin1(file.readAll()));
    file.close();
    std::printf("corpus: %s, %lld lines\n", qPrintable(path), static_cast<long long>(lines.size()));

    double bestMs = 1e99;
    qsizetype retained = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const TextTable addresses = ExtractAddresses(lines);
        bestMs = std::min(bestMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        retained = addresses.size();
    }
    std::printf("ExtractAddresses: %lld tokens retained, best of 3: %.1f ms\n",
                static_cast<long long>(retained), bestMs);

    if (QStandardPaths::findExecutable(QStringLiteral("rg")).isEmpty()) {
        std::printf("ripgrep (rg) not found: comparison skipped\n");
    } else {
        const QByteArray command =
            "rg -o '[^\\s,]*@[^\\s,]*' '" + path.toLocal8Bit() + "' > /dev/null";
        double rgMs = 1e99;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            if (std::system(command.constData()) != 0) {
                std::printf("rg failed: comparison skipped\n");
                rgMs = 0;
                break;
            }
            rgMs = std::min(rgMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        if (rgMs > 0)
            std::printf("rg -o, best of 3: %.1f ms (ripgrep / ExtractAddresses = %.1f)\n", rgMs,
                        rgMs / bestMs);
    }
    std::printf("peak memory: %.0f MiB\n", peakMemoryMiB());
    return 0;
}
