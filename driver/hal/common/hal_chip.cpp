// Chip selection by PCI device id.
#include "platform/ndiscommon/trace.h"
#include "hal/common/hal_chip.h"

#include "hal/chips/qz3404.h"
#include "hal/chips/qz3501.h"
#include "hal/chips/qz3502.h"
#include "hal/chips/qz3503.h"
#include "hal/chips/qz3601.h"
#include "hal/chips/qz3602.h"
#include "platform/ndiscommon/adapter.h"

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
    // Needs the registry's "RomVer" and the adapter's ROM version, which the adapter does not carry yet.
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

NTSTATUS HalReservedOp6(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return STATUS_UNSUCCESSFUL;
}

// ---- host-interface facade routines the tables point at -------------------------------------------------
NTSTATUS NdisCommonHifEraseFirmware(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

BOOLEAN NdisCommonHifSendMlmeCmdPkt(PMP_ADAPTER adapter)
{
    // A placeholder of the PCI Express host interface: management commands do not travel this way.
    constexpr ULONG kNotReadyFlags = 0x50020140;
    ULONG flags = static_cast<ULONG>(__atomic_load_n(&adapter->Flags, __ATOMIC_ACQUIRE));
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_HIF, "management command packet refused; adapter %s",
             (flags & kNotReadyFlags) != 0 ? "not ready" : "ready");
    return FALSE;
}

NTSTATUS NdisCommonHifCmdSendMsg(PMP_ADAPTER adapter, PFW_CMD_MSG message, ULONG ringSelector)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(message);
    UNREFERENCED_PARAMETER(ringSelector);
    return NOT_BUILT_YET();
}
