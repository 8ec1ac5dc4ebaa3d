// The OS's Wi-Fi service above one device: it issues WDI tasks and properties the way the OS does,
// reads the indications the driver hands back and keeps what the OS keeps from them: the BSS list of
// the scans, and the connection (association results, link state, disassociations, roaming
// needed), each step stamped with the stand-in's clock when the driver indicated it. Keys join it as
// further members; each works through the same request and indication plumbing below.
//
//     kshim::host::WifiService wifi(os, device);
//     kshim::host::ScanParameters scan;
//     scan.ssids = {{'h', 'o', 'm', 'e'}};
//     scan.bands = {{kshim::host::kWdiBand2G, {1, 6, 11}}};
//     wifi.StartScan(scan);                 // the task is taken (or refused with its status)
//     ... the firmware scans, beacons arrive ...
//     wifi.WaitScanComplete();              // the scan-complete indication of the task
//     wifi.RefreshBssList();                // the BSS list property, read back entry by entry
//     for (const auto& bss : wifi.BssList()) { bss.Ssid(); bss.channel; bss.rssi; }
//
//     kshim::host::ConnectParameters c;     // the network the user picked
//     c.ssid = {'G', 'u', 'e', 's', 't'};    // open: authentication 1, no cipher
//     wifi.Connect(c);                       // the connect task, with the BSS list's entries of that SSID
//     wifi.WaitTask(kshim::host::kWdiTaskConnect);      // its completion indication
//     wifi.Connection().state == ConnectionState::Connected; wifi.Steps() (what happened when)
//     wifi.Disconnect(); wifi.SetRadio(false); wifi.Roam(c); wifi.Reset();
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kshim/host/wifi.h"

namespace kshim::host {

class Os;
class OsDevice;

// WDI band ids.
constexpr uint32_t kWdiBand2G = 1;
constexpr uint32_t kWdiBand5G = 2;
constexpr uint32_t kWdiBand6G = 5;

// WDI message ids and indication codes (low 16 bits) the service uses.
constexpr uint16_t kWdiTaskScan = 4;
constexpr uint16_t kWdiTaskConnect = 6;
constexpr uint16_t kWdiTaskDot11Reset = 7;
constexpr uint16_t kWdiTaskDisconnect = 8;
constexpr uint16_t kWdiTaskSetRadioState = 11;
constexpr uint16_t kWdiTaskChangeOperationMode = 90;
constexpr uint16_t kWdiTaskRoam = 100;
constexpr uint16_t kWdiGetBssEntryList = 47;
constexpr uint16_t kWdiAbortTask = 75;
constexpr uint16_t kWdiSetFlushBssEntry = 97;
constexpr uint16_t kWdiIndicationDisconnectComplete = 0x0015;
constexpr uint16_t kWdiIndicationSetRadioStateComplete = 0x0016;
constexpr uint16_t kWdiIndicationDisassociation = 0x0033;
constexpr uint16_t kWdiIndicationRoamingNeeded = 0x0034;
constexpr uint16_t kWdiIndicationLinkStateChange = 0x0035;
constexpr uint16_t kWdiIndicationScanComplete = 0x003C;
constexpr uint16_t kWdiIndicationBssEntryList = 0x003E;
constexpr uint16_t kWdiIndicationDot11ResetComplete = 0x003F;
constexpr uint16_t kWdiIndicationConnectComplete = 0x0040;
constexpr uint16_t kWdiIndicationRadioStatus = 0x0043;
constexpr uint16_t kWdiIndicationAssociationResult = 0x004C;
constexpr uint16_t kWdiIndicationChangeOperationModeComplete = 0x005B;
constexpr uint16_t kWdiIndicationRoamComplete = 0x0065;

// The completion indication of a task (0 for a message the service does not run as a task).
uint16_t WdiTaskCompletion(uint16_t taskId);

// Authentication and cipher values the OS passes in the connection settings.
constexpr uint32_t kWdiAuthOpen = 1;
constexpr uint32_t kWdiAuthSharedKey = 2;
constexpr uint32_t kWdiCipherNone = 0;
// WDI operation modes.
constexpr uint32_t kWdiOperationModeStation = 0x1;

using MacAddress = std::array<uint8_t, 6>;

struct ScanBandChannels {
    uint32_t bandId = kWdiBand2G;
    std::vector<uint32_t> channels;
};

// A 6 GHz access point to probe directly, as the OS learnt it from a neighbour report.
struct ScanSixGhzTarget {
    MacAddress bssid{};
    uint8_t channel = 0;
};

// The scan task's parameters as the OS fills them.
struct ScanParameters {
    uint16_t portId = 0;
    MacAddress bssid{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // the BSSID sought (wildcard)
    uint32_t scanType = 1;     // 1 active, 2 passive, 3 auto
    uint32_t scanTrigger = 1;  // 2 background, 3 and 6 roaming, 4 connect, others general
    std::array<uint32_t, 3> dwellTime{};
    std::vector<std::vector<uint8_t>> ssids;  // none: a wildcard scan
    std::vector<uint8_t> vendorIes;
    std::vector<ScanBandChannels> bands;      // none: every channel the driver allows
    std::vector<ScanSixGhzTarget> sixGhz;
};

// One access point of the BSS list, as the OS keeps it.
struct BssListEntry {
    MacAddress bssid{};
    std::vector<uint8_t> beacon;          // the frame body behind the 24-byte MAC header
    std::vector<uint8_t> probeResponse;
    int32_t rssi = 0;                     // dBm
    uint32_t linkQuality = 0;             // 0..100
    uint32_t channel = 0;
    uint32_t bandId = 0;
    uint64_t hostTimeStamp = 0;
    bool cached = false;
    std::vector<uint8_t> deviceContext;

