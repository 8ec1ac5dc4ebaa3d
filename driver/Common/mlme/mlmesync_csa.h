// Channel switch announcements of the connected network, in the three stages the idle beacon intake
// runs: the 802.11h switch, the quiet switch and the switch of the connection.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _BEACON_PARSE_RESULT BEACON_PARSE_RESULT, *PBEACON_PARSE_RESULT;
typedef struct _MLME_QUEUE_ELEM MLME_QUEUE_ELEM, *PMLME_QUEUE_ELEM;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// Each stage gets the frame's record, the index of the access point's entry in the candidate table
// and the access point's and group owner's entries; TRUE ends the beacon's handling.
BOOLEAN MlmeSyncChSwitch80211h(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, LONG candidate);
BOOLEAN MlmeSyncChSwitchQuiet(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, PMLME_QUEUE_ELEM elem);
BOOLEAN MlmeSyncChSwitchMove(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, LONG candidate,
                             PMAC_TABLE_ENTRY apEntry, PMAC_TABLE_ENTRY goEntry);
