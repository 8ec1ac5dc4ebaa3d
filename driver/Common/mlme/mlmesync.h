// The sync machine's station table and port lookups the shell calls.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlme/mlmesync_rnr.h"
#include "Common/mlme/mlmesync_types.h"
#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The first active port of the given type, or none.
PMP_PORT MlmeSyncGetPortByType(PMP_ADAPTER adapter, ULONG portType);
// Builds the sync machine (5 states x 11 messages).
VOID MlmeSyncStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);

// ---- the sync machine ----------------------------------------------------------------------------------------
// States.
#define SYNC_IDLE 0
#define SYNC_JOIN 1          // waiting for the join target's beacon
#define SYNC_SCAN 2
#define SYNC_SCAN_LISTEN 3   // only scan requests and probe requests are served
#define SYNC_NO_ACTION 4
// Messages (base 0; 3 beacon, 4 probe response, 5 ATIM and 9 probe request are the classifier's).
#define MT2_SYNC_SCAN_REQ 0
#define MT2_SYNC_JOIN_REQ 1
#define MT2_SYNC_START_REQ 2
#define MT2_SYNC_SCAN_WAIT 6
#define MT2_SYNC_BEACON_TIMEOUT 7
#define MT2_SYNC_NO_ACTION 8
#define MT2_SYNC_SCAN_ABORT 10

// Scan requests (idle, scanning and listen states): sends the adapter's scan request to the firmware.
STATE_MACHINE_FUNC MlmeSyncScanReqAction;
// Join requests, and the target's beacons while joining.
STATE_MACHINE_FUNC MlmeSyncJoinReqAction;
STATE_MACHINE_FUNC MlmeSyncPeerBeaconAtJoinAction;
// Beacons and probe responses outside scan and join, and while scanning.
STATE_MACHINE_FUNC MlmeSyncPeerBeacon;
STATE_MACHINE_FUNC MlmeSyncPeerBeaconAtScanAction;
// Probe requests (idle and listen states).
STATE_MACHINE_FUNC MlmeSyncPeerProbeReqAction;
STATE_MACHINE_FUNC MlmeSyncInvalidStateWhenScan;
STATE_MACHINE_FUNC MlmeSyncInvalidStateWhenJoin;
// SYNC idle, start confirm (status 83) to the connect-control machine, scanning flag cleared.
STATE_MACHINE_FUNC MlmeSyncInvalidStateWhenStart;
// SYNC idle, join confirm with status 16.
STATE_MACHINE_FUNC MlmeSyncBeaconTimeoutAtJoinAction;
STATE_MACHINE_FUNC MlmeSyncScanWaitAction;
// SYNC idle when the adapter is in a power transition, resetting, halting or restarting.
STATE_MACHINE_FUNC MlmeSyncScanAbortAction;

// The end of a scan: posts the scan confirm (message 41, the u32 status) to the connect-control
// machine; TRUE when it was posted.
BOOLEAN MlmeSyncScanDone(PMP_ADAPTER adapter, PMP_PORT port, ULONG status);
// "BeaconTimeoutTimer" of a port and "N6PlatformScanRequestTimeoutTimer".
PLATFORM_TIMER_CALLBACK MlmeSyncBeaconTimeoutTimerCallback;
PLATFORM_TIMER_CALLBACK MlmeSyncScanRequestTimeoutTimerCallback;
// Binds the scan timer (once) and (re)arms it.
void MlmeSyncBindScanTimer(PMP_ADAPTER adapter);
void MlmeSyncArmScanTimer(PMP_ADAPTER adapter, ULONG ms);
// A probe request's transmitter, SSID (at most 32 bytes, first element) and rates (second element).
BOOLEAN PeerProbeReqSanity(PMP_ADAPTER adapter, const UCHAR* frame, ULONG frameLength, PUCHAR transmitter,
                           PUCHAR ssid, PUCHAR ssidLength);
// The beacon intake's parse record, cleared, with its element copy attached (Channel and
// SecondaryChannelOffset 0xFF); none without memory. One per adapter: the MLME thread only.
typedef struct _BEACON_PARSE_RESULT BEACON_PARSE_RESULT, *PBEACON_PARSE_RESULT;
PBEACON_PARSE_RESULT MlmeSyncTakeIntakeRecord(PMP_ADAPTER adapter);
// Releases the beacon intake's parse area (at MLME halt).
void MlmeSyncFreeIntakeArea(PMP_ADAPTER adapter);
// The frame's signal in dBm from the chains' values (0 where a chain gave none); 0 when none gave any.
CHAR RssiAverageByChains(PMP_ADAPTER adapter, CHAR rssi0, CHAR rssi1, CHAR rssi2);

// ---- the BSS and roaming-candidate tables ------------------------------------------------------------------
typedef struct _BSS_TABLE BSS_TABLE, *PBSS_TABLE;
// Count 0 and all 256 entries zeroed.
void BssTableInit(PBSS_TABLE table);
// The adapter's BSS tables at MLME start-up.
void MlmeBssTableInit(PMP_ADAPTER adapter);
// The roaming-candidate table at MLME start-up.
void MlmeRepositTableInit(PMP_ADAPTER adapter);
// Empties the roaming-candidate table.
void MlmeResetRepositTable(PMP_ADAPTER adapter);
