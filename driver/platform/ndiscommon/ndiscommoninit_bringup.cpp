// The adapter block initialisation, the first power-up's firmware and hardware bring-up, its two
// teardowns and the surprise-removal handler.
#include "platform/ndiscommon/ndiscommoninit.h"

#include "Common/common.h"
#include "Common/fwsettings.h"
#include "Common/nic_uni_cmd_direct.h"
#include "Common/logevent.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd.h"
#include "Common/rlm.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/fwfile.h"
#include "hal/common/fwimage.h"
#include "hal/common/hal_bringup.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
#include "kshim/irql.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdimain.h"
#include "platform/wificx/wificxmain.h"

namespace {

constexpr ULONG kNdisPoolTag = TAG_ZV0R;
// A management-frame wrapper carries a context word: the conversion of a buffer list into a transmit
// record refuses lists without one, and the access-point relay wraps its frames in these.
constexpr USHORT kMgmtWrapperContext = 16;
constexpr ULONG kToggleResetTries = 4;
constexpr ULONG kTeardownWaitUs = 50 * 1000;
// The internal command that stops the ICS logger.
constexpr ULONG kIcsStopCmd = 0x80000001u;

bool SecondGeneration(USHORT id)
{
    return HalDeviceGeneration(id) == CHIP_GENERATION_SECOND;
}

// ---- adapter block ------------------------------------------------------------------------------------
void InitCommandPoolsAndQueues(PMP_ADAPTER adapter)
{
    INTERNAL_CMD_BLOCK& cmd = adapter->Cmd;
    QzInitCmdQueue(&cmd.ControlQueue);
    QzInitInternalCmdBuffer(adapter);
    QzInitFWLogHandlerCmdBuffer(adapter);
    QzInitCmdQueue(&cmd.IntHandlerQueue);
    QzInitCmdQueue(&cmd.FwLogQueue);
    QzInitCmdQueue(&cmd.IcsQueue);
    QzInitIntHandlerCmdBuffer(adapter);
    QzInitIcsCmdBuffer(adapter);
    cmd.TxqNetQueue.Count = 0;
    cmd.TxqNetQueue.Head = nullptr;
    cmd.TxqNetQueue.Tail = nullptr;
    QzInitTXQNetBuffer(adapter);
    QzInitMsgCmdBuffer(adapter);
    QzCmdInitFWCmdQueue(adapter);
}

// The six command-buffer pools, in the teardown's order; the queues that held their records are
// emptied with them.
void FreeCommandPools(PMP_ADAPTER adapter)
{
    QzFreeInternalCmdBuffer(adapter);
    QzFreeFWLogHandlerCmdBuffer(adapter);
    QzFreeIntHandlerCmdBuffer(adapter);
    QzFreeIcsCmdBuffer(adapter);
    QzFreeTXQNetBuffer(adapter);
    QzFreeMsgCmdBuffer(adapter);
    INTERNAL_CMD_BLOCK& cmd = adapter->Cmd;
    QzInitCmdQueue(&cmd.ControlQueue);
    QzInitCmdQueue(&cmd.IntHandlerQueue);
    QzInitCmdQueue(&cmd.FwLogQueue);
    QzInitCmdQueue(&cmd.IcsQueue);
    cmd.TxqNetQueue.Count = 0;
    cmd.TxqNetQueue.Head = nullptr;
    cmd.TxqNetQueue.Tail = nullptr;
}

void AppendRecord(PACKET_RECORD_LIST* list, PPACKET_RECORD record)
{
    record->Next = nullptr;
    if (list->Tail == nullptr) {
        list->Head = record;
    } else {
        static_cast<PPACKET_RECORD>(list->Tail)->Next = record;
    }
    list->Tail = record;
    ++list->Count;
}

void ClearRecordList(PACKET_RECORD_LIST* list)
{
    list->Head = nullptr;
    list->Tail = nullptr;
    list->Count = 0;
}

// An MDL over `buffer` and a net buffer list with one net buffer over it, pointing back at the record.
bool BuildPacketRecord(NDIS_HANDLE nblPool, PPACKET_RECORD record, PUCHAR buffer, ULONG length, USHORT contextSize)
{
    record->Mdl = NdisAllocateMdl(nullptr, buffer, length);
    if (record->Mdl == nullptr) {
        return false;
    }
    record->NetBufferList =
        NdisAllocateNetBufferAndNetBufferList(nblPool, contextSize, 0, record->Mdl, 0, MmGetMdlByteCount(record->Mdl));
    if (record->NetBufferList == nullptr) {
        return false;
    }
    record->NetBuffer = NET_BUFFER_LIST_FIRST_NB(record->NetBufferList);
    NET_BUFFER_LIST_MINIPORT_RESERVED(record->NetBufferList)[0] = record;
    return true;
}

void FreePacketRecord(PPACKET_RECORD record)
{
    if (record->NetBufferList != nullptr) {
        NdisFreeNetBufferList(record->NetBufferList);
        record->NetBufferList = nullptr;
        record->NetBuffer = nullptr;
    }
    if (record->Mdl != nullptr) {
        NdisFreeMdl(record->Mdl);
        record->Mdl = nullptr;
    }
}

void InitKeyMappingPool(PMP_ADAPTER adapter)
{
    KEY_MAPPING_POOL& pool = adapter->KeyMappingPool;
    pool.FreeList = {};
    pool.InUseList = {};
    for (KEY_MAPPING_RECORD& record : pool.Records) {
        record.Next = nullptr;
        record.State = 0;
        if (pool.FreeList.Tail == nullptr) {
            pool.FreeList.Head = &record;
        } else {
            pool.FreeList.Tail->Next = &record;
        }
        pool.FreeList.Tail = &record;
        ++pool.FreeList.Count;
    }
}

// ---- bring-up -------------------------------------------------------------------------------------------
void LoadContainers(PMP_ADAPTER adapter)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    ULONG size = 0;
    PUCHAR buffer = HalLoadBinfromPath(adapter, r.WifiContainerPath, &size);
    HalFwSetContainer(&adapter->FwFiles, TRUE, buffer, size);
    if (r.FWBin == 1) {
        size = 0;
        buffer = HalLoadBinfromPath(adapter, r.BtContainerPath, &size);
        HalFwSetContainer(&adapter->FwFiles, FALSE, buffer, size);
    }
}

