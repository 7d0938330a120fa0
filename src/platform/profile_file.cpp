#include "platform/profile_file.h"

#include <cerrno>
#include <limits>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>

#include "platform/descriptor_io.h"
#include "platform/file_descriptor.h"
#include "platform/safe_write.h"

namespace {

enum class LineKind { Other, Section, Entry };

struct Line
{
    qsizetype start = 0;      // first byte of the line's text
    qsizetype textLength = 0; // without its line end
    qsizetype end = 0;        // one past its line end
    LineKind kind = LineKind::Other;
    QString name; // section name or key
    QString value;
};

struct ParsedLine
{
    LineKind kind = LineKind::Other;
    QString name;
    QString value;
};

ParsedLine parseLine(const QString &text)
{
    if (text.startsWith(u'[') && text.endsWith(u']') && text.size() >= 2)
        return {LineKind::Section, text.mid(1, text.size() - 2), {}};
    const qsizetype equals = text.indexOf(u'=');
    if (equals >= 0)
        return {LineKind::Entry, text.left(equals), text.mid(equals + 1)};
    return {};
}

// Inside the file EF BB BF is the character U+FEFF and belongs to the line, however many stand
// at its start: the decoder is told not to take them for a byte-order mark.
QString decodeLine(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

// CR LF, LF and a lone CR each end a line, the last line included, as they do wherever the
// program reads text. Line ends never fall inside a UTF-8 sequence, so each line decodes alone
// as it would within the whole file; U+FEFF is dropped only as the file's opening mark (taken
// off below) and stays part of any line that begins with it.
std::vector<Line> splitLines(const QByteArray &data)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    if (data.startsWith("\xEF\xBB\xBF"))
        start = 3;
    const qsizetype size = data.size();
    while (start < size) {
        Line line;
        line.start = start;
        qsizetype textEnd = start;
        while (textEnd < size && data[textEnd] != '\n' && data[textEnd] != '\r')
            ++textEnd;
        line.textLength = textEnd - start;
        line.end = textEnd;
        if (line.end < size) {
            const bool carriageReturn = data[line.end] == '\r';
            ++line.end;
            if (carriageReturn && line.end < size && data[line.end] == '\n')
                ++line.end;
        }
        ParsedLine parsed =
            parseLine(decodeLine(QByteArrayView(data).sliced(start, line.textLength)));
        line.kind = parsed.kind;
        line.name = std::move(parsed.name);
        line.value = std::move(parsed.value);
        start = line.end;
        lines.push_back(std::move(line));
    }
    return lines;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Location
{
    qsizetype entry = -1;       // line of the first matching entry
    qsizetype lastInFirst = -1; // last entry line of the first matching section, else its header
};

Location locate(const std::vector<Line> &lines, const QString &section, const QString &key)
{
    Location location;
    bool inSection = false;
    bool firstSectionSeen = false;
    bool inFirstSection = false;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i) {
        const Line &line = lines[static_cast<size_t>(i)];
        if (line.kind == LineKind::Section) {
            inSection = sameName(line.name, section);
            inFirstSection = inSection && !firstSectionSeen;
            if (inFirstSection) {
                firstSectionSeen = true;
                location.lastInFirst = i;
            }
            continue;
        }
        if (!inSection || line.kind != LineKind::Entry)
            continue;
        if (inFirstSection)
            location.lastInFirst = i;
        if (location.entry < 0 && sameName(line.name, key))
            location.entry = i;
    }
    return location;
}

enum class ReadResult { Ok, Missing, Failed };

// Only a regular file is read: a folder, a pipe or a device is no settings file (a pipe would
// block, a device never end).
ReadResult readAll(const QString &path, QByteArray &data)
{
    FileDescriptor file;
    const RegularFileOpening opening = OpenRegularFile(path, file);
    if (!opening.succeeded()) {
        const bool missing = opening.errorNumber == ENOENT || opening.errorNumber == ENOTDIR;
        return missing ? ReadResult::Missing : ReadResult::Failed;
    }
    constexpr qsizetype noLimit = std::numeric_limits<qsizetype>::max() / 2;
    return ReadWholeFileAt(file.get(), opening.size, noLimit, data) ? ReadResult::Ok
                                                                    : ReadResult::Failed;
}

bool hasLineBreak(const QString &text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

namespace ProfileFile {

std::optional<QString> Read(const QString &path, const QString &section, const QString &key)
{
    QByteArray data;
    if (path.isEmpty() || readAll(path, data) != ReadResult::Ok)
        return std::nullopt;
    const std::vector<Line> lines = splitLines(data);
    const Location location = locate(lines, section, key);
    if (location.entry < 0)
        return std::nullopt;
    return lines[static_cast<size_t>(location.entry)].value;
}

bool Write(const QString &path, const QString &section, const QString &key, const QString &value)
{
    // The entry must read back as written: a line break or an "=" in the key would split it.
    if (path.isEmpty() || hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
        key.contains(u'=') || !QStringView(section).isValidUtf16() ||
        !QStringView(key).isValidUtf16() || !QStringView(value).isValidUtf16())
        return false;
    const QString entryText = key + u'=' + value;
    const ParsedLine check = parseLine(entryText);
    if (check.kind != LineKind::Entry)
        return false;

    // Another running instance may write another entry at the same time: the read and the
    // replacement go under one lock, so neither write is lost.
    const WriteLock lock(path);

    QByteArray data;
    if (readAll(path, data) == ReadResult::Failed)
        return false;

    const std::vector<Line> lines = splitLines(data);
    QByteArray lineEnd = "\n";
    if (!lines.empty()) {
        const Line &first = lines.front();
        if (first.end - first.start - first.textLength == 2)
            lineEnd = "\r\n";
    }
    const QByteArray entry = entryText.toUtf8();
    const Location location = locate(lines, section, key);

    if (location.entry >= 0) {
        const Line &line = lines[static_cast<size_t>(location.entry)];
        data.replace(line.start, line.textLength, entry);
    } else if (location.lastInFirst >= 0) {
        const Line &after = lines[static_cast<size_t>(location.lastInFirst)];
        if (after.end == after.start + after.textLength) // the last line, without a line end
            data.insert(after.end, lineEnd + entry + lineEnd);
        else
            data.insert(after.end, entry + lineEnd);
    } else {
        if (!data.isEmpty() && !data.endsWith('\n') && !data.endsWith('\r'))
            data.append(lineEnd);
        data.append('[' + section.toUtf8() + ']' + lineEnd + entry + lineEnd);
    }

    return WriteFileSafely(path, {data}).succeeded();
}

} // namespace ProfileFile
