// The PCI Express bus layer: register access through the fixed, movable and legacy windows, chip
// memory ranges, configuration space and the interrupt resource.
#include "platform/ndiscommon/ndiscommonhifpci.h"

#include "Common/qzcmd.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_remap.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/wificx/wificxmain.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The L1 window shows 64 KB of bus space; a range read moves the L2 window by as much.
constexpr ULONG kWindowSpan = 0x10000;

constexpr LONGLONG kUnitsPerMs = 10000;  // 100 ns units
// The firmware erase polls the sync value 500 times, 1 ms (100 stalls of 10 us) apart.
constexpr ULONG kEraseSyncPolls = 500;
constexpr ULONG kEraseStallsPerPoll = 100;
// The wait for commands and SER to finish: 1 s, or 2 s when a SER step ran at entry; 10 ms polls.
constexpr LONGLONG kCmdAndSerWaitMs = 1000;
constexpr LONGLONG kCmdAndSerWaitMsAfterSer = 2000;
constexpr ULONG kCmdAndSerPollUs = 10000;

BOOLEAN DeviceRefused(PPCI_HIF_CONTEXT hif)
{
    return static_cast<BOOLEAN>(AdapterTestFlags(hif->Adapter, ADAPTER_FLAGS_REGISTER_REFUSED) || hif->BarVa == nullptr);
}

// A BAR offset the mapping holds for `width` bytes.
BOOLEAN InsideBar(PPCI_HIF_CONTEXT hif, ULONG offset, ULONG width)
{
    return static_cast<BOOLEAN>(offset <= hif->BarLength && width <= hif->BarLength - offset);
}

volatile ULONG* BarWord(PPCI_HIF_CONTEXT hif, ULONG offset)
{
    return reinterpret_cast<volatile ULONG*>(hif->BarVa + offset);
}

// One word at a BAR offset; an offset past the mapping is refused before the device is touched.
NTSTATUS BarRead(PPCI_HIF_CONTEXT hif, ULONG offset, PULONG value)
{
    if (!InsideBar(hif, offset, sizeof(ULONG))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "BAR offset 0x%X beyond the %u-byte BAR", static_cast<unsigned>(offset),
                 static_cast<unsigned>(hif->BarLength));
        return STATUS_UNSUCCESSFUL;
    }
    *value = READ_REGISTER_ULONG(BarWord(hif, offset));
    return STATUS_SUCCESS;
}

// READ/WRITE_REGISTER_* complete each store with a full fence before they return.
NTSTATUS BarWrite(PPCI_HIF_CONTEXT hif, ULONG offset, ULONG value)
{
    if (!InsideBar(hif, offset, sizeof(ULONG))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "BAR offset 0x%X beyond the %u-byte BAR", static_cast<unsigned>(offset),
                 static_cast<unsigned>(hif->BarLength));
        return STATUS_UNSUCCESSFUL;
    }
    WRITE_REGISTER_ULONG(BarWord(hif, offset), value);
    return STATUS_SUCCESS;
}

void AcquireRemapLock(PPCI_HIF_CONTEXT hif)
{
    PPCI_HIF_LOCK lock = &hif->LockArray[PCI_HIF_LOCK_REMAP];
    KIRQL old;
    KeAcquireSpinLock(&lock->Lock, &old);
    lock->OldIrql = old;
}

void ReleaseRemapLock(PPCI_HIF_CONTEXT hif)
{
    PPCI_HIF_LOCK lock = &hif->LockArray[PCI_HIF_LOCK_REMAP];
    KeReleaseSpinLock(&lock->Lock, lock->OldIrql);
}

