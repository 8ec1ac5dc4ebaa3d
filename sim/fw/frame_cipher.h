// The chip's frame protection (docs/hardware.md, "Frame protection"): the keys the host installs with
// the key command (legacy 0x07, or its 64 bytes in tag 0x27 of the unified station-record command
// 0x03) and the default-key command (legacy 0x08), and what the chip does with them on the air.
//
// Transmit: a frame whose frame control has the Protected bit goes out under a key: a unicast frame
// under the pairwise key of the station its descriptor names (WLAN index; a management frame also
// under the pairwise key of its receiver's address), a group-addressed frame under the group key of
// that station entry. The chip inserts the CCMP/GCMP header with the key's next packet number and
// appends the MIC. A protected frame without such a key, or under a cipher the chip does not run
// here, is not sent.
//
// Receive: a protected frame is decrypted with the pairwise key of its transmitter (unicast) or the
// group key of the transmitter with the frame's key id (group-addressed); the cipher header and the
// MIC are removed, the Protected bit stays, and the descriptor carries the packet number, the key
// index and the cipher as its security mode. A frame without a key, whose MIC does not come out, or
// whose packet number is not above the last one of its traffic identifier is dropped and counted. A
// group-addressed robust management frame that ends in a Management MIC element is checked under an
// installed BIP-CMAC-128 key (its integrity group number must rise too); BIP-GMAC-256 reaches the
// chip without key bytes and is left to the host.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "air/ieee80211.h"
#include "chip/rx_build.h"
#include "fw/legacy_cmd.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

constexpr uint8_t kLegacyCmdKey = 0x07;
constexpr uint8_t kLegacyCmdDefaultKey = 0x08;
constexpr uint16_t kUniTagKey = 0x27;
constexpr uint8_t kLegacyEventAddKeyDone = 0x24;
constexpr uint8_t kUniEventAddKeyDone = 0x12;
constexpr size_t kKeyPayloadLength = 64;

// Cipher codes of the key command.
constexpr uint8_t kFwCipherCcmp128 = 4;
constexpr uint8_t kFwCipherBipCmac128 = 6;
constexpr uint8_t kFwCipherGcmp256 = 12;
constexpr uint8_t kFwCipherBipGmac256 = 17;

// One key command's 64 bytes: byte 0 add, 1 pairwise, 4-9 peer, 10 BSS index, 11 cipher, 12 key
// index, 13 key length, 14 WLAN index, from 16 the key bytes.
struct KeyCommand {
    bool add = false;
    bool pairwise = false;
    sim::air::Mac peer{};
    uint8_t bssIndex = 0;
    uint8_t cipher = 0;
    uint8_t keyIndex = 0;
    uint8_t wlanIndex = 0;
    sim::air::Bytes key;  // the key length's bytes (at most the 48 the payload holds)
};
std::optional<KeyCommand> ParseKeyCommand(const uint8_t* payload, size_t length);

struct InstalledKey {
    KeyCommand command;
    uint64_t txPn = 0;                                  // last packet number sent
    std::array<std::optional<uint64_t>, 17> rxPn{};     // last received, per TID; 16: management
};

struct FrameCipherRecord {
    uint64_t keysAdded = 0;
    uint64_t keysRemoved = 0;
    uint64_t malformed = 0;     // key commands too short for their payload
    uint64_t protectedOut = 0;  // frames protected on transmit
    uint64_t notSent = 0;       // protected frames without a key the chip can use
    uint64_t decrypted = 0;
    uint64_t noKey = 0;         // protected frames received without a matching key (dropped)
    uint64_t micFailures = 0;   // (dropped)
    uint64_t replays = 0;       // (dropped)
    uint64_t bipChecked = 0;    // group-addressed management frames whose MIC element checked out
    uint64_t bipFailures = 0;   // (dropped)
};

class FrameCipher {
public:
    // The answer a pairwise key add is due: the add-key-done event's fields.
    struct KeyDone {
        uint8_t bssIndex = 0;
        sim::air::Mac peer{};
    };
    // Key and default-key commands (other ids are ignored).
    std::optional<KeyDone> Take(const LegacyCommand& command);
    std::optional<KeyDone> Take(const UnifiedCommand& command);
    // The add-key-done event of either format, answering the command of sequence number `seq`; the
    // legacy event's payload {BSS index, 0, peer}.
    static std::vector<uint8_t> AddKeyDoneEvent(Generation generation, uint8_t seq, const KeyDone& done);
    static std::vector<uint8_t> AddKeyDoneBody(const KeyDone& done);

    // Transmit: `frame` as the device sends it, `txd` its transmit descriptor. False when the frame
    // must not go on the air; the frame is protected in place when its Protected bit asks for it.
    bool Outgoing(const uint8_t* txd, sim::air::Bytes* frame);
    // Receive: false when the frame is dropped; a protected frame is decrypted in place and the
    // descriptor fields take its packet number, key index and security mode.
    bool Incoming(sim::air::Bytes* frame, sim::chip::RxdFields* fields);

    std::vector<InstalledKey> Keys() const;
    FrameCipherRecord Record() const;
    // The chip lost its RAM code: the keys are gone.
    void Clear();

private:
    std::optional<KeyDone> TakeKey(const uint8_t* payload, size_t length);
    InstalledKey* FindLocked(bool pairwise, uint8_t wlanIndex, uint8_t keyIndex);
    InstalledKey* PairwiseByAddressLocked(const sim::air::Mac& peer);
    InstalledKey* GroupForTransmitLocked(uint8_t wlanIndex);
    InstalledKey* GroupForReceiveLocked(const sim::air::Mac& transmitter, uint8_t keyId, bool integrity);
    bool CheckBipLocked(const sim::air::FrameAddresses& a, const sim::air::Bytes& frame);

    mutable std::mutex mutex_;
    std::vector<InstalledKey> keys_;  // in the order installed
    std::array<std::optional<uint8_t>, 256> defaultKey_{};  // per BSS index
    FrameCipherRecord record_;
};

}  // namespace sim::fw
