// The PCI Express rings of the bus layer.
#include "platform/ndis6/n6pci.h"
#include "platform/wificx/rxqueue.h"

#include "platform/ndis6/n6pci_txqueue.h"

#include "Common/recv.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6indicate.h"

#include "Common/qzcmd.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The older chip's ring registers.
constexpr ULONG kQz3404TxRingRegs = 0x4300;
constexpr ULONG kQz3404RxRingRegs = 0x4400;
constexpr ULONG kRingRegStride = 0x10;
constexpr ULONG kResumeInitRegister = 0x10188;

constexpr ULONG kTxRingSlots[PCI_TX_RING_COUNT] = {PCI_TX_RING0_SLOTS, PCI_TX_RING1_SLOTS, PCI_TX_RING2_SLOTS,
                                                   PCI_TX_RING3_SLOTS};

// A descriptor area of `slots` descriptors; false when the enabler cannot give it.
BOOLEAN CreateRingArea(PMP_ADAPTER adapter, ULONG slots, PCI_RING_AREA* area)
{
    ULONG size = slots * WPDMA_DESC_SIZE;
    WDFCOMMONBUFFER buffer = nullptr;
    if (adapter->DmaEnabler == nullptr ||
        !NT_SUCCESS(WdfCommonBufferCreate(adapter->DmaEnabler, size, WDF_NO_OBJECT_ATTRIBUTES, &buffer))) {
        return FALSE;
    }
    area->CommonBuffer = buffer;
    area->Va = static_cast<PUCHAR>(WdfCommonBufferGetAlignedVirtualAddress(buffer));
    area->La = static_cast<ULONG64>(WdfCommonBufferGetAlignedLogicalAddress(buffer).QuadPart);
    area->Size = size;
    if (area->Va == nullptr) {
        return FALSE;
    }
    PlatformZeroMemory(area->Va, size);
    return TRUE;
}

void DeleteRingArea(PCI_RING_AREA* area)
{
    if (area->CommonBuffer != nullptr) {
        WdfObjectDelete(area->CommonBuffer);
    }
    area->CommonBuffer = nullptr;
    area->Size = 0;
    area->Va = nullptr;
    area->La = 0;
}

// Slot k of an area: its descriptor's addresses.
void PlaceSlot(PDMA_RING_SLOT slot, const PCI_RING_AREA* area, ULONG k)
{
    slot->DescriptorSize = WPDMA_DESC_SIZE;
    slot->DescriptorVa = reinterpret_cast<PWPDMA_DESC>(area->Va + static_cast<size_t>(k) * WPDMA_DESC_SIZE);
    slot->DescriptorLa = area->La + static_cast<ULONG64>(k) * WPDMA_DESC_SIZE;
}

// The command id of a legacy command sits at byte 36 of its buffer; 4 is the firmware power control.
constexpr ULONG kLegacyCmdIdOffset = 36;
constexpr UCHAR kFwPowerCtrlCmdId = 4;

// A filled receive descriptor is waited for every 100 microseconds, at most 101 times.
constexpr ULONG kRxDonePolls = 101;
constexpr ULONG kRxDonePollUs = 100;
// Receive buffer word 0: bits 0-15 the byte count, which must stay below 2352.
constexpr ULONG kRxWord0Length = 4;
constexpr ULONG kRxMaxByteCount = 2352;
// Packet types of receive buffers.
constexpr UCHAR kRxPktFrame = 2;
constexpr UCHAR kRxPktMsduReport = 6;
constexpr UCHAR kRxPktSwDefined = 7;
constexpr UCHAR kRxPktRxReport = 11;
constexpr UCHAR kRxPktIcs = 12;
constexpr UCHAR kRxPktIcs2 = 13;

// Writes a descriptor word the chip reads.
void StoreDescriptorWord(volatile ULONG* word, ULONG value) { __atomic_store_n(word, value, __ATOMIC_RELEASE); }

// Puts a record's buffer on the transmit ring's slot at the CPU index (`length` bytes of it) and
// moves the CPU index on; the caller holds the ring lock and has checked that a slot is free.
void PlaceTxDescriptor(PPCI_TX_RING r, const TX_DMAQ_DESC* record, ULONG length, ULONG cmdSlotIndex)
{
    const ULONG c = r->CpuIndex;
    PDMA_RING_SLOT slot = &r->Slots[c];
    slot->CmdSlotIndex = cmdSlotIndex;
    slot->BufferVa = record->BufferVa;
    slot->BufferLa = record->BufferLa;
    slot->BufferLength = record->BytesUsed;
    PWPDMA_DESC d = slot->DescriptorVa;
    StoreDescriptorWord(&d->Control, 0);
    d->BufferLow = static_cast<ULONG>(record->BufferLa);
    d->Word2 = 0;
    d->Word3 = static_cast<ULONG>(record->BufferLa >> 32) & 0xFFFFu;
    // The control word last: the chip reads a complete descriptor.
    StoreDescriptorWord(&d->Control, ((length & WPDMA_CTRL_LENGTH_MASK) << WPDMA_CTRL_LENGTH_SHIFT) | WPDMA_CTRL_LAST_SEGMENT);
    r->CpuIndex = (c + 1) % r->SlotCount;
    ++r->InFlight;
}

// Stops the chip's ring engine before the rings or buffers it may reach go away.
void StopDmaBeforeRelease(PPCI_HIF_CONTEXT hif)
{
    PMP_ADAPTER adapter = hif->Adapter;
    if (adapter == nullptr || adapter->HalOps.WpdmaConfig == nullptr || hif->BarVa == nullptr ||
        AdapterTestFlags(adapter, ADAPTER_FLAGS_REGISTER_REFUSED)) {
        return;
    }
    adapter->HalOps.WpdmaConfig(adapter, FALSE);
}

}  // namespace

// ================================================================================================
// transmit rings
// ================================================================================================
NTSTATUS N6PciInitTransmit(PPCI_HIF_CONTEXT hif, BOOLEAN allocate)
{
    if (hif == nullptr || hif->Adapter == nullptr || hif->Adapter->Device == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit rings: no context, adapter or device");
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    AdapterSetFlag(adapter, ADAPTER_FLAG_TX_RINGS_READY, __func__);
    struct {
        ULONG records;
        ULONG buffer;
    } const pools[TX_DMAQ_POOL_COUNT] = {{TX_DMAQ_POOL0_RECORDS, TX_DMAQ_POOL0_BUFFER},
                                         {TX_DMAQ_POOL1_RECORDS, TX_DMAQ_POOL1_BUFFER}};
    for (ULONG p = 0; p < TX_DMAQ_POOL_COUNT; ++p) {
        NTSTATUS status = TxDmaqInit(adapter, p, pools[p].records, pools[p].buffer);
        if (status == STATUS_DMAQ_POOL_BUILT && !allocate) {
            // A re-initialisation keeps the pools it finds.
            continue;
        }
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit pool %u: 0x%08X", static_cast<unsigned>(p),
                     static_cast<unsigned>(status));
            return status;
        }
    }
    for (ULONG ring = 0; ring < PCI_TX_RING_COUNT; ++ring) {
        NTSTATUS status = N6PciInitTxRing(hif, ring, kTxRingSlots[ring], allocate);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS N6PciInitTxRing(PPCI_HIF_CONTEXT hif, ULONG ring, ULONG slots, BOOLEAN allocate)
{
    if (ring >= PCI_TX_RING_COUNT || slots == 0 || slots > PCI_TX_RING_MAX_SLOTS) {
        return STATUS_INVALID_PARAMETER;
    }
    PPCI_TX_RING r = &hif->TxRing[ring];
    if (allocate) {
        if (!CreateRingArea(hif->Adapter, slots, &r->Area)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit ring %u: no common buffer for %u descriptors",
                     static_cast<unsigned>(ring), static_cast<unsigned>(slots));
            DeleteRingArea(&r->Area);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        for (ULONG k = 0; k < slots; ++k) {
            PDMA_RING_SLOT slot = &r->Slots[k];
            PlaceSlot(slot, &r->Area, k);
            slot->BufferLength = 0;
            slot->BufferVa = nullptr;
            slot->BufferLa = 0;
            slot->CmdSlotIndex = PCI_RING_NO_CMD_SLOT;
        }
        PlatformAllocateSpinLock(&hif->TxRingLock[ring].Lock);
    } else if (r->Area.Va == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit ring %u re-initialised before it exists",
                 static_cast<unsigned>(ring));
        return STATUS_UNSUCCESSFUL;
    }
    // A descriptor the host never used reads as done.
    for (ULONG k = 0; k < slots; ++k) {
        PWPDMA_DESC d = reinterpret_cast<PWPDMA_DESC>(r->Area.Va + static_cast<size_t>(k) * WPDMA_DESC_SIZE);
        StoreDescriptorWord(&d->Control, d->Control | WPDMA_CTRL_DMA_DONE);
    }
    r->SlotCount = slots;
    return STATUS_SUCCESS;
}

