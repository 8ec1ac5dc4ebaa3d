#include "chip/interrupts.h"

namespace sim::chip {

InterruptModel::InterruptModel(const Model& model) : model_(model) {}

bool InterruptModel::Handles(uint32_t address) const
{
    if (model_.generation == Generation::Older) {
        return false;
    }
    switch (address) {
    case kHostIntStatus:
    case kHostIntEnable:
    case kSwIntStatus:
    case kSwIntEnable:
    case kMacIntEnable:
    case kMacIntStatus:
        return true;
    case kHostIntEnableSet:
    case kHostIntEnableClear:
        return model_.generation == Generation::Third;
    default:
        return false;
    }
}

uint32_t InterruptModel::HostStatus(const RegisterFile& r) const
{
    uint32_t status = r.Get(kHostIntStatus) & ~kHostIntSoftware;
    if ((r.Get(kSwIntStatus) & r.Get(kSwIntEnable)) != 0) {
        status |= kHostIntSoftware;
    }
    return status;
}

// The PCIe MAC status bits its enable lets through: second generation enable bit 8 passes status bit
// 8 (PCIe error); third generation enable bit 16 passes status bit 16 (PCIe error) and, on 3602,
// bit 20 (host communication).
uint32_t InterruptModel::MacGate(const RegisterFile& r) const
{
    uint32_t enable = r.Get(kMacIntEnable);
    if (model_.generation == Generation::Second) {
        return (enable & 0x100u) != 0 ? 0x100u : 0;
    }
    if ((enable & 0x10000u) == 0) {
        return 0;
    }
    return model_.design == 0x3602 ? 0x110000u : 0x10000u;
}

uint64_t InterruptModel::Line(const RegisterFile& r) const
{
    uint64_t host = HostStatus(r) & r.Get(kHostIntEnable);
    uint64_t mac = r.Get(kMacIntStatus) & MacGate(r);
    return host | (mac << 32);
}

void InterruptModel::Evaluate(const RegisterFile& r, uint64_t deviceSet)
{
    uint64_t line = Line(r);
    uint64_t rising = reassert_ ? (line & ~line_) : (line & deviceSet);
    if (rising != 0) {
        raise_ = true;
    }
    line_ = line;
}

bool InterruptModel::TakeRaise()
{
    bool raise = raise_;
    raise_ = false;
    return raise;
}

uint32_t InterruptModel::Read(RegisterFile& r, uint32_t address)
{
    switch (address) {
    case kHostIntStatus:
        return HostStatus(r);
    case kHostIntEnableSet:
    case kHostIntEnableClear:
        return 0;  // write-only
    default:
        return r.Get(address);
    }
}

void InterruptModel::Write(RegisterFile& r, uint32_t address, uint32_t value)
{
    switch (address) {
    case kHostIntStatus:
        // Bit 29 follows the software interrupt status; writing it changes nothing.
        r.Set(address, r.Get(address) & ~(value & ~kHostIntSoftware));
        break;
    case kHostIntEnable:
        if (model_.generation == Generation::Second) {
            r.Set(address, value);
        }
        break;
    case kHostIntEnableSet:
        r.Set(kHostIntEnable, r.Get(kHostIntEnable) | value);
        break;
    case kHostIntEnableClear:
        r.Set(kHostIntEnable, r.Get(kHostIntEnable) & ~value);
        break;
    case kSwIntStatus:
    case kMacIntStatus:
        r.Set(address, r.Get(address) & ~value);
        break;
    default:
        r.Set(address, value);
        break;
    }
    Evaluate(r, 0);
}

void InterruptModel::SetHostStatus(RegisterFile& r, uint32_t bits)
{
    bits &= ~kHostIntSoftware;
    r.Set(kHostIntStatus, r.Get(kHostIntStatus) | bits);
    Evaluate(r, bits);
}

void InterruptModel::SetSoftwareStatus(RegisterFile& r, uint32_t bits)
{
    r.Set(kSwIntStatus, r.Get(kSwIntStatus) | bits);
    Evaluate(r, (r.Get(kSwIntEnable) & bits) != 0 ? kHostIntSoftware : 0);
}

void InterruptModel::SetMacStatus(RegisterFile& r, uint32_t bits)
{
    r.Set(kMacIntStatus, r.Get(kMacIntStatus) | bits);
    Evaluate(r, static_cast<uint64_t>(bits) << 32);
}

}  // namespace sim::chip
