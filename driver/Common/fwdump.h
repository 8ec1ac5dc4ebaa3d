// The firmware's assert dump, the core-dump files and the ICS log file.
//
// An assert dump arrives as a stream of events 0xF0, each one chunk of dump text; the chunks go to the
// core-dump file ("\SystemRoot\System32\drivers\CoreDump", or "...\CoreDumpBT" for a dump of the
// Bluetooth side) through the control thread's core-dump commands, which open, write and close the
// file at passive level. The dump ends when no chunk has come for 500 ms. ICS records of the in-chip
// sniffer go to the ICS log file through the ICS command thread; PHY raw sample blocks are written to
// it directly when the caller runs at passive level.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _PLATFORM_TIMER PLATFORM_TIMER, *PPLATFORM_TIMER;

#define CORE_DUMP_END_MS 500
#define ICS_RECORD_TYPE_PHY_RAW 13u
#define ICS_PHY_RAW_WORDS 256
// Offsets in the payload of extended event 0xED sub-id 0x04.
#define ICS_PHY_RAW_TAG_OFFSET 8
#define ICS_PHY_RAW_COUNT_OFFSET 12
#define ICS_PHY_RAW_DATA_OFFSET 36

// With `open` 1 opens the core-dump file (the Bluetooth file while AssertDumpMark is set), emptied,
// and keeps its handle in CoreDumpFile; with 0 closes the handle. Passive level.
NTSTATUS PlatformOpenCoreDumpFile(PMP_ADAPTER adapter, UCHAR open);
// With `open` 1 opens a new ICS log file named for the local time ("IcsLog_y_m_d_h_m_s.bin") and
// keeps its handle in IcsLogFile; with 0 closes the handle. Passive level.
NTSTATUS PlatformOpenIcsLogFile(PMP_ADAPTER adapter, UCHAR open);

// Event 0xF0: one chunk of dump text (the payload, header length less 12 bytes).
VOID ProcessAssertDumpEvent(PMP_ADAPTER adapter, PUCHAR eventView, PUCHAR payload, ULONG payloadLength);
// The end timer of the dump ("wlanMcuCorDumpTimer"): posts the end of the dump.
VOID McuCorDumpTimeOut(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3);
// One sniffer record of the chip (its first u16 is its length): queued for the ICS log when ICS
// logging is on; 0 and nothing done otherwise.
NTSTATUS ProcessIcsLog(PMP_ADAPTER adapter, const UCHAR* buffer, USHORT length);
// Extended event 0xED sub-id 0x04: a block of PHY raw words for the ICS log (payload and its length).
VOID nicExtEventPhyIcsRawData(PMP_ADAPTER adapter, PUCHAR payload, ULONG payloadLength);
