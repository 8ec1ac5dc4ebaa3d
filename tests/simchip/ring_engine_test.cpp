// The chip's WFDMA ring engine seen from the host: transmit rings consumed in order with wrap,
// DMA done before the index, buffers above 4 GiB, held and disabled rings, malformed descriptors and
// stale bus addresses; receive rings filled up to the slot the host returned; pointer resets and
// the DMA-index knob.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../kshim/wdf_fixture.h"
#include "simchip_support.h"

namespace {

using namespace sim::chip;
using kshim_test::ViolationRecorder;
using simtest::HostMemory;
using simtest::Le32;
using simtest::Registers;
using simtest::RxReg;
using simtest::TxReg;

constexpr uint32_t kSlots = 128;
constexpr uint32_t kBufferStride = 256;

struct Consumed {
    uint32_t slot;
    std::vector<uint8_t> data;
};

class RingEngineTest : public ::testing::Test {
protected:
    void TearDown() override { kshim::host::DmaResetDefaults(); }
};

TEST_F(RingEngineTest, TransmitRingIsConsumedInOrderAcrossWrapsWithEachSlotMarkedDone)
{
    Chip chip(0x3602);
    Registers regs(chip);
    const unsigned ring = chip.rings().TxRing(TxRole::Command);
    ASSERT_EQ(ring, 15u);
    // Descriptors below 4 GiB (the base register holds 32 bits), buffers above it.
    kshim::host::DmaSetPlacement({0x10000000, 0x200000000, 4096});
    HostMemory descriptors(kSlots * kDescSize, 64);
    HostMemory buffers(kSlots * kBufferStride, 64);
    ASSERT_LT(descriptors.bus(), 0x100000000u);
    ASSERT_GE(buffers.bus(), 0x200000000u);

    std::vector<Consumed> seen;
    chip.SetTxConsumer(ring, [&](const TxBuffer& b) {
        EXPECT_EQ(b.ring, ring);
        seen.push_back(Consumed{b.slot, std::vector<uint8_t>(b.data, b.data + b.length)});
    });
    regs.Write(kWfdmaGloCfg, 0);
    simtest::ProgramTxRing(regs, ring, descriptors.bus(), kSlots);
    regs.Write(kWfdmaGloCfg, kGloTxEnable | kGloRxEnable);

    uint32_t cpu = 0;
    uint32_t posted = 0;
    uint32_t batch = 1;
    while (posted < 600) {
        // The host reuses a slot only after the DMA index has passed it.
        uint32_t dma = regs.Read(TxReg(ring, kRingRegDmaIndex));
        uint32_t free = (dma + kSlots - cpu - 1) % kSlots;
        ASSERT_EQ(free, kSlots - 1);  // the engine consumes as the CPU index moves
        uint32_t n = std::min({batch, free, 600 - posted});
        for (uint32_t i = 0; i < n; ++i, ++posted) {
            uint8_t* buffer = buffers.data() + cpu * kBufferStride;
            uint32_t length = 1 + posted % 200;
            for (uint32_t k = 0; k < length; ++k) {
                buffer[k] = static_cast<uint8_t>(posted + k);
            }
            simtest::WriteTxDescriptor(descriptors.data() + cpu * kDescSize, buffers.bus() + cpu * kBufferStride,
                                       length);
            cpu = (cpu + 1) % kSlots;
        }
        regs.Write(TxReg(ring, kRingRegCpuIndex), cpu);
        EXPECT_EQ(regs.Read(kHostIntStatus) & (1u << 25), 1u << 25);  // command ring done, once per batch
        regs.Write(kHostIntStatus, 1u << 25);
        batch = batch * 3 % 127 + 1;
    }
    ASSERT_EQ(seen.size(), 600u);
    for (uint32_t i = 0; i < 600; ++i) {
        EXPECT_EQ(seen[i].slot, i % kSlots);
        ASSERT_EQ(seen[i].data.size(), 1 + i % 200);
        EXPECT_EQ(seen[i].data.back(), static_cast<uint8_t>(i + i % 200));
    }
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
        EXPECT_NE(Le32(descriptors.data() + slot * kDescSize + 4) & kDescDmaDone, 0u) << slot;
    }
    EXPECT_EQ(regs.Read(TxReg(ring, kRingRegDmaIndex)), cpu);
    EXPECT_EQ(chip.TxConsumed(ring), 600u);
    EXPECT_EQ(regs.Read(kHostIntStatus), 0u);
}

