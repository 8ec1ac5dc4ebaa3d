// The dispatch engine: system worker threads, the timer thread, the deferred-routine queue and the
// interrupt thread.
//
// Each facility has its own lock and starts its thread(s) on first use; the threads live as long
// as the process. In manual clock mode an advance of the clock fires every timer that became due
// on the timer thread before the advance returns, so tests of time-outs are deterministic.
#include "engine.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/irql.h"

namespace kshim::engine {

// ================================================================================================
// callbacks
// ================================================================================================
CallbackFrame CallbackEnter(unsigned char level)
{
    CallbackFrame frame{KeGetCurrentIrql(), kshim::HeldSpinLocks()};
    if (level > frame.entryIrql) {
        KIRQL ignored;
        KeRaiseIrql(level, &ignored);
    }
    return frame;
}

void CallbackLeave(const char* what, unsigned char level, const CallbackFrame& frame)
{
    KIRQL now = KeGetCurrentIrql();
    if (now != level) {
        char detail[160];
        std::snprintf(detail, sizeof(detail), "%s returned at IRQL %u, called at %u", what,
                      static_cast<unsigned>(now), static_cast<unsigned>(level));
        KshimViolation("callback changed the IRQL", detail);
        if (now < level) {
            KIRQL ignored;
            KeRaiseIrql(level, &ignored);
        } else {
            KeLowerIrql(level);
        }
    }
    if (kshim::HeldSpinLocks() != frame.spinLocks) {
        KshimViolation("callback returned holding a spin lock", what);
    }
    if (level > frame.entryIrql) {
        KeLowerIrql(frame.entryIrql);
    }
}

// ================================================================================================
// system work
// ================================================================================================
namespace {

// After a run: a record cancelled from its own routine is handed back to its owner now, and the
// engine does not touch it afterwards.
template <class Record>
void ReleaseIfDeferred(std::unique_lock<std::mutex>& lock, Record* r)
{
    if (r->deferredRelease) {
        void (*release)(void*) = r->release;
        void* owner = r->owner;
        lock.unlock();
        release(owner);  // may free the record
        lock.lock();
    }
}

constexpr unsigned kInitialWorkers = 2;
constexpr unsigned kMaxWorkers = 16;  // more are started while every worker is busy

struct WorkPool {
    std::mutex lock;
    kshim::host::WaitCond available;  // a record was queued
    kshim::host::WaitCond changed;    // a record's state changed
    std::deque<Work*> queue;
    unsigned threads = 0;
    unsigned idle = 0;
    bool held = false;
};

WorkPool& Pool()
{
    static WorkPool* pool = new WorkPool();
    return *pool;
}

void WorkerMain()
{
    WorkPool& p = Pool();
    std::unique_lock<std::mutex> lock(p.lock);
    for (;;) {
        ++p.idle;
        kshim::host::WaitUntil(lock, p.available, INT64_MAX, [&] { return !p.queue.empty() && !p.held; });
        --p.idle;
        Work* w = p.queue.front();
        p.queue.pop_front();
        w->state = Work::State::Running;
        w->runner = std::this_thread::get_id();
        lock.unlock();
        RunAt(PASSIVE_LEVEL, "work item", [w] { w->routine(w); });
        lock.lock();
        w->runner = std::thread::id();
        if (w->state == Work::State::RunningRequeued && !w->dead) {
            w->state = Work::State::Queued;
            p.queue.push_back(w);
            p.available.NotifyAll();
        } else {
            w->state = Work::State::Idle;
        }
        p.changed.NotifyAll();
        ReleaseIfDeferred(lock, w);
    }
}

void StartWorkerLocked(WorkPool& p)
{
    ++p.threads;
    kshim::host::StartDetachedThread(WorkerMain);
}

}  // namespace

void WorkEnqueue(Work* w)
{
    WorkPool& p = Pool();
    std::lock_guard<std::mutex> guard(p.lock);
    if (w->dead) {
        return;
    }
    switch (w->state) {
    case Work::State::Idle:
        w->state = Work::State::Queued;
        p.queue.push_back(w);
        break;
    case Work::State::Running:
        w->state = Work::State::RunningRequeued;
        return;
    case Work::State::Queued:
    case Work::State::RunningRequeued:
        return;
    }
    while (p.threads < kInitialWorkers) {
        StartWorkerLocked(p);
    }
    if (p.idle == 0 && p.threads < kMaxWorkers) {
        StartWorkerLocked(p);
    }
    p.available.NotifyAll();
}

void WorkHold(bool hold)
{
    WorkPool& p = Pool();
    std::lock_guard<std::mutex> guard(p.lock);
    p.held = hold;
    if (!hold) {
        p.available.NotifyAll();
    }
}

bool WorkRunningOnThisThread(const Work* w)
{
    WorkPool& p = Pool();
    std::lock_guard<std::mutex> guard(p.lock);
    return w->runner == std::this_thread::get_id();
}

bool WorkFlush(Work* w)
{
    WorkPool& p = Pool();
    std::unique_lock<std::mutex> lock(p.lock);
    if (w->runner == std::this_thread::get_id()) {
        return false;
    }
    kshim::host::WaitUntil(lock, p.changed, INT64_MAX, [&] { return w->state == Work::State::Idle; },
                           kshim::host::kNoRealLimit, "work.flush");
    return true;
}

bool WorkCancel(Work* w)
{
    WorkPool& p = Pool();
    std::unique_lock<std::mutex> lock(p.lock);
    w->dead = true;
    if (w->state == Work::State::Queued) {
        for (auto it = p.queue.begin(); it != p.queue.end(); ++it) {
            if (*it == w) {
                p.queue.erase(it);
                break;
            }
        }
        w->state = Work::State::Idle;
        return false;
    }
    if (w->state == Work::State::RunningRequeued) {
        w->state = Work::State::Running;
    }
    if (w->state == Work::State::Running) {
        if (w->runner == std::this_thread::get_id()) {
            w->deferredRelease = w->release != nullptr;
            return true;
        }
        kshim::host::WaitUntil(lock, p.changed, INT64_MAX, [&] { return w->state == Work::State::Idle; },
                               kshim::host::kNoRealLimit, "work.cancel");
    }
    return false;
}

// ================================================================================================
// timers
// ================================================================================================
namespace {

using TimerKey = std::pair<int64_t, uint64_t>;  // (due, sequence)

struct TimerWheel {
    std::mutex lock;
    kshim::host::WaitCond wake;     // the set of timers or the clock changed
    kshim::host::WaitCond changed;  // a callback ended, or a scan found nothing due
    std::map<TimerKey, Timer*> queue;
    uint64_t nextSeq = 0;
    bool started = false;
    bool wakeFlag = false;
    uint64_t advanceTicket = 0;  // manual clock advances announced
    uint64_t servedTicket = 0;   // advances after which nothing was due any more
};

TimerWheel& Wheel()
{
    static TimerWheel* wheel = new TimerWheel();
    return *wheel;
}

thread_local bool t_timerThread = false;

void InsertLocked(TimerWheel& w, Timer* t, int64_t due)
{
    t->due = due;
    t->seq = ++w.nextSeq;
    t->pending = true;
    w.queue.emplace(TimerKey{due, t->seq}, t);
}

void RemoveLocked(TimerWheel& w, Timer* t)
{
    if (t->pending) {
        w.queue.erase(TimerKey{t->due, t->seq});
        t->pending = false;
    }
}

void TimerMain()
{
    t_timerThread = true;
    TimerWheel& w = Wheel();
    std::unique_lock<std::mutex> lock(w.lock);
    for (;;) {
        uint64_t ticket = w.advanceTicket;
        int64_t now = kshim::ClockNow();
        auto first = w.queue.begin();
        if (first != w.queue.end() && first->first.first <= now) {
            Timer* t = first->second;
            w.queue.erase(first);
            t->pending = false;
            if (t->period > 0) {
                // A periodic timer is queued again as it expires. In manual clock mode every
                // period that the advance passed over fires; in real time a timer that fell
                // behind fires once more at once and then keeps its period.
                int64_t next = t->due + t->period;
                if (!kshim::ClockManual() && next < now) {
                    next = now;
                }
                InsertLocked(w, t, next);
            }
            t->running = true;
            lock.unlock();
            RunAt(DISPATCH_LEVEL, "timer callback", [t] { t->routine(t); });
            lock.lock();
            t->running = false;
            w.changed.NotifyAll();
            ReleaseIfDeferred(lock, t);
            continue;
        }
        w.servedTicket = ticket;
        w.changed.NotifyAll();
        int64_t deadline = first == w.queue.end() ? INT64_MAX : first->first.first;
        w.wakeFlag = false;
        kshim::ClockWaitUntil(lock, w.wake, deadline, [&] { return w.wakeFlag; });
    }
}

// Called after every manual advance of the clock: lets the timer thread fire what became due and
// waits until it has.
void OnClockAdvance(int64_t)
{
    if (t_timerThread) {
        return;  // a callback stalled the processor: the loop fires the rest after it
    }
    TimerWheel& w = Wheel();
    std::unique_lock<std::mutex> lock(w.lock);
    if (!w.started) {
        return;
    }
    uint64_t ticket = ++w.advanceTicket;
    w.wakeFlag = true;
    w.wake.NotifyAll();
    kshim::host::WaitUntil(lock, w.changed, INT64_MAX,
                           [&] { return w.servedTicket >= ticket || !kshim::ClockManual(); });
}

void StartTimerThreadLocked(TimerWheel& w)
{
    if (w.started) {
        return;
    }
    w.started = true;
    kshim::host::ClockOnAdvance(OnClockAdvance);
    kshim::host::StartDetachedThread(TimerMain);
}

}  // namespace

bool OnTimerThread() { return t_timerThread; }

bool TimerStart(Timer* t, int64_t due)
{
    TimerWheel& w = Wheel();
    std::lock_guard<std::mutex> guard(w.lock);
    if (t->dead) {
        return false;
    }
    bool was = t->pending;
    RemoveLocked(w, t);
    InsertLocked(w, t, due);
    StartTimerThreadLocked(w);
    w.wakeFlag = true;
    w.wake.NotifyAll();
    return was;
}

bool TimerStop(Timer* t, bool wait)
{
    TimerWheel& w = Wheel();
    std::unique_lock<std::mutex> lock(w.lock);
    bool was = t->pending;
    RemoveLocked(w, t);
    if (wait && !t_timerThread) {
        kshim::host::WaitUntil(lock, w.changed, INT64_MAX, [&] { return !t->running; }, kshim::host::kNoRealLimit,
                               "timer.stop");
    }
    return was;
}

bool TimerCancel(Timer* t)
{
    TimerWheel& w = Wheel();
    std::unique_lock<std::mutex> lock(w.lock);
    t->dead = true;
    RemoveLocked(w, t);
    if (t->running) {
        if (t_timerThread) {
            t->deferredRelease = t->release != nullptr;
            return true;
        }
        kshim::host::WaitUntil(lock, w.changed, INT64_MAX, [&] { return !t->running; }, kshim::host::kNoRealLimit,
                               "timer.cancel");
    }
    return false;
}

// ================================================================================================
// deferred routines
// ================================================================================================
namespace {

struct DpcQueueState {
    std::mutex lock;
    kshim::host::WaitCond available;
    kshim::host::WaitCond changed;
    std::deque<Dpc*> queue;
    uint64_t nextSeq = 0;
    Dpc* running = nullptr;
    uint64_t runningSeq = 0;
    bool started = false;
};

DpcQueueState& Dpcs()
{
    static DpcQueueState* state = new DpcQueueState();
    return *state;
}

thread_local bool t_dispatchThread = false;

void DispatchMain()
{
    t_dispatchThread = true;
    DpcQueueState& q = Dpcs();
    std::unique_lock<std::mutex> lock(q.lock);
    for (;;) {
        kshim::host::WaitUntil(lock, q.available, INT64_MAX, [&] { return !q.queue.empty(); });
        Dpc* d = q.queue.front();
        q.queue.pop_front();
        d->queued = false;
        d->running = true;
        q.running = d;
        q.runningSeq = d->seq;
        lock.unlock();
        RunAt(DISPATCH_LEVEL, "deferred routine", [d] { d->routine(d); });
        lock.lock();
        d->running = false;
        q.running = nullptr;
        q.changed.NotifyAll();
        ReleaseIfDeferred(lock, d);
    }
}

bool RemoveQueuedLocked(DpcQueueState& q, Dpc* d)
{
    if (!d->queued) {
        return false;
    }
    for (auto it = q.queue.begin(); it != q.queue.end(); ++it) {
        if (*it == d) {
            q.queue.erase(it);
            break;
        }
    }
    d->queued = false;
    q.changed.NotifyAll();
    return true;
}

}  // namespace

bool OnDispatchThread() { return t_dispatchThread; }

bool DpcQueue(Dpc* d)
{
    DpcQueueState& q = Dpcs();
    std::lock_guard<std::mutex> guard(q.lock);
    if (d->dead || d->queued) {
        return false;
    }
    d->queued = true;
    d->seq = ++q.nextSeq;
    q.queue.push_back(d);
    if (!q.started) {
        q.started = true;
        kshim::host::StartDetachedThread(DispatchMain);
    }
    q.available.NotifyAll();
    return true;
}

bool DpcRemove(Dpc* d)
{
    DpcQueueState& q = Dpcs();
    std::lock_guard<std::mutex> guard(q.lock);
    return RemoveQueuedLocked(q, d);
}

bool DpcCancel(Dpc* d)
{
    DpcQueueState& q = Dpcs();
    std::unique_lock<std::mutex> lock(q.lock);
    d->dead = true;
    RemoveQueuedLocked(q, d);
    if (d->running) {
        if (t_dispatchThread) {
            d->deferredRelease = d->release != nullptr;
            return true;
        }
        kshim::host::WaitUntil(lock, q.changed, INT64_MAX, [&] { return !d->running; }, kshim::host::kNoRealLimit,
                               "dpc.cancel");
    }
    return false;
}

void DpcFlushQueued()
{
    if (t_dispatchThread) {
        return;
    }
    DpcQueueState& q = Dpcs();
    std::unique_lock<std::mutex> lock(q.lock);
    uint64_t ticket = q.nextSeq;
    kshim::host::WaitUntil(lock, q.changed, INT64_MAX, [&] {
        bool queuedDone = q.queue.empty() || q.queue.front()->seq > ticket;
        bool runningDone = q.running == nullptr || q.runningSeq > ticket;
        return queuedDone && runningDone;
    }, kshim::host::kNoRealLimit, "dpc.flush");
}

// ================================================================================================
// interrupts
// ================================================================================================
namespace {

struct InterruptLines {
    std::mutex lock;
    kshim::host::WaitCond wake;     // a message became deliverable
    kshim::host::WaitCond changed;  // a delivery ended
    std::vector<Interrupt*> lines;    // records that were ever raised or enabled, not cancelled
    size_t next = 0;                  // where the next search starts (records take turns)
    bool started = false;
};

InterruptLines& Lines()
{
    static InterruptLines* lines = new InterruptLines();
    return *lines;
}

thread_local bool t_interruptThread = false;

// Takes the lowest pending message of the next enabled record, or returns null.
Interrupt* TakeLocked(InterruptLines& s, uint32_t* message)
{
    size_t n = s.lines.size();
    for (size_t i = 0; i < n; ++i) {
        size_t at = (s.next + i) % n;
        Interrupt* r = s.lines[at];
        if (r->enabled && !r->delivering && r->pending != 0) {
            s.next = (at + 1) % n;
            *message = static_cast<uint32_t>(__builtin_ctz(r->pending));
            r->pending &= ~(1u << *message);
            return r;
        }
    }
    return nullptr;
}

void InterruptMain()
{
    t_interruptThread = true;
    InterruptLines& s = Lines();
    std::unique_lock<std::mutex> lock(s.lock);
    for (;;) {
        Interrupt* r = nullptr;
        uint32_t message = 0;
        kshim::host::WaitUntil(lock, s.wake, INT64_MAX, [&] { return (r = TakeLocked(s, &message)) != nullptr; });
        r->delivering = true;
        lock.unlock();
        bool taken = true;
        RunAt(DEVICE_LEVEL, "interrupt service routine", [&] { taken = r->deliver(r, message); });
        lock.lock();
        r->delivering = false;
        if (!taken && !r->dead) {
            r->pending |= 1u << message;
        }
        s.changed.NotifyAll();
    }
}

void ListLocked(InterruptLines& s, Interrupt* r)
{
    if (!r->listed) {
        r->listed = true;
        s.lines.push_back(r);
    }
    if (!s.started) {
        s.started = true;
        kshim::host::StartDetachedThread(InterruptMain);
    }
}

}  // namespace

bool OnInterruptThread() { return t_interruptThread; }

bool InterruptRaise(Interrupt* r, uint32_t message)
{
    InterruptLines& s = Lines();
    std::lock_guard<std::mutex> guard(s.lock);
    if (r->dead || message >= kInterruptMessages) {
        return false;
    }
    r->pending |= 1u << message;
    ListLocked(s, r);
    if (r->enabled) {
        s.wake.NotifyAll();
    }
    return true;
}

void InterruptSetEnabled(Interrupt* r, bool enabled)
{
    InterruptLines& s = Lines();
    std::lock_guard<std::mutex> guard(s.lock);
    if (r->dead) {
        return;
    }
    r->enabled = enabled;
    if (enabled) {
        ListLocked(s, r);
        s.wake.NotifyAll();
    }
}

uint32_t InterruptPending(Interrupt* r)
{
    InterruptLines& s = Lines();
    std::lock_guard<std::mutex> guard(s.lock);
    return r->pending;
}

void InterruptCancel(Interrupt* r)
{
    InterruptLines& s = Lines();
    std::unique_lock<std::mutex> lock(s.lock);
    r->dead = true;
    r->enabled = false;
    r->pending = 0;
    if (r->delivering) {
        if (t_interruptThread) {
            lock.unlock();
            KshimViolation("interrupt object deleted from an interrupt service routine", nullptr);
            return;
        }
        kshim::host::WaitUntil(lock, s.changed, INT64_MAX, [&] { return !r->delivering; }, kshim::host::kNoRealLimit,
                               "interrupt.cancel");
    }
    if (r->listed) {
        for (auto it = s.lines.begin(); it != s.lines.end(); ++it) {
            if (*it == r) {
                s.lines.erase(it);
                break;
            }
        }
        r->listed = false;
        if (s.next >= s.lines.size()) {
            s.next = 0;
        }
    }
}

}  // namespace kshim::engine

// Waits until every deferred routine queued before the call has finished.
void KeFlushQueuedDpcs()
{
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        char detail[64];
        std::snprintf(detail, sizeof(detail), "KeFlushQueuedDpcs at IRQL %u",
                      static_cast<unsigned>(KeGetCurrentIrql()));
        KshimViolation("PASSIVE_LEVEL call above PASSIVE_LEVEL", detail);
        return;
    }
    kshim::engine::DpcFlushQueued();
}
