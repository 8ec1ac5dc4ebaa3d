// The stand-in's device configuration (values of the device's key through the network class
// extension) and its firmware-table query.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kshim/auxklib.h"
#include "kshim/host/control.h"
#include "kshim/host/firmware_tables.h"
#include "kshim/host/os.h"
#include "kshim/host/registry.h"
#include "kshim/netadapter.h"
#include "kshim/registry.h"
#include "kshim/rtl.h"

namespace {

bool g_netDevice = true;

NTSTATUS ConfigDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init)
{
    if (g_netDevice) {
        NTSTATUS status = NetDeviceInitConfig(init);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    WDFDEVICE device = nullptr;
    return WdfDeviceCreate(&init, WDF_NO_OBJECT_ATTRIBUTES, &device);
}

NTSTATUS ConfigDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, ConfigDeviceAdd);
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}

UNICODE_STRING Name(const char16_t* text)
{
    UNICODE_STRING s;
    RtlInitUnicodeString(&s, text);
    return s;
}

class NetConfiguration : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::RegistryClear();
        std::string error;
        ASSERT_TRUE(kshim::host::RegistryLoadText(R"(
[@device]
Number=dword:0x2A
Decimal=sz:"4000000000"
Hex=sz:"fF"
Huge=sz:"4294967296"
Word=sz:"Network"
Expand=hex(2):41,00,42,00,00,00,43,00
Blob=hex:01,02,03,04
)",
                                                  &error))
            << error;
        ASSERT_EQ(os_.Load(ConfigDriverEntry, u"netcfg"), STATUS_SUCCESS);
        device_ = os_.AddDevice();
        ASSERT_EQ(device_->State(), kshim::host::DeviceState::Added);
    }
    void TearDown() override
    {
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        kshim::host::RegistryClear();
        g_netDevice = true;
    }

    NETCONFIGURATION Open()
    {
        NETCONFIGURATION configuration = nullptr;
        EXPECT_EQ(NetDeviceOpenConfiguration(device_->Handle(), WDF_NO_OBJECT_ATTRIBUTES, &configuration),
                  STATUS_SUCCESS);
        return configuration;
    }

    kshim::host::Os os_;
    kshim::host::OsDevice* device_ = nullptr;
};

struct UlongCase {
    const char16_t* name;
    NET_CONFIGURATION_QUERY_ULONG_FLAGS flags;
    NTSTATUS status;
    ULONG value;  // when the query succeeds
};

TEST_F(NetConfiguration, NumbersFromWordsAndTexts)
{
    const auto none = NET_CONFIGURATION_QUERY_ULONG_NO_FLAGS;
    const auto hex = NET_CONFIGURATION_QUERY_ULONG_MAY_BE_STORED_AS_HEX_STRING;
    const UlongCase cases[] = {
        {u"Number", none, STATUS_SUCCESS, 42},
        {u"number", none, STATUS_SUCCESS, 42},
        {u"Decimal", none, STATUS_SUCCESS, 4000000000u},
        {u"Hex", hex, STATUS_SUCCESS, 255},
        {u"Hex", none, STATUS_INVALID_PARAMETER, 0},
        {u"Huge", none, STATUS_INVALID_PARAMETER, 0},
        {u"Word", none, STATUS_INVALID_PARAMETER, 0},
        {u"Blob", none, STATUS_OBJECT_TYPE_MISMATCH, 0},
        {u"Missing", none, STATUS_OBJECT_NAME_NOT_FOUND, 0},
    };
    NETCONFIGURATION configuration = Open();
    for (const UlongCase& c : cases) {
        UNICODE_STRING name = Name(c.name);
        ULONG value = 0xEEEEEEEE;
        EXPECT_EQ(NetConfigurationQueryUlong(configuration, c.flags, &name, &value), c.status);
        EXPECT_EQ(value, c.status == STATUS_SUCCESS ? c.value : 0xEEEEEEEEu);
    }
    NetConfigurationClose(configuration);
}

TEST_F(NetConfiguration, TextsAsFrameworkStrings)
{
    NETCONFIGURATION configuration = Open();
    size_t objects = kshim::host::FrameworkObjectCount();
    for (const auto& c : std::vector<std::pair<const char16_t*, std::u16string>>{{u"Word", u"Network"},
                                                                                  {u"Expand", u"AB"}}) {
        UNICODE_STRING name = Name(c.first);
        WDFSTRING text = nullptr;
        ASSERT_EQ(NetConfigurationQueryString(configuration, &name, WDF_NO_OBJECT_ATTRIBUTES, &text), STATUS_SUCCESS);
        UNICODE_STRING value;
        WdfStringGetUnicodeString(text, &value);
        EXPECT_EQ(std::u16string(value.Buffer, value.Length / 2), c.second);
        WdfObjectDelete(text);
    }
    for (const auto& c : std::vector<std::pair<const char16_t*, NTSTATUS>>{
             {u"Number", STATUS_OBJECT_TYPE_MISMATCH}, {u"Missing", STATUS_OBJECT_NAME_NOT_FOUND}}) {
        UNICODE_STRING name = Name(c.first);
        WDFSTRING text = reinterpret_cast<WDFSTRING>(1);
        EXPECT_EQ(NetConfigurationQueryString(configuration, &name, WDF_NO_OBJECT_ATTRIBUTES, &text), c.second);
        EXPECT_EQ(text, nullptr);
    }
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), objects);
    NetConfigurationClose(configuration);
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), objects - 1);
}

