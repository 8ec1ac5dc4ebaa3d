// The NetAdapterCx transmit queue.
#include "platform/wificx/txqueue.h"

#include "Common/common.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "hal/common/hal_chip.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"
#include "platform/wificx/wificxtx.h"

namespace {

constexpr UCHAR kAcOfPriority[8] = {1, 0, 0, 1, 2, 2, 3, 3};
constexpr ULONG kMaxFragmentsPerPacket = 2;
constexpr ULONG kScatterHalvingFloor = 4097;
constexpr UCHAR kBandwidth320 = 7;
constexpr UCHAR kAspmControlBatteryLife = 2;
constexpr UCHAR kPacketSkip = NET_PACKET_FLAG_IGNORE | NET_PACKET_FLAG_SCRATCH;

ULONG PortIndexOf(PQZCX_TXQUEUE q) { return q->PortId < MP_MAX_PORTS ? q->PortId : 0; }

// The queue's port as the adapter holds it now (ports go away when the adapter powers down, while
// the OS may keep the queue a little longer); refreshed in the context. The caller holds the queue's
// lock: the transmit-queue thread and the completion paths read the context's port under it.
PMP_PORT RefreshPort(PQZCX_TXQUEUE q)
{
    q->Port = (q->Adapter != nullptr && q->PortId < MP_MAX_PORTS) ? q->Adapter->PortList[q->PortId] : nullptr;
    return q->Port;
}

// The same, taking the queue's lock for it.
PMP_PORT LockedRefreshPort(PQZCX_TXQUEUE q)
{
    KIRQL irql;
    KeAcquireSpinLock(&q->Lock, &irql);
    PMP_PORT port = RefreshPort(q);
    KeReleaseSpinLock(&q->Lock, irql);
    return port;
}

BOOLEAN IsApPort(PMP_PORT port) { return static_cast<BOOLEAN>(port != nullptr && port->PortType == WFD_GO); }

ULONG64 SystemTimeNow()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

// Queries one extension; false (traced with the name) when the queue does not offer it.
BOOLEAN QueryExtension(NETPACKETQUEUE queue, const char* name, NET_EXTENSION_TYPE type, NET_EXTENSION* extension)
{
    NET_EXTENSION_QUERY query;
    NET_EXTENSION_QUERY_INIT(&query, name, NET_EXTENSION_VERSION_1, type);
    NetTxQueueGetExtension(queue, &query, extension);
    if (extension->Enabled == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit queue: extension \"%s\" missing", name);
        return FALSE;
    }
    return TRUE;
}

// Ring 1 takes background and video, ring 0 the rest.
ULONG RingOfAc(UCHAR ac) { return (ac == 0 || ac == 2) ? PCI_TX_RING_DATA1 : PCI_TX_RING_DATA0; }

// The scatter entry of a fragment: the entry whose index is the fragment index modulo the entry
// count, so that the ring submission finds a packet's entries from its first fragment index.
PTX_SG_ENTRY ScatterEntryOf(PQZCX_TXQUEUE q, ULONG fragmentIndex)
{
    return &q->ScatterVa[fragmentIndex % q->ScatterEntryCount];
}

// A packet the hard transmit did not send: it returns to the OS with the next sweep and its record
// to its pool. The caller holds the queue's lock.
void FinishRefused(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    auto* side = static_cast<PTX_PACKET_SIDE_INFO>(record->SideInfo);
    if (side != nullptr) {
        side->Flags |= TX_SIDE_FINISHED;
    }
    TxDmaqFree(adapter, record);
}

// TRUE when the packet at BeginIndex is ready to go back to the OS (finished, or passed over).
BOOLEAN FirstOutstandingIsFinished(PQZCX_TXQUEUE q, const NET_RING* pr)
{
    const ULONG begin = pr->BeginIndex;
    if (begin == pr->NextIndex || q->SideInfo == nullptr) {
        return FALSE;
    }
    const NET_PACKET* packet = NetRingGetPacketAtIndex(pr, begin);
    return static_cast<BOOLEAN>((packet->Flags & kPacketSkip) != 0 || (q->SideInfo[begin].Flags & TX_SIDE_FINISHED) != 0);
}

