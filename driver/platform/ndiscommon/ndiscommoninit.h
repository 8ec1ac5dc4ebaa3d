// Port allocation and initialisation, the reading of the device configuration at the first
// power-up, and the working configuration and port defaults derived from it.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Allocates a zeroed port block and stores its type and operation mode; on failure *port is null and
// the result 0xC000009A.
NTSTATUS NdisCommonInitAllocPort(PMP_ADAPTER adapter, ULONG portType, ULONG opMode, PMP_PORT* port);
// Locks, events, the port's send thread (and for port 0 the adapter's send thread after recovery).
NTSTATUS NdisCommonInitPort(PMP_PORT port);

// ---- reading the configuration -----------------------------------------------------------------------
// Reads every row of the configuration table from the device's configuration into the registry
// block (a missing or out-of-range value takes the row's default), then derives the values that
// need parsing, the working configuration and port 0's defaults. A configuration that cannot be
// opened answers its status; otherwise the result is that of the description's conversion (0).
NTSTATUS QZCxInitNICReadRegParameters(PMP_ADAPTER adapter);
// The reader as the bring-up calls it.
NTSTATUS NdisCommonInitNICReadRegParameters(PMP_ADAPTER adapter);
// The full paths of the firmware containers, beside the image files of the driver's service and of
// the Bluetooth filter's service. A missing image path or one without a backslash ends the
// procedure with a trace; the paths built so far stay.
void NdisCommonQueryBigFWPath(PMP_ADAPTER adapter);

// ---- working configuration and port defaults ------------------------------------------------------------
// The adapter's working configuration from the registry block.
void NdisCommonInitCopyRegistryToDriverDefaultSetting(PMP_ADAPTER adapter);
// Copies the working values every port receives.
void NdisCommonInitUpdatePortDefaultSetting(PMP_PORT port);
// Resets a port to its own defaults; with keepBssIndex the firmware BSS and own-MAC indexes stay.
void NdisCommonInitPortUserCfg(PMP_PORT port, UCHAR keepBssIndex);
// Adapter-wide start values, after the configuration has been read (a null adapter is traced).
void UserCfgInit(PMP_ADAPTER adapter);
// The supported PHY types and rate sets, and the adapter's band word.
void KOVAInitPhyType(PMP_ADAPTER adapter);
// The port's default ciphers for its authentication algorithm.
void KOVASetDefaultCipher(PMP_ADAPTER adapter, PMP_PORT port);
// Sets the two path counts of the antenna-path word when both are at most 2; otherwise nothing.
void KOVAsetAntennaPath(PMP_ADAPTER adapter, UCHAR first, UCHAR second);
// The first path count.
UCHAR KOVAGetAntennaPath(PMP_ADAPTER adapter);
// The MAC address at power-up: the configured one, else the chip's (a random locally administered
// one when the chip's is all zeros or all ones); port 0 takes it. Result 0.
NTSTATUS NdisCommonInitCheckMacAddress(PMP_ADAPTER adapter);

// ================================================================================================
// Adapter block initialisation, and the firmware and hardware bring-up with its teardown
// ================================================================================================
// Positions in the device's bring-up progress record (adapter->BringUp.Progress).
#define BRINGUP_ENTERED 0
#define BRINGUP_SW_CTRL 2        // threads and ports: the teardown body runs only when it is set
#define BRINGUP_TX_RINGS 3
#define BRINGUP_RX_RINGS 4
#define BRINGUP_PACKET_POOLS 5
#define BRINGUP_MLME 6
#define BRINGUP_TX_STARTED 7     // HIF_PROGRESS_TX_STARTED
#define BRINGUP_RX_STARTED 8     // HIF_PROGRESS_RX_STARTED
#define BRINGUP_FW_DOWNLOADED 9
#define BRINGUP_CLEARED 12

// Prepares what the data path and the command path need before the host interface starts: traffic
// counters, the command queues and the six command-buffer pools, the firmware command queue, the DMA
// enabler, the transmit rings (progress byte 3), the receive rings (byte 4), the OS packet pools (byte
// 5) and the key-mapping pool. The failing step's status; what a failing step built itself is freed
// before it returns (the teardown frees only what the progress bytes show).
NTSTATUS NdisCommonInitAdapterBlock(PMP_ADAPTER adapter, PUCHAR progress);
// Both packet-pool blocks: 1,024 receive records over one shared 8,192-byte buffer and 1,024
// management records with a 2,346-byte buffer each. 0xC000009A on the first allocation failure, after
// freeing what was built.
NTSTATUS NdisCommonInitAllocNBLs(PMP_ADAPTER adapter);
// Frees what NdisCommonInitAllocNBLs built (safe on a partly built or already freed pool).
void NdisCommonInitFreeNBLs(PMP_ADAPTER adapter);
// Zeroes the receive performance indicator block.
void NdisCommonResetPerfIndicator(PMP_ADAPTER adapter);

// The first power-up's bring-up: software control (threads, port 0), chip versions, configuration,
// adapter block, MLME, host interface start, the firmware download and the first settings sent to
// the firmware. A failing step (software control, versions, configuration, adapter block, MLME,
// transmit and receive start, the firmware-log set-up, the download) runs the full teardown and its
// status is returned.
NTSTATUS NdisWdiInitFwHwSw(PMP_ADAPTER adapter);
// The teardown entry: stops the ICS logger, closes the SAR sensor, then the normal teardown or, after
// surprise removal, the surprise-removal teardown. Always 0.
NTSTATUS DeInitStopIcs(PMP_ADAPTER adapter);
// The normal teardown (its body only when progress byte 2 is set; the neighbour-AP list, the power
// tables and the firmware image caches always). Always 0. Safe to run again: each undo clears its byte.
NTSTATUS DeInitFwHwSw(PMP_ADAPTER adapter);
// The teardown after surprise removal: no firmware command, no driver ownership, no transmit and
// receive stop, no 50 ms wait (the surprise-removal handler already stopped the threads). Always 0.
NTSTATUS DeInitFwHwSwSurpriseRemove(PMP_ADAPTER adapter);
// The framework's surprise removal: marks the adapter removed, stops the threads, wakes every
// waiter of a firmware command, returns the pending packets and shuts the NIC down when it ran.
void SurpriseRemovedHandler(PMP_ADAPTER adapter);
