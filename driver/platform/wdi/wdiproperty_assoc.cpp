// The properties the OS sets while the station connects: association parameters of the candidates
// (PMKIDs, extra association-request elements, fast-transition elements), the connection-quality hint,
// the fast BSS transition parameters of an FT authentication, the neighbour report and the SAE
// commit and confirm the OS computed.
#include <cstring>

#include "Common/common.h"
#include "Common/fwsettings.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmesae.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/wdi/wdigenerator.h"
#include "platform/wdi/wdiproperty.h"

namespace {

constexpr ULONG kMaxAssocEntries = 8;
constexpr ULONG kLogSetFt = 0x40020445u;
constexpr USHORT kStatusFtRefused = 81;
constexpr USHORT kStatusSaeFailed = 16;
constexpr ULONG kSaeStatusH2e = 126;
constexpr ULONG kSaeStatusFailure = 1;
constexpr NTSTATUS kStatusInvalidState = static_cast<NTSTATUS>(0xC0010017L);
constexpr ULONG kMsgSaeSendCommit = 0;
constexpr ULONG kMsgSaeSendConfirm = 2;

bool SameAddress(const UCHAR* a, const UCHAR* b) { return std::memcmp(a, b, 6) == 0; }

// Replaces a fixed element area with a copy of `bytes`; an element longer than the area is not taken.
void TakeElement(PUCHAR area, ULONG room, ULONG* length, const WDI_BYTE_ARRAY& bytes, PCSTR what)
{
    const ULONG n = bytes.pElements != nullptr ? bytes.ElementCount : 0;
    if (n > room) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "%s of %u bytes refused", what, static_cast<unsigned>(n));
        *length = 0;
        return;
    }
    if (n != 0) {
        std::memcpy(area, bytes.pElements, n);
    }
    *length = n;
}

// A port-owned copy of the OS's bytes into an emptied buffer; skipped (left empty) when it cannot be allocated.
void CopySaeBuffer(PMP_ADAPTER adapter, SAE_BUFFER* b, const WDI_BYTE_ARRAY& bytes)
{
    const ULONG n = bytes.pElements != nullptr ? bytes.ElementCount : 0;
    if (n == 0) {
        return;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, n, TAG_ZV43) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "SAE parameter of %u bytes skipped: no memory", static_cast<unsigned>(n));
        return;
    }
    std::memcpy(block, bytes.pElements, n);
    b->Buffer = static_cast<PUCHAR>(block);
    b->Length = n;
    b->Owned = 1;
}

// Posts the port's SAE parameters, as a self-contained copy, to the SAE machine; a record too large
// for a message ends the exchange with a failure.
void PostSae(PMP_ADAPTER adapter, PMP_PORT port, ULONG message)
{
    static UCHAR body[MLME_MSG_SIZE];  // the property work item runs one request at a time
    ULONG length = 0;
    if (!MlmeSaePackParams(&port->Mlme.Sae.Params, body, sizeof(body), &length)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "SAE parameters do not fit a frame: the exchange fails");
        port->Mlme.SaeMachine.CurrState = 0;
        port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
        MlmeStaConfirm(adapter, port, CNTL_MSG_AUTH_CONFIRM, kStatusSaeFailed);
        return;
    }
    (void)MlmeEnqueue(adapter, port, MLME_SAE_STATE_MACHINE, message, length, body);
}

}  // namespace

