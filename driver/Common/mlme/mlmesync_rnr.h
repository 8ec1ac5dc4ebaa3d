// Reduced neighbour reports: the 6 GHz access points that 2.4 and 5 GHz access points announce in the
// Reduced Neighbor Report element (id 201) of their beacons and probe responses are gathered into
// neighbour-AP records on the adapter's neighbour-AP list; each record becomes one directed scan of
// the announced BSSIDs on their channels (channel type 8).
#pragma once

#include "Common/mlme/mlmesync_types.h"
#include "Common/qzcmd_scan.h"
#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

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
