#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QFile>
#include <QStringList>

#include "cli/cli_run.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr off_t largeInput = 16 * 1024 * 1024;

// True when an argument names a folder or the named files (or the file on standard input) are
// large. Option values are looked at too; at worst that costs one restart.
bool hasLargeInput(int argc, char *argv[])
{
    off_t total = 0;
    struct stat status = {};
    if (::fstat(STDIN_FILENO, &status) == 0 && S_ISREG(status.st_mode))
        total += status.st_size;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' || ::stat(argv[i], &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode))
            return true;
        if (S_ISREG(status.st_mode))
            total += status.st_size;
    }
    return total >= largeInput;
}

// A large input makes the process touch hundreds of thousands of fresh pages, each a fault that
// costs more than the work done on it. The C library hands its large blocks to the kernel as
// huge pages only when told at start, so the program starts itself once more with that setting.
void restartWithHugePages(int argc, char *argv[])
{
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, "glibc.malloc.hugetlb"))
        return;
    if (!hasLargeInput(argc, argv))
        return;
    std::string setting = tunables && *tunables ? std::string(tunables) + ':' : std::string();
    setting += "glibc.malloc.hugetlb=1";
    if (::setenv("GLIBC_TUNABLES", setting.c_str(), 1) != 0)
        return;
    ::execv("/proc/self/exe", argv);
    // Not possible here: go on as started.
    if (tunables)
        ::setenv("GLIBC_TUNABLES", tunables, 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
}

} // namespace

int main(int argc, char *argv[])
{
    restartWithHugePages(argc, argv);
    // One file's buffers are freed before the next file's are made: keeping the memory in the
    // process lets the next file reuse pages already mapped instead of faulting in new ones.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    // A reader that goes away (| head) shows up as a failed write, which ends the run quietly.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    return RunCli(arguments);
}
