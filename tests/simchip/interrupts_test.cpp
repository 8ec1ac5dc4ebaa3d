// The chip's interrupt logic: the status bit each ring raises per design, the enable registers of
// each generation, write-1-to-clear, the software-interrupt mirror in bit 29, the PCIe MAC gate,
// and when an interrupt message is sent (with and without re-assertion on unmask).
#include <gtest/gtest.h>

#include "simchip_support.h"

namespace {

using namespace sim::chip;
using simtest::HostMemory;
using simtest::MessageCounter;
using simtest::Registers;
using simtest::RxReg;
using simtest::TxReg;

struct DesignBits {
    uint16_t deviceId;
    uint8_t txRing[4];  // by TxRole
    int8_t txBit[4];
    uint8_t rxRing[3];  // by RxRole
    int8_t rxBit[3];
};

const DesignBits kDesigns[] = {
    {0x3502, {0, 1, 17, 16}, {4, 5, 27, 26}, {2, 0, 4}, {2, 0, 22}},
    {0x0C01, {0, 1, 17, 16}, {4, 5, 27, 26}, {2, 0, 4}, {2, 0, 22}},
    {0x3503, {0, 1, 15, 16}, {4, 5, 27, 26}, {2, 0, 1}, {2, 0, 1}},
    {0x3601, {0, 1, 15, 16}, {4, 5, 25, 26}, {2, 0, 1}, {2, 0, 1}},
    {0x3602, {0, 1, 15, 16}, {4, 5, 25, 26}, {4, 6, 7}, {12, 14, 15}},
    {0x0C04, {0, 1, 15, 16}, {4, 5, 25, 26}, {4, 6, 7}, {12, 14, 15}},
};

TEST(ChipInterrupts, EachRingRaisesItsDesignsStatusBit)
{
    for (const DesignBits& d : kDesigns) {
        SCOPED_TRACE(testing::Message() << "device 0x" << std::hex << d.deviceId);
        Chip chip(d.deviceId);
        Registers regs(chip);
        HostMemory descriptors(4 * kDescSize);
        HostMemory buffer(64);
        regs.Write(kWfdmaGloCfg, kGloTxEnable | kGloRxEnable);
        for (unsigned role = 0; role < 4; ++role) {
            unsigned ring = chip.rings().TxRing(static_cast<TxRole>(role));
            ASSERT_EQ(ring, d.txRing[role]);
            simtest::ProgramTxRing(regs, ring, descriptors.bus(), 4);
            simtest::WriteTxDescriptor(descriptors.data(), buffer.bus(), 64);
            regs.Write(TxReg(ring, kRingRegCpuIndex), 1);
            EXPECT_EQ(regs.Read(kHostIntStatus), 1u << d.txBit[role]) << "TX role " << role;
            regs.Write(kHostIntStatus, 0xFFFFFFFF);
            EXPECT_EQ(regs.Read(kHostIntStatus), 0u);
        }
        for (unsigned role = 0; role < 3; ++role) {
            unsigned ring = chip.rings().RxRing(static_cast<RxRole>(role));
            ASSERT_EQ(ring, d.rxRing[role]);
            simtest::WriteRxDescriptor(descriptors.data(), buffer.bus(), 64);
            simtest::ProgramRxRing(regs, ring, descriptors.bus(), 4);
            ASSERT_EQ(chip.PushRx(ring, "event", 5), RxResult::Ok);
            EXPECT_EQ(regs.Read(kHostIntStatus), 1u << d.rxBit[role]) << "RX role " << role;
            regs.Write(kHostIntStatus, 0xFFFFFFFF);
            regs.Write(RxReg(ring, kRingRegCount), 0);
        }
    }
}

TEST(ChipInterrupts, SecondGenerationWritesTheEnableWholeThirdSetsAndClearsIt)
{
    Chip gen2(0x3502);
    Registers r2(gen2);
    r2.Write(kHostIntEnable, 0x2CC0000D);
    EXPECT_EQ(r2.Read(kHostIntEnable), 0x2CC0000Du);
    r2.Write(kHostIntEnable, 0);
    EXPECT_EQ(r2.Read(kHostIntEnable), 0u);

    Chip gen3(0x3602);
    Registers r3(gen3);
    r3.Write(kHostIntEnable, 0xFFFFFFFF);  // read only on the third generation
    EXPECT_EQ(r3.Read(kHostIntEnable), 0u);
    r3.Write(kHostIntEnableSet, 0x2600F000);
    r3.Write(kHostIntEnableSet, 0x1);
    EXPECT_EQ(r3.Read(kHostIntEnable), 0x2600F001u);
    r3.Write(kHostIntEnableClear, 0x2600F000);
    EXPECT_EQ(r3.Read(kHostIntEnable), 0x1u);
    EXPECT_EQ(r3.Read(kHostIntEnableSet), 0u);
}

TEST(ChipInterrupts, MessageOnEveryRiseOfAnEnabledBitIncludingUnmaskWithAPendingBit)
{
    Chip chip(0x3602);
    Registers regs(chip);
    MessageCounter messages(chip);
    chip.RaiseHostStatus(1u << 12);  // masked: nothing
    EXPECT_EQ(messages.Take(), 0);
    regs.Write(kHostIntEnableSet, 1u << 12);  // unmask with the bit pending
    EXPECT_EQ(messages.Take(), 1);
    chip.RaiseHostStatus(1u << 12);  // already up: no new rise
    chip.RaiseHostStatus(1u << 14);  // not enabled
    EXPECT_EQ(messages.Take(), 0);
    regs.Write(kHostIntEnableSet, 0x2600F000);  // lets bit 14 through
    EXPECT_EQ(messages.Take(), 1);
    // The service routine masks, the deferred routine acknowledges one bit and unmasks.
    regs.Write(kHostIntEnableClear, 0x2600F000);
    regs.Write(kHostIntStatus, 1u << 12);
    EXPECT_EQ(messages.Take(), 0);
    regs.Write(kHostIntEnableSet, 0x2600F000);  // bit 14 still pending: sent again
    EXPECT_EQ(messages.Take(), 1);
    regs.Write(kHostIntStatus, 0xFFFFFFFF);
    EXPECT_EQ(messages.Take(), 0);
    chip.RaiseHostStatus(1u << 25);
    EXPECT_EQ(messages.Take(), 1);
    EXPECT_EQ(chip.InterruptsSent(), 4u);
}

TEST(ChipInterrupts, WithoutReassertOnlyNewDeviceEventsSendMessages)
{
    Chip chip(0x3502);
    Registers regs(chip);
    MessageCounter messages(chip);
    chip.SetReassertOnUnmask(false);
    chip.RaiseHostStatus(1u << 2);
    regs.Write(kHostIntEnable, 0x2CC0000D);
    EXPECT_EQ(messages.Take(), 0);  // pending at unmask: the driver must come back for it itself
    chip.RaiseHostStatus(1u << 2);  // each device event while enabled sends
    chip.RaiseHostStatus(1u << 0);
    EXPECT_EQ(messages.Take(), 2);
    regs.Write(kHostIntEnable, 0);
    regs.Write(kHostIntEnable, 0x2CC0000D);
    EXPECT_EQ(messages.Take(), 0);
}

TEST(ChipInterrupts, SoftwareInterruptShowsInBit29AndClearsByWriteOne)
{
    Chip chip(0x3602);
    Registers regs(chip);
    MessageCounter messages(chip);
    regs.Write(kHostIntEnableSet, 0x2600F000);
    chip.RaiseSoftwareInterrupt(1u << 2);  // software enable not set yet
    EXPECT_EQ(regs.Read(kHostIntStatus), 0u);
    EXPECT_EQ(regs.Read(kSwIntStatus), 1u << 2);
    EXPECT_EQ(messages.Take(), 0);
    regs.Write(kSwIntEnable, regs.Read(kSwIntEnable) | 0x8004);
    EXPECT_EQ(regs.Read(kHostIntStatus), kHostIntSoftware);
    EXPECT_EQ(messages.Take(), 1);
    regs.Write(kHostIntStatus, kHostIntSoftware);  // bit 29 follows the software status only
    EXPECT_EQ(regs.Read(kHostIntStatus), kHostIntSoftware);
    chip.RaiseSoftwareInterrupt(1u << 15);
    regs.Write(kSwIntStatus, regs.Read(kSwIntStatus));
    EXPECT_EQ(regs.Read(kSwIntStatus), 0u);
    EXPECT_EQ(regs.Read(kHostIntStatus), 0u);
}

TEST(ChipInterrupts, PcieMacStatusPassesItsGenerationsEnableBitAndClearsOnWriteBack)
{
    struct Case {
        uint16_t deviceId;
        uint32_t enable;
        uint32_t status;
        bool message;
    };
    const Case cases[] = {
        {0x3502, 0x100, 0x100, true},      {0x3502, 0xFF, 0x100, false},  // 0xFF clears bit 8
        {0x3602, 0x10000, 0x10000, true},  {0x3602, 0x10000, 0x100000, true},
        {0x3601, 0x10000, 0x100000, false}, {0x3601, 0x0, 0x10000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.deviceId << " enable " << c.enable << " status " << c.status);
        Chip chip(c.deviceId);
        Registers regs(chip);
        MessageCounter messages(chip);
        regs.Write(kMacIntEnable, c.enable);
        chip.RaiseMacStatus(c.status);
        EXPECT_EQ(messages.Take(), c.message ? 1 : 0);
        uint32_t seen = regs.Read(kMacIntStatus);
        EXPECT_EQ(seen, c.status);
        regs.Write(kMacIntStatus, seen);
        EXPECT_EQ(regs.Read(kMacIntStatus), 0u);
    }
}

}  // namespace
