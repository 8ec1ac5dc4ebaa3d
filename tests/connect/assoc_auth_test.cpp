// The station authentication machine (open system, shared key, fast BSS transition), its time-out and
// class-2 deauthentication, and the deauthentication of the linked access point.
#include "connect/assoc_fixture.h"

#include "Common/mlme/mlmeconnect.h"

namespace assoctest {
namespace {

// Message numbers and codes of the texts.
constexpr ULONG kAuthMachine = 2;
constexpr ULONG kAuthRspMachine = 3;
constexpr ULONG kAuthConfirm = 35;
constexpr ULONG kDeauthConfirm = 36;

// MLME_AUTH_REQ: address, u16 algorithm, u32 time-out.
Bytes AuthReq(const UCHAR* addr, unsigned alg, unsigned timeoutMs = 200)
{
    Bytes b(addr, addr + 6);
    b = Cat({b, Le16(alg), Le16(timeoutMs & 0xFFFF), Le16(timeoutMs >> 16)});
    return b;
}

// An authentication frame {algorithm, sequence, status}.
Bytes AuthFrame(unsigned alg, unsigned seq, unsigned status, const UCHAR* from = kAp, const Bytes& rest = {})
{
    return Frame(11, Cat({Le16(alg), Le16(seq), Le16(status), rest}), from);
}

Bytes Challenge()
{
    Bytes b{16, 128};
    for (unsigned i = 0; i < 128; ++i) {
        b.push_back(static_cast<UCHAR>(i * 7 + 1));
    }
    return b;
}

class Auth : public AssocTest {
protected:
    ULONG State() const { return port_->Mlme.AuthMachine.CurrState; }
    void Request(unsigned alg, const UCHAR* addr = kAp) { Run(kAuthMachine, 0, AuthReq(addr, alg)); }
    void Peer(const Bytes& frame) { Run(kAuthMachine, 1, frame); }
};

TEST_F(Auth, OpenSystemConfirmsTheAccessPointsStatusAndLogsBothSteps)
{
    for (unsigned status : {0u, 17u}) {
        kshim::host::ErrorLogClear();
        Request(0);
        EXPECT_EQ(State(), 1u);
        EXPECT_TRUE(TakeConfirms().empty());
        EXPECT_EQ(std::memcmp(A()->Mlme.Cntl.MlmeBssid, kAp, 6), 0);
        Peer(AuthFrame(0, 2, status));
        EXPECT_EQ(State(), 0u);
        EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, static_cast<USHORT>(status)}}));
        EXPECT_EQ(LogIds(), (std::vector<uint32_t>{0x40020407u, 0x40020408u}));
        // The timer was cancelled: nothing more arrives.
        AdvanceMs(1000);
        EXPECT_TRUE(TakeConfirms().empty());
    }
}

TEST_F(Auth, FramesThatAreNotTheAnswerAreIgnoredAndTheTimeOutEndsWith16)
{
    Request(0);
    Bytes shortFrame = AuthFrame(0, 2, 0);
    shortFrame.resize(29);  // the status field is cut
    for (const Bytes& f : {AuthFrame(0, 4, 0), AuthFrame(0, 2, 0, kOtherAp), shortFrame, AuthFrame(5, 2, 0)}) {
        Peer(f);
        EXPECT_EQ(State(), 1u);
    }
    AdvanceMs(199);
    EXPECT_TRUE(TakeConfirms().empty());
    AdvanceMs(1);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));
    EXPECT_EQ(State(), 0u);
    // The time-out sent the class-2 deauthentication and stamped the port.
    EXPECT_NE(port_->Mlme.Conn.Class2DeauthTime, 0u);
}

TEST_F(Auth, AClass2DeauthenticationGoesOutAtMostOncePerSecond)
{
    Request(0);
    AdvanceMs(200);
    const ULONG64 first = port_->Mlme.Conn.Class2DeauthTime;
    ASSERT_NE(first, 0u);
    Request(0);
    AdvanceMs(200);  // 200 ms plus the 10 ms wait later: within the second, nothing new
    EXPECT_EQ(port_->Mlme.Conn.Class2DeauthTime, first);
    AdvanceMs(1000);
    Request(0);
    AdvanceMs(200);
    EXPECT_GT(port_->Mlme.Conn.Class2DeauthTime, first);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}, {kAuthConfirm, 16}, {kAuthConfirm, 16}}));
}

