// The capability records the first power-up reports to WiFiCx, held in the adapter with their ready
// bytes, and the lists they point to.
#pragma once

#include "kshim/wificx_caps.h"

#define WIFI_CAPS_BAND_MAX 3
#define WIFI_CAPS_PHY_MAX 7
#define WIFI_CAPS_WFD_ADDRESSES 4     // computed; the first three are reported
#define WIFI_CAPS_WFD_ADDRESSES_REPORTED 3

// The per-band lists (allocated from the tagged allocator) of one band entry.
typedef struct _WIFI_CAPS_BAND_LISTS {
    PULONG PhyTypes;
    ULONG PhyTypeCount;
    WIFI_CHANNEL_MAPPING_ENTRY* Channels;
    ULONG ChannelCount;
    PULONG Widths;
    ULONG WidthCount;
} WIFI_CAPS_BAND_LISTS;

typedef struct _WIFI_CAPABILITY_RECORDS {
    WIFI_DEVICE_CAPABILITIES Device;
    UCHAR DeviceReady;
    WIFI_STATION_CAPABILITIES Station;
    UCHAR StationReady;
    WIFI_BAND_CAPABILITIES Band;
    UCHAR BandReady;
    WIFI_PHY_CAPABILITIES Phy;
    UCHAR PhyReady;
    WIFI_WIFI_DIRECT_CAPABILITIES WifiDirect;
    UCHAR WifiDirectReady;
    WIFI_BAND_INFO Bands[WIFI_CAPS_BAND_MAX];
    WIFI_CAPS_BAND_LISTS BandLists[WIFI_CAPS_BAND_MAX];
    WIFI_PHY_INFO Phys[WIFI_CAPS_PHY_MAX];
    UCHAR WfdInterfaceAddresses[WIFI_CAPS_WFD_ADDRESSES][WIFI_MAC_ADDRESS_LENGTH];
    ULONG WfdStationCounts[7];
} WIFI_CAPABILITY_RECORDS;
