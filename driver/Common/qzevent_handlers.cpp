// Firmware event handlers.
#include "Common/qzevent_handlers.h"

#include <cstring>

#include "Common/fwdump.h"
#include "Common/cnm.h"
#include "Common/common.h"
#include "Common/he/twt.h"
#include "Common/logevent.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2ppacket.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "Common/qzevent_services.h"
#include "hal/common/hal_chip.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonioctl.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/wdi/wdievent.h"
#include "Common/mlme/mlmesync_bss.h"


namespace {

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
ULONG GetU32(const UCHAR* p) { return GetU16(p) | (static_cast<ULONG>(GetU16(p + 2)) << 16); }

// The payload of an event view and its length (header length less 12).
PUCHAR ViewPayload(PUCHAR eventView, PULONG length)
{
    *length = FwEventViewPayloadLength(eventView);
    return eventView + FW_EVENT_VIEW_PAYLOAD_OFFSET;
}

// The payload when it holds `needed` bytes; none (traced under the handler's name) otherwise.
PUCHAR CheckedPayload(PUCHAR eventView, ULONG needed, ULONG flag, PCSTR name, PULONG length)
{
    PUCHAR payload = ViewPayload(eventView, length);
    if (*length < needed) {
        DBGPRINT(TRACE_LEVEL_WARNING, flag, "%s: %u bytes dropped", name, static_cast<unsigned>(*length));
        return nullptr;
    }
    return payload;
}

ULONG ViewHeaderLength(const UCHAR* eventView) { return GetU16(eventView + FW_EVENT_VIEW_HEADER_OFFSET); }

// ---- the extended event's sub-ids -----------------------------------------------------------------------------
constexpr UCHAR kExtEfuseRead = 0x01;
constexpr UCHAR kExtPhyIcsRaw = 0x04;
constexpr UCHAR kExtBfProfile = 0x35;
constexpr UCHAR kExtEfuseFreeBlock = 0x4D;
constexpr UCHAR kExtRadioStatus = 0x9A;
constexpr UCHAR kExtBtCtrl = 0x9C;
constexpr UCHAR kExtPhyStatus = 0xA8;
constexpr ULONG kEfuseAnswerOffset = 8;
constexpr ULONG kBtValues = 6;

// The hardware radio switch: the firmware reports the switch position; the radio follows it only
// when the radio is not already there and, to switch on, only when the switch turned it off.
void RadioStatus(PMP_ADAPTER adapter, UCHAR position, PCSTR* what)
{
    PWDI_CNTL_BLOCK cntl = &adapter->Wdi.CntlBlock;
    PREGISTRY_RADIO_STATE radio = &adapter->RadioState;
    KIRQL irql;
    KeAcquireSpinLock(&cntl->PendingLock, &irql);
    if (cntl->TaskPending == 1) {
        KeReleaseSpinLock(&cntl->PendingLock, irql);
        *what = "radio status dropped: a WDI task is pending";
        return;
    }
    int action = 0;  // 1 off, 2 on
    if (position == radio->FirmwareRadioState && position == radio->RadioOn) {
        *what = "radio already as switched";
    } else if (position == 0 && radio->RadioOn != 0) {
        adapter->RadioOffBySwitch = 1;
        radio->FirmwareRadioState = position;
        cntl->TaskPending = 1;
        action = 1;
        *what = "radio off by the switch";
    } else if (position == 1 && radio->RadioOn == 0 && adapter->RadioOffBySwitch != 0) {
        adapter->RadioOffBySwitch = 0;
        radio->FirmwareRadioState = position;
        cntl->TaskPending = 1;
        action = 2;
        *what = "radio on by the switch";
    } else {
        radio->FirmwareRadioState = position;
        *what = "switch position recorded";
    }
    KeReleaseSpinLock(&cntl->PendingLock, irql);
    if (action == 1) {
        (void)MlmeRadioOffManually(adapter, adapter->PortList[0]);
    } else if (action == 2) {
        (void)MlmeRadioOnManually(adapter, adapter->PortList[0]);
    }
}

void BtControl(PMP_ADAPTER adapter, const UCHAR* payload)
{
    for (ULONG i = 0; i < kBtValues; ++i) {
        __atomic_store_n(&adapter->UniEvent.BtState[i], GetU32(payload + 4 * i), __ATOMIC_RELEASE);
    }
    if (adapter->UniEvent.BtState[kBtValues - 1] == 1) {
        if (__atomic_exchange_n(&adapter->UniEvent.BtReady, static_cast<UCHAR>(1), __ATOMIC_ACQ_REL) == 0) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "Bluetooth control acknowledged");
        }
        return;
    }
    // Not acknowledged: switch the Bluetooth control on and off again.
    (void)QzCmdBtCtrl(adapter, 1);
    NdisCommonGenericDelay(10000);
    (void)QzCmdBtCtrl(adapter, 0);
}

// Firmware wake-reason codes and the NDIS wake-reason types they are stored as.
constexpr ULONG kWakePacket = 1;
constexpr ULONG kWakeMediaDisconnect = 2;
constexpr ULONG kWakeNloDiscovery = 0x1000;
constexpr ULONG kWakeApAssociationLost = 0x1001;
constexpr ULONG kWakeGtkHandshakeError = 0x1002;
constexpr ULONG kWakeReasonLogId = 0x400207D4;

// ---- station statistics of a chip without its own operation ---------------------------------------------------
constexpr ULONG kStatHeaderLength = STA_STAT_ORI_PAYLOAD_SIZE + FW_EVENT_HEADER_LENGTH;
constexpr ULONG kStatBandArea = 0xA8;
struct StatField {
    USHORT Offset;
    USHORT Length;
};
// The payload fields the record keeps, at their payload offsets; the per-band area is summed apart.
constexpr StatField kStatFields[] = {
    {0x12, 2},  {0x54, 7},  {0x2C, 4}, {0x30, 4}, {0x14, 4}, {0x18, 2},  {0x20, 4},  {0x24, 4},  {0x5C, 4},
    {0x60, 4},  {0x64, 1},  {0x7D, 5}, {0x82, 2}, {0x84, 2}, {0x88, 4},  {0x8C, 4},  {0x90, 24}, {kStatBandArea, 104},
    {0x110, 19}, {0x34, 32},
};
static_assert(kStatBandArea + 2 * STA_STAT_ORI_BAND_BLOCK_SIZE <= STA_STAT_ORI_PAYLOAD_SIZE, "band area inside the payload");
static_assert(0x110 + 19 <= STA_STAT_ORI_PAYLOAD_SIZE, "rate-adaptation bytes inside the payload");

