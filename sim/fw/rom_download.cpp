// The boot ROM's download state machine.
#include "fw/rom_download.h"

#include <cstdio>

#include "fw/events.h"

namespace sim::fw {

namespace {

constexpr uint8_t kCmdRegionInit = 0x01;
constexpr uint8_t kCmdFwStart = 0x02;
constexpr uint8_t kCmdPatchInit = 0x05;
constexpr uint8_t kCmdPatchFinish = 0x07;
constexpr uint8_t kCmdSemaphore = 0x10;
constexpr uint8_t kCmdBtQuery = 0x11;
constexpr uint8_t kEventResult = 0x01;
constexpr uint8_t kEventSemaphore = 0x04;
constexpr uint8_t kEventBtQuery = 0x06;
constexpr uint8_t kResultOk = 0;
constexpr uint8_t kResultRefused = 1;
constexpr uint8_t kSemaphoreGranted = 2;
constexpr uint8_t kSemaphorePatchPresent = 1;
constexpr uint8_t kBtPatchPresent = 1;
constexpr uint8_t kBtPatchAbsent = 2;

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

size_t Index(ImageKind kind) { return static_cast<size_t>(kind); }

}  // namespace

const char* ImageKindName(ImageKind kind)
{
    switch (kind) {
    case ImageKind::RomPatch:
        return "ROM patch";
    case ImageKind::BtPatch:
        return "Bluetooth patch";
    case ImageKind::RamCode:
        return "RAM code";
    case ImageKind::Qz3404Patch:
        return "ROM patch body";
    }
    return "?";
}

uint32_t ExpectedPatchMode(uint32_t info)
{
    if (info == 0xFFFFFFFFu) {
        return 0x80000000u;
    }
    switch (info >> 24) {
    case 1:
        return 0x80000009u | ((info & 3u) << 1);
    case 2:
        return 0x80000049u;
    default:
        return 0x80000000u;
    }
}

uint32_t ExpectedRegionMode(uint8_t flags, Generation generation)
{
    if ((flags & 0x01) == 0) {
        return 0x80000000u;
    }
    uint32_t mode = 0x80000009u | (flags & 0x06u);
    if (generation != Generation::Older && (flags & 0x10) != 0) {
        mode |= 0x40u;
    }
    return mode;
}

// ---- RomDownload ------------------------------------------------------------------------------------

RomDownload::RomDownload(Generation generation) : generation_(generation) {}

void RomDownload::Expect(ImageKind kind, const Image& image)
{
    std::lock_guard<std::mutex> lock(mutex_);
    expected_[Index(kind)] = {true, image};
}

void RomDownload::ExpectNamed(const std::vector<NamedImage>& images, const std::string& ramCode,
                              const std::string& romPatch, const std::string& btPatch)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const ImageKind patchKind = generation_ == Generation::Older ? ImageKind::Qz3404Patch : ImageKind::RomPatch;
    for (const auto& [kind, name] : {std::pair{ImageKind::RamCode, ramCode}, std::pair{patchKind, romPatch},
                                     std::pair{ImageKind::BtPatch, btPatch}}) {
        expected_[Index(kind)] = {};
        for (const NamedImage& n : images) {
            if (!name.empty() && n.name == name) {
                expected_[Index(kind)] = {true, n.image};
            }
        }
    }
}

void RomDownload::ConnectStateRegister(sim::chip::Chip& chip)
{
    if (generation_ == Generation::Older) {
        chip.SetReadHook(kOlderFwStateRegister, [this](sim::chip::RegisterFile&, uint32_t) { return FwState() << 1; });
    } else {
        chip.SetReadHook(kFwStateRegister, [this](sim::chip::RegisterFile&, uint32_t) { return FwState(); });
    }
}

void RomDownload::AttachTo(RomFirmware& rom)
{
    for (uint8_t cmdId : {kCmdRegionInit, kCmdFwStart, kCmdPatchInit, kCmdPatchFinish, kCmdSemaphore, kCmdBtQuery}) {
        rom.SetCommandHandler(cmdId, [this](const LegacyCommand& command) -> std::optional<RomReply> {
            std::optional<Reply> reply = OnCommand(command);
            if (!reply || !reply->answered) {
                return std::nullopt;
            }
            return RomReply{reply->eventId, reply->payload};
        });
    }
    if (generation_ == Generation::Older) {
        // The older chip's download data keeps its prefix; its command id is 0.
        rom.SetCommandHandler(0x00, [this](const LegacyCommand& command) -> std::optional<RomReply> {
            (void)OnData(command.payload.data(), command.payload.size());
            return std::nullopt;
        });
    } else {
        rom.SetDownloadDataHandler([this](const uint8_t* data, size_t length) { (void)OnData(data, length); });
    }
}

