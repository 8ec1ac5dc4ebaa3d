// The connect machine's fast-transition requests to the OS.
#include "Common/mlme/mlmeconnect.h"

#include "Common/logevent.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdievent.h"

namespace {

constexpr ULONG kLogFtNeeded = 0x40020444u;  // "FT Needed": the access point's address

}  // namespace

VOID MlmeCntlFT2ndAssocParamRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    const MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    if (p.FtBlock != 0 || p.RoamRequest == 0 || p.FtEnabled == 0 || p.FtSecondAuth == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "no FT association parameters asked: block %u roam %u FT %u second %u",
                 static_cast<unsigned>(p.FtBlock), static_cast<unsigned>(p.RoamRequest),
                 static_cast<unsigned>(p.FtEnabled), static_cast<unsigned>(p.FtSecondAuth));
        return;
    }
    const UCHAR* bssid = adapter->Mlme.Cntl.MlmeBssid;
    (void)WriteSystemEventLog(adapter, kLogFtNeeded, 0, bssid, MAC_ADDR_LEN);
    WdiEventIndicationFtAssocParamsNeeded(adapter, port, bssid);
}
