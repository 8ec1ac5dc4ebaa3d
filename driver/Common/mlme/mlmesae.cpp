// The SAE authentication machine (machine 20): the station's commit and confirm frames over the air.
// The OS computes the SAE values and hands them over with the SAE parameters property; this machine
// frames and sends them, keeps the commit for one retransmission, passes the access point's commit
// and confirm up to the OS, asks the OS once to resend the confirm, and times the exchange out.
#include "Common/mlme/mlmesae.h"

#include <cstring>

#include "Common/common.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmeconnect.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdigenerator.h"

namespace {

constexpr ULONG kSubtypeAuth = 11;
constexpr ULONG kOwnerSae = 0x53414531;  // "SAE1"
constexpr ULONG kLogSendSeq1 = 0x40020407u;
constexpr ULONG kLogRecvSeq2 = 0x40020408u;
constexpr ULONG kLogSendSeq3 = 0x40020409u;
constexpr ULONG kLogRecvSeq4 = 0x4002040Au;
constexpr USHORT kStatusH2e = 126;
constexpr USHORT kStatusTryLater = 30;
constexpr ULONG kTryLaterMs = 1000;
constexpr ULONG kDefaultPeriodMs = 2000;
constexpr ULONG kAuthFixedEnd = 30;  // header and the three fixed fields
constexpr UCHAR kElementExtension = 255;
constexpr UCHAR kTokenContainerId = 93;

// SAE states and messages.
constexpr ULONG kIdle = 0;
constexpr ULONG kCommitSent = 1;
constexpr ULONG kPeerCommit = 2;
constexpr ULONG kConfirmSent = 3;
constexpr ULONG kMsgSendCommit = 0;
constexpr ULONG kMsgPeerCommit = 1;
constexpr ULONG kMsgSendConfirm = 2;
constexpr ULONG kMsgPeerConfirm = 3;
constexpr ULONG kMsgTimeout = 4;
constexpr ULONG kAuthStateConfirmed = 2;

PMP_PORT PortOf(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    if (adapter == nullptr || elem == nullptr || elem->PortIndex >= MP_MAX_PORTS) {
        return nullptr;
    }
    return adapter->PortList[elem->PortIndex];
}

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
void PutU16(PUCHAR p, USHORT v)
{
    p[0] = static_cast<UCHAR>(v);
    p[1] = static_cast<UCHAR>(v >> 8);
}

void LogStep(PMP_ADAPTER adapter, ULONG id) { (void)WriteSystemEventLog(adapter, id, 0, nullptr, 0); }

void SetState(PMP_PORT port, ULONG state) { port->Mlme.SaeMachine.CurrState = state; }

ULONG Period(PMP_ADAPTER adapter)
{
    const ULONG ms = adapter->RegistryBlock.SaeTO;
    return ms == 0 ? kDefaultPeriodMs : ms;
}

void Arm(PMP_ADAPTER adapter, PMP_PORT port, ULONG ms = 0)
{
    (void)PlatformSetTimer(port, &port->Mlme.SaeTimeoutTimer, ms != 0 ? ms : Period(adapter));
}

void CancelSaeTimer(PMP_PORT port)
{
    UCHAR cancelled = FALSE;
    PlatformCancelTimer(&port->Mlme.SaeTimeoutTimer, &cancelled);
}

bool IsMlmeBssid(PMP_ADAPTER adapter, const UCHAR* addr) { return std::memcmp(addr, adapter->Mlme.Cntl.MlmeBssid, 6) == 0; }

// A view of a packed SAE message body whose every length was checked against the body.
struct SaeView {
    SAE_MSG_HEADER h;
    const UCHAR* scalar;
    const UCHAR* element;
    const UCHAR* token;
    const UCHAR* rejected;
    const UCHAR* confirm;
};

bool ViewBody(const void* body, ULONG length, SaeView* v)
{
    if (body == nullptr || length < sizeof(SAE_MSG_HEADER) || length > MLME_MSG_SIZE) {
        return false;
    }
    std::memcpy(&v->h, body, sizeof(v->h));
    const ULONG total = sizeof(SAE_MSG_HEADER) + static_cast<ULONG>(v->h.ScalarLength) + v->h.ElementLength +
                        v->h.TokenLength + v->h.RejectedGroupsLength + v->h.ConfirmLength;
    if (total > length) {
        return false;
    }
    const UCHAR* p = static_cast<const UCHAR*>(body) + sizeof(SAE_MSG_HEADER);
    v->scalar = p;
    v->element = v->scalar + v->h.ScalarLength;
    v->token = v->element + v->h.ElementLength;
    v->rejected = v->token + v->h.TokenLength;
    v->confirm = v->rejected + v->h.RejectedGroupsLength;
    return true;
}

// Builds the commit frame of the view into `buffer`; 0 when it does not fit.
ULONG BuildCommit(PMP_ADAPTER adapter, PMP_PORT port, const SaeView& v, PUCHAR buffer)
{
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, kSubtypeAuth, 0, v.h.PeerBssid, adapter->Mlme.Cntl.MlmeBssid);
    const bool h2e = port->Ind.SaeH2e == 1;
    UCHAR fixed[8];
    PutU16(fixed, AUTH_ALG_SAE);
    PutU16(fixed + 2, 1);
    PutU16(fixed + 4, h2e ? kStatusH2e : 0);
    PutU16(fixed + 6, v.h.FiniteCyclicGroup);
    const bool token = (v.h.CommitOptions & SAE_COMMIT_OPTION_TOKEN) != 0;
    const bool rejected = h2e && (v.h.CommitOptions & SAE_COMMIT_OPTION_REJECTED_GROUPS) != 0;
    const ULONG rejectedLength = rejected ? v.h.RejectedGroupsLength : 0;
    ULONG length = 0;
    if (!token) {
        BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header, 8u, fixed,
                            static_cast<ULONG>(v.h.ScalarLength), v.scalar, static_cast<ULONG>(v.h.ElementLength),
                            v.element, rejectedLength, v.rejected, END_OF_ARGS);
    } else if (!h2e) {
        BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header, 8u, fixed,
                            static_cast<ULONG>(v.h.TokenLength), v.token, static_cast<ULONG>(v.h.ScalarLength),
                            v.scalar, static_cast<ULONG>(v.h.ElementLength), v.element, END_OF_ARGS);
    } else {
        // Hash-to-element: the token travels in its container element, after the rejected groups.
        const UCHAR l = port->Ind.SaeH2eElementLength;
        const UCHAR container[3] = {kElementExtension, l, kTokenContainerId};
        const ULONG containerLength = l == v.h.TokenLength ? 2u : 3u;
        BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header, 8u, fixed,
                            static_cast<ULONG>(v.h.ScalarLength), v.scalar, static_cast<ULONG>(v.h.ElementLength),
                            v.element, rejectedLength, v.rejected, containerLength, container,
                            static_cast<ULONG>(v.h.TokenLength), v.token, END_OF_ARGS);
        port->Ind.SaeH2eElementLength = 0;
    }
    return length;
}

}  // namespace

