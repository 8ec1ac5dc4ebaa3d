// The association machine's requests the shell makes.
#pragma once

#include "Common/mlme/mlme.h"

// Body of a disassociation request: the peer and the 802.11 reason.
#pragma pack(push, 1)
typedef struct _MLME_DISASSOC_REQ_STRUCT {
    UCHAR Addr[6];
    USHORT Reason;
} MLME_DISASSOC_REQ_STRUCT, *PMLME_DISASSOC_REQ_STRUCT;
#pragma pack(pop)
static_assert(sizeof(MLME_DISASSOC_REQ_STRUCT) == 8, "disassociation request body is 8 bytes");

// Reason 8: disassociated because the sending station is leaving.
#define REASON_DISASSOC_STA_LEAVING 8

// Builds the association machine (4 states x 11 messages).
VOID MlmeAssocStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Sends a disassociation frame with the element's reason and arms the disassociation timer.
NTSTATUS MlmeDisassocReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
// Appends the MBO non-preferred channel report of the adapter's MBO settings (form 1: the WNM
// subelements, an empty report when the list is empty; form 0: the attributes) and stores the length
// appended (station ports only).
VOID MboMakeNonPrefChnlReport(PMP_ADAPTER adapter, PMP_PORT port, UCHAR form, const void* settings, PULONG length,
                              PUCHAR output);
