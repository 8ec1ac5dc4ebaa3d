// Private control: the firmware events that answer the vendor tool's register, chip-configuration
// and coexistence requests.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// Each receives the event view of the firmware event layer (header at offset 16, payload at 28).
VOID ProcessAccessReg(PMP_ADAPTER adapter, PUCHAR eventView);   // event 0x05
VOID ProcessGetChipReq(PMP_ADAPTER adapter, PUCHAR eventView);  // event 0x44
VOID ProcessCoexCtrl(PMP_ADAPTER adapter, PUCHAR eventView);    // event 0x7C
