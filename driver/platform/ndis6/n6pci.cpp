// The PCI Express rings of the bus layer.
#include "platform/ndis6/n6pci.h"

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

// Writes a descriptor word the chip reads.
void StoreDescriptorWord(volatile ULONG* word, ULONG value) { __atomic_store_n(word, value, __ATOMIC_RELEASE); }

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
        NTSTATUS status = __TxDmaqInit(adapter, p, pools[p].records, pools[p].buffer);
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
    // The software queues that hold transmit records (per access category, transmit done) come with
    // the queue module; the pools go now.
    for (ULONG p = 0; p < TX_DMAQ_POOL_COUNT; ++p) {
        (void)__TxDmaqFree(hif->Adapter, p);
    }
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
        NTSTATUS status = __RxDmaqInit(adapter, p, pools[p].records, pools[p].buffer);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "receive pool %u: 0x%08X", static_cast<unsigned>(p),
                     static_cast<unsigned>(status));
            return status;
        }
    }
    NTSTATUS status = N6PciInitRxRing(hif, 0, PCI_RX_RING0_SLOTS, PCI_RX_RING0_BUFFER, allocate);
    if (NT_SUCCESS(status)) {
        ULONG eventBuffer = adapter->HalInfo.ChipCode == 0x3503 ? PCI_RX_RING1_BUFFER_QZ3503 : PCI_RX_RING1_BUFFER;
        status = N6PciInitRxRing(hif, 1, PCI_RX_RING1_SLOTS, eventBuffer, allocate);
    }
    if (NT_SUCCESS(status) && adapter->HalInfo.ChipCode != 0x3404) {
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
        PlatformZeroMemory(record->BufferVa, record->BufferSize);
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
        // The records attached to the slots go home before their pools are released.
        for (DMA_RING_SLOT& slot : r->Slots) {
            if (slot.Record != nullptr) {
                RxDmaqFree(hif->Adapter, slot.Record);
            }
            slot = DMA_RING_SLOT{};
        }
        r->SlotCount = 0;
        r->CpuIndex = 0;
        r->DmaIndex = 0;
        r->ReadIndex = 0;
    }
    for (ULONG p = 0; p < RX_DMAQ_POOL_COUNT; ++p) {
        (void)__RxDmaqFree(hif->Adapter, p);
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
// ring services whose code comes with the receive ring service and the command submission
// ================================================================================================
ULONG N6PciRxDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    UNREFERENCED_PARAMETER(hif);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "receive ring %u done", static_cast<unsigned>(ring));
    (void)NOT_BUILT_YET();
    return 0;
}

BOOLEAN N6PciSwDelayIntRxProc(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    UNREFERENCED_PARAMETER(hif);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "receive ring %u delay decision", static_cast<unsigned>(ring));
    (void)NOT_BUILT_YET();
    return TRUE;
}

VOID N6PciTxRingCmdDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring, BOOLEAN unified)
{
    UNREFERENCED_PARAMETER(hif);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "command ring %u done (unified %u)", static_cast<unsigned>(ring),
             static_cast<unsigned>(unified));
    (void)NOT_BUILT_YET();
}

NTSTATUS N6PciProcRxDonePkt(PMP_ADAPTER adapter, ULONG ring)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(ring);
    return NOT_BUILT_YET();
}
