// What the firmware reads from scan, offload and domain commands.
#include "fw/scan_cmd.h"

#include <algorithm>

namespace sim::fw {

using sim::air::Band;
using sim::air::Le16;
using sim::air::Le32;
using sim::air::MacAt;
using sim::air::ValidChannel;

namespace {

constexpr size_t kSsidSlot = 36;
constexpr size_t kSsidMax = 32;
constexpr size_t kExtraMax = 600;
constexpr size_t kListMax = 32;

std::optional<Channel> ChannelOf(uint8_t band, unsigned number)
{
    if (band < 1 || band > 3 || number > 255) {
        return std::nullopt;
    }
    const Channel c{static_cast<Band>(band), static_cast<uint8_t>(number)};
    if (!ValidChannel(c)) {
        return std::nullopt;
    }
    return c;
}

void Note(std::vector<std::string>* faults, const std::string& what)
{
    if (faults != nullptr) {
        faults->push_back(what);
    }
}

// An SSID slot {u32 length, 32 bytes}; a length above 32 is cut (and noted).
Bytes SsidSlot(const uint8_t* slot, std::vector<std::string>* faults, const char* where)
{
    uint32_t length = Le32(slot);
    if (length > kSsidMax) {
        Note(faults, std::string(where) + ": SSID length " + std::to_string(length) + " above 32");
        length = kSsidMax;
    }
    return Bytes(slot + 4, slot + 4 + length);
}

void AddChannels(ScanRequest* r, const uint8_t* entries, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (std::optional<Channel> c = ChannelOf(entries[2 * i], entries[2 * i + 1])) {
            r->channels.push_back(*c);
        } else {
            ++r->channelsLeftOut;
        }
    }
}

}  // namespace

std::optional<ScanRequest> DecodeScanV2(const Bytes& p, std::vector<std::string>* faults)
{
    if (p.size() < kScanV2Length) {
        Note(faults, "scan request of " + std::to_string(p.size()) + " bytes, version 2 has 1188");
        return std::nullopt;
    }
    if (p.size() != kScanV2Length) {
        Note(faults, "scan request of " + std::to_string(p.size()) + " bytes, version 2 has 1188");
    }
    ScanRequest r;
    r.format = ScanRequest::Format::LegacyV2;
    r.seq = p[0];
    r.bssIndex = p[1];
    r.scanType = p[2];
    r.option = p[3];
    r.probeOption = p[5];
    r.flags = p[6];
    size_t ssids = p[4];
    if (ssids > 4) {
        Note(faults, "scan request with " + std::to_string(ssids) + " SSIDs, room for 4");
        ssids = 4;
    }
    for (size_t i = 0; i < ssids; ++i) {
        r.ssids.push_back(SsidSlot(p.data() + 8 + kSsidSlot * i, faults, "scan request"));
    }
    r.probeCount = Le16(p.data() + 152);
    r.dwellMs = Le16(p.data() + 154);
    r.budgetMs = Le16(p.data() + 156);
    r.minDwellMs = Le16(p.data() + 828);
    r.channelType = p[158];
    const size_t total = p[159];
    if (total > 2 * kListMax) {
        Note(faults, "scan request lists " + std::to_string(total) + " channels, room for 64");
    }
    const size_t first = std::min<size_t>(total, kListMax);
    const size_t second = std::min<size_t>(p[826], kListMax);
    if (total <= 2 * kListMax && second != (total > kListMax ? total - kListMax : 0)) {
        Note(faults, "scan request lists " + std::to_string(total) + " channels with " + std::to_string(p[826]) +
                         " beyond 32");
    }
    AddChannels(&r, p.data() + 160, first);
    AddChannels(&r, p.data() + 830, second);
    size_t extra = Le16(p.data() + 224);
    if (extra > kExtraMax) {
        Note(faults, "scan request with " + std::to_string(extra) + " bytes of extra elements, room for 600");
        extra = kExtraMax;
    }
    r.extraIes.assign(p.begin() + 226, p.begin() + 226 + static_cast<std::ptrdiff_t>(extra));
    r.bssidListByte = p[1148];
    if (r.flags & 0x08) {
        for (size_t i = 0; i < 4; ++i) {
            const Mac bssid = MacAt(p.data() + 1124 + 6 * i);
            if (bssid == sim::air::kZeroMac) {
                continue;
            }
            r.targets.push_back({bssid, p[976 + i], p[980 + i]});
        }
    } else {
        r.filterAddress = MacAt(p.data() + 1112);
    }
    return r;
}

