// What the platform's firmware tells the driver about SAR and the regulatory domain, read once from
// its ACPI methods at bring-up: the SAR tables and their geographic offsets, the platform power-limit
// table, the platform's country, which countries may use 5.9 GHz, 6 GHz, standard power and
// time-averaged SAR, and the feature switches. All zero (nothing present) until they are read.
#pragma once

#include "kshim/nt_types.h"

// Bytes kept per method: one per element the method returned.
#define SAR_QZDS_SIZE 54       // without the regulatory method: 6 + 6 x rows
#define SAR_QZDS_CL_SIZE 103   // with it: 7 + 12 x rows
#define SAR_QZSS_SIZE 94
#define SAR_QZGS_SIZE 36       // without the regulatory method: 6 + 5 x rows
#define SAR_QZGS_CL_SIZE 49    // with it: 7 + 7 x rows
#define SAR_QZCL_SIZE 19
#define SAR_QZCC_SIZE 7
#define SAR_QZAG_SIZE 23
#define SAR_QZAS_SIZE 12
#define SAR_QZSP_SIZE 12
#define SAR_QZPL_SIZE 328
#define SAR_QZFG_SIZE 88

typedef struct _SAR_BIOS_TABLES {
    ULONG ActiveSarTable;           // 1-8: the SAR table row the sensor selected (1 after bring-up)
    UCHAR QzdsMode;                 // dynamic SAR mode (0: QZDS not read)
    UCHAR QzssMode;
    UCHAR GeoValid;                 // QZGS was accepted
    UCHAR QzplValid;                // the platform power-limit table was accepted
    UCHAR RegulatoryMethodPresent;  // QZCL was accepted
    UCHAR QzagValid;
    UCHAR QzasValid;
    UCHAR GeoRow;                   // geographic row of the current country (1-6)
    UCHAR PlatformCountryMode;      // QZCC element 4
    UCHAR SensorRetryStop;
    UCHAR AlternatePlan;            // platform feature 0
    UCHAR Qzds[SAR_QZDS_SIZE];
    UCHAR QzdsCl[SAR_QZDS_CL_SIZE];
    UCHAR Qzss[SAR_QZSS_SIZE];
    UCHAR Qzgs[SAR_QZGS_SIZE];
    UCHAR QzgsCl[SAR_QZGS_CL_SIZE];
    UCHAR Qzcl[SAR_QZCL_SIZE];      // 5: 6 GHz mode, 6-9: 6 GHz bitmap, 12: 5.9 GHz mode, 13-16: 5.9 GHz bitmap
    UCHAR Qzcc[SAR_QZCC_SIZE];
    UCHAR Qzag[SAR_QZAG_SIZE];
    UCHAR Qzas[SAR_QZAS_SIZE];      // from 6: the time-averaged SAR country bitmap
    UCHAR QzspValid;
    UCHAR Qzsp[SAR_QZSP_SIZE];      // from 6: the standard-power bitmap
    UCHAR Qzpl[SAR_QZPL_SIZE];      // 4: table mode, 5: entry count, from 8: 4-byte entries
    UCHAR Qzfg[SAR_QZFG_SIZE];      // 6: number of feature ids, from 8: the ids
    UCHAR Feature4;                 // PCIe link-speed switching
    UCHAR Feature3;                 // the chip cap table applies
    UCHAR SensorRetryCount;
    UCHAR ActiveSarMode;            // 1 the platform SAR table applies, 2 time-averaged SAR is in charge
    // How many elements each table method gave: the lookups read no row the platform did not give.
    UCHAR QzdsRows;
    UCHAR QzssRows;
    UCHAR QzgsRows;
    USHORT QzplElements;
    UCHAR QzfgElements;
} SAR_BIOS_TABLES, *PSAR_BIOS_TABLES;
