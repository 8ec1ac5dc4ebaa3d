// The PCI Express bus layer: the host-interface context, the only code that touches the chip's
// memory BAR (one 32-bit register by chip address, a range of chip memory, the movable and legacy
// register windows), and the device's PCI configuration space through the bus interface.
#pragma once

#include "kshim/hal.h"
#include "kshim/wdf.h"
#include "platform/ndiscommon/ndiscommon.h"

#define PCI_RX_RING_COUNT 3

// The lock array: entries 0 to 2 guard the receive rings, entry 3 is the register remap lock that
// every movable- or legacy-window sequence holds.
#define PCI_HIF_LOCK_COUNT 4
#define PCI_HIF_LOCK_REMAP 3

typedef struct _PCI_HIF_LOCK {
    KSPIN_LOCK Lock;
    KIRQL OldIrql;  // the level the holder came from
} PCI_HIF_LOCK, *PPCI_HIF_LOCK;

// Smallest memory resource that is taken for the register BAR.
#define PCI_BAR_MIN_LENGTH 0x10000u

// What a read of a configuration-space word gives when the bus does not answer it.
#define PCI_CONFIG_READ_FAILED 0xDEADDEADu

// Device status of a register access that found the device removed, the BAR unmapped, or all ones.
#ifndef STATUS_DEVICE_REMOVED
#define STATUS_DEVICE_REMOVED ((NTSTATUS)0xC00002B6L)
#endif

typedef struct _PCI_HIF_CONTEXT {
    // ---- register access ----------------------------------------------------------------------
    PMP_ADAPTER Adapter;
    // The register BAR as mapped at hardware preparation; BarVa is null while unmapped.
    ULONG BarLength;
    PUCHAR BarVa;
    PHYSICAL_ADDRESS BarStart;
    PCI_HIF_LOCK LockArray[PCI_HIF_LOCK_COUNT];

    // ---- identity, recorded when the PCI interface starts --------------------------------------
    PDEVICE_OBJECT Pdo;
    PDEVICE_OBJECT Fdo;
    PDEVICE_OBJECT NextLowerDevice;
    UCHAR RevisionId;
    USHORT VendorId;
    USHORT DeviceId;
    USHORT SubsystemVendorId;
    USHORT SubsystemId;

    // ---- the interrupt resource, for the interrupt registration -------------------------------
    ULONG InterruptVector;
    ULONG InterruptIndex;  // its index in both resource lists
    PCM_PARTIAL_RESOURCE_DESCRIPTOR InterruptRaw;
    PCM_PARTIAL_RESOURCE_DESCRIPTOR InterruptTranslated;

    // ---- hardware ring numbers of the software transmit rings, set at chip selection ----------
    UCHAR HwRingDownload;  // software transmit ring 3
    UCHAR HwRingCommand;   // software transmit ring 2
    UCHAR HwRingData0;     // software transmit rings 0 and 1
    UCHAR HwRingData1;

    // ---- receive threads ------------------------------------------------------------------------
    // "RxThread0" to "RxThread2"; a thread's wake event is its receive ring's event.
    PLATFORM_THREAD RxThread[PCI_RX_RING_COUNT];
} PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;

// ---- registers by chip address (IRQL <= DISPATCH_LEVEL) --------------------------------------------
// 0 on success (the value stored); 0xC0000001 for a null context, an unavailable legacy window or an
// offset beyond the BAR; 0xC00002B6 when the adapter is removed or gone (flag bits 0x10000100), the
// BAR is unmapped (neither touches the device), or the value read is all ones (the value is stored).
NTSTATUS NdisCommonHifPciReadReg(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value);
// 0 on success; 0xC00002B6 for a null context, a removed device or an unmapped BAR; 0xC0000001 for
// an unavailable legacy window or an offset beyond the BAR. Every store is followed by a full fence.
NTSTATUS NdisCommonHifPciWriteReg(PPCI_HIF_CONTEXT hif, ULONG chipAddress, ULONG value);

