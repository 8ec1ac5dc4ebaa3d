// The OS's Wi-Fi service: the connection tasks and what the OS keeps of the connection's
// indications (see wifi_service.h).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/wifi_service.h"
#include "kshim/wditlv.h"

namespace kshim::host {

namespace {

constexpr size_t kWdiHeaderSize = 16;
constexpr size_t kAssociationResultSize = 52;
constexpr size_t kLinkStateSize = 20;
constexpr size_t kLinkQualitySize = 40;

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

std::string MacText(const MacAddress& m)
{
    char text[18];
    std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
    return text;
}

MacAddress MacOf(const uint8_t* p)
{
    MacAddress m{};
    std::memcpy(m.data(), p, 6);
    return m;
}

// The TLVs of an indication behind its header, each value with its length.
struct Tlv {
    uint16_t type;
    const uint8_t* value;
    uint16_t length;
};
bool ReadTlvs(const WdiIndication& indication, std::vector<Tlv>* out)
{
    if (indication.bytes.size() < kWdiHeaderSize) {
        return false;
    }
    WDI_TLV_CURSOR cursor;
    WdiTlvCursorInit(&cursor, indication.bytes.data() + kWdiHeaderSize,
                     static_cast<ULONG>(indication.bytes.size() - kWdiHeaderSize));
    USHORT type = 0;
    const UCHAR* value = nullptr;
    USHORT length = 0;
    while (WdiTlvNext(&cursor, &type, &value, &length)) {
        out->push_back({type, value, length});
    }
    return !cursor.Malformed;
}

const Tlv* Find(const std::vector<Tlv>& tlvs, uint16_t type)
{
    for (const Tlv& t : tlvs) {
        if (t.type == type) {
            return &t;
        }
    }
    return nullptr;
}

}  // namespace

const char* ConnectionStateText(ConnectionState s)
{
    switch (s) {
    case ConnectionState::Disconnected: return "disconnected";
    case ConnectionState::Connecting: return "connecting";
    case ConnectionState::Connected: return "connected";
    case ConnectionState::Roaming: return "roaming";
    case ConnectionState::Disconnecting: return "disconnecting";
    }
    return "?";
}

uint16_t WdiTaskCompletion(uint16_t taskId)
{
    switch (taskId) {
    case kWdiTaskScan: return kWdiIndicationScanComplete;
    case kWdiTaskConnect: return kWdiIndicationConnectComplete;
    case kWdiTaskDot11Reset: return kWdiIndicationDot11ResetComplete;
    case kWdiTaskDisconnect: return kWdiIndicationDisconnectComplete;
    case kWdiTaskSetRadioState: return kWdiIndicationSetRadioStateComplete;
    case kWdiTaskRoam: return kWdiIndicationRoamComplete;
    case kWdiTaskChangeOperationMode: return kWdiIndicationChangeOperationModeComplete;
    default: return 0;
    }
}

void WifiService::Step(int64_t time, std::string what, uint32_t status, std::string detail)
{
    steps_.push_back({time, std::move(what), status, std::move(detail)});
}

NTSTATUS WifiService::StartTask(uint16_t taskId, uint16_t portId, const std::vector<uint8_t>& tlvs)
{
    Poll();
    if (WdiTaskCompletion(taskId) == 0 || taskId == kWdiTaskScan) {
        return STATUS_INVALID_DEVICE_STATE;  // tasks only (the scan has its own members)
    }
    const bool ender = taskId == kWdiTaskDisconnect || taskId == kWdiTaskDot11Reset;
    for (const auto& [running, transaction] : running_) {
        const bool endable = running == kWdiTaskConnect || running == kWdiTaskRoam;
        if (running == taskId || !ender || !endable) {
            return STATUS_INVALID_DEVICE_STATE;
        }
    }
    const char* name = taskId == kWdiTaskConnect               ? "connect task"
                       : taskId == kWdiTaskDot11Reset          ? "reset task"
                       : taskId == kWdiTaskDisconnect          ? "disconnect task"
                       : taskId == kWdiTaskSetRadioState       ? "radio task"
                       : taskId == kWdiTaskRoam                ? "roam task"
                       : taskId == kWdiTaskChangeOperationMode ? "operation mode task"
                                                               : "task";
    running_.push_back({taskId, nextTransaction_});
    const int64_t sent = ClockNow();
    const NTSTATUS status = Send(taskId, portId, tlvs);
    Step(sent, name, static_cast<uint32_t>(status));
    if (!NT_SUCCESS(status)) {
        // A refused task sends no completion indication.
        running_.pop_back();
        taskStatus_.push_back({taskId, status});
    } else if (taskId == kWdiTaskConnect) {
        connection_.state = ConnectionState::Connecting;
        connection_.associations = 0;
        connection_.link.reset();
    } else if (taskId == kWdiTaskRoam) {
        connection_.state = ConnectionState::Roaming;
        roamDisassociations_ = disassociations_.size();
    } else if (taskId == kWdiTaskDisconnect) {
        connection_.state = ConnectionState::Disconnecting;
    }
    Poll();
    return status;
}

bool WifiService::WaitTask(unsigned realMs, uint16_t taskId)
{
    Poll();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    auto runs = [&] {
        for (const auto& [running, transaction] : running_) {
            if (taskId == 0 || running == taskId) {
                return true;
            }
        }
        return false;
    };
    while (runs()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        (void)WifiWaitIndications(indicationsSeen_ + 1, 20);
        Poll();
    }
    return true;
}

std::optional<NTSTATUS> WifiService::TaskStatus(uint16_t taskId) const
{
    for (auto it = taskStatus_.rbegin(); it != taskStatus_.rend(); ++it) {
        if (it->first == taskId) {
            return it->second;
        }
    }
    return std::nullopt;
}

bool WifiService::WaitState(ConnectionState state, unsigned realMs)
{
    Poll();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (connection_.state != state) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        (void)WifiWaitIndications(indicationsSeen_ + 1, 20);
        Poll();
    }
    return true;
}

