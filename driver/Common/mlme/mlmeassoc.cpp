// The station association machine (machine 1): the (re)association request and its answer, the
// disassociation the station sends and the one it receives, and the port's connection timers.
#include "Common/mlme/mlmeassoc.h"

#include <cstring>

#include "Common/common.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kSubtypeAssocReq = 0;
constexpr ULONG kSubtypeReassocReq = 2;
constexpr ULONG kSubtypeDisassoc = 10;
constexpr ULONG kSubtypeDeauth = 12;
constexpr USHORT kFcProtected = 0x4000;
constexpr ULONG kOwnerAssoc = 0x4153534F;  // "ASSO"
constexpr ULONG kLogSendAssocSeq1 = 0x4002040Bu;
constexpr ULONG kLogRecvAssocSeq2 = 0x4002040Cu;
constexpr USHORT kReasonMfpPolicy = 31;
constexpr USHORT kStatusTryLater = 30;
constexpr UCHAR kTimeoutIntervalId = 56;
constexpr UCHAR kTimeoutComeback = 3;
constexpr ULONG kCmdScanAbort = 0x10000301u;
constexpr ULONG kCmdDbdcDecision = 0x10000302u;
constexpr ULONG kRspFixedEnd = 30;

PMP_PORT PortOf(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    if (adapter == nullptr || elem == nullptr || elem->PortIndex >= MP_MAX_PORTS) {
        return nullptr;
    }
    return adapter->PortList[elem->PortIndex];
}

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

void AssocEnd(PMP_ADAPTER adapter, PMP_PORT port, ULONG confirm, USHORT status)
{
    port->Mlme.AssocMachine.CurrState = ASSOC_STATE_IDLE;
    MlmeStaConfirm(adapter, port, confirm, status);
}

void Cancel(PPLATFORM_TIMER timer)
{
    UCHAR cancelled = FALSE;
    PlatformCancelTimer(timer, &cancelled);
}

LARGE_INTEGER LocalNow()
{
    LARGE_INTEGER system;
    LARGE_INTEGER local;
    KeQuerySystemTime(&system);
    ExSystemTimeToLocalTime(&system, &local);
    return local;
}

// A disassociation or deauthentication frame {addr1 = addr3 = peer, reason}; null without a buffer.
PUCHAR BuildLeave(PMP_ADAPTER adapter, PMP_PORT port, ULONG subtype, const UCHAR* peer, USHORT reason,
                  BOOLEAN protect, PULONG length)
{
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerAssoc, &buffer)) || buffer == nullptr) {
        return nullptr;
    }
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, subtype, 0, peer, peer);
    if (protect) {
        header.FrameControl = static_cast<USHORT>(header.FrameControl | kFcProtected);
    }
    const UCHAR body[2] = {static_cast<UCHAR>(reason & 0xFF), static_cast<UCHAR>(reason >> 8)};
    BuildFrameFromParts(buffer, length, static_cast<ULONG>(sizeof(header)), &header, static_cast<ULONG>(sizeof(body)),
                        body, END_OF_ARGS);
    return buffer;
}

// The association information record's fixed part and its first request elements: the SSID and the
// rates the join chose. Returns the element bytes written.
USHORT StartAssocInfo(PMP_ADAPTER adapter, const MLME_ASSOC_REQ& request)
{
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    ASSOC_INFO_RECORD& r = a.AssocInfo;
    std::memset(&r.Fixed, 0, sizeof(r.Fixed));
    r.Fixed.Length = ASSOC_INFO_OFFSET;
    r.Fixed.AvailableRequestFixedIEs = 3;
    r.Fixed.RequestCapabilityInfo = request.CapabilityInfo;
    r.Fixed.RequestListenInterval = request.ListenInterval;
    r.Fixed.OffsetRequestIEs = ASSOC_INFO_OFFSET;
    const JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
    const UCHAR ssidLen = adapter->Mlme.Cntl.MlmeSsidLen <= 32 ? adapter->Mlme.Cntl.MlmeSsidLen : 32;
    const UCHAR ratesLen = join.SupportedRatesLen <= sizeof(join.SupportedRates) ? join.SupportedRatesLen : 0;
    USHORT n = 0;
    r.RequestIEs[n++] = 0;
    r.RequestIEs[n++] = ssidLen;
    std::memcpy(r.RequestIEs + n, adapter->Mlme.Cntl.MlmeSsid, ssidLen);
    n = static_cast<USHORT>(n + ssidLen);
    r.RequestIEs[n++] = 1;
    r.RequestIEs[n++] = ratesLen;
    std::memcpy(r.RequestIEs + n, join.SupportedRates, ratesLen);
    n = static_cast<USHORT>(n + ratesLen);
    return n;
}