void RomDownload::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    readsSincePowerOn_ = 0;
    semaphoreAsked_ = false;
    patchFinished_ = false;
    btPatchFinished_ = false;
    ramStarted_ = false;
    readsSinceStart_ = 0;
    startOption_ = 0;
    entryAddress_ = 0;
    open_.reset();
    regions_.clear();
    steps_.clear();
    faults_.clear();
    if (ramReported_) {
        ramReported_ = false;
        if (ramHook_) {
            ramHook_(false);
        }
    }
}

void RomDownload::SetRamRunningHook(std::function<void(bool running)> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ramHook_ = std::move(hook);
}

bool RomDownload::RomRunningLocked() const
{
    return !knobs_.romNeverReady && readsSincePowerOn_ >= knobs_.romReadyAfterReads;
}

bool RomDownload::RamRunningLocked() const
{
    return ramStarted_ && !knobs_.ramNeverRuns && readsSinceStart_ >= knobs_.ramRunsAfterReads;
}

uint32_t RomDownload::FwState()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t state = RamRunningLocked() ? kStateRamRunning : RomRunningLocked() ? kStateRomReady : kStateRomNotRunning;
    if (state == kStateRamRunning && !ramReported_) {
        ramReported_ = true;
        if (ramHook_) {
            ramHook_(true);
        }
    }
    ++stateReads_;
    ++readsSincePowerOn_;
    if (ramStarted_) {
        ++readsSinceStart_;
    }
    return state;
}

uint64_t RomDownload::StateReads() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stateReads_;
}

void RomDownload::FaultLocked(const std::string& text) { faults_.push_back(text); }

const Piece* RomDownload::FindPieceLocked(ImageKind kind, uint32_t address, uint32_t length) const
{
    const Expected& e = expected_[Index(kind)];
    if (!e.present) {
        return nullptr;
    }
    const Piece* found = nullptr;
    for (const Piece& p : e.image.pieces) {
        // The Bluetooth patch downloads only its last downloadable section, where the ROM said.
        const bool moved = kind == ImageKind::BtPatch && knobs_.btPatchAddress && *knobs_.btPatchAddress == address;
        if (p.downloaded && (p.address == address || moved) && p.length == length) {
            found = &p;
            if (kind != ImageKind::BtPatch) {
                break;
            }
        }
    }
    return found;
}

uint32_t RomDownload::ExpectedModeLocked(ImageKind kind, const Piece& piece) const
{
    switch (kind) {
    case ImageKind::RomPatch:
    case ImageKind::BtPatch: {
        // One data mode for the whole patch: that of its last downloaded section.
        uint32_t info = 0;
        for (const Piece& p : expected_[Index(kind)].image.pieces) {
            if (p.downloaded) {
                info = p.modeSource;
            }
        }
        return ExpectedPatchMode(info);
    }
    case ImageKind::RamCode:
        return ExpectedRegionMode(static_cast<uint8_t>(piece.modeSource), generation_);
    case ImageKind::Qz3404Patch:
        return 0x80000000u;
    }
    return 0;
}

void RomDownload::CloseRegionLocked()
{
    if (!open_) {
        return;
    }
    const DownloadRegion& r = regions_[*open_];
    if (r.received != r.announced) {
        FaultLocked(std::string(ImageKindName(r.kind)) + " region " + Hex(r.address) + " got " +
                    std::to_string(r.received) + " of " + std::to_string(r.announced) + " bytes");
    }
    open_.reset();
}

bool RomDownload::ImageCompleteLocked(ImageKind kind)
{
    const Expected& e = expected_[Index(kind)];
    bool complete = true;
    const Piece* last = nullptr;
    for (const Piece& p : e.image.pieces) {
        if (p.downloaded) {
            last = &p;
        }
    }
    for (const Piece& p : e.image.pieces) {
        if (!p.downloaded || (kind == ImageKind::BtPatch && &p != last)) {
            continue;
        }
        bool found = false;
        for (const DownloadRegion& r : regions_) {
            const bool moved = kind == ImageKind::BtPatch && knobs_.btPatchAddress && *knobs_.btPatchAddress == r.address;
            found = found || (r.kind == kind && (r.address == p.address || moved) && r.announced == p.length &&
                              r.Verified());
        }
        if (!found) {
            FaultLocked(std::string(ImageKindName(kind)) + " piece " + Hex(p.address) + " (" + std::to_string(p.length) +
                        " bytes) not received intact");
            complete = false;
        }
    }
    for (const DownloadRegion& r : regions_) {
        if (r.kind == kind && !r.Verified()) {
            complete = false;
        }
    }
    return complete;
}

