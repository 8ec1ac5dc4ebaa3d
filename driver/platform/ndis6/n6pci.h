// The PCI Express rings of the bus layer, as far as the shell calls them.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// Services one receive ring: takes its completed descriptors and routes them.
NTSTATUS N6PciProcRxDonePkt(PMP_ADAPTER adapter, ULONG ring);
