// The connect-control machine: a connect request into the candidate walk, the confirms of the join,
// authentication and association machines, and what the machine posts to them.
#include "connect/cntl_fixture.h"

#include "kshim/host/control.h"

namespace cntltest {
namespace {

// Bytes of a request the machine posts, written out from the request layouts.
std::vector<UCHAR> JoinBody(ULONG index) { return {static_cast<UCHAR>(index), 0, 0, 0}; }
std::vector<UCHAR> AuthBody(const UCHAR* ap, UCHAR algorithm)
{
    return {ap[0], ap[1], ap[2], ap[3], ap[4], ap[5], algorithm, 0x00, 0xC8, 0x00, 0x00, 0x00};  // 200 ms
}
std::vector<UCHAR> AssocBody(const UCHAR* ap, USHORT capability)
{
    return {ap[0], ap[1], ap[2], ap[3], ap[4], ap[5], static_cast<UCHAR>(capability), static_cast<UCHAR>(capability >> 8),
            0x0A, 0x00,                    // listen interval 10
            0xFA, 0x00, 0x00, 0x00};       // 250 ms
}

class ConnectControl : public CntlTest {
protected:
    // Two candidates A and B, the join of A done: the machine waits for a confirm in `state`.
    void Joined(ULONG state)
    {
        AddCandidate(kApA);
        AddCandidate(kApB);
        std::memcpy(adapter_->Mlme.Cntl.MlmeBssid, kApA, 6);
        adapter_->Mlme.JoinTargetInfo.CapabilityInfo = 0xFFFF;
        adapter_->Mlme.Cntl.CandidateIndex = 0;
        adapter_->Mlme.Cntl.NetworkType = 1;
        SetState(state);
    }
};

TEST_F(ConnectControl, AConnectWithCandidatesJoinsTheFirst)
{
    AddCandidate(kApA);
    AddCandidate(kApB);
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_EQ(State(), 2u);  // waiting for the join
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 4u);
    EXPECT_EQ(posted[0].message, 1u);
    EXPECT_EQ(posted[0].body, JoinBody(0));
    EXPECT_EQ(adapter_->Mlme.Cntl.AuthAttempt, 1u);
    EXPECT_EQ(adapter_->Mlme.Cntl.MlmeSsidLen, 4);
    EXPECT_EQ(std::memcmp(adapter_->Mlme.Cntl.MlmeSsid, "home", 4), 0);
    // The station port remembers the SSID as the last one.
    EXPECT_EQ(adapter_->Mlme.Req.JoinSsidLen, 4);
}

// state x confirm -> next state and what was posted.
struct Step {
    const char* name;
    ULONG state;
    ULONG message;
    USHORT status;
    ULONG next;
    int machine;  // -1: nothing posted
    ULONG posted;
    std::vector<UCHAR> body;
};

TEST_F(ConnectControl, ConfirmsMoveTheMachineAsTheTableSays)
{
    const std::vector<Step> steps = {
        {"join ok -> open authentication", 2, 40, 0, 5, 2, 0, AuthBody(kApA, 0)},
        {"join failed -> next candidate", 2, 40, 16, 2, 4, 1, JoinBody(1)},
        {"auth ok -> association, capability masked", 5, 35, 0, 6, 1, 0, AssocBody(kApA, 0x1533)},
        {"first auth failure -> second try", 5, 35, 16, 7, 2, 0, AuthBody(kApA, 0)},
        {"second auth ok -> association", 7, 35, 0, 6, 1, 0, AssocBody(kApA, 0x1533)},
        {"second auth failed -> next candidate", 7, 35, 16, 2, 4, 1, JoinBody(1)},
        {"association refused 17 -> next candidate", 6, 34, 17, 2, 4, 1, JoinBody(1)},
        {"association declined 37 -> stays", 6, 34, 37, 6, -1, 0, {}},
        {"reassociation refused, no roaming candidate", 3, 38, 17, 0, -1, 0, {}},
        {"join waits only for the join confirm", 2, 35, 0, 2, -1, 0, {}},
        {"auth waits only for the auth confirm", 5, 34, 0, 5, -1, 0, {}},
        {"association waits only for its confirm", 6, 40, 0, 6, -1, 0, {}},
        {"start has no procedure", 4, 42, 0, 4, -1, 0, {}},
        {"idle drops a confirm", 0, 34, 0, 0, -1, 0, {}},
        {"idle drops the give-up", 0, CNTL_MSG_CONNECT_GIVE_UP, 0, 0, -1, 0, {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        ClearCandidates();
        Joined(s.state);
        if (s.state == 3) {
            RepositTableGet(adapter_)->RepositCount = 0;  // no roaming candidate to try next
        }
        Confirm(s.message, s.status);
        EXPECT_EQ(State(), s.next);
        auto posted = TakePosted();
        if (s.machine < 0) {
            EXPECT_TRUE(posted.empty());
            continue;
        }
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].machine, static_cast<ULONG>(s.machine));
        EXPECT_EQ(posted[0].message, s.posted);
        EXPECT_EQ(posted[0].body, s.body);
    }
}

TEST_F(ConnectControl, TheSecondAuthenticationCountsAsAttemptTwo)
{
    Joined(7);
    Confirm(35, 0);
    EXPECT_EQ(adapter_->Mlme.Cntl.AuthAttempt, 2u);
}

TEST_F(ConnectControl, SharedKeyAndFastTransitionChooseTheirAlgorithm)
{
    Joined(2);
    port_->Mlme.AuthAlgorithm = 2;  // shared key
    Confirm(40, 0);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].body, AuthBody(kApA, 1));

    UCHAR ft[5] = {55, 3, 0x11, 0x22, 0x01};
    port_->Mlme.AuthAlgorithm = 6;
    port_->Mlme.Cntl.RoamRequest = 1;
    port_->Mlme.Cntl.FtEnabled = 1;
    port_->Mlme.Cntl.FtIeBuffer = ft;
    port_->Mlme.Cntl.FtIeLength = sizeof(ft);
    SetState(5);
    Confirm(35, 1);  // the retry keeps the fast-transition algorithm
    posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].body, AuthBody(kApA, 2));
    port_->Mlme.Cntl.FtIeBuffer = nullptr;
}

