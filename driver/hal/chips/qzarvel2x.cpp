// Second-generation chip code.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qzarvel2x.h"

#include "Common/mlme/mlme.h"
#include "Common/common.h"
#include "Common/qzevent.h"
#include "Common/ap_recv.h"
#include "Common/diag_sniffer.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/fwdump.h"
#include "Common/recv.h"
#include "Common/wowlan_recv.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_desc.h"
#include "hal/chips/qz3501.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_postdl.h"
#include "hal/common/hal_services.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/wificx/wificxmain.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p_services.h"
#include "Common/qzcmd.h"
#include "Common/rlm.h"
#include "Common/he/he_rlm.h"
#include "hal/common/hal_bringup.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"

namespace {

void PostInternal(PMP_ADAPTER adapter, ULONG cmdId)
{
    NTSTATUS status = QZEnqueueInternalCmd(adapter, adapter->PortList[0], cmdId, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "internal command 0x%08X not posted: 0x%08X", static_cast<unsigned>(cmdId),
                 static_cast<unsigned>(status));
    }
}

constexpr LONG64 kUnitsPerMs = 10000;
constexpr LONG64 kReRequestUnits = 200 * kUnitsPerMs;
constexpr ULONG kOwnWaitsMax = 501;
constexpr ULONG kZiziAttempts = 25000;
constexpr ULONG kZiziAttemptDelayUs = 20;
constexpr ULONG kPlainAttempts = 500;

// Second-generation prefetch: (base << 16) | depth per ring.
struct PrefetchWrite {
    ULONG reg;
    ULONG value;
};
constexpr PrefetchWrite kArvel2xPrefetch[] = {
    {0x7C024680, 0x00000004}, {0x7C024688, 0x00400004}, {0x7C02468C, 0x00800004}, {0x7C024690, 0x00C00004},
    {0x7C024694, 0x01000004}, {0x7C024600, 0x01400004}, {0x7C024604, 0x01800004}, {0x7C024608, 0x01C00004},
    {0x7C02460C, 0x02000004}, {0x7C024610, 0x02400004}, {0x7C024614, 0x02800004}, {0x7C024618, 0x02C00004},
    {0x7C024640, 0x03400004}, {0x7C024644, 0x03800004},
};
constexpr ULONG kPrefetchGate = 0x8000;

}  // namespace



// ---- firmware download ----------------------------------------------------------------------
namespace {

constexpr ULONG kBtPatchMinSize = 31;  // a Bluetooth patch file of 30 bytes or less is refused

constexpr FW_DL_GENERATION kArvel2xDownload = {
    "AsicArvel2x",
    TRUE,  // ROM patch and RAM code refused above passive level
    TRUE,  // image caches and container
    31,    // ROM patch larger than 30 bytes
    33,    // RAM code larger than 32 bytes
    TRUE,  // region flag bit 4 adds 0x40
    TRUE,  // identification text
    TRUE,  // firmware-start mark
    TRUE,  // section patch
    AsicArvel2xPatchSemaphore,
    AsicArvel2xDownloadInit,
    AsicArvel2xFwScatter,
    AsicArvel2xPatchFinish,
    AsicArvel2xFwStart,
    AsicArvel2xwlanImageSectionGetPatchInfoV2,
    AsicArvel2xGetFwSyncValue,
};

}  // namespace

NTSTATUS AsicArvel2xPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation)
{
    return HalFwDlPatchSemaphore(adapter, operation, TRUE);
}

NTSTATUS AsicArvel2xDownloadInit(PMP_ADAPTER adapter, ULONG address, ULONG length, ULONG dataMode, ULONG kind)
{
    return HalFwDlSendDownloadInit(adapter, kind == FW_DL_KIND_ROM_PATCH ? FW_DL_CMD_PATCH_INIT : FW_DL_CMD_REGION_INIT,
                                   address, length, dataMode);
}

NTSTATUS AsicArvel2xFwScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length)
{
    return HalFwDlSendScatter(adapter, data, length);
}

NTSTATUS AsicArvel2xPatchFinish(PMP_ADAPTER adapter) { return HalFwDlSendPatchFinish(adapter, 0); }

NTSTATUS AsicArvel2xFwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2)
{
    return HalFwDlSendFwStart(adapter, hasEntry, entryAddress, optionBit2);
}

NTSTATUS AsicArvel2xBtPatchQuery(PMP_ADAPTER adapter, ULONG targetAddress)
{
    return HalFwDlSendBtPatchQuery(adapter, targetAddress);
}

NTSTATUS AsicArvel2xBtPatchFinish(PMP_ADAPTER adapter, UCHAR value) { return HalFwDlSendPatchFinish(adapter, value); }

NTSTATUS AsicArvel2xwlanDownloadSectionV2(PMP_ADAPTER adapter, ULONG dataMode, ULONG kind, PPATCH_SECTION_LIST list)
{
    return HalFwDlDownloadSections(adapter, &kArvel2xDownload, dataMode, kind, list);
}

BOOLEAN AsicArvel2xwlanBtPatchIsDownloaded(PMP_ADAPTER adapter, ULONG targetAddress, PULONG address)
{
    // Each query waits for its answer; the status byte is not cleared before the first one.
    UCHAR status = 0;
    for (ULONG sends = 0; sends < FW_DL_BT_QUERY_SENDS; ++sends) {
        (void)AsicArvel2xBtPatchQuery(adapter, targetAddress);
        status = __atomic_load_n(&adapter->FwEvent.BtPatchStatus, __ATOMIC_ACQUIRE);
        if (status != 0) {
            break;
        }
        NdisCommonGenericDelay(FW_DL_BT_QUERY_DELAY_US);
    }
    if (status == 1) {
        return TRUE;
    }
    *address = __atomic_load_n(&adapter->FwEvent.BtPatchValue, __ATOMIC_ACQUIRE);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "Bluetooth patch absent (status %u): download to 0x%08X",
             static_cast<unsigned>(status), static_cast<unsigned>(*address));
    return FALSE;
}

NTSTATUS AsicArvel2xLoadRomPatch(PMP_ADAPTER adapter) { return HalFwDlLoadRomPatch(adapter, &kArvel2xDownload); }

NTSTATUS AsicArvel2xLoadBtRomPatch(PMP_ADAPTER adapter)
{
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_NOT_RESPONDING)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "Bluetooth patch: the device does not respond");
        return STATUS_UNSUCCESSFUL;
    }
    PCSTR name = adapter->HalInfo.BtPatchFileName;
    if (name == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "Bluetooth patch: the chip names none");
        return STATUS_UNSUCCESSFUL;
    }
    if (adapter->RegistryBlock.LoadBtPatchEn == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "Bluetooth patch not enabled");
        return STATUS_SUCCESS;
    }
    FW_DL_IMAGE image;
    if (!HalFwDlObtainImage(adapter, name, FALSE, &image)) {
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS result = STATUS_UNSUCCESSFUL;
    ULONG dataMode = FW_DATA_MODE_PLAIN;
    PATCH_SECTION_LIST list{};
    if (image.Size < kBtPatchMinSize) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "Bluetooth patch of %u bytes is too short", static_cast<unsigned>(image.Size));
    } else if (result = AsicArvel2xwlanImageSectionGetBtPatchInfo(adapter, image.Data, image.Size, &dataMode, &list);
               HalFwDlSucceeded(result)) {
        ULONG address = list.Sections[0].TargetAddress;
        if (AsicArvel2xwlanBtPatchIsDownloaded(adapter, address, &address)) {
            HalFwFreeSectionList(&list);
        } else {
            list.Sections[0].TargetAddress = address;
            result = AsicArvel2xwlanDownloadSectionV2(adapter, dataMode, FW_DL_KIND_BT_PATCH, &list);
            if (HalFwDlSucceeded(result)) {
                result = AsicArvel2xBtPatchFinish(adapter, 1);
            }
        }
    }
    HalFwDlReleaseImage(&image);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "Bluetooth patch 0x%08X", static_cast<unsigned>(result));
    return result;
}

NTSTATUS AsicArvel2xLoadFirmware(PMP_ADAPTER adapter) { return HalFwDlLoadFirmware(adapter, &kArvel2xDownload); }

NTSTATUS AsicArvel2xEraseFirmware(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return STATUS_SUCCESS;
}

ULONG AsicArvel2xGetFwSyncValue(PMP_ADAPTER adapter)
{
    ULONG value = 0;
    if (!NT_SUCCESS(HifIoRead32(adapter, ARVEL_FW_STATE_REGISTER, &value))) {
        return FW_STATE_ROM_NOT_RUNNING;
    }
    return value;
}

// ---- post-download initialisation ----------------------------------------------------------------------
NTSTATUS AsicArvel2xQueryNicCapability(PMP_ADAPTER adapter) { return HalPostDlQueryCapability(adapter); }

NTSTATUS AsicArvel2xUpdateFwBasicConfig(PMP_ADAPTER adapter) { return HalPostDlBasicConfig(adapter); }

NTSTATUS AsicArvel2xDownloadBufferBin(PMP_ADAPTER adapter) { return HalDownloadBufferBinPieces(adapter); }

NTSTATUS AsicArvel2xSetPassiveToActiveScan(PMP_ADAPTER adapter) { return HalPostDlPassiveToActiveScan(adapter); }

NTSTATUS AsicArvel2xSetFWChipConfig(PMP_ADAPTER adapter) { return HalPostDlSoftApLinkCheck(adapter); }

NTSTATUS AsicArvel2xUpdateThermalThreshold(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    if (r.DowngradeTxStreamFeatureEnable == 0) {
        return STATUS_SUCCESS;
    }
    return HalSendChipConfigText(adapter, "DowngradeTxStreamTemp %d %d", static_cast<UCHAR>(r.DowngradeTxStreamLowTemp),
                                 static_cast<UCHAR>(r.DowngradeTxStreamHighTemp));
}

NTSTATUS AsicArvel2xUpdateTherAdm(PMP_ADAPTER adapter)
{
    if (adapter->DeviceId != 0x3504 || adapter->RegistryBlock.TherAdm == 0) {
        return STATUS_SUCCESS;
    }
    const ULONG* values = adapter->WorkingCfg.TherAdm;
    return HalSendChipConfigText(adapter, "TherAdm %d %d %d %d", static_cast<UCHAR>(values[0]),
                                 static_cast<UCHAR>(values[1]), static_cast<UCHAR>(values[2]),
                                 static_cast<UCHAR>(values[3]));
}

