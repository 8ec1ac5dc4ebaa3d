// Resource lists (WdfCmResourceListGetCount, WdfCmResourceListGetDescriptor) and the bus
// interface query (WdfFdoQueryForInterface).
// Included by kshim/wdf.h.
//
// A device's hardware resources reach the driver twice in the prepare-hardware callback: as the
// bus assigned them (raw) and as the processor sees them (translated). A memory range has the same
// start and length in both lists; an interrupt has the bus's vector and level in the raw list and
// the system's in the translated one. The lists belong to the framework: the descriptors stay valid
// until the device's hardware is released.
//
// The PCI bus driver offers the standard bus interface: GetBusData and SetBusData move bytes of the
// device's configuration space. A read the bus cannot complete transfers fewer bytes than asked
// (fault point "pci.config", key "get" or "set": the call then moves half the bytes, rounded down).
#pragma once

// ---- resource descriptors ---------------------------------------------------------------------------
typedef enum _CM_RESOURCE_TYPE_CODES {
    CmResourceTypeNull = 0,
    CmResourceTypePort = 1,
    CmResourceTypeInterrupt = 2,
    CmResourceTypeMemory = 3,
    CmResourceTypeDma = 4,
    CmResourceTypeDeviceSpecific = 5,
    CmResourceTypeBusNumber = 6,
} CM_RESOURCE_TYPE_CODES;

typedef enum _CM_SHARE_DISPOSITION {
    CmResourceShareUndetermined = 0,
    CmResourceShareDeviceExclusive = 1,
    CmResourceShareDriverExclusive = 2,
    CmResourceShareShared = 3,
} CM_SHARE_DISPOSITION;

// Flags of an interrupt descriptor.
#define CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE 0x0000u
#define CM_RESOURCE_INTERRUPT_LATCHED 0x0001u
#define CM_RESOURCE_INTERRUPT_MESSAGE 0x0002u  // message-signalled: the MessageInterrupt member applies
#define CM_RESOURCE_INTERRUPT_POLICY_INCLUDED 0x0004u

// Flags of a memory descriptor.
#define CM_RESOURCE_MEMORY_READ_WRITE 0x0000u
#define CM_RESOURCE_MEMORY_READ_ONLY 0x0001u
#define CM_RESOURCE_MEMORY_PREFETCHABLE 0x0004u

typedef ULONG_PTR KAFFINITY;

typedef struct _CM_PARTIAL_RESOURCE_DESCRIPTOR {
    UCHAR Type;             // CM_RESOURCE_TYPE_CODES
    UCHAR ShareDisposition;  // CM_SHARE_DISPOSITION
    USHORT Flags;
    union {
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Generic;
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Port;
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Memory;
        // A line-based interrupt; in the translated list also the system's view of a message-signalled
        // one (the same layout as MessageInterrupt.Translated).
        struct {
            ULONG Level;
            ULONG Vector;
            KAFFINITY Affinity;
        } Interrupt;
        struct {
            union {
                struct {
                    USHORT Reserved;
                    USHORT MessageCount;  // messages the function may signal
                    ULONG Vector;
                    KAFFINITY Affinity;
                } Raw;
                struct {
                    ULONG Level;
                    ULONG Vector;
                    KAFFINITY Affinity;
                } Translated;
            };
        } MessageInterrupt;
        struct {
            ULONG Data[3];
        } DeviceSpecificData;
    } u;
} CM_PARTIAL_RESOURCE_DESCRIPTOR;
typedef CM_PARTIAL_RESOURCE_DESCRIPTOR* PCM_PARTIAL_RESOURCE_DESCRIPTOR;

// Number of descriptors in a list.
ULONG WdfCmResourceListGetCount(WDFCMRESLIST List);
// The descriptor at an index, or null past the end.
PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST List, ULONG Index);

// ---- bus interfaces -------------------------------------------------------------------------------------
typedef VOID (*PINTERFACE_REFERENCE)(PVOID Context);
typedef VOID (*PINTERFACE_DEREFERENCE)(PVOID Context);

// The head every interface record starts with.
typedef struct _INTERFACE {
    USHORT Size;
    USHORT Version;
    PVOID Context;
    PINTERFACE_REFERENCE InterfaceReference;
    PINTERFACE_DEREFERENCE InterfaceDereference;
} INTERFACE, *PINTERFACE;

#define PCI_WHICHSPACE_CONFIG 0x0u
#define PCI_WHICHSPACE_ROM 0x52696350u

// Moves Length bytes between Buffer and the device's space DataType (PCI_WHICHSPACE_CONFIG) at
// Offset; returns the number of bytes moved.
typedef ULONG (*PGET_SET_DEVICE_DATA)(PVOID Context, ULONG DataType, PVOID Buffer, ULONG Offset, ULONG Length);
typedef BOOLEAN (*PTRANSLATE_BUS_ADDRESS)(PVOID Context, PHYSICAL_ADDRESS BusAddress, ULONG Length,
                                          PULONG AddressSpace, PPHYSICAL_ADDRESS TranslatedAddress);
typedef PVOID (*PGET_DMA_ADAPTER)(PVOID Context, PVOID DeviceDescriptor, PULONG NumberOfMapRegisters);

typedef struct _BUS_INTERFACE_STANDARD {
    USHORT Size;
    USHORT Version;
    PVOID Context;
    PINTERFACE_REFERENCE InterfaceReference;
    PINTERFACE_DEREFERENCE InterfaceDereference;
    PTRANSLATE_BUS_ADDRESS TranslateBusAddress;  // not offered (null)
    PGET_DMA_ADAPTER GetDmaAdapter;              // not offered (null)
    PGET_SET_DEVICE_DATA SetBusData;
    PGET_SET_DEVICE_DATA GetBusData;
} BUS_INTERFACE_STANDARD, *PBUS_INTERFACE_STANDARD;
static_assert(sizeof(BUS_INTERFACE_STANDARD) == 64, "the standard bus interface record is 64 bytes");

// {496B8281-6F25-11D0-BEAF-08002BE2092F}
inline constexpr GUID GUID_BUS_INTERFACE_STANDARD = {
    0x496B8281, 0x6F25, 0x11D0, {0xBE, 0xAF, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

// Asks the bus beneath a device for an interface. Only the standard bus interface of a device that
// has a PCI function beneath it is offered (version 1, a Size of at least the record's size): the
// record is filled, a reference is taken, and STATUS_SUCCESS returned. Otherwise
// STATUS_NOT_SUPPORTED (unknown interface or no bus), STATUS_INVALID_PARAMETER (size or version
// not offered). PASSIVE_LEVEL.
NTSTATUS WdfFdoQueryForInterface(WDFDEVICE Fdo, LPCGUID InterfaceType, PINTERFACE Interface, USHORT Size,
                                 USHORT Version, PVOID InterfaceSpecificData);
