// The TWT requester driven through MLME elements, received frames, transmit statuses and firmware
// events built here: setup (accepted, answered with an alternate, rejected), suspend, resume at the
// next aligned wake time, teardown from either side, the local agreement, the agreement slots and the
// link-down teardown. What the firmware received (TSF queries, agreement updates) is checked as the
// simulated firmware decodes it, on the second and the third generation.
//
// The management transmit path is not in this fixture (no bus context): a TWT frame the machine sends
// is refused there, and the machine takes the refusal as a failed send (flow back to idle, with the
// follow-up of the state it left). The transitions a delivered frame causes are driven by the frame's
// transmit status from the state the hand-over leaves; the frames themselves are checked from their
// builders, byte by byte and by tshark.
#include <memory>
#include <optional>

#include "Common/he/twt.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "fw/legacy_cmd.h"
#include "fw/twt.h"
#include "fw/unified_ram.h"
#include "kshim/host/control.h"
#include "radiocaps/radiocaps_fixture.h"
#include "fwcmds/fwcmds_fixture.h"

namespace radiocapstest {
namespace {

using sim::chip::Generation;

class TwtTest : public fwcmdstest::FwCmdsTest {
protected:
    void SetUpChip(USHORT deviceId)
    {
        fwcmdstest::FwCmdsTest::SetUpChip(deviceId);
        // No bus context: the management transmit path is out of this fixture (the adapter block's
        // context comes back for the teardown).
        savedHif_ = adapter_->HifContext;
        adapter_->HifContext = nullptr;
        port0_->OwnMacIndex = 0;
        port0_->OpMode = 0;
        port0_->WirelessMode = PHY_11He;
        port0_->HeEnabled = 1;
        port0_->ConnectionFlags |= PORT_CONN_CONNECTED;
        std::memcpy(port0_->MacAddress, kStaAddr, 6);
        std::memcpy(port0_->Bssid, kApAddr, 6);
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_.get()), STATUS_SUCCESS);
        ASSERT_EQ(MlmeInit(adapter_.get()), STATUS_SUCCESS);
        mlmeStarted_ = true;
        if (MlmeSyncMacTabMatchedRoleType(port0_, MAC_ENTRY_KIND_PEER) == nullptr) {
            ASSERT_EQ(MlmeSyncInitMacTab(port0_, 1), STATUS_SUCCESS);
        }
        ap_ = MlmeSyncMacTabMatchedRoleType(port0_, MAC_ENTRY_KIND_PEER);
        ASSERT_NE(ap_, nullptr);
        std::memcpy(ap_->Addr, kApAddr, 6);
        ap_->AssocState = MAC_ENTRY_ASSOCIATED;
        ap_->Rlm.HeMacCap[0] = 0x04;  // HE MAC bit 2: TWT responder
        fw_.Settings().tsf = [this] { return ramCodeTsf_ ? sim::fw::ChipTsf() : tsf_; };
    }

    void TearDown() override
    {
        if (mlmeStarted_) {
            MlmeHalt(adapter_.get(), port0_);
            mlmeStarted_ = false;
        }
        if (savedHif_ != nullptr) {
            adapter_->HifContext = savedHif_;
            savedHif_ = nullptr;
        }
        fwcmdstest::FwCmdsTest::TearDown();
    }

    // The TSF answer the simulated firmware gives to each TSF query.
    std::vector<Bytes> ExtraAnswers(const Bytes& command, bool unified) override
    {
        std::optional<uint8_t> bss;
        uint8_t seq = 0;
        if (unified) {
            if (auto c = sim::fw::DecodeUnifiedCommand(command.data(), command.size())) {
                bss = sim::fw::TsfQueryBssIndex(*c);
                seq = c->seq;
            }
        } else if (auto c = sim::fw::DecodeLegacyCommand(generation_, command.data(), command.size())) {
            bss = sim::fw::TsfQueryBssIndex(*c);
            seq = c->seq;
        }
        if (!bss || !answerTsf_) {
            return {};
        }
        if (unified) {
            return {};  // the third generation's RAM code answers it (with `tsf_` unless ramCodeTsf_)
        }
        if (ramCodeTsf_) {
            // As the simulated RAM code answers, with the chip's TSF.
            sim::fw::EventHeader header;
            header.id = 0xED;
            header.extId = 0x3C;
            header.seq = seq;
            return {sim::fw::EncodeRamEvent(generation_, header, sim::fw::LegacyTsfPayload(*bss, sim::fw::ChipTsf()))};
        }
        return {sim::fw::TsfAnswer(generation_, seq, *bss, tsf_, tsfAnswerLength_)};
    }

    // Runs the MLME machines and the firmware command callbacks the control thread would run, until
    // neither has anything left.
    void Run()
    {
        for (int round = 0; round < 8; ++round) {
            (void)MlmeHandler(adapter_.get());
            RunCallbacks();
        }
    }

