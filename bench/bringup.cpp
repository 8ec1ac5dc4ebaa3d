// The first power-up of a simulated chip through the OS: prepare hardware, D0 entry and the
// driver's bring-up (adapter block, threads, rings, the firmware download through the boot ROM, the
// RAM code's start and the post-download steps: capability query, basic configuration, buffer-bin,
// texts) until the OS sees the device started. Each iteration adds a fresh device over a fresh chip;
// only the start is timed (the load before it and the stop, removal and unload after it are not).
// The stand-in's clock runs in real time, so the driver's own delays count at their real length.
//
// Baseline in the same run: a copy of every byte of the chip's firmware package.
#include <chrono>

#include "bench_support.h"

namespace {

void BringUp(benchmark::State& state, USHORT deviceId)
{
    qzlbench::ReleaseSharedDevice();
    for (auto _ : state) {
        qzlbench::SimDevice device(deviceId);
        const auto start = std::chrono::steady_clock::now();
        const NTSTATUS status = device.Start();
        state.SetIterationTime(qzlbench::SecondsSince(start));
        if (!NT_SUCCESS(status)) {
            state.SkipWithError("the device did not start");
            break;
        }
    }
}

void BM_BringUp3602(benchmark::State& state) { BringUp(state, 0x3602); }
void BM_BringUp3502(benchmark::State& state) { BringUp(state, 0x3502); }

// A copy of as many bytes as the chip's firmware package holds.
void PackageCopy(benchmark::State& state, USHORT deviceId)
{
    size_t bytes = 0;
    for (const sim::fw::NamedImage& image : sim::fw::StandardImages(HalChipCodeOfDeviceId(deviceId))) {
        bytes += image.image.bytes.size();
    }
    qzlbench::CopyBaseline(state, bytes);
}

void BM_MemcpyFirmwarePackage3602(benchmark::State& state) { PackageCopy(state, 0x3602); }
void BM_MemcpyFirmwarePackage3502(benchmark::State& state) { PackageCopy(state, 0x3502); }

}  // namespace

BENCHMARK(BM_MemcpyFirmwarePackage3602);
BENCHMARK(BM_MemcpyFirmwarePackage3502);
BENCHMARK(BM_BringUp3602)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BringUp3502)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return qzlbench::RunWithRatios(argc, argv,
                                   {{"BM_BringUp3602/iterations:3/manual_time", "BM_MemcpyFirmwarePackage3602"},
                                    {"BM_BringUp3502/iterations:3/manual_time", "BM_MemcpyFirmwarePackage3502"}});
}
