// The NetAdapterCx hard transmits: each prepares one transmit record of the transmit queue's
// advance (header copy, frame information, descriptor) and submits it to a data ring; and the
// transmit state of ports and adapter that every hard transmit reads.
#pragma once

#include "kshim/nt_types.h"
#include "platform/wificx/wificxtx_types.h"

typedef struct _PCI_HIF_CONTEXT PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;
typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Station and Wi-Fi Direct client ports, and frames the access-point send step marked. 0 when the
// record went to the ring (it then completes through its transmit-done report); any other status
// means the frame was not sent and the record is still the caller's.
NTSTATUS QZCxHifPciXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring);
NTSTATUS QZCxHifPciApXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring);