    // The private test request bytes: argument count, command, flow, unused, trigger, protection,
    // flow type, setup command, duration, exponent, u16 mantissa.
    static Bytes Request(uint8_t count, uint8_t command, uint8_t flow, uint8_t trigger = 0, uint8_t protection = 0,
                         uint8_t flowType = 0, uint8_t setup = 0, uint8_t duration = 0, uint8_t exponent = 0,
                         uint16_t mantissa = 0)
    {
        return {count, command, flow, 0, trigger, protection, flowType, setup, duration, exponent,
                static_cast<uint8_t>(mantissa), static_cast<uint8_t>(mantissa >> 8)};
    }
    bool TestRequest(const Bytes& r) { return twtTestRequest(adapter_.get(), r.data(), static_cast<ULONG>(r.size())) != 0; }

    // An S1G TWT Setup action frame from the access point (response: request bit clear).
    static Bytes SetupFromAp(uint8_t command, uint8_t flow, uint64_t twt, uint8_t exponent, uint16_t mantissa,
                             uint8_t duration = 64, bool request = false)
    {
        const uint16_t type = static_cast<uint16_t>((request ? 1 : 0) | (command << 1) | (1u << 5) | (flow << 7) |
                                                    (exponent << 10));
        Bytes body{22, 6, 0, 216, 15, 0, static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8)};
        for (int i = 0; i < 8; ++i) {
            body.push_back(static_cast<uint8_t>(twt >> (8 * i)));
        }
        body.push_back(duration);
        body.push_back(static_cast<uint8_t>(mantissa));
        body.push_back(static_cast<uint8_t>(mantissa >> 8));
        body.push_back(0);
        return MgmtFrame(13, body, kStaAddr, kApAddr);
    }
    static Bytes TeardownFromAp(uint8_t flowByte) { return MgmtFrame(13, {22, 7, flowByte}, kStaAddr, kApAddr); }
    void Receive(const Bytes& frame)
    {
        twtRecvActionFrame(adapter_.get(), 0, frame.data(), static_cast<ULONG>(frame.size()));
    }

    std::vector<sim::fw::TwtAgreementUpdate> Agreements()
    {
        std::vector<sim::fw::TwtAgreementUpdate> out;
        if (generation_ == Generation::Third) {
            for (const auto& c : Unified()) {
                if (auto u = sim::fw::DecodeTwtAgreementUpdate(c)) {
                    out.push_back(*u);
                }
            }
        } else {
            for (const auto& c : Legacy()) {
                if (auto u = sim::fw::DecodeTwtAgreementUpdate(c)) {
                    out.push_back(*u);
                }
            }
        }
        return out;
    }
    size_t TsfQueries()
    {
        size_t n = 0;
        if (generation_ == Generation::Third) {
            for (const auto& c : Unified()) {
                n += sim::fw::TsfQueryBssIndex(c) == 0 ? 1 : 0;
            }
        } else {
            for (const auto& c : Legacy()) {
                n += sim::fw::TsfQueryBssIndex(c) == 0 ? 1 : 0;
            }
        }
        return n;
    }

    // The queued MLME messages of machine 19, oldest first.
    std::vector<ULONG> QueuedTwtMessages()
    {
        std::vector<ULONG> out;
        PMLME_QUEUE q = &adapter_->Mlme.Queue;
        for (ULONG i = 0; i < q->Num; ++i) {
            const MLME_QUEUE_ELEM& e = q->Entry[(q->Head + i) % MAX_LEN_OF_MLME_QUEUE];
            if (e.Machine == MLME_TWT_STATE_MACHINE) {
                out.push_back(e.MsgType);
            }
        }
        return out;
    }
    const MLME_QUEUE_ELEM* QueuedTwtMessage(ULONG msg)
    {
        PMLME_QUEUE q = &adapter_->Mlme.Queue;
        for (ULONG i = 0; i < q->Num; ++i) {
            const MLME_QUEUE_ELEM& e = q->Entry[(q->Head + i) % MAX_LEN_OF_MLME_QUEUE];
            if (e.Machine == MLME_TWT_STATE_MACHINE && e.MsgType == msg) {
                return &e;
            }
        }
        return nullptr;
    }

    // Sets up an accepted agreement of the flow (TWT, exponent, mantissa) through the setup exchange.
    void Agree(uint8_t flow, uint64_t twt, uint8_t exponent, uint16_t mantissa)
    {
        ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_SETUP, flow, 1, 0, 0, TWT_SETUP_CMD_SUGGEST, 64, exponent, mantissa)));
        Run();
        // The setup frame handed over, then delivered (its transmit status), then the access point accepts.
        ap_->Rlm.TwtState = TWT_STATE_SETUP_SENT;
        ASSERT_EQ(twtTxDoneHandler(adapter_.get(), ap_->WlanIdx, 0), STATUS_SUCCESS);
        ASSERT_EQ(ap_->Rlm.TwtState, TWT_STATE_SETUP_DELIVERED);
        Receive(SetupFromAp(TWT_SETUP_CMD_ACCEPT, flow, twt, exponent, mantissa));
        Run();
    }

    MP_ADAPTER& A() { return *adapter_; }

    PMAC_TABLE_ENTRY ap_ = nullptr;
    uint64_t tsf_ = 1000000;
    size_t tsfAnswerLength_ = 0;  // 0: the whole answer
    bool answerTsf_ = true;
    bool ramCodeTsf_ = false;  // the simulated RAM code answers with the chip's TSF (not `tsf_`)

