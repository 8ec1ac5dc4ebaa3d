// The boot ROM's side of a firmware download (docs/firmware-files.md, "The download as the boot ROM
// sees it"): the firmware state register, the patch semaphore, section and region init, the data
// that follows each init, patch finish, firmware start and the Bluetooth patch query.
//
// The ROM knows the images the download should carry (the package builder's images with the pieces
// they list) and checks everything that arrives against them: each init must name a piece of the
// image with its address, its length and the data mode its flags give; the data that follows must
// be exactly the announced number of bytes and equal the image's bytes; patch finish and firmware
// start must find every piece complete. A download that fails a check is recorded as a fault and
// the RAM code does not start (the state register stays at 1). Of an image it was not told about,
// the ROM checks only that each region gets exactly its announced length.
//
// RomDownload takes decoded commands and returns answers; AttachTo makes it the handler of the
// download commands and the download data of a RomFirmware, which answers the ROM's other commands
// and applies its knobs (a delayed or dropped answer) to these answers too. Knobs of the download
// make the ROM misbehave: never ready, a chosen semaphore answer, RAM code that never runs.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "fw/image_builder.h"
#include "fw/legacy_cmd.h"
#include "fw/rom.h"

namespace sim::fw {

enum class ImageKind {
    RomPatch,     // second and third generation: sections, patch init
    BtPatch,      // Bluetooth ROM patch: region init, finish with byte 1 = 1
    RamCode,      // regions, region init, firmware start
    Qz3404Patch,  // the older chip's ROM patch: one body at 0xDC000, patch init
};
const char* ImageKindName(ImageKind kind);

// Firmware states the host reads.
constexpr uint32_t kStateRomNotRunning = 0;
constexpr uint32_t kStateRomReady = 1;
constexpr uint32_t kStateRamRunning = 3;
constexpr uint32_t kFwStateRegister = 0x7C0600F0;
constexpr uint32_t kOlderFwStateRegister = 0x81021140;

struct DownloadKnobs {
    // The first reads of the state register after power-on (model creation or Reset) read 0, then
    // it reads 1; it never reads 1 when romNeverReady. Counted in reads rather than time so that a
    // test knows exactly which poll sees the ROM come up.
    uint32_t romReadyAfterReads = 0;
    bool romNeverReady = false;
    // Answer to every patch semaphore; none: 2 (granted), or 1 once a patch was finished.
    std::optional<uint8_t> semaphoreAnswer;
    // After an accepted firmware start the state register reads 1 this many more times, then 3;
    // never 3 when ramNeverRuns.
    uint32_t ramRunsAfterReads = 0;
    bool ramNeverRuns = false;
    // Answer to every Bluetooth patch query; none: 1 once a Bluetooth patch was finished, else 2.
    std::optional<uint8_t> btPatchStatus;
    // The address the Bluetooth patch query answers (and where the ROM then expects the patch);
    // none: the address asked about.
    std::optional<uint32_t> btPatchAddress;
};

struct DownloadStep {
    enum class Kind { Semaphore, PatchInit, RegionInit, Data, PatchFinish, FwStart, BtQuery };
    Kind kind = Kind::Data;
    uint32_t address = 0;   // init: target address; BT query: the address asked about
    uint32_t length = 0;    // init: announced length; data: bytes of the piece
    uint32_t value = 0;     // init: data mode; semaphore and BT query: the answer; start: option
};

// One region (a patch section, the Bluetooth patch section or a RAM code region) as it arrived.
struct DownloadRegion {
    ImageKind kind = ImageKind::RamCode;
    uint32_t address = 0;
    uint32_t announced = 0;
    uint32_t received = 0;
    uint32_t dataMode = 0;
    uint32_t expectedMode = 0;
    std::vector<uint32_t> pieces;  // lengths of the data pieces, in order
    bool matched = false;          // the image has a piece of this address and length
    bool bytesEqual = true;        // every byte received so far is the image's
    bool Verified() const
    {
        return matched && bytesEqual && received == announced && dataMode == expectedMode;
    }
};

class RomDownload {
public:
    explicit RomDownload(Generation generation);

