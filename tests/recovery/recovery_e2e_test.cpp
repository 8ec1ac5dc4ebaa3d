// Recovery end to end: the driver brought up on a simulated chip with its whole firmware; a firmware
// command gets no answer, the control thread runs the firmware-level recovery (Wi-Fi subsystem reset,
// the firmware back in its boot ROM, a second download) and a command sent afterwards is answered.
#include "bringup/bringup_support.h"

#include "hal/common/hal_postdl.h"
#include "kshim/host/device_reset.h"
#include "kshim/host/eventlog.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "recovery/recovery_support.h"

namespace recovery_test {
namespace {

// The counters of the "SER L0.5 Count" event-log entries (0x80020001, the count in its first byte).
std::vector<uint8_t> SerCounts()
{
    std::vector<uint8_t> counts;
    for (const kshim::host::ErrorLogEntry& e : kshim::host::ErrorLogSnapshot()) {
        if (e.errorCode == 0x80020001u && !e.dumpData.empty()) {
            counts.push_back(e.dumpData[0]);
        }
    }
    return counts;
}

class RecoveryE2e : public bringup::BringUpTest, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        bringup::BringUpTest::SetUp();
        kshim::host::DeviceResetClear();
        // Firmware waits of seconds run twenty times faster.
        kshim::host::ClockSetAuto();
    }

    // Every RAM-phase command of either dialect: the next one is dropped.
    void DropNextAnswer()
    {
        Ram().Arm(sim::fw::Knob::Drop, sim::fw::kAnyCommand, 1);
        Ram().Unified().Arm(sim::fw::Knob::Drop, sim::fw::kAnyCommand, 1);
    }
};

class RecoveryE2eChip : public bringup::BringUpTest {
protected:
    void SetUp() override
    {
        bringup::BringUpTest::SetUp();
        kshim::host::ClockSetAuto();
    }
};

TEST_P(RecoveryE2e, ACommandWithoutAnswerIsFollowedByARecoveryAfterWhichCommandsAreAnswered)
{
    AddDevice(GetParam());
    Adapter()->EnableSystemEventLog = 1;  // the service value "EnableSystemEventLog"
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    ASSERT_EQ(a->Running, 1u);
    const uint64_t restartsAtStart = chip_->SubsystemRestarts();
    Quiesce();

    DropNextAnswer();
    EXPECT_NE(HalPostDlQueryCapability(a), STATUS_SUCCESS);
    // The control thread recovers: one L0.5, the subsystem reset once more, the firmware downloaded
    // again and running.
    ASSERT_TRUE(Eventually([&] {
        return Load(a->Recovery.RecoveryL05Count) == 1 && Load(a->Recovery.L05StartTime) == 0 && Load(a->Recovery.FwRecoveryState) == 0;
    })) << "L0.5 count " << unsigned(Load(a->Recovery.RecoveryL05Count)) << ", state " << unsigned(Load(a->Recovery.FwRecoveryState));
    EXPECT_EQ(a->Recovery.RecoveryKindCount[RECOVERY_FW_TRIGGERED - 1], 1u);
    EXPECT_EQ(chip_->SubsystemRestarts(), restartsAtStart + 1);
    EXPECT_TRUE(firmware_->Download().RamStarted());
    EXPECT_EQ(a->FwDownloaded, 1);
    EXPECT_EQ(a->FwCmd.CmdTimeout, 0);
    EXPECT_EQ(a->FwCmd.RecoveryInProgress, 0);
    EXPECT_FALSE(AdapterTestFlags(a, ADAPTER_FLAG_FW_RECOVERY));
    EXPECT_FALSE(ErrRecoveryNoneOccurred(a));
    EXPECT_EQ(SerCounts(), std::vector<uint8_t>{1}) << "the L0.5 counted once in the event log";
    // An L0.5 is no platform-level reset.
    EXPECT_TRUE(kshim::host::DeviceResetRequests().empty());

    Quiesce();
    Ram().ClearRecords();
    EXPECT_EQ(HalPostDlQueryCapability(a), STATUS_SUCCESS);
    EXPECT_FALSE(Ram().Exchanges().empty());
}

TEST_F(RecoveryE2eChip, AFirmwareAssertOnA3601IsRecoveredAndCommandsAreAnsweredAfterwards)
{
    AddDevice(0x3601);
    Adapter()->EnableSystemEventLog = 1;  // the service value "EnableSystemEventLog"
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    Quiesce();
    // The firmware asserts: MCU-to-host software interrupt bit 7, which it lets through itself.
    chip_->Poke(0x7C0241F4, chip_->Peek(0x7C0241F4) | 0x80);
    chip_->RaiseSoftwareInterrupt(0x80);
    ASSERT_TRUE(Eventually([&] {
        return Load(a->Recovery.RecoveryL05Count) == 1 && Load(a->Recovery.L05StartTime) == 0 && Load(a->Recovery.FwRecoveryState) == 0;
    }));
    EXPECT_EQ(a->FwAssertCount, 1u);
    EXPECT_EQ(a->Recovery.RecoveryKindCount[RECOVERY_FW_REQUEST - 1], 1u);
    EXPECT_EQ(SerCounts(), std::vector<uint8_t>{1}) << "the L0.5 counted once in the event log";
    Quiesce();
    EXPECT_EQ(HalPostDlQueryCapability(a), STATUS_SUCCESS);
}

TEST_F(RecoveryE2eChip, AChipThatCannotBeWokenIsResetByThePlatformAndComesBack)
{
    kshim::host::DeviceResetClear();
    AddDevice(0x3602);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    Quiesce();
    const uint64_t restarts = chip_->SubsystemRestarts();
    ErrorRecoveryProc(a, RECOVERY_DRIVER_OWN_FAIL);
    EXPECT_EQ(chip_->SubsystemRestarts(), restarts + 1) << "the Wi-Fi subsystem reset comes first";
    const std::vector<kshim::host::DeviceResetRequest> requests = kshim::host::DeviceResetRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].type, PlatformLevelDeviceReset);
    EXPECT_TRUE(PldrInProgress(a));
    // The OS carries the reset out: the device is stopped, loses power and is started again.
    ASSERT_EQ(Restart(), STATUS_SUCCESS);
    Quiesce();
    EXPECT_EQ(HalPostDlQueryCapability(Adapter()), STATUS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Chips, RecoveryE2e, ::testing::Values(0x3502, 0x3602, 0x3601),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             char name[16];
                             std::snprintf(name, sizeof(name), "Chip%04X", info.param);
                             return std::string(name);
                         });

}  // namespace
}  // namespace recovery_test
