// Transmit and receive descriptors: the dispatch, the older chip's writer and parser, the parser of
// every generation's layout, the receive-vector group and the receive rate.
#include "hal/common/hal_desc.h"

#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "hal/common/hal_chip.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"

UCHAR HalDescGeneration(PMP_ADAPTER adapter)
{
    switch (adapter != nullptr ? HalChipGeneration(adapter->HalInfo.ChipCode) : CHIP_GENERATION_NONE) {
    case CHIP_GENERATION_OLDER:
        return DESC_GEN_OLDER;
    case CHIP_GENERATION_SECOND:
        return DESC_GEN_ARVEL2X;
    case CHIP_GENERATION_THIRD:
        return DESC_GEN_ARVEL3X;
    default:
        return DESC_GEN_NONE;
    }
}

UCHAR RxdGetAmsduPosition(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    if (record == nullptr || record->Descriptor == nullptr) {
        return 0;
    }
    switch (HalDescGeneration(adapter)) {
    case DESC_GEN_OLDER:
        return static_cast<UCHAR>(TxdGetField(record->Descriptor, 1, 24, 25));
    case DESC_GEN_ARVEL2X:
    case DESC_GEN_ARVEL3X:
        return static_cast<UCHAR>(TxdGetField(record->Descriptor, 4, 0, 1));
    default:
        return 0;
    }
}

// ================================================================================================
// transmit descriptors
// ================================================================================================
namespace {

constexpr UCHAR kOfdmRateCodes[8] = {0x0B, 0x0F, 0x0A, 0x0E, 0x09, 0x0D, 0x08, 0x0C};
constexpr ULONG kPhyModeOfdm = 1;
constexpr ULONG kPhyModeMax = 4;

BOOLEAN IsData(const TX_FRAME_INFO* info) { return static_cast<BOOLEAN>(info->FrameType == TX_FRAME_TYPE_DATA); }

}  // namespace

UCHAR TxdOfdmRateCode(ULONG mcs)
{
    if (mcs >= 8) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "fixed OFDM rate: MCS %u has no rate code", static_cast<unsigned>(mcs));
        return 0x0C;
    }
    return kOfdmRateCodes[mcs];
}

PMP_PORT TxdFixedRatePort(PMP_ADAPTER adapter)
{
    PMP_PORT port0 = adapter != nullptr ? adapter->PortList[0] : nullptr;
    return port0 != nullptr && port0->FixedRateEnable != 0 ? port0 : nullptr;
}

ULONG TxdFixedRateMcs(PMP_ADAPTER adapter, const ULONG* phyCfg)
{
    const ULONG mode = READ_PHY_CFG_MODE(adapter, phyCfg);
    const ULONG mcs = READ_PHY_CFG_MCS(adapter, phyCfg);
    if (mode == kPhyModeOfdm) {
        return TxdOfdmRateCode(mcs);
    }
    if (mode > kPhyModeMax) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "fixed rate: PHY mode %u", static_cast<unsigned>(mode));
    }
    return mcs;
}

BOOLEAN TxdAggregationAllowed(PTX_FRAME_INFO info)
{
    PMAC_TABLE_ENTRY entry = info->Port != nullptr ? MlmeSyncMacTabMatchedWlanIdx(info->Port, info->WlanIndex) : nullptr;
    if (entry == nullptr || info->Tid >= MAC_ENTRY_TIDS) {
        return FALSE;
    }
    return static_cast<BOOLEAN>(entry->TxAggregation[info->Tid] != 0);
}

BOOLEAN TxdPacketIdApplies(const TX_FRAME_INFO* info, BOOLEAN icmpData)
{
    if (info->PacketId == 0) {
        return FALSE;
    }
    if (info->FrameType == TX_FRAME_TYPE_MGMT) {
        return static_cast<BOOLEAN>(info->FrameSubtype != 4 && info->FrameSubtype != 5 && info->FrameSubtype != 8);
    }
    return static_cast<BOOLEAN>(icmpData && IsData(info) && info->IcmpEcho != 0);
}

VOID TxdWriteFrameKind(PUCHAR d, const TX_FRAME_INFO* info)
{
    if (info->MgmtLayout != 0) {
        TxdSetField(d, 2, 0, 3, info->FrameSubtype);
        TxdSetField(d, 2, 4, 5, info->FrameType);
    } else {
        // DW7 bits 22-29 stay 0.
        TxdSetField(d, 7, 16, 19, info->FrameSubtype);
        TxdSetField(d, 7, 20, 21, info->FrameType);
    }
    TxdSetField(d, 2, 10, 10, info->GroupAddressed != 0 ? 1 : 0);
    // Data frames always ask for an acknowledgement.
    TxdSetField(d, 3, 0, 0, !IsData(info) && info->Ack == 0 ? 1 : 0);
    TxdSetField(d, 3, 1, 1, info->Protection != 0 ? 1 : 0);
}

