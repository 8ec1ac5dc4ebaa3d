// Channel lists derived from the adapter channel list, the clean-channel choices and the 20/40 marks.
#include "Common/mlme/mlmesync.h"
#include "bss/bss_fixture.h"

namespace bsstest {
namespace {

class ChannelLists : public BssTest {
protected:
    // n scan-table entries on the channel.
    void Heard(UCHAR channel, int n)
    {
        PBSS_TABLE t = adapter_->ScanTable;
        for (int i = 0; i < n; ++i) {
            BSS_ENTRY& e = t->BssEntry[t->EntryCount++];
            e.Channel = channel;
            e.Bssid[5] = static_cast<UCHAR>(t->EntryCount);
        }
    }
    MLME_CHANNEL_LISTS& L() { return adapter_->ChannelLists; }
};

TEST_F(ChannelLists, TheFiveGigahertzListLeavesOutDfsChannelsAndKeepsItsDefaultsWithoutOthers)
{
    SetChannels({{1, BAND_24G}, {52, BAND_5G}, {100, BAND_5G}, {144, BAND_5G}});
    MlmeCreateABChannelList(adapter_);
    ASSERT_EQ(L().AbList.Count, 8);  // unchanged defaults
    EXPECT_EQ(L().AbList.Records[0].Channel, 36);
    EXPECT_EQ(L().AbList.Records[7].Channel, 161);

    SetChannels({{36, BAND_5G}, {64, BAND_5G}, {149, BAND_5G}, {165, BAND_5G}});
    MlmeCreateABChannelList(adapter_);
    ASSERT_EQ(L().AbList.Count, 3);
    EXPECT_EQ(L().AbList.Records[2].Channel, 165);
    adapter_->RegistryBlock.P2P_GO_Band = 2;  // the skip list applies
    MlmeCreateABChannelList(adapter_);
    EXPECT_EQ(L().AbList.Count, 2);
    EXPECT_TRUE(MlmeCheckABSkipChannel(165));
    EXPECT_FALSE(MlmeCheckABSkipChannel(0));
}

TEST_F(ChannelLists, TheCleanChannelPrefersTheLowSideOnlyWhenStrictlyQuieter)
{
    SetChannels({{36, BAND_5G}, {149, BAND_5G}});
    MlmeCreateABChannelList(adapter_);
    struct Case {
        int on36, on149;
        UCHAR clean;
    } cases[] = {{5, 3, 149}, {3, 3, 149}, {2, 3, 36}, {120, 100, 36}};
    for (const Case& c : cases) {
        BssTableInit(adapter_->ScanTable);
        Heard(36, c.on36);
        Heard(149, c.on149);
        MlmeUpdateABCleanChannelList(adapter_);
        EXPECT_EQ(L().AbCleanChannel, c.clean) << c.on36 << "/" << c.on149;
    }
}

TEST_F(ChannelLists, TheAllChannelListStopsAtItsCapacity)
{
    adapter_->Country.ChannelListCount = 150;  // more than the adapter list holds
    for (int i = 0; i < DOMAIN_CHANNEL_MAX; ++i) {
        adapter_->Country.ChannelList[i] = {static_cast<UCHAR>(i + 1), BAND_5G, 0, 0};
    }
    MlmeCreateAllChannelList(adapter_);
    EXPECT_EQ(L().AllList.Count, ALL_CHANNEL_MAX);
    EXPECT_EQ(L().AllList.Records[117].Channel, 118);
    EXPECT_EQ(L().AllList.Records[117].Band, BAND_5G);
}

TEST_F(ChannelLists, BandSelectorsOfTheChannelTest)
{
    SetChannels({{36, BAND_5G}, {37, BAND_6G}, {6, BAND_24G}});
    EXPECT_TRUE(ChannelIsInChannelList(adapter_, 37, CHANNEL_SEL_6G));
    EXPECT_FALSE(ChannelIsInChannelList(adapter_, 37, CHANNEL_SEL_24G_5G));
    EXPECT_FALSE(ChannelIsInChannelList(adapter_, 36, CHANNEL_SEL_6G));
    EXPECT_TRUE(ChannelIsInChannelList(adapter_, 6, CHANNEL_SEL_24G_5G));
    EXPECT_TRUE(ChannelIsInChannelList(adapter_, 37, CHANNEL_SEL_ALL));
    EXPECT_FALSE(ChannelIsInChannelList(adapter_, 40, CHANNEL_SEL_ALL));
}

TEST_F(ChannelLists, CoexistenceMarksOnTheTwoPointFourGigahertzChannels)
{
    SetChannels({{1, BAND_24G}, {14, BAND_24G}, {36, BAND_5G}, {1, BAND_6G}});
    MlmeSyncChnlSetObssMark(adapter_);
    EXPECT_EQ(adapter_->Country.ChannelList[0].Mark, 1);
    EXPECT_EQ(adapter_->Country.ChannelList[1].Mark, 1);
    EXPECT_EQ(adapter_->Country.ChannelList[2].Mark, 0);
    EXPECT_EQ(adapter_->Country.ChannelList[3].Mark, 0);
    MlmeSyncEraseChnlObssMark(adapter_);
    EXPECT_EQ(adapter_->Country.ChannelList[0].Mark, 0);
}

TEST_F(ChannelLists, TheGroupOwnerChannelFallsBackFromFiveToTwoPointFourGigahertz)
{
    MlmeUpdateGoPreferredCleanChannelList(adapter_);  // switch off: nothing chosen
    EXPECT_EQ(L().GoPreferredChannel, 0);
    L().GoPreferredEnable = 1;
    L().GoPreferred5G.Count = 3;
    L().GoPreferred5G.Records[0] = {165, 9, {}, 0};
    L().GoPreferred5G.Records[1] = {149, 8, {}, 0};
    L().GoPreferred5G.Records[2] = {44, 7, {}, 0};
    Heard(149, 2);
    Heard(44, 2);
    MlmeUpdateGoPreferredCleanChannelList(adapter_);
    EXPECT_EQ(L().GoPreferredChannel, 149);  // 165 left out of a longer list; equal counts: high side
    EXPECT_EQ(L().GoPreferredPhyMode, 8);
    L().GoPreferred5G.Count = 0;
    L().GoPreferred24G.Count = 2;
    L().GoPreferred24G.Records[0] = {1, 5, {}, 0};
    L().GoPreferred24G.Records[1] = {6, 5, {}, 0};
    Heard(1, 1);
    MlmeUpdateGoPreferredCleanChannelList(adapter_);
    EXPECT_EQ(L().GoPreferredChannel, 6);
    EXPECT_EQ(L().GoPreferredPhyMode, 0);
    L().GoPreferred24G.Count = 0;
    MlmeUpdateGoPreferredCleanChannelList(adapter_);
    EXPECT_EQ(L().GoPreferredChannel, 0);
}

}  // namespace
}  // namespace bsstest
