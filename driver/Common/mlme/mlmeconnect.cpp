// The connect-control machine: dispatch by state, the idle procedure and the procedures of the
// connection steps.
#include "Common/mlme/mlmeconnect.h"

#include <cstring>

#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesae.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmesync_sort.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_bss.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6platformindicate.h"
#include "platform/wdi/wdigenerator.h"
#include "platform/wdi/wdimain.h"
#include "platform/wdi/wdisend.h"
#include "Common/mlme/mlmesync.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kSuspendFlag = 0x40000000u;
constexpr ULONG kDisassocConfirm = 37;

PMP_PORT ElemPort(PMP_ADAPTER adapter, const MLME_QUEUE_ELEM* elem)
{
    return elem->PortIndex < MP_MAX_PORTS ? adapter->PortList[elem->PortIndex] : nullptr;
}

}  // namespace

VOID MlmeCntlInit(PMLME_CNTL_MACHINE machine)
{
    machine->CurrState = CNTL_IDLE;
    machine->ResetRequest = 0;
}

VOID MlmeCntResetState(PMP_PORT port, PMLME_CNTL_MACHINE machine)
{
    UNREFERENCED_PARAMETER(port);
    machine->CurrState = CNTL_IDLE;
    machine->ResetRequest = 0;
}

VOID MlmeCntlMachinePerformAction(PMP_ADAPTER adapter, PMLME_CNTL_MACHINE machine, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "connect-control message %u without a port", static_cast<unsigned>(elem->MsgType));
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
        return;
    }
    if (machine->ResetRequest) {
        // The message is not handled: the port's machines restart and a running scan is aborted.
        (void)MlmeRestartStateMachine(adapter, port);
        machine->ResetRequest = 0;
        if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
            ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
            (void)QzCmdSendAbortScan(adapter);
            AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
        }
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "MlmeCntlMachinePerformAction: state %u message %u",
             static_cast<unsigned>(machine->CurrState), static_cast<unsigned>(elem->MsgType));
    switch (machine->CurrState) {
    case CNTL_IDLE: MlmeCntlIdleProc(adapter, port, elem); break;
    case CNTL_WAIT_DISASSOC: MlmeCntlWaitDisassocProc(adapter, port, elem); break;
    case CNTL_WAIT_JOIN: MlmeCntlWaitJoinProc(adapter, port, elem); break;
    case CNTL_WAIT_REASSOC: MlmeCntlWaitReassocProc(adapter, port, elem); break;
    case CNTL_WAIT_AUTH: MlmeCntlWaitAuthProc(adapter, port, elem); break;
    case CNTL_WAIT_ASSOC: MlmeCntlWaitAssocProc(adapter, port, elem); break;
    case CNTL_WAIT_AUTH2: MlmeCntlWaitAuth2Proc(adapter, port, elem); break;
    case CNTL_WAIT_OID_LIST_SCAN: MlmeCntlWaitOidListScan(adapter, port, elem); break;
    case CNTL_WAIT_LINK_DOWN_DISASSOC: MlmeCntlWaitLinkDownDisassocProc(adapter, port, elem); break;
    case CNTL_WAIT_CONNECT_SCAN: MlmeCntlWaitConnectScanProc(adapter, port, elem); break;
    case CNTL_WAIT_OID_SPLIT_SCAN: MlmeCntlWaitOidSplitScan(adapter, port, elem); break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "connect control: state %u drops message 0x%X",
                 static_cast<unsigned>(machine->CurrState), static_cast<unsigned>(elem->MsgType));
        break;
    }
}

VOID MlmeCntlIdleProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_RADIO_OFF)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "connect control: radio off, message 0x%X dropped",
                 static_cast<unsigned>(elem->MsgType));
        return;
    }
    switch (elem->MsgType) {
    case CNTL_MSG_OID_SCAN: MlmeCntlOidScanProc(adapter, port, elem); break;
    case CNTL_MSG_OID_CONNECT: MlmeCntlOidConnectProc(adapter, port, elem); break;
    default:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "connect control idle: message 0x%X dropped",
                 static_cast<unsigned>(elem->MsgType));
        break;
    }
}

VOID MlmeCntlWaitLinkDownDisassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (elem->MsgType != kDisassocConfirm) {
        return;
    }
    if (!AdapterTestFlags(adapter, kSuspendFlag)) {
        (void)MlmeCntLinkDown(port, 0);
    }
    port->Mlme.CntlMachine.CurrState = CNTL_IDLE;
}