TEST_F(RingEngineTest, TransmitWaitsWhileDmaIsDisabledOrHeldAndBusyShowsTheWait)
{
    Chip chip(0x3502);
    Registers regs(chip);
    const unsigned ring = chip.rings().TxRing(TxRole::Download);
    HostMemory descriptors(8 * kDescSize);
    HostMemory buffer(64);
    simtest::ProgramTxRing(regs, ring, descriptors.bus(), 8);
    for (uint32_t slot = 0; slot < 3; ++slot) {
        simtest::WriteTxDescriptor(descriptors.data() + slot * kDescSize, buffer.bus(), 64);
    }
    regs.Write(TxReg(ring, kRingRegCpuIndex), 1);
    EXPECT_EQ(chip.TxConsumed(ring), 0u);  // TX DMA is off
    regs.Write(kWfdmaGloCfg, 0x50209070 | kGloTxEnable);
    EXPECT_EQ(chip.TxConsumed(ring), 1u);
    EXPECT_EQ(regs.Read(kWfdmaGloCfg), 0x50209070u | kGloTxEnable);

    chip.SetTxHold(true);
    regs.Write(TxReg(ring, kRingRegCpuIndex), 3);
    EXPECT_EQ(chip.TxConsumed(ring), 1u);
    EXPECT_EQ(regs.Read(kWfdmaGloCfg) & (kGloTxBusy | kGloRxBusy), kGloTxBusy);
    EXPECT_EQ(regs.Read(kWfdmaIdleGen2) & kGloTxBusy, kGloTxBusy);
    chip.SetTxHold(false);
    EXPECT_EQ(chip.TxConsumed(ring), 3u);
    EXPECT_EQ(regs.Read(kWfdmaGloCfg) & kGloTxBusy, 0u);
    EXPECT_EQ(regs.Read(TxReg(ring, kRingRegDmaIndex)), 3u);
    EXPECT_EQ(regs.Read(kHostIntStatus), 1u << 26);
}

TEST_F(RingEngineTest, BusyKnobCountsReadsOrSticks)
{
    Chip chip(0x3602);
    Registers regs(chip);
    chip.SetDmaBusy(true, true, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(regs.Read(kWfdmaGloCfg) & 0xA, 0xAu) << i;
    }
    EXPECT_EQ(regs.Read(kWfdmaGloCfg) & 0xA, 0u);
    chip.SetDmaBusy(false, true, Wfdma::kForever);
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(regs.Read(kWfdmaGloCfg) & 0xA, kGloRxBusy);
    }
    regs.Write(kWfdmaGloCfg, 0xFFFFFFFF);  // busy bits are not the host's to set
    chip.SetDmaBusy(false, false, 0);
    EXPECT_EQ(regs.Read(kWfdmaGloCfg), 0xFFFFFFF5u);
}

