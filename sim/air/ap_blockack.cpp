// Block ack on the access point's side.
#include "air/ap_blockack.h"

#include <algorithm>
#include <random>

#include "air/access_point.h"

namespace sim::air {

namespace {

constexpr uint16_t kBaPolicyImmediate = 0x0002;
constexpr uint16_t kBaAmsdu = 0x0001;

uint16_t ParameterSet(uint8_t tid, uint16_t window)
{
    return static_cast<uint16_t>(kBaAmsdu | kBaPolicyImmediate | ((tid & 0x0F) << 2) | ((window & 0x03FF) << 6));
}

// The header, category, action and dialog token of a block-ack action frame.
Bytes BaAction(const Mac& to, const Mac& from, const Mac& bssid, uint8_t action, uint8_t token, uint16_t seq)
{
    Bytes f = MgmtHeader(kFcAction, to, from, bssid, seq);
    f.push_back(kCategoryBlockAck);
    f.push_back(action);
    f.push_back(token);
    return f;
}

}  // namespace

Bytes AddbaRequestFrame(const Mac& to, const Mac& from, const Mac& bssid, uint8_t token, uint8_t tid,
                        uint16_t window, uint16_t timeout, uint16_t startSequence, uint16_t seq)
{
    Bytes f = BaAction(to, from, bssid, kBaActionAddbaRequest, token, seq);
    PutLe16(f, ParameterSet(tid, window));
    PutLe16(f, timeout);
    PutLe16(f, static_cast<uint16_t>((startSequence & 0x0FFF) << 4));
    return f;
}

Bytes AddbaResponseFrame(const Mac& to, const Mac& from, const Mac& bssid, uint8_t token, uint16_t status,
                         uint8_t tid, uint16_t window, uint16_t timeout, uint16_t seq)
{
    Bytes f = BaAction(to, from, bssid, kBaActionAddbaResponse, token, seq);
    PutLe16(f, status);
    PutLe16(f, ParameterSet(tid, window));
    PutLe16(f, timeout);
    return f;
}

Bytes BlockAckRequestFrame(const Mac& to, const Mac& from, uint8_t tid, uint16_t startSequence)
{
    Bytes f;
    PutLe16(f, kFcBlockAckReq);
    PutLe16(f, 0);
    f.insert(f.end(), to.begin(), to.end());
    f.insert(f.end(), from.begin(), from.end());
    PutLe16(f, static_cast<uint16_t>(0x0004 | ((tid & 0x0F) << 12)));  // compressed bitmap
    PutLe16(f, static_cast<uint16_t>((startSequence & 0x0FFF) << 4));
    return f;
}

std::optional<AddbaFields> ReadAddba(const uint8_t* frame, size_t length)
{
    if (frame == nullptr || length < kMgmtHeaderLength + 3 || Le16(frame) != kFcAction ||
        frame[kMgmtHeaderLength] != kCategoryBlockAck) {
        return std::nullopt;
    }
    const uint8_t* b = frame + kMgmtHeaderLength;
    const size_t n = length - kMgmtHeaderLength;
    AddbaFields out;
    out.action = b[1];
    out.token = b[2];
    uint16_t parameters = 0;
    if (out.action == kBaActionAddbaRequest && n >= 9) {
        parameters = Le16(b + 3);
        out.timeout = Le16(b + 5);
        out.startSequence = static_cast<uint16_t>(Le16(b + 7) >> 4);
    } else if (out.action == kBaActionAddbaResponse && n >= 9) {
        out.status = Le16(b + 3);
        parameters = Le16(b + 5);
        out.timeout = Le16(b + 7);
    } else {
        return std::nullopt;
    }
    out.tid = static_cast<uint8_t>((parameters >> 2) & 0x0F);
    out.window = static_cast<uint16_t>(parameters >> 6);
    return out;
}

std::vector<StreamFrame> PlanReorderedStream(const StreamPlan& plan)
{
    std::vector<StreamFrame> out;
    std::mt19937 rng(plan.seed);
    const uint32_t burst = std::clamp<uint32_t>(plan.burst, 1, kMaxBaWindow);
    for (uint32_t first = 0; first < plan.count; first += burst) {
        const uint32_t n = std::min(burst, plan.count - first);
        std::vector<uint32_t> order(n);
        for (uint32_t i = 0; i < n; ++i) {
            order[i] = first + i;
        }
        std::shuffle(order.begin(), order.end(), rng);
        // The held-back numbers (the gap) go to the end of the burst.
        const uint32_t held = std::min<uint32_t>(plan.holdBack, n > 1 ? n - 1 : 0);
        std::rotate(order.begin(), order.begin() + held, order.end());
        for (uint32_t k : order) {
            const StreamFrame f{static_cast<uint16_t>((plan.start + k) & 0x0FFF), k};
            out.push_back(f);
            if (rng() % 1000 < plan.duplicatePerMille) {
                out.push_back(f);
            }
        }
    }
    return out;
}

// ---- the access point's share --------------------------------------------------------------------------
bool AccessPoint::OnBlockAckAction(const FrameAddresses& a, const Bytes& frame, std::vector<Bytes>* out)
{
    std::optional<AddbaFields> f = ReadAddba(frame.data(), frame.size());
    if (!f) {
        return frame.size() > kMgmtHeaderLength && frame[kMgmtHeaderLength] == kCategoryBlockAck;
    }
    if (f->action == kBaActionAddbaRequest) {
        ++record_.addbaRequests;
        const uint16_t window = f->window == 0 || f->window > kMaxBaWindow ? kMaxBaWindow : f->window;
        out->push_back(AddbaResponseFrame(a.a2, bssid_, bssid_, f->token, kStatusSuccess, f->tid, window,
                                          f->timeout, NextSeq()));
        baAgreements_[{a.a2, f->tid}] = window;
    } else {
        ++record_.addbaResponses;
        if (f->status == kStatusSuccess) {
            baAccepted_[{a.a2, f->tid}] = f->window;
        }
    }
    return true;
}

void AccessPoint::SendAddba(const Mac& station, uint8_t tid, uint16_t startSequence, uint16_t window, int64_t at)
{
    Channel c;
    Bytes frame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        c = StateLocked(at).channel;
        frame = AddbaRequestFrame(station, bssid_, bssid_, ++baToken_, tid, window, 0, startSequence, NextSeq());
    }
    Send(c, at, {frame});
}

