// Indications to the OS that the shell makes.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

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
// Resets the port's indication history and state (port start-up of the MLME core).
void PlatformIndicateResetAllStatus(PMP_ADAPTER adapter, PMP_PORT port);
