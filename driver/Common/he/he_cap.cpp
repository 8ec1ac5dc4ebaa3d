// The port's own HE capabilities and the HE elements it writes into probe and association requests,
// beacons and probe and association responses.
#include "Common/cnm.h"
#include "Common/he/he_rlm.h"
#include "Common/qzcmd.h"
#include "Common/rlm.h"
#include "Common/rlm_bits.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kElementExtension = 255;
constexpr UCHAR kExtHeCap = 35;
constexpr UCHAR kExtHeOp = 36;
constexpr UCHAR kExtHe6gCap = 59;

// HE PHY capability bits.
constexpr ULONG kPhyWidth40In24 = 1;
constexpr ULONG kPhyWidth80In5 = 2;
constexpr ULONG kPhyDeviceClassA = 12;
constexpr ULONG kPhyLdpcPayload = 13;
constexpr ULONG kPhyNdp4xLtf = 17;
constexpr ULONG kPhyStbcTx80 = 18;
constexpr ULONG kPhyStbcRx80 = 19;
constexpr ULONG kPhyFullBwUlMuMimo = 22;
constexpr ULONG kPhyPartialBwUlMuMimo = 23;
constexpr ULONG kPhySuBeamformee = 32;
constexpr ULONG kPhyBeamformeeSts80 = 34;     // 3 bits
constexpr ULONG kPhyBeamformeeStsAbove80 = 37;  // 3 bits
constexpr ULONG kPhyFeedbackFirst = 48;       // bits 48-52: codebook and triggered feedback
constexpr ULONG kPhyFeedbackLast = 52;
constexpr ULONG kPhyPpeThresholdsPresent = 55;
constexpr ULONG kPhySuMu4xLtf08Gi = 58;
constexpr ULONG kPhyStbcTxAbove80 = 62;
constexpr ULONG kPhyStbcRxAbove80 = 63;

// HE MAC capability bits.
constexpr ULONG kMacHtcHe = 0;
constexpr ULONG kMacTwtRequester = 1;
constexpr ULONG kMacTriggerPadding = 10;      // 2 bits
constexpr ULONG kMacOmControl = 25;
constexpr ULONG kMacAmsduNotUnderBa = 38;

constexpr ULONG kExtCapTwtRequester = 77;

// The two PPE threshold values written for every stream and RU size.
constexpr ULONG kPpet16 = 0;
constexpr ULONG kPpet8 = 7;

UCHAR ReceivePaths(PMP_ADAPTER adapter) { return KOVAGetAntennaPath(adapter); }

// The band the element writers use: a port without a band counts as 6 GHz.
ULONG WriterBand(const MP_PORT* port) { return port->Channel.Band == 0 ? RLM_BAND_6G : port->Channel.Band; }

// The certification set-up's downgrade: a 160 MHz-capable station port facing an access point whose
// HE capabilities stop at 80 MHz announces 80 MHz.
BOOLEAN SigmaDowngrade(PMP_ADAPTER adapter, PMP_PORT port, ULONG band, UCHAR width)
{
    const UCHAR* apPhy = adapter->Rlm.Link.HePhyCap;
    return static_cast<BOOLEAN>((adapter->RegistryBlock.SigmaEn & 1) != 0 &&
                                (band == RLM_BAND_5G || band == RLM_BAND_6G) && port->PortType == EXTSTA &&
                                width == MAX_BW_160 && RlmGetBit(apPhy, kPhyWidth80In5) &&
                                !RlmGetBit(apPhy, HE_PHY_WIDTH_160));
}

void PutMaps(PMP_ADAPTER adapter, PUCHAR out, ULONG* at)
{
    heInitMcsMapByNss(adapter, out + *at);
    *at += 4;
}

}  // namespace

BOOLEAN heRlmIs6GUsable(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(HalDeviceGeneration(adapter->DeviceId) >= CHIP_GENERATION_SECOND &&
                                !HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_NO_6GHZ) && adapter->Only24G == 0 &&
                                (adapter->RegistryBlock.Config_6G & 0x1) != 0 && adapter->Cap.SixGCapable != 0);
}

NTSTATUS HeInitCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const FW_CHIP_GROUP group = QzCmdChipGroup(adapter);
    if ((group == FW_CHIP_GROUP_ARVEL2X || group == FW_CHIP_GROUP_ARVEL3X) &&
        (port->WirelessMode == PHY_11He || port->WirelessMode == PHY_11BE)) {
        port->HeEnabled = 1;
        HeInitCapIE(adapter, port, TRUE);
    } else {
        port->HeEnabled = 0;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: HE %s", static_cast<unsigned>(port->PortNumber),
             port->HeEnabled ? "on" : "off");
    return STATUS_SUCCESS;
}

void heInitMcsMapByNss(PMP_ADAPTER adapter, PUCHAR maps)
{
    const UCHAR streams = ReceivePaths(adapter);
    USHORT map = 0;
    for (ULONG s = 0; s < 8; ++s) {
        map = static_cast<USHORT>(map | ((s < streams ? 2u : 3u) << (2 * s)));
    }
    RlmPutU16(maps, map);
    RlmPutU16(maps + 2, map);
}

void HeInitCapIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear)
{
    HE_CAP_IE& he = port->Rlm.He;
    const ULONG x = adapter->RegistryBlock.Config_11AX;
    if (clear) {
        he.Operation = HE_OPERATION_INFO{};
        he.SixGhzCap = 0;
    }
    for (UCHAR& b : he.MacCap) {
        b = 0;
    }
    for (UCHAR& b : he.PhyCap) {
        b = 0;
    }

    RlmSetBit(he.MacCap, kMacHtcHe, TRUE);
    RlmSetBit(he.MacCap, kMacTwtRequester, TRUE);
    RlmSetBit(he.MacCap, kMacOmControl, TRUE);
    RlmSetBit(he.MacCap, kMacAmsduNotUnderBa, TRUE);
    RlmSetField(he.MacCap, kMacTriggerPadding, 2, 2);
    RlmSetBit(port->Rlm.ExtCapabilities, kExtCapTwtRequester, TRUE);

    RlmSetBit(he.PhyCap, kPhyDeviceClassA, TRUE);
    RlmSetBit(he.PhyCap, kPhyFullBwUlMuMimo, TRUE);
    RlmSetBit(he.PhyCap, kPhyPartialBwUlMuMimo, TRUE);
    RlmSetBit(he.PhyCap, kPhyPpeThresholdsPresent, TRUE);

    if (cnmGetMaxBwByBand(adapter, port, RLM_BAND_24G) != 0) {
        RlmSetBit(he.PhyCap, kPhyWidth40In24, TRUE);
    }
    const ULONG band = port->Channel.Band;
    if ((adapter->RegistryBlock.BWSelection5G != 0 && band == RLM_BAND_5G) ||
        (adapter->RegistryBlock.BWSelection6G != 0 && band == RLM_BAND_6G)) {
        RlmSetBit(he.PhyCap, kPhyWidth40In24, TRUE);
    } else {
        const UCHAR w5 = cnmGetMaxBwByBand(adapter, port, RLM_BAND_5G);
        RlmSetBit(he.PhyCap, kPhyWidth80In5, static_cast<BOOLEAN>(w5 != 0));
        RlmSetBit(he.PhyCap, HE_PHY_WIDTH_160, static_cast<BOOLEAN>(w5 >= MAX_BW_160));
        RlmSetBit(he.PhyCap, HE_PHY_WIDTH_8080, static_cast<BOOLEAN>(w5 >= MAX_BW_8080));
    }
    RlmSetBit(he.PhyCap, kPhyLdpcPayload, static_cast<BOOLEAN>((x & 0x180) == 0x180));
    RlmSetBit(he.PhyCap, kPhyStbcTx80, static_cast<BOOLEAN>((x >> 5) & 1));
    RlmSetBit(he.PhyCap, kPhyStbcRx80, static_cast<BOOLEAN>((x >> 6) & 1));
    if (x & 0x10) {
        const UCHAR paths = ReceivePaths(adapter);
        RlmSetBit(he.PhyCap, kPhyNdp4xLtf, TRUE);
        RlmSetBit(he.PhyCap, kPhySuBeamformee, TRUE);
        RlmSetField(he.PhyCap, kPhyBeamformeeSts80, 3, 3);
        for (ULONG bit = kPhyFeedbackFirst; bit <= kPhyFeedbackLast; ++bit) {
            RlmSetBit(he.PhyCap, bit, TRUE);
        }
        RlmSetBit(he.PhyCap, kPhySuMu4xLtf08Gi, TRUE);
        RlmSetField(he.PhyCap, HE_PHY_MAX_NC, 3, paths > 0 ? paths - 1u : 0u);
    }

    UCHAR maps[4];
    heInitMcsMapByNss(adapter, maps);
    he.RxMcs80 = RlmGetU16(maps);
    he.TxMcs80 = RlmGetU16(maps + 2);
    he.Flag10 = static_cast<UCHAR>((x >> 10) & 1);
    he.Flag9 = static_cast<UCHAR>((x >> 9) & 1);
    he.BaSizeHigh = static_cast<USHORT>(adapter->RegistryBlock.BaSize_11AX >> 16);
    he.BaSizeLow = static_cast<USHORT>(adapter->RegistryBlock.BaSize_11AX & 0xFFFF);

    if (port->HeEnabled && heRlmIs6GUsable(adapter)) {
        USHORT cap = static_cast<USHORT>((7u << 3) | (2u << 6) | (1u << 12) | (1u << 13));
        if (((port->Cfg.Ht.CapabilityInfo[0] >> 2) & 3) == 3) {
            cap = static_cast<USHORT>(cap | (3u << 9));
        }
        he.SixGhzCap = cap;
    }
}