    // The frame the entry was last seen in: the probe response when there is one, else the beacon.
    const std::vector<uint8_t>& Body() const { return probeResponse.empty() ? beacon : probeResponse; }
    // The SSID element of that frame (empty when there is none or it is hidden).
    std::vector<uint8_t> Ssid() const;
    // The element of that frame with this id (its body), if present.
    std::optional<std::vector<uint8_t>> Element(uint8_t id) const;
};

// One key the supplicant derived, for the add-cipher-keys property.
struct CipherKey {
    uint32_t cipher = 4;      // OS cipher algorithm (4 CCMP)
    bool pairwise = true;
    uint32_t keyId = 0;
    MacAddress peer{};        // the access point for a pairwise key
    std::vector<uint8_t> key;
    std::optional<std::array<uint8_t, 6>> receiveSequenceCount;
    std::vector<uint8_t> mic;  // TKIP only
};

// The connection settings the OS passes with a connect or roam task.
struct ConnectParameters {
    uint16_t portId = 0;
    std::vector<uint8_t> ssid;
    std::vector<uint32_t> authAlgorithms = {kWdiAuthOpen};
    std::vector<uint32_t> unicastCiphers = {kWdiCipherNone};
    std::vector<uint32_t> multicastCiphers = {kWdiCipherNone};
    std::vector<MacAddress> allowedBssids;     // none: any
    std::vector<MacAddress> disallowedBssids;
    std::vector<uint8_t> extraIes;             // extra association-request elements
    bool hiddenNetwork = false;
    bool excludeUnencrypted = false;
    bool mfpEnabled = false;
    uint32_t roamTrigger = 0;                  // roam task: 1 the OS wants it, 2 a better AP is wanted, ...
    // The candidate networks (BSS entries as the OS keeps them). None: the service takes the
    // entries of its BSS list with this SSID that the allow and deny lists let through, strongest
    // first.
    std::vector<BssListEntry> candidates;
};

// A WDI association result as the OS reads it.
struct AssociationResultRecord {
    int64_t time = 0;
    MacAddress bssid{};
    uint32_t indicationStatus = 0;  // the WDI header's status
    uint32_t associationStatus = 0;  // WDI association status (0 success)
    uint32_t reassociation = 0;
    uint32_t authAlgorithm = 0;
    uint32_t unicastCipher = 0;
    uint32_t multicastCipher = 0;
    uint32_t bandId = 0;
    std::vector<uint8_t> requestBody;   // the association request the driver sent (body)
    std::vector<uint8_t> responseBody;  // the access point's answer (body)
};

struct LinkStateRecord {
    int64_t time = 0;
    MacAddress peer{};
    uint32_t txKbps = 0;
    uint32_t rxKbps = 0;
    uint8_t quality = 0;
    std::optional<int32_t> rssi;
    std::optional<uint32_t> bandwidth;
    std::optional<uint32_t> mcs;
};

struct DisassociationRecord {
    int64_t time = 0;
    MacAddress peer{};
    uint32_t wdiStatus = 0;
};

enum class ConnectionState : uint8_t { Disconnected, Connecting, Connected, Roaming, Disconnecting };
const char* ConnectionStateText(ConnectionState s);

// The connection as the OS knows it.
struct ConnectionView {
    ConnectionState state = ConnectionState::Disconnected;
    MacAddress bssid{};
    std::optional<LinkStateRecord> link;  // the last link state of this connection
    unsigned associations = 0;           // successful association results since the connect task
    unsigned roams = 0;                   // successful reassociations (a roam, not a new connection)
};

// One step of what happened, in the order the service saw it, with the stand-in's clock.
struct ServiceStep {
    int64_t time = 0;
    std::string what;    // "connect task", "association result", "link state", "connect complete", ...
    uint32_t status = 0;
    std::string detail;  // BSSID, speeds, reasons
};

class WifiService {
public:
    WifiService(Os& os, OsDevice* device);

