// Calls the shell makes into the chip layer.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// The interrupt work of the second and the third chip generation, run on "PlatformIntHandlerThread".
NTSTATUS AsicArvel2xPciHandleInterruptInternal(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xPciHandleInterruptInternal(PMP_ADAPTER adapter);

// The SER step handler: serves the saved MCU-to-host software interrupt status of a system-error
// recovery step (second and third generation).
VOID SerStepHandler(PMP_ADAPTER adapter);

// One poll of the firmware log ring; run by "PlatformFWIdxLogThread" for each queued request.
NTSTATUS fwLogMmioHandler();

// The chip's register dumps for diagnostics, in a fixed order: the DMA ring information, the host
// registers, the packet-processor debug registers, the PLE information (argument 1) and the PSE
// information, each when the chip has the operation (one error trace line for each it lacks). The
// adapter's dump-in-progress byte is set while they run.
VOID HalShowHostCsrInfo(PMP_ADAPTER adapter);
