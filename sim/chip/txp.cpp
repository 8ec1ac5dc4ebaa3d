#include "chip/txp.h"

#include <algorithm>
#include <cstdio>

#include "kshim/host/dma.h"

namespace sim::chip {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

// Offsets of each segment's address and length word inside the TXP.
struct Segment {
    unsigned address, length;
};
constexpr Segment kSegments[kTxpSegments] = {{8, 12}, {16, 14}, {20, 24}, {28, 26}};

}  // namespace

bool GatherDataFrame(const TxBuffer& buffer, DataFrame* out, std::string* error)
{
    char text[160];
    auto fail = [&](const char* what) {
        std::snprintf(text, sizeof(text), "data ring %u slot %u: %s", buffer.ring, buffer.slot, what);
        *error = text;
        return false;
    };
    if (buffer.length != kDataDescriptorLength) {
        return fail("descriptor length is not 64");
    }
    *out = DataFrame{};
    out->ring = buffer.ring;
    std::copy(buffer.data, buffer.data + kTxdSize, out->txd);
    const uint8_t* txp = buffer.data + kTxdSize;
    const uint16_t token = Le16(txp);
    if ((token & kTxpTokenValid) == 0) {
        return fail("token without valid bit");
    }
    out->token = token & ~kTxpTokenValid;
    const uint32_t declared = Le32(buffer.data) & 0xFFFF;
    if (declared < kTxdSize) {
        return fail("descriptor length below 32");
    }
    bool last = false;
    for (unsigned k = 0; k < kTxpSegments && !last; ++k) {
        const uint16_t word = Le16(txp + kSegments[k].length);
        const uint32_t length = word & 0x0FFF;
        const uint64_t address = Le32(txp + kSegments[k].address) | (static_cast<uint64_t>((word >> 12) & 0x7) << 32);
        last = (word & kTxpSegmentLast) != 0;
        ++out->segments;
        if (length == 0) {
            continue;
        }
        const size_t at = out->frame.size();
        out->frame.resize(at + length);
        if (!kshim::host::DmaRead(address, out->frame.data() + at, length)) {
            return fail("segment outside host memory");
        }
    }
    if (!last) {
        return fail("no segment marked last");
    }
    if (out->frame.size() != declared - kTxdSize) {
        std::snprintf(text, sizeof(text), "data ring %u slot %u: segments hold %zu bytes, descriptor declares %u",
                      buffer.ring, buffer.slot, out->frame.size(), declared - static_cast<unsigned>(kTxdSize));
        *error = text;
        return false;
    }
    return true;
}

}  // namespace sim::chip
