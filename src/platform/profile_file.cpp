#include "platform/profile_file.h"

#include <cerrno>
#include <optional>

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>

#include "platform/descriptor_io.h"
#include "platform/file_descriptor.h"
#include "platform/safe_write.h"
#include "platform/write_lock.h"

#include <unistd.h>

namespace {

// A settings file is a few hundred bytes; past this it is no settings file of ours, and is
// treated as one that cannot be read rather than held in memory.
constexpr qint64 largestFile = 16 * 1024 * 1024;
constexpr qsizetype readPiece = 64 * 1024;

enum class LineKind { Other, Section, Entry };

// Line ends and "[", "]" and "=" are ASCII and never fall inside a UTF-8 sequence, so a line is
// classified on its bytes and only the names compared are decoded.
LineKind kindOf(QByteArrayView text)
{
    if (text.size() >= 2 && text.startsWith('[') && text.endsWith(']'))
        return LineKind::Section;
    return text.contains('=') ? LineKind::Entry : LineKind::Other;
}

// Inside the file EF BB BF is the character U+FEFF and belongs to the line, however many stand
// at its start: the decoder is told not to take them for a byte-order mark.
QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

bool sameName(QByteArrayView bytes, const QString &name)
{
    return decode(bytes).compare(name, Qt::CaseInsensitive) == 0;
}

QByteArrayView sectionName(QByteArrayView text)
{
    return text.sliced(1, text.size() - 2);
}

QByteArrayView entryKey(QByteArrayView text)
{
    return text.first(text.indexOf('='));
}

struct Line
{
    qsizetype start = 0;      // first byte of the line's text
    qsizetype textLength = 0; // without its line end
    qsizetype end = 0;        // one past its line end
};

// Calls visit(text, line) for each line of `data` in turn; CR LF, LF and a lone CR each end a
// line, the last line included. Unless `last`, a line whose end may still be coming is left
// for the next call. Returns how many bytes were taken, or -1 when visit asked to stop.
template <typename Visit> qsizetype forEachLine(QByteArrayView data, bool last, Visit &&visit)
{
    const qsizetype size = data.size();
    qsizetype start = 0;
    while (start < size) {
        qsizetype textEnd = start;
        while (textEnd < size && data[textEnd] != '\n' && data[textEnd] != '\r')
            ++textEnd;
        if (textEnd == size && !last)
            break;
        qsizetype end = textEnd;
        if (end < size) {
            const bool carriageReturn = data[end] == '\r';
            ++end;
            if (carriageReturn && end == size && !last)
                break;
            if (carriageReturn && end < size && data[end] == '\n')
                ++end;
        }
        const QByteArrayView text = data.sliced(start, textEnd - start);
        if (!visit(text, Line{start, textEnd - start, end}))
            return -1;
        start = end;
    }
    return start;
}

// The first entry `key` of a section `section`, and where the first such section ends.
class Locator
{
public:
    Locator(const QString &section, const QString &key) : m_section(section), m_key(key) {}

    // False once the entry is found.
    bool visit(QByteArrayView text, const Line &line)
    {
        switch (kindOf(text)) {
        case LineKind::Section:
            m_inSection = sameName(sectionName(text), m_section);
            m_inFirstSection = m_inSection && !m_firstSectionSeen;
            if (m_inFirstSection) {
                m_firstSectionSeen = true;
                lastInFirst = line;
            }
            return true;
        case LineKind::Entry:
            if (!m_inSection)
                return true;
            if (m_inFirstSection)
                lastInFirst = line;
            if (sameName(entryKey(text), m_key)) {
                entry = line;
                value = decode(text.sliced(entryKey(text).size() + 1));
                return false;
            }
            return true;
        case LineKind::Other:
            return true;
        }
        return true;
    }