NTSTATUS AsicArvel2xPostFwDownloadInit(PMP_ADAPTER adapter)
{
    HalPostDlPrepare(adapter);
    NTSTATUS status = AsicArvel2xQueryNicCapability(adapter);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    adapter->Cap.TxPathSetting = adapter->Cap.ChipTxPathMask;
    adapter->Cap.TxStreamLimit = static_cast<UCHAR>(adapter->Cap.ChipStreams >> 4);
    adapter->Cap.RxStreamLimit = static_cast<UCHAR>(adapter->Cap.ChipStreams & 0x0F);
    status = AsicArvel2xUpdateFwBasicConfig(adapter);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    (void)HalPostDlRegWrite(adapter, POSTDL_FW_REG_ARVEL2X, POSTDL_FW_REG_VALUE);
    status = AsicArvel2xDownloadBufferBin(adapter);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    status = QzCmdUpdateDBDCSetting(adapter, 0, 0, 0);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    if (adapter->RegistryBlock.EthernetDetection) {
        NTSTATUS radio = QzCmdQueryCurrentRadioStatus(adapter, 0);
        if (radio != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "radio-status query: 0x%08X", static_cast<unsigned>(radio));
        }
    }
    NdisCommonGenericDelay(1000);
    PFN_CHIP_STATUS texts[] = {AsicArvel2xSetPassiveToActiveScan, AsicArvel2xUpdateThermalThreshold,
                               AsicArvel2xUpdateTherAdm, AsicArvel2xSetFWChipConfig};
    for (PFN_CHIP_STATUS text : texts) {
        status = text(adapter);
        if (status != STATUS_SUCCESS) {
            return status;
        }
    }
    if (adapter->RegistryBlock.FccAntGain != 0) {
        status = QZCmdUpdateEdccaAntGain(adapter, adapter->RegistryBlock.FccAntGain);
    }
    return status;
}

// ---- recovery and reset ---------------------------------------------------------------------
namespace {

// Sets or clears the firmware-recovery flag under the flag lock (without it above dispatch level).
void SetRecoveryFlag(PMP_ADAPTER adapter, BOOLEAN set)
{
    if (!set) {
        AdapterClearFlag(adapter, ADAPTER_FLAG_FW_RECOVERY, __func__);
    } else if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        AdapterSetFlagUnlocked(adapter, ADAPTER_FLAG_FW_RECOVERY);
    } else {
        AdapterSetFlag(adapter, ADAPTER_FLAG_FW_RECOVERY, __func__);
    }
}

void ReadKeptRegisters(PMP_ADAPTER adapter, ULONG kept[ARVEL2X_KEPT_REGISTER_COUNT])
{
    (void)HifIoWrite32(adapter, ARVEL2X_KEPT_REGISTER_GATE, 0);
    for (ULONG i = 0; i < ARVEL2X_KEPT_REGISTER_COUNT; ++i) {
        kept[i] = AsicReadReg(adapter, ARVEL2X_KEPT_REGISTER_FIRST + 4 * i);
    }
}

// Writes the kept registers back, the first one plus 1, and traces all six.
void WriteKeptRegisters(PMP_ADAPTER adapter, const ULONG kept[ARVEL2X_KEPT_REGISTER_COUNT])
{
    (void)HifIoWrite32(adapter, ARVEL2X_KEPT_REGISTER_GATE, 0);
    for (ULONG i = 0; i < ARVEL2X_KEPT_REGISTER_COUNT; ++i) {
        (void)HifIoWrite32(adapter, ARVEL2X_KEPT_REGISTER_FIRST + 4 * i, i == 0 ? kept[i] + 1 : kept[i]);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "kept registers: 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X",
             static_cast<unsigned>(AsicReadReg(adapter, ARVEL2X_KEPT_REGISTER_GATE)),
             static_cast<unsigned>(AsicReadReg(adapter, ARVEL2X_KEPT_REGISTER_FIRST)),
             static_cast<unsigned>(AsicReadReg(adapter, ARVEL2X_KEPT_REGISTER_FIRST + 4)),
             static_cast<unsigned>(AsicReadReg(adapter, ARVEL2X_KEPT_REGISTER_FIRST + 8)),
             static_cast<unsigned>(AsicReadReg(adapter, ARVEL2X_KEPT_REGISTER_FIRST + 12)),
             static_cast<unsigned>(AsicReadReg(adapter, ARVEL2X_KEPT_REGISTER_FIRST + 16)));
}

}  // namespace

NTSTATUS AsicArvel2xFwRecovery(PMP_ADAPTER adapter)
{
    PMP_PORT port0 = adapter->PortList[0];
    PMAC_TABLE_ENTRY peer = nullptr;
    if (port0 != nullptr) {
        peer = MlmeSyncMacTabMatchedWlanIdx(port0, MlmeSyncGetWlanIdxByRoleType(port0, 1));
    }
    QzCmdInitFWCmdQueue(adapter);
    __atomic_store_n(&adapter->Recovery.FwRecoveryState, static_cast<UCHAR>(2), __ATOMIC_RELEASE);
    SetRecoveryFlag(adapter, TRUE);
    const BOOLEAN lowPower = static_cast<BOOLEAN>(adapter->LowPower.LowPowerMode != 0);
    if (lowPower) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    AsicTraceRecoveryStep("transmit pause", WdiTxSendPauseIndication(adapter, 1, 3));
    ULONG kept[ARVEL2X_KEPT_REGISTER_COUNT] = {};
    ReadKeptRegisters(adapter, kept);

    NTSTATUS status = AsicRecoveryResetWfsys(adapter);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    AsicArvel2xRestoreRingsAfterFwOwn(adapter);
    (void)NdisCommonHifEnableInterrupt(adapter->HifContext);
    SetRecoveryFlag(adapter, FALSE);
    status = HalDownloadPatchFirmware(adapter);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "firmware recovery: download 0x%08X", static_cast<unsigned>(status));
        return status;
    }

    NTSTATUS result = STATUS_SUCCESS;
    if (port0 != nullptr) {
        AsicTraceRecoveryStep("MLME periodic timer", PlatformSetTimer(port0, &port0->MlmePeriodicTimer, 100));
        AsicTraceRecoveryStep("network of port 0", QzCmdActivateDeactivateNetwork(adapter, port0->BssIndex, 1));
        if (adapter->PortList[1] != nullptr) {
            AsicTraceRecoveryStep("network of port 1", QzCmdActivateDeactivateNetwork(adapter, adapter->PortList[1]->BssIndex, 1));
        }
        AsicTraceRecoveryStep("domain", DomainConfigureDomainInfo(adapter, port0));
    }
    if (lowPower) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
    if (port0 != nullptr && (port0->ConnectionFlags & PORT_CONN_CONNECTED) != 0) {
        AsicTraceRecoveryStep("BSS information", QzCmdSetBssInfo(adapter, port0, 0));
        AsicTraceRecoveryStep("station record", QzCmdSendStaRecUpdate(adapter, port0, peer, nullptr));
        result = QzCmdSetPmIndicateBssConnected(adapter, port0);
        AsicTraceRecoveryStep("power management", result);
        AsicTraceRecoveryStep("EDCA", AsicSetEdcaParm(adapter, port0, &port0->Mlme.Edca, 1));
        if (adapter->RegistryBlock.EnableSR == 1) {
            AsicTraceRecoveryStep("spatial reuse", rlmSetSrControl(port0, 1));
        }
        if (adapter->PmfEnabled == 1) {
            result = peer != nullptr ? MlmeRestoreKey(adapter, port0, peer) : STATUS_UNSUCCESSFUL;
            AsicTraceRecoveryStep(peer != nullptr ? "key restore" : "key restore without a peer entry", result);
        }
        WriteKeptRegisters(adapter, kept);
        NdisCommonGenericDelay(10000);
        TxDoneWaitQTailToTxProcessQHead(adapter);
        ++adapter->Recovery.FwRecoveryCount;
    }
    __atomic_store_n(&adapter->Recovery.FwRecoveryState, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    adapter->Recovery.IntRecoveryPending[0] = 0;
    adapter->Recovery.IntRecoveryPending[1] = 0;
    AsicTraceRecoveryStep("transmit restart", WdiTxSendPauseIndication(adapter, 0, 3));
    return result;
}

NTSTATUS AsicRecoveryResetWfsys(PMP_ADAPTER adapter)
{
    NTSTATUS status = HalCallOptional(adapter->HalOps.ToggleWfsysRst, adapter);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "firmware recovery: subsystem reset 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    // Commands may go out again. The command-time-out mark goes with the L0.5-done mark on both
    // generations: a recovery asked for by a time-out must be able to download the firmware again.
    __atomic_store_n(&adapter->FwCmd.RecoveryInProgress, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    __atomic_store_n(&adapter->FwCmd.CmdTimeout, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    return STATUS_SUCCESS;
}

VOID AsicTraceRecoveryStep(PCSTR step, NTSTATUS status)
{
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "firmware recovery: %s 0x%08X", step, static_cast<unsigned>(status));
    }
}

NTSTATUS AsicArvel2xHalPollWfsysSwInitDone(PMP_ADAPTER adapter)
{
    for (ULONG read = 0; read < 21; ++read) {
        if (read != 0) {
            AsicBusyWait(100);
        }
        if ((AsicReadReg(adapter, ARVEL2X_WFSYS_INIT_DONE) & ARVEL2X_WFSYS_INIT_DONE_BIT) != 0) {
            return STATUS_SUCCESS;
        }
    }
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "Wi-Fi subsystem software init not done after 21 reads");
    return STATUS_UNSUCCESSFUL;
}

VOID AsicWfsysResetOwnCycle(PMP_ADAPTER adapter)
{
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    __atomic_store_n(&adapter->FwDownloaded, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    if (ops.SetFwOwn == nullptr || ops.GetOwnStatus == nullptr || ops.RequestDriverOwn == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "ownership cycle: the chip lacks an ownership operation");
        return;
    }
    UCHAR done = 0;
    ops.SetFwOwn(adapter, &done);
    UCHAR driverOwns = 1;
    for (ULONG i = 0; !done && driverOwns && i < 51; ++i) {
        ops.GetOwnStatus(adapter, &driverOwns);
    }
    ops.RequestDriverOwn(adapter, &driverOwns);
    for (ULONG i = 0; !driverOwns && i < 50; ++i) {
        ops.GetOwnStatus(adapter, &driverOwns);
        if (driverOwns) {
            break;
        }
        ops.RequestDriverOwn(adapter, &driverOwns);
        AsicBusyWait(1000);
    }
    if (driverOwns) {
        AsicClearFwOwnFlag(adapter);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "ownership cycle after the subsystem reset: driver own not granted");
    }
}

