// What a driver declares of each net adapter before and after creating it: the data-path callbacks
// (queue creation), the transmit and receive data-path capabilities, the link state and link-layer
// capabilities, MTU and addresses, the receive-filter capabilities with their callback, magic-packet
// wake, and the start. The queues themselves come with the data path.
#pragma once

#include "kshim/netadapter.h"

// ---- queue creation callbacks (handed over with the adapter's initialisation object) ------------------
typedef struct NETTXQUEUE_INIT NETTXQUEUE_INIT;
typedef struct NETRXQUEUE_INIT NETRXQUEUE_INIT;
typedef NTSTATUS EVT_NET_ADAPTER_CREATE_TXQUEUE(NETADAPTER Adapter, NETTXQUEUE_INIT* TxQueueInit);
typedef EVT_NET_ADAPTER_CREATE_TXQUEUE* PFN_NET_ADAPTER_CREATE_TXQUEUE;
typedef NTSTATUS EVT_NET_ADAPTER_CREATE_RXQUEUE(NETADAPTER Adapter, NETRXQUEUE_INIT* RxQueueInit);
typedef EVT_NET_ADAPTER_CREATE_RXQUEUE* PFN_NET_ADAPTER_CREATE_RXQUEUE;

typedef struct _NET_ADAPTER_DATAPATH_CALLBACKS {
    ULONG Size;
    PFN_NET_ADAPTER_CREATE_TXQUEUE EvtAdapterCreateTxQueue;
    PFN_NET_ADAPTER_CREATE_RXQUEUE EvtAdapterCreateRxQueue;
} NET_ADAPTER_DATAPATH_CALLBACKS;

inline VOID NET_ADAPTER_DATAPATH_CALLBACKS_INIT(NET_ADAPTER_DATAPATH_CALLBACKS* Callbacks,
                                                PFN_NET_ADAPTER_CREATE_TXQUEUE CreateTxQueue,
                                                PFN_NET_ADAPTER_CREATE_RXQUEUE CreateRxQueue)
{
    std::memset(Callbacks, 0, sizeof(*Callbacks));
    Callbacks->Size = sizeof(*Callbacks);
    Callbacks->EvtAdapterCreateTxQueue = CreateTxQueue;
    Callbacks->EvtAdapterCreateRxQueue = CreateRxQueue;
}

VOID NetAdapterInitSetDatapathCallbacks(NETADAPTER_INIT* AdapterInit, NET_ADAPTER_DATAPATH_CALLBACKS* Callbacks);
// Gives back an initialisation object the driver did not turn into an adapter (or whose adapter
// failed); freeing one twice is a strict-mode failure.
VOID NetAdapterInitFree(NETADAPTER_INIT* AdapterInit);

// ---- data-path capabilities --------------------------------------------------------------------------
typedef enum _NET_MEMORY_MAPPING_REQUIREMENT {
    NetMemoryMappingRequirementNone = 0,
    NetMemoryMappingRequirementDmaMapped = 1,
} NET_MEMORY_MAPPING_REQUIREMENT;

typedef enum _NET_RX_FRAGMENT_BUFFER_ALLOCATION_MODE {
    NetRxFragmentBufferAllocationModeSystem = 0,
    NetRxFragmentBufferAllocationModeDriver = 1,
} NET_RX_FRAGMENT_BUFFER_ALLOCATION_MODE;

typedef enum _NET_RX_FRAGMENT_BUFFER_ATTACHMENT_MODE {
    NetRxFragmentBufferAttachmentModeSystem = 0,
    NetRxFragmentBufferAttachmentModeDriver = 1,
} NET_RX_FRAGMENT_BUFFER_ATTACHMENT_MODE;

#define NET_ANY_NUMA_NODE 0x80000000u

typedef struct _NET_ADAPTER_DMA_CAPABILITIES {
    ULONG Size;
    WDFDMAENABLER DmaEnabler;
    PHYSICAL_ADDRESS MaximumPhysicalAddress;  // 0: no limit
    WDF_TRI_STATE CacheEnabled;
    ULONG PreferredNode;
} NET_ADAPTER_DMA_CAPABILITIES;

