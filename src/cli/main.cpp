#include <csignal>

#include <QFile>
#include <QStringList>

#include "cli/cli_run.h"

int main(int argc, char *argv[])
{
    // A reader that goes away (| head) shows up as a failed write, which ends the run quietly.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    return RunCli(arguments);
}
