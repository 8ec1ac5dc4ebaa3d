// The unified command builders.
#include "Common/nic_uni_cmd_builder.h"

#include "Common/mlme/mlmesync_mactab.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kFixedPart = 4;

// The request is one the builder knows: its command id, the extended id of an extended command,
// and at least `minimum` payload bytes (`exact`: exactly that many).
BOOLEAN Accepts(PCSTR builder, const UNI_CMD_REQUEST* request, UCHAR cmdId, UCHAR extCmdId, ULONG minimum,
                BOOLEAN exact)
{
    const BOOLEAN lengthOk = exact ? request->PayloadLength == minimum : request->PayloadLength >= minimum;
    if (request->CmdId != cmdId || (cmdId == FW_CMD_ID_EXTENDED && request->ExtCmdId != extCmdId) || !lengthOk ||
        (minimum != 0 && request->Payload == nullptr)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: command 0x%02X/0x%02X of %u bytes not accepted", builder,
                 static_cast<unsigned>(request->CmdId), static_cast<unsigned>(request->ExtCmdId),
                 static_cast<unsigned>(request->PayloadLength));
        return FALSE;
    }
    return TRUE;
}

// The shape of every builder here: one entry of `size` bytes whose payload is the 4-byte fixed part
// (all zero) and one TLV of the rest; `fill` writes the TLV's value and may set the answer tag.
// The same with byte 0 of the fixed part set to `head` (a BSS index, or 0xFF).
template <typename Fill>
NTSTATUS BuildHeadTlv(PCSTR builder, PMP_PORT port, PUNI_CMD_REQUEST request, UCHAR uniCmdId, ULONG size, UCHAR head,
                      USHORT tag, Fill fill)
{
    PUNI_CMD_ENTRY entry = nicUniCmdAllocEntry(port, uniCmdId, size);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: entry of %u bytes not allocated", builder, static_cast<unsigned>(size));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    entry->Payload[0] = head;
    fill(UniPutTlv(entry->Payload + kFixedPart, tag, static_cast<USHORT>(size - kFixedPart)), entry);
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

template <typename Fill>
NTSTATUS BuildOneTlv(PCSTR builder, PMP_PORT port, PUNI_CMD_REQUEST request, UCHAR uniCmdId, ULONG size, USHORT tag,
                     Fill fill)
{
    return BuildHeadTlv(builder, port, request, uniCmdId, size, 0, tag, fill);
}

}  // namespace

NTSTATUS nicUniCmdNicCapability(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x8A, 0, 0, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    return BuildOneTlv(__func__, port, request, 0x0E, 8, 3, [](PUCHAR, PUNI_CMD_ENTRY entry) { entry->AnswerTag = 3; });
}

NTSTATUS nicUniCmdWsysFwBasicConfig(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x02, 0, 12, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x0B, 16, 3, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        UniPutU16(v, UniGetU16(legacy + 4));
        UniPutU16(v + 2, UniGetU16(legacy + 6));
        v[4] = legacy[1];
        entry->AnswerTag = 3;
    });
}

NTSTATUS nicUniCmdAccessReg(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0xC0, 0, 8, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const ULONG address = UniGetU32(request->Payload);
    const ULONG value = UniGetU32(request->Payload + 4);
    // Addresses of the 0x99xxxxxx range take the second form, which names their third byte first.
    const BOOLEAN second = (address >> 24) == 0x99;
    const BOOLEAN query = !request->SetQuery;
    return BuildOneTlv(__func__, port, request, 0x0D, second ? 20 : 16, second ? 1 : 0,
                       [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
                           if (second) {
                               UniPutU16(v, (address >> 16) & 0xFF);
                               v += 4;
                           }
                           UniPutU32(v, address);
                           UniPutU32(v + 4, value);
                           if (query) {
                               entry->AnswerTag = second ? 1 : 0;
                           }
                       });
}

NTSTATUS nicUniCmdSetMbmc(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (port == nullptr || !Accepts(__func__, request, 0x28, 0, 36, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x28, 12, 0, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        v[0] = legacy[0];
        v[1] = legacy[3];
    });
}

NTSTATUS nicUniCmdChipCfg(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    constexpr ULONG kLegacyLength = 328;
    constexpr ULONG kTextOffset = 8;
    constexpr ULONG kTextRoom = kLegacyLength - kTextOffset;  // 320
    if (!Accepts(__func__, request, 0xCA, 0, kLegacyLength, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const USHORT textLength = UniGetU16(legacy + 4);
    if (textLength > kTextRoom) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: text of %u bytes is longer than its %u", __func__,
                 static_cast<unsigned>(textLength), static_cast<unsigned>(kTextRoom));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const BOOLEAN query = !request->SetQuery;
    return BuildOneTlv(__func__, port, request, 0x0E, 336, 2, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        UniPutU16(v, UniGetU16(legacy));
        v[2] = legacy[2];
        v[3] = legacy[3];
        UniPutU16(v + 4, textLength);
        PlatformMoveMemory(v + 8, legacy + kTextOffset, textLength);
        if (query) {
            entry->AnswerTag = 2;
        }
    });
}

