// The firmware command layer: messages, the command queue, its waits and completions, the legacy
// command format and the send call.
#include "Common/qzcmd.h"

#include "Common/mlme/mlmesync_mactab.h"
#include "Common/nic_uni_cmd_event.h"
#include "Common/qzevent.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr LONGLONG kUnitsPerMs = 10000;  // 100 ns units
constexpr ULONG kDefaultWaitMs = 30000;
constexpr ULONG kSentWaitMs = 4000;
constexpr ULONG kSentWaitAfterDownloadMs = 7000;
constexpr ULONG kAnswerWaitMs = 10000;
constexpr ULONG kKeyAnswerWaitMs = 2000;
constexpr ULONG kShutdownWaitMs = 1000;

constexpr UCHAR kFlagsNoAnswer = 8;  // the flags of a builder that does not wait for an answer

constexpr UCHAR kUniCmdIdAnswerCallback = 0x1A;  // unified command whose answer goes to an answer callback
constexpr UCHAR kExtCmdIdAnswerCallback = 0x3C;  // extended command whose answer goes to an answer callback

LONGLONG RelativeMs(ULONG ms) { return -static_cast<LONGLONG>(ms) * kUnitsPerMs; }

void PutU16(PUCHAR p, ULONG value)
{
    p[0] = static_cast<UCHAR>(value);
    p[1] = static_cast<UCHAR>(value >> 8);
}

void PutU32(PUCHAR p, ULONG value)
{
    PutU16(p, value & 0xFFFF);
    PutU16(p + 2, value >> 16);
}

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

// Adapter bytes that several threads read while one thread writes them.
UCHAR LoadByte(const UCHAR* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }
void StoreByte(UCHAR* p, UCHAR value) { __atomic_store_n(p, value, __ATOMIC_RELEASE); }

KIRQL LockQueue(PMP_ADAPTER adapter)
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&adapter->FwCmd.FwCmdSlotLock, &oldIrql);
    return oldIrql;
}

void UnlockQueue(PMP_ADAPTER adapter, KIRQL oldIrql) { KeReleaseSpinLock(&adapter->FwCmd.FwCmdSlotLock, oldIrql); }

ULONG ExtraLength(PMP_ADAPTER adapter) { return adapter->HalInfo.CmdExtraLength; }

BOOLEAN IsAnswerEvent(USHORT eventId, BOOLEAN unified)
{
    return static_cast<BOOLEAN>(eventId < (unified ? FW_CMD_UNI_EVENT_DMA_DONE : FW_CMD_EVENT_DMA_DONE));
}

void FreeSlot(PFW_CMD_SLOT slot, NTSTATUS status)
{
    slot->Status = status;
    slot->OnRing = 0;
    slot->InUse = 0;
}

// The answer test of one slot for an answer event (the completion's search rule).
BOOLEAN SlotMatchesAnswer(PMP_ADAPTER adapter, const FW_CMD_SLOT* slot, USHORT eventId, const UCHAR* eventRecord,
                          BOOLEAN unified)
{
    if (slot->ExpectedEventId == eventId) {
        if (unified || eventId != FW_CMD_EVENT_EXTENDED) {
            return TRUE;
        }
        // An extended answer names its command by the extended event id of the event view.
        return static_cast<BOOLEAN>(eventRecord != nullptr &&
                                    eventRecord[FW_EVENT_VIEW_EXT_ID_OFFSET] == slot->ExpectedExtEventId);
    }
    // Two answers the second and third generation pair by command id.
    if (!unified && QzCmdChipGroup(adapter) != FW_CHIP_GROUP_OLDER) {
        return static_cast<BOOLEAN>((slot->CmdId == 0x11 && eventId == 0x06) || (slot->CmdId == 0x03 && eventId == 0x02));
    }
    return FALSE;
}

// The key command's answer never came: mark the port's own station entry with the key-installed
// mark that the key-installed event sets.
void MarkOwnStationKeyDone(PMP_PORT port)
{
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "key command without answer: no own station entry to mark");
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    adapter->MacKeyInstalled[entry->WlanIdx % MAC_TABLE_POOL_SIZE] = 1;
}

// Releases a message its sender is done with. While the command thread hands it to the host
// interface, the thread releases it afterwards instead.
void ReleaseSenderMsg(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG length)
{
    KIRQL oldIrql = LockQueue(adapter);
    if (msg->HandOverBusy) {
        msg->ReleaseByThread = 1;
        UnlockQueue(adapter, oldIrql);
        return;
    }
    UnlockQueue(adapter, oldIrql);
    QzCmdFreeCmdMsg(adapter, msg, length);
}

BOOLEAN ClassAllowedDuringRecovery(UCHAR cmdClass)
{
    switch (cmdClass) {
    case 0x01:
    case 0x02:
    case 0x05:
    case 0x07:
    case 0x10:
    case 0x11:
    case FW_CMD_CLASS_DOWNLOAD_DATA:
    case 0xEF:
        return TRUE;
    default:
        return FALSE;
    }
}

// The command prefix (transmit descriptor and header) the chip layer reports: its operation when
// the chip has one, else 48 on the third generation once its RAM code runs and 64 otherwise.
ULONG ChipCmdPrefixLength(PMP_ADAPTER adapter)
{
    if (adapter->HalOps.CmdTxdLength != nullptr) {
        return adapter->HalOps.CmdTxdLength(adapter);
    }
    if (QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X && LoadByte(&adapter->FwDownloaded)) {
        return FW_CMD_UNI_PREFIX_LENGTH;
    }
    return FW_CMD_LEGACY_PREFIX_LENGTH;
}

// A firmware-level recovery or an earlier command time-out refuses every command.
BOOLEAN RefusedByFirmwareState(PMP_ADAPTER adapter, PCSTR format, UCHAR cmdId)
{
    const UCHAR recovery = LoadByte(&adapter->FwCmd.RecoveryInProgress);
    const UCHAR timeout = LoadByte(&adapter->FwCmd.CmdTimeout);
    if (recovery || timeout) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s command 0x%02X refused: recovery %u, command time-out %u", format,
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(recovery), static_cast<unsigned>(timeout));
        return TRUE;
    }
    return FALSE;
}

