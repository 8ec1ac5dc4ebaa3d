// Framework DMA enablers and common buffers on top of the bus address space (dma_space.cpp).
#include <cstdio>
#include <map>
#include <string>

#include "dma_space.h"
#include "internal.h"
#include "wdf_internal.h"

namespace kshim::wdf {
namespace {

constexpr Kind kKindDmaEnabler = Kind::DmaEnabler;
constexpr Kind kKindCommonBuffer = Kind::CommonBuffer;

constexpr size_t kPage = 0x1000;
constexpr size_t kUnlimitedFragments = 0xFFFFFFFFu;

// Alignment requirements by device (a later device at the same address is told apart by its
// creation serial).
struct Alignment {
    uint64_t deviceSerial;
    ULONG mask;
};
std::mutex g_alignmentLock;
std::map<const FxDevice*, Alignment>* g_alignments = new std::map<const FxDevice*, Alignment>();

ULONG AlignmentOf(const FxDevice* device)
{
    std::lock_guard<std::mutex> guard(g_alignmentLock);
    auto it = g_alignments->find(device);
    return it != g_alignments->end() && it->second.deviceSerial == device->serial ? it->second.mask : 0;
}

unsigned ProfileWidth(WDF_DMA_PROFILE profile)
{
    switch (profile) {
    case WdfDmaProfilePacket:
    case WdfDmaProfileScatterGather:
    case WdfDmaProfileScatterGatherDuplex:
        return 32;
    case WdfDmaProfilePacket64:
    case WdfDmaProfileScatterGather64:
    case WdfDmaProfileScatterGather64Duplex:
        return 64;
    default:
        return 0;
    }
}

}  // namespace

struct FxDmaEnabler : FxObject {
    FxDmaEnabler() : FxObject(kKindDmaEnabler) {}
    FxDevice* device = nullptr;
    WDF_DMA_ENABLER_CONFIG config{};
    unsigned widthBits = 32;
    size_t alignment = kPage;  // of its common buffers
    std::atomic<size_t> maxFragments{kUnlimitedFragments};
};

struct FxCommonBuffer : FxObject {
    FxCommonBuffer() : FxObject(kKindCommonBuffer) {}
    ~FxCommonBuffer() override
    {
        if (host != nullptr) {
            kshim::dma::FreeCommon(bus);
        }
    }
    // The memory goes with the object's storage, after the clean-up and destroy callbacks.
    void* host = nullptr;
    uint64_t bus = 0;
    size_t length = 0;
};

namespace {

FxDmaEnabler* LookupEnabler(WDFDMAENABLER handle, const char* call)
{
    return static_cast<FxDmaEnabler*>(Lookup(handle, kKindDmaEnabler, call));
}

FxCommonBuffer* LookupBuffer(WDFCOMMONBUFFER handle, const char* call)
{
    return static_cast<FxCommonBuffer*>(Lookup(handle, kKindCommonBuffer, call));
}

}  // namespace
}  // namespace kshim::wdf

using namespace kshim::wdf;

// ================================================================================================
// device alignment
// ================================================================================================
VOID WdfDeviceSetAlignmentRequirement(WDFDEVICE Device, ULONG AlignmentRequirement)
{
    auto* device = Lookup<FxDevice>(Device, "WdfDeviceSetAlignmentRequirement");
    if (device == nullptr) {
        return;
    }
    if ((AlignmentRequirement & (AlignmentRequirement + 1)) != 0) {
        KshimViolation("alignment requirement that is not a power of two less one", nullptr);
        return;
    }
    std::lock_guard<std::mutex> guard(g_alignmentLock);
    (*g_alignments)[device] = Alignment{device->serial, AlignmentRequirement};
}

