#include "extract/extract_command.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "extract/token_splitter.h"
#include "platform/big_memory.h"
#include "platform/parallel.h"

namespace {

bool containsAt(QStringView text)
{
    const char16_t *d = text.utf16();
    return std::find(d, d + text.size(), u'@') != d + text.size();
}

} // namespace

TextTable ExtractAddresses(const TextTable &entries, std::vector<qsizetype> *entryOfEach)
{
    // Only an entry holding "@" can give a retained token, and the tokens of one entry are
    // disjoint parts of it (a quoted token only loses quotes), so the total length of those
    // entries bounds the retained text: the buffer is sized once and written in place.
    std::vector<qsizetype> withAt;
    qsizetype bound = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QStringView entry = entries.at(i);
        if (entry.contains(u'@')) {
            withAt.push_back(i);
            bound += entry.size();
        }
    }

    QString buffer;
    buffer.resize(bound);
    char16_t *out = reinterpret_cast<char16_t *>(buffer.data());
    std::vector<TextSpan> spans;
    spans.reserve(withAt.size() + withAt.size() / 2);

    qsizetype used = 0;
    QString scratch;
    for (const qsizetype i : withAt) {
        TokenSplitter::ForEachToken(entries.at(i), scratch, [&](QStringView token) {
            if (!containsAt(token))
                return;
            std::memcpy(out + used, token.utf16(),
                        static_cast<std::size_t>(token.size()) * sizeof(char16_t));
            spans.push_back({used, token.size()});
            used += token.size();
            if (entryOfEach)
                entryOfEach->push_back(i);
        });
    }
    buffer.truncate(used);
    buffer.squeeze();
    return TextTable(std::move(buffer), std::move(spans));
}

namespace {

// Below this many entries a second thread costs more than it saves.
constexpr std::size_t twoThreadsFrom = 100000;

// Writes the retained tokens of lines[first, last) over the buffer from `out` on, which must be
// at or before the first of those lines. Everything written before a token ends where that
// token begins or earlier (the entries lie in buffer order without overlapping, the tokens of
// one entry are disjoint parts of it in order, none longer than what it was cut from), and a
// token is written no further than its own end, which the splitter has passed.
qsizetype extractInPlace(char16_t *base, const std::vector<TextSpan> &lines, std::size_t first,
                         std::size_t last, qsizetype out, std::vector<TextSpan> &spans)
{
    QString scratch;
    for (std::size_t i = first; i < last; ++i) {
        const QStringView entry(base + lines[i].offset, lines[i].length);
        if (!entry.contains(u'@'))
            continue;
        TokenSplitter::ForEachToken(entry, scratch, [&](QStringView token) {
            if (!containsAt(token))
                return;
            std::memmove(base + out, token.utf16(),
                         static_cast<std::size_t>(token.size()) * sizeof(char16_t));
            spans.push_back({out, token.size()});
            out += token.size();
        });
    }
    return out;
}

} // namespace

TextTable ExtractAddresses(TextTable &&entries, ExtractThreads threads)
{
    if (!entries.buffer().isDetached())
        return ExtractAddresses(std::as_const(entries));

    std::vector<TextSpan> lines = entries.takeSpans();
    QString buffer = entries.takeBuffer();
    char16_t *const base = reinterpret_cast<char16_t *>(buffer.data());
    const std::size_t n = lines.size();
    const bool two =
        n >= 2 && (threads == ExtractThreads::Two || (threads == ExtractThreads::Automatic &&
                                                      n >= twoThreadsFrom && CoreCount() >= 2));

    std::vector<TextSpan> spans;
    spans.reserve(n + n / 4);
    AdviseHugePages(spans.data(), spans.capacity() * sizeof(TextSpan));
    qsizetype used = 0;
    if (!two) {
        used = extractInPlace(base, lines, 0, n, 0, spans);
    } else {
        // The second half of the entries is written over its own part of the buffer, then moved
        // down behind the first half's tokens.
        const std::size_t middle = n / 2;
        const qsizetype secondStart = lines[middle].offset;
        std::vector<TextSpan> secondSpans;
        qsizetype secondEnd = secondStart;
        RunOnTwoCores([&](int part) {
            if (part == 0) {
                used = extractInPlace(base, lines, 0, middle, 0, spans);
                return;
            }
            secondSpans.reserve((n - middle) + (n - middle) / 4);
            AdviseHugePages(secondSpans.data(), secondSpans.capacity() * sizeof(TextSpan));
            secondEnd = extractInPlace(base, lines, middle, n, secondStart, secondSpans);
        });
        // The entries are no longer needed: give their room back before the halves are joined.
        lines = std::vector<TextSpan>();
        std::memmove(base + used, base + secondStart,
                     static_cast<std::size_t>(secondEnd - secondStart) * sizeof(char16_t));
        const qsizetype shift = secondStart - used;
        for (TextSpan &span : secondSpans)
            span.offset -= shift;
        spans.insert(spans.end(), secondSpans.begin(), secondSpans.end());
        used += secondEnd - secondStart;
    }
    lines = std::vector<TextSpan>();
    buffer.truncate(used);
    // The unused end of the buffer goes back to the system.
    buffer.squeeze();
    return TextTable(std::move(buffer), std::move(spans));
}