BOOLEAN MlmeSaePackParams(const SAE_PARAMS* params, PUCHAR out, ULONG room, PULONG length)
{
    if (params == nullptr || out == nullptr || length == nullptr) {
        return FALSE;
    }
    *length = 0;
    const SAE_BUFFER* parts[] = {&params->Scalar, &params->Element, &params->AntiCloggingToken,
                                 &params->RejectedGroups, &params->Confirm};
    ULONG total = sizeof(SAE_MSG_HEADER);
    for (const SAE_BUFFER* b : parts) {
        const ULONG n = b->Buffer != nullptr ? b->Length : 0;
        if (n > 0xFFFFu || total + n > room) {
            return FALSE;
        }
        total += n;
    }
    SAE_MSG_HEADER h{};
    h.Presence = params->Presence;
    std::memcpy(h.PeerBssid, params->PeerBssid, 6);
    h.RequestType = params->RequestType;
    h.CommitOptions = params->CommitOptions;
    h.FiniteCyclicGroup = params->FiniteCyclicGroup;
    auto len = [](const SAE_BUFFER& b) { return static_cast<USHORT>(b.Buffer != nullptr ? b.Length : 0); };
    h.ScalarLength = len(params->Scalar);
    h.ElementLength = len(params->Element);
    h.TokenLength = len(params->AntiCloggingToken);
    h.RejectedGroupsLength = len(params->RejectedGroups);
    h.SendConfirm = params->SendConfirm;
    h.ConfirmLength = len(params->Confirm);
    h.Status = params->Status;
    std::memcpy(out, &h, sizeof(h));
    ULONG at = sizeof(h);
    for (const SAE_BUFFER* b : parts) {
        const ULONG n = len(*b);
        if (n != 0) {
            std::memcpy(out + at, b->Buffer, n);
            at += n;
        }
    }
    *length = at;
    return TRUE;
}

