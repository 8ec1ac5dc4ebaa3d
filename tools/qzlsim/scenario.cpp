// The registry of the testbed's scenarios and what every scenario does first.
#include "scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/trace.h"

namespace qzlsim {
namespace {

// Filled by the registrations' constructors before main runs; a function's own static, so the
// order in which the scenario files start does not matter.
std::vector<ScenarioInfo>& Registry()
{
    static std::vector<ScenarioInfo> registry;
    return registry;
}

}  // namespace

std::string DeviceArg::Text() const
{
    char hex[8];
    std::snprintf(hex, sizeof(hex), "0x%04X", id);
    if (given.empty() || given == hex) {
        return hex;
    }
    return given + " (" + hex + ")";
}

Registration::Registration(const ScenarioInfo& info)
{
    std::vector<ScenarioInfo>& registry = Registry();
    auto before = [](const ScenarioInfo& a, const ScenarioInfo& b) {
        return a.order != b.order ? a.order < b.order : std::strcmp(a.name, b.name) < 0;
    };
    registry.insert(std::upper_bound(registry.begin(), registry.end(), info, before), info);
}

size_t ScenarioCount() { return Registry().size(); }

const ScenarioInfo& ScenarioAt(size_t index) { return Registry().at(index); }

const ScenarioInfo* FindScenario(const std::string& name)
{
    for (const ScenarioInfo& info : Registry()) {
        if (name == info.name) {
            return &info;
        }
    }
    return nullptr;
}

void BeginRun(const Run& run, size_t* violations)
{
    kshim::host::ResetDefaults();
    // The explanation of a failure reads the driver's errors back from the capture.
    kshim::host::TraceSetLevel(TRACE_LEVEL_INFORMATION);
    kshim::host::TraceSetCapacity(1u << 18);
    kshim::host::TraceClear();
    kshim::host::TraceSetEcho(run.trace ? TRACE_LEVEL_INFORMATION : 0);
    kshim::host::SetViolationHandler([violations](const kshim::host::Violation& v) {
        ++*violations;
        std::printf("strict-mode failure: %s%s%s\n", v.what.c_str(), v.detail.empty() ? "" : ": ", v.detail.c_str());
    });
}

}  // namespace qzlsim
