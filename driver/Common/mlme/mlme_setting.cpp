// Firmware setting pushes and link-parameter upkeep: the settings that have no firmware command of their
// own go as one {type, key, value} item of the customer-configuration command; beside them the EDCA
// record of a port, the protection bytes of its own station entry, the power-management indication
// and the 20/40 coexistence trigger events the scans record.
#include <cstdio>
#include <cstring>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd.h"
#include "Common/qzcmd_bss.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kCmdCustomerCfg = 0x70;
constexpr UCHAR kCmdClass = 0xED;
constexpr UCHAR kSet = 1;
constexpr UCHAR kFlagsCustomerCfg = 0x10;
constexpr UCHAR kItemTypeSetting = 3;
constexpr ULONG kTextMax = 32;

#pragma pack(push, 1)
typedef struct _CHIP_CONFIG_ITEM {
    UCHAR Type;
    UCHAR KeyLength;
    UCHAR ValueLength;
    UCHAR Reserved;
    CHAR Key[kTextMax];
    CHAR Value[kTextMax];
} CHIP_CONFIG_ITEM;
static_assert(sizeof(CHIP_CONFIG_ITEM) == 68, "a setting item is 68 bytes");

typedef struct _CUSTOMER_CFG_PAYLOAD {
    ULONG Word0;  // 0
    ULONG Word1;  // 1
    UCHAR Byte8;  // 1
    UCHAR Byte9;  // 0
    USHORT ItemLength;
    CHIP_CONFIG_ITEM Item;
    UCHAR Tail[204];
} CUSTOMER_CFG_PAYLOAD;
static_assert(sizeof(CUSTOMER_CFG_PAYLOAD) == 284, "the customer-configuration payload is 284 bytes");
#pragma pack(pop)

// Length of a text without its terminator, at most kTextMax.
UCHAR TextLength(PCSTR text)
{
    ULONG n = 0;
    while (text != nullptr && n < kTextMax && text[n] != '\0') {
        ++n;
    }
    return static_cast<UCHAR>(n);
}

NTSTATUS PushFlag(PMP_ADAPTER adapter, PMP_PORT port, PCSTR key, bool on)
{
    return MlmeSendChipConfig(adapter, port, key, on ? "1" : "0", kItemTypeSetting);
}

// The screen-off DTIM count n (bits 0 to 5 of the word 0x40 + n).
UCHAR ScreenOffDtimCount(PMP_ADAPTER adapter, PMP_PORT port)
{
    const USHORT setting = adapter->RegistryBlock.DynamicDtimPeriod;
    if ((setting & 0x8000u) != 0) {
        return static_cast<UCHAR>(setting & 0x3Fu);
    }
    if (!GetModStdbyCapabilityLaptop(adapter)) {
        return 1;
    }
    const BSS_ENTRY& bss = port->Mlme.Req.SavedBssEntry;
    const ULONG beacon = bss.BeaconPeriod;
    const ULONG dtim = bss.DtimPeriod & 0xFFu;
    if (beacon == 100) {
        return dtim == 1 ? 5 : 6;
    }
    if (beacon == 200 || beacon == 300) {
        return 6;
    }
    return beacon * dtim < 600 ? 6 : 1;
}

QZ_EDCA_PARAMS ToFirmwareEdca(const EDCA_PARM& edca)
{
    QZ_EDCA_PARAMS out{};
    for (ULONG ac = 0; ac < 4; ++ac) {
        out.Ac[ac].Aifsn = edca.Aifsn[ac];
        out.Ac[ac].CwMin = edca.CwMin[ac];
        out.Ac[ac].CwMax = edca.CwMax[ac];
        out.Ac[ac].TxopLimit = edca.TxopLimit[ac];
        out.Ac[ac].Acm = edca.Acm[ac];
    }
    return out;
}

