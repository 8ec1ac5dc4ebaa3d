// Services of neighbouring subsystems that the firmware command builders call before their owners
// build them, each listed under its owner. Their bodies trace and return STATUS_NOT_SUPPORTED (or
// the neutral value the caller needs) until the owner's module takes them over.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- Common/ap (soft access point) ---------------------------------------------------------------------
// Resets the record of this WLAN index (0-20) to its empty values when it is in use.
void MacTabResetWlanIdxRecord(PMP_ADAPTER adapter, UCHAR wlanIndex);
// The firmware authentication mode of an authentication algorithm (OS numbering): 2 -> 1, 3 to 7
// unchanged, anything else 0.
UCHAR AuthModeToFwAuthMode(ULONG authAlgorithm);
