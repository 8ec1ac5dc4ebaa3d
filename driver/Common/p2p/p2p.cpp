// Wi-Fi Direct: the command thread and the per-port state the shell touches.
#include "Common/p2p/p2p.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

void RunP2pCmd(PMP_ADAPTER adapter, PINTERNAL_CMD cmd)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "Wi-Fi Direct command 0x%08X for port %u",
             static_cast<unsigned>(cmd->CmdId), static_cast<unsigned>(cmd->PortIndex));
    (void)NOT_BUILT_YET();
}

}  // namespace

void P2PCmdThread(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformCmdQueueThreadLoop(adapter, &adapter->P2pBlock->CmdThread, &adapter->P2pBlock->CmdQueue, RunP2pCmd,
                               QzReturnInternalCmdBuffer);
}

UCHAR P2pGetClientWcid(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return 99;
}

void P2pSetModeValue(PMP_ADAPTER adapter, PMP_PORT port, ULONG mode)
{
    UNREFERENCED_PARAMETER(adapter);
    port->P2pState.ModeValue = mode;
}

void P2pShutdownAllPorts(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}
