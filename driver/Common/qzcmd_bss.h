// Firmware commands that tell the firmware which networks (BSSs) the driver runs, which peers it
// talks to and which keys protect the traffic: network activation, station-record removal, keys,
// the default key, EDCA parameters, power-management notices and the beacon template. Each fills
// one zeroed legacy payload and sends it with QzCmdSendSetQuery (class 0xED); a refusal is
// 0xC0000001 with nothing sent, otherwise the send call's status is returned.
#pragma once

#include "Common/qzcmd.h"

#define FW_CMD_ID_BSS_ACTIVATE 0x11
#define FW_CMD_ID_BSS_INFO 0x12
#define FW_CMD_ID_STA_REC_UPDATE 0x13
#define FW_CMD_ID_STA_REC_REMOVE 0x14
#define FW_CMD_ID_PM_BSS_CREATED 0x15
#define FW_CMD_ID_PM_BSS_CONNECTED 0x16
#define FW_CMD_ID_PM_DISABLE 0x17
#define FW_CMD_ID_BEACON_TEMPLATE 0x18
#define FW_CMD_ID_BSS_RLM 0x19
#define FW_CMD_ID_EDCA 0x1D
#define FW_CMD_ID_DEFAULT_KEY 0x08

#define STA_REC_REMOVE_ALL_WLAN_INDEX 20
#define BEACON_TEMPLATE_MAX 600
#define KEY_MATERIAL_ROOM 32

#pragma pack(push, 1)
typedef struct _BSS_ACTIVATE_WIRE {
    UCHAR BssIndex;
    UCHAR Activate;
    UCHAR NetworkType;
    UCHAR OwnMacIndex;
    UCHAR OwnAddress[6];
    UCHAR OwnWlanIndex;
    UCHAR Reserved;
} BSS_ACTIVATE_WIRE;

typedef struct _KEY_WIRE {
    UCHAR Add;
    UCHAR Pairwise;
    UCHAR Pairwise2;
    UCHAR Reserved0;
    UCHAR PeerAddress[6];
    UCHAR BssIndex;
    UCHAR Cipher;
    UCHAR KeyIndex;
    UCHAR KeyLength;
    UCHAR Usage;
    UCHAR Reserved1;
    UCHAR Material[32];   // up to 32 key bytes; TKIP: 16 key bytes, then the transmit and receive MIC keys
    UCHAR Reserved2[16];
} KEY_WIRE;
#define KEY_WIRE_TKIP_TX_MIC 16  // offsets in Material
#define KEY_WIRE_TKIP_RX_MIC 24

typedef struct _EDCA_AC_WIRE {
    USHORT CwMin;
    USHORT CwMax;
    USHORT TxopLimit;
    USHORT Aifsn;
    UCHAR Reserved;
    UCHAR Acm;
} EDCA_AC_WIRE;
typedef struct _EDCA_WIRE {
    EDCA_AC_WIRE Ac[4];
    UCHAR BssIndex;
    UCHAR WmmInUse;
    UCHAR ZeroIndex;
    UCHAR Reserved;
} EDCA_WIRE;

typedef struct _PM_BSS_CONNECTED_WIRE {
    UCHAR BssIndex;
    UCHAR DtimPeriod;
    USHORT AssociationId;
    USHORT BeaconInterval;
    USHORT SecondTimingWord;
    UCHAR UapsdInUse;
    UCHAR UapsdMap;
    UCHAR UapsdMap2;
    UCHAR Reserved;
} PM_BSS_CONNECTED_WIRE;

typedef struct _BEACON_TEMPLATE_HEAD_WIRE {
    UCHAR Action;
    UCHAR BssIndex;
    USHORT Reserved;
    USHORT CapabilityInfo;
    USHORT Length;
} BEACON_TEMPLATE_HEAD_WIRE;
#pragma pack(pop)
static_assert(sizeof(BSS_ACTIVATE_WIRE) == 12, "network activation");
static_assert(sizeof(KEY_WIRE) == 64 && offsetof(KEY_WIRE, Material) == 16 && offsetof(KEY_WIRE, Reserved2) == 48,
              "key");
static_assert(sizeof(EDCA_WIRE) == 44 && offsetof(EDCA_WIRE, BssIndex) == 40, "EDCA");
static_assert(sizeof(PM_BSS_CONNECTED_WIRE) == 12, "BSS connected");
static_assert(sizeof(BEACON_TEMPLATE_HEAD_WIRE) == 8, "beacon template head");
#define BEACON_TEMPLATE_PAYLOAD_SIZE (sizeof(BEACON_TEMPLATE_HEAD_WIRE) + BEACON_TEMPLATE_MAX)

// Activates or deactivates the network of a BSS index. An activation is refused while an OS scan
// runs whose task was aborted. A deactivation also removes every station record of the BSS (before
// the port's activation bytes change) and resets the record of the port's own entry.
NTSTATUS QzCmdActivateDeactivateNetwork(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR activate);
// Removes one station record (removeAll 0) or every record of the BSS (1, WLAN index 20).
NTSTATUS QzCmdSendStaRecRemove(PMP_ADAPTER adapter, UCHAR removeAll, UCHAR wlanIndex, UCHAR bssIndex);

