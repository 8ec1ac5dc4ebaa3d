// Channel lists the MLME core derives from the adapter channel list: the 5 GHz list from which a
// clean channel for Wi-Fi Direct group formation is chosen, the list of all channels, the choice of
// a group owner's preferred channel, the band test on the adapter channel list, and the 20/40
// coexistence marks of the 2.4 GHz channels while a link is up.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

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

// Channel-list band selectors.
#define CHANNEL_SEL_6G 0
#define CHANNEL_SEL_24G_5G 1
#define CHANNEL_SEL_ALL 2

void MlmeCreateABChannelList(PMP_ADAPTER adapter);
void MlmeCreateAllChannelList(PMP_ADAPTER adapter);
// The channel is in the skip list (channel 0 never is).
BOOLEAN MlmeCheckABSkipChannel(UCHAR channel);
// Recount the 5 GHz list against the scan table and choose the clean channel.
void MlmeUpdateABCleanChannelList(PMP_ADAPTER adapter);
// Recount the group-owner lists against the scan table and choose the group owner's channel.
void MlmeUpdateGoPreferredCleanChannelList(PMP_ADAPTER adapter);
void MlmeDumpGoPreferredChannelList(PMP_ADAPTER adapter);
// Selector 1 looks among the 2.4 and 5 GHz records, 0 among the 6 GHz records, any other among all.
BOOLEAN ChannelIsInChannelList(PMP_ADAPTER adapter, UCHAR channel, UCHAR selector);
// Link up: mark every 2.4 GHz channel; link down: clear every mark.
void MlmeSyncChnlSetObssMark(PMP_ADAPTER adapter);
void MlmeSyncEraseChnlObssMark(PMP_ADAPTER adapter);