NTSTATUS AsicArvel2xToggleWfsysRst(PMP_ADAPTER adapter)
{
    if (!asicArvel2xWfdmaPollingAllIdle(adapter)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "subsystem reset: DMA not idle");
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "subsystem reset: init-done register 0x%08X",
             static_cast<unsigned>(AsicReadReg(adapter, ARVEL2X_WFSYS_INIT_DONE)));
    // The key register also positions the BAR window of the ownership and firmware-state
    // registers: its saved value goes back on every exit.
    const ULONG saved = AsicReadReg(adapter, ARVEL2X_RESET_KEY_REGISTER);
    (void)HifIoWrite32(adapter, ARVEL2X_RESET_KEY_REGISTER, ARVEL2X_RESET_KEY);
    NdisCommonGenericDelay(10);
    const ULONG key = AsicReadReg(adapter, ARVEL2X_RESET_KEY_REGISTER);
    NTSTATUS status = STATUS_SUCCESS;
    if (adapter->RegistryBlock.TestYBFlag == 1) {
        status = STATUS_UNSUCCESSFUL;
    } else if (key != ARVEL2X_RESET_KEY) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "subsystem reset: key reads 0x%08X", static_cast<unsigned>(key));
        status = STATUS_UNSUCCESSFUL;
    } else {
        NdisCommonGenericDelay(10);
        if (AsicReadReg(adapter, ARVEL2X_WFSYS_RESET) == 0xFFFFFFFF) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "subsystem reset: reset register reads all ones");
            status = STATUS_UNSUCCESSFUL;
        }
    }
    if (status != STATUS_SUCCESS) {
        (void)HifIoWrite32(adapter, ARVEL2X_RESET_KEY_REGISTER, saved);
        return status;
    }
    BOOLEAN asserted = FALSE;
    for (ULONG write = 0; write < 6 && !asserted; ++write) {
        if (write != 0) {
            NdisCommonGenericDelay(1);
        }
        (void)HifIoWrite32(adapter, ARVEL2X_WFSYS_RESET, 1);
        NdisCommonGenericDelay(1000);
        asserted = static_cast<BOOLEAN>((AsicReadReg(adapter, ARVEL2X_WFSYS_RESET) & 1) != 0);
    }
    if (!asserted) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "subsystem reset: reset bit never read set");
    }
    NdisCommonGenericDelay(1);
    (void)HifIoWrite32(adapter, ARVEL2X_WFSYS_RESET, 0);
    (void)HifIoWrite32(adapter, ARVEL2X_RESET_KEY_REGISTER, saved);
    NdisCommonGenericDelay(10);
    status = AsicArvel2xHalPollWfsysSwInitDone(adapter);
    AsicWfsysResetOwnCycle(adapter);
    return status;
}

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN AsicArvel2xIsFwReady(PMP_ADAPTER adapter)
{
    if (adapter->HalOps.GetFwSyncValue == nullptr) {
        return FALSE;
    }
    return static_cast<BOOLEAN>((adapter->HalOps.GetFwSyncValue(adapter) & 3) == 3);
}

VOID AsicClearFwOwnFlag(PMP_ADAPTER adapter)
{
    __atomic_store_n(reinterpret_cast<USHORT*>(adapter->LowPower.FwOwn), static_cast<USHORT>(0), __ATOMIC_RELEASE);
}

BOOLEAN AsicFwOwnFlag(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(__atomic_load_n(&adapter->LowPower.FwOwn[0], __ATOMIC_ACQUIRE) != 0);
}

ULONG AsicReadReg(PMP_ADAPTER adapter, ULONG reg)
{
    ULONG value = 0;
    (void)HifIoRead32(adapter, reg, &value);
    return value;
}

VOID AsicSetRegBits(PMP_ADAPTER adapter, ULONG reg, ULONG set, ULONG clear)
{
    (void)HifIoWrite32(adapter, reg, (AsicReadReg(adapter, reg) & ~clear) | set);
}

LONG64 AsicSystemTime()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return now.QuadPart;
}

VOID AsicBusyWait(ULONG microseconds)
{
    for (ULONG i = 0; i < microseconds / 10; ++i) {
        KeStallExecutionProcessor(10);
    }
    if (microseconds % 10 != 0) {
        KeStallExecutionProcessor(microseconds % 10);
    }
}

VOID AsicAcquireOwnLock(PMP_ADAPTER adapter)
{
    KIRQL old;
    KeAcquireSpinLock(&adapter->LowPower.OwnLock, &old);
    adapter->LowPower.OwnLockIrql = old;
}

VOID AsicReleaseOwnLock(PMP_ADAPTER adapter) { KeReleaseSpinLock(&adapter->LowPower.OwnLock, adapter->LowPower.OwnLockIrql); }

NTSTATUS AsicDriverOwnFinish(PMP_ADAPTER adapter, BOOLEAN granted, LONG64 start, ULONG attempts, BOOLEAN autoDetect,
                             PFN_CHIP_VOID restoreRings, BOOLEAN lockFree)
{
    long long ms = static_cast<long long>((AsicSystemTime() - start) / kUnitsPerMs);
    if (granted) {
        AsicClearFwOwnFlag(adapter);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "driver own in %lld ms (balance %d)", ms,
                 static_cast<int>(__atomic_load_n(&adapter->LowPower.OwnCallBalance, __ATOMIC_ACQUIRE)));
        if (autoDetect) {
            (void)HalCallOptional(adapter->HalOps.AutoDetectL1ssCap, adapter);
        }
        (void)HalCallOptional(adapter->HalOps.PcieLTRValue, adapter, 0, TRUE);
        adapter->LowPower.LowPowerRestore = 0;
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "driver own not granted after %u attempts, %lld ms",
                 static_cast<unsigned>(attempts), ms);
        (void)HalCallOptional(adapter->HalOps.ShowDebugSopInfo, adapter, 1);
    }
    if (__atomic_load_n(&adapter->FwDownloaded, __ATOMIC_ACQUIRE) == 1) {
        restoreRings(adapter);
    }
    if (lockFree) {
        AsicAcquireOwnLock(adapter);
        InterlockedDecrement(&adapter->LowPower.OwnInProgress);
    }
    AsicReleaseOwnLock(adapter);
    return granted ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

NTSTATUS AsicArvel2xHifPciPmSetDriverOwn(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& config = adapter->RegistryBlock;
    const BOOLEAN zizi = static_cast<BOOLEAN>(config.ZiziSolution != 0);
    AsicAcquireOwnLock(adapter);
    if (zizi) {
        ULONG waits = 0;
        while (__atomic_load_n(&adapter->LowPower.OwnInProgress, __ATOMIC_ACQUIRE) != 0) {
            if (waits++ >= kOwnWaitsMax) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "driver own: another poll still runs after %u waits",
                         static_cast<unsigned>(kOwnWaitsMax));
                break;
            }
            AsicReleaseOwnLock(adapter);
            NdisCommonGenericDelay(config.LockFreeDriverOwnDelay);
            AsicAcquireOwnLock(adapter);
        }
    }
    (void)InterlockedIncrement(&adapter->LowPower.OwnCallBalance);
    if (!AsicFwOwnFlag(adapter)) {
        if (config.BatteryLifeImprove == 0 && adapter->LowPower.LowPowerRestore != 0) {
            (void)HalCallOptional(adapter->HalOps.PcieMacL1ssEnable, adapter, 0);
            (void)HalCallOptional(adapter->HalOps.PcieLTRValue, adapter, 0, TRUE);
            adapter->LowPower.LowPowerRestore = 0;
        }
        AsicReleaseOwnLock(adapter);
        return STATUS_SUCCESS;
    }
    if (zizi) {
        InterlockedIncrement(&adapter->LowPower.OwnInProgress);
        AsicReleaseOwnLock(adapter);
    }
    LONG64 start = AsicSystemTime();
    LONG64 lastRequest = start;
    UCHAR owns = 0;
    adapter->HalOps.RequestDriverOwn(adapter, &owns);
    ULONG attempts = 0;
    const ULONG maxAttempts = zizi ? kZiziAttempts : kPlainAttempts;
    BOOLEAN granted = FALSE;
    for (;;) {
        adapter->HalOps.GetOwnStatus(adapter, &owns);
        if (owns) {
            granted = TRUE;
            break;
        }
        if (++attempts >= maxAttempts) {
            break;
        }
        if (zizi) {
            NdisCommonGenericDelay(kZiziAttemptDelayUs);
        } else {
            AsicBusyWait(1000);
        }
        if (AsicSystemTime() - lastRequest >= kReRequestUnits) {
            adapter->HalOps.RequestDriverOwn(adapter, &owns);
            lastRequest = AsicSystemTime();
        }
    }
    return AsicDriverOwnFinish(adapter, granted, start, attempts, TRUE, AsicArvel2xRestoreRingsAfterFwOwn, zizi);
}

NTSTATUS AsicArvel2xEnsureDriverOwn(PMP_ADAPTER adapter)
{
    UCHAR owns = 0;
    adapter->HalOps.GetOwnStatus(adapter, &owns);
    if (owns) {
        AsicClearFwOwnFlag(adapter);
    } else {
        adapter->HalOps.RequestDriverOwn(adapter, &owns);
    }
    return STATUS_SUCCESS;
}

VOID AsicSetFwOwn(PMP_ADAPTER adapter, PUCHAR done)
{
    (void)HifIoWrite32(adapter, ARVEL_LOW_POWER_CONTROL, ARVEL_LP_FW_OWN);
    *done = static_cast<UCHAR>((AsicReadReg(adapter, ARVEL_LOW_POWER_CONTROL) & ARVEL_LP_FW_OWNS) != 0);
}

VOID AsicGetOwnStatus(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    *driverOwns = static_cast<UCHAR>((AsicReadReg(adapter, ARVEL_LOW_POWER_CONTROL) & ARVEL_LP_FW_OWNS) == 0);
}

VOID AsicRequestDriverOwn(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    (void)HifIoWrite32(adapter, ARVEL_LOW_POWER_CONTROL, ARVEL_LP_DRIVER_OWN);
    *driverOwns = static_cast<UCHAR>((AsicReadReg(adapter, ARVEL_LOW_POWER_CONTROL) & ARVEL_LP_FW_OWNS) == 0);
}

