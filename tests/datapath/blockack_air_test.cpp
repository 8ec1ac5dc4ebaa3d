// A block-ack agreement the access point opens over the air of a world, and 10,000 frames it then sends
// through the device's reordering: shuffled inside the window, gaps filled later, duplicates, Block Ack
// Requests and the wrap of the sequence number. Every frame reaches the OS once and in order, and
// tshark decodes the capture: the ADDBA exchange, the Block Ack Requests and the stream as sent.
#include <sstream>

#include "air/ap_blockack.h"
#include "datapath/traffic_support.h"
#include "support/eventually.h"
#include "support/run_command.h"

namespace {

using namespace traffic;

class BlockAckAir : public TrafficTest {
protected:
    sim::air::AccessPoint* Ap() { return world_->FindAccessPoint(sim::air::MacAt(kAp)); }
    sim::air::Mac Station() const { return sim::air::MacAt(port_->MacAddress); }

    // Lets the air's frames due by now + `ms` reach the frame ring and serves it.
    void Run(int64_t ms)
    {
        host::ClockAdvanceMs(ms);
        EXPECT_TRUE(firmware_->Data().WaitDelivered());
        Pump();
    }
};

size_t CountLines(const std::string& text)
{
    size_t n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        n += line.empty() ? 0 : 1;
    }
    return n;
}

TEST_P(BlockAckAir, TenThousandReorderedFramesReachTheOsOnceAndInOrder)
{
    const std::string pcap = ::testing::TempDir() + "blockack_air_" + std::to_string(GetParam()) + ".pcap";
    ASSERT_NO_FATAL_FAILURE(JoinWorld(false, pcap));
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    constexpr uint8_t kTid = 6;
    constexpr uint16_t kStart = 4000;

    // The access point asks; the firmware answers on the air and opens the agreement in the driver.
    Ap()->SendAddba(Station(), kTid, kStart, 64, host::ClockNow() + sim::air::kUnitsPerMs / 10);
    Run(1);
    ASSERT_NE(entry_->BaRecipientSlot[kTid], 0) << "no receive agreement opened";
    EXPECT_EQ(firmware_->DataRadio().GetRecord().blockAckFrames, 1u);
    ASSERT_EQ(Ap()->BlockAckAgreements(true).count({Station(), kTid}), 1u) << "the answer reached the access point";
    EXPECT_EQ((Ap()->BlockAckAgreements(true).at({Station(), kTid})), 64);

    sim::air::StreamPlan plan;
    plan.start = kStart;
    plan.count = 10000;
    plan.burst = 32;
    plan.holdBack = 3;
    plan.duplicatePerMille = 50;
    plan.seed = GetParam();
    const std::vector<sim::air::StreamFrame> stream = sim::air::PlanReorderedStream(plan);
    constexpr size_t kChunk = 256;  // frames put on the air between two servings of the ring
    std::vector<uint32_t> got;
    size_t bars = 0;
    for (size_t at = 0, chunk = 0; at < stream.size(); at += kChunk, ++chunk) {
        const size_t n = std::min(kChunk, stream.size() - at);
        const std::vector<sim::air::StreamFrame> part(stream.begin() + static_cast<long>(at),
                                                     stream.begin() + static_cast<long>(at + n));
        // 10 us apart: a chunk takes under 3 ms, far below the reorder age-out.
        Ap()->SendStream(Station(), kTid, part, host::ClockNow() + sim::air::kUnitsPerMs / 10, 100);
        Run(4);
        std::vector<uint32_t> more = Received();
        got.insert(got.end(), more.begin(), more.end());
        if (chunk % 8 == 7) {
            // A Block Ack Request for the number after the last one handed on moves nothing.
            const uint16_t next = static_cast<uint16_t>((kStart + got.size()) & 0x0FFF);
            Ap()->SendBar(Station(), kTid, next, host::ClockNow() + sim::air::kUnitsPerMs / 10);
            ++bars;
            Run(1);
            more = Received();
            got.insert(got.end(), more.begin(), more.end());
        }
    }
    // The frames of the last burst's window still held (none, as every gap was filled) go with the
    // age-out.
    Run(Adapter()->RegistryBlock.Ageout + 1);
    std::vector<uint32_t> last = Received();
    got.insert(got.end(), last.begin(), last.end());
    ASSERT_EQ(got.size(), 10000u);
    for (uint32_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], i) << "frame " << i;
    }
    world_->StopCapture();

    if (std::system("command -v tshark >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "tshark is not installed (scripts/lib.sh installs it)";
    }
    const std::string read = "tshark -r '" + pcap + "' ";
    EXPECT_EQ(qzl_test::RunCommand(read + "-Y '_ws.malformed || _ws.expert.severity == \"Error\"' 2>/dev/null | head -5"),
              "");
    // The ADDBA request from the access point and the device's answer, accepted with window 64.
    EXPECT_EQ(qzl_test::RunCommand(read + "-Y 'wlan.fixed.category_code == 3 && wlan.fixed.action_code == 0' -T fields "
                                          "-e wlan.sa -e wlan.fixed.baparams.tid -e wlan.fixed.ssc.sequence 2>/dev/null"),
              "02:a0:00:00:00:01\t0x0006\t4000\n");
    const std::string response = qzl_test::RunCommand(
        read + "-Y 'wlan.fixed.category_code == 3 && wlan.fixed.action_code == 1' -T fields -e wlan.da "
               "-e wlan.fixed.status_code -e wlan.fixed.baparams.buffersize 2>/dev/null");
    EXPECT_EQ(response, "02:a0:00:00:00:01\t0x0000\t64\n");
    EXPECT_EQ(CountLines(qzl_test::RunCommand(read + "-Y 'wlan.fc.type_subtype == 0x0018' 2>/dev/null")), bars);
    // The stream as sent: every frame of it, From-DS QoS data of the TID, across the wrap.
    EXPECT_EQ(CountLines(qzl_test::RunCommand(
                  read + "-Y 'wlan.fc.type_subtype == 0x0028 && wlan.fc.ds == 0x2 && wlan.qos.tid == 6' 2>/dev/null")),
              stream.size());
    EXPECT_GE(CountLines(qzl_test::RunCommand(read + "-Y 'wlan.fc.type_subtype == 0x0028 && wlan.seq == 0' 2>/dev/null")),
              2u) << "the numbers wrapped at least twice";
    std::remove(pcap.c_str());
}

INSTANTIATE_TEST_SUITE_P(Generations, BlockAckAir, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == 0x3502 ? std::string("chip3502") : std::string("chip3602");
                         });

}  // namespace
