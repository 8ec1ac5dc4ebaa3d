// The OS supplicant's cryptography: the IEEE 802.11 passphrase and PRF test vectors, RFC 3394 and
// the NIST key-wrap files, EAPOL-Key frames and MICs, a whole 4-way handshake between supplicant and
// authenticator that tshark decrypts, and SAE on group 19 (the simplified SWU map against the
// published hash-to-curve values, both password-element derivations end to end, the checks of a
// peer's commit, commit and confirm frames that tshark decodes, anti-clogging tokens).
#include <gtest/gtest.h>

#include <openssl/bn.h>

#include <random>
#include <string>

#include "kshim/host/wpa_crypto.h"
#include "tshark.h"
#include "vectors.h"

namespace security {
namespace {

using namespace kshim::host::wpa;

MacAddress Mac(const std::string& hex)
{
    const Bytes b = Hex(hex);
    MacAddress m{};
    std::copy(b.begin(), b.end(), m.begin());
    return m;
}

// ---- passphrase, PRF, PTK ------------------------------------------------------------------------------

TEST(WpaKeys, PassphraseToPmkIeeeVectors)
{
    struct {
        const char* passphrase;
        const char* ssid;
        const char* pmk;
    } rows[] = {
        {"password", "IEEE", "f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e"},
        {"ThisIsAPassword", "ThisIsASSID", "0dc0d6eb90555ed6419756b9a15ec3e3209b63df707dd508d14581f8982721af"},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ",
         "becb93866bb8c3832cb777c2f559807c8c59afcb6eae734885001300a981cc62"},
    };
    for (const auto& row : rows) {
        const auto pmk = PassphraseToPmk(row.passphrase, Str(row.ssid));
        ASSERT_TRUE(pmk) << row.passphrase;
        EXPECT_EQ(ToHex(*pmk), row.pmk);
    }
}

TEST(WpaKeys, PassphraseAndSsidBounds)
{
    const Bytes ssid = Str("net");
    EXPECT_FALSE(PassphraseToPmk("1234567", ssid));
    EXPECT_TRUE(PassphraseToPmk("12345678", ssid));
    EXPECT_TRUE(PassphraseToPmk(std::string(63, 'x'), ssid));
    EXPECT_FALSE(PassphraseToPmk(std::string(64, 'x'), ssid));
    EXPECT_FALSE(PassphraseToPmk("pass\x01word", ssid));
    EXPECT_FALSE(PassphraseToPmk("pass\x7fword", ssid));
    EXPECT_FALSE(PassphraseToPmk("password", Bytes{}));
    EXPECT_TRUE(PassphraseToPmk("password", Bytes(32, 'a')));
    EXPECT_FALSE(PassphraseToPmk("password", Bytes(33, 'a')));
}

TEST(WpaKeys, PrfSha1IeeeTestCases)
{
    EXPECT_EQ(ToHex(PrfSha1(Bytes(20, 0x0b), "prefix", Str("Hi There"), 512)),
              "bcd4c650b30b9684951829e0d75f9d54b862175ed9f00606e17d8da35402ffee"
              "75df78c3d31e0f889f012120c0862beb67753e7439ae242edb8373698356cf5a");
    EXPECT_EQ(ToHex(PrfSha1(Str("Jefe"), "prefix-2", Str("what do ya want for nothing?"), 512)),
              "47c4908e30c947521ad20be9053450ecbea23d3aa604b77326d8b3825ff7475c"
              "06f51fb9c5313d1e9f90d897d134b72e090fc23150bc8414382043418678e700");
    EXPECT_EQ(ToHex(PrfSha1(Bytes(80, 0xaa), "prefix-3", Str("Test Using Larger Than Block-Size Key - Hash Key First"),
                            512)),
              "0ab6c33ccf70d0d736f4b04c8a7373255511abc5073713163bd0b8c9eeb7e195"
              "6fa066820a73ddee3f6d3bd407e0682a8b21b58b67358e7a423c3a7b02f154f3");
    // Shorter outputs are prefixes.
    EXPECT_EQ(ToHex(PrfSha1(Bytes(20, 0x0b), "prefix", Str("Hi There"), 128)), "bcd4c650b30b9684951829e0d75f9d54");
}

TEST(WpaKeys, HmacAgreesWithRfc4231AndRfc2202)
{
    std::vector<VectorRecord> sha256, sha1;
    READ_VECTORS_OR_SKIP("HMAC/rfc-4231-sha256.txt", &sha256);
    READ_VECTORS_OR_SKIP("HMAC/rfc-2202-sha1.txt", &sha1);
    size_t n = 0;
    for (auto& r : sha256) {
        ASSERT_FALSE(r["MD"].empty());
        // Test case 5 gives a truncated output.
        ASSERT_EQ(ToHex(HmacSha256(Hex(r["Key"]), Hex(r["Msg"]))).substr(0, r["MD"].size()), r["MD"]);
        ++n;
    }
    for (auto& r : sha1) {
        ASSERT_EQ(ToHex(HmacSha1(Hex(r["Key"]), Hex(r["Msg"]))).substr(0, r["MD"].size()), r["MD"]);
        ++n;
    }
    EXPECT_GE(n, 10u);
}

TEST(WpaKeys, PtkIsTheSameFromBothSides)
{
    const Bytes pmk = Hex("0dc0d6eb90555ed6419756b9a15ec3e3209b63df707dd508d14581f8982721af");
    const MacAddress aa = Mac("a0a1a2a3a4a5"), spa = Mac("b0b1b2b3b4b5");
    Bytes snonce(32), anonce(32);
    for (int i = 0; i < 32; ++i) {
        snonce[i] = static_cast<uint8_t>(0xc0 + i);
        anonce[i] = static_cast<uint8_t>(0xe0 + i);
    }
    for (Akm akm : {Akm::Psk, Akm::PskSha256, Akm::Sae}) {
        for (size_t tk : {16u, 32u}) {
            const auto a = DerivePtk(akm, pmk, aa, spa, anonce, snonce, tk);
            const auto b = DerivePtk(akm, pmk, spa, aa, snonce, anonce, tk);  // roles swapped
            ASSERT_TRUE(a && b);
            EXPECT_EQ(a->kck, b->kck);
            EXPECT_EQ(a->tk, b->tk);
            EXPECT_EQ(a->kck.size(), 16u);
            EXPECT_EQ(a->kek.size(), 16u);
            EXPECT_EQ(a->tk.size(), tk);
        }
    }
    // PRF-384 of the pairwise expansion, as the definition gives it (computed independently).
    const auto ccmp = DerivePtk(Akm::Psk, pmk, aa, spa, anonce, snonce);
    EXPECT_EQ(ToHex(Cat({ccmp->kck, ccmp->kek, ccmp->tk})),
              "e677aae82af1fb9a25e93e22ad77022ed90489e672adcc6ae148d0afafb92b69"
              "36606222ae74d4d2d1db3ac91f6c2809");
    // The SHA-256 derivations differ from the SHA-1 one.
    EXPECT_NE(DerivePtk(Akm::Sae, pmk, aa, spa, anonce, snonce)->kck, ccmp->kck);
    EXPECT_FALSE(DerivePtk(Akm::Psk, Bytes(31), aa, spa, anonce, snonce));
    EXPECT_FALSE(DerivePtk(Akm::Psk, pmk, aa, spa, Bytes(31), snonce));
    EXPECT_FALSE(DerivePtk(Akm::Psk, pmk, aa, spa, anonce, snonce, 24));
}

// ---- key wrap ------------------------------------------------------------------------------------------------

TEST(WpaKeys, KeyWrapRfc3394AndNistFiles)
{
    const Bytes kek = Hex("000102030405060708090a0b0c0d0e0f");
    const auto wrapped = AesKeyWrap(kek, Hex("00112233445566778899aabbccddeeff"));
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(ToHex(*wrapped), "1fa68b0a8112b447aef34bd8fb5a7b829d3e862371d2cfe5");
    EXPECT_EQ(ToHex(*AesKeyUnwrap(kek, *wrapped)), "00112233445566778899aabbccddeeff");
    size_t ok = 0, refused = 0;
    for (const char* bits : {"128", "192", "256"}) {
        std::vector<VectorRecord> ae, ad;
        READ_VECTORS_OR_SKIP(std::string("keywrap/kwtestvectors/KW_AE_") + bits + ".txt", &ae);
        READ_VECTORS_OR_SKIP(std::string("keywrap/kwtestvectors/KW_AD_") + bits + ".txt", &ad);
        for (auto& r : ae) {
            ASSERT_EQ(ToHex(AesKeyWrap(Hex(r["K"]), Hex(r["P"])).value_or(Bytes{})), r["C"]) << bits << " " << r["COUNT"];
            ++ok;
        }
        for (auto& r : ad) {
            const auto p = AesKeyUnwrap(Hex(r["K"]), Hex(r["C"]));
            if (r.count("FAIL") != 0) {
                ASSERT_FALSE(p) << bits << " " << r["COUNT"];
                ++refused;
            } else {
                ASSERT_EQ(ToHex(p.value_or(Bytes{})), r["P"]) << bits << " " << r["COUNT"];
                ++ok;
            }
        }
    }
    EXPECT_GT(ok, 1000u);
    EXPECT_GT(refused, 100u);
    // Lengths the wrap does not take.
    EXPECT_FALSE(AesKeyWrap(kek, Bytes(8)));
    EXPECT_FALSE(AesKeyWrap(kek, Bytes(20)));
    EXPECT_FALSE(AesKeyWrap(Bytes(15), Bytes(16)));
    EXPECT_FALSE(AesKeyUnwrap(kek, Bytes(16)));
    EXPECT_FALSE(AesKeyUnwrap(kek, Bytes(25)));
    // Padding of key data: 0xDD then zeros up to a multiple of 8, at least 16.
    EXPECT_EQ(PadKeyData(Bytes(16, 1)), Bytes(16, 1));
    EXPECT_EQ(PadKeyData(Bytes(3, 1)), Cat({Bytes(3, 1), Bytes{0xDD}, Bytes(12, 0)}));
    EXPECT_EQ(PadKeyData(Bytes(46, 1)).size(), 48u);
}

// ---- EAPOL-Key -------------------------------------------------------------------------------------------------

TEST(EapolKeyFrames, BuildParseAndRefusals)
{
    EapolKey k;
    k.keyInfo = 0x13CA;
    k.keyLength = 16;
    k.replayCounter = 0x0102030405060708ull;
    k.nonce.fill(0xAB);
    k.rsc[0] = 7;
    k.keyData = Bytes(56, 0x5A);
    const Bytes frame = BuildEapolKey(k);
    ASSERT_EQ(frame.size(), 4u + 95u + 56u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9), Hex("02 03 0097 02 13ca 0010"));
    EXPECT_EQ(Bytes(frame.begin() + 9, frame.begin() + 17), Hex("0102030405060708"));
    const auto back = ParseEapolKey(frame);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->keyInfo, 0x13CA);
    EXPECT_EQ(back->replayCounter, k.replayCounter);
    EXPECT_EQ(back->nonce, k.nonce);
    EXPECT_EQ(back->rsc, k.rsc);
    EXPECT_EQ(back->keyData, k.keyData);
    // Padding after the 802.1X body is ignored.
    EXPECT_TRUE(ParseEapolKey(Cat({frame, Bytes(10, 0)})));
    struct {
        const char* what;
        Bytes frame;
    } bad[] = {
        {"short", Bytes(frame.begin(), frame.begin() + 98)},
        {"not EAPOL-Key", [&] { Bytes f = frame; f[1] = 0; return f; }()},
        {"body longer than received", [&] { Bytes f = frame; f[3] = static_cast<uint8_t>(f[3] + 1); return f; }()},
        {"body shorter than a key descriptor", [&] { Bytes f = frame; f[2] = 0; f[3] = 94; return f; }()},
        {"key data longer than the body", [&] { Bytes f = frame; f[4 + 94] = 57; return f; }()},
        {"empty", Bytes{}},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ParseEapolKey(b.frame)) << b.what;
    }
}

