// The NetAdapterCx receive queue.
#include "platform/wificx/rxqueue.h"

#include "platform/ndis6/n6xmit.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

namespace {

constexpr ULONG kWifiAdapterStation = 1;
constexpr ULONG kWifiAdapterAp = 2;
constexpr ULONG kMaxFragmentLength = (1u << 26) - 1;

PRX_RETURN_LIST ListOfType(PMP_ADAPTER adapter, ULONG type)
{
    return type == kWifiAdapterStation ? &adapter->RxReturnSta : type == kWifiAdapterAp ? &adapter->RxReturnAp : nullptr;
}

volatile LONG* NotifyFlagOfType(PMP_ADAPTER adapter, ULONG type)
{
    return type == kWifiAdapterStation ? &adapter->RxNotifySta : type == kWifiAdapterAp ? &adapter->RxNotifyAp : nullptr;
}

BOOLEAN QueryExtension(NETPACKETQUEUE queue, const char* name, NET_EXTENSION* extension)
{
    NET_EXTENSION_QUERY query;
    NET_EXTENSION_QUERY_INIT(&query, name, NET_EXTENSION_VERSION_1, NetExtensionTypeFragment);
    NetRxQueueGetExtension(queue, &query, extension);
    if (extension->Enabled == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive queue: extension \"%s\" missing", name);
        return FALSE;
    }
    return TRUE;
}

// Returns every waiting frame of the list: the receive record to its pool and the return record to
// the free list.
void DropWaiting(PMP_ADAPTER adapter, PRX_RETURN_LIST list)
{
    while (PLIST_ENTRY entry = ExInterlockedRemoveHeadList(&list->Head, &list->Lock)) {
        auto* r = CONTAINING_RECORD(entry, RX_RETURN_CONTEXT, Link);
        if (r->Descriptor != nullptr) {
            RxDmaqFree(adapter, r->Descriptor);
            r->Descriptor = nullptr;
        }
        ExInterlockedInsertTailList(&adapter->RxReturnFree.Head, &r->Link, &adapter->RxReturnFree.Lock);
    }
}

// The queue's port as the adapter holds it now (ports go away when the adapter powers down).
PMP_PORT PortOf(PQZCX_RXQUEUE q)
{
    if (q->Adapter == nullptr || q->Port == nullptr) {
        return nullptr;
    }
    for (PMP_PORT p : q->Adapter->PortList) {
        if (p == q->Port) {
            return p;
        }
    }
    q->Port = nullptr;
    return nullptr;
}

}  // namespace

NTSTATUS EvtAdapterCreateRxQueue(NETADAPTER netAdapter, NETRXQUEUE_INIT* rxQueueInit)
{
    NET_PACKET_QUEUE_CONFIG config;
    NET_PACKET_QUEUE_CONFIG_INIT(&config, EvtRxQueueAdvance, EvtRxQueueSetNotificationEnabled, EvtRxQueueCancel);
    config.EvtStart = EvtRxQueueStart;
    config.EvtStop = EvtRxQueueStop;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZCX_RXQUEUE);
    attributes.EvtDestroyCallback = EvtRxQueueDestroy;

    const ULONG queueId = NetRxQueueInitGetQueueId(rxQueueInit);
    NETPACKETQUEUE queue = nullptr;
    NTSTATUS status = NetRxQueueCreate(rxQueueInit, &attributes, &config, &queue);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "NetRxQueueCreate failed: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    q->QueueId = queueId;
    if (!QueryExtension(queue, NET_FRAGMENT_EXTENSION_LOGICAL_ADDRESS_NAME, &q->FragmentLaExtension) ||
        !QueryExtension(queue, NET_FRAGMENT_EXTENSION_VIRTUAL_ADDRESS_NAME, &q->FragmentVaExtension) ||
        !QueryExtension(queue, NET_FRAGMENT_EXTENSION_RETURN_CONTEXT_NAME, &q->ReturnContextExtension)) {
        return STATUS_UNSUCCESSFUL;
    }
    return QZRxQueueInitialize(netAdapter, queue);
}