TEST_F(ConnectControl, ARoamReassociates)
{
    Joined(5);
    port_->Mlme.Cntl.RoamRequest = 1;
    Confirm(35, 0);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 1u);
    EXPECT_EQ(posted[0].message, 1u);  // reassociation
    EXPECT_EQ(posted[0].body, AssocBody(kApA, 0x1533));
}

TEST_F(ConnectControl, ARefusedReassociationTriesTheNextRoamingCandidate)
{
    Joined(3);  // A and B are the roaming candidates; A refused with 17
    Confirm(38, 17);
    EXPECT_EQ(State(), 3u);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 1u);
    EXPECT_EQ(posted[0].message, 1u);  // reassociation
    EXPECT_EQ(posted[0].body, AssocBody(kApB, 0x0431 & 0x1533));
}

TEST_F(ConnectControl, WhenTheCandidatesAreUsedUpTheMachineWaitsWhereTheLastFailureCame)
{
    Joined(2);
    Confirm(40, 16);  // A failed: B is joined
    ASSERT_EQ(TakePosted().size(), 1u);
    Confirm(40, 16);  // B failed: nothing left
    EXPECT_EQ(State(), 2u);
    EXPECT_TRUE(TakePosted().empty());
    EXPECT_EQ(adapter_->Mlme.Cntl.CandidateIndex, 2u);
}

TEST_F(ConnectControl, AWpsAttemptGivesUpInsteadOfTryingTheNextCandidate)
{
    const UCHAR peer[6] = {0x02, 0x57, 0x50, 0x53, 0x00, 0x01};
    struct Case {
        ULONG state;
        ULONG message;
    } cases[] = {{2, 40}, {7, 35}, {6, 34}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        ClearCandidates();
        Joined(c.state);
        port_->WpsState = 3;
        port_->Mlme.Cntl.WpsStatus = 0;
        std::memcpy(port_->Mlme.Cntl.WpsPeerAddress, peer, 6);
        Confirm(c.message, 16);
        EXPECT_EQ(State(), 0u);
        EXPECT_EQ(port_->WpsState, 2u);
        EXPECT_EQ(port_->Mlme.Cntl.WpsStatus, 3u);
        auto posted = TakePosted();
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].machine, 5u);
        EXPECT_EQ(posted[0].message, 0x0D810101u);
        EXPECT_EQ(posted[0].body, std::vector<UCHAR>(peer, peer + 6));
    }
    // A failed first authentication is still tried once more.
    ClearCandidates();
    Joined(5);
    port_->WpsState = 3;
    Confirm(35, 16);
    EXPECT_EQ(State(), 7u);
}

