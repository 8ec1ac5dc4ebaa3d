// The roaming-candidate and preferred-SSID tables: the merge from the scan table, ageing, the
// 6 GHz compaction, the delete, the roam test, the RSSI averages and the RSSI-drop monitor.
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "bss/bss_fixture.h"

namespace bsstest {
namespace {

constexpr int64_t kSecond = 10000000;

class Reposit : public BssTest {
protected:
    void SetUp() override
    {
        BssTest::SetUp();
        kshim::host::ClockSetManual();
        kshim::host::ClockSetSystemTime(1000 * kSecond);
        adapter_->RegistryBlock.BssidRepositTime = 30;
        adapter_->RegistryBlock.SsidUpTime = 180;
        MlmeRepositTableInit(adapter_);
        ASSERT_NE(RepositTableGet(adapter_), nullptr);
    }

    void TearDown() override
    {
        MlmeFreeRepositTable(adapter_);
        BssTest::TearDown();
    }

    // A scan-table entry.
    BSS_ENTRY& Scan(UCHAR last, UCHAR channel, LONG band, CHAR rssi = -50, const char* ssid = "home")
    {
        PBSS_TABLE t = adapter_->ScanTable;
        BSS_ENTRY& e = t->BssEntry[t->EntryCount++];
        e = BSS_ENTRY{};
        const UCHAR bssid[6] = {0x02, 0, 0, 0, 0, last};
        std::memcpy(e.Bssid, bssid, 6);
        e.Channel = channel;
        e.Band = band;
        e.Rssi = rssi;
        e.SsidLen = static_cast<UCHAR>(std::strlen(ssid));
        std::memcpy(e.Ssid, ssid, e.SsidLen);
        e.AuthMode = BSS_AUTH_RSNA_PSK;
        e.Valid = 1;
        return e;
    }

