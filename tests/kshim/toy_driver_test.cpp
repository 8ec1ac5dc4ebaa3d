// The OS sequencer with the toy driver: a clean life from load to unload, the framework's order
// of PnP and power callbacks, the unwinding of failed steps, sleep with wake arming, surprise
// removal, and the strict checks at unload.
#include <gtest/gtest.h>

#include <algorithm>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/trace.h"
#include "toy_driver.h"
#include "wdf_fixture.h"

namespace {

using kshim::host::DeviceState;
using kshim::host::Os;
using kshim::host::OsDevice;
using kshim::host::OsStep;
using kshim_test::ViolationRecorder;

class ToyDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        toy::Reset();
        kshim::host::ClockSetManual();
        poolBefore_ = kshim::host::PoolOutstandingBlocks();
    }
    void TearDown() override
    {
        kshim::host::ClockSetReal(1);
        kshim::host::FaultClearAll();
    }
    // The callbacks of the log from `from` on, as "name(state)".
    static std::vector<std::string> Steps(const Os& os, size_t from = 0)
    {
        std::vector<std::string> out;
        std::vector<kshim::host::OsLogEntry> log = os.Log();
        for (size_t i = from; i < log.size(); ++i) {
            std::string s = kshim::host::OsStepName(log[i].step);
            if (log[i].state != WdfPowerDeviceInvalid) {
                s += std::string("(") + kshim::host::PowerStateName(log[i].state) + ")";
            }
            out.push_back(s);
        }
        return out;
    }
    uint64_t poolBefore_ = 0;
};

TEST_F(ToyDriverTest, FullLifeInTheFrameworkOrderLeavesNothingBehind)
{
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    EXPECT_EQ(os.RegistryPath(), u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\qzltoy");
    EXPECT_EQ(std::u16string(os.DriverObject()->DriverName.Buffer, os.DriverObject()->DriverName.Length / 2),
              u"\\Driver\\qzltoy");
    EXPECT_TRUE(kshim::host::TraceSessionActive());

    OsDevice* dev = os.AddDevice();
    ASSERT_EQ(dev->AddStatus(), STATUS_SUCCESS);
    toy::TOY_DEVICE* ctx = toy::ToyGetDevice(dev->Handle());
    ASSERT_NE(ctx, nullptr);
    EXPECT_TRUE(ctx->contextWasZero);
    EXPECT_EQ(ctx->signature, 0xAABBCCDDu);

    ASSERT_EQ(os.Start(dev), STATUS_SUCCESS);
    EXPECT_EQ(dev->State(), DeviceState::Started);
    EXPECT_NE(ctx->hardware, nullptr);
    kshim::host::ClockAdvanceMs(250);  // the device's periodic timer runs while in D0
    EXPECT_EQ(ctx->timerFired, 2);

    ASSERT_EQ(os.Stop(dev), STATUS_SUCCESS);
    EXPECT_EQ(ctx->hardware, nullptr);
    EXPECT_EQ(ctx->workRuns, 1);
    os.Remove(dev);
    EXPECT_EQ(dev->State(), DeviceState::Removed);
    // The device took its timer, work item, spin lock and resource lists with it.
    std::vector<std::string> left = kshim::host::FrameworkObjects();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind("WDFDRIVER #", 0), 0u) << left[0];
    kshim::host::UnloadReport report = os.Unload();
    EXPECT_TRUE(report.clean) << report.text;
    EXPECT_EQ(report.frameworkObjects, 0u);
    EXPECT_EQ(report.poolBlocks, 0u);
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), 0u);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocks(), poolBefore_);
    EXPECT_FALSE(kshim::host::TraceSessionActive());

    const std::vector<std::string> expected = {
        "DriverEntry",
        "EvtDriverDeviceAdd",
        "EvtDevicePrepareHardware",
        "EvtDeviceD0Entry(D3Final)",
        "EvtDeviceD0EntryPostInterruptsEnabled(D3Final)",
        "EvtDeviceD0ExitPreInterruptsDisabled(D3Final)",
        "KeFlushQueuedDpcs",
        "EvtDeviceD0Exit(D3Final)",
        "EvtDeviceReleaseHardware",
        "device deleted",
        "EvtDriverUnload",
    };
    EXPECT_EQ(Steps(os), expected) << os.LogText();
    for (const std::string& call : toy::Calls()) {
        EXPECT_NE(call.find("@0"), std::string::npos) << call;  // every callback at PASSIVE_LEVEL
    }
    EXPECT_EQ(toy::Calls().back(), "EvtDriverUnload@0");
}

