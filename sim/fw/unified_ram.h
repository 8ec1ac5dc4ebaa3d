// The third generation's RAM code as it answers unified commands (docs/hardware.md, "Unified
// commands and events"): the commands of the firmware bring-up and of the host interface are
// modelled; every other well-formed unified command, and every buffer that is not one, gets the
// DMA-done report only (noted in the answer).
//
//   0x0E tag 3 capability query        -> event 0x43: MAC address (tag 7), PHY capability (tag 8),
//                                          6 GHz (tag 0x18) and factory-calibration (tag 0x24) records
//   0x0E tag 2 chip-configuration text -> recorded; a query is answered with event 0x07 tag 2 (the text)
//   0x0B tag 3 basic configuration, tag 0 log level, tag 5 log read positions -> recorded
//   0x0D tag 0/1 register access       -> a set writes the register; a query answers event 0x06
//   0x2D tag 2 buffer-bin piece        -> reassembled, compared with the expected image; event 0x48
//                                          tag 0 {status} when the command asks for an answer
//   0x28 tag 0 dual-band setting       -> event 0x28 tag 0 {state, 0, u16 0}
//   0x1A tag 0 TSF query               -> event 0x1A tag 0: the TSF (fw/twt)
//   0x0F power control / band-gap clock, 0x13 SER action, 0x2A LEDs -> recorded
//
// Answers carry the command's sequence number. The policy knows nothing of rings: bytes in, event
// buffers out. It is what a RAM-mode firmware model delegates unified commands to.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fw/capability.h"
#include "fw/rom.h"
#include "fw/unified_cmd.h"

namespace sim::fw {

struct UnifiedRamSettings {
    // The capability report: the standard records only.
    ChipCapabilities capabilities = [] {
        ChipCapabilities caps;
        caps.macAddress = {0x00, 0x0C, 0x43, 0x36, 0x02, 0x01};
        caps.sixGhz = 1;
        return caps;
    }();
    // Register reads of addresses never written; 0 when unset.
    std::function<uint32_t(uint32_t address)> readRegister;
    // The buffer-bin image the pieces must add up to; empty: any image is accepted.
    std::vector<uint8_t> expectedBufferBin;
    // The chip's TSF in microseconds; unset: the stand-in's clock (ChipTsf).
    std::function<uint64_t()> tsf;
};

struct UnifiedAnswer {
    bool dmaDone = true;
    std::vector<std::vector<uint8_t>> events;  // receive buffers for the event ring, in order
    uint32_t delayMs = 0;
    std::optional<UnifiedCommand> command;     // the decoded command, when it was one
    std::string note;
};

// What the RAM code kept of the bring-up.
struct UnifiedRamRecord {
    std::vector<std::vector<uint8_t>> basicConfigs;   // tag 3 values of 0x0B
    std::vector<std::string> chipConfigTexts;
    std::vector<std::pair<uint32_t, uint32_t>> registerWrites;
    std::map<uint32_t, uint32_t> registers;
    std::vector<uint8_t> bufferBin;                   // the pieces so far, by index
    unsigned bufferBinPieces = 0;
    bool bufferBinComplete = false;
    bool bufferBinMatches = false;
    bool bufferBinFromFile = false;
    std::vector<uint8_t> dbdcSettings;                // tag 0 byte 0 of each 0x28
    uint8_t dbdcState = 0;
    std::vector<uint8_t> logLevels;                   // tag 0 of 0x0B
    std::array<uint32_t, 4> logReadPointers{};
    struct Led {
        uint8_t gpio;
        uint16_t tag;
        uint8_t value;
    };
    std::vector<Led> leds;
    std::vector<uint8_t> powerControls;               // tag 0 of 0x0F
    std::vector<uint8_t> serActions;                  // tag numbers of 0x13
    unsigned commands = 0;
    unsigned malformed = 0;
};

class UnifiedRamFirmware {
public:
    UnifiedRamFirmware() = default;

    UnifiedRamSettings& Settings() { return settings_; }
    const UnifiedRamRecord& Record() const { return record_; }

    // The next `count` commands with this unified id (kAnyCommand: any) are treated as the knob
    // says (Delay, Drop; WrongSeq answers with another sequence number).
    void Arm(Knob knob, int cmdId, unsigned count = 1, uint32_t delayMs = 0);

    // Takes one descriptor's buffer off the command ring.
    UnifiedAnswer Consume(const uint8_t* data, size_t length);

private:
    struct ArmedKnob {
        Knob knob;
        int cmdId;
        unsigned remaining;
        uint32_t delayMs;
    };

    void Answer(const UnifiedCommand& command, UnifiedAnswer* answer);
    void BufferBinPiece(const std::vector<uint8_t>& value, std::string* note);
    // Knobs apply to commands that have an answer; false when the answer is to be dropped.
    bool ApplyKnobs(uint16_t cmdId, UnifiedAnswer* answer, uint8_t* seq);

    UnifiedRamSettings settings_;
    UnifiedRamRecord record_;
    std::vector<ArmedKnob> knobs_;
};

}  // namespace sim::fw
