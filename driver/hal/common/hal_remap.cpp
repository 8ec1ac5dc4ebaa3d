// Bus address remap tables and the translation of chip addresses to BAR offsets.
#include "hal/common/hal_remap.h"

#include <array>

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The second-generation fixed windows {chip base, BAR offset, size}, in lookup order. Row 41
// repeats the chip range of row 8 at another BAR offset: lookups stop at row 8, so row 41 only
// serves the reverse mapping of the register-access trace.
constexpr BUS_REMAP_ENTRY kArvel2xRows[] = {
    {0x54000000, 0x02000, 0x1000}, {0x55000000, 0x03000, 0x1000}, {0x56000000, 0x04000, 0x1000},
    {0x57000000, 0x05000, 0x1000}, {0x58000000, 0x06000, 0x1000}, {0x59000000, 0x07000, 0x1000},
    {0x820C0000, 0x08000, 0x4000}, {0x820C8000, 0x0C000, 0x2000}, {0x820CC000, 0x0E000, 0x2000},
    {0x74030000, 0x10000, 0x10000}, {0x820E0000, 0x20000, 0x400}, {0x820E1000, 0x20400, 0x200},
    {0x820E2000, 0x20800, 0x400}, {0x820E3000, 0x20C00, 0x400}, {0x820E4000, 0x21000, 0x400},
    {0x820E5000, 0x21400, 0x800}, {0x820CE000, 0x21C00, 0x200}, {0x820E7000, 0x21E00, 0x200},
    {0x820CF000, 0x22000, 0x1000}, {0x820E9000, 0x23400, 0x200}, {0x820EA000, 0x24000, 0x200},
    {0x820EB000, 0x24200, 0x400}, {0x820EC000, 0x24600, 0x200}, {0x820ED000, 0x24800, 0x800},
    {0x820CA000, 0x26000, 0x2000}, {0x820D0000, 0x30000, 0x10000}, {0x40000000, 0x70000, 0x10000},
    {0x00400000, 0x80000, 0x10000}, {0x00410000, 0x90000, 0x10000}, {0x820F0000, 0xA0000, 0x400},
    {0x820F1000, 0xA0600, 0x200}, {0x820F2000, 0xA0800, 0x400}, {0x820F3000, 0xA0C00, 0x400},
    {0x820F4000, 0xA1000, 0x400}, {0x820F5000, 0xA1400, 0x800}, {0x820F7000, 0xA1E00, 0x200},
    {0x820F9000, 0xA3400, 0x200}, {0x820FA000, 0xA4000, 0x200}, {0x820FB000, 0xA4200, 0x400},
    {0x820FC000, 0xA4600, 0x200}, {0x820FD000, 0xA4800, 0x800}, {0x820CC000, 0xA5000, 0x2000},
    {0x820C4000, 0xA8000, 0x4000}, {0x820B0000, 0xAE000, 0x1000}, {0x80020000, 0xB0000, 0x10000},
    {0x81020000, 0xC0000, 0x10000}, {0x7C020000, 0xD0000, 0x10000}, {0x7C060000, 0xE0000, 0x10000},
    {0x7C000000, 0xF0000, 0x10000},
};
constexpr size_t kArvel2xRowCount = RTL_NUMBER_OF(kArvel2xRows);
static_assert(kArvel2xRowCount == 49, "the second-generation table has 49 rows");
constexpr size_t kArvel2xPcieMacRow = 9;     // moves to BAR 0x1D0000 on the third generation
constexpr size_t kArvel2xTraceOnlyRow = 41;  // not carried by the third generation
constexpr ULONG kArvel3xPcieMacBarOffset = 0x1D0000;

// Rows the third generation adds after the second-generation ones. The 0x7C500000 row (32 MB of chip
// space onto the L1 window at BAR 0x60000) is what makes the L2 data port reachable.
constexpr BUS_REMAP_ENTRY kArvel3xHead = {0x830C0000, 0x00000, 0x1000};
constexpr BUS_REMAP_ENTRY kArvel3xTail[] = {
    {0x7C010000, 0x100000, 0x10000},
    {0x70020000, 0x1F0000, 0x10000},
    {0x7C500000, 0x060000, 0x2000000},
    {0x70000000, 0x1E0000, 0x9000},
};
constexpr BUS_REMAP_ENTRY kQz3601Extra = {0x7C090000, 0x150000, 0x10000};

