// The built-in IoT access-point rules: access points that need a particular firmware treatment,
// recognised by their BSSID. The main table puts an interoperability action into the firmware's BSS
// information; the lab table makes the driver write fixed chip register values on the three 1-second
// ticks after a link up (chips whose descriptor carries CHIP_FACT_IOT_LAB_REGISTERS).
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#pragma pack(push, 1)
typedef struct _IOT_AP_RULE {
    UCHAR Flag;           // remembered on a main-table match and sent with the action
    UCHAR Reserved[38];
    UCHAR Bssid[6];
    UCHAR Mask[6];        // all 0xFF; the lookup compares the whole BSSID
    UCHAR Reserved2[3];
    UCHAR Action;
} IOT_AP_RULE, *PIOT_AP_RULE;
#pragma pack(pop)
static_assert(sizeof(IOT_AP_RULE) == 55, "an IoT rule row is 55 bytes");

#define IOT_AP_ACTION_BSS_INFO 7
#define IOT_LAB_ACTION_OR_REGISTERS 0x1   // OR 0x00FE00FE into 0x820E40C4 and 0x820F40C4
#define IOT_LAB_ACTION_SET_REGISTERS 0x2  // 0x3F7FFFFF into 0x820E202C, then its value into 0x820F202C

// The action of the first main-table rule whose BSSID is the port's; 0 without an adapter, with the
// rules off ("EnDefaultIotApRule" 0) or when none matches. A match stores the rule's flag in the
// adapter (IotApRuleMatched).
ULONG bssGetIotApAction(PMP_ADAPTER adapter, PMP_PORT port);
// The lab-table action flags of the port's BSSID; 0 without an adapter, with the rules off or when
// none matches.
UCHAR bssCheckIotApActionForLAB(PMP_ADAPTER adapter, PMP_PORT port);
// Writes the chip registers of the action flags, each flag under driver ownership when the adapter is
// in low power; FALSE without an adapter.
BOOLEAN bssProcessIotApActionForLAB(PMP_ADAPTER adapter, PMP_PORT port, UCHAR actionFlags);
// The 1-second tick of a connected station: on ticks 1 to 3 after a link up (counter set to 1 by the
// link up) the lab rules run for the connected port on the chips that take them; then the counter
// stops at 0 until the next link up.
VOID bssIotLabTick(PMP_ADAPTER adapter, PMP_PORT connected);
