#include "fw/link_events.h"

#include "fw/events.h"
#include "fw/unified_events.h"

namespace sim::fw {
namespace {

using sim::chip::Generation;

std::vector<uint8_t> Legacy(Generation generation, uint8_t id, const std::vector<uint8_t>& payload)
{
    EventHeader header;
    header.id = id;
    return EncodeRamEvent(generation, header, payload);
}

}  // namespace

std::vector<uint8_t> BeaconTimeoutEvent(Generation generation, uint8_t bssIndex, uint8_t reason)
{
    if (generation == Generation::Third) {
        return EncodeUnifiedEvent(0x0C, 0, {bssIndex, 0, 0, 0}, {UniTlv{0, {reason, 0, 0, 0}}});
    }
    return Legacy(generation, 0x13, {bssIndex, reason, 0, 0});
}

std::vector<uint8_t> LinkQualityEvent(Generation generation, const std::array<LinkQualityRecord, 4>& records)
{
    std::vector<uint8_t> body(32, 0);
    for (size_t i = 0; i < records.size(); ++i) {
        uint8_t* r = body.data() + 8 * i;
        r[0] = static_cast<uint8_t>(records[i].rssi);
        r[2] = static_cast<uint8_t>(records[i].linkRate);
        r[3] = static_cast<uint8_t>(records[i].linkRate >> 8);
        r[5] = records[i].valid ? 1 : 0;
    }
    if (generation == Generation::Third) {
        return EncodeUnifiedEvent(0x23, 0, {0, 0, 0, 0}, {UniTlv{1, body}});
    }
    return Legacy(generation, 0x02, body);
}

std::vector<uint8_t> CsaDoneEvent(Generation generation)
{
    if (generation == Generation::Third) {
        return EncodeUnifiedEvent(0x09, 0, {0, 0, 0, 0}, {UniTlv{0, {0, 0, 0, 0}}});
    }
    return Legacy(generation, 0x61, {0, 0, 0, 0});
}

std::vector<uint8_t> AbsencePresenceEvent(Generation generation, uint8_t bssIndex, bool absent, uint8_t secondByte)
{
    if (generation == Generation::Third) {
        return EncodeUnifiedEvent(0x29, 0, {bssIndex, 0, 0, 0},
                                  {UniTlv{0, {static_cast<uint8_t>(absent ? 1 : 0), secondByte, 0, 0}}});
    }
    return Legacy(generation, 0x11, {bssIndex, static_cast<uint8_t>(absent ? 1 : 0), secondByte, 0});
}

}  // namespace sim::fw
