// The regulatory domain, power-limit, SAR, D3cold and wake-on-WLAN services of the radio features.
#include "Common/rlm.h"

#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

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

NTSTATUS skuTableSendPwrLimitCmd(PMP_ADAPTER adapter, UCHAR flag)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(flag);
    return NOT_BUILT_YET();
}

NTSTATUS QzCmdSendPwrLimitCmd(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (DomainCurrentKey(adapter) == 0x5553 && HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_US_6G_RA_MODE)) {
        (void)skuTableControl6GRaMode(adapter);
    }
    SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    if (TASarSupportOrNot(adapter)) {
        sar.ActiveSarMode = 2;
        if (!NT_SUCCESS(TASarUpdatePwrLimit(adapter))) {
            sar.ActiveSarMode = static_cast<UCHAR>(adapter->RegistryBlock.BiosSarMode);
            (void)TASarTurnOff(adapter);
        }
    } else {
        sar.ActiveSarMode = static_cast<UCHAR>(adapter->RegistryBlock.BiosSarMode);
    }
    return skuTableSendPwrLimitCmd(adapter, FALSE);
}
