// A simulated access point.
#include "air/access_point.h"

#include "air/ap_rsn.h"

#include <algorithm>
#include <map>

namespace sim::air {

namespace {

// Cipher and AKM suites (00-0F-AC, 00-50-F2).
constexpr uint8_t kSuiteTkip = 2;
constexpr uint8_t kSuiteCcmp = 4;
constexpr uint8_t kSuiteBipCmac = 6;
constexpr uint8_t kAkmPsk = 2;
constexpr uint8_t kAkmSae = 8;

constexpr uint16_t kCapEss = 0x0001;
constexpr uint16_t kCapPrivacy = 0x0010;
constexpr uint16_t kCapShortPreamble = 0x0020;
constexpr uint16_t kCapShortSlot = 0x0400;

constexpr uint16_t kRsnCapReplayCounters = 0x000C;  // 16 PTKSA replay counters
constexpr uint16_t kRsnCapMfpr = 0x0040;
constexpr uint16_t kRsnCapMfpc = 0x0080;

constexpr uint8_t kBssParamSameSsid = 0x02;
constexpr uint8_t kBssParamColocated = 0x40;
constexpr uint8_t kTbttInfoLength = 12;  // TBTT offset, BSSID, short SSID, BSS parameters
constexpr uint8_t kExtMuEdca = 38;
constexpr uint8_t kExtSpatialReuse = 39;
constexpr uint8_t kSrNonSrgOffsetPresent = 0x04;

void PutSuite(Bytes& b, const uint8_t (&oui)[3], uint8_t type)
{
    b.insert(b.end(), oui, oui + 3);
    b.push_back(type);
}

constexpr uint8_t kIeeeOui[3] = {0x00, 0x0F, 0xAC};
constexpr uint8_t kMsOui[3] = {0x00, 0x50, 0xF2};

bool Secured(Security s) { return s != Security::Open; }
bool Rsn(Security s) { return s != Security::Open && s != Security::Wep; }

unsigned WidthCode(unsigned w)  // HE 6 GHz and EHT operation: 0 20, 1 40, 2 80, 3 160, 4 320
{
    switch (w) {
    case 40: return 1;
    case 80: return 2;
    case 160: return 3;
    case 320: return 4;
    default: return 0;
    }
}

}  // namespace

const char* SecurityText(Security s)
{
    switch (s) {
    case Security::Open: return "open";
    case Security::Wep: return "WEP";
    case Security::WpaWpa2: return "WPA/WPA2-PSK";
    case Security::Wpa2Psk: return "WPA2-PSK";
    case Security::Wpa3Sae: return "WPA3-SAE";
    case Security::Wpa2Wpa3: return "WPA2/WPA3";
    }
    return "?";
}

std::string ValidateApConfig(const ApConfig& c)
{
    if (c.ssid.size() > 32) {
        return "SSID longer than 32 bytes";
    }
    if (!ValidChannel(c.channel)) {
        return "channel " + std::to_string(c.channel.number) + " is not a channel of the " + BandText(c.channel.band) +
               " band";
    }
    if (!ValidWidth(c.channel, c.widthMhz)) {
        return "a " + std::to_string(c.widthMhz) + " MHz BSS cannot have primary channel " +
               std::to_string(c.channel.number) + " in the " + BandText(c.channel.band) + " band";
    }
    if (c.channel.band == Band::B6G && (!c.he || c.ht || c.vht)) {
        return "a 6 GHz access point is HE (and maybe EHT), without HT or VHT";
    }
    if (c.vht && c.channel.band != Band::B5G) {
        return "VHT exists in the 5 GHz band only";
    }
    if ((c.vht || c.he) && c.channel.band != Band::B6G && !c.ht) {
        return "VHT and HE access points in 2.4 and 5 GHz are also HT";
    }
    if (c.eht && !c.he) {
        return "an EHT access point is also HE";
    }
    if (c.widthMhz >= 40 && c.channel.band != Band::B6G && !c.ht) {
        return "a 40 MHz or wider BSS outside 6 GHz needs HT";
    }
    if (c.widthMhz >= 80 && c.channel.band == Band::B5G && !c.vht && !c.he) {
        return "an 80 MHz or wider 5 GHz BSS needs VHT or HE";
    }
    if (c.widthMhz == 320 && !c.eht) {
        return "a 320 MHz BSS needs EHT";
    }
    if (c.pmf != Pmf::Off && !Rsn(c.security)) {
        return "protected management frames need RSN security";
    }
    if (c.security == Security::Wpa3Sae && c.pmf != Pmf::Required) {
        return "WPA3-SAE requires protected management frames";
    }
    if (c.channel.band == Band::B6G && c.security != Security::Wpa3Sae && c.security != Security::Open) {
        return "6 GHz allows WPA3-SAE (or OWE/open), not " + std::string(SecurityText(c.security));
    }
    if (c.beaconIntervalTu == 0 || c.dtimPeriod == 0) {
        return "beacon interval and DTIM period must be above 0";
    }
    if (c.country.size() != 2) {
        return "country code must be two letters";
    }
    if (c.assocStatus.empty()) {
        return "assoc_status needs at least one status";
    }
    for (uint16_t status : c.assocStatus) {
        if (status == kStatusRefusedTemporarily && c.pmf == Pmf::Off) {
            return "association status 30 (refused temporarily, come back later) needs protected management frames";
        }
    }
    for (uint16_t algorithm : c.authAlgorithms) {
        if (algorithm != kAuthOpenSystem && algorithm != kAuthSharedKey) {
            return "the access point answers the open-system (0) and shared-key (1) algorithms only";
        }
        if (algorithm == kAuthSharedKey && c.security != Security::Wep) {
            return "shared-key authentication needs WEP security";
        }
    }
    if (!c.he && (c.twt != TwtAnswer::None || c.muEdcaTimer || c.srOffset)) {
        return "a TWT responder, MU EDCA and spatial-reuse parameters need HE";
    }
    Channel channel = c.channel;
    for (const ApEvent& e : c.events) {
        if (!c.he && (e.kind == ApEventKind::MuEdca || e.kind == ApEventKind::SpatialReuse ||
                      e.kind == ApEventKind::TwtTeardown)) {
            return std::string("a ") + ApEventText(e.kind) + " event needs HE";
        }
        if (e.kind == ApEventKind::TwtTeardown && e.flow && *e.flow > 7) {
            return "a TWT flow is 0..7";
        }
        if (e.at < 0) {
            return "an event's time must not be negative";
        }
        if (e.kind == ApEventKind::ChannelSwitch) {
            channel = {c.channel.band, e.channel};
            if (!ValidChannel(channel)) {
                return "a channel switch to channel " + std::to_string(e.channel) + ", which is not in the " +
                       BandText(c.channel.band) + " band";
            }
        }
        if (e.kind == ApEventKind::Width && !ValidWidth(channel, e.widthMhz)) {
            return "a width of " + std::to_string(e.widthMhz) + " MHz does not fit channel " +
                   std::to_string(channel.number);
        }
        if (e.kind == ApEventKind::Width && e.widthMhz > c.widthMhz) {
            return "an access point can narrow its width on the timeline, not widen it past its capabilities";
        }
    }
    return "";
}

const char* ApEventText(ApEventKind k)
{
    switch (k) {
    case ApEventKind::Signal: return "signal";
    case ApEventKind::Deauth: return "deauth";
    case ApEventKind::Disassoc: return "disassoc";
    case ApEventKind::ChannelSwitch: return "switch";
    case ApEventKind::Vanish: return "vanish";
    case ApEventKind::Appear: return "appear";
    case ApEventKind::Width: return "width";
    case ApEventKind::GroupRekey: return "rekey";
    case ApEventKind::MuEdca: return "mu_edca";
    case ApEventKind::SpatialReuse: return "spatial_reuse";
    case ApEventKind::TwtTeardown: return "twt_teardown";
    }
    return "?";
}

AccessPoint::AccessPoint(ApConfig config, int64_t epoch)
    : config_(std::move(config)), bssid_(config_.bssid), epoch_(epoch), twt_(config_.twt)
{
    const uint32_t h = Crc32(bssid_.data(), bssid_.size());
    if (config_.tbttOffsetTu < 0) {
        config_.tbttOffsetTu = static_cast<int>(h % config_.beaconIntervalTu);
    }
    // An uptime of its own, a whole number of beacon intervals, so that TSF mod interval is 0 at TBTT.
    tsfBase_ = static_cast<uint64_t>(100 + h % 5000) * config_.beaconIntervalTu * 1024u;
    responseDelay_ = 3000 + static_cast<int64_t>(h % 10) * 1000;
    for (ApEvent e : config_.events) {
        e.at = epoch_ + e.at * kUnitsPerMs;
        Schedule(e);
    }
}

AccessPoint::~AccessPoint() = default;

void AccessPoint::Schedule(ApEvent e)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto at = std::upper_bound(events_.begin(), events_.end(), e.at,
                               [](int64_t t, const ApEvent& other) { return t < other.at; });
    events_.insert(at, e);
    if (e.kind == ApEventKind::Deauth || e.kind == ApEventKind::Disassoc || e.kind == ApEventKind::TwtTeardown) {
        timeline_.At(e.at, [this, e](int64_t due) { RunEvent(e, due); });
    } else if (e.kind == ApEventKind::GroupRekey) {
        timeline_.At(e.at, [this](int64_t due) { RekeyGroup(due); });
    }
}

