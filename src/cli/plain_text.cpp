#include "cli/plain_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t pieceSize = std::size_t{1} << 20;

// Line ends in [p, p + n): CR LF counts once.
std::int64_t countLineEnds(const char *p, std::size_t n)
{
    const char *end = p + n;
    std::int64_t lfs = std::count(p, end, '\n');
    const char *cr = static_cast<const char *>(std::memchr(p, '\r', n));
    if (!cr)
        return lfs;
    std::int64_t crs = 0;
    for (; cr; cr = static_cast<const char *>(std::memchr(cr + 1, '\r', end - cr - 1))) {
        ++crs;
        if (cr + 1 < end && cr[1] == '\n')
            --lfs;
    }
    return lfs + crs;
}

const char *lastLineEnd(const char *p, std::size_t n)
{
    const char *lf = static_cast<const char *>(::memrchr(p, '\n', n));
    const char *cr = static_cast<const char *>(::memrchr(p, '\r', n));
    return std::max(lf, cr);
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Hands the lines of 8-bit text (UTF-8, Windows-1252, or either line by line) that hold "@".
class LineScanner
{
public:
    LineScanner(InputEncoding encoding, TextReceiver &receiver, bool windowRules, bool countLines,
                std::int64_t firstLine = 1)
        : m_encoding(encoding), m_receiver(receiver), m_windowRules(windowRules),
          m_countLines(countLines), m_line(firstLine)
    {}

    // True once nothing more is to be read: a U+0000, or malformed UTF-8, under the window's rules.
    bool ended() const { return m_ended; }
    bool malformed() const { return m_malformed; }

    // Scans the complete lines of [d, d + n) and returns how many bytes it took: up to the last
    // line end, or everything when `whole` (the end of the input, or a cut inside a long line).
    std::size_t scan(const char *d, std::size_t n, bool whole)
    {
        std::size_t stop = n;
        if (!whole) {
            const char *last = lastLineEnd(d, n);
            if (!last)
                return 0;
            stop = static_cast<std::size_t>(last - d) + 1;
        }
        if (m_windowRules) {
            if (const void *nul = std::memchr(d, '\0', stop)) {
                stop = static_cast<std::size_t>(static_cast<const char *>(nul) - d);
                whole = true;
                m_ended = true;
            }
            if (m_encoding == InputEncoding::Utf8 &&
                !QByteArrayView(d, static_cast<qsizetype>(stop)).isValidUtf8()) {
                m_malformed = true;
                m_ended = true;
                return n;
            }
        }
        std::size_t at = 0;
        if (m_afterCr && stop > 0 && d[0] == '\n')
            at = 1;
        m_afterCr = false;
        // Most texts hold no CR: their lines are then found by LF alone.
        const bool anyCr = std::memchr(d + at, '\r', stop - at) != nullptr;
        std::size_t cursor = at;
        while (cursor < stop) {
            const char *sign =
                static_cast<const char *>(std::memchr(d + cursor, '@', stop - cursor));
            if (!sign)
                break;
            const std::size_t p = static_cast<std::size_t>(sign - d);
            const char *before =
                anyCr ? lastLineEnd(d + cursor, p - cursor)
                      : static_cast<const char *>(::memrchr(d + cursor, '\n', p - cursor));
            const std::size_t lineStart =
                before ? static_cast<std::size_t>(before - d) + 1 : cursor;
            if (m_countLines)
                m_line += anyCr ? countLineEnds(d + at, lineStart - at)
                                : std::count(d + at, d + lineStart, '\n');
            at = lineStart;
            const void *lf = std::memchr(d + p + 1, '\n', stop - p - 1);
            std::size_t lineEnd =
                lf ? static_cast<std::size_t>(static_cast<const char *>(lf) - d) : stop;
            if (anyCr) {
                if (const void *cr = std::memchr(d + p + 1, '\r', lineEnd - p - 1))
                    lineEnd = static_cast<std::size_t>(static_cast<const char *>(cr) - d);
            }
            handLine(std::string_view(d + lineStart, lineEnd - lineStart));
            cursor = lineEnd;
        }
        if (m_countLines)
            m_line += countLineEnds(d + at, stop - at);
        m_afterCr = !whole && stop > 0 && d[stop - 1] == '\r';
        return stop;
    }

private:
    void handLine(std::string_view line)
    {
        const bool asIs =
            m_encoding == InputEncoding::Cp1252
                ? isAscii(line)
                : QByteArrayView(line.data(), static_cast<qsizetype>(line.size())).isValidUtf8();
        if (asIs) {
            m_receiver.text(line, m_line, true);
            return;
        }
        m_converted.clear();
        AppendAsUtf8(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())), m_encoding,
                     m_converted);
        m_receiver.text(m_converted, m_line, true);
    }

    InputEncoding m_encoding;
    TextReceiver &m_receiver;
    bool m_windowRules;
    bool m_countLines;
    bool m_ended = false;
    bool m_malformed = false;
    std::int64_t m_line;
    bool m_afterCr = false;
    std::string m_converted;
};

// Where to cut a piece that holds no line end: after the last blank or punctuation that never
// belongs to an address, else before a UTF-8 sequence that the end would split.
std::size_t cutPoint(const char *d, std::size_t n)
{
    for (std::size_t i = n; i > n / 2; --i) {
        switch (d[i - 1]) {
        case ' ':
        case '\t':
        case ',':
        case ';':
        case '<':
        case '>':
        case '"':
        case '(':
        case ')':
        case '\0':
            return i;
        default:
            break;
        }
    }
    std::size_t i = n;
    while (i > n - 4 && (static_cast<unsigned char>(d[i - 1]) & 0xc0) == 0x80)
        --i;
    return i > n - 4 && static_cast<unsigned char>(d[i - 1]) >= 0xc0 ? i - 1 : n;
}

