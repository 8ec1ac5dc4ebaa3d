// The RAM code's channel manager as it answers channel-privilege commands (docs/hardware.md,
// "Channel privilege"): a request (legacy command 0x1C with byte 2 = 0, unified command 0x27 tag 0)
// is granted at once with the request's own fields; an abort (byte 2 = 1, unified tag 1) gets no
// answer. Legacy grant: event 0x10 of 16 bytes {BSS index, token, status 0, primary channel,
// secondary offset, band, width, centre 0, centre 1, request kind, band index, extra, u32 duration}.
// Unified grant: event 0x27 tag 0 of 20 value bytes in the same order, width and band index in their
// unified codes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fw/legacy_cmd.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

constexpr uint8_t kLegacyCmdChPrivilege = 0x1C;
constexpr uint8_t kLegacyEventChGrant = 0x10;
constexpr uint8_t kUniCmdChPrivilege = 0x27;
constexpr uint8_t kUniEventChGrant = 0x27;

// The payload of the legacy grant; none when the command is no request (or too short).
std::optional<std::vector<uint8_t>> LegacyChannelGrant(const LegacyCommand& command);
// The tag-0 value of the unified grant; none when the command carries no request tag.
std::optional<std::vector<uint8_t>> UnifiedChannelGrant(const UnifiedCommand& command);

}  // namespace sim::fw