VOID TxdWriteFixedRate(PMP_ADAPTER adapter, PUCHAR d, const ULONG* cfg, const TXD_RATE_FIELDS* f)
{
    TxdSetField(d, 6, f->mode[0], f->mode[1], READ_PHY_CFG_MODE(adapter, cfg));
    TxdSetField(d, 6, f->mcs[0], f->mcs[1], TxdFixedRateMcs(adapter, cfg));
    TxdSetField(d, 6, f->bw[0], f->bw[1], READ_PHY_CFG_BW(adapter, cfg));
    TxdSetField(d, 6, f->shortGi[0], f->shortGi[1], READ_PHY_CFG_SHORT_GI(adapter, cfg));
    TxdSetField(d, 6, f->stbc[0], f->stbc[1], READ_PHY_CFG_STBC(adapter, cfg));
    TxdSetField(d, 6, f->nss[0], f->nss[1], READ_PHY_CFG_NSS(adapter, cfg));
    TxdSetField(d, 6, f->ldpc[0], f->ldpc[1], READ_PHY_CFG_LDPC(adapter, cfg));
}

VOID TxdPacketIdOrAggregation(PUCHAR d, PTX_FRAME_INFO info, BOOLEAN icmpData, TXD_BIT aggregation,
                              TXD_BIT noAggregation)
{
    if (TxdPacketIdApplies(info, icmpData)) {
        TxdSetField(d, 5, 0, 7, info->PacketId);
        TxdSetField(d, 5, 9, 10, 3);
    } else if (IsData(info) && info->PacketId == 0) {
        const TXD_BIT bit = TxdAggregationAllowed(info) ? aggregation : noAggregation;
        TxdSetField(d, bit.word, bit.bit, bit.bit, 1);
    }
}

VOID XmitWriteTxD(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info)
{
    if (adapter == nullptr || descriptor == nullptr || info == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "transmit descriptor: missing argument");
        return;
    }
    if (HalCallOptional(adapter->HalOps.XmitWriteTxD, adapter, descriptor, info) == STATUS_NOT_SUPPORTED) {
        XmitWriteTxDv1(adapter, descriptor, info);
    }
}

VOID XmitWriteTxDv1(PMP_ADAPTER adapter, PUCHAR d, PTX_FRAME_INFO info)
{
    if (info->SkipDescriptor != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "transmit descriptor left as it is");
        return;
    }
    const BOOLEAN data = IsData(info);
    const BOOLEAN fixedRate = static_cast<BOOLEAN>(info->MgmtLayout != 0 || info->SpecialFrame != 0 || info->Eapol != 0);
    RtlZeroMemory(d, TXD_SIZE);
    TxdSetField(d, 0, 0, 15, info->Length + TXD_SIZE);
    TxdSetField(d, 0, 26, 30, info->Queue);
    TxdSetField(d, 0, 31, 31, info->FwQueue);
    TxdSetField(d, 1, 0, 7, info->WlanIndex);
    TxdSetField(d, 1, 8, 12, data ? info->HeaderLength / 2u : info->HeaderLength & 0x1Fu);
    TxdSetField(d, 1, 13, 14, 2);
    TxdSetField(d, 1, 15, 15, 1);
    TxdSetField(d, 1, 17, 17, info->HeaderPadding != 0 ? 1 : 0);
    TxdSetField(d, 1, 21, 23, info->Tid);
    TxdSetField(d, 1, 24, 25, data ? 0 : 2);
    TxdSetField(d, 1, 26, 31, info->OwnMacIndex);
    TxdWriteFrameKind(d, info);
    TxdSetField(d, 3, 11, 15, info->Queue == 7 ? 15 : 30);
    TxdPacketIdOrAggregation(d, info, FALSE, TXD_BIT{7, 30}, TXD_BIT{5, 9});
    if (fixedRate) {
        TxdSetField(d, 2, 29, 29, data ? 0 : 1);
        TxdSetField(d, 2, 31, 31, 1);
        TxdSetField(d, 6, 16, 21, 0x0B);
        TxdSetField(d, 6, 22, 24, 1);
        TxdSetField(d, 6, 31, 31, 0);
        TxdSetField(d, 7, 30, 30, 0);
    }
    PMP_PORT fixed = TxdFixedRatePort(adapter);
    if (fixed != nullptr) {
        static constexpr TXD_RATE_FIELDS kV1Rate = {{22, 24}, {16, 21}, {0, 2}, {30, 30}, {27, 27}, {25, 26}, {29, 29}};
        TxdSetField(d, 2, 31, 31, 1);
        TxdSetField(d, 6, 31, 31, 0);
        TxdWriteFixedRate(adapter, d, &fixed->FixedRatePhyCfg, &kV1Rate);
    }
}

