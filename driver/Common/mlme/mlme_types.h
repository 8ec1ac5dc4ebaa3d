// The MLME core's records: the MLME queue and its elements, the state-machine records, the MLME
// buffer pool, and the MLME blocks of the adapter and of each port.
#pragma once

#include <atomic>

#include "Common/mlme/mlmeassoc_types.h"
#include "Common/mlme/mlmeconnect_types.h"
#include "Common/mlme/mlmereq_types.h"
#include "Common/mlme/mlmesync_bss_types.h"
#include "Common/mlme/mlmesync_join_types.h"
#include "Common/mlme/mlmesync_scan_types.h"
#include "Common/qzcmd_scan_types.h"
#include "kshim/ke.h"
#include "platform/ndiscommon/ndiscommon_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- the MLME buffer pool ----------------------------------------------------------------------------------
#define MLME_BUFFER_SIZE 2048
#define MLME_BUFFER_MAGIC 0x0C7B0C7Bu

// One pool block: on exactly one of the pool's two lists.
typedef struct _MLME_BUFFER_BLOCK {
    LIST_ENTRY Link;
    ULONG Magic;     // MLME_BUFFER_MAGIC; a block with another value is never handed out, returned or freed
    ULONG OwnerTag;  // the allocating caller's id; 0 while free
    UCHAR InUse;     // 1 while on the used list
    UCHAR Buffer[MLME_BUFFER_SIZE];
} MLME_BUFFER_BLOCK, *PMLME_BUFFER_BLOCK;

typedef struct _MLME_BUFFER_POOL {
    LIST_ENTRY FreeList;
    LIST_ENTRY UsedList;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
    ULONG BlocksCreated;
    ULONG FreeCount;
    ULONG UsedCount;
    UCHAR Ready;  // 1 after creation, 0 from the start of the teardown
} MLME_BUFFER_POOL, *PMLME_BUFFER_POOL;

// ---- the MLME queue ----------------------------------------------------------------------------------------
#define MLME_QUEUE_ELEM_SIZE 2080  // what a caller allocates for one element built on the spot
#define MLME_MSG_SIZE 2048
#define MAX_LEN_OF_MLME_QUEUE 200
#define MLME_QUEUE_RECV_LIMIT 197  // received frames leave the last three elements to internal senders

// Machine numbers (MLME_MACHINE_ID).
#define MLME_ASSOC_STATE_MACHINE 1
#define MLME_AUTH_STATE_MACHINE 2
#define MLME_AUTH_RSP_STATE_MACHINE 3
#define MLME_SYNC_STATE_MACHINE 4
#define MLME_CNTL_STATE_MACHINE 5
#define MLME_DLS_STATE_MACHINE 7         // produced by the classifier, discarded
#define MLME_ACTION_STATE_MACHINE 8
#define MLME_WPS_STATE_MACHINE 9         // produced by the access-point classifier, discarded
#define MLME_AP_ASSOC_STATE_MACHINE 10
#define MLME_AP_AUTH_STATE_MACHINE 11
#define MLME_AP_AUTH_RSP_STATE_MACHINE 12
#define MLME_AP_SYNC_STATE_MACHINE 13
#define MLME_AP_EAPOL_STATE_MACHINE 15   // produced by the access-point classifier, discarded
#define MLME_P2P_ACTION_STATE_MACHINE 17
#define MLME_PMF_STATE_MACHINE 18
#define MLME_TWT_STATE_MACHINE 19
#define MLME_SAE_STATE_MACHINE 20

// Messages the MLME core itself names.
#define MT2_MLME_DISASSOC_REQ 2
#define MT2_PEER_DISASSOC_REQ 3
#define MT2_PEER_BEACON 3
#define MT2_PEER_PROBE_RSP 4
#define MT2_PEER_ATIM 5
#define MT2_PEER_PROBE_REQ 9
#define MT2_PEER_ASSOC_REQ 4
#define MT2_PEER_ASSOC_RSP 5
#define MT2_PEER_REASSOC_REQ 6
#define MT2_PEER_REASSOC_RSP 7
#define MT2_PEER_AUTH_ODD 1              // AUTH_RSP: odd-numbered authentication frames
#define MT2_PEER_DEAUTH 2                // AUTH_RSP: deauthentication
#define MT2_PEER_AUTH_EVEN 1             // AUTH: even-numbered authentication frames
#define MT2_SAE_PEER_COMMIT 1
#define MT2_SAE_PEER_CONFIRM 3
#define MT2_PMF_SA_QUERY_START 0
#define MT2_PMF_SA_QUERY_REQ 1
#define MT2_PMF_SA_QUERY_RSP 2
#define MT2_ACTION_PUBLIC 4
#define MT2_ACTION_VENDOR_OTHER 13       // action categories above 21
#define MT2_ACTION_OTHER_DIALOG 0x113u   // a public action frame that is not the awaited answer (above every category)
#define MT2_ACTION_FRAME_DONE 0x111u     // the action frame the port sent was delivered or answered (above every category)
#define MT2_ACTION_CATEGORY_MAX 21

