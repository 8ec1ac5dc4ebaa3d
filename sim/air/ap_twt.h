// The access point's side of individual target wake time (802.11ax 26.8.2, 9.4.2.199, 9.6.24): the
// TWT responder. A station's TWT Setup (Unprotected S1G action 6) with a request is answered with a
// TWT Setup response as the world file says: accept the requested parameters; propose an alternate
// set (alternate, or dictate); or reject. An alternate or dictate proposal is twice the requested
// wake interval (exponent + 1, at most 31) with a nominal minimum wake duration of at least 64
// (x 256 us) at the requested target wake time; a later request carrying exactly the proposal is
// accepted. A TWT Information frame (action 11) without a next TWT suspends the flow's agreement,
// with a next TWT it resumes it at that time; a TWT Teardown (action 7) ends one flow or, with
// Teardown All TWT, every flow of the station. The access point tears flows down itself when its
// timeline says so.
//
// Every frame is length-checked before it is read; one that does not hold its fields, or whose
// TWT element is not an individual one of the layout the requester uses (no TWT group assignment,
// no NDP paging), is dropped and counted.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "air/ieee80211.h"

namespace sim::air {

// How the access point answers a TWT setup request.
enum class TwtAnswer : uint8_t {
    None,       // no TWT responder: HE MAC capability TWT Responder Support clear; requests ignored
    Accept,
    Alternate,
    Dictate,
    Reject,
};
const char* TwtAnswerText(TwtAnswer a);

// TWT setup commands (802.11ax Table 9-296a).
constexpr uint8_t kTwtRequest = 0;
constexpr uint8_t kTwtSuggest = 1;
constexpr uint8_t kTwtDemand = 2;
constexpr uint8_t kTwtAccept = 4;
constexpr uint8_t kTwtAlternate = 5;
constexpr uint8_t kTwtDictate = 6;
constexpr uint8_t kTwtReject = 7;

constexpr uint8_t kCategoryUnprotectedS1g = 22;
constexpr uint8_t kS1gTwtSetup = 6;
constexpr uint8_t kS1gTwtTeardown = 7;
constexpr uint8_t kS1gTwtInformation = 11;
constexpr uint8_t kEidTwt = 216;

// The parameters of an individual TWT (the fields of the TWT element's request type and the rest).
struct TwtParameters {
    bool request = false;
    uint8_t setupCommand = 0;
    bool trigger = false;
    bool implicit = true;
    bool unannounced = false;  // flow type 1
    uint8_t flowId = 0;
    uint8_t exponent = 0;
    bool protection = false;
    uint64_t targetWakeTime = 0;
    uint8_t minWakeDuration = 0;  // 256 us units
    uint16_t mantissa = 0;
    uint8_t channel = 0;
    bool operator==(const TwtParameters&) const = default;
    // Wake interval in microseconds (mantissa x 2^exponent).
    uint64_t IntervalUs() const { return static_cast<uint64_t>(mantissa) << exponent; }
};

// The TWT element (id 216) of an individual agreement of 15 body bytes, as the requester and this
// responder write it; none when the element is of another kind or does not hold its fields.
std::optional<TwtParameters> ReadTwtElement(const Element& e);
Bytes TwtElement(const TwtParameters& p);

// An agreement the access point holds with a station.
struct TwtAgreementInfo {
    Mac station{};
    TwtParameters parameters;  // as answered (the accepted set)
    bool suspended = false;
    std::optional<uint64_t> resumeAt;  // the next TWT of the last resume
    int64_t since = 0;                 // stand-in time of the accept
};

// One TWT frame the access point took, with the answer it gave.
struct TwtExchange {
    int64_t time = 0;
    Mac station{};
    uint8_t action = 0;          // 6 setup, 7 teardown, 11 information
    TwtParameters request;       // setup: the request's parameters
    std::optional<uint8_t> answer;  // setup: the answer's setup command
    uint8_t information = 0;     // information: the TWT Information field; teardown: the TWT Flow field
    std::optional<uint64_t> nextTwt;  // information: the next TWT, when present
};

class ApTwt {
public:
    explicit ApTwt(TwtAnswer answer) : answer_(answer) {}

    // A received Unprotected S1G action frame body (category first) of an associated station: the
    // answer frame body to send back (category first), if any.
    std::optional<Bytes> OnAction(const Mac& station, const uint8_t* body, size_t length, int64_t time);
    // The access point ends the station's flow (every flow when none): the teardown frame bodies to
    // send (one with Teardown All TWT for every flow); nothing when it holds no such agreement.
    std::vector<Bytes> Teardown(const Mac& station, std::optional<uint8_t> flow);
    // Stations it holds agreements with.
    std::vector<Mac> Stations() const;
    void Forget(const Mac& station);

    std::vector<TwtAgreementInfo> Agreements() const;
    const std::vector<TwtExchange>& Exchanges() const { return exchanges_; }
    uint64_t Dropped() const { return dropped_; }

private:
    std::optional<Bytes> OnSetup(const Mac& station, const uint8_t* body, size_t length, int64_t time);

    TwtAnswer answer_;
    std::map<Mac, std::map<uint8_t, TwtAgreementInfo>> agreements_;  // by station, then flow id
    std::map<std::pair<Mac, uint8_t>, TwtParameters> proposals_;     // alternates offered, by station and flow
    std::vector<TwtExchange> exchanges_;
    uint64_t dropped_ = 0;
};

}  // namespace sim::air
