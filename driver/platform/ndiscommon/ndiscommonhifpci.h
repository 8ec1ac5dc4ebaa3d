// The PCI Express bus layer: the host-interface context, the only code that touches the chip's
// memory BAR (one 32-bit register by chip address, a range of chip memory, the movable and legacy
// register windows), and the device's PCI configuration space through the bus interface.
#pragma once

#include "kshim/hal.h"
#include "kshim/wdf.h"
#include "platform/ndiscommon/ndiscommon.h"

#define PCI_TX_RING_COUNT 4
#define PCI_RX_RING_COUNT 3

// Software transmit rings: two data rings, the firmware-command ring (also every management frame)
// and the firmware-download ring; and their slot counts.
#define PCI_TX_RING_DATA0 0
#define PCI_TX_RING_DATA1 1
#define PCI_TX_RING_COMMAND 2
#define PCI_TX_RING_DOWNLOAD 3
#define PCI_TX_RING0_SLOTS 4094u
#define PCI_TX_RING1_SLOTS 1024u
#define PCI_TX_RING2_SLOTS 128u
#define PCI_TX_RING3_SLOTS 128u
#define PCI_TX_RING_MAX_SLOTS PCI_TX_RING0_SLOTS
// Receive rings: frames, firmware events, transmit-done reports (second and third generation only).
#define PCI_RX_RING0_SLOTS 4095u
#define PCI_RX_RING1_SLOTS 4095u
#define PCI_RX_RING2_SLOTS 768u
#define PCI_RX_RING_MAX_SLOTS PCI_RX_RING0_SLOTS
#define PCI_RX_RING0_BUFFER 4096u
#define PCI_RX_RING1_BUFFER 3840u
#define PCI_RX_RING1_BUFFER_QZ3503 2352u
#define PCI_RX_RING2_BUFFER 3840u
// A DMA index beyond this is never a slot of any ring.
#define PCI_DMA_INDEX_MAX 4093u
// Ring indexes and counts are 12-bit in the chip.
#define PCI_RING_INDEX_MASK 0xFFFu
// The command-slot index of a descriptor that carries no firmware command.
#define PCI_RING_NO_CMD_SLOT 20u

// The 16-byte hardware descriptor of every ring, little-endian.
#pragma pack(push, 1)
typedef struct _WPDMA_DESC {
    ULONG BufferLow;   // buffer address bits 0-31
    ULONG Control;     // bits 16-29 length, bit 30 last segment, bit 31 DMA done; bits 0-15 zero
    ULONG Word2;       // receive: buffer address bits 32-63; transmit: 0
    ULONG Word3;       // transmit: bits 0-15 buffer address bits 32-47; receive: 0
} WPDMA_DESC, *PWPDMA_DESC;
#pragma pack(pop)
static_assert(sizeof(WPDMA_DESC) == 16, "WPDMA_DESC is 16 bytes");
#define WPDMA_DESC_SIZE 16u
#define WPDMA_CTRL_DMA_DONE 0x80000000u
#define WPDMA_CTRL_LAST_SEGMENT 0x40000000u
#define WPDMA_CTRL_LENGTH_SHIFT 16
#define WPDMA_CTRL_LENGTH_MASK 0x3FFFu

struct _RX_DMAQ_DESC;

// One descriptor and what rides on it; the same record on both ring kinds.
typedef struct _DMA_RING_SLOT {
    ULONG DescriptorSize;         // always 16
    PWPDMA_DESC DescriptorVa;     // inside the ring's common buffer
    ULONG64 DescriptorLa;
    ULONG BufferLength;           // receive: the attached buffer's size; transmit: what was queued
    PVOID BufferVa;               // receive buffer, or the queued record's buffer (transmit)
    ULONG64 BufferLa;             // receive rings
    struct _RX_DMAQ_DESC* Record; // the receive record owning the buffer (receive rings)
    ULONG CmdSlotIndex;           // FW_CMD_SLOT index of a queued command; PCI_RING_NO_CMD_SLOT for none
} DMA_RING_SLOT, *PDMA_RING_SLOT;

// A ring's chip registers (chip addresses), filled by the chip's ring programming.
typedef struct _PCI_RING_REGS {
    ULONG Base;
    ULONG CpuIndex;
    ULONG DmaIndex;
    ULONG Count;
} PCI_RING_REGS;

// The descriptor area of a ring.
typedef struct _PCI_RING_AREA {
    WDFCOMMONBUFFER CommonBuffer;
    ULONG Size;                   // slot count x 16
    PUCHAR Va;
    ULONG64 La;
} PCI_RING_AREA;

typedef struct _PCI_TX_RING {
    DMA_RING_SLOT Slots[PCI_TX_RING_MAX_SLOTS];
    ULONG CpuIndex;               // next slot the host fills
    ULONG LastDmaIndex;           // last DMA index read from the chip
    ULONG ReclaimIndex;           // oldest slot not yet reclaimed
    ULONG SlotCount;
    ULONG InFlight;               // handed to the chip and not yet reclaimed
    PCI_RING_REGS Regs;
    PCI_RING_AREA Area;
} PCI_TX_RING, *PPCI_TX_RING;

