#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace {

std::atomic<HelperFault> nextFault{HelperFault::None};

} // namespace

unsigned CoreCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

void InjectHelperFault(HelperFault fault)
{
    nextFault.store(fault);
}

HelperFault parallel_detail::TakeHelperFault()
{
    // Cheap when no test asked for anything.
    if (nextFault.load(std::memory_order_relaxed) == HelperFault::None)
        return HelperFault::None;
    return nextFault.exchange(HelperFault::None);
}

BackgroundWork::BackgroundWork(std::function<void()> work) : m_work(std::move(work))
{
    try {
        const HelperFault fault = parallel_detail::TakeHelperFault();
        if (fault == HelperFault::CannotStart)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        m_thread = std::thread([this, fault] {
            try {
                if (fault == HelperFault::FailWithBadAlloc)
                    throw std::bad_alloc();
                m_work();
            } catch (...) {
                m_failure = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
    } catch (const std::bad_alloc &) {
    }
}

BackgroundWork::~BackgroundWork()
{
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundWork::join()
{
    if (m_joined)
        return;
    m_joined = true;
    if (m_thread.joinable())
        m_thread.join();
    else
        m_work();
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
}