// ================================================================================================
// receive descriptors
// ================================================================================================
namespace {

struct RxdGroup {
    UCHAR flagBit;  // bit of the flag word announcing the group
    USHORT size;
    signed char slot;  // group slot of the record, -1 when the group is not recorded
};

struct RxdLayout {
    ULONG base;
    ULONG flagWord;
    RxdGroup groups[5];  // in buffer order
    ULONG groupCount;
    ULONG offsetWord, offsetFirst, offsetLast;
    BOOLEAN clearAbsent;
    PCSTR name;
};

// Groups follow the base in the order 4, 1, 2, 3, 5.
constexpr RxdLayout kOlder = {RXD_BASE_OLDER, 0,
                              {{28, 16, -1}, {25, 16, RXD_SLOT_GROUP1}, {26, 8, -1}, {27, 24, RXD_SLOT_GROUP3}, {}},
                              4, 1, 22, 22, FALSE, "RxdMacHdrParser"};
constexpr RxdLayout kArvel2x = {RXD_BASE_ARVEL2X, 1,
                                {{14, 16, -1},
                                 {11, 16, RXD_SLOT_GROUP1},
                                 {12, 8, RXD_SLOT_GROUP2},
                                 {13, 8, RXD_SLOT_GROUP3},
                                 {15, 72, RXD_SLOT_GROUP5}},
                                5, 2, 14, 15, FALSE, "Qz3501RxdMacHdrParser"};
constexpr RxdLayout kArvel3x = {RXD_BASE_ARVEL3X, 1,
                                {{19, 16, -1},
                                 {16, 16, RXD_SLOT_GROUP1},
                                 {17, 16, RXD_SLOT_GROUP2},
                                 {18, 16, RXD_SLOT_GROUP3},
                                 {20, 96, RXD_SLOT_GROUP5}},
                                5, 2, 13, 15, TRUE, "AsicArvel3xRxdMacHdrParser"};

}  // namespace

BOOLEAN HalRxdParse(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, UCHAR generation)
{
    UNREFERENCED_PARAMETER(adapter);
    const RxdLayout* layout = generation == DESC_GEN_OLDER     ? &kOlder
                              : generation == DESC_GEN_ARVEL2X ? &kArvel2x
                              : generation == DESC_GEN_ARVEL3X ? &kArvel3x
                                                               : nullptr;
    if (record == nullptr || record->BufferVa == nullptr || layout == nullptr || record->BufferSize < layout->base) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive descriptor: no record, buffer or layout");
        return FALSE;
    }
    const PUCHAR d = record->BufferVa;
    const ULONG byteCount = TxdGetField(d, 0, 0, 15);
    const ULONG flags = TxdGetWord(d, layout->flagWord);
    const ULONG offset = 2u * TxdGetField(d, layout->offsetWord, layout->offsetFirst, layout->offsetLast);
    ULONG groupBytes = 0;
    for (ULONG g = 0; g < layout->groupCount; ++g) {
        if ((flags & (1u << layout->groups[g].flagBit)) != 0) {
            groupBytes += layout->groups[g].size;
        }
    }
    // The chip's byte count is checked against the buffer, what the ring says was written, and the
    // parts the descriptor itself announces.
    const ULONG need = layout->base + groupBytes + offset;
    const ULONG written = record->ReceivedLength != 0 ? record->ReceivedLength : record->BufferSize;
    if (byteCount > RXD_MAX_BYTE_COUNT || byteCount > record->BufferSize || byteCount > written || byteCount < need) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "%s: byte count %u refused (header offset %u, descriptor and groups %u)",
                 layout->name, static_cast<unsigned>(byteCount), static_cast<unsigned>(offset),
                 static_cast<unsigned>(layout->base + groupBytes));
        record->Frame = nullptr;
        record->FrameLength = 0;
        return FALSE;
    }
    record->Descriptor = d;
    PUCHAR p = d + layout->base;
    for (ULONG g = 0; g < layout->groupCount; ++g) {
        const RxdGroup& group = layout->groups[g];
        const BOOLEAN present = static_cast<BOOLEAN>((flags & (1u << group.flagBit)) != 0);
        if (group.slot >= 0) {
            if (present) {
                record->Groups[group.slot] = p;
            } else if (layout->clearAbsent) {
                record->Groups[group.slot] = nullptr;
            }
        }
        if (present) {
            p += group.size;
        }
    }
    record->Frame = p + offset;
    record->FrameLength = byteCount - need;
    return TRUE;
}

