// The driver's software WEP: RC4 against the RFC 6229 keystreams Debian ships, CRC-32 against its
// check value and a bitwise reference, a whole shared-key third authentication frame against OpenSSL's RC4 and
// against tshark's WEP decryption, and refusals.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "Common/mlme/mlmewep.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "tshark.h"
#include "vectors.h"

namespace security {
namespace {

// The IEEE 802.3 CRC-32 bit by bit, as a reference independent of the driver's table.
uint32_t BitwiseCrc32(const Bytes& data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) {
            crc = (crc >> 1) ^ ((crc & 1u) != 0 ? 0xEDB88320u : 0u);
        }
    }
    return ~crc;
}

Bytes Rc4Stream(const Bytes& key, size_t length)
{
    WEP_RC4_STATE state{};
    WepRc4Init(&state, key.data(), static_cast<ULONG>(key.size()));
    Bytes zeros(length, 0), out(length);
    WepRc4Crypt(&state, out.data(), zeros.data(), static_cast<ULONG>(length));
    return out;
}

TEST(SoftwareWep, Rc4AgreesWithRfc6229)
{
    size_t checked = 0;
    for (const char* bits : {"40", "56", "64", "80", "128", "192", "256"}) {
        const std::string path = std::string("ciphers/ARC4/rfc-6229-") + bits + ".txt";
        std::vector<VectorRecord> records;
        READ_VECTORS_OR_SKIP(path, &records);
        for (auto& r : records) {
            const Bytes key = Hex(r["KEY"]), expected = Hex(r["CIPHERTEXT"]);
            const size_t offset = std::stoul(r["OFFSET"]);
            const Bytes stream = Rc4Stream(key, offset + expected.size());
            ASSERT_EQ(Bytes(stream.begin() + offset, stream.end()), expected) << path << " COUNT " << r["COUNT"];
            ++checked;
        }
    }
    EXPECT_EQ(checked, 7u * 36u);
    // The 40-bit example, written out.
    EXPECT_EQ(ToHex(Rc4Stream(Hex("0102030405"), 16)), "b2396305f03dc027ccc3524a0a1118a8");
}

TEST(SoftwareWep, Rc4IsAStreamAcrossCalls)
{
    const Bytes key = Hex("0102030405060708090a0b0c0d");
    const Bytes whole = Rc4Stream(key, 300);
    WEP_RC4_STATE state{};
    WepRc4Init(&state, key.data(), static_cast<ULONG>(key.size()));
    Bytes pieces(300, 0);
    for (size_t at = 0; at < 300;) {
        const size_t n = at % 7 + 1 < 300 - at ? at % 7 + 1 : 300 - at;
        WepRc4Crypt(&state, pieces.data() + at, pieces.data() + at, static_cast<ULONG>(n));  // in place
        at += n;
    }
    EXPECT_EQ(pieces, whole);
}

TEST(SoftwareWep, Crc32)
{
    const Bytes check = Str("123456789");
    EXPECT_EQ(WepCrc32Update(0xFFFFFFFFu, check.data(), 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
    std::mt19937 rng(1740);
    for (int i = 0; i < 50; ++i) {
        const Bytes data = Random(rng, rng() % 300);
        ULONG crc = 0xFFFFFFFFu;
        size_t at = 0;
        while (at < data.size()) {  // in pieces, as WepEncryptData feeds it
            const size_t n = std::min<size_t>(data.size() - at, 1 + rng() % 40);
            crc = WepCrc32Update(crc, data.data() + at, static_cast<ULONG>(n));
            at += n;
        }
        ASSERT_EQ(crc ^ 0xFFFFFFFFu, BitwiseCrc32(data)) << i;
    }
    EXPECT_EQ(WepCrc32Update(0x12345678u, nullptr, 10), 0x12345678u);
}

// OpenSSL's RC4 (in its legacy provider) decrypting an encrypted body with the IV-and-key.
Bytes OpenSslRc4(const Bytes& key, const Bytes& data)
{
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* deflt = OSSL_PROVIDER_load(nullptr, "default");
    (void)deflt;
    if (legacy == nullptr) {
        return {};
    }
    EVP_CIPHER* rc4 = EVP_CIPHER_fetch(nullptr, "RC4", "provider=legacy");
    if (rc4 == nullptr) {
        return {};
    }
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex2(ctx, rc4, nullptr, nullptr, 0, nullptr);
    EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size()));
    EVP_CipherInit_ex2(ctx, nullptr, key.data(), nullptr, 0, nullptr);
    Bytes out(data.size());
    int n = 0;
    EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(rc4);
    return out;
}

class WepPacket : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
    }
    void TearDown() override { kshim::host::ResetDefaults(); }

    // The body of a third shared-key authentication frame: algorithm 1, sequence 3, status 0 and
    // the challenge text element.
    static Bytes AuthBody(const Bytes& challenge)
    {
        Bytes body{1, 0, 3, 0, 0, 0, 16, static_cast<uint8_t>(challenge.size())};
        body.insert(body.end(), challenge.begin(), challenge.end());
        return body;
    }

    // Encrypts body in the given pieces: the IV header, the ciphertext and the ICV.
    Bytes Protect(const Bytes& key, UCHAR keyIndex, const Bytes& body, std::initializer_list<size_t> pieces)
    {
        UCHAR iv[4];
        EXPECT_EQ(WepKeySetup(A(), key.data(), keyIndex, static_cast<ULONG>(key.size()), iv), STATUS_SUCCESS);
        Bytes out(iv, iv + 4);
        Bytes cipher(body.size());
        size_t at = 0;
        for (size_t n : pieces) {
            EXPECT_EQ(WepEncryptData(A(), body.data() + at, cipher.data() + at, static_cast<ULONG>(n)), STATUS_SUCCESS);
            at += n;
        }
        EXPECT_EQ(at, body.size());
        out.insert(out.end(), cipher.begin(), cipher.end());
        UCHAR icv[4];
        EXPECT_EQ(WepFinishIcv(A(), icv), STATUS_SUCCESS);
        out.insert(out.end(), icv, icv + 4);
        return out;
    }

    PMP_ADAPTER A() { return adapter_.get(); }
    std::unique_ptr<MP_ADAPTER> adapter_;
};

