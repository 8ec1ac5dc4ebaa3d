// The firmware once its RAM code runs, and the chip's whole firmware on its rings.
#include "fw/ram.h"

#include <chrono>
#include <cstdio>

#include "fw/channel_grant.h"
#include "fw/events.h"
#include "fw/twt.h"

namespace sim::fw {

using sim::chip::RxRole;
using sim::chip::TxRole;

namespace {

constexpr uint32_t kRomVersionAddress = 0x88000004;
constexpr size_t kTextOffset = 8;
constexpr size_t kTextLengthOffset = 4;
constexpr size_t kTextPayloadSize = 328;
constexpr size_t kTextMax = 320;
constexpr size_t kPieceHead = 4;
constexpr size_t kPieceData = 1024;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%02X", value);
    return text;
}

}  // namespace

// ================================================================================================
// RamFirmware
// ================================================================================================
RamFirmware::RamFirmware(sim::chip::Chip& chip, RomFirmware& rom)
    : chip_(chip),
      rom_(rom),
      generation_(chip.model().generation),
      events_(chip, chip.rings().RxRing(RxRole::Events)),
      scanHost_(chip),
      scan_(std::make_unique<ScanEngine>(chip.model().generation, scanHost_))
{
    const sim::chip::RingMap& map = chip_.rings();
    hwCommand_ = map.TxRing(TxRole::Command);
    if (map.present) {
        chip_.SetTxConsumer(hwCommand_, [this](const sim::chip::TxBuffer& b) { OnBuffer(b); });
    }
    scan_->SetHomeFilter([this](std::vector<uint8_t>* frame, sim::chip::RxdFields* fields) { return cipher_.Incoming(frame, fields); });
}

RamFirmware::~RamFirmware()
{
    scan_.reset();
    if (chip_.rings().present) {
        chip_.SetTxConsumer(hwCommand_, nullptr);
    }
}

void RamFirmware::Arm(Knob knob, int cmdId, unsigned count, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    knobs_.push_back({knob, cmdId, count, delayMs});
}

void RamFirmware::ExpectBufferBin(const std::vector<uint8_t>& image)
{
    std::lock_guard<std::mutex> lock(mutex_);
    expectedBin_ = image;
    unified_.Settings().expectedBufferBin = image;
}

void RamFirmware::SetRunning(bool running)
{
    if (!running && running_.load()) {
        scan_->Reset();
        cipher_.Clear();
    }
    running_.store(running);
}

void RamFirmware::AttachTo(RomDownload& download)
{
    download.SetRamRunningHook([this](bool running) { SetRunning(running); });
}

std::vector<uint8_t> RamFirmware::CapabilityPayloadLocked() const
{
    return EncodeChipCapabilityPayload(CapabilityRecords(settings_.capabilities));
}

void RamFirmware::RecordTextLocked(const LegacyCommand& command, std::string* note)
{
    const std::vector<uint8_t>& p = command.payload;
    if (p.size() != kTextPayloadSize) {
        faults_.push_back("chip configuration text with " + std::to_string(p.size()) + " payload bytes");
        *note += ", malformed text";
        return;
    }
    size_t length = 0;
    while (length < kTextMax && p[kTextOffset + length] != 0) {
        ++length;
    }
    if (length == kTextMax) {
        faults_.push_back("chip configuration text without its NUL");
        *note += ", unterminated text";
        return;
    }
    const std::string text(reinterpret_cast<const char*>(p.data() + kTextOffset), length);
    const uint16_t field = U16(p.data() + kTextLengthOffset);
    if (field != length) {
        faults_.push_back("chip configuration text \"" + text + "\" carries length " + std::to_string(field) +
                          ", the text has " + std::to_string(length));
    }
    texts_.push_back(text);
    *note += ", text \"" + text + "\"";
}

