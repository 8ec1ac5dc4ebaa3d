// The channel plans of 2.4 and 5 GHz, written out here as the regulatory text gives them, checked
// country by country against the channel list the driver builds; and the plan rules that the table
// alone does not show.
#include <map>

#include "regdomain/regdomain_fixture.h"

namespace regdomaintest {
namespace {

struct Run {
    int band, first, last, step, flags;
};
struct Reduction {
    const char* countries;
    std::vector<int> keep;
};
struct PlanRow {
    int number;
    const char* countries;
    std::vector<Run> runs;
    std::vector<Reduction> reductions;
};

constexpr int D = 0x0008;  // radar
constexpr int R = 0x0002;  // restricted
Run B2(int first, int last, int flags = 0) { return {1, first, last, 1, flags}; }
Run B5(int first, int last, int flags = 0) { return {2, first, last, 4, flags}; }

const std::vector<Run> kRuns0 = {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 116, D), B5(120, 128, D), B5(132, 140, D), B5(144, 144, D), B5(149, 165)};
const std::vector<Run> kRuns1 = {B2(1, 11), B2(12, 13, R), B5(36, 48), B5(52, 64, D), B5(100, 116, D), B5(120, 128, D), B5(132, 144, D), B5(149, 165)};
const std::vector<Run> kRuns5 = {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 140, D), B5(144, 144, D), B5(149, 165)};
const std::vector<Run> kRuns7 = {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 144, D), B5(149, 165)};

const std::vector<PlanRow>& Plans()
{
    static const std::vector<PlanRow> plans = {
        {0, "TW SV CO CR EC GT BR AE HK SG VN TH KH LA CL LK MN MO PH PE DO VU UA BY HN AG AW VG DM GD NI KN LC VC PY TT LB LR NA CW BZ CK HT MF NU SB SR TK GY NZ MP",
         kRuns0,
         {{"CR KH PH UA BY AG GD VC LR CW BZ HT SR", {0, 1, 2, 3, 4, 5, 7}}, {"BR", {0, 1, 2, 3, 5, 7}}, {"CK NZ", {0, 1, 2, 3, 5, 6, 7}}}},
        {1, "US CA PR VI GU MH AS FM PW", kRuns1, {{"CA", {0, 1, 2, 3, 4, 6, 7}}}},
        {2, "US CA", kRuns1, {{"US", {0, 2, 3, 4, 5, 6, 7}}, {"CA", {0, 2, 3, 4, 6, 7}}}},
        {3, "CN BN PA VE UY MV IN BB AO BH", {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 144, D), B5(144, 144, D), B5(149, 165)},
         {{"CN VE UY MV BH", {0, 1, 2, 5}}, {"PA IN", {0, 1, 2, 3, 5}}}},
        {4, "JP", {B2(1, 13), B2(14, 14, R), B5(36, 48), B5(52, 64, D), B5(100, 144, D)}, {}},
        {5, "GB AT BE BG CY CZ DK EE FR FI DE GR HU IS IT IE LV LI LT LU MT NL NO PL PT RO SK SI ES SE CH ZA TR HR KR AZ AL BJ BA PF GA GI GL LS LY MK ML MD MC ME MZ TZ TG ZM GE MW SZ AD CM CV GG TF VA FO",
         kRuns5,
         {{"GB AT BE BG CY CZ DK EE FR FI DE GR HU IS IT IE LV LI LT LU MT NL NO PL PT RO SK SI ES SE CH ZA TR HR KR BJ BA GL LS MC MZ TG CV GG VA", {0, 1, 2, 3, 5}}}},
        {6, "AU MX AR FJ CC CX", kRuns0, {{"AU", {0, 1, 2, 3, 5, 7}}, {"CC CX AR", {0, 1, 2, 3, 5, 6, 7}}}},
        {7, "SA UG", kRuns7, {}},
        {8, "RS MM AF NC TC BI BF CF TD CD CG GQ ET GM GH GP GW GN MG MQ MU OM RE SN ZW GF IO MR NR PN SL ST TM WF YT ER SO AN PM EU",
         kRuns5,
         {{"RS AF NC BI BF CF TD GM GP GW GN MG MQ MU OM ZW MR NR SL TM YT ER SO AN EU", {0, 1, 2, 3, 5}},
          {"MM TC", {0, 5}},
          {"ET SN GF ST", {0, 1, 2, 3}},
          {"RE", {0}}}},
        {9, "MY", {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 128, D), B5(149, 165)}, {}},
        {10, "PK BD JM QA BT IR", kRuns5, {{"PK BD", {0, 5}}, {"JM", {0, 1, 2, 3, 5}}}},
        {11, "KP", {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 124, D), B5(149, 161)}, {}},
        {12, "AI BS BM KY", kRuns7, {}},
        {13, "PG", {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 116, D), B5(132, 140, D), B5(149, 165)}, {}},
        {14, "NE IL EG KW MA DZ TN UZ",
         {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 100, D), B5(104, 108, D), B5(112, 112, D), B5(116, 128, D), B5(132, 140, D), B5(144, 144, D), B5(149, 165)},
         {{"NE IL", {0, 1, 2, 3, 4, 5, 6, 7, 9}}, {"EG MA TN", {0, 1, 2}}, {"DZ", {0, 1, 2, 9}}, {"UZ", {0, 1, 2, 4, 6}}}},
        {15, "NP", {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(149, 161)}, {}},
        {16, "WS KE", kRuns7, {}},
        {17, "RU KZ AM KG", {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 128, D), B5(132, 140, D), B5(144, 144, D), B5(149, 165)},
         {{"RU", {0, 1, 2, 4, 5, 6}}, {"KG", {0, 1, 2, 3, 4, 6}}}},
        {18, "ID", {B2(1, 13), B5(36, 48, D), B5(52, 64, D), B5(149, 161)}, {}},
        {19, "MS", {B2(1, 11), B5(36, 48), B5(52, 64, D), B5(100, 144, D), B5(149, 165)}, {}},
        {20, "BO NG", kRuns7, {{"NG", {0, 2, 4}}}},
        {21, "IQ JO", {B2(1, 13), B5(36, 48), B5(149, 165)}, {}},
        {22, "CI", {B2(1, 13), B5(36, 48)}, {}},
        {23, "RW", kRuns7, {}},
        {24, "SC", {B2(1, 13), B5(100, 140, D), B5(149, 165)}, {}},
        {25, "TO TV CU SY", kRuns5, {{"TV", {0, 1, 2, 3, 5}}}},
        {26, "YE", {B2(1, 13), B5(36, 48), B5(52, 64, D), B5(100, 140, D), B5(149, 165)}, {}},
        {27, "DF", {B2(1, 11), B2(12, 14, R), B5(36, 48, R), B5(52, 64, D), B5(100, 144, D), B5(149, 165, R)}, {}},
    };
    return plans;
}