void PcieSpeedSwitch(PMP_ADAPTER adapter, PMP_PORT port0)
{
    REGISTRY_BLOCK& r = adapter->RegistryBlock;
    const USHORT id = adapter->DeviceId;
    const bool intel = adapter->CpuVendor == HAL_CPU_VENDOR_INTEL;
    if (HalIsThirdGeneration(id)) {
        if (intel && HalDeviceHasFact(id, CHIP_FACT_PCIE_SWITCH_ON_INTEL)) {
            r.EnablePcieSwitch = 1;
        }
        if (r.EnablePcieSwitch) {
            NTSTATUS status = AsicArvel3xUpdatePcieGenSwitchConfig(adapter);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "PCIe speed switch settings: 0x%08X", static_cast<unsigned>(status));
        }
        return;
    }
    if ((intel || adapter->PlatformPcieSwitch) && HalDeviceHasFact(id, CHIP_FACT_PCIE_SWITCH_ON_INTEL)) {
        r.EnablePcieSwitch = 1;
    }
    if (r.EnablePcieSwitch == 1) {
        (void)MlmeUpdateEnablePcieSwitchToFw(adapter, port0);
    }
}

// Steps 25 to 39 of the bring-up: everything after the firmware download; none of them fails it.
void AfterDownload(PMP_ADAPTER adapter, PMP_PORT port0)
{
    const REGISTRY_BLOCK& r = adapter->RegistryBlock;
    (void)InitHtVhtHeEhtCtrl(adapter, port0);
    // The 2.4 GHz band is always there; the 5 GHz band unless the chip reported 2.4 GHz only.
    adapter->DualBand = adapter->Only24G == 0 ? 1 : 0;
    if (HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_LOG2AIR) && r.Log2AirEnable) {
        (void)QzCmdSerAction(adapter, 4, 4, 0);
    }
    adapter->Running = 1;
    port0->State = 1;
    PlatformIndicateCurrentRadioState(adapter, 0, -1);
    QZCxLedOn(adapter, 0, 0);
    (void)MlmeInfoSetPhyMode(adapter, port0, adapter->WorkingCfg.WirelessMode, 1);
    (void)HalCallOptional(adapter->HalOps.ChipInitHook, adapter);
    SarGetSarPwrTbl(adapter);
    SarOpenSensorObject(adapter);
    skuTableReadSingleSkuFile(adapter);
    (void)DomainConfigureDomainInfo(adapter, port0);
    HalFreeBigFW(&adapter->FwFiles);
    port0->Powered = 1;
    adapter->CurrentPowerState = 1;
    WoWLANInitialization(adapter);
    (void)MlmeUpdateKeepFullPwrToFw(adapter, port0);
    PcieSpeedSwitch(adapter, port0);
    (void)MlmeUpdateEnableRekeyOffloadToFw(adapter, port0);
    (void)MlmeUpdateEdccaDetectEnableToFw(adapter, port0);
    if (adapter->LowPower.LowPowerMode) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    } else if (r.LowPowerEnable != 0) {
        (void)HalCallOptional(adapter->HalOps.PcieDynamicL1, adapter, TRUE);
    }
}

