// Mail, one message or an mbox, read line by line so that neither a huge mailbox nor a huge
// attachment is ever held: GMime's own parser keeps every part of a stream it cannot seek in
// memory, and tells no line numbers. GMime still does the decoding: headers (RFC 2047 words,
// parameters), quoted-printable, base64 and uuencode, charsets.
#include <algorithm>
#include <string>
#include <vector>

#include "formats/decoder_support.h"
#include "formats/gmime_include.h"
#include "formats/mail_headers.h"

namespace {

constexpr std::size_t kPiece = 64 * 1024;
constexpr std::size_t kMaxHeader = 256 * 1024;

enum class Sink { Plain, Markup, Contacts, Json };

class MailDecoder : public ChunkDecoder
{
public:
    MailDecoder(InputEncoding encoding, TextReceiver &receiver)
        : m_encoding(encoding), m_receiver(receiver)
    {
        EnsureGMime();
        m_options = g_mime_parser_options_new();
        // Raw 8-bit header text: UTF-8 when it is, else the Windows code page.
        const char *fallback[] = {"utf-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(m_options, fallback);
        startEntity(1);
    }

    ~MailDecoder() override { g_mime_parser_options_free(m_options); }

    void push(std::string_view bytes) override
    {
        m_lines.push(bytes,
                     [this](std::string_view line, bool complete) { onLine(line, complete); });
    }

    void finish() override
    {
        m_lines.finish([this](std::string_view line, bool complete) { onLine(line, complete); });
        if (m_state == State::Headers)
            endHeaders(m_nextLine);
        endLeaf();
        flushHeaderText();
    }

private:
    enum class State { Headers, Body, Skip };

    void onLine(std::string_view line, bool complete)
    {
        const std::int64_t lineNumber = m_nextLine;
        if (complete)
            ++m_nextLine;
        if (m_leading && line.starts_with("From ")) {
            m_mbox = true;
            m_blankBefore = false;
            startEntity(lineNumber + 1);
            return;
        }
        if (m_mbox && m_blankBefore && line.starts_with("From ") && m_wholeLine) {
            // A new message of the mailbox: whatever the last one left open ends here.
            if (m_state == State::Headers)
                endHeaders(lineNumber);
            endLeaf();
            flushHeaderText();
            m_boundaries.clear();
            m_blankBefore = false;
            startEntity(lineNumber + 1);
            m_wholeLine = complete;
            return;
        }
        m_blankBefore = line.empty() && complete;
        const bool wholeLine = m_wholeLine;
        m_wholeLine = complete;

        switch (m_state) {
        case State::Headers:
            headerLine(line, complete, lineNumber, wholeLine);
            return;
        case State::Body:
            if (wholeLine && isBoundary(line, lineNumber))
                return;
            bodyLine(line, complete);
            return;
        case State::Skip:
            if (wholeLine)
                isBoundary(line, lineNumber);
            return;
        }
    }

    void startEntity(std::int64_t line)
    {
        m_state = State::Headers;
        m_entityLine = line;
        m_headerTextLine = line;
        m_mediaType = "text";
        m_mediaSubtype = "plain";
        m_charset.clear();
        m_boundary.clear();
        m_fileName.clear();
        m_transfer = GMIME_CONTENT_ENCODING_DEFAULT;
        m_headerName.clear();
        m_headerValue.clear();
    }

    void headerLine(std::string_view line, bool complete, std::int64_t lineNumber, bool wholeLine)
    {
        if (!wholeLine) {
            // The rest of an over-long line.
            if (m_headerValue.size() < kMaxHeader)
                m_headerValue.append(line);
            return;
        }
        if (line.empty()) {
            // Blank lines before a message's first header are not its end.
            if (m_leading) {
                startEntity(lineNumber + 1);
                return;
            }
            endHeaders(lineNumber + 1);
            return;
        }
        m_leading = false;
        if ((line.front() == ' ' || line.front() == '\t') && !m_headerName.empty()) {
            if (m_headerValue.size() < kMaxHeader)
                m_headerValue.append(line);
            ++m_headerLines;
            return;
        }
        const std::size_t colon = line.find(':');
        bool isHeader = colon != std::string_view::npos && colon > 0;
        for (std::size_t i = 0; isHeader && i < colon; ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            isHeader = c > 32 && c < 127;
        }
        if (!isHeader) {
            // Not a header: the body starts without its blank line.
            endHeaders(lineNumber);
            if (m_state == State::Body)
                bodyLine(line, complete);
            return;
        }
        endHeader();
        m_headerName.assign(line.substr(0, colon));
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        m_headerValue.assign(value);
        m_headerLines = 1;
    }

    void endHeader()
    {
        if (m_headerName.empty())
            return;
        const std::string_view name = m_headerName;
        if (EqualsNoCase(name, "content-type")) {
            // A mailbox repeats the same few types: each distinct value is parsed once in a row.
            if (!m_lastType.filled || m_headerValue != m_lastType.value)
                m_lastType = ParseContentType(m_options, m_headerValue);
            if (m_lastType.parsed) {
                m_mediaType = m_lastType.media;
                m_mediaSubtype = m_lastType.subtype;
                m_charset = m_lastType.charset;
                m_boundary = m_lastType.boundary;
                if (m_lastType.hasName && m_fileName.empty())
                    m_fileName = m_lastType.name;
            }
        } else if (EqualsNoCase(name, "content-transfer-encoding")) {
            m_transfer = g_mime_content_encoding_from_string(m_headerValue.c_str());
        } else if (EqualsNoCase(name, "content-disposition")) {
            if (GMimeContentDisposition *disposition =
                    g_mime_content_disposition_parse(m_options, m_headerValue.c_str())) {
                const char *fileName =
                    g_mime_content_disposition_get_parameter(disposition, "filename");
                if (fileName)
                    m_fileName = fileName;
                g_object_unref(disposition);
            }
        }

        // The header's lines stay in the run so that the next ones keep their numbers.
        if (!IsHiddenHeader(name)) {
            std::string value =
                EqualsNoCase(name, "received") ? WithoutReceivedId(m_headerValue) : m_headerValue;
            m_headerText.append(m_headerName);
            m_headerText += ": ";
            if (value.find("=?") == std::string::npos) {
                // No encoded word: raw 8-bit text is read by the input rule.
                AppendAsUtf8(QByteArrayView(value.data(), static_cast<qsizetype>(value.size())),
                             m_encoding, m_headerText);
            } else if (char *decoded = g_mime_utils_header_decode_text(m_options, value.c_str())) {
                const std::string_view text(decoded);
                AppendAsUtf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())),
                             InputEncoding::Utf8, m_headerText);
                g_free(decoded);
            }
        }
        m_headerText.append(static_cast<std::size_t>(m_headerLines), '\n');
        m_headerName.clear();
        m_headerValue.clear();
        if (m_headerText.size() >= kPiece)
            flushHeaderText();
    }

    void flushHeaderText()
    {
        if (!m_headerText.empty()) {
            // Lines of hidden headers alone are not worth a run.
            if (m_headerText.find_first_not_of('\n') != std::string::npos)
                m_receiver.text(m_headerText, m_headerTextLine, true);
            m_headerTextLine += std::count(m_headerText.begin(), m_headerText.end(), '\n');
        }
        m_headerText.clear();
    }

    bool isTextual() const
    {
        if (m_mediaType == "text")
            return true;
        // Delivery and read reports: the recipients they are about.
        if (m_mediaType == "message" &&
            (m_mediaSubtype == "delivery-status" || m_mediaSubtype == "global-delivery-status" ||
             m_mediaSubtype == "disposition-notification" ||
             m_mediaSubtype == "global-disposition-notification"))
            return true;
        static constexpr std::string_view applications[] = {
            "json", "xml", "xhtml+xml", "ics", "csv", "x-vcard", "vcard", "ld+json", "rtf"};
        if (m_mediaType == "application") {
            for (const std::string_view a : applications)
                if (m_mediaSubtype == a)
                    return true;
        }
        if (m_mediaType == "application" || m_mediaType.empty()) {
            // An attachment labelled as bytes whose name says it is text.
            static constexpr std::string_view suffixes[] = {
                ".txt",  ".csv",  ".vcf", ".ics", ".htm", ".html", ".xml",
                ".json", ".ldif", ".eml", ".log", ".md",  ".tsv"};
            for (const std::string_view s : suffixes)
                if (m_fileName.size() >= s.size() &&
                    EqualsNoCase(std::string_view(m_fileName).substr(m_fileName.size() - s.size()),
                                 s))
                    return true;
        }
        return false;
    }

    Sink sinkFor() const
    {
        const std::string_view sub = m_mediaSubtype;
        auto nameEnds = [this](std::string_view s) {
            return m_fileName.size() >= s.size() &&
                   EqualsNoCase(std::string_view(m_fileName).substr(m_fileName.size() - s.size()),
                                s);
        };
        if (sub == "html" || sub == "xml" || sub == "xhtml+xml" || nameEnds(".html") ||
            nameEnds(".htm") || nameEnds(".xml"))
            return Sink::Markup;
        if (sub == "vcard" || sub == "x-vcard" || sub == "directory" || sub == "calendar" ||
            sub == "ics" || nameEnds(".vcf") || nameEnds(".ics") || nameEnds(".ldif"))
            return Sink::Contacts;
        if (sub == "json" || sub == "ld+json" || nameEnds(".json"))
            return Sink::Json;
        return Sink::Plain;
    }

    void endHeaders(std::int64_t bodyLine)
    {
        endHeader();
        flushHeaderText();
        m_headerTextLine = bodyLine;
        if (m_mediaType == "multipart") {
            if (!m_boundary.empty())
                m_boundaries.push_back("--" + m_boundary);
            m_state = State::Skip;
            return;
        }
        const bool encoded = m_transfer == GMIME_CONTENT_ENCODING_BASE64 ||
                             m_transfer == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
        if (m_mediaType == "message" &&
            (m_mediaSubtype == "rfc822" || m_mediaSubtype == "global") && !encoded) {
            startEntity(bodyLine);
            return;
        }
        if (!isTextual() || m_transfer == GMIME_CONTENT_ENCODING_UUENCODE) {
            m_state = State::Skip;
            return;
        }
        m_state = State::Body;
        m_decoding = encoded;
        if (m_decoding)
            g_mime_encoding_init_decode(&m_codec, m_transfer);
        m_converter = std::make_unique<CharsetConverter>(m_charset, m_encoding);
        // A body as it stands keeps its own lines; a decoded one is told where its part starts.
        m_bodyLine = bodyLine;
        m_linesFollow = !m_decoding;
        const std::int64_t tellAt = m_decoding ? m_entityLine : bodyLine;
        const Sink sink = sinkFor();
        if (sink != Sink::Plain) {
            m_partReceiver = std::make_unique<PartReceiver>(m_receiver, tellAt, m_linesFollow);
            const InputFormat format = sink == Sink::Markup     ? InputFormat::Markup
                                       : sink == Sink::Contacts ? InputFormat::Contacts
                                                                : InputFormat::Json;
            m_nested = MakeChunkDecoder(format, InputEncoding::Utf8, *m_partReceiver);
        }
        if (m_decoding)
            m_bodyLine = m_entityLine;
    }

    void bodyLine(std::string_view line, bool complete)
    {
        if (m_decoding) {
            // Encoded lines are decoded a piece at a time, not line by line.
            m_encoded.append(line);
            if (complete)
                m_encoded += '\n';
            if (m_encoded.size() >= kPiece)
                decodeHeld();
        } else {
            m_body.append(line);
            if (complete)
                m_body += '\n';
        }
        if (m_body.size() >= kPiece)
            flushBody(false);
    }

    void decodeHeld()
    {
        const std::size_t had = m_body.size();
        m_body.resize(had + g_mime_encoding_outlen(&m_codec, m_encoded.size()));
        const std::size_t n =
            g_mime_encoding_step(&m_codec, m_encoded.data(), m_encoded.size(), m_body.data() + had);
        m_body.resize(had + n);
        m_encoded.clear();
    }

    void flushBody(bool all)
    {
        std::size_t end = m_body.size();
        if (!all) {
            const std::size_t lf = m_body.rfind('\n');
            end = lf != std::string::npos ? lf + 1 : BreakAfterLast(m_body);
            // One line longer than a piece, without a break: handed on as it is.
            if (end == 0 || (lf == std::string::npos && m_body.size() > LineSplitter::kMaxLine))
                end = m_body.size();
            if (end == 0)
                return;
        }
        if (m_nested) {
            m_text.clear();
            m_converter->append(std::string_view(m_body).substr(0, end), m_text);
            m_nested->push(m_text);
        } else {
            m_text.clear();
            m_converter->append(std::string_view(m_body).substr(0, end), m_text);
            if (!m_text.empty())
                m_receiver.text(m_text, m_bodyLine, m_linesFollow);
            if (m_linesFollow)
                m_bodyLine += std::count(m_body.begin(), m_body.begin() + end, '\n');
        }
        m_body.erase(0, end);
    }

    void endLeaf()
    {
        if (m_state != State::Body)
            return;
        if (m_decoding) {
            decodeHeld();
            const std::size_t had = m_body.size();
            m_body.resize(had + g_mime_encoding_outlen(&m_codec, 0) + 8);
            const std::size_t n = g_mime_encoding_flush(&m_codec, nullptr, 0, m_body.data() + had);
            m_body.resize(had + n);
        }
        flushBody(true);
        if (m_nested)
            m_nested->finish();
        m_nested.reset();
        m_partReceiver.reset();
        m_converter.reset();
        m_decoding = false;
        m_state = State::Skip;
    }

    // A delimiter of an open multipart ends the part before it; the innermost match wins, and
    // parts nested deeper that were never closed end with it.
    bool isBoundary(std::string_view line, std::int64_t lineNumber)
    {
        if (m_boundaries.empty() || !line.starts_with("--"))
            return false;
        for (std::size_t i = m_boundaries.size(); i > 0; --i) {
            const std::string &marker = m_boundaries[i - 1];
            if (!line.starts_with(marker))
                continue;
            std::string_view rest = line.substr(marker.size());
            const bool closing = rest.starts_with("--");
            if (closing)
                rest.remove_prefix(2);
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
                rest.remove_prefix(1);
            if (!rest.empty())
                continue;
            endLeaf();
            m_boundaries.resize(closing ? i - 1 : i);
            if (closing)
                m_state = State::Skip;
            else
                startEntity(lineNumber + 1);
            return true;
        }
        return false;
    }

    InputEncoding m_encoding;
    TextReceiver &m_receiver;
    MailContentType m_lastType;
    GMimeParserOptions *m_options = nullptr;
    LineSplitter m_lines;
    std::int64_t m_nextLine = 1;
    bool m_leading = true;
    bool m_mbox = false;
    bool m_blankBefore = false;
    bool m_wholeLine = true;
    State m_state = State::Headers;

    // The entity whose headers are being read.
    std::int64_t m_entityLine = 1;
    std::string m_mediaType;
    std::string m_mediaSubtype;
    std::string m_charset;
    std::string m_boundary;
    std::string m_fileName;
    GMimeContentEncoding m_transfer = GMIME_CONTENT_ENCODING_DEFAULT;
    std::string m_headerName;
    std::string m_headerValue;
    int m_headerLines = 0;
    std::string m_headerText;
    std::int64_t m_headerTextLine = 1;

    std::vector<std::string> m_boundaries;

    // The text part being decoded.
    bool m_decoding = false;
    bool m_linesFollow = true;
    GMimeEncoding m_codec{};
    std::unique_ptr<CharsetConverter> m_converter;
    std::unique_ptr<PartReceiver> m_partReceiver;
    std::unique_ptr<ChunkDecoder> m_nested;
    std::int64_t m_bodyLine = 1;
    std::string m_body;
    std::string m_encoded;
    std::string m_text;
};

} // namespace

std::unique_ptr<ChunkDecoder> MakeMailDecoder(InputEncoding encoding, TextReceiver &receiver)
{
    return std::make_unique<MailDecoder>(encoding, receiver);
}