ULONG Ratio(ULONG64 part, ULONG64 other)
{
    return part + other == 0 ? 0 : static_cast<ULONG>(part * 1000 / (part + other));
}

}  // namespace

namespace {

constexpr ULONG kStationSubtype = 0;
constexpr CHAR kLostRssi = -100;
constexpr ULONG kInternalLinkLost = 0x10000034;
constexpr ULONG kRoamReasonBeaconLoss = 11;
constexpr LONG64 kBeaconTimeoutSlack = 20000000;  // 2 s in 100 ns
constexpr ULONG kLinkQualityRecords = 4;
constexpr ULONG kLinkQualityRecordSize = 8;
constexpr ULONG kHlkBeaconLossRoam = 0x20;

// The port's RSSI as the link figures and the sample averages hold it.
void SetPortRssi(PMP_PORT port, CHAR rssi)
{
    for (ULONG i = 0; i < 3; ++i) {
        port->Ind.ChainRssi[i] = rssi;
        port->RssiLastSample[i] = rssi;
        port->RssiAvg[i] = rssi;
        port->RssiSum[i] = static_cast<SHORT>(rssi * 8);
    }
    port->Ind.SignalStrength = rssi;
}

}  // namespace

VOID ProcessLinkQualityEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    if (adapter == nullptr || adapter->Signature != MP_ADAPTER_SIGNATURE ||
        AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED)) {
        return;
    }
    ULONG length = 0;
    PUCHAR payload = CheckedPayload(eventView, kLinkQualityRecords * kLinkQualityRecordSize, DBG_CMD, __func__, &length);
    if (payload == nullptr) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "ProcessLinkQualityEvent: %u records", static_cast<unsigned>(kLinkQualityRecords));
    for (ULONG bss = 0; bss < kLinkQualityRecords; ++bss) {
        const UCHAR* record = payload + bss * kLinkQualityRecordSize;
        PMP_PORT port = record[5] == 1 ? GetPortByBssIndex(adapter, static_cast<UCHAR>(bss)) : nullptr;
        if (port == nullptr) {
            continue;
        }
        const UCHAR oldQuality = port->Ind.LastLinkQuality;
        const CHAR oldRssi = port->Ind.ReportedRssi;
        CHAR rssi = static_cast<CHAR>(record[0]);
        if (port->OpMode == kStationSubtype && port->Ind.BeaconLost) {
            port->LinkRate = 0;
            rssi = kLostRssi;
            SetPortRssi(port, rssi);
        } else {
            port->LinkRate = GetU16(record + 2);
            port->Ind.SignalStrength = rssi;
            for (ULONG i = 0; i < 3; ++i) {
                port->Ind.ChainRssi[i] = rssi;
            }
            UpdateRssiSampleAvg(port, rssi, rssi, rssi);
        }
        const UCHAR qualityChanged = PlatformIndicateLinkQuality(adapter, port->PortNumber);
        (void)PlatformIndicateNewLinkSpeed(adapter, port->PortNumber, 0, 0);
        if (qualityChanged) {
            const UCHAR quality = port->Ind.LastLinkQuality;
            port->LinkQualityDrop =
                (quality >= 50 || (oldQuality < 50 && rssi + 15 >= oldRssi)) ? 0 : 1;
        }
    }
}

namespace {

constexpr UCHAR kPidTwtFirst = 0x50;
constexpr UCHAR kPidTwtLast = 0x52;
constexpr UCHAR kPidP2pPublic = 0x64;
constexpr UCHAR kPidMlmeTracked = 0x6C;
constexpr ULONG kP2pCmdActionAcked = 0x20000007;
constexpr UCHAR kSeqClassAction = 2;
constexpr ULONG kTxDoneMinimum = 9;

}  // namespace

VOID ProcessTxDoneEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR p = CheckedPayload(eventView, kTxDoneMinimum, DBG_CMD, "ProcessTxDoneEvent", &length);
    if (p == nullptr) {
        return;
    }
    const UCHAR pid = p[0];
    const UCHAR status = p[1];
    const UCHAR wlanIndex = p[4];
    const UCHAR flags = p[8];
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "ProcessTxDoneEvent: packet id 0x%02X status %u WLAN %u flags 0x%02X",
             static_cast<unsigned>(pid), static_cast<unsigned>(status), static_cast<unsigned>(wlanIndex),
             static_cast<unsigned>(flags));
    PMP_PORT port = MlmeSyncGetPortByWlanIdx(adapter, wlanIndex);
    PMP_PORT port0 = adapter->PortList[0];
    if ((flags & 0x01) != 0 && port0 != nullptr &&
        StateMachineGetState(&port0->Mlme.ActionMachine) == ACTION_STATE_SENT &&
        pid == GetNextSeqNum(adapter, kSeqClassAction, FALSE)) {
        // The acknowledgement of the action frame port 0 waits for.
        if (status == 0) {
            (void)MlmeEnqueue(adapter, port0, MLME_ACTION_STATE_MACHINE, ACTION_MSG_DELIVERED, 0, nullptr);
        }
        return;
    }
    if (pid >= kPidTwtFirst && pid <= kPidTwtLast) {
        (void)twtTxDoneHandler(adapter, wlanIndex, status);
        return;
    }
    if (pid == kPidP2pPublic) {
        PMP_PORT p2pPort = port != nullptr ? port : (adapter->P2pBlock != nullptr ? adapter->P2pBlock->DevicePort : nullptr);
        if (p2pPort == nullptr || MlmeP2pGoDiscoAckDone(adapter, p2pPort, status)) {
            return;
        }
        if (status != 0) {
            (void)MlmeP2pMsPublicActionFrameSend(adapter, p2pPort, p2pPort->P2pActSignal);
            return;
        }
        (void)QZEnqueueInternalCmd(adapter, p2pPort, kP2pCmdActionAcked, nullptr, 0);
        PlatformCancelTimer(&p2pPort->Action.ChannelSwitchTimer, nullptr);
        (void)PlatformSetTimer(p2pPort, &p2pPort->Action.ChannelSwitchTimer,
                               p2pPort->Action.ResponseWait + (adapter->RegistryBlock.Enable_U4TVBOX_FIX != 0 ? 300u : 0u));
        return;
    }
    if (pid == kPidMlmeTracked) {
        if (port == nullptr) {
            return;
        }
        if (status != 0 && port->Action.NssChange != 0 && port->Action.NssResendCount < ACTION_NSS_RESEND_MAX) {
            ++port->Action.NssResendCount;
            (void)MlmeEnqueue(adapter, port, MLME_ACTION_STATE_MACHINE, ACTION_MSG_RESEND, 0, nullptr);
        } else {
            (void)MlmeEnqueue(adapter, port, MLME_ACTION_STATE_MACHINE, ACTION_MSG_DELIVERED, 0, nullptr);
        }
    }
}

VOID ProcessBssAbsencePresenceEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    constexpr ULONG kP2pWaitsForAbsence = 0x10;  // Wi-Fi Direct control flag: a group owner waits for absence
    constexpr UCHAR kReportsBeforeBeacon = 1;      // pending-frame reports let pass before the wait ends
    ULONG length = 0;
    PUCHAR payload = adapter != nullptr ? CheckedPayload(eventView, 3, DBG_CMD, __func__, &length) : nullptr;
    if (payload == nullptr) {
        return;
    }
    const UCHAR bssIndex = payload[0];
    const UCHAR absent = payload[1];
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "%s: BSS %u %s", __func__, static_cast<unsigned>(bssIndex),
             absent != 0 ? "absent" : "present");
    PBSS_INDEX_SLOT slot = GetActiveBssIndexSlot(adapter, bssIndex);
    if (slot == nullptr || slot->Port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "absence report of BSS %u: no port", static_cast<unsigned>(bssIndex));
        return;
    }
    PMP_PORT port = slot->Port;
    PP2P_CTRL_BLOCK p2p = adapter->P2pBlock;
    port->BssAbsentSecond = payload[2];
    // The absence state is the port's channel-grant record: its waiters are the action-frame senders
    // (presence) and the scan abort or a group owner (absence).
    MULTI_CHANNEL_GRANT& grant = port->Grant;
    KIRQL oldIrql;
    KeAcquireSpinLock(&grant.Lock, &oldIrql);
    grant.BssAbsent = absent;
    if (absent == 0) {
        XmitKickPortTx(adapter, port);
    }
    if (p2p != nullptr && (p2p->Flags & kP2pWaitsForAbsence) != 0 && port->PortType == WFD_GO && port->P2pGoActive != 0 &&
        grant.AbsentWaiter == 1 && absent != 0) {
        grant.AbsentWaiter = 0;
        KeSetEvent(&grant.AbsentEvent, 0, FALSE);
    }
    if (adapter->MccActive != 0) {
        MCCCurrentTxRingModify(adapter, MCCFetchTxRingPauseSettings(port));
        if (grant.PresentWaiter == 1 && absent == 0) {
            grant.PresentWaiter = 0;
            KeSetEvent(&grant.PresentEvent, 0, FALSE);
        }
    }
    KeReleaseSpinLock(&grant.Lock, oldIrql);

    if (port->EcsaInProgress == 0 || bssIndex != port->BssIndex || absent != 0) {
        return;
    }
    if (port->PortType == WFD_GO) {
        if (KeGetCurrentIrql() <= DISPATCH_LEVEL) {
            AdapterSetFlag(adapter, ADAPTER_FLAG_TX_HELD, __func__);
        } else {
            AdapterSetFlagUnlocked(adapter, ADAPTER_FLAG_TX_HELD);
        }
        if (MlmeDumpTXPendingPktbyWcid(adapter)) {
            // Peers still drain frames: the beacon is updated, the wait ends on the third such report.
            if (port->EcsaPendingReports > kReportsBeforeBeacon) {
                port->EcsaInProgress = 0;
            } else {
                ++port->EcsaPendingReports;
            }
        } else {
            port->EcsaInProgress = 0;
        }
        (void)QZEnqueueInternalCmd(adapter, port, P2P_CMD_GO_UPDATE_BEACON_NOA, nullptr, 0);
    } else if (port->PortType == WFD_CLIENT) {
        PlatformCancelTimer(&port->P2pEcsaGcToTimer, nullptr);
        port->EcsaInProgress = 0;
        (void)QZEnqueueInternalCmd(adapter, port, P2P_CMD_ECSA_GC, nullptr, 0);
    }
}

VOID ProcessBssBeaconTimeout(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR payload = adapter != nullptr ? CheckedPayload(eventView, 2, DBG_CMD, __func__, &length) : nullptr;
    if (payload == nullptr) {
        return;
    }
    const UCHAR bssIndex = payload[0];
    PMP_PORT port = bssIndex <= 4 ? GetPortByBssIndex(adapter, bssIndex) : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: no port of BSS %u", __func__, static_cast<unsigned>(bssIndex));
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "%s: BSS %u, reason %u", __func__, static_cast<unsigned>(bssIndex),
             static_cast<unsigned>(payload[1]));
    if (adapter->RegistryBlock.TpTestMode == 1) {
        return;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    const LONG64 grace = static_cast<LONG64>(adapter->WorkingCfg.BeaconLostTime) * 10000000;
    const LONG64 lastBeacon = static_cast<LONG64>(port->Mlme.Req.SavedBssEntry.LastBeaconTime);
    if (lastBeacon + grace > now.QuadPart + kBeaconTimeoutSlack) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "beacon time-out within the grace time: ignored");
        return;
    }
    adapter->Wake.LinkLossCause = 1;
    if (port->OpMode == kStationSubtype && (adapter->RegistryBlock.Hlk_feature_optional & kHlkBeaconLossRoam) != 0) {
        if (!port->Ind.BeaconLost) {
            port->RoamingNeededCount = 0;
            SetPortRssi(port, kLostRssi);
            port->Ind.BeaconLost = 1;
            (void)MlmeUpdatePreferSsidTab(adapter, TRUE, FALSE);
            const UCHAR ssidLength = port->CurrentSsidLen <= 32 ? port->CurrentSsidLen : 32;
            if (adapter->ScanTable != nullptr) {
                BssTableDeleteEntryEx(adapter->ScanTable, port->Bssid, port->Channel.PrimaryChannel, port->CurrentSsid,
                                      ssidLength);
            }
            BssRepositTableDeleteEntryEx(adapter, port->Bssid, port->Channel.PrimaryChannel, port->CurrentSsid,
                                         ssidLength);
            adapter->BeaconTimeoutMark = 1;
            adapter->RoamAfterBeaconLoss = 1;
            WdiEventIndicateRoamingNeeded(adapter, port, kRoamReasonBeaconLoss);
            ++port->RoamingNeededCount;
        }
        (void)PlatformIndicateLinkQuality(adapter, port->PortNumber);
        return;
    }
    adapter->BeaconTimeoutMark = 1;
    (void)MlmeUpdatePreferSsidTab(adapter, TRUE, FALSE);
    const ULONG portNumber = port->PortNumber;
    (void)QZEnqueueInternalCmd(adapter, port, kInternalLinkLost, &portNumber, sizeof(portNumber));
}