// The body of the advance; `direct` is the NetAdapterCx callback (which may hand the work to the
// transmit-queue thread), otherwise the thread's deferred advance.
void Advance(NETPACKETQUEUE queue, BOOLEAN direct)
{
    PQZCX_TXQUEUE q = queue != nullptr ? QZCxGetTxQueueContext(queue) : nullptr;
    if (q == nullptr || q->Adapter == nullptr || q->RingCollection == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit advance: no queue context");
        return;
    }
    PMP_ADAPTER adapter = q->Adapter;
    const UCHAR lowPower = adapter->LowPower.LowPowerMode;
    if (lowPower) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    KeAcquireSpinLock(&q->Lock, &q->OldIrql);
    PMP_PORT port = RefreshPort(q);
    if (port == nullptr) {
        KeReleaseSpinLock(&q->Lock, q->OldIrql);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit advance: queue of port id %u has no port",
                 static_cast<unsigned>(q->PortId));
        if (lowPower) {
            (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        }
        return;
    }
    NET_RING* pr = NetRingCollectionGetPacketRing(q->RingCollection);
    NET_RING* fr = NetRingCollectionGetFragmentRing(q->RingCollection);
    // The OS moves EndIndex and reads BeginIndex only around its own calls into the queue. The
    // transmit-queue thread therefore works up to the EndIndex the hand-over saw, and leaves
    // BeginIndex (the return of packets) to the next advance the OS makes.
    ULONG next = pr->NextIndex;
    ULONG end = pr->EndIndex;
    if (!direct) {
        end = q->DeferredEndIndex;
        // An advance of the OS may have sent past the hand-over's end already.
        const ULONG begin = pr->BeginIndex;
        if (((next - begin) & pr->ElementIndexMask) > ((end - begin) & pr->ElementIndexMask)) {
            end = next;
        }
    }
    const BOOLEAN waiting = static_cast<BOOLEAN>(next != end);
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;

    if (!lowPower && reg.LowPowerEnable != 0 && waiting) {
        (void)HalCallOptional(adapter->HalOps.PcieDynamicL1, adapter, FALSE);
    }
    if (reg.BatteryLifeImprove != 0 && lowPower && waiting) {
        (void)HalCallOptional(adapter->HalOps.PcieAspmCtl, adapter, kAspmControlBatteryLife);
    }

    NTSTATUS ready = XmitCheckHWReadyToSend(adapter, port);
    if (q->Cancelled != 0) {
        ready = STATUS_UNSUCCESSFUL;  // after a cancel an advance only sweeps
    }
    if (ready != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit advance: port %u not ready (0x%08X)",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(ready));
    } else {
        // Ring choice.
        ULONG ring;
        if (port->TxAcBestEffortOnly[q->AccessCategory % 5] != 0) {
            q->UserPriority = 0;
            q->AccessCategory = 1;
        }
        if (direct) {
            ring = RingOfAc(q->AccessCategory);
        } else if (adapter->MccActive != 0) {
            ring = (port->PortType == WFD_CLIENT || q->AccessCategory == 4) ? PCI_TX_RING_DATA1 : PCI_TX_RING_DATA0;
        } else {
            ring = RingOfAc(q->AccessCategory);
        }
        // Budget: a station port may fill only the free descriptors of its ring.
        BOOLEAN budgeted = static_cast<BOOLEAN>(port->PortType == EXTSTA);
        ULONG budget = 0;
        BOOLEAN go = TRUE;
        if (budgeted) {
            budget = NdisCommonHifPciUpdateTxRingIdx(adapter->HifContext, static_cast<UCHAR>(ring));
            if (budget == 0) {
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit advance: ring %u full", static_cast<unsigned>(ring));
                go = FALSE;
            }
        }
        // Hand-over of a large burst on a 320 MHz port.
        const ULONG pending = (end - next) & pr->ElementIndexMask;
        if (go && direct && pending >= reg.TxDirectThreshold && port->Channel.Bandwidth == kBandwidth320) {
            PTXQ_NET_BUFFER deferred = QzGetTXQNetBuffer(adapter);
            if (deferred != nullptr) {
                q->DeferredEndIndex = end;
                KeReleaseSpinLock(&q->Lock, q->OldIrql);
                deferred->TxQueue = queue;
                QzEnqueueTXQNetBuffer(adapter, deferred);
                if (lowPower) {
                    (void)NdisCommonHifPmSetFwOwn(adapter, 0);
                }
                return;
            }
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit advance: no deferred-advance record");
            PlatformSignalThread(&adapter->TxNetQueueThread);
        }
        const ULONG fragLimit = reg.OptimizeFragIndLimitEn != 0 ? port->TxFragRingLimit : adapter->TxFragRingLimit;
        const ULONG64 now = next != end ? SystemTimeNow() : 0;  // one clock read per advance
        while (go && next != end) {
            NET_PACKET* packet = NetRingGetPacketAtIndex(pr, next);
            if ((packet->Flags & kPacketSkip) == 0 && packet->FragmentCount > kMaxFragmentsPerPacket) {
                // More fragments than a transmit packet table carries: it goes back to the OS unsent
                // so that the packets behind it are not held up.
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "packet %u of %u fragments not sent", static_cast<unsigned>(next),
                         static_cast<unsigned>(packet->FragmentCount));
                packet->Flags |= NET_PACKET_FLAG_SCRATCH;
            }
            if ((packet->Flags & kPacketSkip) != 0) {
                next = NetRingIncrementIndex(pr, next);
                continue;
            }
            if (packet->FragmentCount == 0 || packet->FragmentIndex > fragLimit) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "packet %u: fragment index %u over the limit %u",
                         static_cast<unsigned>(next), static_cast<unsigned>(packet->FragmentIndex),
                         static_cast<unsigned>(fragLimit));
                break;
            }
            const ULONG firstFragment = packet->FragmentIndex & fr->ElementIndexMask;
            // Scatter entries are indexed by fragment: the fragments not yet returned must fit.
            const ULONG outstanding = ((firstFragment - fr->BeginIndex) & fr->ElementIndexMask) + packet->FragmentCount;
            if (outstanding > q->ScatterEntryCount) {
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit advance: scatter entries all in use");
                break;
            }
            PTX_PACKET_SIDE_INFO side = &q->SideInfo[next];
            side->PacketIndex = next;
            side->FirstFragmentIndex = firstFragment;
            side->FragmentsProcessed = 0;
            side->Flags = TX_SIDE_TAKEN;
            side->PortId = q->PortId;
            PTX_DMAQ_DESC record = TxDmaqAlloc(adapter, 0);
            if (record == nullptr) {
                side->Flags = 0;
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit advance: no transmit record");
                break;
            }
            record->SideInfo = side;
            record->UserPriority = q->UserPriority;
            record->AccessCategory = q->AccessCategory;
            record->PacketIndex = next;
            record->TxQueue = queue;
            record->TxQueueContext = q;
            record->Origin = TX_DMAQ_ORIGIN_OS;
            record->DataClass = 1;
            record->Port = port;
            record->FrameLength = 0;
            record->MoreFollow = static_cast<UCHAR>(NetRingIncrementIndex(pr, next) != end);
            BOOLEAN refused = FALSE;
            ULONG lastFragment = firstFragment;
            for (ULONG j = 0; j < packet->FragmentCount; ++j) {
                const ULONG fi = (firstFragment + j) & fr->ElementIndexMask;
                const NET_FRAGMENT* fragment = NetRingGetFragmentAtIndex(fr, fi);
                PTX_SG_ENTRY sg = ScatterEntryOf(q, fi);
                const ULONG entryIndex = fi % q->ScatterEntryCount;
                USHORT flags = 0;
                if (entryIndex == q->ScatterEntryCount - 1) {
                    flags |= TX_SG_LAST_ENTRY;
                }
                if (j == 0) {
                    flags |= TX_SG_FIRST_OF_PACKET;
                }
                if (j + 1 == packet->FragmentCount) {
                    flags |= TX_SG_LAST_OF_PACKET;
                }
                sg->Flags = flags;
                sg->Unused = 0;
                sg->LogicalAddress = NetExtensionGetFragmentLogicalAddress(&q->FragmentLaExtension, fi)->LogicalAddress +
                                     fragment->Offset;
                sg->Length = static_cast<ULONG>(fragment->ValidLength);
                sg->VirtualAddress =
                    reinterpret_cast<ULONG64>(NetExtensionGetFragmentVirtualAddress(&q->FragmentVaExtension, fi)->VirtualAddress) +
                    fragment->Offset;
                record->FrameLength += sg->Length;
                if (j == 0) {
                    record->Frame = reinterpret_cast<PUCHAR>(sg->VirtualAddress);
                    record->FirstBufferData = record->Frame;
                    record->FirstBufferLength = sg->Length;
                    if (IsApPort(port) && (q->AccessCategory == 0 || q->AccessCategory == 2)) {
                        ring = PCI_TX_RING_DATA1;
                    }
                    if (!direct && !IsApPort(port) && port->PortType != WFD_CLIENT) {
                        // The deferred advance chooses by the frame's receiver.
                        const BOOLEAN toDs = static_cast<BOOLEAN>(sg->Length >= 2 && (record->Frame[1] & 0x01) != 0);
                        const ULONG da = toDs ? 16 : 4;
                        const BOOLEAN group = static_cast<BOOLEAN>(sg->Length > da && (record->Frame[da] & 0x01) != 0);
                        const BOOLEAN byAc = static_cast<BOOLEAN>(q->AccessCategory == 0 || q->AccessCategory == 2);
                        const BOOLEAN byMcc = adapter->MccActive != 0 ? static_cast<BOOLEAN>(IsApPort(port))
                                                                    : static_cast<BOOLEAN>(q->AccessCategory == 4);
                        if (!group && (byMcc || byAc)) {
                            ring = PCI_TX_RING_DATA1;
                        }
                    }
                    if (port->PortType == WFD_GO || port->PortType == WFD_CLIENT) {
                        budgeted = TRUE;
                        budget = NdisCommonHifPciUpdateTxRingIdx(adapter->HifContext, static_cast<UCHAR>(ring));
                        if (budget == 0) {
                            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit advance: ring %u full",
                                     static_cast<unsigned>(ring));
                            refused = TRUE;
                            break;
                        }
                    }
                }
                q->ScatterCursor = (entryIndex + 1) % q->ScatterEntryCount;
                ++side->FragmentsProcessed;
                lastFragment = fi;
            }
            if (refused) {
                side->Flags = 0;
                TxDmaqFree(adapter, record);
                break;
            }
            fr->NextIndex = NetRingIncrementIndex(fr, lastFragment);
            adapter->LastTxTime = now;
            const NTSTATUS classified = XmitSendPacket(adapter, record);
            NTSTATUS sent;
            if (classified == STATUS_PENDING) {
                // Held for a sleeping station: the access-point code sends it when the station wakes.
                sent = STATUS_SUCCESS;
            } else if (classified != STATUS_SUCCESS && XmitIsApOpMode(port)) {
                sent = classified;  // the access-point send step refused it
            } else {
                sent = record->ApMark == TX_DMAQ_AP_MARK_AP ? QZCxHifPciApXmitHardTransmit(adapter->HifContext, record, ring)
                                                           : QZCxHifPciXmitHardTransmit(adapter->HifContext, record, ring);
            }
            if (sent == STATUS_INSUFFICIENT_RESOURCES) {
                // The ring filled up: the packet stays at NextIndex for the next advance.
                side->Flags = 0;
                side->FragmentsProcessed = 0;
                TxDmaqFree(adapter, record);
                fr->NextIndex = firstFragment;
                break;
            }
            if (sent != STATUS_SUCCESS) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "packet %u not sent (0x%08X)", static_cast<unsigned>(next),
                         static_cast<unsigned>(sent));
                FinishRefused(adapter, record);
            }
            next = NetRingIncrementIndex(pr, next);
            if (budgeted && --budget == 0) {
                break;
            }
        }
        pr->NextIndex = next;
    }
    if (direct) {
        (void)TxQueueReturnFinished(q);
    } else if (FirstOutstandingIsFinished(q, pr) && InterlockedExchange(&q->NotificationEnabled, 0) == 1) {
        // Packets the thread could not send are finished: the OS's next advance returns them.
        NetTxQueueNotifyMoreCompletedPacketsAvailable(queue);
    }
    KeReleaseSpinLock(&q->Lock, q->OldIrql);
    if (lowPower) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
}