// Runs a failing step's trace: its name and status.
NTSTATUS Failed(PCSTR step, NTSTATUS status)
{
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "bring-up step \"%s\" failed: 0x%08X", step, static_cast<unsigned>(status));
    return status;
}

// The bring-up up to the firmware download and its first settings; a failure's status (the caller
// runs the teardown).
NTSTATUS BringUp(PMP_ADAPTER adapter, PUCHAR progress)
{
    REGISTRY_BLOCK& r = adapter->RegistryBlock;
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    const USHORT id = adapter->DeviceId;

    if (SecondGeneration(id)) {
        const ULONG health = HalChekcConnsysWell(adapter, 0, 0, 0);
        if (health != 0) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_INIT, "connection subsystem health %u (bring-up goes on)",
                     static_cast<unsigned>(health));
        }
    }
    (void)HalCallOptional(ops.InitHook, adapter);
    if (SecondGeneration(id) || HalIsThirdGeneration(id)) {
        for (ULONG attempt = 1; attempt <= kToggleResetTries; ++attempt) {
            const NTSTATUS reset = ops.ToggleWfsysRst != nullptr ? ops.ToggleWfsysRst(adapter) : STATUS_SUCCESS;
            if (reset == STATUS_SUCCESS) {
                break;
            }
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_INIT, "Wi-Fi subsystem reset, attempt %u: 0x%08X",
                     static_cast<unsigned>(attempt), static_cast<unsigned>(reset));
        }
    }

    // Threads and port 0: whatever they built is the teardown's from now on.
    NTSTATUS status = NdisCommonInitializeSWCtrl(adapter, progress);
    progress[BRINGUP_SW_CTRL] = 1;
    if (!NT_SUCCESS(status)) {
        return Failed("software control", status);
    }
    status = HalInitHwCtrl(adapter);
    if (!NT_SUCCESS(status)) {
        return Failed("chip versions", status);
    }
    status = NdisCommonInitNICReadRegParameters(adapter);
    if (!NT_SUCCESS(status)) {
        return Failed("configuration", status);
    }
    if (r.TpTestMode == 1) {
        r.LowPowerEnable = 0;
    }
    UserCfgInit(adapter);
    adapter->CpuVendor = HalGetCPUVendorID();
    (void)HalCallOptional(ops.PcieCfgSpaceLowPower, adapter);
    if (adapter->CpuVendor == HAL_CPU_VENDOR_AMD && NT_SUCCESS(D3ColdInterfaceInit(adapter, adapter->Device)) &&
        GetD3ColdSupport(adapter)) {
        (void)WriteSystemEventLog(adapter, EVENT_LOG_D3COLD_SUPPORT, 0, nullptr, 0);
        SetD3ColdSupport(adapter, TRUE);
    }
    (void)NdisCommonHifDisableInterrupt(adapter->HifContext);

    status = NdisCommonInitAdapterBlock(adapter, progress);
    if (!NT_SUCCESS(status)) {
        return Failed("adapter block", status);
    }
    status = MlmeInit(adapter);
    if (!NT_SUCCESS(status)) {
        return Failed("MLME", status);
    }
    progress[BRINGUP_MLME] = 1;
    status = NdisCommonHifStartTxRx(adapter->HifContext, progress);
    if (!NT_SUCCESS(status)) {
        return Failed("transmit and receive start", status);
    }
    (void)NdisCommonHifEnableInterrupt(adapter->HifContext);

    if (HalChipGeneration(adapter->HalInfo.ChipCode) == CHIP_GENERATION_OLDER) {
        (void)HifIoWrite32(adapter, 0xF0188, 15);
    } else if (SecondGeneration(id)) {
        ULONG value = 0;
        (void)HifIoRead32(adapter, 0x10188, &value);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "register 0x10188 reads 0x%08X", static_cast<unsigned>(value));
        (void)HifIoWrite32(adapter, 0x10188, 0xFF);
    }
    if (r.EnablePowerOnCalEnhancement) {
        readFactlCalFile(adapter);
    }
    HalQueryRomVersion(adapter);
    if (r.FWIndexLogCheck) {
        status = fwLogMmioInitMcu(adapter);
        if (!NT_SUCCESS(status)) {
            return Failed("firmware log set-up", status);
        }
    }
    // A missing container is no failure here: the download reports the image it cannot find.
    LoadContainers(adapter);
    status = HalDownloadPatchFirmware(adapter);
    if (status != STATUS_SUCCESS) {
        return Failed("firmware download", NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status);
    }
    progress[BRINGUP_FW_DOWNLOADED] = 1;
    AfterDownload(adapter, adapter->PortList[0]);
    return STATUS_SUCCESS;
}

