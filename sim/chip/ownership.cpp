#include "chip/ownership.h"

#include "kshim/host/control.h"

namespace sim::chip {

Ownership::Ownership(const Model& model) : model_(model) {}

bool Ownership::Handles(uint32_t address) const
{
    return model_.generation != Generation::Older && address == kLowPowerControl;
}

namespace {

bool StateIsFirmware(const RegisterFile& r) { return (r.Get(kLowPowerControl) & kLpFirmwareOwns) != 0; }

void SetState(RegisterFile& r, bool firmware)
{
    uint32_t word = r.Get(kLowPowerControl) & ~kLpFirmwareOwns;
    r.Set(kLowPowerControl, word | (firmware ? kLpFirmwareOwns : 0));
}

}  // namespace

void Ownership::Settle(RegisterFile& r)
{
    if (pending_ == Pending::None || dueNever_ || kshim::host::ClockNow() < due_) {
        return;
    }
    Pending done = pending_;
    pending_ = Pending::None;
    if (done == Pending::ToDriver) {
        SetState(r, false);
        ++driverGrants_;
        return;
    }
    SetState(r, true);
    ++firmwareGrants_;
    if (onFirmwareOwn_) {
        onFirmwareOwn_(r);
    }
}

bool Ownership::FirmwareOwns(RegisterFile& r)
{
    Settle(r);
    return StateIsFirmware(r);
}

uint32_t Ownership::Read(RegisterFile& r, uint32_t address)
{
    Settle(r);
    return r.Get(address);
}

// The stored word keeps the host's last write in its other bits; bit 2 is the ownership state. A
// request completes at the first access once its latency has passed (so an immediate one shows at
// the next read).
void Ownership::Write(RegisterFile& r, uint32_t address, uint32_t value)
{
    Settle(r);
    bool firmware = StateIsFirmware(r);
    r.Set(address, (value & ~kLpFirmwareOwns) | (firmware ? kLpFirmwareOwns : 0));
    Pending wanted = Pending::None;
    const Latency* latency = nullptr;
    if (value == kLpDriverOwnRequest) {
        wanted = Pending::ToDriver;
        latency = &driverOwnLatency_;
    } else if (value == kLpFirmwareOwnRequest) {
        wanted = Pending::ToFirmware;
        latency = &firmwareOwnLatency_;
    } else {
        return;
    }
    bool alreadyThere = wanted == Pending::ToDriver ? !firmware : firmware;
    if (alreadyThere) {
        pending_ = Pending::None;  // a request back to where the chip is cancels one going the other way
        return;
    }
    int64_t due = kshim::host::ClockNow() + latency->units100ns;
    if (pending_ == wanted) {
        // Asked again while on its way: the earlier of the two times holds (a request made after
        // the latency knob changed may complete sooner than a first one that never would).
        if (latency->never || (!dueNever_ && due_ <= due)) {
            return;
        }
    }
    pending_ = wanted;
    dueNever_ = latency->never;
    due_ = due;
}

}  // namespace sim::chip
