// A peer's HE elements, the HE check of the station link with its 6 GHz channel, the station entry's
// HE copy and the firmware's spatial-reuse switch.
#include "Common/he/he_rlm.h"

#include "Common/cnm.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd.h"
#include "Common/rlm_bits.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kHeCapFixed = 6 + 11 + 4;   // MAC, PHY, maps up to 80 MHz
constexpr ULONG kHeOpFixed = 7;             // extension id, parameters, colour, basic MCS set
constexpr ULONG kSrFixed = 2;               // extension id, SR control
constexpr ULONG kMuEdcaLength = 14;         // extension id, QoS info, four 3-byte records

// HE Operation Parameters bits (24-bit field).
constexpr ULONG kOpVhtInfoPresent = 14;
constexpr ULONG kOpCoHostedBss = 15;
constexpr ULONG kOp6gInfoPresent = 17;

// HE PHY capability bits.
constexpr ULONG kPhySuBeamformer = 31;
constexpr ULONG kPhyMuBeamformer = 33;
// HE MAC capability bits.

// Spatial Reuse Parameter Set: SR Control bits.
constexpr UCHAR kSrNonSrgOffsetPresent = 0x04;
constexpr UCHAR kSrSrgInfoPresent = 0x08;

// The SR commands' extended id and sub-command of the switch.
constexpr UCHAR kExtCmdSr = 0xA8;
constexpr UCHAR kSrSwitchSubCommand = 1;
constexpr UCHAR kFlagsNoAnswer = 8;
constexpr ULONG kSrSwitchPayload = 20;

// MU EDCA record of the port: four 8-byte slots {ECWmin, ECWmax, AIFSN, ACM, MU EDCA timer, 3 zero}.
constexpr ULONG kMuEdcaSlot = 8;

// 6 GHz 160 MHz centre channels.
constexpr UCHAR k6g160Centres[] = {15, 47, 79, 111, 143, 175, 207};

ULONG OperationParams(const HE_OPERATION_INFO& op)
{
    return static_cast<ULONG>(op.Params[0]) | (static_cast<ULONG>(op.Params[1]) << 8) |
           (static_cast<ULONG>(op.Params[2]) << 16);
}

ULONG RecordingBand(const MP_PORT* port)
{
    return (port == nullptr || port->Channel.Band == 0) ? RLM_BAND_6G : port->Channel.Band;
}

ULONG64 GetU64(const UCHAR* p)
{
    ULONG64 v = 0;
    for (ULONG i = 0; i < 8; ++i) {
        v |= static_cast<ULONG64>(p[i]) << (8 * i);
    }
    return v;
}

UCHAR LowerField(const UCHAR* a, const UCHAR* b, ULONG first, ULONG width)
{
    const ULONG x = RlmGetField(a, first, width);
    const ULONG y = RlmGetField(b, first, width);
    return static_cast<UCHAR>(x < y ? x : y);
}

}  // namespace

// ================================================================================================
// a peer's elements
// ================================================================================================
ULONG heRlmRecHeCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PHE_CAPABILITY_INFO heCap, const UCHAR* element)
{
    if (adapter == nullptr || heCap == nullptr || element == nullptr) {
        return 0;
    }
    const ULONG length = element[1];
    if (length < 1 + kHeCapFixed) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "HE Capabilities of length %u too short", static_cast<unsigned>(length));
        return 0;
    }
    const UCHAR* body = element + 3;
    for (ULONG i = 0; i < 6; ++i) {
        heCap->MacCap[i] = body[i];
    }
    for (ULONG i = 0; i < 11; ++i) {
        heCap->PhyCap[i] = body[6 + i];
    }
    if ((adapter->RegistryBlock.Config_11AX & 0x10) == 0) {
        // Without beamformee support of our own the peer's beamformer roles are of no use.
        RlmSetBit(heCap->PhyCap, kPhySuBeamformer, FALSE);
        RlmSetBit(heCap->PhyCap, kPhyMuBeamformer, FALSE);
    }
    return 3 + heRlmRecHeMcsMap(adapter, port, heCap, body, length - 1);
}

