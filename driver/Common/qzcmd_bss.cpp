// Network activation, station-record removal, key, default key, EDCA, power-management and beacon
// template commands.
#include "Common/qzcmd_bss.h"

#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd_services.h"
#include "Common/recv.h"
#include "hal/common/hal_postdl.h"
#include "Common/mlme/mlmeinfo.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kFlagsNoAnswer = 16;
constexpr UCHAR kFlagsNoAnswer8 = 8;

NTSTATUS SendSet(PMP_PORT port, UCHAR cmdId, UCHAR flags, const void* payload, ULONG length)
{
    return QzCmdSendSetQuery(port, cmdId, FW_CMD_CLASS_NORMAL, 0, 1, flags, payload, static_cast<USHORT>(length),
                             nullptr, 0, 0);
}

PMP_PORT PortOfBssIndex(PMP_ADAPTER adapter, UCHAR bssIndex, PCSTR what)
{
    PMP_PORT port = adapter != nullptr ? GetPortByBssIndex(adapter, bssIndex) : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: no port of BSS index %u", what, static_cast<unsigned>(bssIndex));
    }
    return port;
}

BOOLEAN SecondGeneration(PMP_ADAPTER adapter) { return QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL2X; }

// U-APSD in use for power-management notices and station records: the port has it on and WMM is in use.
BOOLEAN UapsdInUse(PMP_PORT port) { return static_cast<BOOLEAN>(port->UapsdEnable != 0 && port->WmmInUse != 0); }

UCHAR UapsdMap(PMP_PORT port)
{
    UCHAR map = 0;
    for (ULONG ac = 0; ac < 4; ++ac) {
        map = static_cast<UCHAR>(map | (port->UapsdAc[ac] != 0 ? 1u << ac : 0));
    }
    return map;
}

}  // namespace

NTSTATUS QzCmdActivateDeactivateNetwork(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR activate)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (activate && AdapterTestFlags(adapter, ADAPTER_FLAG_OS_SCAN) && adapter->ScanTaskAborted) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "activation of BSS %u refused: the OS scan task was aborted",
                 static_cast<unsigned>(bssIndex));
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT port = PortOfBssIndex(adapter, bssIndex, __func__);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    BSS_ACTIVATE_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.BssIndex = bssIndex;
    wire.Activate = activate ? 1 : 0;
    wire.NetworkType = static_cast<UCHAR>(GetWlanRoleType(port));
    wire.OwnMacIndex = port->OwnMacIndex;
    const UCHAR ownWlanIndex = MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
    if (activate) {
        PlatformMoveMemory(wire.OwnAddress, port->MacAddress, MAC_ADDR_LEN);
        wire.OwnWlanIndex = ownWlanIndex;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "BSS %u %s", static_cast<unsigned>(bssIndex),
             activate ? "activated" : "deactivated");
    NTSTATUS status = SendSet(port, FW_CMD_ID_BSS_ACTIVATE, kFlagsNoAnswer, &wire, sizeof(wire));
    if (!activate) {
        (void)QzCmdSendStaRecRemove(adapter, 1, STA_REC_REMOVE_ALL_WLAN_INDEX, bssIndex);
    }
    if (status == STATUS_SUCCESS) {
        port->NetworkActivation[0] = wire.Activate;
        port->NetworkActivation[1] = wire.Activate;
        if (!activate && ownWlanIndex != WLAN_INDEX_NONE) {
            MacTabResetWlanIdxRecord(adapter, ownWlanIndex);
        }
    }
    return status;
}

NTSTATUS QzCmdSendStaRecRemove(PMP_ADAPTER adapter, UCHAR removeAll, UCHAR wlanIndex, UCHAR bssIndex)
{
    PMP_PORT port = PortOfBssIndex(adapter, bssIndex, __func__);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (SecondGeneration(adapter)) {
        Qz3501ClearRxFrag(adapter, 1, 0);
    }
    const UCHAR payload[4] = {static_cast<UCHAR>(removeAll ? 1 : 0), wlanIndex, bssIndex, 0};
    return SendSet(port, FW_CMD_ID_STA_REC_REMOVE, kFlagsNoAnswer8, payload, sizeof(payload));
}

