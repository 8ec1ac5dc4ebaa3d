// A simulated access point: a peer on the medium that sends beacons on time, answers probe
// requests as IEEE 802.11 says, and accepts stations: authentication, association, reassociation,
// and the frames an access point sends on its own (deauthentication, disassociation, channel switch).
//
// Beacons: target beacon transmission times (TBTT) every beacon interval (TU = 1024 us) from the
// world's start plus the access point's phase; the beacon leaves at its TBTT with the TSF of that
// moment in its time stamp. A hidden access point's beacons carry an empty SSID (or, with the
// zero-filled style, as many zero bytes as its SSID has).
//
// Probe requests (802.11-2020 11.1.4.3.4, 802.11ax 26.17.3): the access point answers a probe request
// heard on its channel when address 1 is broadcast or its BSSID, address 3 is broadcast or its BSSID,
// a DSSS Parameter Set element, when present, names its channel, and the request asks for it: an SSID
// element with its SSID, an SSID List element holding it, a Short SSID List element holding its
// short SSID, or the wildcard SSID (empty) without a Short SSID List, which a hidden access point
// does not answer. The probe response goes to the requester 0.3 ms to 1.2 ms after the request
// (a fixed delay of its own) and carries the real SSID.
//
// Stations (802.11-2020 11.3): authentication with the open-system or shared-key algorithm (the
// shared-key challenge text goes out in frame 2; frame 3 arrives encrypted with WEP and is accepted
// on its length alone until the air learns WEP), then association or reassociation answered with
// the status the configuration gives for that request (success with an association ID; refusals
// such as 10 or 17; 30 with an association comeback time when PMF is on). An association request
// from a station that is not authenticated is answered with a deauthentication (reason 6).
// Deauthentication and disassociation from a station end its state. Answers leave after the same
// fixed delay as probe responses. Every received frame's length is checked before it is read: a
// frame too short for its fixed fields, or longer than any 802.11 management frame, is dropped and
// counted.
//
// Timeline: the configuration carries events at times after the world's start (and Schedule adds
// more while the world runs): signal changes (at once or as a ramp), deauthentication or
// disassociation of the stations, a channel switch announced in the beacons with a countdown, the
// access point vanishing (beacons stop, nothing is answered) and coming back, and a new operating
// width (its operation elements change). What the access point is at a time (channel, width,
// signal, presence, a running countdown) is computed from the events up to that time, so beacons
// computed ahead for a listening window are what the air holds at their time.
//
// HE: an HE access point may carry a Spatial Reuse Parameter Set and a MU EDCA Parameter Set in its
// beacons, probe responses and association responses; the timeline changes them (the MU EDCA update
// count goes up with each change of the set). It may be a TWT responder (air/ap_twt.h): it then
// announces TWT Responder Support (HE MAC capabilities bit 2, Extended Capabilities bit 78), answers
// the TWT setup requests of associated stations as configured, follows their suspend, resume and
// teardown, and tears their agreements down on its timeline.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "air/ap_twt.h"
#include "air/ieee80211.h"
#include "air/medium.h"
#include "air/timeline.h"