TEST_F(Auth, RequestsThatFailTheirChecksAreRefused)
{
    const UCHAR group[6] = {0x03, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
    Request(3);  // SAE is not this machine's
    Request(0, group);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 81}, {kAuthConfirm, 81}}));

    // TKIP countermeasures toward the last BSSID.
    std::memcpy(A()->Mlme.Cntl.MlmeBssid, kAp, 6);
    std::memcpy(port_->LastBssid, kAp, 6);
    A()->Mlme.Conn.TkipCounterMeasure = 1;
    Request(0);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 83}}));
    A()->Mlme.Conn.TkipCounterMeasure = 0;

    // A request while an exchange runs: 83, back to idle; the running timer still ends it.
    Request(0);
    Request(0);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 83}}));
    EXPECT_EQ(State(), 0u);
    EXPECT_TRUE(LogIds().size() == 1u && LogIds()[0] == 0x40020407u);
}

TEST_F(Auth, TheIotVendorFlagFollowsTheAccessPointsOui)
{
    const UCHAR iot[6] = {0x00, 0x03, 0x7F, 0x01, 0x02, 0x03};
    Request(0, iot);
    EXPECT_EQ(port_->Mlme.Conn.IotVendor, 1);
    AdvanceMs(200);
    Request(0);
    EXPECT_EQ(port_->Mlme.Conn.IotVendor, 0);
}

TEST_F(Auth, FastTransitionNeedsItsElementsAndWaitsForTheOsAfterTheAnswer)
{
    MLME_CONN_PORT_BLOCK& c = port_->Mlme.Conn;
    c.FtEnabled = 1;
    const Bytes fte = Cat({{55, 4}, {1, 2, 3, 4}});
    std::memcpy(c.FtIe, fte.data(), fte.size());
    c.FtIeLen = static_cast<ULONG>(fte.size());
    Request(2);  // no mobility domain element
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 81}}));
    EXPECT_EQ(State(), 0u);

    const Bytes mde{54, 3, 0x34, 0x12, 0x01};
    std::memcpy(c.MobilityDomainIe, mde.data(), mde.size());
    c.MobilityDomainIeLen = static_cast<ULONG>(mde.size());
    const Bytes prefix{48, 20, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4,
                       1, 0, 0x00, 0x0F, 0xAC, 3, 0x80, 0, 0, 0};
    std::memcpy(c.RsnPrefix, prefix.data(), prefix.size());
    for (UCHAR i = 0; i < 16; ++i) {
        c.PmkR0Name[i] = static_cast<UCHAR>(0xA0 + i);
    }
    Request(2);
    EXPECT_EQ(State(), 1u);
    // The saved request body: algorithm 2, sequence 1, status 0, RSN element of length 38 with one
    // PMKID (the PMK-R0 name), the mobility domain element, the fast BSS transition element.
    Bytes rsn = prefix;
    rsn[1] = 38;
    rsn[22] = 1;
    Bytes name;
    for (UCHAR i = 0; i < 16; ++i) {
        name.push_back(static_cast<UCHAR>(0xA0 + i));
    }
    const Bytes expected = Cat({Le16(2), Le16(1), Le16(0), rsn, name, mde, fte});
    EXPECT_EQ(Bytes(c.SavedFtAuthReq, c.SavedFtAuthReq + c.SavedFtAuthReqLen), expected);

    Peer(AuthFrame(2, 2, 0, kAp, Cat({mde, fte})));
    EXPECT_EQ(State(), 1u);
    EXPECT_EQ(c.FtSecondAuth, 1);
    EXPECT_EQ(Bytes(c.SavedFtAuthRsp, c.SavedFtAuthRsp + c.SavedFtAuthRspLen), Cat({Le16(2), Le16(2), Le16(0), mde, fte}));
    EXPECT_TRUE(TakeConfirms().empty());
    AdvanceMs(200);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));
}