VOID WpdmaFreeTxRings(PPCI_HIF_CONTEXT hif)
{
    if (hif == nullptr || hif->Adapter == nullptr) {
        return;
    }
    StopDmaBeforeRelease(hif);
    for (PCI_TX_RING& ring : hif->TxRing) {
        if (ring.Area.Va != nullptr || ring.Area.CommonBuffer != nullptr) {
            DeleteRingArea(&ring.Area);
        }
        ring.SlotCount = 0;
        ring.CpuIndex = 0;
        ring.ReclaimIndex = 0;
        ring.LastDmaIndex = 0;
        ring.InFlight = 0;
    }
    // The records still on the software queues go home without completing anything; then the pools.
    TxDmaqDeInit(hif->Adapter);
}

// ================================================================================================
// receive rings
// ================================================================================================
NTSTATUS N6PciInitRecv(PPCI_HIF_CONTEXT hif, BOOLEAN allocate)
{
    if (!allocate) {
        return STATUS_SUCCESS;
    }
    if (hif == nullptr || hif->Adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    struct {
        ULONG records;
        ULONG buffer;
    } const pools[RX_DMAQ_POOL_COUNT] = {{RX_DMAQ_POOL0_RECORDS, RX_DMAQ_POOL0_BUFFER},
                                         {RX_DMAQ_POOL1_RECORDS, RX_DMAQ_POOL1_BUFFER},
                                         {RX_DMAQ_POOL2_RECORDS, RX_DMAQ_POOL2_BUFFER}};
    for (ULONG p = 0; p < RX_DMAQ_POOL_COUNT; ++p) {
        NTSTATUS status = RxDmaqInit(adapter, p, pools[p].records, pools[p].buffer);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "receive pool %u: 0x%08X", static_cast<unsigned>(p),
                     static_cast<unsigned>(status));
            return status;
        }
    }
    NTSTATUS status = N6PciInitRxRing(hif, 0, PCI_RX_RING0_SLOTS, PCI_RX_RING0_BUFFER, allocate);
    if (NT_SUCCESS(status)) {
        ULONG eventBuffer = HalChipHasFact(adapter->HalInfo.ChipCode, CHIP_FACT_LARGE_EVENT_RING) ? PCI_RX_RING1_BUFFER_QZ3503 : PCI_RX_RING1_BUFFER;
        status = N6PciInitRxRing(hif, 1, PCI_RX_RING1_SLOTS, eventBuffer, allocate);
    }
    if (NT_SUCCESS(status) && HalChipGeneration(adapter->HalInfo.ChipCode) != CHIP_GENERATION_OLDER) {
        status = N6PciInitRxRing(hif, 2, PCI_RX_RING2_SLOTS, PCI_RX_RING2_BUFFER, allocate);
    }
    return status;
}

NTSTATUS N6PciInitRxRing(PPCI_HIF_CONTEXT hif, ULONG ring, ULONG slots, ULONG bufferSize, BOOLEAN allocate)
{
    if (!allocate) {
        return STATUS_SUCCESS;
    }
    if (ring >= PCI_RX_RING_COUNT || slots == 0 || slots > PCI_RX_RING_MAX_SLOTS ||
        bufferSize > WPDMA_CTRL_LENGTH_MASK) {
        return STATUS_INVALID_PARAMETER;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    PPCI_RX_RING r = &hif->RxRing[ring];
    if (!CreateRingArea(adapter, slots, &r->Area)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "receive ring %u: no common buffer for %u descriptors",
                 static_cast<unsigned>(ring), static_cast<unsigned>(slots));
        DeleteRingArea(&r->Area);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ULONG pool = ring <= 1 ? ring : 2;
    // A buffer of a freshly built pool is still zero: touching every page of it up front only costs.
    const BOOLEAN zeroed = RxDmaqPoolUntouched(adapter, pool);
    for (ULONG k = 0; k < slots; ++k) {
        PDMA_RING_SLOT slot = &r->Slots[k];
        PlaceSlot(slot, &r->Area, k);
        PRX_DMAQ_DESC record = RxDmaqAlloc(adapter, pool);
        if (record == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "receive ring %u slot %u: pool %u is empty",
                     static_cast<unsigned>(ring), static_cast<unsigned>(k), static_cast<unsigned>(pool));
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        ULONG64 la = (static_cast<ULONG64>(record->BufferLogicalHigh) << 32) | record->BufferLogicalLow;
        slot->BufferLength = record->BufferSize;
        slot->BufferVa = record->BufferVa;
        slot->BufferLa = la;
        slot->Record = record;
        slot->CmdSlotIndex = PCI_RING_NO_CMD_SLOT;
        if (!zeroed) {
            PlatformZeroMemory(record->BufferVa, record->BufferSize);
        }
        PWPDMA_DESC d = slot->DescriptorVa;
        d->BufferLow = static_cast<ULONG>(la);
        d->Word2 = static_cast<ULONG>(la >> 32);
        d->Word3 = 0;
        StoreDescriptorWord(&d->Control, (bufferSize & WPDMA_CTRL_LENGTH_MASK) << WPDMA_CTRL_LENGTH_SHIFT);
    }
    r->BufferSize = bufferSize;
    r->SlotCount = slots;
    PlatformAllocateSpinLock(&hif->LockArray[ring].Lock);
    return STATUS_SUCCESS;
}

VOID WpdmaFreeRxRings(PPCI_HIF_CONTEXT hif)
{
    if (hif == nullptr || hif->Adapter == nullptr) {
        return;
    }
    StopDmaBeforeRelease(hif);
    for (ULONG ring = 0; ring < PCI_RX_RING_COUNT; ++ring) {
        PPCI_RX_RING r = &hif->RxRing[ring];
        if (r->Area.Va != nullptr || r->Area.CommonBuffer != nullptr) {
            DeleteRingArea(&r->Area);
        }
        r->SlotCount = 0;
        r->CpuIndex = 0;
        r->DmaIndex = 0;
        r->ReadIndex = 0;
    }
    // The records attached to the slots and those on the receive queues go home, then the pools.
    RxDmaqDeInit(hif->Adapter);
    for (PCI_RX_RING& ring : hif->RxRing) {
        for (DMA_RING_SLOT& slot : ring.Slots) {
            slot = DMA_RING_SLOT{};
        }
    }
}

// ================================================================================================
// the older chip's ring registers
// ================================================================================================
VOID WpdmaRestoreRingRegs(PPCI_HIF_CONTEXT hif)
{
    PMP_ADAPTER adapter = hif->Adapter;
    for (ULONG i = 0; i < PCI_TX_RING_COUNT; ++i) {
        PPCI_TX_RING r = &hif->TxRing[i];
        ULONG h = i == PCI_TX_RING_COMMAND ? hif->HwRingCommand : i;
        ULONG block = kQz3404TxRingRegs + kRingRegStride * h;
        r->Regs.Base = block;
        r->Regs.Count = block + 4;
        r->Regs.CpuIndex = block + 8;
        r->Regs.DmaIndex = block + 0xC;
        r->CpuIndex = 0;
        r->ReclaimIndex = 0;
        r->InFlight = 0;
        ULONG dma = 0;
        (void)HifIoRead32(adapter, r->Regs.DmaIndex, &dma);
        r->LastDmaIndex = dma;
        r->ReclaimIndex = dma & PCI_RING_INDEX_MASK;
        (void)HifIoWrite32(adapter, r->Regs.Base, static_cast<ULONG>(r->Area.La));
        (void)HifIoWrite32(adapter, r->Regs.CpuIndex, 0);
        (void)HifIoWrite32(adapter, r->Regs.Count, r->SlotCount);
    }
    for (ULONG i = 0; i < 2; ++i) {
        PPCI_RX_RING r = &hif->RxRing[i];
        ULONG block = kQz3404RxRingRegs + kRingRegStride * i;
        r->Regs.Base = block;
        r->Regs.Count = block + 4;
        r->Regs.CpuIndex = block + 8;
        r->Regs.DmaIndex = block + 0xC;
        r->ReadIndex = 0;
        ULONG dma = 0;
        (void)HifIoRead32(adapter, r->Regs.DmaIndex, &dma);
        r->DmaIndex = dma & PCI_RING_INDEX_MASK;
        r->ReadIndex = r->DmaIndex;
        r->CpuIndex = r->SlotCount != 0 ? r->SlotCount - 1 : 0;
        (void)HifIoWrite32(adapter, r->Regs.Base, static_cast<ULONG>(r->Area.La));
        (void)HifIoWrite32(adapter, r->Regs.CpuIndex, r->CpuIndex);
        (void)HifIoWrite32(adapter, r->Regs.Count, r->SlotCount);
    }
}

// ================================================================================================
// BAR, resume, start
// ================================================================================================
NTSTATUS N6PciIoSpaceUnmap(PMP_ADAPTER adapter)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    if (hif == nullptr || hif->BarVa == nullptr) {
        return STATUS_SUCCESS;
    }
    MmUnmapIoSpace(hif->BarVa, hif->BarLength);
    hif->BarVa = nullptr;
    hif->BarLength = 0;
    return STATUS_SUCCESS;
}

