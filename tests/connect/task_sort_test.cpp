// Candidate sorting and scoring on a bare adapter: each part of the score row by row, the exchange
// sort with its ties, the 5 GHz-first and target-first reorderings, the candidate filters of a
// connection and the better-AP test of a roam.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmesync_sort.h"
#include "mlme/mlme_fixture.h"

namespace {

class CandidateSort : public mlmetest::MlmeTest {
protected:
    void SetUp() override
    {
        mlmetest::MlmeTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(StartMlme());
        port_ = adapter_->PortList[0];
        port_->PortType = EXTSTA;
        adapter_->RegistryBlock.RoamScanPeriod = 10;
        adapter_->WorkingCfg.NetworkType = 1;
        adapter_->Country.ChannelListCount = 10;  // a filled channel list: an empty AP-count table scores 100
        reposit_ = RepositTableGet(adapter_);
        ASSERT_NE(reposit_, nullptr);
        out_ = new BSS_TABLE();
    }

    void TearDown() override
    {
        delete out_;
        mlmetest::MlmeTest::TearDown();
    }

    static ULONG64 Now()
    {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        return static_cast<ULONG64>(now.QuadPart);
    }

    // A plain 2.4 GHz open entry: PHY 20, bandwidth 20, clients 100, channel 100, band 0.
    static BSS_ENTRY Entry(UCHAR tag, CHAR rssi, const char* ssid = "home", LONG band = 1)
    {
        BSS_ENTRY e{};
        const UCHAR bssid[6] = {0x02, 0x00, 0x00, 0x00, 0x00, tag};
        std::memcpy(e.Bssid, bssid, 6);
        e.Rssi = rssi;
        e.Band = band;
        e.Channel = band == 1 ? 6 : (band == 2 ? 36 : 5);
        e.BssType = 1;
        e.SsidLen = static_cast<UCHAR>(std::strlen(ssid));
        std::memcpy(e.Ssid, ssid, e.SsidLen);
        e.AuthMode = 1;
        e.EncryptionStatus = 0;
        e.LastUpdateTime = Now();
        return e;
    }

    void Reposit(const std::vector<BSS_ENTRY>& entries)
    {
        for (size_t i = 0; i < entries.size(); ++i) {
            reposit_->RepositEntries[i] = entries[i];
        }
        reposit_->RepositCount = static_cast<USHORT>(entries.size());
    }

    std::vector<UCHAR> Tags(const BSS_TABLE& t)
    {
        std::vector<UCHAR> tags;
        for (ULONG i = 0; i < t.EntryCount; ++i) {
            tags.push_back(t.BssEntry[i].Bssid[5]);
        }
        return tags;
    }

    void Sort(const char* ssid)
    {
        BssTableSsidSort(adapter_, port_, out_, reinterpret_cast<const UCHAR*>(ssid),
                         static_cast<UCHAR>(std::strlen(ssid)));
    }

