// Private control: the dispatch of the control tool's private requests through the four OID tables,
// the record rules every handler follows, and the firmware answers that complete parked requests.
#include "platform/ndiscommon/ndiscommonioctl.h"

#include <cstring>

#include "Common/fwsettings.h"
#include "Common/he/twt.h"
#include "Common/qzevent.h"
#include "hal/common/hal_chip.h"
#include "kshim/ex.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

namespace {

constexpr NTSTATUS kStatusInvalidDeviceRequestOid = static_cast<NTSTATUS>(0xC0000002L);  // no table holds the OID
constexpr NTSTATUS kStatusNotReady = static_cast<NTSTATUS>(0x80000005L);                 // buffer overflow
constexpr NTSTATUS kStatusTooSmall = static_cast<NTSTATUS>(0xC0000023L);                 // buffer too small

// The registers whose register-access answers the second generation keeps.
constexpr ULONG kLatchedRegisterA = 0x83086040u;
constexpr ULONG kLatchedRegisterB = 0x830860F8u;

BOOLEAN IsSecondGeneration(USHORT deviceId)
{
    return static_cast<BOOLEAN>(HalDeviceGeneration(deviceId) == CHIP_GENERATION_SECOND);
}

BOOLEAN AdapterTakesRequests(const MP_ADAPTER* adapter)
{
    if (adapter == nullptr || adapter->Signature != MP_ADAPTER_SIGNATURE) {
        return FALSE;
    }
    return static_cast<BOOLEAN>(adapter->InitFinished != 0 &&
                                !AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED) &&
                                adapter->ShutdownNotified != 1);
}

// ---- the firmware answers ---------------------------------------------------------------------------------------
USHORT EventLength(const UCHAR* eventView)
{
    FW_EVENT_HEADER header;
    std::memcpy(&header, eventView + FW_EVENT_VIEW_HEADER_OFFSET, sizeof(header));
    return header.Length;
}

ULONG EventBodyLength(const UCHAR* eventView)
{
    const USHORT length = EventLength(eventView);
    return length > FW_EVENT_HEADER_LENGTH ? static_cast<ULONG>(length - FW_EVENT_HEADER_LENGTH) : 0;
}

// Completes the oldest parked request with `count` reply bytes written at `offset` of its output buffer
// (no more than the buffer holds), reporting `reported` bytes (no more than the buffer holds).
void CompleteOldestParked(PMP_ADAPTER adapter, const UCHAR* reply, ULONG count, ULONG offset, ULONG reported)
{
    if (__atomic_load_n(&adapter->Ioctl.PendingRequestListReady, __ATOMIC_ACQUIRE) == 0) {
        return;  // the control device's resources are not allocated: nothing can be parked
    }
    PLIST_ENTRY link = ExInterlockedRemoveHeadList(&adapter->Ioctl.PendingRequestList, &adapter->Ioctl.PendingRequestLock);
    if (link == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_IOCTL, "firmware answer without a parked request");
        return;
    }
    InterlockedDecrement(&adapter->Ioctl.PendingRequestCount);
    auto* pending = CONTAINING_RECORD(link, PENDING_OID_REQUEST, Link);
    PVOID buffer = nullptr;
    size_t bufferLength = 0;
    NTSTATUS status = WdfRequestRetrieveOutputBuffer(pending->Request, 0, &buffer, &bufferLength);
    if (!NT_SUCCESS(status)) {
        // The tool's request still ends, with the reason its answer could not be placed.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_IOCTL, "parked request without its buffer: 0x%08X", static_cast<unsigned>(status));
        WdfRequestComplete(pending->Request, status);
        PlatformFreeMemory(pending, sizeof(*pending));
        return;
    }
    ULONG copied = 0;
    if (offset < bufferLength) {
        const size_t room = bufferLength - offset;
        copied = count < room ? count : static_cast<ULONG>(room);
        PlatformMoveMemory(static_cast<PUCHAR>(buffer) + offset, reply, copied);
    }
    WdfRequestCompleteWithInformation(pending->Request, STATUS_SUCCESS,
                                      reported < bufferLength ? reported : bufferLength);
    PlatformFreeMemory(pending, sizeof(*pending));
}

