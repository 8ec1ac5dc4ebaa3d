// Firmware settings sent through the command layer's send call.
#include "Common/fwsettings.h"

#include <cstring>

#include "Common/qzcmd.h"
#include "hal/common/hal_chip.h"
#include "kshim/ndis.h"
#include "kshim/rtl.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

FACT_CAL_STORE g_FactCalStore;

NTSTATUS FwSettingSendPort0(PMP_ADAPTER adapter, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                            UCHAR option, const void* payload, USHORT length)
{
    PMP_PORT port = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command 0x%02X (extended 0x%02X): no port 0", static_cast<unsigned>(cmdId),
                 static_cast<unsigned>(extCmdId));
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS status = QzCmdSendSetQuery(port, cmdId, cmdClass, extCmdId, setQuery, option, payload, length, nullptr, 0, 0);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command 0x%02X (extended 0x%02X): 0x%08X", static_cast<unsigned>(cmdId),
                 static_cast<unsigned>(extCmdId), static_cast<unsigned>(status));
    }
    return status;
}

// ---- chip configuration texts -----------------------------------------------------------------------------
NTSTATUS QzCmdSetChipConfig(PMP_ADAPTER adapter, const UCHAR* payload)
{
    if (payload == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    UCHAR copy[CHIP_CONFIG_PAYLOAD_SIZE];
    PlatformMoveMemory(copy, payload, sizeof(copy));
    return FwSettingSendPort0(adapter, CHIP_CONFIG_CMD_ID, FW_CMD_CLASS_NORMAL, 0, 1, CHIP_CONFIG_OPTION, copy,
                              sizeof(copy));
}

NTSTATUS QzCmdSetChipConfigText(PMP_ADAPTER adapter, PCSTR text)
{
    const size_t length = text != nullptr ? std::strlen(text) : CHIP_CONFIG_TEXT_MAX;
    if (length >= CHIP_CONFIG_TEXT_MAX) {
        return STATUS_INVALID_PARAMETER;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, CHIP_CONFIG_PAYLOAD_SIZE, TAG_ZV47) != STATUS_SUCCESS || block == nullptr) {
        return STATUS_MEMORY_NOT_ALLOCATED;
    }
    auto* payload = static_cast<PUCHAR>(block);
    PlatformZeroMemory(payload, CHIP_CONFIG_PAYLOAD_SIZE);
    payload[CHIP_CONFIG_LENGTH_OFFSET] = static_cast<UCHAR>(length);
    payload[CHIP_CONFIG_LENGTH_OFFSET + 1] = static_cast<UCHAR>(length >> 8);
    PlatformMoveMemory(payload + CHIP_CONFIG_TEXT_OFFSET, text, static_cast<ULONG>(length));
    const NTSTATUS status = QzCmdSetChipConfig(adapter, payload);
    PlatformFreeMemory(block, CHIP_CONFIG_PAYLOAD_SIZE);
    return status;
}

NTSTATUS QZCmdUpdateEdccaAntGain(PMP_ADAPTER adapter, UCHAR gain)
{
    UCHAR payload[CHIP_CONFIG_PAYLOAD_SIZE] = {};
    PSTR text = reinterpret_cast<PSTR>(payload + CHIP_CONFIG_TEXT_OFFSET);
    if (!NT_SUCCESS(RtlStringCbPrintfA(text, CHIP_CONFIG_TEXT_MAX, "EdccaAntGain %d", static_cast<int>(gain)))) {
        return STATUS_UNSUCCESSFUL;
    }
    const USHORT length = static_cast<USHORT>(std::strlen(text));
    payload[CHIP_CONFIG_LENGTH_OFFSET] = static_cast<UCHAR>(length);
    payload[CHIP_CONFIG_LENGTH_OFFSET + 1] = static_cast<UCHAR>(length >> 8);
    return QzCmdSetChipConfig(adapter, payload);
}

