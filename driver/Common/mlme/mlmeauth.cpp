// The station authentication machines: the authentication exchange (machine 2: open system, shared
// key, fast BSS transition), the deauthentication frames the station sends, and the received
// deauthentication of the linked access point (machine 3).
#include "Common/mlme/mlmeauth.h"

#include <cstring>

#include "Common/common.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmewep.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kSubtypeAuth = 11;
constexpr ULONG kSubtypeDeauth = 12;
constexpr USHORT kFcProtected = 0x4000;
constexpr ULONG kOwnerAuth = 0x41555448;  // "AUTH"
constexpr ULONG kLogSendAuthSeq1 = 0x40020407u;
constexpr ULONG kLogRecvAuthSeq2 = 0x40020408u;
constexpr ULONG kLogSendAuthSeq3 = 0x40020409u;
constexpr ULONG kFrameSeq2Timeout = 200;          // ms: FT answer of the OS, shared-key fourth frame
constexpr ULONG64 kClass2DeauthGap = 10000000ull;  // 1 s in 100 ns units
constexpr USHORT kReasonClass2 = 6;
constexpr UCHAR kChallengeElementId = 16;
constexpr ULONG kAuthFixedEnd = 30;                // header and the three fixed fields
constexpr ULONG kChallengeFrameLen = kAuthFixedEnd + 2 + CHALLENGE_TEXT_LEN;

const UCHAR kIotVendorOuis[][3] = {
    {0x00, 0x1E, 0x58}, {0x00, 0x00, 0x11}, {0x00, 0x03, 0x7F}, {0x00, 0x40, 0xF4}, {0x00, 0x1C, 0xF0},
};

PMP_PORT PortOf(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    if (adapter == nullptr || elem == nullptr || elem->PortIndex >= MP_MAX_PORTS) {
        return nullptr;
    }
    return adapter->PortList[elem->PortIndex];
}

void PutU16(PUCHAR p, USHORT v)
{
    p[0] = static_cast<UCHAR>(v & 0xFF);
    p[1] = static_cast<UCHAR>(v >> 8);
}

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

void LogStep(PMP_ADAPTER adapter, ULONG id) { (void)WriteSystemEventLog(adapter, id, 0, nullptr, 0); }

// Ends the exchange: state idle and one authentication confirm.
void AuthEnd(PMP_ADAPTER adapter, PMP_PORT port, USHORT status)
{
    port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
    MlmeStaConfirm(adapter, port, CNTL_MSG_AUTH_CONFIRM, status);
}

void CancelAuthTimer(PMP_PORT port)
{
    UCHAR cancelled = FALSE;
    PlatformCancelTimer(&port->Mlme.AuthTimeoutTimer, &cancelled);
}

// A deauthentication frame {addr1, addr3 the MLME BSSID, reason} into a new MLME buffer; null without one.
PUCHAR BuildDeauth(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* addr1, USHORT reason, BOOLEAN protect,
                   PULONG length)
{
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerAuth, &buffer)) || buffer == nullptr) {
        return nullptr;
    }
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, kSubtypeDeauth, 0, addr1, adapter->Mlme.Cntl.MlmeBssid);
    if (protect) {
        header.FrameControl = static_cast<USHORT>(header.FrameControl | kFcProtected);
    }
    UCHAR body[2];
    PutU16(body, reason);
    BuildFrameFromParts(buffer, length, static_cast<ULONG>(sizeof(header)), &header, static_cast<ULONG>(sizeof(body)),
                        body, END_OF_ARGS);
    return buffer;
}

void SetIotVendor(PMP_ADAPTER adapter, PMP_PORT port)
{
    port->Mlme.Conn.IotVendor = 0;
    for (const auto& oui : kIotVendorOuis) {
        if (std::memcmp(adapter->Mlme.Cntl.MlmeBssid, oui, 3) == 0) {
            port->Mlme.Conn.IotVendor = 1;
        }
    }
}

// The FT authentication request's elements after the fixed fields: the RSN element carrying the PMK-R0
// name as its one PMKID, the mobility domain element and the fast BSS transition element.
BOOLEAN FtElementsReady(const MLME_CONN_PORT_BLOCK& c)
{
    return c.FtEnabled != 0 && c.MobilityDomainIeLen != 0 && c.FtIeLen != 0 && c.MobilityDomainIeLen <= FT_ELEMENT_MAX &&
           c.FtIeLen <= FT_ELEMENT_MAX;
}