// A message of `length` bytes filled with what the send call gives for the queue.
PFW_CMD_MSG AllocSenderMsg(PMP_PORT port, ULONG length, UCHAR cmdClass, UCHAR extCmdId, UCHAR flags,
                           FW_CMD_CALLBACK callback, ULONG64 callbackContext, ULONG callbackArgument)
{
    PFW_CMD_MSG msg = QzCmdAllocCmdMsg(port->Adapter, length);
    if (msg == nullptr) {
        return nullptr;
    }
    msg->Class = cmdClass;
    msg->ExtCmdId = extCmdId;
    msg->Flags = flags;
    msg->Callback = callback;
    msg->CallbackContext = callbackContext;
    msg->CallbackArgument = callbackArgument;
    msg->Port = port;
    msg->PqId = QzCmdGetPqId(cmdClass);
    return msg;
}

// The legacy format always carries the 64-byte prefix; the chip's operation is asked, and a chip
// that answers otherwise (only the unified format has another) is traced.
ULONG LegacyPrefixLength(PMP_ADAPTER adapter)
{
    const ULONG prefix = ChipCmdPrefixLength(adapter);
    if (prefix != FW_CMD_LEGACY_PREFIX_LENGTH) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command prefix %u is not the legacy one; legacy command uses %u",
                 static_cast<unsigned>(prefix), static_cast<unsigned>(FW_CMD_LEGACY_PREFIX_LENGTH));
    }
    return FW_CMD_LEGACY_PREFIX_LENGTH;
}

// Writes the transmit descriptor and the command header of a legacy command for the chip group and
// the firmware's phase, and chooses the ring.
void WriteLegacyCommand(PMP_ADAPTER adapter, PFW_CMD_MSG msg, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId,
                        UCHAR setQuery, USHORT length)
{
    PUCHAR b = msg->Buffer;
    const BOOLEAN download = cmdClass == FW_CMD_CLASS_DOWNLOAD_DATA;
    const BOOLEAN inRam = LoadByte(&adapter->FwDownloaded);
    const UCHAR headerCmdId = download ? 0 : cmdId;
    const UCHAR seq = download ? 0 : GetNextSeqNum(adapter, SEQ_NUM_CLASS_FW_CMD, TRUE);
    const ULONG total = msg->TotalLength;
    ULONG ring = FW_CMD_RING_COMMAND;
    auto* header = reinterpret_cast<PFW_CMD_HEADER>(b + FW_CMD_TXD_LENGTH);

    switch (QzCmdChipGroup(adapter)) {
    case FW_CHIP_GROUP_ARVEL2X:
    case FW_CHIP_GROUP_ARVEL3X: {
        const BOOLEAN third = QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X;
        // The second generation's run-time form; the third generation reaches this writer only
        // while its firmware is being downloaded.
        const BOOLEAN ramForm = inRam && !third;
        ULONG word0 = (total & 0xFFFF) | (1u << 24);
        ULONG word1 = third ? (1u << 14) : (1u << 16);
        if (third) {
            word0 |= 1u << 30;
        }
        if (!ramForm && headerCmdId == 0) {
            word0 |= 1u << 23;
        }
        PutU32(b, word0);
        PutU32(b + 4, word1);
        header->Length = static_cast<USHORT>(length + sizeof(FW_CMD_HEADER));
        if (ramForm) {
            header->SetQuery = setQuery;
            if (cmdClass == FW_CMD_CLASS_NORMAL) {
                header->PqId = FW_CMD_PQ_ID_COMMAND;
                header->ExtCmdId = extCmdId;
            }
        }
        header->CmdId = headerCmdId;
        header->PacketType = FW_CMD_HEADER_PACKET_TYPE;
        header->SeqNum = seq;
        break;
    }
    case FW_CHIP_GROUP_OLDER:
    default:
        PutU16(b, total & 0xFFFF);
        if (download) {
            PutU16(b + 2, 0xF800);
            b[5] = FW_CMD_HEADER_PACKET_TYPE;
            b[7] = 0x03;
            header->PacketType = FW_CMD_HEADER_PACKET_TYPE;
        } else if (inRam || cmdClass == 0x01 || cmdClass == 0x02 || cmdClass == 0x07 || cmdClass == 0x10) {
            PutU16(b + 2, 0x8000);
            b[5] = FW_CMD_HEADER_PACKET_TYPE;
            b[7] = 0x02;
            header->PacketType = FW_CMD_HEADER_PACKET_TYPE;
        }
        if (inRam) {
            header->Length = static_cast<USHORT>(length + sizeof(FW_CMD_HEADER));
            header->SetQuery = setQuery;
            header->Reserved1 = 3;
        } else {
            ring = FW_CMD_RING_DOWNLOAD;
        }
        if (cmdClass == FW_CMD_CLASS_NORMAL) {
            header->PqId = FW_CMD_PQ_ID_COMMAND;
            header->ExtCmdId = extCmdId;
        }
        header->CmdId = headerCmdId;
        header->SeqNum = seq;
        break;
    }
    msg->RingSelector = download ? FW_CMD_RING_DOWNLOAD : ring;
}

}  // namespace

FW_CHIP_GROUP QzCmdChipGroup(PMP_ADAPTER adapter)
{
    if (HalIsThirdGeneration(adapter->DeviceId)) {
        return FW_CHIP_GROUP_ARVEL3X;
    }
    if (HalDeviceGeneration(adapter->DeviceId) == CHIP_GENERATION_OLDER) {
        return FW_CHIP_GROUP_OLDER;
    }
    return FW_CHIP_GROUP_ARVEL2X;
}