namespace sim::air {

class ApRsn;
struct ApRsnCounters;

enum class Security : uint8_t {
    Open,
    Wep,
    WpaWpa2,   // WPA (TKIP) and WPA2 (TKIP and CCMP) mixed, PSK
    Wpa2Psk,   // RSN, CCMP, PSK
    Wpa3Sae,   // RSN, CCMP, SAE
    Wpa2Wpa3,  // RSN transition mode: PSK and SAE
};
enum class Pmf : uint8_t { Off, Capable, Required };

// Authentication algorithm numbers (802.11-2020 9.4.1.1).
constexpr uint16_t kAuthOpenSystem = 0;
constexpr uint16_t kAuthSharedKey = 1;
constexpr uint16_t kAuthSae = 3;

// Status codes an access point answers with (802.11-2020 9.4.1.9).
constexpr uint16_t kStatusSuccess = 0;
constexpr uint16_t kStatusUnspecified = 1;
constexpr uint16_t kStatusCapabilitiesUnsupported = 10;
constexpr uint16_t kStatusAlgorithmUnsupported = 13;
constexpr uint16_t kStatusSequenceUnexpected = 14;
constexpr uint16_t kStatusChallengeFailure = 15;
constexpr uint16_t kStatusApFull = 17;
constexpr uint16_t kStatusRefusedTemporarily = 30;

// Reason codes of the frames an access point sends on its own (802.11-2020 9.4.1.7).
constexpr uint16_t kReasonLeaving = 3;
constexpr uint16_t kReasonNotAuthenticated = 6;
constexpr uint16_t kReasonDisassocLeaving = 8;

constexpr uint8_t kEidChallenge = 16;
constexpr uint8_t kEidChannelSwitch = 37;
constexpr uint8_t kEidTimeoutInterval = 56;
constexpr uint8_t kTimeoutComeback = 3;  // Timeout Interval type: association comeback time (TU)
constexpr size_t kChallengeLength = 128;
// The longest management frame an access point takes (header, the largest MMPDU body of 2304 bytes).
constexpr size_t kMaxMgmtFrame = kMgmtHeaderLength + 2304;

// Something that happens to an access point at a time.
enum class ApEventKind : uint8_t {
    Signal,         // the signal at our antenna becomes signalDbm (over rampMs, linearly)
    Deauth,         // deauthenticates every station it knows (reason)
    Disassoc,       // disassociates every associated station (reason)
    ChannelSwitch,  // announces a switch to `channel` in `count` beacons (mode), then switches
    Vanish,         // beacons stop and nothing is answered
    Appear,         // back after Vanish
    Width,          // operates with this width from now on (operation elements change)
    GroupRekey,     // a new group key to every keyed station (group-key handshake)
    MuEdca,         // the MU EDCA timer of every access category becomes `value` (update count + 1)
    SpatialReuse,   // the non-SRG OBSS PD maximum offset becomes `value`
    TwtTeardown,    // tears down `flow` (every flow when none) of each station it holds TWT agreements with
};
const char* ApEventText(ApEventKind k);

struct ApEvent {
    int64_t at = 0;  // stand-in clock; the world file gives milliseconds after the world's start
    ApEventKind kind = ApEventKind::Signal;
    int8_t signalDbm = 0;
    int64_t rampMs = 0;
    uint16_t reason = 0;
    uint8_t channel = 0;  // in the access point's band
    uint8_t count = 0;
    uint8_t mode = 0;     // 1: stations stop transmitting until the switch
    unsigned widthMhz = 20;
    uint8_t value = 0;            // MU EDCA timer (8 TU units), non-SRG offset
    std::optional<uint8_t> flow;  // TWT teardown: none for every flow
};

const char* SecurityText(Security s);

struct ApConfig {
    std::string name;           // a label for people (world file), not on the air
    Bytes ssid;                 // 0-32 bytes
    bool hidden = false;
    bool hiddenZeros = false;   // hidden with zero bytes in place of the SSID, not an empty SSID
    Mac bssid{};
    Channel channel{Band::B2G4, 1};
    unsigned widthMhz = 20;
    Security security = Security::Open;
    Pmf pmf = Pmf::Off;
    std::string passphrase;
    bool saeAntiClogging = false;  // SAE commits without a valid anti-clogging token are answered with one (76)
    bool ht = true;
    bool vht = false;
    bool he = false;
    bool eht = false;
    uint16_t beaconIntervalTu = 100;
    uint8_t dtimPeriod = 1;
    int8_t signalDbm = -50;                  // at our antenna
    std::array<int8_t, 4> chainOffsets{};   // added per receive chain
    int tbttOffsetTu = -1;                   // phase of the beacons; -1: derived from the BSSID
    std::string country = "US";
    uint16_t stationCount = 0;               // BSS Load element
    uint8_t channelUtilisation = 0;
    std::vector<Mac> neighbours;             // announced in the Reduced Neighbor Report

    // Stations.
    std::vector<uint16_t> authAlgorithms = {kAuthOpenSystem};  // shared key added for WEP by the world file
    uint16_t authStatus = kStatusSuccess;  // the status of authentication frame 2 (and 4)
    // The status of the answer to the Nth (re)association request; the last one repeats.
    std::vector<uint16_t> assocStatus = {kStatusSuccess};
    uint32_t comebackTu = 1000;  // association comeback time with status 30
    bool silent = false;         // answers no authentication and no association request
    unsigned ignoreAuth = 0;     // the first N authentication requests go unanswered
    unsigned ignoreAssoc = 0;    // the first N (re)association requests go unanswered
    std::vector<ApEvent> events;  // `at` in milliseconds after the world's start, as the file gives it

