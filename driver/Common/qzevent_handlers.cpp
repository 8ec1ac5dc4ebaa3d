// Firmware event handlers.
#include "Common/qzevent_handlers.h"

#include "platform/ndiscommon/trace.h"

VOID ProcessLinkQualityEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessTxDoneEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessChPrivilegeEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessBssAbsencePresenceEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessRxAddBA(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessRxDelBA(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessBssBeaconTimeout(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessAPClientAgeout(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessNLOEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessAddKeyDone(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessTxAddBA(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessCsaDoneEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessSleepyInfoEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessStaStatisticsEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessStaStatisticsOri(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessFwLogEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessWoWWakeReasonEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessWlanInfo(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcesPcieEnteredLinkStateCounterEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessLayer0ExtMagicEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessHifControlEvent(PMP_ADAPTER adapter, PUCHAR eventView) { (void)NOT_BUILT_YET(); }

VOID ProcessScanDoneEvent(PMP_ADAPTER adapter, PUCHAR payload, ULONG payloadLength, UCHAR detailedTrace)
{
    (void)NOT_BUILT_YET();
}

VOID ProcessWowEvent(PMP_ADAPTER adapter, UCHAR eventId) { (void)NOT_BUILT_YET(); }

VOID ProcessAssertDumpEvent(PMP_ADAPTER adapter, PUCHAR eventView, PUCHAR payload, ULONG payloadLength)
{
    (void)NOT_BUILT_YET();
}

VOID ProcessInitEventCmdResult(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength) { (void)NOT_BUILT_YET(); }
