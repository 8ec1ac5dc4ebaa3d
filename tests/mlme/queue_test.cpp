// The MLME queue: limits, refusals, the frame classifier and what a received element carries.
#include "mlme/mlme_fixture.h"
#include "support/crossings.h"

namespace mlmetest {
namespace {

using MM = std::pair<ULONG, ULONG>;

class MlmeQueue : public MlmeTest {
protected:
    void SetUp() override
    {
        MlmeTest::SetUp();
        StartMlme();
        port0_ = adapter_->PortList[0];
        station1_ = AddPort(1, EXTSTA);
        InitPort(station1_);
    }

    BOOLEAN Recv(MP_PORT* port, const std::vector<UCHAR>& frame)
    {
        return MlmeEnqueueForRecv(adapter_, port, 5, 0xD0, 0xD1, 0xD2, static_cast<ULONG>(frame.size()), frame.data());
    }

    // The (machine, message) a received frame is queued with; (0, 0) when dropped.
    std::pair<ULONG, ULONG> Classified(MP_PORT* port, const std::vector<UCHAR>& frame)
    {
        ULONG before = Queued();
        if (!Recv(port, frame)) {
            EXPECT_EQ(Queued(), before);
            return {0, 0};
        }
        MLME_QUEUE_ELEM* last = QueuedElements().back();
        std::pair<ULONG, ULONG> result{last->Machine, last->MsgType};
        DrainWithoutRunning();
        return result;
    }

    void DrainWithoutRunning()
    {
        PMLME_QUEUE_ELEM elem = nullptr;
        while (MlmeDequeue(&adapter_->Mlme.Queue, &elem)) {
            MlmeQueueReleaseElem(&adapter_->Mlme.Queue, elem);
        }
    }

    // A port with management-frame protection that an unprotected deauthentication may question.
    void MakePmfLink(MP_PORT* port)
    {
        adapter_->Mlme.PmfSupported = 1;
        adapter_->Mlme.PmfSwitch = 1;
        port->Mlme.PmfEnabled = 1;
        port->Mlme.UnicastCipher = 4;
        port->ConnectionFlags = PORT_STATUS_INFRA_LINK_UP;
    }

    MP_PORT* port0_ = nullptr;
    MP_PORT* station1_ = nullptr;
};

std::vector<UCHAR> Auth(USHORT seq) { return MgmtFrame(11, {0, 0, static_cast<UCHAR>(seq), 0, 0, 0}); }
std::vector<UCHAR> Deauth(USHORT reason, const UCHAR* addr1 = kAp, UCHAR flags = 0)
{
    return MgmtFrame(12, {static_cast<UCHAR>(reason), 0}, addr1, flags);
}
std::vector<UCHAR> Action(UCHAR category, UCHAR code = 0, UCHAR token = 0)
{
    return MgmtFrame(13, {category, code, token, 0});
}

TEST_F(MlmeQueue, ReceivedFramesStopAt197InternalMessagesAt200)
{
    const std::vector<UCHAR> beacon = MgmtFrame(8, std::vector<UCHAR>(12, 0));
    for (int i = 0; i < 197; ++i) {
        ASSERT_TRUE(Recv(port0_, beacon)) << i;
    }
    EXPECT_FALSE(Recv(port0_, beacon));
    EXPECT_EQ(Queued(), 197u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 0, 0, nullptr)) << i;
    }
    EXPECT_TRUE(MlmeQueueFull(&adapter_->Mlme.Queue));
    EXPECT_FALSE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 0, 0, nullptr));
    EXPECT_EQ(Queued(), 200u);
    DrainWithoutRunning();
}

TEST_F(MlmeQueue, AnElementStillInUseIsNotOverwritten)
{
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 1, 0, nullptr));
    PMLME_QUEUE_ELEM running = nullptr;
    ASSERT_TRUE(MlmeDequeue(&adapter_->Mlme.Queue, &running));  // taken, its action still runs
    for (int i = 0; i < 199; ++i) {
        ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 2, 0, nullptr)) << i;
    }
    EXPECT_EQ(Queued(), 199u);
    EXPECT_FALSE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 2, 0, nullptr));
    MlmeQueueReleaseElem(&adapter_->Mlme.Queue, running);
    EXPECT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 2, 0, nullptr));
    DrainWithoutRunning();
}

