// The adapter's separately allocated blocks, port termination and release, and port helpers.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _SUPPORTED_PHY_TYPES SUPPORTED_PHY_TYPES, *PSUPPORTED_PHY_TYPES;

// Allocates, zeroed and in order, the Wi-Fi Direct block, the two packet-pool blocks, the
// host-interface context, the common block with its buffer and the supported-PHY-type list. The
// first failure answers 0xC000009A and leaves the blocks already allocated for the release path.
NTSTATUS Ndis6CommonAllocAdapterBlock(PMP_ADAPTER adapter);
// Clears the signature and frees every block, clearing each pointer; safe to call again.
void Ndis6CommonDeallocAdapterBlock(PMP_ADAPTER adapter);

// Frees the owned buffers and the MLME timers of every active port.
void Ndis6CommonFreeAllPortResource(PMP_ADAPTER adapter);
void Ndis6CommonPortFreeVariableIE(PMP_PORT port);
void Ndis6CommonPortFreePrivacyExemptionList(PMP_PORT port);

void N6TermPort(PMP_PORT port);
void N6FreePort(PMP_PORT port);
// Terminates and frees every existing port.
void N6FreePortMemory(PMP_ADAPTER adapter);
void N6ResetPortConnectFlags(PMP_PORT port);

// The MAC address of a virtual port: the adapter's current address, with a nonzero index placed by kind.
void Ndis6CommonGetNewMacAddress(PMP_ADAPTER adapter, PVOID unused, UCHAR index, UCHAR kind, PUCHAR address);
// Copies the PHY-type list into a list with room for `capacity` codes; 0x80000005 when it does not fit.
NTSTATUS Ndis6CommonQuerySupportedPhyTypes(PMP_ADAPTER adapter, ULONG capacity, PSUPPORTED_PHY_TYPES list);

// Reads one byte value of the driver's service parameters key: the first byte of its data. A
// missing value leaves *value as it was and answers the registry's status.
NTSTATUS Ndis6CommonGetRegistryServiceValue(PCWSTR valueName, PUCHAR value);

#define STA_CAPABILITY_COUNTS 6
// Stores 4, 1, 32, 64, 4 and 13 in the six counts and 0 in the word after them.
void N6SetStaCapabilityCounts(ULONG counts[STA_CAPABILITY_COUNTS + 1]);
