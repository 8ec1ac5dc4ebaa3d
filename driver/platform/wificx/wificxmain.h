// The framework side of the driver: the framework context types, the device-add, unload and
// clean-up callbacks, the control device, and the PnP, power, power-policy and WiFiCx entry
// points the device registers.
#pragma once

#include "kshim/wdf.h"
#include "kshim/netadapter_caps.h"
#include "kshim/wificx.h"
#include "kshim/wificx_adapter.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/wdi/wdimain.h"

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

typedef struct _QZCX_TASK_WORKITEM {
    PMP_ADAPTER Adapter;
    PMP_PORT Port;
    WIFIREQUEST Request;
    const WDI_TASK_DISPATCH_ENTRY* Row;  // the dispatch-table row of the request (task work item)
    const WDI_PROPERTY_DISPATCH_ENTRY* PropertyRow;  // (property work item)
    // 1 from the queueing until the callback has taken the request: a second request for the same
    // work item meanwhile is refused rather than lost.
    std::atomic<LONG> Queued;
} QZCX_TASK_WORKITEM, *PQZCX_TASK_WORKITEM;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_TASK_WORKITEM, QZCxGetTaskWorkItemContext);

typedef struct _QZCX_CONTROL_DEVICE {
    PMP_ADAPTER Adapter;
} QZCX_CONTROL_DEVICE, *PQZCX_CONTROL_DEVICE;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_CONTROL_DEVICE, QZCxGetControlDeviceContext);

// ---- driver-wide state ----------------------------------------------------------------------------
// The copy of the service value "EnableSystemEventLog" (0 at load).
extern UCHAR g_EnableSystemEventLog;
// The control device, set once it is complete; the one control device of the driver, made by the first
// device and handed to another device when the one it serves goes away.
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

// The done switches of the preparation steps are the device's own (adapter->Switches): set when the
// step succeeded, tested and cleared by the release.
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
// The shared task and property parameter buffers of the WDI intake, each of the largest parameter size
// of its table (none for a table whose rows parse nothing); 0xC0000001 when one cannot be allocated
// (nothing is left allocated). The free is safe on a partly built set.
NTSTATUS QZCxAllocateOidParamBuffer(PMP_ADAPTER adapter);
void QZCxFreeOidParamBuffer(PMP_ADAPTER adapter);
// Frees the per-band PHY-type, channel and channel-width lists of the band capabilities.
void QZCxFreeBandCapabilityLists(PMP_ADAPTER adapter);

// ---- PnP and power ----------------------------------------------------------------------------------
// The first-power-up mark (adapter->Switches.FirstPowerUp): set by the first D0 entry, cleared by the
// D0 exit towards D3Final.
// First power-up (previous D3Final): firmware own noted and driver own taken. Any other: a resume
// (flag 0x4, tables emptied, reorder sessions and MLME queue reset, flags cleared, driver own in
// low-power mode). Then the chip's D0 register set-up and L1 substate detection. 0xC0000001 when
// driver own failed.
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

// Moves the running adapter to D0 (1) or to a low-power state (2, 3, 4) through the bus layer's power
// change by port; 0xC0010015 for another state, 0 at once for the current one.
#define STATUS_QZL_POWER_STATE_REFUSED ((NTSTATUS)0xC0010015L)
NTSTATUS QZCxSetPowerState(PMP_ADAPTER adapter, ULONG state);
// Marks the NIC shut down and runs the teardown; a second call does nothing.
VOID QZCxShutdownNic(PMP_ADAPTER adapter);
// Returns every queued firmware-log request to its pool.
VOID QZCxDrainFwLogCmdQueue(PMP_ADAPTER adapter);
// The LEDs by "OemLedMode": on (1: the LED GPIO, with the dual-band byte; 2: the two-LED scheme, with
// the connection flag, the dual-band byte and the 320 MHz flag) and off; nothing with another mode.
VOID QZCxLedOn(PMP_ADAPTER adapter, UCHAR connected, UCHAR wide);
VOID QZCxLedOff(PMP_ADAPTER adapter);
// Low-power countdown started on entering a low-power state (100 ms ticks).
#define LOW_POWER_COUNTDOWN_TICKS 1200
// Passes of the firmware-own loop of a D0 exit.
#define D0_EXIT_FW_OWN_PASSES 100

