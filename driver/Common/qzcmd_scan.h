// Firmware commands that move the radio: the scan request (version 1 for the older chip, version 2
// for the second and third generation), the abort of a running scan, channel privilege (time on a
// channel that the firmware grants to a port), the network-list offload (scheduled scans in the
// firmware), radar-detection control and the regulatory domain information.
//
// Every builder fills one zeroed legacy payload and sends it with QzCmdSendSetQuery; on a
// third-generation chip whose firmware runs in RAM the send call translates it into the unified form.
// A builder refuses with 0xC0000001 (nothing sent) when a precondition fails; otherwise it returns the
// send call's status.
#pragma once

#include <cstddef>

#include "Common/fwsettings.h"
#include "Common/qzcmd.h"
#include "Common/qzcmd_scan_types.h"

// ---- command ids ------------------------------------------------------------------------------------
#define FW_CMD_ID_SCAN_REQ_V1 0x1A
#define FW_CMD_ID_SCAN_REQ_V2 0x03
#define FW_CMD_ID_SCAN_ABORT 0x1B
#define FW_CMD_ID_CH_PRIVILEGE 0x1C
#define FW_CMD_ID_NLO_CONFIG 0x62
#define FW_CMD_ID_NLO_ENABLE 0x61
#define FW_CMD_ID_RDD_CTRL 0x8F
#define FW_CMD_ID_DOMAIN_INFO 0x0F

// The system event-log entry written when a running scan is aborted.
#define EVENT_LOG_SCAN_ABORT 0x400203EBu

// ---- wire layouts --------------------------------------------------------------------------------------
#define SCAN_V2_PAYLOAD_SIZE 1188
#define SCAN_V2_LIST_CHANNELS 32  // channels of each of the two lists
#define SCAN_V2_CHANNEL_MAX 64
#define SCAN_V1_PAYLOAD_SIZE 714
#define SCAN_V1_CHANNEL_MAX 32

#pragma pack(push, 1)
typedef struct _SCAN_CHANNEL_WIRE {
    UCHAR Band;
    UCHAR Channel;
} SCAN_CHANNEL_WIRE;

typedef struct _SCAN_SSID_WIRE {
    ULONG Length;
    UCHAR Ssid[SCAN_REQ_SSID_LEN];
} SCAN_SSID_WIRE;

// Scan request version 2, command 0x03.
typedef struct _SCAN_REQ_V2_WIRE {
    UCHAR SeqNum;
    UCHAR BssIndex;
    UCHAR ScanType;
    UCHAR Option;
    UCHAR SsidCount;
    UCHAR ProbeOption;
    UCHAR Flags;          // SCAN_V2_FLAG_*
    UCHAR ManyChannels;   // 1 when more than 32 channels are listed
    SCAN_SSID_WIRE Ssids[SCAN_REQ_SSID_MAX];
    USHORT ProbeCount;
    USHORT Timing1;
    USHORT Timing2;
    UCHAR ChannelType;
    UCHAR ChannelCount;
    SCAN_CHANNEL_WIRE Channels[SCAN_V2_LIST_CHANNELS];
    USHORT ExtraIeLength;
    UCHAR ExtraIe[SCAN_REQ_EXTRA_IE_MAX];
    UCHAR ChannelsBeyond32;
    UCHAR Reserved0;
    USHORT Timing3;
    SCAN_CHANNEL_WIRE Channels2[SCAN_V2_LIST_CHANNELS];
    UCHAR Reserved1[82];
    UCHAR BssidScanParams[8];
    UCHAR Reserved2[128];
    UCHAR FilterAddress[FW_CMD_MAC_LEN];
    UCHAR Reserved3[6];
    UCHAR BssidList[SCAN_REQ_BSSID_MAX][FW_CMD_MAC_LEN];
    UCHAR BssidListByte;
    UCHAR Reserved4[39];
} SCAN_REQ_V2_WIRE;