typedef struct _PCI_RX_RING {
    DMA_RING_SLOT Slots[PCI_RX_RING_MAX_SLOTS];
    ULONG CpuIndex;               // last slot returned to the chip
    ULONG DmaIndex;               // last value read from the chip
    ULONG ReadIndex;              // next slot the host examines: one past the CPU index
    ULONG BufferSize;
    ULONG SlotCount;
    PCI_RING_REGS Regs;
    PCI_RING_AREA Area;
    ULONG SwDelayLastPending;     // software interrupt-delay record
    ULONG SwDelayCount;
} PCI_RX_RING, *PPCI_RX_RING;

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

    // ---- rings ------------------------------------------------------------------------------------
    ULONG SuspendState;              // the chip's PCI suspend and resume
    PCI_HIF_LOCK GeneralLock;        // the chip power code's lock
    PCI_TX_RING TxRing[PCI_TX_RING_COUNT];
    PCI_HIF_LOCK TxRingLock[PCI_TX_RING_COUNT];
    PCI_RX_RING RxRing[PCI_RX_RING_COUNT];  // ring i is guarded by LockArray[i]
    ULONG LastIntStatus;             // the host interrupt status the interrupt handler last read

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
// Creates the device's one framework interrupt object over the first interrupt resource of the
// translated list: the chip's PciMsr is its service routine, PciHandleInterrupt its deferred
// routine, QZCxInterruptEnable / QZCxInterruptDisable its enable and disable callbacks. 0, or
// 0xC0000001 when the list has none, the chip lacks one of its four interrupt operations, or the
// framework refuses the object.
NTSTATUS QZCxHifPciRegisterInterrupt(PPCI_HIF_CONTEXT hif, WDFCMRESLIST raw, WDFCMRESLIST translated);

// ---- ring locks: every ring lock is taken with the IRQL raised to DISPATCH_LEVEL -------------------------
VOID NdisCommonHifPciAcquireTxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring);
VOID NdisCommonHifPciReleaseTxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring);
VOID NdisCommonHifPciAcquireRxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring);
VOID NdisCommonHifPciReleaseRxRingLock(PPCI_HIF_CONTEXT hif, ULONG ring);
// Free descriptors of a transmit ring (one slot always stays empty); the caller holds the ring lock.
ULONG NdisCommonHifPciTxRingFreeCount(const PCI_TX_RING* ring);

// ---- the per-frame transmit information ------------------------------------------------------------------
// Built zeroed by every hard-transmit routine and read by the chip's transmit-descriptor writer
// (XmitWriteTxD, hal/common/hal_desc).
typedef struct _TX_FRAME_INFO {
    USHORT Length;              // 802.11 frame in the record, header included, descriptor area not
    UCHAR HeaderLength;         // 24, or 26 after a QoS control field was inserted
    UCHAR BssIndex;
    UCHAR Queue;                // hardware queue; 7 changes the descriptor's count field
    UCHAR FwQueue;              // 1 for frames of the management path
    UCHAR WlanIndex;            // firmware station index of the receiver
    UCHAR Ack;                  // 0: no acknowledgement asked
    UCHAR Tid;
    UCHAR OwnMacIndex;
    UCHAR Protection;           // 0 unprotected, else the cipher (4 also a protected management frame)
    UCHAR HeaderPadding;        // 2 after a QoS control field was inserted
    UCHAR PacketId;             // transmit-status report asked for (0 none)
    USHORT FrameType;           // 0 management, 1 control, 2 data
    USHORT FrameSubtype;
    PMP_PORT Port;
    UCHAR SkipDescriptor;       // the older chip's writer leaves the descriptor untouched
    UCHAR WfdPort;
    UCHAR GroupAddressed;
    USHORT EtherType;
    UCHAR Eapol;
    UCHAR Kick;
    ULONG SecuritySuite;
    USHORT SecurityHeaderLength;
    UCHAR NdpAnnouncement;
    UCHAR NotNdpAnnouncement;
    UCHAR KeyIndex;             // 255 for none
    UCHAR GroupKey;
    UCHAR MgmtLayout;           // 1 on the management path: type and subtype in the management fields
    UCHAR BlockAckActive;
    UCHAR SpecialAction;
    UCHAR QosHeaderWanted;
    UCHAR AggregationAllowed;
    UCHAR FrameCheckResults[2];
    UCHAR SpecialFrame;         // DHCP to a group address, or ARP
    UCHAR IcmpEcho;             // an ICMP echo request
    USHORT PortControlState;
    UCHAR KeyState;
    UCHAR BlockAckRequest;
    ULONG BlockAckRequestStart;
} TX_FRAME_INFO, *PTX_FRAME_INFO;

#define TX_FRAME_TYPE_MGMT 0
#define TX_FRAME_TYPE_CTRL 1
#define TX_FRAME_TYPE_DATA 2

// ---- the rest of the bus layer, reached through the host interface facade ------------------------------
typedef struct _FW_CMD_MSG FW_CMD_MSG, *PFW_CMD_MSG;
struct _TX_DMAQ_DESC;
struct _MGMT_TX_REQUEST;

