// The station table lookups that the firmware command layer needs before the table itself exists
// beside the sync machine.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

#define WLAN_ROLE_NONE 99

// The role a port's own station entry has in firmware commands; WLAN_ROLE_NONE for no port.
USHORT GetWlanRoleType(PMP_PORT port);
// The port's first station entry of the given kind; none when it has none.
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedRoleType(PMP_PORT port, USHORT kind);
