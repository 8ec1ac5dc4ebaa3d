// The unified command format and the unified event dispatch.
#include "Common/nic_uni_cmd_event.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS QzCmdSendSetQueryCmdHelper(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                                    UCHAR flags, const void* payload, USHORT length, FW_CMD_CALLBACK callback,
                                    ULONG64 callbackContext, ULONG callbackArgument)
{
    return NOT_BUILT_YET();
}

UCHAR RamModeUniEventHandler(PMP_ADAPTER adapter, PUCHAR header, ULONG receivedLength)
{
    (void)NOT_BUILT_YET();
    return 0;
}
