// Chip 3404.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qz3404.h"
#include "platform/ndiscommon/ndiscommonhif.h"

#include "platform/ndiscommon/adapter.h"
#include "hal/common/hal_remap.h"
#include "hal/chips/qzarvel2x.h"

namespace {

// The older chip's version registers.
constexpr ULONG QZ3404_HW_IDENTITY_REGISTER = 0x80021000;
constexpr ULONG QZ3404_ROM_VERSION_REGISTER = 0x80021004;
constexpr ULONG QZ3404_HW_VERSION_REGISTER = 0x80021008;

}  // namespace

// ---- bring-up and firmware download ---------------------------------------------------------
NTSTATUS QZ3404PreFirmwareDownloadInit(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS QZ3404QueryHwVersion(PMP_ADAPTER adapter)
{
    ULONG version = 0;
    (void)HifIoRead32(adapter, QZ3404_HW_VERSION_REGISTER, &version);
    if (version == 0xFFFFFFFFu) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "hardware version reads all ones: the device is gone");
        return STATUS_NO_SUCH_DEVICE;
    }
    ULONG rom = 0;
    ULONG identity = 0;
    (void)HifIoRead32(adapter, QZ3404_ROM_VERSION_REGISTER, &rom);
    (void)HifIoRead32(adapter, QZ3404_HW_IDENTITY_REGISTER, &identity);
    adapter->HwVersion = version & 0xFFFF;
    adapter->RomVersion = rom & 0xFF;
    adapter->HwIdentity = identity;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "hardware version 0x%04X, identity 0x%08X, ROM version %u",
             static_cast<unsigned>(adapter->HwVersion), static_cast<unsigned>(identity),
             static_cast<unsigned>(adapter->RomVersion));
    return STATUS_SUCCESS;
}

NTSTATUS QZ3404LoadRomPatch(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS QZ3404LoadFirmware(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

ULONG QZ3404GetFwSyncValue(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return 0;
}

NTSTATUS QZ3404PostFwDownloadInit(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN QZ3404IsFwReady(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

NTSTATUS QZ3404HifPciPmSetDriverOwn(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS QZ3404EnsureDriverOwn(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

VOID QZ3404SetFwOwn(PMP_ADAPTER adapter, PUCHAR done)
{
    (void)NOT_BUILT_YET();
}

VOID QZ3404GetOwnStatus(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    (void)NOT_BUILT_YET();
}

VOID QZ3404RequestDriverOwn(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    (void)NOT_BUILT_YET();
}

// ---- DMA engine and interrupts --------------------------------------------------------------
BOOLEAN QZ3404HalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

VOID QZ3404WpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable)
{
    (void)NOT_BUILT_YET();
}

NTSTATUS QZ3404PciXmitStartTxRx(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

VOID QZ3404DisableInterrupt(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID QZ3404EnableInterrupt(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

// ---- receive dispatch and statistics events -------------------------------------------------
VOID Qz3404PciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID Qz3404PciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID Qz3404PciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID QZ3404ProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event)
{
    (void)NOT_BUILT_YET();
}

VOID QZ3404ProcessGetMIBInfoEvent(PMP_ADAPTER adapter, PUCHAR event)
{
    (void)NOT_BUILT_YET();
}

// ---- PCI Express low power ------------------------------------------------------------------
VOID QZ3404PcieMacL1ssEnable(PMP_ADAPTER adapter, UCHAR enable)
{
    (void)NOT_BUILT_YET();
}

// ---- chip selection ---------------------------------------------------------------------------
PCSTR QZ3404RomPatchFileName(ULONG romVersion)
{
    switch (romVersion) {
    case 0:
        return "qz3404_patch_e1_hdr.bin";
    case 1:
        return "qz3404_patch_e2_hdr.bin";
    default:
        return nullptr;
    }
}

VOID QZ3404ChipInit(PMP_ADAPTER adapter)
{
    PCHIP_HAL_INFO info = &adapter->HalInfo;
    HalChipInfoInit(info, 0x3404, QZ3404_HIF_RING_DOWNLOAD, QZ3404_HIF_RING_COMMAND);
    // The older chip leaves the number of data ring 1 at 0.
    info->HifRingData1 = 0;
    info->RamCodeFileName = "WIFI_RAM_CODE_QZ3404.bin";
    // At selection the adapter holds ROM version 0 (the bring-up asks the chip later).
    info->RomPatchFileName = QZ3404RomPatchFileName(0);
    info->MaxBandwidth = 2;
    info->CapWord = 0x1F37;
    info->CapBits = 0xF;
    QZ3404ChipOpsInit(&adapter->HalOps);
    HalChipFinishInit(adapter);
}

VOID QZ3404ChipOpsInit(PCHIP_HAL_OPS ops)
{
    RtlZeroMemory(ops, sizeof(*ops));
    ops->PreFirmwareDownloadInit = QZ3404PreFirmwareDownloadInit;
    ops->LoadRomPatch = QZ3404LoadRomPatch;
    ops->LoadFirmware = QZ3404LoadFirmware;
    ops->EraseFirmware = NdisCommonHifEraseFirmware;
    ops->ReservedOp6 = HalReservedOp6;
    ops->SendMlmeCmdPkt = NdisCommonHifSendMlmeCmdPkt;
    ops->CmdSendMsg = NdisCommonHifCmdSendMsg;
    ops->PostFwDownloadInit = QZ3404PostFwDownloadInit;
    ops->IsFwReady = QZ3404IsFwReady;
    ops->HalWpdmaWaitIdle = QZ3404HalWpdmaWaitIdle;
    ops->WpdmaConfig = QZ3404WpdmaConfig;
    ops->DisableInterrupt = QZ3404DisableInterrupt;
    ops->EnableInterrupt = QZ3404EnableInterrupt;
    ops->PciProcessRxSnifferPacket = Qz3404PciProcessRxSnifferPacket;
    ops->PciProcessRxSwDefinedPacket = Qz3404PciProcessRxSwDefinedPacket;
    ops->PciProcessRxPacket = Qz3404PciProcessRxPacket;
    ops->CmdTxdLength = AsicArvel2xCmdTxdLength;
    ops->ProcessStaStatistics = QZ3404ProcessStaStatistics;
    ops->ProcessGetMIBInfoEvent = QZ3404ProcessGetMIBInfoEvent;
    ops->GetFwSyncValue = QZ3404GetFwSyncValue;
    ops->HifPciPmSetDriverOwn = QZ3404HifPciPmSetDriverOwn;
    ops->BusAddrRemap = QZ3404BusAddrRemap;
    ops->EnsureDriverOwn = QZ3404EnsureDriverOwn;
    ops->PciXmitStartTxRx = QZ3404PciXmitStartTxRx;
    ops->SetFwOwn = QZ3404SetFwOwn;
    ops->GetOwnStatus = QZ3404GetOwnStatus;
    ops->RequestDriverOwn = QZ3404RequestDriverOwn;
    ops->PcieMacL1ssEnable = QZ3404PcieMacL1ssEnable;
}
