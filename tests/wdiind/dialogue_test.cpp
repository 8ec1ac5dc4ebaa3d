// The ordered connection dialogue with the OS: what passes in which state, the history of what
// passed, and the reset that closes an open dialogue.
#include <atomic>
#include <thread>

#include "wdiind_support.h"

namespace {

using kshim::host::WdiIndication;
using kshim::host::WdiRequest;
using wdiind_test::IndTest;

class Dialogue : public wdiind_test::OwnEntryTest {
protected:
    void SetUp() override
    {
        OwnEntryTest::SetUp();
        Adapter()->Ind.ConnectRequest.OsInitiated = 1;
    }

    const PORT_INDICATION_STATE& State() { return Port()->Ind.State; }
    // The history record written `back` records ago (1: the last).
    const PORT_INDICATION_RECORD& Last(unsigned back = 1)
    {
        const PORT_INDICATION_HISTORY& h = Port()->Ind.History;
        return h.Records[(h.NextIndex + PORT_INDICATION_HISTORY_SIZE - back) % PORT_INDICATION_HISTORY_SIZE];
    }
    void Start(ULONG caller = 10)
    {
        Adapter()->Ind.ConnectionStartPending = 1;
        PlatformIndicateConnectionStart(Adapter(), Port(), 1, nullptr, nullptr, 0, caller);
    }
};

TEST_F(Dialogue, TheFirstResetLeftEveryPortIdle)
{
    for (PMP_PORT p : Adapter()->PortList) {
        if (p != nullptr) {
            EXPECT_EQ(p->Ind.State.AllowedMask, INDICATION_ALLOWED_IDLE) << p->PortNumber;
            EXPECT_EQ(p->Ind.State.LastIndication, INDICATION_RESET);
        }
    }
}

TEST_F(Dialogue, AConnectionInOrderPassesEveryStepAndEndsIdle)
{
    WdiRequest connect = Pending(WDI_TASK_CONNECT, 77);
    const UCHAR before = Port()->Ind.History.NextIndex;
    Start(10);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_CONNECTING);
    EXPECT_EQ(Adapter()->Ind.ConnectionStartPending, 0);
    EXPECT_EQ(Adapter()->Ind.ConnectionInProgress, 1);
    PlatformIndicateAssociationStart(Adapter(), Port(), nullptr, 0, 11);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_ASSOCIATING);
    EXPECT_EQ(PlatformIndicateAssociationCompletion(Adapter(), Port(), 0, 12), STATUS_SUCCESS);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_ASSOCIATED);
    EXPECT_EQ(PlatformIndicateConnectionCompletion(Adapter(), Port(), 0, 13), STATUS_SUCCESS);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_IDLE);
    EXPECT_EQ(State().ConnectionStarted, 0);
    EXPECT_EQ(Adapter()->Ind.ConnectionInProgress, 0);

    EXPECT_EQ(Codes(), (std::vector<uint16_t>{0x004C, 0x0040}));
    std::vector<WdiIndication> all = kshim::host::WifiIndications();
    EXPECT_EQ(all[0].Status(), 0u);
    EXPECT_EQ(all[1].TransactionId(), 77u);
    EXPECT_EQ(all[1].Status(), 0u);
    EXPECT_NE(Adapter()->Ind.WdiFlags & 0x200000u, 0u);

    EXPECT_EQ(Port()->Ind.History.NextIndex, (before + 4) % PORT_INDICATION_HISTORY_SIZE);
    const ULONG expected[4][3] = {{INDICATION_CONNECTION_START, INDICATION_ALLOWED_IDLE, 10},
                                  {INDICATION_ASSOCIATION_START, INDICATION_ALLOWED_CONNECTING, 11},
                                  {INDICATION_ASSOCIATION_COMPLETION, INDICATION_ALLOWED_ASSOCIATING, 12},
                                  {INDICATION_CONNECTION_COMPLETION, INDICATION_ALLOWED_ASSOCIATED, 13}};
    for (unsigned i = 0; i < 4; ++i) {
        const PORT_INDICATION_RECORD& r = Last(4 - i);
        EXPECT_EQ(r.LastIndication, expected[i][0]) << i;
        EXPECT_EQ(r.AllowedMask, expected[i][1]) << i;
        EXPECT_EQ(r.CallerCode, expected[i][2]) << i;
        EXPECT_EQ(r.Allowed, 1) << i;
    }
    Finish(connect);
}