VOID ProcessCsaDoneEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    UNREFERENCED_PARAMETER(eventView);
    PMP_PORT go = adapter != nullptr ? MlmeSyncGetPortByType(adapter, WFD_GO) : nullptr;
    if (go == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "%s: no group owner", __func__);
        return;
    }
    if (go->P2pCsaDone == 1) {
        (void)GOUpdateBeaconFrame(adapter, go, 0);
        return;
    }
    go->P2pCsaDone = 1;
    UCHAR cancelled = 0;
    if (go->P2pEcsaChSwitchTimer.Initialized) {
        PlatformCancelTimer(&go->P2pEcsaChSwitchTimer, &cancelled);
    }
    go->P2pEcsaRetryCount = 0;
    if (go->P2pEcsaChSwitchTimeoutTimer.Initialized) {
        PlatformCancelTimer(&go->P2pEcsaChSwitchTimeoutTimer, &cancelled);
        (void)PlatformSetTimer(go, &go->P2pEcsaChSwitchTimeoutTimer, 300);
    }
    (void)QZEnqueueInternalCmd(adapter, go, 0x20000017, nullptr, 0);
}

VOID ProcessScanDoneEvent(PMP_ADAPTER adapter, PUCHAR payload, ULONG payloadLength, UCHAR detailedTrace)
{
    if (adapter == nullptr || payload == nullptr || payloadLength < 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessScanDoneEvent: %u bytes dropped", static_cast<unsigned>(payloadLength));
        return;
    }
    const ULONG scanning = adapter->PendingScanPort;
    PMP_PORT port = scanning < MP_MAX_PORTS ? adapter->PortList[scanning] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessScanDoneEvent: no scanning port %u", static_cast<unsigned>(scanning));
        return;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    port->Mlme.Scan.LastScanDoneTime = static_cast<ULONG64>(now.QuadPart);
    adapter->ScanDoneSinceRequest = 1;
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    const UCHAR sequence = payload[0];
    if (detailedTrace) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "scan done %u (request %u), %u bytes", static_cast<unsigned>(sequence),
                 static_cast<unsigned>(adapter->Mlme.ScanRequest.ScanSeqNum), static_cast<unsigned>(payloadLength));
    }
    const bool enhancement = adapter->RegistryBlock.RebootScanEnhancement != 0;
    if (enhancement && scan.RebootScanState == REBOOT_SCAN_SENT) {
        // The one-channel reboot scan is done: the full request goes out again.
        scan.RebootScanState = REBOOT_SCAN_DONE;
        (void)MlmeUpdateRepositTabFromScanTab(adapter, TRUE, FALSE);
        STATE_MACHINE& sync = port->Mlme.SyncMachine;
        if (sync.CurrState == SYNC_JOIN || port->Mlme.CntlMachine.CurrState == 10) {
            sync.CurrState = SYNC_SCAN;
        }
        (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_SCAN_REQ, 0, nullptr);
        return;
    }
    const ULONG state = port->Mlme.SyncMachine.CurrState;
    if ((state == SYNC_JOIN || state == SYNC_SCAN) && sequence == adapter->Mlme.ScanRequest.ScanSeqNum) {
        const bool p2p = port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT;
        if (enhancement && !p2p) {
            if (scan.RebootRetryCount < adapter->RegistryBlock.RebootScanRetryThreshold) {
                ++scan.RebootRetryCount;
                scan.RebootScanState = REBOOT_SCAN_RETRY;
            } else {
                scan.RebootScanState = REBOOT_SCAN_OFF;
            }
        }
        ScanTblApNumOfCh(adapter);
        (void)MlmeSyncScanDone(adapter, port, scan.ScanFindsNoAp == 1 ? static_cast<ULONG>(STATUS_UNSUCCESSFUL) : 0);
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessScanDoneEvent: stale scan done %u (request %u, sync state %u)",
             static_cast<unsigned>(sequence), static_cast<unsigned>(adapter->Mlme.ScanRequest.ScanSeqNum),
             static_cast<unsigned>(state));
    (void)MlmeUpdateRepositTabFromScanTab(adapter, TRUE, FALSE);
}


