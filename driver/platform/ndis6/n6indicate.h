// Indications to the OS that the shell makes.
#pragma once

#include "kshim/ke.h"
#include "kshim/netadapter_queue.h"
#include "kshim/nt_types.h"
#include "platform/ndis6/n6indicate_types.h"
#include "platform/ndiscommon/ndiscommon.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;
typedef struct _NET_BUFFER_LIST NET_BUFFER_LIST, *PNET_BUFFER_LIST;

// Records the disassociation in the port's history and indicates it to the OS for the peer.
void PlatformIndicateDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG reason,
                                    ULONG sourceCode);
// The radio state (software and hardware switches) to the OS.
void PlatformIndicateCurrentRadioState(PMP_ADAPTER adapter, ULONG portNumber, LONG status);
// The end of an OS scan on the port.
void PlatformIndicateScanStatus(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG done, ULONG reason);
// Empties the transmit queues of port 0 (TxProcq 0-4, TxDoneWaitq, with includeCommands also
// TxDWaitq, then TxBmcPsq 0) and flushes the power-save queues of its stations: records carrying an
// OS buffer are completed, the others (NetAdapterCx packets among them) returned to their pool.
void PlatformIndicateRejectPendingPackets(PMP_ADAPTER adapter, UCHAR includeCommands);
// Roaming completion point of a port; trace only.
void PlatformIndicateRoamingCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status);
// Transmit completion of one record: a NetAdapterCx packet is marked finished under its queue's
// lock (finished packets may go back to the OS at once, and the OS is notified once per enabling),
// then the record returns to its pool. The status is not used.
void PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status);
// The same without the buffer-list check (transmit-done reports).
void PlatformIndicateXmitPktToNdisEx(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status);
// Transmission may restart: the OS is told only when a pause reason was stored, which never happens.
void N6PlatformIndicateTxSendRestartToWdi(PMP_ADAPTER adapter);
// The same after a firmware recovery.
void PlatformIndicateXmitPktToNdisWhenSER(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status);
// Returns the finished packets of the record's transmit queue to the OS at once (while a Wi-Fi
// Direct group owner runs); the caller holds the queue's lock.
void PlatformDrainPkts(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
// Returns every outstanding packet of a transmit queue to the OS.
void PlatformCancelTxQueuePkts(NETPACKETQUEUE queue);
// Completes every pending transmit record of a port (or of one peer of the port).
void PlatformIndicateTxAbortPendingPacketsByPort(PMP_ADAPTER adapter, USHORT portIndex);
void PlatformIndicateTxAbortPendingPacketsByPeerAddr(PMP_ADAPTER adapter, USHORT portIndex, const UCHAR* address);

// Receive hand-off: the frame goes to the port's NetAdapterCx receive queue, or is dropped (its
// record returned). TRUE when the queue took it. The last three arguments matter only to the
// buffer-list path, which this system does not use.
BOOLEAN NdisCommonReportEthFrameToLLC(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record,
                                      UCHAR userPriority, UCHAR apFlag, UCHAR immediate);
BOOLEAN Ndis6CommonReportEthFrameToLLC(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record,
                                       UCHAR userPriority, UCHAR apFlag, UCHAR immediate);
// The buffer-list receive indication of a port's receive batch (a chain of receive records linked
// through their list links, `count` of them): the OS's buffer-list receive entry is never registered in
// this system, so every record is returned to its pool (traced). PlatformIndicateRecvPktToNdis forwards.
void PlatformIndicateRecvPktToNdis(PMP_ADAPTER adapter, PLIST_ENTRY chain, ULONG portIndex, ULONG count);
void N6PlatformIndicateRecvPktToNdis(PMP_ADAPTER adapter, PLIST_ENTRY chain, ULONG portIndex, ULONG count);
// Looks for the Hotspot 2.0 test authority's certificate in a received EAP frame.
void Check_For_CAFake_Cert(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record);
// Hands a buffer-list chain back to the OS (send completion); a null chain does nothing.
void N6PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PNET_BUFFER_LIST chain, ULONG reserved, ULONG flags);
// Resets the port's indication history and state (port start-up of the MLME core).
void PlatformIndicateResetAllStatus(PMP_ADAPTER adapter, PMP_PORT port);