private:
    bool mlmeStarted_ = false;
    PPCI_HIF_CONTEXT savedHif_ = nullptr;
};

const USHORT kChips[] = {kChip3502, kChip3602};

TEST_F(TwtTest, ASetupTheAccessPointAcceptsBecomesAFirmwareAgreement)
{
    for (USHORT chip : kChips) {
        SetUpChip(chip);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << chip);
        // The request asks the firmware for its TSF first; the setup's target wake time is 5 s later.
        ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_SETUP, 2, 1, 1, 0, TWT_SETUP_CMD_SUGGEST, 64, 10, 512)));
        (void)MlmeHandler(adapter_.get());
        EXPECT_EQ(TsfQueries(), 1u);
        RunCallbacks();
        ASSERT_EQ(QueuedTwtMessages(), (std::vector<ULONG>{TWT_MSG_SEND_SETUP}));
        const TWT_PARAMS& req = ap_->Rlm.TwtFlows[2].Request;
        EXPECT_EQ(req.TargetWakeTime, 1000000u + 5000000u);
        EXPECT_EQ(req.Request, 1);
        EXPECT_EQ(req.SetupCommand, 1) << "suggest";
        EXPECT_EQ(req.Trigger, 1);
        EXPECT_EQ(req.Protection, 1);
        EXPECT_EQ(req.MinWakeDuration, 64);
        EXPECT_EQ(req.WakeIntervalExp, 10);
        EXPECT_EQ(req.WakeIntervalMantissa, 512);
        EXPECT_EQ(ap_->Rlm.TwtCurrentFlowId, 2);
        Run();
        EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_IDLE) << "the frame was not taken: back to idle";
        EXPECT_TRUE(Agreements().empty());

        // Delivered, then accepted with the access point's values: one firmware agreement.
        ap_->Rlm.TwtState = TWT_STATE_SETUP_SENT;
        ASSERT_EQ(twtTxDoneHandler(adapter_.get(), ap_->WlanIdx, 0), STATUS_SUCCESS);
        EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_SETUP_DELIVERED);
        Receive(SetupFromAp(TWT_SETUP_CMD_ACCEPT, 2, 7000000, 10, 600, 80));
        EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_IDLE);
        Run();
        auto agreements = Agreements();
        ASSERT_EQ(agreements.size(), 1u);
        sim::fw::TwtAgreementUpdate expected;
        expected.slot = 0;
        expected.action = 0;
        expected.flowId = 2;
        expected.wlanIndex = ap_->WlanIdx;
        expected.minWakeDuration = 80;
        expected.bssIndex = 0;
        expected.targetWakeTime = 7000000;
        expected.mantissa = 600;
        expected.exponent = 10;
        expected.flags = 0x2;  // announced, no trigger, no protection: as the access point's answer says
        EXPECT_EQ(agreements[0], expected);
        EXPECT_EQ(A().Rlm.TwtSlots[0].Used, 1);
        EXPECT_EQ(A().Rlm.TwtSlots[0].FlowId, 2);

        // A setup request for a flow that has an agreement asks nothing.
        ClearSent();
        ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_SETUP, 2, 0, 0, 0, 0, 64, 10, 512)));
        Run();
        EXPECT_EQ(TsfQueries(), 0u);
        TearDown();
        SetUp();
    }
}

// The simulated RAM code answers the TSF query with the chip's TSF: the stand-in's clock in
// microseconds (100 ns units / 10); the setup's target wake time is 5 s after it.
TEST_F(TwtTest, TheSimulatedRamCodeAnswersTheTsfQueryWithTheChipsClock)
{
    for (USHORT chip : kChips) {
        SetUpChip(chip);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << chip);
        ramCodeTsf_ = true;
        const uint64_t before = static_cast<uint64_t>(kshim::host::ClockNow()) / 10;
        ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_SETUP, 1, 1, 0, 0, TWT_SETUP_CMD_SUGGEST, 64, 10, 512)));
        (void)MlmeHandler(adapter_.get());
        EXPECT_EQ(TsfQueries(), 1u);
        RunCallbacks();
        const uint64_t after = static_cast<uint64_t>(kshim::host::ClockNow()) / 10;
        ASSERT_EQ(QueuedTwtMessages(), (std::vector<ULONG>{TWT_MSG_SEND_SETUP}));
        const uint64_t twt = ap_->Rlm.TwtFlows[1].Request.TargetWakeTime;
        EXPECT_GE(twt, before + 5000000u);
        EXPECT_LE(twt, after + 5000000u);
        ramCodeTsf_ = false;
        TearDown();
        SetUp();
    }
}

