// The handlers of the firmware events the dispatch names: scanning, transmission, block-ack
// agreements, channel time, peers' absence, beacon loss, link quality and keys; the capability
// reports; the status, statistics, log and wake events; the assert dump.
//
// Handlers run in the receive context and never block. Unless a handler says otherwise it receives
// the event view: 16 bytes before the FW_EVENT_HEADER, the header at offset 16 (its u16 length,
// header and payload, already checked against the received buffer) and the payload at offset 28.
// Each handler checks its own payload length (FwEventViewPayloadLength) before reading a field.
#pragma once

#include "Common/fwdump.h"  // ProcessAssertDumpEvent (0xF0), nicExtEventPhyIcsRawData
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

VOID ProcessLinkQualityEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x02 link quality
VOID ProcessTxDoneEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x0F transmission done
VOID ProcessChPrivilegeEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x10 channel privilege granted
VOID ProcessBssAbsencePresenceEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x11 absence and presence of a Wi-Fi Direct peer
VOID ProcessRxAddBA(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x0A receive block-ack agreed
VOID ProcessRxAddBAExtended(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x0A with the high part of the buffer size (third generation)
VOID ProcessRxDelBA(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x0B receive block-ack deleted
VOID ProcessBssBeaconTimeout(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x13 beacon time-out
VOID ProcessAPClientAgeout(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x19 station age-out on an access point
VOID ProcessNLOEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x23 network-list-offload result
VOID ProcessAddKeyDone(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x24 key installed
VOID ProcessTxAddBA(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x2E transmit block-ack agreed
VOID ProcessCsaDoneEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x61 channel switch done
VOID ProcessChipCapabilityEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0xEC chip capability report (qzevent_capability)
VOID ProcessSleepyInfoEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x07 sleepy information
VOID ProcessStaStatisticsEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x21 station statistics (legacy event table)
VOID ProcessStaStatisticsOri(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x21 station statistics of a chip without its own operation
VOID ProcessFwLogEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x27 firmware log
VOID ProcessWoWWakeReasonEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0x62 (and 0x5B) wake reason
VOID ProcessWlanInfo(PMP_ADAPTER adapter, PUCHAR eventView);  // 0xCD WLAN information
VOID ProcesPcieEnteredLinkStateCounterEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0xDA PCIe link-state counters
VOID ProcessLayer0ExtMagicEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0xED extended event
VOID ProcessHifControlEvent(PMP_ADAPTER adapter, PUCHAR eventView);  // 0xF6 host-interface control

// Handlers with other arguments. A payload comes with its length (header length less 12).
VOID ProcessNicCapabilityEvent(PMP_ADAPTER adapter, PUCHAR payload, ULONG payloadLength);  // 0x01 (qzevent_capability)
VOID ProcessScanDoneEvent(PMP_ADAPTER adapter, PUCHAR payload, ULONG payloadLength, UCHAR detailedTrace);  // 0x0D
VOID ProcessWowEvent(PMP_ADAPTER adapter, UCHAR eventId);  // 0x1B, 0x71, 0x72
// The buffer as received (receive descriptor first) and its received length.
VOID ProcessInitEventCmdResult(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength);  // 0xFD
