// What the driver did across its boundaries, for assertions: calls into services that are not built
// yet, as the stand-in recorded their named trace event (by the service's function name).
#pragma once

#include <string>
#include <vector>

#include "kshim/host/recorder.h"

namespace qzltest {

// Calls the driver made into `service` while its own code is not built yet ("" = any service).
inline size_t NotBuiltCalls(const std::string& service = "")
{
    return kshim::host::TraceEventCount("NotBuiltYet", service);
}

// The not-built services the driver called, by function name, in call order.
inline std::vector<std::string> NotBuiltSequence()
{
    std::vector<std::string> services;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceEvents("NotBuiltYet")) {
        services.push_back(r.function);
    }
    return services;
}

}  // namespace qzltest
