// The MAC table: one station entry per peer a port talks to and per port itself, taken from the
// adapter's pool of 20. The index of an entry in the pool is its WLAN index, the number under which
// the firmware knows the peer; each port keeps its entries on a singly linked list and a free entry
// sits on the adapter's free list.
#pragma once

#include "Common/mlme/mlmesync_mactab_types.h"
#include "kshim/ndis.h"
#include "kshim/nt_types.h"
#include "platform/ndiscommon/ndiscommon.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Builds the pool: entry i has WLAN index i; entries 1..19 go on the free list, entry 0 is never
// handed out.
NTSTATUS MlmeSyncInitMacTabPool(PMP_ADAPTER adapter);
// Clears the port's list and, with ownEntries, inserts the port's two own entries (kinds 0 and 1).
NTSTATUS MlmeSyncInitMacTab(PMP_PORT port, UCHAR ownEntries);
// Returns every entry of the port to the adapter's free list (port teardown: no other user is left).
NTSTATUS MlmeSyncDeInitMacTab(PMP_PORT port);
// Takes a free entry for the port, sets it to its initial state with the address and appends it to
// the port's list; none when the port is missing or the pool is empty.
PMAC_TABLE_ENTRY MacTableInsertEntry(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address, UCHAR fullReset);
// Sets the entry's fields to their start values; with fullReset the whole entry is cleared first
// (its timer, list link, indexes, kind and type survive).
void MacTableSetToInitState(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR fullReset);
// The port's entry with this address, looked up under the read lock; none when absent.
PMAC_TABLE_ENTRY MacTableLookup(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address);

// Matches over a port's list without the lock: the caller holds it or runs where the list cannot
// change. The first match wins; none when absent.
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedBssid(PMP_PORT port, const UCHAR* address);
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedBssidOnly(PMP_PORT port, const UCHAR* address);
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedWlanIdx(PMP_PORT port, UCHAR wlanIndex);
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedRoleType(PMP_PORT port, USHORT kind);
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedPort(PMP_PORT port, USHORT kind);
// Over all 20 pool entries.
PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedStaRecIdx(PMP_ADAPTER adapter, UCHAR staRecIdx);

// The owner port of the first active port's entry with this WLAN index; none when absent.
PMP_PORT MlmeSyncGetPortByWlanIdx(PMP_ADAPTER adapter, UCHAR wlanIndex);
// The kind of the port's entry with this WLAN index; WLAN_ROLE_NONE when absent.
USHORT MlmeSyncGetRoleTypeByWlanIdx(PMP_PORT port, UCHAR wlanIndex);
// The WLAN index of the port's first entry of this kind; WLAN_INDEX_NONE when absent.
UCHAR MlmeSyncGetWlanIdxByRoleType(PMP_PORT port, USHORT kind);
// The first active station or Wi-Fi Direct client port with a link up (infrastructure or ad hoc);
// else the adapter's current port (port 0).
PMP_PORT MlmeSyncGetConnectedStaPort(PMP_ADAPTER adapter);
// The Wi-Fi Direct role port 0 or 1 of the Wi-Fi Direct context; none for other values.
PMP_PORT MlmeSyncGetP2pRolePort(PMP_ADAPTER adapter, UCHAR role);
// The role a port has in firmware commands; WLAN_ROLE_NONE for no port or another type.
USHORT GetWlanRoleType(PMP_PORT port);
// Traces every entry of the port's list.
void MlmeSyncMacTabShow(PMP_PORT port);

// ---- removal and the OS's peers ------------------------------------------------------------------------------
// Deletes the port's entry with this WLAN index: FALSE for an index of 20 or more or one the port does
// not hold. With the entry's address given, its block-ack agreements are torn down, its pending
// transmissions failed, and the entry reset (unlink 0) or returned to the free list (unlink 1); the
// control thread is told (0x10000029), a group owner without clients drops its connection, and a port
// without peers clears its HT protection.
BOOLEAN MacTableDeleteAndResetEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const UCHAR* address,
                                    UCHAR unlink);
// Unlinks an entry from the port's list into the free list (the caller holds the write lock); the
// entries before it move to the tail in their order. Port 0's own entry of kind 0 stays. Sets
// removeFromOs when the entry's peer was known to the OS and its transmissions were cancelled.
VOID MlmeSyncRemoveMacTab(PMP_PORT port, PMAC_TABLE_ENTRY entry, PBOOLEAN removeFromOs);
// Removes every peer of the port (disassociating the associated ones); the port's own entries and the
// entries a Wi-Fi Direct role keeps stay, cleared.
VOID MacTableReset(PMP_ADAPTER adapter, ULONG portIndex);
// Tells the OS of a peer of the port (WiFiCx add-peer at passive level; at dispatch level the control
// thread or the Wi-Fi Direct command thread is asked to do it).
VOID MacTabAddPeer(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* address);
// Tells the OS a peer of the port left (WiFiCx remove-peer), deferred the same way.
VOID MacTabRemovePeer(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* address);
