// The connect and roam scenarios: the OS starts a device whose radio is on a simulated world, scans,
// asks the driver to connect to a network by name, follows the link (association, link up with its
// speed, channel and PHY), holds it for a while and disconnects; the roam scenario lets the first
// access point fade until the driver asks for a roam and the OS roams to the other access point of
// the network. Each step is printed with its time on the stand-in's clock, what the access point
// saw of it, and, where the driver does not go on, the step where it stopped and the services on the
// way that are not built yet.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "air/world.h"
#include "explain.h"
#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/wifi_service.h"
#include "kshim/trace.h"
#include "scenario.h"
#include "world.h"

// The connection tasks' messages come from the WDI TLV library's connect schema.
#include "kshim/wditlv.h"
namespace qzlsim {
namespace {

std::string g_ssid;
unsigned g_holdSeconds = 3;

// The roam scenario's world when none is given: one network, two access points on 5 GHz.
const char kRoamWorld[] = R"(name = "two access points of one network"
[[ap]]
name = "hall"
ssid = "Campus"
bssid = "02:00:00:05:24:0a"
band = "5"
channel = 36
width = 80
phy = ["ht", "vht", "he"]
signal = -45

[[ap]]
name = "lab"
ssid = "Campus"
bssid = "02:00:00:05:30:0b"
band = "5"
channel = 44
width = 80
phy = ["ht", "vht", "he"]
signal = -62
)";

std::string Mac(const kshim::host::MacAddress& m) { return sim::air::MacText(sim::air::Mac{m[0], m[1], m[2], m[3], m[4], m[5]}); }

// One connection run: the device, the world, the OS's service, and the printing of steps.
class Session {
public:
    Session(const Run& run, bool roam) : run_(run), roam_(roam), chip_(run.device.id) {}

    int Go(size_t* violations)
    {
        epoch_ = kshim::host::ClockNow();
        if (!LoadWorld()) {
            return 1;
        }
        kshim::host::OsDevice* device = nullptr;
        if (chip_.Firmware() == nullptr && !chip_.Install(run_.files)) {
            return 1;
        }
        if (chip_.Firmware() != nullptr) {
            world_->Attach(*chip_.Firmware());
        }
        const NTSTATUS started = StartDevice(&device);
        if (device == nullptr) {
            return 1;
        }
        bool ok = NT_SUCCESS(started) && device->State() == kshim::host::DeviceState::Started;
        if (ok) {
            ok = Connection(device);
        }
        world_->StopCapture();
        if (!run_.pcap.empty()) {
            std::printf("the air: %zu frames written to %s\n", world_->CapturedFrames(), run_.pcap.c_str());
        }
        wifi_.reset();
        const bool clean = RemoveAndUnload(os_, device);
        return ok && clean && *violations == 0 ? 0 : 1;
    }

private:
    bool LoadWorld()
    {
        std::string error;
        if (!run_.world.empty()) {
            world_ = sim::air::World::Load(run_.world, &error);
        } else if (roam_) {
            world_ = sim::air::World::FromText(kRoamWorld, &error);
        } else {
            world_ = sim::air::World::BuiltIn();
        }
        if (!world_) {
            std::printf("the world cannot be used: %s\n", error.c_str());
            return false;
        }
        std::printf("the world: %s, %zu access points\n",
                    world_->Config().name.empty() ? run_.world.c_str() : world_->Config().name.c_str(),
                    world_->AccessPoints().size());
        if (!run_.pcap.empty() && !world_->StartCapture(run_.pcap, &error)) {
            std::printf("no capture: %s\n", error.c_str());
            return false;
        }
        return true;
    }

    NTSTATUS StartDevice(kshim::host::OsDevice** device)
    {
        kshim::host::OsDevice* added = chip_.AddDevice(run_, os_);
        if (added == nullptr || !NT_SUCCESS(added->AddStatus())) {
            (void)RemoveAndUnload(os_, added);
            return STATUS_UNSUCCESSFUL;
        }
        *device = added;
        const size_t mark = TraceMark();
        const NTSTATUS status = os_.Start(added);
        if (!NT_SUCCESS(status) || added->State() != kshim::host::DeviceState::Started) {
            ExplainFailure(run_, {"the device's start", status, mark, nullptr});
            return status;
        }
        std::printf("%s the device is up\n", Time().c_str());
        return status;
    }

