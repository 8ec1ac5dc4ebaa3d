// The SAE exchange (machine 20) with the SAE parameters property that feeds it, and the SA Query
// machine (18): frames kept and indications the OS received, confirms to the connect machine, timers
// on the manual clock.
#include "connect/assoc_fixture.h"

#include "Common/mlme/mlmepmf.h"
#include "Common/mlme/mlmesae.h"
#include "kshim/host/wifi.h"
#include "kshim/wditlv.h"
#include "platform/wdi/wdiproperty.h"

namespace assoctest {
namespace {

constexpr ULONG kAuthConfirm = 35;
constexpr ULONG kSaeMachine = 20;
constexpr ULONG kPmfMachine = 18;
constexpr uint16_t kSaeIndication = 0x0086;

struct OsSae {
    ULONG type = 0;  // 0 commit, 4 commit H2E, 1 confirm, 2 failure
    Bytes scalar = Bytes(32, 0x5C);
    Bytes element = Bytes(64, 0xE1);
    Bytes token = {};
    Bytes rejected = {};
    Bytes confirm = Bytes(32, 0xC0);
    USHORT sendConfirm = 1;
    int status = -1;  // -1: none
};

class Sae : public AssocTest {
protected:
    void SetUp() override
    {
        AssocTest::SetUp();
        A()->RegistryBlock.SaeTO = 200;
        kshim::host::WifiClearIndications();
    }
    void TearDown() override
    {
        MlmeSAEFreeParams(port_);
        AssocTest::TearDown();
    }

    // The OS's SAE parameters through the property, then the machines run.
    void Os(const OsSae& o, bool pump = true)
    {
        WDI_SAE_PARAMETERS p{};
        std::memcpy(p.Bssid, kAp, 6);
        p.RequestType = o.type;
        auto array = [](const Bytes& b) {
            return WDI_BYTE_ARRAY{static_cast<ULONG>(b.size()), const_cast<PUCHAR>(b.data()), 0};
        };
        if (o.type == 0 || o.type == 4) {
            p.Presence |= WDI_SAE_PRESENT_COMMIT;
            p.Commit.FiniteCyclicGroup = 19;
            p.Commit.Scalar = array(o.scalar);
            p.Commit.Element = array(o.element);
            if (!o.token.empty()) {
                p.Commit.Presence |= WDI_SAE_COMMIT_PRESENT_TOKEN;
                p.Commit.AntiCloggingToken = array(o.token);
            }
            if (!o.rejected.empty()) {
                p.Commit.Presence |= WDI_SAE_COMMIT_PRESENT_REJECTED_GROUPS;
                p.Commit.RejectedGroups = array(o.rejected);
            }
        } else if (o.type == 1) {
            p.Presence |= WDI_SAE_PRESENT_CONFIRM;
            p.Confirm.SendConfirm = o.sendConfirm;
            p.Confirm.Confirm = array(o.confirm);
        }
        if (o.status >= 0) {
            p.Presence |= WDI_SAE_PRESENT_STATUS;
            p.Status = static_cast<ULONG>(o.status);
        }
        // Through the TLV library, as the dispatch hands it over.
        PUCHAR tlvs = nullptr;
        ULONG length = 0;
        ASSERT_EQ(WdiTlvGenerateSetSaeParams(&p, 0, nullptr, &length, &tlvs), STATUS_SUCCESS);
        WDI_SAE_PARAMETERS parsed{};
        ASSERT_EQ(WdiTlvParseSetSaeParams(length, tlvs, nullptr, &parsed), STATUS_SUCCESS);
        WdiTlvFreeGenerated(tlvs);
        kshim::host::WdiRequest r = kshim::host::NewWdiRequest(135, kshim::host::WdiMessage(0, 1), 0);
        EXPECT_EQ(WdiPropertySetSAEParams(A(), kshim::host::WdiRequestHandle(r), &parsed), STATUS_SUCCESS);
        WifiRequestComplete(kshim::host::WdiRequestHandle(r), STATUS_SUCCESS, 0);
        WdiTlvCleanupSetSaeParams(&parsed);
        if (pump) {
            Pump();
        }
    }

    // An authentication frame of the access point {algorithm 3, sequence, status, rest}.
    void Peer(unsigned seq, unsigned status, const Bytes& rest = Bytes(96, 0x77), const UCHAR* from = kAp)
    {
        Run(kSaeMachine, seq == 1 ? 1 : 3, Frame(11, Cat({Le16(3), Le16(seq), Le16(status), rest}), from));
    }