NTSTATUS KeepAndSendEdca(PMP_ADAPTER adapter, PMP_PORT port, const EDCA_PARM& edca)
{
    port->Mlme.Edca = edca;
    const QZ_EDCA_PARAMS fw = ToFirmwareEdca(edca);
    return QzCmdSetEdcaParm(adapter, port, &fw);
}

}  // namespace

NTSTATUS MlmeSendChipConfig(PMP_ADAPTER adapter, PMP_PORT port, PCSTR key, PCSTR value, UCHAR itemType)
{
    UNREFERENCED_PARAMETER(port);
    PMP_PORT port0 = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port0 == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MlmeSendChipConfig: no port 0");
        return STATUS_UNSUCCESSFUL;
    }
    CUSTOMER_CFG_PAYLOAD payload{};
    payload.Word1 = 1;
    payload.Byte8 = 1;
    payload.ItemLength = sizeof(CHIP_CONFIG_ITEM);
    payload.Item.Type = itemType;
    payload.Item.KeyLength = TextLength(key);
    payload.Item.ValueLength = TextLength(value);
    std::memcpy(payload.Item.Key, key, payload.Item.KeyLength);
    std::memcpy(payload.Item.Value, value, payload.Item.ValueLength);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "MlmeSendChipConfig: %.32s = %.32s", payload.Item.Key,
             payload.Item.Value);
    return QzCmdSendSetQuery(port0, kCmdCustomerCfg, kCmdClass, 0, kSet, kFlagsCustomerCfg, &payload,
                             static_cast<USHORT>(sizeof(payload)), nullptr, 0, 0);
}

NTSTATUS MlmeUpdateDynamicDtimToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    char text[8];
    std::snprintf(text, sizeof(text), "%u", static_cast<unsigned>(0x40u + ScreenOffDtimCount(adapter, port)));
    return MlmeSendChipConfig(adapter, port, "ScreenoffDTIMPeriod", text, kItemTypeSetting);
}

NTSTATUS MlmeUpdateEdccaDetectEnableToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    return PushFlag(adapter, port, "EdccaDetectEnable", adapter->RegistryBlock.EdccaDetectEnable == 1);
}

NTSTATUS MlmeUpdateEnablePcieSwitchToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    return PushFlag(adapter, port, "EnablePcieSwitch", adapter->RegistryBlock.EnablePcieSwitch != 0);
}

NTSTATUS MlmeUpdateEnableRekeyOffloadToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    return PushFlag(adapter, port, "EnableRekeyOffload", adapter->RegistryBlock.DisableGTKRekey == 0);
}

NTSTATUS MlmeUpdateForceTxStopToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    return PushFlag(adapter, port, "ForceTxStop", adapter->Mlme.Csa.CsaPending == 1);
}

NTSTATUS MlmeUpdateFwlogDropFront(PMP_ADAPTER adapter, PMP_PORT port)
{
    return PushFlag(adapter, port, "FwLogSramDropFront", true);
}

NTSTATUS MlmeUpdateFwlogSemaEn(PMP_ADAPTER adapter, PMP_PORT port)
{
    return PushFlag(adapter, port, "FwLogSramSemaEn", true);
}

NTSTATUS MlmeUpdateFwlogSramEvtBlcok(PMP_ADAPTER adapter, PMP_PORT port, UCHAR value)
{
    return PushFlag(adapter, port, "FwLogSramEvtBlock", value == 1);
}

NTSTATUS MlmeUpdateKeepFullPwrToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    return PushFlag(adapter, port, "KeepFullPwr", adapter->LowPower.LowPowerMode == 0);
}

