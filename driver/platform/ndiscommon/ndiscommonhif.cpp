// The host interface facade: the calls the rest of the driver makes into the bus layer, the count
// of I/O errors, and the interrupt-work dispatch of "PlatformIntHandlerThread".
#include "platform/ndiscommon/ndiscommonhif.h"

#include "Common/common.h"
#include "Common/qzcmd.h"
#include "Common/logevent.h"
#include "Common/p2p/p2p.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/hal_bringup.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
#include "kshim/netadapter_reset.h"
#include "platform/ndiscommon/dmaq.h"
#include "hal/common/hal_ser.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6pci.h"

namespace {

// Adapter flag bits that mark a state in which management commands are refused.
constexpr ULONG kMlmeCmdRefusedFlags = 0x50020140;

void RegisterAccessHook(PMP_ADAPTER adapter, ULONG chipAddress)
{
    if (adapter->RegistryBlock.MmioMonitorEn != 0) {
        (void)HalCallOptional(adapter->HalOps.RegAccessTraceHook, adapter, chipAddress);
    }
}

// Posts internal command 0x10000044 with a recovery kind for port 0.
void PostRecovery(PMP_ADAPTER adapter, RECOVERY_TYPE kind)
{
    ULONG payload = static_cast<ULONG>(kind);
    NTSTATUS status = QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_ERROR_RECOVERY, &payload,
                                           sizeof(payload));
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "recovery kind %u not posted: 0x%08X", static_cast<unsigned>(kind),
                 static_cast<unsigned>(status));
    }
}

}  // namespace

// ================================================================================================
// register access
// ================================================================================================
NTSTATUS HifIoRead32(PMP_ADAPTER adapter, ULONG chipAddress, PULONG value)
{
    RegisterAccessHook(adapter, chipAddress);
    *value = 0;
    NTSTATUS status = NdisCommonHifPciReadReg(adapter->HifContext, chipAddress, value);
    IoErrRecovery(adapter, static_cast<BOOLEAN>(status == STATUS_DEVICE_REMOVED));
    return status;
}

NTSTATUS HifIoWrite32(PMP_ADAPTER adapter, ULONG chipAddress, ULONG value)
{
    RegisterAccessHook(adapter, chipAddress);
    return NdisCommonHifPciWriteReg(adapter->HifContext, chipAddress, value);
}

VOID IoErrRecovery(PMP_ADAPTER adapter, BOOLEAN failed)
{
    // Register reads run on every thread and in the interrupt path: the count changes atomically.
    if (!failed) {
        if (__atomic_load_n(&adapter->Recovery.IoErrorCount, __ATOMIC_RELAXED) != 0) {
            __atomic_store_n(&adapter->Recovery.IoErrorCount, 0u, __ATOMIC_RELAXED);
        }
        return;
    }
    ULONG count = __atomic_add_fetch(&adapter->Recovery.IoErrorCount, 1u, __ATOMIC_RELAXED);
    if (count == IO_ERROR_RECOVERY_FIRST || count == IO_ERROR_RECOVERY_AGAIN) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "%u register reads failed in a row: recovery requested",
                 static_cast<unsigned>(count));
        if (count == IO_ERROR_RECOVERY_AGAIN) {
            __atomic_store_n(&adapter->Recovery.IoErrorCount, 0u, __ATOMIC_RELAXED);
        }
        PostRecovery(adapter, RECOVERY_IO_FAIL);
    }
}

// ================================================================================================
// ownership
// ================================================================================================
NTSTATUS NdisCommonHifPmSetDriverOwn(PMP_ADAPTER adapter)
{
    NTSTATUS status = NdisCommonHifPciPmSetDriverOwn(adapter->HifContext);
    if (!NT_SUCCESS(status) && adapter->Running == 1) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "driver own failed: 0x%08X", static_cast<unsigned>(status));
        PostRecovery(adapter, RECOVERY_DRIVER_OWN_FAIL);
    }
    return status;
}

