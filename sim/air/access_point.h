// A simulated access point: a peer on the medium that sends beacons on time and answers probe
// requests as IEEE 802.11 says, with the elements a real access point of its kind carries.
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
// Peer design: every frame addressed to the access point arrives through Receive; each management
// subtype has its handler (today: probe requests; authentication, association, deauthentication,
// action frames and data are recorded as received and left for the issues that build the
// connection). Answers go out through the medium. The configuration may change while the world
// runs (operation elements, signal) under the access point's lock.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <map>

#include "air/ieee80211.h"
#include "air/medium.h"

namespace sim::air {

enum class Security : uint8_t {
    Open,
    Wep,
    WpaWpa2,   // WPA (TKIP) and WPA2 (TKIP and CCMP) mixed, PSK
    Wpa2Psk,   // RSN, CCMP, PSK
    Wpa3Sae,   // RSN, CCMP, SAE
    Wpa2Wpa3,  // RSN transition mode: PSK and SAE
};
enum class Pmf : uint8_t { Off, Capable, Required };

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
// required, no HT/VHT; VHT only in 5 GHz), PMF against security. Empty when it is usable.
std::string ValidateApConfig(const ApConfig& c);

class AccessPoint : public Party {
public:
    // `epoch`: the world's start on the stand-in clock (TBTTs count from it).
    AccessPoint(ApConfig config, int64_t epoch);

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

    // The frames as they go on the air.
    Bytes BeaconAt(int64_t time) const;
    Bytes ProbeResponseTo(const Mac& requester, int64_t time) const;
    int64_t Tbtt(int64_t index) const;  // stand-in time of beacon `index`
    uint64_t TsfAt(int64_t time) const;  // microseconds

    // Whether a probe request (a whole frame) asks this access point for an answer.
    bool AnswersProbe(const Bytes& frame, Channel heardOn) const;

    struct Record {
        uint64_t beacons = 0;
        uint64_t probeRequests = 0;     // heard on its channel
        uint64_t probeResponses = 0;
        uint64_t otherFrames = 0;       // addressed to it and not handled yet
        std::vector<uint16_t> otherFrameControls;
        uint64_t dataFrames = 0;        // data frames to it from a station (To-DS)
        uint64_t dataEchoed = 0;        // of them, sent back to their station
    };
    Record GetRecord() const;

    // Party
    bool Hears(Channel c, int64_t t) const override;
    void Receive(const Bytes& frame, const Reception& rx) override;
    void Scheduled(Channel c, int64_t from, int64_t to, std::vector<Emission>* out) override;
    std::optional<int8_t> PathSignalDbm(int64_t t) const override;
    std::array<int8_t, 4> ChainOffsets() const override;
    void MediumGone() override;

private:
    Bytes Body(bool beacon, int64_t time) const;  // fixed fields and elements; lock held
    Bytes Elements(bool beacon) const;            // lock held
    void EchoData(const Bytes& frame, const FrameAddresses& a, const Reception& rx);  // lock not held
    uint16_t NextSeq() const;                     // lock held
    int64_t PhaseUnits() const;                   // lock held

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
};

}  // namespace sim::air
