// The WDI send path: the per-port send threads, the send thread after recovery, and the buffer-list
// send path that sends a port's frames again after a firmware recovery.
#include "platform/wdi/wdisend.h"

#include "hal/common/hal_chip.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kPortMaySend = 0x80u;
constexpr ULONG kPortLinkBits = PORT_CONN_CONNECTED | PORT_CONN_CONNECTING;
constexpr ULONG kFlagsNoDequeue = 0x200C0u;
constexpr UCHAR kTxProcqCount = 5;

BOOLEAN AdapterStopping(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(adapter->StopThreads.load() != 0 ||
                                AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED));
}

BOOLEAN RecoveryRunning(PMP_ADAPTER adapter)
{
    const UCHAR recovery = adapter->Recovery.FwRecoveryState;
    const UCHAR l05 = adapter->FwCmd.RecoveryInProgress;
    return static_cast<BOOLEAN>(recovery == 1 || recovery == 2 || l05 == 1 || l05 == 2);
}

ULONG CountNetBuffers(PNET_BUFFER_LIST nbl)
{
    ULONG n = 0;
    for (PNET_BUFFER nb = NET_BUFFER_LIST_FIRST_NB(nbl); nb != nullptr; nb = NET_BUFFER_NEXT_NB(nb)) {
        ++n;
    }
    return n;
}

// Hands one net buffer's share of its list back: the list goes to the OS when none is left.
void ReleaseShare(PMP_ADAPTER adapter, PNET_BUFFER_LIST nbl)
{
    if (N6XmitNblOutstandingRelease(nbl) == 0) {
        N6PlatformIndicateXmitPktToNdis(adapter, nbl, 0, 0);
    }
}

// Sends one net buffer of a list whose outstanding count is set. Every path ends the net buffer's
// share of the list exactly once: through the record's completion, or here.
void SendNetBuffer(PMP_ADAPTER adapter, PMP_PORT port, PNET_BUFFER_LIST nbl, PNET_BUFFER nb)
{
    PlatformZeroMemory(NET_BUFFER_MINIPORT_RESERVED(nb), sizeof(NET_BUFFER_MINIPORT_RESERVED(nb)));
    PTX_DMAQ_DESC record = TxDmaqAlloc(adapter, 0);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "buffer-list send of port %u: no transmit record",
                 static_cast<unsigned>(port->PortNumber));
        ReleaseShare(adapter, nbl);
        return;
    }
    if (N6XmitGetTxbufToDmaq(adapter, port->PortNumber, nbl, nb, record) != STATUS_SUCCESS) {
        if (record->OsBufferList == nullptr) {
            TxDmaqFree(adapter, record);
            ReleaseShare(adapter, nbl);
        } else {
            PlatformIndicateXmitPktToNdis(adapter, record, STATUS_UNSUCCESSFUL);
        }
        return;
    }
    const NTSTATUS classified = XmitSendPacket(adapter, record);
    if (classified == STATUS_PENDING) {
        return;  // held on a power-save queue: the access-point code sends it when the station wakes
    }
    if (classified != STATUS_SUCCESS) {
        // Not an access-point port, or refused by the access-point send step: completed unsent.
        PlatformIndicateXmitPktToNdis(adapter, record, STATUS_UNSUCCESSFUL);
        return;
    }
    // Accepted and not buffered: the access-point hard transmit takes it.
    const NTSTATUS sent = NdisCommonHifApXmitHardTransmit(adapter->HifContext, record);
    if (sent != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "buffer-list send of port %u: hard transmit 0x%08X",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(sent));
        PlatformIndicateXmitPktToNdis(adapter, record, STATUS_UNSUCCESSFUL);
    }
}

// Puts a chain at the head of the port's wait queue; without a free entry it goes back to the OS.
void ParkChain(PMP_ADAPTER adapter, PMP_PORT port, PNET_BUFFER_LIST chain)
{
    PPORT_NBL_QUEUE_ENTRY entry = PortNblFreeqDequeue(port);
    if (entry == nullptr) {
        // The free queue grows on demand; the port's termination frees its entries.
        PVOID block = nullptr;
        if (PlatformAllocateMemory(adapter, &block, sizeof(PORT_NBL_QUEUE_ENTRY), TAG_ZV21) == STATUS_SUCCESS) {
            entry = static_cast<PPORT_NBL_QUEUE_ENTRY>(block);
        }
    }
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "buffer-list send of port %u: no free queue entry",
                 static_cast<unsigned>(port->PortNumber));
        N6PlatformIndicateXmitPktToNdis(adapter, chain, 0, 0);
        return;
    }
    entry->NblChain = chain;
    PortNblWaitqEnqueue(port, entry, TRUE);
}

// The queues of the port that the per-port dequeue serves (multi-channel concurrency limits them
// to the port's own channel).
BOOLEAN DequeueServes(PMP_ADAPTER adapter, PMP_PORT port, UCHAR ac)
{
    if (adapter->MccActive == 0) {
        return TRUE;
    }
    if (port->PortType == WFD_GO || port->PortType == WFD_CLIENT) {
        return static_cast<BOOLEAN>(ac == 4);
    }
    if (port->PortType == EXTSTA) {
        return static_cast<BOOLEAN>(ac < 4);
    }
    return FALSE;
}

}  // namespace