NTSTATUS QZCmdUpdateMiracastMode(PMP_ADAPTER adapter, UCHAR mode)
{
    adapter->StaConnect.MiracastMode = mode;
    UCHAR payload[CHIP_CONFIG_PAYLOAD_SIZE] = {};
    PSTR text = reinterpret_cast<PSTR>(payload + CHIP_CONFIG_TEXT_OFFSET);
    if (!NT_SUCCESS(RtlStringCbPrintfA(text, CHIP_CONFIG_TEXT_MAX, "mira %d", static_cast<int>(mode)))) {
        return STATUS_UNSUCCESSFUL;
    }
    const USHORT length = static_cast<USHORT>(sizeof("mira") - 1 + 2);
    payload[CHIP_CONFIG_LENGTH_OFFSET] = static_cast<UCHAR>(length);
    payload[CHIP_CONFIG_LENGTH_OFFSET + 1] = static_cast<UCHAR>(length >> 8);
    return QzCmdSetChipConfig(adapter, payload);
}

namespace {

// The two dwell-time texts: "<key> <time>", the length field the text's length.
void SendDwellText(PMP_ADAPTER adapter, PCSTR format, USHORT time)
{
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, CHIP_CONFIG_PAYLOAD_SIZE, TAG_ZV47) != STATUS_SUCCESS ||
        block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "dwell time %u: no payload", static_cast<unsigned>(time));
        return;
    }
    auto* payload = static_cast<PUCHAR>(block);
    PlatformZeroMemory(payload, CHIP_CONFIG_PAYLOAD_SIZE);
    char text[30] = {};
    if (NT_SUCCESS(RtlStringCbPrintfA(text, sizeof(text), format, static_cast<int>(time)))) {
        const USHORT length = static_cast<USHORT>(std::strlen(text));
        payload[CHIP_CONFIG_LENGTH_OFFSET] = static_cast<UCHAR>(length);
        payload[CHIP_CONFIG_LENGTH_OFFSET + 1] = static_cast<UCHAR>(length >> 8);
        PlatformMoveMemory(payload + CHIP_CONFIG_TEXT_OFFSET, text, length);
        const NTSTATUS status = QzCmdSetChipConfig(adapter, payload);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s not sent: 0x%08X", text, static_cast<unsigned>(status));
        }
    }
    PlatformFreeMemory(block, CHIP_CONFIG_PAYLOAD_SIZE);
}

// "<key> <microseconds>" for port 0; the length field is the key's length + `lengthExtra`.
NTSTATUS SendMicroseconds(PMP_ADAPTER adapter, PCSTR key, ULONG microseconds, USHORT lengthExtra)
{
    UCHAR payload[CHIP_CONFIG_PAYLOAD_SIZE] = {};
    PSTR text = reinterpret_cast<PSTR>(payload + CHIP_CONFIG_TEXT_OFFSET);
    if (!NT_SUCCESS(RtlStringCbPrintfA(text, CHIP_CONFIG_TEXT_MAX, "%s %u", key, static_cast<unsigned>(microseconds)))) {
        return STATUS_UNSUCCESSFUL;
    }
    const USHORT length = static_cast<USHORT>(std::strlen(key) + lengthExtra);
    payload[CHIP_CONFIG_LENGTH_OFFSET] = static_cast<UCHAR>(length);
    payload[CHIP_CONFIG_LENGTH_OFFSET + 1] = static_cast<UCHAR>(length >> 8);
    return QzCmdSetChipConfig(adapter, payload);
}

}  // namespace

void QzCmdSetMinDwellTime(PMP_ADAPTER adapter, USHORT time) { SendDwellText(adapter, "ScnChannelDwellTimeMin %d", time); }

void QzCmdSetDFSTime(PMP_ADAPTER adapter, USHORT time) { SendDwellText(adapter, "ScnChannelDFSTime %d", time); }

