// Indications to the OS.
#include "platform/ndis6/n6indicate.h"

#include <cstring>

#include "Common/ap/apmlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "platform/ndis6/n6platformindicate.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdievent.h"
#include "platform/wdi/wdigenerator.h"

#define HLK_FEATURE_COMPLETION_DELAY 0x2000u
#define RESET_COMPLETION_STATUS 6u
#define RESET_ASSOCIATION_STATUS 2u

namespace {

// The port's dialogue is changed only under its lock; nothing is called down with it held.
class DialogueLock {
public:
    explicit DialogueLock(PMP_PORT port) : lock_(&port->Ind.Lock) { KeAcquireSpinLock(lock_, &irql_); }
    ~DialogueLock() { KeReleaseSpinLock(lock_, irql_); }
    DialogueLock(const DialogueLock&) = delete;
    DialogueLock& operator=(const DialogueLock&) = delete;

private:
    PKSPIN_LOCK lock_;
    KIRQL irql_;
};

// One history record of the port's current state (under the port's lock).
void WriteHistory(PMP_PORT port, ULONG callerCode)
{
    PORT_INDICATION_STATE& st = port->Ind.State;
    PORT_INDICATION_HISTORY& h = port->Ind.History;
    const UCHAR index = static_cast<UCHAR>(h.NextIndex % PORT_INDICATION_HISTORY_SIZE);
    PORT_INDICATION_RECORD& r = h.Records[index];
    r.LastIndication = st.LastIndication;
    r.AllowedMask = st.AllowedMask;
    r.CallerCode = callerCode;
    r.ResetFlag = st.ResetFlag;
    r.ConnectionStarted = st.ConnectionStarted;
    r.AssociationStarted = st.AssociationStarted;
    r.Allowed = (st.AllowedMask & st.LastIndication) != 0 ? 1 : 0;
    h.NextIndex = static_cast<UCHAR>((index + 1) % PORT_INDICATION_HISTORY_SIZE);
}

// Stores the code as the port's last indication; FALSE when a reset runs and the caller is the core.
bool PassResetGate(PMP_PORT port, ULONG code, ULONG callerCode)
{
    port->Ind.State.LastIndication = code;
    if (port->Ind.State.ResetFlag != 0 && callerCode < INDICATION_CALLER_RESET_FIRST) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "indication 0x%X of port %u dropped: reset in progress (caller %u)",
                 static_cast<unsigned>(code), static_cast<unsigned>(port->PortNumber),
                 static_cast<unsigned>(callerCode));
        return false;
    }
    return true;
}

// Passes the gate of an ordered indication: the reset gate, the allowed bit, the busy flag and, when
// given, a flag of the dialogue that must be 1; on success the port is busy and the history written.
bool Enter(PMP_PORT port, ULONG code, ULONG callerCode, const UCHAR* required = nullptr)
{
    DialogueLock lock(port);
    if (!PassResetGate(port, code, callerCode)) {
        return false;
    }
    PORT_INDICATION_STATE& st = port->Ind.State;
    if ((st.AllowedMask & code) == 0 || st.Busy != 0 || (required != nullptr && *required != 1)) {
        return false;
    }
    st.Busy = 1;
    WriteHistory(port, callerCode);
    return true;
}

void StopTimer(PPLATFORM_TIMER timer)
{
    UCHAR cancelled = 0;
    PlatformCancelTimer(timer, &cancelled);
}