TEST_F(RingEngineTest, MalformedDescriptorsAndStaleAddressesAreFaults)
{
    Chip chip(0x3602);
    Registers regs(chip);
    const unsigned ring = chip.rings().TxRing(TxRole::Data0);
    HostMemory descriptors(4 * kDescSize);
    HostMemory buffer(64);
    regs.Write(kWfdmaGloCfg, kGloTxEnable);
    simtest::ProgramTxRing(regs, ring, descriptors.bus(), 4);
    {
        // No last-segment bit, and length 0: noted, the slot still completes so the ring goes on.
        chip.SetStrictRings(false);
        simtest::WriteTxDescriptor(descriptors.data(), buffer.bus(), 64, false);
        simtest::WriteTxDescriptor(descriptors.data() + kDescSize, buffer.bus(), 0);
        regs.Write(TxReg(ring, kRingRegCpuIndex), 2);
        EXPECT_EQ(chip.RingFaults().size(), 2u);
        EXPECT_EQ(regs.Read(TxReg(ring, kRingRegDmaIndex)), 2u);
        EXPECT_NE(Le32(descriptors.data() + 4) & kDescDmaDone, 0u);
        chip.SetStrictRings(true);
    }
    {
        // A CPU index beyond the ring is reported.
        ViolationRecorder recorder;
        regs.Write(TxReg(ring, kRingRegCpuIndex), 9);
        EXPECT_EQ(recorder.Count("device: ring fault"), 1u) << recorder.All();
        regs.Write(TxReg(ring, kRingRegCpuIndex), 2);
    }
    {
        // A buffer address that points at nothing, then a ring whose memory went away.
        ViolationRecorder recorder;
        simtest::WriteTxDescriptor(descriptors.data() + 2 * kDescSize, buffer.bus() + 4096, 64);
        regs.Write(TxReg(ring, kRingRegCpuIndex), 3);
        EXPECT_EQ(recorder.Count("DMA outside any live buffer"), 1u) << recorder.All();
        EXPECT_EQ(regs.Read(TxReg(ring, kRingRegDmaIndex)), 3u);
        regs.Write(TxReg(ring, kRingRegBase), 0x0DEAD000);
        regs.Write(TxReg(ring, kRingRegCpuIndex), 0);
        EXPECT_EQ(recorder.Count("DMA outside any live buffer"), 2u) << recorder.All();
        EXPECT_EQ(regs.Read(TxReg(ring, kRingRegDmaIndex)), 3u);  // stopped at the unreadable slot
    }
}

TEST_F(RingEngineTest, ReceiveRingFillsUpToTheSlotTheHostReturnedAndWraps)
{
    Chip chip(0x3602);
    Registers regs(chip);
    const unsigned ring = chip.rings().RxRing(RxRole::Events);
    ASSERT_EQ(ring, 6u);
    constexpr uint32_t kCount = 8;
    constexpr uint32_t kCapacity = 64;
    kshim::host::DmaSetPlacement({0x10000000, 0x300000000, 1024});
    HostMemory descriptors(kCount * kDescSize, 64);
    HostMemory buffers(kCount * kCapacity * 2, 64);
    ASSERT_GE(buffers.bus(), 0x300000000u);
    auto give = [&](uint32_t slot) {
        simtest::WriteRxDescriptor(descriptors.data() + slot * kDescSize, buffers.bus() + slot * kCapacity * 2,
                                   kCapacity);
    };
    for (uint32_t slot = 0; slot < kCount; ++slot) {
        give(slot);
    }
    simtest::ProgramRxRing(regs, ring, descriptors.bus(), kCount);
    uint8_t payload[kCapacity + 1] = {};
    EXPECT_EQ(chip.PushRx(ring, payload, 4), RxResult::Disabled);
    regs.Write(kWfdmaGloCfg, kGloTxEnable | kGloRxEnable);
    EXPECT_EQ(chip.PushRx(ring, payload, kCapacity + 1), RxResult::TooLong);
    EXPECT_EQ(chip.PushRx(chip.rings().RxRing(RxRole::Frames), payload, 4), RxResult::NotProgrammed);

    uint32_t pushed = 0;
    uint32_t readIndex = 0;  // next slot the host looks at
    for (int round = 0; round < 10; ++round) {
        // Fill until the chip reports the ring full.
        for (;;) {
            uint32_t length = 1 + pushed % kCapacity;
            std::memset(payload, static_cast<int>(pushed), length);
            RxResult result = chip.PushRx(ring, payload, length);
            if (result == RxResult::Full) {
                break;
            }
            ASSERT_EQ(result, RxResult::Ok);
            ++pushed;
        }
        EXPECT_EQ(regs.Read(kHostIntStatus) & (1u << 14), 1u << 14);
        regs.Write(kHostIntStatus, 1u << 14);
        // The host takes every filled slot and gives it back.
        uint32_t dma = regs.Read(RxReg(ring, kRingRegDmaIndex));
        uint32_t taken = 0;
        while (readIndex != dma) {
            uint32_t control = Le32(descriptors.data() + readIndex * kDescSize + 4);
            EXPECT_EQ(control & (kDescDmaDone | kDescLastSegment), kDescDmaDone | kDescLastSegment);
            EXPECT_GE((control >> kDescLengthShift) & kDescLengthMask, 1u);
            give(readIndex);
            readIndex = (readIndex + 1) % kCount;
            ++taken;
        }
        EXPECT_EQ(taken, kCount - 1);
        regs.Write(RxReg(ring, kRingRegCpuIndex), (readIndex + kCount - 1) % kCount);
    }
    EXPECT_EQ(pushed, 10 * (kCount - 1));
    EXPECT_EQ(chip.RxFilled(ring), pushed);
    // The last buffer holds the last payload.
    uint32_t last = (readIndex + kCount - 1) % kCount;
    EXPECT_EQ(buffers.data()[last * kCapacity * 2], static_cast<uint8_t>(pushed - 1));
}

