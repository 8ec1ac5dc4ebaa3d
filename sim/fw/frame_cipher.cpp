// The chip's frame protection.
#include "fw/frame_cipher.h"

#include <algorithm>

#include "air/ap_rsn_cipher.h"
#include "fw/events.h"
#include "fw/unified_events.h"

namespace sim::fw {

namespace rsn = sim::air::rsn;
using sim::air::Bytes;
using sim::air::Mac;

namespace {

constexpr size_t kKeyBytesAt = 16;
constexpr size_t kManagementSlot = 16;
constexpr uint8_t kCategoryPublic = 4;
constexpr uint8_t kCategorySelfProtected = 15;
constexpr uint8_t kCategoryVendorUnprotected = 127;

std::optional<rsn::Cipher> FrameCipherOf(uint8_t fwCipher)
{
    switch (fwCipher) {
    case kFwCipherCcmp128:
        return rsn::Cipher::Ccmp128;
    case kFwCipherGcmp256:
        return rsn::Cipher::Gcmp256;
    default:
        return std::nullopt;
    }
}

bool IsIntegrity(uint8_t fwCipher) { return fwCipher == kFwCipherBipCmac128 || fwCipher == kFwCipherBipGmac256; }

// The replay counter a frame counts against: the TID of a QoS data frame, 0 for other data, the
// management counter for management frames.
size_t ReplaySlot(const Bytes& frame)
{
    const uint16_t fc = sim::air::Le16(frame.data());
    if (sim::air::FrameType(fc) == 0) {
        return kManagementSlot;
    }
    if ((fc & 0x0080) == 0) {
        return 0;
    }
    const size_t qos = (fc & 0x0300) == 0x0300 ? 30 : 24;
    return frame.size() > qos ? frame[qos] & 0x0F : 0;
}

// Group-addressed management frames BIP covers: deauthentication, disassociation and robust action
// frames.
bool BipCovered(const Bytes& frame)
{
    const uint16_t fc = sim::air::Le16(frame.data());
    if (fc == sim::air::kFcDeauth || fc == sim::air::kFcDisassoc) {
        return true;
    }
    if (fc != sim::air::kFcAction || frame.size() <= sim::air::kMgmtHeaderLength) {
        return false;
    }
    const uint8_t category = frame[sim::air::kMgmtHeaderLength];
    return category != kCategoryPublic && category != kCategorySelfProtected && category != kCategoryVendorUnprotected;
}

std::array<uint8_t, 6> PnBytes(uint64_t pn)
{
    std::array<uint8_t, 6> b{};
    for (size_t i = 0; i < 6; ++i) {
        b[i] = static_cast<uint8_t>(pn >> (8 * i));
    }
    return b;
}

}  // namespace

std::optional<KeyCommand> ParseKeyCommand(const uint8_t* payload, size_t length)
{
    if (payload == nullptr || length < kKeyPayloadLength) {
        return std::nullopt;
    }
    KeyCommand k;
    k.add = payload[0] != 0;
    k.pairwise = payload[1] != 0;
    std::copy(payload + 4, payload + 10, k.peer.begin());
    k.bssIndex = payload[10];
    k.cipher = payload[11];
    k.keyIndex = payload[12];
    const size_t keyLength = std::min<size_t>(payload[13], kKeyPayloadLength - kKeyBytesAt);
    k.wlanIndex = payload[14];
    k.key.assign(payload + kKeyBytesAt, payload + kKeyBytesAt + keyLength);
    return k;
}

std::optional<FrameCipher::KeyDone> FrameCipher::Take(const LegacyCommand& command)
{
    if (command.cmdId == kLegacyCmdDefaultKey && command.payload.size() >= 2) {
        std::lock_guard<std::mutex> lock(mutex_);
        defaultKey_[command.payload[0]] = command.payload[1];
        return std::nullopt;
    }
    if (command.cmdId != kLegacyCmdKey) {
        return std::nullopt;
    }
    return TakeKey(command.payload.data(), command.payload.size());
}

std::optional<FrameCipher::KeyDone> FrameCipher::Take(const UnifiedCommand& command)
{
    if (command.cmdId != kUniCmdStaRec) {
        return std::nullopt;
    }
    const UniTlv* key = command.Find(kUniTagKey);
    if (key == nullptr) {
        return std::nullopt;
    }
    return TakeKey(key->value.data(), key->value.size());
}

std::optional<FrameCipher::KeyDone> FrameCipher::TakeKey(const uint8_t* payload, size_t length)
{
    std::optional<KeyCommand> k = ParseKeyCommand(payload, length);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!k) {
        ++record_.malformed;
        return std::nullopt;
    }
    auto same = [&k](const InstalledKey& i) {
        return i.command.pairwise == k->pairwise && i.command.wlanIndex == k->wlanIndex &&
               i.command.keyIndex == k->keyIndex;
    };
    const size_t before = keys_.size();
    keys_.erase(std::remove_if(keys_.begin(), keys_.end(), same), keys_.end());
    if (!k->add) {
        record_.keysRemoved += before - keys_.size();
        return std::nullopt;
    }
    ++record_.keysAdded;
    InstalledKey installed;
    installed.command = *k;
    keys_.push_back(std::move(installed));
    if (!k->pairwise) {
        return std::nullopt;
    }
    return KeyDone{k->bssIndex, k->peer};
}

