// The power-limit files: which files each chip loads and from where, plain and enciphered files,
// the section of the country, the rows and values of the rate groups, the reductions every value
// goes through, and the 6 GHz channels that a loaded 6 GHz file opens.
#include <cstdio>
#include <filesystem>

#include "Common/rlm_sku.h"
#include "hal/common/fwfile.h"
#include "kshim/host/files.h"
#include "platform/ndiscommon/memory.h"
#include "regdomain/regdomain_fixture.h"
#include "support/sku_file.h"
#include "fw/image_builder.h"

namespace regdomaintest {
using namespace qzltest;

namespace {

constexpr int kNone = 0x7F;
constexpr int kUnspecified = -128;  // 0x80
// Rate group blocks (version 0 order).
constexpr int kCck = 0, kOfdm = 1, kOfdm40 = 2, kHt20 = 6, kEht26 = 19;

// A parsed table that frees itself.
struct Table {
    SKU_POWER_TABLE t{};
    ~Table() { skuTableReleaseTxPwrLimitData(&t); }
    const SKU_POWER_ROW* Row(int channel) const
    {
        for (ULONG i = 0; i < t.RowCount; ++i) {
            if (t.Rows[i].Channel == channel) {
                return &t.Rows[i];
            }
        }
        return nullptr;
    }
    int At(int channel, int group, int index) const
    {
        const SKU_POWER_ROW* r = Row(channel);
        return r == nullptr ? 1000 : r->Limits[group][index];
    }
    std::vector<int> Group(int channel, int group, int count) const
    {
        std::vector<int> v;
        for (int i = 0; i < count; ++i) {
            v.push_back(At(channel, group, i));
        }
        return v;
    }
};

class PowerLimitTest : public RegDomainTest {
protected:
    void SetUp() override
    {
        RegDomainTest::SetUp();
        root_ = std::filesystem::temp_directory_path() / ("qzl_sku_" + std::to_string(::getpid()));
        kshim::host::FilesSetRoot(root_.string());
        Country("US");
    }
    void TearDown() override
    {
        if (adapter_ != nullptr) {
            skuTableFreePowerTables(adapter_.get());
            HalFreeBigFW(&adapter_->FwFiles);
        }
        kshim::host::FilesSetRoot("");
        std::filesystem::remove_all(root_);
        RegDomainTest::TearDown();
        EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVSK"), 0u);
    }

    // Parses a text (copied into a buffer of exactly its length) into a fresh table.
    NTSTATUS Parse(Table& table, const std::string& text, bool sixGhz, UCHAR chain = 2)
    {
        EXPECT_EQ(skuTableInitTxPwrLimitData(adapter_.get(), sixGhz ? 109 : 66, sixGhz ? 3 : 0, &table.t), STATUS_SUCCESS);
        std::vector<UCHAR> copy(text.begin(), text.end());
        UCHAR version = 0xFF;
        return skuTableGetTxPwrLimit(adapter_.get(), sixGhz, &version, &table.t, chain, copy.data(), static_cast<ULONG>(copy.size()));
    }

    void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        ASSERT_TRUE(kshim::host::FilesWrite(std::string("\\SystemRoot\\System32\\drivers\\") + name, bytes));
    }

    // Loads one file through the driver; the text as a string (empty when it failed).
    std::string Load(const std::string& name, NTSTATUS* status, ULONG* length)
    {
        PUCHAR text = skuTableReadSpecifiedSingleSkuFile(adapter_.get(), name.c_str(), length, status);
        if (text == nullptr) {
            return "";
        }
        std::string out(reinterpret_cast<const char*>(text), *length);
        PlatformFreeMemory(text, *length);
        return out;
    }

