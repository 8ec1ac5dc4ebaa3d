// The simulated chip's PCI function: configuration space, BAR decoding per generation with its
// movable windows, register hooks, the gone knob and the transcript; and the agreement between the
// driver's remap tables and the device's decoding.
#include <gtest/gtest.h>

#include "chip/chip.h"
#include "hal/common/hal_remap.h"
#include "hal_support.h"

namespace {

using sim::chip::Access;
using sim::chip::Chip;

uint32_t Read32(Chip& chip, uint32_t offset) { return static_cast<uint32_t>(chip.MmioRead(0, offset, 4)); }
void Write32(Chip& chip, uint32_t offset, uint32_t value) { chip.MmioWrite(0, offset, 4, value); }

TEST(SimChip, ConfigurationSpaceIdentityAndLowPowerRegisters)
{
    Chip chip(0x3602);
    chip.SetRevision(0x21);
    chip.SetSubsystem(0x17AA, 0x4242);
    uint8_t header[0x30];
    ASSERT_EQ(chip.ConfigRead(0, header, sizeof(header)), sizeof(header));
    EXPECT_EQ(header[0] | (header[1] << 8), 0x1E7A);
    EXPECT_EQ(header[2] | (header[3] << 8), 0x3602);
    EXPECT_EQ(header[8], 0x21);
    EXPECT_EQ(header[0x2C] | (header[0x2D] << 8), 0x17AA);
    EXPECT_EQ(header[0x2E] | (header[0x2F] << 8), 0x4242);

    // Identity is read only; the low-power registers keep what is written.
    uint32_t value = 0xFFFFFFFF;
    EXPECT_EQ(chip.ConfigWrite(0, &value, 4), 4u);
    EXPECT_EQ(chip.Config32(0), 0x36021E7Au);
    for (uint32_t offset : {0x90u, 0xA8u, 0x10Cu, 0x118u}) {
        value = 0x10031003 ^ offset;
        EXPECT_EQ(chip.ConfigWrite(offset, &value, 4), 4u);
        uint32_t back = 0;
        EXPECT_EQ(chip.ConfigRead(offset, &back, 4), 4u);
        EXPECT_EQ(back, 0x10031003 ^ offset) << std::hex << offset;
    }
    // The capability chain leads to those registers.
    EXPECT_EQ(chip.Config32(0x34) & 0xFF, 0x80u);
    EXPECT_EQ(chip.Config32(0x80) & 0xFF, 0x10u);
    EXPECT_EQ(chip.Config32(0x108) & 0xFFFF, 0x18u);
    EXPECT_EQ(chip.Config32(0x110) & 0xFFFF, 0x1Eu);
    // A read running past 4 KiB transfers what lies inside.
    EXPECT_EQ(chip.ConfigRead(4094, &value, 4), 2u);
    EXPECT_EQ(chip.ConfigRead(4096, &value, 4), 0u);
}

TEST(SimChip, BarSizePerGeneration)
{
    EXPECT_EQ(Chip(0x3404).BarSize(0), 0x100000u);
    EXPECT_EQ(Chip(0x3502).BarSize(0), 0x100000u);
    EXPECT_EQ(Chip(0x0C03).BarSize(0), 0x200000u);
    EXPECT_EQ(Chip(0x3603).BarSize(0), 0x200000u);
    EXPECT_EQ(Chip(0x3602).BarSize(1), 0u);
}

struct DecodeCase {
    uint16_t deviceId;
    uint32_t barOffset;
    int64_t chipAddress;  // -1: decodes to nothing
};

TEST(SimChip, FixedWindowsPerGeneration)
{
    const DecodeCase cases[] = {
        {0x3502, 0xD7038, 0x7C027038}, {0x3502, 0xD42F0, 0x7C0242F0}, {0x3502, 0x10188, 0x74030188},
        {0x3501, 0xE2600, 0x7C062600}, {0x3501, 0xFE260, 0x7C00E260}, {0x3503, 0xA5010, 0x820CC010},
        {0x3502, 0x40000, -1},         {0x3502, 0x100000, -1},
        {0x3602, 0x1D0188, 0x74030188}, {0x3602, 0x00120, 0x830C0120}, {0x3602, 0x10188, -1},
        {0x3602, 0xA5010, -1},          {0x3602, 0x1E8FFC, 0x70008FFC}, {0x3602, 0x1E9000, -1},
        {0x3602, 0x155000, -1},         {0x3601, 0x155000, 0x7C095000}, {0x3602, 0x1FFFFC, 0x7002FFFC},
        {0x3404, 0x02504, 0x80000504}, {0x3404, 0x04154, 0x50000154}, {0x3404, 0x05010, 0x50005010},
        {0x3404, 0x07800, 0x000E0800}, {0x3404, 0xC1140, 0x81021140},
    };
    for (const DecodeCase& c : cases) {
        Chip chip(c.deviceId);
        std::optional<uint32_t> a = chip.Decode(c.barOffset);
        if (c.chipAddress < 0) {
            EXPECT_FALSE(a.has_value()) << std::hex << c.deviceId << " " << c.barOffset;
        } else {
            EXPECT_EQ(a.value_or(0), static_cast<uint32_t>(c.chipAddress)) << std::hex << c.deviceId << " " << c.barOffset;
        }
    }
}

TEST(SimChip, SecondGenerationVersionWindow)
{
    Chip chip(0x3502);
    chip.Poke(0x70010200, 0x00008A02);
    chip.Poke(0x7C060200, 0x12345678);
    EXPECT_EQ(Read32(chip, 0xE0200), 0x12345678u);
    Write32(chip, 0xFE260, 0x18007001);
    EXPECT_EQ(chip.Peek(0x7C00E260), 0x18007001u);
    EXPECT_EQ(Read32(chip, 0xE0200), 0x00008A02u);
    // The reset unlock key does not move the window.
    Write32(chip, 0xFE260, 0x18007000);
    EXPECT_EQ(Read32(chip, 0xE0200), 0x12345678u);
}

TEST(SimChip, ThirdGenerationVersionWindow)
{
    for (auto [id, selectBar] : {std::pair<uint16_t, uint32_t>{0x3602, 0xD1000}, {0x3601, 0x155000}}) {
        Chip chip(id);
        chip.Poke(0x70010200, 0x00008A02);
        chip.Poke(0x70010020, 0x00000080);
        EXPECT_FALSE(chip.Decode(0x10200).has_value());
        Write32(chip, selectBar, 0x70011840);
        EXPECT_EQ(Read32(chip, 0x10200), 0x00008A02u) << std::hex << id;
        EXPECT_EQ(Read32(chip, 0x10020), 0x00000080u) << std::hex << id;
        Write32(chip, selectBar, 0x70011841);  // not the enable pattern
        EXPECT_EQ(Read32(chip, 0x10200), 0u);
    }
}

TEST(SimChip, ThirdGenerationL1AndL2Windows)
{
    Chip chip(0x3602);
    const uint32_t l1Select = 0x7C02100C;  // BAR 0xD100C
    chip.Poke(0x7C3F0010, 0x11111111);
    chip.Poke(0x70012344, 0x22222222);
    chip.Poke(0x88000004, 0x00000033);
    chip.Poke(0x8800000C, 0x44444444);

    Write32(chip, 0xD100C, 0xABCD183F);  // bits outside the position are ignored by the window
    EXPECT_EQ(chip.Peek(l1Select), 0xABCD183Fu);
    EXPECT_EQ(Read32(chip, 0x60010), 0x11111111u);
    Write32(chip, 0xD100C, 0x7001);
    EXPECT_EQ(Read32(chip, 0x62344), 0x22222222u);
    // L2: L1 on the data port, the address into the L2 select register (BAR 0x120).
    Write32(chip, 0xD100C, 0x1850);
    Write32(chip, 0x120, 0x88000004);
    EXPECT_EQ(Read32(chip, 0x60000), 0x33u);
    EXPECT_EQ(Read32(chip, 0x60008), 0x44444444u);
    Write32(chip, 0x60000, 0x55);
    EXPECT_EQ(chip.Peek(0x88000004), 0x55u);
    // The 3601 positions its L1 window through its own select register.
    Chip c3601(0x3601);
    c3601.Poke(0x7C3F0010, 0x66);
    Write32(c3601, 0x15500C, 0x183F);
    EXPECT_EQ(Read32(c3601, 0x60010), 0x66u);
}

TEST(SimChip, OlderChipLegacyWindow)
{
    Chip chip(0x3404);
    chip.Poke(0x81214568, 0x77);
    chip.Poke(0x80024568, 0x88);
    Write32(chip, 0x2504, 0x81234568);
    EXPECT_EQ(chip.Decode(0x94568).value_or(0), 0x81214568u);
    EXPECT_EQ(Read32(chip, 0x94568), 0x77u);
    // A fixed window inside the legacy range keeps answering for itself.
    EXPECT_EQ(Read32(chip, 0xB4568), 0x88u);
}

TEST(SimChip, UnmappedOffsetsReadZeroAndDropWrites)
{
    Chip chip(0x3502);
    Write32(chip, 0x40000, 0x12345678);
    EXPECT_EQ(Read32(chip, 0x40000), 0u);
    std::vector<Access> t = chip.Transcript();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(t[0].write);
    EXPECT_FALSE(t[0].chipAddress.has_value());
}

TEST(SimChip, HooksGiveRegistersBehaviour)
{
    Chip chip(0x3602);
    // Write 1 to take ownership away: the status bit reads back set.
    chip.SetWriteHook(0x7C060010, [](sim::chip::RegisterFile& r, uint32_t a, uint32_t v) {
        r.Set(a, v == 1 ? 0x4u : 0u);
    });
    // A counter that advances on every read.
    chip.SetReadHook(0x7C0600F0, [](sim::chip::RegisterFile& r, uint32_t a) {
        uint32_t v = r.Get(a) + 1;
        r.Set(a, v);
        return v;
    });
    Write32(chip, 0xE0010, 1);
    EXPECT_EQ(Read32(chip, 0xE0010), 4u);
    Write32(chip, 0xE0010, 2);
    EXPECT_EQ(Read32(chip, 0xE0010), 0u);
    EXPECT_EQ(Read32(chip, 0xE00F0), 1u);
    EXPECT_EQ(Read32(chip, 0xE00F0), 2u);
    chip.ClearHooks(0x7C0600F0);
    EXPECT_EQ(Read32(chip, 0xE00F0), 2u);
}

TEST(SimChip, NarrowAndWideAccessesActOnTheRegisterWords)
{
    Chip chip(0x3602);
    chip.Poke(0x88000000, 0x44332211);
    chip.Poke(0x88000004, 0x88776655);
    Write32(chip, 0xD100C, 0x1850);
    Write32(chip, 0x120, 0x88000000);
    EXPECT_EQ(chip.MmioRead(0, 0x60000, 8), 0x8877665544332211ull);
    EXPECT_EQ(chip.MmioRead(0, 0x60005, 1), 0x66u);
    EXPECT_EQ(chip.MmioRead(0, 0x60002, 2), 0x4433u);
    chip.MmioWrite(0, 0x60001, 1, 0xAA);
    EXPECT_EQ(chip.Peek(0x88000000), 0x4433AA11u);
    chip.MmioWrite(0, 0x60000, 8, 0x0102030405060708ull);
    EXPECT_EQ(chip.Peek(0x88000000), 0x05060708u);
    EXPECT_EQ(chip.Peek(0x88000004), 0x01020304u);
    std::vector<Access> t = chip.AccessesTo(0x88000005);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].width, 1u);
}