// ---- the connection steps ---------------------------------------------------------------------------------
namespace {

constexpr ULONG kAuthShared = 2;
constexpr ULONG kAuthWpa = 3;
constexpr ULONG kAuthWpaPsk = 4;
constexpr ULONG kAuthRsna = 6;
constexpr ULONG kAuthRsnaPsk = 7;
constexpr ULONG kAuthWpa3Ent192 = 8;
constexpr ULONG kAuthSae = 9;
constexpr ULONG kAuthSharedVendor = 0x80000004u;
constexpr ULONG kAuthWpaVendorA = 0x80000102u;
constexpr ULONG kAuthWpaVendorB = 0x80000103u;
constexpr ULONG kCipherTkip = 2;
constexpr ULONG kCipherCcmp = 4;
constexpr ULONG kCipherGcmp256 = 9;
constexpr ULONG kCipherVendorDefault = 0x80000003u;
constexpr ULONG kTkipDefault = 2;
constexpr USHORT kReasonLeaving = 3;
constexpr USHORT kStatusRefused = 83;
constexpr USHORT kStatusDeclined = 37;
constexpr USHORT kStatusInvalidPmkid = 53;
constexpr ULONG kWpsActive = 2;
constexpr ULONG kWpsStatusFailed = 3;
constexpr LONG kP2pGroupFormed = 28;
constexpr ULONG kSyncScan = 0;
constexpr ULONG kSyncJoin = 1;
constexpr ULONG kSyncStart = 2;
constexpr ULONG kAssocRequest = 0;
constexpr ULONG kReassocRequest = 1;
constexpr ULONG kAuthRequest = 0;
constexpr ULONG kWdiTaskDisconnect = 8;
constexpr ULONG64 kSecond = 10000000ull;  // system time units per second
constexpr UCHAR kPmfCapable = 0x80;
constexpr UCHAR kPmfInUse = 0x40;
constexpr ULONG kHlkKeepPmf = 0x40;

ULONG64 SystemTime()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

bool AllZero(const UCHAR* a)
{
    for (int i = 0; i < 6; ++i) {
        if (a[i] != 0) {
            return false;
        }
    }
    return true;
}

bool SameAddress(const UCHAR* a, const UCHAR* b) { return std::memcmp(a, b, 6) == 0; }

// The confirm's u16 status; FALSE for a body too short to hold one (the element is dropped).
bool ConfirmStatus(const MLME_QUEUE_ELEM* elem, USHORT* status)
{
    if (elem->MsgLen < sizeof(USHORT)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "connect control: confirm %u without a status dropped",
                 static_cast<unsigned>(elem->MsgType));
        return false;
    }
    std::memcpy(status, elem->Msg, sizeof(USHORT));
    return true;
}

ULONG CandidateCount(PMP_ADAPTER adapter)
{
    const ULONG n = adapter->Mlme.ConnectCandidates.EntryCount;
    return n < CONNECT_CANDIDATE_MAX ? n : CONNECT_CANDIDATE_MAX;
}

PBSS_ENTRY CandidateAt(PMP_ADAPTER adapter, ULONG index)
{
    return index < CandidateCount(adapter) ? &adapter->Mlme.ConnectCandidates.BssEntry[index] : nullptr;
}

void SetState(PMP_PORT port, ULONG state) { port->Mlme.CntlMachine.CurrState = state; }

// Empties the neighbour-AP list, aborts the firmware scan and clears the scanning flag.
void StopScanning(PMP_ADAPTER adapter)
{
    ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
    (void)QzCmdSendAbortScan(adapter);
    AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, "MlmeCntl");
}

void AbortPrivilege(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter->ChPrivilegeHeld) {
        (void)QzCmdChPrivilage(adapter, port, adapter->ChPrivilegeChannel, adapter->ChPrivilegeBand,
                               CH_PRIVILEGE_RELEASE, 0, 0, nullptr, nullptr, 0, 0);
    }
}

PMAC_TABLE_ENTRY RoleEntry(PMP_PORT port) { return MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port)); }

// Authentication algorithm of the request: shared key, fast transition on a roam, or open.
USHORT AuthRequestAlgorithm(PMP_PORT port)
{
    const ULONG a = port->Mlme.AuthAlgorithm;
    const MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    if (a == kAuthShared || a == kAuthSharedVendor) {
        return AUTH_REQ_ALGORITHM_SHARED;
    }
    if (p.RoamRequest != 0 && p.FtEnabled != 0 && p.FtIeBuffer != nullptr && p.FtIeLength != 0) {
        return AUTH_REQ_ALGORITHM_FT;
    }
    return AUTH_REQ_ALGORITHM_OPEN;
}

void PostAuthRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_AUTH_REQ request;
    MlmeCntAuthParamFill(port, &request, adapter->Mlme.Cntl.MlmeBssid, AuthRequestAlgorithm(port));
    (void)MlmeEnqueue(adapter, port, MLME_AUTH_STATE_MACHINE, kAuthRequest, sizeof(request), &request);
}

// An association, or a reassociation on a roam (or a fast transition with all its parameters).
void PostAssocRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    const MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    const bool reassoc =
        p.RoamRequest == 1 || (p.RoamRequest != 0 && p.FtEnabled != 0 && p.FtSecondAuth != 0 && p.FtParams != 0);
    MLME_ASSOC_REQ request;
    MlmeCntAssocParamFill(adapter, &request, adapter->Mlme.Cntl.MlmeBssid, adapter->Mlme.JoinTargetInfo.CapabilityInfo);
    (void)MlmeEnqueue(adapter, port, MLME_ASSOC_STATE_MACHINE, reassoc ? kReassocRequest : kAssocRequest,
                      sizeof(request), &request);
}

void ClearPmksaCache(PMP_PORT port)
{
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    if (p.PmksaCount == 0) {
        return;
    }
    std::memset(p.SaeState, 0, sizeof(p.SaeState));
    std::memset(p.PmksaCache, 0, sizeof(p.PmksaCache));
    p.PmksaCount = 0;
}