// ---- rings shared by the second and third generation ------------------------------------------------
VOID AsicWfdmaProgramRings(PPCI_HIF_CONTEXT hif, const UCHAR rxHw[3], BOOLEAN fixLength)
{
    PMP_ADAPTER adapter = hif->Adapter;
    const UCHAR txHw[PCI_TX_RING_COUNT] = {hif->HwRingData0, hif->HwRingData1, hif->HwRingCommand, hif->HwRingDownload};
    for (ULONG i = 0; i < PCI_TX_RING_COUNT; ++i) {
        PPCI_TX_RING ring = &hif->TxRing[i];
        if (ring->Area.Va == nullptr) {
            continue;
        }
        if ((ring->Area.La >> 32) != 0) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "transmit ring %u lies above 4 GB", static_cast<unsigned>(i));
        }
        ULONG block = ARVEL_WFDMA_TX_RING_REGS + 0x10 * txHw[i];
        NdisCommonHifPciAcquireTxRingLock(hif, i);
        ring->Regs = PCI_RING_REGS{block, block + 8, block + 0xC, block + 4};
        ring->CpuIndex = 0;
        ring->InFlight = 0;
        ring->LastDmaIndex = AsicReadReg(adapter, ring->Regs.DmaIndex) & PCI_RING_INDEX_MASK;
        // Nothing handed to the chip is left: reclaim starts where the chip stands.
        ring->ReclaimIndex = ring->LastDmaIndex < ring->SlotCount ? ring->LastDmaIndex : 0;
        (void)HifIoWrite32(adapter, ring->Regs.Base, static_cast<ULONG>(ring->Area.La));
        (void)HifIoWrite32(adapter, ring->Regs.CpuIndex, 0);
        (void)HifIoWrite32(adapter, ring->Regs.Count, ring->SlotCount);
        NdisCommonHifPciReleaseTxRingLock(hif, i);
    }
    for (ULONG i = 0; i < PCI_RX_RING_COUNT; ++i) {
        PPCI_RX_RING ring = &hif->RxRing[i];
        if (ring->Area.Va == nullptr || ring->SlotCount == 0) {
            continue;
        }
        if ((ring->Area.La >> 32) != 0) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "receive ring %u lies above 4 GB", static_cast<unsigned>(i));
        }
        ULONG block = ARVEL_WFDMA_RX_RING_REGS + 0x10 * rxHw[i];
        NdisCommonHifPciAcquireRxRingLock(hif, i);
        ring->Regs = PCI_RING_REGS{block, block + 8, block + 0xC, block + 4};
        ring->CpuIndex = ring->SlotCount - 1;
        ring->DmaIndex = AsicReadReg(adapter, ring->Regs.DmaIndex) & PCI_RING_INDEX_MASK;
        ring->ReadIndex = ring->DmaIndex;
        (void)HifIoWrite32(adapter, ring->Regs.Base, static_cast<ULONG>(ring->Area.La));
        (void)HifIoWrite32(adapter, ring->Regs.CpuIndex, ring->CpuIndex);
        (void)HifIoWrite32(adapter, ring->Regs.Count, ring->SlotCount);
        ring->SwDelayLastPending = 0;
        ring->SwDelayCount = 0;
        for (ULONG k = 0; k < ring->SlotCount; ++k) {
            volatile ULONG* control = &ring->Slots[k].DescriptorVa->Control;
            ULONG value = __atomic_load_n(control, __ATOMIC_ACQUIRE);
            ULONG fixed = value;
            if ((value & WPDMA_CTRL_DMA_DONE) != 0) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "receive ring %u slot %u: DMA done left from before",
                         static_cast<unsigned>(i), static_cast<unsigned>(k));
                fixed &= ~WPDMA_CTRL_DMA_DONE;
            }
            ULONG length = (fixed >> WPDMA_CTRL_LENGTH_SHIFT) & WPDMA_CTRL_LENGTH_MASK;
            if (fixLength && length != ring->BufferSize) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "receive ring %u slot %u: length %u rewritten",
                         static_cast<unsigned>(i), static_cast<unsigned>(k), static_cast<unsigned>(length));
                fixed = (fixed & ~(WPDMA_CTRL_LENGTH_MASK << WPDMA_CTRL_LENGTH_SHIFT)) |
                        ((ring->BufferSize & WPDMA_CTRL_LENGTH_MASK) << WPDMA_CTRL_LENGTH_SHIFT);
            }
            if (fixed != value) {
                __atomic_store_n(control, fixed, __ATOMIC_RELEASE);
            }
        }
        NdisCommonHifPciReleaseRxRingLock(hif, i);
    }
}

BOOLEAN AsicWfdmaPollIdle(PMP_ADAPTER adapter, ULONG reg, ULONG count, ULONG delayMicroseconds, BOOLEAN mayBlock)
{
    for (ULONG read = 0;; ++read) {
        if ((AsicReadReg(adapter, reg) & ARVEL_WFDMA_BUSY_BITS) == 0) {
            return TRUE;
        }
        if (read >= count) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "DMA still busy after %u reads of 0x%08X",
                     static_cast<unsigned>(read + 1), static_cast<unsigned>(reg));
            return FALSE;
        }
        if (mayBlock) {
            NdisCommonGenericDelay(delayMicroseconds);
        } else {
            AsicBusyWait(delayMicroseconds);
        }
    }
}

VOID AsicWfdmaFinishStart(PMP_ADAPTER adapter, ULONG extra)
{
    if (adapter->RegistryBlock.HwDlyIntEn != 0) {
        (void)HifIoWrite32(adapter, ARVEL_HW_DELAY_INT_REGISTER, adapter->HalInfo.HwDelayIntValue);
        (void)HifIoWrite32(adapter, ARVEL_HW_DELAY_INT_CTRL_REGISTER, ARVEL_HW_DELAY_INT_CTRL);
        if (extra != 0) {
            (void)HifIoWrite32(adapter, 0x7C0270E8, extra);
        }
    }
    AsicSetRegBits(adapter, ARVEL_RING_MARKER, ARVEL_RING_MARKER_PRESENT, 0);
}

VOID AsicWfdmaRestoreAfterFwOwn(PMP_ADAPTER adapter, PFN_CHIP_VOID initRing, ULONG extra)
{
    if ((AsicReadReg(adapter, ARVEL_RING_MARKER) & ARVEL_RING_MARKER_PRESENT) == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "ring registers lost while the firmware owned the chip");
        initRing(adapter);
    }
    AsicWfdmaFinishStart(adapter, extra);
}

// ---- DMA engine and rings -------------------------------------------------------------------
BOOLEAN AsicArvel2xHalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds)
{
    return AsicWfdmaPollIdle(adapter, ARVEL_WFDMA_GLO_CFG, count, delayMicroseconds, TRUE);
}

BOOLEAN AsicWfdmaEngineWaitIdle(PMP_ADAPTER adapter, ULONG reg, ULONG engine, ULONG count, ULONG delayMicroseconds)
{
    if (engine == 1) {
        return TRUE;
    }
    if (engine != 0) {
        return FALSE;
    }
    return AsicWfdmaPollIdle(adapter, reg, count, delayMicroseconds, FALSE);
}

BOOLEAN AsicWfdmaPollingAllIdle(PMP_ADAPTER adapter, ULONG reg)
{
    BOOLEAN idle0 = AsicWfdmaEngineWaitIdle(adapter, reg, 0, 100, 1000);
    BOOLEAN idle1 = AsicWfdmaEngineWaitIdle(adapter, reg, 1, 100, 1000);
    return static_cast<BOOLEAN>(idle0 && idle1);
}

BOOLEAN AsicArvel2xWfdmaWaitIdle(PMP_ADAPTER adapter, ULONG engine, ULONG count, ULONG delayMicroseconds)
{
    return AsicWfdmaEngineWaitIdle(adapter, ARVEL_WFDMA_IDLE_GEN2, engine, count, delayMicroseconds);
}

BOOLEAN asicArvel2xWfdmaPollingAllIdle(PMP_ADAPTER adapter) { return AsicWfdmaPollingAllIdle(adapter, ARVEL_WFDMA_IDLE_GEN2); }

VOID AsicArvel2xWpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable)
{
    ULONG value = AsicReadReg(adapter, ARVEL_WFDMA_GLO_CFG);
    value = enable ? (value | 0x50209070u) : (value & 0xE7DF7FFAu);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_GLO_CFG, value);
    if (!enable) {
        (void)AsicArvel2xWfdmaWaitIdle(adapter, 0, 100, 1000);
        (void)HifIoWrite32(adapter, ARVEL_WFDMA_TX_PTR_RESET, 0xFFFFFFFF);
        (void)HifIoWrite32(adapter, ARVEL_WFDMA_RX_PTR_RESET, 0xFFFFFFFF);
    }
    value = AsicReadReg(adapter, ARVEL_WFDMA_GLO_CFG);
    if (enable) {
        (void)HifIoWrite32(adapter, ARVEL_WFDMA_GLO_CFG, value | 0x5);
    }
}

VOID AsicArvel2xWpdmaTxRxDmaCtl(PMP_ADAPTER adapter, UCHAR stop)
{
    if (stop == 1) {
        AsicSetRegBits(adapter, ARVEL_WFDMA_GLO_CFG, 0, 0x5);
    } else {
        AsicSetRegBits(adapter, ARVEL_WFDMA_GLO_CFG, 0x5, 0);
    }
}

VOID AsicArvel2xWpdmaInitRing(PMP_ADAPTER adapter)
{
    AsicArvel2xWpdmaConfig(adapter, FALSE);
    QZ3501InitTxRxRing(adapter->HifContext);
    AsicSetRegBits(adapter, ARVEL_WFDMA_GLO_CFG, 0, kPrefetchGate);
    for (const PrefetchWrite& w : kArvel2xPrefetch) {
        (void)HifIoWrite32(adapter, w.reg, w.value);
    }
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_TX_PTR_RESET, 0xFFFFFFFF);
    AsicArvel2xWpdmaConfig(adapter, TRUE);
}

VOID AsicArvel2xRestoreRingsAfterFwOwn(PMP_ADAPTER adapter)
{
    AsicWfdmaRestoreAfterFwOwn(adapter, AsicArvel2xWpdmaInitRing, 0);
}

NTSTATUS AsicArvel2xPciXmitStartTxRx(PMP_ADAPTER adapter)
{
    (void)HalCallOptional(adapter->HalOps.DmashdlInit, adapter);
    AsicArvel2xWpdmaInitRing(adapter);
    AsicWfdmaFinishStart(adapter, 0);
    return STATUS_SUCCESS;
}

ULONG AsicArvel2xCmdTxdLength(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return ARVEL2X_CMD_TXD_LENGTH;
}

