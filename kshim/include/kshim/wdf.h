// The kernel-mode driver framework subset the driver uses: framework objects with typed contexts,
// the driver and device objects with their PnP, power and power-policy callbacks, work items,
// timers, spin locks, memory and string objects, and the control device with its sequential
// queue and requests.
//
// Handles are opaque pointers. Every handle type converts to WDFOBJECT, so any handle can be
// passed where a framework object is expected (deletion, context accessors).
#pragma once

#include "kshim/ex.h"
#include "kshim/io.h"

#ifndef STATUS_INFO_LENGTH_MISMATCH
#define STATUS_INFO_LENGTH_MISMATCH ((NTSTATUS)0xC0000004L)
#endif

// ---- handles -------------------------------------------------------------------------------------
struct WDFOBJECT__ {};
typedef struct WDFOBJECT__* WDFOBJECT;
typedef WDFOBJECT* PWDFOBJECT;

#define KSHIM_WDF_HANDLE(name)                                                                     \
    struct name##__ : WDFOBJECT__ {};                                                              \
    typedef struct name##__* name;                                                                 \
    typedef name* P##name

KSHIM_WDF_HANDLE(WDFDRIVER);
KSHIM_WDF_HANDLE(WDFDEVICE);
KSHIM_WDF_HANDLE(WDFWORKITEM);
KSHIM_WDF_HANDLE(WDFTIMER);
KSHIM_WDF_HANDLE(WDFSPINLOCK);
KSHIM_WDF_HANDLE(WDFMEMORY);
KSHIM_WDF_HANDLE(WDFSTRING);
KSHIM_WDF_HANDLE(WDFQUEUE);
KSHIM_WDF_HANDLE(WDFREQUEST);
KSHIM_WDF_HANDLE(WDFCMRESLIST);
KSHIM_WDF_HANDLE(WDFINTERRUPT);
KSHIM_WDF_HANDLE(WDFDMAENABLER);
KSHIM_WDF_HANDLE(WDFCOMMONBUFFER);

// The device-initialisation object: filled by the driver before WdfDeviceCreate.
typedef struct WDFDEVICE_INIT* PWDFDEVICE_INIT;

#define WDF_NO_HANDLE nullptr
#define WDF_NO_OBJECT_ATTRIBUTES nullptr

typedef enum _WDF_TRI_STATE {
    WdfFalse = 0,
    WdfTrue = 1,
    WdfUseDefault = 2,
} WDF_TRI_STATE, *PWDF_TRI_STATE;

// ---- objects and typed contexts ------------------------------------------------------------------
typedef VOID EVT_WDF_OBJECT_CONTEXT_CLEANUP(WDFOBJECT Object);
typedef EVT_WDF_OBJECT_CONTEXT_CLEANUP* PFN_WDF_OBJECT_CONTEXT_CLEANUP;
typedef VOID EVT_WDF_OBJECT_CONTEXT_DESTROY(WDFOBJECT Object);
typedef EVT_WDF_OBJECT_CONTEXT_DESTROY* PFN_WDF_OBJECT_CONTEXT_DESTROY;

typedef enum _WDF_EXECUTION_LEVEL {
    WdfExecutionLevelInvalid = 0,
    WdfExecutionLevelInheritFromParent = 1,
    WdfExecutionLevelPassive = 2,
    WdfExecutionLevelDispatch = 3,
} WDF_EXECUTION_LEVEL;

typedef enum _WDF_SYNCHRONIZATION_SCOPE {
    WdfSynchronizationScopeInvalid = 0,
    WdfSynchronizationScopeInheritFromParent = 1,
    WdfSynchronizationScopeDevice = 2,
    WdfSynchronizationScopeQueue = 3,
    WdfSynchronizationScopeNone = 4,
} WDF_SYNCHRONIZATION_SCOPE;

// Describes one context type: its name (the type's name) and size. UniqueType points at the
// record that identifies the type; contexts are found by it.
typedef struct _WDF_OBJECT_CONTEXT_TYPE_INFO {
    ULONG Size;
    const char* ContextName;
    size_t ContextSize;
    const struct _WDF_OBJECT_CONTEXT_TYPE_INFO* UniqueType;
} WDF_OBJECT_CONTEXT_TYPE_INFO, *PWDF_OBJECT_CONTEXT_TYPE_INFO;
typedef const WDF_OBJECT_CONTEXT_TYPE_INFO* PCWDF_OBJECT_CONTEXT_TYPE_INFO;

