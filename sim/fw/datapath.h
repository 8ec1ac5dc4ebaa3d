// The firmware's data path (docs/hardware.md, "The firmware's data path"): it takes the data frames
// the chip gathers from the data rings, puts them on the air as 802.11 frames and reports each one's
// completion in a transmit-done report; it writes frames received from the air into the frame ring
// behind the generation's receive descriptor; and it reports the block-ack agreements it keeps with
// peers as the generation's events.
//
// The air is a sink and a source given by whoever runs the world: the medium, or a test's own peer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "chip/chip.h"
#include "chip/rx_build.h"
#include "fw/event_writer.h"

namespace sim::fw {

// A frame the device put on the air.
struct SentDataFrame {
    std::vector<uint8_t> bytes;  // the 802.11 frame as sent (no FCS)
    uint16_t token = 0;          // the host's record token
    unsigned ring = 0;           // hardware ring it came from
    uint8_t txd[32] = {};        // its transmit descriptor
};

class DataPath {
public:
    // `events` is the event ring's writer the block-ack events go through. Both must outlive it.
    DataPath(sim::chip::Chip& chip, EventRingWriter& events);
    ~DataPath();
    DataPath(const DataPath&) = delete;
    DataPath& operator=(const DataPath&) = delete;

    // ---- transmit -------------------------------------------------------------------------------------
    // Receives every frame the device puts on the air (under the chip's lock, on the thread that rang
    // the doorbell: it must not block or call back into the chip).
    using AirSink = std::function<void(const SentDataFrame&)>;
    void SetAirSink(AirSink sink);
    // A management or control frame from the command ring (32-byte descriptor, then the frame): it
    // goes on the air as it is (its descriptor done is the host's completion).
    void SendManagement(const uint8_t* buffer, size_t length, unsigned ring);
    uint64_t ManagementSent() const { return managementSent_.load(); }
    // While held, frames are sent but their transmit-done reports wait; releasing sends them all.
    void HoldReports(bool hold);
    uint64_t FramesSent() const { return sent_.load(); }
    uint64_t ReportsWritten() const;

    // ---- receive ----------------------------------------------------------------------------------------
    // Writes one received 802.11 frame into the frame ring with the generation's descriptor
    // (`fields`: sender index, TID, A-MSDU position, packet number, ...). Waits for ring room in the
    // writer when the host has not returned slots yet.
    void Receive(const std::vector<uint8_t>& frame, const sim::chip::RxdFields& fields);
    uint64_t FramesWritten() const;

    // ---- block-ack events -------------------------------------------------------------------------------
    // A peer's ADDBA request was answered: receive agreement of station record `staRec` for the TID
    // (legacy event 0x0A / unified 0x2C tag 0).
    void ReportRxAddba(uint8_t staRec, uint8_t tid, uint16_t startSequence, uint16_t bufferSize, uint16_t timeout);
    // The peer deleted its agreement (0x0B / 0x2C tag 1).
    void ReportRxDelba(uint8_t staRec, uint8_t tid);
    // The device set up a transmit agreement (0x2E / 0x2C tag 2).
    void ReportTxAddba(uint8_t staRec, uint8_t tid, uint16_t bufferSize);

    // ---- transmit status ----------------------------------------------------------------------------------
    // The transmit status of a frame whose descriptor asked for one (legacy event 0x0F / unified event
    // 0x2D tag 0): its packet id, 0 acknowledged or 1 not, the WLAN index of its descriptor. May run
    // inside the chip's consumption.
    void ReportTxStatus(uint8_t packetId, uint8_t status, uint8_t wlanIndex);

    // Waits (real time, up to `ms`) until every report, frame and event written so far reached its ring.
    bool WaitDelivered(unsigned ms = 5000) const;
    std::vector<std::string> Faults() const;

private:
    void OnFrame(const sim::chip::DataFrame& frame);
    // The legacy event, or on the third generation the unified event (the block-ack offload event
    // unless named) with one TLV.
    void WriteEvent(uint8_t legacyId, const std::vector<uint8_t>& legacyPayload, uint16_t uniTag,
                    const std::vector<uint8_t>& uniValue, uint8_t uniEventId = 0x2C);

    sim::chip::Chip& chip_;
    EventRingWriter& events_;
    sim::chip::RxdGeneration rxGen_;
    EventRingWriter reports_;
    EventRingWriter frames_;
    mutable std::mutex mutex_;
    AirSink sink_;
    bool hold_ = false;
    std::vector<uint16_t> held_;
    std::map<std::pair<uint64_t, uint8_t>, uint16_t> sequence_;  // per (receiver, TID)
    std::vector<std::string> faults_;
    std::atomic<uint64_t> sent_{0};
    std::atomic<uint64_t> managementSent_{0};
};

// The 802.11 frame the device sends for a gathered data frame: the header copy's 2 bytes of padding
// behind a QoS control field go; an Order bit gets the 4-byte HT control field (zero) behind it; the
// sequence number is the device's own. `sequence` is the next number to use for the frame's receiver
// and TID (advanced). False when the frame is too short for its header.
bool AirFrameOf(const std::vector<uint8_t>& gathered, uint16_t* sequence, std::vector<uint8_t>* out);

}  // namespace sim::fw