// ---- firmware status, statistics and wake events ----------------------------------------------------------------
VOID ProcessLayer0ExtMagicEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR payload = ViewPayload(eventView, &length);
    const UCHAR subId = eventView[FW_EVENT_VIEW_EXT_ID_OFFSET];
    // The payload bytes each sub-id reads; a shorter event is traced and dropped.
    ULONG needed = 0;
    switch (subId) {
    case 0x2C: needed = 8; break;
    case 0x3C: needed = 12; break;
    case kExtEfuseRead: needed = kEfuseAnswerOffset + sizeof(adapter->UniEvent.EfuseData); break;
    case kExtBfProfile: needed = 1; break;
    case kExtEfuseFreeBlock: needed = 3; break;
    case kExtRadioStatus: needed = 1; break;
    case kExtBtCtrl: needed = 4 * kBtValues; break;
    case kExtPhyStatus:
        needed = 1;
        if (length >= 1 && payload[0] == 1) {
            needed = PHY_STATUS_RECORD_SMALL;
        } else if (length >= 1 && payload[0] == 4) {
            needed = PHY_STATUS_RECORD_LARGE;
        }
        break;
    default: break;
    }
    if (length < needed) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessLayer0ExtMagicEvent: sub-id 0x%02X of %u bytes dropped (needs %u)",
                 static_cast<unsigned>(subId), static_cast<unsigned>(length), static_cast<unsigned>(needed));
        return;
    }
    PCSTR what = "";
    switch (subId) {
    case 0x00:
        what = "traced";
        break;
    case 0x2C:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "extended event 0x2C: 0x%08X 0x%08X", static_cast<unsigned>(GetU32(payload)),
                 static_cast<unsigned>(GetU32(payload + 4)));
        what = "traced";
        break;
    case 0x3C:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "extended event 0x3C: 0x%04X 0x%08X 0x%08X",
                 static_cast<unsigned>(GetU16(payload)), static_cast<unsigned>(GetU32(payload + 4)),
                 static_cast<unsigned>(GetU32(payload + 8)));
        what = "traced";
        break;
    case kExtEfuseRead:
        PlatformMoveMemory(adapter->UniEvent.EfuseData, payload + kEfuseAnswerOffset, sizeof(adapter->UniEvent.EfuseData));
        what = "EFUSE answer kept";
        break;
    case kExtPhyIcsRaw:
        what = "PHY raw data";
        break;
    case kExtBfProfile:
        what = payload[0] == BF_PROFILE_SUBTYPE_TAG    ? "beamforming profile tag"
               : payload[0] == BF_PROFILE_SUBTYPE_DATA ? "beamforming profile data"
                                                       : "beamforming profile answer of another kind ignored";
        break;
    case kExtEfuseFreeBlock:
        adapter->UniEvent.EfuseStatus[0] = payload[0];
        adapter->UniEvent.EfuseStatus[1] = payload[2];
        what = "EFUSE free blocks kept";
        break;
    case kExtRadioStatus:
        RadioStatus(adapter, payload[0], &what);
        break;
    case kExtBtCtrl:
        what = "Bluetooth control";
        break;
    case kExtPhyStatus:
        if (payload[0] == 1) {
            PlatformMoveMemory(adapter->Stats.PhyStatusSmall, payload, PHY_STATUS_RECORD_SMALL);
            what = "PHY status record of 20 bytes kept";
        } else if (payload[0] == 4) {
            PlatformMoveMemory(adapter->Stats.PhyStatusLarge, payload, PHY_STATUS_RECORD_LARGE);
            what = "PHY status record of 32 bytes kept";
        } else {
            what = "PHY status record of another kind ignored";
        }
        break;
    default:
        what = "not handled";
        break;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessLayer0ExtMagicEvent: sub-id 0x%02X, %u bytes: %s",
             static_cast<unsigned>(subId), static_cast<unsigned>(length), what);
    // The sub-handlers that trace or send on their own run after the event's trace.
    if (subId == kExtPhyIcsRaw) {
        nicExtEventPhyIcsRawData(adapter, payload, length);
    } else if (subId == kExtBfProfile && payload[0] == BF_PROFILE_SUBTYPE_TAG) {
        ProcessBFProfileTag(adapter, eventView);
    } else if (subId == kExtBfProfile && payload[0] == BF_PROFILE_SUBTYPE_DATA) {
        ProcessBFProfileData(adapter, eventView);
    } else if (subId == kExtBtCtrl) {
        BtControl(adapter, payload);
    }
}

VOID ProcessSleepyInfoEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    UNREFERENCED_PARAMETER(eventView);
    if (IsAnyPortLowLatency(adapter) || __atomic_load_n(&adapter->MccActive, __ATOMIC_ACQUIRE) != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "ProcessSleepyInfoEvent: ignored (low latency or multi-channel)");
        return;
    }
    if (adapter->LowPower.LowPowerMode == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "ProcessSleepyInfoEvent: the chip is not under low-power ownership");
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "ProcessSleepyInfoEvent: the chip goes back to the firmware");
    (void)NdisCommonHifPmSetDriverOwn(adapter);
    __atomic_store_n(&adapter->FwAskedToSleep, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    (void)NdisCommonHifPmSetFwOwn(adapter, 0);
}

VOID ProcessHifControlEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR payload = CheckedPayload(eventView, 4, DBG_POWER, "ProcessHifControlEvent", &length);
    if (payload == nullptr) {
        return;
    }
    const ULONG state = payload[3] != 0 ? 1 : 4;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "ProcessHifControlEvent: firmware acknowledged %s",
             state == 1 ? "suspend" : "resume");
    HalUpdateHifSuspendState(adapter->HifContext, state);
}

VOID ProcesPcieEnteredLinkStateCounterEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR payload = CheckedPayload(eventView, 4, DBG_HIF, "ProcesPcieEnteredLinkStateCounterEvent", &length);
    if (payload == nullptr) {
        return;
    }
    const ULONG code = GetU32(payload);
    ULONG kind = 9;
    if ((code & 0x11110000u) == 0x11110000u) {
        kind = 1;
        __atomic_add_fetch(&adapter->Stats.PcieLinkStateCount[0], 1u, __ATOMIC_RELAXED);
    } else if ((code & 0x22220000u) == 0x22220000u) {
        kind = 2;
        __atomic_add_fetch(&adapter->Stats.PcieLinkStateCount[1], 1u, __ATOMIC_RELAXED);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HIF, "ProcesPcieEnteredLinkStateCounterEvent: kind %u, 0x%04X",
             static_cast<unsigned>(kind), static_cast<unsigned>(code & 0xFFFF));
}

VOID ProcessInitEventCmdResult(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(buffer);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessInitEventCmdResult: %u bytes", static_cast<unsigned>(receivedLength));
}

