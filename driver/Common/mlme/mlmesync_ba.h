// The block-ack session table of a port: originator agreements (this station sends aggregates to a
// peer) and recipient agreements (it receives them and reorders), 31 of each per port (slot 0 is never
// used), and the adapter's 64 receive reorder queues that the recipient agreements take.
//
// The ADDBA handling (firmware events and the connection code) opens agreements; the transmit paths and
// the station-table delete tear them down. A tear-down asks the port's ACTION machine for a DELBA.
#pragma once

#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_ba_types.h"
#include "kshim/ke.h"
#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// The port's locks and age-out timers (port creation), and their release (port teardown: the timers
// are stopped and deleted before the port goes).
VOID BATableInit(PMP_ADAPTER adapter, PMP_PORT port);
VOID BATableDeInit(PMP_ADAPTER adapter, PMP_PORT port);

// Opens an agreement of the peer (WLAN index) for the TID. Recipient (recipient 1): a session slot,
// a reorder queue of its own (none when all 64 are taken), window size, time-out, starting sequence
// (4095: start unset), state 1. Originator: a record in the requested state with the buffer size.
// Nothing changes when the peer already has one for the TID, for a WLAN index of 20 or more, a port
// that refuses block ack or a peer without an entry.
VOID BATableInsertEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, USHORT timeout, USHORT startSequence,
                        UCHAR tid, USHORT bufferSize, UCHAR originatorState, UCHAR recipient);
// Frees an originator record: one established agreement less, the TID's bits and slot cleared in
// the peer's entry.
VOID BATableDeleteORIEntry(PMP_ADAPTER adapter, PMP_PORT port, PBA_TABLE record);
// Frees an active recipient record: every frame its reorder queue holds goes to the OS first, then
// the queue is released. Returns the peer's entry, or null (nothing done) when the peer has none or
// the record is not active.
PMAC_TABLE_ENTRY BATableDeleteRECEntry(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION record);
// Tear-downs: a DELBA request for each agreement of the TID (all TIDs with allTids, then only the
// established ones), then the delete. An originator tear-down sets the agreement up again when the
// port asks for it and keep is 0.
VOID BATableTearORIEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, UCHAR wlanIndex, UCHAR keep, UCHAR allTids);
VOID BATableTearRECEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, UCHAR wlanIndex, UCHAR allTids);