VOID N6PciResumeInitReg(PMP_ADAPTER adapter) { (void)HifIoWrite32(adapter, kResumeInitRegister, 0xFF); }

NTSTATUS N6PciStartTxRx(PPCI_HIF_CONTEXT hif)
{
    PMP_ADAPTER adapter = hif->Adapter;
    if (adapter->HalOps.PciXmitStartTxRx == nullptr) {
        return STATUS_SUCCESS;
    }
    return adapter->HalOps.PciXmitStartTxRx(adapter);
}

// ================================================================================================
// firmware command submission and command-ring completion
// ================================================================================================
NTSTATUS N6PciTxSendCmd(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring, ULONG cmdSlotIndex)
{
    PMP_ADAPTER adapter = hif->Adapter;
    if (ring >= PCI_TX_RING_COUNT || record == nullptr || record->BufferVa == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    // While the adapter halts or resets only the firmware power-control command (4) goes out.
    const UCHAR cmdId = record->BytesUsed > kLegacyCmdIdOffset ? record->BufferVa[kLegacyCmdIdOffset] : 0;
    const ULONG flags = AdapterGetFlags(adapter);
    if ((flags & ADAPTER_FLAGS_REGISTER_REFUSED) != 0 ||
        ((flags & (ADAPTER_FLAG_HALT_IN_PROGRESS | ADAPTER_FLAG_PCI_SUSPENDED)) != 0 && cmdId != kFwPowerCtrlCmdId)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command 0x%02X refused: flags 0x%08X", static_cast<unsigned>(cmdId),
                 static_cast<unsigned>(flags));
        return STATUS_UNSUCCESSFUL;
    }
    if (!NT_SUCCESS(NdisCommonHifPciFreeDescriptorRequest(hif, static_cast<UCHAR>(ring), 1))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "transmit ring %u filled up", static_cast<unsigned>(ring));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    TxDWaitqEnqueue(adapter, record);
    PPCI_TX_RING r = &hif->TxRing[ring];
    NdisCommonHifPciAcquireTxRingLock(hif, ring);
    // The ring may have filled since the check, and it has registers only once started.
    if (NdisCommonHifPciTxRingFreeCount(r) == 0 || r->Regs.CpuIndex == 0) {
        NdisCommonHifPciReleaseTxRingLock(hif, ring);
        (void)TxDWaitqDequeue(adapter, record->BufferVa);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "transmit ring %u: no descriptor (CPU register 0x%08X)",
                 static_cast<unsigned>(ring), static_cast<unsigned>(r->Regs.CpuIndex));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PlaceTxDescriptor(r, record, record->BytesUsed, cmdSlotIndex);
    if (cmdSlotIndex < FW_CMD_SLOT_COUNT) {
        // The command layer's slot lock nests inside the ring lock.
        KIRQL old;
        KeAcquireSpinLock(&adapter->FwCmd.FwCmdSlotLock, &old);
        adapter->FwCmd.FwCmdSlots[cmdSlotIndex].OnRing = 1;
        KeReleaseSpinLock(&adapter->FwCmd.FwCmdSlotLock, old);
    }
    (void)HifIoWrite32(adapter, r->Regs.CpuIndex, r->CpuIndex);
    NdisCommonHifPciReleaseTxRingLock(hif, ring);
    return STATUS_SUCCESS;
}

VOID N6PciTxRingCmdDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring, BOOLEAN unified)
{
    if (hif == nullptr || hif->Adapter == nullptr || ring >= PCI_TX_RING_COUNT) {
        return;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "command ring %u done (unified %u)", static_cast<unsigned>(ring),
             static_cast<unsigned>(unified));
    PPCI_TX_RING r = &hif->TxRing[ring];
    NdisCommonHifPciAcquireTxRingLock(hif, ring);
    const ULONG n = r->SlotCount;
    if (n == 0 || r->Regs.DmaIndex == 0) {
        NdisCommonHifPciReleaseTxRingLock(hif, ring);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command ring %u done before it was started", static_cast<unsigned>(ring));
        return;
    }
    ULONG raw = 0;
    (void)HifIoRead32(adapter, r->Regs.DmaIndex, &raw);
    const ULONG d = raw & PCI_RING_INDEX_MASK;
    ULONG i = r->ReclaimIndex;
    // The chip can only have finished descriptors handed to it, from the reclaim index up to the CPU
    // index; a DMA index outside that window would never be met by the walk.
    const ULONG handed = (r->CpuIndex + n - i) % n;
    if (d >= n || (d + n - i) % n > handed) {
        NdisCommonHifPciReleaseTxRingLock(hif, ring);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command ring %u: DMA index %u outside slots %u..%u of %u",
                 static_cast<unsigned>(ring), static_cast<unsigned>(d), static_cast<unsigned>(i),
                 static_cast<unsigned>(r->CpuIndex), static_cast<unsigned>(n));
        return;
    }
    const USHORT sentReport = unified ? FW_CMD_UNI_EVENT_DMA_DONE : FW_CMD_EVENT_DMA_DONE;
    while (i != d) {
        PDMA_RING_SLOT slot = &r->Slots[i];
        volatile ULONG* control = &slot->DescriptorVa->Control;
        const ULONG value = __atomic_load_n(control, __ATOMIC_ACQUIRE);
        if ((value & WPDMA_CTRL_DMA_DONE) == 0) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command ring %u: slot %u not done yet", static_cast<unsigned>(ring),
                     static_cast<unsigned>(i));
            break;
        }
        // The slot's record first: a descriptor without one is left as it is (done, not reported),
        // so that it is never reported twice.
        PTX_DMAQ_DESC record = slot->BufferVa != nullptr ? TxDWaitqDequeue(adapter, slot->BufferVa) : nullptr;
        if (record == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command ring %u: no record for slot %u", static_cast<unsigned>(ring),
                     static_cast<unsigned>(i));
            break;
        }
        StoreDescriptorWord(control, value & ~WPDMA_CTRL_DMA_DONE);
        (void)QzCmdEventCompleteWaitingFwCmd(adapter, sentReport, nullptr, slot->CmdSlotIndex, STATUS_SUCCESS, unified);
        TxDmaqFree(adapter, record);
        slot->BufferVa = nullptr;
        slot->BufferLa = 0;
        slot->BufferLength = 0;
        slot->CmdSlotIndex = PCI_RING_NO_CMD_SLOT;
        if (r->InFlight != 0) {
            --r->InFlight;
        }
        i = (i + 1) % n;
    }
    r->LastDmaIndex = d;
    r->ReclaimIndex = i;
    NdisCommonHifPciReleaseTxRingLock(hif, ring);
}