bool AllZero(const UCHAR* address)
{
    for (int i = 0; i < 6; ++i) {
        if (address[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace
#include "platform/ndis6/n6xmit.h"
#include "platform/wificx/rxqueue.h"
#include "platform/wificx/txqueue.h"

void PlatformIndicateDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG reason,
                                    ULONG sourceCode)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    static const UCHAR kNoPeer[6] = {};
    const UCHAR* shown = peer != nullptr ? peer : kNoPeer;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI,
             "PlatformIndicateDisassociation: port %u peer %02X:%02X:%02X:%02X:%02X:%02X reason %u source %u",
             static_cast<unsigned>(port->PortNumber), shown[0], shown[1], shown[2], shown[3], shown[4], shown[5],
             static_cast<unsigned>(reason), static_cast<unsigned>(sourceCode));
    if (!Enter(port, INDICATION_DISASSOCIATION, sourceCode)) {
        return;
    }
    const ULONG wdiStatus = WdiEventAssocStatusFromDot11(reason);
    if (peer != nullptr && port->Ind.BeaconLost == 0) {
        WdiEventIndicationDisassociation(adapter, port, peer, wdiStatus, sourceCode);
    }
    if (peer != nullptr && !AllZero(peer)) {
        // The peer's entry (WLAN index 1 for a station, the group owner's for a client) leaves the OS;
        // the OS peer calls arrive with the MAC table entry removal and OS peers.
        (void)NOT_BUILT_YET();
    }
    DialogueLock lock(port);
    port->Ind.State.Busy = 0;
    port->Ind.State.AllowedMask = INDICATION_ALLOWED_DISASSOCIATED;
}

void PlatformIndicateRoamingCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "roaming completion of port %u: status %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u, static_cast<unsigned>(status));
}

void PlatformIndicateCurrentRadioState(PMP_ADAPTER adapter, ULONG portNumber, LONG status)
{
    N6PlatformIndicateCurrentRadioState(adapter, portNumber, status);
}

void PlatformIndicateScanStatus(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG done, ULONG reason)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    switch (port->PortType) {
    case EXTSTA:
        N6PlatformIndicateScanStatus(adapter, port, status, done, reason);
        break;
    case WFD_DEVICE:
    case WFD_GO:
    case WFD_CLIENT:
        (void)P2pMsIndicateDiscoverComplete(adapter, port);
        break;
    default:
        break;
    }
}

namespace {

// The management-frame block's wrapper a buffer list belongs to, or null for any other list.
PPACKET_RECORD WrapperOf(PMP_ADAPTER adapter, PNET_BUFFER_LIST nbl)
{
    PMGMT_FRAME_BLOCK mgmt = adapter != nullptr ? adapter->MgmtFrameBlock : nullptr;
    if (mgmt == nullptr) {
        return nullptr;
    }
    auto* record = static_cast<PPACKET_RECORD>(NET_BUFFER_LIST_MINIPORT_RESERVED(nbl)[0]);
    const auto* first = &mgmt->Records[0];
    const auto* last = &mgmt->Records[PACKET_RECORD_COUNT - 1];
    if (record < first || record > last || record->NetBufferList != nbl) {
        return nullptr;
    }
    return record;
}

}  // namespace

void N6PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PNET_BUFFER_LIST chain, ULONG reserved, ULONG flags)
{
    UNREFERENCED_PARAMETER(reserved);
    UNREFERENCED_PARAMETER(flags);
    if (chain == nullptr) {
        return;
    }
    if (chain->Context == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "send completion of a buffer list without context word");
    }
    // No send-completion entry of the OS is registered in this system: a wrapper of the
    // management-frame block goes back to the block's free list; any other list has no one to
    // take it here (the OS hands the driver none) and is only traced.
    for (PNET_BUFFER_LIST nbl = chain; nbl != nullptr;) {
        PNET_BUFFER_LIST next = NET_BUFFER_LIST_NEXT_NBL(nbl);
        NET_BUFFER_LIST_NEXT_NBL(nbl) = nullptr;
        PPACKET_RECORD wrapper = WrapperOf(adapter, nbl);
        if (wrapper != nullptr) {
            Ndis6CommonReturnMgmtWrapper(adapter, wrapper);
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "send completion of a buffer list the driver does not own");
        }
        nbl = next;
    }
}