TEST(SimChip, GoneDeviceReadsAllOnes)
{
    Chip chip(0x3502);
    chip.Poke(0x7C060010, 0x4);
    chip.SetGone(true);
    EXPECT_EQ(Read32(chip, 0xE0010), 0xFFFFFFFFu);
    EXPECT_EQ(chip.MmioRead(0, 0xE0010, 8), ~0ull);
    Write32(chip, 0xE0010, 0);
    uint32_t cfg = 0;
    EXPECT_EQ(chip.ConfigRead(0, &cfg, 4), 4u);
    EXPECT_EQ(cfg, 0xFFFFFFFFu);
    chip.SetGone(false);
    EXPECT_EQ(Read32(chip, 0xE0010), 0x4u);
}

TEST(SimChip, TranscriptRecordsOffsetsAddressesAndValues)
{
    Chip chip(0x3502);
    Write32(chip, 0xE0010, 2);
    (void)Read32(chip, 0xE0010);
    uint32_t v = 0;
    chip.ConfigRead(0x90, &v, 4);
    std::vector<Access> t = chip.Transcript();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_TRUE(t[0].write);
    EXPECT_EQ(t[0].offset, 0xE0010u);
    EXPECT_EQ(t[0].chipAddress.value_or(0), 0x7C060010u);
    EXPECT_EQ(t[0].value, 2u);
    EXPECT_FALSE(t[1].write);
    EXPECT_EQ(t[2].space, Access::Space::Config);
    EXPECT_EQ(t[2].offset, 0x90u);
    EXPECT_EQ(chip.AccessesTo(0x7C060010).size(), 2u);
    chip.ClearTranscript();
    EXPECT_TRUE(chip.Transcript().empty());
}

