// The receive filters the host gives the firmware (docs/hardware.md, "Receive filters"): the packet
// filter (legacy 0x0A, 68 bytes: u32 filter; unified 0x08 tag 2: u32 filter) and the multicast list of
// a BSS (legacy 0xC1, 204 bytes: u32 count, u8 BSS index at 4, addresses from 8, u8 0xFF at 200;
// unified 0x0A: tag 0 {u8 BSS index}, then one tag 2 per address {u8 0, u8 BSS index, u8 slot, u8 1,
// address, 2 reserved}). Both formats decode to the same records, kept in arrival order.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "fw/legacy_cmd.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

constexpr uint8_t kLegacyCmdPacketFilter = 0x0A;
constexpr uint8_t kLegacyCmdMulticastList = 0xC1;
constexpr uint16_t kUniCmdPacketFilter = 0x08;
constexpr uint16_t kUniCmdMulticastList = 0x0A;

struct MulticastList {
    uint8_t bssIndex = 0;
    bool unified = false;
    std::vector<std::array<uint8_t, 6>> addresses;
};

class RxFilters {
public:
    // Takes one command; commands of other ids are ignored.
    void Take(const LegacyCommand& command);
    void Take(const UnifiedCommand& command);

    std::vector<uint32_t> PacketFilters() const;
    std::vector<MulticastList> MulticastLists() const;
    // Commands of these ids whose layout was wrong (length, count, end marker, slot numbers).
    unsigned Malformed() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<uint32_t> filters_;
    std::vector<MulticastList> lists_;
    unsigned malformed_ = 0;
};

}  // namespace sim::fw