    std::filesystem::path root_;
};

const std::string kCckRow = "ch001\t20\t19\tx\t-3";

// ---- the tables and their rows ---------------------------------------------------------------------------

TEST_F(PowerLimitTest, TablesHoldTheFixedChannelListsWithNoLimit)
{
    Table a, b;
    ASSERT_EQ(skuTableInitTxPwrLimitData(adapter_.get(), 66, 0, &a.t), STATUS_SUCCESS);
    ASSERT_EQ(skuTableInitTxPwrLimitData(adapter_.get(), 109, 3, &b.t), STATUS_SUCCESS);
    std::vector<int> expect24g5g;
    for (int c = 1; c <= 14; ++c) expect24g5g.push_back(c);
    for (int c = 36; c <= 64; c += 2) expect24g5g.push_back(c);
    for (int c = 100; c <= 128; c += 2) expect24g5g.push_back(c);
    for (int c = 132; c <= 144; c += 2) expect24g5g.push_back(c);
    for (int c = 149; c <= 177; c += 2) expect24g5g.push_back(c);
    std::vector<int> expect6g;
    for (int c = 1; c <= 233; c += 2) {
        if (c != 31 && c != 63 && c != 95 && c != 127 && c != 159 && c != 191 && c != 223 && c != 231) expect6g.push_back(c);
    }
    ASSERT_EQ(a.t.RowCount, 66u);
    ASSERT_EQ(b.t.RowCount, 109u);
    for (size_t i = 0; i < 66; ++i) EXPECT_EQ(a.t.Rows[i].Channel, expect24g5g[i]) << "row " << i;
    for (size_t i = 0; i < 109; ++i) EXPECT_EQ(b.t.Rows[i].Channel, expect6g[i]) << "row " << i;
    for (int g = 0; g < 35; ++g) {
        for (int l = 0; l < 16; ++l) EXPECT_EQ(a.t.Rows[65].Limits[g][l], kNone);
    }
    Table bad;
    EXPECT_EQ(skuTableInitTxPwrLimitData(adapter_.get(), 65, 0, &bad.t), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(skuTableInitTxPwrLimitData(adapter_.get(), 66, 1, &bad.t), STATUS_INVALID_PARAMETER);
}

TEST_F(PowerLimitTest, RowsOfAGroupStoreTheirValues)
{
    Table t;
    const std::string text = SkuText({{"US-D",
                                       {{"cck", {kCckRow, "ch002 7 7 7 7", "ch015 9 9 9 9", "comment line", "ch014,1,2,3,4"}},
                                        {"ofdm", {"ch036 20,x,-3", "ch177\t-1 -2 -3 -4 -5 -6 -7 -8"}},
                                        {"ht40", {"ch040 1 2 3 4 5 6 7 8 9"}}}}});
    ASSERT_EQ(Parse(t, text, false), STATUS_SUCCESS);
    EXPECT_EQ(t.Group(1, kCck, 5), (std::vector<int>{20, 19, kUnspecified, -3, kNone}));
    EXPECT_EQ(t.Group(2, kCck, 4), (std::vector<int>{7, 7, 7, 7}));
    EXPECT_EQ(t.Group(14, kCck, 4), (std::vector<int>{1, 2, 3, 4}));
    // A short row: the line end reads as 0 for every missing value.
    EXPECT_EQ(t.Group(36, kOfdm, 9), (std::vector<int>{20, kUnspecified, -3, 0, 0, 0, 0, 0, kNone}));
    EXPECT_EQ(t.Group(177, kOfdm, 8), (std::vector<int>{-1, -2, -3, -4, -5, -6, -7, -8}));
    EXPECT_EQ(t.Group(40, 7, 10), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, kNone}));
    // Groups the section lacks keep no limit.
    EXPECT_EQ(t.At(1, kOfdm, 0), kNone);
    EXPECT_EQ(t.At(36, kCck, 0), kNone);
    EXPECT_EQ(t.At(36, kHt20, 0), kNone);
}

TEST_F(PowerLimitTest, DigitsAccumulateModulo256)
{
    Table t;
    ASSERT_EQ(Parse(t, SkuText({{"US-D", {{"cck", {"ch001 300 -300 127 255"}}}}}), false), STATUS_SUCCESS);
    EXPECT_EQ(t.Group(1, kCck, 4), (std::vector<int>{44, -44, 127, -1}));
}

TEST_F(PowerLimitTest, AGroupNameIsMatchedAsAPrefix)
{
    Table t;
    // "<ofdm40" ahead of "<ofdm" is taken for "ofdm"; the real "<ofdm" is then read inside that group.
    const std::string text = SkuText({{"US-D", {{"ofdm40", {"ch038 10 10 10 10 10 10 10 10"}}, {"ofdm", {"ch036 20 20 20 20 20 20 20 20"}}}}});
    ASSERT_EQ(Parse(t, text, false), STATUS_SUCCESS);
    EXPECT_EQ(t.At(38, kOfdm, 0), 10);
    EXPECT_EQ(t.At(36, kOfdm, 7), 20);
    EXPECT_EQ(t.At(38, kOfdm40, 0), kNone);
}

TEST_F(PowerLimitTest, ARowCutOffFailsTheTable)
{
    Table a, b;
    EXPECT_EQ(Parse(a, "[US-D]\r\n<cck>\r\nch001 20 20", false), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Parse(b, "[US-D]\r\n<cck>\r\nch001 20 20 20 20\r\n[FR-D]", false), STATUS_SUCCESS);
    EXPECT_EQ(b.At(1, kCck, 3), 20);
}

