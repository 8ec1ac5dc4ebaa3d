// The unified command format of the third generation (once its firmware runs in RAM): the
// translation of legacy requests into unified commands, and the dispatch of unified events.
#pragma once

#include "Common/qzcmd.h"

// Sends a firmware command in the unified form; the send call's arguments.
NTSTATUS QzCmdSendSetQueryCmdHelper(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                                    UCHAR flags, const void* payload, USHORT length, FW_CMD_CALLBACK callback,
                                    ULONG64 callbackContext, ULONG callbackArgument);
// Dispatches a unified event: `header` is its FW_EVENT_HEADER inside a receive buffer of
// `receivedLength` bytes. 1 when handled.
UCHAR RamModeUniEventHandler(PMP_ADAPTER adapter, PUCHAR header, ULONG receivedLength);