TEST(EapolKeyFrames, MicBothAlgorithms)
{
    EapolKey k;
    k.keyInfo = 0x010A;
    k.keyData = Bytes(22, 0x30);
    const Bytes kck = Hex("00112233445566778899aabbccddeeff");
    for (MicAlgorithm alg : {MicAlgorithm::HmacSha1_128, MicAlgorithm::AesCmac128}) {
        Bytes frame = BuildEapolKey(k);
        ASSERT_TRUE(SetEapolKeyMic(alg, kck, &frame));
        EXPECT_NE(Bytes(frame.begin() + 81, frame.begin() + 97), Bytes(16, 0));
        EXPECT_TRUE(CheckEapolKeyMic(alg, kck, frame));
        // The MIC field itself is taken as zero: recomputing over the signed frame gives the same MIC.
        EXPECT_EQ(*EapolKeyMic(alg, kck, frame), Bytes(frame.begin() + 81, frame.begin() + 97));
        for (size_t byte : {size_t{0}, size_t{5}, size_t{20}, size_t{81}, size_t{96}, frame.size() - 1}) {
            Bytes flipped = frame;
            flipped[byte] ^= 0x04;
            EXPECT_FALSE(CheckEapolKeyMic(alg, kck, flipped)) << byte;
        }
        Bytes otherKck = kck;
        otherKck[0] ^= 1;
        EXPECT_FALSE(CheckEapolKeyMic(alg, otherKck, frame));
        EXPECT_FALSE(CheckEapolKeyMic(alg, Bytes(15), frame));
        EXPECT_FALSE(CheckEapolKeyMic(alg, kck, Bytes(98)));
    }
    // HMAC-SHA1-128 is the first 16 bytes of HMAC-SHA1 over the frame with a zero MIC.
    const Bytes frame = BuildEapolKey(k);
    const Bytes full = HmacSha1(kck, frame);
    EXPECT_EQ(*EapolKeyMic(MicAlgorithm::HmacSha1_128, kck, frame), Bytes(full.begin(), full.begin() + 16));
    EXPECT_EQ(MicAlgorithmFor(Akm::Psk), MicAlgorithm::HmacSha1_128);
    EXPECT_EQ(MicAlgorithmFor(Akm::Sae), MicAlgorithm::AesCmac128);
}

