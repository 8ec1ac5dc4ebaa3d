// Key and security indications of the connection code that the receive checks call.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// 1 when a pairwise (key-mapping) key exists for the address, otherwise another value.
ULONG MlmeInfoFindKeyMappingKey(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address);
// A TKIP MIC failure of a received frame to the OS (key index 0-3, group key flag).
VOID PlatformIndicateMICFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* transmitter, UCHAR keyIndex,
                                BOOLEAN groupKey);
