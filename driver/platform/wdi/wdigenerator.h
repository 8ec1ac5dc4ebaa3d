// WDI indication generators: the payloads the WDI layer builds for the OS.
#pragma once

#include "kshim/wificx_caps.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// Fills at most `count` entries {channel, centre frequency in MHz} with the channels of a band (type
// 1: 2.4 GHz, 2: 5 GHz, 5: 6 GHz) from the adapter's channel list, in list order; the number written.
ULONG WdiGeneratorSupportedChannelList(PMP_ADAPTER adapter, WIFI_CHANNEL_MAPPING_ENTRY* entries, ULONG count,
                                       ULONG bandType);
// The centre frequency (MHz) of a channel of a band (1: 2.4 GHz, 2: 5 GHz, 3: 6 GHz); an unknown
// 2.4/5 GHz channel gives 2412, an unknown 6 GHz channel 6135.
ULONG WdiChannelCentreFrequency(ULONG band, ULONG channel);
