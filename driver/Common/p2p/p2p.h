// Wi-Fi Direct: the adapter-wide control block with its group, credential, persistent-group and
// discovery tables, the state value sets and their names, the operating classes, the P2P command
// thread and its command handler, the port defaults and idle routines, and the P2P scan and listen
// channel lists.
#pragma once

#include <atomic>

#include "Common/common.h"
#include "Common/mlme/mlmewsc.h"
#include "Common/p2p/p2p_types.h"
#include "platform/ndiscommon/ndiscommon.h"

typedef struct _BSS_ENTRY BSS_ENTRY, *PBSS_ENTRY;

// ---- table sizes and the "no entry" index ---------------------------------------------------------------
#define P2P_GROUP_TABLE_SIZE 30
#define P2P_DISCO_TABLE_SIZE 30
#define P2P_CREDN_TABLE_SIZE 2
#define P2P_PERSIST_TABLE_SIZE 8
// An index of 0xFF, or any value of 30 and more, names no entry of any Wi-Fi Direct table.
#define P2P_NO_ENTRY 0xFF
#define P2P_TABLE_LIMIT 30

// Indexes a discovery search by interface address records at most.
#define P2P_DISCO_SEARCH_INDEXES 7

// ---- P2P_GROUP_STATE: the state of a group entry (and the peer state of a group owner's clients) ----------
typedef enum _P2P_GROUP_STATE {
    P2PSTATE_NONE = 0,
    P2PSTATE_DISCOVERY = 1,
    P2PSTATE_DISCOVERY_GO = 2,
    P2PSTATE_DISCOVERY_CLIENT = 3,
    P2PSTATE_DISCOVERY_UNKNOWN = 4,
    P2PSTATE_CLIENT_DISCO_COMMAND = 5,
    P2PSTATE_WAIT_GO_DISCO_ACK = 6,
    P2PSTATE_WAIT_GO_DISCO_ACK_SUCCESS = 7,
    P2PSTATE_GO_DISCO_COMMAND = 8,
    P2PSTATE_INVITE_COMMAND = 9,
    P2PSTATE_CONNECT_COMMAND = 10,
    P2PSTATE_PROVISION_COMMAND = 11,
    P2PSTATE_SERVICE_DISCO_COMMAND = 12,
    P2PSTATE_SERVICE_COMEBACK_COMMAND = 13,
    P2PSTATE_SENT_INVITE_REQ = 14,
    P2PSTATE_SENT_PROVISION_REQ = 15,
    P2PSTATE_WAIT_REVOKEINVITE_RSP_ACK = 16,
    P2PSTATE_REVOKEINVITE_RSP_ACK_SUCCESS = 17,
    P2PSTATE_SENT_GO_NEG_REQ = 18,
    P2PSTATE_GOT_GO_RSP_INFO_UNAVAI = 19,
    P2PSTATE_WAIT_GO_COMFIRM = 20,
    P2PSTATE_WAIT_GO_COMFIRM_ACK = 21,
    P2PSTATE_GOT_GO_COMFIRM = 22,
    P2PSTATE_GO_COMFIRM_ACK_SUCCESS = 23,
    P2PSTATE_REINVOKEINVITE_TILLCONFIGTIME = 24,
    P2PSTATE_GO_DONE = 25,
    P2PSTATE_GO_WPS = 26,
    P2PSTATE_GO_AUTH = 27,
    P2PSTATE_GO_ASSOC = 28,
    P2PSTATE_CLIENT_WPS = 29,
    P2PSTATE_CLIENT_WPS_DONE = 30,
    P2PSTATE_CLIENT_AUTH = 31,
    P2PSTATE_CLIENT_ASSOC = 32,
    P2PSTATE_CLIENT_OPERATING = 33,
    P2PSTATE_GO_OPERATING = 34,
    P2PSTATE_NONP2P_PSK = 35,
    P2PSTATE_NONP2P_WPS = 36,
} P2P_GROUP_STATE;