// The chip's window pair, or null (with a trace) when the chip lacks the window the access needs.
PCBUS_REMAP_WINDOW WindowPair(PPCI_HIF_CONTEXT hif, BOOLEAN needL2, PCSTR what)
{
    const PCBUS_REMAP_WINDOW* pair = hif->Adapter->HalInfo.BusRemapTable;
    if (pair == nullptr || pair[BUS_REMAP_WINDOW_L1] == nullptr || (needL2 && pair[BUS_REMAP_WINDOW_L2] == nullptr)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "%s: the chip has no movable window", what);
        return nullptr;
    }
    return pair[BUS_REMAP_WINDOW_L1];
}

// The window routines are reached only through the register routines, which have checked the
// context, the removal flags and the mapping.
enum class Direction { Read, Write };

void L1Access(PPCI_HIF_CONTEXT hif, ULONG windowAddress, PULONG value, Direction direction)
{
    PCBUS_REMAP_WINDOW l1 = WindowPair(hif, FALSE, "L1 window");
    if (l1 == nullptr) {
        return;
    }
    AcquireRemapLock(hif);
    ULONG saved = 0;
    (void)NdisCommonHifPciReadReg(hif, l1->SelectRegister, &saved);
    (void)NdisCommonHifPciWriteReg(hif, l1->SelectRegister, HalRemapWindowSelect(l1, saved, windowAddress));
    ULONG offset = HalRemapL1Offset(l1, windowAddress);
    if (direction == Direction::Read) {
        (void)BarRead(hif, offset, value);
    } else {
        (void)BarWrite(hif, offset, *value);
    }
    (void)NdisCommonHifPciWriteReg(hif, l1->SelectRegister, saved);
    ReleaseRemapLock(hif);
}

// Points the L1 window at the L2 data port; returns the select value to restore.
ULONG PointL1AtL2(PPCI_HIF_CONTEXT hif, PCBUS_REMAP_WINDOW l1, PCBUS_REMAP_WINDOW l2)
{
    ULONG saved = 0;
    (void)NdisCommonHifPciReadReg(hif, l1->SelectRegister, &saved);
    (void)NdisCommonHifPciWriteReg(hif, l1->SelectRegister, HalRemapWindowSelect(l1, saved, HalRemapL2PortAddress(l2)));
    return saved;
}

void L2Access(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value, Direction direction)
{
    PCBUS_REMAP_WINDOW l1 = WindowPair(hif, TRUE, "L2 window");
    if (l1 == nullptr) {
        return;
    }
    PCBUS_REMAP_WINDOW l2 = hif->Adapter->HalInfo.BusRemapTable[BUS_REMAP_WINDOW_L2];
    AcquireRemapLock(hif);
    ULONG saved = PointL1AtL2(hif, l1, l2);
    (void)NdisCommonHifPciWriteReg(hif, l2->SelectRegister, chipAddress);
    if (direction == Direction::Read) {
        (void)NdisCommonHifPciReadReg(hif, l2->WindowBase, value);
    } else {
        (void)NdisCommonHifPciWriteReg(hif, l2->WindowBase, *value);
    }
    (void)NdisCommonHifPciWriteReg(hif, l1->SelectRegister, saved);
    ReleaseRemapLock(hif);
}

NTSTATUS LegacyAccess(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value, Direction direction)
{
    ULONG selectOffset = 0;
    if (!NdisCommonHifPciBusAddrRemap(hif->Adapter, BUS_REMAP_LEGACY_SELECT_REGISTER, &selectOffset)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "chip address 0x%08X: the chip has no legacy window",
                 static_cast<unsigned>(chipAddress));
        return STATUS_UNSUCCESSFUL;
    }
    AcquireRemapLock(hif);
    NTSTATUS status = BarWrite(hif, selectOffset, HalRemapLegacySelect(chipAddress));
    if (NT_SUCCESS(status)) {
        ULONG offset = HalRemapLegacyOffset(chipAddress);
        status = direction == Direction::Read ? BarRead(hif, offset, value) : BarWrite(hif, offset, *value);
    }
    ReleaseRemapLock(hif);
    return status;
}

