#include "platform/safe_write.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "platform/descriptor_io.h"
#include "platform/file_descriptor.h"
#include "platform/system_error_text.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Linux follows at most 40 links in one path; a longer chain is a loop.
constexpr int maxLinkHops = 40;

WriteOutcome failed(WriteFailure failure, int errorNumber, WriteMode mode)
{
    return {failure, mode, errorNumber, SystemErrorText(errorNumber)};
}

struct Target
{
    QByteArray folder; // with its final "/"
    QByteArray name;
    bool exists = false;
    struct stat status = {};
    int errorNumber = 0;

    QByteArray path() const { return folder + name; }
};

void splitPath(const QByteArray &path, Target &target)
{
    const qsizetype slash = path.lastIndexOf('/');
    target.folder = path.left(slash + 1);
    target.name = path.mid(slash + 1);
}

// Follows the whole chain of symbolic links: the file at its end is the one to replace or, when
// it is missing, to create. The links themselves stay as they are.
Target resolveTarget(const QString &path)
{
    Target target;
    QByteArray current = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    for (int hops = 0;; ++hops) {
        splitPath(current, target);
        if (::lstat(current.constData(), &target.status) != 0) {
            if (errno != ENOENT)
                target.errorNumber = errno;
            return target;
        }
        if (!S_ISLNK(target.status.st_mode)) {
            target.exists = true;
            return target;
        }
        if (hops == maxLinkHops) {
            target.errorNumber = ELOOP;
            return target;
        }
        QByteArray link(qsizetype(target.status.st_size > 0 ? target.status.st_size : 255) + 1,
                        Qt::Uninitialized);
        const ssize_t length = ::readlink(current.constData(), link.data(), size_t(link.size()));
        if (length < 0 || length >= link.size()) {
            target.errorNumber = length < 0 ? errno : ENAMETOOLONG;
            return target;
        }
        link.truncate(length);
        current = link.startsWith('/') ? link : target.folder + link;
    }
}

QString notRegularReason(mode_t mode)
{
    if (S_ISFIFO(mode))
        return u"Le chemin désigne un tube nommé, pas un fichier ordinaire"_s;
    if (S_ISSOCK(mode))
        return u"Le chemin désigne un socket, pas un fichier ordinaire"_s;
    return u"Le chemin désigne un périphérique, pas un fichier ordinaire"_s;
}