// ---- the P2P_PORT_STATE value set of P2pDiscoState, P2pConnectState, P2pMsState and P2pFormState -----------
// (The per-port record the shell keeps is the structure P2P_PORT_STATE below; the value set is this enum.)
typedef enum _P2P_PORT_STATE_VALUE {
    P2P_DISABLE = 0,
    P2P_ENABLE_LISTEN_ONLY = 1,
    P2P_IDLE = 2,
    P2P_SEARCH_COMMAND = 3,
    P2P_SEARCH = 4,
    P2P_SEARCH_COMPLETE = 5,
    P2P_LISTEN_COMMAND = 6,
    P2P_LISTEN = 7,
    P2P_LISTEN_COMPLETE = 8,
    P2P_CONNECT_IDLE = 13,
    P2P_INVITE = 15,
    P2P_ANY_IN_FORMATION_AS_GO = 16,
    P2P_ANY_IN_FORMATION_AS_CLIENT = 17,  // "GroupForming as Client"
    P2P_DO_GO_NEG_DONE_CLIENT = 18,
    P2P_DO_GO_SCAN_OP_BEGIN = 19,
    P2P_DO_GO_SCAN_OP_DONE = 20,
    P2P_DO_GO_SCAN_BEGIN = 21,
    P2P_DO_GO_SCAN_DONE = 22,
    P2P_WPS_REGISTRA = 23,
    P2P_DO_WPS_ENROLLEE = 24,
    P2P_DO_WPS_DONE_NEED_SETEVENT = 25,
    P2P_DO_WPS_ENROLLEE_DONE = 26,
    P2P_GO_ASSOC_AUTH = 27,
    P2P_I_AM_CLIENT_ASSOC_AUTH = 28,
    P2P_I_AM_CLIENT_OP = 29,
    P2P_I_AM_GO_OP = 30,
    P2pMs_STATE_IDLE = 41,
    P2pMs_STATE_START_PROGRESS = 42,
    P2pMs_STATE_FORMATION = 43,
    P2pMs_STATE_INVITATION = 44,
    P2pMs_STATE_PROVISIONING = 45,
} P2P_PORT_STATE_VALUE;

// The presence-request state every reset of a port's defaults sets.
#define P2P_PRESENCE_STATE_RESET 31

// Wi-Fi Direct state value the shell tests on a discovering device port.
#define P2P_STATE_IDLE 1

// ---- the control block's flag words -------------------------------------------------------------------------
#define P2P_ROLE_CLIENT_UP 0x00000004u  // P2pRoleFlags: a P2P client connection is up
#define P2P_ROLE_GO_UP 0x00000010u      // P2pRoleFlags: a group owner is up
#define P2P_MCC_PENDING_CLIENT 0x00000020u  // MccPendingFlags: a client waits for its multi-channel start
#define P2P_MCC_PENDING_STATION 0x00000080u // MccPendingFlags: a station waits for its multi-channel start
// The shell's names of the same flag word (tested by the port reset).
#define P2P_FLAG_GO_ACTIVE 0x00000004u
#define P2P_FLAG_GO_RUNNING 0x00000010u

