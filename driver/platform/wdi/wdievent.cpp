// WDI event indications.
#include "platform/wdi/wdievent.h"

#include <cstring>

#include "Common/decoders.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdigenerator.h"

#define CERT_REG_P2P_PROVISION 0x20u
#define P2P_CONCURRENCY_FLAG 0x10u
#define ASSOC_PARAMS_REASON_PEER_LEFT 0x9Fu

namespace {

USHORT PortIdOf(PMP_PORT port)
{
    return port != nullptr ? static_cast<USHORT>(port->PortNumber) : 0;
}

// A completion of the pending task on the control block's header copy.
void SendTaskCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG code, NTSTATUS status)
{
    WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
    WdiEventSendStatusIndicationEx(adapter, &header, PortIdOf(port), code, status, nullptr, 0,
                                   WDI_INDICATION_MODE_TASK_COMPLETION);
}

USHORT LogLength(ULONG length)
{
    return static_cast<USHORT>(length > 0xFFFFu ? 0xFFFFu : length);
}

}  // namespace

ULONG WdiEventAssocStatusFromDot11(ULONG status)
{
    if (status <= 6) {
        return status;
    }
    switch (status) {
    case 7:
    case 8:
    case 9:
    case 10:
        return 7;
    case 11:
        return 10;
    case 12:
        return 11;
    case 0x10000:
    case 0x1FFFF:
        return 13;
    case 0x20000:
    case 0x2FFFF:
        return 14;
    case 0x30000:
    case 0x3FFFF:
        return 15;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "association status 0x%X has no WDI status: 1",
                 static_cast<unsigned>(status));
        return 1;
    }
}

void WdiEventIndicateLinkStateChange(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    if (MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port)) == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "link state of port %u: no own station entry",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    WDI_LINK_STATE_PARAMETERS state{};
    std::memcpy(state.PeerAddress, port->Bssid, sizeof(state.PeerAddress));
    state.TxLinkSpeed = static_cast<ULONG>(port->Ind.TxLinkSpeed / 1000);
    state.RxLinkSpeed = static_cast<ULONG>(port->Ind.RxLinkSpeed / 1000);
    state.LinkQuality = port->Ind.LastLinkQuality;
    WDI_LINK_QUALITY_ENTRY quality{};
    quality.Rssi = port->Ind.SignalStrength;
    quality.Bandwidth = port->Ind.PhyBandwidth;
    quality.Mcs = port->Ind.PhyMcs;
    WdiGeneratorEventIndicateLinkStateChange(adapter, port, &state, &quality);
}

void WdiEventIndicateMicFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyKind, ULONG keyIndex)
{
    WdiGeneratorEventIndicateTkipMicFailure(adapter, port, peer, keyKind, keyIndex);
}

void WdiEventIndicateRoamingNeeded(PMP_ADAPTER adapter, PMP_PORT port, ULONG reason)
{
    if (adapter == nullptr) {
        return;
    }
    WdiGeneratorEventIndicateRoamingNeeded(adapter, port, reason);
    (void)WriteSystemEventLog(adapter, EVENT_LOG_ROAMING_NEEDED, 0, &reason, sizeof(reason));
}

void WdiEventIndicateWowWakeReason(PMP_ADAPTER adapter, PMP_PORT port, ULONG wakeReason, const UCHAR* packet,
                                   ULONG packetLength, ULONG additionalValue)
{
    if (adapter == nullptr) {
        return;
    }
    WDI_WAKE_REASON_PARAMETERS wake{};
    wake.WakeReason = wakeReason;
    wake.AdditionalValue = additionalValue;
    if (packet != nullptr && packetLength != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "Wake Packet: %u bytes, first 0x%02X",
                 static_cast<unsigned>(packetLength), static_cast<unsigned>(packet[0]));
        (void)WriteSystemEventLog(adapter, EVENT_LOG_WAKE_UP_PACKET, 0, packet, LogLength(packetLength));
        wake.Flags |= WAKE_REASON_FLAG_PACKET;
        wake.Packet = packet;
        wake.PacketLength = packetLength;
        wake.PacketPresent = 1;
    }
    WdiGeneratorEventIndicateWakeReason(adapter, port, &wake);
    std::memset(adapter->Ind.WakePacket, 0, sizeof(adapter->Ind.WakePacket));
    adapter->Ind.WakeValues[0] = 0;
    adapter->Ind.WakeValues[1] = 0;
}

NTSTATUS WdiEventIndicationApAssociationRequestReceived(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peerRecord,
                                                        const UCHAR* request, ULONG requestLength,
                                                        const UCHAR* extra, ULONG extraLength)
{
    return WdiGeneratorEventIndicateApAssociationRequest(adapter, port, peerRecord, requestLength, request,
                                                         extraLength, extra);
}

void WdiEventIndicationDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG wdiStatus,
                                      ULONG callerCode)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    UCHAR record[DISASSOC_LOG_SIZE] = {};
    const ULONG portNumber = port->PortNumber;
    std::memcpy(record, &portNumber, 4);
    if (peer != nullptr) {
        std::memcpy(record + 4, peer, 6);
    }
    std::memcpy(record + 10, &wdiStatus, 4);
    std::memcpy(record + 14, &callerCode, 4);
    WdiGeneratorEventIndicateDisassociation(adapter, port, peer, wdiStatus);
    (void)WriteSystemEventLog(adapter, EVENT_LOG_DISASSOC, 0, record, sizeof(record));
    if (port->Ind.DisconnectWaiting == 1) {
        WdiEventIndicationDisconnectComplete(adapter, port);
        port->Ind.DisconnectWaiting = 0;
    }
    if (adapter->Ind.AssocParamsRequest == 1) {
        (void)WdiGeneratorEventIndicateAssociationParametersRequest(adapter, port, ASSOC_PARAMS_REASON_PEER_LEFT);
        adapter->Ind.AssocParamsRequest = 0;
    }
}