void AccessPoint::OnAssociated(std::function<void(const Mac&)> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    onAssociated_ = std::move(hook);
}

void AccessPoint::Forget(const Mac& station)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stations_.erase(station);
    challenges_.erase(station);
    twt_.Forget(station);
    if (rsn_) {
        rsn_->Forget(station);
    }
}

std::vector<StationInfo> AccessPoint::Stations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<StationInfo> out;
    for (const auto& [mac, info] : stations_) {
        out.push_back(info);
    }
    return out;
}

ApState AccessPoint::StateAt(int64_t t) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return StateLocked(t);
}

int64_t AccessPoint::TbttLocked(int64_t index) const
{
    return epoch_ + PhaseUnits() + index * config_.beaconIntervalTu * kUnitsPerTu;
}

int64_t AccessPoint::BeaconIndexAtOrAfter(int64_t t) const
{
    const int64_t start = epoch_ + PhaseUnits();
    const int64_t period = static_cast<int64_t>(config_.beaconIntervalTu) * kUnitsPerTu;
    return t <= start ? 0 : (t - start + period - 1) / period;
}

ApState AccessPoint::StateLocked(int64_t t) const
{
    ApState s;
    s.channel = config_.channel;
    s.widthMhz = config_.widthMhz;
    s.signalDbm = config_.signalDbm;
    s.muEdcaTimer = config_.muEdcaTimer;
    s.srOffset = config_.srOffset;
    for (const ApEvent& e : events_) {
        if (e.at > t) {
            break;
        }
        switch (e.kind) {
        case ApEventKind::Signal:
            if (e.rampMs > 0 && t < e.at + e.rampMs * kUnitsPerMs) {
                const int64_t from = s.signalDbm;
                const int64_t span = e.rampMs * kUnitsPerMs;
                s.signalDbm = static_cast<int8_t>(from + (e.signalDbm - from) * (t - e.at) / span);
            } else {
                s.signalDbm = e.signalDbm;
            }
            break;
        case ApEventKind::Vanish:
            s.present = false;
            break;
        case ApEventKind::Appear:
            s.present = true;
            break;
        case ApEventKind::Width:
            if (ValidWidth(s.channel, e.widthMhz)) {
                s.widthMhz = e.widthMhz;
            }
            break;
        case ApEventKind::ChannelSwitch: {
            // The count is the number of TBTTs until the switch, which happens just before the
            // TBTT the count reaches 0 at (802.11-2020 9.4.2.18); count 0: at once.
            const int64_t first = BeaconIndexAtOrAfter(e.at);
            const int64_t switchIndex = first + e.count;
            const int64_t when = e.count == 0 ? e.at : std::max(e.at, TbttLocked(switchIndex) - kUnitsPerTu);
            const Channel to{s.channel.band, e.channel};
            if (t >= when) {
                s.channel = to;
                if (!ValidWidth(to, s.widthMhz)) {
                    s.widthMhz = 20;
                }
                s.switching = false;
            } else {
                s.switching = true;
                s.switchTo = to;
                s.switchMode = e.mode;
                s.switchTbtt = switchIndex;
            }
            break;
        }
        case ApEventKind::MuEdca:
            if (s.muEdcaTimer && *s.muEdcaTimer != e.value) {
                s.muEdcaCount = static_cast<uint8_t>((s.muEdcaCount + 1) & 0x0F);
            }
            s.muEdcaTimer = e.value;
            break;
        case ApEventKind::SpatialReuse:
            s.srOffset = e.value;
            break;
        case ApEventKind::Deauth:
        case ApEventKind::Disassoc:
        case ApEventKind::GroupRekey:
        case ApEventKind::TwtTeardown:
            break;
        }
    }
    return s;
}

