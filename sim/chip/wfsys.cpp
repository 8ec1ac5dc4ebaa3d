#include "chip/wfsys.h"

#include "chip/ownership.h"

namespace sim::chip {

namespace {

// SER steps: the value the driver answers with and the bit the firmware raises next.
struct SerStep {
    uint32_t answer;
    uint32_t next;
};
constexpr SerStep kSerSteps[] = {{1, 0x08}, {2, 0x10}, {8, 0x20}};
constexpr uint32_t kSerStartBit = 0x04;
constexpr uint32_t kSerBits = 0x3C;

}  // namespace

Wfsys::Wfsys(const Model& model, InterruptModel& interrupts, Wfdma& wfdma)
    : model_(model), interrupts_(interrupts), wfdma_(wfdma)
{
}

uint32_t Wfsys::ResetBit() const { return model_.design == 0x3601 ? 0x1u : 0x10u; }

bool Wfsys::Handles(uint32_t address) const
{
    if (address == kHostToMcuSwInt) {
        return model_.generation != Generation::Older;
    }
    switch (model_.generation) {
    case Generation::Second:
        return address == kGen2WfsysReset || address == kGen2InitDone;
    case Generation::Third:
        return address == kGen3WfsysReset || address == kGen3InitDone;
    default:
        return false;
    }
}

uint32_t Wfsys::Read(RegisterFile& r, uint32_t address)
{
    if (address == kGen2InitDone) {
        return inReset_ ? r.Get(address) & ~kGen2InitDoneBit : r.Get(address) | kGen2InitDoneBit;
    }
    if (address == kGen3InitDone) {
        return inReset_ ? 0 : kGen3InitDoneValue;
    }
    return r.Get(address);
}

void Wfsys::Write(RegisterFile& r, uint32_t address, uint32_t value)
{
    if (address == kHostToMcuSwInt) {
        r.Set(address, value);
        hostToMcu_.push_back(value);
        if (serStep_ != 0 && kSerSteps[serStep_ - 1].answer == value) {
            interrupts_.SetSoftwareStatus(r, kSerSteps[serStep_ - 1].next);
            serStep_ = serStep_ < 3 ? serStep_ + 1 : 0;
        }
        return;
    }
    if (address == kGen2InitDone || address == kGen3InitDone) {
        return;  // status registers
    }
    uint32_t bit = ResetBit();
    if (address == kGen2WfsysReset) {
        if (r.Get(kGen2ResetKeyRegister) != kGen2ResetKey) {
            return;  // locked
        }
        bit = 0x1;
    }
    r.Set(address, value);
    const bool hold = (value & bit) != 0;
    if (hold) {
        inReset_ = true;
    } else if (inReset_) {
        Restart(r);
    }
}

void Wfsys::Restart(RegisterFile& r)
{
    inReset_ = false;
    ++restarts_;
    serStep_ = 0;
    wfdma_.LoseRings(r);
    r.Set(kRingMarker, r.Get(kRingMarker) & ~kRingMarkerPresent);
    r.Set(kLowPowerControl, r.Get(kLowPowerControl) & ~kLpFirmwareOwns);
    if (onRestart_) {
        onRestart_();
    }
}

void Wfsys::StartSer(RegisterFile& r)
{
    // The firmware lets its four SER bits through the software enable (the third generation's driver
    // never writes them there).
    r.Set(kSwIntEnable, r.Get(kSwIntEnable) | kSerBits);
    serStep_ = 1;
    interrupts_.SetSoftwareStatus(r, kSerStartBit);
}

}  // namespace sim::chip
