// The access-point receive entries that the receive dispatch hands frames of access-point ports to.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;

// Second generation, third generation and older chip: check, handle and free the record.
VOID Qz3501ApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
VOID Arvel3xApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
VOID ApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
