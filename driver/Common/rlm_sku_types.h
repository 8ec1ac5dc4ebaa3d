// The power-limit files loaded at bring-up, kept as text: one per slot of the chip descriptor; and
// the per-channel limit table parsed from one of them for each send.
#pragma once

#include "kshim/nt_types.h"

#define SKU_SLOT_COUNT 4
#define SKU_SLOT_24G5G 0
#define SKU_SLOT_24G5G_1SS1T 1
#define SKU_SLOT_6G 2
#define SKU_SLOT_6G_1SS1T 3

typedef struct _SKU_FILE_TABLES {
    PUCHAR Text[SKU_SLOT_COUNT];    // the table text, followed by zero bytes up to Length
    ULONG Length[SKU_SLOT_COUNT];   // the length of the buffer (0: not loaded)
    UCHAR AfcLimit;                 // the AFC limit of the rate group being parsed
} SKU_FILE_TABLES;

// A parsed table: one row per channel of a fixed list, one block of 16 limits per rate group.
#define SKU_RATE_GROUP_COUNT 35
#define SKU_GROUP_BLOCK 16
#define SKU_ROWS_24G5G 66
#define SKU_ROWS_6G 109
#define SKU_LIMIT_NONE 0x7F         // no limit
#define SKU_LIMIT_UNSPECIFIED 0x80  // 'x' in the file

#pragma pack(push, 1)
typedef struct _SKU_POWER_ROW {
    UCHAR Channel;
    CHAR Limits[SKU_RATE_GROUP_COUNT][SKU_GROUP_BLOCK];
} SKU_POWER_ROW, *PSKU_POWER_ROW;
#pragma pack(pop)
static_assert(sizeof(SKU_POWER_ROW) == 1 + 35 * 16, "a channel byte and 35 blocks of 16 limits");

typedef struct _SKU_POWER_TABLE {
    ULONG RowCount;
    PSKU_POWER_ROW Rows;
} SKU_POWER_TABLE, *PSKU_POWER_TABLE;
