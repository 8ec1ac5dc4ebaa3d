#include "fw/bss_records.h"

#include <algorithm>

namespace sim::fw {
namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }

constexpr size_t kBssInfoLength = 116;
constexpr size_t kBssInfoRlmOffset = 68;
constexpr size_t kRlmLength = 22;
constexpr size_t kStaRecLengthSecond = 202;
constexpr size_t kStaRecLength = 236;

// Unified tags.
constexpr uint16_t kBssTagBasic = 0x00;
constexpr uint16_t kBssTagRlm = 0x02;
constexpr uint16_t kStaTagBasic = 0x00;
constexpr uint16_t kStaTagState = 0x07;
constexpr uint16_t kStaTagHt = 0x09;
constexpr uint16_t kStaTagVht = 0x0A;
constexpr uint16_t kStaTagBa = 0x16;
constexpr uint16_t kStaTagRemove = 0x25;

}  // namespace

void BssRecords::DecodeRlmLocked(BssRecord& bss, const uint8_t* rlm)
{
    bss.rlm.assign(rlm, rlm + kRlmLength);
    bss.band = rlm[1];
    bss.primaryChannel = rlm[2];
    bss.centre0 = rlm[16];
    bss.centre1 = rlm[17];
    bss.txStreams = rlm[20];
    bss.rxStreams = rlm[21];
}

void BssRecords::RemoveLocked(bool all, uint8_t wlanIndex, uint8_t bssIndex)
{
    removals_.push_back({all, wlanIndex, bssIndex});
    if (all) {
        for (auto it = stations_.begin(); it != stations_.end();) {
            it = it->second.bssIndex == bssIndex ? stations_.erase(it) : std::next(it);
        }
    } else {
        stations_.erase(wlanIndex);
    }
}

void BssRecords::Take(const LegacyCommand& command)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<uint8_t>& p = command.payload;
    switch (command.cmdId) {
    case kLegacyCmdBssInfo: {
        if (p.size() != kBssInfoLength) {
            ++malformed_;
            return;
        }
        BssRecord& bss = bss_[p[0]];
        bss.bssIndex = p[0];
        ++bss.updates;
        bss.info = p;
        std::copy(p.begin() + 36, p.begin() + 42, bss.bssid.begin());
        DecodeRlmLocked(bss, p.data() + kBssInfoRlmOffset);
        break;
    }
    case kLegacyCmdBssRlm: {
        if (p.size() != kRlmLength) {
            ++malformed_;
            return;
        }
        BssRecord& bss = bss_[p[0]];
        bss.bssIndex = p[0];
        ++bss.updates;
        DecodeRlmLocked(bss, p.data());
        break;
    }
    case kLegacyCmdStaRecUpdate: {
        if (p.size() != kStaRecLength && p.size() != kStaRecLengthSecond) {
            ++malformed_;
            return;
        }
        StaRecord& sta = stations_[p[54]];
        sta.wlanIndex = p[54];
        sta.bssIndex = p[12];
        ++sta.updates;
        sta.legacy = p;
        std::copy(p.begin() + 2, p.begin() + 8, sta.address.begin());
        sta.state = p[20];
        sta.htCapInfo = U16(&p[40]);
        sta.vhtCapInfo = U32(&p[56]);
        sta.baWindow[0] = U16(&p[92]);
        sta.baWindow[1] = U16(&p[94]);
        sta.amsduTx = p[128];
        sta.amsduRx = p[129];
        break;
    }
    case kLegacyCmdStaRecRemove:
        if (p.size() < 3) {
            ++malformed_;
            return;
        }
        RemoveLocked(p[0] == 1, p[1], p[2]);
        break;
    default:
        break;
    }
}