NTSTATUS NdisCommonHifPmSetFwOwn(PMP_ADAPTER adapter, ULONG flags)
{
    return NdisCommonHifPciPmSetFwOwn(adapter->HifContext, flags);
}

NTSTATUS NdisCommonHifEnsureDriverOwn(PMP_ADAPTER adapter) { return NdisCommonHifPciEnsureDriverOwn(adapter->HifContext); }

// ================================================================================================
// interrupts
// ================================================================================================
NTSTATUS NdisCommonHifDisableInterrupt(PPCI_HIF_CONTEXT hif)
{
    PMP_ADAPTER adapter = hif->Adapter;
    if (adapter->HalOps.DisableInterrupt == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "the chip has no interrupt disable");
        return STATUS_SUCCESS;
    }
    adapter->HalOps.DisableInterrupt(adapter);
    return STATUS_SUCCESS;
}

NTSTATUS NdisCommonHifEnableInterrupt(PPCI_HIF_CONTEXT hif)
{
    PMP_ADAPTER adapter = hif->Adapter;
    if (adapter->HalOps.EnableInterrupt == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "the chip has no interrupt enable");
        return STATUS_SUCCESS;
    }
    adapter->HalOps.EnableInterrupt(adapter);
    return STATUS_SUCCESS;
}

// ================================================================================================
// rings and DMA
// ================================================================================================
NTSTATUS NdisCommonHifInitTransmit(PPCI_HIF_CONTEXT hif, BOOLEAN allocate) { return NdisCommonHifPciInitTransmit(hif, allocate); }

NTSTATUS NdisCommonHifInitRecv(PPCI_HIF_CONTEXT hif, BOOLEAN allocate) { return NdisCommonHifPciInitRecv(hif, allocate); }

VOID NdisCommonHifFreeTransmit(PPCI_HIF_CONTEXT hif) { NdisCommonHifPciFreeTransmit(hif); }

VOID NdisCommonHifFreeRecv(PPCI_HIF_CONTEXT hif) { NdisCommonHifPciFreeRecv(hif); }

NTSTATUS NdisCommonHifStartTxRx(PPCI_HIF_CONTEXT hif, PUCHAR progress)
{
    NTSTATUS status = NdisCommonHifPciStartTxRx(hif);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit and receive not started: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    progress[HIF_PROGRESS_TX_STARTED] = 1;
    progress[HIF_PROGRESS_RX_STARTED] = 1;
    return status;
}

NTSTATUS NdisCommonHifStopTxRx(PPCI_HIF_CONTEXT hif, PUCHAR progress)
{
    NTSTATUS status = NdisCommonHifPciStopTxRx(hif);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit and receive not stopped: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    progress[HIF_PROGRESS_TX_STARTED] = 0;
    progress[HIF_PROGRESS_RX_STARTED] = 0;
    return status;
}

ULONG NdisCommonHifUpdateTxRingIdx(PPCI_HIF_CONTEXT hif, UCHAR ringSelector)
{
    return NdisCommonHifPciUpdateTxRingIdx(hif, ringSelector);
}

NTSTATUS NdisCommonHifFreeDescriptorRequest(PMP_ADAPTER adapter, UCHAR ring, ULONG count)
{
    return NdisCommonHifPciFreeDescriptorRequest(adapter->HifContext, ring, count);
}

