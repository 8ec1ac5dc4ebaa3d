// Interrupt objects: WdfInterruptCreate, WdfInterruptQueueDpcForIsr, WdfInterruptSynchronize and
// the enable and disable callbacks.
// Included by kshim/wdf.h.
//
// An interrupt object belongs to a device and serves one message of the device's interrupt (the
// first object created on a device serves message 0, the next message 1, ...). The framework
// enables it in the power-up sequence, after EvtDeviceD0Entry and before
// EvtDeviceD0EntryPostInterruptsEnabled, and disables it in the power-down sequence, after
// EvtDeviceD0ExitPreInterruptsDisabled; the enable and disable callbacks run at the device level
// (DEVICE_LEVEL) holding the interrupt lock. The service routine runs at the device level holding
// the interrupt lock, only while the object is enabled; an interrupt the device raises while the
// object is disabled stays pending (once per message) and is served right after the next enable.
// The deferred routine runs at DISPATCH_LEVEL; KeFlushQueuedDpcs waits for it as for any DPC.
#pragma once

typedef PVOID WDFCONTEXT;

// A resource descriptor of the device's resource lists (kshim/wdf_resources.h).
struct _CM_PARTIAL_RESOURCE_DESCRIPTOR;
typedef struct _CM_PARTIAL_RESOURCE_DESCRIPTOR* PCM_PARTIAL_RESOURCE_DESCRIPTOR;

// Runs at DEVICE_LEVEL holding the interrupt lock; TRUE when the device's interrupt was taken.
typedef BOOLEAN EVT_WDF_INTERRUPT_ISR(WDFINTERRUPT Interrupt, ULONG MessageID);
typedef EVT_WDF_INTERRUPT_ISR* PFN_WDF_INTERRUPT_ISR;
// Runs at DISPATCH_LEVEL once per queueing by WdfInterruptQueueDpcForIsr; AssociatedObject is the
// device.
typedef VOID EVT_WDF_INTERRUPT_DPC(WDFINTERRUPT Interrupt, WDFOBJECT AssociatedObject);
typedef EVT_WDF_INTERRUPT_DPC* PFN_WDF_INTERRUPT_DPC;
// Run at DEVICE_LEVEL holding the interrupt lock. A failing enable callback fails the power-up.
typedef NTSTATUS EVT_WDF_INTERRUPT_ENABLE(WDFINTERRUPT Interrupt, WDFDEVICE AssociatedDevice);
typedef EVT_WDF_INTERRUPT_ENABLE* PFN_WDF_INTERRUPT_ENABLE;
typedef NTSTATUS EVT_WDF_INTERRUPT_DISABLE(WDFINTERRUPT Interrupt, WDFDEVICE AssociatedDevice);
typedef EVT_WDF_INTERRUPT_DISABLE* PFN_WDF_INTERRUPT_DISABLE;
// Runs at DEVICE_LEVEL holding the interrupt lock (WdfInterruptSynchronize).
typedef BOOLEAN EVT_WDF_INTERRUPT_SYNCHRONIZE(WDFINTERRUPT Interrupt, WDFCONTEXT Context);
typedef EVT_WDF_INTERRUPT_SYNCHRONIZE* PFN_WDF_INTERRUPT_SYNCHRONIZE;

typedef struct _WDF_INTERRUPT_CONFIG {
    ULONG Size;
    WDF_TRI_STATE ShareVector;
    BOOLEAN AutomaticSerialization;
    PFN_WDF_INTERRUPT_ISR EvtInterruptIsr;  // required
    PFN_WDF_INTERRUPT_DPC EvtInterruptDpc;
    PFN_WDF_INTERRUPT_ENABLE EvtInterruptEnable;
    PFN_WDF_INTERRUPT_DISABLE EvtInterruptDisable;
    // The descriptors of the interrupt resource in the raw and translated lists (recorded only).
    PCM_PARTIAL_RESOURCE_DESCRIPTOR InterruptRaw;
    PCM_PARTIAL_RESOURCE_DESCRIPTOR InterruptTranslated;
    WDF_TRI_STATE ReportInactiveOnPowerDown;
} WDF_INTERRUPT_CONFIG, *PWDF_INTERRUPT_CONFIG;

// The framework's defaults: shared vector and report-inactive left to the framework, no automatic
// serialisation, no enable or disable callbacks.
inline VOID WDF_INTERRUPT_CONFIG_INIT(PWDF_INTERRUPT_CONFIG Config, PFN_WDF_INTERRUPT_ISR EvtInterruptIsr,
                                      PFN_WDF_INTERRUPT_DPC EvtInterruptDpc)
{
    std::memset(Config, 0, sizeof(WDF_INTERRUPT_CONFIG));
    Config->Size = sizeof(WDF_INTERRUPT_CONFIG);
    Config->ShareVector = WdfUseDefault;
    Config->EvtInterruptIsr = EvtInterruptIsr;
    Config->EvtInterruptDpc = EvtInterruptDpc;
    Config->ReportInactiveOnPowerDown = WdfUseDefault;
}

// PASSIVE_LEVEL. The interrupt object's parent is the device (attributes may carry a context type
// and callbacks; a parent other than the device is refused). Fault point "wdf.interruptcreate".
NTSTATUS WdfInterruptCreate(WDFDEVICE Device, PWDF_INTERRUPT_CONFIG Configuration, PWDF_OBJECT_ATTRIBUTES Attributes,
                            WDFINTERRUPT* Interrupt);
// Queues the deferred routine; FALSE when it is already queued (the routine then runs once for
// both). Callable from the service routine and at any level up to DEVICE_LEVEL.
BOOLEAN WdfInterruptQueueDpcForIsr(WDFINTERRUPT Interrupt);
// Runs the callback at DEVICE_LEVEL holding the interrupt lock, so that it never overlaps the
// service routine, and returns its result. Callable at any level up to DEVICE_LEVEL, but not from
// the service routine nor from a synchronised callback of the same object.
BOOLEAN WdfInterruptSynchronize(WDFINTERRUPT Interrupt, PFN_WDF_INTERRUPT_SYNCHRONIZE Callback, WDFCONTEXT Context);
// Raise to DEVICE_LEVEL and take the interrupt lock; the release restores the level.
VOID WdfInterruptAcquireLock(WDFINTERRUPT Interrupt);
VOID WdfInterruptReleaseLock(WDFINTERRUPT Interrupt);
WDFDEVICE WdfInterruptGetDevice(WDFINTERRUPT Interrupt);