TEST_F(NetConfiguration, WritesReachTheDeviceKeyAndReadBack)
{
    NETCONFIGURATION configuration = Open();
    UNICODE_STRING number = Name(u"Written");
    UNICODE_STRING text = Name(u"WrittenText");
    UNICODE_STRING value = Name(u"FR");
    ASSERT_EQ(NetConfigurationAssignUlong(configuration, &number, 0x80000001u), STATUS_SUCCESS);
    ASSERT_EQ(NetConfigurationAssignUnicodeString(configuration, &text, &value), STATUS_SUCCESS);
    NetConfigurationClose(configuration);
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "Written"), 0x80000001u);
    EXPECT_EQ(kshim::host::RegistryGetString("@device", "WrittenText"), "FR");

    configuration = Open();
    ULONG read = 0;
    EXPECT_EQ(NetConfigurationQueryUlong(configuration, NET_CONFIGURATION_QUERY_ULONG_NO_FLAGS, &number, &read),
              STATUS_SUCCESS);
    EXPECT_EQ(read, 0x80000001u);
    kshim::host::FaultArm("net.assignconfiguration", "Written", 1, STATUS_ACCESS_DENIED);
    EXPECT_EQ(NetConfigurationAssignUlong(configuration, &number, 1), STATUS_ACCESS_DENIED);
    EXPECT_EQ(NetConfigurationAssignUlong(configuration, &text, 1), STATUS_SUCCESS);
    NetConfigurationClose(configuration);
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "Written"), 0x80000001u);
}

TEST_F(NetConfiguration, OpenRefusedOnFaultAndForADeviceThatIsNoNetworkDevice)
{
    NETCONFIGURATION configuration = reinterpret_cast<NETCONFIGURATION>(1);
    kshim::host::FaultArm("net.openconfiguration", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(NetDeviceOpenConfiguration(device_->Handle(), WDF_NO_OBJECT_ATTRIBUTES, &configuration),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(configuration, nullptr);

    g_netDevice = false;
    kshim::host::DeviceConfig config;
    config.name = "device1";
    kshim::host::OsDevice* plain = os_.AddDevice(config);
    ASSERT_EQ(plain->State(), kshim::host::DeviceState::Added);
    EXPECT_EQ(NetDeviceOpenConfiguration(plain->Handle(), WDF_NO_OBJECT_ATTRIBUTES, &configuration),
              STATUS_INVALID_DEVICE_REQUEST);
}

TEST(FirmwareTables, QueryAnswersByProviderTableAndBufferSize)
{
    kshim::host::FirmwareTablesReset();
    const ULONG acpi = kshim::host::kAcpiProvider;
    const ULONG facp = kshim::host::kFadtTableId;
    EXPECT_EQ(acpi, 0x41435049u);
    EXPECT_EQ(facp, 0x50434146u);
    std::vector<uint8_t> buffer(300, 0xEE);
    ULONG length = 0;
    ASSERT_EQ(AuxKlibInitialize(), STATUS_SUCCESS);

    // The default FADT: 276 bytes, a valid checksum, flags 0.
    ASSERT_EQ(AuxKlibGetSystemFirmwareTable(acpi, facp, buffer.data(), 300, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 276u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "FACP");
    uint8_t sum = 0;
    for (ULONG i = 0; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + buffer[i]);
    }
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(buffer[276], 0xEE);

    EXPECT_EQ(AuxKlibGetSystemFirmwareTable(acpi, facp, buffer.data(), 275, &length), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 276u);
    EXPECT_EQ(AuxKlibGetSystemFirmwareTable(acpi, AUXKLIB_ACPI_TABLE_ID('D', 'S', 'D', 'T'), buffer.data(), 300,
                                            &length),
              STATUS_NOT_FOUND);
    kshim::host::FirmwareTableSet(acpi, AUXKLIB_ACPI_TABLE_ID('D', 'S', 'D', 'T'), {1, 2, 3});
    EXPECT_EQ(AuxKlibGetSystemFirmwareTable(acpi, AUXKLIB_ACPI_TABLE_ID('D', 'S', 'D', 'T'), buffer.data(), 300,
                                            &length),
              STATUS_SUCCESS);
    EXPECT_EQ(length, 3u);
    kshim::host::FirmwareTablesReset();
}

}  // namespace
