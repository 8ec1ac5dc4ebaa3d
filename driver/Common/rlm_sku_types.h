// The power-limit files loaded at bring-up, kept as text: one per slot of the chip descriptor.
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
} SKU_FILE_TABLES;