void RamFirmware::RecordPieceLocked(const LegacyCommand& command, std::string* note)
{
    const std::vector<uint8_t>& p = command.payload;
    if (p.size() < kPieceHead) {
        faults_.push_back("buffer-bin piece with " + std::to_string(p.size()) + " payload bytes");
        return;
    }
    BufferBinPiece piece;
    piece.source = p[0];
    piece.pieceByte = p[1];
    piece.index = (p[1] >> 2) & 7;
    piece.last = (p[1] >> 5) & 7;
    piece.length = U16(p.data() + 2);
    const size_t room = p.size() - kPieceHead;
    if ((piece.pieceByte & 1) == 0 || piece.index > piece.last || piece.length > kPieceData || piece.length > room ||
        (piece.source == 0 && piece.length != 0)) {
        faults_.push_back("buffer-bin piece byte " + Hex(piece.pieceByte) + ", source " + std::to_string(piece.source) +
                          ", length " + std::to_string(piece.length) + " in " + std::to_string(room) + " bytes");
    }
    const size_t take = piece.length <= room ? piece.length : room;
    piece.data.assign(p.begin() + kPieceHead, p.begin() + static_cast<std::ptrdiff_t>(kPieceHead + take));
    if (piece.index != (pieces_.empty() || pieces_.back().index == pieces_.back().last ? 0 : pieces_.back().index + 1)) {
        faults_.push_back("buffer-bin piece " + std::to_string(piece.index) + " out of order");
    }
    if (expectedBin_ && piece.source == 1) {
        const size_t offset = piece.index * kPieceData;
        const bool fits = offset + piece.data.size() <= expectedBin_->size();
        if (!fits || !std::equal(piece.data.begin(), piece.data.end(), expectedBin_->begin() + static_cast<std::ptrdiff_t>(offset))) {
            faults_.push_back("buffer-bin piece " + std::to_string(piece.index) + " differs from the EEPROM image");
        }
        if (piece.index == piece.last && offset + piece.data.size() != expectedBin_->size()) {
            faults_.push_back("buffer-bin ends after " + std::to_string(offset + piece.data.size()) +
                              " bytes, the EEPROM image has " + std::to_string(expectedBin_->size()));
        }
    }
    *note += ", buffer-bin piece " + std::to_string(piece.index) + " of " + std::to_string(piece.last + 1) + " (" +
             std::to_string(piece.length) + " bytes)";
    pieces_.push_back(std::move(piece));
}

bool RamFirmware::AnswerLocked(const LegacyCommand& command, EventHeader* header, std::vector<uint8_t>* payload,
                               std::string* note)
{
    switch (command.cmdId) {
    case kRamCmdCapability:
        header->id = kRamEventCapability;
        *payload = CapabilityPayloadLocked();
        return true;
    case kRamCmdChipConfig:
        RecordTextLocked(command, note);
        return false;
    case kRamCmdExtended:
        if (command.extCmdId == kRamExtBufferBin) {
            RecordPieceLocked(command, note);
        }
        if (std::optional<uint8_t> bss = TsfQueryBssIndex(command)) {
            header->id = kRamCmdExtended;
            header->extId = command.extCmdId;
            *payload = LegacyTsfPayload(*bss, ChipTsf());
            *note += ", TSF of BSS " + std::to_string(*bss);
            return true;
        }
        return false;
    case kLegacyCmdKey:
    case kLegacyCmdDefaultKey:
        if (std::optional<FrameCipher::KeyDone> done = cipher_.Take(command)) {
            header->id = kLegacyEventAddKeyDone;
            *payload = FrameCipher::AddKeyDoneBody(*done);
            *note += ", key added";
            return true;
        }
        return false;
    case kRamCmdRegWrite:
        if (command.payload.size() >= 8) {
            registers_[U32(command.payload.data())] = U32(command.payload.data() + 4);
            *note += ", register " + Hex(U32(command.payload.data())) + " := " + Hex(U32(command.payload.data() + 4));
        }
        return false;
    default:
        if (std::optional<std::vector<uint8_t>> grant = LegacyChannelGrant(command)) {
            header->id = kLegacyEventChGrant;
            *payload = std::move(*grant);
            *note += ", channel granted";
            return true;
        }
        return false;
    }
}

bool RamFirmware::KnobLocked(int id, uint8_t* seq, uint32_t* delayMs, std::string* note)
{
    for (auto it = knobs_.begin(); it != knobs_.end(); ++it) {
        if (it->remaining == 0 || (it->cmdId != kAnyCommand && it->cmdId != id)) {
            continue;
        }
        --it->remaining;
        bool keep = true;
        switch (it->knob) {
        case Knob::Delay:
            *delayMs = it->delayMs;
            *note += ", answer delayed";
            break;
        case Knob::Drop:
            keep = false;
            *note += ", answer dropped";
            break;
        case Knob::WrongSeq:
            *seq = static_cast<uint8_t>(*seq % 99 + 1);
            *note += ", wrong sequence number";
            break;
        }
        if (it->remaining == 0) {
            knobs_.erase(it);
        }
        return keep;
    }
    return true;
}