template <size_t N>
constexpr std::array<BUS_REMAP_ENTRY, N> BuildArvel3xTable(bool with3601Row)
{
    std::array<BUS_REMAP_ENTRY, N> t{};
    size_t n = 0;
    t[n++] = kArvel3xHead;
    for (size_t i = 0; i < kArvel2xRowCount; ++i) {
        if (i == kArvel2xTraceOnlyRow) {
            continue;
        }
        t[n] = kArvel2xRows[i];
        if (i == kArvel2xPcieMacRow) {
            t[n].BarOffset = kArvel3xPcieMacBarOffset;
        }
        ++n;
    }
    for (const BUS_REMAP_ENTRY& row : kArvel3xTail) {
        t[n++] = row;
    }
    if (with3601Row) {
        t[n++] = kQz3601Extra;
    }
    t[n] = BUS_REMAP_ENTRY{0, 0, 0};
    return t;
}

template <size_t N>
constexpr std::array<BUS_REMAP_ENTRY, N + 1> Terminated(const BUS_REMAP_ENTRY (&rows)[N])
{
    std::array<BUS_REMAP_ENTRY, N + 1> t{};
    for (size_t i = 0; i < N; ++i) {
        t[i] = rows[i];
    }
    return t;
}

constexpr auto kArvel2xTable = Terminated(kArvel2xRows);
constexpr auto kQz3602Table = BuildArvel3xTable<53 + 1>(false);
constexpr auto kQz3601Table = BuildArvel3xTable<54 + 1>(true);

// The older chip's windows. Row 0 carries the legacy window's select register (0x80000504).
constexpr BUS_REMAP_ENTRY kQz3404Rows[] = {
    {0x80000000, 0x02000, 0x1000}, {0x50000000, 0x04000, 0x4000}, {0x50005000, 0x05000, 0x1000},
    {0x5000A000, 0x06000, 0x1000}, {0x000E0000, 0x07000, 0x1000}, {0x82060000, 0x08000, 0x4000},
    {0x82068000, 0x0C000, 0x2000}, {0x8206C000, 0x0E000, 0x2000}, {0x82070000, 0x10000, 0x10000},
    {0x820F0000, 0x20000, 0x10000}, {0x820E0000, 0x30000, 0x10000}, {0x81000000, 0x50000, 0x10000},
    {0x80070000, 0x60000, 0x10000}, {0x40000000, 0x70000, 0x10000}, {0x00300000, 0x80000, 0x10000},
    {0x80010000, 0xA1000, 0x1000}, {0x80030000, 0xA2000, 0x1000}, {0x81030000, 0xA3000, 0x1000},
    {0x80050000, 0xA4000, 0x1000}, {0x81040000, 0xA5000, 0x1000}, {0x81050000, 0xA6000, 0x1000},
    {0x81060000, 0xA7000, 0x1000}, {0x81080000, 0xA8000, 0x1000}, {0x81090000, 0xA9000, 0x1000},
    {0x810A0000, 0xAA000, 0x1000}, {0x810B0000, 0xAB000, 0x1000}, {0x810C0000, 0xAC000, 0x1000},
    {0x810D0000, 0xAD000, 0x1000}, {0x820D0000, 0xAE000, 0x1000}, {0x60000000, 0xAF000, 0x1000},
    {0x80020000, 0xB0000, 0x10000}, {0x81020000, 0xC0000, 0x10000}, {0x7C030000, 0xF0000, 0x10000},
    {0x000E0000, 0xE0000, 0x10000},
};
static_assert(RTL_NUMBER_OF(kQz3404Rows) == 34, "the older chip's table has 34 rows");
constexpr auto kQz3404Table = Terminated(kQz3404Rows);

// Movable windows of the third generation: {select register, mask, shift, window base}.
constexpr BUS_REMAP_WINDOW kQz3602L1 = {0x7C02100C, 0x0000FFFF, 0, 0x00060000};
constexpr BUS_REMAP_WINDOW kQz3601L1 = {0x7C09500C, 0x0000FFFF, 0, 0x00060000};
constexpr BUS_REMAP_WINDOW kArvel3xL2 = {0x830C0120, 0xFFFFFFFF, 0, 0x7C500000};

