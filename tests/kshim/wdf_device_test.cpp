// The framework device as device add builds it: the device objects beneath it, power capabilities
// and power policy (with the platform refusing wake or idle), and the class extensions' device
// initialisation with the driver's entry points and the OS's WDI version.
#include <gtest/gtest.h>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "toy_driver.h"
#include "wdf_fixture.h"

namespace {

using kshim::host::DeviceRecord;
using kshim::host::Os;
using kshim::host::OsDevice;

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { toy::Reset(); }
    void TearDown() override
    {
        kshim::host::FaultClearAll();
        kshim::host::SetOsWdiVersion(0x00060030);
    }
};

TEST_F(DeviceTest, DeviceObjectsFormTheStack)
{
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    WDFDEVICE device = dev->Handle();
    PDEVICE_OBJECT fdo = WdfDeviceWdmGetDeviceObject(device);
    PDEVICE_OBJECT pdo = WdfDeviceWdmGetPhysicalDevice(device);
    PDEVICE_OBJECT lower = WdfDeviceWdmGetAttachedDevice(device);
    ASSERT_NE(fdo, nullptr);
    EXPECT_EQ(fdo->KshimRole, static_cast<ULONG>(KshimDeviceFunctional));
    EXPECT_EQ(pdo->KshimRole, static_cast<ULONG>(KshimDevicePhysical));
    EXPECT_EQ(lower->KshimRole, static_cast<ULONG>(KshimDeviceLower));
    EXPECT_EQ(pdo, dev->PhysicalDevice());
    EXPECT_EQ(pdo->AttachedDevice, lower);
    EXPECT_EQ(lower->AttachedDevice, fdo);
    EXPECT_EQ(fdo->DeviceExtension, nullptr);
    EXPECT_EQ(fdo->DriverObject, os.DriverObject());
    EXPECT_EQ(os.DriverObject()->DeviceObject, fdo);
    EXPECT_EQ(fdo->DeviceType, FILE_DEVICE_NETWORK);
    EXPECT_EQ(WdfDeviceGetDriver(device), WdfGetDriver());
    EXPECT_EQ(WdfDriverWdmGetDriverObject(WdfGetDriver()), os.DriverObject());
    EXPECT_TRUE(os.Unload().clean);
}

TEST_F(DeviceTest, PowerCapabilitiesAndPolicyAreRecorded)
{
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    DeviceRecord record;
    ASSERT_TRUE(kshim::host::DescribeDevice(dev->Handle(), &record));
    ASSERT_TRUE(record.hasPowerCapabilities);
    EXPECT_EQ(record.powerCapabilities.DeviceD1, WdfFalse);
    EXPECT_EQ(record.powerCapabilities.WakeFromD0, WdfUseDefault);
    EXPECT_EQ(record.powerCapabilities.WakeFromD3, WdfTrue);
    EXPECT_EQ(record.powerCapabilities.DeviceState[PowerSystemWorking], PowerDeviceD0);
    EXPECT_EQ(record.powerCapabilities.DeviceState[PowerSystemShutdown], PowerDeviceMaximum);
    EXPECT_EQ(record.powerCapabilities.SystemWake, PowerSystemSleeping3);
    EXPECT_EQ(record.powerCapabilities.D3Latency, 0xFFFFFFFFu);
    ASSERT_TRUE(record.hasSxWake);
    EXPECT_EQ(record.sxWake.DxState, PowerDeviceD3);
    EXPECT_EQ(record.sxWake.UserControlOfWakeSettings, WakeAllowUserControl);
    EXPECT_EQ(record.sxWake.Enabled, WdfUseDefault);
    ASSERT_TRUE(record.hasS0Idle);
    EXPECT_EQ(record.s0Idle.IdleCaps, IdleCanWakeFromS0);
    EXPECT_EQ(record.s0Idle.DxState, PowerDeviceMaximum);
    EXPECT_EQ(record.s0Idle.IdleTimeout, 5000u);
    EXPECT_EQ(record.s0Idle.IdleTimeoutType, SystemManagedIdleTimeoutWithHint);
    EXPECT_EQ(record.s0Idle.ExcludeD3Cold, WdfUseDefault);
    EXPECT_TRUE(os.Unload().clean);
}

TEST_F(DeviceTest, PlatformCanRefuseWakeFromSxOrIdleInS0)
{
    struct Case {
        const char* point;
        bool sxAccepted;
        bool idleAccepted;
    };
    for (const Case& c : {Case{"wdf.sxwake", false, true}, Case{"wdf.s0idle", true, false}}) {
        SCOPED_TRACE(c.point);
        toy::Reset();
        kshim::host::FaultClearAll();
        kshim::host::FaultArm(c.point, "", 1, STATUS_POWER_STATE_INVALID);
        Os os;
        ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
        OsDevice* dev = os.AddDevice();
        ASSERT_EQ(dev->AddStatus(), STATUS_SUCCESS);
        toy::TOY_DEVICE* ctx = toy::ToyGetDevice(dev->Handle());
        EXPECT_EQ(ctx->sxWakeStatus, c.sxAccepted ? STATUS_SUCCESS : STATUS_POWER_STATE_INVALID);
        EXPECT_EQ(ctx->s0IdleStatus, c.idleAccepted ? STATUS_SUCCESS : STATUS_POWER_STATE_INVALID);
        DeviceRecord record;
        ASSERT_TRUE(kshim::host::DescribeDevice(dev->Handle(), &record));
        EXPECT_EQ(record.hasSxWake, c.sxAccepted);
        EXPECT_EQ(record.hasS0Idle, c.idleAccepted);
        EXPECT_TRUE(os.Unload().clean);
    }
}

TEST_F(DeviceTest, WifiDeviceKeepsTheDriversEntryPointsAndReportsTheOsWdiVersion)
{
    kshim::host::SetOsWdiVersion(0x00060027);
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    DeviceRecord record;
    ASSERT_TRUE(kshim::host::DescribeDevice(dev->Handle(), &record));
    EXPECT_TRUE(record.netDevice);
    EXPECT_TRUE(record.wifiDevice);
    ASSERT_TRUE(record.wifiInitialized);
    EXPECT_EQ(record.wifi.WdiVersion, 0x20003u);
    EXPECT_NE(record.wifi.SendCommandHandler, nullptr);
    EXPECT_NE(record.wifi.CreateAdapter, nullptr);
    EXPECT_NE(record.wifi.CreateWifiDirectDevice, nullptr);
    EXPECT_EQ(toy::ToyGetDevice(dev->Handle())->osWdiVersion, 0x00060027u);

    // The entry points are registered once.
    WIFI_DEVICE_CONFIG again = record.wifi;
    EXPECT_EQ(WifiDeviceInitialize(dev->Handle(), &again), STATUS_INVALID_DEVICE_STATE);
    EXPECT_TRUE(os.Unload().clean);
}

TEST_F(DeviceTest, FailedClassExtensionInitialisationFailsTheDeviceAdd)
{
    kshim::host::FaultArm("net.deviceinitconfig", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    Os os;
    ASSERT_EQ(os.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
    OsDevice* dev = os.AddDevice();
    EXPECT_EQ(dev->AddStatus(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(WifiDeviceInitConfig(nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(os.Unload().clean);
}

}  // namespace