// ================================================================================================
// DMA enabler
// ================================================================================================
NTSTATUS WdfDmaEnablerCreate(WDFDEVICE Device, PWDF_DMA_ENABLER_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes,
                             WDFDMAENABLER* DmaEnablerHandle)
{
    RequirePassive("WdfDmaEnablerCreate");
    if (DmaEnablerHandle == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *DmaEnablerHandle = nullptr;
    auto* device = Lookup<FxDevice>(Device, "WdfDmaEnablerCreate");
    if (device == nullptr || Config == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (Config->Size != sizeof(WDF_DMA_ENABLER_CONFIG) || !AttributesValid(Attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    unsigned width = ProfileWidth(Config->Profile);
    if (width == 0 || Config->MaximumLength == 0 || device->control) {
        return STATUS_INVALID_PARAMETER;
    }
    if (Config->AddressWidthOverride != 0) {
        if (Config->AddressWidthOverride < 24 || Config->AddressWidthOverride > width) {
            return STATUS_INVALID_PARAMETER;
        }
        width = Config->AddressWidthOverride;
    }
    if (Attributes != nullptr && Attributes->ParentObject != nullptr && Raw(Attributes->ParentObject) != device) {
        return STATUS_INVALID_PARAMETER;  // a DMA enabler always belongs to its device
    }
    NTSTATUS status;
    if (kshim::FaultCheck("wdf.dmaenabler", nullptr, &status)) {
        return status;
    }
    auto* enabler = new FxDmaEnabler();
    enabler->device = device;
    enabler->config = *Config;
    enabler->widthBits = width;
    ULONG mask = AlignmentOf(device);
    enabler->alignment = static_cast<size_t>(mask) + 1 > kPage ? static_cast<size_t>(mask) + 1 : kPage;
    status = Register(enabler, Attributes, device, "WdfDmaEnablerCreate");
    if (!NT_SUCCESS(status)) {
        delete enabler;
        return status;
    }
    *DmaEnablerHandle = Handle<WDFDMAENABLER>(enabler);
    return STATUS_SUCCESS;
}

size_t WdfDmaEnablerGetFragmentLength(WDFDMAENABLER DmaEnabler, WDF_DMA_DIRECTION DmaDirection)
{
    FxDmaEnabler* enabler = LookupEnabler(DmaEnabler, "WdfDmaEnablerGetFragmentLength");
    if (enabler == nullptr) {
        return 0;
    }
    if (DmaDirection != WdfDmaDirectionReadFromDevice && DmaDirection != WdfDmaDirectionWriteToDevice) {
        KshimViolation("WdfDmaEnablerGetFragmentLength with an invalid direction", nullptr);
        return 0;
    }
    return enabler->config.MaximumLength;
}

size_t WdfDmaEnablerGetMaximumLength(WDFDMAENABLER DmaEnabler)
{
    FxDmaEnabler* enabler = LookupEnabler(DmaEnabler, "WdfDmaEnablerGetMaximumLength");
    return enabler != nullptr ? enabler->config.MaximumLength : 0;
}

VOID WdfDmaEnablerSetMaximumScatterGatherElements(WDFDMAENABLER DmaEnabler, size_t MaximumFragments)
{
    RequirePassive("WdfDmaEnablerSetMaximumScatterGatherElements");
    FxDmaEnabler* enabler = LookupEnabler(DmaEnabler, "WdfDmaEnablerSetMaximumScatterGatherElements");
    if (enabler == nullptr) {
        return;
    }
    if (MaximumFragments == 0) {
        KshimViolation("WdfDmaEnablerSetMaximumScatterGatherElements with 0 elements", nullptr);
        return;
    }
    enabler->maxFragments.store(MaximumFragments);
}

size_t WdfDmaEnablerGetMaximumScatterGatherElements(WDFDMAENABLER DmaEnabler)
{
    FxDmaEnabler* enabler = LookupEnabler(DmaEnabler, "WdfDmaEnablerGetMaximumScatterGatherElements");
    return enabler != nullptr ? enabler->maxFragments.load() : 0;
}

// ================================================================================================
// common buffers
// ================================================================================================
NTSTATUS WdfCommonBufferCreate(WDFDMAENABLER DmaEnabler, size_t Length, PWDF_OBJECT_ATTRIBUTES Attributes,
                               WDFCOMMONBUFFER* CommonBuffer)
{
    RequirePassive("WdfCommonBufferCreate");
    if (CommonBuffer == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *CommonBuffer = nullptr;
    FxDmaEnabler* enabler = LookupEnabler(DmaEnabler, "WdfCommonBufferCreate");
    if (enabler == nullptr || Length == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!AttributesValid(Attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    bool invalid;
    FxObject* parent = ParentFromAttributes(Attributes, enabler, "WdfCommonBufferCreate", &invalid);
    if (invalid) {
        return STATUS_INVALID_HANDLE;
    }
    NTSTATUS status;
    std::string key = std::to_string(Length);
    if (kshim::FaultCheck("wdf.commonbuffer", key.c_str(), &status)) {
        return status;
    }
    size_t limit = kshim::dma::CommonBufferLimit();
    if (limit != 0 && Length > limit) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* buffer = new FxCommonBuffer();
    if (!kshim::dma::AllocateCommon(Length, enabler->widthBits, enabler->alignment, &buffer->host, &buffer->bus)) {
        delete buffer;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    buffer->length = Length;
    status = Register(buffer, Attributes, parent, "WdfCommonBufferCreate");
    if (!NT_SUCCESS(status)) {
        delete buffer;
        return status;
    }
    *CommonBuffer = Handle<WDFCOMMONBUFFER>(buffer);
    return STATUS_SUCCESS;
}

PVOID WdfCommonBufferGetAlignedVirtualAddress(WDFCOMMONBUFFER CommonBuffer)
{
    FxCommonBuffer* buffer = LookupBuffer(CommonBuffer, "WdfCommonBufferGetAlignedVirtualAddress");
    return buffer != nullptr ? buffer->host : nullptr;
}

PHYSICAL_ADDRESS WdfCommonBufferGetAlignedLogicalAddress(WDFCOMMONBUFFER CommonBuffer)
{
    PHYSICAL_ADDRESS address;
    address.QuadPart = 0;
    FxCommonBuffer* buffer = LookupBuffer(CommonBuffer, "WdfCommonBufferGetAlignedLogicalAddress");
    if (buffer != nullptr) {
        address.QuadPart = static_cast<LONGLONG>(buffer->bus);
    }
    return address;
}

size_t WdfCommonBufferGetLength(WDFCOMMONBUFFER CommonBuffer)
{
    FxCommonBuffer* buffer = LookupBuffer(CommonBuffer, "WdfCommonBufferGetLength");
    return buffer != nullptr ? buffer->length : 0;
}