std::vector<uint8_t> FrameCipher::AddKeyDoneEvent(Generation generation, uint8_t seq, const KeyDone& done)
{
    if (generation == Generation::Third) {
        Bytes value(12, 0);
        std::copy(done.peer.begin(), done.peer.end(), value.begin() + 4);
        return EncodeUnifiedEvent(kUniEventAddKeyDone, seq, {done.bssIndex, 0, 0, 0}, {UniTlv{0, value}});
    }
    EventHeader header;
    header.id = kLegacyEventAddKeyDone;
    header.seq = seq;
    return EncodeRamEvent(generation, header, AddKeyDoneBody(done));
}

std::vector<uint8_t> FrameCipher::AddKeyDoneBody(const KeyDone& done)
{
    Bytes body = {done.bssIndex, 0};
    body.insert(body.end(), done.peer.begin(), done.peer.end());
    return body;
}

InstalledKey* FrameCipher::FindLocked(bool pairwise, uint8_t wlanIndex, uint8_t keyIndex)
{
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) {
        if (it->command.pairwise == pairwise && it->command.wlanIndex == wlanIndex && it->command.keyIndex == keyIndex) {
            return &*it;
        }
    }
    return nullptr;
}

InstalledKey* FrameCipher::PairwiseByAddressLocked(const Mac& peer)
{
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) {
        if (it->command.pairwise && it->command.peer == peer) {
            return &*it;
        }
    }
    return nullptr;
}

InstalledKey* FrameCipher::GroupForTransmitLocked(uint8_t wlanIndex)
{
    InstalledKey* latest = nullptr;
    for (InstalledKey& k : keys_) {
        if (k.command.pairwise || k.command.wlanIndex != wlanIndex || IsIntegrity(k.command.cipher)) {
            continue;
        }
        const std::optional<uint8_t> preferred = defaultKey_[k.command.bssIndex];
        if (preferred && *preferred == k.command.keyIndex) {
            return &k;
        }
        latest = &k;
    }
    return latest;
}

InstalledKey* FrameCipher::GroupForReceiveLocked(const Mac& transmitter, uint8_t keyId, bool integrity)
{
    // The group key installed for the transmitter's address, else the one of the BSS its pairwise
    // key belongs to.
    const InstalledKey* pairwise = PairwiseByAddressLocked(transmitter);
    InstalledKey* ofBss = nullptr;
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) {
        const KeyCommand& c = it->command;
        if (c.pairwise || c.keyIndex != keyId || IsIntegrity(c.cipher) != integrity) {
            continue;
        }
        if (c.peer == transmitter) {
            return &*it;
        }
        if (ofBss == nullptr && pairwise != nullptr && c.bssIndex == pairwise->command.bssIndex) {
            ofBss = &*it;
        }
    }
    return ofBss;
}

