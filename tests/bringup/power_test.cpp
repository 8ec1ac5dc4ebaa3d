// The device's power transitions after the first power-up: sleep and resume, the move between D0 and
// a low-power state, the power state recorded in the registry, wake arming, and what the D0 exit
// towards D3Final does with the chip.
#include "bringup_support.h"
#include "platform/ndiscommon/ndiscommon.h"

namespace {

using bringup::BringUpTest;
using kshim::host::DeviceState;
using kshim::host::SleepOptions;

// Until the bus layer's power change by port exists, a sleep reports its status, the adapter stays
// in D0 as far as its power state goes, and the resume finds nothing to change; the flags and tables
// of a resume are reset, and the device still stops cleanly.
TEST_F(BringUpTest, SleepAndResume)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    SleepOptions sleep;
    sleep.wake = SleepOptions::Wake::DoNotArm;
    EXPECT_EQ(os_.Sleep(device_, sleep), STATUS_NOT_SUPPORTED) << "the power change by port is not built yet";
    EXPECT_EQ(RecordedPowerState(), 3u) << "D3, recorded as the framework state minus one";
    EXPECT_EQ(a->LowPower.LowPowerCountdownActive, 1);
    EXPECT_EQ(a->LowPower.LowPowerCountdown, static_cast<ULONG>(LOW_POWER_COUNTDOWN_TICKS));
    EXPECT_EQ(a->Wake.WowArmed, 0);
    EXPECT_NE(a->LowPower.LastLowPowerTime.QuadPart, 0);

    AdapterSetFlag(a, ADAPTER_FLAG_NOT_RESPONDING | ADAPTER_FLAG_PCI_SUSPENDED | ADAPTER_FLAG_RESUME_CLEAR, "test");
    a->PortList[0]->ReorderSessions[3].State = REORDER_SESSION_ACTIVE;
    a->PortList[0]->ReorderSessions[3].Indicating = 1;
    a->ReorderQueueInUse[3] = 1;
    a->PowerUpCounters[1] = 7;
    EXPECT_EQ(os_.Resume(device_), STATUS_SUCCESS);
    EXPECT_EQ(device_->State(), DeviceState::Started);
    EXPECT_EQ(RecordedPowerState(), 0u);
    EXPECT_TRUE(AdapterTestFlags(a, ADAPTER_FLAG_LOW_POWER_RETURN)) << "resume pending until the power state is back";
    EXPECT_FALSE(AdapterTestFlags(a, ADAPTER_FLAG_NOT_RESPONDING | ADAPTER_FLAG_PCI_SUSPENDED |
                                         ADAPTER_FLAG_RESUME_CLEAR | ADAPTER_FLAG_MLME_RESTARTING));
    const REORDER_SESSION& session = a->PortList[0]->ReorderSessions[3];
    EXPECT_EQ(session.Indicating, 0);
    EXPECT_EQ(session.FlushPending, 1) << "an active session is flushed after a resume";
    EXPECT_EQ(a->PortList[0]->ReorderSessions[4].FlushPending, 0);
    EXPECT_EQ(a->ReorderQueueInUse[3], 0);
    EXPECT_EQ(a->PowerUpCounters[1], 0u);
    EXPECT_EQ(a->PowerUpFailed, 0u);
    EXPECT_EQ(a->Running, 1u);
    EXPECT_EQ(os_.Stop(device_), STATUS_SUCCESS);
    EXPECT_EQ(RecordedPowerState(), 4u);
}

// Preparing for hibernation records nothing.
TEST_F(BringUpTest, HibernationRecordsNoPowerState)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    SleepOptions sleep;
    sleep.target = WdfPowerDevicePrepareForHibernation;
    sleep.wake = SleepOptions::Wake::DoNotArm;
    EXPECT_EQ(os_.Sleep(device_, sleep), STATUS_SUCCESS);
    EXPECT_EQ(RecordedPowerState(), 0u);
    EXPECT_EQ(os_.Resume(device_), STATUS_SUCCESS);
}