TEST_F(PowerLimitTest, VersionMustBeTheChips)
{
    struct Case {
        const char* head;
        NTSTATUS status;
    };
    const Case cases[] = {
        {"", STATUS_SUCCESS},
        {"<Ver:00>\r\n", STATUS_SUCCESS},
        {"<Ver:07>\r\n", STATUS_SUCCESS},  // an unknown version counts as 0
        {"<Ver:01>\r\n", STATUS_UNSUCCESSFUL},
    };
    for (uint16_t chip : {0x3602, 0x3601, 0x3502}) {
        Chip(chip);
        Country("US");
        for (const Case& c : cases) {
            Table t;
            EXPECT_EQ(Parse(t, SkuText({{"US-D", {{"cck", {kCckRow}}}}}, c.head), false), c.status) << c.head << " chip " << std::hex << chip;
        }
    }
}

// ---- the section of the country ----------------------------------------------------------------------------

TEST_F(PowerLimitTest, SectionOfTheCountryBandAndVariant)
{
    struct Case {
        const char* country;
        char css;        // 0: none ('D')
        bool sixGhz;
        int powerType;   // "Default6GTxPower"
        std::vector<std::string> keys;  // sections in the file, each with its own limit
        std::string chosen;             // "" when none is found
    };
    const Case cases[] = {
        {"WW", 0, false, 0, {"00-0", "00-D"}, "00-D"},
        {"WW", 0, false, 0, {"00-0", "00-A"}, "00-0"},
        {"US", 0, false, 0, {"00-D", "US-0", "US-D"}, "US-D"},
        {"US", 0, false, 0, {"00-D", "US-0"}, "US-0"},
        {"US", 0, false, 0, {"00-0", "FR-D"}, "00-0"},
        {"US", 'A', false, 0, {"US-D", "US-A"}, "US-A"},
        {"US", '0', false, 0, {"US-D", "US-0"}, "US-0"},
        {"US", 0, true, 1, {"0010", "001D", "US10", "US1D", "US0D"}, "US1D"},
        {"US", 0, true, 1, {"0010", "001D", "US10", "US0D"}, "US10"},
        {"US", 0, true, 1, {"0010", "001D", "US0D"}, "001D"},
        {"US", 0, true, 1, {"0010", "US0D"}, "0010"},
        {"US", 0, true, 2, {"US1D", "US2D"}, "US2D"},
        {"US", 0, false, 0, {"FR-D", "US1D"}, ""},
        {"US", 0, false, 0, {"US-DX", "FR-D"}, "US-DX"},  // a longer key is compared by its first four characters
    };
    for (const Case& c : cases) {
        Country(c.country);
        adapter_->Country.CssCode = static_cast<UCHAR>(c.css);
        adapter_->RegistryBlock.Default6GTxPower = static_cast<UCHAR>(c.powerType);
        std::vector<SkuSection> sections;
        for (size_t i = 0; i < c.keys.size(); ++i) {
            sections.push_back({c.keys[i], {{c.sixGhz ? "ofdm" : "cck", {"ch001 " + std::to_string(10 + i) + " 0 0 0 0 0 0 0"}}}});
        }
        Table t;
        const NTSTATUS status = Parse(t, SkuText(sections), c.sixGhz);
        const std::string where = std::string(c.country) + " -> " + c.chosen;
        if (c.chosen.empty()) {
            EXPECT_EQ(status, STATUS_UNSUCCESSFUL) << where;
            continue;
        }
        ASSERT_EQ(status, STATUS_SUCCESS) << where;
        size_t chosen = 0;
        while (c.keys[chosen] != c.chosen) ++chosen;
        EXPECT_EQ(t.At(1, c.sixGhz ? kOfdm : kCck, 0), static_cast<int>(10 + chosen)) << where;
    }
}