    std::string Time() const
    {
        char text[32];
        std::snprintf(text, sizeof(text), "[%8.3f s]", static_cast<double>(kshim::host::ClockNow() - epoch_) / 1e7);
        return text;
    }
    std::string At(int64_t t) const
    {
        char text[32];
        std::snprintf(text, sizeof(text), "[%8.3f s]", static_cast<double>(t - epoch_) / 1e7);
        return text;
    }

    // Where the driver did not go on: the step, and the services on its way that are not built.
    bool Stopped(const std::string& step, int64_t since)
    {
        std::printf("%s the connection stops here: %s\n", Time().c_str(), step.c_str());
        // The services the step called, and the ones the connection needs that said so earlier
        // (the station's firmware BSS binding at bring-up, the machines' set-up).
        const std::set<std::string> needed = {"BindAndActivateStationBss", "MlmeAuthStateMachineInit",
                                              "MlmeAssocStateMachineInit", "MlmeAuthRspStateMachineInit",
                                              "WdiTaskConnect",           "WdiTaskRoam",
                                              "WdiTaskDisconnect",        "WdiTaskChangeOperationMode"};
        std::set<std::string> seen;
        std::string names;
        for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
            if ((r.time >= since || needed.count(r.function) != 0) && IsNotBuiltRecord(r) && seen.insert(r.function).second) {
                names += (names.empty() ? "" : ", ") + r.function;
            }
        }
        if (!names.empty()) {
            std::printf("  services on its way that are not built yet: %s\n", names.c_str());
        } else {
            std::printf("  (no service on its way reported itself as not built: a fault to look into)\n");
        }
        return false;
    }

    // Steps of the OS's service from index `from` on; returns the new end.
    size_t PrintSteps(size_t from)
    {
        const auto& steps = wifi_->Steps();
        for (size_t i = from; i < steps.size(); ++i) {
            const kshim::host::ServiceStep& s = steps[i];
            std::printf("%s %s%s%s (status 0x%X)\n", At(s.time).c_str(), s.what.c_str(), s.detail.empty() ? "" : ": ",
                        s.detail.c_str(), s.status);
        }
        return steps.size();
    }

    // What the access points sent in answer since `from` (authentication, association, their own frames).
    void PrintAnswers(int64_t from)
    {
        for (const auto& ap : world_->AccessPoints()) {
            for (const sim::air::AccessPoint::Sent& s : ap->GetRecord().sent) {
                if (s.time < from || s.frame.size() < 30) {
                    continue;
                }
                const uint16_t fc = sim::air::Le16(s.frame.data());
                const uint8_t* body = s.frame.data() + 24;
                switch (fc) {
                case sim::air::kFcAuth:
                    std::printf("%s   %s answers authentication: algorithm %u, sequence %u, status %u\n", At(s.time).c_str(),
                                ap->Config().name.c_str(), sim::air::Le16(body), sim::air::Le16(body + 2),
                                sim::air::Le16(body + 4));
                    break;
                case sim::air::kFcAssocResp:
                case sim::air::kFcReassocResp:
                    std::printf("%s   %s answers %sassociation: status %u, AID %u\n", At(s.time).c_str(),
                                ap->Config().name.c_str(), fc == sim::air::kFcReassocResp ? "re" : "",
                                sim::air::Le16(body + 2), sim::air::Le16(body + 4) & 0x3FFF);
                    break;
                default:
                    std::printf("%s   %s sends frame control 0x%04X\n", At(s.time).c_str(), ap->Config().name.c_str(), fc);
                    break;
                }
            }
        }
    }

