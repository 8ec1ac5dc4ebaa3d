// The rings on common buffers against a simulated chip: what starting transmit and receive programs
// into the chip on each generation, the free-descriptor arithmetic, a loop-back of several hundred
// descriptors with reclaim and wrap, a chip that reports a DMA index outside the ring, and the rings
// the chip loses while the firmware owns it.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "hal/chips/qzarvel2x.h"
#include "hif_support.h"
#include "platform/ndis6/n6pci.h"

namespace {

using hiftest::Device;
using sim::chip::RxRole;
using sim::chip::TxRole;

constexpr ULONG kTxRingRegs = 0x7C024300;
constexpr ULONG kRxRingRegs = 0x7C024500;
constexpr ULONG kGloCfg = 0x7C024208;
// The delayed-interrupt register the driver writes by its BAR offset 0xD7038.
constexpr ULONG kHwDelayInt = 0x7C027038;

class Rings : public Device, public ::testing::WithParamInterface<USHORT> {};

INSTANTIATE_TEST_SUITE_P(Generations, Rings, ::testing::Values<USHORT>(0x3502, 0x3602),
                         [](const auto& info) { return "chip" + std::to_string(info.param == 0x3502 ? 3502 : 3602); });

TEST_P(Rings, StartProgramsFourTransmitAndThreeReceiveRings)
{
    Prepare(GetParam());
    Start();
    const sim::chip::RingMap& map = chip_->rings();
    const TxRole txRoles[4] = {TxRole::Data0, TxRole::Data1, TxRole::Command, TxRole::Download};
    const ULONG txSlots[4] = {4094, 1024, 128, 128};
    for (ULONG i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "transmit ring " << i);
        const PCI_TX_RING& ring = hif_->TxRing[i];
        ULONG block = kTxRingRegs + 0x10 * map.TxRing(txRoles[i]);
        EXPECT_EQ(chip_->Peek(block), static_cast<uint32_t>(ring.Area.La));
        EXPECT_EQ(ring.Area.La >> 32, 0u);
        EXPECT_EQ(chip_->Peek(block + 4), txSlots[i]);
        EXPECT_EQ(chip_->Peek(block + 8), 0u);
        EXPECT_EQ(ring.SlotCount, txSlots[i]);
        EXPECT_EQ(ring.CpuIndex, 0u);
        EXPECT_EQ(NdisCommonHifPciTxRingFreeCount(&ring), txSlots[i] - 1);
        // Descriptors the host never used read as done.
        EXPECT_NE(ring.Slots[txSlots[i] - 1].DescriptorVa->Control & WPDMA_CTRL_DMA_DONE, 0u);
    }
    const RxRole rxRoles[3] = {RxRole::Frames, RxRole::Events, RxRole::Reports};
    const ULONG rxSlots[3] = {4095, 4095, 768};
    const ULONG rxBuffer[3] = {4096, 3840, 3840};
    for (ULONG i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "receive ring " << i);
        const PCI_RX_RING& ring = hif_->RxRing[i];
        ULONG block = kRxRingRegs + 0x10 * map.RxRing(rxRoles[i]);
        EXPECT_EQ(chip_->Peek(block), static_cast<uint32_t>(ring.Area.La));
        EXPECT_EQ(chip_->Peek(block + 4), rxSlots[i]);
        EXPECT_EQ(chip_->Peek(block + 8), rxSlots[i] - 1);
        EXPECT_EQ(ring.CpuIndex, rxSlots[i] - 1);
        EXPECT_EQ(ring.ReadIndex, 0u);
        EXPECT_EQ(ring.BufferSize, rxBuffer[i]);
        for (ULONG k : {ULONG{0}, rxSlots[i] / 2, rxSlots[i] - 1}) {
            const DMA_RING_SLOT& slot = ring.Slots[k];
            ASSERT_NE(slot.Record, nullptr);
            EXPECT_EQ(slot.DescriptorVa->BufferLow, static_cast<ULONG>(slot.BufferLa));
            EXPECT_EQ(slot.DescriptorVa->Word2, static_cast<ULONG>(slot.BufferLa >> 32));
            EXPECT_EQ(slot.DescriptorVa->Control, rxBuffer[i] << 16);
            EXPECT_EQ(slot.BufferLength, rxBuffer[i]);
        }
    }
    EXPECT_EQ(chip_->Peek(kGloCfg) & 0x5u, 0x5u);
    EXPECT_NE(chip_->Peek(ARVEL_RING_MARKER) & ARVEL_RING_MARKER_PRESENT, 0u);
    EXPECT_EQ(chip_->Peek(kHwDelayInt), adapter_->HalInfo.HwDelayIntValue);
    EXPECT_TRUE(AdapterTestFlags(adapter_, ADAPTER_FLAG_TX_RINGS_READY));
    // The interrupt object's enable callback ran the chip's enable.
    EXPECT_EQ(adapter_->InterruptsDisabled, 0);
    EXPECT_NE(chip_->Peek(0x7C024204), 0u);
    // The receive pools keep what the rings did not take.
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 0), RX_DMAQ_POOL0_RECORDS - 4095);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 2), RX_DMAQ_POOL2_RECORDS - 768);
    EXPECT_TRUE(chip_->RingFaults().empty());
}