// ---- teardown ---------------------------------------------------------------------------------------------
// Steps 6 to 19 of the teardown; `surprise` leaves out what the surprise-removal handler did or what
// a device that is gone cannot do.
void TeardownTail(PMP_ADAPTER adapter, PUCHAR progress, bool surprise)
{
    PMP_PORT port0 = adapter->PortList[0];
    AdapterSetFlag(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    if (KeGetCurrentIrql() == PASSIVE_LEVEL) {
        QZCxFlushWorkItem(adapter);
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_INIT, "teardown above passive level: work items not flushed");
    }
    if (progress[BRINGUP_MLME] && port0 != nullptr) {
        MlmeHalt(adapter, port0);
        progress[BRINGUP_MLME] = 0;
    }
    (void)Ndis6CommonSetRegistry(adapter, REGISTRY_WRITE_RADIO | REGISTRY_WRITE_COUNTRY);
    Ndis6CommonFreeAllPortResource(adapter);
    if (!surprise) {
        if (progress[BRINGUP_TX_STARTED] || progress[BRINGUP_RX_STARTED]) {
            (void)NdisCommonHifStopTxRx(adapter->HifContext, progress);
        }
        NdisCommonGenericDelay(kTeardownWaitUs);
        if (adapter->RegistryBlock.FWIndexLogCheck) {
            fwLogMmioStop();
            fwLogCtrlDeInitSubCtrl();
        }
        NdisCommonFreeAllThreads(adapter);
        PlatformIndicateRejectPendingPackets(adapter, 1);
    } else {
        // The DMA of a device that is gone is not stopped; its start is forgotten with it.
        progress[BRINGUP_TX_STARTED] = 0;
        progress[BRINGUP_RX_STARTED] = 0;
        if (adapter->RegistryBlock.FWIndexLogCheck) {
            fwLogMmioStop();
            fwLogCtrlDeInitSubCtrl();
        }
    }
    FreeCommandPools(adapter);
    NdisCommonHifVoidHook();
    (void)WdiUpdateCntlBlock(adapter, nullptr, WDI_TASK_ROW_NONE);
    N6FreePortMemory(adapter);
    // A deferred interrupt routine may still be running on the rings (the interrupts are still
    // connected in the power-down and surprise-removal callbacks): it finishes before they go.
    if (KeGetCurrentIrql() == PASSIVE_LEVEL) {
        KeFlushQueuedDpcs();
    }
    if (progress[BRINGUP_RX_RINGS]) {
        NdisCommonHifFreeRecv(adapter->HifContext);
        progress[BRINGUP_RX_RINGS] = 0;
    }
    if (progress[BRINGUP_TX_RINGS]) {
        NdisCommonHifFreeTransmit(adapter->HifContext);
        progress[BRINGUP_TX_RINGS] = 0;
    }
    if (progress[BRINGUP_PACKET_POOLS]) {
        NdisCommonInitFreeNBLs(adapter);
        progress[BRINGUP_PACKET_POOLS] = 0;
    }
    progress[BRINGUP_CLEARED] = 0;
    // The DMA enabler goes with the rings it served, so that the next power-up creates its own.
    if (adapter->DmaEnabler != nullptr) {
        WdfObjectDelete(adapter->DmaEnabler);
        adapter->DmaEnabler = nullptr;
    }
}