// ---- the tables -----------------------------------------------------------------------------------------------
typedef struct _P2P_GROUP_ENTRY {
    LONG State;           // P2P_GROUP_STATE; 0 marks a free entry
    UCHAR GoEntryIndex;   // entry of this client's group owner; P2P_NO_ENTRY when none
    ULONG Reserved1;
    UCHAR FormFlags;      // P2P_FORM_FLAG_*
    UCHAR DialogToken;    // token of the next public action frame to this peer; never 0
    UCHAR FormByte;       // 0 or 5
    UCHAR Role;           // 1 group owner, 2 device or client
    UCHAR DeviceCapability;
    UCHAR GroupCapability;
    USHORT ConfigMethods;
    USHORT AssocValue;    // 0xFFFF when none
    UCHAR Ssid[P2P_SSID_MAX];
    UCHAR SsidLen;
    UCHAR GoIntent;
    UCHAR DeviceAddress[P2P_ADDR_LEN];  // the key of the table
    UCHAR InterfaceAddress[P2P_ADDR_LEN];
    UCHAR GroupBssid[P2P_ADDR_LEN];
    UCHAR PrimaryDeviceType[P2P_DEVICE_TYPE_LEN];
    UCHAR SecondaryTypeCount;
    UCHAR SecondaryTypes[P2P_SECONDARY_TYPES_MAX];
    UCHAR OpChannel;
    UCHAR DeviceName[P2P_DEVICE_NAME_MAX];
    ULONG DeviceNameLen;
    UCHAR ComebackDelay;  // GAS comeback delay in units of 100
    UCHAR ListenChannel;
} P2P_GROUP_ENTRY, *PP2P_GROUP_ENTRY;

#define P2P_ROLE_GO 1
#define P2P_ROLE_DEVICE 2

#define P2P_FORM_FLAG_PD_ACCEPTED 0x01u
#define P2P_FORM_FLAG_INVITATION 0x02u
#define P2P_FORM_FLAG_GO_NEG_STATUS1 0x08u
#define P2P_FORM_FLAG_INVITED_TO_GO 0x10u

#define P2P_CREDN_DATA_SIZE 125
typedef struct _P2P_CREDN_ENTRY {
    UCHAR Valid;
    UCHAR PeerAddress[P2P_ADDR_LEN];
    UCHAR Data[P2P_CREDN_DATA_SIZE];
} P2P_CREDN_ENTRY, *PP2P_CREDN_ENTRY;

// A persistent-group record. The readers use the role byte, the group owner address, the 124-byte
// credential part that begins at SsidLen (a group start copies it whole) and the peer address at
// byte 128; the bytes between are unused.
#define P2P_PERSIST_CREDENTIAL_SIZE 124
#define P2P_PERSIST_KEY_MAX 64
#pragma pack(push, 1)
typedef struct _P2P_PERSIST_ENTRY {
    UCHAR Role;  // 2: the record's group owner is the peer
    UCHAR GoAddress[P2P_ADDR_LEN];
    UCHAR Reserved0;
    ULONG SsidLen;  // first byte of the credential part
    UCHAR Ssid[P2P_SSID_MAX];
    ULONG KeyLen;
    UCHAR Key[P2P_PERSIST_KEY_MAX];
    UCHAR Reserved1[16];
    UCHAR PeerAddress[P2P_ADDR_LEN];
} P2P_PERSIST_ENTRY, *PP2P_PERSIST_ENTRY;
#pragma pack(pop)
static_assert(offsetof(P2P_PERSIST_ENTRY, PeerAddress) == 128, "the peer address begins at byte 128");
static_assert(offsetof(P2P_PERSIST_ENTRY, SsidLen) + P2P_PERSIST_CREDENTIAL_SIZE <= sizeof(P2P_PERSIST_ENTRY),
              "the credential part lies inside the record");

typedef struct _P2P_DISCO_ENTRY {
    UCHAR Valid;     // set to 1 by the caller of insert
    UCHAR Reported;  // already reported to the OS since the last discover request
    UCHAR TransmitterAddress[P2P_ADDR_LEN];
    UCHAR ScanByte;  // written by the scan path
    UCHAR DeviceAddress[P2P_ADDR_LEN];  // the key of the table
    LONG ScanValue;  // written by the scan path
    USHORT ScanWord;
    ULONG64 BeaconTime;  // system time of the last beacon (100 ns)
    ULONG64 ProbeRspTime;
    ULONG64 PrevBeaconTime;
    ULONG64 PrevProbeRspTime;
    USHORT ScanWord2;
    UCHAR BeaconIes[P2P_DISCO_IES_MAX];
    USHORT BeaconIesLen;
    UCHAR ProbeRspIes[P2P_DISCO_IES_MAX];
    USHORT ProbeRspIesLen;
    UCHAR ChannelHeard;
    UCHAR GoOpChannel;
    ULONG Lifetime;  // 250 at every update by the scan path
    UCHAR NonP2pMark;
    UCHAR DeviceCapability;
    UCHAR GroupCapability;
    UCHAR InterfaceAddress[P2P_ADDR_LEN];
    UCHAR Ssid[P2P_SSID_MAX];
    UCHAR SsidLen;
    UCHAR PrimaryDeviceType[P2P_DEVICE_TYPE_LEN];
    UCHAR SecondaryTypeCount;
    UCHAR SecondaryTypes[P2P_SECONDARY_TYPES_MAX];
    UCHAR DeviceName[P2P_DEVICE_NAME_MAX];
    UCHAR DeviceNameLen;
} P2P_DISCO_ENTRY, *PP2P_DISCO_ENTRY;