NTSTATUS nicUniCmdWsysFwLog2Host(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0xC5, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR level = request->Payload[0];
    return BuildOneTlv(__func__, port, request, 0x0B, 12, 0, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        v[0] = level;
        entry->AnswerTag = 0;
    });
}

NTSTATUS nicUniCmdPowerCtrl(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x04, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR value = request->Payload[0];
    return BuildOneTlv(__func__, port, request, 0x0F, 12, 0, [&](PUCHAR v, PUNI_CMD_ENTRY) { v[0] = value; });
}

NTSTATUS nicUniCmdEfuseBufferMode(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    constexpr ULONG kHead = 4;
    constexpr ULONG kData = 1024;
    if (port == nullptr || port->Adapter == nullptr ||
        !Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0x21, kHead, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR binMode = port->Adapter->RegistryBlock.BinMode;
    const UCHAR* legacy = request->Payload;
    const USHORT dataLength = UniGetU16(legacy + 2);
    const BOOLEAN copyData = binMode == 1 && dataLength != 0;
    // The data always travels as a whole 1024-byte piece; the legacy payload must hold it.
    if (copyData && request->PayloadLength < kHead + kData) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: piece of %u bytes announced in a payload of %u", __func__,
                 static_cast<unsigned>(dataLength), static_cast<unsigned>(request->PayloadLength));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const ULONG size = binMode != 0 ? kFixedPart + sizeof(UNI_TLV) + kHead + kData : 12;
    const NTSTATUS status = BuildOneTlv(__func__, port, request, 0x2D, size, 2, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        v[0] = legacy[0];
        v[1] = legacy[1];
        UniPutU16(v + 2, dataLength);
        if (copyData) {
            PlatformMoveMemory(v + kHead, legacy + kHead, kData);
        }
    });
    if (status == STATUS_SUCCESS) {
        // The firmware answers every piece.
        request->SetQuery = 1;
        request->NeedResp = 1;
    }
    return status;
}

NTSTATUS nicUniCmdSerAction(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0x81, 1, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const UCHAR action = legacy[0];
    // Legacy bytes each action reads.
    static const UCHAR kNeeded[5] = {1, 2, 2, 3, 2};
    if (action >= 5 || request->PayloadLength < kNeeded[action]) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: action %u with %u bytes not accepted", __func__,
                 static_cast<unsigned>(action), static_cast<unsigned>(request->PayloadLength));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    return BuildOneTlv(__func__, port, request, 0x13, action == 0 ? 8 : 12, action, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        switch (action) {
        case 1:
        case 4:
            v[0] = legacy[1];
            break;
        case 2:
            UniPutU32(v, legacy[1]);
            break;
        case 3:
            v[0] = legacy[1];
            v[1] = legacy[2];
            break;
        default:
            break;
        }
    });
}

NTSTATUS nicUniCmdNotSupport(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    UNREFERENCED_PARAMETER(port);
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command 0x%02X has no unified form", static_cast<unsigned>(request->CmdId));
    return STATUS_SUCCESS;
}

// ================================================================================================
// scan, channel privilege, domain, offload, radar detection
// ================================================================================================
namespace {

// A legacy band-index byte in the unified form: 4 -> 0xFF, 3 -> 0xFE, others unchanged.
UCHAR UniBandIndex(UCHAR legacy) { return legacy == 4 ? 0xFF : legacy == 3 ? 0xFE : legacy; }

// An entry of `size` bytes whose fixed part starts with `head` (the BSS index or 0xFF); the caller
// writes the TLVs. None (traced) when the allocation fails.
PUNI_CMD_ENTRY AllocWithHead(PCSTR builder, PMP_PORT port, UCHAR uniCmdId, ULONG size, UCHAR head)
{
    PUNI_CMD_ENTRY entry = nicUniCmdAllocEntry(port, uniCmdId, size);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: entry of %u bytes not allocated", builder, static_cast<unsigned>(size));
        return nullptr;
    }
    entry->Payload[0] = head;
    return entry;
}

