// Third-generation chip code.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qzarvel3x.h"
#include "platform/ndiscommon/ndiscommonhif.h"

#include "Common/common.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_desc.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_postdl.h"
#include "platform/ndiscommon/memory.h"
#include "hal/common/hal_services.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/wificx/wificxmain.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/qzcmd.h"
#include "Common/rlm.h"
#include "hal/common/hal_bringup.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/ndiscommoninit.h"

namespace {

BOOLEAN Halting(PMP_ADAPTER adapter) { return AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED); }

BOOLEAN FrameworkDisabled(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(__atomic_load_n(&adapter->InterruptsDisabled, __ATOMIC_ACQUIRE) != 0);
}

void PostRecovery(PMP_ADAPTER adapter, ULONG kind)
{
    NTSTATUS status = QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_ERROR_RECOVERY, &kind, sizeof(kind));
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "recovery kind %u not posted: 0x%08X", static_cast<unsigned>(kind),
                 static_cast<unsigned>(status));
    }
}

constexpr LONG64 kUnitsPerMs = 10000;
constexpr LONG64 kOwnWaitUnits = 20009999;  // 2.001 s
constexpr LONG64 kPollUnits = 20000000;     // 2 s
constexpr LONG64 kReRequestUnits = 200 * kUnitsPerMs;

}  // namespace


// ---- firmware download ----------------------------------------------------------------------
namespace {

constexpr FW_DL_GENERATION kArvel3xDownload = {
    "AsicArvel3x",
    FALSE,  // no refusal above passive level
    TRUE,   // image caches and container
    1,      // ROM patch not empty
    1,      // RAM code not empty
    TRUE,   // region flag bit 4 adds 0x40
    TRUE,   // identification text
    TRUE,   // firmware-start mark
    TRUE,   // section patch
    AsicArvel3xPatchSemaphore,
    AsicArvel3xDownloadInit,
    AsicArvel3xFwScatter,
    AsicArvel3xPatchFinish,
    AsicArvel3xFwStart,
    AsicArvel3xwlanImageSectionGetPatchInfoV2,
    AsicArvel3xGetFwSyncValue,
};

}  // namespace

NTSTATUS AsicArvel3xPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation)
{
    return HalFwDlPatchSemaphore(adapter, operation, TRUE);
}

NTSTATUS AsicArvel3xDownloadInit(PMP_ADAPTER adapter, ULONG address, ULONG length, ULONG dataMode, ULONG kind)
{
    return HalFwDlSendDownloadInit(adapter, kind == FW_DL_KIND_ROM_PATCH ? FW_DL_CMD_PATCH_INIT : FW_DL_CMD_REGION_INIT,
                                   address, length, dataMode);
}

NTSTATUS AsicArvel3xFwScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length)
{
    return HalFwDlSendScatter(adapter, data, length);
}

NTSTATUS AsicArvel3xPatchFinish(PMP_ADAPTER adapter) { return HalFwDlSendPatchFinish(adapter, 0); }

NTSTATUS AsicArvel3xFwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2)
{
    return HalFwDlSendFwStart(adapter, hasEntry, entryAddress, optionBit2);
}

NTSTATUS AsicArvel3xwlanDownloadSectionV2(PMP_ADAPTER adapter, ULONG dataMode, ULONG kind, PPATCH_SECTION_LIST list)
{
    return HalFwDlDownloadSections(adapter, &kArvel3xDownload, dataMode, kind, list);
}

NTSTATUS AsicArvel3xLoadRomPatch(PMP_ADAPTER adapter) { return HalFwDlLoadRomPatch(adapter, &kArvel3xDownload); }

NTSTATUS AsicArvel3xLoadFirmware(PMP_ADAPTER adapter) { return HalFwDlLoadFirmware(adapter, &kArvel3xDownload); }

NTSTATUS AsicArvel3xEraseFirmware(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return STATUS_NOT_SUPPORTED;
}

ULONG AsicArvel3xGetFwSyncValue(PMP_ADAPTER adapter) { return AsicArvel2xGetFwSyncValue(adapter); }

