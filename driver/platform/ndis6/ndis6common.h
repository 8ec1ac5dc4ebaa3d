// The adapter's separately allocated blocks, port termination and release, and port helpers.
#pragma once

#include "kshim/wdf.h"

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

// ---- configuration values written back ------------------------------------------------------------------
// Bits of Ndis6CommonSetRegistry's mask.
#define REGISTRY_WRITE_RADIO 0x01u             // "Radio"
#define REGISTRY_WRITE_LAST_CHANNEL 0x02u      // "LastChannel"
#define REGISTRY_WRITE_LAST_BAND 0x04u         // "LastBand"
#define REGISTRY_WRITE_COUNTRY 0x08u           // "CountryRegionString"
#define REGISTRY_WRITE_LOG2AIR 0x10u           // "Log2AirEnable"
#define REGISTRY_WRITE_ALL 0x1Fu

// Reads "TestYBFlag" of the device configuration into the adapter's value; a failed open or query
// answers its status (the value then stays).
NTSTATUS Ndis6CommonGetRegistryTestYBFlag(PMP_ADAPTER adapter);
// Writes "TestYBFlag" into the device configuration.
NTSTATUS Ndis6CommonSetRegistryTestYBFlag(PMP_ADAPTER adapter, ULONG value);
// Writes the configuration values the mask selects, from bit 0 upward, so that they survive a
// restart. A failed write ends the call with its status; a bit above REGISTRY_WRITE_LOG2AIR ends it
// with 0xC0000001 (the lower bits are written by then).
NTSTATUS Ndis6CommonSetRegistry(PMP_ADAPTER adapter, ULONG mask);
// Tells the companion Bluetooth driver the country (and, in SAR sensor mode 1, the sensor value)
// through its region key. A missing companion driver is a traced failure.
NTSTATUS Ndis6CommonSetRegistryCurCountryForBt(PMP_ADAPTER adapter, USHORT countryCode);
// Records the device power state (D0 to D3 final as 0 to 4) as "PowerState" of the driver's service
// parameters; any other state answers 0xC0000001 and writes nothing.
NTSTATUS Ndis6CommonSetRegistryPowerState(PMP_ADAPTER adapter, WDF_POWER_DEVICE_STATE state);
// True when the platform's FADT marks it capable of low-power S0 idle.
BOOLEAN GetModStdbyCapabilityLaptop(PMP_ADAPTER adapter);

#define STA_CAPABILITY_COUNTS 6
// Stores 4, 1, 32, 64, 4 and 13 in the six counts and 0 in the word after them.
void N6SetStaCapabilityCounts(ULONG counts[STA_CAPABILITY_COUNTS + 1]);

// ---- buffer-list wrapping and the receive context of the buffer-list path ---------------------------------
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;
typedef struct _PACKET_RECORD PACKET_RECORD, *PPACKET_RECORD;
typedef struct _DOT11_EXTSTA_RECV_CONTEXT DOT11_EXTSTA_RECV_CONTEXT, *PDOT11_EXTSTA_RECV_CONTEXT;

// Copies a frame the access-point relay sends on into a wrapper of the management-frame block and
// makes a transmit record of pool 0 of it (origin 2). Null, with nothing held, when the frame is 2347
// bytes or longer, no wrapper or record is free, or the conversion refuses the frame. The record's
// completion gives the wrapper back. NdisCommonAllocateNdisNetBufferList forwards.
PTX_DMAQ_DESC NdisCommonAllocateNdisNetBufferList(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* data,
                                                  ULONG length);
PTX_DMAQ_DESC Ndis6CommonAllocateNdisNetBufferList(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* data,
                                                   ULONG length);
// Puts a wrapper back at the tail of the management-frame block's free list.
void Ndis6CommonReturnMgmtWrapper(PMP_ADAPTER adapter, PPACKET_RECORD wrapper);
// Fills the 802.11 receive context of a received frame of the port: an access-point port marks the
// frame raw, a nonzero timestamp is stored and flagged.
void Ndis6CommonFillReceiveContext(PMP_ADAPTER adapter, PMP_PORT port, PDOT11_EXTSTA_RECV_CONTEXT context,
                                   ULONG64 timestamp);
