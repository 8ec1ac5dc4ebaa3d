// What the firmware reads from a legacy command: the buffer it takes off a transmit ring holds the
// 32-byte transmit descriptor, the 32-byte command header and the payload. Every generation speaks
// this format while its firmware runs from ROM; the second generation also once its RAM code runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chip/model.h"

namespace sim::fw {

using sim::chip::Generation;

constexpr size_t kTxdLength = 32;
constexpr size_t kLegacyHeaderLength = 32;
constexpr size_t kLegacyPrefixLength = kTxdLength + kLegacyHeaderLength;
constexpr uint8_t kCommandPacketType = 0xA0;
constexpr uint8_t kOptionUnified = 0x02;  // option byte bit of a unified header

struct LegacyCommand {
    // Transmit descriptor.
    uint32_t txdWord0 = 0;
    uint32_t txdWord1 = 0;
    uint16_t txdLength = 0;  // total bytes the descriptor announces
    // Command header.
    uint16_t headerLength = 0;  // payload + 32; 0 on the older chip before its RAM code runs
    uint16_t queueId = 0;
    uint8_t cmdId = 0;
    uint8_t packetType = 0;
    uint8_t setQuery = 0;
    uint8_t seq = 0;
    uint8_t extCmdId = 0;
    uint8_t byte42 = 0;
    uint8_t option = 0;
    std::vector<uint8_t> payload;
};

// Decodes a command buffer of `length` bytes as the given generation writes it. None when the bytes
// are not a well-formed legacy command (too short, a unified header, a descriptor or header length
// that disagrees with the buffer, a missing descriptor bit); *why then says which.
std::optional<LegacyCommand> DecodeLegacyCommand(Generation generation, const uint8_t* data, size_t length,
                                                 std::string* why = nullptr);

// One line for transcripts: id, set/query, sequence number, extended id, payload length.
std::string Describe(const LegacyCommand& command);

}  // namespace sim::fw