// A list builder: the fixed part, then each row of the sub-table at the current position.
NTSTATUS BuildTagList(PCSTR builder, PMP_PORT port, PUNI_CMD_REQUEST request, UCHAR uniCmdId, ULONG fixedPart,
                      const UNI_TAG_BUILDER* rows, ULONG rowCount, const UCHAR fixed[4])
{
    ULONG room = fixedPart;
    for (ULONG i = 0; i < rowCount; ++i) {
        room += static_cast<ULONG>(rows[i].MaxLength);
    }
    PUNI_CMD_ENTRY entry = nicUniCmdAllocEntry(port, uniCmdId, room);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: entry of %u bytes not allocated", builder, static_cast<unsigned>(room));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PlatformMoveMemory(entry->Payload, fixed, 4);
    ULONG used = fixedPart;
    for (ULONG i = 0; i < rowCount; ++i) {
        const ULONG written = rows[i].Build(port, entry->Payload + used, request->Payload, request->PayloadLength);
        if (written > rows[i].MaxLength) {
            // Every tag builder stays within its row; this would be a fault of the table.
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: tag row %u wrote %u of %u bytes", builder, static_cast<unsigned>(i),
                     static_cast<unsigned>(written), static_cast<unsigned>(rows[i].MaxLength));
            nicUniCmdFreeEntry(entry);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        used += written;
    }
    entry->PayloadLength = used;
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS nicUniCmdScanReqV2(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x03, 0, UNI_SCAN_LEGACY_LENGTH, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR fixed[4] = {request->Payload[0], request->Payload[1], 0, 0};
    return BuildTagList(__func__, port, request, 0x16, kFixedPart, UniTagBuilderTable + UNI_TAG_ROWS_SCAN_FIRST,
                        UNI_TAG_ROWS_SCAN, fixed);
}

NTSTATUS nicUniCmdScanCancel(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x1B, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildHeadTlv(__func__, port, request, 0x16, 12, legacy[0], 2, [&](PUCHAR v, PUNI_CMD_ENTRY) { v[0] = legacy[1]; });
}

NTSTATUS nicUniCmdChPrivilege(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x1C, 0, 24, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const BOOLEAN abort = legacy[2] == 1;
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x27, abort ? 16 : 28, 0);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (abort) {
        PUCHAR v = UniPutTlv(entry->Payload + kFixedPart, 1, 12);
        v[0] = legacy[0];
        v[1] = legacy[1];
        v[2] = UniBandIndex(legacy[10]);
    } else {
        PUCHAR v = UniPutTlv(entry->Payload + kFixedPart, 0, 24);
        const UCHAR width = legacy[6];
        v[0] = legacy[0];
        v[1] = legacy[1];
        v[2] = legacy[3];
        v[3] = legacy[4];
        v[4] = legacy[5];
        v[5] = width <= 3 ? width : width == 4 ? 6 : 0;
        v[6] = legacy[7];
        v[7] = legacy[8];
        v[8] = legacy[6];
        v[9] = legacy[7];
        v[10] = legacy[8];
        v[11] = legacy[9];
        UniPutU32(v + 12, UniGetU32(legacy + 12));
        v[16] = UniBandIndex(legacy[10]);
        v[17] = legacy[11];
        // The grant event completes the request.
        entry->AnswerTag = 0;
    }
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdSetDomain(PMP_PORT port, PUNI_CMD_REQUEST request) { return nicUniCmdSetDomainV2(port, request); }

NTSTATUS nicUniCmdSetDomainV2(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    constexpr ULONG kHead = 12;
    if (!Accepts(__func__, request, 0x0F, 0, kHead, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const ULONG n = static_cast<ULONG>(legacy[8]) + legacy[9] + legacy[10];
    if (n >= 256) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: %u channels are too many", __func__, static_cast<unsigned>(n));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // Only the channel-list form can be translated: its length must be that of its counts.
    if (request->PayloadLength != kHead + 8 * n) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: %u bytes do not hold %u channels", __func__,
                 static_cast<unsigned>(request->PayloadLength), static_cast<unsigned>(n));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    PUNI_CMD_ENTRY entry = nicUniCmdAllocEntry(port, 0x15, 16 + 8 * n);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: entry not allocated", __func__);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PUCHAR p = entry->Payload;
    UniPutU32(p, UniGetU32(legacy));
    p[4] = legacy[4];
    p[5] = legacy[5];
    p[6] = legacy[6];
    PUCHAR v = UniPutTlv(p + 8, 2, static_cast<USHORT>(8 * (n + 1)));
    v[0] = legacy[8];
    v[1] = legacy[9];
    v[2] = legacy[10];
    PlatformMoveMemory(v + 4, legacy + kHead, 8 * n);
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdSchedScanEnable(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x61, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR value = request->Payload[0];
    return BuildOneTlv(__func__, port, request, 0x16, 12, 4, [&](PUCHAR v, PUNI_CMD_ENTRY) { v[0] = value; });
}

NTSTATUS nicUniCmdSchedScanReq(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x62, 0, UNI_SCHED_SCAN_LEGACY_LENGTH, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR fixed[4] = {request->Payload[1], request->Payload[1160], 0, 0};
    return BuildTagList(__func__, port, request, 0x16, kFixedPart, UniTagBuilderTable + UNI_TAG_ROWS_SCHED_FIRST,
                        UNI_TAG_ROWS_SCHED, fixed);
}

NTSTATUS nicUniCmdRddOnOffCtrl(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x8F, 0, 8, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x19, 16, 0,
                       [&](PUCHAR v, PUNI_CMD_ENTRY) { PlatformMoveMemory(v, legacy, 4); });
}

// ================================================================================================
// BSS, station records, keys, EDCA, power management
// ================================================================================================
ULONG nicUniCmdBssInfoConnType(PMP_PORT port)
{
    if (port == nullptr) {
        return 0;
    }
    if (port->PortType == EXTSTA && port->FwModeWord == 0) {
        return 0x10001;
    }
    if (port->FwModeWord != 1) {
        return 0;
    }
    if (port->OperationModeCode == 8) {
        return 0x20000;
    }
    if (port->PortType == WFD_CLIENT || port->OperationModeCode == 32) {
        return 0x20001;
    }
    if (port->PortType == WFD_GO || port->OperationModeCode == 16) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "port %u: group-owner connection type",
                 static_cast<unsigned>(port->PortNumber));
        return 0x20002;
    }
    return 0;
}

