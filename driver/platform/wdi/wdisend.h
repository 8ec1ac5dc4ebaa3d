// The WDI send path: the per-port send threads and the send thread after recovery.
#pragma once

#include "platform/ndiscommon/ndiscommon.h"

// Body of "WdiSendDataThread0" to "WdiSendDataThread4" (context: the port). The port's transmit event
// is its send thread's wake event.
PLATFORM_THREAD_BODY WdiSendDataThreadProc;
// Body of "WdiSendDataThreadAfterSER" (context: the adapter). The adapter's send-restart event is the
// thread's wake event.
PLATFORM_THREAD_BODY WdiSendDataThreadAfterSERProc;
// Re-sends the frames queued while the port could not transmit.
NTSTATUS WdiSendDataProcess(PMP_ADAPTER adapter, PMP_PORT port);