void PlatformIndicateResetAllStatus(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    {
        DialogueLock lock(port);
        if (port->Ind.State.ResetFlag != 0) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "reset of port %u already running",
                     static_cast<unsigned>(port->PortNumber));
            return;
        }
        port->Ind.State.ResetFlag = 1;
    }
    StopTimer(&port->Ind.ConnectionTimeoutTimer[0]);
    StopTimer(&port->Ind.ConnectionTimeoutTimer[1]);
    // Close the dialogue the OS has open.
    switch (port->Ind.State.LastIndication) {
    case INDICATION_CONNECTION_START:
        (void)PlatformIndicateConnectionCompletion(adapter, port, RESET_COMPLETION_STATUS, 900);
        break;
    case INDICATION_ASSOCIATION_START:
        (void)PlatformIndicateAssociationCompletion(adapter, port, RESET_ASSOCIATION_STATUS, 901);
        if (port->Ind.State.ConnectionStarted == 1) {
            (void)PlatformIndicateConnectionCompletion(adapter, port, RESET_COMPLETION_STATUS, 902);
        }
        break;
    case INDICATION_ASSOCIATION_COMPLETION:
        if (port->Ind.State.ConnectionStarted == 1) {
            (void)PlatformIndicateConnectionCompletion(adapter, port, RESET_COMPLETION_STATUS, 904);
        }
        break;
    default:
        if (adapter->Ind.ConnectionStartPending == 1) {
            PlatformIndicateConnectionStart(adapter, port, adapter->RegistryBlock.NetworkType, nullptr, nullptr, 0,
                                            908);
            (void)PlatformIndicateConnectionCompletion(adapter, port, RESET_COMPLETION_STATUS, 909);
        }
        break;
    }
    for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
        PMP_PORT p = adapter->PortList[i];
        if (p == nullptr) {
            continue;
        }
        DialogueLock lock(p);
        p->Ind.State.LastIndication = INDICATION_RESET;
        p->Ind.State.AllowedMask = INDICATION_ALLOWED_IDLE;
        WriteHistory(p, INDICATION_CALLER_RESET_CLOSE);
    }
    adapter->Ind.ConnectionInProgress = 0;
    DialogueLock lock(port);
    port->Ind.State.ResetFlag = 0;
}

// ================================================================================================
// the ordered connection dialogue
// ================================================================================================
void PlatformIndicateConnectionStart(PMP_ADAPTER adapter, PMP_PORT port, ULONG bssType, const UCHAR* bssid,
                                     const UCHAR* ssid, ULONG ssidLength, ULONG callerCode)
{
    UNREFERENCED_PARAMETER(bssid);
    UNREFERENCED_PARAMETER(ssid);
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    {
        DialogueLock lock(port);
        if (!PassResetGate(port, INDICATION_CONNECTION_START, callerCode)) {
            return;
        }
        PORT_INDICATION_STATE& st = port->Ind.State;
        if ((st.AllowedMask & INDICATION_CONNECTION_START) == 0 || st.Busy != 0 ||
            adapter->Ind.ConnectionStartPending != 1) {
            return;
        }
        st.Busy = 1;
        adapter->Ind.ConnectionStartPending = 0;
        adapter->Ind.ConnectionInProgress = 1;
        st.ConnectionStarted = 1;
        WriteHistory(port, callerCode);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "connection start of port %u: BSS type %u, SSID of %u bytes",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(bssType),
             static_cast<unsigned>(ssidLength));
    StopTimer(&port->Ind.ConnectionTimeoutTimer[1]);
    (void)PlatformSetTimer(port, &port->Ind.ConnectionTimeoutTimer[0], CONNECTION_TIMEOUT_MS);
    N6PlatformIndicateConnectionStart(adapter, port, callerCode);
    DialogueLock lock(port);
    port->Ind.State.Busy = 0;
    port->Ind.State.AllowedMask = INDICATION_ALLOWED_CONNECTING;
}

void PlatformIndicateAssociationStart(PMP_ADAPTER adapter, PMP_PORT port, const void* bssEntry, UCHAR osInitiated,
                                      ULONG callerCode)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    if (!Enter(port, INDICATION_ASSOCIATION_START, callerCode)) {
        return;
    }
    N6PlatformIndicateAssociationStart(adapter, port, bssEntry, osInitiated, callerCode);
    DialogueLock lock(port);
    port->Ind.State.Busy = 0;
    port->Ind.State.AssociationStarted = 1;
    port->Ind.State.AllowedMask = INDICATION_ALLOWED_ASSOCIATING;
}

NTSTATUS PlatformIndicateAssociationCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG callerCode)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_SUCCESS;
    }
    if (!Enter(port, INDICATION_ASSOCIATION_COMPLETION, callerCode, &port->Ind.State.AssociationStarted)) {
        return STATUS_SUCCESS;
    }
    NTSTATUS result = N6PlatformIndicateAssociationCompletion(adapter, port, status, callerCode);
    DialogueLock lock(port);
    port->Ind.State.Busy = 0;
    port->Ind.State.AssociationStarted = 0;
    port->Ind.State.AllowedMask = INDICATION_ALLOWED_ASSOCIATED;
    return result;
}

NTSTATUS PlatformIndicateConnectionCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG callerCode)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_SUCCESS;
    }
    {
        DialogueLock lock(port);
        if (!PassResetGate(port, INDICATION_CONNECTION_COMPLETION, callerCode)) {
            return STATUS_SUCCESS;
        }
        PORT_INDICATION_STATE& st = port->Ind.State;
        // A roam the roam task refused ends with a connection completion whatever the dialogue.
        const bool ordered = (st.AllowedMask & INDICATION_CONNECTION_COMPLETION) != 0 && st.Busy == 0 &&
                             st.ConnectionStarted == 1;
        if (!ordered && port->Ind.RefusedRoam == 0) {
            return STATUS_SUCCESS;
        }
        st.Busy = 1;
        WriteHistory(port, callerCode);
    }
    StopTimer(&port->Ind.ConnectionTimeoutTimer[0]);
    StopTimer(&port->Mlme.SaeTimeoutTimer);
    NTSTATUS result = N6PlatformIndicateConnectionCompletion(adapter, port, status, callerCode);
    if ((adapter->RegistryBlock.Hlk_feature_optional & HLK_FEATURE_COMPLETION_DELAY) != 0) {
        NdisCommonGenericDelay(2000);
    }
    adapter->Ind.ConnectionInProgress = 0;
    DialogueLock lock(port);
    port->Ind.State.Busy = 0;
    port->Ind.State.ConnectionStarted = 0;
    port->Ind.State.AllowedMask = INDICATION_ALLOWED_IDLE;
    return result;
}

void PlatformIndicateAPStatus(PMP_ADAPTER adapter, ULONG portIndex, ULONG statusCode, const void* record,
                              ULONG recordSize, ULONG callerCode)
{
    if (adapter == nullptr || portIndex >= MP_MAX_PORTS || adapter->PortList[portIndex] == nullptr) {
        return;
    }
    PMP_PORT port = adapter->PortList[portIndex];
    {
        DialogueLock lock(port);
        port->Ind.State.LastIndication = INDICATION_RESET;
        if (statusCode != NDIS_STATUS_DOT11_DISASSOCIATION) {
            return;
        }
        if (record == nullptr || recordSize < sizeof(DOT11_DISASSOCIATION_PARAMETERS)) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "access-point disassociation with a record of %u bytes",
                     static_cast<unsigned>(recordSize));
            return;
        }
        WriteHistory(port, callerCode);
    }
    DOT11_DISASSOCIATION_PARAMETERS params;
    std::memcpy(&params, record, sizeof(params));
    WdiEventIndicationDisassociation(adapter, port, params.MacAddr, params.uReason, callerCode);
}

// ================================================================================================
// forwarders
// ================================================================================================
void PlatformIndicateDot11Status(PMP_ADAPTER adapter, PMP_PORT port, ULONG status)
{
    N6PlatformIndicateDot11Status(adapter, port, status);
}

UCHAR PlatformIndicateLinkQuality(PMP_ADAPTER adapter, ULONG portIndex)
{
    return N6PlatformIndicateLinkQuality(adapter, portIndex);
}

void PlatformIndicateMICFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyKind, ULONG keyIndex)
{
    WdiEventIndicateMicFailure(adapter, port, peer, keyKind, keyIndex);
}

