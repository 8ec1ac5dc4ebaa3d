// The data path of the network adapter class extension: packet queues with their rings of packets
// and fragments, the extensions that carry per-fragment and per-packet data beside the rings, and
// the notifications a driver sends when it has completed or received packets.
//
// Ring ownership: the driver owns the elements from BeginIndex up to (not including) EndIndex; the
// OS owns the rest. The driver moves BeginIndex to hand elements back; NextIndex is the driver's own
// cursor inside its range. Counts are powers of two; indexes wrap with the index mask.
#pragma once

#include "kshim/netadapter_caps.h"

// ---- rings ----------------------------------------------------------------------------------------------
typedef struct _NET_RING {
    USHORT OSReserved1;
    USHORT ElementStride;
    UINT32 NumberOfElements;
    UINT32 ElementIndexMask;
    UINT32 EndIndex;
    UINT32 OSReserved0;
    UINT32 BeginIndex;
    UINT32 NextIndex;
    void* Scratch;
    PVOID Buffer;  // NumberOfElements x ElementStride bytes
} NET_RING;

#define NetRingTypePacket 0
#define NetRingTypeFragment 1

typedef struct _NET_RING_COLLECTION {
    NET_RING* Rings[2];  // packet ring, fragment ring
} NET_RING_COLLECTION;

// Packet flag byte.
#define NET_PACKET_FLAG_IGNORE 0x01u   // the OS returns the packet unused
#define NET_PACKET_FLAG_SCRATCH 0x02u  // the driver did not (or will not) transmit it

typedef struct _NET_PACKET_LAYOUT {
    UINT16 Layer2HeaderLength : 7;
    UINT16 Layer3HeaderLength : 9;
    UINT8 Layer4HeaderLength : 8;
    UINT8 Layer2Type : 4;
    UINT8 Layer3Type : 4;
    UINT8 Layer4Type : 4;
    UINT8 Reserved0 : 4;
} NET_PACKET_LAYOUT;

typedef struct _NET_PACKET {
    UINT32 FragmentIndex;
    UINT16 FragmentCount;
    UINT8 Flags;  // NET_PACKET_FLAG_*
    UINT8 Reserved0;
    NET_PACKET_LAYOUT Layout;
    UINT8 Reserved1[3];
} NET_PACKET;

// One fragment: valid length (bits 0-25), capacity (26-51) and offset (52-61) in one 64-bit word.
typedef struct _NET_FRAGMENT {
    UINT64 ValidLength : 26;
    UINT64 Capacity : 26;
    UINT64 Offset : 10;
    UINT64 Reserved : 2;
    UINT64 OsReserved;
} NET_FRAGMENT;

inline NET_RING* NetRingCollectionGetPacketRing(const NET_RING_COLLECTION* Rings)
{
    return Rings->Rings[NetRingTypePacket];
}
inline NET_RING* NetRingCollectionGetFragmentRing(const NET_RING_COLLECTION* Rings)
{
    return Rings->Rings[NetRingTypeFragment];
}
inline void* NetRingGetElementAtIndex(const NET_RING* Ring, UINT32 Index)
{
    return static_cast<UCHAR*>(Ring->Buffer) + static_cast<size_t>(Index & Ring->ElementIndexMask) * Ring->ElementStride;
}
inline NET_PACKET* NetRingGetPacketAtIndex(const NET_RING* Ring, UINT32 Index)
{
    return static_cast<NET_PACKET*>(NetRingGetElementAtIndex(Ring, Index));
}
inline NET_FRAGMENT* NetRingGetFragmentAtIndex(const NET_RING* Ring, UINT32 Index)
{
    return static_cast<NET_FRAGMENT*>(NetRingGetElementAtIndex(Ring, Index));
}
inline UINT32 NetRingIncrementIndex(const NET_RING* Ring, UINT32 Index) { return (Index + 1) & Ring->ElementIndexMask; }
inline UINT32 NetRingGetRangeCount(const NET_RING* Ring, UINT32 Start, UINT32 End)
{
    return (End - Start) & Ring->ElementIndexMask;
}

