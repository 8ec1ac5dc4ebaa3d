// What the fuzz targets share: tracing off (the trace buffer would otherwise grow with every input,
// and libFuzzer would scan the whole heap for leaks after each one), adapters built once per process
// and put back as built before every input, and a plain framework device that takes indications.
#pragma once

#include <cstring>
#include <new>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/wifi.h"
#include "platform/ndiscommon/adapter.h"

namespace qzlfuzz {

inline void Quiet()
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
}

// An adapter built once by the caller and a copy of it as built. Restore puts every byte of the
// live adapter back (its events, locks and lists point into the adapter itself, so the copy stays
// valid); anything an input allocated and left hanging off the adapter is then lost and reported as
// a leak, as a freed adapter would report it.
struct AdapterSnapshot {
    MP_ADAPTER* live = nullptr;
    MP_ADAPTER* built = nullptr;

    void Take(MP_ADAPTER* adapter)
    {
        live = adapter;
        built = static_cast<MP_ADAPTER*>(::operator new(sizeof(MP_ADAPTER)));
        std::memcpy(static_cast<void*>(built), static_cast<const void*>(live), sizeof(MP_ADAPTER));
    }
    MP_ADAPTER* Restore()
    {
        std::memcpy(static_cast<void*>(live), static_cast<const void*>(built), sizeof(MP_ADAPTER));
        return live;
    }
};

namespace detail {
inline NTSTATUS PlainDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init)
{
    WDFDEVICE device = nullptr;
    return WdfDeviceCreate(&init, WDF_NO_OBJECT_ATTRIBUTES, &device);
}

inline NTSTATUS PlainDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, PlainDeviceAdd);
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}
}  // namespace detail

// A framework device with no driver behind it but the device add: the parent of memory objects and
// the device the OS's indications are recorded for. Built on the first call; lives for the process.
inline WDFDEVICE PlainDevice()
{
    static kshim::host::Os* os = new kshim::host::Os();
    static WDFDEVICE device = [] {
        if (os->Load(detail::PlainDriverEntry, u"qzlfuzz") != STATUS_SUCCESS) {
            __builtin_trap();
        }
        kshim::host::OsDevice* added = os->AddDevice();
        if (added == nullptr || added->Handle() == nullptr) {
            __builtin_trap();
        }
        return added->Handle();
    }();
    return device;
}

// The indications the OS received for the last input are of no further use.
inline void ForgetIndications()
{
    kshim::host::WifiClearIndications();
}

}  // namespace qzlfuzz
