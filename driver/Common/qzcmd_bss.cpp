// Network activation, station-record removal, key, default key, EDCA, power-management and beacon
// template commands.
#include "Common/qzcmd_bss.h"

#include <cstring>

#include "Common/bss_iot.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/rlm_vht.h"
#include "hal/common/phy_cfg.h"
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
constexpr UCHAR kFlagsKeyAnswer = 13;

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

// U-APSD in use for the power-management notice: the port has it on, the adapter's U-APSD option is on
// and WMM is in use.
BOOLEAN UapsdInUse(PMP_ADAPTER adapter, PMP_PORT port)
{
    return static_cast<BOOLEAN>(port->UapsdEnable != 0 && adapter->RegistryBlock.UAPSDSupport != 0 &&
                                port->WmmInUse != 0);
}

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
    const BOOLEAN pairwise = request->KeyKind == KEY_KIND_PAIRWISE;
    const CIPHER_KEY& key = *request->Key;
    KEY_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.Add = request->Install ? 1 : 0;
    wire.Pairwise = pairwise ? 1 : 0;
    wire.Pairwise2 = wire.Pairwise;
    PlatformMoveMemory(wire.PeerAddress, request->PeerAddress, MAC_ADDR_LEN);
    wire.BssIndex = request->BssIndex;
    wire.KeyIndex = request->KeyIndex;
    // The usage byte names the station entry the key belongs to.
    wire.Usage = request->WlanIndex;
    wire.Cipher = QzCmdFwCipher(key.CipherAlg);
    if (wire.Cipher == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "key of cipher code %u: no firmware cipher",
                 static_cast<unsigned>(key.CipherAlg));
    } else if (key.CipherAlg != CIPHER_BIP_GMAC256) {
        // The key bytes fill the material field (at most 32 bytes: the MIC keys of TKIP follow the
        // 16-byte key at offset 32 and 40).
        const ULONG keyLength = key.KeyLen < CIPHER_KEY_MAX ? key.KeyLen : CIPHER_KEY_MAX;
        if (key.CipherAlg == CIPHER_TKIP) {
            const ULONG tkipKey = keyLength < 16 ? keyLength : 16;
            PlatformMoveMemory(wire.Material, key.Key, tkipKey);
            PlatformMoveMemory(wire.Material + KEY_WIRE_TKIP_TX_MIC, key.TxMic, CIPHER_MIC_KEY_LEN);
            PlatformMoveMemory(wire.Material + KEY_WIRE_TKIP_RX_MIC, key.RxMic, CIPHER_MIC_KEY_LEN);
            wire.KeyLength = static_cast<UCHAR>(key.KeyLen + 16);
        } else {
            PlatformMoveMemory(wire.Material, key.Key, keyLength);
            wire.KeyLength = key.KeyLen;
        }
    }
    UCHAR flags = kFlagsNoAnswer8;
    if (pairwise && request->Install) {
        if (SecondGeneration(adapter)) {
            Qz3501ClearRxFrag(adapter, 1, 0);
        }
        flags = kFlagsKeyAnswer;
    }
    return SendSet(port, FW_CMD_ID_KEY, flags, &wire, sizeof(wire));
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
    if (UapsdInUse(adapter, port)) {
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

namespace {

constexpr UCHAR kWidth20_40 = 0;
constexpr UCHAR kWidth80 = 1;
constexpr UCHAR kWidth160 = 2;
constexpr UCHAR kWidth320 = 4;

BOOLEAN PortLinkedUp(PMP_PORT port) { return static_cast<BOOLEAN>((port->ConnectionFlags & PORT_CONN_CONNECTED) != 0); }

// The port's station entry of its role.
PMAC_TABLE_ENTRY RoleEntry(PMP_PORT port)
{
    const USHORT role = GetWlanRoleType(port);
    return role == WLAN_ROLE_NONE ? nullptr : MlmeSyncMacTabMatchedRoleType(port, role);
}

// The own entry of the first active station port.
PMAC_TABLE_ENTRY StationPortEntry(PMP_ADAPTER adapter)
{
    PMP_PORT station = MlmeSyncGetPortByType(adapter, EXTSTA);
    return station != nullptr ? RoleEntry(station) : nullptr;
}

USHORT Get16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
void Put16(PUCHAR p, ULONG v)
{
    p[0] = static_cast<UCHAR>(v);
    p[1] = static_cast<UCHAR>(v >> 8);
}
void Put32(PUCHAR p, ULONG v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// Bits 0-1 (one stream) and 2-3 (two streams) of an HE MCS map: 3 means not supported.
UCHAR HeMapStreams(USHORT map)
{
    if (((map >> 2) & 3) != 3) {
        return 2;
    }
    return (map & 3) != 3 ? 1 : 0;
}

// HT capability body offsets.
constexpr ULONG kHtCapInfo = 0;
constexpr ULONG kHtAmpdu = 2;
constexpr ULONG kHtMcs0 = 3;
constexpr ULONG kHtMcs1 = 4;
constexpr ULONG kHtExtCap = 19;
constexpr ULONG kHtTxBf = 21;
constexpr ULONG kHtAsel = 25;

// The radio-link width and centre channels of the entry's BSS on the port's channel.
void RlmWidth(PMP_ADAPTER adapter, PMP_PORT port, const MAC_TABLE_ENTRY& entry, PUCHAR rlm)
{
    const UCHAR primary = port->Channel.PrimaryChannel;
    switch (port->Channel.Band) {
    case BAND_5G: {
        const UCHAR* vhtOp = entry.PeerVhtOperation;
        const BOOLEAN op160Signalled = static_cast<BOOLEAN>(vhtOp[0] == 1 && vhtOp[1] != 0 && vhtOp[2] != 0);
        const BOOLEAN chipWide = static_cast<BOOLEAN>(adapter->HalInfo.MaxBandwidth >= 3);
        const BOOLEAN he160 = static_cast<BOOLEAN>((entry.PhyModeFlags & MAC_ENTRY_PHY_HE) != 0 &&
                                                   (entry.Rlm.HePhyCap[0] & 0x08) != 0);
        const BOOLEAN vht160 = static_cast<BOOLEAN>((entry.PhyModeFlags & MAC_ENTRY_PHY_VHT) != 0 &&
                                                    READ_PHY_CFG_BW(adapter, &port->Cfg.PhyCfg) == 3);
        if (op160Signalled && chipWide && (he160 || vht160)) {
            UCHAR decision = 0xFF;
            Vht5GBwDecisionByChannel(adapter, primary, vhtOp[2], &decision);
            if (decision == BW_160) {
                rlm[15] = kWidth160;
                rlm[16] = vhtOp[2];
            } else {
                rlm[15] = kWidth80;
                rlm[16] = vhtOp[1];
            }
            rlm[17] = 0;
        } else {
            rlm[15] = vhtOp[0];
            rlm[16] = vhtOp[1];
            rlm[17] = vhtOp[0] == kWidth160 ? vhtOp[2] : 0;
        }
        break;
    }
    case BAND_6G:
        if (entry.Rlm.He6gPresent) {
            if (entry.Rlm.EhtOn && (entry.Rlm.EhtOp.Control & 0x7) == kWidth320) {
                rlm[15] = kWidth320;
                rlm[16] = entry.Rlm.EhtOp.CentreSeg0;
                rlm[17] = entry.Rlm.EhtOp.CentreSeg1;
            } else {
                rlm[15] = entry.Rlm.He6gChannelWidth;
                rlm[16] = entry.Rlm.He6gSeg0;
                rlm[17] = entry.Rlm.He6gSeg1;
            }
        }
        break;
    default:
        rlm[15] = kWidth20_40;
        break;
    }
}

BOOLEAN FillRlm(PMP_ADAPTER adapter, PMP_PORT port, const MAC_TABLE_ENTRY& entry, PUCHAR rlm)
{
    rlm[0] = port->BssIndex;
    rlm[1] = static_cast<UCHAR>(port->Channel.Band);
    rlm[2] = port->Channel.PrimaryChannel;
    const UCHAR* htOp = entry.PeerHtOperation;
    rlm[3] = htOp[1] & 0x3;
    rlm[4] = entry.ErpProtection;
    rlm[5] = entry.HtProtectionMode;
    rlm[6] = 0;
    rlm[7] = entry.RifsMode;
    rlm[8] = htOp[4];
    rlm[9] = htOp[5];
    rlm[10] = htOp[2];
    rlm[11] = htOp[3];
    rlm[12] = htOp[1];
    rlm[14] = 1;
    RlmWidth(adapter, port, entry, rlm);
    Put16(rlm + 18, entry.BasicRateBitmap);
    UCHAR tx;
    UCHAR rx;
    if (port->Channel.Band == BAND_6G) {
        tx = HeMapStreams(entry.Rlm.HeMcsMap[HE_MCS_TX_80]);
        rx = HeMapStreams(entry.Rlm.HeMcsMap[HE_MCS_RX_80]);
    } else if (entry.PeerHtCapability[kHtMcs1] != 0 || entry.PeerHtCapability[kHtMcs0] == 0) {
        tx = 2;
        rx = 2;
    } else {
        tx = 1;
        rx = 1;
    }
    // A chip that reported no stream configuration leaves the counts as the peer allows them.
    const UCHAR chipTx = static_cast<UCHAR>(adapter->Cap.ChipStreams >> 4);
    const UCHAR chipRx = static_cast<UCHAR>(adapter->Cap.ChipStreams & 0x0F);
    rlm[20] = chipTx != 0 && tx > chipTx ? chipTx : tx;
    rlm[21] = chipRx != 0 && rx > chipRx ? chipRx : rx;
    return TRUE;
}

// U-APSD for the station record: the port has it on, the adapter's option is on or the port's state
// is 3, and WMM is in use.
BOOLEAN StaRecUapsd(PMP_ADAPTER adapter, PMP_PORT port)
{
    return static_cast<BOOLEAN>(port->UapsdEnable != 0 &&
                                (adapter->RegistryBlock.UAPSDSupport != 0 || port->State == 3) && port->WmmInUse != 0);
}

// The one peer whose station records carry no A-MSDU.
constexpr char kNoAmsduDevice[] = "[LG] webOS TV UK6320PWE";

BOOLEAN NoAmsduDevice(const MAC_TABLE_ENTRY& entry)
{
    const ULONG length = entry.DeviceNameLen;
    if (length == 0 || length > sizeof(entry.DeviceName) || length > sizeof(kNoAmsduDevice) - 1) {
        return FALSE;
    }
    return static_cast<BOOLEAN>(std::memcmp(entry.DeviceName, kNoAmsduDevice, length) == 0);
}

void StaRecAmsdu(PMP_ADAPTER adapter, PMP_PORT port, const MAC_TABLE_ENTRY& entry, PUCHAR record)
{
    UCHAR tx = adapter->WorkingCfg.AMSDUTx;
    UCHAR rx = adapter->WorkingCfg.AMSDURx;
    const ULONG chipBits = adapter->HalInfo.CapBits;
    if ((entry.PhyModeFlags & MAC_ENTRY_PHY_VHT) != 0) {
        tx = static_cast<UCHAR>(tx & ((chipBits >> 2) & 1));
        rx = static_cast<UCHAR>(rx & ((chipBits >> 3) & 1));
    } else if ((entry.PhyModeFlags & MAC_ENTRY_PHY_HT) != 0) {
        tx = static_cast<UCHAR>(tx & (chipBits & 1));
        rx = static_cast<UCHAR>(rx & ((chipBits >> 1) & 1));
    }
    if (port->WirelessMode == PHY_11ABG_MIXED || port->WirelessMode == PHY_11G ||
        port->WirelessMode == PHY_11ABGN_MIXED) {
        rx = 0;
    }
    if (NoAmsduDevice(entry)) {
        tx = 0;
        rx = 0;
    }
    if (adapter->RegistryBlock.HotspotMCCTputOptimization != 0) {
        rx = 1;
    }
    if ((entry.PhyModeFlags & MAC_ENTRY_PHY_HE) != 0 && PortLinkedUp(port)) {
        tx = static_cast<UCHAR>(tx & (port->Rlm.He.Flag10 != 0 ? 1 : 0));
        rx = static_cast<UCHAR>(rx & (port->Rlm.He.Flag9 != 0 ? 1 : 0));
        if (port->PortType == WFD_GO && port->StartedAsGo != 0) {
            rx = 1;
        }
    }
    if (QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X && (entry.PhyModeFlags & MAC_ENTRY_PHY_EHT) != 0 &&
        PortLinkedUp(port)) {
        tx = static_cast<UCHAR>(tx & (port->Rlm.Eht.Flag4 != 0 ? 1 : 0));
        rx = static_cast<UCHAR>(rx & (port->Rlm.Eht.Flag5 != 0 ? 1 : 0));
    }
    record[128] = tx != 0 ? 1 : 0;
    record[129] = rx != 0 ? 1 : 0;
}

}  // namespace

BOOLEAN FillBssRlmParam(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR out, UCHAR useStationPort)
{
    if (adapter == nullptr || port == nullptr || out == nullptr) {
        return FALSE;
    }
    PMAC_TABLE_ENTRY entry = useStationPort ? StationPortEntry(adapter) : RoleEntry(port);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "radio-link parameters of port %u: no station entry",
                 static_cast<unsigned>(port->PortNumber));
        return FALSE;
    }
    PlatformZeroMemory(out, BSS_RLM_PAYLOAD_SIZE);
    return FillRlm(adapter, port, *entry, out);
}

