#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/text_receiver.h"

// Gathers a document's decoded lines into runs of a good size for the receiver. Runs end at a
// line end, so no address crosses two of them; a line longer than any sane one (4 MiB) is cut
// at a character boundary so memory stays bounded.
class ContainerLineSink
{
public:
    explicit ContainerLineSink(TextReceiver &receiver) : m_receiver(receiver) {}
    ~ContainerLineSink() = default;
    ContainerLineSink(const ContainerLineSink &) = delete;
    ContainerLineSink &operator=(const ContainerLineSink &) = delete;

    // `utf8` is valid UTF-8 and holds no line end of its own unless it is one.
    void append(std::string_view utf8)
    {
        for (;;) {
            const std::size_t held = m_buffer.size() - m_lineStart;
            const std::size_t room = held < kLongestLine ? kLongestLine - held : 0;
            if (utf8.size() <= room) {
                m_buffer.append(utf8);
                return;
            }
            // Cut before a character's first byte, never inside it.
            std::size_t take = room;
            while (take > 0 && (static_cast<unsigned char>(utf8[take]) & 0xC0) == 0x80)
                --take;
            if (take == 0 && held == 0)
                take = room;
            m_buffer.append(utf8.substr(0, take));
            utf8.remove_prefix(take);
            flush();
        }
    }
    void append(char c)
    {
        if (m_buffer.size() - m_lineStart >= kLongestLine)
            flush();
        m_buffer.push_back(c);
    }

    // Ends the current line (an empty one too).
    void endLine()
    {
        m_buffer.push_back('\n');
        ++m_linesHeld;
        m_lineStart = m_buffer.size();
        if (m_buffer.size() >= kRunSize)
            flush();
    }

    // Ends the current line unless it is empty.
    void endNonEmptyLine()
    {
        if (m_buffer.size() > m_lineStart)
            endLine();
    }

    // Hands on whatever is held, an unfinished last line included.
    void flush()
    {
        if (!m_buffer.empty())
            m_receiver.text(m_buffer, m_line, true);
        m_line += m_linesHeld;
        m_linesHeld = 0;
        m_buffer.clear();
        m_lineStart = 0;
    }

private:
    static constexpr std::size_t kRunSize = std::size_t{64} << 10;
    static constexpr std::size_t kLongestLine = std::size_t{4} << 20;

    TextReceiver &m_receiver;
    std::string m_buffer;
    std::size_t m_lineStart = 0;
    std::int64_t m_line = 1;
    std::int64_t m_linesHeld = 0;
};