ULONG heRlmRecHeMcsMap(PMP_ADAPTER adapter, PMP_PORT port, PHE_CAPABILITY_INFO heCap, const UCHAR* body,
                       ULONG bodyLength)
{
    NEGOTIATED_LINK_CAPS& link = adapter->Rlm.Link;
    const UCHAR w = heRlmCapBandwidth(adapter, port, RecordingBand(port));
    const UCHAR* ownPhy = port != nullptr ? port->Rlm.He.PhyCap : nullptr;
    USHORT maps[HE_MCS_MAPS] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    ULONG at = kHeCapFixed - 4;
    // Streams 3 to 8 are never used with a peer.
    maps[HE_MCS_RX_80] = static_cast<USHORT>(RlmGetU16(body + at) | 0xFFF0);
    maps[HE_MCS_TX_80] = static_cast<USHORT>(RlmGetU16(body + at + 2) | 0xFFF0);
    at += 4;
    const UCHAR* peerPhy = heCap->PhyCap;
    struct Pair {
        ULONG bit;
        UCHAR minWidth;
        ULONG first;
    };
    const Pair pairs[2] = {{HE_PHY_WIDTH_160, MAX_BW_160, HE_MCS_RX_160}, {HE_PHY_WIDTH_8080, MAX_BW_8080, HE_MCS_RX_8080}};
    for (const Pair& pair : pairs) {
        if (!RlmGetBit(peerPhy, pair.bit)) {
            continue;
        }
        if (at + 4 > bodyLength) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "HE Capabilities announce a map pair past their end (%u bytes)",
                     static_cast<unsigned>(bodyLength));
            break;
        }
        if (ownPhy != nullptr && RlmGetBit(ownPhy, pair.bit) && w >= pair.minWidth) {
            maps[pair.first] = static_cast<USHORT>(RlmGetU16(body + at) | 0xFFF0);
            maps[pair.first + 1] = static_cast<USHORT>(RlmGetU16(body + at + 2) | 0xFFF0);
        }
        at += 4;
    }
    for (ULONG i = 0; i < HE_MCS_MAPS; ++i) {
        link.HeMcsMap[i] = maps[i];
        heCap->McsMap[i] = maps[i];
    }
    return at;
}

void heRlmRecHeOperation(PMP_ADAPTER adapter, PHE_OPERATION_INFO heOp, PUCHAR he6gOp, const UCHAR* element)
{
    UNREFERENCED_PARAMETER(adapter);
    if (heOp == nullptr || element == nullptr) {
        return;
    }
    const ULONG length = element[1];
    if (length < kHeOpFixed) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "HE Operation of length %u too short", static_cast<unsigned>(length));
        return;
    }
    const UCHAR* body = element + 2;
    for (ULONG i = 0; i < 3; ++i) {
        heOp->Params[i] = body[1 + i];
    }
    heOp->BssColorInfo = body[4];
    heOp->BasicHeMcsNss = RlmGetU16(body + 5);
    const ULONG params = OperationParams(*heOp);
    if (he6gOp == nullptr || length <= 10 || ((params >> kOp6gInfoPresent) & 1) == 0 ||
        ((params >> kOpVhtInfoPresent) & 1) != 0) {
        return;
    }
    const ULONG at = kHeOpFixed + ((params >> kOpCoHostedBss) & 1);
    if (at + HE_6G_OP_INFO_LEN > length) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "HE Operation of length %u cut inside its 6 GHz information",
                 static_cast<unsigned>(length));
        return;
    }
    for (ULONG i = 0; i < HE_6G_OP_INFO_LEN; ++i) {
        he6gOp[i] = body[at + i];
    }
}

