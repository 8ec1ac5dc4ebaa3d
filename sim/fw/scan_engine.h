// The RAM code's scan engine and the chip's radio on the air (docs/hardware.md, "The scan engine").
//
// The engine takes the scan, scan-abort, network-list-offload, domain, chip-configuration,
// BSS-activation and channel-privilege commands of both formats (legacy on the second generation,
// unified on the third; fw/scan_cmd) and works on its own timeline (air/timeline): the command
// intake only queues the command at the current time, so it may run under the chip's lock.
//
// A scan visits its channels in order. On an active channel the radio sends its probe requests
// 0.5 ms after it tunes (for each SSID slot, or to each listed BSSID, `probe count` times, 0.1 ms
// apart), stays the minimum dwell, and stays on to the full dwell when it heard anything by then. On
// a passive channel (a passive scan, a channel the domain marks passive or radar) it listens the
// passive dwell; in an active scan it probes there once it has heard a beacon. Frames heard on the
// channel (beacons, probe responses, other management frames to a group address or to one of the
// chip's own addresses) reach the host through the frame ring at their air time, as the generation's
// receive descriptor with the channel byte and the RCPI of each chain. When the last channel ends and
// the host has taken the scan's frames from the frame ring, the scan-done event goes out (legacy
// 0x0D, unified 0x0E) with the scan's sequence number and a report of the channels.
//
// Outside scans the radio stays on the channel it was last granted (channel privilege) and keeps
// receiving that channel's frames.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "air/medium.h"
#include "air/timeline.h"
#include "chip/chip.h"
#include "chip/rx_build.h"
#include "fw/legacy_cmd.h"
#include "fw/scan_cmd.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

// Where the engine's frames and events go (the chip's rings, or a test).
class ScanHost {
public:
    virtual ~ScanHost() = default;
    // A receive buffer for the frame ring / the event ring; false when the ring refused it.
    virtual bool PushFrame(const Bytes& buffer) = 0;
    virtual bool PushEvent(const Bytes& buffer) = 0;
    // True when the host has taken every buffer of the frame ring.
    virtual bool FramesTaken() = 0;
};

// The chip's rings as the engine's host.
class ChipScanHost : public ScanHost {
public:
    explicit ChipScanHost(sim::chip::Chip& chip);
    bool PushFrame(const Bytes& buffer) override;
    bool PushEvent(const Bytes& buffer) override;
    bool FramesTaken() override;

private:
    sim::chip::Chip& chip_;
    unsigned frameRing_;
    unsigned eventRing_;
};

// Who the chip is on the air (from its capability report).
struct RadioIdentity {
    Mac address{0x00, 0x0C, 0x43, 0x35, 0x00, 0x01};
    uint8_t streams = 2;
};

// Dwell times the engine uses when neither the command nor the chip configuration gives one.
constexpr uint16_t kDefaultMinDwellMs = 20;
constexpr uint16_t kDefaultDwellMs = 110;
constexpr uint16_t kDefaultPassiveDwellMs = 110;
constexpr int64_t kProbeDelayUnits = 5000;     // 0.5 ms after tuning
constexpr int64_t kProbeSpacingUnits = 1000;   // 0.1 ms between probe requests
constexpr int64_t kHomeWindowUnits = 100 * 10000;  // the home channel is listened to in 100 ms windows
constexpr unsigned kFramesTakenChecks = 50;    // 1 ms apart, before the scan done goes out anyway
constexpr unsigned kEventRetries = 200;        // 1 ms apart, while the event ring has no room

struct ScanVisit {
    Channel channel;
    bool active = false;
    int64_t start = 0;
    int64_t end = 0;
    unsigned frames = 0;  // frames handed to the host
};

struct ScanRun {
    ScanRequest request;
    bool offload = false;  // a network-list-offload scan
    int64_t start = 0;
    int64_t end = 0;
    bool aborted = false;
    bool done = false;
    std::vector<ScanVisit> visits;
};

struct AirFrame {
    Channel channel;
    int64_t time = 0;
    Bytes frame;
};

struct ScanEngineRecord {
    std::vector<ScanRun> scans;
    std::vector<AirFrame> transmitted;  // probe requests the radio sent
    std::vector<AirFrame> delivered;    // frames handed to the host
    std::vector<Bytes> events;          // event buffers handed to the host
    uint64_t framesRefused = 0;         // the frame ring had no room
    uint64_t framesFiltered = 0;        // not for us (address), or heard outside a listening window
    std::vector<uint8_t> aborts;        // sequence numbers of abort commands
    std::optional<Domain> domain;
    std::optional<NloRequest> nlo;
    bool nloRunning = false;
    unsigned nloScans = 0;
    uint16_t minDwellMs = 0;  // "ScnChannelDwellTimeMin" (0: not set)
    uint16_t dfsDwellMs = 0;  // "ScnChannelDFSTime" (0: not set)
    std::optional<Channel> home;
    std::vector<std::string> faults;
};

class ScanEngine : public sim::air::Party {
public:
    ScanEngine(sim::chip::Generation generation, ScanHost& host);
    ~ScanEngine() override;
    ScanEngine(const ScanEngine&) = delete;
    ScanEngine& operator=(const ScanEngine&) = delete;

    // The chip's radio joins this air (nullptr: leaves it).
    void AttachAir(sim::air::Medium* medium);