void PlatformIndicateNLODiscovery(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length, LONG rssi)
{
    WdiGeneratorEventIndicateNLODiscovery(adapter, port, frame, length, rssi);
}

UCHAR PlatformIndicateNewLinkSpeed(PMP_ADAPTER adapter, ULONG portIndex, ULONG ignored, UCHAR linkUp)
{
    UNREFERENCED_PARAMETER(ignored);
    return linkUp != 0 ? N6PlatformIndicateNewLinkSpeedLinkUp(adapter, portIndex)
                       : N6PlatformIndicatePeriodicLinkSpeed(adapter, portIndex);
}

void PlatformIndicateRoamingStart(PMP_PORT port)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "roaming start of port %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u);
}

// ================================================================================================
// transmit completion
// ================================================================================================
namespace {

BOOLEAN IsApPort(PMP_PORT port) { return static_cast<BOOLEAN>(port != nullptr && port->PortType == WFD_GO); }

// Marks the record's NetAdapterCx packet finished, drains and notifies; then frees the record.
void CompleteRecord(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    auto* q = static_cast<PQZCX_TXQUEUE>(record->TxQueueContext);
    auto* side = static_cast<PTX_PACKET_SIDE_INFO>(record->SideInfo);
    if (q != nullptr && side != nullptr) {
        KeAcquireSpinLock(&q->Lock, &q->OldIrql);
        if (q->SideInfo != nullptr) {
            side->Flags |= TX_SIDE_FINISHED;
            PlatformDrainPkts(adapter, record);
            if (InterlockedExchange(&q->NotificationEnabled, 0) == 1) {
                NetTxQueueNotifyMoreCompletedPacketsAvailable(static_cast<NETPACKETQUEUE>(record->TxQueue));
            }
        }
        KeReleaseSpinLock(&q->Lock, q->OldIrql);
    }
    TxDmaqFree(adapter, record);
}

// The OS buffer list of a record whose frame is done: a wrapped frame's list goes back at once, a
// list of the buffer-list send path when the last of its net buffers is done.
void ReleaseOsBufferList(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    auto* nbl = static_cast<PNET_BUFFER_LIST>(record->OsBufferList);
    if (nbl == nullptr) {
        return;
    }
    record->OsBufferList = nullptr;
    record->OsBuffer = nullptr;
    if (record->Origin == TX_DMAQ_ORIGIN_OS && N6XmitNblOutstandingRelease(nbl) != 0) {
        return;
    }
    N6PlatformIndicateXmitPktToNdis(adapter, nbl, 0, 0);
}

// A record taken off a queue by an abort: completed when it carries a NetAdapterCx packet, else
// returned to its pool.
void AbortRecord(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (record->SideInfo != nullptr) {
        PlatformIndicateXmitPktToNdis(adapter, record, STATUS_UNSUCCESSFUL);
    } else {
        TxDmaqFree(adapter, record);
    }
}

// Flushes the power-save queue of every in-use station of the port: all its frames, or those of
// one port or of one peer.
void FlushPortStations(PMP_ADAPTER adapter, PMP_PORT port, const USHORT* portIndex, const UCHAR* address)
{
    for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
        if (e->Valid == 0) {
            continue;
        }
        if (portIndex != nullptr) {
            APFlushPendingTxQueueByPort(adapter, e->WlanIdx, *portIndex);
        } else if (address != nullptr) {
            APFlushPendingTxQueueByPeer(adapter, e->WlanIdx, port->PortNumber, address);
        } else {
            APFlushPendingTxQueue(adapter, e->WlanIdx);
        }
    }
}

PMP_PORT PortOfIndex(PMP_ADAPTER adapter, USHORT portIndex)
{
    return portIndex < MP_MAX_PORTS ? adapter->PortList[portIndex] : nullptr;
}

}  // namespace

void PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(status);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of no record");
        return;
    }
    if (record->Origin == TX_DMAQ_ORIGIN_OS && record->OsBufferList != nullptr &&
        static_cast<PNET_BUFFER_LIST>(record->OsBufferList)->Context == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of record %u: buffer list without context word",
                 static_cast<unsigned>(record->RecordIndex));
        return;
    }
    ReleaseOsBufferList(adapter, record);
    CompleteRecord(adapter, record);
}

