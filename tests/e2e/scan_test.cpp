// The OS's scan end to end on both generations: the OS's Wi-Fi service sends the scan task, the
// driver has the firmware scan the world's channels, the access points answer on the air, and the
// BSS list the OS reads back holds the access points of the channels scanned, each with its own
// BSSID, channel, band and security, and no other.
#include <cstdio>

#include "e2e_support.h"

namespace {

using kshim::host::BssListEntry;
using kshim::host::MacAddress;

enum class Security { Open, Wep, Rsn };

struct Expected {
    MacAddress bssid;
    const char* ssid;  // as the list shows it: the hidden network's beacon carries no name
    uint32_t channel;
    uint32_t bandId;   // WDI band ids: 1 2.4 GHz, 2 5 GHz, 5 6 GHz
    Security security;
};

// The built-in world's access points on the channels a full scan visits (the 6 GHz Office on
// channel 33 is announced only by a neighbour report and is not among them).
const Expected kWorld[] = {
    {{0x02, 0, 0, 0x24, 0x01, 0x01}, "HomeNet", 1, 1, Security::Rsn},
    {{0x02, 0, 0, 0x24, 0x06, 0x01}, "CoffeeShop", 6, 1, Security::Open},
    {{0x02, 0, 0, 0x24, 0x0b, 0x01}, "OldRouter", 11, 1, Security::Wep},
    {{0x02, 0, 0, 0x05, 0x24, 0x01}, "Office", 36, 2, Security::Rsn},
    {{0x02, 0, 0, 0x05, 0x24, 0x02}, "", 36, 2, Security::Rsn},
    {{0x02, 0, 0, 0x05, 0x64, 0x01}, "Campus", 100, 2, Security::Rsn},
    {{0x02, 0, 0, 0x05, 0x95, 0x01}, "Guest", 149, 2, Security::Open},
    {{0x02, 0, 0, 0x06, 0x25, 0x01}, "Stadium", 37, 5, Security::Rsn},
};

Security SecurityOf(const BssListEntry& b)
{
    if (b.Element(48)) {
        return Security::Rsn;
    }
    // Capability information after the 8-byte time stamp and the 2-byte interval; bit 4: privacy.
    const std::vector<uint8_t>& body = b.Body();
    return body.size() >= 12 && (body[10] & 0x10) != 0 ? Security::Wep : Security::Open;
}

class Scan : public e2e::EndToEnd {};

TEST_P(Scan, TheBssListHoldsEveryAccessPointOfTheScannedChannelsAndNoOther)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam()));
    ASSERT_TRUE(ScanAll()) << "the scan did not complete";
    bool sixGhzMissing = false;
    for (const Expected& e : kWorld) {
        const BssListEntry* b = wifi_->FindBss(e.bssid);
        if (b == nullptr && e.bandId == 5) {
            sixGhzMissing = true;  // decided below, once every other network is checked
            continue;
        }
        ASSERT_NE(b, nullptr) << e.ssid;
        const std::vector<uint8_t> ssid = b->Ssid();
        EXPECT_EQ(std::string(ssid.begin(), ssid.end()), e.ssid);
        EXPECT_EQ(b->channel, e.channel) << e.ssid;
        EXPECT_EQ(b->bandId, e.bandId) << e.ssid;
        EXPECT_EQ(SecurityOf(*b), e.security) << e.ssid;
    }
    const MacAddress office6 = {0x02, 0, 0, 0x06, 0x21, 0x01};
    for (const BssListEntry& b : wifi_->BssList()) {
        const bool known = b.bssid == office6 || std::any_of(std::begin(kWorld), std::end(kWorld),
                                                             [&](const Expected& e) { return e.bssid == b.bssid; });
        EXPECT_TRUE(known) << "an access point the world does not have";
    }
    // The 6 GHz channels are scanned only with their power limits read.
    E2E_KNOWN_GAP(!sixGhzMissing, "the 6 GHz network was not found",
                  "channel 37 is not scanned although the power limits are read");
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, Scan, ::testing::Values(uint16_t{0x3502}, uint16_t{0x3602}),
                         [](const ::testing::TestParamInfo<uint16_t>& info) {
                             char name[16];
                             std::snprintf(name, sizeof(name), "Chip%04X", info.param);
                             return std::string(name);
                         });

}  // namespace
