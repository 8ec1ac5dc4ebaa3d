// The WDI TLV parser: the TLVs behind a WDI message header, each {u16 type, u16 length of the value,
// value}, little-endian, turned into the parameter records the driver's handlers read. A parse
// routine checks every length against the bytes it was given, skips TLVs it does not know (the
// first of a repeated TLV wins) and fails with NDIS_STATUS_INVALID_DATA when a TLV it needs is
// missing or shorter than its record. The cleanup routine releases what a parse attached to a
// record (nothing for a record of fixed members).
#pragma once

#include "kshim/nt_types.h"

#define WDI_TLV_HEADER_SIZE 4u

#ifndef NDIS_STATUS_INVALID_DATA
#define NDIS_STATUS_INVALID_DATA ((NTSTATUS)0xC0010015L)
#endif

// TLV types.
#define WDI_TLV_TASK_ABORT_PARAMETERS 0x0040u  // {u32 message id, u32 transaction id, u16 port id}
#define WDI_TLV_TASK_ABORT_PARAMETERS_SIZE 10u

// The parsed parameters of the abort-task property: the task to abort.
typedef struct _WDI_TASK_ABORT_PARAMETERS {
    ULONG MessageId;
    ULONG TransactionId;
    USHORT PortId;
    USHORT Reserved;
} WDI_TASK_ABORT_PARAMETERS, *PWDI_TASK_ABORT_PARAMETERS;
static_assert(sizeof(WDI_TASK_ABORT_PARAMETERS) == 12, "parsed abort parameters are 12 bytes");

// Parses the abort-task message (`length` bytes of TLVs) into a WDI_TASK_ABORT_PARAMETERS record.
// `context` is the caller's TLV context (allocation context and peer version).
NTSTATUS WdiTlvParseTaskAbort(ULONG length, const UCHAR* tlvs, const void* context, PVOID parameters);
// The generic cleanup of a parsed record.
VOID WdiTlvCleanup(PVOID parameters);
