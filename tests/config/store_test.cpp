// Storing values read from the device configuration: range check, default, width; the string
// block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/config_support.h"

namespace {

using config_test::FindRow;

struct StoreCase {
    const char16_t* name;
    bool present;
    ULONG value;
    ULONG stored;  // the value found in the field afterwards
};

const StoreCase kStoreCases[] = {
    // one byte
    {u"OpMode", true, 1, 1},
    {u"OpMode", true, 2, 0},    // above the range: default
    {u"OpMode", false, 1, 0},   // missing: default
    {u"Channel", true, 0, 1},   // below the range
    {u"Channel", true, 165, 165},
    {u"WirelessMode", true, 11, 11},
    {u"WirelessMode", true, 12, 5},
    {u"DissocIndDelay", false, 0, 64},  // the default lies above the range and is stored anyway
    {u"DissocIndDelay", true, 1, 1},
    {u"DissocIndDelay", true, 2, 64},
    {u"LastChannel", true, 300, 44},    // any value, low byte kept
    // two bytes
    {u"RtsThresh", true, 2347, 2347},
    {u"RtsThresh", true, 2348, 2347},
    {u"FragThresh", true, 255, 2346},
    {u"FragThresh", true, 256, 256},
    {u"PsEnable", false, 0, 0},         // the default lies below the range
    {u"PsEnable", true, 0, 0},
    {u"PsEnable", true, 100, 100},
    {u"PsEnable", true, 101, 0},
    {u"DelayInterruptSettings", true, 33541, 33542},
    {u"DelayInterruptSettings", true, 47856, 47856},
    {u"TpParameter3", true, 300, 300},  // the whole range fits the field
    {u"TpParameter3", true, 1024, 1024},
    {u"TpParameter3", true, 1025, 0},
    // four bytes
    {u"BACapability", true, 1, 0xB834040},  // kind 1, "2 and up"
    {u"BACapability", true, 0xFFFFFFFF, 0xFFFFFFFF},
    {u"Radio", true, 0, 0},
    {u"Radio", false, 0, 7},
    {u"GetRssiAvgCount", true, 7, 8},
    {u"GetRssiAvgCount", true, 30, 30},
    {u"EnablePcieGenSwitchLowTH", true, 0, 30},
    {u"EnableKrack", true, 0xFFFFFFFF, 0xFFFFFFFF},  // a row with no known range
    {u"EnableKrack", false, 5, 0},
};

TEST(ConfigStore, ValuesOutsideTheRangeOrMissingTakeTheDefault)
{
    for (const StoreCase& c : kStoreCases) {
        PCREGISTRY_PARAMETER_ENTRY row = FindRow(c.name);
        ASSERT_NE(row, nullptr);
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)) + " " +
                     (c.present ? std::to_string(c.value) : std::string("missing")));
        REGISTRY_BLOCK block;
        std::memset(&block, 0xA5, sizeof(block));
        ULONG chosen = 0;
        ASSERT_EQ(RegistryStoreInteger(&block, row, c.present, c.value, &chosen), STATUS_SUCCESS);
        EXPECT_EQ(RegistryReadInteger(&block, row), c.stored);
        // Only the row's own bytes changed.
        const UCHAR* bytes = reinterpret_cast<const UCHAR*>(&block);
        for (ULONG i = 0; i < sizeof(block); ++i) {
            if (i < row->Destination || i >= row->Destination + row->Size) {
                ASSERT_EQ(bytes[i], 0xA5) << "byte " << i;
            }
        }
    }
}

TEST(ConfigStore, EveryRowStoresItsDefaultWhenMissing)
{
    REGISTRY_BLOCK block{};
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        if (row.Kind == REGISTRY_KIND_STRING) {
            EXPECT_EQ(RegistryStoreInteger(&block, &row, TRUE, 1, nullptr), STATUS_OBJECT_TYPE_MISMATCH);
            continue;
        }
        ASSERT_EQ(RegistryStoreInteger(&block, &row, FALSE, 0, nullptr), STATUS_SUCCESS);
    }
    // Read back after all stores: no later row overwrote an earlier one.
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        if (row.Kind != REGISTRY_KIND_STRING) {
            EXPECT_EQ(RegistryReadInteger(&block, &row), row.Default);
        }
    }
    EXPECT_EQ(block.TpParameter3, 0);
    EXPECT_EQ(block.Radio, 7u);
    EXPECT_EQ(block.SaeTO, 200u);
}

