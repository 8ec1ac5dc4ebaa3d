// The driver's trace components and message helpers. Every message goes through the platform's
// one trace macro family, which tests the level before formatting.
#pragma once

#include "kshim/trace.h"

// Components (trace flags).
#define DBG_INIT 0x00000001u     // entry, device add, bring-up and teardown
#define DBG_PNP 0x00000002u      // PnP and power callbacks
#define DBG_CONFIG 0x00000004u   // registry configuration
#define DBG_MEM 0x00000008u      // allocator and pools
#define DBG_THREAD 0x00000010u   // threads, timers, internal commands
#define DBG_HIF 0x00000020u      // host interface: registers, rings, interrupts
#define DBG_HAL 0x00000040u      // chip layer
#define DBG_FW 0x00000080u       // firmware files and download
#define DBG_CMD 0x00000100u      // firmware commands and events
#define DBG_TX 0x00000200u
#define DBG_RX 0x00000400u
#define DBG_WDI 0x00000800u
#define DBG_MLME 0x00001000u
#define DBG_AP 0x00002000u
#define DBG_P2P 0x00004000u
#define DBG_POWER 0x00008000u
#define DBG_IOCTL 0x00010000u

#define DBGPRINT(level, flags, ...) KTRACE((level), (flags), __VA_ARGS__)
#define DBG_ENTER(flags) KTRACE(TRACE_LEVEL_VERBOSE, (flags), "-->")
#define DBG_EXIT(flags, status)                                                                    \
    KTRACE(TRACE_LEVEL_VERBOSE, (flags), "<-- 0x%08X", static_cast<unsigned>(status))

// A service whose own code comes later: the call traces and fails loudly. Every such place is
// listed by `grep -rn NOT_BUILT_YET driver/`. Usable as an expression (`return NOT_BUILT_YET();`) and,
// in a routine without a result, as a statement (`(void)NOT_BUILT_YET();`). The trace is the named
// event "NotBuiltYet" written under the service's own function name, so a tool lists the missing
// services without reading the message.
inline NTSTATUS NotBuiltYet(const char* file, int line, const char* function)
{
    if (KTRACE_ENABLED(TRACE_LEVEL_ERROR, DBG_INIT)) {
        KshimTraceEvent(file, line, function, TRACE_LEVEL_ERROR, DBG_INIT, "NotBuiltYet", "%s is not built yet",
                        function);
    }
    return STATUS_NOT_SUPPORTED;
}
#define NOT_BUILT_YET() NotBuiltYet(__FILE__, __LINE__, __func__)
