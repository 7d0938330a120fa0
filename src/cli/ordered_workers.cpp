#include "cli/ordered_workers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "platform/parallel.h"

namespace {

constexpr std::size_t slotBytes = std::size_t{2} << 20;

class Ordered
{
public:
    Ordered(std::size_t count, int threads, const OrderedJob &job, OrderedConsumer &consumer)
        : m_count(count), m_ahead(static_cast<std::size_t>(threads) * 2), m_job(job),
          m_consumer(consumer), m_fault(InjectedFaultFromEnvironment())
    {
        // A worker that cannot start leaves its jobs to the others; with none, they run here.
        m_workers.reserve(static_cast<std::size_t>(std::max(threads, 0)));
        if (m_fault == InjectedFault::Thread)
            InjectHelperFault(HelperFault::FailWithBadAlloc);
        for (int t = 0; t < threads && static_cast<std::size_t>(t) < count; ++t) {
            auto worker = std::make_unique<BackgroundWork>([this] { work(); });
            if (worker->running())
                m_workers.push_back(std::move(worker));
        }
    }

    ~Ordered()
    {
        stop();
        for (const std::unique_ptr<BackgroundWork> &worker : m_workers) {
            try {
                worker->join();
            } catch (...) {
                // Told already through m_workerFailure, or the run is ending on another fault.
            }
        }
    }

    void run()
    {
        if (m_workers.empty()) {
            runHere();
            return;
        }
        for (std::size_t current = 0; current < m_count;) {
            std::unique_lock lock(m_mutex);
            const auto ready = [&] {
                if (m_workerFailure)
                    return true;
                const auto it = m_slots.find(current);
                return it != m_slots.end() && (!it->second.blocks.empty() || it->second.done);
            };
            if (!m_callerWake.wait_for(lock, std::chrono::milliseconds(200), ready)) {
                lock.unlock();
                m_consumer.idle();
                continue;
            }
            if (m_workerFailure)
                std::rethrow_exception(m_workerFailure);
            Slot &slot = m_slots[current];
            if (!slot.blocks.empty()) {
                std::vector<EntryBlock> blocks = std::move(slot.blocks);
                slot.blocks.clear();
                slot.bytes = 0;
                lock.unlock();
                m_workerWake.notify_all();
                for (EntryBlock &block : blocks) {
                    if (!m_consumer.block(current, std::move(block)))
                        return;
                }
                continue;
            }
            const std::exception_ptr failure = slot.failure;
            m_slots.erase(current);
            ++current;
            m_done = current;
            lock.unlock();
            m_workerWake.notify_all();
            if (!m_consumer.inputDone(current - 1, failure))
                return;
            if (m_fault == InjectedFault::Caller)
                throw std::bad_alloc();
        }
    }

    // Waits for the workers and raises what one of them raised outside its jobs.
    void joinWorkers()
    {
        stop();
        for (const std::unique_ptr<BackgroundWork> &worker : m_workers)
            worker->join();
    }

private:
    struct Slot
    {
        std::vector<EntryBlock> blocks;
        std::size_t bytes = 0;
        bool done = false;
        std::exception_ptr failure;
    };

    class SlotSink : public BlockSink
    {
    public:
        SlotSink(Ordered &owner, std::size_t input) : m_owner(owner), m_input(input) {}
        void push(EntryBlock &&block) override
        {
            std::unique_lock lock(m_owner.m_mutex);
            m_owner.m_workerWake.wait(lock, [&] {
                return m_owner.m_stopped || m_owner.m_slots[m_input].bytes < slotBytes;
            });
            if (m_owner.m_stopped)
                throw OutputStopped();
            Slot &slot = m_owner.m_slots[m_input];
            slot.bytes += block.text.size() + block.lines.size() * sizeof(std::int64_t) + 64;
            slot.blocks.push_back(std::move(block));
            lock.unlock();
            m_owner.m_callerWake.notify_all();
        }

    private:
        Ordered &m_owner;
        std::size_t m_input;
    };

    // Here, the caller is the consumer: blocks go straight to it.
    class DirectSink : public BlockSink
    {
    public:
        DirectSink(OrderedConsumer &consumer, std::size_t input)
            : m_consumer(consumer), m_input(input)
        {}
        void push(EntryBlock &&block) override
        {
            if (!m_consumer.block(m_input, std::move(block)))
                throw OutputStopped();
        }

    private:
        OrderedConsumer &m_consumer;
        std::size_t m_input;
    };

    void runHere()
    {
        for (std::size_t input = 0; input < m_count; ++input) {
            DirectSink sink(m_consumer, input);
            std::exception_ptr failure;
            try {
                m_job(input, sink);
            } catch (const OutputStopped &) {
                return;
            } catch (...) {
                failure = std::current_exception();
            }
            if (!m_consumer.inputDone(input, failure))
                return;
        }
    }

    // A failure outside a job (no memory left for the bookkeeping) stops the run and reaches
    // the caller.
    void work()
    {
        try {
            workOnJobs();
        } catch (...) {
            {
                std::lock_guard lock(m_mutex);
                m_workerFailure = std::current_exception();
                m_stopped = true;
            }
            m_workerWake.notify_all();
            m_callerWake.notify_all();
        }
    }

    void workOnJobs()
    {
        for (;;) {
            std::size_t input;
            {
                std::unique_lock lock(m_mutex);
                m_workerWake.wait(lock, [&] {
                    return m_stopped || m_next >= m_count || m_next < m_done + m_ahead;
                });
                if (m_stopped || m_next >= m_count)
                    return;
                input = m_next++;
                m_slots[input];
            }
            std::exception_ptr failure;
            try {
                if (m_fault == InjectedFault::Worker)
                    throw std::bad_alloc();
                SlotSink sink(*this, input);
                m_job(input, sink);
            } catch (const OutputStopped &) {
                return;
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard lock(m_mutex);
                Slot &slot = m_slots[input];
                slot.done = true;
                slot.failure = failure;
            }
            m_callerWake.notify_all();
        }
    }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_workerWake.notify_all();
    }

    const std::size_t m_count;
    const std::size_t m_ahead;
    const OrderedJob &m_job;
    OrderedConsumer &m_consumer;
    const InjectedFault m_fault;
    std::mutex m_mutex;
    std::condition_variable m_workerWake;
    std::condition_variable m_callerWake;
    std::unordered_map<std::size_t, Slot> m_slots;
    std::size_t m_next = 0;
    std::size_t m_done = 0;
    bool m_stopped = false;
    std::exception_ptr m_workerFailure;
    // Last: the workers stop before the members they use go.
    std::vector<std::unique_ptr<BackgroundWork>> m_workers;
};

} // namespace

void RunOrdered(std::size_t count, int threads, const OrderedJob &job, OrderedConsumer &consumer)
{
    Ordered ordered(count, threads, job, consumer);
    ordered.run();
    ordered.joinWorkers();
}

InjectedFault InjectedFaultFromEnvironment()
{
    const char *value = std::getenv("EXTRACTEUR_TEST_FAULT");
    if (!value)
        return InjectedFault::None;
    if (std::strcmp(value, "worker") == 0)
        return InjectedFault::Worker;
    if (std::strcmp(value, "caller") == 0)
        return InjectedFault::Caller;
    if (std::strcmp(value, "thread") == 0)
        return InjectedFault::Thread;
    return InjectedFault::None;
}
