// Firmware settings sent through the command layer's send call.
#include "Common/fwsettings.h"

#include "Common/qzcmd.h"
#include "hal/common/hal_chip.h"
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
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(mode);
    return NOT_BUILT_YET();
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