NTSTATUS QZCmdUpdateStayTime(PMP_ADAPTER adapter, PMP_PORT port, ULONG microseconds)
{
    if (adapter == nullptr || port == nullptr || !port->Active || microseconds == 0 || adapter->UniEvent.DbdcMode != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "stay time %u us not sent", static_cast<unsigned>(microseconds));
        return STATUS_UNSUCCESSFUL;
    }
    if (adapter->RegistryBlock.HotspotMCCTputOptimization != 0) {
        if (port->Mlme.Scan.LastStayTime == microseconds) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "stay time %u us already sent", static_cast<unsigned>(microseconds));
            return STATUS_UNSUCCESSFUL;
        }
        port->Mlme.Scan.LastStayTime = microseconds;
    }
    PCSTR key = "MccStaQuotaTimeInUs";
    ULONG role = 2;
    if (port->PortType == WFD_GO) {
        key = "MccP2pGoQuotaTimeInUs";
        role = 0;
    } else if (port->PortType == WFD_CLIENT) {
        key = "MccP2pGcQuotaTimeInUs";
        role = 1;
    }
    adapter->Mlme.Scan.StayQuotaMs[role] = microseconds / 1000;
    return SendMicroseconds(adapter, key, microseconds, 7);
}

NTSTATUS QZCmdUpdateGoBrakeTime(PMP_ADAPTER adapter, PMP_PORT port, ULONG microseconds)
{
    if (adapter == nullptr || port == nullptr || !port->Active || microseconds == 0 || port->PortType != WFD_GO ||
        adapter->UniEvent.DbdcMode != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "group owner brake time %u us not sent", static_cast<unsigned>(microseconds));
        return STATUS_UNSUCCESSFUL;
    }
    return SendMicroseconds(adapter, "CnmAbsenceMarginInUs", microseconds, 5);
}

// ---- device, log and recovery controls -----------------------------------------------------------------
NTSTATUS QzCmdSetFWLog(PMP_ADAPTER adapter)
{
    if (adapter == nullptr || adapter->FwToHost != 1) {
        return STATUS_SUCCESS;
    }
    if (HalIsThirdGeneration(adapter->DeviceId) && adapter->RegistryBlock.FWIndexLogCheck) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "firmware log to host: the log ring is read instead");
        return STATUS_SUCCESS;
    }
    const UCHAR payload[4] = {2, 0, 0, 0};
    return FwSettingSendPort0(adapter, FW_CMD_ID_FW_LOG, FW_CMD_CLASS_NORMAL, 0, 0, 0x08, payload, sizeof(payload));
}

NTSTATUS QzCmdSerAction(PMP_ADAPTER adapter, UCHAR action, UCHAR parameter, UCHAR extra)
{
    const UCHAR payload[4] = {action, parameter, extra, 0};
    return FwSettingSendPort0(adapter, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, FW_EXT_CMD_SER_ACTION, 1, 0x08, payload,
                              sizeof(payload));
}

NTSTATUS QzCmdUpdateDBDCSetting(PMP_ADAPTER adapter, UCHAR enable, UCHAR bandFlag, UCHAR wait)
{
    UCHAR payload[FW_CMD_DBDC_PAYLOAD_SIZE] = {};
    payload[0] = enable;
    payload[1] = enable != 0 ? 2 : 0;
    payload[3] = bandFlag;
    return FwSettingSendPort0(adapter, FW_CMD_ID_DBDC, FW_CMD_CLASS_NORMAL, 0, 1, wait != 0 ? 13 : 8, payload,
                              sizeof(payload));
}

