// The OS's supplicant: the 4-way and group-key handshakes of a WPA2/WPA3 link as a state machine
// driven by the EAPOL-Key frames received over the data path, and the authenticator's side of the
// same handshakes (the simulated access points run it), both on the cryptography of wpa_crypto.h.
//
// The supplicant answers message 1 with message 2 (its SNonce, its RSN element, the MIC under the
// KCK of the PTK it derived), checks message 3 (replay counter, the ANonce of message 1, the MIC, the
// access point's RSN element against the one it advertised, the wrapped key data) and answers with
// message 4, then hands the keys to install: the pairwise key, the group key and, with protected
// management frames, the integrity group key. A group-key message 1 gives the new group key and is
// answered with group message 2. A frame that fails a check is dropped without an answer and
// counted; the handshake goes on with the next one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kshim/host/wpa_crypto.h"

namespace kshim::host::wpa {

// Cipher suite types of the IEEE OUI 00-0F-AC.
constexpr uint8_t kSuiteCcmp128 = 4;
constexpr uint8_t kSuiteBipCmac128 = 6;
constexpr uint8_t kSuiteGcmp256 = 9;
constexpr uint8_t kSuiteBipGmac256 = 12;
size_t SuiteKeyLength(uint8_t suite);  // 0 for a suite the handshakes do not carry

// KDEs of the EAPOL-Key key data (vendor element 221 with OUI 00-0F-AC and a data type).
struct GroupKey {
    uint8_t keyId = 0;
    Bytes key;
    uint64_t rsc = 0;  // receive sequence counter (IPN for an integrity key)
};
Bytes GtkKde(const GroupKey& gtk, bool tx = true);
Bytes IgtkKde(const GroupKey& igtk);
struct KeyData {
    Bytes rsnElement;  // the first RSN element (id, length, body)
    std::optional<GroupKey> gtk;
    std::optional<GroupKey> igtk;
};
// Walks the key data (elements and KDEs); padding (0xDD and zeros) ends it. Empty when an element or
// KDE does not fit or a key's length is not one the handshakes carry.
std::optional<KeyData> ParseKeyData(const Bytes& data);

// The descriptor version of the Key Information field for an AKM (2: HMAC-SHA1 and AES key wrap; 3:
// AES-CMAC; 0: the AKM defines it).
uint16_t KeyDescriptorVersion(Akm akm);

// A key the handshake asks to install.
struct InstallKey {
    bool pairwise = false;
    uint8_t keyId = 0;  // pairwise: 0
    uint8_t suite = 0;  // cipher suite type
    Bytes key;
    uint64_t rsc = 0;
};

struct HandshakeConfig {
    Akm akm = Akm::Psk;
    Bytes pmk;                 // 32 bytes
    MacAddress aa{};           // authenticator (BSSID)
    MacAddress spa{};          // supplicant
    uint8_t pairwiseSuite = kSuiteCcmp128;
    uint8_t groupSuite = kSuiteCcmp128;
    uint8_t groupMgmtSuite = 0;  // 0: no protected management frames
    Bytes supplicantRsn;         // the RSN element of the association request
    Bytes authenticatorRsn;      // the RSN element of the beacon or probe response
};

class Supplicant {
public:
    explicit Supplicant(HandshakeConfig config);

    enum class Step : uint8_t {
        Dropped,        // failed a check; no answer
        Message2,       // answered message 1
        Message4,       // answered message 3: keys to install
        GroupMessage2,  // answered a group-key message 1: the new group key
    };
    struct Result {
        Step step = Step::Dropped;
        Bytes reply;  // the EAPOL frame to send
        std::vector<InstallKey> keys;
        std::string why;  // what a dropped frame failed
    };
    // `eapol`: the EAPOL frame (802.1X header on).
    Result Receive(const Bytes& eapol);
    bool Complete() const { return complete_; }
    unsigned Dropped() const { return dropped_; }

private:
    Result Drop(std::string why);

    HandshakeConfig config_;
    std::optional<uint64_t> replay_;
    Bytes anonce_, snonce_;
    std::optional<Ptk> ptk_;
    bool complete_ = false;
    unsigned dropped_ = 0;
};

class Authenticator {
public:
    explicit Authenticator(HandshakeConfig config);

    // Message 1 of the 4-way handshake (a new ANonce). Sent again on a retry with the next replay
    // counter.
    Bytes Message1();
    enum class Step : uint8_t { Dropped, Message3, Complete, GroupComplete };
    struct Result {
        Step step = Step::Dropped;
        Bytes reply;
        std::string why;
    };
    // `gtk`, `igtk`: the group keys message 3 carries.
    Result Receive(const Bytes& eapol, const GroupKey& gtk, const std::optional<GroupKey>& igtk);
    // Group-key message 1 with a new group key (after the 4-way handshake); empty before.
    std::optional<Bytes> GroupMessage1(const GroupKey& gtk, const std::optional<GroupKey>& igtk);
    bool Complete() const { return complete_; }
    bool GroupPending() const { return groupPending_; }
    // The temporal key once message 2 checked out.
    const Bytes* Tk() const { return ptk_ ? &ptk_->tk : nullptr; }

private:
    Result Drop(std::string why);

    HandshakeConfig config_;
    uint64_t replay_ = 0;
    Bytes anonce_;
    std::optional<Ptk> ptk_;
    bool m3Sent_ = false;
    bool complete_ = false;
    bool groupPending_ = false;
};

}  // namespace kshim::host::wpa