    ULONG State() const { return port_->Mlme.SaeMachine.CurrState; }
    Bytes Kept() const
    {
        const SAE_PORT_STATE& s = port_->Mlme.Sae;
        return Bytes(s.KeptCommit, s.KeptCommit + s.KeptCommitLength);
    }
    // The types of the SAE indications the OS received, in order.
    static std::vector<uint32_t> SaeIndications()
    {
        std::vector<uint32_t> types;
        for (const auto& i : kshim::host::WifiIndications()) {
            if (i.code != kSaeIndication) {
                continue;
            }
            WDI_TLV_CURSOR c;
            WdiTlvCursorInit(&c, i.bytes.data() + 16, static_cast<ULONG>(i.bytes.size() - 16));
            USHORT type = 0;
            const UCHAR* v = nullptr;
            USHORT l = 0;
            while (WdiTlvNext(&c, &type, &v, &l)) {
                if (type == WDI_TLV_SAE_INDICATION_TYPE && l >= 4) {
                    types.push_back(v[0] | (v[1] << 8) | (v[2] << 16) | (static_cast<uint32_t>(v[3]) << 24));
                }
            }
        }
        return types;
    }
};

TEST_F(Sae, TheCommitFrameFollowsTheTokenAndHashToElementRules)
{
    const Bytes scalar(32, 0x5C);
    const Bytes element(64, 0xE1);
    const Bytes token32(32, 0x70);
    const Bytes token33(33, 0x71);
    const Bytes rejected{0xFF, 3, 92, 20, 0};
    struct Case {
        ULONG type;
        Bytes token;
        Bytes rejected;
        UCHAR containerLength;
        USHORT status;
        Bytes fields;  // after the group
    } cases[] = {
        {0, {}, {}, 0, 0, Cat({scalar, element})},
        {0, token32, {}, 0, 0, Cat({token32, scalar, element})},
        {0, {}, rejected, 0, 0, Cat({scalar, element})},  // rejected groups only with H2E
        {4, {}, rejected, 0, 126, Cat({scalar, element, rejected})},
        {4, token32, {}, 33, 126, Cat({scalar, element, {255, 33, 93}, token32})},
        {4, token33, {}, 33, 126, Cat({scalar, element, {255, 33}, token33})},
        {4, token32, rejected, 33, 126, Cat({scalar, element, rejected, {255, 33, 93}, token32})},
    };
    for (const Case& c : cases) {
        port_->Mlme.SaeMachine.CurrState = 0;
        port_->Ind.SaeH2eElementLength = c.containerLength;
        OsSae o;
        o.type = c.type;
        o.token = c.token;
        o.rejected = c.rejected;
        Os(o);
        EXPECT_EQ(State(), 1u);
        const Bytes kept = Kept();
        ASSERT_GE(kept.size(), 32u);
        EXPECT_EQ(kept[0], 0xB0) << "authentication";
        EXPECT_EQ(Bytes(kept.begin() + 4, kept.begin() + 10), Bytes(kAp, kAp + 6));
        EXPECT_EQ(Bytes(kept.begin() + 24, kept.end()), Cat({Le16(3), Le16(1), Le16(c.status), Le16(19), c.fields}))
            << "type " << c.type << " token " << c.token.size() << " rejected " << c.rejected.size();
        EXPECT_EQ(port_->Ind.SaeH2eElementLength, c.type == 4 && !c.token.empty() ? 0 : c.containerLength);
        EXPECT_EQ(std::memcmp(A()->Mlme.Cntl.MlmeBssid, kAp, 6), 0);
        EXPECT_EQ(A()->Mlme.Conn.MlmeAuthAlgorithm, 3);
        EXPECT_EQ(port_->Mlme.CntlMachine.CurrState, 5u);
    }
    EXPECT_EQ(LogIds().back(), 0x40020407u);
}

TEST_F(Sae, TheCommitIsRetransmittedOnceThenTheExchangeEndsWith16)
{
    Os({});
    EXPECT_EQ(port_->Mlme.Sae.CommitResent, 0);
    AdvanceMs(199);
    EXPECT_EQ(port_->Mlme.Sae.CommitResent, 0);
    AdvanceMs(1);
    EXPECT_EQ(port_->Mlme.Sae.CommitResent, 1);
    EXPECT_TRUE(TakeConfirms().empty());
    AdvanceMs(200);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));
    EXPECT_EQ(State(), 0u);
    EXPECT_TRUE(SaeIndications().empty()) << "no ERROR indication after a commit";

