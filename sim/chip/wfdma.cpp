#include "chip/wfdma.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "kshim/host/dma.h"
#include "kshim/irql.h"

namespace sim::chip {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void PutLe32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

const char* RxResultName(RxResult result)
{
    switch (result) {
    case RxResult::Ok: return "ok";
    case RxResult::Full: return "full";
    case RxResult::Disabled: return "disabled";
    case RxResult::NotProgrammed: return "not programmed";
    case RxResult::TooLong: return "too long";
    case RxResult::BadDescriptor: return "bad descriptor";
    case RxResult::DmaFault: return "DMA fault";
    }
    return "?";
}

Wfdma::Wfdma(const Model& model, InterruptModel& interrupts)
    : model_(model), map_(RingMapFor(model)), interrupts_(interrupts)
{
}

bool Wfdma::Handles(uint32_t address) const
{
    if (!map_.present) {
        return false;
    }
    if (address == kWfdmaGloCfg || address == kWfdmaTxPtrReset || address == kWfdmaRxPtrReset) {
        return true;
    }
    if (address == kWfdmaIdleGen2) {
        return model_.generation == Generation::Second;
    }
    return address >= kTxRingBase && address < kRxRingBase + 0x10 * kRxHwRings;
}

bool Wfdma::TxWaiting(const RegisterFile& r) const
{
    for (unsigned h = 0; h < kTxHwRings; ++h) {
        if ((r.Get(TxReg(h, kRingRegCount)) & kRingIndexMask) != 0 &&
            r.Get(TxReg(h, kRingRegCpuIndex)) != r.Get(TxReg(h, kRingRegDmaIndex))) {
            return true;
        }
    }
    return false;
}

uint32_t Wfdma::ReadConfig(const RegisterFile& r, uint32_t address)
{
    bool knob = busyReads_ != 0;
    bool tx = (knob && busyTx_) || (txHold_ && (r.Get(kWfdmaGloCfg) & kGloTxEnable) != 0 && TxWaiting(r));
    bool rx = knob && busyRx_;
    if (knob && busyReads_ != kForever) {
        --busyReads_;
    }
    uint32_t value = r.Get(address) & ~(kGloTxBusy | kGloRxBusy);
    return value | (tx ? kGloTxBusy : 0) | (rx ? kGloRxBusy : 0);
}

uint32_t Wfdma::Read(RegisterFile& r, uint32_t address)
{
    if (address == kWfdmaGloCfg || address == kWfdmaIdleGen2) {
        return ReadConfig(r, address);
    }
    if (address == kWfdmaTxPtrReset || address == kWfdmaRxPtrReset) {
        return 0;
    }
    if ((address & 0xF) == kRingRegDmaIndex) {
        bool rx = address >= kRxRingBase;
        unsigned ring = ((address - (rx ? kRxRingBase : kTxRingBase)) >> 4);
        const std::optional<uint32_t>& o = rx ? rxIndexOverride_[ring] : txIndexOverride_[ring];
        if (o) {
            return *o;
        }
    }
    return r.Get(address);
}

void Wfdma::Write(RegisterFile& r, uint32_t address, uint32_t value)
{
    if (address == kWfdmaGloCfg) {
        bool wasOn = (r.Get(address) & kGloTxEnable) != 0;
        r.Set(address, value & ~(kGloTxBusy | kGloRxBusy));
        if (!wasOn && (value & kGloTxEnable) != 0) {
            ConsumeAllTx(r);
        }
        return;
    }
    if (address == kWfdmaIdleGen2) {
        r.Set(address, value & ~(kGloTxBusy | kGloRxBusy));
        return;
    }
    if (address == kWfdmaTxPtrReset || address == kWfdmaRxPtrReset) {
        bool rx = address == kWfdmaRxPtrReset;
        unsigned rings = rx ? kRxHwRings : kTxHwRings;
        for (unsigned h = 0; h < rings; ++h) {
            if ((value & (1u << h)) != 0) {
                r.Set(rx ? RxReg(h, kRingRegDmaIndex) : TxReg(h, kRingRegDmaIndex), 0);
            }
        }
        return;
    }
    bool rx = address >= kRxRingBase;
    unsigned ring = (address - (rx ? kRxRingBase : kTxRingBase)) >> 4;
    switch (address & 0xF) {
    case kRingRegBase:
        r.Set(address, value);
        break;
    case kRingRegCount:
        r.Set(address, value & kRingIndexMask);
        break;
    case kRingRegCpuIndex:
        r.Set(address, value & kRingIndexMask);
        if (!rx) {
            ConsumeTx(r, ring);
        }
        break;
    default:
        break;  // the DMA index is the engine's; host writes are dropped
    }
}

void Wfdma::Fault(const std::string& what)
{
    faults_.push_back(what);
    if (strict_) {
        KshimViolation("device: ring fault", what.c_str());
    }
}

void Wfdma::ConsumeAllTx(RegisterFile& r)
{
    for (unsigned h = 0; h < kTxHwRings; ++h) {
        ConsumeTx(r, h);
    }
}

void Wfdma::ConsumeTx(RegisterFile& r, unsigned ring)
{
    if ((r.Get(kWfdmaGloCfg) & kGloTxEnable) == 0 || txHold_ || consuming_[ring]) {
        return;
    }
    consuming_[ring] = true;  // a consumer that reaches this ring again does not nest
    uint32_t batch = 0;
    std::vector<uint8_t> buffer;
    for (;;) {
        uint32_t count = r.Get(TxReg(ring, kRingRegCount)) & kRingIndexMask;
        uint32_t cpu = r.Get(TxReg(ring, kRingRegCpuIndex)) & kRingIndexMask;
        uint32_t dma = r.Get(TxReg(ring, kRingRegDmaIndex)) & kRingIndexMask;
        if (dma == cpu) {
            break;
        }
        char detail[160];
        if (count == 0 || cpu >= count || dma >= count) {
            std::snprintf(detail, sizeof(detail), "TX ring %u: CPU index %u, DMA index %u, count %u", ring, cpu, dma,
                          count);
            Fault(detail);
            break;
        }
        uint64_t desc = static_cast<uint64_t>(r.Get(TxReg(ring, kRingRegBase))) + kDescSize * dma;
        uint8_t d[kDescSize];
        if (!kshim::host::DmaRead(desc, d, sizeof(d))) {
            break;  // reported by the bus; the ring stops here
        }
        uint32_t control = Le32(d + 4);
        uint32_t length = (control >> kDescLengthShift) & kDescLengthMask;
        uint64_t address = Le32(d) | (static_cast<uint64_t>(Le32(d + 12) & 0xFFFF) << 32);
        if ((control & kDescLastSegment) == 0 || length == 0) {
            std::snprintf(detail, sizeof(detail), "TX ring %u slot %u: control 0x%08x (length %u, last %u)", ring, dma,
                          control, length, (control & kDescLastSegment) != 0 ? 1u : 0u);
            Fault(detail);
        } else {
            buffer.resize(length);
            if (kshim::host::DmaRead(address, buffer.data(), length)) {
                TxConsumer consumer = consumers_[ring];
                if (consumer) {
                    consumer(TxBuffer{ring, dma, address, buffer.data(), length});
                }
            }
        }
        // DMA done first, then the index: the host never sees the index past a slot not done.
        PutLe32(d + 4, control | kDescDmaDone);
        kshim::host::DmaWrite(desc + 4, d + 4, 4);
        r.Set(TxReg(ring, kRingRegDmaIndex), (dma + 1) % count);
        ++consumed_[ring];
        ++batch;
    }
    consuming_[ring] = false;
    if (batch != 0 && map_.txBit[ring] >= 0) {
        interrupts_.SetHostStatus(r, 1u << map_.txBit[ring]);
    }
}

void Wfdma::SetTxConsumer(unsigned ring, TxConsumer consumer)
{
    if (ring < kTxHwRings) {
        consumers_[ring] = std::move(consumer);
    }
}

RxResult Wfdma::PushRx(RegisterFile& r, unsigned ring, const void* data, size_t length)
{
    if (!map_.present || ring >= kRxHwRings) {
        return RxResult::NotProgrammed;
    }
    if ((r.Get(kWfdmaGloCfg) & kGloRxEnable) == 0) {
        return RxResult::Disabled;
    }
    uint32_t count = r.Get(RxReg(ring, kRingRegCount)) & kRingIndexMask;
    uint32_t cpu = r.Get(RxReg(ring, kRingRegCpuIndex)) & kRingIndexMask;
    uint32_t dma = r.Get(RxReg(ring, kRingRegDmaIndex)) & kRingIndexMask;
    if (count == 0 || cpu >= count || dma >= count) {
        return RxResult::NotProgrammed;
    }
    if (dma == cpu) {
        return RxResult::Full;
    }
    uint64_t desc = static_cast<uint64_t>(r.Get(RxReg(ring, kRingRegBase))) + kDescSize * dma;
    uint8_t d[kDescSize];
    if (!kshim::host::DmaRead(desc, d, sizeof(d))) {
        return RxResult::DmaFault;
    }
    uint32_t capacity = (Le32(d + 4) >> kDescLengthShift) & kDescLengthMask;
    uint64_t address = Le32(d) | (static_cast<uint64_t>(Le32(d + 8)) << 32);
    if (capacity == 0) {
        char detail[96];
        std::snprintf(detail, sizeof(detail), "RX ring %u slot %u: buffer length 0", ring, dma);
        Fault(detail);
        return RxResult::BadDescriptor;
    }
    if (length > capacity) {
        return RxResult::TooLong;
    }
    if (length != 0 && !kshim::host::DmaWrite(address, data, length)) {
        return RxResult::DmaFault;
    }
    uint8_t control[4];
    PutLe32(control, kDescDmaDone | kDescLastSegment | (static_cast<uint32_t>(length) << kDescLengthShift));
    if (!kshim::host::DmaWrite(desc + 4, control, sizeof(control))) {
        return RxResult::DmaFault;
    }
    r.Set(RxReg(ring, kRingRegDmaIndex), (dma + 1) % count);
    ++filled_[ring];
    if (map_.rxBit[ring] >= 0) {
        interrupts_.SetHostStatus(r, 1u << map_.rxBit[ring]);
    }
    return RxResult::Ok;
}

void Wfdma::LoseRings(RegisterFile& r)
{
    for (unsigned h = 0; h < kTxHwRings; ++h) {
        for (uint32_t reg = 0; reg < 0x10; reg += 4) {
            r.Set(TxReg(h, reg), 0);
        }
    }
    for (unsigned h = 0; h < kRxHwRings; ++h) {
        for (uint32_t reg = 0; reg < 0x10; reg += 4) {
            r.Set(RxReg(h, reg), 0);
        }
    }
}

void Wfdma::SetTxHold(RegisterFile& r, bool hold)
{
    txHold_ = hold;
    if (!hold) {
        ConsumeAllTx(r);
    }
}

void Wfdma::SetBusy(bool tx, bool rx, uint32_t reads)
{
    busyTx_ = tx;
    busyRx_ = rx;
    busyReads_ = reads;
}

void Wfdma::SetDmaIndexOverride(bool rx, unsigned ring, std::optional<uint32_t> value)
{
    if (rx && ring < kRxHwRings) {
        rxIndexOverride_[ring] = value;
    } else if (!rx && ring < kTxHwRings) {
        txIndexOverride_[ring] = value;
    }
}

}  // namespace sim::chip
