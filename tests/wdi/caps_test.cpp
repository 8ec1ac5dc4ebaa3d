// The capabilities the first power-up reports to WiFiCx.
#include <algorithm>
#include <cstring>

#include "bringup/bringup_support.h"
#include "kshim/host/control.h"
#include "kshim/host/wifi_caps.h"
#include "Common/rlm.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/wdi/wdigenerator.h"
#include "platform/wificx/wificxmain.h"

namespace {

using kshim::host::WifiCapabilitiesRecord;

class CapsTest : public bringup::BringUpTest {
protected:
    void SetUp() override
    {
        bringup::BringUpTest::SetUp();
        kshim::host::WifiClearCapabilities();
    }

    void TearDown() override
    {
        kshim::host::FaultClearAll();
        kshim::host::WifiClearCapabilities();
        bringup::BringUpTest::TearDown();
    }

    void StartChip(USHORT deviceId)
    {
        ASSERT_NO_FATAL_FAILURE(AddDevice(deviceId));
        ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    }

    // Fills and reports the records again, after the test changed the adapter's facts.
    WifiCapabilitiesRecord Report()
    {
        kshim::host::WifiClearCapabilities();
        QZCxInitWiFiCapabilities(device_->Handle());
        EXPECT_EQ(QZCxSetDeviceCapabilites(device_->Handle()), STATUS_SUCCESS);
        EXPECT_EQ(QZCxSetStationCapabilities(device_->Handle()), STATUS_SUCCESS);
        EXPECT_EQ(QZCxSetBandCapabilities(device_->Handle()), STATUS_SUCCESS);
        EXPECT_EQ(QZCxSetPhyCapabilities(device_->Handle()), STATUS_SUCCESS);
        EXPECT_EQ(QZCxSetWiFiDirectCapabilities(device_->Handle()), STATUS_SUCCESS);
        return kshim::host::WifiCapabilitiesOf(device_->Handle());
    }

    static std::vector<uint32_t> PhyTypes(const WifiCapabilitiesRecord& r)
    {
        std::vector<uint32_t> out;
        for (const WIFI_PHY_INFO& p : r.phys) {
            out.push_back(p.PhyType);
        }
        return out;
    }

