// The load scenario: the simulated OS loads the driver, adds one device, removes it and unloads the
// driver; the testbed prints the callbacks the OS made, what the device became, the system
// event-log entries the driver wrote and whether every allocation was returned.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/eventlog.h"
#include "kshim/host/os.h"
#include "kshim/host/registry.h"
#include "kshim/trace.h"
#include "explain.h"
#include "scenario.h"
#include "world.h"

// The driver image's entry, as the loader knows it.
extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

namespace qzlsim {
namespace {

// The service key the OS keeps the driver's parameters in.
const char kServiceParameters[] = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\wdrvcx\\Parameters";

// Texts of the driver's message table for the entries this scenario can meet.
struct MessageText {
    uint32_t id;
    const char* text;
};
const MessageText kMessages[] = {
    {0x400207D0, "Support for WakeFromSx/S0Idle"},
    {0x40021F40, "Driver Init"},
    {0x40021F41, "Driver Unload"},
};

const char* MessageOf(uint32_t id)
{
    for (const MessageText& m : kMessages) {
        if (m.id == id) {
            return m.text;
        }
    }
    return "(message not in this scenario's table)";
}

std::string Utf8(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::string TimeText(int64_t systemTime)
{
    constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;
    std::time_t seconds = static_cast<std::time_t>((systemTime - kUnixEpochIn100ns) / 10000000);
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &fields);
    return text;
}

// One event-log entry in a readable form: its message and the data the driver put in it.
void PrintEntry(const kshim::host::ErrorLogEntry& entry)
{
    std::printf("  event 0x%08X \"%s\" (serial %u, piece %u of %u)\n", entry.errorCode, MessageOf(entry.errorCode),
                entry.ioControlCode, entry.sequenceNumber >> 16, entry.sequenceNumber & 0xFFFF);
    const std::vector<uint8_t>& d = entry.dumpData;
    if ((entry.errorCode == 0x40021F40 || entry.errorCode == 0x40021F41) && d.size() >= 40) {
        int64_t time;
        std::memcpy(&time, d.data(), sizeof(time));
        std::string version(reinterpret_cast<const char*>(d.data() + 8), 32);
        version.resize(std::strlen(version.c_str()));
        std::printf("      time %s, driver version \"%s\"\n", TimeText(time).c_str(), version.c_str());
    } else if (entry.errorCode == 0x400207D0 && d.size() >= 2) {
        std::printf("      data %02X %02X: wake from Sx %s, S0 idle %s\n", d[0], d[1],
                    d[0] != 0 ? "supported" : "not supported", d[1] != 0 ? "supported" : "not supported");
    } else {
        std::printf("      data");
        size_t n = entry.dumpDataSize >= 8 ? entry.dumpDataSize - 8u : 0u;
        for (size_t i = 0; i < n && i < d.size(); ++i) {
            std::printf(" %02X", d[i]);
        }
        std::printf("\n");
    }
}

// Prints the entries written since the last call.
void PrintNewEntries(size_t* shown)
{
    std::vector<kshim::host::ErrorLogEntry> entries = kshim::host::ErrorLogSnapshot();
    if (entries.size() > *shown) {
        std::printf("system event log:\n");
    }
    for (size_t i = *shown; i < entries.size(); ++i) {
        PrintEntry(entries[i]);
    }
    *shown = entries.size();
}

void PrintOsLog(kshim::host::Os& os)
{
    for (const kshim::host::OsLogEntry& entry : os.Log()) {
        std::printf("os: %s\n", entry.ToString().c_str());
    }
    os.ClearLog();
}

void PrintDevice(kshim::host::OsDevice* device)
{
    kshim::host::DeviceRecord record;
    if (!kshim::host::DescribeDevice(device->Handle(), &record)) {
        return;
    }
    std::printf("%s created:\n", device->Name().c_str());
    std::printf("  network device %s, Wi-Fi device %s, WDI version 0x%05X (the OS speaks 0x%05X)\n",
                record.netDevice ? "yes" : "no", record.wifiInitialized ? "initialised" : "not initialised",
                static_cast<unsigned>(record.wifi.WdiVersion), static_cast<unsigned>(kshim::host::OsWdiVersion()));
    if (record.hasSxWake) {
        std::printf("  wake from Sx: armed from D%d\n", static_cast<int>(record.sxWake.DxState) - 1);
    }
    if (record.hasS0Idle) {
        std::printf("  S0 idle: after %u ms\n", static_cast<unsigned>(record.s0Idle.IdleTimeout));
    }
    WDFDEVICE control = kshim::host::FindDevice(u"\\Device\\QZLWLAN");
    kshim::host::DeviceRecord controlRecord;
    if (control != nullptr && kshim::host::DescribeDevice(control, &controlRecord)) {
        std::printf("  control device %s", Utf8(controlRecord.name).c_str());
        for (const std::u16string& link : controlRecord.symbolicLinks) {
            std::printf(", link %s", Utf8(link).c_str());
        }
        std::printf("\n");
    }
}

struct PoolTotals {
    uint64_t allocations = 0;
    uint64_t frees = 0;
};

PoolTotals Totals()
{
    PoolTotals totals;
    for (const kshim::host::PoolTagCount& count : kshim::host::PoolCounts()) {
        totals.allocations += count.allocations;
        totals.frees += count.frees;
    }
    return totals;
}

int RunLoad(const Run& run)
{
    size_t violations = 0;
    BeginRun(run, &violations);
    // The OS's configuration of the driver service: system event logging on.
    kshim::host::RegistrySetDword(kServiceParameters, "EnableSystemEventLog", 1);
    kshim::host::ErrorLogClear();

    std::printf("qzlsim load: the driver is loaded, adds one device, the device is removed and the driver unloaded\n");
    PoolTotals start = Totals();
    size_t shown = 0;
    kshim::host::Os os;
    size_t mark = TraceMark();
    NTSTATUS status = os.Load(DriverEntry, kServiceName);
    PrintOsLog(os);
    if (!NT_SUCCESS(status)) {
        ExplainFailure(run, {"driver entry", status, mark, nullptr});
        return 1;
    }

    mark = TraceMark();
    kshim::host::OsDevice* device = os.AddDevice();
    PrintOsLog(os);
    bool added = NT_SUCCESS(device->AddStatus());
    if (added) {
        PrintDevice(device);
    } else {
        ExplainFailure(run, {"device add", device->AddStatus(), mark, nullptr});
    }
    PrintNewEntries(&shown);

    os.Remove(device);
    PrintOsLog(os);
    std::printf("%s removed\n", device->Name().c_str());
    PrintNewEntries(&shown);

    kshim::host::UnloadReport report = os.Unload();
    PrintOsLog(os);
    PoolTotals end = Totals();
    uint64_t allocations = end.allocations - start.allocations;
    uint64_t frees = end.frees - start.frees;
    std::printf("driver unloaded: %llu pool allocations, %llu returned", static_cast<unsigned long long>(allocations),
                static_cast<unsigned long long>(frees));
    if (report.clean && allocations == frees) {
        std::printf(": every allocation was returned; no framework object, handle or thread left\n");
    } else {
        std::printf("\n%s", report.text.c_str());
    }
    return added && report.clean && allocations == frees && violations == 0 ? 0 : 1;
}

const Registration kLoad({
    .name = "load",
    .summary = "load the driver, add one device (no chip), remove it and unload the driver",
    .details = "Prints the OS's callbacks, what the device became, the system event-log entries the driver\n"
               "wrote and whether every allocation was returned.",
    .order = 10,
    .run = RunLoad,
});

}  // namespace
}  // namespace qzlsim