NTSTATUS WdiPropertySetAssociationParameters(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_ASSOCIATION_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    const ULONG count = p->BssEntries.pElements != nullptr ? p->BssEntries.ElementCount : 0;
    if (count == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "association parameters without entries");
        return STATUS_SUCCESS;
    }
    NTSTATUS result = STATUS_SUCCESS;
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    MLME_CONN_PORT_BLOCK& conn = port->Mlme.Conn;
    const UCHAR* target = adapter->Mlme.JoinTargetInfo.Bssid;
    ULONG withPmkid = 0;
    for (ULONG i = 0; i < count && i < kMaxAssocEntries; ++i) {
        const WDI_CONNECT_BSS_ENTRY& e = p->BssEntries.pElements[i];
        if ((e.Presence & WDI_CONNECT_BSS_PRESENT_PMKID) != 0) {
            if (withPmkid == 0) {
                std::memset(sta.PmkidCache, 0, sizeof(sta.PmkidCache));
                sta.PmkidCount = 0;
            }
            std::memcpy(sta.PmkidCache[withPmkid].Bssid, e.Bssid, 6);
            std::memcpy(sta.PmkidCache[withPmkid].Pmkid, e.Pmkid, PMKID_LENGTH);
            ++sta.PmkidCount;
            ++withPmkid;
        }
        if ((e.Presence & WDI_CONNECT_BSS_PRESENT_EXTRA_IES) != 0) {
            std::memcpy(cfg.ExtraAssocIesBssid, e.Bssid, 6);
            if (cfg.ExtraAssocIes != nullptr) {
                PlatformFreeMemory(cfg.ExtraAssocIes, cfg.ExtraAssocIesLength);
            }
            cfg.ExtraAssocIes = nullptr;
            cfg.ExtraAssocIesLength = 0;
            const ULONG n = e.ExtraIes.pElements != nullptr ? e.ExtraIes.ElementCount : 0;
            if (n != 0) {
                PVOID block = nullptr;
                const NTSTATUS s = PlatformAllocateMemory(adapter, &block, n, TAG_ZV43);
                if (s != STATUS_SUCCESS || block == nullptr) {
                    result = s != STATUS_SUCCESS ? s : STATUS_INSUFFICIENT_RESOURCES;
                } else {
                    std::memcpy(block, e.ExtraIes.pElements, n);
                    cfg.ExtraAssocIes = static_cast<PUCHAR>(block);
                    cfg.ExtraAssocIesLength = n;
                }
            }
        }
        if (!SameAddress(e.Bssid, target)) {
            continue;
        }
        const WDI_FT_PARAMETERS& initial = e.FtInitial;
        if ((e.Presence & WDI_CONNECT_BSS_PRESENT_FT_INITIAL) != 0 && (initial.Presence & WDI_FT_PRESENT_MDE) != 0) {
            TakeElement(conn.MobilityDomainIe, FT_ELEMENT_MAX, &conn.MobilityDomainIeLen, initial.Mde, "MDE");
        }
        const WDI_FT_PARAMETERS& reassoc = e.FtReassoc;
        if ((e.Presence & WDI_CONNECT_BSS_PRESENT_FT_REASSOC) != 0 && (reassoc.Presence & WDI_FT_PRESENT_MDE) != 0 &&
            (reassoc.Presence & WDI_FT_PRESENT_FTE) != 0) {
            TakeElement(conn.MobilityDomainIe, FT_ELEMENT_MAX, &conn.MobilityDomainIeLen, reassoc.Mde, "MDE");
            TakeElement(conn.FtIe, FT_ELEMENT_MAX, &conn.FtIeLen, reassoc.Fte, "FTE");
            std::memcpy(conn.PmkR0Name, reassoc.PmkR0Name, sizeof(conn.PmkR0Name));
        }
    }
    return result;
}

