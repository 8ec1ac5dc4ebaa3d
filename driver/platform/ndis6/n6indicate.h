// Indications to the OS that the shell makes.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;
typedef struct _NET_BUFFER_LIST NET_BUFFER_LIST, *PNET_BUFFER_LIST;

// Records the disassociation in the port's history and indicates it to the OS for the peer.
void PlatformIndicateDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG reason,
                                    ULONG sourceCode);
// The radio state (software and hardware switches) to the OS.
void PlatformIndicateCurrentRadioState(PMP_ADAPTER adapter, ULONG portNumber, LONG status);
// The end of an OS scan on the port.
void PlatformIndicateScanStatus(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG done, ULONG reason);
// Returns every pending transmit packet to the OS.
void PlatformIndicateRejectPendingPackets(PMP_ADAPTER adapter, UCHAR all);
// Roaming completion point of a port; trace only.
void PlatformIndicateRoamingCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status);
// Completes a transmit record after a firmware recovery: a NetAdapterCx packet is marked finished
// and handed back, then the record returns to its pool.
void PlatformIndicateXmitPktToNdisWhenSER(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status);
// Hands a buffer-list chain back to the OS (send completion); a null chain does nothing.
void N6PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PNET_BUFFER_LIST chain, ULONG reserved, ULONG flags);
// Resets the port's indication history and state (port start-up of the MLME core).
void PlatformIndicateResetAllStatus(PMP_ADAPTER adapter, PMP_PORT port);
