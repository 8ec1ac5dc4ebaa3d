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
#include "scenarios.h"
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
    const CHIP_HAL_INFO& info = a->HalInfo;
    std::printf("the driver:\n");
    std::printf("  chip 0x%04X (device id 0x%04X), hardware version 0x%04X, firmware %s, running word %u\n",
                info.ChipCode, a->DeviceId, static_cast<unsigned>(a->HwVersion),
                a->FwDownloaded ? "in RAM" : "not in RAM", static_cast<unsigned>(a->Running));
    const MP_PORT* port0 = a->PortList[0];
    if (port0 != nullptr) {
        std::printf("  port 0: station, address %02X:%02X:%02X:%02X:%02X:%02X, send thread \"%s\"\n",
                    a->CurrentAddress[0], a->CurrentAddress[1], a->CurrentAddress[2], a->CurrentAddress[3],
                    a->CurrentAddress[4], a->CurrentAddress[5], port0->SendThread.Name);
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
    std::set<std::string> seen;
    std::string line;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        const std::string suffix = " is not built yet";
        if (r.text.size() > suffix.size() && r.text.compare(r.text.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            seen.insert(r.function).second) {
            line += (line.empty() ? "" : ", ") + r.function;
        }
    }
    if (!line.empty()) {
        std::printf("services of later steps the bring-up called (not built yet; traced, the bring-up went on):\n");
        std::printf("  %s\n", line.c_str());
    }
}

}  // namespace

int RunBoot(const Options& options, uint16_t deviceId, const std::string& files)
{
    size_t violations = 0;
    BeginRun(options, &violations);
    kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
    kshim::host::TraceSetCapacity(1u << 20);
    std::printf("qzlsim boot: the first power-up of a simulated chip of device id 0x%04X\n", deviceId);
    World world(deviceId);
    kshim::host::Os os;
    kshim::host::OsDevice* device = nullptr;
    const NTSTATUS started = world.Start(os, files, &device);
    if (device == nullptr) {
        return 1;
    }
    const size_t logged = os.Log().size();
    const bool up = NT_SUCCESS(started) && device->State() == kshim::host::DeviceState::Started;
    std::printf("start: 0x%08X, the device %s\n", static_cast<unsigned>(started), up ? "is up" : "did not come up");
    if (up) {
        PrintDriver(QZCxGetAdapter(device->Handle()));
    }
    std::printf("the firmware received:\n");
    (void)PrintRomSteps(world.Firmware().Download(), 0, 0);
    PrintRamCommands(world.Firmware().Ram());
    std::printf("  firmware state: %s\n", FwStateName(world.Firmware().Download().RamStarted() ? 3 : 1));
    PrintNotBuilt();
    const size_t faults = PrintFirmwareFaults(world.Firmware());

    std::printf("the OS stops and removes the device and unloads the driver:\n");
    (void)os.Stop(device);
    os.Remove(device);
    (void)PrintOsLog(os, logged);
    const bool clean = RemoveAndUnload(os, nullptr);
    return up && clean && faults == 0 && violations == 0 ? 0 : 1;
}

}  // namespace qzlsim
