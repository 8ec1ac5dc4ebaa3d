// Secured sessions on the air without the driver: the OS's supplicant, run by a test station, against
// a simulated access point's authenticator. WPA2-PSK connects and exchanges CCMP data that the access
// point echoes; tshark decrypts the air's capture from the passphrase (complete EAPOL handshake, data
// payloads); a wrong passphrase never gets message 3 nor any data through; a group rekey in the middle
// of traffic loses no frame; protected management frames are negotiated as the access point's policy
// says; unprotected and replayed data on a keyed link are dropped.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>

#include "air/access_point.h"
#include "air/ap_rsn.h"
#include "air/ap_rsn_cipher.h"
#include "air/medium.h"
#include "air/pcap.h"
#include "kshim/host/control.h"
#include "kshim/host/supplicant.h"
#include "tshark.h"
#include "vectors.h"

namespace security {
namespace {

using sim::air::AccessPoint;
using sim::air::ApConfig;
using sim::air::Band;
using sim::air::Channel;
using sim::air::Mac;
namespace wpa = kshim::host::wpa;
namespace rsn = sim::air::rsn;

const Mac kSta{0x00, 0x0C, 0x43, 0x35, 0x00, 0x01};
const Mac kHost{0x02, 0x00, 0x00, 0x00, 0x0E, 0xC0};  // the host behind the access point
const Channel kChannel{Band::B5G, 36};

ApConfig Home(sim::air::Security security, sim::air::Pmf pmf)
{
    ApConfig c;
    c.ssid = Str("Home");
    c.bssid = Mac{0x02, 0x00, 0x00, 0x05, 0x24, 0x07};
    c.channel = kChannel;
    c.security = security;
    c.pmf = pmf;
    c.passphrase = "home network";
    return c;
}

// The station's RSN element: CCMP-128 pairwise and group, one AKM, MFPC/MFPR as asked.
Bytes StationRsn(uint8_t akm, bool mfpc, bool mfpr)
{
    uint16_t caps = 0x000C;
    caps |= mfpc ? 0x0080 : 0;
    caps |= mfpr ? 0x0040 : 0;
    Bytes b = Cat({Hex("30 14 0100 000fac04 0100 000fac04 0100 000fac"), Bytes{akm},
                   Bytes{static_cast<uint8_t>(caps), static_cast<uint8_t>(caps >> 8)}});
    return b;
}

// A station on the air that runs the supplicant: the test sends its frames, it keeps what reaches it.
class SupplicantStation : public sim::air::Party {
public:
    explicit SupplicantStation(sim::air::Medium& air) : air_(air) { air_.Join(this); }
    ~SupplicantStation() override { air_.Leave(this); }

    // Each frame leaves 2 ms after the last, after the access point's answers to the one before.
    void Send(const Bytes& frame)
    {
        kshim::host::ClockAdvanceMs(2);
        air_.Transmit(this, kChannel, kshim::host::ClockNow(), frame);
    }
    std::vector<Bytes> Take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Bytes> out;
        out.swap(got_);
        return out;
    }
    bool Hears(Channel c, int64_t) const override { return c == kChannel; }
    bool IsDevice() const override { return true; }
    void Receive(const Bytes& frame, const sim::air::Reception&) override
    {
        const uint16_t fc = sim::air::Le16(frame.data());
        if (fc == sim::air::kFcBeacon || fc == sim::air::kFcProbeResp || sim::air::MacAt(frame.data() + 4) != kSta) {
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        got_.push_back(frame);
    }

private:
    sim::air::Medium& air_;
    std::mutex mutex_;
    std::vector<Bytes> got_;
};

class SecuredAir : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::ClockSetManual();
    }
    void TearDown() override
    {
        sta_.reset();
        if (ap_) {
            air_.Leave(ap_.get());
        }
        ap_.reset();
        kshim::host::ResetDefaults();
    }