// The adapter's table entry of the queue; null when it has none. The caller holds the table lock.
PTX_QUEUE_TABLE_ENTRY TableEntryOf(PMP_ADAPTER adapter, NETPACKETQUEUE queue)
{
    for (TX_QUEUE_TABLE_ENTRY& e : adapter->TxQueueTable) {
        if (e.InUse != 0 && e.Queue == queue) {
            return &e;
        }
    }
    return nullptr;
}

}  // namespace

UCHAR TxQueueAcOfPriority(UCHAR userPriority) { return kAcOfPriority[userPriority & 7]; }

BOOLEAN TxQueueReturnFinished(PQZCX_TXQUEUE q)
{
    PMP_ADAPTER adapter = q->Adapter;
    if (adapter == nullptr || q->RingCollection == nullptr || q->SideInfo == nullptr) {
        return FALSE;
    }
    NET_RING* pr = NetRingCollectionGetPacketRing(q->RingCollection);
    NET_RING* fr = NetRingCollectionGetFragmentRing(q->RingCollection);
    const ULONG portIndex = PortIndexOf(q);
    TX_PORT_PROGRESS& progress = adapter->TxProgress[portIndex];
    TX_PORT_WATCH& watch = adapter->TxWatch[portIndex];
    const BOOLEAN apPort = IsApPort(RefreshPort(q));
    ULONG begin = pr->BeginIndex;
    ULONG fragmentBegin = fr->BeginIndex;
    BOOLEAN returned = FALSE;
    while (begin != pr->NextIndex) {
        const NET_PACKET* packet = NetRingGetPacketAtIndex(pr, begin);
        PTX_PACKET_SIDE_INFO side = &q->SideInfo[begin];
        const BOOLEAN skipped = static_cast<BOOLEAN>((packet->Flags & kPacketSkip) != 0);
        if (!skipped && (side->Flags & TX_SIDE_FINISHED) == 0) {
            progress.Stalled = 1;
            break;
        }
        if (begin == watch.WatchIndex) {
            watch.Watching = 1;
            watch.WatchIndex = pr->EndIndex;
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit watch of port %u moves to %u",
                     static_cast<unsigned>(portIndex), static_cast<unsigned>(watch.WatchIndex));
        }
        if (skipped) {
            // Its fragments go back with it.
            fragmentBegin = (packet->FragmentIndex + packet->FragmentCount) & fr->ElementIndexMask;
        } else {
            fragmentBegin = (side->FirstFragmentIndex + side->FragmentsProcessed) % fr->NumberOfElements;
            side->Flags = 0;
        }
        begin = NetRingIncrementIndex(pr, begin);
        (void)InterlockedDecrement(&q->InFlight);
        if (apPort) {
            (void)InterlockedDecrement(&adapter->ApTxInFlight);
        }
        progress.Stalled = 0;
        progress.StallTicks = 0;
        returned = TRUE;
        if (begin == pr->EndIndex) {
            watch.Watching = 0;
        }
    }
    pr->BeginIndex = begin;
    if (returned) {
        fr->BeginIndex = fragmentBegin;
    }
    return returned;
}

