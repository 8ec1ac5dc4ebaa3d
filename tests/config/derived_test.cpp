// Values derived from the configuration strings and words: country, CSS code, network address,
// radio bits, names, firmware paths, the access-point channel, the HT fields and the WPS version.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "config/config_support.h"

namespace {

using config_test::Counted;

std::u16string Wide(const WCHAR* text) { return std::u16string(text); }

TEST(ConfigCountry, TwoLettersInEitherCaseGiveTheCodeElseUS)
{
    struct Case {
        std::u16string text;
        char first, second;
    };
    const Case cases[] = {
        {u"de", 'D', 'E'},
        {u"DE", 'D', 'E'},
        {u"fR-extra", 'F', 'R'},
        {u"d1", 'U', 'S'},
        {u"1d", 'U', 'S'},
        {u"D", 'U', 'S'},
        {u"", 'U', 'S'},
        {u"{e", 'U', 'S'},           // '{' with bit 5 cleared is '[', not a letter
        {u"`a", 'U', 'S'},           // '`' becomes '@'
        {u"D\u00C9", 'U', 'S'},      // a letter outside the 7-bit set
        {u"\u0144e", 'U', 'S'},      // 0x144: its low byte alone would read as 'D'
        {std::u16string(u"J\0P", 3), 'U', 'S'},  // the text ends at its zero
    };
    for (const Case& c : cases) {
        UNICODE_STRING s = Counted(c.text);
        USHORT code = RegistryParseCountryCode(&s);
        EXPECT_EQ(code & 0xFF, static_cast<USHORT>(c.first));
        EXPECT_EQ(code >> 8, static_cast<USHORT>(c.second));
    }
    EXPECT_EQ(REGISTRY_COUNTRY_CODE('D', 'E'), 0x4544);
    EXPECT_EQ(RegistryParseCountryCode(nullptr), REGISTRY_DEFAULT_COUNTRY_CODE);
}

TEST(ConfigCssCode, FirstLetterUpperCasedElseD)
{
    const std::pair<std::u16string, char> cases[] = {
        {u"", 'D'}, {u"a", 'A'}, {u"zq", 'Z'}, {u"1A", 'D'}, {u"\u00E9", 'D'}, {u"[", 'D'},
    };
    for (const auto& [text, expected] : cases) {
        UNICODE_STRING s = Counted(text);
        EXPECT_EQ(RegistryParseCssCode(&s), static_cast<UCHAR>(expected));
    }
}

TEST(ConfigHex, NibblesAndBytes)
{
    const std::pair<char, UCHAR> nibbles[] = {{'0', 0},  {'9', 9},  {'A', 10}, {'F', 15}, {'a', 10},
                                              {'f', 15}, {'G', 0xFF}, {'g', 0xFF}, {'/', 0xFF}, {':', 0xFF},
                                              {'@', 0xFF}, {'`', 0xFF}, {'\0', 0xFF}};
    for (const auto& [c, value] : nibbles) {
        EXPECT_EQ(AsciiHexToNibble(c), value) << c;
    }
    UCHAR bytes[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(AsciiHexToBytes("0aFf7C", bytes, 3), STATUS_SUCCESS);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x7C);
    // A short text stops at its zero without reading past it.
    std::memset(bytes, 0xEE, sizeof(bytes));
    EXPECT_EQ(AsciiHexToBytes("12", bytes, 3), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0xEE);
}

struct AddressCase {
    std::u16string text;
    NTSTATUS status;
    std::array<UCHAR, 6> address;  // expected when the status is success
};

TEST(ConfigNetworkAddress, TwelveOrThirteenDigitsGiveAStationAddress)
{
    const AddressCase cases[] = {
        {u"00-11-22-33-44-55", STATUS_SUCCESS, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}},
        {u"001122334455", STATUS_SUCCESS, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}},
        {u"aA:bB:cC:dD:eE:f0", STATUS_SUCCESS, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF0}},
        {u"02:3F:A7:00:00:01", STATUS_SUCCESS, {0x02, 0x3F, 0xA7, 0x00, 0x00, 0x01}},
        {u"0011223344556", STATUS_SUCCESS, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}},  // 13: first 12
        {u"0x001122334455", STATUS_SUCCESS, {0x00, 0x01, 0x12, 0x23, 0x34, 0x45}},  // 'x' dropped
        {u"00 11 22 33 44 55 (room)", STATUS_SUCCESS, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}},
        // wrong digit counts
        {u"", STATUS_INVALID_PARAMETER, {}},
        {u"0011223344", STATUS_INVALID_PARAMETER, {}},
        {u"00112233445", STATUS_INVALID_PARAMETER, {}},   // 11 characters: never filtered, too short
        {u"00-11-22-33-44-5", STATUS_INVALID_PARAMETER, {}},
        {u"00112233445566", STATUS_INVALID_PARAMETER, {}},  // 14 digits
        {u"00-11-22-33-44-55-66", STATUS_INVALID_PARAMETER, {}},
        {u"0011223344GG", STATUS_INVALID_PARAMETER, {}},
        // not a station's own address
        {u"01-11-22-33-44-55", STATUS_INVALID_ADDRESS, {}},
        {u"FF-FF-FF-FF-FF-FF", STATUS_INVALID_ADDRESS, {}},
        {u"000000000000", STATUS_INVALID_ADDRESS, {}},
        {u"33:33:00:00:00:01", STATUS_INVALID_ADDRESS, {}},
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        UNICODE_STRING s = Counted(c.text);
        std::array<UCHAR, 6> address;
        address.fill(0xEE);
        EXPECT_EQ(RegistryParseNetworkAddress(&s, address.data()), c.status);
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(address, c.address);
        } else {
            EXPECT_EQ(address, (std::array<UCHAR, 6>{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
        }
    }
}

TEST(ConfigNetworkAddress, OnlyTheFirstSixtyFourCharactersCount)
{
    const std::u16string digits = u"001122334455";
    std::u16string fits = std::u16string(52, u'-') + digits;     // digits at characters 52 to 63
    std::u16string beyond = std::u16string(53, u'-') + digits;   // the last digit at character 64
    UNICODE_STRING s = Counted(fits);
    UCHAR address[6];
    EXPECT_EQ(RegistryParseNetworkAddress(&s, address), STATUS_SUCCESS);
    s = Counted(beyond);
    EXPECT_EQ(RegistryParseNetworkAddress(&s, address), STATUS_INVALID_PARAMETER);
}

TEST(ConfigRadio, BitsSplitIntoFourBytesAndJoinBack)
{
    REGISTRY_RADIO_STATE state;
    RegistrySplitRadio(7, &state);
    EXPECT_EQ(state.SoftwareRadioState, 1);
    EXPECT_EQ(state.HardwareRadioState, 1);
    EXPECT_EQ(state.RadioOn, 1);
    EXPECT_EQ(state.FirmwareRadioState, 0);
    RegistrySplitRadio(0xFFFFFFF8, &state);
    EXPECT_EQ(state.SoftwareRadioState, 0);
    EXPECT_EQ(state.HardwareRadioState, 0);
    EXPECT_EQ(state.RadioOn, 0);
    EXPECT_EQ(state.FirmwareRadioState, 1);
    for (ULONG radio = 0; radio < 16; ++radio) {
        RegistrySplitRadio(radio, &state);
        EXPECT_EQ(RegistryJoinRadio(&state), radio);
    }
}

TEST(ConfigNames, EmptyValuesTakeTheDefaultTexts)
{
    UCHAR length = 0;
    CHAR description[REGISTRY_VENDOR_DESC_MAX];
    std::u16string empty;
    UNICODE_STRING s = Counted(empty);
    RegistryParseVendorDesc(&s, &length, description);
    EXPECT_EQ(length, 28);
    EXPECT_STREQ(description, "IEEE 802.11n Wireless Card.");

    std::u16string vendor(80, u'v');
    vendor[1] = u'\u00E9';
    s = Counted(vendor);
    RegistryParseVendorDesc(&s, &length, description);
    EXPECT_EQ(length, 64);
    EXPECT_EQ(description[0], 'v');
    EXPECT_EQ(description[1], '?');

    CHAR name[REGISTRY_WPS_DEV_NAME_MAX];
    s = Counted(empty);
    RegistryParseWpsDeviceName(&s, &length, name);
    EXPECT_EQ(length, 14);
    EXPECT_STREQ(name, "Telvar Client");
    std::u16string device = u"Kitchen PC";
    s = Counted(device);
    RegistryParseWpsDeviceName(&s, &length, name);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(std::string(name, length), "Kitchen PC");
}

TEST(ConfigFirmwarePaths, ContainerNamesDefaultUnlessConfigured)
{
    REGISTRY_STRING_BLOCK strings;
    RegistryStringBlockInit(&strings);
    static REGISTRY_BLOCK block;
    std::memset(&block, 0, sizeof(block));
    RegistryChooseFirmwareNames(&strings, 1, &block);
    EXPECT_EQ(Wide(block.WifiContainerFileName), u"qzlwlan.dat");
    EXPECT_EQ(Wide(block.BtContainerFileName), u"qzlbt.dat");
    EXPECT_EQ(Wide(block.BtFilterServiceName), u"ZUDEVIzirero64");
    EXPECT_EQ(Wide(block.WifiContainerPath), u"");

    std::u16string wifi = u"other.dat", service = u"BtFilter";
    RegistryStoreString(&strings, REGISTRY_STRING_WF_BIG_FW_FILE_NAME, wifi.data(), wifi.size() * 2);
    RegistryStoreString(&strings, REGISTRY_STRING_BT_SERVICE_NAME, service.data(), service.size() * 2);
    RegistryChooseFirmwareNames(&strings, 1, &block);
    EXPECT_EQ(Wide(block.WifiContainerFileName), u"other.dat");
    EXPECT_EQ(Wide(block.BtContainerFileName), u"qzlbt.dat");
    EXPECT_EQ(Wide(block.BtFilterServiceName), u"BtFilter");

    std::memset(&block, 0, sizeof(block));
    RegistryChooseFirmwareNames(&strings, 0, &block);
    EXPECT_EQ(Wide(block.WifiContainerPath), u"\\SystemRoot\\System32\\drivers\\qzlwlan.tmp");
    EXPECT_EQ(Wide(block.WifiContainerFileName), u"");
    EXPECT_EQ(Wide(block.BtContainerFileName), u"");
}

// The sibling path of `path` and `name` in a firmware path buffer, with the status of the build.
std::pair<NTSTATUS, std::u16string> Sibling(const std::u16string& path, const std::u16string& name)
{
    WCHAR out[REGISTRY_FW_PATH_CHARS];
    out[0] = u'?';
    NTSTATUS status = RegistryBuildSiblingPath(path.data(), path.size(), name.data(), name.size(), out,
                                               REGISTRY_FW_PATH_CHARS);
    return {status, Wide(out)};
}

TEST(ConfigFirmwarePaths, SiblingPathReplacesTheLastComponent)
{
    EXPECT_EQ(Sibling(u"\\SystemRoot\\System32\\drivers\\qzlwlan.sys", u"qzlwlan.dat"),
              std::make_pair(STATUS_SUCCESS, std::u16string(u"\\SystemRoot\\System32\\drivers\\qzlwlan.dat")));
    EXPECT_EQ(Sibling(u"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\qzlwlan", u"ZUDEVIzirero64"),
              std::make_pair(STATUS_SUCCESS,
                             std::u16string(u"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\ZUDEVIzirero64")));
    EXPECT_EQ(Sibling(u"qzlwlan.sys", u"qzlwlan.dat"), std::make_pair(STATUS_OBJECT_PATH_NOT_FOUND, std::u16string()));
}

TEST(ConfigFirmwarePaths, APathLongerThanTheBufferIsRefusedNotCut)
{
    // directory + backslash + name ("qzlwlan.dat", 11 characters) = 255 characters: fits with its zero.
    auto image = [](size_t directoryChars) { return u"\\" + std::u16string(directoryChars, u'd') + u"\\x.sys"; };
    auto [status, path] = Sibling(image(242), u"qzlwlan.dat");
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_EQ(path.size(), 255u);
    EXPECT_EQ(Sibling(image(243), u"qzlwlan.dat"), std::make_pair(STATUS_BUFFER_TOO_SMALL, std::u16string()));
}

// ---- access-point channel at bring-up ----

struct ChannelCase {
    std::vector<UCHAR> channels;
    ULONG mode;
    ULONGLONG time;
    UCHAR expected;
};

TEST(ConfigApChannel, ChoiceByListModeAndTime)
{
    const std::vector<UCHAR> us24 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const std::vector<UCHAR> dual = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 36, 40, 44, 48};
    const ChannelCase cases[] = {
        {us24, 0, 0, 1},  {us24, 0, 1, 6},   {us24, 0, 2, 11}, {us24, 0, 5, 11},
        {dual, 1, 4, 6},  {dual, 2, 0, 36},  {dual, 2, 6, 44}, {dual, 2, 0x100000003ULL, 48},
        // "ChannelMode" 2 without a channel above the 2.4 GHz run: the 2.4 GHz rule
        {us24, 2, 7, 6},
        // lists that do not run from 1 past 10: one of the leading channels
        {{1, 2, 3}, 0, 4, 2},
        {{3, 4, 5, 6, 7, 8, 9, 10, 11}, 0, 10, 4},
        // no 2.4 GHz channel at all: the first entry
        {{36, 40, 44}, 0, 12345, 36},
        {{36, 40, 44}, 2, 4, 40},
    };
    for (const ChannelCase& c : cases) {
        UCHAR channel = 0;
        ASSERT_EQ(RegistryChooseApChannel(c.channels.data(), 1, c.channels.size(), c.mode, c.time, &channel),
                  STATUS_SUCCESS);
        EXPECT_EQ(channel, c.expected) << "mode " << c.mode << " time " << c.time;
    }
}

