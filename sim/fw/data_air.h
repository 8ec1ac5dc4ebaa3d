// The data path's frames on the air. What the device sends from its rings (data frames, and the
// management and control frames of the command ring) goes out through the chip's radio on its home
// channel, at the moment the chip takes it; data frames the radio hears on the home channel come into
// the frame ring with the generation's descriptor, at the frame's time on the stand-in's clock.
//
// The sender's station record in a received frame's descriptor is the firmware's: a peer's WLAN
// index is what the host gave the peer's station record (AddPeer); a frame of a peer without one is
// written with no station (index 255), as the chip does for an unknown sender.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "air/timeline.h"
#include "fw/datapath.h"
#include "fw/frame_cipher.h"
#include "fw/scan_engine.h"

namespace sim::fw {

class DataAir {
public:
    // Both must outlive it; it takes the data path's air sink and the radio's data handler.
    DataAir(DataPath& data, ScanEngine& radio);
    ~DataAir();
    DataAir(const DataAir&) = delete;
    DataAir& operator=(const DataAir&) = delete;

    void AddPeer(const sim::air::Mac& peer, uint8_t wlanIndex, uint8_t bssIndex);
    // The chip's frame protection (fw/frame_cipher) the frames pass through both ways; it must
    // outlive this. None: frames go as they are.
    void SetCipher(FrameCipher* cipher);
    // Sees every frame the device sends, after it went on the air (the chip's lock is held: it must
    // not block or call back into the chip).
    void SetObserver(DataPath::AirSink observer);

    struct Record {
        uint64_t sent = 0;         // frames put on the air
        uint64_t notSent = 0;      // no air or no home channel, or a protected frame without its key
        uint64_t received = 0;     // data frames heard and written into the frame ring
        uint64_t unknownPeer = 0;  // of them, from a peer without a station record
        uint64_t dropped = 0;      // heard, and dropped by the frame protection
    };
    Record GetRecord() const;

private:
    void Sent(const SentDataFrame& frame);
    void Heard(const Bytes& frame, const sim::air::Reception& rx);

    DataPath& data_;
    ScanEngine& radio_;
    mutable std::mutex mutex_;
    std::map<sim::air::Mac, std::pair<uint8_t, uint8_t>> peers_;  // WLAN index, BSS index
    DataPath::AirSink observer_;
    FrameCipher* cipher_ = nullptr;
    Record record_;
    // Last: its thread writes heard frames into the ring and must stop before the members go.
    sim::air::Timeline timeline_;
};

}  // namespace sim::fw