NTSTATUS EvtAdapterCreateTxQueue(NETADAPTER netAdapter, NETTXQUEUE_INIT* txQueueInit)
{
    NET_PACKET_QUEUE_CONFIG config;
    NET_PACKET_QUEUE_CONFIG_INIT(&config, EvtTxQueueAdvance, EvtTxQueueSetNotificationEnabled, EvtTxQueueCancel);
    config.EvtStart = EvtTxQueueStart;
    config.EvtStop = EvtTxQueueStop;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZCX_TXQUEUE);
    attributes.EvtDestroyCallback = EvtTxQueueDestroy;

    const ULONG queueId = NetTxQueueInitGetQueueId(txQueueInit);
    const ULONG portId = WifiAdapterGetPortId(netAdapter);
    NETPACKETQUEUE queue = nullptr;
    NTSTATUS status = NetTxQueueCreate(txQueueInit, &attributes, &config, &queue);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "NetTxQueueCreate failed: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
    q->QueueId = queueId;
    q->PortId = portId;
    KeInitializeSpinLock(&q->Lock);
    if (!QueryExtension(queue, NET_FRAGMENT_EXTENSION_VIRTUAL_ADDRESS_NAME, NetExtensionTypeFragment,
                        &q->FragmentVaExtension) ||
        !QueryExtension(queue, NET_FRAGMENT_EXTENSION_LOGICAL_ADDRESS_NAME, NetExtensionTypeFragment,
                        &q->FragmentLaExtension) ||
        !QueryExtension(queue, NET_PACKET_EXTENSION_WIFI_EXEMPTION_ACTION_NAME, NetExtensionTypePacket,
                        &q->ExemptionExtension)) {
        return STATUS_UNSUCCESSFUL;
    }
    return QZCxTxQueueInitialize(netAdapter, queue);
}

