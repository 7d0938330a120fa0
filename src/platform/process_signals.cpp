#include "platform/process_signals.h"

#include <csignal>

void IgnoreWriteSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
