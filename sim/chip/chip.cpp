#include "chip/chip.h"

#include <cstring>

namespace sim::chip {

namespace {

uint64_t AllOnes(unsigned width) { return width >= 8 ? ~0ull : ((1ull << (width * 8)) - 1); }

}  // namespace

Chip::Chip(uint16_t deviceId) : model_(ModelForDeviceId(deviceId)), bar_(model_), config_(model_) {}

// ---- registers --------------------------------------------------------------------------------------
uint32_t Chip::Peek(uint32_t chipAddress) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return registers_.Get(chipAddress);
}

void Chip::Poke(uint32_t chipAddress, uint32_t value)
{
    std::lock_guard<std::mutex> guard(lock_);
    registers_.Set(chipAddress, value);
}

void Chip::SetReadHook(uint32_t chipAddress, ReadHook hook)
{
    std::lock_guard<std::mutex> guard(lock_);
    readHooks_[chipAddress] = std::move(hook);
}

void Chip::SetWriteHook(uint32_t chipAddress, WriteHook hook)
{
    std::lock_guard<std::mutex> guard(lock_);
    writeHooks_[chipAddress] = std::move(hook);
}

void Chip::ClearHooks(uint32_t chipAddress)
{
    std::lock_guard<std::mutex> guard(lock_);
    readHooks_.erase(chipAddress);
    writeHooks_.erase(chipAddress);
}

std::optional<uint32_t> Chip::Decode(uint32_t barOffset) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return bar_.Decode(barOffset, registers_);
}

// ---- configuration space --------------------------------------------------------------------------------
void Chip::SetRevision(uint8_t revision)
{
    std::lock_guard<std::mutex> guard(lock_);
    config_.Set8(kCfgRevision, revision);
}

void Chip::SetSubsystem(uint16_t vendorId, uint16_t subsystemId)
{
    std::lock_guard<std::mutex> guard(lock_);
    config_.Set16(kCfgSubsystemVendorId, vendorId);
    config_.Set16(kCfgSubsystemId, subsystemId);
}

uint32_t Chip::Config32(uint32_t offset) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return config_.Get32(offset);
}

void Chip::SetConfig32(uint32_t offset, uint32_t value)
{
    std::lock_guard<std::mutex> guard(lock_);
    config_.Set32(offset, value);
}

uint32_t Chip::ConfigRead(uint32_t offset, void* buffer, uint32_t length)
{
    std::lock_guard<std::mutex> guard(lock_);
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
    std::lock_guard<std::mutex> guard(lock_);
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
    } else {
        registers_.Set(*address, value);
    }
}

uint64_t Chip::MmioRead(unsigned bar, uint64_t offset, unsigned width)
{
    std::lock_guard<std::mutex> guard(lock_);
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
    std::lock_guard<std::mutex> guard(lock_);
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

// ---- transcript -----------------------------------------------------------------------------------------------
void Chip::Record(const Access& access) { transcript_.push_back(access); }

std::vector<Access> Chip::Transcript() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return transcript_;
}

std::vector<Access> Chip::AccessesTo(uint32_t chipAddress) const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Access> out;
    for (const Access& a : transcript_) {
        if (a.space == Access::Space::Bar && a.chipAddress && *a.chipAddress == chipAddress) {
            out.push_back(a);
        }
    }
    return out;
}

void Chip::ClearTranscript()
{
    std::lock_guard<std::mutex> guard(lock_);
    transcript_.clear();
}

}  // namespace sim::chip
