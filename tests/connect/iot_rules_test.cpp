// The built-in IoT access-point rules: a main-table access point gets action 7 and the row's flag in
// the BSS information the firmware receives once the link is up; a lab-table access point makes the
// driver write its chip registers on the three seconds after a link up, on the chips that take them.
#include "Common/bss_iot.h"
#include "Common/qzcmd_bss.h"
#include "connect/join_fixture.h"

#include <array>

namespace jointest {
namespace {

using Bssid = std::array<UCHAR, 6>;

// The main table, row by row: BSSID and flag (action 7 in every row).
const struct {
    Bssid bssid;
    UCHAR flag;
} kMain[17] = {
    {{0xEC, 0x17, 0x2F, 0x0A, 0xDA, 0x38}, 0}, {{0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xC0}, 1},
    {{0x5C, 0x63, 0xBF, 0x1F, 0xAF, 0x8C}, 0}, {{0x38, 0x83, 0x45, 0x10, 0x7E, 0x38}, 0},
    {{0x8C, 0x21, 0x0A, 0x15, 0xCF, 0x80}, 0}, {{0x38, 0x83, 0x45, 0x03, 0x0F, 0xCA}, 0},
    {{0x60, 0xE3, 0x27, 0x8D, 0xC8, 0xD8}, 0}, {{0xBC, 0xD1, 0x77, 0x08, 0x03, 0xA3}, 0},
    {{0xEC, 0x17, 0x2F, 0x11, 0xA0, 0x34}, 0}, {{0x8C, 0x21, 0x0A, 0x0D, 0x50, 0x16}, 0},
    {{0x38, 0x83, 0x45, 0x10, 0x7B, 0xC8}, 0}, {{0x38, 0x83, 0x45, 0x10, 0x80, 0x1A}, 0},
    {{0xBC, 0xD1, 0x77, 0x07, 0xED, 0x5F}, 0}, {{0x38, 0x83, 0x45, 0x09, 0x90, 0x58}, 0},
    {{0x38, 0x83, 0x45, 0x10, 0x83, 0x9E}, 0}, {{0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xE4}, 0},
    {{0x74, 0xEA, 0x3A, 0x7A, 0xB7, 0x20}, 0},
};
const Bssid kLabRows[2] = {{0x38, 0x83, 0x45, 0x09, 0x90, 0x58}, {0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xC0}};
const Bssid kUnknown = {0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xC1};

class IotRules : public JoinTest {
protected:
    void Connect(const Bssid& bssid)
    {
        std::memcpy(port0_->Bssid, bssid.data(), 6);
        port0_->ConnectionFlags |= 0x81;  // linked and media connected, as the link up leaves it
    }

    // Bytes 49 (flag) and 61 (action) of the last BSS information, from either format.
    std::pair<int, int> FlagAndAction()
    {
        EXPECT_TRUE(qzl_test::Settle());
        std::optional<sim::fw::BssRecord> bss = Records().Bss(0);
        ClearSent();
        if (!bss) {
            ADD_FAILURE() << "no BSS information";
            return {-1, -1};
        }
        if (!bss->unified) {
            EXPECT_EQ(bss->info.size(), 116u);
            return {bss->info[49], bss->info[61]};
        }
        auto tag = bss->tags.find(0x18);
        if (tag == bss->tags.end() || tag->second.size() < 2) {
            ADD_FAILURE() << "no IoT tag";
            return {-1, -1};
        }
        return {tag->second[0], tag->second[1]};
    }
};

TEST_F(IotRules, EveryMainRowPutsActionSevenAndItsFlagIntoTheBssInformation)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpStation(id);
        adapter_->WorkingCfg.EnDefaultIotApRule = 1;
        for (size_t row = 0; row < 17; ++row) {
            Connect(kMain[row].bssid);
            adapter_->IotApRuleMatched = 0xEE;
            ASSERT_EQ(QzCmdSetBssInfo(adapter_.get(), port0_, 0), STATUS_SUCCESS);
            EXPECT_EQ(FlagAndAction(), (std::pair<int, int>{kMain[row].flag, 7})) << std::hex << id << " row " << row;
            EXPECT_EQ(bssGetIotApAction(adapter_.get(), port0_), 7u);
        }
        // No row, or the rules off: the builder's defaults, nothing remembered.
        Connect(kUnknown);
        adapter_->IotApRuleMatched = 0;
        ASSERT_EQ(QzCmdSetBssInfo(adapter_.get(), port0_, 0), STATUS_SUCCESS);
        EXPECT_EQ(FlagAndAction(), (std::pair<int, int>{0, 0}));
        adapter_->WorkingCfg.EnDefaultIotApRule = 0;
        Connect(kMain[1].bssid);
        ASSERT_EQ(QzCmdSetBssInfo(adapter_.get(), port0_, 0), STATUS_SUCCESS);
        EXPECT_EQ(FlagAndAction(), (std::pair<int, int>{0, 0}));
        EXPECT_EQ(adapter_->IotApRuleMatched, 0);
        // Before the link is up the table is not consulted.
        adapter_->WorkingCfg.EnDefaultIotApRule = 1;
        port0_->ConnectionFlags &= ~0x81u;
        ASSERT_EQ(QzCmdSetBssInfo(adapter_.get(), port0_, 0), STATUS_SUCCESS);
        EXPECT_EQ(FlagAndAction(), (std::pair<int, int>{0, 0}));
        TearDown();
        SetUp();
    }
    EXPECT_EQ(bssGetIotApAction(nullptr, nullptr), 0u);
}

TEST_F(IotRules, TheLabTableAnswersItsActionOnlyForItsRows)
{
    SetUpStation(kSecondGen);
    adapter_->WorkingCfg.EnDefaultIotApRule = 1;
    for (const Bssid& b : kLabRows) {
        Connect(b);
        EXPECT_EQ(bssCheckIotApActionForLAB(adapter_.get(), port0_), 2);
    }
    Connect(kMain[0].bssid);
    EXPECT_EQ(bssCheckIotApActionForLAB(adapter_.get(), port0_), 0) << "a main row is no lab row";
    adapter_->WorkingCfg.EnDefaultIotApRule = 0;
    Connect(kLabRows[1]);
    EXPECT_EQ(bssCheckIotApActionForLAB(adapter_.get(), port0_), 0);
    EXPECT_EQ(bssCheckIotApActionForLAB(nullptr, port0_), 0);
    EXPECT_FALSE(bssProcessIotApActionForLAB(nullptr, port0_, 2));
}

TEST_F(IotRules, TheLabCounterRunsThreeTicksAfterALinkUpOnEveryChip)
{
    // On a chip without the lab registers the counter runs 1, 2, 3 and back to 0 without a register
    // access (the seam of this fixture has no register file: an access would trace a failure).
    SetUpStation(kSecondGen);
    adapter_->WorkingCfg.EnDefaultIotApRule = 1;
    Connect(kLabRows[1]);
    adapter_->IotLabCounter = 1;
    const ULONG expected[] = {2, 3, 0, 0};
    for (ULONG e : expected) {
        bssIotLabTick(adapter_.get(), port0_);
        EXPECT_EQ(adapter_->IotLabCounter, e);
    }
}

}  // namespace
}  // namespace jointest