typedef struct _WDF_OBJECT_ATTRIBUTES {
    ULONG Size;
    PFN_WDF_OBJECT_CONTEXT_CLEANUP EvtCleanupCallback;
    PFN_WDF_OBJECT_CONTEXT_DESTROY EvtDestroyCallback;
    WDF_EXECUTION_LEVEL ExecutionLevel;
    WDF_SYNCHRONIZATION_SCOPE SynchronizationScope;
    WDFOBJECT ParentObject;
    size_t ContextSizeOverride;  // larger than the type's size: the context gets this many bytes
    PCWDF_OBJECT_CONTEXT_TYPE_INFO ContextTypeInfo;
} WDF_OBJECT_ATTRIBUTES, *PWDF_OBJECT_ATTRIBUTES;

inline VOID WDF_OBJECT_ATTRIBUTES_INIT(PWDF_OBJECT_ATTRIBUTES Attributes)
{
    std::memset(Attributes, 0, sizeof(WDF_OBJECT_ATTRIBUTES));
    Attributes->Size = sizeof(WDF_OBJECT_ATTRIBUTES);
    Attributes->ExecutionLevel = WdfExecutionLevelInheritFromParent;
    Attributes->SynchronizationScope = WdfSynchronizationScopeInheritFromParent;
}

// WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(MY_CONTEXT, GetMyContext) declares the type's information
// record and the accessor `MY_CONTEXT* GetMyContext(WDFOBJECT)`. Asking an object for a context
// type it does not carry is a strict-mode failure and yields null.
#define WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype) WDF_##_contexttype##_TYPE_INFO
#define WDF_GET_CONTEXT_TYPE_INFO(_contexttype) (&WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype))

#define WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(_contexttype, _castingfunction)                         \
    inline constexpr WDF_OBJECT_CONTEXT_TYPE_INFO WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype) = {     \
        sizeof(WDF_OBJECT_CONTEXT_TYPE_INFO), #_contexttype, sizeof(_contexttype),                 \
        &WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype)};                                                \
    inline _contexttype* _castingfunction(WDFOBJECT Handle)                                        \
    {                                                                                              \
        return static_cast<_contexttype*>(                                                         \
            WdfObjectGetTypedContextWorker(Handle, WDF_GET_CONTEXT_TYPE_INFO(_contexttype)));      \
    }

