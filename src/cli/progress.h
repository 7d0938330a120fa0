#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// The progress line on standard error (a terminal only): files, megabytes, entries, speed;
// shown after the first second, at most five times a second, cleared before other text.
class Progress
{
public:
    explicit Progress(bool wanted);
    void show();
    void clear();

    std::atomic<std::int64_t> bytesRead{0};
    std::atomic<std::int64_t> filesDone{0};
    std::atomic<std::int64_t> entriesFound{0};

private:
    bool m_wanted;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_last;
};
