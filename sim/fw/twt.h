// Target wake time as the firmware sees it (docs/hardware.md, "Target wake time"): the TWT agreement
// update the driver sends (legacy extended command 0x94, unified command 0x14) decoded, the TSF query
// (legacy extended command 0x3C, unified command 0x1A) recognised, and the firmware's answer to it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fw/events.h"
#include "fw/legacy_cmd.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

// The TSF query's command (and answer event) in the unified form.
constexpr uint16_t kUniCmdGetTsfQuery = 0x1A;

struct TwtAgreementUpdate {
    uint8_t slot = 0;
    uint8_t action = 0;        // 0 add, 2 delete, 3 peer, 4 all
    uint8_t ownMacIndex = 0;
    uint8_t flowId = 0;
    uint16_t wlanIndex = 0;
    uint8_t minWakeDuration = 0;
    uint8_t bssIndex = 0;
    uint64_t targetWakeTime = 0;
    uint16_t mantissa = 0;
    uint8_t exponent = 0;
    uint8_t flags = 0;         // bit 0 trigger, bit 1 announced, bit 2 protection
    bool operator==(const TwtAgreementUpdate&) const = default;
};

// None when the command is no agreement update or its payload is not the layout's.
std::optional<TwtAgreementUpdate> DecodeTwtAgreementUpdate(const LegacyCommand& command);
std::optional<TwtAgreementUpdate> DecodeTwtAgreementUpdate(const UnifiedCommand& command);

// The BSS index a TSF query asks about; none when the command is no TSF query.
std::optional<uint8_t> TsfQueryBssIndex(const LegacyCommand& command);
std::optional<uint8_t> TsfQueryBssIndex(const UnifiedCommand& command);

// The answer to a TSF query with the command's sequence number: second generation, run-time event
// 0xED extended 0x3C of 40 payload bytes with the TSF as a u64 at byte 32; third generation, unified
// event 0x1A with the TSF as u32 low and u32 high at payload bytes 24 and 28 (TLV 0 with a 24-byte value
// after the 4-byte fixed part). `payloadLength` shortens the legacy payload for the drop test (0: 40).
std::vector<uint8_t> TsfAnswer(Generation generation, uint8_t seq, uint8_t bssIndex, uint64_t tsf,
                               size_t payloadLength = 0);
// The two answers' contents: the legacy event payload (40 bytes unless `payloadLength` says otherwise)
// and the value of the unified event's TLV 0.
std::vector<uint8_t> LegacyTsfPayload(uint8_t bssIndex, uint64_t tsf, size_t payloadLength = 0);
std::vector<uint8_t> UnifiedTsfValue(uint8_t bssIndex, uint64_t tsf);

// The chip's TSF as the RAM code answers it: the stand-in's clock in microseconds.
uint64_t ChipTsf();

}  // namespace sim::fw