std::optional<ScanRequest> DecodeScanV1(const Bytes& p, std::vector<std::string>* faults)
{
    if (p.size() < kScanV1Length) {
        Note(faults, "scan request of " + std::to_string(p.size()) + " bytes, version 1 has 714");
        return std::nullopt;
    }
    if (p.size() != kScanV1Length) {
        Note(faults, "scan request of " + std::to_string(p.size()) + " bytes, version 1 has 714");
    }
    ScanRequest r;
    r.format = ScanRequest::Format::LegacyV1;
    r.seq = p[0];
    r.bssIndex = p[1];
    r.scanType = p[2];
    r.option = p[3];
    size_t ssidLength = p[4];
    if (ssidLength > kSsidMax) {
        Note(faults, "scan request with SSID length " + std::to_string(ssidLength) + " above 32");
        ssidLength = kSsidMax;
    }
    if (ssidLength != 0) {
        r.ssids.push_back(Bytes(p.begin() + 12, p.begin() + 12 + static_cast<std::ptrdiff_t>(ssidLength)));
    }
    r.dwellMs = Le16(p.data() + 8);
    r.budgetMs = Le16(p.data() + 10);
    r.channelType = p[44];
    size_t count = p[45];
    if (count > kListMax) {
        Note(faults, "scan request lists " + std::to_string(count) + " channels, room for 32");
        count = kListMax;
    }
    AddChannels(&r, p.data() + 48, count);
    size_t extra = Le16(p.data() + 112);
    if (extra > kExtraMax) {
        Note(faults, "scan request with " + std::to_string(extra) + " bytes of extra elements, room for 600");
        extra = kExtraMax;
    }
    r.extraIes.assign(p.begin() + 114, p.begin() + 114 + static_cast<std::ptrdiff_t>(extra));
    return r;
}

std::optional<ScanRequest> DecodeUnifiedScan(const UnifiedCommand& c, std::vector<std::string>* faults)
{
    const UniTlv* head = c.Find(0x01);
    if (head == nullptr || c.fixed.size() < 2) {
        return std::nullopt;
    }
    if (head->value.size() < 16) {
        Note(faults, "unified scan tag 0x01 of " + std::to_string(head->value.size() + 4) + " bytes, it has 20");
        return std::nullopt;
    }
    ScanRequest r;
    r.format = ScanRequest::Format::Unified;
    r.seq = c.fixed[0];
    r.bssIndex = c.fixed[1];
    const Bytes& h = head->value;
    r.scanType = h[0];
    r.probeOption = h[1];
    r.flags = h[2];
    r.minDwellMs = Le16(h.data() + 4);
    r.dwellMs = Le16(h.data() + 6);
    r.budgetMs = Le16(h.data() + 8);
    r.probeCount = Le16(h.data() + 10);
    r.channelType = kChannelsAll;  // without a channel tag every channel is scanned
    for (const UniTlv& t : c.tlvs) {
        const Bytes& v = t.value;
        switch (t.tag) {
        case 0x0A: {
            if (v.size() < 4) {
                Note(faults, "unified scan SSID tag too short");
                break;
            }
            r.option = v[0];
            size_t n = v[1];
            if (4 + kSsidSlot * n > v.size()) {
                Note(faults, "unified scan SSID tag announces " + std::to_string(n) + " SSIDs in " +
                                 std::to_string(v.size() + 4) + " bytes");
                n = (v.size() - 4) / kSsidSlot;
            }
            if (n > 10) {
                Note(faults, "unified scan SSID tag with " + std::to_string(n) + " SSIDs, room for 10");
                n = 10;
            }
            for (size_t i = 0; i < n; ++i) {
                r.ssids.push_back(SsidSlot(v.data() + 4 + kSsidSlot * i, faults, "unified scan"));
            }
            break;
        }
        case 0x0B:
            if (v.size() < 12) {
                Note(faults, "unified scan BSSID tag too short");
                break;
            }
            if (r.flags & 0x08) {
                const Mac bssid = MacAt(v.data());
                if (bssid != sim::air::kZeroMac) {
                    r.targets.push_back({bssid, v[6], v[7]});
                }
            } else {
                r.filterAddress = MacAt(v.data());
            }
            break;
        case 0x0C: {
            if (v.size() < 4) {
                Note(faults, "unified scan channel tag too short");
                break;
            }
            r.channelType = v[0];
            size_t n = v[1];
            if (4 + 2 * n > v.size()) {
                Note(faults, "unified scan channel tag announces " + std::to_string(n) + " channels in " +
                                 std::to_string(v.size() + 4) + " bytes");
                n = (v.size() - 4) / 2;
            }
            if (n > 2 * kListMax) {
                Note(faults, "unified scan channel tag with " + std::to_string(n) + " channels, room for 64");
                n = 2 * kListMax;
            }
            AddChannels(&r, v.data() + 4, n);
            break;
        }
        case 0x0D: {
            if (v.size() < 4) {
                Note(faults, "unified scan element tag too short");
                break;
            }
            size_t n = Le16(v.data());
            if (4 + n > v.size() || n > kExtraMax) {
                Note(faults, "unified scan element tag announces " + std::to_string(n) + " bytes in " +
                                 std::to_string(v.size() + 4));
                n = std::min(v.size() - 4, kExtraMax);
            }
            r.extraIes.assign(v.begin() + 4, v.begin() + 4 + static_cast<std::ptrdiff_t>(n));
            break;
        }
        case 0x0E:
            if (v.size() >= 7) {
                r.bssidListByte = v[6];
            }
            break;
        default:
            break;
        }
    }
    return r;
}

