// The PCIe host-interface context, as far as the shell uses it: the receive threads of the three
// receive rings live beside their rings.
#pragma once

#include "platform/ndiscommon/ndiscommon.h"

#define PCI_RX_RING_COUNT 3

typedef struct _PCI_HIF_CONTEXT {
    // "RxThread0" to "RxThread2"; a thread's wake event is its receive ring's event.
    PLATFORM_THREAD RxThread[PCI_RX_RING_COUNT];
} PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;
