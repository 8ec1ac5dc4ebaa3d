// The RAM code's scan engine and the chip's radio on the air.
#include "fw/scan_engine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "chip/rx_build.h"
#include "fw/events.h"
#include "fw/unified_events.h"
#include "kshim/host/control.h"

namespace sim::fw {

using sim::air::Band;
using sim::air::Element;
using sim::air::ElementReader;
using sim::air::FindElement;
using sim::air::kBroadcast;
using sim::air::kUnitsPerMs;
using sim::air::kZeroMac;
using sim::air::PutElement;
using sim::air::PutExtElement;
using sim::air::PutLe16;
using sim::air::PutLe32;
using sim::chip::RxRole;

namespace {

constexpr uint8_t kStatusComplete = 0;
constexpr uint8_t kStatusAborted = 1;
constexpr size_t kReportChannels = 64;
constexpr size_t kLegacyScanDoneLength = 340;
constexpr int64_t kBeaconProbeDelayUnits = 2000;  // probes 0.2 ms after the beacon of a passive channel
constexpr unsigned kMaxProbeCount = 3;
constexpr uint8_t kNloStatusNormal = 1;
constexpr uint32_t kNloDefaultPeriodS = 30;
constexpr uint16_t kMaxDwellMs = 1000;

sim::chip::RxdGeneration RxdGen(sim::chip::Generation g)
{
    switch (g) {
    case sim::chip::Generation::Older:
        return sim::chip::RxdGeneration::Older;
    case sim::chip::Generation::Third:
        return sim::chip::RxdGeneration::Third;
    default:
        return sim::chip::RxdGeneration::Second;
    }
}

uint8_t Rcpi(int dbm) { return static_cast<uint8_t>(std::clamp((dbm + 110) * 2, 0, 220)); }

// The receive descriptor's channel byte: the channel, or in 6 GHz 181 + (channel - 1) / 4.
uint8_t ChannelByte(Channel c)
{
    return c.band == Band::B6G ? static_cast<uint8_t>(181 + (c.number - 1) / 4) : c.number;
}

bool BeaconOrProbeResponse(uint16_t fc) { return fc == sim::air::kFcBeacon || fc == sim::air::kFcProbeResp; }

// HT/VHT/HE maps of `streams` spatial streams, 2 bits per stream, `value` for each supported one.
uint16_t StreamMap(uint8_t streams, uint16_t value)
{
    uint16_t map = 0xFFFF;
    for (unsigned s = 0; s < streams && s < 8; ++s) {
        map = static_cast<uint16_t>((map & ~(3u << (2 * s))) | (value << (2 * s)));
    }
    return map;
}

uint16_t ParseDwellText(const std::string& text, const char* key, bool* found)
{
    const size_t n = std::strlen(key);
    *found = false;
    if (text.compare(0, n, key) != 0 || text.size() <= n || text[n] != ' ') {
        return 0;
    }
    char* end = nullptr;
    const long v = std::strtol(text.c_str() + n + 1, &end, 10);
    if (end == text.c_str() + n + 1) {
        return 0;
    }
    *found = true;
    return static_cast<uint16_t>(std::clamp<long>(v, 0, kMaxDwellMs));
}

}  // namespace

// ================================================================================================
// ChipScanHost
// ================================================================================================
ChipScanHost::ChipScanHost(sim::chip::Chip& chip)
    : chip_(chip), frameRing_(chip.rings().RxRing(RxRole::Frames)), eventRing_(chip.rings().RxRing(RxRole::Events))
{
}

bool ChipScanHost::PushFrame(const Bytes& buffer)
{
    return chip_.PushRx(frameRing_, buffer.data(), buffer.size()) == sim::chip::RxResult::Ok;
}

bool ChipScanHost::PushEvent(const Bytes& buffer)
{
    return chip_.PushRx(eventRing_, buffer.data(), buffer.size()) == sim::chip::RxResult::Ok;
}

bool ChipScanHost::FramesTaken()
{
    const uint32_t base = sim::chip::kRxRingBase + 0x10 * frameRing_;
    const uint32_t count = chip_.Peek(base + sim::chip::kRingRegCount) & sim::chip::kRingIndexMask;
    if (count == 0) {
        return true;
    }
    const uint32_t cpu = chip_.Peek(base + sim::chip::kRingRegCpuIndex) & sim::chip::kRingIndexMask;
    const uint32_t dma = chip_.Peek(base + sim::chip::kRingRegDmaIndex) & sim::chip::kRingIndexMask;
    return (cpu + 1) % count == dma;
}

// ================================================================================================
// ScanEngine: intake
// ================================================================================================
ScanEngine::ScanEngine(sim::chip::Generation generation, ScanHost& host)
    : generation_(generation), host_(host), domain_(DefaultDomain())
{
}

ScanEngine::~ScanEngine() { AttachAir(nullptr); }

void ScanEngine::AttachAir(sim::air::Medium* medium)
{
    sim::air::Medium* old;
    {
        std::lock_guard<std::recursive_mutex> air(airMutex_);
        old = medium_;
        medium_ = medium;
    }
    if (old != nullptr && old != medium) {
        old->Leave(this);
    }
    if (medium != nullptr && medium != old) {
        medium->Join(this);
        ResumeHome(kshim::host::ClockNow());
    }
}

void ScanEngine::SetDataHandler(DataHandler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    dataHandler_ = std::move(handler);
}

void ScanEngine::SetHomeFilter(HomeFilter filter)
{
    std::lock_guard<std::mutex> lock(mutex_);
    homeFilter_ = std::move(filter);
}

bool ScanEngine::SendFrame(const Bytes& frame)
{
    std::lock_guard<std::recursive_mutex> air(airMutex_);
    std::optional<Channel> home;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        home = record_.home;
    }
    if (medium_ == nullptr || !home) {
        return false;
    }
    medium_->Transmit(this, *home, kshim::host::ClockNow(), frame);
    return true;
}