TEST_F(WepPacket, IvHeaderIcvAndCiphertext)
{
    std::mt19937 rng(1803);
    const Bytes challenge = Random(rng, 128);
    const Bytes body = AuthBody(challenge);
    struct {
        Bytes key;
        UCHAR index;
        UCHAR keyIdByte;
    } rows[] = {{Hex("0102030405"), 0, 0x00}, {Hex("0102030405"), 3, 0xC0}, {Hex("000102030405060708090a0b0c"), 1, 0x40},
                {Hex("ffeeddccbbaa99887766554433"), 2, 0x80}};
    for (const auto& row : rows) {
        const Bytes packet = Protect(row.key, row.index, body, {8, 100, 28});
        ASSERT_EQ(packet.size(), 4 + body.size() + 4);
        EXPECT_EQ(packet[3], row.keyIdByte);
        // Decrypt independently: RC4 over IV || key.
        const Bytes rc4Key = Cat({Bytes(packet.begin(), packet.begin() + 3), row.key});
        const Bytes plain = OpenSslRc4(rc4Key, Bytes(packet.begin() + 4, packet.end()));
        if (plain.empty()) {
            GTEST_SKIP() << "OpenSSL's legacy provider (RC4) is not available";
        }
        EXPECT_EQ(Bytes(plain.begin(), plain.end() - 4), body);
        // The ICV: the IEEE 802.3 CRC-32 of the plaintext, least significant byte first.
        const uint32_t crc = BitwiseCrc32(body);
        EXPECT_EQ(Bytes(plain.end() - 4, plain.end()),
                  (Bytes{static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc >> 16),
                         static_cast<uint8_t>(crc >> 24)}));
    }
}

TEST_F(WepPacket, EachSetupDrawsAFreshIv)
{
    const Bytes key = Hex("0102030405");
    std::set<Bytes> ivs;
    Bytes last;
    for (int i = 0; i < 40; ++i) {
        const Bytes packet = Protect(key, 0, Bytes(10, 0x55), {10});
        const Bytes iv(packet.begin(), packet.begin() + 3);
        EXPECT_NE(iv, last) << i;
        ivs.insert(iv);
        last = iv;
    }
    EXPECT_GE(ivs.size(), 35u);
}

TEST_F(WepPacket, RefusesBadKeysAndOutOfOrderCalls)
{
    UCHAR iv[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    const Bytes key(16, 0x11);
    for (ULONG len : {0u, 1u, 4u, 6u, 12u, 14u, 16u}) {
        EXPECT_EQ(WepKeySetup(A(), key.data(), 0, len, iv), STATUS_INVALID_PARAMETER) << len;
    }
    EXPECT_EQ(WepKeySetup(A(), key.data(), 4, 5, iv), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(WepKeySetup(A(), nullptr, 0, 5, iv), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(WepKeySetup(nullptr, key.data(), 0, 5, iv), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Bytes(iv, iv + 4), Bytes(4, 0xEE));
    // Nothing set up: data and ICV are refused, and nothing is written.
    Bytes data(8, 0x33), out(8, 0xEE);
    UCHAR icv[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(WepEncryptData(A(), data.data(), out.data(), 8), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(WepFinishIcv(A(), icv), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(out, Bytes(8, 0xEE));
    EXPECT_EQ(Bytes(icv, icv + 4), Bytes(4, 0xEE));
    // A finished packet closes: a second ICV needs a new setup.
    ASSERT_EQ(WepKeySetup(A(), key.data(), 0, 5, iv), STATUS_SUCCESS);
    EXPECT_EQ(WepFinishIcv(A(), icv), STATUS_SUCCESS);
    EXPECT_EQ(WepFinishIcv(A(), icv), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(WepEncryptData(A(), nullptr, nullptr, 0), STATUS_INVALID_DEVICE_STATE);
}

TEST_F(WepPacket, TsharkDecryptsTheThirdAuthenticationFrame)
{
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    std::mt19937 rng(1986);
    const Bytes challenge = Random(rng, 128);
    // Authentication (subtype 11) with the Protected Frame bit, station 02:11:22:33:44:55 to the AP
    // 02:aa:bb:cc:dd:ee.
    const Bytes header = Hex("b0 40 3a 01 02aabbccddee 021122334455 02aabbccddee 1000");
    std::vector<Bytes> frames;
    for (UCHAR index : {0, 3}) {
        frames.push_back(Cat({header, Protect(Hex("0102030405"), index, AuthBody(challenge), {6, 130})}));
    }
    const std::string out =
        Tshark("wep_auth3", frames, "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wep\",\"01:02:03:04:05\"' -V");
    size_t correct = 0;
    for (size_t at = out.find("(correct)"); at != std::string::npos; at = out.find("(correct)", at + 1)) {
        ++correct;
    }
    EXPECT_EQ(correct, 2u) << out;
    EXPECT_EQ(out.find("incorrect"), std::string::npos) << out;
    EXPECT_NE(out.find("Authentication SEQ: 0x0003"), std::string::npos) << out;
    EXPECT_NE(out.find("Key Index: 3"), std::string::npos) << out;
    EXPECT_NE(out.find("Challenge Text: " + ToHex(Bytes(challenge.begin(), challenge.begin() + 8))),
              std::string::npos)
        << out;
}

}  // namespace
}  // namespace security
