// Bus address remap: fixed-window lookups, identity ranges, the roads through the movable and the
// legacy windows, and the second generation's register-access trace.
#include <gtest/gtest.h>

#include "hal/common/hal_remap.h"
#include "hal_support.h"
#include "kshim/host/control.h"
#include "kshim/trace.h"

namespace {

using haltest::MakeAdapter;

constexpr ULONG kNone = 0xFFFFFFFF;  // no fixed window

struct RemapCase {
    USHORT deviceId;
    ULONG chipAddress;
    ULONG barOffset;  // kNone when BusAddrRemap answers false
};

TEST(Remap, FixedWindowsAndIdentityRanges)
{
    const RemapCase cases[] = {
        // Identity limits.
        {0x3501, 0x000EFFFC, 0x000EFFFC}, {0x3501, 0x000F0000, kNone},
        {0x3502, 0x000FFFFC, 0x000FFFFC}, {0x3503, 0x000F0000, 0x000F0000},
        {0x3602, 0x001FFFFC, 0x001FFFFC}, {0x3404, 0x0003FFFC, 0x0003FFFC},
        // The first row that holds an address wins; a window ends where its size says.
        {0x3501, 0x820CE000, 0x21C00}, {0x3502, 0x820C4000, 0xA8000}, {0x3502, 0x820CBFFF, 0x27FFF},
        {0x3502, 0x820CC010, 0x0E010}, {0x3502, 0x820CE1FC, 0x21DFC}, {0x3502, 0x820CE200, kNone},
        {0x3502, 0x7C060010, 0xE0010}, {0x3502, 0x7C00E260, 0xFE260}, {0x3502, 0x74030188, 0x10188},
        {0x3502, 0x830C0120, kNone},   {0x3502, 0x7C095000, kNone},   {0x3503, 0x80000504, kNone},
        // Third generation: its own rows, the moved PCIe MAC block, the 32 MB row onto the L1 window.
        {0x3602, 0x830C0120, 0x00120}, {0x3603, 0x74030188, 0x1D0188}, {0x3602, 0x820CC010, 0x0E010},
        {0x3602, 0x7C53FFFC, 0x9FFFC}, {0x3602, 0x7C500000, 0x60000},  {0x3602, 0x70001234, 0x1E1234},
        {0x3602, 0x70009000, kNone},   {0x3602, 0x7C095000, kNone},    {0x3601, 0x7C095000, 0x155000},
        {0x0C03, 0x7C021000, 0xD1000}, {0x3602, 0x183F0000, kNone},    {0x3602, 0x88000004, kNone},
        // The older chip.
        {0x3404, 0x000E0800, 0x07800}, {0x3404, 0x000E1000, 0xE1000},  {0x3404, 0x80000504, 0x02504},
        {0x3404, 0x50005010, 0x05010}, {0x3404, 0x81021140, 0xC1140},  {0x3404, 0x81234568, kNone},
    };
    for (const RemapCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "id 0x" << c.deviceId << " address 0x" << c.chipAddress);
        auto adapter = MakeAdapter(c.deviceId);
        HalRegisterChip(adapter.get());
        ULONG offset = 0xDEADBEEF;
        BOOLEAN mapped = adapter->HalOps.BusAddrRemap(adapter.get(), c.chipAddress, &offset);
        EXPECT_EQ(mapped != 0, c.barOffset != kNone);
        EXPECT_EQ(offset, mapped ? c.barOffset : 0xDEADBEEF);
    }
}

size_t RowCount(PCBUS_REMAP_ENTRY table)
{
    size_t n = 0;
    while (table[n].ChipBase != 0 || table[n].BarOffset != 0 || table[n].Size != 0) {
        ++n;
    }
    return n;
}

TEST(Remap, TablesHaveTheirRowCounts)
{
    EXPECT_EQ(RowCount(g_Arvel2xBusRemapTable), 49u);
    EXPECT_EQ(RowCount(g_Qz3602BusRemapTable), 53u);
    EXPECT_EQ(RowCount(g_Qz3601BusRemapTable), 54u);
    EXPECT_EQ(RowCount(g_Qz3404BusRemapTable), 34u);
}

TEST(Remap, ReverseLookupTakesTheFirstRowOfTheBarRange)
{
    ULONG chip = 0;
    EXPECT_TRUE(HalBusAddrRemapReverse(g_Arvel2xBusRemapTable, 0xA5010, &chip));
    EXPECT_EQ(chip, 0x820CC010u);
    EXPECT_TRUE(HalBusAddrRemapReverse(g_Arvel2xBusRemapTable, 0x10188, &chip));
    EXPECT_EQ(chip, 0x74030188u);
    EXPECT_FALSE(HalBusAddrRemapReverse(g_Arvel2xBusRemapTable, 0x40000, &chip));
    EXPECT_FALSE(HalBusAddrRemapReverse(g_Qz3602BusRemapTable, 0x10188, &chip));
}