    // A commit of 256 bytes or more is not kept: the first expiry ends the exchange.
    OsSae big;
    big.element = Bytes(200, 0xE2);
    Os(big);
    EXPECT_EQ(port_->Mlme.Sae.KeptCommitLength, 0u);
    EXPECT_EQ(port_->Mlme.Sae.CommitResent, 1);
    AdvanceMs(200);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));
}

TEST_F(Sae, StatusThirtyWaitsASecondBeforeTheRetransmission)
{
    Os({});
    Peer(1, 30);
    EXPECT_EQ(State(), 1u);
    AdvanceMs(999);
    EXPECT_EQ(port_->Mlme.Sae.CommitResent, 0);
    AdvanceMs(1);
    EXPECT_EQ(port_->Mlme.Sae.CommitResent, 1);
    AdvanceMs(200);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));
    EXPECT_TRUE(SaeIndications().empty());
}

TEST_F(Sae, PeerCommitsGoToTheOsByTheirStatusAndHashToElement)
{
    struct Case {
        ULONG type;
        unsigned status;
        ULONG state;
    } cases[] = {{0, 0, 2}, {4, 126, 2}, {4, 0, 2}, {0, 126, 0}, {0, 76, 0}};
    for (const Case& c : cases) {
        kshim::host::WifiClearIndications();
        port_->Mlme.SaeMachine.CurrState = 0;
        OsSae o;
        o.type = c.type;
        Os(o);
        Peer(1, 0, Bytes(96, 0x77), kOtherAp);  // another sender changes nothing
        Peer(2, 0);                             // neither does a confirm now
        EXPECT_EQ(State(), 1u);
        Peer(1, c.status);
        EXPECT_EQ(State(), c.state) << c.type << " " << c.status;
        EXPECT_EQ(SaeIndications(), (std::vector<uint32_t>{1})) << c.type << " " << c.status;
    }
    // Short frames are refused without a read past them.
    port_->Mlme.SaeMachine.CurrState = 1;
    Bytes cut = Frame(11, Cat({Le16(3), Le16(1)}));
    Run(kSaeMachine, 1, cut);
    EXPECT_EQ(State(), 1u);
}

TEST_F(Sae, TheConfirmExchangeAndTheOsResendAndErrorOnSilence)
{
    Os({});
    Peer(1, 0);
    ASSERT_EQ(State(), 2u);
    OsSae confirm;
    confirm.type = 1;
    Os(confirm);
    EXPECT_EQ(State(), 3u);
    EXPECT_EQ(LogIds().back(), 0x40020409u);
    // No answer: the OS is asked to resend the confirm, then the exchange fails with ERROR and 16.
    AdvanceMs(200);
    AdvanceMs(200);
    EXPECT_EQ(SaeIndications(), (std::vector<uint32_t>{1, 4, 3}));
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));

    // With the peer's confirm: passed up, the timer stopped, the OS's verdict ends the exchange.
    kshim::host::WifiClearIndications();
    Os({});
    Peer(1, 0);
    Os(confirm);
    Peer(2, 0);
    Peer(2, 0);  // a repeated confirm goes up again
    EXPECT_EQ(SaeIndications(), (std::vector<uint32_t>{1, 2, 2}));
    EXPECT_EQ(port_->Mlme.AuthMachine.CurrState, 2u);
    AdvanceMs(5000);
    EXPECT_TRUE(TakeConfirms().empty());
    OsSae verdict;
    verdict.type = 1;
    verdict.status = 126;
    Os(verdict);
    EXPECT_EQ(State(), 0u);
    EXPECT_EQ(port_->Mlme.AuthMachine.CurrState, 0u);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 0}}));
}

TEST_F(Sae, TheOsVerdictAndTheHashToElementFlag)
{
    OsSae failure;
    failure.type = 2;
    Os(failure);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));
    EXPECT_EQ(port_->Mlme.Cntl.SaeCommitCount, 1);
    // The failure counter wrapping to 0 restarts the exchange instead.
    port_->Mlme.Cntl.SaeCommitCount = 255;
    kshim::host::WifiClearIndications();
    Os(failure);
    EXPECT_TRUE(TakeConfirms().empty());
    EXPECT_EQ(SaeIndications(), (std::vector<uint32_t>{0}));

    OsSae h2e;
    h2e.type = 4;
    Os(h2e);
    EXPECT_EQ(port_->Ind.SaeH2e, 1);
    port_->Mlme.SaeMachine.CurrState = 0;
    Os({});
    EXPECT_EQ(port_->Ind.SaeH2e, 0);
}

