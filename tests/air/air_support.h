// Shared helpers of the air's tests: the manual clock, command payloads written from the command
// layouts, a recording host for the scan engine, element lookups, and tshark.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "air/ieee80211.h"
#include "air/world.h"
#include "fw/scan_engine.h"
#include "fw/unified_cmd.h"
#include "kshim/host/control.h"

namespace airtest {

using sim::air::Band;
using sim::air::Bytes;
using sim::air::Channel;
using sim::air::Mac;

inline Mac M(const char* text)
{
    Mac m{};
    EXPECT_TRUE(sim::air::ParseMac(text, &m)) << text;
    return m;
}

inline Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}
inline uint32_t Get32(const Bytes& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// Every test of the air runs on the manual clock.
class ManualClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::ClockSetManual();
        start_ = kshim::host::ClockNow();
    }
    void TearDown() override { kshim::host::ResetDefaults(); }
    static void AdvanceMs(int64_t ms) { kshim::host::ClockAdvanceMs(ms); }
    static void AdvanceUs(int64_t us) { kshim::host::ClockAdvance(us * 10); }
    int64_t start_ = 0;
};

// A scan request, version 2 (command 0x03, 1188 bytes), as the layout gives it.
struct ScanV2 {
    uint8_t seq = 1;
    uint8_t bss = 0;
    uint8_t type = 1;
    std::vector<std::string> ssids;
    std::vector<std::pair<uint8_t, uint8_t>> channels;  // band, channel
    uint8_t channelType = 0xFF;                         // 0xFF: 4 with channels, else 0
    Bytes extra;
    uint16_t probeCount = 0;
    uint16_t word1 = 0, word2 = 0, word3 = 0;
    std::vector<Mac> bssids;          // sets flag bit 3
    std::array<uint8_t, 4> bssidChannel{};
    std::array<uint8_t, 4> bssidSsid{4, 4, 4, 4};
    uint8_t bssidListByte = 0;

    Bytes Payload() const
    {
        Bytes p(1188, 0);
        p[0] = seq;
        p[1] = bss;
        p[2] = type;
        p[4] = static_cast<uint8_t>(ssids.size());
        for (size_t i = 0; i < ssids.size(); ++i) {
            Put32(p, 8 + 36 * i, static_cast<uint32_t>(ssids[i].size()));
            std::copy(ssids[i].begin(), ssids[i].end(), p.begin() + 12 + 36 * i);
        }
        Put16(p, 152, probeCount);
        Put16(p, 154, word1);
        Put16(p, 156, word2);
        Put16(p, 828, word3);
        p[158] = channelType != 0xFF ? channelType : (channels.empty() ? 0 : 4);
        p[159] = static_cast<uint8_t>(channels.size());
        for (size_t i = 0; i < channels.size(); ++i) {
            const size_t at = i < 32 ? 160 + 2 * i : 830 + 2 * (i - 32);
            p[at] = channels[i].first;
            p[at + 1] = channels[i].second;
        }
        if (channels.size() > 32) {
            p[7] = 1;
            p[826] = static_cast<uint8_t>(channels.size() - 32);
        }
        Put16(p, 224, static_cast<uint32_t>(extra.size()));
        std::copy(extra.begin(), extra.end(), p.begin() + 226);
        if (!bssids.empty()) {
            p[6] |= 0x08;
            for (size_t i = 0; i < bssids.size(); ++i) {
                std::copy(bssids[i].begin(), bssids[i].end(), p.begin() + 1124 + 6 * i);
                p[976 + i] = bssidChannel[i];
                p[980 + i] = bssidSsid[i];
            }
        }
        p[1148] = bssidListByte;
        return p;
    }
};

inline sim::fw::LegacyCommand Legacy(uint8_t id, Bytes payload, uint8_t seq = 5)
{
    sim::fw::LegacyCommand c;
    c.cmdId = id;
    c.packetType = 0xA0;
    c.setQuery = 1;
    c.seq = seq;
    c.headerLength = static_cast<uint16_t>(32 + payload.size());
    c.payload = std::move(payload);
    return c;
}