NTSTATUS QzCmdSetBssRlmParam(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (port->BssIndex >= 4) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "radio-link parameters of BSS %u: not sent",
                 static_cast<unsigned>(port->BssIndex));
        return STATUS_SUCCESS;
    }
    UCHAR payload[BSS_RLM_PAYLOAD_SIZE] = {};
    if (!FillBssRlmParam(adapter, port, payload, 0)) {
        return STATUS_UNSUCCESSFUL;
    }
    return SendSet(port, FW_CMD_ID_BSS_RLM, kFlagsNoAnswer8, payload, sizeof(payload));
}

NTSTATUS QzCmdSetBssInfo(PMP_ADAPTER adapter, PMP_PORT port, UCHAR useStationPort)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (port->BssIndex >= BSS_INDEX_SLOT_COUNT || !adapter->BssIndexSlots[port->BssIndex].InUse) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "BSS information of port %u: no BSS slot in use",
                 static_cast<unsigned>(port->PortNumber));
        return STATUS_UNSUCCESSFUL;
    }
    PMAC_TABLE_ENTRY own = RoleEntry(port);
    PMAC_TABLE_ENTRY entry = useStationPort ? StationPortEntry(adapter) : own;
    if (own == nullptr || entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "BSS information of port %u: no station entry",
                 static_cast<unsigned>(port->PortNumber));
        return STATUS_UNSUCCESSFUL;
    }
    const BOOLEAN linkUp = PortLinkedUp(port);
    const BOOLEAN apPort = static_cast<BOOLEAN>(port->PortType == WFD_GO || port->PortType == EXTAP);
    UCHAR payload[BSS_INFO_PAYLOAD_SIZE] = {};
    payload[0] = port->BssIndex;
    payload[1] = linkUp ? 0 : 1;
    payload[2] = port->PortType == WFD_GO ? 2 : 0;
    const UCHAR ssidLength = port->CurrentSsidLen <= 32 ? port->CurrentSsidLen : 32;
    payload[3] = ssidLength;
    PlatformMoveMemory(payload + 4, port->CurrentSsid, ssidLength);
    PlatformMoveMemory(payload + 36, port->Bssid, MAC_ADDR_LEN);
    payload[42] = port->WmmInUse;
    Put16(payload + 44, entry->SupportedRateBitmap);
    Put16(payload + 46, entry->BasicRateBitmap);
    payload[48] = own->StaRecIdx;
    Put16(payload + 50, entry->InitialTxRate);
    payload[52] = entry->NonHtPhyKind;
    payload[53] = AuthModeToFwAuthMode(own->AuthMode);
    payload[54] = port->ConnectionType;
    payload[55] = entry->PhyModeFlagsCopy;
    payload[58] = MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
    payload[59] = apPort ? (adapter->GoHidingOption == 1 ? 1 : 0) : port->ConnectOption;
    if (linkUp && bssGetIotApAction(adapter, port) == 7) {
        payload[61] = 7;
        payload[49] = adapter->IotApRuleMatched;
    }
    (void)FillRlm(adapter, port, *entry, payload + BSS_INFO_RLM_OFFSET);
    payload[90] = 4;
    payload[91] = 0;  // the port's index byte, which port initialisation sets to 0

    UCHAR streams;
    if (port->Channel.Band == BAND_6G) {
        streams = HeMapStreams(entry->Rlm.HeMcsMap[HE_MCS_TX_80]);
    } else if (entry->PeerHtCapability[kHtMcs1] != 0) {
        streams = 2;
    } else {
        streams = entry->PeerHtCapability[kHtMcs0] != 0 ? 1 : 2;
    }
    const UCHAR chipTx = static_cast<UCHAR>(adapter->Cap.ChipStreams >> 4);
    if (chipTx != 0 && streams > chipTx) {
        streams = chipTx;
        entry->PeerHtCapability[kHtMcs1] = 0;
    }
    payload[93] = streams;
    port->StreamCount = streams;
    PlatformMoveMemory(payload + 96, entry->Rlm.HeOp.Params, 3);
    payload[99] = entry->Rlm.HeOp.BssColorInfo;
    Put16(payload + 100, entry->Rlm.HeOp.BasicHeMcsNss);
    payload[102] = port->JoinParam[0];
    payload[103] = port->JoinParam[1];
    return SendSet(port, FW_CMD_ID_BSS_INFO, kFlagsNoAnswer, payload, sizeof(payload));
}