TEST_F(ConnectControl, AConnectWhileLinkedDisassociatesFirst)
{
    AddCandidate(kApA);
    port_->ConnectionFlags = 0x81;  // linked, media connected
    std::memcpy(port_->Bssid, kApC, 6);
    std::memcpy(port_->CurrentSsid, "office", 6);
    port_->CurrentSsidLen = 6;
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_EQ(State(), 1u);
    EXPECT_EQ(adapter_->Mlme.Cntl.KeepOldEntry, 1);  // another SSID: the old entry stays
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 1u);
    EXPECT_EQ(posted[0].message, 2u);
    EXPECT_EQ(posted[0].body, (std::vector<UCHAR>{kApC[0], kApC[1], kApC[2], kApC[3], kApC[4], kApC[5], 3, 0}));
}

TEST_F(ConnectControl, AConnectToTheSecuredAccessPointChangesNothing)
{
    AddCandidate(kApA);
    port_->ConnectionFlags = 0x81;
    std::memcpy(port_->Bssid, kApA, 6);
    std::memcpy(port_->CurrentSsid, "home", 4);
    port_->CurrentSsidLen = 4;
    port_->Mlme.AuthAlgorithm = 7;  // RSNA-PSK
    adapter_->Mlme.Cntl.PortSecured = 1;
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_EQ(State(), 0u);
    EXPECT_TRUE(TakePosted().empty());

    // Keys never installed: disassociate with reason 3 and connect again.
    adapter_->Mlme.Cntl.PortSecured = 2;
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_EQ(State(), 1u);
    EXPECT_EQ(adapter_->Mlme.Cntl.KeepOldEntry, 0);  // same SSID
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message, 2u);
    EXPECT_EQ(posted[0].body[6], 3);
}

TEST_F(ConnectControl, AnEmptyListScansFirstOnlyWithAutoReconnect)
{
    adapter_->WorkingCfg.AutoReconnect = 1;
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_EQ(State(), 10u);
    EXPECT_EQ(adapter_->Mlme.Scan.ConnectScan, 1);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 4u);
    EXPECT_EQ(posted[0].message, 0u);
    EXPECT_EQ(posted[0].body.size(), 1760u);

    SetState(0);
    adapter_->Mlme.Scan.ConnectScan = 0;
    adapter_->WorkingCfg.AutoReconnect = 0;
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_EQ(State(), 0u);
    EXPECT_TRUE(TakePosted().empty());
}

TEST_F(ConnectControl, AConnectScanThatFindsNothingForgetsTheLastSsidWhenTheRetriesAreSpent)
{
    adapter_->WorkingCfg.KeepReconnectCnt = 0;
    adapter_->Mlme.Cntl.KeepReconnecting = 1;
    adapter_->Mlme.Req.JoinSsidLen = 4;
    std::memcpy(adapter_->Mlme.Req.JoinSsid, "home", 4);
    adapter_->Mlme.Scan.OsScan = 1;
    SetState(10);
    Deliver(CNTL_MSG_SCAN_CONFIRM, {0, 0, 0, 0});
    EXPECT_EQ(State(), 0u);
    EXPECT_EQ(adapter_->Mlme.Cntl.KeepReconnecting, 0);
    EXPECT_EQ(adapter_->Mlme.Req.JoinSsidLen, 32);
    EXPECT_EQ(adapter_->Mlme.Req.JoinSsid[0], 0);
    EXPECT_EQ(adapter_->Mlme.Scan.OsScan, 0);
}

TEST_F(ConnectControl, ABeaconLossReconnectionStartsWithAnotherAccessPoint)
{
    AddCandidate(kApA);
    AddCandidate(kApB);
    std::memcpy(port_->Bssid, kApA, 6);
    port_->Mlme.Cntl.BeaconLossMarker = 1;
    port_->Mlme.Cntl.RoamRequest = 1;
    Deliver(CNTL_MSG_OID_CONNECT);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].body, JoinBody(1));
}