// ================================================================================================
// messages
// ================================================================================================
PFW_CMD_MSG QzCmdAllocCmdMsg(PMP_ADAPTER adapter, ULONG length)
{
    if (adapter == nullptr) {
        return nullptr;
    }
    const ULONG size = length + ExtraLength(adapter);
    if (size == 0 || size > 0xFFFF) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command message of %u bytes refused", static_cast<unsigned>(size));
        return nullptr;
    }
    PFW_CMD_MSG msg = nullptr;
    if (size < FW_CMD_MSG_POOL_LIMIT) {
        msg = QzGetMsgCmdBuffer(adapter);
        if (msg == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "no command message in the pool");
            return nullptr;
        }
        PUCHAR buffer = msg->Buffer;
        ULONG bufferSize = msg->BufferSize;
        USHORT poolIndex = msg->PoolIndex;
        PlatformZeroMemory(msg, sizeof(*msg));
        PlatformZeroMemory(buffer, bufferSize);
        msg->Buffer = buffer;
        msg->BufferSize = bufferSize;
        msg->PoolIndex = poolIndex;
        msg->FromPool = 1;
    } else {
        PVOID buffer = nullptr;
        if (PlatformAllocateMemory(adapter, &buffer, size, TAG_ZV0T) != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command buffer of %u bytes not allocated", static_cast<unsigned>(size));
            return nullptr;
        }
        PVOID descriptor = nullptr;
        if (PlatformAllocateMemory(adapter, &descriptor, sizeof(FW_CMD_MSG), TAG_ZV00) != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command message descriptor not allocated");
            PlatformFreeMemory(buffer, size);
            return nullptr;
        }
        PlatformZeroMemory(buffer, size);
        PlatformZeroMemory(descriptor, sizeof(FW_CMD_MSG));
        msg = static_cast<PFW_CMD_MSG>(descriptor);
        msg->Buffer = static_cast<PUCHAR>(buffer);
        msg->BufferSize = size;
    }
    msg->InUse = 1;
    msg->SlotIndex = FW_CMD_SLOT_NONE;
    msg->Adapter = adapter;
    msg->TotalLength = static_cast<USHORT>(size);
    return msg;
}

void QzCmdFreeCmdMsg(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG length)
{
    if (adapter == nullptr || msg == nullptr || !msg->InUse) {
        return;
    }
    msg->InUse = 0;
    // Where the message came from decides where it goes; the size rule gives the same answer for a
    // caller that passes the length it allocated.
    const BOOLEAN large = length + ExtraLength(adapter) >= FW_CMD_MSG_POOL_LIMIT;
    if (large == msg->FromPool) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command message released with length %u, allocated with %u",
                 static_cast<unsigned>(length), static_cast<unsigned>(msg->TotalLength));
    }
    if (msg->FromPool) {
        QzReturnMsgCmdBuffer(adapter, msg);
        return;
    }
    PlatformFreeMemory(msg->Buffer, msg->BufferSize);
    PlatformFreeMemory(msg, sizeof(FW_CMD_MSG));
}

USHORT QzCmdGetPqId(UCHAR cmdClass)
{
    return cmdClass == FW_CMD_CLASS_DOWNLOAD_DATA ? FW_CMD_PQ_ID_DOWNLOAD : FW_CMD_PQ_ID_COMMAND;
}

// ================================================================================================
// expected events
// ================================================================================================
USHORT QzCmdGetEventIDForFwCmdID(PMP_ADAPTER adapter, UCHAR cmdId)
{
    switch (cmdId) {
    case 0x01:
    case 0x02:
    case 0x05:
    case 0x80:
        return 0x01;
    case 0x07:
        return adapter != nullptr && LoadByte(&adapter->FwDownloaded) ? 0x24 : 0x01;
    case 0x10:
        return 0x04;
    case 0x1C:
        return 0x10;
    case 0x21:
        return 0x08;
    case 0x7C:
        return 0x7C;
    case 0x85:
        return 0x21;
    case 0x8A:
        return 0xEC;
    case 0xC0:
        return 0x05;
    case 0xCA:
        return 0x44;
    case 0xCD:
        return 0xCD;
    case 0xCE:
        return 0xCE;
    case FW_CMD_ID_EXTENDED:
        return FW_CMD_EVENT_EXTENDED;
    default:
        return FW_CMD_EVENT_DMA_DONE;
    }
}

USHORT QzCmdGetExtEventIDForExtFwCmdID(UCHAR cmdId, UCHAR extCmdId)
{
    if (cmdId != FW_CMD_ID_EXTENDED || extCmdId == 0) {
        return 0;
    }
    switch (extCmdId) {
    case 0x01:
        return 0x01;
    case 0x04:
        return 0x04;
    case 0x05:
        return FW_CMD_EXT_EVENT_NONE;
    case 0x07:
        return 0x00;
    case 0x1E:
        return 0x35;
    case 0x3C:
        return 0x3C;
    case 0x4F:
        return 0x4D;
    case 0xA8:
        return 0xA8;
    case 0xBD:
        return 0x9A;
    default:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "extended command 0x%02X expects no extended event",
                 static_cast<unsigned>(extCmdId));
        return FW_CMD_EXT_EVENT_NONE;
    }
}

USHORT QzCmdGetRespEventIDForUniCmdID(PMP_ADAPTER adapter, USHORT uniCmdId, const UCHAR* buffer, ULONG length,
                                      USHORT uniTag)
{
    const BOOLEAN inRam = adapter != nullptr && LoadByte(&adapter->FwDownloaded);
    switch (uniCmdId) {
    case 0x0D:
        return uniTag == 0 || uniTag == 1 ? 0x06 : FW_CMD_UNI_EVENT_DMA_DONE;
    case 0x0E:
        if (uniTag == 3) {
            return 0x43;
        }
        return uniTag == 0 || uniTag == 2 ? 0x07 : FW_CMD_UNI_EVENT_DMA_DONE;
    case 0x1A:
        return 0x1A;
    case 0x23:
        return uniTag == 1 || uniTag == 2 || uniTag == 6 ? 0x23 : FW_CMD_UNI_EVENT_DMA_DONE;
    case 0x25:
        return uniTag == 0xC0 || uniTag == 0xCB ? 0x25 : FW_CMD_UNI_EVENT_DMA_DONE;
    case 0x27:
        return uniTag == 0 || uniTag == 2 || uniTag == 3 ? 0x27 : FW_CMD_UNI_EVENT_DMA_DONE;
    case 0x28:
    case 0x33:
    case 0x7C:
    case 0x80:
        return uniCmdId;
    case 0x03: {
        // The payload follows the unified prefix; its 16-bit value at offset 8 tells the key command.
        constexpr ULONG kTagOffset = FW_CMD_UNI_PREFIX_LENGTH + 8;
        if (inRam && buffer != nullptr && length >= kTagOffset + 2 && GetU16(buffer + kTagOffset) == 0x27) {
            return 0x12;
        }
        return FW_CMD_UNI_EVENT_DMA_DONE;
    }
    case 0x2D:
        return inRam ? 0x48 : FW_CMD_UNI_EVENT_DMA_DONE;
    default:
        return FW_CMD_UNI_EVENT_DMA_DONE;
    }
}

