// The MLME requests' records: the adapter's and the port's request state, the native scan request's
// header and the connect-control machine's message numbers.
#pragma once

#include <cstddef>

#include "Common/mlme/mlmesync_bss_types.h"
#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "platform/ndiscommon/ndiscommon_types.h"

// Messages posted to the connect-control machine (machine 5).
#define CNTL_MSG_OID_SCAN 0x0D01030Bu
#define CNTL_MSG_OID_CONNECT 0x0E010181u
#define CNTL_MSG_CONNECT_GIVE_UP 0x0D810101u
#define CNTL_MSG_ASSOC_CONFIRM 34
#define CNTL_MSG_AUTH_CONFIRM 35
#define CNTL_MSG_DISASSOC_CONFIRM 37
#define CNTL_MSG_REASSOC_CONFIRM 38
#define CNTL_MSG_JOIN_CONFIRM 40
#define CNTL_MSG_SCAN_CONFIRM 41
#define CNTL_MSG_START_CONFIRM 42

// The OS's native scan request (the body of CNTL_MSG_OID_SCAN): a 56-byte header, then SSID entries
// of 36 bytes and the extra elements, both found by offsets from byte 56.
#define OID_SCAN_REQUEST_HEADER 56u
#define OID_SCAN_REQUEST_SSID_ENTRY 36u
#define OID_SCAN_BSS_TYPE_OFFSET 0
#define OID_SCAN_BSSID_OFFSET 4
#define OID_SCAN_TYPE_OFFSET 12
#define OID_SCAN_RESTRICTED_OFFSET 16
#define OID_SCAN_SSID_OFFSET_OFFSET 20
#define OID_SCAN_SSID_COUNT_OFFSET 24
#define OID_SCAN_IE_OFFSET_OFFSET 48
#define OID_SCAN_IE_LENGTH_OFFSET 52
#define OID_SCAN_TYPE_FORCED 0x80000000u

// The header of the native scan request as it lies in the message body (little-endian words).
#pragma pack(push, 1)
typedef struct _OID_SCAN_REQUEST {
    ULONG BssType;           // 1 infrastructure, 2 independent, 3 any
    UCHAR Bssid[6];          // the BSSID sought (all 0xFF: any)
    UCHAR Reserved0[2];
    ULONG ScanType;          // 1 active, 2 passive, 3 auto; OID_SCAN_TYPE_FORCED may be added
    ULONG Restricted;
    ULONG SsidOffset;        // from the start of the variable part (byte 56)
    ULONG SsidCount;         // entries of OID_SCAN_REQUEST_SSID_ENTRY bytes: u32 length, 32 bytes
    UCHAR Reserved1[20];
    ULONG IeOffset;          // the extra elements of the probe requests, from the variable part
    ULONG IeLength;
} OID_SCAN_REQUEST, *POID_SCAN_REQUEST;
#pragma pack(pop)
static_assert(sizeof(OID_SCAN_REQUEST) == OID_SCAN_REQUEST_HEADER, "the native scan request header is 56 bytes");
static_assert(offsetof(OID_SCAN_REQUEST, Bssid) == OID_SCAN_BSSID_OFFSET, "BSSID at byte 4");
static_assert(offsetof(OID_SCAN_REQUEST, ScanType) == OID_SCAN_TYPE_OFFSET, "scan type at byte 12");
static_assert(offsetof(OID_SCAN_REQUEST, Restricted) == OID_SCAN_RESTRICTED_OFFSET, "restricted flag at byte 16");
static_assert(offsetof(OID_SCAN_REQUEST, SsidOffset) == OID_SCAN_SSID_OFFSET_OFFSET, "SSID offset at byte 20");
static_assert(offsetof(OID_SCAN_REQUEST, SsidCount) == OID_SCAN_SSID_COUNT_OFFSET, "SSID count at byte 24");
static_assert(offsetof(OID_SCAN_REQUEST, IeOffset) == OID_SCAN_IE_OFFSET_OFFSET, "element offset at byte 48");
static_assert(offsetof(OID_SCAN_REQUEST, IeLength) == OID_SCAN_IE_LENGTH_OFFSET, "element length at byte 52");

// Port connection states.
#define PORT_CONN_STATE_IDLE 1
#define PORT_CONN_STATE_CONNECTING 2

#define JOIN_PROGRESS_RECORD_SIZE 80

