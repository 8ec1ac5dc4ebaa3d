// Block ack on the access point's side (802.11-2020 9.6.4, 10.25): the frames of an agreement, and a
// data stream that exercises a recipient's reordering (gaps filled later, duplicates, reordering
// inside the window, the wrap of the 12-bit sequence number).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "air/ieee80211.h"

namespace sim::air {

constexpr uint8_t kCategoryBlockAck = 3;
constexpr uint8_t kBaActionAddbaRequest = 0;
constexpr uint8_t kBaActionAddbaResponse = 1;
constexpr uint8_t kBaActionDelba = 2;
constexpr uint16_t kFcBlockAckReq = 0x0084;
constexpr size_t kBlockAckReqLength = 20;  // frame control to starting sequence control, no FCS
constexpr uint16_t kMaxBaWindow = 64;

// An ADDBA request or response (status 0 for a request is not sent): immediate block ack, A-MSDU
// allowed, the TID and the window in the parameter set, the time-out (TU) and, for a request, the
// starting sequence number. `seq` is the frame's own sequence number.
Bytes AddbaRequestFrame(const Mac& to, const Mac& from, const Mac& bssid, uint8_t token, uint8_t tid,
                        uint16_t window, uint16_t timeout, uint16_t startSequence, uint16_t seq);
Bytes AddbaResponseFrame(const Mac& to, const Mac& from, const Mac& bssid, uint8_t token, uint16_t status,
                         uint8_t tid, uint16_t window, uint16_t timeout, uint16_t seq);
// A basic Block Ack Request of the TID with its starting sequence number (20 bytes).
Bytes BlockAckRequestFrame(const Mac& to, const Mac& from, uint8_t tid, uint16_t startSequence);

// What an ADDBA request or response says; none for another frame or one too short for its fields.
struct AddbaFields {
    uint8_t action = 0;
    uint8_t token = 0;
    uint16_t status = 0;  // responses
    uint8_t tid = 0;
    uint16_t window = 0;
    uint16_t timeout = 0;
    uint16_t startSequence = 0;  // requests
};
std::optional<AddbaFields> ReadAddba(const uint8_t* frame, size_t length);

// One data frame of a stream: its sequence number and the tag its body carries.
struct StreamFrame {
    uint16_t seq = 0;
    uint32_t tag = 0;
};
// A stream of `count` numbered frames from `start` (12 bits, wrapping) in bursts of `burst` numbers
// (at most the window): inside a burst the order is shuffled, `holdBack` numbers of it go out only at
// the burst's end (a gap filled later), and about `duplicatePerMille` of the frames are sent twice.
// Every number of the stream is sent, so a recipient hands every tag on once, in tag order.
struct StreamPlan {
    uint16_t start = 0;
    uint32_t count = 0;
    uint16_t burst = 32;
    uint16_t holdBack = 2;
    unsigned duplicatePerMille = 50;
    uint32_t seed = 1;
};
std::vector<StreamFrame> PlanReorderedStream(const StreamPlan& plan);

}  // namespace sim::air
