// The station association machine: requests, the access point's answers (success, refusal, try later
// with a comeback time), the management-frame protection agreement, disassociation both ways.
#include "connect/assoc_fixture.h"

namespace assoctest {
namespace {

constexpr ULONG kAssocMachine = 1;
constexpr ULONG kAssocConfirm = 34;
constexpr ULONG kDisassocConfirm = 37;
constexpr ULONG kReassocConfirm = 38;

// MLME_ASSOC_REQ: address, u16 capability, u16 listen interval, u32 time-out.
Bytes AssocReq(const UCHAR* addr, unsigned timeoutMs = 250)
{
    Bytes b(addr, addr + 6);
    return Cat({b, Le16(0x0431), Le16(10), Le16(timeoutMs & 0xFFFF), Le16(timeoutMs >> 16)});
}
Bytes DisassocReq(const UCHAR* addr, unsigned reason) { return Cat({Bytes(addr, addr + 6), Le16(reason)}); }

// An association response {capability, status, AID} and elements.
Bytes AssocRsp(unsigned status, const Bytes& elements = {}, const UCHAR* from = kAp, UCHAR subtype = 1)
{
    return Frame(subtype, Cat({Le16(0x0431), Le16(status), Le16(0xC001), elements}), from);
}

class Assoc : public AssocTest {
protected:
    ULONG State() const { return port_->Mlme.AssocMachine.CurrState; }
    void Request(ULONG msg = 0, unsigned timeoutMs = 250) { Run(kAssocMachine, msg, AssocReq(kAp, timeoutMs)); }
};

TEST_F(Assoc, ThePortsMachineTimersAreReleasedTogether)
{
    MLME_PORT_BLOCK& m = port_->Mlme;
    const PLATFORM_TIMER* timers[] = {&m.AssocTimeoutTimer, &m.AuthTimeoutTimer, &m.SaeTimeoutTimer, &m.Pmf.RequestTimer,
                                      &m.Pmf.ConfirmTimer};
    for (size_t i = 0; i < std::size(timers); ++i) {
        EXPECT_EQ(timers[i]->Initialized, 1) << i;
    }
    ASSERT_EQ(MlmePortFreeTimer(A(), port_), STATUS_SUCCESS);
    for (size_t i = 0; i < std::size(timers); ++i) {
        EXPECT_EQ(timers[i]->Initialized, 0) << i;
        EXPECT_EQ(timers[i]->Created, 0) << i;
    }
}

TEST_F(Assoc, AnAcceptedRequestConfirms34AndLogsBothSteps)
{
    for (ULONG msg : {0u, 1u}) {
        kshim::host::ErrorLogClear();
        Request(msg);
        EXPECT_EQ(State(), 1u);
        EXPECT_EQ(port_->Mlme.Conn.Reassoc, msg);
        Run(kAssocMachine, msg == 0 ? 5 : 7, AssocRsp(0, {}, kAp, msg == 0 ? 1 : 3));
        EXPECT_EQ(State(), 0u);
        // An accepted reassociation also confirms 34.
        EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAssocConfirm, 0}}));
        EXPECT_EQ(LogIds(), (std::vector<uint32_t>{0x4002040Bu, 0x4002040Cu}));
        EXPECT_EQ(A()->Mlme.Conn.LastAssocRspLen, 30u);
        AdvanceMs(1000);
        EXPECT_TRUE(TakeConfirms().empty());
    }
}

TEST_F(Assoc, ARefusalIsPassedOnAndSilenceEndsWith16)
{
    Request();
    Run(kAssocMachine, 5, AssocRsp(17));
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAssocConfirm, 17}}));

    Request();
    Run(kAssocMachine, 5, AssocRsp(0, {}, kOtherAp));  // not the access point asked
    Bytes cut = AssocRsp(0);
    cut.resize(29);
    Run(kAssocMachine, 5, cut);
    EXPECT_EQ(State(), 1u);
    AdvanceMs(249);
    EXPECT_TRUE(TakeConfirms().empty());
    AdvanceMs(1);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAssocConfirm, 16}}));
    EXPECT_EQ(State(), 0u);
}

TEST_F(Assoc, TryLaterWaitsForTheComebackTimeOnlyWhenTheResponseGivesOne)
{
    // Timeout Interval element: type 3 (association comeback time), 500.
    const Bytes comeback{56, 5, 3, 0xF4, 0x01, 0, 0};
    Request();
    Run(kAssocMachine, 5, AssocRsp(30, comeback));
    EXPECT_EQ(State(), 1u);
    EXPECT_TRUE(TakeConfirms().empty());
    AdvanceMs(250);  // the request's own wait no longer runs
    EXPECT_TRUE(TakeConfirms().empty());
    AdvanceMs(250);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAssocConfirm, 16}}));

    // Another interval type, or none: 30 at once.
    for (const Bytes& elements : {Bytes{}, Bytes{56, 5, 2, 0xF4, 0x01, 0, 0}, Bytes{56, 4, 3, 0xF4, 0x01, 0}}) {
        Request();
        Run(kAssocMachine, 5, AssocRsp(30, elements));
        EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAssocConfirm, 30}}));
        EXPECT_EQ(State(), 0u);
    }
}

