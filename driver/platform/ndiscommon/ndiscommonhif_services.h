// Services of other layers that the control-thread executor calls and that those layers do not
// provide yet. Each keeps the name and the arguments its own layer will give it; until then it
// traces and answers STATUS_NOT_SUPPORTED. Each moves to its layer's module when that layer is built.
#pragma once

#include "platform/ndis6/n6platformindicate.h"
#include "platform/wdi/wdievent.h"

#include "Common/fwdump.h"  // the core-dump and ICS log files
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- station key and power settings (Common/mlme/mlmeinfo) ---------------------------------------------
// Sends the port's default key id to the firmware.
NTSTATUS MlmeInfoStaOidSetWEPDefaultKeyID(PMP_PORT port);

// ---- scan (Common/mlme) --------------------------------------------------------------------------------------
// Merges the scan table into the roaming-candidate table (Common/mlme/mlmesync_reposit).
BOOLEAN MlmeUpdateRepositTabFromScanTab(PMP_ADAPTER adapter, UCHAR force, UCHAR decideCountry);

// ---- firmware commands and files (Common/qzcmd, Common/fwsettings) -------------------------------------------
// Asks the firmware for one factory calibration record (unified command 0x7C, query).
NTSTATUS QzCmdFactCalGet(PMP_ADAPTER adapter, UCHAR band, UCHAR index);
// Writes the runtime calibration data file from the collected records.
NTSTATUS writeFactCalfile(PMP_ADAPTER adapter);

// ---- OS indications (platform/ndis6/n6indicate) ------------------------------------------------------------
// A firmware-stalled report to the WDI firmware-stalled indication.
NTSTATUS PlatformIndicateFirmwareStalled(PMP_ADAPTER adapter, ULONG reason);
// Indicates the wake reason and the stored wake packet to the OS.
NTSTATUS WOWLANPacketIndicateFunc(PMP_ADAPTER adapter, PMP_PORT port);

// ---- multi-channel and dual-band concurrency (Common/p2p) ---------------------------------------------------
// Runs the pending multi-channel start of a new connection.
NTSTATUS MultiChannelSwitchExec(PMP_PORT port, PUCHAR record);
// Ends a group owner's multicast-concurrency quota period and sends the quotas again.
NTSTATUS MultiChannelMcastConAbortExec(PMP_PORT port, PUCHAR record);
// Decides whether dual-band concurrency can stop and turns it off on the chips that program it.
NTSTATUS MultiBandDisableDbdcDecision(PMP_ADAPTER adapter, PMP_PORT port, UCHAR reason);

// ---- what the error and firmware recovery call of other layers ------------------------------------------------
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;
// Pauses (pause 1) or restarts (pause 0) the OS transmit path for a reason (platform/wdi).
NTSTATUS WdiTxSendPauseIndication(PMP_ADAPTER adapter, UCHAR pause, UCHAR reason);
// Installs the connection's keys again for the peer entry (Common/mlme).
NTSTATUS MlmeRestoreKey(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry);