// The shared-key third frame: the challenge text returned under the port's default WEP key.
void SendSharedKeySeq3(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* addr2, const UCHAR* challenge)
{
    MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    if (c.DefaultKeyLength == 0 || c.DefaultKeyLength > WEP_KEY_MAX) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "shared-key authentication without a default key");
        AuthEnd(adapter, port, MLME_STATUS_INVALID);
        return;
    }
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerAuth, &buffer)) || buffer == nullptr) {
        AuthEnd(adapter, port, MLME_STATUS_NO_RESOURCE);
        return;
    }
    LogStep(adapter, kLogSendAuthSeq3);
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, kSubtypeAuth, 0, addr2, adapter->Mlme.Cntl.MlmeBssid);
    header.FrameControl = static_cast<USHORT>(header.FrameControl | kFcProtected);
    UCHAR iv[WEP_IV_HEADER_SIZE] = {};
    UCHAR body[6 + 2 + CHALLENGE_TEXT_LEN];
    PutU16(body, AUTH_ALG_SHARED_KEY);
    PutU16(body + 2, 3);
    PutU16(body + 4, 0);
    body[6] = kChallengeElementId;
    body[7] = CHALLENGE_TEXT_LEN;
    std::memcpy(body + 8, challenge, CHALLENGE_TEXT_LEN);
    UCHAR icv[WEP_ICV_SIZE] = {};
    if (!NT_SUCCESS(WepKeySetup(adapter, c.DefaultKey, c.DefaultKeyIndex, c.DefaultKeyLength, iv)) ||
        !NT_SUCCESS(WepEncryptData(adapter, body, body, sizeof(body))) || !NT_SUCCESS(WepFinishIcv(adapter, icv))) {
        MlmeFreeMemory(adapter, buffer);
        AuthEnd(adapter, port, MLME_STATUS_INVALID);
        return;
    }
    ULONG length = 0;
    BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header, static_cast<ULONG>(sizeof(iv)),
                        iv, static_cast<ULONG>(sizeof(body)), body, static_cast<ULONG>(sizeof(icv)), icv, END_OF_ARGS);
    (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
    (void)PlatformSetTimer(port, &port->Mlme.AuthTimeoutTimer, kFrameSeq2Timeout);
    port->Mlme.AuthMachine.CurrState = AUTH_STATE_WAIT_SEQ4;
}

}  // namespace

// ================================================================================================
// shared by the station's exchanges
// ================================================================================================
BOOLEAN MlmeStaMfpInUse(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN withKey)
{
    if (adapter == nullptr || port == nullptr) {
        return FALSE;
    }
    const ULONG auth = port->Mlme.AuthAlgorithm;
    const bool suite = port->Mlme.UnicastCipher == 4 || auth == 8 || auth == 9 || auth == 0x80000006u;
    const bool caps = (adapter->Mlme.Conn.OwnRsnCapabilities & RSN_CAP_MFPC) != 0 &&
                      (port->Mlme.Conn.ApRsnCapabilities & RSN_CAP_MFPC) != 0;
    const bool key = !withKey || adapter->Mlme.Conn.PortSecured == 1;
    return static_cast<BOOLEAN>(caps && suite && key);
}

NTSTATUS MlmeStaSendMgmtFrame(PMP_ADAPTER adapter, PUCHAR buffer, ULONG length, BOOLEAN packetNumber)
{
    if (length == 0 || adapter->HifContext == nullptr || adapter->HifContext->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "management frame of %u bytes not sent (no bus context or frame)",
                 static_cast<unsigned>(length));
        MlmeFreeMemory(adapter, buffer);
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR sequence = packetNumber ? GetNextSeqNum(adapter, 3, TRUE) : 0;
    // The transmit path takes the buffer, sent or not.
    NTSTATUS status = NdisCommonHifMiniportMMRequest(adapter->HifContext, buffer, length, sequence);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "management frame not sent: 0x%08X", static_cast<unsigned>(status));
    }
    return status;
}

VOID MlmeStaConfirm(PMP_ADAPTER adapter, PMP_PORT port, ULONG message, USHORT status)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "confirm %u status %u to the connect machine", static_cast<unsigned>(message),
             static_cast<unsigned>(status));
    (void)MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, message, sizeof(status), &status);
}

ULONG64 MlmeStaSystemTime()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