VOID ProcessFwLogEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    UNREFERENCED_PARAMETER(adapter);
    constexpr ULONG kTextOverhead = 56;  // header (12) and the fields before the text (12), and 32 more
    constexpr ULONG kTextMax = 1200;
    constexpr ULONG kTextOffset = 12;
    const USHORT n = static_cast<USHORT>(ViewHeaderLength(eventView) - kTextOverhead);
    if (n > kTextMax) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "ProcessFwLogEvent: %u bytes of log dropped", static_cast<unsigned>(n));
        return;
    }
    ULONG length = 0;
    PUCHAR payload = ViewPayload(eventView, &length);
    const UCHAR kind = payload[2];
    if (kind == 3) {
        // The text lies inside the payload: 12 + n = header length - 44 <= payload length.
        char text[kTextMax + 1];
        PlatformMoveMemory(text, payload + kTextOffset, n);
        const void* nul = n != 0 ? std::memchr(text, 0, n) : nullptr;
        if (nul != nullptr) {
            const ULONG at = static_cast<ULONG>(static_cast<const char*>(nul) - text);
            if (at > 0 && text[at - 1] == '\n') {
                text[at - 1] = '\0';
            }
        } else if (n != 0) {
            text[n - 1] = '\0';
        } else {
            text[0] = '\0';
        }
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ProcessFwLogEvent: %s", text);
    } else if (kind == 1) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ProcessFwLogEvent: index log 0x%04X %u 0x%08X",
                 static_cast<unsigned>(GetU16(payload)), static_cast<unsigned>(payload[3]),
                 static_cast<unsigned>(GetU32(payload + 4)));
    } else {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ProcessFwLogEvent: log of kind %u", static_cast<unsigned>(kind));
    }
}

VOID ProcessWoWWakeReasonEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR payload = ViewPayload(eventView, &length);
    if (length < 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_POWER, "ProcessWoWWakeReasonEvent: no wake reason");
        return;
    }
    const UCHAR code = payload[0];
    (void)WriteSystemEventLog(adapter, kWakeReasonLogId, 0, &code, 1);
    ULONG reason = adapter->Wake.WakeReason;
    BOOLEAN pattern = FALSE;
    switch (code) {
    case 0: reason = kWakePacket; break;
    case 1:
    case 15:
    case 16:
        reason = kWakePacket;
        pattern = TRUE;
        break;
    case 3: reason = kWakeGtkHandshakeError; break;
    case 8: reason = kWakeMediaDisconnect; break;
    case 13: reason = kWakeApAssociationLost; break;
    case 21: reason = kWakeNloDiscovery; break;
    default: break;
    }
    adapter->Wake.WakeReason = reason;
    if (pattern) {
        const ULONG index = adapter->Wake.WakePatternIndex;
        if (index < WOW_PATTERN_SLOTS && adapter->Wake.WowPatterns[index].InUse) {
            adapter->Wake.WakePatternIndex = adapter->Wake.WowPatterns[index].OsPatternId;
        }
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "ProcessWoWWakeReasonEvent: code %u, wake reason 0x%X, pattern %u",
             static_cast<unsigned>(code), static_cast<unsigned>(adapter->Wake.WakeReason),
             static_cast<unsigned>(adapter->Wake.WakePatternIndex));
}

VOID ProcessWowEvent(PMP_ADAPTER adapter, UCHAR eventId)
{
    switch (eventId) {
    case 0x1B: adapter->Wake.WakeReason = kWakeMediaDisconnect; break;
    case 0x71: adapter->Wake.WakeReason = kWakeApAssociationLost; break;
    case 0x72: adapter->Wake.WakeReason = kWakeGtkHandshakeError; break;
    default: break;
    }
    adapter->Wake.WakePatternIndex = 0;
    adapter->Wake.WakePacketWord = 0;
    adapter->Wake.PendingWakeIndication = 1;
    adapter->Wake.LinkLossCause = 1;
    const ULONG portIndex = 0;
    const NTSTATUS status =
        QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_LINK_LOSS, &portIndex, sizeof(portIndex));
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "ProcessWowEvent: event 0x%02X, wake reason 0x%X, link loss posted: 0x%08X",
             static_cast<unsigned>(eventId), static_cast<unsigned>(adapter->Wake.WakeReason), static_cast<unsigned>(status));
}

VOID ProcessStaStatisticsEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    const BOOLEAN own = static_cast<BOOLEAN>(adapter->HalOps.ProcessStaStatistics != nullptr);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "ProcessStaStatisticsEvent: %s", own ? "the chip's operation" : "common record");
    if (own) {
        // The chip's operation takes the event header: its length and the payload behind it.
        adapter->HalOps.ProcessStaStatistics(adapter, eventView + FW_EVENT_VIEW_HEADER_OFFSET);
    } else {
        ProcessStaStatisticsOri(adapter, eventView);
    }
}

VOID ProcessStaStatisticsOri(PMP_ADAPTER adapter, PUCHAR eventView)
{
    const ULONG headerLength = ViewHeaderLength(eventView);
    if (headerLength != kStatHeaderLength) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessStaStatisticsOri: %u payload bytes dropped (expected %u)",
                 static_cast<unsigned>(headerLength > FW_EVENT_HEADER_LENGTH ? headerLength - FW_EVENT_HEADER_LENGTH : 0),
                 static_cast<unsigned>(STA_STAT_ORI_PAYLOAD_SIZE));
        return;
    }
    ULONG length = 0;
    const UCHAR* p = ViewPayload(eventView, &length);
    STA_STAT_ORI_RECORD* record = &adapter->Stats.StaStatOri;
    const BOOLEAN valid = static_cast<BOOLEAN>((GetU32(p + 4) & 1) != 0);
    if (valid) {
        for (const StatField& field : kStatFields) {
            PlatformMoveMemory(record->Fields + field.Offset, p + field.Offset, field.Length);
        }
        const ULONG divisor = GetU32(p + 0x1C);
        record->AirTime = divisor == 0 ? 0 : static_cast<ULONG>(static_cast<ULONG64>(GetU32(p + 0x28)) * 32 / 1000 / divisor);
    }
    for (ULONG b = 0; b < 2; ++b) {
        STA_STAT_BAND* band = &record->Band[b];
        const UCHAR* block = p + kStatBandArea + b * STA_STAT_ORI_BAND_BLOCK_SIZE;
        if (valid) {
            for (ULONG c = 0; c < 5; ++c) {
                band->Running32[c] += GetU32(block + 4 * c);
            }
            for (ULONG c = 0; c < 8; ++c) {
                band->Running16[c] += GetU16(block + 20 + 2 * c);
            }
        }
        for (ULONG c = 0; c < 5; ++c) {
            band->Totals[c] += band->Running32[c];
        }
        for (ULONG c = 0; c < 3; ++c) {
            band->Last[c] = band->Running32[c];
        }
        band->TotalRatio = Ratio(band->Totals[1], band->Totals[0]);
        band->EventRatio = Ratio(GetU32(block + 4), GetU32(block));
        if (adapter->Stats.StaInfoResetRequested != 0) {
            RtlZeroMemory(band->Totals, sizeof(band->Totals));
            RtlZeroMemory(band->Last, sizeof(band->Last));
            band->TotalRatio = 0;
            band->EventRatio = 0;
        }
    }
    if (adapter->Stats.StaInfoResetRequested != 0) {
        RtlZeroMemory(record->Fields + 0x2C, 8);  // transmit total and failure counts
        RtlZeroMemory(record->Fields + 0x88, 8);
        record->Fields[0x12] = 0;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "ProcessStaStatisticsOri: %s, transmitted %u, failed %u",
             valid ? "counters taken" : "no new counters", static_cast<unsigned>(GetU32(record->Fields + 0x2C)),
             static_cast<unsigned>(GetU32(record->Fields + 0x30)));
}

