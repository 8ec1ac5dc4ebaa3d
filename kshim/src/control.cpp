// Harness-wide reset of the stand-in's settings.
#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/host/dma.h"
#include "kshim/trace.h"

namespace kshim::host {

void ResetDefaults()
{
    ClockSetAuto(1);
    FaultClearAll();
    SetViolationHandler(nullptr);
    SetFastFailHook(nullptr);
    TraceClear();
    TraceSetLevel(TRACE_LEVEL_INFORMATION, 0);
    DmaResetDefaults();
}

}  // namespace kshim::host