// Scan request version 1, command 0x1A (older chip).
typedef struct _SCAN_REQ_V1_WIRE {
    UCHAR SeqNum;
    UCHAR BssIndex;
    UCHAR ScanType;
    UCHAR Option;
    UCHAR SsidLength;
    UCHAR Reserved0[3];
    USHORT Timing1;
    USHORT Timing2;
    UCHAR Ssid[SCAN_REQ_SSID_LEN];
    UCHAR ChannelType;
    UCHAR ChannelCount;
    UCHAR Reserved1[2];
    SCAN_CHANNEL_WIRE Channels[SCAN_V1_CHANNEL_MAX];
    USHORT ExtraIeLength;
    UCHAR ExtraIe[SCAN_REQ_EXTRA_IE_MAX];
} SCAN_REQ_V1_WIRE;

// Channel privilege, command 0x1C.
typedef struct _CH_PRIVILEGE_WIRE {
    UCHAR BssIndex;
    UCHAR Token;
    UCHAR Action;      // 0 request, 1 abort
    UCHAR PrimaryChannel;
    UCHAR SecondaryOffset;
    UCHAR Band;
    UCHAR Width;
    UCHAR CentreChannel0;
    UCHAR CentreChannel1;
    UCHAR RequestKind;
    UCHAR BandIndex;   // 4
    UCHAR Extra;
    ULONG DurationMs;
    UCHAR Reserved[8];
} CH_PRIVILEGE_WIRE;

// Network list offload, command 0x62.
#define NLO_HIDDEN_SSID_MAX 10
#define NLO_PROFILE_MAX 16
#define NLO_CHANNEL_HINT_MAX 74
typedef struct _NLO_PROFILE_WIRE {
    UCHAR Reserved[4];
    UCHAR Ssid[SCAN_REQ_SSID_LEN];
    UCHAR SsidLength;
    UCHAR Flags;   // bit 7 hidden network, OR'ed with the authentication algorithm's low byte
    USHORT Cipher;
} NLO_PROFILE_WIRE;

typedef struct _NLO_CONFIG_WIRE {
    UCHAR Version;   // 2
    UCHAR SeqNum;
    UCHAR One;       // 1
    UCHAR NetworkCount;
    UCHAR NetworkCount2;
    UCHAR Reserved0[3];
    SCAN_SSID_WIRE HiddenSsids[NLO_HIDDEN_SSID_MAX];
    NLO_PROFILE_WIRE Profiles[NLO_PROFILE_MAX];
    UCHAR HintFlag;  // 4 when channel hints follow
    UCHAR HintCount;
    UCHAR Reserved1[2];
    SCAN_CHANNEL_WIRE Hints[NLO_CHANNEL_HINT_MAX];
    UCHAR BssIndex;
    UCHAR Reserved2[3];
    ULONG Param1;
    ULONG Param3;
    ULONG Param2;
    ULONG Param4;
    UCHAR Reserved3[44];
} NLO_CONFIG_WIRE;

// Domain information version 1, command 0x0F.
#define DOMAIN_SUBBAND_COUNT 12
typedef struct _DOMAIN_SUBBAND_WIRE {
    UCHAR OperatingClass;
    UCHAR Band;
    UCHAR ChannelSpacing;
    UCHAR FirstChannel;
    UCHAR ChannelCount;
    UCHAR Reserved[3];
} DOMAIN_SUBBAND_WIRE;
typedef struct _DOMAIN_INFO_V1_WIRE {
    UCHAR Country[2];  // first letter first
    USHORT Reserved0;
    DOMAIN_SUBBAND_WIRE Subbands[DOMAIN_SUBBAND_COUNT];
    ULONG Reserved1;
} DOMAIN_INFO_V1_WIRE;