// What every teardown runs, whether or not the bring-up got far.
void TeardownAlways(PMP_ADAPTER adapter, PUCHAR progress)
{
    ScanNeighborAPInfoListDeInit(adapter, &adapter->NeighborApList);
    skuTableFreePowerTables(adapter);
    (void)AsicArvel2xFreeFwImageCache();
    // The teardown has run: a second one finds nothing left to undo.
    progress[BRINGUP_SW_CTRL] = 0;
    progress[BRINGUP_FW_DOWNLOADED] = 0;
    progress[BRINGUP_ENTERED] = 0;
}

PMP_PORT PendingScanPort(PMP_ADAPTER adapter)
{
    return adapter->PendingScanPort < MP_MAX_PORTS ? adapter->PortList[adapter->PendingScanPort] : nullptr;
}

}  // namespace

// ================================================================================================
// adapter block
// ================================================================================================
void NdisCommonResetPerfIndicator(PMP_ADAPTER adapter)
{
    PlatformZeroMemory(&adapter->RxPerfIndicator, sizeof(adapter->RxPerfIndicator));
}

NTSTATUS NdisCommonInitAllocNBLs(PMP_ADAPTER adapter)
{
    PRX_INDICATE_BLOCK rx = adapter->RxIndicateBlock;
    PMGMT_FRAME_BLOCK mgmt = adapter->MgmtFrameBlock;
    if (rx == nullptr || mgmt == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    NET_BUFFER_LIST_POOL_PARAMETERS nblParameters = {};
    nblParameters.Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
    nblParameters.Header.Revision = NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1;
    nblParameters.Header.Size = NDIS_SIZEOF_NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1;
    nblParameters.ProtocolId = NDIS_PROTOCOL_ID_DEFAULT;
    nblParameters.fAllocateNetBuffer = TRUE;
    nblParameters.PoolTag = kNdisPoolTag;
    NET_BUFFER_POOL_PARAMETERS nbParameters = {};
    nbParameters.Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
    nbParameters.Header.Revision = NET_BUFFER_POOL_PARAMETERS_REVISION_1;
    nbParameters.Header.Size = NDIS_SIZEOF_NET_BUFFER_POOL_PARAMETERS_REVISION_1;
    nbParameters.PoolTag = kNdisPoolTag;

    bool built = true;
    rx->NblPool = NdisAllocateNetBufferListPool(nullptr, &nblParameters);
    rx->NbPool = rx->NblPool != nullptr ? NdisAllocateNetBufferPool(nullptr, &nbParameters) : nullptr;
    PVOID shared = nullptr;
    if (rx->NbPool == nullptr ||
        PlatformAllocateMemory(adapter, &shared, RX_INDICATE_BUFFER_SIZE, TAG_ZV21) != STATUS_SUCCESS) {
        built = false;
    }
    rx->SharedBuffer = static_cast<PUCHAR>(shared);
    ClearRecordList(&rx->RecordList);
    for (ULONG i = 0; built && i < PACKET_RECORD_COUNT; ++i) {
        PPACKET_RECORD record = &rx->Records[i];
        record->Index = i;
        record->ShortIndex = static_cast<USHORT>(i);
        if (!BuildPacketRecord(rx->NblPool, record, rx->SharedBuffer, RX_INDICATE_BUFFER_SIZE, 0)) {
            built = false;
            break;
        }
        record->Magic = PACKET_RECORD_MAGIC;
        AppendRecord(&rx->RecordList, record);
    }
    ClearRecordList(&mgmt->RecordList);
    KeInitializeSpinLock(&mgmt->Lock);
    for (ULONG i = 0; built && i < PACKET_RECORD_COUNT; ++i) {
        PPACKET_RECORD record = &mgmt->Records[i];
        record->Index = i;
        PVOID buffer = nullptr;
        if (PlatformAllocateMemory(adapter, &buffer, MGMT_FRAME_BUFFER_SIZE, TAG_ZV21) != STATUS_SUCCESS) {
            built = false;
            break;
        }
        record->Buffer = static_cast<PUCHAR>(buffer);
        if (!BuildPacketRecord(rx->NblPool, record, record->Buffer, MGMT_FRAME_BUFFER_SIZE, kMgmtWrapperContext)) {
            built = false;
            break;
        }
        AppendRecord(&mgmt->RecordList, record);
    }
    if (!built) {
        // The progress byte of the pools stays clear, so the teardown would never free them: the
        // partial build goes at once.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "packet pools not built");
        NdisCommonInitFreeNBLs(adapter);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (ULONG64& entry : rx->Table) {
        reinterpret_cast<PUCHAR>(&entry)[0] = 0;
    }
    for (RX_INDICATE_PORT_ENTRY& entry : rx->PortEntries) {
        entry.Flag = 0;
    }
    return STATUS_SUCCESS;
}

void NdisCommonInitFreeNBLs(PMP_ADAPTER adapter)
{
    PRX_INDICATE_BLOCK rx = adapter->RxIndicateBlock;
    PMGMT_FRAME_BLOCK mgmt = adapter->MgmtFrameBlock;
    if (mgmt != nullptr) {
        for (PACKET_RECORD& record : mgmt->Records) {
            FreePacketRecord(&record);
            if (record.Buffer != nullptr) {
                PlatformFreeMemory(record.Buffer, MGMT_FRAME_BUFFER_SIZE);
                record.Buffer = nullptr;
            }
        }
        ClearRecordList(&mgmt->RecordList);
    }
    if (rx == nullptr) {
        return;
    }
    for (ULONG64& entry : rx->Table) {
        reinterpret_cast<PUCHAR>(&entry)[0] = 0;
    }
    for (PACKET_RECORD& record : rx->Records) {
        FreePacketRecord(&record);
    }
    ClearRecordList(&rx->RecordList);
    if (rx->SharedBuffer != nullptr) {
        PlatformFreeMemory(rx->SharedBuffer, RX_INDICATE_BUFFER_SIZE);
        rx->SharedBuffer = nullptr;
    }
    if (rx->NbPool != nullptr) {
        NdisFreeNetBufferPool(rx->NbPool);
        rx->NbPool = nullptr;
    }
    if (rx->NblPool != nullptr) {
        NdisFreeNetBufferListPool(rx->NblPool);
        rx->NblPool = nullptr;
    }
}

NTSTATUS NdisCommonInitAdapterBlock(PMP_ADAPTER adapter, PUCHAR progress)
{
    PlatformZeroMemory(adapter->TrafficCounters, sizeof(adapter->TrafficCounters));
    for (PMP_PORT port : adapter->PortList) {
        if (port != nullptr) {
            port->TxBook = {};
        }
    }
    if (adapter->RegistryBlock.fgPerfIndicatorEn == 1) {
        NdisCommonResetPerfIndicator(adapter);
    }
    InitCommandPoolsAndQueues(adapter);

    NTSTATUS status = QZCxInitWdfDma(adapter);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    status = NdisCommonHifInitTransmit(hif, TRUE);
    if (!NT_SUCCESS(status)) {
        // What was built of the transmit side goes now: its progress byte stays clear.
        NdisCommonHifFreeTransmit(hif);
        return status;
    }
    progress[BRINGUP_TX_RINGS] = 1;
    status = NdisCommonHifInitRecv(hif, TRUE);
    if (!NT_SUCCESS(status)) {
        NdisCommonHifFreeRecv(hif);
        return status;
    }
    progress[BRINGUP_RX_RINGS] = 1;
    if (adapter->RxIndicateBlock != nullptr) {
        adapter->RxIndicateBlock->IndicateState = 0;
    }
    status = NdisCommonInitAllocNBLs(adapter);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    progress[BRINGUP_PACKET_POOLS] = 1;
    InitKeyMappingPool(adapter);
    InitializeListHead(&adapter->AdapterList);
    return STATUS_SUCCESS;
}

// ================================================================================================
// bring-up
// ================================================================================================
NTSTATUS NdisWdiInitFwHwSw(PMP_ADAPTER adapter)
{
    PUCHAR progress = adapter->BringUp.Progress;
    progress[BRINGUP_ENTERED] = 1;
    if (adapter->Signature != MP_ADAPTER_SIGNATURE) {
        AdapterClearFlag(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
        adapter->StopThreads.store(0);
        adapter->Signature = MP_ADAPTER_SIGNATURE;
        adapter->PortCount = 0;
    }
    const NTSTATUS status = BringUp(adapter, progress);
    if (!NT_SUCCESS(status)) {
        HalFreeBigFW(&adapter->FwFiles);
        if (adapter->LowPower.LowPowerMode) {
            (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        }
        (void)DeInitStopIcs(adapter);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "bring-up: 0x%08X; allocations %u, frees %u",
             static_cast<unsigned>(status), static_cast<unsigned>(__atomic_load_n(&g_AllocationCount, __ATOMIC_RELAXED)),
             static_cast<unsigned>(__atomic_load_n(&g_FreeCount, __ATOMIC_RELAXED)));
    adapter->InitFinished = 1;
    return status;
}

// ================================================================================================
// teardown
// ================================================================================================
NTSTATUS DeInitStopIcs(PMP_ADAPTER adapter)
{
    if (adapter->FwDump.IcsLogging[0] || adapter->FwDump.IcsLogging[1]) {
        adapter->FwDump.IcsLogging[0] = 0;
        adapter->FwDump.IcsLogging[1] = 0;
        UCHAR argument[4] = {};
        (void)NdisCommonHifControlThreadHandler(adapter->PortList[0], kIcsStopCmd, argument, sizeof(argument));
    }
    SarCloseSensorObject(adapter);
    if (adapter->CpuVendor == HAL_CPU_VENDOR_AMD) {
        D3ColdInterfaceDeInit();
    }
    return AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED) ? DeInitFwHwSwSurpriseRemove(adapter)
                                                                     : DeInitFwHwSw(adapter);
}

NTSTATUS DeInitFwHwSw(PMP_ADAPTER adapter)
{
    PUCHAR progress = adapter->BringUp.Progress;
    if (progress[BRINGUP_SW_CTRL]) {
        PMP_PORT port0 = adapter->PortList[0];
        const REGISTRY_BLOCK& r = adapter->RegistryBlock;
        if (adapter->LowPower.LowPowerMode) {
            (void)NdisCommonHifPmSetDriverOwn(adapter);
        }
        if (port0 != nullptr && (port0->ConnectionFlags & PORT_CONN_CONNECTED) != 0) {
            (void)MlmeCntLinkDown(port0, 0);
        }
        if (progress[BRINGUP_FW_DOWNLOADED] && port0 != nullptr) {
            PMP_PORT scanPort = PendingScanPort(adapter);
            if (scanPort != nullptr && AdapterTestFlags(adapter, ADAPTER_FLAG_OS_SCAN)) {
                PlatformIndicateScanStatus(adapter, scanPort, 0, 1, 0);
            }
            QZCxLedOff(adapter);
            P2pShutdownAllPorts(adapter);
        }
        if (r.NLOEnable && port0 != nullptr && adapter->Wake.NloOffload.Active) {
            adapter->Wake.NloOffload.Active = 0;
            (void)QzCmdEnableNLO(adapter, port0, &adapter->Wake.NloOffload, 1);
        }
        // A chip that a platform-level reset is taking down has no firmware to tell.
        if (r.FWIndexLogCheck && port0 != nullptr && !PldrInProgress(adapter)) {
            (void)MlmeUpdateFwlogSramEvtBlcok(adapter, port0, 1);
        }
        TeardownTail(adapter, progress, false);
    }
    TeardownAlways(adapter, progress);
    return STATUS_SUCCESS;
}

NTSTATUS DeInitFwHwSwSurpriseRemove(PMP_ADAPTER adapter)
{
    PUCHAR progress = adapter->BringUp.Progress;
    AdapterSetFlag(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    if (progress[BRINGUP_FW_DOWNLOADED]) {
        PlatformIndicateScanStatus(adapter, adapter->PortList[0], 0, 1, 0);
        P2pShutdownAllPorts(adapter);
    }
    TeardownTail(adapter, progress, true);
    TeardownAlways(adapter, progress);
    return STATUS_SUCCESS;
}

void SurpriseRemovedHandler(PMP_ADAPTER adapter)
{
    AdapterSetFlag(adapter, ADAPTER_FLAG_SURPRISE_REMOVED, __func__);
    NdisCommonFreeAllThreads(adapter);
    // No thread may stay blocked on a device that is gone.
    KIRQL oldIrql;
    KeAcquireSpinLock(&adapter->FwCmd.FwCmdSlotLock, &oldIrql);
    for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
        const FW_CMD_SLOT& slot = adapter->FwCmd.FwCmdSlots[i];
        if (!slot.InUse) {
            continue;
        }
        if (!slot.Answered) {
            (void)KeSetEvent(&adapter->FwCmd.FwCmdRespEvents[i], IO_NO_INCREMENT, FALSE);
        }
        if (!slot.Sent) {
            (void)KeSetEvent(&adapter->FwCmd.FwCmdSentEvents[i], IO_NO_INCREMENT, FALSE);
        }
    }
    KeReleaseSpinLock(&adapter->FwCmd.FwCmdSlotLock, oldIrql);
    PlatformIndicateRejectPendingPackets(adapter, 1);
    if (adapter->NicStarted && !adapter->NicShutDown) {
        QZCxShutdownNic(adapter);
    }
    adapter->NicStarted = 0;
    adapter->OsScanRequest = 0;
}