ApConfig AccessPoint::Config() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_;
}

Channel AccessPoint::OperatingChannel() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.channel;
}

void AccessPoint::SetNeighbours(std::vector<NeighbourInfo> neighbours)
{
    std::lock_guard<std::mutex> lock(mutex_);
    neighbours_ = std::move(neighbours);
}

void AccessPoint::SetSignal(int8_t dbm)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_.signalDbm = dbm;
}

void AccessPoint::SetEchoData(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    echoData_ = on;
}

void AccessPoint::SetMedium(Medium* medium)
{
    std::lock_guard<std::mutex> lock(mutex_);
    medium_ = medium;
}

void AccessPoint::MediumGone()
{
    std::lock_guard<std::mutex> lock(mutex_);
    medium_ = nullptr;
}

AccessPoint::Record AccessPoint::GetRecord() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

int64_t AccessPoint::PhaseUnits() const { return static_cast<int64_t>(config_.tbttOffsetTu) * kUnitsPerTu; }

int64_t AccessPoint::Tbtt(int64_t index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return TbttLocked(index);
}

uint64_t AccessPoint::TsfAt(int64_t time) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint64_t>(static_cast<int64_t>(tsfBase_) + (time - epoch_ - PhaseUnits()) / kUnitsPerUs);
}

uint16_t AccessPoint::NextSeq() const
{
    seq_ = static_cast<uint16_t>((seq_ + 1) & 0xFFF);
    return seq_;
}

