// Why something failed, in words: what the testbed can tell from facts it checks itself (a device id
// the driver refuses, a firmware file that is not there), then the errors the driver traced, first
// to last, with their status codes named. The testbed is for people, so it reads the stand-in's trace
// capture for this (BeginRun sets the capture up); tests never do.
#pragma once

#include <cstddef>
#include <string>

#include "kshim/nt_types.h"
#include "scenario.h"

typedef struct _MP_ADAPTER MP_ADAPTER;

namespace kshim::host {
struct TraceRecord;
}

namespace qzlsim {

// How the driver traces a call of a service whose own code comes later (the text follows the
// function's name).
inline constexpr const char kNotBuiltSuffix[] = " is not built yet";
bool IsNotBuiltRecord(const kshim::host::TraceRecord& record);

// Where a step begins in the trace capture: ExplainFailure reads the errors traced after the mark.
size_t TraceMark();

// What failed, for ExplainFailure.
struct Failure {
    const char* what = nullptr;      // e.g. "the device's start"
    NTSTATUS status = STATUS_SUCCESS;  // the status the OS or the call saw; 0 when none
    size_t mark = 0;                 // TraceMark() before the step
    const MP_ADAPTER* adapter = nullptr;  // the device's adapter while it exists (for the firmware files)
};

// Prints "why: ..." lines: the testbed's reading of the failure (the device id, the firmware
// container), the driver's last error, and every error the driver traced during the step.
void ExplainFailure(const Run& run, const Failure& failure);

// A status code with its name where the testbed knows it: "0xC0000034 (object name not found)".
std::string StatusText(NTSTATUS status);

// Why the driver refuses this device id, in words ("0x3503: not a device of this driver ..."), or
// empty when the driver takes it. The id appears as the user gave it.
std::string DeviceRefusal(const DeviceArg& device);

}  // namespace qzlsim
