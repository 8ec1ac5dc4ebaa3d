// The receive processing's entry behind the dispatch on a started simulated chip: counting, frames
// of a header or less, Block Ack Requests to the block-ack control, the second generation's
// protocol-version test and the last-beacon time.
#include <gtest/gtest.h>

#include "Common/recv.h"
#include "hal/common/hal_desc.h"
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
    EXPECT_EQ(CountTraces(prefix + "RecvProcessDataPkt: port not open for data"), 1u);
    EXPECT_EQ(CountTraces(prefix + "RecvProcessMgntPkt: subtype 8 queued for port 0"), 1u);
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

namespace {

TEST_P(Processing, DataFromASenderWithoutStationEntryIsDropped)
{
    // The second and third generation drop data whose sender has no station entry (invalid EAPOL
    // and unprotected data check).
    port_.ConnectionFlags = 0x80;
    RxdFields f;
    f.bssIndex = 0;
    Receive(f, Frame(0x08, 0x02, kOwn0, kOther, kAp0, 16));
    const std::string step = GetParam() == 0x3502 ? "Qz3501" : "Arvel3x";
    EXPECT_EQ(CountTraces(step + "DetectRxInvalidEAPOL: frame from an unknown sender"), 1u);
    EXPECT_EQ(CountTraces("for the OS"), 0u);
}

// The data step on parsed records of the older chip, whose data path has no station-table checks.
class OlderDataStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        adapter_ = std::make_unique<MP_ADAPTER>();
        adapter_->HalInfo.ChipCode = 0x3404;
        port_ = std::make_unique<MP_PORT>();
        port_->Adapter = adapter_.get();
        port_->ConnectionFlags = 0x80;
        std::memcpy(port_->MacAddress, kOwn0, 6);
        std::memcpy(port_->Bssid, kAp0, 6);
        kshim::host::TraceClear();
    }
    BOOLEAN Run(RxdFields f, const std::vector<uint8_t>& frame)
    {
        buffer_ = sim::chip::BuildRxFrame(sim::chip::RxdGeneration::Older, f, frame);
        buffer_.resize(4096);
        record_ = RX_DMAQ_DESC{};
        record_.BufferSize = 4096;
        record_.BufferVa = buffer_.data();
        record_.ReceivedLength = static_cast<ULONG>(buffer_[0] | (buffer_[1] << 8));
        EXPECT_TRUE(HalRxdParse(adapter_.get(), &record_, DESC_GEN_OLDER));
        return RecvProcessDataPkt(adapter_.get(), port_.get(), &record_, rssi_);
    }
    static RxdFields Group()
    {
        RxdFields f;
        f.bssIndex = 0;
        f.unicast = false;
        f.group = true;
        return f;
    }
    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<MP_PORT> port_;
    std::vector<uint8_t> buffer_;
    RX_DMAQ_DESC record_{};
    CHAR rssi_[3] = {};
};

TEST_F(OlderDataStep, GroupFramesOfTheBssReachTheOsInTheirPlainForm)
{
    // Plain data: 40 bytes handed on as they are.
    EXPECT_TRUE(Run(Group(), Frame(0x08, 0x02, rxtest::kBroadcast, kOther, kAp0, 16)));
    EXPECT_EQ(CountTraces("frame of 40 bytes for the OS"), 1u);
    // QoS data: the QoS control goes, and the header's QoS bit with it.
    EXPECT_TRUE(Run(Group(), Frame(0x88, 0x02, rxtest::kBroadcast, kOther, kAp0, 16)));
    EXPECT_EQ(CountTraces("frame of 38 bytes for the OS"), 1u);
    // The header moved forward over the QoS control (descriptor 16 bytes, then 2) with its QoS bit clear.
    EXPECT_EQ(buffer_[16 + 2], 0x08);
    EXPECT_EQ(buffer_[16 + 2 + 4], rxtest::kBroadcast[0]);
    // An A-MSDU: QoS control, padding and the subframe header go.
    std::vector<uint8_t> amsdu = Frame(0x88, 0x02, rxtest::kBroadcast, kOther, kAp0, 40);
    amsdu[24] = 0x80;
    EXPECT_TRUE(Run(Group(), amsdu));
    EXPECT_EQ(CountTraces("frame of 46 bytes for the OS"), 1u);
    // An A-MSDU too short for what it announces is refused, not read beyond its end.
    std::vector<uint8_t> stub = Frame(0x88, 0x02, rxtest::kBroadcast, kOther, kAp0, 10);
    stub[24] = 0x80;
    EXPECT_FALSE(Run(Group(), stub));
    EXPECT_EQ(CountTraces("RecvProcessDataPkt: frame shorter than its header fields"), 1u);
}

TEST_F(OlderDataStep, RefusalsBeforeDelivery)
{
    port_->ConnectionFlags = 0;
    EXPECT_FALSE(Run(Group(), Frame(0x08, 0x02, rxtest::kBroadcast, kOther, kAp0, 16)));
    EXPECT_EQ(CountTraces("RecvProcessDataPkt: port not open for data"), 1u);
    struct Case {
        const char* why;
        uint8_t fc1;
        ULONG flags;
        const UCHAR* a2;
        const UCHAR* a3;
        uint8_t bss;
        const char* trace;
    } cases[] = {
        {"no BSS match", 0x02, 0x80, kOther, kAp0, 15, "RecvProcessDataPkt: frame of no known BSS"},
        {"another BSS", 0x02, 0x80, kOther, kOther, 0, "RecvProcessDataPkt: frame of another BSS"},
        {"fragment", 0x06, 0x80, kOther, kAp0, 0, "group data: fragment"},
        // With flag bit 0 the BSSID is address 2; address 3 is then the source.
        {"own frame echoed", 0x02, 0x81, kAp0, kOwn0, 0, "group data: own frame echoed by the distribution system"},
        {"null data", 0x02, 0x80, kOther, kAp0, 0, "RecvProcessDataPkt: null data frame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        RxdFields f = Group();
        f.bssIndex = c.bss;
        port_->ConnectionFlags = c.flags;
        const uint8_t fc0 = std::string(c.why) == "null data" ? 0x48 : 0x08;
        EXPECT_FALSE(Run(f, Frame(fc0, c.fc1, rxtest::kBroadcast, c.a2, c.a3, 16)));
        EXPECT_EQ(CountTraces(c.trace), 1u);
    }
    EXPECT_EQ(CountTraces("for the OS"), 0u);
}

TEST_F(OlderDataStep, ExcludedUnencryptedFramesStopAtTheExemptionList)
{
    port_->ExcludeUnencrypted = 1;
    EXPECT_FALSE(Run(Group(), Frame(0x08, 0x02, rxtest::kBroadcast, kOther, kAp0, 16)));
    EXPECT_EQ(CountTraces("RecvProcessDataPkt: refused by the exemption list"), 1u);
    EXPECT_EQ(port_->ExcludedGroup, 1u);
    port_->HostCipher = 1;  // the host decrypts: no exemption test
    EXPECT_TRUE(Run(Group(), Frame(0x08, 0x02, rxtest::kBroadcast, kOther, kAp0, 16)));
}

}  // namespace