NTSTATUS WdiPropertySetConnectionQuality(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_CONNECTION_QUALITY_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    if ((p->Presence & WDI_CONNECTION_QUALITY_PRESENT_LOW_LATENCY) != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "low-latency parameters of %u bytes",
                 static_cast<unsigned>(p->LowLatencyLength));
    }
    const ULONG hint = adapter->RegistryBlock.ForcePS != 0 ? 1u : p->ConnectionQuality;
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    ULONG level = 0;
    if (hint == 1) {
        sta.PowerSaveHint = 1;
        level = 8;
    } else if (hint >= 2 && hint <= 4) {
        sta.PowerSaveHint = 0;
    }
    if (hint == 2) {
        if (port->PortType == HELPER || port->PortType == EXTAP) {
            return kStatusInvalidState;
        }
        const ULONG64 now = MlmeStaSystemTime();
        for (PMP_PORT other : adapter->PortList) {
            if (other != nullptr && other->PortType == WFD_DEVICE) {
                other->ConnectConfig.LowLatencyTime = now;
            }
        }
        sta.LowLatencyTime = now;
        port->LowLatency = 1;
        (void)QZCmdUpdateMiracastMode(adapter, 1);
    } else if (hint < 1 || hint > 4) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "connection-quality hint %u", static_cast<unsigned>(hint));
    }
    ULONG needed = 0;
    return NdisWdiSetOidDot11PowerMgmtRequest(adapter, port, &level, sizeof(level), &needed);
}

