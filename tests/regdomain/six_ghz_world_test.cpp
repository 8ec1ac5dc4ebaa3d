// The 6 GHz access point of the built-in world ("Stadium", channel 37) end to end: the OS's scan finds
// it only when the firmware container holds the chip's 6 GHz power-limit file, which opens the 6 GHz
// channels of the country (United States, the configuration's default) to the scan.
#include "e2e/e2e_support.h"
#include "support/sku_file.h"

namespace {

const kshim::host::MacAddress kStadium = {0x02, 0, 0, 0x06, 0x25, 0x01};

class SixGhzWorld : public e2e::EndToEnd {
protected:
    // As the e2e start, with the 6 GHz power-limit file put in the chip's container when `file`.
    void Start(uint16_t deviceId, bool file)
    {
        world_ = sim::air::World::BuiltIn();
        ASSERT_TRUE(world_);
        ASSERT_NO_FATAL_FAILURE(AddDevice(deviceId));
        if (file) {
            const std::string text = qzltest::SkuText({{"US0D", {{"ofdm", {"ch037 20 20 20 20 20 20 20 20"}}}}});
            sim::fw::NamedImage sku;
            sku.name = "qzlwl3603_2.dat";
            sku.image.bytes = qzltest::SkuEnciphered(text);
            std::vector<sim::fw::NamedImage> images = images_;
            images.push_back(sku);
            ASSERT_TRUE(sim::fw::WritePackage(images));
        }
        world_->Attach(*firmware_);
        ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
        ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
        wifi_ = std::make_unique<kshim::host::WifiService>(os_, device_);
        (void)wifi_->SetOperationMode(kshim::host::kWdiOperationModeStation);
        (void)wifi_->WaitTask(10000);
    }
};

TEST_F(SixGhzWorld, TheFirmwaresDomainHolds6GhzChannelsOnlyWithThe6GhzFile)
{
    for (bool file : {true, false}) {
        SCOPED_TRACE(file ? "with the 6 GHz file" : "without it");
        ASSERT_NO_FATAL_FAILURE(Start(0x3602, file));
        Quiesce();
        const std::optional<sim::fw::Domain> domain = Ram().Scan().Record().domain;
        ASSERT_TRUE(domain.has_value());
        std::vector<int> sixGhz;
        for (const sim::fw::DomainChannel& d : domain->channels) {
            if (d.channel.band == sim::air::Band::B6G) {
                sixGhz.push_back(d.channel.number);
            }
        }
        // The 6 GHz channels the domain names: 5, 21, 37, ... 229.
        std::vector<int> expect;
        for (int c = 5; file && c <= 233; c += 16) {
            expect.push_back(c);
        }
        EXPECT_EQ(sixGhz, expect);
        wifi_.reset();
        os_.Remove(device_);
        device_ = nullptr;
        world_.reset();
        firmware_.reset();
        chip_.reset();
    }
}

TEST_F(SixGhzWorld, TheOsFindsThe6GhzAccessPointWithThe6GhzFile)
{
    ASSERT_NO_FATAL_FAILURE(Start(0x3602, true));
    ASSERT_TRUE(ScanAll());
    const kshim::host::BssListEntry* stadium = wifi_->FindBss(kStadium);
    ASSERT_NE(stadium, nullptr);
    EXPECT_EQ(stadium->channel, 37u);
    EXPECT_EQ(stadium->bandId, 5u);
}

}  // namespace
