// Receive processing: the receive threads of the three receive rings.
#pragma once

#include "platform/ndiscommon/ndiscommon.h"

// Bodies of "RxThread0" to "RxThread2" (context: the adapter). Each waits on its ring's event, which
// is its thread's wake event, and runs the ring's service.
PLATFORM_THREAD_BODY RxThreadProc0;
PLATFORM_THREAD_BODY RxThreadProc1;
PLATFORM_THREAD_BODY RxThreadProc2;