Bytes AccessPoint::Elements(const ApState& s, bool beacon, int64_t time) const
{
    const ApConfig& c = config_;
    const Channel ch = s.channel;
    const bool g24 = ch.band == Band::B2G4;
    const unsigned w = s.widthMhz;
    Bytes e;

    // SSID: a hidden access point's beacon keeps its name to itself.
    if (beacon && c.hidden) {
        PutElement(e, kEidSsid, c.hiddenZeros ? Bytes(c.ssid.size(), 0) : Bytes{});
    } else {
        PutElement(e, kEidSsid, c.ssid);
    }
    if (g24) {
        PutElement(e, kEidRates, {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24});
    } else {
        PutElement(e, kEidRates, {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C});
    }
    if (ch.band != Band::B6G) {
        PutElement(e, kEidDsParams, {ch.number});
    }
    if (beacon) {
        // The TIM of a DTIM beacon; the caller's beacon index decides the count (see Body).
        PutElement(e, kEidTim, {0, c.dtimPeriod, 0, 0});
    }
    {
        Bytes country = {static_cast<uint8_t>(c.country[0]), static_cast<uint8_t>(c.country[1]), 0x20};
        switch (ch.band) {
        case Band::B2G4:
            country.insert(country.end(), {1, 11, 30});
            break;
        case Band::B5G:
            country.insert(country.end(), {36, 4, 23, 52, 4, 24, 100, 12, 24, 149, 5, 30});
            break;
        case Band::B6G:
            country.insert(country.end(), {1, 59, 23});
            break;
        }
        if (country.size() % 2 != 0) {
            country.push_back(0);
        }
        PutElement(e, kEidCountry, country);
    }
    if (s.switching) {
        // Channel Switch Announcement: mode, new channel, TBTTs until the switch.
        const int64_t count = s.switchTbtt - BeaconIndexAtOrAfter(time);
        PutElement(e, kEidChannelSwitch,
                   {s.switchMode, s.switchTo.number, static_cast<uint8_t>(std::clamp<int64_t>(count, 0, 255))});
    }
    if (c.stationCount != 0 || c.channelUtilisation != 0) {
        Bytes load;
        PutLe16(load, c.stationCount);
        load.push_back(c.channelUtilisation);
        PutLe16(load, 31250);
        PutElement(e, kEidBssLoad, load);
    }
    if (g24) {
        PutElement(e, kEidErp, {0x00});
        PutElement(e, kEidExtRates, {0x30, 0x48, 0x60, 0x6C});
    }
    if (Rsn(c.security)) {
        Bytes rsn;
        PutLe16(rsn, 1);
        const bool tkip = c.security == Security::WpaWpa2;
        PutSuite(rsn, kIeeeOui, tkip ? kSuiteTkip : kSuiteCcmp);
        PutLe16(rsn, tkip ? 2 : 1);
        PutSuite(rsn, kIeeeOui, kSuiteCcmp);
        if (tkip) {
            PutSuite(rsn, kIeeeOui, kSuiteTkip);
        }
        const bool both = c.security == Security::Wpa2Wpa3;
        PutLe16(rsn, both ? 2 : 1);
        if (c.security != Security::Wpa3Sae) {
            PutSuite(rsn, kIeeeOui, kAkmPsk);
        }
        if (c.security == Security::Wpa3Sae || both) {
            PutSuite(rsn, kIeeeOui, kAkmSae);
        }
        uint16_t caps = kRsnCapReplayCounters;
        if (c.pmf != Pmf::Off) {
            caps |= kRsnCapMfpc;
        }
        if (c.pmf == Pmf::Required) {
            caps |= kRsnCapMfpr;
        }
        PutLe16(rsn, caps);
        if (c.pmf != Pmf::Off) {
            PutLe16(rsn, 0);  // no PMKIDs
            PutSuite(rsn, kIeeeOui, kSuiteBipCmac);
        }
        PutElement(e, kEidRsn, rsn);
    }
    if (c.ht && ch.band != Band::B6G) {
        Bytes ht;
        uint16_t info = 0x0001 | 0x000C | 0x0020 | 0x0080 | 0x0100;  // LDPC, SM PS off, SGI 20, STBC
        if (w >= 40) {
            info |= 0x0002 | 0x0040;  // 20/40 MHz, SGI 40
        }
        PutLe16(ht, info);
        ht.push_back(0x17);  // A-MPDU: 64 KiB, 4 us spacing
        Bytes mcs(16, 0);
        mcs[0] = 0xFF;  // MCS 0-15: two streams
        mcs[1] = 0xFF;
        mcs[12] = 0x01;  // transmit MCS set defined
        ht.insert(ht.end(), mcs.begin(), mcs.end());
        PutLe16(ht, 0);
        PutLe32(ht, 0);
        ht.push_back(0);
        PutElement(e, kEidHtCaps, ht);

        Bytes op(22, 0);
        op[0] = ch.number;
        op[1] = static_cast<uint8_t>(SecondaryOffset(ch, w) | (w >= 40 ? 0x04 : 0));
        PutElement(e, kEidHtOperation, op);
    }
    {
        Bytes ext(c.twt != TwtAnswer::None ? 10 : 8, 0);
        ext[2] |= 0x08;  // bit 19: BSS transition
        if (c.vht || c.he) {
            ext[7] |= 0x40;  // bit 62: operating mode notification
        }
        if (c.twt != TwtAnswer::None) {
            ext[9] |= 0x40;  // bit 78: TWT responder support
        }
        PutElement(e, kEidExtCaps, ext);
    }
    if (c.vht && ch.band == Band::B5G) {
        Bytes vht;
        uint32_t info = 2 | (1u << 4) | (1u << 5) | (1u << 7) | (1u << 8) | (1u << 11) | (1u << 12) | (3u << 13) |
                        (1u << 16) | (7u << 23);
        if (w >= 160) {
            info |= (1u << 2) | (1u << 6);
        }
        PutLe32(vht, info);
        PutLe16(vht, 0xFFFA);  // MCS 0-9 on two streams
        PutLe16(vht, 0);
        PutLe16(vht, 0xFFFA);
        PutLe16(vht, 0);
        PutElement(e, kEidVhtCaps, vht);

        Bytes op;
        op.push_back(w >= 80 ? 1 : 0);
        op.push_back(w >= 160 ? CentreChannel(ch, 80) : w == 80 ? CentreChannel(ch, 80) : 0);
        op.push_back(w >= 160 ? CentreChannel(ch, 160) : 0);
        PutLe16(op, 0xFFFC);  // basic: MCS 0-7 on one stream
        PutElement(e, kEidVhtOperation, op);
    }
    if (!neighbours_.empty()) {
        // One Neighbor AP Information field per operating class and channel.
        std::map<std::pair<uint8_t, uint8_t>, std::vector<const NeighbourInfo*>> groups;
        for (const NeighbourInfo& n : neighbours_) {
            groups[{OperatingClass(n.channel, n.widthMhz), n.channel.number}].push_back(&n);
        }
        Bytes rnr;
        for (const auto& [key, list] : groups) {
            for (size_t first = 0; first < list.size(); first += 16) {
                const size_t count = std::min<size_t>(16, list.size() - first);
                Bytes field;
                field.push_back(static_cast<uint8_t>((count - 1) << 4));
                field.push_back(kTbttInfoLength);
                field.push_back(key.first);
                field.push_back(key.second);
                for (size_t i = first; i < first + count; ++i) {
                    const NeighbourInfo& n = *list[i];
                    const int interval = n.beaconIntervalTu == 0 ? 100 : n.beaconIntervalTu;
                    const int offset = ((n.tbttOffsetTu - c.tbttOffsetTu) % interval + interval) % interval;
                    field.push_back(static_cast<uint8_t>(std::min(offset, 254)));
                    field.insert(field.end(), n.bssid.begin(), n.bssid.end());
                    PutLe32(field, ShortSsid(n.ssid.data(), n.ssid.size()));
                    uint8_t params = 0;
                    if (n.ssid == c.ssid) {
                        params |= kBssParamSameSsid;
                    }
                    if (n.channel.band == Band::B6G && ch.band != Band::B6G) {
                        params |= kBssParamColocated;
                    }
                    field.push_back(params);
                }
                if (rnr.size() + field.size() > 255) {
                    PutElement(e, kEidRnr, rnr);
                    rnr.clear();
                }
                rnr.insert(rnr.end(), field.begin(), field.end());
            }
        }
        if (!rnr.empty()) {
            PutElement(e, kEidRnr, rnr);
        }
    }
    if (c.he) {
        Bytes caps(6, 0);  // MAC capabilities
        if (c.twt != TwtAnswer::None) {
            caps[0] |= 0x04;  // bit 2: TWT responder support
        }
        Bytes phy(11, 0);
        if (g24) {
            phy[0] = 0x02;  // 40 MHz in 2.4 GHz
        } else {
            phy[0] = 0x04;  // 40 and 80 MHz in 5/6 GHz
            if (w >= 160) {
                phy[0] |= 0x08;  // 160 MHz
            }
        }
        caps.insert(caps.end(), phy.begin(), phy.end());
        PutLe16(caps, 0xFFFA);  // MCS 0-11 on two streams, up to 80 MHz, receive and transmit
        PutLe16(caps, 0xFFFA);
        if (!g24 && w >= 160) {
            PutLe16(caps, 0xFFFA);
            PutLe16(caps, 0xFFFA);
        }
        PutExtElement(e, kExtHeCaps, caps);

        Bytes op;
        uint32_t params = 0x3FFu << 4;  // TXOP duration RTS threshold disabled
        if (ch.band == Band::B6G) {
            params |= 1u << 17;  // 6 GHz operation information present
        }
        op.push_back(static_cast<uint8_t>(params));
        op.push_back(static_cast<uint8_t>(params >> 8));
        op.push_back(static_cast<uint8_t>(params >> 16));
        op.push_back(static_cast<uint8_t>(1 + Crc32(bssid_.data(), 6) % 63));  // BSS colour
        PutLe16(op, 0xFFFC);
        if (ch.band == Band::B6G) {
            const unsigned hw = std::min(w, 160u);
            op.push_back(ch.number);
            op.push_back(static_cast<uint8_t>(WidthCode(hw)));
            op.push_back(hw >= 160 ? CentreChannel(ch, 80) : CentreChannel(ch, hw));
            op.push_back(hw >= 160 ? CentreChannel(ch, 160) : 0);
            op.push_back(6);  // minimum rate 6 Mb/s
        }
        PutExtElement(e, kExtHeOperation, op);
        if (s.srOffset) {
            // Spatial Reuse Parameter Set: SR Control with the non-SRG offset present, the offset.
            PutExtElement(e, kExtSpatialReuse, {kSrNonSrgOffsetPresent, *s.srOffset});
        }
        if (s.muEdcaTimer) {
            // MU EDCA Parameter Set: QoS Info (update count), then AC_BE, AC_BK, AC_VI, AC_VO records
            // {ACI/AIFSN, ECWmin/ECWmax, MU EDCA timer}.
            const uint8_t t = *s.muEdcaTimer;
            PutExtElement(e, kExtMuEdca, {static_cast<uint8_t>(s.muEdcaCount & 0x0F), 0x08, 0xA9, t, 0x2F, 0xA9, t,
                                          0x45, 0x97, t, 0x65, 0x76, t});
        }
        if (ch.band == Band::B6G) {
            Bytes b6;
            PutLe16(b6, static_cast<uint16_t>(5 | (7u << 3) | (2u << 6) | (3u << 9)));
            PutExtElement(e, kExtHe6GhzCaps, b6);
        }
    }
    if (c.eht) {
        Bytes caps(2, 0);
        Bytes phy(9, 0);
        const bool has320 = ch.band == Band::B6G && w >= 320;
        if (has320) {
            phy[0] |= 0x02;  // 320 MHz in 6 GHz
        }
        caps.insert(caps.end(), phy.begin(), phy.end());
        caps.insert(caps.end(), {0x22, 0x22, 0x22});  // up to 80 MHz: two streams, MCS 0-13
        if (!g24 && w >= 160) {
            caps.insert(caps.end(), {0x22, 0x22, 0x22});
        }
        if (has320) {
            caps.insert(caps.end(), {0x22, 0x22, 0x22});
        }
        PutExtElement(e, kExtEhtCaps, caps);

        Bytes op;
        op.push_back(0x01);  // EHT operation information present
        op.insert(op.end(), {0x11, 0x11, 0x11, 0x11});
        op.push_back(static_cast<uint8_t>(WidthCode(w)));
        if (w >= 320) {
            op.push_back(CentreChannel(ch, 160));
            op.push_back(CentreChannel(ch, 320));
        } else if (w == 160) {
            op.push_back(CentreChannel(ch, 80));
            op.push_back(CentreChannel(ch, 160));
        } else {
            op.push_back(CentreChannel(ch, w));
            op.push_back(0);
        }
        PutExtElement(e, kExtEhtOperation, op);
    }
    if (c.security == Security::WpaWpa2) {
        Bytes wpa = {0x00, 0x50, 0xF2, 0x01};
        PutLe16(wpa, 1);
        PutSuite(wpa, kMsOui, kSuiteTkip);
        PutLe16(wpa, 1);
        PutSuite(wpa, kMsOui, kSuiteTkip);
        PutLe16(wpa, 1);
        PutSuite(wpa, kMsOui, kAkmPsk);
        PutElement(e, kEidVendor, wpa);
    }
    if (c.ht || c.he) {
        // WMM parameters: best effort, background, video, voice.
        PutElement(e, kEidVendor, {0x00, 0x50, 0xF2, 0x02, 0x01, 0x01, 0x00, 0x00, 0x03, 0xA4, 0x00, 0x00, 0x27, 0xA4,
                                   0x00, 0x00, 0x42, 0x43, 0x5E, 0x00, 0x62, 0x32, 0x2F, 0x00});
    }
    return e;
}