// Domain information version 2: this head, then one DOMAIN_CHANNEL_WIRE per listed channel.
typedef struct _DOMAIN_INFO_V2_HEAD_WIRE {
    UCHAR Country[2];
    UCHAR Reserved[6];
    UCHAR Count24G;
    UCHAR Count5G;
    UCHAR Count6G;
    UCHAR Reserved1;
} DOMAIN_INFO_V2_HEAD_WIRE;
typedef struct _DOMAIN_CHANNEL_WIRE {
    USHORT Channel;
    USHORT Reserved;
    ULONG Flags;
} DOMAIN_CHANNEL_WIRE;
#pragma pack(pop)

static_assert(sizeof(SCAN_REQ_V2_WIRE) == SCAN_V2_PAYLOAD_SIZE, "version-2 scan request");
static_assert(offsetof(SCAN_REQ_V2_WIRE, ProbeCount) == 152 && offsetof(SCAN_REQ_V2_WIRE, Channels) == 160 &&
                  offsetof(SCAN_REQ_V2_WIRE, ExtraIeLength) == 224 && offsetof(SCAN_REQ_V2_WIRE, ChannelsBeyond32) == 826 &&
                  offsetof(SCAN_REQ_V2_WIRE, Timing3) == 828 && offsetof(SCAN_REQ_V2_WIRE, Channels2) == 830 &&
                  offsetof(SCAN_REQ_V2_WIRE, BssidScanParams) == 976 &&
                  offsetof(SCAN_REQ_V2_WIRE, FilterAddress) == 1112 && offsetof(SCAN_REQ_V2_WIRE, BssidList) == 1124 &&
                  offsetof(SCAN_REQ_V2_WIRE, BssidListByte) == 1148,
              "version-2 scan request fields");
static_assert(sizeof(SCAN_REQ_V1_WIRE) == SCAN_V1_PAYLOAD_SIZE && offsetof(SCAN_REQ_V1_WIRE, Ssid) == 12 &&
                  offsetof(SCAN_REQ_V1_WIRE, Channels) == 48 && offsetof(SCAN_REQ_V1_WIRE, ExtraIeLength) == 112,
              "version-1 scan request");
static_assert(sizeof(CH_PRIVILEGE_WIRE) == 24, "channel privilege");
static_assert(sizeof(NLO_CONFIG_WIRE) == 1224 && offsetof(NLO_CONFIG_WIRE, Profiles) == 368 &&
                  offsetof(NLO_CONFIG_WIRE, HintFlag) == 1008 && offsetof(NLO_CONFIG_WIRE, Hints) == 1012 &&
                  offsetof(NLO_CONFIG_WIRE, BssIndex) == 1160 && offsetof(NLO_CONFIG_WIRE, Param1) == 1164,
              "network list offload");
static_assert(sizeof(DOMAIN_INFO_V1_WIRE) == 104, "domain information version 1");
static_assert(sizeof(DOMAIN_INFO_V2_HEAD_WIRE) == 12 && sizeof(DOMAIN_CHANNEL_WIRE) == 8, "domain information version 2");

// Bits of the version-2 flags byte.
#define SCAN_V2_FLAG_BSSID_LIST 0x08
#define SCAN_V2_FLAG_CONNECTED_STA 0x20

// ---- scan ----------------------------------------------------------------------------------------------
// 6 GHz is usable: the chip reports the band, "Config_6G" has bit 0 and the firmware's capability
// report does not turn the band off.
BOOLEAN QzCmdSixGhzUsable(PMP_ADAPTER adapter);
// Version 2 (second and third generation). Counts are kept within the payload's room: at most 4
// SSIDs of at most 32 bytes, 4 BSSIDs, 64 channels taken from the chunk start and never past the
// listed ones, 600 bytes of extra elements. 0xC0000001 without a request or a port of its BSS index.
NTSTATUS QzCmdSendScanReqMsgV2(PMP_ADAPTER adapter, const MLME_SCAN_REQ* request);
// Version 1 (older chip): only while an OS scan is in progress and its task was not aborted.
NTSTATUS QzCmdSendScanReqMsg(PMP_ADAPTER adapter, const MLME_SCAN_REQ* request);
// Aborts the firmware's running scan (adapter flag 0x4000) of the adapter's current request; when the
// firmware is not scanning, completes the OS scan task at once and returns 0xC0000001.
NTSTATUS QzCmdSendAbortScan(PMP_ADAPTER adapter);

