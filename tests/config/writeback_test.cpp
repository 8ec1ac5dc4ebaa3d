// The values written back so that they survive a restart, the service-key power state, the
// country for the companion Bluetooth driver, and the platform's low-power S0 idle capability.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "config/config_device.h"
#include "platform/ndiscommon/registry_table.h"

namespace {

using config_test::ConfigDeviceTest;

using WriteBack = ConfigDeviceTest;

const char* const kWrittenNames[] = {"Radio", "LastChannel", "LastBand", "CountryRegionString", "Log2AirEnable"};

std::vector<std::string> NamesInStore()
{
    std::vector<std::string> present;
    for (const char* name : kWrittenNames) {
        if (kshim::host::RegistryGetValue("@device", name).has_value()) {
            present.push_back(name);
        }
    }
    return present;
}

void SetWorkingValues(PMP_ADAPTER adapter)
{
    adapter->RadioState = REGISTRY_RADIO_STATE{0, 1, 1, 1};
    adapter->WorkingCfg.LastChannel = 149;
    adapter->WorkingCfg.LastBand = 2;
    adapter->WorkingCfg.CountryCode = REGISTRY_COUNTRY_CODE('D', 'E');
    adapter->RegistryBlock.Log2AirEnable = 1;
}

TEST_F(WriteBack, TheValuesSurviveARestart)
{
    StartAndRead();
    SetWorkingValues(adapter_);
    ASSERT_EQ(Ndis6CommonSetRegistry(adapter_, REGISTRY_WRITE_ALL), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "Radio"), 14u);
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "LastChannel"), 149u);
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "LastBand"), 2u);
    EXPECT_EQ(kshim::host::RegistryGetString("@device", "CountryRegionString"), "DE");
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "Log2AirEnable"), 1u);

    Restart();
    ASSERT_EQ(NdisCommonInitNICReadRegParameters(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->RadioState.SoftwareRadioState, 0);
    EXPECT_EQ(adapter_->RadioState.HardwareRadioState, 1);
    EXPECT_EQ(adapter_->RadioState.RadioOn, 1);
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, 1);
    EXPECT_EQ(adapter_->WorkingCfg.LastChannel, 149);
    EXPECT_EQ(adapter_->WorkingCfg.LastBand, 2);
    EXPECT_EQ(adapter_->WorkingCfg.CountryCode, REGISTRY_COUNTRY_CODE('D', 'E'));
    EXPECT_EQ(adapter_->RegistryBlock.Log2AirEnable, 1);
}

struct MaskCase {
    ULONG mask;
    NTSTATUS status;
    std::vector<std::string> written;
};

TEST_F(WriteBack, TheMaskSelectsTheValuesFromBitZeroUp)
{
    const MaskCase cases[] = {
        {0, STATUS_SUCCESS, {}},
        {0x01, STATUS_SUCCESS, {"Radio"}},
        {0x06, STATUS_SUCCESS, {"LastChannel", "LastBand"}},
        {0x09, STATUS_SUCCESS, {"Radio", "CountryRegionString"}},  // what the teardown writes
        {0x10, STATUS_SUCCESS, {"Log2AirEnable"}},
        {0x21, STATUS_UNSUCCESSFUL, {"Radio"}},                   // bit 5 ends it after bit 0
        {0x80000000u, STATUS_UNSUCCESSFUL, {}},
    };
    StartAndRead();
    SetWorkingValues(adapter_);
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.mask);
        for (const char* name : kWrittenNames) {
            kshim::host::RegistryDeleteValue("@device", name);
        }
        std::string before = kshim::host::RegistryDumpText();
        size_t objects = kshim::host::FrameworkObjectCount();
        EXPECT_EQ(Ndis6CommonSetRegistry(adapter_, c.mask), c.status);
        EXPECT_EQ(NamesInStore(), c.written);
        EXPECT_EQ(kshim::host::FrameworkObjectCount(), objects);  // the configuration is closed
        if (c.written.empty()) {
            EXPECT_EQ(kshim::host::RegistryDumpText(), before);
        }
    }
}

