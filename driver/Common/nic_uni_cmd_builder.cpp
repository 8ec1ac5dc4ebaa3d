// The unified command builders.
#include "Common/nic_uni_cmd_builder.h"

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
template <typename Fill>
NTSTATUS BuildOneTlv(PCSTR builder, PMP_PORT port, PUNI_CMD_REQUEST request, UCHAR uniCmdId, ULONG size, USHORT tag,
                     Fill fill)
{
    PUNI_CMD_ENTRY entry = nicUniCmdAllocEntry(port, uniCmdId, size);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "%s: entry of %u bytes not allocated", builder, static_cast<unsigned>(size));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    fill(UniPutTlv(entry->Payload + kFixedPart, tag, static_cast<USHORT>(size - kFixedPart)), entry);
    nicUniCmdAppendEntry(request, entry);
    return STATUS_SUCCESS;
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
// builders of later subsystems
// ================================================================================================
NTSTATUS nicUniCmdSetDomain(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetCountryPwrLimitPerRate(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdCustomerCfg(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdBssActivateCtrl(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdScanReqV2(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdScanCancel(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdChPrivilege(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdPowerSaveMode(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdPmDisable(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetBssInfo(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdPmEnable(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetBssRlm(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdBcnContent(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetWmmPsTestParams(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdRemoveStaRec(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdUpdateStaRec(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdInstallKey(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdInstallDefaultKey(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdUpdateEdcaSet(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetRxFilter(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdGetLinkQuality(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdGetStaStatistics(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSchedScanEnable(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSchedScanReq(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSwDbgCtrl(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetSuspendMode(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetMonitor(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetFixRate(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetPpCap(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdCnmGetInfo(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdUpdateSrParams(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdUpdateMuEdca(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdHifCtrl(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetMultiAddr(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdTwtArgtUpdate(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdBFAction(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdGetTsf(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSR(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdBtCtrl(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdSetIcsSniffer(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdRddOnOffCtrl(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdPerfInd(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdEfuseAccess(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

NTSTATUS nicUniCmdEfuseFreeBlock(PMP_PORT port, PUNI_CMD_REQUEST request) { return NOT_BUILT_YET(); }