    MP_PORT* port_ = nullptr;
    PREPOSIT_TABLE reposit_ = nullptr;
    BSS_TABLE* out_ = nullptr;
};

TEST_F(CandidateSort, BandScoreRowByRow)
{
    struct Row {
        LONG band;
        CHAR rssi;
        UCHAR preferred;
        ULONG tpPrefer;
        USHORT score;
    } rows[] = {
        {1, -40, 0, 0, 0},  {1, -40, 1, 0, 120}, {1, -40, 1, 1, 600}, {1, -40, 2, 1, 0},   {2, -69, 0, 0, 200},
        {3, -69, 1, 0, 200}, {2, -70, 0, 0, 20}, {2, -70, 2, 0, 60},  {3, -89, 3, 0, 60},  {2, -89, 1, 0, 20},
        {2, -90, 2, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "band " << r.band << " rssi " << int(r.rssi) << " preferred "
                                        << int(r.preferred) << " tp " << r.tpPrefer);
        adapter_->RegistryBlock.PreferredBand = r.preferred;
        adapter_->RegistryBlock.isTPPreferBand = r.tpPrefer;
        BSS_ENTRY e = Entry(1, r.rssi, "home", r.band);
        EXPECT_EQ(scanCalculateScoreByBand(adapter_, &e), r.score);
    }
}

TEST_F(CandidateSort, BandwidthScoreRowByRow)
{
    struct Row {
        bool ht;
        UCHAR htCap0;
        bool vht;
        UCHAR vhtWidth;
        bool he;
        LONG band;
        USHORT score;
    } rows[] = {
        {false, 0, false, 0, false, 1, 20}, {true, 0x02, false, 0, false, 1, 60}, {true, 0x00, false, 0, false, 1, 40},
        {true, 0x02, true, 0, false, 2, 60}, {true, 0x02, true, 1, false, 2, 80}, {true, 0x02, true, 2, false, 2, 100},
        {true, 0x02, true, 3, false, 2, 100}, {true, 0x00, true, 4, false, 2, 40}, {true, 0x02, true, 2, true, 3, 80},
        {true, 0x02, true, 2, true, 2, 100},
    };
    for (const Row& r : rows) {
        BSS_ENTRY e = Entry(1, -50, "home", r.band);
        e.HtCapabilityLen = r.ht ? 26 : 0;
        e.HtCapability[0] = r.htCap0;
        e.VhtPresent = r.vht ? 1 : 0;
        e.VhtOperation[0] = r.vhtWidth;
        e.HePresent = r.he ? 1 : 0;
        EXPECT_EQ(scanCalculateScoreByBandwidth(adapter_, &e), r.score)
            << "ht " << r.ht << " vht " << r.vht << " width " << int(r.vhtWidth) << " he " << r.he;
    }
}

TEST_F(CandidateSort, ClientAndChannelScoresRowByRow)
{
    const std::pair<USHORT, USHORT> clients[] = {{0, 100}, {1, 99}, {10, 90}, {11, 50}, {29, 50}, {30, 0}, {200, 0}};
    for (auto [n, score] : clients) {
        EXPECT_EQ(scanCalculateScoreByClientCnt(n), score) << n << " stations";
    }
    SCAN_AP_NUM_TABLE& t = adapter_->ScanApNum;
    t.RowCount = 3;
    t.Rows[0] = {1, 0, 3};
    t.Rows[1] = {6, 0, 150};
    t.Rows[2] = {11, 0, 0};
    adapter_->Country.ChannelListCount = 3;
    EXPECT_EQ(scanCalculateScoreByChnlInfo(adapter_, 1), 97);
    EXPECT_EQ(scanCalculateScoreByChnlInfo(adapter_, 6), 0) << "100 APs or more";
    EXPECT_EQ(scanCalculateScoreByChnlInfo(adapter_, 11), 100);
    EXPECT_EQ(scanCalculateScoreByChnlInfo(adapter_, 36), 0) << "a channel missing from a table of the whole list";
    adapter_->Country.ChannelListCount = 13;
    EXPECT_EQ(scanCalculateScoreByChnlInfo(adapter_, 36), 100);
    t.RowCount = 0;
    EXPECT_EQ(scanCalculateScoreByChnlInfo(adapter_, 36), 100) << "a table not yet filled";
}

TEST_F(CandidateSort, TotalScoreAddsThePartsAndTheSignal)
{
    // 2.4 GHz, no HT, no load element, empty AP-count table: 20 + 20 + 100 + 100 + 0 = 240 before the signal.
    const std::pair<CHAR, USHORT> rows[] = {{-30, 440}, {-48, 440}, {-49, 436}, {-70, 352}, {-97, 244}, {-98, 240},
                                           {-110, 240}};
    for (auto [rssi, score] : rows) {
        BSS_ENTRY e = Entry(1, rssi);
        EXPECT_EQ(BssEntAddRssiWeight(adapter_, &e, 0), score) << int(rssi) << " dBm";
    }
    BSS_ENTRY e = Entry(1, -98);
    EXPECT_EQ(BssEntAddRssiWeight(adapter_, &e, -48), 440) << "an RSSI given replaces the entry's";
    e.HePresent = 1;
    EXPECT_EQ(scanCalculateTotalScore(adapter_, &e, -98), 320);
    e.QbssLoad.Valid = 1;
    e.QbssLoad.StaCount = 20;
    EXPECT_EQ(scanCalculateTotalScore(adapter_, &e, -98), 270);
    BSS_ENTRY six = Entry(2, -50, "home", 3);
    adapter_->StaConnect.GoPreferredBand = 1;
    EXPECT_EQ(scanCalculateTotalScore(adapter_, &six, -50), 0);
}

TEST_F(CandidateSort, TheExchangeSortPutsTheHighestFirstAndMayReverseTies)
{
    // Scores 352 (tag 1), 312 (tag 2), 352 (tag 3), 392 (tag 4).
    BSS_TABLE& t = *out_;
    t.BssEntry[0] = Entry(1, -70);
    t.BssEntry[1] = Entry(2, -80);
    t.BssEntry[2] = Entry(3, -70);
    t.BssEntry[3] = Entry(4, -60);
    t.EntryCount = 4;
    BssTableSortByRssi(adapter_, &t);
    EXPECT_EQ(Tags(t), (std::vector<UCHAR>{4, 3, 1, 2}));
    EXPECT_EQ(t.BssEntry[0].Score, 392);
    EXPECT_EQ(t.BssEntry[3].Score, 312);
    const UCHAR three[6] = {0x02, 0, 0, 0, 0, 3};
    EXPECT_EQ(BssTableSearchByBssid(adapter_, port_, &t, three), 1) << "the index follows the new order";
}

TEST_F(CandidateSort, FiveGigahertzFirstAndTheTargetFirst)
{
    BSS_TABLE& t = *out_;
    t.BssEntry[0] = Entry(1, -50, "home", 1);
    t.BssEntry[1] = Entry(2, -50, "home", 2);
    t.BssEntry[2] = Entry(3, -50, "home", 1);
    t.BssEntry[3] = Entry(4, -50, "home", 3);
    t.EntryCount = 4;
    BssTableABandFirst(adapter_, &t);
    EXPECT_EQ(Tags(t), (std::vector<UCHAR>{2, 4, 1, 3}));
    const UCHAR target[6] = {0x02, 0, 0, 0, 0, 1};
    std::memcpy(port_->P2pGroupBssid, target, 6);
    BssTableWPSAPFirst(adapter_, port_, &t);
    EXPECT_EQ(Tags(t), (std::vector<UCHAR>{1, 4, 2, 3}));
}

TEST_F(CandidateSort, AnEmptyDesiredListWithoutAcceptAnyYieldsNothing)
{
    Reposit({Entry(1, -50), Entry(2, -60)});
    port_->ConnectConfig.AnyBssid = 0;
    port_->ConnectConfig.CandidateCount = 0;
    Sort("home");
    EXPECT_EQ(out_->EntryCount, 0);
    // The candidate list lets its members through.
    port_->ConnectConfig.CandidateCount = 1;
    std::memcpy(port_->ConnectConfig.CandidateBssids[0], Entry(2, 0).Bssid, 6);
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{2}));
    // So does "Hlk_feature_optional" 0x2000.
    adapter_->RegistryBlock.Hlk_feature_optional = 0x2000;
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{1, 2}));
}

