// Data frames on the air of a world: the device's frames reach an access point that sends each one
// back, the echoes reach the OS in order, and the capture of the air decodes in tshark as QoS data
// frames between the station and its access point with nothing malformed.
#include <cstdio>
#include <sstream>

#include "Common/mlme/mlmeaction.h"
#include "datapath/traffic_support.h"
#include "support/eventually.h"
#include "support/run_command.h"

namespace {

using namespace traffic;

class Air : public TrafficTest {};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

TEST_P(Air, EchoedFramesComeBackInOrderAndTsharkDecodesTheAir)
{
    const std::string pcap = ::testing::TempDir() + "datapath_air_" + std::to_string(GetParam()) + ".pcap";
    ASSERT_NO_FATAL_FAILURE(JoinWorld(true, pcap));
    ASSERT_NO_FATAL_FAILURE(OpenQueues(5));
    constexpr uint32_t kFrames = 64;
    std::vector<host::TxFrame> frames;
    for (uint32_t i = 0; i < kFrames; ++i) {
        host::TxFrame f = Frame(i, (i % 2 == 0 ? 1500 : 64) - 24);
        std::memcpy(&f.bytes[10], port_->MacAddress, 6);  // the OS writes the station's own address
        f.bytes[30] = 0x88;                                 // a local experimental ether type: the body
        f.bytes[31] = 0xB5;                                 // is no protocol tshark would check
        frames.push_back(f);
    }
    std::vector<host::TxReturned> back = Send(frames);
    ASSERT_EQ(back.size(), kFrames);
    const sim::air::AccessPoint::Record ap =
        world_->FindAccessPoint(sim::air::Mac{0x02, 0xA0, 0x00, 0x00, 0x00, 0x01})->GetRecord();
    EXPECT_EQ(ap.dataFrames, kFrames) << "every frame reached the access point";
    EXPECT_EQ(ap.dataEchoed, kFrames);
    // The echoes are on the air a little later: they reach the frame ring at their time.
    host::ClockAdvanceMs(1);
    Pump();
    std::vector<uint32_t> expected(kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) {
        expected[i] = i;
    }
    EXPECT_EQ(Received(), expected);
    const sim::fw::DataAir::Record radio = firmware_->DataRadio().GetRecord();
    EXPECT_EQ(radio.sent, kFrames);
    EXPECT_EQ(radio.received, kFrames);
    EXPECT_EQ(radio.unknownPeer, 0u);

    // An action frame the driver sends (the operating mode notification of a change to one stream)
    // goes through the command ring onto the air.
    const uint64_t management = firmware_->Data().ManagementSent();
    const unsigned bssUpdates = firmware_->Ram().Records().Bss(port_->BssIndex).value_or(sim::fw::BssRecord{}).updates;
    // The BSS information that follows waits until the command is sent: the rings are served meanwhile.
    BOOLEAN sent = FALSE;
    WhileServing([&] { sent = SendOperatingModeNotificaitonAction(Adapter(), port_, 1, 0); });
    ASSERT_TRUE(sent);
    // The new stream count reaches the firmware as the BSS information of the port's BSS.
    EXPECT_EQ(firmware_->Ram().Records().Bss(port_->BssIndex).value_or(sim::fw::BssRecord{}).updates, bssUpdates + 1);
    EXPECT_TRUE(qzl_test::Eventually([&] { return firmware_->Data().ManagementSent() > management; }));
    world_->StopCapture();

    if (std::system("command -v tshark >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "tshark is not installed (scripts/lib.sh installs it)";
    }
    EXPECT_EQ(qzl_test::RunCommand("tshark -r '" + pcap +
                                   "' -Y '_ws.malformed || _ws.expert.severity == \"Error\"' 2>/dev/null | head -5"),
              "");
    // Data both ways: To-DS from the station, From-DS back, QoS data with TID 5.
    const std::vector<std::string> data = Lines(qzl_test::RunCommand(
        "tshark -r '" + pcap + "' -Y 'wlan.fc.type_subtype == 0x0028' -T fields -e wlan.fc.ds -e wlan.qos.tid -e wlan.sa "
        "-e wlan.da 2>/dev/null"));
    ASSERT_EQ(data.size(), 2 * kFrames);
    size_t up = 0;
    size_t down = 0;
    for (const std::string& line : data) {
        if (line.rfind("0x01\t5\t", 0) == 0) {
            ++up;
        } else if (line.rfind("0x02\t5\t", 0) == 0) {
            ++down;
        }
        EXPECT_NE(line.find("02:b0:00:00:00:02"), std::string::npos) << line;  // the host behind the access point
    }
    EXPECT_EQ(up, kFrames);
    EXPECT_EQ(down, kFrames);
    const std::vector<std::string> action = Lines(qzl_test::RunCommand(
        "tshark -r '" + pcap + "' -Y 'wlan.fixed.category_code == 21' -T fields -e wlan.da -e wlan.vht.action "
        "2>/dev/null"));
    ASSERT_EQ(action.size(), 1u) << "one VHT action frame on the air";
    EXPECT_EQ(action[0], "02:a0:00:00:00:01\t2") << "the operating mode notification to the access point";
    std::remove(pcap.c_str());
}

INSTANTIATE_TEST_SUITE_P(Generations, Air, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == 0x3502 ? std::string("chip3502") : std::string("chip3602");
                         });

}  // namespace