BOOLEAN MlmeSaeAuthReqSanity(const void* body, ULONG length, PUCHAR addr, PUSHORT alg)
{
    SaeView v;
    if (!ViewBody(body, length, &v)) {
        return FALSE;
    }
    if (addr != nullptr) {
        std::memcpy(addr, v.h.PeerBssid, 6);
    }
    if (alg != nullptr) {
        *alg = AUTH_ALG_SAE;
    }
    return static_cast<BOOLEAN>((v.h.PeerBssid[0] & 0x01) == 0);
}

BOOLEAN PeerSAEAuthSanity(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG length, PUCHAR addr2,
                          PUSHORT alg, PUSHORT seq, PUSHORT status)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || frame == nullptr || length < kAuthFixedEnd || length > MLME_MSG_SIZE) {
        return FALSE;
    }
    const auto* f = static_cast<const UCHAR*>(frame);
    std::memcpy(addr2, f + 10, 6);
    *alg = GetU16(f + 24);
    *seq = GetU16(f + 26);
    *status = GetU16(f + 28);
    switch (*alg) {
    case AUTH_ALG_OPEN:
        return static_cast<BOOLEAN>(*seq == 1 || *seq == 2);
    case AUTH_ALG_SHARED_KEY:
        return static_cast<BOOLEAN>(*seq >= 1 && *seq <= 4);
    case AUTH_ALG_SAE: {
        if (*seq != 1) {
            return TRUE;
        }
        const UCHAR h2e = port->Ind.SaeH2e;
        if (h2e == 0) {
            return static_cast<BOOLEAN>(*status == 0);
        }
        if (h2e == 1) {
            return static_cast<BOOLEAN>(*status == 0 || *status == kStatusH2e);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

VOID MlmeSAEResendReset(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr) {
        return;
    }
    SAE_PORT_STATE& sae = port->Mlme.Sae;
    std::memset(sae.KeptCommit, 0, sizeof(sae.KeptCommit));
    sae.KeptCommitLength = 0;
    sae.CommitResent = 0;
    sae.ConfirmResend = 0;
    CancelSaeTimer(port);
}

VOID MlmeSAEFreeParams(PMP_PORT port)
{
    if (port == nullptr) {
        return;
    }
    SAE_PARAMS& p = port->Mlme.Sae.Params;
    for (SAE_BUFFER* b : {&p.Scalar, &p.Element, &p.AntiCloggingToken, &p.RejectedGroups, &p.Confirm}) {
        if (b->Owned != 0 && b->Buffer != nullptr) {
            PlatformFreeMemory(b->Buffer, b->Length);
        }
        *b = {};
    }
}

VOID MlmeSAEStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, port->Mlme.SaeFunc, SAE_MACHINE_STATES, SAE_MACHINE_MSGS, Drop, kIdle, 0);
    StateMachineSetAction(machine, kIdle, kMsgSendCommit, MlmeSAESendCommitRequest);
    StateMachineSetAction(machine, kCommitSent, kMsgPeerCommit, MlmeSAEReceiveCommitRequest);
    StateMachineSetAction(machine, kCommitSent, kMsgTimeout, MlmeSAETimeoutAction);
    StateMachineSetAction(machine, kPeerCommit, kMsgSendConfirm, MlmeSAESendConfirmRequest);
    StateMachineSetAction(machine, kPeerCommit, kMsgTimeout, MlmeSAETimeoutAction);
    StateMachineSetAction(machine, kConfirmSent, kMsgPeerConfirm, MlmeSAEReceiveConfirmRequest);
    StateMachineSetAction(machine, kConfirmSent, kMsgTimeout, MlmeSAETimeoutAction);
    PlatformInitTimer(port, &port->Mlme.SaeTimeoutTimer, MlmeSAETimeoutTimerCallback, FALSE, "SAETimeoutTimer");
}