// The road of one register access: a fixed window, a movable window or the legacy window.
NTSTATUS Access(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value, Direction direction)
{
    BUS_REMAP_RESULT road;
    HalBusRemapResolve(hif->Adapter, chipAddress, &road);
    switch (road.Route) {
    case BusRemapRouteBar:
        return direction == Direction::Read ? BarRead(hif, road.Value, value) : BarWrite(hif, road.Value, *value);
    case BusRemapRouteL1:
        L1Access(hif, road.Value, value, direction);
        return STATUS_SUCCESS;
    case BusRemapRouteL2:
        L2Access(hif, road.Value, value, direction);
        return STATUS_SUCCESS;
    case BusRemapRouteLegacy:
    default:
        return LegacyAccess(hif, road.Value, value, direction);
    }
}

}  // namespace

// ================================================================================================
// registers
// ================================================================================================
NTSTATUS NdisCommonHifPciReadReg(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value)
{
    if (hif == nullptr || hif->Adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (DeviceRefused(hif)) {
        return STATUS_DEVICE_REMOVED;
    }
    NTSTATUS status = Access(hif, chipAddress, value, Direction::Read);
    if (*value == 0xFFFFFFFFu) {
        status = STATUS_DEVICE_REMOVED;
    }
    return status;
}

NTSTATUS NdisCommonHifPciWriteReg(PPCI_HIF_CONTEXT hif, ULONG chipAddress, ULONG value)
{
    if (hif == nullptr || hif->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "register write 0x%08X without a bus context",
                 static_cast<unsigned>(chipAddress));
        return STATUS_DEVICE_REMOVED;
    }
    if (DeviceRefused(hif)) {
        return STATUS_DEVICE_REMOVED;
    }
    return Access(hif, chipAddress, &value, Direction::Write);
}

VOID NdisCommonHifPciDevRegL1Read(PPCI_HIF_CONTEXT hif, ULONG windowAddress, PULONG value)
{
    L1Access(hif, windowAddress, value, Direction::Read);
}

VOID NdisCommonHifPciDevRegL1Write(PPCI_HIF_CONTEXT hif, ULONG windowAddress, ULONG value)
{
    L1Access(hif, windowAddress, &value, Direction::Write);
}

VOID NdisCommonHifPciDevRegL2Read(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value)
{
    L2Access(hif, chipAddress, value, Direction::Read);
}

VOID NdisCommonHifPciDevRegL2Write(PPCI_HIF_CONTEXT hif, ULONG chipAddress, ULONG value)
{
    L2Access(hif, chipAddress, &value, Direction::Write);
}

NTSTATUS NdisCommonHifPciLegacyRegRead(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value)
{
    return LegacyAccess(hif, chipAddress, value, Direction::Read);
}

NTSTATUS NdisCommonHifPciLegacyRegWrite(PPCI_HIF_CONTEXT hif, ULONG chipAddress, ULONG value)
{
    return LegacyAccess(hif, chipAddress, &value, Direction::Write);
}

BOOLEAN NdisCommonHifPciBusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset)
{
    if (adapter->HalOps.BusAddrRemap == nullptr) {
        return FALSE;
    }
    return adapter->HalOps.BusAddrRemap(adapter, chipAddress, barOffset);
}

