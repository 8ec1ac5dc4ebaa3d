// Receive processing: the receive threads of the three receive rings.
#pragma once

#include "platform/ndiscommon/ndiscommon.h"

// Bodies of "RxThread0" to "RxThread2" (context: the adapter). Each waits on its ring's event, which
// is its thread's wake event, and runs the ring's service.
PLATFORM_THREAD_BODY RxThreadProc0;
PLATFORM_THREAD_BODY RxThreadProc1;
PLATFORM_THREAD_BODY RxThreadProc2;

typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;

// Hands every active port's pending chain of received frames to the OS.
VOID RecvFlushPortIndications(PMP_ADAPTER adapter);
// The port of a frame whose sender is not known by its WLAN index (a 24-byte header): port 0 by
// default; a group-addressed frame goes to the first active port whose BSSID is address 2 or
// address 3, a unicast frame to the first active port whose own address is address 1.
NTSTATUS RecvGetMacContext(PMP_ADAPTER adapter, const UCHAR* header, PMP_PORT* port);
// Station-port receive processing of a parsed frame, per generation; the record is handed on or
// returned to its pool. `rssi` holds the RSSI of chains 0 and 1 (dBm).
VOID RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
VOID Qz3501RecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
VOID Arvel3xRecvProcessPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