    void Start(const ApConfig& c)
    {
        capture_ = std::make_shared<sim::air::PcapWriter>();
        pcapPath_ = ::testing::TempDir() + "secured_air_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pcap";
        std::string error;
        ASSERT_TRUE(capture_->Open(pcapPath_, &error)) << error;
        air_.SetCapture(capture_);
        ap_ = std::make_unique<AccessPoint>(c, kshim::host::ClockNow());
        ap_->SetMedium(&air_);
        ap_->SetEchoData(true);
        air_.Join(ap_.get());
        sta_ = std::make_unique<SupplicantStation>(air_);
    }

    // Open authentication and association with `rsnElement`; the association status.
    uint16_t Associate(const Bytes& rsnElement)
    {
        status_ = 0xFFFF;
        Bytes auth = sim::air::MgmtHeader(sim::air::kFcAuth, ap_->Bssid(), kSta, ap_->Bssid(), 1);
        auth.insert(auth.end(), {0, 0, 1, 0, 0, 0});
        sta_->Send(auth);
        Bytes assoc = sim::air::MgmtHeader(sim::air::kFcAssocReq, ap_->Bssid(), kSta, ap_->Bssid(), 2);
        assoc.insert(assoc.end(), {0x11, 0x04, 0x0A, 0x00});
        sim::air::PutElement(assoc, 0, Str("Home"));
        sim::air::PutElement(assoc, 1, {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C});
        assoc.insert(assoc.end(), rsnElement.begin(), rsnElement.end());
        sta_->Send(assoc);
        for (const Bytes& f : sta_->Take()) {
            if (sim::air::Le16(f.data()) == sim::air::kFcAssocResp) {
                status_ = sim::air::Le16(f.data() + 26);
            } else if (auto eapol = sim::air::EapolOf(f)) {
                pending_.push_back(*eapol);
            }
        }
        return status_;
    }

    // Answers every EAPOL frame the access point sent until none is left; keys go to `keys_`.
    void RunHandshake(wpa::Supplicant& s)
    {
        while (!pending_.empty()) {
            const Bytes eapol = pending_.front();
            pending_.erase(pending_.begin());
            const auto r = s.Receive(eapol);
            if (r.step == wpa::Supplicant::Step::Dropped) {
                continue;
            }
            for (const auto& k : r.keys) {
                keys_.push_back(k);
            }
            Bytes f = Cat({Hex("0801 0000"), Bytes(ap_->Bssid().begin(), ap_->Bssid().end()), Bytes(kSta.begin(), kSta.end()),
                           Bytes(ap_->Bssid().begin(), ap_->Bssid().end()), Hex("0000 aaaa03 000000 888e"), r.reply});
            // Group-key answers go under the pairwise key; message 4 goes plain.
            if (r.step == wpa::Supplicant::Step::GroupMessage2) {
                f = *rsn::Protect(rsn::Cipher::Ccmp128, Tk(), 0, ++pn_, f);
            }
            sta_->Send(f);
            Collect();
        }
    }

    void Collect()
    {
        for (const Bytes& f : sta_->Take()) {
            Bytes plain = f;
            if ((sim::air::Le16(f.data()) & rsn::kFcProtected) != 0) {
                auto open = rsn::Unprotect(rsn::Cipher::Ccmp128, Tk(), f);
                if (!open) {
                    ++undecryptable_;
                    continue;
                }
                plain = open->frame;
            }
            if (auto eapol = sim::air::EapolOf(plain)) {
                pending_.push_back(*eapol);
            } else if (sim::air::FrameType(sim::air::Le16(plain.data())) == 2) {
                echoed_.push_back(Bytes(plain.begin() + 24 + 8, plain.end()));
            }
        }
    }

    Bytes Tk() const
    {
        for (const auto& k : keys_) {
            if (k.pairwise) {
                return k.key;
            }
        }
        return Bytes(16);
    }