VOID MlmeSAESendCommitRequest(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    UCHAR peer[6];
    USHORT alg = 0;
    SaeView v;
    if (!MlmeSaeAuthReqSanity(elem->Msg, elem->MsgLen, peer, &alg) || !ViewBody(elem->Msg, elem->MsgLen, &v)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "SAE commit request refused");
        SetState(port, kIdle);
        return;
    }
    CancelSaeTimer(port);
    std::memcpy(adapter->Mlme.Cntl.MlmeBssid, peer, 6);
    adapter->Mlme.Conn.MlmeAuthAlgorithm = AUTH_ALG_SAE;
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerSae, &buffer)) || buffer == nullptr) {
        SetState(port, kIdle);
        return;
    }
    const ULONG length = BuildCommit(adapter, port, v, buffer);
    if (length == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "SAE commit does not fit a frame: not sent");
        MlmeFreeMemory(adapter, buffer);
        SetState(port, kIdle);
        return;
    }
    SAE_PORT_STATE& sae = port->Mlme.Sae;
    const bool token = (v.h.CommitOptions & SAE_COMMIT_OPTION_TOKEN) != 0;
    const bool rejected = port->Ind.SaeH2e == 1 && (v.h.CommitOptions & SAE_COMMIT_OPTION_REJECTED_GROUPS) != 0;
    bool send = true;
    if (!token && !rejected) {
        UCHAR& toggle = adapter->Mlme.SaeCommitSkip;
        if (toggle == 0) {
            if (port->ConnectConfig.CertTestFlag == 1) {
                toggle = 1;
            }
        } else {
            toggle = 0;
            send = false;
        }
    }
    if (send) {
        // Kept before the send: the transmit path takes the buffer.
        if (length < SAE_KEPT_COMMIT_ROOM) {
            std::memcpy(sae.KeptCommit, buffer, length);
            sae.KeptCommitLength = length;
            sae.CommitResent = 0;
        } else {
            sae.KeptCommitLength = 0;
            sae.CommitResent = 1;
        }
        (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
        LogStep(adapter, kLogSendSeq1);
    } else {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "SAE commit skipped on the test network");
        MlmeFreeMemory(adapter, buffer);
        sae.KeptCommitLength = 0;
        sae.CommitResent = 0;
    }
    Arm(adapter, port);
    SetState(port, kCommitSent);
}

VOID MlmeSAEReceiveCommitRequest(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    UCHAR addr2[6] = {};
    USHORT alg = 0;
    USHORT seq = 0;
    USHORT status = 0;
    const bool accepted = PeerSAEAuthSanity(adapter, port, elem->Msg, elem->MsgLen, addr2, &alg, &seq, &status);
    const bool ours = elem->MsgLen >= kAuthFixedEnd && IsMlmeBssid(adapter, addr2) && seq == 1;
    const bool sae = adapter->Mlme.Conn.MlmeAuthAlgorithm == AUTH_ALG_SAE;
    if (accepted) {
        LogStep(adapter, kLogRecvSeq2);
        if (!ours) {
            return;
        }
        CancelSaeTimer(port);
        if (sae) {
            SetState(port, kPeerCommit);
            (void)WdiGeneratorEventIndicateSAE(adapter, port, elem->Msg, elem->MsgLen, nullptr,
                                               WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE);
        }
        Arm(adapter, port);
        return;
    }
    if (!ours) {
        return;
    }
    CancelSaeTimer(port);
    if (!sae) {
        Arm(adapter, port);
        return;
    }
    if (status == kStatusTryLater) {
        // The access point is busy: wait (the kept commit goes out again at the first expiry).
        Arm(adapter, port, port->Mlme.Sae.CommitResent == 0 ? kTryLaterMs : 0);
        return;
    }
    SetState(port, kIdle);
    (void)WdiGeneratorEventIndicateSAE(adapter, port, elem->Msg, elem->MsgLen, nullptr,
                                       WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE);
    Arm(adapter, port);
}

VOID MlmeSAESendConfirmRequest(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    UCHAR peer[6];
    USHORT alg = 0;
    SaeView v;
    if (!MlmeSaeAuthReqSanity(elem->Msg, elem->MsgLen, peer, &alg) || !ViewBody(elem->Msg, elem->MsgLen, &v)) {
        SetState(port, kIdle);
        return;
    }
    CancelSaeTimer(port);
    std::memcpy(adapter->Mlme.Cntl.MlmeBssid, peer, 6);
    adapter->Mlme.Conn.MlmeAuthAlgorithm = AUTH_ALG_SAE;
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerSae, &buffer)) || buffer == nullptr) {
        SetState(port, kIdle);
        return;
    }
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, kSubtypeAuth, 0, peer, adapter->Mlme.Cntl.MlmeBssid);
    UCHAR fixed[8];
    PutU16(fixed, AUTH_ALG_SAE);
    PutU16(fixed + 2, 2);
    PutU16(fixed + 4, 0);
    PutU16(fixed + 6, v.h.SendConfirm);
    ULONG length = 0;
    BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header, 8u, fixed,
                        static_cast<ULONG>(v.h.ConfirmLength), v.confirm, END_OF_ARGS);
    if (length == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "SAE confirm does not fit a frame: not sent");
        MlmeFreeMemory(adapter, buffer);
        SetState(port, kIdle);
        return;
    }
    (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
    LogStep(adapter, kLogSendSeq3);
    Arm(adapter, port);
    SetState(port, kConfirmSent);
}

