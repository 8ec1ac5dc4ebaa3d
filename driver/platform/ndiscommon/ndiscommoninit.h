// Port allocation and initialisation.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Allocates a zeroed port block and stores its type and operation mode; on failure *port is null and
// the result 0xC000009A.
NTSTATUS NdisCommonInitAllocPort(PMP_ADAPTER adapter, ULONG portType, ULONG opMode, PMP_PORT* port);
// Locks, events, the port's send thread (and for port 0 the adapter's send thread after recovery).
NTSTATUS NdisCommonInitPort(PMP_PORT port);
// Port defaults.
void NdisCommonInitPortUserCfg(PMP_PORT port, UCHAR keepBssIndex);
void NdisCommonInitUpdatePortDefaultSetting(PMP_PORT port);
