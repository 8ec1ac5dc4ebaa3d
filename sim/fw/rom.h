// The firmware while it runs from the boot ROM: what it answers to each command it takes off the
// command ring (transmit ring 2) or the download ring (transmit ring 3).
//
// Every descriptor is consumed and reported done (the DMA-done report is the driver's "sent"
// report). Commands the ROM answers get one event in the ROM dialect, carrying the command's
// sequence number:
//
//   0x01 region init, 0x02 firmware start, 0x05 patch section init, 0x07 patch finish -> 0x01 {status 0}
//   0x03 register read {u32 -, u32 address, u32 -}                 -> 0x02 {u32 address, u32 value}
//   0x10 patch semaphore                                            -> 0x04 {semaphore answer}
//   0x11 Bluetooth patch query                                      -> 0x06 {status, 3 x 0, u32 address}
//   0x21 firmware-log base query                                    -> 0x08 {1, 0, 0, 0, u32 base}
//                                                                      (second generation: all zero)
//
// Anything else, download data (transmit ring 3 on the second and third generation, which carries
// no prefix) and buffers that are no legacy command get the DMA-done report only, unless a handler
// registered for the command id (or for download data) takes it over. The download
// protocol itself (regions, image checks, the state register) is not modelled here.
//
// Knobs make the ROM misbehave for chosen commands: delay an answer, drop it, or answer with a
// wrong sequence number. The policy knows nothing of rings or memory: bytes in, event buffers out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fw/legacy_cmd.h"

namespace sim::fw {

constexpr unsigned kCommandRing = 2;
constexpr unsigned kDownloadRing = 3;
constexpr int kAnyCommand = -1;

struct RomSettings {
    uint32_t romVersionWord = 0x00008A00;  // register-read value of chip address 0x88000004
    uint8_t semaphoreAnswer = 2;           // 0 not granted, 1 patch already present, 2 granted, 3 refused
    uint32_t logBase = 0x70040000;         // third generation's firmware-log base address
    uint8_t btPatchStatus = 1;             // 1: a Bluetooth patch is present
    uint32_t btPatchAddress = 0;
    // Register reads other than the ROM version; 0 when unset.
    std::function<uint32_t(uint32_t address)> readRegister;
};

enum class Knob {
    Delay,     // the answer goes out delayMs after the DMA-done report
    Drop,      // no answer (the DMA-done report still comes)
    WrongSeq,  // the answer carries another sequence number
};

// What a registered handler answers to a command: one event in the ROM dialect (the command's
// sequence number is filled in), or none (the DMA-done report only).
struct RomReply {
    uint8_t eventId = 0;
    std::vector<uint8_t> payload;
};
// A handler for one command id; it runs on the thread that moved the ring's CPU index, under the
// chip's lock, and must not block.
using RomCommandHandler = std::function<std::optional<RomReply>(const LegacyCommand& command)>;
// A handler for the prefix-less download data of the second and third generation's download ring.
using RomDownloadDataHandler = std::function<void(const uint8_t* data, size_t length)>;

struct RomAnswer {
    bool dmaDone = true;
    std::vector<std::vector<uint8_t>> events;  // receive buffers for the event ring, in order
    uint32_t delayMs = 0;                       // after the DMA-done report
    std::optional<LegacyCommand> command;       // the decoded command, when it was one
    std::string note;                           // what the ROM made of it
};

class RomFirmware {
public:
    explicit RomFirmware(Generation generation);

    RomSettings& Settings() { return settings_; }
    Generation generation() const { return generation_; }

    // The next `count` commands with this id (kAnyCommand: any id) are treated as the knob says.
    void Arm(Knob knob, int cmdId, unsigned count = 1, uint32_t delayMs = 0);
    void ClearKnobs() { knobs_.clear(); }

    // Other parts of the ROM (the download protocol) take over commands: a handler registered for a
    // command id answers it in place of the ROM's own answer (an empty handler removes it). Knobs
    // still apply to the handler's answer.
    void SetCommandHandler(uint8_t cmdId, RomCommandHandler handler);
    void SetDownloadDataHandler(RomDownloadDataHandler handler) { downloadData_ = std::move(handler); }

    // Takes one descriptor's buffer off a transmit ring.
    RomAnswer Consume(unsigned ring, const uint8_t* data, size_t length);

    unsigned commandsSeen() const { return commandsSeen_; }

private:
    struct ArmedKnob {
        Knob knob;
        int cmdId;
        unsigned remaining;
        uint32_t delayMs;
    };

    // The ROM's answer payload to a command: event id and payload; none when it answers nothing.
    bool AnswerOf(const LegacyCommand& command, uint8_t* eventId, std::vector<uint8_t>* payload) const;
    void ApplyKnobs(uint8_t cmdId, RomAnswer* answer, uint8_t* seq);

    Generation generation_;
    RomSettings settings_;
    std::vector<ArmedKnob> knobs_;
    std::vector<std::pair<uint8_t, RomCommandHandler>> handlers_;
    RomDownloadDataHandler downloadData_;
    unsigned commandsSeen_ = 0;
};

}  // namespace sim::fw