uint16_t AccessPoint::Capability() const
{
    uint16_t cap = kCapEss;
    if (Secured(config_.security)) {
        cap |= kCapPrivacy;
    }
    if (config_.channel.band == Band::B2G4) {
        cap |= kCapShortPreamble | kCapShortSlot;
    }
    return cap;
}

Bytes AccessPoint::Body(const ApState& s, bool beacon, int64_t time) const
{
    Bytes b;
    const int64_t sinceFirst = time - epoch_ - PhaseUnits();
    PutLe64(b, static_cast<uint64_t>(static_cast<int64_t>(tsfBase_) + sinceFirst / kUnitsPerUs));
    PutLe16(b, config_.beaconIntervalTu);
    PutLe16(b, Capability());
    Bytes e = Elements(s, beacon, time);
    if (beacon) {
        // DTIM count of this beacon (0 on a DTIM beacon).
        const int64_t period = static_cast<int64_t>(config_.beaconIntervalTu) * kUnitsPerTu;
        const int64_t index = sinceFirst >= 0 ? sinceFirst / period : 0;
        const uint8_t dtim = config_.dtimPeriod;
        const uint8_t count = static_cast<uint8_t>((dtim - index % dtim) % dtim);
        if (std::optional<Element> tim = FindElement(e.data(), e.size(), kEidTim)) {
            e[static_cast<size_t>(tim->body - e.data())] = count;
        }
    }
    b.insert(b.end(), e.begin(), e.end());
    return b;
}

Bytes AccessPoint::BeaconAt(int64_t time) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Bytes f = MgmtHeader(kFcBeacon, kBroadcast, bssid_, bssid_, NextSeq());
    Bytes body = Body(StateLocked(time), true, time);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

Bytes AccessPoint::ProbeResponseTo(const Mac& requester, int64_t time) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Bytes f = MgmtHeader(kFcProbeResp, requester, bssid_, bssid_, NextSeq());
    Bytes body = Body(StateLocked(time), false, time);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

bool AccessPoint::AnswersProbe(const Bytes& frame, Channel heardOn, std::optional<int64_t> time) const
{
    std::optional<FrameAddresses> a = ReadAddresses(frame.data(), frame.size());
    if (!a || a->fc != kFcProbeReq) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Channel on = config_.channel;
    if (time) {
        const ApState state = StateLocked(*time);
        if (!state.present) {
            return false;
        }
        on = state.channel;
    }
    if (heardOn != on) {
        return false;
    }
    if ((a->a1 != kBroadcast && a->a1 != bssid_) || (a->a3 != kBroadcast && a->a3 != bssid_)) {
        return false;
    }
    const uint8_t* elements = frame.data() + kMgmtHeaderLength;
    const size_t length = frame.size() - kMgmtHeaderLength;
    std::optional<Element> ssid;
    std::optional<Element> list;
    std::optional<Element> shortList;
    ElementReader reader(elements, length);
    Element e;
    while (reader.Next(&e)) {
        if (e.id == kEidSsid && !ssid) {
            ssid = e;
        } else if (e.id == kEidSsidList && !list) {
            list = e;
        } else if (e.id == kEidExtension && e.extId == kExtShortSsidList && !shortList) {
            shortList = e;
        } else if (e.id == kEidDsParams && e.length >= 1 && e.body[0] != on.number) {
            return false;  // sent for another channel, heard beside it
        }
    }
    if (!ssid || ssid->length > 32) {
        return false;  // no valid SSID element: not a probe request to answer
    }
    const Bytes& own = config_.ssid;
    const bool named = ssid->length == own.size() && std::equal(own.begin(), own.end(), ssid->body);
    if (named) {
        return true;
    }
    if (shortList) {
        const uint32_t mine = ShortSsid(own.data(), own.size());
        for (size_t at = 0; at + 4 <= shortList->length; at += 4) {
            if (Le32(shortList->body + at) == mine) {
                return true;
            }
        }
        return false;
    }
    if (list) {
        ElementReader inner(list->body, list->length);
        Element s;
        while (inner.Next(&s)) {
            if (s.id == kEidSsid && s.length == own.size() && std::equal(own.begin(), own.end(), s.body)) {
                return true;
            }
        }
        return false;
    }
    return ssid->length == 0 && !config_.hidden;
}