// The connection PHY type of a response: 11 EHT, 10 HE, 8 VHT, 7 HT, 4 OFDM, 6 ERP, 5 HR/DSSS.
ULONG ConnectionPhyType(PMP_ADAPTER adapter, PMP_PORT port, const ASSOC_RSP_FIELDS& f)
{
    if (f.EhtCapabilityPresent && port->Rlm.Eht.Enabled && adapter->RegistryBlock.bHideWiFi7CapOS == 0) {
        return 11;
    }
    if (f.HeCapabilityPresent && port->HeEnabled) {
        return 10;
    }
    if (f.VhtCapabilityPresent && port->Cfg.VhtEnabled) {
        return 8;
    }
    if (f.HtCapabilityLen != 0) {
        return 7;
    }
    if (port->Channel.PrimaryChannel > 14) {
        return 4;
    }
    if (f.RatesLen > 4 || f.ExtRatesLen != 0) {
        return 6;
    }
    return 5;
}

// The association comeback time of a status-30 response (Timeout Interval element, type 3), 0 without one.
ULONG ComebackTime(const UCHAR* frame, ULONG length)
{
    if (length <= kRspFixedEnd) {
        return 0;
    }
    DOT11_IE_CURSOR cursor;
    Dot11IeCursorInit(&cursor, frame + kRspFixedEnd, length - kRspFixedEnd);
    const UCHAR* element = nullptr;
    UCHAR bodyLength = 0;
    while (Dot11IeNext(&cursor, &element, &bodyLength)) {
        if (element[0] == kTimeoutIntervalId && bodyLength == 5 && element[2] == kTimeoutComeback) {
            return static_cast<ULONG>(element[3]) | (static_cast<ULONG>(element[4]) << 8) |
                   (static_cast<ULONG>(element[5]) << 16) | (static_cast<ULONG>(element[6]) << 24);
        }
    }
    return 0;
}

bool P2pDevicePortActive(PMP_ADAPTER adapter)
{
    return adapter->P2pBlock != nullptr && adapter->P2pBlock->DevicePort != nullptr &&
           adapter->P2pBlock->DevicePort->Active != 0;
}

VOID DisassocReqMachineAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem) { (void)MlmeDisassocReqAction(adapter, elem); }

}  // namespace