NTSTATUS QZCxTxQueueInitialize(NETADAPTER netAdapter, NETPACKETQUEUE queue)
{
    PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
    PMP_ADAPTER adapter = QZCxGetNetAdapterContext(netAdapter)->Adapter;
    q->NetAdapter = netAdapter;
    q->Adapter = adapter;
    q->RingCollection = NetTxQueueGetRingCollection(queue);
    adapter->CurrentTxQueue = queue;
    adapter->CurrentTxQueueContext = q;
    q->Port = q->PortId < MP_MAX_PORTS ? adapter->PortList[q->PortId] : nullptr;

    const NET_RING* pr = NetRingCollectionGetPacketRing(q->RingCollection);
    const NET_RING* fr = NetRingCollectionGetFragmentRing(q->RingCollection);
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = queue;
    PVOID side = nullptr;
    NTSTATUS status = WdfMemoryCreate(&attributes, NonPagedPoolNx, TAG_ZVCx,
                                      static_cast<size_t>(pr->NumberOfElements) * sizeof(TX_PACKET_SIDE_INFO),
                                      &q->SideMemory, &side);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit queue: no side memory (0x%08X)", static_cast<unsigned>(status));
        q->SideMemory = nullptr;
        return status;
    }
    q->SideInfo = static_cast<PTX_PACKET_SIDE_INFO>(side);
    PlatformZeroMemory(q->SideInfo, pr->NumberOfElements * static_cast<ULONG>(sizeof(TX_PACKET_SIDE_INFO)));

    q->ScatterEntryCount = fr->NumberOfElements;
    for (;;) {
        WDF_OBJECT_ATTRIBUTES bufferAttributes;
        WDF_OBJECT_ATTRIBUTES_INIT(&bufferAttributes);
        bufferAttributes.ParentObject = queue;
        status = WdfCommonBufferCreate(adapter->DmaEnabler, static_cast<size_t>(q->ScatterEntryCount) * sizeof(TX_SG_ENTRY),
                                       &bufferAttributes, &q->ScatterBuffer);
        if (status == STATUS_INSUFFICIENT_RESOURCES && q->ScatterEntryCount >= kScatterHalvingFloor) {
            q->ScatterEntryCount /= 2;
            continue;
        }
        break;
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit queue: no scatter buffer of %u entries (0x%08X)",
                 static_cast<unsigned>(q->ScatterEntryCount), static_cast<unsigned>(status));
        q->ScatterBuffer = nullptr;
        return status;
    }
    q->ScatterVa = static_cast<PTX_SG_ENTRY>(WdfCommonBufferGetAlignedVirtualAddress(q->ScatterBuffer));
    q->ScatterSize = q->ScatterEntryCount * static_cast<ULONG>(sizeof(TX_SG_ENTRY));
    if (q->Port != nullptr) {
        adapter->TxProgress[PortIndexOf(q)].Stalled = 0;
        adapter->TxProgress[PortIndexOf(q)].StallTicks = 0;
    }
    return STATUS_SUCCESS;
}

