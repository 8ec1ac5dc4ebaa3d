// A host-side loop-back through everything the hardware path offers, the way the driver will use
// it: rings on framework common buffers, registers through the mapped BAR, and the chip's interrupt
// through a framework interrupt object (service routine masks, deferred routine acknowledges,
// serves the receive ring, hands the slots back and unmasks under WdfInterruptSynchronize). The
// chip echoes every command it consumes as an event on the events ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "../../kshim/src/wdf_interrupt_internal.h"
#include "../kshim/wdf_fixture.h"
#include "kshim/hal.h"
#include "kshim/host/os.h"
#include "support/eventually.h"
#include "kshim/wdf.h"
#include "simchip_support.h"

namespace {

using namespace sim::chip;
using simtest::Le32;
using simtest::PutLe32;

constexpr uint64_t kBarPhysical = 0xE0000000;
constexpr uint32_t kTxSlots = 128, kRxSlots = 64, kStride = 256;
constexpr uint32_t kMask3602 = 0x2600F000;
constexpr uint32_t kEventsBit = 1u << 14;  // RX ring 6 on 3602

NTSTATUS LoopDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init)
{
    WDFDEVICE device;
    return WdfDeviceCreate(&init, WDF_NO_OBJECT_ATTRIBUTES, &device);
}

NTSTATUS LoopDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, LoopDeviceAdd);
    return WdfDriverCreate(driver, path, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}

// What the interrupt path works on.
struct Loop {
    PUCHAR bar = nullptr;
    uint32_t status = 0, enableSet = 0, enableClear = 0, rxCpu = 0, rxDma = 0;  // BAR offsets
    uint8_t* rxDesc = nullptr;
    uint8_t* rxBuffers = nullptr;
    uint32_t rxRead = 0;  // next slot to look at (deferred routine only)
    std::atomic<uint32_t> received{0};
    std::atomic<uint32_t> wrong{0};
    std::atomic<uint32_t> services{0};

    ULONG Read(uint32_t offset) { return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(bar + offset)); }
    void Write(uint32_t offset, ULONG v) { WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(bar + offset), v); }
};

