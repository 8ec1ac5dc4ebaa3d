// The RSN side of a simulated access point: the authenticator of the 4-way and group-key handshakes
// (the same state machine as the OS's supplicant's counterpart), its keys (a PMK from the passphrase
// or from SAE, a group key and, with protected management frames, an integrity group key) and the
// CCMP protection of the data it exchanges with each keyed station.
//
// Association: the station's RSN element is checked against what the access point offers (pairwise
// CCMP-128, an AKM it advertises, SAE only after an SAE authentication, management frame protection
// when required); a refusal carries the status IEEE 802.11 names for it. After a successful
// association message 1 goes out at once. A request without an RSN element is associated as before
// the air knew RSN (no handshake, data as it comes), so that worlds and callers written for that
// keep working.
//
// Data: an EAPOL frame from a station feeds its authenticator (plain before the pairwise key, under
// it after); any other data frame is taken only when protected with the station's key, with a packet
// number above the last one (a replay is dropped and counted). Frames to a keyed station go out
// under its key. A group rekey sends group-key message 1 with the next group key to every keyed
// station.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "air/ap_rsn_cipher.h"
#include "air/ieee80211.h"
#include "kshim/host/supplicant.h"

namespace sim::air {

// Status codes of an RSN association refusal (802.11-2020 9.4.1.9).
constexpr uint16_t kStatusInvalidPairwiseCipher = 42;
constexpr uint16_t kStatusInvalidAkmp = 43;
constexpr uint16_t kStatusRobustPolicyViolation = 31;
constexpr uint16_t kStatusInvalidRsne = 72;

struct ApRsnCounters {
    uint64_t handshakes = 0;    // 4-way handshakes completed
    uint64_t groupRekeys = 0;   // group-key handshakes completed
    uint64_t eapolDropped = 0;  // EAPOL frames an authenticator refused
    uint64_t dataDropped = 0;   // unprotected, undecryptable or replayed data
    uint64_t replays = 0;
    uint64_t saeCommits = 0;    // SAE commits taken (with a valid token where one was asked)
    uint64_t saeTokensAsked = 0;
    uint64_t saeConfirmed = 0;  // SAE exchanges whose confirm checked out
    uint64_t saeFailed = 0;     // commits or confirms that failed a check
};

class ApRsn {
public:
    // `advertised`: the access point's RSN element as its beacons carry it (id and length on).
    // `saeOffered`, `pskOffered`: the AKMs it advertises; `pmfRequired`/`pmfCapable` its policy.
    ApRsn(const Mac& bssid, const Bytes& ssid, const std::string& passphrase, Bytes advertised, bool pskOffered,
          bool saeOffered, bool pmfCapable, bool pmfRequired);

    // The PMK an SAE authentication with the station gave.
    void SetSaePmk(const Mac& station, Bytes pmk);
    // Checks the association request's elements; success (0) prepares the station's handshake.
    uint16_t Associate(const Mac& station, const uint8_t* elements, size_t length);
    void Forget(const Mac& station);
    bool Keyed(const Mac& station) const;
    // Whether the station associated with an RSN element (and so runs the handshake).
    bool Known(const Mac& station) const { return Find(station) != nullptr; }
    bool Pmf(const Mac& station) const;

    // Message 1 for a station just associated (empty when it has no handshake).
    std::optional<Bytes> Message1(const Mac& station);

    // A data frame from a station (To-DS).
    struct Intake {
        enum Kind : uint8_t { Eapol, Data, Dropped } kind = Dropped;
        Bytes plain;             // Data: the frame without protection
        std::optional<Bytes> reply;  // Eapol: the EAPOL frame to answer with
        bool completed = false;  // Eapol: the 4-way handshake completed with this frame
    };
    Intake FromStation(const Mac& station, const Bytes& frame);
    // Protects a frame (data, or a unicast robust management frame) to a keyed station; gives it back
    // as it is to one that is not keyed. Empty when protection fails.
    std::optional<Bytes> ToStation(const Mac& station, const Bytes& frame);
    // Whether an EAPOL frame to the station goes protected (the pairwise key is in place).
    bool ProtectEapol(const Mac& station) const { return Keyed(station); }

    // SAE (ap_sae.cpp): a commit (sequence 1) or confirm (2) body from a station; the answers to
    // send (sequence, status, body). A confirm that checks out gives the station its PMK.
    struct SaeAnswer {
        uint16_t seq = 0;
        uint16_t status = 0;
        Bytes body;
    };
    std::vector<SaeAnswer> Sae(const Mac& station, uint16_t seq, uint16_t status, const uint8_t* body, size_t length,
                               bool antiClogging, bool* authenticated);

    // A new group key; group-key message 1 for every keyed station.
    std::vector<std::pair<Mac, Bytes>> Rekey();
    uint8_t GroupKeyId() const { return gtk_.keyId; }
    // Appends the Management MIC element to a group-addressed robust management frame.
    std::optional<Bytes> ProtectGroupManagement(const Bytes& frame);

    using Counters = ApRsnCounters;
    Counters GetCounters() const { return counters_; }

private:
    struct Station {
        std::unique_ptr<kshim::host::wpa::Authenticator> auth;
        bool pmf = false;
        uint64_t txPn = 0;
        std::optional<uint64_t> rxPn;
    };
    Station* Find(const Mac& station);
    const Station* Find(const Mac& station) const;

    Mac bssid_;
    Bytes ssid_;
    std::string passphrase_;
    Bytes tokenSecret_;
    std::map<Mac, std::unique_ptr<kshim::host::wpa::sae::Session>> sae_;
    Bytes pskPmk_;
    Bytes advertised_;
    bool pskOffered_, saeOffered_, pmfCapable_, pmfRequired_;
    std::map<Mac, Bytes> saePmk_;
    std::map<Mac, Station> stations_;
    kshim::host::wpa::GroupKey gtk_;
    kshim::host::wpa::GroupKey igtk_;
    Counters counters_;
};

// An EAPOL frame inside an 802.11 data frame (LLC/SNAP with ethertype 0x888E): the frame's bytes
// after the MAC header; empty when the frame does not carry one.
std::optional<Bytes> EapolOf(const Bytes& frame);
// A non-QoS data frame from the access point to a station carrying an EAPOL frame.
Bytes EapolDataFrame(const Mac& to, const Mac& bssid, uint16_t seq, const Bytes& eapol);

}  // namespace sim::air
