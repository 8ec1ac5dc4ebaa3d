// Receive buffers the device writes into its receive rings besides firmware events
// (docs/hardware.md, "Received frames, transmit-done and receive reports"): received 802.11 frames
// behind the generation's receive descriptor, transmit-done reports and receive reports. Tests and
// the firmware model build them here and push them with Chip::PushRx.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim::chip {

enum class RxdGeneration : uint8_t { Older = 1, Second = 2, Third = 3 };

// Packet types of receive buffers.
constexpr uint8_t kRxTypeFrame = 2;
constexpr uint8_t kRxTypeTxDone = 6;
constexpr uint8_t kRxTypeSwDefined = 7;
constexpr uint8_t kRxTypeRxReport = 11;
constexpr uint8_t kRxTypeIcs = 12;

// Word 0 of a receive buffer: the byte count and the packet type.
uint32_t RxWord0(RxdGeneration gen, uint32_t byteCount, uint8_t type);

// The receive-descriptor fields a received frame carries.
struct RxdFields {
    uint8_t wlanIndex = 255;  // sender's station index, 255 none
    uint8_t bssIndex = 15;    // 15 no match
    uint8_t tid = 0;
    uint8_t channel = 0;      // the channel byte (byte 12 of the descriptor)
    uint8_t keyIndex = 0;
    uint8_t amsduPosition = 0;  // 0 none, 3 first, 2 middle, 1 last
    uint8_t securityMode = 0;
    bool unicast = true;      // to an own address
    bool group = false;
    bool fragment = false;
    bool translated = false;
    bool wake = false;
    uint32_t olderErrors = 0; // older chip: DW2 error bits (17-25)
    uint8_t headerPadding = 0;  // bytes between the groups and the 802.11 header (even)
    std::optional<std::array<uint8_t, 6>> packetNumber;  // group 1
    std::optional<std::array<uint8_t, 8>> timeStamp;     // group 2
    std::optional<std::array<uint32_t, 3>> rxVector;     // group 3: rate word, RCPI word, third field
    std::optional<std::vector<uint8_t>> longRxVector;    // group 5 (sized to the generation, zero-padded)
};

// A received frame: descriptor, groups, header padding, then the 802.11 frame.
std::vector<uint8_t> BuildRxFrame(RxdGeneration gen, const RxdFields& fields, const std::vector<uint8_t>& frame);

// A transmit-done report: word 0 (length in words in bits 2-15), word 1 (entry format in bits 16-18),
// then the entries as given.
std::vector<uint8_t> BuildTxDoneReport(RxdGeneration gen, uint8_t format, const std::vector<uint32_t>& entries);
// Format-5 entries carrying these tokens, two per entry (0x7FFF fills an odd last one).
std::vector<uint32_t> TxDoneFormat5(const std::vector<uint16_t>& tokens);

// A receive report: the 20 fixed words (word 0 the byte count and bit 25 when groups follow), then,
// with any group present, word 20 the group flags, word 21, and groups 1 (18 words), 2 (2), 3 (4)
// and 4 (26) in that order.
struct RxReportGroups {
    std::optional<std::array<uint32_t, 18>> group1;
    std::optional<std::array<uint32_t, 2>> group2;
    std::optional<std::array<uint32_t, 4>> group3;
    std::optional<std::array<uint32_t, 26>> group4;
};
std::vector<uint8_t> BuildRxReport(RxdGeneration gen, const RxReportGroups& groups);

}  // namespace sim::chip
