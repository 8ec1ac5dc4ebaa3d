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
struct _MGMT_TX_REQUEST;

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
// Moves frames of the port from the access category's TxProcq (0-4) to a data ring: at most as many
// as the ring has free descriptors and the port's burst limit allows, one caller per category at a
// time (a second caller returns at once).
VOID NdisCommonHifDeQueuePacketByPort(PMP_PORT port, UCHAR ac);
// 0 when the port may transmit now, 0xC0000001 while it must wait (traced with the reason).
NTSTATUS ChkTxSwStatus(PMP_ADAPTER adapter, PMP_PORT port);
// The multi-channel transmit ring pause register and the port's bit in it: bit 17 for the Wi-Fi
// Direct group-owner and client ports, bit 16 for the others.
#define MCC_TX_RING_PAUSE_REGISTER 0x4224u
#define MCC_TX_RING_PAUSE_OTHER 0x00010000u
#define MCC_TX_RING_PAUSE_P2P 0x00020000u
// The register's value with the port's pause bit set from its pause mark; without multi-channel
// concurrency both pause bits are cleared.
ULONG MCCFetchTxRingPauseSettings(PMP_PORT port);
// Writes the value to the ring pause register.
VOID MCCCurrentTxRingModify(PMP_ADAPTER adapter, ULONG value);
// Whether the remembered last channel is a channel of its band (1 2.4 GHz, 2 5 GHz, 3 6 GHz).
BOOLEAN ValidLastChannelForWHQL(UCHAR channel, UCHAR band);
NTSTATUS NdisCommonHifXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
NTSTATUS NdisCommonHifApXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
// One management frame; in low-power mode bracketed by driver own before and firmware own after. The
// frame's MLME buffer is freed whether it is sent or not.
NTSTATUS NdisCommonHifMiniportMMRequest(PPCI_HIF_CONTEXT hif, PUCHAR frame, ULONG length, UCHAR sequence);
NTSTATUS NdisCommonHifMlmeHardTransmit(PPCI_HIF_CONTEXT hif, struct _MGMT_TX_REQUEST* request, ULONG arg);
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
// The recovery kind carried by internal command 0x10000044: kinds 1, 2, 3 and 6 ask for a
// firmware-level recovery (L0.5), kinds 4, 5 and 7 for a platform-level device reset (PLDR).
typedef enum _RECOVERY_TYPE {
    RECOVERY_FW_CMD_TIMEOUT = 1,   // third-generation interrupt work (PCIe error)
    RECOVERY_FW_TRIGGERED = 2,     // a firmware command got no answer in time
    RECOVERY_FW_REQUEST = 3,       // chip software interrupt: the firmware asserted or asks for it
    RECOVERY_DRIVER_OWN_FAIL = 4,  // the chip could not be woken; PLDR after a Wi-Fi subsystem reset
    RECOVERY_IO_FAIL = 5,          // register reads keep failing; PLDR after a whole-chip reset
    RECOVERY_SER_TIMEOUT = 6,      // end of a firmware core dump
    RECOVERY_CHIP_HOOK = 7,        // bus hang of the 3601; PLDR after the chip's recovery hook
} RECOVERY_TYPE;
// "FwStallRecovery" bits: the PLDR of kinds 5 and 7, the PLDR of kind 4, the L0.5 of kinds 1, 2, 3, 6.
#define FW_STALL_RECOVERY_PLDR_BUS 0x1u
#define FW_STALL_RECOVERY_PLDR_OWN 0x2u
#define FW_STALL_RECOVERY_L05 0x4u
// A recorded L0.5 keeps further ones out for 10 s, a requested PLDR every recovery for 20 s (100 ns).
#define RECOVERY_L05_GUARD 100000000LL
#define RECOVERY_PLDR_GUARD 200000000LL
// Event-log entry written before the companion Bluetooth driver is asked for its dump.
#define EVENT_LOG_BT_DUMP_SOP 0x40020007u
// The SER transmit-stop check re-arms itself every 5 ms while a dequeue runs.
#define SER_TX_STOP_CHECK_MS 5u
#define INTERNAL_CMD_ERROR_RECOVERY 0x10000044u
// Register reads found failing in a row before the first recovery request, and thereafter.
#define IO_ERROR_RECOVERY_FIRST 20u
#define IO_ERROR_RECOVERY_AGAIN 1000u
// Counts one register read: success clears the run; the 20th failure in a row, and then every
// 1000th (the count restarting at 0), posts internal command 0x10000044 with kind 5 for port 0.
VOID IoErrRecovery(PMP_ADAPTER adapter, BOOLEAN failed);

