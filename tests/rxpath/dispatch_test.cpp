// Received frames through the per-chip dispatch on a started simulated chip: frames the dispatch
// drops, the port it picks by address, band and channel from the channel byte, the signal values
// from the receive vector, the access-point and station hand-off, and every record back home.
#include <gtest/gtest.h>

#include "frames.h"
#include "rxpath_support.h"

namespace {

using hiftest::CountTraces;
using rxtest::RxDevice;
using sim::chip::BuildRxFrame;
using sim::chip::RxdFields;
using sim::chip::RxRole;

using rxtest::kAp0;
using rxtest::kAp1;
using rxtest::kOwn0;
using rxtest::kOwn1;

std::vector<uint8_t> Frame(uint8_t fc0, const UCHAR* a1, const UCHAR* a2, const UCHAR* a3)
{
    return rxtest::Frame(fc0, 0, a1, a2, a3);
}

class Dispatch : public RxDevice, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        RxDevice::SetUp();
        Open(GetParam());
        port_.Active = 1;
        std::memcpy(port_.MacAddress, kOwn0, 6);
        std::memcpy(port_.Bssid, kAp0, 6);
        port1_.Adapter = adapter_;
        port1_.PortNumber = 1;
        port1_.PortType = EXTSTA;
        port1_.Active = 1;
        std::memcpy(port1_.MacAddress, kOwn1, 6);
        std::memcpy(port1_.Bssid, kAp1, 6);
        adapter_->PortList[1] = &port1_;
        frames0_ = RxDmaqGetFreeCount(adapter_, 0);
        kshim::host::TraceClear();
    }
    void TearDown() override
    {
        EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 0), frames0_) << "every received record goes back to its pool";
        adapter_->PortList[1] = nullptr;
        RxDevice::TearDown();
    }
    void Receive(const RxdFields& fields, const std::vector<uint8_t>& frame)
    {
        Deliver(RxRole::Frames, 0, BuildRxFrame(generation_, fields, frame));
    }
    std::string StationPath() const { return GetParam() == 0x3502 ? "Qz3501RecvProcessPacket" : "Arvel3xRecvProcessPacket"; }
    std::string ApPath() const { return GetParam() == 0x3502 ? "Qz3501ApDataCommonRxPacket" : "Arvel3xApDataCommonRxPacket"; }

    MP_PORT port1_{};
    ULONG frames0_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Generations, Dispatch, ::testing::Values<USHORT>(0x3502, 0x3602),
                         [](const auto& info) { return "chip" + std::to_string(info.param == 0x3502 ? 3502 : 3602); });

TEST_P(Dispatch, AFrameToAnAllZeroAddressOrShorterThanAHeaderIsDropped)
{
    const UCHAR zero[6] = {};
    Receive(RxdFields{}, Frame(0x08, zero, kAp0, kAp0));
    EXPECT_EQ(CountTraces("received frame to an all-zero address"), 1u);
    std::vector<uint8_t> ack = Frame(0xD4, kOwn0, kAp0, kAp0);
    ack.resize(10);
    Receive(RxdFields{}, ack);
    EXPECT_EQ(CountTraces("received frame of 10 bytes"), 1u);
    EXPECT_EQ(CountTraces(StationPath() + ": "), 0u);
}

TEST_P(Dispatch, ThePortIsChosenByAddressAndItsSignalFollowsItsBss)
{
    RxdFields f;
    f.channel = 36;
    f.rxVector = std::array<uint32_t, 3>{0x1234, 0x0000FA64u /* RCPI 100, 250 */, 0x55};
    // Unicast data to port 1's own address from port 1's access point.
    Receive(f, Frame(0x08, kOwn1, kAp1, kAp1));
    EXPECT_EQ(CountTraces(StationPath() + ": frame of 32 bytes"), 1u);
    EXPECT_EQ(port1_.RxRcpi[0], 100);
    EXPECT_EQ(port1_.RxRcpi[1], 250);
    EXPECT_EQ(port_.RxRcpi[0], 0);
    EXPECT_EQ(adapter_->RssiSamples[0][0], -60);
    EXPECT_EQ(adapter_->RssiSamples[0][1], 0);  // RCPI 221 and above: 0 dBm
    EXPECT_EQ(port1_.RxVectorStore[3], 0x0000FA64u);
    EXPECT_EQ(port1_.RxVectorStore[12], 0x1234u);  // a unicast data frame keeps its rate word
    EXPECT_EQ(adapter_->LastRxBand, 2u);
    EXPECT_EQ(adapter_->LastRxChannel, 36);

    // A beacon of a foreign BSS to broadcast goes to port 0 (the default) and leaves its signal alone.
    const UCHAR* broadcast = rxtest::kBroadcast;
    const UCHAR* other = rxtest::kOther;
    port_.RxVectorStore[12] = 0;
    Receive(f, Frame(0x80, broadcast, other, other));
    EXPECT_EQ(port_.RxRcpi[0], 0);
    // The second generation keeps every frame's RCPI word, the third only that of unicast data.
    EXPECT_EQ(port_.RxVectorStore[3], GetParam() == 0x3502 ? 0x0000FA64u : 0u);
    EXPECT_EQ(port_.RxVectorStore[13], GetParam() == 0x3502 ? 0u : 0x55u);
    EXPECT_EQ(port_.RxVectorStore[12], 0u);
    // A group frame whose address 3 is port 1's BSSID goes to port 1.
    port1_.RxRcpi[0] = 0;
    Receive(f, Frame(0x08, broadcast, other, kAp1));
    EXPECT_EQ(port1_.RxRcpi[0], 0);  // address 2 is not its BSSID: no signal update
    EXPECT_EQ(CountTraces(StationPath() + ": "), 3u);
}

