// Secured connections through the driver, on both generations: WPA2-PSK, WPA3-SAE (both
// derivations) and a PMF-required network connect and exchange data; a wrong passphrase fails without
// a link up. The access point's side, the supplicant and the frame protection are proven on the air
// without the driver (e2e_air_test.cpp), the chip's protection with the keys the driver installs in
// chip_keys_test.cpp; the rest of the driver's half is not in place yet, so these skip naming what is
// missing until it lands.
#include <gtest/gtest.h>

#include <string>

namespace security {
namespace {

struct Scenario {
    const char* name;
    const char* missing;  // the driver service the scenario waits for
};

class SecuredDriver : public ::testing::TestWithParam<std::tuple<uint16_t, Scenario>> {};

TEST_P(SecuredDriver, ConnectsAndExchangesData)
{
    const auto& [device, scenario] = GetParam();
    GTEST_SKIP() << "device 0x" << std::hex << device << " " << scenario.name << ": driver service missing: " << scenario.missing;
}

INSTANTIATE_TEST_SUITE_P(
    BothGenerations, SecuredDriver,
    ::testing::Combine(::testing::Values(uint16_t{0x3502}, uint16_t{0x3602}),
                       ::testing::Values(Scenario{"wpa2-psk", "connect end to end; the Wi-Fi service's handshake over the driver's data path; "
                                                                  "the transmit key state a secured link-up sets (pairwise and group suite, key 0 valid, port key cipher)"},
                                         Scenario{"wpa3-sae", "connect end to end; the Wi-Fi service's SAE parameters answering the driver's SAE indications; "
                                                                  "the transmit key state a secured link-up sets"},
                                         Scenario{"pmf-required", "connect end to end; the Wi-Fi service's handshake over the driver's data path; "
                                                                      "the transmit key state a secured link-up sets"},
                                         Scenario{"wrong-passphrase", "connect end to end; the Wi-Fi service's handshake over the driver's data path"})),
    [](const auto& info) {
        std::string n = std::string(std::get<1>(info.param).name) + "_" + std::to_string(std::get<0>(info.param));
        for (char& ch : n) {
            ch = ch == '-' ? '_' : ch;
        }
        return n;
    });

}  // namespace
}  // namespace security
