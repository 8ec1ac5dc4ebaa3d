// The third generation's RAM code answering unified commands.
#include "fw/unified_ram.h"

#include "fw/channel_grant.h"

#include <algorithm>
#include <cstdio>

#include "fw/twt.h"
#include "fw/unified_events.h"

namespace sim::fw {

namespace {

constexpr uint16_t kCmdChipConfig = 0x0E;
constexpr uint16_t kCmdWsysConfig = 0x0B;
constexpr uint16_t kCmdAccessReg = 0x0D;
constexpr uint16_t kCmdEfuse = 0x2D;
constexpr uint16_t kCmdDbdc = 0x28;
constexpr uint16_t kCmdPower = 0x0F;
constexpr uint16_t kCmdSer = 0x13;
constexpr uint16_t kCmdLed = 0x2A;

constexpr size_t kPieceSize = 1024;
constexpr size_t kChipConfigTextRoom = 320;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }

struct Planned {
    uint8_t id;
    std::vector<UniTlv> tlvs;
};

}  // namespace

void UnifiedRamFirmware::Arm(Knob knob, int cmdId, unsigned count, uint32_t delayMs)
{
    knobs_.push_back({knob, cmdId, count, delayMs});
}

UnifiedAnswer UnifiedRamFirmware::Consume(const uint8_t* data, size_t length)
{
    UnifiedAnswer answer;
    std::string why;
    std::optional<UnifiedCommand> command = DecodeUnifiedCommand(data, length, &why);
    if (!command) {
        ++record_.malformed;
        answer.note = "not a unified command: " + why;
        return answer;
    }
    ++record_.commands;
    answer.command = command;
    Answer(*command, &answer);
    return answer;
}

void UnifiedRamFirmware::Answer(const UnifiedCommand& c, UnifiedAnswer* answer)
{
    std::vector<Planned> planned;
    std::string note = Describe(c);
    switch (c.cmdId) {
    case kCmdChipConfig:
        if (const UniTlv* t = c.Find(3); t != nullptr && c.WantsAnswer()) {
            std::vector<UniTlv> caps;
            for (const CapabilityRecord& r : CapabilityRecords(settings_.capabilities)) {
                caps.push_back({static_cast<uint16_t>(r.tag), r.value});
            }
            planned.push_back({0x43, caps});
            note += ": capability report";
        }
        if (const UniTlv* t = c.Find(2); t != nullptr) {
            if (t->value.size() < 8) {
                note += ": chip-configuration TLV too short";
                break;
            }
            const size_t textLength =
                std::min<size_t>({U16(t->value.data() + 4), kChipConfigTextRoom, t->value.size() - 8});
            std::string text(t->value.begin() + 8, t->value.begin() + 8 + static_cast<ptrdiff_t>(textLength));
            text = text.substr(0, text.find('\0'));
            record_.chipConfigTexts.push_back(text);
            note += ": text \"" + text + "\"";
            if (c.WantsAnswer()) {
                // {the request's first 4 bytes, u16 text length, 2 reserved, the text}
                std::vector<uint8_t> v(t->value.begin(), t->value.begin() + 4);
                v.reserve(8 + text.size());
                v.push_back(static_cast<uint8_t>(text.size()));
                v.push_back(static_cast<uint8_t>(text.size() >> 8));
                v.push_back(0);
                v.push_back(0);
                v.insert(v.end(), text.begin(), text.end());
                planned.push_back({0x07, {{2, v}}});
            }
        }
        break;
    case kCmdWsysConfig:
        for (const UniTlv& t : c.tlvs) {
            if (t.tag == 3) {
                record_.basicConfigs.push_back(t.value);
            } else if (t.tag == 0 && !t.value.empty()) {
                record_.logLevels.push_back(t.value[0]);
            } else if (t.tag == 5 && t.value.size() >= 17) {
                for (unsigned ring = 1; ring <= 4; ++ring) {
                    if (t.value[16] & (1u << ring)) {
                        record_.logReadPointers[ring - 1] = U32(t.value.data() + 4 * (ring - 1));
                    }
                }
            }
        }
        break;
    case kCmdAccessReg: {
        const UniTlv* t = c.tlvs.empty() ? nullptr : &c.tlvs.front();
        const size_t at = t != nullptr && t->tag == 1 ? 4 : 0;
        if (t == nullptr || t->tag > 1 || t->value.size() < at + 8) {
            note += ": no register access TLV";
            break;
        }
        const uint32_t address = U32(t->value.data() + at);
        if (c.Query()) {
            auto it = record_.registers.find(address);
            const uint32_t value = it != record_.registers.end() ? it->second
                                   : settings_.readRegister     ? settings_.readRegister(address)
                                                                : 0;
            std::vector<uint8_t> v(t->value.begin(), t->value.begin() + static_cast<ptrdiff_t>(at));
            AppendU32(v, address);
            AppendU32(v, value);
            planned.push_back({0x06, {{t->tag, v}}});
        } else {
            const uint32_t value = U32(t->value.data() + at + 4);
            record_.registers[address] = value;
            record_.registerWrites.emplace_back(address, value);
        }
        break;
    }
    case kCmdEfuse:
        if (const UniTlv* t = c.Find(2); t != nullptr) {
            BufferBinPiece(t->value, &note);
            if (c.WantsAnswer()) {
                const uint8_t status = record_.bufferBinComplete && !record_.bufferBinMatches ? 1 : 0;
                planned.push_back({0x48, {{0, {status, 0, 0, 0}}}});
            }
        }
        break;
    case kCmdDbdc:
        if (const UniTlv* t = c.Find(0); t != nullptr && !t->value.empty()) {
            record_.dbdcSettings.push_back(t->value[0]);
            record_.dbdcState = t->value[0] != 0 ? 1 : 0;
            planned.push_back({0x28, {{0, {record_.dbdcState, 0, 0, 0}}}});
        }
        break;
    case kCmdPower:
        if (const UniTlv* t = c.Find(0); t != nullptr && !t->value.empty()) {
            record_.powerControls.push_back(t->value[0]);
        }
        break;
    case kCmdSer:
        for (const UniTlv& t : c.tlvs) {
            record_.serActions.push_back(static_cast<uint8_t>(t.tag));
        }
        break;
    case kCmdLed:
        for (const UniTlv& t : c.tlvs) {
            record_.leds.push_back({c.fixed[0], t.tag, t.value.empty() ? uint8_t{0} : t.value[0]});
        }
        break;
    case kUniCmdChPrivilege:
        if (std::optional<std::vector<uint8_t>> grant = UnifiedChannelGrant(c)) {
            planned.push_back({kUniEventChGrant, {{0, *grant}}});
            note += ": channel granted";
        }
        break;
    case kUniCmdGetTsfQuery:
        if (std::optional<uint8_t> bss = TsfQueryBssIndex(c)) {
            planned.push_back({static_cast<uint8_t>(kUniCmdGetTsfQuery), {{0, UnifiedTsfValue(*bss, settings_.tsf ? settings_.tsf() : ChipTsf())}}});
            note += ": TSF of BSS " + std::to_string(*bss);
        }
        break;
    default:
        note += ": not modelled, DMA-done only";
        break;
    }

    uint8_t seq = c.seq;
    if (!planned.empty() && !ApplyKnobs(c.cmdId, answer, &seq)) {
        answer->note = note + " (answer dropped)";
        return;
    }
    for (const Planned& p : planned) {
        answer->events.push_back(EncodeUnifiedEvent(p.id, seq, {0, 0, 0, 0}, p.tlvs));
    }
    answer->note = note;
}