struct _KEY_REQUEST;
// Installs or removes a key (command 0x07, 64 bytes). A pairwise add waits for its answer (flags 13);
// every other key goes without waiting.
NTSTATUS QzCmdSetAddDeleteKey(PMP_ADAPTER adapter, const struct _KEY_REQUEST* request);
// The firmware cipher of a driver cipher code: 1 -> 1, 2 -> 5, 3 -> 2, 4 -> 4, 6 -> 6, 12 -> 12,
// 17 -> 17; 0 for any other code.
UCHAR QzCmdFwCipher(UCHAR driverCipher);
NTSTATUS QzCmdSetDefaultKeyId(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR keyIndex, UCHAR usage);

// The EDCA values of one access category, and of a port.
typedef struct _QZ_EDCA_AC {
    UCHAR Aifsn;
    UCHAR CwMin;   // exponent
    UCHAR CwMax;   // exponent
    USHORT TxopLimit;
    UCHAR Acm;
} QZ_EDCA_AC;
typedef struct _QZ_EDCA_PARAMS {
    QZ_EDCA_AC Ac[4];
} QZ_EDCA_PARAMS;
// Per access category: the third generation gets the exponents as they are, other chips 2^value - 1.
// TXOP limits as given when "SigmaEn" bit 0 is set, otherwise access category 0 gets at least
// "TxopLimit".
NTSTATUS QzCmdSetEdcaParm(PMP_ADAPTER adapter, PMP_PORT port, const QZ_EDCA_PARAMS* edca);

NTSTATUS QzCmdPmIndicateBssCreated(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS QzCmdSetPmIndicateBssConnected(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS QzCmdPmDisable(PMP_ADAPTER adapter, PMP_PORT port);
// Beacon (action 1), probe-response (3) or empty (5) template; longer than 600 bytes is refused.
NTSTATUS QzCmdUpdateBeacon(PMP_ADAPTER adapter, PMP_PORT port, UCHAR action, const UCHAR* frame, USHORT length);

// BSS information (command 0x12, 116 bytes, flags 16) of a port whose BSS slot is in use, with the
// radio-link parameters at 68. With useStationPort set, the entry values other than the station-record
// index and the authentication mode come from the first active station port's entry.
#define BSS_INFO_PAYLOAD_SIZE 116
#define BSS_INFO_RLM_OFFSET 68
NTSTATUS QzCmdSetBssInfo(PMP_ADAPTER adapter, PMP_PORT port, UCHAR useStationPort);
// Radio-link parameters (command 0x19, 22 bytes, flags 8); sent only for BSS index 0 to 3 (an index
// of 4 or more returns 0 with nothing sent).
#define BSS_RLM_PAYLOAD_SIZE 22
NTSTATUS QzCmdSetBssRlmParam(PMP_ADAPTER adapter, PMP_PORT port);
// Fills the 22 radio-link bytes of a port into `out`: band, channel, HT operation, protection, channel
// width with its centre channels, basic rates and stream counts. With useStationPort set, the entry is
// the own entry of the first active station port. FALSE (nothing filled) without an entry.
BOOLEAN FillBssRlmParam(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR out, UCHAR useStationPort);
// Station record (command 0x13, flags 8) of the entry, or of the port's own entry: 202 bytes on the
// second generation, 236 otherwise. `block` (32 bytes) is copied to byte 96 when given. May clear the
// 40 MHz bit of the entry's HT capability (and its VHT width) under the bandwidth-selection settings.
#define STA_REC_PAYLOAD_SIZE 236
#define STA_REC_PAYLOAD_SIZE_GEN2 202
NTSTATUS QzCmdSendStaRecUpdate(PMP_ADAPTER adapter, PMP_PORT port, struct _MAC_TABLE_ENTRY* entry, const UCHAR* block);

// MU EDCA parameters (command 0xB0, 72 bytes: BSS index at 4, WMM at 5, the port's MU EDCA record at 8).
#define FW_CMD_ID_MU_EDCA 0xB0
#define MU_EDCA_PAYLOAD_SIZE 72
NTSTATUS QZcmdnicQmUpdateMUEdcaParams(PMP_ADAPTER adapter, PMP_PORT port);
// Spatial-reuse parameters (command 0xB1 with extended id 0xA8, 60 bytes: BSS index at 4, the four
// control bytes at 5-8, the BSS colour bitmap at 12, the partial BSSID bitmap at 20).
#define FW_CMD_ID_SR_PARAMS 0xB1
#define FW_EXT_CMD_SR 0xA8
#define SR_PARAMS_PAYLOAD_SIZE 60
NTSTATUS QZcmdnicRlmUpdateSRParams(PMP_ADAPTER adapter, PMP_PORT port);
