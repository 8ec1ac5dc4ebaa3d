// The firmware command layer: command messages, the 20 command slots and the calls the shell makes
// into it. The layer's own code comes with the firmware command subsystem.
#pragma once

#include "Common/common.h"

#define FW_CMD_SLOT_COUNT 20
#define FW_CMD_SLOT_NONE FW_CMD_SLOT_COUNT  // a message without a waiter

// A firmware command message descriptor of the message pool, with its 256-byte buffer.
typedef struct _FW_CMD_MSG {
    POOL_LINK Link;  // free-list link while the descriptor is in its pool
    UCHAR CmdId;     // 0xEE marks a firmware download data piece
    PUCHAR Buffer;
    ULONG BufferSize;
    USHORT TotalLength;  // at most 4096
    ULONG SlotIndex;     // 0 to 19, FW_CMD_SLOT_NONE without a waiter
    USHORT PoolIndex;
} FW_CMD_MSG, *PFW_CMD_MSG;

// One of the adapter's 20 firmware command slots.
typedef struct _FW_CMD_SLOT {
    volatile UCHAR InUse;
} FW_CMD_SLOT, *PFW_CMD_SLOT;

// Hands every queued firmware command message to the host interface; run by "PlatformFWCmdThread".
NTSTATUS QzCmdDequeueFWCmd(PMP_ADAPTER adapter, ULONG reserved);