TEST_F(Assoc, TheProtectionAgreementRefusesOrAdjustsTheOwnCapabilities)
{
    struct Row {
        USHORT ap;        // the access point's RSN capabilities
        USHORT own;       // the adapter's
        ULONG auth;       // the port's authentication algorithm
        bool refused;
        USHORT ownAfter;
    };
    const Row rows[] = {
        {0x0040, 0x0080, 7, true, 0x0080},   // MFPR without MFPC, adapter capable
        {0x0000, 0x00C0, 7, true, 0x00C0},   // neither, adapter requires
        {0x0000, 0x0080, 7, false, 0x0000},  // neither, adapter capable: drops its own
        {0x0080, 0x0000, 9, false, 0x00C0},  // SAE: capable and required
        {0x0080, 0x0080, 7, false, 0x0080},
        {0x0040, 0x0000, 7, false, 0x0000},
    };
    for (const Row& row : rows) {
        port_->Mlme.Conn.ApRsnCapabilities = row.ap;
        A()->Mlme.Conn.OwnRsnCapabilities = row.own;
        port_->Mlme.AuthAlgorithm = row.auth;
        Request();
        if (row.refused) {
            // The disassociation {AP, 31} runs on this machine, then the 0 ms wait confirms it.
            AdvanceMs(0);
            EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kDisassocConfirm, 31}, {kDisassocConfirm, 0}}))
                << row.ap << " " << row.own;
        } else {
            EXPECT_EQ(State(), 1u);
            AdvanceMs(250);
            EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAssocConfirm, 16}}));
        }
        EXPECT_EQ(A()->Mlme.Conn.OwnRsnCapabilities, row.ownAfter) << row.ap << " " << row.own;
        EXPECT_EQ(State(), 0u);
    }
}

TEST_F(Assoc, RequestsWhileBusyAreRefusedWith83)
{
    const struct {
        ULONG msg;
        ULONG confirm;
    } rows[] = {{0, kAssocConfirm}, {1, kReassocConfirm}, {2, kDisassocConfirm}};
    for (const auto& row : rows) {
        Request();
        Run(kAssocMachine, row.msg, row.msg == 2 ? DisassocReq(kAp, 3) : AssocReq(kAp));
        EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{row.confirm, 83}}));
        EXPECT_EQ(State(), 0u);
        AdvanceMs(250);
        TakeConfirms();
    }
    // TKIP countermeasures toward the last BSSID.
    A()->Mlme.Conn.TkipCounterMeasure = 1;
    std::memcpy(port_->LastBssid, kAp, 6);
    Request();
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAssocConfirm, 83}}));
}

TEST_F(Assoc, DisassociationConfirmsThroughItsZeroWaitAlsoWhenRoaming)
{
    for (UCHAR roaming : {0, 1}) {
        port_->Mlme.Conn.RoamRequest = roaming;
        Run(kAssocMachine, 2, DisassocReq(kAp, 8));
        // The zero wait is due at once. Whether the timer thread runs it when it is set or at the next
        // clock move, once the clock has moved and the simulation has settled it has run, and its
        // message has been taken: the confirm is looked at only then, and comes exactly once.
        AdvanceMs(0);
        EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kDisassocConfirm, 0}}));
        EXPECT_EQ(State(), 0u);
        AdvanceMs(1000);
        EXPECT_TRUE(TakeConfirms().empty()) << "no second confirm";
    }
}

TEST_F(Assoc, APeerDisassociationTakesDownOnlyTheLinkedAccessPoint)
{
    Run(kAssocMachine, 3, Frame(10, Le16(8), kAp));
    EXPECT_EQ(A()->Ind.AssocParamsRequest, 1);  // the record and flag change without a link
    EXPECT_EQ(A()->Mlme.Conn.LastLinkLossTime, 0u);

    port_->ConnectionFlags |= 1;
    std::memcpy(port_->Bssid, kAp, 6);
    Run(kAssocMachine, 3, Frame(10, Le16(8), kOtherAp));
    EXPECT_EQ(A()->Mlme.Conn.LastLinkLossTime, 0u);
    kshim::host::ClockAdvanceMs(5);
    Request();
    Run(kAssocMachine, 3, Frame(10, Le16(8), kAp));
    EXPECT_NE(A()->Mlme.Conn.LastLinkLossTime, 0u);
    EXPECT_EQ(State(), 0u);
    EXPECT_EQ(std::memcmp(port_->Mlme.Conn.AssocParamsRecord + 4, kAp, 6), 0);
}

}  // namespace
}  // namespace assoctest
