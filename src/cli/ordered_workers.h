#pragma once

#include <cstddef>
#include <exception>
#include <functional>

#include "cli/entry_block.h"

// What the caller's thread does with the inputs' blocks, in input order.
class OrderedConsumer
{
public:
    virtual ~OrderedConsumer() = default;
    // False stops the run: the output is closed.
    virtual bool block(std::size_t input, EntryBlock &&block) = 0;
    // The input is over; `failure` is what its job raised, or null.
    virtual bool inputDone(std::size_t input, std::exception_ptr failure) = 0;
    // Called now and then while the caller waits for a worker (the progress line).
    virtual void idle() {}
};

// Runs `job` for every input on up to `threads` worker threads and hands the blocks each job
// pushes to `consumer` on the caller's thread, in input order. A job's exception, bad_alloc
// included, reaches the consumer as that input's failure; an exception of the consumer reaches
// the caller once every worker has stopped. Memory stays bounded: a worker waits while the
// blocks it has pushed and the caller has not taken exceed a few MiB, and workers run at most a
// few inputs ahead. If no thread can start, the jobs run on the caller's thread.
using OrderedJob = std::function<void(std::size_t input, BlockSink &sink)>;
void RunOrdered(std::size_t count, int threads, const OrderedJob &job, OrderedConsumer &consumer);

// A test hook: "worker" makes a worker thread raise bad_alloc at the start of each job,
// "caller" makes the caller's thread raise it once the first input is done, "thread" makes the
// first worker thread raise it before it takes any job. Read from EXTRACTEUR_TEST_FAULT.
enum class InjectedFault { None, Worker, Caller, Thread };
InjectedFault InjectedFaultFromEnvironment();
