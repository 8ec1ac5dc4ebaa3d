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