std::optional<NloRequest> DecodeNloConfig(const Bytes& p, std::vector<std::string>* faults)
{
    if (p.size() < kNloLength) {
        Note(faults, "network list offload of " + std::to_string(p.size()) + " bytes, it has 1224");
        return std::nullopt;
    }
    NloRequest r;
    r.seq = p[1];
    r.bssIndex = p[1160];
    for (size_t i = 0; i < 10; ++i) {
        Bytes s = SsidSlot(p.data() + 8 + kSsidSlot * i, faults, "network list offload");
        if (!s.empty()) {
            r.hiddenSsids.push_back(std::move(s));
        }
    }
    for (size_t i = 0; i < 16; ++i) {
        const uint8_t* rec = p.data() + 368 + 40 * i;
        size_t length = rec[36];
        if (length > kSsidMax) {
            Note(faults, "network list offload profile with SSID length " + std::to_string(length));
            length = kSsidMax;
        }
        if (length == 0) {
            continue;
        }
        r.profiles.push_back({Bytes(rec + 4, rec + 4 + length), rec[37], Le16(rec + 38)});
    }
    size_t hints = p[1009];
    if (hints > 74) {
        Note(faults, "network list offload with " + std::to_string(hints) + " channel hints, room for 74");
        hints = 74;
    }
    for (size_t i = 0; i < hints; ++i) {
        if (std::optional<Channel> c = ChannelOf(p[1012 + 2 * i], p[1013 + 2 * i])) {
            r.hints.push_back(*c);
        }
    }
    for (size_t i = 0; i < 4; ++i) {
        r.params[i] = Le32(p.data() + 1164 + 4 * i);
    }
    return r;
}

std::optional<NloRequest> DecodeUnifiedNlo(const UnifiedCommand& c, std::vector<std::string>* faults)
{
    if (c.Find(0x03) == nullptr && c.Find(0x0F) == nullptr) {
        return std::nullopt;
    }
    NloRequest r;
    r.seq = c.fixed.size() > 0 ? c.fixed[0] : 0;
    r.bssIndex = c.fixed.size() > 1 ? c.fixed[1] : 0;
    for (const UniTlv& t : c.tlvs) {
        const Bytes& v = t.value;
        switch (t.tag) {
        case 0x05:
            for (size_t i = 0; i < 4 && 4 * i + 4 <= v.size(); ++i) {
                r.params[i] = Le32(v.data() + 4 * i);
            }
            break;
        case 0x0A:
            if (v.size() >= 4) {
                const size_t n = std::min<size_t>(v[1], (v.size() - 4) / kSsidSlot);
                for (size_t i = 0; i < n; ++i) {
                    Bytes s = SsidSlot(v.data() + 4 + kSsidSlot * i, faults, "unified network list offload");
                    if (!s.empty()) {
                        r.hiddenSsids.push_back(std::move(s));
                    }
                }
            }
            break;
        case 0x0C:
            if (v.size() >= 4) {
                const size_t n = std::min<size_t>(v[1], (v.size() - 4) / 2);
                for (size_t i = 0; i < n; ++i) {
                    if (std::optional<Channel> ch = ChannelOf(v[4 + 2 * i], v[5 + 2 * i])) {
                        r.hints.push_back(*ch);
                    }
                }
            }
            break;
        case 0x0F:
            if (v.size() >= 4) {
                const size_t n = std::min<size_t>(v[0], (v.size() - 4) / 40);
                for (size_t i = 0; i < n; ++i) {
                    const uint8_t* rec = v.data() + 4 + 40 * i;
                    const size_t length = std::min<size_t>(rec[36], kSsidMax);
                    if (length != 0) {
                        r.profiles.push_back({Bytes(rec + 4, rec + 4 + length), rec[37], Le16(rec + 38)});
                    }
                }
            }
            break;
        default:
            break;
        }
    }
    return r;
}

