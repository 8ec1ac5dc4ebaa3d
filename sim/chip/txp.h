// Data frames on the data rings (docs/hardware.md, "Data frames on the data rings"): the 64 bytes
// a data-ring descriptor covers are the 32-byte transmit descriptor and the 32-byte transmit packet
// table (TXP); the device gathers the 802.11 frame from the TXP's segments in host memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chip/wfdma.h"

namespace sim::chip {

constexpr size_t kTxdSize = 32;
constexpr size_t kTxpSize = 32;
constexpr size_t kDataDescriptorLength = kTxdSize + kTxpSize;
constexpr uint16_t kTxpTokenValid = 0x8000;
constexpr uint16_t kTxpSegmentLast = 0x8000;
constexpr unsigned kTxpSegments = 4;

struct DataFrame {
    unsigned ring = 0;      // hardware ring
    uint16_t token = 0;     // the host's record token (valid bit removed)
    uint8_t txd[kTxdSize] = {};
    unsigned segments = 0;  // segments used, the last one included
    std::vector<uint8_t> frame;  // the gathered 802.11 frame
};

// Decodes one data-ring buffer and reads its segments from host memory. False, with the reason in
// `error`, when the buffer is not 64 bytes, the token has no valid bit, no segment is marked last,
// a segment cannot be read, or the segments' lengths do not add up to the descriptor's length
// (DW0 bits 0-15) minus 32.
bool GatherDataFrame(const TxBuffer& buffer, DataFrame* out, std::string* error);

}  // namespace sim::chip
