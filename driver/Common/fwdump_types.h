// The adapter's records of the assert dump, the core-dump files and the ICS log file.
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

typedef struct _FW_DUMP_BLOCK {
    // Core-dump file: open mark, the assert-dump mark (a dump of the Bluetooth side, written to the
    // Bluetooth file), the dump-in-progress mark and byte count of the assert-dump event, the handle.
    UCHAR CoreDumpOpen;
    UCHAR AssertDumpMark;
    UCHAR CoreDumpInProgress;
    ULONG CoreDumpByteCount;
    HANDLE CoreDumpFile;
    UCHAR FwAsserted;  // the firmware sent an assert dump; cleared by error recovery
    UCHAR CoreDumpHeaderPhase;  // the dump's header chunks are traced
    PLATFORM_TIMER CoreDumpTimer;  // "wlanMcuCorDumpTimer": the dump ends 500 ms after its last chunk
    // ICS log file: open mark, handle, the record counter of its record headers, and the ICS logging
    // switches.
    UCHAR IcsLogOpen;
    HANDLE IcsLogFile;
    USHORT IcsRecordCounter;
    UCHAR IcsLogging[2];  // the two ICS logging bytes
    UCHAR IcsLoggingDynamic;  // the third ICS-logging flag (dynamic ICS logging), beside IcsLogging[2]
} FW_DUMP_BLOCK, *PFW_DUMP_BLOCK;