void NdisCommonHifAllocateSpinLock(PMP_ADAPTER adapter)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    if (hif == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "no bus context for its locks");
        return;
    }
    for (PCI_HIF_LOCK& lock : hif->LockArray) {
        PlatformAllocateSpinLock(&lock.Lock);
        lock.OldIrql = PASSIVE_LEVEL;
    }
    for (PCI_HIF_LOCK& lock : hif->TxRingLock) {
        PlatformAllocateSpinLock(&lock.Lock);
        lock.OldIrql = PASSIVE_LEVEL;
    }
    PlatformAllocateSpinLock(&hif->GeneralLock.Lock);
    PlatformAllocateSpinLock(&adapter->LowPower.OwnLock);
    // The per-category dequeue locks and the SER-done event of the error recovery.
    for (KSPIN_LOCK& lock : adapter->Recovery.AcDequeueLock) {
        PlatformAllocateSpinLock(&lock);
    }
    KeInitializeEvent(&adapter->Recovery.SerDoneEvent, NotificationEvent, FALSE);
}

void NdisCommonHifDeallocateSpinLock(PMP_ADAPTER adapter)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    if (hif == nullptr) {
        return;
    }
    for (PCI_HIF_LOCK& lock : hif->LockArray) {
        PlatformFreeSpinLock(&lock.Lock);
    }
    for (PCI_HIF_LOCK& lock : hif->TxRingLock) {
        PlatformFreeSpinLock(&lock.Lock);
    }
    PlatformFreeSpinLock(&hif->GeneralLock.Lock);
    PlatformFreeSpinLock(&adapter->LowPower.OwnLock);
    for (KSPIN_LOCK& lock : adapter->Recovery.AcDequeueLock) {
        PlatformFreeSpinLock(&lock);
    }
}

NTSTATUS NdisCommonHifIoSpaceUnmap(PMP_ADAPTER adapter) { return N6PciIoSpaceUnmap(adapter); }

NTSTATUS NdisCommonHifEraseFirmware(PMP_ADAPTER adapter) { return NdisCommonHifPciEraseFirmware(adapter->HifContext); }

// ================================================================================================
// submission
// ================================================================================================
NTSTATUS NdisCommonHifXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet)
{
    return NdisCommonHifPciXmitHardTransmit(hif, packet);
}

NTSTATUS NdisCommonHifApXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet)
{
    return NdisCommonHifPciApXmitHardTransmit(hif, packet);
}

NTSTATUS NdisCommonHifMiniportMMRequest(PPCI_HIF_CONTEXT hif, PUCHAR frame, ULONG length, UCHAR sequence)
{
    PMP_ADAPTER adapter = hif->Adapter;
    BOOLEAN bracket = static_cast<BOOLEAN>(adapter->LowPower.LowPowerMode != 0);
    if (bracket) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    NTSTATUS status = NdisCommonHifPciMiniportMMRequest(hif, frame, length, sequence);
    if (bracket) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
    return status;
}

NTSTATUS NdisCommonHifMlmeHardTransmit(PPCI_HIF_CONTEXT hif, struct _MGMT_TX_REQUEST* request, ULONG arg)
{
    return NdisCommonHifPciMlmeHardTransmit(hif, request, arg);
}

NTSTATUS NdisCommonHifCmdSendMsg(PMP_ADAPTER adapter, PFW_CMD_MSG message, ULONG ringSelector)
{
    return NdisCommonHifPciCmdSendMsg(adapter->HifContext, message, ringSelector);
}

NTSTATUS NdisCommonHifSetPowerbyPortWOWLan(PMP_PORT port, ULONG state)
{
    return NdisCommonHifPciSetPowerbyPortWOWLan(port, state);
}

// ================================================================================================
// placeholders
// ================================================================================================
BOOLEAN NdisCommonHifCapabilitySupported(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return TRUE;
}

BOOLEAN NdisCommonHifSendMlmeCmdPkt(PMP_ADAPTER adapter)
{
    // Management commands do not travel this way on PCI Express.
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_HIF, "management command packet refused; adapter %s",
             AdapterTestFlags(adapter, kMlmeCmdRefusedFlags) ? "not ready" : "ready");
    return FALSE;
}

VOID NdisCommonHifVoidHook() {}