ULONG heRlmFillPPEThreshold(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer)
{
    for (ULONG i = 0; i < HE_PPE_THRESHOLD_MAX; ++i) {
        buffer[i] = 0;
    }
    const ULONG band = WriterBand(port);
    UCHAR w = heRlmCapBandwidth(adapter, port, band);
    if (SigmaDowngrade(adapter, port, band, w)) {
        w = MAX_BW_80;
    }
    ULONG ruCount;
    switch (w) {
    case MAX_BW_20:
        buffer[0] = 0x09;
        ruCount = 1;
        break;
    case MAX_BW_40:
        buffer[0] = 0x19;
        ruCount = 2;
        break;
    case MAX_BW_80:
        buffer[0] = 0x39;
        ruCount = 3;
        break;
    case MAX_BW_160:
    case MAX_BW_8080:
    case MAX_BW_320:
        buffer[0] = 0x79;
        ruCount = 4;
        break;
    default:
        buffer[0] = 0x01;
        ruCount = 0;
        break;
    }
    // Two streams (NSTS 1), each RU size in turn: PPET16, then PPET8, three bits each.
    ULONG bit = 7;
    for (ULONG stream = 0; stream < 2; ++stream) {
        for (ULONG ru = 0; ru < ruCount; ++ru) {
            RlmSetField(buffer, bit, 3, kPpet16);
            RlmSetField(buffer, bit + 3, 3, kPpet8);
            bit += 6;
        }
    }
    return (bit + 7) / 8;
}

void heRlmGenerateHeCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length)
{
    HE_CAP_IE& he = port->Rlm.He;
    const ULONG band = WriterBand(port);
    UCHAR w = heRlmCapBandwidth(adapter, port, band);

    switch (QzCmdChipGroup(adapter)) {
    case FW_CHIP_GROUP_ARVEL3X:
        RlmSetField(he.MacCap, HE_MAC_AMPDU_EXP_EXT, 2, 3);
        break;
    case FW_CHIP_GROUP_ARVEL2X:
        RlmSetField(he.MacCap, HE_MAC_AMPDU_EXP_EXT, 2, band == RLM_BAND_24G ? 3 : 1);
        break;
    default:
        break;  // the older chip keeps its value
    }
    const BOOLEAN downgraded = SigmaDowngrade(adapter, port, band, w);
    if (downgraded) {
        w = MAX_BW_80;
    } else if (w >= MAX_BW_160) {
        RlmSetBit(he.PhyCap, kPhyStbcTxAbove80, TRUE);
        RlmSetBit(he.PhyCap, kPhyStbcRxAbove80, TRUE);
    }
    if ((adapter->RegistryBlock.Config_11AX & 0x10) != 0 && w >= MAX_BW_160) {
        RlmSetField(he.PhyCap, kPhyBeamformeeStsAbove80, 3, 3);
    }

    PUCHAR body = buffer + 3;
    ULONG at = 0;
    for (UCHAR b : he.MacCap) {
        body[at++] = b;
    }
    PUCHAR phy = body + at;
    for (UCHAR b : he.PhyCap) {
        body[at++] = b;
    }
    RlmPutU16(body + at, he.RxMcs80);
    RlmPutU16(body + at + 2, he.TxMcs80);
    at += 4;

    const NEGOTIATED_LINK_CAPS& link = adapter->Rlm.Link;
    const BOOLEAN apNarrowsTo80 = static_cast<BOOLEAN>(RlmGetBit(link.HePhyCap, HE_PHY_WIDTH_160) &&
                                                       link.VhtOp.ChannelWidth == CW_80 &&
                                                       link.VhtOp.CentreSeg0 != 0 && link.VhtOp.CentreSeg1 == 0);
    if (downgraded || apNarrowsTo80) {
        RlmSetBit(phy, HE_PHY_WIDTH_160, FALSE);
    }
    if (RlmGetBit(phy, HE_PHY_WIDTH_160)) {
        PutMaps(adapter, body, &at);
    }
    if (RlmGetBit(phy, HE_PHY_WIDTH_8080)) {
        PutMaps(adapter, body, &at);
    }
    at += heRlmFillPPEThreshold(adapter, port, body + at);

    buffer[0] = kElementExtension;
    buffer[1] = static_cast<UCHAR>(1 + at);
    buffer[2] = kExtHeCap;
    *length = static_cast<USHORT>(3 + at);
}

void heRlmGenerateHeOp(PUCHAR buffer, PUSHORT length)
{
    // Default PE duration 0, TXOP duration RTS threshold 1023, ER SU disabled, BSS colour disabled
    // (colour 0), basic HE-MCS 0-7 on streams 1 and 2.
    static const UCHAR kElement[HE_OP_ELEMENT_LEN] = {kElementExtension, 7, kExtHeOp, 0xF0, 0x3F, 0x01, 0x80, 0xF0, 0xFF};
    for (ULONG i = 0; i < HE_OP_ELEMENT_LEN; ++i) {
        buffer[i] = kElement[i];
    }
    *length = HE_OP_ELEMENT_LEN;
}

void heRlmGenerateHe6GCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length)
{
    UNREFERENCED_PARAMETER(adapter);
    buffer[0] = kElementExtension;
    buffer[1] = 3;
    buffer[2] = kExtHe6gCap;
    RlmPutU16(buffer + 3, port->Rlm.He.SixGhzCap);
    *length = HE_6G_CAP_ELEMENT_LEN;
}
