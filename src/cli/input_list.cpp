#include "cli/input_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>

#include "io/text_file.h"

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
    report(OpenErrorFor(QFile::decodeName(path), errorNumber).message());
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
                    files.append(QFile::decodeName(path));
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

NameFilter::NameFilter(const QStringList &globs)
{
    for (const QString &glob : globs) {
        if (glob.startsWith(u'!'))
            m_exclude.push_back(QFile::encodeName(glob.mid(1)));
        else
            m_include.push_back(QFile::encodeName(glob));
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
    walk.walk(QFile::encodeName(folder));
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
        const QByteArray native = QFile::encodeName(argument);
        if (!argument.contains(QChar(0)) && ::stat(native.constData(), &status) == 0 &&
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
            paths << QFile::decodeName(name.toByteArray());
        from = end + 1;
    }
    return paths;
}