// The opaque handle of a received fragment's return context.
typedef struct NET_FRAGMENT_RETURN_CONTEXT__* NET_FRAGMENT_RETURN_CONTEXT_HANDLE;
typedef VOID EVT_NET_ADAPTER_RETURN_RX_BUFFER(NETADAPTER Adapter, NET_FRAGMENT_RETURN_CONTEXT_HANDLE Context);
typedef EVT_NET_ADAPTER_RETURN_RX_BUFFER* PFN_NET_ADAPTER_RETURN_RX_BUFFER;

typedef struct _NET_ADAPTER_TX_CAPABILITIES {
    ULONG Size;
    NET_MEMORY_MAPPING_REQUIREMENT MappingRequirement;
    SIZE_T PayloadBackfill;
    SIZE_T MaximumNumberOfQueues;
    SIZE_T FragmentBufferAlignment;
    SIZE_T FragmentRingNumberOfElementsHint;
    SIZE_T MaximumNumberOfFragments;
    NET_ADAPTER_DMA_CAPABILITIES* DmaCapabilities;
} NET_ADAPTER_TX_CAPABILITIES;

typedef struct _NET_ADAPTER_RX_CAPABILITIES {
    ULONG Size;
    NET_RX_FRAGMENT_BUFFER_ALLOCATION_MODE AllocationMode;
    NET_RX_FRAGMENT_BUFFER_ATTACHMENT_MODE AttachmentMode;
    SIZE_T FragmentRingNumberOfElementsHint;
    SIZE_T MaximumFrameSize;
    SIZE_T MaximumNumberOfQueues;
    PFN_NET_ADAPTER_RETURN_RX_BUFFER EvtAdapterReturnRxBuffer;  // driver-allocated buffers
} NET_ADAPTER_RX_CAPABILITIES;

VOID NetAdapterSetDataPathCapabilities(NETADAPTER Adapter, const NET_ADAPTER_TX_CAPABILITIES* TxCapabilities,
                                       const NET_ADAPTER_RX_CAPABILITIES* RxCapabilities);

// ---- link ---------------------------------------------------------------------------------------------
typedef enum _NET_IF_MEDIA_CONNECT_STATE {
    MediaConnectStateUnknown = 0,
    MediaConnectStateConnected = 1,
    MediaConnectStateDisconnected = 2,
} NET_IF_MEDIA_CONNECT_STATE;

typedef enum _NET_IF_MEDIA_DUPLEX_STATE {
    MediaDuplexStateUnknown = 0,
    MediaDuplexStateHalf = 1,
    MediaDuplexStateFull = 2,
} NET_IF_MEDIA_DUPLEX_STATE;

typedef enum _NET_ADAPTER_PAUSE_FUNCTION_TYPE {
    NetAdapterPauseFunctionTypeUnknown = 0,
    NetAdapterPauseFunctionTypeUnsupported = 1,
} NET_ADAPTER_PAUSE_FUNCTION_TYPE;

// Auto-negotiation flags.
#define NetAdapterAutoNegotiationFlagXmitLinkSpeedAutoNegotiated 0x1u
#define NetAdapterAutoNegotiationFlagRcvLinkSpeedautoNegotiated 0x2u

typedef struct _NET_ADAPTER_LINK_STATE {
    ULONG Size;
    ULONG64 TxLinkSpeed;
    ULONG64 RxLinkSpeed;
    NET_IF_MEDIA_CONNECT_STATE MediaConnectState;
    NET_IF_MEDIA_DUPLEX_STATE MediaDuplexState;
    NET_ADAPTER_PAUSE_FUNCTION_TYPE SupportedPauseFunctions;
    ULONG AutoNegotiationFlags;
} NET_ADAPTER_LINK_STATE;

VOID NetAdapterSetLinkState(NETADAPTER Adapter, const NET_ADAPTER_LINK_STATE* LinkState);

