#include "formats/pdf_text.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>

#include "errors/app_error.h"
#include "io/input_encoding.h"
#include "text/utf8.h"

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;
// Object streams hold a few hundred objects; one inflating past this is not one worth reading.
constexpr std::uint64_t kLargestObjectStream = std::uint64_t{64} << 20;

void Quiet(const std::string &, void *) {}

// Typesetters draw "fi", "fl", "ff" and the like as one glyph, told as a presentation form
// (U+FB00 to U+FB06); an address drawn with one must read as its letters.
void AppendWithoutLigatures(std::string_view text, std::string &out)
{
    static constexpr std::string_view kLetters[] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};
    std::size_t from = 0;
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) != 0xEF ||
            static_cast<unsigned char>(text[i + 1]) != 0xAC)
            continue;
        const unsigned char last = static_cast<unsigned char>(text[i + 2]);
        if (last < 0x80 || last > 0x86)
            continue;
        out.append(text.substr(from, i - from));
        out.append(kLetters[last - 0x80]);
        from = i + 3;
        i += 2;
    }
    out.append(text.substr(from));
}

bool IsPdfSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

// A PDF string at `at` (a literal "(...)" or a hex "<...>"), as its bytes.
std::string PdfString(QByteArrayView pdf, qsizetype at)
{
    std::string out;
    if (at >= pdf.size())
        return out;
    if (pdf[at] == '(') {
        int depth = 1;
        for (qsizetype i = at + 1; i < pdf.size() && out.size() < 4096; ++i) {
            const char c = pdf[i];
            if (c == '\\' && i + 1 < pdf.size()) {
                const char e = pdf[++i];
                switch (e) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case '\r':
                case '\n':
                    break;
                default:
                    if (e >= '0' && e <= '7') {
                        int value = e - '0';
                        for (int k = 0;
                             k < 2 && i + 1 < pdf.size() && pdf[i + 1] >= '0' && pdf[i + 1] <= '7';
                             ++k)
                            value = value * 8 + (pdf[++i] - '0');
                        out.push_back(static_cast<char>(value & 0xFF));
                    } else {
                        out.push_back(e);
                    }
                }
            } else if (c == '(') {
                ++depth;
                out.push_back(c);
            } else if (c == ')') {
                if (--depth == 0)
                    break;
                out.push_back(c);
            } else {
                out.push_back(c);
            }
        }
    } else if (pdf[at] == '<') {
        int high = -1;
        for (qsizetype i = at + 1; i < pdf.size() && pdf[i] != '>' && out.size() < 4096; ++i) {
            const int v = HexDigitValue(pdf[i]);
            if (v < 0)
                continue;
            if (high < 0) {
                high = v;
            } else {
                out.push_back(static_cast<char>(high * 16 + v));
                high = -1;
            }
        }
    }
    return out;
}

void ScanUris(QByteArrayView pdf, const std::function<void(std::string_view)> &found)
{
    constexpr QByteArrayView kKey = "/URI";
    qsizetype at = 0;
    while ((at = pdf.indexOf(kKey, at)) >= 0) {
        at += kKey.size();
        qsizetype i = at;
        while (i < pdf.size() && IsPdfSpace(pdf[i]))
            ++i;
        if (i >= pdf.size() || (pdf[i] != '(' && pdf[i] != '<'))
            continue;
        std::string target = PdfString(pdf, i);
        if (target.size() < 7)
            continue;
        std::string scheme = target.substr(0, 7);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; });
        if (scheme != "mailto:")
            continue;
        const QByteArray decoded =
            QByteArray::fromPercentEncoding(QByteArray::fromStdString(target));
        std::string text;
        AppendAsUtf8(QByteArrayView(decoded), InputEncoding::Auto, text);
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        found(text);
    }
}

// Inflates the zlib stream of an object stream, at most `room` bytes of it.
QByteArray Inflate(QByteArrayView deflated, std::uint64_t room)
{
    QByteArray out;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return out;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(deflated.data()));
    stream.avail_in = static_cast<uInt>(std::min<qsizetype>(deflated.size(), INT_MAX));
    char piece[64 * 1024];
    int status = Z_OK;
    while (status == Z_OK && static_cast<std::uint64_t>(out.size()) < room) {
        stream.next_out = reinterpret_cast<Bytef *>(piece);
        stream.avail_out = sizeof piece;
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t made = sizeof piece - stream.avail_out;
        out.append(piece, static_cast<qsizetype>(made));
        if (made == 0 && status == Z_OK)
            break;
    }
    inflateEnd(&stream);
    if (static_cast<std::uint64_t>(out.size()) > room)
        out.truncate(static_cast<qsizetype>(room));
    return out;
}

} // namespace