// ================================================================================================
// frame ring submission
// ================================================================================================
namespace {

// Offsets of the four segments' address and length words inside the TXP.
struct TxpSegment {
    ULONG address;
    ULONG length;
};
constexpr TxpSegment kTxpSegments[TXP_SEGMENTS] = {{8, 12}, {16, 14}, {20, 24}, {28, 26}};
// A length word carries address bits 32-34 in its bits 12-14.
constexpr ULONG64 kTxpAddressLimit = 1ull << 35;

void PutLe16(PUCHAR p, USHORT v)
{
    p[0] = static_cast<UCHAR>(v);
    p[1] = static_cast<UCHAR>(v >> 8);
}

void PutLe32(PUCHAR p, ULONG v)
{
    PutLe16(p, static_cast<USHORT>(v));
    PutLe16(p + 2, static_cast<USHORT>(v >> 16));
}

// Segment `k` of the TXP: FALSE when the segment cannot be expressed.
BOOLEAN SetSegment(PUCHAR txp, ULONG k, ULONG64 address, ULONG length, BOOLEAN last)
{
    if (length > TXP_SEGMENT_LENGTH_MASK || address >= kTxpAddressLimit) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TXP segment %u: %u bytes at 0x%llx cannot be expressed",
                 static_cast<unsigned>(k), static_cast<unsigned>(length), static_cast<unsigned long long>(address));
        return FALSE;
    }
    PutLe32(txp + kTxpSegments[k].address, static_cast<ULONG>(address));
    const ULONG word = length | (static_cast<ULONG>(address >> 32) << 12) | (last ? TXP_SEGMENT_LAST : 0);
    PutLe16(txp + kTxpSegments[k].length, static_cast<USHORT>(word));
    return TRUE;
}

}  // namespace

BOOLEAN N6PciUpdateAppendTxD(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    UNREFERENCED_PARAMETER(adapter);
    if (record == nullptr || record->BufferVa == nullptr) {
        return FALSE;
    }
    PUCHAR txp = record->BufferVa + TXP_OFFSET;
    PlatformZeroMemory(txp, TXP_SIZE);
    PQZCX_TXQUEUE queue = static_cast<PQZCX_TXQUEUE>(record->TxQueueContext);
    PTX_PACKET_SIDE_INFO side = static_cast<PTX_PACKET_SIDE_INFO>(record->SideInfo);
    if (queue == nullptr || side == nullptr || queue->ScatterVa == nullptr || queue->ScatterEntryCount == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TXP of record %u: no transmit queue or side record",
                 static_cast<unsigned>(record->RecordIndex));
        return FALSE;
    }
    PutLe16(txp, static_cast<USHORT>(record->RecordIndex | TXP_TOKEN_VALID));
    // Segment 0: the header copy behind the descriptor and the TXP, exactly as many bytes as were
    // copied (24, or 28 with the QoS control field and its padding).
    if (record->BytesUsed < TXP_DATA_DESCRIPTOR_LENGTH + TXP_OS_HEADER_LENGTH || record->BytesUsed > record->BufferSize) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TXP of record %u: %u bytes used in a %u-byte buffer",
                 static_cast<unsigned>(record->RecordIndex), static_cast<unsigned>(record->BytesUsed),
                 static_cast<unsigned>(record->BufferSize));
        return FALSE;
    }
    if (!SetSegment(txp, 0, record->BufferLa + TXP_DATA_DESCRIPTOR_LENGTH,
                    record->BytesUsed - TXP_DATA_DESCRIPTOR_LENGTH, FALSE)) {
        return FALSE;
    }
    // The packet's fragments: from its first scatter entry to the one marked last of its packet.
    const TX_SG_ENTRY* fragment[TXP_SEGMENTS] = {};
    ULONG n = 0;
    for (;;) {
        const TX_SG_ENTRY* entry = &queue->ScatterVa[(side->FirstFragmentIndex + n) % queue->ScatterEntryCount];
        if (n == TXP_SEGMENTS - 1) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TXP of record %u: more than %u fragments",
                     static_cast<unsigned>(record->RecordIndex), static_cast<unsigned>(TXP_SEGMENTS - 1));
            return FALSE;
        }
        fragment[n++] = entry;
        if ((entry->Flags & TX_SG_LAST_OF_PACKET) != 0) {
            break;
        }
    }
    // Segment 1: the first fragment after the OS frame's 802.11 header, which travels in segment 0.
    if (fragment[0]->Length < TXP_OS_HEADER_LENGTH) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TXP of record %u: first fragment of %u bytes holds no header",
                 static_cast<unsigned>(record->RecordIndex), static_cast<unsigned>(fragment[0]->Length));
        return FALSE;
    }
    const ULONG rest = fragment[0]->Length - TXP_OS_HEADER_LENGTH;
    const ULONG64 restAddress = fragment[0]->LogicalAddress + TXP_OS_HEADER_LENGTH;
    switch (n) {
    case 1:
        return SetSegment(txp, 1, restAddress, rest, TRUE);
    case 2:
        if (rest == 0) {
            // The first fragment held only the header.
            return SetSegment(txp, 1, fragment[1]->LogicalAddress, fragment[1]->Length, TRUE);
        }
        return static_cast<BOOLEAN>(SetSegment(txp, 1, restAddress, rest, FALSE) &&
                                    SetSegment(txp, 2, fragment[1]->LogicalAddress, fragment[1]->Length, TRUE));
    default:
        return static_cast<BOOLEAN>(SetSegment(txp, 1, restAddress, rest, FALSE) &&
                                    SetSegment(txp, 2, fragment[1]->LogicalAddress, fragment[1]->Length, FALSE) &&
                                    SetSegment(txp, 3, fragment[2]->LogicalAddress, fragment[2]->Length, TRUE));
    }
}

