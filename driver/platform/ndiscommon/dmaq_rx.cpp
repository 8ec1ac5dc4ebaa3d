// The receive packet record's return to its pool.
#include "platform/ndiscommon/dmaq_rx.h"

#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

void RxDmaqFree(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    if (record == nullptr) {
        return;
    }
    if (record->PoolIndex >= RX_DMAQ_POOL_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive record of pool %u not returned",
                 static_cast<unsigned>(record->PoolIndex));
        return;
    }
    record->Frame = nullptr;
    record->FrameLength = 0;
    record->Descriptor = nullptr;
    PlatformZeroMemory(record->Groups, sizeof(record->Groups));
    record->ReceivedLength = 0;
    record->Flag = 0;
    RxDmaqReturnToPool(adapter, record);
}
