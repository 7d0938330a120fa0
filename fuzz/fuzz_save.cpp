// Entries saved in each encoding and read back: the same entries, in the same order.
#include <cstdio>
#include <cstdlib>

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include "text/text_table.h"
#include "fuzz_input.h"
#include "io/text_encoding.h"
#include "io/text_file.h"

using namespace Qt::StringLiterals;

namespace {

// Memory-backed where possible: every save is synchronised to disk.
const QString &folder()
{
    static QTemporaryDir dir(QDir(u"/dev/shm"_s).exists()
                                 ? u"/dev/shm/fuzz-save-XXXXXX"_s
                                 : QDir::tempPath() + u"/fuzz-save-XXXXXX"_s);
    static const QString path = dir.path();
    return path;
}

QStringList linesOf(const TextTable &table)
{
    QStringList lines;
    for (qsizetype i = 0; i < table.size(); ++i)
        lines.append(table.at(i).toString());
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QString text = FuzzInput::codeUnits(input.rest());
    // An entry never holds CR, LF or U+0000: they cut the input into entries.
    QStringList entries;
    QString current;
    for (const QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0') {
            entries.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        entries.append(current);
    QString joined;
    for (const QString &entry : entries)
        joined += entry + u"\r\n"_s;

    const QString path = folder() + u"/ADRESSES.TXT"_s;
    for (const TextEncoding encoding : {TextEncoding::SystemCodePage, TextEncoding::Utf8,
                                        TextEncoding::Utf16LE, TextEncoding::Utf16BE}) {
        const QByteArray body = EncodeText(joined, encoding);
        WriteWholeFile(path, ByteOrderMark(encoding), body);
        const TextFileContent content = ReadTextFile(path);

        if (encoding == TextEncoding::SystemCodePage) {
            // Known: code-page bytes that begin like a mark read back in that mark's encoding.
            if (DetectEncoding(body).markLength > 0)
                continue;
            FUZZ_CHECK(content.encoding == TextEncoding::SystemCodePage);
            // Characters outside the code page come back as their substitutes.
            const QString substituted = DecodeText(body, TextEncoding::SystemCodePage);
            QStringList expected;
            for (const TextSpan &line : TextToLines(substituted))
                expected.append(substituted.mid(line.offset, line.length));
            FUZZ_CHECK(linesOf(content.lines) == expected);
            continue;
        }
        FUZZ_CHECK(content.encoding == encoding);
        // UTF-8 cannot carry a lone surrogate; UTF-16 carries every code unit.
        if (encoding == TextEncoding::Utf8 && !QStringView(joined).isValidUtf16())
            continue;
        FUZZ_CHECK(linesOf(content.lines) == entries);
    }
    return 0;
}