    void PrintLink()
    {
        const kshim::host::ConnectionView& c = wifi_->Connection();
        const sim::air::AccessPoint* ap =
            world_->FindAccessPoint(sim::air::Mac{c.bssid[0], c.bssid[1], c.bssid[2], c.bssid[3], c.bssid[4], c.bssid[5]});
        std::string phy = "legacy";
        std::string channel = "?";
        if (ap != nullptr) {
            const sim::air::ApConfig cfg = ap->Config();
            phy = cfg.eht ? "EHT" : cfg.he ? "HE" : cfg.vht ? "VHT" : cfg.ht ? "HT" : "legacy";
            const sim::air::ApState state = ap->StateAt(kshim::host::ClockNow());
            channel = std::string(sim::air::BandText(state.channel.band)) + " channel " +
                      std::to_string(state.channel.number) + ", " + std::to_string(state.widthMhz) + " MHz";
        }
        if (c.link) {
            std::printf("link up with %s: transmit %.1f Mb/s, receive %.1f Mb/s, quality %u%%, %s, %s\n",
                        Mac(c.bssid).c_str(), c.link->txKbps / 1000.0, c.link->rxKbps / 1000.0, c.link->quality,
                        channel.c_str(), phy.c_str());
        } else {
            std::printf("associated with %s (%s, %s), no link state indicated yet\n", Mac(c.bssid).c_str(),
                        channel.c_str(), phy.c_str());
        }
    }

    bool Connection(kshim::host::OsDevice* device)
    {
        if (!NT_SUCCESS(os_.CreateAdapter(device, 0, WIFI_ADAPTER_WLAN_STATION))) {
            return Stopped("the station port was not created", kshim::host::ClockNow());
        }
        wifi_ = std::make_unique<kshim::host::WifiService>(os_, device);
        (void)wifi_->SetOperationMode(kshim::host::kWdiOperationModeStation);
        (void)wifi_->WaitTask(10000);

        // Scan.
        int64_t since = kshim::host::ClockNow();
        std::printf("%s scan of every channel\n", Time().c_str());
        kshim::host::ScanParameters scan;
        if (wifi_->StartScan(scan) != STATUS_SUCCESS || !wifi_->WaitScanComplete(60000) ||
            !NT_SUCCESS(wifi_->RefreshBssList())) {
            return Stopped("the scan did not complete", since);
        }
        std::printf("%s scan complete (status 0x%X): %zu networks\n", Time().c_str(),
                    static_cast<unsigned>(wifi_->LastScanStatus()), wifi_->BssList().size());
        const std::string ssid = !g_ssid.empty() ? g_ssid : roam_ ? "Campus" : "Guest";
        const kshim::host::BssListEntry* best = nullptr;
        for (const kshim::host::BssListEntry& e : wifi_->BssList()) {
            const std::vector<uint8_t> name = e.Ssid();
            std::printf("  %s %-12s channel %3u  %4d dBm\n", Mac(e.bssid).c_str(), std::string(name.begin(), name.end()).c_str(),
                        e.channel, e.rssi);
            if (std::string(name.begin(), name.end()) == ssid && (best == nullptr || e.rssi > best->rssi)) {
                best = &e;
            }
        }
        if (best == nullptr) {
            return Stopped("the scan did not find \"" + ssid + "\"", since);
        }

        // Join, authentication, association, link up.
        std::printf("%s join \"%s\": %s on channel %u, %d dBm\n", Time().c_str(), ssid.c_str(), Mac(best->bssid).c_str(),
                    best->channel, best->rssi);
        since = kshim::host::ClockNow();
        kshim::host::ConnectParameters params;
        params.ssid.assign(ssid.begin(), ssid.end());
        size_t printed = wifi_->Steps().size();
        const NTSTATUS taken = wifi_->Connect(params);
        if (taken != STATUS_SUCCESS) {
            printed = PrintSteps(printed);
            return Stopped("the driver refused the connect task with " + StatusText(taken), since);
        }
        const bool completed = wifi_->WaitTask(60000);
        printed = PrintSteps(printed);
        PrintAnswers(since);
        if (!completed) {
            return Stopped("the connect task did not complete", since);
        }
        if (wifi_->Connection().state != kshim::host::ConnectionState::Connected) {
            return Stopped("the connect task ended without a connection", since);
        }
        PrintLink();

        if (roam_) {
            since = kshim::host::ClockNow();
            const kshim::host::MacAddress first = wifi_->Connection().bssid;
            sim::air::AccessPoint* ap =
                world_->FindAccessPoint(sim::air::Mac{first[0], first[1], first[2], first[3], first[4], first[5]});
            sim::air::ApEvent fade;
            fade.at = kshim::host::ClockNow();
            fade.kind = sim::air::ApEventKind::Signal;
            fade.signalDbm = -90;
            fade.rampMs = 3000;
            ap->Schedule(fade);
            std::printf("%s %s fades to -90 dBm over 3 s\n", Time().c_str(), ap->Config().name.c_str());
            if (!wifi_->WaitIndication(kshim::host::kWdiIndicationRoamingNeeded, 60000)) {
                printed = PrintSteps(printed);
                return Stopped("the driver did not ask for a roam", since);
            }
            printed = PrintSteps(printed);
            if (wifi_->StartScan(scan) != STATUS_SUCCESS || !wifi_->WaitScanComplete(60000) ||
                !NT_SUCCESS(wifi_->RefreshBssList())) {
                return Stopped("the roam's scan did not complete", since);
            }
            params.roamTrigger = 2;
            if (wifi_->Roam(params) != STATUS_SUCCESS || !wifi_->WaitTask(60000)) {
                printed = PrintSteps(printed);
                return Stopped("the roam task did not complete", since);
            }
            printed = PrintSteps(printed);
            PrintAnswers(since);
            if (wifi_->Connection().roams == 0) {
                return Stopped("the roam task ended without a roam", since);
            }
            std::printf("roamed (a reassociation, not a new connection): ");
            PrintLink();
        }

        // Hold, then disconnect.
        since = kshim::host::ClockNow();
        std::printf("%s holding the link for %u s\n", Time().c_str(), g_holdSeconds);
        (void)wifi_->WaitState(kshim::host::ConnectionState::Disconnected, g_holdSeconds * 1000);
        printed = PrintSteps(printed);
        if (wifi_->Connection().state != kshim::host::ConnectionState::Connected) {
            return Stopped("the link went down while held", since);
        }
        std::printf("%s link held; the OS disconnects\n", Time().c_str());
        if (wifi_->Disconnect() != STATUS_SUCCESS || !wifi_->WaitTask(20000)) {
            printed = PrintSteps(printed);
            return Stopped("the disconnect task did not complete", since);
        }
        (void)PrintSteps(printed);
        PrintAnswers(since);
        std::printf("%s disconnected\n", Time().c_str());
        return true;
    }

