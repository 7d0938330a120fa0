// Times the address finder in one process on the 2,000,000-line corpus in UTF-8, to see where
// the time goes; the fresh-process figures against ripgrep are bench_cli's and bench_cold's.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <QElapsedTimer>
#include <QFile>

#include "corpus.h"
#include "extract/address_finder.h"
#include "io/text_encoding.h"

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Best wall-clock time of several runs, and the processor time of that run: on a shared
// machine the second says more.
struct Timing
{
    double wallMs = 1e99;
    double cpuMs = 0;
};

Timing bestOf(int runs, const auto &work)
{
    Timing best;
    for (int run = 0; run < runs; ++run) {
        const double cpuStart = threadCpuMs();
        QElapsedTimer timer;
        timer.start();
        work();
        const double wall = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (wall < best.wallMs)
            best = {wall, threadCpuMs() - cpuStart};
    }
    return best;
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
    const QByteArray utf8 = DecodeText(file.readAll(), TextEncoding::SystemCodePage).toUtf8();
    const std::string_view text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    std::printf("corpus: %d lines, %.1f MB of UTF-8\n", lineCount,
                static_cast<double>(utf8.size()) / 1e6);

    // The floor: every "@" found, nothing else done.
    std::size_t signs = 0;
    const Timing memchrTime = bestOf(5, [&] {
        signs = 0;
        for (const char *p = text.data(), *end = p + text.size();
             (p = static_cast<const char *>(std::memchr(p, '@', end - p))); ++p)
            ++signs;
    });
    std::printf("memchr for \"@\": %zu signs, best of 5: %.1f ms (%.1f ms processor)\n", signs,
                memchrTime.wallMs, memchrTime.cpuMs);

    AddressFinder finder;
    std::size_t found = 0;
    std::size_t bytes = 0;
    const Timing finderTime = bestOf(5, [&] {
        found = 0;
        bytes = 0;
        finder.find(text, [&](std::string_view address, std::size_t) {
            ++found;
            bytes += address.size();
        });
    });
    std::printf("AddressFinder::find: %zu addresses (%zu bytes), best of 5: %.1f ms (%.1f ms "
                "processor, %.0f MB/s)\n",
                found, bytes, finderTime.wallMs, finderTime.cpuMs,
                static_cast<double>(utf8.size()) / 1e3 / finderTime.cpuMs);

    // The same text with an IDNA domain in every address: the cost of ICU's checks.
    QByteArray unicode = utf8;
    unicode.replace("@exemple.fr", "@exémple.fr");
    const std::string_view unicodeText(unicode.constData(),
                                       static_cast<std::size_t>(unicode.size()));
    std::size_t unicodeFound = 0;
    const Timing unicodeTime = bestOf(3, [&] {
        unicodeFound = 0;
        finder.find(unicodeText, [&](std::string_view, std::size_t) { ++unicodeFound; });
    });
    std::printf("with \"exémple.fr\" for \"exemple.fr\": %zu addresses, best of 3: %.1f ms (%.1f "
                "ms processor)\n",
                unicodeFound, unicodeTime.wallMs, unicodeTime.cpuMs);
    return 0;
}