// Runs the recovery of one kind on the control thread (internal command 0x10000044): an L0.5 through
// the chip's FwRecovery, or a chip reset followed by the platform-level device reset request. Every
// refusal (bring-up not completed, chip without recovery, recovery disabled, a PLDR or an L0.5 under
// way, the kind's mask bit clear) is traced.
VOID ErrorRecoveryProc(PMP_ADAPTER adapter, ULONG kind);
// True while the device is gone or halting (flags 0x10000100), or an L0.5 started less than 10 s ago.
BOOLEAN L05InProgress(PMP_ADAPTER adapter);
// True while the device is gone or halting, or a PLDR was requested less than 20 s ago.
BOOLEAN PldrInProgress(PMP_ADAPTER adapter);
// True when no recovery of kinds 1 to 5 was ever asked for.
BOOLEAN ErrRecoveryNoneOccurred(PMP_ADAPTER adapter);
// Bit i set when access category i (0 to 4) is being dequeued; traces when the frames queued for
// transmit and waiting for transmit done differ from the in-flight count.
ULONG CheckAllQStop(PMP_ADAPTER adapter);
// The SER transmit-stop timer ("rSerCheckTxStopTimer", port 0): re-arms itself for 5 ms while a
// dequeue runs; otherwise tells the firmware transmission has stopped (the chips that recover) and
// sets the adapter's transmit-stopped mark.
VOID SerCheckTxStopTimeOut(PVOID systemSpecific1, PMP_PORT port, struct _PLATFORM_TIMER* timer, PVOID systemSpecific3);
// Restores the channel privilege of a newly created port (internal command 0x10000300).
NTSTATUS DoRestoreChannelPrivilege(PMP_ADAPTER adapter, PMP_PORT port);

// ---- the control-thread command executor -----------------------------------------------------------------
// Internal commands of "PlatformControlCmdThread" (0x1000xxxx) and of "IcsCmdThread" (0x8000000x).
#define INTERNAL_CMD_RESET 0x10000002u               // u32 port index
#define INTERNAL_CMD_DEFAULT_KEY_ID 0x10000003u      // u32 port index
#define INTERNAL_CMD_POWER_MGMT_MODE 0x1000001Cu     // u32 mode
#define INTERNAL_CMD_STA_PERIODIC 0x1000001Du
#define INTERNAL_CMD_SET_PHY_MODE 0x10000025u        // u32 wireless mode
#define INTERNAL_CMD_LINK_LOSS 0x10000034u           // u32 port index
#define INTERNAL_CMD_CORE_DUMP_FILE 0x10000041u      // byte 0: 1 the dump starts, else it ends
#define INTERNAL_CMD_CORE_DUMP_DATA 0x10000042u      // dump bytes
#define INTERNAL_CMD_FW_RECOVERY 0x10000043u
#define INTERNAL_CMD_CAL_COLLECT 0x10000046u
#define INTERNAL_CMD_CAL_WRITE 0x10000047u
#define INTERNAL_CMD_HOST_CSR_DUMP 0x10000048u
#define INTERNAL_CMD_DYNAMIC_ICS_ON 0x10000049u
#define INTERNAL_CMD_DYNAMIC_ICS_OFF 0x1000004Au
#define INTERNAL_CMD_MCC_SWITCH 0x10000100u
#define INTERNAL_CMD_MLME_PERIODIC 0x10000200u
#define INTERNAL_CMD_POWER_CONSUMPTION 0x10000201u
#define INTERNAL_CMD_RESTORE_CH_PRIVILEGE 0x10000300u
#define INTERNAL_CMD_CONNECT_START_TIMEOUT 0x10000301u
#define INTERNAL_CMD_DBDC_DISABLE 0x10000302u
#define INTERNAL_CMD_DISCONNECT 0x10000400u
#define INTERNAL_CMD_RADIO_PERIODIC 0x10000500u
#define INTERNAL_CMD_MCAST_CON_ABORT 0x10000800u
#define INTERNAL_CMD_REMOVE_PEER 0x10000900u         // 6-byte peer address
#define INTERNAL_CMD_ADD_PEER 0x10000901u            // 6-byte peer address
#define INTERNAL_CMD_ICS_FILE 0x80000001u            // byte 0: 1 opens the ICS log, else closes it
#define INTERNAL_CMD_ICS_WRITE 0x80000002u           // one ICS log packet, its first u16 its length