UCHAR QzCmdFwCipher(UCHAR driverCipher)
{
    switch (driverCipher) {
    case 1:
        return 1;
    case 2:
        return 5;
    case 3:
        return 2;
    case 4:
    case 6:
    case 12:
    case 17:
        return driverCipher;
    default:
        return 0;
    }
}

NTSTATUS QzCmdSetAddDeleteKey(PMP_ADAPTER adapter, const struct _KEY_REQUEST* request)
{
    if (adapter == nullptr || request == nullptr || request->Key == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT port = PortOfBssIndex(adapter, request->BssIndex, __func__);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (request->Install) {
        // The key record does not carry its key material yet: a key cannot be installed.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "key %u of BSS %u: the key record holds no key material",
                 static_cast<unsigned>(request->KeyIndex), static_cast<unsigned>(request->BssIndex));
        return NOT_BUILT_YET();
    }
    const BOOLEAN pairwise = request->KeyKind == KEY_KIND_PAIRWISE;
    KEY_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.Add = 0;
    wire.Pairwise = pairwise ? 1 : 0;
    wire.Pairwise2 = wire.Pairwise;
    PlatformMoveMemory(wire.PeerAddress, request->PeerAddress, MAC_ADDR_LEN);
    wire.BssIndex = request->BssIndex;
    wire.KeyIndex = request->KeyIndex;
    // The usage byte names the station entry the key belongs to.
    wire.Usage = request->WlanIndex;
    wire.Cipher = QzCmdFwCipher(request->Key->CipherAlg);
    if (wire.Cipher == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "key of cipher code %u: no firmware cipher",
                 static_cast<unsigned>(request->Key->CipherAlg));
    }
    return SendSet(port, FW_CMD_ID_KEY, kFlagsNoAnswer8, &wire, sizeof(wire));
}

NTSTATUS QzCmdSetDefaultKeyId(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR keyIndex, UCHAR usage)
{
    PMP_PORT port = PortOfBssIndex(adapter, bssIndex, __func__);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR payload[4] = {bssIndex, keyIndex, usage, 1};
    return SendSet(port, FW_CMD_ID_DEFAULT_KEY, kFlagsNoAnswer8, payload, sizeof(payload));
}

NTSTATUS QzCmdSetEdcaParm(PMP_ADAPTER adapter, PMP_PORT port, const QZ_EDCA_PARAMS* edca)
{
    if (adapter == nullptr || port == nullptr || edca == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const BOOLEAN third = QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X;
    const BOOLEAN sigma = (adapter->RegistryBlock.SigmaEn & 1) != 0;
    EDCA_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    for (ULONG ac = 0; ac < 4; ++ac) {
        const QZ_EDCA_AC& in = edca->Ac[ac];
        EDCA_AC_WIRE& out = wire.Ac[ac];
        // Exponents above 15 would not fit the 16-bit window: they are taken as 15.
        const UCHAR cwMin = in.CwMin > 15 ? 15 : in.CwMin;
        const UCHAR cwMax = in.CwMax > 15 ? 15 : in.CwMax;
        out.Aifsn = in.Aifsn;
        out.CwMin = third ? cwMin : static_cast<USHORT>((1u << cwMin) - 1);
        out.CwMax = third ? cwMax : static_cast<USHORT>((1u << cwMax) - 1);
        out.TxopLimit = in.TxopLimit;
        out.Acm = in.Acm;
    }
    if (!sigma && wire.Ac[0].TxopLimit < adapter->RegistryBlock.TxopLimit) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "TXOP limit %u of access category 0 raised to %u",
                 static_cast<unsigned>(wire.Ac[0].TxopLimit), static_cast<unsigned>(adapter->RegistryBlock.TxopLimit));
        wire.Ac[0].TxopLimit = adapter->RegistryBlock.TxopLimit;
    }
    wire.BssIndex = port->BssIndex;
    wire.WmmInUse = port->WmmInUse;
    // The zero index byte is written only for the Sigma test set-up; it is 0 either way.
    return SendSet(port, FW_CMD_ID_EDCA, kFlagsNoAnswer8, &wire, sizeof(wire));
}

NTSTATUS QzCmdPmIndicateBssCreated(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    // u32 100 at byte 2.
    const UCHAR payload[8] = {port->BssIndex, port->DtimPeriod, 100, 0, 0, 0, 0, 0};
    return SendSet(port, FW_CMD_ID_PM_BSS_CREATED, kFlagsNoAnswer, payload, sizeof(payload));
}

