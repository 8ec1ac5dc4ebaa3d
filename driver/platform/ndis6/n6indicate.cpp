// Indications to the OS.
#include "platform/ndis6/n6indicate.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/wificx/rxqueue.h"
#include "platform/wificx/txqueue.h"

void PlatformIndicateDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG reason,
                                    ULONG sourceCode)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI,
             "PlatformIndicateDisassociation: port %u peer %02X:%02X:%02X:%02X:%02X:%02X reason %u source %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u, peer[0], peer[1], peer[2], peer[3],
             peer[4], peer[5], static_cast<unsigned>(reason), static_cast<unsigned>(sourceCode));
    (void)NOT_BUILT_YET();
}

void PlatformIndicateRoamingCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "roaming completion of port %u: status %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u, static_cast<unsigned>(status));
}

void PlatformIndicateCurrentRadioState(PMP_ADAPTER adapter, ULONG portNumber, LONG status)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(portNumber);
    UNREFERENCED_PARAMETER(status);
    (void)NOT_BUILT_YET();
}

void PlatformIndicateScanStatus(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG done, ULONG reason)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(status);
    UNREFERENCED_PARAMETER(done);
    UNREFERENCED_PARAMETER(reason);
    (void)NOT_BUILT_YET();
}

void N6PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PNET_BUFFER_LIST chain, ULONG reserved, ULONG flags)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(reserved);
    UNREFERENCED_PARAMETER(flags);
    if (chain == nullptr) {
        return;
    }
    if (chain->Context == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "send completion of a buffer list without context word");
        return;
    }
    (void)NOT_BUILT_YET();
}

void PlatformIndicateResetAllStatus(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
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

// Completes every frame held on the power-save queue of a station of the port (all of them, or
// those of one port or one peer).
void FlushStationPsQueue(PMP_ADAPTER adapter, ULONG stationIndex, const USHORT* portIndex, const UCHAR* address)
{
    for (;;) {
        PTX_DMAQ_DESC r = portIndex != nullptr ? TxUcPsqDequeueByPort(adapter, stationIndex, *portIndex)
                          : address != nullptr ? TxUcPsqDequeueByPeerAddr(adapter, stationIndex, address)
                                               : TxUcPsqDequeue(adapter, stationIndex);
        if (r == nullptr) {
            return;
        }
        PlatformIndicateXmitPktToNdis(adapter, r, STATUS_UNSUCCESSFUL);
    }
}

void FlushPortStations(PMP_ADAPTER adapter, PMP_PORT port, const USHORT* portIndex, const UCHAR* address)
{
    for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
        if (e->Valid != 0 && e->WlanIdx < TX_UC_PSQ_COUNT) {
            FlushStationPsQueue(adapter, e->WlanIdx, portIndex, address);
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
    CompleteRecord(adapter, record);
}

void PlatformIndicateXmitPktToNdisEx(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(status);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of no record");
        return;
    }
    CompleteRecord(adapter, record);
}

void PlatformIndicateXmitPktToNdisWhenSER(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    PlatformIndicateXmitPktToNdisEx(adapter, record, status);
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
    auto reject = [adapter](PTX_DMAQ_DESC r) {
        if (r->OsBufferList != nullptr) {
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
    while (PTX_DMAQ_DESC r = TxBmcPsqDequeue(adapter, 0)) {
        reject(r);
    }
    FlushPortStations(adapter, port0, nullptr, nullptr);
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
    UNREFERENCED_PARAMETER(userPriority);
    UNREFERENCED_PARAMETER(apFlag);
    UNREFERENCED_PARAMETER(immediate);
    if (adapter == nullptr || record == nullptr) {
        return FALSE;
    }
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
