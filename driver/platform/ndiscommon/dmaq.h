// The software packet queues, as far as the shell calls them.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Hands every buffer-list chain still waiting in the port's NBL wait queue back to the OS.
NTSTATUS PortNblWaitqFlush(PMP_ADAPTER adapter, PMP_PORT port);
// Frees every entry of the port's NBL free queue.
NTSTATUS PortNblFreeqDeInit(PMP_PORT port);
