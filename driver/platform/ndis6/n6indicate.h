// Indications to the OS that the shell makes.
#pragma once

#include "kshim/ke.h"
#include "kshim/netadapter_queue.h"
#include "kshim/nt_types.h"
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

// The connection dialogue of a port with the OS.
typedef struct _PORT_INDICATION_STATE {
    ULONG LastIndication;      // attempted last, allowed or not
    ULONG AllowedMask;         // codes that may be passed on next
    UCHAR ResetFlag;           // PlatformIndicateResetAllStatus runs for the port
    UCHAR Busy;                // an indication of the port is being passed on
    UCHAR ConnectionStarted;   // a connection start was passed on, its completion is due
    UCHAR AssociationStarted;  // an association start was passed on, its completion is due
} PORT_INDICATION_STATE, *PPORT_INDICATION_STATE;

#define PORT_INDICATION_HISTORY_SIZE 63

typedef struct _PORT_INDICATION_RECORD {
    ULONG LastIndication;
    ULONG AllowedMask;  // before the indication changes it
    ULONG CallerCode;
    UCHAR ResetFlag;
    UCHAR ConnectionStarted;
    UCHAR AssociationStarted;
    UCHAR Allowed;      // (allowed mask AND last indication) != 0
} PORT_INDICATION_RECORD;

typedef struct _PORT_INDICATION_HISTORY {
    PORT_INDICATION_RECORD Records[PORT_INDICATION_HISTORY_SIZE];
    UCHAR NextIndex;
} PORT_INDICATION_HISTORY;

#define PORT_FT_ELEMENT_BUFFERS 2
#define PORT_SSID_MAX 32

// The port's share of the indication layers: the dialogue and its history, the link figures the OS
// is told, and the connection values the indications carry.
typedef struct _PORT_INDICATION_BLOCK {
    PORT_INDICATION_STATE State;
    PORT_INDICATION_HISTORY History;
    KSPIN_LOCK Lock;                          // the dialogue's test-and-update
    PLATFORM_TIMER ConnectionTimeoutTimer[2]; // "ConnectionTimeoutTimer": the first is the connection's 9000 ms
    UCHAR RefusedRoam;          // the roam task refused a roam and ends it with a connection completion
    UCHAR BeaconLost;           // the link was lost to missing beacons: no disassociation to the OS
    UCHAR DisconnectWaiting;    // the disconnect task waits for the disassociation
    UCHAR ConnectFailed;        // the last connection completion carried a failure
    UCHAR AuthMappedFrom11;     // the OS asked for algorithm 11, stored as 6
    UCHAR Reassociation;        // the association was a reassociation
    UCHAR FtState[4];           // the four fast-transition state bytes
    USHORT RoamWord;
    UCHAR ParamsRequested;      // the association parameters were asked for (reason 159)
    UCHAR RoamTarget[6];
    ULONG MulticastCipher;      // OS numbering
    UCHAR Ssid[PORT_SSID_MAX];
    UCHAR SsidLength;
    // Link figures.
    ULONG64 TxLinkSpeed;        // bits per second
    ULONG64 RxLinkSpeed;
    CHAR ReportedRssi;          // dBm
    UCHAR LastLinkQuality;      // 0..100
    CHAR SignalStrength;        // dBm, the link-quality event's
    CHAR ChainRssi[3];          // per receive chain, dBm
    ULONG TxRateWord;           // the current transmit rate word
    ULONG TxRateWord2;          // the rate word after it
    ULONG AdhocRateWord;        // the rate word of an ad hoc network
    UCHAR HtInUse;              // the association uses HT (set by the join)
    UCHAR HeInUse;
    UCHAR VhtSwitch;            // the port's VHT switch
    UCHAR LegacyRateCount;
    UCHAR CipherKind;           // 3 or 13: TKIP
    ULONG LastEventRate;        // link rate of the last link-quality event (500 kb/s units)
    ULONG PhyBandwidth;         // bandwidth field of the second PHY configuration word
    ULONG PhyMcs;               // MCS field of the third
    // Hash-to-element SAE: in use, and the length of the element found in the commit.
    UCHAR SaeH2e;
    UCHAR SaeH2eElementLength;
    PUCHAR FtElements[PORT_FT_ELEMENT_BUFFERS];
    ULONG FtElementLengths[PORT_FT_ELEMENT_BUFFERS];
} PORT_INDICATION_BLOCK, *PPORT_INDICATION_BLOCK;

#define WAKE_PACKET_BUFFER_SIZE 2048
#define DOT11_ASSOCIATION_COMPLETION_SIZE 96

// The connect request as the connect path records it for the indications.
typedef struct _INDICATION_CONNECT_REQUEST {
    UCHAR OsInitiated;
    UCHAR Bssid[6];
    UCHAR Ssid[PORT_SSID_MAX];
    UCHAR SsidLength;
    UCHAR ConnectionIndicated;
} INDICATION_CONNECT_REQUEST;

// The adapter's share: the dialogue bytes and the frames of the association being indicated (each
// stored with its 24-byte MAC header; the connect path owns the buffers).
typedef struct _ADAPTER_INDICATION_BLOCK {
    UCHAR ConnectionStartPending;   // the OS asked to connect: one connection start may pass
    UCHAR ConnectionInProgress;     // from a passed connection start to its completion
    UCHAR AssocParamsRequest;       // a peer disassociated the station: ask the OS for parameters
    UCHAR FwStallReporting;         // the OS enabled firmware-stall reporting
    UCHAR P2pCertification;         // a provision-discovery response went out under the certification setting
    UCHAR AssociatingBssid[6];      // the BSSID being associated
    UCHAR PendingBssid[6];          // the pending connection's BSSID
    const UCHAR* Beacon;            // the stored beacon or probe response of that BSS
    ULONG BeaconLength;
    const UCHAR* AssocRequest;
    ULONG AssocRequestLength;
    const UCHAR* AssocResponse;
    ULONG AssocResponseLength;
    ULONG ActivePhyType;
    ULONG ScanDeviceContext;        // the value the scan task stored
    ULONG WdiFlags;                 // bit 0x200000: a connection completed with success
    INDICATION_CONNECT_REQUEST ConnectRequest;
    UCHAR WakePacket[WAKE_PACKET_BUFFER_SIZE];
    ULONG64 WakeValues[2];
    UCHAR FixedRecord[DOT11_ASSOCIATION_COMPLETION_SIZE];  // when no record buffer can be allocated
} ADAPTER_INDICATION_BLOCK, *PADAPTER_INDICATION_BLOCK;

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
