// The ACTION machine of a port, the handlers of received action frames, and the action frames the
// driver originates with their timers.
#include "Common/mlme/mlmeaction.h"

#include "Common/common.h"
#include "Common/he/twt.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/qzcmd_bss.h"
#include "Common/qzcmd_scan.h"
#include "hal/common/hal_chip.h"
#include "Common/logevent.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdievent.h"
#include "platform/wdi/wdigenerator.h"

namespace {

constexpr ULONG kCategoryOffset = 24;
constexpr ULONG kActionOffset = 25;
constexpr ULONG kTokenOffset = 26;
constexpr UCHAR kCategoryPublic = 4;
constexpr UCHAR kCategoryWnm = 10;
constexpr UCHAR kCategoryRm = 5;
constexpr UCHAR kCategoryHt = 7;
constexpr UCHAR kCategoryVht = 21;
constexpr UCHAR kCategoryS1g = 22;
constexpr UCHAR kPublicFilsDiscovery = 34;
constexpr UCHAR kPublicEcsa = 4;
constexpr UCHAR kPublicVendor = 9;
constexpr UCHAR kPublicGasFirst = 10;
constexpr UCHAR kPublicGasLast = 13;
constexpr ULONG kWdiTaskSendResponse = 105;
constexpr UCHAR kSeqClassAction = 2;
constexpr NTSTATUS kFailure = static_cast<NTSTATUS>(0xC0000001L);
constexpr ULONG kBtmTimerMs = 1000;
constexpr ULONG kGrantWaitMs = 500;
constexpr ULONG kEventParseCandidates = 0x40020446;
constexpr UCHAR kWfaOui[4] = {0x50, 0x6F, 0x9A, 0x09};

PMP_PORT PortOfElem(PMP_ADAPTER adapter, const MLME_QUEUE_ELEM* elem)
{
    return elem != nullptr && elem->PortIndex < MP_MAX_PORTS ? adapter->PortList[elem->PortIndex] : nullptr;
}

PENTRY_EXIT_STATE_MACHINE MachineOf(PMP_PORT port) { return &port->Mlme.ActionMachine; }

void SetState(PMP_ADAPTER adapter, PMP_PORT port, ULONG state) { StateMachineSetState(adapter, MachineOf(port), state); }

BOOLEAN IsP2pPort(PMP_PORT port)
{
    return static_cast<BOOLEAN>(port->PortType == WFD_DEVICE || port->PortType == WFD_GO || port->PortType == WFD_CLIENT);
}

BOOLEAN Connected(PMP_PORT port) { return static_cast<BOOLEAN>((port->ConnectionFlags & PORT_CONN_CONNECTED) != 0); }

BOOLEAN FromOwnAp(PMP_PORT port, const MLME_QUEUE_ELEM* elem)
{
    return static_cast<BOOLEAN>(elem->MsgLen >= 16 &&
                                RtlCompareMemory(elem->Msg + 10, port->Bssid, MAC_ADDR_LEN) == MAC_ADDR_LEN);
}

// The OS frame's request kind: a response unless the pending task is the request.
UCHAR RequestKind(PMP_ADAPTER adapter)
{
    return static_cast<UCHAR>(adapter->Wdi.CntlBlock.PendingMessageId != kWdiTaskSendResponse ? 1 : 0);
}

void ToOs(PMP_ADAPTER adapter, PMP_PORT port, const MLME_QUEUE_ELEM* elem)
{
    (void)WdiGeneratorIncomingActionFrame(adapter, port, elem->Channel, elem->Channel, elem->Msg, elem->MsgLen);
}

// Sends an MLME buffer holding `length` bytes of frame with the packet id (the host interface frees
// the buffer).
NTSTATUS SendBuffer(PMP_ADAPTER adapter, PUCHAR buffer, ULONG length, UCHAR packetId)
{
    return NdisCommonHifMiniportMMRequest(adapter->HifContext, buffer, length, packetId);
}

// Protected management frames are in use on the port's connection.
BOOLEAN PmfInUse(PMP_ADAPTER adapter, PMP_PORT port)
{
    const ULONG alg = port->Mlme.AuthAlgorithm;
    return static_cast<BOOLEAN>(adapter->PmfEnabled != 0 && port->Mlme.PmfEnabled != 0 &&
                                (port->Mlme.UnicastCipher == DOT11_CIPHER_CCMP || alg == 8 || alg == 9 ||
                                 alg == 0x80000006u));
}

void EndExchange(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter->ChPrivilegeHeld == 1) {
        PlatformCancelTimer(&port->Action.ChannelSwitchTimer, nullptr);
        (void)QzCmdChPrivilage(adapter, port, adapter->ChPrivilegeChannel, adapter->ChPrivilegeBand, 1, 0, 0, nullptr,
                               nullptr, 0, 0);
    }
    SetState(adapter, port, ACTION_STATE_IDLE);
}

void InitTimer(PMP_PORT port, PPLATFORM_TIMER timer, PPLATFORM_TIMER_CALLBACK callback, PCSTR name)
{
    if (!timer->Initialized) {
        PlatformInitTimer(port, timer, callback, 0, name);
    }
}

const ENTRY_EXIT_STATE kActionRows[3] = {
    {ACTION_STATE_IDLE, nullptr, ActionIdleHandler, nullptr},
    {ACTION_STATE_SENT, ActionSentEntry, ActionSentHandler, ActionSentExit},
    {ACTION_STATE_WAIT_RESPONSE, ActionWaitResponseEntry, ActionWaitResponseHandler, ActionWaitResponseExit},
};

}  // namespace