BOOLEAN heRlmRecSRParams(PMP_PORT port, const UCHAR* element)
{
    if (port == nullptr || element == nullptr) {
        return FALSE;
    }
    const ULONG length = element[1];
    if (length < kSrFixed) {
        return FALSE;
    }
    const UCHAR* body = element + 3;
    const ULONG available = length - 1;
    const UCHAR control = body[0];
    ULONG at = 1;
    UCHAR nonSrgMax = 0;
    UCHAR srgMin = 0;
    UCHAR srgMax = 0;
    ULONG64 colours = 0;
    ULONG64 partialBssids = 0;
    if (control & kSrNonSrgOffsetPresent) {
        if (at + 1 > available) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "Spatial Reuse Parameter Set of length %u lacks its offset",
                     static_cast<unsigned>(length));
            return FALSE;
        }
        nonSrgMax = body[at++];
    }
    if (control & kSrSrgInfoPresent) {
        if (at + 18 > available) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "Spatial Reuse Parameter Set of length %u lacks its SRG part",
                     static_cast<unsigned>(length));
            return FALSE;
        }
        srgMin = body[at];
        srgMax = body[at + 1];
        colours = GetU64(body + at + 2);
        partialBssids = GetU64(body + at + 10);
    }
    const BOOLEAN changed = static_cast<BOOLEAN>(
        port->SrControl[0] != control || port->SrControl[1] != nonSrgMax || port->SrControl[2] != srgMin ||
        port->SrControl[3] != srgMax || port->SrBssColorBitmap != colours || port->SrPartialBssidBitmap != partialBssids);
    port->SrControl[0] = control;
    port->SrControl[1] = nonSrgMax;
    port->SrControl[2] = srgMin;
    port->SrControl[3] = srgMax;
    port->SrBssColorBitmap = colours;
    port->SrPartialBssidBitmap = partialBssids;
    return changed;
}

BOOLEAN mqmUpdateMUEdcaParams(PMP_PORT port, const UCHAR* element, UCHAR force)
{
    if (port == nullptr || element == nullptr || element[1] != kMuEdcaLength) {
        return FALSE;
    }
    const UCHAR count = static_cast<UCHAR>(element[3] & 0x0F);
    UCHAR records[sizeof(port->MuEdcaParams)] = {};
    for (ULONG ac = 0; ac < 4; ++ac) {
        const UCHAR* in = element + 4 + 3 * ac;
        PUCHAR out = records + kMuEdcaSlot * ac;
        out[0] = static_cast<UCHAR>(in[1] & 0x0F);         // ECWmin
        out[1] = static_cast<UCHAR>((in[1] >> 4) & 0x0F);  // ECWmax
        out[2] = static_cast<UCHAR>(in[0] & 0x0F);         // AIFSN
        out[3] = static_cast<UCHAR>((in[0] >> 4) & 0x01);  // ACM
        out[4] = in[2];                                     // MU EDCA timer
    }
    BOOLEAN same = static_cast<BOOLEAN>(port->Rlm.MuEdcaUpdateCount == count);
    for (ULONG i = 0; same && i < sizeof(records); ++i) {
        same = static_cast<BOOLEAN>(port->MuEdcaParams[i] == records[i]);
    }
    if (same && !force) {
        return FALSE;
    }
    port->Rlm.MuEdcaUpdateCount = count;
    for (ULONG i = 0; i < sizeof(records); ++i) {
        port->MuEdcaParams[i] = records[i];
    }
    return TRUE;
}

