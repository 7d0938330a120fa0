#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "formats/format_decoders.h"

// A decoder fed its input piece by piece, so that one format can be decoded inside another (an
// HTML part of a message, a vCard attachment) as well as from a whole input.
class ChunkDecoder
{
public:
    virtual ~ChunkDecoder() = default;
    virtual void push(std::string_view bytes) = 0;
    // The input has ended: hands on whatever is still held.
    virtual void finish() = 0;
};

// `encoding` tells how the bytes are read; a mail part hands its text on already in UTF-8.
std::unique_ptr<ChunkDecoder> MakeChunkDecoder(InputFormat format, InputEncoding encoding,
                                               TextReceiver &receiver);
std::unique_ptr<ChunkDecoder> MakeMailDecoder(InputEncoding encoding, TextReceiver &receiver);
std::unique_ptr<ChunkDecoder> MakeMarkupDecoder(InputEncoding encoding, TextReceiver &receiver);
std::unique_ptr<ChunkDecoder> MakeContactsDecoder(InputEncoding encoding, TextReceiver &receiver);
std::unique_ptr<ChunkDecoder> MakeJsonDecoder(InputEncoding encoding, TextReceiver &receiver);

// Cuts pushed bytes into lines, without their LF (nor a CR before it). A line longer than
// kMaxLine is handed on in pieces so that memory stays bounded; `complete` is false for every
// piece but the last.
class LineSplitter
{
public:
    static constexpr std::size_t kMaxLine = 1 << 20;

    template <typename OnLine> void push(std::string_view bytes, OnLine &&onLine)
    {
        while (!bytes.empty()) {
            const std::size_t end = bytes.find('\n');
            if (end == std::string_view::npos) {
                m_partial.append(bytes);
                if (m_partial.size() >= kMaxLine) {
                    onLine(std::string_view(m_partial), false);
                    m_partial.clear();
                }
                return;
            }
            std::string_view line = bytes.substr(0, end);
            bytes.remove_prefix(end + 1);
            if (!m_partial.empty()) {
                m_partial.append(line);
                line = m_partial;
            }
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            onLine(line, true);
            m_partial.clear();
        }
    }

    template <typename OnLine> void finish(OnLine &&onLine)
    {
        if (m_partial.empty())
            return;
        std::string_view line = m_partial;
        if (line.back() == '\r')
            line.remove_suffix(1);
        onLine(line, true);
        m_partial.clear();
    }

private:
    std::string m_partial;
};

// The position just after the last character of `text` that no address holds (a blank, a
// bracket, a quote, a comma...), or 0 when there is none.
std::size_t BreakAfterLast(std::string_view text);

// Where held text may be cut without cutting an address in two: just after its last line feed,
// else just after its last break (BreakAfterLast); 0 when it holds neither.
std::size_t CutAfterLastLine(std::string_view text);

// Converts text of a declared charset to UTF-8 through GMime's iconv helpers; an unknown or
// empty charset reads the bytes with the input encoding rule instead. Pieces must not cut a
// character in two.
class CharsetConverter
{
public:
    CharsetConverter(std::string_view charset, InputEncoding fallback);
    ~CharsetConverter();
    CharsetConverter(const CharsetConverter &) = delete;
    CharsetConverter &operator=(const CharsetConverter &) = delete;

    void append(std::string_view bytes, std::string &out);

private:
    void *m_iconv = nullptr;
    InputEncoding m_fallback;
};

// Tells every run of a nested decoder at one line of the outer input (a decoded part), or
// shifted so that its lines follow the outer ones (a part whose lines are the input's own).
class PartReceiver : public TextReceiver
{
public:
    PartReceiver(TextReceiver &outer, std::int64_t line, bool linesFollow)
        : m_outer(outer), m_line(line), m_linesFollow(linesFollow)
    {}

    void text(std::string_view utf8, std::int64_t line, bool linesFollow) override;
    void member(const QString &shownName) override { m_outer.member(shownName); }
    void warning(const QString &message) override { m_outer.warning(message); }

private:
    TextReceiver &m_outer;
    std::int64_t m_line;
    bool m_linesFollow;
};

// Calls GMime's one-time set-up before any of its functions is used.
void EnsureGMime();