// ---- post-download initialisation ----------------------------------------------------------------------
namespace {

// The factory calibration restore: the stored records when they were taken for this chip and no
// recovery happened since, otherwise the store is marked for a refresh.
void RestoreFactoryCalibration(PMP_ADAPTER adapter)
{
    const CHIP_HAL_INFO& info = adapter->HalInfo;
    if (g_FactCalStore.Count == info.FactoryCalIdCount &&
        PlatformEqualMemory(g_FactCalStore.MacAddress, adapter->PermanentAddress, MAC_ADDR_LEN) &&
        ErrRecoveryNoneOccurred(adapter)) {
        (void)QzCmdFactCalUpdateFlag(adapter, 1);
        for (ULONG i = 0; i < info.FactoryCalIdCount && i < CHIP_FACTORY_CAL_IDS; ++i) {
            UCHAR band = 0;
            UCHAR index = 0;
            if (factCalKeyToBandIndex(info.FactoryCalIds[i], &band, &index)) {
                (void)QzCmdFactCalSet(adapter, band, index);
            }
        }
        return;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    g_FactCalStore.State = FACT_CAL_STATE_REFRESH;
    g_FactCalStore.StateTime = now.QuadPart;
}

NTSTATUS ThermalProtText(PMP_ADAPTER adapter, PCSTR key, ULONG band, ULONG lv0, ULONG lv1, ULONG lv2, ULONG lv3,
                         ULONG type, ULONG trigType, ULONG trigTemp, ULONG restoreTemp, ULONG checkTime)
{
    return HalSendChipConfigText(adapter, "%s %d %d %d %d %d %d %d %d %d %d\n", key, static_cast<UCHAR>(band),
                                 static_cast<UCHAR>(lv0), static_cast<UCHAR>(lv1), static_cast<UCHAR>(lv2),
                                 static_cast<UCHAR>(lv3), static_cast<UCHAR>(type), static_cast<UCHAR>(trigType),
                                 static_cast<UCHAR>(trigTemp), static_cast<UCHAR>(restoreTemp),
                                 static_cast<UCHAR>(checkTime));
}

}  // namespace

NTSTATUS AsicArvel3xQueryNicCapability(PMP_ADAPTER adapter) { return HalPostDlQueryCapability(adapter); }

NTSTATUS AsicArvel3xUpdateFwBasicConfig(PMP_ADAPTER adapter) { return HalPostDlBasicConfig(adapter); }

NTSTATUS AsicArvel3xDownloadBufferBin(PMP_ADAPTER adapter) { return HalDownloadBufferBinPieces(adapter); }

NTSTATUS AsicArvel3xSetPassiveToActiveScan(PMP_ADAPTER adapter) { return HalPostDlPassiveToActiveScan(adapter); }

NTSTATUS AsicArvel3xSetFWChipConfig(PMP_ADAPTER adapter) { return HalPostDlSoftApLinkCheck(adapter); }

NTSTATUS AsicArvel3xUpdateThermalProtConfig(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    if (r.ThermalEnable == 0) {
        return STATUS_SUCCESS;
    }
    NTSTATUS first = STATUS_SUCCESS;
    if (r.ThermalProtBand_A == 1) {
        first = ThermalProtText(adapter, "ThermalProtAband", r.ThermalProtBand_A, r.ThermalProtLV0_A, r.ThermalProtLV1_A,
                                r.ThermalProtLV2_A, r.ThermalProtLV3_A, r.ThermalProtType_A, r.ThermalProtTrigType_A,
                                r.ThermalProtTrigTemp_A, r.ThermalProtRestoreTemp_A, r.ThermalProtCheckTime_A);
    }
    if (r.ThermalProtBand_G == 1) {
        NTSTATUS status =
            ThermalProtText(adapter, "ThermalProtGband", r.ThermalProtBand_G, r.ThermalProtLV0_G, r.ThermalProtLV1_G,
                            r.ThermalProtLV2_G, r.ThermalProtLV3_G, r.ThermalProtType_G, r.ThermalProtTrigType_G,
                            r.ThermalProtTrigTemp_G, r.ThermalProtRestoreTemp_G, r.ThermalProtCheckTime_G);
        if (first == STATUS_SUCCESS) {
            first = status;
        }
    }
    return first;
}

NTSTATUS AsicArvel3xSetLogLevelConfig(PMP_ADAPTER adapter)
{
    const ULONG level = adapter->RegistryBlock.FwlogLevelEnable;
    if (level == 0) {
        return STATUS_SUCCESS;
    }
    return HalSendChipConfigText(adapter, "%s 0x%x\n", "EvtDrvnLogCatLvl", static_cast<unsigned>(level));
}

NTSTATUS AsicArvel3xUpdatePcieGenSwitchConfig(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    if (r.EnablePcieSwitch == 0) {
        return STATUS_SUCCESS;
    }
    return HalSendChipConfigText(adapter, "%s %d %d %d\n", "PcieGenSwitch", static_cast<int>(r.EnablePcieSwitch),
                                 static_cast<int>(r.EnablePcieGenSwitchHighTH), static_cast<int>(r.EnablePcieGenSwitchLowTH));
}

NTSTATUS AsicArvel3xPostFwDownloadInit(PMP_ADAPTER adapter)
{
    HalPostDlPrepare(adapter);
    NTSTATUS status = AsicArvel3xQueryNicCapability(adapter);
    if (status == STATUS_SUCCESS) {
        status = AsicArvel3xUpdateFwBasicConfig(adapter);
    }
    if (status != STATUS_SUCCESS) {
        return status;
    }
    if (adapter->RegistryBlock.EnablePowerOnCalEnhancement && adapter->Cap.FactoryCalCapable) {
        RestoreFactoryCalibration(adapter);
    }
    (void)HalPostDlRegWrite(adapter, POSTDL_FW_REG_ARVEL3X, POSTDL_FW_REG_VALUE);
    status = AsicArvel3xDownloadBufferBin(adapter);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    const USHORT id = adapter->DeviceId;
    if (id == 0x3602 || id == 0x3603 || id == 0x0C04) {
        status = QzCmdUpdateDBDCSetting(adapter, 1, 0, 0);
        if (status != STATUS_SUCCESS) {
            return status;
        }
    }
    NdisCommonGenericDelay(1000);
    PFN_CHIP_STATUS texts[] = {AsicArvel3xSetPassiveToActiveScan, AsicArvel3xUpdateThermalProtConfig,
                               AsicArvel3xSetLogLevelConfig, AsicArvel3xSetFWChipConfig};
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

VOID AsicArvel3xQueryRomVersion(PMP_ADAPTER adapter)
{
    ULONG value = 0;
    (void)HifIoRead32(adapter, ARVEL3X_ROM_VERSION_REGISTER, &value);
    if (value == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "ROM version register reads 0");
    }
    adapter->RomVersion = value & 0xFF;
}

// ---- recovery and reset ---------------------------------------------------------------------
VOID AsicArvel3xSetSwIntToMcu(PMP_ADAPTER adapter, ULONG value)
{
    (void)HifIoWrite32(adapter, ARVEL_HOST_TO_MCU_SW_INT, value);
}

NTSTATUS AsicArvel3xFwRecovery(PMP_ADAPTER adapter)
{
    QzCmdQueueFlushCheck(adapter);
    QzCmdInitFWCmdQueue(adapter);
    __atomic_store_n(&adapter->Recovery.FwRecoveryState, static_cast<UCHAR>(2), __ATOMIC_RELEASE);
    AdapterSetFlag(adapter, ADAPTER_FLAG_FW_RECOVERY, __func__);
    const BOOLEAN lowPower = static_cast<BOOLEAN>(adapter->LowPower.LowPowerMode != 0);
    if (lowPower) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    PlatformIndicateRejectPendingPackets(adapter, 1);
    NTSTATUS status = AsicRecoveryResetWfsys(adapter);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    (void)NdisCommonHifDisableInterrupt(hif);
    AsicTraceRecoveryStep("transmit and receive start", NdisCommonHifStartTxRx(hif, adapter->BringUp.Progress));
    (void)NdisCommonHifEnableInterrupt(hif);
    AdapterClearFlag(adapter, ADAPTER_FLAG_FW_RECOVERY, __func__);
    status = HalDownloadPatchFirmware(adapter);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "firmware recovery: download 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 != nullptr) {
        AsicTraceRecoveryStep("wireless mode", MlmeInfoSetPhyMode(adapter, port0, adapter->WorkingCfg.WirelessMode, 1));
        AsicTraceRecoveryStep("domain", DomainConfigureDomainInfo(adapter, port0));
    }
    for (PMP_PORT port : adapter->PortList) {
        if (port != nullptr && port->NetworkActivation[0] == 1) {
            port->NetworkActivation[0] = 0;
            AsicTraceRecoveryStep("network", QzCmdActivateDeactivateNetwork(adapter, port->BssIndex, 1));
        }
    }
    if (port0 != nullptr) {
        AsicTraceRecoveryStep("keep full power", MlmeUpdateKeepFullPwrToFw(adapter, port0));
        if (adapter->RadioState.RadioOn) {
            AsicTraceRecoveryStep("MLME periodic timer", PlatformSetTimer(port0, &port0->MlmePeriodicTimer, 100));
            AsicTraceRecoveryStep("transmit-hang timer", PlatformSetTimer(port0, &port0->TxHangTimer, 1000));
        }
    }
    if (lowPower) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
    ++adapter->Recovery.FwRecoveryCount;
    __atomic_store_n(&adapter->Recovery.FwRecoveryState, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    if (port0 != nullptr && (port0->ConnectionFlags & PORT_CONN_CONNECTED) != 0) {
        adapter->Recovery.RoamAfterRecovery = 1;
        WdiEventIndicateRoamingNeeded(adapter, port0, 10);
    }
    return STATUS_SUCCESS;
}

NTSTATUS AsicArvel3xHalPollWfsysSwInitDone(PMP_ADAPTER adapter)
{
    for (ULONG read = 0; read < 501; ++read) {
        if (read != 0) {
            AsicBusyWait(100);
        }
        if (AsicReadReg(adapter, ARVEL3X_WFSYS_INIT_DONE) == ARVEL3X_WFSYS_INIT_DONE_VALUE) {
            return STATUS_SUCCESS;
        }
    }
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS AsicArvel3xToggleWfsysRst(PMP_ADAPTER adapter)
{
    const USHORT code = adapter->HalInfo.ChipCode;
    if (code != 0x3601 && code != 0x3602 && code != 0x3603) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "subsystem reset: chip 0x%04X has none", static_cast<unsigned>(code));
        return STATUS_UNSUCCESSFUL;
    }
    const BOOLEAN qz3601 = static_cast<BOOLEAN>(code == 0x3601);
    const ULONG resetBit = qz3601 ? 0x1u : 0x10u;
    if (adapter->HalOps.IsFwReady != nullptr && adapter->HalOps.IsFwReady(adapter)) {
        (void)fwLogMmioHandler();
    }
    if (!qz3601) {
        AsicSetRegBits(adapter, 0x7C001600, 0, 0xF);
        for (ULONG reg : {0x7C001620u, 0x7C001630u}) {
            const ULONG value = AsicReadReg(adapter, reg);
            if ((value & 0x3) != 0) {
                (void)HifIoWrite32(adapter, reg, value);
            }
        }
    }
    if (!AsicArvel3xWfdmaPollingAllIdle(adapter)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "subsystem reset: DMA not idle");
    }
    (void)HifIoWrite32(adapter, 0x81023F00, 0xC0000100);
    (void)HifIoWrite32(adapter, 0x81023008, 0);
    if (qz3601) {
        AsicSetRegBits(adapter, ARVEL3X_WFSYS_RESET, 0, 0x40);
        AsicSetRegBits(adapter, 0x7C0114C0, 0x000C000E, 0);
    }
    ULONG value = AsicReadReg(adapter, ARVEL3X_WFSYS_RESET);
    if (adapter->RegistryBlock.TestYBFlag == 1) {
        return STATUS_UNSUCCESSFUL;
    }
    BOOLEAN asserted = FALSE;
    for (ULONG write = 0; write < 6 && !asserted; ++write) {
        if (write != 0) {
            NdisCommonGenericDelay(1);
        }
        (void)HifIoWrite32(adapter, ARVEL3X_WFSYS_RESET, value | resetBit);
        NdisCommonGenericDelay(1000);
        value = AsicReadReg(adapter, ARVEL3X_WFSYS_RESET);
        asserted = static_cast<BOOLEAN>((value & resetBit) != 0);
    }
    if (!asserted) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "subsystem reset: reset bit never read set");
    }
    NdisCommonGenericDelay(20000);
    value = AsicReadReg(adapter, ARVEL3X_WFSYS_RESET);
    if (value == 0xFFFFFFFF) {
        (void)HalCallOptional(adapter->HalOps.ShowDebugSopInfo, adapter, 1);
        value = AsicReadReg(adapter, ARVEL3X_WFSYS_RESET);
    }
    (void)HifIoWrite32(adapter, ARVEL3X_WFSYS_RESET, value & ~resetBit);
    NdisCommonGenericDelay(200);
    NTSTATUS status = AsicArvel3xHalPollWfsysSwInitDone(adapter);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "subsystem reset: init not done (0x%08X, 0x%08X)",
                 static_cast<unsigned>(AsicReadReg(adapter, ARVEL3X_WFSYS_RESET)),
                 static_cast<unsigned>(AsicReadReg(adapter, 0x70028610)));
        (void)HalCallOptional(adapter->HalOps.ShowDebugSopInfo, adapter, 1);
    }
    AsicWfsysResetOwnCycle(adapter);
    return status;
}

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN AsicArvel3xIsFwReady(PMP_ADAPTER adapter)
{
    if (adapter->HalOps.GetFwSyncValue == nullptr) {
        return FALSE;
    }
    return static_cast<BOOLEAN>((adapter->HalOps.GetFwSyncValue(adapter) & 3) == 3);
}

