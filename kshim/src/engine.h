// The dispatch engine of the stand-in: system worker threads for work items, the timer thread,
// and the deferred-routine (DPC) queue with its dispatch thread. The framework's work items,
// timers and interrupt objects sit on top of it; the harness queues its own deferred routines.
//
// Every record below is owned by its user and must stay alive until the matching Cancel returns
// (or, for a record whose callback is running on the calling thread, until that callback returns).
#pragma once

#include <cstdint>
#include <thread>

namespace kshim::engine {

// ---- system work ---------------------------------------------------------------------------------
// A work record runs its routine at PASSIVE_LEVEL on a system worker thread. Enqueue while queued
// runs it once; enqueue while it runs queues exactly one more run after the current one; a record
// never runs on two threads at once. Two records may run at the same time.
struct Work {
    void (*routine)(Work* work) = nullptr;
    void* owner = nullptr;
    // Called once the engine is done with a record that was cancelled from its own routine (the
    // owner keeps itself alive until then); the engine does not touch the record afterwards.
    void (*release)(void* owner) = nullptr;
    // engine-private
    enum class State : uint8_t { Idle, Queued, Running, RunningRequeued } state = State::Idle;
    bool dead = false;
    bool deferredRelease = false;
    std::thread::id runner;
};

void WorkEnqueue(Work* work);
// Waits until the record is neither queued nor running. Returns false without waiting when the
// call would wait for itself (from the record's own routine).
bool WorkFlush(Work* work);
// Removes a queued run and waits for a running one (unless it runs on the calling thread); later
// enqueues are ignored. Returns true when the routine is running on the calling thread: the
// engine then calls `release` after the routine returns. After a false return the engine no
// longer touches the record.
bool WorkCancel(Work* work);
bool WorkRunningOnThisThread(const Work* work);
// While held, queued work waits for the release instead of starting (tests of queueing).
void WorkHold(bool hold);

// ---- timers --------------------------------------------------------------------------------------
// A timer record fires its routine at DISPATCH_LEVEL on the timer thread. One record's routine
// never overlaps itself. A periodic record is queued again by its period (100 ns units) each time
// it expires, before its routine runs.
struct Timer {
    void (*routine)(Timer* timer) = nullptr;
    void* owner = nullptr;
    void (*release)(void* owner) = nullptr;  // as for Work
    int64_t period = 0;  // 100 ns; 0 = one-shot
    // engine-private
    bool pending = false;
    bool running = false;
    bool dead = false;
    bool deferredRelease = false;
    int64_t due = 0;
    uint64_t seq = 0;
};

// Queues the record to expire at the absolute system time `due` (a time already passed expires at
// once). Returns true when an earlier expiry was still queued (it is replaced).
bool TimerStart(Timer* timer, int64_t due);
// Removes a queued expiry; returns true when there was one. With wait, also waits for a running
// routine (not when called from that routine).
bool TimerStop(Timer* timer, bool wait);
// Stops the record for good and waits for a running routine unless it runs on the calling thread.
// Returns true when the routine is running on the calling thread (then as for WorkCancel).
bool TimerCancel(Timer* timer);
bool OnTimerThread();

// ---- deferred routines ---------------------------------------------------------------------------
// A DPC record is queued at most once at a time and runs at DISPATCH_LEVEL on the dispatch thread,
// in queueing order.
struct Dpc {
    void (*routine)(Dpc* dpc) = nullptr;
    void* owner = nullptr;
    void (*release)(void* owner) = nullptr;  // as for Work
    // engine-private
    bool queued = false;
    bool running = false;
    bool dead = false;
    bool deferredRelease = false;
    uint64_t seq = 0;
};

// Returns false when the record is already queued (the routine will run once).
bool DpcQueue(Dpc* dpc);
// Removes a queued run; returns true when there was one.
bool DpcRemove(Dpc* dpc);
// Removes a queued run, ignores later queueing and waits for a running routine unless it runs on
// the calling thread. Returns true in that last case (then as for WorkCancel).
bool DpcCancel(Dpc* dpc);
// Waits until every record queued before the call has run (KeFlushQueuedDpcs).
void DpcFlushQueued();
bool OnDispatchThread();

// ---- running callbacks ---------------------------------------------------------------------------
// A callback runs at a fixed level (DISPATCH_LEVEL for deferred routines and timers, PASSIVE_LEVEL
// for work items and the framework's PnP and power callbacks). The engine raises to that level,
// and afterwards checks that the callback came back at it without holding a spin lock (strict
// mode), then returns to the level it was called at.
struct CallbackFrame {
    unsigned char entryIrql;
    int spinLocks;
};
CallbackFrame CallbackEnter(unsigned char level);
void CallbackLeave(const char* what, unsigned char level, const CallbackFrame& frame);

template <class F>
void RunAt(unsigned char level, const char* what, F&& fn)
{
    CallbackFrame frame = CallbackEnter(level);
    fn();
    CallbackLeave(what, level, frame);
}

}  // namespace kshim::engine