TEST_F(CandidateSort, SsidBandExclusionAndOpenSecurityFilters)
{
    port_->ConnectConfig.AnyBssid = 1;
    port_->Cfg.AuthAlgorithm = 1;
    port_->Cfg.PairwiseCipher = 0;
    BSS_ENTRY secured = Entry(3, -40);
    secured.Privacy = 1;
    Reposit({Entry(1, -50), Entry(2, -45, "other"), secured, Entry(4, -60, "home", 2), Entry(5, -70)});
    port_->ConnectConfig.DisallowedCounter = 1;
    std::memcpy(port_->ConnectConfig.DisallowedBssids[0], Entry(5, 0).Bssid, 6);
    Sort("home");
    // Entry 4 (5 GHz, 200 band points) outscores entry 1.
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{4, 1}));
    adapter_->RegistryBlock.BandSelection = 1;
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{1}));
}

TEST_F(CandidateSort, AWpa2PersonalProfileKeepsAnSaeOnlyNetworkWhenTheCiphersPass)
{
    port_->ConnectConfig.AnyBssid = 1;
    port_->Cfg.AuthAlgorithm = 7;
    port_->Cfg.PairwiseCipher = 4;
    BSS_ENTRY sae = Entry(1, -50);
    sae.AuthMode = 9;
    sae.Privacy = 1;
    sae.RsnCipher.GroupCipher = 4;
    sae.RsnCipher.PairwiseCipher = 4;
    BSS_ENTRY tkipGroup = Entry(2, -50);
    tkipGroup.AuthMode = 7;
    tkipGroup.RsnCipher.GroupCipher = 2;  // a group cipher other than the profile's
    tkipGroup.RsnCipher.PairwiseCipher = 4;
    BSS_ENTRY wpaOnly = Entry(3, -50);
    wpaOnly.AuthMode = 4;
    wpaOnly.WpaCipher.GroupCipher = 4;
    Reposit({sae, tkipGroup, wpaOnly});
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{1, 3})) << "the RSN profiles pass the algorithm test";
    // A WPA-PSK profile needs an entry that offers it.
    port_->Cfg.AuthAlgorithm = 4;
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{3}));
    // Mixed ciphers lift the group-cipher test.
    port_->Cfg.AuthAlgorithm = 7;
    tkipGroup.RsnCipher.MixedCipher = 1;
    Reposit({tkipGroup});
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{2}));
}

