// The fwcmd scenario: the simulated OS loads the driver and prepares a device over a simulated chip;
// the testbed runs the bring-up's own steps that come before the firmware download (port 0, the
// worker threads, the adapter block with the rings, started, and the interrupt), puts the
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

#include "Common/common.h"
#include "Common/qzcmd.h"
#include "chip/chip.h"
#include "fw/events.h"
#include "fw/ring_firmware.h"
#include "kshim/host/control.h"
#include "kshim/trace.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "rig.h"
#include "scenario.h"

namespace qzlsim {
namespace {

constexpr uint8_t kRegisterRead = 0x03;
constexpr uint32_t kRomVersionAddress = 0x88000004;

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
    if (!chip.rings().present) {
        std::printf("no boot ROM to ask: the simulated chip has no ring engine\n");
        return 1;
    }
    sim::fw::RingFirmware firmware(chip);
    std::vector<uint8_t> payload(4, 0);
    sim::fw::AppendU32(payload, kRomVersionAddress);
    sim::fw::AppendU32(payload, 0);
    chip.ClearTranscript();
    NTSTATUS status = QzCmdSendSetQuery(rig->port, kRegisterRead, kRegisterRead, 0, 0, FW_CMD_FLAG_NEED_ANSWER,
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
    const ULONG version = __atomic_load_n(&a->FwEvent.RomVersionWord, __ATOMIC_ACQUIRE);
    std::printf("driver: ROM version word 0x%08X recorded, firmware command slots in use: %s\n",
                static_cast<unsigned>(version), QzCmdQueueValidCheck(a) ? "some" : "none");
    std::printf("round trip: %zu register accesses (send, sent report, answer event, slot returns)\n", accesses);
    const bool answered = status == STATUS_SUCCESS && exchanges.size() == 1 && exchanges[0].events.size() == 1 &&
                          version == firmware.Rom().Settings().romVersionWord;
    return answered ? 0 : 1;
}

int RunFwCmd(const Run& run)
{
    size_t violations = 0;
    BeginRun(run, &violations);
    std::printf("qzlsim fwcmd: one ROM-mode firmware command on a simulated chip of device id %s\n",
                run.device.Text().c_str());
    sim::chip::Chip chip(run.device.id);
    if (!chip.rings().present) {
        // The driver refuses such a chip before it would use rings; its refusal is the result.
        std::printf("the simulated chip of device id %s has no ring engine: no firmware runs on it\n",
                    run.device.Text().c_str());
    }
    return RunOnRig(run, chip, violations, [&chip](Rig* rig) { return RoundTrip(chip, rig); });
}

const Registration kFwCmd({
    .name = "fwcmd",
    .summary = "one ROM-mode firmware command through the rings and its answer, byte by byte",
    .details = "Runs the bring-up's steps before the download, puts the simulated boot ROM on the rings and\n"
               "sends the ROM-version register read: prints the command, the answer event and the register\n"
               "accesses of the round trip (second and third generation).",
    .order = 30,
    .uses = kUsesDevice,
    .run = RunFwCmd,
});

}  // namespace
}  // namespace qzlsim
