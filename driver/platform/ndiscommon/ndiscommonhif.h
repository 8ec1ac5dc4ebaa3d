// The host interface facade: the only road from the rest of the driver to the PCI Express bus
// layer. It forwards to the bus layer or to the chip's operations table and adds the host
// interface's own rules: the register-access trace hook, the count of I/O errors that asks for
// recovery, driver ownership around management frames in low-power mode, and a recovery request
// when the chip cannot be woken. Also the control-thread command executor and the error recovery.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _PCI_HIF_CONTEXT PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;
typedef struct _FW_CMD_MSG FW_CMD_MSG, *PFW_CMD_MSG;
struct _TX_DMAQ_DESC;
struct _MLME_HARD_TX_REQUEST;

// ---- register access: the only road to device registers for every other module ----------------------
// Reads one chip register. The out value is cleared first; a device found removed (0xC00002B6)
// counts as an I/O error, any other result clears the run of I/O errors.
NTSTATUS HifIoRead32(PMP_ADAPTER adapter, ULONG chipAddress, PULONG value);
// Writes one chip register; write failures are not counted.
NTSTATUS HifIoWrite32(PMP_ADAPTER adapter, ULONG chipAddress, ULONG value);

// ---- ownership ---------------------------------------------------------------------------------------
// Takes driver ownership; a failure after bring-up has completed asks for recovery kind 4.
NTSTATUS NdisCommonHifPmSetDriverOwn(PMP_ADAPTER adapter);
// Gives the chip back to firmware ownership.
NTSTATUS NdisCommonHifPmSetFwOwn(PMP_ADAPTER adapter, ULONG flags);
// The ensure-driver-own step before firmware download.
NTSTATUS NdisCommonHifEnsureDriverOwn(PMP_ADAPTER adapter);

// ---- interrupts (the chip's operations; 0 when the chip lacks them) ----------------------------------
NTSTATUS NdisCommonHifDisableInterrupt(PPCI_HIF_CONTEXT hif);
NTSTATUS NdisCommonHifEnableInterrupt(PPCI_HIF_CONTEXT hif);

// ---- rings and DMA -------------------------------------------------------------------------------------
NTSTATUS NdisCommonHifInitTransmit(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
NTSTATUS NdisCommonHifInitRecv(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
VOID NdisCommonHifFreeTransmit(PPCI_HIF_CONTEXT hif);
VOID NdisCommonHifFreeRecv(PPCI_HIF_CONTEXT hif);
// Bytes 7 and 8 of the bring-up progress record: transmit and receive started.
#define HIF_PROGRESS_TX_STARTED 7
#define HIF_PROGRESS_RX_STARTED 8
// On success sets (start) or clears (stop) the two started bytes; a failure leaves them.
NTSTATUS NdisCommonHifStartTxRx(PPCI_HIF_CONTEXT hif, PUCHAR progress);
NTSTATUS NdisCommonHifStopTxRx(PPCI_HIF_CONTEXT hif, PUCHAR progress);
// Free descriptors of a data ring after reclaiming the completed ones.
ULONG NdisCommonHifUpdateTxRingIdx(PPCI_HIF_CONTEXT hif, UCHAR ringSelector);
NTSTATUS NdisCommonHifFreeDescriptorRequest(PMP_ADAPTER adapter, UCHAR ring, ULONG count);
// Initialises the bus context's lock array, the register remap lock among them.
void NdisCommonHifAllocateSpinLock(PMP_ADAPTER adapter);
void NdisCommonHifDeallocateSpinLock(PMP_ADAPTER adapter);
// Unmaps the register BAR at release of hardware.
NTSTATUS NdisCommonHifIoSpaceUnmap(PMP_ADAPTER adapter);
// The firmware erase routine of the bus layer (the older chip's EraseFirmware operation).
NTSTATUS NdisCommonHifEraseFirmware(PMP_ADAPTER adapter);

// ---- submission ------------------------------------------------------------------------------------------
NTSTATUS NdisCommonHifXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
NTSTATUS NdisCommonHifApXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
// One management frame; in low-power mode bracketed by driver own before and firmware own after.
NTSTATUS NdisCommonHifMiniportMMRequest(PPCI_HIF_CONTEXT hif, PUCHAR frame, ULONG length, UCHAR sequence);
NTSTATUS NdisCommonHifMlmeHardTransmit(PPCI_HIF_CONTEXT hif, struct _MLME_HARD_TX_REQUEST* request, ULONG arg);
// The CmdSendMsg operation of the chips that send firmware commands through the bus layer.
NTSTATUS NdisCommonHifCmdSendMsg(PMP_ADAPTER adapter, PFW_CMD_MSG message, ULONG ringSelector);
NTSTATUS NdisCommonHifSetPowerbyPortWOWLan(PMP_PORT port, ULONG state);

// ---- placeholders of the PCI Express host interface ------------------------------------------------------
BOOLEAN NdisCommonHifCapabilitySupported(PMP_ADAPTER adapter);  // always true
// Always false; traces whether the adapter is in a state that refuses management commands. The
// chip operation SendMlmeCmdPkt, which nothing calls through the table.
BOOLEAN NdisCommonHifSendMlmeCmdPkt(PMP_ADAPTER adapter);
VOID NdisCommonHifVoidHook();

// ---- error recovery ----------------------------------------------------------------------------------------
// The recovery kind carried by internal command 0x10000044.
typedef enum _RECOVERY_TYPE {
    RECOVERY_FW_CMD_TIMEOUT = 1,
    RECOVERY_FW_TRIGGERED = 2,
    RECOVERY_FW_REQUEST = 3,
    RECOVERY_DRIVER_OWN_FAIL = 4,
    RECOVERY_IO_FAIL = 5,
    RECOVERY_SER_TIMEOUT = 6,
    RECOVERY_CHIP_HOOK = 7,
} RECOVERY_TYPE;
#define INTERNAL_CMD_ERROR_RECOVERY 0x10000044u
// Register reads found failing in a row before the first recovery request, and thereafter.
#define IO_ERROR_RECOVERY_FIRST 20u
#define IO_ERROR_RECOVERY_AGAIN 1000u
// Counts one register read: success clears the run; the 20th failure in a row, and then every
// 1000th (the count restarting at 0), posts internal command 0x10000044 with kind 5 for port 0.
VOID IoErrRecovery(PMP_ADAPTER adapter, BOOLEAN failed);

// ---- the control-thread command executor -----------------------------------------------------------------
// Executes one internal command on the control or the ICS thread.
NTSTATUS NdisCommonHifControlThreadHandler(PMP_PORT port, ULONG cmdId, PUCHAR payload, ULONG length);
