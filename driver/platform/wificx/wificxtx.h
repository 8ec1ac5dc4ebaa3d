// The NetAdapterCx hard transmits: each prepares one transmit record of the transmit queue's
// advance (header copy, frame information, descriptor) and submits it to a data ring.
#pragma once

#include "kshim/nt_types.h"

typedef struct _PCI_HIF_CONTEXT PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;
typedef struct _TX_DMAQ_DESC TX_DMAQ_DESC, *PTX_DMAQ_DESC;

// Station and Wi-Fi Direct client ports, and frames the access-point send step marked. 0 when the
// record went to the ring (it then completes through its transmit-done report); any other status
// means the frame was not sent and the record is still the caller's.
NTSTATUS QZCxHifPciXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring);
NTSTATUS QZCxHifPciApXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring);