TEST_F(WriteBack, ACountryStoredWithItsFirstLetterLowIsWrittenAsItsText)
{
    StartAndRead();
    adapter_->WorkingCfg.CountryCode = REGISTRY_COUNTRY_CODE('D', 'E');
    ASSERT_EQ(Ndis6CommonSetRegistry(adapter_, REGISTRY_WRITE_COUNTRY), STATUS_SUCCESS);
    auto value = kshim::host::RegistryGetValue("@device", "CountryRegionString");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(value->data, (std::vector<uint8_t>{'D', 0, 'E', 0, 0, 0}));
}

TEST_F(WriteBack, AFailedWriteEndsTheCallWithItsStatus)
{
    StartAndRead();
    SetWorkingValues(adapter_);
    for (const char* name : kWrittenNames) {
        kshim::host::RegistryDeleteValue("@device", name);
    }
    size_t objects = kshim::host::FrameworkObjectCount();
    kshim::host::FaultArm("net.assignconfiguration", "LastChannel", 1, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Ndis6CommonSetRegistry(adapter_, 0x07), STATUS_ACCESS_DENIED);
    EXPECT_EQ(NamesInStore(), std::vector<std::string>{"Radio"});
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), objects);

    kshim::host::FaultArm("net.openconfiguration", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Ndis6CommonSetRegistry(adapter_, 0x07), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(NamesInStore(), std::vector<std::string>{"Radio"});
}