void AccessPoint::SendBar(const Mac& station, uint8_t tid, uint16_t startSequence, int64_t at)
{
    Channel c;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        c = StateLocked(at).channel;
    }
    Send(c, at, {BlockAckRequestFrame(station, bssid_, tid, startSequence)});
}

void AccessPoint::SendStream(const Mac& station, uint8_t tid, const std::vector<StreamFrame>& frames, int64_t at,
                             int64_t spacing, size_t body)
{
    static constexpr uint8_t kLlc[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0xB5};  // local experimental
    Channel c;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        c = StateLocked(at).channel;
    }
    std::vector<Bytes> out;
    out.reserve(frames.size());
    for (const StreamFrame& s : frames) {
        Bytes f(26 + sizeof(kLlc) + std::max<size_t>(body, 4), 0);
        f[0] = 0x88;  // QoS data
        f[1] = 0x02;  // From-DS
        std::copy(station.begin(), station.end(), f.begin() + 4);
        std::copy(bssid_.begin(), bssid_.end(), f.begin() + 10);
        std::copy(bssid_.begin(), bssid_.end(), f.begin() + 16);
        f[22] = static_cast<uint8_t>((s.seq & 0x0F) << 4);
        f[23] = static_cast<uint8_t>(s.seq >> 4);
        f[24] = static_cast<uint8_t>(tid & 0x0F);
        std::copy(kLlc, kLlc + sizeof(kLlc), f.begin() + 26);
        for (int i = 0; i < 4; ++i) {
            f[34 + i] = static_cast<uint8_t>(s.tag >> (8 * i));
        }
        out.push_back(std::move(f));
    }
    Medium* medium;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        medium = medium_;
        record_.streamFrames += out.size();
    }
    if (medium == nullptr) {
        return;
    }
    int64_t t = at;
    for (const Bytes& f : out) {
        medium->Transmit(this, c, t, f);
        t += spacing;
    }
}

std::map<std::pair<Mac, uint8_t>, uint16_t> AccessPoint::BlockAckAgreements(bool opened) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return opened ? baAccepted_ : baAgreements_;
}

}  // namespace sim::air