TEST_F(BringUpTest, PowerStateRequests)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    EXPECT_EQ(QZCxSetPowerState(a, 5), STATUS_QZL_POWER_STATE_REFUSED);
    EXPECT_EQ(QZCxSetPowerState(a, 0), STATUS_QZL_POWER_STATE_REFUSED);
    kshim::host::TraceClear();
    EXPECT_EQ(QZCxSetPowerState(a, 1), STATUS_SUCCESS) << "the current state";
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        EXPECT_NE(r.function, "NdisCommonHifPciSetPowerbyPortWOWLan") << "no power change for the current state";
    }

    // Wake is armed only with both a wake pattern and a protocol offload installed.
    struct Wake {
        UCHAR patterns;
        UCHAR offloads;
        UCHAR armed;
    };
    for (const Wake w : {Wake{1, 0, 0}, Wake{0, 1, 0}, Wake{2, 1, 1}, Wake{0, 0, 0}}) {
        a->Wake.WowPatternCount = w.patterns;
        a->Wake.WowOffloadCount = w.offloads;
        (void)QZCxSetPowerState(a, 4);
        EXPECT_EQ(a->Wake.WowArmed, w.armed) << static_cast<int>(w.patterns) << " patterns, "
                                        << static_cast<int>(w.offloads) << " offloads";
    }
    a->Wake.WowPatternCount = 0;
    a->Wake.WowOffloadCount = 0;
}

// Towards D3Final the chip goes to its firmware by "DeInitLP": never with 0, only after a shutdown
// notification with 1, always with 2 — never after surprise removal.
TEST_F(BringUpTest, TheChipGoesToItsFirmwareAtTheLastPowerDownByDeInitLP)
{
    struct Case {
        uint32_t deInitLp;
        bool shutdown;
        UCHAR requested;
    };
    const Case cases[] = {{0, true, 0}, {1, false, 0}, {1, true, 1}, {2, false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "DeInitLP " << c.deInitLp << (c.shutdown ? ", shutdown" : ""));
        SetConfig("DeInitLP", c.deInitLp);
        AddDevice(0x3502);
        ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
        if (c.shutdown) {
            os_.Shutdown();
            EXPECT_EQ(Adapter()->ShutdownNotified, 1);
        }
        EXPECT_EQ(Adapter()->LowPower.FwOwn[1], 0);
        EXPECT_EQ(os_.Stop(device_), STATUS_SUCCESS);
        EXPECT_EQ(Adapter()->LowPower.FwOwn[1], c.requested);
        EXPECT_FALSE(Adapter()->Switches.FirstPowerUp);
        os_.Remove(device_);
        device_ = nullptr;
        firmware_.reset();
        chip_.reset();
    }
    SetConfig("DeInitLP", 2);
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    chip_->SetGone(true);
    EXPECT_EQ(os_.SurpriseRemove(device_, kshim::host::SurpriseRemovalOrder::BeforeD0Exit), STATUS_SUCCESS);
    EXPECT_EQ(Adapter()->LowPower.FwOwn[1], 0) << "a device that is gone is not handed to its firmware";
}

// A power-up whose driver ownership cannot be had fails with 0xC0000001; the power-up-failed field is
// set only for a resume from D3.
TEST_F(BringUpTest, DriverOwnershipRefusedAtPowerUp)
{
    kshim::host::ClockSetAuto();
    // A refused driver own ends sooner with the plain poll than with the lock-free one.
    SetConfig("ZiziSolution", 0);
    struct Case {
        WDF_POWER_DEVICE_STATE sleep;
        ULONG failed;
    };
    for (const Case c : {Case{WdfPowerDeviceD3, 1}, Case{WdfPowerDeviceD2, 0}}) {
        SCOPED_TRACE(c.sleep);
        AddDevice(0x3502);
        ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
        Quiesce();
        Adapter()->LowPower.LowPowerMode = 1;
        SleepOptions sleep;
        sleep.target = c.sleep;
        sleep.wake = SleepOptions::Wake::DoNotArm;
        (void)os_.Sleep(device_, sleep);
        chip_->SetDriverOwnLatency(sim::chip::Latency::Never());
        chip_->MmioWrite(0, 0xE0010, 4, 1);  // the chip goes to its firmware
        EXPECT_EQ(os_.Resume(device_), STATUS_UNSUCCESSFUL);
        EXPECT_EQ(Adapter()->PowerUpFailed, c.failed);
        os_.Remove(device_);
        device_ = nullptr;
        firmware_.reset();
        chip_.reset();
    }
    // The first power-up: no bring-up runs, the hardware is released.
    AddDevice(0x3502);
    chip_->SetDriverOwnLatency(sim::chip::Latency::Never());
    chip_->MmioWrite(0, 0xE0010, 4, 1);
    EXPECT_EQ(os_.Start(device_), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(device_->State(), DeviceState::Failed);
    EXPECT_EQ(Adapter()->PowerUpFailed, 0u);
    EXPECT_EQ(Adapter()->InitFinished, 0) << "the bring-up never ran";
}

}  // namespace
