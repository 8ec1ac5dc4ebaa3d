// The records of the radio capabilities: the VHT, HE and EHT capability and operation bodies a port
// builds for itself, what the station link agreed with its access point (NEGOTIATED_LINK_CAPS),
// what a station entry keeps of its peer's HE, EHT and TWT state, the TWT agreement slots and the
// AFC per-RU power table. Types only: the adapter, the port and the station entry embed these
// records by value, and the code of the radio features (Common/rlm_vht, Common/he, Common/rlm_power)
// fills them.
#pragma once

#include <cstddef>

#include "kshim/nt_types.h"

// ---- bandwidth encodings ------------------------------------------------------------------------------
// Bandwidth code: the adapter's maximum and the per-band limits (cnmGetMaxBwByBand).
#define MAX_BW_20 0
#define MAX_BW_40 1
#define MAX_BW_80 2
#define MAX_BW_160 3
#define MAX_BW_8080 4
#define MAX_BW_320 5
// Channel-width code: the VHT Operation element's Channel Width field, also the link's width.
#define CW_20_40 0
#define CW_80 1
#define CW_160 2
#define CW_8080 3
#define CW_320 4
// The EHT Operation element's own width field.
#define EHT_OP_BW_20 0
#define EHT_OP_BW_40 1
#define EHT_OP_BW_80 2
#define EHT_OP_BW_160 3
#define EHT_OP_BW_320 4

// Band codes of a port (as PORT_CHANNEL_INFO.Band).
#define RLM_BAND_24G 1
#define RLM_BAND_5G 2
#define RLM_BAND_6G 3

// The station table's size: a WLAN index at or above it names no entry.
#define RLM_WLAN_INDEX_LIMIT 20

// ---- VHT ------------------------------------------------------------------------------------------------
// The two VHT element bodies are wire layouts (packed, little-endian); every other record here is the
// driver's own and keeps its natural alignment.
#pragma pack(push, 1)
// The body of the VHT Capabilities element.
typedef struct alignas(4) _VHT_CAP_IE {
    ULONG VhtCapInfo;       // VHT Capabilities Information
    USHORT RxMcsMap;        // 2 bits per stream 1..8: 0 MCS 0-7, 1 MCS 0-8, 2 MCS 0-9, 3 not supported
    USHORT RxHighestRate;   // bits 0-12 Mb/s, bits 13-15 kept
    USHORT TxMcsMap;
    USHORT TxHighestRate;
} VHT_CAP_IE, *PVHT_CAP_IE;

// The body of the VHT Operation element.
typedef struct _VHT_OP_IE {
    UCHAR ChannelWidth;     // channel-width code
    UCHAR CentreSeg0;
    UCHAR CentreSeg1;
    USHORT BasicMcsSet;     // not aligned: read and write it by value
} VHT_OP_IE, *PVHT_OP_IE;
#pragma pack(pop)

// A port's VHT bodies: its own, and the set it advertises as access point or group owner. The
// port's VHT switch is PORT_CFG.VhtEnabled.
typedef struct _VHT_PORT_RECORD {
    USHORT LdpcFlags;       // bit 0 transmit LDPC, bit 1 receive LDPC
    VHT_OP_IE OwnOp;
    VHT_CAP_IE OwnCap;
    UCHAR AdvertisedSet;
    VHT_CAP_IE AdvertisedCap;
    VHT_OP_IE AdvertisedOp;
    UCHAR ExtBssLoad[5];
} VHT_PORT_RECORD, *PVHT_PORT_RECORD;

// ---- HE -------------------------------------------------------------------------------------------------
// An HE operation record: HE Operation Parameters (24 bits), BSS Colour Information, basic HE-MCS set.
typedef struct _HE_OPERATION_INFO {
    UCHAR Params[3];
    UCHAR BssColorInfo;
    USHORT BasicHeMcsNss;
} HE_OPERATION_INFO, *PHE_OPERATION_INFO;

// HE MCS map pairs, in element order.
#define HE_MCS_RX_80 0
#define HE_MCS_TX_80 1
#define HE_MCS_RX_160 2
#define HE_MCS_TX_160 3
#define HE_MCS_RX_8080 4
#define HE_MCS_TX_8080 5
#define HE_MCS_MAPS 6

// A peer's HE capabilities: MAC and PHY capability octets and its MCS maps as recorded.
typedef struct _HE_CAPABILITY_INFO {
    UCHAR MacCap[6];
    UCHAR PhyCap[11];
    USHORT McsMap[HE_MCS_MAPS];
} HE_CAPABILITY_INFO, *PHE_CAPABILITY_INFO;

#define HE_6G_OP_INFO_LEN 5  // primary channel, control, centre 0, centre 1, minimum rate

