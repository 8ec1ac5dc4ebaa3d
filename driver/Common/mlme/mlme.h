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

// ---- what the bring-up, the teardown and the power transitions ask of the MLME core -------------------
typedef struct _MLME_QUEUE MLME_QUEUE, *PMLME_QUEUE;
// Creates the MLME queue and buffer pool, the BSS and roaming-candidate tables, and port 0's machines
// and timers; a failure of the queue or the pool is returned.
NTSTATUS MlmeInit(PMP_ADAPTER adapter);
// At teardown: the port's work items and timers, the MLME queue, the roaming-candidate table and the
// MLME buffer pool.
void MlmeHalt(PMP_ADAPTER adapter, PMP_PORT port);
// The queue's lock, counters 0, all 200 elements cleared.
void MlmeQueueInit(PMLME_QUEUE queue);
// Chip-configuration settings sent from the configuration values; results are only traced.
NTSTATUS MlmeUpdateKeepFullPwrToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateEnablePcieSwitchToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateEnableRekeyOffloadToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateEdccaDetectEnableToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateFwlogSramEvtBlcok(PMP_ADAPTER adapter, PMP_PORT port, UCHAR value);
NTSTATUS MlmeUpdateFwlogDropFront(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateFwlogSemaEn(PMP_ADAPTER adapter, PMP_PORT port);