// ================================================================================================
// the queue
// ================================================================================================
void QzCmdInitFWCmdSlotEvents(PMP_ADAPTER adapter)
{
    for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
        KeInitializeEvent(&adapter->FwCmd.FwCmdSentEvents[i], SynchronizationEvent, FALSE);
        KeInitializeEvent(&adapter->FwCmd.FwCmdRespEvents[i], SynchronizationEvent, FALSE);
    }
}

void QzCmdInitFWCmdQueue(PMP_ADAPTER adapter)
{
    KIRQL oldIrql = LockQueue(adapter);
    adapter->FwCmd.FwCmdWriteIndex = 0;
    adapter->FwCmd.FwCmdReadIndex = 0;
    adapter->FwCmd.FwCmdQueuedCount = 0;
    ++adapter->FwCmd.FwCmdQueueEpoch;
    for (FW_CMD_SLOT& slot : adapter->FwCmd.FwCmdSlots) {
        // A sender still waiting on a slot keeps it from being taken until it has read its result.
        slot.InUse = 0;
        slot.Unified = 0;
        slot.CmdId = FW_CMD_ID_EMPTY;
        slot.ExpectedEventId = FW_CMD_EVENT_DMA_DONE;
    }
    UnlockQueue(adapter, oldIrql);
}

ULONG QzCmdStoreInfo(PMP_ADAPTER adapter, PFW_CMD_MSG msg)
{
    if (adapter == nullptr || msg == nullptr || msg->Buffer == nullptr || msg->TotalLength < FW_CMD_UNI_PREFIX_LENGTH) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "no command message to queue");
        return FW_CMD_SLOT_NONE;
    }
    const PUCHAR b = msg->Buffer;
    const BOOLEAN unified = (b[43] & FW_CMD_OPTION_UNIFIED) != 0;
    const USHORT cmdId = unified ? GetU16(b + 34) : b[36];
    const UCHAR seq = b[39];
    const BOOLEAN needAnswer = (msg->Flags & FW_CMD_FLAG_NEED_ANSWER) != 0;

    KIRQL oldIrql = LockQueue(adapter);
    const ULONG index = adapter->FwCmd.FwCmdWriteIndex;
    PFW_CMD_SLOT slot = &adapter->FwCmd.FwCmdSlots[index];
    if (slot->InUse || slot->WaiterPresent) {
        ULONG busy = 0;
        for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
            busy |= adapter->FwCmd.FwCmdSlots[i].InUse ? (1u << i) : 0u;
        }
        UnlockQueue(adapter, oldIrql);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command queue full at slot %u: slots in use 0x%05X",
                 static_cast<unsigned>(index), static_cast<unsigned>(busy));
        return FW_CMD_SLOT_NONE;
    }
    adapter->FwCmd.FwCmdWriteIndex = static_cast<UCHAR>((index + 1) % FW_CMD_SLOT_COUNT);
    ++adapter->FwCmd.FwCmdQueuedCount;
    PlatformZeroMemory(slot, sizeof(*slot));
    slot->Unified = unified;
    slot->InUse = 1;
    msg->SlotIndex = index;
    slot->Port = msg->Port;
    slot->CmdId = cmdId;
    if (unified) {
        slot->ExpectedEventId = QzCmdGetRespEventIDForUniCmdID(adapter, cmdId, b, msg->TotalLength, msg->UniTag);
        slot->UniTag = msg->UniTag;
    } else {
        slot->ExpectedEventId = QzCmdGetEventIDForFwCmdID(adapter, static_cast<UCHAR>(cmdId));
        slot->UniTag = FW_CMD_UNI_TAG_LEGACY;
        if (cmdId == FW_CMD_ID_EXTENDED && msg->ExtCmdId != 0) {
            slot->ExpectedExtEventId = QzCmdGetExtEventIDForExtFwCmdID(FW_CMD_ID_EXTENDED, msg->ExtCmdId);
        }
    }
    slot->Class = msg->Class;
    slot->SeqNum = seq;
    slot->NeedAnswer = needAnswer;
    slot->CallbackContext = msg->CallbackContext;
    slot->CallbackArgument = msg->CallbackArgument;
    slot->Message = msg;
    slot->Status = STATUS_UNSUCCESSFUL;
    const BOOLEAN answerForm = unified ? slot->ExpectedEventId == kUniCmdIdAnswerCallback
                                       : cmdId == FW_CMD_ID_EXTENDED && msg->ExtCmdId == kExtCmdIdAnswerCallback;
    if (answerForm) {
        slot->AnswerCallback = reinterpret_cast<FW_CMD_ANSWER_CALLBACK>(msg->Callback);
    } else {
        slot->CompletionCallback = reinterpret_cast<FW_CMD_COMPLETION_CALLBACK>(msg->Callback);
    }
    if (oldIrql > PASSIVE_LEVEL) {
        // Nobody waits: the command thread releases the message once it has handed it over.
        slot->Status = STATUS_PENDING;
        msg->ReleaseByThread = 1;
    } else {
        slot->WaiterPresent = 1;
    }
    if (oldIrql <= DISPATCH_LEVEL) {
        KeClearEvent(&adapter->FwCmd.FwCmdSentEvents[index]);
        if (needAnswer) {
            KeClearEvent(&adapter->FwCmd.FwCmdRespEvents[index]);
        }
    }
    UnlockQueue(adapter, oldIrql);
    return index;
}

