// The chip's frame protection with the keys the host installed: the cipher primitives against the
// published NIST vectors (CCM with an 8-byte MIC and a 13-byte nonce as CCMP-128 uses it, GCM-256
// with a 96-bit IV and a 128-bit tag as GCMP-256 uses it, AES-CMAC under BIP-CMAC-128), then the
// firmware's key table: a frame the chip protects opens at the access point with the same key and
// with no other, a frame the access point protects is decrypted once and its replay dropped, group
// frames by their key id, BIP-CMAC-128 on group-addressed deauthentication, and the add-key-done
// answer of both command formats.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "air/ap_rsn_cipher.h"
#include "fw/frame_cipher.h"
#include "fw/unified_cmd.h"
#include "kshim/host/wpa_crypto.h"
#include "vectors.h"

namespace security {
namespace {

namespace rsn = sim::air::rsn;
using sim::air::Mac;
using sim::fw::FrameCipher;

// ---- the primitives -----------------------------------------------------------------------------------

TEST(CipherPrimitives, CcmWithAnEightByteMicAgreesWithNistVtt)
{
    std::vector<VectorRecord> records;
    READ_VECTORS_OR_SKIP("ciphers/AES/CCM/VTT128.rsp", &records, [](const auto& s) {
        auto t = s.find("Tlen");
        return t != s.end() && t->second == "8";
    });
    Bytes key, nonce;
    size_t checked = 0;
    for (const VectorRecord& r : records) {
        if (r.count("Tlen") == 0 || r.at("Tlen") != "8") {
            continue;
        }
        if (r.count("Key") != 0 && r.count("Count") == 0) {
            key = Hex(r.at("Key"));  // the key and nonce of the section's records
            nonce = Hex(r.at("Nonce"));
            continue;
        }
        SCOPED_TRACE("count " + r.at("Count"));
        ASSERT_EQ(nonce.size(), 13u);
        const Bytes aad = Hex(r.at("Adata"));
        const Bytes plain = Hex(r.at("Payload"));
        const Bytes ct = Hex(r.at("CT"));
        EXPECT_EQ(rsn::Seal(rsn::Cipher::Ccmp128, key, nonce, aad, plain), ct);
        EXPECT_EQ(rsn::Open(rsn::Cipher::Ccmp128, key, nonce, aad, ct), plain);
        Bytes bad = ct;
        bad[bad.size() - 1] ^= 1;
        EXPECT_FALSE(rsn::Open(rsn::Cipher::Ccmp128, key, nonce, aad, bad).has_value());
        Bytes badAad = aad;
        badAad[0] ^= 0x80;
        EXPECT_FALSE(rsn::Open(rsn::Cipher::Ccmp128, key, nonce, badAad, ct).has_value());
        ++checked;
    }
    EXPECT_EQ(checked, 10u);
}

auto Gcm96And128 = [](const std::map<std::string, std::string>& s) {
    auto iv = s.find("IVlen");
    auto tag = s.find("Taglen");
    return iv != s.end() && iv->second == "96" && (tag == s.end() || tag->second == "128");
};

TEST(CipherPrimitives, Gcm256AgreesWithNistEncryptAndDecryptFiles)
{
    std::vector<VectorRecord> enc;
    READ_VECTORS_OR_SKIP("ciphers/AES/GCM/gcmEncryptExtIV256.rsp", &enc, Gcm96And128);
    size_t sealed = 0;
    for (const VectorRecord& r : enc) {
        if (r.count("Key") == 0 || r.at("Taglen") != "128") {
            continue;
        }
        const Bytes key = Hex(r.at("Key"));
        const Bytes iv = Hex(r.at("IV"));
        const Bytes aad = Hex(r.at("AAD"));
        const Bytes expected = Cat({Hex(r.at("CT")), Hex(r.at("Tag"))});
        EXPECT_EQ(rsn::Seal(rsn::Cipher::Gcmp256, key, iv, aad, Hex(r.at("PT"))), expected) << r.at("Count");
        ++sealed;
    }
    EXPECT_GT(sealed, 100u);

    std::vector<VectorRecord> dec;
    READ_VECTORS_OR_SKIP("ciphers/AES/GCM/gcmDecrypt256.rsp", &dec, Gcm96And128);
    size_t passed = 0, failed = 0;
    for (const VectorRecord& r : dec) {
        if (r.count("Key") == 0 || r.at("Taglen") != "128") {
            continue;
        }
        const auto open = rsn::Open(rsn::Cipher::Gcmp256, Hex(r.at("Key")), Hex(r.at("IV")), Hex(r.at("AAD")),
                                    Cat({Hex(r.at("CT")), Hex(r.at("Tag"))}));
        if (r.count("FAIL") != 0) {
            EXPECT_FALSE(open.has_value()) << r.at("Count");
            ++failed;
        } else {
            EXPECT_EQ(open, Hex(r.at("PT"))) << r.at("Count");
            ++passed;
        }
    }
    EXPECT_GT(passed, 0u);
    EXPECT_GT(failed, 0u);
}

TEST(CipherPrimitives, AesCmacAgreesWithNist80038b)
{
    std::vector<VectorRecord> records;
    READ_VECTORS_OR_SKIP("CMAC/nist-800-38b-aes128.txt", &records);
    ASSERT_EQ(records.size(), 4u);
    for (const VectorRecord& r : records) {
        const auto mac = kshim::host::wpa::AesCmac(Hex(r.at("KEY")), Hex(r.count("MESSAGE") ? r.at("MESSAGE") : ""));
        EXPECT_EQ(mac, Hex(r.at("OUTPUT"))) << r.at("COUNT");
    }
}

TEST(CipherPrimitives, WrongKeyAndNonceLengthsAndIntegrityCiphersAreRefused)
{
    const Bytes nonce13(13, 1), nonce12(12, 1), plain(20, 7);
    EXPECT_FALSE(rsn::Seal(rsn::Cipher::Ccmp128, Bytes(15, 0), nonce13, {}, plain).has_value());
    EXPECT_FALSE(rsn::Seal(rsn::Cipher::Ccmp128, Bytes(16, 0), nonce12, {}, plain).has_value());
    EXPECT_FALSE(rsn::Seal(rsn::Cipher::Gcmp256, Bytes(16, 0), nonce12, {}, plain).has_value());
    EXPECT_FALSE(rsn::Seal(rsn::Cipher::Gcmp256, Bytes(32, 0), nonce13, {}, plain).has_value());
    EXPECT_FALSE(rsn::Seal(rsn::Cipher::BipCmac128, Bytes(16, 0), nonce13, {}, plain).has_value());
    EXPECT_FALSE(rsn::Open(rsn::Cipher::Ccmp128, Bytes(16, 0), nonce13, {}, Bytes(7, 0)).has_value())
        << "shorter than the MIC";
}

// ---- the firmware's keys -------------------------------------------------------------------------------

const Mac kAp{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const Mac kSta{0x00, 0x0C, 0x43, 0x35, 0x02, 0x01};
const Mac kRemote{0x02, 0xB0, 0x00, 0x00, 0x00, 0x02};
constexpr uint8_t kApIndex = 1;     // the access point's station entry
constexpr uint8_t kGroupIndex = 0;  // the group entry

// The key command's 64 bytes.
Bytes KeyPayload(bool add, bool pairwise, const Mac& peer, uint8_t cipher, uint8_t index, const Bytes& key, uint8_t wlan)
{
    Bytes p(64, 0);
    p[0] = add ? 1 : 0;
    p[1] = p[2] = pairwise ? 1 : 0;
    std::copy(peer.begin(), peer.end(), p.begin() + 4);
    p[10] = 0;
    p[11] = cipher;
    p[12] = index;
    p[13] = static_cast<uint8_t>(key.size());
    p[14] = wlan;
    std::copy(key.begin(), key.end(), p.begin() + 16);
    return p;
}

sim::fw::LegacyCommand Legacy(uint8_t id, Bytes payload)
{
    sim::fw::LegacyCommand c;
    c.cmdId = id;
    c.payload = std::move(payload);
    return c;
}

std::array<uint8_t, 32> Txd(uint8_t wlan)
{
    std::array<uint8_t, 32> d{};
    d[4] = wlan;
    return d;
}

void Put(Bytes& f, size_t at, const Mac& m) { std::copy(m.begin(), m.end(), f.begin() + static_cast<long>(at)); }

// A QoS data frame: to the access point (To-DS, Protected bit set as the host writes it) or from
// it (From-DS, plain), with TID `tid` and a body that carries `n`.
Bytes QosData(bool up, uint8_t tid, uint8_t n)
{
    Bytes f(26, 0);
    f[0] = 0x88;
    f[1] = up ? 0x41 : 0x02;
    Put(f, 4, up ? kAp : kSta);
    Put(f, 10, up ? kSta : kAp);
    Put(f, 16, kRemote);
    f[24] = tid;
    const Bytes body = Cat({Hex("aaaa03000000 0800"), Bytes(30, n)});
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

Bytes Flipped(Bytes b, size_t at)
{
    b[at] ^= 1;
    return b;
}

struct CipherCase {
    const char* name;
    uint8_t fwCipher;
    rsn::Cipher cipher;
    size_t keyLength;
    size_t added;  // bytes protection adds: cipher header and MIC
};

class FwCipher : public ::testing::TestWithParam<CipherCase> {
protected:
    void InstallPairwise()
    {
        auto done = chip_.Take(Legacy(0x07, KeyPayload(true, true, kAp, GetParam().fwCipher, 0, tk_, kApIndex)));
        ASSERT_TRUE(done.has_value()) << "a pairwise key add is answered";
        EXPECT_EQ(done->peer, kAp);
        EXPECT_EQ(FrameCipher::AddKeyDoneBody(*done), Cat({Bytes{0, 0}, Bytes(kAp.begin(), kAp.end())}));
    }
    // The access point's side: the frame protected with its key and packet number.
    Bytes FromAp(uint8_t tid, uint8_t n, uint64_t pn, const Bytes* key = nullptr)
    {
        return *rsn::Protect(GetParam().cipher, key ? *key : tk_, 0, pn, QosData(false, tid, n));
    }
    bool In(Bytes* f, sim::chip::RxdFields* fields = nullptr)
    {
        sim::chip::RxdFields scratch;
        return chip_.Incoming(f, fields ? fields : &scratch);
    }

    Bytes tk_ = [] {
        Bytes k(GetParam().keyLength);
        for (size_t i = 0; i < k.size(); ++i) {
            k[i] = static_cast<uint8_t>(0x40 + i);
        }
        return k;
    }();
    FrameCipher chip_;
};

TEST_P(FwCipher, AFrameTheChipProtectsOpensAtTheAccessPointWithTheSameKeyOnly)
{
    ASSERT_NO_FATAL_FAILURE(InstallPairwise());
    for (uint64_t pn = 1; pn <= 2; ++pn) {
        const Bytes plain = QosData(true, 0, static_cast<uint8_t>(pn));
        Bytes air = plain;
        ASSERT_TRUE(chip_.Outgoing(Txd(kApIndex).data(), &air));
        ASSERT_EQ(air.size(), plain.size() + GetParam().added);
        const auto open = rsn::Unprotect(GetParam().cipher, tk_, air);
        ASSERT_TRUE(open.has_value());
        EXPECT_EQ(open->pn, pn) << "packet numbers count from 1";
        EXPECT_EQ(open->keyId, 0);
        Bytes expected = plain;
        expected[1] &= ~0x40;
        EXPECT_EQ(open->frame, expected);
        EXPECT_FALSE(rsn::Unprotect(GetParam().cipher, Flipped(tk_, 3), air).has_value()) << "another key";
    }
    // No key for the descriptor's station: the frame does not go.
    Bytes other = QosData(true, 0, 9);
    EXPECT_FALSE(chip_.Outgoing(Txd(5).data(), &other));
    // A frame without the Protected bit goes as it is.
    Bytes open = QosData(true, 0, 9);
    open[1] = 0x01;
    const Bytes before = open;
    EXPECT_TRUE(chip_.Outgoing(Txd(kApIndex).data(), &open));
    EXPECT_EQ(open, before);
    const auto r = chip_.Record();
    EXPECT_EQ(r.protectedOut, 2u);
    EXPECT_EQ(r.notSent, 1u);
}

TEST_P(FwCipher, AFrameTheAccessPointProtectsIsDecryptedOnceAndReplaysAreDropped)
{
    ASSERT_NO_FATAL_FAILURE(InstallPairwise());
    Bytes f = FromAp(0, 1, 5);
    sim::chip::RxdFields fields;
    ASSERT_TRUE(In(&f, &fields));
    Bytes expected = QosData(false, 0, 1);
    expected[1] |= 0x40;  // decrypted, the Protected bit stays
    EXPECT_EQ(f, expected);
    ASSERT_TRUE(fields.packetNumber.has_value());
    EXPECT_EQ(*fields.packetNumber, (std::array<uint8_t, 6>{5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fields.keyIndex, 0);
    EXPECT_EQ(fields.securityMode, GetParam().fwCipher);

    struct Step {
        uint8_t tid;
        uint64_t pn;
        bool taken;
    };
    // The same number again, a lower one, a higher one; another TID counts on its own.
    for (const Step& s : {Step{0, 5, false}, Step{0, 4, false}, Step{0, 6, true}, Step{3, 2, true}, Step{3, 2, false}}) {
        Bytes g = FromAp(s.tid, 2, s.pn);
        EXPECT_EQ(In(&g), s.taken) << "TID " << int(s.tid) << " PN " << s.pn;
    }
    Bytes tampered = Flipped(FromAp(0, 3, 7), 40);
    EXPECT_FALSE(In(&tampered));
    const Bytes wrong = Flipped(tk_, 0);
    Bytes otherKey = FromAp(0, 3, 8, &wrong);
    EXPECT_FALSE(In(&otherKey));
    auto r = chip_.Record();
    EXPECT_EQ(r.decrypted, 3u);
    EXPECT_EQ(r.replays, 3u);
    EXPECT_EQ(r.micFailures, 2u);

    // Removed: nothing opens any more; a plain frame still passes (the host decides on it).
    EXPECT_FALSE(chip_.Take(Legacy(0x07, KeyPayload(false, true, kAp, GetParam().fwCipher, 0, {}, kApIndex))));
    Bytes later = FromAp(0, 4, 9);
    EXPECT_FALSE(In(&later));
    Bytes plain = QosData(false, 0, 4);
    EXPECT_TRUE(In(&plain));
    r = chip_.Record();
    EXPECT_EQ(r.keysRemoved, 1u);
    EXPECT_EQ(r.noKey, 1u);
}

TEST_P(FwCipher, GroupFramesGoByTheirKeyIdAndTheDefaultKey)
{
    // Group keys 1 and 2 of the BSS (the peer is the BSSID); key 2 is the default.
    const Bytes gtk1 = Flipped(tk_, 1), gtk2 = Flipped(tk_, 2);
    EXPECT_FALSE(chip_.Take(Legacy(0x07, KeyPayload(true, false, kAp, GetParam().fwCipher, 1, gtk1, kGroupIndex))));
    EXPECT_FALSE(chip_.Take(Legacy(0x07, KeyPayload(true, false, kAp, GetParam().fwCipher, 2, gtk2, kGroupIndex))));
    for (uint8_t id : {1, 2}) {
        Bytes down = QosData(false, 0, id);
        Put(down, 4, sim::air::kBroadcast);
        Bytes f = *rsn::Protect(GetParam().cipher, id == 1 ? gtk1 : gtk2, id, 1, down);
        sim::chip::RxdFields fields;
        ASSERT_TRUE(In(&f, &fields)) << int(id);
        EXPECT_EQ(fields.keyIndex, id);
    }
    Bytes unknownId = QosData(false, 0, 3);
    Put(unknownId, 4, sim::air::kBroadcast);
    unknownId = *rsn::Protect(GetParam().cipher, gtk1, 3, 2, unknownId);
    EXPECT_FALSE(In(&unknownId));

    // Sending to the group: under the default key.
    ASSERT_FALSE(chip_.Take(Legacy(0x08, {0, 2, kGroupIndex, 1})));
    Bytes up = QosData(true, 0, 5);
    Put(up, 4, sim::air::kBroadcast);
    ASSERT_TRUE(chip_.Outgoing(Txd(kGroupIndex).data(), &up));
    EXPECT_EQ(rsn::ProtectedKeyId(up), 2);
    EXPECT_TRUE(rsn::Unprotect(GetParam().cipher, gtk2, up).has_value());
}

INSTANTIATE_TEST_SUITE_P(Ciphers, FwCipher,
                         ::testing::Values(CipherCase{"ccmp128", 4, rsn::Cipher::Ccmp128, 16, 16},
                                           CipherCase{"gcmp256", 12, rsn::Cipher::Gcmp256, 32, 24}),
                         [](const auto& info) { return std::string(info.param.name); });

Bytes BroadcastDeauth(uint8_t reason)
{
    Bytes f(26, 0);
    f[0] = 0xC0;
    Put(f, 4, sim::air::kBroadcast);
    Put(f, 10, kAp);
    Put(f, 16, kAp);
    f[24] = reason;
    return f;
}

TEST(FwCipherBip, CmacGuardsGroupAddressedDeauthenticationAndGmacIsLeftToTheHost)
{
    FrameCipher chip;
    const Bytes igtk(16, 0x5A);
    EXPECT_FALSE(chip.Take(Legacy(0x07, KeyPayload(true, false, kAp, 6, 4, igtk, kGroupIndex))));
    auto in = [&chip](Bytes f) {
        sim::chip::RxdFields fields;
        return chip.Incoming(&f, &fields);
    };
    const Bytes signed7 = *rsn::AddMme(rsn::Cipher::BipCmac128, igtk, 4, 7, BroadcastDeauth(3));
    EXPECT_TRUE(in(signed7));
    EXPECT_FALSE(in(signed7)) << "the same integrity number again";
    const Bytes signed9 = *rsn::AddMme(rsn::Cipher::BipCmac128, igtk, 4, 9, BroadcastDeauth(3));
    EXPECT_FALSE(in(Flipped(signed9, 24))) << "reason changed under the MIC";
    EXPECT_TRUE(in(signed9));
    EXPECT_TRUE(in(BroadcastDeauth(7))) << "no MIC element: the host decides";
    auto r = chip.Record();
    EXPECT_EQ(r.bipChecked, 2u);
    EXPECT_EQ(r.bipFailures, 1u);
    EXPECT_EQ(r.replays, 1u);

    // BIP-GMAC-256 comes without key bytes: its frames pass unchecked.
    FrameCipher gmac;
    EXPECT_FALSE(gmac.Take(Legacy(0x07, KeyPayload(true, false, kAp, 17, 4, {}, kGroupIndex))));
    Bytes g = Flipped(*rsn::AddMme(rsn::Cipher::BipGmac256, Bytes(32, 1), 4, 1, BroadcastDeauth(3)), 24);
    sim::chip::RxdFields fields;
    EXPECT_TRUE(gmac.Incoming(&g, &fields));
}

TEST(FwCipherCommands, TheUnifiedStationRecordCarriesTheSameKeyAndShortPayloadsAreCounted)
{
    FrameCipher chip;
    sim::fw::UnifiedCommand c;
    c.cmdId = 0x03;
    c.tlvs.push_back({0x27, KeyPayload(true, true, kAp, 4, 0, Bytes(16, 0x11), kApIndex)});
    auto done = chip.Take(c);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->peer, kAp);
    ASSERT_EQ(chip.Keys().size(), 1u);
    EXPECT_EQ(chip.Keys()[0].command.key, Bytes(16, 0x11));
    EXPECT_EQ(chip.Keys()[0].command.wlanIndex, kApIndex);
    // A group key is not answered; a payload short of 64 bytes is counted and installs nothing.
    c.tlvs[0].value = KeyPayload(true, false, kAp, 4, 1, Bytes(16, 0x22), kGroupIndex);
    EXPECT_FALSE(chip.Take(c).has_value());
    c.tlvs[0].value.resize(63);
    EXPECT_FALSE(chip.Take(c).has_value());
    EXPECT_FALSE(chip.Take(Legacy(0x07, Bytes(20, 1))).has_value());
    EXPECT_EQ(chip.Keys().size(), 2u);
    EXPECT_EQ(chip.Record().malformed, 2u);
    // The chip lost its RAM code: no key is left.
    chip.Clear();
    EXPECT_TRUE(chip.Keys().empty());
}

}  // namespace
}  // namespace security
