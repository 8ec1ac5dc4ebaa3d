// The testbed's scenarios, and how one is added.
//
// Each scenario is one source file in tools/qzlsim/ that registers itself when the program starts;
// main.cpp turns every registration into a sub-command of the command line (CLI11), with its help,
// its options and its refusals. Adding a scenario touches no other file (the folder's sources are
// globbed):
//
//     // tools/qzlsim/scan.cpp
//     #include "scenario.h"
//
//     namespace qzlsim {
//     namespace {
//
//     int RunScan(const Run& run)
//     {
//         size_t violations = 0;
//         BeginRun(run, &violations);  // stand-in defaults, the trace echo, strict-mode counting
//         ...                          // run the driver; print what a Wi-Fi engineer wants to see
//         // On a failure: say why in words before returning 1 (explain.h: ExplainFailure).
//         return ok && violations == 0 ? 0 : 1;
//     }
//
//     const Registration kScan({
//         .name = "scan",
//         .summary = "one scan of the world: the networks the OS was told of",
//         .order = 60,
//         .uses = kUsesDevice | kUsesWorld | kUsesPcap | kUsesFiles,
//         .run = RunScan,
//     });
//
//     }  // namespace
//     }  // namespace qzlsim
//
// Common options, parsed once and handed to the scenario in `Run`:
//   --device ID   PCI device id of the simulated chip, decimal or 0x hex (default 0x3602). An id the
//                 driver does not know still runs: the driver's refusal is then the result, and the
//                 id is printed as it was given.
//   --world FILE  the world file (TOML) with the access points and peers; none: the built-in world
//   --pcap OUT    write every frame on the air to this pcap file
//   --files DIR   the folder that stands for the platform's file system (the firmware package)
//   --trace       echo the driver's trace messages to stderr; every scenario takes it, and it may
//                 also stand before the scenario's name (`qzlsim --trace` runs the default scenario)
// A scenario lists in `uses` the common options it honours; any other one given to it is refused
// with words, so nobody believes an option took effect that the scenario ignores.
//
// Options of a scenario's own: `addOptions` receives the scenario's CLI11 sub-command and adds them,
// storing into the scenario file's own variables (that file alone includes <CLI/CLI.hpp>).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace CLI {
class App;
}

namespace qzlsim {

// The simulated chip's PCI device id as the command line gave it.
struct DeviceArg {
    uint16_t id = 0x3602;
    std::string given;  // the text on the command line; empty for the default

    // The id as the user wrote it ("0x3602" for the default); a decimal or otherwise spelled id
    // is followed by its hex form, e.g. "13826 (0x3602)".
    std::string Text() const;
};

// What a scenario runs with.
struct Run {
    std::string scenario;  // the scenario's name
    bool trace = false;    // --trace
    DeviceArg device;      // --device
    std::string world;     // --world; empty: the built-in world
    std::string pcap;      // --pcap; empty: no capture
    std::string files;     // --files; empty: a new folder with the chip's standard package
};

// The common options a scenario honours (Registration::uses).
enum : unsigned {
    kUsesDevice = 1u << 0,
    kUsesWorld = 1u << 1,
    kUsesPcap = 1u << 2,
    kUsesFiles = 1u << 3,
};

struct ScenarioInfo {
    const char* name = nullptr;     // the sub-command
    const char* summary = nullptr;  // one line for the list of scenarios
    const char* details = nullptr;  // optional: more lines for the scenario's own --help
    int order = 100;                // place in the list of scenarios (then by name)
    unsigned uses = 0;              // kUses* of the common options it honours
    void (*addOptions)(CLI::App& command) = nullptr;  // optional: the scenario's own options
    int (*run)(const Run& run) = nullptr;             // 0 on success, 1 on a failure it explained
};

// Registers a scenario at start-up; define one at namespace scope in the scenario's file.
class Registration {
public:
    explicit Registration(const ScenarioInfo& info);
};

// The scenarios registered, in list order.
size_t ScenarioCount();
const ScenarioInfo& ScenarioAt(size_t index);
const ScenarioInfo* FindScenario(const std::string& name);

// The scenario and device that run with no arguments.
inline constexpr const char kDefaultScenario[] = "boot";

// The start of every scenario: the stand-in's defaults, the trace capture the explanations read,
// the trace echo the run asks for, and a strict-mode handler that prints each failure and counts it
// in *violations.
void BeginRun(const Run& run, size_t* violations);

}  // namespace qzlsim