bool PmksaCached(const MP_PORT* port, const UCHAR* bssid)
{
    const MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    const ULONG n = p.PmksaCount < PMKSA_CACHE_ENTRIES ? p.PmksaCount : PMKSA_CACHE_ENTRIES;
    for (ULONG i = 0; i < n; ++i) {
        if (SameAddress(p.PmksaCache[i], bssid)) {
            return true;
        }
    }
    return false;
}

// A Wi-Fi Direct client port whose group has formed.
bool P2pClientInGroup(const MP_PORT* port) { return port->PortType == WFD_CLIENT && port->P2pConnectState == kP2pGroupFormed; }

void PostGiveUp(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address)
{
    (void)MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_CONNECT_GIVE_UP, 6, address);
}

// Asks the OS for a full SAE exchange with the access point of the entry.
void RequestFullSae(PMP_ADAPTER adapter, PMP_PORT port, const MAC_TABLE_ENTRY* entry)
{
    port->Mlme.Cntl.SaeCommitCount = 0;
    MlmeSAEResendReset(adapter, port);
    (void)WdiGeneratorEventIndicateSAE(adapter, port, nullptr, 0, entry->Addr, 0);
}

void TryNextCandidate(PMP_ADAPTER adapter, PMP_PORT port)
{
    ++adapter->Mlme.Cntl.CandidateIndex;
    MlmeCntlIterateOnBssTab(port);
}

// The announcement of an attempt: a roam after a completed connection, otherwise a connection.
void AnnounceAttempt(PMP_ADAPTER adapter, PMP_PORT port, ULONG callerCode)
{
    if (adapter->Mlme.Cntl.Roaming) {
        PlatformIndicateRoamingStart(port);
    } else {
        PlatformIndicateConnectionStart(adapter, port, adapter->Mlme.Cntl.NetworkType, nullptr, nullptr, 0, callerCode);
    }
}

void BuildCandidates(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    BssTableSsidSort(adapter, port, &adapter->Mlme.ConnectCandidates, c.MlmeSsid, c.MlmeSsidLen);
    ReArrangeDbdcConnCandidate(adapter, port, &adapter->Mlme.ConnectCandidates);
    ReArrangeConnCandidate(adapter, &adapter->Mlme.ConnectCandidates);
}

// The security choice for the candidate from its WPA and RSN fields.
void ChooseCiphers(PMP_ADAPTER adapter, PMP_PORT port, const BSS_ENTRY& e)
{
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    const ULONG a = port->Mlme.AuthAlgorithm;
    const ULONG u = port->Mlme.UnicastCipher;
    if (a == kAuthWpa || a == kAuthWpaPsk || u == kCipherTkip) {
        p.GroupCipher = e.WpaCipher.GroupCipher != 0 ? e.WpaCipher.GroupCipher : e.RsnCipher.GroupCipher;
        p.PairwiseCipher = e.WpaCipher.PairwiseCipher == u ? u
                           : (e.WpaCipher.PairwiseCipherAux != 0 ? e.WpaCipher.PairwiseCipherAux : kTkipDefault);
        p.AkmValue = e.AuthMode;
    } else if (a == kAuthRsna || a == kAuthRsnaPsk || u == kCipherCcmp) {
        p.GroupCipher = e.RsnCipher.GroupCipher != 0 ? e.RsnCipher.GroupCipher : e.WpaCipher.GroupCipher;
        p.PairwiseCipher = e.RsnCipher.PairwiseCipher == u ? u
                           : (e.RsnCipher.PairwiseCipherAux != 0 ? e.RsnCipher.PairwiseCipherAux : kTkipDefault);
        p.RsnCapability = e.RsnCipher.RsnCapability;
        p.RsnCapabilityExtra = e.RsnCipher.Sha256Akm;
        if (a == kAuthRsna) {
            p.UseFt = e.RsnCipher.FtAkm;
        }
        p.AkmValue = e.AuthMode;
    } else if (a == kAuthWpaVendorA || a == kAuthWpaVendorB) {
        p.GroupCipher = e.WpaCipher.GroupCipher;
        p.PairwiseCipher = e.WpaCipher.PairwiseCipher == u
                               ? u
                               : (e.WpaCipher.PairwiseCipherAux != 0 ? e.WpaCipher.PairwiseCipherAux : kCipherVendorDefault);
    } else if (a == kAuthWpa3Ent192 || u == kCipherGcmp256) {
        p.PairwiseCipher = e.RsnCipher.PairwiseCipher;
        p.GroupCipher = e.RsnCipher.GroupCipher;
        p.RsnCapability = e.RsnCipher.RsnCapability;
    } else {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "connect control: algorithm 0x%X keeps the OS's cipher",
                 static_cast<unsigned>(a));
    }
    p.MixedCipher = p.GroupCipher != p.PairwiseCipher ? 1 : 0;

    // Management-frame protection.
    UCHAR& pmf = adapter->WorkingCfg.MFPC;
    const bool required = e.RsnCipher.PmfRequired != 0 && (pmf & kPmfCapable) != 0;
    if (a == kAuthSae || a == kAuthRsna) {
        if (required) {
            pmf |= kPmfInUse;
        } else if ((adapter->RegistryBlock.Hlk_feature_optional & kHlkKeepPmf) == 0) {
            pmf &= static_cast<UCHAR>(~kPmfInUse);
        }
    } else if (a == kAuthWpa3Ent192 && required) {
        pmf |= kPmfInUse;
    }
}

}  // namespace

