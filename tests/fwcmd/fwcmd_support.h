// What the firmware command fixtures share: the command thread's body and a sender run against the
// stand-in's manual clock.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "Common/qzcmd.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"

namespace fwcmdtest {

// The body of "PlatformFWCmdThread" as the shell runs it (without the low-power ownership).
inline VOID FwCmdThreadBody(PVOID context)
{
    auto* a = static_cast<PMP_ADAPTER>(context);
    while (!PlatformThreadsStopping(a)) {
        (void)PlatformWaitEvent(&a->FwCmdThread.WakeEvent, 0);
        (void)QzCmdDequeueFWCmd(a, 0);
    }
}

// Whether every other thread of the process sleeps: none is runnable or in an uninterruptible wait,
// so nothing is under way that could still get somewhere before the manual clock moves.
inline bool OtherThreadsAsleep()
{
    const std::string self = std::to_string(gettid());
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        if (task.path().filename() == self) {
            continue;
        }
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // "tid (name) state ...": the name may hold parentheses.
        const size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) {
            continue;  // the thread has gone
        }
        const char state = line[close + 2];
        if (state == 'R' || state == 'D') {
            return false;
        }
    }
    return true;
}

// Runs `send` on another (passive) thread while the manual clock is stepped by `stepMs` until it
// returns; gives its status and the virtual milliseconds it took. Each step waits until the other
// threads have settled (at most a second of real time): on a loaded machine the test slows down
// instead of letting virtual time run past work that has not had its turn yet.
template <typename F>
std::pair<NTSTATUS, int64_t> RunWithManualClock(F send, int64_t stepMs = 250)
{
    kshim::host::ClockSetManual();
    std::atomic<bool> done{false};
    NTSTATUS status = STATUS_SUCCESS;
    const int64_t start = kshim::host::ClockNow();
    std::atomic<int64_t> end{start};
    std::thread sender([&] {
        status = send();
        end = kshim::host::ClockNow();
        done = true;
    });
    for (int i = 0; i < 2000 && !done; ++i) {
        // A timed wait reads the manual clock about every millisecond: give it time to see the
        // last step before checking that it went back to sleep.
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!done && !OtherThreadsAsleep() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!done) {
            kshim::host::ClockAdvanceMs(stepMs);
        }
    }
    sender.join();
    return {status, (end.load() - start) / 10000};
}

}  // namespace fwcmdtest
