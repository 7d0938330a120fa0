#include "platform/write_lock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <QFile>
#include <QFileInfo>

#include "platform/descriptor_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openRetrying(const QByteArray &path, int flags, mode_t mode = 0)
{
    return RetryInterrupted([&] { return ::open(path.constData(), flags, mode); });
}

} // namespace

WriteLock::WriteLock(const QString &path, int waitMilliseconds)
{
    if (PathRefusal(path) != 0)
        return;
    m_lockName = QFile::encodeName(QFileInfo(path).absoluteFilePath()) + ".lock";
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMilliseconds, 0));
    for (;;) {
        FileDescriptor file(
            openRetrying(m_lockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
        if (!file.isOpen()) {
            // No lock file here (a folder that refuses new files): lock the target itself, which
            // is then written in place and keeps its identity.
            file.reset(openRetrying(QFile::encodeName(path),
                                    O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (!file.isOpen())
                return;
            while (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
                if (std::chrono::steady_clock::now() >= deadline)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            m_file.reset(file.release());
            return;
        }
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            // The previous holder may have removed the name before letting go: the lock counts
            // only if it is on the file that still bears the name.
            struct stat held = {};
            struct stat named = {};
            if (::fstat(file.get(), &held) == 0 && ::lstat(m_lockName.constData(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                m_file.reset(file.release());
                m_ownsName = true;
                return;
            }
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

WriteLock::~WriteLock()
{
    // The name goes before the lock, so a waiter never takes a lock on a name about to vanish.
    if (m_file.isOpen() && m_ownsName)
        ::unlink(m_lockName.constData());
}