// ---- adapter block ----------------------------------------------------------------------------------
// The DMA enabler: 32-byte alignment, scatter-gather of 32-bit addresses (34 bits with "DMAExtension"
// on 0x3601 and 0x0C03), transfers of at most 4,096 bytes in at most two elements. 0xC000009A when it
// cannot be created.
#define QZL_DMA_ALIGNMENT 31
#define QZL_DMA_MAX_LENGTH 4096
#define QZL_DMA_EXTENDED_WIDTH 34
NTSTATUS QZCxInitWdfDma(PMP_ADAPTER adapter);

// ---- services of the WDI intake and the capability report the power-up calls --------------------------
// Waits (at most 20 x 10 ms) while a task handler runs, then for the WDI work items of every port;
// always 0.
NTSTATUS QZCxFlushWorkItem(PMP_ADAPTER adapter);
// The capability records and their setters (the first power-up reports them in this order).
VOID QZCxInitWiFiCapabilities(WDFDEVICE device);
NTSTATUS QZCxSetDeviceCapabilites(WDFDEVICE device);
NTSTATUS QZCxSetStationCapabilities(WDFDEVICE device);
NTSTATUS QZCxSetBandCapabilities(WDFDEVICE device);
NTSTATUS QZCxSetPhyCapabilities(WDFDEVICE device);
NTSTATUS QZCxSetWiFiDirectCapabilities(WDFDEVICE device);
// Bit of "Hlk_feature_optional" that reports the Wi-Fi Direct capabilities.
#define HLK_FEATURE_WIFI_DIRECT 0x10u
// Bit of "Hlk_feature_optional" that arms the receive-ring resume timer at a return to D0.
#define HLK_FEATURE_RX_RESUME_TIMER 0x400u
// Wake patterns and protocol offloads of the OS, and the wake reason.
NTSTATUS QZCxAddWowWakeupPattern(WDFDEVICE device);
NTSTATUS QZCxAddWowOffloadProtocol(WDFDEVICE device);
VOID QZCxRemoveWowWakeupPattern(PMP_ADAPTER adapter);
VOID QZCxRemoveWowOffloadProtocol(PMP_ADAPTER adapter);
VOID QZCxIndicateWowWakeReasonToNetAdapterCx(PMP_ADAPTER adapter, PMP_PORT port);

// ---- net adapters, ports and the Wi-Fi Direct device ------------------------------------------------------
// The transmit fragment-ring limits handed to NetAdapterCx.
#define QZCX_TX_FRAG_RING_LIMIT 65536u
#define QZCX_TX_FRAG_RING_LIMIT_AP 32768u
#define QZCX_RX_FRAG_RING_HINT 16384u
#define QZCX_RX_MAX_FRAME_SIZE 2048u
#define QZCX_LINK_SPEED 46000000000ull
#define QZCX_MTU 1500u
#define QZCX_RECEIVE_FILTERS 0xFu
#define QZCX_MULTICAST_DECLARED 16u
// Operation-mode flags of port creation: station, Wi-Fi Direct device, access point.
#define QZCX_PORT_FLAGS_STATION 1u
#define QZCX_PORT_FLAGS_WFD_DEVICE 8u
#define QZCX_PORT_FLAGS_AP 64u
// Bits of "CertReg" read by port creation.
#define CERT_REG_KEEP_NO_PORT 0x1u
#define CERT_REG_FIXED_ADDRESS 0x8u
// Bit of "Hlk_feature_optional" that reports wake and offload capabilities on a station adapter.
#define HLK_FEATURE_WAKE_CAPS 0x8u
// Internal command: restore the channel privilege after port 0's network came up.
#define INTERNAL_CMD_RESTORE_CH_PRIVILEGE 0x10000300u

// Creates the port block of a WiFiCx port (or keeps the existing one), gives it its MAC address,
// defaults and wireless mode, and for port 0 its firmware BSS; 0xC000009A when a new block cannot be
// allocated, else the status of sending the receive filter of a port other than 0 (0 for port 0).
NTSTATUS QZCxCreatePort(PMP_ADAPTER adapter, ULONG portNumber, ULONG opModeFlags);
// The Wi-Fi Direct device's port (id 0xFFFF means 0; 5 or more: 0xC0000001).
NTSTATUS QZCxDriverInitWifiDirectDeviceContext(WDFDEVICE device, WIFIDIRECTDEVICE wifiDirectDevice, ULONG portId);
// The transmit and receive data-path capabilities of the net adapter; always 0.
NTSTATUS QZCxInitTxRxDataCapability(WDFDEVICE device, NETADAPTER netAdapter, ULONG adapterType, ULONG portNumber);
// Link state, link layer, addresses, receive filter and magic packet, then the start; 0xC0000001
// without a port.
NTSTATUS QZCxDriverNetAdapterStart(NETADAPTER netAdapter);
EVT_NET_ADAPTER_SET_RECEIVE_FILTER EvtNetAdapterSetReceiveFilter;
EVT_NET_ADAPTER_RETURN_RX_BUFFER EvtNetAdapterReturnRxBuffer;
// Wake and power-offload capabilities of a station net adapter.
NTSTATUS QZCxSetWakeUpCapabilities(NETADAPTER netAdapter);
NTSTATUS QZCxSetOffloadCapabilities(NETADAPTER netAdapter);

