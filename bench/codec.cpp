// Per message: the legacy command encoding of the send call, and the parsing of firmware events by
// the run-time dispatch, each beside a copy of the same bytes.
//
// Encoding: on a running 0x3502, a chip-configuration text (command 0xCA, 328-byte payload, not
// waited for) is sent at DISPATCH_LEVEL, where the send call builds the message (transmit descriptor,
// command header, payload), takes a slot, queues it and wakes the command thread, then returns. Only
// the call is timed; the ring is let drain between calls.
//
// Parsing: the chip capability event as the simulated RAM code writes it (nine records) through the
// run-time dispatch of a running 0x3502 at DISPATCH_LEVEL, and the third generation's unified
// capability event (four TLVs, rebuilt as a chip capability event) on a running 0x3602.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "bench_support.h"
#include "fw/capability.h"
#include "fw/events.h"
#include "fw/unified_events.h"
#include "kshim/ke.h"

namespace {

constexpr UCHAR kChipConfigText = 0xCA;
constexpr UCHAR kNoAnswer = 0x08;
constexpr size_t kTextPayload = 328;
constexpr size_t kLegacyPrefix = 64;

std::vector<uint8_t> TextPayload(const std::string& text)
{
    std::vector<uint8_t> p(kTextPayload, 0);
    p[4] = static_cast<uint8_t>(text.size());
    std::memcpy(p.data() + 8, text.data(), text.size());
    return p;
}

// Waits until no command slot is in use (the command thread sent it and the ring reported it done).
void Drain(PMP_ADAPTER adapter)
{
    while (QzCmdQueueValidCheck(adapter)) {
        std::this_thread::yield();
    }
}

void BM_LegacyCommandEncode3502(benchmark::State& state)
{
    qzlbench::SimDevice& device = qzlbench::SharedDevice(0x3502);
    PMP_ADAPTER adapter = device.Adapter();
    PMP_PORT port0 = adapter->PortList[0];
    const std::vector<uint8_t> payload = TextPayload("PassiveToActiveScan 0");
    for (auto _ : state) {
        Drain(adapter);
        KIRQL old;
        const auto start = std::chrono::steady_clock::now();
        KeRaiseIrql(DISPATCH_LEVEL, &old);
        const NTSTATUS status = QzCmdSendSetQuery(port0, kChipConfigText, FW_CMD_CLASS_NORMAL, 0, 1, kNoAnswer,
                                                  payload.data(), static_cast<USHORT>(payload.size()), nullptr, 0, 0);
        KeLowerIrql(old);
        state.SetIterationTime(qzlbench::SecondsSince(start));
        if (status != STATUS_SUCCESS) {
            state.SkipWithError("the send call refused the command");
            break;
        }
    }
    Drain(adapter);
    device.Firmware().Ram().ClearRecords();
}

// The legacy capability event of the simulated RAM code, in a 0x3502's receive buffer.
std::vector<uint8_t> LegacyCapabilityEvent()
{
    sim::fw::ChipCapabilities caps;
    caps.extra = sim::fw::LegacyExtraCapabilityRecords();
    sim::fw::EventHeader header;
    header.id = 0xEC;
    return sim::fw::EncodeRamEvent(sim::fw::Generation::Second, header,
                                   sim::fw::EncodeChipCapabilityPayload(sim::fw::CapabilityRecords(caps)));
}

// The unified capability event of a 0x3602.
std::vector<uint8_t> UnifiedCapabilityEvent()
{
    sim::fw::ChipCapabilities caps;
    std::vector<sim::fw::UniTlv> tlvs;
    for (const sim::fw::CapabilityRecord& r : sim::fw::CapabilityRecords(caps)) {
        tlvs.push_back({static_cast<uint16_t>(r.tag), r.value});
    }
    return sim::fw::EncodeUnifiedEvent(0x43, 0, {0, 0, 0, 0}, tlvs);
}

void Parse(benchmark::State& state, USHORT deviceId, const std::vector<uint8_t>& event)
{
    qzlbench::SimDevice& device = qzlbench::SharedDevice(deviceId);
    PMP_ADAPTER adapter = device.Adapter();
    std::vector<uint8_t> buffer(event);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    for (auto _ : state) {
        // The dispatch reads the buffer in place, as the receive ring leaves it.
        if (RamModeEventHandler(adapter, buffer.data(), static_cast<ULONG>(buffer.size())) != 1) {
            state.SkipWithError("the event was not handled");
            break;
        }
    }
    KeLowerIrql(old);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * event.size()));
}

void BM_ChipCapabilityEventParse3502(benchmark::State& state) { Parse(state, 0x3502, LegacyCapabilityEvent()); }
void BM_UnifiedCapabilityEventParse3602(benchmark::State& state) { Parse(state, 0x3602, UnifiedCapabilityEvent()); }

void BM_MemcpyLegacyCommandBytes(benchmark::State& state) { qzlbench::CopyBaseline(state, kLegacyPrefix + kTextPayload); }
void BM_MemcpyLegacyEventBytes(benchmark::State& state) { qzlbench::CopyBaseline(state, LegacyCapabilityEvent().size()); }
void BM_MemcpyUnifiedEventBytes(benchmark::State& state) { qzlbench::CopyBaseline(state, UnifiedCapabilityEvent().size()); }

}  // namespace

BENCHMARK(BM_MemcpyLegacyCommandBytes);
BENCHMARK(BM_MemcpyLegacyEventBytes);
BENCHMARK(BM_MemcpyUnifiedEventBytes);
BENCHMARK(BM_LegacyCommandEncode3502)->UseManualTime();
BENCHMARK(BM_ChipCapabilityEventParse3502);
BENCHMARK(BM_UnifiedCapabilityEventParse3602);

int main(int argc, char** argv)
{
    return qzlbench::RunWithRatios(argc, argv,
                                   {{"BM_LegacyCommandEncode3502/manual_time", "BM_MemcpyLegacyCommandBytes"},
                                    {"BM_ChipCapabilityEventParse3502", "BM_MemcpyLegacyEventBytes"},
                                    {"BM_UnifiedCapabilityEventParse3602", "BM_MemcpyUnifiedEventBytes"}});
}
