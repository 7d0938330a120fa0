// The UTF-8 codec of io/text_encoding.cpp beside Qt's QStringDecoder / QStringEncoder on the
// corpus as UTF-8 (114 MB of mostly ASCII French mail).
#include <algorithm>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringDecoder>
#include <QStringEncoder>

#include "corpus.h"
#include "io/text_encoding.h"

namespace {

template <typename Work> void time(const char *what, int runs, Work &&work)
{
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-40s min %7.1f  median %7.1f  max %7.1f ms\n", what, ms.front(),
                ms[ms.size() / 2], ms.back());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 5;
    const QString text = DecodeText(makeMailingListCorpus(2000000), TextEncoding::SystemCodePage);
    const QByteArray bytes = EncodeText(text, TextEncoding::Utf8);
    std::printf("%lld code units, %lld UTF-8 bytes\n", static_cast<long long>(text.size()),
                static_cast<long long>(bytes.size()));
    qsizetype sink = 0;
    time("decode, our codec", runs, [&] { sink += DecodeText(bytes, TextEncoding::Utf8).size(); });
    time("decode, QStringDecoder (+ error check)", runs, [&] {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString decoded = decoder.decode(bytes);
        if (decoder.hasError())
            decoded.clear();
        sink += decoded.size();
    });
    time("encode, our codec", runs, [&] { sink += EncodeText(text, TextEncoding::Utf8).size(); });
    time("encode, QStringEncoder", runs, [&] {
        QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        sink += QByteArray(encoder.encode(text)).size();
    });
    std::printf("(%lld)\n", static_cast<long long>(sink));
    return 0;
}
