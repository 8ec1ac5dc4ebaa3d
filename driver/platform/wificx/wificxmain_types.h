// The device's own preparation record: which preparation steps are done (tested and cleared by the
// release, newest first) and whether the next power-down is the last one since the first power-up.
#pragma once

#include "kshim/nt_types.h"

typedef struct _QZCX_DEVICE_SWITCHES {
    BOOLEAN ResourcesAllocated;
    BOOLEAN PciInterfaceStarted;         // the BAR is mapped
    BOOLEAN SpinLocksAndChipRegistered;
    BOOLEAN InterruptRegistered;
    BOOLEAN FirstPowerUp;                // set by the first D0 entry, cleared by the D0 exit towards D3Final
} QZCX_DEVICE_SWITCHES, *PQZCX_DEVICE_SWITCHES;
