// Candidate sorting: the ordering and filtering of BSS entries for connections, roams and the
// preferred-SSID table.
#pragma once

#include "Common/mlme/mlmesync_bss.h"

// Empties the candidate table and fills it with the entries of the SSID that suit the port, best first.
void BssTableSsidSort(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE candidates, const UCHAR* ssid, UCHAR ssidLen);
// Fills the output table with the source entries of the SSID that the port could join.
void scanSsidTabSort(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* source, PBSS_TABLE output,
                     const UCHAR* ssid, UCHAR ssidLen);
// Marks on the all-channel list the channels of the SSID's entries in the preferred-SSID table (with a
// connected first port only entries of the given authentication algorithm and cipher count).
void scanMarkSsidChannels(PMP_ADAPTER adapter, const UCHAR* ssid, UCHAR ssidLen, ULONG authAlgorithm, ULONG cipher);
