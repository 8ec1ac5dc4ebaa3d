// Wi-Fi Direct frames: builders and receive handlers, and the group owner's beacon template.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Rewrites the variable tail of a group owner's beacon template and sends it to the firmware.
NTSTATUS GOUpdateBeaconFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR followStation);