// A port's own HE record. The port's HE switch is MP_PORT.HeEnabled.
typedef struct _HE_CAP_IE {
    HE_OPERATION_INFO Operation;
    UCHAR MacCap[6];        // bit numbering of the HE MAC Capabilities Information
    UCHAR PhyCap[11];       // bit numbering of the HE PHY Capabilities Information
    USHORT RxMcs80;         // maps up to 80 MHz: 2 bits per stream, 0 MCS 0-7, 1 0-9, 2 0-11, 3 none
    USHORT TxMcs80;
    UCHAR Flag10;           // bit 10 of "Config_11AX"
    UCHAR Flag9;            // bit 9 of "Config_11AX"
    USHORT BaSizeHigh;      // high half of "BaSize_11AX"
    USHORT BaSizeLow;       // low half
    USHORT SixGhzCap;       // HE 6 GHz Band Capabilities Information
} HE_CAP_IE, *PHE_CAP_IE;
#define HE_CAP_BODY_LEN 21  // MAC, PHY and the maps up to 80 MHz, as the element carries them

// ---- EHT ------------------------------------------------------------------------------------------------
// An EHT operation record: parameters, basic EHT-MCS set, and the operation information.
typedef struct _EHT_OPERATION_INFO {
    UCHAR Params;           // bit 0: EHT Operation Information present
    UCHAR BasicMcsNss[4];
    UCHAR Control;          // bits 0-2 channel width (EHT_OP_BW_*)
    UCHAR CentreSeg0;
    UCHAR CentreSeg1;
} EHT_OPERATION_INFO, *PEHT_OPERATION_INFO;

// EHT capabilities and MCS maps: each map byte holds the receive (low nibble) and transmit (high
// nibble) maximum NSS of one MCS range.
typedef struct _EHT_CAPABILITY_INFO {
    UCHAR MacCap[2];
    UCHAR PhyCap[9];
    UCHAR Mcs20Only[4];     // a 20 MHz-only station's map
    UCHAR Mcs80[3];         // up to 80 MHz
    UCHAR Mcs160[3];
    UCHAR Mcs320[3];
} EHT_CAPABILITY_INFO, *PEHT_CAPABILITY_INFO;

// A port's own EHT record.
typedef struct _EHT_CAP_IE {
    UCHAR Enabled;
    EHT_OPERATION_INFO Operation;
    EHT_CAPABILITY_INFO Cap;
    UCHAR Flag4;            // bit 4 of "Config_11BE"
    UCHAR Flag5;            // bit 5
    USHORT BaSize[2];       // both 1024
    UCHAR Flag6;            // station ports: bit 6
    UCHAR Flag7;            // station ports: bit 7
} EHT_CAP_IE, *PEHT_CAP_IE;

// ---- the station link --------------------------------------------------------------------------------
// The channel the station link uses: channel-width code and two centre channels.
typedef struct _RLM_LINK_CHANNEL {
    UCHAR ChannelWidth;
    UCHAR Centre1;
    UCHAR Centre2;
} RLM_LINK_CHANNEL;

// What the station link agreed with its access point (one per adapter). Written at join and after
// association by the VHT, HE and EHT checks; read by link up, the association request and the
// firmware channel commands.
typedef struct _NEGOTIATED_LINK_CAPS {
    UCHAR JoinBand;                 // band of the network being joined (RLM_BAND_*); the join writes it
    // VHT.
    UCHAR VhtInUse;
    VHT_CAP_IE VhtCap;
    VHT_OP_IE VhtOp;
    USHORT HtCapInfo;               // HT capability information of the link (bit 0, LDPC, written by the VHT check)
    USHORT HtOpInfo23;              // bytes 2-3 of the access point's HT Operation Information; the join writes it
    // HE.
    UCHAR HeInUse;
    HE_OPERATION_INFO HeOp;         // the access point's
    UCHAR HeMacCap[6];
    UCHAR HePhyCap[11];
    UCHAR HeMcs80[4];               // Rx and Tx maps up to 80 MHz as the check stored them
    USHORT HeMcsMap[HE_MCS_MAPS];   // Rx/Tx up to 80, 160 and 80+80 MHz as the recording stored them
    UCHAR He6gOpPresent;
    UCHAR CoHostedBss;
    USHORT He6gCap;
    UCHAR He6gChannelWidth;         // channel-width code
    UCHAR He6gSeg0;
    UCHAR He6gSeg1;
    ULONG SecondaryOffset;          // 0 none, 1 above, 3 below
    // EHT.
    UCHAR EhtInUse;
    EHT_OPERATION_INFO EhtOp;       // the access point's
    EHT_CAPABILITY_INFO EhtCap;
    // The link's channel.
    RLM_LINK_CHANNEL LinkChannel;
} NEGOTIATED_LINK_CAPS, *PNEGOTIATED_LINK_CAPS;

