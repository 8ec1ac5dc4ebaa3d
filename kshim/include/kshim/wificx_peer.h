// WiFiCx peers of a net adapter (add and remove, passive level only) and the NetAdapterCx
// completion of a pending channel-switch notification of a net adapter.
#pragma once

#include "kshim/netadapter.h"

// Tells WiFiCx that a peer with this 6-byte address now exists on the net adapter.
NTSTATUS WifiAdapterAddPeer(NETADAPTER Adapter, const UCHAR* PeerAddress);
// Tells WiFiCx that the peer with this 6-byte address is gone from the net adapter.
NTSTATUS WifiAdapterRemovePeer(NETADAPTER Adapter, const UCHAR* PeerAddress);
// Completes the net adapter's pending channel-switch notification.
VOID NetAdapterCompleteChannelSwitchNotification(NETADAPTER Adapter);
