// The operating-system-driven Wi-Fi Direct routines the shell calls.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// OS reset of a Wi-Fi Direct port.
NTSTATUS P2pMsInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port);
// Enables the Wi-Fi Direct device port (tables, listen channel, primary device type, defaults).
NTSTATUS P2pMsEnable(PMP_ADAPTER adapter, PMP_PORT port);
// Completes a Wi-Fi Direct discovery.
NTSTATUS P2pMsIndicateDiscoverComplete(PMP_ADAPTER adapter, PMP_PORT port);
// Frees a port-held buffer and zeroes its length.
void P2pMsFreeBuffer(PUCHAR* buffer, PULONG length);

// Times out stalled OS-driven exchanges and ages discovery entries (every P2P tick).
NTSTATUS P2pMsTimeoutAction(PMP_ADAPTER adapter, PMP_PORT port);
// Indicates a received P2P public action frame to the OS.
NTSTATUS P2pMsIndicatePublicActionFrameRecv(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR frame, ULONG length);
// Group owner channel switch and the client's following of it.
NTSTATUS P2pMsHandleEcsaChSwitch(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS P2pMsEcsaGcHdlr(PMP_PORT port);
// Takes a Wi-Fi Direct port down.
NTSTATUS P2pMsDown(PMP_ADAPTER adapter, PMP_PORT port);

// ---- listen channel and P2P channel bookkeeping --------------------------------------------------------
// Keeps the device port's listen, group and operating channels in step with the configuration and
// the connected station (the device port only, and only while the station port is known).
void P2PMSSyncListenChannelToPortChannel(PMP_ADAPTER adapter, PMP_PORT port);
// Puts a role port back on the listen channel when nothing is connected.
void P2pMsDefaultListenChannel(PMP_ADAPTER adapter, PMP_PORT port);
// Releases a held channel privilege and restores the device port's listening; the channel is traced.
void P2pMsRestoreChannel(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel);
// Rebuilds the port's Channel List record from the adapter's channel table (6 GHz left out).
void P2pMsFillSupportedChList(PMP_ADAPTER adapter, PMP_PORT port);
// The transmit status of a Wi-Fi Direct public action frame (packet id 0x64): TRUE when the group
// owner's discovery took the report.
BOOLEAN MlmeP2pGoDiscoAckDone(PMP_ADAPTER adapter, PMP_PORT port, UCHAR status);
// Sends the port's saved Wi-Fi Direct public action frame (signal) again.
NTSTATUS MlmeP2pMsPublicActionFrameSend(PMP_ADAPTER adapter, PMP_PORT port, UCHAR signal);
// A Wi-Fi Direct public action signal (message 14 of the ACTION machine) for the device machine.
VOID MlmeP2pMsPublicActionFrameSignalRecv(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* signal, ULONG length);
// A Wi-Fi Direct public action frame on a group port.
VOID P2PPublicAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length);
// Service discovery: GAS initial request, initial response, comeback request and comeback response.
VOID P2pReceServDiscInitReqAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length);
VOID P2pReceServDiscInitRspAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length);
VOID P2pReceServDiscComebackReqAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length);
VOID P2pReceServDiscComebackRspAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length);
// The group owner's part of a spatial-stream change after a dual-band decision.
VOID P2pGOHandleDBDCSwitch(PMP_ADAPTER adapter, PMP_PORT port, UCHAR keepFirmware);
// The port's channel-grant lock and events (at port creation).
void MultiChannelInitGrant(PMP_PORT port);
// Sends the fixed multi-channel quotas of the roles that run beside the connected station: a group
// owner on another channel (or while a client joins it: the joining quotas, with Miracast mode on for
// a hotspot or a joining client), else a Wi-Fi Direct client. Nothing without the station port.
void MultiChannelUpdateMCCStayTime(PMP_ADAPTER adapter);
// While the firmware reports the port's BSS absent, waits at most 500 ms for it to become present:
// 0 at once for a present port, else the wait status (STATUS_TIMEOUT after 500 ms); 0xC0000001
// without adapter or port. Passive level.
NTSTATUS MultiChannelWaitForChannelGrant(PMP_ADAPTER adapter, PMP_PORT port);
// Unless the Wi-Fi Direct listening port is already absent, waits at most 500 ms for it to become
// absent, then (when it did) 40 ms more. Passive level.
void WaitForChannelGrant(PMP_ADAPTER adapter, PMP_PORT listenPort);
// The Wi-Fi Direct client's share of a link down (`hookArgument` 1 after a peer's disassociation or
// deauthentication).
void P2pMsMlmeCntLinkDown(PMP_PORT port, ULONG hookArgument);
