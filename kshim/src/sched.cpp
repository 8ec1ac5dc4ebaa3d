// The simulation's threads and their waits (kshim/host/wait.h): which threads run, which wait and until
// when, and the clock's own thread that acts when none runs.
//
// `running` counts the threads that take part and are not blocked. A wait registers its record (Block)
// and takes one off the count; whoever makes a blocked thread runnable counts it back at once, under
// the same lock (a notify, the clock's sweep), so that the count never reads zero while a thread is
// about to run. A thread that wakes by itself (a real-time limit, a spurious wake-up) counts itself
// back. When the count reaches zero, the clock thread wakes the idle waits that asked for that point,
// and on the automatic clock moves time on to the earliest deadline and wakes the waits it reached.
//
// The clock thread notifies a waiter's condition under the waiter's mutex (so that no wake-up falls
// between a waiter's check and its sleep) and pins the record meanwhile: a waiter leaving its wait
// waits for the pins to go, without its mutex, before its record (on its stack) goes away.
#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "internal.h"
#include "kshim/host/wait.h"

namespace kshim::host::waitdetail {
namespace {

struct List {
    Waiter head;
    List() { head.prev = head.next = &head; }
};

void Link(Waiter* head, Waiter* w)
{
    w->next = head;
    w->prev = head->prev;
    head->prev->next = w;
    head->prev = w;
}

void Unlink(Waiter* w)
{
    w->prev->next = w->next;
    w->next->prev = w->prev;
    w->prev = w->next = nullptr;
}

struct Sched {
    std::mutex lock;
    std::condition_variable clockWake;  // the clock thread: the count reached zero, or time moved
    std::condition_variable unpinned;   // a sweep let go of its records
    List blocked;                       // every registered wait
    unsigned running = 0;
    unsigned blockedCount = 0;
    uint64_t epoch = 0;     // counts the times a thread (not an idle wait) became runnable
    bool dirty = false;     // the count reached zero (or an idle wait came) since the clock thread looked
    bool sweepDue = false;  // time moved: wake the waits whose deadline passed
    bool sweepAll = false;  // the clock changed: every timed wait computes its sleep again
    bool started = false;
};

Sched& S()
{
    static Sched* s = new Sched();
    return *s;
}

thread_local bool t_counted = false;

// Counts a thread that ends without SchedLeave (a thread that only called into the stand-in).
struct Leaver {
    ~Leaver()
    {
        if (t_counted) {
            kshim::SchedLeave();
        }
    }
};

// The named points: how many waits block at each. Its mutex is taken after a waiter's own (never the
// other way round) and under no lock of the scheduler.
struct Points {
    std::mutex lock;
    kshim::host::WaitCond changed;
    std::map<std::string, unsigned> blocked;
};

Points& ThePoints()
{
    static Points* p = new Points();
    return *p;
}

void NotePoint(const char* point, int delta)
{
    Points& p = ThePoints();
    {
        std::lock_guard<std::mutex> guard(p.lock);
        p.blocked[point] += static_cast<unsigned>(delta);
    }
    p.changed.NotifyAll();
}

void NoteRunningLocked(Sched& s, const Waiter* w)
{
    ++s.running;
    if (!w->idleWaiter) {
        ++s.epoch;
    }
}

void NoteBlockedLocked(Sched& s)
{
    --s.running;
    if (s.running == 0) {
        s.dirty = true;
        s.clockWake.notify_one();
    }
}

// Marks a blocked record runnable (counted back) and returns whether it was not yet.
bool WakeLocked(Sched& s, Waiter* w)
{
    if (w->woken) {
        return false;
    }
    w->woken = true;
    if (w->counted) {
        NoteRunningLocked(s, w);
    }
    return true;
}

void ClockThreadMain();

void StartClockThreadLocked(Sched& s)
{
    if (!s.started) {
        s.started = true;
        std::thread(ClockThreadMain).detach();
    }
}

// Wakes each record of `woken` (marked and pinned under the lock) under its own mutex, then unpins.
void Deliver(Sched& s, std::unique_lock<std::mutex>& lock, std::vector<Waiter*>& woken)
{
    if (woken.empty()) {
        return;
    }
    lock.unlock();
    for (Waiter* w : woken) {
        std::lock_guard<std::mutex> guard(*w->mutex);
        w->cond->cv().notify_all();
    }
    lock.lock();
    for (Waiter* w : woken) {
        --w->pins;
    }
    woken.clear();
    s.unpinned.notify_all();
}

void Collect(Sched& s, std::vector<Waiter*>& woken, Waiter* w)
{
    if (WakeLocked(s, w)) {
        ++w->pins;
        woken.push_back(w);
    }
}

void ClockThreadMain()
{
    Sched& s = S();
    std::vector<Waiter*> woken;
    std::unique_lock<std::mutex> lock(s.lock);
    for (;;) {
        s.clockWake.wait(lock, [&] { return s.sweepDue || s.sweepAll || (s.running == 0 && s.dirty); });
        if (s.sweepAll || s.sweepDue) {
            bool all = s.sweepAll;
            s.sweepAll = s.sweepDue = false;
            int64_t now = kshim::ClockNow();
            for (Waiter* w = s.blocked.head.next; w != &s.blocked.head; w = w->next) {
                bool timed = w->deadline != INT64_MAX || w->realLimit != kNoRealLimit;
                if ((all && timed) || (w->deadline != INT64_MAX && w->deadline <= now)) {
                    Collect(s, woken, w);
                }
            }
            s.dirty = true;
            Deliver(s, lock, woken);
            continue;
        }
        // Nothing runs. First the idle waits that want this point.
        for (Waiter* w = s.blocked.head.next; w != &s.blocked.head; w = w->next) {
            if (w->idleWaiter && !w->woken && w->idleEpoch != s.epoch) {
                Collect(s, woken, w);
            }
        }
        if (!woken.empty()) {
            Deliver(s, lock, woken);
            continue;
        }
        // Then, on the automatic clock, time moves on to the earliest deadline.
        int64_t earliest = INT64_MAX;
        for (Waiter* w = s.blocked.head.next; w != &s.blocked.head; w = w->next) {
            if (!w->woken && w->deadline < earliest) {
                earliest = w->deadline;
            }
        }
        kshim::ClockMode mode = kshim::ClockCurrentMode();
        if (mode == kshim::ClockMode::Auto && earliest != INT64_MAX) {
            kshim::ClockJumpTo(earliest);
            int64_t now = kshim::ClockNow();
            for (Waiter* w = s.blocked.head.next; w != &s.blocked.head; w = w->next) {
                if (w->deadline <= now) {
                    Collect(s, woken, w);
                }
            }
            Deliver(s, lock, woken);
            continue;
        }
        // Nothing will happen by itself (the manual clock stands, or the automatic clock has no deadline
        // left): an idle wait that wants progress learns so. In real time a thread the stand-in does not
        // see may still act, and time runs towards the deadlines.
        bool stuck = mode == kshim::ClockMode::Manual || (mode == kshim::ClockMode::Auto && earliest == INT64_MAX);
        if (stuck) {
            for (Waiter* w = s.blocked.head.next; w != &s.blocked.head; w = w->next) {
                if (w->idleWaiter) {
                    w->idleEpoch = ~0ull;  // tells WaitProgress that nothing can happen
                    Collect(s, woken, w);
                }
            }
        }
        s.dirty = false;
        Deliver(s, lock, woken);
    }
}

}  // namespace

void Block(Waiter* w)
{
    kshim::SchedParticipate();
    {
        Sched& s = S();
        std::lock_guard<std::mutex> guard(s.lock);
        StartClockThreadLocked(s);
        w->counted = t_counted;
        Link(&s.blocked.head, w);
        ++s.blockedCount;
        w->cond->LinkLocked(w);
        if (w->counted) {
            NoteBlockedLocked(s);
        }
        if (w->idleWaiter && s.running == 0) {
            s.dirty = true;
            s.clockWake.notify_one();
        }
    }
    if (w->point != nullptr) {
        NotePoint(w->point, +1);
    }
}

void Sleep(Waiter* w, std::unique_lock<std::mutex>& lock)
{
    std::condition_variable& cv = w->cond->cv();
    auto limit = w->realLimit;
    if (w->deadline != INT64_MAX) {
        std::chrono::nanoseconds span = kshim::ClockRealSpan(w->deadline - kshim::ClockNow());
        if (span != std::chrono::nanoseconds::max()) {
            auto now = std::chrono::steady_clock::now();
            auto room = std::chrono::duration_cast<std::chrono::nanoseconds>(kNoRealLimit - now);
            auto at = span >= room ? kNoRealLimit : now + span;
            limit = std::min(limit, at);
        }
    }
    if (limit == kNoRealLimit) {
        cv.wait(lock);
    } else {
        cv.wait_until(lock, limit);
    }
}

void Unblock(Waiter* w, std::unique_lock<std::mutex>& lock)
{
    if (w->point != nullptr) {
        NotePoint(w->point, -1);
    }
    Sched& s = S();
    std::unique_lock<std::mutex> guard(s.lock);
    Unlink(w);
    --s.blockedCount;
    w->cond->UnlinkLocked(w);
    if (w->counted && !w->woken) {
        NoteRunningLocked(s, w);
    }
    if (w->pins > 0) {
        guard.unlock();
        lock.unlock();
        guard.lock();
        s.unpinned.wait(guard, [&] { return w->pins == 0; });
        guard.unlock();
        lock.lock();
    }
}

int64_t Now() { return kshim::ClockNow(); }

}  // namespace kshim::host::waitdetail