void ScanEngine::SetHome(Channel channel)
{
    Tune(static_cast<uint8_t>(channel.band), channel.number, kshim::host::ClockNow());
}

void ScanEngine::MediumGone()
{
    std::lock_guard<std::recursive_mutex> air(airMutex_);
    medium_ = nullptr;
}

void ScanEngine::OnCommand(int64_t due, const std::function<void(int64_t)>& work) { timeline_.At(due, work); }

void ScanEngine::TakeLegacy(const LegacyCommand& c, const RadioIdentity& identity)
{
    switch (c.cmdId) {
    case kLegacyCmdScanV2:
    case kLegacyCmdScanV1:
    case kLegacyCmdScanAbort:
    case kLegacyCmdNloConfig:
    case kLegacyCmdNloEnable:
    case kLegacyCmdDomain:
    case kLegacyCmdBssActivate:
    case 0x1C:  // channel privilege
    case 0xCA:  // chip configuration text
        OnCommand(kshim::host::ClockNow(), [this, c, identity](int64_t due) { HandleLegacy(c, identity, due); });
        break;
    default:
        break;
    }
}

void ScanEngine::TakeUnified(const UnifiedCommand& c, const RadioIdentity& identity)
{
    switch (c.cmdId) {
    case kUniCmdScan:
    case kUniCmdDomain:
    case kUniCmdDevInfo:
    case kUniCmdBssInfo:
    case 0x27:  // channel privilege
    case 0x0E:  // chip configuration
        OnCommand(kshim::host::ClockNow(), [this, c, identity](int64_t due) { HandleUnified(c, identity, due); });
        break;
    default:
        break;
    }
}

void ScanEngine::Reset()
{
    OnCommand(kshim::host::ClockNow(), [this](int64_t) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++scanGen_;
        ++homeGen_;
        ++nloGen_;
        if (current_) {
            record_.scans.push_back(current_->run);
            current_.reset();
        }
        record_.home.reset();
        record_.nloRunning = false;
        record_.nlo.reset();
        record_.domain.reset();
        record_.minDwellMs = 0;
        record_.dfsDwellMs = 0;
        domain_ = DefaultDomain();
        bssAddress_.clear();
        ownMac_.clear();
        bssOwnMac_.clear();
    });
}

void ScanEngine::HandleText(const std::string& text)
{
    bool found = false;
    uint16_t v = ParseDwellText(text, "ScnChannelDwellTimeMin", &found);
    std::lock_guard<std::mutex> lock(mutex_);
    if (found) {
        record_.minDwellMs = v;
        return;
    }
    v = ParseDwellText(text, "ScnChannelDFSTime", &found);
    if (found) {
        record_.dfsDwellMs = v;
    }
}

void ScanEngine::SetDomain(std::optional<Domain> domain)
{
    if (domain) {
        std::lock_guard<std::mutex> lock(mutex_);
        domain_ = *domain;
        record_.domain = std::move(*domain);
    }
}

void ScanEngine::Tune(uint8_t band, uint8_t number, int64_t due)
{
    const Channel ch{static_cast<Band>(band), number};
    if (band < 1 || band > 3 || !sim::air::ValidChannel(ch)) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.home = ch;
    }
    ResumeHome(due);
}

