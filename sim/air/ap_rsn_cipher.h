// Frame protection of an RSN link, as the access points and the chip's hardware apply it (on
// OpenSSL): CCMP-128 and GCMP-256 for data and protected management frames, BIP-CMAC-128 and
// BIP-GMAC-256 for group-addressed management frames.
//
// Protect inserts the 8-byte CCMP/GCMP header after the MAC header, encrypts the body, appends the
// MIC and sets the Protected bit. Unprotect checks the header, the MIC and the length of each part
// before anything is read, and gives back the frame as it was sent (Protected bit clear) with the
// packet number. BIP appends a Management MIC element to a group-addressed management frame and
// checks one.
#pragma once

#include <cstdint>
#include <optional>

#include "air/ieee80211.h"

namespace sim::air::rsn {

// Cipher suite types of the IEEE OUI 00-0F-AC (the numbers the RSN element and key commands carry).
enum class Cipher : uint8_t {
    Ccmp128 = 4,
    BipCmac128 = 6,
    Gcmp256 = 9,
    BipGmac256 = 12,
};
const char* CipherText(Cipher c);
size_t KeyLength(Cipher c);   // bytes of the temporal key
size_t MicLength(Cipher c);   // bytes of the MIC the cipher appends

constexpr size_t kCipherHeaderLength = 8;  // PN0 PN1 rsvd key-id/ExtIV PN2..PN5
constexpr uint8_t kEidMme = 76;
constexpr uint16_t kFcProtected = 0x4000;

// The authenticated encryption under a frame cipher: AES-CCM with an 8-byte MIC and a 13-byte nonce
// (CCMP-128), or AES-GCM with a 16-byte tag and a 12-byte nonce (GCMP-256). Seal gives the
// ciphertext followed by the MIC; Open checks the MIC and gives the plaintext. Empty for a key or
// nonce of the wrong length, an integrity cipher, or (Open) a MIC that does not come out.
std::optional<Bytes> Seal(Cipher c, const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& plain);
std::optional<Bytes> Open(Cipher c, const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& sealed);

// The length of the MAC header of a frame (data: addresses 4, QoS control, HT control); 0 when the
// frame is shorter than its header.
size_t MacHeaderLength(const Bytes& frame);

// Encrypts a data or unicast management frame. Empty for a key of the wrong length, a frame shorter
// than its header, or an integrity cipher.
std::optional<Bytes> Protect(Cipher c, const Bytes& tk, uint8_t keyId, uint64_t pn, const Bytes& frame);

struct Unprotected {
    Bytes frame;     // the frame with its plain body and the Protected bit clear
    uint64_t pn = 0;
    uint8_t keyId = 0;
};
// Empty for a frame without the Protected bit, too short for header, cipher header and MIC, without
// the ExtIV bit, or whose MIC does not come out.
std::optional<Unprotected> Unprotect(Cipher c, const Bytes& tk, const Bytes& frame);
// The key id of a protected frame (from its cipher header), when the frame is long enough.
std::optional<uint8_t> ProtectedKeyId(const Bytes& frame);

// Appends the Management MIC element (key id, IPN, MIC) to a group-addressed management frame.
std::optional<Bytes> AddMme(Cipher c, const Bytes& igtk, uint16_t keyId, uint64_t ipn, const Bytes& frame);
// Checks the last element of the frame is a Management MIC element of this cipher with a correct
// MIC; gives its IPN.
std::optional<uint64_t> CheckMme(Cipher c, const Bytes& igtk, const Bytes& frame);

}  // namespace sim::air::rsn
