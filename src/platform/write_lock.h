#pragma once

#include <QByteArray>
#include <QString>

#include "platform/file_descriptor.h"

// An exclusive lock for a read-modify-write of `path` by several processes, held on
// "<path>.lock". The kernel drops it when its holder dies, so a lock file left by a killed
// process delays nobody; the holder removes the lock file when it lets go. Gives up waiting for
// a live holder after `waitMilliseconds` and goes on unlocked, as it does where no lock file can
// be made.
class WriteLock
{
public:
    explicit WriteLock(const QString &path, int waitMilliseconds = 2000);
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;
    ~WriteLock();

    bool isHeld() const { return m_file.isOpen(); }

private:
    QByteArray m_lockName;
    FileDescriptor m_file;
    bool m_ownsName = false;
};