NTSTATUS QzCmdEnqueueFWCmd(PMP_ADAPTER adapter, PMP_PORT port, PFW_CMD_MSG msg)
{
    if (adapter == nullptr || msg == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (LoadByte(&adapter->FwCmd.RecoveryInProgress) || PlatformThreadsStopping(adapter) ||
        AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED) || adapter->Signature != MP_ADAPTER_SIGNATURE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command refused: recovery %u, threads stopping %u, flags 0x%08X",
                 static_cast<unsigned>(LoadByte(&adapter->FwCmd.RecoveryInProgress)),
                 static_cast<unsigned>(PlatformThreadsStopping(adapter)), static_cast<unsigned>(AdapterGetFlags(adapter)));
        return STATUS_UNSUCCESSFUL;
    }
    msg->Port = port;
    const ULONG index = QzCmdStoreInfo(adapter, msg);
    if (index >= FW_CMD_SLOT_COUNT) {
        return STATUS_UNSUCCESSFUL;
    }
    PFW_CMD_SLOT slot = &adapter->FwCmd.FwCmdSlots[index];

    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        KIRQL oldIrql = LockQueue(adapter);
        slot->Status = STATUS_PENDING;
        UnlockQueue(adapter, oldIrql);
        // The command thread sends it; wake it now rather than at the next passive sender.
        PlatformSignalThread(&adapter->FwCmdThread);
        return STATUS_PENDING;
    }

    KIRQL oldIrql = LockQueue(adapter);
    const BOOLEAN needAnswer = slot->NeedAnswer;
    const BOOLEAN keyCommand = slot->Class == FW_CMD_CLASS_NORMAL && slot->CmdId == FW_CMD_ID_KEY;
    BOOLEAN sent = slot->Sent;
    UnlockQueue(adapter, oldIrql);

    NTSTATUS waitStatus = STATUS_SUCCESS;
    BOOLEAN stoppedWhileSending = FALSE;
    if (!sent) {
        const ULONG ms = LoadByte(&adapter->FwCmd.FwJustDownloaded) ? kSentWaitAfterDownloadMs
                         : LoadByte(&adapter->FwCmd.ShuttingDown)   ? kShutdownWaitMs
                                                              : kSentWaitMs;
        PlatformSignalThread(&adapter->FwCmdThread);
        waitStatus = QzCmdEventWait(adapter, &adapter->FwCmd.FwCmdSentEvents[index], RelativeMs(ms));
        if (waitStatus == STATUS_TIMEOUT) {
            oldIrql = LockQueue(adapter);
            const BOOLEAN retry = !slot->OnRing && !slot->Sent && adapter->RegistryBlock.SysRcvyEn == 0;
            UnlockQueue(adapter, oldIrql);
            if (retry) {
                waitStatus = QzCmdEventWait(adapter, &adapter->FwCmd.FwCmdSentEvents[index], RelativeMs(ms));
            }
        }
        stoppedWhileSending = PlatformThreadsStopping(adapter);
    }

    oldIrql = LockQueue(adapter);
    const BOOLEAN answeredEarly = slot->Answered;
    UnlockQueue(adapter, oldIrql);
    BOOLEAN skippedAnswer = FALSE;
    if (needAnswer && !answeredEarly && waitStatus == STATUS_SUCCESS) {
        if (stoppedWhileSending || PlatformThreadsStopping(adapter)) {
            skippedAnswer = TRUE;
        } else {
            const ULONG ms = LoadByte(&adapter->FwCmd.ShuttingDown) ? kShutdownWaitMs
                             : keyCommand                     ? kKeyAnswerWaitMs
                                                              : kAnswerWaitMs;
            PlatformSignalThread(&adapter->FwCmdThread);
            waitStatus = QzCmdEventWait(adapter, &adapter->FwCmd.FwCmdRespEvents[index], RelativeMs(ms));
            if (waitStatus == STATUS_TIMEOUT && keyCommand) {
                MarkOwnStationKeyDone(port);
            }
        }
    }

    oldIrql = LockQueue(adapter);
    NTSTATUS result;
    if (waitStatus != STATUS_SUCCESS) {
        result = waitStatus;
    } else if (needAnswer ? slot->Answered : slot->Sent) {
        result = slot->Status;
    } else if (skippedAnswer) {
        result = STATUS_SUCCESS;
    } else {
        // Woken without a report (the device went away): the command was not carried out.
        result = STATUS_UNSUCCESSFUL;
    }
    if (result != STATUS_SUCCESS) {
        slot->Status = result;
        slot->InUse = 0;
    }
    // The sender releases its message next: the slot no longer hands it to anyone.
    if (slot->Message == msg) {
        slot->Message = nullptr;
    }
    slot->WaiterPresent = 0;
    UnlockQueue(adapter, oldIrql);
    return result;
}

