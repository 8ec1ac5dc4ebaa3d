// The chip's system-error recovery (SER): the firmware drives it in steps, each announced by an
// MCU-to-host software interrupt bit, and the driver answers each step through the host-to-MCU
// software interrupt register.
//
//   state 0 --bit 2--> transmit-stop check armed (5 ms); once every dequeue is idle it writes 1 and
//                      sets state 1
//   state 1 --bit 3--> DMA scheduler, ring registers and interrupts restored; state 2; writes 2
//   state 2 --bit 4--> frames waiting for transmit done requeued (second generation) or the pending
//                      packets returned to the OS (third); state 3; writes 8
//   state 3 --bit 5--> the OS transmit path restarts (second generation); state 0; SER-done event
//
// A bit that does not belong to the current state is traced and changes nothing.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

#define SER_STATE_IDLE 0
#define SER_STATE_TX_STOPPED 1
#define SER_STATE_DMA_REINIT 2
#define SER_STATE_TX_RESUMED 3
// MCU-to-host software interrupt bits of the four steps.
#define SER_INT_START 0x04u
#define SER_INT_DMA_REINIT 0x08u
#define SER_INT_TX_RESUME 0x10u
#define SER_INT_DONE 0x20u
#define SER_RECOVERY_STAGE 2u

// Serves the saved software-interrupt status (SavedSwIntStatus, taken and cleared) for one step;
// nothing unless the chip's SER is handled (SerEnabled). Runs in the interrupt work.
VOID SerStepHandler(PMP_ADAPTER adapter);
