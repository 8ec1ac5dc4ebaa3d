// The access point's TWT responder.
#include "air/ap_twt.h"

#include <algorithm>

namespace sim::air {
namespace {

constexpr size_t kTwtBody = 15;          // control, request type, TWT, duration, mantissa, channel
constexpr uint8_t kControlNdpPaging = 0x01;
constexpr uint8_t kControlNegotiation = 0x0C;  // bits 2-3: 0 individual
constexpr uint8_t kInfoFlowId = 0x07;
constexpr uint8_t kInfoSizeShift = 5;
constexpr uint8_t kFlowTeardownAll = 0x80;
constexpr uint8_t kFlowNegotiation = 0x60;  // bits 5-6: 0 individual
constexpr uint8_t kProposalMinDuration = 64;

uint64_t LeN(const uint8_t* p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    }
    return v;
}

// What the responder offers in place of a request it does not take as it is.
TwtParameters Proposal(const TwtParameters& request)
{
    TwtParameters p = request;
    p.exponent = static_cast<uint8_t>(std::min<unsigned>(request.exponent + 1u, 31u));
    p.minWakeDuration = std::max(request.minWakeDuration, kProposalMinDuration);
    return p;
}

// The request's parameters without its command and request bit, for comparing with a proposal.
TwtParameters Offered(TwtParameters p)
{
    p.request = false;
    p.setupCommand = 0;
    return p;
}

}  // namespace

const char* TwtAnswerText(TwtAnswer a)
{
    switch (a) {
    case TwtAnswer::None: return "none";
    case TwtAnswer::Accept: return "accept";
    case TwtAnswer::Alternate: return "alternate";
    case TwtAnswer::Dictate: return "dictate";
    case TwtAnswer::Reject: return "reject";
    }
    return "?";
}

std::optional<TwtParameters> ReadTwtElement(const Element& e)
{
    if (e.id != kEidTwt || e.length != kTwtBody) {
        return std::nullopt;
    }
    const uint8_t* b = e.body;
    if ((b[0] & (kControlNdpPaging | kControlNegotiation)) != 0) {
        return std::nullopt;
    }
    const uint16_t type = Le16(b + 1);
    TwtParameters p;
    p.request = (type & 0x0001) != 0;
    p.setupCommand = static_cast<uint8_t>((type >> 1) & 7);
    p.trigger = (type & 0x0010) != 0;
    p.implicit = (type & 0x0020) != 0;
    p.unannounced = (type & 0x0040) != 0;
    p.flowId = static_cast<uint8_t>((type >> 7) & 7);
    p.exponent = static_cast<uint8_t>((type >> 10) & 0x1F);
    p.protection = (type & 0x8000) != 0;
    p.targetWakeTime = LeN(b + 3, 8);
    p.minWakeDuration = b[11];
    p.mantissa = Le16(b + 12);
    p.channel = b[14];
    return p;
}

Bytes TwtElement(const TwtParameters& p)
{
    const uint16_t type = static_cast<uint16_t>((p.request ? 1u : 0u) | ((p.setupCommand & 7u) << 1) |
                                                (p.trigger ? 0x10u : 0u) | (p.implicit ? 0x20u : 0u) |
                                                (p.unannounced ? 0x40u : 0u) | ((p.flowId & 7u) << 7) |
                                                ((p.exponent & 0x1Fu) << 10) | (p.protection ? 0x8000u : 0u));
    Bytes body{0};
    PutLe16(body, type);
    PutLe64(body, p.targetWakeTime);
    body.push_back(p.minWakeDuration);
    PutLe16(body, p.mantissa);
    body.push_back(p.channel);
    Bytes e;
    PutElement(e, kEidTwt, body);
    return e;
}

