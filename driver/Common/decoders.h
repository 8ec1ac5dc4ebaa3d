// Names of values for trace messages, hex and text dumps into the trace, time-stamped file names
// and elapsed time. None of these changes driver state.
#pragma once

#include "kshim/nt_types.h"
#include "kshim/rtl.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// ---- time ------------------------------------------------------------------------------------------------
// Appends "_<year>_<month>_<day>_<hour>_<minute>_<second>" of the local time to the name; the append's
// status, or 0xC0000001 when the text cannot be formatted.
NTSTATUS BuildFileNameWithTimeFields(PUNICODE_STRING name);
// The current local time as time fields.
void GetLocalTimeFields(PTIME_FIELDS fields);
// Milliseconds since a stored system time (100 ns units).
ULONG64 GetTimeElapsedInMsec(PMP_ADAPTER adapter, ULONG64 start);

// ---- trace dumps -------------------------------------------------------------------------------------------
// Lines of the hex dump: 16 bytes each, ": " after the eighth; with `ascii` each line ends with the bytes
// as characters ('.' for a byte below 0x20, above 0x7E, or '%').
#define DBG_DUMP_LINE_SIZE 128
#define DBG_DUMP_BYTES_PER_LINE 16
// Formats one line of the hex dump of `count` (1..16) bytes into `line` (DBG_DUMP_LINE_SIZE bytes).
void DBGDumpHexLine(PCHAR line, const UCHAR* data, ULONG count, UCHAR ascii);
// Traces the title and the hex dump of `length` bytes at the given level and component.
void DBGDumpHex(ULONG level, ULONG component, PCSTR title, ULONG length, const void* data, UCHAR ascii);
// Traces a byte string of the given length as text (at most 255 bytes of it).
void DBGDumpString(PCSTR title, const void* data, ULONG length);

// ---- values and their names -----------------------------------------------------------------------------
// 1, 2 and 3 pass unchanged; any other scan type gives 0x80000000.
ULONG WdiConvertScanType(ULONG scanType);
PCSTR DecodeCipherName(ULONG cipher);
PCSTR DecodePhyMode(ULONG mode);
PCSTR DecodeWdiP2PActionFrame(ULONG frameType);
PCSTR DecodeP2PFrameType(ULONG frameType);
PCSTR decodeAuthAlgorithm(ULONG algorithm);
PCSTR decodeCipherAlgorithm(ULONG algorithm);
PCSTR DecodeIeName(USHORT elementId);
