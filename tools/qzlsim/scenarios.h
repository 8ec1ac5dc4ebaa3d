// The testbed's scenarios.
#pragma once

namespace qzlsim {

struct Options {
    bool trace = false;  // echo the driver's trace messages to stderr
};

// Driver entry and device add through the simulated OS, then removal and unload; 0 when the driver
// loaded, created its device and gave back everything it took.
int RunLoad(const Options& options);

}  // namespace qzlsim
