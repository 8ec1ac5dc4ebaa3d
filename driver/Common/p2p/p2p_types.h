// The Wi-Fi Direct records kept in the adapter and the ports: the per-port state and WPS exchange, the
// block of the operating-system-driven routines, the Channel List attribute's record, the scan request
// the Wi-Fi Direct lists fill and the WPS device-information record.
#pragma once

#include "kshim/ke.h"
#include "kshim/nt_types.h"
#include "Common/mlme/mlmewsc_types.h"

#define P2P_ADDR_LEN 6
#define P2P_SSID_MAX 32
#define P2P_DEVICE_NAME_MAX 32
#define P2P_DEVICE_TYPE_LEN 8
#define P2P_SECONDARY_TYPES_MAX 32
#define P2P_DISCO_IES_MAX 2048

// ---- the port's channel grant under multi-channel concurrency ----------------------------------------------
// The firmware's last absence report for the port's BSS, and the waits for its channel: the absence
// and presence event stores BssAbsent under the lock and sets PresentEvent (when the port becomes
// present) or AbsentEvent (when it becomes absent).
typedef struct _MULTI_CHANNEL_GRANT {
    KSPIN_LOCK Lock;
    UCHAR BssAbsent;       // 1 while the firmware reports the port's BSS absent
    UCHAR PresentWaiter;   // a sender waits for the port to become present
    UCHAR AbsentWaiter;    // the scan abort waits for the port to become absent
    KEVENT PresentEvent;
    KEVENT AbsentEvent;
} MULTI_CHANNEL_GRANT;

// ---- the per-port record the shell keeps ------------------------------------------------------------------
#define P2P_DISCOVERY_PENDING 0x01u

typedef struct _P2P_PORT_STATE {
    ULONG StateValue;
    ULONG ModeValue;
    ULONG DiscoveryFlags;
    UCHAR RoleIndex;
    ULONG SubState;          // 35: the group's transmission waits
    UCHAR PresenceRequest;   // a presence request was sent
    UCHAR PresenceResponse;  // its presence response came back
} P2P_PORT_STATE, *PP2P_PORT_STATE;

// ---- the Wi-Fi Direct fields of a port ---------------------------------------------------------------------
#define P2P_SCAN_LIST_MAX 118        // room for the whole channel plan
#define P2P_SOCIAL_LIST_COUNT 24
#define P2P_SINGLE_LIST_COUNT 32
#define P2P_WPS_EXCHANGE_SIZE 52
#define P2P_MS_EXTRA_IES_SIZE 1024
#define P2P_MS_DEVICE_FILTER_MAX 2
#define P2P_CHANNEL_LIST_MAX 118
#define P2P_GO_WLAN_INDEX_NONE 20

// The WPS exchange block of a port.
typedef struct _P2P_WPS_EXCHANGE {
    ULONG Mode;           // bits 12-14 of P2pCfgControl
    USHORT PasswordWord;  // 0xFFFF after initialisation
    UCHAR Rest[P2P_WPS_EXCHANGE_SIZE - 6];
} P2P_WPS_EXCHANGE;
static_assert(sizeof(P2P_WPS_EXCHANGE) == P2P_WPS_EXCHANGE_SIZE, "the WPS exchange block is 52 bytes");

// One requested device of an OS discover request.
typedef struct _P2P_MS_DEVICE_FILTER {
    UCHAR DeviceAddress[P2P_ADDR_LEN];
    UCHAR MatchKind;  // 1 device only, 2 device and SSID
    UCHAR Reserved;
    ULONG SsidLen;
    UCHAR Ssid[P2P_SSID_MAX];
} P2P_MS_DEVICE_FILTER;
static_assert(sizeof(P2P_MS_DEVICE_FILTER) == 44, "a device filter record is 44 bytes");

#define P2P_MS_FILTER_DEVICE_ID 0x01u
#define P2P_MS_FILTER_NO_NARROWING 0x08u

// The block of the operating-system-driven Wi-Fi Direct routines of a port.
typedef struct _P2P_MS_BLOCK {
    UCHAR ExtraIes[P2P_MS_EXTRA_IES_SIZE];
    ULONG ExtraIesLen;
    UCHAR ListenStateByte;  // 0xFF
    ULONG ListenStateWord;  // 0xFFFFFF
    ULONG ListenStateValue; // 0
    UCHAR OptionWord[4];    // 01 00 00 01
    UCHAR TrailingFlag;     // 1
    UCHAR DiscoverFilterFlags;
    UCHAR OsListenChannel;
    ULONG DeviceFilterCount;
    P2P_MS_DEVICE_FILTER DeviceFilters[P2P_MS_DEVICE_FILTER_MAX];
} P2P_MS_BLOCK;

// The record of the Channel List attribute.
typedef struct _P2P_CHANNEL_LIST {
    UCHAR Lead;
    UCHAR Count;
    UCHAR Channels[P2P_CHANNEL_LIST_MAX];
} P2P_CHANNEL_LIST;

// ---- the adapter's scan request as the Wi-Fi Direct lists fill it -------------------------------------------
#define SCAN_KIND_P2P 4
typedef struct _P2P_SCAN_REQUEST_CHANNEL {
    ULONG Band;  // 1 for channels up to 14, else 2
    UCHAR Channel;
} P2P_SCAN_REQUEST_CHANNEL;
typedef struct _P2P_SCAN_REQUEST {
    ULONG ScanKind;  // 4 when channels are given, else 0
    UCHAR ChannelCount;
    P2P_SCAN_REQUEST_CHANNEL Channels[P2P_SCAN_LIST_MAX];
    UCHAR ByteAfterList;
} P2P_SCAN_REQUEST, *PP2P_SCAN_REQUEST;

// The WPS device-information record the port keeps twice: Common/mlme/mlmewsc_types.h.
