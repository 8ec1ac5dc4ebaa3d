// The connect-control machine's entries the shell calls.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Link down of a port.
NTSTATUS MlmeCntLinkDown(PMP_PORT port, ULONG reason);