bool FrameCipher::Outgoing(const uint8_t* txd, Bytes* frame)
{
    if (frame->size() < sim::air::kMgmtHeaderLength || (sim::air::Le16(frame->data()) & rsn::kFcProtected) == 0) {
        return true;
    }
    const uint16_t fc = sim::air::Le16(frame->data());
    const Mac receiver = sim::air::MacAt(frame->data() + 4);
    const uint8_t wlanIndex = txd != nullptr ? txd[4] : 0xFF;  // DW1 bits 0-7
    std::lock_guard<std::mutex> lock(mutex_);
    InstalledKey* key = nullptr;
    if (sim::air::IsGroup(receiver)) {
        key = GroupForTransmitLocked(wlanIndex);
    } else {
        for (InstalledKey& k : keys_) {
            if (k.command.pairwise && k.command.wlanIndex == wlanIndex) {
                key = &k;
            }
        }
        if (key == nullptr && sim::air::FrameType(fc) == 0) {
            key = PairwiseByAddressLocked(receiver);
        }
    }
    const std::optional<rsn::Cipher> cipher = key != nullptr ? FrameCipherOf(key->command.cipher) : std::nullopt;
    if (!cipher) {
        ++record_.notSent;
        return false;
    }
    const uint8_t keyId = static_cast<uint8_t>(key->command.keyIndex & 3);
    std::optional<Bytes> sealed = rsn::Protect(*cipher, key->command.key, keyId, key->txPn + 1, *frame);
    if (!sealed) {
        ++record_.notSent;  // a key of the wrong length for its cipher
        return false;
    }
    ++key->txPn;
    ++record_.protectedOut;
    *frame = std::move(*sealed);
    return true;
}

bool FrameCipher::CheckBipLocked(const sim::air::FrameAddresses& a, const Bytes& frame)
{
    const size_t mme = 2 + 8 + rsn::MicLength(rsn::Cipher::BipCmac128);
    if (frame.size() < sim::air::kMgmtHeaderLength + mme || frame[frame.size() - mme] != rsn::kEidMme ||
        frame[frame.size() - mme + 1] != mme - 2) {
        return true;  // no MIC element of BIP-CMAC-128: the host decides
    }
    const uint8_t keyId = frame[frame.size() - mme + 2];
    InstalledKey* key = GroupForReceiveLocked(a.a2, keyId, true);
    if (key == nullptr || key->command.cipher != kFwCipherBipCmac128) {
        return true;  // BIP-GMAC-256, or no integrity key: left to the host
    }
    const std::optional<uint64_t> ipn = rsn::CheckMme(rsn::Cipher::BipCmac128, key->command.key, frame);
    if (!ipn) {
        ++record_.bipFailures;
        return false;
    }
    std::optional<uint64_t>& last = key->rxPn[kManagementSlot];
    if (last && *ipn <= *last) {
        ++record_.replays;
        return false;
    }
    last = *ipn;
    ++record_.bipChecked;
    return true;
}

bool FrameCipher::Incoming(Bytes* frame, sim::chip::RxdFields* fields)
{
    const std::optional<sim::air::FrameAddresses> a = sim::air::ReadAddresses(frame->data(), frame->size());
    if (!a) {
        return true;
    }
    const bool group = sim::air::IsGroup(a->a1);
    std::lock_guard<std::mutex> lock(mutex_);
    if ((a->fc & rsn::kFcProtected) == 0) {
        return !group || sim::air::FrameType(a->fc) != 0 || !BipCovered(*frame) || CheckBipLocked(*a, *frame);
    }
    const std::optional<uint8_t> keyId = rsn::ProtectedKeyId(*frame);
    InstalledKey* key = nullptr;
    if (keyId) {
        key = group ? GroupForReceiveLocked(a->a2, *keyId, false) : PairwiseByAddressLocked(a->a2);
    }
    const std::optional<rsn::Cipher> cipher = key != nullptr ? FrameCipherOf(key->command.cipher) : std::nullopt;
    if (!cipher) {
        ++record_.noKey;
        return false;
    }
    std::optional<rsn::Unprotected> open = rsn::Unprotect(*cipher, key->command.key, *frame);
    if (!open) {
        ++record_.micFailures;
        return false;
    }
    std::optional<uint64_t>& last = key->rxPn[ReplaySlot(open->frame)];
    if (last && open->pn <= *last) {
        ++record_.replays;
        return false;
    }
    last = open->pn;
    ++record_.decrypted;
    // The host sees the frame decrypted with its Protected bit still set.
    open->frame[1] |= rsn::kFcProtected >> 8;
    *frame = std::move(open->frame);
    if (fields != nullptr) {
        fields->packetNumber = PnBytes(open->pn);
        fields->keyIndex = open->keyId;
        fields->securityMode = key->command.cipher;
    }
    return true;
}

std::vector<InstalledKey> FrameCipher::Keys() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_;
}

FrameCipherRecord FrameCipher::Record() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

void FrameCipher::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.clear();
    defaultKey_ = {};
}

}  // namespace sim::fw