// ================================================================================================
// the machine
// ================================================================================================
VOID MlmeAssocStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, port->Mlme.AssocFunc, ASSOC_MACHINE_STATES, ASSOC_MACHINE_MSGS, Drop, ASSOC_STATE_IDLE, 0);
    StateMachineSetAction(machine, ASSOC_STATE_IDLE, MT2_MLME_ASSOC_REQ, MlmeAssocReqAction);
    StateMachineSetAction(machine, ASSOC_STATE_IDLE, MT2_MLME_REASSOC_REQ, MlmeAssocReqAction);
    StateMachineSetAction(machine, ASSOC_STATE_IDLE, MT2_MLME_DISASSOC_REQ, DisassocReqMachineAction);
    for (ULONG state : {ASSOC_STATE_WAIT_RSP, ASSOC_STATE_WAIT_DISASSOC}) {
        StateMachineSetAction(machine, state, MT2_MLME_ASSOC_REQ, MlmeAssocInvalidStateAssocReq);
        StateMachineSetAction(machine, state, MT2_MLME_REASSOC_REQ, MlmeAssocInvalidStateReassocReq);
        StateMachineSetAction(machine, state, MT2_MLME_DISASSOC_REQ, MlmeAssocInvalidStateDisassocReq);
    }
    for (ULONG state : {ASSOC_STATE_IDLE, ASSOC_STATE_WAIT_RSP, ASSOC_STATE_WAIT_DISASSOC}) {
        StateMachineSetAction(machine, state, MT2_PEER_DISASSOC_REQ, MlmeAssocPeerDisassocAction);
    }
    StateMachineSetAction(machine, ASSOC_STATE_WAIT_RSP, MT2_PEER_ASSOC_RSP, MlmeAssocPeerAssocRspAction);
    StateMachineSetAction(machine, ASSOC_STATE_WAIT_RSP, MT2_PEER_REASSOC_RSP, MlmeAssocPeerAssocRspAction);
    StateMachineSetAction(machine, ASSOC_STATE_WAIT_DISASSOC, MT2_DISASSOC_TIMEOUT, MlmeAssocDisassocTimeoutAction);
    StateMachineSetAction(machine, ASSOC_STATE_WAIT_RSP, MT2_ASSOC_TIMEOUT, MlmeAssocAssocTimeoutAction);

    MLME_PORT_BLOCK& m = port->Mlme;
    PlatformInitTimer(port, &m.AssocTimeoutTimer, MlmeAssocTimeoutTimerCallback, FALSE,
                      "MlmeAssocTimeoutTimerCallbackTimer");
    PlatformInitTimer(port, &m.DisassocTimeoutTimer, MlmeAssocDisAssocTimeoutTimerCallback, FALSE,
                      "MlmeAssocDisAssocTimeoutTimerCallbackTimer");
    PlatformInitTimer(port, &m.Conn.DisassocIndTimer, MlmeDissassocIndTimeoutTimerCallback, FALSE,
                      "MlmeDissassocIndTimeoutTimerCallbackTimer");
    PlatformInitTimer(port, &m.Conn.ConnectionStartTimer, MlmeConnectionStartTimeoutTimerCallback, FALSE,
                      "ConnectionTimeoutTimer");
    PlatformInitTimer(port, &m.Conn.ConnectionCompleteTimer, MlmeConnectionCompleteTimeoutTimerCallback, FALSE,
                      "ConnectionTimeoutTimer");
}

VOID MlmeAssocReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    MLME_ASSOC_REQ request;
    if (elem->MsgLen < sizeof(request)) {
        AssocEnd(adapter, port, CNTL_MSG_ASSOC_CONFIRM, MLME_STATUS_INVALID);
        return;
    }
    std::memcpy(&request, elem->Msg, sizeof(request));
    if (a.TkipCounterMeasure == 1 && std::memcmp(request.Addr, port->LastBssid, 6) == 0) {
        AssocEnd(adapter, port, CNTL_MSG_ASSOC_CONFIRM, MLME_STATUS_REFUSED);
        return;
    }

    // Management-frame protection agreement.
    const USHORT r = c.ApRsnCapabilities;
    USHORT& own = a.OwnRsnCapabilities;
    const bool apMfpr = (r & RSN_CAP_MFPR) != 0;
    const bool apMfpc = (r & RSN_CAP_MFPC) != 0;
    if ((apMfpr && !apMfpc && (own & RSN_CAP_MFPC) != 0) ||
        (!apMfpr && !apMfpc && (own & (RSN_CAP_MFPR | RSN_CAP_MFPC)) == (RSN_CAP_MFPR | RSN_CAP_MFPC))) {
        port->Mlme.AssocMachine.CurrState = ASSOC_STATE_IDLE;
        MLME_DISASSOC_REQ_STRUCT leave;
        std::memcpy(leave.Addr, request.Addr, 6);
        leave.Reason = kReasonMfpPolicy;
        (void)MlmeEnqueue(adapter, port, MLME_ASSOC_STATE_MACHINE, MT2_MLME_DISASSOC_REQ, sizeof(leave), &leave);
        MlmeStaConfirm(adapter, port, CNTL_MSG_DISASSOC_CONFIRM, MLME_STATUS_MFP_POLICY);
        return;
    }
    if (!apMfpr && !apMfpc && (own & RSN_CAP_MFPC) != 0) {
        own = static_cast<USHORT>(own & ~(RSN_CAP_MFPR | RSN_CAP_MFPC));
    }
    const ULONG auth = port->Mlme.AuthAlgorithm;
    if (auth == 8 || auth == 9 || auth == 0x80000006u) {
        own = static_cast<USHORT>(own | RSN_CAP_MFPR | RSN_CAP_MFPC);
    }

    std::memcpy(adapter->Mlme.Cntl.MlmeBssid, request.Addr, 6);
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerAssoc, &buffer)) || buffer == nullptr) {
        AssocEnd(adapter, port, CNTL_MSG_ASSOC_CONFIRM, MLME_STATUS_NO_RESOURCE);
        return;
    }
    const USHORT recorded = StartAssocInfo(adapter, request);
    (void)WriteSystemEventLog(adapter, kLogSendAssocSeq1, 0, nullptr, 0);
    a.AssocReqTime = LocalNow();
    c.Reassoc = static_cast<UCHAR>(elem->MsgType == MT2_MLME_REASSOC_REQ ? 1 : 0);
    ULONG length = 0;
    MgntPktConstructAsscReqFrame(adapter, port, c.Reassoc, request.CapabilityInfo, request.ListenInterval, request.Addr,
                                 recorded, buffer, &length);
    (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
    (void)PlatformSetTimer(port, &port->Mlme.AssocTimeoutTimer, request.Timeout);
    port->Mlme.AssocMachine.CurrState = ASSOC_STATE_WAIT_RSP;

    const JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
    if (join.BssType == 1) {
        std::memcpy(adapter->Mlme.Cntl.MlmeBssid, join.Bssid, 6);
        PlatformIndicateAssociationStart(adapter, port, &join, adapter->Ind.ConnectRequest.OsInitiated, 0);
    }
    c.Associated = 0;
}

VOID MlmeAssocPeerAssocRspAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    ASSOC_RSP_FIELDS fields;
    if (!PeerAssocRspSanity(adapter, port, elem->Msg, elem->MsgLen, &fields)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "association response of %u bytes dropped",
                 static_cast<unsigned>(elem->MsgLen));
        return;
    }
    (void)WriteSystemEventLog(adapter, kLogRecvAssocSeq2, 0, nullptr, 0);
    a.AssocRspTime = LocalNow();
    if (std::memcmp(fields.Addr2, adapter->Mlme.Cntl.MlmeBssid, 6) != 0) {
        return;
    }
    const JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
    if (fields.Status == MLME_STATUS_SUCCESS) {
        if (fields.P2pElementLen != 0 && P2pDevicePortActive(adapter) &&
            (port->P2pConnectState == 13 || port->P2pConnectState == 14) && adapter->Mlme.Cntl.MlmeSsidLen >= 7 &&
            std::memcmp(adapter->Mlme.Cntl.MlmeSsid, "DIRECT-", 7) == 0) {
            port->P2pConnectState = 28;
        }
        if (join.BssType == 1) {
            port->ConnectionFlags |= PORT_MEDIA_CONNECTED;
            port->Mlme.Conn.Associated = 1;
            std::memcpy(port->Bssid, adapter->Mlme.Cntl.MlmeBssid, 6);
        }
        MlmeAssocPostProc(adapter, port, &fields);
    } else if (fields.Status == kStatusTryLater) {
        const ULONG comeback = ComebackTime(elem->Msg, elem->MsgLen);
        if (comeback != 0) {
            (void)PlatformSetTimer(port, &port->Mlme.AssocTimeoutTimer, comeback);
            return;
        }
    }
    const ULONG copy = elem->MsgLen <= ASSOC_FRAME_COPY_MAX ? elem->MsgLen : ASSOC_FRAME_COPY_MAX;
    std::memcpy(a.LastAssocRsp, elem->Msg, copy);
    a.LastAssocRspLen = static_cast<USHORT>(copy);
    a.ConnectionPhyType = ConnectionPhyType(adapter, port, fields);
    Cancel(&port->Mlme.AssocTimeoutTimer);
    AssocEnd(adapter, port, CNTL_MSG_ASSOC_CONFIRM, fields.Status);
}

VOID MlmeAssocAssocTimeoutAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port != nullptr) {
        AssocEnd(adapter, port, CNTL_MSG_ASSOC_CONFIRM, MLME_STATUS_TIMEOUT);
    }
}

VOID MlmeAssocInvalidStateAssocReq(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port != nullptr) {
        AssocEnd(adapter, port, CNTL_MSG_ASSOC_CONFIRM, MLME_STATUS_REFUSED);
    }
}

VOID MlmeAssocInvalidStateReassocReq(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port != nullptr) {
        AssocEnd(adapter, port, CNTL_MSG_REASSOC_CONFIRM, MLME_STATUS_REFUSED);
    }
}

VOID MlmeAssocInvalidStateDisassocReq(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port != nullptr) {
        AssocEnd(adapter, port, CNTL_MSG_DISASSOC_CONFIRM, MLME_STATUS_REFUSED);
    }
}

NTSTATUS MlmeDisassocReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    MLME_DISASSOC_REQ_STRUCT request = {};
    if (elem->MsgLen < sizeof(request)) {
        AssocEnd(adapter, port, CNTL_MSG_DISASSOC_CONFIRM, MLME_STATUS_INVALID);
        return STATUS_INVALID_PARAMETER;
    }
    std::memcpy(&request, elem->Msg, sizeof(request));
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME,
             "MlmeDisassocReqAction: machine %u message %u port %u peer %02X:%02X:%02X:%02X:%02X:%02X reason %u",
             static_cast<unsigned>(elem->Machine), static_cast<unsigned>(elem->MsgType),
             static_cast<unsigned>(elem->PortIndex), request.Addr[0], request.Addr[1], request.Addr[2],
             request.Addr[3], request.Addr[4], request.Addr[5], static_cast<unsigned>(request.Reason));
    Cancel(&port->Mlme.DisassocTimeoutTimer);
    // A roam leaves the old access point without a frame.
    if (port->Mlme.Conn.RoamRequest == 0) {
        ULONG length = 0;
        PUCHAR buffer = BuildLeave(adapter, port, kSubtypeDisassoc, request.Addr, request.Reason,
                                   MlmeStaMfpInUse(adapter, port, TRUE), &length);
        if (buffer == nullptr) {
            AssocEnd(adapter, port, CNTL_MSG_DISASSOC_CONFIRM, MLME_STATUS_NO_RESOURCE);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
    }
    if (adapter->MccActive) {
        (void)MultiChannelWaitForChannelGrant(adapter, port);
    }
    port->Mlme.AssocMachine.CurrState = ASSOC_STATE_WAIT_DISASSOC;
    (void)PlatformSetTimer(port, &port->Mlme.DisassocTimeoutTimer, 0);
    return STATUS_SUCCESS;
}

VOID MlmeAssocDisassocTimeoutAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port != nullptr) {
        AssocEnd(adapter, port, CNTL_MSG_DISASSOC_CONFIRM, MLME_STATUS_SUCCESS);
    }
}

VOID MlmeSendDisassocAndDeauth(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr || elem->MsgLen < sizeof(MLME_DISASSOC_REQ_STRUCT)) {
        return;
    }
    MLME_DISASSOC_REQ_STRUCT request;
    std::memcpy(&request, elem->Msg, sizeof(request));
    ULONG disassocLength = 0;
    ULONG deauthLength = 0;
    PUCHAR disassoc = BuildLeave(adapter, port, kSubtypeDisassoc, request.Addr, request.Reason, FALSE, &disassocLength);
    PUCHAR deauth = disassoc != nullptr ? BuildLeave(adapter, port, kSubtypeDeauth, request.Addr, request.Reason, FALSE,
                                                     &deauthLength)
                                        : nullptr;
    if (deauth == nullptr) {
        MlmeFreeMemory(adapter, disassoc);
        AssocEnd(adapter, port, CNTL_MSG_DISASSOC_CONFIRM, MLME_STATUS_NO_RESOURCE);
        return;
    }
    Cancel(&port->Mlme.DisassocTimeoutTimer);
    (void)MlmeStaSendMgmtFrame(adapter, disassoc, disassocLength, FALSE);
    (void)MlmeStaSendMgmtFrame(adapter, deauth, deauthLength, FALSE);
}