RomDownload::Reply RomDownload::InitLocked(uint8_t cmdId, const std::vector<uint8_t>& payload)
{
    Reply reply;
    reply.answered = true;
    reply.eventId = kEventResult;
    CloseRegionLocked();
    if (payload.size() < 12) {
        FaultLocked("download init with " + std::to_string(payload.size()) + " payload bytes");
        reply.payload = {kResultRefused, 0, 0, 0};
        reply.note = "download init refused: short payload";
        return reply;
    }
    DownloadRegion region;
    region.address = U32(payload.data());
    region.announced = U32(payload.data() + 4);
    region.dataMode = U32(payload.data() + 8);
    if (cmdId == kCmdPatchInit) {
        region.kind = generation_ == Generation::Older ? ImageKind::Qz3404Patch : ImageKind::RomPatch;
        if (!semaphoreAsked_) {
            FaultLocked("patch init at " + Hex(region.address) + " without the patch semaphore");
        }
    } else {
        // A region init carries the RAM code or, on the second generation, the Bluetooth patch.
        region.kind = ImageKind::RamCode;
        if (FindPieceLocked(ImageKind::RamCode, region.address, region.announced) == nullptr &&
            FindPieceLocked(ImageKind::BtPatch, region.address, region.announced) != nullptr) {
            region.kind = ImageKind::BtPatch;
        }
    }
    const Piece* piece = FindPieceLocked(region.kind, region.address, region.announced);
    region.matched = piece != nullptr;
    if (!expected_[Index(region.kind)].present) {
        // An image the ROM does not know: only the lengths are checked.
        region.matched = true;
        region.expectedMode = region.dataMode;
    } else if (piece != nullptr) {
        region.expectedMode = ExpectedModeLocked(region.kind, *piece);
        if (region.expectedMode != region.dataMode) {
            FaultLocked(std::string(ImageKindName(region.kind)) + " region " + Hex(region.address) + " data mode " +
                        Hex(region.dataMode) + ", expected " + Hex(region.expectedMode));
        }
    } else {
        FaultLocked(std::string(ImageKindName(region.kind)) + " has no region " + Hex(region.address) + " of " +
                    std::to_string(region.announced) + " bytes");
    }
    regions_.push_back(region);
    open_ = regions_.size() - 1;
    steps_.push_back({cmdId == kCmdPatchInit ? DownloadStep::Kind::PatchInit : DownloadStep::Kind::RegionInit,
                      region.address, region.announced, region.dataMode});
    reply.payload = {region.matched ? kResultOk : kResultRefused, 0, 0, 0};
    reply.note = std::string(ImageKindName(region.kind)) + " region " + Hex(region.address) + ", " +
                 std::to_string(region.announced) + " bytes, data mode " + Hex(region.dataMode);
    return reply;
}

RomDownload::Reply RomDownload::FinishLocked(const std::vector<uint8_t>& payload)
{
    Reply reply;
    reply.answered = true;
    reply.eventId = kEventResult;
    CloseRegionLocked();
    const bool bluetooth = payload.size() >= 2 && payload[1] == 1;
    const ImageKind kind = bluetooth                            ? ImageKind::BtPatch
                           : generation_ == Generation::Older ? ImageKind::Qz3404Patch
                                                              : ImageKind::RomPatch;
    const bool complete = ImageCompleteLocked(kind);
    if (bluetooth) {
        btPatchFinished_ = complete;
    } else {
        patchFinished_ = complete;
    }
    steps_.push_back({DownloadStep::Kind::PatchFinish, 0, 0, bluetooth ? 1u : 0u});
    reply.payload = {complete ? kResultOk : kResultRefused, 0, 0, 0};
    reply.note = std::string(ImageKindName(kind)) + (complete ? " finished" : " incomplete");
    return reply;
}

RomDownload::Reply RomDownload::StartLocked(const std::vector<uint8_t>& payload)
{
    Reply reply;
    reply.answered = true;
    reply.eventId = kEventResult;
    CloseRegionLocked();
    bool accepted = payload.size() >= 8;
    if (accepted) {
        startOption_ = U32(payload.data());
        entryAddress_ = U32(payload.data() + 4);
        const Expected& ram = expected_[Index(ImageKind::RamCode)];
        const uint32_t entry = ram.present ? ram.image.entryAddress : entryAddress_;
        const uint32_t option = entry != 0 ? 3u : 2u;
        if (entryAddress_ != entry || startOption_ != option) {
            FaultLocked("firmware start with option " + std::to_string(startOption_) + " and entry " +
                        Hex(entryAddress_) + ", expected " + std::to_string(option) + " and " + Hex(entry));
            accepted = false;
        }
    } else {
        FaultLocked("firmware start with " + std::to_string(payload.size()) + " payload bytes");
    }
    accepted = ImageCompleteLocked(ImageKind::RamCode) && accepted;
    if (accepted) {
        ramStarted_ = true;
        readsSinceStart_ = 0;
    }
    steps_.push_back({DownloadStep::Kind::FwStart, entryAddress_, 0, startOption_});
    reply.payload = {accepted ? kResultOk : kResultRefused, 0, 0, 0};
    reply.note = accepted ? "firmware start, entry " + Hex(entryAddress_) : "firmware start refused";
    return reply;
}

