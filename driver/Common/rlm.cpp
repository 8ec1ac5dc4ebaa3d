// The regulatory domain, power-limit, SAR, D3cold and wake-on-WLAN services of the radio features.
#include "Common/rlm.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS DomainConfigureDomainInfo(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

void SarGetSarPwrTbl(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

void SarOpenSensorObject(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

void SarCloseSensorObject(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

void skuTableReadSingleSkuFile(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

void skuTableFreePowerTables(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

NTSTATUS D3ColdInterfaceInit(PMP_ADAPTER adapter, WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(device);
    return NOT_BUILT_YET();
}

BOOLEAN GetD3ColdSupport(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
    return FALSE;
}

void SetD3ColdSupport(PMP_ADAPTER adapter, BOOLEAN enable)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(enable);
    (void)NOT_BUILT_YET();
}

void D3ColdInterfaceDeInit() { (void)NOT_BUILT_YET(); }

void WoWLANInitialization(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

ULONG DomainGetChannelCountByBand(PMP_ADAPTER adapter, ULONG selector)
{
    ULONG band = selector == 1 ? BAND_24G : selector == 2 ? BAND_5G : selector == 5 ? BAND_6G : 0;
    if (band == 0) {
        return 0;
    }
    ULONG count = 0;
    ULONG entries = adapter->Country.ChannelListCount < DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
    for (ULONG i = 0; i < entries; ++i) {
        if (adapter->Country.ChannelList[i].Band == band) {
            ++count;
        }
    }
    return count;
}

NTSTATUS skuTableSendPwrLimitCmd(PMP_ADAPTER adapter, UCHAR flag)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(flag);
    return NOT_BUILT_YET();
}
