// The image entry: tracing, the event-log switch and the framework driver.
#include "Common/logevent.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WPP_INIT_TRACING(driverObject, registryPath);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "qzlwlan %s", QZL_DRIVER_VERSION_TEXT);
    // Driver-wide state starts afresh with every load.
    g_EnableSystemEventLog = 0;
    g_ControlDevice = nullptr;
    NTSTATUS status = Ndis6CommonGetRegistryServiceValue(u"EnableSystemEventLog", &g_EnableSystemEventLog);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_INIT, "\"EnableSystemEventLog\" not read: 0x%08X; event log off",
                 static_cast<unsigned>(status));
    }
    status = DriverEntryCX(driverObject, registryPath);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "framework driver not created: 0x%08X", static_cast<unsigned>(status));
        WPP_CLEANUP(driverObject);
    }
    return status;
}

NTSTATUS DriverEntryCX(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, EvtDriverDeviceAdd);
    config.EvtDriverUnload = EvtDriverUnload;
    config.DriverInitFlags = 0;
    config.DriverPoolTag = TAG_ZVCx;
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}
