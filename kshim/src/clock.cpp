// The one clock of the stand-in.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "internal.h"
#include "kshim/host/control.h"

namespace kshim {
namespace {

// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000LL;

struct ClockState {
    std::mutex lock;
    bool manual = false;
    unsigned speedup = 1;
    int64_t base = 0;                                   // system time at `start`
    std::chrono::steady_clock::time_point start;
    int64_t manualNow = 0;
    int64_t localOffset = 0;
    std::vector<std::function<void(int64_t)>> listeners;
};

ClockState& State()
{
    static ClockState* state = [] {
        auto* s = new ClockState();
        auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
        s->base = kEpochDelta + wall / 100;
        s->start = std::chrono::steady_clock::now();
        return s;
    }();
    return *state;
}

std::atomic<bool> g_manual{false};
std::atomic<int64_t> g_manualNow{0};
std::atomic<unsigned> g_speedup{1};

int64_t RealNowLocked(ClockState& s)
{
    auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                        s.start)
                       .count();
    return s.base + (elapsed / 100) * static_cast<int64_t>(s.speedup);
}

}  // namespace

int64_t ClockNow()
{
    if (g_manual.load(std::memory_order_acquire)) {
        return g_manualNow.load(std::memory_order_acquire);
    }
    ClockState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return RealNowLocked(s);
}

int64_t ClockLocalOffset()
{
    ClockState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.localOffset;
}

bool ClockManual() { return g_manual.load(std::memory_order_acquire); }

std::chrono::nanoseconds ClockSlice(int64_t remaining100ns)
{
    if (ClockManual()) {
        return std::chrono::milliseconds(1);
    }
    constexpr int64_t kMaxSliceNs = 20'000'000;  // re-read the clock at least every 20 ms
    if (remaining100ns == INT64_MAX) {
        return std::chrono::nanoseconds(kMaxSliceNs);
    }
    int64_t ns = remaining100ns * 100 / static_cast<int64_t>(g_speedup.load());
    if (ns > kMaxSliceNs) {
        ns = kMaxSliceNs;
    }
    return std::chrono::nanoseconds(ns < 1000 ? 1000 : ns);
}

void ClockSleep(int64_t units100ns)
{
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock<std::mutex> lock(m);
    int64_t deadline = ClockNow() + units100ns;
    ClockWaitUntil(lock, cv, deadline, [] { return false; });
}

}  // namespace kshim

namespace kshim::host {

void ClockSetReal(unsigned speedup)
{
    ClockState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    int64_t now = s.manual ? s.manualNow : RealNowLocked(s);
    s.manual = false;
    s.speedup = speedup == 0 ? 1 : speedup;
    s.base = now;
    s.start = std::chrono::steady_clock::now();
    g_speedup.store(s.speedup);
    g_manual.store(false, std::memory_order_release);
}

void ClockSetManual()
{
    ClockState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.manual) {
        s.manualNow = RealNowLocked(s);
        g_manualNow.store(s.manualNow, std::memory_order_release);
    }
    s.manual = true;
    g_manual.store(true, std::memory_order_release);
}

bool ClockIsManual() { return kshim::ClockManual(); }

unsigned ClockSpeedup() { return g_speedup.load(); }

void ClockAdvance(int64_t units100ns)
{
    ClockState& s = State();
    std::vector<std::function<void(int64_t)>> listeners;
    int64_t now;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.manual || units100ns < 0) {
            return;
        }
        s.manualNow += units100ns;
        now = s.manualNow;
        g_manualNow.store(now, std::memory_order_release);
        listeners = s.listeners;
    }
    for (auto& l : listeners) {
        l(now);
    }
}

void ClockSetSystemTime(int64_t systemTime100ns)
{
    ClockState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.manual) {
        s.manualNow = systemTime100ns;
        g_manualNow.store(systemTime100ns, std::memory_order_release);
    } else {
        s.base = systemTime100ns;
        s.start = std::chrono::steady_clock::now();
    }
}

void ClockSetLocalOffset(int64_t offset100ns)
{
    ClockState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.localOffset = offset100ns;
}

int64_t ClockNow() { return kshim::ClockNow(); }

void ClockOnAdvance(std::function<void(int64_t)> listener)
{
    ClockState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.listeners.push_back(std::move(listener));
}

}  // namespace kshim::host
