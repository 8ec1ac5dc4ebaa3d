// Waits that the stand-in's clock knows about, for the stand-in itself and for the simulator.
//
// Every thread that takes part in a simulation is counted: the stand-in's own threads (system threads,
// workers, the timer, deferred-routine and interrupt threads), the simulator's threads (started as
// SimThread), and any other thread from its first call into the stand-in on (a test's main thread). A
// counted thread is running unless it is blocked in one of the waits below. When no counted thread is
// running, nothing more can happen until time moves: that is the point WaitIdle returns at, and the
// point where the automatic clock (ClockSetAuto) moves time straight on to the next deadline instead of
// waiting it out.
//
// The rules for code that waits here:
//   - what a waiter waits for is changed under the waiters' mutex, and WaitCond::NotifyAll follows the
//     change (under the mutex or after it);
//   - a thread of the simulation that blocks somewhere else (a plain mutex held for long, a join, a
//     sleep of the host) counts as running meanwhile: nothing breaks, but time is not moved on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace kshim::host {

class WaitCond;

namespace waitdetail {

struct Waiter {
    WaitCond* cond = nullptr;
    std::mutex* mutex = nullptr;
    int64_t deadline = INT64_MAX;                    // stand-in clock, 100 ns units
    std::chrono::steady_clock::time_point realLimit;  // host time; max(): none
    bool counted = false;  // the thread takes part (its block and wake change the running count)
    bool woken = false;    // a waker counted it running again on its behalf
    int pins = 0;          // the clock's sweep still reaches the record
    uint64_t idleEpoch = 0;
    bool idleWaiter = false;
    const char* point = nullptr;  // the named point the wait is at (none: nullptr)
    Waiter* prev = nullptr;  // every registered wait
    Waiter* next = nullptr;
    Waiter* condPrev = nullptr;  // the waits of one condition
    Waiter* condNext = nullptr;
};

// Registers the calling thread's wait (the waiter's mutex held) ...
void Block(Waiter* w);
// ... sleeps on the condition until woken, a deadline of the clock or the real limit ...
void Sleep(Waiter* w, std::unique_lock<std::mutex>& lock);
// ... and takes the record back (the mutex held again; it may be released and taken again meanwhile).
void Unblock(Waiter* w, std::unique_lock<std::mutex>& lock);
int64_t Now();

}  // namespace waitdetail

// A condition variable whose waiters count as blocked for the clock and the idle check.
class WaitCond {
public:
    WaitCond() = default;
    WaitCond(const WaitCond&) = delete;
    WaitCond& operator=(const WaitCond&) = delete;

    // Wakes every waiter of this condition.
    void NotifyAll();

    std::condition_variable& cv() { return cv_; }
    // The waits registered on this condition (the stand-in's wait lock held).
    void LinkLocked(waitdetail::Waiter* w);
    void UnlinkLocked(waitdetail::Waiter* w);

private:
    std::condition_variable cv_;
    waitdetail::Waiter head_;
    std::atomic<unsigned> waiters_{0};
};

constexpr auto kNoRealLimit = std::chrono::steady_clock::time_point::max();

// Waits (the lock held) until pred() holds, the stand-in's clock reaches `deadline` (system time in
// 100 ns units; INT64_MAX: no deadline) or the host's clock reaches `realLimit`. Returns pred()'s last
// value. Spurious wake-ups are absorbed. A wait with a `point` name is counted at that point while it
// blocks (WaitBlockedAt).
template <class Pred>
bool WaitUntil(std::unique_lock<std::mutex>& lock, WaitCond& cond, int64_t deadline, Pred pred,
               std::chrono::steady_clock::time_point realLimit = kNoRealLimit, const char* point = nullptr)
{
    for (;;) {
        if (pred()) {
            return true;
        }
        if (deadline != INT64_MAX && waitdetail::Now() >= deadline) {
            return false;
        }
        if (realLimit != kNoRealLimit && std::chrono::steady_clock::now() >= realLimit) {
            return false;
        }
        waitdetail::Waiter w;
        w.cond = &cond;
        w.mutex = lock.mutex();
        w.deadline = deadline;
        w.realLimit = realLimit;
        w.point = point;
        waitdetail::Block(&w);
        waitdetail::Sleep(&w, lock);
        waitdetail::Unblock(&w, lock);
    }
}

// The same with a span of the stand-in's clock instead of a deadline.
template <class Pred>
bool WaitFor(std::unique_lock<std::mutex>& lock, WaitCond& cond, int64_t span100ns, Pred pred)
{
    int64_t now = waitdetail::Now();
    int64_t deadline = span100ns >= INT64_MAX - now ? INT64_MAX : now + span100ns;
    return WaitUntil(lock, cond, deadline, pred);
}

// A thread of the simulation: counted as running from its creation until its function returns, so that
// the clock does not move past work it has yet to do.
class SimThread {
public:
    SimThread() = default;
    explicit SimThread(std::function<void()> body);
    ~SimThread();
    SimThread(SimThread&& other) noexcept = default;
    SimThread& operator=(SimThread&& other) noexcept;
    SimThread(const SimThread&) = delete;
    SimThread& operator=(const SimThread&) = delete;

    void Join();
    bool Joinable() const { return thread_.joinable(); }

private:
    std::thread thread_;
};

// Starts a detached thread of the simulation (as SimThread, for threads that live as long as the
// process).
void StartDetachedThread(std::function<void()> body);

// ---- idle --------------------------------------------------------------------------------------------
// Waits until no thread of the simulation but the caller is running: every one is blocked in a wait of
// the stand-in (an event, a queue, a timer, a sleep) or has ended. On the automatic clock, time is not
// moved meanwhile. False when the host's clock passes `realLimitMs` first (something keeps running).
bool WaitIdle(unsigned realLimitMs = 10000);

// Progress since a mark: waits until the simulation has settled (no thread of it running) after something
// happened since `*epoch` was taken, and updates the mark. On the automatic clock, time moves on to the next
// deadline while nothing else happens.
enum class Progress {
    Settled,    // something happened since the mark, and now nothing runs
    Nothing,    // nothing can happen any more: every thread is blocked with no deadline left, or the
                // manual clock stands
    TimeUp,     // the stand-in's clock reached `deadline`
    HostLimit,  // the host's clock reached `realLimit` first (something kept running)
};
uint64_t ProgressEpoch();
Progress WaitProgress(uint64_t* epoch, int64_t deadline, std::chrono::steady_clock::time_point realLimit);

// Named points: waits until at least `count` threads are blocked at the named point, a wait of the
// stand-in that a test may need to see reached before it checks that something has not happened yet.
// The stand-in's points: "KeWaitForSingleObject" (also NdisWaitEvent), "sleep" (KeDelayExecutionThread,
// NdisMSleep), "work.flush", "work.cancel", "timer.stop", "timer.cancel", "dpc.flush", "dpc.cancel",
// "interrupt.cancel", and "spin lock" (a thread spinning on a held spin lock: running, not blocked).
// False when `realLimitMs` of host time pass first.
bool WaitBlockedAt(const char* point, unsigned count = 1, unsigned realLimitMs = 10000);
unsigned BlockedAt(const char* point);

// How many threads of the simulation are running now (the caller included when it takes part).
unsigned SimThreadsRunning();

}  // namespace kshim::host
