// The ACTION machine of a port: action frames sent and received through their own entry/exit machine.
#pragma once

#include "Common/mlme/mlme.h"

// Binds the port's ACTION machine to its three rows (Idle, Sent, WaitResponse) in state Idle.
VOID ActionStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PENTRY_EXIT_STATE_MACHINE machine);
// The peer's operating mode notification (channel width, receive streams and their type).
VOID PeerVHTOperatingModeNotificationAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR channelWidth, UCHAR rxNss,
                                            UCHAR rxNssType);
// A change of the peer's spatial streams; 0 when it was applied.
NTSTATUS PeerNssUpdateAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR twoStreams);