TEST_F(CandidateSort, AWepProfileThatExcludesUnencryptedTakesOtherEncryptionOnlyAsAMismatch)
{
    port_->ConnectConfig.AnyBssid = 1;
    port_->Cfg.AuthAlgorithm = 1;
    port_->Cfg.PairwiseCipher = 0x101;
    port_->ExcludeUnencrypted = 1;
    BSS_ENTRY open = Entry(1, -50);
    BSS_ENTRY tkip = Entry(2, -50);
    tkip.Privacy = 1;
    tkip.EncryptionStatus = 2;
    BSS_ENTRY wep = Entry(3, -50);
    wep.Privacy = 1;
    wep.EncryptionStatus = 5;
    Reposit({open, tkip, wep});
    adapter_->RegistryBlock.WepConnectCheckEncry = 1;
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{3}));
    EXPECT_EQ(adapter_->StaConnect.WepMismatchAccepted, 0);
    adapter_->RegistryBlock.WepConnectCheckEncry = 0;
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{2, 3}));
    EXPECT_EQ(adapter_->StaConnect.WepMismatchAccepted, 1);
}

TEST_F(CandidateSort, PreferringFiveGigahertzPutsASixGigahertzChannelFiveBeforeTwoFour)
{
    port_->ConnectConfig.AnyBssid = 1;
    port_->Cfg.AuthAlgorithm = 1;
    Reposit({Entry(1, -40, "home", 1), Entry(2, -85, "home", 3)});
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{1, 2}));
    adapter_->WorkingCfg.PreferABand = 1;
    adapter_->WorkingCfg.ChannelMode = 1;
    Sort("home");
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{2, 1}));
    EXPECT_EQ(out_->BssEntry[0].Channel, 5);
}

TEST_F(CandidateSort, WithoutAWantedSsidEntriesOfTheProfilesEncryptionAreTaken)
{
    port_->ConnectConfig.AnyBssid = 1;
    port_->Cfg.AuthAlgorithm = 1;
    port_->Cfg.PairwiseCipher = 0;
    BSS_ENTRY secured = Entry(2, -50, "cafe");
    secured.EncryptionStatus = 4;
    Reposit({Entry(1, -50, "cafe"), secured, Entry(3, -60, "library")});
    BssTableSsidSort(adapter_, port_, out_, nullptr, 0);
    EXPECT_EQ(Tags(*out_), (std::vector<UCHAR>{1, 3}));
}

TEST_F(CandidateSort, ABetterAccessPointIsAStrongerFreshOneOfTheSameNetwork)
{
    port_->Cfg.AuthAlgorithm = 1;
    EXPECT_TRUE(CheckHasBetterAp(adapter_, port_)) << "no current SSID";
    std::memcpy(port_->CurrentSsid, "home", 4);
    port_->CurrentSsidLen = 4;
    BSS_ENTRY current = Entry(1, -70);
    std::memcpy(port_->Bssid, current.Bssid, 6);
    port_->Channel.Band = 1;
    EXPECT_FALSE(CheckHasBetterAp(adapter_, port_)) << "no roaming candidates";
    BSS_ENTRY weaker = Entry(2, -80);
    BSS_ENTRY otherNetwork = Entry(3, -40, "other");
    Reposit({current, weaker, otherNetwork});
    EXPECT_FALSE(CheckHasBetterAp(adapter_, port_));
    BSS_ENTRY stronger = Entry(4, -50);
    stronger.LastUpdateTime = Now() - 11ull * 10000000ull;
    Reposit({current, weaker, stronger});
    EXPECT_FALSE(CheckHasBetterAp(adapter_, port_)) << "heard more than \"RoamScanPeriod\" seconds ago";
    stronger.LastUpdateTime = Now();
    stronger.AuthMode = 7;
    Reposit({current, stronger});
    EXPECT_FALSE(CheckHasBetterAp(adapter_, port_)) << "another algorithm";
    stronger.AuthMode = 1;
    Reposit({current, stronger});
    EXPECT_TRUE(CheckHasBetterAp(adapter_, port_));
}

}  // namespace
