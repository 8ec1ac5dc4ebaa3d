// The OS's Wi-Fi service: the connection tasks' messages, written through the WDI TLV library from
// the settings the OS passes (see wifi_service.h).
#include <cstring>

#include "kshim/host/wifi_service.h"
#include "kshim/wditlv.h"

// The connection tasks' messages come from the WDI TLV library's connect schema.
#include "kshim/wditlv.h"
namespace kshim::host {

namespace {

WDI_BYTE_ARRAY View(const std::vector<uint8_t>& bytes)
{
    WDI_BYTE_ARRAY array{};
    array.ElementCount = static_cast<ULONG>(bytes.size());
    array.pElements = bytes.empty() ? nullptr : const_cast<PUCHAR>(bytes.data());
    return array;
}

WDI_U32_LIST View(std::vector<ULONG>& values)
{
    WDI_U32_LIST list{};
    list.ElementCount = static_cast<ULONG>(values.size());
    list.pElements = values.empty() ? nullptr : values.data();
    return list;
}

WDI_MAC_ADDRESS_LIST View(std::vector<WDI_MAC_ADDRESS>& addresses)
{
    WDI_MAC_ADDRESS_LIST list{};
    list.ElementCount = static_cast<ULONG>(addresses.size());
    list.pElements = addresses.empty() ? nullptr : addresses.data();
    return list;
}

std::vector<WDI_MAC_ADDRESS> Addresses(const std::vector<MacAddress>& list)
{
    std::vector<WDI_MAC_ADDRESS> out(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        std::memcpy(out[i].Address, list[i].data(), 6);
    }
    return out;
}

// The TLVs a generate routine wrote, copied out of the library's buffer.
template <typename Generate>
NTSTATUS Generated(Generate generate, std::vector<uint8_t>* out)
{
    ULONG length = 0;
    PUCHAR buffer = nullptr;
    const NTSTATUS status = generate(&length, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    out->assign(buffer, buffer + length);
    WdiTlvFreeGenerated(buffer);
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS WifiService::ConnectOrRoam(const ConnectParameters& p, bool roam)
{
    Poll();
    const std::vector<BssListEntry> candidates = Candidates(p);
    WDI_CONNECT_PARAMETERS r{};
    r.Settings.RoamRequest = roam ? 1 : 0;
    r.Settings.HiddenNetwork = p.hiddenNetwork ? 1 : 0;
    r.Settings.ExcludeUnencrypted = p.excludeUnencrypted ? 1 : 0;
    r.Settings.MfpEnabled = p.mfpEnabled ? 1 : 0;
    r.Settings.RoamTrigger = p.roamTrigger;
    WDI_BYTE_ARRAY ssid = View(p.ssid);
    r.SsidList.ElementCount = 1;
    r.SsidList.pElements = &ssid;
    std::vector<ULONG> auth(p.authAlgorithms.begin(), p.authAlgorithms.end());
    std::vector<ULONG> unicast(p.unicastCiphers.begin(), p.unicastCiphers.end());
    std::vector<ULONG> multicast(p.multicastCiphers.begin(), p.multicastCiphers.end());
    r.AuthAlgorithms = View(auth);
    r.UnicastCiphers = View(unicast);
    r.MulticastCiphers = View(multicast);
    if (!p.extraIes.empty()) {
        r.Presence |= WDI_CONNECT_PRESENT_EXTRA_IES;
        r.ExtraAssociationRequestIes = View(p.extraIes);
    }
    std::vector<WDI_MAC_ADDRESS> allowed = Addresses(p.allowedBssids);
    std::vector<WDI_MAC_ADDRESS> disallowed = Addresses(p.disallowedBssids);
    if (!allowed.empty()) {
        r.Presence |= WDI_CONNECT_PRESENT_ALLOWED;
        r.AllowedBssids = View(allowed);
    }
    if (!disallowed.empty()) {
        r.Presence |= WDI_CONNECT_PRESENT_DISALLOWED;
        r.DisallowedBssids = View(disallowed);
    }
    // Each candidate as the OS knows it from the BSS list: its frames, signal, channel and the
    // driver's own context.
    std::vector<WDI_CONNECT_BSS_ENTRY> entries(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        const BssListEntry& c = candidates[i];
        WDI_CONNECT_BSS_ENTRY& e = entries[i];
        std::memcpy(e.Bssid, c.bssid.data(), 6);
        if (!c.probeResponse.empty()) {
            e.Presence |= WDI_CONNECT_BSS_PRESENT_PROBE_RESPONSE;
            e.ProbeResponseFrame = View(c.probeResponse);
        }
        if (!c.beacon.empty()) {
            e.Presence |= WDI_CONNECT_BSS_PRESENT_BEACON;
            e.BeaconFrame = View(c.beacon);
        }
        if (!c.deviceContext.empty()) {
            e.Presence |= WDI_CONNECT_BSS_PRESENT_DEVICE_CONTEXT;
            e.DeviceContext = View(c.deviceContext);
        }
        e.Presence |= WDI_CONNECT_BSS_PRESENT_SIGNAL | WDI_CONNECT_BSS_PRESENT_CHANNEL;
        e.Rssi = c.rssi;
        e.LinkQuality = c.linkQuality;
        e.ChannelNumber = c.channel;
        e.BandId = c.bandId;
    }
    r.BssEntries.ElementCount = static_cast<ULONG>(entries.size());
    r.BssEntries.pElements = entries.empty() ? nullptr : entries.data();
    std::vector<uint8_t> tlvs;
    const NTSTATUS status = Generated(
        [&](PULONG length, PUCHAR* buffer) { return WdiTlvGenerateTaskConnect(&r, 0, nullptr, length, buffer); }, &tlvs);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return StartTask(roam ? kWdiTaskRoam : kWdiTaskConnect, p.portId, tlvs);
}

NTSTATUS WifiService::Connect(const ConnectParameters& parameters) { return ConnectOrRoam(parameters, false); }

NTSTATUS WifiService::Roam(const ConnectParameters& parameters) { return ConnectOrRoam(parameters, true); }

NTSTATUS WifiService::Disconnect(std::optional<MacAddress> peer, uint16_t reason, uint16_t portId)
{
    Poll();
    WDI_DISCONNECT_PARAMETERS d{};
    const MacAddress who = peer.value_or(connection_.bssid);
    std::memcpy(d.MacAddress, who.data(), 6);
    d.Reason = reason;
    std::vector<uint8_t> tlvs;
    const NTSTATUS status = Generated(
        [&](PULONG length, PUCHAR* buffer) { return WdiTlvGenerateTaskDisconnect(&d, 0, nullptr, length, buffer); },
        &tlvs);
    return NT_SUCCESS(status) ? StartTask(kWdiTaskDisconnect, portId, tlvs) : status;
}

NTSTATUS WifiService::Reset(bool setDefaultMib, std::optional<MacAddress> configuredMac, uint16_t portId)
{
    WDI_DOT11_RESET_PARAMETERS r{};
    r.SetDefaultMib = setDefaultMib ? 1 : 0;
    if (configuredMac) {
        r.Presence |= WDI_RESET_PRESENT_CONFIGURED_MAC;
        std::memcpy(r.ConfiguredMacAddress, configuredMac->data(), 6);
    }
    std::vector<uint8_t> tlvs;
    const NTSTATUS status = Generated(
        [&](PULONG length, PUCHAR* buffer) { return WdiTlvGenerateTaskDot11Reset(&r, 0, nullptr, length, buffer); },
        &tlvs);
    return NT_SUCCESS(status) ? StartTask(kWdiTaskDot11Reset, portId, tlvs) : status;
}

NTSTATUS WifiService::SetRadio(bool on, uint16_t portId)
{
    return StartTask(kWdiTaskSetRadioState, portId, WdiTlv(WDI_TLV_RADIO_STATE_PARAMETERS, {static_cast<uint8_t>(on ? 1 : 0)}));
}

NTSTATUS WifiService::SetOperationMode(uint32_t wdiMode, uint16_t portId)
{
    std::vector<uint8_t> value(4);
    for (int i = 0; i < 4; ++i) {
        value[i] = static_cast<uint8_t>(wdiMode >> (8 * i));
    }
    return StartTask(kWdiTaskChangeOperationMode, portId, WdiTlv(WDI_TLV_CURRENT_OPERATION_MODE, value));
}

}  // namespace kshim::host

