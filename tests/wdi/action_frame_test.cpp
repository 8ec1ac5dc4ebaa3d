// The OS's own action frames: the two tasks' TLVs, the times the action-frame machine keeps, the frame
// that reaches the air (header, body, protection), the channel the firmware grants first when the
// frame is for another channel, and the refusals the OS hears of at once.
#include <mutex>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeaction_types.h"
#include "platform/ndiscommon/adapter.h"
#include "support/eventually.h"
#include "wdi_support.h"

namespace {

using kshim::host::WdiIndication;

constexpr uint8_t kPeer[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};

std::vector<uint8_t> Le32(uint32_t v)
{
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// The task's TLVs as the OS writes them: {channel, band id, destination, dwell, second time}, body.
std::vector<uint8_t> TaskTlvs(bool request, uint32_t channel, uint32_t bandId, uint32_t dwell, uint32_t second,
                              const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> p;
    for (uint32_t v : {channel, bandId}) {
        std::vector<uint8_t> b = Le32(v);
        p.insert(p.end(), b.begin(), b.end());
    }
    p.insert(p.end(), kPeer, kPeer + 6);
    for (uint32_t v : {dwell, second}) {
        std::vector<uint8_t> b = Le32(v);
        p.insert(p.end(), b.begin(), b.end());
    }
    std::vector<uint8_t> tlvs = kshim::host::WdiTlv(request ? 0x0294 : 0x0295, p);
    std::vector<uint8_t> b = kshim::host::WdiTlv(WDI_TLV_ACTION_FRAME_BODY, body);
    tlvs.insert(tlvs.end(), b.begin(), b.end());
    return tlvs;
}

class ActionFrameTask : public wdi_test::WdiTest {
protected:
    void SetUp() override
    {
        wdi_test::WdiTest::SetUp();
        port_ = Adapter()->PortList[0];
        ASSERT_NE(port_, nullptr);
        // The radio is tuned to channel 6 of 2.4 GHz.
        Adapter()->CurrentChannel = 6;
        Adapter()->CurrentBand = 1;
        firmware_->Data().SetAirSink([this](const sim::fw::SentDataFrame& f) {
            if (!f.bytes.empty() && f.bytes[0] == 0xD0) {
                std::lock_guard<std::mutex> lock(mutex_);
                air_.push_back(f.bytes);
            }
        });
    }
    void TearDown() override
    {
        firmware_->Data().SetAirSink(nullptr);
        wdi_test::WdiTest::TearDown();
    }

    std::vector<std::vector<uint8_t>> Air()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return air_;
    }

    uint32_t CurrentBandId() { return Adapter()->CurrentBand == 2 ? 2u : Adapter()->CurrentBand == 3 ? 5u : 1u; }

    // Sends one task and waits for the request; the machine then runs the frame on the MLME thread.
    void SendTask(bool request, uint32_t channel, uint32_t bandId, uint32_t dwell, uint32_t second,
                  const std::vector<uint8_t>& body, uint32_t transaction)
    {
        Send(request ? WDI_TASK_SEND_REQUEST_ACTION_FRAME : WDI_TASK_SEND_RESPONSE_ACTION_FRAME, 0, transaction,
             TaskTlvs(request, channel, bandId, dwell, second, body));
    }

    // The frame reaches the air; then the task ends (the simulated firmware reports no transmit
    // status for it, so the exchange ends at its dwell time) and the machine is idle again.
    std::vector<uint8_t> FrameOnAir(size_t n)
    {
        EXPECT_TRUE(qzl_test::Eventually([&] { return Air().size() >= n; })) << "no action frame on the air";
        EXPECT_TRUE(qzl_test::Eventually([&] {
            return Block().TaskPending == 0 &&
                   StateMachineGetState(&port_->Mlme.ActionMachine) == ACTION_STATE_IDLE;
        }, 20000)) << "the task did not end";
        std::vector<std::vector<uint8_t>> air = Air();
        return air.size() >= n ? air[n - 1] : std::vector<uint8_t>{};
    }

    // The task completions of `code` once `n` of them came (the handler indicates after it completed
    // the request).
    std::vector<WdiIndication> Completions(uint16_t code, size_t n = 1)
    {
        EXPECT_TRUE(qzl_test::Eventually([&] { return Collect(code).size() >= n; })) << "no completion " << code;
        return Collect(code);
    }
    std::vector<WdiIndication> Collect(uint16_t code)
    {
        std::vector<WdiIndication> out;
        for (const WdiIndication& i : kshim::host::WifiIndications()) {
            if (i.code == code) {
                out.push_back(i);
            }
        }
        return out;
    }

    PMP_PORT port_ = nullptr;
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> air_;
};

TEST(ActionFrameTlv, ParametersAndBodyRoundTripAndShortOrMissingTlvsAreRefused)
{
    WDI_SEND_ACTION_FRAME_PARAMETERS in = {};
    in.ChannelNumber = 149;
    in.BandId = 2;
    std::memcpy(in.DestinationAddress, kPeer, 6);
    in.DwellTime = 120;
    in.SecondTime = 40;
    UCHAR body[] = {5, 4, 7, 0x34};
    in.FrameBody.ElementCount = sizeof(body);
    in.FrameBody.pElements = body;
    for (bool request : {true, false}) {
        ULONG length = 0;
        PUCHAR buffer = nullptr;
        ASSERT_EQ(request ? WdiTlvGenerateTaskSendRequestActionFrame(&in, 0, nullptr, &length, &buffer)
                          : WdiTlvGenerateTaskSendResponseActionFrame(&in, 0, nullptr, &length, &buffer),
                  STATUS_SUCCESS);
        EXPECT_EQ(length, 4u + 22u + 4u + sizeof(body));
        EXPECT_EQ(buffer[0] | (buffer[1] << 8), request ? 0x0294 : 0x0295);
        WDI_SEND_ACTION_FRAME_PARAMETERS out;
        ASSERT_EQ(request ? WdiTlvParseTaskSendRequestActionFrame(length, buffer, nullptr, &out)
                          : WdiTlvParseTaskSendResponseActionFrame(length, buffer, nullptr, &out),
                  STATUS_SUCCESS);
        EXPECT_EQ(out.ChannelNumber, 149u);
        EXPECT_EQ(out.BandId, 2u);
        EXPECT_EQ(std::memcmp(out.DestinationAddress, kPeer, 6), 0);
        EXPECT_EQ(out.DwellTime, 120u);
        EXPECT_EQ(out.SecondTime, 40u);
        ASSERT_EQ(out.FrameBody.ElementCount, sizeof(body));
        EXPECT_EQ(std::memcmp(out.FrameBody.pElements, body, sizeof(body)), 0);
        WdiTlvCleanupTaskSendActionFrame(&out);
        // The other task's parameters TLV is not this task's.
        EXPECT_EQ(request ? WdiTlvParseTaskSendResponseActionFrame(length, buffer, nullptr, &out)
                          : WdiTlvParseTaskSendRequestActionFrame(length, buffer, nullptr, &out),
                  NDIS_STATUS_INVALID_DATA);
        WdiTlvFreeGenerated(buffer);
    }
    // A parameters TLV of 21 bytes, and a message without its body.
    std::vector<uint8_t> shortParams = kshim::host::WdiTlv(0x0294, std::vector<uint8_t>(21, 0));
    std::vector<uint8_t> bodyTlv = kshim::host::WdiTlv(WDI_TLV_ACTION_FRAME_BODY, {5, 4});
    std::vector<uint8_t> both = shortParams;
    both.insert(both.end(), bodyTlv.begin(), bodyTlv.end());
    WDI_SEND_ACTION_FRAME_PARAMETERS out;
    EXPECT_EQ(WdiTlvParseTaskSendRequestActionFrame(static_cast<ULONG>(both.size()), both.data(), nullptr, &out),
              NDIS_STATUS_INVALID_DATA);
    std::vector<uint8_t> noBody = kshim::host::WdiTlv(0x0294, std::vector<uint8_t>(22, 0));
    EXPECT_EQ(WdiTlvParseTaskSendRequestActionFrame(static_cast<ULONG>(noBody.size()), noBody.data(), nullptr, &out),
              NDIS_STATUS_INVALID_DATA);
}

TEST_F(ActionFrameTask, OnTheCurrentChannelTheFrameGoesAtOnceWithTheTimesOfItsKind)
{
    struct Row {
        bool request;
        uint32_t dwell;
        uint32_t storedDwell;
    };
    const Row rows[] = {{true, 100, 20}, {true, 80, 80}, {true, 81, 1}, {false, 100, 100}};
    size_t n = 0;
    for (const Row& row : rows) {
        const std::vector<uint8_t> body = {5, 4, static_cast<uint8_t>(n), 0x11, 0x22};
        SendTask(row.request, Adapter()->CurrentChannel, CurrentBandId(), row.dwell, 30, body, 300 + n);
        EXPECT_EQ(port_->Action.DwellTime, row.storedDwell) << row.request << " " << row.dwell;
        EXPECT_EQ(port_->Action.ResponseWait, 30u);
        EXPECT_EQ(port_->PendingActionFrame, 0) << "no channel privilege for the current channel";
        const std::vector<uint8_t> frame = FrameOnAir(++n);
        ASSERT_EQ(frame.size(), 24u + body.size());
        EXPECT_EQ(frame[0], 0xD0);
        EXPECT_EQ(frame[1] & 0x40, 0);
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 4, frame.begin() + 10), std::vector<uint8_t>(kPeer, kPeer + 6));
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 10, frame.begin() + 16),
                  std::vector<uint8_t>(port_->MacAddress, port_->MacAddress + 6));
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 16, frame.begin() + 22), std::vector<uint8_t>(kPeer, kPeer + 6));
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 24, frame.end()), body);
    }
}