// ---- interrupts -----------------------------------------------------------------------------
VOID AsicArvel2xDisableInterrupt(PMP_ADAPTER adapter)
{
    (void)HifIoWrite32(adapter, ARVEL_HOST_INT_ENABLE, 0);
    AsicSetRegBits(adapter, ARVEL_MAC_INT_ENABLE, 0, 0x100);
}

VOID AsicArvel2xEnableInterrupt(PMP_ADAPTER adapter)
{
    ULONG enable = adapter->HalInfo.ChipCode == 0x3503 ? ARVEL2X_INT_ENABLE_QZ3503 : ARVEL2X_INT_ENABLE;
    (void)HifIoWrite32(adapter, ARVEL_HOST_INT_ENABLE, enable);
    AsicSetRegBits(adapter, ARVEL_SW_INT_ENABLE, 0xFFFF, 0);
    AsicSetRegBits(adapter, ARVEL_MAC_INT_ENABLE, 0x100, 0);
}

BOOLEAN AsicArvel2xPciMsr(WDFINTERRUPT interrupt, ULONG messageId)
{
    UNREFERENCED_PARAMETER(messageId);
    PMP_ADAPTER adapter = QZCxGetInterruptContext(interrupt)->Adapter;
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED) ||
        __atomic_load_n(&adapter->LowPower.SleepFlag, __ATOMIC_ACQUIRE) != 0) {
        return FALSE;
    }
    if (AdapterTestFlags(adapter, 0x20000)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt, message %u", static_cast<unsigned>(messageId));
    }
    if (adapter->LowPower.LowPowerMode != 0 && AsicFwOwnFlag(adapter)) {
        UCHAR owns = 0;
        (void)HalCallOptional(adapter->HalOps.RequestDriverOwn, adapter, &owns);
    }
    adapter->HalOps.DisableInterrupt(adapter);
    (void)WdfInterruptQueueDpcForIsr(interrupt);
    return TRUE;
}

namespace {

// The low-power part of the deferred routine's start: TRUE when the work went to the interrupt work
// thread (interrupts stay masked until it is done).
BOOLEAN DeferToIntThreadOrOwn(PMP_ADAPTER adapter)
{
    if (adapter->LowPower.LowPowerMode == 0) {
        return FALSE;
    }
    if (adapter->RegistryBlock.ZiziSolution != 0) {
        AsicAcquireOwnLock(adapter);
        if (__atomic_load_n(&adapter->LowPower.OwnInProgress, __ATOMIC_ACQUIRE) > 0 || AsicFwOwnFlag(adapter)) {
            (void)QZEnqueueIntHandlerCmd(adapter, adapter->PortList[0], INT_HANDLER_CMD_INTERRUPT_WORK, nullptr, 0);
            AsicReleaseOwnLock(adapter);
            return TRUE;
        }
        AsicReleaseOwnLock(adapter);
    }
    (void)NdisCommonHifPmSetDriverOwn(adapter);
    return FALSE;
}

// The low-power part of the deferred routine's end: ownership back to the firmware, or to the
// interrupt work thread while a driver-own poll runs.
void GiveBackOwnership(PMP_ADAPTER adapter)
{
    if (adapter->LowPower.LowPowerMode == 0) {
        return;
    }
    if (adapter->RegistryBlock.ZiziSolution != 0) {
        AsicAcquireOwnLock(adapter);
        if (__atomic_load_n(&adapter->LowPower.OwnInProgress, __ATOMIC_ACQUIRE) > 0) {
            (void)QZEnqueueIntHandlerCmd(adapter, adapter->PortList[0], INT_HANDLER_CMD_FW_OWN, nullptr, 0);
            AsicReleaseOwnLock(adapter);
            return;
        }
        AsicReleaseOwnLock(adapter);
    }
    (void)NdisCommonHifPmSetFwOwn(adapter, 0);
}

void Unmask(WDFINTERRUPT interrupt, PMP_ADAPTER adapter)
{
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_PCI_SUSPENDED)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "suspended: interrupts stay masked");
        return;
    }
    (void)WdfInterruptSynchronize(interrupt, QZCxSyncEnableInterrupt, adapter);
}

// The receive window of the software interrupt delay: TRUE when the ring's status bit is held.
BOOLEAN DelayRing(PMP_ADAPTER adapter, ULONG ring, ULONG throughput)
{
    const REGISTRY_BLOCK& config = adapter->RegistryBlock;
    return static_cast<BOOLEAN>(throughput >= config.SwDlyIntTpMin && throughput <= config.SwDlyIntTpMax &&
                                !N6PciSwDelayIntRxProc(adapter->HifContext, ring));
}

}  // namespace

VOID AsicArvel2xPciHandleInterrupt(WDFINTERRUPT interrupt, WDFOBJECT associatedObject)
{
    UNREFERENCED_PARAMETER(associatedObject);
    PMP_ADAPTER adapter = QZCxGetInterruptContext(interrupt)->Adapter;
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED)) {
        return;
    }
    if (DeferToIntThreadOrOwn(adapter)) {
        return;
    }
    NTSTATUS status = AsicArvel2xPciHandleInterruptCommon(adapter);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "interrupt handler: 0x%08X", static_cast<unsigned>(status));
    }
    Unmask(interrupt, adapter);
    GiveBackOwnership(adapter);
}

NTSTATUS AsicArvel2xPciHandleInterruptInternal(PMP_ADAPTER adapter)
{
    LONG64 start = AsicSystemTime();
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt work on the thread");
    (void)NdisCommonHifPmSetDriverOwn(adapter);
    NTSTATUS status = AsicArvel2xPciHandleInterruptCommon(adapter);
    (void)HalCallOptional(adapter->HalOps.EnableInterrupt, adapter);
    (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt work on the thread done in %lld ms",
             static_cast<long long>((AsicSystemTime() - start) / kUnitsPerMs));
    return status;
}

NTSTATUS AsicArvel2xPciHandleInterruptCommon(PMP_ADAPTER adapter)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    const REGISTRY_BLOCK& config = adapter->RegistryBlock;
    const BOOLEAN qz3503 = static_cast<BOOLEAN>(adapter->HalInfo.ChipCode == 0x3503);
    const ULONG rx2Bit = qz3503 ? ARVEL2X_INT_RX2_DONE_QZ3503 : ARVEL2X_INT_RX2_DONE;
    ULONG s = 0;
    ULONG p = 0;
    ULONG m = 0;
    (void)HifIoRead32(adapter, ARVEL_HOST_INT_STATUS, &s);
    (void)HifIoRead32(adapter, ARVEL_MAC_INT_STATUS, &p);
    (void)HifIoRead32(adapter, ARVEL_SW_INT_STATUS, &m);
    if (s == 0xFFFFFFFFu) {
        if (!AdapterTestFlags(adapter, ADAPTER_FLAG_PCI_SUSPENDED)) {
            AdapterSetFlag(adapter, ADAPTER_FLAG_NOT_RESPONDING, __func__);
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "interrupt status reads all ones: the device is gone");
        }
        return STATUS_UNSUCCESSFUL;
    }
    // Receive ring 0 is held (left unacknowledged, served by a later interrupt) while its pool has
    // no record to replace a filled buffer, or while the delay rule says to wait.
    if ((s & ARVEL2X_INT_RX0_DONE) != 0) {
        if (config.SwDlyIntEn != 0 && DelayRing(adapter, 0, adapter->RxThroughput[0])) {
            s &= ~ARVEL2X_INT_RX0_DONE;
        }
        if (RxDmaqGetFreeCount(adapter, 0) == 0) {
            s &= ~ARVEL2X_INT_RX0_DONE;
        }
    }
    if (config.SwDlyIntEn != 0 && (s & rx2Bit) != 0 && DelayRing(adapter, 2, adapter->RxThroughput[1])) {
        s &= ~rx2Bit;
    }
    (void)HifIoWrite32(adapter, ARVEL_HOST_INT_STATUS, s);
    (void)HifIoWrite32(adapter, ARVEL_MAC_INT_STATUS, p);
    if (hif != nullptr) {
        hif->LastIntStatus = s;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_HIF, "interrupt status 0x%08X, PCIe 0x%08X, software 0x%08X",
             static_cast<unsigned>(s), static_cast<unsigned>(p), static_cast<unsigned>(m));
    BOOLEAN recovery = FALSE;
    if ((p & 0x100) != 0 || (m & 0x8000) != 0) {
        (void)HifIoWrite32(adapter, ARVEL_SW_INT_STATUS, m & 0x8000);
        if ((p & 0x100) != 0) {
            __atomic_fetch_add(&adapter->PcieErrorCount, 1u, __ATOMIC_RELAXED);
        }
        if ((m & 0x8000) != 0) {
            __atomic_fetch_add(&adapter->FwAssertCount, 1u, __ATOMIC_RELAXED);
        }
        recovery = TRUE;
    }
    const BOOLEAN serveRx = static_cast<BOOLEAN>(adapter->OpMode != 1);
    if ((s & ARVEL_INT_BIT31) != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt status bit 31");
    }
    if ((s & ARVEL2X_INT_TX0_DONE) != 0) {
        NdisCommonHifVoidHook();
    }
    if ((s & ARVEL2X_INT_TX1_DONE) != 0) {
        NdisCommonHifVoidHook();
    }
    if ((s & ARVEL2X_INT_TX3_DONE) != 0) {
        N6PciTxRingCmdDmaDoneInterrupt(hif, PCI_TX_RING_DOWNLOAD, FALSE);
    }
    if ((s & ARVEL2X_INT_TX2_DONE) != 0) {
        N6PciTxRingCmdDmaDoneInterrupt(hif, PCI_TX_RING_COMMAND, FALSE);
    }
    if ((s & ARVEL2X_INT_BIT21) != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt status bit 21");
    }
    const ULONG rxBits[PCI_RX_RING_COUNT] = {ARVEL2X_INT_RX0_DONE, ARVEL2X_INT_RX1_DONE, rx2Bit};
    for (ULONG ring = 0; ring < PCI_RX_RING_COUNT; ++ring) {
        if ((s & rxBits[ring]) == 0) {
            continue;
        }
        if (serveRx) {
            (void)N6PciRxDmaDoneInterrupt(hif, ring);
        } else {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "receive ring %u not served in this operating mode",
                     static_cast<unsigned>(ring));
        }
    }
    if ((s & ARVEL2X_INT_DMA_ERROR) != 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "DMA error interrupt");
        (void)HalCallOptional(adapter->HalOps.DumpPPDebugCr, adapter);
        qz3501_show_rx_ring_info(adapter);
    }
    if ((s & ARVEL_INT_SW) != 0) {
        AsicArvel2xProcessSoftwareInterrupt(adapter);
    }
    if (recovery && adapter->Recovery.IntRecoveryPending[0] != 1) {
        adapter->Recovery.IntRecoveryPending[0] = 1;
        adapter->Recovery.IntRecoveryPending[1] = 1;
        PostInternal(adapter, 0x10000043);
    }
    return STATUS_SUCCESS;
}

