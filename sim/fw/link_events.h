// Link events the firmware raises about a connection, in the dialect of each generation (a legacy
// event on the second generation, the unified event on the third; docs/hardware.md, "Link events"):
// beacon time-out, link quality, channel-switch countdown done and a peer's absence or presence.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "chip/model.h"

namespace sim::fw {

struct LinkQualityRecord {
    int8_t rssi = 0;        // dBm
    uint16_t linkRate = 0;  // 500 kb/s
    bool valid = false;
};

std::vector<uint8_t> BeaconTimeoutEvent(sim::chip::Generation generation, uint8_t bssIndex, uint8_t reason);
// One record per BSS index 0..3.
std::vector<uint8_t> LinkQualityEvent(sim::chip::Generation generation, const std::array<LinkQualityRecord, 4>& records);
std::vector<uint8_t> CsaDoneEvent(sim::chip::Generation generation);
std::vector<uint8_t> AbsencePresenceEvent(sim::chip::Generation generation, uint8_t bssIndex, bool absent,
                                          uint8_t secondByte);

}  // namespace sim::fw