BOOLEAN PeerDisassocSanity(PMP_ADAPTER adapter, const void* frame, ULONG length, PUCHAR addr2, PUSHORT reason)
{
    UNREFERENCED_PARAMETER(adapter);
    const auto* f = static_cast<const UCHAR*>(frame);
    if (f == nullptr || length < MGMT_HEADER_SIZE + 2) {
        return FALSE;
    }
    std::memcpy(addr2, f + 10, 6);
    *reason = GetU16(f + 24);
    return TRUE;
}

VOID MlmeAssocPeerDisassocAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    UCHAR addr2[6] = {};
    USHORT reason = 0;
    if (!PeerDisassocSanity(adapter, elem->Msg, elem->MsgLen, addr2, &reason)) {
        return;
    }
    if (port->PortType == EXTSTA) {
        if (a.AssocParamsWord != 0) {
            a.AssocParamsWord = 0;
            std::memset(port->Mlme.Conn.AssocParamsRecord, 0, sizeof(port->Mlme.Conn.AssocParamsRecord));
            std::memset(a.AssocParams, 0, sizeof(a.AssocParams));
        }
        std::memcpy(port->Mlme.Conn.AssocParamsRecord + 4, port->Bssid, 6);
        adapter->Ind.AssocParamsRequest = 1;
    }
    if ((port->ConnectionFlags & PORT_LINKED_INFRA) == 0 || std::memcmp(addr2, port->Bssid, 6) != 0) {
        return;
    }
    adapter->Mlme.ConnectRetryCount = 1;
    (void)MlmeCntLinkDown(port, 1);
    port->Mlme.AssocMachine.CurrState = ASSOC_STATE_IDLE;
    a.LastLinkLossTime = MlmeStaSystemTime();
    if (port->Mlme.Req.DisconnectInProgress == 0) {
        PlatformIndicateDisassociation(adapter, port, addr2, 0x20000, 103);
    }
}

// ================================================================================================
// timers
// ================================================================================================
VOID MlmeAssocTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    (void)MlmeEnqueue(port->Adapter, port, MLME_ASSOC_STATE_MACHINE, MT2_ASSOC_TIMEOUT, 0, nullptr);
}

VOID MlmeAssocDisAssocTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                           PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    (void)MlmeEnqueue(port->Adapter, port, MLME_ASSOC_STATE_MACHINE, MT2_DISASSOC_TIMEOUT, 0, nullptr);
}

VOID MlmeDissassocIndTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                          PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    port->ConnectionFlags &= ~PORT_MEDIA_CONNECTED;
    PlatformIndicateDisassociation(port->Adapter, port, port->LastBssid, 7, 179);
}

VOID MlmeConnectionStartTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                             PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        (void)QZEnqueueInternalCmd(adapter, port, kCmdScanAbort, nullptr, 0);
    }
    (void)QZEnqueueInternalCmd(adapter, port, kCmdDbdcDecision, nullptr, 0);
    PlatformIndicateResetAllStatus(adapter, port);
}

VOID MlmeConnectionCompleteTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                                PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (adapter->Mlme.Conn.ConnectionStarted != 1) {
        return;
    }
    (void)QZEnqueueInternalCmd(adapter, port, kCmdDbdcDecision, nullptr, 0);
    PlatformIndicateResetAllStatus(adapter, port);
    MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    if (c.FtEnabled != 0 && c.RoamRequest != 0) {
        c.FtEnabled = 0;
    }
    Cancel(&port->Mlme.SaeTimeoutTimer);
}

VOID MboMakeNonPrefChnlReport(PMP_ADAPTER adapter, PMP_PORT port, UCHAR form, const void* settings, PULONG length,
                              PUCHAR output)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(form);
    UNREFERENCED_PARAMETER(settings);
    UNREFERENCED_PARAMETER(output);
    if (length != nullptr) {
        *length = 0;
    }
    (void)NOT_BUILT_YET();
}
