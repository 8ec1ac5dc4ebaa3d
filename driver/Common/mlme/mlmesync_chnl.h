// Channel lists the MLME core derives from the adapter channel list: the 5 GHz list from which a
// clean channel for Wi-Fi Direct group formation is chosen, the list of all channels, the choice of
// a group owner's preferred channel, the band test on the adapter channel list, and the 20/40
// coexistence marks of the 2.4 GHz channels while a link is up.
#pragma once

#include "Common/mlme/mlmesync_chnl_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

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
