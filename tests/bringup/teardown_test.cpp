// A bring-up that fails at any of its major steps gives back everything it took; surprise removal in
// both of the framework's orders; the release of hardware after a resume that failed.
#include <cstring>

#include "bringup_support.h"
#include "Common/logevent.h"
#include "kshim/host/eventlog.h"

#include <cctype>
#include <cstdio>
#include <tuple>

namespace {

using bringup::BringUpTest;
using kshim::host::DeviceState;

bool Traced(const char* function)
{
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        if (r.function == function) {
            return true;
        }
    }
    return false;
}

struct StepFault {
    const char* name;
    const char* point;
    const char* key;
    unsigned nth;
    unsigned count;
};

class BringUpFault : public BringUpTest, public ::testing::WithParamInterface<std::tuple<USHORT, StepFault>> {};

// The step fails; the power-up fails with it, the device is failed, no progress byte stays set, and
// the removal and the unload (TearDown) find every allocation, thread, mapping, common buffer and
// framework object returned.
TEST_P(BringUpFault, TheTeardownGivesBackWhatTheBringUpTook)
{
    const StepFault& f = std::get<1>(GetParam());
    // The port's allocation retries after 2 s stalls.
    kshim::host::ClockSetAuto();
    AddDevice(std::get<0>(GetParam()));
    kshim::host::FaultArm(f.point, f.key, f.nth, STATUS_INSUFFICIENT_RESOURCES, f.count);
    const NTSTATUS status = os_.Start(device_);
    const unsigned fired = kshim::host::FaultFired(f.point);
    kshim::host::FaultClearAll();
    EXPECT_GE(fired, 1u) << "the fault point was not reached";
    EXPECT_FALSE(NT_SUCCESS(status));
    EXPECT_EQ(device_->State(), DeviceState::Failed);
    MP_ADAPTER* a = Adapter();
    EXPECT_EQ(a->InitFinished, 1);
    for (size_t i = 0; i < BRINGUP_PROGRESS_BYTES; ++i) {
        EXPECT_EQ(Adapter()->BringUp.Progress[i], 0) << "progress byte " << i;
    }
    EXPECT_EQ(a->DmaEnabler, nullptr);
    EXPECT_EQ(RecordedPowerState(), 4u);
}

const StepFault kStepFaults[] = {
    // The allocator tries six times before it refuses; port 0 is tried three times.
    {"port block", "pool", "ZV21", 1, 18},
    {"send thread of port 0", "thread.create", "", 1, 1},
    {"first worker thread", "thread.create", "", 3, 1},
    {"last worker thread", "thread.create", "", 13, 1},
    {"configuration", "net.openconfiguration", "", 2, 1},
    {"DMA enabler", "wdf.dmaenabler", "", 1, 1},
    {"command ring", "wdf.commonbuffer", "2048", 1, 1},
    {"event ring", "wdf.commonbuffer", "65520", 2, 1},
    {"packet pools", "pool", "ZV0R", 700, 1},
};

