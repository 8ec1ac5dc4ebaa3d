// The simulated world: the air and the peers on it, built from a world file (docs/world.md) or the
// built-in world, with capture to a pcap file and replay of captures. This is the API the scan,
// connect and data-path work (tests, the testbed, benchmarks) use.
//
//   #include "air/world.h"
//
//   std::string error;
//   std::unique_ptr<sim::air::World> world = sim::air::World::BuiltIn();        // nine access points
//   auto other = sim::air::World::Load("office.toml", &error);                   // or a world file
//   auto empty = sim::air::World::Empty();                                        // no peers at all
//
//   sim::fw::ChipFirmware firmware(chip);          // the simulated chip's firmware (fw/ram.h)
//   world->Attach(firmware);                       // its radio joins the air: scans hear the world
//   world->StartCapture("/tmp/air.pcap", &error);  // every frame at our antenna, radiotap, tshark reads it
//   ...                                            // bring the driver up, scan (advance the clock)
//   world->StopCapture();                          // the file is complete in time order
//
//   empty->Replay("/tmp/air.pcap", &error);        // the captured frames on the air again
//
// Access points are reachable for the tests and the next issues (world->AccessPoints(),
// FindAccessPoint): their configuration, their record (beacons, probe requests, answers, frames for
// them not handled yet), and the knobs a scenario turns while the world runs (signal).
//
// Time: everything is on the stand-in's clock. Beacons are computed for the windows in which a radio
// listens (air/medium.h); the chip's firmware does its work on its own timeline (air/timeline.h), so
// a test with the manual clock sees a scan progress as it advances the clock.
//
// Order of teardown: either the world or the firmware may go first; the radio leaves the air then.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "air/access_point.h"
#include "air/medium.h"
#include "air/pcap.h"
#include "air/replay.h"
#include "air/world_file.h"

namespace sim::fw {
class ChipFirmware;
}

namespace sim::air {

class World {
public:
    static std::unique_ptr<World> BuiltIn();
    static std::unique_ptr<World> Empty();
    static std::unique_ptr<World> Load(const std::string& path, std::string* error);
    static std::unique_ptr<World> FromText(const std::string& toml, std::string* error);

    // A world of these peers; TBTTs count from the clock's time now.
    explicit World(WorldConfig config);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    const WorldConfig& Config() const { return config_; }
    Medium& Air() { return air_; }
    int64_t Epoch() const { return epoch_; }
    const std::vector<std::unique_ptr<AccessPoint>>& AccessPoints() const { return aps_; }
    AccessPoint* FindAccessPoint(const Mac& bssid) const;

    // The chip's radio joins this air (a chip joins one world at a time; attaching elsewhere leaves).
    void Attach(sim::fw::ChipFirmware& firmware);

    // Frames of a capture file (link type 105 or 127) on the air from now on.
    bool Replay(const std::string& pcapPath, std::string* error, std::optional<Channel> fallback = std::nullopt);
    void AddFrames(std::vector<ReplayFrame> frames);

    // Writes every frame our devices send or receive to a pcap file (radiotap, link type 127).
    bool StartCapture(const std::string& path, std::string* error);
    // Writes what is captured so far (in time order) and closes the file.
    void StopCapture();
    size_t CapturedFrames() const;

private:
    WorldConfig config_;
    int64_t epoch_;
    Medium air_;
    std::vector<std::unique_ptr<AccessPoint>> aps_;
    std::unique_ptr<ReplaySource> replay_;
    std::shared_ptr<PcapWriter> capture_;
};

}  // namespace sim::air
