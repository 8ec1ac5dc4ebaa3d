// SAR from the platform's tables: the SAR limit of a channel with its geographic offset and the
// dynamic-mode reduction, the geographic row of each country, rows the platform did not give; and the
// chip-configuration texts of time-averaged SAR and of the 6 GHz rate switches as the firmware
// receives them.
#include "Common/rlm.h"
#include "fwcmds/fwcmds_fixture.h"
#include "regdomain/regdomain_fixture.h"

namespace regdomaintest {
namespace {

class SarTest : public RegDomainTest {
protected:
    SAR_BIOS_TABLES& Sar() { return adapter_->SarRegulatory; }

    // A platform with the regulatory method: the 12-element SAR rows (header 7), the 7-element
    // geographic rows (header 7).
    void SarRow(int row, std::vector<int> elements)
    {
        for (size_t e = 0; e < elements.size(); ++e) {
            Sar().QzdsCl[7 + (row - 1) * 12 + e] = static_cast<UCHAR>(elements[e]);
        }
    }
    void GeoRow(int row, std::vector<int> elements)
    {
        for (size_t e = 0; e < elements.size(); ++e) {
            Sar().QzgsCl[7 + (row - 1) * 7 + e] = static_cast<UCHAR>(elements[e]);
        }
    }
    void WithRegulatoryMethod(int mode, int rows)
    {
        Sar().RegulatoryMethodPresent = 1;
        Sar().QzdsMode = static_cast<UCHAR>(mode);
        Sar().QzdsRows = static_cast<UCHAR>(rows);
        Sar().ActiveSarTable = 1;
    }
    int Limit(int channel, int chain, bool sixGhz = false)
    {
        UCHAR v = 0;
        const BOOLEAN found = sixGhz ? SarGetSarTablePowerLimit_6G(adapter_.get(), static_cast<UCHAR>(channel), static_cast<UCHAR>(chain), &v)
                                     : SarGetSarTablePowerLimit(adapter_.get(), static_cast<UCHAR>(channel), static_cast<UCHAR>(chain), &v);
        return found ? v : -1;
    }
};

TEST_F(SarTest, ChannelRangesOfARow)
{
    WithRegulatoryMethod(1, 1);
    //          0  2.4 36  x  100 149 1-41 45-93 97-113 117-149 153-185 189-233
    SarRow(1, {0, 10, 11, 99, 12, 13, 14, 15, 16, 17, 18, 19});
    struct Case {
        int channel;
        bool sixGhz;
        int limit;  // -1: no limit
    };
    const Case cases[] = {
        {1, false, 10},  {14, false, 10}, {36, false, 11},  {64, false, 11},  {68, false, -1}, {100, false, 12},
        {144, false, 12}, {149, false, 13}, {177, false, 13}, {15, false, -1}, {1, true, 14},   {41, true, 14},
        {45, true, 15},  {93, true, 15},  {97, true, 16},   {113, true, 16},  {117, true, 17}, {149, true, 17},
        {153, true, 18}, {185, true, 18}, {189, true, 19},  {233, true, 19},  {235, true, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Limit(c.channel, 1, c.sixGhz), c.limit) << c.channel << (c.sixGhz ? " (6 GHz)" : "");
    }
    // No SAR table: no limit.
    Sar().QzdsMode = 0;
    EXPECT_EQ(Limit(1, 1), -1);
    EXPECT_EQ(Limit(1, 1, true), -1);
}

TEST_F(SarTest, DynamicMode2LowersTheMainTablesOnly)
{
    WithRegulatoryMethod(2, 1);
    SarRow(1, {0, 5, 20, 0, 0, 0, 5, 20});
    EXPECT_EQ(Limit(1, 2), 0);     // 5 - 6 stops at 0
    EXPECT_EQ(Limit(36, 2), 14);
    EXPECT_EQ(Limit(36, 1), 20);
    EXPECT_EQ(Limit(1, 1, true), 5);    // the one-stream 6 GHz table (chain 1)
    EXPECT_EQ(Limit(45, 2, true), 14);
    EXPECT_EQ(Limit(45, 1, true), 20);
}

TEST_F(SarTest, GeographicOffsetIsCappedByItsMaximum)
{
    WithRegulatoryMethod(1, 1);
    SarRow(1, {0, 30, 30, 0, 30, 30, 30});
    Sar().GeoValid = 1;
    Sar().QzgsRows = 3;
    Sar().QzgsCl[4] = 1;  // version 1: US row 1
    Country("US");
    struct Case {
        int max24, offset24, max5, offset5, max6, offset6;
        int expect24, expect5, expect6;
    };
    const Case cases[] = {
        {32, 4, 40, 4, 33, 2, 32, 34, 32},
        {40, 0, 20, 9, 30, 0, 30, 20, 30},
    };
    for (const Case& c : cases) {
        GeoRow(1, {0, c.max24, c.offset24, c.max5, c.offset5, c.max6, c.offset6});
        EXPECT_EQ(Limit(6, 1), c.expect24);
        EXPECT_EQ(Limit(100, 1), c.expect5);
        EXPECT_EQ(Limit(1, 1, true), c.expect6);
    }
}

TEST_F(SarTest, GeographicRowOfEachCountryByVersion)
{
    struct Case {
        int version;
        const char* country;
        int row;
    };
    const Case cases[] = {
        {1, "US", 1}, {1, "TW", 1}, {1, "FR", 2}, {1, "JP", 2}, {1, "KR", 2}, {1, "BR", 3},
        {2, "CA", 1}, {2, "DE", 2}, {2, "NZ", 2}, {2, "KR", 3}, {2, "JP", 4}, {2, "CN", 5},
        {3, "TW", 1}, {3, "JP", 2}, {3, "AU", 3}, {3, "IN", 4},
        {4, "US", 1}, {4, "GB", 2}, {4, "KR", 3}, {4, "JP", 4}, {4, "TW", 5}, {4, "MX", 6},
        {5, "JP", 1}, {0, "FR", 1},
    };
    Sar().RegulatoryMethodPresent = 1;
    for (const Case& c : cases) {
        Sar().QzgsCl[4] = static_cast<UCHAR>(c.version);
        Country(c.country);
        SarVersionCountryMapping(adapter_.get());
        EXPECT_EQ(Sar().GeoRow, c.row) << "version " << c.version << " " << c.country;
    }
}

TEST_F(SarTest, RowsThePlatformDidNotGiveFallBackToRow1)
{
    WithRegulatoryMethod(1, 2);
    SarRow(1, {0, 21});
    SarRow(2, {0, 22});
    SarRow(3, {0, 23});  // beyond the two rows given
    for (const auto& [table, expect] : std::vector<std::pair<int, int>>{{1, 21}, {2, 22}, {3, 21}, {8, 21}, {0, 21}}) {
        Sar().ActiveSarTable = static_cast<ULONG>(table);
        EXPECT_EQ(Limit(1, 1), expect) << "table " << table;
    }
    // The geographic row of "all others" in version 4 (row 6) when only three were given: row 1.
    Sar().ActiveSarTable = 1;
    Sar().GeoValid = 1;
    Sar().QzgsRows = 3;
    Sar().QzgsCl[4] = 4;
    GeoRow(1, {0, 15, 0});
    GeoRow(6, {0, 50, 0});
    Country("MX");
    EXPECT_EQ(Limit(1, 1), 15);
    // 6 GHz limits exist only in the rows of the regulatory method's form.
    Sar().RegulatoryMethodPresent = 0;
    Sar().GeoValid = 0;
    EXPECT_EQ(Limit(1, 1, true), -1);
}

TEST_F(SarTest, TimeAveragedSarByChipAndCountry)
{
    struct Case {
        uint16_t chip;
        int valid;
        const char* country;
        int bitmap;  // byte 6 of the method
        bool expect;
    };
    const Case cases[] = {
        {0x3601, 1, "FR", 0x80, true}, {0x3601, 1, "FR", 0x60, false}, {0x3601, 1, "CA", 0x40, true},
        {0x3601, 1, "US", 0x20, true}, {0x3601, 1, "US", 0xC0, false}, {0x0C03, 1, "US", 0x20, true},
        {0x3601, 0, "US", 0xFF, false}, {0x3602, 1, "US", 0xFF, false}, {0x3502, 1, "FR", 0xFF, false},
    };
    for (const Case& c : cases) {
        Chip(c.chip);
        Country(c.country);
        Sar().QzasValid = static_cast<UCHAR>(c.valid);
        Sar().Qzas[6] = static_cast<UCHAR>(c.bitmap);
        EXPECT_EQ(TASarSupportOrNot(adapter_.get()) != FALSE, c.expect) << std::hex << c.chip << " " << c.country << " " << c.bitmap;
    }
}

// ---- texts the firmware receives -----------------------------------------------------------------------------
class SarTextsTest : public fwcmdstest::FwCmdsTest {
protected:
    void SetUp() override
    {
        fwcmdstest::FwCmdsTest::SetUp();
        SetUpChip(fwcmdstest::kThirdGen);
        ClearSent();
    }
    // The chip-configuration texts among the sent commands, in order.
    std::vector<std::string> Texts()
    {
        std::vector<std::string> out;
        for (const fwcmdstest::Bytes& b : Sent()) {
            const std::string bytes(b.begin(), b.end());
            for (const char* key : {"coex tasar_set", "ra1ss1t6g"}) {
                const size_t at = bytes.find(key);
                if (at != std::string::npos) {
                    out.push_back(bytes.substr(at, bytes.find('\0', at) - at));
                    // The length field (4 bytes ahead of the text) holds the text's length.
                    EXPECT_EQ(static_cast<size_t>(b[at - 4] | (b[at - 3] << 8)), out.back().size());
                }
            }
        }
        return out;
    }
    SAR_BIOS_TABLES& Sar() { return adapter_->SarRegulatory; }
};

TEST_F(SarTextsTest, TimeAveragedSarSendsTheTenRanges)
{
    Sar().RegulatoryMethodPresent = 1;
    Sar().QzdsMode = 1;
    Sar().QzdsRows = 1;
    Sar().ActiveSarTable = 1;
    const UCHAR row[12] = {0, 30, 31, 0, 32, 33, 34, 35, 36, 37, 38, 39};
    std::memcpy(&Sar().QzdsCl[7], row, sizeof(row));
    EXPECT_EQ(TASarUpdatePwrLimit(adapter_.get()), STATUS_SUCCESS);
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "coex tasar_set 0 1",                 "coex tasar_set 12 0 0 1 14 30",
                           "coex tasar_set 12 1 1 36 64 31",     "coex tasar_set 12 2 1 100 144 32",
                           "coex tasar_set 12 3 1 149 177 33",   "coex tasar_set 12 4 2 1 41 34",
                           "coex tasar_set 12 5 2 45 93 35",     "coex tasar_set 12 6 2 97 113 36",
                           "coex tasar_set 12 7 2 117 149 37",   "coex tasar_set 12 8 2 153 185 38",
                           "coex tasar_set 12 9 2 189 233 39"}));
    ClearSent();
    EXPECT_EQ(TASarTurnOff(adapter_.get()), STATUS_SUCCESS);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"coex tasar_set 0 0"}));
}