VOID AsicArvel2xProcessSoftwareInterrupt(PMP_ADAPTER adapter)
{
    ULONG m = AsicReadReg(adapter, ARVEL_SW_INT_STATUS);
    if ((m & 0x3C) != 0) {
        adapter->SavedSwIntStatus = m;
        (void)HifIoWrite32(adapter, ARVEL_SW_INT_STATUS, m);
        SerStepHandler(adapter);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "SER step interrupt 0x%08X", static_cast<unsigned>(m));
        return;
    }
    (void)HifIoWrite32(adapter, ARVEL_SW_INT_STATUS, m);
}

// ---- receive dispatch and statistics events -------------------------------------------------
VOID AsicRecvProcessIcsLog(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    if (adapter == nullptr || record == nullptr || record->BufferVa == nullptr) {
        return;
    }
    const ULONG readable = record->ReceivedLength < record->BufferSize ? record->ReceivedLength : record->BufferSize;
    if (readable < 2) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "log packet of %u bytes", static_cast<unsigned>(readable));
        return;
    }
    const USHORT length = static_cast<USHORT>(record->BufferVa[0] | (record->BufferVa[1] << 8));
    if (length > readable) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "log packet claims %u bytes, %u received", static_cast<unsigned>(length),
                 static_cast<unsigned>(readable));
        return;
    }
    const NTSTATUS status = ProcessIcsLog(adapter, record->BufferVa, length);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "log packet not taken: 0x%08X", static_cast<unsigned>(status));
    }
}

VOID AsicArvel2xRecvProcessIcsLog(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record)
{
    AsicRecvProcessIcsLog(adapter, record);
}

namespace {

constexpr UCHAR kZeroAddress[MAC_ADDR_LEN] = {};
constexpr ULONG kHeaderLength = 24;
constexpr ULONG kBarLength = 20;

BOOLEAN SameAddress(const UCHAR* a, const UCHAR* b) { return static_cast<BOOLEAN>(RtlCompareMemory(a, b, MAC_ADDR_LEN) == MAC_ADDR_LEN); }

// The port's signal fields from a frame of its BSS, and the adapter's sample ring.
void UpdatePortSignal(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* rcpi, const CHAR* rssi)
{
    for (ULONG c = 0; c < 4; ++c) {
        port->RxRcpi[c] = rcpi[c];
    }
    UpdateRssiSampleAvg(port, rssi[0], rssi[1], 0);
    for (ULONG c = 0; c < 3; ++c) {
        port->RxRssiAvgByte[c] = static_cast<UCHAR>(port->RxRssiSum[c] / 8);
    }
    ULONG span = adapter->RegistryBlock.GetRssiAvgCount;
    span = span < 8 ? 8 : (span > RX_RSSI_SAMPLES ? RX_RSSI_SAMPLES : span);
    const ULONG at = adapter->RssiSampleIndex % span;
    adapter->RssiSamples[at][0] = rssi[0];
    adapter->RssiSamples[at][1] = rssi[1];
    adapter->RssiSampleIndex = static_cast<UCHAR>((at + 1) % span);
}

}  // namespace

VOID AsicRxFrameDispatch(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record, UCHAR generation)
{
    PMP_ADAPTER adapter = hif->Adapter;
    BOOLEAN parsed = FALSE;
    switch (generation) {
    case DESC_GEN_OLDER:
        parsed = RxdMacHdrParser(adapter, record);
        break;
    case DESC_GEN_ARVEL2X:
        parsed = Qz3501RxdMacHdrParser(adapter, record);
        break;
    case DESC_GEN_ARVEL3X:
        parsed = AsicArvel3xRxdMacHdrParser(adapter, record);
        break;
    default:
        break;
    }
    RXD_FIELDS fields;
    if (!parsed || record->Frame == nullptr || !RxdGetFields(adapter, record, &fields)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "received frame: descriptor not parsed");
        RxDmaqFree(adapter, record);
        return;
    }
    // A Block Ack Request to a single receiver is 20 bytes (control, duration, two addresses, BAR
    // control and starting sequence); the paths it takes read no further than that.
    const BOOLEAN blockAckRequest = static_cast<BOOLEAN>(record->FrameLength >= kBarLength &&
                                                         (record->Frame[0] & 0xFC) == 0x84 && (record->Frame[4] & 0x01) == 0);
    if (record->FrameLength < kHeaderLength && !blockAckRequest) {
        // Every other path after the dispatch needs the whole 802.11 header.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "received frame of %u bytes", static_cast<unsigned>(record->FrameLength));
        RxDmaqFree(adapter, record);
        return;
    }
    const PUCHAR header = record->Frame;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "received frame: FC 0x%02X%02X, %u bytes, WLAN index %u, BSS index %u",
             static_cast<unsigned>(header[1]), static_cast<unsigned>(header[0]), static_cast<unsigned>(record->FrameLength),
             static_cast<unsigned>(fields.WlanIndex), static_cast<unsigned>(fields.BssIndex));
    BOOLEAN wake = FALSE;
    if (generation == DESC_GEN_OLDER) {
        wake = WoWLANWakePacketCheck(adapter, record);
    } else if (generation == DESC_GEN_ARVEL2X) {
        wake = Qz3501WoWLANWakePacketCheck(adapter, record);
    } else {
        wake = Arvel3xWoWLANWakePacketCheck(adapter, record);
    }
    if (wake) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "received frame is the wake packet");
    }
    if (SameAddress(header + 4, kZeroAddress)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "received frame to an all-zero address");
        RxDmaqFree(adapter, record);
        return;
    }
    // The station table has 20 entries (0-19): only those indexes name a station.
    PMP_PORT port = nullptr;
    if (fields.WlanIndex >= 1 && fields.WlanIndex < RX_STA_ENTRIES) {
        port = MlmeSyncGetPortByWlanIdx(adapter, fields.WlanIndex);
    }
    if (port == nullptr) {
        (void)RecvGetMacContext(adapter, header, &port);
    }
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "received frame for no port");
        RxDmaqFree(adapter, record);
        return;
    }
    AsicRxBandChannel(generation, fields.Channel, &adapter->LastRxBand, &adapter->LastRxChannel);
    CHAR rssi[3] = {};
    UCHAR rcpi[4] = {};
    BOOLEAN signal = FALSE;
    const UCHAR fc0 = header[0];
    const UCHAR type = static_cast<UCHAR>((fc0 >> 2) & 0x3);
    const UCHAR subtype = static_cast<UCHAR>(fc0 >> 4);
    const BOOLEAN unicastData = static_cast<BOOLEAN>(type == 2 && (fields.Word3 & (1u << 16)) != 0);
    const PUCHAR vector = record->Groups[RXD_SLOT_GROUP3];
    if (vector != nullptr) {
        signal = TRUE;
        if (generation == DESC_GEN_OLDER) {
            UCHAR out[RX_VGROUP_OUTPUT_SIZE] = {};
            ParseRxVGroup(adapter, 2, out, vector);
            rssi[0] = static_cast<CHAR>(out[0]);
            rssi[1] = static_cast<CHAR>(out[1]);
            for (ULONG c = 0; c < 4; ++c) {
                rcpi[c] = out[7 + c];
            }
        } else {
            const ULONG rcpiWord = TxdGetWord(vector, 1);
            for (ULONG c = 0; c < 4; ++c) {
                rcpi[c] = static_cast<UCHAR>(rcpiWord >> (8 * c));
            }
            rssi[0] = RcpiToRssi(rcpi[0]);
            rssi[1] = RcpiToRssi(rcpi[1]);
            // The second generation keeps every frame's RCPI word; the third its 16-bit third
            // field, and both words only of unicast data.
            if (generation == DESC_GEN_ARVEL3X) {
                port->RxVectorStore[13] = static_cast<ULONG>(vector[8] | (vector[9] << 8));
            } else {
                port->RxVectorStore[3] = rcpiWord;
            }
            if (unicastData) {
                port->RxVectorStore[12] = TxdGetWord(vector, 0);
                port->RxVectorStore[3] = rcpiWord;
            }
        }
    }
    const BOOLEAN fromBss = static_cast<BOOLEAN>((type == 2 || (type == 0 && subtype == 8)) &&
                                                 SameAddress(header + 10, port->Bssid));
    const BOOLEAN association = static_cast<BOOLEAN>(type == 0 && subtype <= 1);
    if (signal && !AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING) && (fromBss || association)) {
        UpdatePortSignal(adapter, port, rcpi, rssi);
    }
    if (generation == DESC_GEN_ARVEL3X && adapter->RegistryBlock.fgPerfIndicatorEn == 1) {
        AsicArvel3xRxPerfIndProcessRXV(adapter, port, record, rssi);
    }
    const BOOLEAN accessPoint = static_cast<BOOLEAN>(port->OpMode == 2 || port->OpMode == 3);
    switch (generation) {
    case DESC_GEN_OLDER:
        accessPoint ? ApDataCommonRxPacket(adapter, port, record, rssi) : RecvProcessPacket(adapter, port, record, rssi);
        break;
    case DESC_GEN_ARVEL2X:
        accessPoint ? Qz3501ApDataCommonRxPacket(adapter, port, record, rssi)
                    : Qz3501RecvProcessPacket(adapter, port, record, rssi);
        break;
    default:
        accessPoint ? Arvel3xApDataCommonRxPacket(adapter, port, record, rssi)
                    : Arvel3xRecvProcessPacket(adapter, port, record, rssi);
        break;
    }
}

VOID AsicRxRecordReturn(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    if (record != nullptr) {
        RxDmaqFree(hif->Adapter, record);
    }
}

VOID AsicRxBandChannel(UCHAR generation, UCHAR n, PULONG band, PUCHAR channel)
{
    if (generation == DESC_GEN_OLDER) {
        *band = n < 15 ? 1 : 2;
        *channel = n;
    } else if (n <= 14) {
        *band = 1;
        *channel = n;
    } else if (n <= 180) {
        *band = 2;
        *channel = n;
    } else {
        *band = 3;
        *channel = static_cast<UCHAR>(n * 4u + 45u);
    }
}

