#include "formats/rtf_text.h"

#include <unicode/ucnv.h>

#include <array>
#include <cctype>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

#include "io/input_encoding.h"
#include "text/utf8.h"

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;
constexpr std::size_t kDeepestGroup = 4096;
constexpr std::size_t kLongestStretch = std::size_t{64} << 10;
constexpr std::size_t kLongestInstruction = std::size_t{64} << 10;

// Destinations whose text no reader sees.
constexpr std::array<std::string_view, 33> kSkipped = {"fonttbl",
                                                       "colortbl",
                                                       "stylesheet",
                                                       "info",
                                                       "pict",
                                                       "themedata",
                                                       "colorschememapping",
                                                       "datastore",
                                                       "xmlnstbl",
                                                       "listtable",
                                                       "listoverridetable",
                                                       "rsidtbl",
                                                       "generator",
                                                       "latentstyles",
                                                       "pgdsctbl",
                                                       "filetbl",
                                                       "revtbl",
                                                       "objdata",
                                                       "blipuid",
                                                       "bkmkstart",
                                                       "bkmkend",
                                                       "panose",
                                                       "falt",
                                                       "passwordhash",
                                                       "protusertbl",
                                                       "mmathPr",
                                                       "wgrffmtfilter",
                                                       "listtext",
                                                       "pntext",
                                                       "pntxtb",
                                                       "pntxta",
                                                       "userprops",
                                                       "docvar"};

bool IsSkipped(std::string_view word)
{
    for (std::string_view skipped : kSkipped) {
        if (word == skipped)
            return true;
    }
    return false;
}

class Converter
{
public:
    explicit Converter(int codePage)
    {
        if (codePage == 1252 || codePage <= 0)
            return;
        UErrorCode status = U_ZERO_ERROR;
        const std::string name =
            codePage == 65001 ? "UTF-8" : "windows-" + std::to_string(codePage);
        m_converter = ucnv_open(name.c_str(), &status);
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            m_converter = ucnv_open(("ibm-" + std::to_string(codePage)).c_str(), &status);
        }
        if (U_FAILURE(status))
            m_converter = nullptr;
    }
    ~Converter()
    {
        if (m_converter != nullptr)
            ucnv_close(m_converter);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    void append(std::string_view bytes, std::string &out)
    {
        if (m_converter == nullptr) {
            AppendAsUtf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                         InputEncoding::Cp1252, out);
            return;
        }
        std::vector<char16_t> units(bytes.size() * 2 + 4);
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            ucnv_toUChars(m_converter, units.data(), static_cast<int32_t>(units.size()),
                          bytes.data(), static_cast<int32_t>(bytes.size()), &status);
        if (U_FAILURE(status))
            return;
        out += QString::fromUtf16(units.data(), length).toStdString();
    }

private:
    UConverter *m_converter = nullptr;
};

struct GroupState
{
    bool skip = false;
    bool instruction = false;
    int unicodeSkip = 1;
};

class RtfParser
{
public:
    RtfParser(ByteSource &source, ContainerLineSink &sink)
        : m_source(source), m_sink(sink), m_buffer(kPiece)
    {
        m_groups.push_back(GroupState{});
    }

    void run()
    {
        int c;
        while ((c = next()) >= 0) {
            if (c == '{') {
                flushBytes();
                if (m_groups.size() < kDeepestGroup)
                    m_groups.push_back(m_groups.back());
                else
                    ++m_overflow;
                m_groupStart = true;
                continue;
            }
            if (c == '}') {
                flushBytes();
                if (m_overflow > 0) {
                    --m_overflow;
                } else if (m_groups.size() > 1) {
                    if (m_groups.back().instruction && !m_groups[m_groups.size() - 2].instruction)
                        endInstruction();
                    m_groups.pop_back();
                }
                m_groupStart = false;
                continue;
            }
            if (c == '\\') {
                controlWord();
                continue;
            }
            m_groupStart = false;
            if (c == '\r' || c == '\n')
                continue;
            if (m_pendingSkip > 0) {
                --m_pendingSkip;
                continue;
            }
            if (state().skip)
                continue;
            if (c == '\t') {
                emitText("\t");
                continue;
            }
            m_bytes.push_back(static_cast<char>(c));
            // A long stretch of plain text is handed on in pieces, cut after an ASCII byte so
            // that no character of a double-byte code page is split.
            if (m_bytes.size() >= kLongestStretch && c < 0x80)
                flushBytes();
        }
        flushBytes();
        endInstruction();
        m_sink.endNonEmptyLine();
    }

private:
    GroupState &state() { return m_groups.back(); }

    int next()
    {
        if (m_at == m_end) {
            m_end = m_source.read(m_buffer.data(), m_buffer.size());
            m_at = 0;
            if (m_end == 0)
                return -1;
        }
        return static_cast<unsigned char>(m_buffer[m_at++]);
    }
    void putBack() { --m_at; }

    void flushBytes()
    {
        if (m_bytes.empty())
            return;
        std::string text;
        Converter &converter = codePage();
        converter.append(m_bytes, text);
        m_bytes.clear();
        emitText(text);
    }

    Converter &codePage()
    {
        if (!m_converter)
            m_converter = std::make_unique<Converter>(m_codePage);
        return *m_converter;
    }

    void emitText(std::string_view utf8)
    {
        if (state().instruction) {
            if (m_instruction.size() < kLongestInstruction)
                m_instruction.append(utf8);
        } else
            m_sink.append(utf8);
    }

