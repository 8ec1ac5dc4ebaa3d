#include "air/ap_rsn_cipher.h"
#include "kshim/host/wpa_crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>

namespace sim::air::rsn {
namespace {

bool IsData(uint16_t fc) { return FrameType(fc) == 2; }
bool IsQos(uint16_t fc) { return IsData(fc) && (fc & 0x0080) != 0; }
bool HasA4(uint16_t fc) { return IsData(fc) && (fc & 0x0300) == 0x0300; }

// The additional authenticated data of CCMP and GCMP: frame control with the bits that may change on
// retransmission masked, the addresses, the sequence control with the sequence number masked, the
// fourth address and the TID of the QoS control when the frame has them.
Bytes Aad(const Bytes& frame)
{
    const uint16_t fc = Le16(frame.data());
    uint16_t m = fc & ~0x3800;  // Retry, Power Management, More Data
    if (IsData(fc)) {
        m &= ~0x0070;  // subtype bits 4-6
    }
    if (IsQos(fc)) {
        m &= ~0x8000;  // Order: the HT control field is not protected
    }
    m |= kFcProtected;
    Bytes aad;
    PutLe16(aad, m);
    aad.insert(aad.end(), frame.begin() + 4, frame.begin() + 22);
    PutLe16(aad, Le16(frame.data() + 22) & 0x000F);
    size_t pos = 24;
    if (HasA4(fc)) {
        aad.insert(aad.end(), frame.begin() + 24, frame.begin() + 30);
        pos = 30;
    }
    if (IsQos(fc)) {
        aad.push_back(frame[pos] & 0x0F);
        aad.push_back(0);
    }
    return aad;
}

Bytes Nonce(Cipher c, const Bytes& frame, uint64_t pn)
{
    const uint16_t fc = Le16(frame.data());
    Bytes n;
    if (c == Cipher::Ccmp128) {
        uint8_t flags = 0;
        if (IsQos(fc)) {
            flags = frame[HasA4(fc) ? 30 : 24] & 0x0F;
        }
        if (FrameType(fc) == 0) {
            flags |= 0x10;  // management
        }
        n.push_back(flags);
    }
    n.insert(n.end(), frame.begin() + 10, frame.begin() + 16);  // A2
    for (int i = 5; i >= 0; --i) {
        n.push_back(static_cast<uint8_t>(pn >> (8 * i)));
    }
    return n;
}

// AES-CCM (M = 8, L = 2) or AES-GCM over the body: encrypt gives ciphertext || MIC, decrypt checks
// the MIC and gives the plaintext.
std::optional<Bytes> Aead(Cipher c, const Bytes& key, const Bytes& nonce, const Bytes& aad, const uint8_t* in,
                          size_t inLength, bool encrypt)
{
    const bool ccm = c == Cipher::Ccmp128;
    const size_t micLength = MicLength(c);
    if (!encrypt && inLength < micLength) {
        return std::nullopt;
    }
    const size_t dataLength = encrypt ? inLength : inLength - micLength;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx == nullptr) {
        return std::nullopt;
    }
    const EVP_CIPHER* cipher = ccm ? EVP_aes_128_ccm() : EVP_aes_256_gcm();
    Bytes out(dataLength + (encrypt ? micLength : 0));
    int n = 0;
    bool ok = (encrypt ? EVP_EncryptInit_ex(ctx, cipher, nullptr, nullptr, nullptr)
                       : EVP_DecryptInit_ex(ctx, cipher, nullptr, nullptr, nullptr)) == 1;
    ok = ok && EVP_CIPHER_CTX_ctrl(ctx, ccm ? EVP_CTRL_CCM_SET_IVLEN : EVP_CTRL_GCM_SET_IVLEN,
                                   static_cast<int>(nonce.size()), nullptr) == 1;
    if (ok && ccm) {
        ok = EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_CCM_SET_TAG, static_cast<int>(micLength),
                                 encrypt ? nullptr : const_cast<uint8_t*>(in + dataLength)) == 1;
    }
    ok = ok && (encrypt ? EVP_EncryptInit_ex(ctx, nullptr, nullptr, key.data(), nonce.data())
                        : EVP_DecryptInit_ex(ctx, nullptr, nullptr, key.data(), nonce.data())) == 1;
    if (ok && ccm) {  // CCM needs the plaintext length first
        ok = (encrypt ? EVP_EncryptUpdate(ctx, nullptr, &n, nullptr, static_cast<int>(dataLength))
                      : EVP_DecryptUpdate(ctx, nullptr, &n, nullptr, static_cast<int>(dataLength))) == 1;
    }
    ok = ok && (encrypt ? EVP_EncryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size()))
                        : EVP_DecryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size()))) == 1;
    if (ok && !ccm && !encrypt) {
        ok = EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, static_cast<int>(micLength),
                                 const_cast<uint8_t*>(in + dataLength)) == 1;
    }
    // An empty body still runs the update (CCM checks its tag there).
    uint8_t dummy = 0;
    ok = ok && (encrypt ? EVP_EncryptUpdate(ctx, dataLength ? out.data() : &dummy, &n, in, static_cast<int>(dataLength))
                        : EVP_DecryptUpdate(ctx, dataLength ? out.data() : &dummy, &n, in, static_cast<int>(dataLength))) == 1;
    if (ok && !ccm) {
        int tail = 0;
        ok = (encrypt ? EVP_EncryptFinal_ex(ctx, &dummy, &tail) : EVP_DecryptFinal_ex(ctx, &dummy, &tail)) == 1;
    } else if (ok && ccm && encrypt) {
        int tail = 0;
        ok = EVP_EncryptFinal_ex(ctx, &dummy, &tail) == 1;
    }
    if (ok && encrypt) {
        ok = EVP_CIPHER_CTX_ctrl(ctx, ccm ? EVP_CTRL_CCM_GET_TAG : EVP_CTRL_GCM_GET_TAG, static_cast<int>(micLength),
                                 out.data() + dataLength) == 1;
    }
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

