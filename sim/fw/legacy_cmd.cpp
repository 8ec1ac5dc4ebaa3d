// Decoding of legacy firmware commands.
#include "fw/legacy_cmd.h"

#include <cstdio>

namespace sim::fw {

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }

std::optional<LegacyCommand> Refuse(std::string* why, const std::string& reason)
{
    if (why != nullptr) {
        *why = reason;
    }
    return std::nullopt;
}

}  // namespace

std::optional<LegacyCommand> DecodeLegacyCommand(Generation generation, const uint8_t* data, size_t length,
                                                 std::string* why)
{
    if (data == nullptr || length < kLegacyPrefixLength) {
        return Refuse(why, "shorter than descriptor and header");
    }
    if (length > 0xFFFF) {
        return Refuse(why, "longer than a descriptor can announce");
    }
    LegacyCommand c;
    const uint8_t* h = data + kTxdLength;
    c.option = h[11];
    if (c.option & kOptionUnified) {
        return Refuse(why, "unified header");
    }
    c.txdWord0 = U32(data);
    c.txdWord1 = U32(data + 4);
    c.headerLength = U16(h);
    c.queueId = U16(h + 2);
    c.cmdId = h[4];
    c.packetType = h[5];
    c.setQuery = h[6];
    c.seq = h[7];
    c.extCmdId = h[9];
    c.byte42 = h[10];
    if (generation == Generation::Older) {
        c.txdLength = U16(data);
    } else {
        c.txdLength = static_cast<uint16_t>(c.txdWord0 & 0xFFFF);
        if ((c.txdWord0 & (1u << 24)) == 0) {
            return Refuse(why, "descriptor word 0 lacks bit 24");
        }
        if (generation == Generation::Third && (c.txdWord0 & (1u << 30)) == 0) {
            return Refuse(why, "descriptor word 0 lacks bit 30");
        }
        if (c.packetType != kCommandPacketType) {
            return Refuse(why, "header packet type is not 0xA0");
        }
    }
    if (c.txdLength != length) {
        return Refuse(why, "descriptor length differs from the buffer");
    }
    // The older chip leaves the header length out before its RAM code runs.
    const bool headerLengthPresent = generation != Generation::Older || c.headerLength != 0;
    if (headerLengthPresent && c.headerLength != length - kTxdLength) {
        return Refuse(why, "header length differs from the buffer");
    }
    c.payload.assign(data + kLegacyPrefixLength, data + length);
    return c;
}

std::string Describe(const LegacyCommand& command)
{
    char line[160];
    std::snprintf(line, sizeof(line), "command 0x%02X set/query %u seq %u ext 0x%02X queue 0x%04X, %zu payload bytes",
                  command.cmdId, command.setQuery, command.seq, command.extCmdId, command.queueId,
                  command.payload.size());
    return line;
}

}  // namespace sim::fw