    static const kshim::host::WifiBandRecord* Band(const WifiCapabilitiesRecord& r, ULONG id)
    {
        for (const auto& b : r.bands) {
            if (b.info.BandID == id) {
                return &b;
            }
        }
        return nullptr;
    }
};

TEST_F(CapsTest, TheFirstPowerUpReportsEveryRecordInOrder)
{
    StartChip(0x3602);
    WifiCapabilitiesRecord r = kshim::host::WifiCapabilitiesOf(device_->Handle());
    const std::vector<std::string> order(r.order.begin(), r.order.end());
    EXPECT_EQ(order, (std::vector<std::string>{"device", "station", "band", "phy", "wifidirect"}));

    ASSERT_TRUE(r.device);
    const WIFI_DEVICE_CAPABILITIES& d = *r.device;
    EXPECT_EQ(d.Size, 280u);
    EXPECT_EQ(std::memcmp(d.FirmwareVersion, Adapter()->FwFiles.FwTimeStamp, 14), 0);
    EXPECT_EQ(d.NumRxStreams, Adapter()->Cap.ChipStreams & 0x0F);
    EXPECT_EQ(d.NumTxStreams, Adapter()->Cap.ChipStreams >> 4);
    EXPECT_EQ(d.MACAddressRandomizationMask[0], 0x03);
    EXPECT_TRUE(d.MU_MIMOSupported && d.BSSTransitionSupported && d.SAEAuthenticationSupported && d.MBOSupported);
    EXPECT_FALSE(d.Support_eCSA || d.BeaconReportsImplemented || d.SupportsNonWdiOidRequests);

    ASSERT_TRUE(r.station);
    const WIFI_STATION_CAPABILITIES& s = *r.station;
    EXPECT_EQ(s.Size, 484u);
    EXPECT_EQ(s.PrivacyExemptionListSize, 32u);
    EXPECT_EQ(s.KeyMappingTableSize, 64u);
    EXPECT_EQ(s.MaxNumPerSTA, 12u);
    ASSERT_EQ(r.unicast.size(), 20u);
    ASSERT_EQ(r.multicastData.size(), 28u);
    ASSERT_EQ(r.multicastMgmt.size(), 4u);
    EXPECT_EQ(r.unicast[19].AuthAlgoId, 8u);
    EXPECT_EQ(r.unicast[19].CipherAlgoId, 9u);
    EXPECT_EQ(r.multicastMgmt[3].CipherAlgoId, 12u);

    ASSERT_TRUE(r.wifiDirect);
    const WIFI_WIFI_DIRECT_CAPABILITIES& w = *r.wifiDirect;
    EXPECT_EQ(w.Size, 80u + 48u + 18u);
    EXPECT_EQ(w.MaxLength, 2048u);
    const ULONG counts[6] = {4, 1, 32, 64, 4, 13};
    EXPECT_EQ(std::memcmp(w.StationCounts, counts, sizeof(counts)), 0);
    EXPECT_EQ(r.wfdUnicast.size(), 3u);
    ASSERT_EQ(r.wfdInterfaceAddresses.size(), 3u);
    UCHAR expected[6];
    Ndis6CommonGetNewMacAddress(Adapter(), nullptr, 2, 4, expected);
    EXPECT_EQ(std::memcmp(w.DeviceAddress, expected, 6), 0);
    Ndis6CommonGetNewMacAddress(Adapter(), nullptr, 5, 4, expected);
    EXPECT_EQ(std::memcmp(r.wfdInterfaceAddresses[2].data(), expected, 6), 0);
}

TEST_F(CapsTest, BeforeAnyFirmwareTheVersionReadsTheDriversName)
{
    StartChip(0x3602);
    Adapter()->FwDownloaded = 0;
    WifiCapabilitiesRecord r = Report();
    ASSERT_TRUE(r.device);
    EXPECT_STREQ(reinterpret_cast<const char*>(r.device->FirmwareVersion), "Qzlwl6");
    EXPECT_EQ(r.device->FirmwareVersion[14], 0);
    Adapter()->FwDownloaded = 1;
}

// Bands and PHY types of a third-generation chip by its facts and configuration.
TEST_F(CapsTest, BandsAndPhyTypesFollowTheChipAndItsConfiguration)
{
    StartChip(0x3602);
    struct Case {
        UCHAR only24G;
        UCHAR hide;
        ULONG config6G;
        UCHAR capable6G;
        std::vector<uint32_t> bands;
        std::vector<uint32_t> phys;
    };
    const Case cases[] = {
        {0, 0, 1, 1, {1, 2, 5}, {5, 4, 6, 7, 8, 10, 11}},
        {0, 1, 1, 1, {1, 2, 5}, {5, 4, 6, 7, 8, 10}},
        {0, 0, 0, 1, {1, 2}, {5, 4, 6, 7, 8, 10, 11}},
        {0, 0, 1, 0, {1, 2}, {5, 4, 6, 7, 8, 10, 11}},
        {1, 1, 1, 1, {1}, {5, 6, 7, 8, 10}},
    };
    for (const Case& c : cases) {
        Adapter()->Only24G = c.only24G;
        Adapter()->RegistryBlock.bHideWiFi7CapOS = c.hide;
        Adapter()->RegistryBlock.Config_6G = c.config6G;
        Adapter()->SixGhzCapable = c.capable6G;
        WifiCapabilitiesRecord r = Report();
        std::vector<uint32_t> bands;
        for (const auto& b : r.bands) {
            bands.push_back(b.info.BandID);
        }
        EXPECT_EQ(bands, c.bands) << int(c.only24G) << int(c.hide) << c.config6G << int(c.capable6G);
        EXPECT_EQ(PhyTypes(r), c.phys) << int(c.only24G) << int(c.hide);
        ASSERT_TRUE(r.phy);
        EXPECT_EQ(r.phy->NumPhyTypes, c.phys.size());
        if (const auto* b6 = Band(r, 5)) {
            EXPECT_EQ(b6->phyTypes, c.hide ? (std::vector<uint32_t>{4, 10}) : (std::vector<uint32_t>{4, 10, 11}));
            ASSERT_EQ(b6->channels.size(), 59u);
            EXPECT_EQ(b6->channels[58].ChannelNumber, 233u);
            EXPECT_EQ(b6->channels[58].ChannelCenterFrequency, 7115u);
        }
        if (const auto* b5 = Band(r, 2)) {
            ASSERT_EQ(b5->channels.size(), 42u);
            EXPECT_EQ(b5->channels[41].ChannelCenterFrequency, 5885u);
            EXPECT_EQ(b5->widths, (std::vector<uint32_t>{20, 40, 80}));
        }
        ULONG listBytes = 0;
        for (const auto& b : r.bands) {
            listBytes += static_cast<ULONG>(b.phyTypes.size() * 4 + b.channels.size() * 8 + b.widths.size() * 4);
        }
        EXPECT_EQ(r.band->Size, sizeof(WIFI_BAND_CAPABILITIES) + r.bands.size() * sizeof(WIFI_BAND_INFO) + listBytes);
    }
    Adapter()->Only24G = 0;
    QZCxFreeBandCapabilityLists(Adapter());
}

TEST_F(CapsTest, ChipsWith160MHzAndTheOneWithout6GHz)
{
    StartChip(0x3502);
    Adapter()->Only24G = 0;
    Adapter()->RegistryBlock.Config_6G = 1;
    Adapter()->SixGhzCapable = 1;
    WifiCapabilitiesRecord r = Report();
    ASSERT_NE(Band(r, 2), nullptr);
    ASSERT_NE(Band(r, 5), nullptr);
    EXPECT_EQ(Band(r, 2)->widths, (std::vector<uint32_t>{20, 40, 80, 160}));
    EXPECT_EQ(Band(r, 5)->widths, (std::vector<uint32_t>{20, 40, 80, 160}));
    EXPECT_EQ(PhyTypes(r), (std::vector<uint32_t>{5, 4, 6, 7, 8, 10}));  // second generation: HE, no EHT
    EXPECT_EQ(Band(r, 1)->widths, (std::vector<uint32_t>{20, 40}));

    Adapter()->DeviceId = 0x3504;
    r = Report();
    EXPECT_EQ(Band(r, 5), nullptr);
    Adapter()->DeviceId = 0x3502;
}

TEST_F(CapsTest, TheTwoPointFourBandListsTheAdaptersChannels)
{
    StartChip(0x3602);
    const DOMAIN_CHANNEL_ENTRY list[] = {{1, BAND_24G, 0, 0}, {36, BAND_5G, 0, 0}, {6, BAND_24G, 0, 0},
                                         {14, BAND_24G, 0, 0}};
    std::memcpy(Adapter()->Country.ChannelList, list, sizeof(list));
    Adapter()->Country.ChannelListCount = 4;
    WifiCapabilitiesRecord r = Report();
    const auto* b = Band(r, 1);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->channels.size(), 3u);
    EXPECT_EQ(b->channels[0].ChannelCenterFrequency, 2412u);
    EXPECT_EQ(b->channels[1].ChannelCenterFrequency, 2437u);
    EXPECT_EQ(b->channels[2].ChannelCenterFrequency, 2484u);
}

