// Receive processing: the receive threads.
#include "Common/recv.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6pci.h"

namespace {

void RxThreadLoop(PMP_ADAPTER adapter, ULONG ring)
{
    PPLATFORM_THREAD thread = &adapter->HifContext->RxThread[ring];
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() != 1) {
        (void)PlatformWaitEvent(&thread->WakeEvent, 0);
        if (adapter->StopThreads.load() == 1) {
            break;
        }
        (void)N6PciProcRxDonePkt(adapter, ring);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "receive thread of ring %u ends", static_cast<unsigned>(ring));
}

}  // namespace

void RxThreadProc0(PVOID context) { RxThreadLoop(static_cast<PMP_ADAPTER>(context), 0); }
void RxThreadProc1(PVOID context) { RxThreadLoop(static_cast<PMP_ADAPTER>(context), 1); }
void RxThreadProc2(PVOID context) { RxThreadLoop(static_cast<PMP_ADAPTER>(context), 2); }

// ---- frame processing after the per-chip dispatch --------------------------------------------------------
VOID RecvFlushPortIndications(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}
