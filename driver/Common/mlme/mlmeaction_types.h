// The ACTION machine's records: its states and messages, and the port's and the adapter's shares of
// action exchanges (timers, NSS change, 20/40 coexistence, BSS transition, MBO).
#pragma once

#include "kshim/nt_types.h"
#include "Common/mlme/mlme_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

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
#define ACTION_MSG_DELIVERED MT2_ACTION_FRAME_DONE      // delivered or answered
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
#define MBO_RETRY_DELAY_SIZE 16

// The 20/40 BSS coexistence trigger events of a port: the non-HT networks the scans heard, and the
// channel-width transition delay once a network announced 40 MHz intolerance.
#pragma pack(push, 1)
typedef struct _TRIGGER_EVENT_ENTRY {
    UCHAR Valid;
    UCHAR Bssid[6];
    UCHAR OperatingClass;
    USHORT Channel;
} TRIGGER_EVENT_ENTRY, *PTRIGGER_EVENT_ENTRY;
static_assert(sizeof(TRIGGER_EVENT_ENTRY) == 10, "a trigger event is 10 bytes");
typedef struct _TRIGGER_EVENT_TABLE {
    UCHAR EventCount;  // entries written, 0..32
    TRIGGER_EVENT_ENTRY Events[TRIGGER_EVENT_RECORDS];
    ULONG IntolerantDelay;
} TRIGGER_EVENT_TABLE, *PTRIGGER_EVENT_TABLE;
static_assert(sizeof(TRIGGER_EVENT_TABLE) == 1 + 32 * 10 + 4, "the trigger-event table is packed");
#pragma pack(pop)

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
    TRIGGER_EVENT_TABLE TriggerEvents;  // the non-HT networks heard on the scans (TriEventTableSetEntry)
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