// The adapter's Wi-Fi Direct control block (allocated with the adapter's blocks and zeroed).
typedef struct _P2P_CTRL_BLOCK {
    UCHAR GroupEntryCount;  // group entries whose state is not 0
    UCHAR DiscoEntryCount;  // valid discovery entries
    P2P_PERSIST_ENTRY PersistTable[P2P_PERSIST_TABLE_SIZE];
    P2P_GROUP_ENTRY GroupTable[P2P_GROUP_TABLE_SIZE];
    P2P_CREDN_ENTRY CredentialTable[P2P_CREDN_TABLE_SIZE];
    P2P_DISCO_ENTRY DiscoTable[P2P_DISCO_TABLE_SIZE];
    // The P2P command queue: the thread's wake event is P2pCmdEvent; the queue record holds
    // P2pCmdLock with its saved IRQL, P2pCmdCount, P2pCmdHead and P2pCmdTail.
    PLATFORM_THREAD CmdThread;  // "P2PCmdThread"
    COMMAND_QUEUE CmdQueue;     // internal commands 0x2000xxxx
    PMP_PORT StationPort;
    PMP_PORT DevicePort;
    PMP_PORT ClientPort;
    PMP_PORT GoPort;
    union {
        ULONG P2pRoleFlags;  // P2P_ROLE_*
        ULONG Flags;
    };
    ULONG MccPendingFlags;  // P2P_MCC_PENDING_*
    ULONG State;            // the adapter's Wi-Fi Direct state value
    ULONG P2pCounter;       // cleared by the port defaults
} P2P_CTRL_BLOCK, *PP2P_CTRL_BLOCK;

// ---- P2P commands -------------------------------------------------------------------------------------------
#define P2P_CMD_CONNECTION_RESET 0x20000001u
#define P2P_CMD_FORMATION_END 0x20000002u
#define P2P_CMD_TICK 0x20000003u
#define P2P_CMD_GP_TIMEOUT 0x20000004u
#define P2P_CMD_CLEAR_COUNTER 0x20000005u
#define P2P_CMD_GO_UPDATE_BEACON 0x20000006u
#define P2P_CMD_ACTION_GOT_ACK 0x20000007u
#define P2P_CMD_ACTION_INDICATE_RECV 0x20000008u
#define P2P_CMD_ACTION_RECV 0x20000009u
#define P2P_CMD_ACTION_SEND 0x2000000Au
#define P2P_CMD_ACTION_ACK 0x2000000Bu
#define P2P_CMD_ACTION_WAIT_TIMEOUT 0x2000000Cu
#define P2P_CMD_ACTION_MATCHED 0x2000000Du
#define P2P_CMD_NOA_ACCEPT 0x2000000Eu
#define P2P_CMD_DWELL_END 0x2000000Fu
#define P2P_CMD_LISTEN_SWITCH 0x20000013u
#define P2P_CMD_STOP_LISTEN 0x20000014u
#define P2P_CMD_SEND_TASK_ABORT 0x20000015u
#define P2P_CMD_GO_UPDATE_BEACON_NOA 0x20000016u
#define P2P_CMD_ECSA_SWITCH 0x20000017u
#define P2P_CMD_ECSA_GC 0x20000018u
#define P2P_CMD_PEER_REMOVE 0x20000019u
#define P2P_CMD_PEER_ADD 0x20000020u
#define P2P_CMD_PRIVILEGE_EVENT 0x20000021u

