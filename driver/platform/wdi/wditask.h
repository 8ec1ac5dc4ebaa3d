// The handlers of the WDI task rows and their abort handlers. A task handler completes its own
// request once it has started the work (WdiEventCompleteOid) and the task ends with its completion
// indication. A handler that fails before it started the work returns the failure: the task work
// item then ends the task with that status (the request is completed when the handler had not
// completed it, otherwise the row's completion indication carries the status).
#pragma once

#include "platform/wdi/wdimain.h"

// Handler of the scan task.
WDI_MESSAGE_HANDLER WdiTaskScan;
// Handler of the Wi-Fi Direct discovery task.
WDI_MESSAGE_HANDLER WdiTaskP2pDiscover;
// Handler of the connect task.
WDI_MESSAGE_HANDLER WdiTaskConnect;
// Handler of the dot11 reset task.
WDI_MESSAGE_HANDLER WdiTaskDot11Reset;
// Handler of the disconnect task.
WDI_MESSAGE_HANDLER WdiTaskDisconnect;
// Handler of the Wi-Fi Direct send-request-action-frame task.
WDI_MESSAGE_HANDLER WdiTaskP2pSendRequestActionFrame;
// Handler of the Wi-Fi Direct send-response-action-frame task.
WDI_MESSAGE_HANDLER WdiTaskP2pSendResponseActionFrame;
// Handler of the set-radio-state task.
WDI_MESSAGE_HANDLER WdiTaskSetRadioState;
// Handler of the start-access-point task.
WDI_MESSAGE_HANDLER WdiTaskStartAp;
// Handler of the stop-access-point task.
WDI_MESSAGE_HANDLER WdiTaskStopAp;
// Handler of the access-point association-response task.
WDI_MESSAGE_HANDLER WdiTaskSendApAssociationResponse;
// Handler of the change-operation-mode task.
WDI_MESSAGE_HANDLER WdiTaskChangeOperationMode;
// Handler of the roam task.
WDI_MESSAGE_HANDLER WdiTaskRoam;
// Handler of the send-request-action-frame task.
WDI_MESSAGE_HANDLER WdiTaskSendRequestActionFrame;
// Handler of the send-response-action-frame task.
WDI_MESSAGE_HANDLER WdiTaskSendResponseActionFrame;

// The abort of the scan and discovery tasks.
WDI_TASK_ABORT_HANDLER WdiTaskAbortScanRequest;
// The abort of the connect task.
WDI_TASK_ABORT_HANDLER WdiTaskAbortConnectRequest;
// The abort of the roam task.
WDI_TASK_ABORT_HANDLER WdiTaskAbortRoamRequest;