void ScanEngine::HandleLegacy(const LegacyCommand& c, const RadioIdentity& id, int64_t due)
{
    const Bytes& p = c.payload;
    std::vector<std::string> faults;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        identity_ = id;
    }
    switch (c.cmdId) {
    case kLegacyCmdScanV2:
    case kLegacyCmdScanV1: {
        std::optional<ScanRequest> r = c.cmdId == kLegacyCmdScanV2 ? DecodeScanV2(p, &faults) : DecodeScanV1(p, &faults);
        if (r) {
            StartScan(std::move(*r), false, due);
        }
        break;
    }
    case kLegacyCmdScanAbort:
        if (!p.empty()) {
            AbortScan(p[0], due);
        }
        break;
    case kLegacyCmdNloConfig:
        if (std::optional<NloRequest> r = DecodeNloConfig(p, &faults)) {
            std::lock_guard<std::mutex> lock(mutex_);
            record_.nlo = std::move(*r);
        }
        break;
    case kLegacyCmdNloEnable:
        if (!p.empty()) {
            const bool start = p[0] == 0;
            uint64_t gen = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++nloGen_;
                if (current_ && current_->run.offload) {
                    record_.scans.push_back(current_->run);
                    current_.reset();
                    ++scanGen_;
                }
                record_.nloRunning = start && record_.nlo.has_value();
                if (start && !record_.nlo) {
                    faults.push_back("network list offload started without profiles");
                }
                gen = nloGen_;
            }
            if (start) {
                NloCycle(gen, 0, due);
            } else {
                ResumeHome(due);
            }
        }
        break;
    case kLegacyCmdDomain:
        SetDomain(DecodeDomain(p, &faults));
        break;
    case kLegacyCmdBssActivate:
        if (p.size() >= 10) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (p[1] != 0) {
                bssAddress_[p[0]] = sim::air::MacAt(p.data() + 4);
            } else {
                bssAddress_.erase(p[0]);
            }
        }
        break;
    case 0x1C:
        if (p.size() >= 6 && p[2] == 0) {
            Tune(p[5], p[3], due);
        }
        break;
    case 0xCA:
        if (p.size() >= 8) {
            const char* text = reinterpret_cast<const char*>(p.data() + 8);
            HandleText(std::string(text, strnlen(text, p.size() - 8)));
        }
        break;
    default:
        break;
    }
    KeepFaults(faults);
}

void ScanEngine::KeepFaults(const std::vector<std::string>& faults)
{
    if (!faults.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.faults.insert(record_.faults.end(), faults.begin(), faults.end());
    }
}

void ScanEngine::HandleUnified(const UnifiedCommand& c, const RadioIdentity& id, int64_t due)
{
    std::vector<std::string> faults;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        identity_ = id;
    }
    switch (c.cmdId) {
    case kUniCmdScan:
        if (c.Find(0x01) != nullptr) {
            if (std::optional<ScanRequest> r = DecodeUnifiedScan(c, &faults)) {
                StartScan(std::move(*r), false, due);
            }
        } else if (c.Find(0x02) != nullptr) {
            if (!c.fixed.empty()) {
                AbortScan(c.fixed[0], due);
            }
        } else if (const UniTlv* t = c.Find(0x04)) {
            LegacyCommand enable;
            enable.cmdId = kLegacyCmdNloEnable;
            enable.payload = {t->value.empty() ? uint8_t{1} : t->value[0], 0, 0, 0};
            HandleLegacy(enable, id, due);
        } else if (std::optional<NloRequest> r = DecodeUnifiedNlo(c, &faults)) {
            std::lock_guard<std::mutex> lock(mutex_);
            record_.nlo = std::move(*r);
        }
        break;
    case kUniCmdDomain:
        SetDomain(DecodeUnifiedDomain(c, &faults));
        break;
    case kUniCmdDevInfo:
        if (const UniTlv* t = c.Find(0); t != nullptr && t->value.size() >= 8 && !c.fixed.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (t->value[0] != 0) {
                ownMac_[c.fixed[0]] = sim::air::MacAt(t->value.data() + 2);
            } else {
                ownMac_.erase(c.fixed[0]);
            }
        }
        break;
    case kUniCmdBssInfo:
        if (const UniTlv* t = c.Find(0); t != nullptr && t->value.size() >= 2 && !c.fixed.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (t->value[0] != 0) {
                bssOwnMac_[c.fixed[0]] = t->value[1];
            } else {
                bssOwnMac_.erase(c.fixed[0]);
            }
        }
        break;
    case 0x27:
        if (const UniTlv* t = c.Find(0); t != nullptr && t->value.size() >= 5) {
            Tune(t->value[4], t->value[2], due);
        }
        break;
    case 0x0E:
        if (const UniTlv* t = c.Find(2); t != nullptr && t->value.size() >= 8) {
            const size_t n = std::min<size_t>(sim::air::Le16(t->value.data() + 4), t->value.size() - 8);
            const char* text = reinterpret_cast<const char*>(t->value.data() + 8);
            HandleText(std::string(text, strnlen(text, n)));
        }
        break;
    default:
        break;
    }
    KeepFaults(faults);
}

// ================================================================================================
// ScanEngine: scans
// ================================================================================================
std::vector<ScanEngine::Plan> ScanEngine::PlanFor(const ScanRequest& r) const
{
    std::vector<Channel> channels;
    if (r.channelType == kChannelsListed || !r.channels.empty()) {
        channels = r.channels;
    } else {
        for (const DomainChannel& d : domain_.channels) {
            const Band b = d.channel.band;
            const bool take = r.channelType == kChannels2G4   ? b == Band::B2G4
                              : r.channelType == kChannels5G  ? b == Band::B5G
                              : r.channelType == kChannelsSocial
                                  ? b == Band::B2G4 && (d.channel.number == 1 || d.channel.number == 6 ||
                                                        d.channel.number == 11)
                                  : true;
            if (take) {
                channels.push_back(d.channel);
            }
        }
    }
    std::vector<Plan> plan;
    const bool activeScan = r.scanType != 0;
    for (const Channel& c : channels) {
        uint32_t flags = sim::air::IsDfs(c) ? kDomainRadar : 0;
        for (const DomainChannel& d : domain_.channels) {
            if (d.channel == c) {
                flags |= d.flags;
                break;
            }
        }
        const bool passiveChannel = (flags & (kDomainPassive | kDomainRadar)) != 0;
        Plan p{c, activeScan && !passiveChannel, activeScan && passiveChannel, 0, 0};
        if (p.active) {
            const uint16_t min = r.minDwellMs != 0   ? r.minDwellMs
                                 : record_.minDwellMs != 0 ? record_.minDwellMs
                                                           : kDefaultMinDwellMs;
            const uint16_t max = std::max<uint16_t>(r.dwellMs != 0 ? r.dwellMs : kDefaultDwellMs, min);
            p.minUnits = min * kUnitsPerMs;
            p.maxUnits = max * kUnitsPerMs;
        } else {
            uint16_t d = r.dwellMs != 0 ? r.dwellMs : kDefaultPassiveDwellMs;
            if (passiveChannel && record_.dfsDwellMs != 0) {
                d = record_.dfsDwellMs;
            }
            p.minUnits = p.maxUnits = static_cast<int64_t>(d) * kUnitsPerMs;
        }
        plan.push_back(p);
    }
    return plan;
}