TEST_F(SarTextsTest, AMissingRangeLimitIsReported)
{
    // Rows of the 6-element form carry no 6 GHz limits: the six 6 GHz ranges are not sent, and the
    // failure is reported even though the last range's send would not have told it.
    Sar().QzdsMode = 1;
    Sar().QzdsRows = 1;
    Sar().ActiveSarTable = 1;
    Sar().Qzds[7] = 30;
    EXPECT_EQ(TASarUpdatePwrLimit(adapter_.get()), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Texts().size(), 5u);
}

TEST_F(SarTextsTest, RateSwitchesOf6Ghz)
{
    struct Case {
        ULONG on, ofdmOnly, offsetOn;
        USHORT offset;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {1, 1, 0, 0, {"ra1ss1t6g 1", "ra1ss1t6gOfdmOnly 1", "ra1ss1t6gPwrOfstEn 0", "ra1ss1t6gPwrOfst 0"}},
        {0, 1, 1, 5, {"ra1ss1t6g 0"}},
        {2, 0, 1, 20, {"ra1ss1t6g 0", "ra1ss1t6gOfdmOnly 0", "ra1ss1t6gPwrOfstEn 1", "ra1ss1t6gPwrOfst 20"}},
    };
    for (const Case& c : cases) {
        ClearSent();
        adapter_->RegistryBlock.Ra1ss1t6g = c.on;
        adapter_->RegistryBlock.Ra1ss1t6gOfdmOnly = c.ofdmOnly;
        adapter_->RegistryBlock.Ra1ss1t6gPwrOfstEn = c.offsetOn;
        adapter_->RegistryBlock.Ra1ss1t6gPwrOfst = c.offset;
        EXPECT_EQ(skuTableControl6GRaMode(adapter_.get()), STATUS_SUCCESS);
        EXPECT_EQ(Texts(), c.texts);
    }
}

}  // namespace
}  // namespace regdomaintest