TEST_F(ToyDriverTest, StopThenStartAgainPreparesTheHardwareAgain)
{
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    ASSERT_EQ(os.Start(dev), STATUS_SUCCESS);
    ASSERT_EQ(os.Stop(dev), STATUS_SUCCESS);
    size_t mark = os.Log().size();
    ASSERT_EQ(os.Start(dev), STATUS_SUCCESS);
    const std::vector<std::string> expected = {
        "EvtDevicePrepareHardware",
        "EvtDeviceD0Entry(D3Final)",
        "EvtDeviceD0EntryPostInterruptsEnabled(D3Final)",
    };
    EXPECT_EQ(Steps(os, mark), expected);
    EXPECT_TRUE(os.Unload().clean);  // removes the device on the way
}

// A failing step of the power-up is undone as the framework does: only the steps that succeeded
// are reversed, and release hardware follows even a failed preparation.
TEST_F(ToyDriverTest, FailedStartUnwindsTheStepsThatSucceeded)
{
    struct Case {
        const char* name;
        NTSTATUS toy::Behaviour::*field;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"prepare hardware", &toy::Behaviour::prepareStatus,
         {"EvtDevicePrepareHardware", "EvtDeviceReleaseHardware"}},
        {"D0 entry", &toy::Behaviour::d0EntryStatus,
         {"EvtDevicePrepareHardware", "EvtDeviceD0Entry(D3Final)", "EvtDeviceReleaseHardware"}},
        {"D0 entry after interrupts enabled", &toy::Behaviour::postInterruptsStatus,
         {"EvtDevicePrepareHardware", "EvtDeviceD0Entry(D3Final)", "EvtDeviceD0EntryPostInterruptsEnabled(D3Final)",
          "KeFlushQueuedDpcs", "EvtDeviceD0Exit(D3Final)", "EvtDeviceReleaseHardware"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        toy::Reset();
        toy::g_behaviour.*c.field = STATUS_DEVICE_NOT_READY;
        Os os;
        ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
        OsDevice* dev = os.AddDevice();
        size_t mark = os.Log().size();
        EXPECT_EQ(os.Start(dev), STATUS_DEVICE_NOT_READY);
        EXPECT_EQ(dev->State(), DeviceState::Failed);
        EXPECT_EQ(Steps(os, mark), c.expected) << os.LogText();
        mark = os.Log().size();
        os.Remove(dev);
        EXPECT_EQ(Steps(os, mark), std::vector<std::string>{"device deleted"});
        kshim::host::UnloadReport report = os.Unload();
        EXPECT_TRUE(report.clean) << report.text;
    }
}

TEST_F(ToyDriverTest, SleepArmsWakeAndResumeDisarmsIt)
{
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    ASSERT_EQ(os.Start(dev), STATUS_SUCCESS);
    size_t mark = os.Log().size();
    kshim::host::SleepOptions sleep;
    sleep.wakeTriggered = true;
    ASSERT_EQ(os.Sleep(dev, sleep), STATUS_SUCCESS);
    EXPECT_EQ(dev->State(), DeviceState::Sleeping);
    ASSERT_EQ(os.Resume(dev), STATUS_SUCCESS);
    const std::vector<std::string> expected = {
        "EvtDeviceArmWakeFromSx",
        "EvtDeviceD0ExitPreInterruptsDisabled(D3)",
        "KeFlushQueuedDpcs",
        "EvtDeviceD0Exit(D3)",
        "EvtDeviceD0Entry(D3)",
        "EvtDeviceD0EntryPostInterruptsEnabled(D3)",
        "EvtDeviceWakeFromSxTriggered",
        "EvtDeviceDisarmWakeFromSx",
    };
    EXPECT_EQ(Steps(os, mark), expected) << os.LogText();

    // Without accepted Sx-wake settings nothing is armed; a failed arming sleeps without wake.
    mark = os.Log().size();
    sleep = kshim::host::SleepOptions();
    sleep.wake = kshim::host::SleepOptions::Wake::DoNotArm;
    sleep.target = WdfPowerDeviceD2;
    ASSERT_EQ(os.Sleep(dev, sleep), STATUS_SUCCESS);
    ASSERT_EQ(os.Resume(dev), STATUS_SUCCESS);
    EXPECT_EQ(Steps(os, mark),
              (std::vector<std::string>{"EvtDeviceD0ExitPreInterruptsDisabled(D2)", "KeFlushQueuedDpcs",
                                        "EvtDeviceD0Exit(D2)", "EvtDeviceD0Entry(D2)",
                                        "EvtDeviceD0EntryPostInterruptsEnabled(D2)"}));

    toy::g_behaviour.armWakeStatus = STATUS_UNSUCCESSFUL;
    mark = os.Log().size();
    EXPECT_EQ(os.Sleep(dev), STATUS_UNSUCCESSFUL);
    ASSERT_EQ(os.Resume(dev), STATUS_SUCCESS);
    std::vector<std::string> steps = Steps(os, mark);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "EvtDeviceDisarmWakeFromSx"), 0);
    EXPECT_TRUE(os.Unload().clean);
}