TEST_F(PowerLimitTest, SectionSearchStopsAtTheNextSection)
{
    const std::string text = "x[US-D]yy<cck>\r\n[FR-D]<ofdm>";
    ULONG start = 0, end = 0;
    const auto* bytes = reinterpret_cast<const UCHAR*>(text.data());
    ASSERT_TRUE(skuTableSearchCountryRegion(skuTableCountryCodeToU32("US-D", 4), bytes, static_cast<ULONG>(text.size()), &start, &end));
    EXPECT_EQ(start, 9u);
    EXPECT_EQ(end, 16u);
    ASSERT_TRUE(skuTableSearchCountryRegion(skuTableCountryCodeToU32("FR-D", 4), bytes, static_cast<ULONG>(text.size()), &start, &end));
    EXPECT_EQ(start, 22u);
    EXPECT_EQ(end, text.size());
    EXPECT_FALSE(skuTableSearchCountryRegion(skuTableCountryCodeToU32("DE-D", 4), bytes, static_cast<ULONG>(text.size()), &start, &end));
    EXPECT_EQ(skuTableCountryCodeToU32("US-D", 4), 0x44 << 24 | 0x2D << 16 | 0x53 << 8 | 0x55u);
    EXPECT_EQ(skuTableCountryCodeToU32("US-DX", 5), skuTableCountryCodeToU32("US-D", 4));
    EXPECT_EQ(skuTableCountryCodeToU32("US", 0), 0u);
}

// ---- reductions ----------------------------------------------------------------------------------------------

TEST_F(PowerLimitTest, PowerLevelLowersEveryLimitWithoutWrapping)
{
    struct Case {
        int level;
        std::vector<int> expect;
    };
    const Case cases[] = {
        {0, {20, kUnspecified, -3, -126}},
        {1, {18, kUnspecified, -5, -127}},
        {2, {16, kUnspecified, -7, -127}},  // -126 - 4 stays at -127: never near "no limit"
    };
    for (const Case& c : cases) {
        adapter_->RegistryBlock.TxPowerLevel = static_cast<UCHAR>(c.level);
        Table t;
        ASSERT_EQ(Parse(t, SkuText({{"US-D", {{"cck", {"ch001 20 x -3 -126"}}}}}), false), STATUS_SUCCESS);
        EXPECT_EQ(t.Group(1, kCck, 4), c.expect) << "level " << c.level;
    }
}

TEST_F(PowerLimitTest, ChipCapsAndTheSimulatedSarCaps)
{
    const std::string all50 = " 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50 50";
    const std::string text24 = SkuText({{"US-D", {{"cck", {"ch001" + all50.substr(0, 12), "ch036" + all50.substr(0, 12)}},
                                                  {"ofdm", {"ch001" + all50.substr(0, 24)}}}}});
    const std::string text6 = SkuText({{"US0D", {{"eht26", {"ch111" + all50, "ch113" + all50}}}}});
    {
        adapter_->RegistryBlock.ChipPowerLimitEnable = 1;
        Table t, s;
        ASSERT_EQ(Parse(t, text24, false), STATUS_SUCCESS);
        EXPECT_EQ(t.Group(1, kCck, 4), (std::vector<int>{44, 44, 44, 44}));
        EXPECT_EQ(t.Group(1, kOfdm, 8), (std::vector<int>{41, 41, 41, 41, 41, 39, 38, 38}));
        EXPECT_EQ(t.Group(36, kCck, 4), (std::vector<int>{kUnspecified, kUnspecified, kUnspecified, kUnspecified}));
        ASSERT_EQ(Parse(s, text6, true), STATUS_SUCCESS);
        EXPECT_EQ(s.Group(113, kEht26, 16), (std::vector<int>{37, 37, 37, 37, 37, 32, 32, 32, 31, 31, 31, 31, 25, 25, kUnspecified, 39}));
        EXPECT_EQ(s.At(111, kEht26, 0), 50);  // below channel 113 the 5 GHz caps apply
        adapter_->RegistryBlock.ChipPowerLimitEnable = 0;
    }
    {
        // The platform's feature 3 applies the same caps.
        adapter_->SarRegulatory.Feature3 = 1;
        Table t;
        ASSERT_EQ(Parse(t, text24, false), STATUS_SUCCESS);
        EXPECT_EQ(t.At(1, kCck, 0), 44);
        adapter_->SarRegulatory.Feature3 = 0;
    }
    {
        adapter_->RegistryBlock.SAR256GSimulate = 0x0120001E;  // 2.4 GHz 30, 5 GHz none, 6 GHz 32
        Table t, s;
        ASSERT_EQ(Parse(t, text24, false), STATUS_SUCCESS);
        EXPECT_EQ(t.At(1, kCck, 0), 30);
        EXPECT_EQ(t.At(36, kCck, 0), 50);
        ASSERT_EQ(Parse(s, text6, true), STATUS_SUCCESS);
        EXPECT_EQ(s.At(113, kEht26, 0), 32);
        adapter_->RegistryBlock.SAR256GSimulate = 0x0020001E;  // top byte not 1: off
        Table u;
        ASSERT_EQ(Parse(u, text24, false), STATUS_SUCCESS);
        EXPECT_EQ(u.At(1, kCck, 0), 50);
    }
}

