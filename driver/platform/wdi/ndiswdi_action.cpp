// The OS's own action frames (radio measurement, neighbour report, BSS transition and others): the
// frame is built around the body the OS gives and sent by the port's action-frame machine, at once on
// the current channel or once the firmware has granted the requested channel.
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2pms.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"

namespace {

constexpr ULONG kRequestDwellOffset = 80;  // a request's dwell time above 80 ms loses 80 ms
constexpr ULONG kPrivilegeMarginMs = 200;
constexpr UCHAR kCategoryRadioMeasurement = 5;
constexpr UCHAR kCategoryWnm = 10;
constexpr UCHAR kRmNeighborRequest = 4;
constexpr UCHAR kRmBeaconRequest = 0;
constexpr UCHAR kRmBeaconReport = 1;
constexpr UCHAR kWnmBtmResponse = 8;
constexpr ULONG kBtmVariableOffset = 29;
constexpr ULONG kBeaconReportMinimum = 32;
constexpr UCHAR kFcProtected = 0x40;

// At most 16 bytes of a frame in one trace line.
void Dump(PCSTR title, const UCHAR* bytes, ULONG length)
{
    ULONG n = length < 16 ? length : 16;
    UCHAR b[16] = {};
    PlatformMoveMemory(b, bytes, n);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_WDI,
             "%s (%u bytes) %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X", title,
             static_cast<unsigned>(length), b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11],
             b[12], b[13], b[14], b[15]);
}

BOOLEAN IsGroup(const UCHAR* address) { return static_cast<BOOLEAN>((address[0] & 0x01) != 0); }

NTSTATUS SendActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SEND_ACTION_FRAME_PARAMETERS* p, UCHAR request)
{
    if (adapter == nullptr || port == nullptr || p == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const ULONG bodyLength = p->FrameBody.ElementCount;
    const UCHAR* body = p->FrameBody.pElements;
    // 1. One frame at a time per port.
    if (StateMachineGetState(&port->Mlme.ActionMachine) != ACTION_STATE_IDLE || port->PendingActionFrame != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "action frame of port %u: the previous one is still on its way",
                 static_cast<unsigned>(port->PortNumber));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // 2. A connected station talks only to peers it knows.
    if (!IsGroup(p->DestinationAddress) && port->PortNumber == 0 &&
        (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0 &&
        MlmeSyncMacTabMatchedBssid(port, p->DestinationAddress) == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "action frame for a peer the station does not know");
        return STATUS_UNSUCCESSFUL;
    }
    // 3. The frame buffer.
    PUCHAR frame = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, MLME_ACTION_MACHINE, &frame)) || frame == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "action frame: no frame buffer");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (adapter->MccActive != 0) {
        (void)MultiChannelWaitForChannelGrant(adapter, port);
    }
    // 4. The times the action-frame machine waits.
    const ULONG dwell = p->DwellTime;
    port->Action.DwellTime = (request != 0 && dwell > kRequestDwellOffset) ? dwell - kRequestDwellOffset : dwell;
    port->Action.ResponseWait = p->SecondTime;
    // 5. Header and body.
    BuildActionMacHeader(adapter, port, frame, p->DestinationAddress, p->DestinationAddress);
    PlatformMoveMemory(frame + MGMT_HEADER_SIZE, body, bodyLength);
    const ULONG length = MGMT_HEADER_SIZE + bodyLength;
    // 6. Radio measurement and WNM frames are protected while management frames are.
    if ((body[0] == kCategoryRadioMeasurement || body[0] == kCategoryWnm) && MlmeStaMfpInUse(adapter, port, TRUE)) {
        frame[1] = static_cast<UCHAR>(frame[1] | kFcProtected);
    }
    // 7.
    NdisWdiTraceActionFrameRawData(adapter, port, request, frame, length);
    // 8. On the current channel, or on the connected station port: now.
    const ULONG band = NdisWdiGetBandFromWdiBandId(p->BandId);
    if ((p->ChannelNumber == adapter->CurrentChannel && band == adapter->CurrentBand) ||
        (port->PortNumber == 0 && (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0)) {
        const BOOLEAN queued = MlmeEnqueue(adapter, port, MLME_ACTION_MACHINE, ACTION_MSG_SEND, length, frame);
        MlmeFreeMemory(adapter, frame);
        return queued ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
    }
    // 9. Otherwise the frame waits for the firmware's channel grant.
    port->PendingActionBody = frame;
    port->PendingActionLength = length;
    port->PendingActionFrame = 1;
    const NTSTATUS status =
        MlmeTxActionFrameChPrivilege(adapter, port, static_cast<UCHAR>(p->ChannelNumber), static_cast<UCHAR>(band),
                                     p->DwellTime + p->SecondTime + kPrivilegeMarginMs, 1);
    if (!NT_SUCCESS(status) && port->PendingActionFrame != 0) {
        port->PendingActionFrame = 0;
        port->PendingActionBody = nullptr;
        port->PendingActionLength = 0;
        MlmeFreeMemory(adapter, frame);
    }
    return status;
}

}  // namespace

NTSTATUS NdisWdiSendRequestActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SEND_ACTION_FRAME_PARAMETERS* p)
{
    return SendActionFrame(adapter, port, p, 1);
}

NTSTATUS NdisWdiSendResponseActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SEND_ACTION_FRAME_PARAMETERS* p)
{
    return SendActionFrame(adapter, port, p, 0);
}

void NdisWdiTraceActionFrameRawData(PMP_ADAPTER adapter, PMP_PORT port, UCHAR request, const UCHAR* frame,
                                    ULONG length)
{
    if (adapter == nullptr || port == nullptr || frame == nullptr || length < MGMT_HEADER_SIZE + 2) {
        return;
    }
    const UCHAR category = frame[MGMT_HEADER_SIZE];
    const UCHAR action = frame[MGMT_HEADER_SIZE + 1];
    if (request != 0) {
        if (category == kCategoryRadioMeasurement && action == kRmNeighborRequest) {
            Dump("NBR Request:", frame, length);
        } else if (category == kCategoryRadioMeasurement && action == kRmBeaconRequest) {
            Dump("BCN Request:", frame, length);
        }
        return;
    }
    if (category == kCategoryWnm && action == kWnmBtmResponse) {
        UCHAR cancelled = 0;
        PlatformCancelTimer(&port->Action.BtmTimer, &cancelled);
        adapter->Action.BssTransitionPending = 0;
        const ULONG statusAt = MGMT_HEADER_SIZE + 3;
        if (length > statusAt && frame[statusAt] != 0 &&
            PlatformEqualMemory(adapter->Action.BssTransitionTarget, frame + 4, MAC_ADDR_LEN) &&
            !PlatformEqualMemory(adapter->Action.BssTransitionTarget, "\0\0\0\0\0\0", MAC_ADDR_LEN)) {
            PlatformZeroMemory(adapter->Action.BssTransitionTarget, sizeof(adapter->Action.BssTransitionTarget));
        }
        if (length >= kBtmVariableOffset + 1) {
            Dump("BSS Transition Response Variable Content", frame + kBtmVariableOffset, length - kBtmVariableOffset);
        }
    } else if (category == kCategoryRadioMeasurement && action == kRmBeaconReport && length >= kBeaconReportMinimum) {
        Dump("BCN Report:", frame, length);
    }
}
