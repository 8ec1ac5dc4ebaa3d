// The operating-system-driven Wi-Fi Direct routines the shell calls.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// OS reset of a Wi-Fi Direct port.
NTSTATUS P2pMsInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port);
// Completes a Wi-Fi Direct discovery.
NTSTATUS P2pMsIndicateDiscoverComplete(PMP_ADAPTER adapter, PMP_PORT port);
// Frees a port-held buffer and zeroes its length.
void P2pMsFreeBuffer(PUCHAR* buffer, PULONG length);
