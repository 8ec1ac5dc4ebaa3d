// Firmware events as the firmware writes them into the event ring: the generation's receive
// descriptor, then the event header, then the payload, as one receive buffer.
//
// The receive descriptor of an event carries only word 0: the buffer's byte count in bits 0-15
// and packet type 7 (bits 27-31 on the second and third generation, bits 29-31 on the older chip),
// which makes the 16 bits at byte 2 read 0x3800 / 0xE000, the software-defined event sub-type.
// The run-time header is 12 bytes (length = header + payload, packet type, id, sequence number,
// option, reserved, extended id, two reserved, S2D index); the boot ROM writes only its first
// eight bytes (length = 8 + payload) and the payload follows at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chip/model.h"

namespace sim::fw {

using sim::chip::Generation;

constexpr size_t kEventHeaderLength = 12;
constexpr size_t kRomEventHeaderLength = 8;
constexpr uint16_t kEventPacketType = 0xE000;  // header packet type of every event the firmware writes
constexpr size_t kEventRingBufferSize = 3840;  // bytes of a receive buffer on the event ring

// 16, 24 or 32 bytes.
size_t RxDescriptorLength(Generation generation);
std::vector<uint8_t> RxDescriptor(Generation generation, uint16_t byteCount);

struct EventHeader {
    uint8_t id = 0;
    uint8_t seq = 0;
    uint8_t option = 0;  // bit 1: unified event
    uint8_t extId = 0;
    uint8_t s2dIndex = 0;
    uint16_t packetType = kEventPacketType;
};

// A run-time event buffer. Throws std::length_error when it would not fit a receive buffer.
std::vector<uint8_t> EncodeRamEvent(Generation generation, const EventHeader& header,
                                    const std::vector<uint8_t>& payload);
// A boot-ROM event buffer.
std::vector<uint8_t> EncodeRomEvent(Generation generation, uint8_t id, uint8_t seq,
                                    const std::vector<uint8_t>& payload);

// Little-endian field writers for payloads.
void AppendU16(std::vector<uint8_t>& bytes, uint16_t value);
void AppendU32(std::vector<uint8_t>& bytes, uint32_t value);

}  // namespace sim::fw
