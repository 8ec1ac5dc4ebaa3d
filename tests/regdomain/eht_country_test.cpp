// 802.11be by country: the chip's country table (the first record that holds the country decides) and
// the United States' limits on 5 GHz channels unless "DfsWifi7Enable" lifts them.
#include "regdomain/regdomain_fixture.h"

namespace regdomaintest {
namespace {

class EhtCountryTest : public RegDomainTest {
protected:
    bool Allowed(int band, int channel, int width = 0, int config11ax = 0)
    {
        port_.Adapter = adapter_.get();
        port_.Channel.Band = static_cast<ULONG>(band);
        port_.Channel.PrimaryChannel = static_cast<UCHAR>(channel);
        adapter_->Rlm.Link.LinkChannel.ChannelWidth = static_cast<UCHAR>(width);
        adapter_->RegistryBlock.Config_11AX = static_cast<ULONG>(config11ax);
        return DomainCountrySupport80211be(&port_) != FALSE;
    }
    std::unique_ptr<MP_PORT> holder_ = std::make_unique<MP_PORT>();
    MP_PORT& port_ = *holder_;
};

TEST_F(EhtCountryTest, TheChipsCountryTableDecides)
{
    struct Case {
        uint16_t chip;
        const char* country;
        bool allowed;
    };
    const Case cases[] = {
        {0x3601, "FR", true},  {0x3601, "MX", false}, {0x3601, "MY", false}, {0x3601, "TW", true},
        {0x3601, "CN", false}, {0x3601, "BR", false}, {0x3601, "ZZ", false}, {0x0C03, "JP", true},
        {0x3602, "US", true},  {0x3602, "PH", true},  {0x3602, "CN", false}, {0x3602, "MX", false},
        {0x3603, "GB", true},  {0x0C04, "SG", true},  {0x3502, "US", false}, {0x3501, "FR", false},
    };
    for (const Case& c : cases) {
        Chip(c.chip);
        Country(c.country);
        EXPECT_EQ(Allowed(1, 6), c.allowed) << std::hex << c.chip << " " << c.country;
    }
}

TEST_F(EhtCountryTest, UnitedStates5GhzLimits)
{
    Chip(0x3601);
    struct Case {
        int band, channel, width, config11ax;
        int dfsWifi7;
        bool allowed;
    };
    const Case cases[] = {
        {2, 100, 0, 0, 0, false}, {2, 100, 0, 0, 1, true},  {2, 144, 0, 0, 0, false}, {2, 50, 0, 0, 0, false},
        {2, 64, 0, 0, 0, false},  {2, 149, 2, 4, 0, true},  {2, 36, 2, 4, 0, false},  {2, 36, 2, 4, 1, true},
        {2, 48, 2, 2, 0, true},   {2, 36, 1, 4, 0, true},   {1, 6, 2, 4, 0, true},    {3, 37, 2, 4, 0, true},
    };
    for (const Case& c : cases) {
        Country("US");
        adapter_->RegistryBlock.DfsWifi7Enable = static_cast<UCHAR>(c.dfsWifi7);
        EXPECT_EQ(Allowed(c.band, c.channel, c.width, c.config11ax), c.allowed)
            << "band " << c.band << " channel " << c.channel << " width " << c.width << " 11ax " << c.config11ax << " dfs " << c.dfsWifi7;
    }
    // The limits are the United States' only.
    Country("CA");
    adapter_->RegistryBlock.DfsWifi7Enable = 0;
    EXPECT_TRUE(Allowed(2, 100));
}

}  // namespace
}  // namespace regdomaintest
