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

// Merges the scan table into the roaming-candidate table (when forced, asked for, or the counts
// differ), ages it, and with decideCountry lets the beacons' country vote change the country.
// FALSE without storage, while halting, or when the table's busy flag could not be taken.
BOOLEAN MlmeUpdateRepositTabFromScanTab(PMP_ADAPTER adapter, BOOLEAN force, BOOLEAN decideCountry);
// Removes the first entry with the channel, BSSID and SSID.
void BssRepositTableDeleteEntryEx(PMP_ADAPTER adapter, const UCHAR* bssid, UCHAR channel, const UCHAR* ssid,
                                  UCHAR ssidLen);
// Removes the entries not refreshed for "BssidRepositTime" seconds.
void MlmeRemoveAgeOutScanEntry(PMP_ADAPTER adapter);
// Keeps only the 6 GHz entries.
void RepositTableCompact(PMP_ADAPTER adapter);
// The weakest entry (lowest negative RSSI, the first on ties), or BSS_NOT_FOUND.
LONG MlmeGetWorstRssiBssFromRepositTab(PMP_ADAPTER adapter);
// Another access point of the port's SSID and authentication algorithm is known.
BOOLEAN MlmeChkHasValidRoamAp(PMP_ADAPTER adapter, PMP_PORT port);
// Refills the SSID work table from the scan table and, with update, the preferred-SSID table.
BOOLEAN MlmeUpdatePreferSsidTab(PMP_ADAPTER adapter, BOOLEAN update, BOOLEAN ageOut);
// Removes the preferred-SSID entries not refreshed for "SsidUpTime" seconds.
void MlmeRemoveAgeOutPreferSsidTab(PMP_ADAPTER adapter);
// One RSSI report of the three receive chains into the port's averages.
void UpdateRssiSampleAvg(PMP_PORT port, CHAR rssi0, CHAR rssi1, CHAR rssi2);
// TRUE asks for a roaming scan: the RSSI fell more than "RoamingRssiReduce" below its peak.
BOOLEAN RssiChangeMonitorForScan(PMP_ADAPTER adapter, CHAR rssi);
// A better access point than the port's current one is in the roaming-candidate table.
BOOLEAN CheckHasBetterAp(PMP_ADAPTER adapter, PMP_PORT port);
