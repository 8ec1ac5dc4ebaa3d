// Encoding of unified firmware events.
#include "fw/unified_events.h"

#include <stdexcept>

namespace sim::fw {

std::vector<uint8_t> EncodeUniTlv(uint16_t tag, const std::vector<uint8_t>& value)
{
    if (value.size() + 4 > 0xFFFF) {
        throw std::length_error("TLV longer than its length field");
    }
    std::vector<uint8_t> bytes;
    AppendU16(bytes, tag);
    AppendU16(bytes, static_cast<uint16_t>(value.size() + 4));
    bytes.insert(bytes.end(), value.begin(), value.end());
    return bytes;
}

std::vector<uint8_t> EncodeUnifiedEvent(uint8_t id, uint8_t seq, const std::vector<uint8_t>& fixed,
                                        const std::vector<UniTlv>& tlvs)
{
    std::vector<uint8_t> body(fixed);
    body.resize(4, 0);
    for (const UniTlv& tlv : tlvs) {
        std::vector<uint8_t> bytes = EncodeUniTlv(tlv.tag, tlv.value);
        body.insert(body.end(), bytes.begin(), bytes.end());
    }
    return EncodeUnifiedEventRaw(id, seq, body);
}

std::vector<uint8_t> EncodeUnifiedEventRaw(uint8_t id, uint8_t seq, const std::vector<uint8_t>& body)
{
    EventHeader header;
    header.id = id;
    header.seq = seq;
    header.option = kEventOptionUnified;
    return EncodeRamEvent(Generation::Third, header, body);
}

}  // namespace sim::fw
