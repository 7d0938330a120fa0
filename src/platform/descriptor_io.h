#pragma once

#include <cerrno>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/file_descriptor.h"

#include <sys/types.h>

// Repeats a system call for as long as a signal interrupts it.
template <typename Call> auto RetryInterrupted(const Call &call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// Writes every byte, at the descriptor's position or, when `offset` is given, from there on
// (advancing it). False with errno set when it stops short; a write that takes nothing without
// an error is a full medium (ENOSPC).
bool WriteAll(int fd, QByteArrayView bytes, off_t *offset = nullptr);

// Reads from `offset` until `want` bytes or the end of the file: the count read, or -1 with
// errno set.
qsizetype ReadAt(int fd, char *into, qsizetype want, qsizetype offset);

// Why the system cannot be handed `path`: ENOENT for an empty path, EINVAL for one holding U+0000
// (which the system would cut short there); 0 when it can.
int PathRefusal(const QString &path);

// How opening a regular file went.
struct RegularFileOpening
{
    int errorNumber = 0;     // the system's reason, when it refused
    bool notRegular = false; // a pipe, a device or a socket
    qsizetype size = 0;      // as the file told when opened; it may still grow or shrink

    bool succeeded() const { return errorNumber == 0 && !notRegular; }
};

// Opens `path` for reading into `file` if it is a regular file. Anything else is refused before
// it is opened, so that opening a device has no effect (a folder with EISDIR); non-blocking, so
// that a named pipe put there meanwhile cannot hang the program; checked again once open. An
// empty path is ENOENT, one holding U+0000 (which the system would cut short) EINVAL.
RegularFileOpening OpenRegularFile(const QString &path, FileDescriptor &file);

// Reads a file from its start to its end, which may lie past `sizeHint` when it has grown,
// into `bytes`. False with errno set when a read fails, or with EFBIG when the file reaches
// `limit` bytes.
bool ReadWholeFileAt(int fd, qsizetype sizeHint, qsizetype limit, QByteArray &bytes);
