#include "formats/office_text.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "errors/app_error.h"
#include "io/input_encoding.h"

namespace {

constexpr std::size_t kZipLocalHeader = 30;

std::string_view View(const xmlChar *text)
{
    return text == nullptr ? std::string_view()
                           : std::string_view(reinterpret_cast<const char *>(text));
}

bool StartsWithMailto(std::string_view target)
{
    constexpr std::string_view kScheme = "mailto:";
    if (target.size() < kScheme.size())
        return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        const char c = target[i];
        if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != kScheme[i])
            return false;
    }
    return true;
}

// A link target as its reader sees it: percent escapes decoded, always valid UTF-8.
std::string DecodedTarget(std::string_view target)
{
    const QByteArray decoded = QByteArray::fromPercentEncoding(
        QByteArray(target.data(), static_cast<qsizetype>(target.size())));
    std::string out;
    AppendAsUtf8(QByteArrayView(decoded), InputEncoding::Auto, out);
    for (char &c : out) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return out;
}

struct PartContext
{
    ByteSource &source;
    std::exception_ptr pending;
    std::string firstError;
};

int ReadPart(void *context, char *buffer, int length)
{
    auto *part = static_cast<PartContext *>(context);
    // No exception may cross the library: kept, then raised again once it returns.
    try {
        return static_cast<int>(part->source.read(buffer, static_cast<std::size_t>(length)));
    } catch (...) {
        part->pending = std::current_exception();
        return -1;
    }
}

int ClosePart(void *)
{
    return 0;
}

void KeepFirstError(void *context, xmlErrorPtr error)
{
    auto *part = static_cast<PartContext *>(context);
    if (part->firstError.empty() && error != nullptr && error->message != nullptr) {
        part->firstError = error->message;
        while (!part->firstError.empty() &&
               (part->firstError.back() == '\n' || part->firstError.back() == ' '))
            part->firstError.pop_back();
    }
}

class XmlReader
{
public:
    explicit XmlReader(xmlTextReaderPtr reader) : m_reader(reader) {}
    ~XmlReader() { xmlFreeTextReader(m_reader); }
    XmlReader(const XmlReader &) = delete;
    XmlReader &operator=(const XmlReader &) = delete;
    xmlTextReaderPtr get() const { return m_reader; }

private:
    xmlTextReaderPtr m_reader;
};

std::string Attribute(xmlTextReaderPtr reader, const char *localName, const char *nsUri)
{
    xmlChar *value =
        nsUri == nullptr
            ? xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar *>(localName))
            : xmlTextReaderGetAttributeNs(reader, reinterpret_cast<const xmlChar *>(localName),
                                          reinterpret_cast<const xmlChar *>(nsUri));
    std::string out = value != nullptr ? reinterpret_cast<const char *>(value) : "";
    xmlFree(value);
    return out;
}

constexpr const char *kXlinkNs = "http://www.w3.org/1999/xlink";
constexpr const char *kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";

// What a paragraph holds beside its text, given after it on lines of their own: link targets
// and field instructions (a Word HYPERLINK field carries its target there).
struct Paragraph
{
    std::vector<std::string> extraLines;
    std::string instruction;

    void endInto(ContainerLineSink &sink)
    {
        sink.endNonEmptyLine();
        if (!instruction.empty()) {
            extraLines.push_back(std::move(instruction));
            instruction.clear();
        }
        for (const std::string &line : extraLines) {
            sink.append(line);
            sink.endLine();
        }
        extraLines.clear();
    }
};

void WalkOpenXml(xmlTextReaderPtr reader, ContainerLineSink &sink, bool relationships, int &status)
{
    Paragraph paragraph;
    int textDepth = -1; // depth of the text element being read, -1 outside
    bool inInstruction = false;
    bool stringCell = false;
    while ((status = xmlTextReaderRead(reader)) == 1) {
        const int type = xmlTextReaderNodeType(reader);
        const std::string_view name = View(xmlTextReaderConstLocalName(reader));
        if (type == XML_READER_TYPE_ELEMENT) {
            const bool empty = xmlTextReaderIsEmptyElement(reader) == 1;
            if (relationships) {
                if (name == "Relationship") {
                    const std::string target = Attribute(reader, "Target", nullptr);
                    if (StartsWithMailto(target)) {
                        sink.append(DecodedTarget(target));
                        sink.endLine();
                    }
                }
                continue;
            }
            // "text" holds a presentation comment's text.
            if (name == "t" || name == "text" || name == "instrText" ||
                (name == "v" && stringCell)) {
                if (!empty) {
                    textDepth = xmlTextReaderDepth(reader);
                    inInstruction = name == "instrText";
                }
            } else if (name == "tab") {
                sink.append('\t');
            } else if (name == "br" || name == "cr") {
                paragraph.endInto(sink);
            } else if (name == "c") {
                stringCell = Attribute(reader, "t", nullptr) == "str";
            } else if ((name == "p" || name == "si") && empty) {
                paragraph.endInto(sink);
            }
        } else if (type == XML_READER_TYPE_END_ELEMENT) {
            if (textDepth >= 0 && xmlTextReaderDepth(reader) == textDepth) {
                textDepth = -1;
                if (inInstruction)
                    paragraph.instruction.push_back(' ');
                inInstruction = false;
            } else if (name == "p" || name == "si" || name == "is" || name == "tc" ||
                       name == "text" || (name == "c" && stringCell)) {
                paragraph.endInto(sink);
            }
        } else if (textDepth >= 0 &&
                   (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
                    type == XML_READER_TYPE_WHITESPACE ||
                    type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE)) {
            const std::string_view text = View(xmlTextReaderConstValue(reader));
            if (inInstruction)
                paragraph.instruction.append(text);
            else
                sink.append(text);
        }
    }
    paragraph.endInto(sink);
}