// The same rule whoever runs the program: a file that grants writing to nobody is read-only,
// even for the superuser, who would otherwise replace it silently.
int refusalOfExisting(const Target &target)
{
    if (S_ISDIR(target.status.st_mode))
        return EISDIR;
    if ((target.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    if (::faccessat(AT_FDCWD, target.path().constData(), W_OK, AT_EACCESS) != 0)
        return errno;
    return 0;
}

bool synchronise(int fd)
{
    return RetryInterrupted([fd] { return ::fsync(fd); }) == 0;
}

// Temporaries are named ".<target name>.tmp-<process id>-<random>", so that a later save of the
// same target recognises them and knows which process made them.
QByteArray temporaryPrefix(const QByteArray &name)
{
    // Stay within the 255-byte limit of a file name.
    return '.' + name.left(200) + ".tmp-";
}

QByteArray newTemporaryName(const QByteArray &name)
{
    return temporaryPrefix(name) + QByteArray::number(::getpid()) + '-' +
           QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The process id of a name of exactly the form newTemporaryName makes: a decimal id without
// leading zeros, "-", then 1 to 13 base-36 digits in lower case. Nothing for any other name, which
// may be the user's own file.
std::optional<pid_t> temporaryOwner(const QByteArray &temporaryName, const QByteArray &prefix)
{
    if (!temporaryName.startsWith(prefix))
        return std::nullopt;
    const QByteArray rest = temporaryName.mid(prefix.size());
    const qsizetype dash = rest.indexOf('-');
    if (dash < 1 || rest[0] == '0')
        return std::nullopt;
    qint64 pid = 0;
    for (qsizetype i = 0; i < dash; ++i) {
        if (!isDigit(rest[i]))
            return std::nullopt;
        pid = pid * 10 + (rest[i] - '0');
        if (pid > std::numeric_limits<pid_t>::max())
            return std::nullopt;
    }
    const qsizetype randomLength = rest.size() - dash - 1;
    if (randomLength < 1 || randomLength > 13)
        return std::nullopt;
    for (qsizetype i = dash + 1; i < rest.size(); ++i) {
        if (!isDigit(rest[i]) && !(rest[i] >= 'a' && rest[i] <= 'z'))
            return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

bool processIsGone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// A writer holds a lock on its temporary for as long as it lives, so a temporary that can be
// locked, and whose process is gone, was left by a save that died.
void removeStaleTemporaries(int folderFd, const QByteArray &name)
{
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    DIR *folder = ::fdopendir(listFd);
    if (!folder) {
        ::close(listFd);
        return;
    }
    const QByteArray prefix = temporaryPrefix(name);
    while (const dirent *entry = ::readdir(folder)) {
        const std::optional<pid_t> owner = temporaryOwner(QByteArray(entry->d_name), prefix);
        if (!owner || !processIsGone(*owner))
            continue;
        FileDescriptor file(::openat(folderFd, entry->d_name,
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat status = {};
        if (!file.isOpen() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Remove the file that was locked, not one that took its name meanwhile.
        struct stat named = {};
        if (::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == status.st_dev && named.st_ino == status.st_ino)
            ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(folder);
}

// The names of a file's extended attributes, each ended by a zero byte; errno on failure.
template <typename List> bool attributeNames(List list, QByteArray &names)
{
    for (;;) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0)
            return false;
        names.resize(size);
        const ssize_t got = list(names.data(), size_t(size));
        if (got >= 0) {
            names.truncate(got);
            return true;
        }
        if (errno != ERANGE) // grown meanwhile: ask again
            return false;
    }
}

std::vector<QByteArray> splitNames(const QByteArray &names)
{
    std::vector<QByteArray> split;
    for (const QByteArray &name : names.split('\0')) {
        if (!name.isEmpty())
            split.push_back(name);
    }
    return split;
}

bool attributeValue(const QByteArray &path, const QByteArray &name, QByteArray &value)
{
    for (;;) {
        const ssize_t size = ::lgetxattr(path.constData(), name.constData(), nullptr, 0);
        if (size < 0)
            return false;
        value.resize(size);
        const ssize_t got =
            ::lgetxattr(path.constData(), name.constData(), value.data(), size_t(size));
        if (got >= 0) {
            value.truncate(got);
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
}

// The security module labels a new file itself and may refuse another label: that attribute
// is carried where allowed. Every other one must arrive, or the replacement would grant or deny
// access the old file did not.
bool mayStayBehind(const QByteArray &name, int errorNumber)
{
    return name.startsWith("security.") && errorNumber == EPERM;
}

// Gives the new file exactly the extended attributes of the old one, POSIX ACLs included; an
// ACL the new file inherited from its folder goes when the old file had none. Returns 0 or the
// error that kept one attribute from being carried.
int carryAttributes(const QByteArray &oldPath, int newFd)
{
    QByteArray names;
    if (!attributeNames(
            [&oldPath](char *list, size_t size) {
                return ::llistxattr(oldPath.constData(), list, size);
            },
            names))
        return errno == ENOTSUP || errno == ENOSYS ? 0 : errno;
    const std::vector<QByteArray> oldNames = splitNames(names);
    for (const QByteArray &name : oldNames) {
        QByteArray value;
        if (!attributeValue(oldPath, name, value)) {
            if (errno == ENODATA) // removed meanwhile
                continue;
            return errno;
        }
        if (::fsetxattr(newFd, name.constData(), value.constData(), size_t(value.size()), 0) != 0 &&
            !mayStayBehind(name, errno))
            return errno;
    }

    QByteArray newNames;
    if (!attributeNames(
            [newFd](char *list, size_t size) { return ::flistxattr(newFd, list, size); }, newNames))
        return 0;
    for (const QByteArray &name : splitNames(newNames)) {
        if (name.startsWith("security.") ||
            std::find(oldNames.begin(), oldNames.end(), name) != oldNames.end())
            continue;
        if (::fremovexattr(newFd, name.constData()) != 0 && errno != ENODATA)
            return errno;
    }
    return 0;
}

// Errors of a new file in the folder that leave writing the target itself as the only way.
bool folderRefusesNewFiles(int errorNumber)
{
    return errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS;
}

class Temporary
{
public:
    Temporary(int folderFd, const QByteArray &targetName)
        : m_folderFd(folderFd), m_targetName(targetName)
    {}
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;
    ~Temporary() { discard(); }

    // Opens a new empty file with the permissions of a newly created file; errno on failure.
    bool open()
    {
        // An unnamed file disappears by itself if the process dies before it is complete. It
        // gets its name through /proc, or directly where the process may do so.
        if (::access("/proc/self/fd", X_OK) == 0 || ::geteuid() == 0)
            m_fd.reset(RetryInterrupted([this] {
                return ::openat(m_folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            }));
        else
            errno = EOPNOTSUPP;
        if (!m_fd.isOpen()) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
                return false;
            if (!openNamed())
                return false;
        }
        // Held until the file is closed: tells other savers that this temporary is alive.
        ::flock(m_fd.get(), LOCK_EX);
        return true;
    }

    int fd() const { return m_fd.get(); }

    // Puts the complete file in place of the target; errno on failure.
    bool replace()
    {
        if (m_name.isEmpty() && !giveName())
            return false;
        if (::renameat(m_folderFd, m_name.constData(), m_folderFd, m_targetName.constData()) != 0)
            return false;
        m_name.clear();
        return true;
    }

    bool close() { return m_fd.close(); }

    void discard()
    {
        if (!m_name.isEmpty()) {
            const int error = errno;
            ::unlinkat(m_folderFd, m_name.constData(), 0);
            m_name.clear();
            errno = error;
        }
        m_fd.close();
    }

private:
    bool openNamed()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_name = newTemporaryName(m_targetName);
            m_fd.reset(RetryInterrupted([this] {
                return ::openat(m_folderFd, m_name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            }));
            if (m_fd.isOpen())
                return true;
            if (errno != EEXIST)
                break;
        }
        m_name.clear();
        return false;
    }

    bool giveName()
    {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = newTemporaryName(m_targetName);
            int linked = ::linkat(AT_FDCWD, self.constData(), m_folderFd, name.constData(),
                                  AT_SYMLINK_FOLLOW);
            if (linked != 0 && errno == ENOENT) // no /proc here
                linked = ::linkat(m_fd.get(), "", m_folderFd, name.constData(), AT_EMPTY_PATH);
            if (linked == 0) {
                m_name = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    int m_folderFd;
    QByteArray m_targetName;
    FileDescriptor m_fd;
    QByteArray m_name; // empty while the file has no name
};

// Rewrites the target where it is. Space for the whole new content is reserved first, so that a
// full disk is found before any old byte is overwritten; the old length is cut off last.
WriteOutcome writeInPlace(const Target &target, std::initializer_list<QByteArrayView> pieces)
{
    constexpr WriteMode mode = WriteMode::WriteInPlace;
    FileDescriptor file(RetryInterrupted([&target] {
        return ::open(target.path().constData(),
                      O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }));
    if (!file.isOpen())
        return failed(WriteFailure::Create, errno, mode);
    struct stat status = {};
    if (::fstat(file.get(), &status) != 0)
        return failed(WriteFailure::Create, errno, mode);
    if (!S_ISREG(status.st_mode))
        return {WriteFailure::Create, mode, EINVAL, notRegularReason(status.st_mode)};

    off_t total = 0;
    for (const QByteArrayView piece : pieces)
        total += piece.size();
    if (total > status.st_size &&
        RetryInterrupted([&] { return ::fallocate(file.get(), 0, 0, total); }) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        const int error = errno;
        if (::ftruncate(file.get(), status.st_size) != 0) {
            // The reservation could not be taken back: the old bytes are all there anyway.
        }
        return failed(WriteFailure::Write, error, mode);
    }
    off_t offset = 0;
    for (const QByteArrayView piece : pieces) {
        if (!WriteAll(file.get(), piece, &offset))
            return failed(WriteFailure::Write, errno, mode);
    }
    if (::ftruncate(file.get(), total) != 0 || !synchronise(file.get()))
        return failed(WriteFailure::Write, errno, mode);
    if (!file.close())
        return failed(WriteFailure::Write, errno, mode);
    return {WriteFailure::None, mode, 0, {}};
}

} // namespace

WriteOutcome WriteFileSafely(const QString &path, std::initializer_list<QByteArrayView> pieces)
{
    constexpr WriteMode atomic = WriteMode::ReplaceAtomically;
    if (const int refused = PathRefusal(path))
        return failed(WriteFailure::Create, refused, atomic);

    const Target target = resolveTarget(path);
    if (target.errorNumber != 0)
        return failed(WriteFailure::Create, target.errorNumber, atomic);
    if (target.exists) {
        if (!S_ISREG(target.status.st_mode) && !S_ISDIR(target.status.st_mode))
            return {WriteFailure::Create, atomic, EINVAL, notRegularReason(target.status.st_mode)};
        if (const int refusal = refusalOfExisting(target))
            return failed(WriteFailure::Create, refusal, atomic);
    }

    FileDescriptor folder(RetryInterrupted(
        [&target] { return ::open(target.folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC); }));
    if (!folder.isOpen())
        return failed(WriteFailure::Create, errno, atomic);
    removeStaleTemporaries(folder.get(), target.name);

    Temporary temporary(folder.get(), target.name);
    if (!temporary.open()) {
        const int error = errno;
        if (target.exists && folderRefusesNewFiles(error))
            return writeInPlace(target, pieces);
        return failed(WriteFailure::Create, error, atomic);
    }

    if (target.exists) {
        // Owner first: changing it clears the set-user-ID and set-group-ID bits.
        if (::fchown(temporary.fd(), target.status.st_uid, target.status.st_gid) != 0 &&
            ::fchown(temporary.fd(), uid_t(-1), target.status.st_gid) != 0) {
            // Not allowed: the new file keeps our owner, as any program that saves does.
        }
        if (const int error = carryAttributes(target.path(), temporary.fd()))
            return failed(WriteFailure::Create, error, atomic);
        // Last, so that the set-user-ID bits survive the owner change; with an ACL the group
        // bits are its mask, the same as the old file's.
        ::fchmod(temporary.fd(), target.status.st_mode & 07777);
    }

    for (const QByteArrayView piece : pieces) {
        if (!WriteAll(temporary.fd(), piece))
            return failed(WriteFailure::Write, errno, atomic);
    }
    if (!synchronise(temporary.fd()))
        return failed(WriteFailure::Write, errno, atomic);
    if (!temporary.replace())
        return failed(WriteFailure::Create, errno, atomic);
    if (!temporary.close())
        return failed(WriteFailure::Write, errno, atomic);

    // The rename itself reaches the disk with the folder.
    FileDescriptor folderForSync(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderForSync.isOpen())
        synchronise(folderForSync.get());
    return {WriteFailure::None, atomic, 0, {}};
}
