// What every scenario of the testbed does first.
#include <cstdio>

#include "kshim/host/control.h"
#include "kshim/trace.h"
#include "scenarios.h"

namespace qzlsim {

void BeginRun(const Options& options, size_t* violations)
{
    kshim::host::ResetDefaults();
    kshim::host::TraceSetEcho(options.trace ? TRACE_LEVEL_INFORMATION : 0);
    kshim::host::SetViolationHandler([violations](const kshim::host::Violation& v) {
        ++*violations;
        std::printf("strict-mode failure: %s%s%s\n", v.what.c_str(), v.detail.empty() ? "" : ": ", v.detail.c_str());
    });
}

}  // namespace qzlsim
