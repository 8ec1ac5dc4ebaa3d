// The OS's Wi-Fi service above one device (see wifi_service.h).
#include "kshim/host/wifi_service.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "kshim/host/os.h"
#include "kshim/wditlv.h"

namespace kshim::host {

namespace {

constexpr size_t kWdiHeaderSize = 16;
constexpr size_t kFixedFieldsSize = 12;  // time stamp, beacon interval, capability before the elements

std::vector<uint8_t> Bytes(const WDI_BYTE_ARRAY& array)
{
    if (array.pElements == nullptr || array.ElementCount == 0) {
        return {};
    }
    return std::vector<uint8_t>(array.pElements, array.pElements + array.ElementCount);
}

WDI_BYTE_ARRAY View(const std::vector<uint8_t>& bytes)
{
    WDI_BYTE_ARRAY array{};
    array.ElementCount = static_cast<ULONG>(bytes.size());
    array.pElements = bytes.empty() ? nullptr : const_cast<PUCHAR>(bytes.data());
    return array;
}

// The scan parameters in the driver's record, pointing into `parameters` and the given storage.
struct ScanRecord {
    WDI_SCAN_PARAMETERS record{};
    std::vector<WDI_BYTE_ARRAY> ssids;
    std::vector<WDI_BAND_CHANNEL_ENTRY> bands;
    std::vector<std::vector<ULONG>> channels;
    std::vector<WDI_6GHZ_CHANNEL_ENTRY> sixGhz;
};

void Fill(const ScanParameters& p, ScanRecord* out)
{
    WDI_SCAN_PARAMETERS& r = out->record;
    std::memcpy(r.Bssid, p.bssid.data(), 6);
    r.ScanMode.ScanType = p.scanType;
    r.ScanMode.ScanTrigger = p.scanTrigger;
    for (size_t i = 0; i < 3; ++i) {
        r.DwellTime.Values[i] = p.dwellTime[i];
    }
    for (const auto& ssid : p.ssids) {
        out->ssids.push_back(View(ssid));
    }
    r.SsidList.ElementCount = static_cast<ULONG>(out->ssids.size());
    r.SsidList.pElements = out->ssids.empty() ? nullptr : out->ssids.data();
    if (!p.vendorIes.empty()) {
        r.Presence |= WDI_SCAN_PRESENT_VENDOR_IES;
        r.VendorIes = View(p.vendorIes);
    }
    out->channels.reserve(p.bands.size());
    for (const auto& band : p.bands) {
        out->channels.emplace_back(band.channels.begin(), band.channels.end());
    }
    for (size_t i = 0; i < p.bands.size(); ++i) {
        WDI_BAND_CHANNEL_ENTRY entry{};
        entry.BandId = p.bands[i].bandId;
        entry.ChannelList.ElementCount = static_cast<ULONG>(out->channels[i].size());
        entry.ChannelList.pElements = out->channels[i].empty() ? nullptr : out->channels[i].data();
        out->bands.push_back(entry);
    }
    if (!out->bands.empty()) {
        r.Presence |= WDI_SCAN_PRESENT_BAND_CHANNEL;
        r.BandChannelList.ElementCount = static_cast<ULONG>(out->bands.size());
        r.BandChannelList.pElements = out->bands.data();
    }
    for (const auto& target : p.sixGhz) {
        WDI_6GHZ_CHANNEL_ENTRY entry{};
        std::memcpy(entry.Bssid, target.bssid.data(), 6);
        entry.ChannelNumber = target.channel;
        out->sixGhz.push_back(entry);
    }
    if (!out->sixGhz.empty()) {
        r.Presence |= WDI_SCAN_PRESENT_6GHZ;
        r.SixGhzList.ElementCount = static_cast<ULONG>(out->sixGhz.size());
        r.SixGhzList.pElements = out->sixGhz.data();
    }
}

void PutU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

// ---- BSS list entries -----------------------------------------------------------------------------------
std::optional<std::vector<uint8_t>> BssListEntry::Element(uint8_t id) const
{
    const std::vector<uint8_t>& body = Body();
    size_t at = kFixedFieldsSize;
    while (at + 2 <= body.size()) {
        const size_t length = body[at + 1];
        if (at + 2 + length > body.size()) {
            break;
        }
        if (body[at] == id) {
            return std::vector<uint8_t>(body.begin() + static_cast<long>(at + 2),
                                        body.begin() + static_cast<long>(at + 2 + length));
        }
        at += 2 + length;
    }
    return std::nullopt;
}

std::vector<uint8_t> BssListEntry::Ssid() const
{
    auto ssid = Element(0);
    if (!ssid || std::all_of(ssid->begin(), ssid->end(), [](uint8_t b) { return b == 0; })) {
        return {};
    }
    return *ssid;
}

// ---- the service ---------------------------------------------------------------------------------------------
WifiService::WifiService(Os& os, OsDevice* device) : os_(os), device_(device)
{
    indicationsSeen_ = WifiIndications().size();
}

NTSTATUS WifiService::Send(uint16_t messageId, uint16_t portId, const std::vector<uint8_t>& tlvs, size_t outputLength)
{
    const uint32_t transaction = nextTransaction_++;
    last_ = os_.SendWdiRequest(device_, messageId, WdiMessage(portId, transaction, tlvs), outputLength);
    if (!last_.Wait()) {
        return STATUS_TIMEOUT;
    }
    return last_.Status();
}

NTSTATUS WifiService::StartScan(const ScanParameters& parameters)
{
    Poll();
    if (scanRunning_) {
        return STATUS_INVALID_DEVICE_STATE;  // one scan at a time
    }
    ScanRecord record;
    Fill(parameters, &record);
    ULONG length = 0;
    PUCHAR buffer = nullptr;
    NTSTATUS status = WdiTlvGenerateTaskScan(&record.record, 0, nullptr, &length, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    std::vector<uint8_t> tlvs(buffer, buffer + length);
    WdiTlvFreeGenerated(buffer);
    scanTransaction_ = nextTransaction_;
    scanPort_ = parameters.portId;
    scanRunning_ = true;
    status = Send(kWdiTaskScan, parameters.portId, tlvs);
    if (!NT_SUCCESS(status)) {
        // A refused task sends no completion indication.
        scanRunning_ = false;
        lastScanStatus_ = status;
    }
    Poll();
    return status;
}

bool WifiService::WaitScanComplete(unsigned realMs)
{
    Poll();
    if (!scanRunning_) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (scanRunning_) {
        const size_t seen = indicationsSeen_;
        if (!WifiWaitIndications(seen + 1, realMs) && std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        Poll();
        if (std::chrono::steady_clock::now() >= deadline && scanRunning_) {
            return false;
        }
    }
    return true;
}

NTSTATUS WifiService::AbortScan()
{
    Poll();
    std::vector<uint8_t> value;
    PutU32(value, kWdiTaskScan);
    PutU32(value, scanTransaction_);
    value.push_back(static_cast<uint8_t>(scanPort_));
    value.push_back(static_cast<uint8_t>(scanPort_ >> 8));
    const NTSTATUS status = Send(kWdiAbortTask, scanPort_, WdiTlv(WDI_TLV_TASK_ABORT_PARAMETERS, value));
    Poll();
    return status;
}

NTSTATUS WifiService::RefreshBssList()
{
    const NTSTATUS status = Send(kWdiGetBssEntryList, 0, {});
    Poll();
    return status;
}

NTSTATUS WifiService::FlushBssList(uint16_t portId)
{
    const NTSTATUS status = Send(kWdiSetFlushBssEntry, portId, {});
    if (NT_SUCCESS(status)) {
        bssList_.clear();
    }
    Poll();
    return status;
}

const BssListEntry* WifiService::FindBss(const MacAddress& bssid) const
{
    for (const BssListEntry& entry : bssList_) {
        if (entry.bssid == bssid) {
            return &entry;
        }
    }
    return nullptr;
}

void WifiService::Poll()
{
    const std::vector<WdiIndication> all = WifiIndications();
    if (indicationsSeen_ > all.size()) {
        indicationsSeen_ = 0;  // the record was cleared
    }
    const WDFDEVICE handle = device_ != nullptr ? device_->Handle() : nullptr;
    for (size_t i = indicationsSeen_; i < all.size(); ++i) {
        const WdiIndication& indication = all[i];
        if (handle != nullptr && indication.device != handle) {
            continue;
        }
        switch (indication.code) {
        case kWdiIndicationBssEntryList:
            TakeBssEntry(indication);
            break;
        case kWdiIndicationScanComplete:
            if (scanRunning_ && indication.TransactionId() == scanTransaction_) {
                scanRunning_ = false;
                lastScanStatus_ = static_cast<NTSTATUS>(indication.Status());
            }
            break;
        default:
            TakeConnectionIndication(indication);
            break;
        }
    }
    indicationsSeen_ = all.size();
}

void WifiService::TakeBssEntry(const WdiIndication& indication)
{
    if (indication.bytes.size() < kWdiHeaderSize) {
        ++malformed_;
        return;
    }
    WDI_BSS_ENTRY_PARAMETERS parsed{};
    const NTSTATUS status =
        WdiTlvParseBssEntry(static_cast<ULONG>(indication.bytes.size() - kWdiHeaderSize),
                            indication.bytes.data() + kWdiHeaderSize, nullptr, &parsed);
    if (!NT_SUCCESS(status)) {
        ++malformed_;
        return;
    }
    BssListEntry entry;
    std::memcpy(entry.bssid.data(), parsed.Bssid, 6);
    entry.beacon = Bytes(parsed.BeaconFrame);
    entry.probeResponse = Bytes(parsed.ProbeResponseFrame);
    entry.rssi = parsed.Rssi;
    entry.linkQuality = parsed.LinkQuality;
    entry.channel = parsed.ChannelNumber;
    entry.bandId = parsed.BandId;
    entry.hostTimeStamp = parsed.HostTimeStamp;
    entry.cached = parsed.Cached != 0;
    entry.deviceContext = Bytes(parsed.DeviceContext);
    WdiTlvCleanupBssEntry(&parsed);
    for (BssListEntry& known : bssList_) {
        if (known.bssid == entry.bssid) {
            // A later report replaces the frames it carries and keeps the other one.
            if (entry.beacon.empty()) {
                entry.beacon = std::move(known.beacon);
            }
            if (entry.probeResponse.empty()) {
                entry.probeResponse = std::move(known.probeResponse);
            }
            known = std::move(entry);
            return;
        }
    }
    bssList_.push_back(std::move(entry));
}

}  // namespace kshim::host

namespace kshim::host {

NTSTATUS WifiService::AddCipherKeys(const std::vector<CipherKey>& keys, uint16_t portId)
{
    std::vector<WDI_SET_CIPHER_KEY_INFO> infos(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const CipherKey& k = keys[i];
        WDI_SET_CIPHER_KEY_INFO& info = infos[i];
        info = {};
        info.Presence = WDI_CIPHER_KEY_PRESENT_PEER | WDI_CIPHER_KEY_PRESENT_KEY_ID;
        std::memcpy(info.PeerMacAddress, k.peer.data(), 6);
        info.CipherKeyId = k.keyId;
        info.CipherKeyTypeInfo = {k.cipher, 0, 0, k.pairwise ? 1u : 2u};
        if (k.receiveSequenceCount) {
            info.Presence |= WDI_CIPHER_KEY_PRESENT_RSC;
            std::memcpy(info.ReceiveSequenceCount, k.receiveSequenceCount->data(), 6);
        }
        const WDI_BYTE_ARRAY bytes = View(k.key);
        switch (k.cipher) {
        case 0x01:
        case 0x05:
        case 0x101:
            info.Presence |= WDI_CIPHER_KEY_PRESENT_WEP;
            info.WepKey = bytes;
            break;
        case 0x02:
            info.Presence |= WDI_CIPHER_KEY_PRESENT_TKIP;
            info.TkipInfo.TkipKey = bytes;
            info.TkipInfo.TkipMic = View(k.mic);
            break;
        case 0x06:
            info.Presence |= WDI_CIPHER_KEY_PRESENT_BIP;
            info.BipKey = bytes;
            break;
        case 0x09:
            info.Presence |= WDI_CIPHER_KEY_PRESENT_GCMP_256;
            info.Gcmp256Key = bytes;
            break;
        case 0x0C:
            info.Presence |= WDI_CIPHER_KEY_PRESENT_BIP_GMAC_256;
            info.BipGmac256Key = bytes;
            break;
        default:
            info.Presence |= WDI_CIPHER_KEY_PRESENT_CCMP;
            info.CcmpKey = bytes;
            break;
        }
    }
    WDI_SET_ADD_CIPHER_KEYS_PARAMETERS parameters{static_cast<ULONG>(infos.size()), infos.data(), 0};
    PUCHAR tlvs = nullptr;
    ULONG length = 0;
    NTSTATUS status = WdiTlvGenerateSetAddCipherKeys(&parameters, 0, nullptr, &length, &tlvs);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    std::vector<uint8_t> bytes(tlvs, tlvs + length);
    WdiTlvFreeGenerated(tlvs);
    return Send(29, portId, bytes, 0);
}

NTSTATUS WifiService::SetDefaultKeyId(uint32_t keyId, uint16_t portId)
{
    std::vector<uint8_t> value;
    PutU32(value, keyId);
    return Send(31, portId, WdiTlv(WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS, value), 0);
}

}  // namespace kshim::host