    // A data frame to the host behind the access point, protected unless `plain`.
    void SendData(const Bytes& payload, bool plain = false, std::optional<uint64_t> pn = std::nullopt)
    {
        Bytes f = Cat({Hex("0801 0000"), Bytes(ap_->Bssid().begin(), ap_->Bssid().end()), Bytes(kSta.begin(), kSta.end()),
                       Bytes(kHost.begin(), kHost.end()), Hex("1000 aaaa03 000000 88b5"), payload});
        if (!plain) {
            f = *rsn::Protect(rsn::Cipher::Ccmp128, Tk(), 0, pn ? *pn : ++pn_, f);
        }
        sta_->Send(f);
        Collect();
    }

    wpa::HandshakeConfig Config(const std::string& passphrase, const Bytes& stationRsn, uint8_t mgmt = 0)
    {
        wpa::HandshakeConfig c;
        c.akm = wpa::Akm::Psk;
        c.pmk = *wpa::PassphraseToPmk(passphrase, Str("Home"));
        std::copy(ap_->Bssid().begin(), ap_->Bssid().end(), c.aa.begin());
        std::copy(kSta.begin(), kSta.end(), c.spa.begin());
        c.groupMgmtSuite = mgmt;
        c.supplicantRsn = stationRsn;
        const Bytes beacon = ap_->BeaconAt(kshim::host::ClockNow());
        const auto e = sim::air::FindElement(beacon.data() + 36, beacon.size() - 36, sim::air::kEidRsn);
        c.authenticatorRsn.assign(e->body - 2, e->body + e->length);
        return c;
    }

    sim::air::Medium air_;
    std::shared_ptr<sim::air::PcapWriter> capture_;
    std::string pcapPath_;
    std::unique_ptr<AccessPoint> ap_;
    std::unique_ptr<SupplicantStation> sta_;
    uint16_t status_ = 0xFFFF;
    std::vector<Bytes> pending_;
    std::vector<wpa::InstallKey> keys_;
    std::vector<Bytes> echoed_;
    unsigned undecryptable_ = 0;
    uint64_t pn_ = 0;
};

TEST_F(SecuredAir, Wpa2PskConnectsExchangesDataAndTsharkDecryptsTheCapture)
{
    Start(Home(sim::air::Security::Wpa2Psk, sim::air::Pmf::Off));
    const Bytes rsnElement = StationRsn(2, false, false);
    ASSERT_EQ(Associate(rsnElement), 0);
    ASSERT_EQ(pending_.size(), 1u) << "message 1 follows the association response";
    wpa::Supplicant s(Config("home network", rsnElement));
    RunHandshake(s);
    ASSERT_TRUE(s.Complete());
    ASSERT_EQ(keys_.size(), 2u);
    EXPECT_EQ(keys_[0].suite, 4);
    EXPECT_EQ(keys_[1].keyId, 1);
    EXPECT_EQ(ap_->RsnCounters().handshakes, 1u);
    const std::vector<Bytes> payloads = {Str("first secured payload"), Str("second secured payload, a little longer")};
    for (const Bytes& p : payloads) {
        SendData(p);
    }
    ASSERT_EQ(echoed_, payloads);
    EXPECT_EQ(undecryptable_, 0u);
    // Plain data and a replayed packet number are dropped, not echoed.
    SendData(Str("plain"), true);
    SendData(Str("replayed"), false, 1);
    EXPECT_EQ(echoed_.size(), 2u);
    EXPECT_EQ(ap_->RsnCounters().replays, 1u);
    EXPECT_EQ(ap_->RsnCounters().dataDropped, 2u);

    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    capture_->Flush();
    const std::string out = RunCommand(
        "tshark -r " + pcapPath_ +
        " -o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-pwd\",\"home network:Home\"' "
        "-Y 'eapol || data.data' -T fields -e wlan_rsna_eapol.keydes.key_info -e wlan_rsna_eapol.keydes.msgnr -e data.data 2>/dev/null");
    for (const char* msg : {"\t1\t", "\t2\t", "\t3\t", "\t4\t"}) {
        EXPECT_NE(out.find(msg), std::string::npos) << "EAPOL message " << msg << "\n" << out;
    }
    for (const Bytes& p : payloads) {
        // Sent by the station and echoed by the access point: both decrypt.
        const std::string hex = ToHex(p);
        const size_t first = out.find(hex);
        EXPECT_NE(first, std::string::npos) << out;
        EXPECT_NE(out.find(hex, first + 1), std::string::npos) << out;
    }
    std::remove(pcapPath_.c_str());
}

