// The WDI task control block: the task the OS has pending.
#pragma once

#include "kshim/wificx.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

#define WDI_TASK_ROW_NONE 255

// With a request: records it as the pending task with its dispatch-table row. Without one (null):
// clears the pending task and stores the row index (every caller passes WDI_TASK_ROW_NONE).
NTSTATUS WdiUpdateCntlBlock(PMP_ADAPTER adapter, WIFIREQUEST request, USHORT rowIndex);