std::optional<RomDownload::Reply> RomDownload::OnCommand(const LegacyCommand& command)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (RamRunningLocked()) {
        return std::nullopt;
    }
    switch (command.cmdId) {
    case kCmdRegionInit:
    case kCmdFwStart:
    case kCmdPatchInit:
    case kCmdPatchFinish:
    case kCmdSemaphore:
    case kCmdBtQuery:
        break;
    default:
        return std::nullopt;
    }
    Reply reply;
    // A ROM that has not come up is not there to answer. The host reads the state first.
    if (!RomRunningLocked()) {
        FaultLocked("command " + Hex(command.cmdId) + " while the ROM is not running");
        reply.note = "ROM not running, no answer";
        return reply;
    }
    const std::vector<uint8_t>& payload = command.payload;
    switch (command.cmdId) {
    case kCmdSemaphore: {
        semaphoreAsked_ = true;
        const uint8_t answer = knobs_.semaphoreAnswer.value_or(patchFinished_ ? kSemaphorePatchPresent : kSemaphoreGranted);
        reply.answered = true;
        reply.eventId = kEventSemaphore;
        reply.payload = {answer, 0, 0, 0};
        reply.note = "patch semaphore, answer " + std::to_string(answer);
        steps_.push_back({DownloadStep::Kind::Semaphore, 0, 0, answer});
        break;
    }
    case kCmdRegionInit:
    case kCmdPatchInit:
        reply = InitLocked(command.cmdId, payload);
        break;
    case kCmdPatchFinish:
        reply = FinishLocked(payload);
        break;
    case kCmdFwStart:
        reply = StartLocked(payload);
        break;
    case kCmdBtQuery: {
        const uint32_t address = knobs_.btPatchAddress.value_or(payload.size() >= 8 ? U32(payload.data() + 4) : 0);
        const uint8_t status = knobs_.btPatchStatus.value_or(btPatchFinished_ ? kBtPatchPresent : kBtPatchAbsent);
        reply.answered = true;
        reply.eventId = kEventBtQuery;
        reply.payload = {status, 0, 0, 0};
        AppendU32(reply.payload, address);
        reply.note = "Bluetooth patch query " + Hex(address) + ", status " + std::to_string(status);
        steps_.push_back({DownloadStep::Kind::BtQuery, address, 0, status});
        break;
    }
    default:
        break;
    }
    return reply;
}

std::string RomDownload::OnData(const uint8_t* data, size_t length)
{
    std::lock_guard<std::mutex> lock(mutex_);
    steps_.push_back({DownloadStep::Kind::Data, 0, static_cast<uint32_t>(length), 0});
    if (!open_) {
        FaultLocked("download data of " + std::to_string(length) + " bytes without a region");
        return "download data without a region";
    }
    DownloadRegion& r = regions_[*open_];
    steps_.back().address = r.address + r.received;
    const Piece* piece = r.matched ? FindPieceLocked(r.kind, r.address, r.announced) : nullptr;
    const uint64_t end = uint64_t(r.received) + length;
    if (end > r.announced) {
        FaultLocked(std::string(ImageKindName(r.kind)) + " region " + Hex(r.address) + ": data runs " +
                    std::to_string(end - r.announced) + " bytes past the announced " + std::to_string(r.announced));
    }
    if (piece != nullptr && r.bytesEqual) {
        const std::vector<uint8_t>& bytes = expected_[Index(r.kind)].image.bytes;
        for (size_t i = 0; i < length && r.received + i < r.announced; ++i) {
            if (data[i] != bytes[piece->fileOffset + r.received + i]) {
                r.bytesEqual = false;
                FaultLocked(std::string(ImageKindName(r.kind)) + " region " + Hex(r.address) + ": byte " +
                            std::to_string(r.received + i) + " differs");
                break;
            }
        }
    }
    r.received = static_cast<uint32_t>(end > 0xFFFFFFFFu ? 0xFFFFFFFFu : end);
    r.pieces.push_back(static_cast<uint32_t>(length));
    return "download data, " + std::to_string(length) + " bytes for " + Hex(r.address);
}

std::vector<DownloadStep> RomDownload::Steps() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return steps_;
}

std::vector<DownloadRegion> RomDownload::Regions() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return regions_;
}

std::vector<std::string> RomDownload::Faults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

bool RomDownload::PatchFinished() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return patchFinished_;
}

bool RomDownload::BtPatchFinished() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return btPatchFinished_;
}

bool RomDownload::RamStarted() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ramStarted_;
}

uint32_t RomDownload::StartOption() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return startOption_;
}

uint32_t RomDownload::EntryAddress() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entryAddress_;
}

}  // namespace sim::fw