std::optional<Bytes> ApTwt::OnAction(const Mac& station, const uint8_t* body, size_t length, int64_t time)
{
    if (length < 3 || body[0] != kCategoryUnprotectedS1g) {
        ++dropped_;
        return std::nullopt;
    }
    switch (body[1]) {
    case kS1gTwtSetup:
        return OnSetup(station, body, length, time);
    case kS1gTwtTeardown: {
        const uint8_t flow = body[2];
        TwtExchange x;
        x.time = time;
        x.station = station;
        x.action = kS1gTwtTeardown;
        x.information = flow;
        exchanges_.push_back(x);
        auto it = agreements_.find(station);
        if (it == agreements_.end() || (flow & kFlowNegotiation) != 0) {
            return std::nullopt;
        }
        if ((flow & kFlowTeardownAll) != 0) {
            agreements_.erase(it);
        } else {
            it->second.erase(static_cast<uint8_t>(flow & kInfoFlowId));
        }
        return std::nullopt;
    }
    case kS1gTwtInformation: {
        const uint8_t info = body[2];
        const uint8_t size = static_cast<uint8_t>((info >> kInfoSizeShift) & 3);
        const size_t nextLength = size == 0 ? 0 : size == 1 ? 4 : size == 2 ? 6 : 8;
        if (length < 3 + nextLength) {
            ++dropped_;
            return std::nullopt;
        }
        TwtExchange x;
        x.time = time;
        x.station = station;
        x.action = kS1gTwtInformation;
        x.information = info;
        if (nextLength != 0) {
            x.nextTwt = LeN(body + 3, nextLength);
        }
        exchanges_.push_back(x);
        auto it = agreements_.find(station);
        if (it == agreements_.end()) {
            return std::nullopt;
        }
        auto flow = it->second.find(static_cast<uint8_t>(info & kInfoFlowId));
        if (flow == it->second.end()) {
            return std::nullopt;
        }
        // Without a next TWT the agreement is suspended; with one it resumes then.
        flow->second.suspended = !x.nextTwt.has_value();
        if (x.nextTwt) {
            flow->second.resumeAt = x.nextTwt;
        }
        return std::nullopt;
    }
    default:
        ++dropped_;
        return std::nullopt;
    }
}

std::optional<Bytes> ApTwt::OnSetup(const Mac& station, const uint8_t* body, size_t length, int64_t time)
{
    // Category, action, dialog token, then the TWT element.
    std::optional<TwtParameters> request;
    ElementReader reader(body + 3, length - 3);
    Element e;
    while (reader.Next(&e)) {
        if (e.id == kEidTwt) {
            request = ReadTwtElement(e);
            break;
        }
    }
    if (!request || !request->request || request->setupCommand > kTwtDemand || !request->implicit) {
        ++dropped_;
        return std::nullopt;
    }
    TwtExchange x;
    x.time = time;
    x.station = station;
    x.action = kS1gTwtSetup;
    x.request = *request;
    if (answer_ == TwtAnswer::None) {
        exchanges_.push_back(x);
        return std::nullopt;
    }
    TwtParameters answer = *request;
    answer.request = false;
    const auto key = std::make_pair(station, request->flowId);
    auto proposed = proposals_.find(key);
    const bool takesProposal = proposed != proposals_.end() && Offered(*request) == proposed->second;
    switch (answer_) {
    case TwtAnswer::Accept:
        answer.setupCommand = kTwtAccept;
        break;
    case TwtAnswer::Alternate:
    case TwtAnswer::Dictate:
        if (takesProposal) {
            answer.setupCommand = kTwtAccept;
        } else {
            answer = Proposal(answer);
            answer.setupCommand = answer_ == TwtAnswer::Alternate ? kTwtAlternate : kTwtDictate;
            proposals_[key] = Offered(answer);
        }
        break;
    case TwtAnswer::Reject:
    case TwtAnswer::None:
        answer.setupCommand = kTwtReject;
        break;
    }
    if (answer.setupCommand == kTwtAccept) {
        proposals_.erase(key);
        TwtAgreementInfo a;
        a.station = station;
        a.parameters = answer;
        a.since = time;
        agreements_[station][request->flowId] = a;
    }
    x.answer = answer.setupCommand;
    exchanges_.push_back(x);
    Bytes out{kCategoryUnprotectedS1g, kS1gTwtSetup, body[2]};
    const Bytes element = TwtElement(answer);
    out.insert(out.end(), element.begin(), element.end());
    return out;
}

std::vector<Bytes> ApTwt::Teardown(const Mac& station, std::optional<uint8_t> flow)
{
    std::vector<Bytes> out;
    auto it = agreements_.find(station);
    if (it == agreements_.end()) {
        return out;
    }
    if (!flow) {
        agreements_.erase(it);
        out.push_back({kCategoryUnprotectedS1g, kS1gTwtTeardown, kFlowTeardownAll});
        return out;
    }
    if (it->second.erase(*flow) != 0) {
        out.push_back({kCategoryUnprotectedS1g, kS1gTwtTeardown, static_cast<uint8_t>(*flow & kInfoFlowId)});
    }
    return out;
}

std::vector<Mac> ApTwt::Stations() const
{
    std::vector<Mac> out;
    for (const auto& [station, flows] : agreements_) {
        if (!flows.empty()) {
            out.push_back(station);
        }
    }
    return out;
}

void ApTwt::Forget(const Mac& station)
{
    agreements_.erase(station);
    for (auto it = proposals_.begin(); it != proposals_.end();) {
        it = it->first.first == station ? proposals_.erase(it) : std::next(it);
    }
}

std::vector<TwtAgreementInfo> ApTwt::Agreements() const
{
    std::vector<TwtAgreementInfo> out;
    for (const auto& [station, flows] : agreements_) {
        for (const auto& [flow, a] : flows) {
            out.push_back(a);
        }
    }
    return out;
}

}  // namespace sim::air
