// The ACTION machine of a port (MLME machine 8): action frames sent and received through their own
// entry/exit machine with the states Idle, Sent and WaitResponse; the per-category handlers of received
// action frames; the action frames the driver originates and the timers of action exchanges.
#pragma once

#include "Common/mlme/mlme.h"

typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// States.
#define ACTION_STATE_IDLE 0
#define ACTION_STATE_WAIT_RESPONSE 2

// Messages of machine 8. Received action frames carry their category (bit 7 cleared) when it is at
// most 21, 13 above. The driver's own messages have numbers above every category, so that a received
// frame is never taken for one of them.
#define ACTION_MSG_SPECTRUM 0
#define ACTION_MSG_PUBLIC 4
#define ACTION_MSG_RM 5
#define ACTION_MSG_HT 7
#define ACTION_MSG_ADDBA 8
#define ACTION_MSG_DELBA 9
#define ACTION_MSG_WNM 10
#define ACTION_MSG_WNM_UNPROTECTED 11
#define ACTION_MSG_OTHER_CATEGORY 13
#define ACTION_MSG_VHT 21
#define ACTION_MSG_DRIVER 0x100u
#define ACTION_MSG_P2P_SIGNAL (ACTION_MSG_DRIVER + 14)   // a Wi-Fi Direct public action signal
#define ACTION_MSG_SEND (ACTION_MSG_DRIVER + 15)         // transmit an OS frame
#define ACTION_MSG_TIMEOUT (ACTION_MSG_DRIVER + 16)
#define ACTION_MSG_DELIVERED (ACTION_MSG_DRIVER + 17)
#define ACTION_MSG_RESEND (ACTION_MSG_DRIVER + 18)
#define ACTION_MSG_FOREIGN_PUBLIC MT2_ACTION_OTHER_DIALOG  // a public action frame of another exchange
#define ACTION_MSG_OPMODE_NOTIFY (ACTION_MSG_DRIVER + 22)
#define ACTION_MSG_MBO_NOTIFY (ACTION_MSG_DRIVER + 23)
#define ACTION_MSG_SMPS (ACTION_MSG_DRIVER + 24)

// Packet ids of action frames whose transmit status the machine follows.
#define ACTION_PID_TRACKED 108
#define ACTION_NSS_RESEND_MAX 5
#define ACTION_NSS_DWELL_MS 500

#define BTM_CANDIDATE_CHANNELS 4
#define TRIGGER_EVENT_RECORDS 32
#define TRIGGER_EVENT_RECORD_SIZE 10
#define MBO_RETRY_DELAY_SIZE 16

// The port's share: exchange times, timers, the NSS-change state, the 20/40 coexistence state and the
// MBO retry-delay record.
typedef struct _PORT_ACTION_BLOCK {
    ULONG DwellTime;          // ms the Sent state waits for the transmit status
    ULONG ResponseWait;       // ms the WaitResponse state waits for the peer's response
    PLATFORM_TIMER ActionTimer;         // "ActionFrameTimeoutCallback"
    PLATFORM_TIMER ChannelSwitchTimer;  // "ChannelSwitchTimeoutCallback"
    PLATFORM_TIMER BtmTimer;            // "BTMActionFrameTimeoutCallback"
    PLATFORM_TIMER MboAssocDelayTimer;  // "MboAssocDelayTimeoutCallback"
    UCHAR NssChange;          // an NSS-change frame is in flight
    UCHAR NssResendCount;
    UCHAR CoexistInfo;        // the 20/40 BSS Coexistence element's information byte
    ULONG CoexistControl;     // bit 1 40 MHz intolerant, 2 20 MHz width request, 3-4 OBSS exemption, 6 fixed test report
    ULONG TriggerEventCount;
    UCHAR TriggerEvents[TRIGGER_EVENT_RECORDS][TRIGGER_EVENT_RECORD_SIZE];
    UCHAR TriggerEventRecords;
    UCHAR MboRetryDelay[MBO_RETRY_DELAY_SIZE];
    UCHAR Ready;              // timers set up
} PORT_ACTION_BLOCK, *PPORT_ACTION_BLOCK;

// The adapter's share: the BSS-transition candidates, the MBO notification's dialog token and
// destination.
typedef struct _ADAPTER_ACTION_BLOCK {
    UCHAR BtmCandidate;       // a BSS transition request named a candidate of the current network
    UCHAR BtmChannels[BTM_CANDIDATE_CHANNELS];
    UCHAR BtmBands[BTM_CANDIDATE_CHANNELS];
    UCHAR MboDialogToken;
    UCHAR MboDestination[6];
    UCHAR BssTransitionPending;
    UCHAR BssTransitionTarget[16];  // the held transition target: BSSID first
} ADAPTER_ACTION_BLOCK, *PADAPTER_ACTION_BLOCK;

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
// The dialog token of the last action frame the OS sent on the port.
UCHAR NdisWdiGetCurrentActionDialogToken(PMP_PORT port);

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