// ---- a whole 4-way handshake, supplicant against authenticator ------------------------------------------------

const MacAddress kAp = Mac("02aabbccdd01");
const MacAddress kSta = Mac("021122334455");

Bytes RsnIe(uint8_t akm)
{
    return Cat({Hex("3014 0100 000fac04 0100 000fac04 0100 000fac"), Bytes{akm}, Hex("8000")});
}

// An 802.11 data frame with the EAPOL frame behind the LLC/SNAP header.
Bytes DataFrame(bool fromAp, const Bytes& eapol, uint16_t seq)
{
    const Bytes ap(kAp.begin(), kAp.end()), sta(kSta.begin(), kSta.end());
    const Bytes seqCtl{static_cast<uint8_t>(seq << 4), static_cast<uint8_t>(seq >> 4)};
    Bytes header = fromAp ? Cat({Hex("0802 0000"), sta, ap, ap, seqCtl}) : Cat({Hex("0801 0000"), ap, sta, ap, seqCtl});
    return Cat({header, Hex("aaaa03 000000 888e"), eapol});
}

struct Handshake {
    std::vector<Bytes> frames;  // association request and the four EAPOL-Key frames
    Bytes gtk;
};

// Runs the handshake with both sides keeping their own state; every check one side makes of the
// other's frame must pass.
Handshake RunFourWay(Akm akm, const Bytes& pmk, uint16_t version, const Bytes& ssid)
{
    std::mt19937 rng(static_cast<unsigned>(akm) * 7 + version);
    Handshake h;
    h.gtk = Random(rng, 16);
    const Bytes anonce = Random(rng, 32), snonce = Random(rng, 32);
    const MicAlgorithm mic = MicAlgorithmFor(akm);
    const Bytes ap(kAp.begin(), kAp.end()), sta(kSta.begin(), kSta.end());
    h.frames.push_back(Cat({Hex("0000 0000"), ap, sta, ap, Hex("0000 1104 0a00 00"), Bytes{static_cast<uint8_t>(ssid.size())},
                            ssid, Hex("010882848b960c121824"), RsnIe(static_cast<uint8_t>(akm))}));
    // Message 1 (authenticator).
    EapolKey m1;
    m1.keyInfo = static_cast<uint16_t>(version | kKeyInfoPairwise | kKeyInfoAck);
    m1.keyLength = 16;
    m1.replayCounter = 1;
    std::copy(anonce.begin(), anonce.end(), m1.nonce.begin());
    const Bytes f1 = BuildEapolKey(m1);
    h.frames.push_back(DataFrame(true, f1, 1));
    // Message 2 (supplicant): its PTK from what message 1 carried.
    const auto got1 = ParseEapolKey(f1);
    EXPECT_TRUE(got1 && (got1->keyInfo & kKeyInfoAck) != 0);
    const auto staPtk = DerivePtk(akm, pmk, kAp, kSta, Bytes(got1->nonce.begin(), got1->nonce.end()), snonce);
    EapolKey m2;
    m2.keyInfo = static_cast<uint16_t>(version | kKeyInfoPairwise | kKeyInfoMic);
    m2.replayCounter = got1->replayCounter;
    std::copy(snonce.begin(), snonce.end(), m2.nonce.begin());
    m2.keyData = RsnIe(static_cast<uint8_t>(akm));
    Bytes f2 = BuildEapolKey(m2);
    EXPECT_TRUE(SetEapolKeyMic(mic, staPtk->kck, &f2));
    h.frames.push_back(DataFrame(false, f2, 1));
    // Message 3 (authenticator): its PTK from message 2, whose MIC it checks; the GTK wrapped.
    const auto got2 = ParseEapolKey(f2);
    const auto apPtk = DerivePtk(akm, pmk, kAp, kSta, anonce, Bytes(got2->nonce.begin(), got2->nonce.end()));
    EXPECT_TRUE(CheckEapolKeyMic(mic, apPtk->kck, f2));
    EapolKey m3;
    m3.keyInfo = static_cast<uint16_t>(version | kKeyInfoPairwise | kKeyInfoInstall | kKeyInfoAck | kKeyInfoMic |
                                       kKeyInfoSecure | kKeyInfoEncryptedKeyData);
    m3.keyLength = 16;
    m3.replayCounter = 2;
    std::copy(anonce.begin(), anonce.end(), m3.nonce.begin());
    const Bytes gtkKde = Cat({Hex("dd16 000fac01 0100"), h.gtk});
    m3.keyData = *AesKeyWrap(apPtk->kek, PadKeyData(Cat({RsnIe(static_cast<uint8_t>(akm)), gtkKde})));
    Bytes f3 = BuildEapolKey(m3);
    EXPECT_TRUE(SetEapolKeyMic(mic, apPtk->kck, &f3));
    h.frames.push_back(DataFrame(true, f3, 2));
    // Message 4 (supplicant): checks message 3 and unwraps the GTK.
    const auto got3 = ParseEapolKey(f3);
    EXPECT_TRUE(CheckEapolKeyMic(mic, staPtk->kck, f3));
    const auto keyData = AesKeyUnwrap(staPtk->kek, got3->keyData);
    EXPECT_TRUE(keyData);
    if (keyData) {
        EXPECT_EQ(Bytes(keyData->begin() + 22, keyData->begin() + 22 + 24), gtkKde);
    }
    EapolKey m4;
    m4.keyInfo = static_cast<uint16_t>(version | kKeyInfoPairwise | kKeyInfoMic | kKeyInfoSecure);
    m4.replayCounter = got3->replayCounter;
    Bytes f4 = BuildEapolKey(m4);
    EXPECT_TRUE(SetEapolKeyMic(mic, staPtk->kck, &f4));
    EXPECT_TRUE(CheckEapolKeyMic(mic, apPtk->kck, f4));
    h.frames.push_back(DataFrame(false, f4, 2));
    return h;
}

