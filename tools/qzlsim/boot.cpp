// The boot scenario: the simulated OS starts a device over a simulated chip with its standard
// firmware package as the OS starts a real one (prepare hardware, D0 entry, interrupts, D0 entry after
// interrupts enabled), and the driver brings itself up: adapter block, threads, port 0, rings, the
// firmware download through the boot ROM and the first settings to the RAM code. The testbed prints
// the OS's callbacks, what the driver built, what the firmware received, and the services of later
// steps the bring-up called; then the OS stops and removes the device and unloads the driver.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "Common/p2p/p2p.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/trace.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/wificx/wificxmain.h"
#include "explain.h"
#include "scenario.h"
#include "summary.h"
#include "world.h"

namespace qzlsim {
namespace {

size_t RunningThreads(const MP_ADAPTER* a)
{
    const PLATFORM_THREAD* threads[] = {
        &a->FwCmdThread,        &a->IntHandlerThread,         &a->FwIdxLogThread,      &a->ControlCmdThread,
        &a->IcsCmdThread,       &a->P2pBlock->CmdThread,      &a->MlmeThread,          &a->TxNetQueueThread,
        &a->HifContext->RxThread[0], &a->HifContext->RxThread[1], &a->HifContext->RxThread[2],
    };
    size_t n = 0;
    for (const PLATFORM_THREAD* t : threads) {
        n += t->RunState.load() == PLATFORM_THREAD_RUNNING ? 1 : 0;
    }
    return n;
}

void PrintDriver(const MP_ADAPTER* a)
{
    std::printf("what the driver built:\n");
    const MP_PORT* port0 = a->PortList[0];
    if (port0 != nullptr) {
        std::printf("  port 0: station, address %02X:%02X:%02X:%02X:%02X:%02X, send thread \"%s\"\n",
                    port0->MacAddress[0], port0->MacAddress[1], port0->MacAddress[2], port0->MacAddress[3],
                    port0->MacAddress[4], port0->MacAddress[5], port0->SendThread.Name);
    }
    std::printf("  worker threads running: %zu of 11\n", RunningThreads(a));
    const PCI_HIF_CONTEXT* hif = a->HifContext;
    std::printf("  rings: transmit %u/%u/%u/%u slots, receive %u/%u/%u slots, started; interrupt enabled\n",
                hif->TxRing[0].SlotCount, hif->TxRing[1].SlotCount, hif->TxRing[2].SlotCount,
                hif->TxRing[3].SlotCount, hif->RxRing[0].SlotCount, hif->RxRing[1].SlotCount,
                hif->RxRing[2].SlotCount);
    std::printf("  packet pools: %u receive and %u management records; %u key-mapping records free\n",
                a->RxIndicateBlock->RecordList.Count, a->MgmtFrameBlock->RecordList.Count,
                a->KeyMappingPool.FreeList.Count);
}

// The services of later steps that the bring-up called, once each, in the order of their first call.
void PrintNotBuilt()
{
    constexpr size_t kWidth = 104;
    std::set<std::string> seen;
    std::string lines;
    std::string line;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        if (IsNotBuiltRecord(r) && seen.insert(r.function).second) {
            if (!line.empty() && line.size() + r.function.size() + 2 > kWidth) {
                lines += "  " + line + ",\n";
                line.clear();
            }
            line += (line.empty() ? "" : ", ") + r.function;
        }
    }
    if (!line.empty()) {
        std::printf("services of later steps the bring-up called (not built yet; traced, the bring-up went on):\n");
        std::printf("%s  %s\n", lines.c_str(), line.c_str());
    }
}

int RunBoot(const Run& run)
{
    size_t violations = 0;
    BeginRun(run, &violations);
    kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
    kshim::host::TraceSetCapacity(1u << 20);
    std::printf("qzlsim boot: the first power-up of a simulated chip of device id %s\n", run.device.Text().c_str());
    World world(run.device.id);
    kshim::host::Os os;
    kshim::host::OsDevice* device = nullptr;
    const NTSTATUS started = world.Start(run, os, &device);
    if (device == nullptr) {
        return 1;
    }
    const size_t logged = os.Log().size();
    const bool up = NT_SUCCESS(started) && device->State() == kshim::host::DeviceState::Started;
    if (up) {
        std::printf("the device is up\n");
        PrintDeviceSummary(device, world.Firmware());
        PrintDriver(QZCxGetAdapter(device->Handle()));
    }
    size_t faults = 0;
    if (world.Firmware() != nullptr && (up || !world.Firmware()->Download().Steps().empty())) {
        sim::fw::ChipFirmware& firmware = *world.Firmware();
        std::printf("the firmware received:\n");
        (void)PrintRomSteps(firmware.Download(), 0, 0);
        PrintRamCommands(firmware.Ram());
        std::printf("  firmware state: %s\n", FwStateName(firmware.Download().RamStarted() ? 3 : 1));
        faults = PrintFirmwareFaults(firmware);
    }
    PrintNotBuilt();

    std::printf("the OS stops and removes the device and unloads the driver:\n");
    (void)os.Stop(device);
    os.Remove(device);
    (void)PrintOsLog(os, logged);
    const bool clean = RemoveAndUnload(os, nullptr);
    return up && clean && faults == 0 && violations == 0 ? 0 : 1;
}

const Registration kBoot({
    .name = "boot",
    .summary = "the first power-up through the OS: the whole bring-up, the chip's summary, then stop and unload",
    .details = "The OS prepares the hardware, enters D0 and enables interrupts; the driver brings itself up and\n"
               "downloads the firmware. Prints the OS's callbacks, the chip's capabilities as the OS received\n"
               "them, the MAC address and where it came from, the country, what the driver built, every\n"
               "command the firmware received (by name) and the services of later steps the bring-up called;\n"
               "then the OS stops and removes the device and unloads the driver. Exit status 0 when the device\n"
               "came up and everything was given back.",
    .order = 50,
    .uses = kUsesDevice | kUsesFiles,
    .run = RunBoot,
});

}  // namespace
}  // namespace qzlsim
