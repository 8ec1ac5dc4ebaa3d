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

// Context of each net adapter created for a WiFiCx port.
typedef struct _QZCX_NET_ADAPTER {
    PMP_ADAPTER Adapter;
    NETADAPTER NetAdapter;
} QZCX_NET_ADAPTER, *PQZCX_NET_ADAPTER;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_NET_ADAPTER, QZCxGetNetAdapterContext);

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
EVT_WDF_OBJECT_CONTEXT_CLEANUP EvtAdapterContextCleanup;
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

// ---- hardware preparation and release -----------------------------------------------------------------
// Takes the hardware in order: the adapter's resources, the PCI bus interface, "TestYBFlag", the PCI
// interface start (identity check, BAR mapping), the spin-lock set with chip selection, and the
// interrupt. A failing step is traced and its status returned; the later steps do not run.
EVT_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
// Undoes, newest first, exactly the steps whose done switch is set; always 0.
EVT_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;

// The done switches of the preparation steps (driver-wide): set when the step succeeded, tested and
// cleared by the release.
extern BOOLEAN g_ResourcesAllocated;
extern BOOLEAN g_PciInterfaceStarted;       // the BAR is mapped
extern BOOLEAN g_SpinLocksAndChipRegistered;
extern BOOLEAN g_InterruptRegistered;
// The OS's NDIS version, stored when the resources are allocated.
extern ULONG g_NdisVersion;

// Allocates the adapter's separately held blocks and its resources. On a failure it gives back what
// it took before returning: 0xC0000017 when the adapter blocks cannot be allocated, the parameter
// buffers' status, 0xC000009A when a receive return record cannot be allocated.
NTSTATUS QZCxAllocateResource(PMP_ADAPTER adapter);
// Gives back everything QZCxAllocateResource took; safe on a partly built or already freed adapter.
void QZCxFreeResource(PMP_ADAPTER adapter);
// Checks the device's identity in configuration space, records it and maps the register BAR;
// 0xC0000001 for a missing bus context, a short configuration read, a foreign vendor or device id,
// or a resource list without an interrupt or a BAR of at least 0x10000 bytes (a BAR mapped before
// such a failure is unmapped again).
NTSTATUS QZCxPciInterfaceStart(PMP_ADAPTER adapter, WDFCMRESLIST raw, WDFCMRESLIST translated);
// Re-enables the chip's interrupts; run under the interrupt lock (context: the adapter). TRUE.
BOOLEAN QZCxSyncEnableInterrupt(WDFINTERRUPT interrupt, PVOID context);

// ---- the device's interrupt object ------------------------------------------------------------------------
// The context of the framework interrupt object.
typedef struct _WIFICX_INTERRUPT {
    PMP_ADAPTER Adapter;
    WDFINTERRUPT Interrupt;
} WIFICX_INTERRUPT, *PWIFICX_INTERRUPT;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(WIFICX_INTERRUPT, QZCxGetInterruptContext);
// The interrupt object's enable and disable callbacks: the chip's EnableInterrupt or
// DisableInterrupt, then the adapter's interrupts-disabled byte (0 or 1). Always 0.
EVT_WDF_INTERRUPT_ENABLE QZCxInterruptEnable;
EVT_WDF_INTERRUPT_DISABLE QZCxInterruptDisable;

// Configuration space read at the PCI interface start.
#define PCI_IDENTITY_BYTES 226
#define QZL_PCI_VENDOR_ID 0x1E7Au

// ---- receive return records and parked private requests --------------------------------------------------
#define RX_RETURN_CONTEXT_COUNT 16380
#define RX_RETURN_CONTEXT_SIGNATURE 0x1E7A3501u

struct _RX_DMAQ_DESC;
// Carries one received frame to the NetAdapterCx receive queue and back.
typedef struct _RX_RETURN_CONTEXT {
    LIST_ENTRY Link;
    PMP_ADAPTER Adapter;
    ULONG PortNumber;
    ULONG Signature;  // RX_RETURN_CONTEXT_SIGNATURE
    ULONG Index;      // 0 to RX_RETURN_CONTEXT_COUNT - 1
    ULONG FrameLength;
    PUCHAR FrameData;
    struct _RX_DMAQ_DESC* Descriptor;
} RX_RETURN_CONTEXT, *PRX_RETURN_CONTEXT;

#define PENDING_OID_REQUEST_SIGNATURE 0x1E7A3501u
// A private request parked until the firmware answers.
typedef struct _PENDING_OID_REQUEST {
    LIST_ENTRY Link;
    WDFREQUEST Request;
    ULONG Signature;  // PENDING_OID_REQUEST_SIGNATURE
} PENDING_OID_REQUEST, *PPENDING_OID_REQUEST;

// Completes the oldest parked private request with 0xC0000120 and frees its entry; nothing when none.
void QZCxCancelPendingRequest(PMP_ADAPTER adapter);

// ---- WDI parameter buffers and capability lists -----------------------------------------------------------
// The task and property parameter buffers of the WDI intake; they are sized from the WDI dispatch
// tables, which come with the OS command interface: until then the calls record themselves and
// allocate nothing.
NTSTATUS QZCxAllocateOidParamBuffer(PMP_ADAPTER adapter);
void QZCxFreeOidParamBuffer(PMP_ADAPTER adapter);
// Frees the per-band PHY-type, channel and channel-width lists of the band capabilities.
void QZCxFreeBandCapabilityLists(PMP_ADAPTER adapter);

// ---- services of other modules the preparation calls --------------------------------------------------------
// Declared here until their own module (the WDI dispatch tables) lands.
// The per-row parameter buffers of the WDI dispatch tables.
NTSTATUS WdiAllocateOidParamBuffer(PMP_ADAPTER adapter);
void WdiFreeOidParamBuffer(PMP_ADAPTER adapter);

// ---- PnP and power ----------------------------------------------------------------------------------
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