void RamFirmware::OnBuffer(const sim::chip::TxBuffer& buffer)
{
    RamExchange exchange;
    exchange.bytes.assign(buffer.data, buffer.data + buffer.length);
    // The boot ROM, and the third generation's unified RAM code, answer as they ask.
    auto keep = [this, &exchange](const char* who, const std::vector<std::vector<uint8_t>>& events, uint32_t delayMs,
                                  const std::string& note) {
        exchange.events = events;
        exchange.note = std::string(who) + note;
        events_.Write(events, delayMs);
        exchanges_.push_back(std::move(exchange));
    };
    if (!running_.load()) {
        RomAnswer answer = rom_.Consume(kCommandRing, buffer.data, buffer.length);
        std::lock_guard<std::mutex> lock(mutex_);
        exchange.command = answer.command;
        keep("ROM: ", answer.events, answer.delayMs, answer.note);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    exchange.ramPhase = true;
    if (buffer.length >= 4) {
        const uint32_t queue = (static_cast<uint32_t>(buffer.data[3]) >> 1) & 0x7F;
        if (queue != 0 && queue != 0x20) {
            // A management or control frame for the air, not a command.
            if (frameHandler_) {
                frameHandler_(buffer);
            }
            return;
        }
    }
    if (IsUnifiedCommand(buffer.data, buffer.length)) {
        exchange.unified = true;
        UnifiedAnswer answer = unified_.Consume(buffer.data, buffer.length);
        exchange.unifiedCommand = answer.command;
        if (answer.command) {
            const ChipCapabilities& caps = unified_.Settings().capabilities;
            scan_->TakeUnified(*answer.command, {caps.macAddress, caps.streams});
            records_.Take(*answer.command);
            rxFilters_.Take(*answer.command);
            if (std::optional<FrameCipher::KeyDone> done = cipher_.Take(*answer.command)) {
                answer.events.push_back(FrameCipher::AddKeyDoneEvent(generation_, answer.command->seq, *done));
                answer.note += ", key added";
            }
        }
        keep("RAM: ", answer.events, answer.delayMs, answer.note);
        return;
    }
    std::string why;
    exchange.command = DecodeLegacyCommand(generation_, buffer.data, buffer.length, &why);
    if (!exchange.command) {
        faults_.push_back("RAM code got no legacy command: " + why);
        exchange.note = "RAM: not a legacy command: " + why;
        exchanges_.push_back(std::move(exchange));
        return;
    }
    const LegacyCommand& command = *exchange.command;
    exchange.note = "RAM: " + Describe(command);
    scan_->TakeLegacy(command, {settings_.capabilities.macAddress, settings_.capabilities.streams});
    records_.Take(command);
    rxFilters_.Take(command);
    EventHeader header;
    std::vector<uint8_t> payload;
    if (AnswerLocked(command, &header, &payload, &exchange.note)) {
        uint8_t seq = command.seq;
        uint32_t delayMs = 0;
        const int knobId = command.cmdId == kRamCmdExtended ? command.extCmdId : command.cmdId;
        if (KnobLocked(knobId, &seq, &delayMs, &exchange.note)) {
            header.seq = seq;
            exchange.events.push_back(EncodeRamEvent(generation_, header, payload));
            exchange.note += ", answer " + Hex(header.id);
            events_.Write(exchange.events, delayMs);
        }
    }
    exchanges_.push_back(std::move(exchange));
}

void RamFirmware::Raise(const std::vector<uint8_t>& event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    events_.Write({event}, 0);
}

std::vector<RamExchange> RamFirmware::Exchanges() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_;
}

std::vector<LegacyCommand> RamFirmware::RamCommands() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LegacyCommand> commands;
    for (const RamExchange& e : exchanges_) {
        if (e.ramPhase && e.command) {
            commands.push_back(*e.command);
        }
    }
    return commands;
}

std::vector<std::string> RamFirmware::ChipConfigTexts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

std::vector<BufferBinPiece> RamFirmware::BufferBinPieces() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pieces_;
}

std::map<uint32_t, uint32_t> RamFirmware::RegisterWrites() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return registers_;
}

std::vector<std::string> RamFirmware::Faults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> faults = faults_;
    const UnifiedRamRecord& u = unified_.Record();
    if (u.malformed != 0) {
        faults.push_back(std::to_string(u.malformed) + " malformed unified command(s)");
    }
    if (expectedBin_ && u.bufferBinComplete && u.bufferBinFromFile && !u.bufferBinMatches) {
        faults.push_back("the unified buffer-bin differs from the EEPROM image");
    }
    for (const std::string& f : scan_->Record().faults) {
        faults.push_back("scan engine: " + f);
    }
    return faults;
}