TEST_P(Rings, StaleReceiveDescriptorsAreCleanedWhenProgrammed)
{
    Prepare(GetParam());
    PCI_RX_RING& ring = hif_->RxRing[1];
    ring.Slots[7].DescriptorVa->Control |= WPDMA_CTRL_DMA_DONE;
    ring.Slots[9].DescriptorVa->Control = (ring.Slots[9].DescriptorVa->Control & 0xC000FFFFu) | (100u << 16);
    Start();
    EXPECT_EQ(ring.Slots[7].DescriptorVa->Control & WPDMA_CTRL_DMA_DONE, 0u);
    // The third generation also repairs a corrupted length field.
    ULONG length = (ring.Slots[9].DescriptorVa->Control >> 16) & WPDMA_CTRL_LENGTH_MASK;
    EXPECT_EQ(length, GetParam() == 0x3602 ? 3840u : 100u);
}

TEST_P(Rings, StopTouchesNoRegisterAndStartRefusesAGoneDevice)
{
    Prepare(GetParam());
    UCHAR progress[16] = {};
    progress[HIF_PROGRESS_TX_STARTED] = progress[HIF_PROGRESS_RX_STARTED] = 1;
    EXPECT_EQ(NdisCommonHifStopTxRx(hif_, progress), STATUS_SUCCESS);
    EXPECT_TRUE(chip_->Transcript().empty());
    EXPECT_EQ(progress[HIF_PROGRESS_TX_STARTED], 0);
    AdapterSetFlag(adapter_, ADAPTER_FLAG_NOT_RESPONDING, __func__);
    EXPECT_EQ(NdisCommonHifPciStartTxRx(hif_), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(NdisCommonHifPciStopTxRx(hif_), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(chip_->Transcript().empty());
    AdapterClearFlag(adapter_, ADAPTER_FLAG_NOT_RESPONDING, __func__);
}

// ---- free descriptors ------------------------------------------------------------------------------------
TEST_P(Rings, FreeDescriptorsKeepOneSlotEmpty)
{
    Prepare(GetParam());
    struct Case {
        UCHAR ring;
        ULONG cpu, reclaim, count;
        NTSTATUS status;
        ULONG free;
    } cases[] = {
        {0, 10, 10, 4093, STATUS_SUCCESS, 4093},
        {0, 10, 10, 4094, STATUS_INSUFFICIENT_RESOURCES, 4093},
        {0, 4093, 0, 1, STATUS_INSUFFICIENT_RESOURCES, 0},
        {0, 5, 9, 3, STATUS_SUCCESS, 3},
        {2, 127, 0, 1, STATUS_INSUFFICIENT_RESOURCES, 0},
        {2, 0, 1, 1, STATUS_INSUFFICIENT_RESOURCES, 0},
        {2, 1, 0, 126, STATUS_SUCCESS, 126},
        {4, 0, 0, 1, STATUS_INSUFFICIENT_RESOURCES, 0},
        {1, 0, 0, 0, STATUS_UNSUCCESSFUL, 1023},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ring " << int(c.ring) << " cpu " << c.cpu << " reclaim " << c.reclaim);
        if (c.ring < PCI_TX_RING_COUNT) {
            hif_->TxRing[c.ring].CpuIndex = c.cpu;
            hif_->TxRing[c.ring].ReclaimIndex = c.reclaim;
            EXPECT_EQ(NdisCommonHifPciTxRingFreeCount(&hif_->TxRing[c.ring]), c.free);
        }
        EXPECT_EQ(NdisCommonHifFreeDescriptorRequest(adapter_, c.ring, c.count), c.status);
    }
}

// ---- loop-back -------------------------------------------------------------------------------------------
// Puts one buffer on a transmit ring as a sender does: the descriptor under the ring lock, then the
// chip's CPU index. False when the ring is full.
bool Submit(PCI_HIF_CONTEXT* hif, ULONG ringIndex, PTX_DMAQ_DESC record, ULONG length)
{
    PCI_TX_RING& ring = hif->TxRing[ringIndex];
    NdisCommonHifPciAcquireTxRingLock(hif, ringIndex);
    if (NdisCommonHifPciTxRingFreeCount(&ring) == 0) {
        NdisCommonHifPciReleaseTxRingLock(hif, ringIndex);
        return false;
    }
    DMA_RING_SLOT& slot = ring.Slots[ring.CpuIndex];
    slot.BufferVa = record->BufferVa;
    slot.BufferLength = length;
    slot.CmdSlotIndex = PCI_RING_NO_CMD_SLOT;
    PWPDMA_DESC d = slot.DescriptorVa;
    d->BufferLow = static_cast<ULONG>(record->BufferLa);
    d->Word2 = 0;
    d->Word3 = static_cast<ULONG>(record->BufferLa >> 32) & 0xFFFF;
    __atomic_store_n(&d->Control, (length << 16) | WPDMA_CTRL_LAST_SEGMENT, __ATOMIC_RELEASE);
    ring.CpuIndex = (ring.CpuIndex + 1) % ring.SlotCount;
    ++ring.InFlight;
    (void)HifIoWrite32(hif->Adapter, ring.Regs.CpuIndex, ring.CpuIndex);
    NdisCommonHifPciReleaseTxRingLock(hif, ringIndex);
    return true;
}

TEST_P(Rings, LoopBackThroughTheCommandRingWithReclaimAndWrap)
{
    Prepare(GetParam());
    Start();
    const unsigned hwCommand = chip_->rings().TxRing(TxRole::Command);
    // The consumer runs inside the device on the thread that moved the CPU index.
    constexpr ULONG kCount = 600;
    std::vector<std::atomic<uint32_t>> seen(kCount);
    std::atomic<size_t> count{0};
    chip_->SetTxConsumer(hwCommand, [&](const sim::chip::TxBuffer& b) {
        uint32_t tag = 0;
        std::memcpy(&tag, b.data, sizeof(tag));
        size_t n = count.fetch_add(1);
        if (n < kCount) {
            seen[n].store(tag);
        }
    });
    std::vector<PTX_DMAQ_DESC> outstanding;
    ULONG submitted = 0;
    ULONG reclaims = 0;
    while (submitted < kCount) {
        PTX_DMAQ_DESC record = TxDmaqAlloc(adapter_, 1);
        ASSERT_NE(record, nullptr);
        ULONG length = 16 + submitted % 200;
        std::memset(record->BufferVa, 0, length);
        std::memcpy(record->BufferVa, &submitted, sizeof(submitted));
        if (!Submit(hif_, PCI_TX_RING_COMMAND, record, length)) {
            TxDmaqFree(adapter_, record);
            ULONG free = NdisCommonHifUpdateTxRingIdx(hif_, PCI_TX_RING_COMMAND);
            ++reclaims;
            // Records of descriptors the chip has finished go home.
            ULONG inFlight = hif_->TxRing[PCI_TX_RING_COMMAND].InFlight;
            while (outstanding.size() > inFlight) {
                TxDmaqFree(adapter_, outstanding.front());
                outstanding.erase(outstanding.begin());
            }
            ASSERT_GT(free, 0u);
            continue;
        }
        outstanding.push_back(record);
        ++submitted;
    }
    EXPECT_EQ(NdisCommonHifUpdateTxRingIdx(hif_, PCI_TX_RING_COMMAND), 127u);
    for (PTX_DMAQ_DESC record : outstanding) {
        TxDmaqFree(adapter_, record);
    }
    // The command ring's completion routine may still run in the deferred routine: read under the lock.
    NdisCommonHifPciAcquireTxRingLock(hif_, PCI_TX_RING_COMMAND);
    const PCI_TX_RING ring = hif_->TxRing[PCI_TX_RING_COMMAND];
    NdisCommonHifPciReleaseTxRingLock(hif_, PCI_TX_RING_COMMAND);
    EXPECT_EQ(ring.InFlight, 0u);
    EXPECT_EQ(ring.ReclaimIndex, kCount % 128);
    EXPECT_EQ(ring.CpuIndex, kCount % 128);
    EXPECT_GE(reclaims, kCount / 128);
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 1), TX_DMAQ_POOL1_RECORDS);
    EXPECT_EQ(chip_->TxConsumed(hwCommand), kCount);
    ASSERT_EQ(count.load(), kCount);
    for (ULONG i = 0; i < kCount; ++i) {
        EXPECT_EQ(seen[i].load(), i);
    }
    EXPECT_TRUE(chip_->RingFaults().empty());
}

