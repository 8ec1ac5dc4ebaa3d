// Second-generation chip code (3501, 3502, 3503 and their alias ids), shared by the whole
// generation, and the ownership routines the third generation shares with it.
#pragma once

#include "hal/common/hal_chip.h"

// ---- firmware download ----------------------------------------------------------------------
// Loaders of the operations table: ROM patch (slot 1), Bluetooth ROM patch (slot 2; 3501 and 3502),
// RAM code (slot 4). Each returns 0 or the status of the step that failed.
NTSTATUS AsicArvel2xLoadRomPatch(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xLoadBtRomPatch(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xLoadFirmware(PMP_ADAPTER adapter);
// Nothing to erase on this generation: returns 0, so the bring-up downloads again over a firmware
// that already runs.
NTSTATUS AsicArvel2xEraseFirmware(PMP_ADAPTER adapter);
// The firmware state register (0 ROM not running, 1 ROM ready for download, 3 RAM code running);
// 0 when the register cannot be read.
#define ARVEL_FW_STATE_REGISTER 0x7C0600F0u
ULONG AsicArvel2xGetFwSyncValue(PMP_ADAPTER adapter);

// The download commands, each the send call's status: the patch semaphore (status byte cleared
// first), download init (kind 2 selects the patch init command, any other the region init),
// download data, patch finish, firmware start, the Bluetooth patch query and finish.
NTSTATUS AsicArvel2xPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation);
NTSTATUS AsicArvel2xDownloadInit(PMP_ADAPTER adapter, ULONG address, ULONG length, ULONG dataMode, ULONG kind);
NTSTATUS AsicArvel2xFwScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length);
NTSTATUS AsicArvel2xPatchFinish(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xFwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2);
NTSTATUS AsicArvel2xBtPatchQuery(PMP_ADAPTER adapter, ULONG targetAddress);
NTSTATUS AsicArvel2xBtPatchFinish(PMP_ADAPTER adapter, UCHAR value);
// Downloads every section of a parsed list and frees the list.
NTSTATUS AsicArvel2xwlanDownloadSectionV2(PMP_ADAPTER adapter, ULONG dataMode, ULONG kind,
                                          struct _PATCH_SECTION_LIST* list);
// Asks the ROM whether the Bluetooth patch is present (up to 51 queries 100 microseconds apart
// while its answer's status is 0); when it is not, *address takes the address the ROM answered.
BOOLEAN AsicArvel2xwlanBtPatchIsDownloaded(PMP_ADAPTER adapter, ULONG targetAddress, PULONG address);