// ================================================================================================
// chip memory ranges
// ================================================================================================
NTSTATUS NdisCommonHifPciReadRegRange(PPCI_HIF_CONTEXT hif, ULONG startAddress, PUCHAR buffer, ULONG byteCount)
{
    if (hif == nullptr || hif->Adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (DeviceRefused(hif)) {
        return STATUS_DEVICE_REMOVED;
    }
    PCBUS_REMAP_WINDOW l1 = WindowPair(hif, TRUE, "range read");
    if (l1 == nullptr) {
        return STATUS_SUCCESS;
    }
    PCBUS_REMAP_WINDOW l2 = hif->Adapter->HalInfo.BusRemapTable[BUS_REMAP_WINDOW_L2];
    AcquireRemapLock(hif);
    ULONG saved = PointL1AtL2(hif, l1, l2);
    NTSTATUS status = STATUS_SUCCESS;
    ULONG port = 0;
    if (!NdisCommonHifPciBusAddrRemap(hif->Adapter, l2->WindowBase, &port) || !InsideBar(hif, port, kWindowSpan)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "range read: the L2 data port 0x%08X is not in the BAR",
                 static_cast<unsigned>(l2->WindowBase));
        status = STATUS_UNSUCCESSFUL;
    } else {
        for (ULONG done = 0; done < byteCount; done += kWindowSpan) {
            ULONG chunk = byteCount - done < kWindowSpan ? byteCount - done : kWindowSpan;
            (void)NdisCommonHifPciWriteReg(hif, l2->SelectRegister, startAddress + done);
            PUCHAR source = hif->BarVa + port;
            ULONG copied = 0;
            for (; copied + sizeof(ULONG64) <= chunk; copied += sizeof(ULONG64)) {
                ULONG64 word = READ_REGISTER_ULONG64(reinterpret_cast<volatile ULONG64*>(source + copied));
                std::memcpy(buffer + done + copied, &word, sizeof(word));
            }
            for (; copied < chunk; ++copied) {
                buffer[done + copied] = READ_REGISTER_UCHAR(source + copied);
            }
        }
    }
    (void)NdisCommonHifPciWriteReg(hif, l1->SelectRegister, saved);
    ReleaseRemapLock(hif);
    return status;
}

// ================================================================================================
// configuration space
// ================================================================================================
ULONG NdisCommonHifPciReadConfigurationSpace(PMP_ADAPTER adapter, ULONG offset)
{
    PBUS_INTERFACE_STANDARD bus = &adapter->BusInterface;
    ULONG value = 0;
    ULONG moved = bus->GetBusData != nullptr
                      ? bus->GetBusData(bus->Context, PCI_WHICHSPACE_CONFIG, &value, offset, sizeof(value))
                      : 0;
    if (moved != sizeof(value)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "configuration read at 0x%X gave %u bytes", static_cast<unsigned>(offset),
                 static_cast<unsigned>(moved));
        return PCI_CONFIG_READ_FAILED;
    }
    return value;
}

VOID NdisCommonHifPciWriteConfigurationSpace(PMP_ADAPTER adapter, ULONG offset, ULONG value)
{
    PBUS_INTERFACE_STANDARD bus = &adapter->BusInterface;
    ULONG moved = bus->SetBusData != nullptr
                      ? bus->SetBusData(bus->Context, PCI_WHICHSPACE_CONFIG, &value, offset, sizeof(value))
                      : 0;
    if (moved != sizeof(value)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "configuration write at 0x%X took %u bytes", static_cast<unsigned>(offset),
                 static_cast<unsigned>(moved));
    }
}