TEST_F(WriteBack, TestFlagIsReadAndWrittenOnItsOwn)
{
    StartAndRead();
    EXPECT_EQ(adapter_->RegistryBlock.TestYBFlag, 0u);
    adapter_->RegistryBlock.TestYBFlag = 9;
    EXPECT_EQ(Ndis6CommonGetRegistryTestYBFlag(adapter_), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(adapter_->RegistryBlock.TestYBFlag, 9u);  // a missing value leaves it

    ASSERT_EQ(Ndis6CommonSetRegistryTestYBFlag(adapter_, 1), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "TestYBFlag"), 1u);
    EXPECT_EQ(Ndis6CommonGetRegistryTestYBFlag(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->RegistryBlock.TestYBFlag, 1u);

    Restart();
    ASSERT_EQ(NdisCommonInitNICReadRegParameters(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->RegistryBlock.TestYBFlag, 1u);

    kshim::host::FaultArm("net.assignconfiguration", "TestYBFlag", 1, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Ndis6CommonSetRegistryTestYBFlag(adapter_, 0), STATUS_ACCESS_DENIED);
    EXPECT_EQ(kshim::host::RegistryGetDword("@device", "TestYBFlag"), 1u);
}

TEST_F(WriteBack, PowerStateOfTheFiveFrameworkStates)
{
    Start();
    const struct {
        WDF_POWER_DEVICE_STATE state;
        std::optional<uint32_t> recorded;
    } cases[] = {
        {WdfPowerDeviceD0, 0u},       {WdfPowerDeviceD1, 1u},
        {WdfPowerDeviceD2, 2u},       {WdfPowerDeviceD3, 3u},
        {WdfPowerDeviceD3Final, 4u},  {WdfPowerDevicePrepareForHibernation, std::nullopt},
        {WdfPowerDeviceInvalid, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        kshim::host::RegistryDeleteValue(config_test::kParametersKey, "PowerState");
        EXPECT_EQ(Ndis6CommonSetRegistryPowerState(adapter_, c.state),
                  c.recorded.has_value() ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL);
        EXPECT_EQ(kshim::host::RegistryGetDword(config_test::kParametersKey, "PowerState"), c.recorded);
    }
}

TEST_F(WriteBack, CountryAndSensorForTheCompanionBluetoothDriver)
{
    const char region[] =
        "\\Registry\\Machine\\SYSTEM\\ControlSet001\\Services\\ZUDEVIzirerO64\\Parameters\\qzlbt\\region";
    Start();
    // Not installed: a traced failure.
    EXPECT_EQ(Ndis6CommonSetRegistryCurCountryForBt(adapter_, REGISTRY_COUNTRY_CODE('J', 'P')),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_FALSE(kshim::host::RegistryKeyExists(region));

    kshim::host::RegistryCreateKey(
        "\\Registry\\Machine\\SYSTEM\\ControlSet001\\Services\\ZUDEVIzirerO64\\Parameters\\qzlbt");
    adapter_->SarSensorMode = 0;
    adapter_->SarSensorValue = 3;
    ASSERT_EQ(Ndis6CommonSetRegistryCurCountryForBt(adapter_, REGISTRY_COUNTRY_CODE('J', 'P')), STATUS_SUCCESS);
    auto country = kshim::host::RegistryGetValue(region, "country");
    ASSERT_TRUE(country.has_value());
    EXPECT_EQ(country->type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(country->data, (std::vector<uint8_t>{'J', 0, 'P', 0, 0, 0}));
    EXPECT_FALSE(kshim::host::RegistryGetValue(region, "sensor").has_value());

    adapter_->SarSensorMode = 1;
    ASSERT_EQ(Ndis6CommonSetRegistryCurCountryForBt(adapter_, REGISTRY_COUNTRY_CODE('D', 'E')), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::RegistryGetString(region, "country"), "DE");
    EXPECT_EQ(kshim::host::RegistryGetDword(region, "sensor"), 3u);
}

// ---- low-power S0 idle -------------------------------------------------------------------------------------

struct FadtCase {
    std::optional<std::vector<uint8_t>> table;  // nothing: no FADT at all
    bool capable;
};

TEST_F(WriteBack, LowPowerIdleCapabilityFromTheFadtFlags)
{
    using kshim::host::MakeFadt;
    const FadtCase cases[] = {
        {MakeFadt(0), false},
        {MakeFadt(kshim::host::kFadtLowPowerS0IdleCapable), true},
        {MakeFadt(0xFFFFFFFFu & ~kshim::host::kFadtLowPowerS0IdleCapable), false},
        {MakeFadt(kshim::host::kFadtLowPowerS0IdleCapable, 116), true},   // just holds the flags word
        {MakeFadt(kshim::host::kFadtLowPowerS0IdleCapable, 115), false},  // cut inside the flags word
        {MakeFadt(0, 100), false},
        {MakeFadt(kshim::host::kFadtLowPowerS0IdleCapable, 300), false},  // longer than the 276 bytes read
        {std::nullopt, false},
    };
    Start();
    for (const FadtCase& c : cases) {
        SCOPED_TRACE(c.table.has_value() ? c.table->size() : 0);
        kshim::host::FirmwareTableRemove(kshim::host::kAcpiProvider, kshim::host::kFadtTableId);
        if (c.table.has_value()) {
            kshim::host::FirmwareTableSet(kshim::host::kAcpiProvider, kshim::host::kFadtTableId, *c.table);
        }
        EXPECT_EQ(GetModStdbyCapabilityLaptop(adapter_), c.capable ? TRUE : FALSE);
    }
}

TEST_F(WriteBack, LowPowerIdleCapabilityIsFalseWhenTheQueryCannotRun)
{
    Start();
    kshim::host::FirmwareTableSet(kshim::host::kAcpiProvider, kshim::host::kFadtTableId,
                                  kshim::host::MakeFadt(kshim::host::kFadtLowPowerS0IdleCapable));
    kshim::host::FaultArm("auxklib.initialize", "", 1, STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(GetModStdbyCapabilityLaptop(adapter_));
    kshim::host::FaultArm("pool", "ZV17", 1, STATUS_INSUFFICIENT_RESOURCES, 6);  // every attempt of one allocation
    EXPECT_FALSE(GetModStdbyCapabilityLaptop(adapter_));
    EXPECT_TRUE(GetModStdbyCapabilityLaptop(adapter_));
}

}  // namespace