TEST_F(TwtTest, AnAlternateAnswerIsAskedForAgainWithTheAccessPointsValuesAndARejectEndsTheExchange)
{
    SetUpChip(kChip3502);
    ap_->Rlm.TwtState = TWT_STATE_SETUP_DELIVERED;
    Receive(SetupFromAp(TWT_SETUP_CMD_ALTERNATE, 3, 9000000, 12, 300, 100));
    EXPECT_EQ(QueuedTwtMessages(), (std::vector<ULONG>{TWT_MSG_SETUP_DONE}));
    (void)MlmeHandler(adapter_.get());
    const TWT_PARAMS& req = ap_->Rlm.TwtFlows[3].Request;
    EXPECT_EQ(req.Request, 1);
    EXPECT_EQ(req.SetupCommand, 1) << "suggest";
    EXPECT_EQ(req.TargetWakeTime, 9000000u);
    EXPECT_EQ(req.WakeIntervalExp, 12);
    EXPECT_EQ(req.WakeIntervalMantissa, 300);
    EXPECT_EQ(req.MinWakeDuration, 100);
    EXPECT_TRUE(Agreements().empty());
    // The second request carries exactly these values (setup command 1, the access point's TWT).
    Bytes frame(MLME_BUFFER_SIZE);
    frame.resize(twtBuildSetupFrame(adapter_.get(), port0_, ap_, 3, &req, frame.data()));
    ASSERT_EQ(frame.size(), 44u);
    const uint16_t type = Le16(&frame[30]);
    EXPECT_EQ(type & 1, 1);
    EXPECT_EQ((type >> 1) & 7, 1);
    EXPECT_EQ((type >> 7) & 7, 3);
    EXPECT_EQ((type >> 10) & 0x1F, 12);
    EXPECT_EQ(Le32(&frame[32]), 9000000u);

    // A dictate is taken as an alternate; a reject ends it: no agreement, no new request.
    ap_->Rlm.TwtState = TWT_STATE_SETUP_DELIVERED;
    Receive(SetupFromAp(TWT_SETUP_CMD_REJECT, 4, 1, 0, 1));
    (void)MlmeHandler(adapter_.get());
    EXPECT_TRUE(QueuedTwtMessages().empty());
    EXPECT_EQ(ap_->Rlm.TwtFlows[4].Request.Request, 0);
    EXPECT_TRUE(Agreements().empty());
    ap_->Rlm.TwtState = TWT_STATE_SETUP_DELIVERED;
    Receive(SetupFromAp(TWT_SETUP_CMD_DICTATE, 5, 2000, 4, 50));
    (void)MlmeHandler(adapter_.get());
    EXPECT_EQ(ap_->Rlm.TwtFlows[5].Request.SetupCommand, 1) << "suggest";

    // The access point's own request, or a response when no setup is outstanding, changes no state.
    ap_->Rlm.TwtState = TWT_STATE_SETUP_DELIVERED;
    Receive(SetupFromAp(TWT_SETUP_CMD_REQUEST, 6, 1, 0, 1, 64, true));
    EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_SETUP_DELIVERED);
    ap_->Rlm.TwtState = TWT_STATE_IDLE;
    Receive(SetupFromAp(TWT_SETUP_CMD_ACCEPT, 6, 1, 0, 1));
    EXPECT_TRUE(QueuedTwtMessages().empty());
}

TEST_F(TwtTest, SuspendAndResumeAtTheNextAlignedWakeTime)
{
    for (USHORT chip : kChips) {
        SetUpChip(chip);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << chip);
        // Agreement of flow 1: TWT 7 000 000 us, interval 100 << 12 = 409 600 us.
        Agree(1, 7000000, 12, 100);
        ClearSent();

        // Suspend: an information frame without next TWT; once delivered the firmware deletes the
        // agreement but the slot stays, then the peer action.
        ASSERT_TRUE(TestRequest(Request(3, TWT_TEST_SUSPEND, 1)));
        Run();
        EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_IDLE);
        ap_->Rlm.TwtState = TWT_STATE_SUSPEND_SENT;
        ASSERT_EQ(twtTxDoneHandler(adapter_.get(), ap_->WlanIdx, 0), STATUS_SUCCESS);
        EXPECT_EQ(QueuedTwtMessages(), (std::vector<ULONG>{TWT_MSG_SUSPEND_DONE}));
        Run();
        auto agreements = Agreements();
        ASSERT_EQ(agreements.size(), 2u);
        EXPECT_EQ(agreements[0].action, 2);
        EXPECT_EQ(agreements[0].slot, 0);
        EXPECT_EQ(agreements[0].flowId, 1);
        EXPECT_EQ(agreements[1].action, 3);
        EXPECT_EQ(agreements[1].wlanIndex, ap_->WlanIdx);
        EXPECT_EQ(A().Rlm.TwtSlots[0].Used, 1) << "the slot is kept for the resume";

        // Resume: the next TWT wanted is TSF + 5 s; the access point has no flexible schedule, so it
        // becomes the first service period of the agreement (7 000 000 + n x 409 600) after that.
        ClearSent();
        tsf_ = 8123456;
        ASSERT_TRUE(TestRequest(Request(3, TWT_TEST_RESUME, 1)));
        (void)MlmeHandler(adapter_.get());
        EXPECT_EQ(TsfQueries(), 1u);
        RunCallbacks();
        const MLME_QUEUE_ELEM* resume = QueuedTwtMessage(TWT_MSG_RESUME);
        ASSERT_NE(resume, nullptr);
        TWT_RESUME_MSG body{};
        std::memcpy(&body, resume->Msg, sizeof(body));
        const uint64_t t = 8123456 + 5000000;
        const uint64_t interval = 100ull << 12;
        uint64_t expected = 7000000;
        while (expected <= t) {
            expected += interval;  // the first service period after t
        }
        EXPECT_EQ(body.NextTwt, expected);
        EXPECT_EQ((body.NextTwt - 7000000) % interval, 0u);
        EXPECT_EQ(body.SizeCode, 3);
        EXPECT_EQ(body.FlowId, 1);
        // The resume frame is refused by the transmit path here: the flow leaves state 5 at once and the
        // agreement is added again from its slot (as after a delivered resume).
        Run();
        agreements = Agreements();
        ASSERT_EQ(agreements.size(), 1u);
        EXPECT_EQ(agreements[0].action, 0);
        EXPECT_EQ(agreements[0].targetWakeTime, 7000000u);
        EXPECT_EQ(agreements[0].exponent, 12);

        // With a flexible schedule the next TWT is TSF + 5 s as it is.
        ap_->Rlm.HeMacCap[3] |= 0x40;  // HE MAC bit 30
        ASSERT_TRUE(TestRequest(Request(3, TWT_TEST_RESUME, 1)));
        (void)MlmeHandler(adapter_.get());
        RunCallbacks();
        resume = QueuedTwtMessage(TWT_MSG_RESUME);
        ASSERT_NE(resume, nullptr);
        std::memcpy(&body, resume->Msg, sizeof(body));
        EXPECT_EQ(body.NextTwt, t);
        Run();
        TearDown();
        SetUp();
    }
}

