// Frames put on the air as they are.
#include "air/replay.h"

namespace sim::air {

namespace {

constexpr size_t kFixedBeaconFields = 12;  // time stamp, beacon interval, capability

Band BandOfNumber(uint8_t n) { return n <= 14 ? Band::B2G4 : Band::B5G; }

}  // namespace

std::optional<Channel> AdvertisedChannel(const Bytes& frame)
{
    if (frame.size() < kMgmtHeaderLength + kFixedBeaconFields) {
        return std::nullopt;
    }
    const uint16_t fc = Le16(frame.data());
    if (fc != kFcBeacon && fc != kFcProbeResp) {
        return std::nullopt;
    }
    const uint8_t* e = frame.data() + kMgmtHeaderLength + kFixedBeaconFields;
    const size_t n = frame.size() - kMgmtHeaderLength - kFixedBeaconFields;
    auto valid = [](Channel c) -> std::optional<Channel> {
        return ValidChannel(c) ? std::optional<Channel>(c) : std::nullopt;
    };
    if (std::optional<Element> ds = FindElement(e, n, kEidDsParams); ds && ds->length >= 1) {
        return valid({BandOfNumber(ds->body[0]), ds->body[0]});
    }
    if (std::optional<Element> ht = FindElement(e, n, kEidHtOperation); ht && ht->length >= 1) {
        return valid({BandOfNumber(ht->body[0]), ht->body[0]});
    }
    if (std::optional<Element> he = FindElement(e, n, kEidExtension, kExtHeOperation); he && he->length >= 6) {
        // HE Operation: parameters (3), BSS colour (1), basic MCS (2), then the optional parts.
        const uint32_t params = he->body[0] | (he->body[1] << 8) | (he->body[2] << 16);
        size_t at = 6;
        if (params & (1u << 14)) {
            at += 3;  // VHT Operation Information
        }
        if (params & (1u << 15)) {
            at += 1;  // maximum co-hosted BSSID indicator
        }
        if ((params & (1u << 17)) && he->length >= at + 1) {
            return valid({Band::B6G, he->body[at]});
        }
    }
    return std::nullopt;
}

void ReplaySource::Add(std::vector<ReplayFrame> frames)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (ReplayFrame& f : frames) {
        frames_.push_back(std::move(f));
    }
}

unsigned ReplaySource::AddCapture(const PcapFile& capture, std::optional<Channel> fallback)
{
    std::vector<ReplayFrame> frames;
    unsigned left = 0;
    for (const PcapRecord& r : capture.records) {
        std::optional<Channel> c = r.channel;
        if (!c) {
            c = AdvertisedChannel(r.frame);
        }
        if (!c) {
            c = fallback;
        }
        if (!c) {
            ++left;
            continue;
        }
        frames.push_back({*c, r.signalDbm.value_or(kReplayDefaultSignalDbm), r.frame});
    }
    Add(std::move(frames));
    return left;
}

size_t ReplaySource::Frames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
}

void ReplaySource::Scheduled(Channel c, int64_t from, int64_t to, std::vector<Emission>* out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t t = from;
    for (const ReplayFrame& f : frames_) {
        if (f.channel != c) {
            continue;
        }
        if (t >= to) {
            break;
        }
        out->push_back({t, f.frame, f.signalDbm});
        t += kReplaySpacingUnits;
    }
}

}  // namespace sim::air