namespace kshim {

using kshim::host::waitdetail::S;
using kshim::host::waitdetail::Sched;
using kshim::host::waitdetail::t_counted;

void SchedParticipate()
{
    if (t_counted) {
        return;
    }
    static thread_local kshim::host::waitdetail::Leaver leaver;
    (void)&leaver;
    Sched& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    t_counted = true;
    ++s.running;
    ++s.epoch;
}

void SchedPrecount()
{
    Sched& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    ++s.running;
    ++s.epoch;
}

void SchedUncount()
{
    Sched& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    kshim::host::waitdetail::NoteBlockedLocked(s);
}

void SchedAdopt()
{
    static thread_local kshim::host::waitdetail::Leaver leaver;
    (void)&leaver;
    t_counted = true;
}

void SchedLeave()
{
    if (!t_counted) {
        return;
    }
    t_counted = false;
    Sched& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    kshim::host::waitdetail::NoteBlockedLocked(s);
}

void SchedNotePoint(const char* point, int delta) { kshim::host::waitdetail::NotePoint(point, delta); }

void SchedTimeMoved(bool all)
{
    Sched& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.blockedCount == 0) {
        return;
    }
    (all ? s.sweepAll : s.sweepDue) = true;
    kshim::host::waitdetail::StartClockThreadLocked(s);
    s.clockWake.notify_one();
}

}  // namespace kshim

