// The adapter's records of wake-on-WLAN: the wake patterns and protocol offloads the OS installed,
// the network-list offload set for sleep, and the wake reason the firmware and the receive path
// report.
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

// The adapter's network-list offload, as the sleep path sets it up.
typedef struct _NLO_OFFLOAD_RECORD {
    UCHAR Configured;
    UCHAR Active;  // the inverse of the value last sent
    ULONG Flags;
} NLO_OFFLOAD_RECORD, *PNLO_OFFLOAD_RECORD;

// The wake-pattern slots: 20 handed out, 2 kept for the firmware's own wake kinds.
#define WOW_PATTERN_SLOTS 22
typedef struct _WOW_PATTERN_ENTRY {
    UCHAR InUse;
    ULONG Kind;          // 1 bitmap pattern, 2 magic packet, 3 media disconnect
    ULONG OsPatternId;   // the OS's pattern id (1 for the two other kinds)
    UCHAR Mask[16];
    ULONG MaskSize;
    UCHAR Pattern[128];
    ULONG PatternSize;
} WOW_PATTERN_ENTRY, *PWOW_PATTERN_ENTRY;

// The adapter's wake block.
typedef struct _WAKE_BLOCK {
    UCHAR WowArmed;
    UCHAR WowPatternCount;  // installed wake patterns
    UCHAR WowOffloadCount;  // installed protocol offloads
    PLATFORM_TIMER WowRxResumeTimer;  // the receive-ring resume timer (the wake-on-WLAN set-up creates it)
    WOW_PATTERN_ENTRY WowPatterns[WOW_PATTERN_SLOTS];
    NLO_OFFLOAD_RECORD NloOffload;  // the network-list offload set for sleep
    // The wake reason: what the firmware's wake event and the receive path's wake packet tell.
    ULONG WakeReason;  // NDIS wake-reason type, read by the wake indication
    ULONG WakePatternIndex;  // pattern slot, then the OS pattern id
    ULONG WakePacketWord;
    ULONG LinkLossCause;  // 1: beacon loss or a disconnect wake
    UCHAR WowPatternCode;  // code of the pattern the firmware matched
    UCHAR WakePacketSeen;
    UCHAR WakeReasonKind;
    UCHAR WakeReasonCode;
    ULONG PendingWakeIndication;  // a wake reason still to be indicated at the next link loss
} WAKE_BLOCK, *PWAKE_BLOCK;
