// Chip 3404.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qz3404.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_desc.h"
#include "platform/ndiscommon/ndiscommonhif.h"

#include "platform/ndiscommon/adapter.h"
#include "Common/fwsettings.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_postdl.h"
#include "hal/common/hal_remap.h"
#include "hal/chips/qzarvel2x.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

namespace {

// The older chip's version registers.
constexpr ULONG QZ3404_HW_IDENTITY_REGISTER = 0x80021000;
constexpr ULONG QZ3404_ROM_VERSION_REGISTER = 0x80021004;
constexpr ULONG QZ3404_HW_VERSION_REGISTER = 0x80021008;

constexpr ULONG kLowPowerControl = 0x7000;  // 1 firmware own, 2 driver own; bit 0 reads 1 while the firmware owns
constexpr ULONG kFwOwns = 0x1;
constexpr ULONG kGloCfg = 0x4208;
constexpr ULONG kIntEnable = 0x4204;
constexpr LONG64 kReRequestUnits = 200 * 10000;
constexpr ULONG kOwnAttempts = 50;
constexpr ULONG kDmaEnableBits = 0x5;   // bits 0 and 2 of the DMA configuration
constexpr ULONG kScatterBusyBit = 0x2;
constexpr ULONG kScatterBusyReads = 10;

// Polls `reg` for `bit` up to 21 times, 1 ms apart; a time-out is not reported.
void PollBit(PMP_ADAPTER adapter, ULONG reg, ULONG bit)
{
    for (ULONG i = 0; i < 21; ++i) {
        if ((AsicReadReg(adapter, reg) & bit) != 0) {
            return;
        }
        AsicBusyWait(1000);
    }
}

constexpr FW_DL_GENERATION kQz3404Download = {
    "QZ3404",
    FALSE,  // no refusal above passive level
    FALSE,  // files only, no caches
    31,     // ROM patch larger than 30 bytes
    33,     // RAM code larger than 32 bytes
    FALSE,  // region flag bit 4 has no effect
    FALSE,  // no identification text
    FALSE,  // nothing besides the result once the RAM code runs
    FALSE,  // one patch body after a 30-byte header
    QZ3404PatchSemaphore,
    QZ3404DownloadInit,
    QZ3404FwScatter,
    QZ3404PatchFinish,
    QZ3404FwStart,
    nullptr,
    QZ3404GetFwSyncValue,
};

}  // namespace

// ---- bring-up and firmware download ---------------------------------------------------------
NTSTATUS QZ3404PreFirmwareDownloadInit(PMP_ADAPTER adapter)
{
    adapter->ScatterBusyRegister = QZ3404_SCATTER_BUSY_REGISTER;
    __atomic_store_n(&adapter->Cmd.SeqNum[SEQ_NUM_CLASS_FW_CMD], static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    if (QZ3404GetFwSyncValue(adapter) != FW_STATE_ROM_NOT_RUNNING) {
        (void)NdisCommonHifEnsureDriverOwn(adapter);
    } else {
        NTSTATUS status = HalFwDlOwnAndWaitRom(adapter, QZ3404GetFwSyncValue, FW_DL_ROM_READY_READS);
        if (HalFwDlFailed(status)) {
            return status;
        }
    }
    // The DMA engine restarts unless both of its enable bits are set.
    const ULONG config = AsicReadReg(adapter, kGloCfg);
    if ((config & kDmaEnableBits) != kDmaEnableBits) {
        if (HalCallOptional(adapter->HalOps.WpdmaConfig, adapter, FALSE) == STATUS_NOT_SUPPORTED) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "no DMA configuration routine");
        }
        if (HalCallOptional(adapter->HalOps.HalWpdmaWaitIdle, adapter, 100UL, 1000UL) == STATUS_NOT_SUPPORTED) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "no DMA idle wait");
        }
        (void)HalCallOptional(adapter->HalOps.WpdmaConfig, adapter, TRUE);
    }
    return STATUS_SUCCESS;
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

NTSTATUS QZ3404PatchSemaphore(PMP_ADAPTER adapter, UCHAR operation)
{
    // An earlier answer counts until a new one arrives.
    return HalFwDlPatchSemaphore(adapter, operation, FALSE);
}