// ---- indication codes: one bit each (the port's last indication and its allowed mask) ------------------
#define INDICATION_CONNECTION_START 0x0001u
#define INDICATION_ASSOCIATION_START 0x0002u
#define INDICATION_ASSOCIATION_COMPLETION 0x0004u
#define INDICATION_CONNECTION_COMPLETION 0x0008u
#define INDICATION_ALLOW_BIT_16 0x0010u
#define INDICATION_ALLOW_BIT_32 0x0020u
#define INDICATION_DISASSOCIATION 0x0040u
#define INDICATION_RESET 0x8000u

// Allowed masks after each step.
#define INDICATION_ALLOWED_IDLE 81u                  // after a reset or a connection completion
#define INDICATION_ALLOWED_CONNECTING 10u            // after a connection start
#define INDICATION_ALLOWED_ASSOCIATING 4u            // after an association start
#define INDICATION_ALLOWED_ASSOCIATED 42u            // after an association completion
#define INDICATION_ALLOWED_DISASSOCIATED 17u         // after a disassociation

// Caller codes: below 900 the core's calling places; 900 and above only the reset.
#define INDICATION_CALLER_RESET_FIRST 900u
#define INDICATION_CALLER_RESET_CLOSE 39321u

#define NDIS_STATUS_DOT11_DISASSOCIATION 0x40030008u

#pragma pack(push, 1)
// The disassociation record of an access-point status.
typedef struct _DOT11_DISASSOCIATION_PARAMETERS {
    UCHAR Type;
    UCHAR Revision;
    USHORT Size;
    UCHAR MacAddr[6];
    USHORT Reserved;
    ULONG uReason;
    ULONG uIHVDataOffset;
    ULONG uIHVDataSize;
} DOT11_DISASSOCIATION_PARAMETERS;
#pragma pack(pop)
static_assert(sizeof(DOT11_DISASSOCIATION_PARAMETERS) == 24, "the disassociation record is 24 bytes");
#define CONNECTION_TIMEOUT_MS 9000u

// ---- ordered indications of the connection dialogue ---------------------------------------------------
void PlatformIndicateConnectionStart(PMP_ADAPTER adapter, PMP_PORT port, ULONG bssType, const UCHAR* bssid,
                                     const UCHAR* ssid, ULONG ssidLength, ULONG callerCode);
// `bssEntry` is the entry being joined (traced only).
void PlatformIndicateAssociationStart(PMP_ADAPTER adapter, PMP_PORT port, const void* bssEntry, UCHAR osInitiated,
                                      ULONG callerCode);
NTSTATUS PlatformIndicateAssociationCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG callerCode);
NTSTATUS PlatformIndicateConnectionCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG callerCode);
// An access-point port's status; for a disassociation the record is a DOT11_DISASSOCIATION_PARAMETERS
// whose peer is indicated.
void PlatformIndicateAPStatus(PMP_ADAPTER adapter, ULONG portIndex, ULONG statusCode, const void* record,
                              ULONG recordSize, ULONG callerCode);

// ---- forwarders ----------------------------------------------------------------------------------------
void PlatformIndicateDot11Status(PMP_ADAPTER adapter, PMP_PORT port, ULONG status);
UCHAR PlatformIndicateLinkQuality(PMP_ADAPTER adapter, ULONG portIndex);
void PlatformIndicateMICFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyKind, ULONG keyIndex);
void PlatformIndicateNLODiscovery(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length, LONG rssi);
UCHAR PlatformIndicateNewLinkSpeed(PMP_ADAPTER adapter, ULONG portIndex, ULONG ignored, UCHAR linkUp);
void PlatformIndicateRoamingStart(PMP_PORT port);
