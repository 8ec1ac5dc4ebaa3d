// Named fault points armed by tests.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "kshim/host/control.h"

namespace {

struct Fault {
    std::string point;
    std::string key;
    unsigned nth;
    unsigned count;  // 0 = every call from the nth on
    NTSTATUS status;
    unsigned seen = 0;
    unsigned fired = 0;
};

std::mutex g_lock;
std::vector<Fault> g_faults;
std::atomic<bool> g_any{false};

}  // namespace

namespace kshim {

bool FaultCheck(const char* point, const char* key, NTSTATUS* status)
{
    if (!g_any.load(std::memory_order_acquire)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    for (Fault& f : g_faults) {
        if (f.point != point || (!f.key.empty() && (key == nullptr || f.key != key))) {
            continue;
        }
        ++f.seen;
        if (f.seen >= f.nth && (f.count == 0 || f.seen < f.nth + f.count)) {
            ++f.fired;
            if (status != nullptr) {
                *status = f.status;
            }
            return true;
        }
    }
    return false;
}

}  // namespace kshim

namespace kshim::host {

void FaultArm(const std::string& point, const std::string& key, unsigned nth, NTSTATUS status, unsigned count)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_faults.push_back(Fault{point, key, nth == 0 ? 1 : nth, count, status});
    g_any.store(true, std::memory_order_release);
}

void FaultClearAll()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_faults.clear();
    g_any.store(false, std::memory_order_release);
}

unsigned FaultFired(const std::string& point)
{
    std::lock_guard<std::mutex> guard(g_lock);
    unsigned n = 0;
    for (const Fault& f : g_faults) {
        if (f.point == point) {
            n += f.fired;
        }
    }
    return n;
}

}  // namespace kshim::host