std::optional<Bytes> Mac128(Cipher c, const Bytes& key, const Bytes& nonce, const Bytes& data)
{
    if (c == Cipher::BipCmac128) {
        std::optional<Bytes> out = kshim::host::wpa::AesCmac(key, data);
        if (out) {
            out->resize(8);
        }
        return out;
    }
    // GMAC: GCM with the whole input as additional data and no plaintext.
    return Aead(Cipher::Gcmp256, key, nonce, data, nullptr, 0, true);
}

}  // namespace

const char* CipherText(Cipher c)
{
    switch (c) {
    case Cipher::Ccmp128:
        return "CCMP-128";
    case Cipher::BipCmac128:
        return "BIP-CMAC-128";
    case Cipher::Gcmp256:
        return "GCMP-256";
    case Cipher::BipGmac256:
        return "BIP-GMAC-256";
    }
    return "?";
}

size_t KeyLength(Cipher c) { return c == Cipher::Gcmp256 || c == Cipher::BipGmac256 ? 32 : 16; }

size_t MicLength(Cipher c) { return c == Cipher::Ccmp128 || c == Cipher::BipCmac128 ? 8 : 16; }

size_t MacHeaderLength(const Bytes& frame)
{
    if (frame.size() < 24) {
        return 0;
    }
    const uint16_t fc = Le16(frame.data());
    size_t n = 24;
    if (HasA4(fc)) {
        n += 6;
    }
    if (IsQos(fc)) {
        n += 2;
    }
    if ((fc & 0x8000) != 0 && (IsQos(fc) || FrameType(fc) == 0)) {
        n += 4;  // HT control
    }
    return frame.size() >= n ? n : 0;
}

namespace {

bool AeadArguments(Cipher c, const Bytes& key, const Bytes& nonce)
{
    return (c == Cipher::Ccmp128 || c == Cipher::Gcmp256) && key.size() == KeyLength(c) &&
           nonce.size() == (c == Cipher::Ccmp128 ? 13u : 12u);
}

}  // namespace

std::optional<Bytes> Seal(Cipher c, const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& plain)
{
    if (!AeadArguments(c, key, nonce)) {
        return std::nullopt;
    }
    return Aead(c, key, nonce, aad, plain.data(), plain.size(), true);
}

std::optional<Bytes> Open(Cipher c, const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& sealed)
{
    if (!AeadArguments(c, key, nonce)) {
        return std::nullopt;
    }
    return Aead(c, key, nonce, aad, sealed.data(), sealed.size(), false);
}

std::optional<Bytes> Protect(Cipher c, const Bytes& tk, uint8_t keyId, uint64_t pn, const Bytes& frame)
{
    if ((c != Cipher::Ccmp128 && c != Cipher::Gcmp256) || tk.size() != KeyLength(c) || keyId > 3) {
        return std::nullopt;
    }
    const size_t h = MacHeaderLength(frame);
    if (h == 0) {
        return std::nullopt;
    }
    Bytes header(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(h));
    header[1] |= kFcProtected >> 8;
    const auto body = Aead(c, tk, Nonce(c, header, pn), Aad(header), frame.data() + h, frame.size() - h, true);
    if (!body) {
        return std::nullopt;
    }
    Bytes out = header;
    out.push_back(static_cast<uint8_t>(pn));
    out.push_back(static_cast<uint8_t>(pn >> 8));
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(0x20 | (keyId << 6)));  // ExtIV
    for (int i = 2; i < 6; ++i) {
        out.push_back(static_cast<uint8_t>(pn >> (8 * i)));
    }
    out.insert(out.end(), body->begin(), body->end());
    return out;
}

std::optional<uint8_t> ProtectedKeyId(const Bytes& frame)
{
    const size_t h = MacHeaderLength(frame);
    if (h == 0 || frame.size() < h + kCipherHeaderLength) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(frame[h + 3] >> 6);
}

