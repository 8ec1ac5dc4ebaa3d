// The station's power-save state: the mode the OS asked for, the mode the firmware last accepted for the
// station port, the private override of the control tool, and the keep-active timer that moves a fresh
// link into power save.
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

// OS power-saving levels the power-management mode request takes.
#define MLME_PS_LEVEL_NONE 0u
#define MLME_PS_LEVEL_MEDIUM 8u
#define MLME_PS_LEVEL_MAX 16u
// Firmware power-save modes of the power-control command.
#define MLME_FW_PS_ACTIVE 0
#define MLME_FW_PS_UAPSD 1
#define MLME_FW_PS_FAST 2
// The port's operation-flags bit: the OS set a power mode.
#define PORT_STATUS_OS_POWER_MODE 0x00000020u
// The keep-active period after link up, and the wake count set when power save is entered.
#define MLME_KEEP_ACTIVE_PERIOD_MS 10000u
#define MLME_PS_WAKE_COUNT 10

typedef struct _MLME_PS_ADAPTER_BLOCK {
    ULONG CurrentMode;        // the OS level in force (0, 8, 16 or what the OS gave)
    ULONG SavedMode;          // written only while SaveLock is 0
    UCHAR SaveLock;
    USHORT WakeCount;         // MLME_PS_WAKE_COUNT when entering power save
    UCHAR FwStaMode;          // the power-save mode the firmware last accepted for the station port
    UCHAR OverrideOn;         // the control tool forced a power-save mode
    UCHAR OverrideValue;      // 0 active; 1 or 2 power save; others keep the OS level
    PLATFORM_TIMER KeepActiveTimer;  // "MlmeInfoKeepActivePwrTimerCallback", armed with the station port
} MLME_PS_ADAPTER_BLOCK, *PMLME_PS_ADAPTER_BLOCK;