NTSTATUS AsicArvel3xHifPciPmSetDriverOwn(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& config = adapter->RegistryBlock;
    const BOOLEAN zizi = static_cast<BOOLEAN>(config.ZiziSolution != 0);
    (void)InterlockedIncrement(&adapter->LowPower.OwnCallBalance);
    if (Halting(adapter)) {
        return STATUS_UNSUCCESSFUL;
    }
    AsicAcquireOwnLock(adapter);
    if (zizi) {
        LONG64 waitStart = AsicSystemTime();
        while (__atomic_load_n(&adapter->LowPower.OwnInProgress, __ATOMIC_ACQUIRE) != 0) {
            if (AsicSystemTime() - waitStart > kOwnWaitUnits) {
                AsicReleaseOwnLock(adapter);
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "driver own: another poll still runs after 2 s");
                (void)HalCallOptional(adapter->HalOps.ShowDebugSopInfo, adapter, 1);
                return STATUS_UNSUCCESSFUL;
            }
            AsicReleaseOwnLock(adapter);
            NdisCommonGenericDelay(config.LockFreeDriverOwnDelay);
            AsicAcquireOwnLock(adapter);
        }
    }
    if (!AsicFwOwnFlag(adapter)) {
        (void)HalCallOptional(adapter->HalOps.PcieLTRValue, adapter, 0, TRUE);
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
    BOOLEAN granted = FALSE;
    for (;;) {
        adapter->HalOps.GetOwnStatus(adapter, &owns);
        ++attempts;
        if (owns) {
            granted = TRUE;
            break;
        }
        if (Halting(adapter)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "driver own: the adapter halts");
            break;
        }
        if (AsicSystemTime() - start >= kPollUnits) {
            break;
        }
        AsicBusyWait(1000);
        if (AsicSystemTime() - lastRequest >= kReRequestUnits) {
            adapter->HalOps.RequestDriverOwn(adapter, &owns);
            lastRequest = AsicSystemTime();
        }
    }
    return AsicDriverOwnFinish(adapter, granted, start, attempts, FALSE, AsicArvel3xRestoreRingsAfterFwOwn, zizi);
}

