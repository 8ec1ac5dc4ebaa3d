// The regulatory domain's records in the adapter: the country the configuration and the private
// requests set, and the adapter's channel list for it.
#pragma once

#include "kshim/nt_types.h"

#define DOMAIN_CHANNEL_MAX 118

// One channel of the adapter's channel list, which the regulatory domain code builds for the
// current country.
typedef struct _DOMAIN_CHANNEL_ENTRY {
    UCHAR Channel;
    ULONG Band;    // BAND_24G, BAND_5G, BAND_6G
    UCHAR Mark;    // 20/40 coexistence mark
    USHORT Flags;  // 8 radar, 2 passive
} DOMAIN_CHANNEL_ENTRY, *PDOMAIN_CHANNEL_ENTRY;

typedef struct _COUNTRY_BLOCK {
    USHORT RegCountryCode;  // parsed "CountryRegionString"
    UCHAR CssCode;  // power-limit variant letter ("CSSCode")
    UCHAR CountryFixed;  // the country was fixed by a private request
    UCHAR ChannelListCount;
    DOMAIN_CHANNEL_ENTRY ChannelList[DOMAIN_CHANNEL_MAX];
} COUNTRY_BLOCK, *PCOUNTRY_BLOCK;