namespace kshim::host {

using waitdetail::S;
using waitdetail::Sched;
using waitdetail::Waiter;

void WaitCond::NotifyAll()
{
    if (waiters_.load(std::memory_order_acquire) != 0) {
        Sched& s = S();
        std::lock_guard<std::mutex> guard(s.lock);
        for (Waiter* w = head_.condNext; w != &head_; w = w->condNext) {
            waitdetail::WakeLocked(s, w);
        }
    }
    cv_.notify_all();
}

void WaitCond::LinkLocked(Waiter* w)
{
    if (head_.condNext == nullptr) {
        head_.condNext = head_.condPrev = &head_;
    }
    w->condNext = &head_;
    w->condPrev = head_.condPrev;
    head_.condPrev->condNext = w;
    head_.condPrev = w;
    waiters_.fetch_add(1, std::memory_order_release);
}

void WaitCond::UnlinkLocked(Waiter* w)
{
    w->condPrev->condNext = w->condNext;
    w->condNext->condPrev = w->condPrev;
    w->condPrev = w->condNext = nullptr;
    waiters_.fetch_sub(1, std::memory_order_release);
}

SimThread::SimThread(std::function<void()> body)
{
    kshim::SchedPrecount();
    try {
        thread_ = std::thread([body = std::move(body)] {
            kshim::SchedAdopt();
            body();
            kshim::SchedLeave();
        });
    } catch (...) {
        kshim::SchedUncount();
        throw;
    }
}

SimThread::~SimThread() { Join(); }

SimThread& SimThread::operator=(SimThread&& other) noexcept
{
    Join();
    thread_ = std::move(other.thread_);
    return *this;
}

void SimThread::Join()
{
    if (thread_.joinable()) {
        thread_.join();
    }
}

void StartDetachedThread(std::function<void()> body)
{
    kshim::SchedPrecount();
    try {
        std::thread([body = std::move(body)] {
            kshim::SchedAdopt();
            body();
            kshim::SchedLeave();
        }).detach();
    } catch (...) {
        kshim::SchedUncount();
        throw;
    }
}

namespace {

// An idle wait: the caller's record asks the clock thread to wake it when nothing runs (and, with
// `wantChange`, only when something ran since `*epoch`).
bool IdleWait(uint64_t* epoch, bool wantChange, int64_t deadline, std::chrono::steady_clock::time_point realLimit,
              bool* stuck)
{
    static std::mutex mutex;  // the idle waits' own: nothing else waits under it
    static WaitCond* cond = new WaitCond();
    std::unique_lock<std::mutex> lock(mutex);
    *stuck = false;
    Waiter w;
    w.cond = cond;
    w.mutex = &mutex;
    w.deadline = deadline;
    w.realLimit = realLimit;
    w.idleWaiter = true;
    w.idleEpoch = wantChange ? *epoch : ~0ull - 1;
    waitdetail::Block(&w);
    waitdetail::Sleep(&w, lock);
    bool woken;
    {
        Sched& s = S();
        std::lock_guard<std::mutex> guard(s.lock);
        woken = w.woken;
        *stuck = w.idleEpoch == ~0ull;
        *epoch = s.epoch;
    }
    waitdetail::Unblock(&w, lock);
    return woken;
}

}  // namespace

bool WaitIdle(unsigned realLimitMs)
{
    auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(realLimitMs);
    uint64_t epoch = 0;
    for (;;) {
        bool stuck = false;
        if (IdleWait(&epoch, false, INT64_MAX, limit, &stuck)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= limit) {
            return false;
        }
    }
}

uint64_t ProgressEpoch()
{
    Sched& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.epoch;
}

Progress WaitProgress(uint64_t* epoch, int64_t deadline, std::chrono::steady_clock::time_point realLimit)
{
    for (;;) {
        if (deadline != INT64_MAX && kshim::ClockNow() >= deadline) {
            return Progress::TimeUp;
        }
        if (std::chrono::steady_clock::now() >= realLimit) {
            return Progress::HostLimit;
        }
        bool stuck = false;
        uint64_t seen = *epoch;
        bool woken = IdleWait(epoch, true, deadline, realLimit, &stuck);
        if (stuck) {
            return Progress::Nothing;
        }
        if (woken && *epoch != seen) {
            return Progress::Settled;
        }
    }
}

bool WaitBlockedAt(const char* point, unsigned count, unsigned realLimitMs)
{
    waitdetail::Points& p = waitdetail::ThePoints();
    std::unique_lock<std::mutex> lock(p.lock);
    return WaitUntil(lock, p.changed, INT64_MAX, [&] { return p.blocked[point] >= count; },
                     std::chrono::steady_clock::now() + std::chrono::milliseconds(realLimitMs));
}

unsigned BlockedAt(const char* point)
{
    waitdetail::Points& p = waitdetail::ThePoints();
    std::lock_guard<std::mutex> guard(p.lock);
    return p.blocked[point];
}

unsigned SimThreadsRunning()
{
    Sched& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.running;
}

}  // namespace kshim::host