NTSTATUS AsicArvel3xEnsureDriverOwn(PMP_ADAPTER adapter) { return AsicArvel2xEnsureDriverOwn(adapter); }

// ---- DMA engine and rings -------------------------------------------------------------------
BOOLEAN AsicArvel3xHalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds)
{
    return AsicArvel2xHalWpdmaWaitIdle(adapter, count, delayMicroseconds);
}

BOOLEAN AsicArvel3xWfdmaWaitIdle(PMP_ADAPTER adapter, ULONG engine, ULONG count, ULONG delayMicroseconds)
{
    return AsicWfdmaEngineWaitIdle(adapter, ARVEL_WFDMA_GLO_CFG, engine, count, delayMicroseconds);
}

BOOLEAN AsicArvel3xWfdmaPollingAllIdle(PMP_ADAPTER adapter) { return AsicWfdmaPollingAllIdle(adapter, ARVEL_WFDMA_GLO_CFG); }

VOID AsicArvel3xWfdmaControl(PMP_ADAPTER adapter, ULONG engine, BOOLEAN enable)
{
    if (engine != 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "DMA engine %u has no configuration register", static_cast<unsigned>(engine));
        return;
    }
    if (enable) {
        AsicSetRegBits(adapter, ARVEL_WFDMA_GLO_CFG, 0x50001070u | 0x208000u, 0);
        return;
    }
    ULONG value = AsicReadReg(adapter, ARVEL_WFDMA_GLO_CFG);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_GLO_CFG, value & 0xE7DF7FFAu);
    (void)AsicArvel3xWfdmaWaitIdle(adapter, engine, 100, 1000);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_TX_PTR_RESET, 0xFFFFFFFF);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_RX_PTR_RESET, 0xFFFFFFFF);
}

