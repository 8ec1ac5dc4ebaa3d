// The system event log: the one writer of error-log entries and the writers of the driver-life
// entries.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// Message ids of the driver's message table the shell writes.
#define EVENT_LOG_WAKE_SUPPORT 0x400207D0u  // "Support for WakeFromSx/S0Idle"
#define EVENT_LOG_DRIVER_INIT 0x40021F40u   // "Driver Init"
#define EVENT_LOG_DRIVER_UNLOAD 0x40021F41u  // "Driver Unload"
#define EVENT_LOG_SURPRISE_REMOVE 0x40021F42u  // "Driver surprise remove"
#define EVENT_LOG_D3COLD_SUPPORT 0x400207D3u   // "D3 cold support"
#define EVENT_LOG_DISCOVERY_STARTED 0x40020BB8u    // "DISCOVERY STARTED"
#define EVENT_LOG_DISCOVERY_COMPLETED 0x40020BB9u  // "DISCOVERY COMPLETED"
#define EVENT_LOG_P2P_CLIENT_ROLE 0x40020BBAu      // "P2P CLIENT ROLE"
#define EVENT_LOG_MIRACAST_GO 0x40020BBBu          // "MIRACAST GO"
#define EVENT_LOG_P2P_CONNECTION 0x40020BBCu       // "P2P Connection SCC/MCC/DBDC"
#define EVENT_LOG_PERSISTENT_GROUP 0x40020BBDu     // "Persistent Group Invite"
#define EVENT_LOG_GO_NEGO_REQ_RECV 0x40020BBEu     // "GO Negotiation Request Received"
#define EVENT_LOG_GO_NEGO_RSP_RECV 0x40020BBFu     // "GO Negotiation Response Received"
#define EVENT_LOG_GO_NEGO_CNF_RECV 0x40020BC0u     // "GO Negotiation Confirmation Received"
#define EVENT_LOG_GO_NEGO_REQ_SEND 0x40020BC1u     // "GO Negotiation Request Send"
#define EVENT_LOG_GO_NEGO_RSP_SEND 0x40020BC2u     // "GO Negotiation Response Send"
#define EVENT_LOG_GO_NEGO_CNF_SEND 0x40020BC3u     // "GO Negotiation Confirmation Send"
#define EVENT_LOG_HOTSPOT_GO 0x40020FA0u           // "HOTSPOT GO"
#define EVENT_LOG_STOP_GO 0x40020FA1u              // "STOP GO"
#define EVENT_LOG_CLIENT_CONNECT 0x40020FA2u       // "Client Connect"
#define EVENT_LOG_CLIENT_DISCONNECT 0x40020FA3u    // "Client Disconnect"
#define EVENT_LOG_SER_COUNT 0x80020001u            // "SER L0.5 Count"
#define EVENT_LOG_IO_FAIL 0xC0020002u              // "IO fail"
#define EVENT_LOG_BUS_HANG 0xC0020003u             // "Common bus hang"

// Data bytes of one entry, and what WriteSystemEventLog answers when an entry cannot be written.
#define EVENT_LOG_PIECE_SIZE 184
#define EVENT_LOG_WRITE_FAILED ((NTSTATUS)0xFFFFFFFEL)
// The text writers format into a buffer of this size and log the text without its terminator.
#define EVENT_LOG_TEXT_SIZE 128

// Writes `length` bytes as the dump data of one or more entries of the adapter's device object
// (184 bytes per entry); nothing while the adapter's event-log switch is not 1. Every caller passes
// mode 0 (plain copy).
NTSTATUS WriteSystemEventLog(PMP_ADAPTER adapter, ULONG messageId, UCHAR mode, const void* data, USHORT length);

// "Driver Init" and "Driver Unload": the 64-bit system time, then the driver version text (at most
// 32 bytes, zero-filled).
void LogEventDriverInit(PMP_ADAPTER adapter);
void LogEventDriverUnload(PMP_ADAPTER adapter);

// ---- clients of the group owner -------------------------------------------------------------------------
// "Client Connect": counts the client in, then "Connected Clients :<count>, PeerId = <WLAN index>,
// PeerAddr = <address>". "Client Disconnect": counts it out (never below 0), then "Remaining Connected
// Clients :<count>, ...".
void LogEventConnectClient(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, const UCHAR* peer);
void LogEventDisconnectClient(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, const UCHAR* peer);

// ---- Wi-Fi Direct steps ------------------------------------------------------------------------------------
void LogEventDiscoveryStart(PMP_ADAPTER adapter);
void LogEventDiscoveryComplete(PMP_ADAPTER adapter);
void LogEventP2PClientRole(PMP_ADAPTER adapter);
// "HOTSPOT GO" when the port's group owner serves a hotspot, otherwise "MIRACAST GO".
void LogEventP2PStartGO(PMP_ADAPTER adapter, PMP_PORT port);
void LogEventHotspotGO(PMP_ADAPTER adapter, PMP_PORT port);
void LogEventMiracastGO(PMP_ADAPTER adapter, PMP_PORT port);
void LogEventStopGO(PMP_ADAPTER adapter);
void LogEventP2PGoNegoReqRecv(PMP_ADAPTER adapter);
void LogEventP2PGoNegoRspRecv(PMP_ADAPTER adapter);
void LogEventP2PGoNegoCnfRecv(PMP_ADAPTER adapter);
void LogEventP2PGoNegoReqSend(PMP_ADAPTER adapter);
void LogEventP2PGoNegoRspSend(PMP_ADAPTER adapter);
void LogEventP2PGoNegoCnfSend(PMP_ADAPTER adapter);
void LogEventP2PPersistentGroup(PMP_ADAPTER adapter);
// The connection kind of the station and Wi-Fi Direct roles: dual-band, multi-channel or single-channel
// with the shared channel.
void LogEventP2PConnection(PMP_ADAPTER adapter, PMP_PORT port);

// ---- recovery counters: one byte each; the writer's result is returned ----------------------------------------
NTSTATUS LogEventDriverIOFail(PMP_ADAPTER adapter);
NTSTATUS LogEventDriverSerCount(PMP_ADAPTER adapter);
NTSTATUS LogEventDriverBusHang(PMP_ADAPTER adapter);