TEST_F(RingEngineTest, PointerResetsZeroDmaIndexesAndTheIndexKnobOverridesReads)
{
    Chip chip(0x3602);
    Registers regs(chip);
    HostMemory descriptors(16 * kDescSize);
    HostMemory buffer(16);
    regs.Write(kWfdmaGloCfg, kGloTxEnable | kGloRxEnable);
    simtest::ProgramTxRing(regs, 1, descriptors.bus(), 16);
    for (uint32_t slot = 0; slot < 5; ++slot) {
        simtest::WriteTxDescriptor(descriptors.data() + slot * kDescSize, buffer.bus(), 16);
    }
    regs.Write(TxReg(1, kRingRegCpuIndex), 5);
    ASSERT_EQ(regs.Read(TxReg(1, kRingRegDmaIndex)), 5u);
    regs.Write(TxReg(1, kRingRegDmaIndex), 9);  // the host cannot move the DMA index
    EXPECT_EQ(regs.Read(TxReg(1, kRingRegDmaIndex)), 5u);
    chip.SetDmaIndexOverride(false, 1, 4094);
    EXPECT_EQ(regs.Read(TxReg(1, kRingRegDmaIndex)), 4094u);
    chip.SetDmaIndexOverride(false, 1, std::nullopt);
    regs.Write(kWfdmaTxPtrReset, 1u << 2);  // another ring
    EXPECT_EQ(regs.Read(TxReg(1, kRingRegDmaIndex)), 5u);
    regs.Write(kWfdmaTxPtrReset, 0xFFFFFFFF);
    EXPECT_EQ(regs.Read(TxReg(1, kRingRegDmaIndex)), 0u);
    EXPECT_EQ(regs.Read(kWfdmaTxPtrReset), 0u);
    EXPECT_EQ(regs.Read(TxReg(1, kRingRegBase)), static_cast<uint32_t>(descriptors.bus()));
}

TEST_F(RingEngineTest, OlderChipHasNoRingEngine)
{
    Chip chip(0x3404);
    EXPECT_FALSE(chip.rings().present);
    chip.MmioWrite(0, 0x4208, 4, 0x5);
    EXPECT_EQ(chip.PushRx(0, "x", 1), RxResult::NotProgrammed);
}

}  // namespace