// The third generation reaches chip addresses 0x7C000000-0x7CBFFFFF through bus addresses
// 0x64000000 lower.
constexpr ULONG kArvel3xBusOffset = 0x64000000;

bool InRange(ULONG address, ULONG first, ULONG last) { return address >= first && address <= last; }

// The second generation's reverse limits: values up to them are BAR offsets.
constexpr ULONG kQz3501TraceReverseLimit = 0xEFFFF;
constexpr ULONG kQz3502TraceReverseLimit = 0xFFFFF;

// Register accesses worth a trace record: the 0x830xxxxx block and the 0x820xxxxx block except the
// four ranges that every ring and interrupt access touches.
bool TracedChipAddress(ULONG chipAddress)
{
    if (InRange(chipAddress, 0x83000000, 0x830FFFFF)) {
        return true;
    }
    if (!InRange(chipAddress, 0x82000000, 0x820FFFFF)) {
        return false;
    }
    return !InRange(chipAddress, 0x820C0000, 0x820C3FFF) && !InRange(chipAddress, 0x820C8000, 0x820C9FFF) &&
           !InRange(chipAddress, 0x820CC000, 0x820CDFFF) && !InRange(chipAddress, 0x820B0000, 0x820B0FFF);
}

VOID Arvel2xRegAccessTrace(ULONG value, ULONG reverseLimit)
{
    ULONG chipAddress = value;
    if (value <= reverseLimit && !HalBusAddrRemapReverse(g_Arvel2xBusRemapTable, value, &chipAddress)) {
        return;
    }
    if (TracedChipAddress(chipAddress)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "register access 0x%08X (chip 0x%08X)", value, chipAddress);
    }
}

}  // namespace

const PCBUS_REMAP_ENTRY g_Arvel2xBusRemapTable = kArvel2xTable.data();
const PCBUS_REMAP_ENTRY g_Qz3602BusRemapTable = kQz3602Table.data();
const PCBUS_REMAP_ENTRY g_Qz3601BusRemapTable = kQz3601Table.data();
const PCBUS_REMAP_ENTRY g_Qz3404BusRemapTable = kQz3404Table.data();

const PCBUS_REMAP_WINDOW g_Qz3602BusRemapWindows[2] = {&kQz3602L1, &kArvel3xL2};
const PCBUS_REMAP_WINDOW g_Qz3601BusRemapWindows[2] = {&kQz3601L1, &kArvel3xL2};

BOOLEAN HalBusAddrRemapByTable(PCBUS_REMAP_ENTRY table, ULONG identityLimit, ULONG chipAddress, PULONG barOffset)
{
    if (chipAddress < identityLimit) {
        *barOffset = chipAddress;
        return TRUE;
    }
    for (PCBUS_REMAP_ENTRY row = table; row->ChipBase != 0 || row->BarOffset != 0 || row->Size != 0; ++row) {
        // A window covers exactly Size bytes from its base; the unsigned distance also refuses
        // addresses below the base.
        if (chipAddress - row->ChipBase < row->Size) {
            *barOffset = row->BarOffset + (chipAddress - row->ChipBase);
            return TRUE;
        }
    }
    return FALSE;
}

BOOLEAN HalBusAddrRemapReverse(PCBUS_REMAP_ENTRY table, ULONG barOffset, PULONG chipAddress)
{
    for (PCBUS_REMAP_ENTRY row = table; row->ChipBase != 0 || row->BarOffset != 0 || row->Size != 0; ++row) {
        if (barOffset - row->BarOffset < row->Size) {
            *chipAddress = row->ChipBase + (barOffset - row->BarOffset);
            return TRUE;
        }
    }
    return FALSE;
}

BOOLEAN QZ3501BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset)
{
    UNREFERENCED_PARAMETER(adapter);
    return HalBusAddrRemapByTable(g_Arvel2xBusRemapTable, QZ3501_REMAP_IDENTITY_LIMIT, chipAddress, barOffset);
}

