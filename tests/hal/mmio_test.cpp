// Device memory through the stand-in: mapping a simulated chip's BAR, register calls reaching its
// registers, the gone device reading all ones, strict-mode failures of stray accesses, and the
// processor vendor text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/chip.h"
#include "kshim/hal.h"
#include "kshim/host/control.h"
#include "kshim/host/pci_device.h"

namespace {

using sim::chip::Chip;

constexpr uint64_t kBarBase = 0xF0000000;

PHYSICAL_ADDRESS Physical(uint64_t address)
{
    PHYSICAL_ADDRESS p;
    p.QuadPart = static_cast<LONGLONG>(address);
    return p;
}

// A chip on the bus with its whole BAR mapped; unmapped and detached at the end.
class MappedChip {
public:
    explicit MappedChip(uint16_t deviceId) : chip(deviceId)
    {
        EXPECT_TRUE(kshim::host::PciAttach(&chip, kBarBase));
        size = chip.BarSize(0);
        base = static_cast<PUCHAR>(MmMapIoSpaceEx(Physical(kBarBase), size, PAGE_READWRITE | PAGE_NOCACHE));
        EXPECT_NE(base, nullptr);
    }
    ~MappedChip()
    {
        if (base != nullptr) {
            MmUnmapIoSpace(base, size);
        }
        kshim::host::PciDetach(&chip);
    }
    volatile ULONG* Reg(uint32_t offset) { return reinterpret_cast<volatile ULONG*>(base + offset); }

    Chip chip;
    PUCHAR base = nullptr;
    SIZE_T size = 0;
};

// Records strict-mode failures instead of failing the test.
class RecordViolations {
public:
    RecordViolations()
    {
        kshim::host::SetViolationHandler([this](const kshim::host::Violation& v) { seen.push_back(v.what); });
    }
    ~RecordViolations() { kshim::host::SetViolationHandler(nullptr); }
    std::vector<std::string> seen;
};

TEST(Mmio, RegisterCallsReachTheChipsRegisters)
{
    MappedChip m(0x3502);
    WRITE_REGISTER_ULONG(m.Reg(0xE0010), 2);
    EXPECT_EQ(m.chip.Peek(0x7C060010), 2u);
    m.chip.Poke(0x7C0600F0, 3);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0xE00F0)), 3u);
    // A movable window moved through the mapping shows its new block.
    m.chip.Poke(0x70010200, 0x8A02);
    WRITE_REGISTER_ULONG(m.Reg(0xFE260), 0x18007001);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0xE0200)), 0x8A02u);
    EXPECT_EQ(m.chip.AccessesTo(0x7C060010).size(), 1u);
}

TEST(Mmio, ByteWordAndQuadForms)
{
    MappedChip m(0x3602);
    m.chip.Poke(0x830C0000, 0x44332211);
    m.chip.Poke(0x830C0004, 0x88776655);
    EXPECT_EQ(READ_REGISTER_ULONG64(reinterpret_cast<volatile ULONG64*>(m.base)), 0x8877665544332211ull);
    EXPECT_EQ(READ_REGISTER_UCHAR(m.base + 6), 0x77u);
    EXPECT_EQ(READ_REGISTER_USHORT(reinterpret_cast<volatile USHORT*>(m.base + 2)), 0x4433u);
    WRITE_REGISTER_UCHAR(m.base + 3, 0xEE);
    WRITE_REGISTER_USHORT(reinterpret_cast<volatile USHORT*>(m.base + 4), 0xBEEF);
    EXPECT_EQ(m.chip.Peek(0x830C0000), 0xEE332211u);
    EXPECT_EQ(m.chip.Peek(0x830C0004), 0x8877BEEFu);
    WRITE_REGISTER_ULONG64(reinterpret_cast<volatile ULONG64*>(m.base + 8), 0x0102030405060708ull);
    EXPECT_EQ(m.chip.Peek(0x830C0008), 0x05060708u);
    EXPECT_EQ(m.chip.Peek(0x830C000C), 0x01020304u);
}

TEST(Mmio, MappingPartOfTheBarStartsAtItsOffset)
{
    Chip chip(0x3502);
    ASSERT_TRUE(kshim::host::PciAttach(&chip, kBarBase));
    auto* part = static_cast<PUCHAR>(MmMapIoSpaceEx(Physical(kBarBase + 0xE0000), 0x10000, PAGE_READWRITE));
    ASSERT_NE(part, nullptr);
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(part + 0x10), 1);
    EXPECT_EQ(chip.Peek(0x7C060010), 1u);
    MmUnmapIoSpace(part, 0x10000);
    kshim::host::PciDetach(&chip);
}