// ---- post-download initialisation (slot 9) ----------------------------------------------------------
// Capability query (the chip's transmit path mask and stream limits are copied from its answer),
// basic configuration, the register write through the firmware, the buffer-bin, dual-band
// concurrency off, the radio-status query ("EthernetDetection"), then the chip configuration texts
// and the EDCCA antenna gain. 0, or the status of the first step that failed (the register write and
// the radio-status query do not count).
NTSTATUS AsicArvel2xPostFwDownloadInit(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xQueryNicCapability(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xUpdateFwBasicConfig(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xDownloadBufferBin(PMP_ADAPTER adapter);
// Chip configuration texts; each returns 0 without sending when its condition does not hold.
NTSTATUS AsicArvel2xSetPassiveToActiveScan(PMP_ADAPTER adapter);  // "PassiveToActiveScan" 0
NTSTATUS AsicArvel2xSetFWChipConfig(PMP_ADAPTER adapter);         // "LinkDtSapCheckIntervalP2pGo"
NTSTATUS AsicArvel2xUpdateThermalThreshold(PMP_ADAPTER adapter);  // "DowngradeTxStreamTemp"
NTSTATUS AsicArvel2xUpdateTherAdm(PMP_ADAPTER adapter);           // "TherAdm", device id 0x3504

// ---- recovery and reset ---------------------------------------------------------------------
// Firmware recovery (slot 10): empties the command queue, pauses the OS transmit path, keeps five
// chip registers, resets the Wi-Fi subsystem, restarts the rings and interrupts, downloads the
// firmware again, re-activates ports 0 and 1 and, when port 0 is connected, replays the connection
// into the new firmware and writes the kept registers back. 0 when port 0 was not connected, else the
// power-management command's (or the key restore's) status; a reset or download failure as is.
NTSTATUS AsicArvel2xFwRecovery(PMP_ADAPTER adapter);
// Wi-Fi subsystem reset (slot 11): unlock key, reset pulse, software-init-done poll, ownership
// cycle. 0, or 0xC0000001 when the key does not take, the reset register reads all ones, the
// init-done never comes or "TestYBFlag" is 1. The key register is restored on every exit.
NTSTATUS AsicArvel2xToggleWfsysRst(PMP_ADAPTER adapter);
// Reads 0x7C000140 until bit 4 is set: at most 21 reads 100 microseconds apart; 0 or 0xC0000001.
NTSTATUS AsicArvel2xHalPollWfsysSwInitDone(PMP_ADAPTER adapter);
// After a subsystem reset: the firmware gets the chip and gives it back, so that the driver owns it
// again with the firmware-downloaded flag clear. Failures are traced only.
VOID AsicWfsysResetOwnCycle(PMP_ADAPTER adapter);
// Both generations' firmware recovery: the chip's subsystem reset (a failure traced and returned), then
// the L0.5-done and command-time-out marks cleared so that commands go out again.
NTSTATUS AsicRecoveryResetWfsys(PMP_ADAPTER adapter);
// Both generations' firmware recovery: a step that failed is traced and the recovery goes on.
VOID AsicTraceRecoveryStep(PCSTR step, NTSTATUS status);
#define ARVEL2X_RESET_KEY_REGISTER 0x7C00E260u
#define ARVEL2X_RESET_KEY 0x18007000u
#define ARVEL2X_WFSYS_RESET 0x7C062600u       // BAR 0xE2600 while the key holds; bit 0 asserts the reset
#define ARVEL2X_WFSYS_INIT_DONE 0x7C000140u   // bit 4: the subsystem's software init is done
#define ARVEL2X_WFSYS_INIT_DONE_BIT 0x10u
// Chip registers a second-generation firmware recovery keeps; 0x820C4094 is written 0 first.
#define ARVEL2X_KEPT_REGISTER_GATE 0x820C4094u
#define ARVEL2X_KEPT_REGISTER_FIRST 0x820C6080u
#define ARVEL2X_KEPT_REGISTER_COUNT 5

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN AsicArvel2xIsFwReady(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xHifPciPmSetDriverOwn(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xEnsureDriverOwn(PMP_ADAPTER adapter);
// Second and third generation alike: hands the chip to the firmware; *done = the firmware-own
// status bit.
VOID AsicSetFwOwn(PMP_ADAPTER adapter, PUCHAR done);
VOID AsicGetOwnStatus(PMP_ADAPTER adapter, PUCHAR driverOwns);
VOID AsicRequestDriverOwn(PMP_ADAPTER adapter, PUCHAR driverOwns);

// ---- DMA engine and rings -------------------------------------------------------------------
BOOLEAN AsicArvel2xHalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds);
VOID AsicArvel2xWpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable);
// Also the third generation's routine.
VOID AsicArvel2xWpdmaTxRxDmaCtl(PMP_ADAPTER adapter, UCHAR stop);
NTSTATUS AsicArvel2xPciXmitStartTxRx(PMP_ADAPTER adapter);
// Bytes of transmit descriptor ahead of a firmware command: 64 (also chip 3404).
ULONG AsicArvel2xCmdTxdLength(PMP_ADAPTER adapter);

// ---- interrupts -----------------------------------------------------------------------------
VOID AsicArvel2xDisableInterrupt(PMP_ADAPTER adapter);
VOID AsicArvel2xEnableInterrupt(PMP_ADAPTER adapter);
VOID AsicArvel2xPciHandleInterrupt(WDFINTERRUPT interrupt, WDFOBJECT associatedObject);
BOOLEAN AsicArvel2xPciMsr(WDFINTERRUPT interrupt, ULONG messageId);

// ---- receive dispatch and statistics events -------------------------------------------------
VOID AsicArvel2xRecvProcessIcsLog(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record);
VOID AsicArvel2xPciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel2xPciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel2xPciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel2xProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event);
VOID AsicArvel2xProcessGetMIBInfoEvent(PMP_ADAPTER adapter, PUCHAR event);

// Receive dispatch shared by every generation: a software-defined packet whose sub-type (the 16
// bits at byte 2, masked) is the event type (0x3800 / 0xE000) goes to the firmware event entry, the
// frame type (0x3801 / 0xE001) to `frame`, anything else back to its pool; with `romEvents`, every
// packet is an event while the firmware is not yet in RAM.
#define ARVEL_SW_DEFINED_MASK 0x380Fu
#define QZ3404_SW_DEFINED_MASK 0xE00Fu
VOID AsicSwDefinedDispatch(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record, PFN_CHIP_RX_PACKET frame, USHORT mask,
                           BOOLEAN romEvents);
// Returns a receive record to its pool.
VOID AsicRxRecordReturn(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
// Received frame of any generation (`generation` DESC_GEN_*): parse the descriptor, run the wake
// check, drop a frame whose address 1 is all zeros or that is shorter than an 802.11 header, find
// the port (by the sender's WLAN index 1-19, else by the addresses), record band and channel, take
// the signal values from the receive vector, update the port's signal averages for frames of its
// BSS, and hand the record to the access-point path (operation mode 2 or 3) or the station path.
VOID AsicRxFrameDispatch(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record, UCHAR generation);
// Band and channel of a received frame from the descriptor's channel byte N: band 1 up to 14, 2 up
// to 180, else band 3 with channel (N x 4 + 45) mod 256 (older chip: band 1 below 15, else 2).
VOID AsicRxBandChannel(UCHAR generation, UCHAR n, PULONG band, PUCHAR channel);
// Monitor mode of the second (and, with `third`, the third) generation: a parsed frame with its
// time-stamp group and both receive-vector groups is counted by frame type and passed with its
// radio record to the capture; the record always returns to its pool.
VOID AsicSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record, BOOLEAN third);
// Station statistics event of the second (312-byte payload) or third generation (376 bytes):
// fixed fields into the adapter's record, per-band running totals, cumulative counters and ratios.
VOID AsicStaStatistics(PMP_ADAPTER adapter, PUCHAR event, BOOLEAN third);
// The log packet's buffer and the u16 length at its start (bounded by the bytes received) to the
// firmware event layer's ICS log intake; the caller returns the record.
VOID AsicRecvProcessIcsLog(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);

// ---- transmit descriptor --------------------------------------------------------------------
// The 32-byte transmit descriptor of the generation from the frame information.
VOID AsicArvel2xXmitWriteTxD(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info);
// The receive descriptor of the generation: TRUE when the byte count is acceptable (the frame, its
// length and the groups are then set in the record), FALSE otherwise.
BOOLEAN Qz3501RxdMacHdrParser(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);

// ---- diagnostics ----------------------------------------------------------------------------
VOID AsicArvel2xShowHostCsrInfo(PMP_ADAPTER adapter);

// ---- PCI Express low power ------------------------------------------------------------------
VOID AsicArvel2xPcieCfgSpaceLowPower(PMP_ADAPTER adapter);
// Second and third generation alike.
VOID AsicPcieMacL1ssEnable(PMP_ADAPTER adapter, UCHAR enable);
VOID AsicArvel2xLowPowerEnableInit(PMP_ADAPTER adapter);
VOID AsicArvel2xPcieLTRValue(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn);
// Also chip 3602's routine.
VOID AsicArvel2xPcieDynamicL1(PMP_ADAPTER adapter, BOOLEAN work);
VOID AsicArvel2xPcieAspmCtl(PMP_ADAPTER adapter, ULONG mode);
VOID AsicArvel2xAutoDetectL1ssCap(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xPcieGenSwitch(PMP_ADAPTER adapter);

#define ARVEL2X_CMD_TXD_LENGTH 64

// ---- registers of the second and third generation (chip addresses) ------------------------------
#define ARVEL_HOST_INT_STATUS 0x7C024200u      // write 1 to acknowledge
#define ARVEL_HOST_INT_ENABLE 0x7C024204u      // second generation: written whole; third: read back
#define ARVEL_HOST_INT_ENABLE_SET 0x7C024228u  // third generation
#define ARVEL_HOST_INT_ENABLE_CLR 0x7C02422Cu
#define ARVEL_SW_INT_STATUS 0x7C0241F0u        // MCU-to-host software interrupt, write 1 to acknowledge
#define ARVEL_SW_INT_ENABLE 0x7C0241F4u
#define ARVEL_MAC_INT_ENABLE 0x74030188u       // PCIe MAC interrupt
#define ARVEL_MAC_INT_STATUS 0x7403018Cu       // write the value read back to acknowledge
#define ARVEL_WFDMA_GLO_CFG 0x7C024208u        // bit 0 TX enable, 1 TX busy, 2 RX enable, 3 RX busy
#define ARVEL_WFDMA_IDLE_GEN2 0x7C024000u      // second generation engine 0: busy bits 1 and 3
#define ARVEL_WFDMA_TX_PTR_RESET 0x7C02420Cu
#define ARVEL_WFDMA_RX_PTR_RESET 0x7C024280u
#define ARVEL_WFDMA_TX_RING_REGS 0x7C024300u   // + 0x10 per hardware ring: base, count, CPU, DMA index
#define ARVEL_WFDMA_RX_RING_REGS 0x7C024500u
#define ARVEL_WFDMA_BUSY_BITS 0xAu
#define ARVEL_LOW_POWER_CONTROL 0x7C060010u    // 1 firmware own, 2 driver own; bit 2 reads 1 while the firmware owns
#define ARVEL_LP_FW_OWN 1u
#define ARVEL_LP_DRIVER_OWN 2u
#define ARVEL_LP_FW_OWNS 0x4u
#define ARVEL_RING_MARKER 0x54000120u          // bit 1: ring registers present
#define ARVEL_RING_MARKER_PRESENT 0x2u
// Delayed-interrupt registers, BAR offsets below every chip's identity limit.
#define ARVEL_HW_DELAY_INT_REGISTER 0xD7038u
#define ARVEL_HW_DELAY_INT_CTRL_REGISTER 0xD42F0u
#define ARVEL_HW_DELAY_INT_CTRL 0xC014u

// Host interrupt status bits of the second generation.
#define ARVEL2X_INT_RX1_DONE 0x00000001u
#define ARVEL2X_INT_RX2_DONE_QZ3503 0x00000002u
#define ARVEL2X_INT_RX0_DONE 0x00000004u
#define ARVEL2X_INT_TX0_DONE 0x00000010u
#define ARVEL2X_INT_TX1_DONE 0x00000020u
#define ARVEL2X_INT_DMA_ERROR 0x00100000u
#define ARVEL2X_INT_BIT21 0x00200000u
#define ARVEL2X_INT_RX2_DONE 0x00400000u
#define ARVEL2X_INT_TX3_DONE 0x04000000u
#define ARVEL2X_INT_TX2_DONE 0x08000000u
#define ARVEL_INT_SW 0x20000000u
#define ARVEL_INT_BIT31 0x80000000u
#define ARVEL2X_INT_ENABLE 0x2CC0000Du
#define ARVEL2X_INT_ENABLE_QZ3503 0x2C80000Fu

// ---- ring programming shared by the second and third generation ---------------------------------
// Programs every existing ring into the chip: transmit rings on the context's hardware numbers,
// receive rings on `rxHw`. Transmit rings restart at CPU index 0 with the chip's DMA index; receive
// rings hand the chip every slot but one, and lose DMA-done bits left from before. `fixLength`
// (third generation) rewrites a descriptor length field that differs from the ring's buffer size.
VOID AsicWfdmaProgramRings(PPCI_HIF_CONTEXT hif, const UCHAR rxHw[3], BOOLEAN fixLength);
// Polls `reg` until its busy bits 1 and 3 are clear: at most count + 1 reads, `delay` microseconds
// apart (sleeping where allowed when `mayBlock`, else busy-waiting in 10-microsecond stalls).
BOOLEAN AsicWfdmaPollIdle(PMP_ADAPTER adapter, ULONG reg, ULONG count, ULONG delayMicroseconds, BOOLEAN mayBlock);
// Engine idle wait of both generations on `reg`: engine 1 is idle at once, engines above 1 fail;
// engine 0 is polled busy-waiting.
BOOLEAN AsicWfdmaEngineWaitIdle(PMP_ADAPTER adapter, ULONG reg, ULONG engine, ULONG count, ULONG delayMicroseconds);
// Both engines with count 100 and 1000 microseconds.
BOOLEAN AsicWfdmaPollingAllIdle(PMP_ADAPTER adapter, ULONG reg);
// The ring-registers-present marker and the delayed-interrupt writes of a start of transmit and
// receive ("HwDlyIntEn"); `extra` (non-zero) is written to 0x7C0270E8 too.
VOID AsicWfdmaFinishStart(PMP_ADAPTER adapter, ULONG extra);
// Restore after firmware own: when the marker is clear, `initRing`; then the delayed-interrupt
// writes and the marker.
VOID AsicWfdmaRestoreAfterFwOwn(PMP_ADAPTER adapter, PFN_CHIP_VOID initRing, ULONG extra);

// ---- DMA engine of the second generation --------------------------------------------------------
BOOLEAN AsicArvel2xWfdmaWaitIdle(PMP_ADAPTER adapter, ULONG engine, ULONG count, ULONG delayMicroseconds);
BOOLEAN asicArvel2xWfdmaPollingAllIdle(PMP_ADAPTER adapter);
// Configuration disabled, rings programmed, prefetch, configuration enabled.
VOID AsicArvel2xWpdmaInitRing(PMP_ADAPTER adapter);
VOID AsicArvel2xRestoreRingsAfterFwOwn(PMP_ADAPTER adapter);

// ---- interrupts of the second generation ----------------------------------------------------------
NTSTATUS AsicArvel2xPciHandleInterruptCommon(PMP_ADAPTER adapter);
VOID AsicArvel2xProcessSoftwareInterrupt(PMP_ADAPTER adapter);

// ---- register and time helpers of the chip code ----------------------------------------------------------
ULONG AsicReadReg(PMP_ADAPTER adapter, ULONG reg);
// Read-modify-write of one chip register.
VOID AsicSetRegBits(PMP_ADAPTER adapter, ULONG reg, ULONG set, ULONG clear);
// System time in 100 ns units.
LONG64 AsicSystemTime();
// Busy-waits in stalls of 10 microseconds.
VOID AsicBusyWait(ULONG microseconds);
// The adapter's own spin lock, with its saved IRQL.
VOID AsicAcquireOwnLock(PMP_ADAPTER adapter);
VOID AsicReleaseOwnLock(PMP_ADAPTER adapter);

// ---- ownership shared by the second and third generation ---------------------------------------------
// The end of a driver-own poll that ran since `start`: on success the firmware-own flag pair is
// cleared, the chip's L1 substate detection (when `autoDetect`) and LTR value run and the low-power
// restore flag is cleared; on failure the chip's diagnostic dump runs. Then the rings the chip lost
// are restored (firmware downloaded), and in lock-free mode the poll leaves the own-in-progress count.
// Releases the own lock; returns 0 or 0xC0000001.
NTSTATUS AsicDriverOwnFinish(PMP_ADAPTER adapter, BOOLEAN granted, LONG64 start, ULONG attempts, BOOLEAN autoDetect,
                             PFN_CHIP_VOID restoreRings, BOOLEAN lockFree);
// Clears the firmware-own flag and the byte after it in one store.
VOID AsicClearFwOwnFlag(PMP_ADAPTER adapter);
BOOLEAN AsicFwOwnFlag(PMP_ADAPTER adapter);

// ---- operations table ---------------------------------------------------------------------------
// Zeroes a table and stores the routines that every second-generation chip shares; the chip's own
// table filler adds its own.
VOID AsicArvel2xChipOpsInit(PCHIP_HAL_OPS ops);
