// The receive hand-off to the OS that the receive processing calls.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;

// Hands a received data frame (24-byte header form) to the port's receive queue; the record is the
// receiver's from then on. 0, or the enqueue result.
NTSTATUS NdisCommonReportEthFrameToLLC(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR userPriority,
                                       UCHAR accessPoint, UCHAR immediate);