// ---- extensions -----------------------------------------------------------------------------------------
#define NET_FRAGMENT_EXTENSION_VIRTUAL_ADDRESS_NAME "ms_fragment_virtualaddress"
#define NET_FRAGMENT_EXTENSION_LOGICAL_ADDRESS_NAME "ms_fragment_logicaladdress"
#define NET_FRAGMENT_EXTENSION_RETURN_CONTEXT_NAME "ms_fragment_returncontext"
#define NET_PACKET_EXTENSION_WIFI_EXEMPTION_ACTION_NAME "ms_packet_wifiexemptionaction"
#define NET_EXTENSION_VERSION_1 1u

typedef enum _NET_EXTENSION_TYPE {
    NetExtensionTypePacket = 1,
    NetExtensionTypeFragment = 2,
} NET_EXTENSION_TYPE;

typedef struct _NET_EXTENSION_QUERY {
    ULONG Size;
    const char* Name;
    ULONG Version;
    NET_EXTENSION_TYPE Type;
} NET_EXTENSION_QUERY;

inline VOID NET_EXTENSION_QUERY_INIT(NET_EXTENSION_QUERY* Query, const char* Name, ULONG Version,
                                     NET_EXTENSION_TYPE Type)
{
    Query->Size = sizeof(*Query);
    Query->Name = Name;
    Query->Version = Version;
    Query->Type = Type;
}

// An extension: an array parallel to its ring (Enabled false when the queue has no such extension).
typedef struct _NET_EXTENSION {
    PVOID Enabled;  // base of the array; null when not present
    SIZE_T Stride;
} NET_EXTENSION;

typedef struct _NET_FRAGMENT_VIRTUAL_ADDRESS {
    PVOID VirtualAddress;
} NET_FRAGMENT_VIRTUAL_ADDRESS;
typedef struct _NET_FRAGMENT_LOGICAL_ADDRESS {
    UINT64 LogicalAddress;
} NET_FRAGMENT_LOGICAL_ADDRESS;
typedef struct _NET_FRAGMENT_RETURN_CONTEXT {
    NET_FRAGMENT_RETURN_CONTEXT_HANDLE Handle;
} NET_FRAGMENT_RETURN_CONTEXT;
// Exemption action of a Wi-Fi packet (0 none, 1 always exempt from encryption, 2 exempt when no key).
typedef struct _NET_PACKET_WIFI_EXEMPTION_ACTION {
    UINT16 ExemptionAction;
} NET_PACKET_WIFI_EXEMPTION_ACTION;

inline void* NetExtensionGetData(const NET_EXTENSION* Extension, UINT32 Index)
{
    return static_cast<UCHAR*>(Extension->Enabled) + static_cast<size_t>(Index) * Extension->Stride;
}
inline NET_FRAGMENT_VIRTUAL_ADDRESS* NetExtensionGetFragmentVirtualAddress(const NET_EXTENSION* Extension, UINT32 Index)
{
    return static_cast<NET_FRAGMENT_VIRTUAL_ADDRESS*>(NetExtensionGetData(Extension, Index));
}
inline NET_FRAGMENT_LOGICAL_ADDRESS* NetExtensionGetFragmentLogicalAddress(const NET_EXTENSION* Extension, UINT32 Index)
{
    return static_cast<NET_FRAGMENT_LOGICAL_ADDRESS*>(NetExtensionGetData(Extension, Index));
}
inline NET_FRAGMENT_RETURN_CONTEXT* NetExtensionGetFragmentReturnContext(const NET_EXTENSION* Extension, UINT32 Index)
{
    return static_cast<NET_FRAGMENT_RETURN_CONTEXT*>(NetExtensionGetData(Extension, Index));
}
inline NET_PACKET_WIFI_EXEMPTION_ACTION* NetExtensionGetPacketWifiExemptionAction(const NET_EXTENSION* Extension,
                                                                                  UINT32 Index)
{
    return static_cast<NET_PACKET_WIFI_EXEMPTION_ACTION*>(NetExtensionGetData(Extension, Index));
}

// ---- packet queues --------------------------------------------------------------------------------------
struct NETPACKETQUEUE__ : WDFOBJECT__ {};
typedef struct NETPACKETQUEUE__* NETPACKETQUEUE;