NTSTATUS QzCmdDequeueFWCmd(PMP_ADAPTER adapter, ULONG reserved)
{
    UNREFERENCED_PARAMETER(reserved);
    if (adapter == nullptr || AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED)) {
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS last = STATUS_SUCCESS;
    KIRQL oldIrql = LockQueue(adapter);
    // The slots between the read and the write index wait for the hand-over; when all 20 were taken
    // before the thread ran, the two indices are equal, so the count of taken slots decides.
    while (adapter->FwCmd.FwCmdQueuedCount != 0) {
        const ULONG index = adapter->FwCmd.FwCmdReadIndex;
        const ULONG epoch = adapter->FwCmd.FwCmdQueueEpoch;
        PFW_CMD_SLOT slot = &adapter->FwCmd.FwCmdSlots[index];
        PFW_CMD_MSG msg = slot->InUse ? slot->Message : nullptr;
        if (msg != nullptr) {
            const BOOLEAN unified = slot->Unified;
            msg->HandOverBusy = 1;
            UnlockQueue(adapter, oldIrql);
            NTSTATUS status;
            if (adapter->HalOps.CmdSendMsg != nullptr) {
                status = adapter->HalOps.CmdSendMsg(adapter, msg, msg->RingSelector);
            } else {
                // No way to the chip: the slot completes with the failure, as a refused hand-over does.
                status = STATUS_NOT_SUPPORTED;
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "chip has no command send operation");
                (void)QzCmdEventCompleteWaitingFwCmd(adapter,
                                                     unified ? FW_CMD_UNI_EVENT_DMA_DONE : FW_CMD_EVENT_DMA_DONE,
                                                     nullptr, index, status, unified);
            }
            last = status;
            oldIrql = LockQueue(adapter);
            msg->HandOverBusy = 0;
            if (msg->ReleaseByThread) {
                if (slot->Message == msg) {
                    slot->Message = nullptr;
                }
                UnlockQueue(adapter, oldIrql);
                QzCmdFreeCmdMsg(adapter, msg, msg->TotalLength - ExtraLength(adapter));
                oldIrql = LockQueue(adapter);
            }
            if (adapter->FwCmd.FwCmdQueueEpoch != epoch) {
                // The queue was emptied meanwhile (firmware recovery): go on from its new state.
                continue;
            }
        }
        adapter->FwCmd.FwCmdReadIndex = static_cast<UCHAR>((index + 1) % FW_CMD_SLOT_COUNT);
        --adapter->FwCmd.FwCmdQueuedCount;
    }
    UnlockQueue(adapter, oldIrql);
    return last;
}

NTSTATUS QzCmdEventWait(PMP_ADAPTER adapter, PKEVENT event, LONGLONG timeout)
{
    LARGE_INTEGER wait;
    wait.QuadPart = timeout != 0 ? timeout : RelativeMs(kDefaultWaitMs);
    NTSTATUS status = KeWaitForSingleObject(event, Executive, KernelMode, FALSE, &wait);
    if (status != STATUS_TIMEOUT) {
        return status;
    }
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "firmware command wait of %lld ms timed out",
             static_cast<long long>(wait.QuadPart < 0 ? -wait.QuadPart / kUnitsPerMs : wait.QuadPart));
    StoreByte(&adapter->FwCmd.CmdTimeout, 1);
    if (adapter->LowPower.LowPowerMode) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    HalShowHostCsrInfo(adapter);
    (void)HalCallOptional(adapter->HalOps.ShowDebugSopInfo, adapter, 1);
    if (adapter->LowPower.LowPowerMode) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
    if (QzCmdChipGroup(adapter) != FW_CHIP_GROUP_OLDER) {
        ULONG kind = RECOVERY_KIND_FW_CMD_TIMEOUT;
        NTSTATUS posted =
            QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_ERROR_RECOVERY, &kind, sizeof(kind));
        if (!NT_SUCCESS(posted)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "error recovery not requested: 0x%08X", static_cast<unsigned>(posted));
        }
    }
    return STATUS_TIMEOUT;
}

ULONG QzCmdEventCompleteWaitingFwCmd(PMP_ADAPTER adapter, USHORT eventId, PUCHAR eventRecord, ULONG slotIndex,
                                     NTSTATUS status, BOOLEAN unified)
{
    if (adapter == nullptr) {
        return FW_CMD_SLOT_NONE;
    }
    const USHORT dmaDone = unified ? FW_CMD_UNI_EVENT_DMA_DONE : FW_CMD_EVENT_DMA_DONE;
    const BOOLEAN answer = IsAnswerEvent(eventId, unified);
    if ((eventId == dmaDone && slotIndex >= FW_CMD_SLOT_COUNT) || (!unified && eventId == 0x27) ||
        (unified && eventId == 0x04)) {
        return FW_CMD_SLOT_NONE;
    }
    if (!answer && eventId != dmaDone) {
        return FW_CMD_SLOT_NONE;
    }

    KIRQL oldIrql = LockQueue(adapter);
    ULONG index = FW_CMD_SLOT_NONE;
    if (answer) {
        for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
            const FW_CMD_SLOT* candidate = &adapter->FwCmd.FwCmdSlots[i];
            if (candidate->InUse && SlotMatchesAnswer(adapter, candidate, eventId, eventRecord, unified)) {
                index = i;
                break;
            }
        }
        if (index == FW_CMD_SLOT_NONE) {
            UnlockQueue(adapter, oldIrql);
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "event 0x%02X answers no command", static_cast<unsigned>(eventId));
            return FW_CMD_SLOT_NONE;
        }
    } else {
        index = slotIndex;
    }

    PFW_CMD_SLOT slot = &adapter->FwCmd.FwCmdSlots[index];
    if (!slot->InUse) {
        UnlockQueue(adapter, oldIrql);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "event 0x%02X for slot %u, which is free", static_cast<unsigned>(eventId),
                 static_cast<unsigned>(index));
        return FW_CMD_SLOT_NONE;
    }

    if (!slot->OnRing) {
        // The host interface failed before the ring: the waiter returns the failure.
        if (status != STATUS_SUCCESS) {
            slot->Sent = 1;
            if (slot->NeedAnswer) {
                slot->Answered = 1;
            }
            FreeSlot(slot, status);
            KeSetEvent(&adapter->FwCmd.FwCmdSentEvents[index], IO_NO_INCREMENT, FALSE);
            if (slot->NeedAnswer) {
                KeSetEvent(&adapter->FwCmd.FwCmdRespEvents[index], IO_NO_INCREMENT, FALSE);
            }
        }
        UnlockQueue(adapter, oldIrql);
        return index;
    }

    slot->Status = status;
    if (!slot->Sent) {
        slot->Sent = 1;
        KeSetEvent(&adapter->FwCmd.FwCmdSentEvents[index], IO_NO_INCREMENT, FALSE);
    }

    BOOLEAN post = FALSE;
    FW_CMD_SLOT copy{};
    if (answer && slot->NeedAnswer) {
        const BOOLEAN answeredEarlier = slot->Answered;
        if (!answeredEarlier) {
            slot->Answered = 1;
            FreeSlot(slot, status);
            KeSetEvent(&adapter->FwCmd.FwCmdRespEvents[index], IO_NO_INCREMENT, FALSE);
        }
        slot->AnswerEvent = eventRecord;
        if (slot->CompletionCallback != nullptr || slot->AnswerCallback != nullptr) {
            PlatformMoveMemory(&copy, slot, sizeof(copy));
            post = TRUE;
        } else if (answeredEarlier && status == STATUS_SUCCESS) {
            FreeSlot(slot, status);
        }
    } else if (!answer && !slot->NeedAnswer && status == STATUS_SUCCESS) {
        FreeSlot(slot, STATUS_SUCCESS);
    }
    UnlockQueue(adapter, oldIrql);

    if (post) {
        // The callback runs on the control thread after the receive buffer is gone: the answer
        // event travels with the slot.
        UCHAR data[INTERNAL_CMD_PAYLOAD_SIZE];
        auto* record = reinterpret_cast<PFW_CMD_CALLBACK_RECORD>(data);
        PlatformZeroMemory(data, sizeof(data));
        PlatformMoveMemory(&record->Slot, &copy, sizeof(copy));
        ULONG eventLength = 0;
        if (eventRecord != nullptr) {
            eventLength = FW_EVENT_VIEW_HEADER_OFFSET + GetU16(eventRecord + FW_EVENT_VIEW_HEADER_OFFSET);
            if (eventLength > FW_CMD_CALLBACK_RECORD_EVENT_ROOM) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "answer event of %u bytes not kept for the callback",
                         static_cast<unsigned>(eventLength));
                eventLength = 0;
            } else {
                PlatformMoveMemory(record->AnswerEvent, eventRecord, eventLength);
            }
        }
        record->AnswerEventLength = eventLength;
        record->Slot.AnswerEvent = nullptr;
        record->Slot.Message = nullptr;
        const ULONG length = static_cast<ULONG>(offsetof(FW_CMD_CALLBACK_RECORD, AnswerEvent)) + eventLength;
        NTSTATUS posted = QZEnqueueInternalCmd(adapter, copy.Port, INTERNAL_CMD_FW_CMD_CALLBACK, data, length);
        if (!NT_SUCCESS(posted)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "callback of command 0x%02X not posted: 0x%08X",
                     static_cast<unsigned>(copy.CmdId), static_cast<unsigned>(posted));
        }
    }
    return index;
}