void ScanEngine::EndCurrentLocked(bool aborted, int64_t t, std::vector<Bytes>* events)
{
    if (!current_) {
        return;
    }
    ScanRun& run = current_->run;
    if (!run.visits.empty() && run.visits.back().end == 0) {
        run.visits.back().end = t;
    }
    run.end = t;
    run.aborted = aborted;
    run.done = true;
    if (!run.offload) {
        events->push_back(ScanDoneEvent(run));
    }
    record_.scans.push_back(run);
    current_.reset();
}

void ScanEngine::StartScan(ScanRequest request, bool offload, int64_t due)
{
    std::vector<Bytes> events;
    uint64_t gen;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (current_) {
            // A new scan takes over from a running one, which ends as aborted; an offload scan that
            // gives way looks again a second later.
            if (current_->run.offload && !offload) {
                const uint64_t nloGen = nloGen_;
                const unsigned cycle = current_->offloadCycle;
                timeline_.At(due + 1000 * kUnitsPerMs,
                             [this, nloGen, cycle](int64_t at) { NloCycle(nloGen, cycle, at); });
            }
            EndCurrentLocked(true, due, &events);
        }
        ++scanGen_;
        ++homeGen_;
        gen = scanGen_;
        current_.emplace();
        current_->plan = PlanFor(request);
        current_->run.request = std::move(request);
        current_->run.offload = offload;
        current_->run.start = due;
    }
    for (Bytes& e : events) {
        EmitEvent(std::move(e), 0, due);
    }
    StartChannel(gen, due);
}

void ScanEngine::AbortScan(uint8_t seq, int64_t due)
{
    std::vector<Bytes> events;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.aborts.push_back(seq);
        if (!current_ || current_->run.offload || current_->run.request.seq != seq) {
            return;  // nothing of that scan runs
        }
        EndCurrentLocked(true, due, &events);
        ++scanGen_;
    }
    for (Bytes& e : events) {
        EmitEvent(std::move(e), 0, due);
    }
    ResumeHome(due);
}

void ScanEngine::StartChannel(uint64_t gen, int64_t t)
{
    Plan p{};
    size_t index = 0;
    bool finished = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != scanGen_ || !current_) {
            return;
        }
        Current& cur = *current_;
        const uint16_t budget = cur.run.request.budgetMs;
        const bool spent = budget != 0 && t - cur.run.start >= static_cast<int64_t>(budget) * kUnitsPerMs;
        if (cur.index >= cur.plan.size() || spent) {
            cur.listening = false;
            finished = true;
        } else {
            index = cur.index;
            p = cur.plan[index];
            cur.visitStart = t;
            cur.minEnd = t + p.minUnits;
            cur.maxEnd = t + p.maxUnits;
            cur.cutoff = cur.maxEnd;
            cur.heardBeforeMin = 0;
            cur.probedOnBeacon = false;
            cur.listening = true;
            cur.run.visits.push_back({p.channel, p.active, t, 0, 0});
        }
    }
    if (finished) {
        // Every channel done (or the time spent): the scan ends once the host has its frames.
        Finish(gen, 0, t);
        return;
    }
    timeline_.At(t + p.minUnits, [this, gen, index](int64_t due) { Decide(gen, index, due); });
    if (p.active) {
        timeline_.At(t + kProbeDelayUnits, [this, gen, index](int64_t due) { SendProbes(gen, index, due); });
    }
    std::lock_guard<std::recursive_mutex> air(airMutex_);
    if (medium_ != nullptr) {
        medium_->Listen(this, p.channel, t, t + p.minUnits);
    }
}

void ScanEngine::SendProbes(uint64_t gen, size_t index, int64_t t)
{
    std::vector<Bytes> probes;
    Channel channel;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != scanGen_ || !current_ || current_->index != index || !current_->listening) {
            return;
        }
        const Plan& p = current_->plan[index];
        channel = p.channel;
        probes = ProbesFor(p, current_->run.request);
        for (size_t k = 0; k < probes.size(); ++k) {
            record_.transmitted.push_back({channel, t + static_cast<int64_t>(k) * kProbeSpacingUnits, probes[k]});
        }
    }
    std::lock_guard<std::recursive_mutex> air(airMutex_);
    for (size_t k = 0; k < probes.size() && medium_ != nullptr; ++k) {
        medium_->Transmit(this, channel, t + static_cast<int64_t>(k) * kProbeSpacingUnits, probes[k]);
    }
}