// Fills `buffer` past `held` with what the source gives in one read; false at its end.
bool readMore(ByteSource &source, std::vector<char> &buffer, std::size_t &held)
{
    const std::size_t got = source.read(buffer.data() + held, buffer.size() - held);
    held += got;
    return got > 0;
}

void scanBuffered(LineScanner &scanner, std::vector<char> &buffer, std::size_t &held, bool ended)
{
    std::size_t taken = scanner.scan(buffer.data(), held, ended);
    if (taken == 0 && held == buffer.size())
        taken = scanner.scan(buffer.data(), cutPoint(buffer.data(), held), true);
    std::memmove(buffer.data(), buffer.data() + taken, held - taken);
    held -= taken;
}

void readUtf16(ByteSource &source, std::vector<char> &raw, std::size_t held, bool littleEndian,
               bool ended, LineScanner &scanner)
{
    std::vector<char> text(pieceSize);
    std::size_t textHeld = 0;
    std::string utf8;
    for (;;) {
        if (!ended)
            ended = !readMore(source, raw, held);
        // Whole code units, and never the first half of a surrogate pair without the second.
        std::size_t usable = held & ~std::size_t{1};
        if (!ended && usable >= 2) {
            const auto *u = reinterpret_cast<const unsigned char *>(raw.data() + usable - 2);
            const unsigned high = littleEndian ? u[1] : u[0];
            if ((high & 0xfc) == 0xd8)
                usable -= 2;
        }
        if (ended)
            usable = held;
        utf8.clear();
        AppendAsUtf8(QByteArrayView(raw.data(), static_cast<qsizetype>(usable)),
                     littleEndian ? InputEncoding::Utf16LE : InputEncoding::Utf16BE, utf8);
        std::memmove(raw.data(), raw.data() + usable, held - usable);
        held -= usable;
        // The text of one read fits: UTF-8 takes at most three bytes for two of UTF-16.
        std::size_t from = 0;
        while (from < utf8.size()) {
            const std::size_t n = std::min(utf8.size() - from, text.size() - textHeld);
            std::memcpy(text.data() + textHeld, utf8.data() + from, n);
            textHeld += n;
            from += n;
            scanBuffered(scanner, text, textHeld, ended && from == utf8.size());
            if (scanner.ended())
                return;
        }
        if (ended) {
            if (textHeld > 0)
                scanBuffered(scanner, text, textHeld, true);
            return;
        }
    }
}

} // namespace

PlainTextStart StartOfPlainText(QByteArrayView head, const PlainTextRules &rules)
{
    const InputMark mark = FindInputMark(head);
    const auto length = static_cast<std::size_t>(mark.length);
    if (rules.windowRules)
        return {mark.encoding == InputEncoding::Auto ? InputEncoding::Cp1252 : mark.encoding,
                length};
    if (rules.encoding == InputEncoding::Auto && mark.encoding != InputEncoding::Auto)
        return {mark.encoding, length};
    if (rules.encoding == InputEncoding::Auto) {
        const InputEncoding unmarked = GuessUnmarkedUtf16(head);
        if (unmarked != InputEncoding::Auto)
            return {unmarked, 0};
    }
    if (rules.encoding != InputEncoding::Cp1252 && mark.encoding == rules.encoding)
        return {rules.encoding, length};
    return {rules.encoding, 0};
}

void ScanTextPiece(std::string_view piece, InputEncoding encoding, std::int64_t firstLine,
                   bool countLines, TextReceiver &receiver)
{
    LineScanner scanner(encoding, receiver, false, countLines, firstLine);
    scanner.scan(piece.data(), piece.size(), true);
}

std::size_t PieceEnd(const char *d, std::size_t n)
{
    if (n == 0 || d[n - 1] == '\n')
        return n;
    // A CR at the very end may be the first half of a CR LF: it stays for the next piece.
    if (const char *last = lastLineEnd(d, n - 1))
        return static_cast<std::size_t>(last - d) + 1;
    if (d[n - 1] == '\r')
        return n - 1;
    return cutPoint(d, n);
}

std::int64_t CountLineEnds(std::string_view text)
{
    return countLineEnds(text.data(), text.size());
}

bool ReadPlainText(ByteSource &source, const PlainTextRules &rules, TextReceiver &receiver)
{
    InputEncoding encoding = rules.encoding;
    std::vector<char> buffer(pieceSize);
    std::size_t held = 0;
    bool ended = false;
    // Enough of the head to tell a mark, or UTF-16 without one.
    while (!ended && held < 1024)
        ended = !readMore(source, buffer, held);
    const PlainTextStart start =
        StartOfPlainText(QByteArrayView(buffer.data(), static_cast<qsizetype>(held)), rules);
    encoding = start.encoding;
    const std::size_t skip = start.markLength;
    std::memmove(buffer.data(), buffer.data() + skip, held - skip);
    held -= skip;
    if (encoding == InputEncoding::Utf16LE || encoding == InputEncoding::Utf16BE) {
        // Under the window's rules the converted text is valid UTF-8 and only U+0000 ends it.
        LineScanner scanner(InputEncoding::Utf8, receiver, rules.windowRules, rules.lineNumbers);
        readUtf16(source, buffer, held, encoding == InputEncoding::Utf16LE, ended, scanner);
        return true;
    }
    LineScanner scanner(encoding, receiver, rules.windowRules, rules.lineNumbers);
    for (;;) {
        if (held > 0 || ended)
            scanBuffered(scanner, buffer, held, ended);
        if (scanner.ended() || (ended && held == 0))
            return !scanner.malformed();
        if (!ended)
            ended = !readMore(source, buffer, held);
    }
}
