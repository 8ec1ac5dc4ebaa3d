// The boot ROM's answers to firmware commands.
#include "fw/rom.h"

#include <cstdio>
#include <string>

#include "fw/events.h"

namespace sim::fw {

namespace {

constexpr uint32_t kRomVersionAddress = 0x88000004;

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

}  // namespace

RomFirmware::RomFirmware(Generation generation) : generation_(generation) {}

void RomFirmware::Arm(Knob knob, int cmdId, unsigned count, uint32_t delayMs)
{
    knobs_.push_back({knob, cmdId, count, delayMs});
}

bool RomFirmware::AnswerOf(const LegacyCommand& command, uint8_t* eventId, std::vector<uint8_t>* payload) const
{
    payload->clear();
    switch (command.cmdId) {
    case 0x01:
    case 0x02:
    case 0x05:
    case 0x07:
        *eventId = 0x01;
        *payload = {0, 0, 0, 0};
        return true;
    case 0x03: {
        if (command.payload.size() < 8) {
            return false;
        }
        const uint32_t address = U32(command.payload.data() + 4);
        uint32_t value = 0;
        if (address == kRomVersionAddress) {
            value = settings_.romVersionWord;
        } else if (settings_.readRegister) {
            value = settings_.readRegister(address);
        }
        *eventId = 0x02;
        AppendU32(*payload, address);
        AppendU32(*payload, value);
        return true;
    }
    case 0x10:
        *eventId = 0x04;
        *payload = {settings_.semaphoreAnswer, 0, 0, 0};
        return true;
    case 0x11:
        *eventId = 0x06;
        *payload = {settings_.btPatchStatus, 0, 0, 0};
        AppendU32(*payload, settings_.btPatchAddress);
        return true;
    case 0x21:
        *eventId = 0x08;
        if (generation_ == Generation::Third) {
            *payload = {1, 0, 0, 0};
            AppendU32(*payload, settings_.logBase);
        } else {
            payload->assign(8, 0);
        }
        return true;
    default:
        return false;
    }
}

void RomFirmware::ApplyKnobs(uint8_t cmdId, RomAnswer* answer, uint8_t* seq)
{
    for (auto it = knobs_.begin(); it != knobs_.end(); ++it) {
        if (it->remaining == 0 || (it->cmdId != kAnyCommand && it->cmdId != cmdId)) {
            continue;
        }
        --it->remaining;
        switch (it->knob) {
        case Knob::Delay:
            answer->delayMs = it->delayMs;
            answer->note += ", answer delayed";
            break;
        case Knob::Drop:
            answer->events.clear();
            answer->note += ", answer dropped";
            break;
        case Knob::WrongSeq:
            *seq = static_cast<uint8_t>(*seq % 99 + 1);  // the next number, never the same
            answer->note += ", wrong sequence number";
            break;
        }
        if (it->remaining == 0) {
            knobs_.erase(it);
        }
        return;
    }
}

void RomFirmware::SetCommandHandler(uint8_t cmdId, RomCommandHandler handler)
{
    for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
        if (it->first == cmdId) {
            handlers_.erase(it);
            break;
        }
    }
    if (handler) {
        handlers_.emplace_back(cmdId, std::move(handler));
    }
}

RomAnswer RomFirmware::Consume(unsigned ring, const uint8_t* data, size_t length)
{
    RomAnswer answer;
    ++commandsSeen_;
    // The second and third generation's download ring carries image data without a prefix.
    if (ring == kDownloadRing && generation_ != Generation::Older) {
        answer.note = "download data, " + std::to_string(length) + " bytes";
        if (downloadData_) {
            downloadData_(data, length);
        }
        return answer;
    }
    std::string why;
    answer.command = DecodeLegacyCommand(generation_, data, length, &why);
    if (!answer.command) {
        answer.note = "not a legacy command: " + why;
        return answer;
    }
    const LegacyCommand& command = *answer.command;
    answer.note = Describe(command);
    uint8_t eventId = 0;
    std::vector<uint8_t> payload;
    bool answers = false;
    bool handled = false;
    for (const auto& [cmdId, handler] : handlers_) {
        if (cmdId == command.cmdId) {
            handled = true;
            if (std::optional<RomReply> reply = handler(command)) {
                eventId = reply->eventId;
                payload = std::move(reply->payload);
                answers = true;
            }
            break;
        }
    }
    if (!handled) {
        answers = AnswerOf(command, &eventId, &payload);
    }
    if (!answers) {
        answer.note += ", no answer";
        return answer;
    }
    uint8_t seq = command.seq;
    answer.events.push_back({});  // placeholder, dropped by the knob
    ApplyKnobs(command.cmdId, &answer, &seq);
    if (!answer.events.empty()) {
        answer.events.back() = EncodeRomEvent(generation_, eventId, seq, payload);
        char text[32];
        std::snprintf(text, sizeof(text), ", answer 0x%02X", eventId);
        answer.note += text;
    }
    return answer;
}

}  // namespace sim::fw