// ================================================================================================
// machine 2: the authentication exchange
// ================================================================================================
VOID MlmeAuthStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, port->Mlme.AuthFunc, AUTH_MACHINE_STATES, AUTH_MACHINE_MSGS, Drop, AUTH_STATE_IDLE, 0);
    StateMachineSetAction(machine, AUTH_STATE_IDLE, MT2_MLME_AUTH_REQ, MlmeAuthReqAction);
    StateMachineSetAction(machine, AUTH_STATE_WAIT_SEQ2, MT2_MLME_AUTH_REQ, MlmeAuthInvalidStateAuthReq);
    StateMachineSetAction(machine, AUTH_STATE_WAIT_SEQ2, MT2_PEER_AUTH_EVEN, MlmeAuthPeerAuthRspAtSeq2Action);
    StateMachineSetAction(machine, AUTH_STATE_WAIT_SEQ2, MT2_AUTH_TIMEOUT, MlmeAuthTimeoutAction);
    StateMachineSetAction(machine, AUTH_STATE_WAIT_SEQ4, MT2_MLME_AUTH_REQ, MlmeAuthInvalidStateAuthReq);
    StateMachineSetAction(machine, AUTH_STATE_WAIT_SEQ4, MT2_PEER_AUTH_EVEN, MlmeAuthPeerAuthRspAtSeq4Action);
    StateMachineSetAction(machine, AUTH_STATE_WAIT_SEQ4, MT2_AUTH_TIMEOUT, MlmeAuthTimeoutAction);
    PlatformInitTimer(port, &port->Mlme.AuthTimeoutTimer, MlmeAuthTimeoutTimerCallback, FALSE, "AuthTimeoutTimer");
}

BOOLEAN MlmeAuthReqSanity(const void* body, ULONG length, PUCHAR addr, PUSHORT alg, PULONG timeout)
{
    MLME_AUTH_REQ request;
    if (body == nullptr || length < sizeof(request)) {
        return FALSE;
    }
    std::memcpy(&request, body, sizeof(request));
    std::memcpy(addr, request.Addr, 6);
    *alg = request.Alg;
    *timeout = request.Timeout;
    return static_cast<BOOLEAN>(request.Alg <= AUTH_ALG_FT && (request.Addr[0] & 0x01) == 0);
}

VOID MlmeAuthReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    UCHAR addr[6] = {};
    USHORT alg = 0;
    ULONG timeout = 0;
    if (!MlmeAuthReqSanity(elem->Msg, elem->MsgLen, addr, &alg, &timeout)) {
        AuthEnd(adapter, port, MLME_STATUS_INVALID);
        return;
    }
    if (a.TkipCounterMeasure == 1 && std::memcmp(adapter->Mlme.Cntl.MlmeBssid, port->LastBssid, 6) == 0) {
        AuthEnd(adapter, port, MLME_STATUS_REFUSED);
        return;
    }
    CancelAuthTimer(port);
    std::memcpy(adapter->Mlme.Cntl.MlmeBssid, addr, 6);
    a.MlmeAuthAlgorithm = alg;
    SetIotVendor(adapter, port);

    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerAuth, &buffer)) || buffer == nullptr) {
        AuthEnd(adapter, port, MLME_STATUS_NO_RESOURCE);
        return;
    }
    LogStep(adapter, kLogSendAuthSeq1);
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, kSubtypeAuth, 0, addr, adapter->Mlme.Cntl.MlmeBssid);
    UCHAR fixed[6];
    PutU16(fixed, alg);
    PutU16(fixed + 2, 1);
    PutU16(fixed + 4, 0);
    ULONG length = 0;
    if (alg != AUTH_ALG_FT) {
        BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header,
                            static_cast<ULONG>(sizeof(fixed)), fixed, END_OF_ARGS);
    } else {
        if (!FtElementsReady(c)) {
            MlmeFreeMemory(adapter, buffer);
            AuthEnd(adapter, port, MLME_STATUS_INVALID);
            return;
        }
        c.RsnPrefix[1] = 38;
        c.RsnPrefix[FT_RSN_PREFIX_LEN - 2] = 1;
        c.RsnPrefix[FT_RSN_PREFIX_LEN - 1] = 0;
        BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header,
                            static_cast<ULONG>(sizeof(fixed)), fixed, static_cast<ULONG>(FT_RSN_PREFIX_LEN), c.RsnPrefix,
                            static_cast<ULONG>(FT_PMK_R0_NAME_LEN), c.PmkR0Name, c.MobilityDomainIeLen,
                            c.MobilityDomainIe, c.FtIeLen, c.FtIe, END_OF_ARGS);
        if (length <= MGMT_HEADER_SIZE || length - MGMT_HEADER_SIZE > FT_SAVED_FRAME_MAX) {
            MlmeFreeMemory(adapter, buffer);
            AuthEnd(adapter, port, MLME_STATUS_NO_RESOURCE);
            return;
        }
        std::memcpy(c.SavedFtAuthReq, buffer + MGMT_HEADER_SIZE, length - MGMT_HEADER_SIZE);
        c.SavedFtAuthReqLen = static_cast<USHORT>(length - MGMT_HEADER_SIZE);
    }
    (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
    (void)PlatformSetTimer(port, &port->Mlme.AuthTimeoutTimer, timeout);
    port->Mlme.AuthMachine.CurrState = AUTH_STATE_WAIT_SEQ2;
}

