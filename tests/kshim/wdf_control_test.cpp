// The named control device: its recorded names, the sequential queue that delivers one request at
// a time, request buffers and completion, shutdown notification, and the strict checks on requests.
#include <gtest/gtest.h>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "toy_driver.h"
#include "wdf_fixture.h"

namespace {

using kshim::host::DeviceControlRequest;
using kshim::host::Os;
using kshim_test::Eventually;
using kshim_test::ViolationRecorder;

const std::u16string kLink = u"\\DosDevices\\QZLWLAN";

std::vector<uint8_t> Command(ULONG command, size_t length = 8)
{
    std::vector<uint8_t> bytes(length, 0xA5);
    std::memcpy(bytes.data(), &command, std::min<size_t>(4, length));
    return bytes;
}

class ControlDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        toy::Reset();
        toy::g_behaviour.controlDevice = true;
        ASSERT_EQ(os_.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
        dev_ = os_.AddDevice();
        ASSERT_EQ(dev_->AddStatus(), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        if (os_.Loaded()) {
            kshim::host::UnloadReport report = os_.Unload();
            EXPECT_TRUE(report.clean) << report.text;
        }
    }
    Os os_;
    kshim::host::OsDevice* dev_ = nullptr;
};

TEST_F(ControlDeviceTest, NameLinkSecurityAndShutdownAreRecorded)
{
    WDFDEVICE control = kshim::host::FindDevice(u"\\device\\qzlwlan");  // names are case-insensitive
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(kshim::host::FindDevice(kLink), control);
    kshim::host::DeviceRecord record;
    ASSERT_TRUE(kshim::host::DescribeDevice(control, &record));
    EXPECT_TRUE(record.control);
    EXPECT_EQ(record.name, u"\\Device\\QZLWLAN");
    EXPECT_EQ(record.sddl, u"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GRGW;;;WD)(A;;GR;;;RC)");
    EXPECT_EQ(record.symbolicLinks, std::vector<std::u16string>{kLink});
    EXPECT_FALSE(record.exclusive);
    EXPECT_TRUE(record.controlFinished);
    EXPECT_EQ(record.shutdownFlags, WdfDeviceShutdown);
    EXPECT_TRUE(record.hasDefaultQueue);
    PDEVICE_OBJECT wdm = WdfDeviceWdmGetDeviceObject(control);
    EXPECT_EQ(wdm->KshimRole, static_cast<ULONG>(KshimDeviceControl));
    EXPECT_EQ(wdm->Flags & DO_DEVICE_INITIALIZING, 0u);
    EXPECT_EQ(WdfDeviceWdmGetPhysicalDevice(control), nullptr);

    os_.Shutdown();
    EXPECT_EQ(toy::ShutdownNotifications(), 1u);
}

// A request that is not buffered hands the driver the caller's own output buffer as the caller filled it.
TEST_F(ControlDeviceTest, AnOutputBufferThatIsNotBufferedArrivesAsTheCallerFilledIt)
{
    DeviceControlRequest r =
        os_.SendDeviceControl(kLink, toy::kToyIoctl, Command(toy::kCommandKeepOutput), 6, {7, 8, 9});
    ASSERT_TRUE(r.Wait());
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    EXPECT_EQ(r.Information(), 6u);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{7, 8, 9, 0, 0, 0}));
}