TEST_F(PowerLimitTest, SarTableLimitsInSarMode1)
{
    SAR_BIOS_TABLES& sar = adapter_->SarRegulatory;
    sar.QzdsMode = 1;
    sar.QzdsRows = 2;
    sar.ActiveSarTable = 2;
    // Row 2 of the 6-element form starts at element 6 + 6: 2.4 GHz 21, 36-64 31, 100-144 41, 149-177 49.
    sar.Qzds[13] = 21;
    sar.Qzds[14] = 31;
    sar.Qzds[16] = 41;
    sar.Qzds[17] = 49;
    const std::string text = SkuText({{"US-D", {{"cck", {"ch001 50 50 50 50", "ch036 50 50 50 50", "ch100 50 50 50 50",
                                                         "ch177 50 50 50 50", "ch002 x 10 10 10"}}}}});
    struct Case {
        int mode;
        std::vector<int> expect;  // channels 1, 36, 100, 177, then channel 2's first two
    };
    for (const Case& c : {Case{1, {21, 31, 41, 49, kUnspecified, 10}}, Case{2, {50, 50, 50, 50, kUnspecified, 10}}, Case{0, {50, 50, 50, 50, kUnspecified, 10}}}) {
        sar.ActiveSarMode = static_cast<UCHAR>(c.mode);
        Table t;
        ASSERT_EQ(Parse(t, text, false), STATUS_SUCCESS);
        EXPECT_EQ((std::vector<int>{t.At(1, 0, 0), t.At(36, 0, 0), t.At(100, 0, 0), t.At(177, 0, 0), t.At(2, 0, 0), t.At(2, 0, 1)}), c.expect)
            << "SAR mode " << c.mode;
    }
}

TEST_F(PowerLimitTest, PlatformPowerTableByChannelOrGroup)
{
    SAR_BIOS_TABLES& sar = adapter_->SarRegulatory;
    sar.QzplValid = 1;
    sar.QzplElements = 8 + 4 * 3;
    sar.Qzpl[5] = 3;
    // {x, channel, limit or group, x or limit}
    const UCHAR entries[3][4] = {{0, 1, 12, 0}, {0, 36, 0, 13}, {0, 36, 1, 14}};
    std::memcpy(&sar.Qzpl[8], entries, sizeof(entries));
    const std::string text = SkuText({{"US-D", {{"cck", {"ch001 50 50 50 50", "ch036 50 50 50 50"}}, {"ofdm", {"ch036 50 50 50 50 50 50 50 50"}}}}});
    {
        sar.Qzpl[4] = 0;  // per channel: entry {x, 1, 12}
        Table t;
        ASSERT_EQ(Parse(t, text, false), STATUS_SUCCESS);
        EXPECT_EQ(t.At(1, kCck, 0), 12);
        EXPECT_EQ(t.At(36, kCck, 0), 0);  // entry {x, 36, 0, 13}: limit byte 0
    }
    {
        sar.Qzpl[4] = 1;  // per group: channel 36 group 0 -> 13; group 1 is a 6 GHz entry
        Table t;
        ASSERT_EQ(Parse(t, text, false), STATUS_SUCCESS);
        EXPECT_EQ(t.At(36, kCck, 0), 13);
        EXPECT_EQ(t.At(36, kOfdm, 0), 50);
        EXPECT_EQ(t.At(1, kCck, 0), 50);
    }
    {
        // The count names more entries than the platform gave: only the given ones are read.
        sar.Qzpl[4] = 0;
        sar.Qzpl[5] = 255;
        sar.Qzpl[8 + 4 * 3 + 1] = 2;  // a fourth entry beyond the elements given
        sar.Qzpl[8 + 4 * 3 + 2] = 5;
        Table t;
        ASSERT_EQ(Parse(t, SkuText({{"US-D", {{"cck", {"ch002 50 50 50 50"}}}}}), false), STATUS_SUCCESS);
        EXPECT_EQ(t.At(2, kCck, 0), 50);
    }
}

// ---- files ---------------------------------------------------------------------------------------------------