VOID ProcessWlanInfo(PMP_ADAPTER adapter, PUCHAR eventView)
{
    const ULONG headerLength = ViewHeaderLength(eventView);
    if (headerLength != WLAN_INFO_RECORD_SIZE + FW_EVENT_HEADER_LENGTH) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessWlanInfo: header length %u dropped (expected %u)",
                 static_cast<unsigned>(headerLength), static_cast<unsigned>(WLAN_INFO_RECORD_SIZE + FW_EVENT_HEADER_LENGTH));
        return;
    }
    PlatformMoveMemory(adapter->Stats.WlanInfo, eventView + FW_EVENT_VIEW_PAYLOAD_OFFSET, WLAN_INFO_RECORD_SIZE);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "ProcessWlanInfo: record kept");
}

// ---- legacy firmware events of the core: block-ack agreements, keys, age-out, channel time -------------------
namespace {

constexpr ULONG kOlderChipTxBaRegister = 0x82061000;
constexpr ULONG kOlderChipTxBaControl = 0x8206100C;
constexpr ULONG kOlderChipRxBaRegister = 0x820F7000;
constexpr USHORT kBaQuirkTimeout = 5000;
constexpr ULONG kP2pDiscoveryChannelGranted = 0x20000021;

// The station entry of the event's station-record index and its port; none (traced under the
// handler's name) when either is missing.
PMAC_TABLE_ENTRY EntryOfStaRec(PMP_ADAPTER adapter, UCHAR staRecIdx, PMP_PORT* port)
{
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedStaRecIdx(adapter, staRecIdx);
    *port = entry != nullptr ? entry->OwnerPort : nullptr;
    return *port != nullptr ? entry : nullptr;
}

void RxAddBA(PMP_ADAPTER adapter, PUCHAR eventView, BOOLEAN extended, PCSTR name)
{
    ULONG length = 0;
    PUCHAR p = CheckedPayload(eventView, extended ? 10 : 8, DBG_CMD, name, &length);
    if (p == nullptr) {
        return;
    }
    PMP_PORT port = nullptr;
    PMAC_TABLE_ENTRY entry = EntryOfStaRec(adapter, p[0], &port);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s: no station for record %u", name, static_cast<unsigned>(p[0]));
        return;
    }
    const USHORT parameters = GetU16(p + 2);
    const USHORT timeout = GetU16(p + 4);
    const USHORT startSequence = static_cast<USHORT>(GetU16(p + 6) >> 4);
    ULONG bufferSize = (parameters >> 6) & 0x3FF;
    if (extended) {
        bufferSize += 1024u * GetU16(p + 8);
    }
    const UCHAR tid = static_cast<UCHAR>((parameters >> 2) & 0xF);
    const BOOLEAN immediate = static_cast<BOOLEAN>((parameters & 0x2) != 0);
    const ULONG limit = port->BaWindowLimit & 0xFF;
    const ULONG window = bufferSize < limit ? bufferSize : limit;
    if (window == 0 && timeout == kBaQuirkTimeout && immediate) {
        adapter->MacBaQuirk[entry->WlanIdx % MAC_TABLE_POOL_SIZE] = 1;
        port->BaQuirk = 1;
    }
    const USHORT reorderStart = startSequence == 0 ? 4095 : static_cast<USHORT>(startSequence - 1);
    adapter->MacReorderStart[entry->WlanIdx % MAC_TABLE_POOL_SIZE] = reorderStart;
    if (QzCmdChipGroup(adapter) == FW_CHIP_GROUP_OLDER) {
        ULONG value = 0;
        if (NT_SUCCESS(HifIoRead32(adapter, kOlderChipRxBaRegister, &value))) {
            (void)HifIoWrite32(adapter, kOlderChipRxBaRegister, value | (1u << 16));
        }
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "%s: WLAN %u TID %u buffer %u window %u reorder start %u", name,
             static_cast<unsigned>(entry->WlanIdx), static_cast<unsigned>(tid), static_cast<unsigned>(bufferSize),
             static_cast<unsigned>(window), static_cast<unsigned>(reorderStart));
    BATableInsertEntry(adapter, port, entry->WlanIdx, timeout, reorderStart, tid, static_cast<USHORT>(bufferSize), 0, 1);
}

}  // namespace

VOID ProcessNLOEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    UNREFERENCED_PARAMETER(adapter);
    ULONG length = 0;
    PUCHAR p = ViewPayload(eventView, &length);
    if (length < 2) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessNLOEvent: %u bytes dropped", static_cast<unsigned>(length));
    } else if (p[1] != 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessNLOEvent: status %u", static_cast<unsigned>(p[1]));
    } else {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "ProcessNLOEvent: normal");
    }
}

