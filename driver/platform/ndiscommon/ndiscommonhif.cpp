// The host interface facade: the calls the rest of the driver makes into the bus layer, the count
// of I/O errors, and the interrupt-work dispatch of "PlatformIntHandlerThread".
#include "platform/ndiscommon/ndiscommonhif.h"

#include "Common/common.h"
#include "Common/qzcmd.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
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
    if (adapter->RegistryBlock.MmioMonitorEn != 0 && adapter->HalOps.RegAccessTraceHook != nullptr) {
        adapter->HalOps.RegAccessTraceHook(adapter, chipAddress);
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
        if (__atomic_load_n(&adapter->IoErrorCount, __ATOMIC_RELAXED) != 0) {
            __atomic_store_n(&adapter->IoErrorCount, 0u, __ATOMIC_RELAXED);
        }
        return;
    }
    ULONG count = __atomic_add_fetch(&adapter->IoErrorCount, 1u, __ATOMIC_RELAXED);
    if (count == IO_ERROR_RECOVERY_FIRST || count == IO_ERROR_RECOVERY_AGAIN) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "%u register reads failed in a row: recovery requested",
                 static_cast<unsigned>(count));
        if (count == IO_ERROR_RECOVERY_AGAIN) {
            __atomic_store_n(&adapter->IoErrorCount, 0u, __ATOMIC_RELAXED);
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
    PlatformAllocateSpinLock(&adapter->OwnLock);
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
    PlatformFreeSpinLock(&adapter->OwnLock);
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
    BOOLEAN bracket = static_cast<BOOLEAN>(adapter->LowPowerMode != 0);
    if (bracket) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    NTSTATUS status = NdisCommonHifPciMiniportMMRequest(hif, frame, length, sequence);
    if (bracket) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
    return status;
}

NTSTATUS NdisCommonHifMlmeHardTransmit(PPCI_HIF_CONTEXT hif, struct _MLME_HARD_TX_REQUEST* request, ULONG arg)
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
// recovery and channel privilege (their procedures come with the recovery and the per-port dequeue)
// ================================================================================================
NTSTATUS ErrorRecoveryProc(PMP_ADAPTER adapter, ULONG kind)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(kind);
    return NOT_BUILT_YET();
}

NTSTATUS DoRestoreChannelPrivilege(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
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
        } else if (HalChipCodeOfDeviceId(adapter->DeviceId) / 0x100 == 0x35) {
            // The second generation: chip codes 0x3501, 0x3502, 0x3503.
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
