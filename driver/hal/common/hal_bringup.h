// The chip-independent steps of the firmware bring-up: they reach the chip only through the
// operations table. HalInitHwCtrl prepares the command events and reads the chip's versions;
// HalDownloadPatchFirmware runs the download in a fixed order of operation slots and decides whether
// a firmware that already runs may stay; three small routines answer the bring-up and error recovery
// (connection-subsystem health, processor vendor, the Bluetooth companion's debug dump).
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// Processor vendors (the adapter's CpuVendor).
#define HAL_CPU_VENDOR_INTEL 1u
#define HAL_CPU_VENDOR_AMD 2u
#define HAL_CPU_VENDOR_OTHER 3u

// Clears the hardware and ROM versions and the channel-privilege-supported byte, and initialises the
// sent and response events of the 20 firmware-command slots.
VOID HalInitHwCtrlEvents(PMP_ADAPTER adapter);
// HalInitHwCtrlEvents, the hardware-version query (its status is the result) and the PHY types.
NTSTATUS HalInitHwCtrl(PMP_ADAPTER adapter);

// The firmware download over the operations table (an empty slot reads as 0xC00000BB): a running
// firmware is kept (keep-running flag) or erased; then pre-download, ROM patch, Bluetooth patch (its
// failure only traced), RAM code, the time, and the post-download initialisation, whose status is the
// result; the firmware log set-up and the factory-calibration flag follow. A step answering anything
// but 0 and 0xC00000BB ends the download with 0xC0000001.
NTSTATUS HalDownloadPatchFirmware(PMP_ADAPTER adapter);

// The chip's connection-subsystem health check (0 healthy); 0 with a trace when the chip has none.
// The chip's check takes no arguments of its own: the three are passed through to nothing.
ULONG HalChekcConnsysWell(PMP_ADAPTER adapter, ULONG first, ULONG second, ULONG third);

// HAL_CPU_VENDOR_INTEL for "GenuineIntel", HAL_CPU_VENDOR_AMD for "AuthenticAMD", else
// HAL_CPU_VENDOR_OTHER (the vendor text of identification leaf 0).
ULONG HalGetCPUVendorID();

// The companion Bluetooth filter driver's debug dump: the first of "\Device\QZLBTFilter_1" to
// "_9" that opens gets control code 0x223430 with {u32 3}. 0xC0000001 when none opens or the
// request fails.
#define HAL_BT_DEBUG_SOP_IOCTL 0x223430u
NTSTATUS HalGetBtDebugSopInfo();
