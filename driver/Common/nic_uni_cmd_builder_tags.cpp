// The unified tag builders: the rows of the scan, scheduled-scan, BSS-information, beamforming and
// station-record tag lists. Each reads the legacy payload (whose length its list builder checked,
// or which it checks itself) and writes one tag, or nothing.
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/nic_uni_cmd_builder.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

template <typename T>
T Min(T a, T b)
{
    return a < b ? a : b;
}

ULONG Pad4(ULONG length) { return (length + 3) & ~3u; }

// ---- scan request (legacy 1188 bytes) --------------------------------------------------------------
ULONG ScanTagBasic(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x01, 20);
    v[0] = legacy[2];
    v[1] = legacy[5];
    v[2] = legacy[6];
    v[3] = 1;
    UniPutU16(v + 4, UniGetU16(legacy + 828));
    UniPutU16(v + 6, UniGetU16(legacy + 154));
    UniPutU16(v + 8, UniGetU16(legacy + 156));
    UniPutU16(v + 10, UniGetU16(legacy + 152));
    return 20;
}

ULONG ScanTagSsid(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const ULONG a = Min<ULONG>(legacy[4], 4);
    const ULONG b = Min<ULONG>(legacy[827], 6);
    const ULONG n = a + b;
    if (n == 0) {
        return 0;
    }
    const ULONG length = 8 + 36 * n;
    PUCHAR v = UniPutTlv(out, 0x0A, static_cast<USHORT>(length));
    v[0] = legacy[3];
    v[1] = static_cast<UCHAR>(n);
    PlatformMoveMemory(v + 4, legacy + 8, 36 * a);
    PlatformMoveMemory(v + 4 + 36 * a, legacy + 896, 36 * b);
    return length;
}

ULONG ScanTagBssid(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    if ((legacy[6] & 0x08) == 0) {
        PUCHAR v = UniPutTlv(out, 0x0B, 16);
        PlatformMoveMemory(v, legacy + 1112, 6);
        UniPutU16(v + 6, 0x0400);
        return 16;
    }
    for (ULONG i = 0; i < 4; ++i) {
        PUCHAR v = UniPutTlv(out + 16 * i, 0x0B, 16);
        PlatformMoveMemory(v, legacy + 1124 + 6 * i, 6);
        v[6] = legacy[1149 + i];
        v[7] = legacy[1153 + i];
    }
    return 64;
}

ULONG ScanTagChannel(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const ULONG a = Min<ULONG>(legacy[159], 32);
    const ULONG b = Min<ULONG>(legacy[826], 32);
    const ULONG n = a + b;
    if (n == 0) {
        return 0;
    }
    const ULONG length = Pad4(8 + 2 * n);
    PUCHAR v = UniPutTlv(out, 0x0C, static_cast<USHORT>(length));
    v[0] = legacy[158];
    v[1] = static_cast<UCHAR>(n);
    PlatformMoveMemory(v + 4, legacy + 160, 2 * a);
    PlatformMoveMemory(v + 4 + 2 * a, legacy + 830, 2 * b);
    return length;
}

ULONG ScanTagIe(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const ULONG ieLength = Min<ULONG>(UniGetU16(legacy + 224), 600);
    if (ieLength == 0) {
        return 0;
    }
    const ULONG length = Pad4(8 + ieLength);
    PUCHAR v = UniPutTlv(out, 0x0D, static_cast<USHORT>(length));
    UniPutU16(v, ieLength);
    PlatformMoveMemory(v + 4, legacy + 226, ieLength);
    return length;
}

ULONG ScanTagMisc(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x0E, 12);
    PlatformMoveMemory(v, legacy + 1118, 6);
    v[6] = legacy[1148];
    return 12;
}

// ---- scheduled scan (legacy 1224 bytes and the extra elements behind them) -------------------------
ULONG SchedTagBasic(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x03, 28);
    v[0] = legacy[0];
    v[1] = legacy[2];
    v[2] = legacy[1010];
    PlatformMoveMemory(v + 4, legacy + 1140, 20);
    return 28;
}

ULONG SchedTagSsid(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const ULONG n = Min<ULONG>(legacy[3], 10);
    if (n == 0) {
        return 0;
    }
    const ULONG length = 8 + 36 * n;
    PUCHAR v = UniPutTlv(out, 0x0A, static_cast<USHORT>(length));
    v[0] = 4;
    v[1] = static_cast<UCHAR>(n);
    PlatformMoveMemory(v + 4, legacy + 8, 36 * n);
    return length;
}

