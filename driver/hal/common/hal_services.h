// Calls the shell makes into the chip layer.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// The interrupt work of the second and the third chip generation, run on "PlatformIntHandlerThread".
NTSTATUS AsicArvel2xPciHandleInterruptInternal(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xPciHandleInterruptInternal(PMP_ADAPTER adapter);

// The SER step handler (hal/common/hal_ser).
#include "hal/common/hal_ser.h"

// ---- the firmware log over the memory BAR, and the time of day ----------------------------------------
// One poll of the firmware log ring; run by "PlatformFWIdxLogThread" for each queued request.
NTSTATUS fwLogMmioHandler();
// Sets the log control up: before the download it asks the firmware for the log base, once the RAM
// code runs it reads the ring headers. The bring-up fails when it fails.
NTSTATUS fwLogMmioInitMcu(PMP_ADAPTER adapter);
VOID fwLogMmioStart();
VOID fwLogMmioStop();
VOID fwLogCtrlDeInitSubCtrl();
// Gives the firmware the local time of day; always 0.
NTSTATUS kalSyncTimeToFW(PMP_ADAPTER adapter);
// The local time as the chip configuration text "SyncTime <seconds> <microseconds>" (the chips whose
// firmware takes the time as a command).
VOID HalSendUtcTimeText(PMP_ADAPTER adapter, ULONG seconds, ULONG microseconds);

// The chip's register dumps for diagnostics, in a fixed order: the DMA ring information, the host
// registers, the packet-processor debug registers, the PLE information (argument 1) and the PSE
// information, each when the chip has the operation (one error trace line for each it lacks). The
// adapter's dump-in-progress byte is set while they run.
VOID HalShowHostCsrInfo(PMP_ADAPTER adapter);