bool AccessPoint::Hears(Channel c, int64_t t) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const ApState s = StateLocked(t);
    return s.present && c == s.channel;
}

// ---- stations ----------------------------------------------------------------------------------------
Bytes AccessPoint::AuthFrame(const Mac& to, uint16_t algorithm, uint16_t seq, uint16_t status, const Bytes* challenge)
{
    Bytes f = MgmtHeader(kFcAuth, to, bssid_, bssid_, NextSeq());
    PutLe16(f, algorithm);
    PutLe16(f, seq);
    PutLe16(f, status);
    if (challenge != nullptr) {
        PutElement(f, kEidChallenge, *challenge);
    }
    return f;
}

Bytes AccessPoint::ReasonFrame(uint16_t fc, const Mac& to, uint16_t reason)
{
    Bytes f = MgmtHeader(fc, to, bssid_, bssid_, NextSeq());
    PutLe16(f, reason);
    return f;
}

Bytes AccessPoint::AssocResponse(const Mac& to, bool reassoc, uint16_t status, uint16_t aid, const ApState& s,
                                 int64_t at)
{
    Bytes f = MgmtHeader(reassoc ? kFcReassocResp : kFcAssocResp, to, bssid_, bssid_, NextSeq());
    PutLe16(f, Capability());
    PutLe16(f, status);
    PutLe16(f, status == kStatusSuccess ? static_cast<uint16_t>(aid | 0xC000) : 0);
    // The elements of an association response (802.11-2020 Table 9-36), in its order: the rates,
    // the comeback time of a temporary refusal, then the capabilities and operation of the PHYs
    // and the WMM parameters.
    const Bytes all = Elements(s, false, at);
    ElementReader reader(all.data(), all.size());
    Element e;
    bool timeoutPlaced = false;
    auto placeTimeout = [&] {
        if (!timeoutPlaced && status == kStatusRefusedTemporarily) {
            Bytes t = {kTimeoutComeback};
            PutLe32(t, config_.comebackTu);
            PutElement(f, kEidTimeoutInterval, t);
        }
        timeoutPlaced = true;
    };
    while (reader.Next(&e)) {
        bool keep = false;
        switch (e.id) {
        case kEidRates:
        case kEidExtRates:
            keep = true;
            break;
        case kEidHtCaps:
        case kEidHtOperation:
        case kEidExtCaps:
        case kEidVhtCaps:
        case kEidVhtOperation:
            placeTimeout();
            keep = true;
            break;
        case kEidExtension:
            placeTimeout();
            keep = e.extId == kExtHeCaps || e.extId == kExtHeOperation || e.extId == kExtSpatialReuse ||
                   e.extId == kExtMuEdca || e.extId == kExtHe6GhzCaps || e.extId == kExtEhtCaps ||
                   e.extId == kExtEhtOperation;
            break;
        case kEidVendor:
            placeTimeout();
            // The WMM parameter element (00-50-F2, type 2), not the WPA element.
            keep = e.length >= 4 && e.body[0] == 0x00 && e.body[1] == 0x50 && e.body[2] == 0xF2 && e.body[3] == 0x02;
            break;
        default:
            break;
        }
        if (!keep) {
            continue;
        }
        if (e.id == kEidExtension) {
            PutExtElement(f, e.extId, Bytes(e.body, e.body + e.length));
        } else {
            PutElement(f, e.id, Bytes(e.body, e.body + e.length));
        }
    }
    placeTimeout();
    return f;
}

uint16_t AccessPoint::FreeAid() const
{
    // Association IDs 1-2007 (802.11-2020 9.4.1.8); 0 when every one is taken.
    for (uint16_t aid = 1; aid <= 2007; ++aid) {
        bool used = false;
        for (const auto& [mac, info] : stations_) {
            used = used || (info.state == StationState::Associated && info.aid == aid);
        }
        if (!used) {
            return aid;
        }
    }
    return 0;
}

void AccessPoint::OnAuth(const FrameAddresses& a, const Bytes& frame, int64_t at, std::vector<Bytes>* out)
{
    const uint8_t* body = frame.data() + kMgmtHeaderLength;
    const size_t length = frame.size() - kMgmtHeaderLength;
    const Mac& station = a.a2;
    if ((a.fc & 0x4000) != 0) {
        // Shared key, frame 3: the challenge text comes back encrypted with WEP (IV 4 bytes, then
        // algorithm, sequence and status, the challenge element, the ICV 4 bytes). Without WEP on the
        // air its content cannot be checked yet: its length must be that of the challenge sent.
        auto it = challenges_.find(station);
        if (it == challenges_.end()) {
            ++record_.unanswered;  // no challenge outstanding: nothing to answer
            return;
        }
        ++record_.authRequests;
        const size_t expected = 4 + 6 + 2 + it->second.size() + 4;
        challenges_.erase(it);
        uint16_t status = length == expected ? config_.authStatus : kStatusChallengeFailure;
        if (status == kStatusSuccess) {
            stations_[station] = StationInfo{station, StationState::Authenticated, 0, false, 0};
        } else {
            stations_.erase(station);
        }
        out->push_back(AuthFrame(station, kAuthSharedKey, 4, status, nullptr));
        return;
    }
    if (length < 6) {
        ++record_.dropped;
        return;
    }
    ++record_.authRequests;
    const uint16_t algorithm = Le16(body);
    const uint16_t seq = Le16(body + 2);
    if (algorithm == kAuthSae && (config_.security == Security::Wpa3Sae || config_.security == Security::Wpa2Wpa3)) {
        if (config_.silent) {
            ++record_.unanswered;
            return;
        }
        OnSae(station, seq, Le16(body + 4), body + 6, length - 6, out);
        return;
    }
    if (seq != 1) {
        ++record_.unanswered;  // only a station's first frame starts an exchange
        return;
    }
    ++authSeen_;
    if (config_.silent || authSeen_ <= config_.ignoreAuth) {
        ++record_.unanswered;
        return;
    }
    const bool known = std::find(config_.authAlgorithms.begin(), config_.authAlgorithms.end(), algorithm) !=
                       config_.authAlgorithms.end();
    if (!known) {
        out->push_back(AuthFrame(station, algorithm, 2, kStatusAlgorithmUnsupported, nullptr));
        return;
    }
    if (config_.authStatus != kStatusSuccess) {
        out->push_back(AuthFrame(station, algorithm, 2, config_.authStatus, nullptr));
        return;
    }
    // A new authentication ends what the station had here (802.11-2020 11.3.4.2).
    if (algorithm == kAuthSharedKey) {
        Bytes challenge(kChallengeLength);
        ++challengeCounter_;
        uint32_t x = Crc32(bssid_.data(), bssid_.size()) ^ Crc32(station.data(), station.size()) ^ challengeCounter_;
        for (uint8_t& byte : challenge) {
            x = x * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(x >> 24);
        }
        challenges_[station] = challenge;
        stations_[station] = StationInfo{station, StationState::Authenticating, 0, false, 0};
        out->push_back(AuthFrame(station, kAuthSharedKey, 2, kStatusSuccess, &challenge));
        return;
    }
    challenges_.erase(station);
    stations_[station] = StationInfo{station, StationState::Authenticated, 0, false, 0};
    out->push_back(AuthFrame(station, kAuthOpenSystem, 2, kStatusSuccess, nullptr));
}