VOID MlmeCntAuthParamFill(PMP_PORT port, PMLME_AUTH_REQ request, const UCHAR* address, USHORT algorithm)
{
    UNREFERENCED_PARAMETER(port);
    std::memset(request, 0, sizeof(*request));
    std::memcpy(request->Addr, address, 6);
    request->Alg = algorithm;
    request->Timeout = CNTL_AUTH_TIMEOUT_MS;
}

VOID MlmeCntAssocParamFill(PMP_ADAPTER adapter, PMLME_ASSOC_REQ request, const UCHAR* address, USHORT capabilityInfo)
{
    std::memset(request, 0, sizeof(*request));
    std::memcpy(request->Addr, address, 6);
    request->CapabilityInfo = static_cast<USHORT>(capabilityInfo & ASSOC_CAPABILITY_MASK);
    request->ListenInterval = adapter->Mlme.ListenInterval;
    request->Timeout = CNTL_ASSOC_TIMEOUT_MS;
}

VOID MlmeCntDisassocParamFill(PMP_ADAPTER adapter, PMLME_DISASSOC_REQ_STRUCT request, const UCHAR* address,
                              USHORT reason)
{
    UNREFERENCED_PARAMETER(adapter);
    std::memcpy(request->Addr, address, 6);
    request->Reason = reason;
}

VOID MlmeCntStartParamFill(PMLME_START_REQ request, const UCHAR* ssid, UCHAR ssidLen)
{
    std::memset(request, 0, sizeof(*request));
    const UCHAR n = ssidLen <= sizeof(request->Ssid) ? ssidLen : static_cast<UCHAR>(sizeof(request->Ssid));
    if (n != 0) {
        std::memcpy(request->Ssid, ssid, n);
    }
    request->SsidLen = n;
}

VOID MlmeCntlSetSmReset(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "connect-control reset request without a port");
        return;
    }
    port->Mlme.CntlMachine.ResetRequest.store(1);
}

BOOLEAN MlmeCntlWaitSmResetDone(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr) {
        return FALSE;
    }
    for (ULONG poll = 0; poll < 50; ++poll) {
        if (port->Mlme.CntlMachine.ResetRequest.load() == 0) {
            return FALSE;
        }
        NdisCommonGenericDelay(10000);
    }
    if (port->Mlme.CntlMachine.ResetRequest.load() != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "connect-control reset of port %u not taken in time",
                 static_cast<unsigned>(port->PortNumber));
    }
    return FALSE;
}

VOID MlmeCntlOidConnectProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(elem);
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    MLME_REQUEST_STATE& req = adapter->Mlme.Req;

    (void)QzCmdPmDisable(adapter, port);
    (void)QzCmdSetBssInfo(adapter, port, 0);

    // The SSID to connect: the last one on an automatic reconnection, otherwise the OS's.
    std::memset(c.MlmeSsid, 0, sizeof(c.MlmeSsid));
    c.MlmeSsidLen = 0;
    const UCHAR* ssid = port->ConnectConfig.DesiredSsid;
    UCHAR ssidLen = port->ConnectConfig.DesiredSsidLength;
    if (req.AutoReconnect && port->PortType != WFD_CLIENT) {
        ssid = req.JoinSsid;
        ssidLen = req.JoinSsidLen;
    }
    if (ssidLen > sizeof(c.MlmeSsid)) {
        ssidLen = sizeof(c.MlmeSsid);
    }
    std::memcpy(c.MlmeSsid, ssid, ssidLen);
    c.MlmeSsidLen = ssidLen;
    std::memset(c.MlmeBssid, 0, sizeof(c.MlmeBssid));
    c.NetworkType = adapter->WorkingCfg.NetworkType;

    // A station and a Wi-Fi Direct client at once: forget the other link's VHT records.
    PMP_PORT station = MlmeSyncGetPortByType(adapter, EXTSTA);
    PMP_PORT client = MlmeSyncGetPortByType(adapter, WFD_CLIENT);
    if (station != nullptr && client != nullptr) {
        PMP_PORT other = port == station ? client : station;
        if ((other->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0) {
            std::memset(adapter->Mlme.JoinTargetInfo.VhtCapability, 0, sizeof(adapter->Mlme.JoinTargetInfo.VhtCapability));
            std::memset(adapter->Mlme.JoinTargetInfo.VhtOperation, 0, sizeof(adapter->Mlme.JoinTargetInfo.VhtOperation));
        }
    }

    c.AuthAttempt = 1;
    if (port->PortType == EXTSTA) {
        std::memset(req.JoinSsid, 0, sizeof(req.JoinSsid));
        std::memcpy(req.JoinSsid, c.MlmeSsid, c.MlmeSsidLen);
        req.JoinSsidLen = c.MlmeSsidLen;
    } else if (port->PortType == WFD_CLIENT) {
        WdiGeneratorEventP2PGroupOperatingChannel(adapter, port);
    }

    BuildCandidates(adapter, port);
    const ULONG64 now = SystemTime();
    c.ConnectTime = now;
    const ULONG count = CandidateCount(adapter);

    // Already connected to the first candidate: nothing to do unless its keys never came.
    const ULONG a = port->Mlme.AuthAlgorithm;
    if ((port->ConnectionFlags & PORT_STATUS_MEDIA_CONNECTED) != 0 && count != 0) {
        const BSS_ENTRY& first = adapter->Mlme.ConnectCandidates.BssEntry[0];
        if (port->CurrentSsidLen == first.SsidLen && std::memcmp(port->CurrentSsid, first.Ssid, first.SsidLen) == 0 &&
            SameAddress(port->Bssid, first.Bssid)) {
            const bool keyed = a == kAuthWpa || a == kAuthWpaPsk || a == kAuthRsna || a == kAuthRsnaPsk || a == kAuthWpa3Ent192;
            if (!(keyed && c.PortSecured == PORT_NOT_SECURED)) {
                SetState(port, CNTL_IDLE);
                return;
            }
        }
    }

    // Linked: disassociate first; the connection follows the confirm.
    if ((port->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0) {
        if (port->CurrentSsidLen != c.MlmeSsidLen || std::memcmp(port->CurrentSsid, c.MlmeSsid, c.MlmeSsidLen) != 0) {
            c.KeepOldEntry = 1;
        }
        MLME_DISASSOC_REQ_STRUCT request;
        MlmeCntDisassocParamFill(adapter, &request, port->Bssid, kReasonLeaving);
        (void)MlmeEnqueue(adapter, port, MLME_ASSOC_STATE_MACHINE, MT2_MLME_DISASSOC_REQ, sizeof(request), &request);
        SetState(port, CNTL_WAIT_DISASSOC);
        return;
    }
    if ((port->ConnectionFlags & PORT_STATUS_ADHOC_LINK_UP) != 0) {
        (void)MlmeCntLinkDown(port, 0);
        port->ConnectionFlags &= ~PORT_STATUS_MEDIA_CONNECTED;
    }

    // Nothing known of the SSID: scan for it first.
    if (count == 0 && adapter->WorkingCfg.AutoReconnect == 1 && c.NetworkType == 1 &&
        MlmeValidateSsid(c.MlmeSsid, c.MlmeSsidLen)) {
        MlmeCntScanReqParamFill(adapter, port, &adapter->Mlme.ScanRequest, c.MlmeSsid, c.MlmeSsidLen, 1);
        SetState(port, CNTL_WAIT_CONNECT_SCAN);
        adapter->Mlme.Scan.ConnectScan = 1;
        (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, kSyncScan, sizeof(MLME_SCAN_REQ),
                          &adapter->Mlme.ScanRequest);
        c.ConnectScanStart = now;
        return;
    }

    if (c.NetworkType == 1) {
        AnnounceAttempt(adapter, port, 71);
    }

    // The first candidate: after a beacon loss on a roam not the lost access point; otherwise the
    // OS's BSSID when it names one.
    c.CandidateIndex = 0;
    if (count > 1) {
        if (p.BeaconLossMarker != 0 && p.RoamRequest == 1) {
            for (ULONG i = 0; i < count; ++i) {
                if (!SameAddress(adapter->Mlme.ConnectCandidates.BssEntry[i].Bssid, port->Bssid)) {
                    c.CandidateIndex = i;
                    break;
                }
            }
        } else if (p.BeaconLossMarker == 0 && !AllZero(port->Mlme.Req.DesiredBssid)) {
            const LONG i = BssTableSearchByBssid(adapter, port, &adapter->Mlme.ConnectCandidates, port->Mlme.Req.DesiredBssid);
            if (i >= 0 && static_cast<ULONG>(i) < count) {
                c.CandidateIndex = static_cast<ULONG>(i);
            }
        }
    }

    // An access point that asked for a delay before we associate again.
    const PBSS_ENTRY chosen = CandidateAt(adapter, c.CandidateIndex);
    if (chosen != nullptr && p.RoamRequest == 1 && !AllZero(p.PrevApAddress) && p.AssocDelay.Valid &&
        SameAddress(p.AssocDelay.Bssid, chosen->Bssid)) {
        const ULONG elapsed = static_cast<ULONG>(now) - p.AssocDelay.StartTime;
        const ULONG64 delay = static_cast<ULONG64>(p.AssocDelay.DelaySeconds) * kSecond;
        if (elapsed < delay) {
            UCHAR cancelled = 0;
            if (p.AssocDelayTimer.Initialized) {
                PlatformCancelTimer(&p.AssocDelayTimer, &cancelled);
            }
            const ULONG remaining = static_cast<ULONG>((delay - elapsed) / kSecond);
            if (remaining != 0) {
                if (p.AssocDelayTimer.Initialized) {
                    (void)PlatformSetTimer(port, &p.AssocDelayTimer, remaining * 1000);
                }
                return;
            }
        } else {
            std::memset(&p.AssocDelay, 0, sizeof(p.AssocDelay));
        }
    }

    if (MlmeValidateSsid(c.MlmeSsid, c.MlmeSsidLen)) {
        MlmeCntlIterateOnBssTab(port);
    }
}

VOID MlmeCntlIterateOnBssTab(PMP_PORT port)
{
    PMP_ADAPTER adapter = port->Adapter;
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;

    p.PairwiseCipher = port->Mlme.UnicastCipher;
    p.GroupCipher = port->Mlme.UnicastCipher;
    p.AkmValue = 0;
    p.UseFt = 0;

    // An earlier candidate was tried: forget its station record and channel time.
    if (c.CandidateIndex != 0) {
        if (RoleEntry(port) != nullptr) {
            (void)QzCmdSendStaRecRemove(adapter, 1, STA_REC_REMOVE_ALL_WLAN_INDEX, port->BssIndex);
        }
        AbortPrivilege(adapter, port);
    }

    const ULONG count = CandidateCount(adapter);
    if (c.CandidateIndex >= count) {
        if (port->OpMode == 1 && AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
            StopScanning(adapter);
        }
        if (count == 0) {
            return;
        }
        // The connection-completion timer reports the end of an announced attempt.
        PPLATFORM_TIMER timer = &port->Ind.ConnectionTimeoutTimer[0];
        if (timer->Initialized) {
            UCHAR cancelled = 0;
            PlatformCancelTimer(timer, &cancelled);
            (void)PlatformSetTimer(port, timer, CNTL_NO_CANDIDATE_MS);
        }
        return;
    }

    const BSS_ENTRY& e = adapter->Mlme.ConnectCandidates.BssEntry[c.CandidateIndex];
    ChooseCiphers(adapter, port, e);
    if (port->Mlme.AuthAlgorithm == kAuthSae && p.PmksaCount != 0 && p.PmksaCachingAttempted == 1 &&
        !PmksaCached(port, e.Bssid)) {
        p.FullSaeNeeded = 1;
        p.PmksaCachingAttempted = 0;
    }

    const ULONG index = c.CandidateIndex;
    (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, kSyncJoin, sizeof(index), &index);
    p.ConnectionPhase = PORT_CONN_STATE_CONNECTING;
    SetState(port, CNTL_WAIT_JOIN);
}

VOID MlmeCntlWaitJoinProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    USHORT status = 0;
    if (elem->MsgType != CNTL_MSG_JOIN_CONFIRM || !ConfirmStatus(elem, &status)) {
        return;
    }
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    if (status != 0) {
        if (status == kStatusRefused) {
            XmitKickPortTx(adapter, port);
        }
        if (port->WpsState >= kWpsActive) {
            MlmeCntlConnectGiveUp(adapter, port);
            return;
        }
        ++c.CandidateIndex;
        if (c.NetworkType == 1) {
            (void)PlatformIndicateAssociationCompletion(adapter, port, 2, 51);
        }
        MlmeCntlIterateOnBssTab(port);
        return;
    }

    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        StopScanning(adapter);
    }
    PMAC_TABLE_ENTRY entry = RoleEntry(port);
    if (entry != nullptr && entry->WlanIdx > 0) {
        std::memcpy(entry->Addr, c.MlmeBssid, 6);
    } else {
        entry = MacTableInsertEntry(adapter, port, c.MlmeBssid, TRUE);
        if (entry == nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join confirm: no station entry for the access point");
            return;
        }
    }
    entry->AuthAttempt = static_cast<UCHAR>(c.AuthAttempt);
    AbortPrivilege(adapter, port);
    const JOIN_TARGET_INFO& joined = adapter->Mlme.JoinTargetInfo;
    (void)QzCmdChPrivilage(adapter, port, joined.Channel, static_cast<UCHAR>(joined.Band), CH_PRIVILEGE_REQUEST,
                           CH_PRIVILEGE_KIND_JOIN, CNTL_JOIN_PRIVILEGE_MS, nullptr, nullptr, 0, 0);
    if (c.NetworkType == 1) {
        if (port->Mlme.Cntl.FullSaeNeeded == 1) {
            RequestFullSae(adapter, port, entry);
        } else {
            PostAuthRequest(adapter, port);
        }
    }
    SetState(port, CNTL_WAIT_AUTH);
    c.JoinTime = SystemTime();
}

VOID MlmeCntlWaitAuthProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    c.AuthTime = SystemTime();
    USHORT status = 0;
    if (elem->MsgType != CNTL_MSG_AUTH_CONFIRM || !ConfirmStatus(elem, &status)) {
        return;
    }
    if (status == 0) {
        PostAssocRequest(adapter, port);
        SetState(port, CNTL_WAIT_ASSOC);
        return;
    }
    if (p.RoamRequest != 0 && p.FtEnabled != 0 && p.FtSecondAuth != 0 && p.FtParams == 0) {
        p.FtSecondAuth = 0;
        SetState(port, CNTL_IDLE);
        TryNextCandidate(adapter, port);
        return;
    }
    if (p.FullSaeNeeded == 1) {
        SetState(port, CNTL_IDLE);
        TryNextCandidate(adapter, port);
        return;
    }
    // The first failure is tried once more.
    PostAuthRequest(adapter, port);
    SetState(port, CNTL_WAIT_AUTH2);
}

VOID MlmeCntlWaitAuth2Proc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    USHORT status = 0;
    if (elem->MsgType != CNTL_MSG_AUTH_CONFIRM || !ConfirmStatus(elem, &status)) {
        return;
    }
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    if (status == 0) {
        c.AuthAttempt = 2;
        PostAssocRequest(adapter, port);
        SetState(port, CNTL_WAIT_ASSOC);
        return;
    }
    if (port->WpsState > 1) {
        MlmeCntlConnectGiveUp(adapter, port);
        return;
    }
    if (P2pClientInGroup(port)) {
        c.ReconnectCount = 0;
        SetState(port, CNTL_IDLE);
        PostGiveUp(adapter, port, port->Mlme.Cntl.WpsPeerAddress);
        return;
    }
    SetState(port, CNTL_IDLE);
    TryNextCandidate(adapter, port);
}

VOID MlmeCntlWaitAssocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    USHORT status = 0;
    if (elem->MsgType != CNTL_MSG_ASSOC_CONFIRM) {
        return;
    }
    if (port->PortType == EXTSTA && port->Mlme.AssocMachine.CurrState != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "association confirm while the association machine is busy");
        return;
    }
    if (!ConfirmStatus(elem, &status)) {
        return;
    }
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;

    if (status == 0) {
        UCHAR cancelled = 0;
        if (port->Mlme.AssocTimeoutTimer.Initialized) {
            PlatformCancelTimer(&port->Mlme.AssocTimeoutTimer, &cancelled);
        }
        const PBSS_ENTRY chosen = CandidateAt(adapter, c.CandidateIndex);
        if (chosen != nullptr) {
            LOCK_STATE lock;
            NdisAcquireReadWriteLock(&port->Mlme.Req.SavedBssEntryLock, FALSE, &lock);
            std::memcpy(&port->Mlme.Req.SavedBssEntry, chosen, sizeof(BSS_ENTRY));
            NdisReleaseReadWriteLock(&port->Mlme.Req.SavedBssEntryLock, &lock);
        }
        (void)PlatformIndicateAssociationCompletion(adapter, port, 0, 64);
        if (port->PortType == WFD_CLIENT) {
            if (MlmeSyncMacTabMatchedWlanIdx(port, P2pGetClientWcid(adapter, port)) == nullptr) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "association confirm: no group owner entry");
                return;
            }
        }
        if (port->Mlme.AuthAlgorithm >= kAuthWpa && !SameAddress(p.PrevLinkBssid, c.MlmeBssid)) {
            c.PortSecured = PORT_NOT_SECURED;
        }
        PMAC_TABLE_ENTRY entry = RoleEntry(port);
        if (entry == nullptr) {
            entry = MacTableInsertEntry(adapter, port, c.MlmeBssid, TRUE);
            if (entry == nullptr) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "association confirm: no station entry for the access point");
                return;
            }
        }
        const USHORT ownHt = port->Cfg.Ht.CapabilityInfo[0];
        if ((ownHt & 0x20) != 0) {
            entry->HtFlags |= 0x10;
        }
        if ((ownHt & 0x40) != 0) {
            entry->HtFlags |= 0x20;
        }
        entry->QosByte = adapter->Mlme.JoinTargetInfo.QosCapability[0];
        c.LinkTime = SystemTime();
        if (adapter->Mlme.JoinTargetInfo.MakerCapability != 0) {
            entry->HtFlags |= 0x2000;
        }
        N6PlatformIndicateMlmeAssocDone(adapter, port);
        MlmeCntLinkUp(port, 1);
        SetState(port, CNTL_IDLE);
        if (port->PortNumber < sizeof(c.PendingConnect)) {
            c.PendingConnect[port->PortNumber] = 0;
        }
        if (adapter->RegistryBlock.EnableSR == 1) {
            (void)rlmSetSrControl(port, 1);
        }
        return;
    }

    ClearPmksaCache(port);
    if (status == kStatusDeclined) {
        (void)PlatformIndicateAssociationCompletion(adapter, port, 2, 177);
        (void)PlatformIndicateConnectionCompletion(adapter, port, 0, 178);
        return;
    }
    if (port->WpsState >= kWpsActive) {
        MlmeCntlConnectGiveUp(adapter, port);
        return;
    }
    if (P2pClientInGroup(port)) {
        (void)PlatformIndicateAssociationCompletion(adapter, port, 2, 65);
        c.ReconnectCount = 0;
        const PBSS_ENTRY chosen = CandidateAt(adapter, c.CandidateIndex);
        static const UCHAR kNone[6] = {};
        PostGiveUp(adapter, port, chosen != nullptr ? chosen->Bssid : kNone);
        SetState(port, CNTL_IDLE);
        return;
    }
    if (status == kStatusInvalidPmkid && port->Mlme.AuthAlgorithm == kAuthSae && p.FullSaeNeeded == 0) {
        PMAC_TABLE_ENTRY entry = RoleEntry(port);
        if (entry != nullptr) {
            p.FullSaeNeeded = 1;
            p.PmksaCachingAttempted = 0;
            RequestFullSae(adapter, port, entry);
        }
        return;
    }
    (void)PlatformIndicateAssociationCompletion(adapter, port, 2, 66);
    if (port->PortType == EXTSTA) {
        ++c.CandidateIndex;
    }
    MlmeCntlIterateOnBssTab(port);
}

VOID MlmeCntlWaitReassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    USHORT status = 0;
    if (elem->MsgType != CNTL_MSG_REASSOC_CONFIRM || !ConfirmStatus(elem, &status)) {
        return;
    }
    if (status == 0) {
        (void)PlatformIndicateAssociationCompletion(adapter, port, 0, 67);
        MlmeCntLinkUp(port, 1);
        if (adapter->RegistryBlock.EnableSR == 1) {
            (void)rlmSetSrControl(port, 1);
        }
        SetState(port, CNTL_IDLE);
        return;
    }
    ++adapter->Mlme.Cntl.RoamCandidateIndex;
    (void)PlatformIndicateAssociationCompletion(adapter, port, 2, 68);
    MlmeCntlReassocNextCandidate(adapter, port);
}

