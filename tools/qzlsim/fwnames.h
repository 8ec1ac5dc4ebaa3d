// Firmware commands by name, for people reading what the firmware received. A command the table
// does not know is shown by its ids alone.
#pragma once

#include <cstdint>
#include <string>

namespace qzlsim {

// A legacy command (second generation, and every chip before its RAM code runs in the unified
// form): its command id and, for the extended command 0xED, its extended id. Empty when unknown.
std::string LegacyCommandName(uint8_t cmdId, uint8_t extCmdId);

// A unified command (third generation once its RAM code runs): its id and the tag of its first
// TLV (-1: none), which tells apart the commands that share an id. Empty when unknown.
std::string UnifiedCommandName(uint16_t cmdId, int firstTag);

}  // namespace qzlsim
