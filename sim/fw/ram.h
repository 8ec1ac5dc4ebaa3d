// The firmware once its RAM code runs (docs/hardware.md, "The firmware in RAM"), and the chip's whole
// firmware on its rings.
//
// RamFirmware owns the command ring. While the boot ROM runs, every command buffer goes to the ROM
// (RomFirmware::Consume, with its handlers and knobs) and the ROM's answers are written into the event
// ring; once the ROM's download model reports the RAM code running, the RAM code takes the commands:
//
//   legacy 0x8A capability query                  -> event 0xEC: the chip capability records (fw/capability)
//   legacy 0xCA chip configuration text           -> recorded (text and length field checked)
//   legacy 0xED / extended 0x21 buffer-bin piece   -> recorded and reassembled (piece bytes checked)
//   legacy 0xC0 register write through firmware   -> recorded
//   legacy 0xED / extended 0x3C TSF query          -> event 0xED / 0x3C: the TSF (fw/twt)
//   legacy channel privilege request              -> the grant (fw/channel_grant)
//   legacy 0x0A packet filter, 0xC1 multicast list -> recorded (fw/rx_filters), as their unified forms
//   legacy 0x07 key, 0x08 default key             -> the chip's keys (fw/frame_cipher); a pairwise
//                                                    key added is answered with event 0x24
//   every other legacy command                    -> recorded, the DMA-done report only
//   a unified command (third generation)           -> the unified RAM code (fw/unified_ram); a key
//                                                    in a station-record command as the legacy one,
//                                                    answered with unified event 0x12
//
// Answers carry the command's sequence number and go out in the run-time dialect (12-byte header),
// through the event ring's writer (fw/event_writer). Knobs delay, drop or renumber the answer of
// chosen commands, as the ROM's knobs do. The download ring stays with RingFirmware (the ROM's
// download model takes its data).
//
// ChipFirmware bundles the pieces a running chip needs: the ring firmware with the boot ROM, the
// ROM's download model (connected to the state register), and the RAM code on the command ring.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "fw/bss_records.h"
#include "fw/capability.h"
#include "fw/data_air.h"
#include "fw/datapath.h"
#include "fw/event_writer.h"
#include "fw/events.h"
#include "fw/frame_cipher.h"
#include "fw/image_builder.h"
#include "fw/legacy_cmd.h"
#include "fw/ring_firmware.h"
#include "fw/rom.h"
#include "fw/rom_download.h"
#include "fw/rx_filters.h"
#include "fw/scan_engine.h"
#include "fw/unified_ram.h"

namespace sim::fw {

// Commands and events of the RAM code.
constexpr uint8_t kRamCmdCapability = 0x8A;
constexpr uint8_t kRamEventCapability = 0xEC;
constexpr uint8_t kRamCmdChipConfig = 0xCA;
constexpr uint8_t kRamCmdExtended = 0xED;
constexpr uint8_t kRamExtBufferBin = 0x21;
constexpr uint8_t kRamCmdRegWrite = 0xC0;

// What the RAM code reports about the chip: the standard capability records, then those of tags 0
// to 3 and one of a tag the host has no use for.
struct RamSettings {
    ChipCapabilities capabilities = [] {
        ChipCapabilities caps;
        caps.extra = LegacyExtraCapabilityRecords();
        return caps;
    }();
};

// One buffer taken off the command ring, and what the firmware made of it.
struct RamExchange {
    bool ramPhase = false;                     // taken by the RAM code (else by the boot ROM)
    bool unified = false;
    std::vector<uint8_t> bytes;                // the buffer as fetched
    std::optional<LegacyCommand> command;      // decoded, when it was a legacy command
    std::optional<UnifiedCommand> unifiedCommand;  // decoded, when it was a unified command
    std::vector<std::vector<uint8_t>> events;  // the answer events, in order
    std::string note;
};

// One buffer-bin piece as it arrived.
struct BufferBinPiece {
    uint8_t source = 0;   // 1: data from the EEPROM image, 0: no image
    uint8_t pieceByte = 0;
    uint32_t index = 0;   // bits 2-4 of the piece byte
    uint32_t last = 0;    // bits 5-7
    uint16_t length = 0;
    std::vector<uint8_t> data;  // `length` bytes
};

class RamFirmware {
public:
    // Takes the chip's command ring; while the boot ROM runs, `rom` answers. Both must outlive it.
    RamFirmware(sim::chip::Chip& chip, RomFirmware& rom);
    ~RamFirmware();
    RamFirmware(const RamFirmware&) = delete;
    RamFirmware& operator=(const RamFirmware&) = delete;

    RamSettings& Settings() { return settings_; }
    // The next `count` RAM-phase commands with this id (kAnyCommand: any id) are treated as the knob
    // says (for an extended command: its extended id).
    void Arm(Knob knob, int cmdId, unsigned count = 1, uint32_t delayMs = 0);
    // The third generation's RAM code as it answers unified commands (its settings, knobs and record).
    // Changed only while no command is in flight.
    UnifiedRamFirmware& Unified() { return unified_; }
    // The EEPROM image the buffer-bin must carry (none: only the pieces' consistency is checked).
    void ExpectBufferBin(const std::vector<uint8_t>& image);
    // The scan engine and the chip's radio (fw/scan_engine): it takes the scan, offload, domain and
    // channel commands of both formats beside the answers above.
    ScanEngine& Scan() { return *scan_; }
    // The BSS and station records the host gave the RAM code, in either format (fw/bss_records).
    BssRecords& Records() { return records_; }
    // The receive packet filters and multicast lists the host gave the RAM code (fw/rx_filters).
    RxFilters& Filters() { return rxFilters_; }
    // The keys the host installed and the chip's frame protection with them (fw/frame_cipher).
    FrameCipher& Cipher() { return cipher_; }
    // Raises an event the RAM code builds on a test's request (fw/link_events), through the event ring.
    void Raise(const std::vector<uint8_t>& event);