BOOLEAN RxdMacHdrParser(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    return HalRxdParse(adapter, record, DESC_GEN_OLDER);
}

CHAR RcpiToRssi(UCHAR rcpi)
{
    const int clipped = rcpi < 220 ? rcpi : 220;
    return static_cast<CHAR>(clipped / 2 - 110);
}

VOID ParseRxVGroup(PMP_ADAPTER adapter, ULONG kind, PUCHAR output, const UCHAR* group)
{
    if (adapter == nullptr || output == nullptr || group == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive vector group: missing argument");
        return;
    }
    const UCHAR* rcpi = nullptr;
    if (kind == 2) {
        PMP_PORT port0 = adapter->PortList[0];
        if (port0 != nullptr) {
            for (ULONG w = 0; w < RX_VGROUP_OLDER_SIZE / 4; ++w) {
                port0->RxVectorStore[w] = TxdGetWord(group, w);
            }
        }
        rcpi = group + 12;
    } else if (kind == 1) {
        rcpi = group + 20;
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "receive vector group of kind %u ignored", static_cast<unsigned>(kind));
        return;
    }
    output[0] = static_cast<UCHAR>(RcpiToRssi(rcpi[0]));
    output[1] = static_cast<UCHAR>(RcpiToRssi(rcpi[1]));
    for (ULONG c = 0; c < 4; ++c) {
        output[7 + c] = rcpi[c];
    }
}

VOID HalDecodeRxRateReport(PMP_ADAPTER adapter, PMP_PORT port, PRX_RATE_FIELDS f)
{
    const ULONG* v = port->RxVectorStore;
    const ULONG rate = v[12];
    switch (HalDeviceGeneration(adapter->DeviceId)) {
    case CHIP_GENERATION_SECOND:
        f->Mcs = rate & 0x7F;
        f->Streams = (rate >> 7) & 0x7;
        f->Mode = (rate >> 24) & 0xF;
        f->Bandwidth = (rate >> 12) & 0x7;
        f->Gi = (rate >> 15) & 0x3;
        break;
    case CHIP_GENERATION_THIRD:
        f->Mcs = rate & 0x7F;
        f->Streams = (rate >> 7) & 0xF;
        f->Mode = (v[13] >> 11) & 0xF;
        f->Bandwidth = v[13] & 0x7;
        f->Gi = (v[13] >> 3) & 0x3;
        break;
    default:
        f->Mcs = v[6] & 0x7F;
        f->Streams = (v[7] >> 27) & 0x7;
        f->Mode = (v[6] >> 12) & 0x7;
        f->Bandwidth = (v[6] >> 15) & 0x3;
        f->Gi = 0;
        break;
    }
}

ULONG ProcessGetRxRate(PMP_PORT port, PMP_ADAPTER adapter, PUCHAR record, PULONG rxLinkSpeed, PULONG maxLinkSpeed)
{
    if (port == nullptr || adapter == nullptr || record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive rate: missing port, adapter or record");
        return 0xFFFFFFFFu;
    }
    RtlZeroMemory(record, RX_RATE_RECORD_SIZE);
    if (rxLinkSpeed != nullptr) {
        *rxLinkSpeed = 0;
    }
    if (maxLinkSpeed != nullptr) {
        *maxLinkSpeed = 0;
    }
    if (port->PortType != EXTSTA || port->NetworkKind != 0 || port->NetworkActivation[0] == 0) {
        return 0xFFFFFFFFu;
    }
    RX_RATE_FIELDS f = {};
    HalDecodeRxRateReport(adapter, port, &f);
    const ULONG mode = f.Mode, streams = f.Streams, bandwidth = f.Bandwidth, gi = f.Gi, mcs = f.Mcs;
    TxdSetWord(record, 0, mode);
    record[4] = static_cast<UCHAR>(streams + 1);
    record[5] = static_cast<UCHAR>(bandwidth);
    record[6] = static_cast<UCHAR>(gi);
    record[7] = static_cast<UCHAR>(mcs);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "receive rate: mode %u, %u streams, bandwidth %u, GI %u, MCS %u",
             static_cast<unsigned>(mode), static_cast<unsigned>(streams + 1), static_cast<unsigned>(bandwidth),
             static_cast<unsigned>(gi), static_cast<unsigned>(mcs));
    if (rxLinkSpeed != nullptr) {
        *rxLinkSpeed = MlmeInfoGetRxLinkSpeed(adapter, port);
    }
    if (maxLinkSpeed != nullptr) {
        *maxLinkSpeed = MlmeInfoGetMaxLinkSpeed(adapter, port);
    }
    return 0;
}