void EvtTxQueueStart(NETPACKETQUEUE queue)
{
    PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
    PMP_PORT port = q != nullptr && q->Adapter != nullptr ? LockedRefreshPort(q) : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit queue start: no context, adapter or port");
        return;
    }
    PMP_ADAPTER adapter = q->Adapter;
    q->UserPriority = static_cast<UCHAR>(WifiTxQueueGetDemuxWmmInfo(queue) & 7);
    q->AccessCategory = TxQueueAcOfPriority(q->UserPriority);
    q->Cancelled = 0;
    TX_PORT_WATCH& watch = adapter->TxWatch[PortIndexOf(q)];
    watch.Watching = 0;
    watch.WatchIndex = 0;
    watch.LastSeen = 0;
    const WIFI_TXQUEUE_PEER_ADDRESS peer = WifiTxQueueGetDemuxPeerAddress(queue);
    PlatformMoveMemory(q->PeerAddress, peer.Address, sizeof(q->PeerAddress));
    if (port->PortType == WFD_GO && port->WfdGoFlag == 0 && q->AccessCategory == 2) {
        port->TxVideoQueue = queue;
        port->TxVideoQueueContext = q;
    }

    KIRQL irql;
    KeAcquireSpinLock(&adapter->TxQueueTableLock, &irql);
    PTX_QUEUE_TABLE_ENTRY entry = TableEntryOf(adapter, queue);
    if (entry == nullptr) {
        for (TX_QUEUE_TABLE_ENTRY& e : adapter->TxQueueTable) {
            if (e.InUse == 0) {
                entry = &e;
                ++adapter->TxQueueStartedCount;
                break;
            }
        }
    }
    if (entry != nullptr) {
        entry->InUse = 1;
        entry->Cancelled = 0;
        entry->Queue = queue;
        entry->GroupQueue = 0;
        entry->AccessCategory = q->AccessCategory;
        entry->PortId = q->PortId;
        entry->Context = q;
        q->Station = MlmeSyncMacTabMatchedBssidOnly(port, q->PeerAddress);
        entry->Station = q->Station;
        static constexpr UCHAR kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        if (PlatformEqualMemory(q->PeerAddress, kBroadcast, 6) && port->PortType == WFD_GO) {
            port->TxGroupQueue = queue;
            entry->GroupQueue = 1;
        }
    }
    KeReleaseSpinLock(&adapter->TxQueueTableLock, irql);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit queue table full: queue runs unregistered");
    }

    if (q->ScatterVa != nullptr) {
        PlatformZeroMemory(q->ScatterVa, q->ScatterSize);
    }
    q->ScatterCursor = 0;
    if (adapter->TxQueueLock != nullptr) {
        WdfSpinLockAcquire(adapter->TxQueueLock);
        WdfSpinLockRelease(adapter->TxQueueLock);
    }
}