NTSTATUS QZ3404DownloadInit(PMP_ADAPTER adapter, ULONG address, ULONG length, ULONG dataMode, ULONG kind)
{
    UNREFERENCED_PARAMETER(kind);
    return HalFwDlSendDownloadInit(adapter,
                                   address == QZ3404_PATCH_TARGET_ADDRESS ? FW_DL_CMD_PATCH_INIT : FW_DL_CMD_REGION_INIT,
                                   address, length, dataMode);
}

NTSTATUS QZ3404FwScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length)
{
    // The chip may still be busy with the previous piece: wait a little, then send in any case.
    for (ULONG i = 0; i < kScatterBusyReads; ++i) {
        if ((AsicReadReg(adapter, adapter->ScatterBusyRegister) & kScatterBusyBit) == 0) {
            break;
        }
        NdisCommonGenericDelay(1000);
    }
    return HalFwDlSendScatter(adapter, data, length);
}

NTSTATUS QZ3404PatchFinish(PMP_ADAPTER adapter) { return HalFwDlSendPatchFinish(adapter, 0); }

NTSTATUS QZ3404FwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2)
{
    return HalFwDlSendFwStart(adapter, hasEntry, entryAddress, optionBit2);
}

NTSTATUS QZ3404LoadRomPatch(PMP_ADAPTER adapter) { return HalFwDlLoadRomPatch(adapter, &kQz3404Download); }

NTSTATUS QZ3404LoadFirmware(PMP_ADAPTER adapter) { return HalFwDlLoadFirmware(adapter, &kQz3404Download); }

ULONG QZ3404GetFwSyncValue(PMP_ADAPTER adapter)
{
    ULONG value = 0;
    if (!NT_SUCCESS(HifIoRead32(adapter, QZ3404_FW_STATE_REGISTER, &value))) {
        return FW_STATE_ROM_NOT_RUNNING;
    }
    return (value >> 1) & 7;
}

// ---- post-download initialisation ----------------------------------------------------------------------
NTSTATUS QZ3404SendExtCmd0(PMP_ADAPTER adapter)
{
    return FwSettingSendPort0(adapter, POSTDL_CMD_EXT0, FW_CMD_CLASS_NORMAL, 0, 1, POSTDL_OPTION_SET, nullptr, 0);
}

NTSTATUS QZ3404QueryNicCapability(PMP_ADAPTER adapter) { return HalPostDlQueryCapability(adapter); }

NTSTATUS QZ3404UpdateFwBasicConfig(PMP_ADAPTER adapter) { return HalPostDlBasicConfig(adapter); }

NTSTATUS QZ3404DownloadBufferBin(PMP_ADAPTER adapter) { return HalDownloadBufferBinQz3404(adapter); }

NTSTATUS QZ3404UpdateThermalThreshold(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    if (r.DowngradeTxStreamFeatureEnable == 0) {
        return STATUS_SUCCESS;
    }
    NTSTATUS first = STATUS_SUCCESS;
    if (r.DowngradeTxStreamLowTempEnable != 0) {
        first = HalSendChipConfigText(adapter, "DowngradeTxStreamLowTemp %d", static_cast<UCHAR>(r.DowngradeTxStreamLowTemp));
    }
    if (r.DowngradeTxStreamHighTempEnable != 0) {
        NTSTATUS status =
            HalSendChipConfigText(adapter, "DowngradeTxStreamHighTemp %d", static_cast<UCHAR>(r.DowngradeTxStreamHighTemp));
        if (first == STATUS_SUCCESS) {
            first = status;
        }
    }
    return first;
}