INSTANTIATE_TEST_SUITE_P(Steps, BringUpFault,
                         ::testing::Combine(::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                                            ::testing::ValuesIn(kStepFaults)),
                         [](const ::testing::TestParamInfo<std::tuple<USHORT, StepFault>>& info) {
                             char chip[8];
                             std::snprintf(chip, sizeof(chip), "%04X_", std::get<0>(info.param));
                             std::string name = std::string(chip) + std::get<1>(info.param).name;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

// A firmware answer that never comes: the command's wait runs out, the step fails, and the teardown
// runs. The boot ROM's semaphore answer and the RAM code's capability answer, legacy and unified.
TEST_F(BringUpTest, ALostFirmwareAnswerFailsThePowerUpCleanly)
{
    enum class Who { Rom, Ram, Unified };
    struct Case {
        USHORT device;
        Who who;
        int cmdId;
    };
    const Case cases[] = {{0x3502, Who::Rom, 0x10}, {0x3502, Who::Ram, 0x8A}, {0x3602, Who::Unified, 0x0E}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmdId);
        // The waits for lost answers last seconds.
        kshim::host::ClockSetAuto();
        AddDevice(c.device);
        switch (c.who) {
        case Who::Rom:
            firmware_->Rom().Arm(sim::fw::Knob::Drop, c.cmdId, 1);
            break;
        case Who::Ram:
            Ram().Arm(sim::fw::Knob::Drop, c.cmdId, 1);
            break;
        case Who::Unified:
            Ram().Unified().Arm(sim::fw::Knob::Drop, c.cmdId, 1);
            break;
        }
        EXPECT_FALSE(NT_SUCCESS(os_.Start(device_)));
        EXPECT_EQ(device_->State(), DeviceState::Failed);
        for (UCHAR byte : Adapter()->BringUp.Progress) {
            EXPECT_EQ(byte, 0);
        }
        os_.Remove(device_);
        device_ = nullptr;
        firmware_.reset();
        chip_.reset();
    }
}

// Surprise removal before the power-down callbacks (the device is gone): the surprise-removal
// teardown runs once, sends nothing to the firmware and touches no register; the D0 exit that follows
// finds the NIC shut down.
class SurpriseRemoval : public BringUpTest, public ::testing::WithParamInterface<USHORT> {};

TEST_P(SurpriseRemoval, BeforeThePowerDown)
{
    kshim::host::RegistrySetDword(std::string(bringup::kServiceKey) + "\\Parameters", "EnableSystemEventLog", 1);
    ASSERT_EQ(os_.Unload().clean, true);
    ASSERT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_SUCCESS);
    AddDevice(GetParam());
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    const size_t exchanges = Ram().Exchanges().size();
    kshim::host::TraceClear();
    kshim::host::ErrorLogClear();
    chip_->SetGone(true);
    chip_->ClearTranscript();
    EXPECT_EQ(os_.SurpriseRemove(device_, kshim::host::SurpriseRemovalOrder::BeforeD0Exit), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    EXPECT_TRUE(AdapterTestFlags(a, ADAPTER_FLAG_SURPRISE_REMOVED));
    EXPECT_TRUE(AdapterTestFlags(a, ADAPTER_FLAG_HALT_IN_PROGRESS));
    EXPECT_EQ(a->NicShutDown, 1);
    EXPECT_EQ(a->NicStarted, 0);
    EXPECT_EQ(Ram().Exchanges().size(), exchanges) << "nothing was sent to a firmware that is gone";
    EXPECT_TRUE(chip_->Transcript().empty()) << "no register of a device that is gone was reached";
    // The surprise-removal teardown: no firmware-log setting, no transmit and receive stop.
    EXPECT_FALSE(Traced("MlmeSendChipConfig"));
    EXPECT_FALSE(Traced("NdisCommonHifStopTxRx"));
    size_t shutdowns = 0;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        shutdowns += r.text == "the NIC is already shut down" ? 1 : 0;
    }
    EXPECT_EQ(shutdowns, 1u) << "the D0 exit found the NIC shut down";
    bool logged = false;
    for (const kshim::host::ErrorLogEntry& e : kshim::host::ErrorLogSnapshot()) {
        logged = logged || e.errorCode == EVENT_LOG_SURPRISE_REMOVE;
    }
    EXPECT_TRUE(logged) << "\"Driver surprise remove\" in the event log";
    for (UCHAR byte : Adapter()->BringUp.Progress) {
        EXPECT_EQ(byte, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Chips, SurpriseRemoval, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}));

// Surprise removal after the power-down (the framework noticed it late): the normal teardown already
// ran, and the surprise-removal handler has nothing left to shut down.
TEST_F(BringUpTest, SurpriseRemovalAfterThePowerDown)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    kshim::host::TraceClear();
    EXPECT_EQ(os_.SurpriseRemove(device_, kshim::host::SurpriseRemovalOrder::AfterD0Exit), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    EXPECT_TRUE(AdapterTestFlags(a, ADAPTER_FLAG_SURPRISE_REMOVED));
    // The normal teardown ran first: the firmware was told to block its log events ("FwLogSramEvtBlock"
    // "1" as a customer-configuration item, command 0x70: key at byte 16, value at byte 48).
    size_t blocks = 0;
    for (const sim::fw::LegacyCommand& c : firmware_->Ram().RamCommands()) {
        blocks += c.cmdId == 0x70 && c.payload.size() == 284 && std::memcmp(&c.payload[16], "FwLogSramEvtBlock", 18) == 0 &&
                          std::memcmp(&c.payload[48], "1", 2) == 0
                      ? 1
                      : 0;
    }
    EXPECT_EQ(blocks, 1u) << "the normal teardown ran first";
    EXPECT_EQ(a->NicShutDown, 1);
    for (UCHAR byte : Adapter()->BringUp.Progress) {
        EXPECT_EQ(byte, 0);
    }
}

// A resume whose driver ownership cannot be had fails the power-up with 0xC0000001; the framework
// calls no D0 exit for it, so the release of hardware shuts the NIC down before its blocks go.
TEST_F(BringUpTest, ReleaseAfterAFailedResumeShutsTheNicDown)
{
    kshim::host::ClockSetAuto();
    // A refused driver own ends sooner with the plain poll than with the lock-free one.
    SetConfig("ZiziSolution", 0);
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    Quiesce();
    a->LowPower.LowPowerMode = 1;
    (void)os_.Sleep(device_, {});
    // The chip goes to its firmware and does not come back.
    chip_->SetDriverOwnLatency(sim::chip::Latency::Never());
    chip_->MmioWrite(0, 0xE0010, 4, 1);
    EXPECT_EQ(os_.Resume(device_), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(device_->State(), DeviceState::Failed);
    EXPECT_EQ(a->PowerUpFailed, 1u);
    EXPECT_EQ(a->NicStarted, 1) << "still running: nothing shut it down yet";
    // The removal's release of the hardware undoes the bring-up; the adapter goes with the device.
    EXPECT_EQ(os_.ReleaseHardware(device_), STATUS_SUCCESS);
    for (UCHAR byte : a->BringUp.Progress) {
        EXPECT_EQ(byte, 0);
    }
    os_.Remove(device_);
    device_ = nullptr;
}

}  // namespace
