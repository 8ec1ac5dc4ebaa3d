// The dispatch engine of the stand-in: system worker threads for work items, the timer thread,
// the deferred-routine (DPC) queue with its dispatch thread, and the interrupt thread that delivers
// device interrupts. The framework's work items, timers and interrupt objects sit on top of it; the
// harness queues its own deferred routines.
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

// ---- interrupts ----------------------------------------------------------------------------------
// An interrupt record is the line of one interrupt object. A raise marks a message pending, one
// mark per message: raises of a message that is already pending coalesce, as message-signalled
// interrupts do while masked. The interrupt thread, one for the whole machine like a single
// processor taking interrupts, hands the pending messages of enabled records to `deliver` one at a
// time (lowest message first, records in turn), at DEVICE_LEVEL. `deliver` returns false when it
// could not take the message after all (its owner disabled the line meanwhile): the message then
// stays pending. A disabled record keeps its pending messages until it is enabled again.
constexpr uint32_t kInterruptMessages = 32;

struct Interrupt {
    bool (*deliver)(Interrupt* interrupt, uint32_t message) = nullptr;
    void* owner = nullptr;
    // engine-private
    uint32_t pending = 0;  // one bit per message
    bool enabled = false;
    bool delivering = false;
    bool dead = false;
    bool listed = false;
};

// Marks the message pending. False (nothing marked) for a message of kInterruptMessages or above
// and for a cancelled record.
bool InterruptRaise(Interrupt* interrupt, uint32_t message);
// Enabled: pending messages are delivered. Disabled: they wait. An owner that disables its line
// clears the record's flag first, then its own; an owner that enables sets its own first.
void InterruptSetEnabled(Interrupt* interrupt, bool enabled);
// The pending messages, one bit each.
uint32_t InterruptPending(Interrupt* interrupt);
// Stops the record for good, drops what is pending and waits for a running delivery. Calling it
// from a delivery (the interrupt thread) is a strict-mode failure.
void InterruptCancel(Interrupt* interrupt);
bool OnInterruptThread();

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