void PlatformIndicateXmitPktToNdisEx(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(status);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of no record");
        return;
    }
    ReleaseOsBufferList(adapter, record);
    CompleteRecord(adapter, record);
}

void PlatformIndicateXmitPktToNdisWhenSER(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(status);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of no record");
        return;
    }
    // The record's buffer list was parked on its port to be sent again: it is not handed back.
    record->OsBufferList = nullptr;
    record->OsBuffer = nullptr;
    CompleteRecord(adapter, record);
}

void PlatformDrainPkts(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (adapter == nullptr || record == nullptr || adapter->P2pBlock == nullptr ||
        (adapter->P2pBlock->Flags & P2P_FLAG_GO_RUNNING) == 0 || adapter->TxQueueStartedCount == 0 ||
        (adapter->Wdi.CntlBlock.PendingMessageId == 15 && adapter->Wdi.CntlBlock.RequestRecorded == 1)) {
        return;
    }
    for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
        PMP_PORT p = adapter->PortList[i];
        if (IsApPort(p) && p->WfdGoFlag != 0) {
            return;
        }
    }
    auto* q = static_cast<PQZCX_TXQUEUE>(record->TxQueueContext);
    if (q == nullptr || q->SideInfo == nullptr || q->Cancelled != 0 || q->Adapter != adapter ||
        q->RingCollection == nullptr) {
        return;
    }
    (void)TxQueueReturnFinished(q);
}

void PlatformCancelTxQueuePkts(NETPACKETQUEUE queue)
{
    PQZCX_TXQUEUE q = queue != nullptr ? QZCxGetTxQueueContext(queue) : nullptr;
    if (q == nullptr || q->RingCollection == nullptr || q->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit queue cancel: no context, rings or adapter");
        return;
    }
    KeAcquireSpinLock(&q->Lock, &q->OldIrql);
    TxQueueReturnAllOutstanding(q, TRUE);
    KeReleaseSpinLock(&q->Lock, q->OldIrql);
}

void PlatformIndicateTxAbortPendingPacketsByPort(PMP_ADAPTER adapter, USHORT portIndex)
{
    TxDoneWaitqStat(adapter);
    PMP_PORT port = PortOfIndex(adapter, portIndex);
    if (port == nullptr) {
        return;
    }
    for (UCHAR ac = 0; ac < TX_PROCQ_COUNT; ++ac) {
        while (PTX_DMAQ_DESC r = TxProcqDequeueByPort(adapter, ac, portIndex)) {
            AbortRecord(adapter, r);
        }
    }
    while (PTX_DMAQ_DESC r = TxDoneWaitqDequeueByPort(adapter, portIndex)) {
        AbortRecord(adapter, r);
    }
    while (PTX_DMAQ_DESC r = TxBmcPsqDequeueByPort(adapter, portIndex)) {
        AbortRecord(adapter, r);
    }
    FlushPortStations(adapter, port, &portIndex, nullptr);
    TxDoneWaitqStat(adapter);
    if (IsApPort(port) && port->TxGroupQueue != nullptr && port->WfdGoFlag != 0) {
        PlatformCancelTxQueuePkts(port->TxGroupQueue);
    }
}

void PlatformIndicateTxAbortPendingPacketsByPeerAddr(PMP_ADAPTER adapter, USHORT portIndex, const UCHAR* address)
{
    TxDoneWaitqStat(adapter);
    PMP_PORT port = PortOfIndex(adapter, portIndex);
    if (port == nullptr || address == nullptr) {
        return;
    }
    for (UCHAR ac = 0; ac < TX_PROCQ_COUNT; ++ac) {
        while (PTX_DMAQ_DESC r = TxProcqDequeueByPeerAddr(adapter, ac, address)) {
            AbortRecord(adapter, r);
        }
    }
    while (PTX_DMAQ_DESC r = TxDoneWaitqDequeueByPeerAddr(adapter, address)) {
        AbortRecord(adapter, r);
    }
    while (PTX_DMAQ_DESC r = TxBmcPsqDequeueByPeerAddr(adapter, portIndex, address)) {
        AbortRecord(adapter, r);
    }
    FlushPortStations(adapter, port, nullptr, address);
    TxDoneWaitqStat(adapter);
}