// The adapter's request state: what the scan, connect, disconnect and radio requests record.
typedef struct _MLME_REQUEST_STATE {
    UCHAR JoinSsid[32];              // the join target's SSID
    UCHAR JoinSsidLen;
    UCHAR AutoReconnect;             // the attempt is an automatic reconnection
    ULONG ConnectingPort;
    UCHAR ConnectActive;
    ULONG JoinTimeoutCount;
    ULONG JoinResult;
    UCHAR JoinByte;
    UCHAR ConnectProgress[JOIN_PROGRESS_RECORD_SIZE];
    ULONG64 ConnectRequestTime;      // local time of the last connect request
    UCHAR SavedWepPending[2];        // a saved WEP key waits to be installed again (both flags set)
    ULONG SavedWepKeyIndex;
    ULONG SavedWepCipher;
    UCHAR SavedWepKeyLength;
    UCHAR SavedWepKey[13];
    UCHAR DisconnectInProgress;
    UCHAR DisconnectByOs;
    UCHAR ForgetLastNetwork;         // a disconnect forgets port 0's desired BSSID
    UCHAR WpsSearchRunning;
    UCHAR RadioCurrent;              // the radio is currently on
    UCHAR PowerControlOff;           // the adapter's power-control switch is off
    UCHAR BssListSortOn;             // the BSS list is reported strongest first
    ULONG CurrentThroughputMbps;     // the adapter's total throughput (the periodic job measures it)
    UCHAR ListenTimerArmed;
    // What the idle beacon intake keeps beside the connection.
    CHAR RssiOffset;                 // added to stored signal strengths
    UCHAR OperatingBandwidth;        // 0 20 MHz, 1 40 MHz
    UCHAR ExtChannelOffset;          // 1 above, 3 below
    UCHAR BandwidthOverride;
    UCHAR MaxPowerSwitch;            // spectrum management: the maximum transmit power applies
    USHORT ApVhtRxMcsMap;            // the access point's VHT and HE MCS maps as last applied
    USHORT ApHeMcsMap[2];
} MLME_REQUEST_STATE, *PMLME_REQUEST_STATE;

// The port's request state.
typedef struct _MLME_PORT_REQUEST_STATE {
    ULONG ConnectionState;           // PORT_CONN_STATE_*
    UCHAR DisconnectInProgress;
    ULONG BssTypeCode;               // 0 infrastructure, 1 ad hoc, 4, 6
    ULONG DesiredBssType;            // the OS's desired BSS type
    UCHAR DesiredBssid[6];
    UCHAR DesiredBssidFollow[2];
    UCHAR TestModeDisconnect;
    ULONG RoamRetryCount;
    ULONG DiscoveryBudgetMs;         // Wi-Fi Direct discovery time budget (the discovery task sets it)
    ULONG P2pSavedState;             // the Wi-Fi Direct state saved by a scan or connect request
    UCHAR ActionTransmitArmed;
    PLATFORM_TIMER ActionChannelTimer;  // "ChannelSwitchTimeoutCallback": the action frame's channel time
    UCHAR ListenOnChannel;
    UCHAR ListenStop;
    UCHAR ListenRestart;
    UCHAR KeepListen;
    ULONG ListenState;
    ULONG ListenDwellMs;
    UCHAR P2pScanPhase;              // the Wi-Fi Direct scan phase
    UCHAR DbdcBandIndex;             // the port's radio under dual-band concurrency (0 the main radio)
    ULONG SavedPacketFilter;
    ULONG TxPendingCount;
    // What the idle beacon intake follows for the connected network.
    BSS_ENTRY SavedBssEntry;         // the port's copy of its access point's entry
    NDIS_RW_LOCK SavedBssEntryLock;
    ULONG64 OwnBeaconCount;
    ULONG64 ForeignBeaconCount;
    ULONG StatisticsWord;            // bit 2: the beacon counters are kept
    UCHAR LowPower;                  // the power path keeps the port asleep
    UCHAR McsWatch;
    UCHAR PowerConstraintInForce;
    ULONG TxPowerSetting;
    UCHAR ChSwitchHold;
    CHAR BandwidthLock;              // negative: the bandwidth is not followed
    UCHAR BandwidthCapability;       // bits 0..1: 40 MHz capable
    UCHAR P2pSwitch;                 // the port's Wi-Fi Direct switch
    UCHAR P2pHtSwitch;
    UCHAR HighestRateIndex;          // the port's highest supported rate index (3 and below: CCK)
    UCHAR EdcaCount;                 // the EDCA parameter-set count last applied
    UCHAR QbssLoad[6];
    UCHAR QosCapability[5];
} MLME_PORT_REQUEST_STATE, *PMLME_PORT_REQUEST_STATE;
