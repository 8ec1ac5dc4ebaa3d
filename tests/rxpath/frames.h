// 802.11 frames for the receive-path tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace rxtest {

inline constexpr uint8_t kOwn0[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x00};
inline constexpr uint8_t kOwn1[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x01};
inline constexpr uint8_t kAp0[6] = {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x00};
inline constexpr uint8_t kAp1[6] = {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
inline constexpr uint8_t kOther[6] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05};
inline constexpr uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Frame control bytes 0 and 1, addresses 1-3, the sequence number, then `body` bytes (each its
// offset in the frame).
inline std::vector<uint8_t> Frame(uint8_t fc0, uint8_t fc1, const uint8_t* a1, const uint8_t* a2, const uint8_t* a3,
                                  size_t body = 8, uint16_t sequence = 0)
{
    std::vector<uint8_t> f(24 + body, 0);
    f[0] = fc0;
    f[1] = fc1;
    std::memcpy(&f[4], a1, 6);
    std::memcpy(&f[10], a2, 6);
    std::memcpy(&f[16], a3, 6);
    f[22] = static_cast<uint8_t>(sequence << 4);
    f[23] = static_cast<uint8_t>(sequence >> 4);
    for (size_t i = 24; i < f.size(); ++i) {
        f[i] = static_cast<uint8_t>(i);
    }
    return f;
}

}  // namespace rxtest