// ================================================================================================
// error recovery
// ================================================================================================
namespace {

// The chips that recover; any other only runs its hook.
BOOLEAN ChipRecovers(USHORT deviceId)
{
    return HalDeviceHasFact(deviceId, CHIP_FACT_RECOVERS);
}

LONG64 RecoveryNow()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return now.QuadPart;
}

// A guard time recorded at `start` (0: none) that has not run out yet.
BOOLEAN WithinGuard(LONG64 start, LONG64 guard)
{
    if (start == 0) {
        return FALSE;
    }
    const LONG64 elapsed = RecoveryNow() - start;
    return static_cast<BOOLEAN>(elapsed >= 0 && elapsed < guard);
}

// The counters are read by other threads (diagnostics): changed with atomic operations.
void IncrementCounter(UCHAR* counter) { (void)__atomic_add_fetch(counter, static_cast<UCHAR>(1), __ATOMIC_RELAXED); }

// The firmware-level recovery of kinds 1, 2, 3 and 6.
void RunL05(PMP_ADAPTER adapter, ULONG kind)
{
    if (kind <= RECOVERY_FW_REQUEST) {
        IncrementCounter(&adapter->Recovery.RecoveryKindCount[kind - 1]);
    }
    for (PMP_PORT port : adapter->PortList) {
        if (port != nullptr && port->Created && port->P2pMsState > P2pMs_STATE_IDLE) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "L0.5 while port %u has a Wi-Fi Direct action in progress (%d)",
                     static_cast<unsigned>(port->PortNumber), static_cast<int>(port->P2pMsState));
            break;
        }
    }
    if (L05InProgress(adapter)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "recovery kind %u dropped: an L0.5 is under way", static_cast<unsigned>(kind));
        return;
    }
    IncrementCounter(&adapter->Recovery.RecoveryL05Count);
    __atomic_store_n(&adapter->FwCmd.RecoveryInProgress, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    __atomic_store_n(&adapter->Recovery.L05StartTime, RecoveryNow(), __ATOMIC_RELEASE);
    (void)LogEventDriverSerCount(adapter);
    NTSTATUS status = HalCallOptional(adapter->HalOps.FwRecovery, adapter);
    DBGPRINT(status == STATUS_SUCCESS ? TRACE_LEVEL_INFORMATION : TRACE_LEVEL_ERROR, DBG_HIF,
             "L0.5 number %u ended: 0x%08X", static_cast<unsigned>(adapter->Recovery.RecoveryL05Count),
             static_cast<unsigned>(status));
    __atomic_store_n(&adapter->Recovery.L05StartTime, static_cast<LONG64>(0), __ATOMIC_RELEASE);
}

void MarkPldr(PMP_ADAPTER adapter)
{
    IncrementCounter(&adapter->Recovery.RecoveryBusHangCount);
    adapter->Recovery.PldrMark = 1;
    adapter->Recovery.PldrStartTime = RecoveryNow();
}

// Before a platform-level reset of kind 5 or 7, the companion Bluetooth driver's dump ("BtDumpSop").
void BluetoothDumpSteps(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.BtDumpSop == 0) {
        return;
    }
    (void)WriteSystemEventLog(adapter, EVENT_LOG_BT_DUMP_SOP, 0, nullptr, 0);
    N6PlatformIndicateBusHang(adapter);
    NdisCommonGenericDelay(1000000);
    NTSTATUS status = HalGetBtDebugSopInfo();
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "Bluetooth dump: 0x%08X", static_cast<unsigned>(status));
    }
}

void RequestPldr(PMP_ADAPTER adapter, ULONG kind)
{
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "recovery kind %u: platform-level device reset requested (number %u)",
             static_cast<unsigned>(kind), static_cast<unsigned>(adapter->Recovery.RecoveryBusHangCount));
    NetDeviceRequestReset(adapter->Device, PlatformLevelDeviceReset);
}