TEST(FourWayHandshake, TsharkDecryptsTheKeyDataFromThePassphrase)
{
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    const Bytes ssid = Str("QuazelNet");
    const Bytes pmk = *PassphraseToPmk("correct horse battery", ssid);
    // AKM 2 with HMAC-SHA1 MICs (descriptor version 2), AKM 6 with KDF-SHA256 and AES-CMAC (version 3).
    for (auto [akm, version] : {std::make_pair(Akm::Psk, uint16_t{2}), std::make_pair(Akm::PskSha256, uint16_t{3})}) {
        const Handshake h = RunFourWay(akm, pmk, version, ssid);
        const std::string out = Tshark("fourway", h.frames,
                                       "-o wlan.enable_decryption:TRUE "
                                       "-o 'uat:80211_keys:\"wpa-pwd\",\"correct horse battery:QuazelNet\"' "
                                       "-T fields -e wlan.rsn.ie.gtk_kde.gtk");
        EXPECT_NE(out.find(ToHex(h.gtk)), std::string::npos) << "AKM " << int(akm) << "\n" << out;
    }
}

TEST(FourWayHandshake, TsharkDecryptsAnSaeHandshakeFromThePmk)
{
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    const Bytes ssid = Str("QuazelNet");
    auto sta = sae::Session::Create(sae::PasswordElement::HashToElement, "correct horse battery", ssid, kSta, kAp);
    auto ap = sae::Session::Create(sae::PasswordElement::HashToElement, "correct horse battery", ssid, kAp, kSta);
    ASSERT_TRUE(sta && ap && sta->MakeCommit() && ap->MakeCommit());
    ASSERT_TRUE(sta->ProcessPeerCommit(ap->Scalar(), ap->Element()));
    ASSERT_TRUE(ap->ProcessPeerCommit(sta->Scalar(), sta->Element()));
    ASSERT_EQ(sta->Pmk(), ap->Pmk());
    // AKM 8: the key descriptor version is 0 and the AKM comes from the association request.
    const Handshake h = RunFourWay(Akm::Sae, sta->Pmk(), 0, ssid);
    const std::string out = Tshark("sae_fourway", h.frames,
                                   "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-psk\",\"" + ToHex(sta->Pmk()) +
                                       "\"' -T fields -e wlan.rsn.ie.gtk_kde.gtk");
    EXPECT_NE(out.find(ToHex(h.gtk)), std::string::npos) << out;
}

