// The fwcmd scenario: the simulated OS loads the driver and prepares a device over a simulated chip;
// the testbed builds what the bring-up would before the firmware download (DMA enabler, command
// pools and queue, the firmware command thread, the rings, started, and the interrupt), puts the
// simulated boot ROM on the chip's rings and sends one ROM-mode query, the ROM-version register read,
// through the driver's send call. It prints the command as the ROM took it off the command ring, the
// answer event as the ROM wrote it into the event ring, what the driver made of it, and how many
// register accesses the round trip took. Then everything is released and the driver unloaded.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "../../kshim/src/wdf_interrupt_internal.h"
#include "Common/common.h"
#include "Common/qzcmd.h"
#include "chip/chip.h"
#include "fw/events.h"
#include "fw/ring_firmware.h"
#include "kshim/host/control.h"
#include "kshim/host/dma.h"
#include "kshim/host/os.h"
#include "kshim/trace.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/wificx/wificxmain.h"
#include "scenarios.h"

namespace qzlsim {
namespace {

constexpr uint8_t kRegisterRead = 0x03;
constexpr uint32_t kRomVersionAddress = 0x88000004;

// The body of "PlatformFWCmdThread" as the shell runs it (without the low-power ownership).
VOID FwCmdThreadBody(PVOID context)
{
    auto* a = static_cast<PMP_ADAPTER>(context);
    while (!PlatformThreadsStopping(a)) {
        (void)PlatformWaitEvent(&a->FwCmdThread.WakeEvent, 0);
        (void)QzCmdDequeueFWCmd(a, 0);
    }
}

std::string Hex(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    std::string text;
    char b[4];
    for (size_t i = from; i < bytes.size() && i < from + count; ++i) {
        std::snprintf(b, sizeof(b), "%02X ", bytes[i]);
        text += b;
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

void PrintBytes(const char* title, const std::vector<uint8_t>& bytes)
{
    std::printf("  %s (%zu bytes):\n", title, bytes.size());
    for (size_t at = 0; at < bytes.size(); at += 16) {
        std::printf("    %04zX  %s\n", at, Hex(bytes, at, 16).c_str());
    }
}

// The bring-up's share that the round trip needs, in its order; false (printed) on a failure.
struct Rig {
    PMP_ADAPTER adapter = nullptr;
    MP_PORT port{};
    bool pools = false;
    bool rings = false;
    bool thread = false;
    bool interrupts = false;
};

bool BuildRig(kshim::host::OsDevice* device, Rig* rig)
{
    PMP_ADAPTER a = QZCxGetAdapter(device->Handle());
    rig->adapter = a;
    a->PortList[0] = &rig->port;
    rig->port.Adapter = a;
    a->RegistryBlock.TxRxThreadMode = 0;  // events served in the interrupt's deferred routine
    QzInitCmdQueue(&a->Cmd.ControlQueue);
    QzInitInternalCmdBuffer(a);
    QzInitMsgCmdBuffer(a);
    rig->pools = true;
    QzCmdInitFWCmdSlotEvents(a);
    QzCmdInitFWCmdQueue(a);
    WDF_DMA_ENABLER_CONFIG dma;
    WDF_DMA_ENABLER_CONFIG_INIT(&dma, WdfDmaProfileScatterGather, 4096);
    if (!NT_SUCCESS(WdfDmaEnablerCreate(device->Handle(), &dma, WDF_NO_OBJECT_ATTRIBUTES, &a->DmaEnabler))) {
        std::printf("DMA enabler not created\n");
        return false;
    }
    NTSTATUS status = NdisCommonHifInitTransmit(a->HifContext, TRUE);
    if (NT_SUCCESS(status)) {
        status = NdisCommonHifInitRecv(a->HifContext, TRUE);
    }
    rig->rings = true;
    if (!NT_SUCCESS(status)) {
        std::printf("rings not created: 0x%08X\n", static_cast<unsigned>(status));
        return false;
    }
    PlatformInitThread(a, a, &a->FwCmdThread, FwCmdThreadBody, "PlatformFWCmdThread");
    if (!NT_SUCCESS(PlatformRunThread(a, &a->FwCmdThread))) {
        std::printf("firmware command thread not started\n");
        return false;
    }
    rig->thread = true;
    UCHAR progress[16] = {};
    status = NdisCommonHifStartTxRx(a->HifContext, progress);
    if (NT_SUCCESS(status)) {
        status = kshim::wdf::InterruptsEnable(device->Handle());
    }
    if (!NT_SUCCESS(status)) {
        std::printf("transmit and receive not started: 0x%08X\n", static_cast<unsigned>(status));
        return false;
    }
    rig->interrupts = true;
    return true;
}

void ReleaseRig(kshim::host::OsDevice* device, Rig* rig)
{
    PMP_ADAPTER a = rig->adapter;
    if (a == nullptr) {
        return;
    }
    if (rig->thread) {
        a->StopThreads.store(1);
        PlatformCancelThread(a, &a->FwCmdThread);
        PlatformFreeThread(a, &a->FwCmdThread);
    }
    if (rig->interrupts) {
        (void)kshim::wdf::InterruptsDisable(device->Handle());
        KeFlushQueuedDpcs();
    }
    if (rig->rings) {
        NdisCommonHifFreeTransmit(a->HifContext);
        NdisCommonHifFreeRecv(a->HifContext);
    }
    if (rig->pools) {
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue)) {
            QzReturnInternalCmdBuffer(a, cmd);
        }
        QzFreeInternalCmdBuffer(a);
        QzFreeMsgCmdBuffer(a);
    }
    a->PortList[0] = nullptr;
}

size_t RegisterAccesses(const sim::chip::Chip& chip)
{
    size_t n = 0;
    for (const sim::chip::Access& access : chip.Transcript()) {
        n += access.space == sim::chip::Access::Space::Bar ? 1 : 0;
    }
    return n;
}

int RoundTrip(sim::chip::Chip& chip, Rig* rig)
{
    PMP_ADAPTER a = rig->adapter;
    sim::fw::RingFirmware firmware(chip);
    std::vector<uint8_t> payload(4, 0);
    sim::fw::AppendU32(payload, kRomVersionAddress);
    sim::fw::AppendU32(payload, 0);
    chip.ClearTranscript();
    NTSTATUS status = QzCmdSendSetQuery(&rig->port, kRegisterRead, kRegisterRead, 0, 0, FW_CMD_FLAG_NEED_ANSWER,
                                        payload.data(), static_cast<USHORT>(payload.size()), nullptr, 0, 0);
    (void)firmware.WaitDelivered();
    // The round trip ends when the command ring's record is home and the interrupt work is over.
    for (int i = 0; i < 5000 && (TxDWaitqGetCount(a) != 0 || a->InterruptsDisabled != 0); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    KeFlushQueuedDpcs();
    const size_t accesses = RegisterAccesses(chip);
    std::vector<sim::fw::RingExchange> exchanges = firmware.Exchanges();
    std::printf("send call: ROM register read of 0x%08X, waiting for the answer: status 0x%08X\n",
                kRomVersionAddress, static_cast<unsigned>(status));
    for (const sim::fw::RingExchange& e : exchanges) {
        std::printf("firmware took %zu bytes off the %s ring: %s\n", e.bytes.size(),
                    e.ring == sim::fw::kCommandRing ? "command" : "download", e.note.c_str());
        PrintBytes("command (transmit descriptor, header, payload)", e.bytes);
        for (const std::vector<uint8_t>& event : e.events) {
            PrintBytes("answer event (receive descriptor, ROM header, payload)", event);
        }
    }
    const ULONG version = __atomic_load_n(&a->RomVersionWord, __ATOMIC_ACQUIRE);
    std::printf("driver: ROM version word 0x%08X recorded, firmware command slots in use: %s\n",
                static_cast<unsigned>(version), QzCmdQueueValidCheck(a) ? "some" : "none");
    std::printf("round trip: %zu register accesses (send, sent report, answer event, slot returns)\n", accesses);
    const bool answered = status == STATUS_SUCCESS && exchanges.size() == 1 && exchanges[0].events.size() == 1 &&
                          version == firmware.Rom().Settings().romVersionWord;
    return answered ? 0 : 1;
}

}  // namespace

int RunFwCmd(const Options& options, uint16_t deviceId)
{
    size_t violations = 0;
    BeginRun(options, &violations);
    std::printf("qzlsim fwcmd: one ROM-mode firmware command on a simulated chip of device id 0x%04X\n", deviceId);
    sim::chip::Chip chip(deviceId);
    if (!chip.rings().present) {
        std::printf("the simulated chip of device id 0x%04X has no ring engine\n", deviceId);
        return 1;
    }
    kshim::host::Os os;
    if (!NT_SUCCESS(os.Load(DriverEntry, u"wdrvcx"))) {
        std::printf("driver entry failed\n");
        return 1;
    }
    kshim::host::DeviceConfig config;
    config.pci = &chip;
    kshim::host::OsDevice* device = os.AddDevice(config);
    int result = 1;
    Rig rig;
    if (NT_SUCCESS(device->AddStatus()) && NT_SUCCESS(os.PrepareHardware(device))) {
        if (BuildRig(device, &rig)) {
            result = RoundTrip(chip, &rig);
        }
        ReleaseRig(device, &rig);
        (void)os.ReleaseHardware(device);
    } else {
        std::printf("device add or hardware preparation failed\n");
    }
    os.Remove(device);
    kshim::host::UnloadReport report = os.Unload();
    if (!report.clean) {
        std::printf("driver unloaded with leftovers:\n%s", report.text.c_str());
        result = 1;
    } else {
        std::printf("driver unloaded: every allocation, mapping and framework object was returned\n");
    }
    return result == 0 && violations == 0 ? 0 : 1;
}

}  // namespace qzlsim
