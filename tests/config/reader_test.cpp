// Reading the device configuration at the first power-up: values as the store holds them reach
// their fields, strings their block, and the reader derives country, address, names, radio bits,
// firmware paths and port 0's HT settings.
#include <cstring>
#include <string>
#include <vector>

#include "config/config_device.h"
#include "config/config_support.h"
#include "platform/ndiscommon/registry_host.h"

namespace {

using config_test::ConfigDeviceTest;
using config_test::FindRow;
using config_test::Text;

using ConfigReader = ConfigDeviceTest;

// ---- values as the store holds them -----------------------------------------------------------------

struct ValueCase {
    const char* lines;       // device configuration lines ("" for none)
    const char16_t* row;
    ULONG stored;
};

const ValueCase kValueCases[] = {
    {"", u"PsEnable", 0},                                   // missing: the default, below the range
    {"PsEnable=dword:0", u"PsEnable", 0},
    {"PsEnable=dword:100", u"PsEnable", 100},
    {"PsEnable=dword:101", u"PsEnable", 0},
    {"", u"DissocIndDelay", 64},                            // the default lies above the range
    {"DissocIndDelay=dword:1", u"DissocIndDelay", 1},
    {"TpParameter3=dword:300", u"TpParameter3", 300},       // kept whole
    {"TpParameter3=dword:1025", u"TpParameter3", 0},
    {"Channel=dword:0", u"Channel", 1},
    {"Channel=dword:255", u"Channel", 255},
    {"LastChannel=dword:0x1A5", u"LastChannel", 0xA5},      // any value, one byte kept
    {"BACapability=dword:1", u"BACapability", 0xB834040},   // kind 1 row, "2 and up"
    {"BACapability=dword:0xffffffff", u"BACapability", 0xFFFFFFFF},
    {"LowPowerEnable=dword:2", u"LowPowerEnable", 2},
    {"DelayInterruptSettings=dword:47857", u"DelayInterruptSettings", 33542},
    {"Radio=dword:0", u"Radio", 0},
    {"", u"Radio", 7},
    // values written as text by an installation: decimal digits
    {"MultipleIRP=sz:\"0\"", u"MultipleIRP", 0},
    {"ConnIdleTimeForL1=sz:\"9600\"", u"ConnIdleTimeForL1", 9600},
    {"ConnIdleTimeForL1=sz:\"0x10\"", u"ConnIdleTimeForL1", 1500},   // not a decimal number
    // other types, and a REG_DWORD of the wrong size: a failed query, the default
    {"Channel=hex:06", u"Channel", 1},
    {"Channel=hex(4):06,00,00,00,00,00,00,00", u"Channel", 1},
    // names compare without regard to case
    {"channel=dword:6", u"Channel", 6},
};

TEST_F(ConfigReader, ValuesAsStoredReachTheirFieldsOrTakeTheDefault)
{
    for (const ValueCase& c : kValueCases) {
        SCOPED_TRACE(c.lines);
        kshim::host::RegistryClear();
        Load(config_test::kBaseFixture);
        LoadDevice(c.lines);
        StartAndRead();
        PCREGISTRY_PARAMETER_ENTRY row = FindRow(c.row);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(RegistryReadInteger(&adapter_->RegistryBlock, row), c.stored);
        Stop();
    }
}

TEST_F(ConfigReader, EveryRowIsAskedForAndMissingRowsTakeTheirDefaults)
{
    // An empty configuration: every integer row holds its default.
    StartAndRead();
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        if (row.Kind == REGISTRY_KIND_STRING) {
            continue;
        }
        ULONG expected = row.Default;
        if (row.Size == 1) {
            expected &= 0xFF;
        } else if (row.Size == 2) {
            expected &= 0xFFFF;
        }
        std::u16string name = config_test::RowName(row);
        // Rows the working configuration rewrites in the block.
        if (name == u"WirelessMode" || name == u"Config_11AX" || name == u"Hlk_feature_optional") {
            continue;
        }
        EXPECT_EQ(RegistryReadInteger(&adapter_->RegistryBlock, &row), expected)
            << std::string(name.begin(), name.end());
    }
}