namespace {

// PHY mode code of the radio record from the long receive vector's mode field.
UCHAR SnifferPhyMode(ULONG m, BOOLEAN third)
{
    switch (m) {
    case 1: case 2: case 3: case 4: return static_cast<UCHAR>(m);
    case 8: return 5;
    case 9: return 6;
    case 10: return 7;
    case 11: return 8;
    case 13: return third ? 9 : 0;
    case 14: return third ? 10 : 0;
    case 15: return third ? 11 : 0;
    default: return 0;
    }
}

// The rate byte of modes 0 and 1 (CCK and OFDM rate codes), else the rate word's MCS bits.
UCHAR SnifferRate(ULONG m, ULONG rate)
{
    if (m == 0) {
        switch (rate & 0x7) {
        case 1: return 4;
        case 2: return 11;
        case 3: return 22;
        default: return 2;
        }
    }
    if (m == 1) {
        static constexpr UCHAR kOfdm[8] = {96, 48, 24, 12, 108, 72, 36, 18};  // codes 8-15
        const ULONG code = rate & 0xF;
        return code >= 8 ? kOfdm[code - 8] : 12;
    }
    return static_cast<UCHAR>(m == 2 || m == 3 ? (rate & 0x7F) : (rate & 0xF));
}

UCHAR Bit(ULONG word, ULONG bit) { return static_cast<UCHAR>((word >> bit) & 1); }
UCHAR Bits(ULONG word, ULONG first, ULONG width) { return static_cast<UCHAR>((word >> first) & ((1u << width) - 1)); }

}  // namespace

VOID AsicSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record, BOOLEAN third)
{
    PMP_ADAPTER adapter = hif->Adapter;
    const UCHAR generation = third ? DESC_GEN_ARVEL3X : DESC_GEN_ARVEL2X;
    const BOOLEAN parsed = third ? AsicArvel3xRxdMacHdrParser(adapter, record) : Qz3501RxdMacHdrParser(adapter, record);
    const PUCHAR stamp = record->Groups[RXD_SLOT_GROUP2];
    const PUCHAR shortVector = record->Groups[RXD_SLOT_GROUP3];
    const PUCHAR longVector = record->Groups[RXD_SLOT_GROUP5];
    RXD_FIELDS fields;
    if (!parsed || record->Frame == nullptr || record->FrameLength < 24 || stamp == nullptr || shortVector == nullptr ||
        longVector == nullptr || !RxdGetFields(adapter, record, &fields)) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "sniffer: buffer without frame or receive vectors");
        RxDmaqFree(adapter, record);
        return;
    }
    const PUCHAR header = record->Frame;
    const UCHAR type = static_cast<UCHAR>((header[0] >> 2) & 0x3);
    if (type <= 2) {
        static constexpr ULONG kCounter[3] = {1, 2, 0};  // management, control, data
        ++adapter->SnifferFrameCount[kCounter[type]];
    }
    auto L = [&](ULONG w) { return TxdGetWord(longVector, w); };
    const ULONG rate = TxdGetWord(shortVector, 0);
    const ULONG dw1 = TxdGetWord(record->Descriptor, 1);
    const ULONG dw2 = TxdGetWord(record->Descriptor, 2);
    const ULONG l0 = L(0);
    const ULONG m = (l0 >> 4) & 0xF;
    UCHAR radio[SNIFFER_RADIO_RECORD_SIZE] = {};
    radio[0] = SnifferPhyMode(m, third);
    TxdSetWord(radio, 1, TxdGetWord(stamp, 0));
    radio[8] = Bit(dw2, 27);
    radio[10] = static_cast<UCHAR>(Bit(dw2, 30) ^ 1);
    ULONG band = 0;
    AsicRxBandChannel(generation, fields.Channel, &band, &radio[13]);
    radio[12] = static_cast<UCHAR>(band);
    const ULONG l6 = L(6);
    radio[14] = static_cast<UCHAR>(RcpiToRssi(static_cast<UCHAR>(l6)));
    radio[15] = static_cast<UCHAR>(RcpiToRssi(static_cast<UCHAR>(l6 >> 8)));
    const USHORT sequence = static_cast<USHORT>((header[22] | (header[23] << 8)) >> 4);
    radio[16] = static_cast<UCHAR>(sequence);
    radio[17] = static_cast<UCHAR>(sequence >> 8);
    radio[20] = SnifferRate(m, rate);
    if (!third) {
        const ULONG g = (l0 >> 13) & 3;
        const BOOLEAN he = static_cast<BOOLEAN>(m >= 8 && m <= 11);
        radio[9] = Bit(dw1, 27);
        radio[11] = static_cast<UCHAR>(g == 0 ? 1 : (he ? (g == 1 ? 2 : 3) : 0));
        const ULONG bw = (l0 >> 8) & 7;
        radio[18] = static_cast<UCHAR>(bw >= 1 && bw <= 3 ? bw : 0);
        radio[19] = Bit(rate, 11);
        if (m == 4) {
            radio[21] = (l0 & 3) != 0 ? 1 : 0;
            radio[22] = Bit(l0, 11);
            radio[23] = Bit(l0, 23);
            radio[24] = Bit(l0, 20);
            radio[25] = Bit(rate, 10);
            radio[26] = static_cast<UCHAR>(Bits(rate, 7, 3) + 1);
            radio[27] = Bits(L(2), 22, 6);
            radio[28] = Bits(L(5), 20, 8);
        } else if (he) {
            const ULONG l9 = L(9);
            const ULONG l12 = L(12);
            radio[21] = Bits(l12, 0, 6);
            radio[22] = Bit(l12, 13);
            radio[23] = Bit(l0, 31);
            radio[24] = static_cast<UCHAR>(Bit(rate, 4) != 0 ? 0x10 : 0);
            radio[25] = (l0 & 3) != 0 ? 1 : 0;
            radio[26] = Bits(l9, 8, 4);
            radio[27] = Bits(l9, 12, 4);
            radio[28] = Bits(l9, 16, 4);
            radio[29] = Bits(l9, 20, 4);
            const USHORT ltf = static_cast<USHORT>((L(5) >> 20) & 0x7FF);
            radio[30] = static_cast<UCHAR>(ltf);
            radio[31] = static_cast<UCHAR>(ltf >> 8);
            radio[32] = Bit(rate, 10);
            radio[33] = Bit(l0, 23);
            radio[34] = static_cast<UCHAR>(Bits(rate, 7, 3) + 1);
            radio[35] = Bit(l12, 16);
            radio[36] = Bits(l12, 6, 7);
        }
    } else {
        const ULONG g = (l0 >> 16) & 3;
        const BOOLEAN he = static_cast<BOOLEAN>(m >= 8 && m != 12);
        radio[9] = static_cast<UCHAR>(record->Descriptor[15] & 1);
        radio[11] = static_cast<UCHAR>(g == 0 ? 1 : (he ? (g == 1 ? 2 : 3) : 0));
        const ULONG bw = (l0 >> 11) & 7;
        radio[18] = static_cast<UCHAR>(bw >= 1 && bw <= 3 ? bw : 0);
        radio[19] = Bit(rate, 12);
        if (m > 3) {
            radio[24] = static_cast<UCHAR>(Bit(rate, 4) != 0 ? 0x10 : 0);
        }
        if (m > 4) {
            radio[32] = Bit(rate, 11);
            radio[34] = static_cast<UCHAR>(Bits(rate, 7, 4) + 1);
        }
        if (m == 4) {
            radio[21] = ((l0 >> 9) & 3) != 0 ? 1 : 0;
            radio[22] = Bit(l0, 14);
            radio[23] = Bit(L(1), 1);
            radio[24] = Bit(l0, 30);
            radio[25] = Bit(rate, 11);
            radio[26] = static_cast<UCHAR>(Bits(rate, 7, 4) + 1);
            radio[27] = Bits(L(2), 22, 6);
            radio[28] = Bits(L(4), 17, 8);
        } else if (he) {
            const ULONG l4 = L(4);
            const ULONG l5 = L(5);
            const ULONG l9 = L(9);
            radio[21] = Bits(l5, 10, 6);
            radio[22] = Bit(l4, 29);
            radio[23] = Bit(L(1), 2);
            radio[25] = ((l0 >> 9) & 3) != 0 ? 1 : 0;
            radio[26] = Bits(l9, 8, 4);
            radio[27] = Bits(l9, 12, 4);
            radio[28] = Bits(l9, 16, 4);
            radio[29] = Bits(l9, 20, 4);
            const USHORT ltf = static_cast<USHORT>((l4 >> 17) & 0x7FF);
            radio[30] = static_cast<UCHAR>(ltf);
            radio[31] = static_cast<UCHAR>(ltf >> 8);
            radio[33] = Bit(L(1), 1);
            radio[35] = Bit(l5, 0);
            radio[36] = Bits(l5, 17, 7);
        }
    }
    PrintSnifferPcapLog(radio, record->FrameLength, header);
    RxDmaqFree(adapter, record);
}

VOID AsicArvel2xPciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    AsicSnifferPacket(hif, record, FALSE);
}

VOID AsicSwDefinedDispatch(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record, PFN_CHIP_RX_PACKET frame, USHORT mask,
                           BOOLEAN romEvents)
{
    if (record == nullptr) {
        return;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    // While the boot ROM runs every software-defined packet is an event.
    if (romEvents && __atomic_load_n(&adapter->FwDownloaded, __ATOMIC_ACQUIRE) == 0) {
        (void)RecvProcessFwEvent(adapter, record);
        return;
    }
    if (record->BufferVa == nullptr || record->ReceivedLength < 4) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "software-defined packet of %u bytes", static_cast<unsigned>(record->ReceivedLength));
        RxDmaqFree(adapter, record);
        return;
    }
    const USHORT subType = static_cast<USHORT>((record->BufferVa[2] | (record->BufferVa[3] << 8)) & mask);
    const USHORT eventType = mask & 0xFFF0u;
    if (subType == eventType) {
        (void)RecvProcessFwEvent(adapter, record);
    } else if (subType == (eventType | 1u)) {
        frame(hif, record);
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "software-defined packet of sub-type 0x%04X dropped",
                 static_cast<unsigned>(subType));
        RxDmaqFree(adapter, record);
    }
}

VOID AsicArvel2xPciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    AsicSwDefinedDispatch(hif, record, AsicArvel2xPciProcessRxPacket, ARVEL_SW_DEFINED_MASK, TRUE);
}

