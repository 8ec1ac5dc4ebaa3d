// The BSS table: one BSS_ENTRY per BSS heard in beacons and probe responses, stored, updated,
// searched and deleted in tables of 256 entries; the security summary of every stored BSS.
#pragma once

#include <cstddef>

#include "Common/mlme/mlmesync_bss_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The parsed values of one beacon or probe response that BssTableSetEntry stores. Pointers may be
// null where a record is absent (CF parameters, EDCA, QoS, BSS load, mobility domain, elements).
typedef struct _BSS_ENTRY_INPUT {
    const UCHAR* Bssid;
    const UCHAR* Ssid;
    UCHAR SsidLen;
    UCHAR BssType;
    USHORT BeaconPeriod;
    const CF_PARM* CfParams;
    USHORT AtimWindow;
    USHORT CapabilityInfo;
    const UCHAR* SupportedRates;
    UCHAR SupportedRatesLen;
    const UCHAR* ExtendedRates;
    UCHAR ExtendedRatesLen;
    const UCHAR* HtCapability;
    const UCHAR* VhtCapability;   // 12 bytes
    const UCHAR* VhtOperation;    // 5 bytes
    const UCHAR* HtOperation;
    UCHAR HtCapabilityLen;
    UCHAR HtOperationLen;
    UCHAR HePresent;
    UCHAR He6gRegulatoryInfo;
    UCHAR SecondaryChannelOffset;
    USHORT CountryString;
    UCHAR Channel;
    LONG Band;
    CHAR Rssi;
    CHAR Rssi0;
    CHAR Rssi1;
    ULONG64 FrameTimestamp;
    const EDCA_PARM* Edca;
    const QOS_CAPABILITY_PARM* QosCapability;
    const QBSS_LOAD_PARM* QbssLoad;
    USHORT BeaconWpsIeLen;
    const UCHAR* BeaconWpsIe;
    USHORT ProbeRspWpsIeLen;
    const UCHAR* ProbeRspWpsIe;
    USHORT VarIeLen;
    const UCHAR* VarIes;
    UCHAR RssiUpdate;
    const MOBILITY_DOMAIN_PARM* MobilityDomain;
    const UCHAR* OweTransBssid;
    const UCHAR* OweTransSsid;
    UCHAR OweTransSsidLen;
    UCHAR IsBeacon;
    const UCHAR* Frame;
    ULONG FrameLen;
} BSS_ENTRY_INPUT, *PBSS_ENTRY_INPUT;

// ---- WPS search methods of a port (the WPS code sets them) ----------------------------------------
#define WPS_METHOD_PIN 0x10000000u
#define WPS_METHOD_PBC 0x20000000u
#define WPS_METHOD_PIN_2 0x40000000u
#define WPS_METHOD_PIN_3 0x80000000u

// ---- clearing ----------------------------------------------------------------------------------------
// BssTableInit (table) is declared with the MLME start-up in mlmesync.h; it clears one table.

// ---- searches: each returns the entry index or BSS_NOT_FOUND ----------------------------------------------
LONG BssTableSearch(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* table, const UCHAR* bssid, UCHAR channel);
LONG BssTableSearchByBssid(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* table, const UCHAR* bssid);
LONG BssTableSearchBySsid(const BSS_TABLE* table, const UCHAR* ssid, UCHAR ssidLen);
LONG BssSearchWithSsid(const BSS_TABLE* table, const UCHAR* bssid, const UCHAR* ssid, UCHAR ssidLen, UCHAR channel);
LONG BssTableFindBssidOnBand(const BSS_TABLE* table, const UCHAR* bssid, UCHAR channel);
LONG BssTableFindBssidInBand(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* table, LONG band,
                             const UCHAR* bssid);
LONG BssTableFindBssidSsid(const BSS_TABLE* table, const UCHAR* bssid, const UCHAR* ssid, UCHAR ssidLen,
                           UCHAR channel);
// The entry with the lowest negative RSSI (the first on ties); BSS_NOT_FOUND when none is negative.
LONG MlmeGetWorstRssiBssFromBssTab(const BSS_TABLE* table);

// ---- writing -------------------------------------------------------------------------------------------
// Stores one parsed beacon or probe response; the index written, or BSS_NOT_FOUND when nothing was
// stored.
LONG BssTableSetEntry(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE table, const BSS_ENTRY_INPUT* in);
// Writes one entry from the parsed values.
void BssEntrySet(PMP_ADAPTER adapter, PMP_PORT port, PBSS_ENTRY entry, const BSS_ENTRY_INPUT* in);
// Derives the entry's authentication and cipher summary from its stored elements.
void BssCipherParse(PMP_ADAPTER adapter, PBSS_ENTRY entry);

// Puts one entry back as the table's only entry (the flush of the BSS list keeps the current AP).
void BssTableRestoreEntry(PBSS_TABLE table, const BSS_ENTRY* entry);
// Writes an entry's RSSI and files it under the new value.
void BssTableSetRssi(PBSS_TABLE table, ULONG index, CHAR rssi);
// Rebuilds the table's index after its entries were reordered in place.
void BssTableReindex(PBSS_TABLE table);

// ---- deleting ------------------------------------------------------------------------------------------
void BssTableDeleteEntry(PBSS_TABLE table, const UCHAR* bssid, UCHAR channel);
void BssTableDeleteEntryEx(PBSS_TABLE table, const UCHAR* bssid, UCHAR channel, const UCHAR* ssid, UCHAR ssidLen);

// ---- 6 GHz standard power ---------------------------------------------------------------------------------
// The standard-power action for a 6 GHz BSS: heOp6g is its 6 GHz Operation Information (primary
// channel, control, centre 0, centre 1, minimum rate). The action is left as the caller set it
// when the rule walk finds no record for the channel.
void BSSCheck6GFilterAction(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel, LONG band, const UCHAR* heOp6g,
                            PULONG action);

// ---- tracing and the per-channel AP count ------------------------------------------------------------
#define SCAN_TAB_DUMP_SCAN 1
#define SCAN_TAB_DUMP_REPOSIT 2
#define SCAN_TAB_DUMP_P2P 3
#define SCAN_TAB_DUMP_BOTH 4
void MlmeDumpScanTab(PMP_ADAPTER adapter, ULONG kind);
void ScanTblApNumInit(PMP_ADAPTER adapter);
void ScanTblApNumOfCh(PMP_ADAPTER adapter);

// The channel's band side: 14 and below is the 2.4 GHz side.
inline bool BssSameBandSide(UCHAR a, UCHAR b) { return (a <= 14) == (b <= 14); }
