// Services of other layers that the firmware event handlers call and that those layers do not
// provide yet. Each keeps the name and the arguments its own layer gives it; each moves to its
// layer's module when that layer is built. Until then it traces and answers STATUS_NOT_SUPPORTED (or,
// for a question, the answer that changes nothing).
#pragma once

#include "Common/recv.h"

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _PCI_HIF_CONTEXT PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// ---- device commands (Common/qzcmd) -------------------------------------------------------------------------
// The Bluetooth control command with its one value.
NTSTATUS QzCmdBtCtrl(PMP_ADAPTER adapter, ULONG value);

// Records the suspend handshake state of the host interface: 1 the firmware acknowledged suspend,
// 4 it acknowledged resume.
VOID HalUpdateHifSuspendState(PPCI_HIF_CONTEXT hif, ULONG state);

// ---- multi-channel concurrency (host interface) ----------------------------------------------------------------
// The transmit-ring pause register value with the port's pause bit set (its BSS absent) or cleared, and
// its write to the chip.
ULONG MCCFetchTxRingPauseSettings(PMP_PORT port);
VOID MCCCurrentTxRingModify(PMP_ADAPTER adapter, ULONG value);

// ---- soft access point (Common/ap) ---------------------------------------------------------------------------
// Ages a station out of the access point: deauthentication, pending transmissions, station record,
// entry and the disassociation indication.
VOID ApAgeoutPeerRequest(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry);