// A unified command buffer (descriptor, 16-byte header, fixed part, TLVs) decoded as the firmware does.
inline sim::fw::UnifiedCommand Unified(uint16_t id, const Bytes& fixed, const std::vector<std::pair<uint16_t, Bytes>>& tlvs,
                                       uint8_t option = 6, uint8_t seq = 9)
{
    Bytes payload = fixed;
    for (const auto& [tag, value] : tlvs) {
        const size_t at = payload.size();
        payload.resize(at + 4);
        Put16(payload, at, tag);
        Put16(payload, at + 2, static_cast<uint32_t>(value.size() + 4));
        payload.insert(payload.end(), value.begin(), value.end());
    }
    Bytes b(48, 0);
    Put32(b, 0, static_cast<uint32_t>(48 + payload.size()) | (1u << 24) | (1u << 30));
    b[5] = 0x40;
    Put16(b, 32, static_cast<uint32_t>(16 + payload.size()));
    Put16(b, 34, id);
    b[37] = 0xA0;
    b[39] = seq;
    b[43] = option;
    b.insert(b.end(), payload.begin(), payload.end());
    std::string why;
    std::optional<sim::fw::UnifiedCommand> c = sim::fw::DecodeUnifiedCommand(b.data(), b.size(), &why);
    EXPECT_TRUE(c) << why;
    return c.value_or(sim::fw::UnifiedCommand{});
}

// The scan engine's host as a test sees it: what it pushed, and a frame ring that may be full.
class RecordingHost : public sim::fw::ScanHost {
public:
    bool PushFrame(const Bytes& buffer) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (refuseFrames) {
            return false;
        }
        frames.push_back(buffer);
        return true;
    }
    bool PushEvent(const Bytes& buffer) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (refuseEvents) {
            return false;
        }
        events.push_back(buffer);
        return true;
    }
    bool FramesTaken() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++takenChecks;
        return framesTaken;
    }
    std::vector<Bytes> Frames()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    std::vector<Bytes> Events()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }

    std::mutex mutex;
    std::vector<Bytes> frames;
    std::vector<Bytes> events;
    bool refuseFrames = false;
    bool refuseEvents = false;
    bool framesTaken = true;
    unsigned takenChecks = 0;
};

// The 802.11 frame inside a receive buffer of the frame ring (second generation: 24-byte
// descriptor and an 8-byte group 3; third: 32 and 16), and the descriptor fields tests read.
struct RxView {
    uint8_t channelByte = 0;
    uint32_t rcpiWord = 0;
    bool group = false, unicast = false, wake = false;
    Bytes frame;
};
inline RxView ParseRx(const Bytes& b, bool third)
{
    RxView v;
    const size_t base = third ? 32 : 24;
    const uint32_t dw1 = Get32(b, 4);
    const uint32_t dw3 = Get32(b, 12);
    const uint32_t flags = third ? (dw1 >> 16) & 0x1F : (dw1 >> 11) & 0x1F;
    EXPECT_EQ(flags, 0x4u) << "only group 3 (the receive vector) is announced";
    v.channelByte = b[12];
    v.group = (dw3 >> 17) & 1;
    v.unicast = (dw3 >> 16) & 1;
    v.wake = (dw3 >> 19) & 1;
    v.rcpiWord = Get32(b, base + 4);
    const size_t groupSize = third ? 16 : 8;
    const uint32_t count = Get32(b, 0) & 0xFFFF;
    EXPECT_EQ(count, b.size());
    v.frame.assign(b.begin() + static_cast<std::ptrdiff_t>(base + groupSize), b.end());
    return v;
}

// Elements of a frame (from `offset`), by id (and extension id).
inline std::optional<Bytes> ElementOf(const Bytes& frame, size_t offset, uint8_t id, uint8_t ext = 0)
{
    if (frame.size() < offset) {
        return std::nullopt;
    }
    std::optional<sim::air::Element> e = sim::air::FindElement(frame.data() + offset, frame.size() - offset, id, ext);
    if (!e) {
        return std::nullopt;
    }
    return Bytes(e->body, e->body + e->length);
}
inline std::optional<std::string> SsidOf(const Bytes& frame)
{
    const uint16_t fc = sim::air::Le16(frame.data());
    const size_t offset = fc == sim::air::kFcProbeReq ? 24 : 36;
    std::optional<Bytes> s = ElementOf(frame, offset, sim::air::kEidSsid);
    if (!s) {
        return std::nullopt;
    }
    return std::string(s->begin(), s->end());
}

// tshark: runs it over a capture and gives its output lines (empty with a note when it is missing).
inline bool HaveTshark() { return std::system("tshark --version >/dev/null 2>&1") == 0; }
inline std::vector<std::string> Tshark(const std::string& args)
{
    std::vector<std::string> lines;
    FILE* p = popen(("tshark " + args + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) {
        return lines;
    }
    char buffer[8192];
    while (std::fgets(buffer, sizeof(buffer), p) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        lines.push_back(line);
    }
    pclose(p);
    return lines;
}

inline std::string TempPath(const std::string& name)
{
    char pattern[] = "/tmp/qzl-air-XXXXXX";
    const char* dir = mkdtemp(pattern);
    EXPECT_NE(dir, nullptr);
    return std::string(dir == nullptr ? "/tmp" : dir) + "/" + name;
}

}  // namespace airtest