    // The data path's share of the radio. Data frames heard on the home channel outside scans (not
    // our own) go to the handler, outside the engine's locks; SendFrame puts a frame the device sends
    // on the home channel now (false without air or home channel). SetHome tunes the radio as a
    // channel grant does.
    using DataHandler = std::function<void(const Bytes& frame, const sim::air::Reception& rx)>;
    void SetDataHandler(DataHandler handler);
    // Sees each management frame heard on the home channel before it reaches the host, with its
    // descriptor fields; it may change both, and false drops the frame. Runs under the engine's lock.
    using HomeFilter = std::function<bool(Bytes* frame, sim::chip::RxdFields* fields)>;
    void SetHomeFilter(HomeFilter filter);
    bool SendFrame(const Bytes& frame);
    void SetHome(Channel channel);

    // Commands as the command ring delivered them; anything the engine does not take is ignored.
    // Called under the chip's lock: they only queue work.
    void TakeLegacy(const LegacyCommand& command, const RadioIdentity& identity);
    void TakeUnified(const UnifiedCommand& command, const RadioIdentity& identity);
    // The firmware went back to its boot ROM: scans, offload, domain and home channel are gone.
    void Reset();

    ScanEngineRecord Record() const;
    void ClearRecord();
    bool Scanning() const;
    sim::air::Timeline& Timeline() { return timeline_; }

    // Party
    bool Hears(Channel c, int64_t t) const override;
    void Receive(const Bytes& frame, const sim::air::Reception& rx) override;
    bool IsDevice() const override { return true; }
    void MediumGone() override;

private:
    struct Plan {
        Channel channel;
        bool active;
        bool dfsPassive;  // passive only because the channel is; probes once a beacon is heard
        int64_t minUnits;
        int64_t maxUnits;
    };
    struct Current {
        Current() {}  // user-provided: default-constructible inside the class being defined
        ScanRun run;
        std::vector<Plan> plan;
        size_t index = 0;
        bool listening = false;
        int64_t visitStart = 0, minEnd = 0, maxEnd = 0, cutoff = 0;
        unsigned heardBeforeMin = 0;
        bool probedOnBeacon = false;
        unsigned offloadCycle = 0;
        unsigned matched = 0;  // offload: frames that matched a profile
    };

    void OnCommand(int64_t due, const std::function<void(int64_t)>& work);
    void HandleLegacy(const LegacyCommand& c, const RadioIdentity& id, int64_t due);
    void HandleUnified(const UnifiedCommand& c, const RadioIdentity& id, int64_t due);
    void HandleText(const std::string& text);
    // Faults of the sender a command showed, into the record (lock not held).
    void KeepFaults(const std::vector<std::string>& faults);
    void SetDomain(std::optional<Domain> domain);
    // A granted channel privilege: the radio's channel outside scans.
    void Tune(uint8_t band, uint8_t number, int64_t due);
    void StartScan(ScanRequest request, bool offload, int64_t due);
    void AbortScan(uint8_t seq, int64_t due);
    void StartChannel(uint64_t gen, int64_t t);
    void SendProbes(uint64_t gen, size_t index, int64_t t);
    void Decide(uint64_t gen, size_t index, int64_t t);
    void EndChannel(uint64_t gen, size_t index, int64_t t);
    void Finish(uint64_t gen, unsigned check, int64_t t);
    void Deliver(uint64_t gen, bool home, AirFrame frame, std::array<int8_t, 4> chains, bool wake);
    void EmitEvent(Bytes event, unsigned attempt, int64_t due);
    void HomeListen(uint64_t gen, int64_t t);
    void ResumeHome(int64_t t);  // lock not held
    void NloCycle(uint64_t gen, unsigned cycle, int64_t t);

    // Lock held.
    std::vector<Plan> PlanFor(const ScanRequest& r) const;
    std::vector<Bytes> ProbesFor(const Plan& p, const ScanRequest& r) const;
    Bytes ProbeRequest(Channel c, const Mac& a1, const Mac& a2, const Mac& a3, const Bytes& ssid,
                       const Bytes& extra) const;
    Bytes ScanDoneEvent(const ScanRun& run) const;
    bool OwnAddress(const Mac& a) const;
    Mac ScanAddress(uint8_t bssIndex) const;
    bool MatchesProfile(const Bytes& frame) const;
    void EndCurrentLocked(bool aborted, int64_t t, std::vector<Bytes>* events);

    sim::chip::Generation generation_;
    ScanHost& host_;
    // The air: held across every call into the medium, so that the medium cannot go (MediumGone)
    // while one runs. A frame coming back from the air (Receive) takes only mutex_.
    std::recursive_mutex airMutex_;
    sim::air::Medium* medium_ = nullptr;
    mutable std::mutex mutex_;  // everything below; never held across a call into the medium or the host
    RadioIdentity identity_;
    std::map<uint8_t, Mac> bssAddress_;     // BSS index -> own address (legacy activation, unified BSS info)
    std::map<uint8_t, Mac> ownMac_;         // own-MAC index -> address (unified device information)
    std::map<uint8_t, uint8_t> bssOwnMac_;  // BSS index -> own-MAC index (unified BSS information)
    Domain domain_;
    std::optional<Current> current_;
    uint64_t scanGen_ = 0;  // a new scan, an abort or a reset makes every item of the old one stale
    uint64_t homeGen_ = 0;
    uint64_t nloGen_ = 0;
    mutable uint16_t seqCounter_ = 0;
    ScanEngineRecord record_;
    DataHandler dataHandler_;
    HomeFilter homeFilter_;
    // Last: the timeline's thread runs the engine's items and must stop before the members go.
    sim::air::Timeline timeline_;
};

}  // namespace sim::fw
