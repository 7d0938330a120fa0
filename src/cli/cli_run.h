#pragma once

#include <QStringList>

// Runs the program on the arguments that follow its name and returns the exit status: 0 when
// everything was read and written, 1 when an input could not be read or the output not written
// (the rest is still done), 2 for a command line it cannot run.
int RunCli(const QStringList &arguments);
