// What the firmware command fixtures share: the command thread's body and a sender run against the
// stand-in's manual clock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "Common/qzcmd.h"
#include "kshim/host/control.h"
#include "kshim/host/wait.h"
#include "support/eventually.h"
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

// Runs `send` on another (passive) thread while the manual clock is stepped by `stepMs` until it
// returns; gives its status and the virtual milliseconds it took. Each step waits until the other
// threads have settled: on a loaded machine the test slows down instead of letting virtual time run
// past work that has not had its turn yet.
template <typename F>
std::pair<NTSTATUS, int64_t> RunWithManualClock(F send, int64_t stepMs = 250)
{
    kshim::host::ClockSetManual();
    std::atomic<bool> done{false};
    NTSTATUS status = STATUS_SUCCESS;
    const int64_t start = kshim::host::ClockNow();
    std::atomic<int64_t> end{start};
    kshim::host::SimThread sender([&] {
        status = send();
        end = kshim::host::ClockNow();
        done = true;
    });
    for (int i = 0; i < 2000 && !done; ++i) {
        // The clock moves once every thread of the simulation has settled (kshim/host/wait.h).
        if (!qzl_test::Settle() || done) {
            break;
        }
        kshim::host::ClockAdvanceMs(stepMs);
    }
    sender.Join();
    return {status, (end.load() - start) / 10000};
}

}  // namespace fwcmdtest
