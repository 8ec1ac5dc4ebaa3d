// Software tracing. One macro family: KTRACE(level, flags, fmt, ...) tests the level (and flags)
// first, then formats into a bounded buffer and records the message in the trace ring, echoing it
// to stderr when it is at or above the echo threshold. KTRACE_BINARY records raw bytes.
#pragma once

#include "kshim/nt_types.h"

#define TRACE_LEVEL_NONE 0
#define TRACE_LEVEL_CRITICAL 1
#define TRACE_LEVEL_FATAL 1
#define TRACE_LEVEL_ERROR 2
#define TRACE_LEVEL_WARNING 3
#define TRACE_LEVEL_INFORMATION 4
#define TRACE_LEVEL_VERBOSE 5

// Largest formatted message; longer text is cut.
#define KTRACE_MAX_MESSAGE 512

typedef struct _DRIVER_OBJECT* PDRIVER_OBJECT;

// Enabled level of tracing, set by the harness; flags select components (0 = every component).
extern volatile UCHAR g_KshimTraceLevel;
extern volatile ULONG g_KshimTraceFlags;

void KshimTraceMessage(const char* file, int line, const char* function, UCHAR level, ULONG flags,
                       const char* format, ...) __attribute__((format(printf, 6, 7)));
void KshimTraceBinary(const char* file, const char* function, UCHAR level, ULONG flags,
                      const void* data, SIZE_T length);
// A message that also carries an event name, as self-describing platform events do: a reader finds
// it by its name and the function that wrote it, never by parsing its text.
void KshimTraceEvent(const char* file, int line, const char* function, UCHAR level, ULONG flags, const char* event,
                     const char* format, ...) __attribute__((format(printf, 7, 8)));

#define KTRACE_ENABLED(level, flags)                                                               \
    ((level) <= g_KshimTraceLevel && (g_KshimTraceFlags == 0 || ((flags) & g_KshimTraceFlags) != 0))

#define KTRACE(level, flags, ...)                                                                  \
    do {                                                                                           \
        if (KTRACE_ENABLED(level, flags)) {                                                        \
            KshimTraceMessage(__FILE__, __LINE__, __func__, (level), (flags), __VA_ARGS__);        \
        }                                                                                          \
    } while (0)

// A named event: KTRACE_EVENT(level, flags, "Name", fmt, ...).
#define KTRACE_EVENT(level, flags, event, ...)                                                     \
    do {                                                                                           \
        if (KTRACE_ENABLED(level, flags)) {                                                        \
            KshimTraceEvent(__FILE__, __LINE__, __func__, (level), (flags), (event), __VA_ARGS__); \
        }                                                                                          \
    } while (0)

#define KTRACE_BINARY(level, flags, data, length)                                                  \
    do {                                                                                           \
        if (KTRACE_ENABLED(level, flags)) {                                                        \
            KshimTraceBinary(__FILE__, __func__, (level), (flags), (data), (length));              \
        }                                                                                          \
    } while (0)

// Start and stop the driver's trace session (driver entry, failure and unload).
void KshimTraceStart(PDRIVER_OBJECT driverObject, PCUNICODE_STRING registryPath);
void KshimTraceStop(PDRIVER_OBJECT driverObject);
#define WPP_INIT_TRACING(driverObject, registryPath) KshimTraceStart((driverObject), (registryPath))
#define WPP_CLEANUP(driverObject) KshimTraceStop(driverObject)
