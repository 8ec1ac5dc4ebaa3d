// Chip-layer calls of the shell whose code comes with the chip layer.
#include "hal/common/hal_services.h"

#include <cstring>

#include "Common/fwsettings.h"
#include "hal/common/hal_chip.h"
#include "kshim/ke.h"
#include "kshim/rtl.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG64 kTicksPerSecond = 10000000;
constexpr ULONG64 kSeconds1601To1970 = 11644473600ull;

}  // namespace

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
    if (adapter == nullptr) {
        return STATUS_SUCCESS;
    }
    // Local time in 100 ns units since 1601, then seconds since 1970 and the microseconds.
    LARGE_INTEGER now;
    LARGE_INTEGER local;
    KeQuerySystemTimePrecise(&now);
    ExSystemTimeToLocalTime(&now, &local);
    const ULONG64 ticks = static_cast<ULONG64>(local.QuadPart);
    const ULONG seconds = static_cast<ULONG>(ticks / kTicksPerSecond - kSeconds1601To1970);
    const ULONG microseconds = static_cast<ULONG>((ticks % kTicksPerSecond) / 10);
    // The chips that take the time from registers may not run their RAM code yet; the others take it
    // as a command of the running firmware.
    if (!HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_TIME_BEFORE_RAM_CODE)) {
        __atomic_store_n(&adapter->FwDownloaded, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    }
    if (adapter->HalOps.CcifNotifyUtcTime != nullptr) {
        adapter->HalOps.CcifNotifyUtcTime(adapter, seconds, microseconds);
    } else {
        HalSendUtcTimeText(adapter, seconds, microseconds);
    }
    return STATUS_SUCCESS;
}

VOID HalSendUtcTimeText(PMP_ADAPTER adapter, ULONG seconds, ULONG microseconds)
{
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, CHIP_CONFIG_PAYLOAD_SIZE, TAG_ZV47) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "time sync: no payload");
        return;
    }
    auto* payload = static_cast<PUCHAR>(block);
    PlatformZeroMemory(payload, CHIP_CONFIG_PAYLOAD_SIZE);
    PSTR text = reinterpret_cast<PSTR>(payload + CHIP_CONFIG_TEXT_OFFSET);
    if (NT_SUCCESS(RtlStringCbPrintfA(text, CHIP_CONFIG_TEXT_MAX, "SyncTime %u %u", static_cast<unsigned>(seconds),
                                      static_cast<unsigned>(microseconds)))) {
        const USHORT length = static_cast<USHORT>(std::strlen(text));
        payload[CHIP_CONFIG_LENGTH_OFFSET] = static_cast<UCHAR>(length);
        payload[CHIP_CONFIG_LENGTH_OFFSET + 1] = static_cast<UCHAR>(length >> 8);
        const NTSTATUS status = QzCmdSetChipConfig(adapter, payload);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "%s not sent: 0x%08X", text, static_cast<unsigned>(status));
        }
    }
    PlatformFreeMemory(block, CHIP_CONFIG_PAYLOAD_SIZE);
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