void UnifiedRamFirmware::BufferBinPiece(const std::vector<uint8_t>& value, std::string* note)
{
    if (value.size() < 4) {
        *note += ": buffer-bin head too short";
        return;
    }
    const uint8_t source = value[0];
    const uint8_t piece = value[1];
    const size_t dataLength = U16(value.data() + 2);
    const unsigned index = (piece >> 2) & 7;
    const unsigned last = (piece >> 5) & 7;
    if (index == 0) {
        record_.bufferBin.clear();
        record_.bufferBinPieces = 0;
        record_.bufferBinComplete = false;
        record_.bufferBinMatches = false;
    }
    record_.bufferBinFromFile = source == 1;
    if (dataLength > kPieceSize || 4 + dataLength > value.size() || index != record_.bufferBinPieces) {
        *note += ": buffer-bin piece out of order or longer than it holds";
        return;
    }
    record_.bufferBin.insert(record_.bufferBin.end(), value.begin() + 4,
                             value.begin() + 4 + static_cast<ptrdiff_t>(dataLength));
    ++record_.bufferBinPieces;
    char text[64];
    std::snprintf(text, sizeof(text), ": buffer-bin piece %u of %u, %zu bytes", index, last + 1, dataLength);
    *note += text;
    if (index == last) {
        record_.bufferBinComplete = true;
        record_.bufferBinMatches = settings_.expectedBufferBin.empty() || settings_.expectedBufferBin == record_.bufferBin;
    }
}

bool UnifiedRamFirmware::ApplyKnobs(uint16_t cmdId, UnifiedAnswer* answer, uint8_t* seq)
{
    bool send = true;
    for (auto it = knobs_.begin(); it != knobs_.end(); ++it) {
        if (it->cmdId != kAnyCommand && it->cmdId != cmdId) {
            continue;
        }
        switch (it->knob) {
        case Knob::Delay:
            answer->delayMs = it->delayMs;
            break;
        case Knob::Drop:
            send = false;
            break;
        case Knob::WrongSeq:
            *seq = static_cast<uint8_t>(*seq == 99 ? 1 : *seq + 1);
            break;
        }
        if (--it->remaining == 0) {
            knobs_.erase(it);
        }
        return send;
    }
    return send;
}

}  // namespace sim::fw