struct RouteCase {
    USHORT deviceId;
    ULONG chipAddress;
    BUS_REMAP_ROUTE route;
    ULONG value;
};

TEST(Remap, RoadsThroughTheMovableAndLegacyWindows)
{
    const RouteCase cases[] = {
        {0x3602, 0x183F0000, BusRemapRouteL1, 0x183F0000},  {0x3602, 0x7C3F0000, BusRemapRouteL1, 0x183F0000},
        {0x0C04, 0xF0001234, BusRemapRouteL1, 0xF0001234},  {0x3601, 0x77FFFFFC, BusRemapRouteL1, 0x77FFFFFC},
        {0x3602, 0x18C00000, BusRemapRouteL2, 0x18C00000},  {0x3602, 0x60000000, BusRemapRouteL2, 0x60000000},
        {0x3602, 0x78000000, BusRemapRouteL2, 0x78000000},  {0x3602, 0x7C400000, BusRemapRouteL2, 0x7C400000},
        {0x3602, 0x88000004, BusRemapRouteL2, 0x88000004},  {0x3602, 0x70001000, BusRemapRouteBar, 0x1E1000},
        {0x3501, 0x88000004, BusRemapRouteLegacy, 0x88000004}, {0x3404, 0x81234568, BusRemapRouteLegacy, 0x81234568},
        {0x3404, 0x81021140, BusRemapRouteBar, 0xC1140},
        // No chip code, no BusAddrRemap: every address is left to the legacy window.
        {0x3405, 0x00000010, BusRemapRouteLegacy, 0x00000010},
    };
    for (const RouteCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "id 0x" << c.deviceId << " address 0x" << c.chipAddress);
        auto adapter = MakeAdapter(c.deviceId);
        HalRegisterChip(adapter.get());
        BUS_REMAP_RESULT r{};
        HalBusRemapResolve(adapter.get(), c.chipAddress, &r);
        EXPECT_EQ(r.Route, c.route);
        EXPECT_EQ(r.Value, c.value);
    }
}

TEST(Remap, WindowArithmetic)
{
    PCBUS_REMAP_WINDOW l1 = g_Qz3602BusRemapWindows[BUS_REMAP_WINDOW_L1];
    PCBUS_REMAP_WINDOW l2 = g_Qz3602BusRemapWindows[BUS_REMAP_WINDOW_L2];
    // The L1 position lands in the select register's masked field; the other bits stay.
    EXPECT_EQ(HalRemapWindowSelect(l1, 0xABCD1234, 0x183F0000), 0xABCD183Fu);
    EXPECT_EQ(HalRemapL1Offset(l1, 0xF0001234), 0x61234u);
    // L2: the L1 window is positioned on the L2 data port, then the address goes to the L2 select.
    EXPECT_EQ(HalRemapL2PortAddress(l2), 0x18500000u);
    EXPECT_EQ(HalRemapWindowSelect(l1, 0, HalRemapL2PortAddress(l2)), 0x1850u);
    // The legacy window of the older chip.
    EXPECT_EQ(HalRemapLegacySelect(0x81234568), 0x81200000u);
    EXPECT_EQ(HalRemapLegacyOffset(0x81234568), 0xB4568u);
}

struct TraceCase {
    USHORT deviceId;
    ULONG value;
    bool traced;
};

TEST(Remap, RegisterAccessTraceOfTheSecondGeneration)
{
    const TraceCase cases[] = {
        {0x3501, 0x24000, true},       // BAR offset of chip 0x820EA000
        {0x3501, 0xA5010, false},      // row 41: chip 0x820CC010, a range never traced
        {0x3501, 0x830C0000, true},    // already a chip address
        {0x3501, 0x820C0010, false},   // never-traced range
        {0x3501, 0x820B0FFC, false},
        {0x3501, 0x820B1000, true},
        {0x3501, 0x40000, false},      // a BAR offset no row holds: nothing
        {0x3501, 0xF0000, false},      // above 3501's reverse limit: chip 0xF0000, outside the ranges
        {0x3502, 0xFE260, false},      // chip 0x7C00E260
        {0x3503, 0xA0010, true},       // chip 0x820F0010
        {0x3502, 0x84000000, false},
    };
    kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
    for (const TraceCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "id 0x" << c.deviceId << " value 0x" << c.value);
        auto adapter = MakeAdapter(c.deviceId);
        HalRegisterChip(adapter.get());
        kshim::host::TraceClear();
        adapter->HalOps.RegAccessTraceHook(adapter.get(), c.value);
        char text[32];
        std::snprintf(text, sizeof(text), "register access 0x%08X", c.value);
        EXPECT_EQ(kshim::host::TraceContains(text), c.traced);
    }
}

}  // namespace