void WdiSendDataThreadProc(PVOID context)
{
    auto* port = static_cast<PMP_PORT>(context);
    PMP_ADAPTER adapter = port->Adapter;
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() != 1) {
        if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
            break;
        }
        (void)PlatformWaitEvent(&port->SendThread.WakeEvent, 0);
        if (adapter->StopThreads.load() == 1) {
            break;
        }
        (void)WdiSendDataProcess(adapter, port);
    }
}

void WdiSendDataThreadAfterSERProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() == 0) {
        if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
            break;
        }
        (void)PlatformWaitEvent(&adapter->SendAfterSerThread.WakeEvent, 0);
        if (adapter->StopThreads.load() != 0) {
            break;
        }
        PMP_PORT port0 = adapter->PortList[0];
        if (port0 != nullptr && (port0->ConnectionFlags & kPortMaySend) != 0) {
            (void)WdiSendDataProcess(adapter, port0);
            (void)WdiTxSendPauseIndication(adapter, 0, 2);
        }
    }
}

NTSTATUS WdiSendDataProcess(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (HalChipGeneration(adapter->HalInfo.ChipCode) == CHIP_GENERATION_THIRD) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "buffer-list send: not used on this chip");
        return STATUS_SUCCESS;
    }
    if (RecoveryRunning(adapter)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "buffer-list send of port %u: recovery running",
                 static_cast<unsigned>(port->PortNumber));
        return STATUS_SUCCESS;
    }
    PNET_BUFFER_LIST pending = port->PendingNblHead;
    port->PendingNblHead = nullptr;
    port->PendingNblTail = nullptr;
    if (pending != nullptr) {
        if (AdapterStopping(adapter) || ((port->ConnectionFlags & kPortLinkBits) == 0 && port->PortType != WFD_GO)) {
            N6PlatformIndicateXmitPktToNdis(adapter, pending, 0, 0);
            return STATUS_SUCCESS;
        }
        ParkChain(adapter, port, pending);
    }
    ULONG handled = 0;
    BOOLEAN stop = FALSE;
    while (!stop && PortNblWaitqGetCount(port) != 0) {
        PPORT_NBL_QUEUE_ENTRY entry = PortNblWaitqDequeue(port);
        if (entry == nullptr) {
            break;
        }
        auto* chain = static_cast<PNET_BUFFER_LIST>(entry->NblChain);
        entry->NblChain = nullptr;
        PortNblFreeqEnqueue(port, entry);
        if (AdapterStopping(adapter)) {
            N6PlatformIndicateXmitPktToNdis(adapter, chain, 0, 0);
            return STATUS_SUCCESS;
        }
        for (PNET_BUFFER_LIST nbl = chain; nbl != nullptr;) {
            const ULONG n = CountNetBuffers(nbl);
            if (TxDmaqGetFreeCount(adapter, 0) < n) {
                // Too few records for the whole list: the rest of the chain waits for the next pass.
                DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "buffer-list send of port %u: %u net buffers wait",
                         static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(n));
                ParkChain(adapter, port, nbl);
                stop = TRUE;
                break;
            }
            PNET_BUFFER_LIST next = NET_BUFFER_LIST_NEXT_NBL(nbl);
            NET_BUFFER_LIST_NEXT_NBL(nbl) = nullptr;
            if (n == 0) {
                N6PlatformIndicateXmitPktToNdis(adapter, nbl, 0, 0);
            } else {
                N6XmitSetNblOutstanding(nbl, static_cast<LONG>(n));
                // The list may be handed back by the last net buffer's completion: the next one is
                // taken before each send.
                for (PNET_BUFFER nb = NET_BUFFER_LIST_FIRST_NB(nbl); nb != nullptr;) {
                    PNET_BUFFER nextNb = NET_BUFFER_NEXT_NB(nb);
                    SendNetBuffer(adapter, port, nbl, nb);
                    nb = nextNb;
                }
            }
            handled += n;
            nbl = next;
        }
        if (port->SendNblPassLimit != 0 && handled >= port->SendNblPassLimit) {
            break;
        }
    }
    if (!AdapterTestFlags(adapter, kFlagsNoDequeue)) {
        if (AdapterTestFlags(adapter, ADAPTER_FLAG_TX_HELD)) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "buffer-list send of port %u: transmission held",
                     static_cast<unsigned>(port->PortNumber));
        } else {
            for (UCHAR ac = 0; ac < kTxProcqCount; ++ac) {
                if (TxProcqGetCount(adapter, ac) != 0 && DequeueServes(adapter, port, ac)) {
                    NdisCommonHifDeQueuePacketByPort(port, ac);
                }
            }
        }
    }
    if (adapter->RegistryBlock.TxRxThreadMode == 0 && PortNblWaitqGetCount(port) != 0) {
        PlatformSignalThread(&port->SendThread);
    }
    return STATUS_SUCCESS;
}
