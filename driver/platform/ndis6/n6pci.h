// The PCI Express rings of the bus layer: creation, re-initialisation and release of the transmit
// and receive rings on common buffers, the register restore of the older chip, and the calls the
// chip's interrupt handlers make into the ring services.
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/dmaq_rx.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _PCI_HIF_CONTEXT PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;

// ---- ring creation and release (PASSIVE_LEVEL, no traffic) ---------------------------------------------
// Sets adapter flag 0x8, builds the two transmit record pools, then transmit rings 0-3 (4094, 1024,
// 128, 128 slots). With allocate FALSE the rings only get their DMA-done bits back. 0xC0000001
// without a context, adapter or framework device; otherwise the first failure of the steps.
NTSTATUS N6PciInitTransmit(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
// Creates transmit ring `ring` with `slots` descriptors on one common buffer (0xC000009A when the
// buffer cannot be had); every descriptor starts with DMA done set.
NTSTATUS N6PciInitTxRing(PPCI_HIF_CONTEXT hif, ULONG ring, ULONG slots, BOOLEAN allocate);
// With allocate FALSE does nothing (0). Otherwise builds the three receive pools and the receive
// rings: 0 (4095 x 4096), 1 (4095 x 3840; descriptors of 2352 on chip 3503) and, on the second and
// third generation, 2 (768 x 3840).
NTSTATUS N6PciInitRecv(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
// Creates receive ring `ring`: each slot gets a record of the ring's pool, zeroed, and a descriptor
// pointing at it with the length field `bufferSize`. 0xC000009A on a missing buffer or record.
NTSTATUS N6PciInitRxRing(PPCI_HIF_CONTEXT hif, ULONG ring, ULONG slots, ULONG bufferSize, BOOLEAN allocate);
// Release of the rings and their pools. The chip's DMA is stopped first (while the device answers),
// so that it cannot reach a descriptor area or buffer after it is gone.
VOID WpdmaFreeTxRings(PPCI_HIF_CONTEXT hif);
VOID WpdmaFreeRxRings(PPCI_HIF_CONTEXT hif);
// Chip 3404: rewrites the ring registers from the ring records (transmit at 0x4300 + 16h, receive
// at 0x4400 + 16i) and restarts the ring indexes from the chip's DMA indexes.
VOID WpdmaRestoreRingRegs(PPCI_HIF_CONTEXT hif);
// Unmaps the register BAR and clears its address; 0.
NTSTATUS N6PciIoSpaceUnmap(PMP_ADAPTER adapter);
// Second generation at PCI resume: 0xFF to chip register 0x10188.
VOID N6PciResumeInitReg(PMP_ADAPTER adapter);
// The chip's PciXmitStartTxRx (0 when the chip has none).
NTSTATUS N6PciStartTxRx(PPCI_HIF_CONTEXT hif);

// ---- firmware command submission and command-ring completion ----------------------------------------------
struct _TX_DMAQ_DESC;
// Puts one command record on transmit ring `ring` at the CPU index: the record waits on TxDWaitq, the
// descriptor points at its buffer, the slot remembers the command slot index (FW_CMD_SLOT_COUNT
// for none) and, for a real slot, the command layer learns that the command is on a ring; then the
// chip is told. 0xC0000001 while the adapter is gone, or halting or suspended for any command but
// the firmware power control (4); 0xC000009A when the ring has no free descriptor or is not started.
NTSTATUS N6PciTxSendCmd(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* record, ULONG ring, ULONG cmdSlotIndex);
// Command ring `ring` (2 or 3) finished descriptors: under the ring lock, from the reclaim index to
// the chip's DMA index, each finished descriptor is reported sent to the command layer (0x81 when
// unified, else 0xFE) and its record goes back to its pool. A descriptor not yet done stops the
// walk; a DMA index outside the descriptors handed to the chip reclaims nothing.
VOID N6PciTxRingCmdDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring, BOOLEAN unified);

// ---- frame ring submission ------------------------------------------------------------------------------
// A data frame's record buffer: the 32-byte transmit descriptor, the 32-byte transmit packet table
// (TXP) and the header copy. The descriptor on a data ring covers the first 64 bytes; the TXP
// points the chip at the header copy and at the OS packet's fragments.
#define TXP_OFFSET 32u
#define TXP_SIZE 32u
#define TXP_TOKEN_VALID 0x8000u
#define TXP_SEGMENT_LAST 0x8000u
#define TXP_SEGMENT_LENGTH_MASK 0x0FFFu
#define TXP_SEGMENTS 4u
#define TXP_OS_HEADER_LENGTH 24u  // the 802.11 header at the start of the OS frame, sent from the copy
#define TXP_DATA_DESCRIPTOR_LENGTH 64u
// The adapter states in which nothing is put on a ring.
#define ADAPTER_FLAGS_NO_TX_SUBMIT 0x50020140u

// Puts a frame's record on transmit ring `ring` (0 or 1: data, 2: management) at the CPU index: a
// data frame gets its TXP and waits on TxDoneWaitq for its transmit-done report, a management frame
// waits on TxDWaitq for DMA done. The CPU index is written on ring 2 always; on a data ring when
// `kick` is set, when no further packet of the batch follows, or when the port has deferred half
// its doorbell threshold. 0; 0xC0000001 when the adapter halts, is removed, suspended or its radio
// is off, or when the frame's TXP cannot describe it (nothing queued); 0xC000009A when the ring has
// no free descriptor or is not started.
NTSTATUS N6PciTxSendPkt(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* record, ULONG ring, BOOLEAN kick);
// Fills the TXP of a data record from its packet's scatter entries: the token, segment 0 the
// header copy, then the fragments after the OS frame's 802.11 header. FALSE (traced) when the
// frame cannot be described: no queue or side record, a first fragment shorter than the header,
// more than three fragments, or a segment longer than a length word holds.
BOOLEAN N6PciUpdateAppendTxD(PMP_ADAPTER adapter, struct _TX_DMAQ_DESC* record);

// ---- receive ring service ----------------------------------------------------------------------------------
// Receive ring `ring` has filled descriptors: clears its software-delay record (when "SwDlyIntEn")
// and fetches; returns the number still waiting.
ULONG N6PciRxDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring);
// Filled descriptors waiting on the ring, from the chip's CPU and DMA index registers (0 when either
// names no slot of the ring).
ULONG N6PciGetRxDmaPendingCnt(PPCI_HIF_CONTEXT hif, ULONG ring);
// Takes every filled buffer off the ring, gives each slot a fresh record of the ring's pool and
// hands the filled records to the ring's RxProcq; then wakes the ring's receive thread
// ("TxRxThreadMode") or processes them at once. Returns the number of filled descriptors not taken.
ULONG N6PciGetRxDonePkt(PPCI_HIF_CONTEXT hif, ULONG ring);
// Second generation's software interrupt delay: TRUE when the ring should be served now (ring 1
// always; rings 0 and 2 once their pending count or their count of deferrals reaches the ring's
// "SwDlyIntRx..." thresholds, or when both thresholds are 0).
BOOLEAN N6PciSwDelayIntRxProc(PPCI_HIF_CONTEXT hif, ULONG ring);
// Drains the ring's RxProcq through the packet dispatch.
NTSTATUS N6PciProcRxDonePkt(PMP_ADAPTER adapter, ULONG ring);
// The packet type the chip wrote in word 0 of the buffer.
UCHAR N6PciGetRxPktType(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
// Routes one received buffer by its packet type; the record is handed on or returned to its pool.
// A byte count of 2352 or more is dropped; on the second generation the frame ring carries only
// frames and log packets. After a transmit-done report the chip's PCIe low-power controls follow
// whether frames still wait for their report.
VOID N6PciRxPacketHandler(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
// Ring 0: while further records of the batch follow (remaining > 0), the hand-off of received frames
// to the OS waits for the batch's end.
VOID N6PciRxPacketIndicateCheck(PPCI_HIF_CONTEXT hif, ULONG remaining, ULONG ring);
// Transmit-done report (packet type 6): word 0 bits 2-15 the report's length in words (bounded by
// the bytes received), word 1 bits 16-18 the entry format (0, 1, 3 or 5), then the entries. Each
// token (a transmit pool 0 record index; anything at or above the pool size is ignored) completes
// its frame to the OS; the buffer-list completions are handed on every "TpParameter1" entries and
// at the end. The second generation refuses reports beyond its entry limit or of a format below 3
// and sweeps stale frames every "Ageoutreport2" seconds. The record returns to its pool.
VOID N6PciProcessMsduReport(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
// Receive report (packet type 11): a byte count that misses 4 x (20 + 2 + groups) is dropped; group
// 1 (rate word, word 2, RCPI word) and group 2 (time stamp) update port 0's receive-vector store,
// RCPI and RSSI values and running RSSI averages. The record returns to its pool.
VOID N6PciProcessRxReport(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
// Log packet (packet types 12, 13): the chip's log operation, then the record returns to its pool.
VOID N6PciProcessRxIcsPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
