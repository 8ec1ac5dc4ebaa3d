// The per-port transmit dequeue from the software process queues to the data rings, the transmit
// permission it asks first, the multi-channel transmit ring pause, and the channel restore a new
// port asks for on the control thread.
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

// Adapter flag bits that hold a Wi-Fi Direct group's transmission: radio off, not responding, 0x80,
// halting.
constexpr ULONG kGroupWaitFlags = 0x201C0u;
constexpr ULONG kStationWaitFlag = 0x80u;
// Wi-Fi Direct connection states above this one are group states (client or group owner operating).
constexpr LONG kLastFormationState = P2P_I_AM_CLIENT_ASSOC_AUTH;
// Operation-mode codes from this one on are Wi-Fi Direct clients, which follow the granted channel.
constexpr ULONG kClientOpModeCode = 32;
constexpr ULONG kSubStateHold = 35;
// The CT window byte: the window in bits 0-6, opportunistic power save in bit 7.
constexpr UCHAR kCtWindowOppPs = 0x80;
constexpr UCHAR kCtWindowMask = 0x7F;
constexpr UCHAR kVoice = 3;
constexpr UCHAR kOther = 4;
constexpr ULONG kAspmBatteryLife = 2;
constexpr USHORT kStationRole = MAC_ENTRY_KIND_PEER;
// A frame the ring refused without a retry mark.
constexpr NTSTATUS kStatusRequeue = static_cast<NTSTATUS>(0xC0010011L);
constexpr ULONG kRestoreDurationMs = 20;
constexpr UCHAR kRestoreKind = 2;

NTSTATUS Wait(PMP_PORT port, PCSTR why)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "port %u may not transmit: %s", static_cast<unsigned>(port->PortNumber), why);
    return STATUS_UNSUCCESSFUL;
}

// Marks the access category's dequeue as running; FALSE when another caller holds it.
BOOLEAN EnterDequeue(PMP_ADAPTER adapter, UCHAR ac)
{
    KIRQL irql;
    KeAcquireSpinLock(&adapter->Recovery.AcDequeueLock[ac], &irql);
    const BOOLEAN free = static_cast<BOOLEAN>(adapter->Recovery.AcDequeueInProgress[ac] == 0);
    if (free) {
        adapter->Recovery.AcDequeueInProgress[ac] = 1;
    }
    KeReleaseSpinLock(&adapter->Recovery.AcDequeueLock[ac], irql);
    return free;
}

void LeaveDequeue(PMP_ADAPTER adapter, UCHAR ac)
{
    KIRQL irql;
    KeAcquireSpinLock(&adapter->Recovery.AcDequeueLock[ac], &irql);
    adapter->Recovery.AcDequeueInProgress[ac] = 0;
    KeReleaseSpinLock(&adapter->Recovery.AcDequeueLock[ac], irql);
}

// A group owner that has not started sends only voice frames until its own entry is ready.
BOOLEAN GroupOwnerHolds(PMP_PORT port, UCHAR ac)
{
    if (port->PortType != WFD_GO || port->Mlme.GoStarted != 0 || ac == kVoice) {
        return FALSE;
    }
    PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
    return static_cast<BOOLEAN>(own != nullptr && own->KeyReady != 1);
}

ULONG BurstLimit(PMP_PORT port)
{
    if ((port->P2pCtWindow & kCtWindowOppPs) != 0) {
        return static_cast<ULONG>(port->P2pCtWindow & kCtWindowMask) / 10;
    }
    return port->TxQuota;
}