    // ---- scan ----
    // Sends the scan task; returns the task request's completion status (0 when the scan runs);
    // STATUS_INVALID_DEVICE_STATE while the service's previous scan runs.
    NTSTATUS StartScan(const ScanParameters& parameters);
    bool ScanRunning() const { return scanRunning_; }
    // Waits (real time) for the running scan's scan-complete indication; true when it came. Its status
    // is kept (LastScanStatus).
    bool WaitScanComplete(unsigned realMs = 10000);
    NTSTATUS LastScanStatus() const { return lastScanStatus_; }
    // Asks the driver to abort the running scan task (the abort property); returns the property's status.
    NTSTATUS AbortScan();

    // ---- BSS list ----
    // Queries the BSS list property and takes the entries it indicates; returns the property's status.
    NTSTATUS RefreshBssList();
    // Asks the driver to flush its list (the flush property) and empties the service's own.
    NTSTATUS FlushBssList(uint16_t portId = 0);
    const std::vector<BssListEntry>& BssList() const { return bssList_; }
    const BssListEntry* FindBss(const MacAddress& bssid) const;

    // ---- connection ----
    // The connect task with these settings (see ConnectParameters for the candidates); returns the
    // task request's completion status (0: the driver runs the task, its completion indication
    // follows). STATUS_INVALID_DEVICE_STATE while another task of the service runs.
    NTSTATUS Connect(const ConnectParameters& parameters);
    // The roam task: the same settings, with the roam-request flag.
    NTSTATUS Roam(const ConnectParameters& parameters);
    // The disconnect task for the connected access point (or `peer`), with a reason.
    NTSTATUS Disconnect(std::optional<MacAddress> peer = std::nullopt, uint16_t reason = 3, uint16_t portId = 0);
    // The dot11 reset task (set-default-MIB flag, optional configured MAC address).
    NTSTATUS Reset(bool setDefaultMib = true, std::optional<MacAddress> configuredMac = std::nullopt,
                   uint16_t portId = 0);
    // The add-cipher-keys property with these keys, in order (as the OS sends them after the 4-way
    // handshake), and the default-key-id property.
    NTSTATUS AddCipherKeys(const std::vector<CipherKey>& keys, uint16_t portId = 0);
    NTSTATUS SetDefaultKeyId(uint32_t keyId, uint16_t portId = 0);
    // The set-radio-state task.
    NTSTATUS SetRadio(bool on, uint16_t portId = 0);
    // The change-operation-mode task (a WDI operation mode: kWdiOperationModeStation, ...).
    NTSTATUS SetOperationMode(uint32_t wdiMode, uint16_t portId = 0);
    // A task with TLVs the caller made (the tasks above use it). The OS runs one connect, roam or
    // radio task at a time; a disconnect or reset may be sent while a connect or roam runs (to end
    // it). STATUS_INVALID_DEVICE_STATE otherwise, and for a message that is not a task.
    NTSTATUS StartTask(uint16_t taskId, uint16_t portId, const std::vector<uint8_t>& tlvs);
    // The oldest task still running (0: none), and waits (real time) for the completion indication
    // of `taskId` (0: of every running task); true when it came. Each completion's status is kept
    // (TaskStatus).
    uint16_t TaskRunning() const { return running_.empty() ? 0 : running_.front().first; }
    bool WaitTask(unsigned realMs = 10000, uint16_t taskId = 0);
    // Completion status of the last task of this id (nullopt: none completed yet).
    std::optional<NTSTATUS> TaskStatus(uint16_t taskId) const;
    // Waits (real time) until the connection reaches `state`; true when it did.
    bool WaitState(ConnectionState state, unsigned realMs = 10000);
    // Waits (real time) for an indication with this code after the ones already seen.
    bool WaitIndication(uint16_t code, unsigned realMs = 10000);