NTSTATUS QzCmdSetPmIndicateBssConnected(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PM_BSS_CONNECTED_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.BssIndex = port->BssIndex;
    PLATFORM_RW_LOCK_STATE state;
    PlatformAcquireRWLockForRead(&port->RwLock, &state);
    wire.DtimPeriod = port->DtimPeriod;
    wire.AssociationId = port->AssociationId;
    wire.BeaconInterval = port->BeaconInterval;
    PlatformReleaseRWLock(&port->RwLock, &state);
    wire.SecondTimingWord = port->SecondTimingWord;
    if (UapsdInUse(port)) {
        wire.UapsdInUse = 1;
        wire.UapsdMap = UapsdMap(port);
        wire.UapsdMap2 = wire.UapsdMap;
    }
    return SendSet(port, FW_CMD_ID_PM_BSS_CONNECTED, kFlagsNoAnswer8, &wire, sizeof(wire));
}

NTSTATUS QzCmdPmDisable(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR payload[4] = {port->BssIndex};
    return SendSet(port, FW_CMD_ID_PM_DISABLE, kFlagsNoAnswer, payload, sizeof(payload));
}

NTSTATUS QzCmdUpdateBeacon(PMP_ADAPTER adapter, PMP_PORT port, UCHAR action, const UCHAR* frame, USHORT length)
{
    if (adapter == nullptr || port == nullptr || (length != 0 && frame == nullptr)) {
        return STATUS_UNSUCCESSFUL;
    }
    if (length > BEACON_TEMPLATE_MAX) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "template of %u bytes is longer than %u", static_cast<unsigned>(length),
                 static_cast<unsigned>(BEACON_TEMPLATE_MAX));
        return STATUS_UNSUCCESSFUL;
    }
    UCHAR payload[BEACON_TEMPLATE_PAYLOAD_SIZE] = {};
    BEACON_TEMPLATE_HEAD_WIRE head{};
    head.Action = action;
    head.BssIndex = port->BssIndex;
    head.CapabilityInfo = port->CapabilityInfoLow;
    head.Length = length;
    PlatformMoveMemory(payload, &head, sizeof(head));
    PlatformMoveMemory(payload + sizeof(head), frame, length);
    return SendSet(port, FW_CMD_ID_BEACON_TEMPLATE, kFlagsNoAnswer8, payload, sizeof(payload));
}

NTSTATUS QzCmdSetBssInfo(PMP_ADAPTER adapter, PMP_PORT port, UCHAR useStationPort) { return NOT_BUILT_YET(); }

NTSTATUS QzCmdSetBssRlmParam(PMP_ADAPTER adapter, PMP_PORT port) { return NOT_BUILT_YET(); }

NTSTATUS QzCmdSendStaRecUpdate(PMP_ADAPTER adapter, PMP_PORT port, struct _MAC_TABLE_ENTRY* entry, const UCHAR* block)
{
    return NOT_BUILT_YET();
}

NTSTATUS QZcmdnicQmUpdateMUEdcaParams(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    UCHAR payload[MU_EDCA_PAYLOAD_SIZE] = {};
    payload[4] = port->BssIndex;
    payload[5] = port->WmmInUse;
    PlatformMoveMemory(payload + 8, port->MuEdcaParams, sizeof(port->MuEdcaParams));
    return SendSet(port, FW_CMD_ID_MU_EDCA, kFlagsNoAnswer, payload, sizeof(payload));
}

NTSTATUS QZcmdnicRlmUpdateSRParams(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    UCHAR payload[SR_PARAMS_PAYLOAD_SIZE] = {};
    payload[4] = port->BssIndex;
    PlatformMoveMemory(payload + 5, port->SrControl, sizeof(port->SrControl));
    for (ULONG i = 0; i < 8; ++i) {
        payload[12 + i] = static_cast<UCHAR>(port->SrBssColorBitmap >> (8 * i));
        payload[20 + i] = static_cast<UCHAR>(port->SrPartialBssidBitmap >> (8 * i));
    }
    return QzCmdSendSetQuery(port, FW_CMD_ID_SR_PARAMS, FW_CMD_CLASS_NORMAL, FW_EXT_CMD_SR, 1, kFlagsNoAnswer8, payload,
                             sizeof(payload), nullptr, 0, 0);
}
