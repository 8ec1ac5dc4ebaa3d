// The built-in IoT access-point rules: access points that need a particular firmware treatment,
// recognised by their BSSID.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The action of the first rule whose BSSID is the port's; 0 when the rules are off or none matches.
// A match stores the rule's flag in the adapter (IotApRuleMatched).
ULONG bssGetIotApAction(PMP_ADAPTER adapter, PMP_PORT port);
