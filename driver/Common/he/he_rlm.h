// Recorders of a peer's HE and EHT elements (capabilities, operation, MU EDCA and spatial-reuse
// parameter sets) and the AFC power table of 6 GHz transmit power.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define HE_6G_OP_INFO_LEN 5

// A peer's HE Operation: operation parameters (24 bits), BSS colour information, basic HE-MCS set.
typedef struct _HE_OPERATION_INFO {
    UCHAR Params[3];
    UCHAR BssColorInfo;
    USHORT BasicHeMcsNss;
} HE_OPERATION_INFO, *PHE_OPERATION_INFO;

// A peer's HE Capabilities: MAC and PHY capability octets and the supported HE-MCS and NSS sets.
typedef struct _HE_CAPABILITY_INFO {
    UCHAR MacCap[6];
    UCHAR PhyCap[11];
    UCHAR McsNssLen;
    UCHAR McsNss[12];
} HE_CAPABILITY_INFO, *PHE_CAPABILITY_INFO;

typedef struct _EHT_OPERATION_INFO {
    UCHAR Params;
    UCHAR BasicMcsNss[4];
    UCHAR ControlLen;
    UCHAR Control[3];
} EHT_OPERATION_INFO, *PEHT_OPERATION_INFO;

typedef struct _EHT_CAPABILITY_INFO {
    UCHAR MacCap[2];
    UCHAR PhyCap[9];
    UCHAR McsNssLen;
    UCHAR McsNss[9];
} EHT_CAPABILITY_INFO, *PEHT_CAPABILITY_INFO;

// Each recorder gets the whole element (header included; id 255, the extension id first in its body).
void heRlmRecHeCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PHE_CAPABILITY_INFO heCap, const UCHAR* element);
// Records the HE Operation into heOp and, when the element carries one, its 6 GHz Operation
// Information into he6gOp (primary channel, control, centre 0, centre 1, minimum rate).
void heRlmRecHeOperation(PMP_ADAPTER adapter, PHE_OPERATION_INFO heOp, PUCHAR he6gOp, const UCHAR* element);
UCHAR heRlmRecSRParams(PMP_PORT port, const UCHAR* element);
UCHAR mqmUpdateMUEdcaParams(PMP_PORT port, const UCHAR* element, UCHAR flag);
void ehtRlmRecCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PEHT_CAPABILITY_INFO ehtCap, PHE_CAPABILITY_INFO heCap,
                      const UCHAR* element);
void ehtRlmRecOperation(PMP_ADAPTER adapter, PMP_PORT port, PEHT_OPERATION_INFO ehtOp, const UCHAR* element);

// The AFC power table: reset, and every row set from a base power.
void AFCArrayInit(PMP_ADAPTER adapter);
void SetAllAFCPwrBuffer(PMP_ADAPTER adapter, UCHAR basePower);

// The element writers of the port's own HE Capabilities (id 255, extension id 35) and HE 6 GHz Band
// Capabilities (id 255, length 3, extension id 59); `length` gets the bytes written with the header.
void heRlmGenerateHeCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length);
void heRlmGenerateHe6GCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length);