// ---- SAE -----------------------------------------------------------------------------------------------------------

// The simplified SWU map of P-256 with z = -10 is the one of the hash-to-curve suite
// P256_XMD:SHA-256_SSWU_RO_; its published values for the message "" and "abc" (u and Q = map(u)).
TEST(Sae, MapToCurveAgreesWithTheHashToCurveVectors)
{
    struct {
        const char* u;
        const char* x;
        const char* y;
    } rows[] = {
        {"ad5342c66a6dd0ff080df1da0ea1c04b96e0330dd89406465eeba11582515009",
         "ab640a12220d3ff283510ff3f4b1953d09fad35795140b1c5d64f313967934d5",
         "dccb558863804a881d4fff3455716c836cef230e5209594ddd33d85c565b19b1"},
        {"8c0f1d43204bd6f6ea70ae8013070a1518b43873bcd850aafa0a9e220e2eea5a",
         "51cce63c50d972a6e51c61334f0f4875c9ac1cd2d3238412f84e31da7d980ef5",
         "b45d1a36d00ad90e5ec7840a60a4de411917fbe7c82c3949a6e699e5a1b66aac"},
        {"afe47f2ea2b10465cc26ac403194dfb68b7f5ee865cda61e9f3e07a537220af1",
         "5219ad0ddef3cc49b714145e91b2f7de6ce0a7a7dc7406c7726c7e373c58cb48",
         "7950144e52d30acbec7b624c203b1996c99617d0b61c2442354301b191d93ecf"},
    };
    for (const auto& row : rows) {
        const auto q = sae::MapToCurve(Hex(row.u));
        ASSERT_TRUE(q) << row.u;
        EXPECT_EQ(ToHex(*q), std::string(row.x) + row.y) << row.u;
    }
    // u = 0 takes the exceptional branch (x1 = b / (z a)) and still lands on the curve.
    const auto zero = sae::MapToCurve(Bytes(32, 0));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->size(), 64u);
    EXPECT_FALSE(sae::MapToCurve(Bytes(31, 1)));
    EXPECT_FALSE(sae::MapToCurve(Bytes(32, 0xff)));  // not below p
}

// The SAE hash-to-element example of IEEE 802.11 (group 19): SSID "byteme", password
// "mekmitasdigoat", identifier "psk4internet" give PT; PT and the addresses 00:09:5b:66:ec:1e and
// 00:0b:6b:d9:02:46 give the password element, whichever side computes it.
TEST(Sae, HashToElementIeeeExample)
{
    const Bytes ssid = {'b', 'y', 't', 'e', 'm', 'e'};
    const auto pt = sae::DerivePt(ssid, "mekmitasdigoat", "psk4internet");
    ASSERT_TRUE(pt);
    EXPECT_EQ(ToHex(*pt),
              "b6e38c98750c684b5d17c3d8c9a4100b39931279187ca6cced5f37ef46ddfa97"
              "5687e972e50f73e3898861e7edad21bea7d5f622df88243bb804920ae8e647fa");
    const MacAddress a = {0x00, 0x09, 0x5b, 0x66, 0xec, 0x1e};
    const MacAddress b = {0x00, 0x0b, 0x6b, 0xd9, 0x02, 0x46};
    const std::string pwe = "c93049b9e64000f848201649e999f2b5c22dea69b5632c9df4d633b8aa1f6c1e"
                            "73634e94b53d82e7383a8d258199d9dc1a5ee8269d060382ccbf33e614ff59a0";
    for (const auto& [own, peer] : {std::pair{a, b}, std::pair{b, a}}) {
        const auto fromPt = sae::Session::CreateFromPt(*pt, own, peer);
        ASSERT_TRUE(fromPt);
        EXPECT_EQ(ToHex(fromPt->Pwe()), pwe);
        const auto direct = sae::Session::Create(sae::PasswordElement::HashToElement, "mekmitasdigoat", ssid, own,
                                                 peer, "psk4internet");
        ASSERT_TRUE(direct);
        EXPECT_EQ(ToHex(direct->Pwe()), pwe);
    }
    // Without the identifier the base is another point.
    const auto withoutId = sae::DerivePt(ssid, "mekmitasdigoat");
    ASSERT_TRUE(withoutId);
    EXPECT_NE(*withoutId, *pt);
}

struct SaePair {
    std::unique_ptr<sae::Session> sta, ap;
};

SaePair MakePair(sae::PasswordElement method, const std::string& staPassword, const std::string& apPassword,
                 const std::string& identifier = {})
{
    const Bytes ssid = Str("byteme");
    SaePair p;
    p.sta = sae::Session::Create(method, staPassword, ssid, kSta, kAp, identifier);
    p.ap = sae::Session::Create(method, apPassword, ssid, kAp, kSta, identifier);
    return p;
}