VOID AsicArvel3xWpdmaConfigCommon(PMP_ADAPTER adapter, BOOLEAN enable, ULONG enableBits)
{
    AsicArvel3xWfdmaControl(adapter, 0, enable);
    ULONG value = AsicReadReg(adapter, ARVEL_WFDMA_GLO_CFG);
    if (enable) {
        if (adapter->RegistryBlock.FWIndexLogCheck != 0) {
            (void)HifIoWrite32(adapter, 0x7C027030, AsicReadReg(adapter, 0x7C027030));
            (void)HifIoWrite32(adapter, 0x7C0270F0, 0x00660077);
            (void)HifIoWrite32(adapter, 0x7C0270F4, 0x00001100);
            (void)HifIoWrite32(adapter, 0x7C0270F8, 0x0030004F);
            (void)HifIoWrite32(adapter, 0x7C0270FC, 0x00542200);
        }
        (void)HifIoWrite32(adapter, ARVEL_WFDMA_GLO_CFG, value | enableBits);
    }
    AsicSetRegBits(adapter, 0x7C0242B4, 0x10000000, 0);
}

VOID AsicArvel3xWpdmaInitRing(PMP_ADAPTER adapter)
{
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    (void)HalCallOptional(ops.WpdmaConfig, adapter, FALSE);
    (void)HalCallOptional(ops.InitTxRxRing, adapter->HifContext);
    (void)HalCallOptional(ops.WfdmaPrefetchReset, adapter);
    (void)HalCallOptional(ops.WpdmaConfig, adapter, TRUE);
}

namespace {
ULONG StartExtraWord(PMP_ADAPTER adapter) { return adapter->HalInfo.ChipCode == 0x3601 ? 0x69686362u : 0u; }
}  // namespace

VOID AsicArvel3xRestoreRingsAfterFwOwn(PMP_ADAPTER adapter)
{
    AsicWfdmaRestoreAfterFwOwn(adapter, AsicArvel3xWpdmaInitRing, StartExtraWord(adapter));
}

NTSTATUS AsicArvel3xPciXmitStartTxRx(PMP_ADAPTER adapter)
{
    (void)HalCallOptional(adapter->HalOps.DmashdlInit, adapter);
    AsicArvel3xWpdmaInitRing(adapter);
    AsicWfdmaFinishStart(adapter, StartExtraWord(adapter));
    return STATUS_SUCCESS;
}

ULONG AsicArvel3xCmdTxdLength(PMP_ADAPTER adapter)
{
    return __atomic_load_n(&adapter->FwDownloaded, __ATOMIC_ACQUIRE) == 1 ? ARVEL3X_CMD_TXD_LENGTH_RAM
                                                                          : ARVEL2X_CMD_TXD_LENGTH;
}

// ---- interrupts -----------------------------------------------------------------------------
VOID AsicArvel3xDisableInterrupt(PMP_ADAPTER adapter)
{
    (void)HalCallOptional(adapter->HalOps.ConfigIntMask, adapter, FALSE);
}

VOID AsicArvel3xEnableInterrupt(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.FWIndexLogCheck != 0) {
        ULONG value = AsicReadReg(adapter, ARVEL_SW_INT_ENABLE);
        if ((value & 0x8000) == 0) {
            (void)HifIoWrite32(adapter, ARVEL_SW_INT_ENABLE, value | 0x8000);
            (void)AsicReadReg(adapter, ARVEL_SW_INT_ENABLE);
        }
    }
    (void)HalCallOptional(adapter->HalOps.ConfigIntMask, adapter, FALSE);
    (void)HalCallOptional(adapter->HalOps.ConfigIntMask, adapter, TRUE);
}