TEST_F(PowerLimitTest, PlainAndEncipheredFilesGiveTheSameTable)
{
    adapter_->RegistryBlock.FWBin = 0;
    const std::string text = SkuText({{"US-D", {{"cck", {kCckRow}}, {"ofdm", {"ch036 20,x,-3"}}}}});
    WriteFile("plain.dat", Bytes(text));
    WriteFile("ciphered.dat", SkuEnciphered(text + "   "));
    NTSTATUS s1 = 1, s2 = 1;
    ULONG l1 = 0, l2 = 0;
    const std::string plain = Load("plain.dat", &s1, &l1);
    const std::string deciphered = Load("ciphered.dat", &s2, &l2);
    ASSERT_EQ(s1, STATUS_SUCCESS);
    ASSERT_EQ(s2, STATUS_SUCCESS);
    EXPECT_EQ(l1, text.size());
    EXPECT_EQ(l2, SkuEnciphered(text + "   ").size());  // the length of the file
    EXPECT_EQ(plain, text);
    // The body less its first 32 bytes and its trailing spaces, zeros after it.
    EXPECT_EQ(deciphered.substr(0, text.size()), text);
    EXPECT_EQ(deciphered.find_first_not_of('\0', text.size()), std::string::npos);
    Table a, b;
    ASSERT_EQ(Parse(a, plain, false), STATUS_SUCCESS);
    ASSERT_EQ(Parse(b, deciphered, false), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(a.t.Rows, b.t.Rows, 66 * sizeof(SKU_POWER_ROW)), 0);
}

TEST_F(PowerLimitTest, BrokenFilesFailAndStopPowerLimitResends)
{
    adapter_->RegistryBlock.FWBin = 0;
    const std::string text = SkuText({{"US-D", {{"cck", {kCckRow}}}}});
    std::vector<uint8_t> partial = SkuEnciphered(text);
    partial.insert(partial.end(), {1, 2, 3, 4, 5});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool loads;
    };
    const Case cases[] = {
        {"enciphered with a partial block", partial, false},
        {"enciphered body of only the skipped bytes", SkuEnciphered(""), false},
        {"enciphered body of spaces", SkuEnciphered(std::string(40, ' ')), false},
        {"enciphered body one byte past the skipped ones", SkuEnciphered("["), true},
        {"plain shorter than a block", Bytes("[US-D]"), true},
        {"empty", {}, false},
    };
    for (const Case& c : cases) {
        adapter_->RegistryBlock.CountryRoamingEn = 1;
        WriteFile("t.dat", c.bytes);
        NTSTATUS status = 1;
        ULONG length = 99;
        const std::string loaded = Load("t.dat", &status, &length);
        EXPECT_EQ(status, c.loads ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL) << c.what;
        EXPECT_EQ(length, c.loads ? c.bytes.size() : 0u) << c.what;
        EXPECT_EQ(adapter_->RegistryBlock.CountryRoamingEn, c.loads ? 1 : 0) << c.what;
    }
    // A file enciphered under another key is not the marker: taken as plain text, whose parse fails.
    std::vector<uint8_t> garbage = SkuEnciphered(text);
    garbage[0] ^= 0x55;
    WriteFile("other.dat", garbage);
    NTSTATUS status = 1;
    ULONG length = 0;
    const std::string loaded = Load("other.dat", &status, &length);
    ASSERT_EQ(status, STATUS_SUCCESS);
    EXPECT_EQ(Bytes(loaded), garbage);
    Table t;
    EXPECT_EQ(Parse(t, loaded, false), STATUS_UNSUCCESSFUL);
    // A missing file.
    EXPECT_EQ(Load("none.dat", &status, &length), "");
    EXPECT_EQ(status, STATUS_UNSUCCESSFUL);
}

TEST_F(PowerLimitTest, EachFailingCipherStepFailsTheFile)
{
    adapter_->RegistryBlock.FWBin = 0;
    const std::string text = SkuText({{"US-D", {{"cck", {kCckRow}}}}});
    WriteFile("c.dat", SkuEnciphered(text));
    struct Case {
        const char* call;
        unsigned nth;
        const char* outcome;  // "fail", "text" (deciphered), "raw" (taken as plain)
    };
    const Case cases[] = {
        {"BCryptOpenAlgorithmProvider", 1, "fail"},  // AES
        {"BCryptOpenAlgorithmProvider", 2, "fail"},  // SHA-1
        {"BlockLength", 1, "text"},                  // the block length: 16 without it
        {"ObjectLength", 1, "fail"},                 // the key object's length
        {"ObjectLength", 2, "fail"},                 // the hash object's length
        {"BCryptCreateHash", 1, "fail"},
        {"BCryptHashData", 1, "fail"},
        {"BCryptFinishHash", 1, "fail"},
        {"BCryptGenerateSymmetricKey", 1, "fail"},
        {"BCryptDecrypt", 1, "raw"},                 // block 0 is not the marker
    };
    for (const Case& c : cases) {
        kshim::host::FaultClearAll();
        kshim::host::FaultArm("cng", c.call, c.nth, STATUS_UNSUCCESSFUL);
        NTSTATUS status = 1;
        ULONG length = 0;
        const std::string loaded = Load("c.dat", &status, &length);
        const std::string where = std::string(c.call) + " #" + std::to_string(c.nth);
        EXPECT_EQ(kshim::host::FaultFired("cng"), 1u) << where;
        if (std::string(c.outcome) == "fail") {
            EXPECT_EQ(status, STATUS_UNSUCCESSFUL) << where;
        } else if (std::string(c.outcome) == "text") {
            EXPECT_EQ(loaded.substr(0, text.size()), text) << where;
        } else {
            EXPECT_EQ(Bytes(loaded), SkuEnciphered(text)) << where;
        }
    }
    kshim::host::FaultClearAll();
}