void PlatformIndicateRejectPendingPackets(PMP_ADAPTER adapter, UCHAR includeCommands)
{
    PMP_PORT port0 = PortOfIndex(adapter, 0);
    if (port0 == nullptr) {
        return;
    }
    // Every record that stands for a packet of the OS (a buffer list, or a NetAdapterCx packet with its
    // side record) is completed, so that no packet is left taken: a queue that runs on after a recovery
    // would otherwise stall behind it, and a device that goes away would keep it for ever.
    auto reject = [adapter](PTX_DMAQ_DESC r) {
        if (r->OsBufferList != nullptr || r->SideInfo != nullptr) {
            PlatformIndicateXmitPktToNdis(adapter, r, STATUS_UNSUCCESSFUL);
        } else {
            TxDmaqFree(adapter, r);
        }
    };
    for (UCHAR ac = 0; ac < TX_PROCQ_COUNT; ++ac) {
        while (PTX_DMAQ_DESC r = TxProcqDequeue(adapter, ac)) {
            reject(r);
        }
    }
    while (PTX_DMAQ_DESC r = TxDoneWaitqDequeue(adapter, TX_DONE_WAITQ_HEAD)) {
        reject(r);
    }
    if (includeCommands == 1) {
        while (PTX_DMAQ_DESC r = TxDWaitqDequeue(adapter, nullptr)) {
            reject(r);
        }
    }
    FlushPortStations(adapter, port0, nullptr, nullptr);
    // The group and station power-save queues of every port, not only port 0's.
    for (ULONG p = 0; p < TX_BMC_PSQ_COUNT; ++p) {
        while (PTX_DMAQ_DESC r = TxBmcPsqDequeue(adapter, p)) {
            reject(r);
        }
    }
    for (ULONG station = 0; station < TX_UC_PSQ_COUNT; ++station) {
        while (PTX_DMAQ_DESC r = TxUcPsqDequeue(adapter, station)) {
            reject(r);
        }
    }
}

// ================================================================================================
// receive hand-off
// ================================================================================================
namespace {

constexpr ULONG kEapolTypeOffset = 30;
constexpr ULONG kCertCheckMinLength = 500;
constexpr ULONG kCertBytes = 32;
constexpr ULONG kPeapCertOffset = 203;
constexpr ULONG kTailCertOffset = 36;
constexpr UCHAR kEapTypePeap = 25;

// "Hotspot 2.0 Intermediate CA" then the start of a TLS 1.2 handshake record, and " Hotspot 2.0
// Intermediate CA" then the encoding that follows a certificate issuer name.
constexpr UCHAR kFakeCaPattern1[kCertBytes] = {'H', 'o', 't', 's', 'p', 'o', 't', ' ', '2', '.', '0',
                                               ' ', 'I', 'n', 't', 'e', 'r', 'm', 'e', 'd', 'i', 'a',
                                               't', 'e', ' ', 'C', 'A', 0x16, 0x03, 0x03, 0x00, 0x04};
constexpr UCHAR kFakeCaPattern2[kCertBytes] = {' ', 'H', 'o', 't', 's', 'p', 'o', 't', ' ', '2', '.',
                                               '0', ' ', 'I', 'n', 't', 'e', 'r', 'm', 'e', 'd', 'i',
                                               'a', 't', 'e', ' ', 'C', 'A', 0x30, 0x1E, 0x17, 0x0D};

}  // namespace