void RamFirmware::ClearRecords()
{
    std::lock_guard<std::mutex> lock(mutex_);
    exchanges_.clear();
    texts_.clear();
    pieces_.clear();
    registers_.clear();
    faults_.clear();
}

bool RamFirmware::WaitDelivered(unsigned ms) const { return events_.WaitDelivered(ms); }

void RamFirmware::SetFrameHandler(std::function<void(const sim::chip::TxBuffer&)> handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    frameHandler_ = std::move(handler);
}

// ================================================================================================
// ChipFirmware
// ================================================================================================
bool IsRamCodeName(const std::string& name) { return name.rfind("WIFI_RAM_CODE_", 0) == 0; }

bool IsRomPatchName(const std::string& name)
{
    return name.rfind("WIFI_", 0) == 0 && !IsRamCodeName(name) &&
           (name.find("patch") != std::string::npos || name.find("PATCH") != std::string::npos);
}

bool IsBtPatchName(const std::string& name) { return name.rfind("BT_", 0) == 0; }

bool IsEepromName(const std::string& name) { return name.rfind("EEPROM_", 0) == 0; }

ChipFirmware::ChipFirmware(sim::chip::Chip& chip) : chip_(chip)
{
    ring_ = std::make_unique<RingFirmware>(chip_);
    download_ = std::make_unique<RomDownload>(chip_.model().generation);
    download_->AttachTo(ring_->Rom());
    download_->ConnectStateRegister(chip_);
    ram_ = std::make_unique<RamFirmware>(chip_, ring_->Rom());
    ram_->AttachTo(*download_);
    data_ = std::make_unique<DataPath>(chip_, ram_->Events());
    dataAir_ = std::make_unique<DataAir>(*data_, ram_->Scan());
    dataAir_->SetCipher(&ram_->Cipher());
    ram_->SetFrameHandler([this](const sim::chip::TxBuffer& b) { data_->SendManagement(b.data, b.length, b.ring); });
    // A reset of the Wi-Fi subsystem sends the firmware back to its boot ROM, ready for a new download.
    chip_.SetSubsystemRestartHook([this] {
        download_->Reset();
        ram_->SetRunning(false);
    });
    // The third generation's ROM keeps its version word in chip memory, where the host reads it.
    if (chip_.model().generation == sim::chip::Generation::Third) {
        chip_.Poke(kRomVersionAddress, ring_->Rom().Settings().romVersionWord);
    }
}

ChipFirmware::~ChipFirmware()
{
    // The chip reads the state register through the download model: the register goes back to a
    // plain word before the model goes.
    chip_.ClearHooks(kFwStateRegister);
    chip_.ClearHooks(kOlderFwStateRegister);
    chip_.SetSubsystemRestartHook(nullptr);
    ram_->SetFrameHandler(nullptr);
    dataAir_.reset();
    data_.reset();
    ram_.reset();
    ring_.reset();
    download_.reset();
}

void ChipFirmware::Expect(const std::vector<NamedImage>& images, bool eepromInFile)
{
    std::string ramCode;
    std::string romPatch;
    std::string btPatch;
    for (const NamedImage& n : images) {
        if (ramCode.empty() && IsRamCodeName(n.name)) {
            ramCode = n.name;
        } else if (romPatch.empty() && IsRomPatchName(n.name)) {
            romPatch = n.name;
        } else if (btPatch.empty() && IsBtPatchName(n.name)) {
            btPatch = n.name;
        } else if (eepromInFile && IsEepromName(n.name)) {
            ram_->ExpectBufferBin(n.image.bytes);
        }
    }
    download_->ExpectNamed(images, ramCode, romPatch, btPatch);
}

void ChipFirmware::PowerCycle()
{
    (void)WaitDelivered();
    download_->Reset();
    ram_->SetRunning(false);
}

std::vector<std::string> ChipFirmware::Faults() const
{
    std::vector<std::string> faults = download_->Faults();
    for (const std::string& f : ram_->Faults()) {
        faults.push_back("RAM code: " + f);
    }
    for (const std::string& f : data_->Faults()) {
        faults.push_back("data path: " + f);
    }
    return faults;
}

bool ChipFirmware::WaitDelivered(unsigned ms) const
{
    return ring_->WaitDelivered(ms) && ram_->WaitDelivered(ms) && data_->WaitDelivered(ms);
}

}  // namespace sim::fw