TEST_F(Sae, AQueuedCommitKeepsItsBytesWhenTheOsSendsNewParameters)
{
    OsSae first;
    first.scalar = Bytes(32, 0x11);
    OsSae second;
    second.scalar = Bytes(32, 0x22);
    Os(first, false);
    Os(second, false);
    Pump();
    const Bytes kept = Kept();
    ASSERT_GE(kept.size(), 64u);
    EXPECT_EQ(Bytes(kept.begin() + 32, kept.begin() + 64), Bytes(32, 0x11));
}

TEST_F(Sae, TestNetworksSkipEverySecondPlainCommitAndFallBackToOpenSystem)
{
    port_->ConnectConfig.CertTestFlag = 1;
    Os({});
    EXPECT_NE(port_->Mlme.Sae.KeptCommitLength, 0u);
    port_->Mlme.SaeMachine.CurrState = 0;
    Os({});
    EXPECT_EQ(port_->Mlme.Sae.KeptCommitLength, 0u) << "skipped";
    EXPECT_EQ(State(), 1u);
    port_->Mlme.Cntl.FullSaeNeeded = 1;
    kshim::host::ClockAdvanceMs(200);
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_EQ(port_->Mlme.Cntl.FullSaeNeeded, 0);
    EXPECT_EQ(port_->Mlme.Cntl.PmksaCachingAttempted, 1);
    EXPECT_EQ(port_->Mlme.CntlMachine.CurrState, 5u);
    Pump();
    EXPECT_EQ(port_->Mlme.AuthMachine.CurrState, 1u) << "open-system authentication started";
}

// ---- SA Query ---------------------------------------------------------------------------------------------------
class SaQuery : public AssocTest {
protected:
    void SetUp() override
    {
        AssocTest::SetUp();
        A()->CurrentPowerState = 1;
        port_->ConnectionFlags |= 1;
        std::memcpy(port_->Bssid, kAp, 6);
    }
    void Response(USHORT id) { Run(kPmfMachine, 2, Frame(13, Cat({{8, 1}, Le16(id)}))); }
    USHORT Id() { return A()->Mlme.SaQueryTransactionId; }
};

TEST_F(SaQuery, RequestsRepeatEvery201MsAndOnlyTheLatestIdKeepsTheAssociation)
{
    Run(kPmfMachine, 0, Frame(12, Le16(6)));
    EXPECT_EQ(port_->Mlme.Pmf.State, 1u);
    EXPECT_EQ(Id(), 1);
    AdvanceMs(201);
    EXPECT_EQ(Id(), 2);
    Response(1);  // an earlier retry's id
    EXPECT_EQ(port_->Mlme.Pmf.State, 1u);
    Response(2);
    EXPECT_EQ(port_->Mlme.Pmf.State, 0u);
    AdvanceMs(2000);
    EXPECT_EQ(Id(), 2) << "both timers were cancelled";
    EXPECT_EQ(port_->Mlme.Pmf.StopRetry, 0);
}

TEST_F(SaQuery, SilenceForOneSecondEndsTheAssociation)
{
    std::memset(port_->Mlme.Req.DesiredBssid, 0x11, 6);
    Run(kPmfMachine, 0, Frame(12, Le16(6)));
    AdvanceMs(402);
    Response(1);  // stale
    AdvanceMs(597);
    EXPECT_EQ(port_->Mlme.Pmf.State, 1u);
    AdvanceMs(1);
    EXPECT_EQ(port_->Mlme.Pmf.State, 0u);
    EXPECT_EQ(port_->Mlme.Pmf.StopRetry, 1);
    EXPECT_EQ(Bytes(port_->Mlme.Req.DesiredBssid, port_->Mlme.Req.DesiredBssid + 6), Bytes(6, 0xFF));
    const USHORT last = Id();
    AdvanceMs(1000);
    EXPECT_EQ(Id(), last) << "no more requests";
}

TEST_F(SaQuery, NothingStartsOutsideTheWorkingPowerState)
{
    A()->CurrentPowerState = 4;
    Run(kPmfMachine, 0, Frame(12, Le16(6)));
    EXPECT_EQ(port_->Mlme.Pmf.State, 0u);
    EXPECT_EQ(Id(), 0);
    // A response while idle changes nothing; a short request is dropped.
    Response(0);
    Run(kPmfMachine, 1, Frame(13, {8, 0}));
    EXPECT_EQ(port_->Mlme.Pmf.State, 0u);
}

}  // namespace
}  // namespace assoctest
