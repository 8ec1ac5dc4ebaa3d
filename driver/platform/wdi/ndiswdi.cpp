// Operation modes between the driver's codes and the OS's WDI values.
#include "platform/wdi/ndiswdi.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

// OS WDI versions above this one take the newer operation-mode values.
constexpr ULONG kNewOpModeWdiVersion = 0x60027;

}  // namespace

ULONG NdisWdiGetOpModeValue(PMP_ADAPTER adapter, ULONG code)
{
    bool newer = adapter->TlvContext.PeerVersion > kNewOpModeWdiVersion;
    switch (code) {
    case 1: return newer ? 0 : 0x8;
    case 2: return newer ? 0x1 : 0x4;
    case 4: return newer ? 0 : 0x80000000u;
    case 8: return newer ? 0x8 : 0x10;
    case 16: return 0x20;
    case 32: return newer ? 0x10 : 0x40;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "operation-mode code 0x%X has no WDI value", static_cast<unsigned>(code));
        return 0;
    }
}
