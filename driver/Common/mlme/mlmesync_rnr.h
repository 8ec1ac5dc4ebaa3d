// Reduced neighbour reports: the 6 GHz access points that 2.4 and 5 GHz access points announce in the
// Reduced Neighbor Report element (id 201) of their beacons and probe responses are gathered into
// neighbour-AP records on the adapter's neighbour-AP list; each record becomes one directed scan of
// the announced BSSIDs on their channels (channel type 8).
#pragma once

#include "Common/qzcmd_scan.h"
#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define RNR_ELEMENT_ID 201
#define NEIGHBOR_AP_MAX 4               // BSSIDs, channels, SSIDs and short SSIDs of one record
#define NEIGHBOR_AP_EXTRA_IE_MAX 32     // the Short SSID List element
#define NEIGHBOR_AP_SSID_INDEX_NONE 4
#define SHORT_SSID_LIST_EXT_ID 58

// The adapter's neighbour-AP list.
typedef struct _NEIGHBOR_AP_INFO_LIST {
    LIST_ENTRY Head;
    UCHAR PrivateRequest;   // a record was made by a private request
    ULONG Count;
    UCHAR Parsed;           // the scan table's elements were parsed for this cycle
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} NEIGHBOR_AP_INFO_LIST, *PNEIGHBOR_AP_INFO_LIST;

typedef struct _NEIGHBOR_AP_SSID {
    ULONG Length;
    UCHAR Ssid[32];
} NEIGHBOR_AP_SSID;

typedef struct _NEIGHBOR_AP_CHANNEL {
    ULONG Band;  // 1, 2, 3
    UCHAR Channel;
} NEIGHBOR_AP_CHANNEL;

// The scan parameters of one neighbour-AP record.
typedef struct _NEIGHBOR_AP_SCAN_PARAMS {
    UCHAR ShortSsidCount;
    UCHAR SsidCount;
    NEIGHBOR_AP_SSID Ssids[NEIGHBOR_AP_MAX];
    UCHAR ScanType;         // 1 active
    UCHAR ChannelCount;
    NEIGHBOR_AP_CHANNEL Channels[NEIGHBOR_AP_MAX];
    UCHAR BssIndex;
    UCHAR Bssid[NEIGHBOR_AP_MAX][6];
    UCHAR BssidChannel[NEIGHBOR_AP_MAX];
    UCHAR BssidSsidIndex[NEIGHBOR_AP_MAX];  // NEIGHBOR_AP_SSID_INDEX_NONE: none
    USHORT Timing[3];
    USHORT ExtraIeLen;
    UCHAR ExtraIe[NEIGHBOR_AP_EXTRA_IE_MAX];

} NEIGHBOR_AP_SCAN_PARAMS, *PNEIGHBOR_AP_SCAN_PARAMS;
static_assert(sizeof(NEIGHBOR_AP_SCAN_PARAMS) == 260, "a neighbour-AP record's scan parameters are 260 bytes");

typedef struct _NEIGHBOR_AP_INFO {
    LIST_ENTRY Link;
    UCHAR BssidCount;       // BSSIDs recorded, 0..4
    NEIGHBOR_AP_SCAN_PARAMS Params;
} NEIGHBOR_AP_INFO, *PNEIGHBOR_AP_INFO;
static_assert(sizeof(NEIGHBOR_AP_INFO) == 280, "a neighbour-AP record is 280 bytes");

// ---- the list --------------------------------------------------------------------------------------------
void ScanNeighborAPInfoListInit(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list);
void ScanNeighborAPInfoListDeInit(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list);
// Parsed flag 0; every record removed from the head and freed.
void ScanNeighborAPInfoListReset(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list);
PNEIGHBOR_AP_INFO ScanAllocNeighborAPInfo(PMP_ADAPTER adapter);
void ScanNeighborAPInfoListFreeEntry(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO record);
void ScanNeighborAPInfoListInsertTail(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list, PNEIGHBOR_AP_INFO record);
PNEIGHBOR_AP_INFO ScanNeighborAPInfoListRemoveHead(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list);
PNEIGHBOR_AP_INFO ScanNeighborAPInfoListRemoveTail(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list);

// ---- the parser ------------------------------------------------------------------------------------------
// Parses one Reduced Neighbor Report element (id, length, body; `elementLength` bytes are readable) of a
// BSS whose SSID is given, into records on the adapter's list.
void scanParseRnrElement(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* element, ULONG elementLength,
                         UCHAR ssidLen, const UCHAR* ssid);
// The 6 GHz channel of a Neighbor AP Information field (0 when none), appended to the record's
// channels while there is room; `newChannel` tells whether it was appended.
UCHAR scanProcessRnrChannel(PMP_ADAPTER adapter, const UCHAR* field, PNEIGHBOR_AP_SCAN_PARAMS params,
                            UCHAR bssidCount, PUCHAR newChannel);
// Points BSSID `position` (1-based) at the SSID's slot, adding the SSID when it is new.
void ScanNeighborAPInfoAddSsid(PNEIGHBOR_AP_SCAN_PARAMS params, UCHAR ssidLen, const UCHAR* ssid, UCHAR position);
BOOLEAN ScanNeighborAPInfoHasBssid(const NEIGHBOR_AP_SCAN_PARAMS* params, const UCHAR* bssid, UCHAR count);
// TBTT information lengths 1, 2, 5, 6, 7, 8, 9, 11 and 12 of a 6 GHz operating class (131 to 135).
BOOLEAN ScanRnrTbttInfoValid(USHORT tbttInfoLength, UCHAR operatingClass);
// The BSSID is recorded in a record of the list.
BOOLEAN ScanSrchBssidInCurrNeighborAPInfoList(PMP_ADAPTER adapter, const UCHAR* bssid);

// ---- the scan --------------------------------------------------------------------------------------------
// Fills a 1760-byte scan request from the record: channel type 8, version 2, its SSIDs, BSSIDs,
// channels and Short SSID List.
void scanFillRnrScanRequest(PMP_ADAPTER adapter, PMP_PORT port, const NEIGHBOR_AP_INFO* record,
                            const NEIGHBOR_AP_SCAN_PARAMS* params, PMLME_SCAN_REQ request);
// The adapter's scan request is a neighbour-AP scan of a station port.
BOOLEAN IsRnrScanreq(PMP_ADAPTER adapter, PMP_PORT port);