NTSTATUS N6PciTxSendPkt(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring, BOOLEAN kick)
{
    if (hif == nullptr || hif->Adapter == nullptr || record == nullptr || record->BufferVa == nullptr ||
        ring > PCI_TX_RING_COMMAND) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "frame submission: no context or record, or ring %u", static_cast<unsigned>(ring));
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    const ULONG flags = AdapterGetFlags(adapter);
    if ((flags & ADAPTER_FLAGS_NO_TX_SUBMIT) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "frame not submitted: flags 0x%08X", static_cast<unsigned>(flags));
        return STATUS_UNSUCCESSFUL;
    }
    const BOOLEAN data = static_cast<BOOLEAN>(ring != PCI_TX_RING_COMMAND);
    if (data && !N6PciUpdateAppendTxD(adapter, record)) {
        return STATUS_UNSUCCESSFUL;
    }
    const ULONG length = data ? TXP_DATA_DESCRIPTOR_LENGTH : record->BytesUsed;
    if (length == 0 || length > WPDMA_CTRL_LENGTH_MASK || record->BytesUsed > record->BufferSize) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "frame submission: %u bytes in a %u-byte buffer",
                 static_cast<unsigned>(record->BytesUsed), static_cast<unsigned>(record->BufferSize));
        return STATUS_UNSUCCESSFUL;
    }
    if (!NT_SUCCESS(NdisCommonHifPciFreeDescriptorRequest(hif, static_cast<UCHAR>(ring), 1))) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit ring %u filled up", static_cast<unsigned>(ring));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PQZCX_TXQUEUE queue = static_cast<PQZCX_TXQUEUE>(record->TxQueueContext);
    PMP_PORT port = record->Port;
    // On its wait queue first: the chip may report the frame as soon as the doorbell is written.
    if (data) {
        (void)InterlockedIncrement(&adapter->DataTxInFlight);
        if (record->SideInfo != nullptr && queue != nullptr) {
            (void)InterlockedIncrement(&queue->InFlight);
        }
        if (port != nullptr && port->PortType == WFD_GO) {
            (void)InterlockedIncrement(&adapter->GoTxInFlight);
        }
        TxDoneWaitqEnqueue(adapter, record);
    } else {
        TxDWaitqEnqueue(adapter, record);
    }
    PPCI_TX_RING r = &hif->TxRing[ring];
    NdisCommonHifPciAcquireTxRingLock(hif, ring);
    if (NdisCommonHifPciTxRingFreeCount(r) == 0 || r->Regs.CpuIndex == 0) {
        NdisCommonHifPciReleaseTxRingLock(hif, ring);
        // Filled up since the check, or never started: the record leaves its wait queue again.
        if (data) {
            (void)TxDoneWaitqDequeue(adapter, record->RecordIndex);
            (void)InterlockedDecrement(&adapter->DataTxInFlight);
            if (record->SideInfo != nullptr && queue != nullptr) {
                (void)InterlockedDecrement(&queue->InFlight);
            }
            if (port != nullptr && port->PortType == WFD_GO) {
                (void)InterlockedDecrement(&adapter->GoTxInFlight);
            }
        } else {
            (void)TxDWaitqDequeue(adapter, record->BufferVa);
        }
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit ring %u: no descriptor (CPU register 0x%08X)",
                 static_cast<unsigned>(ring), static_cast<unsigned>(r->Regs.CpuIndex));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PlaceTxDescriptor(r, record, length, PCI_RING_NO_CMD_SLOT);
    BOOLEAN doorbell = TRUE;
    if (data && port != nullptr) {
        doorbell = static_cast<BOOLEAN>(kick || record->MoreFollow == 0 ||
                                        port->DeferredDoorbellCount >= port->DoorbellThreshold / 2);
        port->DeferredDoorbellCount = doorbell ? 0 : port->DeferredDoorbellCount + 1;
    } else if (kick && port != nullptr) {
        port->DeferredDoorbellCount = 0;
    }
    if (doorbell) {
        // One write covers every descriptor deferred before it.
        (void)HifIoWrite32(adapter, r->Regs.CpuIndex, r->CpuIndex);
    }
    NdisCommonHifPciReleaseTxRingLock(hif, ring);
    return STATUS_SUCCESS;
}

// ================================================================================================
// receive ring service: fetch, processing, dispatch by packet type, transmit-done and receive reports
// ================================================================================================
namespace {

ULONG RxPoolOfRing(ULONG ring) { return ring <= 1 ? ring : 2; }

// The pending count of the receive ring; the caller holds its lock.
ULONG PendingLocked(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    PMP_ADAPTER adapter = hif->Adapter;
    PPCI_RX_RING r = &hif->RxRing[ring];
    const ULONG n = r->SlotCount & PCI_RING_INDEX_MASK;
    if (n == 0 || r->Regs.CpuIndex == 0) {
        return 0;
    }
    ULONG cpu = 0;
    ULONG dma = 0;
    (void)HifIoRead32(adapter, r->Regs.CpuIndex, &cpu);
    (void)HifIoRead32(adapter, r->Regs.DmaIndex, &dma);
    const ULONG c = cpu & PCI_RING_INDEX_MASK;
    const ULONG d = dma & PCI_RING_INDEX_MASK;
    if (c >= n || d >= n) {
        // Indexes that name no slot of this ring: nothing is taken.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive ring %u: CPU index %u, DMA index %u outside %u slots",
                 static_cast<unsigned>(ring), static_cast<unsigned>(c), static_cast<unsigned>(d),
                 static_cast<unsigned>(n));
        return 0;
    }
    r->DmaIndex = d;
    if (d < c) {
        return d + n - c - 1;
    }
    if (c < d) {
        return d - c - 1;
    }
    return n - 1;
}

// Waits for a descriptor's DMA done: every 100 microseconds, at most 101 polls.
BOOLEAN WaitDescriptorDone(PWPDMA_DESC d, PULONG control)
{
    volatile ULONG* word = &d->Control;  // descriptors lie 16-byte aligned in their ring
    for (ULONG poll = 0; poll < kRxDonePolls; ++poll) {
        *control = __atomic_load_n(word, __ATOMIC_ACQUIRE);
        if ((*control & WPDMA_CTRL_DMA_DONE) != 0) {
            return TRUE;
        }
        KeStallExecutionProcessor(kRxDonePollUs);
    }
    return FALSE;
}

// Word k of a receive buffer, little-endian.
ULONG RxWord(const RX_DMAQ_DESC* record, ULONG k)
{
    const UCHAR* p = record->BufferVa + 4u * k;
    return static_cast<ULONG>(p[0]) | (static_cast<ULONG>(p[1]) << 8) | (static_cast<ULONG>(p[2]) << 16) |
           (static_cast<ULONG>(p[3]) << 24);
}

// Bytes of a receive buffer that may be read: what the chip wrote, never beyond the buffer.
ULONG RxReadable(const RX_DMAQ_DESC* record)
{
    return record->ReceivedLength < record->BufferSize ? record->ReceivedLength : record->BufferSize;
}

BOOLEAN IsSecondGeneration(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(HalChipGeneration(adapter->HalInfo.ChipCode) == CHIP_GENERATION_SECOND);
}

// Hands the adapter's waiting buffer-list send completions to the OS.
void FlushPendingCompletions(PMP_ADAPTER adapter)
{
    PNET_BUFFER_LIST chain = adapter->PendingTxCompletions;
    adapter->PendingTxCompletions = nullptr;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "send completions handed to the OS");
    N6PlatformIndicateXmitPktToNdis(adapter, chain, 0, 0);
}

// Completes a record taken off TxDoneWaitq outside a report: an OS packet goes back to the OS, any
// other record to its pool.
void CompleteWaitingRecord(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (record->OsBufferList != nullptr || record->TxQueueContext != nullptr) {
        PlatformIndicateXmitPktToNdis(adapter, record, STATUS_SUCCESS);
    } else {
        TxDmaqFree(adapter, record);
    }
}

// Second generation: the frames that waited longer than their time-out, once every "Ageoutreport2"
// seconds since the last sweep that found none (64-bit times).
void StaleSweep(PMP_ADAPTER adapter)
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    const ULONG64 period = static_cast<ULONG64>(adapter->RegistryBlock.Ageoutreport2) * 10000000ull;
    const ULONG64 last = adapter->TxDoneAgeSweepTime;
    const ULONG64 t = static_cast<ULONG64>(now.QuadPart);
    if (t < last || t - last < period) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "transmit-done sweep of stale frames");
    for (PTX_DMAQ_DESC r = TxDoneWaitqDequeue(adapter, TX_DONE_WAITQ_AGEOUT); r != nullptr;
         r = TxDoneWaitqDequeue(adapter, TX_DONE_WAITQ_AGEOUT)) {
        CompleteWaitingRecord(adapter, r);
    }
    FlushPendingCompletions(adapter);
}

