#include "platform/standard_descriptors.h"

#include <cerrno>

#include "platform/descriptor_io.h"

#include <fcntl.h>
#include <unistd.h>

void OpenStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one, since those below it are open.
        const int opened =
            RetryInterrupted([fd] { return ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY); });
        if (opened != fd) {
            if (opened < 0 || ::dup2(opened, fd) != fd)
                ::_exit(127);
            ::close(opened);
        }
    }
}