// Moves up to min(queued, burst limit, free descriptors) frames; the frame that stopped the loop, if
// any, is returned to be completed.
PTX_DMAQ_DESC MoveFrames(PMP_ADAPTER adapter, PMP_PORT port, UCHAR ac)
{
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    const UCHAR selector = adapter->MccActive != 0 ? static_cast<UCHAR>(ac == kOther ? 1 : 0)
                                                   : static_cast<UCHAR>((ac == 0 || ac == 2) ? 1 : 0);
    const ULONG freeDescriptors = NdisCommonHifUpdateTxRingIdx(hif, selector);
    if (freeDescriptors == 0) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "dequeue of category %u: data ring %u full", static_cast<unsigned>(ac),
                 static_cast<unsigned>(selector));
        return nullptr;
    }
    const ULONG queued = TxProcqGetCount(adapter, ac);
    if (queued == 0) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "dequeue of category %u: nothing queued", static_cast<unsigned>(ac));
        return nullptr;
    }
    PMAC_TABLE_ENTRY station = MlmeSyncMacTabMatchedWlanIdx(port, MlmeSyncGetWlanIdxByRoleType(port, kStationRole));
    ULONG n = queued < freeDescriptors ? queued : freeDescriptors;
    const ULONG limit = BurstLimit(port);
    n = n < limit ? n : limit;
    for (ULONG i = 0; i < n; ++i) {
        PTX_DMAQ_DESC r = TxProcqDequeue(adapter, ac);
        if (r == nullptr) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "dequeue of category %u: queue ran empty", static_cast<unsigned>(ac));
            return nullptr;
        }
        r->MoreFollow = static_cast<UCHAR>(station != nullptr && r->UserPriority < MAC_ENTRY_TIDS &&
                                           station->TxAggregation[r->UserPriority] == 1 && i + 1 < n);
        NTSTATUS status;
        if (r->ApMark == TX_DMAQ_AP_MARK_AP) {
            status = NdisCommonHifApXmitHardTransmit(hif, r);
        } else if (r->ApMark == 0 || r->ApMark == TX_DMAQ_AP_MARK_FREE) {
            status = NdisCommonHifXmitHardTransmit(hif, r);
        } else {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "dequeue: frame of unknown kind %u", static_cast<unsigned>(r->ApMark));
            return r;
        }
        if (status == STATUS_SUCCESS) {
            continue;
        }
        if (status == STATUS_UNSUCCESSFUL) {
            return r;
        }
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "dequeue of category %u: hard transmit 0x%08X",
                 static_cast<unsigned>(ac), static_cast<unsigned>(status));
        if (status == STATUS_INSUFFICIENT_RESOURCES) {
            r->RetryMark = 1;
            TxProcqEnqueue(adapter, r, ac, TRUE);
        } else if (status == kStatusRequeue) {
            TxProcqEnqueue(adapter, r, ac, TRUE);
        } else {
            PlatformIndicateXmitPktToNdis(adapter, r, STATUS_UNSUCCESSFUL);
        }
    }
    return nullptr;
}

}  // namespace

NTSTATUS ChkTxSwStatus(PMP_ADAPTER adapter, PMP_PORT port)
{
    const BOOLEAN absent = static_cast<BOOLEAN>(port->P2pNoaAbsent == 1 || port->P2pOppPsActive == 1);
    const BOOLEAN presence =
        static_cast<BOOLEAN>(port->P2pState.PresenceRequest != 0 && port->P2pState.PresenceResponse != 0);
    if (port->P2pConnectState > kLastFormationState) {
        if (port->OpModeCode >= kClientOpModeCode && port->Channel.PrimaryChannel != adapter->ChPrivilegeChannel) {
            return Wait(port, "not on the granted channel");
        }
        if (AdapterTestFlags(adapter, kGroupWaitFlags)) {
            return Wait(port, "adapter state");
        }
        if (absent) {
            return Wait(port, "absent");
        }
        if (port->P2pState.SubState == kSubStateHold) {
            return Wait(port, "group held");
        }
        if (presence) {
            return Wait(port, "presence exchange");
        }
        return STATUS_SUCCESS;
    }
    if (AdapterTestFlags(adapter, kStationWaitFlag)) {
        return Wait(port, "adapter state");
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING) && port->Grant.BssAbsent != 0) {
        return Wait(port, "scanning while the BSS is absent");
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
        return Wait(port, "halting");
    }
    if (absent) {
        return Wait(port, "absent");
    }
    if (presence) {
        return Wait(port, "presence exchange");
    }
    return STATUS_SUCCESS;
}