// One token of a transmit-done report: the frame leaves TxDoneWaitq and goes back to the OS.
// Returns TRUE when a frame was completed.
BOOLEAN CompleteToken(PMP_ADAPTER adapter, ULONG token)
{
    // Tokens are record indexes of transmit pool 0; the queue's own keys lie above them.
    if (token >= TX_DMAQ_POOL0_RECORDS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit-done token %u names no record", static_cast<unsigned>(token));
        return FALSE;
    }
    PTX_DMAQ_DESC record = TxDoneWaitqDequeue(adapter, token);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit-done token %u: no frame waits", static_cast<unsigned>(token));
        return FALSE;
    }
    PMP_PORT port = record->Port;
    if (port == nullptr) {
        // The frame left the queue: it goes back to the OS, uncounted.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit-done token %u: frame without port", static_cast<unsigned>(token));
        PlatformIndicateXmitPktToNdisEx(adapter, record, STATUS_SUCCESS);
        return TRUE;
    }
    const BOOLEAN group = static_cast<BOOLEAN>(record->Frame != nullptr && record->FrameLength >= 10 &&
                                               (record->Frame[4] & 0x01) != 0);
    if (port->PortNumber == 0 && port->TxInFlight > 0) {
        (void)InterlockedDecrement(&port->TxInFlight);
    }
    PlatformIndicateXmitPktToNdisEx(adapter, record, STATUS_SUCCESS);
    if (group) {
        ++port->TxDoneMulticast;
    } else {
        ++port->TxDoneUnicast;
    }
    const ULONG column = group ? 1 : 0;
    if (port->PortNumber == 0) {
        for (ULONG row = 0; row < PORT_TX_DONE_CONTEXTS; ++row) {
            ++port->TxDoneByContext[row][column];
        }
    } else if (adapter->TxDoneContextIndex < PORT_TX_DONE_CONTEXTS) {
        ++port->TxDoneByContext[adapter->TxDoneContextIndex][column];
    }
    return TRUE;
}

// dBm of an RCPI value: (min(RCPI, 220) >> 1) - 110.
CHAR ReportRssi(UCHAR rcpi)
{
    const ULONG clipped = rcpi < 220 ? rcpi : 220;
    return static_cast<CHAR>(static_cast<LONG>(clipped >> 1) - 110);
}

LONG64 PerfNow()
{
    return KeQueryPerformanceCounter(nullptr).QuadPart;
}

void TracePerf(PMP_ADAPTER adapter, LONG64 start, PCSTR what)
{
    LARGE_INTEGER frequency;
    const LONG64 end = KeQueryPerformanceCounter(&frequency).QuadPart;
    if (frequency.QuadPart > 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s of receive ring 0: %lld us", what,
                 static_cast<long long>((end - start) * 1000000 / frequency.QuadPart));
    }
    UNREFERENCED_PARAMETER(adapter);
}

}  // namespace

ULONG N6PciGetRxDmaPendingCnt(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    if (hif == nullptr || ring >= PCI_RX_RING_COUNT) {
        return 0;
    }
    NdisCommonHifPciAcquireRxRingLock(hif, ring);
    ULONG pending = PendingLocked(hif, ring);
    NdisCommonHifPciReleaseRxRingLock(hif, ring);
    return pending;
}

ULONG N6PciGetRxDonePkt(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    if (hif == nullptr || hif->Adapter == nullptr || ring >= PCI_RX_RING_COUNT) {
        return 0;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    if (adapter->StopThreads.load() != 0) {
        return 0;
    }
    const ULONG pool = RxPoolOfRing(ring);
    PPCI_RX_RING r = &hif->RxRing[ring];
    const BOOLEAN timed = static_cast<BOOLEAN>(ring == 0 && (adapter->RegistryBlock.EnduranceTest & 0x8) != 0);
    const LONG64 start = timed ? PerfNow() : 0;
    NdisCommonHifPciAcquireRxRingLock(hif, ring);
    const ULONG pending = PendingLocked(hif, ring);
    if (pending == 0) {
        NdisCommonHifPciReleaseRxRingLock(hif, ring);
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "receive ring %u: nothing pending", static_cast<unsigned>(ring));
        return 0;
    }
    if (ring <= 1 && RxDmaqGetFreeCount(adapter, pool) == 0) {
        NdisCommonHifPciReleaseRxRingLock(hif, ring);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "receive ring %u: pool %u empty, %u pending", static_cast<unsigned>(ring),
                 static_cast<unsigned>(pool), static_cast<unsigned>(pending));
        return pending;
    }
    const ULONG n = r->SlotCount;
    ULONG i = r->ReadIndex % n;
    ULONG c = r->CpuIndex % n;
    ULONG taken = 0;
    for (; taken < pending; ++taken) {
        PDMA_RING_SLOT slot = &r->Slots[i];
        PWPDMA_DESC d = slot->DescriptorVa;
        ULONG control = 0;
        if (!WaitDescriptorDone(d, &control)) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "receive ring %u: slot %u never done", static_cast<unsigned>(ring),
                     static_cast<unsigned>(i));
            break;
        }
        PRX_DMAQ_DESC fresh = RxDmaqAlloc(adapter, pool);
        if (fresh == nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "receive ring %u: pool %u ran dry at slot %u",
                     static_cast<unsigned>(ring), static_cast<unsigned>(pool), static_cast<unsigned>(i));
            break;
        }
        PRX_DMAQ_DESC filled = slot->Record;
        const ULONG64 la = (static_cast<ULONG64>(fresh->BufferLogicalHigh) << 32) | fresh->BufferLogicalLow;
        slot->Record = fresh;
        slot->BufferVa = fresh->BufferVa;
        slot->BufferLa = la;
        slot->BufferLength = fresh->BufferSize;
        d->BufferLow = static_cast<ULONG>(la);
        d->Word2 = static_cast<ULONG>(la >> 32);
        d->Word3 = 0;
        StoreDescriptorWord(&d->Control, (r->BufferSize & WPDMA_CTRL_LENGTH_MASK) << WPDMA_CTRL_LENGTH_SHIFT);
        if (filled != nullptr) {
            // The chip's length is checked against the buffer it describes.
            ULONG received = (control >> WPDMA_CTRL_LENGTH_SHIFT) & WPDMA_CTRL_LENGTH_MASK;
            if (received > filled->BufferSize) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive ring %u slot %u: %u bytes in a %u-byte buffer",
                         static_cast<unsigned>(ring), static_cast<unsigned>(i), static_cast<unsigned>(received),
                         static_cast<unsigned>(filled->BufferSize));
                received = filled->BufferSize;
            }
            filled->ReceivedLength = received;
            RxProcqEnqueue(adapter, filled, pool);
        }
        i = (i + 1) % n;
        c = (c + 1) % n;
        if (ring == 0) {
            (void)InterlockedIncrement(&adapter->RxFrameCount);
        }
    }
    r->ReadIndex = i;
    r->CpuIndex = c;
    (void)HifIoWrite32(adapter, r->Regs.CpuIndex, c);
    NdisCommonHifPciReleaseRxRingLock(hif, ring);

    if (ring == 0 && AdapterTestFlags(adapter, ADAPTER_FLAG_LOW_POWER_RETURN)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "received frames wait for the power state");
    } else if (adapter->RegistryBlock.TxRxThreadMode != 0) {
        PlatformSignalThread(&hif->RxThread[ring]);
    } else {
        (void)N6PciProcRxDonePkt(adapter, ring);
    }
    if (timed) {
        TracePerf(adapter, start, "fetch");
    }
    return pending - taken;
}

ULONG N6PciRxDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    if (hif == nullptr || hif->Adapter == nullptr || ring >= PCI_RX_RING_COUNT) {
        return 0;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "receive ring %u done", static_cast<unsigned>(ring));
    if (hif->Adapter->RegistryBlock.SwDlyIntEn != 0) {
        NdisCommonHifPciAcquireRxRingLock(hif, ring);
        hif->RxRing[ring].SwDelayLastPending = 0;
        hif->RxRing[ring].SwDelayCount = 0;
        NdisCommonHifPciReleaseRxRingLock(hif, ring);
    }
    return N6PciGetRxDonePkt(hif, ring);
}

