#pragma once

#include <csignal>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Fixtures for the tests of the write path (header only).

// Limits the size of any file this process writes; with SIGXFSZ ignored, write() then fails
// with EFBIG, as it does on a full disk with ENOSPC. Restored on destruction.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    bool isActive() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
    bool m_active = false;
};

// Makes a folder refuse new files while its files stay writable, also for the superuser
// (whom permission bits do not stop): the immutable attribute. Undone on destruction.
class ClosedFolder
{
public:
    explicit ClosedFolder(const QString &path) : m_path(QFile::encodeName(path))
    {
        if (::geteuid() != 0) {
            m_closed = ::chmod(m_path.constData(), 0555) == 0;
            m_byMode = true;
            return;
        }
        m_closed = setImmutable(true);
    }
    ClosedFolder(const ClosedFolder &) = delete;
    ClosedFolder &operator=(const ClosedFolder &) = delete;
    ~ClosedFolder()
    {
        if (!m_closed)
            return;
        if (m_byMode)
            ::chmod(m_path.constData(), 0755);
        else
            setImmutable(false);
    }
    bool isClosed() const { return m_closed; }

private:
    bool setImmutable(bool on)
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QByteArray m_path;
    bool m_closed = false;
    bool m_byMode = false;
};

// A small memory file system mounted on an empty folder, to run out of room or of file slots
// for real. Needs the right to mount (the superuser here); unmounted on destruction.
class SmallFileSystem
{
public:
    SmallFileSystem(const QString &folder, const QByteArray &options)
        : m_folder(QFile::encodeName(folder))
    {
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

// Every name in a folder, hidden ones included.
inline QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}