void ScanEngine::Decide(uint64_t gen, size_t index, int64_t t)
{
    Channel channel;
    int64_t from = 0;
    int64_t to = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != scanGen_ || !current_ || current_->index != index) {
            return;
        }
        Current& cur = *current_;
        const Plan& p = cur.plan[index];
        const bool extend = p.active && cur.heardBeforeMin != 0 && cur.maxEnd > cur.minEnd;
        cur.cutoff = extend ? cur.maxEnd : cur.minEnd;
        if (extend) {
            channel = p.channel;
            from = cur.minEnd;
            to = cur.maxEnd;
        }
    }
    if (to == 0) {
        EndChannel(gen, index, t);
        return;
    }
    timeline_.At(to, [this, gen, index](int64_t due) { EndChannel(gen, index, due); });
    std::lock_guard<std::recursive_mutex> air(airMutex_);
    if (medium_ != nullptr) {
        medium_->Listen(this, channel, from, to);
    }
}

void ScanEngine::EndChannel(uint64_t gen, size_t index, int64_t t)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != scanGen_ || !current_ || current_->index != index) {
            return;
        }
        current_->run.visits.back().end = t;
        current_->listening = false;
        ++current_->index;
    }
    StartChannel(gen, t);
}

void ScanEngine::Finish(uint64_t gen, unsigned check, int64_t t)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != scanGen_ || !current_) {
            return;
        }
    }
    // The scan done follows the scan's frames: the host takes them from the frame ring first.
    if (check < kFramesTakenChecks && !host_.FramesTaken()) {
        timeline_.At(t + kUnitsPerMs, [this, gen, check](int64_t due) { Finish(gen, check + 1, due); });
        return;
    }
    std::vector<Bytes> events;
    bool offload = false;
    bool matched = false;
    unsigned cycle = 0;
    uint64_t nloGen = 0;
    uint8_t seq = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != scanGen_ || !current_) {
            return;
        }
        offload = current_->run.offload;
        matched = current_->matched != 0;
        cycle = current_->offloadCycle;
        seq = current_->run.request.seq;
        EndCurrentLocked(false, t, &events);
        ++scanGen_;
        nloGen = nloGen_;
        if (offload && matched) {
            // The offload found a network: the host is told and the offload ends.
            record_.nloRunning = false;
            ++nloGen_;
            if (generation_ != sim::chip::Generation::Third) {
                EventHeader h;
                h.id = kLegacyEventNlo;
                events.push_back(EncodeRamEvent(generation_, h, {seq, kNloStatusNormal, 0, 0}));
            }
        }
    }
    for (Bytes& e : events) {
        EmitEvent(std::move(e), 0, t);
    }
    ResumeHome(t);
    if (offload && !matched) {
        uint32_t period = kNloDefaultPeriodS;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (record_.nlo) {
                const auto& prm = record_.nlo->params;  // fast period, slow period, fast iterations, -
                const uint32_t fast = prm[0] != 0 ? prm[0] : kNloDefaultPeriodS;
                const uint32_t slow = prm[1] != 0 ? prm[1] : fast;
                period = prm[2] == 0 || cycle + 1 < prm[2] ? fast : slow;
            }
        }
        timeline_.At(t + static_cast<int64_t>(period) * 1000 * kUnitsPerMs,
                     [this, nloGen, cycle](int64_t due) { NloCycle(nloGen, cycle + 1, due); });
    }
}

void ScanEngine::NloCycle(uint64_t gen, unsigned cycle, int64_t t)
{
    ScanRequest r;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != nloGen_ || !record_.nloRunning || !record_.nlo) {
            return;
        }
        if (current_) {
            // The host's scan goes first; the offload looks again a second later.
            timeline_.At(t + 1000 * kUnitsPerMs, [this, gen, cycle](int64_t due) { NloCycle(gen, cycle, due); });
            return;
        }
        const NloRequest& n = *record_.nlo;
        r.format = generation_ == sim::chip::Generation::Third ? ScanRequest::Format::Unified
                                                               : ScanRequest::Format::LegacyV2;
        r.seq = n.seq;
        r.bssIndex = n.bssIndex;
        r.scanType = 1;
        r.ssids = n.hiddenSsids;
        r.ssids.push_back({});
        r.channelType = n.hints.empty() ? kChannelsAll : kChannelsListed;
        r.channels = n.hints;
        ++record_.nloScans;
    }
    StartScan(std::move(r), true, t);
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_) {
        current_->offloadCycle = cycle;
    }
}

// ================================================================================================
// ScanEngine: the radio
// ================================================================================================
bool ScanEngine::Hears(Channel c, int64_t t) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_) {
        return current_->listening && current_->plan[current_->index].channel == c && t >= current_->visitStart &&
               t < current_->maxEnd;
    }
    return record_.home && *record_.home == c;
}