TEST_F(SecuredAir, AWrongPassphraseGetsNoMessage3AndNoData)
{
    Start(Home(sim::air::Security::Wpa2Psk, sim::air::Pmf::Off));
    const Bytes rsnElement = StationRsn(2, false, false);
    ASSERT_EQ(Associate(rsnElement), 0);
    wpa::Supplicant s(Config("not the network", rsnElement));
    RunHandshake(s);
    EXPECT_FALSE(s.Complete());
    EXPECT_TRUE(keys_.empty());
    EXPECT_EQ(ap_->RsnCounters().eapolDropped, 1u);
    EXPECT_EQ(ap_->RsnCounters().handshakes, 0u);
    SendData(Str("nobody hears this"));
    EXPECT_TRUE(echoed_.empty());
}

TEST_F(SecuredAir, AGroupRekeyInTheMiddleOfTrafficLosesNoFrame)
{
    ApConfig c = Home(sim::air::Security::Wpa2Psk, sim::air::Pmf::Off);
    sim::air::ApEvent rekey;
    rekey.at = 100;  // ms after the world's start
    rekey.kind = sim::air::ApEventKind::GroupRekey;
    c.events = {rekey};
    Start(c);
    const Bytes rsnElement = StationRsn(2, false, false);
    ASSERT_EQ(Associate(rsnElement), 0);
    wpa::Supplicant s(Config("home network", rsnElement));
    RunHandshake(s);
    ASSERT_TRUE(s.Complete());
    std::vector<Bytes> sent;
    for (int i = 0; i < 20; ++i) {
        sent.push_back(Str("frame " + std::to_string(i)));
        SendData(sent.back());
        kshim::host::ClockAdvanceMs(10);
        Collect();
        RunHandshake(s);  // the group-key message 1 when it comes
    }
    EXPECT_EQ(echoed_, sent);
    EXPECT_EQ(ap_->RsnCounters().groupRekeys, 1u);
    ASSERT_EQ(keys_.size(), 3u);
    EXPECT_FALSE(keys_[2].pairwise);
    EXPECT_EQ(keys_[2].keyId, 2);
    EXPECT_NE(keys_[2].key, keys_[1].key);
}