// ================================================================================================
// the machine
// ================================================================================================
VOID ActionStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PENTRY_EXIT_STATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    machine->Port = port;
    machine->CurrentState = ACTION_STATE_IDLE;
    machine->RowCount = 3;
    machine->Rows = kActionRows;
    if (port != nullptr && !port->Action.Ready) {
        InitTimer(port, &port->Action.ActionTimer, ActionFrameTimeoutCallback, "ActionFrameTimeoutCallback");
        InitTimer(port, &port->Action.ChannelSwitchTimer, ChannelSwitchTimeoutCallback, "ChannelSwitchTimeoutCallback");
        InitTimer(port, &port->Action.BtmTimer, BTMActionFrameTimeoutCallback, "BTMActionFrameTimeoutCallback");
        InitTimer(port, &port->Action.MboAssocDelayTimer, MboAssocDelayTimeoutCallback, "MboAssocDelayTimeoutCallback");
        port->Action.Ready = 1;
    }
}

VOID ActionStateMachineFree(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || !port->Action.Ready) {
        return;
    }
    for (PPLATFORM_TIMER t : {&port->Action.ActionTimer, &port->Action.ChannelSwitchTimer, &port->Action.BtmTimer,
                              &port->Action.MboAssocDelayTimer}) {
        PlatformFreeTimer(t);
    }
    port->Action.Ready = 0;
}

VOID ActionIdleHandler(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr) {
        return;
    }
    const UCHAR action = elem->MsgLen > kActionOffset ? elem->Msg[kActionOffset] : 0;
    switch (elem->MsgType) {
    case ACTION_MSG_SPECTRUM:
        PeerSpectrumAction(adapter, elem);
        break;
    case ACTION_MSG_PUBLIC:
        if (IsP2pPort(port)) {
            PeerPublicAction(adapter, elem);
        } else if (action == kPublicFilsDiscovery) {
            PeerFILSDiscAction(adapter, elem);
        } else {
            ToOs(adapter, port, elem);
        }
        break;
    case ACTION_MSG_RM:
        (void)PeerRMAction(adapter, elem);
        break;
    case ACTION_MSG_HT:
        PeerHTAction(adapter, elem);
        break;
    case ACTION_MSG_WNM:
    case ACTION_MSG_WNM_UNPROTECTED:
        (void)PeerWNMAction(adapter, elem);
        break;
    case ACTION_MSG_VHT:
        PeerVHTAction(adapter, elem);
        break;
    case ACTION_MSG_OTHER_CATEGORY:
        if (elem->MsgLen > kCategoryOffset && elem->Msg[kCategoryOffset] == kCategoryS1g) {
            twtRecvActionFrame(adapter, elem->PortIndex, elem->Msg, elem->MsgLen);
        }
        break;
    case ACTION_MSG_P2P_SIGNAL:
        MlmeP2pMsPublicActionFrameSignalRecv(adapter, port, elem->Msg, elem->MsgLen);
        break;
    case ACTION_MSG_SEND: {
        PUCHAR buffer = nullptr;
        if (NT_SUCCESS(MlmeAllocateMemoryEx(adapter, MLME_ACTION_MACHINE, &buffer)) && buffer != nullptr &&
            elem->MsgLen <= MLME_BUFFER_SIZE) {
            PlatformMoveMemory(buffer, elem->Msg, elem->MsgLen);
            if (adapter->UniEvent.DbdcMode != 0) {
                (void)MultiChannelWaitForChannelGrant(adapter, port);
            }
            const UCHAR pid = IsP2pPort(port) ? ACTION_PID_TRACKED : GetNextSeqNum(adapter, kSeqClassAction, TRUE);
            (void)SendBuffer(adapter, buffer, elem->MsgLen, pid);
        } else {
            if (buffer != nullptr) {
                MlmeFreeMemory(adapter, buffer);
            }
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "ActionIdleHandler: no buffer for the OS frame");
        }
        // The exchange ends at the dwell time-out when nothing went out.
        SetState(adapter, port, ACTION_STATE_SENT);
        break;
    }
    case ACTION_MSG_OPMODE_NOTIFY:
        MlmeVhtOperatingModeNotificationAction(adapter, elem);
        break;
    case ACTION_MSG_MBO_NOTIFY:
        MlmeMboWNMNotificationRequestAction(adapter, elem);
        break;
    case ACTION_MSG_SMPS:
        SendSMPSAction(adapter, elem);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "ActionIdleHandler: message %u ignored", static_cast<unsigned>(elem->MsgType));
        break;
    }
}

VOID ActionSentEntry(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    port->Action.NssResendCount = port->Action.NssChange != 0 ? port->Action.NssResendCount : 0;
    (void)PlatformSetTimer(port, &port->Action.ActionTimer, port->Action.DwellTime);
}

VOID ActionSentExit(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    PlatformCancelTimer(&port->Action.ActionTimer, nullptr);
}