void QzCmdQueueFlushCheck(PMP_ADAPTER adapter)
{
    KIRQL oldIrql = LockQueue(adapter);
    for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
        PFW_CMD_SLOT slot = &adapter->FwCmd.FwCmdSlots[i];
        if (!slot->InUse) {
            continue;
        }
        if (!slot->Sent) {
            slot->Sent = 1;
            if (slot->NeedAnswer) {
                slot->Answered = 1;
            }
            KeSetEvent(&adapter->FwCmd.FwCmdSentEvents[i], IO_NO_INCREMENT, FALSE);
        }
        if (slot->NeedAnswer && !slot->Answered) {
            slot->Answered = 1;
            slot->InUse = 0;
            KeSetEvent(&adapter->FwCmd.FwCmdRespEvents[i], IO_NO_INCREMENT, FALSE);
        }
    }
    UnlockQueue(adapter, oldIrql);
}

BOOLEAN QzCmdQueueValidCheck(PMP_ADAPTER adapter)
{
    KIRQL oldIrql = LockQueue(adapter);
    for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
        if (adapter->FwCmd.FwCmdSlots[i].InUse) {
            UnlockQueue(adapter, oldIrql);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "command slot %u in use", static_cast<unsigned>(i));
            return TRUE;
        }
    }
    UnlockQueue(adapter, oldIrql);
    return FALSE;
}

void QzCmdSlotCallbackHandler(PMP_ADAPTER adapter, PUCHAR payload, ULONG length)
{
    constexpr ULONG kHeader = static_cast<ULONG>(offsetof(FW_CMD_CALLBACK_RECORD, AnswerEvent));
    if (payload == nullptr || length < kHeader) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command callback record of %u bytes", static_cast<unsigned>(length));
        return;
    }
    auto* record = reinterpret_cast<PFW_CMD_CALLBACK_RECORD>(payload);
    FW_CMD_SLOT slot;
    PlatformMoveMemory(&slot, &record->Slot, sizeof(slot));
    const ULONG eventLength = record->AnswerEventLength <= length - kHeader ? record->AnswerEventLength : 0;
    if (slot.CompletionCallback != nullptr) {
        (void)slot.CompletionCallback(slot.CallbackContext, slot.CallbackArgument);
        return;
    }
    if (slot.AnswerCallback == nullptr) {
        return;
    }
    const BOOLEAN answerForm =
        slot.Unified ? slot.ExpectedEventId == kUniCmdIdAnswerCallback
                     : slot.Class == FW_CMD_CLASS_NORMAL && slot.ExpectedEventId == FW_CMD_EVENT_EXTENDED &&
                           slot.ExpectedExtEventId == kExtCmdIdAnswerCallback;
    if (answerForm) {
        (void)slot.AnswerCallback(adapter, slot.CallbackContext, slot.CallbackArgument,
                                  eventLength != 0 ? record->AnswerEvent : nullptr);
    }
}

// ================================================================================================
// the send call
// ================================================================================================
NTSTATUS QzCmdSendSetQuery(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery, UCHAR flags,
                           const void* payload, USHORT length, FW_CMD_CALLBACK callback, ULONG64 callbackContext,
                           ULONG callbackArgument)
{
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (adapter != nullptr && QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X && LoadByte(&adapter->FwDownloaded)) {
        return QzCmdSendSetQueryCmdHelper(port, cmdId, cmdClass, extCmdId, setQuery, flags, payload, length, callback,
                                          callbackContext, callbackArgument);
    }
    return QzCmdSendSetQueryCmdAdv(port, cmdId, cmdClass, extCmdId, setQuery, flags, payload, length, callback,
                                   callbackContext, callbackArgument);
}