NTSTATUS QzCmdSendStaRecUpdate(PMP_ADAPTER adapter, PMP_PORT port, struct _MAC_TABLE_ENTRY* entry, const UCHAR* block)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (entry == nullptr) {
        entry = RoleEntry(port);
    }
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "station record of port %u: no station entry",
                 static_cast<unsigned>(port->PortNumber));
        return STATUS_UNSUCCESSFUL;
    }
    const BOOLEAN vht = static_cast<BOOLEAN>((entry->PhyModeFlags & MAC_ENTRY_PHY_VHT) != 0);
    const BOOLEAN he = static_cast<BOOLEAN>((entry->PhyModeFlags & MAC_ENTRY_PHY_HE) != 0);
    const BOOLEAN eht = static_cast<BOOLEAN>((entry->PhyModeFlags & MAC_ENTRY_PHY_EHT) != 0);
    const BOOLEAN third = static_cast<BOOLEAN>(QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X);
    const BOOLEAN linkUp = PortLinkedUp(port);
    // The bandwidth-selection settings take the 40 MHz support away from the entry itself, so that
    // every later user of the entry sees it too.
    const BOOLEAN narrow24 = static_cast<BOOLEAN>(adapter->RegistryBlock.BWSelection24G != 0 &&
                                                  port->Channel.Band == BAND_24G);
    const BOOLEAN narrow5 = static_cast<BOOLEAN>(adapter->RegistryBlock.BWSelection5G != 0 &&
                                                 port->Channel.Band == BAND_5G);
    if (narrow24 || narrow5) {
        entry->PeerHtCapability[kHtCapInfo] = static_cast<UCHAR>(entry->PeerHtCapability[kHtCapInfo] & ~0x02);
    }
    if (narrow5 && vht) {
        entry->PeerVhtBandwidth = 0;
    }

    UCHAR record[STA_REC_PAYLOAD_SIZE] = {};
    const UCHAR* ht = entry->PeerHtCapability;
    const UCHAR* vhtCap = entry->PeerVhtCapability;
    record[0] = entry->StaRecIdx;
    record[1] = static_cast<UCHAR>(entry->EntryType);
    PlatformMoveMemory(record + 2, entry->Addr, MAC_ADDR_LEN);
    Put16(record + 8, entry->Aid != 0 ? entry->Aid : entry->WlanIdx);
    const BOOLEAN apClient = static_cast<BOOLEAN>((port->PortType == EXTAP || port->PortType == WFD_GO) &&
                                                  entry->Kind != MAC_ENTRY_KIND_OWN_BSS);
    Put16(record + 10, apClient ? entry->ListenInterval : adapter->Mlme.ListenInterval);
    record[12] = port->BssIndex;
    record[13] = entry->PhyModeFlags;
    Put16(record + 14, entry->LegacyRateBitmap);
    Put16(record + 16, entry->BasicRateBitmap);
    record[18] = port->WmmInUse;
    const BOOLEAN uapsd = StaRecUapsd(adapter, port);
    record[19] = uapsd ? 1 : 0;
    record[20] = entry->Dot11State >= 1 && entry->Dot11State <= 3 ? static_cast<UCHAR>(entry->Dot11State - 1) : 0;
    record[21] = ht[kHtMcs0];
    record[23] = 1;
    PlatformMoveMemory(record + 24, ht + kHtMcs0, 10);
    record[40] = ht[kHtCapInfo];
    record[41] = ht[kHtCapInfo + 1];
    record[42] = ht[kHtExtCap];
    record[43] = ht[kHtExtCap + 1];
    PlatformMoveMemory(record + 44, ht + kHtTxBf, 4);
    record[48] = ht[kHtAmpdu];
    record[49] = ht[kHtAsel];
    record[50] = entry->AssocPortByte;
    record[51] = entry->Dot11State == 3 ? 1 : 0;
    if (uapsd) {
        const UCHAR map = UapsdMap(port);
        record[52] = static_cast<UCHAR>(map | (map << 4));
        record[53] = port->UapsdMaxSp;
    }
    record[54] = entry->WlanIdx;
    record[55] = 0xFF;
    PlatformMoveMemory(record + 56, vhtCap, 4);
    Put16(record + 60, Get16(vhtCap + 4));
    Put16(record + 62, Get16(vhtCap + 6) & 0x1FFF);
    Put16(record + 64, Get16(vhtCap + 8));
    Put16(record + 66, Get16(vhtCap + 10) & 0x1FFF);
    record[68] = 3;
    if (vht) {
        const UCHAR streams = entry->PeerVhtStreams;
        const UCHAR nss = streams == 0 ? 0 : streams == 0xFF ? 1 : static_cast<UCHAR>(streams - 1);
        record[69] = static_cast<UCHAR>((entry->PeerVhtBandwidth & 0x3) | ((nss & 0x7) << 4));
    }
    record[70] = entry->AssocEntryByte;
    record[72] = static_cast<UCHAR>(READ_PHY_CFG_SHORT_GI(adapter, &port->Cfg.PhyCfg));
    record[73] = static_cast<UCHAR>(READ_PHY_CFG_STBC(adapter, &port->Cfg.PhyCfg));
    Put16(record + 74, entry->InitialTxRate);
    record[76] = adapter->WorkingCfg.AMPDUTx;
    record[77] = adapter->WorkingCfg.AMPDURx;
    if (eht) {
        Put16(record + 92, 1024);
        Put16(record + 94, 1024);
    } else if (he) {
        Put16(record + 92, port->Rlm.He.BaSizeLow);
        Put16(record + 94, port->Rlm.He.BaSizeHigh);
    } else {
        record[92] = static_cast<UCHAR>(port->BaWindowLimit);
        record[93] = static_cast<UCHAR>(port->BaWindowLimit);
    }
    if (block != nullptr) {
        PlatformMoveMemory(record + 96, block, 32);
    }
    StaRecAmsdu(adapter, port, *entry, record);
    Put32(record + 132, adapter->HalInfo.CapWord);
    if (he && linkUp) {
        PlatformMoveMemory(record + 136, entry->Rlm.HeMacCap, 6);
        PlatformMoveMemory(record + 142, entry->Rlm.HePhyCap, 11);
        for (ULONG i = 0; i < HE_MCS_MAPS; ++i) {
            Put16(record + 156 + 2 * i, entry->Rlm.HeMcsMap[i]);
        }
        if (entry->Rlm.He6gPresent) {
            Put16(record + 168, entry->Rlm.He6gCap);
        }
    }
    if (third && eht && linkUp) {
        const EHT_CAPABILITY_INFO& cap = entry->Rlm.EhtCap;
        PlatformMoveMemory(record + 200, cap.MacCap, 2);
        PlatformMoveMemory(record + 202, cap.PhyCap, 8);
        record[210] = cap.PhyCap[8];
        PlatformMoveMemory(record + 218, cap.Mcs20Only, 4);
        PlatformMoveMemory(record + 222, cap.Mcs80, 3);
        PlatformMoveMemory(record + 225, cap.Mcs160, 3);
        PlatformMoveMemory(record + 228, cap.Mcs320, 3);
    }
    const ULONG length = SecondGeneration(adapter) ? STA_REC_PAYLOAD_SIZE_GEN2 : STA_REC_PAYLOAD_SIZE;
    return SendSet(port, FW_CMD_ID_STA_REC_UPDATE, kFlagsNoAnswer8, record, length);
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
