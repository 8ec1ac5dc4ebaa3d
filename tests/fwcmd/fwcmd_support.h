// What the firmware command fixtures share: the command thread's body and a sender run against the
// stand-in's manual clock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>

#include "Common/qzcmd.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

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

// Runs `send` on another (passive) thread while the manual clock is stepped by `stepMs` until it
// returns; gives its status and the virtual milliseconds it took.
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
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        if (!done) {
            kshim::host::ClockAdvanceMs(stepMs);
        }
    }
    sender.join();
    return {status, (end.load() - start) / 10000};
}

}  // namespace fwcmdtest
