// Link speed and link quality: the data-rate tables against the 802.11 rates, the maximum link speed of
// a port by PHY mode and bandwidth with its 4 Gbit/s cap on older OS builds, and the quality points.
#include <gtest/gtest.h>

#include <memory>

#include "Common/mlme/mlmeinfo.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

TEST(AssocSpeed, RateTablesHoldThe80211DataRates)
{
    // {value in 100 kbit/s, as the standard's rate tables give it rounded}
    EXPECT_EQ(MlmeInfoHtRate(0, 0, 0), 65);      // 6.5
    EXPECT_EQ(MlmeInfoHtRate(7, 0, 0), 650);     // 65
    EXPECT_EQ(MlmeInfoHtRate(7, 0, 1), 722);     // 72.2
    EXPECT_EQ(MlmeInfoHtRate(15, 1, 1), 3000);   // 300
    EXPECT_EQ(MlmeInfoHtRate(8, 1, 0), 270);     // 27
    EXPECT_EQ(MlmeInfoVhtRate(9, 2, 1, 1), 4333);  // 433.3
    EXPECT_EQ(MlmeInfoVhtRate(9, 3, 2, 1), 17333);  // 1733.3
    EXPECT_EQ(MlmeInfoVhtRate(8, 0, 1, 0), 780);    // 78
    EXPECT_EQ(MlmeInfoHeRate(11, 2, 1, 0), 6005);   // 600.4
    EXPECT_EQ(MlmeInfoHeRate(11, 3, 2, 0), 24020);  // 2401.96
    EXPECT_EQ(MlmeInfoHeRate(0, 0, 1, 2), 73);      // 7.3
    EXPECT_EQ(MlmeInfoHeRate(7, 1, 1, 1), 1625);    // 162.5
    EXPECT_EQ(MlmeInfoEhtRate(13, 4, 2, 0), 57647);  // 5764.7
    EXPECT_EQ(MlmeInfoEhtRate(13, 0, 1, 0), 1721);   // 172.06
    // OFDM by SIGNAL rate code.
    const struct {
        UCHAR code;
        USHORT rate;
    } ofdm[] = {{0xB, 60}, {0xF, 90}, {0xA, 120}, {0xE, 180}, {0x9, 240}, {0xD, 360}, {0x8, 480}, {0xC, 540}, {0x0, 0}, {0x7, 0}};
    for (const auto& row : ofdm) {
        EXPECT_EQ(MlmeInfoOfdmRate(row.code), row.rate) << int(row.code);
    }
    // Outside the tables: 0.
    EXPECT_EQ(MlmeInfoHtRate(16, 0, 0), 0);
    EXPECT_EQ(MlmeInfoHtRate(0, 2, 0), 0);
    EXPECT_EQ(MlmeInfoVhtRate(12, 0, 1, 0), 0);
    EXPECT_EQ(MlmeInfoVhtRate(0, 0, 3, 0), 0);
    EXPECT_EQ(MlmeInfoHeRate(0, 4, 1, 0), 0);
    EXPECT_EQ(MlmeInfoHeRate(0, 0, 1, 3), 0);
    EXPECT_EQ(MlmeInfoEhtRate(14, 0, 1, 0), 0);
    EXPECT_EQ(MlmeInfoEhtRate(0, 5, 1, 0), 0);
}

TEST(AssocSpeed, LinkQualityPointsAndLevels)
{
    const struct {
        CHAR dbm;
        ULONG quality;
    } rows[] = {{-30, 100}, {-70, 75}, {-95, 0}, {-96, 0}, {0, 100}, {-31, 100}, {-50, 88}, {-71, 72}, {-80, 45}};
    for (const auto& row : rows) {
        EXPECT_EQ(MlmeInfoGetLinkQuality(nullptr, row.dbm), row.quality) << int(row.dbm);
    }
    EXPECT_EQ(MlmeInfoGetLinkQualityLevel(0), 0u);
    EXPECT_EQ(MlmeInfoGetLinkQualityLevel(4), 1u);
    EXPECT_EQ(MlmeInfoGetLinkQualityLevel(100), 21u);
}

class MaxLinkSpeed : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
        port_ = std::make_unique<MP_PORT>();
        port_->Adapter = adapter_.get();
        port_->Mlme.Conn.SpatialStreams = 2;
        adapter_->OsBuildNumber = 22631;
    }
    ULONG Speed(UCHAR mode, ULONG band, UCHAR bw)
    {
        port_->WirelessMode = mode;
        port_->Channel.Band = band;
        port_->Channel.Bandwidth = bw;
        return MlmeInfoGetMaxLinkSpeed(adapter_.get(), port_.get());
    }
    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<MP_PORT> port_;
};

TEST_F(MaxLinkSpeed, ByPhyModeAndBandwidth)
{
    const struct {
        UCHAR mode;
        ULONG band;
        UCHAR bw;
        ULONG speed;
    } rows[] = {
        {13, 2, 3, 24020},  // HE MCS 11, 2 streams, 160 MHz, 0.8 us
        {14, 3, 7, 57647},  // EHT MCS 13, 320 MHz
        {11, 2, 2, 8667},   // VHT MCS 9, 80 MHz, short GI
        {11, 2, 0, 1733},   // VHT MCS 8 at 20 MHz
        {11, 1, 1, 3000},   // on 2.4 GHz as the HT modes
        {9, 1, 0, 1444},    // HT MCS 15, short GI
        {1, 1, 0, 110},     // 11 Mbit/s
        {4, 1, 0, 540},     // 54 Mbit/s
        {12, 2, 2, 0},      // no lookup
        {13, 2, 5, 0},      // unknown bandwidth code
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Speed(row.mode, row.band, row.bw), row.speed) << int(row.mode) << " " << int(row.bw);
    }
    port_->Mlme.Conn.SpatialStreams = 1;
    EXPECT_EQ(Speed(9, 1, 1), 1500u);  // HT MCS 7, 40 MHz, short GI
    adapter_->RegistryBlock.bHideWiFi7CapOS = 1;
    EXPECT_EQ(Speed(14, 3, 3), 12010u);  // HE MCS 11 instead: 1 stream, 160 MHz
}

TEST_F(MaxLinkSpeed, CappedAt4GbitOnOlderBuildsAndNarrowedByTheBandSwitch)
{
    adapter_->OsBuildNumber = 22621;
    EXPECT_EQ(Speed(14, 3, 7), 40000u);
    adapter_->OsBuildNumber = 22622;
    EXPECT_EQ(Speed(14, 3, 7), 57647u);
    adapter_->RegistryBlock.BWSelection5G = 1;
    EXPECT_EQ(Speed(11, 2, 2), 1733u);  // the 20 MHz speed
    EXPECT_EQ(port_->Channel.Bandwidth, 0);
    EXPECT_EQ(Speed(11, 1, 1), 3000u);  // the 2.4 GHz switch is off
}

}  // namespace
