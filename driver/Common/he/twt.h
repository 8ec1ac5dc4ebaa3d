// Target wake time: the TWT machine.
#pragma once

#include "Common/mlme/mlme.h"

// Builds the TWT machine (1 state x 10 messages).
VOID TwtStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// The transmit status of a TWT action frame (packet ids 0x50-0x52) of the peer (WLAN index).
VOID twtTxDoneHandler(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR status);
// A received S1G (category 22) action frame of the port: the TWT set-up, tear-down and information
// frames.
VOID twtRecvActionFrame(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* frame, ULONG length);
