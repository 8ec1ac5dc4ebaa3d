// Harness options of the stand-in's run-time library.
#pragma once

#include <cstdint>

namespace kshim::host {

// The version RtlGetVersion reports (default 10.0, build 26100).
void SetOsVersion(uint32_t major, uint32_t minor, uint32_t build);

}  // namespace kshim::host