std::optional<Unprotected> Unprotect(Cipher c, const Bytes& tk, const Bytes& frame)
{
    if ((c != Cipher::Ccmp128 && c != Cipher::Gcmp256) || tk.size() != KeyLength(c)) {
        return std::nullopt;
    }
    const size_t h = MacHeaderLength(frame);
    if (h == 0 || (Le16(frame.data()) & kFcProtected) == 0 || frame.size() < h + kCipherHeaderLength + MicLength(c)) {
        return std::nullopt;
    }
    const uint8_t* ch = frame.data() + h;
    if ((ch[3] & 0x20) == 0) {
        return std::nullopt;
    }
    Unprotected u;
    u.pn = static_cast<uint64_t>(ch[0]) | static_cast<uint64_t>(ch[1]) << 8 | static_cast<uint64_t>(ch[4]) << 16 |
           static_cast<uint64_t>(ch[5]) << 24 | static_cast<uint64_t>(ch[6]) << 32 | static_cast<uint64_t>(ch[7]) << 40;
    u.keyId = static_cast<uint8_t>(ch[3] >> 6);
    const Bytes header(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(h));
    const size_t start = h + kCipherHeaderLength;
    const auto body = Aead(c, tk, Nonce(c, header, u.pn), Aad(header), frame.data() + start, frame.size() - start, false);
    if (!body) {
        return std::nullopt;
    }
    u.frame = header;
    u.frame[1] &= static_cast<uint8_t>(~(kFcProtected >> 8));
    u.frame.insert(u.frame.end(), body->begin(), body->end());
    return u;
}

namespace {

// BIP's additional data: frame control without Retry, Power Management and More Data, the three
// addresses; then the body with the MIC field zero.
Bytes BipInput(const Bytes& frame, size_t micOffset, size_t micLength)
{
    Bytes in;
    PutLe16(in, Le16(frame.data()) & ~0x3800);
    in.insert(in.end(), frame.begin() + 4, frame.begin() + 22);
    in.insert(in.end(), frame.begin() + kMgmtHeaderLength, frame.end());
    std::fill(in.begin() + 20 + static_cast<std::ptrdiff_t>(micOffset - kMgmtHeaderLength),
              in.begin() + 20 + static_cast<std::ptrdiff_t>(micOffset - kMgmtHeaderLength + micLength), 0);
    return in;
}

Bytes IpnNonce(const Bytes& frame, uint64_t ipn)
{
    Bytes n(frame.begin() + 10, frame.begin() + 16);
    for (int i = 5; i >= 0; --i) {
        n.push_back(static_cast<uint8_t>(ipn >> (8 * i)));
    }
    return n;
}

}  // namespace

std::optional<Bytes> AddMme(Cipher c, const Bytes& igtk, uint16_t keyId, uint64_t ipn, const Bytes& frame)
{
    if ((c != Cipher::BipCmac128 && c != Cipher::BipGmac256) || igtk.size() != KeyLength(c) ||
        frame.size() < kMgmtHeaderLength || FrameType(Le16(frame.data())) != 0) {
        return std::nullopt;
    }
    const size_t micLength = MicLength(c);
    Bytes out = frame;
    out.push_back(kEidMme);
    out.push_back(static_cast<uint8_t>(8 + micLength));
    PutLe16(out, keyId);
    for (int i = 0; i < 6; ++i) {
        out.push_back(static_cast<uint8_t>(ipn >> (8 * i)));
    }
    const size_t micOffset = out.size();
    out.resize(out.size() + micLength, 0);
    const auto mic = Mac128(c, igtk, IpnNonce(out, ipn), BipInput(out, micOffset, micLength));
    if (!mic || mic->size() != micLength) {
        return std::nullopt;
    }
    std::copy(mic->begin(), mic->end(), out.begin() + static_cast<std::ptrdiff_t>(micOffset));
    return out;
}

std::optional<uint64_t> CheckMme(Cipher c, const Bytes& igtk, const Bytes& frame)
{
    if ((c != Cipher::BipCmac128 && c != Cipher::BipGmac256) || igtk.size() != KeyLength(c)) {
        return std::nullopt;
    }
    const size_t micLength = MicLength(c);
    const size_t mmeLength = 2 + 8 + micLength;
    if (frame.size() < kMgmtHeaderLength + mmeLength) {
        return std::nullopt;
    }
    const size_t at = frame.size() - mmeLength;
    if (frame[at] != kEidMme || frame[at + 1] != 8 + micLength) {
        return std::nullopt;
    }
    uint64_t ipn = 0;
    for (int i = 5; i >= 0; --i) {
        ipn = ipn << 8 | frame[at + 4 + static_cast<size_t>(i)];
    }
    const size_t micOffset = at + 10;
    const auto mic = Mac128(c, igtk, IpnNonce(frame, ipn), BipInput(frame, micOffset, micLength));
    if (!mic || mic->size() != micLength || CRYPTO_memcmp(mic->data(), frame.data() + micOffset, micLength) != 0) {
        return std::nullopt;
    }
    return ipn;
}

}  // namespace sim::air::rsn