TEST_F(ConnectControl, TheOsBssidChoosesTheFirstCandidate)
{
    AddCandidate(kApA);
    AddCandidate(kApB);
    AddCandidate(kApC);
    std::memcpy(port_->Mlme.Req.DesiredBssid, kApC, 6);
    Deliver(CNTL_MSG_OID_CONNECT);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].body, JoinBody(2));
}

TEST_F(ConnectControl, AResetConnectTargetLetsTheNextConnectStartWithTheBestCandidate)
{
    AddCandidate(kApA);
    AddCandidate(kApB);
    AddCandidate(kApC);
    std::memcpy(port_->Mlme.Req.DesiredBssid, kApC, 6);
    port_->Mlme.Req.DesiredBssidFollow[0] = 0;
    port_->Mlme.Req.DesiredBssidFollow[1] = 0;
    MlmeCntlResetConnectTarget(adapter_);
    const UCHAR any[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(port_->Mlme.Req.DesiredBssid, any, 6), 0);
    EXPECT_EQ(port_->Mlme.Req.DesiredBssidFollow[0], 1);
    EXPECT_EQ(port_->Mlme.Req.DesiredBssidFollow[1], 1);
    Deliver(CNTL_MSG_OID_CONNECT);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].body, JoinBody(0)) << "the OS's access point is forgotten";
}

TEST_F(ConnectControl, AnAssociationDelayOfUnderOneSecondDoesNotDelayTheJoin)
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    AddCandidate(kApA);
    MLME_CNTL_PORT_BLOCK& p = port_->Mlme.Cntl;
    p.RoamRequest = 1;
    std::memcpy(p.PrevApAddress, kApB, 6);
    p.AssocDelay.Valid = 1;
    std::memcpy(p.AssocDelay.Bssid, kApA, 6);
    p.AssocDelay.DelaySeconds = 1;
    p.AssocDelay.StartTime = static_cast<ULONG>(now.QuadPart) - 5000000u;  // half a second ago
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_EQ(TakePosted().size(), 1u);

    // Three seconds still to wait: no join now.
    SetState(0);
    p.AssocDelay.Valid = 1;
    p.AssocDelay.DelaySeconds = 3;
    KeQuerySystemTime(&now);
    p.AssocDelay.StartTime = static_cast<ULONG>(now.QuadPart);
    Deliver(CNTL_MSG_OID_CONNECT);
    EXPECT_TRUE(TakePosted().empty());
    EXPECT_EQ(State(), 0u);
}

TEST_F(ConnectControl, AResetRequestRestartsTheMachinesAndDropsTheElement)
{
    Joined(6);
    port_->Mlme.CntlMachine.ResetRequest = 1;
    Confirm(34, 0);
    EXPECT_EQ(port_->Mlme.CntlMachine.ResetRequest.load(), 0);
    EXPECT_EQ(State(), 0u);
    EXPECT_TRUE(TakePosted().empty());
}

TEST_F(ConnectControl, WaitingForTheResetPollsFiftyTimesTenMilliseconds)
{
    LARGE_INTEGER before;
    KeQuerySystemTime(&before);
    MlmeCntlSetSmReset(adapter_, port_);
    EXPECT_EQ(port_->Mlme.CntlMachine.ResetRequest.load(), 1);
    EXPECT_FALSE(MlmeCntlWaitSmResetDone(adapter_, port_));
    LARGE_INTEGER after;
    KeQuerySystemTime(&after);
    EXPECT_GE(after.QuadPart - before.QuadPart, 500 * 10000);  // 50 waits of 10 ms
    EXPECT_LT(after.QuadPart - before.QuadPart, 600 * 10000);
    MlmeCntlSetSmReset(adapter_, nullptr);  // traced only
}

TEST_F(ConnectControl, AConfirmWithoutItsStatusIsDropped)
{
    Joined(6);
    Deliver(34, {0});  // one byte: no u16 status
    EXPECT_EQ(State(), 6u);
    EXPECT_TRUE(TakePosted().empty());
}

}  // namespace
}  // namespace cntltest