// ---- which files each chip loads -------------------------------------------------------------------------------

ULONG FormFactorOne(PMP_ADAPTER) { return 1; }

TEST_F(PowerLimitTest, EachChipLoadsTheFilesItNames)
{
    struct Case {
        uint16_t chip;
        int enhance;   // "PwrSkuEnhance2G5GEn"
        bool formFactor;
        std::vector<std::string> slots;  // the file loaded in slots 0-3 ("" none)
    };
    const Case cases[] = {
        {0x3501, 1, false, {"qzlwl1.dat", "", "qzlwl1_2.dat", ""}},
        {0x0C01, 1, false, {"qzlwl1.dat", "", "qzlwl1_2.dat", ""}},
        {0x3502, 1, false, {"qzlwl2.dat", "", "qzlwl2_2.dat", ""}},
        {0x0C02, 1, true, {"qzlwl2s.dat", "", "qzlwl2_2s.dat", ""}},
        {0x3503, 1, false, {"qzlwl3.dat", "", "qzlwl3_2.dat", ""}},
        {0x3601, 1, false, {"qzlwl3601.dat", "qzlwl3601_1ss1t.dat", "qzlwl3601_2.dat", "qzlwl3601_2_1ss1t.dat"}},
        {0x0C03, 0, false, {"qzlwl3601.dat", "", "qzlwl3601_2.dat", "qzlwl3601_2_1ss1t.dat"}},
        {0x3602, 1, false, {"qzlwl3603.dat", "", "qzlwl3603_2.dat", "qzlwl3603_2_1ss1t.dat"}},
        {0x3603, 1, false, {"qzlwl3603.dat", "", "qzlwl3603_2.dat", "qzlwl3603_2_1ss1t.dat"}},
        {0x0C04, 1, false, {"qzlwl3603.dat", "", "qzlwl3603_2.dat", "qzlwl3603_2_1ss1t.dat"}},
        {0x3404, 1, false, {"", "", "", ""}},
    };
    const char* all[] = {"qzlwl1.dat", "qzlwl1_2.dat", "qzlwl2.dat", "qzlwl2_2.dat", "qzlwl2s.dat", "qzlwl2_2s.dat",
                         "qzlwl3.dat", "qzlwl3_2.dat", "qzlwl3601.dat", "qzlwl3601_1ss1t.dat", "qzlwl3601_2.dat",
                         "qzlwl3601_2_1ss1t.dat", "qzlwl3603.dat", "qzlwl3603_2.dat", "qzlwl3603_2_1ss1t.dat"};
    for (const char* name : all) {
        WriteFile(name, Bytes(std::string("[") + name + "]"));
    }
    for (const Case& c : cases) {
        Chip(c.chip);
        adapter_->RegistryBlock.FWBin = 0;
        adapter_->RegistryBlock.PwrSkuEnhance2G5GEn = static_cast<UCHAR>(c.enhance);
        adapter_->RegistryBlock.CountryRoamingEn = 1;
        if (c.formFactor) {
            adapter_->HalOps.PCIeFormFactor = FormFactorOne;
        }
        EXPECT_EQ(skuTableReadSingleSkuFile(adapter_.get()), STATUS_SUCCESS);
        for (int slot = 0; slot < 4; ++slot) {
            const SKU_FILE_TABLES& t = adapter_->SkuTables;
            const std::string got = t.Text[slot] == nullptr ? "" : std::string(reinterpret_cast<const char*>(t.Text[slot]), t.Length[slot]);
            EXPECT_EQ(got, c.slots[slot].empty() ? "" : "[" + c.slots[slot] + "]") << std::hex << c.chip << " slot " << slot;
        }
        EXPECT_EQ(adapter_->RegistryBlock.CountryRoamingEn, c.chip == 0x3404 ? 0 : 1) << std::hex << c.chip;
        skuTableFreePowerTables(adapter_.get());
        for (int slot = 0; slot < 4; ++slot) {
            EXPECT_EQ(adapter_->SkuTables.Text[slot], nullptr);
            EXPECT_EQ(adapter_->SkuTables.Length[slot], 0u);
        }
    }
}