TEST(ConfigApChannel, EntriesAreReadWithTheirStrideAndAnEmptyListKeepsTheChannel)
{
    // entries of 3 bytes: channel, then two bytes of other data
    const UCHAR entries[] = {1, 0xAA, 0xAA, 6, 0xBB, 0xBB, 149, 0xCC, 0xCC};
    UCHAR channel = 11;
    ASSERT_EQ(RegistryChooseApChannel(entries, 3, 3, 2, 0, &channel), STATUS_SUCCESS);
    EXPECT_EQ(channel, 149);
    ASSERT_EQ(RegistryChooseApChannel(entries, 3, 3, 0, 1, &channel), STATUS_SUCCESS);
    EXPECT_EQ(channel, 6);

    channel = 11;
    EXPECT_EQ(RegistryChooseApChannel(entries, 3, 0, 2, 5, &channel), STATUS_NOT_FOUND);
    EXPECT_EQ(RegistryChooseApChannel(nullptr, 3, 3, 0, 5, &channel), STATUS_NOT_FOUND);
    EXPECT_EQ(channel, 11);
}

// ---- HT fields and WPS version ----

TEST(ConfigBaCapability, BitsReachTheHtFieldsAndOthersAreKept)
{
    REGISTRY_HT_SETTINGS ht = {{0xFFFF, 0x0000}, {0x00, 0xFF}};
    RegistryApplyBaCapabilityToHt((2u << 24) | (1u << 23) | (1u << 22) | (5u << 19), &ht);
    EXPECT_EQ(ht.CapabilityInfo[0], 0xFFFB);
    EXPECT_EQ(ht.CapabilityInfo[1], 0x0808);
    EXPECT_EQ(ht.AmpduParameters[0], 0x17);
    EXPECT_EQ(ht.AmpduParameters[1], 0xF7);

    ht = {{0xFFFF, 0xFFFF}, {0xFF, 0xFF}};
    RegistryApplyBaCapabilityToHt(0, &ht);
    EXPECT_EQ(ht.CapabilityInfo[0], 0xF3F3);  // bits 2, 3, 10 and 11 cleared
    EXPECT_EQ(ht.CapabilityInfo[1], 0xF7F3);  // bit 10 of the second word is not derived
    EXPECT_EQ(ht.AmpduParameters[0], 0xE3);
    EXPECT_EQ(ht.AmpduParameters[1], 0xE3);
}

TEST(ConfigWps, VersionRule)
{
    struct Case {
        UCHAR version;
        ULONG testbed;
        UCHAR workingVersion;
        ULONG workingTestbed;
    };
    const Case cases[] = {
        {0x20, 8, 0x20, 8},
        {0x20, 9, 0x57, 9},
        {0x10, 8, 0x10, 0xC},
        {0x10, 1, 0x57, 1},
    };
    for (const Case& c : cases) {
        UCHAR version = c.version, saved = 0;
        ULONG testbed = c.testbed;
        RegistryApplyWpsVersionRule(&version, &saved, &testbed);
        EXPECT_EQ(saved, c.version);
        EXPECT_EQ(version, c.workingVersion);
        EXPECT_EQ(testbed, c.workingTestbed);
    }
}

}  // namespace