bool ScanEngine::OwnAddress(const Mac& a) const
{
    if (a == identity_.address) {
        return true;
    }
    for (const auto& [index, mac] : bssAddress_) {
        if (mac == a) {
            return true;
        }
    }
    for (const auto& [index, mac] : ownMac_) {
        if (mac == a) {
            return true;
        }
    }
    return false;
}

Mac ScanEngine::ScanAddress(uint8_t bssIndex) const
{
    if (auto it = bssAddress_.find(bssIndex); it != bssAddress_.end()) {
        return it->second;
    }
    if (auto it = bssOwnMac_.find(bssIndex); it != bssOwnMac_.end()) {
        if (auto mac = ownMac_.find(it->second); mac != ownMac_.end()) {
            return mac->second;
        }
    }
    return identity_.address;
}

bool ScanEngine::MatchesProfile(const Bytes& frame) const
{
    if (!record_.nlo || frame.size() < 36 || !BeaconOrProbeResponse(sim::air::Le16(frame.data()))) {
        return false;
    }
    std::optional<Element> ssid = FindElement(frame.data() + 36, frame.size() - 36, sim::air::kEidSsid);
    if (!ssid) {
        return false;
    }
    for (const NloProfile& p : record_.nlo->profiles) {
        if (p.ssid.size() == ssid->length && std::equal(p.ssid.begin(), p.ssid.end(), ssid->body)) {
            return true;
        }
    }
    return false;
}

void ScanEngine::Receive(const Bytes& frame, const sim::air::Reception& rx)
{
    std::optional<sim::air::FrameAddresses> a = sim::air::ReadAddresses(frame.data(), frame.size());
    if (!a) {
        return;  // control frames: nothing the host sees
    }
    bool home = false;
    bool wake = false;
    uint64_t gen;
    DataHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool inScan = current_ && current_->listening &&
                            current_->plan[current_->index].channel == rx.channel && rx.time >= current_->visitStart &&
                            rx.time < current_->maxEnd;
        home = !current_ && record_.home && *record_.home == rx.channel;
        if (!inScan && !home) {
            ++record_.framesFiltered;
            return;
        }
        if (OwnAddress(a->a2)) {
            return;  // our own transmission
        }
        if (home && sim::air::FrameType(a->fc) == 2 && dataHandler_) {
            handler = dataHandler_;
        } else if (sim::air::FrameType(a->fc) != 0 || !(sim::air::IsGroup(a->a1) || OwnAddress(a->a1))) {
            ++record_.framesFiltered;
            return;
        }
        if (inScan) {
            Current& cur = *current_;
            if (cur.run.offload) {
                if (!MatchesProfile(frame)) {
                    return;  // the host sleeps: only a network it asked for wakes it
                }
                wake = true;
                ++cur.matched;
            }
            if (rx.time < cur.minEnd) {
                ++cur.heardBeforeMin;
            }
            const Plan& p = cur.plan[cur.index];
            if (p.dfsPassive && !cur.probedOnBeacon && a->fc == sim::air::kFcBeacon) {
                cur.probedOnBeacon = true;
                const uint64_t g = scanGen_;
                const size_t index = cur.index;
                timeline_.At(rx.time + kBeaconProbeDelayUnits,
                             [this, g, index](int64_t due) { SendProbes(g, index, due); });
            }
            gen = scanGen_;
        } else {
            gen = homeGen_;
        }
    }
    if (handler) {
        handler(frame, rx);  // the data path decides when the frame reaches the host
        return;
    }
    AirFrame f{rx.channel, rx.time, frame};
    const std::array<int8_t, 4> chains = rx.chainDbm;
    timeline_.At(rx.time, [this, gen, home, f, chains, wake](int64_t) { Deliver(gen, home, f, chains, wake); });
}

void ScanEngine::Deliver(uint64_t gen, bool home, AirFrame f, std::array<int8_t, 4> chains, bool wake)
{
    Bytes buffer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (home) {
            if (gen != homeGen_ || current_) {
                return;
            }
        } else if (gen != scanGen_ || !current_ || !current_->listening || f.time >= current_->cutoff) {
            return;  // the scan ended, or the radio left the channel before the frame came
        }
        std::optional<sim::air::FrameAddresses> a = sim::air::ReadAddresses(f.frame.data(), f.frame.size());
        if (!a) {
            return;
        }
        sim::chip::RxdFields fields;
        fields.channel = ChannelByte(f.channel);
        fields.group = sim::air::IsGroup(a->a1);
        fields.unicast = !fields.group;
        fields.wake = wake;
        uint32_t rcpi = 0;
        for (size_t i = 0; i < 4; ++i) {
            rcpi |= static_cast<uint32_t>(Rcpi(chains[i])) << (8 * i);
        }
        // Management frames go at the lowest rate of the band: CCK 1 Mb/s in 2.4 GHz, OFDM 6 Mb/s
        // elsewhere (rate code 0x0B).
        const bool ofdm = f.channel.band != Band::B2G4;
        const uint32_t mode = ofdm ? 1 : 0;
        const uint32_t rate = ofdm ? 0x0B : 0;
        if (generation_ == sim::chip::Generation::Third) {
            fields.rxVector = std::array<uint32_t, 3>{rate, rcpi, mode << 11};
        } else {
            fields.rxVector = std::array<uint32_t, 3>{rate | (mode << 24), rcpi, 0};
        }
        if (home && homeFilter_ && !homeFilter_(&f.frame, &fields)) {
            return;
        }
        buffer = sim::chip::BuildRxFrame(RxdGen(generation_), fields, f.frame);
    }
    const bool ok = host_.PushFrame(buffer);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ok) {
        ++record_.framesRefused;
        return;
    }
    if (!home && current_) {
        ++current_->run.visits.back().frames;
    }
    record_.delivered.push_back(std::move(f));
}