VOID MlmeCntlReassocNextCandidate(PMP_ADAPTER adapter, PMP_PORT port)
{
    PREPOSIT_TABLE table = RepositTableGet(adapter);
    const ULONG count = table == nullptr ? 0 : (table->RepositCount < MAX_LEN_OF_BSS_TABLE ? table->RepositCount : MAX_LEN_OF_BSS_TABLE);
    const ULONG index = adapter->Mlme.Cntl.RoamCandidateIndex;
    if (index < count) {
        const BSS_ENTRY& e = table->Entries[index];
        MLME_ASSOC_REQ request;
        MlmeCntAssocParamFill(adapter, &request, e.Bssid, e.CapabilityInfo);
        (void)MlmeEnqueue(adapter, port, MLME_ASSOC_STATE_MACHINE, kReassocRequest, sizeof(request), &request);
        SetState(port, CNTL_WAIT_REASSOC);
        return;
    }
    SetState(port, CNTL_IDLE);
    PPLATFORM_TIMER timer = &port->Ind.ConnectionTimeoutTimer[0];
    if (count != 0 && timer->Initialized) {
        UCHAR cancelled = 0;
        PlatformCancelTimer(timer, &cancelled);
        (void)PlatformSetTimer(port, timer, CNTL_NO_CANDIDATE_MS);
    }
}

VOID MlmeCntlWaitDisassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (elem->MsgType != CNTL_MSG_DISASSOC_CONFIRM) {
        return;
    }
    if (adapter->Wdi.CntlBlock.PendingMessageId == kWdiTaskDisconnect) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "disassociation confirm ignored: a disconnect task is pending");
        return;
    }
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    UCHAR kept[6];
    std::memcpy(kept, port->Bssid, sizeof(kept));
    (void)MlmeCntLinkDown(port, 0);
    if (c.IndicateDisassoc == 1 || (port->ConnectionFlags & PORT_STATUS_DISASSOC_INDICATE) != 0) {
        PlatformIndicateDisassociation(adapter, port, kept, 2, 7);
    }
    c.CandidateIndex = 0;
    if (port->WpsState == kWpsActive) {
        MlmeCntlConnectGiveUp(adapter, port);
        return;
    }
    if (c.NetworkType == 2 && CandidateCount(adapter) == 0) {
        // No ad hoc network of the SSID: start one.
        MLME_START_REQ request;
        MlmeCntStartParamFill(&request, c.MlmeSsid, c.MlmeSsidLen);
        (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, kSyncStart, sizeof(request), &request);
        SetState(port, CNTL_WAIT_START);
        return;
    }
    MlmeCntlIterateOnBssTab(port);
}

VOID MlmeCntlWaitConnectScanProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (elem->MsgType != CNTL_MSG_SCAN_CONFIRM) {
        return;
    }
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    port->Mlme.SyncMachine.CurrState = 0;
    adapter->Mlme.Scan.ScanInProgress = 0;
    PlatformIndicateScanStatus(adapter, port, 0, 1, 0);
    (void)MlmeUpdateRepositTabFromScanTab(adapter, FALSE, TRUE);
    XmitKickPortTx(adapter, port);
    SetState(port, CNTL_IDLE);
    BuildCandidates(adapter, port);
    const ULONG count = CandidateCount(adapter);
    const bool infrastructure = adapter->WorkingCfg.NetworkType == 1;
    if (count != 0 && infrastructure && port->PortType == EXTSTA) {
        c.CandidateIndex = 0;
        if (MlmeValidateSsid(c.MlmeSsid, c.MlmeSsidLen)) {
            AnnounceAttempt(adapter, port, 75);
            MlmeCntlIterateOnBssTab(port);
        }
    } else if (count == 0 && infrastructure) {
        if (c.KeepReconnecting && c.ReconnectCount >= adapter->WorkingCfg.KeepReconnectCnt) {
            MLME_REQUEST_STATE& req = adapter->Mlme.Req;
            req.JoinSsidLen = 32;
            std::memset(req.JoinSsid, 0, sizeof(req.JoinSsid));
            c.KeepReconnecting = 0;
            PlatformIndicateConnectionStart(adapter, port, c.NetworkType, nullptr, nullptr, 0, 52);
            (void)PlatformIndicateConnectionCompletion(adapter, port, 6, 53);
        }
    } else {
        MlmeAutoReconnectLastSSID(adapter, port);
    }
    adapter->Mlme.Scan.OsScan = 0;
}

VOID MlmeCntlConnectGiveUp(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port->WpsState < kWpsActive) {
        return;
    }
    port->WpsState = kWpsActive;
    port->Mlme.Cntl.WpsStatus = kWpsStatusFailed;
    adapter->Mlme.Cntl.ReconnectCount = 0;
    SetState(port, CNTL_IDLE);
    PostGiveUp(adapter, port, port->Mlme.Cntl.WpsPeerAddress);
}

VOID MlmeCntlResetConnectTarget(PMP_ADAPTER adapter)
{
    PMP_PORT port0 = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port0 == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "%s: no port 0", __func__);
        return;
    }
    std::memset(port0->Mlme.Req.DesiredBssid, 0xFF, sizeof(port0->Mlme.Req.DesiredBssid));
    port0->Mlme.Req.DesiredBssidFollow[0] = 1;
    port0->Mlme.Req.DesiredBssidFollow[1] = 1;
}
