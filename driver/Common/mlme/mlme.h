// The MLME core as far as the shell calls it: the MLME queue element, the MLME thread and the
// restart of a port's state machines.
#pragma once

#include "platform/ndiscommon/ndiscommon.h"

// An element of the MLME queue: the state machine and message it is for, the port, and the body.
#define MLME_QUEUE_ELEM_SIZE 2080
#define MLME_MSG_SIZE 2048

// State machines and messages the shell names.
#define MLME_ASSOC_STATE_MACHINE 1
#define MT2_MLME_DISASSOC_REQ 2

typedef struct _MLME_QUEUE_ELEM {
    ULONG Machine;
    ULONG MsgType;
    ULONG MsgLen;
    ULONG PortIndex;
    UCHAR Msg[MLME_MSG_SIZE];
} MLME_QUEUE_ELEM, *PMLME_QUEUE_ELEM;
static_assert(sizeof(MLME_QUEUE_ELEM) <= MLME_QUEUE_ELEM_SIZE, "an MLME element fits its 2080 bytes");

// Body of "MlmeThread".
PLATFORM_THREAD_BODY MlmeThreadProc;
// Runs the MLME queue: one element at a time to the state machine it names.
NTSTATUS MlmeHandler(PMP_ADAPTER adapter);
// Waits for the MLME handler to stop, cancels the port's machine timers, drops its queued messages
// and returns its machines to idle.
NTSTATUS MlmeRestartStateMachine(PMP_ADAPTER adapter, PMP_PORT port);
// Cancels and frees the MLME timers of a port.
NTSTATUS MlmePortFreeTimer(PMP_ADAPTER adapter, PMP_PORT port);
// One pseudo-random byte: eight steps of a 32-bit Galois LFSR (feedback mask 0xC000002B) over the
// adapter's seed word, seeded from the low 32 bits of the system time when it is 0; the bit of the
// first step is bit 7 of the result.
UCHAR RandomOctetGet(PMP_ADAPTER adapter);
