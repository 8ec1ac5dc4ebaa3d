// The chip's firmware thread: where the firmware models do what does not happen inside a register
// access. One thread per chip, started by the first task, runs two kinds of work:
//
//   - timed tasks: "run this once the stand-in's clock reaches T" (an answer delayed by the firmware, a
//     dwell on a channel), in order of their time, tasks of one time in the order they were given;
//   - doorbell handlers: "run this after the host wrote the ring engine's registers" (a CPU index
//     moved, a ring was programmed, DMA was enabled), at most one run per handler for a burst of
//     writes. The chip rings them itself; a write to a ring register runs nothing else.
//
// The thread waits for the next task through the stand-in's waits (kshim/host/wait.h): an idle chip
// costs nothing, and on the automatic clock a delayed answer goes out as soon as nothing else runs.
//
// Every task and handler carries its owner; an owner that goes away cancels its work first. Tasks run
// without any lock of the scheduler held, so they may use the chip (its lock is taken after the
// scheduler's own, never the other way round: the chip only queues work here).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "kshim/host/wait.h"

namespace sim::chip {

class Scheduler {
public:
    using Task = std::function<void()>;

    Scheduler() = default;
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    // Runs `task` on the firmware thread once the stand-in's clock reaches `due` (system time, 100 ns
    // units; a time already passed runs it at once).
    void RunAt(const void* owner, int64_t due, Task task);
    // The same, `ms` from now.
    void RunAfterMs(const void* owner, uint32_t ms, Task task);
    // Runs `handler` on the firmware thread after the host writes the ring engine's registers.
    void OnRingWrite(const void* owner, Task handler);
    // Drops the owner's queued tasks and handlers, then waits for one of its tasks that runs now
    // (unless called from that task).
    void Cancel(const void* owner);

    // The chip's side: the host wrote a ring engine register. Only queues the handlers; may be
    // called under the chip's lock.
    void RingWritten();

private:
    struct Timed {
        const void* owner;
        Task task;
    };
    struct Handler {
        const void* owner;
        Task task;
        bool due = false;
    };

    void StartLocked();
    void Main();

    std::mutex mutex_;
    kshim::host::WaitCond changed_;
    std::multimap<int64_t, Timed> timed_;
    std::vector<Handler> handlers_;
    bool handlersDue_ = false;
    bool stop_ = false;
    const void* runningOwner_ = nullptr;
    bool running_ = false;
    std::thread::id thread_id_;
    kshim::host::SimThread thread_;
};

}  // namespace sim::chip
