// The channels of a scan: who builds the list (the firmware by channel type, or the driver from the
// channel table), the preferred band order, the list kept off DFS channels while a group owner shares
// the radio, the split of a scan into chunks of three with its time budget, and the dwell times sent
// to the firmware only when they change.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_scan.h"
#include "bss/bss_fixture.h"
#include "fwcmds/fwcmds_fixture.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

using Channels = std::vector<std::pair<ULONG, UCHAR>>;  // {band, channel}

class ScanChannels : public bsstest::BssTest {
protected:
    void SetUp() override
    {
        BssTest::SetUp();
        // 2.4 GHz 1, 6, 11; 5 GHz 36, 52 (DFS), 100 (DFS), 149; 6 GHz 33, 37.
        SetChannels({{1, BAND_24G}, {36, BAND_5G}, {6, BAND_24G}, {52, BAND_5G}, {33, BAND_6G}, {100, BAND_5G},
                     {11, BAND_24G}, {37, BAND_6G}, {149, BAND_5G}});
        adapter_->RegistryBlock.FWBuildScnChList = 1;
    }

    MLME_SCAN_REQ& Request() { return adapter_->Mlme.ScanRequest; }

    Channels List()
    {
        Channels out;
        for (UCHAR i = 0; i < Request().ChannelCount; ++i) {
            out.emplace_back(Request().Channels[i].Band, Request().Channels[i].Channel);
        }
        return out;
    }

    void ClearRequest() { std::memset(&Request(), 0, sizeof(MLME_SCAN_REQ)); }
};

TEST_F(ScanChannels, TheFirmwareListsByBandSelectionOrTheDriverTakesTheWholeTable)
{
    // {"FWBuildScnChList", "BandSelection", 2.4-GHz-only, expected channel type, expected count}
    struct Row {
        UCHAR fwBuilds, bandSelection, only24;
        ULONG type;
        UCHAR count;
    };
    const Row rows[] = {
        {1, 0, 0, 0, 0}, {1, 1, 0, 1, 0}, {1, 2, 0, 2, 0}, {1, 3, 0, 0, 0}, {1, 2, 1, 1, 0}, {0, 2, 0, 4, 9},
    };
    for (const Row& row : rows) {
        ClearRequest();
        Request().ChunkStart = 7;
        Request().ChannelType = 99;
        adapter_->RegistryBlock.FWBuildScnChList = row.fwBuilds;
        adapter_->RegistryBlock.BandSelection = row.bandSelection;
        adapter_->Only24G = row.only24;
        EXPECT_EQ(MlmeSyncBuildChannelListForScan(adapter_, port_), row.count) << int(row.fwBuilds) << int(row.bandSelection);
        EXPECT_EQ(Request().ChannelType, row.type) << int(row.fwBuilds) << int(row.bandSelection) << int(row.only24);
        EXPECT_EQ(Request().ChunkStart, 0);
    }
    // The driver's list is the table in its order.
    EXPECT_EQ(List(), (Channels{{1, 1}, {2, 36}, {1, 6}, {2, 52}, {3, 33}, {2, 100}, {1, 11}, {3, 37}, {2, 149}}));
    // A request that has channels keeps them.
    ClearRequest();
    Request().ChannelCount = 1;
    Request().Channels[0] = {2, 44};
    Request().ChannelType = 4;
    EXPECT_EQ(MlmeSyncBuildChannelListForScan(adapter_, port_), 1);
    EXPECT_EQ(List(), (Channels{{2, 44}}));
}

TEST_F(ScanChannels, PreferredBandOrdersTheBandsAndTakesOnlyThePreferredScan6GhzChannels)
{
    const std::pair<UCHAR, Channels> rows[] = {
        {1, {{1, 1}, {1, 6}, {1, 11}, {2, 36}, {2, 52}, {2, 100}, {2, 149}, {3, 37}}},
        {2, {{2, 36}, {2, 52}, {2, 100}, {2, 149}, {1, 1}, {1, 6}, {1, 11}, {3, 37}}},
        {3, {{3, 37}, {2, 36}, {2, 52}, {2, 100}, {2, 149}, {1, 1}, {1, 6}, {1, 11}}},
    };
    for (const auto& [preferred, expected] : rows) {
        ClearRequest();
        adapter_->RegistryBlock.PreferredBand = preferred;
        MlmePerBandBuildScanChList(adapter_);
        EXPECT_EQ(List(), expected) << int(preferred);
        EXPECT_EQ(Request().ChannelType, 4u);
    }
}

