#include "platform/parallel.h"

#include <algorithm>
#include <atomic>

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