BOOLEAN N6PciSwDelayIntRxProc(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    if (hif == nullptr || hif->Adapter == nullptr || ring == 1 || ring >= PCI_RX_RING_COUNT) {
        return TRUE;
    }
    const REGISTRY_BLOCK& config = hif->Adapter->RegistryBlock;
    const ULONG countThreshold = ring == 0 ? config.SwDlyIntRxDataCntTh : config.SwDlyIntRxMsduRptCntTh;
    const ULONG deferThreshold = ring == 0 ? config.SwDlyIntRxDataToTh : config.SwDlyIntRxMsduRptToTh;
    if (countThreshold == 0 && deferThreshold == 0) {
        return TRUE;
    }
    const ULONG pending = N6PciGetRxDmaPendingCnt(hif, ring);
    if (pending >= countThreshold) {
        return TRUE;
    }
    NdisCommonHifPciAcquireRxRingLock(hif, ring);
    PPCI_RX_RING r = &hif->RxRing[ring];
    const ULONG deferrals = ++r->SwDelayCount;
    if (deferrals >= deferThreshold) {
        NdisCommonHifPciReleaseRxRingLock(hif, ring);
        return TRUE;
    }
    r->SwDelayLastPending = pending;
    NdisCommonHifPciReleaseRxRingLock(hif, ring);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "receive ring %u served later: %u pending, deferral %u", static_cast<unsigned>(ring),
             static_cast<unsigned>(pending), static_cast<unsigned>(deferrals));
    return FALSE;
}

VOID N6PciRxPacketIndicateCheck(PPCI_HIF_CONTEXT hif, ULONG remaining, ULONG ring)
{
    if (hif == nullptr || hif->Adapter == nullptr) {
        return;
    }
    if (ring == 0 && remaining > 0) {
        hif->Adapter->RxMorePending = 1;
    }
}

NTSTATUS N6PciProcRxDonePkt(PMP_ADAPTER adapter, ULONG ring)
{
    if (adapter == nullptr || adapter->HifContext == nullptr || ring >= PCI_RX_RING_COUNT) {
        return STATUS_UNSUCCESSFUL;
    }
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    const BOOLEAN timed = static_cast<BOOLEAN>(ring == 0 && (adapter->RegistryBlock.EnduranceTest & 0x8) != 0);
    const LONG64 start = timed ? PerfNow() : 0;
    const ULONG pool = RxPoolOfRing(ring);
    const ULONG count = RxProcqGetCount(adapter, pool);
    for (ULONG k = 0; k < count; ++k) {
        PRX_DMAQ_DESC record = RxProcqDequeue(adapter, pool);
        if (record == nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "RxProcq %u emptied early", static_cast<unsigned>(pool));
            break;
        }
        const ULONG expected = record->PoolIndex == 0 ? RX_DMAQ_POOL0_BUFFER : RX_DMAQ_POOL1_BUFFER;
        if (record->PoolIndex >= RX_DMAQ_POOL_COUNT || record->BufferSize != expected) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive record of pool %u with a %u-byte buffer",
                     static_cast<unsigned>(record->PoolIndex), static_cast<unsigned>(record->BufferSize));
            RxDmaqFree(adapter, record);
            continue;
        }
        if (record->PoolIndex != 0) {
            N6PciRxPacketHandler(hif, record);
        } else if (adapter->SnifferMode != 0) {
            if (record->BufferVa != nullptr && RxReadable(record) >= kRxWord0Length &&
                N6PciGetRxPktType(hif, record) == kRxPktFrame) {
                if (HalCallOptional(adapter->HalOps.PciProcessRxSnifferPacket, hif, record) == STATUS_NOT_SUPPORTED) {
                    DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "sniffer frame without the chip's sniffer operation");
                    RxDmaqFree(adapter, record);
                }
            } else {
                DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "sniffer mode: a buffer that is no frame");
                N6PciRxPacketHandler(hif, record);
            }
        } else {
            N6PciRxPacketIndicateCheck(hif, count - k - 1, ring);
            N6PciRxPacketHandler(hif, record);
        }
    }
    if (ring == 0) {
        if (adapter->RxMorePending != 0) {
            adapter->RxMorePending = 0;
            RecvFlushPortIndications(adapter);
        }
        // Frames queued for the OS in this pass: the receive queues hear of them once per enabling.
        QZCxRxNotify(adapter);
    }
    if (ring == 2 && adapter->RegistryBlock.TxRxThreadMode != 0 && !AdapterTestFlags(adapter, 0x200C0u)) {
        BOOLEAN waiting = FALSE;
        for (UCHAR ac = 0; ac < TX_PROCQ_COUNT && !waiting; ++ac) {
            waiting = static_cast<BOOLEAN>(TxProcqGetCount(adapter, ac) != 0);
        }
        if (waiting) {
            for (PMP_PORT port : adapter->PortList) {
                if (port != nullptr) {
                    PlatformSignalThread(&port->SendThread);
                }
            }
        }
    }
    if (timed) {
        TracePerf(adapter, start, "processing");
    }
    return STATUS_SUCCESS;
}

UCHAR N6PciGetRxPktType(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    PMP_ADAPTER adapter = hif->Adapter;
    const ULONG word0 = RxWord(record, 0);
    switch (HalChipGeneration(adapter->HalInfo.ChipCode)) {
    case CHIP_GENERATION_OLDER:
        return static_cast<UCHAR>(word0 >> 29);
    case CHIP_GENERATION_SECOND:
    case CHIP_GENERATION_THIRD:
        return static_cast<UCHAR>(word0 >> 27);
    default:
        return 0;
    }
}

VOID N6PciRxPacketHandler(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    PMP_ADAPTER adapter = hif->Adapter;
    if (record->BufferVa == nullptr || RxReadable(record) < kRxWord0Length) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive buffer of %u bytes has no descriptor word",
                 static_cast<unsigned>(record->ReceivedLength));
        RxDmaqFree(adapter, record);
        return;
    }
    const ULONG byteCount = RxWord(record, 0) & 0xFFFFu;
    if (byteCount >= kRxMaxByteCount) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive buffer claims %u bytes", static_cast<unsigned>(byteCount));
        RxDmaqFree(adapter, record);
        return;
    }
    const UCHAR type = N6PciGetRxPktType(hif, record);
    if (IsSecondGeneration(adapter) && record->PoolIndex == 0 && type != kRxPktFrame && type != kRxPktIcs &&
        type != kRxPktIcs2) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "packet type %u on the frame ring", static_cast<unsigned>(type));
        RxDmaqFree(adapter, record);
        return;
    }
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    switch (type) {
    case kRxPktFrame:
        if (ops.PciProcessRxPacket != nullptr) {
            ops.PciProcessRxPacket(hif, record);
        } else {
            RxDmaqFree(adapter, record);
        }
        break;
    case kRxPktSwDefined:
        if (ops.PciProcessRxSwDefinedPacket != nullptr) {
            ops.PciProcessRxSwDefinedPacket(hif, record);
        } else {
            RxDmaqFree(adapter, record);
        }
        break;
    case kRxPktMsduReport: {
        N6PciProcessMsduReport(hif, record);
        const BOOLEAN waiting = static_cast<BOOLEAN>(TxDoneWaitqGetCount(adapter) != 0);
        if (adapter->RegistryBlock.BatteryLifeImprove != 0 && adapter->LowPower.LowPowerMode != 0 &&
            __atomic_load_n(&adapter->LowPower.FwOwn[0], __ATOMIC_ACQUIRE) == 0 && ops.PcieAspmCtl != nullptr) {
            ops.PcieAspmCtl(adapter, waiting ? 1 : 0);
        }
        if (adapter->LowPower.LowPowerMode == 0 && adapter->RegistryBlock.LowPowerEnable != 0 && !waiting &&
            ops.PcieDynamicL1 != nullptr) {
            ops.PcieDynamicL1(adapter, TRUE);
        }
        break;
    }
    case kRxPktRxReport:
        N6PciProcessRxReport(hif, record);
        break;
    case kRxPktIcs:
    case kRxPktIcs2:
        N6PciProcessRxIcsPacket(hif, record);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "packet type %u dropped", static_cast<unsigned>(type));
        RxDmaqFree(adapter, record);
        break;
    }
}