NTSTATUS QZ3404PostFwDownloadInit(PMP_ADAPTER adapter)
{
    __atomic_store_n(&adapter->Cmd.SeqNum[SEQ_NUM_CLASS_FW_CMD], static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    PFN_CHIP_STATUS steps[] = {QZ3404SendExtCmd0, QZ3404QueryNicCapability, QZ3404UpdateFwBasicConfig,
                               QZ3404DownloadBufferBin};
    for (PFN_CHIP_STATUS step : steps) {
        NTSTATUS status = step(adapter);
        if (status != STATUS_SUCCESS) {
            return status;
        }
    }
    NdisCommonGenericDelay(1000);
    return QZ3404UpdateThermalThreshold(adapter);
}

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN QZ3404IsFwReady(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(adapter->HalOps.GetFwSyncValue != nullptr && adapter->HalOps.GetFwSyncValue(adapter) == 3);
}

NTSTATUS QZ3404HifPciPmSetDriverOwn(PMP_ADAPTER adapter)
{
    AsicAcquireOwnLock(adapter);
    InterlockedIncrement(&adapter->LowPower.OwnCallBalance);
    NTSTATUS status = STATUS_SUCCESS;
    if (AsicFwOwnFlag(adapter)) {
        UCHAR owns = 0;
        QZ3404RequestDriverOwn(adapter, &owns);
        LONG64 lastRequest = AsicSystemTime();
        status = STATUS_UNSUCCESSFUL;
        for (ULONG attempt = 0; attempt < kOwnAttempts; ++attempt) {
            QZ3404GetOwnStatus(adapter, &owns);
            if (owns) {
                AsicClearFwOwnFlag(adapter);
                (void)HalCallOptional(adapter->HalOps.AutoDetectL1ssCap, adapter);
                (void)HalCallOptional(adapter->HalOps.PcieMacL1ssEnable, adapter, 0);
                status = STATUS_SUCCESS;
                break;
            }
            AsicBusyWait(1000);
            if (AsicSystemTime() - lastRequest > kReRequestUnits) {
                QZ3404RequestDriverOwn(adapter, &owns);
                lastRequest = AsicSystemTime();
            }
        }
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "driver own not granted after %u attempts", kOwnAttempts);
        }
    }
    AsicReleaseOwnLock(adapter);
    return status;
}

NTSTATUS QZ3404EnsureDriverOwn(PMP_ADAPTER adapter)
{
    if ((AsicReadReg(adapter, kLowPowerControl) & kFwOwns) != 0) {
        (void)HifIoWrite32(adapter, kLowPowerControl, 2);
        (void)AsicReadReg(adapter, kLowPowerControl);
    } else {
        AsicClearFwOwnFlag(adapter);
    }
    return STATUS_SUCCESS;
}

VOID QZ3404SetFwOwn(PMP_ADAPTER adapter, PUCHAR done)
{
    (void)HifIoWrite32(adapter, kLowPowerControl, 1);
    *done = static_cast<UCHAR>((AsicReadReg(adapter, kLowPowerControl) & kFwOwns) != 0);
}

VOID QZ3404GetOwnStatus(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    *driverOwns = static_cast<UCHAR>((AsicReadReg(adapter, kLowPowerControl) & kFwOwns) == 0);
}

VOID QZ3404RequestDriverOwn(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    (void)HifIoWrite32(adapter, kLowPowerControl, 2);
    *driverOwns = static_cast<UCHAR>((AsicReadReg(adapter, kLowPowerControl) & kFwOwns) == 0);
}

// ---- DMA engine and interrupts --------------------------------------------------------------
BOOLEAN QZ3404HalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds)
{
    return AsicWfdmaPollIdle(adapter, kGloCfg, count, delayMicroseconds, TRUE);
}

VOID QZ3404WpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    ULONG config = AsicReadReg(adapter, kGloCfg);
    ULONG intEnable = AsicReadReg(adapter, kIntEnable);
    if (enable) {
        ULONG rings = (1u << hif->HwRingData0) | (1u << hif->HwRingData1) | (1u << hif->HwRingCommand) |
                      (1u << hif->HwRingDownload);
        config |= 0x40001E75u;
        intEnable = (intEnable & 0xFF70000Cu) | 3u | ((rings & 0xFFFFu) << 4);
    } else {
        config &= ~0x205u;
        intEnable &= 0xFF70000Cu;
    }
    (void)HifIoWrite32(adapter, kIntEnable, intEnable);
    (void)HifIoWrite32(adapter, kGloCfg, config);
}

