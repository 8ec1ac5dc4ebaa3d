// The OS's Wi-Fi service above one device: it issues WDI tasks and properties the way the OS does,
// reads the indications the driver hands back and keeps what the OS keeps from them (today the BSS
// list of the scans). Connect, roam, radio state and keys join it as further members; each works
// through the same request and indication plumbing below.
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
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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
constexpr uint16_t kWdiGetBssEntryList = 47;
constexpr uint16_t kWdiAbortTask = 75;
constexpr uint16_t kWdiSetFlushBssEntry = 97;
constexpr uint16_t kWdiIndicationScanComplete = 0x003C;
constexpr uint16_t kWdiIndicationBssEntryList = 0x003E;

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

    // Reads the indications that arrived since the last call: BSS entries join the list, the running
    // scan's completion ends it. Every other member calls it; tests may too.
    void Poll();

    // The last request's raw completion (for tests of the boundary).
    const WdiRequest& LastRequest() const { return last_; }
    // BSS entry indications whose TLVs could not be read.
    size_t MalformedIndications() const { return malformed_; }

private:
    NTSTATUS Send(uint16_t messageId, uint16_t portId, const std::vector<uint8_t>& tlvs, size_t outputLength = 64);
    void TakeBssEntry(const WdiIndication& indication);

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
};

}  // namespace kshim::host