VOID ActionSentHandler(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr) {
        return;
    }
    switch (elem->MsgType) {
    case ACTION_MSG_TIMEOUT:
        if (port->Action.NssChange == 0) {
            WdiEventIndicationSendActionComplete(adapter, port, RequestKind(adapter), kFailure);
        }
        port->Action.NssChange = 0;
        SetState(adapter, port, ACTION_STATE_IDLE);
        break;
    case ACTION_MSG_DELIVERED:
        if (port->Action.NssChange != 0) {
            port->Action.NssChange = 0;
            SetState(adapter, port, ACTION_STATE_IDLE);
        } else {
            WdiEventIndicationSendActionComplete(adapter, port, RequestKind(adapter), STATUS_SUCCESS);
            SetState(adapter, port, ACTION_STATE_WAIT_RESPONSE);
        }
        break;
    case ACTION_MSG_RESEND:
        if (port->Action.NssChange != 0) {
            SetState(adapter, port, ACTION_STATE_IDLE);
            ChangeConnectionNSS(adapter, port, static_cast<UCHAR>(KOVAGetAntennaPath(adapter) == 2 ? 1 : 0), 0);
            break;
        }
        // A resend of the frame itself; bounded, so that it cannot spin until the dwell time-out.
        if (port->Action.NssResendCount >= ACTION_NSS_RESEND_MAX || elem->MsgLen == 0) {
            break;
        }
        ++port->Action.NssResendCount;
        {
            PUCHAR buffer = nullptr;
            if (NT_SUCCESS(MlmeAllocateMemoryEx(adapter, MLME_ACTION_MACHINE, &buffer)) && buffer != nullptr &&
                elem->MsgLen <= MLME_BUFFER_SIZE) {
                PlatformMoveMemory(buffer, elem->Msg, elem->MsgLen);
                NdisCommonGenericDelay(10);
                const UCHAR pid = IsP2pPort(port) ? ACTION_PID_TRACKED : GetNextSeqNum(adapter, kSeqClassAction, FALSE);
                (void)SendBuffer(adapter, buffer, elem->MsgLen, pid);
            } else if (buffer != nullptr) {
                MlmeFreeMemory(adapter, buffer);
            }
        }
        (void)MlmeEnqueue(adapter, port, MLME_ACTION_MACHINE, ACTION_MSG_RESEND, elem->MsgLen, elem->Msg);
        break;
    case ACTION_MSG_FOREIGN_PUBLIC:
        ToOs(adapter, port, elem);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "ActionSentHandler: message %u ignored", static_cast<unsigned>(elem->MsgType));
        break;
    }
}

VOID ActionWaitResponseEntry(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)PlatformSetTimer(port, &port->Action.ActionTimer, port->Action.ResponseWait);
}

VOID ActionWaitResponseExit(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    PlatformCancelTimer(&port->Action.ActionTimer, nullptr);
}

VOID ActionWaitResponseHandler(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr) {
        return;
    }
    switch (elem->MsgType) {
    case ACTION_MSG_PUBLIC:
        ToOs(adapter, port, elem);
        EndExchange(adapter, port);
        break;
    case ACTION_MSG_RM:
        if (PeerRMAction(adapter, elem)) {
            SetState(adapter, port, ACTION_STATE_IDLE);
        }
        break;
    case ACTION_MSG_TIMEOUT:
        WdiEventIndicationSendActionComplete(adapter, port, RequestKind(adapter), kFailure);
        EndExchange(adapter, port);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "ActionWaitResponseHandler: message %u ignored",
                 static_cast<unsigned>(elem->MsgType));
        break;
    }
}

VOID BuildActionMacHeader(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR header, const UCHAR* destination,
                          const UCHAR* bssid)
{
    UNREFERENCED_PARAMETER(adapter);
    PlatformZeroMemory(header, MGMT_HEADER_SIZE);
    header[0] = 0xD0;
    header[1] = 0x00;
    PlatformMoveMemory(header + 4, destination, MAC_ADDR_LEN);
    PlatformMoveMemory(header + 10, port->MacAddress, MAC_ADDR_LEN);
    PlatformMoveMemory(header + 16, bssid, MAC_ADDR_LEN);
}

VOID ActionFrameTimeoutCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    (void)MlmeEnqueue(port->Adapter, port, MLME_ACTION_MACHINE, ACTION_MSG_TIMEOUT, 0, nullptr);
}


// ================================================================================================
// received action frames
// ================================================================================================
VOID PeerSpectrumAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "spectrum management action %u",
             static_cast<unsigned>(elem->MsgLen > kActionOffset ? elem->Msg[kActionOffset] : 0xFF));
}

VOID PeerPublicAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr || elem->MsgLen <= kActionOffset) {
        return;
    }
    const UCHAR action = elem->Msg[kActionOffset];
    if (elem->WlanIdx >= MAC_TABLE_POOL_SIZE && (action < kPublicVendor || action > kPublicGasLast)) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "public action %u of an unknown sender dropped", static_cast<unsigned>(action));
        return;
    }
    switch (action) {
    case kPublicEcsa:
        if (elem->MsgLen >= 30) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "extended channel switch: mode %u class %u channel %u",
                     static_cast<unsigned>(elem->Msg[26]), static_cast<unsigned>(elem->Msg[27]),
                     static_cast<unsigned>(elem->Msg[28]));
        }
        break;
    case kPublicVendor: {
        PMP_PORT device = adapter->P2pBlock != nullptr ? adapter->P2pBlock->DevicePort : nullptr;
        if (elem->MsgLen < 30 || RtlCompareMemory(elem->Msg + 26, kWfaOui, sizeof(kWfaOui)) != sizeof(kWfaOui) ||
            device == nullptr) {
            break;
        }
        if (port->PortType == WFD_DEVICE && port->Active) {
            MlmeP2pMsPublicActionFrameSignalRecv(adapter, port, elem->Msg, elem->MsgLen);
        } else {
            P2PPublicAction(adapter, port, elem->Msg, elem->MsgLen);
        }
        break;
    }
    case 10:
        P2pReceServDiscInitReqAction(adapter, port, elem->Msg, elem->MsgLen);
        break;
    case 11:
        P2pReceServDiscInitRspAction(adapter, port, elem->Msg, elem->MsgLen);
        break;
    case 12:
        P2pReceServDiscComebackReqAction(adapter, port, elem->Msg, elem->MsgLen);
        break;
    case 13:
        P2pReceServDiscComebackRspAction(adapter, port, elem->Msg, elem->MsgLen);
        break;
    default:
        break;
    }
}

