#pragma once

#include <exception>
#include <thread>

// Runs work(0) on this thread and work(1) on another, and returns when both are done; a failure
// on either side is thrown here, after both have stopped.
template <typename Work> void RunOnTwoCores(const Work &work)
{
    std::exception_ptr failure;
    std::thread helper([&] {
        try {
            work(1);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        work(0);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (failure)
        std::rethrow_exception(failure);
}
