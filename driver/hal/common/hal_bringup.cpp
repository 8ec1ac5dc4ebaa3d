// The chip-independent steps of the firmware bring-up.
#include "hal/common/hal_bringup.h"

#include "Common/fwsettings.h"
#include "Common/mlme/mlme.h"
#include "Common/qzcmd.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
#include "kshim/files.h"
#include "kshim/hal.h"
#include "kshim/rtl.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The status an empty operation slot reads as.
constexpr NTSTATUS kEmptySlot = STATUS_NOT_SUPPORTED;

// A download step failed when it answered anything but 0 or "the chip has no such step".
bool StepFailed(NTSTATUS status) { return status != STATUS_SUCCESS && status != kEmptySlot; }

NTSTATUS RunStep(PMP_ADAPTER adapter, PFN_CHIP_STATUS operation)
{
    return operation != nullptr ? operation(adapter) : kEmptySlot;
}

// The chips that take the time before their RAM code download.
bool TimeBeforeRamCode(USHORT deviceId) { return HalDeviceHasFact(deviceId, CHIP_FACT_TIME_BEFORE_RAM_CODE); }

void SetFwInRam(PMP_ADAPTER adapter, UCHAR value)
{
    __atomic_store_n(&adapter->FwDownloaded, value, __ATOMIC_RELEASE);
}

// The firmware-log set-up after the firmware started, and the factory-calibration flag.
void AfterPostDownload(PMP_ADAPTER adapter)
{
    PMP_PORT port0 = adapter->PortList[0];
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    if (r.FWIndexLogCheck) {
        fwLogCtrlDeInitSubCtrl();
        NTSTATUS status = fwLogMmioInitMcu(adapter);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "firmware log set-up after the download: 0x%08X",
                     static_cast<unsigned>(status));
        }
    }
    (void)QzCmdSetFWLog(adapter);
    if (r.FWIndexLogCheck) {
        (void)MlmeUpdateFwlogDropFront(adapter, port0);
        (void)MlmeUpdateFwlogSemaEn(adapter, port0);
        fwLogMmioStart();
        (void)MlmeUpdateFwlogSramEvtBlcok(adapter, port0, 0);
        (void)fwLogMmioHandler();
    }
    if (r.EnablePowerOnCalEnhancement && adapter->Cap.FactoryCalCapable) {
        if (g_FactCalStore.Count == adapter->HalInfo.FactoryCalIdCount &&
            PlatformEqualMemory(g_FactCalStore.MacAddress, adapter->PermanentAddress, MAC_ADDR_LEN)) {
            (void)QzCmdFactCalUpdateFlag(adapter, 0);
        }
    }
}

}  // namespace

VOID HalInitHwCtrlEvents(PMP_ADAPTER adapter)
{
    adapter->HwVersion = 0;
    adapter->RomVersion = 0;
    adapter->ChannelPrivilegeSupported = 0;
    QzCmdInitFWCmdSlotEvents(adapter);
}

NTSTATUS HalInitHwCtrl(PMP_ADAPTER adapter)
{
    HalInitHwCtrlEvents(adapter);
    NTSTATUS status = HalQueryHwVersion(adapter);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "hardware version not read: 0x%08X", static_cast<unsigned>(status));
    }
    KOVAInitPhyType(adapter);
    return status;
}

