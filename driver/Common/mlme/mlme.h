// The MLME core: the MLME queue and its elements, the MLME handler and thread, the state-machine
// framework and the port machines, the MLME start-up and shut-down.
#pragma once

#include <atomic>

#include "Common/mlme/mlme_types.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync_join.h"
#include "Common/mlme/mlmesync_scan.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/ndiscommon.h"

// ---- the queue -----------------------------------------------------------------------------------------------
// Posts one message for the port; FALSE (traced) while the adapter halts, is not responding or in a
// power transition, for a body over 2048 bytes or with a full queue.
BOOLEAN MlmeEnqueue(PMP_ADAPTER adapter, PMP_PORT port, ULONG machine, ULONG msg, ULONG msgLen, const void* msgBody);
// Posts a received management frame of the port after classifying it; FALSE when it is dropped.
BOOLEAN MlmeEnqueueForRecv(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIdx, UCHAR rssi0, UCHAR rssi1, UCHAR rssi2,
                           ULONG msgLen, const void* frame);
// Takes the element at the head (it stays occupied in the ring); FALSE when the queue is empty.
BOOLEAN MlmeDequeue(PMLME_QUEUE queue, PMLME_QUEUE_ELEM* elem);
// The queue's lock, counters 0, all 200 elements cleared.
NTSTATUS MlmeQueueInit(PMLME_QUEUE queue);
// Counters 0 under the lock (elements left as they are); releases the lock object.
void MlmeQueueClear(PMLME_QUEUE queue);
// Discards every queued element under the lock; the element a handler holds stays its own.
void MlmeQueueDiscardPending(PMLME_QUEUE queue);
BOOLEAN MlmeQueueEmpty(PMLME_QUEUE queue);
BOOLEAN MlmeQueueFull(PMLME_QUEUE queue);
BOOLEAN MlmeQueueFullForRecv(PMLME_QUEUE queue);
// The station-side frame classifier: (machine, message) of a received management frame.
BOOLEAN MsgTypeSubst(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG frameLen, PULONG machine,
                     PULONG msg);
// Releases an element taken from the queue (its slot may be used again).
void MlmeQueueReleaseElem(PMLME_QUEUE queue, PMLME_QUEUE_ELEM elem);

// ---- the handler and the thread ------------------------------------------------------------------------------
// Body of "MlmeThread".
PLATFORM_THREAD_BODY MlmeThreadProc;
// Drains the MLME queue: one element at a time to the machine it names.
NTSTATUS MlmeHandler(PMP_ADAPTER adapter);
// Waits (up to about 500 ms) until the queue is empty or no handler runs; always TRUE.
BOOLEAN MlmeWaitForMlmeHandlerStop(PMP_ADAPTER adapter);

// ---- the state-machine framework ---------------------------------------------------------------------------
VOID StateMachineInit(PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans, ULONG nrState, ULONG nrMsg,
                      PSTATE_MACHINE_FUNC defaultFunc, ULONG initState, ULONG base);
VOID StateMachineSetAction(PSTATE_MACHINE machine, ULONG state, ULONG msg, PSTATE_MACHINE_FUNC func);
// The default action: traces the element and does nothing else.
STATE_MACHINE_FUNC Drop;
VOID StateMachineHandle(PMP_ADAPTER adapter, PENTRY_EXIT_STATE_MACHINE machine, PMLME_QUEUE_ELEM elem);
VOID StateMachineSetState(PMP_ADAPTER adapter, PENTRY_EXIT_STATE_MACHINE machine, ULONG newState);
ULONG StateMachineGetState(PENTRY_EXIT_STATE_MACHINE machine);
// Builds the port's machines in order, then its timers and work items.
NTSTATUS MlmePortInit(PMP_ADAPTER adapter, PMP_PORT port);
// Stops the port's machines: purges its queued messages, cancels its machine timers and returns its
// machines to state 0.
NTSTATUS MlmeRestartStateMachine(PMP_ADAPTER adapter, PMP_PORT port);

// ---- the Wi-Fi Direct presence and notice-of-absence action machine (the Wi-Fi Direct code's) ------------
// Builds machine 17 (1 state x 12 messages).
VOID P2pActionStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);

// ---- start-up and shut-down ----------------------------------------------------------------------------------
// Creates the MLME queue and buffer pool, the BSS and roaming-candidate tables, and port 0's machines
// and timers; a failure of the buffer pool is returned.
NTSTATUS MlmeInit(PMP_ADAPTER adapter);
// At teardown: the port's work items and timers, the MLME queue, the roaming-candidate table and the
// MLME buffer pool.
void MlmeHalt(PMP_ADAPTER adapter, PMP_PORT port);
// Frees the roaming-candidate table's storage once its busy flag is taken.
void MlmeFreeRepositTable(PMP_ADAPTER adapter);

