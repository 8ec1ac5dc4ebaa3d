// The cryptography of the OS's supplicant, on OpenSSL, shared by the OS's Wi-Fi service and the
// simulated access points (which run the authenticator side with the same code): the passphrase
// PMK, the PTK derivations, EAPOL-Key frames with their MIC, AES key wrap of the key data, and SAE
// on group 19 with both password-element derivations and anti-clogging tokens.
//
// Inputs from a peer (frames, scalars, elements) are checked before use; a malformed one gives an
// empty result or false, never a read outside what was given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace kshim::host::wpa {

using Bytes = std::vector<uint8_t>;

// AES-CMAC with a 16-byte key: the 16-byte tag, or nothing when OpenSSL refuses.
std::optional<Bytes> AesCmac(const Bytes& key, const Bytes& data);
using MacAddress = std::array<uint8_t, 6>;

// ---- hashes and key derivation of IEEE 802.11 -----------------------------------------------------------
Bytes HmacSha1(const Bytes& key, const Bytes& data);
Bytes HmacSha256(const Bytes& key, const Bytes& data);
// PRF-bits with HMAC-SHA1: HMAC(K, label || 0 || data || i) for i = 0, 1, ..., cut to bits/8 bytes.
Bytes PrfSha1(const Bytes& key, std::string_view label, const Bytes& data, size_t bits);
// KDF-Hash-Length with HMAC-SHA256: HMAC(K, i || label || context || bits), i from 1 and bits as
// 16-bit little-endian numbers, cut to bits/8 bytes.
Bytes KdfSha256(const Bytes& key, std::string_view label, const Bytes& context, size_t bits);

// ---- WPA2-PSK ---------------------------------------------------------------------------------------------
// PBKDF2-HMAC-SHA1(passphrase, SSID, 4096, 32 bytes). Empty for a passphrase that is not 8 to 63
// printable ASCII characters or an SSID that is not 1 to 32 bytes.
std::optional<Bytes> PassphraseToPmk(std::string_view passphrase, const Bytes& ssid);

// The AKM suites of the handshakes (00-0F-AC:n).
enum class Akm : uint8_t {
    Psk = 2,        // PRF-SHA1, HMAC-SHA1-128 MIC
    PskSha256 = 6,  // KDF-SHA256, AES-128-CMAC MIC
    Sae = 8,        // KDF-SHA256, AES-128-CMAC MIC
};

struct Ptk {
    Bytes kck;  // 16 bytes
    Bytes kek;  // 16 bytes
    Bytes tk;   // 16 (CCMP-128, GCMP-128) or 32 (GCMP-256, CCMP-256) bytes
};

// "Pairwise key expansion" over min(AA, SPA) || max(AA, SPA) || min(ANonce, SNonce) ||
// max(ANonce, SNonce). Empty for a PMK that is not 32 bytes, nonces that are not 32 bytes or a TK
// length other than 16 or 32.
std::optional<Ptk> DerivePtk(Akm akm, const Bytes& pmk, const MacAddress& aa, const MacAddress& spa,
                             const Bytes& anonce, const Bytes& snonce, size_t tkBytes = 16);

// ---- EAPOL-Key frames --------------------------------------------------------------------------------------
// Key Information bits.
constexpr uint16_t kKeyInfoVersionMask = 0x0007;  // 2: HMAC-SHA1 MIC and AES key wrap; 3: AES-CMAC
constexpr uint16_t kKeyInfoPairwise = 0x0008;
constexpr uint16_t kKeyInfoInstall = 0x0040;
constexpr uint16_t kKeyInfoAck = 0x0080;
constexpr uint16_t kKeyInfoMic = 0x0100;
constexpr uint16_t kKeyInfoSecure = 0x0200;
constexpr uint16_t kKeyInfoError = 0x0400;
constexpr uint16_t kKeyInfoRequest = 0x0800;
constexpr uint16_t kKeyInfoEncryptedKeyData = 0x1000;