VOID MlmeSAEReceiveConfirmRequest(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    UCHAR addr2[6] = {};
    USHORT alg = 0;
    USHORT seq = 0;
    USHORT status = 0;
    if (!PeerSAEAuthSanity(adapter, port, elem->Msg, elem->MsgLen, addr2, &alg, &seq, &status)) {
        return;
    }
    LogStep(adapter, kLogRecvSeq4);
    if (!IsMlmeBssid(adapter, addr2) || seq != 2) {
        return;
    }
    CancelSaeTimer(port);
    if (adapter->Mlme.Conn.MlmeAuthAlgorithm == AUTH_ALG_SAE) {
        // The OS checks the confirm; its verdict through the SAE parameters ends the exchange. Until
        // then the machine stays here without a timer, and a repeated confirm goes up again.
        port->Mlme.AuthMachine.CurrState = kAuthStateConfirmed;
        (void)WdiGeneratorEventIndicateSAE(adapter, port, elem->Msg, elem->MsgLen, nullptr,
                                           WDI_SAE_INDICATION_TYPE_CONFIRM_RESPONSE);
    }
}

VOID MlmeSAETimeoutAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    SetState(port, kIdle);
    port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
    MlmeStaConfirm(adapter, port, CNTL_MSG_AUTH_CONFIRM, MLME_STATUS_TIMEOUT);
}

VOID MlmeSAETimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
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
    SAE_PORT_STATE& sae = port->Mlme.Sae;
    const ULONG state = port->Mlme.SaeMachine.CurrState;
    if (sae.CommitResent == 0 && state == kCommitSent) {
        sae.CommitResent = 1;
        PUCHAR buffer = nullptr;
        if (sae.KeptCommitLength != 0 && sae.KeptCommitLength <= SAE_KEPT_COMMIT_ROOM &&
            NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerSae, &buffer)) && buffer != nullptr) {
            std::memcpy(buffer, sae.KeptCommit, sae.KeptCommitLength);
            (void)MlmeStaSendMgmtFrame(adapter, buffer, sae.KeptCommitLength, TRUE);
        }
        Arm(adapter, port);
    } else if (state == kConfirmSent && sae.ConfirmResend == 0) {
        sae.ConfirmResend = 1;
        (void)WdiGeneratorEventIndicateSAE(adapter, port, nullptr, 0, port->Mlme.Sae.Params.PeerBssid,
                                           WDI_SAE_INDICATION_TYPE_CONFIRM_REQUEST_RESEND_REQUEST);
        Arm(adapter, port);
    } else {
        if (state == kConfirmSent) {
            (void)WdiGeneratorEventIndicateSAE(adapter, port, nullptr, 0, adapter->Mlme.Cntl.MlmeBssid,
                                               WDI_SAE_INDICATION_TYPE_ERROR);
        }
        (void)MlmeEnqueue(adapter, port, MLME_SAE_STATE_MACHINE, kMsgTimeout, 0, nullptr);
    }
    if (port->ConnectConfig.CertTestFlag == 1) {
        // The test networks fall back to open system with PMKSA caching.
        MLME_AUTH_REQ request;
        MlmeCntAuthParamFill(port, &request, adapter->Mlme.Cntl.MlmeBssid, AUTH_ALG_OPEN);
        port->Mlme.Cntl.FullSaeNeeded = 0;
        port->Mlme.Cntl.PmksaCachingAttempted = 1;
        (void)MlmeEnqueue(adapter, port, MLME_AUTH_STATE_MACHINE, MT2_MLME_AUTH_REQ, sizeof(request), &request);
        port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
        port->Mlme.CntlMachine.CurrState = CNTL_WAIT_AUTH;
    }
}