    const ConnectionView& Connection() const { return connection_; }
    const std::vector<AssociationResultRecord>& AssociationResults() const { return associations_; }
    const std::vector<LinkStateRecord>& LinkStates() const { return links_; }
    const std::vector<DisassociationRecord>& Disassociations() const { return disassociations_; }
    const std::vector<uint32_t>& RoamingNeededReasons() const { return roamingNeeded_; }
    const std::vector<ServiceStep>& Steps() const { return steps_; }
    // Indications of the connection whose TLVs could not be read.
    size_t MalformedConnectionIndications() const { return malformedConnection_; }

    // Reads the indications that arrived since the last call: BSS entries join the list, the running
    // scan's completion ends it, the connection follows the association results, link states,
    // disassociations and task completions. Every other member calls it; tests may too.
    void Poll();

    // The last request's raw completion (for tests of the boundary).
    const WdiRequest& LastRequest() const { return last_; }
    // BSS entry indications whose TLVs could not be read.
    size_t MalformedIndications() const { return malformed_; }

private:
    NTSTATUS Send(uint16_t messageId, uint16_t portId, const std::vector<uint8_t>& tlvs, size_t outputLength = 64);
    void TakeBssEntry(const WdiIndication& indication);
    void TakeConnectionIndication(const WdiIndication& indication);
    void Step(int64_t time, std::string what, uint32_t status, std::string detail = {});
    // The candidates of a connect: the parameters' own, or the BSS list's entries of the SSID.
    std::vector<BssListEntry> Candidates(const ConnectParameters& p) const;
    NTSTATUS ConnectOrRoam(const ConnectParameters& parameters, bool roam);

    Os& os_;
    OsDevice* device_;
    uint32_t nextTransaction_ = 0x5C000001;
    size_t indicationsSeen_ = 0;
    bool scanRunning_ = false;
    uint32_t scanTransaction_ = 0;
    uint16_t scanPort_ = 0;
    NTSTATUS lastScanStatus_ = 0;
    size_t malformed_ = 0;
    std::vector<BssListEntry> bssList_;
    WdiRequest last_;
    std::vector<std::pair<uint16_t, uint32_t>> running_;  // task id, transaction
    std::vector<std::pair<uint16_t, NTSTATUS>> taskStatus_;
    ConnectionView connection_;
    std::vector<AssociationResultRecord> associations_;
    std::vector<LinkStateRecord> links_;
    std::vector<DisassociationRecord> disassociations_;
    std::vector<uint32_t> roamingNeeded_;
    std::vector<ServiceStep> steps_;
    size_t malformedConnection_ = 0;
    size_t roamDisassociations_ = 0;  // disassociations seen when the roam task started
};

}  // namespace kshim::host