void BssRecords::Take(const UnifiedCommand& command)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (command.cmdId == kUniCmdBss) {
        if (command.fixed.empty()) {
            ++malformed_;
            return;
        }
        const UniTlv* basic = command.Find(kBssTagBasic);
        const UniTlv* rlm = command.Find(kBssTagRlm);
        if (basic == nullptr && rlm == nullptr) {
            return;  // other BSS commands (power management, beacon templates, ...)
        }
        BssRecord& bss = bss_[command.fixed[0]];
        bss.bssIndex = command.fixed[0];
        bss.unified = true;
        ++bss.updates;
        for (const UniTlv& tlv : command.tlvs) {
            bss.tags[tlv.tag] = tlv.value;
        }
        if (basic != nullptr && basic->value.size() >= 16) {
            std::copy(basic->value.begin() + 10, basic->value.begin() + 16, bss.bssid.begin());
        }
        if (rlm != nullptr && rlm->value.size() >= 9) {
            const std::vector<uint8_t>& v = rlm->value;
            bss.primaryChannel = v[0];
            bss.centre0 = v[1];
            bss.centre1 = v[2];
            bss.txStreams = v[4];
            bss.rxStreams = v[5];
            bss.band = v[8];
        }
        return;
    }
    if (command.cmdId != kUniCmdStaRec) {
        return;
    }
    if (command.fixed.size() < 2) {
        ++malformed_;
        return;
    }
    const uint8_t bssIndex = command.fixed[0];
    const uint8_t wlanIndex = command.fixed[1];
    if (const UniTlv* remove = command.Find(kStaTagRemove)) {
        if (remove->value.empty()) {
            ++malformed_;
            return;
        }
        RemoveLocked(remove->value[0] == 1, wlanIndex, bssIndex);
        return;
    }
    const UniTlv* basic = command.Find(kStaTagBasic);
    if (basic == nullptr) {
        return;  // keys and other station commands
    }
    StaRecord& sta = stations_[wlanIndex];
    sta.wlanIndex = wlanIndex;
    sta.bssIndex = bssIndex;
    sta.unified = true;
    ++sta.updates;
    for (const UniTlv& tlv : command.tlvs) {
        sta.tags[tlv.tag] = tlv.value;
    }
    if (basic->value.size() >= 14) {
        std::copy(basic->value.begin() + 8, basic->value.begin() + 14, sta.address.begin());
    }
    if (const UniTlv* state = command.Find(kStaTagState); state != nullptr && !state->value.empty()) {
        sta.state = state->value[0];
    }
    if (const UniTlv* ht = command.Find(kStaTagHt); ht != nullptr && ht->value.size() >= 2) {
        sta.htCapInfo = U16(ht->value.data());
    }
    if (const UniTlv* vht = command.Find(kStaTagVht); vht != nullptr && vht->value.size() >= 4) {
        sta.vhtCapInfo = U32(vht->value.data());
    }
    if (const UniTlv* ba = command.Find(kStaTagBa); ba != nullptr && ba->value.size() >= 12) {
        sta.amsduTx = ba->value[2];
        sta.amsduRx = ba->value[3];
        sta.baWindow[0] = U16(&ba->value[8]);
        sta.baWindow[1] = U16(&ba->value[10]);
    }
}

std::optional<BssRecord> BssRecords::Bss(uint8_t bssIndex) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = bss_.find(bssIndex);
    return it == bss_.end() ? std::nullopt : std::optional<BssRecord>(it->second);
}

std::optional<StaRecord> BssRecords::Station(uint8_t wlanIndex) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = stations_.find(wlanIndex);
    return it == stations_.end() ? std::nullopt : std::optional<StaRecord>(it->second);
}

std::vector<uint8_t> BssRecords::StationIndexes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<uint8_t> out;
    for (const auto& [index, record] : stations_) {
        out.push_back(index);
    }
    return out;
}

std::vector<BssRecords::Removal> BssRecords::Removals() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return removals_;
}

unsigned BssRecords::Malformed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return malformed_;
}

void BssRecords::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    bss_.clear();
    stations_.clear();
    removals_.clear();
    malformed_ = 0;
}

}  // namespace sim::fw