// Byte of an action-frame command payload that holds the P2P public action subtype or signal.
#define P2P_ACTION_SUBTYPE_OFFSET 30
// P2P_ACTION_SM_STATE: the states of the public-action-frame machine of a port.
typedef enum _P2P_ACTION_SM_STATE {
    P2P_NULL_STATE = 101,
    P2P_SEND_STATE = 102,
    P2P_WAIT_ACK_STATE = 103,
    P2P_WAIT_RSP_STATE = 104,
} P2P_ACTION_SM_STATE;

// P2pActPendingSignal when no sent frame waits for its completion.
#define P2P_ACTION_NO_PENDING_SIGNAL 9

// P2P_ACTION_SIGNAL: the machine's input; 0 to 8 are the P2P public action frame subtypes.
typedef enum _P2P_ACTION_SIGNAL {
    GO_NEGOCIATION_REQ = 0,
    GO_NEGOCIATION_RSP = 1,
    GO_NEGOCIATION_CONFIRM = 2,
    P2P_INVITE_REQ = 3,
    P2P_INVITE_RSP = 4,
    P2P_DEV_DISC_REQ = 5,
    P2P_DEV_DISC_RSP = 6,
    P2P_PROVISION_REQ = 7,
    P2P_PROVISION_RSP = 8,
    P2P_GOT_ACK = 100,
} P2P_ACTION_SIGNAL;

// The OS interface version from which the newer Wi-Fi Direct paths run.
#define P2P_MS_MIN_NDIS_VERSION 0x0006001Eu
// WDI message id of the dot11 reset task.
// Listen phases started again by the command thread last this long.
#define P2P_LISTEN_RESTART_MS 4000

// ---- the control block and tables ---------------------------------------------------------------------
void P2pGroupTabInit(PMP_ADAPTER adapter);
UCHAR P2pGroupTabInsert(PMP_ADAPTER adapter, const UCHAR* address, LONG state, const UCHAR* ssid, UCHAR ssidLen);
UCHAR P2pGroupTabSearch(PMP_ADAPTER adapter, const UCHAR* address);
UCHAR P2pGroupTabDelete(PMP_ADAPTER adapter, UCHAR index, const UCHAR* address);
void P2pDiscoTabInit(PMP_ADAPTER adapter);
UCHAR P2pDiscoTabInsert(PMP_ADAPTER adapter, const UCHAR* deviceAddress, const UCHAR* interfaceAddress,
                        const UCHAR* ssid, UCHAR ssidLen);
// By device address when one is given, else by interface address, appending up to 7 matches to
// indexes (when given).
UCHAR P2pDiscoTabSearch(PMP_ADAPTER adapter, const UCHAR* deviceAddress, const UCHAR* interfaceAddress,
                        PUCHAR indexes);