USHORT nicUniCmdBssInfoPhyTypeSet(UCHAR legacy)
{
    static const USHORT kBits[8] = {0x002, 0x004, 0x000, 0x001, 0x018, 0x020, 0x1C0, 0xE00};
    USHORT set = 0;
    for (ULONG bit = 0; bit < 8; ++bit) {
        if ((legacy & (1u << bit)) != 0) {
            set = static_cast<USHORT>(set | kBits[bit]);
        }
    }
    return set;
}

ULONG nicUniCmdBssInfoMld(PMP_PORT port, PUCHAR out)
{
    PUCHAR v = UniPutTlv(out, 0x1A, 20);
    v[0] = 0xFF;
    v[1] = port->BssIndex;
    PlatformMoveMemory(v + 2, port->MacAddress, MAC_ADDR_LEN);
    UniPutU32(v + 8, 0x0000FFFF);
    return 20;
}

NTSTATUS nicUniCmdBssActivateCtrl(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (port == nullptr || !Accepts(__func__, request, 0x11, 0, 12, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const UCHAR activate = legacy[1];
    PUNI_CMD_ENTRY device = AllocWithHead(__func__, port, 0x01, 16, legacy[3]);
    if (device == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    device->Payload[1] = legacy[0] == 4 ? 0xFE : 0xFF;
    PUCHAR d = UniPutTlv(device->Payload + kFixedPart, 0, 12);
    d[0] = activate;
    d[1] = legacy[11];
    PlatformMoveMemory(d + 2, legacy + 4, MAC_ADDR_LEN);

    PUNI_CMD_ENTRY bss = AllocWithHead(__func__, port, 0x02, activate ? 56 : 36, legacy[0]);
    if (bss == nullptr) {
        nicUniCmdFreeEntry(device);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // The station entry does not hold its PHY type set and PHY mode yet: the values of a port without
    // a peer entry are sent.
    const USHORT phyTypeSet = 16;
    PUCHAR b = UniPutTlv(bss->Payload + kFixedPart, 0, 32);
    b[0] = activate;
    b[1] = legacy[3];
    b[2] = legacy[3];
    b[3] = 0xFF;
    UniPutU32(b + 4, nicUniCmdBssInfoConnType(port));
    b[8] = (port->ConnectionFlags & PORT_CONN_CONNECTED) == 0 ? 1 : 0;
    b[9] = 0;  // the port's WMM set index
    PlatformMoveMemory(b + 10, port->Bssid, MAC_ADDR_LEN);
    UniPutU16(b + 16, legacy[10]);
    UniPutU16(b + 18, port->BeaconInterval);
    b[20] = port->DtimPeriod;
    b[21] = static_cast<UCHAR>(phyTypeSet);
    UniPutU16(b + 22, 0xFE);
    UniPutU16(b + 24, 3);
    b[26] = static_cast<UCHAR>(phyTypeSet >> 8);
    b[27] = legacy[11];
    if (activate) {
        (void)nicUniCmdBssInfoMld(port, bss->Payload + kFixedPart + 32);
    }
    if (activate) {
        nicUniCmdAppendEntry(request, device);
        nicUniCmdAppendEntry(request, bss);
    } else {
        nicUniCmdAppendEntry(request, bss);
        nicUniCmdAppendEntry(request, device);
    }
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdSetBssInfo(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (port == nullptr || !Accepts(__func__, request, 0x12, 0, UNI_BSS_INFO_LEGACY_LENGTH, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR fixed[4] = {request->Payload[0], 0, 0, 0};
    return BuildTagList(__func__, port, request, 0x02, kFixedPart, UniTagBuilderTable + UNI_TAG_ROWS_BSS_FIRST,
                        UNI_TAG_ROWS_BSS, fixed);
}

ULONG nicUniCmdSetBssRlmImpl(PUCHAR out, const UCHAR* legacy)
{
    PUCHAR v = UniPutTlv(out, 2, 16);
    v[0] = legacy[2];
    v[1] = legacy[16];
    v[2] = legacy[17];
    switch (legacy[15]) {
    case 0:
        v[3] = legacy[3] != 0 ? 1 : 0;
        break;
    case 1:
        v[3] = 2;
        break;
    case 2:
        v[3] = 3;
        break;
    case 3:
        v[3] = 6;
        break;
    case 4:
        v[3] = 7;
        break;
    default:
        v[3] = 0;
        break;
    }
    v[4] = legacy[20];
    v[5] = legacy[21];
    v[6] = legacy[12];
    v[7] = legacy[3];
    v[8] = legacy[1];
    v = UniPutTlv(out + 16, 3, 8);
    ULONG flags = legacy[4] != 0 ? 0x20 : 0;
    flags |= legacy[5] == 1 ? 0x02 : legacy[5] == 2 ? 0x04 : legacy[5] == 3 ? 0x08 : 0;
    flags |= legacy[6] == 1 ? 0x80 : 0;
    UniPutU32(v, flags);
    v = UniPutTlv(out + 24, 0x17, 20);
    v[0] = 1;
    UniPutU16(v + 4, legacy[14] != 0 ? 9 : 20);
    return 44;
}

NTSTATUS nicUniCmdSetBssRlm(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x19, 0, 22, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x02, 48, request->Payload[0]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    (void)nicUniCmdSetBssRlmImpl(entry->Payload + kFixedPart, request->Payload);
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdPowerSaveMode(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x05, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildHeadTlv(__func__, port, request, 0x02, 12, legacy[0], 0x15,
                        [&](PUCHAR v, PUNI_CMD_ENTRY) { v[0] = legacy[1]; });
}

NTSTATUS nicUniCmdPmDisable(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x17, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    return BuildHeadTlv(__func__, port, request, 0x02, 8, request->Payload[0], 0x1B, [](PUCHAR, PUNI_CMD_ENTRY) {});
}

NTSTATUS nicUniCmdPmEnable(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x16, 0, 12, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildHeadTlv(__func__, port, request, 0x02, 12, legacy[0], 0x16, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        UniPutU16(v, UniGetU16(legacy + 4));
        v[2] = legacy[1];
    });
}

NTSTATUS nicUniCmdBcnContent(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    constexpr ULONG kHead = 8;
    if (!Accepts(__func__, request, 0x18, 0, kHead, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const ULONG templateLength = UniGetU16(legacy + 6);
    if (templateLength > request->PayloadLength - kHead) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: template of %u bytes in a payload of %u", __func__,
                 static_cast<unsigned>(templateLength), static_cast<unsigned>(request->PayloadLength));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x02, templateLength + 20, legacy[1]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PUCHAR v = UniPutTlv(entry->Payload + kFixedPart, 7, static_cast<USHORT>(templateLength + 16));
    const UCHAR kind = legacy[0];
    v[6] = kind == 3 ? 2 : kind == 2 ? 0 : kind == 4 ? 3 : kind == 5 ? 4 : 1;
    v[7] = 1;
    UniPutU16(v + 8, templateLength + 2);
    v[10] = legacy[4];
    v[11] = legacy[5];
    PlatformMoveMemory(v + 12, legacy + kHead, templateLength);
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdSetWmmPsTestParams(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x1E, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x02, 20, legacy[0]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PUCHAR v = UniPutTlv(entry->Payload + kFixedPart, 0x13, 8);
    v[0] = legacy[1] >> 4;
    v[1] = legacy[1] & 0x0F;
    v = UniPutTlv(entry->Payload + kFixedPart + 8, 0x14, 8);
    v[0] = legacy[2];
    v[1] = legacy[3];
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

namespace {

// A station-record command: the 8-byte station head, then one TLV of `size - 8` bytes.
PUNI_CMD_ENTRY AllocStaRec(PCSTR builder, PMP_PORT port, ULONG size, UCHAR bssIndex, UCHAR wlanIndex)
{
    PUNI_CMD_ENTRY entry = AllocWithHead(builder, port, 0x03, size, bssIndex);
    if (entry != nullptr) {
        entry->Payload[1] = wlanIndex;
    }
    return entry;
}

}  // namespace

NTSTATUS nicUniCmdRemoveStaRec(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (port == nullptr || port->Adapter == nullptr || !Accepts(__func__, request, 0x14, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    UCHAR wlanIndex = 0;
    if (legacy[0] == 0 || legacy[0] == 2) {
        PMAC_TABLE_ENTRY entry =
            legacy[1] < MAC_TABLE_POOL_SIZE ? MlmeSyncMacTabMatchedStaRecIdx(port->Adapter, legacy[1]) : nullptr;
        if (entry == nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: no station entry of record %u", __func__,
                     static_cast<unsigned>(legacy[1]));
            return STATUS_UNI_CMD_INVALID_DATA;
        }
        wlanIndex = entry->WlanIdx;
    }
    PUNI_CMD_ENTRY entry = AllocStaRec(__func__, port, 16, legacy[2], wlanIndex);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    UniPutTlv(entry->Payload + 8, 0x25, 8)[0] = legacy[0];
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdUpdateStaRec(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x13, 0, UNI_STA_REC_LEGACY_LENGTH, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR fixed[4] = {request->Payload[12], request->Payload[54], 0, 0};
    return BuildTagList(__func__, port, request, 0x03, 8, UniTagBuilderTable + UNI_TAG_ROWS_STA_FIRST,
                        UNI_TAG_ROWS_STA, fixed);
}

NTSTATUS nicUniCmdInstallKey(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x07, 0, 64, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    PUNI_CMD_ENTRY entry = AllocStaRec(__func__, port, 76, legacy[10], legacy[14]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PlatformMoveMemory(UniPutTlv(entry->Payload + 8, 0x27, 68), legacy, 64);
    if (legacy[0] != 0) {
        entry->AnswerTag = 0x27;
    }
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdInstallDefaultKey(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x08, 0, 4, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    PUNI_CMD_ENTRY entry = AllocStaRec(__func__, port, 16, legacy[0], legacy[2]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PUCHAR v = UniPutTlv(entry->Payload + 8, 0x18, 8);
    v[0] = legacy[1];
    v[1] = legacy[3];
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdUpdateEdcaSet(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x1D, 0, 44, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x04, 52, legacy[40]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (ULONG ac = 0; ac < 4; ++ac) {
        PUCHAR v = UniPutTlv(entry->Payload + kFixedPart + 12 * ac, 0, 12);
        const UCHAR* record = legacy + 10 * ac;
        v[0] = static_cast<UCHAR>(ac);
        v[1] = 0x0F;
        v[2] = record[0];
        v[3] = record[2];
        UniPutU16(v + 4, UniGetU16(record + 4));
        v[6] = record[6];
    }
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdUpdateSrParams(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0xB1, 0, 60, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildHeadTlv(__func__, port, request, 0x25, 68, 0xFF, 0x87, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        v[0] = legacy[0];
        UniPutU16(v + 2, UniGetU16(legacy + 2));
        PlatformMoveMemory(v + 4, legacy + 4, 5);
        for (ULONG i = 0; i < 4; ++i) {
            UniPutU32(v + 12 + 4 * i, UniGetU32(legacy + 12 + 4 * i));
        }
    });
}

NTSTATUS nicUniCmdUpdateMuEdca(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0xB0, 0, 72, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x43, 44, 0, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        v[0] = legacy[4];
        v[1] = legacy[5];
        v[2] = legacy[6];
        for (ULONG i = 0; i < 4; ++i) {
            PlatformMoveMemory(v + 4 + 8 * i, legacy + 8 + 8 * i, 5);
        }
    });
}

// ================================================================================================
// filters, statistics, device and power controls, diagnostics
// ================================================================================================
NTSTATUS nicUniCmdSetRxFilter(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x0A, 0, 68, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const ULONG filter = UniGetU32(request->Payload);
    return BuildHeadTlv(__func__, port, request, 0x08, 12, 0xFF, 2, [&](PUCHAR v, PUNI_CMD_ENTRY) { UniPutU32(v, filter); });
}

NTSTATUS nicUniCmdGetLinkQuality(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x81, 0, 0, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    return BuildOneTlv(__func__, port, request, 0x23, 8, 1, [](PUCHAR, PUNI_CMD_ENTRY entry) { entry->AnswerTag = 1; });
}

NTSTATUS nicUniCmdGetStaStatistics(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (port == nullptr || port->Adapter == nullptr || !Accepts(__func__, request, 0x85, 0, 28, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedStaRecIdx(port->Adapter, legacy[0]);
    if (peer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: no station entry of record %u", __func__,
                 static_cast<unsigned>(legacy[0]));
    }
    const UCHAR wlanIndex = peer != nullptr ? peer->WlanIdx : 0;
    return BuildOneTlv(__func__, port, request, 0x23, 12, 2, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        v[0] = wlanIndex;
        v[1] = legacy[2];
        v[2] = legacy[3];
        v[3] = legacy[10];
        entry->AnswerTag = 2;
    });
}

NTSTATUS nicUniCmdSwDbgCtrl(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0xC4, 0, 264, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const BOOLEAN query = !request->SetQuery;
    return BuildOneTlv(__func__, port, request, 0x0E, 16, 0, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        UniPutU32(v, UniGetU32(legacy));
        UniPutU32(v + 4, UniGetU32(legacy + 4));
        if (query) {
            entry->AnswerTag = 0;
        }
    });
}

NTSTATUS nicUniCmdSetSuspendMode(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x58, 0, 68, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildHeadTlv(__func__, port, request, 0x05, 16, legacy[0], 0, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        v[0] = legacy[1];
        v[1] = legacy[2];
    });
}

NTSTATUS nicUniCmdSetMonitor(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0xFC, 0, 11, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x24, 28, legacy[7]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    UniPutTlv(entry->Payload + kFixedPart, 0, 8)[0] = legacy[0];
    PUCHAR v = UniPutTlv(entry->Payload + kFixedPart + 8, 1, 16);
    UniPutU16(v, UniGetU16(legacy + 8));
    static const UCHAR kOrder[7] = {1, 4, 2, 3, 5, 6, 10};
    for (ULONG i = 0; i < 7; ++i) {
        v[2 + i] = legacy[kOrder[i]];
    }
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdSetFixRate(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x2A, 0, 16, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x2F, 26, 0x0F,
                       [&](PUCHAR v, PUNI_CMD_ENTRY) { PlatformMoveMemory(v + 2, legacy, 16); });
}

NTSTATUS nicUniCmdSetPpCap(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x2B, 0, 10, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x38, 16, 0, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        PlatformMoveMemory(v, legacy + 4, 4);
        UniPutU16(v + 4, UniGetU16(legacy + 8));
    });
}

NTSTATUS nicUniCmdCnmGetInfo(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x79, 0, 160, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    return BuildOneTlv(__func__, port, request, 0x27, 8, 2, [](PUCHAR, PUNI_CMD_ENTRY entry) { entry->AnswerTag = 2; });
}

NTSTATUS nicUniCmdHifCtrl(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0xF6, 0, 36, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildHeadTlv(__func__, port, request, 0x07, 16, legacy[0], 0, [&](PUCHAR v, PUNI_CMD_ENTRY) { v[0] = legacy[3]; });
}

NTSTATUS nicUniCmdSetMultiAddr(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    constexpr ULONG kLegacyLength = 204;
    constexpr ULONG kMaxAddresses = (kLegacyLength - 8) / MAC_ADDR_LEN;  // 32
    if (!Accepts(__func__, request, 0xC1, 0, kLegacyLength, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const ULONG n = UniGetU32(legacy);
    if (n > kMaxAddresses) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: %u addresses", __func__, static_cast<unsigned>(n));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x0A, 12 + 16 * n, 0xFF);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    UniPutTlv(entry->Payload + kFixedPart, 0, 8)[0] = legacy[4];
    for (ULONG i = 0; i < n; ++i) {
        PUCHAR v = UniPutTlv(entry->Payload + 12 + 16 * i, 2, 16);
        v[1] = legacy[4];
        v[2] = static_cast<UCHAR>(i);
        v[3] = 1;
        PlatformMoveMemory(v + 4, legacy + 8 + MAC_ADDR_LEN * i, MAC_ADDR_LEN);
    }
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdTwtArgtUpdate(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0x94, 44, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildHeadTlv(__func__, port, request, 0x14, 36, legacy[7], 0,
                        [&](PUCHAR v, PUNI_CMD_ENTRY) { PlatformMoveMemory(v, legacy, 28); });
}

NTSTATUS nicUniCmdBFAction(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0x1E, 1, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR action = request->Payload[0];
    if (action >= UNI_TAG_ROWS_BF) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: action %u", __func__, static_cast<unsigned>(action));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UNI_TAG_BUILDER& row = UniTagBuilderTable[UNI_TAG_ROWS_BF_FIRST + action];
    PUNI_CMD_ENTRY entry = nicUniCmdAllocEntry(port, 0x33, kFixedPart + static_cast<ULONG>(row.MaxLength));
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: entry not allocated", __func__);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (row.Build(port, entry->Payload + kFixedPart, request->Payload, request->PayloadLength) == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: action %u with %u bytes", __func__, static_cast<unsigned>(action),
                 static_cast<unsigned>(request->PayloadLength));
        nicUniCmdFreeEntry(entry);
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    entry->AnswerTag = action;
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdGetTsf(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0x3C, 5, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const auto* record = reinterpret_cast<const UCHAR*>(request->CallbackContext);
    return BuildOneTlv(__func__, port, request, 0x1A, 12, 0, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        v[0] = 0xFF;
        v[1] = legacy[4];
        v[2] = record != nullptr ? record[4] : 0;
        entry->AnswerTag = 0;
    });
}

NTSTATUS nicUniCmdSR(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0xA8, 9, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const UCHAR sub = legacy[0];
    USHORT tag;
    ULONG size;
    USHORT answer;
    switch (sub) {
    case 1:
        tag = 0xCA, size = 28, answer = UNI_CMD_NO_ANSWER_TAG;
        break;
    case 15:
        tag = 0xC0, size = 28, answer = 0xC0;
        break;
    case 18:
        tag = 0xCB, size = 32, answer = 0xCB;
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: sub-command %u", __func__, static_cast<unsigned>(sub));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    PUNI_CMD_ENTRY entry = AllocWithHead(__func__, port, 0x25, size, legacy[2]);
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PUCHAR v = UniPutTlv(entry->Payload + kFixedPart, tag, static_cast<USHORT>(size - kFixedPart));
    if (sub == 1) {
        v[0] = legacy[8];
    }
    entry->AnswerTag = answer;
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
}

NTSTATUS nicUniCmdBtCtrl(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0xBF, 1, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR which = request->Payload[0];
    if (which > 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: request %u", __func__, static_cast<unsigned>(which));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    return BuildOneTlv(__func__, port, request, 0x7B, 8, which,
                       [&](PUCHAR, PUNI_CMD_ENTRY entry) { entry->AnswerTag = which; });
}

NTSTATUS nicUniCmdSetIcsSniffer(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x93, 0, 84, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x49, 92, 0, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        v[1] = legacy[1];
        v[4] = legacy[4];
        v[5] = legacy[5];
        v[6] = legacy[6];
        PlatformMoveMemory(v + 8, legacy + 8, 14);
    });
}

NTSTATUS nicUniCmdPerfInd(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x7E, 0, 64, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x44, 320, 0, [&](PUCHAR v, PUNI_CMD_ENTRY) {
        v[0] = legacy[0];
        PlatformMoveMemory(v + 2, legacy + 2, 62);
    });
}

NTSTATUS nicUniCmdEfuseAccess(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0x01, 24, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x2D, 32, 1, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        PlatformMoveMemory(v, legacy, 24);
        entry->AnswerTag = 1;
    });
}

NTSTATUS nicUniCmdEfuseFreeBlock(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, FW_CMD_ID_EXTENDED, 0x4F, 4, FALSE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x2D, 12, 3, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        PlatformMoveMemory(v, legacy, 4);
        entry->AnswerTag = 3;
    });
}

NTSTATUS nicUniCmdSetCountryPwrLimitPerRate(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    if (!Accepts(__func__, request, 0x5D, 0, 1, FALSE) || request->PayloadLength > 0xFFFF - 8) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const ULONG n = request->PayloadLength;
    const UCHAR* legacy = request->Payload;
    return BuildOneTlv(__func__, port, request, 0x2C, n + 8, 1,
                       [&](PUCHAR v, PUNI_CMD_ENTRY) { PlatformMoveMemory(v, legacy, n); });
}

NTSTATUS nicUniCmdCustomerCfg(PMP_PORT port, PUNI_CMD_REQUEST request)
{
    constexpr ULONG kLegacyLength = 284;
    constexpr ULONG kRoom = kLegacyLength - 12;
    if (!Accepts(__func__, request, 0x70, 0, kLegacyLength, TRUE)) {
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const UCHAR* legacy = request->Payload;
    const USHORT length = UniGetU16(legacy + 10);
    if (length > kRoom) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: item of %u bytes", __func__, static_cast<unsigned>(length));
        return STATUS_UNI_CMD_NOT_ACCEPTED;
    }
    const BOOLEAN query = !request->SetQuery;
    return BuildOneTlv(__func__, port, request, 0x0E, 284, 1, [&](PUCHAR v, PUNI_CMD_ENTRY entry) {
        UniPutU16(v, length);
        v[2] = legacy[8];
        PlatformMoveMemory(v + 4, legacy + 12, length);
        if (query) {
            entry->AnswerTag = 1;
        }
    });
}