#define WDF_DECLARE_CONTEXT_TYPE(_contexttype)                                                     \
    WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(_contexttype, WdfObjectGet_##_contexttype)

#define WdfObjectGetTypedContext(handle, _contexttype)                                             \
    (static_cast<_contexttype*>(                                                                   \
        WdfObjectGetTypedContextWorker((handle), WDF_GET_CONTEXT_TYPE_INFO(_contexttype))))

#define WDF_OBJECT_ATTRIBUTES_SET_CONTEXT_TYPE(_attributes, _contexttype)                          \
    ((_attributes)->ContextTypeInfo = WDF_GET_CONTEXT_TYPE_INFO(_contexttype)->UniqueType)

#define WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(_attributes, _contexttype)                         \
    do {                                                                                           \
        WDF_OBJECT_ATTRIBUTES_INIT(_attributes);                                                   \
        WDF_OBJECT_ATTRIBUTES_SET_CONTEXT_TYPE(_attributes, _contexttype);                         \
    } while (0)

PVOID WdfObjectGetTypedContextWorker(WDFOBJECT Handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO TypeInfo);

// Deletes the object and its children (children first, latest first). Clean-up callbacks run,
// then destroy callbacks, then the storage goes.
VOID WdfObjectDelete(WDFOBJECT Object);

// ---- driver ----------------------------------------------------------------------------------------
typedef NTSTATUS EVT_WDF_DRIVER_DEVICE_ADD(WDFDRIVER Driver, PWDFDEVICE_INIT DeviceInit);
typedef EVT_WDF_DRIVER_DEVICE_ADD* PFN_WDF_DRIVER_DEVICE_ADD;
typedef VOID EVT_WDF_DRIVER_UNLOAD(WDFDRIVER Driver);
typedef EVT_WDF_DRIVER_UNLOAD* PFN_WDF_DRIVER_UNLOAD;

#define WdfDriverInitNonPnpDriver 0x00000001u
#define WdfDriverInitNoDispatchOverride 0x00000002u

typedef struct _WDF_DRIVER_CONFIG {
    ULONG Size;
    PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd;
    PFN_WDF_DRIVER_UNLOAD EvtDriverUnload;
    ULONG DriverInitFlags;
    ULONG DriverPoolTag;
} WDF_DRIVER_CONFIG, *PWDF_DRIVER_CONFIG;

inline VOID WDF_DRIVER_CONFIG_INIT(PWDF_DRIVER_CONFIG Config, PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd)
{
    std::memset(Config, 0, sizeof(WDF_DRIVER_CONFIG));
    Config->Size = sizeof(WDF_DRIVER_CONFIG);
    Config->EvtDriverDeviceAdd = EvtDriverDeviceAdd;
}

NTSTATUS WdfDriverCreate(PDRIVER_OBJECT DriverObject, PCUNICODE_STRING RegistryPath,
                         PWDF_OBJECT_ATTRIBUTES DriverAttributes, PWDF_DRIVER_CONFIG DriverConfig,
                         WDFDRIVER* Driver);
PDRIVER_OBJECT WdfDriverWdmGetDriverObject(WDFDRIVER Driver);
WDFDRIVER WdfGetDriver();

// ---- device: PnP and power callbacks --------------------------------------------------------------
typedef enum _WDF_POWER_DEVICE_STATE {
    WdfPowerDeviceInvalid = 0,
    WdfPowerDeviceD0 = 1,
    WdfPowerDeviceD1 = 2,
    WdfPowerDeviceD2 = 3,
    WdfPowerDeviceD3 = 4,
    WdfPowerDeviceD3Final = 5,
    WdfPowerDevicePrepareForHibernation = 6,
    WdfPowerDeviceMaximum = 7,
} WDF_POWER_DEVICE_STATE, *PWDF_POWER_DEVICE_STATE;

typedef NTSTATUS EVT_WDF_DEVICE_D0_ENTRY(WDFDEVICE Device, WDF_POWER_DEVICE_STATE PreviousState);
typedef EVT_WDF_DEVICE_D0_ENTRY* PFN_WDF_DEVICE_D0_ENTRY;
typedef NTSTATUS EVT_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED(WDFDEVICE Device,
                                                                 WDF_POWER_DEVICE_STATE PreviousState);
typedef EVT_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED* PFN_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED;
typedef NTSTATUS EVT_WDF_DEVICE_D0_EXIT(WDFDEVICE Device, WDF_POWER_DEVICE_STATE TargetState);
typedef EVT_WDF_DEVICE_D0_EXIT* PFN_WDF_DEVICE_D0_EXIT;
typedef NTSTATUS EVT_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED(WDFDEVICE Device,
                                                                WDF_POWER_DEVICE_STATE TargetState);
typedef EVT_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED* PFN_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED;
typedef NTSTATUS EVT_WDF_DEVICE_PREPARE_HARDWARE(WDFDEVICE Device, WDFCMRESLIST ResourcesRaw,
                                                 WDFCMRESLIST ResourcesTranslated);
typedef EVT_WDF_DEVICE_PREPARE_HARDWARE* PFN_WDF_DEVICE_PREPARE_HARDWARE;
typedef NTSTATUS EVT_WDF_DEVICE_RELEASE_HARDWARE(WDFDEVICE Device, WDFCMRESLIST ResourcesTranslated);
typedef EVT_WDF_DEVICE_RELEASE_HARDWARE* PFN_WDF_DEVICE_RELEASE_HARDWARE;
typedef VOID EVT_WDF_DEVICE_SURPRISE_REMOVAL(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SURPRISE_REMOVAL* PFN_WDF_DEVICE_SURPRISE_REMOVAL;

typedef struct _WDF_PNPPOWER_EVENT_CALLBACKS {
    ULONG Size;
    PFN_WDF_DEVICE_D0_ENTRY EvtDeviceD0Entry;
    PFN_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED EvtDeviceD0EntryPostInterruptsEnabled;
    PFN_WDF_DEVICE_D0_EXIT EvtDeviceD0Exit;
    PFN_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED EvtDeviceD0ExitPreInterruptsDisabled;
    PFN_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
    PFN_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;
    PFN_WDF_DEVICE_SURPRISE_REMOVAL EvtDeviceSurpriseRemoval;
} WDF_PNPPOWER_EVENT_CALLBACKS, *PWDF_PNPPOWER_EVENT_CALLBACKS;

inline VOID WDF_PNPPOWER_EVENT_CALLBACKS_INIT(PWDF_PNPPOWER_EVENT_CALLBACKS Callbacks)
{
    std::memset(Callbacks, 0, sizeof(WDF_PNPPOWER_EVENT_CALLBACKS));
    Callbacks->Size = sizeof(WDF_PNPPOWER_EVENT_CALLBACKS);
}

VOID WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT DeviceInit,
                                            PWDF_PNPPOWER_EVENT_CALLBACKS PnpPowerEventCallbacks);

typedef NTSTATUS EVT_WDF_DEVICE_ARM_WAKE_FROM_S0(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_ARM_WAKE_FROM_S0* PFN_WDF_DEVICE_ARM_WAKE_FROM_S0;
typedef VOID EVT_WDF_DEVICE_DISARM_WAKE_FROM_S0(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_DISARM_WAKE_FROM_S0* PFN_WDF_DEVICE_DISARM_WAKE_FROM_S0;
typedef VOID EVT_WDF_DEVICE_WAKE_FROM_S0_TRIGGERED(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_WAKE_FROM_S0_TRIGGERED* PFN_WDF_DEVICE_WAKE_FROM_S0_TRIGGERED;
typedef NTSTATUS EVT_WDF_DEVICE_ARM_WAKE_FROM_SX(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_ARM_WAKE_FROM_SX* PFN_WDF_DEVICE_ARM_WAKE_FROM_SX;
typedef VOID EVT_WDF_DEVICE_DISARM_WAKE_FROM_SX(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_DISARM_WAKE_FROM_SX* PFN_WDF_DEVICE_DISARM_WAKE_FROM_SX;
typedef VOID EVT_WDF_DEVICE_WAKE_FROM_SX_TRIGGERED(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_WAKE_FROM_SX_TRIGGERED* PFN_WDF_DEVICE_WAKE_FROM_SX_TRIGGERED;

typedef struct _WDF_POWER_POLICY_EVENT_CALLBACKS {
    ULONG Size;
    PFN_WDF_DEVICE_ARM_WAKE_FROM_S0 EvtDeviceArmWakeFromS0;
    PFN_WDF_DEVICE_DISARM_WAKE_FROM_S0 EvtDeviceDisarmWakeFromS0;
    PFN_WDF_DEVICE_WAKE_FROM_S0_TRIGGERED EvtDeviceWakeFromS0Triggered;
    PFN_WDF_DEVICE_ARM_WAKE_FROM_SX EvtDeviceArmWakeFromSx;
    PFN_WDF_DEVICE_DISARM_WAKE_FROM_SX EvtDeviceDisarmWakeFromSx;
    PFN_WDF_DEVICE_WAKE_FROM_SX_TRIGGERED EvtDeviceWakeFromSxTriggered;
} WDF_POWER_POLICY_EVENT_CALLBACKS, *PWDF_POWER_POLICY_EVENT_CALLBACKS;

inline VOID WDF_POWER_POLICY_EVENT_CALLBACKS_INIT(PWDF_POWER_POLICY_EVENT_CALLBACKS Callbacks)
{
    std::memset(Callbacks, 0, sizeof(WDF_POWER_POLICY_EVENT_CALLBACKS));
    Callbacks->Size = sizeof(WDF_POWER_POLICY_EVENT_CALLBACKS);
}

VOID WdfDeviceInitSetPowerPolicyEventCallbacks(PWDFDEVICE_INIT DeviceInit,
                                               PWDF_POWER_POLICY_EVENT_CALLBACKS PowerPolicyEventCallbacks);

// ---- device: creation and the device objects beneath it ------------------------------------------
// On success *DeviceInit is consumed and set to null.
NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT* DeviceInit, PWDF_OBJECT_ATTRIBUTES DeviceAttributes,
                         WDFDEVICE* Device);
PDEVICE_OBJECT WdfDeviceWdmGetDeviceObject(WDFDEVICE Device);     // the functional device object
PDEVICE_OBJECT WdfDeviceWdmGetPhysicalDevice(WDFDEVICE Device);   // the bus's physical device object
PDEVICE_OBJECT WdfDeviceWdmGetAttachedDevice(WDFDEVICE Device);   // the next lower device
WDFDRIVER WdfDeviceGetDriver(WDFDEVICE Device);

// ---- device: power capabilities and power policy --------------------------------------------------
typedef struct _WDF_DEVICE_POWER_CAPABILITIES {
    ULONG Size;
    WDF_TRI_STATE DeviceD1;
    WDF_TRI_STATE DeviceD2;
    WDF_TRI_STATE WakeFromD0;
    WDF_TRI_STATE WakeFromD1;
    WDF_TRI_STATE WakeFromD2;
    WDF_TRI_STATE WakeFromD3;
    DEVICE_POWER_STATE DeviceState[PowerSystemMaximum];  // device state for each system state
    DEVICE_POWER_STATE DeviceWake;
    SYSTEM_POWER_STATE SystemWake;
    ULONG D1Latency;
    ULONG D2Latency;
    ULONG D3Latency;
    DEVICE_POWER_STATE IdealDxStateForSx;
} WDF_DEVICE_POWER_CAPABILITIES, *PWDF_DEVICE_POWER_CAPABILITIES;

// Everything "use the default": tri-states WdfUseDefault, states PowerDeviceMaximum /
// PowerSystemMaximum, latencies (ULONG)-1.
inline VOID WDF_DEVICE_POWER_CAPABILITIES_INIT(PWDF_DEVICE_POWER_CAPABILITIES Caps)
{
    std::memset(Caps, 0, sizeof(WDF_DEVICE_POWER_CAPABILITIES));
    Caps->Size = sizeof(WDF_DEVICE_POWER_CAPABILITIES);
    Caps->DeviceD1 = WdfUseDefault;
    Caps->DeviceD2 = WdfUseDefault;
    Caps->WakeFromD0 = WdfUseDefault;
    Caps->WakeFromD1 = WdfUseDefault;
    Caps->WakeFromD2 = WdfUseDefault;
    Caps->WakeFromD3 = WdfUseDefault;
    for (ULONG i = 0; i < PowerSystemMaximum; ++i) {
        Caps->DeviceState[i] = PowerDeviceMaximum;
    }
    Caps->DeviceWake = PowerDeviceMaximum;
    Caps->SystemWake = PowerSystemMaximum;
    Caps->D1Latency = 0xFFFFFFFFu;
    Caps->D2Latency = 0xFFFFFFFFu;
    Caps->D3Latency = 0xFFFFFFFFu;
    Caps->IdealDxStateForSx = PowerDeviceMaximum;
}

NTSTATUS WdfDeviceSetPowerCapabilities(WDFDEVICE Device, PWDF_DEVICE_POWER_CAPABILITIES PowerCapabilities);

typedef enum _WDF_POWER_POLICY_S0_IDLE_CAPABILITIES {
    IdleCapsInvalid = 0,
    IdleCannotWakeFromS0 = 1,
    IdleCanWakeFromS0 = 2,
    IdleUsbSelectiveSuspend = 3,
} WDF_POWER_POLICY_S0_IDLE_CAPABILITIES;

typedef enum _WDF_POWER_POLICY_S0_IDLE_USER_CONTROL {
    IdleUserControlInvalid = 0,
    IdleDoNotAllowUserControl = 1,
    IdleAllowUserControl = 2,
} WDF_POWER_POLICY_S0_IDLE_USER_CONTROL;

typedef enum _WDF_POWER_POLICY_IDLE_TIMEOUT_TYPE {
    DriverManagedIdleTimeout = 0,
    SystemManagedIdleTimeout = 1,
    SystemManagedIdleTimeoutWithHint = 2,
} WDF_POWER_POLICY_IDLE_TIMEOUT_TYPE;

typedef struct _WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS {
    ULONG Size;
    WDF_POWER_POLICY_S0_IDLE_CAPABILITIES IdleCaps;
    DEVICE_POWER_STATE DxState;
    ULONG IdleTimeout;  // ms; 0 = the framework's default
    WDF_POWER_POLICY_S0_IDLE_USER_CONTROL UserControlOfIdleSettings;
    WDF_TRI_STATE Enabled;
    WDF_TRI_STATE PowerUpIdleDeviceOnSystemWake;
    WDF_POWER_POLICY_IDLE_TIMEOUT_TYPE IdleTimeoutType;
    WDF_TRI_STATE ExcludeD3Cold;
} WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS, *PWDF_DEVICE_POWER_POLICY_IDLE_SETTINGS;

inline VOID WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS_INIT(PWDF_DEVICE_POWER_POLICY_IDLE_SETTINGS Settings,
                                                       WDF_POWER_POLICY_S0_IDLE_CAPABILITIES IdleCaps)
{
    std::memset(Settings, 0, sizeof(WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS));
    Settings->Size = sizeof(WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS);
    Settings->IdleCaps = IdleCaps;
    Settings->DxState = IdleCaps == IdleCannotWakeFromS0 ? PowerDeviceD3 : PowerDeviceMaximum;
    Settings->IdleTimeout = 0;
    Settings->UserControlOfIdleSettings = IdleAllowUserControl;
    Settings->Enabled = WdfUseDefault;
    Settings->PowerUpIdleDeviceOnSystemWake = WdfUseDefault;
    Settings->IdleTimeoutType = DriverManagedIdleTimeout;
    Settings->ExcludeD3Cold = WdfUseDefault;
}

// Fails with STATUS_POWER_STATE_INVALID when the platform cannot idle the device in S0.
NTSTATUS WdfDeviceAssignS0IdleSettings(WDFDEVICE Device, PWDF_DEVICE_POWER_POLICY_IDLE_SETTINGS Settings);

typedef enum _WDF_POWER_POLICY_SX_WAKE_USER_CONTROL {
    WakeUserControlInvalid = 0,
    WakeDoNotAllowUserControl = 1,
    WakeAllowUserControl = 2,
} WDF_POWER_POLICY_SX_WAKE_USER_CONTROL;

typedef struct _WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS {
    ULONG Size;
    DEVICE_POWER_STATE DxState;
    WDF_POWER_POLICY_SX_WAKE_USER_CONTROL UserControlOfWakeSettings;
    WDF_TRI_STATE Enabled;
    BOOLEAN ArmForWakeIfChildrenAreArmedForWake;
    BOOLEAN IndicateChildWakeOnParentWake;
} WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS, *PWDF_DEVICE_POWER_POLICY_WAKE_SETTINGS;

inline VOID WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS_INIT(PWDF_DEVICE_POWER_POLICY_WAKE_SETTINGS Settings)
{
    std::memset(Settings, 0, sizeof(WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS));
    Settings->Size = sizeof(WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS);
    Settings->DxState = PowerDeviceMaximum;
    Settings->UserControlOfWakeSettings = WakeAllowUserControl;
    Settings->Enabled = WdfUseDefault;
}

// Fails with STATUS_POWER_STATE_INVALID when the platform cannot wake the system from the device.
NTSTATUS WdfDeviceAssignSxWakeSettings(WDFDEVICE Device, PWDF_DEVICE_POWER_POLICY_WAKE_SETTINGS Settings);

// ---- work items ------------------------------------------------------------------------------------
typedef VOID EVT_WDF_WORKITEM(WDFWORKITEM WorkItem);
typedef EVT_WDF_WORKITEM* PFN_WDF_WORKITEM;

typedef struct _WDF_WORKITEM_CONFIG {
    ULONG Size;
    PFN_WDF_WORKITEM EvtWorkItemFunc;
    BOOLEAN AutomaticSerialization;
} WDF_WORKITEM_CONFIG, *PWDF_WORKITEM_CONFIG;

inline VOID WDF_WORKITEM_CONFIG_INIT(PWDF_WORKITEM_CONFIG Config, PFN_WDF_WORKITEM EvtWorkItemFunc)
{
    std::memset(Config, 0, sizeof(WDF_WORKITEM_CONFIG));
    Config->Size = sizeof(WDF_WORKITEM_CONFIG);
    Config->EvtWorkItemFunc = EvtWorkItemFunc;
    Config->AutomaticSerialization = TRUE;
}

// The attributes must name a parent object. The callback runs at PASSIVE_LEVEL on a system
// worker thread and never overlaps itself.
NTSTATUS WdfWorkItemCreate(PWDF_WORKITEM_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes,
                           WDFWORKITEM* WorkItem);
// Enqueue while queued: one run. Enqueue while running: one more run after the current one.
VOID WdfWorkItemEnqueue(WDFWORKITEM WorkItem);
// Waits until the work item is neither queued nor running (PASSIVE_LEVEL).
VOID WdfWorkItemFlush(WDFWORKITEM WorkItem);
WDFOBJECT WdfWorkItemGetParentObject(WDFWORKITEM WorkItem);

// ---- timers ----------------------------------------------------------------------------------------
typedef VOID EVT_WDF_TIMER(WDFTIMER Timer);
typedef EVT_WDF_TIMER* PFN_WDF_TIMER;

typedef struct _WDF_TIMER_CONFIG {
    ULONG Size;
    PFN_WDF_TIMER EvtTimerFunc;
    ULONG Period;  // ms; 0 = one-shot
    BOOLEAN AutomaticSerialization;
    ULONG TolerableDelay;
    BOOLEAN UseHighResolutionTimer;
} WDF_TIMER_CONFIG, *PWDF_TIMER_CONFIG;

inline VOID WDF_TIMER_CONFIG_INIT(PWDF_TIMER_CONFIG Config, PFN_WDF_TIMER EvtTimerFunc)
{
    std::memset(Config, 0, sizeof(WDF_TIMER_CONFIG));
    Config->Size = sizeof(WDF_TIMER_CONFIG);
    Config->EvtTimerFunc = EvtTimerFunc;
    Config->AutomaticSerialization = TRUE;
}

inline VOID WDF_TIMER_CONFIG_INIT_PERIODIC(PWDF_TIMER_CONFIG Config, PFN_WDF_TIMER EvtTimerFunc, LONG Period)
{
    WDF_TIMER_CONFIG_INIT(Config, EvtTimerFunc);
    Config->Period = static_cast<ULONG>(Period);
}

// Relative due times are negative, in 100 ns units.
inline LONGLONG WDF_REL_TIMEOUT_IN_MS(ULONGLONG Time) { return -static_cast<LONGLONG>(Time) * 10000; }
inline LONGLONG WDF_REL_TIMEOUT_IN_US(ULONGLONG Time) { return -static_cast<LONGLONG>(Time) * 10; }

// The attributes must name a parent object. The callback runs at DISPATCH_LEVEL on the timer
// thread; one timer's callbacks never overlap; a periodic timer fires every Period ms after its
// first expiry, whatever due time it was started with.
NTSTATUS WdfTimerCreate(PWDF_TIMER_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes, WDFTIMER* Timer);
// DueTime negative = relative (100 ns), positive = absolute system time. Restarts a pending timer
// with the new due time; TRUE when the timer was already queued.
BOOLEAN WdfTimerStart(WDFTIMER Timer, LONGLONG DueTime);
// TRUE when a queued expiry was removed. Wait = TRUE also waits for a running callback
// (PASSIVE_LEVEL only); Wait = FALSE does not.
BOOLEAN WdfTimerStop(WDFTIMER Timer, BOOLEAN Wait);
WDFOBJECT WdfTimerGetParentObject(WDFTIMER Timer);

// ---- spin locks ------------------------------------------------------------------------------------
NTSTATUS WdfSpinLockCreate(PWDF_OBJECT_ATTRIBUTES SpinLockAttributes, WDFSPINLOCK* SpinLock);
// Raises to DISPATCH_LEVEL; the release restores the level the acquire found.
VOID WdfSpinLockAcquire(WDFSPINLOCK SpinLock);
VOID WdfSpinLockRelease(WDFSPINLOCK SpinLock);

// ---- memory and strings ----------------------------------------------------------------------------
// The buffer comes from the pool with the tag (0: the driver's pool tag) and is zero-filled; it is
// freed with the object. The default parent is the driver.
NTSTATUS WdfMemoryCreate(PWDF_OBJECT_ATTRIBUTES Attributes, POOL_TYPE PoolType, ULONG PoolTag,
                         size_t BufferSize, WDFMEMORY* Memory, PVOID* Buffer);
// Wraps a caller's buffer; the caller keeps it alive for the object's lifetime.
NTSTATUS WdfMemoryCreatePreallocated(PWDF_OBJECT_ATTRIBUTES Attributes, PVOID Buffer, size_t BufferSize,
                                     WDFMEMORY* Memory);
PVOID WdfMemoryGetBuffer(WDFMEMORY Memory, size_t* BufferSize);

NTSTATUS WdfStringCreate(PCUNICODE_STRING UnicodeString, PWDF_OBJECT_ATTRIBUTES StringAttributes,
                         WDFSTRING* String);
// Points the counted string at the object's own text (valid while the object lives).
VOID WdfStringGetUnicodeString(WDFSTRING String, PUNICODE_STRING UnicodeString);

// ---- control device ----------------------------------------------------------------------------------
typedef VOID EVT_WDF_DEVICE_SHUTDOWN_NOTIFICATION(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SHUTDOWN_NOTIFICATION* PFN_WDF_DEVICE_SHUTDOWN_NOTIFICATION;

typedef enum _WDF_DEVICE_SHUTDOWN_FLAGS {
    WdfDeviceShutdown = 0x01,
    WdfDeviceLastChanceShutdown = 0x02,
} WDF_DEVICE_SHUTDOWN_FLAGS;

// A device-initialisation object for a named control device with the security descriptor (SDDL
// text); null when none can be allocated.
PWDFDEVICE_INIT WdfControlDeviceInitAllocate(WDFDRIVER Driver, PCUNICODE_STRING SDDLString);
VOID WdfDeviceInitSetExclusive(PWDFDEVICE_INIT DeviceInit, BOOLEAN IsExclusive);
NTSTATUS WdfDeviceInitAssignName(PWDFDEVICE_INIT DeviceInit, PCUNICODE_STRING DeviceName);
VOID WdfControlDeviceInitSetShutdownNotification(PWDFDEVICE_INIT DeviceInit,
                                                 PFN_WDF_DEVICE_SHUTDOWN_NOTIFICATION Notification,
                                                 UCHAR Flags);
NTSTATUS WdfDeviceCreateSymbolicLink(WDFDEVICE Device, PCUNICODE_STRING SymbolicLinkName);
// Requests reach a control device only after this call.
VOID WdfControlFinishInitializing(WDFDEVICE Device);
// Frees an initialisation object that WdfDeviceCreate did not consume.
VOID WdfDeviceInitFree(PWDFDEVICE_INIT DeviceInit);

// ---- I/O queue and requests ---------------------------------------------------------------------------
typedef enum _WDF_IO_QUEUE_DISPATCH_TYPE {
    WdfIoQueueDispatchInvalid = 0,
    WdfIoQueueDispatchSequential = 1,
    WdfIoQueueDispatchParallel = 2,
    WdfIoQueueDispatchManual = 3,
} WDF_IO_QUEUE_DISPATCH_TYPE;

typedef VOID EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL(WDFQUEUE Queue, WDFREQUEST Request, size_t OutputBufferLength,
                                               size_t InputBufferLength, ULONG IoControlCode);
typedef EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL* PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL;

typedef struct _WDF_IO_QUEUE_CONFIG {
    ULONG Size;
    WDF_IO_QUEUE_DISPATCH_TYPE DispatchType;
    WDF_TRI_STATE PowerManaged;
    BOOLEAN AllowZeroLengthRequests;
    BOOLEAN DefaultQueue;
    PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL EvtIoDeviceControl;
} WDF_IO_QUEUE_CONFIG, *PWDF_IO_QUEUE_CONFIG;

inline VOID WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(PWDF_IO_QUEUE_CONFIG Config,
                                                   WDF_IO_QUEUE_DISPATCH_TYPE DispatchType)
{
    std::memset(Config, 0, sizeof(WDF_IO_QUEUE_CONFIG));
    Config->Size = sizeof(WDF_IO_QUEUE_CONFIG);
    Config->DispatchType = DispatchType;
    Config->PowerManaged = WdfUseDefault;
    Config->DefaultQueue = TRUE;
}

// Only the sequential dispatch is offered: the queue hands the driver one request at a time, the
// next one only after the current one is completed.
NTSTATUS WdfIoQueueCreate(WDFDEVICE Device, PWDF_IO_QUEUE_CONFIG Config, PWDF_OBJECT_ATTRIBUTES QueueAttributes,
                          WDFQUEUE* Queue);
WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE Queue);

// STATUS_BUFFER_TOO_SMALL when the buffer is empty or shorter than MinimumRequiredSize.
NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID* Buffer,
                                       size_t* Length);
NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID* Buffer,
                                        size_t* Length);
VOID WdfRequestSetInformation(WDFREQUEST Request, ULONG_PTR Information);
// A request is completed exactly once; completing it again is a strict-mode failure.
VOID WdfRequestComplete(WDFREQUEST Request, NTSTATUS Status);
VOID WdfRequestCompleteWithInformation(WDFREQUEST Request, NTSTATUS Status, ULONG_PTR Information);

// ---- the hardware path -------------------------------------------------------------------------
// Resource lists and the bus interface query; interrupt objects; the DMA enabler and common buffers.
#include "kshim/wdf_resources.h"
#include "kshim/wdf_interrupt.h"
#include "kshim/wdf_dma.h"
