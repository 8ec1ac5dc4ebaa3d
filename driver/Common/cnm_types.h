// The firmware BSS slots of the adapter, five per adapter, each bound to a port by the concurrent
// network management of the radio subsystem.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define BSS_INDEX_SLOT_COUNT 5
#define BSS_INDEX_NONE 255

typedef struct _BSS_INDEX_SLOT {
    UCHAR InUse;
    UCHAR BandIndex;  // 0xFF = none
    PMP_PORT Port;    // the bound port
} BSS_INDEX_SLOT, *PBSS_INDEX_SLOT;
