// The BSS and station records the firmware keeps (docs/hardware.md, "BSS and station records"): what
// the host told it of each BSS index (BSS information 0x12 with its radio-link parameters, and the
// radio-link command 0x19) and of each peer (station record 0x13, removal 0x14), in either command
// format. Legacy records keep the payload as received; unified records keep the latest value of each
// tag. The decoded fields below are what both formats carry.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "fw/legacy_cmd.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

constexpr uint8_t kLegacyCmdBssInfo = 0x12;
constexpr uint8_t kLegacyCmdStaRecUpdate = 0x13;
constexpr uint8_t kLegacyCmdStaRecRemove = 0x14;
constexpr uint8_t kLegacyCmdBssRlm = 0x19;
constexpr uint16_t kUniCmdBss = 0x02;
constexpr uint8_t kStaRecRemoveAllIndex = 20;

struct BssRecord {
    uint8_t bssIndex = 0;
    bool unified = false;
    unsigned updates = 0;        // BSS information and radio-link commands taken
    std::vector<uint8_t> info;   // legacy: the last 116-byte BSS information
    std::vector<uint8_t> rlm;    // legacy: the last 22 radio-link bytes (0x19 or BSS information 68..89)
    std::map<uint16_t, std::vector<uint8_t>> tags;  // unified: the latest value of each tag
    // Decoded.
    std::array<uint8_t, 6> bssid{};
    uint8_t band = 0;
    uint8_t primaryChannel = 0;
    uint8_t centre0 = 0;
    uint8_t centre1 = 0;
    uint8_t txStreams = 0;
    uint8_t rxStreams = 0;
};

struct StaRecord {
    uint8_t wlanIndex = 0;
    uint8_t bssIndex = 0;
    bool unified = false;
    unsigned updates = 0;
    std::vector<uint8_t> legacy;  // the last station record as received (202 or 236 bytes)
    std::map<uint16_t, std::vector<uint8_t>> tags;
    // Decoded.
    std::array<uint8_t, 6> address{};
    uint8_t state = 0;            // 0 unauthenticated, 1 authenticated, 2 associated
    uint16_t htCapInfo = 0;
    uint32_t vhtCapInfo = 0;
    uint16_t baWindow[2] = {0, 0};
    uint8_t amsduTx = 0;
    uint8_t amsduRx = 0;
};

class BssRecords {
public:
    // Takes one command; commands of other ids are ignored.
    void Take(const LegacyCommand& command);
    void Take(const UnifiedCommand& command);

    std::optional<BssRecord> Bss(uint8_t bssIndex) const;
    std::optional<StaRecord> Station(uint8_t wlanIndex) const;
    std::vector<uint8_t> StationIndexes() const;
    // Station-record removals taken: (remove all, WLAN index, BSS index).
    struct Removal {
        bool all;
        uint8_t wlanIndex;
        uint8_t bssIndex;
    };
    std::vector<Removal> Removals() const;
    unsigned Malformed() const;
    void Clear();

private:
    void RemoveLocked(bool all, uint8_t wlanIndex, uint8_t bssIndex);
    void DecodeRlmLocked(BssRecord& bss, const uint8_t* rlm);

    mutable std::mutex mutex_;
    std::map<uint8_t, BssRecord> bss_;
    std::map<uint8_t, StaRecord> stations_;
    std::vector<Removal> removals_;
    unsigned malformed_ = 0;
};

}  // namespace sim::fw