TEST_F(Dialogue, IndicationsOutOfOrderOnlyBecomeTheLastIndication)
{
    const UCHAR before = Port()->Ind.History.NextIndex;
    // No connection asked for: the start does not pass.
    Adapter()->Ind.ConnectionStartPending = 0;
    PlatformIndicateConnectionStart(Adapter(), Port(), 1, nullptr, nullptr, 0, 10);
    EXPECT_EQ(State().LastIndication, INDICATION_CONNECTION_START);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_IDLE);
    // Nothing started: association start and completions are not allowed.
    PlatformIndicateAssociationStart(Adapter(), Port(), nullptr, 0, 11);
    EXPECT_EQ(PlatformIndicateConnectionCompletion(Adapter(), Port(), 0, 13), STATUS_SUCCESS);
    EXPECT_EQ(State().LastIndication, INDICATION_CONNECTION_COMPLETION);
    EXPECT_EQ(Port()->Ind.History.NextIndex, before);
    EXPECT_TRUE(kshim::host::WifiIndications().empty());

    // Two association completions in a row: the second is dropped.
    Start();
    PlatformIndicateAssociationStart(Adapter(), Port(), nullptr, 0, 11);
    (void)PlatformIndicateAssociationCompletion(Adapter(), Port(), 0, 12);
    (void)PlatformIndicateAssociationCompletion(Adapter(), Port(), 0, 12);
    EXPECT_EQ(Seen(WDI_INDICATION_ASSOCIATION_RESULT).size(), 1u);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_ASSOCIATED);
    // A busy port drops what comes meanwhile.
    Port()->Ind.State.Busy = 1;
    PlatformIndicateAssociationStart(Adapter(), Port(), nullptr, 0, 11);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_ASSOCIATED);
    Port()->Ind.State.Busy = 0;
    (void)PlatformIndicateConnectionCompletion(Adapter(), Port(), 0, 13);
}

// A refused roam ends with a connection completion whatever the dialogue says.
TEST_F(Dialogue, ARefusedRoamsCompletionPassesEvenWhenNotAllowed)
{
    WdiRequest roam = Pending(WDI_TASK_ROAM, 55);
    Port()->Ind.RefusedRoam = 1;
    Port()->Ind.State.Busy = 1;
    Port()->Ind.RoamWord = 0x1234;
    ASSERT_EQ(State().ConnectionStarted, 0);
    EXPECT_EQ(PlatformIndicateConnectionCompletion(Adapter(), Port(), 1, 20), STATUS_SUCCESS);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_IDLE);
    EXPECT_EQ(State().Busy, 0);
    std::vector<WdiIndication> seen = Seen(0x40050065);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].TransactionId(), 55u);
    EXPECT_EQ(seen[0].Status(), 0xC0000001u);
    EXPECT_EQ(Port()->Ind.RoamWord, 0);
    EXPECT_EQ(Port()->Ind.ConnectFailed, 1);
    Port()->Ind.RefusedRoam = 0;
    Finish(roam);
}

