// The sync machine's station table and port lookups the shell calls.
#pragma once

#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The adapter's list of neighbour access points.
typedef struct _SCAN_NEIGHBOR_AP_LIST {
    LIST_ENTRY Head;
    ULONG Count;
    KSPIN_LOCK Lock;
} SCAN_NEIGHBOR_AP_LIST, *PSCAN_NEIGHBOR_AP_LIST;

// Builds the 20-entry station table pool.
NTSTATUS MlmeSyncInitMacTabPool(PMP_ADAPTER adapter);
// Returns every station entry of the port to the adapter's pool.
NTSTATUS MlmeSyncDeInitMacTab(PMP_PORT port);
// The first active port of the given type, or none.
PMP_PORT MlmeSyncGetPortByType(PMP_ADAPTER adapter, ULONG portType);
// Empty list, count 0, its spin lock initialised.
void ScanNeighborAPInfoListInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list);