TEST_F(TwtTest, TransmitStatusesMoveTheFlow)
{
    SetUpChip(kChip3502);
    Agree(1, 7000000, 12, 100);
    ClearSent();
    struct Row {
        ULONG state;
        UCHAR status;
        ULONG after;
        std::vector<ULONG> messages;
    };
    // Frames sent again here are refused by this fixture's transmit path, which sends the flow to idle.
    const std::vector<Row> rows = {
        {TWT_STATE_SETUP_SENT, 0, TWT_STATE_SETUP_DELIVERED, {}},
        {TWT_STATE_SETUP_SENT, 1, TWT_STATE_IDLE, {}},
        {TWT_STATE_SUSPEND_SENT, 0, TWT_STATE_SUSPEND_DELIVERED, {TWT_MSG_SUSPEND_DONE}},
        {TWT_STATE_SUSPEND_SENT, 1, TWT_STATE_IDLE, {}},           // sent again
        {TWT_STATE_RESUME_SENT, 0, TWT_STATE_IDLE, {TWT_MSG_RESUME_DONE}},
        {TWT_STATE_RESUME_SENT, 1, TWT_STATE_RESUME_SENT, {}},     // kept: the next TWT is gone
        {TWT_STATE_TEARDOWN_SENT, 0, TWT_STATE_IDLE, {TWT_MSG_TEARDOWN_DONE}},
        {TWT_STATE_TEARDOWN_SENT, 1, TWT_STATE_IDLE, {TWT_MSG_TEARDOWN_DONE}},  // sent again, refused
        {TWT_STATE_SETUP_DELIVERED, 0, TWT_STATE_SETUP_DELIVERED, {}},
    };
    for (const Row& r : rows) {
        ap_->Rlm.TwtState = r.state;
        ap_->Rlm.TwtCurrentFlowId = 1;
        ASSERT_EQ(twtTxDoneHandler(adapter_.get(), ap_->WlanIdx, r.status), STATUS_SUCCESS);
        EXPECT_EQ(ap_->Rlm.TwtState, r.after) << r.state << "/" << int(r.status);
        EXPECT_EQ(QueuedTwtMessages(), r.messages) << r.state << "/" << int(r.status);
        adapter_->Mlme.Queue.Num = 0;  // not run: only the posting is looked at
        for (auto& e : adapter_->Mlme.Queue.Entry) {
            e.Occupied = 0;
        }
        adapter_->Mlme.Queue.Head = adapter_->Mlme.Queue.Tail;
    }
    EXPECT_EQ(twtTxDoneHandler(adapter_.get(), 19, 0), STATUS_UNSUCCESSFUL) << "no entry of WLAN index 19";
}