struct LOOP_CONTEXT {
    Loop* loop;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(LOOP_CONTEXT, GetLoop)

BOOLEAN LoopIsr(WDFINTERRUPT interrupt, ULONG)
{
    Loop* l = GetLoop(interrupt)->loop;
    l->Write(l->enableClear, kMask3602);
    WdfInterruptQueueDpcForIsr(interrupt);
    return TRUE;
}

VOID LoopDpc(WDFINTERRUPT interrupt, WDFOBJECT)
{
    Loop* l = GetLoop(interrupt)->loop;
    ++l->services;
    ULONG status = l->Read(l->status);
    l->Write(l->status, status);
    if ((status & kEventsBit) != 0) {
        ULONG dma = l->Read(l->rxDma);
        while (l->rxRead != dma) {
            uint8_t* desc = l->rxDesc + l->rxRead * kDescSize;
            uint32_t control = Le32(desc + 4);
            uint32_t length = (control >> kDescLengthShift) & kDescLengthMask;
            const uint8_t* data = l->rxBuffers + l->rxRead * kStride;
            uint32_t expected = l->received.load();
            if ((control & kDescDmaDone) == 0 || length != 4 + expected % 100 || Le32(data) != expected) {
                ++l->wrong;
            }
            ++l->received;
            PutLe32(desc + 4, kStride << kDescLengthShift);  // back to the chip, empty
            l->rxRead = (l->rxRead + 1) % kRxSlots;
        }
        l->Write(l->rxCpu, (l->rxRead + kRxSlots - 1) % kRxSlots);
    }
    WdfInterruptSynchronize(
        interrupt,
        [](WDFINTERRUPT i, WDFCONTEXT) -> BOOLEAN {
            Loop* loop = GetLoop(i)->loop;
            loop->Write(loop->enableSet, kMask3602);
            return TRUE;
        },
        nullptr);
}

NTSTATUS LoopEnable(WDFINTERRUPT interrupt, WDFDEVICE)
{
    Loop* l = GetLoop(interrupt)->loop;
    l->Write(l->enableSet, kMask3602);
    return STATUS_SUCCESS;
}

NTSTATUS LoopDisable(WDFINTERRUPT interrupt, WDFDEVICE)
{
    Loop* l = GetLoop(interrupt)->loop;
    l->Write(l->enableClear, kMask3602);
    return STATUS_SUCCESS;
}

WDFCOMMONBUFFER Common(WDFDMAENABLER enabler, size_t length, uint8_t** va, uint64_t* la)
{
    WDFCOMMONBUFFER buffer = nullptr;
    EXPECT_EQ(WdfCommonBufferCreate(enabler, length, WDF_NO_OBJECT_ATTRIBUTES, &buffer), STATUS_SUCCESS);
    *va = static_cast<uint8_t*>(WdfCommonBufferGetAlignedVirtualAddress(buffer));
    *la = static_cast<uint64_t>(WdfCommonBufferGetAlignedLogicalAddress(buffer).QuadPart);
    return buffer;
}

TEST(Loopback, CommandsEchoedAsEventsThroughRingsCommonBuffersAndTheInterruptObject)
{
    Chip chip(0x3602);
    simtest::Registers regs(chip);
    Loop loop;
    loop.status = regs.Offset(kHostIntStatus);
    loop.enableSet = regs.Offset(kHostIntEnableSet);
    loop.enableClear = regs.Offset(kHostIntEnableClear);
    const unsigned txRing = chip.rings().TxRing(TxRole::Command);
    const unsigned rxRing = chip.rings().RxRing(RxRole::Events);
    loop.rxCpu = regs.Offset(simtest::RxReg(rxRing, kRingRegCpuIndex));
    loop.rxDma = regs.Offset(simtest::RxReg(rxRing, kRingRegDmaIndex));
    const uint32_t txCpu = regs.Offset(simtest::TxReg(txRing, kRingRegCpuIndex));

    ASSERT_TRUE(kshim::host::PciAttach(&chip, kBarPhysical));
    PHYSICAL_ADDRESS physical;
    physical.QuadPart = static_cast<LONGLONG>(kBarPhysical);
    loop.bar = static_cast<PUCHAR>(MmMapIoSpaceEx(physical, chip.BarSize(0), PAGE_READWRITE | PAGE_NOCACHE));
    ASSERT_NE(loop.bar, nullptr);

    kshim::host::Os os;
    ASSERT_EQ(os.Load(&LoopDriverEntry, u"qzlloop"), STATUS_SUCCESS);
    WDFDEVICE device = os.AddDevice()->Handle();
    ASSERT_NE(device, nullptr);

    // Rings and buffers on common buffers.
    WDF_DMA_ENABLER_CONFIG dmaConfig;
    WDF_DMA_ENABLER_CONFIG_INIT(&dmaConfig, WdfDmaProfileScatterGather64, 4096);
    dmaConfig.AddressWidthOverride = 34;
    WDFDMAENABLER enabler = nullptr;
    ASSERT_EQ(WdfDmaEnablerCreate(device, &dmaConfig, WDF_NO_OBJECT_ATTRIBUTES, &enabler), STATUS_SUCCESS);
    uint8_t *txDesc, *txBuffers, *rxDesc;
    uint64_t txDescBus, txBuffersBus, rxDescBus, rxBuffersBus;
    Common(enabler, kTxSlots * kDescSize, &txDesc, &txDescBus);
    Common(enabler, kTxSlots * kStride, &txBuffers, &txBuffersBus);
    Common(enabler, kRxSlots * kDescSize, &rxDesc, &rxDescBus);
    Common(enabler, kRxSlots * kStride, &loop.rxBuffers, &rxBuffersBus);
    loop.rxDesc = rxDesc;
    for (uint32_t slot = 0; slot < kRxSlots; ++slot) {
        simtest::WriteRxDescriptor(rxDesc + slot * kDescSize, rxBuffersBus + slot * kStride, kStride);
    }

    // The chip echoes each command on the events ring (its consumer runs under the device lock).
    std::atomic<uint32_t> echoFailures{0};
    chip.SetTxConsumer(txRing, [&](const TxBuffer& b) {
        if (chip.PushRx(rxRing, b.data, b.length) != RxResult::Ok) {
            ++echoFailures;
        }
    });

    // The interrupt object, connected and enabled as the power-up would.
    WDF_INTERRUPT_CONFIG irqConfig;
    WDF_INTERRUPT_CONFIG_INIT(&irqConfig, LoopIsr, LoopDpc);
    irqConfig.EvtInterruptEnable = LoopEnable;
    irqConfig.EvtInterruptDisable = LoopDisable;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, LOOP_CONTEXT);
    WDFINTERRUPT interrupt = nullptr;
    ASSERT_EQ(WdfInterruptCreate(device, &irqConfig, &attributes, &interrupt), STATUS_SUCCESS);
    GetLoop(interrupt)->loop = &loop;
    kshim::wdf::InterruptConnect(device, &chip);