// ================================================================================================
// interrupt registration
// ================================================================================================
NTSTATUS QZCxHifPciRegisterInterrupt(PPCI_HIF_CONTEXT hif, WDFCMRESLIST raw, WDFCMRESLIST translated)
{
    ULONG count = WdfCmResourceListGetCount(translated);
    PCM_PARTIAL_RESOURCE_DESCRIPTOR found = nullptr;
    ULONG index = 0;
    for (; index < count; ++index) {
        PCM_PARTIAL_RESOURCE_DESCRIPTOR d = WdfCmResourceListGetDescriptor(translated, index);
        if (d != nullptr && d->Type == CmResourceTypeInterrupt) {
            found = d;
            break;
        }
    }
    if (found == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "no interrupt resource among %u", static_cast<unsigned>(count));
        return STATUS_UNSUCCESSFUL;
    }
    PCM_PARTIAL_RESOURCE_DESCRIPTOR rawFound = WdfCmResourceListGetDescriptor(raw, index);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "interrupt resource %u: flags 0x%X vector 0x%X messages %u",
             static_cast<unsigned>(index), static_cast<unsigned>(found->Flags),
             static_cast<unsigned>(found->u.Interrupt.Vector),
             rawFound != nullptr ? static_cast<unsigned>(rawFound->u.MessageInterrupt.Raw.MessageCount) : 0u);
    PMP_ADAPTER adapter = hif->Adapter;
    const CHIP_HAL_OPS& ops = adapter->HalOps;
    if (ops.PciMsr == nullptr || ops.PciHandleInterrupt == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "the chip has no interrupt service or deferred routine");
        return STATUS_UNSUCCESSFUL;
    }
    if (ops.EnableInterrupt == nullptr || ops.DisableInterrupt == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "the chip cannot enable or disable its interrupts");
        return STATUS_UNSUCCESSFUL;
    }
    hif->InterruptIndex = index;
    hif->InterruptRaw = rawFound;
    hif->InterruptTranslated = found;

    WDF_INTERRUPT_CONFIG config;
    WDF_INTERRUPT_CONFIG_INIT(&config, ops.PciMsr, ops.PciHandleInterrupt);
    config.EvtInterruptEnable = QZCxInterruptEnable;
    config.EvtInterruptDisable = QZCxInterruptDisable;
    config.InterruptRaw = rawFound;
    config.InterruptTranslated = found;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, WIFICX_INTERRUPT);
    WDFINTERRUPT interrupt = nullptr;
    NTSTATUS status = WdfInterruptCreate(adapter->Device, &config, &attributes, &interrupt);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "interrupt object not created: 0x%08X", static_cast<unsigned>(status));
        return STATUS_UNSUCCESSFUL;
    }
    PWIFICX_INTERRUPT context = QZCxGetInterruptContext(interrupt);
    context->Adapter = adapter;
    context->Interrupt = interrupt;
    return STATUS_SUCCESS;
}

// ================================================================================================
// ownership
// ================================================================================================
NTSTATUS NdisCommonHifPciPmSetDriverOwn(PPCI_HIF_CONTEXT hif)
{
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    if (adapter == nullptr || adapter->HalOps.HifPciPmSetDriverOwn == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "the chip cannot take driver ownership");
        return STATUS_UNSUCCESSFUL;
    }
    return adapter->HalOps.HifPciPmSetDriverOwn(adapter);
}

NTSTATUS NdisCommonHifPciPmSetFwOwn(PPCI_HIF_CONTEXT hif, ULONG flags)
{
    UNREFERENCED_PARAMETER(hif);
    UNREFERENCED_PARAMETER(flags);
    return NOT_BUILT_YET();
}

NTSTATUS NdisCommonHifPciEnsureDriverOwn(PPCI_HIF_CONTEXT hif)
{
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    if (adapter == nullptr || adapter->HalOps.EnsureDriverOwn == nullptr) {
        return STATUS_SUCCESS;
    }
    return adapter->HalOps.EnsureDriverOwn(adapter);
}

// ================================================================================================
// rings
// ================================================================================================
VOID NdisCommonHifPciAcquireTxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    KIRQL old;
    KeAcquireSpinLock(&hif->TxRingLock[ring].Lock, &old);
    hif->TxRingLock[ring].OldIrql = old;
}

VOID NdisCommonHifPciReleaseTxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    KeReleaseSpinLock(&hif->TxRingLock[ring].Lock, hif->TxRingLock[ring].OldIrql);
}

VOID NdisCommonHifPciAcquireRxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    KIRQL old;
    KeAcquireSpinLock(&hif->LockArray[ring].Lock, &old);
    hif->LockArray[ring].OldIrql = old;
}

VOID NdisCommonHifPciReleaseRxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring)
{
    KeReleaseSpinLock(&hif->LockArray[ring].Lock, hif->LockArray[ring].OldIrql);
}