NTSTATUS QzCmdSendSetQueryCmdAdv(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                                 UCHAR flags, const void* payload, USHORT length, FW_CMD_CALLBACK callback,
                                 ULONG64 callbackContext, ULONG callbackArgument)
{
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "command 0x%02X without a port", static_cast<unsigned>(cmdId));
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (RefusedByFirmwareState(adapter, "legacy", cmdId)) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR recoveryState = LoadByte(&adapter->Recovery.FwRecoveryState);
    if (!LoadByte(&adapter->FwDownloaded) && (recoveryState == 1 || recoveryState == 2) &&
        !ClassAllowedDuringRecovery(cmdClass)) {
        ULONG refused = __atomic_add_fetch(&adapter->FwCmd.RefusedCmdCount, 1, __ATOMIC_RELAXED);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command 0x%02X of class 0x%02X refused during firmware recovery (%u)",
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(cmdClass), static_cast<unsigned>(refused));
        return STATUS_UNSUCCESSFUL;
    }

    const ULONG prefix = LegacyPrefixLength(adapter);
    PFW_CMD_MSG msg =
        AllocSenderMsg(port, prefix + length, cmdClass, extCmdId, flags, callback, callbackContext, callbackArgument);
    if (msg == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    WriteLegacyCommand(adapter, msg, cmdId, cmdClass, extCmdId, setQuery, length);
    if (payload != nullptr && length != 0) {
        PlatformMoveMemory(msg->Buffer + prefix, payload, length);
    }

    NTSTATUS status = QzCmdEnqueueFWCmd(adapter, port, msg);
    if (status == STATUS_PENDING) {
        return STATUS_SUCCESS;
    }
    ReleaseSenderMsg(adapter, msg, prefix + length);
    return status;
}

// ================================================================================================
// the unified writer
// ================================================================================================
NTSTATUS QzCmdSendSetQueryUniCmdAdv(PMP_PORT port, UCHAR uniCmdId, UCHAR setQuery, UCHAR needResp, UCHAR flags,
                                    FW_CMD_CALLBACK callback, ULONG payloadLength, const void* payload,
                                    ULONG64 callbackContext, ULONG callbackArgument, USHORT answerTag)
{
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "unified command 0x%02X without a port", static_cast<unsigned>(uniCmdId));
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = port->Adapter;
    const UCHAR recoveryState = LoadByte(&adapter->Recovery.FwRecoveryState);
    if (!LoadByte(&adapter->FwDownloaded) && (recoveryState == 1 || recoveryState == 2)) {
        ULONG refused = __atomic_add_fetch(&adapter->FwCmd.RefusedCmdCount, 1, __ATOMIC_RELAXED);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "unified command 0x%02X refused during firmware recovery (%u)",
                 static_cast<unsigned>(uniCmdId), static_cast<unsigned>(refused));
        return STATUS_UNSUCCESSFUL;
    }
    if (RefusedByFirmwareState(adapter, "unified", uniCmdId)) {
        return STATUS_UNSUCCESSFUL;
    }
    // The chip layer's prefix length sizes the message; the payload always starts behind the 48-byte
    // unified prefix.
    ULONG prefix = ChipCmdPrefixLength(adapter);
    if (prefix < FW_CMD_UNI_PREFIX_LENGTH) {
        prefix = FW_CMD_UNI_PREFIX_LENGTH;
    }
    if (payload == nullptr || payloadLength == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "unified command 0x%02X without payload", static_cast<unsigned>(uniCmdId));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (payloadLength > 0xFFFF - prefix) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "unified command 0x%02X of %u bytes refused",
                 static_cast<unsigned>(uniCmdId), static_cast<unsigned>(payloadLength));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // Class 0xED; its extended-id field carries the unified id.
    PFW_CMD_MSG msg = AllocSenderMsg(port, prefix + payloadLength, FW_CMD_CLASS_NORMAL, uniCmdId, flags, callback,
                                     callbackContext, callbackArgument);
    if (msg == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    msg->UniTag = answerTag;
    msg->RingSelector = FW_CMD_RING_COMMAND;

    PUCHAR b = msg->Buffer;
    PutU32(b, (msg->TotalLength & 0xFFFFu) | (1u << 24) | (1u << 30));
    PutU32(b + 4, 1u << 14);
    PUCHAR header = b + FW_CMD_TXD_LENGTH;
    PutU16(header, FW_CMD_UNI_PREFIX_LENGTH - FW_CMD_TXD_LENGTH + payloadLength);
    PutU16(header + 2, uniCmdId);
    header[5] = FW_CMD_HEADER_PACKET_TYPE;
    header[7] = GetNextSeqNum(adapter, SEQ_NUM_CLASS_FW_CMD, TRUE);
    header[10] = 0;
    header[11] = !setQuery ? 0x02 : !needResp ? 0x06 : 0x07;
    PlatformMoveMemory(b + FW_CMD_UNI_PREFIX_LENGTH, payload, payloadLength);

    NTSTATUS status = QzCmdEnqueueFWCmd(adapter, port, msg);
    if (status == STATUS_PENDING) {
        return STATUS_SUCCESS;
    }
    ReleaseSenderMsg(adapter, msg, prefix + payloadLength);
    return status;
}

// ================================================================================================
// builders the bus layer sends
// ================================================================================================
NTSTATUS QzCmdSendFwPowerCtrl(PMP_ADAPTER adapter, ULONG value)
{
    PMP_PORT port = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "firmware power control %u without port 0", static_cast<unsigned>(value));
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR payload[4] = {static_cast<UCHAR>(value), 0, 0, 0};
    return QzCmdSendSetQuery(port, FW_CMD_ID_POWER_CTRL, FW_CMD_CLASS_NORMAL, 0, 1, kFlagsNoAnswer, payload,
                             sizeof(payload), nullptr, 0, 0);
}