    // HE (802.11ax): the TWT responder's answer to setup requests, and the parameter sets the beacons
    // and association responses carry when given (the timeline changes them).
    TwtAnswer twt = TwtAnswer::None;
    std::optional<uint8_t> muEdcaTimer;  // MU EDCA Parameter Set: the timer of every AC (8 TU units)
    std::optional<uint8_t> srOffset;     // Spatial Reuse Parameter Set: the non-SRG OBSS PD maximum offset
};

// What a neighbour access point looks like in a Reduced Neighbor Report.
struct NeighbourInfo {
    Mac bssid{};
    Channel channel;
    unsigned widthMhz = 20;
    Bytes ssid;
    int tbttOffsetTu = 0;
    uint16_t beaconIntervalTu = 100;
};

// Checks a configuration: SSID length, channel and width, the phy set of the band (6 GHz: HE
// required, no HT/VHT; VHT only in 5 GHz), PMF against security, the answers to stations (status 30
// needs PMF) and the events (channels of the band, widths that fit). Empty when it is usable.
std::string ValidateApConfig(const ApConfig& c);

// A station as the access point knows it.
enum class StationState : uint8_t { Authenticating, Authenticated, Associated };
struct StationInfo {
    Mac address{};
    StationState state = StationState::Authenticated;
    uint16_t aid = 0;       // associated stations
    bool reassociated = false;
    uint16_t listenInterval = 0;
};

// What an access point is at one time.
struct ApState {
    bool present = true;
    Channel channel;
    unsigned widthMhz = 20;
    int8_t signalDbm = 0;
    // A channel switch being announced: the new channel, the mode and the TBTT it happens before.
    bool switching = false;
    Channel switchTo;
    uint8_t switchMode = 0;
    int64_t switchTbtt = 0;  // beacon index before which the switch happens
    // The HE parameter sets on the air (none: the element is not sent); the MU EDCA update count goes
    // up by one (modulo 16) with each change.
    std::optional<uint8_t> muEdcaTimer;
    uint8_t muEdcaCount = 0;
    std::optional<uint8_t> srOffset;
};

class AccessPoint : public Party {
public:
    // `epoch`: the world's start on the stand-in clock (TBTTs count from it). The events of the
    // configuration count from it too.
    AccessPoint(ApConfig config, int64_t epoch);
    ~AccessPoint() override;

    ApConfig Config() const;
    const Mac& Bssid() const { return bssid_; }
    Channel OperatingChannel() const;
    // Neighbours announced in the Reduced Neighbor Report (the world fills them from the BSSIDs listed).
    void SetNeighbours(std::vector<NeighbourInfo> neighbours);
    void SetSignal(int8_t dbm);
    // The air it is on.
    void SetMedium(Medium* medium);
    // While on, every data frame a station sends to the access point (To-DS) comes back to the
    // station From-DS with the same body, as if the host it named had sent it back: the addressed
    // host's address in address 3, the access point's own sequence numbers per TID.
    void SetEchoData(bool on);
    // An event at stand-in time `e.at` (deauthentication and disassociation go out at that time).
    void Schedule(ApEvent e);
    // What it is at time `t` (channel, width, signal, presence, a running channel switch).
    ApState StateAt(int64_t t) const;
    // Told when a station associates here (the world lets the other access points of the network
    // forget it: it moved).
    void OnAssociated(std::function<void(const Mac& station)> hook);
    // Forgets a station without a frame (it went to another access point of the network).
    void Forget(const Mac& station);
    std::vector<StationInfo> Stations() const;

    // The frames as they go on the air.
    Bytes BeaconAt(int64_t time) const;
    Bytes ProbeResponseTo(const Mac& requester, int64_t time) const;
    int64_t Tbtt(int64_t index) const;  // stand-in time of beacon `index`
    uint64_t TsfAt(int64_t time) const;  // microseconds

    // Whether a probe request (a whole frame) asks this access point for an answer: on the channel
    // it has at `time` (without a time: its configured channel).
    bool AnswersProbe(const Bytes& frame, Channel heardOn, std::optional<int64_t> time = std::nullopt) const;

    // A frame it sent to a station or on its own (not beacons or probe responses).
    struct Sent {
        int64_t time = 0;
        Channel channel;
        Bytes frame;
    };
    struct Record {
        uint64_t beacons = 0;
        uint64_t probeRequests = 0;     // heard on its channel
        uint64_t probeResponses = 0;
        uint64_t otherFrames = 0;       // addressed to it and not handled yet
        std::vector<uint16_t> otherFrameControls;
        uint64_t dataFrames = 0;        // data frames to it from a station (To-DS)
        uint64_t dataEchoed = 0;        // of them, sent back to their station
        uint64_t authRequests = 0;
        uint64_t assocRequests = 0;
        uint64_t reassocRequests = 0;
        uint64_t deauthsReceived = 0;
        uint64_t disassocsReceived = 0;
        uint64_t dropped = 0;           // too short for their fixed fields, or too long
        uint64_t unanswered = 0;        // requests left unanswered (silent, ignored, vanished)
        std::vector<Sent> sent;
    };
    Record GetRecord() const;
    // The handshakes and protected data of an RSN access point (all zero for an open one).
    ApRsnCounters RsnCounters() const;
    // Target wake time: the agreements it holds, the TWT frames it took (with its answers), and the
    // TWT frames it dropped as malformed.
    std::vector<TwtAgreementInfo> TwtAgreements() const;
    std::vector<TwtExchange> TwtExchanges() const;
    uint64_t TwtDropped() const;

