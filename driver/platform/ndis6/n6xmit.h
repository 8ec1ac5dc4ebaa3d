// The transmit frame checks and the send step every data frame passes before its hard transmit.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;

// NDIS status values of the readiness test.
#define NDIS_STATUS_INVALID_PORT ((NTSTATUS)0xC023002DL)
#define NDIS_STATUS_LOW_POWER_STATE ((NTSTATUS)0xC023002FL)
#define NDIS_STATUS_ADAPTER_REMOVED ((NTSTATUS)0xC0010018L)
#define NDIS_STATUS_CLOSING ((NTSTATUS)0xC0010002L)

// 0 when the port may hand frames to the rings, else an NDIS status (in the order of its tests).
NTSTATUS XmitCheckHWReadyToSend(PMP_ADAPTER adapter, PMP_PORT port);
// The classification step of a data frame: the access-point send step for a port of an access-point
// operation mode (2, 3 or 4); 0xC0000001 for any other mode, a missing record or port.
NTSTATUS XmitSendPacket(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
// The access-point send step (power-save buffering, the record's access-point mark).
NTSTATUS XmitApSendPacket(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
// The receive-side frame check of a station port: it looks at a received frame (never frees it).
VOID N6RecvCheckSpecificFrame(PMP_ADAPTER adapter, struct _RX_DMAQ_DESC* record);