    // Ring programming with DMA off, then DMA on, then interrupts.
    regs.Write(kWfdmaGloCfg, 0);
    regs.Write(kWfdmaTxPtrReset, 0xFFFFFFFF);
    regs.Write(kWfdmaRxPtrReset, 0xFFFFFFFF);
    simtest::ProgramTxRing(regs, txRing, txDescBus, kTxSlots);
    simtest::ProgramRxRing(regs, rxRing, rxDescBus, kRxSlots);
    regs.Write(kWfdmaGloCfg, 0x50001070 | 0x208000 | kGloTxEnable | kGloRxEnable);
    ASSERT_EQ(kshim::wdf::InterruptsEnable(device), STATUS_SUCCESS);

    // Commands go out in bursts of up to kWindow, each burst on its doorbell writes alone; then the
    // simulation settles, and by then every command of the burst must have come back as an event.
    // Nothing here waits on time: the clock stands.
    kshim::host::ClockSetManual();
    constexpr uint32_t kCommands = 300;
    constexpr uint32_t kWindow = 32;  // in flight, well under the events ring
    uint32_t cpu = 0;
    for (uint32_t n = 0; n < kCommands;) {
        const uint32_t burstEnd = std::min(n + kWindow, kCommands);
        for (; n < burstEnd; ++n) {
            uint8_t* buffer = txBuffers + cpu * kStride;
            uint32_t length = 4 + n % 100;
            std::memset(buffer, 0xA5, length);
            PutLe32(buffer, n);
            simtest::WriteTxDescriptor(txDesc + cpu * kDescSize, txBuffersBus + cpu * kStride, length);
            cpu = (cpu + 1) % kTxSlots;
            WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(loop.bar + txCpu), cpu);
        }
        ASSERT_TRUE(qzl_test::Settle());
        ASSERT_EQ(loop.received.load(), n) << "after the burst ending at command " << n;
    }
    EXPECT_EQ(loop.wrong.load(), 0u);
    EXPECT_EQ(echoFailures.load(), 0u);
    EXPECT_GE(loop.services.load(), 1u);
    EXPECT_EQ(chip.TxConsumed(txRing), kCommands);

    ASSERT_EQ(kshim::wdf::InterruptsDisable(device), STATUS_SUCCESS);
    KeFlushQueuedDpcs();
    kshim::wdf::InterruptDisconnect(device);
    MmUnmapIoSpace(loop.bar, chip.BarSize(0));
    kshim::host::PciDetach(&chip);
    size_t buffersBefore = kshim::host::DmaLiveCommonBuffers();
    kshim::host::UnloadReport report = os.Unload();
    EXPECT_TRUE(report.clean) << report.text;
    EXPECT_EQ(kshim::host::DmaLiveCommonBuffers(), buffersBefore - 4);
    kshim::host::ClockSetAuto();
}

}  // namespace
