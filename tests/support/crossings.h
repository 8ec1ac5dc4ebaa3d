// What the driver did across its boundaries, for assertions: calls into services that are not built
// yet, as the stand-in recorded their named trace event (by the service's function name).
#pragma once

#include <string>

#include "kshim/host/recorder.h"

namespace qzltest {

// Calls the driver made into `service` while its own code is not built yet ("" = any service).
inline size_t NotBuiltCalls(const std::string& service = "")
{
    return kshim::host::TraceEventCount("NotBuiltYet", service);
}

}  // namespace qzltest
