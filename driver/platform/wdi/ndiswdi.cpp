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

ULONG NdisWdiGetQzlOpModeValue(PMP_ADAPTER adapter, ULONG value)
{
    bool newer = adapter->TlvContext.PeerVersion > kNewOpModeWdiVersion;
    switch (value) {
    case 0x1: return newer ? 2 : 0;
    case 0x4: return newer ? 0 : 2;
    case 0x8: return newer ? 8 : 1;
    case 0x10: return newer ? 32 : 8;
    case 0x20: return 16;
    case 0x30: return newer ? 16 : 0;
    case 0x40: return newer ? 0 : 32;
    case 0x80000000u: return newer ? 0 : 4;
    default: return 0;
    }
}