VOID PeerFILSDiscAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr) {
        return;
    }
    const BOOLEAN chip = HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_HE_6GHZ);
    if (port->HeEnabled == 1 && chip && adapter->FwCap6GhzOff == 0 && (adapter->RegistryBlock.Config_6G & 1) != 0 &&
        adapter->Chip6GhzCapable != 0 && port->PortType == EXTSTA && elem->Band == BAND_6G && !Connected(port)) {
        scanParseFILSDisInfor(elem->Msg, elem->MsgLen, nullptr);
    }
}

VOID scanParseFILSDisInfor(const UCHAR* frame, ULONG length, PVOID record)
{
    UNREFERENCED_PARAMETER(record);
    if (frame == nullptr || length <= 37) {
        return;
    }
    const USHORT control = static_cast<USHORT>(frame[26] | (frame[27] << 8));
    ULONG at = 28;
    ULONG64 timestamp = 0;
    for (ULONG i = 0; i < 8; ++i) {
        timestamp |= static_cast<ULONG64>(frame[at + i]) << (8 * i);
    }
    at += 8;
    const USHORT interval = static_cast<USHORT>(frame[at] | (frame[at + 1] << 8));
    at += 2;
    const ULONG ssidLength = (control & 0x1F) + 1u;
    if (at + ssidLength > length) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "FILS discovery: SSID of %u bytes beyond the frame", static_cast<unsigned>(ssidLength));
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "FILS discovery: control 0x%04X interval %u SSID of %u bytes",
             static_cast<unsigned>(control), static_cast<unsigned>(interval), static_cast<unsigned>(ssidLength));
    UNREFERENCED_PARAMETER(timestamp);
}

BOOLEAN PeerRMAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr || elem->MsgLen <= kActionOffset || !Connected(port) || !FromOwnAp(port, elem)) {
        return FALSE;
    }
    const ULONG state = StateMachineGetState(MachineOf(port));
    const UCHAR action = elem->Msg[kActionOffset];
    if (state == ACTION_STATE_IDLE && action == 0 && elem->MsgLen >= 34 && elem->Msg[29] == 38 && elem->Msg[33] == 5) {
        ToOs(adapter, port, elem);
        return TRUE;
    }
    if (state == ACTION_STATE_WAIT_RESPONSE && action == 5) {
        ToOs(adapter, port, elem);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "NBR Response: %u bytes", static_cast<unsigned>(elem->MsgLen - MGMT_HEADER_SIZE));
        return TRUE;
    }
    return FALSE;
}

VOID PeerHTAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr || elem->WlanIdx >= MAC_TABLE_POOL_SIZE || MlmeSyncMacTabMatchedWlanIdx(port, elem->WlanIdx) == nullptr ||
        elem->MsgLen <= kTokenOffset) {
        return;
    }
    if (elem->Msg[kActionOffset] == 1) {
        (void)PeerNssUpdateAction(adapter, elem->WlanIdx, static_cast<UCHAR>((elem->Msg[kTokenOffset] & 0x01) == 0 ? 1 : 0));
    } else {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "HT action %u", static_cast<unsigned>(elem->Msg[kActionOffset]));
    }
}

namespace {

// The antenna rules both peer stream updates share: TRUE when the stream value is refused.
BOOLEAN StreamsRefused(PMP_ADAPTER adapter, UCHAR streams)
{
    if ((adapter->AntennaPath & 0x0F) == 2 && streams > 1) {
        return TRUE;
    }
    if (adapter->UniEvent.DbdcMode != 0) {
        return static_cast<BOOLEAN>(streams != 0);
    }
    return static_cast<BOOLEAN>((adapter->Cap.HwAntennaPath & 0x0F) == 2 ? streams > 1 : streams > 0);
}

}  // namespace

NTSTATUS PeerNssUpdateAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR streams)
{
    PMP_PORT port = MlmeSyncGetPortByWlanIdx(adapter, wlanIndex);
    PMAC_TABLE_ENTRY entry = port != nullptr ? MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex) : nullptr;
    if (entry == nullptr) {
        return kFailure;
    }
    if (adapter->MccActive != 0 && adapter->RegistryBlock.VHTOpModeSMPSEnableInRx == 0) {
        return kFailure;
    }
    // Unchanged: the stream count the selector asks for (1 or 2) is the current first path count.
    if (static_cast<ULONG>(streams) + 1 == (adapter->AntennaPath & 0x0Fu)) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "PeerNssUpdateAction: no change");
        return kFailure;
    }
    if (StreamsRefused(adapter, streams)) {
        return kFailure;
    }
    entry->StreamMarker = static_cast<UCHAR>(streams == 1 ? 0xFF : 0);
    const UCHAR n = static_cast<UCHAR>(streams == 1 ? 2 : 1);
    KOVAsetAntennaPath(adapter, n, n);
    (void)QzCmdSetBssInfo(adapter, port, 0);
    return STATUS_SUCCESS;
}

VOID PeerVHTAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    if (elem->WlanIdx >= MAC_TABLE_POOL_SIZE || elem->MsgLen != 27) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "VHT action of %u bytes dropped", static_cast<unsigned>(elem->MsgLen));
        return;
    }
    const UCHAR action = elem->Msg[kActionOffset];
    if (action == 2) {
        const UCHAR mode = elem->Msg[kTokenOffset];
        PeerVHTOperatingModeNotificationAction(adapter, elem->WlanIdx, static_cast<UCHAR>(mode & 0x03),
                                               static_cast<UCHAR>((mode >> 4) & 0x07), static_cast<UCHAR>(mode >> 7));
    } else {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "VHT action %u", static_cast<unsigned>(action));
    }
}

VOID PeerVHTOperatingModeNotificationAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR channelWidth, UCHAR rxNss,
                                            UCHAR rxNssType)
{
    PMP_PORT port = MlmeSyncGetPortByWlanIdx(adapter, wlanIndex);
    PMAC_TABLE_ENTRY entry = port != nullptr ? MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex) : nullptr;
    if (entry == nullptr || rxNssType == 1 || channelWidth == 3) {
        return;
    }
    if (adapter->MccActive != 0 &&
        (port->Channel.PrimaryChannel <= 14 || adapter->RegistryBlock.VHTOpModeSMPSEnableInRx == 0)) {
        return;
    }
    if (StreamsRefused(adapter, rxNss)) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "operating mode notification of %u streams refused", static_cast<unsigned>(rxNss + 1));
        return;
    }
    entry->StreamMarker = static_cast<UCHAR>(rxNss == 1 ? 0xFF : 0);
    const UCHAR n = static_cast<UCHAR>(rxNss == 1 ? 2 : 1);
    KOVAsetAntennaPath(adapter, n, n);
    adapter->AntennaPath = static_cast<USHORT>((adapter->AntennaPath & ~0x00F0u) | (((rxNss + 1u) & 0x0F) << 4));
    entry->OpModeWidth = channelWidth;
    if (channelWidth == 0) {
        entry->Bandwidth = static_cast<UCHAR>(entry->Bandwidth & ~0x07);
    }
    (void)QzCmdSetBssInfo(adapter, port, 0);
}

BOOLEAN PeerWNMAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr || elem->MsgLen <= kActionOffset || !Connected(port) || !FromOwnAp(port, elem) ||
        StateMachineGetState(MachineOf(port)) != ACTION_STATE_IDLE) {
        return FALSE;
    }
    switch (elem->Msg[kActionOffset]) {
    case 7:
        PeerWNMBTMRequestPreProc(adapter, port, elem);
        ToOs(adapter, port, elem);
        if (adapter->Action.BtmCandidate == 1) {
            (void)PlatformSetTimer(port, &port->Action.BtmTimer, kBtmTimerMs);
        }
        return TRUE;
    case 27:
        PeerWNMNotificationResponseAction(adapter, elem);
        return FALSE;
    default:
        return FALSE;
    }
}

VOID PeerWNMBTMRequestPreProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (port->PortType != EXTSTA) {
        return;
    }
    PADAPTER_ACTION_BLOCK a = &adapter->Action;
    PlatformZeroMemory(a->BtmChannels, sizeof(a->BtmChannels));
    PlatformZeroMemory(a->BtmBands, sizeof(a->BtmBands));
    const UCHAR* f = elem->Msg;
    const ULONG length = elem->MsgLen;
    if (length <= 31) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "BSS Transition Request Variable Content: %u bytes", static_cast<unsigned>(length - 31));
    const UCHAR mode = f[27];
    if ((mode & 0x01) == 0) {
        return;
    }
    const USHORT disassocTimer = static_cast<USHORT>(f[28] | (f[29] << 8));
    ULONG at = 31;
    if ((mode & 0x08) != 0 && at + 12 <= length && f[at] == 4 && f[at + 1] == 10) {
        at += 12;
    }
    if ((mode & 0x10) != 0) {
        if (at >= length || at + 1 + f[at] > length) {
            return;
        }
        at += 1 + f[at];
    }
    (void)WriteSystemEventLog(adapter, kEventParseCandidates, 0, nullptr, 0);
    ULONG stored = 0;
    while (at + 2 <= length) {
        const UCHAR id = f[at];
        const ULONG elementLength = f[at + 1];
        if (at + 2 + elementLength > length) {
            break;
        }
        const UCHAR* e = f + at + 2;
        if (id == 52 && elementLength >= 13) {
            UCHAR preference = 255;
            for (ULONG s = 13; s + 2 <= elementLength;) {
                const ULONG subLength = e[s + 1];
                if (s + 2 + subLength > elementLength) {
                    break;
                }
                if (e[s] == 3 && subLength >= 1) {
                    preference = e[s + 2];
                    break;
                }
                s += 2 + subLength;
            }
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "BTM candidate preference %u", static_cast<unsigned>(preference));
            if (adapter->ScanTable != nullptr && RtlCompareMemory(e, port->Bssid, MAC_ADDR_LEN) != MAC_ADDR_LEN) {
                for (ULONG i = 0; i < adapter->ScanTable->EntryCount && i < MAX_LEN_OF_BSS_TABLE; ++i) {
                    const BSS_ENTRY& b = adapter->ScanTable->BssEntry[i];
                    if (RtlCompareMemory(b.Bssid, e, MAC_ADDR_LEN) == MAC_ADDR_LEN && b.SsidLen == port->CurrentSsidLen &&
                        RtlCompareMemory(b.Ssid, port->CurrentSsid, b.SsidLen) == b.SsidLen) {
                        a->BtmCandidate = 1;
                    }
                }
            }
            const UCHAR channel = e[11];
            const UCHAR opClass = e[10];
            if (stored < BTM_CANDIDATE_CHANNELS && channel != 0 && ((mode & 0x04) == 0 || disassocTimer >= 10)) {
                UCHAR band = BAND_24G;
                if (ChannelIsInChannelList(adapter, channel, 0) && opClass == 131) {
                    band = BAND_6G;
                } else if (ChannelIsInChannelList(adapter, channel, 1) && channel > 14) {
                    band = BAND_5G;
                }
                a->BtmChannels[stored] = channel;
                a->BtmBands[stored] = band;
                ++stored;
            }
        }
        at += 2 + elementLength;
    }
}

VOID PeerWNMNotificationResponseAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    if (elem->MsgLen < 28) {
        return;
    }
    if (RtlCompareMemory(elem->Msg + 10, adapter->Action.MboDestination, MAC_ADDR_LEN) == MAC_ADDR_LEN &&
        elem->Msg[kTokenOffset] == adapter->Action.MboDialogToken && elem->Msg[27] == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "WNM notification request %u accepted",
                 static_cast<unsigned>(elem->Msg[kTokenOffset]));
    }
}

// ================================================================================================
// driver-originated action frames and action timers
// ================================================================================================
namespace {

constexpr UCHAR kSmpsEnabled = 0x01;
constexpr ULONG kP2pCmdListenStart = 0x2000000F;
constexpr UCHAR kCoexistElement = 72;
constexpr UCHAR kIntolerantElement = 73;
constexpr UCHAR kOperatingClasses[] = {0, 11, 12, 32, 33, 54, 55};
constexpr ULONG kOriRetryLimit = 25;

// The port's entry of its own role; null when it has none.
PMAC_TABLE_ENTRY OwnRoleEntry(PMP_PORT port) { return MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port)); }

void ApplyStreams(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR streams, UCHAR keepFirmware)
{
    entry->StreamMarker = static_cast<UCHAR>(streams == 1 ? 1 : 0);
    adapter->AntennaPath = static_cast<USHORT>((adapter->AntennaPath & ~0x00F0u) | (((streams + 1u) & 0x0F) << 4));
    if (keepFirmware == 0) {
        (void)QzCmdSetBssInfo(adapter, port, 0);
    }
}

// Builds header + body in an MLME buffer and sends it; TRUE when the host interface took it.
BOOLEAN SendActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* destination, const UCHAR* bssid,
                        const UCHAR* body, ULONG bodyLength, UCHAR packetId, BOOLEAN protect)
{
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, MLME_ACTION_MACHINE, &buffer)) || buffer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "action frame not sent: no MLME buffer");
        return FALSE;
    }
    if (MGMT_HEADER_SIZE + bodyLength > MLME_BUFFER_SIZE) {
        MlmeFreeMemory(adapter, buffer);
        return FALSE;
    }
    BuildActionMacHeader(adapter, port, buffer, destination, bssid);
    if (protect) {
        buffer[1] = static_cast<UCHAR>(buffer[1] | 0x40);
    }
    PlatformMoveMemory(buffer + MGMT_HEADER_SIZE, body, bodyLength);
    return static_cast<BOOLEAN>(NT_SUCCESS(SendBuffer(adapter, buffer, MGMT_HEADER_SIZE + bodyLength, packetId)));
}

// Sends an NSS-change frame through the ACTION machine (packet id 108, the machine then waits in Sent).
void SendNssFrame(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* destination, const UCHAR* body, ULONG bodyLength)
{
    const BOOLEAN idle = static_cast<BOOLEAN>(StateMachineGetState(MachineOf(port)) == ACTION_STATE_IDLE);
    const UCHAR pid = idle ? ACTION_PID_TRACKED : 0;
    if (SendActionFrame(adapter, port, destination, port->Bssid, body, bodyLength, pid, FALSE) && idle) {
        SetState(adapter, port, ACTION_STATE_SENT);
    }
}

}  // namespace

VOID ChangeConnectionNSS(PMP_ADAPTER adapter, PMP_PORT port, UCHAR streams, UCHAR keepFirmware)
{
    if (adapter == nullptr || port == nullptr || streams >= 2) {
        return;
    }
    if (port->PortType == WFD_GO) {
        P2pGOHandleDBDCSwitch(adapter, port, keepFirmware);
        return;
    }
    // The flag stays set until the machine leaves Sent: the transmit status and the resend requests of
    // the frame are told apart from those of an OS frame by it.
    port->Action.NssChange = 1;
    port->Action.NssResendCount = 0;
    port->Action.DwellTime = ACTION_NSS_DWELL_MS;
    BOOLEAN sent;
    if (port->WirelessMode >= PHY_11VHT && port->WirelessMode <= PHY_11BE && port->Channel.Band != BAND_24G) {
        sent = SendOperatingModeNotificaitonAction(adapter, port, streams, keepFirmware);
    } else {
        sent = rlmSendSmPowerSaveFrame(adapter, port, streams, keepFirmware);
    }
    if (!sent || StateMachineGetState(MachineOf(port)) != ACTION_STATE_SENT) {
        port->Action.NssChange = 0;
    }
}

BOOLEAN SendOperatingModeNotificaitonAction(PMP_ADAPTER adapter, PMP_PORT port, UCHAR streams, UCHAR keepFirmware)
{
    PMAC_TABLE_ENTRY entry = OwnRoleEntry(port);
    if (entry == nullptr) {
        return FALSE;
    }
    UCHAR message[7];
    PlatformMoveMemory(message, port->Bssid, MAC_ADDR_LEN);
    message[6] = static_cast<UCHAR>((port->Channel.Bandwidth & 0x03) | ((streams & 0x07) << 2));
    if (Connected(port) && MlmeEnqueue(adapter, port, MLME_ACTION_MACHINE, ACTION_MSG_OPMODE_NOTIFY, sizeof(message), message)) {
        (void)MlmeHandler(adapter);
    }
    ApplyStreams(adapter, port, entry, streams, keepFirmware);
    return TRUE;
}

BOOLEAN rlmSendSmPowerSaveFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR streams, UCHAR keepFirmware)
{
    PMAC_TABLE_ENTRY entry = OwnRoleEntry(port);
    if (entry == nullptr) {
        return FALSE;
    }
    const UCHAR control = static_cast<UCHAR>(streams == 0 ? kSmpsEnabled : 0);
    const UCHAR message[4] = {kCategoryHt, 1, control, 0};
    if (Connected(port) && MlmeEnqueue(adapter, port, MLME_ACTION_MACHINE, ACTION_MSG_SMPS, sizeof(message), message)) {
        (void)MlmeHandler(adapter);
    }
    ApplyStreams(adapter, port, entry, streams, keepFirmware);
    return TRUE;
}

VOID MlmeVhtOperatingModeNotificationAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr || elem->MsgLen < 7) {
        return;
    }
    const UCHAR m = elem->Msg[6];
    const UCHAR mode = static_cast<UCHAR>((m & 0x03) | (((m >> 2) & 0x07) << 4) | (((m >> 5) & 0x01) << 7));
    const UCHAR body[3] = {kCategoryVht, 2, mode};
    SendNssFrame(adapter, port, elem->Msg, body, sizeof(body));
}

VOID SendSMPSAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr || elem->MsgLen < 4) {
        return;
    }
    SendNssFrame(adapter, port, port->Bssid, elem->Msg, 4);
}

VOID MlmeMboWNMNotificationRequestAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfElem(adapter, elem);
    if (port == nullptr || elem->MsgLen < MAC_ADDR_LEN || !Connected(port) ||
        RtlCompareMemory(elem->Msg, port->Bssid, MAC_ADDR_LEN) != MAC_ADDR_LEN) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "MBO notification request not for the connected access point");
        return;
    }
    UCHAR body[MLME_BUFFER_SIZE - MGMT_HEADER_SIZE];
    ++adapter->Action.MboDialogToken;
    body[0] = kCategoryWnm;
    body[1] = 26;
    body[2] = adapter->Action.MboDialogToken;
    body[3] = 221;
    ULONG reportLength = 0;
    MboMakeNonPrefChnlReport(adapter, port, 1, nullptr, &reportLength, body + 4);
    if (reportLength > sizeof(body) - 4) {
        reportLength = 0;
    }
    if (SendActionFrame(adapter, port, elem->Msg, elem->Msg, body, 4 + reportLength, 0, PmfInUse(adapter, port))) {
        PlatformMoveMemory(adapter->Action.MboDestination, elem->Msg, MAC_ADDR_LEN);
    }
}

VOID TriEventTableInit(PMP_PORT port)
{
    if (port != nullptr) {
        TRIGGER_EVENT_TABLE& table = port->Action.TriggerEvents;
        for (TRIGGER_EVENT_ENTRY& e : table.Events) {
            e.Valid = 0;
        }
        table.EventCount = 0;
        table.IntolerantDelay = 0;
    }
}

VOID TriEventSend2040Coexist(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, UCHAR withReport)
{
    if (port == nullptr) {
        return;
    }
    const ULONG c = port->Action.CoexistControl;
    UCHAR info = 0;
    if ((c & 0x02) != 0) {
        info = 2;
    } else if ((c & 0x04) != 0) {
        info = 4;
    } else if ((c & 0x18) != 0) {
        info = 0;
    } else if (port->Action.TriggerEvents.EventCount > 0) {
        info = 4;
    }
    port->Action.CoexistInfo = info;
    Send2040CoexistAction(adapter, port, wlanIndex, withReport);
}

VOID Send2040CoexistAction(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, UCHAR withReport)
{
    PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (peer == nullptr) {
        return;
    }
    UCHAR body[MLME_BUFFER_SIZE - MGMT_HEADER_SIZE];
    body[0] = kCategoryPublic;
    body[1] = 0;
    body[2] = kCoexistElement;
    body[3] = 1;
    body[4] = port->Action.CoexistInfo;
    ULONG report = withReport ? Build2040IntolerantChReport(adapter, body + 5) : 0;
    if (report == 0 && port->Action.CoexistInfo == 0) {
        return;  // nothing to say
    }
    (void)SendActionFrame(adapter, port, peer->Addr, port->Bssid, body, 5 + report, 0, FALSE);
}

ULONG Build2040IntolerantChReport(PMP_ADAPTER adapter, PUCHAR buffer)
{
    PMP_PORT port = adapter->PortList[0];
    if (port == nullptr || buffer == nullptr) {
        return 0;
    }
    if ((port->Action.CoexistControl & 0x40) != 0) {
        static constexpr UCHAR kFixed[4] = {kIntolerantElement, 2, 0, 3};
        PlatformMoveMemory(buffer, kFixed, sizeof(kFixed));
        return sizeof(kFixed);
    }
    ULONG total = 0;
    for (UCHAR opClass : kOperatingClasses) {
        UCHAR channels[TRIGGER_EVENT_RECORDS];
        ULONG n = 0;
        for (ULONG i = 0; i < TRIGGER_EVENT_RECORDS; ++i) {
            TRIGGER_EVENT_ENTRY& r = port->Action.TriggerEvents.Events[i];
            if (r.Valid != 1 || r.OperatingClass != opClass) {
                continue;
            }
            const UCHAR channel = static_cast<UCHAR>(r.Channel);
            BOOLEAN seen = FALSE;
            for (ULONG k = 0; k < n; ++k) {
                seen = static_cast<BOOLEAN>(seen || channels[k] == channel);
            }
            if (!seen) {
                channels[n++] = channel;
            }
            r.Valid = 0;
        }
        if (n != 0) {
            buffer[total] = kIntolerantElement;
            buffer[total + 1] = static_cast<UCHAR>(1 + n);
            buffer[total + 2] = opClass;
            PlatformMoveMemory(buffer + total + 3, channels, n);
            total += 3 + n;
        }
    }
    return total;
}