void Check_For_CAFake_Cert(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record)
{
    UNREFERENCED_PARAMETER(port);
    if (adapter == nullptr || record == nullptr || record->Frame == nullptr) {
        return;
    }
    const PUCHAR f = record->Frame;
    const ULONG length = record->FrameLength;
    if (length <= 41) {
        return;
    }
    adapter->CertEapIdentifier = f[37];
    adapter->CertEapType = f[40];
    adapter->CertTlsLengthIncluded = static_cast<UCHAR>(f[41] & 0x80);
    adapter->CertTlsMoreFragments = static_cast<UCHAR>(f[41] & 0x40);
    // Both places are checked against the frame's length before they are read.
    ULONG at;
    if (adapter->CertEapType == kEapTypePeap) {
        at = kPeapCertOffset;
    } else if (length >= kTailCertOffset) {
        at = length - kTailCertOffset;
    } else {
        return;
    }
    if (at + kCertBytes > length) {
        return;
    }
    const PUCHAR c = f + at;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX,
             "Fake CA Cert: %02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X"
             "%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X",
             c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13], c[14], c[15],
             c[16], c[17], c[18], c[19], c[20], c[21], c[22], c[23], c[24], c[25], c[26], c[27], c[28], c[29], c[30],
             c[31]);
    if (PlatformEqualMemory(c, kFakeCaPattern1, kCertBytes) || PlatformEqualMemory(c, kFakeCaPattern2, kCertBytes)) {
        adapter->CertFakeCaSeen = 1;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "fake CA certificate seen");
    }
}

BOOLEAN NdisCommonReportEthFrameToLLC(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record,
                                      UCHAR userPriority, UCHAR apFlag, UCHAR immediate)
{
    return Ndis6CommonReportEthFrameToLLC(adapter, port, record, userPriority, apFlag, immediate);
}

BOOLEAN Ndis6CommonReportEthFrameToLLC(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record,
                                       UCHAR userPriority, UCHAR apFlag, UCHAR immediate)
{
    UNREFERENCED_PARAMETER(apFlag);
    UNREFERENCED_PARAMETER(immediate);
    if (adapter == nullptr || record == nullptr) {
        return FALSE;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "frame of %u bytes for the OS, priority %u",
             static_cast<unsigned>(record->FrameLength), static_cast<unsigned>(userPriority));
    if (record->Frame != nullptr && record->FrameLength >= kEapolTypeOffset + 2 &&
        record->Frame[kEapolTypeOffset] == 0x88 && record->Frame[kEapolTypeOffset + 1] == 0x8E) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "EAPOL frame received (%u bytes)",
                 static_cast<unsigned>(record->FrameLength));
        if (adapter->RegistryBlock.BlockEAPStart == 1 && record->FrameLength > kCertCheckMinLength) {
            Check_For_CAFake_Cert(adapter, port, record);
        }
    }
    if (port != nullptr && port->RxQueue != nullptr && QZCxRxEnqueu(adapter, port, record)) {
        return TRUE;
    }
    RxDmaqFree(adapter, record);
    return FALSE;
}

void PlatformIndicateRecvPktToNdis(PMP_ADAPTER adapter, PLIST_ENTRY chain, ULONG portIndex, ULONG count)
{
    N6PlatformIndicateRecvPktToNdis(adapter, chain, portIndex, count);
}

void N6PlatformIndicateRecvPktToNdis(PMP_ADAPTER adapter, PLIST_ENTRY chain, ULONG portIndex, ULONG count)
{
    if (adapter == nullptr || chain == nullptr) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "buffer-list indication of %u frames on port %u, at %s level",
             static_cast<unsigned>(count), static_cast<unsigned>(portIndex),
             KeGetCurrentIrql() > PASSIVE_LEVEL ? "dispatch" : "passive");
    // The receive-indication state is never enabled: every frame of the chain goes back.
    for (ULONG n = 0; n < count && !IsListEmpty(chain); ++n) {
        PLIST_ENTRY e = RemoveHeadList(chain);
        RxDmaqFree(adapter, CONTAINING_RECORD(e, RX_DMAQ_DESC, Links));
    }
}

void N6PlatformIndicateTxSendRestartToWdi(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    // No pause reason is ever stored, so there is nothing to restart.
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit restart: no pause to end");
}