NTSTATUS QzCmdQueryCurrentRadioStatus(PMP_ADAPTER adapter, ULONG mode)
{
    const UCHAR generation = adapter != nullptr ? HalDeviceGeneration(adapter->DeviceId) : CHIP_GENERATION_NONE;
    if (mode == 0 && generation == CHIP_GENERATION_SECOND) {
        const UCHAR payload[2] = {0, 0};
        return FwSettingSendPort0(adapter, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, FW_EXT_CMD_RADIO_STATUS, 0, 0x08,
                                  payload, sizeof(payload));
    }
    if (mode == 1 && generation == CHIP_GENERATION_SECOND) {
        // Waits for the answer (extended event 0x9A), which switches the radio.
        const UCHAR payload[2] = {1, 0};
        return FwSettingSendPort0(adapter, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, FW_EXT_CMD_RADIO_STATUS, 1, 0x05,
                                  payload, sizeof(payload));
    }
    if (mode == 1 && generation == CHIP_GENERATION_THIRD) {
        PMP_PORT port = adapter->PortList[0];
        if (port == nullptr) {
            return STATUS_UNSUCCESSFUL;
        }
        const UCHAR payload[12] = {};
        return QzCmdSendSetQueryUniCmdAdv(port, UNI_CMD_ID_RADIO_STATUS, 1, 1, 0x05, nullptr, sizeof(payload), payload,
                                          0, 0, 255);
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "radio status query %u not supported on this chip", static_cast<unsigned>(mode));
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS QzCmdQueryCurrentTemperature(PMP_ADAPTER adapter)
{
    const UCHAR payload[4] = {};
    return FwSettingSendPort0(adapter, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, FW_EXT_CMD_TEMPERATURE, 1, 0x10, payload,
                              sizeof(payload));
}

NTSTATUS QzCmdQueryLinkQuality(PMP_ADAPTER adapter)
{
    return FwSettingSendPort0(adapter, FW_CMD_ID_LINK_QUALITY, FW_CMD_CLASS_NORMAL, 0, 1, 0x08, nullptr, 0);
}

NTSTATUS QzCmdSwDbgCtrl(PMP_ADAPTER adapter, ULONG id, ULONG value)
{
    UCHAR payload[FW_CMD_SW_DBG_PAYLOAD_SIZE] = {};
    RtlCopyMemory(payload, &id, sizeof(id));
    RtlCopyMemory(payload + 4, &value, sizeof(value));
    return FwSettingSendPort0(adapter, FW_CMD_ID_SW_DBG, FW_CMD_CLASS_NORMAL, 0, 1, 0x08, payload, sizeof(payload));
}

// ---- keys, offload, calibration, LEDs -------------------------------------------------------------------
void readFactlCalFile(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

BOOLEAN factCalKeyToBandIndex(ULONG key, PUCHAR band, PUCHAR index)
{
    if (band == nullptr || index == nullptr) {
        return FALSE;
    }
    if (key >= 100 && key <= 199) {
        *band = 0;
        *index = static_cast<UCHAR>(key - 100);
        return TRUE;
    }
    if (key >= 200 && key <= 600) {
        // Keys up to 600 give indexes up to 400, which a byte cannot hold: such a key is refused.
        if (key - 200 > 0xFF) {
            return FALSE;
        }
        *band = 1;
        *index = static_cast<UCHAR>(key - 200);
        return TRUE;
    }
    return FALSE;
}

NTSTATUS QzCmdFactCalSet(PMP_ADAPTER adapter, UCHAR band, UCHAR index)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(band);
    UNREFERENCED_PARAMETER(index);
    return NOT_BUILT_YET();
}

NTSTATUS QzCmdFactCalUpdateFlag(PMP_ADAPTER adapter, UCHAR flag)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(flag);
    return NOT_BUILT_YET();
}

NTSTATUS QzCmdSetRadioPowerState(PMP_ADAPTER adapter, UCHAR on)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(on);
    return NOT_BUILT_YET();
}

NTSTATUS QzCmdSetPowerCtrl(PMP_ADAPTER adapter, PMP_PORT port, UCHAR powerSaveMode)
{
    if (adapter == nullptr || port == nullptr || port->BssIndex > FW_POWER_CTRL_MAX_BSS_INDEX) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "power control %u: no port or no BSS index", static_cast<unsigned>(powerSaveMode));
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR payload[FW_POWER_CTRL_PAYLOAD_SIZE] = {port->BssIndex, powerSaveMode, 0, 0};
    const NTSTATUS status = QzCmdSendSetQuery(port, FW_CMD_ID_POWER_SAVE_MODE, FW_CMD_CLASS_NORMAL, 0, 1,
                                              FW_POWER_CTRL_OPTION, payload, sizeof(payload), nullptr, 0, 0);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "power control %u of BSS %u: 0x%08X", static_cast<unsigned>(powerSaveMode),
                 static_cast<unsigned>(port->BssIndex), static_cast<unsigned>(status));
        return status;
    }
    // The station's mode is what the power-save code compares with; U-APSD is a setting of its own.
    if (port->OpMode == 0 && powerSaveMode != 1) {
        adapter->Ps.FwStaMode = powerSaveMode;
    }
    return status;
}