// Kinds 5 and 7: after a bus fault, the event-log entry, the Bluetooth dump, the chip's own step (the
// whole-chip reset, the recovery hook) and a settling delay come before the platform-level reset.
void BusFaultPldr(PMP_ADAPTER adapter, ULONG kind, PFN_CHIP_VOID chipStep, ULONG settleMicroseconds)
{
    MarkPldr(adapter);
    (void)(kind == RECOVERY_IO_FAIL ? LogEventDriverIOFail(adapter) : LogEventDriverBusHang(adapter));
    BluetoothDumpSteps(adapter);
    if (chipStep != nullptr) {
        chipStep(adapter);
    }
    NdisCommonGenericDelay(settleMicroseconds);
    RequestPldr(adapter, kind);
}

}  // namespace

BOOLEAN L05InProgress(PMP_ADAPTER adapter)
{
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_REGISTER_REFUSED)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "L0.5 test: adapter flags 0x%08X", static_cast<unsigned>(AdapterGetFlags(adapter)));
        return TRUE;
    }
    return WithinGuard(__atomic_load_n(&adapter->Recovery.L05StartTime, __ATOMIC_ACQUIRE), RECOVERY_L05_GUARD);
}

BOOLEAN PldrInProgress(PMP_ADAPTER adapter)
{
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_REGISTER_REFUSED)) {
        return TRUE;
    }
    return static_cast<BOOLEAN>(adapter->Recovery.PldrMark != 0 && WithinGuard(adapter->Recovery.PldrStartTime, RECOVERY_PLDR_GUARD));
}

BOOLEAN ErrRecoveryNoneOccurred(PMP_ADAPTER adapter)
{
    for (UCHAR count : adapter->Recovery.RecoveryKindCount) {
        if (count != 0) {
            return FALSE;
        }
    }
    return static_cast<BOOLEAN>(adapter->Recovery.RecoveryIoFailCount == 0);
}

VOID ErrorRecoveryProc(PMP_ADAPTER adapter, ULONG kind)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "ErrorRecoveryProc: kind %u", static_cast<unsigned>(kind));
    if (adapter->Running != 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "recovery kind %u before bring-up completed: ignored", static_cast<unsigned>(kind));
        return;
    }
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    (void)HalCallOptional(ops.DumpPPDebugCr, adapter);
    if (ops.ShowDebugSopInfo != nullptr) {
        (void)ops.ShowDebugSopInfo(adapter, 1);
    }
    if (!ChipRecovers(adapter->DeviceId)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "recovery kind %u: device 0x%04X does not recover", static_cast<unsigned>(kind),
                 static_cast<unsigned>(adapter->DeviceId));
        (void)HalCallOptional(ops.ErrorRecoveryHook, adapter);
        return;
    }
    const REGISTRY_BLOCK& config = adapter->RegistryBlock;
    if (config.SysRcvyEn == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "recovery kind %u: recovery disabled", static_cast<unsigned>(kind));
        return;
    }
    if (config.Log2AirEnable != 0 && HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_LOG2AIR)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "recovery kind %u: not while the log goes to the air", static_cast<unsigned>(kind));
        return;
    }
    if (PldrInProgress(adapter)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "recovery kind %u dropped: a platform-level reset is under way",
                 static_cast<unsigned>(kind));
        return;
    }
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "recovery kind %u (mask 0x%X)", static_cast<unsigned>(kind),
             static_cast<unsigned>(config.FwStallRecovery));
    const ULONG mask = config.FwStallRecovery;
    switch (kind) {
    case RECOVERY_FW_CMD_TIMEOUT:
    case RECOVERY_FW_TRIGGERED:
    case RECOVERY_FW_REQUEST:
    case RECOVERY_SER_TIMEOUT:
        if ((mask & FW_STALL_RECOVERY_L05) != 0) {
            RunL05(adapter, kind);
        }
        break;
    case RECOVERY_IO_FAIL:
        if ((mask & FW_STALL_RECOVERY_PLDR_BUS) != 0) {
            IncrementCounter(&adapter->Recovery.RecoveryIoFailCount);
            BusFaultPldr(adapter, kind, ops.L0WholeChipReset, 1400000);
        }
        break;
    case RECOVERY_CHIP_HOOK:
        if ((mask & FW_STALL_RECOVERY_PLDR_BUS) != 0) {
            BusFaultPldr(adapter, kind, ops.ErrorRecoveryHook, 2400000);
        }
        break;
    case RECOVERY_DRIVER_OWN_FAIL:
        if ((mask & FW_STALL_RECOVERY_PLDR_OWN) != 0) {
            IncrementCounter(&adapter->Recovery.RecoveryKindCount[RECOVERY_DRIVER_OWN_FAIL - 1]);
            MarkPldr(adapter);
            if (ops.ToggleWfsysRst != nullptr) {
                NTSTATUS reset = ops.ToggleWfsysRst(adapter);
                if (reset != STATUS_SUCCESS) {
                    DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "Wi-Fi subsystem reset: 0x%08X", static_cast<unsigned>(reset));
                }
            }
            RequestPldr(adapter, kind);
        }
        break;
    default:
        break;
    }
}

