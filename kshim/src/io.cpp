// Driver and device objects of the I/O manager.
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "io_internal.h"

namespace kshim::io {
namespace {

std::mutex g_lock;  // guards the device chains of driver objects
std::atomic<size_t> g_liveDevices{0};

struct DriverStorage {
    DRIVER_OBJECT object;
    std::u16string name;
};

}  // namespace

PDRIVER_OBJECT NewDriverObject(const std::u16string& serviceName, PDRIVER_INITIALIZE entry)
{
    auto* storage = new DriverStorage();
    storage->name = u"\\Driver\\" + serviceName;
    DRIVER_OBJECT& d = storage->object;
    d.Type = IO_TYPE_DRIVER;
    d.Size = static_cast<SHORT>(sizeof(DRIVER_OBJECT));
    d.DriverName.Buffer = storage->name.data();
    d.DriverName.Length = static_cast<USHORT>(storage->name.size() * sizeof(WCHAR));
    d.DriverName.MaximumLength = d.DriverName.Length;
    d.DriverInit = entry;
    static_assert(offsetof(DriverStorage, object) == 0, "the driver object starts its storage");
    return &d;
}

void FreeDriverObject(PDRIVER_OBJECT driver)
{
    if (driver != nullptr) {
        delete reinterpret_cast<DriverStorage*>(driver);
    }
}

PDEVICE_OBJECT NewDeviceObject(PDRIVER_OBJECT driver, KSHIM_DEVICE_ROLE role, DEVICE_TYPE type)
{
    auto* d = new DEVICE_OBJECT();
    d->Type = IO_TYPE_DEVICE;
    d->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT));
    d->DriverObject = driver;
    d->DeviceType = type;
    d->StackSize = 1;
    d->Flags = DO_DEVICE_INITIALIZING;
    d->KshimRole = role;
    if (driver != nullptr && (role == KshimDeviceFunctional || role == KshimDeviceControl)) {
        std::lock_guard<std::mutex> guard(g_lock);
        d->NextDevice = driver->DeviceObject;
        driver->DeviceObject = d;
    }
    g_liveDevices.fetch_add(1);
    return d;
}

void FreeDeviceObject(PDEVICE_OBJECT device)
{
    if (device == nullptr) {
        return;
    }
    PDRIVER_OBJECT driver = device->DriverObject;
    if (driver != nullptr) {
        std::lock_guard<std::mutex> guard(g_lock);
        for (PDEVICE_OBJECT* link = &driver->DeviceObject; *link != nullptr; link = &(*link)->NextDevice) {
            if (*link == device) {
                *link = device->NextDevice;
                break;
            }
        }
    }
    delete device;
    g_liveDevices.fetch_sub(1);
}

void AttachDevice(PDEVICE_OBJECT upper, PDEVICE_OBJECT lower)
{
    lower->AttachedDevice = upper;
    upper->StackSize = static_cast<CHAR>(lower->StackSize + 1);
}

size_t LiveDeviceObjects() { return g_liveDevices.load(); }

}  // namespace kshim::io
