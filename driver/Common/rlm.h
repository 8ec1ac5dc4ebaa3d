// Capability and operation elements of a port, built by the radio features subsystem.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

NTSTATUS VhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS HeInitCtrl(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS EhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port);
