// The I/O manager's objects as the driver sees them: the driver object handed to the image entry
// and the device objects of a device stack (the physical device object of the bus, the lower
// device the functional device is attached to, the functional device itself, and control
// devices), with the kernel's device and system power state values.
#pragma once

#include "kshim/ke.h"

// ---- power states --------------------------------------------------------------------------------
typedef enum _DEVICE_POWER_STATE {
    PowerDeviceUnspecified = 0,
    PowerDeviceD0 = 1,
    PowerDeviceD1 = 2,
    PowerDeviceD2 = 3,
    PowerDeviceD3 = 4,
    PowerDeviceMaximum = 5,
} DEVICE_POWER_STATE, *PDEVICE_POWER_STATE;

typedef enum _SYSTEM_POWER_STATE {
    PowerSystemUnspecified = 0,
    PowerSystemWorking = 1,
    PowerSystemSleeping1 = 2,
    PowerSystemSleeping2 = 3,
    PowerSystemSleeping3 = 4,
    PowerSystemHibernate = 5,
    PowerSystemShutdown = 6,
    PowerSystemMaximum = 7,
} SYSTEM_POWER_STATE, *PSYSTEM_POWER_STATE;

// ---- device objects ------------------------------------------------------------------------------
typedef ULONG DEVICE_TYPE;
#define FILE_DEVICE_UNKNOWN 0x00000022u
#define FILE_DEVICE_BUS_EXTENDER 0x0000002Au
#define FILE_DEVICE_NETWORK 0x00000012u

// Device object flags.
#define DO_BUFFERED_IO 0x00000004u
#define DO_EXCLUSIVE 0x00000008u
#define DO_DIRECT_IO 0x00000010u
#define DO_DEVICE_INITIALIZING 0x00000080u
#define DO_POWER_PAGABLE 0x00002000u

#define IO_TYPE_DRIVER 4
#define IO_TYPE_DEVICE 3

// What a device object is in its stack (the stand-in's own field, for tests and the harness).
typedef enum _KSHIM_DEVICE_ROLE {
    KshimDeviceFunctional = 1,  // the driver's FDO, created by the framework device
    KshimDevicePhysical = 2,    // the bus driver's PDO
    KshimDeviceLower = 3,       // the device the FDO is attached to (a bus filter above the PDO)
    KshimDeviceControl = 4,     // a named control device, outside any stack
} KSHIM_DEVICE_ROLE;

struct _DRIVER_OBJECT;

// The framework owns every device object the driver has; drivers keep their state in framework
// contexts, so there is no device extension (DeviceExtension stays null).
typedef struct _DEVICE_OBJECT {
    SHORT Type;  // IO_TYPE_DEVICE
    USHORT Size;
    struct _DRIVER_OBJECT* DriverObject;
    struct _DEVICE_OBJECT* NextDevice;      // next device object of the same driver
    struct _DEVICE_OBJECT* AttachedDevice;  // the device attached on top of this one
    ULONG Flags;                            // DO_*
    DEVICE_TYPE DeviceType;
    CHAR StackSize;
    PVOID DeviceExtension;
    ULONG KshimRole;  // KSHIM_DEVICE_ROLE
} DEVICE_OBJECT, *PDEVICE_OBJECT;

// ---- the driver object ---------------------------------------------------------------------------
typedef struct _DRIVER_OBJECT DRIVER_OBJECT;
typedef DRIVER_OBJECT* PDRIVER_OBJECT;

typedef NTSTATUS DRIVER_INITIALIZE(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
typedef DRIVER_INITIALIZE* PDRIVER_INITIALIZE;
typedef VOID DRIVER_UNLOAD(PDRIVER_OBJECT DriverObject);
typedef DRIVER_UNLOAD* PDRIVER_UNLOAD;

struct _DRIVER_OBJECT {
    SHORT Type;  // IO_TYPE_DRIVER
    SHORT Size;
    PDEVICE_OBJECT DeviceObject;  // first device object of the driver, chained by NextDevice
    ULONG Flags;
    UNICODE_STRING DriverName;  // "\Driver\<service name>"
    PDRIVER_INITIALIZE DriverInit;
    // Called by the I/O manager when the driver is unloaded. The framework installs its own
    // routine here; it calls the driver's unload callback.
    PDRIVER_UNLOAD DriverUnload;
};

// ---- I/O request packets ---------------------------------------------------------------------------
// IRPs (device-control and PnP requests sent to the lower device, synchronous file-system
// requests, the attached-device reference) are added with the calls that send them.