TEST_F(TwtTest, TeardownFromEitherSideClearsTheAgreement)
{
    for (USHORT chip : kChips) {
        SetUpChip(chip);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << chip);
        Agree(1, 7000000, 12, 100);
        Agree(4, 8000000, 10, 50);
        ClearSent();
        // Ours: the teardown frame (refused here, which ends in the same teardown-done step).
        ASSERT_TRUE(TestRequest(Request(3, TWT_TEST_TEARDOWN, 1)));
        Run();
        auto agreements = Agreements();
        ASSERT_EQ(agreements.size(), 2u);
        EXPECT_EQ(agreements[0].action, 2);
        EXPECT_EQ(agreements[0].flowId, 1);
        EXPECT_EQ(agreements[1].action, 3);
        EXPECT_EQ(A().Rlm.TwtSlots[0].Used, 0);
        EXPECT_EQ(A().Rlm.TwtSlots[1].Used, 1);

        // The access point's, ignored while a resume is outstanding, taken when idle.
        ClearSent();
        ap_->Rlm.TwtState = TWT_STATE_RESUME_SENT;
        Receive(TeardownFromAp(4));
        EXPECT_TRUE(QueuedTwtMessages().empty());
        ap_->Rlm.TwtState = TWT_STATE_IDLE;
        Receive(TeardownFromAp(0x24));  // broadcast negotiation type: not ours
        EXPECT_TRUE(QueuedTwtMessages().empty());
        Receive(TeardownFromAp(4));
        Run();
        agreements = Agreements();
        ASSERT_EQ(agreements.size(), 2u);
        EXPECT_EQ(agreements[0].action, 2);
        EXPECT_EQ(agreements[0].slot, 1);
        EXPECT_EQ(agreements[0].flowId, 4);
        EXPECT_EQ(A().Rlm.TwtSlots[1].Used, 0);

        // "Teardown all": every agreement with the access point.
        Agree(0, 1000, 0, 1);
        Agree(7, 2000, 0, 1);
        ClearSent();
        ap_->Rlm.TwtState = TWT_STATE_IDLE;
        Receive(TeardownFromAp(0x80));
        Run();
        size_t deletes = 0;
        for (const auto& a : Agreements()) {
            deletes += a.action == 2 ? 1 : 0;
        }
        EXPECT_EQ(deletes, 2u);
        for (const auto& slot : A().Rlm.TwtSlots) {
            EXPECT_EQ(slot.Used, 0);
        }
        TearDown();
        SetUp();
    }
}

TEST_F(TwtTest, ALocalAgreementNeedsNoAccessPointAndTheSlotsRunOutAtSixteen)
{
    SetUpChip(kChip3602);
    ap_->Rlm.HeMacCap[0] = 0;  // not a TWT responder: only the local agreement is taken
    ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_SETUP, 1, 0, 0, 0, 0, 64, 10, 512)));
    Run();
    EXPECT_EQ(TsfQueries(), 0u);
    tsf_ = 2000000;
    ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_LOCAL_AGREEMENT, 1, 1, 0, 1, 0, 64, 10, 512)));
    Run();
    auto agreements = Agreements();
    ASSERT_EQ(agreements.size(), 1u);
    EXPECT_EQ(agreements[0].action, 0);
    EXPECT_EQ(agreements[0].targetWakeTime, 3000000u) << "TSF + 1 s";
    EXPECT_EQ(agreements[0].flags, 0x1) << "trigger, unannounced";
    EXPECT_TRUE(QueuedTwtMessages().empty()) << "no frame exchange";

    // Fill the other 15 slots; the 17th agreement finds none and sends nothing.
    TWT_PARAMS params{};
    for (UCHAR flow = 0; flow < 15; ++flow) {
        ASSERT_EQ(twtAgrtAdd(adapter_.get(), port0_, ap_, &params, flow % 8), STATUS_SUCCESS);
    }
    ClearSent();
    EXPECT_EQ(twtAgrtAdd(adapter_.get(), port0_, ap_, &params, 2), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());

    // Link down: one "all" action, every slot cleared; nothing more to tear down afterwards.
    ASSERT_EQ(twtTeardownAllAgreements(adapter_.get(), ap_), STATUS_SUCCESS);
    agreements = Agreements();
    ASSERT_EQ(agreements.size(), 1u);
    EXPECT_EQ(agreements[0].action, 4);
    EXPECT_EQ(agreements[0].wlanIndex, ap_->WlanIdx);
    for (const auto& slot : A().Rlm.TwtSlots) {
        EXPECT_EQ(slot.Used, 0);
    }
    ClearSent();
    EXPECT_EQ(twtTeardownAllAgreements(adapter_.get(), ap_), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(TwtTest, RequestsAndAnswersThatBreakTheRulesAreDropped)
{
    SetUpChip(kChip3502);
    struct Row {
        Bytes request;
        bool taken;
    };
    const Row rows[] = {
        {Request(3, TWT_TEST_TEARDOWN, 7), true},
        {Request(3, TWT_TEST_TEARDOWN, 8), false},              // flow id past 7
        {Request(3, TWT_TEST_SETUP, 1), false},                 // three arguments only for 5, 6, 7
        {Request(10, TWT_TEST_SETUP, 1, 0, 0, 0, 2, 0, 31), true},
        {Request(10, TWT_TEST_SETUP, 1, 0, 0, 0, 3, 0, 0), false},   // setup command above demand
        {Request(10, TWT_TEST_SETUP, 1, 0, 0, 0, 0, 0, 32), false},  // exponent past 31
        {Request(4, TWT_TEST_SETUP, 1), false},
        {Bytes{3, TWT_TEST_TEARDOWN, 1}, false},                // shorter than 12 bytes
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TestRequest(r.request), r.taken) << int(r.request[0]) << "/" << int(r.request[1]);
    }
    Run();
    ClearSent();

    // A port that is not a connected station asks nothing.
    port0_->ConnectionFlags &= ~PORT_CONN_CONNECTED;
    ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_SETUP, 6, 0, 0, 0, 0, 64, 10, 512)));
    Run();
    EXPECT_EQ(TsfQueries(), 0u);
    port0_->ConnectionFlags |= PORT_CONN_CONNECTED;

    // A TSF answer too short to hold the TSF is dropped (its record freed: the fixture checks the pool).
    tsfAnswerLength_ = 20;
    ASSERT_TRUE(TestRequest(Request(10, TWT_TEST_SETUP, 6, 0, 0, 0, 0, 64, 10, 512)));
    Run();
    EXPECT_EQ(TsfQueries(), 1u);
    EXPECT_TRUE(QueuedTwtMessages().empty());
    EXPECT_EQ(ap_->Rlm.TwtFlows[6].Request.Request, 0);

    // Received frames: cut inside the TWT element, or from a station that is not associated.
    ap_->Rlm.TwtState = TWT_STATE_SETUP_DELIVERED;
    Bytes cut = SetupFromAp(TWT_SETUP_CMD_ACCEPT, 1, 1, 0, 1);
    cut.resize(42);
    Receive(cut);
    EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_SETUP_DELIVERED);
    Bytes noElement = SetupFromAp(TWT_SETUP_CMD_ACCEPT, 1, 1, 0, 1);
    noElement[27] = 221;
    Receive(noElement);
    EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_SETUP_DELIVERED);
    Bytes shortTeardown = TeardownFromAp(1);
    shortTeardown.resize(26);
    ap_->Rlm.TwtState = TWT_STATE_IDLE;
    Receive(shortTeardown);
    EXPECT_TRUE(QueuedTwtMessages().empty());
    ap_->AssocState = 0;
    ap_->Rlm.TwtState = TWT_STATE_SETUP_DELIVERED;
    Receive(SetupFromAp(TWT_SETUP_CMD_ACCEPT, 1, 1, 0, 1));
    EXPECT_EQ(ap_->Rlm.TwtState, TWT_STATE_SETUP_DELIVERED);
}