    // The RAM code starts (true) or the chip went back to its boot ROM (false). The download model's
    // hook calls it; it only flips the phase, so it may run under the chip's lock.
    void SetRunning(bool running);
    bool Running() const { return running_.load(); }
    // Connects to the ROM's download model: its firmware start decides the phase.
    void AttachTo(RomDownload& download);

    std::vector<RamExchange> Exchanges() const;
    // The RAM-phase legacy commands, in order.
    std::vector<LegacyCommand> RamCommands() const;
    std::vector<std::string> ChipConfigTexts() const;
    std::vector<BufferBinPiece> BufferBinPieces() const;
    std::map<uint32_t, uint32_t> RegisterWrites() const;
    std::vector<std::string> Faults() const;
    void ClearRecords();
    // Waits (real time, up to `ms`) until no answer waits; false on time-out.
    bool WaitDelivered(unsigned ms = 5000) const;
    // The event ring's writer (the data path's block-ack events go through it too).
    EventRingWriter& Events() { return events_; }
    // Receives the 802.11 frames the host sends on the command ring once the RAM code runs (a buffer
    // whose descriptor's queue field, word 0 bits 25-31, is neither 0 nor 0x20, the two values of
    // commands). Runs under the chip's lock.
    void SetFrameHandler(std::function<void(const sim::chip::TxBuffer&)> handler);

private:
    struct ArmedKnob {
        Knob knob;
        int cmdId;
        unsigned remaining;
        uint32_t delayMs;
    };

    void OnBuffer(const sim::chip::TxBuffer& buffer);
    // The RAM code's answer to a legacy command (event header and payload), none when it answers nothing.
    bool AnswerLocked(const LegacyCommand& command, EventHeader* header, std::vector<uint8_t>* payload,
                      std::string* note);
    void RecordTextLocked(const LegacyCommand& command, std::string* note);
    void RecordPieceLocked(const LegacyCommand& command, std::string* note);
    std::vector<uint8_t> CapabilityPayloadLocked() const;
    // Applies the first matching knob: the delay it asks for, false when it drops the answer.
    bool KnobLocked(int id, uint8_t* seq, uint32_t* delayMs, std::string* note);

    sim::chip::Chip& chip_;
    RomFirmware& rom_;
    sim::chip::Generation generation_;
    unsigned hwCommand_ = 0;
    std::atomic<bool> running_{false};
    RamSettings settings_;
    mutable std::mutex mutex_;  // the records, knobs and models; taken before the writer's locks
    UnifiedRamFirmware unified_;
    std::vector<ArmedKnob> knobs_;
    std::optional<std::vector<uint8_t>> expectedBin_;
    std::vector<RamExchange> exchanges_;
    std::vector<std::string> texts_;
    std::vector<BufferBinPiece> pieces_;
    std::map<uint32_t, uint32_t> registers_;
    std::vector<std::string> faults_;
    std::function<void(const sim::chip::TxBuffer&)> frameHandler_;
    EventRingWriter events_;
    BssRecords records_;
    RxFilters rxFilters_;
    FrameCipher cipher_;
    ChipScanHost scanHost_;
    std::unique_ptr<ScanEngine> scan_;
};

// The whole firmware of a simulated chip on its rings: the boot ROM with its download model, then
// the RAM code.
class ChipFirmware {
public:
    explicit ChipFirmware(sim::chip::Chip& chip);
    ~ChipFirmware();

    RingFirmware& Ring() { return *ring_; }
    RomFirmware& Rom() { return ring_->Rom(); }
    RomDownload& Download() { return *download_; }
    RamFirmware& Ram() { return *ram_; }
    // The data path: data frames to and from the air, transmit-done reports, block-ack events.
    DataPath& Data() { return *data_; }
    // The data path's frames on the air through the radio (a world's medium once attached).
    DataAir& DataRadio() { return *dataAir_; }

    // The package the ROM checks the download against: the first RAM code, ROM patch and Bluetooth
    // patch of the list, told apart by their names; the RAM code checks the buffer-bin against the
    // EEPROM image when `eepromInFile` (the driver reads it only in that mode).
    void Expect(const std::vector<NamedImage>& images, bool eepromInFile = false);
    // The function loses power (the device is stopped): the ROM boots again with nothing downloaded
    // and the RAM code is gone. The records stay.
    void PowerCycle();
    // Every fault either model noted.
    std::vector<std::string> Faults() const;
    bool WaitDelivered(unsigned ms = 5000) const;

private:
    sim::chip::Chip& chip_;
    std::unique_ptr<RingFirmware> ring_;
    std::unique_ptr<RomDownload> download_;
    std::unique_ptr<RamFirmware> ram_;
    std::unique_ptr<DataPath> data_;
    std::unique_ptr<DataAir> dataAir_;
};

// Image kinds by the package's naming.
bool IsRamCodeName(const std::string& name);
bool IsRomPatchName(const std::string& name);
bool IsBtPatchName(const std::string& name);
bool IsEepromName(const std::string& name);

}  // namespace sim::fw
