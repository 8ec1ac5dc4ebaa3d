// The ACTION machine of a port (MLME machine 8): action frames sent and received through their own
// entry/exit machine with the states Idle, Sent and WaitResponse; the per-category handlers of received
// action frames; the action frames the driver originates and the timers of action exchanges.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeaction_types.h"

typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// Binds the port's ACTION machine to its three rows (Idle, Sent, WaitResponse) in state Idle and sets
// up the port's action timers (on the first call).
VOID ActionStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PENTRY_EXIT_STATE_MACHINE machine);
// Stops and deletes the port's action timers (port teardown).
VOID ActionStateMachineFree(PMP_ADAPTER adapter, PMP_PORT port);
// The rows' routines.
ENTRY_EXIT_HANDLER ActionIdleHandler;
ENTRY_EXIT_ROUTINE ActionSentEntry;
ENTRY_EXIT_HANDLER ActionSentHandler;
ENTRY_EXIT_ROUTINE ActionSentExit;
ENTRY_EXIT_ROUTINE ActionWaitResponseEntry;
ENTRY_EXIT_HANDLER ActionWaitResponseHandler;
ENTRY_EXIT_ROUTINE ActionWaitResponseExit;
// The 24-byte header of an action frame: frame control 0x00D0, address 1 the destination, address 2
// the port's own address, address 3 the BSSID, duration and sequence 0.
VOID BuildActionMacHeader(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR header, const UCHAR* destination,
                          const UCHAR* bssid);
PLATFORM_TIMER_CALLBACK ActionFrameTimeoutCallback;

// ---- received action frames (per category) ---------------------------------------------------------------
VOID PeerSpectrumAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
VOID PeerPublicAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
VOID PeerFILSDiscAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
BOOLEAN PeerRMAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
VOID PeerHTAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
BOOLEAN PeerWNMAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
VOID PeerVHTAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
// The peer's spatial streams (selector 1: two, 0: one); 0xC0000001 for every refusal.
NTSTATUS PeerNssUpdateAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR streams);
VOID PeerVHTOperatingModeNotificationAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR channelWidth, UCHAR rxNss,
                                            UCHAR rxNssType);
VOID PeerWNMBTMRequestPreProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID PeerWNMNotificationResponseAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
// Parses (and traces) a FILS discovery frame; nothing is kept.
VOID scanParseFILSDisInfor(const UCHAR* frame, ULONG length, PVOID record);

// ---- driver-originated action frames and action timers ---------------------------------------------------
VOID ChangeConnectionNSS(PMP_ADAPTER adapter, PMP_PORT port, UCHAR streams, UCHAR keepFirmware);
BOOLEAN SendOperatingModeNotificaitonAction(PMP_ADAPTER adapter, PMP_PORT port, UCHAR streams, UCHAR keepFirmware);
BOOLEAN rlmSendSmPowerSaveFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR streams, UCHAR keepFirmware);
VOID MlmeVhtOperatingModeNotificationAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
VOID SendSMPSAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
VOID MlmeMboWNMNotificationRequestAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem);
VOID TriEventTableInit(PMP_PORT port);
VOID TriEventSend2040Coexist(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, UCHAR withReport);
VOID Send2040CoexistAction(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, UCHAR withReport);
ULONG Build2040IntolerantChReport(PMP_ADAPTER adapter, PUCHAR buffer);
VOID UpdateBssScanParm(PMP_ADAPTER adapter, const UCHAR* body, ULONG length);
VOID ORIBATimerTimeout(PMP_ADAPTER adapter, PMP_PORT port);
// The originator block-ack time-out hook: traces and returns 0.
ULONG XmitOriBaTimeoutStub();
PLATFORM_TIMER_CALLBACK BTMActionFrameTimeoutCallback;
PLATFORM_TIMER_CALLBACK MboAssocDelayTimeoutCallback;
PLATFORM_TIMER_CALLBACK ChannelSwitchTimeoutCallback;