bool WifiService::WaitIndication(uint16_t code, unsigned realMs)
{
    const WDFDEVICE handle = device_ != nullptr ? device_->Handle() : nullptr;
    const size_t from = indicationsSeen_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    for (;;) {
        const std::vector<WdiIndication> all = WifiIndications();
        for (size_t i = std::min(from, all.size()); i < all.size(); ++i) {
            if (all[i].code == code && (handle == nullptr || all[i].device == handle)) {
                Poll();
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            Poll();
            return false;
        }
        (void)WifiWaitIndications(all.size() + 1, 20);
    }
}

std::vector<BssListEntry> WifiService::Candidates(const ConnectParameters& p) const
{
    if (!p.candidates.empty()) {
        return p.candidates;
    }
    std::vector<BssListEntry> out;
    for (const BssListEntry& e : bssList_) {
        if (e.Ssid() != p.ssid) {
            continue;
        }
        const auto in = [&](const std::vector<MacAddress>& list) {
            return std::find(list.begin(), list.end(), e.bssid) != list.end();
        };
        if (in(p.disallowedBssids) || (!p.allowedBssids.empty() && !in(p.allowedBssids))) {
            continue;
        }
        out.push_back(e);
    }
    std::stable_sort(out.begin(), out.end(), [](const BssListEntry& a, const BssListEntry& b) { return a.rssi > b.rssi; });
    return out;
}

void WifiService::TakeConnectionIndication(const WdiIndication& indication)
{
    std::vector<Tlv> tlvs;
    const bool wellFormed = ReadTlvs(indication, &tlvs);
    const int64_t t = indication.time;
    switch (indication.code) {
    case kWdiIndicationAssociationResult: {
        const Tlv* bssid = Find(tlvs, WDI_TLV_BSSID);
        const Tlv* result = Find(tlvs, WDI_TLV_ASSOCIATION_RESULT);
        if (!wellFormed || bssid == nullptr || bssid->length < 6 || result == nullptr ||
            result->length < kAssociationResultSize) {
            ++malformedConnection_;
            return;
        }
        AssociationResultRecord r;
        r.time = t;
        r.bssid = MacOf(bssid->value);
        r.indicationStatus = indication.Status();
        r.associationStatus = U32(result->value);
        r.reassociation = U32(result->value + 4);
        r.authAlgorithm = U32(result->value + 8);
        r.unicastCipher = U32(result->value + 12);
        r.multicastCipher = U32(result->value + 16);
        r.bandId = U32(result->value + 36);
        if (const Tlv* f = Find(tlvs, WDI_TLV_ASSOC_REQUEST_FRAME)) {
            r.requestBody.assign(f->value, f->value + f->length);
        }
        if (const Tlv* f = Find(tlvs, WDI_TLV_ASSOC_RESPONSE_FRAME)) {
            r.responseBody.assign(f->value, f->value + f->length);
        }
        if (r.associationStatus == 0) {
            const bool roamed = connection_.state == ConnectionState::Roaming ||
                                (connection_.state == ConnectionState::Connected && connection_.bssid != r.bssid);
            if (roamed && r.reassociation != 0) {
                ++connection_.roams;
            }
            connection_.bssid = r.bssid;
            ++connection_.associations;
            connection_.state = ConnectionState::Connected;
        }
        Step(t, "association result", r.associationStatus,
             MacText(r.bssid) + (r.reassociation != 0 ? " (reassociation)" : ""));
        associations_.push_back(std::move(r));
        return;
    }
    case kWdiIndicationLinkStateChange: {
        const Tlv* state = Find(tlvs, WDI_TLV_LINK_STATE_PARAMS);
        if (!wellFormed || state == nullptr || state->length < kLinkStateSize) {
            ++malformedConnection_;
            return;
        }
        LinkStateRecord l;
        l.time = t;
        l.peer = MacOf(state->value);
        l.txKbps = U32(state->value + 6);
        l.rxKbps = U32(state->value + 10);
        l.quality = state->value[14];
        if (const Tlv* q = Find(tlvs, WDI_TLV_LINK_QUALITY_ENTRY); q != nullptr && q->length >= kLinkQualitySize) {
            l.rssi = static_cast<int32_t>(U32(q->value + 28));
            l.bandwidth = U32(q->value + 32);
            l.mcs = U32(q->value + 36);
        }
        connection_.link = l;
        Step(t, "link state", 0,
             MacText(l.peer) + " tx " + std::to_string(l.txKbps) + " kb/s rx " + std::to_string(l.rxKbps) +
                 " kb/s quality " + std::to_string(l.quality));
        links_.push_back(l);
        return;
    }
    case kWdiIndicationDisassociation: {
        const Tlv* params = Find(tlvs, WDI_TLV_DISASSOCIATION_PARAMS);
        if (!wellFormed || params == nullptr || params->length < 10) {
            ++malformedConnection_;
            return;
        }
        DisassociationRecord d{t, MacOf(params->value), U32(params->value + 6)};
        // Leaving the old access point is part of a roam; otherwise the link is gone.
        if (connection_.state != ConnectionState::Roaming && connection_.state != ConnectionState::Connecting) {
            connection_.state = ConnectionState::Disconnected;
        }
        connection_.link.reset();
        Step(t, "disassociation", d.wdiStatus, MacText(d.peer));
        disassociations_.push_back(d);
        return;
    }
    case kWdiIndicationRoamingNeeded: {
        const Tlv* reason = Find(tlvs, WDI_TLV_ROAMING_NEEDED_PARAMS);
        if (!wellFormed || reason == nullptr || reason->length < 4) {
            ++malformedConnection_;
            return;
        }
        roamingNeeded_.push_back(U32(reason->value));
        Step(t, "roaming needed", U32(reason->value));
        return;
    }
    default:
        break;
    }
    // A task's completion: the indication of a running task, on its transaction.
    auto it = std::find_if(running_.begin(), running_.end(), [&](const std::pair<uint16_t, uint32_t>& r) {
        return indication.code == WdiTaskCompletion(r.first) && indication.TransactionId() == r.second;
    });
    if (it != running_.end()) {
        const uint16_t task = it->first;
        const NTSTATUS status = static_cast<NTSTATUS>(indication.Status());
        running_.erase(it);
        taskStatus_.push_back({task, status});
        const char* what = task == kWdiTaskConnect      ? "connect complete"
                           : task == kWdiTaskRoam       ? "roam complete"
                           : task == kWdiTaskDisconnect ? "disconnect complete"
                           : task == kWdiTaskDot11Reset ? "reset complete"
                           : task == kWdiTaskSetRadioState ? "radio state complete"
                                                        : "operation mode complete";
        switch (task) {
        case kWdiTaskConnect:
            if (!NT_SUCCESS(status) || connection_.state != ConnectionState::Connected) {
                connection_.state = ConnectionState::Disconnected;
            }
            break;
        case kWdiTaskRoam:
            // A roam that did not reassociate leaves the old link as it was, unless it went away.
            if (connection_.state == ConnectionState::Roaming) {
                connection_.state = disassociations_.size() == roamDisassociations_ ? ConnectionState::Connected
                                                                                    : ConnectionState::Disconnected;
            }
            break;
        case kWdiTaskDisconnect:
        case kWdiTaskDot11Reset:
            connection_.state = ConnectionState::Disconnected;
            connection_.link.reset();
            break;
        default:
            break;
        }
        Step(t, what, static_cast<uint32_t>(status));
    }
}

}  // namespace kshim::host