VOID N6PciProcessMsduReport(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    PMP_ADAPTER adapter = hif->Adapter;
    const ULONG readable = RxReadable(record);
    if (record->BufferVa == nullptr || readable < 8) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit-done report of %u bytes", static_cast<unsigned>(readable));
        RxDmaqFree(adapter, record);
        return;
    }
    const ULONG word0 = RxWord(record, 0);
    const ULONG word1 = RxWord(record, 1);
    ULONG words = (word0 >> 2) & 0x3FFFu;
    if (words > readable / 4) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit-done report claims %u words, %u bytes received",
                 static_cast<unsigned>(words), static_cast<unsigned>(readable));
        words = readable / 4;
    }
    const ULONG entries = words >= 2 ? words - 2 : 0;
    const ULONG format = (word1 >> 16) & 0x7u;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit-done report: %u entries of format %u, 0x%02X",
             static_cast<unsigned>(entries), static_cast<unsigned>(format), static_cast<unsigned>(word1 & 0xFF));
    if (IsSecondGeneration(adapter)) {
        if (entries > adapter->TxDoneEntryLimit || format < 3) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit-done report of %u entries (limit %u), format %u refused",
                     static_cast<unsigned>(entries), static_cast<unsigned>(adapter->TxDoneEntryLimit),
                     static_cast<unsigned>(format));
            RxDmaqFree(adapter, record);
            N6PlatformIndicateTxSendRestartToWdi(adapter);
            return;
        }
        StaleSweep(adapter);
    }
    const ULONG batch = adapter->RegistryBlock.TpParameter1;
    BOOLEAN lastFlagged = FALSE;
    BOOLEAN done = FALSE;
    for (ULONG w = 0; w < entries && !done; ++w) {
        const ULONG entry = RxWord(record, 2 + w);
        const BOOLEAN endOfBatch =
            static_cast<BOOLEAN>(w + 1 == entries || (batch != 0 && (w + 1) % batch == 0));
        ULONG tokens[2] = {0x7FFF, 0x7FFF};
        switch (format) {
        case 0:
            tokens[0] = entry & 0xFFFFu;
            tokens[1] = entry >> 16;
            break;
        case 1:
            tokens[0] = entry & 0xFFFFu;
            break;
        case 3:
            if ((entry & 0x80000000u) == 0) {
                tokens[0] = (entry >> 16) & 0x7FFFu;
            }
            break;
        case 5:
            if ((entry & 0x80000000u) != 0) {
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit-done time stamp %u/%u",
                         static_cast<unsigned>((entry >> 12) & 0xFFF), static_cast<unsigned>((entry >> 24) & 0x7F));
            } else if ((entry & 0x40000000u) != 0) {
                static constexpr PCSTR kStatus[4] = {"Success", "Dropped by HW", "Dropped by MCU or SDO", "?"};
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit-done status: %s", kStatus[(entry >> 28) & 0x3]);
            } else {
                tokens[0] = entry & 0x7FFFu;
                tokens[1] = (entry >> 15) & 0x7FFFu;
            }
            break;
        default:
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "transmit-done report format %u not handled", static_cast<unsigned>(format));
            done = TRUE;
            continue;
        }
        BOOLEAN completed = FALSE;
        for (ULONG token : tokens) {
            if (token != 0x7FFF && CompleteToken(adapter, token)) {
                completed = TRUE;
            }
        }
        if (completed) {
            // The entry's completions carry the end-of-batch flag: the batch goes to the OS.
            lastFlagged = endOfBatch;
            if (endOfBatch) {
                FlushPendingCompletions(adapter);
            }
        }
    }
    if (!lastFlagged) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit-done report ends without a batch end");
        FlushPendingCompletions(adapter);
    }
    RxDmaqFree(adapter, record);
}

VOID N6PciProcessRxReport(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    PMP_ADAPTER adapter = hif->Adapter;
    constexpr ULONG kFixedWords = 20;
    constexpr ULONG kGroupFlagWord = 20;
    constexpr ULONG kGroupsStart = 22;  // byte 88
    const ULONG readable = RxReadable(record);
    if (record->BufferVa == nullptr || readable < 4) {
        RxDmaqFree(adapter, record);
        return;
    }
    const ULONG word0 = RxWord(record, 0);
    const ULONG byteCount = word0 & 0xFFFFu;
    const BOOLEAN groups = static_cast<BOOLEAN>((word0 & (1u << 25)) != 0);
    ULONG flags = 0;
    if (groups && readable >= 4 * (kGroupFlagWord + 1)) {
        flags = RxWord(record, kGroupFlagWord);
    }
    const BOOLEAN g1 = static_cast<BOOLEAN>((flags & (1u << 16)) != 0);
    const BOOLEAN g2 = static_cast<BOOLEAN>((flags & (1u << 17)) != 0);
    const BOOLEAN g3 = static_cast<BOOLEAN>((flags & (1u << 18)) != 0);
    const BOOLEAN g4 = static_cast<BOOLEAN>((flags & (1u << 19)) != 0);
    const ULONG expected = 4 * (kFixedWords + (groups ? 2 : 0) + (g1 ? 18 : 0) + (g2 ? 2 : 0) + (g3 ? 4 : 0) + (g4 ? 26 : 0));
    if (byteCount != expected || expected > readable) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive report of %u bytes, expected %u (%u received)",
                 static_cast<unsigned>(byteCount), static_cast<unsigned>(expected), static_cast<unsigned>(readable));
        RxDmaqFree(adapter, record);
        return;
    }
    PMP_PORT port = adapter->PortList[0];
    if (port != nullptr && groups) {
        ULONG w = kGroupsStart;
        const ULONG group1 = w;
        w += g1 ? 18 : 0;
        const ULONG group2 = w;
        if (g2) {
            port->RxReportTimeStamp = RxWord(record, group2);
        }
        if (g1) {
            // Words 0 (the rate word), 2 and 6 (the RCPI word) go to the receive-vector store.
            port->RxVectorStore[12] = RxWord(record, group1);
            port->RxVectorStore[14] = RxWord(record, group1 + 2);
            const ULONG rcpiWord = RxWord(record, group1 + 6);
            port->RxVectorStore[3] = rcpiWord;
            for (ULONG b = 0; b < 4; ++b) {
                port->RxReportRcpi[b] = static_cast<UCHAR>(rcpiWord >> (8 * b));
            }
            for (ULONG a = 0; a < 2; ++a) {
                const CHAR rssi = ReportRssi(port->RxReportRcpi[a]);
                port->RxReportRssi[a] = rssi;
                port->RxReportRssiSum[a] = static_cast<SHORT>(port->RxReportRssiSum[a] + rssi - port->RxReportRssiAvg[a]);
                port->RxReportRssiAvg[a] = static_cast<CHAR>(port->RxReportRssiSum[a] >> 3);
            }
        }
        if (g2) {
            port->RxVectorStore[15] = port->RxReportTimeStamp;
        }
    }
    RxDmaqFree(adapter, record);
}

VOID N6PciProcessRxIcsPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    PMP_ADAPTER adapter = hif->Adapter;
    if (HalCallOptional(adapter->HalOps.RecvProcessIcsLog, adapter, 0UL, record) == STATUS_NOT_SUPPORTED) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "log packet: the chip has no log operation");
    }
    RxDmaqFree(adapter, record);
}