void EvtTxQueueStop(NETPACKETQUEUE queue)
{
    PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
    PMP_PORT port = q != nullptr && q->Adapter != nullptr ? LockedRefreshPort(q) : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit queue stop: no context, adapter or port");
        return;
    }
    q->Adapter->TxWatch[PortIndexOf(q)].Watching = 0;
    PlatformIndicateTxAbortPendingPacketsByPort(q->Adapter, static_cast<USHORT>(port->PortNumber));
}

void EvtTxQueueCancel(NETPACKETQUEUE queue)
{
    PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
    if (q == nullptr || q->Adapter == nullptr || q->RingCollection == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit queue cancel: no context");
        return;
    }
    KeAcquireSpinLock(&q->Lock, &q->OldIrql);
    q->Cancelled = 1;
    KeAcquireSpinLockAtDpcLevel(&q->Adapter->TxQueueTableLock);
    PTX_QUEUE_TABLE_ENTRY entry = TableEntryOf(q->Adapter, queue);
    if (entry != nullptr) {
        entry->Cancelled = 1;
    }
    KeReleaseSpinLockFromDpcLevel(&q->Adapter->TxQueueTableLock);
    TxQueueReturnAllOutstanding(q, FALSE);
    KeReleaseSpinLock(&q->Lock, q->OldIrql);
}