// ---- WiFiCx entry points ------------------------------------------------------------------------------
EVT_WIFI_DEVICE_SEND_COMMAND EvtWiFiDeviceSendCommand;
EVT_WIFI_DEVICE_CREATE_ADAPTER EvtWiFiDeviceCreateAdapter;
EVT_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE EvtWiFiDeviceCreateDirectDevice;

// ---- WDI request intake -------------------------------------------------------------------------------
// A request the intake refuses is completed with 0xC0000001 and the 16-byte header written (fewer
// when the output buffer is shorter). A request without a whole WDI header is completed with
// 0xC000000D and nothing written.
#define WDI_REFUSED_STATUS STATUS_UNSUCCESSFUL
// True for the message ids of WDI tasks; every other id is a property.
BOOLEAN QZCxIsWdiTaskMessage(ULONG messageId);
// The WDI name of a message id, for traces; "<** UNKNOWN OID **>" for an unknown one.
PCSTR QZCxGetWdiMessageName(ULONG messageId);
// The port a WDI header names: 0xFFFF and ids above 4 mean port 0; null when that port does not exist.
PMP_PORT QZCxGetPortOfWdiHeader(PMP_ADAPTER adapter, const WDI_MESSAGE_HEADER* header);
// Task road: refuses a task while another is pending, while the adapter halts or is removed, for an
// id without a row, or when the port's task work item cannot take it; otherwise records it as the
// pending task and queues the port's task work item with its row.
NTSTATUS QZCxTaskSendCommand(PMP_ADAPTER adapter, WIFIREQUEST request, ULONG messageId,
                             const WDI_MESSAGE_HEADER* header);
// 0xC0000001 when the port or its work item is missing or the work item still holds a request.
NTSTATUS QZCxTaskQueueWorkItem(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request,
                               const WDI_TASK_DISPATCH_ENTRY* row);
// Property road: properties are taken while a task is pending and while the adapter halts.
NTSTATUS QZCxPropertySendCommand(PMP_ADAPTER adapter, WIFIREQUEST request, ULONG messageId,
                                 const WDI_MESSAGE_HEADER* header);
// Accepts every property.
NTSTATUS QZCxPropertyPreCheck(PMP_ADAPTER adapter, ULONG messageId, USHORT rowIndex);
NTSTATUS QZCxPropertyQueueWorkItem(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request,
                                   const WDI_PROPERTY_DISPATCH_ENTRY* row);
// Completes a refused request (see WDI_REFUSED_STATUS).
VOID QZCxRefuseRequest(WIFIREQUEST request, NTSTATUS status);
// Marks the history entries of (message id, transaction id) done with the status and the time.
VOID QZCxHistoryDone(PMP_ADAPTER adapter, ULONG messageId, ULONG transactionId, NTSTATUS status);
// The system time in milliseconds.
ULONG64 QZCxTimeMs();
// Hands a request and its row to a port's WDI work item; 0xC0000001 when the item is missing or
// still holds a request.
NTSTATUS QZCxQueueWdiWorkItem(WDFWORKITEM workItem, PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request,
                              const WDI_TASK_DISPATCH_ENTRY* taskRow, const WDI_PROPERTY_DISPATCH_ENTRY* propertyRow);
// Runs a row on its request: the parser (when the row, the request's buffer and the parameter buffer
// allow) into the zeroed parameter buffer, then the handler unless the parser failed, then the free
// routine. The parser's failure or the handler's status; 0xC0000001 for a row without a handler.
NTSTATUS QZCxRunRow(PMP_ADAPTER adapter, WIFIREQUEST request, PCSTR name, WDI_TLV_PARSE_ROUTINE* parse,
                    WDI_MESSAGE_HANDLER* handler, WDI_TLV_FREE_ROUTINE* free, ULONG parameterSize, PVOID parameters,
                    ULONG parametersCapacity);

// ---- WDI work items of a port ---------------------------------------------------------------------------
EVT_WDF_WORKITEM QZCxTaskProcessWorkItem;
EVT_WDF_WORKITEM QZCxPropertyProcessWorkItem;
