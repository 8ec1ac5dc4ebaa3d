// The firmware BSS slots: five per adapter, bound to ports by the concurrent network management of
// the radio subsystem. The shell clears them at software control init and reads them through its
// slot accessors.
#pragma once

#include "Common/cnm_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Clears the five firmware BSS slots (used flag and port).
void cnmInitBssInfo(PMP_ADAPTER adapter);
// Releases the port's firmware BSS slot.
NTSTATUS cnmFreeBssInfo(PMP_ADAPTER adapter, PBSS_INDEX_SLOT slot);
