// The system event log: error-log entries of a device or driver object. An entry is allocated,
// filled by the driver and written; writing hands it back to the platform. Allowed up to
// DISPATCH_LEVEL.
#pragma once

#include "kshim/nt_types.h"

// Largest entry, fixed part included.
#define ERROR_LOG_MAXIMUM_SIZE 240

// One entry. The dump data starts at byte 48; an entry of size 56 + n holds DumpDataSize bytes of
// dump data for DumpDataSize up to n + 8.
typedef struct _IO_ERROR_LOG_PACKET {
    UCHAR MajorFunctionCode;
    UCHAR RetryCount;
    USHORT DumpDataSize;     // bytes of DumpData the entry carries
    USHORT NumberOfStrings;  // insertion strings (not carried by the stand-in's log)
    USHORT StringOffset;
    USHORT EventCategory;
    USHORT Reserved0;
    NTSTATUS ErrorCode;  // the message id
    ULONG UniqueErrorValue;
    NTSTATUS FinalStatus;
    ULONG SequenceNumber;
    ULONG IoControlCode;
    LARGE_INTEGER DeviceOffset;
    LARGE_INTEGER TimeStamp;  // set by the platform when the entry is written
    ULONG DumpData[2];
} IO_ERROR_LOG_PACKET, *PIO_ERROR_LOG_PACKET;
static_assert(offsetof(IO_ERROR_LOG_PACKET, DumpData) == 48, "dump data starts at byte 48");
static_assert(sizeof(IO_ERROR_LOG_PACKET) == 56, "entry without extra dump data is 56 bytes");

// A zeroed entry of entrySize bytes for the device or driver object, or nullptr when the size is
// above ERROR_LOG_MAXIMUM_SIZE or below the fixed part, when the object is missing, or when the
// log has no room (fault point "errorlog.alloc").
PVOID IoAllocateErrorLogEntry(PVOID ioObject, UCHAR entrySize);
// Writes the entry to the log and releases it.
void IoWriteErrorLogEntry(PVOID elEntry);