constexpr size_t kEapolHeaderSize = 4;
constexpr size_t kEapolKeyFixedSize = 95;  // descriptor type .. key data length, 16-byte MIC
constexpr size_t kEapolKeyMicOffset = kEapolHeaderSize + 77;
constexpr size_t kEapolKeyMicSize = 16;

// An EAPOL-Key frame (IEEE 802.1X header, then the key descriptor with a 16-byte MIC).
struct EapolKey {
    uint8_t protocolVersion = 2;
    uint8_t descriptorType = 2;  // RSN
    uint16_t keyInfo = 0;
    uint16_t keyLength = 0;
    uint64_t replayCounter = 0;
    std::array<uint8_t, 32> nonce{};
    std::array<uint8_t, 16> iv{};
    std::array<uint8_t, 8> rsc{};
    std::array<uint8_t, 16> mic{};
    Bytes keyData;
};

Bytes BuildEapolKey(const EapolKey& key);
// Empty when the frame is not an EAPOL-Key frame, is shorter than its fixed part, or its lengths
// (the 802.1X body length, the key data length) do not fit what was received. Bytes after the
// 802.1X body are ignored.
std::optional<EapolKey> ParseEapolKey(const Bytes& frame);

enum class MicAlgorithm { HmacSha1_128, AesCmac128 };
MicAlgorithm MicAlgorithmFor(Akm akm);
// The MIC of an EAPOL-Key frame, computed with its MIC field as zero. Empty for a KCK that is not 16
// bytes or a frame shorter than an EAPOL-Key frame.
std::optional<Bytes> EapolKeyMic(MicAlgorithm algorithm, const Bytes& kck, const Bytes& frame);
// Writes the MIC into the frame; false when it cannot be computed.
bool SetEapolKeyMic(MicAlgorithm algorithm, const Bytes& kck, Bytes* frame);
// Checks the frame's MIC (in constant time).
bool CheckEapolKeyMic(MicAlgorithm algorithm, const Bytes& kck, const Bytes& frame);

// ---- AES key wrap (RFC 3394), for EAPOL-Key key data -------------------------------------------------------
// The key data must be a multiple of 8 bytes and at least 16; the KEK 16, 24 or 32 bytes.
std::optional<Bytes> AesKeyWrap(const Bytes& kek, const Bytes& plaintext);
// Empty when the lengths are wrong or the integrity check value does not come out.
std::optional<Bytes> AesKeyUnwrap(const Bytes& kek, const Bytes& wrapped);
// Pads key data for wrapping as IEEE 802.11 does: below 16 bytes or not a multiple of 8, a 0xDD
// byte and then zeros.
Bytes PadKeyData(const Bytes& keyData);

// ---- SAE on group 19 (NIST P-256) ---------------------------------------------------------------------------
namespace sae {

constexpr uint16_t kGroup19 = 19;
constexpr size_t kScalarSize = 32;
constexpr size_t kElementSize = 64;  // x || y
constexpr size_t kConfirmSize = 32;

// Status codes of SAE authentication frames.
constexpr uint16_t kStatusSuccess = 0;
constexpr uint16_t kStatusUnsupportedGroup = 77;
constexpr uint16_t kStatusAntiCloggingTokenRequired = 76;
constexpr uint16_t kStatusHashToElement = 126;

enum class PasswordElement { HuntingAndPecking, HashToElement };

// The password-element base of hash-to-element, PT, from SSID, password and identifier.
std::optional<Bytes> DerivePt(const Bytes& ssid, std::string_view password, std::string_view identifier = {});
// The simplified SWU map of P-256 (z = -10) of a field element u (32 bytes): x || y.
std::optional<Bytes> MapToCurve(const Bytes& u);

// One side of an SAE exchange.
class Session {
public:
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Derives the password element for the two addresses: hunting-and-pecking from the password
    // (and identifier), or hash-to-element from the PT of the SSID, password and identifier.
    // Empty when no element can be derived or an input is malformed.
    static std::unique_ptr<Session> Create(PasswordElement method, std::string_view password, const Bytes& ssid,
                                           const MacAddress& own, const MacAddress& peer,
                                           std::string_view identifier = {});
    // The same from a PT computed before (hash-to-element only).
    static std::unique_ptr<Session> CreateFromPt(const Bytes& pt, const MacAddress& own, const MacAddress& peer);