// Link loss reports the disassociation with 802.11 reason 2 and source code 107.
#define LINK_LOSS_REASON 2u
#define LINK_LOSS_SOURCE 107u
// Calibration states the collection sets: all records requested, file written.
#define FACT_CAL_STATE_COLLECTED 4
#define FACT_CAL_STATE_WRITTEN 5
// The calibration cursor after a walk that met a key no record maps to.
#define FACT_CAL_CURSOR_ENDED 99
// The driver-wide cursor of the runtime calibration collection into the chip's calibration keys; the
// calibration file reader sets it to 0 when it asks for a refresh.
extern UCHAR g_FactCalCursor;

// ICS log file records: a 16-byte header before each ICS packet and, every "IcsTimeSyncCnt" records, a
// 24-byte time-sync record.
#define ICS_RECORD_MAGIC 0x44D9C99Au
#define ICS_RECORD_HEADER_SIZE 16
#define ICS_TIME_SYNC_SIZE 24
#pragma pack(push, 1)
typedef struct _ICS_RECORD_HEADER {
    ULONG Magic;
    USHORT Version;  // 1
    USHORT Counter;  // the adapter's ICS record counter
    ULONG Reserved;
    USHORT Type;     // 12: an ICS packet follows
    USHORT Length;   // bytes of the packet
} ICS_RECORD_HEADER;
typedef struct _ICS_TIME_SYNC_RECORD {
    ULONG Magic;
    USHORT Version;  // 1
    USHORT Counter;
    ULONG Reserved;
    USHORT Type;     // 0x0110
    USHORT Length;   // 8
    ULONG64 UnixTimeNs;  // nanoseconds since 1970-01-01 UTC
} ICS_TIME_SYNC_RECORD;
#pragma pack(pop)
static_assert(sizeof(ICS_RECORD_HEADER) == ICS_RECORD_HEADER_SIZE, "ICS record header is 16 bytes");
static_assert(sizeof(ICS_TIME_SYNC_RECORD) == ICS_TIME_SYNC_SIZE, "ICS time-sync record is 24 bytes");
#define ICS_RECORD_TYPE_PACKET 12u
#define ICS_RECORD_TYPE_TIME_SYNC 0x0110u

// Executes one internal command on the control or the ICS thread (and, to close the ICS log, from the
// teardown). Commands are dropped while the adapter halts, is suspended or the device does not answer.
NTSTATUS NdisCommonHifControlThreadHandler(PMP_PORT port, ULONG cmdId, PUCHAR payload, ULONG length);
// Fills a 24-byte time-sync record at the head of `buffer` and writes it to an open ICS log when the
// adapter's ICS record counter is a multiple of "IcsTimeSyncCnt" (0: never); TRUE when it was filled.
BOOLEAN nicRxWriteIcsTimeSync(PMP_ADAPTER adapter, PUCHAR buffer);