    const Run& run_;
    bool roam_;
    World chip_;
    kshim::host::Os os_;
    std::unique_ptr<sim::air::World> world_;
    std::unique_ptr<kshim::host::WifiService> wifi_;
    int64_t epoch_ = 0;
};

int RunConnect(const Run& run, bool roam)
{
    size_t violations = 0;
    BeginRun(run, &violations);
    std::printf("qzlsim %s: a simulated chip of device id %s connects%s\n", roam ? "roam" : "connect",
                run.device.Text().c_str(), roam ? ", then roams when its access point fades" : "");
    Session session(run, roam);
    return session.Go(&violations);
}

void AddConnectOptions(CLI::App& command)
{
    command.add_option("--ssid", g_ssid, "the network to connect to (default: Guest; roam: Campus)")->type_name("NAME");
    command.add_option("--hold", g_holdSeconds, "seconds to hold the link before disconnecting (default 3)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0u, 3600u));
}

const Registration kConnect({
    .name = "connect",
    .summary = "scan, connect to a network by name, hold the link, disconnect",
    .details = "The OS starts the device with its radio on the world (the built-in one, or --world), scans every\n"
               "channel, connects to --ssid and prints each step with its time: the connect task, what the access\n"
               "point answered to authentication and association, the association result, the link up with its\n"
               "speed, channel and PHY; then it holds the link and disconnects. Where the driver does not go on,\n"
               "the step where it stopped and the services on its way that are not built yet are printed.",
    .order = 70,
    .uses = kUsesDevice | kUsesWorld | kUsesPcap | kUsesFiles,
    .addOptions = AddConnectOptions,
    .run = [](const Run& run) { return RunConnect(run, false); },
});

const Registration kRoam({
    .name = "roam",
    .summary = "connect, let the access point fade, roam to the other access point of the network",
    .details = "As connect, in a world of two access points of one network (the scenario's own, or --world):\n"
               "after the link is up the first access point fades; the driver asks for a roam, the OS scans and\n"
               "sends the roam task, and the station reassociates with the other access point.",
    .order = 71,
    .uses = kUsesDevice | kUsesWorld | kUsesPcap | kUsesFiles,
    .addOptions = AddConnectOptions,
    .run = [](const Run& run) { return RunConnect(run, true); },
});

}  // namespace
}  // namespace qzlsim