void AccessPoint::OnAssoc(const FrameAddresses& a, const Bytes& frame, bool reassoc, int64_t at,
                          std::vector<Bytes>* out, std::optional<Mac>* joined)
{
    const uint8_t* body = frame.data() + kMgmtHeaderLength;
    const size_t length = frame.size() - kMgmtHeaderLength;
    const size_t fixed = reassoc ? 10 : 4;  // capability, listen interval (and the current AP)
    if (length < fixed) {
        ++record_.dropped;
        return;
    }
    ++(reassoc ? record_.reassocRequests : record_.assocRequests);
    ++assocSeen_;
    if (config_.silent || assocSeen_ <= config_.ignoreAssoc) {
        ++record_.unanswered;
        return;
    }
    const Mac& station = a.a2;
    auto it = stations_.find(station);
    if (it == stations_.end() || it->second.state == StationState::Authenticating) {
        // A class 2 frame from a station that is not authenticated (802.11-2020 11.3.3).
        out->push_back(ReasonFrame(kFcDeauth, station, kReasonNotAuthenticated));
        return;
    }
    const ApState s = StateLocked(at);
    const size_t answered = assocSeen_ - config_.ignoreAssoc - 1;
    uint16_t status = config_.assocStatus[std::min(answered, config_.assocStatus.size() - 1)];
    std::optional<Element> ssid = FindElement(body + fixed, length - fixed, kEidSsid);
    const Bytes& own = config_.ssid;
    if (!ssid || ssid->length != own.size() || !std::equal(own.begin(), own.end(), ssid->body)) {
        status = kStatusUnspecified;  // not this network
    }
    uint16_t aid = 0;
    if (status == kStatusSuccess) {
        aid = it->second.state == StationState::Associated ? it->second.aid : FreeAid();
        if (aid == 0) {
            status = kStatusApFull;
        }
    }
    if (status == kStatusSuccess && Rsn(config_.security)) {
        status = RsnAssociate(station, body + fixed, length - fixed, nullptr);
    }
    if (status == kStatusSuccess) {
        it->second.state = StationState::Associated;
        it->second.aid = aid;
        it->second.reassociated = reassoc;
        it->second.listenInterval = Le16(body + 2);
        *joined = station;
    } else if (status != kStatusRefusedTemporarily) {
        // A refused (re)association leaves the station authenticated only.
        it->second.state = StationState::Authenticated;
        it->second.aid = 0;
    }
    out->push_back(AssocResponse(station, reassoc, status, aid, s, at));
    if (status == kStatusSuccess && Rsn(config_.security)) {
        RsnAssociate(station, nullptr, 0, out);  // message 1 of the 4-way handshake
    }
}

void AccessPoint::RunEvent(const ApEvent& e, int64_t due)
{
    std::vector<Bytes> frames;
    Channel channel;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const ApState s = StateLocked(due);
        if (!s.present) {
            return;
        }
        channel = s.channel;
        if (e.kind == ApEventKind::TwtTeardown) {
            for (const Mac& station : twt_.Stations()) {
                for (const Bytes& body : twt_.Teardown(station, e.flow)) {
                    Bytes f = MgmtHeader(kFcAction, station, bssid_, bssid_, NextSeq());
                    f.insert(f.end(), body.begin(), body.end());
                    frames.push_back(std::move(f));
                }
            }
        } else {
            ReasonFramesLocked(e, &frames);
        }
    }
    Send(channel, due, std::move(frames));
}

void AccessPoint::ReasonFramesLocked(const ApEvent& e, std::vector<Bytes>* frames)
{
    const bool deauth = e.kind == ApEventKind::Deauth;
    const uint16_t fc = deauth ? kFcDeauth : kFcDisassoc;
    for (auto it = stations_.begin(); it != stations_.end();) {
        StationInfo& info = it->second;
        if (deauth) {
            frames->push_back(ReasonFrame(fc, info.address, e.reason));
            challenges_.erase(info.address);
            twt_.Forget(info.address);
            if (rsn_) {
                rsn_->Forget(info.address);
            }
            it = stations_.erase(it);
            continue;
        }
        if (info.state == StationState::Associated) {
            frames->push_back(ReasonFrame(fc, info.address, e.reason));
            info.state = StationState::Authenticated;
            info.aid = 0;
            twt_.Forget(info.address);
        }
        ++it;
    }
    if (frames->empty()) {
        frames->push_back(ReasonFrame(fc, kBroadcast, e.reason));  // nobody to name: to everyone
    }
}

void AccessPoint::Send(Channel c, int64_t at, std::vector<Bytes> frames)
{
    Medium* medium;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        medium = medium_;
        for (const Bytes& f : frames) {
            record_.sent.push_back({at, c, f});
        }
    }
    if (medium == nullptr) {
        return;
    }
    for (const Bytes& f : frames) {
        medium->Transmit(this, c, at, f);
    }
}