ULONG SchedTagChannel(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const ULONG n = Min<ULONG>(legacy[1009], 64);
    if (n == 0) {
        return 0;
    }
    const ULONG length = 8 + 2 * n;
    PUCHAR v = UniPutTlv(out, 0x0C, static_cast<USHORT>(length));
    v[0] = legacy[1008];
    v[1] = static_cast<UCHAR>(n);
    PlatformMoveMemory(v + 4, legacy + 1012, 2 * n);
    return length;
}

ULONG SchedTagIe(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG legacyLength)
{
    // The extra elements follow the 1224-byte request; never more than it carries, nor than 600.
    const ULONG carried = legacyLength > UNI_SCHED_SCAN_LEGACY_LENGTH ? legacyLength - UNI_SCHED_SCAN_LEGACY_LENGTH : 0;
    const ULONG ieLength = Min<ULONG>(Min<ULONG>(UniGetU16(legacy + 6), carried), 600);
    if (ieLength == 0) {
        return 0;
    }
    const ULONG length = 8 + ieLength;
    PUCHAR v = UniPutTlv(out, 0x0D, static_cast<USHORT>(length));
    UniPutU16(v, ieLength);
    PlatformMoveMemory(v + 4, legacy + UNI_SCHED_SCAN_LEGACY_LENGTH, ieLength);
    return length;
}

ULONG SchedTagMatchSets(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const ULONG n = Min<ULONG>(legacy[4], 16);
    if (n == 0) {
        return 0;
    }
    const ULONG length = 8 + 40 * n;
    PUCHAR v = UniPutTlv(out, 0x0F, static_cast<USHORT>(length));
    v[0] = static_cast<UCHAR>(n);
    PlatformMoveMemory(v + 4, legacy + 368, 40 * n);
    return length;
}

// ---- BSS information (legacy 116 bytes) ------------------------------------------------------------
// The peer entry of the BSS: the entry of the port's BSSID, else the entry of the port's role; a
// group owner always uses the entry of its role.
PMAC_TABLE_ENTRY BssPeer(PMP_PORT port)
{
    PMAC_TABLE_ENTRY entry = port->PortType == WFD_GO ? nullptr : MlmeSyncMacTabMatchedBssid(port, port->Bssid);
    return entry != nullptr ? entry : MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
}

ULONG BssTagRlm(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG) { return nicUniCmdSetBssRlmImpl(out, legacy + 68); }

ULONG BssTagRate(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x0B, 16);
    UniPutU16(v, UniGetU16(legacy + 44));
    UniPutU16(v + 2, UniGetU16(legacy + 46));
    return 16;
}

ULONG BssTagAuth(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x10, 8);
    v[0] = legacy[53];
    v[1] = legacy[54];
    return 8;
}

ULONG BssTagQos(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    UniPutTlv(out, 0x0F, 8)[0] = legacy[42];
    return 8;
}

ULONG BssTagSsid(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x0D, 40);
    const UCHAR length = Min<UCHAR>(legacy[3], 32);
    v[0] = legacy[59];
    v[3] = length;
    PlatformMoveMemory(v + 4, legacy + 4, length);
    return 40;
}

ULONG BssTagWord64(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    UniPutU32(UniPutTlv(out, 0x0E, 8), UniGetU32(legacy + 64));
    return 8;
}

ULONG BssTagJoin(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x06, 8);
    v[0] = legacy[102];
    v[1] = legacy[103];
    return 8;
}

ULONG BssTagByte56(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    UniPutTlv(out, 0x0C, 8)[0] = legacy[56];
    return 8;
}

ULONG BssTagMld(PMP_PORT port, PUCHAR out, const UCHAR*, ULONG) { return nicUniCmdBssInfoMld(port, out); }

// ---- beamforming actions ---------------------------------------------------------------------------
ULONG BfAction0(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    if (length < 2) {
        return 0;
    }
    UniPutTlv(out, 0x00, 8)[0] = legacy[1];
    return 8;
}