NTSTATUS QZRxQueueInitialize(NETADAPTER netAdapter, NETPACKETQUEUE queue)
{
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    PMP_ADAPTER adapter = QZCxGetNetAdapterContext(netAdapter)->Adapter;
    q->NetAdapter = netAdapter;
    q->Adapter = adapter;
    const ULONG portId = WifiAdapterGetPortId(netAdapter);
    q->Port = portId < MP_MAX_PORTS ? adapter->PortList[portId] : nullptr;
    if (q->Port != nullptr) {
        q->Port->RxQueue = queue;
        q->Port->RxStopped = 0;
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "receive queue of port id %u: no port", static_cast<unsigned>(portId));
    }
    q->RingCollection = NetRxQueueGetRingCollection(queue);
    return STATUS_SUCCESS;
}

BOOLEAN QZCxRxEnqueu(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record)
{
    if (adapter == nullptr || port == nullptr || record == nullptr) {
        return FALSE;
    }
    PRX_RETURN_LIST list = ListOfType(adapter, port->WifiAdapterType);
    if (list == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "receive: port %u of adapter type %u has no receive list",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(port->WifiAdapterType));
        return FALSE;
    }
    PLIST_ENTRY entry = ExInterlockedRemoveHeadList(&adapter->RxReturnFree.Head, &adapter->RxReturnFree.Lock);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "receive: no free return record");
        return FALSE;
    }
    auto* r = CONTAINING_RECORD(entry, RX_RETURN_CONTEXT, Link);
    r->Adapter = adapter;
    r->PortNumber = port->PortNumber;
    r->FrameData = record->Frame;
    r->FrameLength = record->FrameLength;
    r->Descriptor = record;
    if (port->WifiAdapterType == kWifiAdapterStation) {
        N6RecvCheckSpecificFrame(adapter, record);
    }
    ExInterlockedInsertTailList(&list->Head, &r->Link, &list->Lock);
    return TRUE;
}

VOID QZCxRxNotify(PMP_ADAPTER adapter)
{
    for (ULONG type : {kWifiAdapterStation, kWifiAdapterAp}) {
        PRX_RETURN_LIST list = ListOfType(adapter, type);
        KIRQL irql;
        KeAcquireSpinLock(&list->Lock, &irql);
        const BOOLEAN empty = static_cast<BOOLEAN>(IsListEmpty(&list->Head));
        KeReleaseSpinLock(&list->Lock, irql);
        if (empty || InterlockedExchange(NotifyFlagOfType(adapter, type), 0) != 1) {
            continue;
        }
        for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
            PMP_PORT port = adapter->PortList[i];
            if (port != nullptr && port->WifiAdapterType == type) {
                if (port->RxQueue != nullptr && port->RxStopped == 0) {
                    NetRxQueueNotifyMoreReceivedPacketsAvailable(port->RxQueue);
                }
                break;
            }
        }
    }
}

