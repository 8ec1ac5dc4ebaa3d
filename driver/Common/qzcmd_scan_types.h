// The adapter's scan request record: what the scan task, the connect-control machine and the
// neighbour-AP scan fill, and the scan commands send.
#pragma once

#include <cstddef>

#include "kshim/ke.h"

#define FW_CMD_MAC_LEN 6

// ---- the scan request --------------------------------------------------------------------------------
#define SCAN_REQ_SSID_MAX 4
#define SCAN_REQ_SSID_LEN 32
#define SCAN_REQ_BSSID_MAX 4
#define SCAN_REQ_CHANNEL_MAX 118
#define SCAN_REQ_EXTRA_IE_MAX 600

// Channel types of a scan request.
#define SCAN_CHANNEL_TYPE_ALL 0
#define SCAN_CHANNEL_TYPE_24G 1     // the firmware's list of 2.4 GHz channels
#define SCAN_CHANNEL_TYPE_5G 2      // the firmware's list of 5 GHz channels
#define SCAN_CHANNEL_TYPE_SOCIAL 3  // the Wi-Fi Direct social channels
#define SCAN_CHANNEL_TYPE_LIST 4    // the channel list of the request
#define SCAN_CHANNEL_TYPE_RNR 8     // a reduced-neighbour-report scan with a BSSID list

typedef struct _SCAN_REQ_CHANNEL {
    ULONG Band;  // BAND_24G, BAND_5G, BAND_6G
    UCHAR Channel;
} SCAN_REQ_CHANNEL;

// The adapter's scan request (1760 bytes, so that it fits the body of one MLME message): filled by
// the scan task, the connect-control machine, the periodic overlapping-BSS scan and the neighbour-AP
// scan; the sync machine sends it with the scan commands below.
#define MLME_SCAN_REQ_SIZE 1760
typedef struct _MLME_SCAN_REQ {
    ULONG ScanType;        // 0 passive, 1 active
    ULONG Trigger;         // the OS's scan trigger: 2 background, 3 and 6 roaming, 4 connect
    UCHAR RequestKind;     // 1 wildcard, 2 Wi-Fi Direct wildcard ("DIRECT-"), 4 directed
    UCHAR BssIndex;        // firmware BSS index of the requesting port
    UCHAR Option;
    UCHAR SsidCount;       // 0 to 4
    UCHAR SsidLength[SCAN_REQ_SSID_MAX];
    UCHAR Ssid[SCAN_REQ_SSID_MAX][SCAN_REQ_SSID_LEN];
    UCHAR BssidListByte;   // the short-SSID count of a neighbour-AP scan
    UCHAR BssidCount;      // 0 to 4
    UCHAR Bssid[SCAN_REQ_BSSID_MAX][FW_CMD_MAC_LEN];
    UCHAR BssidScanParams[8];  // four per-BSSID channels, then four per-BSSID SSID indexes
    USHORT Timing1;
    USHORT Timing2;        // the request's time budget in milliseconds
    USHORT Timing3;
    UCHAR Version2;        // 1: version-2 scan command
    UCHAR ProbeCount;
    UCHAR ProbeOption;
    ULONG ChannelType;     // SCAN_CHANNEL_TYPE_*
    UCHAR ChannelCount;
    SCAN_REQ_CHANNEL Channels[SCAN_REQ_CHANNEL_MAX];
    UCHAR ChunkStart;      // split scan: first channel of this command
    UCHAR ChunkSize;       // 0: every channel from the start
    UCHAR ChunkStep;
    UCHAR ChunkIssued;     // scan commands issued for this request
    UCHAR Progress;
    UCHAR ScanSeqNum;      // 0..99
    USHORT ExtraIeLength;
    UCHAR ExtraIe[SCAN_REQ_EXTRA_IE_MAX];
    UCHAR Reserved[12];
} MLME_SCAN_REQ, *PMLME_SCAN_REQ;
static_assert(sizeof(MLME_SCAN_REQ) == MLME_SCAN_REQ_SIZE, "the scan request is 1760 bytes");