TEST(Sae, BothDerivationsAgreeEndToEnd)
{
    for (auto method : {sae::PasswordElement::HuntingAndPecking, sae::PasswordElement::HashToElement}) {
        for (const std::string identifier : {"", "psk4internet"}) {
            SaePair p = MakePair(method, "mekmitasdigoat", "mekmitasdigoat", identifier);
            ASSERT_TRUE(p.sta && p.ap);
            EXPECT_EQ(p.sta->Pwe(), p.ap->Pwe());  // the element depends on the pair of addresses, not on the side
            ASSERT_TRUE(p.sta->MakeCommit());
            ASSERT_TRUE(p.ap->MakeCommit());
            EXPECT_EQ(p.sta->Scalar().size(), 32u);
            EXPECT_EQ(p.sta->Element().size(), 64u);
            ASSERT_TRUE(p.sta->ProcessPeerCommit(p.ap->Scalar(), p.ap->Element()));
            ASSERT_TRUE(p.ap->ProcessPeerCommit(p.sta->Scalar(), p.sta->Element()));
            EXPECT_EQ(p.sta->Kck(), p.ap->Kck());
            EXPECT_EQ(p.sta->Pmk(), p.ap->Pmk());
            EXPECT_EQ(p.sta->Pmkid(), p.ap->Pmkid());
            EXPECT_EQ(p.sta->Pmk().size(), 32u);
            EXPECT_EQ(p.sta->Pmkid().size(), 16u);
            const Bytes staConfirm = p.sta->Confirm(1), apConfirm = p.ap->Confirm(1);
            EXPECT_TRUE(p.ap->CheckPeerConfirm(1, staConfirm));
            EXPECT_TRUE(p.sta->CheckPeerConfirm(1, apConfirm));
            EXPECT_FALSE(p.ap->CheckPeerConfirm(2, staConfirm));  // the send-confirm counter is covered
            EXPECT_FALSE(p.ap->CheckPeerConfirm(1, apConfirm));   // a reflected confirm
        }
    }
    // The two derivations give different elements, and an identifier changes the element.
    EXPECT_NE(MakePair(sae::PasswordElement::HuntingAndPecking, "mekmitasdigoat", "x").sta->Pwe(),
              MakePair(sae::PasswordElement::HashToElement, "mekmitasdigoat", "x").sta->Pwe());
    EXPECT_NE(MakePair(sae::PasswordElement::HashToElement, "mekmitasdigoat", "x").sta->Pwe(),
              MakePair(sae::PasswordElement::HashToElement, "mekmitasdigoat", "x", "id").sta->Pwe());
}

TEST(Sae, AWrongPasswordFailsAtTheConfirm)
{
    for (auto method : {sae::PasswordElement::HuntingAndPecking, sae::PasswordElement::HashToElement}) {
        SaePair p = MakePair(method, "mekmitasdigoat", "mekmitasdigoaT");
        ASSERT_TRUE(p.sta->MakeCommit() && p.ap->MakeCommit());
        // The commits themselves are valid; only the keys differ.
        ASSERT_TRUE(p.sta->ProcessPeerCommit(p.ap->Scalar(), p.ap->Element()));
        ASSERT_TRUE(p.ap->ProcessPeerCommit(p.sta->Scalar(), p.sta->Element()));
        EXPECT_NE(p.sta->Pmk(), p.ap->Pmk());
        EXPECT_FALSE(p.ap->CheckPeerConfirm(1, p.sta->Confirm(1)));
        EXPECT_FALSE(p.sta->CheckPeerConfirm(1, p.ap->Confirm(1)));
    }
}

TEST(Sae, ThePtPathEqualsTheDirectOneAndRejectedGroupsSaltTheKeys)
{
    const auto pt = sae::DerivePt(Str("byteme"), "mekmitasdigoat", "psk4internet");
    ASSERT_TRUE(pt);
    auto fromPt = sae::Session::CreateFromPt(*pt, kSta, kAp);
    auto direct = sae::Session::Create(sae::PasswordElement::HashToElement, "mekmitasdigoat", Str("byteme"), kSta, kAp,
                                       "psk4internet");
    ASSERT_TRUE(fromPt && direct);
    EXPECT_EQ(fromPt->Pwe(), direct->Pwe());
    SaePair p = MakePair(sae::PasswordElement::HashToElement, "pw", "pw");
    ASSERT_TRUE(p.sta->MakeCommit() && p.ap->MakeCommit());
    const Bytes rejected = Hex("1400 1500");  // groups 20 and 21
    ASSERT_TRUE(p.sta->ProcessPeerCommit(p.ap->Scalar(), p.ap->Element(), rejected));
    ASSERT_TRUE(p.ap->ProcessPeerCommit(p.sta->Scalar(), p.sta->Element(), rejected));
    EXPECT_EQ(p.sta->Pmk(), p.ap->Pmk());
    const Bytes salted = p.sta->Pmk();
    ASSERT_TRUE(p.sta->ProcessPeerCommit(p.ap->Scalar(), p.ap->Element()));
    EXPECT_NE(p.sta->Pmk(), salted);
    EXPECT_FALSE(sae::DerivePt(Bytes{}, "pw"));
    EXPECT_FALSE(sae::DerivePt(Bytes(33, 'a'), "pw"));
    EXPECT_FALSE(sae::Session::CreateFromPt(Bytes(64, 0), kSta, kAp));  // not a point
    EXPECT_FALSE(sae::Session::Create(sae::PasswordElement::HashToElement, "", Str("x"), kSta, kAp));
    EXPECT_FALSE(sae::Session::Create(sae::PasswordElement::HuntingAndPecking, "pw", Str("x"), kSta, kSta));
}