BOOLEAN AsicArvel3xPciMsr(WDFINTERRUPT interrupt, ULONG messageId)
{
    PMP_ADAPTER adapter = QZCxGetInterruptContext(interrupt)->Adapter;
    if (Halting(adapter) || __atomic_load_n(&adapter->LowPower.SleepFlag, __ATOMIC_ACQUIRE) != 0 || FrameworkDisabled(adapter)) {
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

VOID AsicArvel3xPciHandleInterrupt(WDFINTERRUPT interrupt, WDFOBJECT associatedObject)
{
    UNREFERENCED_PARAMETER(associatedObject);
    PMP_ADAPTER adapter = QZCxGetInterruptContext(interrupt)->Adapter;
    if (Halting(adapter) || FrameworkDisabled(adapter)) {
        return;
    }
    const BOOLEAN lowPower = static_cast<BOOLEAN>(adapter->LowPower.LowPowerMode != 0);
    const BOOLEAN zizi = static_cast<BOOLEAN>(adapter->RegistryBlock.ZiziSolution != 0);
    if (lowPower) {
        BOOLEAN deferred = FALSE;
        if (zizi) {
            AsicAcquireOwnLock(adapter);
            if (__atomic_load_n(&adapter->LowPower.OwnInProgress, __ATOMIC_ACQUIRE) > 0 || AsicFwOwnFlag(adapter)) {
                (void)QZEnqueueIntHandlerCmd(adapter, adapter->PortList[0], INT_HANDLER_CMD_INTERRUPT_WORK, nullptr, 0);
                deferred = TRUE;
            }
            AsicReleaseOwnLock(adapter);
        }
        if (deferred) {
            return;
        }
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    NTSTATUS status = HalCallOptional(adapter->HalOps.PciHandleInterruptCommon, adapter);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "interrupt handler: 0x%08X; interrupts stay masked",
                 static_cast<unsigned>(status));
        if (lowPower) {
            (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        }
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_PCI_SUSPENDED)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "suspended: interrupts stay masked");
    } else {
        (void)WdfInterruptSynchronize(interrupt, QZCxSyncEnableInterrupt, adapter);
    }
    if (lowPower) {
        if (zizi) {
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
}

NTSTATUS AsicArvel3xPciHandleInterruptInternal(PMP_ADAPTER adapter)
{
    LONG64 start = AsicSystemTime();
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt work on the thread");
    (void)NdisCommonHifPmSetDriverOwn(adapter);
    NTSTATUS status = HalCallOptional(adapter->HalOps.PciHandleInterruptCommon, adapter);
    if (!NT_SUCCESS(status)) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        return status;
    }
    (void)HalCallOptional(adapter->HalOps.EnableInterrupt, adapter);
    (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt work on the thread done in %lld ms",
             static_cast<long long>((AsicSystemTime() - start) / kUnitsPerMs));
    return status;
}

NTSTATUS AsicArvel3xPciHandleInterruptCommon(PMP_ADAPTER adapter, BOOLEAN qz3602)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    const CHIP_HAL_INFO& info = adapter->HalInfo;
    ULONG s = 0;
    ULONG p = 0;
    (void)HifIoRead32(adapter, ARVEL_HOST_INT_STATUS, &s);
    (void)HifIoRead32(adapter, ARVEL_MAC_INT_STATUS, &p);
    if (hif != nullptr) {
        hif->LastIntStatus = s;
    }
    if (s == 0xFFFFFFFFu) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "interrupt status reads all ones");
        return STATUS_UNSUCCESSFUL;
    }
    (void)HifIoWrite32(adapter, ARVEL_HOST_INT_STATUS,
                       (s & info.IntStatusMaskLow) | (s & info.IntStatusMask) | (s & ARVEL_INT_SW));
    if (qz3602) {
        (void)HifIoWrite32(adapter, ARVEL_MAC_INT_STATUS, p);
    }
    if ((p & 0x10000) != 0) {
        __atomic_fetch_add(&adapter->PcieErrorCount, 1u, __ATOMIC_RELAXED);
        ULONG kind = RECOVERY_FW_CMD_TIMEOUT;
        if (!qz3602) {
            AsicSetRegBits(adapter, ARVEL_MAC_INT_ENABLE, 0, 0x10000);
            if (adapter->HalOps.CheckCbInfraStatus != nullptr && adapter->HalOps.CheckCbInfraStatus(adapter)) {
                kind = RECOVERY_CHIP_HOOK;
            }
        }
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "PCIe error interrupt: recovery kind %u", static_cast<unsigned>(kind));
        PostRecovery(adapter, kind);
        return STATUS_UNSUCCESSFUL;
    }
    // Receive rings: 3602 on status bits 12, 14, 15; 3601 on bits 2, 0, 1.
    const ULONG rxBits[PCI_RX_RING_COUNT] = {qz3602 ? 0x1000u : 0x4u, qz3602 ? 0x4000u : 0x1u, qz3602 ? 0x8000u : 0x2u};
    ULONG* mask = &adapter->RxExhaustMask;
    if (__atomic_load_n(mask, __ATOMIC_ACQUIRE) != 0 || (s & info.IntStatusMaskLow) != 0) {
        if ((s & rxBits[0]) != 0 || (__atomic_load_n(mask, __ATOMIC_ACQUIRE) & 0x9) != 0) {
            if (N6PciRxDmaDoneInterrupt(hif, 0) != 0) {
                ++adapter->RxPassCount[0];
                __atomic_fetch_or(mask, 0x9u, __ATOMIC_SEQ_CST);
            } else {
                __atomic_fetch_and(mask, ~0x8u, __ATOMIC_SEQ_CST);
            }
        }
        if ((s & rxBits[1]) != 0 || (__atomic_load_n(mask, __ATOMIC_ACQUIRE) & 0x2) != 0) {
            if (N6PciRxDmaDoneInterrupt(hif, 1) != 0) {
                __atomic_fetch_or(mask, 0x2u, __ATOMIC_SEQ_CST);
                adapter->RxPassCount[1] += 1;
            }
        }
        if ((s & rxBits[2]) != 0 || (__atomic_load_n(mask, __ATOMIC_ACQUIRE) & 0x4) != 0) {
            if (N6PciRxDmaDoneInterrupt(hif, 2) != 0) {
                __atomic_fetch_or(mask, 0x4u, __ATOMIC_SEQ_CST);
                adapter->RxPassCount[1] += 0x10000;
            }
        }
        ULONG pending = __atomic_load_n(mask, __ATOMIC_ACQUIRE);
        if (adapter->RegistryBlock.TxRxThreadMode != 0 && pending != 0) {
            for (ULONG ring = 0; ring < PCI_RX_RING_COUNT; ++ring) {
                if ((pending & (1u << ring)) != 0) {
                    PlatformSignalThread(&hif->RxThread[ring]);
                }
            }
        }
    }
    if ((s & ARVEL_INT_SW) != 0) {
        AsicArvel3xProcessSoftwareInterrupt(adapter);
    }
    if ((s & ARVEL3X_INT_TX3_DONE) != 0) {
        N6PciTxRingCmdDmaDoneInterrupt(hif, PCI_TX_RING_DOWNLOAD, FALSE);
    }
    if ((s & ARVEL3X_INT_TX2_DONE) != 0) {
        const BOOLEAN unified = static_cast<BOOLEAN>(__atomic_load_n(&adapter->FwDownloaded, __ATOMIC_ACQUIRE) == 1);
        N6PciTxRingCmdDmaDoneInterrupt(hif, PCI_TX_RING_COMMAND, unified);
    }
    if (qz3602 && (p & 0x100000) != 0) {
        ULONG ccif = adapter->HalOps.CcifGetStatus != nullptr ? adapter->HalOps.CcifGetStatus(adapter) : 0;
        if (ccif == 0 || (ccif & 0x1) != 0) {
            // nothing asked
        } else if ((ccif & 0x2) != 0) {
            PostRecovery(adapter, RECOVERY_FW_REQUEST);
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "host communication status 0x%08X", static_cast<unsigned>(ccif));
        }
    }
    return STATUS_SUCCESS;
}

