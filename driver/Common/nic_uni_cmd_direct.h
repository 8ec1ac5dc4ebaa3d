// Unified commands without a legacy form, sent directly by their callers: the firmware log's read
// position and the LED GPIO commands. Each builds one unified payload (freed after the send,
// whatever its result) and sends it for the adapter's first port as a set that awaits no answer
// (flags 16, option 6): the caller waits only for the command to leave.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

#define UNI_CMD_ID_WSYS_CONFIG 0x0B
#define UNI_CMD_ID_LED 0x2A

// The host's read position of firmware log ring 1..4: command 0x0B, tag 5. Another ring number is
// refused with 0xC0000001 and nothing is sent.
NTSTATUS nicUniCmdFwLogUpdateRead(PMP_ADAPTER adapter, ULONG ring, ULONG readPointer);

// The LED of the chip descriptor's LED GPIO: enable (tag 0, the caller's value) and state (tag 1:
// 1 for a non-zero state, 3 for zero). 0xC0000001 without sending when the chip has no LED GPIO.
NTSTATUS nicUniCmdLedGpioEnable(PMP_ADAPTER adapter, UCHAR value);
NTSTATUS nicUniCmdLedGpioLedCtrl(PMP_ADAPTER adapter, UCHAR state);
// The two-LED scheme: the same commands for each of the descriptor's two GPIOs (both must be
// non-zero). The state follows the pattern of (connected, radio state, link kind).
NTSTATUS nicUniCmdRODuduGpioEnable(PMP_ADAPTER adapter, UCHAR value);
NTSTATUS nicUniCmdRODuduGpioLedCtrl(PMP_ADAPTER adapter, UCHAR connected, UCHAR radioState, UCHAR linkKind);
// The band-gap clock request of the third generation: 0 switches the radio off, 1 on.
NTSTATUS nicUniCmdBandGapClockReq(PMP_ADAPTER adapter, UCHAR on);