// ---- channel privilege -----------------------------------------------------------------------------
// The completion of a channel-privilege request: run on the control thread once the grant answered.
typedef NTSTATUS QZ_CMD_COMPLETION(PMP_ADAPTER adapter, PMP_PORT port, PVOID context);
#define CH_PRIVILEGE_REQUEST 0
#define CH_PRIVILEGE_RELEASE 1
// Request kinds: 0 the channel of the BSS being joined, 1 the caller's duration, 2 500 ms, 3 none.
#define CH_PRIVILEGE_KIND_JOIN 0
// Requests (action 0) or releases (action 1) channel time. A held grant is always given back first
// (without waiting). A request waits for the grant and then runs the completion with (adapter,
// port, context); `contextSize` travels as the command's callback argument, `option` as its extra
// byte. 0xC0000001 for no port, an action above 1, or a release when nothing was held.
NTSTATUS QzCmdChPrivilage(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel, UCHAR band, UCHAR action,
                          UCHAR requestKind, ULONG durationMs, QZ_CMD_COMPLETION* completion, PVOID context,
                          ULONG contextSize, UCHAR option);
// The grant event's record of a held privilege (the event handler calls it): BSS index and channel.
void QzCmdChPrivilegeRecordGrant(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR channel, UCHAR band);

// ---- network-list offload ------------------------------------------------------------------------
#define NLO_NETWORK_MAX 255
#define NLO_ALGO_PAIR_MAX 8
#define NLO_NETWORK_HINT_MAX 8
typedef struct _NLO_ALGO_PAIR {
    ULONG AuthAlgorithm;
    ULONG CipherAlgorithm;
} NLO_ALGO_PAIR;
typedef struct _NLO_CHANNEL_HINT {
    ULONG WdiBandId;
    UCHAR Channel;
} NLO_CHANNEL_HINT;
typedef struct _NLO_NETWORK {
    UCHAR SsidLength;
    UCHAR Ssid[SCAN_REQ_SSID_LEN];
    UCHAR Hidden;
    UCHAR PairCount;
    NLO_ALGO_PAIR Pairs[NLO_ALGO_PAIR_MAX];
    UCHAR HintCount;
    NLO_CHANNEL_HINT Hints[NLO_NETWORK_HINT_MAX];
} NLO_NETWORK;
// The offload request the property handler passes: four parameters and the networks.
typedef struct _NLO_REQUEST {
    ULONG Param1;
    ULONG Param2;
    ULONG Param3;
    ULONG Param4;
    ULONG NetworkCount;
    const NLO_NETWORK* Networks;
} NLO_REQUEST, *PNLO_REQUEST;
// Configures the offload (command 0x62). Profiles, hidden SSIDs and channel hints stop at the room of
// the payload (16, 10 and 74), with a trace.
NTSTATUS QzCmdConfigNLO(PMP_ADAPTER adapter, PMP_PORT port, const NLO_REQUEST* request);
// Starts (value 0) or stops (1) the offload (command 0x61); the record's active byte is set to 1 for
// a start and 0 otherwise before sending.
NTSTATUS QzCmdEnableNLO(PMP_ADAPTER adapter, PMP_PORT port, PNLO_OFFLOAD_RECORD record, UCHAR value);

// ---- radar detection and domain ------------------------------------------------------------------
NTSTATUS QzCmdDfsRddCtrl(PMP_ADAPTER adapter, UCHAR control);
// Sends the domain information: version 2 on the second and third generation (device id 0x3504
// excepted) with 6 GHz usable, version 1 otherwise. The unified form always carries version 2.
NTSTATUS QzCmdSendDomainInfoCmd(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS QzCmdSendDomainInfoCmd_V2(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN with6G);