ULONG NdisCommonHifPciTxRingFreeCount(const PCI_TX_RING* ring)
{
    ULONG c = ring->CpuIndex;
    ULONG r = ring->ReclaimIndex;
    ULONG n = ring->SlotCount;
    if (n == 0) {
        return 0;
    }
    return c < r ? r - c - 1 : r + n - c - 1;
}

NTSTATUS NdisCommonHifPciInitTransmit(PPCI_HIF_CONTEXT hif, BOOLEAN allocate)
{
    NTSTATUS status = N6PciInitTransmit(hif, allocate);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "transmit rings (allocate %u): 0x%08X", static_cast<unsigned>(allocate),
             static_cast<unsigned>(status));
    return status;
}

NTSTATUS NdisCommonHifPciInitRecv(PPCI_HIF_CONTEXT hif, BOOLEAN allocate)
{
    NTSTATUS status = N6PciInitRecv(hif, allocate);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "receive rings (allocate %u): 0x%08X", static_cast<unsigned>(allocate),
             static_cast<unsigned>(status));
    return status;
}

VOID NdisCommonHifPciFreeTransmit(PPCI_HIF_CONTEXT hif)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "transmit rings released");
    WpdmaFreeTxRings(hif);
}

VOID NdisCommonHifPciFreeRecv(PPCI_HIF_CONTEXT hif)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "receive rings released");
    WpdmaFreeRxRings(hif);
}

NTSTATUS NdisCommonHifPciStartTxRx(PPCI_HIF_CONTEXT hif)
{
    if (AdapterTestFlags(hif->Adapter, ADAPTER_FLAGS_REGISTER_REFUSED)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit and receive not started: flags 0x%08X",
                 static_cast<unsigned>(AdapterGetFlags(hif->Adapter)));
        return STATUS_UNSUCCESSFUL;
    }
    return N6PciStartTxRx(hif);
}

NTSTATUS NdisCommonHifPciStopTxRx(PPCI_HIF_CONTEXT hif)
{
    if (AdapterTestFlags(hif->Adapter, ADAPTER_FLAGS_REGISTER_REFUSED)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit and receive not stopped: flags 0x%08X",
                 static_cast<unsigned>(AdapterGetFlags(hif->Adapter)));
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

ULONG NdisCommonHifPciUpdateTxRingIdx(PPCI_HIF_CONTEXT hif, UCHAR ringSelector)
{
    if (ringSelector >= PCI_TX_RING_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "reclaim of transmit ring %u", static_cast<unsigned>(ringSelector));
        return 0;
    }
    PPCI_TX_RING ring = &hif->TxRing[ringSelector];
    NdisCommonHifPciAcquireTxRingLock(hif, ringSelector);
    ULONG n = ring->SlotCount;
    if (n == 0 || ring->Regs.DmaIndex == 0) {
        ULONG free = NdisCommonHifPciTxRingFreeCount(ring);
        NdisCommonHifPciReleaseTxRingLock(hif, ringSelector);
        return free;
    }
    ULONG raw = 0;
    (void)HifIoRead32(hif->Adapter, ring->Regs.DmaIndex, &raw);
    ULONG d = raw & PCI_RING_INDEX_MASK;
    if (d > PCI_DMA_INDEX_MAX) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit ring %u: DMA index %u beyond every ring",
                 static_cast<unsigned>(ringSelector), static_cast<unsigned>(d));
        NdisCommonHifPciReleaseTxRingLock(hif, ringSelector);
        return 0;
    }
    ULONG r = ring->ReclaimIndex;
    // The chip can only have finished what was handed to it: the slots from the reclaim index up to
    // the CPU index. An index outside that window (beyond this ring, or past the CPU index) would
    // never be met by the reclaim walk; nothing is reclaimed.
    ULONG handed = (ring->CpuIndex + n - r) % n;
    if (d >= n || (d + n - r) % n > handed) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HIF, "transmit ring %u: DMA index %u outside slots %u..%u of %u",
                 static_cast<unsigned>(ringSelector), static_cast<unsigned>(d), static_cast<unsigned>(r),
                 static_cast<unsigned>(ring->CpuIndex), static_cast<unsigned>(n));
        NdisCommonHifPciReleaseTxRingLock(hif, ringSelector);
        return 0;
    }
    while (r != d) {
        volatile ULONG* control = &ring->Slots[r].DescriptorVa->Control;  // 16-byte aligned in the ring
        if ((__atomic_load_n(control, __ATOMIC_ACQUIRE) & WPDMA_CTRL_DMA_DONE) == 0) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "transmit ring %u: slot %u not done yet",
                     static_cast<unsigned>(ringSelector), static_cast<unsigned>(r));
            break;
        }
        if (ring->InFlight != 0) {
            --ring->InFlight;
        }
        r = (r + 1) % n;
    }
    ring->ReclaimIndex = r;
    ring->LastDmaIndex = d;
    ULONG free = NdisCommonHifPciTxRingFreeCount(ring);
    NdisCommonHifPciReleaseTxRingLock(hif, ringSelector);
    return free;
}

