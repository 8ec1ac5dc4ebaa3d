// What the firmware reads from the scan, scan-abort, network-list-offload and domain commands, in
// both formats (docs/hardware.md, "The scan engine"):
//
//   legacy 0x03  scan request, version 2 (1188 bytes)       unified 0x16 with tag 0x01 (+ 0x0A-0x0E)
//   legacy 0x1A  scan request, version 1 (714 bytes)        -
//   legacy 0x1B  scan abort {sequence, 0, 0, 0}              unified 0x16 with tag 0x02, fixed byte 0
//   legacy 0x62  network list offload profiles (1224 bytes) unified 0x16 with tags 0x03, 0x05, 0x0A, 0x0C, 0x0D, 0x0F
//   legacy 0x61  network list offload {0 start, 1 stop}     unified 0x16 with tag 0x04
//   legacy 0x0F  domain: plan form (104 bytes) or list form unified 0x15 tag 2 (list form)
//
// Every count is bounded by the room its list has in the command; a count or length past that room
// (or past the bytes received) is a fault of the sender, noted, and the list is cut to what fits.
// Channels whose band or number does not exist are left out of the scan (and noted).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "air/ieee80211.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

using sim::air::Bytes;
using sim::air::Channel;
using sim::air::Mac;

constexpr uint8_t kLegacyCmdScanV2 = 0x03;
constexpr uint8_t kLegacyCmdScanV1 = 0x1A;
constexpr uint8_t kLegacyCmdScanAbort = 0x1B;
constexpr uint8_t kLegacyCmdNloConfig = 0x62;
constexpr uint8_t kLegacyCmdNloEnable = 0x61;
constexpr uint8_t kLegacyCmdDomain = 0x0F;
constexpr uint8_t kLegacyCmdBssActivate = 0x11;
constexpr uint8_t kLegacyEventScanDone = 0x0D;
constexpr uint8_t kLegacyEventNlo = 0x23;
constexpr uint16_t kUniCmdScan = 0x16;
constexpr uint16_t kUniCmdDevInfo = 0x01;
constexpr uint16_t kUniCmdBssInfo = 0x02;
constexpr uint8_t kUniEventScanDone = 0x0E;

constexpr size_t kScanV2Length = 1188;
constexpr size_t kScanV1Length = 714;
constexpr size_t kNloLength = 1224;
constexpr size_t kDomainV1Length = 104;

// Channel list kinds of the request.
constexpr uint8_t kChannelsAll = 0;
constexpr uint8_t kChannels2G4 = 1;
constexpr uint8_t kChannels5G = 2;
constexpr uint8_t kChannelsSocial = 3;
constexpr uint8_t kChannelsListed = 4;

struct ScanTarget {
    Mac bssid{};
    uint8_t channel = 0;    // 0: every channel of the scan
    uint8_t ssidIndex = 4;  // SSID slot; 4 (or any slot not sent): the wildcard SSID
};

struct ScanRequest {
    enum class Format : uint8_t { LegacyV1, LegacyV2, Unified } format = Format::LegacyV2;
    uint8_t seq = 0;
    uint8_t bssIndex = 0;
    uint8_t scanType = 1;  // 0 passive, 1 active
    uint8_t option = 0;
    uint8_t probeOption = 0;
    uint8_t flags = 0;  // bit 3: BSSID list present
    std::vector<Bytes> ssids;  // SSID slots as sent; an empty slot is the wildcard SSID
    uint16_t probeCount = 0;   // probe requests per SSID and channel (0: one)
    uint16_t dwellMs = 0;      // timing word 1: dwell on a channel where something answered (0: default)
    uint16_t budgetMs = 0;     // timing word 2: time for the whole request (0: no limit)
    uint16_t minDwellMs = 0;   // timing word 3: minimum dwell on an active channel (0: configured)
    uint8_t channelType = kChannelsAll;
    std::vector<Channel> channels;     // listed channels that exist
    unsigned channelsLeftOut = 0;      // listed channels that do not exist
    std::vector<ScanTarget> targets;   // BSSID list
    Mac filterAddress{};               // the address of a request without BSSID list (0: none)
    uint8_t bssidListByte = 0;
    Bytes extraIes;  // elements added to every probe request of the scan
};

std::optional<ScanRequest> DecodeScanV2(const Bytes& payload, std::vector<std::string>* faults);
std::optional<ScanRequest> DecodeScanV1(const Bytes& payload, std::vector<std::string>* faults);
// A unified command 0x16 carrying tag 0x01.
std::optional<ScanRequest> DecodeUnifiedScan(const UnifiedCommand& command, std::vector<std::string>* faults);

struct NloProfile {
    Bytes ssid;
    uint8_t flags = 0;     // bit 7 hidden network; low bits the authentication algorithm
    uint16_t cipher = 0;
};
struct NloRequest {
    uint8_t seq = 0;
    uint8_t bssIndex = 0;
    std::vector<Bytes> hiddenSsids;
    std::vector<NloProfile> profiles;
    std::vector<Channel> hints;
    std::array<uint32_t, 4> params{};  // in command order (u32 at 1164, 1168, 1172, 1176)
};
std::optional<NloRequest> DecodeNloConfig(const Bytes& payload, std::vector<std::string>* faults);
// A unified command 0x16 carrying the scheduled-scan tags (0x03 or 0x0F).
std::optional<NloRequest> DecodeUnifiedNlo(const UnifiedCommand& command, std::vector<std::string>* faults);

struct DomainChannel {
    Channel channel;
    uint32_t flags = 0;  // 2 passive, 8 radar
};
struct Domain {
    std::string country;
    std::vector<DomainChannel> channels;  // in the command's order
};
constexpr uint32_t kDomainPassive = 2;
constexpr uint32_t kDomainRadar = 8;
std::optional<Domain> DecodeDomain(const Bytes& payload, std::vector<std::string>* faults);
std::optional<Domain> DecodeUnifiedDomain(const UnifiedCommand& command, std::vector<std::string>* faults);
// The channels the firmware knows before any domain command: 2.4 GHz 1-11, the 5 GHz channels,
// the 6 GHz preferred scanning channels; radar channels marked.
Domain DefaultDomain();

}  // namespace sim::fw