namespace {

void AddDomainList(Domain* d, const uint8_t* entries, size_t available, const uint8_t counts[3],
                   std::vector<std::string>* faults)
{
    size_t total = static_cast<size_t>(counts[0]) + counts[1] + counts[2];
    if (total * 8 > available) {
        Note(faults, "domain lists " + std::to_string(total) + " channels in " + std::to_string(available) + " bytes");
        total = available / 8;
    }
    size_t index = 0;
    for (uint8_t band = 1; band <= 3; ++band) {
        for (size_t i = 0; i < counts[band - 1] && index < total; ++i, ++index) {
            const uint8_t* e = entries + 8 * index;
            if (std::optional<Channel> c = ChannelOf(band, Le16(e))) {
                d->channels.push_back({*c, Le32(e + 4)});
            }
        }
    }
}

}  // namespace

std::optional<Domain> DecodeDomain(const Bytes& p, std::vector<std::string>* faults)
{
    Domain d;
    if (p.size() >= 2) {
        d.country.assign(p.begin(), p.begin() + 2);
    }
    if (p.size() == kDomainV1Length) {
        // The plan form: 12 sub-bands {class, band, spacing, first channel, count}; radar by channel.
        for (size_t i = 0; i < 12; ++i) {
            const uint8_t* s = p.data() + 4 + 8 * i;
            if (s[1] < 1 || s[1] > 3 || s[2] == 0) {
                continue;
            }
            for (unsigned k = 0; k < s[4]; ++k) {
                if (std::optional<Channel> c = ChannelOf(s[1], s[3] + k * s[2])) {
                    d.channels.push_back({*c, sim::air::IsDfs(*c) ? kDomainRadar : 0});
                }
            }
        }
        return d;
    }
    if (p.size() < 12) {
        Note(faults, "domain command of " + std::to_string(p.size()) + " bytes");
        return std::nullopt;
    }
    const uint8_t counts[3] = {p[8], p[9], p[10]};
    AddDomainList(&d, p.data() + 12, p.size() - 12, counts, faults);
    return d;
}

std::optional<Domain> DecodeUnifiedDomain(const UnifiedCommand& c, std::vector<std::string>* faults)
{
    const UniTlv* t = c.Find(2);
    if (t == nullptr || t->value.size() < 4) {
        return std::nullopt;
    }
    Domain d;
    if (c.fixed.size() >= 2) {
        d.country.assign(c.fixed.begin(), c.fixed.begin() + 2);
    }
    const uint8_t counts[3] = {t->value[0], t->value[1], t->value[2]};
    AddDomainList(&d, t->value.data() + 4, t->value.size() - 4, counts, faults);
    return d;
}

Domain DefaultDomain()
{
    Domain d;
    d.country = "00";
    for (uint8_t n = 1; n <= 11; ++n) {
        d.channels.push_back({{Band::B2G4, n}, 0});
    }
    for (unsigned n = 36; n <= 177; n += 4) {
        const Channel c{Band::B5G, static_cast<uint8_t>(n)};
        if (ValidChannel(c)) {
            d.channels.push_back({c, sim::air::IsDfs(c) ? kDomainRadar : 0});
        }
    }
    for (unsigned n = 5; n <= 229; n += 16) {
        d.channels.push_back({{Band::B6G, static_cast<uint8_t>(n)}, 0});
    }
    return d;
}

}  // namespace sim::fw