TEST_F(Auth, TheFtAnswerOfARoamAsksTheOsForTheAssociationParameters)
{
    const auto asked = [] {
        size_t n = 0;
        for (const auto& i : kshim::host::WifiIndications()) {
            n += i.code == 0x007E ? 1 : 0;  // FT association parameters needed
        }
        return n;
    };
    const auto logged = [] {
        std::vector<Bytes> out;
        for (const auto& e : kshim::host::ErrorLogSnapshot()) {
            if (e.errorCode == 0x40020444u) {
                out.emplace_back(e.dumpData.begin(), e.dumpData.begin() + 6);
            }
        }
        return out;
    };
    // The authentication machine's answer of a roam with fast transition enabled.
    MLME_CONN_PORT_BLOCK& c = port_->Mlme.Conn;
    c.FtEnabled = 1;
    const Bytes fte = Cat({{55, 4}, {1, 2, 3, 4}});
    const Bytes mde{54, 3, 0x34, 0x12, 0x01};
    std::memcpy(c.FtIe, fte.data(), fte.size());
    c.FtIeLen = static_cast<ULONG>(fte.size());
    std::memcpy(c.MobilityDomainIe, mde.data(), mde.size());
    c.MobilityDomainIeLen = static_cast<ULONG>(mde.size());
    MLME_CNTL_PORT_BLOCK& p = port_->Mlme.Cntl;
    p.RoamRequest = 1;
    p.FtEnabled = 1;
    std::memcpy(A()->Mlme.Cntl.MlmeBssid, kAp, 6);
    Request(2);
    Run(kAuthMachine, 1, AuthFrame(2, 2, 0, kAp, Cat({mde, fte})));
    EXPECT_EQ(p.FtSecondAuth, 1);
    EXPECT_EQ(asked(), 1u);
    EXPECT_EQ(logged(), (std::vector<Bytes>{Bytes(kAp, kAp + 6)}));
    // Without any one of the bytes, or with fast transition blocked, nothing is asked.
    const struct {
        UCHAR block, roam, ft, second;
    } rows[] = {{1, 1, 1, 1}, {0, 0, 1, 1}, {0, 1, 0, 1}, {0, 1, 1, 0}};
    for (const auto& r : rows) {
        p.FtBlock = r.block;
        p.RoamRequest = r.roam;
        p.FtEnabled = r.ft;
        p.FtSecondAuth = r.second;
        MlmeCntlFT2ndAssocParamRequest(A(), port_);
    }
    EXPECT_EQ(asked(), 1u);
    EXPECT_EQ(logged().size(), 1u);
    AdvanceMs(200);
}

TEST_F(Auth, SharedKeyAnswersTheChallengeAndEndsByTheTimeOut)
{
    MLME_CONN_PORT_BLOCK& c = port_->Mlme.Conn;
    const UCHAR key[5] = {1, 2, 3, 4, 5};
    std::memcpy(c.DefaultKey, key, 5);
    c.DefaultKeyLength = 5;
    Request(1);
    Bytes truncated = AuthFrame(1, 2, 0, kAp, Challenge());
    truncated.resize(159);
    Peer(truncated);  // a challenge cut short is refused
    Bytes wrongId = AuthFrame(1, 2, 0, kAp, Challenge());
    wrongId[30] = 17;
    Peer(wrongId);
    EXPECT_EQ(State(), 1u);
    Peer(AuthFrame(1, 2, 0, kAp, Challenge()));
    EXPECT_EQ(State(), 2u);
    EXPECT_EQ(LogIds(), (std::vector<uint32_t>{0x40020407u, 0x40020408u, 0x40020409u}));
    Peer(AuthFrame(1, 4, 0));  // the fourth frame is not examined
    EXPECT_EQ(State(), 2u);
    EXPECT_TRUE(TakeConfirms().empty());
    AdvanceMs(200);
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 16}}));

    // A refusal in the second frame needs no challenge text.
    Request(1);
    Peer(AuthFrame(1, 2, 13));
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kAuthConfirm, 13}}));
}

