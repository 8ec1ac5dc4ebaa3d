// The one clock of the stand-in.
//
// Three modes: real time (the host's time times an integer speed-up), manual (time stands until the
// harness advances it, or a processor stall does), and automatic (real time, except that whenever no
// thread of the simulation is running the clock moves straight on to the next deadline; see
// kshim/host/wait.h). Readers never take a lock: the parameters are published under a sequence count.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/host/wait.h"

namespace kshim {
namespace {

// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000LL;

int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Written under Writer's lock, between two increments of `seq` (odd while a change is under way).
std::atomic<uint64_t> g_seq{0};
std::atomic<int> g_mode{static_cast<int>(ClockMode::Real)};
std::atomic<int64_t> g_base{0};     // real and automatic: system time at g_startNs; manual: the time
std::atomic<int64_t> g_startNs{0};  // host steady time of g_base
std::atomic<unsigned> g_speedup{1};

struct Writer {
    std::mutex lock;
    int64_t localOffset = 0;
    std::vector<std::function<void(int64_t)>> listeners;
};

Writer& TheWriter()
{
    static Writer* writer = [] {
        auto* w = new Writer();
        auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
        g_base.store(kEpochDelta + wall / 100, std::memory_order_relaxed);
        g_startNs.store(SteadyNs(), std::memory_order_relaxed);
        return w;
    }();
    return *writer;
}

struct Snapshot {
    ClockMode mode;
    int64_t base;
    int64_t startNs;
    unsigned speedup;
};

Snapshot Read()
{
    for (;;) {
        uint64_t before = g_seq.load(std::memory_order_acquire);
        if ((before & 1) != 0) {
            std::this_thread::yield();
            continue;
        }
        Snapshot s{static_cast<ClockMode>(g_mode.load(std::memory_order_relaxed)),
                   g_base.load(std::memory_order_relaxed), g_startNs.load(std::memory_order_relaxed),
                   g_speedup.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if (g_seq.load(std::memory_order_relaxed) == before) {
            return s;
        }
    }
}

int64_t NowOf(const Snapshot& s)
{
    if (s.mode == ClockMode::Manual) {
        return s.base;
    }
    return s.base + ((SteadyNs() - s.startNs) / 100) * static_cast<int64_t>(s.speedup);
}

// Publishes new parameters; the caller holds the writer's lock.
void PublishLocked(ClockMode mode, int64_t base, int64_t startNs, unsigned speedup)
{
    g_seq.fetch_add(1, std::memory_order_acq_rel);
    std::atomic_thread_fence(std::memory_order_release);
    g_mode.store(static_cast<int>(mode), std::memory_order_relaxed);
    g_base.store(base, std::memory_order_relaxed);
    g_startNs.store(startNs, std::memory_order_relaxed);
    g_speedup.store(speedup, std::memory_order_relaxed);
    g_seq.fetch_add(1, std::memory_order_release);
}

}  // namespace

int64_t ClockNow()
{
    TheWriter();
    return NowOf(Read());
}

int64_t ClockLocalOffset()
{
    Writer& w = TheWriter();
    std::lock_guard<std::mutex> guard(w.lock);
    return w.localOffset;
}

bool ClockManual() { return ClockCurrentMode() == ClockMode::Manual; }

ClockMode ClockCurrentMode()
{
    TheWriter();
    return static_cast<ClockMode>(g_mode.load(std::memory_order_acquire));
}

std::chrono::nanoseconds ClockRealSpan(int64_t span100ns)
{
    Snapshot s = Read();
    if (s.mode == ClockMode::Manual) {
        return std::chrono::nanoseconds::max();
    }
    if (span100ns <= 0) {
        return std::chrono::nanoseconds(0);
    }
    int64_t per = static_cast<int64_t>(s.speedup);
    if (span100ns > INT64_MAX / 100) {
        return std::chrono::nanoseconds::max();
    }
    return std::chrono::nanoseconds(span100ns * 100 / per);
}

bool ClockJumpTo(int64_t target)
{
    Writer& w = TheWriter();
    std::lock_guard<std::mutex> guard(w.lock);
    Snapshot s = Read();
    if (s.mode != ClockMode::Auto) {
        return false;
    }
    int64_t now = NowOf(s);
    if (target <= now) {
        return false;
    }
    PublishLocked(s.mode, s.base + (target - now), s.startNs, s.speedup);
    return true;
}

void ClockSleep(int64_t units100ns)
{
    std::mutex m;
    kshim::host::WaitCond cond;
    std::unique_lock<std::mutex> lock(m);
    int64_t now = ClockNow();
    int64_t deadline = units100ns >= INT64_MAX - now ? INT64_MAX : now + units100ns;
    kshim::host::WaitUntil(lock, cond, deadline, [] { return false; }, kshim::host::kNoRealLimit, "sleep");
}

void ClockStall(int64_t units100ns)
{
    switch (ClockCurrentMode()) {
    case ClockMode::Manual:
        kshim::host::ClockAdvance(units100ns);
        return;
    case ClockMode::Auto: {
        // The processor spends the time: the clock moves on by it at once, as it does for a wait.
        Writer& w = TheWriter();
        {
            std::lock_guard<std::mutex> guard(w.lock);
            Snapshot s = Read();
            if (s.mode == ClockMode::Auto) {
                PublishLocked(s.mode, s.base + units100ns, s.startNs, s.speedup);
            }
        }
        SchedTimeMoved(false);
        return;
    }
    case ClockMode::Real: {
        int64_t deadline = ClockNow() + units100ns;
        while (ClockNow() < deadline) {
            __builtin_ia32_pause();
        }
        return;
    }
    }
}

}  // namespace kshim

namespace kshim::host {

using kshim::ClockMode;

namespace {

void SetMode(ClockMode mode, unsigned speedup)
{
    kshim::Writer& w = kshim::TheWriter();
    {
        std::lock_guard<std::mutex> guard(w.lock);
        kshim::Snapshot s = kshim::Read();
        int64_t now = kshim::NowOf(s);
        if (mode == ClockMode::Manual && s.mode == ClockMode::Manual) {
            return;
        }
        kshim::PublishLocked(mode, now, kshim::SteadyNs(), speedup == 0 ? 1 : speedup);
    }
    kshim::SchedTimeMoved(true);
}

}  // namespace

void ClockSetReal(unsigned speedup)
{
    kshim::SchedParticipate();
    SetMode(ClockMode::Real, speedup);
}

void ClockSetAuto(unsigned speedup)
{
    kshim::SchedParticipate();
    SetMode(ClockMode::Auto, speedup);
}

void ClockSetManual()
{
    kshim::SchedParticipate();
    SetMode(ClockMode::Manual, kshim::Read().speedup);
}

bool ClockIsManual() { return kshim::ClockManual(); }

bool ClockIsAuto() { return kshim::ClockCurrentMode() == ClockMode::Auto; }

unsigned ClockSpeedup() { return kshim::Read().speedup; }

void ClockAdvance(int64_t units100ns)
{
    kshim::Writer& w = kshim::TheWriter();
    std::vector<std::function<void(int64_t)>> listeners;
    int64_t now;
    {
        std::lock_guard<std::mutex> guard(w.lock);
        kshim::Snapshot s = kshim::Read();
        if (s.mode != ClockMode::Manual || units100ns < 0) {
            return;
        }
        now = s.base + units100ns;
        kshim::PublishLocked(s.mode, now, s.startNs, s.speedup);
        listeners = w.listeners;
    }
    kshim::SchedTimeMoved(false);
    for (auto& l : listeners) {
        l(now);
    }
}

void ClockSetSystemTime(int64_t systemTime100ns)
{
    kshim::Writer& w = kshim::TheWriter();
    {
        std::lock_guard<std::mutex> guard(w.lock);
        kshim::Snapshot s = kshim::Read();
        kshim::PublishLocked(s.mode, systemTime100ns, kshim::SteadyNs(), s.speedup);
    }
    kshim::SchedTimeMoved(true);
}

void ClockSetLocalOffset(int64_t offset100ns)
{
    kshim::Writer& w = kshim::TheWriter();
    std::lock_guard<std::mutex> guard(w.lock);
    w.localOffset = offset100ns;
}

int64_t ClockNow() { return kshim::ClockNow(); }

void ClockOnAdvance(std::function<void(int64_t)> listener)
{
    kshim::Writer& w = kshim::TheWriter();
    std::lock_guard<std::mutex> guard(w.lock);
    w.listeners.push_back(std::move(listener));
}

}  // namespace kshim::host