typedef VOID EVT_PACKET_QUEUE_ADVANCE(NETPACKETQUEUE PacketQueue);
typedef VOID EVT_PACKET_QUEUE_SET_NOTIFICATION_ENABLED(NETPACKETQUEUE PacketQueue, BOOLEAN NotificationEnabled);
typedef VOID EVT_PACKET_QUEUE_CANCEL(NETPACKETQUEUE PacketQueue);
typedef VOID EVT_PACKET_QUEUE_START(NETPACKETQUEUE PacketQueue);
typedef VOID EVT_PACKET_QUEUE_STOP(NETPACKETQUEUE PacketQueue);

typedef struct _NET_PACKET_QUEUE_CONFIG {
    ULONG Size;
    EVT_PACKET_QUEUE_ADVANCE* EvtAdvance;
    EVT_PACKET_QUEUE_SET_NOTIFICATION_ENABLED* EvtSetNotificationEnabled;
    EVT_PACKET_QUEUE_CANCEL* EvtCancel;
    EVT_PACKET_QUEUE_START* EvtStart;
    EVT_PACKET_QUEUE_STOP* EvtStop;
} NET_PACKET_QUEUE_CONFIG;

inline VOID NET_PACKET_QUEUE_CONFIG_INIT(NET_PACKET_QUEUE_CONFIG* Config, EVT_PACKET_QUEUE_ADVANCE* Advance,
                                         EVT_PACKET_QUEUE_SET_NOTIFICATION_ENABLED* SetNotificationEnabled,
                                         EVT_PACKET_QUEUE_CANCEL* Cancel)
{
    std::memset(Config, 0, sizeof(*Config));
    Config->Size = sizeof(*Config);
    Config->EvtAdvance = Advance;
    Config->EvtSetNotificationEnabled = SetNotificationEnabled;
    Config->EvtCancel = Cancel;
}

// Transmit queues. The queue is a child of the net adapter; its destroy callback (attributes) runs
// when the OS deletes it. Creation: fault point "net.txqueuecreate".
ULONG NetTxQueueInitGetQueueId(NETTXQUEUE_INIT* TxQueueInit);
NTSTATUS NetTxQueueCreate(NETTXQUEUE_INIT* TxQueueInit, PWDF_OBJECT_ATTRIBUTES Attributes,
                          const NET_PACKET_QUEUE_CONFIG* Config, NETPACKETQUEUE* TxQueue);
NET_RING_COLLECTION const* NetTxQueueGetRingCollection(NETPACKETQUEUE TxQueue);
// Fills the extension (Enabled null when the queue offers none of that name, version and type).
VOID NetTxQueueGetExtension(NETPACKETQUEUE TxQueue, const NET_EXTENSION_QUERY* Query, NET_EXTENSION* Extension);
// Tells the OS that completed packets wait behind BeginIndex; allowed once per enabling of notification.
VOID NetTxQueueNotifyMoreCompletedPacketsAvailable(NETPACKETQUEUE TxQueue);

// Receive queues. Creation: fault point "net.rxqueuecreate".
ULONG NetRxQueueInitGetQueueId(NETRXQUEUE_INIT* RxQueueInit);
NTSTATUS NetRxQueueCreate(NETRXQUEUE_INIT* RxQueueInit, PWDF_OBJECT_ATTRIBUTES Attributes,
                          const NET_PACKET_QUEUE_CONFIG* Config, NETPACKETQUEUE* RxQueue);
NET_RING_COLLECTION const* NetRxQueueGetRingCollection(NETPACKETQUEUE RxQueue);
VOID NetRxQueueGetExtension(NETPACKETQUEUE RxQueue, const NET_EXTENSION_QUERY* Query, NET_EXTENSION* Extension);
VOID NetRxQueueNotifyMoreReceivedPacketsAvailable(NETPACKETQUEUE RxQueue);

// ---- Wi-Fi transmit demultiplexing of a queue -------------------------------------------------------------
typedef struct _WIFI_TXQUEUE_PEER_ADDRESS {
    UCHAR Address[6];
} WIFI_TXQUEUE_PEER_ADDRESS;
// The peer the queue carries traffic to, and its WMM user priority (0-7).
WIFI_TXQUEUE_PEER_ADDRESS WifiTxQueueGetDemuxPeerAddress(NETPACKETQUEUE TxQueue);
UCHAR WifiTxQueueGetDemuxWmmInfo(NETPACKETQUEUE TxQueue);
