// The testbed's scenarios.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qzlsim {

struct Options {
    bool trace = false;  // echo the driver's trace messages to stderr
};

// The start of every scenario: the stand-in's defaults, the trace echo the options ask for, and a
// strict-mode handler that prints each failure and counts it in *violations.
void BeginRun(const Options& options, size_t* violations);

// Driver entry and device add through the simulated OS, then removal and unload; 0 when the driver
// loaded, created its device and gave back everything it took.
int RunLoad(const Options& options);

// Driver entry and device add over a simulated chip of the PCI device id, hardware preparation and
// release, removal and unload; prints the chip selected or the refusal. 0 when the preparation
// succeeded and everything was given back.
int RunPrepare(const Options& options, uint16_t deviceId);

// Hardware preparation over a simulated chip with the boot ROM on its rings, and one ROM-mode query
// (the ROM-version register read) through the driver's send call; prints the command, the answer
// event and the register accesses of the round trip. 0 when the answer came and everything was
// given back.
int RunFwCmd(const Options& options, uint16_t deviceId);

// The device started through the OS over a simulated chip with the boot ROM and its download model,
// from the firmware files under `files` (a new folder with the chip's standard package, written by
// the package builder, when empty); prints what the ROM received and the final firmware state. 0 when
// the RAM code runs, the ROM found nothing wrong and everything was given back.
int RunDownload(const Options& options, uint16_t deviceId, const std::string& files);

// The first power-up through the OS over a simulated chip with its whole firmware (files as for
// RunDownload): prints the OS's callbacks, what the driver built, what the firmware received and the
// services of later steps the bring-up called, then stops and removes the device and unloads the
// driver. 0 when the device came up and everything was given back.
int RunBoot(const Options& options, uint16_t deviceId, const std::string& files);

}  // namespace qzlsim