NTSTATUS QZCmdSetSuspendMode(PMP_ADAPTER adapter, PMP_PORT port, UCHAR enable)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(enable);
    return NOT_BUILT_YET();
}

NTSTATUS QzCmdSetCurrentPacketFilter(PMP_ADAPTER adapter, PMP_PORT port, ULONG filter)
{
    if (adapter == nullptr || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "packet filter 0x%X: no adapter or port", static_cast<unsigned>(filter));
        return STATUS_UNSUCCESSFUL;
    }
    port->CurrentPacketFilter = filter;
    // The firmware always passes broadcast and multicast frames up; the host filters them.
    ULONG sent = filter;
    if ((sent & NDIS_PACKET_TYPE_BROADCAST) == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "packet filter 0x%X: broadcast forced on", static_cast<unsigned>(filter));
        sent |= NDIS_PACKET_TYPE_BROADCAST;
    }
    if ((sent & NDIS_PACKET_TYPE_MULTICAST) == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "packet filter 0x%X: multicast forced on", static_cast<unsigned>(filter));
        sent |= NDIS_PACKET_TYPE_MULTICAST;
    }
    UCHAR payload[FW_PACKET_FILTER_PAYLOAD_SIZE] = {};
    std::memcpy(payload, &sent, sizeof(sent));
    return QzCmdSendSetQuery(port, FW_CMD_ID_PACKET_FILTER, FW_CMD_CLASS_NORMAL, 0, 1, FW_PACKET_FILTER_OPTION, payload,
                             sizeof(payload), nullptr, 0, 0);
}

NTSTATUS QzCmdSetMulticastList(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* addresses, ULONG length)
{
    if (adapter == nullptr || port == nullptr || port->BssIndex >= FW_MULTICAST_MAX_BSS_INDEX) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "multicast list: no port or no BSS index");
        return STATUS_UNSUCCESSFUL;
    }
    if (length > FW_MULTICAST_ADDRESSES_MAX * MAC_ADDR_LEN || (length != 0 && addresses == nullptr)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "multicast list of %u bytes does not fit the command",
                 static_cast<unsigned>(length));
        return STATUS_INVALID_PARAMETER;
    }
    UCHAR payload[FW_MULTICAST_PAYLOAD_SIZE] = {};
    const ULONG count = length / MAC_ADDR_LEN;
    std::memcpy(payload, &count, sizeof(count));
    payload[FW_MULTICAST_BSS_OFFSET] = port->BssIndex;
    if (count != 0) {
        std::memcpy(payload + FW_MULTICAST_LIST_OFFSET, addresses, count * MAC_ADDR_LEN);
    }
    payload[FW_MULTICAST_END_OFFSET] = 0xFF;
    return QzCmdSendSetQuery(port, FW_CMD_ID_MULTICAST_LIST, FW_CMD_CLASS_NORMAL, 0, 1, FW_MULTICAST_OPTION, payload,
                             sizeof(payload), nullptr, 0, 0);
}

// ---- link parameters ---------------------------------------------------------------------------------------
VOID KOVAFilterSupportedRates(PMP_ADAPTER adapter, PUCHAR rates, PUCHAR count)
{
    static const UCHAR kOwnRates[12] = {2, 4, 11, 22, 12, 18, 24, 36, 48, 72, 96, 108};
    if (adapter == nullptr || rates == nullptr || count == nullptr) {
        return;
    }
    PMP_PORT port0 = adapter->PortList[0];
    const ADAPTER_WORKING_CFG& cfg = adapter->WorkingCfg;
    ULONG known = 12;
    if (port0 != nullptr && (port0->WirelessMode == PHY_11B ||
                             (cfg.NetworkType == 2 && cfg.AdhocOfdm == 0 && port0->Channel.PrimaryChannel <= 14))) {
        known = 4;
    }
    UCHAR kept = 0;
    for (ULONG i = 0; i < *count; ++i) {
        const UCHAR value = static_cast<UCHAR>(rates[i] & 0x7F);
        for (ULONG k = 0; k < known; ++k) {
            if (kOwnRates[k] == value) {
                rates[kept++] = rates[i];
                break;
            }
        }
    }
    *count = kept;
}