TEST_F(MlmeQueue, BodiesUpTo2048BytesAreAccepted)
{
    std::vector<UCHAR> body(2049, 0x5A);
    EXPECT_FALSE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 0, 2049, body.data()));
    std::vector<UCHAR> frame = MgmtFrame(8, std::vector<UCHAR>(2049 - 24, 0));
    EXPECT_FALSE(Recv(port0_, frame));
    EXPECT_EQ(Queued(), 0u);
    EXPECT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 0, 2048, body.data()));
    frame.pop_back();
    EXPECT_TRUE(Recv(port0_, frame));
    auto elems = QueuedElements();
    ASSERT_EQ(elems.size(), 2u);
    EXPECT_EQ(elems[0]->MsgLen, 2048u);
    EXPECT_EQ(elems[0]->Msg[2047], 0x5A);
    EXPECT_EQ(elems[1]->MsgLen, 2048u);
    DrainWithoutRunning();
}

TEST_F(MlmeQueue, StationFrameClassification)
{
    struct Case {
        const char* what;
        std::vector<UCHAR> frame;
        int port;
        ULONG machine;
        ULONG message;
    };
    const std::vector<Case> cases = {
        {"association request", MgmtFrame(0), 1, 1, 4},
        {"association response", MgmtFrame(1), 0, 1, 5},
        {"reassociation request", MgmtFrame(2), 1, 1, 6},
        {"reassociation response", MgmtFrame(3), 0, 1, 7},
        {"probe request on port 0", MgmtFrame(4), 0, 0, 0},
        {"probe request on port 1", MgmtFrame(4), 1, 4, 9},
        {"probe response", MgmtFrame(5), 0, 4, 4},
        {"subtype 6", MgmtFrame(6), 0, 0, 0},
        {"subtype 7", MgmtFrame(7), 0, 0, 0},
        {"beacon", MgmtFrame(8), 0, 4, 3},
        {"ATIM", MgmtFrame(9), 0, 4, 5},
        {"disassociation", MgmtFrame(10), 0, 1, 3},
        {"authentication 1", Auth(1), 0, 3, 1},
        {"authentication 2", Auth(2), 0, 2, 1},
        {"authentication 3", Auth(3), 0, 3, 1},
        {"authentication 4", Auth(4), 0, 2, 1},
        {"authentication 5", Auth(5), 0, 0, 0},
        {"deauthentication", Deauth(3), 0, 3, 2},
        {"action category 127", Action(127), 0, 0, 0},
        {"action category 255 (127 with bit 7)", Action(255), 0, 0, 0},
        {"action category 126", Action(126), 0, 8, 13},
        {"action category 10", Action(10), 0, 8, 10},
        {"action category 21", Action(21), 0, 8, 21},
        {"action category 22", Action(22), 0, 8, 13},
        {"action category 0x84", Action(0x84), 0, 8, 4},
        {"action no-ack category 3", MgmtFrame(14, {3, 0}), 0, 8, 3},
        {"action category 9 on port 0", Action(9), 0, 0, 0},
        {"action category 9 on port 1", Action(9), 1, 8, 9},
        {"direct link 0", Action(2, 0), 0, 7, 1},
        {"direct link 1", Action(2, 1), 0, 7, 2},
        {"direct link 2", Action(2, 2), 0, 7, 4},
        {"direct link 3", Action(2, 3), 0, 0, 0},
        {"SA Query request", Action(8, 0), 0, 18, 1},
        {"SA Query response", Action(8, 1), 0, 18, 2},
        {"SA Query 2", Action(8, 2), 0, 0, 0},
        {"control frame", {0xD4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 0},
        {"data frame", {0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        MP_PORT* port = c.port == 0 ? port0_ : station1_;
        auto got = Classified(port, c.frame);
        EXPECT_EQ(got.first, c.machine) << c.what;
        EXPECT_EQ(got.second, c.message) << c.what;
    }
}

TEST_F(MlmeQueue, SaeAuthenticationFramesGoToTheSaeMachine)
{
    port0_->Mlme.SaeInUse = 1;
    EXPECT_EQ(Classified(port0_, Auth(1)), MM(20, 1));
    EXPECT_EQ(Classified(port0_, Auth(3)), MM(20, 1));
    EXPECT_EQ(Classified(port0_, Auth(2)), MM(20, 3));
    EXPECT_EQ(Classified(port0_, Auth(4)), MM(20, 3));
    EXPECT_EQ(Classified(port0_, Auth(0)), MM(0, 0));
}

TEST_F(MlmeQueue, AnUnprotectedDeauthenticationOfAProtectedLinkStartsAnSaQuery)
{
    MakePmfLink(port0_);
    EXPECT_EQ(Classified(port0_, Deauth(7)), MM(18, 0));
    EXPECT_EQ(Classified(port0_, Deauth(6)), MM(18, 0));

    // Each condition that fails sends the frame to the ordinary deauthentication.
    struct Case {
        const char* what;
        std::function<void()> change;
        std::vector<UCHAR> frame;
    };
    const std::vector<Case> cases = {
        {"reason 3", [] {}, Deauth(3)},
        {"protected frame", [] {}, Deauth(7, kAp, 0x40)},
        {"group address", [] {}, Deauth(7, kBroadcast)},
        {"adapter without PMF", [this] { adapter_->Mlme.PmfSupported = 0; }, Deauth(7)},
        {"PMF switch off", [this] { adapter_->Mlme.PmfSwitch = 0; }, Deauth(7)},
        {"port without PMF", [this] { port0_->Mlme.PmfEnabled = 0; }, Deauth(7)},
        {"TKIP without SAE", [this] { port0_->Mlme.UnicastCipher = 2; }, Deauth(7)},
        {"not connected", [this] { port0_->ConnectionFlags = 0; }, Deauth(7)},
        {"disconnect requested", [this] { port0_->Mlme.StatusWord = PORT_MLME_DISCONNECT_REQUESTED; }, Deauth(7)},
        {"status bit 0x10", [this] { port0_->Mlme.StatusWord = PORT_MLME_STATUS_BIT_10; }, Deauth(7)},
    };
    for (const Case& c : cases) {
        MakePmfLink(port0_);
        port0_->Mlme.StatusWord = 0;
        c.change();
        EXPECT_EQ(Classified(port0_, c.frame), MM(3, 2)) << c.what;
    }

    // The suites of protected management frames stand in for CCMP.
    for (ULONG auth : {8u, 9u, 0x80000006u}) {
        MakePmfLink(port0_);
        port0_->Mlme.StatusWord = 0;
        port0_->Mlme.UnicastCipher = 2;
        port0_->Mlme.AuthAlgorithm = auth;
        EXPECT_EQ(Classified(port0_, Deauth(7)), MM(18, 0)) << auth;
    }
}

TEST_F(MlmeQueue, FramesTooShortForTheFieldReadAreDropped)
{
    struct Case {
        const char* what;
        std::vector<UCHAR> frame;
    };
    const std::vector<Case> cases = {
        {"header cut", [] { auto f = MgmtFrame(8); f.resize(23); return f; }()},
        {"authentication without sequence", MgmtFrame(11, {0, 0, 1})},
        {"deauthentication without reason", MgmtFrame(12, {7})},
        {"action without category", MgmtFrame(13)},
        {"SA Query without action", MgmtFrame(13, {8})},
        {"direct link without action", MgmtFrame(13, {2})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Classified(station1_, c.frame), MM(0, 0)) << c.what;
    }
    EXPECT_EQ(Classified(station1_, MgmtFrame(13, {10})), MM(8, 10));  // category alone suffices
}

TEST_F(MlmeQueue, APublicActionFrameThatIsNotTheAwaitedAnswerBecomesMessage19)
{
    port0_->Mlme.ActionMachine.CurrentState = ACTION_STATE_SENT;
    port0_->Mlme.PendingActionToken = 7;
    EXPECT_EQ(Classified(port0_, Action(4, 0x0A, 8)), MM(8, 19));
    EXPECT_EQ(Classified(port0_, Action(4, 0x0A, 7)), MM(8, 4));     // the awaited token
    EXPECT_EQ(Classified(port0_, Action(4, 0x22, 8)), MM(8, 4));     // comeback answer
    EXPECT_EQ(Classified(port0_, Action(0x84, 0x0A, 8)), MM(8, 19)); // bit 7 of the category
    EXPECT_EQ(Classified(port0_, MgmtFrame(5, {0, 0, 8})), MM(4, 4)); // a probe response stays
    port0_->Mlme.ActionMachine.CurrentState = 0;
    EXPECT_EQ(Classified(port0_, Action(4, 0x0A, 8)), MM(8, 4));
}

TEST_F(MlmeQueue, GroupAddressedBeaconsOf6GHzReachOnlyPort0)
{
    adapter_->LastRxBand = BAND_6G;
    EXPECT_EQ(Classified(station1_, MgmtFrame(8, {}, kBroadcast)), MM(0, 0));
    EXPECT_EQ(Classified(station1_, MgmtFrame(5, {}, kBroadcast)), MM(0, 0));
    EXPECT_EQ(Classified(station1_, MgmtFrame(8)), MM(4, 3));
    EXPECT_EQ(Classified(port0_, MgmtFrame(8, {}, kBroadcast)), MM(4, 3));
    adapter_->LastRxBand = BAND_5G;
    EXPECT_EQ(Classified(station1_, MgmtFrame(8, {}, kBroadcast)), MM(4, 3));
}

TEST_F(MlmeQueue, AccessPointPortsUseTheirOwnClassifier)
{
    MP_PORT* ap = AddPort(2, EXTAP, 2);
    InitPort(ap);
    ap->Mlme.ApStarted = 1;
    EXPECT_FALSE(Recv(ap, MgmtFrame(0)));
    EXPECT_EQ(qzltest::NotBuiltCalls("ApMlmeMsgTypeSubst"), 1u);
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(MlmeQueue, WhatAReceivedAndAnInternalElementCarry)
{
    adapter_->LastRxBand = BAND_5G;
    adapter_->LastRxChannel = 149;
    std::vector<UCHAR> beacon = MgmtFrame(8, {1, 2, 3});
    ASSERT_TRUE(Recv(station1_, beacon));
    const UCHAR body[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(MlmeEnqueue(adapter_, station1_, MLME_ASSOC_STATE_MACHINE, MT2_MLME_DISASSOC_REQ, 8, body));
    auto elems = QueuedElements();
    ASSERT_EQ(elems.size(), 2u);
    const MLME_QUEUE_ELEM* rx = elems[0];
    EXPECT_EQ(rx->PortIndex, 1u);
    EXPECT_EQ(rx->WlanIdx, 5);
    EXPECT_EQ(rx->Rssi0, 0xD0);
    EXPECT_EQ(rx->Rssi1, 0xD1);
    EXPECT_EQ(rx->Rssi2, 0xD2);
    EXPECT_EQ(rx->Band, BAND_5G);
    EXPECT_EQ(rx->Channel, 149);
    EXPECT_EQ(rx->Occupied, 1);
    ASSERT_EQ(rx->MsgLen, beacon.size());
    EXPECT_EQ(0, std::memcmp(rx->Msg, beacon.data(), beacon.size()));
    const MLME_QUEUE_ELEM* internal = elems[1];
    EXPECT_EQ(internal->Machine, 1u);
    EXPECT_EQ(internal->MsgType, 2u);
    EXPECT_EQ(internal->Channel, station1_->Channel.PrimaryChannel);
    EXPECT_EQ(internal->MsgLen, 8u);
    EXPECT_EQ(0, std::memcmp(internal->Msg, body, 8));
    DrainWithoutRunning();
}

TEST_F(MlmeQueue, AdapterStatesThatRefuseMessages)
{
    struct Case {
        ULONG flag;
        bool internalAccepted;
        bool receivedAccepted;
    };
    const Case cases[] = {
        {ADAPTER_FLAG_HALT_IN_PROGRESS, false, false},
        {ADAPTER_FLAG_NOT_RESPONDING, false, false},
        {ADAPTER_FLAG_PCI_SUSPENDED, false, false},
        {ADAPTER_FLAG_MLME_RESTARTING, true, false},
        {ADAPTER_FLAG_SCANNING, true, true},
    };
    for (const Case& c : cases) {
        AdapterSetFlag(adapter_, c.flag, "test");
        EXPECT_EQ(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 0, 0, nullptr) != FALSE, c.internalAccepted)
            << std::hex << c.flag;
        EXPECT_EQ(Recv(port0_, MgmtFrame(8)) != FALSE, c.receivedAccepted) << std::hex << c.flag;
        AdapterClearFlag(adapter_, c.flag, "test");
        DrainWithoutRunning();
    }
}

TEST_F(MlmeQueue, TheRingWrapsAndKeepsTheOrder)
{
    PMLME_QUEUE q = &adapter_->Mlme.Queue;
    for (ULONG round = 0; round < 450; ++round) {
        ULONG value = round;
        ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, round % 11, 4, &value));
        if (round % 3 == 2) {
            for (int i = 0; i < 2; ++i) {
                PMLME_QUEUE_ELEM elem = nullptr;
                ASSERT_TRUE(MlmeDequeue(q, &elem));
                MlmeQueueReleaseElem(&adapter_->Mlme.Queue, elem);
            }
        }
    }
    // 450 posted, 300 taken: the last 150 remain, oldest first.
    ASSERT_EQ(Queued(), 150u);
    ULONG expected = 300;
    PMLME_QUEUE_ELEM elem = nullptr;
    while (MlmeDequeue(q, &elem)) {
        ULONG value = 0;
        std::memcpy(&value, elem->Msg, 4);
        EXPECT_EQ(value, expected++);
        MlmeQueueReleaseElem(&adapter_->Mlme.Queue, elem);
    }
    EXPECT_TRUE(MlmeQueueEmpty(q));
}

}  // namespace
}  // namespace mlmetest
