// The roaming-candidate table (what was heard survives the next scan, ageing by time) and the
// preferred-SSID table (the BSSs of the SSID the station uses).
#pragma once

#include "Common/mlme/mlmesync_bss.h"

// The preferred-SSID table: a BSS table with a refresh time per slot.
typedef struct _PREFER_SSID_TABLE {
    BSS_TABLE Table;
    LONGLONG Time[MAX_LEN_OF_BSS_TABLE];
} PREFER_SSID_TABLE, *PPREFER_SSID_TABLE;

// The roaming-candidate table and the preferred-SSID tables, allocated together at MLME start (the
// MLME block's RepositTable points here; its busy flag is the MLME block's RepositBusy).
typedef struct _REPOSIT_TABLE {
    USHORT RepositCount;           // valid entries, packed from index 0
    PBSS_ENTRY RepositEntries;     // the 256 entries below
    LONGLONG RepositTime[MAX_LEN_OF_BSS_TABLE];
    ULONG RepositAgeSeconds;       // "BssidRepositTime"
    UCHAR RepositUpdateNeeded;
    BSS_ENTRY Entries[MAX_LEN_OF_BSS_TABLE];
    PREFER_SSID_TABLE PreferSsid;
    BSS_TABLE SsidWorkTable;       // refilled with the scan-table entries of the SSID by every update
} REPOSIT_TABLE, *PREPOSIT_TABLE;

// The adapter's roaming-candidate table, or none when its storage could not be allocated.
PREPOSIT_TABLE RepositTableGet(PMP_ADAPTER adapter);
