// MP_ADAPTER, the one object per device (the framework device context), and MP_PORT, the
// per-port block. The adapter grows module by module: each module's share is a block declared in
// that module's own header.
#pragma once

#include "kshim/ke.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/registry_block.h"

#define MP_ADAPTER_SIGNATURE 0xAABBCCDDu
#define MP_MAX_PORTS 5

typedef struct _MP_PORT MP_PORT, *PMP_PORT;

typedef struct _MP_ADAPTER {
    // Adapter state.
    ULONG Signature;  // MP_ADAPTER_SIGNATURE once bring-up has run
    volatile LONG Flags;  // changed only through AdapterSetFlag / AdapterClearFlag
    KSPIN_LOCK FlagLock;
    KIRQL FlagLockIrql;

    // Ports.
    PMP_PORT PortList[MP_MAX_PORTS];

    // Device identity: the PCI device id that selects the chip.
    USHORT DeviceId;

    // Chip operations table and descriptor copies.
    CHIP_HAL_OPS HalOps;
    CHIP_HAL_INFO HalInfo;

    // One field per configuration row.
    REGISTRY_BLOCK RegistryBlock;
} MP_ADAPTER, *PMP_ADAPTER;
