// The data path of the network adapter class extension: transmit and receive packet queues, their
// rings and extensions, notifications, and the OS side the harness drives.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <map>
#include <set>
#include <string>

#include "internal.h"
#include "kshim/host/dma.h"
#include "kshim/host/net_queue.h"
#include "kshim/netadapter_queue.h"
#include "wdf_internal.h"

// What the OS hands to a queue-creation callback.
struct NETTXQUEUE_INIT {
    kshim::wdf::FxNetAdapter* adapter = nullptr;
    ULONG queueId = 0;
    UCHAR peer[6] = {};
    UCHAR priority = 0;
    kshim::host::NetQueueShape shape;
    NETPACKETQUEUE created = nullptr;
};
struct NETRXQUEUE_INIT {
    kshim::wdf::FxNetAdapter* adapter = nullptr;
    ULONG queueId = 0;
    kshim::host::NetQueueShape shape;
    NETPACKETQUEUE created = nullptr;
};

namespace kshim::wdf {
namespace {

// Receive buffers the driver has handed to the OS and the OS has not returned yet (by return context).
std::mutex g_heldMutex;
std::map<void*, const void*>& Held()
{
    static std::map<void*, const void*> held;  // return context -> the queue that posted it
    return held;
}

struct FxNetQueue;
// Every live queue, so that the OS can stop its data path before a device powers down for good.
std::mutex g_liveMutex;
std::set<FxNetQueue*>& Live()
{
    static std::set<FxNetQueue*> live;
    return live;
}

struct FxNetQueue : FxObject {
    static constexpr Kind kKind = Kind::NetPacketQueue;
    FxNetQueue() : FxObject(Kind::NetPacketQueue)
    {
        std::lock_guard<std::mutex> lock(g_liveMutex);
        Live().insert(this);
    }
    ~FxNetQueue() override
    {
        if (dataBus != 0) {
            kshim::host::DmaUnregister(dataBus);
        }
        {
            std::lock_guard<std::mutex> lock(g_liveMutex);
            Live().erase(this);
        }
        // Buffers still held by the OS when the queue goes are forgotten with it.
        std::lock_guard<std::mutex> lock(g_heldMutex);
        for (auto it = Held().begin(); it != Held().end();) {
            it = it->second == this ? Held().erase(it) : std::next(it);
        }
    }