// Radio-measurement and WNM frames carry the Protected Frame bit while management frames are
// protected on a CCMP link; a public action frame never does.
TEST_F(ActionFrameTask, RadioMeasurementAndWnmFramesAreProtectedUnderManagementFrameProtection)
{
    struct Row {
        uint8_t category;
        bool mfp;
        bool protectedBit;
    };
    const Row rows[] = {{10, true, true}, {5, true, true}, {4, true, false}, {10, false, false}};
    size_t n = 0;
    for (const Row& row : rows) {
        Adapter()->Mlme.Conn.OwnRsnCapabilities = row.mfp ? 0x0080 : 0;
        port_->Mlme.Conn.ApRsnCapabilities = 0x0080;
        port_->Mlme.UnicastCipher = 4;
        Adapter()->Mlme.Conn.PortSecured = 1;
        SendTask(false, Adapter()->CurrentChannel, CurrentBandId(), 20, 10, {row.category, 8, 1, 0}, 400 + n);
        const std::vector<uint8_t> frame = FrameOnAir(++n);
        ASSERT_GE(frame.size(), 2u);
        EXPECT_EQ((frame[1] & 0x40) != 0, row.protectedBit) << int(row.category) << " " << row.mfp;
    }
}

// For another channel the frame waits on the port until the firmware grants that channel for the
// dwell time, the second time and 200 ms; the grant sends it.
TEST_F(ActionFrameTask, ForAnotherChannelTheFirmwareGrantsTheChannelFirst)
{
    // The port's firmware BSS, through which the grant finds the port.
    constexpr UCHAR kBss = 1;
    ASSERT_EQ(Adapter()->BssIndexSlots[kBss].InUse, 0);
    Adapter()->BssIndexSlots[kBss].InUse = 1;
    Adapter()->BssIndexSlots[kBss].Port = port_;
    const UCHAR bssBefore = port_->BssIndex;
    port_->BssIndex = kBss;
    const uint32_t channel = 11;
    const size_t before = firmware_->Ram().Exchanges().size();
    SendTask(true, channel, 1, 100, 50, {5, 0, 9}, 500);
    const std::vector<uint8_t> frame = FrameOnAir(1);
    ASSERT_EQ(frame.size(), 27u);
    EXPECT_EQ(port_->PendingActionFrame, 0);
    EXPECT_EQ(port_->PendingActionBody, nullptr);
    bool privilege = false;
    std::vector<sim::fw::RamExchange> all = firmware_->Ram().Exchanges();
    for (size_t i = before; i < all.size(); ++i) {
        const sim::fw::RamExchange& e = all[i];
        if (e.unifiedCommand && e.unifiedCommand->cmdId == 0x27) {
            const sim::fw::UniTlv* t = e.unifiedCommand->Find(0);
            ASSERT_NE(t, nullptr);
            EXPECT_EQ(t->value[2], channel);
            EXPECT_EQ(t->value[12] | (t->value[13] << 8), 100 + 50 + 200) << "dwell, second time and 200 ms";
            privilege = true;
        }
    }
    EXPECT_TRUE(privilege) << "the channel was asked for";
    port_->BssIndex = bssBefore;
    Adapter()->BssIndexSlots[kBss].InUse = 0;
    Adapter()->BssIndexSlots[kBss].Port = nullptr;
}

