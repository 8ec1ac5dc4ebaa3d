// Transmit and receive descriptors: the dispatch, the older chip's writer and parser, and what the
// three generations share.
#include "hal/common/hal_desc.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"

UCHAR HalDescGeneration(PMP_ADAPTER adapter)
{
    switch (adapter != nullptr ? adapter->HalInfo.ChipCode : 0) {
    case 0x3404:
        return DESC_GEN_OLDER;
    case 0x3501:
    case 0x3502:
    case 0x3503:
        return DESC_GEN_ARVEL2X;
    case 0x3601:
    case 0x3602:
    case 0x3603:
        return DESC_GEN_ARVEL3X;
    default:
        return DESC_GEN_NONE;
    }
}

UCHAR RxdGetAmsduPosition(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    if (record == nullptr || record->Descriptor == nullptr) {
        return 0;
    }
    switch (HalDescGeneration(adapter)) {
    case DESC_GEN_OLDER:
        return static_cast<UCHAR>(TxdGetField(record->Descriptor, 1, 24, 25));
    case DESC_GEN_ARVEL2X:
    case DESC_GEN_ARVEL3X:
        return static_cast<UCHAR>(TxdGetField(record->Descriptor, 4, 0, 1));
    default:
        return 0;
    }
}
