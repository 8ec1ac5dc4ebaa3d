// The firmware statistics the adapter keeps: the station statistics, MIB and WLAN-information records
// of the statistics events (per chip: the chip's statistics operation, or the event handler of a chip
// without one) and the PHY status records of the status event.
#pragma once

#include "kshim/nt_types.h"

#define STA_STAT_RECORD_SIZE 384
#define MIB_RECORD_SIZE 236
#define STA_STAT_ORI_PAYLOAD_SIZE 296
#define STA_STAT_ORI_BAND_BLOCK_SIZE 52
typedef struct _STA_STAT_BAND {
    ULONG Running32[5];   // the firmware block's five u32 counters, summed over the events
    ULONG Running16[8];   // its eight u16 counters, summed
    ULONG64 Totals[5];    // running counters summed at every event
    ULONG Last[3];        // running counters 0, 1 and 2 as the last event left them
    ULONG TotalRatio;     // thousandths: total1 / (total0 + total1)
    ULONG EventRatio;     // thousandths: c1 / (c0 + c1) of the event's own block
} STA_STAT_BAND;
typedef struct _STA_STAT_ORI_RECORD {
    UCHAR Fields[STA_STAT_ORI_PAYLOAD_SIZE];  // the copied payload fields at their payload offsets
    ULONG AirTime;                            // (u32 at 0x28 x 32 / 1000) / u32 at 0x1C
    STA_STAT_BAND Band[2];
} STA_STAT_ORI_RECORD;
#define WLAN_INFO_RECORD_SIZE 156
#define PHY_STATUS_RECORD_SMALL 20
#define PHY_STATUS_RECORD_LARGE 32

typedef struct _STATISTICS_BLOCK {
    UCHAR StaStatRecord[STA_STAT_RECORD_SIZE];  // the statistics event's fixed fields at their payload offsets
    ULONG64 StaStatBandTotals[2][21];  // per band: running totals of the block's counters
    ULONG64 StaStatBandCumulative[2][5];
    ULONG StaStatRatioCumulative[2];  // thousandths
    ULONG StaStatRatioEvent[2];
    ULONG StaStatRate;
    ULONG64 StaStatCounters[2];
    UCHAR StaStatReset;  // the statistics are being reset
    UCHAR MibRecord[MIB_RECORD_SIZE];
    STA_STAT_ORI_RECORD StaStatOri;
    UCHAR StaInfoResetRequested;  // the last station-information query asked for the counters to be reset
    UCHAR WlanInfo[WLAN_INFO_RECORD_SIZE];
    UCHAR PhyStatusSmall[PHY_STATUS_RECORD_SMALL];  // PHY status record of kind 1
    UCHAR PhyStatusLarge[PHY_STATUS_RECORD_LARGE];  // PHY status record of kind 4
} STATISTICS_BLOCK, *PSTATISTICS_BLOCK;