NTSTATUS WdiPropertySetFastBssTransitionParameters(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_FAST_BSS_TRANSITION_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    MLME_CONN_PORT_BLOCK& conn = port->Mlme.Conn;
    const bool ft = conn.FtEnabled != 0;
    const bool initialDone = port->Keys.FtReady != 0;
    const bool ftAuth = conn.FtSecondAuth != 0;
    const bool waiting = port->Mlme.AuthMachine.CurrState == AUTH_STATE_WAIT_SEQ2;
    if (!ft || !initialDone || !ftAuth || !waiting) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "FT parameters refused: FT %u, initial association %u, FT auth %u, waiting %u",
                 ft ? 1u : 0u, initialDone ? 1u : 0u, ftAuth ? 1u : 0u, waiting ? 1u : 0u);
        return STATUS_NOT_SUPPORTED;
    }
    UCHAR cancelled = FALSE;
    PlatformCancelTimer(&port->Mlme.AuthTimeoutTimer, &cancelled);
    USHORT answer = 0;
    UCHAR valid = 0;
    if (p->Status == 0) {
        const WDI_BYTE_ARRAY none{};
        TakeElement(conn.FtParamRsnIe, FT_RSN_ELEMENT_MAX, &conn.FtParamRsnIeLen,
                    (p->Presence & WDI_FT_PARAMS_PRESENT_RSNIE) != 0 ? p->RsnIe : none, "FT RSN element");
        TakeElement(conn.FtParamMde, FT_ELEMENT_MAX, &conn.FtParamMdeLen,
                    (p->Presence & WDI_FT_PARAMS_PRESENT_MDE) != 0 ? p->Mde : none, "FT MDE");
        TakeElement(conn.FtParamFte, FT_ELEMENT_MAX, &conn.FtParamFteLen,
                    (p->Presence & WDI_FT_PARAMS_PRESENT_FTE) != 0 ? p->Fte : none, "FT FTE");
        const ULONG all = WDI_FT_PARAMS_PRESENT_RSNIE | WDI_FT_PARAMS_PRESENT_MDE | WDI_FT_PARAMS_PRESENT_FTE;
        valid = (p->Presence & all) == all && conn.FtParamRsnIeLen != 0 && conn.FtParamMdeLen != 0 &&
                        conn.FtParamFteLen != 0
                    ? 1
                    : 0;
    }
    if (valid == 0) {
        answer = kStatusFtRefused;
    }
    conn.FtParams = valid;
    port->Mlme.Cntl.FtParams = valid;
    (void)WriteSystemEventLog(adapter, kLogSetFt, 0, &valid, 1);
    port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
    MlmeStaConfirm(adapter, port, CNTL_MSG_AUTH_CONFIRM, answer);
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertySetNeighborReportEntries(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_NEIGHBOR_REPORT_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    for (ULONG i = 0; i < p->ElementCount && p->pElements != nullptr; ++i) {
        const WDI_NEIGHBOR_REPORT_ENTRY& e = p->pElements[i];
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI,
                 "neighbour %02X:%02X:%02X:%02X:%02X:%02X info 0x%08X class %u channel %u PHY %u", e.Bssid[0],
                 e.Bssid[1], e.Bssid[2], e.Bssid[3], e.Bssid[4], e.Bssid[5], static_cast<unsigned>(e.BssidInfo),
                 e.OperatingClass, e.ChannelNumber, e.PhyType);
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertySetSAEParams(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_SAE_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    SAE_PARAMS& sae = port->Mlme.Sae.Params;
    sae.CommitOptions &= ~(SAE_COMMIT_OPTION_TOKEN | SAE_COMMIT_OPTION_REJECTED_GROUPS);
    MlmeSAEFreeParams(port);
    std::memcpy(sae.PeerBssid, p->Bssid, 6);
    sae.RequestType = p->RequestType;
    const bool statusGiven = (p->Presence & WDI_SAE_PRESENT_STATUS) != 0;
    if (statusGiven) {
        sae.Status = p->Status;
        sae.Presence |= SAE_PARAMS_PRESENT_STATUS;
    }
    if (p->RequestType == SAE_REQUEST_COMMIT || p->RequestType == SAE_REQUEST_COMMIT_H2E) {
        port->Mlme.CntlMachine.CurrState = CNTL_WAIT_AUTH;
        port->Ind.SaeH2e = p->RequestType == SAE_REQUEST_COMMIT_H2E ? 1 : 0;
        const WDI_SAE_COMMIT_REQUEST& c = p->Commit;
        CopySaeBuffer(adapter, &sae.Scalar, c.Scalar);
        CopySaeBuffer(adapter, &sae.Element, c.Element);
        if ((c.Presence & WDI_SAE_COMMIT_PRESENT_TOKEN) != 0) {
            CopySaeBuffer(adapter, &sae.AntiCloggingToken, c.AntiCloggingToken);
            sae.CommitOptions |= SAE_COMMIT_OPTION_TOKEN;
        }
        if ((c.Presence & WDI_SAE_COMMIT_PRESENT_REJECTED_GROUPS) != 0) {
            CopySaeBuffer(adapter, &sae.RejectedGroups, c.RejectedGroups);
            sae.CommitOptions |= SAE_COMMIT_OPTION_REJECTED_GROUPS;
        }
        sae.FiniteCyclicGroup = c.FiniteCyclicGroup;
        PostSae(adapter, port, kMsgSaeSendCommit);
    } else if (p->RequestType == SAE_REQUEST_CONFIRM) {
        CopySaeBuffer(adapter, &sae.Confirm, p->Confirm.Confirm);
        sae.SendConfirm = p->Confirm.SendConfirm;
        PostSae(adapter, port, kMsgSaeSendConfirm);
    }
    UCHAR& failures = port->Mlme.Cntl.SaeCommitCount;
    if (statusGiven && (p->Status == 0 || p->Status == kSaeStatusH2e)) {
        port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
        port->Mlme.SaeMachine.CurrState = 0;
        failures = 0;
        MlmeStaConfirm(adapter, port, CNTL_MSG_AUTH_CONFIRM, 0);
    } else if ((statusGiven && p->Status == kSaeStatusFailure) || p->RequestType == SAE_REQUEST_FAILURE) {
        ++failures;
        if (failures != 0) {
            port->Mlme.AuthMachine.CurrState = AUTH_STATE_IDLE;
            port->Mlme.SaeMachine.CurrState = 0;
            MlmeStaConfirm(adapter, port, CNTL_MSG_AUTH_CONFIRM, kStatusSaeFailed);
        } else {
            MlmeSAEResendReset(adapter, port);
            port->Mlme.SaeMachine.CurrState = 0;
            (void)WdiGeneratorEventIndicateSAE(adapter, port, nullptr, 0, sae.PeerBssid,
                                               WDI_SAE_INDICATION_TYPE_COMMIT_REQUEST_PARAMS_NEEDED);
        }
    }
    return STATUS_SUCCESS;
}
