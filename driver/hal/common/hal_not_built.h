// NOT_BUILT_YET() in a form that stands both as an expression (`return NOT_BUILT_YET();`) and as a
// statement (`(void)NOT_BUILT_YET();`), with the meaning trace.h gives it: trace the routine's name
// and give STATUS_NOT_SUPPORTED. Chip-layer sources include this header after the others.
#pragma once

#include "platform/ndiscommon/trace.h"

inline NTSTATUS HalNotBuiltYet(const char* file, int line, const char* function)
{
    if (KTRACE_ENABLED(TRACE_LEVEL_ERROR, DBG_INIT)) {
        KshimTraceMessage(file, line, function, TRACE_LEVEL_ERROR, DBG_INIT, "%s is not built yet", function);
    }
    return STATUS_NOT_SUPPORTED;
}

#undef NOT_BUILT_YET
#define NOT_BUILT_YET() HalNotBuiltYet(__FILE__, __LINE__, __func__)