TEST_F(CapsTest, ChannelListFrequenciesAndTheCountLimit)
{
    StartChip(0x3602);
    const DOMAIN_CHANNEL_ENTRY list[] = {{1, BAND_6G, 0, 0},   {37, BAND_6G, 0, 0},  {233, BAND_6G, 0, 0},
                                         {165, BAND_5G, 0, 0}, {183, BAND_5G, 0, 0}, {2, BAND_6G, 0, 0}};
    std::memcpy(Adapter()->Country.ChannelList, list, sizeof(list));
    Adapter()->Country.ChannelListCount = 6;
    WIFI_CHANNEL_MAPPING_ENTRY out[8]{};
    ASSERT_EQ(WdiGeneratorSupportedChannelList(Adapter(), out, 8, 5), 4u);
    EXPECT_EQ(out[0].ChannelCenterFrequency, 5955u);
    EXPECT_EQ(out[1].ChannelCenterFrequency, 6135u);
    EXPECT_EQ(out[2].ChannelCenterFrequency, 7115u);
    EXPECT_EQ(out[3].ChannelCenterFrequency, 6135u);  // not a 6 GHz channel number
    ASSERT_EQ(WdiGeneratorSupportedChannelList(Adapter(), out, 8, 2), 2u);
    EXPECT_EQ(out[0].ChannelCenterFrequency, 5825u);
    EXPECT_EQ(out[1].ChannelCenterFrequency, 2412u);
    EXPECT_EQ(WdiGeneratorSupportedChannelList(Adapter(), out, 2, 5), 2u);
    EXPECT_EQ(DomainGetChannelCountByBand(Adapter(), 5), 4u);
    EXPECT_EQ(DomainGetChannelCountByBand(Adapter(), 3), 0u);
    Adapter()->Country.ChannelListCount = 0;
}

TEST_F(CapsTest, SettersRefuseARecordNotFilledAndAMissingDevice)
{
    StartChip(0x3602);
    Adapter()->WifiCaps.BandReady = 0;
    EXPECT_EQ(QZCxSetBandCapabilities(device_->Handle()), STATUS_UNSUCCESSFUL);
    Adapter()->WifiCaps.BandReady = 1;
    EXPECT_EQ(QZCxSetPhyCapabilities(nullptr), STATUS_INVALID_PARAMETER);
    // Freed lists leave no band record to report.
    QZCxFreeBandCapabilityLists(Adapter());
    EXPECT_EQ(QZCxSetBandCapabilities(device_->Handle()), STATUS_UNSUCCESSFUL);
}

TEST_F(CapsTest, ARefusedReportFailsTheFirstPowerUp)
{
    ASSERT_NO_FATAL_FAILURE(AddDevice(0x3602));
    kshim::host::FaultArm("wifi.setcapabilities", "band", 1, STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(os_.Start(device_), STATUS_INVALID_DEVICE_STATE);
    WifiCapabilitiesRecord r = kshim::host::WifiCapabilitiesOf(device_->Handle());
    const std::vector<std::string> order(r.order.begin(), r.order.end());
    EXPECT_EQ(order, (std::vector<std::string>{"device", "station"}));
}

}  // namespace
