// The PCI Express rings of the bus layer: creation, re-initialisation and release of the transmit
// and receive rings on common buffers, the register restore of the older chip, and the calls the
// chip's interrupt handlers make into the ring services.
#pragma once

#include "kshim/nt_types.h"

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

// ---- ring services the interrupt handlers call -------------------------------------------------------------
// Receive ring `ring` has filled descriptors: takes them; returns the number still waiting.
ULONG N6PciRxDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring);
// Second generation's software interrupt delay: TRUE when the ring should be served now.
BOOLEAN N6PciSwDelayIntRxProc(PPCI_HIF_CONTEXT hif, ULONG ring);
// Command ring `ring` (2 or 3) finished descriptors: reclaims them and reports their DMA done.
VOID N6PciTxRingCmdDmaDoneInterrupt(PPCI_HIF_CONTEXT hif, ULONG ring, BOOLEAN unified);
// Services one receive ring: takes its completed descriptors and routes them.
NTSTATUS N6PciProcRxDonePkt(PMP_ADAPTER adapter, ULONG ring);