VOID ProcessTxAddBA(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR p = CheckedPayload(eventView, 4, DBG_CMD, "ProcessTxAddBA", &length);
    if (p == nullptr) {
        return;
    }
    PMP_PORT port = nullptr;
    PMAC_TABLE_ENTRY found = EntryOfStaRec(adapter, p[0], &port);
    PMAC_TABLE_ENTRY entry = found != nullptr ? MlmeSyncMacTabMatchedWlanIdx(port, found->WlanIdx) : nullptr;
    const UCHAR tid = p[1];
    if (entry == nullptr || tid >= MAC_ENTRY_TIDS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessTxAddBA: record %u TID %u has no agreement to mark",
                 static_cast<unsigned>(p[0]), static_cast<unsigned>(tid));
        return;
    }
    entry->TxAggregation[tid] = 1;
    if (HalDeviceGeneration(adapter->DeviceId) == CHIP_GENERATION_OLDER && p[3] != 0) {
        (void)HifIoWrite32(adapter, kOlderChipTxBaRegister, 1);
        ULONG value = 0;
        if (NT_SUCCESS(HifIoRead32(adapter, kOlderChipTxBaControl, &value))) {
            (void)HifIoWrite32(adapter, kOlderChipTxBaControl, value | 0x80);
        }
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessTxAddBA: WLAN %u TID %u agreed", static_cast<unsigned>(entry->WlanIdx),
             static_cast<unsigned>(tid));
}

VOID ProcessRxAddBA(PMP_ADAPTER adapter, PUCHAR eventView)
{
    if (QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "ProcessRxAddBA: extended form");
        ProcessRxAddBAExtended(adapter, eventView);
        return;
    }
    RxAddBA(adapter, eventView, FALSE, "ProcessRxAddBA");
}

VOID ProcessRxAddBAExtended(PMP_ADAPTER adapter, PUCHAR eventView) { RxAddBA(adapter, eventView, TRUE, __func__); }

VOID ProcessRxDelBA(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR p = CheckedPayload(eventView, 2, DBG_CMD, "ProcessRxDelBA", &length);
    if (p == nullptr) {
        return;
    }
    PMP_PORT port = nullptr;
    PMAC_TABLE_ENTRY entry = EntryOfStaRec(adapter, p[0], &port);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessRxDelBA: no station for record %u", static_cast<unsigned>(p[0]));
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessRxDelBA: WLAN %u TID %u", static_cast<unsigned>(entry->WlanIdx),
             static_cast<unsigned>(p[1]));
    BATableTearRECEntry(adapter, port, p[1], entry->WlanIdx, 0);
}

VOID ProcessAPClientAgeout(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR p = ViewPayload(eventView, &length);
    PMP_PORT port = nullptr;
    PMAC_TABLE_ENTRY entry = length >= 1 ? EntryOfStaRec(adapter, p[0], &port) : nullptr;
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessAPClientAgeout: no station (%u bytes)", static_cast<unsigned>(length));
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_AP, "ProcessAPClientAgeout: WLAN %u ages out", static_cast<unsigned>(entry->WlanIdx));
    ApAgeoutPeerRequest(adapter, entry);
}

VOID ProcessAddKeyDone(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR p = ViewPayload(eventView, &length);
    PMP_PORT port = length >= 8 ? GetPortByBssIndex(adapter, p[0]) : nullptr;
    PMAC_TABLE_ENTRY entry = port != nullptr ? MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port)) : nullptr;
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessAddKeyDone: no port or station of BSS %u (%u bytes)",
                 static_cast<unsigned>(length >= 1 ? p[0] : 0xFF), static_cast<unsigned>(length));
        return;
    }
    adapter->MacKeyInstalled[entry->WlanIdx % MAC_TABLE_POOL_SIZE] = 1;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessAddKeyDone: BSS %u WLAN %u, %02X %02X %02X %02X %02X %02X",
             static_cast<unsigned>(p[0]), static_cast<unsigned>(entry->WlanIdx), p[2], p[3], p[4], p[5], p[6], p[7]);
}

VOID ProcessChPrivilegeEvent(PMP_ADAPTER adapter, PUCHAR eventView)
{
    ULONG length = 0;
    PUCHAR p = CheckedPayload(eventView, 11, DBG_CMD, "ProcessChPrivilegeEvent", &length);
    if (p == nullptr) {
        return;
    }
    const UCHAR bssIndex = p[0];
    PMP_PORT port = GetPortByBssIndex(adapter, bssIndex);
    PBSS_INDEX_SLOT slot = GetActiveBssIndexSlot(adapter, bssIndex);
    if (port == nullptr || slot == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "ProcessChPrivilegeEvent: no port or slot for BSS %u",
                 static_cast<unsigned>(bssIndex));
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_CH_PRIVILEGE)) {
        AdapterClearFlag(adapter, ADAPTER_FLAG_CH_PRIVILEGE, __func__);
        if (adapter->DiscoveryPrivilege != 0) {
            (void)QZEnqueueInternalCmd(adapter, port, kP2pDiscoveryChannelGranted, nullptr, 0);
        }
    }
    const UCHAR channel = p[3];
    adapter->CurrentChannelRecord[0] = channel;
    adapter->CurrentChannelRecord[1] = 1;
    adapter->CurrentChannelRecord[2] = channel;
    adapter->CurrentChannelRecord[3] = bssIndex;
    adapter->CurrentChannelRecord[4] = p[5];
    adapter->ChGrantGranted = 1;
    adapter->ChGrantBssIndex = bssIndex;
    adapter->ChGrantToken = p[1];
    adapter->BssSlotGrantValue[bssIndex % BSS_INDEX_SLOT_COUNT] = p[10];
    // The grant is held until it is released (the next request or a release gives it back first).
    QzCmdChPrivilegeRecordGrant(adapter, bssIndex, channel, p[5]);
    const BOOLEAN pending = static_cast<BOOLEAN>(port->PendingActionFrame != 0);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "ProcessChPrivilegeEvent: BSS %u token %u channel %u band %u%s",
             static_cast<unsigned>(bssIndex), static_cast<unsigned>(p[1]), static_cast<unsigned>(channel),
             static_cast<unsigned>(p[5]), pending ? ", pending action frame posted" : "");
    if (pending) {
        port->PendingActionFrame = 0;
        PVOID body = port->PendingActionBody;
        const ULONG bodyLength = port->PendingActionLength;
        port->PendingActionBody = nullptr;
        port->PendingActionLength = 0;
        (void)MlmeEnqueue(adapter, port, MLME_ACTION_STATE_MACHINE, ACTION_MSG_SEND, bodyLength, body);
        if (body != nullptr) {
            MlmeFreeMemory(adapter, body);
        }
    }
}