ULONG BfAction1(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    if (length < 12) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x01, 20);
    v[0] = legacy[1];
    v[1] = legacy[2];
    for (ULONG i = 0; i < 4; ++i) {
        UniPutU16(v + 4 + 2 * i, legacy[4 + i]);
    }
    UniPutU32(v + 12, UniGetU32(legacy + 8));
    return 20;
}

ULONG BfAction2(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    if (length < 6) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x02, 12);
    UniPutU16(v, legacy[1]);
    PlatformMoveMemory(v + 2, legacy + 2, 4);
    return 12;
}

ULONG BfAction3(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    if (length < 3) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x03, 12);
    UniPutU16(v, legacy[2]);
    v[2] = legacy[1];
    return 12;
}

ULONG BfThreeBytes(PUCHAR out, USHORT tag, USHORT tagLength, const UCHAR* legacy, ULONG length)
{
    if (length < 4) {
        return 0;
    }
    PlatformMoveMemory(UniPutTlv(out, tag, tagLength), legacy + 1, 3);
    return tagLength;
}

ULONG BfAction4(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length) { return BfThreeBytes(out, 4, 8, legacy, length); }

}  // namespace

ULONG nicUniCmdBFActionTagRead(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    return BfThreeBytes(out, 5, 68, legacy, length);
}

ULONG nicUniCmdBFActionTagWrite(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    if (length < 60) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 6, 68);
    PlatformMoveMemory(v, legacy + 1, 3);
    PlatformMoveMemory(v + 8, legacy + 4, 56);
    return 68;
}

ULONG nicUniCmdBFActionDataRead(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    if (length < 8) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 7, 12);
    v[0] = legacy[1];
    v[1] = legacy[2];
    UniPutU16(v + 2, UniGetU16(legacy + 6));
    v[4] = legacy[3];
    return 12;
}

ULONG nicUniCmdBFActionTxApply(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG length)
{
    return BfAction2(port, out, legacy, length);
}

namespace {

// ---- station record (legacy 236 bytes) -----------------------------------------------------------
ULONG StaTagBasic(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x00, 20);
    UniPutU32(v, nicUniCmdStaRecConnType(legacy[1]));
    v[4] = 1;
    v[5] = legacy[18];
    UniPutU16(v + 6, UniGetU16(legacy + 8));
    PlatformMoveMemory(v + 8, legacy + 2, 6);
    UniPutU16(v + 14, 3);
    return 20;
}

ULONG StaTagHt(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const USHORT info = UniGetU16(legacy + 40);
    const USHORT ext = UniGetU16(legacy + 42);
    if (info == 0 && ext == 0) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x09, 8);
    UniPutU16(v, info);
    UniPutU16(v + 2, ext);
    return 8;
}

ULONG StaTagVht(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const ULONG info = UniGetU32(legacy + 56);
    if (info == 0) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x0A, 16);
    UniPutU32(v, info);
    UniPutU16(v + 4, UniGetU16(legacy + 60));
    UniPutU16(v + 6, UniGetU16(legacy + 64));
    return 16;
}

BOOLEAN AllZero(const UCHAR* p, ULONG length)
{
    for (ULONG i = 0; i < length; ++i) {
        if (p[i] != 0) {
            return FALSE;
        }
    }
    return TRUE;
}

}  // namespace

ULONG nicUniCmdStaRecTagHe6gCap(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    const USHORT caps = UniGetU16(legacy + 168);
    if (caps == 0) {
        return 0;
    }
    UniPutU16(UniPutTlv(out, 0x17, 8), caps);
    return 8;
}

namespace {

ULONG StaTagState(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x07, 16);
    v[0] = legacy[20];
    UniPutU32(v + 4, UniGetU32(legacy + 88));
    v[8] = legacy[69];
    return 16;
}

ULONG StaTagPhy(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x15, 12);
    UniPutU16(v, UniGetU16(legacy + 16));
    v[2] = legacy[13];
    v[3] = legacy[48];
    v[4] = legacy[68];
    v[5] = legacy[50];
    return 12;
}

ULONG StaTagRate(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x01, 16);
    UniPutU16(v, UniGetU16(legacy + 14));
    PlatformMoveMemory(v + 2, legacy + 24, 10);
    return 16;
}