// ---- the driver's tables against the device's decoding -------------------------------------------------------
// Every fixed window the driver translates to must, on the device, decode back to the same chip
// address, at its first and last register. Exceptions by design (docs/hardware.md): the third
// generation's 32 MB row, which lands on the L1 window; and the older chip's rows that overlap a
// smaller one in BAR space, checked at their first register only.
void CheckAgreement(uint16_t deviceId, PCBUS_REMAP_ENTRY table, bool firstOnly)
{
    auto adapter = haltest::MakeAdapter(deviceId);
    HalRegisterChip(adapter.get());
    Chip chip(deviceId);
    for (PCBUS_REMAP_ENTRY row = table; row->Size != 0; ++row) {
        if (row->Size > chip.BarSize(0)) {
            continue;
        }
        for (uint32_t chipAddress : {row->ChipBase, row->ChipBase + row->Size - 4}) {
            ULONG offset = 0;
            ASSERT_TRUE(adapter->HalOps.BusAddrRemap(adapter.get(), chipAddress, &offset));
            EXPECT_EQ(chip.Decode(offset).value_or(0), chipAddress)
                << std::hex << "id " << deviceId << " chip 0x" << chipAddress << " BAR 0x" << offset;
            if (firstOnly) {
                break;
            }
        }
    }
}

TEST(SimChip, DeviceDecodingAgreesWithTheDriversTables)
{
    CheckAgreement(0x3501, g_Arvel2xBusRemapTable, false);
    CheckAgreement(0x3502, g_Arvel2xBusRemapTable, false);
    CheckAgreement(0x3503, g_Arvel2xBusRemapTable, false);
    CheckAgreement(0x3602, g_Qz3602BusRemapTable, false);
    CheckAgreement(0x3601, g_Qz3601BusRemapTable, false);
    CheckAgreement(0x3404, g_Qz3404BusRemapTable, true);
}

}  // namespace