// Keeps a beamforming profile event's body (at most `size` bytes, the rest zero-filled).
void KeepBfProfile(PUCHAR area, ULONG size, const UCHAR* eventView)
{
    const ULONG body = EventBodyLength(eventView);
    const ULONG count = body < size ? body : size;
    PlatformZeroMemory(area, size);
    PlatformMoveMemory(area, eventView + FW_EVENT_VIEW_PAYLOAD_OFFSET, count);
}

}  // namespace

// ================================================================================================
// record rules
// ================================================================================================
NTSTATUS PrivateOidCheckRecord(PMP_ADAPTER adapter, ULONG rule, ULONG size, ULONG recordLength, PULONG bytesWritten,
                               PULONG bytesNeeded)
{
    const ULONG kind = rule & OID_RECORD_KIND_MASK;
    if (kind == OID_RECORD_NONE || kind == OID_RECORD_REPORT) {
        return STATUS_SUCCESS;
    }
    if ((rule & OID_SIZE_BY_GENERATION) != 0 && adapter != nullptr && HalIsThirdGeneration(adapter->DeviceId)) {
        size = OID_SIZE_THIRD_GENERATION;
    }
    const BOOLEAN fits = kind == OID_RECORD_EXACT ? recordLength == size : recordLength >= size;
    if (!fits) {
        *bytesWritten = 0;
        *bytesNeeded = size;
        return (rule & OID_ANSWER_TOO_SMALL) != 0 ? kStatusTooSmall : kStatusNotReady;
    }
    if ((rule & OID_NO_COUNTERS) == 0) {
        const ULONG counted = (rule & OID_COUNT_FULL_LENGTH) != 0 ? recordLength : size;
        *bytesWritten = counted;
        *bytesNeeded = counted;
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// the handlers whose work comes with their own families: each applies its record rule, then
// answers not supported
// ================================================================================================

NTSTATUS FuncGetCr(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetCr(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetIoMode(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetStaInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_ANSWER_TOO_SMALL | OID_COUNT_FULL_LENGTH, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncCoexCtrl(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 464, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncFWVer(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 100, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetFwLog(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetScratchValue(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetScratchValue(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetTxStat(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 68, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetCoextp(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetCoextp(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSwDebug(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 264, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetPCIeCS(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_ANSWER_TOO_SMALL, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetPCIeCS(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_ANSWER_TOO_SMALL, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetChip(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 328, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetChip(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 328, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncDynamicDtim(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncTpTestMode(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncResetDefaul(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetBcc(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncWaitFwAnswer(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_COUNT_FULL_LENGTH, 20, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetReassociate(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 6, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetAssociate(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 6, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetAxBaSize(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetMbo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 7, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetSer(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetSrEnable(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetSrInfo15(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 20, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetSrInfo18(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 32, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetUapsd(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetPwrSave(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
// The TWT test record goes to the TWT requester, which checks it and queues it to its machine; a
// record it drops is still answered with success.
NTSTATUS FuncTwtTest(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR record, ULONG recordLength, PULONG bytesWritten,
                     PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, TWT_TEST_REQUEST_MIN, recordLength,
                                            bytesWritten, bytesNeeded);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    (void)twtTestRequest(adapter, record, recordLength);
    return STATUS_SUCCESS;
}
NTSTATUS FuncSetPsMode(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR record, ULONG recordLength, PULONG bytesWritten,
                       PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 1, recordLength, bytesWritten, bytesNeeded);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    // From now on the OS's power-management levels give way to this mode (read by the power-save code).
    adapter->Ps.OverrideValue = record[0];
    adapter->Ps.OverrideOn = 1;
    const NTSTATUS sent = QzCmdSetPowerCtrl(adapter, adapter->PortList[0], record[0]);
    if (sent != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_IOCTL, "forced power-save mode %u: 0x%08X", static_cast<unsigned>(record[0]),
                 static_cast<unsigned>(sent));
    }
    return STATUS_SUCCESS;
}
NTSTATUS FuncEfuse(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 32, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncListen6GAP(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetWtblInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 40, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetReservedByte(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FunSetRadarDetectMode(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetRadarTest(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetReserved(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncBFProfile(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 68, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetBFProfileData(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_REPORT, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetBFProfileTag(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_REPORT, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetStaStat(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_REPORT, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetPpControl(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 20, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetRssi(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetDebugSopInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetYb(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetScanNoAp(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetBtL0p4RecoverState(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetWfdInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_REPORT, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetPlePseWfdmaInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncCountry(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 772, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncRf(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 68, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncBIOS_Setting(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 35, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncTRx_Setting(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetSarAcpiTable(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 368, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetTxHangCounter(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSniffer(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 28, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncShowDebugInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetIcs(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 80, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetMacAdd(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetLpSupportNonMs(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_REPORT, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetReg(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 56, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetReg(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 56, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetFwVer(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_COUNT_FULL_LENGTH, 255, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetBTPowerTable(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_COUNT_FULL_LENGTH, 104, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGenSwitchChk(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_COUNT_FULL_LENGTH, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetGoSupportCH(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 258, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetGoPreferredCH(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 532, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncResetGoPreferredCH(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetGoOperationCH(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 16, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
namespace {
// The scan filter's record: {u8 channel (0 any), 6-byte BSSID, 32-byte SSID, u8 SSID length}.
constexpr ULONG kScanFilterRecordSize = 40;
constexpr ULONG kScanFilterBssidOffset = 1;
constexpr ULONG kScanFilterSsidOffset = 7;
constexpr ULONG kScanFilterSsidLengthOffset = 39;

// Clears the filter: the on flag first, so a reader never sees a half-cleared filter as on.
void ClearScanFilter(PMP_ADAPTER adapter)
{
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    adapter->PrivateScanFilterOn = 0;
    scan.ScanFilterChannelSet = 0;
    scan.ScanFilterChannel = 0;
    std::memset(adapter->PrivateScanFilterAddress, 0, sizeof(adapter->PrivateScanFilterAddress));
    scan.ScanFilterSsidLen = 0;
    std::memset(scan.ScanFilterSsid, 0, sizeof(scan.ScanFilterSsid));
}
}  // namespace

NTSTATUS FuncSetScanFilter(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR record, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, kScanFilterRecordSize, recordLength,
                                            bytesWritten, bytesNeeded);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    if (record == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    ClearScanFilter(adapter);
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    scan.ScanFilterChannel = record[0];
    std::memcpy(adapter->PrivateScanFilterAddress, record + kScanFilterBssidOffset, MAC_ADDR_LEN);
    std::memcpy(scan.ScanFilterSsid, record + kScanFilterSsidOffset, sizeof(scan.ScanFilterSsid));
    // The length comes from the control tool: an SSID never holds more than its 32-byte slot.
    const UCHAR ssidLength = record[kScanFilterSsidLengthOffset];
    scan.ScanFilterSsidLen = ssidLength <= sizeof(scan.ScanFilterSsid) ? ssidLength
                                                                        : static_cast<UCHAR>(sizeof(scan.ScanFilterSsid));
    scan.ScanFilterChannelSet = 1;
    adapter->PrivateScanFilterOn = 1;
    return STATUS_SUCCESS;
}
NTSTATUS FuncResetScanFilter(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    ClearScanFilter(adapter);
    return STATUS_SUCCESS;
}
NTSTATUS FuncEnableGoShow(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncDisableGoShow(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetGoPreferredCHPhymode(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 766, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncResetGoPreferredCHPhymode(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetGoPreferredCHPhymode(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetLegacyAndP2PScanCH(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 2, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncResetLegacyAndP2PScanCH(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_NONE, 0, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetGoPreferredBand5G(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 1, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncPciePmControl(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_ANSWER_TOO_SMALL, 8, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetRadio(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetFixedRate(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST | OID_SIZE_BY_GENERATION, 40, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetDmaqInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 68, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncD3PlatformInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT | OID_NO_COUNTERS, 24, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncSetLog2Air(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 56, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncVerifSysRcvy(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_EXACT, 4, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetLinkStatus(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 96, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}
NTSTATUS FuncGetStartTimeInfo(PMP_ADAPTER adapter, WDFREQUEST, PUCHAR, ULONG recordLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    NTSTATUS status = PrivateOidCheckRecord(adapter, OID_RECORD_AT_LEAST, 240, recordLength, bytesWritten, bytesNeeded);
    return status != STATUS_SUCCESS ? status : NOT_BUILT_YET();
}

// ================================================================================================
// the four tables
// ================================================================================================
namespace {

const PRIVATE_OID_ENTRY kPrivateOidTable1[] = {
    {0xFFFCF001u, FuncGetCr},
    {0xFFFCF002u, FuncSetCr},
    {0xFFFCF128u, FuncSetIoMode},
    {0xFFFCF005u, FuncGetStaInfo},
    {0xFFFCF003u, FuncCoexCtrl},
    {0xFFFCF007u, FuncFWVer},
    {0xFFFCF004u, FuncSetFwLog},
    {0xFFFCF008u, FuncGetScratchValue},
    {0xFFFCF009u, FuncSetScratchValue},
    {0xFFFCF00Au, FuncGetTxStat},
    {0xFFFCF010u, FuncSetCoextp},
    {0xFFFCF011u, FuncGetCoextp},
    {0xFFFCF101u, FuncSwDebug},
    {0xFFFCF00Bu, FuncGetPCIeCS},
    {0xFFFCF00Cu, FuncSetPCIeCS},
    {0xFFFCF012u, FuncSetChip},
    {0xFFFCF013u, FuncGetChip},
    {0xFFFCF015u, FuncDynamicDtim},
    {0x0FFFC20Fu, FuncTpTestMode},
    {0x0FFFC200u, FuncResetDefaul},
    {0x0FFFC201u, FuncSetBcc},
    {0x0FFFC202u, FuncTwtTest},
    {0xFFFCF100u, FuncWaitFwAnswer},
    {0x0FFFC204u, FuncSetReassociate},
    {0x0FFFC20Au, FuncSetAssociate},
    {0x0FFFC205u, FuncSetAxBaSize},
    {0x0FFFC206u, FuncSetMbo},
    {0xFFFCF103u, FuncSetSer},
    {0xFFFCF019u, FuncSetSrEnable},
    {0xFFFCF01Au, FuncGetSrInfo15},
    {0xFFFCF01Bu, FuncGetSrInfo18},
    {0x0FFFC207u, FuncSetUapsd},
    {0x0FFFC208u, FuncSetPwrSave},
    {0x0FFFC209u, FuncSetPsMode},
    {0xFFFCF01Eu, FuncEfuse},
    {0x0FFFC20Bu, FuncListen6GAP},
    {0xFFFCF10Au, FuncGetWtblInfo},
    {0xFFFCF10Bu, FuncGetReservedByte},
    {0xFFFCF10Du, FunSetRadarDetectMode},
    {0xFFFCF10Eu, FuncSetRadarTest},
    {0xFFFCF10Fu, FuncSetReserved},
    {0xFFFCF112u, FuncBFProfile},
    {0xFFFCF113u, FuncGetBFProfileData},
    {0xFFFCF114u, FuncGetBFProfileTag},
    {0xFFFCF006u, FuncGetStaStat},
    {0xFFFCF129u, FuncSetPpControl},
    {0xFFFCF13Cu, FuncGetRssi},
    {0x0FFFC214u, FuncGetDebugSopInfo},
    {0xFFFCF12Au, FuncSetYb},
    {0xFFFCF12Bu, FuncSetScanNoAp},
    {0xFFFCF12Cu, FuncSetBtL0p4RecoverState},
};
const PRIVATE_OID_ENTRY kPrivateOidTable2[] = {
    {0xFFFCF102u, FuncGetWfdInfo},
    {0x0FFFC203u, FuncGetPlePseWfdmaInfo},
    {0xFFFCF014u, FuncCountry},
    {0xFFFCF016u, FuncRf},
    {0xFFFCF126u, FuncBIOS_Setting},
    {0xFFFCF01Fu, FuncTRx_Setting},
    {0xFFFCF017u, FuncGetSarAcpiTable},
    {0xFFFCF018u, FuncGetTxHangCounter},
    {0xFFFCF01Cu, FuncSniffer},
    {0xFFFCF01Du, FuncShowDebugInfo},
    {0xFFFCF104u, FuncSetIcs},
    {0xFFFCF105u, FuncGetMacAdd},
    {0xFFFCF107u, FuncSetLpSupportNonMs},
    {0xFFFCF108u, FuncSetReg},
    {0xFFFCF109u, FuncGetReg},
    {0x0FFFC20Du, FuncGetFwVer},
    {0x0FFFC210u, FuncGetBTPowerTable},
    {0xFFFCF116u, FuncGenSwitchChk},
    {0xFFFCF117u, FuncGetGoSupportCH},
    {0xFFFCF118u, FuncSetGoPreferredCH},
    {0xFFFCF119u, FuncResetGoPreferredCH},
    {0xFFFCF11Au, FuncSetGoOperationCH},
    {0xFFFCF11Bu, FuncSetScanFilter},
    {0xFFFCF11Cu, FuncResetScanFilter},
    {0xFFFCF11Du, FuncEnableGoShow},
    {0xFFFCF11Eu, FuncDisableGoShow},
    {0xFFFCF11Fu, FuncSetGoPreferredCHPhymode},
    {0xFFFCF120u, FuncResetGoPreferredCHPhymode},
    {0xFFFCF121u, FuncGetGoPreferredCHPhymode},
    {0xFFFCF122u, FuncSetLegacyAndP2PScanCH},
    {0xFFFCF123u, FuncResetLegacyAndP2PScanCH},
    {0xFFFCF124u, FuncSetGoPreferredBand5G},
    {0xFFFCF00Du, FuncPciePmControl},
    {0xFFFCF00Eu, FuncSetRadio},
    {0xFFFCF00Fu, FuncSetFixedRate},
    {0xFFFCF020u, FuncGetDmaqInfo},
    {0xFFFCF021u, FuncD3PlatformInfo},
    {0xFFFCF13Du, FuncSetLog2Air},
};
const PRIVATE_OID_ENTRY kPrivateOidTable3[] = {
    {0xFFFCFA00u, FuncVerifSysRcvy},
};
const PRIVATE_OID_ENTRY kPrivateOidTable4[] = {
    {0xFFFCFC00u, FuncGetLinkStatus},
    {0xFFFCFC01u, FuncGetStartTimeInfo},
};

static_assert(sizeof(kPrivateOidTable1) / sizeof(kPrivateOidTable1[0]) == PRIVATE_OID_TABLE1_ROWS, "table 1");
static_assert(sizeof(kPrivateOidTable2) / sizeof(kPrivateOidTable2[0]) == PRIVATE_OID_TABLE2_ROWS, "table 2");
static_assert(sizeof(kPrivateOidTable3) / sizeof(kPrivateOidTable3[0]) == PRIVATE_OID_TABLE3_ROWS, "table 3");
static_assert(sizeof(kPrivateOidTable4) / sizeof(kPrivateOidTable4[0]) == PRIVATE_OID_TABLE4_ROWS, "table 4");

struct PrivateOidTable {
    const PRIVATE_OID_ENTRY* Rows;
    ULONG Count;
};

constexpr PrivateOidTable kPrivateOidTables[] = {
    {kPrivateOidTable1, PRIVATE_OID_TABLE1_ROWS},
    {kPrivateOidTable2, PRIVATE_OID_TABLE2_ROWS},
    {kPrivateOidTable3, PRIVATE_OID_TABLE3_ROWS},
    {kPrivateOidTable4, PRIVATE_OID_TABLE4_ROWS},
};

}  // namespace

// ================================================================================================
// dispatch
// ================================================================================================
NTSTATUS NdisCommonProcessIOCTL(PMP_ADAPTER adapter, WDFREQUEST request, ULONG oid, PVOID buffer, ULONG inputLength,
                                ULONG outputLength, PULONG bytesWritten, PULONG bytesNeeded)
{
    UNREFERENCED_PARAMETER(inputLength);
    if (!AdapterTakesRequests(adapter)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_IOCTL, "private OID 0x%08X refused: the adapter takes no requests",
                 static_cast<unsigned>(oid));
        return kStatusNotReady;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    adapter->Ioctl.LastPrivateRequestTime = static_cast<ULONG64>(now.QuadPart) / 10000;
    NTSTATUS status = kStatusInvalidDeviceRequestOid;
    for (const PrivateOidTable& table : kPrivateOidTables) {
        for (ULONG i = 0; i < table.Count; ++i) {
            if (table.Rows[i].Oid == oid) {
                status = table.Rows[i].Handler(adapter, request, static_cast<PUCHAR>(buffer), outputLength,
                                               bytesWritten, bytesNeeded);
            }
        }
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "private OID 0x%08X: 0x%08X, %u bytes written, %u needed",
             static_cast<unsigned>(oid), static_cast<unsigned>(status), static_cast<unsigned>(*bytesWritten),
             static_cast<unsigned>(*bytesNeeded));
    return status;
}

void NdisCommonIoctlDeviceControl(PMP_ADAPTER adapter, WDFREQUEST request, ULONG ioControlCode)
{
    if (adapter == nullptr) {
        WdfRequestComplete(request, STATUS_INVALID_PARAMETER);
        return;
    }
    if (ioControlCode != PRIVATE_IOCTL_CODE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_IOCTL, "control code 0x%08X is not a private request",
                 static_cast<unsigned>(ioControlCode));
        WdfRequestComplete(request, STATUS_SUCCESS);
        return;
    }
    PVOID input = nullptr;
    size_t inputLength = 0;
    NTSTATUS status = WdfRequestRetrieveInputBuffer(request, 0, &input, &inputLength);
    if (!NT_SUCCESS(status)) {
        WdfRequestComplete(request, STATUS_INSUFFICIENT_RESOURCES);
        return;
    }
    if (input == nullptr || inputLength < PRIVATE_OID_INPUT_SIZE) {
        WdfRequestComplete(request, status);
        return;
    }
    ULONG oid = 0;
    std::memcpy(&oid, input, sizeof(oid));
    PVOID output = nullptr;
    size_t outputLength = 0;
    status = WdfRequestRetrieveOutputBuffer(request, 0, &output, &outputLength);
    if (!NT_SUCCESS(status)) {
        WdfRequestComplete(request, status);
        return;
    }
    const ULONG length = outputLength > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<ULONG>(outputLength);
    ULONG written = 0;
    ULONG needed = 0;
    status = NdisCommonProcessIOCTL(adapter, request, oid, output, length, length, &written, &needed);
    if (status == STATUS_SUCCESS) {
        WdfRequestCompleteWithInformation(request, STATUS_SUCCESS, written < length ? written : length);
    } else if (status == kStatusNotReady) {
        WdfRequestCompleteWithInformation(request, status, needed);
    } else if (status == STATUS_PENDING) {
        // A handler parked the request; a firmware answer or the cancellation completes it.
    } else {
        WdfRequestComplete(request, status);
    }
}

// ================================================================================================
// rate lists
// ================================================================================================
void NdisGetCCKRates(PUCHAR rateRecord)
{
    static constexpr UCHAR kCck[] = {1, 2, 5, 11};
    PlatformMoveMemory(rateRecord, kCck, sizeof(kCck));
}

void NdisGetOFDMRates(PUCHAR rateRecord)
{
    static constexpr UCHAR kOfdm[] = {48, 24, 12, 6, 54, 36, 18, 9};
    PlatformMoveMemory(rateRecord + 8, kOfdm, sizeof(kOfdm));
}

NTSTATUS setDynamicICS(PMP_ADAPTER adapter, UCHAR on, UCHAR second)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(on);
    UNREFERENCED_PARAMETER(second);
    return NOT_BUILT_YET();
}

// ================================================================================================
// parked requests
// ================================================================================================
NTSTATUS QZCxChainPendingRequest(PMP_ADAPTER adapter, WDFREQUEST request)
{
    if (adapter == nullptr || __atomic_load_n(&adapter->Ioctl.PendingRequestListReady, __ATOMIC_ACQUIRE) == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_IOCTL, "no pending list to park a request on");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PPENDING_OID_REQUEST pending = nullptr;
    NTSTATUS status = PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&pending), sizeof(*pending), TAG_ZVA0);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_IOCTL, "no entry to park a request: 0x%08X", static_cast<unsigned>(status));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    pending->Request = request;
    pending->Signature = PENDING_OID_REQUEST_SIGNATURE;
    // Listed first, counted after: whoever sees the count sees the request on the list.
    ExInterlockedInsertTailList(&adapter->Ioctl.PendingRequestList, &pending->Link, &adapter->Ioctl.PendingRequestLock);
    InterlockedIncrement(&adapter->Ioctl.PendingRequestCount);
    return STATUS_PENDING;
}

// ================================================================================================
// firmware answers
// ================================================================================================
VOID ProcessAccessReg(PMP_ADAPTER adapter, PUCHAR eventView)
{
    if (EventLength(eventView) != ACCESS_REG_EVENT_LENGTH) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_IOCTL, "%s: answer of %u bytes ignored", __func__,
                 static_cast<unsigned>(EventLength(eventView)));
        return;
    }
    const PUCHAR body = eventView + FW_EVENT_VIEW_PAYLOAD_OFFSET;
    ULONG address = 0;
    ULONG value = 0;
    std::memcpy(&address, body, sizeof(address));
    std::memcpy(&value, body + sizeof(address), sizeof(value));
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "%s: register 0x%08X = 0x%08X", __func__, static_cast<unsigned>(address),
             static_cast<unsigned>(value));
    if (IsSecondGeneration(adapter->DeviceId)) {
        if (address == kLatchedRegisterA) {
            adapter->Ioctl.LatchedReg83086040 = value;
        } else if (address == kLatchedRegisterB) {
            adapter->Ioctl.LatchedReg830860F8 = value;
        }
    }
    CompleteOldestParked(adapter, body + sizeof(address), sizeof(value), sizeof(address), 2 * sizeof(ULONG));
}

VOID ProcessCoexCtrl(PMP_ADAPTER adapter, PUCHAR eventView)
{
    if (EventLength(eventView) != COEX_CTRL_EVENT_LENGTH) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_IOCTL, "%s: answer of %u bytes ignored", __func__,
                 static_cast<unsigned>(EventLength(eventView)));
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "%s: coexistence answer", __func__);
    CompleteOldestParked(adapter, eventView + FW_EVENT_VIEW_PAYLOAD_OFFSET, COEX_CTRL_RECORD_SIZE, 0,
                         COEX_CTRL_RECORD_SIZE);
}

VOID ProcessGetChipReq(PMP_ADAPTER adapter, PUCHAR eventView)
{
    // The record is at most 328 bytes and never more than the event carries.
    const ULONG body = EventBodyLength(eventView);
    const ULONG count = body < CHIP_CONFIG_RECORD_SIZE ? body : CHIP_CONFIG_RECORD_SIZE;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "%s: chip configuration answer of %u bytes", __func__,
             static_cast<unsigned>(body));
    CompleteOldestParked(adapter, eventView + FW_EVENT_VIEW_PAYLOAD_OFFSET, count, 0, count);
}

VOID ProcessBFProfileData(PMP_ADAPTER adapter, PUCHAR eventView)
{
    KeepBfProfile(adapter->Ioctl.BfProfileData, BF_PROFILE_DATA_SIZE, eventView);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "beamforming profile data kept (%u bytes of event body)",
             static_cast<unsigned>(EventBodyLength(eventView)));
}

VOID ProcessBFProfileTag(PMP_ADAPTER adapter, PUCHAR eventView)
{
    KeepBfProfile(adapter->Ioctl.BfProfileTag, BF_PROFILE_TAG_SIZE, eventView);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "beamforming profile tag kept (%u bytes of event body)",
             static_cast<unsigned>(EventBodyLength(eventView)));
}