std::vector<Channel> Expand(const PlanRow& plan, const std::string& country)
{
    std::vector<int> slots;
    for (size_t i = 0; i < plan.runs.size(); ++i) {
        slots.push_back(static_cast<int>(i));
    }
    for (const Reduction& r : plan.reductions) {
        bool found = false;
        for (const std::string& c : Countries(r.countries)) {
            found = found || c == country;
        }
        if (found) {
            slots = r.keep;
            break;
        }
    }
    std::vector<Channel> out;
    for (int s : slots) {
        const Run& run = plan.runs.at(static_cast<size_t>(s));
        AddRun(out, run.band, run.first, run.last, run.step, run.flags);
    }
    return out;
}

// Every country of every plan gets the channels of the first plan that names it, reduced as the
// plan's reductions say; the default plan's key "DF" and unknown countries get the default plan.
TEST_F(RegDomainTest, EveryCountryOfEveryPlanGetsItsChannels)
{
    adapter_->Cap.SixGCapable = 0;  // 6 GHz kept out of the list here
    std::map<std::string, int> firstPlan;
    int checked = 0;
    for (const PlanRow& plan : Plans()) {
        for (const std::string& country : Countries(plan.countries)) {
            if (firstPlan.count(country) != 0) {
                continue;
            }
            firstPlan[country] = plan.number;
            EXPECT_EQ(Build(country.c_str()), Expand(plan, country)) << country << " of plan " << plan.number;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 226) << "distinct countries named by the plans";
    for (const char* unknown : {"ZZ", "QQ", "00", "WW"}) {
        EXPECT_EQ(Build(unknown), Expand(Plans().back(), unknown)) << unknown;
    }
}

TEST_F(RegDomainTest, UnknownCountryGetsTheDefaultPlan)
{
    adapter_->Cap.SixGCapable = 0;
    std::vector<Channel> expected;
    AddRun(expected, 1, 1, 11, 1, 0);
    AddRun(expected, 1, 12, 14, 1, 0x0002);
    AddRun(expected, 2, 36, 48, 4, 0x0002);
    AddRun(expected, 2, 52, 64, 4, 0x0008);
    AddRun(expected, 2, 100, 144, 4, 0x0008);
    AddRun(expected, 2, 149, 165, 4, 0x0002);
    const std::vector<Channel> list = Build("ZZ");
    EXPECT_EQ(list, expected);
    EXPECT_EQ(list.size(), 14u + 25u);
    EXPECT_EQ(DomainGetChannelCountByBand(adapter_.get(), 1), 14u);
    EXPECT_EQ(DomainGetChannelCountByBand(adapter_.get(), 2), 25u);
    EXPECT_EQ(DomainGetChannelCountByBand(adapter_.get(), 5), 0u);
    EXPECT_EQ(DomainGetChannelCountByBand(adapter_.get(), 3), 0u);
}

bool Has(const std::vector<Channel>& list, int channel, int band = 2)
{
    for (const Channel& c : list) {
        if (c.channel == channel && c.band == band) {
            return true;
        }
    }
    return false;
}

TEST_F(RegDomainTest, ReductionsAndTheAlternatePlan)
{
    adapter_->Cap.SixGCapable = 0;
    std::vector<Channel> ca = Build("CA");
    for (int c : {120, 124, 128}) {
        EXPECT_FALSE(Has(ca, c)) << c;
    }
    EXPECT_TRUE(Has(ca, 116));
    EXPECT_TRUE(Has(Build("US"), 12, 1));
    adapter_->SarRegulatory.AlternatePlan = 1;  // platform feature 0
    std::vector<Channel> us = Build("US");
    EXPECT_FALSE(Has(us, 12, 1));
    EXPECT_FALSE(Has(us, 13, 1));
    EXPECT_TRUE(Has(us, 11, 1));
    EXPECT_TRUE(Has(us, 120));
    ca = Build("CA");
    EXPECT_FALSE(Has(ca, 12, 1));
    EXPECT_FALSE(Has(ca, 120));
    EXPECT_TRUE(Has(Build("PR"), 12, 1)) << "the alternate plan holds only US and CA";
}

TEST_F(RegDomainTest, UnreducedCountryOfPlan3ListsChannel144Twice)
{
    adapter_->Cap.SixGCapable = 0;
    int seen = 0;
    for (const Channel& c : Build("BN")) {
        seen += c.channel == 144 ? 1 : 0;
    }
    EXPECT_EQ(seen, 2);
}

// ---- 5.9 GHz --------------------------------------------------------------------------------------
TEST_F(RegDomainTest, FiveDotNineGhzByMode)
{
    struct Row {
        uint16_t chip;
        int mode;
        const char* country;
        bool platformMethod;
        int platformMode;
        uint8_t bitmap0, bitmap3;
        bool added;
    } rows[] = {
        {0x3602, 0, "US", false, 0, 0, 0, false},
        {0x3602, 2, "US", false, 0, 0, 0, true},
        {0x3602, 2, "TW", false, 0, 0, 0, true},
        {0x3602, 2, "CA", false, 0, 0, 0, false},
        {0x3602, 1, "US", true, 1, 0, 0x08, false},   // not a chip that follows the platform
        {0x3601, 1, "TW", true, 1, 0xFF, 0xFF, false}, // mode 1 lists US only
        {0x3601, 1, "US", true, 1, 0, 0x08, true},     // US is bit 28
        {0x3601, 1, "US", true, 1, 0, 0x10, false},
        {0x3601, 1, "US", false, 1, 0, 0x08, false},   // no regulatory method
        {0x3601, 1, "US", true, 0, 0, 0x08, false},
        {0x3601, 1, "US", true, 2, 0, 0x08, false},
        {0x0C02, 1, "US", true, 1, 0, 0x08, true},
        {0x3502, 1, "US", true, 1, 0, 0x08, false},
        {0x3501, 1, "US", true, 1, 0, 0x08, true},
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        adapter_->Cap.SixGCapable = 0;
        adapter_->RegistryBlock.Country59GEn = static_cast<UCHAR>(r.mode);
        adapter_->SarRegulatory.RegulatoryMethodPresent = r.platformMethod;
        adapter_->SarRegulatory.Qzcl[12] = static_cast<UCHAR>(r.platformMode);
        adapter_->SarRegulatory.Qzcl[13] = r.bitmap0;
        adapter_->SarRegulatory.Qzcl[16] = r.bitmap3;
        const std::vector<Channel> list = Build(r.country);
        const std::string what = std::string(r.country) + " mode " + std::to_string(r.mode) + " chip " + std::to_string(r.chip);
        EXPECT_EQ(Has(list, 169), r.added) << what;
        if (r.added) {
            std::vector<Channel> tail(list.end() - 3, list.end());
            EXPECT_EQ(tail, (std::vector<Channel>{{169, 2, 0}, {173, 2, 0}, {177, 2, 0}})) << what;
        }
    }
}

// ---- 6 GHz ----------------------------------------------------------------------------------------
std::vector<Channel> SixGhz(const std::vector<Channel>& list)
{
    std::vector<Channel> out;
    for (const Channel& c : list) {
        if (c.band == 3) {
            out.push_back(c);
        }
    }
    return out;
}
std::vector<Channel> SixGhzRun(int last)
{
    std::vector<Channel> out;
    AddRun(out, 3, 1, last, 4, 0);
    return out;
}

TEST_F(RegDomainTest, SixGhzPlansOfTheChipTables)
{
    struct Row {
        uint16_t chip;
        const char* country;
        bool tableLoaded;
        int last;  // 0: no 6 GHz
    } rows[] = {
        {0x3603, "US", true, 233}, {0x3603, "US", false, 0}, {0x3603, "GB", true, 93}, {0x3603, "CO", true, 233},
        {0x3603, "TR", true, 93},  {0x3603, "BR", true, 0},  {0x3601, "BR", true, 233}, {0x3601, "RU", true, 93},
        {0x3601, "CO", true, 233}, {0x3602, "MX", true, 0},  {0x0C04, "KR", true, 233}, {0x0C03, "UZ", true, 233},
        {0x3502, "US", true, 0},   {0x3501, "US", true, 0},
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        adapter_->RegistryBlock.Country6GEn = 1;
        if (r.tableLoaded) {
            Load6GhzTable();
        }
        const std::vector<Channel> six = SixGhz(Build(r.country));
        EXPECT_EQ(six, r.last != 0 ? SixGhzRun(r.last) : std::vector<Channel>{}) << r.country << " chip " << r.chip;
    }
    Chip(0x3603);
    adapter_->RegistryBlock.Country6GEn = 1;
    Load6GhzTable();
    EXPECT_EQ(SixGhz(Build("US")).size(), 59u);
    EXPECT_EQ(DomainGetChannelCountByBand(adapter_.get(), 5), 59u);
}

TEST_F(RegDomainTest, SixGhzFollowsThePlatformWhenItHasTheRegulatoryMethod)
{
    struct Row {
        const char* country;
        int mode;
        uint8_t bitmap[4];
        bool added;
    } rows[] = {
        {"US", 0, {0xFF, 0xFF, 0xFF, 0xFF}, false},
        {"US", 2, {0, 0, 0, 0}, true},
        {"MX", 2, {0, 0, 0, 0}, false},  // no plan of the table holds MX
        {"US", 1, {0, 0, 0, 0x08}, true},
        {"US", 1, {0xBF, 0xFF, 0xFF, 0xF7}, false},
        {"FR", 1, {0x40, 0, 0, 0}, true},
        {"CO", 1, {0x80, 0, 0, 0}, true},
        {"US", 3, {0xFF, 0xFF, 0xFF, 0xFF}, false},
    };
    for (const Row& r : rows) {
        Chip(0x3603);
        adapter_->RegistryBlock.Country6GEn = 1;
        Load6GhzTable();
        adapter_->SarRegulatory.RegulatoryMethodPresent = 1;
        adapter_->SarRegulatory.Qzcl[5] = static_cast<UCHAR>(r.mode);
        for (int i = 0; i < 4; ++i) {
            adapter_->SarRegulatory.Qzcl[6 + i] = r.bitmap[i];
        }
        EXPECT_EQ(!SixGhz(Build(r.country)).empty(), r.added) << r.country << " mode " << r.mode;
    }
}

TEST_F(RegDomainTest, FirstIssueSixGhzTableNeedsNoPowerLimitTable)
{
    adapter_->RegistryBlock.Country6GEn = 0;
    EXPECT_EQ(SixGhz(Build("JP")), SixGhzRun(93));
    for (const char* full : {"US", "KR", "TW"}) {
        EXPECT_EQ(SixGhz(Build(full)), SixGhzRun(233)) << full;
    }
    EXPECT_TRUE(SixGhz(Build("GB")).empty());
    EXPECT_TRUE(SixGhz(Build("MX")).empty());
}

TEST_F(RegDomainTest, UnusableSixGhzStaysInThePlanButNotInTheList)
{
    struct Row {
        const char* what;
        void (*spoil)(MP_ADAPTER*);
    } rows[] = {
        {"no capability", [](MP_ADAPTER* a) { a->Cap.SixGCapable = 0; }},
        {"Config_6G bit 0 clear", [](MP_ADAPTER* a) { a->RegistryBlock.Config_6G = 0xFE; }},
        {"5 GHz reported off", [](MP_ADAPTER* a) { a->Only24G = 1; }},
    };
    for (const Row& r : rows) {
        Chip(0x3602);
        r.spoil(adapter_.get());
        const std::vector<Channel> list = Build("US");
        EXPECT_TRUE(SixGhz(list).empty()) << r.what;
        const int used = UsedSlots();
        ASSERT_GE(used, 1);
        const CHANNEL_PLAN_SUBBAND& last = adapter_->Country.Plan.Subbands[used - 1];
        EXPECT_EQ(last.Band, 3) << r.what;
        EXPECT_EQ(last.FirstChannel, 1);
        EXPECT_EQ(last.ChannelCount, 59);
        EXPECT_EQ(last.ChannelSpacing, 4);
        EXPECT_EQ(last.OperatingClass, 131);
    }
    Chip(0x3504);  // a chip without the band
    EXPECT_TRUE(SixGhz(Build("US")).empty());
}

TEST_F(RegDomainTest, SixGhzAppendLeavesOneSlotEmpty)
{
    for (int used : {10, 11}) {
        Country("US");
        std::memset(&adapter_->Country.Plan, 0, sizeof(adapter_->Country.Plan));
        for (int i = 0; i < used; ++i) {
            adapter_->Country.Plan.Subbands[i] = CHANNEL_PLAN_SUBBAND{81, 1, 1, 1, 1, 0, 0};
        }
        DomainGetDomainInfo6g(adapter_.get(), Key("US"));
        EXPECT_EQ(UsedSlots(), used == 10 ? 11 : 11) << used;
        EXPECT_EQ(adapter_->Country.Plan.Subbands[10].Band, used == 10 ? 3 : 1) << used;
    }
}

TEST_F(RegDomainTest, PlanSlotsKeepTheOrderTheConsumersRelyOn)
{
    adapter_->RegistryBlock.Country59GEn = 2;
    const std::vector<Channel> list = Build("US");
    ASSERT_EQ(list.size(), 13u + 25u + 3u + 59u);
    int lastBand = 1;
    for (size_t i = 1; i < list.size(); ++i) {
        EXPECT_GE(list[i].band, lastBand);
        lastBand = list[i].band;
        if (list[i].band == list[i - 1].band && list[i].band != 2) {
            EXPECT_GT(list[i].channel, list[i - 1].channel);
        }
    }
    EXPECT_EQ(list[13 + 25].channel, 169) << "5.9 GHz follows the 5 GHz runs";
    EXPECT_EQ(adapter_->Country.PlanPtr, &adapter_->Country.Plan);
    EXPECT_EQ(adapter_->ChannelLists.AllList.Count, static_cast<LONG>(list.size())) << "the MLME's all-channel list follows";
}

}  // namespace
}  // namespace regdomaintest