TEST_F(SecuredAir, ProtectedManagementFramesFollowTheAccessPointsPolicy)
{
    struct Row {
        sim::air::Pmf pmf;
        bool mfpc, mfpr;
        uint16_t status;  // 31: robust management frame policy violation
        bool igtk;
    };
    for (const Row r : {Row{sim::air::Pmf::Required, false, false, 31, false}, Row{sim::air::Pmf::Required, true, true, 0, true},
                        Row{sim::air::Pmf::Capable, true, false, 0, true}, Row{sim::air::Pmf::Capable, false, false, 0, false},
                        Row{sim::air::Pmf::Off, true, true, 31, false}}) {
        SCOPED_TRACE(testing::Message() << "pmf " << int(r.pmf) << " mfpc " << r.mfpc << " mfpr " << r.mfpr);
        TearDown();
        SetUp();
        keys_.clear();
        pending_.clear();
        Start(Home(sim::air::Security::Wpa2Psk, r.pmf));
        const Bytes rsnElement = StationRsn(2, r.mfpc, r.mfpr);
        ASSERT_EQ(Associate(rsnElement), r.status);
        if (r.status != 0) {
            EXPECT_TRUE(pending_.empty());
            continue;
        }
        wpa::Supplicant s(Config("home network", rsnElement, r.igtk ? wpa::kSuiteBipCmac128 : 0));
        RunHandshake(s);
        ASSERT_TRUE(s.Complete());
        ASSERT_EQ(keys_.size(), r.igtk ? 3u : 2u);
        if (r.igtk) {
            EXPECT_EQ(keys_[2].keyId, 4);
            EXPECT_EQ(keys_[2].suite, 6);
        }
    }
    // An AKM the access point does not offer (SAE on a PSK network) and a TKIP pairwise suite.
    TearDown();
    SetUp();
    Start(Home(sim::air::Security::Wpa2Psk, sim::air::Pmf::Off));
    EXPECT_EQ(Associate(StationRsn(8, false, false)), 43);
    Bytes tkip = StationRsn(2, false, false);
    tkip[13] = 2;
    EXPECT_EQ(Associate(tkip), 42);
    EXPECT_EQ(Associate(Hex("3002 0100")), 72);
    EXPECT_EQ(Associate(Hex("3003 010000")), 72);
}

// SAE authentication frame from the station: algorithm 3, sequence, status, body.
Bytes SaeFrame(const Mac& bssid, uint16_t seq, uint16_t status, const Bytes& body)
{
    Bytes f = sim::air::MgmtHeader(sim::air::kFcAuth, bssid, kSta, bssid, seq);
    f.insert(f.end(), {3, 0, static_cast<uint8_t>(seq), 0, static_cast<uint8_t>(status), static_cast<uint8_t>(status >> 8)});
    return Cat({f, body});
}

