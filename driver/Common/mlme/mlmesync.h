// The sync machine's station table and port lookups the shell calls.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlme/mlmesync_types.h"
#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The first active port of the given type, or none.
PMP_PORT MlmeSyncGetPortByType(PMP_ADAPTER adapter, ULONG portType);
// Builds the sync machine (5 states x 11 messages).
VOID MlmeSyncStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Empty list, count 0, its spin lock initialised.
void ScanNeighborAPInfoListInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list);

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
// Releases the neighbour-AP list.
void ScanNeighborAPInfoListDeInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list);