    void emitUnit(char16_t unit)
    {
        flushBytes();
        if (QChar::isHighSurrogate(unit)) {
            m_highSurrogate = unit;
            return;
        }
        QString text;
        if (QChar::isLowSurrogate(unit) && m_highSurrogate != 0) {
            text.append(QChar(m_highSurrogate));
            text.append(QChar(unit));
        } else {
            text.append(QChar::isSurrogate(unit) ? QChar(QChar::ReplacementCharacter)
                                                 : QChar(unit));
        }
        m_highSurrogate = 0;
        emitText(text.toStdString());
    }

    void endLine()
    {
        flushBytes();
        if (state().instruction)
            emitText(" ");
        else
            m_sink.endLine();
    }

    void endInstruction()
    {
        if (m_instruction.empty())
            return;
        m_sink.endNonEmptyLine();
        m_sink.append(m_instruction);
        m_sink.endLine();
        m_instruction.clear();
    }

    void controlWord()
    {
        int c = next();
        if (c < 0)
            return;
        const bool groupStart = m_groupStart;
        m_groupStart = false;
        if (!std::isalpha(c)) {
            controlSymbol(c, groupStart);
            return;
        }
        std::string word;
        while (c >= 0 && std::isalpha(c) && word.size() < 32) {
            word.push_back(static_cast<char>(c));
            c = next();
        }
        bool hasNumber = false;
        bool negative = false;
        long long number = 0;
        if (c == '-') {
            negative = true;
            c = next();
        }
        while (c >= 0 && std::isdigit(c)) {
            hasNumber = true;
            if (number < 100000000)
                number = number * 10 + (c - '0');
            c = next();
        }
        if (negative)
            number = -number;
        if (c >= 0 && c != ' ')
            putBack();
        apply(word, hasNumber, number, groupStart);
    }

    void controlSymbol(int c, bool groupStart)
    {
        switch (c) {
        case '\'': {
            const int high = HexDigitValue(static_cast<char>(next()));
            const int low = HexDigitValue(static_cast<char>(next()));
            if (high < 0 || low < 0)
                return;
            if (m_pendingSkip > 0) {
                --m_pendingSkip;
                return;
            }
            if (!state().skip)
                m_bytes.push_back(static_cast<char>(high * 16 + low));
            return;
        }
        case '*':
            // An optional destination: skipped unless it is one whose text matters.
            m_optional = groupStart || m_optional;
            m_groupStart = groupStart;
            return;
        case '\\':
        case '{':
        case '}':
            if (!state().skip)
                m_bytes.push_back(static_cast<char>(c));
            return;
        case '~':
            if (!state().skip)
                emitText("\u00a0");
            return;
        case '_':
            if (!state().skip)
                emitText("-");
            return;
        case '\r':
        case '\n':
            if (!state().skip)
                endLine();
            return;
        default:
            return;
        }
    }

    void apply(const std::string &word, bool hasNumber, long long number, bool groupStart)
    {
        const bool optional = m_optional;
        m_optional = false;
        if (word == "fldinst") {
            flushBytes();
            state().instruction = true;
            return;
        }
        if (groupStart || optional) {
            if (optional || IsSkipped(word)) {
                flushBytes();
                state().skip = true;
                return;
            }
        }
        if (word == "bin" && hasNumber) {
            for (long long i = 0; i < number && next() >= 0; ++i) {
            }
            return;
        }
        if (word == "ansicpg" && hasNumber) {
            flushBytes();
            m_codePage = static_cast<int>(number);
            m_converter.reset();
            return;
        }
        if (word == "uc" && hasNumber) {
            state().unicodeSkip = static_cast<int>(number < 0 ? 0 : (number > 8 ? 8 : number));
            return;
        }
        if (word == "u" && hasNumber) {
            if (!state().skip)
                emitUnit(static_cast<char16_t>(number < 0 ? number + 65536 : number));
            m_pendingSkip = state().unicodeSkip;
            return;
        }
        if (state().skip)
            return;
        if (word == "par" || word == "line" || word == "row" || word == "sect" || word == "page" ||
            word == "cell") {
            endLine();
        } else if (word == "tab") {
            emitText("\t");
        } else if (word == "emdash") {
            emitText("\u2014");
        } else if (word == "endash") {
            emitText("\u2013");
        } else if (word == "lquote") {
            emitText("\u2018");
        } else if (word == "rquote") {
            emitText("\u2019");
        } else if (word == "ldblquote") {
            emitText("\u201c");
        } else if (word == "rdblquote") {
            emitText("\u201d");
        } else if (word == "bullet") {
            emitText("\u2022");
        }
    }

    ByteSource &m_source;
    ContainerLineSink &m_sink;
    std::vector<char> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_end = 0;
    std::vector<GroupState> m_groups;
    int m_overflow = 0;
    bool m_groupStart = false;
    bool m_optional = false;
    int m_pendingSkip = 0;
    int m_codePage = 1252;
    std::unique_ptr<Converter> m_converter;
    std::string m_bytes;
    std::string m_instruction;
    char16_t m_highSurrogate = 0;
};

} // namespace

bool IsRtf(QByteArrayView head)
{
    return head.startsWith("{\\rtf");
}

void ReadRtfText(ByteSource &source, ContainerLineSink &sink)
{
    RtfParser(source, sink).run();
}