typedef struct _NET_ADAPTER_LINK_LAYER_CAPABILITIES {
    ULONG Size;
    ULONG64 MaxTxLinkSpeed;
    ULONG64 MaxRxLinkSpeed;
} NET_ADAPTER_LINK_LAYER_CAPABILITIES;

VOID NetAdapterSetLinkLayerCapabilities(NETADAPTER Adapter, const NET_ADAPTER_LINK_LAYER_CAPABILITIES* Capabilities);
VOID NetAdapterSetLinkLayerMtuSize(NETADAPTER Adapter, ULONG MtuSize);

#define NET_ADAPTER_LINK_LAYER_ADDRESS_MAXIMUM_LENGTH 32
typedef struct _NET_ADAPTER_LINK_LAYER_ADDRESS {
    USHORT Length;
    UCHAR Address[NET_ADAPTER_LINK_LAYER_ADDRESS_MAXIMUM_LENGTH];
} NET_ADAPTER_LINK_LAYER_ADDRESS;

VOID NetAdapterSetPermanentLinkLayerAddress(NETADAPTER Adapter, const NET_ADAPTER_LINK_LAYER_ADDRESS* Address);
VOID NetAdapterSetCurrentLinkLayerAddress(NETADAPTER Adapter, const NET_ADAPTER_LINK_LAYER_ADDRESS* Address);

// ---- receive filter -------------------------------------------------------------------------------------
// The receive-filter object handed to the filter callback (valid during the call).
struct NETRECEIVEFILTER__ {};
typedef struct NETRECEIVEFILTER__* NETRECEIVEFILTER;

#define NetPacketFilterFlagDirected 0x1u
#define NetPacketFilterFlagMulticast 0x2u
#define NetPacketFilterFlagAllMulticast 0x4u
#define NetPacketFilterFlagBroadcast 0x8u

typedef VOID EVT_NET_ADAPTER_SET_RECEIVE_FILTER(NETADAPTER Adapter, NETRECEIVEFILTER ReceiveFilter);
typedef EVT_NET_ADAPTER_SET_RECEIVE_FILTER* PFN_NET_ADAPTER_SET_RECEIVE_FILTER;

typedef struct _NET_ADAPTER_RECEIVE_FILTER_CAPABILITIES {
    ULONG Size;
    ULONG SupportedPacketFilters;
    SIZE_T MaximumMulticastAddresses;
    PFN_NET_ADAPTER_SET_RECEIVE_FILTER EvtSetReceiveFilter;
} NET_ADAPTER_RECEIVE_FILTER_CAPABILITIES;

VOID NetAdapterSetReceiveFilterCapabilities(NETADAPTER Adapter,
                                            const NET_ADAPTER_RECEIVE_FILTER_CAPABILITIES* Capabilities);
ULONG NetReceiveFilterGetPacketFilter(NETRECEIVEFILTER ReceiveFilter);
SIZE_T NetReceiveFilterGetMulticastAddressCount(NETRECEIVEFILTER ReceiveFilter);
// The list (count entries), or null when the count is 0.
const NET_ADAPTER_LINK_LAYER_ADDRESS* NetReceiveFilterGetMulticastAddressList(NETRECEIVEFILTER ReceiveFilter);

// ---- wake ---------------------------------------------------------------------------------------------
typedef struct _NET_ADAPTER_WAKE_MAGIC_PACKET_CAPABILITIES {
    ULONG Size;
    BOOLEAN MagicPacket;
} NET_ADAPTER_WAKE_MAGIC_PACKET_CAPABILITIES;

VOID NetAdapterWakeSetMagicPacketCapabilities(NETADAPTER Adapter,
                                              const NET_ADAPTER_WAKE_MAGIC_PACKET_CAPABILITIES* Capabilities);

// ---- start --------------------------------------------------------------------------------------------
// Starts the adapter (fault point "net.adapterstart", keyed by the WDI port id in decimal).
NTSTATUS NetAdapterStart(NETADAPTER Adapter);
