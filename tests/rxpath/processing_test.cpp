// The receive processing's entry behind the dispatch on a started simulated chip: counting, frames
// of a header or less, Block Ack Requests to the block-ack control, the second generation's
// protocol-version test and the last-beacon time.
#include <gtest/gtest.h>

#include "Common/recv.h"
#include "frames.h"
#include "rxpath_support.h"

namespace {

using hiftest::CountTraces;
using rxtest::Frame;
using rxtest::kAp0;
using rxtest::kOther;
using rxtest::kOwn0;
using rxtest::RxDevice;
using sim::chip::RxdFields;
using sim::chip::RxRole;

class Processing : public RxDevice, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        RxDevice::SetUp();
        Open(GetParam());
        port_.Active = 1;
        port_.WirelessMode = 13;
        std::memcpy(port_.MacAddress, kOwn0, 6);
        std::memcpy(port_.Bssid, kAp0, 6);
        kshim::host::TraceClear();
    }
    void Receive(const RxdFields& fields, const std::vector<uint8_t>& frame)
    {
        Deliver(RxRole::Frames, 0, sim::chip::BuildRxFrame(generation_, fields, frame));
    }
    std::string Entry() const { return GetParam() == 0x3502 ? "Qz3501RecvProcessPacket" : "Arvel3xRecvProcessPacket"; }
};

INSTANTIATE_TEST_SUITE_P(Generations, Processing, ::testing::Values<USHORT>(0x3502, 0x3602),
                         [](const auto& info) { return "chip" + std::to_string(info.param == 0x3502 ? 3502 : 3602); });

TEST_P(Processing, HeaderOnlyFramesAreFreedExceptABlockAckRequestToUs)
{
    // A null data frame: 24 bytes of header and nothing else.
    Receive(RxdFields{}, Frame(0xC8, 0x01, kAp0, kOwn0, kAp0, 0));
    EXPECT_EQ(CountTraces(Entry() + ": null data frame of 24 bytes freed"), 1u);
    EXPECT_EQ(CountTraces("RecvProcessDataPkt"), 0u);
    // A Block Ack Request to our own address reaches the block-ack control; to another, it is freed.
    Receive(RxdFields{}, Frame(0x84, 0x00, kOwn0, kAp0, kAp0, 0));
    EXPECT_EQ(CountTraces("Block Ack Request of WLAN index"), 1u);
    Receive(RxdFields{}, Frame(0x84, 0x00, kOther, kAp0, kAp0, 0));
    EXPECT_EQ(CountTraces("Block Ack Request of WLAN index"), 1u);
    // Before 802.11n a Block Ack Request is not handled.
    port_.WirelessMode = 4;
    Receive(RxdFields{}, Frame(0x84, 0x00, kOwn0, kAp0, kAp0, 4));
    EXPECT_EQ(CountTraces("Block Ack Request of WLAN index"), 1u);
    EXPECT_EQ(adapter_->RxFrameTotal, 4u);
    EXPECT_EQ(adapter_->RxGoodFrames, 4u);
}

TEST_P(Processing, DataAndManagementFramesGoToTheirSteps)
{
    Receive(RxdFields{}, Frame(0x08, 0x02, kOwn0, kAp0, kAp0, 16));
    Receive(RxdFields{}, Frame(0x80, 0x00, rxtest::kBroadcast, kAp0, kAp0, 16));
    const std::string prefix = GetParam() == 0x3502 ? "Qz3501" : "Arvel3x";
    EXPECT_EQ(CountTraces(prefix + "RecvProcessDataPkt: frame not taken"), 1u);
    EXPECT_EQ(CountTraces(prefix + "RecvProcessMgntPkt: frame not taken"), 1u);
    // A frame of protocol version 1: dropped on the second generation only.
    Receive(RxdFields{}, Frame(0x09, 0x02, kOwn0, kAp0, kAp0, 16));
    EXPECT_EQ(CountTraces(Entry() + ": protocol version 1"), GetParam() == 0x3502 ? 1u : 0u);
}

TEST_P(Processing, BeaconsOfAKnownBssStampTheLastBeaconTime)
{
    port_.ConnectionFlags = 0x2;
    port_.MissedBeaconCount = 3;
    RxdFields unknown;
    Receive(unknown, Frame(0x80, 0x00, rxtest::kBroadcast, kAp0, kAp0, 16));
    EXPECT_EQ(adapter_->LastBeaconTime, 0u);
    EXPECT_EQ(port_.MissedBeaconCount, 3);
    RxdFields known;
    known.bssIndex = 0;
    Receive(known, Frame(0x80, 0x00, rxtest::kBroadcast, kAp0, kAp0, 16));
    EXPECT_NE(adapter_->LastBeaconTime, 0u);
    EXPECT_EQ(port_.MissedBeaconCount, 0);
}

TEST_P(Processing, LowLatencyIsAWifiDirectGroupPortsMatter)
{
    MP_PORT go{};
    go.PortType = WFD_GO;
    adapter_->PortList[2] = &go;
    port_.LowLatency = 1;  // a station port's byte does not count
    EXPECT_EQ(IsAnyPortLowLatency(adapter_), 0);
    go.LowLatency = 1;
    EXPECT_EQ(IsAnyPortLowLatency(adapter_), 1);
    adapter_->PortList[2] = nullptr;
}

}  // namespace
