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