VOID AsicArvel3xProcessSoftwareInterrupt(PMP_ADAPTER adapter)
{
    (void)HifIoWrite32(adapter, ARVEL_SW_INT_ENABLE, AsicReadReg(adapter, ARVEL_SW_INT_ENABLE));
    ULONG m = AsicReadReg(adapter, ARVEL_SW_INT_STATUS);
    (void)HifIoWrite32(adapter, ARVEL_SW_INT_STATUS, m);
    adapter->SavedSwIntStatus = m;
    if (adapter->HalInfo.ChipCode == 0x3601 && (m & 0x80) != 0 && adapter->Recovery.FwRecoveryState != 2) {
        __atomic_fetch_add(&adapter->FwAssertCount, 1u, __ATOMIC_RELAXED);
        PostRecovery(adapter, RECOVERY_FW_REQUEST);
        return;
    }
    if ((m & 0x3C) != 0) {
        SerStepHandler(adapter);
    } else if ((m & 0x8000) != 0) {
        __atomic_store_n(&adapter->FwLogPending, 1, __ATOMIC_RELEASE);
        (void)QZEnqueueFWLog(adapter, adapter->PortList[0], 0x10000045, nullptr, 0);
    }
}

ULONG AsicArvel3xCcifGetStatus(PMP_ADAPTER adapter)
{
    ULONG value = AsicReadReg(adapter, 0x7C03D010);
    (void)HifIoWrite32(adapter, 0x7C03D014, value);
    return value;
}

ULONG AsicArvel3xReadCcifStatusReg(PMP_ADAPTER adapter, ULONG which)
{
    return AsicReadReg(adapter, which != 0 ? 0x7C03C020 : 0x7C03C024);
}

// ---- receive dispatch and statistics events -------------------------------------------------
VOID AsicArvel3xRecvProcessIcsLog(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record)
{
    AsicRecvProcessIcsLog(adapter, record);
}

BOOLEAN Arvel3xWoWLANWakePacketCheck(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    if (adapter == nullptr || record == nullptr || record->Descriptor == nullptr || (adapter->Wake.WowArmed & 0x1) == 0) {
        return FALSE;
    }
    // The wake word is descriptor DW5; its bits 2 and 3 are the two wake flags.
    const ULONG word = TxdGetWord(record->Descriptor, 5);
    UCHAR kind = 0;
    UCHAR code = 0;
    if ((word & (1u << 23)) != 0) {
        kind = 2;
        code = adapter->Wake.WowPatternCode;
    } else if ((word & (0x1Fu << 24)) != 0) {
        kind = 1;
        code = static_cast<UCHAR>((word >> 25) & 0xF);
    } else if ((word & (1u << 2)) != 0) {
        code = 20;
        kind = static_cast<UCHAR>(code - 17);
    } else if ((word & (1u << 3)) != 0) {
        code = 21;
        kind = static_cast<UCHAR>(code - 17);
    } else {
        return FALSE;
    }
    adapter->Wake.WakePacketSeen = 1;
    adapter->Wake.WakeReasonKind = kind;
    adapter->Wake.WakeReasonCode = code;
    return TRUE;
}