VOID TxQueueReturnAllOutstanding(PQZCX_TXQUEUE q, BOOLEAN countInFlight)
{
    NET_RING* pr = NetRingCollectionGetPacketRing(q->RingCollection);
    NET_RING* fr = NetRingCollectionGetFragmentRing(q->RingCollection);
    const BOOLEAN apPort = static_cast<BOOLEAN>(countInFlight && IsApPort(RefreshPort(q)));
    for (ULONG i = pr->BeginIndex; i != pr->EndIndex; i = NetRingIncrementIndex(pr, i)) {
        NetRingGetPacketAtIndex(pr, i)->Flags |= NET_PACKET_FLAG_SCRATCH;
        if (countInFlight) {
            (void)InterlockedDecrement(&q->InFlight);
        }
        if (apPort) {
            (void)InterlockedDecrement(&q->Adapter->ApTxInFlight);
        }
    }
    pr->BeginIndex = pr->EndIndex;
    pr->NextIndex = pr->EndIndex;
    fr->BeginIndex = fr->EndIndex;
    fr->NextIndex = fr->EndIndex;
}

void EvtTxQueueDestroy(WDFOBJECT object)
{
    auto queue = reinterpret_cast<NETPACKETQUEUE>(object);
    PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
    if (q == nullptr || q->Adapter == nullptr) {
        return;
    }
    PMP_ADAPTER adapter = q->Adapter;
    KeAcquireSpinLock(&q->Lock, &q->OldIrql);
    (void)RefreshPort(q);
    if (q->SideMemory != nullptr) {
        if (q->Port != nullptr && q->Port->TxGroupQueue == queue) {
            q->Port->TxGroupQueue = nullptr;
        }
        if (q->Port != nullptr && q->Port->TxVideoQueue == queue) {
            q->Port->TxVideoQueue = nullptr;
            q->Port->TxVideoQueueContext = nullptr;
        }
        KeAcquireSpinLockAtDpcLevel(&adapter->TxQueueTableLock);
        PTX_QUEUE_TABLE_ENTRY entry = TableEntryOf(adapter, queue);
        if (entry != nullptr) {
            entry->InUse = 0;
            entry->Cancelled = 0;
            entry->Queue = nullptr;
            entry->Context = nullptr;
            entry->GroupQueue = 0;
            entry->Station = nullptr;
            if (adapter->TxQueueStartedCount != 0) {
                --adapter->TxQueueStartedCount;
            }
        }
        KeReleaseSpinLockFromDpcLevel(&adapter->TxQueueTableLock);
        q->SideMemory = nullptr;
        q->SideInfo = nullptr;
    }
    q->ScatterBuffer = nullptr;  // deleted with the queue, its parent
    q->ScatterVa = nullptr;
    KeReleaseSpinLock(&q->Lock, q->OldIrql);
    if (adapter->CurrentTxQueue == queue) {
        adapter->CurrentTxQueue = nullptr;
        adapter->CurrentTxQueueContext = nullptr;
    }
    // A deferred advance still waiting for the transmit-queue thread must not reach the queue once
    // it is gone: its record keeps no queue and the thread drops it.
    PTXQ_NET_QUEUE deferred = &adapter->Cmd.TxqNetQueue;
    KIRQL irql;
    KeAcquireSpinLock(&deferred->Lock, &irql);
    for (PTXQ_NET_BUFFER b = deferred->Head; b != nullptr; b = b->Next) {
        if (b->TxQueue == queue) {
            b->TxQueue = nullptr;
        }
    }
    KeReleaseSpinLock(&deferred->Lock, irql);
}

void EvtTxQueueSetNotificationEnabled(NETPACKETQUEUE queue, BOOLEAN enabled)
{
    PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
    if (q != nullptr) {
        (void)InterlockedExchange(&q->NotificationEnabled, enabled ? 1 : 0);
    }
}

void EvtTxQueueAdvance(NETPACKETQUEUE queue) { Advance(queue, TRUE); }

void TxNetQueueAdvance(PVOID txQueue) { Advance(static_cast<NETPACKETQUEUE>(txQueue), FALSE); }