typedef struct _MLME_QUEUE_ELEM {
    ULONG Machine;
    ULONG MsgType;
    ULONG MsgLen;      // valid body bytes, at most MLME_MSG_SIZE
    ULONG PortIndex;
    UCHAR Rssi0;       // signed dBm per receive chain; received frames only
    UCHAR Rssi1;
    UCHAR Rssi2;
    UCHAR Band;        // band of reception; received frames only
    UCHAR Channel;
    UCHAR WlanIdx;     // sender's WLAN index, 255 without an entry; received frames only
    UCHAR Occupied;    // 1 from enqueue until the handler has finished with the element
    UCHAR Msg[MLME_MSG_SIZE];
} MLME_QUEUE_ELEM, *PMLME_QUEUE_ELEM;
static_assert(sizeof(MLME_QUEUE_ELEM) <= MLME_QUEUE_ELEM_SIZE, "an MLME element fits its 2080 bytes");

typedef struct _MLME_QUEUE {
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
    ULONG Num;   // queued elements, 0..200
    ULONG Head;  // next element to take
    ULONG Tail;  // next free element
    MLME_QUEUE_ELEM Entry[MAX_LEN_OF_MLME_QUEUE];
} MLME_QUEUE, *PMLME_QUEUE;

// ---- state machines -------------------------------------------------------------------------------------------
// An action of a table machine; it finds its port through the element's port index and sets the
// next state itself.
typedef VOID STATE_MACHINE_FUNC(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
typedef STATE_MACHINE_FUNC* PSTATE_MACHINE_FUNC;

typedef struct _STATE_MACHINE {
    LONG Base;       // message number of column 0
    ULONG NrState;
    ULONG NrMsg;
    ULONG CurrState;
    PSTATE_MACHINE_FUNC* TransFunc;  // NrState x NrMsg actions, row-major by state
    UCHAR Flag;
} STATE_MACHINE, *PSTATE_MACHINE;

// A machine given by a constant table of rows with entry, handler and exit routines per state.
typedef VOID ENTRY_EXIT_ROUTINE(PMP_ADAPTER adapter, PMP_PORT port);
typedef VOID ENTRY_EXIT_HANDLER(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);

typedef struct _ENTRY_EXIT_STATE {
    ULONG StateId;
    ENTRY_EXIT_ROUTINE* Entry;
    ENTRY_EXIT_HANDLER* Handler;
    ENTRY_EXIT_ROUTINE* Exit;
} ENTRY_EXIT_STATE, *PENTRY_EXIT_STATE;

typedef struct _ENTRY_EXIT_STATE_MACHINE {
    PMP_PORT Port;
    ULONG RowCount;
    ULONG CurrentState;
    const ENTRY_EXIT_STATE* Rows;
} ENTRY_EXIT_STATE_MACHINE, *PENTRY_EXIT_STATE_MACHINE;

// The connect-control machine's record: it has no action table, its owner switches on the state.
typedef struct _MLME_CNTL_MACHINE {
    ULONG CurrState;
    std::atomic<UCHAR> ResetRequest;  // set by the OS abort work item, cleared on the MLME thread
} MLME_CNTL_MACHINE, *PMLME_CNTL_MACHINE;

// Dimensions of the table machines.
#define ASSOC_MACHINE_STATES 4
#define ASSOC_MACHINE_MSGS 11
#define AUTH_MACHINE_STATES 3
#define AUTH_MACHINE_MSGS 3
#define SAE_MACHINE_STATES 5
#define SAE_MACHINE_MSGS 5
#define AUTH_RSP_MACHINE_STATES 2
#define AUTH_RSP_MACHINE_MSGS 3
#define SYNC_MACHINE_STATES 5
#define SYNC_MACHINE_MSGS 11
#define TWT_MACHINE_STATES 1
#define TWT_MACHINE_MSGS 10
#define PMF_MACHINE_STATES 2
#define PMF_MACHINE_MSGS 4
#define P2P_ACTION_MACHINE_STATES 1
#define P2P_ACTION_MACHINE_MSGS 12
#define AP_ASSOC_MACHINE_STATES 1
#define AP_ASSOC_MACHINE_MSGS 6
#define AP_AUTH_MACHINE_STATES 1
#define AP_AUTH_MACHINE_MSGS 2
#define AP_AUTH_RSP_MACHINE_STATES 1
#define AP_AUTH_RSP_MACHINE_MSGS 3
#define AP_SYNC_MACHINE_STATES 1
#define AP_SYNC_MACHINE_MSGS 3

// The ACTION machine's state in which a request was sent and its answer is awaited.
#define ACTION_STATE_SENT 1

// Bits of the port's MLME status word.
#define PORT_MLME_DISCONNECT_REQUESTED 0x04u
#define PORT_MLME_DISCONNECT_DONE 0x08u
#define PORT_MLME_STATUS_BIT_10 0x10u

#include "Common/mlme/mlmesae_types.h"

// The SA Query exchange of a station port: machine state (0 idle, 1 querying), the stop-retry flag, the
// request timer (re-armed every 201 ms while querying) and the confirm timer (1000 ms).
typedef struct _PMF_SA_QUERY_STATE {
    ULONG State;
    UCHAR StopRetry;
    PLATFORM_TIMER RequestTimer;   // "PmfReqTimeoutActionTimer"
    PLATFORM_TIMER ConfirmTimer;   // "PmfConfirmTimeoutActionTimer"
} PMF_SA_QUERY_STATE, *PPMF_SA_QUERY_STATE;

// A port's machines with their action tables, and the port state the MLME core reads and resets.
typedef struct _MLME_PORT_BLOCK {
    STATE_MACHINE AssocMachine;
    PSTATE_MACHINE_FUNC AssocFunc[ASSOC_MACHINE_STATES * ASSOC_MACHINE_MSGS];
    STATE_MACHINE AuthMachine;
    PSTATE_MACHINE_FUNC AuthFunc[AUTH_MACHINE_STATES * AUTH_MACHINE_MSGS];
    STATE_MACHINE SaeMachine;
    PSTATE_MACHINE_FUNC SaeFunc[SAE_MACHINE_STATES * SAE_MACHINE_MSGS];
    SAE_PORT_STATE Sae;
    STATE_MACHINE AuthRspMachine;
    PSTATE_MACHINE_FUNC AuthRspFunc[AUTH_RSP_MACHINE_STATES * AUTH_RSP_MACHINE_MSGS];
    STATE_MACHINE SyncMachine;
    PSTATE_MACHINE_FUNC SyncFunc[SYNC_MACHINE_STATES * SYNC_MACHINE_MSGS];
    STATE_MACHINE TwtMachine;
    PSTATE_MACHINE_FUNC TwtFunc[TWT_MACHINE_STATES * TWT_MACHINE_MSGS];
    ENTRY_EXIT_STATE_MACHINE ActionMachine;
    STATE_MACHINE PmfMachine;
    PSTATE_MACHINE_FUNC PmfFunc[PMF_MACHINE_STATES * PMF_MACHINE_MSGS];
    PMF_SA_QUERY_STATE Pmf;
    STATE_MACHINE P2pActionMachine;
    PSTATE_MACHINE_FUNC P2pActionFunc[P2P_ACTION_MACHINE_STATES * P2P_ACTION_MACHINE_MSGS];
    MLME_CNTL_MACHINE CntlMachine;
    MLME_CNTL_PORT_BLOCK Cntl;
    STATE_MACHINE ApAssocMachine;
    PSTATE_MACHINE_FUNC ApAssocFunc[AP_ASSOC_MACHINE_STATES * AP_ASSOC_MACHINE_MSGS];
    STATE_MACHINE ApAuthMachine;
    PSTATE_MACHINE_FUNC ApAuthFunc[AP_AUTH_MACHINE_STATES * AP_AUTH_MACHINE_MSGS];
    STATE_MACHINE ApAuthRspMachine;
    PSTATE_MACHINE_FUNC ApAuthRspFunc[AP_AUTH_RSP_MACHINE_STATES * AP_AUTH_RSP_MACHINE_MSGS];
    STATE_MACHINE ApSyncMachine;
    PSTATE_MACHINE_FUNC ApSyncFunc[AP_SYNC_MACHINE_STATES * AP_SYNC_MACHINE_MSGS];

    // Security state read by the frame classifier and reset by a restart.
    UCHAR SaeInUse;               // the port authenticates with SAE
    USHORT SaeStatus;
    UCHAR SaeRetransCount;
    UCHAR PmfEnabled;             // management-frame protection enabled on the port
    UCHAR MgmtMicPresent;         // the last deauthentication or disassociation carried a Management MIC element
    ULONG UnicastCipher;          // OS numbering (4 CCMP)
    ULONG AuthAlgorithm;          // OS numbering (8, 9, 0x80000006 protected-management suites)
    ULONG StatusWord;             // PORT_MLME_*
    UCHAR PendingActionToken;     // dialog token of the action frame whose answer is awaited
    ULONG P2pPublicActionState;
    // Access-point roles: the two started flags the frame intake tests.
    UCHAR GoStarted;
    UCHAR ApStarted;
    // The machine timers a restart cancels (bound with the port's timers): "MlmeAssocTimeoutTimerCallbackTimer",
    // "MlmeAssocReAssocTimeoutTimerCallbackTimer", "MlmeAssocDisAssocTimeoutTimerCallbackTimer",
    // "AuthTimeoutTimer", "BeaconTimeoutTimer" and "SAETimeoutTimer".
    PLATFORM_TIMER AssocTimeoutTimer;
    PLATFORM_TIMER ReassocTimeoutTimer;
    PLATFORM_TIMER DisassocTimeoutTimer;
    PLATFORM_TIMER AuthTimeoutTimer;
    PLATFORM_TIMER BeaconTimeoutTimer;
    PLATFORM_TIMER SaeTimeoutTimer;
    // Scanning and the MLME requests.
    MLME_PORT_SCAN_STATE Scan;
    MLME_PORT_REQUEST_STATE Req;
    MLME_CONN_PORT_BLOCK Conn;     // authentication, fast transition and connection timers
    // Link-parameter upkeep: the port's copy of its EDCA record (AsicSetEdcaParm), and the firmware
    // operating mode the periodic work chose for a 2.4 GHz station (DecideTputMode).
    EDCA_PARM Edca;
    UCHAR TputMode;                // 0, 1 or 2
    UCHAR TputModeChanged;         // the mode is still to be sent to the firmware
} MLME_PORT_BLOCK, *PMLME_PORT_BLOCK;

// The adapter's MLME state beside the queue.
// The transmit-stall watch (every second at dispatch level): per port, how long transmit packets have
// been pending (the data path sets the marker: 1 pending, 0 none); per watched transmit queue, how
// long its pending count has not moved (the data path keeps the current count and the active mark).
#define MLME_TX_STALL_RECORDS 5
typedef struct _MLME_TX_STALL_PORT {
    UCHAR PendingMarker;
    UCHAR Seconds;
    ULONG HangCount;
} MLME_TX_STALL_PORT;
typedef struct _MLME_TX_STALL_QUEUE {
    UCHAR Active;
    ULONG CurrentCount;
    ULONG LastCount;
    UCHAR StallSeconds;
} MLME_TX_STALL_QUEUE;
typedef struct _MLME_TX_STALL_BLOCK {
    MLME_TX_STALL_PORT Ports[MLME_TX_STALL_RECORDS];
    MLME_TX_STALL_QUEUE Queues[MLME_TX_STALL_RECORDS];
    UCHAR DynamicIcsOn;        // dynamic ICS logging switched on by the watch
    ULONG DynamicIcsQueue;     // the queue that switched it on
} MLME_TX_STALL_BLOCK;

// The periodic MLME work: the 100 ms heartbeat's counters, the traffic figures of each second, the
// watchdog timers of port 0 beside the heartbeat, and the ping power pacing.
typedef struct _MLME_PERIODIC_BLOCK {
    ULONG Ticks;                   // 100 ms ticks
    ULONG Seconds;
    LONGLONG LastSecondTime;       // system time of the last 1 s tick
    ULONG SamplingPeriodUs;        // 1,000,000
    // Traffic: the counters the data path keeps, their values a second ago, and the figures of the
    // last second (bytes, bytes per microsecond, Mbit/s and kbit/s).
    ULONG64 TxBytes;
    ULONG64 RxBytes;
    ULONG64 LastTxBytes;
    ULONG64 LastRxBytes;
    ULONG TxDelta;
    ULONG RxDelta;
    ULONG TotalBytesPerUs;
    ULONG TotalMbps;
    ULONG TxMbps;
    ULONG RxMbps;
    ULONG TotalKbps;
    ULONG PrevTxMbps;              // DecideTputMode: the figures of the second before
    ULONG PrevRxMbps;
    ULONG TputIdleCount;
    // PCI Express latency tolerance from traffic activity (every 200 ms).
    ULONG Packets;                 // transmitted plus received packets, kept by the data path
    ULONG LastPackets;
    UCHAR LtrActive;
    ULONG LtrCountdown;
    // The DHCP test disconnect, the SAR sensor tries and the power-on calibration fetch.
    UCHAR DhcpSeen;                // the data path saw a DHCP frame on the link
    UCHAR DhcpToggle;              // the DHCP test disconnect runs on every second due tick
    UCHAR SarOpened;
    UCHAR SarOpenTries;
    UCHAR CalEnhancement;          // the power-on calibration waits for its fetch
    UCHAR CalState;                // 2 waiting, 3 fetch asked
    LONGLONG CalStateTime;         // system time the state was entered
    // The watchdogs beside the heartbeat (created with port 0's timers when their settings allow).
    PLATFORM_TIMER RadioTimer;             // "MlmeRadioPeriodicExecTimer"
    PLATFORM_TIMER PowerConsumptionTimer;  // "MlmePowerConsumptionCtrlTimer"
    UCHAR PowerSaveMode;           // 1 while the OS asks for power save
    UCHAR RoamIndicated;           // the OS was asked for a roam
    UCHAR ForcedRoam;              // the roam task or a private request forces a roam on 6 GHz
    USHORT PsmBit;                 // the power-management indication (MlmeSetPsmBit)
} MLME_PERIODIC_BLOCK, *PMLME_PERIODIC_BLOCK;
// A quiet channel switch of the connected access point: transmission stopped while pending, resumed after
// the access point was heard CsaResumeCountdown + 1 times on the target channel. One per adapter.
typedef struct _MLME_CSA_RECORD {
    UCHAR CsaPending;
    UCHAR CsaTargetChannel;
    UCHAR CsaResumeCountdown;
} MLME_CSA_RECORD, *PMLME_CSA_RECORD;

typedef struct _MLME_ADAPTER_BLOCK {
    MLME_QUEUE Queue;
    KSPIN_LOCK HandlerLock;
    UCHAR HandlerRunning;          // 1 while a handler drains the queue
    ULONG HandlerClaims;           // nested claims of the running flag (a restart inside an action)
    std::atomic<UCHAR> Initialized;  // the queue lock and handler lock exist (read by the MLME thread)
    MLME_BUFFER_POOL BufferPool;
    // Values the frame classifier and the restart read and write.
    UCHAR PmfSupported;            // the adapter supports management-frame protection
    UCHAR PmfSwitch;               // the management-frame-protection switch
    UCHAR ScanReqPending;          // an MLME scan request is pending
    UCHAR AutoReconnectPending;
    UCHAR AutoReconnectHold;
    UCHAR SplitScanProgress;
    ULONG ConnectRetryCount;
    USHORT ListenInterval;         // copied into every new station entry
    MLME_SCAN_REQ ScanRequest;     // the adapter's scan request (the adapter's ScanRequest points here)
    MLME_SCAN_STATE Scan;          // the scan state beside it
    MLME_REQUEST_STATE Req;        // what the MLME requests record
    JOIN_TARGET_INFO JoinTargetInfo;  // the BSS being joined, then connected
    // The join's further records (Common/mlme/mlmesync_join): the candidate being joined, the
    // target's mobility domain {present, MDID, FT capability} and MBO-OCE flag, and the body of the
    // frame that confirmed the join (after its 24-byte header).
    ULONG JoinCandidateIndex;
    UCHAR JoinMobilityDomain[4];
    UCHAR JoinMboOce;
    USHORT JoinFrameBodyLength;
    UCHAR JoinFrameBody[MLME_MSG_SIZE];
    BSS_TABLE ConnectCandidates;   // the connect attempt's candidate table (CONNECT_CANDIDATE_LIST)
    MLME_CNTL_ADAPTER_BLOCK Cntl;  // the connect attempt's context
    LONG RepositBusy;              // the roaming-candidate table's busy flag
    LONG PeerCallBusy;
    MLME_TX_STALL_BLOCK TxStall;   // the transmit-stall watch's records             // serialises the OS add-peer and remove-peer calls (0 free, 1 held)
    PVOID RepositTable;            // the roaming-candidate table's storage
    ULONG RepositTableSize;
    MLME_CONN_ADAPTER_BLOCK Conn;  // the station's authentication and association exchange
    USHORT SaQueryTransactionId;   // shared by every port, incremented before each SA Query request
    UCHAR SaeCommitSkip;           // the test networks' toggle: every second token-less commit stays unsent
    MLME_PERIODIC_BLOCK Periodic;  // the periodic work and its watchdogs
    MLME_CSA_RECORD Csa;           // the quiet channel switch in progress (Common/mlme/mlmesync_csa)
} MLME_ADAPTER_BLOCK, *PMLME_ADAPTER_BLOCK;