BOOLEAN PeerAuthSanity(PMP_ADAPTER adapter, const void* frame, ULONG length, PUCHAR addr2, PUSHORT alg,
                       PUSHORT seq, PUSHORT status, PUCHAR challenge)
{
    UNREFERENCED_PARAMETER(adapter);
    const auto* f = static_cast<const UCHAR*>(frame);
    // The fixed fields must be there before they are read.
    if (f == nullptr || length < kAuthFixedEnd) {
        return FALSE;
    }
    std::memcpy(addr2, f + 10, 6);
    *alg = GetU16(f + 24);
    *seq = GetU16(f + 26);
    *status = GetU16(f + 28);
    switch (*alg) {
    case AUTH_ALG_OPEN:
        return static_cast<BOOLEAN>(*seq == 1 || *seq == 2);
    case AUTH_ALG_SHARED_KEY:
        if (*seq < 1 || *seq > 4) {
            return FALSE;
        }
        if (*seq == 2 || *seq == 3) {
            // A refusing access point sends no challenge; an accepting one sends the whole text.
            if (*seq == 2 && *status != 0 && length < kChallengeFrameLen) {
                std::memset(challenge, 0, CHALLENGE_TEXT_LEN);
                return TRUE;
            }
            if (length < kChallengeFrameLen || f[kAuthFixedEnd] != kChallengeElementId ||
                f[kAuthFixedEnd + 1] != CHALLENGE_TEXT_LEN) {
                return FALSE;
            }
            std::memcpy(challenge, f + kAuthFixedEnd + 2, CHALLENGE_TEXT_LEN);
        }
        return TRUE;
    case AUTH_ALG_FT:
        return TRUE;
    default:
        return FALSE;
    }
}

VOID MlmeAuthPeerAuthRspAtSeq2Action(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    UCHAR addr2[6] = {};
    USHORT alg = 0;
    USHORT seq = 0;
    USHORT status = 0;
    UCHAR challenge[CHALLENGE_TEXT_LEN] = {};
    if (!PeerAuthSanity(adapter, elem->Msg, elem->MsgLen, addr2, &alg, &seq, &status, challenge) ||
        std::memcmp(addr2, adapter->Mlme.Cntl.MlmeBssid, 6) != 0 || seq != 2) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "authentication frame dropped (sequence %u)", static_cast<unsigned>(seq));
        return;
    }
    CancelAuthTimer(port);
    LogStep(adapter, kLogRecvAuthSeq2);
    if (status != 0) {
        AuthEnd(adapter, port, status);
        return;
    }
    switch (a.MlmeAuthAlgorithm) {
    case AUTH_ALG_OPEN:
        AuthEnd(adapter, port, MLME_STATUS_SUCCESS);
        break;
    case AUTH_ALG_FT: {
        c.FtSecondAuth = 1;
        port->Mlme.Cntl.FtSecondAuth = 1;  // the connect machine's copy
        const ULONG body = elem->MsgLen - MGMT_HEADER_SIZE;
        if (body > FT_SAVED_FRAME_MAX) {
            AuthEnd(adapter, port, MLME_STATUS_NO_RESOURCE);
            return;
        }
        std::memcpy(c.SavedFtAuthRsp, elem->Msg + MGMT_HEADER_SIZE, body);
        c.SavedFtAuthRspLen = static_cast<USHORT>(body);
        MlmeCntlFT2ndAssocParamRequest(adapter, port);
        (void)PlatformSetTimer(port, &port->Mlme.AuthTimeoutTimer, kFrameSeq2Timeout);
        break;
    }
    case AUTH_ALG_SHARED_KEY:
        SendSharedKeySeq3(adapter, port, addr2, challenge);
        break;
    default:
        AuthEnd(adapter, port, MLME_STATUS_INVALID);
        break;
    }
}

VOID MlmeAuthPeerAuthRspAtSeq4Action(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(elem);
    // The fourth frame of a shared-key exchange is not examined: the exchange ends with its time-out.
}

VOID MlmeAuthTimeoutAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port != nullptr) {
        AuthEnd(adapter, port, MLME_STATUS_TIMEOUT);
    }
}

VOID MlmeAuthInvalidStateAuthReq(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port != nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "authentication request while an exchange runs");
        AuthEnd(adapter, port, MLME_STATUS_REFUSED);
    }
}

VOID MlmeAuthTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr) {
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    const ULONG linked = PORT_LINKED_INFRA | PORT_MEDIA_CONNECTED;
    if ((port->ConnectionFlags & linked) == linked) {
        return;
    }
    if (port->Mlme.AuthMachine.CurrState == AUTH_STATE_WAIT_SEQ2) {
        MlmeAuthClass2ErrDeauth(adapter, port, adapter->Mlme.Cntl.MlmeBssid);
        KeStallExecutionProcessor(10000);
    }
    (void)MlmeEnqueue(adapter, port, MLME_AUTH_STATE_MACHINE, MT2_AUTH_TIMEOUT, 0, nullptr);
}

VOID MlmeAuthClass2ErrDeauth(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address)
{
    MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    const ULONG64 now = MlmeStaSystemTime();
    if (c.Class2DeauthTime != 0 && now - c.Class2DeauthTime < kClass2DeauthGap) {
        return;
    }
    ULONG length = 0;
    PUCHAR buffer = BuildDeauth(adapter, port, address, kReasonClass2, FALSE, &length);
    if (buffer == nullptr) {
        return;
    }
    (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
    c.Class2DeauthTime = now;
}

NTSTATUS MlmeAuthDeauthReq(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, USHORT reason)
{
    if (adapter == nullptr || port == nullptr || peer == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    ULONG length = 0;
    PUCHAR buffer = BuildDeauth(adapter, port, peer, reason, MlmeStaMfpInUse(adapter, port, TRUE), &length);
    USHORT status = MLME_STATUS_SUCCESS;
    if (buffer == nullptr) {
        status = MLME_STATUS_NO_RESOURCE;
    } else {
        (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
    }
    port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
    MlmeStaConfirm(adapter, port, CNTL_MSG_DEAUTH_CONFIRM, status);
    return status == MLME_STATUS_SUCCESS ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
}

// ================================================================================================
// machine 3: the linked access point's deauthentication
// ================================================================================================
VOID MlmeAuthRspStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    StateMachineInit(machine, port->Mlme.AuthRspFunc, AUTH_RSP_MACHINE_STATES, AUTH_RSP_MACHINE_MSGS, Drop, 0, 0);
    StateMachineSetAction(machine, 0, MT2_PEER_DEAUTH, MlmeAuthRspPeerDeauthAction);
    StateMachineSetAction(machine, 1, MT2_PEER_DEAUTH, MlmeAuthRspPeerDeauthAction);
    LfsrSeedSet(adapter, static_cast<ULONG>(MlmeStaSystemTime() & 0xFFFFFFFFu));
}

BOOLEAN PeerDeauthSanity(PMP_ADAPTER adapter, const void* frame, ULONG length, PUCHAR addr2, PUSHORT reason)
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

VOID MlmeAuthRspPeerDeauthAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    UCHAR addr2[6] = {};
    USHORT reason = 0;
    const BOOLEAN sane = PeerDeauthSanity(adapter, elem->Msg, elem->MsgLen, addr2, &reason);
    adapter->Mlme.ConnectRetryCount = 1;
    if (!sane || (port->ConnectionFlags & PORT_LINKED_INFRA) == 0 || std::memcmp(addr2, port->Bssid, 6) != 0) {
        return;
    }
    if (a.AssocParamsWord != 0) {
        std::memset(port->Mlme.Conn.AssocParamsRecord, 0, sizeof(port->Mlme.Conn.AssocParamsRecord));
        std::memset(a.AssocParams, 0, sizeof(a.AssocParams));
        a.AssocParamsWord = 0;
    }
    if (port->PortType == EXTSTA && (adapter->RegistryBlock.CertReg & 0x2u) != 0) {
        std::memcpy(port->Mlme.Conn.AssocParamsRecord + 4, port->Bssid, 6);
        adapter->Ind.AssocParamsRequest = 1;
    }
    adapter->Mlme.ConnectRetryCount = 1;
    (void)MlmeCntLinkDown(port, 1);
    a.LastLinkLossTime = MlmeStaSystemTime();
    if (port->Mlme.Req.DisconnectInProgress == 0) {
        PlatformIndicateDisassociation(adapter, port, addr2, 0x10000, 104);
    }
}
