// The per-chip operations table and descriptor copied into the adapter at chip selection.
#pragma once

#include "kshim/nt_types.h"

typedef struct _CHIP_HAL_OPS {
    PVOID Placeholder;
} CHIP_HAL_OPS, *PCHIP_HAL_OPS;

typedef struct _CHIP_HAL_INFO {
    ULONG Placeholder;
} CHIP_HAL_INFO, *PCHIP_HAL_INFO;