TEST(Sae, FixedRandAndMaskGiveTheirScalarAndElement)
{
    SaePair p = MakePair(sae::PasswordElement::HuntingAndPecking, "mekmitasdigoat", "mekmitasdigoat");
    const Bytes rand = Hex("a906f61e4d3a5d4eb2965ff34cf917dd044445c878c17ca5d5b93786da9f83cf");
    const Bytes mask = Hex("4234b4fb17aa435c52fbfdebe64039b43478200e54ff7b6e07b69cad74153c15");
    ASSERT_TRUE(p.sta->MakeCommit(&rand, &mask));
    // scalar = rand + mask (below the order here, so no reduction).
    BIGNUM* r = BN_bin2bn(rand.data(), 32, nullptr);
    BIGNUM* m = BN_bin2bn(mask.data(), 32, nullptr);
    BN_add(r, r, m);
    Bytes sum(32);
    BN_bn2binpad(r, sum.data(), 32);
    BN_free(r);
    BN_free(m);
    EXPECT_EQ(p.sta->Scalar(), sum);
    // The same numbers give the same commit again.
    const Bytes element = p.sta->Element();
    ASSERT_TRUE(p.sta->MakeCommit(&rand, &mask));
    EXPECT_EQ(p.sta->Element(), element);
    // Unusable numbers: 0, 1, the order and above.
    const Bytes order = Hex("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");
    for (const Bytes& bad : {Bytes(32, 0), Hex("0000000000000000000000000000000000000000000000000000000000000001"), order,
                             Bytes(32, 0xff)}) {
        EXPECT_FALSE(p.sta->MakeCommit(&bad, &mask));
        EXPECT_FALSE(p.sta->MakeCommit(&rand, &bad));
    }
}

TEST(Sae, APeersCommitIsChecked)
{
    SaePair p = MakePair(sae::PasswordElement::HashToElement, "pw", "pw");
    EXPECT_FALSE(p.sta->ProcessPeerCommit(Bytes(32, 2), Bytes(64, 2)));  // no own commit yet
    ASSERT_TRUE(p.sta->MakeCommit() && p.ap->MakeCommit());
    const Bytes order = Hex("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");
    Bytes offCurve = p.ap->Element();
    offCurve[63] ^= 1;
    Bytes xTooBig = p.ap->Element();
    std::fill(xTooBig.begin(), xTooBig.begin() + 32, 0xff);
    struct {
        const char* what;
        Bytes scalar, element;
    } rows[] = {
        {"scalar 0", Bytes(32, 0), p.ap->Element()},
        {"scalar 1", Hex("0000000000000000000000000000000000000000000000000000000000000001"), p.ap->Element()},
        {"scalar r", order, p.ap->Element()},
        {"scalar above r", Bytes(32, 0xff), p.ap->Element()},
        {"short scalar", Bytes(31, 2), p.ap->Element()},
        {"element off the curve", p.ap->Scalar(), offCurve},
        {"coordinate not below p", p.ap->Scalar(), xTooBig},
        {"short element", p.ap->Scalar(), Bytes(p.ap->Element().begin(), p.ap->Element().end() - 1)},
        {"own commit reflected", p.sta->Scalar(), p.sta->Element()},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(p.sta->ProcessPeerCommit(row.scalar, row.element)) << row.what;
    }
    EXPECT_TRUE(p.sta->ProcessPeerCommit(p.ap->Scalar(), p.ap->Element()));
}