// Ownership (driver own with its time-out, firmware own, ensure driver own before download).
NTSTATUS NdisCommonHifPciPmSetDriverOwn(PPCI_HIF_CONTEXT hif);
NTSTATUS NdisCommonHifPciPmSetFwOwn(PPCI_HIF_CONTEXT hif, ULONG flags);
NTSTATUS NdisCommonHifPciEnsureDriverOwn(PPCI_HIF_CONTEXT hif);
// Rings on common buffers: creation (allocate TRUE) or re-initialisation (FALSE), release.
NTSTATUS NdisCommonHifPciInitTransmit(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
NTSTATUS NdisCommonHifPciInitRecv(PPCI_HIF_CONTEXT hif, BOOLEAN allocate);
VOID NdisCommonHifPciFreeTransmit(PPCI_HIF_CONTEXT hif);
VOID NdisCommonHifPciFreeRecv(PPCI_HIF_CONTEXT hif);
// 0xC0000001 while the adapter is removed or gone (flags 0x10000100); else the chip's
// PciXmitStartTxRx (0 when the chip has none).
NTSTATUS NdisCommonHifPciStartTxRx(PPCI_HIF_CONTEXT hif);
// 0xC0000001 while the adapter is removed or gone, else 0; touches no hardware.
NTSTATUS NdisCommonHifPciStopTxRx(PPCI_HIF_CONTEXT hif);
// Reclaims the descriptors of transmit ring `ringSelector` that the chip has finished, under the
// ring lock, and returns the ring's free descriptors. A DMA index outside the descriptors handed to
// the chip (beyond the ring, or past the CPU index) reclaims nothing.
ULONG NdisCommonHifPciUpdateTxRingIdx(PPCI_HIF_CONTEXT hif, UCHAR ringSelector);
// 0 when transmit ring `ring` has at least `count` free descriptors; 0xC000009A when it has not or
// the ring does not exist; 0xC0000001 for a count of 0.
NTSTATUS NdisCommonHifPciFreeDescriptorRequest(PPCI_HIF_CONTEXT hif, UCHAR ring, ULONG count);
// The older chip's firmware erase: the power-control command with 1, then up to 500 polls of the
// chip's firmware sync value 1 ms apart; 0 (and the firmware-running flag cleared) as soon as it
// reads 0, else the power-control command's status.
NTSTATUS NdisCommonHifPciEraseFirmware(PPCI_HIF_CONTEXT hif);
// Before and after the chip is suspended for wake-on-WLAN: returns once no command record waits on
// TxDWaitq, no command slot is in use and no SER step runs, or after 1 s (2 s when a SER step ran
// at entry). PASSIVE_LEVEL.
VOID WaitFwCmdAndSerFinish(PMP_ADAPTER adapter);
// One management frame on its way to the command ring: a block of the MLME pool (the frame is another).
typedef struct _MGMT_TX_REQUEST {
    UCHAR Valid;               // 1
    UCHAR NdpAnnouncement;     // a control frame of subtype 5
    struct _MGMT_TX_REQUEST* Next;
    PUCHAR Frame;              // an MLME buffer
    ULONG Length;
} MGMT_TX_REQUEST, *PMGMT_TX_REQUEST;
// Submission of frames and firmware commands. The data hard transmits of the buffer-list path check
// the frame (25-2346 bytes, a first buffer holding the header, the port's 802.11h and carrier-detect
// blocks), choose the ring and go on as the NetAdapterCx hard transmits do; the management path puts
// a frame (at most 4064 bytes) behind a 32-byte descriptor on ring 2. MiniportMMRequest frees the
// frame in every case.
NTSTATUS NdisCommonHifPciXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
NTSTATUS NdisCommonHifPciApXmitHardTransmit(PPCI_HIF_CONTEXT hif, struct _TX_DMAQ_DESC* packet);
NTSTATUS NdisCommonHifPciMiniportMMRequest(PPCI_HIF_CONTEXT hif, PUCHAR frame, ULONG length, UCHAR sequence);
NTSTATUS NdisCommonHifPciMlmeHardTransmit(PPCI_HIF_CONTEXT hif, struct _MGMT_TX_REQUEST* request, ULONG arg);
// Places one firmware command message on the command ring (selector 1) or the download ring (0;
// the older chip uses the download ring for everything until its firmware runs): the message is
// copied into a record of transmit pool 1 (download data of the second and third generation
// without its 64-byte prefix) and given one descriptor. 0xC0000001 for a bad selector, a message
// over 4096 bytes or an empty pool; 0xC000009A for a full ring; a failure of the placing itself is
// also reported to the command layer as a legacy sent report, so that the waiter wakes.
NTSTATUS NdisCommonHifPciCmdSendMsg(PPCI_HIF_CONTEXT hif, PFW_CMD_MSG message, ULONG ringSelector);
NTSTATUS NdisCommonHifPciSetPowerbyPortWOWLan(PMP_PORT port, ULONG state);
