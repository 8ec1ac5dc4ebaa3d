// The connect-control machine's records: the requests it posts, the adapter's connect context shared
// by the ports and the per-port connection state the machine reads and writes.
#pragma once

#include <cstddef>

#include "Common/mlme/mlmesync_bss_types.h"
#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

// Port flag word bits the connection sets and clears (bit 0 infrastructure and bit 1 ad hoc are
// PORT_STATUS_INFRA_LINK_UP and PORT_STATUS_ADHOC_LINK_UP).
#define PORT_STATUS_MEDIA_CONNECTED 0x00000080u
#define PORT_STATUS_DISASSOC_INDICATE 0x00200000u

// Port-secured state of the adapter.
#define PORT_SECURED 1
#define PORT_NOT_SECURED 2

// Bits of a port's link-progress word.
#define LINK_PROGRESS_UP_STARTED 0x01u
#define LINK_PROGRESS_UP_DONE 0x02u
#define LINK_PROGRESS_DOWN_STARTED 0x10u
#define LINK_PROGRESS_DOWN_DONE 0x20u

// The connect attempt's candidate table holds at most this many entries.
#define CONNECT_CANDIDATE_MAX 256

// Capability information bits passed on from the access point into an association request.
#define ASSOC_CAPABILITY_MASK 0x1533
// Waits the machine gives the authentication and association machines.
#define CNTL_AUTH_TIMEOUT_MS 200
#define CNTL_ASSOC_TIMEOUT_MS 250
// Channel time asked for the joined channel.
#define CNTL_JOIN_PRIVILEGE_MS 4000
// The connection-completion timer's short restart when no candidate is left.
#define CNTL_NO_CANDIDATE_MS 100

// Authentication algorithms of an authentication request.
#define AUTH_REQ_ALGORITHM_OPEN 0
#define AUTH_REQ_ALGORITHM_SHARED 1
#define AUTH_REQ_ALGORITHM_FT 2

// Body of an ad hoc start request to the sync machine: the SSID and its length.
typedef struct _MLME_START_REQ {
    UCHAR Ssid[32];
    UCHAR SsidLen;
} MLME_START_REQ, *PMLME_START_REQ;
static_assert(sizeof(MLME_START_REQ) == 33, "start request body is 33 bytes");

// The connect attempt's context in the adapter (one for all ports).
typedef struct _MLME_CNTL_ADAPTER_BLOCK {
    UCHAR MlmeSsid[32];            // the SSID being connected
    UCHAR MlmeSsidLen;
    UCHAR MlmeBssid[6];            // the access point being joined
    UCHAR Roaming;                 // set after a completed connection: attempts count as roams
    UCHAR KeepReconnecting;
    ULONG ReconnectCount;
    ULONG CandidateIndex;
    ULONG RoamCandidateIndex;      // index into the roaming-candidate table of a reassociation walk
    ULONG AuthAttempt;             // 1 first try, 2 second try
    UCHAR NetworkType;             // 1 infrastructure, 2 ad hoc
    UCHAR KeepOldEntry;            // link down keeps the old access point's scan entry
    UCHAR PortSecured;             // PORT_SECURED or PORT_NOT_SECURED
    UCHAR IndicateDisassoc;
    UCHAR DbdcActive;              // dual-band concurrency is running
    UCHAR DbdcCompanion;           // dual-band concurrency runs with its companion radio: no re-ranking        // a disassociation confirm before a new connection is reported
    UCHAR PendingConnect[8];       // per port: a connect is pending (cleared at association success)
    ULONG64 ConnectScanStart;      // system time the connect scan started
    ULONG64 ConnectTime;           // system time the candidate list was built
    ULONG64 JoinTime;              // system time of the last join success
    ULONG64 AuthTime;              // system time of the last authentication confirm
    ULONG64 LinkTime;              // system time of the last association success
} MLME_CNTL_ADAPTER_BLOCK, *PMLME_CNTL_ADAPTER_BLOCK;

#define PMKSA_CACHE_ENTRIES 8
#define PMKSA_CACHE_ENTRY_SIZE 28
#define SAE_PORT_STATE_SIZE 108

// The MBO association-delay record of a port.
typedef struct _MBO_ASSOC_DELAY {
    UCHAR Valid;
    UCHAR Bssid[6];
    UCHAR DelaySeconds;
    ULONG StartTime;               // low 32 bits of the system time (100 ns units)
} MBO_ASSOC_DELAY, *PMBO_ASSOC_DELAY;

// What the connect-control machine keeps per port.
typedef struct _MLME_CNTL_PORT_BLOCK {
    UCHAR RoamRequest;             // set by the OS roam task
    ULONG RoamParameter;
    UCHAR PrevApAddress[6];
    UCHAR FtEnabled;
    UCHAR FtSecondAuth;
    UCHAR FtParams;
    PUCHAR FtIeBuffer;             // the fast-transition elements for the authentication
    ULONG FtIeLength;
    UCHAR UseFt;
    UCHAR FtBlock;                 // fast transition refused for the port
    UCHAR FullSaeNeeded;
    UCHAR PmksaCachingAttempted;
    UCHAR SaeCommitCount;
    ULONG WpsStatus;
    UCHAR WpsPeerAddress[6];
    MBO_ASSOC_DELAY AssocDelay;
    PLATFORM_TIMER AssocDelayTimer;
    USHORT BeaconLossMarker;       // set by the beacon time-out event
    ULONG ConnectionPhase;         // 1 idle, 2 joining
    UCHAR PrevLinkBssid[6];        // the BSSID of the previous link
    ULONG LinkProgress;            // LINK_PROGRESS_*
    BSS_ENTRY LastBss;             // the last RSNA access point, kept at link down
    USHORT LinkUpInProgress;       // 1 while link up runs
    // The security choice for the candidate being tried.
    ULONG PairwiseCipher;
    ULONG GroupCipher;
    ULONG AkmValue;
    USHORT RsnCapability;
    UCHAR RsnCapabilityExtra;
    UCHAR MixedCipher;
    UCHAR PmfByte;                 // bit 7 capable, bit 6 in use
    // The PMKSA cache the OS gives (BSSID first in each entry) and the SAE state it goes with.
    UCHAR PmksaCache[PMKSA_CACHE_ENTRIES][PMKSA_CACHE_ENTRY_SIZE];
    ULONG PmksaCount;
    UCHAR SaeState[SAE_PORT_STATE_SIZE];
} MLME_CNTL_PORT_BLOCK, *PMLME_CNTL_PORT_BLOCK;
