#include "cli/progress.h"

#include <QString>

#include "platform/descriptor_io.h"

#include <unistd.h>

using namespace Qt::StringLiterals;

Progress::Progress(bool wanted)
    : m_wanted(wanted && ::isatty(STDERR_FILENO) == 1), m_started(std::chrono::steady_clock::now())
{}

void Progress::show()
{
    if (!m_wanted)
        return;
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - m_started).count();
    if (seconds < 1.0 || now - m_last < std::chrono::milliseconds(200))
        return;
    m_last = now;
    const double megabytes = static_cast<double>(bytesRead.load()) / 1e6;
    const QString line = u"\r%1 fichiers, %2 Mo, %3 adresses, %4 Mo/s\x1b[K"_s.arg(filesDone.load())
                             .arg(megabytes, 0, 'f', 1)
                             .arg(entriesFound.load())
                             .arg(megabytes / seconds, 0, 'f', 1);
    WriteAll(STDERR_FILENO, line.toUtf8());
    m_shown = true;
}

void Progress::clear()
{
    if (!m_shown)
        return;
    m_shown = false;
    WriteAll(STDERR_FILENO, "\r\x1b[K");
}