TEST_F(PowerLimitTest, FilesComeFromTheContainerAndOnlyFromItWithFwBin)
{
    Chip(0x3602);
    // The container holds the 6 GHz file; the file system the 2.4/5 GHz one and another 6 GHz one.
    const std::vector<uint8_t> container = sim::fw::BuildContainer({{"qzlwl3603_2.dat", "20240517093000", Bytes("[container]")}});
    PVOID block = nullptr;
    ASSERT_EQ(PlatformAllocateMemory(nullptr, &block, static_cast<ULONG>(container.size()), TAG_ZV53), STATUS_SUCCESS);
    std::memcpy(block, container.data(), container.size());
    HalFwSetContainer(&adapter_->FwFiles, TRUE, static_cast<PUCHAR>(block), static_cast<ULONG>(container.size()));
    WriteFile("qzlwl3603.dat", Bytes("[file]"));
    WriteFile("qzlwl3603_2.dat", Bytes("[file 6]"));
    struct Case {
        int fwBin;
        std::string slot0, slot2;
        NTSTATUS status;  // of the last load (slot 3: no such file anywhere)
    };
    for (const Case& c : {Case{1, "", "[container]", STATUS_UNSUCCESSFUL}, Case{0, "[file]", "[container]", STATUS_UNSUCCESSFUL}}) {
        adapter_->RegistryBlock.FWBin = static_cast<ULONG>(c.fwBin);
        adapter_->RegistryBlock.CountryRoamingEn = 1;
        EXPECT_EQ(skuTableReadSingleSkuFile(adapter_.get()), c.status);
        const SKU_FILE_TABLES& t = adapter_->SkuTables;
        auto text = [&](int slot) { return t.Text[slot] == nullptr ? "" : std::string(reinterpret_cast<const char*>(t.Text[slot]), t.Length[slot]); };
        EXPECT_EQ(text(0), c.slot0) << "FWBin " << c.fwBin;
        EXPECT_EQ(text(2), c.slot2) << "FWBin " << c.fwBin;
        EXPECT_EQ(adapter_->RegistryBlock.CountryRoamingEn, 0);
        skuTableFreePowerTables(adapter_.get());
    }
}

// ---- what a 6 GHz file opens ---------------------------------------------------------------------------------

TEST_F(PowerLimitTest, ALoaded6GhzFileOpensThe6GhzChannels)
{
    struct Case {
        uint16_t chip;
        bool file;
        int sixGhzChannels;
    };
    const Case cases[] = {{0x3602, true, 59}, {0x3602, false, 0}, {0x3601, true, 59}, {0x3601, false, 0}};
    for (const Case& c : cases) {
        Chip(c.chip);
        Country("US");
        adapter_->RegistryBlock.FWBin = 0;
        adapter_->RegistryBlock.Country6GEn = 1;
        const std::string name = c.chip == 0x3601 ? "qzlwl3601_2.dat" : "qzlwl3603_2.dat";
        if (c.file) {
            WriteFile(name, SkuEnciphered(SkuText({{"US0D", {{"ofdm", {"ch001 20 20 20 20 20 20 20 20"}}}}})));
        } else {
            kshim::host::FilesRemove(std::string("\\SystemRoot\\System32\\drivers\\") + name);
        }
        (void)skuTableReadSingleSkuFile(adapter_.get());
        EXPECT_EQ(adapter_->SkuTables.Text[2] != nullptr, c.file);
        ASSERT_NE(DomainGetDomainInfo(adapter_.get()), nullptr);
        std::vector<Channel> six;
        for (const Channel& ch : List()) {
            if (ch.band == 3) six.push_back(ch);
        }
        EXPECT_EQ(static_cast<int>(six.size()), c.sixGhzChannels) << std::hex << c.chip << " file " << c.file;
        if (!six.empty()) {
            EXPECT_EQ(six.front().channel, 1);
            EXPECT_EQ(six.back().channel, 233);
        }
        skuTableFreePowerTables(adapter_.get());
    }
}

}  // namespace
}  // namespace regdomaintest