TEST_F(ScanChannels, BesideAGroupOwnerTheListAvoidsDfsButKeepsTheStationsOwnChannel)
{
    ClearRequest();
    EXPECT_EQ(MlmeSyncScanBuildChannelList(adapter_, port_), static_cast<NTSTATUS>(0xC0000001)) << "no group owner";
    MP_PORT go{};
    go.Adapter = adapter_;
    go.Active = 1;
    go.PortType = WFD_GO;
    go.Channel.PrimaryChannel = 6;
    adapter_->PortList[1] = &go;
    port_->ConnectionFlags = 0x1;
    port_->Channel.PrimaryChannel = 52;
    EXPECT_EQ(MlmeSyncScanBuildChannelList(adapter_, nullptr), static_cast<NTSTATUS>(0xC0000001));
    ASSERT_EQ(MlmeSyncScanBuildChannelList(adapter_, port_), 0);
    EXPECT_EQ(List(), (Channels{{1, 1}, {1, 6}, {1, 11}, {2, 36}, {2, 149}, {2, 52}}));
    ClearRequest();
    go.Channel.PrimaryChannel = 149;
    ASSERT_EQ(MlmeSyncScanBuildChannelList(adapter_, port_), 0);
    EXPECT_EQ(List(), (Channels{{2, 36}, {2, 149}, {2, 52}, {1, 1}, {1, 6}, {1, 11}}));
    ClearRequest();
    port_->ConnectionFlags = 0;
    ASSERT_EQ(MlmeSyncScanBuildChannelList(adapter_, port_), 0);
    EXPECT_EQ(List(), (Channels{{2, 36}, {2, 149}, {1, 1}, {1, 6}, {1, 11}})) << "not connected: no DFS channel";
    adapter_->PortList[1] = nullptr;
}

TEST_F(ScanChannels, ASplitScanStepsThroughChunksOfThreeWhileTheBudgetLasts)
{
    kshim::host::ClockSetManual();
    ClearRequest();
    Request().ChannelCount = 10;
    // Outside the split-scan wait state one scan covers everything.
    port_->Mlme.CntlMachine.CurrState = 0;
    MlmeSyncDecideSplitScanChList(adapter_, port_);
    EXPECT_EQ(Request().ChunkStart, 0);
    EXPECT_EQ(Request().ChunkSize, 10);
    // The first scan of a split request takes the whole list from the start.
    port_->Mlme.CntlMachine.CurrState = 11;
    port_->Mlme.SyncMachine.CurrState = 0;
    MlmeSyncDecideSplitScanChList(adapter_, port_);
    EXPECT_EQ(Request().ChunkSize, 0);
    // Then chunks of three.
    port_->Mlme.SyncMachine.CurrState = 2;
    const std::pair<int, int> chunks[] = {{3, 3}, {6, 3}, {9, 1}};
    for (const auto& [start, size] : chunks) {
        MlmeSyncDecideSplitScanChList(adapter_, port_);
        EXPECT_EQ(Request().ChunkStart, start);
        EXPECT_EQ(Request().ChunkSize, size);
        EXPECT_EQ(Request().ChunkStep, 3);
    }
    // Budget 5000 ms: another chunk while 100 ms or more remain, and not past the list.
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    Request().Timing2 = 5000;
    adapter_->Mlme.Scan.ScanStartTime = static_cast<ULONG64>(now.QuadPart) - 4800ull * 10000;
    EXPECT_FALSE(MlmeSyncIsSplitScanAllowed(adapter_, port_)) << "chunk start 9 + step 3 is past 10 channels";
    Request().ChunkStart = 3;
    EXPECT_TRUE(MlmeSyncIsSplitScanAllowed(adapter_, port_));
    kshim::host::ClockAdvanceMs(150);
    EXPECT_FALSE(MlmeSyncIsSplitScanAllowed(adapter_, port_)) << "50 ms left";
    // A Wi-Fi Direct port measures against its own discovery budget.
    port_->PortType = WFD_DEVICE;
    port_->Mlme.Req.DiscoveryBudgetMs = 6000;
    EXPECT_TRUE(MlmeSyncIsSplitScanAllowed(adapter_, port_));
    port_->PortType = EXTSTA;
}

// ---- the dwell times, as the firmware receives them ----------------------------------------------------------
class DwellTimes : public fwcmdstest::FwCmdsTest, public ::testing::WithParamInterface<USHORT> {
protected:
    // The chip-configuration texts among the sent commands, in order.
    std::vector<std::string> Texts()
    {
        std::vector<std::string> out;
        for (const fwcmdstest::Bytes& b : Sent()) {
            const std::string bytes(b.begin(), b.end());
            for (const char* key : {"ScnChannelDwellTimeMin ", "ScnChannelDFSTime "}) {
                const size_t at = bytes.find(key);
                if (at != std::string::npos) {
                    out.push_back(bytes.substr(at, bytes.find('\0', at) - at));
                }
            }
        }
        return out;
    }
};

TEST_P(DwellTimes, OnlyChangedValuesAreSent)
{
    SetUpChip(GetParam());
    ClearSent();
    ScanChDwellTimeAdjust(adapter_.get(), 110, 130);
    ScanChDwellTimeAdjust(adapter_.get(), 110, 130);
    ScanChDwellTimeAdjust(adapter_.get(), 42, 130);
    ScanChDwellTimeAdjust(adapter_.get(), 42, 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"ScnChannelDwellTimeMin 110", "ScnChannelDFSTime 130",
                                                 "ScnChannelDwellTimeMin 42", "ScnChannelDFSTime 0"}));
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, DwellTimes, ::testing::Values(fwcmdstest::kSecondGen, fwcmdstest::kThirdGen));

}  // namespace
