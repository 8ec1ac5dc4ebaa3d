// What the firmware reads from a unified command (third generation, once its RAM code runs): the
// 32-byte transmit descriptor, the 16-byte unified header and the payload, which is a fixed part
// (4 bytes; 8 for the station-record command 0x03 and the domain command 0x15) followed by TLVs {u16 tag, u16 length counting
// the 4-byte TLV header, value}. Everything little-endian.
//
// The firmware tells a unified header from a legacy one by bit 1 of the header's option byte
// (buffer byte 43), and accepts a buffer only when every length agrees: the descriptor's byte count
// with the buffer, the header's length with the header and payload, and the TLVs with the payload's
// end (no TLV shorter than its own header, none past the end, no bytes left over).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::fw {

constexpr size_t kUniHeaderLength = 16;
constexpr size_t kUniPrefixLength = 32 + kUniHeaderLength;
constexpr uint8_t kUniOptionQuery = 0x02;
constexpr uint8_t kUniOptionSet = 0x06;
constexpr uint8_t kUniOptionSetAnswer = 0x07;
constexpr uint8_t kUniCmdStaRec = 0x03;  // 8-byte fixed part
constexpr uint8_t kUniCmdDomain = 0x15;  // 8-byte fixed part: u32, three bytes, one reserved

struct UniTlv {
    uint16_t tag = 0;
    std::vector<uint8_t> value;  // the bytes after the 4-byte TLV header
};

struct UnifiedCommand {
    uint32_t txdWord0 = 0;
    uint32_t txdWord1 = 0;
    uint16_t headerLength = 0;  // 16 + payload
    uint16_t cmdId = 0;
    uint8_t seq = 0;
    uint8_t option = 0;
    std::vector<uint8_t> fixed;    // the fixed part
    std::vector<UniTlv> tlvs;      // in payload order
    std::vector<uint8_t> payload;  // fixed part and TLVs as received

    bool Query() const { return option == kUniOptionQuery; }
    bool WantsAnswer() const { return option == kUniOptionQuery || option == kUniOptionSetAnswer; }
    // The first TLV with this tag; none when absent.
    const UniTlv* Find(uint16_t tag) const;
};

// True when the buffer carries a unified header (bit 1 of the option byte), whatever else it holds.
bool IsUnifiedCommand(const uint8_t* data, size_t length);

// Decodes a unified command buffer of `length` bytes. None when it is not a well-formed unified
// command; *why then says which rule it broke.
std::optional<UnifiedCommand> DecodeUnifiedCommand(const uint8_t* data, size_t length, std::string* why = nullptr);

// One line for transcripts: id, option, sequence number, tags.
std::string Describe(const UnifiedCommand& command);

}  // namespace sim::fw
