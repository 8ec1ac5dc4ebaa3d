// The adapter's registry block: one field per configuration row.
#pragma once

#include "kshim/nt_types.h"

typedef struct _REGISTRY_BLOCK {
    ULONG Placeholder;
} REGISTRY_BLOCK, *PREGISTRY_BLOCK;