NTSTATUS NdisCommonHifPciFreeDescriptorRequest(PPCI_HIF_CONTEXT hif, UCHAR ring, ULONG count)
{
    if (ring >= PCI_TX_RING_COUNT) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (count == 0) {
        return STATUS_UNSUCCESSFUL;
    }
    NdisCommonHifPciAcquireTxRingLock(hif, ring);
    ULONG free = NdisCommonHifPciTxRingFreeCount(&hif->TxRing[ring]);
    NdisCommonHifPciReleaseTxRingLock(hif, ring);
    if (free >= count) {
        return STATUS_SUCCESS;
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_HIF, "transmit ring %u: %u free, %u wanted", static_cast<unsigned>(ring),
             static_cast<unsigned>(free), static_cast<unsigned>(count));
    return STATUS_INSUFFICIENT_RESOURCES;
}

NTSTATUS NdisCommonHifPciEraseFirmware(PPCI_HIF_CONTEXT hif)
{
    if (hif == nullptr || hif->Adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    ULONG sync = AsicArvel2xGetFwSyncValue(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "firmware erase: sync value %u", static_cast<unsigned>(sync));
    NTSTATUS result = QzCmdSendFwPowerCtrl(adapter, 1);
    for (ULONG poll = 0; poll < kEraseSyncPolls; ++poll) {
        if (adapter->HalOps.GetFwSyncValue != nullptr) {
            sync = adapter->HalOps.GetFwSyncValue(adapter);
        }
        if (sync == 0) {
            __atomic_store_n(&adapter->FwDownloaded, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "firmware erased after %u polls", static_cast<unsigned>(poll + 1));
            return STATUS_SUCCESS;
        }
        for (ULONG i = 0; i < kEraseStallsPerPoll; ++i) {
            KeStallExecutionProcessor(10);
        }
    }
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "firmware not erased: sync value %u after %u polls, power command 0x%08X",
             static_cast<unsigned>(sync), static_cast<unsigned>(kEraseSyncPolls), static_cast<unsigned>(result));
    return result;
}

VOID WaitFwCmdAndSerFinish(PMP_ADAPTER adapter)
{
    const UCHAR serAtEntry = __atomic_load_n(&adapter->Recovery.SerState, __ATOMIC_ACQUIRE);
    if (TxDWaitqGetCount(adapter) == 0 && !QzCmdQueueValidCheck(adapter) && serAtEntry == 0) {
        return;
    }
    const LONGLONG limit = (serAtEntry != 0 ? kCmdAndSerWaitMsAfterSer : kCmdAndSerWaitMs) * kUnitsPerMs;
    LARGE_INTEGER start;
    KeQuerySystemTime(&start);
    for (;;) {
        const ULONG onRings = TxDWaitqGetCount(adapter);
        const BOOLEAN slotsInUse = QzCmdQueueValidCheck(adapter);
        if (onRings == 0 && !slotsInUse && __atomic_load_n(&adapter->Recovery.SerState, __ATOMIC_ACQUIRE) == 0) {
            return;
        }
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "%u commands still on the rings, slots in use %u",
                 static_cast<unsigned>(onRings), static_cast<unsigned>(slotsInUse));
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        if (now.QuadPart - start.QuadPart >= limit) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "commands and SER not finished after %lld ms",
                     static_cast<long long>((now.QuadPart - start.QuadPart) / kUnitsPerMs));
            return;
        }
        NdisCommonGenericDelay(kCmdAndSerPollUs);
    }
}

