// Operation modes between the driver's codes and the OS's WDI values.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// The WDI operation-mode value of a driver operation-mode code (1, 2, 4, 8, 16 or 32), by the OS's
// WDI version; any other code is traced and gives 0.
ULONG NdisWdiGetOpModeValue(PMP_ADAPTER adapter, ULONG code);
// The driver operation-mode code of a WDI operation-mode value, by the OS's WDI version; 0 for a
// value without a code.
ULONG NdisWdiGetQzlOpModeValue(PMP_ADAPTER adapter, ULONG value);