ULONG StaTagBa(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x16, 16);
    v[0] = legacy[76];
    v[1] = legacy[77];
    v[2] = legacy[128];
    v[3] = legacy[129];
    UniPutU32(v + 4, UniGetU32(legacy + 132));
    if ((legacy[13] & 0xC0) != 0) {
        UniPutU16(v + 8, UniGetU16(legacy + 92));
        UniPutU16(v + 10, UniGetU16(legacy + 94));
    } else {
        UniPutU16(v + 8, legacy[92]);
        UniPutU16(v + 10, legacy[93]);
    }
    return 16;
}

ULONG StaTagUapsd(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x24, 8);
    v[0] = legacy[19];
    v[1] = legacy[52];
    v[2] = legacy[53];
    return 8;
}

}  // namespace

ULONG nicUniCmdStaRecConnType(UCHAR entryType)
{
    switch (entryType) {
    case 0x21:
        return 0x10001;
    case 0x22:
        return 0x20001;
    case 0x41:
        return 0x10002;
    case 0x42:
        return 0x20002;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "station record of entry type 0x%02X", static_cast<unsigned>(entryType));
        return 0x10001;
    }
}

ULONG nicUniCmdStaRecTagHeBasic(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    if (AllZero(legacy + 136, 17)) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x19, 28);
    PlatformMoveMemory(v, legacy + 136, 17);
    v[17] = 2;
    UniPutU16(v + 18, UniGetU16(legacy + 156));
    UniPutU16(v + 20, UniGetU16(legacy + 160));
    UniPutU16(v + 22, UniGetU16(legacy + 164));
    return 28;
}

ULONG nicUniCmdStaRecTagEhtInfo(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    if (AllZero(legacy + 200, 10)) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x22, 40);
    v[0] = 0xFF;
    UniPutU16(v + 2, UniGetU16(legacy + 200));
    PlatformMoveMemory(v + 4, legacy + 202, 8);
    PlatformMoveMemory(v + 12, legacy + 210, 8);
    PlatformMoveMemory(v + 20, legacy + 218, 4);
    PlatformMoveMemory(v + 24, legacy + 222, 9);
    return 40;
}

ULONG nicUniCmdSchedScanTagWinNlo(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x05, 28);
    UniPutU32(v, UniGetU32(legacy + 1164));
    UniPutU32(v + 4, UniGetU32(legacy + 1168));
    UniPutU32(v + 8, UniGetU32(legacy + 1172));
    UniPutU32(v + 12, UniGetU32(legacy + 1176));
    return 28;
}

ULONG nicUniCmdBssInfoTagBasic(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PMAC_TABLE_ENTRY peer = BssPeer(port);
    if (peer == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "port %u: BSS information without a peer entry",
                 static_cast<unsigned>(port->PortNumber));
        return 0;
    }
    const ULONG connType = nicUniCmdBssInfoConnType(port);
    USHORT phyTypeSet = nicUniCmdBssInfoPhyTypeSet(legacy[55]);
    USHORT beaconInterval = port->BeaconInterval;
    if (connType == 0x20002) {
        beaconInterval = 100;
        phyTypeSet = static_cast<USHORT>(phyTypeSet & ~0x100);
    }
    PUCHAR v = UniPutTlv(out, 0x00, 32);
    v[0] = port->NetworkActivation[0];
    v[1] = port->OwnMacIndex;
    v[2] = port->OwnMacIndex;
    v[3] = legacy[90] == 4 ? 0xFF : legacy[90] == 3 ? 0xFE : legacy[90];
    UniPutU32(v + 4, connType);
    v[8] = (port->ConnectionFlags & PORT_CONN_CONNECTED) == 0 ? 1 : 0;
    v[9] = legacy[91];
    PlatformMoveMemory(v + 10, legacy + 36, 6);
    UniPutU16(v + 16, legacy[58]);
    UniPutU16(v + 18, beaconInterval);
    v[20] = port->DtimPeriod;
    v[21] = static_cast<UCHAR>(phyTypeSet);
    UniPutU16(v + 22, peer->StaRecIdx);
    UniPutU16(v + 24, legacy[52]);
    v[26] = static_cast<UCHAR>(phyTypeSet >> 8);
    return 32;
}