    PREPOSIT_TABLE T() { return RepositTableGet(adapter_); }
    BOOLEAN Merge(BOOLEAN force = TRUE) { return MlmeUpdateRepositTabFromScanTab(adapter_, force, FALSE); }
};

TEST_F(Reposit, TheMergeKeepsABssidPerBandAndRefreshesWhatItKnows)
{
    Scan(1, 6, BAND_24G);
    Scan(1, 36, BAND_5G);
    ASSERT_TRUE(Merge());
    EXPECT_EQ(T()->RepositCount, 2);
    BssTableInit(adapter_->ScanTable);
    Scan(1, 6, BAND_24G, -40);
    ASSERT_TRUE(Merge());
    EXPECT_EQ(T()->RepositCount, 2);
    EXPECT_EQ(T()->RepositEntries[0].Rssi, -40);
}

TEST_F(Reposit, AProbeResponseOnlyWpsElementSurvivesALaterScanWithout)
{
    BSS_ENTRY& first = Scan(1, 6, BAND_24G);
    first.ProbeRspWpsIeLen = 3;
    first.ProbeRspWpsIe[0] = 0xDD;
    first.BeaconWpsIeLen = 2;
    first.BeaconWpsIe[0] = 0xDE;
    ASSERT_TRUE(Merge());
    BssTableInit(adapter_->ScanTable);
    BSS_ENTRY& later = Scan(1, 6, BAND_24G, -30);
    later.BeaconWpsIeLen = 4;
    later.BeaconWpsIe[0] = 0xBE;
    ASSERT_TRUE(Merge());
    const BSS_ENTRY& e = T()->RepositEntries[0];
    EXPECT_EQ(e.Rssi, -30);
    EXPECT_EQ(e.ProbeRspWpsIeLen, 3);
    EXPECT_EQ(e.ProbeRspWpsIe[0], 0xDD);
    EXPECT_EQ(e.BeaconWpsIeLen, 4);
    EXPECT_EQ(e.BeaconWpsIe[0], 0xBE);
}

TEST_F(Reposit, ABssNoLongerHeardAgesOutAndTheLastEntryTakesItsSlot)
{
    Scan(1, 1, BAND_24G);
    Scan(2, 6, BAND_24G);
    Scan(3, 11, BAND_24G);
    ASSERT_TRUE(Merge());
    kshim::host::ClockAdvance(20 * kSecond);
    BssTableInit(adapter_->ScanTable);
    Scan(2, 6, BAND_24G);
    Scan(3, 11, BAND_24G);
    ASSERT_TRUE(Merge());
    kshim::host::ClockAdvance(10 * kSecond);  // entry 1 is 30 s old, the others 10 s
    MlmeRemoveAgeOutScanEntry(adapter_);
    ASSERT_EQ(T()->RepositCount, 2);
    EXPECT_EQ(T()->RepositEntries[0].Bssid[5], 3);
    EXPECT_EQ(T()->RepositEntries[1].Bssid[5], 2);
}

TEST_F(Reposit, AgeingCountsTheWholeTimeBeyondFourHundredThirtySeconds)
{
    Scan(1, 6, BAND_24G);
    ASSERT_TRUE(Merge());
    kshim::host::ClockAdvance(430 * kSecond);  // the low 32 bits alone would see half a second
    MlmeRemoveAgeOutScanEntry(adapter_);
    EXPECT_EQ(T()->RepositCount, 0);

    T()->RepositAgeSeconds = 600;
    ASSERT_TRUE(Merge());
    kshim::host::ClockAdvance(599 * kSecond);
    MlmeRemoveAgeOutScanEntry(adapter_);
    EXPECT_EQ(T()->RepositCount, 1);
    kshim::host::ClockAdvance(kSecond);
    MlmeRemoveAgeOutScanEntry(adapter_);
    EXPECT_EQ(T()->RepositCount, 0);
}

TEST_F(Reposit, AFullTableReplacesItsWeakestOnlyForAStrongerEntry)
{
    for (int i = 0; i < MAX_LEN_OF_BSS_TABLE; ++i) {
        Scan(static_cast<UCHAR>(i), 6, BAND_24G, static_cast<CHAR>(i == 7 ? -80 : -50));
    }
    ASSERT_TRUE(Merge());
    BssTableInit(adapter_->ScanTable);
    BSS_ENTRY& weak = Scan(0, 36, BAND_5G, -80);
    ASSERT_TRUE(Merge());
    EXPECT_EQ(T()->RepositEntries[7].Rssi, -80);
    EXPECT_EQ(T()->RepositEntries[7].Band, BAND_24G);
    weak.Rssi = -79;
    ASSERT_TRUE(Merge());
    EXPECT_EQ(T()->RepositEntries[7].Band, BAND_5G);
    EXPECT_EQ(MlmeGetWorstRssiBssFromRepositTab(adapter_), 7);
}

TEST_F(Reposit, AHeldBusyFlagMakesTheMergeGiveUp)
{
    kshim::host::ClockSetAuto();  // the 100 tries sleep 100 us each
    Scan(1, 6, BAND_24G);
    adapter_->Mlme.RepositBusy = 1;
    EXPECT_FALSE(Merge());
    EXPECT_EQ(T()->RepositCount, 0);
    adapter_->Mlme.RepositBusy = 0;
    EXPECT_TRUE(Merge());
    EXPECT_EQ(adapter_->Mlme.RepositBusy, 0);
}

TEST_F(Reposit, AnUnforcedMergeRunsOnlyWhenAskedOrTheCountsDiffer)
{
    Scan(1, 6, BAND_24G, -50);
    ASSERT_TRUE(Merge(FALSE));
    EXPECT_EQ(T()->RepositCount, 1);
    adapter_->ScanTable->BssEntry[0].Rssi = -20;
    ASSERT_TRUE(Merge(FALSE));
    EXPECT_EQ(T()->RepositEntries[0].Rssi, -50);  // same count: nothing merged
    T()->RepositUpdateNeeded = 1;
    ASSERT_TRUE(Merge(FALSE));
    EXPECT_EQ(T()->RepositEntries[0].Rssi, -20);
    EXPECT_EQ(T()->RepositUpdateNeeded, 0);
}

TEST_F(Reposit, BandSelectionThreeKeepsOnlySixGigahertzEntries)
{
    adapter_->RegistryBlock.BandSelection = 3;
    Scan(1, 6, BAND_24G);
    Scan(2, 37, BAND_6G);
    Scan(3, 36, BAND_5G);
    ASSERT_TRUE(Merge());
    ASSERT_EQ(T()->RepositCount, 1);
    EXPECT_EQ(T()->RepositEntries[0].Bssid[5], 2);
}

TEST_F(Reposit, DeleteRemovesTheEntryOfChannelBssidAndSsid)
{
    Scan(1, 6, BAND_24G);
    Scan(2, 6, BAND_24G);
    Scan(3, 6, BAND_24G);
    ASSERT_TRUE(Merge());
    const UCHAR bssid[6] = {0x02, 0, 0, 0, 0, 2};
    BssRepositTableDeleteEntryEx(adapter_, bssid, 6, reinterpret_cast<const UCHAR*>("other"), 5);
    EXPECT_EQ(T()->RepositCount, 3);
    BssRepositTableDeleteEntryEx(adapter_, bssid, 6, reinterpret_cast<const UCHAR*>("home"), 4);
    ASSERT_EQ(T()->RepositCount, 2);
    EXPECT_EQ(T()->RepositEntries[1].Bssid[5], 3);
    EXPECT_EQ(T()->RepositEntries[2].Valid, 0);
}

TEST_F(Reposit, AnotherAccessPointOfTheSsidAndAlgorithmIsAValidRoamTarget)
{
    std::memcpy(port_->CurrentSsid, "home", 4);
    port_->CurrentSsidLen = 4;
    port_->Mlme.AuthAlgorithm = BSS_AUTH_RSNA_PSK;
    const UCHAR own[6] = {0x02, 0, 0, 0, 0, 1};
    std::memcpy(port_->Bssid, own, 6);
    EXPECT_FALSE(MlmeChkHasValidRoamAp(adapter_, port_));  // both tables empty
    Scan(1, 6, BAND_24G);
    Scan(2, 6, BAND_24G, -50, "work");
    ASSERT_TRUE(Merge());
    EXPECT_FALSE(MlmeChkHasValidRoamAp(adapter_, port_));
    Scan(3, 11, BAND_24G);
    ASSERT_TRUE(Merge());
    EXPECT_TRUE(MlmeChkHasValidRoamAp(adapter_, port_));
    port_->Mlme.AuthAlgorithm = BSS_AUTH_SAE;
    EXPECT_FALSE(MlmeChkHasValidRoamAp(adapter_, port_));
}

TEST_F(Reposit, ThePreferredSsidTableNeedsAnSsid)
{
    EXPECT_FALSE(MlmeUpdatePreferSsidTab(adapter_, TRUE, TRUE));
    std::memcpy(port_->LastConnectSsid, "home", 4);
    port_->LastConnectSsidLen = 4;
    EXPECT_TRUE(MlmeUpdatePreferSsidTab(adapter_, TRUE, TRUE));
}

TEST_F(Reposit, RssiAveragesWeighEachSampleOneEighth)
{
    const CHAR expected[] = {-8, -14, -20, -25, -30, -33, -37, -40};
    for (CHAR avg : expected) {
        UpdateRssiSampleAvg(port_, -60, -60, -100);
        EXPECT_EQ(port_->RssiAvg[0], avg);
        EXPECT_EQ(port_->RssiAvg[1], avg);
    }
    EXPECT_EQ(port_->RssiSum[0], -313);
    EXPECT_EQ(port_->RssiAvg[2], 0);  // -100 dBm is outside the range
    UpdateRssiSampleAvg(port_, -19, -99, -20);
    EXPECT_EQ(port_->RssiAvg[0], -40);
    EXPECT_EQ(port_->RssiLastSample[0], -60);
    EXPECT_EQ(port_->RssiLastSample[1], -99);
    EXPECT_EQ(port_->RssiLastSample[2], -20);
    UpdateRssiSampleAvg(nullptr, -60, -60, -60);  // only traced
}

TEST_F(Reposit, TheRssiMonitorAsksForOneScanAfterALargeDrop)
{
    adapter_->RegistryBlock.RoamingRssiReduce = 30;
    EXPECT_FALSE(RssiChangeMonitorForScan(adapter_, -40));  // first sample: peak and lowest
    EXPECT_FALSE(RssiChangeMonitorForScan(adapter_, -60));  // above -65
    EXPECT_FALSE(RssiChangeMonitorForScan(adapter_, -70));  // a drop of 30 is not more than 30
    AdapterSetFlagUnlocked(adapter_, ADAPTER_FLAG_SCANNING);
    EXPECT_FALSE(RssiChangeMonitorForScan(adapter_, -75));  // while scanning the monitor restarts
    EXPECT_EQ(adapter_->RssiPeak, -75);
    AdapterClearFlag(adapter_, ADAPTER_FLAG_SCANNING, "test");
    EXPECT_FALSE(RssiChangeMonitorForScan(adapter_, -40));
    EXPECT_TRUE(RssiChangeMonitorForScan(adapter_, -71));
    EXPECT_EQ(adapter_->RssiPeak, 0);
    EXPECT_FALSE(RssiChangeMonitorForScan(adapter_, -72));  // starts again from zero
}

}  // namespace
}  // namespace bsstest
