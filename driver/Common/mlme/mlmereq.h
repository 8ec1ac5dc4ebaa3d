// MLME requests: the entry points through which the OS command interface, the firmware event handlers
// and the control thread start a scan, a connection, a disconnection, radio off and on, modern
// standby, the listen state of the Wi-Fi Direct device port and the channel time of an action frame;
// and the small decisions those paths and the periodic jobs consult.
#pragma once

#include <cstddef>

#include "Common/mlme/mlmereq_types.h"
#include "Common/mlme/mlmesync_bss.h"
#include "kshim/ndis.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- scan ---------------------------------------------------------------------------------------------------
// Takes the OS's scan request (at least its 56-byte header) for the port: 0xC0000001 without port or
// while an OS scan abort is pending; 0xC0010014 for a short request or an SSID over 32 bytes (bytes
// needed 56); 0xC00000BB for a BSS or scan type out of range. Otherwise posts it to the connect-control
// machine and returns 0.
NTSTATUS MlmeScanRequest(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* request, ULONG length,
                         PULONG bytesWritten, PULONG bytesNeeded);

// ---- connect and disconnect ------------------------------------------------------------------------------
NTSTATUS MlmeConnectRequest(PMP_ADAPTER adapter, PMP_PORT port);
// 0xC0000184 when the port is not connecting or connected.
NTSTATUS DisconnectRequest(PMP_ADAPTER adapter, PMP_PORT port, PULONG bytesWritten, PULONG bytesNeeded,
                           UCHAR sourceFlag, const void* disassocParameters);
VOID MlmeAutoReconnectLastSSID(PMP_ADAPTER adapter, PMP_PORT port);
// At most 32 bytes, none below 0x20.
BOOLEAN MlmeValidateSsid(const UCHAR* ssid, ULONG length);

// ---- radio ---------------------------------------------------------------------------------------------------
VOID MlmeRadioOff(PMP_ADAPTER adapter, PMP_PORT port);
VOID MlmeRadioOn(PMP_ADAPTER adapter, PMP_PORT port);
VOID MlmeRadioOffManually(PMP_ADAPTER adapter, PMP_PORT port);
VOID MlmeRadioOnManually(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeModernStandbyEnable(PMP_ADAPTER adapter, PMP_PORT port, UCHAR enable);

// ---- Wi-Fi Direct listen and action-frame channel time --------------------------------------------------------
// Starts (start 1) or stops (start 0) the Wi-Fi Direct device port's listen state for the duration:
// the listen channel's privilege and the listen receive filter; `keep` keeps the listen state.
NTSTATUS MlmeSyncP2pSetListenState(PMP_ADAPTER adapter, PMP_PORT port, ULONG listenChannel, ULONG keep,
                                   ULONG durationMs, UCHAR start);
VOID MlmeP2pListenPhaseStopCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                    PVOID systemSpecific3);
NTSTATUS MlmeTxActionFrameChPrivilege(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel, UCHAR band,
                                      ULONG durationMs, UCHAR arm);

// ---- decisions -------------------------------------------------------------------------------------------------
BOOLEAN IsRoamingAllowed(PMP_ADAPTER adapter, PMP_PORT port);
BOOLEAN NeedRoamBadAvgRssi(PMP_ADAPTER adapter, PMP_PORT port, CHAR averageRssi);
BOOLEAN MlmeIgnoreScanByThroughput(PMP_ADAPTER adapter, PMP_PORT port, ULONG phyClass, ULONG scanKind);
// Fills `order` (256 entries) with the indexes of the BSS list to report, strongest first; returns
// how many were written (0 when the sort is off).
ULONG MlmeSortBssListByRssi(PMP_ADAPTER adapter, PULONG order);

// ---- transmit-pending bookkeeping --------------------------------------------------------------------------
VOID MlmeClearPktCount(PMP_ADAPTER adapter, PMP_PORT port);
VOID MlmeResetGCTxPendingPktCount(PMP_ADAPTER adapter);
BOOLEAN MlmeDumpTXPendingPktbyWcid(PMP_ADAPTER adapter);
VOID MlmeDumpTXPendingPktbyTxQ(PMP_ADAPTER adapter);