// ---- target wake time -------------------------------------------------------------------------------
// TWT parameters (slots, flows and MLME message bodies; TWT_PARAMS_WIRE_LEN bytes when serialised:
// the seven bytes, the mantissa and the target wake time, little-endian).
#define TWT_PARAMS_WIRE_LEN 17
typedef struct _TWT_PARAMS {
    UCHAR Request;          // 1 request, 0 response
    UCHAR Trigger;
    UCHAR Protection;
    UCHAR FlowType;         // 0 announced, 1 unannounced
    UCHAR SetupCommand;     // TWT_SETUP_CMD_*
    UCHAR MinWakeDuration;  // nominal minimum TWT wake duration
    UCHAR WakeIntervalExp;
    USHORT WakeIntervalMantissa;
    ULONG64 TargetWakeTime; // TSF, microseconds
} TWT_PARAMS, *PTWT_PARAMS;

#define TWT_AGRT_SLOTS 16
#define TWT_FLOWS 8

// One firmware agreement slot; found by (used, flow id, BSS index).
typedef struct _TWT_AGRT_SLOT {
    UCHAR Used;
    UCHAR Index;
    UCHAR BssIndex;
    UCHAR FlowId;
    TWT_PARAMS Params;
} TWT_AGRT_SLOT, *PTWT_AGRT_SLOT;

// One flow of a station entry: what this side sends and what the access point last sent.
typedef struct _TWT_FLOW {
    TWT_PARAMS Request;
    TWT_PARAMS Response;
    UCHAR Reserved[8];
} TWT_FLOW, *PTWT_FLOW;

// ---- AFC ------------------------------------------------------------------------------------------------
#define AFC_RU_POWER_ROWS 28
#define AFC_RU_NAME_LEN 20
#define AFC_POWER_NONE 0xFF

typedef struct _AFC_RU_POWER_ENTRY {
    CHAR Name[AFC_RU_NAME_LEN];     // zero-terminated
    CHAR Offset;                    // dB
    UCHAR Power;                    // AFC_POWER_NONE when none
} AFC_RU_POWER_ENTRY, *PAFC_RU_POWER_ENTRY;

static_assert(sizeof(VHT_CAP_IE) == 12 && sizeof(VHT_OP_IE) == 5, "VHT element bodies");
static_assert(sizeof(HE_OPERATION_INFO) == 6, "HE operation record");
static_assert(sizeof(EHT_OPERATION_INFO) == 8 && sizeof(EHT_CAPABILITY_INFO) == 24, "EHT records");
static_assert(sizeof(AFC_RU_POWER_ENTRY) == 22, "AFC row");

// ---- the blocks the adapter, the port and the station entry embed ---------------------------------------
// A port's radio capability state.
typedef struct _RLM_PORT_BLOCK {
    VHT_PORT_RECORD Vht;
    HE_CAP_IE He;
    EHT_CAP_IE Eht;
    UCHAR ExtCapabilities[16];      // the port's Extended Capabilities field (bit 77: TWT requester)
    // What the access point's HE elements gave the port (its spatial-reuse and MU EDCA records are
    // MP_PORT.SrControl, SrBssColorBitmap, SrPartialBssidBitmap and MuEdcaParams).
    UCHAR MuEdcaUpdateCount;
    UCHAR SixGhzPrimaryChannel;
    UCHAR SixGhzCentreChannel;
    UCHAR SixGhzRegulatoryInfo;
} RLM_PORT_BLOCK, *PRLM_PORT_BLOCK;

// A station entry's HE, EHT and TWT state (the access point's entry of a station port).
typedef struct _RLM_ENTRY_BLOCK {
    UCHAR HeOn;
    HE_OPERATION_INFO HeOp;
    UCHAR HeMacCap[6];
    UCHAR HePhyCap[11];
    USHORT HeMcsMap[HE_MCS_MAPS];
    UCHAR He6gPresent;
    USHORT He6gCap;
    UCHAR He6gChannelWidth;
    UCHAR He6gSeg0;
    UCHAR He6gSeg1;
    UCHAR EhtOn;
    EHT_OPERATION_INFO EhtOp;
    EHT_CAPABILITY_INFO EhtCap;
    ULONG TwtState;                 // TWT_STATE_*
    UCHAR TwtCurrentFlowId;
    TWT_FLOW TwtFlows[TWT_FLOWS];
} RLM_ENTRY_BLOCK, *PRLM_ENTRY_BLOCK;

// The adapter's share.
typedef struct _RLM_ADAPTER_BLOCK {
    NEGOTIATED_LINK_CAPS Link;
    TWT_AGRT_SLOT TwtSlots[TWT_AGRT_SLOTS];
    AFC_RU_POWER_ENTRY Afc[AFC_RU_POWER_ROWS];
    UCHAR AfcAppliedBasePower;      // the received base power as last applied by a lookup
    // Spectrum management.
    UCHAR LocalMaxTxPower;          // dBm: the country maximum less the power constraint
    UCHAR MaxTxPowerCap;            // dBm; 0: the local maximum stands for it
    UCHAR MinTxPowerCap;            // dBm
} RLM_ADAPTER_BLOCK, *PRLM_ADAPTER_BLOCK;
