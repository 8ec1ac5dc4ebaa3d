// Frames put on the air as they are, from a capture file or given one by one: a capture made
// elsewhere (or by this air) can be scanned.
//
// A replayed frame is on the air on its channel whenever a radio listens there: in every listening
// window on the channel each of the channel's frames arrives once, in the capture's order, 0.1 ms
// apart from the start of the window (and not after its end). The frame keeps the signal of the
// capture (radiotap), or the given one.
//
// The channel of a frame is the capture's (radiotap); in a plain 802.11 capture, a beacon's or probe
// response's own channel (DSSS Parameter Set, HT Operation or the 6 GHz Operation of HE Operation);
// otherwise the fallback channel when one is given. Frames with no channel are left out (counted).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "air/medium.h"
#include "air/pcap.h"

namespace sim::air {

constexpr int64_t kReplaySpacingUnits = 1000;  // 0.1 ms
constexpr int8_t kReplayDefaultSignalDbm = -50;

struct ReplayFrame {
    Channel channel;
    int8_t signalDbm = kReplayDefaultSignalDbm;
    Bytes frame;
};

// The channel a beacon or probe response says it is on.
std::optional<Channel> AdvertisedChannel(const Bytes& frame);

class ReplaySource : public Party {
public:
    ReplaySource() = default;
    void Add(std::vector<ReplayFrame> frames);
    // The records of a capture; returns how many were left out for want of a channel.
    unsigned AddCapture(const PcapFile& capture, std::optional<Channel> fallback);
    size_t Frames() const;

    bool Hears(Channel c, int64_t t) const override { return false; }
    void Receive(const Bytes& frame, const Reception& rx) override {}
    void Scheduled(Channel c, int64_t from, int64_t to, std::vector<Emission>* out) override;

private:
    mutable std::mutex mutex_;
    std::vector<ReplayFrame> frames_;
};

}  // namespace sim::air