bool IsPdf(QByteArrayView head)
{
    // Readers accept a header further in, but a text that merely quotes one must stay text.
    return head.startsWith("%PDF-");
}

void ForEachPdfMailto(QByteArrayView pdf, std::uint64_t maxInflated,
                      const std::function<void(std::string_view)> &found)
{
    ScanUris(pdf, found);
    // Link annotations of newer files sit in compressed object streams: open those, within
    // the same budget as any other decompressed byte.
    std::uint64_t room = maxInflated;
    constexpr QByteArrayView kObjStm = "/ObjStm";
    qsizetype at = 0;
    while (room > 0 && (at = pdf.indexOf(kObjStm, at)) >= 0) {
        at += kObjStm.size();
        const qsizetype dict = pdf.lastIndexOf("<<", at);
        const qsizetype streamAt = pdf.indexOf("stream", at);
        if (dict < 0 || streamAt < 0)
            continue;
        const QByteArrayView dictionary = pdf.sliced(dict, streamAt - dict);
        if (dictionary.indexOf("/FlateDecode") < 0 || dictionary.indexOf("/DecodeParms") >= 0)
            continue;
        qsizetype data = streamAt + 6;
        if (data < pdf.size() && pdf[data] == '\r')
            ++data;
        if (data < pdf.size() && pdf[data] == '\n')
            ++data;
        const qsizetype end = pdf.indexOf("endstream", data);
        if (end < 0)
            continue;
        const QByteArray inflated =
            Inflate(pdf.sliced(data, end - data), std::min(room, kLargestObjectStream));
        room -= std::min<std::uint64_t>(room, static_cast<std::uint64_t>(inflated.size()));
        ScanUris(QByteArrayView(inflated), found);
        at = end;
    }
}

void ReadPdfText(ByteSource &source, const QString &shownName, std::uint64_t maxBytes,
                 ContainerLineSink &sink)
{
    const std::uint64_t limit = std::min<std::uint64_t>(maxBytes, INT_MAX);
    QByteArray data;
    for (;;) {
        if (static_cast<std::uint64_t>(data.size()) > limit)
            throw AppError(QStringLiteral("PDF trop grand « %1 » : plus de %2 octets")
                               .arg(shownName)
                               .arg(limit));
        const qsizetype had = data.size();
        data.resize(had + static_cast<qsizetype>(kPiece));
        const std::size_t got = source.read(data.data() + had, kPiece);
        data.truncate(had + static_cast<qsizetype>(got));
        if (got == 0)
            break;
    }
    data.squeeze();

    poppler::set_debug_error_function(&Quiet, nullptr);
    std::unique_ptr<poppler::document> document(
        poppler::document::load_from_raw_data(data.constData(), static_cast<int>(data.size())));
    if (!document)
        throw AppError(QStringLiteral("PDF illisible « %1 »").arg(shownName));
    if (document->is_locked())
        throw AppError(QStringLiteral("PDF protégé par un mot de passe « %1 »").arg(shownName));
    const int pages = document->pages();
    for (int i = 0; i < pages; ++i) {
        std::unique_ptr<poppler::page> page(document->create_page(i));
        if (!page)
            continue;
        const poppler::byte_array utf8 = page->text().to_utf8();
        std::string valid;
        AppendAsUtf8(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())),
                     InputEncoding::Utf8, valid);
        std::string text;
        AppendWithoutLigatures(valid, text);
        std::size_t from = 0;
        while (from < text.size()) {
            std::size_t end = text.find_first_of("\r\n\f", from);
            if (end == std::string::npos)
                end = text.size();
            sink.append(std::string_view(text).substr(from, end - from));
            sink.endLine();
            from = end + 1;
            if (end < text.size() && text[end] == '\r' && from < text.size() && text[from] == '\n')
                ++from;
        }
    }
    ForEachPdfMailto(QByteArrayView(data), maxBytes, [&](std::string_view target) {
        sink.append(target);
        sink.endLine();
    });
}