VOID HalResetPDMA(PMP_ADAPTER adapter)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "PDMA reset: 0x433C 0x%08X, 0x441C 0x%08X",
             static_cast<unsigned>(AsicReadReg(adapter, 0x433C)), static_cast<unsigned>(AsicReadReg(adapter, 0x441C)));
    AsicSetRegBits(adapter, 0x50000208, 0, 0x5);
    PollBit(adapter, 0x50000154, 0x10000);
    AsicSetRegBits(adapter, 0x50000100, 0, 0x10);
    (void)AsicReadReg(adapter, 0x5000A004);
    AsicSetRegBits(adapter, 0x82060000, 0x2, 0);
    AsicSetRegBits(adapter, 0x82068000, 0x2, 0);
    AsicSetRegBits(adapter, 0x8206C038, 0, 0x1);
    AsicSetRegBits(adapter, 0x50000100, 0x10, 0);
    AsicSetRegBits(adapter, 0x5000A004, 0, 0x1);
    AsicSetRegBits(adapter, 0x82060000, 0, 0x2);
    AsicSetRegBits(adapter, 0x82068000, 0, 0x2);
    (void)AsicReadReg(adapter, 0x8206C038);
    PollBit(adapter, 0x82060000, 0x4);
    PollBit(adapter, 0x82068000, 0x4);
    AsicSetRegBits(adapter, 0x50000154, 0, 0x1);
}

NTSTATUS QZ3404PciXmitStartTxRx(PMP_ADAPTER adapter)
{
    QZ3404WpdmaConfig(adapter, FALSE);
    (void)QZ3404HalWpdmaWaitIdle(adapter, 100, 1000);
    HalResetPDMA(adapter);
    WpdmaRestoreRingRegs(adapter->HifContext);
    QZ3404WpdmaConfig(adapter, TRUE);
    return STATUS_SUCCESS;
}

VOID QZ3404DisableInterrupt(PMP_ADAPTER adapter) { (void)HifIoWrite32(adapter, kIntEnable, 0); }

VOID QZ3404EnableInterrupt(PMP_ADAPTER adapter)
{
    (void)HifIoWrite32(adapter, kIntEnable, 0xFFFFFFFF);
    (void)HifIoWrite32(adapter, kIntEnable, 0x000800F3);
}

// ---- receive dispatch and statistics events -------------------------------------------------
VOID Qz3404PciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    AsicRxRecordReturn(hif, record);
    (void)NOT_BUILT_YET();
}

VOID Qz3404PciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    // The older chip marks its events in every firmware state.
    AsicSwDefinedDispatch(hif, record, Qz3404PciProcessRxPacket, QZ3404_SW_DEFINED_MASK, FALSE);
}

VOID Qz3404PciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    if (record == nullptr) {
        return;
    }
    // Frames come as packet type 2, or 5 to 7 through the software-defined path.
    const ULONG readable = record->ReceivedLength < record->BufferSize ? record->ReceivedLength : record->BufferSize;
    const UCHAR type = record->BufferVa != nullptr && readable >= 4 ? static_cast<UCHAR>(record->BufferVa[3] >> 5) : 0;
    if (type != 2 && (type < 5 || type > 7)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "older chip: frame of packet type %u dropped", static_cast<unsigned>(type));
        RxDmaqFree(hif->Adapter, record);
        return;
    }
    AsicRxFrameDispatch(hif, record, DESC_GEN_OLDER);
}

VOID QZ3404ProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event)
{
    (void)NOT_BUILT_YET();
}

VOID QZ3404ProcessGetMIBInfoEvent(PMP_ADAPTER adapter, PUCHAR event)
{
    if (adapter == nullptr || event == nullptr) {
        return;
    }
    const ULONG total = static_cast<ULONG>(event[0] | (event[1] << 8));
    const ULONG payloadLength = total > FW_EVENT_HEADER_LENGTH ? total - FW_EVENT_HEADER_LENGTH : 0;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "QZ3404ProcessGetMIBInfoEvent: %u bytes", static_cast<unsigned>(payloadLength));
    // The record is copied from 10 bytes into the payload: the payload must hold all of it.
    constexpr ULONG kSkip = 10;
    if (payloadLength < kSkip + MIB_RECORD_SIZE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "MIB information of %u bytes", static_cast<unsigned>(payloadLength));
        return;
    }
    RtlZeroMemory(adapter->Stats.MibRecord, sizeof(adapter->Stats.MibRecord));
    RtlCopyMemory(adapter->Stats.MibRecord, event + FW_EVENT_HEADER_LENGTH + kSkip, MIB_RECORD_SIZE);
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