void AccessPoint::Receive(const Bytes& frame, const Reception& rx)
{
    std::optional<FrameAddresses> a = ReadAddresses(frame.data(), frame.size());
    if (a && FrameType(a->fc) == 2 && (a->fc & 0x0300) == 0x0100 && frame.size() >= 24) {
        if (Rsn(config_.security)) {
            SecuredData(frame, *a, rx);
        } else {
            EchoData(frame, *a, rx);
        }
        return;
    }
    if (!a || FrameType(a->fc) != 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (a && a->a1 == bssid_) {
            ++record_.otherFrames;
            record_.otherFrameControls.push_back(a->fc);
        }
        return;
    }
    if (frame.size() > kMaxMgmtFrame) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++record_.dropped;
        return;
    }
    const uint16_t subtype = a->fc & 0x00FC;
    if (subtype == kFcProbeReq) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++record_.probeRequests;
        }
        if (!AnswersProbe(frame, rx.channel, rx.time)) {
            return;
        }
        const int64_t at = rx.time + responseDelay_;
        Bytes response = ProbeResponseTo(a->a2, at);
        Medium* medium;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++record_.probeResponses;
            medium = medium_;
        }
        if (medium != nullptr) {
            medium->Transmit(this, rx.channel, at, response);
        }
        return;
    }
    if (a->a1 != bssid_) {
        return;  // for someone else
    }
    std::vector<Bytes> answers;
    std::optional<Mac> joined;
    std::function<void(const Mac&)> hook;
    const int64_t at = rx.time + responseDelay_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!StateLocked(rx.time).present) {
            ++record_.unanswered;
            return;
        }
        const size_t length = frame.size() - kMgmtHeaderLength;
        switch (subtype) {
        case kFcAuth:
            OnAuth(*a, frame, at, &answers);
            break;
        case kFcAssocReq:
        case kFcReassocReq:
            OnAssoc(*a, frame, subtype == kFcReassocReq, at, &answers, &joined);
            break;
        case kFcDeauth:
        case kFcDisassoc:
            if (length < 2 && (a->fc & 0x4000) == 0) {
                ++record_.dropped;
                break;
            }
            twt_.Forget(a->a2);
            if (subtype == kFcDeauth) {
                ++record_.deauthsReceived;
                stations_.erase(a->a2);
                if (rsn_) {
                    rsn_->Forget(a->a2);
                }
                challenges_.erase(a->a2);
            } else {
                ++record_.disassocsReceived;
                if (auto it = stations_.find(a->a2); it != stations_.end() && it->second.state == StationState::Associated) {
                    it->second.state = StationState::Authenticated;
                    it->second.aid = 0;
                }
            }
            break;
        case kFcAction:
            OnAction(*a, frame, rx.time, &answers);
            break;
        default:
            ++record_.otherFrames;
            record_.otherFrameControls.push_back(a->fc);
            break;
        }
        hook = onAssociated_;
    }
    Send(rx.channel, at, std::move(answers));
    if (joined && hook) {
        hook(*joined);
    }
}

void AccessPoint::OnAction(const FrameAddresses& a, const Bytes& frame, int64_t time, std::vector<Bytes>* out)
{
    const uint8_t* body = frame.data() + kMgmtHeaderLength;
    const size_t length = frame.size() - kMgmtHeaderLength;
    auto it = stations_.find(a.a2);
    const bool associated = it != stations_.end() && it->second.state == StationState::Associated;
    if (length < 1 || body[0] != kCategoryUnprotectedS1g || !associated) {
        ++record_.otherFrames;
        record_.otherFrameControls.push_back(a.fc);
        return;
    }
    if (std::optional<Bytes> answer = twt_.OnAction(a.a2, body, length, time)) {
        Bytes f = MgmtHeader(kFcAction, a.a2, bssid_, bssid_, NextSeq());
        f.insert(f.end(), answer->begin(), answer->end());
        out->push_back(std::move(f));
    }
}

std::vector<TwtAgreementInfo> AccessPoint::TwtAgreements() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return twt_.Agreements();
}

std::vector<TwtExchange> AccessPoint::TwtExchanges() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return twt_.Exchanges();
}

uint64_t AccessPoint::TwtDropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return twt_.Dropped();
}

void AccessPoint::EchoData(const Bytes& frame, const FrameAddresses& a, const Reception& rx)
{
    Medium* medium;
    Bytes echo;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (a.a1 != bssid_) {
            return;
        }
        ++record_.dataFrames;
        medium = medium_;
        if (!echoData_ || medium == nullptr) {
            return;
        }
        // QoS data (subtype bit 3) carries its TID in the QoS control field behind the header.
        const bool qos = (a.fc & 0x0080) != 0;
        if (qos && frame.size() < 26) {
            return;
        }
        const uint8_t tid = qos ? static_cast<uint8_t>(frame[24] & 0x0F) : 16;
        uint16_t& next = echoSequence_[tid];
        const uint16_t seq = next;
        next = static_cast<uint16_t>((next + 1) & 0x0FFF);
        echo = frame;
        if (qos && (a.fc & 0x8000) != 0 && echo.size() >= 30) {
            echo.erase(echo.begin() + 26, echo.begin() + 30);  // the HT control field goes with the Order bit
        }
        echo[1] = 0x02;  // From-DS; no retry, power management, more data, protection or order
        std::copy(a.a2.begin(), a.a2.end(), echo.begin() + 4);   // to the station
        std::copy(bssid_.begin(), bssid_.end(), echo.begin() + 10);
        std::copy(a.a3.begin(), a.a3.end(), echo.begin() + 16);  // from the host it addressed
        echo[22] = static_cast<uint8_t>((seq & 0x0F) << 4);
        echo[23] = static_cast<uint8_t>(seq >> 4);
        if (rsn_) {
            std::optional<Bytes> sealed = rsn_->ToStation(a.a2, echo);
            if (!sealed) {
                return;
            }
            echo = std::move(*sealed);
        }
        ++record_.dataEchoed;
    }
    medium->Transmit(this, rx.channel, rx.time + responseDelay_, echo);
}

void AccessPoint::Scheduled(Channel c, int64_t from, int64_t to, std::vector<Emission>* out)
{
    std::vector<int64_t> times;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int64_t period = static_cast<int64_t>(config_.beaconIntervalTu) * kUnitsPerTu;
        for (int64_t t = TbttLocked(BeaconIndexAtOrAfter(from)); t < to; t += period) {
            const ApState s = StateLocked(t);
            if (s.present && s.channel == c) {
                times.push_back(t);
            }
        }
    }
    for (int64_t t : times) {
        out->push_back({t, BeaconAt(t), std::nullopt});
        std::lock_guard<std::mutex> lock(mutex_);
        ++record_.beacons;
    }
}

std::optional<int8_t> AccessPoint::PathSignalDbm(int64_t t) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return StateLocked(t).signalDbm;
}

std::array<int8_t, 4> AccessPoint::ChainOffsets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.chainOffsets;
}

}  // namespace sim::air
