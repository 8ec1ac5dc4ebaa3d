// The simulated world.
#include "air/world.h"

#include <cstdio>
#include <cstdlib>

#include "fw/ram.h"
#include "kshim/host/control.h"

namespace sim::air {

std::unique_ptr<World> World::BuiltIn()
{
    std::string error;
    std::optional<WorldConfig> c = ParseWorld(BuiltInWorldText(), &error);
    if (!c) {
        // The built-in text is part of this program; a failure here is a fault of the program.
        std::fprintf(stderr, "the built-in world does not parse: %s\n", error.c_str());
        std::abort();
    }
    return std::make_unique<World>(std::move(*c));
}

std::unique_ptr<World> World::Empty() { return std::make_unique<World>(WorldConfig{}); }

std::unique_ptr<World> World::Load(const std::string& path, std::string* error)
{
    std::optional<WorldConfig> c = LoadWorldFile(path, error);
    return c ? std::make_unique<World>(std::move(*c)) : nullptr;
}

std::unique_ptr<World> World::FromText(const std::string& toml, std::string* error)
{
    std::optional<WorldConfig> c = ParseWorld(toml, error);
    return c ? std::make_unique<World>(std::move(*c)) : nullptr;
}

World::World(WorldConfig config) : config_(std::move(config)), epoch_(kshim::host::ClockNow())
{
    for (const ApConfig& c : config_.accessPoints) {
        aps_.push_back(std::make_unique<AccessPoint>(c, epoch_));
    }
    // Each access point announces the neighbours its configuration names, as they really are.
    for (const std::unique_ptr<AccessPoint>& ap : aps_) {
        std::vector<NeighbourInfo> neighbours;
        for (const Mac& bssid : ap->Config().neighbours) {
            if (AccessPoint* n = FindAccessPoint(bssid)) {
                const ApConfig nc = n->Config();
                neighbours.push_back({nc.bssid, nc.channel, nc.widthMhz, nc.ssid, nc.tbttOffsetTu, nc.beaconIntervalTu});
            }
        }
        ap->SetNeighbours(std::move(neighbours));
        ap->SetMedium(&air_);
        air_.Join(ap.get());
    }
    // A station that associates with one access point of a network has left the others of it (the
    // distribution system tells them).
    for (const std::unique_ptr<AccessPoint>& ap : aps_) {
        AccessPoint* self = ap.get();
        const Bytes ssid = ap->Config().ssid;
        ap->OnAssociated([this, self, ssid](const Mac& station) {
            for (const std::unique_ptr<AccessPoint>& other : aps_) {
                if (other.get() != self && other->Config().ssid == ssid) {
                    other->Forget(station);
                }
            }
        });
    }
    replay_ = std::make_unique<ReplaySource>();
    air_.Join(replay_.get());
    if (!config_.frames.empty()) {
        replay_->Add(config_.frames);
    }
}

World::~World()
{
    StopCapture();
    air_.Leave(replay_.get());
    for (const std::unique_ptr<AccessPoint>& ap : aps_) {
        air_.Leave(ap.get());
        ap->SetMedium(nullptr);
    }
    // air_ tells the devices still on it that it goes.
}

AccessPoint* World::FindAccessPoint(const Mac& bssid) const
{
    for (const std::unique_ptr<AccessPoint>& ap : aps_) {
        if (ap->Bssid() == bssid) {
            return ap.get();
        }
    }
    return nullptr;
}

void World::Attach(sim::fw::ChipFirmware& firmware) { firmware.Ram().Scan().AttachAir(&air_); }

bool World::Replay(const std::string& pcapPath, std::string* error, std::optional<Channel> fallback)
{
    std::optional<PcapFile> file = ReadPcapFile(pcapPath, error);
    if (!file) {
        return false;
    }
    replay_->AddCapture(*file, fallback);
    return true;
}

void World::AddFrames(std::vector<ReplayFrame> frames) { replay_->Add(std::move(frames)); }

bool World::StartCapture(const std::string& path, std::string* error)
{
    auto writer = std::make_shared<PcapWriter>();
    if (!writer->Open(path, error)) {
        return false;
    }
    StopCapture();
    capture_ = writer;
    air_.SetCapture(writer);
    return true;
}

void World::StopCapture()
{
    if (!capture_) {
        return;
    }
    air_.SetCapture(nullptr);
    capture_->Close();
}

size_t World::CapturedFrames() const { return capture_ ? capture_->Frames() : 0; }

}  // namespace sim::air