TEST_P(Rings, AReceivedBufferLandsInTheSlotTheRingGaveIt)
{
    // Receive buffers above 4 GB: the descriptor carries all 64 bits of the address.
    kshim::host::DmaSetPlacement({0x10000000, 0x1'2000'0000ull, 1u << 20});
    Prepare(GetParam());
    Start();
    // The deferred routine would take the buffer and give the slot a fresh one: it stays away.
    InterruptsOff();
    const unsigned hw = chip_->rings().RxRing(RxRole::Events);
    const uint8_t event[40] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(chip_->PushRx(hw, event, sizeof(event)), sim::chip::RxResult::Ok);
    const DMA_RING_SLOT& slot = hif_->RxRing[1].Slots[0];
    EXPECT_EQ(slot.DescriptorVa->Control, WPDMA_CTRL_DMA_DONE | WPDMA_CTRL_LAST_SEGMENT | (40u << 16));
    EXPECT_EQ(std::memcmp(slot.BufferVa, event, sizeof(event)), 0);
}

// ---- a chip that reports a DMA index outside the ring ----------------------------------------------------
TEST_P(Rings, ADmaIndexOutsideTheHandedSlotsReclaimsNothing)
{
    Prepare(GetParam());
    Start();
    const unsigned hwData1 = chip_->rings().TxRing(TxRole::Data1);
    chip_->SetTxHold(true);
    std::vector<PTX_DMAQ_DESC> records;
    for (int i = 0; i < 5; ++i) {
        records.push_back(TxDmaqAlloc(adapter_, 1));
        ASSERT_TRUE(Submit(hif_, PCI_TX_RING_DATA1, records.back(), 64));
    }
    const PCI_TX_RING& ring = hif_->TxRing[PCI_TX_RING_DATA1];
    // Indexes past this 1024-slot ring, past every ring, or past the CPU index: the walk would never
    // meet them; nothing is reclaimed and the call returns.
    for (uint32_t d : {2000u, 0xFFFu, 4093u, 1024u, 6u, 700u}) {
        SCOPED_TRACE(d);
        chip_->SetDmaIndexOverride(false, hwData1, d);
        ULONG free = NdisCommonHifUpdateTxRingIdx(hif_, PCI_TX_RING_DATA1);
        EXPECT_EQ(ring.ReclaimIndex, 0u);
        EXPECT_EQ(ring.InFlight, 5u);
        EXPECT_LE(free, 1018u);
    }
    // An index inside the window whose descriptors are not done yet stops at the first of them.
    chip_->SetDmaIndexOverride(false, hwData1, 3);
    EXPECT_EQ(NdisCommonHifUpdateTxRingIdx(hif_, PCI_TX_RING_DATA1), 1018u);
    EXPECT_EQ(ring.ReclaimIndex, 0u);
    chip_->SetDmaIndexOverride(false, hwData1, std::nullopt);
    chip_->SetTxHold(false);
    EXPECT_EQ(NdisCommonHifUpdateTxRingIdx(hif_, PCI_TX_RING_DATA1), 1023u);
    EXPECT_EQ(ring.InFlight, 0u);
    for (PTX_DMAQ_DESC r : records) {
        TxDmaqFree(adapter_, r);
    }
}