TEST_F(SecuredAir, SaeBothDerivationsWithAntiCloggingThenTheHandshakeAndData)
{
    namespace sae = wpa::sae;
    for (const bool h2e : {false, true}) {
        SCOPED_TRACE(h2e ? "hash-to-element" : "hunting-and-pecking");
        TearDown();
        SetUp();
        keys_.clear();
        pending_.clear();
        echoed_.clear();
        pn_ = 0;
        ApConfig c = Home(sim::air::Security::Wpa3Sae, sim::air::Pmf::Required);
        c.saeAntiClogging = true;
        Start(c);
        wpa::MacAddress own{}, peer{};
        std::copy(kSta.begin(), kSta.end(), own.begin());
        std::copy(ap_->Bssid().begin(), ap_->Bssid().end(), peer.begin());
        auto session = sae::Session::Create(h2e ? sae::PasswordElement::HashToElement : sae::PasswordElement::HuntingAndPecking,
                                            "home network", Str("Home"), own, peer);
        ASSERT_TRUE(session && session->MakeCommit());
        const uint16_t status = h2e ? 126 : 0;
        sae::Commit commit;
        commit.scalar = session->Scalar();
        commit.element = session->Element();
        // First commit: the access point asks for a token (76) and takes the commit carrying it.
        sta_->Send(SaeFrame(ap_->Bssid(), 1, status, sae::BuildCommit(commit, h2e)));
        auto got = sta_->Take();
        ASSERT_EQ(got.size(), 1u);
        ASSERT_EQ(sim::air::Le16(got[0].data() + 28), 76);
        const auto token = sae::ParseAntiCloggingRequest(Bytes(got[0].begin() + 30, got[0].end()), h2e);
        ASSERT_TRUE(token);
        commit.token = *token;
        sta_->Send(SaeFrame(ap_->Bssid(), 1, status, sae::BuildCommit(commit, h2e)));
        got = sta_->Take();
        ASSERT_EQ(got.size(), 1u);
        ASSERT_EQ(sim::air::Le16(got[0].data() + 26), 1);
        ASSERT_EQ(sim::air::Le16(got[0].data() + 28), status);
        const auto apCommit = sae::ParseCommit(Bytes(got[0].begin() + 30, got[0].end()), h2e, 0);
        ASSERT_TRUE(apCommit);
        ASSERT_TRUE(session->ProcessPeerCommit(apCommit->scalar, apCommit->element));
        sta_->Send(SaeFrame(ap_->Bssid(), 2, 0, sae::BuildConfirm(1, session->Confirm(1))));
        got = sta_->Take();
        ASSERT_EQ(got.size(), 1u);
        const auto apConfirm = sae::ParseConfirm(Bytes(got[0].begin() + 30, got[0].end()));
        ASSERT_TRUE(apConfirm);
        EXPECT_TRUE(session->CheckPeerConfirm(apConfirm->first, apConfirm->second));
        EXPECT_EQ(ap_->RsnCounters().saeTokensAsked, 1u);
        EXPECT_EQ(ap_->RsnCounters().saeConfirmed, 1u);
        // Association with AKM 8 and MFPC/MFPR, then the 4-way handshake on the SAE PMK.
        const Bytes rsnElement = StationRsn(8, true, true);
        Bytes assoc = sim::air::MgmtHeader(sim::air::kFcAssocReq, ap_->Bssid(), kSta, ap_->Bssid(), 3);
        assoc.insert(assoc.end(), {0x11, 0x04, 0x0A, 0x00});
        sim::air::PutElement(assoc, 0, Str("Home"));
        assoc.insert(assoc.end(), rsnElement.begin(), rsnElement.end());
        sta_->Send(assoc);
        for (const Bytes& f : sta_->Take()) {
            if (sim::air::Le16(f.data()) == sim::air::kFcAssocResp) {
                EXPECT_EQ(sim::air::Le16(f.data() + 26), 0);
            } else if (auto eapol = sim::air::EapolOf(f)) {
                pending_.push_back(*eapol);
            }
        }
        wpa::HandshakeConfig hc = Config("home network", rsnElement, wpa::kSuiteBipCmac128);
        hc.akm = wpa::Akm::Sae;
        hc.pmk = session->Pmk();
        wpa::Supplicant s(hc);
        RunHandshake(s);
        ASSERT_TRUE(s.Complete());
        SendData(Str("over SAE"));
        EXPECT_EQ(echoed_, std::vector<Bytes>{Str("over SAE")});
    }
    // A wrong password fails at the confirm: no answer, the station is not authenticated.
    TearDown();
    SetUp();
    Start(Home(sim::air::Security::Wpa3Sae, sim::air::Pmf::Required));
    wpa::MacAddress own{}, peer{};
    std::copy(kSta.begin(), kSta.end(), own.begin());
    std::copy(ap_->Bssid().begin(), ap_->Bssid().end(), peer.begin());
    auto wrong = wpa::sae::Session::Create(wpa::sae::PasswordElement::HuntingAndPecking, "not the network", Str("Home"), own, peer);
    ASSERT_TRUE(wrong && wrong->MakeCommit());
    wpa::sae::Commit commit;
    commit.scalar = wrong->Scalar();
    commit.element = wrong->Element();
    sta_->Send(SaeFrame(ap_->Bssid(), 1, 0, wpa::sae::BuildCommit(commit, false)));
    auto got = sta_->Take();
    ASSERT_EQ(got.size(), 1u);
    const auto apCommit = wpa::sae::ParseCommit(Bytes(got[0].begin() + 30, got[0].end()), false, 0);
    ASSERT_TRUE(apCommit && wrong->ProcessPeerCommit(apCommit->scalar, apCommit->element));
    sta_->Send(SaeFrame(ap_->Bssid(), 2, 0, wpa::sae::BuildConfirm(1, wrong->Confirm(1))));
    EXPECT_TRUE(sta_->Take().empty());
    EXPECT_EQ(ap_->RsnCounters().saeFailed, 1u);
    EXPECT_TRUE(ap_->Stations().empty());
}

}  // namespace
}  // namespace security