    // The password element (x || y).
    Bytes Pwe() const;
    // Picks rand and mask (random, or given as 32-byte numbers below the order for test vectors)
    // and computes the commit scalar and element. False when the given numbers are unusable.
    bool MakeCommit(const Bytes* rand = nullptr, const Bytes* mask = nullptr);
    const Bytes& Scalar() const { return scalar_; }
    const Bytes& Element() const { return element_; }

    // Takes the peer's commit: the scalar must lie in [2, r-1], the element on the curve, and the
    // pair must not be our own reflected. Derives k, the KCK, the PMK and the PMKID. The body of a
    // Rejected Groups element (hash-to-element) is the salt of the key seed when given.
    bool ProcessPeerCommit(const Bytes& peerScalar, const Bytes& peerElement, const Bytes& rejectedGroups = {});
    // The confirm of this side for the send-confirm counter, and the check of the peer's.
    Bytes Confirm(uint16_t sendConfirm) const;
    bool CheckPeerConfirm(uint16_t peerSendConfirm, const Bytes& confirm) const;

    const Bytes& Kck() const { return kck_; }
    const Bytes& Pmk() const { return pmk_; }
    const Bytes& Pmkid() const { return pmkid_; }

    struct Curve;  // the group's arithmetic (inside the library only)

private:
    Session();
    std::unique_ptr<Curve> c_;
    Bytes scalar_, element_, peerScalar_, peerElement_, kck_, pmk_, pmkid_;
};

// An SAE commit message body (after algorithm, sequence and status). Without hash-to-element the
// token follows the group; with it the token rides in the Anti-Clogging Token Container element
// (255, length, 93) after the scalar, the element, a Password Identifier element (255, length, 33)
// and a Rejected Groups element (255, length, 92).
struct Commit {
    uint16_t group = kGroup19;
    Bytes token;
    Bytes scalar;
    Bytes element;
    Bytes passwordIdentifier;
    std::vector<uint16_t> rejectedGroups;
};
Bytes BuildCommit(const Commit& commit, bool hashToElement);
// tokenLength: the length of the anti-clogging token the frame must carry (0: none), as the
// authenticator that issued it knows it. Empty for a group other than 19, a body whose parts do not
// fit, an unknown or cut element after the element, or a token other than the one expected.
std::optional<Commit> ParseCommit(const Bytes& body, bool hashToElement, size_t tokenLength);

// A confirm message body: send-confirm (little-endian) and the confirm.
Bytes BuildConfirm(uint16_t sendConfirm, const Bytes& confirm);
std::optional<std::pair<uint16_t, Bytes>> ParseConfirm(const Bytes& body);

// The authenticator's anti-clogging tokens: HMAC-SHA256 of the peer's address under a secret the
// authenticator keeps, so it stores nothing per peer.
Bytes MakeAntiCloggingToken(const Bytes& secret, const MacAddress& peer);
bool CheckAntiCloggingToken(const Bytes& secret, const MacAddress& peer, const Bytes& token);
// The body of the authenticator's answer that asks for a token (status 76): group and token.
Bytes BuildAntiCloggingRequest(uint16_t group, const Bytes& token, bool hashToElement);
// The token of such an answer; empty when the body is malformed.
std::optional<Bytes> ParseAntiCloggingRequest(const Bytes& body, bool hashToElement);

}  // namespace sae
}  // namespace kshim::host::wpa
