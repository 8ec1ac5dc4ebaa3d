// What the benchmark programs share: a simulated device the real driver brought up through the
// simulated OS (the chip, its whole firmware, the standard firmware package in a file root, the
// registry of an installed driver), and a main that prints, after Google Benchmark's own table, each
// measurement as a ratio to the baseline measured beside it in the same run.
//
// Each program lists its pairs {measurement, baseline} by benchmark name; the ratio is the
// measurement's real time per iteration divided by the baseline's. Absolute times depend on the
// machine; the ratios are what the programs report.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "fw/image_builder.h"
#include "fw/ram.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "kshim/host/files.h"
#include "kshim/host/os.h"
#include "kshim/host/registry.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/wificx/wificxmain.h"

namespace qzlbench {

// The driver's service and the Bluetooth filter's, installed beside each other.
inline const char kInstalledRegistry[] = R"(
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\wdrvcx]
ImagePath=sz:"\SystemRoot\System32\drivers\qzlwlan.sys"
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\wdrvcx\Parameters]
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\ZUDEVIzirero64]
ImagePath=sz:"\SystemRoot\System32\drivers\qzlbtfilter.sys"
[@device]
)";

// Stops the program with a message: a benchmark on a device that did not come up measures nothing.
[[noreturn]] inline void Fail(const std::string& what)
{
    std::fprintf(stderr, "benchmark set-up failed: %s\n", what.c_str());
    std::exit(2);
}

// The stand-in as the benchmarks run it: real time without speed-up (the driver's own delays and
// waits take their real length), tracing off, the registry of an installed driver.
inline void ResetWorld()
{
    kshim::host::ResetDefaults();
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    kshim::host::RegistryClear();
    std::string error;
    if (!kshim::host::RegistryLoadText(kInstalledRegistry, &error)) {
        Fail("registry: " + error);
    }
}

// A simulated chip of one device id with its firmware and standard package, and the driver loaded
// with one device over it (added; Start brings it up).
class SimDevice {
public:
    explicit SimDevice(USHORT deviceId) : deviceId_(deviceId)
    {
        ResetWorld();
        char pattern[] = "/tmp/qzl-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            Fail("no folder for the firmware package");
        }
        root_ = pattern;
        kshim::host::FilesSetRoot(root_);
        chip_ = std::make_unique<sim::chip::Chip>(deviceId);
        firmware_ = std::make_unique<sim::fw::ChipFirmware>(*chip_);
        images_ = sim::fw::StandardImages(HalChipCodeOfDeviceId(deviceId));
        if (!sim::fw::WritePackage(images_)) {
            Fail("firmware package not written");
        }
        firmware_->Expect(images_);
        if (!NT_SUCCESS(os_.Load(DriverEntry, u"wdrvcx"))) {
            Fail("driver entry");
        }
        kshim::host::DeviceConfig config;
        config.pci = chip_.get();
        device_ = os_.AddDevice(config);
        if (!NT_SUCCESS(device_->AddStatus())) {
            Fail("device add");
        }
    }

    ~SimDevice()
    {
        if (started_) {
            (void)os_.Stop(device_);
        }
        os_.Remove(device_);
        (void)os_.Unload();
        firmware_.reset();
        chip_.reset();
        kshim::host::FilesSetRoot("");
        std::filesystem::remove_all(root_);
    }
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // The first power-up through the OS; the start's status. Every answer of the firmware is taken.
    NTSTATUS Start()
    {
        const NTSTATUS status = os_.Start(device_);
        started_ = NT_SUCCESS(status);
        (void)firmware_->WaitDelivered();
        return status;
    }

    // Start, or the program stops.
    void StartOrFail()
    {
        const NTSTATUS status = Start();
        if (!NT_SUCCESS(status)) {
            char text[64];
            std::snprintf(text, sizeof(text), "device 0x%04X did not start: 0x%08X", deviceId_,
                          static_cast<unsigned>(status));
            Fail(text);
        }
    }

    USHORT DeviceId() const { return deviceId_; }
    MP_ADAPTER* Adapter() const { return QZCxGetAdapter(device_->Handle()); }
    sim::fw::ChipFirmware& Firmware() { return *firmware_; }
    sim::chip::Chip& Chip() { return *chip_; }
    kshim::host::Os& Os() { return os_; }
    kshim::host::OsDevice* Device() const { return device_; }

private:
    USHORT deviceId_;
    kshim::host::Os os_;
    std::string root_;
    std::unique_ptr<sim::chip::Chip> chip_;
    std::unique_ptr<sim::fw::ChipFirmware> firmware_;
    std::vector<sim::fw::NamedImage> images_;
    kshim::host::OsDevice* device_ = nullptr;
    bool started_ = false;
};

// One started device kept across the calls of the benchmarks that use it (a start takes about a
// second); asking for another device id replaces it, and ReleaseSharedDevice ends it.
inline std::unique_ptr<SimDevice>& SharedDeviceSlot()
{
    static std::unique_ptr<SimDevice> device;
    return device;
}

inline SimDevice& SharedDevice(USHORT deviceId)
{
    std::unique_ptr<SimDevice>& slot = SharedDeviceSlot();
    if (!slot || slot->DeviceId() != deviceId) {
        slot.reset();
        slot = std::make_unique<SimDevice>(deviceId);
        slot->StartOrFail();
    }
    return *slot;
}

inline void ReleaseSharedDevice() { SharedDeviceSlot().reset(); }

// One measurement and the baseline it is read against.
struct RatioPair {
    const char* measurement;
    const char* baseline;
};

// Google Benchmark's console table, and the real time per iteration of every run kept by name.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            // Seconds, whatever unit the benchmark reports in. With repetitions the median stands for
            // the benchmark; without, its one run.
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times_[name] = seconds;
                medians_[name] = true;
            } else if (run.run_type == Run::RT_Iteration && !medians_[name]) {
                times_[name] = seconds;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Prints "measurement / baseline = ratio" for every pair both of whose runs were measured.
    void PrintRatios(const std::vector<RatioPair>& pairs) const
    {
        std::printf("\nratios (real time per iteration, measurement / baseline, same run; medians of repetitions):\n");
        for (const RatioPair& pair : pairs) {
            auto m = times_.find(pair.measurement);
            auto b = times_.find(pair.baseline);
            if (m == times_.end() || b == times_.end() || b->second <= 0) {
                continue;
            }
            std::printf("  %-42s / %-30s = %10.1f\n", pair.measurement, pair.baseline, m->second / b->second);
        }
    }

private:
    std::map<std::string, double> times_;
    std::map<std::string, bool> medians_;
};

inline int RunWithRatios(int argc, char** argv, const std::vector<RatioPair>& pairs)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    ReleaseSharedDevice();
    reporter.PrintRatios(pairs);
    benchmark::Shutdown();
    return 0;
}

// The baseline most measurements sit beside: a copy of `bytes` bytes per iteration.
inline void CopyBaseline(benchmark::State& state, size_t bytes)
{
    std::vector<uint8_t> from(bytes, 0x5A);
    std::vector<uint8_t> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// Seconds since `start`, for benchmarks that time only part of an iteration.
inline double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace qzlbench