NTSTATUS NdisCommonHifPciCmdSendMsg(PPCI_HIF_CONTEXT hif, PFW_CMD_MSG message, ULONG ringSelector)
{
    if (hif == nullptr || hif->Adapter == nullptr || message == nullptr || message->Buffer == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command message without a bus context or a buffer");
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = hif->Adapter;
    const BOOLEAN older = static_cast<BOOLEAN>(HalChipGeneration(adapter->HalInfo.ChipCode) == CHIP_GENERATION_OLDER);
    const BOOLEAN running = static_cast<BOOLEAN>(__atomic_load_n(&adapter->FwDownloaded, __ATOMIC_ACQUIRE) != 0);
    ULONG ring = PCI_TX_RING_DOWNLOAD;
    if (running || !older) {
        if (ringSelector == FW_CMD_RING_COMMAND) {
            ring = PCI_TX_RING_COMMAND;
        } else if (ringSelector != FW_CMD_RING_DOWNLOAD) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command ring selector %u", static_cast<unsigned>(ringSelector));
            return STATUS_UNSUCCESSFUL;
        }
    }
    const ULONG total = message->TotalLength;
    // Download data of the second and third generation leaves its descriptor and header behind.
    const ULONG skip = !older && message->Class == FW_CMD_CLASS_DOWNLOAD_DATA ? FW_CMD_LEGACY_PREFIX_LENGTH : 0;
    if (total > TX_DMAQ_POOL1_BUFFER || total > message->BufferSize || total <= skip) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command message of %u bytes (buffer %u, class 0x%02X) not sent",
                 static_cast<unsigned>(total), static_cast<unsigned>(message->BufferSize),
                 static_cast<unsigned>(message->Class));
        return STATUS_UNSUCCESSFUL;
    }
    PTX_DMAQ_DESC record = TxDmaqAlloc(adapter, 1);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "no command record for slot %u", static_cast<unsigned>(message->SlotIndex));
        return STATUS_UNSUCCESSFUL;
    }
    if (!NT_SUCCESS(NdisCommonHifPciFreeDescriptorRequest(hif, static_cast<UCHAR>(ring), 1))) {
        TxDmaqFree(adapter, record);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "transmit ring %u is full", static_cast<unsigned>(ring));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    const ULONG length = total - skip;
    PlatformMoveMemory(record->BufferVa, message->Buffer + skip, length);
    record->BytesUsed = length;
    NTSTATUS status = N6PciTxSendCmd(hif, record, ring, message->SlotIndex);
    if (!NT_SUCCESS(status)) {
        TxDmaqFree(adapter, record);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command for slot %u not placed on ring %u: 0x%08X",
                 static_cast<unsigned>(message->SlotIndex), static_cast<unsigned>(ring), static_cast<unsigned>(status));
        // The waiter learns the failure through a legacy sent report.
        (void)QzCmdEventCompleteWaitingFwCmd(adapter, FW_CMD_EVENT_DMA_DONE, nullptr, message->SlotIndex, status, FALSE);
        return status;
    }
    return STATUS_SUCCESS;
}

NTSTATUS NdisCommonHifPciSetPowerbyPortWOWLan(PMP_PORT port, ULONG state)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(state);
    return NOT_BUILT_YET();
}