void WalkOpenDocument(xmlTextReaderPtr reader, ContainerLineSink &sink, int &status)
{
    Paragraph paragraph;
    int paragraphDepth = 0; // text:p and text:h being read, nested in notes and frames
    while ((status = xmlTextReaderRead(reader)) == 1) {
        const int type = xmlTextReaderNodeType(reader);
        if (type == XML_READER_TYPE_ELEMENT) {
            const std::string_view name = View(xmlTextReaderConstLocalName(reader));
            const bool empty = xmlTextReaderIsEmptyElement(reader) == 1;
            if (xmlTextReaderHasAttributes(reader) == 1) {
                const std::string href = Attribute(reader, "href", kXlinkNs);
                if (StartsWithMailto(href))
                    paragraph.extraLines.push_back(DecodedTarget(href));
            }
            if (name == "p" || name == "h") {
                if (empty)
                    paragraph.endInto(sink);
                else
                    ++paragraphDepth;
            } else if (paragraphDepth > 0 && name == "s") {
                const std::string count = Attribute(reader, "c", kTextNs);
                int spaces = count.empty() ? 1 : std::atoi(count.c_str());
                spaces = spaces < 1 ? 1 : (spaces > 1024 ? 1024 : spaces);
                sink.append(std::string(static_cast<std::size_t>(spaces), ' '));
            } else if (paragraphDepth > 0 && name == "tab") {
                sink.append('\t');
            } else if (paragraphDepth > 0 && name == "line-break") {
                sink.endLine();
            }
        } else if (type == XML_READER_TYPE_END_ELEMENT) {
            const std::string_view name = View(xmlTextReaderConstLocalName(reader));
            if ((name == "p" || name == "h") && paragraphDepth > 0) {
                --paragraphDepth;
                paragraph.endInto(sink);
            }
        } else if (paragraphDepth > 0 &&
                   (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
                    type == XML_READER_TYPE_WHITESPACE ||
                    type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE)) {
            sink.append(View(xmlTextReaderConstValue(reader)));
        }
    }
    paragraph.endInto(sink);
}

} // namespace

OfficeKind DetectOfficeKind(QByteArrayView head)
{
    if (head.size() < static_cast<qsizetype>(kZipLocalHeader) || !head.startsWith("PK\x03\x04"))
        return OfficeKind::None;
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(head[i]); };
    const qsizetype nameLength = byte(26) | (byte(27) << 8);
    const qsizetype extraLength = byte(28) | (byte(29) << 8);
    if (head.size() < static_cast<qsizetype>(kZipLocalHeader) + nameLength)
        return OfficeKind::None;
    const QByteArrayView name = head.sliced(kZipLocalHeader, nameLength);
    if (name == "mimetype") {
        const qsizetype dataAt = static_cast<qsizetype>(kZipLocalHeader) + nameLength + extraLength;
        const QByteArrayView odf = "application/vnd.oasis.opendocument.";
        if (head.size() >= dataAt + odf.size() && head.sliced(dataAt, odf.size()) == odf)
            return OfficeKind::OpenDocument;
        return OfficeKind::None;
    }
    // Office Open XML packages open with their content types or their relationships; a plain
    // zip of a folder named word/ or xl/ stays an archive.
    if (name == "[Content_Types].xml" || name == "_rels/.rels")
        return OfficeKind::OpenXml;
    return OfficeKind::None;
}

bool IsOfficeTextPart(OfficeKind kind, const QString &path)
{
    if (kind == OfficeKind::OpenDocument)
        return path == QLatin1String("content.xml") || path == QLatin1String("styles.xml");
    if (kind != OfficeKind::OpenXml)
        return false;
    const bool inDocument = path.startsWith(QLatin1String("word/")) ||
                            path.startsWith(QLatin1String("xl/")) ||
                            path.startsWith(QLatin1String("ppt/"));
    return inDocument &&
           (path.endsWith(QLatin1String(".xml")) || path.endsWith(QLatin1String(".rels")));
}

void ReadOfficePart(OfficeKind kind, ByteSource &part, const QString &shownName,
                    const QString &partPath, ContainerLineSink &sink)
{
    PartContext context{part, nullptr, {}};
    // No network, no entity expansion, no DTD loading: the XML of a document is untrusted.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                        XML_PARSE_NOCDATA | XML_PARSE_COMPACT;
    XmlReader reader(xmlReaderForIO(&ReadPart, &ClosePart, &context, nullptr, nullptr, options));
    if (reader.get() == nullptr)
        throw AppError(
            QStringLiteral("Document illisible « %1 » : partie « %2 »").arg(shownName, partPath));
    xmlTextReaderSetStructuredErrorHandler(reader.get(), &KeepFirstError, &context);
    int status = 0;
    if (kind == OfficeKind::OpenDocument)
        WalkOpenDocument(reader.get(), sink, status);
    else
        WalkOpenXml(reader.get(), sink, partPath.endsWith(QLatin1String(".rels")), status);
    if (context.pending)
        std::rethrow_exception(context.pending);
    if (status < 0) {
        QString why = QString::fromStdString(context.firstError);
        if (why.isEmpty())
            why = QStringLiteral("XML mal formé");
        throw AppError(QStringLiteral("Document illisible « %1 » : partie « %2 » : %3")
                           .arg(shownName, partPath, why));
    }
}
