#include "platform/profile_file.h"

#include <cerrno>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::vector<Line> splitLines(const QByteArray &data)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    // A UTF-8 byte-order mark is not part of the first line's text.
    if (data.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start < data.size()) {
        Line line;
        line.start = start;
        const qsizetype lf = data.indexOf('\n', start);
        qsizetype textEnd = lf < 0 ? data.size() : lf;
        line.end = lf < 0 ? data.size() : lf + 1;
        if (lf >= 0 && textEnd > start && data[textEnd - 1] == '\r')
            --textEnd;
        line.textLength = textEnd - start;
        ParsedLine parsed =
            parseLine(QString::fromUtf8(QByteArrayView(data).sliced(start, line.textLength)));
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

ReadResult readAll(const QString &path, QByteArray &data)
{
    const QFileInfo info(path);
    if (!info.exists())
        return ReadResult::Missing;
    // Only a regular file is read: a folder, a pipe or a device is no settings file (a pipe
    // would block, a device never end).
    if (!info.isFile())
        return ReadResult::Failed;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Failed;
    data = file.readAll();
    return file.error() == QFileDevice::NoError ? ReadResult::Ok : ReadResult::Failed;
}

// A rename replaces a file whatever its own mode, and root may write anything: a file nobody
// may write to is refused here so that making the settings file read-only protects it.
bool mayReplace(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status
    {};
    if (::stat(native.constData(), &status) != 0)
        return errno == ENOENT;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    return ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) == 0;
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
    // replacement go under one lock, so neither write is lost. Where no lock can be made (a
    // folder that refuses new files), the write goes on without it.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    lock.tryLock(2000);

    QByteArray data;
    const ReadResult readResult = readAll(path, data);
    if (readResult == ReadResult::Failed || !mayReplace(path))
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
        if (!data.isEmpty() && !data.endsWith('\n'))
            data.append(lineEnd);
        data.append('[' + section.toUtf8() + ']' + lineEnd + entry + lineEnd);
    }

    QSaveFile file(path);
    // A writable settings file in a folder that refuses new files is written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    // commit() syncs the new file to disk before renaming it over the old one.
    return file.commit();
}

} // namespace ProfileFile