TEST(Mmio, GoneDeviceReadsAllOnesAndDropsWrites)
{
    MappedChip m(0x3602);
    m.chip.Poke(0x830C0120, 0x1234);
    m.chip.SetGone(true);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0x120)), 0xFFFFFFFFu);
    EXPECT_EQ(READ_REGISTER_UCHAR(m.base + 0x120), 0xFFu);
    EXPECT_EQ(READ_REGISTER_ULONG64(reinterpret_cast<volatile ULONG64*>(m.base + 0x120)), ~0ull);
    WRITE_REGISTER_ULONG(m.Reg(0x120), 0);
    m.chip.SetGone(false);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0x120)), 0x1234u);
}

TEST(Mmio, DetachedDeviceReadsAllOnesUntilUnmapped)
{
    MappedChip m(0x3502);
    m.chip.Poke(0x7C060010, 4);
    kshim::host::PciDetach(&m.chip);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0xE0010)), 0xFFFFFFFFu);
    WRITE_REGISTER_ULONG(m.Reg(0xE0010), 1);
    EXPECT_EQ(m.chip.Peek(0x7C060010), 4u);
}

TEST(Mmio, FaultPointMakesReadsAllOnes)
{
    MappedChip m(0x3502);
    kshim::host::FaultArm("mmio.read", "", 2, STATUS_SUCCESS, 1);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0xE0010)), 0u);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0xE0010)), 0xFFFFFFFFu);
    EXPECT_EQ(READ_REGISTER_ULONG(m.Reg(0xE0010)), 0u);
    kshim::host::FaultClearAll();
}

TEST(Mmio, MappingNeedsADeviceForTheWholeRange)
{
    Chip chip(0x3502);
    ASSERT_TRUE(kshim::host::PciAttach(&chip, kBarBase));
    EXPECT_FALSE(kshim::host::PciAttach(&chip, kBarBase + 0x80000));  // overlaps
    EXPECT_EQ(MmMapIoSpaceEx(Physical(0xE0000000), 0x1000, PAGE_READWRITE), nullptr);
    EXPECT_EQ(MmMapIoSpaceEx(Physical(kBarBase + 0xFF000), 0x2000, PAGE_READWRITE), nullptr);
    kshim::host::FaultArm("mmio.map", "", 1);
    EXPECT_EQ(MmMapIoSpaceEx(Physical(kBarBase), 0x1000, PAGE_READWRITE), nullptr);
    kshim::host::FaultClearAll();
    size_t before = kshim::host::MmioMappingCount();
    PVOID va = MmMapIoSpaceEx(Physical(kBarBase), 0x1000, PAGE_READWRITE);
    ASSERT_NE(va, nullptr);
    EXPECT_EQ(kshim::host::MmioMappingCount(), before + 1);
    MmUnmapIoSpace(va, 0x1000);
    EXPECT_EQ(kshim::host::MmioMappingCount(), before);
    kshim::host::PciDetach(&chip);
}

TEST(Mmio, StrayAccessesAreStrictModeFailures)
{
    MappedChip m(0x3502);
    RecordViolations v;
    ULONG plain = 0;
    EXPECT_EQ(READ_REGISTER_ULONG(&plain), 0xFFFFFFFFu);  // not device memory
    EXPECT_EQ(READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(m.base + 2)), 0xFFFFFFFFu);  // misaligned
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(m.base + m.size), 0);  // past the mapping
    MmUnmapIoSpace(m.base, m.size / 2);  // not the mapped length
    ASSERT_EQ(v.seen.size(), 4u);
    EXPECT_EQ(v.seen[0], "register access outside any device mapping");
    EXPECT_EQ(v.seen[1], "misaligned register access");
    EXPECT_EQ(v.seen[2], "register access outside any device mapping");
    EXPECT_EQ(v.seen[3], "MmUnmapIoSpace of a range that is not a mapping");
}

TEST(MmioDeathTest, RawDereferenceOfMappedDeviceMemoryFaults)
{
    MappedChip m(0x3502);
    volatile ULONG* reg = m.Reg(0xE0010);
    EXPECT_DEATH({ (void)*reg; }, "");
}

TEST(Mmio, ProcessorVendorText)
{
    int info[4];
    auto vendor = [&info]() {
        std::string s;
        s.append(reinterpret_cast<const char*>(&info[1]), 4);
        s.append(reinterpret_cast<const char*>(&info[3]), 4);
        s.append(reinterpret_cast<const char*>(&info[2]), 4);
        return s;
    };
    __cpuid(info, 0);
    EXPECT_EQ(vendor(), "GenuineIntel");
    EXPECT_GE(info[0], 1);
    kshim::host::SetCpuVendor("AuthenticAMD");
    __cpuid(info, 0);
    EXPECT_EQ(vendor(), "AuthenticAMD");
    __cpuid(info, 1);
    EXPECT_EQ(info[1], 0);
    kshim::host::SetCpuVendor("GenuineIntel");
}

}  // namespace