    // The image the ROM expects for a kind (replacing an earlier one).
    void Expect(ImageKind kind, const Image& image);
    // The images of a package under the names the chip asks for (an empty or unknown name: none
    // expected of that kind).
    void ExpectNamed(const std::vector<NamedImage>& images, const std::string& ramCode, const std::string& romPatch,
                     const std::string& btPatch);
    // Makes this model the chip's firmware state register (0x7C0600F0; the older chip: bits 1-3 of
    // 0x81021140). The chip must not read it after this object is gone.
    void ConnectStateRegister(sim::chip::Chip& chip);
    DownloadKnobs& Knobs() { return knobs_; }

    // Takes over the download commands (0x01, 0x02, 0x05, 0x07, 0x10, 0x11) and the download data
    // (the older chip: pieces with command id 0) of the ROM. The ROM must not outlive this object.
    void AttachTo(RomFirmware& rom);

    // The chip's reset: the ROM boots again, nothing downloaded, RAM code not running.
    void Reset();

    // Told when the RAM code comes up (true: the state register first reads "RAM code running" after
    // an accepted firmware start) and when it is gone again (false: the chip's reset). The hook runs
    // under this model's lock, and under the chip's for a read of the state register: it must not call
    // back into either.
    void SetRamRunningHook(std::function<void(bool running)> hook);

    // The firmware state register as the host reads it; each call is one read.
    uint32_t FwState();
    uint64_t StateReads() const;

    struct Reply {
        bool answered = false;
        uint8_t eventId = 0;
        std::vector<uint8_t> payload;
        std::string note;
    };
    // A command of the download; none for any other command (and for every command once the RAM
    // code runs).
    std::optional<Reply> OnCommand(const LegacyCommand& command);
    // Download data; returns a line for transcripts.
    std::string OnData(const uint8_t* data, size_t length);

    std::vector<DownloadStep> Steps() const;
    std::vector<DownloadRegion> Regions() const;
    std::vector<std::string> Faults() const;
    bool PatchFinished() const;
    bool BtPatchFinished() const;
    bool RamStarted() const;
    uint32_t StartOption() const;
    uint32_t EntryAddress() const;

private:
    struct Expected {
        bool present = false;
        Image image;
    };

    bool RomRunningLocked() const;
    bool RamRunningLocked() const;
    void CloseRegionLocked();
    void FaultLocked(const std::string& text);
    const Piece* FindPieceLocked(ImageKind kind, uint32_t address, uint32_t length) const;
    uint32_t ExpectedModeLocked(ImageKind kind, const Piece& piece) const;
    // Every piece of the image that the download carries, complete and verified.
    bool ImageCompleteLocked(ImageKind kind);
    Reply InitLocked(uint8_t cmdId, const std::vector<uint8_t>& payload);
    Reply FinishLocked(const std::vector<uint8_t>& payload);
    Reply StartLocked(const std::vector<uint8_t>& payload);

    Generation generation_;
    mutable std::mutex mutex_;
    DownloadKnobs knobs_;
    Expected expected_[4];
    uint64_t stateReads_ = 0;       // since creation
    uint64_t readsSincePowerOn_ = 0;
    bool semaphoreAsked_ = false;
    bool patchFinished_ = false;
    bool btPatchFinished_ = false;
    bool ramStarted_ = false;
    uint64_t readsSinceStart_ = 0;
    uint32_t startOption_ = 0;
    uint32_t entryAddress_ = 0;
    std::optional<size_t> open_;  // index of the region data goes to
    std::vector<DownloadRegion> regions_;
    std::vector<DownloadStep> steps_;
    std::vector<std::string> faults_;
    std::function<void(bool)> ramHook_;
    bool ramReported_ = false;
};

// The data mode the ROM expects with a piece: ROM and Bluetooth patches take it from the
// information word of their last downloaded section, RAM code regions from their flags (bit 4
// counts on the second and third generation only), the older chip's patch body is plain.
uint32_t ExpectedPatchMode(uint32_t info);
uint32_t ExpectedRegionMode(uint8_t flags, Generation generation);

}  // namespace sim::fw