void WdiEventIndicationDisconnectComplete(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr) {
        return;
    }
    SendTaskCompletion(adapter, port, WDI_INDICATION_DISCONNECT_COMPLETE, STATUS_SUCCESS);
}

void WdiEventSetRadioState(PMP_ADAPTER adapter, USHORT portId, ULONG mode, NTSTATUS status)
{
    if (adapter == nullptr) {
        return;
    }
    if (mode == 1) {
        WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
        WdiEventSendStatusIndicationEx(adapter, &header, portId, WDI_INDICATION_SET_RADIO_STATE_COMPLETE, status, nullptr,
                                       0, WDI_INDICATION_MODE_TASK_COMPLETION);
        return;
    }
    WdiGeneratorSetRadioState(adapter);
}

void WdiEventIndicationFirmwareStalled(PMP_ADAPTER adapter, ULONG reasonBits)
{
    if (adapter == nullptr || adapter->Ind.FwStallReporting == 0) {
        return;
    }
    const ULONG mask = adapter->RegistryBlock.FwStallRecovery;
    if ((reasonBits & mask) != reasonBits) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "firmware stall 0x%X outside \"FwStallRecovery\" 0x%X: not indicated",
                 static_cast<unsigned>(reasonBits), static_cast<unsigned>(mask));
        return;
    }
    WdiEventSendStatusIndicationEx(adapter, nullptr, WDI_PORT_ID_ADAPTER, WDI_INDICATION_FIRMWARE_STALLED,
                                   STATUS_SUCCESS, nullptr, 0, WDI_INDICATION_MODE_UNSOLICITED);
}

void WdiEventIndicationFtAssocParamsNeeded(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* target)
{
    WdiGeneratorEventIndicateFtAssocParamsNeeded(adapter, port, target);
}

void WdiEventIndicationP2PSendFrameComplete(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* record,
                                            ULONG recordLength, NTSTATUS status)
{
    if (adapter == nullptr || port == nullptr || record == nullptr || recordLength < P2P_SENT_FRAME_HEADER_SIZE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "sent Wi-Fi Direct frame record of %u bytes: nothing indicated",
                 static_cast<unsigned>(recordLength));
        return;
    }
    UCHAR summary[P2P_SENT_FRAME_SUMMARY_SIZE];
    std::memcpy(summary, record + 4, 6);
    summary[6] = record[31];
    const UCHAR type = record[30];
    const UCHAR* body = record + P2P_SENT_FRAME_HEADER_SIZE;
    const ULONG bodyLength = recordLength - P2P_SENT_FRAME_HEADER_SIZE;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "sent Wi-Fi Direct frame %s status 0x%08X", DecodeP2PFrameType(type),
             static_cast<unsigned>(status));
    switch (type) {
    case P2P_FRAME_GO_NEGOCIATION_REQ:
    case P2P_FRAME_INVITE_REQ:
    case P2P_FRAME_DEV_DIS_REQ:
    case P2P_FRAME_PROVISION_REQ:
        WdiGeneratorP2PSendRequestActionComplete(adapter, port, summary, body, bodyLength, status);
        break;
    case P2P_FRAME_GO_NEGOCIATION_RSP:
    case P2P_FRAME_GO_NEGOCIATION_CONFIRM:
    case P2P_FRAME_INVITE_RSP:
    case P2P_FRAME_DEV_DIS_RSP:
    case P2P_FRAME_PROVISION_RSP:
        WdiGeneratorP2PSendResponseActionComplete(adapter, port, summary, body, bodyLength, status);
        if (type == P2P_FRAME_PROVISION_RSP && (adapter->RegistryBlock.CertReg & CERT_REG_P2P_PROVISION) != 0 &&
            adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & P2P_CONCURRENCY_FLAG) != 0) {
            adapter->Ind.P2pCertification = 1;
        }
        break;
    default:
        return;
    }
    if (port->PortType == WFD_DEVICE && port->P2pMsState > P2pMs_STATE_IDLE &&
        (type == P2P_FRAME_GO_NEGOCIATION_CONFIRM || type == P2P_FRAME_INVITE_REQ || type == P2P_FRAME_INVITE_RSP ||
         type == P2P_FRAME_PROVISION_REQ || type == P2P_FRAME_PROVISION_RSP)) {
        port->P2pMsState = P2pMs_STATE_IDLE;
    }
}

void WdiEventIndicationSendActionComplete(PMP_ADAPTER adapter, PMP_PORT port, UCHAR request, NTSTATUS status)
{
    if (adapter == nullptr || port == nullptr || adapter->Wdi.CntlBlock.HeaderCopy.TransactionId == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "action-frame send complete: no task recorded");
        return;
    }
    SendTaskCompletion(adapter, port,
                       request != 0 ? WDI_INDICATION_SEND_REQUEST_ACTION_FRAME_COMPLETE
                                    : WDI_INDICATION_SEND_RESPONSE_ACTION_FRAME_COMPLETE,
                       status);
}

void WdiP2pDiscoverComplete(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr) {
        return;
    }
    SendTaskCompletion(adapter, port, WDI_INDICATION_P2P_DISCOVERY_COMPLETE, STATUS_SUCCESS);
}