    // Party
    bool Hears(Channel c, int64_t t) const override;
    void Receive(const Bytes& frame, const Reception& rx) override;
    void Scheduled(Channel c, int64_t from, int64_t to, std::vector<Emission>* out) override;
    std::optional<int8_t> PathSignalDbm(int64_t t) const override;
    std::array<int8_t, 4> ChainOffsets() const override;
    void MediumGone() override;

private:
    void EchoData(const Bytes& frame, const FrameAddresses& a, const Reception& rx);  // lock not held
    Bytes Body(const ApState& s, bool beacon, int64_t time) const;  // fixed fields and elements; lock held
    Bytes Elements(const ApState& s, bool beacon, int64_t time) const;  // lock held
    uint16_t Capability() const;                  // lock held
    uint16_t NextSeq() const;                     // lock held
    int64_t PhaseUnits() const;                   // lock held
    int64_t TbttLocked(int64_t index) const;      // lock held
    int64_t BeaconIndexAtOrAfter(int64_t t) const;  // lock held
    ApState StateLocked(int64_t t) const;         // lock held

    // Stations (lock held); each returns the frames to send (to transmit after the lock is dropped).
    void OnAuth(const FrameAddresses& a, const Bytes& frame, int64_t at, std::vector<Bytes>* out);
    void OnAssoc(const FrameAddresses& a, const Bytes& frame, bool reassoc, int64_t at, std::vector<Bytes>* out,
                 std::optional<Mac>* joined);
    Bytes AuthFrame(const Mac& to, uint16_t algorithm, uint16_t seq, uint16_t status, const Bytes* challenge);
    Bytes AssocResponse(const Mac& to, bool reassoc, uint16_t status, uint16_t aid, const ApState& s, int64_t at);
    Bytes ReasonFrame(uint16_t fc, const Mac& to, uint16_t reason);
    uint16_t FreeAid() const;
    void RunEvent(const ApEvent& e, int64_t due);
    void ReasonFramesLocked(const ApEvent& e, std::vector<Bytes>* frames);  // deauth, disassoc; lock held
    void Send(Channel c, int64_t at, std::vector<Bytes> frames);  // lock not held
    // RSN (ap_rsn.cpp): the keys and handshakes, made at the first association (lock held).
    ApRsn* RsnState();
    uint16_t RsnAssociate(const Mac& station, const uint8_t* elements, size_t length, std::vector<Bytes>* out);
    void SecuredData(const Bytes& frame, const FrameAddresses& a, const Reception& rx);  // lock not held
    void RekeyGroup(int64_t due);  // lock not held
    // Unprotected S1G action frames of associated stations (TWT; lock held).
    void OnAction(const FrameAddresses& a, const Bytes& frame, int64_t time, std::vector<Bytes>* out);
    // SAE authentication (ap_sae.cpp; lock held).
    void OnSae(const Mac& station, uint16_t seq, uint16_t status, const uint8_t* body, size_t length, std::vector<Bytes>* out);

    mutable std::mutex mutex_;
    ApConfig config_;
    Mac bssid_;
    int64_t epoch_;
    uint64_t tsfBase_;
    int64_t responseDelay_;  // 100 ns units
    std::vector<NeighbourInfo> neighbours_;
    Medium* medium_ = nullptr;
    mutable uint16_t seq_ = 0;
    mutable Record record_;
    bool echoData_ = false;
    std::map<uint8_t, uint16_t> echoSequence_;  // next sequence number per TID (16: non-QoS)
    std::vector<ApEvent> events_;  // by time (stand-in clock)
    std::map<Mac, StationInfo> stations_;
    std::map<Mac, Bytes> challenges_;  // shared-key challenge texts sent, by station
    uint64_t authSeen_ = 0;
    uint64_t assocSeen_ = 0;
    uint32_t challengeCounter_ = 0;
    std::function<void(const Mac&)> onAssociated_;
    std::unique_ptr<ApRsn> rsn_;
    ApTwt twt_;
    // Last: its thread runs the events' frames and must stop before the members go.
    Timeline timeline_;
};

}  // namespace sim::air
