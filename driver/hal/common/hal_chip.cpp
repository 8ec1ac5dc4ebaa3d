// Chip selection by PCI device id.
#include "platform/ndiscommon/trace.h"
#include "hal/common/hal_chip.h"

#include "hal/chips/qz3404.h"
#include "hal/chips/qz3501.h"
#include "hal/chips/qz3502.h"
#include "hal/chips/qz3503.h"
#include "hal/chips/qz3601.h"
#include "hal/chips/qz3602.h"
#include "hal/chips/qzarvel3x.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

// Device-id groups: the ids that run each chip's code.
USHORT HalChipCodeOfDeviceId(USHORT deviceId)
{
    switch (deviceId) {
    case 0x3501:
    case 0x3504:
    case 0x0C01:
        return 0x3501;
    case 0x3502:
    case 0x0C02:
        return 0x3502;
    case 0x3503:
        return 0x3503;
    case 0x3601:
    case 0x0C03:
        return 0x3601;
    case 0x3602:
    case 0x3603:
    case 0x0C04:
        return 0x3602;
    case 0x3404:
        return 0x3404;
    default:
        return 0;
    }
}

BOOLEAN HalDeviceIdAcceptedAtPreparation(USHORT deviceId)
{
    switch (deviceId) {
    case 0x3405:
    case 0x3404:
    case 0x3501:
    case 0x3504:
    case 0x3502:
    case 0x3601:
    case 0x3603:
    case 0x3602:
    case 0x0C01:
    case 0x0C02:
    case 0x0C04:
    case 0x0C03:
        return TRUE;
    default:
        return FALSE;
    }
}

BOOLEAN HalIsThirdGeneration(USHORT deviceId)
{
    USHORT code = HalChipCodeOfDeviceId(deviceId);
    return static_cast<BOOLEAN>(code == 0x3601 || code == 0x3602);
}

VOID HalRegisterChip(PMP_ADAPTER adapter)
{
    USHORT code = HalChipCodeOfDeviceId(adapter->DeviceId);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "device id 0x%04X selects chip code 0x%04X", adapter->DeviceId, code);
    switch (code) {
    case 0x3501:
        QZ3501ChipInit(adapter);
        break;
    case 0x3502:
        QZ3502ChipInit(adapter);
        break;
    case 0x3503:
        QZ3503ChipInit(adapter);
        break;
    case 0x3601:
        QZ3601ChipInit(adapter);
        break;
    case 0x3602:
        QZ3602ChipInit(adapter);
        break;
    case 0x3404:
        QZ3404ChipInit(adapter);
        break;
    default:
        // No chip code: the descriptor and the table stay all zero, so every operation is absent.
        break;
    }
}

VOID HalChipInfoInit(PCHIP_HAL_INFO info, USHORT chipCode, UCHAR downloadRing, UCHAR commandRing)
{
    RtlZeroMemory(info, sizeof(*info));
    info->RxHeaderPad = 2;
    info->KeyLayout = 2;
    info->PhyCfgLayout = 2;
    info->ChipCode = chipCode;
    info->HifRingDownload = downloadRing;
    info->HifRingCommand = commandRing;
    info->HifRingData0 = HIF_RING_DATA0;
    info->HifRingData1 = HIF_RING_DATA1;
}

VOID HalChipInfoRefresh(PCHIP_HAL_INFO target, const CHIP_HAL_INFO* fresh)
{
    PUCHAR to = reinterpret_cast<PUCHAR>(target);
    const UCHAR* from = reinterpret_cast<const UCHAR*>(fresh);
    for (size_t i = 0; i < sizeof(*target); ++i) {
        if (to[i] != from[i]) {
            to[i] = from[i];
        }
    }
}

NTSTATUS HalQueryHwVersion(PMP_ADAPTER adapter)
{
    switch (HalChipCodeOfDeviceId(adapter->DeviceId)) {
    case 0x3501:
        return QZ3501QueryHwVersion(adapter);
    case 0x3502:
        return QZ3502QueryHwVersion(adapter);
    case 0x3503:
        return QZ3503QueryHwVersion(adapter);
    case 0x3601:
        return QZ3601QueryHwVersion(adapter);
    case 0x3602:
        return QZ3602QueryHwVersion(adapter);
    case 0x3404:
        return QZ3404QueryHwVersion(adapter);
    default:
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "no hardware-version query for device id 0x%04X", adapter->DeviceId);
        return STATUS_UNSUCCESSFUL;
    }
}

VOID HalQueryRomVersion(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.RomVer != 0) {
        // The configuration has already given the version ("RomVer" - 1).
        return;
    }
    switch (adapter->DeviceId) {
    case 0x3501:
    case 0x3504:
    case 0x0C01:
    case 0x3502:
    case 0x0C02:
        QZ3501QueryRomVersion(adapter);
        break;
    default:
        if (HalIsThirdGeneration(adapter->DeviceId)) {
            AsicArvel3xQueryRomVersion(adapter);
        } else {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "device id 0x%04X: no ROM-version query", adapter->DeviceId);
        }
        break;
    }
}

VOID HalChipFinishInit(PMP_ADAPTER adapter)
{
    const CHIP_HAL_INFO& info = adapter->HalInfo;
    if (info.ChipCode != 0x3404) {
        adapter->Recovery.SerState = 0;
        adapter->Recovery.SerEventWord = 0;
        adapter->Recovery.SerEnabled = 1;
        adapter->Recovery.FwRecoveryState = 0;
        adapter->Recovery.FwRecoveryCount = 0;
    }
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    if (hif != nullptr) {
        hif->HwRingDownload = info.HifRingDownload;
        hif->HwRingCommand = info.HifRingCommand;
        hif->HwRingData0 = info.HifRingData0;
        hif->HwRingData1 = info.HifRingData1;
    }
}

NTSTATUS HalQueryHwVersionThroughWindow(PMP_ADAPTER adapter, const HAL_VERSION_WINDOW* window)
{
    ULONG saved = 0;
    ULONG version = 0;
    ULONG identity = 0;
    (void)HifIoRead32(adapter, window->WindowRegister, &saved);
    (void)HifIoWrite32(adapter, window->WindowRegister, window->WindowValue);
    (void)HifIoRead32(adapter, window->VersionOffset, &version);
    for (ULONG offset : window->TracedOffsets) {
        if (offset != 0) {
            ULONG word = 0;
            (void)HifIoRead32(adapter, offset, &word);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "version block 0x%X: 0x%08X", static_cast<unsigned>(offset),
                     static_cast<unsigned>(word));
        }
    }
    (void)HifIoRead32(adapter, window->IdentityOffset, &identity);
    (void)HifIoWrite32(adapter, window->WindowRegister, saved);
    KeStallExecutionProcessor(100);
    adapter->HwVersion = version & 0xFFFF;
    adapter->HwIdentity = identity;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "hardware version 0x%04X, identity 0x%08X",
             static_cast<unsigned>(adapter->HwVersion), static_cast<unsigned>(identity));
    return STATUS_SUCCESS;
}

NTSTATUS HalReservedOp6(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return STATUS_UNSUCCESSFUL;
}