// ---- periodic work and port timers -------------------------------------------------------------------------
// Binds the port's timers (port 0 also the adapter-wide ones) and arms the 100 ms heartbeat, the 1 s
// transmit-stall watch and, with "EthernetDetection", the radio-switch poll.
NTSTATUS MlmePortTimeInit(PMP_ADAPTER adapter, PMP_PORT port);
// Hooks of port set-up and shut-down: nothing to create or free.
NTSTATUS MlmePortWorkItemInit(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmePortFreeWorkItem(PMP_ADAPTER adapter, PMP_PORT port);
// Cancels and frees every timer MlmePortTimeInit bound for the port; port 0 also ends a core dump
// whose file is still open.
NTSTATUS MlmePortFreeTimer(PMP_ADAPTER adapter, PMP_PORT port);
// "MlmePeriodicExecTimer": posts the 100 ms work (internal command 0x10000200) and re-arms itself,
// unless the adapter halts, is removed or a system error recovery holds transmission.
PLATFORM_TIMER_CALLBACK MlmePeriodicExecTimerCallback;
// The 100 ms work on the control thread: counts the tick and runs the jobs that fall due.
NTSTATUS MlmePeriodicExecPassivLevel(PMP_ADAPTER adapter, PMP_PORT port);
VOID MlmePeriodicExec100ms(PMP_ADAPTER adapter);
VOID MlmePeriodicExec200ms(PMP_ADAPTER adapter);
VOID MlmePeriodicExec500ms(PMP_ADAPTER adapter);
VOID MlmePeriodicExec1s(PMP_ADAPTER adapter);
VOID MlmePeriodicExec5s(PMP_ADAPTER adapter);
// The station's second on the control thread (internal command 0x1000001D): the 20/40 coexistence
// scan, the link-quality and temperature queries and the channel-switch countdown.
NTSTATUS STAMlmePeriodicExec(PMP_ADAPTER adapter);
// Chooses the firmware operating mode (0, 1, 2) of a connected 2.4 GHz station from its throughput.
VOID DecideTputMode(PMP_ADAPTER adapter, PMP_PORT port);

// ---- the radio-switch poll and the ping power pacing ---------------------------------------------------------
// "MlmeRadioPeriodicExecTimer": posts internal command 0x10000500.
PLATFORM_TIMER_CALLBACK MlmeRadioPeriodicExecTimerCallback;
// Asks the firmware for the hardware radio switch and re-arms the poll; a failed query stops it.
NTSTATUS MlmeRadioPeriodicExecPassivLevel(PMP_ADAPTER adapter, PMP_PORT port);
// "MlmePowerConsumptionCtrlTimer": posts internal command 0x10000201.
PLATFORM_TIMER_CALLBACK MlmePowerConsumptionCtrlTimerCallback;
// One step of the awake/sleep pacing of a connected station after an echo request.
NTSTATUS MlmePowerConsumptionCtrl(PMP_ADAPTER adapter, PMP_PORT port);
// Ends an active pacing period: its timer cancelled, state 0.
VOID MlmePowerConsumptionEnd(PMP_ADAPTER adapter);

// ---- firmware setting pushes and link-parameter upkeep ---------------------------------------------------------
// One {type, key, value} item of the customer-configuration command (0x70) for port 0.
NTSTATUS MlmeSendChipConfig(PMP_ADAPTER adapter, PMP_PORT port, PCSTR key, PCSTR value, UCHAR itemType);
NTSTATUS MlmeUpdateKeepFullPwrToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateEnablePcieSwitchToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateEnableRekeyOffloadToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateEdccaDetectEnableToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateForceTxStopToFw(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateFwlogSramEvtBlcok(PMP_ADAPTER adapter, PMP_PORT port, UCHAR value);
NTSTATUS MlmeUpdateFwlogDropFront(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS MlmeUpdateFwlogSemaEn(PMP_ADAPTER adapter, PMP_PORT port);
// The screen-off DTIM word of the connection ("ScreenoffDTIMPeriod") to the firmware.
NTSTATUS MlmeUpdateDynamicDtimToFw(PMP_ADAPTER adapter, PMP_PORT port);
// The port's EDCA record and WMM state; the record goes to the firmware when valid.
NTSTATUS AsicSetEdcaParm(PMP_ADAPTER adapter, PMP_PORT port, PVOID edcaParm, UCHAR enable);
// The adapter's power-management indication (1 = the PM bit is set).
NTSTATUS MlmeSetPsmBit(PMP_ADAPTER adapter, UCHAR psm);
// Records a 20/40 coexistence trigger event of a BSS heard on the channel.
VOID TriEventTableSetEntry(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, const UCHAR* htCapability,
                           UCHAR htCapabilityLen, UCHAR operatingClass, UCHAR channel);
// The protection bytes of the port's own entry from an HT operation (only bit 0 of the mask is read).
VOID AsicUpdateProtect(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* htOperation, UCHAR mask, UCHAR setMask,
                       UCHAR nonGreenfield);

// ---- the transmit-stall watch (every second, at dispatch level in its timer) ----------------------------------
// Counts the seconds of pending transmit packets per port (chip state dumps from 7 s, the packets
// returned to the OS and "Tx hang count" logged at 14 s) and of unmoving transmit queues (dumps above
// 14 s, dynamic ICS logging on at 10 s and off at 20 s); nothing while halting, removed or not
// responding, or without a connected port.
VOID MlmeTxHangPeriodicExecDispatchLevel(PMP_ADAPTER adapter);
// "MlmeTxHangPeriodicExecTimer": runs the watch unless the adapter halts or is removed.
VOID MlmeTxHangPeriodicExecTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                         PVOID systemSpecific3);
