// Resource lists and the PCI bus interface of a framework device. The descriptors and the bus of a
// device are kept here, beside the framework's objects, keyed by the device and its list objects.
#include <map>
#include <memory>
#include <mutex>

#include "internal.h"
#include "kshim/host/pci_device.h"
#include "wdf_internal.h"
#include "wdf_resources_internal.h"

namespace kshim::wdf {
namespace {

// The context of a device's bus interface: the function beneath it and the references taken.
struct BusContext {
    kshim::host::PciDevice* pci = nullptr;
    int references = 0;
};

std::mutex g_lock;
std::map<const FxObject*, std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>> g_lists;  // by resource-list object
std::map<const FxDevice*, std::unique_ptr<BusContext>> g_buses;                   // by device

void Reference(PVOID context)
{
    std::lock_guard<std::mutex> guard(g_lock);
    ++static_cast<BusContext*>(context)->references;
}

void Dereference(PVOID context)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto* bus = static_cast<BusContext*>(context);
    if (bus->references == 0) {
        KshimViolation("bus interface dereferenced more often than referenced", nullptr);
        return;
    }
    --bus->references;
}

// Half the bytes, when the fault point of the access fires.
ULONG Transferable(const char* key, ULONG length)
{
    NTSTATUS ignored;
    return kshim::FaultCheck("pci.config", key, &ignored) ? length / 2 : length;
}

ULONG GetBusData(PVOID context, ULONG dataType, PVOID buffer, ULONG offset, ULONG length)
{
    auto* bus = static_cast<BusContext*>(context);
    if (bus == nullptr || bus->pci == nullptr || dataType != PCI_WHICHSPACE_CONFIG || buffer == nullptr) {
        return 0;
    }
    return bus->pci->ConfigRead(offset, buffer, Transferable("get", length));
}

ULONG SetBusData(PVOID context, ULONG dataType, PVOID buffer, ULONG offset, ULONG length)
{
    auto* bus = static_cast<BusContext*>(context);
    if (bus == nullptr || bus->pci == nullptr || dataType != PCI_WHICHSPACE_CONFIG || buffer == nullptr) {
        return 0;
    }
    return bus->pci->ConfigWrite(offset, buffer, Transferable("set", length));
}

}  // namespace

void SetDeviceResources(FxDevice* device, const std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>& raw,
                        const std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>& translated)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (device->rawResources != nullptr) {
        g_lists[device->rawResources] = raw;
    }
    if (device->translatedResources != nullptr) {
        g_lists[device->translatedResources] = translated;
    }
}

void SetDeviceBus(FxDevice* device, kshim::host::PciDevice* pci)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto& bus = g_buses[device];
    if (!bus) {
        bus = std::make_unique<BusContext>();
    }
    bus->pci = pci;
}

void ForgetDeviceResources(FxDevice* device)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_lists.erase(device->rawResources);
    g_lists.erase(device->translatedResources);
    g_buses.erase(device);
}

int BusInterfaceReferences(FxDevice* device)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_buses.find(device);
    return it == g_buses.end() ? 0 : it->second->references;
}

}  // namespace kshim::wdf

using kshim::wdf::FxDevice;
using kshim::wdf::FxResourceList;

ULONG WdfCmResourceListGetCount(WDFCMRESLIST List)
{
    auto* list = kshim::wdf::Lookup<FxResourceList>(List, "WdfCmResourceListGetCount");
    if (list == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(kshim::wdf::g_lock);
    auto it = kshim::wdf::g_lists.find(list);
    return it == kshim::wdf::g_lists.end() ? 0 : static_cast<ULONG>(it->second.size());
}

PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST List, ULONG Index)
{
    auto* list = kshim::wdf::Lookup<FxResourceList>(List, "WdfCmResourceListGetDescriptor");
    if (list == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(kshim::wdf::g_lock);
    auto it = kshim::wdf::g_lists.find(list);
    if (it == kshim::wdf::g_lists.end() || Index >= it->second.size()) {
        return nullptr;
    }
    return &it->second[Index];
}

NTSTATUS WdfFdoQueryForInterface(WDFDEVICE Fdo, LPCGUID InterfaceType, PINTERFACE Interface, USHORT Size,
                                 USHORT Version, PVOID InterfaceSpecificData)
{
    (void)InterfaceSpecificData;
    kshim::wdf::RequirePassive("WdfFdoQueryForInterface");
    auto* device = kshim::wdf::Lookup<FxDevice>(Fdo, "WdfFdoQueryForInterface");
    if (device == nullptr || InterfaceType == nullptr || Interface == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!IsEqualGUID(*InterfaceType, GUID_BUS_INTERFACE_STANDARD)) {
        return STATUS_NOT_SUPPORTED;
    }
    std::lock_guard<std::mutex> guard(kshim::wdf::g_lock);
    auto it = kshim::wdf::g_buses.find(device);
    if (it == kshim::wdf::g_buses.end() || it->second->pci == nullptr) {
        return STATUS_NOT_SUPPORTED;
    }
    if (Version != 1 || Size < sizeof(BUS_INTERFACE_STANDARD)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* bus = reinterpret_cast<PBUS_INTERFACE_STANDARD>(Interface);
    std::memset(bus, 0, sizeof(*bus));
    bus->Size = sizeof(BUS_INTERFACE_STANDARD);
    bus->Version = 1;
    bus->Context = it->second.get();
    bus->InterfaceReference = kshim::wdf::Reference;
    bus->InterfaceDereference = kshim::wdf::Dereference;
    bus->GetBusData = kshim::wdf::GetBusData;
    bus->SetBusData = kshim::wdf::SetBusData;
    ++it->second->references;
    return STATUS_SUCCESS;
}
