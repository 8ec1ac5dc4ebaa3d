// The adapter's Wi-Fi Direct block and the per-port Wi-Fi Direct state, as far as the shell touches
// them, and the Wi-Fi Direct command thread.
#pragma once

#include "Common/common.h"
#include "platform/ndiscommon/ndiscommon.h"

// Wi-Fi Direct state values the shell tests.
#define P2P_STATE_IDLE 1
#define P2P_I_AM_CLIENT_ASSOC_AUTH 28

// Flag word of the Wi-Fi Direct block.
#define P2P_FLAG_GO_ACTIVE 0x00000004u
#define P2P_FLAG_GO_RUNNING 0x00000010u

// The adapter's Wi-Fi Direct block (separately allocated, zeroed).
typedef struct _P2P_CTRL_BLOCK {
    ULONG Flags;
    ULONG State;           // the adapter's Wi-Fi Direct state value
    PMP_PORT StationPort;  // port 0, set when it is created
    PMP_PORT DevicePort;   // the companion Wi-Fi Direct device port
    PLATFORM_THREAD CmdThread;  // "P2PCmdThread"
    COMMAND_QUEUE CmdQueue;     // internal commands 0x2000xxxx
} P2P_CTRL_BLOCK, *PP2P_CTRL_BLOCK;

// Discovery flags of a port.
#define P2P_DISCOVERY_PENDING 0x01u

// Per-port Wi-Fi Direct state.
typedef struct _P2P_PORT_STATE {
    ULONG StateValue;
    ULONG ModeValue;
    ULONG DiscoveryFlags;
    UCHAR RoleIndex;
} P2P_PORT_STATE, *PP2P_PORT_STATE;

// Body of "P2PCmdThread": drains the Wi-Fi Direct command queue.
PLATFORM_THREAD_BODY P2PCmdThread;

// The WLAN index of the group owner's station entry of a client port; 99 when there is none.
UCHAR P2pGetClientWcid(PMP_ADAPTER adapter, PMP_PORT port);
void P2pSetModeValue(PMP_ADAPTER adapter, PMP_PORT port, ULONG mode);
// Runs the Wi-Fi Direct "down" procedure for every active port of type 3, 4 or 5.
void P2pShutdownAllPorts(PMP_ADAPTER adapter);