void ScanEngine::EmitEvent(Bytes event, unsigned attempt, int64_t due)
{
    if (host_.PushEvent(event)) {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.events.push_back(std::move(event));
        return;
    }
    if (attempt >= kEventRetries) {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.faults.push_back("the event ring had no room for a scan event for " + std::to_string(kEventRetries) +
                                 " ms: the event is lost");
        return;
    }
    timeline_.At(due + kUnitsPerMs,
                 [this, event = std::move(event), attempt](int64_t at) mutable { EmitEvent(std::move(event), attempt + 1, at); });
}

void ScanEngine::ResumeHome(int64_t t)
{
    {
        std::lock_guard<std::recursive_mutex> air(airMutex_);
        if (medium_ == nullptr) {
            return;
        }
    }
    uint64_t gen;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!record_.home || current_) {
            return;
        }
        gen = ++homeGen_;
    }
    HomeListen(gen, t);
}

void ScanEngine::HomeListen(uint64_t gen, int64_t t)
{
    Channel channel;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gen != homeGen_ || current_ || !record_.home) {
            return;
        }
        channel = *record_.home;
    }
    std::lock_guard<std::recursive_mutex> air(airMutex_);
    if (medium_ == nullptr) {
        return;
    }
    timeline_.At(t + kHomeWindowUnits, [this, gen](int64_t due) { HomeListen(gen, due); });
    medium_->Listen(this, channel, t, t + kHomeWindowUnits);
}

// ================================================================================================
// ScanEngine: frames and events it makes
// ================================================================================================
std::vector<Bytes> ScanEngine::ProbesFor(const Plan& p, const ScanRequest& r) const
{
    std::vector<Bytes> probes;
    const Mac own = ScanAddress(r.bssIndex);
    const unsigned copies = std::clamp<unsigned>(r.probeCount, 1, kMaxProbeCount);
    if (!r.targets.empty()) {
        for (const ScanTarget& t : r.targets) {
            if (t.channel != 0 && t.channel != p.channel.number) {
                continue;
            }
            const Bytes ssid = t.ssidIndex < r.ssids.size() ? r.ssids[t.ssidIndex] : Bytes{};
            for (unsigned k = 0; k < copies; ++k) {
                probes.push_back(ProbeRequest(p.channel, t.bssid, own, t.bssid, ssid, r.extraIes));
            }
        }
        return probes;
    }
    std::vector<Bytes> ssids;
    for (const Bytes& s : r.ssids) {
        if (std::find(ssids.begin(), ssids.end(), s) == ssids.end()) {
            ssids.push_back(s);
        }
    }
    if (ssids.empty()) {
        ssids.push_back({});
    }
    const Mac a3 = r.filterAddress != kZeroMac ? r.filterAddress : kBroadcast;
    for (const Bytes& s : ssids) {
        for (unsigned k = 0; k < copies; ++k) {
            probes.push_back(ProbeRequest(p.channel, kBroadcast, own, a3, s, r.extraIes));
        }
    }
    return probes;
}

