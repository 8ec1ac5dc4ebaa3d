// Services of other layers that the firmware event handlers call; see the header.
#include "Common/qzevent_services.h"

#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS QzCmdBtCtrl(PMP_ADAPTER adapter, ULONG value)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(value);
    return NOT_BUILT_YET();
}

VOID HalUpdateHifSuspendState(PPCI_HIF_CONTEXT hif, ULONG state)
{
    if (hif == nullptr) {
        return;
    }
    __atomic_store_n(&hif->SuspendState, state, __ATOMIC_RELEASE);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "host-interface suspend state %u", static_cast<unsigned>(state));
}

VOID ApAgeoutPeerRequest(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry) { (void)NOT_BUILT_YET(); }

ULONG MCCFetchTxRingPauseSettings(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return 0;
}

VOID MCCCurrentTxRingModify(PMP_ADAPTER adapter, ULONG value)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(value);
    (void)NOT_BUILT_YET();
}