TEST_F(ControlDeviceTest, RequestIsCompletedWithItsOutputAndInformation)
{
    DeviceControlRequest echo = os_.SendDeviceControl(kLink, toy::kToyIoctl, Command(toy::kCommandEcho), 16);
    ASSERT_TRUE(echo.Wait());
    EXPECT_EQ(echo.Status(), STATUS_SUCCESS);
    EXPECT_EQ(echo.Information(), 8u);
    std::vector<uint8_t> out = echo.Output();
    ASSERT_EQ(out.size(), 16u);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8, Command(toy::kCommandEcho).begin()));

    // Another code completes with success and no data; a missing device is not found.
    DeviceControlRequest other = os_.SendDeviceControl(kLink, 0x00170006, Command(toy::kCommandEcho), 16);
    ASSERT_TRUE(other.Wait());
    EXPECT_EQ(other.Status(), STATUS_SUCCESS);
    EXPECT_EQ(other.Information(), 0u);
    DeviceControlRequest nowhere = os_.SendDeviceControl(u"\\DosDevices\\NONE", toy::kToyIoctl, {}, 0);
    EXPECT_TRUE(nowhere.Completed());
    EXPECT_EQ(nowhere.Status(), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(ControlDeviceTest, BufferRetrievalChecksTheSizes)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> input;
        NTSTATUS expected;
    };
    const Case cases[] = {
        {"no input", {}, STATUS_BUFFER_TOO_SMALL},
        {"shorter than asked", {1, 0}, STATUS_BUFFER_TOO_SMALL},
        {"four bytes where eight are needed", Command(toy::kCommandNeedEight, 4), STATUS_BUFFER_TOO_SMALL},
        {"eight bytes where eight are needed", Command(toy::kCommandNeedEight, 8), STATUS_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceControlRequest r = os_.SendDeviceControl(kLink, toy::kToyIoctl, c.input, 4);
        ASSERT_TRUE(r.Wait());
        EXPECT_EQ(r.Status(), c.expected);
    }
}

TEST_F(ControlDeviceTest, SequentialQueueHoldsTheNextRequestWhileOneIsPending)
{
    DeviceControlRequest parked = os_.SendDeviceControl(kLink, toy::kToyIoctl, Command(toy::kCommandPark), 8);
    ASSERT_TRUE(Eventually([] { return toy::ControlRequestsSeen() == 1; }));
    DeviceControlRequest next = os_.SendDeviceControl(kLink, toy::kToyIoctl, Command(toy::kCommandEcho), 8);
    EXPECT_FALSE(next.Wait(50));
    EXPECT_EQ(toy::ControlRequestsSeen(), 1u);

    toy::CompleteParked(STATUS_CANCELLED);  // at DISPATCH_LEVEL, as a firmware event does
    ASSERT_TRUE(parked.Wait());
    EXPECT_EQ(parked.Status(), STATUS_CANCELLED);
    ASSERT_TRUE(next.Wait());
    EXPECT_EQ(next.Status(), STATUS_SUCCESS);
    EXPECT_EQ(toy::ControlRequestsSeen(), 2u);
}

TEST_F(ControlDeviceTest, RequestCompletedTwiceIsReported)
{
    ViolationRecorder recorder;
    DeviceControlRequest r = os_.SendDeviceControl(kLink, toy::kToyIoctl, Command(toy::kCommandCompleteTwice), 8);
    ASSERT_TRUE(r.Wait());
    ASSERT_TRUE(Eventually([&] { return recorder.Total() == 1; }));
    EXPECT_EQ(recorder.Count("request completed twice"), 1u) << recorder.All();
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
}

TEST_F(ControlDeviceTest, RequestNeverCompletedIsReportedAtUnload)
{
    DeviceControlRequest parked = os_.SendDeviceControl(kLink, toy::kToyIoctl, Command(toy::kCommandPark), 8);
    ASSERT_TRUE(Eventually([] { return toy::ControlRequestsSeen() == 1; }));
    ViolationRecorder recorder;
    kshim::host::UnloadReport report = os_.Unload();
    EXPECT_FALSE(report.clean);
    EXPECT_EQ(report.requestsNotCompleted, 1u);
    EXPECT_EQ(recorder.Count("request never completed"), 1u) << recorder.All();
    EXPECT_EQ(recorder.Count("WDFREQUEST"), 1u) << recorder.All();
    EXPECT_FALSE(parked.Completed());
    toy::CompleteParked(STATUS_CANCELLED);  // late, but the request is still the driver's to complete
    EXPECT_TRUE(parked.Completed());
}

TEST_F(ControlDeviceTest, SecondControlDeviceOfTheSameNameFailsItsDeviceAdd)
{
    kshim::host::DeviceConfig config;
    config.name = "device1";
    kshim::host::OsDevice* second = os_.AddDevice(config);
    EXPECT_EQ(second->AddStatus(), STATUS_OBJECT_NAME_COLLISION);
    // The first one still answers.
    DeviceControlRequest echo = os_.SendDeviceControl(kLink, toy::kToyIoctl, Command(toy::kCommandEcho), 8);
    ASSERT_TRUE(echo.Wait());
    EXPECT_EQ(echo.Status(), STATUS_SUCCESS);
}

}  // namespace
