// The station table lookups that the firmware command layer needs before the table itself exists
// beside the sync machine.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// A station entry, as far as the shell touches it (the station table adds its own fields): the
// last accepted packet numbers of the replay check, 16 unicast values (by access category) and 4
// group values (by key index), which a resume clears.
#define MAC_ENTRY_UNICAST_PN 16
#define MAC_ENTRY_GROUP_PN 4
#define MAC_ENTRY_TIDS 8
typedef struct _MAC_TABLE_ENTRY {
    ULONG64 RxUnicastPn[MAC_ENTRY_UNICAST_PN];
    ULONG64 RxGroupPn[MAC_ENTRY_GROUP_PN];
    // Transmit aggregation per TID, read by the transmit-descriptor writers: nonzero while the
    // TID's frames may be aggregated.
    UCHAR TxAggregation[MAC_ENTRY_TIDS];
} MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

#define WLAN_ROLE_NONE 99

// The role a port's own station entry has in firmware commands; WLAN_ROLE_NONE for no port.
USHORT GetWlanRoleType(PMP_PORT port);
// The port's first station entry of the given kind; none when it has none.
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedRoleType(PMP_PORT port, USHORT kind);
// The port's station entry with this peer address; none when it has none.
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedBssid(PMP_PORT port, const UCHAR* address);
// The port's station entry with this firmware WLAN index; none when it has none.
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedWlanIdx(PMP_PORT port, UCHAR wlanIndex);
