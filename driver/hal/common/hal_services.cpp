// Chip-layer calls of the shell whose code comes with the chip layer.
#include "hal/common/hal_services.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS fwLogMmioHandler() { return NOT_BUILT_YET(); }

NTSTATUS fwLogMmioInitMcu(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    // The bring-up stops when the log set-up fails; until the log reader exists there is nothing to
    // set up, the log stays inactive and the answer is 0.
    (void)NOT_BUILT_YET();
    return STATUS_SUCCESS;
}

VOID fwLogMmioStart() { (void)NOT_BUILT_YET(); }

VOID fwLogMmioStop() { (void)NOT_BUILT_YET(); }

VOID fwLogCtrlDeInitSubCtrl() { (void)NOT_BUILT_YET(); }

NTSTATUS kalSyncTimeToFW(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

VOID HalShowHostCsrInfo(PMP_ADAPTER adapter)
{
    __atomic_store_n(&adapter->DumpInProgress, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    if (ops.ShowPcieWfdmaInfo != nullptr) {
        ops.ShowPcieWfdmaInfo(adapter);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "the chip has no ShowPcieWfdmaInfo");
    }
    if (ops.ShowHostCsrInfo != nullptr) {
        ops.ShowHostCsrInfo(adapter);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "the chip has no ShowHostCsrInfo");
    }
    if (ops.DumpPPDebugCr != nullptr) {
        ops.DumpPPDebugCr(adapter);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "the chip has no DumpPPDebugCr");
    }
    if (ops.ShowPleInfo != nullptr) {
        ops.ShowPleInfo(adapter, 1);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "the chip has no ShowPleInfo");
    }
    if (ops.ShowPseInfo != nullptr) {
        ops.ShowPseInfo(adapter);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "the chip has no ShowPseInfo");
    }
    __atomic_store_n(&adapter->DumpInProgress, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
}
