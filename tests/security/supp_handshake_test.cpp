// The OS's supplicant against the access points' authenticator (the 4-way and group-key handshakes
// as state machines, with the checks each side makes of the other's frames), and the frame
// protection the access points and the chip apply: CCMP-128 and GCMP-256 decrypted by tshark from the
// temporal key, BIP-GMAC-256 against the IEEE 802.11 broadcast deauthentication example, and clean
// refusals of tampered, short and malformed frames.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "air/ap_rsn_cipher.h"
#include "kshim/host/supplicant.h"
#include "tshark.h"
#include "vectors.h"

namespace security {
namespace {

using namespace kshim::host::wpa;
namespace rsn = sim::air::rsn;

const MacAddress kAp{0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
const MacAddress kSta{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};

Bytes RsnElement(uint8_t pairwise, uint8_t akm, uint8_t mgmt)
{
    Bytes b = Cat({Hex("0100 000fac"), Bytes{pairwise}, Hex("0100 000fac"), Bytes{pairwise}, Hex("0100 000fac"), Bytes{akm},
                   mgmt != 0 ? Hex("8c00 0000 000fac") : Hex("0c00")});
    if (mgmt != 0) {
        b.push_back(mgmt);
    }
    return Cat({Bytes{48, static_cast<uint8_t>(b.size())}, b});
}

struct Case {
    Akm akm;
    uint8_t pairwise;
    uint8_t mgmt;
};

HandshakeConfig Config(const Case& c, const Bytes& pmk)
{
    HandshakeConfig h;
    h.akm = c.akm;
    h.pmk = pmk;
    h.aa = kAp;
    h.spa = kSta;
    h.pairwiseSuite = c.pairwise;
    h.groupSuite = c.pairwise;
    h.groupMgmtSuite = c.mgmt;
    h.supplicantRsn = RsnElement(c.pairwise, static_cast<uint8_t>(c.akm), c.mgmt);
    h.authenticatorRsn = h.supplicantRsn;
    return h;
}

GroupKey Key(uint8_t id, size_t length, uint8_t fill, uint64_t rsc = 0) { return GroupKey{id, Bytes(length, fill), rsc}; }

TEST(Handshake, SupplicantAndAuthenticatorAgreeOnEveryAkmAndSuite)
{
    const Bytes pmk = *PassphraseToPmk("correct horse battery", Str("QuazelNet"));
    // AKM 2 (SHA-1, descriptor 2), 6 and 8 (SHA-256, CMAC); CCMP-128 (4) and GCMP-256 (9); PMF with
    // BIP-CMAC-128 (6) and BIP-GMAC-256 (12).
    for (const Case c : {Case{Akm::Psk, 4, 0}, Case{Akm::PskSha256, 4, 6}, Case{Akm::Sae, 4, 6}, Case{Akm::Sae, 9, 12}}) {
        SCOPED_TRACE(testing::Message() << "AKM " << int(c.akm) << " suite " << int(c.pairwise));
        const size_t gl = c.pairwise == 9 ? 32 : 16;
        const GroupKey gtk = Key(1, gl, 0x11, 5);
        const std::optional<GroupKey> igtk = c.mgmt ? std::optional<GroupKey>(Key(4, c.mgmt == 12 ? 32 : 16, 0x22, 9)) : std::nullopt;
        Supplicant s(Config(c, pmk));
        Authenticator a(Config(c, pmk));
        const Bytes m1 = a.Message1();
        EXPECT_EQ(m1.at(6) & 7, c.akm == Akm::Psk ? 2 : c.akm == Akm::PskSha256 ? 3 : 0);
        auto r2 = s.Receive(m1);
        ASSERT_EQ(r2.step, Supplicant::Step::Message2) << r2.why;
        auto r3 = a.Receive(r2.reply, gtk, igtk);
        ASSERT_EQ(r3.step, Authenticator::Step::Message3) << r3.why;
        auto r4 = s.Receive(r3.reply);
        ASSERT_EQ(r4.step, Supplicant::Step::Message4) << r4.why;
        ASSERT_EQ(r4.keys.size(), c.mgmt ? 3u : 2u);
        EXPECT_TRUE(r4.keys[0].pairwise);
        EXPECT_EQ(r4.keys[0].suite, c.pairwise);
        EXPECT_EQ(r4.keys[0].key, *a.Tk());
        EXPECT_EQ(r4.keys[0].key.size(), gl);
        EXPECT_EQ(r4.keys[1].keyId, 1);
        EXPECT_EQ(r4.keys[1].key, gtk.key);
        EXPECT_EQ(r4.keys[1].rsc, 5u);
        if (c.mgmt) {
            EXPECT_EQ(r4.keys[2].keyId, 4);
            EXPECT_EQ(r4.keys[2].suite, c.mgmt);
            EXPECT_EQ(r4.keys[2].key, igtk->key);
            EXPECT_EQ(r4.keys[2].rsc, 9u);
        }
        EXPECT_EQ(a.Receive(r4.reply, gtk, igtk).step, Authenticator::Step::Complete);
        EXPECT_TRUE(s.Complete() && a.Complete());
        // Group rekey to key id 2.
        const GroupKey next = Key(2, gl, 0x33);
        const auto g1 = a.GroupMessage1(next, igtk);
        ASSERT_TRUE(g1);
        auto g2 = s.Receive(*g1);
        ASSERT_EQ(g2.step, Supplicant::Step::GroupMessage2) << g2.why;
        EXPECT_EQ(g2.keys.at(0).keyId, 2);
        EXPECT_EQ(g2.keys.at(0).key, next.key);
        EXPECT_EQ(a.Receive(g2.reply, next, igtk).step, Authenticator::Step::GroupComplete);
        // The same group message again is a replay.
        EXPECT_EQ(s.Receive(*g1).step, Supplicant::Step::Dropped);
    }
}

TEST(Handshake, FramesThatFailACheckAreDroppedWithoutAnAnswer)
{
    const Bytes pmk = *PassphraseToPmk("correct horse battery", Str("QuazelNet"));
    const Bytes wrongPmk = *PassphraseToPmk("wrong horse battery", Str("QuazelNet"));
    const Case c{Akm::Psk, 4, 0};
    const GroupKey gtk = Key(1, 16, 0x11);
    // A wrong passphrase: the authenticator finds message 2's MIC wrong and never sends message 3.
    {
        Supplicant s(Config(c, wrongPmk));
        Authenticator a(Config(c, pmk));
        const auto r2 = s.Receive(a.Message1());
        ASSERT_EQ(r2.step, Supplicant::Step::Message2);
        const auto r3 = a.Receive(r2.reply, gtk, std::nullopt);
        EXPECT_EQ(r3.step, Authenticator::Step::Dropped);
        EXPECT_TRUE(r3.reply.empty());
        EXPECT_FALSE(a.Complete());
    }
    // Message 3 altered (one MIC bit, one key-data bit), replayed, or with an RSN element other than
    // the advertised one (a downgrade) gives no keys; the untouched message 3 still completes.
    {
        Supplicant s(Config(c, pmk));
        Authenticator a(Config(c, pmk));
        const auto r2 = s.Receive(a.Message1());
        const Bytes m3 = a.Receive(r2.reply, gtk, std::nullopt).reply;
        ASSERT_FALSE(m3.empty());
        for (size_t byte : {size_t{4 + 77}, m3.size() - 1, size_t{4 + 5}}) {
            Bytes bad = m3;
            bad[byte] ^= 0x01;
            EXPECT_EQ(s.Receive(bad).step, Supplicant::Step::Dropped) << byte;
        }
        EXPECT_EQ(s.Receive(Bytes(m3.begin(), m3.begin() + 98)).step, Supplicant::Step::Dropped);
        HandshakeConfig other = Config(c, pmk);
        other.authenticatorRsn = RsnElement(4, 2, 6);
        Supplicant downgraded(other);
        Authenticator a2(Config(c, pmk));
        const auto d2 = downgraded.Receive(a2.Message1());
        const auto d3 = a2.Receive(d2.reply, gtk, std::nullopt);
        const auto d4 = downgraded.Receive(d3.reply);
        EXPECT_EQ(d4.step, Supplicant::Step::Dropped);
        EXPECT_TRUE(d4.keys.empty());
        const auto r4 = s.Receive(m3);
        EXPECT_EQ(r4.step, Supplicant::Step::Message4) << r4.why;
        EXPECT_EQ(s.Receive(m3).step, Supplicant::Step::Dropped);  // replay counter not above
        EXPECT_EQ(s.Dropped(), 5u);
    }
    // Message 2 whose RSN element differs from the association request's is refused.
    {
        HandshakeConfig sc = Config(c, pmk);
        sc.supplicantRsn = RsnElement(4, 2, 6);
        Supplicant s(sc);
        Authenticator a(Config(c, pmk));
        EXPECT_EQ(a.Receive(s.Receive(a.Message1()).reply, gtk, std::nullopt).step, Authenticator::Step::Dropped);
    }
    // Key data that lies about a length.
    EXPECT_FALSE(ParseKeyData(Hex("dd16000fac01")));
    EXPECT_FALSE(ParseKeyData(Cat({Hex("dd0b000fac010100"), Bytes(5, 1)})));  // a 5-byte GTK
    EXPECT_TRUE(ParseKeyData(Hex("dd00")));
}

// ---- frame protection -----------------------------------------------------------------------------------------

Bytes QosData(const Bytes& payload, uint8_t tid)
{
    return Cat({Hex("8801 0000 02aabbccdd01 021122334455 02aabbccdd01 3000"), Bytes{tid, 0}, Hex("aaaa03 000000 88b5"), payload});
}

TEST(FrameProtection, TsharkDecryptsCcmpAndGcmpFromTheTemporalKey)
{
    std::mt19937 rng(17);
    for (rsn::Cipher c : {rsn::Cipher::Ccmp128, rsn::Cipher::Gcmp256}) {
        SCOPED_TRACE(rsn::CipherText(c));
        const Bytes tk = Random(rng, c == rsn::Cipher::Gcmp256 ? 32 : 16);
        const Bytes payload = Cat({Str("secured payload "), Random(rng, 40)});
        const Bytes plain = QosData(payload, 5);
        const auto sealed = rsn::Protect(c, tk, 0, 0x0102030405, plain);
        ASSERT_TRUE(sealed);
        EXPECT_EQ(sealed->size(), plain.size() + 8 + (c == rsn::Cipher::Gcmp256 ? 16 : 8));
        const auto open = rsn::Unprotect(c, tk, *sealed);
        ASSERT_TRUE(open);
        EXPECT_EQ(open->frame, plain);
        EXPECT_EQ(open->pn, 0x0102030405u);
        // Retry and power-management bits may change in flight; the sequence number too.
        Bytes retried = *sealed;
        retried[1] |= 0x18;
        retried[22] ^= 0x50;
        EXPECT_TRUE(rsn::Unprotect(c, tk, retried));
        for (size_t byte : {size_t{4}, size_t{24}, size_t{34}, sealed->size() - 1}) {
            Bytes bad = *sealed;
            bad[byte] ^= 0x01;
            EXPECT_FALSE(rsn::Unprotect(c, tk, bad)) << byte;
        }
        EXPECT_FALSE(rsn::Unprotect(c, tk, Bytes(sealed->begin(), sealed->begin() + 26 + 8 + 7)));
        EXPECT_FALSE(rsn::Unprotect(c, tk, plain));
        EXPECT_FALSE(rsn::Protect(c, Bytes(tk.begin(), tk.end() - 1), 0, 1, plain));
        EXPECT_FALSE(rsn::Protect(c, tk, 0, 1, Bytes(20)));
        if (!TsharkPresent()) {
            continue;
        }
        const std::string out = Tshark("rsn_tk", {*sealed},
                                       "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"tk\",\"" + ToHex(tk) +
                                           "\"' -T fields -e data.data -e wlan.ccmp.extiv");
        EXPECT_NE(out.find(ToHex(payload)), std::string::npos) << out;
    }
}

TEST(FrameProtection, BipGmacIeeeBroadcastDeauthenticationAndBipCmac)
{
    // IEEE 802.11, BIP-GMAC-256 with a broadcast deauthentication frame: IGTK, IPN 4, key id 4.
    const Bytes igtk = Hex("4ea9543e09cf2b1eca66ffc58bdecbcf000102030405060708090a0b0c0d0e0f");
    const Bytes deauth = Hex("c000 0000 ffffffffffff 020000000000 020000000000 0900 0200");
    const auto gmac = rsn::AddMme(rsn::Cipher::BipGmac256, igtk, 4, 4, deauth);
    ASSERT_TRUE(gmac);
    EXPECT_EQ(ToHex(Bytes(gmac->end() - 26, gmac->end())), "4c18" "0400" "040000000000" "23be59dcc7022ee383627ebb1017ddfc");
    EXPECT_EQ(rsn::CheckMme(rsn::Cipher::BipGmac256, igtk, *gmac), 4u);
    // Retry/power-management/more-data do not count; anything else does.
    Bytes retried = *gmac;
    retried[1] |= 0x38;
    EXPECT_TRUE(rsn::CheckMme(rsn::Cipher::BipGmac256, igtk, retried));
    for (size_t byte : {size_t{4}, size_t{24}, gmac->size() - 20, gmac->size() - 1}) {
        Bytes bad = *gmac;
        bad[byte] ^= 0x01;
        EXPECT_FALSE(rsn::CheckMme(rsn::Cipher::BipGmac256, igtk, bad)) << byte;
    }
    EXPECT_FALSE(rsn::CheckMme(rsn::Cipher::BipGmac256, igtk, deauth));
    EXPECT_FALSE(rsn::CheckMme(rsn::Cipher::BipCmac128, Bytes(igtk.begin(), igtk.begin() + 16), *gmac));
    // BIP-CMAC-128: an 8-byte MIC in an element of length 16.
    const Bytes key16(igtk.begin(), igtk.begin() + 16);
    const auto cmac = rsn::AddMme(rsn::Cipher::BipCmac128, key16, 5, 0x010203, deauth);
    ASSERT_TRUE(cmac);
    EXPECT_EQ(cmac->size(), deauth.size() + 18);
    EXPECT_EQ((*cmac)[deauth.size() + 1], 16);
    EXPECT_EQ(rsn::CheckMme(rsn::Cipher::BipCmac128, key16, *cmac), 0x010203u);
    Bytes bad = *cmac;
    bad[24] ^= 1;
    EXPECT_FALSE(rsn::CheckMme(rsn::Cipher::BipCmac128, key16, bad));
    EXPECT_FALSE(rsn::CheckMme(rsn::Cipher::BipCmac128, key16, Bytes(cmac->begin(), cmac->begin() + 30)));
    EXPECT_FALSE(rsn::AddMme(rsn::Cipher::Ccmp128, key16, 4, 1, deauth));
}

}  // namespace
}  // namespace security
