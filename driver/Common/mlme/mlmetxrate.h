// Transmit rate selection of the station link: the agreed HT capability and the MLME rate sets.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Builds the agreed HT capability of the link into `htCapability` (26 octets) from the access
// point's HT capability and operation and the port's own settings.
BOOLEAN KOVACheckHt(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, PUCHAR htCapability,
                    const UCHAR* htOperation, UCHAR vhtPresent, const UCHAR* vhtCapability);
// Recomputes the MLME rate sets of the channel.
VOID KOVAUpdateMlmeRate(PMP_ADAPTER adapter, UCHAR channel);
