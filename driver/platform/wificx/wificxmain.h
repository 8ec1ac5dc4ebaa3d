// The framework side of the driver: the framework context types, the device-add, unload and
// clean-up callbacks, the control device, and the PnP, power, power-policy and WiFiCx entry
// points the device registers.
#pragma once

#include "kshim/wdf.h"
#include "kshim/wificx.h"
#include "platform/ndiscommon/adapter.h"

// The driver's version, and the text the trace and the driver-life event-log entries carry.
#define QZL_DRIVER_VERSION "1.0.0.0"
#define QZL_DRIVER_VERSION_TEXT "___" QZL_DRIVER_VERSION "___"

// WDI version the driver implements.
#define QZL_WDI_VERSION 0x20003u
// S0 idle time-out (ms).
#define QZL_S0_IDLE_TIMEOUT_MS 5000

// ---- framework context types ----------------------------------------------------------------------
// The adapter is the context of the framework device.
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(MP_ADAPTER, QZCxGetAdapter);

typedef struct _QZCX_WIFI_DIRECT_DEVICE {
    PMP_ADAPTER Adapter;
} QZCX_WIFI_DIRECT_DEVICE, *PQZCX_WIFI_DIRECT_DEVICE;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_WIFI_DIRECT_DEVICE, QZCxGetWifiDirectDeviceContext);

struct _WDI_TASK_DISPATCH_ENTRY;
typedef struct _QZCX_TASK_WORKITEM {
    PMP_ADAPTER Adapter;
    PMP_PORT Port;
    WIFIREQUEST Request;
    const struct _WDI_TASK_DISPATCH_ENTRY* Row;  // the dispatch-table row of the request
} QZCX_TASK_WORKITEM, *PQZCX_TASK_WORKITEM;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_TASK_WORKITEM, QZCxGetTaskWorkItemContext);

typedef struct _QZCX_CONTROL_DEVICE {
    PMP_ADAPTER Adapter;
} QZCX_CONTROL_DEVICE, *PQZCX_CONTROL_DEVICE;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_CONTROL_DEVICE, QZCxGetControlDeviceContext);

// ---- driver-wide state ----------------------------------------------------------------------------
// The copy of the service value "EnableSystemEventLog" (0 at load).
extern UCHAR g_EnableSystemEventLog;
// The control device, set once it is complete.
extern WDFDEVICE g_ControlDevice;

// ---- entry, device add, unload, clean-up -----------------------------------------------------------
extern "C" DRIVER_INITIALIZE DriverEntry;
NTSTATUS DriverEntryCX(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);
EVT_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd;
EVT_WDF_DRIVER_UNLOAD EvtDriverUnload;
EVT_WDF_OBJECT_CONTEXT_CLEANUP EvtDeviceContextCleanup;
EVT_WDF_OBJECT_CONTEXT_CLEANUP EvtWifiDirectDeviceContextCleanup;
// Reads the OS version and keeps its build number in the adapter.
NTSTATUS QZCXGetOSVersion(PMP_ADAPTER adapter);
// Name of a framework device power state for traces.
PCSTR QZCxPowerStateName(WDF_POWER_DEVICE_STATE state);

// ---- control device --------------------------------------------------------------------------------
// "\Device\QZLWLAN" with its link, security descriptor, shutdown notification and sequential queue.
NTSTATUS QZCxCreateControlDevice(WDFDEVICE device);
EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL QZCxEvtIoDeviceControl;
EVT_WDF_DEVICE_SHUTDOWN_NOTIFICATION EvtShutdownNotification;

// ---- PnP and power ----------------------------------------------------------------------------------
EVT_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
EVT_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;
EVT_WDF_DEVICE_D0_ENTRY EvtDeviceD0Entry;
EVT_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED EvtDeviceD0EntryPostInterruptsEnabled;
EVT_WDF_DEVICE_D0_EXIT EvtDeviceD0Exit;
EVT_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED EvtDeviceD0ExitPreInterruptsDisabled;
EVT_WDF_DEVICE_SURPRISE_REMOVAL EvtDeviceEvtSurpriseRemoval;
EVT_WDF_DEVICE_ARM_WAKE_FROM_S0 EvtDeviceArmWakeFromS0;
EVT_WDF_DEVICE_DISARM_WAKE_FROM_S0 EvtDeviceDisarmWakeFromS0;
EVT_WDF_DEVICE_WAKE_FROM_S0_TRIGGERED EvtDeviceWakeFromS0Triggered;
EVT_WDF_DEVICE_ARM_WAKE_FROM_SX EvtDeviceArmWakeFromSx;
EVT_WDF_DEVICE_DISARM_WAKE_FROM_SX EvtDeviceDisarmWakeFromSx;
EVT_WDF_DEVICE_WAKE_FROM_SX_TRIGGERED EvtDeviceWakeFromSxTriggered;

// ---- WiFiCx entry points ------------------------------------------------------------------------------
EVT_WIFI_DEVICE_SEND_COMMAND EvtWiFiDeviceSendCommand;
EVT_WIFI_DEVICE_CREATE_ADAPTER EvtWiFiDeviceCreateAdapter;
EVT_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE EvtWiFiDeviceCreateDirectDevice;

// ---- WDI work items of a port ---------------------------------------------------------------------------
EVT_WDF_WORKITEM QZCxTaskProcessWorkItem;
EVT_WDF_WORKITEM QZCxPropertyProcessWorkItem;
