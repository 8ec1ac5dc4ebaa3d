// The system event log: the one writer of error-log entries and the writers of the driver-life
// entries.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// Message ids of the driver's message table the shell writes.
#define EVENT_LOG_WAKE_SUPPORT 0x400207D0u  // "Support for WakeFromSx/S0Idle"
#define EVENT_LOG_DRIVER_INIT 0x40021F40u   // "Driver Init"
#define EVENT_LOG_DRIVER_UNLOAD 0x40021F41u  // "Driver Unload"
#define EVENT_LOG_SURPRISE_REMOVE 0x40021F42u  // "Driver surprise remove"
#define EVENT_LOG_D3COLD_SUPPORT 0x400207D3u   // "D3 cold support"

// Data bytes of one entry, and what WriteSystemEventLog answers when an entry cannot be written.
#define EVENT_LOG_PIECE_SIZE 184
#define EVENT_LOG_WRITE_FAILED ((NTSTATUS)0xFFFFFFFEL)

// Writes `length` bytes as the dump data of one or more entries of the adapter's device object
// (184 bytes per entry); nothing while the adapter's event-log switch is not 1. Every caller passes
// mode 0 (plain copy).
NTSTATUS WriteSystemEventLog(PMP_ADAPTER adapter, ULONG messageId, UCHAR mode, const void* data, USHORT length);

// "Driver Init" and "Driver Unload": the 64-bit system time, then the driver version text (at most
// 32 bytes, zero-filled).
void LogEventDriverInit(PMP_ADAPTER adapter);
void LogEventDriverUnload(PMP_ADAPTER adapter);
