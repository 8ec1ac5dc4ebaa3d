// The radio medium: channels of the 2.4, 5 and 6 GHz bands carrying 802.11 frames between parties
// (our simulated devices, access points, later stations and Wi-Fi Direct devices).
//
// Time is the stand-in's clock (100 ns units). The medium itself keeps no clock and runs nothing on
// its own: a transmission reaches, at once and stamped with its time, every other party on that
// channel at that time; frames a party sends on its own schedule (beacons) are computed for the
// window a receiver listens in (Listen), so nothing happens while nobody listens. A party answers
// through the medium from inside Receive (Transmit with a later time stamp); the receiver decides
// when to act on a frame (a device hands it to its host at the frame's time).
//
// Signal: a peer knows its signal at our devices' antennas (PathSignalDbm), the same in both
// directions; frames between two devices arrive at -40 dBm, between two peers at -60 dBm. A frame
// below a receiver's sensitivity (-95 dBm) is not received.
//
// Capture: every frame a device sends or receives can go to a capture (the air as our antenna sees
// it); the capture gets the channel, the time and, for received frames, the signal.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "air/ieee80211.h"

namespace sim::air {

// A frame as one receiver got it.
struct Reception {
    Channel channel;
    int64_t time = 0;                 // stand-in clock, 100 ns units
    int8_t signalDbm = 0;             // at the receiver
    std::array<int8_t, 4> chainDbm{};  // per receive chain
};

// A frame a party sends on its own schedule.
struct Emission {
    int64_t time = 0;
    Bytes frame;
    std::optional<int8_t> signalDbm;  // this frame's own signal at our devices (replayed frames)
};

class Medium;

// Anything with an antenna on the medium.
class Party {
public:
    virtual ~Party() = default;
    // The party's own addresses are its business; the medium only needs to know where it listens.
    // True when the party hears channel `c` at time `t`.
    virtual bool Hears(Channel c, int64_t t) const = 0;
    // The one entry point of every frame that reaches the party (it filters by address itself).
    virtual void Receive(const Bytes& frame, const Reception& rx) = 0;
    // Frames the party sends on its own schedule on channel `c` in [from, to) (beacons).
    virtual void Scheduled(Channel c, int64_t from, int64_t to, std::vector<Emission>* out) {}
    // A peer's signal at our devices' antennas; devices answer nullopt.
    virtual std::optional<int8_t> PathSignalDbm(int64_t t) const { return std::nullopt; }
    // Per-chain offsets added to the signal of frames this party sends to a device.
    virtual std::array<int8_t, 4> ChainOffsets() const { return {}; }
    // A device (our chip's radio): its frames and receptions go to the capture.
    virtual bool IsDevice() const { return false; }
    // The medium goes away while the party is still on it.
    virtual void MediumGone() {}
};

// Where captured frames go (air/pcap.h writes them to a file).
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // `signalDbm` is set for frames a device received.
    virtual void Captured(const Bytes& frame, Channel c, int64_t time, std::optional<int8_t> signalDbm) = 0;
};

constexpr int8_t kSensitivityDbm = -95;
constexpr int8_t kDeviceToDeviceDbm = -40;
constexpr int8_t kPeerToPeerDbm = -60;

class Medium {
public:
    Medium() = default;
    ~Medium();
    Medium(const Medium&) = delete;
    Medium& operator=(const Medium&) = delete;

    void Join(Party* party);
    void Leave(Party* party);

    // `from` sends `frame` on channel `c` at `time`: every other party that hears c then receives it.
    void Transmit(Party* from, Channel c, int64_t time, const Bytes& frame);
    // `receiver` listens on `c` over [from, to): the scheduled frames of the other parties on c in
    // that window reach it, in time order.
    void Listen(Party* receiver, Channel c, int64_t from, int64_t to);

    void SetCapture(std::shared_ptr<CaptureSink> sink);
    uint64_t Transmissions() const;

private:
    std::vector<Party*> Parties() const;
    Reception ReceptionOf(const Party* from, const Party* to, Channel c, int64_t time) const;
    void Capture(const Bytes& frame, Channel c, int64_t time, std::optional<int8_t> signal) const;

    mutable std::mutex mutex_;  // the party list and the capture; never held across a call to a party
    std::vector<Party*> parties_;
    std::shared_ptr<CaptureSink> capture_;
    uint64_t transmissions_ = 0;
};

}  // namespace sim::air