TEST_F(Dialogue, AResetClosesTheOpenDialogueWithFailures)
{
    struct Case {
        const char* what;
        int steps;  // 1: connection start, 2: + association start, 3: + association completion
        std::vector<uint16_t> codes;
        std::vector<ULONG> callers;  // the history records of the closing calls
    };
    for (const Case& c : {Case{"connection start", 1, {0x0040}, {900}},
                          Case{"association start", 2, {0x004C, 0x0040}, {901, 902}},
                          Case{"association completion", 3, {0x0040}, {904}}}) {
        WdiRequest connect = Pending(WDI_TASK_CONNECT, 60);
        Start();
        if (c.steps >= 2) {
            PlatformIndicateAssociationStart(Adapter(), Port(), nullptr, 0, 11);
        }
        if (c.steps >= 3) {
            (void)PlatformIndicateAssociationCompletion(Adapter(), Port(), 0, 12);
        }
        kshim::host::WifiClearIndications();
        PlatformIndicateResetAllStatus(Adapter(), Port());
        EXPECT_EQ(Codes(), c.codes) << c.what;
        for (const WdiIndication& i : kshim::host::WifiIndications()) {
            EXPECT_EQ(i.Status(), 0xC0000001u) << c.what << " " << i.code;
        }
        if (c.steps == 2) {
            std::vector<uint8_t> result = wdiind_test::Tlv(Seen(WDI_INDICATION_ASSOCIATION_RESULT)[0],
                                                           WDI_TLV_ASSOCIATION_RESULT);
            EXPECT_EQ(wdiind_test::U32(result, 0), 2u) << "association status 2";
        }
        // Every port is idle again, each with a closing record.
        for (PMP_PORT p : Adapter()->PortList) {
            if (p == nullptr) {
                continue;
            }
            EXPECT_EQ(p->Ind.State.AllowedMask, INDICATION_ALLOWED_IDLE);
            EXPECT_EQ(p->Ind.State.LastIndication, INDICATION_RESET);
            const PORT_INDICATION_HISTORY& h = p->Ind.History;
            EXPECT_EQ(h.Records[(h.NextIndex + PORT_INDICATION_HISTORY_SIZE - 1) % PORT_INDICATION_HISTORY_SIZE]
                          .CallerCode,
                      INDICATION_CALLER_RESET_CLOSE);
        }
        for (size_t i = 0; i < c.callers.size(); ++i) {
            EXPECT_EQ(Last(static_cast<unsigned>(c.callers.size() + 1 - i)).CallerCode, c.callers[i]) << c.what;
        }
        EXPECT_EQ(State().ResetFlag, 0);
        EXPECT_EQ(Adapter()->Ind.ConnectionInProgress, 0);
        Finish(connect);
        kshim::host::WifiClearIndications();
    }
}

TEST_F(Dialogue, AResetWithAPendingConnectionOpensAndClosesIt)
{
    Adapter()->Ind.ConnectionStartPending = 1;
    PlatformIndicateResetAllStatus(Adapter(), Port());
    EXPECT_EQ(Last(3).CallerCode, 908u);
    EXPECT_EQ(Last(2).CallerCode, 909u);
    EXPECT_EQ(Adapter()->Ind.ConnectionStartPending, 0);
}

TEST_F(Dialogue, AResetRunningOnThePortDropsTheCoresIndicationsAndASecondReset)
{
    Port()->Ind.State.ResetFlag = 1;
    const UCHAR before = Port()->Ind.History.NextIndex;
    PlatformIndicateResetAllStatus(Adapter(), Port());
    Adapter()->Ind.ConnectionStartPending = 1;
    PlatformIndicateConnectionStart(Adapter(), Port(), 1, nullptr, nullptr, 0, 899);
    EXPECT_EQ(State().LastIndication, INDICATION_CONNECTION_START);
    EXPECT_EQ(Adapter()->Ind.ConnectionStartPending, 1) << "dropped at the reset gate";
    EXPECT_EQ(Port()->Ind.History.NextIndex, before);
    Port()->Ind.State.ResetFlag = 0;
    Adapter()->Ind.ConnectionStartPending = 0;
}

TEST_F(Dialogue, TheHistoryWrapsAfter63Records)
{
    const UCHAR first = Port()->Ind.History.NextIndex;
    for (ULONG i = 0; i < 32; ++i) {
        Start(100 + 2 * i);
        (void)PlatformIndicateConnectionCompletion(Adapter(), Port(), 0, 101 + 2 * i);
    }
    // 64 records: the 64th lies where the first went.
    EXPECT_EQ(Port()->Ind.History.NextIndex, (first + 64) % PORT_INDICATION_HISTORY_SIZE);
    EXPECT_EQ(Port()->Ind.History.Records[first].CallerCode, 163u);
    EXPECT_EQ(Port()->Ind.History.Records[(first + 1) % PORT_INDICATION_HISTORY_SIZE].CallerCode, 101u);
}