ULONG nicUniCmdBssInfoTagHe(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG)
{
    if (BssPeer(port) == nullptr) {
        return 0;
    }
    const ULONG params = legacy[96] | (static_cast<ULONG>(legacy[97]) << 8) | (static_cast<ULONG>(legacy[98]) << 16);
    const USHORT mcs = UniGetU16(legacy + 100);
    PUCHAR v = UniPutTlv(out, 0x05, 16);
    UniPutU16(v, (params >> 4) & 0x3FF);
    v[2] = static_cast<UCHAR>(params & 0x7);
    v[3] = static_cast<UCHAR>((params >> 16) & 1);
    UniPutU16(v + 4, mcs);
    UniPutU16(v + 6, mcs);
    UniPutU16(v + 8, mcs);
    return 16;
}

ULONG nicUniCmdBssInfoTagBssColor(PMP_PORT port, PUCHAR out, const UCHAR* legacy, ULONG)
{
    if (BssPeer(port) == nullptr) {
        return 0;
    }
    PUCHAR v = UniPutTlv(out, 0x04, 8);
    v[0] = (legacy[99] & 0x80) == 0 ? 1 : 0;
    v[1] = legacy[99] & 0x3F;
    return 8;
}

ULONG nicUniCmdBssInfoTagEht(PMP_PORT, PUCHAR, const UCHAR*, ULONG)
{
    // The station entry does not hold the peer's EHT Operation element: the tag is left out.
    return 0;
}

ULONG nicUniCmdBssInfoTagSTAIoT(PMP_PORT, PUCHAR out, const UCHAR* legacy, ULONG)
{
    PUCHAR v = UniPutTlv(out, 0x18, 8);
    v[0] = legacy[49];
    v[1] = legacy[61];
    return 8;
}

#define TAG_ROW(max, builder) {max, builder}
const UNI_TAG_BUILDER UniTagBuilderTable[UNI_TAG_BUILDER_ROWS] = {
    // scan request
    TAG_ROW(20, ScanTagBasic),
    TAG_ROW(368, ScanTagSsid),
    TAG_ROW(64, ScanTagBssid),
    TAG_ROW(136, ScanTagChannel),
    TAG_ROW(608, ScanTagIe),
    TAG_ROW(12, ScanTagMisc),
    // scheduled scan
    TAG_ROW(28, SchedTagBasic),
    TAG_ROW(28, nicUniCmdSchedScanTagWinNlo),
    TAG_ROW(368, SchedTagSsid),
    TAG_ROW(136, SchedTagChannel),
    TAG_ROW(608, SchedTagIe),
    TAG_ROW(648, SchedTagMatchSets),
    // BSS information
    TAG_ROW(32, nicUniCmdBssInfoTagBasic),
    TAG_ROW(44, BssTagRlm),
    TAG_ROW(16, BssTagRate),
    TAG_ROW(8, BssTagAuth),
    TAG_ROW(8, BssTagQos),
    TAG_ROW(40, BssTagSsid),
    TAG_ROW(8, BssTagWord64),
    TAG_ROW(16, nicUniCmdBssInfoTagHe),
    TAG_ROW(8, nicUniCmdBssInfoTagBssColor),
    TAG_ROW(16, nicUniCmdBssInfoTagEht),
    TAG_ROW(8, BssTagJoin),
    TAG_ROW(8, BssTagByte56),
    TAG_ROW(20, BssTagMld),
    TAG_ROW(8, nicUniCmdBssInfoTagSTAIoT),
    // beamforming actions 0..7
    TAG_ROW(8, BfAction0),
    TAG_ROW(20, BfAction1),
    TAG_ROW(12, nicUniCmdBFActionTxApply),
    TAG_ROW(12, BfAction3),
    TAG_ROW(8, BfAction4),
    TAG_ROW(68, nicUniCmdBFActionTagRead),
    TAG_ROW(68, nicUniCmdBFActionTagWrite),
    TAG_ROW(12, nicUniCmdBFActionDataRead),
    // station record
    TAG_ROW(20, StaTagBasic),
    TAG_ROW(8, StaTagHt),
    TAG_ROW(16, StaTagVht),
    TAG_ROW(28, nicUniCmdStaRecTagHeBasic),
    TAG_ROW(8, nicUniCmdStaRecTagHe6gCap),
    TAG_ROW(16, StaTagState),
    TAG_ROW(12, StaTagPhy),
    TAG_ROW(16, StaTagRate),
    TAG_ROW(16, StaTagBa),
    TAG_ROW(8, StaTagUapsd),
    TAG_ROW(40, nicUniCmdStaRecTagEhtInfo),
};
#undef TAG_ROW