// ================================================================================================
// the station link
// ================================================================================================
BOOLEAN QZCheckHe(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const HE_CAPABILITY_INFO* peerCap,
                  const HE_OPERATION_INFO* peerOp, BOOLEAN join, const UCHAR* peer6gOp, const USHORT* peer6gCap)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= RLM_WLAN_INDEX_LIMIT || port->HeEnabled == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "HE check refused: WLAN index %u", static_cast<unsigned>(wlanIndex));
        return FALSE;
    }
    NEGOTIATED_LINK_CAPS& link = adapter->Rlm.Link;
    const HE_CAP_IE& own = port->Rlm.He;
    link.HeInUse = 1;

    if (peerCap != nullptr) {
        if (join) {
            for (ULONG i = 0; i < 6; ++i) {
                link.HeMacCap[i] = peerCap->MacCap[i];
            }
            for (ULONG i = 0; i < 11; ++i) {
                link.HePhyCap[i] = peerCap->PhyCap[i];
            }
            RlmPutU16(link.HeMcs80, peerCap->McsMap[HE_MCS_RX_80]);
            RlmPutU16(link.HeMcs80 + 2, peerCap->McsMap[HE_MCS_TX_80]);
        } else {
            const UCHAR ampdu = LowerField(own.MacCap, peerCap->MacCap, HE_MAC_AMPDU_EXP_EXT, 2);
            const UCHAR nc = LowerField(own.PhyCap, peerCap->PhyCap, HE_PHY_MAX_NC, 3);
            for (ULONG i = 0; i < 6; ++i) {
                link.HeMacCap[i] = static_cast<UCHAR>(own.MacCap[i] & peerCap->MacCap[i]);
            }
            for (ULONG i = 0; i < 11; ++i) {
                link.HePhyCap[i] = static_cast<UCHAR>(own.PhyCap[i] & peerCap->PhyCap[i]);
            }
            RlmSetField(link.HeMacCap, HE_MAC_AMPDU_EXP_EXT, 2, ampdu);
            RlmSetField(link.HePhyCap, HE_PHY_MAX_NC, 3, nc);
            // The access point's TWT responder role is kept whatever this side supports.
            RlmSetBit(link.HeMacCap, HE_MAC_TWT_RESPONDER, RlmGetBit(peerCap->MacCap, HE_MAC_TWT_RESPONDER));
        }
    }
    if (!join) {
        RlmPutU16(link.HeMcs80, own.RxMcs80);
        RlmPutU16(link.HeMcs80 + 2, own.TxMcs80);
    }
    if (peerOp == nullptr) {
        return TRUE;
    }
    link.HeOp = *peerOp;
    const ULONG params = OperationParams(*peerOp);
    if (peer6gOp == nullptr || !heRlmIs6GUsable(adapter) || link.JoinBand != RLM_BAND_6G ||
        ((params >> kOpVhtInfoPresent) & 1) != 0) {
        return TRUE;
    }
    link.CoHostedBss = static_cast<UCHAR>((params >> kOpCoHostedBss) & 1);
    if (((params >> kOp6gInfoPresent) & 1) == 0) {
        link.He6gOpPresent = 0;
        return TRUE;
    }
    link.He6gOpPresent = 1;
    const UCHAR primary = peer6gOp[0];
    const UCHAR control = peer6gOp[1];
    const UCHAR controlWidth = static_cast<UCHAR>(control & 0x3);
    UCHAR seg0 = peer6gOp[2];
    UCHAR seg1 = peer6gOp[3];
    port->Rlm.SixGhzPrimaryChannel = primary;
    port->Rlm.SixGhzRegulatoryInfo = static_cast<UCHAR>((control >> 3) & 0x7);
    const UCHAR width = heRlmRec6GChannelWidth(adapter, port, controlWidth);
    heRlmModifyHE6GBwPara(primary, width, &seg0, &seg1);
    ULONG secondary = 0;
    if (controlWidth == 1 && seg0 != 0) {
        secondary = seg0 > primary ? 1 : seg0 < primary ? 3 : 0;
    }
    link.He6gChannelWidth = width;
    link.He6gSeg0 = seg0;
    link.He6gSeg1 = seg1;
    link.SecondaryOffset = secondary;
    if (!join) {
        he6GCentralChannelDecision(primary, width, seg0, &port->Rlm.SixGhzCentreChannel);
        if (peer6gCap != nullptr) {
            const USHORT mine = own.SixGhzCap;
            const USHORT theirs = *peer6gCap;
            const USHORT ampdu = static_cast<USHORT>(
                ((mine >> 3) & 7) < ((theirs >> 3) & 7) ? ((mine >> 3) & 7) : ((theirs >> 3) & 7));
            const USHORT mpdu = static_cast<USHORT>(
                ((mine >> 6) & 3) < ((theirs >> 6) & 3) ? ((mine >> 6) & 3) : ((theirs >> 6) & 3));
            const USHORT spacing = static_cast<USHORT>((theirs & 7) > 5 ? (theirs & 7) : 5);
            link.He6gCap = static_cast<USHORT>((mine & ~0x00FFu) | spacing | (ampdu << 3) | (mpdu << 6));
        }
    }
    link.LinkChannel.ChannelWidth = width;
    link.LinkChannel.Centre1 = seg0;
    link.LinkChannel.Centre2 = seg1;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "6 GHz operation: primary %u, width %u, centres %u/%u",
             static_cast<unsigned>(primary), static_cast<unsigned>(width), static_cast<unsigned>(seg0),
             static_cast<unsigned>(seg1));
    return TRUE;
}