// A port whose previous frame still waits, a peer the connected station does not know and a body that
// does not fit: the request is completed and the task ends at once with a failed send-complete.
TEST_F(ActionFrameTask, RefusalsEndTheTaskAtOnceWithAFailedSendComplete)
{
    // A frame waiting for its channel.
    port_->PendingActionFrame = 1;
    kshim::host::WifiClearIndications();
    SendTask(true, Adapter()->CurrentChannel, CurrentBandId(), 20, 10, {5, 4, 1}, 600);
    std::vector<WdiIndication> done = Completions(0x006A);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), static_cast<uint32_t>(STATUS_UNSUCCESSFUL));
    EXPECT_EQ(done[0].TransactionId(), 600u);
    port_->PendingActionFrame = 0;

    // The connected station and a peer without a station entry.
    const ULONG flags = port_->ConnectionFlags;
    port_->ConnectionFlags |= PORT_CONN_CONNECTED;
    kshim::host::WifiClearIndications();
    SendTask(false, Adapter()->CurrentChannel, CurrentBandId(), 20, 10, {10, 8, 1, 0}, 601);
    done = Completions(0x006B);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), static_cast<uint32_t>(STATUS_UNSUCCESSFUL));
    port_->ConnectionFlags = flags;

    // A body longer than a frame buffer holds behind the header (2048 - 24), and one of a single byte.
    for (size_t length : {size_t{2025}, size_t{1}}) {
        kshim::host::WifiClearIndications();
        SendTask(true, Adapter()->CurrentChannel, CurrentBandId(), 20, 10, std::vector<uint8_t>(length, 5), 602);
        done = Completions(0x006A);
        ASSERT_EQ(done.size(), 1u) << length;
        EXPECT_EQ(done[0].Status(), static_cast<uint32_t>(STATUS_UNSUCCESSFUL));
    }
    EXPECT_TRUE(Air().empty());
}

}  // namespace
