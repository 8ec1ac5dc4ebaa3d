// The channel lists the MLME core keeps in the adapter: the 5 GHz list, the list of all channels and
// the group owner's preferred channels.
#pragma once

#include "kshim/nt_types.h"

#define AB_CHANNEL_MAX 45
#define AB_SKIP_CHANNEL_MAX 10
#define ALL_CHANNEL_MAX 118
#define GO_PREFERRED_CHANNEL_MAX 32

typedef struct _AB_CHANNEL_RECORD {
    UCHAR Channel;
    UCHAR ApCount;  // scan-table entries on the channel
} AB_CHANNEL_RECORD;

typedef struct _AB_CHANNEL_LIST {
    LONG Count;
    UCHAR Built;    // 0 until the first build: the list then holds its default channels
    AB_CHANNEL_RECORD Records[AB_CHANNEL_MAX];
} AB_CHANNEL_LIST, *PAB_CHANNEL_LIST;

typedef struct _ALL_CHANNEL_RECORD {
    UCHAR Channel;
    UCHAR Band;
    UCHAR Seen;
    UCHAR Count;
} ALL_CHANNEL_RECORD;
static_assert(sizeof(ALL_CHANNEL_RECORD) == 4, "an all-channel record is 4 bytes");

typedef struct _ALL_CHANNEL_LIST {
    LONG Count;
    ALL_CHANNEL_RECORD Records[ALL_CHANNEL_MAX];
} ALL_CHANNEL_LIST, *PALL_CHANNEL_LIST;

typedef struct _GO_PREFERRED_CHANNEL {
    UCHAR Channel;
    UCHAR PhyMode;
    UCHAR Reserved[2];
    ULONG ApCount;
} GO_PREFERRED_CHANNEL;
static_assert(sizeof(GO_PREFERRED_CHANNEL) == 8, "a group-owner preferred record is 8 bytes");

typedef struct _GO_PREFERRED_LIST {
    UCHAR Count;
    GO_PREFERRED_CHANNEL Records[GO_PREFERRED_CHANNEL_MAX];
} GO_PREFERRED_LIST;

typedef struct _MLME_CHANNEL_LISTS {
    AB_CHANNEL_LIST AbList;
    ALL_CHANNEL_LIST AllList;
    UCHAR AbCleanChannel;            // read by the Wi-Fi Direct group negotiation
    // Group-owner preferred channels (private requests fill them).
    UCHAR GoPreferredEnable;
    GO_PREFERRED_LIST GoPreferred5G;
    GO_PREFERRED_LIST GoPreferred24G;
    UCHAR GoPreferredChannel;        // the chosen channel and its PHY-mode byte
    UCHAR GoPreferredPhyMode;
} MLME_CHANNEL_LISTS, *PMLME_CHANNEL_LISTS;