    bool tx = false;
    NET_PACKET_QUEUE_CONFIG config{};
    ULONG queueId = 0;
    UCHAR peer[6] = {};
    UCHAR priority = 0;
    std::vector<NET_PACKET> packets;
    std::vector<NET_FRAGMENT> fragments;
    NET_RING packetRing{};
    NET_RING fragmentRing{};
    NET_RING_COLLECTION rings{};
    std::vector<NET_FRAGMENT_VIRTUAL_ADDRESS> va;
    std::vector<NET_FRAGMENT_LOGICAL_ADDRESS> la;
    std::vector<NET_FRAGMENT_RETURN_CONTEXT> returnContext;
    std::vector<NET_PACKET_WIFI_EXEMPTION_ACTION> exemption;
    // Transmit: one buffer of kTxFragmentBuffer bytes per fragment element, reachable by the device.
    std::vector<uint8_t> data;
    uint64_t dataBus = 0;
    std::vector<std::vector<uint8_t>> posted;  // the frame of each packet element
    uint32_t osBegin = 0;                      // first element the OS has not taken back
    uint32_t osFragmentBegin = 0;
    std::atomic<bool> armed{false};
    std::atomic<size_t> notifications{0};
};

FxNetQueue* QueueOf(NETPACKETQUEUE handle, const char* call) { return Lookup<FxNetQueue>(handle, call); }

// The driver may hand back only elements it owns: a new BeginIndex lies between the OS's cursor and
// EndIndex (an index that moved backwards, or past EndIndex, breaks the ring's ownership rule).
bool BeginMovedForward(const NET_RING& ring, uint32_t osBegin, uint32_t begin, const char* what)
{
    const uint32_t moved = (begin - osBegin) & ring.ElementIndexMask;
    const uint32_t owned = (ring.EndIndex - osBegin) & ring.ElementIndexMask;
    if (moved > owned) {
        KshimViolation("a ring index moved backwards or past EndIndex", what);
        return false;
    }
    return true;
}

void Shape(FxNetQueue* q, const kshim::host::NetQueueShape& shape)
{
    q->packets.assign(shape.packets, NET_PACKET{});
    q->fragments.assign(shape.fragments, NET_FRAGMENT{});
    q->packetRing.ElementStride = sizeof(NET_PACKET);
    q->packetRing.NumberOfElements = shape.packets;
    q->packetRing.ElementIndexMask = shape.packets - 1;
    q->packetRing.Buffer = q->packets.data();
    q->fragmentRing.ElementStride = sizeof(NET_FRAGMENT);
    q->fragmentRing.NumberOfElements = shape.fragments;
    q->fragmentRing.ElementIndexMask = shape.fragments - 1;
    q->fragmentRing.Buffer = q->fragments.data();
    q->rings.Rings[NetRingTypePacket] = &q->packetRing;
    q->rings.Rings[NetRingTypeFragment] = &q->fragmentRing;
    q->va.assign(shape.fragments, NET_FRAGMENT_VIRTUAL_ADDRESS{});
    q->la.assign(shape.fragments, NET_FRAGMENT_LOGICAL_ADDRESS{});
    q->returnContext.assign(shape.fragments, NET_FRAGMENT_RETURN_CONTEXT{});
    q->exemption.assign(shape.packets, NET_PACKET_WIFI_EXEMPTION_ACTION{});
    q->posted.assign(shape.packets, {});
}

NTSTATUS Create(FxNetAdapter* adapter, bool tx, PWDF_OBJECT_ATTRIBUTES attributes,
                const NET_PACKET_QUEUE_CONFIG* config, const kshim::host::NetQueueShape& shape, ULONG queueId,
                NETPACKETQUEUE* out, const char* call)
{
    RequirePassive(call);
    if (adapter == nullptr || config == nullptr || out == nullptr || config->EvtAdvance == nullptr ||
        config->EvtSetNotificationEnabled == nullptr || config->EvtCancel == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (attributes != nullptr && !AttributesValid(attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    NTSTATUS status;
    if (kshim::FaultCheck(tx ? "net.txqueuecreate" : "net.rxqueuecreate", nullptr, &status)) {
        return status;
    }
    auto* q = new FxNetQueue();
    q->tx = tx;
    q->config = *config;
    q->queueId = queueId;
    Shape(q, shape);
    WDF_OBJECT_ATTRIBUTES copy;
    if (attributes != nullptr && attributes->ParentObject != nullptr) {
        copy = *attributes;
        copy.ParentObject = nullptr;
        attributes = &copy;
    }
    status = Register(q, attributes, adapter, call);
    if (!NT_SUCCESS(status)) {
        delete q;
        return status;
    }
    *out = Handle<NETPACKETQUEUE>(q);
    return STATUS_SUCCESS;
}

void GetExtension(FxNetQueue* q, const NET_EXTENSION_QUERY* query, NET_EXTENSION* extension)
{
    if (extension == nullptr) {
        return;
    }
    extension->Enabled = nullptr;
    extension->Stride = 0;
    if (q == nullptr || query == nullptr || query->Name == nullptr || query->Version != NET_EXTENSION_VERSION_1) {
        return;
    }
    std::string name = query->Name;
    NTSTATUS status;
    if (kshim::FaultCheck("net.extension", name.c_str(), &status)) {
        return;
    }
    if (query->Type == NetExtensionTypeFragment && name == NET_FRAGMENT_EXTENSION_VIRTUAL_ADDRESS_NAME) {
        extension->Enabled = q->va.data();
        extension->Stride = sizeof(NET_FRAGMENT_VIRTUAL_ADDRESS);
    } else if (query->Type == NetExtensionTypeFragment && name == NET_FRAGMENT_EXTENSION_LOGICAL_ADDRESS_NAME) {
        extension->Enabled = q->la.data();
        extension->Stride = sizeof(NET_FRAGMENT_LOGICAL_ADDRESS);
    } else if (!q->tx && query->Type == NetExtensionTypeFragment &&
               name == NET_FRAGMENT_EXTENSION_RETURN_CONTEXT_NAME) {
        extension->Enabled = q->returnContext.data();
        extension->Stride = sizeof(NET_FRAGMENT_RETURN_CONTEXT);
    } else if (q->tx && query->Type == NetExtensionTypePacket &&
               name == NET_PACKET_EXTENSION_WIFI_EXEMPTION_ACTION_NAME) {
        extension->Enabled = q->exemption.data();
        extension->Stride = sizeof(NET_PACKET_WIFI_EXEMPTION_ACTION);
    }
}

void Notify(NETPACKETQUEUE handle, const char* call)
{
    FxNetQueue* q = QueueOf(handle, call);
    if (q == nullptr) {
        return;
    }
    if (!q->armed.exchange(false)) {
        KshimViolation("a queue notification while the OS has not enabled it", call);
        return;
    }
    ++q->notifications;
}

template <class Fn>
void AtDispatch(Fn fn)
{
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    fn();
    KeLowerIrql(old);
}

}  // namespace
}  // namespace kshim::wdf

using namespace kshim::wdf;

ULONG NetTxQueueInitGetQueueId(NETTXQUEUE_INIT* TxQueueInit) { return TxQueueInit != nullptr ? TxQueueInit->queueId : 0; }

NTSTATUS NetTxQueueCreate(NETTXQUEUE_INIT* TxQueueInit, PWDF_OBJECT_ATTRIBUTES Attributes,
                          const NET_PACKET_QUEUE_CONFIG* Config, NETPACKETQUEUE* TxQueue)
{
    if (TxQueueInit == nullptr || TxQueueInit->created != nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status = Create(TxQueueInit->adapter, true, Attributes, Config, TxQueueInit->shape, TxQueueInit->queueId,
                             TxQueue, "NetTxQueueCreate");
    if (NT_SUCCESS(status)) {
        auto* q = static_cast<FxNetQueue*>(Raw(*TxQueue));
        std::memcpy(q->peer, TxQueueInit->peer, 6);
        q->priority = TxQueueInit->priority;
        TxQueueInit->created = *TxQueue;
    }
    return status;
}

NET_RING_COLLECTION const* NetTxQueueGetRingCollection(NETPACKETQUEUE TxQueue)
{
    FxNetQueue* q = QueueOf(TxQueue, "NetTxQueueGetRingCollection");
    return q != nullptr ? &q->rings : nullptr;
}

VOID NetTxQueueGetExtension(NETPACKETQUEUE TxQueue, const NET_EXTENSION_QUERY* Query, NET_EXTENSION* Extension)
{
    GetExtension(QueueOf(TxQueue, "NetTxQueueGetExtension"), Query, Extension);
}

VOID NetTxQueueNotifyMoreCompletedPacketsAvailable(NETPACKETQUEUE TxQueue)
{
    Notify(TxQueue, "NetTxQueueNotifyMoreCompletedPacketsAvailable");
}

ULONG NetRxQueueInitGetQueueId(NETRXQUEUE_INIT* RxQueueInit) { return RxQueueInit != nullptr ? RxQueueInit->queueId : 0; }

NTSTATUS NetRxQueueCreate(NETRXQUEUE_INIT* RxQueueInit, PWDF_OBJECT_ATTRIBUTES Attributes,
                          const NET_PACKET_QUEUE_CONFIG* Config, NETPACKETQUEUE* RxQueue)
{
    if (RxQueueInit == nullptr || RxQueueInit->created != nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status = Create(RxQueueInit->adapter, false, Attributes, Config, RxQueueInit->shape,
                             RxQueueInit->queueId, RxQueue, "NetRxQueueCreate");
    if (NT_SUCCESS(status)) {
        RxQueueInit->created = *RxQueue;
    }
    return status;
}

NET_RING_COLLECTION const* NetRxQueueGetRingCollection(NETPACKETQUEUE RxQueue)
{
    FxNetQueue* q = QueueOf(RxQueue, "NetRxQueueGetRingCollection");
    return q != nullptr ? &q->rings : nullptr;
}

VOID NetRxQueueGetExtension(NETPACKETQUEUE RxQueue, const NET_EXTENSION_QUERY* Query, NET_EXTENSION* Extension)
{
    GetExtension(QueueOf(RxQueue, "NetRxQueueGetExtension"), Query, Extension);
}

VOID NetRxQueueNotifyMoreReceivedPacketsAvailable(NETPACKETQUEUE RxQueue)
{
    Notify(RxQueue, "NetRxQueueNotifyMoreReceivedPacketsAvailable");
}

WIFI_TXQUEUE_PEER_ADDRESS WifiTxQueueGetDemuxPeerAddress(NETPACKETQUEUE TxQueue)
{
    WIFI_TXQUEUE_PEER_ADDRESS a{};
    FxNetQueue* q = QueueOf(TxQueue, "WifiTxQueueGetDemuxPeerAddress");
    if (q != nullptr) {
        std::memcpy(a.Address, q->peer, 6);
    }
    return a;
}

UCHAR WifiTxQueueGetDemuxWmmInfo(NETPACKETQUEUE TxQueue)
{
    FxNetQueue* q = QueueOf(TxQueue, "WifiTxQueueGetDemuxWmmInfo");
    return q != nullptr ? q->priority : 0;
}

// ================================================================================================
// the OS side
// ================================================================================================
namespace kshim::host {

NTSTATUS NetTxQueueOpen(NETADAPTER adapter, uint32_t queueId, const uint8_t peer[6], uint8_t priority,
                        NETPACKETQUEUE* queue, NetQueueShape shape)
{
    auto* a = Lookup<FxNetAdapter>(adapter, "NetTxQueueOpen");
    if (a == nullptr || !a->hasDatapath || a->datapath.EvtAdapterCreateTxQueue == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    NETTXQUEUE_INIT init;
    init.adapter = a;
    init.queueId = queueId;
    std::memcpy(init.peer, peer, 6);
    init.priority = priority;
    init.shape = shape;
    NTSTATUS status = a->datapath.EvtAdapterCreateTxQueue(adapter, &init);
    if (!NT_SUCCESS(status)) {
        if (init.created != nullptr) {
            FrameworkDelete(Raw(init.created));
        }
        return status;
    }
    if (init.created == nullptr) {
        KshimViolation("a transmit-queue creation succeeded without a queue", "NetTxQueueOpen");
        return STATUS_UNSUCCESSFUL;
    }
    auto* q = static_cast<FxNetQueue*>(Raw(init.created));
    q->data.assign(static_cast<size_t>(shape.fragments) * kTxFragmentBuffer, 0);
    q->dataBus = DmaRegister(q->data.data(), q->data.size(), 32);
    *queue = init.created;
    NetQueueStart(*queue);
    return STATUS_SUCCESS;
}

size_t NetTxQueuePost(NETPACKETQUEUE queue, const std::vector<TxFrame>& frames)
{
    FxNetQueue* q = QueueOf(queue, "NetTxQueuePost");
    if (q == nullptr || !q->tx) {
        return 0;
    }
    size_t posted = 0;
    for (const TxFrame& f : frames) {
        uint32_t n = std::max<uint32_t>(f.fragments, 1);
        NET_RING& pr = q->packetRing;
        NET_RING& fr = q->fragmentRing;
        // The OS may fill up to the element before the first one it has not taken back.
        uint32_t freePackets = (q->osBegin - pr.EndIndex - 1) & pr.ElementIndexMask;
        uint32_t freeFragments = (q->osFragmentBegin - fr.EndIndex - 1) & fr.ElementIndexMask;
        if (freePackets < 1 || freeFragments < n) {
            break;
        }
        NET_PACKET* p = NetRingGetPacketAtIndex(&pr, pr.EndIndex);
        *p = NET_PACKET{};
        p->FragmentIndex = fr.EndIndex;
        p->FragmentCount = static_cast<UINT16>(n);
        q->exemption[pr.EndIndex].ExemptionAction = f.exemption;
        size_t share = f.bytes.size() / n;
        size_t at = 0;
        for (uint32_t j = 0; j < n; ++j) {
            size_t len = j + 1 == n ? f.bytes.size() - at : share;
            len = std::min<size_t>(len, kTxFragmentBuffer - kTxFragmentOffset);
            uint32_t fi = fr.EndIndex;
            uint8_t* slot = q->data.data() + static_cast<size_t>(fi) * kTxFragmentBuffer;
            std::memcpy(slot + kTxFragmentOffset, f.bytes.data() + at, len);
            NET_FRAGMENT* frag = NetRingGetFragmentAtIndex(&fr, fi);
            *frag = NET_FRAGMENT{};
            frag->ValidLength = len;
            frag->Capacity = kTxFragmentBuffer - kTxFragmentOffset;
            frag->Offset = kTxFragmentOffset;
            q->va[fi].VirtualAddress = slot;
            q->la[fi].LogicalAddress = q->dataBus + static_cast<uint64_t>(fi) * kTxFragmentBuffer;
            at += len;
            fr.EndIndex = NetRingIncrementIndex(&fr, fr.EndIndex);
        }
        q->posted[pr.EndIndex] = f.bytes;
        __atomic_thread_fence(__ATOMIC_RELEASE);
        pr.EndIndex = NetRingIncrementIndex(&pr, pr.EndIndex);
        ++posted;
    }
    return posted;
}

std::vector<TxReturned> NetTxQueueTakeReturned(NETPACKETQUEUE queue)
{
    std::vector<TxReturned> out;
    FxNetQueue* q = QueueOf(queue, "NetTxQueueTakeReturned");
    if (q == nullptr || !q->tx) {
        return out;
    }
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    uint32_t begin = __atomic_load_n(&q->packetRing.BeginIndex, __ATOMIC_ACQUIRE);
    if (!BeginMovedForward(q->packetRing, q->osBegin, begin, "transmit packet ring") ||
        !BeginMovedForward(q->fragmentRing, q->osFragmentBegin,
                           __atomic_load_n(&q->fragmentRing.BeginIndex, __ATOMIC_ACQUIRE), "transmit fragment ring")) {
        return out;
    }
    while (q->osBegin != begin) {
        TxReturned r;
        r.bytes = std::move(q->posted[q->osBegin]);
        r.flags = NetRingGetPacketAtIndex(&q->packetRing, q->osBegin)->Flags;
        out.push_back(std::move(r));
        q->osBegin = NetRingIncrementIndex(&q->packetRing, q->osBegin);
    }
    q->osFragmentBegin = __atomic_load_n(&q->fragmentRing.BeginIndex, __ATOMIC_ACQUIRE);
    return out;
}

void NetQueueAdvance(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueAdvance");
    if (q != nullptr) {
        AtDispatch([&] { q->config.EvtAdvance(queue); });
    }
}

void NetQueueSetNotification(NETPACKETQUEUE queue, bool enabled)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueSetNotification");
    if (q != nullptr) {
        q->armed = enabled;
        q->config.EvtSetNotificationEnabled(queue, enabled ? TRUE : FALSE);
    }
}

void NetQueueCancel(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueCancel");
    if (q != nullptr) {
        AtDispatch([&] { q->config.EvtCancel(queue); });
    }
}

void NetQueueStart(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueStart");
    if (q != nullptr && q->config.EvtStart != nullptr) {
        q->config.EvtStart(queue);
    }
}

void NetQueueStop(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueStop");
    if (q != nullptr) {
        q->armed = false;
        if (q->config.EvtStop != nullptr) {
            q->config.EvtStop(queue);
        }
    }
}

void NetQueueDestroy(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueDestroy");
    if (q != nullptr) {
        FrameworkDelete(q);
    }
}

size_t NetQueueNotifications(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueNotifications");
    return q != nullptr ? q->notifications.load() : 0;
}

bool NetQueueArmed(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueArmed");
    return q != nullptr && q->armed.load();
}

void NetQueueReposition(NETPACKETQUEUE queue, uint32_t packetIndex, uint32_t fragmentIndex)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueReposition");
    if (q == nullptr) {
        return;
    }
    NET_RING& pr = q->packetRing;
    NET_RING& fr = q->fragmentRing;
    pr.BeginIndex = pr.NextIndex = pr.EndIndex = q->osBegin = packetIndex & pr.ElementIndexMask;
    fr.BeginIndex = fr.NextIndex = fr.EndIndex = q->osFragmentBegin = fragmentIndex & fr.ElementIndexMask;
}

NET_RING* NetQueuePacketRing(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueuePacketRing");
    return q != nullptr ? &q->packetRing : nullptr;
}

NET_RING* NetQueueFragmentRing(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetQueueFragmentRing");
    return q != nullptr ? &q->fragmentRing : nullptr;
}

NTSTATUS NetRxQueueOpen(NETADAPTER adapter, uint32_t queueId, NETPACKETQUEUE* queue, NetQueueShape shape)
{
    auto* a = Lookup<FxNetAdapter>(adapter, "NetRxQueueOpen");
    if (a == nullptr || !a->hasDatapath || a->datapath.EvtAdapterCreateRxQueue == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    NETRXQUEUE_INIT init;
    init.adapter = a;
    init.queueId = queueId;
    init.shape = shape;
    NTSTATUS status = a->datapath.EvtAdapterCreateRxQueue(adapter, &init);
    if (!NT_SUCCESS(status)) {
        if (init.created != nullptr) {
            FrameworkDelete(Raw(init.created));
        }
        return status;
    }
    if (init.created == nullptr) {
        KshimViolation("a receive-queue creation succeeded without a queue", "NetRxQueueOpen");
        return STATUS_UNSUCCESSFUL;
    }
    *queue = init.created;
    NetQueueStart(*queue);
    return STATUS_SUCCESS;
}

namespace {

std::vector<RxReceived> TakePosted(kshim::wdf::FxNetQueue* q)
{
    std::vector<RxReceived> out;
    uint32_t begin = __atomic_load_n(&q->packetRing.BeginIndex, __ATOMIC_ACQUIRE);
    if (!BeginMovedForward(q->packetRing, q->osBegin, begin, "receive packet ring")) {
        return out;
    }
    while (q->osBegin != begin) {
        const NET_PACKET* p = NetRingGetPacketAtIndex(&q->packetRing, q->osBegin);
        RxReceived r;
        r.flags = p->Flags;
        if ((p->Flags & NET_PACKET_FLAG_IGNORE) == 0 && p->FragmentCount >= 1) {
            uint32_t fi = p->FragmentIndex & q->fragmentRing.ElementIndexMask;
            const NET_FRAGMENT* f = NetRingGetFragmentAtIndex(&q->fragmentRing, fi);
            const auto* va = static_cast<const uint8_t*>(q->va[fi].VirtualAddress);
            if (va != nullptr) {
                r.bytes.assign(va + f->Offset, va + f->Offset + f->ValidLength);
            }
            r.returnContext = q->returnContext[fi].Handle;
            std::lock_guard<std::mutex> lock(kshim::wdf::g_heldMutex);
            if (r.returnContext != nullptr && !kshim::wdf::Held().emplace(r.returnContext, q).second) {
                KshimViolation("a receive buffer handed to the OS twice", "NetRxQueue advance");
            }
        }
        out.push_back(std::move(r));
        q->osBegin = NetRingIncrementIndex(&q->packetRing, q->osBegin);
    }
    q->osFragmentBegin = __atomic_load_n(&q->fragmentRing.BeginIndex, __ATOMIC_ACQUIRE);
    return out;
}

}  // namespace

std::vector<RxReceived> NetRxQueueReceive(NETPACKETQUEUE queue, uint32_t limit)
{
    FxNetQueue* q = QueueOf(queue, "NetRxQueueReceive");
    if (q == nullptr || q->tx) {
        return {};
    }
    std::vector<RxReceived> out = TakePosted(q);
    // Every element the OS holds goes to the driver (one stays empty to tell full from empty).
    NET_RING& pr = q->packetRing;
    NET_RING& fr = q->fragmentRing;
    uint32_t packets = std::min(limit, pr.ElementIndexMask);
    uint32_t fragments = std::min(limit, fr.ElementIndexMask);
    pr.EndIndex = (pr.BeginIndex + packets) & pr.ElementIndexMask;
    fr.EndIndex = (fr.BeginIndex + fragments) & fr.ElementIndexMask;
    NetQueueAdvance(queue);
    std::vector<RxReceived> more = TakePosted(q);
    out.insert(out.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    return out;
}

std::vector<RxReceived> NetRxQueueTakePosted(NETPACKETQUEUE queue)
{
    FxNetQueue* q = QueueOf(queue, "NetRxQueueTakePosted");
    if (q == nullptr || q->tx) {
        return {};
    }
    return TakePosted(q);
}

}  // namespace kshim::host

namespace kshim::host {

bool NetQueueBufferReturned(void* returnContext)
{
    std::lock_guard<std::mutex> lock(kshim::wdf::g_heldMutex);
    if (kshim::wdf::Held().erase(returnContext) == 0) {
        KshimViolation("a receive buffer returned twice, or never handed to the OS", "NetAdapterReturnRxBuffer");
        return false;
    }
    return true;
}

}  // namespace kshim::host

namespace kshim::host {

void NetQueuesStopAll()
{
    std::vector<NETPACKETQUEUE> queues;
    {
        std::lock_guard<std::mutex> lock(kshim::wdf::g_liveMutex);
        for (kshim::wdf::FxNetQueue* q : kshim::wdf::Live()) {
            queues.push_back(kshim::wdf::Handle<NETPACKETQUEUE>(q));
        }
    }
    for (NETPACKETQUEUE queue : queues) {
        NetQueueStop(queue);
        NetQueueCancel(queue);
        // A cancel hands every outstanding packet back: BeginIndex reaches EndIndex.
        NET_RING* pr = NetQueuePacketRing(queue);
        if (pr != nullptr && __atomic_load_n(&pr->BeginIndex, __ATOMIC_ACQUIRE) != pr->EndIndex) {
            KshimViolation("a cancelled queue kept packets", "EvtPacketQueueCancel");
        }
    }
}

}  // namespace kshim::host
