#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

// The number of threads that can run at once here, at least 1.
unsigned CoreCount();

// What the next helper thread is made to do, for tests of the failure paths.
enum class HelperFault {
    None,
    FailWithBadAlloc, // starts, then throws std::bad_alloc instead of doing its share
    CannotStart,      // is refused by the system, as when no thread is left
};

// The next helper thread started by RunOnThreads or RunOnTwoCores fails this way; later ones
// run normally.
void InjectHelperFault(HelperFault fault);

namespace parallel_detail {
HelperFault TakeHelperFault();
} // namespace parallel_detail

// Runs work(0) … work(count - 1), work(0) on this thread and each other share on a thread of its
// own, and returns when all are done. A share whose thread cannot start runs on this thread after
// work(0). A failure on any thread, std::bad_alloc included, is thrown here once every thread has
// stopped (the lowest share's when several fail); the shares that had to run here are skipped
// after a failure.
template <typename Work> void RunOnThreads(std::size_t count, const Work &work)
{
    if (count == 0)
        return;
    std::vector<std::exception_ptr> failures(count);
    std::vector<std::size_t> here;
    here.reserve(count);
    here.push_back(0);
    std::vector<std::thread> helpers;
    helpers.reserve(count - 1);
    for (std::size_t share = 1; share < count; ++share) {
        try {
            const HelperFault fault = parallel_detail::TakeHelperFault();
            if (fault == HelperFault::CannotStart)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            helpers.emplace_back([&work, &failures, share, fault] {
                try {
                    if (fault == HelperFault::FailWithBadAlloc)
                        throw std::bad_alloc();
                    work(share);
                } catch (...) {
                    failures[share] = std::current_exception();
                }
            });
        } catch (const std::system_error &) {
            here.push_back(share);
        } catch (const std::bad_alloc &) {
            here.push_back(share);
        }
    }
    for (std::size_t share : here) {
        try {
            work(share);
        } catch (...) {
            failures[share] = std::current_exception();
            break;
        }
    }
    for (std::thread &helper : helpers)
        helper.join();
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

// Runs work(0) on this thread and work(1) on another, with the rules of RunOnThreads.
template <typename Work> void RunOnTwoCores(const Work &work)
{
    RunOnThreads(2, [&work](std::size_t part) { work(static_cast<int>(part)); });
}

// Runs `work` on a thread of its own while the caller goes on. When no thread can start,
// running() is false and nothing runs until join(), which then runs the work on the caller's
// thread. join() waits for the work and throws what it threw, std::bad_alloc included; the
// destructor waits too, and drops a failure nobody joined for. The work must end by itself (a
// flag it watches, a queue it drains): joining never interrupts it.
class BackgroundWork
{
public:
    explicit BackgroundWork(std::function<void()> work);
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork &) = delete;
    BackgroundWork &operator=(const BackgroundWork &) = delete;

    bool running() const { return m_thread.joinable(); }
    void join();

private:
    std::function<void()> m_work;
    std::exception_ptr m_failure;
    std::thread m_thread;
    bool m_joined = false;
};