Bytes ScanEngine::ProbeRequest(Channel c, const Mac& a1, const Mac& a2, const Mac& a3, const Bytes& ssid,
                               const Bytes& extra) const
{
    seqCounter_ = static_cast<uint16_t>((seqCounter_ + 1) & 0xFFF);
    Bytes f = sim::air::MgmtHeader(sim::air::kFcProbeReq, a1, a2, a3, seqCounter_);
    auto extraHas = [&](uint8_t id, uint8_t ext) { return FindElement(extra.data(), extra.size(), id, ext).has_value(); };
    const bool g24 = c.band == Band::B2G4;
    const uint8_t streams = std::clamp<uint8_t>(identity_.streams, 1, 4);
    PutElement(f, sim::air::kEidSsid, ssid);
    if (g24) {
        PutElement(f, sim::air::kEidRates, {0x02, 0x04, 0x0B, 0x16, 0x0C, 0x12, 0x18, 0x24});
        PutElement(f, sim::air::kEidExtRates, {0x30, 0x48, 0x60, 0x6C});
        PutElement(f, sim::air::kEidDsParams, {c.number});
    } else {
        PutElement(f, sim::air::kEidRates, {0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C});
    }
    if (c.band != Band::B6G && !extraHas(sim::air::kEidHtCaps, 0)) {
        Bytes ht;
        PutLe16(ht, 0x01EF);  // LDPC, 20/40 MHz, SM power save off, SGI 20/40, transmit STBC
        ht.push_back(0x17);
        Bytes mcs(16, 0);
        for (unsigned s = 0; s < streams; ++s) {
            mcs[s] = 0xFF;
        }
        ht.insert(ht.end(), mcs.begin(), mcs.end());
        PutLe16(ht, 0);
        PutLe32(ht, 0);
        ht.push_back(0);
        PutElement(f, sim::air::kEidHtCaps, ht);
    }
    if (!extraHas(sim::air::kEidExtCaps, 0)) {
        Bytes ext(8, 0);
        ext[2] = 0x08;  // BSS transition
        PutElement(f, sim::air::kEidExtCaps, ext);
    }
    const bool third = generation_ == sim::chip::Generation::Third;
    if (c.band == Band::B5G && !extraHas(sim::air::kEidVhtCaps, 0)) {
        Bytes vht;
        uint32_t info = 2 | (1u << 4) | (1u << 5) | (1u << 7) | (1u << 8) | (1u << 12) | (3u << 13) | (7u << 23);
        if (third) {
            info |= (1u << 2) | (1u << 6);  // 160 MHz
        }
        PutLe32(vht, info);
        PutLe16(vht, StreamMap(streams, 2));
        PutLe16(vht, 0);
        PutLe16(vht, StreamMap(streams, 2));
        PutLe16(vht, 0);
        PutElement(f, sim::air::kEidVhtCaps, vht);
    }
    if (!extraHas(sim::air::kEidExtension, sim::air::kExtHeCaps)) {
        Bytes he(6, 0);
        Bytes phy(11, 0);
        phy[0] = g24 ? 0x02 : static_cast<uint8_t>(0x04 | (third ? 0x08 : 0));
        he.insert(he.end(), phy.begin(), phy.end());
        PutLe16(he, StreamMap(streams, 2));
        PutLe16(he, StreamMap(streams, 2));
        if (!g24 && third) {
            PutLe16(he, StreamMap(streams, 2));
            PutLe16(he, StreamMap(streams, 2));
        }
        PutExtElement(f, sim::air::kExtHeCaps, he);
    }
    if (c.band == Band::B6G && !extraHas(sim::air::kEidExtension, sim::air::kExtHe6GhzCaps)) {
        Bytes b6;
        PutLe16(b6, static_cast<uint16_t>((7u << 3) | (2u << 6) | (3u << 9)));
        PutExtElement(f, sim::air::kExtHe6GhzCaps, b6);
    }
    f.insert(f.end(), extra.begin(), extra.end());
    return f;
}

Bytes ScanEngine::ScanDoneEvent(const ScanRun& run) const
{
    const ScanRequest& r = run.request;
    const uint8_t status = run.aborted ? kStatusAborted : kStatusComplete;
    const size_t n = std::min(run.visits.size(), kReportChannels);
    if (r.format == ScanRequest::Format::Unified) {
        Bytes entries = {static_cast<uint8_t>(n), 0, 0, 0};
        for (size_t i = 0; i < n; ++i) {
            const ScanVisit& v = run.visits[i];
            entries.push_back(v.channel.number);
            entries.push_back(static_cast<uint8_t>(v.channel.band));
            entries.push_back(v.active ? 1 : 0);
            entries.push_back(0);
            PutLe16(entries, static_cast<uint16_t>(std::min<unsigned>(v.frames, 0xFFFF)));
            PutLe16(entries, 0);
        }
        return EncodeUnifiedEvent(kUniEventScanDone, 0, {r.seq, 0, 0, 0},
                                  {{1, {r.bssIndex, status, 0, static_cast<uint8_t>(n)}}, {2, entries}});
    }
    Bytes p(kLegacyScanDoneLength, 0);
    p[0] = r.seq;
    p[1] = r.bssIndex;
    p[2] = status;
    p[16] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        const ScanVisit& v = run.visits[i];
        p[20 + i] = v.channel.number;
        const uint16_t frames = static_cast<uint16_t>(std::min<unsigned>(v.frames, 0xFFFF));
        p[84 + 2 * i] = static_cast<uint8_t>(frames);
        p[85 + 2 * i] = static_cast<uint8_t>(frames >> 8);
        p[276 + i] = v.active ? 1 : 0;
    }
    EventHeader h;
    h.id = kLegacyEventScanDone;
    return EncodeRamEvent(generation_, h, p);
}

// ================================================================================================
// ScanEngine: records
// ================================================================================================
ScanEngineRecord ScanEngine::Record() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    ScanEngineRecord r = record_;
    if (current_) {
        r.scans.push_back(current_->run);
    }
    return r;
}

void ScanEngine::ClearRecord()
{
    std::lock_guard<std::mutex> lock(mutex_);
    record_.scans.clear();
    record_.transmitted.clear();
    record_.delivered.clear();
    record_.events.clear();
    record_.framesRefused = 0;
    record_.framesFiltered = 0;
    record_.aborts.clear();
    record_.faults.clear();
    record_.nloScans = 0;
}

bool ScanEngine::Scanning() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return current_ && !current_->run.offload;
}

}  // namespace sim::fw
