// The host interface facade calls the shell makes, and the control-thread command executor.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Takes driver ownership of the chip.
NTSTATUS NdisCommonHifPmSetDriverOwn(PMP_ADAPTER adapter);
// Gives the chip back to firmware ownership.
NTSTATUS NdisCommonHifPmSetFwOwn(PMP_ADAPTER adapter, ULONG flags);
// Initialises the bus context's two spin locks.
void NdisCommonHifAllocateSpinLock(PMP_ADAPTER adapter);
// Executes one internal command on the control or the ICS thread.
NTSTATUS NdisCommonHifControlThreadHandler(PMP_PORT port, ULONG cmdId, PUCHAR payload, ULONG length);
