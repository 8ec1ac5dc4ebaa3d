// The host interface's records in the adapter: the error-recovery block (the SER steps, firmware
// recovery and the recovery counters) and the low-power block (driver and firmware ownership of the
// chip, the PCIe low-power state and the power-by-port rests).
#pragma once

#include "kshim/ke.h"
#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

// Error recovery, kept by the host interface's recovery procedure, the chip's SER steps and its
// firmware recovery. Counters of the recovery kinds 1 to 4 are RecoveryKindCount (kind 5 counts in
// RecoveryIoFailCount, the L0.5 recoveries in RecoveryL05Count, the platform-level resets in
// RecoveryBusHangCount); chip selection resets the SER state.
typedef struct _RECOVERY_BLOCK {
    UCHAR SerState;  // 0 idle, 1 transmit stopped, 2 DMA re-initialised, 3 transmit resumed
    ULONG SerEventWord;
    UCHAR SerEnabled;  // 1: the chip's system-error recovery is handled
    UCHAR FwRecoveryState;  // 0 idle; 1 or 2 while a firmware recovery runs
    ULONG FwRecoveryCount;
    ULONG IoErrorCount;  // consecutive register reads that found the device removed
    UCHAR RecoveryKindCount[4];
    LONG64 L05StartTime;  // system time the running L0.5 started; 0 when none
    UCHAR PldrMark;  // a platform-level device reset was requested
    LONG64 PldrStartTime;  // system time of that request
    UCHAR TxStopped;  // the SER transmit-stop check found every dequeue idle
    // Per access category: a dequeue of TxProcq[ac] runs (1), under the category's dequeue lock.
    UCHAR AcDequeueInProgress[5];
    KSPIN_LOCK AcDequeueLock[5];
    ULONG SerIntCount;  // SER step interrupts served
    ULONG RecoveryStage;  // 2 while a SER runs
    KEVENT SerDoneEvent;  // set when a SER has passed all its steps
    PLATFORM_TIMER SerCheckTxStopTimer;  // "rSerCheckTxStopTimer"
    UCHAR RoamAfterRecovery;  // the scan, connect and roam tasks roam once after a firmware recovery
    UCHAR IntRecoveryPending[2];  // both set to 1 when the interrupt path asked for firmware recovery
    // The recovery counters the system event log reports.
    UCHAR RecoveryIoFailCount;
    UCHAR RecoveryL05Count;
    UCHAR RecoveryBusHangCount;
} RECOVERY_BLOCK, *PRECOVERY_BLOCK;

// Low power: who owns the chip (driver own or firmware own), the PCIe low-power state given away
// with it, and the rests of the power transitions by port.
typedef struct _LOW_POWER_BLOCK {
    UCHAR LowPowerMode;  // the chip's low-power ownership feature is in use
    // Ownership of the chip: driver own or firmware own.
    KSPIN_LOCK OwnLock;
    KIRQL OwnLockIrql;
    alignas(2) UCHAR FwOwn[2];  // FwOwn[0]: 1 while the firmware owns the chip; both cleared together
    UCHAR LowPowerRestore;  // PCIe low-power settings were changed when ownership was given away
    volatile LONG OwnInProgress;  // driver-own polls running with the own lock released
    volatile LONG OwnCallBalance;
    // Read by the interrupt routines on other processors: accessed with atomic loads and stores.
    UCHAR SleepFlag;  // set by the power-by-port code while the device sleeps
    UCHAR KeepRunningFw;  // the firmware stayed alive through a low-power state: keep it
    UCHAR LowPowerCountdownActive;
    ULONG LowPowerCountdown;  // 100 ms ticks left before the station periodic job rests
    LARGE_INTEGER LastLowPowerTime;  // local time of the last entry to low power
    LARGE_INTEGER LastD0Time;  // local time of the last return to D0
} LOW_POWER_BLOCK, *PLOW_POWER_BLOCK;