// The third generation's movable windows, positioned for one access under the remap lock; the
// window position is restored afterwards. Without the window pair they trace and do nothing.
VOID NdisCommonHifPciDevRegL1Read(PPCI_HIF_CONTEXT hif, ULONG windowAddress, PULONG value);
VOID NdisCommonHifPciDevRegL1Write(PPCI_HIF_CONTEXT hif, ULONG windowAddress, ULONG value);
VOID NdisCommonHifPciDevRegL2Read(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value);
VOID NdisCommonHifPciDevRegL2Write(PPCI_HIF_CONTEXT hif, ULONG chipAddress, ULONG value);
// The legacy 512 KB window (select register 0x80000504, BAR 0x80000-0xFFFFF): 0, or 0xC0000001 when
// the chip cannot reach the select register.
NTSTATUS NdisCommonHifPciLegacyRegRead(PPCI_HIF_CONTEXT hif, ULONG chipAddress, PULONG value);
NTSTATUS NdisCommonHifPciLegacyRegWrite(PPCI_HIF_CONTEXT hif, ULONG chipAddress, ULONG value);
// The chip's BusAddrRemap operation; false when the chip has none or no fixed window covers the address.
BOOLEAN NdisCommonHifPciBusAddrRemap(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);

// Copies byteCount bytes of chip memory from startAddress through the L2 window, 64 KB per window
// position. 0 also when the chip has no window pair (the buffer then stays as it was).
NTSTATUS NdisCommonHifPciReadRegRange(PPCI_HIF_CONTEXT hif, ULONG startAddress, PUCHAR buffer, ULONG byteCount);

// ---- configuration space (the bus interface's rules for IRQL) ---------------------------------------
// One 32-bit word at an offset; PCI_CONFIG_READ_FAILED when the bus does not answer 4 bytes.
ULONG NdisCommonHifPciReadConfigurationSpace(PMP_ADAPTER adapter, ULONG offset);
VOID NdisCommonHifPciWriteConfigurationSpace(PMP_ADAPTER adapter, ULONG offset, ULONG value);

// ---- interrupt registration ---------------------------------------------------------------------------
// Takes the first interrupt resource of the translated list for the device's interrupt; 0, or
// 0xC0000001 when the list has none or the chip lacks its service, deferred, enable or disable
// operation. The framework interrupt object itself comes with the interrupt object registration;
// until then the resource is recorded in the context and no object is created.
NTSTATUS QZCxHifPciRegisterInterrupt(PPCI_HIF_CONTEXT hif, WDFCMRESLIST raw, WDFCMRESLIST translated);

// ---- the rest of the bus layer, reached through the host interface facade ------------------------------
typedef struct _FW_CMD_MSG FW_CMD_MSG, *PFW_CMD_MSG;
struct _TX_DMAQ_DESC;
struct _MLME_HARD_TX_REQUEST;

// Ownership (driver own with its time-out, firmware own, ensure driver own before download).
NTSTATUS NdisCommonHifPciPmSetDriverOwn(PPCI_HIF_CONTEXT hif);
NTSTATUS NdisCommonHifPciPmSetFwOwn(PPCI_HIF_CONTEXT hif, ULONG flags);
NTSTATUS NdisCommonHifPciEnsureDriverOwn(PPCI_HIF_CONTEXT hif);
// Rings on common buffers.
NTSTATUS NdisCommonHifPciInitTransmit(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
NTSTATUS NdisCommonHifPciInitRecv(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
VOID NdisCommonHifPciFreeTransmit(PPCI_HIF_CONTEXT hif);
VOID NdisCommonHifPciFreeRecv(PPCI_HIF_CONTEXT hif);
NTSTATUS NdisCommonHifPciStartTxRx(PPCI_HIF_CONTEXT hif);
NTSTATUS NdisCommonHifPciStopTxRx(PPCI_HIF_CONTEXT hif);
ULONG NdisCommonHifPciUpdateTxRingIdx(PPCI_HIF_CONTEXT hif, UCHAR ringSelector);
NTSTATUS NdisCommonHifPciFreeDescriptorRequest(PPCI_HIF_CONTEXT hif, UCHAR ring, ULONG count);
NTSTATUS NdisCommonHifPciEraseFirmware(PPCI_HIF_CONTEXT hif);
// Submission of frames and firmware commands.
NTSTATUS NdisCommonHifPciXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
NTSTATUS NdisCommonHifPciApXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
NTSTATUS NdisCommonHifPciMiniportMMRequest(PPCI_HIF_CONTEXT hif, PUCHAR frame, ULONG length, UCHAR sequence);
NTSTATUS NdisCommonHifPciMlmeHardTransmit(PPCI_HIF_CONTEXT hif, struct _MLME_HARD_TX_REQUEST* request, ULONG arg);
NTSTATUS NdisCommonHifPciCmdSendMsg(PPCI_HIF_CONTEXT hif, PFW_CMD_MSG message, ULONG ringSelector);
NTSTATUS NdisCommonHifPciSetPowerbyPortWOWLan(PMP_PORT port, ULONG state);
