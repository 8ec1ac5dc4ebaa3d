// Decoding of unified firmware commands.
#include "fw/unified_cmd.h"

#include <cstdio>

namespace sim::fw {

namespace {

constexpr size_t kTxd = 32;
constexpr uint8_t kPacketType = 0xA0;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }


}  // namespace

const UniTlv* UnifiedCommand::Find(uint16_t tag) const
{
    for (const UniTlv& tlv : tlvs) {
        if (tlv.tag == tag) {
            return &tlv;
        }
    }
    return nullptr;
}

bool IsUnifiedCommand(const uint8_t* data, size_t length)
{
    return data != nullptr && length >= kUniPrefixLength && (data[kTxd + 11] & 0x02) != 0;
}

std::optional<UnifiedCommand> DecodeUnifiedCommand(const uint8_t* data, size_t length, std::string* why)
{
    auto Refuse = [](std::string* reasonOut, const char* reason) -> std::optional<UnifiedCommand> {
        if (reasonOut != nullptr) {
            *reasonOut = reason;
        }
        return std::nullopt;
    };
    if (data == nullptr || length < kUniPrefixLength) {
        return Refuse(why, "shorter than descriptor and unified header");
    }
    if (length > 0xFFFF) {
        return Refuse(why, "longer than a descriptor can announce");
    }
    const uint8_t* h = data + kTxd;
    UnifiedCommand c;
    c.txdWord0 = U32(data);
    c.txdWord1 = U32(data + 4);
    c.headerLength = U16(h);
    c.cmdId = U16(h + 2);
    c.seq = h[7];
    c.option = h[11];
    if ((c.option & 0x02) == 0) {
        return Refuse(why, "not a unified header");
    }
    if (c.option != kUniOptionQuery && c.option != kUniOptionSet && c.option != kUniOptionSetAnswer) {
        return Refuse(why, "option byte is none of query, set, set with answer");
    }
    if ((c.txdWord0 & (1u << 24)) == 0 || (c.txdWord0 & (1u << 30)) == 0) {
        return Refuse(why, "descriptor word 0 lacks bit 24 or 30");
    }
    if ((c.txdWord1 & (1u << 14)) == 0) {
        return Refuse(why, "descriptor word 1 lacks bit 14");
    }
    if (h[5] != kPacketType) {
        return Refuse(why, "header packet type is not 0xA0");
    }
    if ((c.txdWord0 & 0xFFFF) != length) {
        return Refuse(why, "descriptor length differs from the buffer");
    }
    // The payload follows the 48-byte prefix; the header counts itself and the payload.
    if (c.headerLength < kUniHeaderLength || kTxd + c.headerLength != length) {
        return Refuse(why, "header length differs from the buffer");
    }
    if (c.cmdId > 0xFF) {
        return Refuse(why, "command id wider than a byte");
    }
    if (c.seq == 0 || c.seq > 99) {
        return Refuse(why, "sequence number outside 1..99");
    }
    const size_t payloadLength = c.headerLength - kUniHeaderLength;
    const uint8_t* p = data + kUniPrefixLength;
    c.payload.assign(p, p + payloadLength);
    const size_t fixed = c.cmdId == kUniCmdStaRec || c.cmdId == kUniCmdDomain ? 8 : 4;
    if (payloadLength < fixed) {
        return Refuse(why, "payload shorter than its fixed part");
    }
    c.fixed.assign(p, p + fixed);
    size_t offset = fixed;
    while (offset < payloadLength) {
        const size_t remaining = payloadLength - offset;
        if (remaining < 4) {
            return Refuse(why, "bytes after the last TLV");
        }
        const uint16_t tlvLength = U16(p + offset + 2);
        if (tlvLength < 4) {
            return Refuse(why, "TLV shorter than its header");
        }
        if (tlvLength > remaining) {
            return Refuse(why, "TLV past the payload's end");
        }
        UniTlv tlv;
        tlv.tag = U16(p + offset);
        tlv.value.assign(p + offset + 4, p + offset + tlvLength);
        c.tlvs.push_back(std::move(tlv));
        offset += tlvLength;
    }
    return c;
}

std::string Describe(const UnifiedCommand& command)
{
    char line[160];
    int n = std::snprintf(line, sizeof(line), "unified command 0x%02X option %u seq %u, %zu payload bytes, tags",
                          command.cmdId, command.option, command.seq, command.payload.size());
    std::string text(line, n > 0 ? static_cast<size_t>(n) : 0);
    for (const UniTlv& tlv : command.tlvs) {
        std::snprintf(line, sizeof(line), " 0x%02X/%zu", tlv.tag, tlv.value.size() + 4);
        text += line;
    }
    return text;
}

}  // namespace sim::fw
