// Bus address remap: how a 32-bit chip address reaches the device through the memory BAR.
//
// Every chip has a fixed table of register windows; addresses below the chip's identity limit are
// BAR offsets already. Addresses no fixed window covers go through the third generation's two
// movable windows (L1, L2) or, on other chips, through the legacy 512 KB window; the register access
// of the host interface runs those sequences with the values computed here.
#pragma once

#include "hal/common/hal_chip.h"

// Identity limits: a chip address below the limit is a BAR offset.
#define QZ3501_REMAP_IDENTITY_LIMIT 0xF0000u
#define QZ3502_REMAP_IDENTITY_LIMIT 0x100000u
#define QZ3503_REMAP_IDENTITY_LIMIT 0x100000u
#define ARVEL3X_REMAP_IDENTITY_LIMIT 0x200000u
#define QZ3404_REMAP_IDENTITY_LIMIT 0x40000u

// The fixed window tables, each ended by an all-zero row.
extern const PCBUS_REMAP_ENTRY g_Arvel2xBusRemapTable;  // 49 rows: 3501, 3502, 3503
extern const PCBUS_REMAP_ENTRY g_Qz3602BusRemapTable;   // 53 rows: 3602, 3603, 0x0C04
extern const PCBUS_REMAP_ENTRY g_Qz3601BusRemapTable;   // 54 rows: 3601, 0x0C03
extern const PCBUS_REMAP_ENTRY g_Qz3404BusRemapTable;   // 34 rows

// The third generation's movable windows, L1 then L2 (the descriptor's BusRemapTable).
extern const PCBUS_REMAP_WINDOW g_Qz3602BusRemapWindows[2];
extern const PCBUS_REMAP_WINDOW g_Qz3601BusRemapWindows[2];

// Walks a fixed table: below the identity limit the address is its own offset; otherwise the first
// row with base <= address < base + size gives its BAR offset plus the distance from the base. False
// at the terminating row. Pure; any IRQL.
BOOLEAN HalBusAddrRemapByTable(PCBUS_REMAP_ENTRY table, ULONG identityLimit, ULONG chipAddress,
                               PULONG barOffset);
// The reverse: the chip address shown at a BAR offset by the first row whose BAR range holds it.
BOOLEAN HalBusAddrRemapReverse(PCBUS_REMAP_ENTRY table, ULONG barOffset, PULONG chipAddress);

// The BusAddrRemap operation of each chip (slot 43).
BOOLEAN QZ3501BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);
BOOLEAN QZ3502BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);
BOOLEAN QZ3503BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);
BOOLEAN QZ3601BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);
BOOLEAN QZ3602BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);
BOOLEAN QZ3404BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);

// The RegAccessTraceHook operation of the second generation (slot 57): writes a trace record with
// the value when the register it names lies in the traced chip ranges.
VOID QZ3501RegAccessTraceHook(PMP_ADAPTER adapter, ULONG value);
VOID QZ3502RegAccessTraceHook(PMP_ADAPTER adapter, ULONG value);
VOID QZ3503RegAccessTraceHook(PMP_ADAPTER adapter, ULONG value);

// ---- movable windows --------------------------------------------------------------------------------
// The road a chip address takes.
typedef enum _BUS_REMAP_ROUTE {
    BusRemapRouteBar = 0,  // identity range or a fixed window: Value is the BAR offset
    BusRemapRouteL1,       // third generation, L1 window: Value is the window address to position at
    BusRemapRouteL2,       // third generation, L2 window: Value is the chip address
    BusRemapRouteLegacy,   // other chips, legacy window: Value is the chip address
} BUS_REMAP_ROUTE;

typedef struct _BUS_REMAP_RESULT {
    BUS_REMAP_ROUTE Route;
    ULONG Value;
} BUS_REMAP_RESULT, *PBUS_REMAP_RESULT;

// Chooses the road for a chip address: the chip's BusAddrRemap first; on the third generation
// (chosen by device id) an address in 0x18000000-0x18BFFFFF, 0x70000000-0x77FFFFFF or from
// 0xF0000000 goes through L1 as it is, one in 0x7C000000-0x7C3FFFFF through L1 at the address less
// 0x64000000, any other through L2; every other chip uses the legacy window. Pure; any IRQL.
VOID HalBusRemapResolve(PMP_ADAPTER adapter, ULONG chipAddress, PBUS_REMAP_RESULT result);

// Value for a window's select register that positions the window at a window address, keeping the
// bits outside the window's mask: (old & ~mask) | ((address >> 16) << (shift & 31)).
ULONG HalRemapWindowSelect(PCBUS_REMAP_WINDOW window, ULONG oldSelect, ULONG windowAddress);
// BAR offset (below every identity limit) of a window address inside the positioned L1 window.
ULONG HalRemapL1Offset(PCBUS_REMAP_WINDOW l1, ULONG windowAddress);
// The L1 window address that shows the L2 data port.
ULONG HalRemapL2PortAddress(PCBUS_REMAP_WINDOW l2);

// The legacy window: the select register, the 512 KB block it selects and the BAR offset of an
// address inside the selected block.
#define BUS_REMAP_LEGACY_SELECT_REGISTER 0x80000504u
ULONG HalRemapLegacySelect(ULONG chipAddress);
ULONG HalRemapLegacyOffset(ULONG chipAddress);
