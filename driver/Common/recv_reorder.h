// Receive block-ack reordering: QoS data frames of a peer and TID with a recipient agreement are
// handed to the OS in sequence order. A frame is indicated at once (next in order), held in the
// agreement's sorted reorder queue until the gap before it closes, dropped (duplicate, far outside the
// window) or flushes the queue and restarts the window. A Block Ack Request moves the window; an
// age-out timer per agreement releases held frames when a gap stays open.
//
// Sequence numbers are 12 bits; L is the agreement's last indicated number (REORDER_SESSION).
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;
typedef struct _REORDER_SESSION REORDER_SESSION, *PREORDER_SESSION;

// The parse of each generation (older, second, third): TRUE when the record was indicated or
// queued (the reordering owns it), FALSE when the caller frees it. The caller holds the port's
// receive-reorder lock.
BOOLEAN QosBADataParse(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid);
BOOLEAN Qz3501QosBADataParse(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid);
BOOLEAN Arvel3xQosBADataParse(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid);

// In-order release from `first`: the frame numbered exactly that, then the next number, until one is
// missing; an A-MSDU's subframes go together. L follows each frame.
VOID ReorderqProc(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session, USHORT first);
VOID Qz3501ReorderqProc(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session, USHORT first);
VOID Arvel3xReorderqProc(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session, USHORT first);
// Releases every held frame up to and including `last`; TRUE when at least one went to the OS.
BOOLEAN Qz3501ReorderqIndToEndSeq(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session,
                                  USHORT last);
// Releases every held frame in queue order (L unchanged) and disarms the age-out timer; nothing when a
// flush of the queue is already running.
VOID RxReorderqToSys(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session);

// Arms the session's age-out timer for "Ageout" ms (a group owner in Miracast mode with
// "HotspotMCCTputOptimization": "GOAgeout") unless it is armed; the armed sequence is L.
VOID RxReorderArmAgeout(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION session);
// Stops the session's age-out timer; the armed sequence becomes REORDER_SEQ_NONE.
VOID RxReorderDisarmAgeout(PMP_PORT port, PREORDER_SESSION session);

// The age-out timer callback of a reorder session ("RxReorderAgeoutTimer"): when no frame was released
// since it was armed, every held frame goes to the OS, then the receive queues are notified.
PLATFORM_TIMER_CALLBACK RxReorderPacketAgeoutTimerCallback;