TEST(ConfigStore, RepositAgeAndScanAgeAreKeptApart)
{
    REGISTRY_BLOCK block{};
    ASSERT_EQ(RegistryStoreInteger(&block, FindRow(u"BssidRepositTime"), TRUE, 200, nullptr), STATUS_SUCCESS);
    ASSERT_EQ(RegistryStoreInteger(&block, FindRow(u"ScanAgeOutTime"), FALSE, 0, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(block.BssidRepositTime, 200u);
    EXPECT_EQ(block.ScanAgeOutTime, 30u);
}

TEST(ConfigStore, MalformedRowsAreRefusedWithoutWriting)
{
    REGISTRY_BLOCK block;
    std::memset(&block, 0x5A, sizeof(block));
    REGISTRY_BLOCK before = block;
    REGISTRY_PARAMETER_ENTRY row = *FindRow(u"OpMode");
    row.Kind = 7;  // an unknown kind is a failed query
    EXPECT_EQ(RegistryStoreInteger(&block, &row, TRUE, 1, nullptr), STATUS_OBJECT_TYPE_MISMATCH);
    row.Kind = REGISTRY_KIND_ULONG;
    row.Size = 3;
    EXPECT_EQ(RegistryStoreInteger(&block, &row, TRUE, 1, nullptr), STATUS_INVALID_PARAMETER);
    row.Size = 4;
    row.Destination = sizeof(REGISTRY_BLOCK) - 3;
    EXPECT_EQ(RegistryStoreInteger(&block, &row, TRUE, 1, nullptr), STATUS_INVALID_PARAMETER);
    row.Destination = 0xFFFFFFFE;
    EXPECT_EQ(RegistryStoreInteger(&block, &row, TRUE, 1, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(std::memcmp(&block, &before, sizeof(block)), 0);
}

// ---- string block ----

TEST(ConfigStrings, InitEmptiesEveryStringAndSetsItsCapacity)
{
    REGISTRY_STRING_BLOCK strings;
    std::memset(&strings, 0x77, sizeof(strings));
    RegistryStringBlockInit(&strings);
    for (ULONG i = 0; i < REGISTRY_STRING_COUNT; ++i) {
        EXPECT_EQ(strings.Strings[i].Length, 0);
        EXPECT_EQ(strings.Strings[i].MaximumLength, g_RegistryStringCapacity[i]);
        EXPECT_EQ(strings.Strings[i].Buffer, strings.Storage[i]);
        EXPECT_EQ(strings.Storage[i][0], 0);
    }
}

TEST(ConfigStrings, ValuesAreCutToTheCapacityAndToWholeCharacters)
{
    struct Case {
        ULONG index;
        ULONG inputChars;
        ULONG inputExtraBytes;  // an odd byte count from outside
        ULONG storedChars;
    };
    const Case cases[] = {
        {REGISTRY_STRING_ADAP_SCAN, 10, 0, 10},
        {REGISTRY_STRING_ADAP_SCAN, 16, 0, 16},
        {REGISTRY_STRING_ADAP_SCAN, 20, 0, 16},  // 32 bytes
        {REGISTRY_STRING_SSID, 40, 0, 32},
        {REGISTRY_STRING_VENDOR_DESC, 100, 0, 64},
        {REGISTRY_STRING_BT_SERVICE_NAME, 128, 0, 128},
        {REGISTRY_STRING_BT_SERVICE_NAME, 300, 0, 128},
        {REGISTRY_STRING_CSS_CODE, 3, 1, 3},
        {REGISTRY_STRING_COUNTRY_REGION, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        REGISTRY_STRING_BLOCK strings;
        RegistryStringBlockInit(&strings);
        std::u16string text(c.inputChars + 1, u'x');
        ASSERT_EQ(RegistryStoreString(&strings, c.index, text.data(), c.inputChars * 2 + c.inputExtraBytes),
                  STATUS_SUCCESS);
        EXPECT_EQ(strings.Strings[c.index].Length, c.storedChars * 2);
        EXPECT_EQ(strings.Strings[c.index].Buffer[c.storedChars], 0);  // kept terminated
        EXPECT_EQ(strings.Strings[c.index].MaximumLength, g_RegistryStringCapacity[c.index]);
    }
}

TEST(ConfigStrings, AnIndexOutsideTheBlockIsRefused)
{
    REGISTRY_STRING_BLOCK strings;
    RegistryStringBlockInit(&strings);
    EXPECT_EQ(RegistryStoreString(&strings, REGISTRY_STRING_COUNT, u"x", 2), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(RegistryStoreString(&strings, REGISTRY_STRING_SSID, nullptr, 10), STATUS_SUCCESS);
    EXPECT_EQ(strings.Strings[REGISTRY_STRING_SSID].Length, 0);
}

}  // namespace