UCHAR heRlmRec6GChannelWidth(PMP_ADAPTER adapter, PMP_PORT port, UCHAR controlWidth)
{
    UCHAR code = controlWidth <= 1 ? CW_20_40 : controlWidth == 2 ? CW_80 : CW_160;
    const UCHAR limit = cnmMapBwToChannelWidth(heRlmCapBandwidth(adapter, port, RLM_BAND_6G));
    return code < limit ? code : limit;
}

void heRlmModifyHE6GBwPara(UCHAR primary, UCHAR channelWidth, PUCHAR seg0, PUCHAR seg1)
{
    switch (channelWidth) {
    case CW_160: {
        const int difference = static_cast<int>(*seg0) - static_cast<int>(*seg1);
        if (*seg0 != 0 && *seg1 != 0 && (difference == 8 || difference == -8)) {
            *seg0 = RlmContains(k6g160Centres, *seg0) ? *seg0 : *seg1;
        } else {
            he6GCentralChannelDecision(primary, CW_160, 0, seg0);
        }
        *seg1 = 0;
        break;
    }
    case CW_80:
        he6GCentralChannelDecision(primary, CW_80, 0, seg0);
        *seg1 = 0;
        break;
    case CW_20_40:
        if (*seg1 != 0) {
            *seg0 = 0;
            *seg1 = 0;
        }
        break;
    default:
        break;
    }
}

void he6GCentralChannelDecision(UCHAR primary, UCHAR channelWidth, UCHAR centre, PUCHAR out)
{
    *out = 0;
    switch (channelWidth) {
    case CW_80:
    case CW_8080:
        for (ULONG k = 0; k <= 14; ++k) {
            if (primary >= 16 * k + 1 && primary <= 16 * k + 13) {
                *out = static_cast<UCHAR>(16 * k + 7);
                return;
            }
        }
        break;
    case CW_160:
        for (ULONG k = 0; k <= 6; ++k) {
            if (primary >= 32 * k + 1 && primary <= 32 * k + 29) {
                *out = static_cast<UCHAR>(32 * k + 15);
                return;
            }
        }
        break;
    case CW_20_40:
        *out = centre;
        break;
    default:
        break;
    }
}

void HeUpdateMacTable(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry)
{
    if (adapter == nullptr || port == nullptr || entry == nullptr) {
        return;
    }
    const NEGOTIATED_LINK_CAPS& link = adapter->Rlm.Link;
    RLM_ENTRY_BLOCK& e = entry->Rlm;
    e.HeOn = 1;
    e.HeOp = link.HeOp;
    for (ULONG i = 0; i < 6; ++i) {
        e.HeMacCap[i] = link.HeMacCap[i];
    }
    for (ULONG i = 0; i < 11; ++i) {
        e.HePhyCap[i] = link.HePhyCap[i];
    }
    for (ULONG i = 0; i < HE_MCS_MAPS; ++i) {
        e.HeMcsMap[i] = link.HeMcsMap[i];
    }
    if (port->HeEnabled && heRlmIs6GUsable(adapter) && link.He6gOpPresent) {
        e.He6gPresent = 1;
        e.He6gCap = link.He6gCap;
        e.He6gChannelWidth = link.He6gChannelWidth;
        e.He6gSeg0 = link.He6gSeg0;
        e.He6gSeg1 = link.He6gSeg1;
    } else {
        e.He6gPresent = 0;
    }
}

// ================================================================================================
// the firmware's spatial-reuse switch
// ================================================================================================
NTSTATUS rlmSetSrControl(PMP_PORT port, UCHAR value)
{
    UCHAR payload[kSrSwitchPayload] = {};
    payload[0] = kSrSwitchSubCommand;
    payload[8] = value;
    const NTSTATUS status = QzCmdSendSetQuery(port, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, kExtCmdSr, 1, kFlagsNoAnswer,
                                              payload, sizeof(payload), nullptr, 0, 0);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "spatial reuse %u: 0x%08X", static_cast<unsigned>(value),
             static_cast<unsigned>(status));
    return status;
}
