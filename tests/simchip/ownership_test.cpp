// The ownership handshake on the low-power control register: hand-overs with their latency on the
// stand-in's clock (immediate, a duration, never), repeated requests, and the ring registers the
// chip loses while the firmware owns it.
#include <gtest/gtest.h>

#include "kshim/host/control.h"
#include "simchip_support.h"

namespace {

using namespace sim::chip;
using simtest::Registers;
using simtest::TxReg;

class OwnershipTest : public ::testing::Test {
protected:
    void SetUp() override { kshim::host::ClockSetManual(); }
    void TearDown() override { kshim::host::ClockSetAuto(); }

    bool FirmwareOwnsByRegister(Registers& regs) { return (regs.Read(kLowPowerControl) & kLpFirmwareOwns) != 0; }
};

TEST_F(OwnershipTest, ImmediateHandOversShowAtTheNextRead)
{
    Chip chip(0x3602);
    Registers regs(chip);
    EXPECT_FALSE(FirmwareOwnsByRegister(regs));  // power-on: the driver owns
    regs.Write(kLowPowerControl, kLpFirmwareOwnRequest);
    EXPECT_TRUE(FirmwareOwnsByRegister(regs));
    EXPECT_TRUE(chip.FirmwareOwns());
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);
    EXPECT_FALSE(FirmwareOwnsByRegister(regs));
    EXPECT_EQ(chip.DriverOwnGrants(), 1u);
    // Asking for what the chip already has changes nothing.
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);
    EXPECT_FALSE(FirmwareOwnsByRegister(regs));
    EXPECT_EQ(chip.DriverOwnGrants(), 1u);
}

TEST_F(OwnershipTest, DriverOwnAfterItsLatencyAndRepeatedRequestsDoNotRestartIt)
{
    Chip chip(0x3502);
    Registers regs(chip);
    regs.Write(kLowPowerControl, kLpFirmwareOwnRequest);
    ASSERT_TRUE(FirmwareOwnsByRegister(regs));
    chip.SetDriverOwnLatency(Latency::Milliseconds(5));
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);
    EXPECT_TRUE(FirmwareOwnsByRegister(regs));
    kshim::host::ClockAdvanceMs(4);
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);  // the driver asks again
    EXPECT_TRUE(FirmwareOwnsByRegister(regs));
    kshim::host::ClockAdvanceMs(1);
    EXPECT_FALSE(FirmwareOwnsByRegister(regs));
}

TEST_F(OwnershipTest, NeverAnswersUntilTheKnobChangesAndTheDriverAsksAgain)
{
    Chip chip(0x3602);
    Registers regs(chip);
    regs.Write(kLowPowerControl, kLpFirmwareOwnRequest);
    chip.SetDriverOwnLatency(Latency::Never());
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);
    kshim::host::ClockAdvanceMs(3000);
    EXPECT_TRUE(FirmwareOwnsByRegister(regs));
    chip.SetDriverOwnLatency(Latency::Immediate());
    EXPECT_TRUE(FirmwareOwnsByRegister(regs));  // the knob alone does not answer the old request
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);
    EXPECT_FALSE(FirmwareOwnsByRegister(regs));
}

TEST_F(OwnershipTest, FirmwareOwnLatencyAndADriverRequestCancellingIt)
{
    Chip chip(0x3602);
    Registers regs(chip);
    chip.SetFirmwareOwnLatency(Latency::Microseconds(300));
    regs.Write(kLowPowerControl, kLpFirmwareOwnRequest);
    EXPECT_FALSE(FirmwareOwnsByRegister(regs));
    kshim::host::ClockAdvance(3000);
    EXPECT_TRUE(FirmwareOwnsByRegister(regs));
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);
    regs.Write(kLowPowerControl, kLpFirmwareOwnRequest);
    regs.Write(kLowPowerControl, kLpDriverOwnRequest);  // back before the hand-over came
    kshim::host::ClockAdvanceMs(1);
    EXPECT_FALSE(FirmwareOwnsByRegister(regs));
}

TEST_F(OwnershipTest, RingRegistersAreLostWhileTheFirmwareOwnsWhenTheKnobSaysSo)
{
    for (bool lose : {false, true}) {
        SCOPED_TRACE(lose ? "lost" : "kept");
        Chip chip(0x3602);
        Registers regs(chip);
        chip.SetLoseRingsWhileFirmwareOwns(lose);
        regs.Write(TxReg(15, kRingRegBase), 0x10002000);
        regs.Write(TxReg(15, kRingRegCount), 128);
        regs.Write(simtest::RxReg(6, kRingRegCount), 4095);
        regs.Write(simtest::RxReg(6, kRingRegCpuIndex), 4094);
        chip.Poke(kRingMarker, 0x80000003);
        regs.Write(kLowPowerControl, kLpFirmwareOwnRequest);
        ASSERT_TRUE(FirmwareOwnsByRegister(regs));
        regs.Write(kLowPowerControl, kLpDriverOwnRequest);
        ASSERT_FALSE(FirmwareOwnsByRegister(regs));
        EXPECT_EQ(regs.Read(TxReg(15, kRingRegBase)), lose ? 0u : 0x10002000u);
        EXPECT_EQ(regs.Read(TxReg(15, kRingRegCount)), lose ? 0u : 128u);
        EXPECT_EQ(regs.Read(simtest::RxReg(6, kRingRegCpuIndex)), lose ? 0u : 4094u);
        EXPECT_EQ(chip.Peek(kRingMarker), lose ? 0x80000001u : 0x80000003u);
    }
}

}  // namespace
