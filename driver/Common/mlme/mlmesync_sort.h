// Candidate sorting: the ordering and filtering of BSS entries for connections, roams and the
// preferred-SSID table.
#pragma once

#include "Common/mlme/mlmesync_bss.h"

// Fills the candidate table with the roaming candidates of the SSID that the port could join, ordered
// by score (5 and 6 GHz first with "PreferABand" and "ChannelMode" 1 on port 0, the WPS or Wi-Fi
// Direct target at index 0).
void BssTableSsidSort(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE out, const UCHAR* ssid, UCHAR ssidLen);
// Scores every entry and orders the table by score, highest first (an exchange sort: equal scores may
// change places). Nothing changes when its temporary entry cannot be allocated.
void BssTableSortByRssi(PMP_ADAPTER adapter, PBSS_TABLE table);
// Moves the 5 and 6 GHz entries before the 2.4 GHz ones, each group in its order.
void BssTableABandFirst(PMP_ADAPTER adapter, PBSS_TABLE table);
// Moves the entry of the port's Wi-Fi Direct or WPS target BSSID to index 0.
void BssTableWPSAPFirst(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE table);
// The score of an entry at an RSSI (0: the entry's own).
USHORT BssEntAddRssiWeight(PMP_ADAPTER adapter, const BSS_ENTRY* entry, CHAR rssi);
// The score's parts and their sum.
USHORT scanCalculateTotalScore(PMP_ADAPTER adapter, const BSS_ENTRY* entry, CHAR rssi);
USHORT scanCalculateScoreByBand(PMP_ADAPTER adapter, const BSS_ENTRY* entry);
USHORT scanCalculateScoreByBandwidth(PMP_ADAPTER adapter, const BSS_ENTRY* entry);
USHORT scanCalculateScoreByChnlInfo(PMP_ADAPTER adapter, UCHAR channel);
USHORT scanCalculateScoreByClientCnt(USHORT stationCount);

// Fills the output table with the source entries of the SSID that the port could join.
void scanSsidTabSort(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* source, PBSS_TABLE output,
                     const UCHAR* ssid, UCHAR ssidLen);
// Marks on the all-channel list the channels of the SSID's entries in the preferred-SSID table (with a
// connected first port only entries of the given authentication algorithm and cipher count).
void scanMarkSsidChannels(PMP_ADAPTER adapter, const UCHAR* ssid, UCHAR ssidLen, ULONG authAlgorithm, ULONG cipher);