VOID UpdateBssScanParm(PMP_ADAPTER adapter, const UCHAR* body, ULONG length)
{
    PMP_PORT port = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port == nullptr || body == nullptr || length < 14) {
        return;
    }
    struct Field {
        ULONG offset, low, high, replacement;
    };
    static constexpr Field kFields[7] = {{0, 5, 1000, 20},     {2, 10, 1000, 10},  {4, 10, 900, 900},
                                         {6, 200, 10000, 200}, {8, 20, 10000, 20}, {10, 5, 100, 5},
                                         {12, 0, 100, 25}};
    ULONG value[7];
    for (ULONG i = 0; i < 7; ++i) {
        const Field& f = kFields[i];
        ULONG v = i == 5 ? body[f.offset] : static_cast<ULONG>(body[f.offset] | (body[f.offset + 1] << 8));
        if (v < f.low || v > f.high) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "OBSS scan parameter %u: %u replaced by %u", static_cast<unsigned>(i),
                     static_cast<unsigned>(v), static_cast<unsigned>(f.replacement));
            v = f.replacement;
        }
        value[i] = v;
    }
    OBSS_SCAN_PARAMS& p = port->ObssScanParams;
    p.PassiveDwell = value[0];
    p.ActiveDwell = value[1];
    p.TriggerScanInterval = value[2];
    p.PassiveTotalPerChannel = value[3];
    p.ActiveTotalPerChannel = value[4];
    p.DelayFactor = static_cast<UCHAR>(value[5]);
    p.ActivityThreshold = value[6];
    p.Delay = value[2] * value[5];
}

VOID ORIBATimerTimeout(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr || (port->Cfg.BaCapability & BA_CFG_REFUSE_MASK) == BA_CFG_REFUSE) {
        return;
    }
    const ULONG limit = 16u * static_cast<ULONG>(port->MacTab.Count);
    ULONG walked = 0;
    for (ULONG i = 1; i < BA_TABLE_SLOTS && walked < limit; ++i, ++walked) {
        BA_TABLE& r = port->Ba.Originator[i];
        PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedWlanIdx(port, r.WlanIndex);
        if (peer == nullptr) {
            break;
        }
        const UCHAR tid = static_cast<UCHAR>(r.Tid % MAC_ENTRY_TID_COUNT);
        auto post = [&]() {
            UCHAR request[14] = {};
            request[0] = peer->WlanIdx;
            PlatformMoveMemory(request + 1, peer->Addr, MAC_ADDR_LEN);
            request[7] = static_cast<UCHAR>(peer->AmpduLimit);
            request[8] = static_cast<UCHAR>(peer->AmpduLimit >> 8);
            request[11] = tid;
            request[12] = r.RetryCount;
            (void)MlmeEnqueue(adapter, port, MLME_ACTION_MACHINE, ACTION_MSG_ADDBA, sizeof(request), request);
        };
        switch (r.State) {
        case BA_ORI_REQUEST_SENT:
            if (r.RetryCount++ < kOriRetryLimit) {
                ++r.RetryCount;
                post();
            } else {
                if ((port->Cfg.BaCapability & BA_CFG_REESTABLISH) != 0) {
                    r.State = BA_ORI_SETUP_WANTED;
                    peer->RefusedTids = static_cast<USHORT>(peer->RefusedTids | (1u << tid));
                } else {
                    r.State = BA_ORI_FREE;
                }
                r.RetryCount = 1;
            }
            break;
        case BA_ORI_SETUP_STARTED: {
            const ULONG cipher = port->Mlme.UnicastCipher;
            if (cipher == DOT11_CIPHER_NONE || cipher == DOT11_CIPHER_CCMP || (peer->HtFlags & 0x2000) != 0) {
                r.State = BA_ORI_REQUEST_SENT;
                r.RetryCount = 1;
                post();
            } else if (cipher == DOT11_CIPHER_WEP40 || cipher == DOT11_CIPHER_WEP104 || cipher == DOT11_CIPHER_WEP) {
                if (peer->FirstData == 1 || peer->BaOriginatorBitmap2 != 0) {
                    peer->HtFlags |= 0x8;
                    r.State = BA_ORI_FREE;
                }
            } else if (cipher == DOT11_CIPHER_TKIP) {
                r.State = BA_ORI_FREE;
            }
            break;
        }
        case BA_ORI_ESTABLISHED:
            if (port->Ba.OriTimeout == 1 && (port->OpMode >= 2 || port->OpMode == 0) && (peer->HtFlags & 0x2000) == 0) {
                (void)XmitOriBaTimeoutStub();
            } else if (port->Ba.OriTimeout == 0) {
                peer->BaOriginatorBitmap2 = 0;
            }
            break;
        default:
            break;
        }
    }
    if (port->Ba.OriTimeout == 1) {
        port->Ba.OriTimeout = 0;
    }
}

ULONG XmitOriBaTimeoutStub()
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "originator block-ack time-out");
    return 0;
}

VOID BTMActionFrameTimeoutCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    port->Adapter->Action.BtmCandidate = 0;
}

VOID MboAssocDelayTimeoutCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    PlatformZeroMemory(port->Action.MboRetryDelay, sizeof(port->Action.MboRetryDelay));
    // Trying the next connect candidate belongs to the connect procedure, which is not built yet.
    (void)NOT_BUILT_YET();
}

VOID ChannelSwitchTimeoutCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    (void)QZEnqueueInternalCmd(port->Adapter, port, kP2pCmdListenStart, nullptr, 0);
}
