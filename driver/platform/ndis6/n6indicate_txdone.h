// The transmit completions of the OS hand-off that the transmit-done reports use.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;

// Completes one transmitted record: a NetAdapterCx packet is marked finished in its side record
// (under its queue's lock, while the queue's side memory exists) and the queue notified when it
// asked to be; then the record returns to its pool. A record of a buffer-list packet without its
// context word is traced and left alone. The status is not used.
void PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status);
// The same without the buffer-list test; a record without side record is only returned to its pool.
void PlatformIndicateXmitPktToNdisEx(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status);
// Transmission may restart: the OS is told only when a pause reason was stored, which never happens.
void N6PlatformIndicateTxSendRestartToWdi(PMP_ADAPTER adapter);
