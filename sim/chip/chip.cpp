#include "chip/chip.h"

#include <cstring>

namespace sim::chip {

namespace {

uint64_t AllOnes(unsigned width) { return width >= 8 ? ~0ull : ((1ull << (width * 8)) - 1); }

}  // namespace

Chip::Chip(uint16_t deviceId)
    : model_(ModelForDeviceId(deviceId)),
      bar_(model_),
      config_(model_),
      interrupts_(model_),
      wfdma_(model_, interrupts_),
      ownership_(model_),
      wfsys_(model_, interrupts_, wfdma_)
{
    ownership_.OnFirmwareOwn([this](RegisterFile& r) {
        if (loseRings_) {
            wfdma_.LoseRings(r);
            r.Set(kRingMarker, r.Get(kRingMarker) & ~kRingMarkerPresent);
        }
    });
}

// ---- the device lock ----------------------------------------------------------------------------------
Chip::DeviceLock::DeviceLock(const Chip& chip) : chip_(const_cast<Chip&>(chip))
{
    chip_.lock_.lock();
    ++chip_.depth_;
}

Chip::DeviceLock::~DeviceLock()
{
    bool raise = --chip_.depth_ == 0 && chip_.raiseWanted_;
    if (raise) {
        chip_.raiseWanted_ = false;
    }
    chip_.lock_.unlock();
    if (raise) {
        chip_.interruptsSent_.fetch_add(1);
        chip_.RaiseInterrupt(0);
    }
}

void Chip::NoteRaise()
{
    if (interrupts_.TakeRaise()) {
        raiseWanted_ = true;
    }
}

// ---- registers --------------------------------------------------------------------------------------
uint32_t Chip::Peek(uint32_t chipAddress) const
{
    DeviceLock guard(*this);
    return registers_.Get(chipAddress);
}

void Chip::Poke(uint32_t chipAddress, uint32_t value)
{
    DeviceLock guard(*this);
    registers_.Set(chipAddress, value);
}

void Chip::SetReadHook(uint32_t chipAddress, ReadHook hook)
{
    DeviceLock guard(*this);
    readHooks_[chipAddress] = std::move(hook);
}

void Chip::SetWriteHook(uint32_t chipAddress, WriteHook hook)
{
    DeviceLock guard(*this);
    writeHooks_[chipAddress] = std::move(hook);
}

void Chip::ClearHooks(uint32_t chipAddress)
{
    DeviceLock guard(*this);
    readHooks_.erase(chipAddress);
    writeHooks_.erase(chipAddress);
}

std::optional<uint32_t> Chip::Decode(uint32_t barOffset) const
{
    DeviceLock guard(*this);
    return bar_.Decode(barOffset, registers_);
}

// ---- configuration space --------------------------------------------------------------------------------
void Chip::SetRevision(uint8_t revision)
{
    DeviceLock guard(*this);
    config_.Set8(kCfgRevision, revision);
}

void Chip::SetSubsystem(uint16_t vendorId, uint16_t subsystemId)
{
    DeviceLock guard(*this);
    config_.Set16(kCfgSubsystemVendorId, vendorId);
    config_.Set16(kCfgSubsystemId, subsystemId);
}

uint32_t Chip::Config32(uint32_t offset) const
{
    DeviceLock guard(*this);
    return config_.Get32(offset);
}

void Chip::SetConfig32(uint32_t offset, uint32_t value)
{
    DeviceLock guard(*this);
    config_.Set32(offset, value);
}

uint32_t Chip::ConfigRead(uint32_t offset, void* buffer, uint32_t length)
{
    DeviceLock guard(*this);
    uint32_t n;
    if (Gone()) {
        n = ConfigSpace::Transferable(offset, length);
        std::memset(buffer, 0xFF, n);
    } else {
        n = config_.Read(offset, buffer, length);
    }
    Access a;
    a.space = Access::Space::Config;
    a.width = length;
    a.offset = offset;
    std::memcpy(&a.value, buffer, n < sizeof(a.value) ? n : sizeof(a.value));
    Record(a);
    return n;
}

uint32_t Chip::ConfigWrite(uint32_t offset, const void* buffer, uint32_t length)
{
    DeviceLock guard(*this);
    uint32_t n = Gone() ? ConfigSpace::Transferable(offset, length) : config_.Write(offset, buffer, length);
    Access a;
    a.space = Access::Space::Config;
    a.write = true;
    a.width = length;
    a.offset = offset;
    std::memcpy(&a.value, buffer, n < sizeof(a.value) ? n : sizeof(a.value));
    Record(a);
    return n;
}

// ---- the BAR ------------------------------------------------------------------------------------------------
uint64_t Chip::BarSize(unsigned bar) const { return bar == 0 ? bar_.Size() : 0; }

uint32_t Chip::ReadWord(uint32_t barOffset, std::optional<uint32_t>* chipAddress)
{
    std::optional<uint32_t> address = bar_.Decode(barOffset, registers_);
    if (chipAddress != nullptr) {
        *chipAddress = address;
    }
    if (!address) {
        return 0;
    }
    auto hook = readHooks_.find(*address);
    if (hook != readHooks_.end() && hook->second) {
        return hook->second(registers_, *address);
    }
    if (interrupts_.Handles(*address)) {
        return interrupts_.Read(registers_, *address);
    }
    if (wfdma_.Handles(*address)) {
        return wfdma_.Read(registers_, *address);
    }
    if (ownership_.Handles(*address)) {
        return ownership_.Read(registers_, *address);
    }
    if (wfsys_.Handles(*address)) {
        return wfsys_.Read(registers_, *address);
    }
    return registers_.Get(*address);
}

void Chip::WriteWord(uint32_t barOffset, uint32_t value)
{
    std::optional<uint32_t> address = bar_.Decode(barOffset, registers_);
    if (!address) {
        return;
    }
    auto hook = writeHooks_.find(*address);
    if (hook != writeHooks_.end() && hook->second) {
        hook->second(registers_, *address, value);
    } else if (interrupts_.Handles(*address)) {
        interrupts_.Write(registers_, *address, value);
    } else if (wfdma_.Handles(*address)) {
        wfdma_.Write(registers_, *address, value);
        scheduler_.RingWritten();
    } else if (ownership_.Handles(*address)) {
        ownership_.Write(registers_, *address, value);
    } else if (wfsys_.Handles(*address)) {
        wfsys_.Write(registers_, *address, value);
        scheduler_.RingWritten();
    } else {
        registers_.Set(*address, value);
    }
    NoteRaise();
}

uint64_t Chip::MmioRead(unsigned bar, uint64_t offset, unsigned width)
{
    DeviceLock guard(*this);
    Access a;
    a.width = width;
    a.offset = static_cast<uint32_t>(offset);
    if (bar != 0 || offset + width > bar_.Size() || Gone()) {
        a.value = AllOnes(width);
        Record(a);
        return a.value;
    }
    uint32_t o = static_cast<uint32_t>(offset);
    uint64_t value;
    if (width == 8) {
        uint64_t low = ReadWord(o, &a.chipAddress);
        uint64_t high = ReadWord(o + 4, nullptr);
        value = low | (high << 32);
    } else {
        uint32_t word = ReadWord(o & ~3u, &a.chipAddress);
        if (a.chipAddress) {
            *a.chipAddress += o & 3u;
        }
        value = (word >> ((o & 3u) * 8)) & AllOnes(width);
    }
    a.value = value;
    Record(a);
    return value;
}

void Chip::MmioWrite(unsigned bar, uint64_t offset, unsigned width, uint64_t value)
{
    DeviceLock guard(*this);
    Access a;
    a.write = true;
    a.width = width;
    a.offset = static_cast<uint32_t>(offset);
    a.value = value & AllOnes(width);
    if (bar != 0 || offset + width > bar_.Size() || Gone()) {
        Record(a);
        return;
    }
    uint32_t o = static_cast<uint32_t>(offset);
    a.chipAddress = bar_.Decode(o & ~3u, registers_);
    if (width == 8) {
        WriteWord(o, static_cast<uint32_t>(value));
        WriteWord(o + 4, static_cast<uint32_t>(value >> 32));
    } else if (width == 4) {
        WriteWord(o, static_cast<uint32_t>(value));
    } else if (a.chipAddress) {
        // A narrow write changes its bytes of the stored word and leaves the others.
        uint32_t shift = (o & 3u) * 8;
        uint32_t mask = static_cast<uint32_t>(AllOnes(width)) << shift;
        uint32_t merged = (registers_.Get(*a.chipAddress) & ~mask) | ((static_cast<uint32_t>(value) << shift) & mask);
        WriteWord(o & ~3u, merged);
        *a.chipAddress += o & 3u;
    }
    Record(a);
}

// ---- the ring engine ----------------------------------------------------------------------------------------
void Chip::SetTxConsumer(unsigned ring, TxConsumer consumer)
{
    DeviceLock guard(*this);
    wfdma_.SetTxConsumer(ring, std::move(consumer));
}

void Chip::SetDataFrameConsumer(DataFrameConsumer consumer)
{
    DeviceLock guard(*this);
    for (TxRole role : {TxRole::Data0, TxRole::Data1}) {
        if (!consumer) {
            wfdma_.SetTxConsumer(wfdma_.map().TxRing(role), nullptr);
            continue;
        }
        wfdma_.SetTxConsumer(wfdma_.map().TxRing(role), [this, consumer](const TxBuffer& buffer) {
            DataFrame frame;
            std::string error;
            if (!GatherDataFrame(buffer, &frame, &error)) {
                wfdma_.NoteFault(error);
                return;
            }
            consumer(frame);
        });
    }
}

RxResult Chip::PushRx(unsigned ring, const void* data, size_t length)
{
    DeviceLock guard(*this);
    if (Gone()) {
        return RxResult::Disabled;
    }
    RxResult result = wfdma_.PushRx(registers_, ring, data, length);
    NoteRaise();
    return result;
}

void Chip::UnderDeviceLock(const std::function<void()>& f)
{
    DeviceLock guard(*this);
    f();
}

uint64_t Chip::TxConsumed(unsigned ring) const
{
    DeviceLock guard(*this);
    return wfdma_.TxConsumed(ring);
}

uint64_t Chip::RxFilled(unsigned ring) const
{
    DeviceLock guard(*this);
    return wfdma_.RxFilled(ring);
}

void Chip::SetTxHold(bool hold)
{
    DeviceLock guard(*this);
    wfdma_.SetTxHold(registers_, hold);
    NoteRaise();
}

void Chip::SetDmaBusy(bool tx, bool rx, uint32_t reads)
{
    DeviceLock guard(*this);
    wfdma_.SetBusy(tx, rx, reads);
}

void Chip::SetDmaIndexOverride(bool rx, unsigned ring, std::optional<uint32_t> value)
{
    DeviceLock guard(*this);
    wfdma_.SetDmaIndexOverride(rx, ring, value);
}

void Chip::SetStrictRings(bool strict)
{
    DeviceLock guard(*this);
    wfdma_.SetStrict(strict);
}

std::vector<std::string> Chip::RingFaults() const
{
    DeviceLock guard(*this);
    return wfdma_.Faults();
}

// ---- interrupts ---------------------------------------------------------------------------------------------
void Chip::RaiseHostStatus(uint32_t bits)
{
    DeviceLock guard(*this);
    interrupts_.SetHostStatus(registers_, bits);
    NoteRaise();
}

void Chip::RaiseSoftwareInterrupt(uint32_t bits)
{
    DeviceLock guard(*this);
    interrupts_.SetSoftwareStatus(registers_, bits);
    NoteRaise();
}

void Chip::RaiseMacStatus(uint32_t bits)
{
    DeviceLock guard(*this);
    interrupts_.SetMacStatus(registers_, bits);
    NoteRaise();
}

void Chip::SetReassertOnUnmask(bool on)
{
    DeviceLock guard(*this);
    interrupts_.SetReassertOnUnmask(on);
}

// ---- ownership ----------------------------------------------------------------------------------------------
bool Chip::FirmwareOwns()
{
    DeviceLock guard(*this);
    return ownership_.FirmwareOwns(registers_);
}

void Chip::SetDriverOwnLatency(Latency latency)
{
    DeviceLock guard(*this);
    ownership_.SetDriverOwnLatency(latency);
}

void Chip::SetFirmwareOwnLatency(Latency latency)
{
    DeviceLock guard(*this);
    ownership_.SetFirmwareOwnLatency(latency);
}

void Chip::SetLoseRingsWhileFirmwareOwns(bool lose)
{
    DeviceLock guard(*this);
    loseRings_ = lose;
}

uint64_t Chip::DriverOwnGrants() const
{
    DeviceLock guard(*this);
    return ownership_.DriverOwnGrants();
}

// ---- Wi-Fi subsystem reset and SER ------------------------------------------------------------------------------
void Chip::SetSubsystemRestartHook(std::function<void()> hook)
{
    DeviceLock guard(*this);
    wfsys_.OnRestart(std::move(hook));
}

uint64_t Chip::SubsystemRestarts() const
{
    DeviceLock guard(*this);
    return wfsys_.Restarts();
}

bool Chip::SubsystemInReset() const
{
    DeviceLock guard(*this);
    return wfsys_.InReset();
}

void Chip::StartSer()
{
    DeviceLock guard(*this);
    wfsys_.StartSer(registers_);
    NoteRaise();
}

unsigned Chip::SerStep() const
{
    DeviceLock guard(*this);
    return wfsys_.SerStep();
}

std::vector<uint32_t> Chip::HostToMcuWrites() const
{
    DeviceLock guard(*this);
    return wfsys_.HostToMcuWrites();
}

// ---- transcript -----------------------------------------------------------------------------------------------
void Chip::Record(const Access& access)
{
    if (transcriptCapacity_ == 0) {
        ++transcriptDropped_;
        return;
    }
    if (transcript_.size() < transcriptCapacity_) {
        transcript_.push_back(access);
        return;
    }
    transcript_[transcriptNext_] = access;
    transcriptNext_ = (transcriptNext_ + 1) % transcriptCapacity_;
    ++transcriptDropped_;
}

void Chip::SetTranscriptCapacity(size_t accesses)
{
    DeviceLock guard(*this);
    std::vector<Access> kept;
    size_t n = transcript_.size();
    size_t keep = n < accesses ? n : accesses;
    kept.reserve(keep);
    for (size_t i = n - keep; i < n; ++i) {
        kept.push_back(transcript_[(transcriptNext_ + i) % n]);
    }
    transcriptDropped_ += n - keep;
    transcript_ = std::move(kept);
    transcriptNext_ = 0;
    transcriptCapacity_ = accesses;
}

std::vector<Access> Chip::Transcript() const
{
    DeviceLock guard(*this);
    std::vector<Access> out;
    out.reserve(transcript_.size());
    for (size_t i = 0; i < transcript_.size(); ++i) {
        out.push_back(transcript_[(transcriptNext_ + i) % transcript_.size()]);
    }
    return out;
}

uint64_t Chip::TranscriptDropped() const
{
    DeviceLock guard(*this);
    return transcriptDropped_;
}

std::vector<Access> Chip::AccessesTo(uint32_t chipAddress) const
{
    std::vector<Access> out;
    for (const Access& a : Transcript()) {
        if (a.space == Access::Space::Bar && a.chipAddress && *a.chipAddress == chipAddress) {
            out.push_back(a);
        }
    }
    return out;
}

void Chip::ClearTranscript()
{
    DeviceLock guard(*this);
    transcript_.clear();
    transcriptNext_ = 0;
}

}  // namespace sim::chip