TEST_F(ToyDriverTest, SurpriseRemovalRunsBeforeOrAfterThePowerDown)
{
    using Order = kshim::host::SurpriseRemovalOrder;
    struct Case {
        Order order;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {Order::BeforeD0Exit,
         {"EvtDeviceSurpriseRemoval", "EvtDeviceD0ExitPreInterruptsDisabled(D3Final)", "KeFlushQueuedDpcs",
          "EvtDeviceD0Exit(D3Final)", "EvtDeviceReleaseHardware"}},
        {Order::AfterD0Exit,
         {"EvtDeviceD0ExitPreInterruptsDisabled(D3Final)", "KeFlushQueuedDpcs", "EvtDeviceD0Exit(D3Final)",
          "EvtDeviceSurpriseRemoval", "EvtDeviceReleaseHardware"}},
    };
    for (const Case& c : cases) {
        toy::Reset();
        Os os;
        ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
        OsDevice* dev = os.AddDevice();
        ASSERT_EQ(os.Start(dev), STATUS_SUCCESS);
        size_t mark = os.Log().size();
        EXPECT_EQ(os.SurpriseRemove(dev, c.order), STATUS_SUCCESS);
        EXPECT_EQ(Steps(os, mark), c.expected);
        EXPECT_EQ(dev->State(), DeviceState::SurpriseRemoved);
        EXPECT_EQ(os.Start(dev), STATUS_INVALID_DEVICE_STATE);
        os.Remove(dev);
        EXPECT_TRUE(os.Unload().clean);
    }
}

TEST_F(ToyDriverTest, FailedDeviceAddDeletesTheDeviceItCreated)
{
    toy::g_behaviour.addStatus = STATUS_INSUFFICIENT_RESOURCES;
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    EXPECT_EQ(dev->AddStatus(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(dev->State(), DeviceState::Failed);
    EXPECT_EQ(dev->Handle(), nullptr);
    std::vector<std::string> calls = toy::Calls();
    EXPECT_EQ(calls.back(), "EvtDeviceContextCleanup@0");
    EXPECT_EQ(os.Start(dev), STATUS_INVALID_DEVICE_STATE);
    EXPECT_TRUE(os.Unload().clean);
}

TEST_F(ToyDriverTest, FailedDriverEntryLeavesTheDriverUnloaded)
{
    toy::g_behaviour.entryStatus = STATUS_UNSUCCESSFUL;
    Os os;
    EXPECT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(os.Loaded());
    EXPECT_EQ(WdfGetDriver(), nullptr);
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), 0u);
    EXPECT_FALSE(kshim::host::TraceSessionActive());
    // The image can be loaded again.
    toy::Reset();
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    EXPECT_TRUE(os.Unload().clean);
}

TEST_F(ToyDriverTest, WhatADriverLeavesBehindIsReportedAtUnload)
{
    toy::g_behaviour.leakPool = true;
    toy::g_behaviour.leakObject = true;
    toy::g_behaviour.keepTraceSession = true;
    ViolationRecorder recorder;
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    ASSERT_EQ(os.Start(dev), STATUS_SUCCESS);
    kshim::host::UnloadReport report = os.Unload();
    EXPECT_FALSE(report.clean);
    EXPECT_EQ(report.frameworkObjects, 1u);
    EXPECT_EQ(report.poolBlocks, 1u);  // the memory object's buffer went with the driver's objects
    EXPECT_TRUE(report.traceSessionActive);
    EXPECT_EQ(recorder.Count("framework objects left at unload: WDFMEMORY"), 1u) << recorder.All();
    EXPECT_EQ(recorder.Count("pool blocks left at unload"), 1u);
    EXPECT_EQ(recorder.Count("ToyL 32"), 1u);
    EXPECT_EQ(recorder.Count("trace session still active"), 1u);
    // The framework deleted the driver's objects with the driver.
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), 0u);
    KshimTraceStop(nullptr);
}

}  // namespace
