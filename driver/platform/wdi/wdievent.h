// WDI event indications: the senders through which the core reports connection events to the OS.
// Each takes the core's view of the event, adds what the OS needs (and, for some, a system event-log
// entry) and hands it to its indication generator. Senders of task completions reach the OS only
// while their task is the pending one.
#pragma once

#include "platform/wdi/wdimain.h"

#define EVENT_LOG_DISASSOC 0x40020424u          // "DisAssoc"
#define EVENT_LOG_ROAMING_NEEDED 0x40020442u    // "Roaming Needed"
#define EVENT_LOG_WAKE_UP_PACKET 0x400207D5u    // "Wake up Packet"

#define DISASSOC_LOG_SIZE 18
#define P2P_SENT_FRAME_HEADER_SIZE 32
#define P2P_SENT_FRAME_SUMMARY_SIZE 7

// Wi-Fi Direct frame types of a sent-frame record.
#define P2P_FRAME_GO_NEGOCIATION_REQ 0
#define P2P_FRAME_GO_NEGOCIATION_RSP 1
#define P2P_FRAME_GO_NEGOCIATION_CONFIRM 2
#define P2P_FRAME_INVITE_REQ 3
#define P2P_FRAME_INVITE_RSP 4
#define P2P_FRAME_DEV_DIS_REQ 5
#define P2P_FRAME_DEV_DIS_RSP 6
#define P2P_FRAME_PROVISION_REQ 7
#define P2P_FRAME_PROVISION_RSP 8
#define P2P_FRAME_ACTION_SEND_COMPLETE 9

// The WDI association status of a driver association status (0 success).
ULONG WdiEventAssocStatusFromDot11(ULONG status);
// The link state of the port (its BSSID, link speeds and quality); only with the port's own station
// entry.
void WdiEventIndicateLinkStateChange(PMP_ADAPTER adapter, PMP_PORT port);
void WdiEventIndicateMicFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyKind, ULONG keyIndex);
void WdiEventIndicateRoamingNeeded(PMP_ADAPTER adapter, PMP_PORT port, ULONG reason);
void WdiEventIndicateWowWakeReason(PMP_ADAPTER adapter, PMP_PORT port, ULONG wakeReason, const UCHAR* packet,
                                   ULONG packetLength, ULONG additionalValue);
NTSTATUS WdiEventIndicationApAssociationRequestReceived(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peerRecord,
                                                        const UCHAR* request, ULONG requestLength,
                                                        const UCHAR* extra, ULONG extraLength);
// The disassociation (with its "DisAssoc" entry), then the disconnect completion the disconnect task
// waits for and the association-parameters request after a peer's disassociation.
void WdiEventIndicationDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG wdiStatus,
                                      ULONG callerCode);
void WdiEventIndicationDisconnectComplete(PMP_ADAPTER adapter, PMP_PORT port);
// Mode 1: the set-radio-state task's completion (0x40050016) with the port id and status; any other
// mode: the unsolicited radio-status indication.
void WdiEventSetRadioState(PMP_ADAPTER adapter, USHORT portId, ULONG mode, NTSTATUS status);
// Sent only when the OS enabled stall reporting and every reason bit is in "FwStallRecovery".
void WdiEventIndicationFirmwareStalled(PMP_ADAPTER adapter, ULONG reasonBits);
void WdiEventIndicationFtAssocParamsNeeded(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* target);
// A Wi-Fi Direct frame was sent: `record` is the sent-frame record (32-byte header, then the body).
void WdiEventIndicationP2PSendFrameComplete(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* record,
                                            ULONG recordLength, NTSTATUS status);
void WdiEventIndicationSendActionComplete(PMP_ADAPTER adapter, PMP_PORT port, UCHAR request, NTSTATUS status);
void WdiP2pDiscoverComplete(PMP_ADAPTER adapter, PMP_PORT port);
