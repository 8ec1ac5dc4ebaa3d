// What the RAM code reports about the chip once it runs (docs/hardware.md, "The firmware in RAM"):
// the chip capability records {u32 tag, value}, sent by the legacy RAM code as event 0xEC (u16
// record count, two zero bytes, then each record as {u32 tag, u32 value length, value}) and by the
// third generation's unified RAM code as event 0x43 (one TLV per record).
//
// The standard records come first, in this order: the MAC address (tag 0x07), the PHY capability
// (tag 0x08: 12 bytes, byte 4 the spatial-stream count, bytes 6 and 7 the transmit and receive LDPC
// flags, byte 10 the transmit path mask), 6 GHz support (tag 0x18) and the factory-calibration
// capability (tag 0x24), each flag in byte 0 of four. Any further records follow as given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim::fw {

constexpr uint32_t kCapTag0 = 0x00;
constexpr uint32_t kCapTag1 = 0x01;
constexpr uint32_t kCapTag2 = 0x02;
constexpr uint32_t kCapTag3 = 0x03;
constexpr uint32_t kCapTagMacAddress = 0x07;
constexpr uint32_t kCapTagPhy = 0x08;
constexpr uint32_t kCapTag6Ghz = 0x18;
constexpr uint32_t kCapTagFactoryCal = 0x24;
constexpr size_t kCapPhyLength = 12;

struct CapabilityRecord {
    uint32_t tag = 0;
    std::vector<uint8_t> value;
};

struct ChipCapabilities {
    std::array<uint8_t, 6> macAddress{0x00, 0x0C, 0x43, 0x35, 0x00, 0x01};
    uint8_t streams = 2;     // PHY capability byte 4
    uint8_t txLdpc = 1;      // PHY capability byte 6
    uint8_t rxLdpc = 1;      // PHY capability byte 7
    uint8_t phyPath = 3;     // PHY capability byte 10
    uint8_t sixGhz = 0;      // tag 0x18 byte 0
    uint8_t factoryCal = 0;  // tag 0x24 byte 0 (0 keeps the calibration restore off)
    std::vector<CapabilityRecord> extra;  // after the standard four, in order
};

// The records of a report, the standard four first.
std::vector<CapabilityRecord> CapabilityRecords(const ChipCapabilities& caps);
// The records the legacy RAM code adds after the standard four: the version and feature words of
// tags 0 to 2, tag 3, and a tag the host has no use for (0x05).
std::vector<CapabilityRecord> LegacyExtraCapabilityRecords();
// Event 0xEC's payload: u16 count, two zero bytes, the records.
std::vector<uint8_t> EncodeChipCapabilityPayload(const std::vector<CapabilityRecord>& records);

}  // namespace sim::fw