    std::optional<Line> entry;
    QString value;
    std::optional<Line> lastInFirst; // last entry line of the first section, else its header

private:
    QString m_section;
    QString m_key;
    bool m_inSection = false;
    bool m_firstSectionSeen = false;
    bool m_inFirstSection = false;
};

enum class ReadResult { Ok, Missing, Failed };

// Only a regular file no larger than largestFile is read: a folder, a pipe or a device is no
// settings file (a pipe would block, a device never end).
ReadResult openSettings(const QString &path, FileDescriptor &file)
{
    const RegularFileOpening opening = OpenRegularFile(path, file);
    if (!opening.succeeded()) {
        const bool missing = opening.errorNumber == ENOENT || opening.errorNumber == ENOTDIR;
        return missing ? ReadResult::Missing : ReadResult::Failed;
    }
    return opening.size > largestFile ? ReadResult::Failed : ReadResult::Ok;
}

// Up to `size` bytes; fewer only at the end of the file.
qsizetype readSome(int fd, char *data, qsizetype size)
{
    qsizetype got = 0;
    while (got < size) {
        const ssize_t read =
            RetryInterrupted([&] { return ::read(fd, data + got, size_t(size - got)); });
        if (read < 0)
            return -1;
        if (read == 0)
            break;
        got += read;
    }
    return got;
}

ReadResult readAll(const QString &path, QByteArray &data)
{
    FileDescriptor file;
    const ReadResult opened = openSettings(path, file);
    if (opened != ReadResult::Ok)
        return opened;
    // A file that grows past the limit while it is read is refused as well.
    return ReadWholeFileAt(file.get(), 0, largestFile + 1, data) ? ReadResult::Ok
                                                                 : ReadResult::Failed;
}

qsizetype markLength(QByteArrayView data)
{
    return data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

bool hasLineBreak(const QString &text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

namespace ProfileFile {

std::optional<QString> Read(const QString &path, const QString &section, const QString &key)
{
    FileDescriptor file;
    if (path.isEmpty() || openSettings(path, file) != ReadResult::Ok)
        return std::nullopt;
    // Read a piece at a time: memory stays at one piece and the longest line.
    Locator locator(section, key);
    QByteArray pending;
    qint64 total = 0;
    bool first = true;
    for (;;) {
        const qsizetype old = pending.size();
        pending.resize(old + readPiece);
        const qsizetype got = readSome(file.get(), pending.data() + old, readPiece);
        if (got < 0)
            return std::nullopt;
        pending.truncate(old + got);
        total += got;
        if (total > largestFile)
            return std::nullopt;
        const bool last = got < readPiece;
        qsizetype skipped = 0;
        if (first) {
            skipped = markLength(pending);
            first = false;
        }
        const qsizetype taken = forEachLine(QByteArrayView(pending).sliced(skipped), last,
                                            [&locator](QByteArrayView text, const Line &line) {
                                                return locator.visit(text, line);
                                            });
        if (taken < 0)
            return locator.value;
        if (last)
            return std::nullopt;
        pending.remove(0, skipped + taken);
    }
}

bool Write(const QString &path, const QString &section, const QString &key, const QString &value)
{
    // The entry must read back as written: a line break or an "=" in the key would split it.
    if (path.isEmpty() || hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
        key.contains(u'=') || !QStringView(section).isValidUtf16() ||
        !QStringView(key).isValidUtf16() || !QStringView(value).isValidUtf16())
        return false;
    const QString entryText = key + u'=' + value;
    // A key that opens and closes with brackets would read back as a section.
    if (kindOf(entryText.toUtf8()) != LineKind::Entry)
        return false;

    // Another running instance may write another entry at the same time: the read and the
    // replacement go under one lock, so neither write is lost.
    const WriteLock lock(path);

    QByteArray data;
    if (readAll(path, data) == ReadResult::Failed)
        return false;

    const qsizetype mark = markLength(data);
    const QByteArrayView text = QByteArrayView(data).sliced(mark);
    QByteArray lineEnd = "\n";
    forEachLine(text, true, [&lineEnd](QByteArrayView, const Line &line) {
        if (line.end - line.start - line.textLength == 2)
            lineEnd = "\r\n";
        return false;
    });
    Locator locator(section, key);
    forEachLine(text, true, [&locator](QByteArrayView lineText, const Line &line) {
        return locator.visit(lineText, line);
    });
    const QByteArray entry = entryText.toUtf8();

    if (locator.entry) {
        data.replace(mark + locator.entry->start, locator.entry->textLength, entry);
    } else if (locator.lastInFirst) {
        const Line &after = *locator.lastInFirst;
        if (after.end == after.start + after.textLength) // the last line, without a line end
            data.insert(mark + after.end, lineEnd + entry + lineEnd);
        else
            data.insert(mark + after.end, entry + lineEnd);
    } else {
        if (!data.isEmpty() && !data.endsWith('\n') && !data.endsWith('\r'))
            data.append(lineEnd);
        data.append('[' + section.toUtf8() + ']' + lineEnd + entry + lineEnd);
    }

    return WriteFileSafely(path, {data}).succeeded();
}

} // namespace ProfileFile
