// WDI commands of the Wi-Fi class extension: a request carries one WDI message from the OS (its
// message id and one buffer that holds the input and receives the output, the 16-byte WDI header
// first); the driver completes each request exactly once. Indications go the other way: the driver
// hands the class extension a memory object holding a WDI header and its TLVs.
#pragma once

#include "kshim/wificx.h"

typedef unsigned int UINT;
typedef UINT* PUINT;

// The WDI message id of the request (a task or a property).
USHORT WifiRequestGetMessageId(WIFIREQUEST Request);
// The request's buffer (shared by input and output) with the input and output lengths; null (and
// both lengths 0) for a request without a buffer. Either length pointer may be null.
PVOID WifiRequestGetInOutBuffer(WIFIREQUEST Request, PUINT InputBufferLength, PUINT OutputBufferLength);
// Records how many output bytes the request would need (with STATUS_BUFFER_OVERFLOW completions).
VOID WifiRequestSetBytesNeeded(WIFIREQUEST Request, UINT BytesNeeded);
// Completes the request with a status and the number of output bytes written. The handle is gone
// afterwards; a second completion is a strict-mode failure.
VOID WifiRequestComplete(WIFIREQUEST Request, NTSTATUS NtStatus, UINT BytesWritten);

// Hands one indication to the OS: the low 16 bits of the indication code and the bytes of the
// memory object (copied during the call; the driver may delete the object afterwards).
VOID WifiDeviceReceiveIndication(WDFDEVICE Device, USHORT IndicationType, WDFMEMORY Data);
