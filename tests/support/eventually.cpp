// The tests' one wait for what the simulation does on its own threads.
#include "support/eventually.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "kshim/host/control.h"
#include "kshim/host/wait.h"

namespace qzl_test {

bool Eventually(const std::function<bool()>& pred, unsigned limitMs)
{
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    const int64_t deadline = kshim::host::ClockNow() + static_cast<int64_t>(limitMs) * 10000;
    const steady_clock::time_point hostLimit = steady_clock::now() + milliseconds(std::max(limitMs, 2000u));
    // While something keeps running without settling (a callback spinning on a gate), pred() is looked
    // at again after a short host-time slice that grows while nothing settles.
    milliseconds slice(1);
    uint64_t epoch = kshim::host::ProgressEpoch();
    for (;;) {
        if (pred()) {
            return true;
        }
        const steady_clock::time_point now = steady_clock::now();
        if (now >= hostLimit) {
            return pred();
        }
        switch (kshim::host::WaitProgress(&epoch, deadline, std::min(hostLimit, now + slice))) {
        case kshim::host::Progress::Settled:
            slice = milliseconds(1);
            break;
        case kshim::host::Progress::HostLimit:
        case kshim::host::Progress::Nothing:
        case kshim::host::Progress::TimeUp:
            // Nothing the stand-in sees can happen, but a thread of the test it does not count (one
            // that has not called into it yet) may still act: look again after a growing slice. The
            // same once the clock's limit has passed: the automatic clock may have moved past it while
            // such a thread was still on its way, so the host's limit ends the wait.
            if (now + slice > steady_clock::now()) {
                std::this_thread::sleep_until(now + slice);
            }
            slice = std::min(slice * 2, milliseconds(50));
            break;
        }
    }
}

bool Settle(unsigned realLimitMs) { return kshim::host::WaitIdle(realLimitMs); }

}  // namespace qzl_test