ULONG CheckAllQStop(PMP_ADAPTER adapter)
{
    ULONG bits = 0;
    ULONG queued = 0;
    for (UCHAR ac = 0; ac < 5; ++ac) {
        KIRQL oldIrql;
        KeAcquireSpinLock(&adapter->Recovery.AcDequeueLock[ac], &oldIrql);
        const UCHAR running = adapter->Recovery.AcDequeueInProgress[ac];
        KeReleaseSpinLock(&adapter->Recovery.AcDequeueLock[ac], oldIrql);
        if (running == 1) {
            bits |= 1u << ac;
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "access category %u still being dequeued", static_cast<unsigned>(ac));
        }
        queued += TxProcqGetCount(adapter, ac);
    }
    queued += TxDoneWaitqGetCount(adapter);
    const LONG inFlight = __atomic_load_n(&adapter->DataTxInFlight, __ATOMIC_ACQUIRE);
    if (static_cast<LONG>(queued) != inFlight) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "frames queued %u, in flight %d", static_cast<unsigned>(queued),
                 static_cast<int>(inFlight));
    }
    return bits & 0xFF;
}

VOID SerCheckTxStopTimeOut(PVOID systemSpecific1, PMP_PORT port, struct _PLATFORM_TIMER* timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr) {
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (CheckAllQStop(adapter) != 0) {
        (void)PlatformSetTimer(port, timer, SER_TX_STOP_CHECK_MS);
        return;
    }
    // The SER moves on before the firmware is told, so that its next step finds the state ready.
    __atomic_store_n(&adapter->Recovery.TxStopped, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    __atomic_store_n(&adapter->Recovery.SerState, static_cast<UCHAR>(SER_STATE_TX_STOPPED), __ATOMIC_RELEASE);
    if (ChipRecovers(adapter->DeviceId)) {
        AsicArvel3xSetSwIntToMcu(adapter, ARVEL_SER_HOST_TX_STOPPED);
    }
}

void NdisCommonHifIntHandlerThreadHandler(PMP_PORT port, ULONG cmdId)
{
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "interrupt work 0x%08X without a port", static_cast<unsigned>(cmdId));
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_THREAD_CMD_DROP)) {
        return;
    }
    switch (cmdId) {
    case INT_HANDLER_CMD_INTERRUPT_WORK:
        if (HalIsThirdGeneration(adapter->DeviceId)) {
            (void)AsicArvel3xPciHandleInterruptInternal(adapter);
        } else if (HalDeviceGeneration(adapter->DeviceId) == CHIP_GENERATION_SECOND) {
            (void)AsicArvel2xPciHandleInterruptInternal(adapter);
        }
        break;
    case INT_HANDLER_CMD_FW_OWN:
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        break;
    default:
        break;
    }
}
