#include "settings/settings_file.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "errors/app_error.h"
#include "platform/descriptor_io.h"
#include "platform/executable_info.h"
#include "platform/profile_file.h"
#include "platform/safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype maxValueLength = 2047;

int hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

constexpr mode_t anyWrite = S_IWUSR | S_IWGRP | S_IWOTH;
// A settings file is a few hundred bytes; a larger file beside the executable is not copied.
constexpr qint64 maxCopiedSize = 1 << 20;

bool mayWrite(const QByteArray &native, const struct stat &status)
{
    // The mode bits count for root too, as they do when the file is written.
    return (status.st_mode & anyWrite) != 0 &&
           ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) == 0;
}

// The file beside the executable can hold the settings: an existing regular file (links
// followed) that may be written, in place if need be, or no file in a folder that takes new
// ones. A missing folder keeps the path, so the write error names it.
bool usableBesideExecutable(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status = {};
    if (::stat(native.constData(), &status) == 0)
        return S_ISREG(status.st_mode) && mayWrite(native, status);
    if (errno != ENOENT)
        return false;
    // A link to a missing file: the write creates the file at the end of the chain.
    QString end = path;
    for (int hop = 0; hop < 40 && QFileInfo(end).isSymLink(); ++hop)
        end = QFileInfo(end).symLinkTarget();
    const QByteArray folder = QFile::encodeName(QFileInfo(end).absolutePath());
    struct stat folderStatus = {};
    if (::stat(folder.constData(), &folderStatus) != 0)
        return errno == ENOENT;
    return S_ISDIR(folderStatus.st_mode) && (folderStatus.st_mode & anyWrite) != 0 &&
           ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

// The content of a regular file, or nothing; a pipe or a device in its place is never read.
std::optional<QByteArray> readRegularFile(const QString &path)
{
    FileDescriptor file;
    const RegularFileOpening opening = OpenRegularFile(path, file);
    QByteArray content;
    if (!opening.succeeded() || opening.size > maxCopiedSize ||
        !ReadWholeFileAt(file.get(), opening.size, maxCopiedSize + 1, content))
        return std::nullopt;
    return content;
}

// The first use of the user's file makes its folder and starts from the settings beside the
// executable. A failure
// here is left for the first write to report, with the user's path in its message.
void startUserSettings(const QString &userPath, const QString &besidePath)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(userPath).constData(), &status) == 0 || errno != ENOENT)
        return;
    if (!QDir().mkpath(QFileInfo(userPath).absolutePath()))
        return;
    const std::optional<QByteArray> content = readRegularFile(besidePath);
    if (content)
        WriteFileSafely(userPath, {*content});
}

QString resolvedPath(const QString &path)
{
    return path.isEmpty() ? SettingsFile::SettingsPath() : path;
}

} // namespace

namespace SettingsFile {

QString SettingsPath()
{
    const QString beside = ExecutableSettingsPath();
    if (beside.isEmpty() || usableBesideExecutable(beside))
        return beside;
    const QString user = UserSettingsPath();
    if (user.isEmpty())
        return beside; // no home: the write error names the file beside the executable
    startUserSettings(user, beside);
    return user;
}

QString UserSettingsPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder.isEmpty() ? folder : folder + u"/extracteur/extracteur.INI"_s;
}

QString ExecutableSettingsPath()
{
    if (executableFacts().filePath.isEmpty())
        return {};
    return ExecutablePathWithoutExtension() + u".INI"_s;
}

QString ReadText(const QString &section, const QString &key, const QString &defaultText,
                 const QString &path)
{
    std::optional<QString> value = ProfileFile::Read(resolvedPath(path), section, key);
    if (!value)
        return defaultText;
    if (value->size() > maxValueLength) {
        qsizetype length = maxValueLength;
        // Never leave half of a surrogate pair at the cut.
        if (value->at(length - 1).isHighSurrogate())
            --length;
        value->truncate(length);
    }
    return *value;
}

void WriteText(const QString &section, const QString &key, const QString &value,
               const QString &path)
{
    const QString target = resolvedPath(path);
    if (!ProfileFile::Write(target, section, key, value)) {
        const QString shown = target.isEmpty() ? target : QFileInfo(target).absoluteFilePath();
        throw SettingsWriteError(u"Impossible d'écrire dans %1"_s.arg(shown));
    }
}

bool ReadFlag(const QString &section, const QString &key, bool defaultFlag, const QString &path)
{
    const std::optional<qint32> number = ParseIntegerText(ReadText(section, key, {}, path));
    return number ? *number != 0 : defaultFlag;
}

void WriteFlag(const QString &section, const QString &key, bool flag, const QString &path)
{
    WriteText(section, key, flag ? u"1"_s : u"0"_s, path);
}

} // namespace SettingsFile

std::optional<qint32> ParseIntegerText(QStringView text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < size && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    bool hex = false;
    if (i < size && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < size && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= size)
        return std::nullopt;

    if (hex) {
        quint32 bits = 0;
        int significant = 0;
        for (; i < size; ++i) {
            const int digit = hexDigitValue(text[i].unicode());
            if (digit < 0)
                return std::nullopt;
            if (significant > 0 || digit != 0)
                ++significant;
            if (significant > 8)
                return std::nullopt;
            bits = (bits << 4) | static_cast<quint32>(digit);
        }
        // Unsigned arithmetic wraps, so negating $80000000 gives itself without overflow.
        if (negative)
            bits = 0u - bits;
        return static_cast<qint32>(bits);
    }

    const qint64 limit = negative ? 2147483648LL : 2147483647LL;
    qint64 magnitude = 0;
    for (; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<qint32>(negative ? -magnitude : magnitude);
}

qint32 StrToInt(QStringView text)
{
    const std::optional<qint32> number = ParseIntegerText(text);
    if (!number)
        throw ConversionError(u"''%1'' n'est pas une valeur entière valide"_s.arg(text));
    return *number;
}

QStringList SplitText(QStringView text, QStringView separator)
{
    QStringList parts;
    if (separator.isEmpty()) {
        // An empty separator occurs everywhere; the text stays whole.
        if (!text.isEmpty())
            parts.append(text.toString());
        return parts;
    }
    qsizetype found = text.indexOf(separator);
    while (found >= 0) {
        parts.append(text.left(found).toString());
        text = text.sliced(found + separator.size());
        found = text.indexOf(separator);
    }
    if (!text.isEmpty())
        parts.append(text.toString());
    return parts;
}
