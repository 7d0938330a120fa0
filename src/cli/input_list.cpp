#include "cli/input_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>

#include "io/text_file.h"
#include "platform/descriptor_io.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

namespace {

QByteArray joined(const QByteArray &folder, const char *name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

void reportError(const std::function<void(const QString &)> &report, const QByteArray &path,
                 int errorNumber)
{
    report(OpenErrorFor(NameText(path), errorNumber).message());
}

class FolderWalk
{
public:
    FolderWalk(const NameFilter &filter, const std::function<void(const QString &)> &report)
        : m_filter(filter), m_report(report)
    {}

    void walk(const QByteArray &folder)
    {
        DIR *dir = ::opendir(folder.constData());
        if (!dir) {
            reportError(m_report, folder, errno);
            return;
        }
        std::vector<QByteArray> subfolders;
        for (;;) {
            errno = 0;
            const dirent *entry = ::readdir(dir);
            if (!entry) {
                if (errno != 0)
                    reportError(m_report, folder, errno);
                break;
            }
            const char *name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            const QByteArray path = joined(folder, name);
            switch (typeOf(entry->d_type, path)) {
            case Kind::Folder:
                subfolders.push_back(path);
                break;
            case Kind::File:
                if (m_filter.accepts(QByteArray(name)))
                    files.append(NameText(path));
                break;
            case Kind::Other:
                break;
            }
        }
        ::closedir(dir);
        for (const QByteArray &sub : subfolders)
            walk(sub);
    }

    QStringList files;

private:
    enum class Kind { Folder, File, Other };

    Kind typeOf(unsigned char type, const QByteArray &path)
    {
        if (type == DT_DIR)
            return Kind::Folder;
        if (type == DT_REG)
            return Kind::File;
        struct stat status = {};
        if (type == DT_UNKNOWN) {
            if (::lstat(path.constData(), &status) != 0) {
                reportError(m_report, path, errno);
                return Kind::Other;
            }
            if (S_ISDIR(status.st_mode))
                return Kind::Folder;
            if (S_ISREG(status.st_mode))
                return Kind::File;
            if (!S_ISLNK(status.st_mode))
                return Kind::Other;
        } else if (type != DT_LNK) {
            return Kind::Other;
        }
        // A symbolic link: a file it leads to is read, a folder is not entered (no loops), and a
        // link to nothing is no file. A link that cannot be followed (a loop) is reported.
        if (::stat(path.constData(), &status) != 0) {
            if (errno != ENOENT)
                reportError(m_report, path, errno);
            return Kind::Other;
        }
        return S_ISREG(status.st_mode) ? Kind::File : Kind::Other;
    }

    const NameFilter &m_filter;
    const std::function<void(const QString &)> &m_report;
};

} // namespace

QString NameText(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QString text;
    qsizetype i = 0;
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.data());
    while (i < bytes.size()) {
        // The longest valid stretch from i, then one escaped byte.
        qsizetype end = i;
        while (end < bytes.size()) {
            const unsigned char c = b[end];
            const int length = c < 0x80         ? 1
                               : (c >> 5) == 6  ? 2
                               : (c >> 4) == 14 ? 3
                               : (c >> 3) == 30 ? 4
                                                : 0;
            if (length == 0 || end + length > bytes.size() ||
                !bytes.sliced(end, length).isValidUtf8())
                break;
            end += length;
        }
        text += QString::fromUtf8(bytes.sliced(i, end - i));
        if (end < bytes.size())
            text += QChar(static_cast<char16_t>(0xdc00 + b[end++]));
        i = end;
    }
    return text;
}

QByteArray NativeName(QStringView name)
{
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype from = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool escaped = c >= 0xdc80 && c <= 0xdcff &&
                             (i == 0 || !QChar::isHighSurrogate(name[i - 1].unicode()));
        if (!escaped)
            continue;
        bytes += name.sliced(from, i - from).toUtf8();
        bytes += static_cast<char>(c - 0xdc00);
        from = i + 1;
    }
    bytes += name.sliced(from).toUtf8();
    return bytes;
}

NameFilter::NameFilter(const QStringList &globs)
{
    for (const QString &glob : globs) {
        if (glob.startsWith(u'!'))
            m_exclude.push_back(NativeName(glob.mid(1)));
        else
            m_include.push_back(NativeName(glob));
    }
}

bool NameFilter::accepts(const QByteArray &fileName) const
{
    const auto matches = [&fileName](const QByteArray &pattern) {
        return ::fnmatch(pattern.constData(), fileName.constData(), 0) == 0;
    };
    if (!m_include.empty() && std::none_of(m_include.begin(), m_include.end(), matches))
        return false;
    return std::none_of(m_exclude.begin(), m_exclude.end(), matches);
}

QStringList FilesBelow(const QString &folder, const NameFilter &filter,
                       const std::function<void(const QString &)> &report)
{
    FolderWalk walk(filter, report);
    walk.walk(NativeName(folder));
    // QString compares UTF-16 code units.
    std::sort(walk.files.begin(), walk.files.end());
    return walk.files;
}

std::vector<CliInput> ExpandInputs(const QStringList &arguments, const NameFilter &filter,
                                   const std::function<void(const QString &)> &report)
{
    std::vector<CliInput> inputs;
    for (const QString &argument : arguments) {
        if (argument == u"-") {
            inputs.push_back({argument, true});
            continue;
        }
        struct stat status = {};
        const QByteArray native = NativeName(argument);
        if (PathRefusal(argument) == 0 && ::stat(native.constData(), &status) == 0 &&
            S_ISDIR(status.st_mode)) {
            for (const QString &file : FilesBelow(argument, filter, report))
                inputs.push_back({file, false});
        } else {
            inputs.push_back({argument, false});
        }
    }
    return inputs;
}

QStringList SplitPathList(const QByteArray &bytes, bool nulSeparated)
{
    QStringList paths;
    const char separator = nulSeparated ? '\0' : '\n';
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf(separator, from);
        if (end < 0)
            end = bytes.size();
        QByteArrayView name = QByteArrayView(bytes).sliced(from, end - from);
        if (!nulSeparated && name.endsWith('\r'))
            name.chop(1);
        if (!name.isEmpty())
            paths << NameText(name.toByteArray());
        from = end + 1;
    }
    return paths;
}
