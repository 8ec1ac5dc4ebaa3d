// A firmware command round trip through the real driver on a simulated chip: the send call builds the
// capability query, takes a command slot and waits; "PlatformFWCmdThread" hands the message to the
// host interface, the simulated chip fetches it from the command ring, the simulated RAM code answers
// with its capability report on the event ring, the interrupt and receive path hand the event to the
// dispatch, its handler runs and the waiter is woken. The legacy form on a 0x3502, the unified form
// on a 0x3602.
//
// Baselines in the same run: a set/wait round trip of two stand-in events between two threads (the
// least a command that is answered on another thread can cost), and a copy of the command's bytes.
#include <atomic>
#include <thread>
#include <vector>

#include "Common/qzcmd.h"
#include "bench_support.h"
#include "kshim/ke.h"

namespace {

constexpr UCHAR kCapabilityQuery = 0x8A;
constexpr UCHAR kWaitForAnswer = 0x05;
constexpr size_t kLegacyCommandBytes = 64;  // transmit descriptor and command header; no payload

void RoundTrip(benchmark::State& state, USHORT deviceId)
{
    qzlbench::SimDevice& device = qzlbench::SharedDevice(deviceId);
    PMP_PORT port0 = device.Adapter()->PortList[0];
    for (auto _ : state) {
        const NTSTATUS status = QzCmdSendSetQuery(port0, kCapabilityQuery, FW_CMD_CLASS_NORMAL, 0, 0, kWaitForAnswer,
                                                  nullptr, 0, nullptr, 0, 0);
        if (status != STATUS_SUCCESS) {
            state.SkipWithError("the capability query failed");
            break;
        }
    }
}

void BM_FwCmdRoundTripLegacy3502(benchmark::State& state) { RoundTrip(state, 0x3502); }
void BM_FwCmdRoundTripUnified3602(benchmark::State& state) { RoundTrip(state, 0x3602); }

// Two threads bounce a wake-up through two stand-in synchronisation events.
void BM_EventSetWaitRoundTrip(benchmark::State& state)
{
    KEVENT ping;
    KEVENT pong;
    KeInitializeEvent(&ping, SynchronizationEvent, FALSE);
    KeInitializeEvent(&pong, SynchronizationEvent, FALSE);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        for (;;) {
            (void)KeWaitForSingleObject(&ping, Executive, KernelMode, FALSE, nullptr);
            if (stop.load()) {
                return;
            }
            (void)KeSetEvent(&pong, IO_NO_INCREMENT, FALSE);
        }
    });
    for (auto _ : state) {
        (void)KeSetEvent(&ping, IO_NO_INCREMENT, FALSE);
        (void)KeWaitForSingleObject(&pong, Executive, KernelMode, FALSE, nullptr);
    }
    stop.store(true);
    (void)KeSetEvent(&ping, IO_NO_INCREMENT, FALSE);
    peer.join();
}

void BM_MemcpyCommandBytes(benchmark::State& state) { qzlbench::CopyBaseline(state, kLegacyCommandBytes); }

}  // namespace

BENCHMARK(BM_EventSetWaitRoundTrip);
BENCHMARK(BM_MemcpyCommandBytes);
BENCHMARK(BM_FwCmdRoundTripLegacy3502);
BENCHMARK(BM_FwCmdRoundTripUnified3602);

int main(int argc, char** argv)
{
    return qzlbench::RunWithRatios(argc, argv,
                                   {{"BM_FwCmdRoundTripLegacy3502", "BM_EventSetWaitRoundTrip"},
                                    {"BM_FwCmdRoundTripUnified3602", "BM_EventSetWaitRoundTrip"},
                                    {"BM_FwCmdRoundTripLegacy3502", "BM_MemcpyCommandBytes"},
                                    {"BM_EventSetWaitRoundTrip", "BM_MemcpyCommandBytes"}});
}