TEST_F(Dialogue, ADisassociationAfterALostBeaconAdvancesButIsNotIndicated)
{
    const UCHAR peer[6] = {0x02, 1, 2, 3, 4, 5};
    for (UCHAR lost : {UCHAR{1}, UCHAR{0}}) {
        kshim::host::WifiClearIndications();
        Port()->Ind.BeaconLost = lost;
        Port()->Ind.State.AllowedMask = INDICATION_ALLOWED_IDLE;
        PlatformIndicateDisassociation(Adapter(), Port(), peer, 9, 115);
        EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_DISASSOCIATED);
        EXPECT_EQ(State().LastIndication, INDICATION_DISASSOCIATION);
        std::vector<WdiIndication> seen = Seen(WDI_INDICATION_DISASSOCIATION);
        ASSERT_EQ(seen.size(), lost != 0 ? 0u : 1u);
        if (lost == 0) {
            EXPECT_EQ(wdiind_test::U32(wdiind_test::Tlv(seen[0], WDI_TLV_DISASSOCIATION_PARAMS), 6), 7u)
                << "reason 9 as WDI status 7";
        }
    }
    // Without a peer the state still advances.
    kshim::host::WifiClearIndications();
    Port()->Ind.BeaconLost = 0;
    Port()->Ind.State.AllowedMask = INDICATION_ALLOWED_IDLE;
    PlatformIndicateDisassociation(Adapter(), Port(), nullptr, 9, 115);
    EXPECT_EQ(State().AllowedMask, INDICATION_ALLOWED_DISASSOCIATED);
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
}

TEST_F(Dialogue, AnAccessPointDisassociationIsIndicatedForTheRecordsPeer)
{
    DOT11_DISASSOCIATION_PARAMETERS params{};
    const UCHAR peer[6] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    std::memcpy(params.MacAddr, peer, 6);
    params.uReason = 4;
    PlatformIndicateAPStatus(Adapter(), 0, 0x4003000Du, &params, sizeof(params), 30);
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
    PlatformIndicateAPStatus(Adapter(), 0, NDIS_STATUS_DOT11_DISASSOCIATION, &params, 20, 31);
    EXPECT_TRUE(kshim::host::WifiIndications().empty()) << "a record shorter than its layout";
    PlatformIndicateAPStatus(Adapter(), 0, NDIS_STATUS_DOT11_DISASSOCIATION, &params, sizeof(params), 32);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_DISASSOCIATION);
    ASSERT_EQ(seen.size(), 1u);
    std::vector<uint8_t> p = wdiind_test::Tlv(seen[0], WDI_TLV_DISASSOCIATION_PARAMS);
    EXPECT_EQ(std::vector<uint8_t>(p.begin(), p.begin() + 6), std::vector<uint8_t>(peer, peer + 6));
    EXPECT_EQ(State().LastIndication, INDICATION_RESET);
    EXPECT_EQ(Last().CallerCode, 32u);
}

// Two threads completing one connection: exactly one completion passes each time.
TEST_F(Dialogue, ConcurrentCompletionsPassOnce)
{
    for (int round = 0; round < 50; ++round) {
        Start();
        const UCHAR before = Port()->Ind.History.NextIndex;
        std::atomic<int> go{0};
        auto complete = [&] {
            while (go.load() == 0) {
            }
            (void)PlatformIndicateConnectionCompletion(Adapter(), Port(), 0, 13);
        };
        std::thread a(complete);
        std::thread b(complete);
        go.store(1);
        a.join();
        b.join();
        ASSERT_EQ(Port()->Ind.History.NextIndex, (before + 1) % PORT_INDICATION_HISTORY_SIZE) << round;
    }
}

}  // namespace
