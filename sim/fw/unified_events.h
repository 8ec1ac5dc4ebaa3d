// Unified events as the third generation's RAM code writes them into the event ring: the 32-byte
// receive descriptor, the 12-byte event header with bit 1 of its option byte set, a 4-byte fixed
// part and TLVs {u16 tag, u16 length counting the 4-byte TLV header, value}.
#pragma once

#include <cstdint>
#include <vector>

#include "fw/events.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

constexpr uint8_t kEventOptionUnified = 0x02;

// One TLV as bytes.
std::vector<uint8_t> EncodeUniTlv(uint16_t tag, const std::vector<uint8_t>& value);

// A unified event buffer: id, sequence number (of the command it answers, 0 otherwise), the 4-byte
// fixed part and the TLVs in order. Throws std::length_error when it would not fit a receive buffer.
std::vector<uint8_t> EncodeUnifiedEvent(uint8_t id, uint8_t seq, const std::vector<uint8_t>& fixed,
                                        const std::vector<UniTlv>& tlvs);
// The same with a raw body after the fixed part (for events whose fields sit at fixed offsets).
std::vector<uint8_t> EncodeUnifiedEventRaw(uint8_t id, uint8_t seq, const std::vector<uint8_t>& body);

}  // namespace sim::fw
