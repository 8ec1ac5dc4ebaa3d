// The station association machine (machine 1), its connection timers, the association request frame
// and the association response parsing.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/rlm_types.h"

// Body of a disassociation request: the peer and the 802.11 reason.
#pragma pack(push, 1)
typedef struct _MLME_DISASSOC_REQ_STRUCT {
    UCHAR Addr[6];
    USHORT Reason;
} MLME_DISASSOC_REQ_STRUCT, *PMLME_DISASSOC_REQ_STRUCT;
#pragma pack(pop)
static_assert(sizeof(MLME_DISASSOC_REQ_STRUCT) == 8, "disassociation request body is 8 bytes");
typedef MLME_DISASSOC_REQ_STRUCT MLME_DISASSOC_REQ;

// Reason 8: disassociated because the sending station is leaving.
#define REASON_DISASSOC_STA_LEAVING 8

// Builds the association machine (4 states x 11 messages) and binds the port's association and
// connection timers.
VOID MlmeAssocStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Sends a disassociation frame with the element's reason (none while roaming) and arms the 0 ms
// disassociation timer whose message confirms 37.
NTSTATUS MlmeDisassocReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
// Appends the MBO non-preferred channel report of the adapter's MBO settings (form 1: the WNM
// subelements, an empty report when the list is empty; form 0: the attributes) and stores the length
// appended (station ports only).
VOID MboMakeNonPrefChnlReport(PMP_ADAPTER adapter, PMP_PORT port, UCHAR form, const void* settings, PULONG length,
                              PUCHAR output);
// A disassociation and a deauthentication frame with the element's reason, unprotected, packet number 0.
VOID MlmeSendDisassocAndDeauth(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);

STATE_MACHINE_FUNC MlmeAssocReqAction;
STATE_MACHINE_FUNC MlmeAssocPeerAssocRspAction;
STATE_MACHINE_FUNC MlmeAssocAssocTimeoutAction;
STATE_MACHINE_FUNC MlmeAssocInvalidStateAssocReq;
STATE_MACHINE_FUNC MlmeAssocInvalidStateReassocReq;
STATE_MACHINE_FUNC MlmeAssocInvalidStateDisassocReq;
STATE_MACHINE_FUNC MlmeAssocDisassocTimeoutAction;
STATE_MACHINE_FUNC MlmeAssocPeerDisassocAction;
// addr2 and the reason of a disassociation frame; FALSE for a frame shorter than 26 bytes.
BOOLEAN PeerDisassocSanity(PMP_ADAPTER adapter, const void* frame, ULONG length, PUCHAR addr2, PUSHORT reason);

// Timer callbacks.
PLATFORM_TIMER_CALLBACK MlmeAssocTimeoutTimerCallback;
PLATFORM_TIMER_CALLBACK MlmeAssocDisAssocTimeoutTimerCallback;
PLATFORM_TIMER_CALLBACK MlmeDissassocIndTimeoutTimerCallback;
PLATFORM_TIMER_CALLBACK MlmeConnectionStartTimeoutTimerCallback;
PLATFORM_TIMER_CALLBACK MlmeConnectionCompleteTimeoutTimerCallback;

// ---- the request frame ---------------------------------------------------------------------------------------
// Builds the (re)association request into `buffer` (an MLME buffer) and stores its length; completes the
// association information record from `recordOffset` request-element bytes on and keeps a copy.
VOID MgntPktConstructAsscReqFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR reassoc, USHORT capability,
                                  USHORT listenInterval, const UCHAR* bssid, USHORT recordOffset, PUCHAR buffer,
                                  PULONG length);
// The RM Enabled Capabilities element's 5 bytes: link measurement (bit 1) and beacon active
// measurement (bit 6).
VOID FillRrmEnabledCapabilities(PUCHAR capabilities);
// TRUE for a station port whose HESSID list holds `bssid`.
BOOLEAN HSAssocReqHESSIDValid(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid);

// ---- the response --------------------------------------------------------------------------------------------
// What PeerAssocRspSanity takes out of a response.
#define ASSOC_RSP_RATES_MAX 12
#define ASSOC_RSP_EXT_CAP_MAX 16
typedef struct _ASSOC_RSP_FIELDS {
    UCHAR Addr2[6];
    USHORT CapabilityInfo;
    USHORT Status;
    USHORT Aid;
    UCHAR Rates[ASSOC_RSP_RATES_MAX];
    UCHAR RatesLen;
    UCHAR ExtRates[ASSOC_RSP_RATES_MAX];
    UCHAR ExtRatesLen;
    EDCA_PARM Edca;
    UCHAR HtCapability[26];
    UCHAR HtCapabilityLen;
    UCHAR HtOperation[22];
    UCHAR HtOperationLen;
    UCHAR SecondaryChannelOffset;  // 0xFF absent
    UCHAR ExtCapabilities[ASSOC_RSP_EXT_CAP_MAX];
    UCHAR ExtCapabilitiesLen;
    UCHAR VhtCapability[12];
    UCHAR VhtCapabilityPresent;
    UCHAR VhtOperation[5];
    UCHAR VhtOperationPresent;
    UCHAR HeCapabilityPresent;
    HE_CAPABILITY_INFO HeCap;
    UCHAR HeOperationPresent;
    HE_OPERATION_INFO HeOp;
    UCHAR He6gOp[HE_6G_OP_INFO_LEN];
    USHORT He6gCapability;
    UCHAR He6gCapabilityPresent;
    UCHAR EhtCapabilityPresent;
    EHT_CAPABILITY_INFO EhtCap;
    UCHAR EhtOperationPresent;
    EHT_OPERATION_INFO EhtOp;
    UCHAR P2pElementLen;
    UCHAR VendorMarkerSeen;        // a vendor element of OUI 8C:FD:F0 longer than 4
    UCHAR VhtPresent;              // capability and operation both present
    UCHAR HePresent;
    UCHAR EhtPresent;
    UCHAR ElementsTrailing;        // the element run ended inside an element
} ASSOC_RSP_FIELDS, *PASSOC_RSP_FIELDS;

// Takes the response's fields; always TRUE for a frame with its fixed fields (a nonzero status fills only
// the address, capability and status); FALSE for a frame shorter than 30 bytes.
BOOLEAN PeerAssocRspSanity(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG length,
                           PASSOC_RSP_FIELDS fields);
// The PHY mode of an entry's PHY flags (0x01 CCK, 0x02 OFDM on 2.4 GHz, 0x08 OFDM above, 0x10 HT,
// 0x20 VHT, 0x40 HE, 0x80 EHT), first match of the connection's table.
UCHAR MlmeAssocPhyModeFromFlags(UCHAR flags);
// The legacy PHY flags of an entry's rate bitmap (bits 0-3 CCK, 6-13 OFDM) on a channel.
UCHAR MlmeAssocLegacyFlags(USHORT rateBitmap, UCHAR channel, BOOLEAN heInUse);
// Applies an accepted response to the adapter, the access point's entry and the PHY mode.
VOID MlmeAssocPostProc(PMP_ADAPTER adapter, PMP_PORT port, const ASSOC_RSP_FIELDS* fields);
