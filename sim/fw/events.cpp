// Encoding of firmware events.
#include "fw/events.h"

#include <stdexcept>

namespace sim::fw {

namespace {

constexpr uint32_t kEventRxPacketType = 7;

void PutU16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> Frame(Generation generation, const uint8_t* header, size_t headerLength,
                           const std::vector<uint8_t>& payload)
{
    const size_t rxd = RxDescriptorLength(generation);
    const size_t total = rxd + headerLength + payload.size();
    if (total > kEventRingBufferSize) {
        throw std::length_error("firmware event larger than a receive buffer");
    }
    std::vector<uint8_t> bytes = RxDescriptor(generation, static_cast<uint16_t>(total));
    bytes.insert(bytes.end(), header, header + headerLength);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

}  // namespace

size_t RxDescriptorLength(Generation generation)
{
    switch (generation) {
    case Generation::Older:
        return 16;
    case Generation::Third:
        return 32;
    case Generation::Second:
    default:
        return 24;
    }
}

std::vector<uint8_t> RxDescriptor(Generation generation, uint16_t byteCount)
{
    std::vector<uint8_t> rxd(RxDescriptorLength(generation), 0);
    const uint32_t typeShift = generation == Generation::Older ? 29 : 27;
    const uint32_t word0 = byteCount | (kEventRxPacketType << typeShift);
    for (int i = 0; i < 4; ++i) {
        rxd[i] = static_cast<uint8_t>(word0 >> (8 * i));
    }
    return rxd;
}

std::vector<uint8_t> EncodeRamEvent(Generation generation, const EventHeader& header,
                                    const std::vector<uint8_t>& payload)
{
    uint8_t h[kEventHeaderLength] = {};
    PutU16(h, static_cast<uint16_t>(kEventHeaderLength + payload.size()));
    PutU16(h + 2, header.packetType);
    h[4] = header.id;
    h[5] = header.seq;
    h[6] = header.option;
    h[8] = header.extId;
    h[11] = header.s2dIndex;
    return Frame(generation, h, sizeof(h), payload);
}

std::vector<uint8_t> EncodeRomEvent(Generation generation, uint8_t id, uint8_t seq,
                                    const std::vector<uint8_t>& payload)
{
    uint8_t h[kRomEventHeaderLength] = {};
    PutU16(h, static_cast<uint16_t>(kRomEventHeaderLength + payload.size()));
    PutU16(h + 2, kEventPacketType);
    h[4] = id;
    h[5] = seq;
    return Frame(generation, h, sizeof(h), payload);
}

void AppendU16(std::vector<uint8_t>& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendU32(std::vector<uint8_t>& bytes, uint32_t value)
{
    AppendU16(bytes, static_cast<uint16_t>(value));
    AppendU16(bytes, static_cast<uint16_t>(value >> 16));
}

}  // namespace sim::fw