NTSTATUS HalDownloadPatchFirmware(PMP_ADAPTER adapter)
{
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    // A transmit-done report (read against this limit on the second generation) never names more
    // frames than the data pool can have in flight.
    adapter->TxDoneEntryLimit = TX_DMAQ_POOL0_RECORDS;
    BOOLEAN running = ops.IsFwReady != nullptr ? ops.IsFwReady(adapter) : FALSE;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "firmware download: firmware %s", running ? "running" : "not running");
    if (running) {
        if (adapter->LowPower.KeepRunningFw) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "the running firmware is kept: nothing downloaded");
            return STATUS_SUCCESS;
        }
        SetFwInRam(adapter, 1);
        NTSTATUS status = RunStep(adapter, ops.EraseFirmware);
        if (status == STATUS_SUCCESS) {
            running = FALSE;
        } else if (status != kEmptySlot) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "EraseFirmware failed: 0x%08X", static_cast<unsigned>(status));
            return STATUS_UNSUCCESSFUL;
        }
    }

    NTSTATUS status = RunStep(adapter, ops.PreFirmwareDownloadInit);
    if (StepFailed(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "PreFirmwareDownloadInit failed: 0x%08X", static_cast<unsigned>(status));
        return STATUS_UNSUCCESSFUL;
    }

    if (!running) {
        SetFwInRam(adapter, 0);
        adapter->LowPower.KeepRunningFw = 0;
        adapter->WorkingCfg.FixedValue = 42;
        status = RunStep(adapter, ops.LoadRomPatch);
        if (StepFailed(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "LoadRomPatch failed: 0x%08X", static_cast<unsigned>(status));
            return STATUS_UNSUCCESSFUL;
        }
        // The Bluetooth patch never stops the download.
        status = RunStep(adapter, ops.LoadBtRomPatch);
        if (status != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "LoadBtRomPatch: 0x%08X (the download goes on)",
                     static_cast<unsigned>(status));
        }
        if (TimeBeforeRamCode(adapter->DeviceId)) {
            (void)kalSyncTimeToFW(adapter);
        }
        status = RunStep(adapter, ops.LoadFirmware);
        if (StepFailed(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "LoadFirmware failed: 0x%08X", static_cast<unsigned>(status));
            return STATUS_UNSUCCESSFUL;
        }
        SetFwInRam(adapter, 1);
    }

    (void)kalSyncTimeToFW(adapter);
    const NTSTATUS result = RunStep(adapter, ops.PostFwDownloadInit);
    if (result != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "PostFwDownloadInit: 0x%08X", static_cast<unsigned>(result));
    }
    AfterPostDownload(adapter);
    return result;
}

ULONG HalChekcConnsysWell(PMP_ADAPTER adapter, ULONG first, ULONG second, ULONG third)
{
    UNREFERENCED_PARAMETER(first);
    UNREFERENCED_PARAMETER(second);
    UNREFERENCED_PARAMETER(third);
    if (adapter->HalOps.CheckConnsysStatus == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "the chip has no connection-subsystem check");
        return 0;
    }
    return adapter->HalOps.CheckConnsysStatus(adapter);
}

ULONG HalGetCPUVendorID()
{
    int info[4] = {};
    __cpuid(info, 0);
    // The vendor text is EBX, EDX, ECX.
    char vendor[13] = {};
    const int order[3] = {1, 3, 2};
    for (int word = 0; word < 3; ++word) {
        const ULONG value = static_cast<ULONG>(info[order[word]]);
        for (int byte = 0; byte < 4; ++byte) {
            vendor[word * 4 + byte] = static_cast<char>((value >> (8 * byte)) & 0xFF);
        }
    }
    if (std::memcmp(vendor, "GenuineIntel", 12) == 0) {
        return HAL_CPU_VENDOR_INTEL;
    }
    if (std::memcmp(vendor, "AuthenticAMD", 12) == 0) {
        return HAL_CPU_VENDOR_AMD;
    }
    return HAL_CPU_VENDOR_OTHER;
}

NTSTATUS HalGetBtDebugSopInfo()
{
    HANDLE device = nullptr;
    for (int n = 1; n <= 9 && device == nullptr; ++n) {
        WCHAR name[32];
        if (!NT_SUCCESS(RtlStringCbPrintfW(name, sizeof(name), u"\\Device\\QZLBTFilter_%d", n))) {
            continue;
        }
        UNICODE_STRING text;
        RtlInitUnicodeString(&text, name);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
        IO_STATUS_BLOCK io;
        HANDLE handle = nullptr;
        if (NT_SUCCESS(ZwOpenFile(&handle, GENERIC_READ | SYNCHRONIZE, &attributes, &io, FILE_SHARE_READ,
                                  FILE_SYNCHRONOUS_IO_NONALERT))) {
            device = handle;
        }
    }
    if (device == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "no Bluetooth filter device");
        return STATUS_UNSUCCESSFUL;
    }
    ULONG input = 3;
    IO_STATUS_BLOCK io;
    NTSTATUS status = ZwDeviceIoControlFile(device, nullptr, nullptr, nullptr, &io, HAL_BT_DEBUG_SOP_IOCTL, &input,
                                            sizeof(input), nullptr, 0);
    ZwClose(device);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "Bluetooth debug dump request: 0x%08X", static_cast<unsigned>(status));
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}