VOID AsicArvel3xRxPerfIndProcessRXV(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    const UCHAR bss = PortGetBssIndex(adapter, port);
    if (bss >= 4) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "receive performance: BSS index %u", static_cast<unsigned>(bss));
        return;
    }
    UCHAR rate[RX_RATE_RECORD_SIZE] = {};
    ULONG speed = 0;
    const ULONG status = ProcessGetRxRate(port, adapter, rate, &speed, nullptr);
    const ULONG kind = TxdGetWord(rate, 0);
    if (kind == 1 || kind == 2) {
        UCHAR& count = adapter->RxPerfKindCount[bss][kind - 1];
        if (count < 255) {
            ++count;
        }
    }
    if (speed != 0 && status == 0 && speed / 5 > adapter->RxPerfHighRate[bss]) {
        adapter->RxPerfHighRate[bss] = static_cast<USHORT>(speed / 5 > 0xFFFF ? 0xFFFF : speed / 5);
        adapter->RxPerfRcpi[bss][0] = port->RxRcpi[0];
        adapter->RxPerfRcpi[bss][1] = port->RxRcpi[1];
    }
}

VOID AsicArvel3xPciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    AsicSnifferPacket(hif, record, TRUE);
}

VOID AsicArvel3xPciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    AsicSwDefinedDispatch(hif, record, AsicArvel3xPciProcessRxPacket, ARVEL_SW_DEFINED_MASK, TRUE);
}

VOID AsicArvel3xPciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "AsicArvel3xPciProcessRxPacket: %u bytes",
             static_cast<unsigned>(record != nullptr ? record->ReceivedLength : 0));
    AsicRxFrameDispatch(hif, record, DESC_GEN_ARVEL3X);
}

VOID AsicArvel3xProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "AsicArvel3xProcessStaStatistics: event");
    AsicStaStatistics(adapter, event, TRUE);
}

// ---- PCI Express low power and power-up set-up ----------------------------------------------
VOID AsicArvel3xPcieCfgSpaceLowPower(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xLowPowerEnableInit(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPcieLTRValue(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPcieAspmCtl(PMP_ADAPTER adapter, ULONG mode)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xAutoDetectL1ssCap(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xD0EntryRegSetup(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

// ---- operations table ---------------------------------------------------------------------------
VOID AsicArvel3xChipOpsInit(PCHIP_HAL_OPS ops)
{
    RtlZeroMemory(ops, sizeof(*ops));
    ops->LoadRomPatch = AsicArvel3xLoadRomPatch;
    ops->LoadFirmware = AsicArvel3xLoadFirmware;
    ops->EraseFirmware = AsicArvel3xEraseFirmware;
    ops->CmdSendMsg = NdisCommonHifCmdSendMsg;
    ops->PostFwDownloadInit = AsicArvel3xPostFwDownloadInit;
    ops->FwRecovery = AsicArvel3xFwRecovery;
    ops->ToggleWfsysRst = AsicArvel3xToggleWfsysRst;
    ops->IsFwReady = AsicArvel3xIsFwReady;
    ops->HalWpdmaWaitIdle = AsicArvel3xHalWpdmaWaitIdle;
    ops->WpdmaTxRxDmaCtl = AsicArvel2xWpdmaTxRxDmaCtl;
    ops->DisableInterrupt = AsicArvel3xDisableInterrupt;
    ops->EnableInterrupt = AsicArvel3xEnableInterrupt;
    ops->PciHandleInterrupt = AsicArvel3xPciHandleInterrupt;
    ops->PciMsr = AsicArvel3xPciMsr;
    ops->RecvProcessIcsLog = AsicArvel3xRecvProcessIcsLog;
    ops->PciProcessRxSwDefinedPacket = AsicArvel3xPciProcessRxSwDefinedPacket;
    ops->PciProcessRxPacket = AsicArvel3xPciProcessRxPacket;
    ops->CmdTxdLength = AsicArvel3xCmdTxdLength;
    ops->XmitWriteTxD = AsicArvel3xXmitWriteTxD;
    ops->ProcessStaStatistics = AsicArvel3xProcessStaStatistics;
    ops->GetFwSyncValue = AsicArvel3xGetFwSyncValue;
    ops->HifPciPmSetDriverOwn = AsicArvel3xHifPciPmSetDriverOwn;
    ops->EnsureDriverOwn = AsicArvel3xEnsureDriverOwn;
    ops->PciXmitStartTxRx = AsicArvel3xPciXmitStartTxRx;
    ops->SetFwOwn = AsicSetFwOwn;
    ops->GetOwnStatus = AsicGetOwnStatus;
    ops->RequestDriverOwn = AsicRequestDriverOwn;
    ops->PcieCfgSpaceLowPower = AsicArvel3xPcieCfgSpaceLowPower;
    ops->PcieMacL1ssEnable = AsicPcieMacL1ssEnable;
    ops->LowPowerEnableInit = AsicArvel3xLowPowerEnableInit;
    ops->PcieLTRValue = AsicArvel3xPcieLTRValue;
    ops->AutoDetectL1ssCap = AsicArvel3xAutoDetectL1ssCap;
    ops->CcifGetStatus = AsicArvel3xCcifGetStatus;
    ops->ReadCcifStatusReg = AsicArvel3xReadCcifStatusReg;
    ops->D0EntryRegSetup = AsicArvel3xD0EntryRegSetup;
}