TEST_F(Auth, PeerAuthSanityRefusesFramesShorterThanTheirFields)
{
    struct Row {
        Bytes frame;
        BOOLEAN ok;
    };
    Bytes cut = AuthFrame(0, 2, 0);
    cut.resize(28);
    Bytes challengeCut = AuthFrame(1, 3, 0, kAp, Challenge());
    challengeCut.resize(150);
    const Row rows[] = {
        {AuthFrame(0, 1, 0), TRUE},      {AuthFrame(0, 2, 0), TRUE},   {AuthFrame(0, 3, 0), FALSE},
        {AuthFrame(1, 1, 0), TRUE},      {AuthFrame(1, 4, 0), TRUE},   {AuthFrame(1, 5, 0), FALSE},
        {AuthFrame(1, 2, 0), FALSE},     {AuthFrame(1, 3, 0, kAp, Challenge()), TRUE},
        {challengeCut, FALSE},           {AuthFrame(2, 9, 0), TRUE},   {AuthFrame(3, 1, 0), FALSE},
        {cut, FALSE},                    {Bytes(10, 0), FALSE},
    };
    for (const Row& row : rows) {
        UCHAR addr2[6];
        USHORT alg = 0, seq = 0, status = 0;
        UCHAR challenge[128];
        EXPECT_EQ(PeerAuthSanity(A(), row.frame.data(), static_cast<ULONG>(row.frame.size()), addr2, &alg, &seq,
                                 &status, challenge),
                  row.ok)
            << row.frame.size() << " bytes, algorithm " << alg << " sequence " << seq;
    }
}

TEST_F(Auth, TheDeauthenticationRequestConfirms36AndIdlesTheMachine)
{
    Request(0);
    ASSERT_EQ(State(), 1u);
    EXPECT_EQ(MlmeAuthDeauthReq(A(), port_, kAp, 3), STATUS_SUCCESS);
    EXPECT_EQ(State(), 0u);
    Pump();
    EXPECT_EQ(TakeConfirms(), (std::vector<Confirm>{{kDeauthConfirm, 0}}));
}

class PeerDeauth : public AssocTest {
protected:
    void Deauth(const UCHAR* from, unsigned reason = 7) { Run(kAuthRspMachine, 2, Frame(12, Le16(reason), from)); }
};

TEST_F(PeerDeauth, OnlyTheLinkedAccessPointTakesTheLinkDown)
{
    A()->Mlme.ConnectRetryCount = 5;
    Deauth(kAp);  // not linked
    EXPECT_EQ(A()->Mlme.ConnectRetryCount, 1u);
    EXPECT_EQ(A()->Mlme.Conn.LastLinkLossTime, 0u);

    port_->ConnectionFlags |= 1;
    std::memcpy(port_->Bssid, kAp, 6);
    A()->Mlme.ConnectRetryCount = 5;
    Deauth(kOtherAp);
    EXPECT_EQ(A()->Mlme.ConnectRetryCount, 1u);
    EXPECT_EQ(A()->Mlme.Conn.LastLinkLossTime, 0u);

    kshim::host::ClockAdvanceMs(5);
    A()->RegistryBlock.CertReg = 2;
    A()->Mlme.Conn.AssocParamsWord = 1;
    port_->Mlme.Conn.AssocParamsRecord[0] = 9;
    Deauth(kAp);
    EXPECT_NE(A()->Mlme.Conn.LastLinkLossTime, 0u);
    EXPECT_EQ(A()->Mlme.Conn.AssocParamsWord, 0u);
    EXPECT_EQ(port_->Mlme.Conn.AssocParamsRecord[0], 0);
    EXPECT_EQ(std::memcmp(port_->Mlme.Conn.AssocParamsRecord + 4, kAp, 6), 0);
    // A frame too short for its reason code is not taken.
    A()->Mlme.Conn.LastLinkLossTime = 0;
    Bytes shortFrame = Frame(12, {});
    Run(kAuthRspMachine, 2, shortFrame);
    EXPECT_EQ(A()->Mlme.Conn.LastLinkLossTime, 0u);
}

}  // namespace
}  // namespace assoctest