UCHAR P2pDiscoTabDelete(PMP_ADAPTER adapter, UCHAR index, const UCHAR* deviceAddress);
void P2pDiscoTabFlush(PMP_ADAPTER adapter);
void P2pDiscoTabClearNewFlag(PMP_ADAPTER adapter);
BOOLEAN P2PCheckStaleEntry(PMP_ADAPTER adapter, UCHAR index);
void P2pCrednTabInit(PMP_ADAPTER adapter);
BOOLEAN P2pCrednEntrySearch(PMP_ADAPTER adapter, const UCHAR* address, PUCHAR index);
// Releases the peers of a reset Wi-Fi Direct connection (mode 0 all, 1 Wi-Fi Direct devices, 2 clients
// without Wi-Fi Direct in state 36, 3 those in state 35).
NTSTATUS P2pDisconnectAllPeers(PMP_ADAPTER adapter, PMP_PORT port, UCHAR mode);
BOOLEAN MacAddrGreaterOrEqual(const UCHAR* first, const UCHAR* second);
void P2PConfigMethodSet(PMP_ADAPTER adapter, PMP_PORT port);
void P2PInitWpsInfo(PMP_ADAPTER adapter, PMP_PORT port);
PCSTR p2pGroupStateName(LONG state);
PCSTR p2pStateName(LONG state);
PCSTR MlmeP2pMsStateName(ULONG state);
PCSTR MlmeP2pMsSignalName(ULONG signal);
PCSTR P2pConfigMethodName(USHORT configMethod);
PCSTR P2pDevPasswordIdName(USHORT passwordId);
// Table selector 4: by band (1 2.4 GHz, 2 5 GHz, 3 6 GHz); selector 1: by channel alone.
UCHAR P2pOpClassFromChannel(UCHAR channel, ULONG band, UCHAR selector);
// Bandwidth code 0 = 20, 1 = 40, 2 = 80, 3 = 160 MHz; selector 4 only.
UCHAR P2pOpClassFromChannelBw(UCHAR channel, ULONG band, UCHAR selector, UCHAR bandwidth);

// ---- the P2P command thread ----------------------------------------------------------------------------
// Body of "P2PCmdThread": runs the P2P commands one at a time in posting order.
PLATFORM_THREAD_BODY P2PCmdThread;
BOOLEAN P2PCmdHandler(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, PUCHAR payload, ULONG length);
// Timer callbacks of the listen switches: each posts its P2P command again.
PLATFORM_TIMER_CALLBACK P2pListenSTASwitchTimeoutCallback;
PLATFORM_TIMER_CALLBACK SwitchP2PListenTimeoutCallback;

// ---- port defaults and idle routines ---------------------------------------------------------------------
void P2pUserCfgInit(PMP_ADAPTER adapter, PMP_PORT port);
void P2pGoToListenIdle(PMP_ADAPTER adapter, PMP_PORT port);
void P2pGotoIdle(PMP_ADAPTER adapter, PMP_PORT port, ULONG scanType, ULONG startTicks);
void P2pResumeIdleState(PMP_ADAPTER adapter, PMP_PORT port);
void P2pShutdownAllPorts(PMP_ADAPTER adapter);
void P2PPrintDiscoEntry(PMP_ADAPTER adapter, UCHAR index);
void P2PPrintGroupEntry(PMP_ADAPTER adapter, UCHAR index);
void P2PPrintState(PMP_ADAPTER adapter);
void P2PPrintStateOfPort(PMP_ADAPTER adapter, PMP_PORT port);

// ---- P2P scan and listen channel lists ------------------------------------------------------------------
void P2pScanChannelUpdate(PMP_ADAPTER adapter, PMP_PORT port);
void P2pSetSocialChannels(PMP_ADAPTER adapter, PMP_PORT port);
void P2pUpdateSearchChannel(PMP_ADAPTER adapter, PMP_PORT port);
void P2pDefaultListenChannel(PMP_ADAPTER adapter, PMP_PORT port);

// ---- Wi-Fi Direct procedures built with their own routines ------------------------------------------------
// Public-action-frame machine and listen phase.
NTSTATUS MlmeP2pMsPublicActionFrameStateMachineExec(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR frame, ULONG length);
NTSTATUS MlmeP2pMsPublicActionFrameGotAck(PMP_ADAPTER adapter, PMP_PORT port);
NTSTATUS P2pMsPublicActionFrameWaitTimerTimeoutExec(PMP_PORT port);
NTSTATUS p2pStopListenPhase(PMP_ADAPTER adapter, PMP_PORT port);
// Group start as owner or client.
NTSTATUS P2pStartAutoGo(PMP_ADAPTER adapter, PMP_PORT port);
// Disconnect and reset of Wi-Fi Direct connections.
NTSTATUS P2pDisconnectReset(PMP_ADAPTER adapter, PMP_PORT port);
void P2pStopGoReset(PMP_ADAPTER adapter, PMP_PORT port);
// Notice of absence.
NTSTATUS P2pGPTimeOutHandle(PMP_ADAPTER adapter);