TEST_F(ConfigReader, RepositAgeAndScanAgeAreReadApart)
{
    LoadDevice("BssidRepositTime=dword:100");
    StartAndRead();
    EXPECT_EQ(adapter_->RegistryBlock.BssidRepositTime, 100u);
    EXPECT_EQ(adapter_->RegistryBlock.ScanAgeOutTime, 30u);
    EXPECT_EQ(adapter_->WorkingCfg.ScanAgeOutTime, 30u);
}

TEST_F(ConfigReader, AConfigurationThatCannotBeOpenedFailsTheRead)
{
    Start();
    kshim::host::FaultArm("net.openconfiguration", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(NdisCommonInitNICReadRegParameters(adapter_), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(adapter_->RegistryBlock.Channel, 0);  // nothing read
}

// ---- strings ------------------------------------------------------------------------------------------

TEST_F(ConfigReader, StringsAreCutToTheirCapacityAndEmptyOnesTakeTheDefaultTexts)
{
    LoadDevice("SSID=sz:\"" + std::string(40, 'n') + "\"\n"
               "WPSDevName=sz:\"Kitchen printer\"\n"
               "WEPKey1=dword:5");  // not a text: the string stays empty
    StartAndRead();
    const REGISTRY_STRING_BLOCK& strings = g_RegistryStringBlock;
    EXPECT_EQ(strings.Strings[REGISTRY_STRING_SSID].Length, 64);
    EXPECT_EQ(Text(strings.Strings[REGISTRY_STRING_SSID].Buffer), std::u16string(32, u'n'));
    EXPECT_EQ(strings.Strings[REGISTRY_STRING_WEP_KEY1].Length, 0);

    EXPECT_EQ(adapter_->WpsDevNameLength, 15);
    EXPECT_EQ(std::string(adapter_->WpsDevName, 15), "Kitchen printer");
    EXPECT_EQ(adapter_->CommonBlock->VendorDescLength, 28);
    EXPECT_STREQ(adapter_->CommonBlock->VendorDesc, "IEEE 802.11n Wireless Card.");
}

TEST_F(ConfigReader, TheStringBlockStartsEmptyOnEveryRead)
{
    LoadDevice("SSID=sz:\"first\"");
    StartAndRead();
    EXPECT_EQ(g_RegistryStringBlock.Strings[REGISTRY_STRING_SSID].Length, 10);
    kshim::host::RegistryDeleteValue("@device", "SSID");
    Restart();
    ASSERT_EQ(NdisCommonInitNICReadRegParameters(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(g_RegistryStringBlock.Strings[REGISTRY_STRING_SSID].Length, 0);
}

// ---- derived values -------------------------------------------------------------------------------------

struct CountryCase {
    const char* value;  // nullptr: no value
    char first;
    char second;
};

TEST_F(ConfigReader, CountryFromTheFirstTwoLettersElseUS)
{
    const CountryCase cases[] = {
        {"de", 'D', 'E'}, {"JP", 'J', 'P'}, {"d1", 'U', 'S'}, {"X", 'U', 'S'}, {nullptr, 'U', 'S'}, {"frx", 'F', 'R'},
    };
    for (const CountryCase& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(none)");
        kshim::host::RegistryDeleteValue("@device", "CountryRegionString");
        if (c.value != nullptr) {
            kshim::host::RegistrySetString("@device", "CountryRegionString", c.value);
        }
        StartAndRead();
        USHORT expected = REGISTRY_COUNTRY_CODE(static_cast<UCHAR>(c.first), static_cast<UCHAR>(c.second));
        EXPECT_EQ(adapter_->Country.RegCountryCode, expected);
        EXPECT_EQ(adapter_->WorkingCfg.CountryCode, expected);
        EXPECT_EQ(port_->Cfg.CountryCode, expected);
        Stop();
    }
}

struct AddressCase {
    const char* value;
    bool configured;
};

TEST_F(ConfigReader, NetworkAddressIsTakenOnlyWhenItIsAStationAddress)
{
    const UCHAR chip[MAC_ADDR_LEN] = {0x00, 0x0C, 0x43, 0x12, 0x34, 0x56};
    const UCHAR configured[MAC_ADDR_LEN] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const AddressCase cases[] = {
        {"00-11-22-33-44-55", true},  // 17 characters, 12 digits
        {"001122334455", true},
        {"0011223344556", true},      // 13 digits: the first 12
        {"00112233445", false},       // 11 characters
        {"01-11-22-33-44-55", false}, // a group address
        {"00-00-00-00-00-00", false},
        {"FF-FF-FF-FF-FF-FF", false},
        {"00:11:22:33:44:55:66", false},  // 14 digits
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.value);
        kshim::host::RegistrySetString("@device", "NetworkAddress", c.value);
        StartAndRead();
        std::memcpy(adapter_->PermanentAddress, chip, MAC_ADDR_LEN);
        EXPECT_EQ(NdisCommonInitCheckMacAddress(adapter_), STATUS_SUCCESS);
        EXPECT_EQ(adapter_->AddressConfigured, c.configured ? 1 : 0);
        const UCHAR* expected = c.configured ? configured : chip;
        EXPECT_EQ(std::memcmp(adapter_->CurrentAddress, expected, MAC_ADDR_LEN), 0);
        EXPECT_EQ(std::memcmp(port_->MacAddress, expected, MAC_ADDR_LEN), 0);
        Stop();
    }
}

TEST_F(ConfigReader, RadioBitsCssCodeRomVersionAndCountByte)
{
    LoadDevice("Radio=dword:0xA\nCSSCode=sz:\"e\"\nRomVer=dword:2\nMultipleIRP=dword:0");
    StartAndRead();
    EXPECT_EQ(adapter_->RadioState.SoftwareRadioState, 0);
    EXPECT_EQ(adapter_->RadioState.HardwareRadioState, 1);
    EXPECT_EQ(adapter_->RadioState.RadioOn, 0);
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, 1);
    EXPECT_EQ(adapter_->Country.CssCode, 'E');
    EXPECT_EQ(adapter_->RomVersion, 1u);
    EXPECT_EQ(adapter_->CommonBlock->MultipleIrp, 0);
    EXPECT_EQ(adapter_->CommonBlock->MultipleIrpCount, 1);
    Stop();

    kshim::host::RegistryClear();
    Load(config_test::kBaseFixture);
    StartAndRead();
    EXPECT_EQ(adapter_->RadioState.SoftwareRadioState, 1);
    EXPECT_EQ(adapter_->RadioState.HardwareRadioState, 1);
    EXPECT_EQ(adapter_->RadioState.RadioOn, 1);
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, 0);
    EXPECT_EQ(adapter_->Country.CssCode, 'D');
    EXPECT_EQ(adapter_->RomVersion, 0u);  // not configured: the chip's query decides
    EXPECT_EQ(adapter_->CommonBlock->MultipleIrpCount, 5);
}

TEST_F(ConfigReader, WpsVersionRule)
{
    LoadDevice("WSC20Testbed=dword:9");
    StartAndRead();
    EXPECT_EQ(adapter_->WorkingCfg.WscVersion2Saved, 32);
    EXPECT_EQ(adapter_->WorkingCfg.WscVersion2, 0x57);
    EXPECT_EQ(adapter_->WorkingCfg.WSC20Testbed, 9u);
    Stop();

    LoadDevice("WSC20Testbed=dword:8\nWSCVersion2=dword:16");
    StartAndRead();
    EXPECT_EQ(adapter_->WorkingCfg.WscVersion2, 16);
    EXPECT_EQ(adapter_->WorkingCfg.WSC20Testbed, 8u | 4u);
}

TEST_F(ConfigReader, PortZeroTakesItsHtSettingsFromTheBlockAckWord)
{
    // SM power save 1, maximum A-MSDU length, delayed block ack, MPDU spacing 5.
    LoadDevice("BACapability=dword:0x01E80002\nWMMCapable=dword:1\nCurrPhyMode=dword:3");
    StartAndRead();
    EXPECT_EQ(port_->Cfg.BaCapability, 0x01E80002u);
    EXPECT_EQ(port_->Cfg.Ht.CapabilityInfo[0], (1u << 2) | (1u << 11) | (1u << 10));
    EXPECT_EQ(port_->Cfg.Ht.CapabilityInfo[1], (1u << 2) | (1u << 11));
    EXPECT_EQ(port_->Cfg.Ht.AmpduParameters[0], (5u << 2) | 3u);
    EXPECT_EQ(port_->Cfg.Ht.AmpduParameters[1], 5u << 2);
    EXPECT_EQ(port_->Cfg.HtDensity, 5u << 2);
    EXPECT_EQ(port_->Cfg.WmmCapable, 1);
    EXPECT_EQ(port_->WirelessMode, PHY_11N);
    EXPECT_EQ(port_->Cfg.HtEnabled, 1);
    EXPECT_EQ(port_->Cfg.VhtEnabled, 0);
}

TEST_F(ConfigReader, AccessPointOperationKeepsTheConfiguredChannel)
{
    LoadDevice("OpMode=dword:1\nChannel=dword:6");
    StartAndRead();
    EXPECT_EQ(adapter_->OpMode, 1u);
    EXPECT_EQ(port_->OpMode, static_cast<ULONG>(PORT_OP_MODE_AP));
    EXPECT_EQ(port_->Channel.PrimaryChannel, 6);
    Stop();

    StartAndRead();  // still "OpMode" 1 in the store
    EXPECT_EQ(port_->OpMode, static_cast<ULONG>(PORT_OP_MODE_AP));
    kshim::host::RegistrySetDword("@device", "OpMode", 0);
    Restart();
    ASSERT_EQ(NdisCommonInitNICReadRegParameters(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(port_->OpMode, 0u);
}

// ---- values outside the device configuration ---------------------------------------------------------------

TEST_F(ConfigReader, FirmwareLogSwitchFromTheAutologgerKey)
{
    kshim::host::RegistrySetDword(config_test::kAutologgerKey, "FWToHost", 3);
    StartAndRead();
    EXPECT_EQ(adapter_->FwToHost, 3u);
    Stop();

    // Eight bytes of data where four are read: taken as missing.
    kshim::host::RegistrySetValue(config_test::kAutologgerKey, "FWToHost", REG_DWORD, {1, 0, 0, 0, 1, 0, 0, 0});
    StartAndRead();
    EXPECT_EQ(adapter_->FwToHost, 0u);
}

TEST_F(ConfigReader, FirmwareContainersLieBesideTheServiceImages)
{
    StartAndRead();
    const REGISTRY_BLOCK& block = adapter_->RegistryBlock;
    EXPECT_EQ(block.FWBin, 1u);
    EXPECT_EQ(Text(block.WifiContainerPath), u"\\SystemRoot\\System32\\drivers\\qzlwlan.dat");
    EXPECT_EQ(Text(block.BtContainerPath), u"\\SystemRoot\\System32\\drivers\\qzlbt.dat");
    EXPECT_EQ(Text(block.BtFilterServiceName), u"ZUDEVIzirero64");
    Stop();

    // Configured names, and a filter service of another name installed elsewhere.
    Load(R"(
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\OtherBt]
ImagePath=sz:"\SystemRoot\bt\otherbt.sys"
)");
    LoadDevice("WF_BigFWFileName=sz:\"wifi7.dat\"\nBT_BigFWFileName=sz:\"bt7.dat\"\nBT_ServiceName=sz:\"OtherBt\"");
    StartAndRead();
    EXPECT_EQ(Text(adapter_->RegistryBlock.WifiContainerPath), u"\\SystemRoot\\System32\\drivers\\wifi7.dat");
    EXPECT_EQ(Text(adapter_->RegistryBlock.BtContainerPath), u"\\SystemRoot\\bt\\bt7.dat");
}

TEST_F(ConfigReader, ServiceParametersFWBinZeroTakesTheFixedFileAndNoBluetoothContainer)
{
    LoadDevice("FWBin=dword:1");
    kshim::host::RegistrySetDword(config_test::kParametersKey, "FWBin", 0);
    StartAndRead();
    EXPECT_EQ(adapter_->RegistryBlock.FWBin, 0u);
    EXPECT_EQ(Text(adapter_->RegistryBlock.WifiContainerPath), u"\\SystemRoot\\System32\\drivers\\qzlwlan.tmp");
    EXPECT_EQ(adapter_->RegistryBlock.BtContainerPath[0], 0);
    EXPECT_EQ(adapter_->RegistryBlock.WifiContainerFileName[0], 0);
}

TEST_F(ConfigReader, ImagePathsThatCannotGiveAContainerPathLeaveItEmpty)
{
    struct Case {
        std::string image;
        bool wifi;
    };
    const Case cases[] = {
        {std::string("\\SystemRoot\\") + std::string(260, 'd') + "\\qzlwlan.sys", false},  // longer than 255
        {"qzlwlan.sys", false},                                                             // no backslash
        {std::string("\\") + std::string(240, 'd') + "\\qzlwlan.sys", true},               // 254 characters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image.size());
        kshim::host::RegistrySetString(config_test::kServiceKey, "ImagePath", c.image);
        StartAndRead();
        EXPECT_EQ(adapter_->RegistryBlock.WifiContainerPath[0] != 0, c.wifi);
        if (c.wifi) {
            std::u16string expected(1, u'\\');
            expected.append(240, u'd');
            expected.append(u"\\qzlwlan.dat");
            EXPECT_EQ(Text(adapter_->RegistryBlock.WifiContainerPath), expected);
        }
        EXPECT_EQ(adapter_->RegistryBlock.BtContainerPath[0] != 0, c.wifi);
        Stop();
    }
}

// ---- the two readers of absolute keys -----------------------------------------------------------------------

TEST_F(ConfigReader, TheFourByteReaderTakesOnlyAFourByteNumber)
{
    Start();
    const char key[] = "\\Registry\\Machine\\SOFTWARE\\Probe";
    const WCHAR keyPath[] = u"\\Registry\\Machine\\SOFTWARE\\Probe";
    kshim::host::RegistrySetDword(key, "Whole", 0x12345678);
    kshim::host::RegistrySetValue(key, "Short", REG_DWORD, {0x34, 0x12});
    kshim::host::RegistrySetValue(key, "Long", REG_DWORD, {1, 2, 3, 4, 5});
    kshim::host::RegistrySetString(key, "Text", "1");
    ULONG value = 0xEEEEEEEE;
    EXPECT_EQ(GetHostRegistryValue(keyPath, u"Whole", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(GetHostRegistryValue(keyPath, u"Short", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x1234u);
    value = 0xEEEEEEEE;
    EXPECT_EQ(GetHostRegistryValue(keyPath, u"Long", &value), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(GetHostRegistryValue(keyPath, u"Text", &value), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(GetHostRegistryValue(keyPath, u"None", &value), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(GetHostRegistryValue(u"\\Registry\\Machine\\SOFTWARE\\Absent", u"Whole", &value),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(value, 0xEEEEEEEEu);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("Tag1"), 0u);
}

TEST_F(ConfigReader, TheTextReaderCopiesAtMost255CharactersAndTerminates)
{
    Start();
    const char key[] = "\\Registry\\Machine\\SOFTWARE\\Probe";
    const WCHAR keyPath[] = u"\\Registry\\Machine\\SOFTWARE\\Probe";
    kshim::host::RegistrySetString(key, "Fits", std::string(255, 'a'));
    kshim::host::RegistrySetString(key, "Long", std::string(256, 'a'));
    kshim::host::RegistrySetValue(key, "Inner", REG_EXPAND_SZ, {'a', 0, 'b', 0, 0, 0, 'c', 0, 0, 0});
    kshim::host::RegistrySetDword(key, "Number", 7);
    kshim::host::RegistrySetValue(key, "Empty", REG_SZ, {});
    std::vector<WCHAR> buffer(HAL_REGISTRY_VALUE_CHARS + 2, u'#');
    ULONG length = 99;
    EXPECT_EQ(HalReadRegistryValue(u"Fits", &length, buffer.data(), keyPath), STATUS_SUCCESS);
    EXPECT_EQ(length, 510u);
    EXPECT_EQ(Text(buffer.data()), std::u16string(255, u'a'));
    EXPECT_EQ(buffer[HAL_REGISTRY_VALUE_CHARS + 1], u'#');  // nothing beyond the terminating zero

    EXPECT_EQ(HalReadRegistryValue(u"Inner", &length, buffer.data(), keyPath), STATUS_SUCCESS);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(Text(buffer.data()), u"ab");

    EXPECT_EQ(HalReadRegistryValue(u"Empty", &length, buffer.data(), keyPath), STATUS_SUCCESS);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0);

    for (const WCHAR* name : {u"Long", u"Number", u"None"}) {
        EXPECT_EQ(HalReadRegistryValue(name, &length, buffer.data(), keyPath), STATUS_OBJECT_NAME_NOT_FOUND);
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(buffer[0], 0);
    }
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("Tag1"), 0u);
}

}  // namespace