TEST(SaeFrames, CommitAndConfirmBodies)
{
    sae::Commit c;
    c.scalar = Bytes(32, 0x11);
    c.element = Bytes(64, 0x22);
    // Without hash-to-element, without and with a token.
    EXPECT_EQ(sae::BuildCommit(c, false), Cat({Hex("1300"), c.scalar, c.element}));
    c.token = Bytes(32, 0x33);
    const Bytes withToken = sae::BuildCommit(c, false);
    EXPECT_EQ(withToken, Cat({Hex("1300"), c.token, c.scalar, c.element}));
    auto parsed = sae::ParseCommit(withToken, false, 32);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->token, c.token);
    EXPECT_EQ(parsed->scalar, c.scalar);
    EXPECT_EQ(parsed->element, c.element);
    // With hash-to-element: password identifier, rejected groups, then the token container.
    c.passwordIdentifier = Str("psk4internet");
    c.rejectedGroups = {20, 21};
    const Bytes h2e = sae::BuildCommit(c, true);
    EXPECT_EQ(h2e, Cat({Hex("1300"), c.scalar, c.element, Hex("ff0d21"), c.passwordIdentifier, Hex("ff055c14001500"),
                        Hex("ff215d"), c.token}));
    parsed = sae::ParseCommit(h2e, true, 32);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->passwordIdentifier, c.passwordIdentifier);
    EXPECT_EQ(parsed->rejectedGroups, (std::vector<uint16_t>{20, 21}));
    EXPECT_EQ(parsed->token, c.token);
    struct {
        const char* what;
        Bytes body;
        bool h2e;
        size_t token;
    } bad[] = {
        {"group 20", Cat({Hex("1400"), c.scalar, c.element}), false, 0},
        {"cut element", Cat({Hex("1300"), c.scalar, Bytes(63, 0x22)}), false, 0},
        {"token shorter than expected", Cat({Hex("1300"), Bytes(16, 0x33), c.scalar, c.element}), false, 32},
        {"trailing garbage", Cat({Hex("1300"), c.scalar, c.element, Hex("01")}), true, 0},
        {"element length past the end", Cat({Hex("1300"), c.scalar, c.element, Hex("ff1021 6162")}), true, 0},
        {"unknown extension", Cat({Hex("1300"), c.scalar, c.element, Hex("ff0263 00")}), true, 0},
        {"odd rejected groups", Cat({Hex("1300"), c.scalar, c.element, Hex("ff025c 14")}), true, 0},
        {"container where none was asked for", h2e, true, 0},
        {"no container where one was asked for", Cat({Hex("1300"), c.scalar, c.element}), true, 32},
        {"container without hash-to-element", Cat({Hex("1300"), c.scalar, c.element, Hex("ff025d 00")}), false, 0},
        {"empty", Bytes{}, false, 0},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(sae::ParseCommit(b.body, b.h2e, b.token)) << b.what;
    }
    // Confirm: send-confirm little-endian, then 32 bytes.
    const Bytes confirm = sae::BuildConfirm(0x0102, Bytes(32, 0x44));
    EXPECT_EQ(Bytes(confirm.begin(), confirm.begin() + 2), Hex("0201"));
    const auto back = sae::ParseConfirm(confirm);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->first, 0x0102);
    EXPECT_FALSE(sae::ParseConfirm(Bytes(33)));
    EXPECT_FALSE(sae::ParseConfirm(Bytes(35)));
}

TEST(SaeFrames, AntiCloggingTokens)
{
    const Bytes secret = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes token = sae::MakeAntiCloggingToken(secret, kSta);
    EXPECT_EQ(token.size(), 32u);
    EXPECT_TRUE(sae::CheckAntiCloggingToken(secret, kSta, token));
    EXPECT_FALSE(sae::CheckAntiCloggingToken(secret, kAp, token));
    EXPECT_FALSE(sae::CheckAntiCloggingToken(secret, kSta, Bytes(token.begin(), token.end() - 1)));
    for (bool h2e : {false, true}) {
        const Bytes request = sae::BuildAntiCloggingRequest(sae::kGroup19, token, h2e);
        EXPECT_EQ(sae::ParseAntiCloggingRequest(request, h2e).value_or(Bytes{}), token);
        // The supplicant's next commit carries it, and the authenticator finds and checks it.
        SaePair p = MakePair(sae::PasswordElement::HashToElement, "pw", "pw");
        ASSERT_TRUE(p.sta->MakeCommit());
        sae::Commit c;
        c.token = *sae::ParseAntiCloggingRequest(request, h2e);
        c.scalar = p.sta->Scalar();
        c.element = p.sta->Element();
        const auto got = sae::ParseCommit(sae::BuildCommit(c, h2e), h2e, token.size());
        ASSERT_TRUE(got);
        EXPECT_TRUE(sae::CheckAntiCloggingToken(secret, kSta, got->token));
    }
    EXPECT_FALSE(sae::ParseAntiCloggingRequest(Hex("1300"), false));
    EXPECT_FALSE(sae::ParseAntiCloggingRequest(Hex("1300 ff205d 00"), true));  // container length past the end
    EXPECT_FALSE(sae::ParseAntiCloggingRequest(Hex("1300 ff025c 00"), true));  // not a container
}

TEST(SaeFrames, TsharkDecodesCommitAndConfirm)
{
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    SaePair p = MakePair(sae::PasswordElement::HashToElement, "pw", "pw");
    ASSERT_TRUE(p.sta->MakeCommit() && p.ap->MakeCommit());
    ASSERT_TRUE(p.sta->ProcessPeerCommit(p.ap->Scalar(), p.ap->Element()));
    const Bytes ap(kAp.begin(), kAp.end()), sta(kSta.begin(), kSta.end());
    const Bytes header = Cat({Hex("b000 0000"), ap, sta, ap, Hex("1000")});
    sae::Commit c;
    c.scalar = p.sta->Scalar();
    c.element = p.sta->Element();
    c.rejectedGroups = {20};
    c.token = Bytes(32, 0x5a);
    // Commit (algorithm 3, sequence 1, status 126 for hash-to-element), then confirm (sequence 2).
    const Bytes commit = Cat({header, Hex("0300 0100 7e00"), sae::BuildCommit(c, true)});
    const Bytes confirm = Cat({header, Hex("0300 0200 0000"), sae::BuildConfirm(1, p.sta->Confirm(1))});
    const std::string out = Tshark("sae", {commit, confirm},
                                   "-T fields -E separator=, -e wlan.fixed.finite_cyclic_group -e wlan.fixed.scalar "
                                   "-e wlan.fixed.finite_field_element -e wlan.ext_tag.rejected_groups.group "
                                   "-e wlan.ext_tag.sae.anti_clogging_token -e wlan.fixed.send_confirm -e wlan.fixed.confirm "
                                   "-e _ws.malformed");
    EXPECT_EQ(out, "19," + ToHex(c.scalar) + "," + ToHex(c.element) + ",20," + ToHex(c.token) + ",,,\n" + ",,,,,1," +
                       ToHex(p.sta->Confirm(1)) + ",\n")
        << out;
}

}  // namespace
}  // namespace security
