// The NDIS subset.
#include <thread>

#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/ndis.h"

void NdisInitializeEvent(PNDIS_EVENT event) { KeInitializeEvent(&event->Event, NotificationEvent, FALSE); }

void NdisSetEvent(PNDIS_EVENT event) { KeSetEvent(&event->Event, 0, FALSE); }

void NdisResetEvent(PNDIS_EVENT event) { KeResetEvent(&event->Event); }

BOOLEAN NdisWaitEvent(PNDIS_EVENT event, UINT32 msToWait)
{
    KshimMayBlock("NdisWaitEvent");
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(msToWait) * 10000;
    NTSTATUS status = KeWaitForSingleObject(&event->Event, Executive, KernelMode, FALSE,
                                            msToWait == 0 ? nullptr : &timeout);
    return static_cast<BOOLEAN>(status == STATUS_SUCCESS);
}

void NdisMSleep(ULONG microseconds)
{
    KshimMayBlock("NdisMSleep");
    kshim::ClockSleep(static_cast<int64_t>(microseconds) * 10);
}

namespace {
std::atomic<UINT32> g_ndisVersion{0x0006001E};
}

UINT32 NdisGetVersion() { return g_ndisVersion.load(); }

namespace kshim::host {
void SetNdisVersion(uint32_t version) { g_ndisVersion.store(version); }
}  // namespace kshim::host

void NdisInitializeReadWriteLock(PNDIS_RW_LOCK lock) { lock->State.store(0, std::memory_order_relaxed); }

void NdisAcquireReadWriteLock(PNDIS_RW_LOCK lock, BOOLEAN write, PLOCK_STATE lockState)
{
    KIRQL old = KeGetCurrentIrql();
    if (old > DISPATCH_LEVEL) {
        KshimViolation("reader-writer lock acquired above DISPATCH_LEVEL", nullptr);
    } else {
        KIRQL ignored;
        KeRaiseIrql(DISPATCH_LEVEL, &ignored);
    }
    unsigned spins = 0;
    for (;;) {
        LONG state = lock->State.load(std::memory_order_relaxed);
        if (write) {
            if (state == 0 && lock->State.compare_exchange_weak(state, -1, std::memory_order_acquire)) {
                break;
            }
        } else if (state >= 0 && lock->State.compare_exchange_weak(state, state + 1, std::memory_order_acquire)) {
            break;
        }
        if (++spins < 64) {
            __builtin_ia32_pause();
        } else {
            std::this_thread::yield();
        }
    }
    kshim::NoteSpinLock(+1);
    lockState->OldIrql = old;
    lockState->Write = write ? 1 : 0;
}

void NdisReleaseReadWriteLock(PNDIS_RW_LOCK lock, PLOCK_STATE lockState)
{
    if (lockState->Write) {
        if (lock->State.load() != -1) {
            KshimViolation("reader-writer lock released for writing while not held for writing", nullptr);
            return;
        }
        lock->State.store(0, std::memory_order_release);
    } else {
        if (lock->State.load() <= 0) {
            KshimViolation("reader-writer lock released for reading while not held for reading", nullptr);
            return;
        }
        lock->State.fetch_sub(1, std::memory_order_release);
    }
    kshim::NoteSpinLock(-1);
    KeLowerIrql(lockState->OldIrql);
}
