#pragma once

#include <cerrno>
#include <utility>

#include <unistd.h>

// Owns one open file descriptor and closes it when it goes.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() { close(); }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd)
    {
        close();
        m_fd = fd;
    }
    // False when the system reports that earlier writes failed.
    bool close()
    {
        if (m_fd < 0)
            return true;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 || errno == EINTR;
    }

private:
    int m_fd;
};
