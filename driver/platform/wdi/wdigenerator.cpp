// WDI indication generators.
#include "platform/wdi/wdigenerator.h"

#include "platform/ndiscommon/adapter.h"

ULONG WdiChannelCentreFrequency(ULONG band, ULONG channel)
{
    switch (band) {
    case BAND_24G:
        if (channel >= 2 && channel <= 13) {
            return 2407 + 5 * channel;
        }
        return channel == 14 ? 2484 : 2412;
    case BAND_5G:
        if ((channel >= 32 && channel <= 48 && channel % 2 == 0) ||
            (((channel >= 52 && channel <= 68) || (channel >= 96 && channel <= 144)) && channel % 4 == 0) ||
            (channel >= 149 && channel <= 177 && channel % 2 == 1)) {
            return 5000 + 5 * channel;
        }
        return 2412;
    case BAND_6G:
        if (channel >= 1 && channel <= 233 && channel % 4 == 1) {
            return 5950 + 5 * channel;
        }
        return 6135;
    default:
        return 2412;
    }
}

ULONG WdiGeneratorSupportedChannelList(PMP_ADAPTER adapter, WIFI_CHANNEL_MAPPING_ENTRY* entries, ULONG count,
                                       ULONG bandType)
{
    ULONG band = bandType == 1 ? BAND_24G : bandType == 2 ? BAND_5G : bandType == 5 ? BAND_6G : 0;
    if (entries == nullptr || band == 0) {
        return 0;
    }
    ULONG written = 0;
    ULONG listed = adapter->ChannelListCount < DOMAIN_CHANNEL_MAX ? adapter->ChannelListCount : DOMAIN_CHANNEL_MAX;
    for (ULONG i = 0; i < listed && written < count; ++i) {
        const DOMAIN_CHANNEL_ENTRY& e = adapter->ChannelList[i];
        if (e.Band != band) {
            continue;
        }
        entries[written].ChannelNumber = e.Channel;
        entries[written].ChannelCenterFrequency = WdiChannelCentreFrequency(band, e.Channel);
        ++written;
    }
    return written;
}