BOOLEAN QZ3502BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset)
{
    UNREFERENCED_PARAMETER(adapter);
    return HalBusAddrRemapByTable(g_Arvel2xBusRemapTable, QZ3502_REMAP_IDENTITY_LIMIT, chipAddress, barOffset);
}

BOOLEAN QZ3503BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset)
{
    UNREFERENCED_PARAMETER(adapter);
    return HalBusAddrRemapByTable(g_Arvel2xBusRemapTable, QZ3503_REMAP_IDENTITY_LIMIT, chipAddress, barOffset);
}

BOOLEAN QZ3601BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset)
{
    UNREFERENCED_PARAMETER(adapter);
    return HalBusAddrRemapByTable(g_Qz3601BusRemapTable, ARVEL3X_REMAP_IDENTITY_LIMIT, chipAddress, barOffset);
}

BOOLEAN QZ3602BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset)
{
    UNREFERENCED_PARAMETER(adapter);
    return HalBusAddrRemapByTable(g_Qz3602BusRemapTable, ARVEL3X_REMAP_IDENTITY_LIMIT, chipAddress, barOffset);
}

BOOLEAN QZ3404BusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset)
{
    UNREFERENCED_PARAMETER(adapter);
    return HalBusAddrRemapByTable(g_Qz3404BusRemapTable, QZ3404_REMAP_IDENTITY_LIMIT, chipAddress, barOffset);
}

VOID QZ3501RegAccessTraceHook(PMP_ADAPTER adapter, ULONG value)
{
    UNREFERENCED_PARAMETER(adapter);
    Arvel2xRegAccessTrace(value, kQz3501TraceReverseLimit);
}

VOID QZ3502RegAccessTraceHook(PMP_ADAPTER adapter, ULONG value)
{
    UNREFERENCED_PARAMETER(adapter);
    Arvel2xRegAccessTrace(value, kQz3502TraceReverseLimit);
}

VOID QZ3503RegAccessTraceHook(PMP_ADAPTER adapter, ULONG value)
{
    UNREFERENCED_PARAMETER(adapter);
    Arvel2xRegAccessTrace(value, kQz3502TraceReverseLimit);
}

VOID HalBusRemapResolve(PMP_ADAPTER adapter, ULONG chipAddress, PBUS_REMAP_RESULT result)
{
    ULONG barOffset = 0;
    if (adapter->HalOps.BusAddrRemap != nullptr && adapter->HalOps.BusAddrRemap(adapter, chipAddress, &barOffset)) {
        result->Route = BusRemapRouteBar;
        result->Value = barOffset;
        return;
    }
    if (!HalIsThirdGeneration(adapter->DeviceId)) {
        result->Route = BusRemapRouteLegacy;
        result->Value = chipAddress;
        return;
    }
    if (InRange(chipAddress, 0x18000000, 0x18BFFFFF) || InRange(chipAddress, 0x70000000, 0x77FFFFFF) ||
        chipAddress >= 0xF0000000) {
        result->Route = BusRemapRouteL1;
        result->Value = chipAddress;
    } else if (InRange(chipAddress, 0x7C000000, 0x7C3FFFFF)) {
        result->Route = BusRemapRouteL1;
        result->Value = chipAddress - kArvel3xBusOffset;
    } else {
        result->Route = BusRemapRouteL2;
        result->Value = chipAddress;
    }
}

ULONG HalRemapWindowSelect(PCBUS_REMAP_WINDOW window, ULONG oldSelect, ULONG windowAddress)
{
    return (oldSelect & ~window->Mask) | ((windowAddress >> 16) << (window->Shift & 31));
}

ULONG HalRemapL1Offset(PCBUS_REMAP_WINDOW l1, ULONG windowAddress) { return (windowAddress & 0xFFFF) + l1->WindowBase; }

ULONG HalRemapL2PortAddress(PCBUS_REMAP_WINDOW l2) { return l2->WindowBase - kArvel3xBusOffset; }

ULONG HalRemapLegacySelect(ULONG chipAddress) { return chipAddress & 0xFFF80000; }

ULONG HalRemapLegacyOffset(ULONG chipAddress) { return (chipAddress & 0x7FFFF) | 0x80000; }
