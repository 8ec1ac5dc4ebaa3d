// The transmit frame checks and the send step.
#include "platform/ndis6/n6xmit.h"

#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The OS's NDIS version from which the low-power tests apply.
constexpr ULONG kNdisVersionLowPowerTests = 0x6001D;
constexpr ULONG kFlagsNotReady = 0x20080u;
constexpr ULONG kWdiMessageStopAp = 15;

BOOLEAN IsApOpMode(ULONG opMode) { return static_cast<BOOLEAN>(opMode >= 2 && opMode <= 4); }

}  // namespace

NTSTATUS XmitCheckHWReadyToSend(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return NDIS_STATUS_INVALID_PORT;
    }
    const ULONG flags = AdapterGetFlags(adapter);
    const ULONG ndisVersion = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    if (ndisVersion > kNdisVersionLowPowerTests) {
        if ((flags & ADAPTER_FLAG_PCI_SUSPENDED) != 0) {
            return NDIS_STATUS_LOW_POWER_STATE;
        }
        if ((flags & ADAPTER_FLAG_TX_HELD) != 0 && port->PortType != EXTSTA) {
            return NDIS_STATUS_LOW_POWER_STATE;
        }
    }
    if ((flags & ADAPTER_FLAGS_REGISTER_REFUSED) != 0) {
        return NDIS_STATUS_ADAPTER_REMOVED;
    }
    if ((flags & ADAPTER_FLAG_HALT_IN_PROGRESS) != 0) {
        return NDIS_STATUS_CLOSING;
    }
    if ((flags & kFlagsNotReady) != 0) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR recovery = adapter->Recovery.FwRecoveryState;
    if (recovery == 1 || recovery == 2 || adapter->FwCmd.RecoveryInProgress == 1 || adapter->FwCmd.RecoveryInProgress == 2) {
        return STATUS_UNSUCCESSFUL;
    }
    if (IsApOpMode(port->OpMode)) {
        const BOOLEAN goRunning = static_cast<BOOLEAN>(adapter->P2pBlock != nullptr &&
                                                       (adapter->P2pBlock->Flags & P2P_FLAG_GO_RUNNING) != 0);
        const BOOLEAN stopPending = static_cast<BOOLEAN>(adapter->Wdi.CntlBlock.PendingMessageId == kWdiMessageStopAp);
        if (!goRunning || adapter->TxQueueStartedCount == 0 || stopPending) {
            return STATUS_UNSUCCESSFUL;
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS XmitSendPacket(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (record == nullptr || record->Port == nullptr || !IsApOpMode(record->Port->OpMode)) {
        return STATUS_UNSUCCESSFUL;
    }
    return XmitApSendPacket(adapter, record);
}

NTSTATUS XmitApSendPacket(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(record);
    return NOT_BUILT_YET();
}

VOID N6RecvCheckSpecificFrame(PMP_ADAPTER adapter, struct _RX_DMAQ_DESC* record)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(record);
    (void)NOT_BUILT_YET();
}