// ---- what the shell calls -----------------------------------------------------------------------------
// The WLAN index of the group owner's station entry of a client port; 99 when there is none.
UCHAR P2pGetClientWcid(PMP_ADAPTER adapter, PMP_PORT port);
// The Wi-Fi Direct share of a station port's link down.
void P2pMlmeCntLinkDown(PMP_PORT port);
void P2pSetModeValue(PMP_ADAPTER adapter, PMP_PORT port, ULONG mode);

// ---- the WPS element parser (the WPS device information and attribute types: Common/mlme/mlmewsc.h) ----
// Requested Device Type attributes kept of one WPS element.
#define WSC_REQUESTED_TYPES_MAX 5

// Parses a WPS element (element id 221, OUI and type 00 50 F2 04) of elementLen bytes (header included)
// into the outputs that are given. nameLen and requestedCount are cleared first; the name is cut to 32
// bytes and nameLen reports the bytes stored. With requestedCount the Requested Device Type attributes
// fill slots of 8 bytes of deviceTypes (at most 5), without it a Primary Device Type fills its first
// 8 bytes. An attribute running past the element ends the walk. FALSE for a missing or foreign element.
BOOLEAN P2PParseWPSIE(const UCHAR* element, ULONG elementLen, PUSHORT devicePasswordId, PUSHORT configMethods,
                      PUCHAR name, PUCHAR nameLen, PUCHAR selectedRegistrar, PUCHAR requestedCount,
                      PUCHAR deviceTypes);

// ---- what the scan and the beacon intake call -------------------------------------------------------------
typedef struct _MLME_QUEUE_ELEM MLME_QUEUE_ELEM, *PMLME_QUEUE_ELEM;
// FALSE while the device port or the group-owner port forms a group.
BOOLEAN P2PIsScanAllowed(PMP_ADAPTER adapter, PMP_PORT port);
// Records a Wi-Fi Direct device from a beacon or probe response heard while scanning: 1 when one was
// recorded; its discovery entry (or none) in `entry`.
UCHAR PeerP2pBeaconProbeRspAtScan(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem, USHORT capability,
                                  UCHAR channel, P2P_DISCO_ENTRY** entry);
// Reports the discovered devices to the OS's discovery task of the port.
VOID P2pMsIndicateWfdDeviceDiscoveryList(PMP_ADAPTER adapter, PMP_PORT port);
// The group owner's beacon on a client port.
VOID PeerP2pBeacon(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* transmitter, PMLME_QUEUE_ELEM elem);
// A group owner announced a channel switch: the BSS entry (index `entryIndex` of its table) and the port
// take the new channel (byte 1 of the announcement), the entry's width is cleared, and with a secondary
// channel (bytes: offset, 0xFF for none, then the centre channel) the centre channel is taken; the port's
// beacon-loss grace counter after a switch becomes 90.
VOID PeerP2pBeaconCSABackup(PMP_ADAPTER adapter, PMP_PORT port, PBSS_ENTRY entry, const UCHAR* channelSwitch,
                            const UCHAR* secondary, ULONG entryIndex);
// Answers a probe request for the Wi-Fi Direct device (mode 0 searching, 1 listening or idle).
VOID PeerP2pProbeReq(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem, ULONG mode);
// Arms the adapter's listen timer for the device port unless the adapter halts.
VOID MlmeP2PListenPhaseStartCallback(PMP_PORT devicePort, ULONG reserved);
// A listen phase may start between two scan chunks.
BOOLEAN MlmeP2PIsListenAllowed(PMP_ADAPTER adapter, PMP_PORT port);
