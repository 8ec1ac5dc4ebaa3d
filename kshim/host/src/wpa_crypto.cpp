// The supplicant's (and the simulated authenticator's) cryptography on OpenSSL.
#include "kshim/host/wpa_crypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/obj_mac.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>

namespace kshim::host::wpa {

namespace {

Bytes Hmac(const EVP_MD* md, const Bytes& key, const Bytes& data)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    static const uint8_t kEmpty = 0;
    HMAC(md, key.empty() ? &kEmpty : key.data(), static_cast<int>(key.size()), data.empty() ? &kEmpty : data.data(),
         data.size(), out.data(), &n);
    out.resize(n);
    return out;
}

// Kept out of line: inlined into callers that build a vector from two bytes first, GCC 12 at -O3
// reports false out-of-bounds copies.
[[gnu::noinline]] void Append(Bytes* to, const Bytes& from) { to->insert(to->end(), from.begin(), from.end()); }

[[gnu::noinline]] void Append(Bytes* to, std::string_view from)
{
    to->insert(to->end(), from.begin(), from.end());
}

bool EqualConstantTime(const Bytes& a, const Bytes& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

void PutBe(uint8_t* to, uint64_t value, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        to[n - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t GetBe(const uint8_t* from, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        v = v << 8 | from[i];
    }
    return v;
}


const EVP_CIPHER* WrapCipher(size_t kekSize)
{
    switch (kekSize) {
    case 16:
        return EVP_aes_128_wrap();
    case 24:
        return EVP_aes_192_wrap();
    case 32:
        return EVP_aes_256_wrap();
    default:
        return nullptr;
    }
}

std::optional<Bytes> Wrap(const Bytes& kek, const Bytes& in, bool encrypt)
{
    const EVP_CIPHER* cipher = WrapCipher(kek.size());
    if (cipher == nullptr || in.size() % 8 != 0 || in.size() < (encrypt ? 16u : 24u)) {
        return std::nullopt;
    }
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    Bytes out(in.size() + 8);
    int n = 0, tail = 0;
    const bool ok = EVP_CipherInit_ex(ctx, cipher, nullptr, kek.data(), nullptr, encrypt ? 1 : 0) == 1 &&
                    EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1 &&
                    EVP_CipherFinal_ex(ctx, out.data() + n, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok || n <= 0) {
        return std::nullopt;
    }
    out.resize(static_cast<size_t>(n + tail));
    return out;
}

}  // namespace

std::optional<Bytes> AesCmac(const Bytes& key, const Bytes& data)
{
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
    if (mac == nullptr) {
        return std::nullopt;
    }
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    char cipher[] = "AES-128-CBC";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, cipher, 0), OSSL_PARAM_construct_end()};
    Bytes out(16);
    size_t n = 0;
    const bool ok = ctx != nullptr && EVP_MAC_init(ctx, key.data(), key.size(), params) == 1 &&
                    EVP_MAC_update(ctx, data.data(), data.size()) == 1 &&
                    EVP_MAC_final(ctx, out.data(), &n, out.size()) == 1 && n == 16;
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

Bytes HmacSha1(const Bytes& key, const Bytes& data) { return Hmac(EVP_sha1(), key, data); }

Bytes HmacSha256(const Bytes& key, const Bytes& data) { return Hmac(EVP_sha256(), key, data); }

Bytes PrfSha1(const Bytes& key, std::string_view label, const Bytes& data, size_t bits)
{
    Bytes out;
    const size_t bytes = (bits + 7) / 8;
    for (uint8_t i = 0; out.size() < bytes; ++i) {
        Bytes input;
        Append(&input, label);
        input.push_back(0);
        Append(&input, data);
        input.push_back(i);
        Append(&out, HmacSha1(key, input));
    }
    out.resize(bytes);
    return out;
}

Bytes KdfSha256(const Bytes& key, std::string_view label, const Bytes& context, size_t bits)
{
    Bytes out;
    const size_t bytes = (bits + 7) / 8;
    for (uint16_t i = 1; out.size() < bytes; ++i) {
        Bytes input{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
        Append(&input, label);
        Append(&input, context);
        input.push_back(static_cast<uint8_t>(bits));
        input.push_back(static_cast<uint8_t>(bits >> 8));
        Append(&out, HmacSha256(key, input));
    }
    out.resize(bytes);
    if (bits % 8 != 0) {
        out.back() &= static_cast<uint8_t>(0xFF << (8 - bits % 8));
    }
    return out;
}

std::optional<Bytes> PassphraseToPmk(std::string_view passphrase, const Bytes& ssid)
{
    if (passphrase.size() < 8 || passphrase.size() > 63 || ssid.empty() || ssid.size() > 32) {
        return std::nullopt;
    }
    for (char c : passphrase) {
        if (c < 0x20 || c > 0x7E) {
            return std::nullopt;
        }
    }
    Bytes pmk(32);
    if (PKCS5_PBKDF2_HMAC_SHA1(passphrase.data(), static_cast<int>(passphrase.size()), ssid.data(),
                               static_cast<int>(ssid.size()), 4096, static_cast<int>(pmk.size()), pmk.data()) != 1) {
        return std::nullopt;
    }
    return pmk;
}

std::optional<Ptk> DerivePtk(Akm akm, const Bytes& pmk, const MacAddress& aa, const MacAddress& spa,
                             const Bytes& anonce, const Bytes& snonce, size_t tkBytes)
{
    if (pmk.size() != 32 || anonce.size() != 32 || snonce.size() != 32 || (tkBytes != 16 && tkBytes != 32)) {
        return std::nullopt;
    }
    const bool aaFirst = std::lexicographical_compare(aa.begin(), aa.end(), spa.begin(), spa.end());
    const bool anonceFirst = anonce < snonce;
    Bytes data;
    Append(&data, aaFirst ? Bytes(aa.begin(), aa.end()) : Bytes(spa.begin(), spa.end()));
    Append(&data, aaFirst ? Bytes(spa.begin(), spa.end()) : Bytes(aa.begin(), aa.end()));
    Append(&data, anonceFirst ? anonce : snonce);
    Append(&data, anonceFirst ? snonce : anonce);
    const size_t bits = (16 + 16 + tkBytes) * 8;
    const Bytes ptk = akm == Akm::Psk ? PrfSha1(pmk, "Pairwise key expansion", data, bits)
                                      : KdfSha256(pmk, "Pairwise key expansion", data, bits);
    Ptk out;
    out.kck.assign(ptk.begin(), ptk.begin() + 16);
    out.kek.assign(ptk.begin() + 16, ptk.begin() + 32);
    out.tk.assign(ptk.begin() + 32, ptk.end());
    return out;
}

Bytes BuildEapolKey(const EapolKey& key)
{
    Bytes f(kEapolHeaderSize + kEapolKeyFixedSize + key.keyData.size());
    const size_t body = kEapolKeyFixedSize + key.keyData.size();
    f[0] = key.protocolVersion;
    f[1] = 3;  // EAPOL-Key
    PutBe(&f[2], body, 2);
    uint8_t* d = f.data() + kEapolHeaderSize;
    d[0] = key.descriptorType;
    PutBe(d + 1, key.keyInfo, 2);
    PutBe(d + 3, key.keyLength, 2);
    PutBe(d + 5, key.replayCounter, 8);
    std::memcpy(d + 13, key.nonce.data(), 32);
    std::memcpy(d + 45, key.iv.data(), 16);
    std::memcpy(d + 61, key.rsc.data(), 8);
    // 8 reserved bytes at 69
    std::memcpy(d + 77, key.mic.data(), 16);
    PutBe(d + 93, key.keyData.size(), 2);
    std::copy(key.keyData.begin(), key.keyData.end(), d + 95);
    return f;
}

std::optional<EapolKey> ParseEapolKey(const Bytes& frame)
{
    if (frame.size() < kEapolHeaderSize + kEapolKeyFixedSize || frame[1] != 3) {
        return std::nullopt;
    }
    const size_t body = GetBe(&frame[2], 2);
    if (body < kEapolKeyFixedSize || body > frame.size() - kEapolHeaderSize) {
        return std::nullopt;
    }
    const uint8_t* d = frame.data() + kEapolHeaderSize;
    const size_t keyDataLength = GetBe(d + 93, 2);
    if (keyDataLength > body - kEapolKeyFixedSize) {
        return std::nullopt;
    }
    EapolKey key;
    key.protocolVersion = frame[0];
    key.descriptorType = d[0];
    key.keyInfo = static_cast<uint16_t>(GetBe(d + 1, 2));
    key.keyLength = static_cast<uint16_t>(GetBe(d + 3, 2));
    key.replayCounter = GetBe(d + 5, 8);
    std::memcpy(key.nonce.data(), d + 13, 32);
    std::memcpy(key.iv.data(), d + 45, 16);
    std::memcpy(key.rsc.data(), d + 61, 8);
    std::memcpy(key.mic.data(), d + 77, 16);
    key.keyData.assign(d + 95, d + 95 + keyDataLength);
    return key;
}

MicAlgorithm MicAlgorithmFor(Akm akm) { return akm == Akm::Psk ? MicAlgorithm::HmacSha1_128 : MicAlgorithm::AesCmac128; }

std::optional<Bytes> EapolKeyMic(MicAlgorithm algorithm, const Bytes& kck, const Bytes& frame)
{
    if (kck.size() != 16 || frame.size() < kEapolHeaderSize + kEapolKeyFixedSize) {
        return std::nullopt;
    }
    Bytes zeroed = frame;
    std::fill(zeroed.begin() + kEapolKeyMicOffset, zeroed.begin() + kEapolKeyMicOffset + kEapolKeyMicSize, 0);
    if (algorithm == MicAlgorithm::HmacSha1_128) {
        Bytes mic = HmacSha1(kck, zeroed);
        mic.resize(kEapolKeyMicSize);
        return mic;
    }
    return AesCmac(kck, zeroed);
}

bool SetEapolKeyMic(MicAlgorithm algorithm, const Bytes& kck, Bytes* frame)
{
    if (frame == nullptr) {
        return false;
    }
    const auto mic = EapolKeyMic(algorithm, kck, *frame);
    if (!mic) {
        return false;
    }
    std::copy(mic->begin(), mic->end(), frame->begin() + kEapolKeyMicOffset);
    return true;
}

bool CheckEapolKeyMic(MicAlgorithm algorithm, const Bytes& kck, const Bytes& frame)
{
    const auto mic = EapolKeyMic(algorithm, kck, frame);
    if (!mic) {
        return false;
    }
    const Bytes given(frame.begin() + kEapolKeyMicOffset, frame.begin() + kEapolKeyMicOffset + kEapolKeyMicSize);
    return EqualConstantTime(*mic, given);
}

std::optional<Bytes> AesKeyWrap(const Bytes& kek, const Bytes& plaintext) { return Wrap(kek, plaintext, true); }

std::optional<Bytes> AesKeyUnwrap(const Bytes& kek, const Bytes& wrapped) { return Wrap(kek, wrapped, false); }

Bytes PadKeyData(const Bytes& keyData)
{
    Bytes out = keyData;
    if (out.size() < 16 || out.size() % 8 != 0) {
        out.push_back(0xDD);
        while (out.size() < 16 || out.size() % 8 != 0) {
            out.push_back(0);
        }
    }
    return out;
}

// ================================================================================================
// SAE
// ================================================================================================
namespace sae {

namespace {

struct BnFree {
    void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
struct PointFree {
    void operator()(EC_POINT* p) const { EC_POINT_clear_free(p); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
using Point = std::unique_ptr<EC_POINT, PointFree>;

Bn NewBn() { return Bn(BN_new()); }

Bn BnFrom(const Bytes& b) { return Bn(BN_bin2bn(b.data(), static_cast<int>(b.size()), nullptr)); }

Bytes BnTo(const BIGNUM* b, size_t size)
{
    Bytes out(size);
    BN_bn2binpad(b, out.data(), static_cast<int>(size));
    return out;
}

// HKDF-Expand with SHA-256.
Bytes HkdfExpand(const Bytes& prk, std::string_view info, size_t length)
{
    Bytes out, t;
    for (uint8_t i = 1; out.size() < length; ++i) {
        Bytes input = t;
        Append(&input, info);
        input.push_back(i);
        t = HmacSha256(prk, input);
        Append(&out, t);
    }
    out.resize(length);
    return out;
}

Bytes MaxMin(const MacAddress& a, const MacAddress& b)
{
    const bool aFirst = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end());  // a > b
    Bytes out;
    Append(&out, aFirst ? Bytes(a.begin(), a.end()) : Bytes(b.begin(), b.end()));
    Append(&out, aFirst ? Bytes(b.begin(), b.end()) : Bytes(a.begin(), a.end()));
    return out;
}

}  // namespace

// The curve with its constants and a context for the arithmetic.
struct Session::Curve {
    EC_GROUP* group = nullptr;
    BN_CTX* ctx = nullptr;
    Bn p, a, b, order;
    Point pwe;
    Bn rand;
    Bn ownScalar;
    Point ownElement;

    Curve()
    {
        group = EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1);
        ctx = BN_CTX_new();
        p = NewBn();
        a = NewBn();
        b = NewBn();
        order = NewBn();
        EC_GROUP_get_curve(group, p.get(), a.get(), b.get(), ctx);
        EC_GROUP_get_order(group, order.get(), ctx);
    }
    ~Curve()
    {
        pwe.reset();
        ownElement.reset();
        EC_GROUP_free(group);
        BN_CTX_free(ctx);
    }
    Point NewPoint() const { return Point(EC_POINT_new(group)); }

    // y^2 = x^3 + a x + b (mod p).
    Bn Rhs(const BIGNUM* x) const
    {
        Bn x3 = NewBn(), t = NewBn(), r = NewBn();
        BN_mod_sqr(t.get(), x, p.get(), ctx);
        BN_mod_mul(x3.get(), t.get(), x, p.get(), ctx);
        BN_mod_mul(t.get(), a.get(), x, p.get(), ctx);
        BN_mod_add(r.get(), x3.get(), t.get(), p.get(), ctx);
        BN_mod_add(r.get(), r.get(), b.get(), p.get(), ctx);
        return r;
    }
    bool IsResidue(const BIGNUM* v) const { return BN_is_zero(v) || BN_kronecker(v, p.get(), ctx) == 1; }

    // The point (x, y) with y the root of the right-hand side whose parity is oddWanted.
    Point PointWithParity(const BIGNUM* x, bool oddWanted) const
    {
        Bn y = NewBn();
        Bn rhs = Rhs(x);
        if (BN_mod_sqrt(y.get(), rhs.get(), p.get(), ctx) == nullptr) {
            return nullptr;
        }
        if ((BN_is_odd(y.get()) != 0) != oddWanted) {
            BN_sub(y.get(), p.get(), y.get());
        }
        Point pt = NewPoint();
        if (EC_POINT_set_affine_coordinates(group, pt.get(), x, y.get(), ctx) != 1) {
            return nullptr;
        }
        return pt;
    }

    Bytes Encode(const EC_POINT* pt) const
    {
        Bn x = NewBn(), y = NewBn();
        EC_POINT_get_affine_coordinates(group, pt, x.get(), y.get(), ctx);
        Bytes out = BnTo(x.get(), 32);
        Append(&out, BnTo(y.get(), 32));
        return out;
    }
    Point Decode(const Bytes& xy) const
    {
        if (xy.size() != kElementSize) {
            return nullptr;
        }
        Bn x = BnFrom(Bytes(xy.begin(), xy.begin() + 32)), y = BnFrom(Bytes(xy.begin() + 32, xy.end()));
        if (BN_cmp(x.get(), p.get()) >= 0 || BN_cmp(y.get(), p.get()) >= 0) {
            return nullptr;
        }
        Point pt = NewPoint();
        if (EC_POINT_set_affine_coordinates(group, pt.get(), x.get(), y.get(), ctx) != 1 ||
            EC_POINT_is_on_curve(group, pt.get(), ctx) != 1 || EC_POINT_is_at_infinity(group, pt.get()) == 1) {
            return nullptr;
        }
        return pt;
    }

    // The simplified SWU map with z = -10.
    Point Sswu(const BIGNUM* u) const
    {
        Bn z = NewBn(), t = NewBn(), u2 = NewBn(), m = NewBn(), x1 = NewBn(), x2 = NewBn(), tmp = NewBn();
        BN_set_word(z.get(), 10);
        BN_sub(z.get(), p.get(), z.get());
        BN_mod_sqr(u2.get(), u, p.get(), ctx);
        // m = z^2 u^4 + z u^2
        BN_mod_mul(t.get(), z.get(), u2.get(), p.get(), ctx);   // z u^2
        BN_mod_sqr(m.get(), t.get(), p.get(), ctx);             // z^2 u^4
        BN_mod_add(m.get(), m.get(), t.get(), p.get(), ctx);
        if (BN_is_zero(m.get())) {
            // x1 = b / (z a)
            BN_mod_mul(tmp.get(), z.get(), a.get(), p.get(), ctx);
            BN_mod_inverse(tmp.get(), tmp.get(), p.get(), ctx);
            BN_mod_mul(x1.get(), b.get(), tmp.get(), p.get(), ctx);
        } else {
            // x1 = (-b / a) (1 + 1/m)
            Bn inv = NewBn(), one = NewBn();
            BN_mod_inverse(inv.get(), m.get(), p.get(), ctx);
            BN_one(one.get());
            BN_mod_add(inv.get(), inv.get(), one.get(), p.get(), ctx);
            BN_mod_inverse(tmp.get(), a.get(), p.get(), ctx);
            BN_mod_mul(tmp.get(), tmp.get(), b.get(), p.get(), ctx);
            BN_sub(tmp.get(), p.get(), tmp.get());
            BN_mod_mul(x1.get(), tmp.get(), inv.get(), p.get(), ctx);
        }
        Bn gx1 = Rhs(x1.get());
        // x2 = z u^2 x1
        BN_mod_mul(x2.get(), t.get(), x1.get(), p.get(), ctx);
        const bool first = IsResidue(gx1.get());
        return PointWithParity(first ? x1.get() : x2.get(), BN_is_odd(u) != 0);
    }
};

Session::Session() : c_(std::make_unique<Curve>()) {}
Session::~Session() = default;

std::optional<Bytes> MapToCurve(const Bytes& u)
{
    if (u.size() != 32) {
        return std::nullopt;
    }
    Session::Curve c;
    Bn value = BnFrom(u);
    if (BN_cmp(value.get(), c.p.get()) >= 0) {
        return std::nullopt;
    }
    Point pt = c.Sswu(value.get());
    if (!pt) {
        return std::nullopt;
    }
    return c.Encode(pt.get());
}

std::optional<Bytes> DerivePt(const Bytes& ssid, std::string_view password, std::string_view identifier)
{
    if (ssid.empty() || ssid.size() > 32 || password.empty()) {
        return std::nullopt;
    }
    Session::Curve c;
    Bytes ikm;
    Append(&ikm, password);
    Append(&ikm, identifier);
    const Bytes seed = HmacSha256(ssid, ikm);  // HKDF-Extract with the SSID as salt
    Point points[2];
    const char* labels[2] = {"SAE Hash to Element u1 P1", "SAE Hash to Element u2 P2"};
    for (int i = 0; i < 2; ++i) {
        const Bytes value = HkdfExpand(seed, labels[i], 32 + 16);
        Bn u = BnFrom(value);
        BN_mod(u.get(), u.get(), c.p.get(), c.ctx);
        points[i] = c.Sswu(u.get());
        if (!points[i]) {
            return std::nullopt;
        }
    }
    Point pt = c.NewPoint();
    EC_POINT_add(c.group, pt.get(), points[0].get(), points[1].get(), c.ctx);
    if (EC_POINT_is_at_infinity(c.group, pt.get()) == 1) {
        return std::nullopt;
    }
    return c.Encode(pt.get());
}

std::unique_ptr<Session> Session::Create(PasswordElement method, std::string_view password, const Bytes& ssid,
                                         const MacAddress& own, const MacAddress& peer, std::string_view identifier)
{
    if (password.empty() || own == peer) {
        return nullptr;
    }
    if (method == PasswordElement::HashToElement) {
        const auto pt = DerivePt(ssid, password, identifier);
        return pt ? CreateFromPt(*pt, own, peer) : nullptr;
    }
    std::unique_ptr<Session> s(new Session());
    Curve& c = *s->c_;
    // Hunting and pecking: 40 rounds whatever the round that found the element.
    const Bytes key = MaxMin(own, peer);
    Bn found;
    bool foundOdd = false;
    for (uint8_t counter = 1; counter <= 40; ++counter) {
        Bytes base;
        Append(&base, password);
        Append(&base, identifier);
        base.push_back(counter);
        const Bytes seed = HmacSha256(key, base);
        const Bytes value = KdfSha256(seed, "SAE Hunting and Pecking", BnTo(c.p.get(), 32), 256);
        Bn candidate = BnFrom(value);
        if (BN_cmp(candidate.get(), c.p.get()) >= 0) {
            continue;
        }
        Bn rhs = c.Rhs(candidate.get());
        if (!found && c.IsResidue(rhs.get())) {
            found = std::move(candidate);
            foundOdd = (seed.back() & 1) != 0;
        }
    }
    if (!found) {
        return nullptr;
    }
    s->c_->pwe = c.PointWithParity(found.get(), foundOdd);
    return s->c_->pwe ? std::move(s) : nullptr;
}

std::unique_ptr<Session> Session::CreateFromPt(const Bytes& pt, const MacAddress& own, const MacAddress& peer)
{
    if (own == peer) {
        return nullptr;
    }
    std::unique_ptr<Session> s(new Session());
    Curve& c = *s->c_;
    Point base = c.Decode(pt);
    if (!base) {
        return nullptr;
    }
    // val = H(0^32, MAX || MIN) mod (r - 1) + 1; PWE = val * PT.
    Bn val = BnFrom(HmacSha256(Bytes(32, 0), MaxMin(own, peer)));
    Bn rMinus1 = NewBn();
    BN_sub(rMinus1.get(), c.order.get(), BN_value_one());
    BN_mod(val.get(), val.get(), rMinus1.get(), c.ctx);
    BN_add(val.get(), val.get(), BN_value_one());
    c.pwe = c.NewPoint();
    EC_POINT_mul(c.group, c.pwe.get(), nullptr, base.get(), val.get(), c.ctx);
    if (EC_POINT_is_at_infinity(c.group, c.pwe.get()) == 1) {
        return nullptr;
    }
    return s;
}

Bytes Session::Pwe() const { return c_->Encode(c_->pwe.get()); }

bool Session::MakeCommit(const Bytes* rand, const Bytes* mask)
{
    Curve& c = *c_;
    Bn r, m;
    auto pick = [&](const Bytes* given, Bn* out) {
        *out = NewBn();
        if (given != nullptr) {
            *out = BnFrom(*given);
        } else {
            // A number in [2, r-1].
            Bn range = NewBn(), two = NewBn();
            BN_set_word(two.get(), 2);
            BN_sub(range.get(), c.order.get(), two.get());
            BN_rand_range(out->get(), range.get());
            BN_add(out->get(), out->get(), two.get());
        }
        return BN_cmp(out->get(), BN_value_one()) > 0 && BN_cmp(out->get(), c.order.get()) < 0;
    };
    if (!pick(rand, &r) || !pick(mask, &m)) {
        return false;
    }
    Bn scalar = NewBn();
    BN_mod_add(scalar.get(), r.get(), m.get(), c.order.get(), c.ctx);
    if (BN_cmp(scalar.get(), BN_value_one()) <= 0) {
        return false;
    }
    Point element = c.NewPoint();
    EC_POINT_mul(c.group, element.get(), nullptr, c.pwe.get(), m.get(), c.ctx);
    EC_POINT_invert(c.group, element.get(), c.ctx);
    if (EC_POINT_is_at_infinity(c.group, element.get()) == 1) {
        return false;
    }
    c.rand = std::move(r);
    c.ownScalar = std::move(scalar);
    c.ownElement = std::move(element);
    scalar_ = BnTo(c.ownScalar.get(), kScalarSize);
    element_ = c.Encode(c.ownElement.get());
    return true;
}

bool Session::ProcessPeerCommit(const Bytes& peerScalar, const Bytes& peerElement, const Bytes& rejectedGroups)
{
    Curve& c = *c_;
    if (!c.ownScalar || peerScalar.size() != kScalarSize) {
        return false;
    }
    Bn s = BnFrom(peerScalar);
    if (BN_cmp(s.get(), BN_value_one()) <= 0 || BN_cmp(s.get(), c.order.get()) >= 0) {
        return false;
    }
    Point e = c.Decode(peerElement);
    if (!e) {
        return false;
    }
    if (peerScalar == scalar_ && peerElement == element_) {
        return false;  // our own commit reflected
    }
    // K = rand * (peer-scalar * PWE + PEER-ELEMENT); k = x(K).
    Point k = c.NewPoint();
    EC_POINT_mul(c.group, k.get(), nullptr, c.pwe.get(), s.get(), c.ctx);
    EC_POINT_add(c.group, k.get(), k.get(), e.get(), c.ctx);
    EC_POINT_mul(c.group, k.get(), nullptr, k.get(), c.rand.get(), c.ctx);
    if (EC_POINT_is_at_infinity(c.group, k.get()) == 1) {
        return false;
    }
    Bytes kx = c.Encode(k.get());
    kx.resize(32);
    const Bytes salt = rejectedGroups.empty() ? Bytes(32, 0) : rejectedGroups;
    const Bytes keyseed = HmacSha256(salt, kx);
    Bn sum = NewBn();
    BN_mod_add(sum.get(), c.ownScalar.get(), s.get(), c.order.get(), c.ctx);
    const Bytes context = BnTo(sum.get(), kScalarSize);
    const Bytes kckPmk = KdfSha256(keyseed, "SAE KCK and PMK", context, 512);
    kck_.assign(kckPmk.begin(), kckPmk.begin() + 32);
    pmk_.assign(kckPmk.begin() + 32, kckPmk.end());
    pmkid_.assign(context.begin(), context.begin() + 16);
    peerScalar_ = peerScalar;
    peerElement_ = peerElement;
    return true;
}

namespace {

Bytes ConfirmOf(const Bytes& kck, uint16_t sendConfirm, const Bytes& scalar1, const Bytes& element1,
                const Bytes& scalar2, const Bytes& element2)
{
    Bytes data{static_cast<uint8_t>(sendConfirm), static_cast<uint8_t>(sendConfirm >> 8)};
    Append(&data, scalar1);
    Append(&data, element1);
    Append(&data, scalar2);
    Append(&data, element2);
    return HmacSha256(kck, data);
}

}  // namespace

Bytes Session::Confirm(uint16_t sendConfirm) const
{
    if (kck_.empty()) {
        return {};
    }
    return ConfirmOf(kck_, sendConfirm, scalar_, element_, peerScalar_, peerElement_);
}

bool Session::CheckPeerConfirm(uint16_t peerSendConfirm, const Bytes& confirm) const
{
    if (kck_.empty() || confirm.size() != kConfirmSize) {
        return false;
    }
    return EqualConstantTime(ConfirmOf(kck_, peerSendConfirm, peerScalar_, peerElement_, scalar_, element_), confirm);
}

// ---- frames --------------------------------------------------------------------------------------------------
namespace {

constexpr uint8_t kExtensionElement = 255;
constexpr uint8_t kExtPasswordIdentifier = 33;
constexpr uint8_t kExtRejectedGroups = 92;
constexpr uint8_t kExtAntiCloggingContainer = 93;

void PutExtension(Bytes* to, uint8_t extId, const Bytes& body)
{
    to->push_back(kExtensionElement);
    to->push_back(static_cast<uint8_t>(body.size() + 1));
    to->push_back(extId);
    Append(to, body);
}

// The extension elements after the scalar and element: each must fit whole.
bool ParseTrailingElements(const Bytes& body, size_t at, Commit* commit, bool hashToElement)
{
    while (at < body.size()) {
        if (body.size() - at < 3 || body[at] != kExtensionElement || body[at + 1] < 1 ||
            body[at + 1] > body.size() - at - 2) {
            return false;
        }
        const uint8_t id = body[at + 2];
        const Bytes value(body.begin() + at + 3, body.begin() + at + 2 + body[at + 1]);
        switch (id) {
        case kExtPasswordIdentifier:
            commit->passwordIdentifier = value;
            break;
        case kExtRejectedGroups:
            if (value.size() % 2 != 0) {
                return false;
            }
            for (size_t i = 0; i < value.size(); i += 2) {
                commit->rejectedGroups.push_back(static_cast<uint16_t>(value[i] | value[i + 1] << 8));
            }
            break;
        case kExtAntiCloggingContainer:
            if (!hashToElement) {
                return false;
            }
            commit->token = value;
            break;
        default:
            return false;
        }
        at += 2 + body[at + 1];
    }
    return true;
}

}  // namespace

Bytes BuildCommit(const Commit& commit, bool hashToElement)
{
    Bytes body{static_cast<uint8_t>(commit.group), static_cast<uint8_t>(commit.group >> 8)};
    if (!hashToElement) {
        Append(&body, commit.token);
    }
    Append(&body, commit.scalar);
    Append(&body, commit.element);
    if (!commit.passwordIdentifier.empty()) {
        PutExtension(&body, kExtPasswordIdentifier, commit.passwordIdentifier);
    }
    if (!commit.rejectedGroups.empty()) {
        Bytes groups;
        for (uint16_t g : commit.rejectedGroups) {
            groups.push_back(static_cast<uint8_t>(g));
            groups.push_back(static_cast<uint8_t>(g >> 8));
        }
        PutExtension(&body, kExtRejectedGroups, groups);
    }
    if (hashToElement && !commit.token.empty()) {
        PutExtension(&body, kExtAntiCloggingContainer, commit.token);
    }
    return body;
}

std::optional<Commit> ParseCommit(const Bytes& body, bool hashToElement, size_t tokenLength)
{
    if (body.size() < 2) {
        return std::nullopt;
    }
    Commit commit;
    commit.group = static_cast<uint16_t>(body[0] | body[1] << 8);
    if (commit.group != kGroup19) {
        return std::nullopt;
    }
    size_t at = 2;
    if (!hashToElement) {
        if (body.size() - at < tokenLength) {
            return std::nullopt;
        }
        commit.token.assign(body.begin() + at, body.begin() + at + tokenLength);
        at += tokenLength;
    }
    const size_t fixed = kScalarSize + kElementSize;
    if (body.size() - at < fixed) {
        return std::nullopt;
    }
    commit.scalar.assign(body.begin() + at, body.begin() + at + kScalarSize);
    commit.element.assign(body.begin() + at + kScalarSize, body.begin() + at + fixed);
    if (!ParseTrailingElements(body, at + fixed, &commit, hashToElement)) {
        return std::nullopt;
    }
    if (hashToElement && commit.token.size() != tokenLength) {
        return std::nullopt;  // a token where none was asked for, none where one was, or another length
    }
    return commit;
}

Bytes BuildConfirm(uint16_t sendConfirm, const Bytes& confirm)
{
    Bytes body{static_cast<uint8_t>(sendConfirm), static_cast<uint8_t>(sendConfirm >> 8)};
    Append(&body, confirm);
    return body;
}

std::optional<std::pair<uint16_t, Bytes>> ParseConfirm(const Bytes& body)
{
    if (body.size() != 2 + kConfirmSize) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<uint16_t>(body[0] | body[1] << 8), Bytes(body.begin() + 2, body.end()));
}

Bytes MakeAntiCloggingToken(const Bytes& secret, const MacAddress& peer)
{
    return HmacSha256(secret, Bytes(peer.begin(), peer.end()));
}

bool CheckAntiCloggingToken(const Bytes& secret, const MacAddress& peer, const Bytes& token)
{
    return EqualConstantTime(MakeAntiCloggingToken(secret, peer), token);
}

Bytes BuildAntiCloggingRequest(uint16_t group, const Bytes& token, bool hashToElement)
{
    Bytes body{static_cast<uint8_t>(group), static_cast<uint8_t>(group >> 8)};
    if (hashToElement) {
        PutExtension(&body, kExtAntiCloggingContainer, token);
    } else {
        Append(&body, token);
    }
    return body;
}

std::optional<Bytes> ParseAntiCloggingRequest(const Bytes& body, bool hashToElement)
{
    if (body.size() < 3) {
        return std::nullopt;
    }
    if (!hashToElement) {
        return Bytes(body.begin() + 2, body.end());
    }
    if (body.size() < 5 || body[2] != kExtensionElement || body[4] != kExtAntiCloggingContainer ||
        body[3] < 2 || static_cast<size_t>(body[3]) != body.size() - 4) {
        return std::nullopt;
    }
    return Bytes(body.begin() + 5, body.end());
}

}  // namespace sae
}  // namespace kshim::host::wpa