VOID AsicArvel2xPciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "AsicArvel2xPciProcessRxPacket: %u bytes",
             static_cast<unsigned>(record != nullptr ? record->ReceivedLength : 0));
    AsicRxFrameDispatch(hif, record, DESC_GEN_ARVEL2X);
}

namespace {

struct StatField {
    USHORT offset;
    USHORT length;
};

// The fixed fields of the statistics event, {offset, bytes}; the per-band blocks follow separately.
constexpr StatField kStatFields2[] = {{46, 1},  {47, 1},  {48, 4},  {52, 4},  {60, 4},  {64, 4},  {72, 4},
                                      {76, 4},  {168, 4}, {172, 4}, {120, 4}, {124, 4}, {112, 7}, {128, 1},
                                      {140, 16}, {156, 5}, {162, 2}, {164, 2}, {176, 24}, {304, 1}, {305, 1},
                                      {306, 2}, {308, 1}, {309, 1}, {310, 4}, {314, 9}, {80, 32}};
constexpr StatField kStatFields3[] = {{46, 1},  {47, 1},  {48, 4},  {52, 4},  {60, 4},  {64, 4},  {72, 4},
                                      {76, 4},  {168, 4}, {172, 4}, {120, 4}, {124, 4}, {112, 7}, {128, 1},
                                      {132, 24}, {156, 5}, {162, 2}, {164, 2}, {176, 24}, {368, 1}, {369, 1},
                                      {370, 2}, {372, 1}, {373, 1}, {374, 4}, {378, 9}, {80, 32}};

ULONG Le32(const UCHAR* p) { return TxdGetWord(p, 0); }
ULONG Ratio(ULONG64 part, ULONG64 other) { return part + other == 0 ? 0 : static_cast<ULONG>(part * 1000 / (part + other)); }

}  // namespace

VOID AsicStaStatistics(PMP_ADAPTER adapter, PUCHAR event, BOOLEAN third)
{
    if (adapter == nullptr || event == nullptr) {
        return;
    }
    const ULONG total = static_cast<ULONG>(event[0] | (event[1] << 8));
    const ULONG payloadLength = total > FW_EVENT_HEADER_LENGTH ? total - FW_EVENT_HEADER_LENGTH : 0;
    const ULONG expected = third ? 376 : 312;
    if (payloadLength != expected) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "station statistics of %u bytes ignored", static_cast<unsigned>(payloadLength));
        return;
    }
    const UCHAR* p = event + FW_EVENT_HEADER_LENGTH;
    const ULONG blockSize = third ? 84 : 52;
    if ((Le32(p + 32) & 1) != 0) {
        // Fields that would reach past the payload are cut at its end.
        const StatField* fields = third ? kStatFields3 : kStatFields2;
        const ULONG count = third ? sizeof(kStatFields3) / sizeof(kStatFields3[0]) : sizeof(kStatFields2) / sizeof(kStatFields2[0]);
        for (ULONG i = 0; i < count; ++i) {
            const ULONG at = fields[i].offset;
            if (at < payloadLength && at < STA_STAT_RECORD_SIZE) {
                ULONG n = fields[i].length;
                n = n < payloadLength - at ? n : payloadLength - at;
                RtlCopyMemory(adapter->Stats.StaStatRecord + at, p + at, n);
            }
        }
        RtlCopyMemory(adapter->Stats.StaStatRecord + 200, p + 200, 2 * blockSize);
        for (ULONG band = 0; band < 2; ++band) {
            const UCHAR* block = p + 200 + band * blockSize;
            for (ULONG c = 0; c < 21; ++c) {
                const ULONG value = c < 5 || third ? Le32(block + 4 * c) : static_cast<ULONG>(block[20 + 2 * (c - 5)] |
                                                                                             (block[21 + 2 * (c - 5)] << 8));
                adapter->Stats.StaStatBandTotals[band][c] += value;
            }
        }
        const ULONG divisor = Le32(p + 56);
        adapter->Stats.StaStatRate = divisor == 0 ? 0 : static_cast<ULONG>(static_cast<ULONG64>(Le32(p + 68)) * 32 / 1000 / divisor);
    }
    for (ULONG band = 0; band < 2; ++band) {
        const UCHAR* block = p + 200 + band * blockSize;
        for (ULONG c = 0; c < 5; ++c) {
            adapter->Stats.StaStatBandCumulative[band][c] += adapter->Stats.StaStatBandTotals[band][c];
        }
        adapter->Stats.StaStatRatioCumulative[band] =
            Ratio(adapter->Stats.StaStatBandCumulative[band][1], adapter->Stats.StaStatBandCumulative[band][0]);
        adapter->Stats.StaStatRatioEvent[band] = Ratio(Le32(block + 4), Le32(block));
    }
    if (adapter->Stats.StaStatReset != 0) {
        RtlZeroMemory(adapter->Stats.StaStatBandTotals, sizeof(adapter->Stats.StaStatBandTotals));
        RtlZeroMemory(adapter->Stats.StaStatBandCumulative, sizeof(adapter->Stats.StaStatBandCumulative));
        RtlZeroMemory(adapter->Stats.StaStatRatioCumulative, sizeof(adapter->Stats.StaStatRatioCumulative));
        RtlZeroMemory(adapter->Stats.StaStatRatioEvent, sizeof(adapter->Stats.StaStatRatioEvent));
        RtlZeroMemory(adapter->Stats.StaStatCounters, sizeof(adapter->Stats.StaStatCounters));
    }
}

VOID AsicArvel2xProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "AsicArvel2xProcessStaStatistics: event");
    AsicStaStatistics(adapter, event, FALSE);
}

VOID AsicArvel2xProcessGetMIBInfoEvent(PMP_ADAPTER adapter, PUCHAR event)
{
    if (adapter == nullptr || event == nullptr) {
        return;
    }
    const ULONG total = static_cast<ULONG>(event[0] | (event[1] << 8));
    const ULONG payloadLength = total > FW_EVENT_HEADER_LENGTH ? total - FW_EVENT_HEADER_LENGTH : 0;
    const UCHAR* p = event + FW_EVENT_HEADER_LENGTH;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "AsicArvel2xProcessGetMIBInfoEvent: %u bytes", static_cast<unsigned>(payloadLength));
    for (ULONG at = 0; at + 4 <= payloadLength && at < 64; at += 4) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "MIB counter %u: %u", static_cast<unsigned>(at / 4), static_cast<unsigned>(Le32(p + at)));
    }
}

// ---- diagnostics ----------------------------------------------------------------------------
VOID AsicArvel2xShowHostCsrInfo(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

// ---- PCI Express low power ------------------------------------------------------------------
VOID AsicArvel2xPcieCfgSpaceLowPower(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicPcieMacL1ssEnable(PMP_ADAPTER adapter, UCHAR enable)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xLowPowerEnableInit(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPcieLTRValue(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPcieDynamicL1(PMP_ADAPTER adapter, BOOLEAN work)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPcieAspmCtl(PMP_ADAPTER adapter, ULONG mode)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xAutoDetectL1ssCap(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xPcieGenSwitch(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

// ---- operations table ---------------------------------------------------------------------------
VOID AsicArvel2xChipOpsInit(PCHIP_HAL_OPS ops)
{
    RtlZeroMemory(ops, sizeof(*ops));
    ops->LoadRomPatch = AsicArvel2xLoadRomPatch;
    ops->LoadFirmware = AsicArvel2xLoadFirmware;
    ops->EraseFirmware = AsicArvel2xEraseFirmware;
    ops->ReservedOp6 = HalReservedOp6;
    ops->SendMlmeCmdPkt = NdisCommonHifSendMlmeCmdPkt;
    ops->CmdSendMsg = NdisCommonHifCmdSendMsg;
    ops->PostFwDownloadInit = AsicArvel2xPostFwDownloadInit;
    ops->FwRecovery = AsicArvel2xFwRecovery;
    ops->ToggleWfsysRst = AsicArvel2xToggleWfsysRst;
    ops->IsFwReady = AsicArvel2xIsFwReady;
    ops->HalWpdmaWaitIdle = AsicArvel2xHalWpdmaWaitIdle;
    ops->WpdmaConfig = AsicArvel2xWpdmaConfig;
    ops->WpdmaTxRxDmaCtl = AsicArvel2xWpdmaTxRxDmaCtl;
    ops->ShowHostCsrInfo = AsicArvel2xShowHostCsrInfo;
    ops->DisableInterrupt = AsicArvel2xDisableInterrupt;
    ops->EnableInterrupt = AsicArvel2xEnableInterrupt;
    ops->PciHandleInterrupt = AsicArvel2xPciHandleInterrupt;
    ops->PciMsr = AsicArvel2xPciMsr;
    ops->RecvProcessIcsLog = AsicArvel2xRecvProcessIcsLog;
    ops->PciProcessRxSnifferPacket = AsicArvel2xPciProcessRxSnifferPacket;
    ops->PciProcessRxSwDefinedPacket = AsicArvel2xPciProcessRxSwDefinedPacket;
    ops->PciProcessRxPacket = AsicArvel2xPciProcessRxPacket;
    ops->CmdTxdLength = AsicArvel2xCmdTxdLength;
    ops->XmitWriteTxD = AsicArvel2xXmitWriteTxD;
    ops->ProcessStaStatistics = AsicArvel2xProcessStaStatistics;
    ops->ProcessGetMIBInfoEvent = AsicArvel2xProcessGetMIBInfoEvent;
    ops->GetFwSyncValue = AsicArvel2xGetFwSyncValue;
    ops->HifPciPmSetDriverOwn = AsicArvel2xHifPciPmSetDriverOwn;
    ops->EnsureDriverOwn = AsicArvel2xEnsureDriverOwn;
    ops->PciXmitStartTxRx = AsicArvel2xPciXmitStartTxRx;
    ops->SetFwOwn = AsicSetFwOwn;
    ops->GetOwnStatus = AsicGetOwnStatus;
    ops->RequestDriverOwn = AsicRequestDriverOwn;
    ops->PcieCfgSpaceLowPower = AsicArvel2xPcieCfgSpaceLowPower;
    ops->PcieMacL1ssEnable = AsicPcieMacL1ssEnable;
    ops->LowPowerEnableInit = AsicArvel2xLowPowerEnableInit;
    ops->PcieLTRValue = AsicArvel2xPcieLTRValue;
    ops->PcieDynamicL1 = AsicArvel2xPcieDynamicL1;
    ops->PcieAspmCtl = AsicArvel2xPcieAspmCtl;
    ops->AutoDetectL1ssCap = AsicArvel2xAutoDetectL1ssCap;
}
