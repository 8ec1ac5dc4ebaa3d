// The indication layers' records: a port's connection dialogue with the OS, its history and link
// figures, and the adapter's dialogue bytes and the frames of the association being indicated.
#pragma once

#include "kshim/ke.h"
#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

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
    ULONG WakePacketLength;         // bytes of the wake packet stored in WakePacket
    ULONG64 WakeValues[2];
    UCHAR FixedRecord[DOT11_ASSOCIATION_COMPLETION_SIZE];  // when no record buffer can be allocated
} ADAPTER_INDICATION_BLOCK, *PADAPTER_INDICATION_BLOCK;
