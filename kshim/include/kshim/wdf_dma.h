// The DMA enabler and common buffers.
// Included by kshim/wdf.h.
//
// A common buffer is host memory the device reaches by its bus (logical) address: page-aligned,
// zero-filled, placed below 2^(the enabler's address width) and never across a 4 GiB boundary, so
// that "low 32 bits + offset" inside one buffer never carries into the high half. The device reaches
// host memory only through live buffers; a device access anywhere else is a strict-mode failure.
#pragma once

typedef enum _WDF_DMA_PROFILE {
    WdfDmaProfileInvalid = 0,
    WdfDmaProfilePacket,                 // 32-bit addresses
    WdfDmaProfileScatterGather,          // 32-bit addresses
    WdfDmaProfilePacket64,               // 64-bit addresses
    WdfDmaProfileScatterGather64,        // 64-bit addresses
    WdfDmaProfileScatterGatherDuplex,    // 32-bit addresses
    WdfDmaProfileScatterGather64Duplex,  // 64-bit addresses
    WdfDmaProfileMaximum,
} WDF_DMA_PROFILE;

typedef enum _WDF_DMA_DIRECTION {
    WdfDmaDirectionReadFromDevice = FALSE,
    WdfDmaDirectionWriteToDevice = TRUE,
} WDF_DMA_DIRECTION;

typedef struct _WDF_DMA_ENABLER_CONFIG {
    ULONG Size;
    WDF_DMA_PROFILE Profile;
    size_t MaximumLength;           // longest transfer, bytes
    ULONG WdmDmaVersionOverride;    // 0: the platform's; recorded
    ULONG Flags;                    // recorded
    ULONG AddressWidthOverride;     // 0: the profile's width (32 or 64); else 24-64, at most the profile's
} WDF_DMA_ENABLER_CONFIG, *PWDF_DMA_ENABLER_CONFIG;

inline VOID WDF_DMA_ENABLER_CONFIG_INIT(PWDF_DMA_ENABLER_CONFIG Config, WDF_DMA_PROFILE Profile, size_t MaximumLength)
{
    std::memset(Config, 0, sizeof(WDF_DMA_ENABLER_CONFIG));
    Config->Size = sizeof(WDF_DMA_ENABLER_CONFIG);
    Config->Profile = Profile;
    Config->MaximumLength = MaximumLength;
}

// The alignment the device needs of buffers, as a mask (31 = 32-byte alignment). Common buffers are
// page-aligned, which satisfies every mask below the page size; a larger mask aligns them to it.
VOID WdfDeviceSetAlignmentRequirement(WDFDEVICE Device, ULONG AlignmentRequirement);

// PASSIVE_LEVEL. The enabler's parent is the device. Fault point "wdf.dmaenabler".
NTSTATUS WdfDmaEnablerCreate(WDFDEVICE Device, PWDF_DMA_ENABLER_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes,
                             WDFDMAENABLER* DmaEnablerHandle);
// The longest fragment of one transfer in the direction (the enabler's maximum length).
size_t WdfDmaEnablerGetFragmentLength(WDFDMAENABLER DmaEnabler, WDF_DMA_DIRECTION DmaDirection);
size_t WdfDmaEnablerGetMaximumLength(WDFDMAENABLER DmaEnabler);
// How many scatter-gather elements one transfer may have (unlimited, 0xFFFFFFFF, until set).
VOID WdfDmaEnablerSetMaximumScatterGatherElements(WDFDMAENABLER DmaEnabler, size_t MaximumFragments);
size_t WdfDmaEnablerGetMaximumScatterGatherElements(WDFDMAENABLER DmaEnabler);

// PASSIVE_LEVEL. The buffer's parent is the enabler unless the attributes name another; it goes
// with WdfObjectDelete or with its parent. STATUS_INSUFFICIENT_RESOURCES when no bus range fits
// the enabler's address width. Fault point "wdf.commonbuffer", key: the length in decimal.
NTSTATUS WdfCommonBufferCreate(WDFDMAENABLER DmaEnabler, size_t Length, PWDF_OBJECT_ATTRIBUTES Attributes,
                               WDFCOMMONBUFFER* CommonBuffer);
PVOID WdfCommonBufferGetAlignedVirtualAddress(WDFCOMMONBUFFER CommonBuffer);
PHYSICAL_ADDRESS WdfCommonBufferGetAlignedLogicalAddress(WDFCOMMONBUFFER CommonBuffer);
size_t WdfCommonBufferGetLength(WDFCOMMONBUFFER CommonBuffer);