TEST_F(TwtTest, TheNextServicePeriod)
{
    SetUpChip(kChip3502);
    TWT_PARAMS params{};
    params.TargetWakeTime = 1000;
    params.WakeIntervalMantissa = 100;
    params.WakeIntervalExp = 3;
    UCHAR index = 0;
    ASSERT_EQ(twtAgrtSlotAlloc(adapter_.get(), 0, 2, &params, &index), STATUS_SUCCESS);
    EXPECT_EQ(twtGetNextTwt(adapter_.get(), 0, 2, 5000), 5800u);
    EXPECT_EQ(twtGetNextTwt(adapter_.get(), 0, 2, 1000), 1800u) << "exactly on a period: the next one";
    EXPECT_EQ(twtGetNextTwt(adapter_.get(), 0, 2, 500), 1000u) << "before the target wake time: the TWT";
    EXPECT_EQ(twtGetNextTwt(adapter_.get(), 0, 3, 5000), 0u) << "no slot: no interval";
    // An exponent of 31 makes an interval past 32 bits: 65535 << 31.
    params.WakeIntervalMantissa = 65535;
    params.WakeIntervalExp = 31;
    params.TargetWakeTime = 0;
    ASSERT_EQ(twtAgrtSlotAlloc(adapter_.get(), 0, 4, &params, &index), STATUS_SUCCESS);
    EXPECT_EQ(twtGetNextTwt(adapter_.get(), 0, 4, 10), 65535ull << 31);
    // Message 8 stores a target wake time in the slot when its size code is 1 to 3.
    TWT_PARAMS stored{};
    EXPECT_EQ(twtAgrtSlotSetTwt(adapter_.get(), 0, 2, 4242, 0, &index, &stored), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(twtAgrtSlotSetTwt(adapter_.get(), 0, 2, 4242, 3, &index, &stored), STATUS_SUCCESS);
    EXPECT_EQ(A().Rlm.TwtSlots[0].Params.TargetWakeTime, 4242u);
}

TEST_F(TwtTest, TheFramesByteByByteAndAsTsharkDecodesThem)
{
    SetUpChip(kChip3502);
    TWT_PARAMS p{};
    p.Request = 1;
    p.SetupCommand = TWT_SETUP_CMD_SUGGEST;
    p.Trigger = 1;
    p.FlowType = 1;
    p.Protection = 0;
    p.MinWakeDuration = 255;
    p.WakeIntervalExp = 10;
    p.WakeIntervalMantissa = 0x1234;
    p.TargetWakeTime = 0x0102030405060708ull;
    Bytes setup(MLME_BUFFER_SIZE), info3(MLME_BUFFER_SIZE), info1(MLME_BUFFER_SIZE), info0(MLME_BUFFER_SIZE),
        teardown(MLME_BUFFER_SIZE);
    setup.resize(twtBuildSetupFrame(adapter_.get(), port0_, ap_, 5, &p, setup.data()));
    info3.resize(twtBuildInfoFrame(adapter_.get(), port0_, ap_, 5, 3, 0x1122334455667788ull, info3.data()));
    info1.resize(twtBuildInfoFrame(adapter_.get(), port0_, ap_, 2, 1, 0x1122334455667788ull, info1.data()));
    info0.resize(twtBuildInfoFrame(adapter_.get(), port0_, ap_, 2, 0, 0, info0.data()));
    teardown.resize(twtBuildTeardownFrame(adapter_.get(), port0_, ap_, 5, teardown.data()));

    // The action header: frame control 0x00D0, to the access point, from the port.
    for (const Bytes* f : {&setup, &info3, &teardown}) {
        EXPECT_EQ((*f)[0], 0xD0);
        EXPECT_EQ((*f)[1], 0x00);
        EXPECT_EQ(Bytes(f->begin() + 4, f->begin() + 10), Bytes(kApAddr, kApAddr + 6));
        EXPECT_EQ(Bytes(f->begin() + 10, f->begin() + 16), Bytes(kStaAddr, kStaAddr + 6));
        EXPECT_EQ(Bytes(f->begin() + 16, f->begin() + 22), Bytes(kApAddr, kApAddr + 6));
    }
    // Setup: category 22, action 6, token 0, TWT element 216/15, control 0, request type, TWT, duration,
    // mantissa, channel 0; 44 bytes.
    ASSERT_EQ(setup.size(), 44u);
    EXPECT_EQ(Bytes(setup.begin() + 24, setup.begin() + 30), (Bytes{22, 6, 0, 216, 15, 0}));
    const uint16_t type = Le16(&setup[30]);
    EXPECT_EQ(type, 1u | (1u << 1) | (1u << 4) | (1u << 5) | (1u << 6) | (5u << 7) | (10u << 10));
    EXPECT_EQ(Le32(&setup[32]), 0x05060708u);
    EXPECT_EQ(Le32(&setup[36]), 0x01020304u);
    EXPECT_EQ(setup[40], 255);
    EXPECT_EQ(Le16(&setup[41]), 0x1234);
    EXPECT_EQ(setup[43], 0);
    // Information: flow id in bits 0-2, next-TWT size in bits 5-6, then 8, 4 or no bytes of next TWT.
    ASSERT_EQ(info3.size(), 24u + 3 + 8);
    EXPECT_EQ(info3[26], 5 | (3 << 5));
    EXPECT_EQ(Le32(&info3[27]), 0x55667788u);
    ASSERT_EQ(info1.size(), 24u + 3 + 4);
    EXPECT_EQ(info1[26], 2 | (1 << 5));
    ASSERT_EQ(info0.size(), 24u + 3);
    // Teardown: 27 bytes, the flow byte last.
    ASSERT_EQ(teardown.size(), 27u);
    EXPECT_EQ(Bytes(teardown.begin() + 24, teardown.end()), (Bytes{22, 7, 5}));

    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed (scripts/lib.sh installs it)";
    }
    const std::string pcap = WritePcap({setup, info3, teardown}, "twt_frames");
    EXPECT_EQ(TsharkProblems(pcap), "");
    auto decoded = TsharkFields(
        pcap, {"wlan.fixed.category_code", "wlan.s1g.action", "wlan.twt.requester", "wlan.twt.setup_cmd",
               "wlan.twt.trigger", "wlan.twt.implicit", "wlan.twt.flow_type", "wlan.twt.flow_id",
               "wlan.twt.wake_interval_exp", "wlan.twt.prot", "wlan.twt.target_wake_time",
               "wlan.twt.nom_min_twt_wake_duration", "wlan.twt.wake_interval_mantissa", "wlan.twt.channel",
               "wlan.s1g.twt_information.control.twt_flow_identifier",
               "wlan.s1g.twt_information.control.next_twt_subfield_size", "wlan.s1g.twt_information.next_twt64",
               "wlan.twt.individual_flow_id", "wlan.twt.neg_type"});
    ASSERT_EQ(decoded.size(), 3u);
    auto f = decoded[0];
    EXPECT_EQ(TsharkNumber(f["wlan.fixed.category_code"]), 22u);
    EXPECT_EQ(TsharkNumber(f["wlan.s1g.action"]), 6u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.requester"]), 1u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.setup_cmd"]), 1u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.trigger"]), 1u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.implicit"]), 1u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.flow_type"]), 1u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.flow_id"]), 5u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.wake_interval_exp"]), 10u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.prot"]), 0u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.target_wake_time"]), 0x0102030405060708ull);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.nom_min_twt_wake_duration"]), 255u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.wake_interval_mantissa"]), 0x1234u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.channel"]), 0u);
    f = decoded[1];
    EXPECT_EQ(TsharkNumber(f["wlan.s1g.action"]), 11u);
    EXPECT_EQ(TsharkNumber(f["wlan.s1g.twt_information.control.twt_flow_identifier"]), 5u);
    EXPECT_EQ(TsharkNumber(f["wlan.s1g.twt_information.control.next_twt_subfield_size"]), 3u);
    EXPECT_EQ(TsharkNumber(f["wlan.s1g.twt_information.next_twt64"]), 0x1122334455667788ull);
    f = decoded[2];
    EXPECT_EQ(TsharkNumber(f["wlan.s1g.action"]), 7u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.individual_flow_id"]), 5u);
    EXPECT_EQ(TsharkNumber(f["wlan.twt.neg_type"]), 0u);
}

}  // namespace
}  // namespace radiocapstest