TEST_P(Dispatch, BandAndChannelComeFromTheChannelByte)
{
    struct Case {
        UCHAR byte;
        ULONG band;
        UCHAR channel;
    } cases[] = {{1, 1, 1}, {14, 1, 14}, {15, 2, 15}, {180, 2, 180}, {181, 3, 1}, {182, 3, 5}, {233, 3, 209}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "channel byte " << static_cast<int>(c.byte));
        RxdFields f;
        f.channel = c.byte;
        Receive(f, Frame(0x08, kOwn0, kAp0, kAp0));
        EXPECT_EQ(adapter_->LastRxBand, c.band);
        EXPECT_EQ(adapter_->LastRxChannel, c.channel);
    }
}

TEST_P(Dispatch, AccessPointPortsTakeTheAccessPointPath)
{
    port1_.OpMode = 2;
    Receive(RxdFields{}, Frame(0x08, kOwn1, kAp1, kAp1));
    EXPECT_EQ(CountTraces(ApPath() + ": frame of 32 bytes returned"), 1u);
    port1_.OpMode = 3;
    Receive(RxdFields{}, Frame(0x08, kOwn1, kAp1, kAp1));
    EXPECT_EQ(CountTraces(ApPath() + ": frame of 32 bytes returned"), 2u);
    EXPECT_EQ(CountTraces(StationPath() + ": "), 0u);
}

TEST_P(Dispatch, ASignalWhileScanningLeavesThePortAlone)
{
    RxdFields f;
    f.rxVector = std::array<uint32_t, 3>{0, 0x00006464u, 0};
    AdapterSetFlag(adapter_, ADAPTER_FLAG_SCANNING, "test");
    Receive(f, Frame(0x08, kOwn0, kAp0, kAp0));
    EXPECT_EQ(port_.RxRcpi[0], 0);
    AdapterClearFlag(adapter_, ADAPTER_FLAG_SCANNING, "test");
    // An association response from any address updates it.
    Receive(f, Frame(0x10, kOwn0, rxtest::kOther, rxtest::kOther));
    EXPECT_EQ(port_.RxRcpi[0], 0x64);
}

TEST_P(Dispatch, ADescriptorThatClaimsMoreThanWasWrittenIsDropped)
{
    RxdFields f;
    f.packetNumber = std::array<uint8_t, 6>{1, 0, 0, 0, 0, 0};
    std::vector<uint8_t> buffer = BuildRxFrame(generation_, f, Frame(0x08, kOwn0, kAp0, kAp0));
    // The byte count is below descriptor, group and header: the parser refuses it.
    buffer[0] = 30;
    buffer[1] = 0;
    Deliver(RxRole::Frames, 0, buffer);
    EXPECT_EQ(CountTraces("received frame: descriptor not parsed"), 1u);
}

TEST_P(Dispatch, SoftwareDefinedPacketsOfUnknownSubTypeAreReturned)
{
    adapter_->FwDownloaded = 1;
    std::vector<uint8_t> packet(16, 0);
    const uint32_t w0 = sim::chip::RxWord0(generation_, 16, sim::chip::kRxTypeSwDefined) | (0x0002u << 16);
    std::memcpy(packet.data(), &w0, 4);
    const ULONG events = RxDmaqGetFreeCount(adapter_, 1);
    Deliver(RxRole::Events, 1, packet);
    EXPECT_EQ(CountTraces("software-defined packet of sub-type 0x3802 dropped"), 1u);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 1), events);
}

class DispatchSecond : public RxDevice {};

TEST_F(DispatchSecond, AnEventOnTheFrameRingIsDropped)
{
    Open(0x3502);
    std::vector<uint8_t> packet(16, 0);
    const uint32_t w0 = sim::chip::RxWord0(generation_, 16, sim::chip::kRxTypeSwDefined);
    std::memcpy(packet.data(), &w0, 4);
    kshim::host::TraceClear();
    Deliver(RxRole::Frames, 0, packet);
    EXPECT_EQ(CountTraces("packet type 7 on the frame ring"), 1u);
}

}  // namespace