NTSTATUS AsicSetEdcaParm(PMP_ADAPTER adapter, PMP_PORT port, PVOID edcaParm, UCHAR enable)
{
    if (adapter == nullptr || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "AsicSetEdcaParm: no port");
        return STATUS_UNSUCCESSFUL;
    }
    const EDCA_PARM* edca = static_cast<const EDCA_PARM*>(edcaParm);
    if (edca == nullptr || edca->Valid == 0) {
        port->ConnectionFlags &= ~0x100u;
        port->Xmit.LinkFlags &= ~PORT_LINK_FLAG_EDCA;
        for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
            e->ClientFlags &= ~0x1u;
        }
        PlatformZeroMemory(&port->Mlme.Edca, sizeof(port->Mlme.Edca));
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: no EDCA parameters, WMM off",
                 static_cast<unsigned>(port->PortNumber));
        return STATUS_SUCCESS;
    }
    if (enable != 0) {
        port->ConnectionFlags |= 0x100u;
        port->Xmit.LinkFlags |= PORT_LINK_FLAG_EDCA;
    }
    if (adapter->OpMode != 0 || (port->ConnectionFlags & PORT_CONN_CONNECTED) == 0) {
        return KeepAndSendEdca(adapter, port, *edca);
    }
    PMAC_TABLE_ENTRY ap = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
    if (ap == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "AsicSetEdcaParm: port %u has no access-point entry",
                 static_cast<unsigned>(port->PortNumber));
        return STATUS_UNSUCCESSFUL;
    }
    ap->ClientFlags |= 0x1u;
    return KeepAndSendEdca(adapter, port, *edca);
}

NTSTATUS MlmeSetPsmBit(PMP_ADAPTER adapter, UCHAR psm)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    adapter->Mlme.Periodic.PsmBit = psm;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "power-management indication %u", static_cast<unsigned>(psm));
    return STATUS_SUCCESS;
}

VOID AsicUpdateProtect(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* htOperation, UCHAR mask, UCHAR setMask,
                       UCHAR nonGreenfield)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(nonGreenfield);
    if (port == nullptr) {
        return;
    }
    UCHAR mode = 0;
    UCHAR rifs = 0;
    if (htOperation != nullptr) {
        mode = static_cast<UCHAR>(htOperation[2] & 0x03u);
        rifs = static_cast<UCHAR>((htOperation[1] >> 3) & 0x01u);
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
    if (entry == nullptr) {
        return;
    }
    if (setMask != 0) {
        entry->ErpProtection = 0;
    } else if ((mask & 0x01u) != 0) {
        entry->ErpProtection = 1;
    }
    const bool ht = port->WirelessMode >= PHY_11ABGN_MIXED && port->WirelessMode <= PHY_11BE;
    entry->HtProtectionMode = ht ? mode : 0;
    entry->RifsMode = ht ? rifs : 0;
    entry->ProtectionReserved = 0;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u protection: ERP %u, HT %u, RIFS %u",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(entry->ErpProtection),
             static_cast<unsigned>(entry->HtProtectionMode), static_cast<unsigned>(entry->RifsMode));
}

VOID TriEventTableSetEntry(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, const UCHAR* htCapability,
                           UCHAR htCapabilityLen, UCHAR operatingClass, UCHAR channel)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || bssid == nullptr) {
        return;
    }
    TRIGGER_EVENT_TABLE& table = port->Action.TriggerEvents;
    if (htCapabilityLen != 0) {
        // The first two octets of the HT Capabilities body: bit 14 is Forty MHz Intolerant.
        if (htCapability != nullptr && (htCapability[1] & 0x40u) != 0) {
            table.IntolerantDelay = port->ObssScanParams.Delay;
        }
        return;
    }
    for (const TRIGGER_EVENT_ENTRY& e : table.Events) {
        if (e.Valid && e.OperatingClass == operatingClass && e.Channel == channel) {
            return;
        }
    }
    if (table.EventCount >= TRIGGER_EVENT_RECORDS) {
        return;
    }
    TRIGGER_EVENT_ENTRY& e = table.Events[table.EventCount];
    e.Valid = 1;
    std::memcpy(e.Bssid, bssid, sizeof(e.Bssid));
    e.OperatingClass = operatingClass;
    e.Channel = channel;
    ++table.EventCount;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: %u trigger events", static_cast<unsigned>(port->PortNumber),
             static_cast<unsigned>(table.EventCount));
}