BOOLEAN RxdGetFields(PMP_ADAPTER adapter, const RX_DMAQ_DESC* record, PRXD_FIELDS f)
{
    if (record == nullptr || record->Descriptor == nullptr || f == nullptr) {
        return FALSE;
    }
    const UCHAR* d = record->Descriptor;
    RtlZeroMemory(f, sizeof(*f));
    f->Channel = d[RXD_CHANNEL_OFFSET];
    f->Word1 = TxdGetWord(d, 1);
    f->Word3 = TxdGetWord(d, 3);
    switch (HalDescGeneration(adapter)) {
    case DESC_GEN_OLDER:
        f->WlanIndex = static_cast<UCHAR>(TxdGetField(d, 2, 0, 7));
        f->BssIndex = static_cast<UCHAR>(TxdGetField(d, 1, 26, 31));
        f->Tid = static_cast<UCHAR>(TxdGetField(d, 2, 8, 10));
        f->Tid4 = static_cast<UCHAR>(TxdGetField(d, 2, 8, 11));
        f->Unicast = static_cast<BOOLEAN>(TxdGetField(d, 1, 1, 1));
        f->Group = static_cast<BOOLEAN>(TxdGetField(d, 1, 2, 3) != 0);
        f->KeyIndex = static_cast<UCHAR>(TxdGetField(d, 1, 6, 7));
        f->Wake = static_cast<BOOLEAN>(TxdGetField(d, 3, 8, 8));
        f->AmsduPosition = static_cast<UCHAR>(TxdGetField(d, 1, 24, 25));
        f->NotAggregate = static_cast<BOOLEAN>(TxdGetField(d, 2, 31, 31));
        f->Errors = TxdGetWord(d, 2);
        return TRUE;
    case DESC_GEN_ARVEL2X:
    case DESC_GEN_ARVEL3X: {
        // Where the two later layouts keep the fields: {word, first bit, last bit}.
        struct Pos {
            UCHAR word, first, last;
        };
        struct Map {
            Pos wlan, bss, tid, tid4, security, key, translated, fragment;
        };
        static constexpr Map kArvel2x = {{1, 0, 7}, {2, 0, 5}, {2, 16, 18}, {2, 16, 19}, {1, 16, 20}, {1, 21, 22}, {2, 13, 13}, {2, 27, 27}};
        static constexpr Map kArvel3x = {{1, 0, 7}, {2, 0, 5}, {4, 3, 5}, {4, 3, 6}, {2, 16, 20}, {1, 21, 22}, {2, 7, 7}, {2, 27, 27}};
        const Map& m = HalDescGeneration(adapter) == DESC_GEN_ARVEL2X ? kArvel2x : kArvel3x;
        auto get = [d](const Pos& p) { return static_cast<UCHAR>(TxdGetField(d, p.word, p.first, p.last)); };
        f->WlanIndex = get(m.wlan);
        f->BssIndex = get(m.bss);
        f->Tid = get(m.tid);
        f->Tid4 = get(m.tid4);
        f->SecurityMode = get(m.security);
        f->KeyIndex = get(m.key);
        f->Translated = static_cast<BOOLEAN>(get(m.translated));
        f->Fragment = static_cast<BOOLEAN>(get(m.fragment));
        break;
    }
    default:
        return FALSE;
    }
    f->Unicast = static_cast<BOOLEAN>(TxdGetField(d, 3, 16, 16));
    f->Group = static_cast<BOOLEAN>(TxdGetField(d, 3, 17, 17));
    f->Wake = static_cast<BOOLEAN>(TxdGetField(d, 3, 19, 19));
    f->AmsduPosition = static_cast<UCHAR>(TxdGetField(d, 4, 0, 1));
    return TRUE;
}

BOOLEAN RxdGetPacketNumber(const RX_DMAQ_DESC* record, ULONG64* number)
{
    if (record == nullptr || record->Descriptor == nullptr || record->Groups[RXD_SLOT_GROUP1] == nullptr) {
        return FALSE;
    }
    const UCHAR* g = record->Groups[RXD_SLOT_GROUP1];
    ULONG64 n = 0;
    for (ULONG i = 0; i < 6; ++i) {
        n |= static_cast<ULONG64>(g[i]) << (8 * i);
    }
    *number = n;
    return TRUE;
}