VOID NdisCommonHifDeQueuePacketByPort(PMP_PORT port, UCHAR ac)
{
    if (port == nullptr || port->Adapter == nullptr || ac >= TX_PROCQ_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "dequeue without a port or of category %u", static_cast<unsigned>(ac));
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (ChkTxSwStatus(adapter, port) != STATUS_SUCCESS) {
        return;
    }
    if (GroupOwnerHolds(port, ac)) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "group owner of port %u not started: category %u waits",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(ac));
        return;
    }
    if (!EnterDequeue(adapter, ac)) {
        return;
    }
    const BOOLEAN lowPower = static_cast<BOOLEAN>(adapter->LowPower.LowPowerMode != 0);
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    if (lowPower) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    } else if (reg.LowPowerEnable != 0 && adapter->HalOps.PcieDynamicL1 != nullptr) {
        adapter->HalOps.PcieDynamicL1(adapter, FALSE);
    }
    if (reg.BatteryLifeImprove != 0 && lowPower && adapter->HalOps.PcieAspmCtl != nullptr) {
        adapter->HalOps.PcieAspmCtl(adapter, kAspmBatteryLife);
    }
    if (PTX_DMAQ_DESC stopped = MoveFrames(adapter, port, ac)) {
        const BOOLEAN testMode = static_cast<BOOLEAN>(reg.TpTestMode == 1 && adapter->Xmit.TestMode == 1);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "dequeue of category %u stopped: frame completed with 0x%08X",
                 static_cast<unsigned>(ac), testMode ? 0u : static_cast<unsigned>(STATUS_UNSUCCESSFUL));
        PlatformIndicateXmitPktToNdis(adapter, stopped, testMode ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL);
    }
    if (lowPower) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
    LeaveDequeue(adapter, ac);
}

ULONG MCCFetchTxRingPauseSettings(PMP_PORT port)
{
    if (port == nullptr || port->Adapter == nullptr) {
        return 0;
    }
    PMP_ADAPTER adapter = port->Adapter;
    ULONG value = 0;
    (void)HifIoRead32(adapter, MCC_TX_RING_PAUSE_REGISTER, &value);
    if (adapter->MccActive == 0) {
        return value & ~(MCC_TX_RING_PAUSE_OTHER | MCC_TX_RING_PAUSE_P2P);
    }
    const ULONG bit =
        (port->PortType == WFD_GO || port->PortType == WFD_CLIENT) ? MCC_TX_RING_PAUSE_P2P : MCC_TX_RING_PAUSE_OTHER;
    return port->Xmit.ConcurrencyHold != 0 ? (value | bit) : (value & ~bit);
}

VOID MCCCurrentTxRingModify(PMP_ADAPTER adapter, ULONG value)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "transmit ring pause 0x%08X", static_cast<unsigned>(value));
    (void)HifIoWrite32(adapter, MCC_TX_RING_PAUSE_REGISTER, value);
}

BOOLEAN ValidLastChannelForWHQL(UCHAR channel, UCHAR band)
{
    BOOLEAN valid = FALSE;
    switch (band) {
    case 1:
        valid = static_cast<BOOLEAN>(channel >= 1 && channel <= 14);
        break;
    case 2:
        valid = static_cast<BOOLEAN>((channel >= 36 && channel <= 64 && channel % 2 == 0) ||
                                     (channel >= 100 && channel <= 144 && channel % 2 == 0 && channel != 130) ||
                                     (channel >= 149 && channel <= 177 && channel % 2 == 1));
        break;
    case 3:
        valid = static_cast<BOOLEAN>(channel >= 1 && channel <= 233 && channel % 2 == 1 && channel != 31 &&
                                     channel != 63 && channel != 95 && channel != 127 && channel != 159 &&
                                     channel != 191 && channel != 223 && channel != 231);
        break;
    default:
        break;
    }
    if (!valid) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "last channel %u of band %u is not valid",
                 static_cast<unsigned>(channel), static_cast<unsigned>(band));
    }
    return valid;
}

NTSTATUS DoRestoreChannelPrivilege(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    if (reg.EnableWHQLConnectionEnhance == 0) {
        return STATUS_SUCCESS;
    }
    const UCHAR channel = reg.LastChannel;
    const UCHAR band = reg.LastBand;
    if (!ValidLastChannelForWHQL(channel, band)) {
        return STATUS_SUCCESS;
    }
    NTSTATUS status = QzCmdChPrivilage(adapter, port, channel, band, CH_PRIVILEGE_REQUEST, kRestoreKind,
                                       kRestoreDurationMs, nullptr, nullptr, 0, 0);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "channel restore of port %u: channel %u band %u, 0x%08X",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(channel), static_cast<unsigned>(band),
             static_cast<unsigned>(status));
    if (adapter->ChPrivilegeHeld == 1) {
        const NTSTATUS released = QzCmdChPrivilage(adapter, port, channel, band, CH_PRIVILEGE_RELEASE, 0, 0, nullptr,
                                                   nullptr, 0, 0);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "channel restore of port %u: release 0x%08X",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(released));
    }
    return status;
}