void EvtRxQueueAdvance(NETPACKETQUEUE queue)
{
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    if (q == nullptr || q->Adapter == nullptr || q->RingCollection == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive advance: no queue context");
        return;
    }
    PMP_ADAPTER adapter = q->Adapter;
    NET_RING* pr = NetRingCollectionGetPacketRing(q->RingCollection);
    NET_RING* fr = NetRingCollectionGetFragmentRing(q->RingCollection);
    ULONG f = fr->BeginIndex;
    const ULONG e = fr->EndIndex;
    ULONG p = pr->BeginIndex;
    PMP_PORT port = PortOf(q);
    PRX_RETURN_LIST list = port != nullptr ? ListOfType(adapter, port->WifiAdapterType) : nullptr;
    // Both rings bound the loop: a packet and a fragment per frame.
    while (list != nullptr && f != e && p != pr->EndIndex) {
        PLIST_ENTRY entry = ExInterlockedRemoveHeadList(&list->Head, &list->Lock);
        if (entry == nullptr) {
            break;
        }
        auto* r = CONTAINING_RECORD(entry, RX_RETURN_CONTEXT, Link);
        const ULONG length = r->FrameLength <= kMaxFragmentLength ? r->FrameLength : 0;
        NET_FRAGMENT* fragment = NetRingGetFragmentAtIndex(fr, f);
        fragment->ValidLength = length;
        fragment->Capacity = length;
        fragment->Offset = 0;
        NET_PACKET* packet = NetRingGetPacketAtIndex(pr, p);
        packet->FragmentIndex = f;
        packet->FragmentCount = 1;
        packet->Layout = NET_PACKET_LAYOUT{};
        NetExtensionGetFragmentReturnContext(&q->ReturnContextExtension, f)->Handle =
            reinterpret_cast<NET_FRAGMENT_RETURN_CONTEXT_HANDLE>(r);
        NetExtensionGetFragmentVirtualAddress(&q->FragmentVaExtension, f)->VirtualAddress = r->FrameData;
        f = NetRingIncrementIndex(fr, f);
        p = NetRingIncrementIndex(pr, p);
    }
    fr->NextIndex = f;
    fr->BeginIndex = f;
    pr->NextIndex = p;
    pr->BeginIndex = p;
}

void EvtRxQueueSetNotificationEnabled(NETPACKETQUEUE queue, BOOLEAN enabled)
{
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    PMP_PORT port = q != nullptr ? PortOf(q) : nullptr;
    if (port == nullptr || port->RxQueue != queue) {
        return;
    }
    volatile LONG* flag = NotifyFlagOfType(q->Adapter, port->WifiAdapterType);
    if (flag != nullptr) {
        (void)InterlockedExchange(flag, enabled ? 1 : 0);
    }
    if (!enabled) {
        KeFlushQueuedDpcs();
    }
}

void EvtRxQueueCancel(NETPACKETQUEUE queue)
{
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    if (q == nullptr || q->RingCollection == nullptr) {
        return;
    }
    NET_RING* pr = NetRingCollectionGetPacketRing(q->RingCollection);
    NET_RING* fr = NetRingCollectionGetFragmentRing(q->RingCollection);
    for (ULONG i = pr->BeginIndex; i != pr->EndIndex; i = NetRingIncrementIndex(pr, i)) {
        NetRingGetPacketAtIndex(pr, i)->Flags |= NET_PACKET_FLAG_IGNORE;
    }
    pr->BeginIndex = pr->EndIndex;
    pr->NextIndex = pr->EndIndex;
    fr->BeginIndex = fr->EndIndex;
    fr->NextIndex = fr->EndIndex;
}

void EvtRxQueueStart(NETPACKETQUEUE queue)
{
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    PMP_PORT port = q != nullptr ? PortOf(q) : nullptr;
    if (port != nullptr) {
        port->RxStopped = 0;
    }
}

void EvtRxQueueStop(NETPACKETQUEUE queue)
{
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    PMP_PORT port = q != nullptr ? PortOf(q) : nullptr;
    if (port != nullptr) {
        port->RxStopped = 1;
    }
}

void EvtRxQueueDestroy(WDFOBJECT object)
{
    auto queue = reinterpret_cast<NETPACKETQUEUE>(object);
    PQZCX_RXQUEUE q = QZCxGetRxQueueContext(queue);
    if (q == nullptr || q->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive queue destroy: no context or adapter");
        return;
    }
    PMP_ADAPTER adapter = q->Adapter;
    for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
        PMP_PORT port = adapter->PortList[i];
        if (port != nullptr && port->RxQueue == queue) {
            port->RxQueue = nullptr;
        }
    }
    // Waiting frames are dropped; their return records go back to the free list so that the set
    // keeps its size for the next queue.
    DropWaiting(adapter, &adapter->RxReturnSta);
    DropWaiting(adapter, &adapter->RxReturnAp);
    if (q->Extra != nullptr) {
        WdfObjectDelete(q->Extra);
        q->Extra = nullptr;
    }
}