// ---- rings lost while the firmware owns the chip ----------------------------------------------------------
TEST_P(Rings, DriverOwnRestoresRingsTheChipLost)
{
    Prepare(GetParam());
    Start();
    adapter_->FwDownloaded = 1;
    const unsigned hwFrames = chip_->rings().RxRing(RxRole::Frames);
    const ULONG rxBase = kRxRingRegs + 0x10 * hwFrames;
    UCHAR done = 0;
    // Without a loss the driver only repeats the delayed-interrupt settings.
    adapter_->HalOps.SetFwOwn(adapter_, &done);
    ASSERT_EQ(done, 1);
    adapter_->LowPower.FwOwn[0] = 1;
    chip_->ClearTranscript();
    EXPECT_EQ(NdisCommonHifPmSetDriverOwn(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(Writes(rxBase), 0u);
    EXPECT_EQ(Writes(kHwDelayInt), 1u);
    // The chip loses its ring registers when the firmware takes it: the driver programs them again.
    chip_->SetLoseRingsWhileFirmwareOwns(true);
    adapter_->HalOps.SetFwOwn(adapter_, &done);
    adapter_->LowPower.FwOwn[0] = 1;
    ASSERT_EQ(chip_->Peek(rxBase), 0u);
    chip_->ClearTranscript();
    EXPECT_EQ(NdisCommonHifPmSetDriverOwn(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->LowPower.FwOwn[0], 0);
    EXPECT_EQ(chip_->Peek(rxBase), static_cast<uint32_t>(hif_->RxRing[0].Area.La));
    EXPECT_EQ(chip_->Peek(rxBase + 4), 4095u);
    EXPECT_NE(chip_->Peek(ARVEL_RING_MARKER) & ARVEL_RING_MARKER_PRESENT, 0u);
    EXPECT_EQ(chip_->Peek(kGloCfg) & 0x5u, 0x5u);
    EXPECT_TRUE(chip_->RingFaults().empty());
}

}  // namespace
